// Self-registration of an in-process server library that serves one class
// and carries its own type library: what DllRegisterServer writes below
// HKEY_CLASSES_ROOT and DllUnregisterServer takes away again.
#pragma once

#include <string>

#include "platform/base/WinError.h"
#include "platform/com/Guid.h"

struct InprocClassRegistration {
    CLSID clsid;
    GUID libid;  // the type library, version 1.0, inside the library
    GUID appid;
    const char* progId;
    const char* versionIndependentProgId;
    const char* description;  // the class's and both ProgIDs' default value
    const char* typeLibraryName;
    const char* appIdName;
};

// Writes the ProgIDs, the class (InprocServer32 = `libraryPath`, apartment
// threaded), the type library and the application, in that order, stopping
// at the first write that fails: SELFREG_E_CLASS then.
HRESULT RegisterInprocClass(const InprocClassRegistration& entry, const std::string& libraryPath);

// Deletes the keys RegisterInprocClass wrote. Keys already gone are no
// failure: unregistering twice is fine.
void UnregisterInprocClass(const InprocClassRegistration& entry);
