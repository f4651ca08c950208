// The registry entries of the band library: the class CSurfBand with its
// ProgIDs, its type library and its application identifier under
// HKEY_CLASSES_ROOT, and its mark as a vertical explorer bar
// (CATID_InfoBand), which makes browser hosts offer it as a side pane.
#pragma once

#include <string>

#include "platform/base/WinError.h"

namespace BandRegistration {

inline constexpr const char* kProgId = "Wayscribe.SurfBand.1";
inline constexpr const char* kVersionIndependentProgId = "Wayscribe.SurfBand";
inline constexpr const char* kClassDescription = "CSurfBand Object";
inline constexpr const char* kTypeLibraryName = "Wayscribe 1.0 Type Library";
inline constexpr const char* kAppIdName = "Wayscribe";

// Writes every entry, naming `libraryPath` as the in-process server
// (threading model Apartment). SELFREG_E_CLASS when an entry cannot be
// written.
HRESULT RegisterComponent(const std::string& libraryPath);
// Removes the entries; S_OK also when they were not there.
HRESULT UnregisterComponent();

}  // namespace BandRegistration
