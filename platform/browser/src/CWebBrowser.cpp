#include "platform/browser/src/CWebBrowser.h"

#include "platform/com/Bstr.h"
#include "platform/com/ComError.h"
#include "platform/dom/HtmlDocument.h"
#include "platform/inet/UrlCombine.h"
#include "platform/rpc/Apartment.h"

namespace wys::browser {
namespace {

bool IsAbsent(const VARIANT* argument)
{
    return !argument || argument->vt == VT_EMPTY || argument->vt == VT_ERROR;
}

// Navigate takes local paths too, as the band's saved copies are; characters
// that would end a file URL's path are escaped before it is made absolute.
std::string UrlOfTarget(const std::string& target)
{
    if (!target.starts_with('/'))
        return target;
    std::string path;
    for (char c : target) {
        if (c == '%')
            path += "%25";
        else if (c == '#')
            path += "%23";
        else if (c == '?')
            path += "%3F";
        else
            path += c;
    }
    return CombineUrl("file:///", path).value_or("file://" + path);
}

}  // namespace

// What a load's worker shares with the window: the stop flag it watches.
struct CWebBrowser::PendingLoad {
    std::atomic<bool> stop{false};
};

CWebBrowser::CWebBrowser(const HeadlessBrowserOptions& options)
    : m_options(options), m_thread(GetCurrentThreadId())
{
}

CWebBrowser::~CWebBrowser()
{
    *m_alive = false;
    AbandonLoad();
}

void CWebBrowser::AbandonLoad()
{
    if (m_pending)
        m_pending->stop = true;
    m_gate->Wake();
    m_pending.reset();
    if (m_worker.joinable())
        m_worker.join();
}

HRESULT CWebBrowser::Navigate(BSTR url, VARIANT* flags, VARIANT* targetFrameName, VARIANT* postData,
                              VARIANT* headers)
{
    return ComBoundary([&]() -> HRESULT {
        if (SysStringLen(url) == 0)
            return E_INVALIDARG;
        if (!IsAbsent(flags) || !IsAbsent(targetFrameName) || !IsAbsent(postData) || !IsAbsent(headers))
            return E_NOTIMPL;
        std::string target = UrlOfTarget(CComBSTR::CopyOf(url).ToUtf8());
        AbandonLoad();
        m_preload.reset();
        unsigned generation = ++m_generation;
        auto pending = std::make_shared<PendingLoad>();
        m_pending = pending;

        PageLoadOptions options;
        options.timeout = m_options.loadTimeout;
        DWORD thread = m_thread;
        std::weak_ptr<bool> alive = m_alive;
        CWebBrowser* self = this;  // used only while *alive, on the window's thread
        std::shared_ptr<CCompletionGate> gate = m_gate;
        m_worker = std::thread([=]() mutable {
            options.stop = &pending->stop;
            auto tree = std::make_shared<LoadedDocumentTree>(LoadDocumentTree(target, options));
            // The page before may still be waiting for its capture to read it.
            gate->Wait(pending->stop);
            if (pending->stop)
                return;
            // A window whose apartment has ended drops the result with the closure.
            PostToApartment(thread, [alive, self, generation, tree] {
                std::shared_ptr<bool> living = alive.lock();
                if (living && *living)
                    self->Finish(generation, *tree);
            });
        });
        m_readyState = READYSTATE_LOADING;
        m_busy = true;
        return S_OK;
    });
}

void CWebBrowser::Finish(unsigned generation, LoadedDocumentTree& tree)
{
    if (generation != m_generation)
        return;
    // Sinks may release the window's last reference while they are called.
    ComPtr<CWebBrowser> keep(this);
    if (m_worker.joinable())
        m_worker.join();
    m_pending.reset();

    NavigationOutcome outcome;
    outcome.finalUrl = tree.page.finalUrl;
    outcome.status = tree.page.status;
    outcome.loaded = tree.page.Loaded();
    outcome.failure = tree.page.failure;
    m_document = tree.document;
    m_preload = std::move(tree.preload);
    m_url = tree.page.finalUrl;
    m_title = tree.title;
    if (m_document) {
        ComPtr<IHTMLDocument2> html;
        outcome.isHtml = SUCCEEDED(m_document->QueryInterface(IID_IHTMLDocument2, html.PutVoid()));
    }

    if (outcome.loaded && !tree.completed.empty()) {
        m_readyState = READYSTATE_INTERACTIVE;
        for (std::size_t i = 0; i + 1 < tree.completed.size(); ++i) {
            if (!FireDocumentComplete(generation, tree.completed[i]))
                return;
        }
    }
    m_readyState = READYSTATE_COMPLETE;
    m_busy = false;
    if (outcome.loaded && !tree.completed.empty() &&
        !FirePageComplete([&] { return FireDocumentComplete(generation, tree.completed.back()); }))
        return;
    if (m_options.onNavigationEnded)
        m_options.onNavigationEnded(outcome);
}

bool CWebBrowser::FireDocumentComplete(unsigned generation, const CompletedDocument& completed)
{
    CComBSTR url(completed.url);
    VARIANT document;
    VariantInit(&document);
    document.vt = VT_DISPATCH;
    document.pdispVal = completed.document.Get();
    VARIANT location;
    VariantInit(&location);
    location.vt = VT_BSTR;
    location.bstrVal = url;
    // A failing sink stops the delivery to later sinks but not the load's end.
    (void)FireDispatchEvent(m_events.Sinks(), DISPID_DOCUMENTCOMPLETE, {document, location});
    return generation == m_generation;
}

HRESULT CWebBrowser::Stop()
{
    if (m_busy) {
        AbandonLoad();
        ++m_generation;
        m_busy = false;
        m_readyState = m_document ? READYSTATE_COMPLETE : READYSTATE_UNINITIALIZED;
    }
    return S_OK;
}

void CWebBrowser::OnStatusText()
{
    if (m_options.onStatusText)
        m_options.onStatusText(m_statusText);
}

HRESULT CWebBrowser::GetWindow(HWND* window)
{
    if (!window)
        return E_POINTER;
    *window = m_options.window;
    return *window ? S_OK : E_FAIL;
}

}  // namespace wys::browser

HRESULT CreateHeadlessBrowser(const HeadlessBrowserOptions& options, IWebBrowser2** browser)
{
    if (!browser)
        return E_POINTER;
    *browser = nullptr;
    if (ApartmentWakeFd() < 0)
        return CO_E_NOTINITIALIZED;
    return ComBoundary([&] {
        *browser = CreateComObject<wys::browser::CWebBrowser>(options);
        return S_OK;
    });
}
