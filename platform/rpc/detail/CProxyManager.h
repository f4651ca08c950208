// The local stand-in of one object of a peer: its identity (IUnknown), its
// reference count, and one interface proxy per interface asked for.
// Private to the runtime.
//
// AddRef and Release are counted here; when the count reaches zero the
// references received from the peer go back in one release message. A
// proxy belongs to the apartment that received it; calls from other threads
// of a multithreaded apartment run on its dispatcher, calls from any other
// apartment fail with RPC_E_WRONG_THREAD.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "platform/rpc/RemoteInterface.h"

namespace wys::rpc {

class CConnection;

class CProxyManager final : public IUnknown {
public:
    // QueryInterface for this identifier answers the manager itself, which
    // tells proxies apart from other objects.
    static constexpr GUID kIid = MakeGuid("{5F0C8E57-7A52-4C3E-9A1B-2D6E4B0C9F31}");

    CProxyManager(std::shared_ptr<CConnection> connection, std::uint64_t objectId);

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // One more reference to the object arrived from the peer.
    void AddRemoteReference() { ++m_remoteReferences; }
    // The proxy for `iid` (AddRef'd), made without asking the object: the
    // peer sent a reference to exactly that interface.
    HRESULT GetInterface(REFIID iid, void** object);
    HRESULT Call(REFIID iid, std::uint16_t method, RequestWriter request, ReplyReader reply);
    // Sends the call as the opening pipelined call of this thread (the
    // caller checked that there is one and that this thread owns the
    // connection) and returns without waiting.
    HRESULT CallPipelined(REFIID iid, std::uint16_t method, RequestWriter request, PipelinedReply reply);

    CConnection& Connection() { return *m_connection; }
    std::uint64_t ObjectId() const { return m_objectId; }
    // The manager behind `identity`, or null when it is no proxy.
    static CProxyManager* FromIdentity(IUnknown* identity);

private:
    ~CProxyManager();
    void Destroy();
    CInterfaceProxy* FindProxy(REFIID iid) const;
    HRESULT AddProxy(REFIID iid, void** object);

    std::shared_ptr<CConnection> m_connection;
    std::uint64_t m_objectId;
    std::atomic<ULONG> m_references{0};
    std::uint32_t m_remoteReferences = 1;
    std::vector<std::unique_ptr<CInterfaceProxy>> m_proxies;
};

}  // namespace wys::rpc
