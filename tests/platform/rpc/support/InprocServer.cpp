// An in-process server for the runtime's tests: a shared library that hands
// out a small object and may be unloaded once nothing of it is in use. It
// carries no runtime of its own: in-process objects are called directly.
#include <unistd.h>

#include <atomic>

#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "tests/platform/rpc/support/TestControl.h"

namespace {

std::atomic<int> g_live{0};

class CInprocObject final : public CComObjectRoot<CInprocObject, ITestControl> {
public:
    CInprocObject() { ++g_live; }
    ~CInprocObject() override { --g_live; }
    HRESULT GetIdentity(DWORD* processId, DWORD* threadId, ULONG* instance) override
    {
        *processId = static_cast<DWORD>(::getpid());
        *threadId = static_cast<DWORD>(::gettid());
        *instance = 1;
        return S_OK;
    }
    HRESULT Ping(ULONG value, ULONG* result) override
    {
        *result = value + 1;
        return S_OK;
    }
    HRESULT EchoBstr(BSTR, BSTR*) override { return E_NOTIMPL; }
    HRESULT EchoVariant(VARIANT, VARIANT*) override { return E_NOTIMPL; }
    HRESULT EchoUnknown(IUnknown*, IUnknown**) override { return E_NOTIMPL; }
    HRESULT Bounce(ITestControl*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT Fail(HRESULT result, ULONG*) override { return result; }
};

class CInprocFactory final : public CComObjectRoot<CInprocFactory, IClassFactory> {
public:
    CInprocFactory() { ++g_live; }
    ~CInprocFactory() override { --g_live; }
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        if (outer)
            return CLASS_E_NOAGGREGATION;
        ComPtr<CInprocObject> made;
        made.Attach(CreateComObject<CInprocObject>());
        return made->QueryInterface(iid, object);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid,
                                                                            void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_TestObject)
        return CLASS_E_CLASSNOTAVAILABLE;
    ComPtr<CInprocFactory> factory;
    factory.Attach(CreateComObject<CInprocFactory>());
    return factory->QueryInterface(iid, object);
}

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow()
{
    return g_live == 0 ? S_OK : S_FALSE;
}
