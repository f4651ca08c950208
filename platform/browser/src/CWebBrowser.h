// Private to platform/browser: the headless browser window object behind
// CreateHeadlessBrowser (HeadlessBrowser.h), where its contract is stated.
#pragma once

#include <memory>
#include <thread>

#include "platform/browser/BandSite.h"
#include "platform/browser/HeadlessBrowser.h"
#include "platform/browser/ServiceProvider.h"
#include "platform/browser/src/DocumentLoader.h"
#include "platform/com/ComObject.h"
#include "platform/com/ConnectionPoint.h"

namespace wys::browser {

class CWebBrowser final : public CComObjectRoot<CWebBrowser, IWebBrowser2, IConnectionPointContainer,
                                                IServiceProvider, IOleWindow, IInputObjectSite, IOleCommandTarget> {
public:
    explicit CWebBrowser(const HeadlessBrowserOptions& options);
    ~CWebBrowser() override;

    // IDispatch: the browser is driven through its vtable; names are not offered.
    HRESULT GetTypeInfoCount(UINT* count) override;
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return DISP_E_MEMBERNOTFOUND;
    }

    // IWebBrowser2
    HRESULT Navigate(BSTR url, VARIANT* flags, VARIANT* targetFrameName, VARIANT* postData, VARIANT* headers) override;
    HRESULT Stop() override;
    HRESULT get_Document(IDispatch** document) override;
    HRESULT get_LocationName(BSTR* name) override;
    HRESULT get_LocationURL(BSTR* url) override;
    HRESULT get_Busy(VARIANT_BOOL* busy) override;
    HRESULT get_ReadyState(READYSTATE* state) override;

    // IConnectionPointContainer
    HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

    // IServiceProvider
    HRESULT QueryService(REFGUID service, REFIID iid, void** object) override;

    // IOleWindow
    HRESULT GetWindow(HWND* window) override;
    HRESULT ContextSensitiveHelp(BOOL) override { return S_OK; }

    // IInputObjectSite: without a display there is no focus to move.
    HRESULT OnFocusChangeIS(IUnknown*, BOOL) override { return S_OK; }

    // IOleCommandTarget: the headless window runs no host commands.
    HRESULT QueryStatus(const GUID* group, ULONG count, OLECMD* commands, OLECMDTEXT* text) override;
    HRESULT Exec(const GUID* group, DWORD, DWORD, VARIANT*, VARIANT*) override;

private:
    struct PendingLoad;

    void AbandonLoad();
    void Finish(unsigned generation, LoadedDocumentTree& tree);
    // False when a sink navigated elsewhere during the event.
    bool FireDocumentComplete(unsigned generation, const CompletedDocument& completed);

    HeadlessBrowserOptions m_options;
    CConnectionPoint m_events{this, DIID_DWebBrowserEvents2};
    DWORD m_thread;
    // Read by loads' closures on the window's thread: false once this object is gone.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);

    unsigned m_generation = 0;
    std::shared_ptr<PendingLoad> m_pending;
    std::thread m_worker;

    READYSTATE m_readyState = READYSTATE_UNINITIALIZED;
    bool m_busy = false;
    ComPtr<IDispatch> m_document;
    std::string m_url;
    std::string m_title;
};

}  // namespace wys::browser
