#include "Wayscribe/band/BandRegistration.h"

#include <string_view>

#include "common/Identifiers.h"
#include "platform/browser/BrowserExtensions.h"
#include "platform/registry/RegKey.h"
#include "platform/registry/Registry.h"

namespace BandRegistration {
namespace {

constexpr HRESULT SELFREG_E_CLASS = MakeHResult(0x80040201u);

std::string ClassKey()
{
    return "CLSID\\" + GuidToString(CLSID_SurfBand);
}

bool SetText(const std::string& keyPath, const char* valueName, std::string_view text)
{
    CRegKey key;
    if (key.Create(HKEY_CLASSES_ROOT, keyPath.c_str(), KEY_WRITE) != ERROR_SUCCESS)
        return false;
    std::string data(text);
    data.push_back('\0');
    const LONG result = RegSetValueEx(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()),
                                      static_cast<DWORD>(data.size()));
    return result == ERROR_SUCCESS;
}

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string FileNameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

HRESULT RegisterComponent(const std::string& libraryPath)
{
    const std::string clsid = GuidToString(CLSID_SurfBand);
    const std::string libid = GuidToString(LIBID_Wayscribe);
    const std::string typeLib = "TypeLib\\" + libid + "\\1.0";
    const bool ok = SetText(kProgId, nullptr, kClassDescription) &&
                    SetText(std::string(kProgId) + "\\CLSID", nullptr, clsid) &&
                    SetText(kVersionIndependentProgId, nullptr, kClassDescription) &&
                    SetText(std::string(kVersionIndependentProgId) + "\\CLSID", nullptr, clsid) &&
                    SetText(std::string(kVersionIndependentProgId) + "\\CurVer", nullptr, kProgId) &&
                    SetText(ClassKey(), nullptr, kClassDescription) && SetText(ClassKey(), "AppID", libid) &&
                    SetText(ClassKey() + "\\ProgID", nullptr, kProgId) &&
                    SetText(ClassKey() + "\\VersionIndependentProgID", nullptr, kVersionIndependentProgId) &&
                    SetText(ClassKey() + "\\InprocServer32", nullptr, libraryPath) &&
                    SetText(ClassKey() + "\\InprocServer32", "ThreadingModel", "Apartment") &&
                    SetText(ClassKey() + "\\TypeLib", nullptr, libid) &&
                    SetText(typeLib, nullptr, kTypeLibraryName) &&
                    SetText(typeLib + "\\0\\linux64", nullptr, libraryPath) &&
                    SetText(typeLib + "\\FLAGS", nullptr, "0") &&
                    SetText(typeLib + "\\HELPDIR", nullptr, FolderOf(libraryPath)) &&
                    SetText("AppID\\" + libid, nullptr, kAppIdName) &&
                    SetText("AppID\\" + FileNameOf(libraryPath), "AppID", libid);
    if (!ok || AddExplorerBar(CLSID_SurfBand) != ERROR_SUCCESS)
        return SELFREG_E_CLASS;
    return S_OK;
}

HRESULT UnregisterComponent()
{
    // The category itself stays: other bars may implement it.
    RemoveExplorerBar(CLSID_SurfBand);
    for (const std::string& key :
         {std::string(kProgId), std::string(kVersionIndependentProgId), ClassKey(),
          "TypeLib\\" + GuidToString(LIBID_Wayscribe), "AppID\\" + GuidToString(LIBID_Wayscribe)})
        RegDeleteTree(HKEY_CLASSES_ROOT, key.c_str());
    return S_OK;
}

}  // namespace BandRegistration
