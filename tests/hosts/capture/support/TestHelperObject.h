// The class of the helper object that the host tests register in place of
// the page capture: it records what it sees of its window in a log file
// (named by WYS_TEST_HELPER_LOG) and records each completed page in the URL
// base, from a thread of its own through the marshalled browser.
#pragma once

#include "platform/com/Guid.h"

inline constexpr CLSID CLSID_TestHelperObject = MakeGuid("{5B0E7D1C-6A43-4C8F-9E21-3D7A1B2C4E60}");
