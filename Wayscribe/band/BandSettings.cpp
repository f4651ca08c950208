#include "Wayscribe/band/BandSettings.h"

#include <cstring>

#include "platform/registry/RegKey.h"
#include "platform/registry/Registry.h"

namespace BandSettings {

std::optional<std::int32_t> ReadBinaryValue(const char* name)
{
    CRegKey key;
    if (key.Open(HKEY_CURRENT_USER, kSettingsKey, KEY_READ) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD type = REG_NONE;
    BYTE data[4] = {};
    DWORD size = sizeof data;
    const LONG result = RegQueryValueEx(key, name, nullptr, &type, data, &size);
    // A shorter value would leave bytes of the default in the integer.
    if (result != ERROR_SUCCESS || type != REG_BINARY || size != sizeof data)
        return std::nullopt;
    std::int32_t value = 0;
    std::memcpy(&value, data, sizeof value);
    return value;
}

void WriteViewSettings(std::int32_t itemViewMode, std::int32_t currentTab)
{
    CRegKey key;
    if (key.Create(HKEY_CURRENT_USER, kSettingsKey, KEY_READ | KEY_WRITE) != ERROR_SUCCESS)
        return;  // the settings of this session are lost; nothing else depends on them
    RegSetValueEx(key, kItemViewMode, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&itemViewMode),
                  sizeof itemViewMode);
    RegSetValueEx(key, kCurrentTab, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&currentTab),
                  sizeof currentTab);
}

}  // namespace BandSettings
