// The web browser object of one tab of the person's browser, as the
// extension reports it: IWebBrowser2 with its DocumentComplete events and,
// as the site of the tab's helper objects, IServiceProvider
// (SID_SWebBrowserApp), IOleWindow (no window: E_FAIL), IInputObjectSite
// and IOleCommandTarget.
//
// Its document is built from the snapshot of the live page that the
// extension's content script took once the page had loaded (PageSnapshot.h,
// the same script and format as wayscribe-browser's): DocumentComplete is
// fired for each readable frame and then for the page, the last one with
// READYSTATE_COMPLETE. Navigate asks the extension to load the URL in this
// tab and returns at once.
//
// The object lives in the single-threaded apartment of its tab's thread
// (CTabThread) and is called only there; capture threads reach it through
// a marshalled pointer.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "hosts/extension/ExtensionMessage.h"
#include "platform/browser/CWebBrowserBase.h"

namespace wys::extension {

class CExtensionPort;

// Whether the helper objects hear of a completed page.
enum class PageEvents { Fire, Withhold };

// How far the tab's completed pages have been taken: the number of the last
// completion whose document a caller has read through Document (or that had
// no events to fire, so that nobody will). Written by the tab's thread, read
// by the host's, which holds the next page back until the one before it has
// been taken: a capture reads the document a moment after its event, and a
// page that went on at once must not hand it the next page's document.
using TakenCompletions = std::atomic<unsigned>;

class CExtensionTab final : public CWebBrowserBase<CExtensionTab> {
public:
    // `taken` must outlive this object.
    CExtensionTab(int tab, std::shared_ptr<CExtensionPort> port, TakenCompletions* taken);
    ~CExtensionTab() override;

    int Tab() const { return m_tab; }
    // The cookies the browser holds for the page shown and its resources.
    const std::vector<BrowserCookie>& Cookies() const { return m_cookies; }

    // The tab started loading `url`.
    void OnLoading(const std::string& url);
    // The tab's page (and its frames) completed: `snapshot` is the
    // snapshot script's result. A text that is no snapshot leaves the
    // document shown as it was and fires nothing. With Withhold the page is
    // shown (Document, LocationURL) without DocumentComplete events.
    // `completion` numbers it for TakenCompletions.
    void OnComplete(unsigned completion, const std::string& url, const std::string& title,
                    const std::string& snapshot, std::vector<BrowserCookie> cookies, PageEvents events);
    // The tab is gone: Navigate fails from now on; the properties keep
    // their last values.
    void Close() { m_closed = true; }

    // IWebBrowser2. get_Document: as the base's, and the page is taken.
    HRESULT get_Document(IDispatch** document) override;
    // Navigate: E_INVALIDARG for an empty target or one that
    // is not an http, https, ftp or file URL or an absolute path;
    // E_NOTIMPL for optional arguments; E_FAIL once the tab is closed or
    // the browser cannot be told.
    HRESULT Navigate(BSTR url, VARIANT* flags, VARIANT* targetFrameName, VARIANT* postData,
                     VARIANT* headers) override;
    // Abandons the load under way as far as this window goes: its page is
    // not reported when it completes.
    HRESULT Stop() override;

    // IOleWindow: a tab of another program has no window here.
    HRESULT GetWindow(HWND* window) override;

private:
    // False when a sink started another load during the event.
    bool FireDocumentComplete(unsigned generation, IDispatch* document, const std::string& url);
    void StartLoad();

    void MarkTaken(unsigned completion);

    int m_tab;
    std::shared_ptr<CExtensionPort> m_port;
    TakenCompletions* m_taken;
    unsigned m_fired = 0;  // the last completion whose events were fired
    std::vector<BrowserCookie> m_cookies;

    static void ShareCookies(const std::vector<BrowserCookie>& cookies);
    unsigned m_generation = 0;  // advances with every load, so a sink's Navigate ends the events
    bool m_abandoned = false;   // Stop: the load under way is not reported
    bool m_closed = false;
};

}  // namespace wys::extension
