#include "platform/com/InprocServer.h"

#include <dlfcn.h>

std::string LibraryPathOf(const void* address)
{
    Dl_info info{};
    if (dladdr(address, &info) == 0 || !info.dli_fname)
        return {};
    return info.dli_fname;
}
