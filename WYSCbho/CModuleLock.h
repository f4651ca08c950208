// The lock count of the component library: while it is above zero
// DllCanUnloadNow answers S_FALSE, so the library is not unloaded under a
// live object, a locked class object or a capture thread still running its
// code. Thread-safe.
#pragma once

namespace wys::capture {

// Holds one lock for its lifetime.
class CModuleLock {
public:
    CModuleLock();
    ~CModuleLock();
    CModuleLock(const CModuleLock&) = delete;
    CModuleLock& operator=(const CModuleLock&) = delete;

    static void Lock();
    static void Unlock();
    static long Count();
};

}  // namespace wys::capture
