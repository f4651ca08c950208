// The URL base object answers two different dispatch interfaces that both
// derive from IDispatch: its own IWYSCURLBase, and IWYSCURLBaseEvents, through
// which a call raises an event. C++ would let one Invoke override serve both,
// so each interface gets a part that forwards its IDispatch members to
// differently named functions.
#pragma once

#include "common/IWYSCURLBase.h"

class CUrlBaseDispatchPart : public IWYSCURLBase {
public:
    HRESULT GetTypeInfoCount(UINT* count) final { return UrlBaseGetTypeInfoCount(count); }
    HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) final
    {
        return UrlBaseGetTypeInfo(index, lcid, info);
    }
    HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) final
    {
        return UrlBaseGetIDsOfNames(iid, names, count, lcid, ids);
    }
    HRESULT Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* exception, UINT* argError) final
    {
        return UrlBaseInvoke(id, iid, lcid, flags, params, result, exception, argError);
    }

protected:
    ~CUrlBaseDispatchPart() = default;
    virtual HRESULT UrlBaseGetTypeInfoCount(UINT* count) = 0;
    virtual HRESULT UrlBaseGetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) = 0;
    virtual HRESULT UrlBaseGetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) = 0;
    virtual HRESULT UrlBaseInvoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                  VARIANT* result, EXCEPINFO* exception, UINT* argError) = 0;
};

class CUrlBaseEventsDispatchPart : public IWYSCURLBaseEvents {
public:
    HRESULT GetTypeInfoCount(UINT* count) final { return EventsGetTypeInfoCount(count); }
    HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) final
    {
        return EventsGetTypeInfo(index, lcid, info);
    }
    HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) final
    {
        return EventsGetIDsOfNames(iid, names, count, lcid, ids);
    }
    HRESULT Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* exception, UINT* argError) final
    {
        return EventsInvoke(id, iid, lcid, flags, params, result, exception, argError);
    }

protected:
    ~CUrlBaseEventsDispatchPart() = default;
    virtual HRESULT EventsGetTypeInfoCount(UINT* count) = 0;
    virtual HRESULT EventsGetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) = 0;
    virtual HRESULT EventsGetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) = 0;
    virtual HRESULT EventsInvoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                 VARIANT* result, EXCEPINFO* exception, UINT* argError) = 0;
};
