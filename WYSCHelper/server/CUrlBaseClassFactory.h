// The class object of CWYSCURLBase in the server: it makes the one URL base
// object on the first request and hands the same object to every later
// request, from any client.
//
// Locks: the cached object counts as one lock of the module while anybody
// besides this class object holds it (its reference count rises from 1 to 2
// and falls back), so the server can end while only the cache holds it.
// Each LockServer(TRUE) is one more lock until its LockServer(FALSE).
//
// Failure: if making the object fails, that result is kept and returned to
// every later request of this process; the server does not try again.
//
// Threads: made and called on the server's apartment thread; the creation
// is also guarded by a mutex, so a request on another thread waits for it.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "WYSCHelper/CUrlBaseOptions.h"
#include "WYSCHelper/server/CServerModule.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"

namespace wys::server {

class CUrlBaseClassFactory final : public CComObjectRoot<CUrlBaseClassFactory, IClassFactory> {
public:
    // Makes the object: as CWYSCURLBase::Create. Replaceable for tests.
    using Creator = std::function<HRESULT(REFIID iid, void** object, CUrlBaseOptions options)>;

    // `module` must outlive this object.
    explicit CUrlBaseClassFactory(CServerModule& module, Creator create = {});
    // Releases the cached object (which saves the index as it goes, or, if
    // clients still hold it, when the last of them lets go). From here on
    // its references no longer count as locks.
    ~CUrlBaseClassFactory() override;

    // CLASS_E_NOAGGREGATION for an outer object, E_POINTER for a null
    // `object`; otherwise the cached object's QueryInterface.
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    // E_UNEXPECTED for a FALSE without an outstanding lock, so that the count
    // never falls below what the clients of the object hold.
    HRESULT LockServer(BOOL lock) override;

private:
    // What the object's reference-count hook reaches; shared with the hook,
    // since the object may outlive this class object at shutdown.
    struct LockLink {
        explicit LockLink(CServerModule& module) : module(module) {}
        CServerModule& module;
        std::atomic<bool> counting{false};  // the object is cached: its count now tells the locks
    };

    HRESULT MakeObject();
    static void OnReferenceCountChanged(LockLink& link, ULONG previous, ULONG now);

    CServerModule& m_module;
    std::shared_ptr<LockLink> m_link;
    Creator m_create;
    std::mutex m_creation;
    ComPtr<IUnknown> m_object;
    HRESULT m_creationResult = S_OK;
    bool m_tried = false;
    std::mutex m_serverLocksMutex;
    LONG m_serverLocks = 0;
};

}  // namespace wys::server
