// The browser window's explorer bar: a side pane that shows one band at a
// time. The pane creates the chosen band through the component runtime,
// gives it a site (the pane's widget as the parent window, an input-object
// site, and the window's web browser through IServiceProvider), sizes
// itself from the band's GetBandInfo, and shows it with ShowDW. Closing
// calls CloseDW and SetSite(null) and releases the band.
//
// Lives on the window's thread (the GUI thread, in its apartment). A band
// that cannot be created is reported through the failure callback and
// leaves the pane closed; browsing goes on.
#pragma once

#include <QDockWidget>
#include <QPointer>
#include <functional>
#include <string>
#include <vector>

#include "platform/browser/BrowserExtensions.h"
#include "platform/browser/DeskBand.h"
#include "platform/browser/WebBrowser.h"
#include "platform/com/ComPtr.h"

namespace wys::browser_host {

class CBandSite;

// A band the View menu offers: its class and the title it gives itself.
struct OfferedBand {
    CLSID clsid;
    std::string title;  // GetBandInfo's title; the registered name, or the CLSID, when it gives none
};

// Every registered explorer bar with its title. Each band is created once to
// ask its title and released again; one that cannot be created is still
// offered under its registered name, so that choosing it tells why.
std::vector<OfferedBand> OfferedBands();

class CExplorerBarPane final : public QDockWidget {
    Q_OBJECT

public:
    // `browser` is the window's web browser, handed to bands through the site.
    CExplorerBarPane(IWebBrowser2* browser, QWidget* parent);
    ~CExplorerBarPane() override;

    // Opens `band` in the pane, closing the one shown before. False (and
    // the pane closed) when it cannot be created; *why says what failed.
    bool Open(const OfferedBand& band, std::string* why);
    // Lets go of the band shown, if any, and hides the pane.
    void CloseBand();

    bool IsOpen() const { return static_cast<bool>(m_band); }
    CLSID OpenBand() const { return m_clsid; }
    // The band shown; null when closed. For tests.
    IDeskBand* Band() const { return m_band.Get(); }

signals:
    // The user closed the pane, or a band was opened or closed.
    void bandChanged();

private:
    void ApplySizes(const DESKBANDINFO& info);

    ComPtr<IWebBrowser2> m_browser;
    ComPtr<CBandSite> m_site;
    ComPtr<IDeskBand> m_band;
    CLSID m_clsid{};
    QWidget* m_container;  // owned by this dock; the band's window is its child
    QPointer<QWidget> m_bandWindow;
    bool m_closing = false;
};

}  // namespace wys::browser_host
