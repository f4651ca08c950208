#include "tests/platform/browser/BrowserTestSupport.h"

#include "platform/com/Bstr.h"
#include "platform/rpc/Apartment.h"

namespace wys::test {

HRESULT CDocumentCompleteSink::QueryInterfaceMore(REFIID iid, void** object)
{
    if (iid != DIID_DWebBrowserEvents2)
        return E_NOINTERFACE;
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
}

HRESULT CDocumentCompleteSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                      UINT*)
{
    if (id != DISPID_DOCUMENTCOMPLETE)
        return S_OK;
    EXPECT_EQ(params->cArgs, 2u);
    DocumentCompleteEvent event;
    VARIANT* document = DispArg(params, 0);
    if (document->vt == VT_DISPATCH)
        event.document = document->pdispVal;
    VARIANT* url = DispArg(params, 1);
    event.urlType = url->vt;
    if (url->vt == VT_BSTR)
        event.url = CComBSTR::CopyOf(url->bstrVal).ToUtf8();
    m_browser->get_ReadyState(&event.readyState);
    event.thread = GetCurrentThreadId();
    events.push_back(std::move(event));
    return S_OK;
}

CBrowserWindow::CBrowserWindow(std::chrono::milliseconds loadTimeout)
{
    HeadlessBrowserOptions options;
    options.loadTimeout = loadTimeout;
    options.onNavigationEnded = [this](const NavigationOutcome& outcome) { m_outcome = outcome; };
    EXPECT_EQ(CreateHeadlessBrowser(options, m_browser.GetAddressOf()), S_OK);
    m_sink.Attach(CreateComObject<CDocumentCompleteSink>(m_browser.Get()));
    EXPECT_EQ(m_connection.Advise(m_browser.Get(), DIID_DWebBrowserEvents2, m_sink->GetUnknown()), S_OK);
}

CBrowserWindow::~CBrowserWindow()
{
    m_connection.Unadvise();
}

std::optional<NavigationOutcome> CBrowserWindow::Load(const std::string& url, std::chrono::milliseconds wait)
{
    m_outcome.reset();
    m_sink->events.clear();
    CComBSTR target(url);
    EXPECT_EQ(m_browser->Navigate(target, nullptr, nullptr, nullptr, nullptr), S_OK);
    auto deadline = std::chrono::steady_clock::now() + wait;
    while (!m_outcome && std::chrono::steady_clock::now() < deadline) {
        DWORD index = 0;
        CoWaitForMultipleHandles(0, 20, 0, nullptr, &index);
    }
    return m_outcome;
}

void DispatchFor(std::chrono::milliseconds duration)
{
    auto deadline = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < deadline) {
        DWORD index = 0;
        CoWaitForMultipleHandles(0, 10, 0, nullptr, &index);
    }
}

std::string TakeBstr(BSTR text)
{
    CComBSTR owned;
    owned.Attach(text);
    return owned.ToUtf8();
}

}  // namespace wys::test
