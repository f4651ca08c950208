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

// The default values of HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32 and
// \LocalServer32 (empty when missing). False when the class has neither.
bool LookupClassRegistration(REFCLSID clsid, ClassRegistration* registration);

}  // namespace wys::rpc
