#include "Wayscribe/band/BandRegistration.h"

#include "common/Identifiers.h"
#include "platform/browser/BrowserExtensions.h"
#include "platform/rpc/InprocRegistration.h"

namespace BandRegistration {
namespace {

constexpr HRESULT SELFREG_E_CLASS = MakeHResult(0x80040201u);

// The type library's identifier names the application as well.
constexpr InprocClassRegistration kRegistration = {
    CLSID_SurfBand,    LIBID_Wayscribe,  LIBID_Wayscribe, kProgId, kVersionIndependentProgId,
    kClassDescription, kTypeLibraryName, kAppIdName};

}  // namespace

HRESULT RegisterComponent(const std::string& libraryPath)
{
    if (FAILED(RegisterInprocClass(kRegistration, libraryPath)) ||
        AddExplorerBar(CLSID_SurfBand) != ERROR_SUCCESS)
        return SELFREG_E_CLASS;
    return S_OK;
}

HRESULT UnregisterComponent()
{
    // The category itself stays: other bars may implement it.
    RemoveExplorerBar(CLSID_SurfBand);
    UnregisterInprocClass(kRegistration);
    return S_OK;
}

}  // namespace BandRegistration
