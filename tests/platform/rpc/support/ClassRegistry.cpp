#include "tests/platform/rpc/support/ClassRegistry.h"

#include "platform/registry/Registry.h"

namespace wys::test {

bool RegisterClassServer(REFCLSID clsid, const char* server, const std::string& value)
{
    std::string path = "CLSID\\" + GuidToString(clsid) + "\\" + server;
    if (value.empty()) {
        LONG result = RegDeleteTree(HKEY_CLASSES_ROOT, path.c_str());
        return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
    }
    HKEY key = nullptr;
    if (RegCreateKeyEx(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    LONG result = RegSetValueEx(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

}  // namespace wys::test
