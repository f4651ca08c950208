// The window of wayscribe-band: the history band beside the person's own
// browser. It loads the band by its class identifier into an explorer-bar
// pane (CExplorerBarPane.h, as wayscribe-browser's), with CBandBrowser as
// the band's web browser, so that opening a visit shows it in the browser.
// The status line says how each page was opened.
//
// Lives on the GUI thread, which must be in a single-threaded apartment
// driven by the Qt event loop (ApartmentPump.h).
#pragma once

#include <QMainWindow>
#include <optional>

#include "hosts/band/CBandBrowser.h"
#include "hosts/browser/CExplorerBarPane.h"

namespace wys::band_host {

struct BandHostOptions {
    std::optional<CLSID> band;              // none: the Wayscribe band
    CBrowserOpener::DesktopOpener desktop;  // empty: xdg-open
};

class CBandHostWindow final : public QMainWindow {
    Q_OBJECT

public:
    explicit CBandHostWindow(BandHostOptions options = {}, QWidget* parent = nullptr);
    ~CBandHostWindow() override;

    // Whether the band is shown; when not, StatusText says why.
    bool IsOpen() const { return m_pane->IsOpen(); }
    browser_host::CExplorerBarPane* Pane() const { return m_pane; }
    CBrowserOpener* Opener() const { return m_opener; }
    QString StatusText() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Report(const QString& text, bool alsoOnStandardError);

    CBrowserOpener* m_opener;
    ComPtr<CBandBrowser> m_browser;
    browser_host::CExplorerBarPane* m_pane;
};

}  // namespace wys::band_host
