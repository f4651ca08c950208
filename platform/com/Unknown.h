// The base interfaces of the component runtime.
//
// Every interface struct names its identifier as `Iid` and its base
// interface as `Base`, so that generic code (ComPtr::As, query helpers,
// proxies) can find both without a separate table.
#pragma once

#include "platform/base/WinError.h"
#include "platform/com/Guid.h"

#include <type_traits>

struct IUnknown {
    static constexpr GUID Iid = MakeGuid("{00000000-0000-0000-C000-000000000046}");
    using Base = void;

    virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

inline constexpr const IID& IID_IUnknown = IUnknown::Iid;

// Creates objects of one class (a class object).
struct IClassFactory : IUnknown {
    static constexpr GUID Iid = MakeGuid("{00000001-0000-0000-C000-000000000046}");
    using Base = IUnknown;

    virtual HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) = 0;
    virtual HRESULT LockServer(BOOL lock) = 0;

protected:
    ~IClassFactory() = default;
};

inline constexpr const IID& IID_IClassFactory = IClassFactory::Iid;

// True when `iid` names I or one of its base interfaces.
template <class I>
constexpr bool InterfaceChainHas(REFIID iid)
{
    if (iid == I::Iid)
        return true;
    if constexpr (!std::is_void_v<typename I::Base>)
        return InterfaceChainHas<typename I::Base>(iid);
    else
        return false;
}
