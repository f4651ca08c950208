// What an in-process component library serving one class needs for its
// exports: the class object and the library's own path for self-registration.
#pragma once

#include <string>

#include "platform/com/ComError.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"

// The class object of `Object`: creates one per CreateInstance (no
// aggregation) and passes LockServer to the library's lock count.
template <class Object, void (*LockLibrary)(), void (*UnlockLibrary)()>
class CInprocClassFactory final
    : public CComObjectRoot<CInprocClassFactory<Object, LockLibrary, UnlockLibrary>, IClassFactory> {
public:
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return ComBoundary([&] {
            ComPtr<Object> made(new Object());
            return made->QueryInterface(iid, object);
        });
    }
    HRESULT LockServer(BOOL lock) override
    {
        if (lock)
            LockLibrary();
        else
            UnlockLibrary();
        return S_OK;
    }
};

// DllGetClassObject of a library whose only class is `served`.
template <class Factory>
HRESULT GetInprocClassObject(REFCLSID clsid, REFCLSID served, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (clsid != served)
        return CLASS_E_CLASSNOTAVAILABLE;
    return ComBoundary([&] {
        ComPtr<Factory> factory(new Factory());
        return factory->QueryInterface(iid, object);
    });
}

// The path of the shared library that holds `address` (pass the address of
// a function of the library's own, not an exported one, which another
// library may answer); empty when unknown.
std::string LibraryPathOf(const void* address);
