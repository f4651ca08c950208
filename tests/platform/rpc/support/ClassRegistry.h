// Registers test classes the way installed components register: keys under
// HKEY_CLASSES_ROOT\CLSID in the (temporary) user's registry.
#pragma once

#include <string>

#include "platform/com/Guid.h"

namespace wys::test {

// Sets the default value of CLSID\{clsid}\<server> ("LocalServer32" or
// "InprocServer32"); an empty value removes the key. True on success.
bool RegisterClassServer(REFCLSID clsid, const char* server, const std::string& value);

}  // namespace wys::test
