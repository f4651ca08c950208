// Helpers for the browser tests: a window on the test's thread, driven until
// its navigation ends, and a sink that records its DocumentComplete events.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/browser/HeadlessBrowser.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ConnectionPoint.h"
#include "platform/com/DispatchStubs.h"

namespace wys::test {

struct DocumentCompleteEvent {
    ComPtr<IDispatch> document;
    VARTYPE urlType = VT_EMPTY;
    std::string url;
    READYSTATE readyState = READYSTATE_UNINITIALIZED;  // the browser's, read inside the event
    DWORD thread = 0;
};

class CDocumentCompleteSink final : public CComObjectRoot<CDocumentCompleteSink, CDispatchNoTypeInfo<>> {
public:
    explicit CDocumentCompleteSink(IWebBrowser2* browser) : m_browser(browser) {}
    std::vector<DocumentCompleteEvent> events;

    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override;

protected:
    HRESULT QueryInterfaceMore(REFIID iid, void** object) override;

private:
    IWebBrowser2* m_browser;  // the window advised on; outlives the sink's use
};

// A headless window on the calling thread (which must be in an STA) with a
// recording sink advised.
class CBrowserWindow {
public:
    explicit CBrowserWindow(std::chrono::milliseconds loadTimeout = std::chrono::seconds(10));
    ~CBrowserWindow();

    IWebBrowser2* Browser() const { return m_browser.Get(); }
    const std::vector<DocumentCompleteEvent>& Events() const { return m_sink->events; }

    // Navigates and dispatches until the navigation ends or `wait` passes
    // (then nullopt).
    std::optional<NavigationOutcome> Load(const std::string& url,
                                          std::chrono::milliseconds wait = std::chrono::seconds(20));

private:
    ComPtr<IWebBrowser2> m_browser;
    ComPtr<CDocumentCompleteSink> m_sink;
    CAdvisedConnection m_connection;
    std::optional<NavigationOutcome> m_outcome;
};

// Dispatches the calling thread's apartment for `duration`.
void DispatchFor(std::chrono::milliseconds duration);

std::string TakeBstr(BSTR text);

}  // namespace wys::test
