#include "platform/rpc/detail/CProxyManager.h"

#include "platform/rpc/detail/CConnection.h"
#include "platform/rpc/detail/PendingCall.h"
#include "platform/rpc/detail/ThreadState.h"

namespace wys::rpc {

CProxyManager::CProxyManager(std::shared_ptr<CConnection> connection, std::uint64_t objectId)
    : m_connection(std::move(connection)), m_objectId(objectId)
{
}

CProxyManager::~CProxyManager() = default;

CProxyManager* CProxyManager::FromIdentity(IUnknown* identity)
{
    void* manager = nullptr;
    if (FAILED(identity->QueryInterface(kIid, &manager)) || !manager)
        return nullptr;
    auto* result = static_cast<CProxyManager*>(manager);
    result->Release();  // the caller holds the identity, which keeps it alive
    return result;
}

CInterfaceProxy* CProxyManager::FindProxy(REFIID iid) const
{
    for (const auto& proxy : m_proxies) {
        if (proxy->Iid() == iid)
            return proxy.get();
    }
    return nullptr;
}

HRESULT CProxyManager::AddProxy(REFIID iid, void** object)
{
    CInterfaceProxy* proxy = FindProxy(iid);
    if (!proxy) {
        const RemoteInterface* remote = FindRemoteInterface(iid);
        if (!remote)
            return E_NOINTERFACE;
        m_proxies.emplace_back(remote->createProxy(*this, iid));
        proxy = m_proxies.back().get();
    }
    *object = proxy->Pointer();
    AddRef();
    return S_OK;
}

HRESULT CProxyManager::GetInterface(REFIID iid, void** object)
{
    *object = nullptr;
    if (iid == IID_IUnknown) {
        *object = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    return AddProxy(iid, object);
}

HRESULT CProxyManager::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (iid == IID_IUnknown || iid == kIid) {
        *object = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    if (FindProxy(iid))
        return AddProxy(iid, object);
    if (!FindRemoteInterface(iid))
        return E_NOINTERFACE;
    HRESULT hr = Call(
        IID_IUnknown, kRemoteQueryInterface, [&](CWireWriter& w, CMarshalContext&) { w.Guid(iid); },
        [](CWireReader&, CMarshalContext&, HRESULT) {});
    if (FAILED(hr))
        return hr;
    return AddProxy(iid, object);
}

ULONG CProxyManager::AddRef()
{
    return ++m_references;
}

ULONG CProxyManager::Release()
{
    ULONG left = --m_references;
    if (left != 0)
        return left;
    CApartment& apartment = m_connection->Apartment();
    if (apartment.IsOwnerThread() || apartment.IsClosed()) {
        Destroy();
        return 0;
    }
    // Released on a foreign thread: the connection is the owner thread's.
    if (!apartment.PostTask([this] {
            if (m_references == 0)
                Destroy();
        }))
        Destroy();
    return 0;
}

void CProxyManager::Destroy()
{
    std::shared_ptr<CConnection> connection = std::move(m_connection);
    std::uint64_t objectId = m_objectId;
    std::uint32_t references = m_remoteReferences;
    m_proxies.clear();
    connection->ForgetImport(objectId, this, references);
    delete this;
}

HRESULT CProxyManager::Call(REFIID iid, std::uint16_t method, RequestWriter request, ReplyReader reply)
{
    CApartment& apartment = m_connection->Apartment();
    if (apartment.IsOwnerThread())
        return m_connection->Call(m_objectId, iid, method, request, reply);
    if (apartment.GetKind() != CApartment::Kind::Multi || CurrentApartment().get() != &apartment)
        return RPC_E_WRONG_THREAD;
    // Another thread of the multithreaded apartment: the call runs on its
    // dispatcher, which owns the connection, while this thread waits.
    HRESULT hr = RPC_E_DISCONNECTED;
    apartment.RunOnOwner([&] { hr = m_connection->Call(m_objectId, iid, method, request, reply); });
    return hr;
}

HRESULT CProxyManager::CallPipelined(REFIID iid, std::uint16_t method, RequestWriter request,
                                     PipelinedReply reply)
{
    PipelineEntry* entry = ClaimPipelineEntry();
    if (!entry) {
        HRESULT hr = Call(iid, method, request, ReplyReader(reply.read));
        if (FAILED(hr))
            reply.fail();
        return hr;
    }
    entry->handlers = std::move(reply);
    return m_connection->CallPipelined(m_objectId, iid, method, request, &entry->pending);
}

HRESULT CInterfaceProxy::Invoke(std::uint16_t method, RequestWriter request, ReplyReader reply)
{
    return m_manager.Call(m_iid, method, request, reply);
}

bool CInterfaceProxy::CanPipeline()
{
    return OpeningPipelineEntry() && m_manager.Connection().Apartment().IsOwnerThread();
}

HRESULT CInterfaceProxy::InvokePipelined(std::uint16_t method, RequestWriter request, PipelinedReply reply)
{
    return m_manager.CallPipelined(m_iid, method, request, std::move(reply));
}

HRESULT CInterfaceProxy::OuterQueryInterface(REFIID iid, void** object)
{
    return m_manager.QueryInterface(iid, object);
}

ULONG CInterfaceProxy::OuterAddRef()
{
    return m_manager.AddRef();
}

ULONG CInterfaceProxy::OuterRelease()
{
    return m_manager.Release();
}

}  // namespace wys::rpc
