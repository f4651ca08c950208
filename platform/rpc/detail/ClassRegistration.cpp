#include "platform/rpc/detail/ClassRegistration.h"

#include <map>
#include <mutex>

namespace wys::rpc {

namespace {

std::mutex g_mutex;
std::map<CLSID, ClassRegistration>& Registrations()
{
    static auto* registrations = new std::map<CLSID, ClassRegistration>;
    return *registrations;
}

}  // namespace

bool LookupClassRegistration(REFCLSID clsid, ClassRegistration* registration)
{
    std::lock_guard lock(g_mutex);
    auto it = Registrations().find(clsid);
    if (it == Registrations().end())
        return false;
    *registration = it->second;
    return !registration->inprocServer.empty() || !registration->localServer.empty();
}

void RegisterClassServers(REFCLSID clsid, const ClassRegistration& registration)
{
    std::lock_guard lock(g_mutex);
    Registrations()[clsid] = registration;
}

void UnregisterClassServers(REFCLSID clsid)
{
    std::lock_guard lock(g_mutex);
    Registrations().erase(clsid);
}

}  // namespace wys::rpc
