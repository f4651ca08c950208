// A base for sinks of the history's events: Invoke decodes the DISPPARAMS
// of each event into a call of its handler (IWYSCURLBaseEventHandlers),
// which answers S_OK until the sink overrides it. Flags and the interface
// identifier are not looked at: every event is a call. Another DISPID
// answers DISP_E_MEMBERNOTFOUND, arguments that do not fit the event
// DISP_E_BADPARAMCOUNT or DISP_E_TYPEMISMATCH, unless IgnoreBadEvents.
//   class CSink final : public CComObjectRoot<CSink, CUrlBaseEventSinkBase> { ... };
#pragma once

#include "common/IWYSCURLBase.h"
#include "platform/com/DispatchStubs.h"

class CUrlBaseEventSinkBase : public CDispatchNoTypeInfo<IWYSCURLBaseEvents>,
                              public IWYSCURLBaseEventHandlers {
public:
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                   UINT* argError) override
    {
        UINT ignored = 0;
        HRESULT hr = wys::dispatch::InvokeMember<IWYSCURLBaseEventHandlers>(
            kIWYSCURLBaseEventMembers, *this, id, DISPATCH_METHOD, params, nullptr,
            m_ignoreBadEvents ? &ignored : argError);
        const bool bad =
            hr == DISP_E_MEMBERNOTFOUND || hr == DISP_E_BADPARAMCOUNT || hr == DISP_E_TYPEMISMATCH;
        return bad && m_ignoreBadEvents ? S_OK : hr;
    }

    WYS_COM_DEFAULT_MEMBERS(WYS_IWYSCURLBASEEVENTS_MEMBERS, S_OK)

protected:
    ~CUrlBaseEventSinkBase() = default;
    // From now on an event whose arguments do not fit it, or another DISPID,
    // answers S_OK and calls no handler, instead of DISP_E_BADPARAMCOUNT,
    // DISP_E_TYPEMISMATCH (the argument in *argError) or
    // DISP_E_MEMBERNOTFOUND: for a client whose server must never see a
    // failure from it.
    void IgnoreBadEvents() { m_ignoreBadEvents = true; }

private:
    bool m_ignoreBadEvents = false;
};
