// Helpers shared by the registry tests.
#pragma once

#include <string>
#include <utility>

#include "platform/registry/RegKey.h"
#include "platform/registry/Registry.h"
#include "tests/support/TempHome.h"

namespace wys::test {

using CScopedKey = CRegKey;

inline LONG SetBytes(HKEY key, const char* name, DWORD type, const std::string& data)
{
    return RegSetValueEx(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                         static_cast<DWORD>(data.size()));
}

inline std::string ErrorText(LONG error)
{
    return "<error " + std::to_string(error) + ">";
}

// The bytes of a value (asking for its size first), or "<error N>".
inline std::string ValueOf(HKEY key, const char* name, DWORD* type = nullptr)
{
    DWORD size = 0;
    LONG result = RegQueryValueEx(key, name, nullptr, type, nullptr, &size);
    std::string data(size, '\0');
    if (result == ERROR_SUCCESS)
        result = RegQueryValueEx(key, name, nullptr, type, reinterpret_cast<BYTE*>(data.data()), &size);
    return result == ERROR_SUCCESS ? data.substr(0, size) : ErrorText(result);
}

// The same through a key opened for reading at `path` below `root`.
inline std::string ValueAt(HKEY root, const char* path, const char* name)
{
    CScopedKey key;
    LONG result = RegOpenKeyEx(root, path, 0, KEY_READ, key.Out());
    return result == ERROR_SUCCESS ? ValueOf(key, name) : ErrorText(result);
}

inline std::string UserHivePath(const TempHome& home, const char* hive)
{
    return home.ConfigHome() + "/wayscribe/registry/" + hive + ".reg";
}

}  // namespace wys::test
