// The class, interface, library and category identifiers of Wayscribe's
// components, each defined once here. The messaging component's, which
// the platform provides, are defined with it (platform/mime/Cdo.h).
#pragma once

#include "platform/com/Guid.h"

// History server (WYSCHelper).
inline constexpr CLSID CLSID_WYSCURLBase = MakeGuid("{9F1366DD-E157-4962-84F5-57066BB8506A}");
inline constexpr IID IID_IWYSCURLBase = MakeGuid("{EC59A1BD-C8CF-4F75-B245-E0D055A94C66}");
inline constexpr IID DIID_IWYSCURLBaseEvents = MakeGuid("{983DEA35-CD63-4CDF-B915-05CEA14458F4}");
// What the saved copies take on disk, answered by the URL base object.
inline constexpr IID IID_IWYSCDiskUsage = MakeGuid("{5C0E7B91-2F4A-4D8E-A3B6-71D9E2C40F58}");
// The server's type library; also its application identifier.
inline constexpr GUID LIBID_WYSCHelper = MakeGuid("{1F056668-E768-40D6-A0C2-C58BF96A0088}");
inline constexpr GUID APPID_WYSCHelper = LIBID_WYSCHelper;

// Page capture helper object (WYSCbho).
inline constexpr CLSID CLSID_WYSCSaver = MakeGuid("{F70C14A1-9083-4789-880B-70A2D1193EEE}");
inline constexpr IID IID_IWYSCSaver = MakeGuid("{F3291B79-8CA0-4250-BD18-1CD97946A812}");
inline constexpr GUID LIBID_WYSCbho = MakeGuid("{FF1DBA22-39FE-45C2-812D-6EB7A7111371}");

// History band (Wayscribe).
inline constexpr CLSID CLSID_SurfBand = MakeGuid("{F5F66C79-DA73-417B-8EFD-D53214677190}");
inline constexpr IID IID_ISurfBand = MakeGuid("{1F28B2C9-BB4C-4C7C-B1D6-1B8C543E593A}");
// The band library's type library; also its application identifier.
inline constexpr GUID LIBID_Wayscribe = MakeGuid("{6B0E3D52-41C7-4F0A-9A8E-2F5C1D7B9E34}");

// The component category that makes a browser list a band among its vertical
// explorer bars.
inline constexpr CATID CATID_InfoBand = MakeGuid("{00021493-0000-0000-C000-000000000046}");
