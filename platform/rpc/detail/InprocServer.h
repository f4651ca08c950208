// In-process servers: shared libraries opened with dlopen that export
// DllGetClassObject and DllCanUnloadNow. Private to the runtime.
#pragma once

#include <string>

#include "platform/com/Unknown.h"

namespace wys::rpc {

// Opens the library (once per process) and asks it for the class object.
// CO_E_DLLNOTFOUND when it cannot be opened, CO_E_ERRORINDLL when it lacks
// DllGetClassObject.
HRESULT InprocGetClassObject(const std::string& path, REFCLSID clsid, REFIID iid, void** object);
// Closes the libraries whose DllCanUnloadNow answers S_OK.
void FreeUnusedInprocLibraries();
// Whether the file at the path of an opened library is not the one opened.
bool InprocLibrariesReplaced();

}  // namespace wys::rpc
