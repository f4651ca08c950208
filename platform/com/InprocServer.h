// What an in-process component library serving one class needs for its
// exports: its lock count, the class object and the library's own path for
// self-registration.
#pragma once

#include <atomic>
#include <string>

#include "platform/com/ComError.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"

// The lock count of one in-process library: live objects, locked class
// objects and whatever else still runs the library's code. While it is
// above zero DllCanUnloadNow answers S_FALSE, so that the library is not
// unloaded under them. Thread-safe. `Library` is a type of the library's
// own, which defines the count in one of its sources:
//   template <> std::atomic<long> CLibraryLock<CMyLibrary>::s_count{0};
// and declares it (without the initializer) beside its use.
template <class Library>
class CLibraryLock {
public:
    // Holds one lock for the holder's life.
    CLibraryLock() { Lock(); }
    ~CLibraryLock() { Unlock(); }
    CLibraryLock(const CLibraryLock&) = delete;
    CLibraryLock& operator=(const CLibraryLock&) = delete;

    static void Lock() { s_count.fetch_add(1, std::memory_order_acq_rel); }
    static void Unlock() { s_count.fetch_sub(1, std::memory_order_acq_rel); }
    static long Count() { return s_count.load(std::memory_order_acquire); }
    // DllCanUnloadNow's answer.
    static HRESULT CanUnloadNow() { return Count() == 0 ? S_OK : S_FALSE; }

private:
    static std::atomic<long> s_count;
};

// The class object of `Object`: creates one per CreateInstance (no
// aggregation) and passes LockServer to the library's lock count
// (a CLibraryLock).
template <class Object, class LibraryLock>
class CInprocClassFactory final
    : public CComObjectRoot<CInprocClassFactory<Object, LibraryLock>, IClassFactory> {
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
            LibraryLock::Lock();
        else
            LibraryLock::Unlock();
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
