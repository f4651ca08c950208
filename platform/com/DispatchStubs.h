// The IDispatch members that describe an object, for objects that describe
// none of their members: no type information and no names.
#pragma once

#include "platform/com/ComObject.h"
#include "platform/com/Dispatch.h"

// No type information: a count of 0, and E_NOTIMPL (with a null *info) when
// asked for some all the same.
inline HRESULT NoTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

inline HRESULT NoTypeInfo(ITypeInfo** info)
{
    if (info)
        *info = nullptr;
    return E_NOTIMPL;
}

// The describing members of `Interface` (IDispatch or one based on it) for an
// object called by DISPID only, as an event sink is by its source: no type
// information, and names answer E_NOTIMPL. The object implements Invoke.
//   class CSink final : public CComObjectRoot<CSink, CDispatchNoTypeInfo<DMyEvents>> { ... };
template <class Interface = IDispatch>
class CDispatchNoTypeInfo : public Interface {
public:
    HRESULT GetTypeInfoCount(UINT* count) override { return NoTypeInfoCount(count); }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override { return NoTypeInfo(info); }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }

protected:
    ~CDispatchNoTypeInfo() = default;
};

// An object whose interfaces (IDispatch-based ones among them) are reached
// through their vtables only: its automation side is empty, with no names
// and no members to invoke.
template <class Derived, class... Interfaces>
class CEmptyDispatchObject : public CComObjectRoot<Derived, Interfaces...> {
public:
    HRESULT GetTypeInfoCount(UINT* count) override { return NoTypeInfoCount(count); }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override { return NoTypeInfo(info); }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return DISP_E_MEMBERNOTFOUND;
    }

protected:
    CEmptyDispatchObject() = default;
};
