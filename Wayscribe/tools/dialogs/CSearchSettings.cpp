#include "Wayscribe/tools/dialogs/CSearchSettings.h"

#include <cstring>
#include <string>

#include "platform/registry/RegKey.h"
#include "platform/registry/Registry.h"

namespace {

bool ReadFlag(HKEY key, const char* name)
{
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_BINARY)
        return true;
    return value != 0;
}

bool WriteFlag(HKEY key, const char* name, bool flag)
{
    const DWORD value = flag ? 1 : 0;
    return RegSetValueEx(key, name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
           ERROR_SUCCESS;
}

}  // namespace

bool CSearchSettings::Load(CSearchSettings* settings)
{
    CRegKey key;
    if (key.Open(HKEY_CURRENT_USER, kKey, KEY_READ | KEY_WRITE) != ERROR_SUCCESS)
        return false;
    settings->Url = ReadFlag(key.Get(), kUrlValue);
    settings->Title = ReadFlag(key.Get(), kTitleValue);
    settings->Content = ReadFlag(key.Get(), kContentValue);

    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueEx(key.Get(), kExpressionValue, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return true;
    std::string text(size, '\0');
    if (size != 0 && RegQueryValueEx(key.Get(), kExpressionValue, nullptr, &type,
                                     reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS)
        return true;
    text.resize(std::strlen(text.c_str()));
    settings->Expression = std::move(text);
    return true;
}

bool CSearchSettings::Save() const
{
    CRegKey key;
    if (key.Create(HKEY_CURRENT_USER, kKey, KEY_READ | KEY_WRITE) != ERROR_SUCCESS)
        return false;
    bool written = WriteFlag(key.Get(), kUrlValue, Url);
    written = WriteFlag(key.Get(), kTitleValue, Title) && written;
    written = WriteFlag(key.Get(), kContentValue, Content) && written;
    written = RegSetValueEx(key.Get(), kExpressionValue, 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(Expression.c_str()),
                            static_cast<DWORD>(Expression.size() + 1)) == ERROR_SUCCESS &&
              written;
    return written;
}
