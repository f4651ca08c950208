#include "Wayscribe/band/BandSettings.h"

#include <cstring>

#include "platform/registry/Registry.h"

namespace BandSettings {

std::optional<std::int32_t> ReadBinaryValue(const char* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD type = REG_NONE;
    BYTE data[4] = {};
    DWORD size = sizeof data;
    const LONG result = RegQueryValueEx(key, name, nullptr, &type, data, &size);
    RegCloseKey(key);
    // A shorter value would leave bytes of the default in the integer.
    if (result != ERROR_SUCCESS || type != REG_BINARY || size != sizeof data)
        return std::nullopt;
    std::int32_t value = 0;
    std::memcpy(&value, data, sizeof value);
    return value;
}

void WriteViewSettings(std::int32_t itemViewMode, std::int32_t currentTab)
{
    HKEY key = nullptr;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                       KEY_READ | KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;  // the settings of this session are lost; nothing else depends on them
    RegSetValueEx(key, kItemViewMode, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&itemViewMode),
                  sizeof itemViewMode);
    RegSetValueEx(key, kCurrentTab, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&currentTab),
                  sizeof currentTab);
    RegCloseKey(key);
}

}  // namespace BandSettings
