// The exports of the component library libWYSCbho.so: the class object of
// CWYSCSaver, the unload test and self-registration.
#include <dlfcn.h>

#include "WYSCbho/CModuleLock.h"
#include "WYSCbho/CWYSCSaver.h"
#include "WYSCbho/ComponentRegistration.h"
#include "platform/com/ComObject.h"

namespace wys::capture {
namespace {

class CSaverClassFactory final : public CComObjectRoot<CSaverClassFactory, IClassFactory> {
public:
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return ComBoundary([&] {
            ComPtr<CWYSCSaver> saver(new CWYSCSaver());
            return saver->QueryInterface(iid, object);
        });
    }
    HRESULT LockServer(BOOL lock) override
    {
        if (lock)
            CModuleLock::Lock();
        else
            CModuleLock::Unlock();
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
}  // namespace wys::capture

using namespace wys::capture;

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid,
                                                                            void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_WYSCSaver)
        return CLASS_E_CLASSNOTAVAILABLE;
    return ComBoundary([&] {
        ComPtr<CSaverClassFactory> factory(new CSaverClassFactory());
        return factory->QueryInterface(iid, object);
    });
}

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow()
{
    return CModuleLock::Count() == 0 ? S_OK : S_FALSE;
}

extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterServer()
{
    std::string path = ThisLibraryPath();
    if (path.empty())
        return E_UNEXPECTED;
    return RegisterComponent(path);
}

extern "C" __attribute__((visibility("default"))) HRESULT DllUnregisterServer()
{
    return UnregisterComponent();
}
