#include "platform/rpc/detail/ClassRegistration.h"

#include "platform/registry/RegKey.h"
#include "platform/registry/Registry.h"

namespace wys::rpc {

namespace {

// The key's default value as text; empty when the key or value is missing
// or is not a string.
std::string DefaultValue(const std::string& path)
{
    CRegKey key;
    if (key.Open(HKEY_CLASSES_ROOT, path.c_str(), KEY_QUERY_VALUE) != ERROR_SUCCESS)
        return {};
    std::string text;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueEx(key, nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        text.resize(size);
        if (RegQueryValueEx(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
            ERROR_SUCCESS)
            text.clear();
        text.resize(size < text.size() ? size : text.size());
        while (!text.empty() && text.back() == '\0')
            text.pop_back();
    }
    return text;
}

}  // namespace

bool LookupClassRegistration(REFCLSID clsid, ClassRegistration* registration)
{
    std::string base = "CLSID\\" + GuidToString(clsid);
    registration->inprocServer = DefaultValue(base + "\\InprocServer32");
    registration->localServer = DefaultValue(base + "\\LocalServer32");
    return !registration->inprocServer.empty() || !registration->localServer.empty();
}

}  // namespace wys::rpc
