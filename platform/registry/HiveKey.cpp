#include "platform/registry/HiveKey.h"

#include <algorithm>
#include <utility>

#include "platform/base/AsciiText.h"

namespace wys::registry {

namespace {

// Position of the first subkey not ordered before `name`.
template <typename Keys>
auto LowerBound(Keys& keys, std::string_view name)
{
    return std::lower_bound(keys.begin(), keys.end(), name,
                            [](const CHiveKey& key, std::string_view n) { return NameLess(key.Name(), n); });
}

}  // namespace

bool NamesEqual(std::string_view a, std::string_view b)
{
    return wys::base::EqualsIgnoringAsciiCase(a, b);
}

bool NameLess(std::string_view a, std::string_view b)
{
    return wys::base::LessIgnoringAsciiCase(a, b);
}

bool IsValidKeyName(std::string_view name)
{
    if (name.empty() || name.size() > kMaxKeyNameLength)
        return false;
    for (char c : name) {
        auto byte = static_cast<unsigned char>(c);
        // Control characters would break the one-line key form of the hive file.
        if (c == '\\' || byte < 0x20 || byte == 0x7F)
            return false;
    }
    return true;
}

bool SplitKeyPath(std::string_view path, std::vector<std::string>& names)
{
    names.clear();
    if (path.empty())
        return true;
    if (path.back() == '\\')
        path.remove_suffix(1);
    for (;;) {
        std::size_t end = path.find('\\');
        std::string_view name = path.substr(0, end);
        if (!IsValidKeyName(name))
            return false;
        names.emplace_back(name);
        if (end == std::string_view::npos)
            return true;
        path.remove_prefix(end + 1);
    }
}

const HiveValue* CHiveKey::FindValue(std::string_view name) const
{
    for (const HiveValue& value : m_values) {
        if (NamesEqual(value.name, name))
            return &value;
    }
    return nullptr;
}

void CHiveKey::SetValue(std::string_view name, DWORD type, std::string data)
{
    for (HiveValue& value : m_values) {
        if (NamesEqual(value.name, name)) {
            value.type = type;
            value.data = std::move(data);
            return;
        }
    }
    m_values.push_back(HiveValue{std::string(name), type, std::move(data)});
}

bool CHiveKey::DeleteValue(std::string_view name)
{
    auto it = std::find_if(m_values.begin(), m_values.end(),
                           [&](const HiveValue& value) { return NamesEqual(value.name, name); });
    if (it == m_values.end())
        return false;
    m_values.erase(it);
    return true;
}

const CHiveKey* CHiveKey::FindSubkey(std::string_view name) const
{
    auto it = LowerBound(m_subkeys, name);
    return (it != m_subkeys.end() && NamesEqual(it->m_name, name)) ? &*it : nullptr;
}

CHiveKey* CHiveKey::FindSubkey(std::string_view name)
{
    return const_cast<CHiveKey*>(std::as_const(*this).FindSubkey(name));
}

CHiveKey& CHiveKey::AddSubkey(std::string_view name, bool* created)
{
    auto it = LowerBound(m_subkeys, name);
    bool exists = it != m_subkeys.end() && NamesEqual(it->m_name, name);
    if (created)
        *created = !exists;
    if (exists)
        return *it;
    return *m_subkeys.insert(it, CHiveKey(std::string(name)));
}

bool CHiveKey::DeleteSubkey(std::string_view name)
{
    auto it = LowerBound(m_subkeys, name);
    if (it == m_subkeys.end() || !NamesEqual(it->m_name, name))
        return false;
    m_subkeys.erase(it);
    return true;
}

const CHiveKey* CHiveKey::Find(const std::vector<std::string>& path) const
{
    const CHiveKey* key = this;
    for (const std::string& name : path) {
        key = key->FindSubkey(name);
        if (!key)
            return nullptr;
    }
    return key;
}

CHiveKey* CHiveKey::Find(const std::vector<std::string>& path)
{
    return const_cast<CHiveKey*>(std::as_const(*this).Find(path));
}

}  // namespace wys::registry
