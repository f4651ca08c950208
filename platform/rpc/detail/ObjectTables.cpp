#include "platform/rpc/detail/ObjectTables.h"

#include <map>
#include <mutex>

namespace wys::rpc {

namespace {

struct StreamObject {
    std::uint64_t owner;
    ComPtr<IUnknown> object;
};

struct Tables {
    std::mutex mutex;
    DWORD nextCookie = 1;
    std::map<DWORD, RegisteredClass> classes;
    std::uint64_t nextToken = 1;
    std::map<std::uint64_t, StreamObject> streamObjects;
};

Tables& TheTables()
{
    static auto* tables = new Tables;  // never destroyed: used until the very end
    return *tables;
}

}  // namespace

DWORD AddRegisteredClass(RegisteredClass entry)
{
    Tables& t = TheTables();
    std::lock_guard lock(t.mutex);
    DWORD cookie = t.nextCookie++;
    t.classes.emplace(cookie, std::move(entry));
    return cookie;
}

bool RemoveRegisteredClass(DWORD cookie, RegisteredClass* removed)
{
    Tables& t = TheTables();
    std::lock_guard lock(t.mutex);
    auto it = t.classes.find(cookie);
    if (it == t.classes.end())
        return false;
    *removed = std::move(it->second);
    t.classes.erase(it);
    return true;
}

std::vector<RegisteredClass> RemoveRegisteredClassesOf(const CApartment* apartment)
{
    std::vector<RegisteredClass> removed;
    Tables& t = TheTables();
    std::lock_guard lock(t.mutex);
    for (auto it = t.classes.begin(); it != t.classes.end();) {
        auto owner = it->second.apartment.lock();
        if (!owner || owner.get() == apartment) {
            removed.push_back(std::move(it->second));
            it = t.classes.erase(it);
        } else {
            ++it;
        }
    }
    return removed;
}

bool FindRegisteredClass(REFCLSID clsid, DWORD contexts, RegisteredClass* found)
{
    Tables& t = TheTables();
    std::lock_guard lock(t.mutex);
    for (const auto& [cookie, entry] : t.classes) {
        if (entry.clsid == clsid && (entry.context & contexts) != 0) {
            *found = entry;
            return true;
        }
    }
    return false;
}

std::uint64_t AddStreamObject(std::uint64_t ownerApartment, ComPtr<IUnknown> object)
{
    Tables& t = TheTables();
    std::lock_guard lock(t.mutex);
    std::uint64_t token = t.nextToken++;
    t.streamObjects.emplace(token, StreamObject{ownerApartment, std::move(object)});
    return token;
}

ComPtr<IUnknown> TakeStreamObject(std::uint64_t token, std::uint64_t ownerApartment)
{
    ComPtr<IUnknown> object;
    {
        Tables& t = TheTables();
        std::lock_guard lock(t.mutex);
        auto it = t.streamObjects.find(token);
        if (it == t.streamObjects.end() || it->second.owner != ownerApartment)
            return nullptr;
        object = std::move(it->second.object);
        t.streamObjects.erase(it);
    }
    return object;
}

}  // namespace wys::rpc
