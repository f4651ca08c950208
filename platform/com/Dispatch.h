// Automation: IDispatch, its call parameters, class information and
// connection points.
#pragma once

#include "platform/com/Variant.h"

using DISPID = LONG;

inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;

inline constexpr WORD DISPATCH_METHOD = 0x1;
inline constexpr WORD DISPATCH_PROPERTYGET = 0x2;
inline constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
inline constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

// Arguments in reverse order: rgvarg[cArgs - 1] is the first argument.
struct DISPPARAMS {
    VARIANTARG* rgvarg;
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    void* pvReserved;
    void* pfnDeferredFillIn;
    HRESULT scode;
};

// Type information. Only identity is offered: the classes of this system
// describe themselves by their identifiers.
struct ITypeInfo : IUnknown {
    static constexpr GUID Iid = MakeGuid("{00020401-0000-0000-C000-000000000046}");
    using Base = IUnknown;

    // The GUID of the described type (class, interface or library).
    virtual HRESULT GetGuid(GUID* guid) = 0;

protected:
    ~ITypeInfo() = default;
};

struct IDispatch : IUnknown {
    static constexpr GUID Iid = MakeGuid("{00020400-0000-0000-C000-000000000046}");
    using Base = IUnknown;

    virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
    virtual HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) = 0;
    virtual HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) = 0;
    virtual HRESULT Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                           EXCEPINFO* exception, UINT* argError) = 0;

protected:
    ~IDispatch() = default;
};

inline constexpr const IID& IID_IDispatch = IDispatch::Iid;

struct IProvideClassInfo : IUnknown {
    static constexpr GUID Iid = MakeGuid("{B196B283-BAB4-101A-B69C-00AA00341D07}");
    using Base = IUnknown;

    virtual HRESULT GetClassInfo(ITypeInfo** info) = 0;

protected:
    ~IProvideClassInfo() = default;
};

inline constexpr DWORD GUIDKIND_DEFAULT_SOURCE_DISP_IID = 1;

struct IProvideClassInfo2 : IProvideClassInfo {
    static constexpr GUID Iid = MakeGuid("{A6BC3AC0-DBAA-11CE-9DE3-00AA004BB851}");
    using Base = IProvideClassInfo;

    virtual HRESULT GetGUID(DWORD kind, GUID* guid) = 0;

protected:
    ~IProvideClassInfo2() = default;
};

struct IConnectionPointContainer;

struct IConnectionPoint : IUnknown {
    static constexpr GUID Iid = MakeGuid("{B196B286-BAB4-101A-B69C-00AA00341D07}");
    using Base = IUnknown;

    virtual HRESULT GetConnectionInterface(IID* iid) = 0;
    virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) = 0;
    // Cookies start at 1; a freed cookie is handed out again by the next Advise.
    virtual HRESULT Advise(IUnknown* sink, DWORD* cookie) = 0;
    virtual HRESULT Unadvise(DWORD cookie) = 0;

protected:
    ~IConnectionPoint() = default;
};

struct IConnectionPointContainer : IUnknown {
    static constexpr GUID Iid = MakeGuid("{B196B284-BAB4-101A-B69C-00AA00341D07}");
    using Base = IUnknown;

    virtual HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) = 0;

protected:
    ~IConnectionPointContainer() = default;
};

// The property-change sink interface; objects offer a connection point for it.
struct IPropertyNotifySink : IUnknown {
    static constexpr GUID Iid = MakeGuid("{9BFBBC02-EFF1-101A-84ED-00AA00341D07}");
    using Base = IUnknown;

    virtual HRESULT OnChanged(DISPID id) = 0;
    virtual HRESULT OnRequestEdit(DISPID id) = 0;

protected:
    ~IPropertyNotifySink() = default;
};

// Convenience for callers of Invoke: the n-th argument counted from the
// first one as written in a call (the array holds them in reverse).
inline VARIANT* DispArg(DISPPARAMS* params, UINT n)
{
    return &params->rgvarg[params->cArgs - 1 - n];
}
