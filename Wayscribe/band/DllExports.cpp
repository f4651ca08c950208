// The exports of the component library libWayscribe.so: the class object of
// CSurfBand, the unload test and self-registration.
#include <dlfcn.h>

#include "Wayscribe/band/BandModule.h"
#include "Wayscribe/band/BandRegistration.h"
#include "Wayscribe/band/CSurfBand.h"
#include "common/Identifiers.h"
#include "platform/com/ComError.h"
#include "platform/com/ComObject.h"

namespace {

class CSurfBandClassFactory final : public CComObjectRoot<CSurfBandClassFactory, IClassFactory> {
public:
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return ComBoundary([&] {
            ComPtr<CSurfBand> band(new CSurfBand());
            return band->QueryInterface(iid, object);
        });
    }
    HRESULT LockServer(BOOL lock) override
    {
        if (lock)
            BandModule::Lock();
        else
            BandModule::Unlock();
        return S_OK;
    }
};

std::string ThisLibraryPath()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ThisLibraryPath), &info) == 0 || !info.dli_fname)
        return {};
    return info.dli_fname;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid,
                                                                            void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_SurfBand)
        return CLASS_E_CLASSNOTAVAILABLE;
    return ComBoundary([&] {
        ComPtr<CSurfBandClassFactory> factory(new CSurfBandClassFactory());
        return factory->QueryInterface(iid, object);
    });
}

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow()
{
    return BandModule::LockCount() == 0 ? S_OK : S_FALSE;
}

extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterServer()
{
    const std::string path = ThisLibraryPath();
    if (path.empty())
        return E_UNEXPECTED;
    return BandRegistration::RegisterComponent(path);
}

extern "C" __attribute__((visibility("default"))) HRESULT DllUnregisterServer()
{
    return BandRegistration::UnregisterComponent();
}
