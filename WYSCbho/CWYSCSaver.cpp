#include "WYSCbho/CWYSCSaver.h"

#include <ctime>

#include "WYSCbho/ParseUrl.h"
#include "common/CUrlBaseEventSinkBase.h"
#include "common/StringConvert.h"
#include "common/UrlBaseConnection.h"
#include "platform/browser/ServiceProvider.h"
#include "platform/com/DispatchStubs.h"
#include "platform/com/TypeInfo.h"
#include "platform/rpc/Marshal.h"
#include "platform/ui/MessageBox.h"

namespace wys::capture {

// Receives the browser's DWebBrowserEvents2; only DocumentComplete is acted
// on. Holds its owner without a reference (the owner clears it when it lets
// go), so that the browser's reference on the sink never keeps the helper
// object alive.
class CBrowserEventSink final : public CComObjectRoot<CBrowserEventSink, CDispatchNoTypeInfo<>> {
public:
    explicit CBrowserEventSink(CWYSCSaver* owner) : m_owner(owner) {}
    void Disconnect() { m_owner = nullptr; }

    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override
    {
        if (id != DISPID_DOCUMENTCOMPLETE || !m_owner || !params || params->cArgs < 2)
            return S_OK;
        // The URL is the second argument as written, the first in the array.
        m_owner->OnDocumentComplete(&params->rgvarg[0]);
        return S_OK;
    }

protected:
    HRESULT QueryInterfaceMore(REFIID iid, void** object) override
    {
        if (iid != DIID_DWebBrowserEvents2)
            return E_NOINTERFACE;
        return QueryInterface(IID_IDispatch, object);
    }

private:
    CWYSCSaver* m_owner;  // Not owned; cleared before the owner goes.
};

// Receives the URL base's events; only OnSettingsChanged is acted on.
class CUrlBaseEventSink final : public CComObjectRoot<CUrlBaseEventSink, CUrlBaseEventSinkBase> {
public:
    explicit CUrlBaseEventSink(CWYSCSaver* owner) : m_owner(owner) { IgnoreBadEvents(); }
    void Disconnect() { m_owner = nullptr; }

    HRESULT OnSettingsChanged() override
    {
        if (m_owner)
            m_owner->OnSettingsChanged();
        return S_OK;
    }

private:
    CWYSCSaver* m_owner;  // Not owned; cleared before the owner goes.
};

CWYSCSaver::CWYSCSaver(Clock clock) : m_clock(std::move(clock)) {}

CWYSCSaver::~CWYSCSaver()
{
    Detach();
    for (const std::unique_ptr<CCaptureThread>& thread : m_threads) {
        if (!thread->WaitForEnd(kCaptureGraceMs))
            thread->RequestStop();
    }
}

std::int64_t CWYSCSaver::Now() const
{
    return m_clock ? m_clock() : static_cast<std::int64_t>(std::time(nullptr));
}

HRESULT CWYSCSaver::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT CWYSCSaver::GetTypeInfo(UINT index, LCID, ITypeInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    if (index != 0)
        return DISP_E_BADINDEX;
    return CreateGuidTypeInfo(IID_IWYSCSaver, info);
}

HRESULT CWYSCSaver::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids)
{
    for (UINT i = 0; ids && i < count; ++i)
        ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

HRESULT CWYSCSaver::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)
{
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT CWYSCSaver::GetSite(REFIID, void** site)
{
    if (site)
        *site = nullptr;
    return E_NOTIMPL;
}

HRESULT CWYSCSaver::SetSite(IUnknown* site)
{
    // Whatever fails stays local to this window: the host is always told S_OK.
    ComBoundary([&] {
        if (site)
            Attach(site);
        else
            Detach();
        return S_OK;
    });
    return S_OK;
}

void CWYSCSaver::Attach(IUnknown* site)
{
    // A host that gives a new site without taking the old one back first
    // gets the old connections undone.
    Detach();

    ComPtr<IServiceProvider> services;
    if (FAILED(site->QueryInterface(IID_IServiceProvider, services.PutVoid())))
        return;
    ComPtr<IWebBrowser2> browser;
    if (FAILED(services->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2, browser.PutVoid())) || !browser)
        return;

    m_browser = browser;
    m_browserSink = ComPtr<CBrowserEventSink>(new CBrowserEventSink(this));
    m_browserConnection.Advise(m_browser.Get(), DIID_DWebBrowserEvents2, m_browserSink->GetUnknown());

    ComPtr<IWYSCURLBase> urlBase;
    if (FAILED(ConnectUrlBase(&urlBase))) {
        MessageBoxA(nullptr, kCannotCreateText, "Error", MB_OK | MB_ICONERROR);
        return;
    }
    m_urlBase = urlBase;
    m_urlBaseSink = ComPtr<CUrlBaseEventSink>(new CUrlBaseEventSink(this));
    if (FAILED(m_urlBaseConnection.Advise(m_urlBase.Get(), DIID_IWYSCURLBaseEvents,
                                          m_urlBaseSink->GetUnknown()))) {
        MessageBoxA(nullptr, kCannotHookText, "Error", MB_OK | MB_ICONERROR);
        return;
    }
    ReadSettings();
}

void CWYSCSaver::Detach()
{
    if (m_browser) {
        m_browserConnection.Unadvise();
        m_browser = nullptr;
    }
    if (m_browserSink) {
        m_browserSink->Disconnect();
        m_browserSink = nullptr;
    }
    if (m_urlBase) {
        m_urlBaseConnection.Unadvise();
        m_urlBase = nullptr;
    }
    if (m_urlBaseSink) {
        m_urlBaseSink->Disconnect();
        m_urlBaseSink = nullptr;
    }
    m_collectEnabled = false;
    m_historyFolder = CHistoryFolder();
}

void CWYSCSaver::ReadSettings()
{
    VARIANT_BOOL collect = VARIANT_FALSE;
    if (m_urlBase && SUCCEEDED(m_urlBase->get_CollectHistory(&collect)))
        m_collectEnabled = collect == VARIANT_TRUE;
    else
        m_collectEnabled = false;
    // A folder that cannot be read leaves the one known before: forgetting it
    // would let the history's own pages be captured.
    CComBSTR folder;
    if (m_urlBase && SUCCEEDED(m_urlBase->get_BaseDirectory(&folder)) && folder.Length() > 0)
        m_historyFolder = CHistoryFolder(BstrToNarrowZ(folder));
}

void CWYSCSaver::OnSettingsChanged()
{
    ReadSettings();
}

void CWYSCSaver::PruneThreads()
{
    std::erase_if(m_threads,
                  [](const std::unique_ptr<CCaptureThread>& thread) { return thread->HasEnded(); });
}

void CWYSCSaver::TellWindow(const std::string& text)
{
    // The window's status line only informs; a window without one is no failure.
    (void)m_browser->put_StatusText(CComBSTR(text));
}

void CWYSCSaver::OnDocumentComplete(VARIANT* urlArgument)
{
    if (!m_browser || !urlArgument)
        return;
    if (!m_collectEnabled || !m_urlBase) {
        // Said once the page as a whole has completed, as a capture would.
        READYSTATE state = READYSTATE_UNINITIALIZED;
        if (m_urlBase && SUCCEEDED(m_browser->get_ReadyState(&state)) && state == READYSTATE_COMPLETE)
            TellWindow("Not saved to the history: keeping the history is switched off");
        return;
    }
    try {
        VARIANT copy;
        VariantInit(&copy);
        if (FAILED(VariantCopyInd(&copy, urlArgument)))
            return;
        std::string url = copy.vt == VT_BSTR ? BstrToNarrowZ(copy.bstrVal) : std::string();
        bool isText = copy.vt == VT_BSTR;
        VariantClear(&copy);
        if (!isText)
            return;

        // The ready state is the only filter between the completions of
        // frames and of the page: the one that finds the browser complete is
        // taken, whichever document it names.
        READYSTATE state = READYSTATE_UNINITIALIZED;
        if (FAILED(m_browser->get_ReadyState(&state)) || state != READYSTATE_COMPLETE)
            return;

        std::optional<UrlParts> parts = ParseUrl(url);
        if (!parts || parts->Scheme == kSchemeUnknown)
            return;
        // A saved copy opened from the history (the band shows them in this
        // window) is no visit: recording it would save the history into itself.
        if (parts->Scheme == kSchemeFile && m_historyFolder.ContainsFileUrl(url)) {
            TellWindow("A saved copy from the history: not saved again");
            return;
        }

        const std::int64_t now = Now();
        ULONG index = kNoRecord;
        if (FAILED(m_urlBase->Find(now, CComBSTR(url), &index)))
            index = kNoRecord;
        CComBSTR title;
        const bool titled = SUCCEEDED(m_browser->get_LocationName(&title));
        if (index != kNoRecord) {
            // This very second's visit of the page is recorded already.
            TellWindow("Saved to the history: " + (titled && title.Length() ? BstrToNarrowZ(title) : url));
            return;
        }

        auto request = std::make_unique<CaptureRequest>();
        request->Url = url;
        request->Time = now;
        if (titled)
            request->Title = BstrToNarrowZ(title);
        if (FAILED(CoMarshalInterThreadInterfaceInStream(IID_IWebBrowser2, m_browser.Get(),
                                                         request->BrowserStream.ReleaseAndGetAddressOf())))
            return;

        PruneThreads();
        if (std::unique_ptr<CCaptureThread> thread = CCaptureThread::Start(std::move(request)))
            m_threads.push_back(std::move(thread));
    } catch (...) {
        // An error while the event is handled ends its handling; no capture.
    }
}

}  // namespace wys::capture
