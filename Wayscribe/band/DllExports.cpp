// The exports of the component library libWayscribe.so: the class object of
// CSurfBand, the unload test and self-registration.
#include "Wayscribe/band/BandModule.h"
#include "Wayscribe/band/BandRegistration.h"
#include "Wayscribe/band/CSurfBand.h"
#include "common/Identifiers.h"
#include "platform/com/InprocServer.h"

namespace {

using CSurfBandClassFactory = CInprocClassFactory<CSurfBand, BandModule>;

// An address inside this library, for finding its path.
void Anchor() {}

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid,
                                                                            void** object)
{
    return GetInprocClassObject<CSurfBandClassFactory>(clsid, CLSID_SurfBand, iid, object);
}

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow()
{
    return BandModule::CanUnloadNow();
}

extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterServer()
{
    const std::string path = LibraryPathOf(reinterpret_cast<const void*>(&Anchor));
    if (path.empty())
        return E_UNEXPECTED;
    return BandRegistration::RegisterComponent(path);
}

extern "C" __attribute__((visibility("default"))) HRESULT DllUnregisterServer()
{
    return BandRegistration::UnregisterComponent();
}
