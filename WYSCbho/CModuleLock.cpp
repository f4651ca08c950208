#include "WYSCbho/CModuleLock.h"

template <>
std::atomic<long> CLibraryLock<wys::capture::CCaptureLibrary>::s_count{0};
