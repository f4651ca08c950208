// The classes of the test band library that the browser host tests register:
// a band that records in a log file (named by WYS_TEST_BAND_LOG) what its
// host gives and asks it, and a helper object whose SetSite fails.
#pragma once

#include "platform/com/Guid.h"

inline constexpr CLSID CLSID_TestBand = MakeGuid("{3C9A41E2-7D15-4B0A-9F6E-21B8C4D7E590}");
inline constexpr CLSID CLSID_FailingHelperObject = MakeGuid("{8E2D6F10-4A9B-4C3E-B7D1-5F0A2E9C6B48}");

// What the test band answers to GetBandInfo.
inline constexpr const char* kTestBandTitle = "Test Band Pane";
inline constexpr int kTestBandMinWidth = 120;
inline constexpr int kTestBandIdealWidth = 230;
