#include "hosts/extension/CExtensionTab.h"

#include <algorithm>
#include <ctime>

#include "hosts/browser/PageSnapshot.h"
#include "hosts/extension/CExtensionPort.h"
#include "hosts/extension/NavigationTarget.h"
#include "platform/com/Bstr.h"
#include "platform/com/ComError.h"
#include "platform/inet/Cookies.h"

namespace wys::extension {
namespace {

bool IsAbsent(const VARIANT* argument)
{
    return !argument || argument->vt == VT_EMPTY || argument->vt == VT_ERROR;
}

}  // namespace

CExtensionTab::CExtensionTab(int tab, std::shared_ptr<CExtensionPort> port, TakenCompletions* taken)
    : m_tab(tab), m_port(std::move(port)), m_taken(taken)
{
}

void CExtensionTab::MarkTaken(unsigned completion)
{
    unsigned seen = m_taken->load();
    while (seen < completion && !m_taken->compare_exchange_weak(seen, completion)) {
    }
}

HRESULT CExtensionTab::get_Document(IDispatch** document)
{
    MarkTaken(m_fired);
    return CWebBrowserBase::get_Document(document);
}

CExtensionTab::~CExtensionTab() = default;

void CExtensionTab::StartLoad()
{
    ++m_generation;
    m_abandoned = false;
    m_readyState = READYSTATE_LOADING;
    m_busy = true;
}

// The tab's cookies go to the internet library's store, so that the
// downloads of the page's capture carry the browser's session; a cookie the
// store refuses is one no request of the page carried either.
void CExtensionTab::ShareCookies(const std::vector<BrowserCookie>& cookies)
{
    const double now = static_cast<double>(std::time(nullptr));
    for (const BrowserCookie& cookie : cookies) {
        std::string host = cookie.domain;
        while (host.starts_with('.'))
            host.erase(0, 1);
        if (host.empty())
            continue;
        const std::string path = cookie.path.empty() ? std::string("/") : cookie.path;
        const std::string url = (cookie.secure ? "https://" : "http://") + host + path;
        std::string data = cookie.name + "=" + cookie.value + "; Path=" + path;
        if (!cookie.hostOnly)
            data += "; Domain=" + host;
        if (cookie.secure)
            data += "; Secure";
        if (cookie.httpOnly)
            data += "; HttpOnly";
        if (cookie.expires)
            data += "; Max-Age=" +
                    std::to_string(std::max<long long>(0, static_cast<long long>(*cookie.expires - now)));
        (void)InternetSetCookie(url.c_str(), nullptr, data.c_str());
    }
}

void CExtensionTab::OnLoading(const std::string&)
{
    StartLoad();
}

void CExtensionTab::OnComplete(unsigned completion, const std::string& url, const std::string& title,
                               const std::string& snapshotText, std::vector<BrowserCookie> cookies,
                               PageEvents events)
{
    // Unless its events go out below, nobody will ask for this page.
    struct Untaken {
        CExtensionTab* tab;
        unsigned completion;
        bool fired = false;
        ~Untaken()
        {
            if (!fired)
                tab->MarkTaken(completion);
        }
    } untaken{this, completion};
    if (m_abandoned) {
        m_abandoned = false;
        return;
    }
    unsigned generation = ++m_generation;
    ComPtr<CExtensionTab> keep(this);  // sinks may release the last reference
    browser_host::PageSnapshot snapshot = browser_host::BuildPageSnapshot(snapshotText, url);
    m_busy = false;
    if (!snapshot.document) {
        m_readyState = m_document ? READYSTATE_COMPLETE : READYSTATE_UNINITIALIZED;
        return;
    }
    m_document = snapshot.document;
    m_url = url;
    m_title = title.empty() ? snapshot.title : title;
    m_cookies = std::move(cookies);
    ShareCookies(m_cookies);
    if (events == PageEvents::Withhold) {
        m_readyState = READYSTATE_COMPLETE;
        return;
    }

    m_readyState = READYSTATE_INTERACTIVE;
    for (std::size_t i = 0; i + 1 < snapshot.completed.size(); ++i) {
        if (!FireDocumentComplete(generation, snapshot.completed[i].document.Get(),
                                  snapshot.completed[i].url))
            return;
    }
    m_readyState = READYSTATE_COMPLETE;
    m_fired = completion;
    untaken.fired = true;
    FireDocumentComplete(generation, snapshot.completed.back().document.Get(), snapshot.completed.back().url);
}

bool CExtensionTab::FireDocumentComplete(unsigned generation, IDispatch* document, const std::string& url)
{
    CComBSTR text(url);
    VARIANT documentArgument;
    VariantInit(&documentArgument);
    documentArgument.vt = VT_DISPATCH;
    documentArgument.pdispVal = document;
    VARIANT location;
    VariantInit(&location);
    location.vt = VT_BSTR;
    location.bstrVal = text;
    // A failing sink stops the delivery to later sinks but not the load's end.
    (void)FireDispatchEvent(m_events.Sinks(), DISPID_DOCUMENTCOMPLETE, {documentArgument, location});
    return generation == m_generation;
}

HRESULT CExtensionTab::Navigate(BSTR url, VARIANT* flags, VARIANT* targetFrameName, VARIANT* postData,
                                VARIANT* headers)
{
    return ComBoundary([&]() -> HRESULT {
        if (SysStringLen(url) == 0)
            return E_INVALIDARG;
        if (!IsAbsent(flags) || !IsAbsent(targetFrameName) || !IsAbsent(postData) || !IsAbsent(headers))
            return E_NOTIMPL;
        std::string target = UrlOfNavigationTarget(CComBSTR::CopyOf(url).ToUtf8());
        if (!IsNavigableUrl(target))
            return E_INVALIDARG;
        if (m_closed || !m_port->Send(NavigateMessage(m_port->NextRequest(), m_tab, target)))
            return E_FAIL;
        StartLoad();
        return S_OK;
    });
}

HRESULT CExtensionTab::Stop()
{
    if (m_busy) {
        ++m_generation;
        m_busy = false;
        m_abandoned = true;
        m_readyState = m_document ? READYSTATE_COMPLETE : READYSTATE_UNINITIALIZED;
    }
    return S_OK;
}

HRESULT CExtensionTab::GetWindow(HWND* window)
{
    if (!window)
        return E_POINTER;
    *window = nullptr;
    return E_FAIL;
}

}  // namespace wys::extension
