#include "WYSCbho/ComponentRegistration.h"

#include "common/Identifiers.h"
#include "platform/rpc/InprocRegistration.h"

namespace wys::capture {
namespace {

// The type library travels inside this library; its identifier names the
// application as well.
constexpr InprocClassRegistration kRegistration = {
    CLSID_WYSCSaver,           LIBID_WYSCbho,     LIBID_WYSCbho,    kProgId,
    kVersionIndependentProgId, kClassDescription, kTypeLibraryName, kAppIdName};

}  // namespace

HRESULT RegisterComponent(const std::string& libraryPath)
{
    return RegisterInprocClass(kRegistration, libraryPath);
}

HRESULT UnregisterComponent()
{
    UnregisterInprocClass(kRegistration);
    return S_OK;
}

}  // namespace wys::capture
