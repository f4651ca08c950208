#include "Wayscribe/band/BandModule.h"

#include <atomic>

namespace BandModule {
namespace {

std::atomic<long> g_locks{0};

}  // namespace

void Lock()
{
    ++g_locks;
}

void Unlock()
{
    --g_locks;
}

long LockCount()
{
    return g_locks.load();
}

}  // namespace BandModule
