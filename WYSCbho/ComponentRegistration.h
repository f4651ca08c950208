// The registry entries of the component library: the class CWYSCSaver with
// its ProgIDs, the type library and the application identifier, all under
// HKEY_CLASSES_ROOT. Entering the class among the browser's helper objects
// is left to installation.
#pragma once

#include <string>

#include "platform/base/WinError.h"

namespace wys::capture {

inline constexpr const char* kProgId = "WYSCbho.WYSCSaver.1";
inline constexpr const char* kVersionIndependentProgId = "WYSCbho.WYSCSaver";
inline constexpr const char* kClassDescription = "CWYSCSaver Object";
inline constexpr const char* kTypeLibraryName = "WYSCbho 1.0 Type Library";
inline constexpr const char* kAppIdName = "WYSCbho";

// Writes every entry, naming `libraryPath` as the in-process server.
// SELFREG_E_CLASS when an entry cannot be written.
HRESULT RegisterComponent(const std::string& libraryPath);
// Removes the entries; S_OK also when they were not there.
HRESULT UnregisterComponent();

}  // namespace wys::capture
