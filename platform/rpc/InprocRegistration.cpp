#include "platform/rpc/InprocRegistration.h"

#include <string_view>

#include "platform/registry/RegKey.h"
#include "platform/registry/Registry.h"

namespace {

constexpr HRESULT SELFREG_E_CLASS = MakeHResult(0x80040201u);

bool SetText(const std::string& keyPath, const char* valueName, std::string_view text)
{
    CRegKey key;
    if (key.Create(HKEY_CLASSES_ROOT, keyPath.c_str(), KEY_WRITE) != ERROR_SUCCESS)
        return false;
    std::string data(text);
    data.push_back('\0');
    return RegSetValueEx(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()),
                         static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
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

std::string ClassKey(const InprocClassRegistration& entry)
{
    return "CLSID\\" + GuidToString(entry.clsid);
}

std::string TypeLibKey(const InprocClassRegistration& entry)
{
    return "TypeLib\\" + GuidToString(entry.libid);
}

std::string AppIdKey(const InprocClassRegistration& entry)
{
    return "AppID\\" + GuidToString(entry.appid);
}

}  // namespace

HRESULT RegisterInprocClass(const InprocClassRegistration& entry, const std::string& libraryPath)
{
    const std::string clsid = GuidToString(entry.clsid);
    const std::string libid = GuidToString(entry.libid);
    const std::string appid = GuidToString(entry.appid);
    const std::string progId = entry.progId;
    const std::string versionIndependentProgId = entry.versionIndependentProgId;
    const std::string classKey = ClassKey(entry);
    const std::string typeLib = TypeLibKey(entry) + "\\1.0";
    const bool ok =
        SetText(progId, nullptr, entry.description) && SetText(progId + "\\CLSID", nullptr, clsid) &&
        SetText(versionIndependentProgId, nullptr, entry.description) &&
        SetText(versionIndependentProgId + "\\CLSID", nullptr, clsid) &&
        SetText(versionIndependentProgId + "\\CurVer", nullptr, progId) &&
        SetText(classKey, nullptr, entry.description) && SetText(classKey, "AppID", appid) &&
        SetText(classKey + "\\ProgID", nullptr, progId) &&
        SetText(classKey + "\\VersionIndependentProgID", nullptr, versionIndependentProgId) &&
        SetText(classKey + "\\InprocServer32", nullptr, libraryPath) &&
        SetText(classKey + "\\InprocServer32", "ThreadingModel", "Apartment") &&
        SetText(classKey + "\\TypeLib", nullptr, libid) && SetText(typeLib, nullptr, entry.typeLibraryName) &&
        SetText(typeLib + "\\0\\linux64", nullptr, libraryPath) &&
        SetText(typeLib + "\\FLAGS", nullptr, "0") &&
        SetText(typeLib + "\\HELPDIR", nullptr, FolderOf(libraryPath)) &&
        SetText(AppIdKey(entry), nullptr, entry.appIdName) &&
        SetText("AppID\\" + FileNameOf(libraryPath), "AppID", appid);
    return ok ? S_OK : SELFREG_E_CLASS;
}

void UnregisterInprocClass(const InprocClassRegistration& entry)
{
    for (const std::string& key : {std::string(entry.progId), std::string(entry.versionIndependentProgId),
                                   ClassKey(entry), TypeLibKey(entry), AppIdKey(entry)})
        RegDeleteTree(HKEY_CLASSES_ROOT, key.c_str());
}
