// The web browser object of a browser window on Qt WebEngine: IWebBrowser2
// with its DocumentComplete events, and, as the site of the window's helper
// objects, IServiceProvider (SID_SWebBrowserApp), IOleWindow (the window),
// IInputObjectSite and IOleCommandTarget.
//
// The object lives in the single-threaded apartment of the GUI thread, whose
// Qt event loop dispatches the apartment's calls; other threads reach it
// through a marshalled pointer. Once loading completes it runs the snapshot
// script in the page, builds the documents (PageSnapshot.h) and fires
// DocumentComplete for each readable frame and then for the page. A page
// that fails to load, a download and a page that never finishes fire none.
//
// The view is owned by the window; objects holding this one past the
// window's close find it without a view: Navigate then fails with E_FAIL and
// the properties keep their last values.
#pragma once

#include <QPointer>
#include <QVariant>
#include <QWebEngineView>
#include <functional>
#include <memory>
#include <optional>

#include "platform/browser/CWebBrowserBase.h"
#include "platform/browser/ServiceProvider.h"
#include "platform/browser/WebBrowser.h"
#include "platform/com/ComObject.h"
#include "platform/com/ConnectionPoint.h"

namespace wys::browser_host {

class CQtWebBrowser final : public CWebBrowserBase<CQtWebBrowser> {
public:
    // `view` shows the pages; `window` is what IOleWindow answers.
    CQtWebBrowser(QWebEngineView* view, QWidget* window);
    ~CQtWebBrowser() override;

    // Called after the DocumentComplete events of a load (tests and the
    // window's status line); may be empty.
    std::function<void()> onDocumentsReady;
    // Called with the text a helper object puts on the status line (what
    // became of the page's capture); may be empty.
    std::function<void(const std::string& text)> onStatusText;
    // The window is closing: the view goes with it.
    void DetachView();

    // IWebBrowser2
    HRESULT Navigate(BSTR url, VARIANT* flags, VARIANT* targetFrameName, VARIANT* postData,
                     VARIANT* headers) override;
    HRESULT Stop() override;

    // IOleWindow
    HRESULT GetWindow(HWND* window) override;

private:
    void OnStatusText() override;
    void OnLoadStarted();
    void OnLoadFinished(bool ok);
    // Asks the page for its snapshot until it has settled after its load.
    void RequestSnapshot(unsigned generation, int tries);
    void OnSnapshotAnswer(unsigned generation, int tries, const QVariant& result);
    void OnSnapshot(unsigned generation, const QString& json);
    void OnDocumentTaken() override;
    // Hands out the page held back, if it is still the one shown.
    void ReleaseHeld();
    // False when a sink started another load during the event.
    bool FireDocumentComplete(unsigned generation, IDispatch* document, const std::string& url);

    QPointer<QWebEngineView> m_view;
    QPointer<QWidget> m_window;
    // Context of the signal connections: they end with this object.
    std::unique_ptr<QObject> m_connections;

    unsigned m_generation = 0;  // advances with every load started, so stale snapshots are dropped
    // A completed page waiting for the capture of the one before it.
    struct Held {
        unsigned generation;
        QString json;
    };
    std::optional<Held> m_held;
};

// The URL that Navigate loads for `target`: an absolute local path (with
// "\" read as a separator, as in saved copies' paths written elsewhere)
// becomes a file URL; anything else is taken as a URL as it stands. An
// empty URL when `target` is neither.
QUrl UrlOfNavigationTarget(const std::string& target);

}  // namespace wys::browser_host
