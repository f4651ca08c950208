// What every browser window object of ours shares: the IWebBrowser2
// properties read from the window's state, the DocumentComplete connection
// point, and the site services its helper objects and bands ask for
// (SID_SWebBrowserApp, input-object site, an empty command target). The
// window object adds Navigate, Stop and its window, and keeps the state.
#pragma once

#include <memory>
#include <string>

#include "platform/browser/BandSite.h"
#include "platform/browser/CompletionGate.h"
#include "platform/browser/ServiceProvider.h"
#include "platform/browser/WebBrowser.h"
#include "platform/com/Bstr.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ConnectionPoint.h"
#include "platform/com/DispatchStubs.h"

template <class Derived>
class CWebBrowserBase
    // The browser is driven through its vtable; names are not offered.
    : public CEmptyDispatchObject<Derived, IWebBrowser2, IConnectionPointContainer, IServiceProvider,
                                  IOleWindow, IInputObjectSite, IOleCommandTarget> {
public:
    // IWebBrowser2: the properties.
    HRESULT get_Document(IDispatch** document) override
    {
        if (!document)
            return E_POINTER;
        *document = m_document.Get();
        if (!*document)
            return S_FALSE;
        (*document)->AddRef();
        m_gate->Taken();
        OnDocumentTaken();
        return S_OK;
    }
    HRESULT get_LocationName(BSTR* name) override
    {
        if (!name)
            return E_POINTER;
        *name = CComBSTR(m_title.empty() ? m_url : m_title).Detach();
        return *name ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT get_LocationURL(BSTR* url) override
    {
        if (!url)
            return E_POINTER;
        *url = CComBSTR(m_url).Detach();
        return *url ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT get_Busy(VARIANT_BOOL* busy) override
    {
        if (!busy)
            return E_POINTER;
        *busy = m_busy ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT get_ReadyState(READYSTATE* state) override
    {
        if (!state)
            return E_POINTER;
        *state = m_readyState;
        return S_OK;
    }

    HRESULT get_StatusText(BSTR* text) override
    {
        if (!text)
            return E_POINTER;
        *text = CComBSTR(m_statusText).Detach();
        return *text ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT put_StatusText(BSTR text) override
    {
        m_statusText = CComBSTR::CopyOf(text).ToUtf8();
        // Said while the page's event is handled: no capture will read it.
        if (m_firingPage)
            m_gate->Taken();
        OnStatusText();
        return S_OK;
    }

    // IConnectionPointContainer
    HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) override
    {
        if (!point)
            return E_POINTER;
        *point = nullptr;
        if (iid != DIID_DWebBrowserEvents2)
            return CONNECT_E_NOCONNECTION;
        *point = &m_events;
        m_events.AddRef();
        return S_OK;
    }

    // IServiceProvider
    HRESULT QueryService(REFGUID service, REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (service != SID_SWebBrowserApp && service != IID_IWebBrowser2)
            return E_NOINTERFACE;
        return this->QueryInterface(iid, object);
    }

    // IOleWindow (GetWindow is the window object's)
    HRESULT ContextSensitiveHelp(BOOL) override { return S_OK; }

    // IInputObjectSite: helper objects have no focus to report.
    HRESULT OnFocusChangeIS(IUnknown*, BOOL) override { return S_OK; }

    // IOleCommandTarget: the window runs no host commands for its objects.
    HRESULT QueryStatus(const GUID* group, ULONG count, OLECMD* commands, OLECMDTEXT* text) override
    {
        if (group)
            return OLECMDERR_E_UNKNOWNGROUP;
        if (count > 0 && !commands)
            return E_POINTER;
        for (ULONG i = 0; i < count; ++i)
            commands[i].cmdf = 0;
        if (text)
            text->cwActual = 0;
        return S_OK;
    }
    HRESULT Exec(const GUID* group, DWORD, DWORD, VARIANT*, VARIANT*) override
    {
        return group ? OLECMDERR_E_UNKNOWNGROUP : OLECMDERR_E_NOTSUPPORTED;
    }

protected:
    // Called after put_StatusText; a window that shows a status line shows it.
    virtual void OnStatusText() {}
    // Called after get_Document has handed out the document: a page held
    // back by the gate may go on (never from inside this call).
    virtual void OnDocumentTaken() {}

    // Fires the page's last DocumentComplete through `fire` and tells the
    // gate; returns what `fire` returns.
    template <class Fire>
    bool FirePageComplete(Fire&& fire)
    {
        m_gate->Fired(m_events.Sinks().Count() > 0);
        m_firingPage = true;
        bool result = fire();
        m_firingPage = false;
        return result;
    }

    // Shared with load workers, which may outlive a call.
    std::shared_ptr<CCompletionGate> m_gate = std::make_shared<CCompletionGate>();
    bool m_firingPage = false;

    CConnectionPoint m_events{this, DIID_DWebBrowserEvents2};
    READYSTATE m_readyState = READYSTATE_UNINITIALIZED;
    bool m_busy = false;
    ComPtr<IDispatch> m_document;
    std::string m_url;
    std::string m_title;
    std::string m_statusText;
};
