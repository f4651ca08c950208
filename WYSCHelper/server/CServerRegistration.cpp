#include "WYSCHelper/server/CServerRegistration.h"

#include <unistd.h>

#include <optional>
#include <vector>

#include "common/Identifiers.h"
#include "platform/registry/RegKey.h"
#include "platform/registry/Registry.h"

namespace wys::server {

namespace {

// The automation marshaler: dual interfaces travel through their type library.
constexpr const char* kAutomationProxyStub = "{00020424-0000-0000-C000-000000000046}";

struct Entry {
    std::string key;
    const char* valueName;             // null: the key's default value
    std::optional<std::string> value;  // nullopt: the key alone, without a value
};

HRESULT FromRegistry(LONG result)
{
    return result == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(result);
}

HRESULT Write(const Entry& entry)
{
    CRegKey key;
    LONG result = key.Create(HKEY_CLASSES_ROOT, entry.key.c_str(), KEY_WRITE);
    if (result != ERROR_SUCCESS)
        return FromRegistry(result);
    if (entry.value)
        result = RegSetValueEx(key, entry.valueName, 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(entry.value->c_str()),
                               static_cast<DWORD>(entry.value->size() + 1));
    return FromRegistry(result);
}

std::string FolderOf(const std::string& path)
{
    auto slash = path.find_last_of('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string AppIdKey()
{
    return "AppID\\" + GuidToString(APPID_WYSCHelper);
}
std::string ClassKey()
{
    return "CLSID\\" + GuidToString(CLSID_WYSCURLBase);
}
std::string TypeLibKey()
{
    return "TypeLib\\" + GuidToString(LIBID_WYSCHelper);
}
std::string InterfaceKey(const IID& iid)
{
    return "Interface\\" + GuidToString(iid);
}

}  // namespace

CServerRegistration::CServerRegistration(std::string modulePath) : m_modulePath(std::move(modulePath)) {}

std::string CServerRegistration::LocalServerCommand(std::string_view modulePath)
{
    if (modulePath.find_first_of(" \t") == std::string_view::npos)
        return std::string(modulePath);
    return "\"" + std::string(modulePath) + "\"";
}

std::string CServerRegistration::RunningProgramPath()
{
    std::vector<char> buffer(4096);
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size())
        return {};
    return std::string(buffer.data(), static_cast<std::size_t>(n));
}

HRESULT CServerRegistration::Register() const
{
    const std::string appId = GuidToString(APPID_WYSCHelper);
    const std::string clsid = GuidToString(CLSID_WYSCURLBase);
    const std::string libId = GuidToString(LIBID_WYSCHelper);
    const std::vector<Entry> entries = {
        // Application identifier.
        {AppIdKey(), nullptr, "WYSCHelper"},
        {"AppID\\WYSCHelper.EXE", "AppID", appId},
        // The class.
        {ClassKey(), nullptr, kFriendlyName},
        {ClassKey(), "AppID", appId},
        {ClassKey() + "\\LocalServer32", nullptr, LocalServerCommand(m_modulePath)},
        {ClassKey() + "\\LocalServer32", "ThreadingModel", "apartment"},
        {ClassKey() + "\\ProgID", nullptr, kProgId},
        {ClassKey() + "\\VersionIndependentProgID", nullptr, kVersionIndependentProgId},
        {ClassKey() + "\\TypeLib", nullptr, libId},
        {ClassKey() + "\\Programmable", nullptr, std::nullopt},
        {kProgId, nullptr, kFriendlyName},
        {std::string(kProgId) + "\\CLSID", nullptr, clsid},
        {kVersionIndependentProgId, nullptr, kFriendlyName},
        {std::string(kVersionIndependentProgId) + "\\CLSID", nullptr, clsid},
        {std::string(kVersionIndependentProgId) + "\\CurVer", nullptr, kProgId},
        // The type library lives in the program itself.
        {TypeLibKey() + "\\1.0", nullptr, "WYSCHelper 1.0 Type Library"},
        {TypeLibKey() + "\\1.0\\0\\linux64", nullptr, m_modulePath},
        {TypeLibKey() + "\\1.0\\FLAGS", nullptr, "0"},
        {TypeLibKey() + "\\1.0\\HELPDIR", nullptr, FolderOf(m_modulePath)},
        {InterfaceKey(IID_IWYSCURLBase), nullptr, "IWYSCURLBase"},
        {InterfaceKey(IID_IWYSCURLBase) + "\\ProxyStubClsid32", nullptr, kAutomationProxyStub},
        {InterfaceKey(IID_IWYSCURLBase) + "\\TypeLib", nullptr, libId},
        {InterfaceKey(IID_IWYSCURLBase) + "\\TypeLib", "Version", "1.0"},
        {InterfaceKey(DIID_IWYSCURLBaseEvents), nullptr, "IWYSCURLBaseEvents"},
        {InterfaceKey(DIID_IWYSCURLBaseEvents) + "\\ProxyStubClsid32", nullptr, kAutomationProxyStub},
        {InterfaceKey(DIID_IWYSCURLBaseEvents) + "\\TypeLib", nullptr, libId},
        {InterfaceKey(DIID_IWYSCURLBaseEvents) + "\\TypeLib", "Version", "1.0"},
    };
    for (const Entry& entry : entries) {
        if (HRESULT hr = Write(entry); FAILED(hr))
            return hr;
    }
    return S_OK;
}

HRESULT CServerRegistration::Unregister() const
{
    const std::vector<std::string> trees = {
        ClassKey(),
        kProgId,
        kVersionIndependentProgId,
        TypeLibKey(),
        InterfaceKey(IID_IWYSCURLBase),
        InterfaceKey(DIID_IWYSCURLBaseEvents),
        AppIdKey(),
        "AppID\\WYSCHelper.EXE",
    };
    HRESULT first = S_OK;
    for (const std::string& tree : trees) {
        LONG result = RegDeleteTree(HKEY_CLASSES_ROOT, tree.c_str());
        // Keep going, so that one stubborn key does not leave the rest behind.
        if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND && SUCCEEDED(first))
            first = FromRegistry(result);
    }
    return first;
}

}  // namespace wys::server
