// The table of interfaces the runtime can carry, with the platform's own
// interfaces registered from the start.
#include <functional>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>

#include "platform/rpc/StandardInterfaces.h"

namespace {

WYS_RPC_REMOTE_INTERFACE(IClassFactory, WYS_RPC_ICLASSFACTORY_METHODS)
WYS_RPC_REMOTE_INTERFACE(IDispatch, WYS_RPC_IDISPATCH_METHODS)
WYS_RPC_REMOTE_INTERFACE(ITypeInfo, WYS_RPC_ITYPEINFO_METHODS)
WYS_RPC_REMOTE_INTERFACE(IProvideClassInfo, WYS_RPC_IPROVIDECLASSINFO_METHODS)
WYS_RPC_REMOTE_INTERFACE(IProvideClassInfo2, WYS_RPC_IPROVIDECLASSINFO2_METHODS)
WYS_RPC_REMOTE_INTERFACE(IConnectionPointContainer, WYS_RPC_ICONNECTIONPOINTCONTAINER_METHODS)
WYS_RPC_REMOTE_INTERFACE(IConnectionPoint, WYS_RPC_ICONNECTIONPOINT_METHODS)
WYS_RPC_REMOTE_INTERFACE(IPropertyNotifySink, WYS_RPC_IPROPERTYNOTIFYSINK_METHODS)

using wys::rpc::CMarshalContext;
using wys::rpc::CWireReader;
using wys::rpc::CWireWriter;

// What a successful Advise, Unadvise or LockServer changes is noted on the
// connection, so that a lost peer's sinks and locks can be undone. The
// reply is looked at just before it leaves.
class CReplyWatch final : public CMarshalContext {
public:
    CReplyWatch(CMarshalContext& inner, std::size_t mark, std::function<void(HRESULT, CWireReader&)> onReply)
        : m_inner(inner), m_mark(mark), m_onReply(std::move(onReply))
    {
    }
    void WriteInterface(CWireWriter& w, IUnknown* object, REFIID iid) override
    {
        m_inner.WriteInterface(w, object, iid);
    }
    void* ReadInterface(CWireReader& r, REFIID iid) override { return m_inner.ReadInterface(r, iid); }
    void ReplyReady(CWireWriter& reply) override
    {
        CWireReader answer(reply.Data() + m_mark, reply.Size() - m_mark);
        HRESULT hr = answer.I32();
        m_onReply(hr, answer);
        m_inner.ReplyReady(reply);
    }

private:
    CMarshalContext& m_inner;
    std::size_t m_mark;
    std::function<void(HRESULT, CWireReader&)> m_onReply;
};

void AdviseStub(void* object, CWireReader& request, CWireWriter& reply, CMarshalContext& context)
{
    using namespace wys_rpc_remote_IConnectionPoint;
    CReplyWatch watch(context, reply.Size(), [&](HRESULT hr, CWireReader& answer) {
        if (SUCCEEDED(hr) && answer.Remaining() == sizeof(DWORD))
            context.PeerAdvised(static_cast<IConnectionPoint*>(object), answer.U32());
    });
    kStubs[static_cast<int>(Slots::Advise)](object, request, reply, watch);
}

void UnadviseStub(void* object, CWireReader& request, CWireWriter& reply, CMarshalContext& context)
{
    using namespace wys_rpc_remote_IConnectionPoint;
    CWireReader peek = request;
    DWORD cookie = peek.U32();
    CReplyWatch watch(context, reply.Size(), [&](HRESULT hr, CWireReader&) {
        if (SUCCEEDED(hr))
            context.PeerUnadvised(static_cast<IConnectionPoint*>(object), cookie);
    });
    kStubs[static_cast<int>(Slots::Unadvise)](object, request, reply, watch);
}

void LockServerStub(void* object, CWireReader& request, CWireWriter& reply, CMarshalContext& context)
{
    using namespace wys_rpc_remote_IClassFactory;
    CWireReader peek = request;
    BOOL lock = peek.I32();
    CReplyWatch watch(context, reply.Size(), [&](HRESULT hr, CWireReader&) {
        if (SUCCEEDED(hr))
            context.PeerLockedServer(static_cast<IClassFactory*>(object), lock);
    });
    kStubs[static_cast<int>(Slots::LockServer)](object, request, reply, watch);
}

template <std::size_t N>
struct StubTable {
    wys::rpc::StubFunction entries[N];
};

template <std::size_t N>
StubTable<N> Replace(const wys::rpc::StubFunction (&stubs)[N], int slot, wys::rpc::StubFunction replacement)
{
    StubTable<N> table{};
    for (std::size_t i = 0; i < N; ++i)
        table.entries[i] = stubs[i];
    table.entries[slot] = replacement;
    return table;
}

struct Registry {
    std::shared_mutex mutex;
    std::unordered_map<IID, wys::rpc::RemoteInterface> entries;
};

Registry& TheRegistry()
{
    static Registry* registry = [] {
        auto* r = new Registry;  // lives as long as the process
        static const auto factoryStubs =
            Replace(wys_rpc_remote_IClassFactory::kStubs,
                    static_cast<int>(wys_rpc_remote_IClassFactory::Slots::LockServer), &LockServerStub);
        static const auto pointStubs = [] {
            using namespace wys_rpc_remote_IConnectionPoint;
            auto table = Replace(kStubs, static_cast<int>(Slots::Advise), &AdviseStub);
            table.entries[static_cast<int>(Slots::Unadvise)] = &UnadviseStub;
            return table;
        }();
        wys::rpc::RemoteInterface factory = kIClassFactoryRemote;
        factory.stubs = factoryStubs.entries;
        wys::rpc::RemoteInterface point = kIConnectionPointRemote;
        point.stubs = pointStubs.entries;
        for (const auto& remote :
             {factory, kIDispatchRemote, kITypeInfoRemote, kIProvideClassInfoRemote,
              kIProvideClassInfo2Remote, kIConnectionPointContainerRemote, point, kIPropertyNotifySinkRemote})
            r->entries[remote.iid] = remote;
        return r;
    }();
    return *registry;
}

}  // namespace

namespace wys::rpc {

bool RegisterRemoteInterface(const RemoteInterface& remote)
{
    Registry& r = TheRegistry();
    std::unique_lock lock(r.mutex);
    r.entries[remote.iid] = remote;
    return true;
}

bool RegisterDispInterface(REFIID diid, const char* name)
{
    RemoteInterface remote = kIDispatchRemote;
    remote.iid = diid;
    remote.name = name;
    return RegisterRemoteInterface(remote);
}

const RemoteInterface* FindRemoteInterface(REFIID iid)
{
    Registry& r = TheRegistry();
    std::shared_lock lock(r.mutex);
    auto it = r.entries.find(iid);
    return it == r.entries.end() ? nullptr : &it->second;
}

InOutCodec<DISPPARAMS>::Slot::~Slot()
{
    for (VARIANT& arg : args)
        VariantClear(&arg);
}

void InOutCodec<DISPPARAMS>::Write(CWireWriter& w, CMarshalContext& c, CallState&, DISPPARAMS* p)
{
    w.U8(p ? 1 : 0);
    if (!p)
        return;
    if ((p->cArgs && !p->rgvarg) || (p->cNamedArgs && !p->rgdispidNamedArgs) || p->cNamedArgs > p->cArgs)
        throw ComError(E_INVALIDARG);
    w.U32(p->cArgs);
    for (UINT i = 0; i < p->cArgs; ++i)
        WriteVariant(w, c, p->rgvarg[i]);
    w.U32(p->cNamedArgs);
    for (UINT i = 0; i < p->cNamedArgs; ++i)
        w.I32(p->rgdispidNamedArgs[i]);
}

void InOutCodec<DISPPARAMS>::Read(CWireReader& r, CMarshalContext& c, CallState&, Slot& s)
{
    std::uint8_t present = r.U8();
    if (present > 1)
        throw CWireError("bad parameter block marker");
    if (!present)
        return;
    std::uint32_t count = r.U32();
    r.ExpectItems(count, 2);
    s.args.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        VariantInit(&s.args[i]);
        ReadVariant(r, c, &s.args[i], s.store);
        if (s.args[i].vt & VT_BYREF)
            s.references.emplace_back(i, s.args[i]);
    }
    std::uint32_t named = r.U32();
    if (named > count)
        throw CWireError("more named arguments than arguments");
    r.ExpectItems(named, 4);
    s.named.resize(named);
    for (auto& id : s.named)
        id = r.I32();
    s.params = DISPPARAMS{count ? s.args.data() : nullptr, named ? s.named.data() : nullptr, count, named};
    s.present = true;
}

void InOutCodec<DISPPARAMS>::WriteBack(CWireWriter& w, CMarshalContext& c, CallState&, Slot& s)
{
    for (const auto& [index, original] : s.references)
        WriteReferencedValue(w, c, original);
}

void InOutCodec<DISPPARAMS>::ReadBack(CWireReader& r, CMarshalContext& c, CallState&, DISPPARAMS* p)
{
    if (!p)
        return;
    for (UINT i = 0; i < p->cArgs; ++i) {
        if (p->rgvarg[i].vt & VT_BYREF)
            ReadReferencedValue(r, c, p->rgvarg[i]);
    }
}

}  // namespace wys::rpc
