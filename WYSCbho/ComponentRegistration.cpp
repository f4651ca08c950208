#include "WYSCbho/ComponentRegistration.h"

#include <string_view>

#include "common/Identifiers.h"
#include "platform/registry/RegKey.h"
#include "platform/registry/Registry.h"

namespace wys::capture {
namespace {

constexpr HRESULT SELFREG_E_CLASS = MakeHResult(0x80040201u);

// The type library travels inside this library; its identifier names the
// application as well.
const GUID& AppId()
{
    return LIBID_WYSCbho;
}

std::string ClassKey()
{
    return "CLSID\\" + GuidToString(CLSID_WYSCSaver);
}

bool SetText(const std::string& keyPath, const char* valueName, std::string_view text)
{
    CRegKey key;
    if (key.Create(HKEY_CLASSES_ROOT, keyPath.c_str(), KEY_WRITE) != ERROR_SUCCESS)
        return false;
    std::string data(text);
    data.push_back('\0');
    LONG result = RegSetValueEx(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()),
                                static_cast<DWORD>(data.size()));
    return result == ERROR_SUCCESS;
}

std::string FolderOf(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string FileNameOf(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

HRESULT RegisterComponent(const std::string& libraryPath)
{
    const std::string clsid = GuidToString(CLSID_WYSCSaver);
    const std::string libid = GuidToString(LIBID_WYSCbho);
    const std::string appid = GuidToString(AppId());
    const std::string typeLib = "TypeLib\\" + libid + "\\1.0";
    bool ok = SetText(kProgId, nullptr, kClassDescription) &&
              SetText(std::string(kProgId) + "\\CLSID", nullptr, clsid) &&
              SetText(kVersionIndependentProgId, nullptr, kClassDescription) &&
              SetText(std::string(kVersionIndependentProgId) + "\\CLSID", nullptr, clsid) &&
              SetText(std::string(kVersionIndependentProgId) + "\\CurVer", nullptr, kProgId) &&
              SetText(ClassKey(), nullptr, kClassDescription) && SetText(ClassKey(), "AppID", appid) &&
              SetText(ClassKey() + "\\ProgID", nullptr, kProgId) &&
              SetText(ClassKey() + "\\VersionIndependentProgID", nullptr, kVersionIndependentProgId) &&
              SetText(ClassKey() + "\\InprocServer32", nullptr, libraryPath) &&
              SetText(ClassKey() + "\\InprocServer32", "ThreadingModel", "Apartment") &&
              SetText(ClassKey() + "\\TypeLib", nullptr, libid) &&
              SetText(typeLib, nullptr, kTypeLibraryName) &&
              SetText(typeLib + "\\0\\linux64", nullptr, libraryPath) &&
              SetText(typeLib + "\\FLAGS", nullptr, "0") &&
              SetText(typeLib + "\\HELPDIR", nullptr, FolderOf(libraryPath)) &&
              SetText("AppID\\" + appid, nullptr, kAppIdName) &&
              SetText("AppID\\" + FileNameOf(libraryPath), "AppID", appid);
    return ok ? S_OK : SELFREG_E_CLASS;
}

HRESULT UnregisterComponent()
{
    // Entries already gone are no failure: unregistering twice is fine.
    for (const std::string& key :
         {std::string(kProgId), std::string(kVersionIndependentProgId), ClassKey(),
          "TypeLib\\" + GuidToString(LIBID_WYSCbho), "AppID\\" + GuidToString(AppId())})
        RegDeleteTree(HKEY_CLASSES_ROOT, key.c_str());
    return S_OK;
}

}  // namespace wys::capture
