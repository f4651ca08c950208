#include "platform/registry/Registry.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/registry/HiveStore.h"
#include "platform/registry/KeyHandles.h"

using namespace wys::registry;

namespace {

// Any of these lets a handle change its hive, deleting keys included.
constexpr REGSAM kChangeRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | DELETE;

std::string_view ValueName(const char* name)
{
    return name ? std::string_view(name) : std::string_view();
}

// Resolves `key` and checks that it carries at least one of `needed` (none
// when `needed` is 0).
LONG Reference(HKEY key, REGSAM needed, KeyReference& reference)
{
    LONG result = ResolveKey(key, reference);
    if (result == ERROR_SUCCESS && needed && !(reference.access & needed))
        return ERROR_ACCESS_DENIED;
    return result;
}

// The referenced key in a fresh reading of its hive. `hive` keeps `key` alive.
LONG ReadKey(const KeyReference& reference, HiveSnapshot& hive, const CHiveKey*& key)
{
    LONG result = ReadHive(reference.hive, hive);
    if (result != ERROR_SUCCESS)
        return result;
    key = hive->Find(reference.path);
    return key ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

template <typename Edit>
LONG EditKey(const KeyReference& reference, Edit edit)
{
    return UpdateHive(reference.hive, [&](CHiveKey& root) -> LONG {
        CHiveKey* key = root.Find(reference.path);
        return key ? edit(root, *key) : ERROR_KEY_DELETED;
    });
}

LONG CopyData(std::string_view data, BYTE* buffer, DWORD* size)
{
    auto needed = static_cast<DWORD>(data.size());
    if (!size)
        return ERROR_SUCCESS;
    if (buffer && *size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (buffer && needed)
        std::memcpy(buffer, data.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

// Sizes count the NUL going in and leave it out coming back.
LONG CopyName(std::string_view name, char* buffer, DWORD* size)
{
    if (*size <= name.size()) {
        *size = static_cast<DWORD>(name.size());
        return ERROR_MORE_DATA;
    }
    std::memcpy(buffer, name.data(), name.size());
    buffer[name.size()] = '\0';
    *size = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

// Rights a new handle gets, or ERROR_ACCESS_DENIED when it asks to write a
// hive this user may not change.
LONG GrantedRights(const KeyReference& parent, REGSAM desired, REGSAM& granted)
{
    granted = desired & ~MAXIMUM_ALLOWED;
    bool writable = MayWriteHive(parent.hive);
    if (desired & MAXIMUM_ALLOWED)
        granted |= writable ? KEY_ALL_ACCESS : KEY_READ;
    return (granted & kChangeRights) && !writable ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

LONG SubkeyPath(const KeyReference& parent, const char* subKey, std::vector<std::string>& path)
{
    std::vector<std::string> names;
    if (!SplitKeyPath(ValueName(subKey), names))
        return ERROR_INVALID_PARAMETER;
    path = parent.path;
    path.insert(path.end(), names.begin(), names.end());
    return ERROR_SUCCESS;
}

}  // namespace

LONG RegOpenKeyEx(HKEY key, const char* subKey, DWORD options, REGSAM desired, PHKEY result)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (options & ~REG_OPTION_OPEN_LINK)
        return ERROR_INVALID_PARAMETER;
    KeyReference opened;
    LONG status = Reference(key, 0, opened);
    if (status != ERROR_SUCCESS)
        return status;
    std::size_t parentDepth = opened.path.size();
    if ((status = SubkeyPath(opened, subKey, opened.path)) != ERROR_SUCCESS ||
        (status = GrantedRights(opened, desired, opened.access)) != ERROR_SUCCESS)
        return status;
    HiveSnapshot hive;
    if ((status = ReadHive(opened.hive, hive)) != ERROR_SUCCESS)
        return status;
    if (!hive->Find(opened.path)) {
        std::vector<std::string> parent(opened.path.begin(), opened.path.begin() + parentDepth);
        return hive->Find(parent) ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
    }
    *result = AddKeyHandle(std::move(opened));
    return ERROR_SUCCESS;
}

LONG RegCreateKeyEx(HKEY key, const char* subKey, DWORD reserved, char* keyClass, DWORD options,
                    REGSAM desired, const void* security, PHKEY result, DWORD* disposition)
{
    (void)reserved, (void)keyClass, (void)security;  // no classes or security descriptors here
    if (!result || !subKey)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    // Volatile keys would need a store that ends with the session; none is kept.
    if (options & ~REG_OPTION_OPEN_LINK)
        return ERROR_INVALID_PARAMETER;
    KeyReference parent;
    LONG status = Reference(key, 0, parent);
    if (status != ERROR_SUCCESS)
        return status;
    KeyReference created = parent;
    if ((status = SubkeyPath(parent, subKey, created.path)) != ERROR_SUCCESS ||
        (status = GrantedRights(parent, desired, created.access)) != ERROR_SUCCESS)
        return status;

    // Most calls find the key already there; they need no lock or write.
    HiveSnapshot hive;
    if ((status = ReadHive(parent.hive, hive)) != ERROR_SUCCESS)
        return status;
    bool isNew = false;
    if (!hive->Find(created.path)) {
        status = EditKey(parent, [&](CHiveKey&, CHiveKey& parentKey) -> LONG {
            CHiveKey* current = &parentKey;
            for (std::size_t i = parent.path.size(); i < created.path.size(); ++i) {
                bool added = false;
                current = &current->AddSubkey(created.path[i], &added);
                isNew = isNew || added;
            }
            return isNew && !(parent.access & KEY_CREATE_SUB_KEY) ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
        });
        if (status != ERROR_SUCCESS)
            return status;
    }
    if (disposition)
        *disposition = isNew ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = AddKeyHandle(std::move(created));
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key)
{
    return CloseKeyHandle(key);
}

LONG RegQueryValueEx(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                     DWORD* dataSize)
{
    if (reserved || (data && !dataSize))
        return ERROR_INVALID_PARAMETER;
    KeyReference reference;
    LONG status = Reference(key, KEY_QUERY_VALUE, reference);
    HiveSnapshot hive;
    const CHiveKey* found = nullptr;
    if (status != ERROR_SUCCESS || (status = ReadKey(reference, hive, found)) != ERROR_SUCCESS)
        return status;
    const HiveValue* value = found->FindValue(ValueName(valueName));
    if (!value)
        return ERROR_FILE_NOT_FOUND;
    if (type)
        *type = value->type;
    return CopyData(value->data, data, dataSize);
}

LONG RegSetValueEx(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                   DWORD dataSize)
{
    (void)reserved;
    std::string_view name = ValueName(valueName);
    if ((!data && dataSize) || name.size() > kMaxValueNameLength)
        return ERROR_INVALID_PARAMETER;
    KeyReference reference;
    LONG status = Reference(key, KEY_SET_VALUE, reference);
    if (status != ERROR_SUCCESS)
        return status;
    std::string bytes(reinterpret_cast<const char*>(data), data ? dataSize : 0);
    return EditKey(reference, [&](CHiveKey&, CHiveKey& found) -> LONG {
        found.SetValue(name, type, bytes);
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteValue(HKEY key, const char* valueName)
{
    KeyReference reference;
    LONG status = Reference(key, KEY_SET_VALUE, reference);
    if (status != ERROR_SUCCESS)
        return status;
    return EditKey(reference, [&](CHiveKey&, CHiveKey& found) -> LONG {
        return found.DeleteValue(ValueName(valueName)) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

LONG RegDeleteKey(HKEY key, const char* subKey)
{
    if (!subKey)
        return ERROR_INVALID_PARAMETER;
    KeyReference reference;
    LONG status = Reference(key, kChangeRights, reference);
    std::vector<std::string> path;
    if (status != ERROR_SUCCESS || (status = SubkeyPath(reference, subKey, path)) != ERROR_SUCCESS)
        return status;
    if (path.empty())
        return ERROR_ACCESS_DENIED;  // a hive's root stays
    return EditKey(reference, [&](CHiveKey& root, CHiveKey&) -> LONG {
        std::vector<std::string> above(path.begin(), path.end() - 1);
        CHiveKey* parent = root.Find(above);
        const CHiveKey* target = parent ? parent->FindSubkey(path.back()) : nullptr;
        if (!target)
            return ERROR_FILE_NOT_FOUND;
        if (!target->Subkeys().empty())
            return ERROR_ACCESS_DENIED;
        parent->DeleteSubkey(path.back());
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteTree(HKEY key, const char* subKey)
{
    KeyReference reference;
    LONG status = Reference(key, kChangeRights, reference);
    std::vector<std::string> path;
    if (status != ERROR_SUCCESS || (status = SubkeyPath(reference, subKey, path)) != ERROR_SUCCESS)
        return status;
    return EditKey(reference, [&](CHiveKey& root, CHiveKey& found) -> LONG {
        if (path.size() == reference.path.size()) {
            found.ClearValues();
            found.ClearSubkeys();
            return ERROR_SUCCESS;
        }
        std::vector<std::string> above(path.begin(), path.end() - 1);
        CHiveKey* parent = root.Find(above);
        return parent && parent->DeleteSubkey(path.back()) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

LONG RegEnumKeyEx(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* reserved, char* keyClass,
                  DWORD* classSize, void* lastWriteTime)
{
    (void)lastWriteTime;  // write times are not kept
    if (!name || !nameSize || reserved)
        return ERROR_INVALID_PARAMETER;
    KeyReference reference;
    LONG status = Reference(key, KEY_ENUMERATE_SUB_KEYS, reference);
    HiveSnapshot hive;
    const CHiveKey* found = nullptr;
    if (status != ERROR_SUCCESS || (status = ReadKey(reference, hive, found)) != ERROR_SUCCESS)
        return status;
    if (index >= found->Subkeys().size())
        return ERROR_NO_MORE_ITEMS;
    if ((status = CopyName(found->Subkeys()[index].Name(), name, nameSize)) != ERROR_SUCCESS)
        return status;
    if (keyClass && classSize && *classSize)
        keyClass[0] = '\0';
    if (classSize)
        *classSize = 0;
    return ERROR_SUCCESS;
}

LONG RegEnumValue(HKEY key, DWORD index, char* valueName, DWORD* valueNameSize, DWORD* reserved, DWORD* type,
                  BYTE* data, DWORD* dataSize)
{
    if (!valueName || !valueNameSize || reserved || (data && !dataSize))
        return ERROR_INVALID_PARAMETER;
    KeyReference reference;
    LONG status = Reference(key, KEY_QUERY_VALUE, reference);
    HiveSnapshot hive;
    const CHiveKey* found = nullptr;
    if (status != ERROR_SUCCESS || (status = ReadKey(reference, hive, found)) != ERROR_SUCCESS)
        return status;
    if (index >= found->Values().size())
        return ERROR_NO_MORE_ITEMS;
    const HiveValue& value = found->Values()[index];
    if ((status = CopyName(value.name, valueName, valueNameSize)) != ERROR_SUCCESS)
        return status;
    if (type)
        *type = value.type;
    return CopyData(value.data, data, dataSize);
}

LONG RegQueryInfoKey(HKEY key, char* keyClass, DWORD* classSize, DWORD* reserved, DWORD* subKeys,
                     DWORD* maxSubKeyLength, DWORD* maxClassLength, DWORD* values, DWORD* maxValueNameLength,
                     DWORD* maxValueLength, DWORD* securityDescriptorSize, void* lastWriteTime)
{
    (void)securityDescriptorSize, (void)lastWriteTime;  // not kept
    if (reserved)
        return ERROR_INVALID_PARAMETER;
    KeyReference reference;
    LONG status = Reference(key, KEY_QUERY_VALUE, reference);
    HiveSnapshot hive;
    const CHiveKey* found = nullptr;
    if (status != ERROR_SUCCESS || (status = ReadKey(reference, hive, found)) != ERROR_SUCCESS)
        return status;
    if (keyClass && classSize && *classSize)
        keyClass[0] = '\0';
    DWORD longestKey = 0, longestName = 0, longestData = 0;
    for (const CHiveKey& subkey : found->Subkeys())
        longestKey = std::max(longestKey, static_cast<DWORD>(subkey.Name().size()));
    for (const HiveValue& value : found->Values()) {
        longestName = std::max(longestName, static_cast<DWORD>(value.name.size()));
        longestData = std::max(longestData, static_cast<DWORD>(value.data.size()));
    }
    for (auto [out, number] :
         {std::pair{classSize, DWORD{0}}, std::pair{maxClassLength, DWORD{0}},
          std::pair{subKeys, static_cast<DWORD>(found->Subkeys().size())},
          std::pair{maxSubKeyLength, longestKey},
          std::pair{values, static_cast<DWORD>(found->Values().size())},
          std::pair{maxValueNameLength, longestName}, std::pair{maxValueLength, longestData}}) {
        if (out)
            *out = number;
    }
    return ERROR_SUCCESS;
}
