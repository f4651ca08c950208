// One key of a hive held in memory: its name, its values and its subkeys.
// Private to the registry.
//
// Names compare without regard to ASCII letter case and keep the case they
// were first written with. Subkeys are kept in name order, values in the order
// they were first set. Keys are plain values: copying one copies the subtree.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/base/WinTypes.h"

namespace wys::registry {

inline constexpr std::size_t kMaxKeyNameLength = 255;
inline constexpr std::size_t kMaxValueNameLength = 16383;

struct HiveValue {
    std::string name;
    DWORD type = 0;
    std::string data;  // the exact bytes

    friend bool operator==(const HiveValue&, const HiveValue&) = default;
};

bool NamesEqual(std::string_view a, std::string_view b);
// Orders names as ASCII lower case, byte by byte.
bool NameLess(std::string_view a, std::string_view b);

// A key name is 1 to 255 bytes without backslashes or control characters.
bool IsValidKeyName(std::string_view name);

// Splits "A\B\C" into its names. A single trailing backslash is allowed; an
// empty path gives no names. False when any name is invalid.
bool SplitKeyPath(std::string_view path, std::vector<std::string>& names);

class CHiveKey {
public:
    CHiveKey() = default;
    explicit CHiveKey(std::string name) : m_name(std::move(name)) {}

    const std::string& Name() const { return m_name; }
    const std::vector<HiveValue>& Values() const { return m_values; }
    const std::vector<CHiveKey>& Subkeys() const { return m_subkeys; }

    const HiveValue* FindValue(std::string_view name) const;
    // Replaces the type and bytes of an existing value (keeping its name's
    // case and its place) or appends a new one.
    void SetValue(std::string_view name, DWORD type, std::string data);
    bool DeleteValue(std::string_view name);
    void ClearValues() { m_values.clear(); }

    const CHiveKey* FindSubkey(std::string_view name) const;
    CHiveKey* FindSubkey(std::string_view name);
    // The existing subkey of that name, or a new empty one. `created` tells which.
    CHiveKey& AddSubkey(std::string_view name, bool* created = nullptr);
    bool DeleteSubkey(std::string_view name);
    void ClearSubkeys() { m_subkeys.clear(); }

    // Follows `path` down from this key; null when a key on the way is missing.
    const CHiveKey* Find(const std::vector<std::string>& path) const;
    CHiveKey* Find(const std::vector<std::string>& path);

    friend bool operator==(const CHiveKey&, const CHiveKey&) = default;

private:
    std::string m_name;
    std::vector<HiveValue> m_values;
    std::vector<CHiveKey> m_subkeys;
};

}  // namespace wys::registry
