#include "platform/registry/KeyHandles.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace wys::registry {

namespace {

constexpr std::uintptr_t kPredefinedFirst = 0x80000000u;
constexpr std::uintptr_t kPredefinedLast = 0x800000FFu;
// Opened handles count up from here in steps of 4, like aligned pointers.
constexpr std::uintptr_t kFirstHandle = 0x1000;

class CHandleTable {
public:
    HKEY Add(KeyReference reference)
    {
        std::lock_guard lock(m_mutex);
        m_next += 4;
        if (m_next >= kPredefinedFirst && m_next <= kPredefinedLast)
            m_next = kPredefinedLast + 1;
        m_open.emplace(m_next, std::move(reference));
        return reinterpret_cast<HKEY>(m_next);
    }

    bool Find(std::uintptr_t handle, KeyReference& reference)
    {
        std::lock_guard lock(m_mutex);
        auto it = m_open.find(handle);
        if (it == m_open.end())
            return false;
        reference = it->second;
        return true;
    }

    bool Remove(std::uintptr_t handle)
    {
        std::lock_guard lock(m_mutex);
        return m_open.erase(handle) != 0;
    }

private:
    std::mutex m_mutex;
    std::uintptr_t m_next = kFirstHandle;
    std::unordered_map<std::uintptr_t, KeyReference> m_open;
};

CHandleTable& Table()
{
    // Never destroyed: keys may still be closed by other objects' destructors at exit.
    static auto* table = new CHandleTable;
    return *table;
}

bool PredefinedHiveOf(HKEY key, PredefinedHive& hive)
{
    if (key == HKEY_CLASSES_ROOT)
        hive = PredefinedHive::ClassesRoot;
    else if (key == HKEY_CURRENT_USER)
        hive = PredefinedHive::CurrentUser;
    else if (key == HKEY_LOCAL_MACHINE)
        hive = PredefinedHive::LocalMachine;
    else
        return false;
    return true;
}

}  // namespace

LONG ResolveKey(HKEY key, KeyReference& reference)
{
    PredefinedHive hive;
    if (PredefinedHiveOf(key, hive)) {
        std::optional<HiveLocation> location = LocateHive(hive);
        if (!location)
            return ERROR_PATH_NOT_FOUND;
        reference = KeyReference{std::move(*location), {}, KEY_ALL_ACCESS};
        return ERROR_SUCCESS;
    }
    if (!key || !Table().Find(reinterpret_cast<std::uintptr_t>(key), reference))
        return ERROR_INVALID_HANDLE;
    return ERROR_SUCCESS;
}

HKEY AddKeyHandle(KeyReference reference)
{
    return Table().Add(std::move(reference));
}

LONG CloseKeyHandle(HKEY key)
{
    PredefinedHive hive;
    if (PredefinedHiveOf(key, hive))
        return ERROR_SUCCESS;
    if (!key || !Table().Remove(reinterpret_cast<std::uintptr_t>(key)))
        return ERROR_INVALID_HANDLE;
    return ERROR_SUCCESS;
}

}  // namespace wys::registry
