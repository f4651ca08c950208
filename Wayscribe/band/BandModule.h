// What keeps the band library loaded: live band objects and class-object
// locks. DllCanUnloadNow answers from the count.
#pragma once

#include "platform/com/InprocServer.h"

struct CBandLibrary;
using BandModule = CLibraryLock<CBandLibrary>;

template <>
std::atomic<long> CLibraryLock<CBandLibrary>::s_count;
