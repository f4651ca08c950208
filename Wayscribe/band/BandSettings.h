// The band's two view settings, kept per user under
// HKEY_CURRENT_USER "Software\Quillonix\WYSC" as 4-byte REG_BINARY values.
#pragma once

#include <cstdint>
#include <optional>

namespace BandSettings {

inline constexpr const char* kSettingsKey = "Software\\Quillonix\\WYSC";
// 0: page rows show URLs; 1: they show titles.
inline constexpr const char* kItemViewMode = "ItemViewMode";
// The selected tab: 0 History, 1 Search.
inline constexpr const char* kCurrentTab = "CurrentTab";

// The value as a 32-bit integer; empty when it is missing, not REG_BINARY,
// or not exactly 4 bytes long.
std::optional<std::int32_t> ReadBinaryValue(const char* name);
// Writes both values, creating the key; registry failures are ignored.
void WriteViewSettings(std::int32_t itemViewMode, std::int32_t currentTab);

}  // namespace BandSettings
