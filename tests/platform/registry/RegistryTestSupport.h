// Helpers shared by the registry tests.
#pragma once

#include <string>

#include "platform/registry/Registry.h"
#include "tests/support/TempHome.h"

namespace wys::test {

// Closes its key when it goes away.
class CScopedKey {
public:
    CScopedKey() = default;
    ~CScopedKey() { Reset(); }
    CScopedKey(const CScopedKey&) = delete;
    CScopedKey& operator=(const CScopedKey&) = delete;

    operator HKEY() const { return m_key; }
    // For an out parameter; closes the key held before.
    PHKEY Out()
    {
        Reset();
        return &m_key;
    }
    void Reset()
    {
        if (m_key)
            RegCloseKey(m_key);
        m_key = nullptr;
    }

private:
    HKEY m_key = nullptr;
};

inline LONG SetBytes(HKEY key, const char* name, DWORD type, const std::string& data)
{
    return RegSetValueEx(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                         static_cast<DWORD>(data.size()));
}

// Reads a whole value, asking for its size first.
inline LONG QueryBytes(HKEY key, const char* name, DWORD& type, std::string& data)
{
    DWORD size = 0;
    LONG result = RegQueryValueEx(key, name, nullptr, &type, nullptr, &size);
    if (result != ERROR_SUCCESS)
        return result;
    data.assign(size, '\0');
    result = RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    data.resize(size);
    return result;
}

inline std::string UserHivePath(const TempHome& home, const char* hive)
{
    return home.ConfigHome() + "/wayscribe/registry/" + hive + ".reg";
}

inline std::string MachineHivePath(const TempHome& home)
{
    return home.SystemConfigDir() + "/wayscribe/registry/HKEY_LOCAL_MACHINE.reg";
}

}  // namespace wys::test
