#include "Wayscribe/band/BandModule.h"

template <>
std::atomic<long> CLibraryLock<CBandLibrary>::s_count{0};
