// The lock count of the component library: while it is above zero
// DllCanUnloadNow answers S_FALSE, so the library is not unloaded under a
// live object, a locked class object or a capture thread still running its
// code. A CModuleLock holds one lock for its lifetime. Thread-safe.
#pragma once

#include "platform/com/InprocServer.h"

namespace wys::capture {

struct CCaptureLibrary;
using CModuleLock = CLibraryLock<CCaptureLibrary>;

}  // namespace wys::capture

template <>
std::atomic<long> CLibraryLock<wys::capture::CCaptureLibrary>::s_count;
