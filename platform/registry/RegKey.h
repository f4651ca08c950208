// An owned key handle: closed when the holder goes, or before it takes
// another key.
#pragma once

#include <utility>

#include "platform/registry/Registry.h"

class CRegKey {
public:
    CRegKey() = default;
    ~CRegKey() { Close(); }
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;

    // RegOpenKeyEx and RegCreateKeyEx (a non-volatile key) into the holder.
    LONG Open(HKEY parent, const char* subKey, REGSAM desired)
    {
        return RegOpenKeyEx(parent, subKey, 0, desired, Out());
    }
    LONG Create(HKEY parent, const char* subKey, REGSAM desired, DWORD* disposition = nullptr)
    {
        return RegCreateKeyEx(parent, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, desired, nullptr, Out(),
                              disposition);
    }

    HKEY Get() const { return m_key; }
    operator HKEY() const { return m_key; }
    // For a function that opens a key into an out parameter; closes the key
    // held before.
    PHKEY Out()
    {
        Close();
        return &m_key;
    }
    void Close()
    {
        if (m_key)
            RegCloseKey(std::exchange(m_key, nullptr));
    }

private:
    HKEY m_key = nullptr;
};
