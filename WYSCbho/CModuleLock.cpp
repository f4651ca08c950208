#include "WYSCbho/CModuleLock.h"

#include <atomic>

namespace wys::capture {
namespace {

std::atomic<long> g_locks{0};

}  // namespace

CModuleLock::CModuleLock()
{
    Lock();
}

CModuleLock::~CModuleLock()
{
    Unlock();
}

void CModuleLock::Lock()
{
    g_locks.fetch_add(1, std::memory_order_acq_rel);
}

void CModuleLock::Unlock()
{
    g_locks.fetch_sub(1, std::memory_order_acq_rel);
}

long CModuleLock::Count()
{
    return g_locks.load(std::memory_order_acquire);
}

}  // namespace wys::capture
