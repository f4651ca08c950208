// The exports of the component library libWYSCbho.so: the class object of
// CWYSCSaver, the unload test and self-registration.
#include "WYSCbho/CModuleLock.h"
#include "WYSCbho/CWYSCSaver.h"
#include "WYSCbho/ComponentRegistration.h"
#include "platform/com/InprocServer.h"

namespace wys::capture {
namespace {

using CSaverClassFactory = CInprocClassFactory<CWYSCSaver, CModuleLock>;

// An address inside this library, for finding its path.
void Anchor() {}

}  // namespace
}  // namespace wys::capture

using namespace wys::capture;

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid,
                                                                            void** object)
{
    return GetInprocClassObject<CSaverClassFactory>(clsid, CLSID_WYSCSaver, iid, object);
}

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow()
{
    return CModuleLock::CanUnloadNow();
}

extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterServer()
{
    std::string path = LibraryPathOf(reinterpret_cast<const void*>(&Anchor));
    if (path.empty())
        return E_UNEXPECTED;
    return RegisterComponent(path);
}

extern "C" __attribute__((visibility("default"))) HRESULT DllUnregisterServer()
{
    return UnregisterComponent();
}
