// Where a class's server is: the one place that reads class registrations.
// Private to the runtime.
#pragma once

#include <string>

#include "platform/com/Guid.h"

namespace wys::rpc {

struct ClassRegistration {
    std::string inprocServer;  // InprocServer32: path of a shared library
    std::string localServer;   // LocalServer32: command line of a program
};

// The registration of clsid under HKEY_CLASSES_ROOT\CLSID\{clsid}. False when
// the class has neither an in-process nor a local server.
bool LookupClassRegistration(REFCLSID clsid, ClassRegistration* registration);

// Records a registration for LookupClassRegistration in this process (and
// the processes it forks). This stands in for writing HKEY_CLASSES_ROOT
// until the registry is part of the build.
void RegisterClassServers(REFCLSID clsid, const ClassRegistration& registration);
void UnregisterClassServers(REFCLSID clsid);

}  // namespace wys::rpc
