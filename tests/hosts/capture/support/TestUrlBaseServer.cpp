// A local server of the URL base for the host tests, standing in for the
// WYSCHelper program: serves one CWYSCURLBase from its main thread and ends
// once no client has held the object for --idle-ms milliseconds.
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "WYSCHelper/CWYSCURLBase.h"
#include "common/IWYSCURLBase.h"
#include "platform/com/ComPtr.h"
#include "platform/rpc/Activation.h"
#include "platform/rpc/Apartment.h"

namespace {

class CUrlBaseFactory final : public CComObjectRoot<CUrlBaseFactory, IClassFactory> {
public:
    ComPtr<IUnknown> object;

    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** result) override
    {
        if (outer)
            return CLASS_E_NOAGGREGATION;
        if (!object) {
            HRESULT hr = CWYSCURLBase::Create(IID_IUnknown, object.PutVoid());
            if (FAILED(hr))
                return hr;
        }
        return object->QueryInterface(iid, result);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }
};

int IdleMs(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--idle-ms=", 10) == 0)
            return std::atoi(argv[i] + 10);
    }
    return 2000;
}

}  // namespace

int main(int argc, char** argv)
{
    const auto idle = std::chrono::milliseconds(IdleMs(argc, argv));
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    {
        ComPtr<CUrlBaseFactory> factory;
        factory.Attach(CreateComObject<CUrlBaseFactory>());
        DWORD cookie = 0;
        if (FAILED(CoRegisterClassObject(CLSID_WYSCURLBase, factory.Get(), CLSCTX_LOCAL_SERVER,
                                         REGCLS_MULTIPLEUSE, &cookie)))
            return 2;
        auto idleSince = std::chrono::steady_clock::now();
        for (;;) {
            DWORD index = 0;
            CoWaitForMultipleHandles(0, 50, 0, nullptr, &index);
            bool held = factory->object && factory->object->AddRef() > 2;
            if (factory->object)
                factory->object->Release();
            if (held)
                idleSince = std::chrono::steady_clock::now();
            else if (std::chrono::steady_clock::now() - idleSince > idle)
                break;
        }
        CoRevokeClassObject(cookie);
        factory->object.Reset();  // saves the index
    }
    CoUninitialize();
    return 0;
}
