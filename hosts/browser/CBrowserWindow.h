// One browser window of wayscribe-browser: the page view with its address
// bar, back, forward, reload and stop, the page title as the window title,
// a status line with the load progress, a View menu offering the registered
// explorer bars, and the pane that shows the one chosen (CExplorerBarPane).
//
// Every class in the host's helper-object list (BrowserExtensions.h) is
// created for the window and given its web browser as site; each is
// released with SetSite(null) when the window closes. Links that ask for a
// new window open it in a new process.
//
// Lives on the GUI thread, which must be in a single-threaded apartment
// driven by the Qt event loop (ApartmentPump.h).
#pragma once

#include <QMainWindow>
#include <QUrl>
#include <functional>
#include <optional>
#include <vector>

#include "hosts/browser/CExplorerBarPane.h"
#include "hosts/browser/CQtWebBrowser.h"
#include "platform/browser/ObjectWithSite.h"

class QLineEdit;
class QMenu;
class QProgressBar;

namespace wys::browser_host {

struct BrowserWindowOptions {
    // The helper objects to attach; null: the host's list.
    std::optional<std::vector<CLSID>> helperClasses;
    // Starts a new window for `url` (a new process by default).
    std::function<void(const QUrl& url)> openNewWindow;
};

// The registry value that remembers the explorer bar a window had open:
// HKEY_CURRENT_USER "Software\Wayscribe\Browser", "ExplorerBar" (the
// band's CLSID, empty when the last window closed its pane).
inline constexpr const char* kBrowserSettingsKey = "Software\\Wayscribe\\Browser";
inline constexpr const char* kExplorerBarValue = "ExplorerBar";
std::optional<CLSID> RememberedExplorerBar();

class CBrowserWindow final : public QMainWindow {
    Q_OBJECT

public:
    explicit CBrowserWindow(BrowserWindowOptions options = {}, QWidget* parent = nullptr);
    ~CBrowserWindow() override;

    IWebBrowser2* Browser() const { return m_browser.Get(); }
    CQtWebBrowser* BrowserObject() const { return m_browser.Get(); }
    QWebEngineView* View() const { return m_view; }
    CExplorerBarPane* ExplorerBarPane() const { return m_pane; }
    // Helper objects attached to the window (SetSite succeeded).
    std::size_t HelperCount() const { return m_helpers.size(); }

    // Navigates as the address bar does (paths and URLs).
    void NavigateTo(const QString& target);
    // Opens the explorer bar of `clsid` (one of the offered bands), saying
    // in the status line why when it cannot. False when it did not open.
    bool OpenExplorerBar(REFCLSID clsid);
    // What the status line says now.
    QString StatusText() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void AttachHelperObjects(const std::vector<CLSID>& classes);
    void DetachAll();
    void BuildViewMenu();
    void RememberExplorerBar();
    void Report(const QString& text);

    BrowserWindowOptions m_options;
    QWebEngineView* m_view;
    QLineEdit* m_address;
    QProgressBar* m_progress;
    QMenu* m_barMenu = nullptr;
    CExplorerBarPane* m_pane = nullptr;
    ComPtr<CQtWebBrowser> m_browser;
    std::vector<ComPtr<IObjectWithSite>> m_helpers;
    std::vector<OfferedBand> m_bands;
    bool m_detached = false;
};

// The wayscribe-browser program for new windows: the one beside the running
// program, else the name for the PATH to find.
QString BrowserProgram();

}  // namespace wys::browser_host
