#include "platform/rpc/detail/CConnection.h"

#include <sys/epoll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include "platform/com/ComError.h"
#include "platform/rpc/AgileObject.h"
#include "platform/rpc/CallPipeline.h"
#include "platform/rpc/detail/CProxyManager.h"
#include "platform/rpc/detail/ObjectTables.h"

namespace wys::rpc {

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;
// What a peer may leave waiting behind a running call: twice the ordered
// calls a connection of this runtime sends, four times their bytes (one
// request may reach the frame limit). A peer beyond is broken.
constexpr std::size_t kMaxPostponedCalls = 2 * CCallPipeline::kMaxConnectionCalls;
constexpr std::size_t kMaxPostponedBytes = 4 * CCallPipeline::kMaxConnectionBytes;

// Kinds of object reference on the wire.
enum class RefKind : std::uint8_t {
    Null = 0,
    SendersObject = 1,    // u64 object, IID; one reference for the receiver
    ReceiversObject = 2,  // u64 object, IID; the receiver's own export
    AgilePointer = 3,     // u64 pointer, IID; same process only, one reference
};

bool IsAgile(IUnknown* object)
{
    ComPtr<IUnknown> agile;
    return SUCCEEDED(object->QueryInterface(IAgileObject::Iid, agile.PutVoid()));
}

}  // namespace

CConnection::CConnection(std::shared_ptr<CApartment> apartment, CFd fd, Origin origin, Scope scope,
                         std::string key)
    : m_apartment(std::move(apartment)),
      m_fd(std::move(fd)),
      m_origin(origin),
      m_scope(scope),
      m_key(std::move(key)),
      m_readBuffer(kReadChunk)
{
}

CConnection::~CConnection() = default;

void CConnection::OnEvents(std::uint32_t events)
{
    auto self = shared_from_this();
    if (events & EPOLLOUT)
        Flush();
    if (m_closed)
        return;
    if (m_readingPaused) {
        // Nothing is read until the replies have gone; a peer that hangs up
        // meanwhile will never take them.
        if (events & (EPOLLHUP | EPOLLERR))
            Close();
        return;
    }
    if (events & (EPOLLIN | EPOLLHUP | EPOLLERR | EPOLLRDHUP))
        ReadAvailable();
}

bool CConnection::Throttled() const
{
    // Only a side that waits for no reply may stop reading: one that waits
    // must see its reply, or both sides could wait for each other.
    return m_pending.empty() && m_outgoing.size() - m_outgoingSent > CCallPipeline::kMaxUnsentReplyBytes;
}

void CConnection::PauseReading()
{
    if (m_readingPaused || m_closed)
        return;
    m_readingPaused = true;
    m_apartment->SetInterest(this, false, true);
}

void CConnection::ResumeReading()
{
    if (!m_readingPaused || m_closed)
        return;
    m_readingPaused = false;
    m_apartment->SetInterest(this, true, m_wantWrite);
    // Frames already read wait in the splitter, and no new bytes may come
    // to report them: take them from the apartment's loop.
    std::weak_ptr<CConnection> weak = weak_from_this();
    m_apartment->PostTask([weak] {
        if (auto connection = weak.lock();
            connection && !connection->m_closed && !connection->m_readingPaused)
            connection->ReadAvailable();
    });
}

void CConnection::ReadAvailable()
{
    bool lost = false;
    if (Throttled()) {
        PauseReading();
        return;
    }
    for (int round = 0; round < 4; ++round) {
        ssize_t n = ::recv(m_fd.Get(), m_readBuffer.data(), m_readBuffer.size(), MSG_DONTWAIT);
        if (n > 0) {
            m_splitter.Append(m_readBuffer.data(), static_cast<std::size_t>(n));
            if (static_cast<std::size_t>(n) < m_readBuffer.size())
                break;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        lost = true;  // end of stream or a socket error
        break;
    }
    while (!m_closed) {
        if (Throttled()) {
            PauseReading();
            break;
        }
        std::optional<CFrame> frame;
        try {
            frame = m_splitter.Next();
        } catch (const CWireError&) {
            Close();
            return;
        }
        if (!frame)
            break;
        HandleFrame(std::move(*frame));
    }
    if (lost)
        Close();
}

void CConnection::HandleFrame(CFrame&& frame)
{
    switch (frame.header.kind) {
        case FrameKind::Call:
            HandleCall(frame);
            return;
        case FrameKind::OrderedCall:
            if (m_callsRunning > 0 || !m_postponed.empty())
                Postpone(std::move(frame));
            else
                HandleCall(frame);
            return;
        case FrameKind::Reply: {
            auto it = m_pending.find(frame.header.callId);
            if (it == m_pending.end()) {
                Close();  // a reply nobody asked for: the peer is broken
                return;
            }
            PendingCall* pending = it->second;
            m_pending.erase(it);
            Answered(pending);
            // Read at once: frames after it (a release of something the reply
            // refers to) must not be handled before its references are taken.
            CWireReader reader(frame.payload.data(), frame.payload.size());
            try {
                pending->result = reader.I32();
                pending->reply(reader, *this, pending->result);
                reader.ExpectEnd();
            } catch (const CWireError&) {
                pending->lost = true;
                pending->done = true;
                Close();
                return;
            } catch (const ComError& e) {
                pending->result = e.Error();
            } catch (const std::bad_alloc&) {
                pending->result = E_OUTOFMEMORY;
            }
            pending->done = true;
            return;
        }
        case FrameKind::Release:
            if (!m_postponed.empty())
                Postpone(std::move(frame));
            else
                HandleRelease(frame);
            return;
    }
}

void CConnection::Answered(PendingCall* pending)
{
    if (pending->ordered) {
        --m_orderedInFlight;
        m_orderedBytes -= pending->bytes;
    }
}

void CConnection::Postpone(CFrame&& frame)
{
    const bool call = frame.header.kind == FrameKind::OrderedCall;
    const std::size_t bytes = kFrameHeaderSize + frame.payload.size();
    if ((call && m_postponedCalls + 1 > kMaxPostponedCalls) ||
        m_postponedBytes + bytes > kMaxPostponedBytes) {
        Close();  // more than any pipeline of this runtime leaves waiting
        return;
    }
    m_postponedCalls += call ? 1 : 0;
    m_postponedBytes += bytes;
    m_postponed.push_back(std::move(frame));
}

void CConnection::RunPostponed()
{
    // The outermost run takes them all: one started from inside a
    // postponed call's nested wait would run calls out of order.
    if (m_runningPostponed)
        return;
    auto self = shared_from_this();
    m_runningPostponed = true;
    while (!m_closed && m_callsRunning == 0 && !m_postponed.empty()) {
        CFrame frame = std::move(m_postponed.front());
        m_postponed.pop_front();
        m_postponedCalls -= frame.header.kind == FrameKind::OrderedCall ? 1 : 0;
        m_postponedBytes -= kFrameHeaderSize + frame.payload.size();
        if (frame.header.kind == FrameKind::Release)
            HandleRelease(frame);
        else
            HandleCall(frame);
    }
    m_runningPostponed = false;
}

void CConnection::HandleCall(const CFrame& frame)
{
    auto self = shared_from_this();
    // Counted from here to the reply: ordered calls that arrive meanwhile
    // wait, and calls this side makes meanwhile are nested in this one.
    struct Running {
        CConnection& connection;
        explicit Running(CConnection& c) : connection(c) { ++connection.m_callsRunning; }
        ~Running()
        {
            if (--connection.m_callsRunning == 0 && !connection.m_postponed.empty())
                connection.RunPostponed();
        }
    } running(*this);
    CWireWriter reply;
    BeginFrame(reply, FrameHeader{FrameKind::Reply, 0, frame.header.callId, 0, GUID_NULL});
    std::size_t mark = reply.Size();
    CWireReader request(frame.payload.data(), frame.payload.size());
    try {
        if (frame.header.objectId == 0)
            DispatchRoot(frame.header.method, request, reply);
        else
            DispatchObject(frame, request, reply);
    } catch (const CWireError&) {
        Close();
        return;
    } catch (const ComError& e) {
        reply.Buffer().resize(mark);
        reply.I32(e.Error());
    } catch (const std::bad_alloc&) {
        reply.Buffer().resize(mark);
        reply.I32(E_OUTOFMEMORY);
    }
    if (reply.Size() > 0)
        ReplyReady(reply);
}

void CConnection::ReplyReady(CWireWriter& reply)
{
    if (reply.Size() - 4 > kMaxFrameLength) {
        // Too large to carry: the caller gets the failure instead. Objects
        // it would have referred to keep the references counted for it
        // until the connection ends.
        reply.Buffer().resize(kFrameHeaderSize);
        reply.I32(RPC_E_INVALID_DATA);
    }
    if (!m_closed) {
        FinishFrame(reply);
        Send(reply);
    }
    reply.Buffer().clear();  // sent: the caller must not send it again
}

void CConnection::DispatchRoot(std::uint16_t method, CWireReader& request, CWireWriter& reply)
{
    ComPtr<IUnknown> object;
    IID iid;
    HRESULT hr = S_OK;
    switch (static_cast<RootMethod>(method)) {
        case RootMethod::GetClassObject: {
            CLSID clsid = request.Guid();
            iid = request.Guid();
            request.ExpectEnd();
            RegisteredClass entry;
            // Another process may reach only local-server registrations; another
            // apartment of this process also those for in-process use.
            constexpr DWORD kInprocServer = 0x1;
            constexpr DWORD kLocalServer = 0x4;
            DWORD contexts = m_scope == Scope::ThisProcess ? kInprocServer | kLocalServer : kLocalServer;
            if (!FindRegisteredClass(clsid, contexts, &entry))
                hr = CO_E_SERVER_EXEC_FAILURE;  // revoked while the peer was connecting
            else
                object = entry.object;
            break;
        }
        case RootMethod::TakeStreamObject: {
            if (m_scope != Scope::ThisProcess)
                throw CWireError("stream objects stay inside their process");
            std::uint64_t token = request.U64();
            iid = request.Guid();
            request.ExpectEnd();
            object = ::wys::rpc::TakeStreamObject(token, m_apartment->Id());
            if (!object)
                hr = CO_E_OBJNOTCONNECTED;
            break;
        }
        default:
            reply.I32(RPC_E_INVALIDMETHOD);
            return;
    }
    ComPtr<IUnknown> typed;
    if (SUCCEEDED(hr))
        hr = object->QueryInterface(iid, typed.PutVoid());
    reply.I32(hr);
    if (SUCCEEDED(hr))
        WriteInterface(reply, typed.Get(), iid);
    // Out before `object` goes: if it is a proxy of the peer's, its release
    // must follow the reply that refers to it.
    ReplyReady(reply);
}

void CConnection::DispatchObject(const CFrame& frame, CWireReader& request, CWireWriter& reply)
{
    REFIID iid = frame.header.iid;
    HRESULT hr = S_OK;
    if (iid == IID_IUnknown) {
        if (frame.header.method != kRemoteQueryInterface) {
            reply.I32(RPC_E_INVALIDMETHOD);
            return;
        }
        IID asked = request.Guid();
        request.ExpectEnd();
        if (asked == IID_IUnknown || FindRemoteInterface(asked))
            m_exports.Interface(frame.header.objectId, asked, &hr);
        else
            hr = E_NOINTERFACE;
        reply.I32(hr);
        return;
    }
    // The peer may call any interface the object answers, asked or not.
    ComPtr<IUnknown> pointer = m_exports.Interface(frame.header.objectId, iid, &hr);
    const RemoteInterface* remote = FindRemoteInterface(iid);
    if (!pointer || !remote) {
        reply.I32(pointer ? E_NOINTERFACE : hr);
        return;
    }
    if (frame.header.method >= remote->methodCount) {
        reply.I32(RPC_E_INVALIDMETHOD);
        return;
    }
    // `pointer` keeps the object alive should a nested release drop its entry.
    remote->stubs[frame.header.method](pointer.Get(), request, reply, *this);
}

void CConnection::HandleRelease(const CFrame& frame)
{
    CWireReader reader(frame.payload.data(), frame.payload.size());
    std::uint32_t count;
    try {
        count = reader.U32();
        reader.ExpectEnd();
    } catch (const CWireError&) {
        Close();
        return;
    }
    if (!m_exports.Release(frame.header.objectId, count)) {
        Close();  // giving back what it does not hold: the peer is broken
        return;
    }
    if (m_exports.Empty()) {
        // The peer let go of every object of ours without unadvising: its
        // sinks stay with their connection points, whose objects may now
        // end; holding them for an undo would keep those objects alive.
        auto sinks = std::move(m_peerSinks);
        sinks.clear();
    }
    CloseIfIdle();
}

HRESULT CConnection::Call(std::uint64_t objectId, REFIID iid, std::uint16_t method, RequestWriter request,
                          ReplyReader reply)
{
    auto self = shared_from_this();
    PendingCall pending{reply};
    HRESULT hr = SendCall(objectId, iid, method, request, &pending, false);
    if (FAILED(hr))
        return hr;
    m_apartment->Wait([&] { return pending.done; });
    return pending.lost ? RPC_E_DISCONNECTED : pending.result;
}

HRESULT CConnection::CallPipelined(std::uint64_t objectId, REFIID iid, std::uint16_t method,
                                   RequestWriter request, PendingCall* pending)
{
    auto self = shared_from_this();
    return SendCall(objectId, iid, method, request, pending, true);
}

HRESULT CConnection::SendCall(std::uint64_t objectId, REFIID iid, std::uint16_t method, RequestWriter request,
                              PendingCall* pending, bool pipelined)
{
    if (m_closed)
        return RPC_E_DISCONNECTED;
    // Inside a call of the peer's, a call is nested in it: the peer waits
    // for this side, so it must be served at once, pipelined or not.
    const bool ordered = m_callsRunning == 0 && (pipelined || m_orderedInFlight > 0);
    std::uint32_t callId = m_nextCallId++;
    if (m_nextCallId == 0)
        m_nextCallId = 1;
    CWireWriter frame;
    BeginFrame(frame, FrameHeader{ordered ? FrameKind::OrderedCall : FrameKind::Call, method, callId,
                                  objectId, iid});
    HRESULT hr = ComBoundary([&] {
        request(frame, *this);
        return S_OK;
    });
    if (FAILED(hr))
        return hr;
    if (frame.Size() - 4 > kMaxFrameLength)
        return RPC_E_INVALID_DATA;  // the peer would take it for garbage
    FinishFrame(frame);
    if (ordered) {
        const std::size_t bytes = frame.Size();
        m_apartment->Wait([&] {
            return m_closed || m_orderedInFlight == 0 ||
                   (m_orderedInFlight < CCallPipeline::kMaxConnectionCalls &&
                    m_orderedBytes + bytes <= CCallPipeline::kMaxConnectionBytes);
        });
        if (m_closed)
            return RPC_E_DISCONNECTED;
        pending->ordered = true;
        pending->bytes = bytes;
        ++m_orderedInFlight;
        m_orderedBytes += bytes;
    }
    m_pending[callId] = pending;
    Send(frame);
    return S_OK;
}

HRESULT CConnection::CallRoot(RootMethod method, const GUID& first, std::uint64_t token, REFIID iid,
                              void** object)
{
    *object = nullptr;
    return Call(
        0, GUID_NULL, static_cast<std::uint16_t>(method),
        [&](CWireWriter& w, CMarshalContext&) {
            if (method == RootMethod::GetClassObject)
                w.Guid(first);
            else
                w.U64(token);
            w.Guid(iid);
        },
        [&](CWireReader& r, CMarshalContext& c, HRESULT hr) {
            if (SUCCEEDED(hr))
                *object = c.ReadInterface(r, iid);
        });
}

void CConnection::Send(CWireWriter& frame)
{
    if (m_closed)
        return;
    bool idle = m_outgoingSent == m_outgoing.size();
    if (idle) {
        m_outgoing.clear();
        m_outgoingSent = 0;
        m_outgoing.swap(frame.Buffer());
    } else {
        m_outgoing.insert(m_outgoing.end(), frame.Data(), frame.Data() + frame.Size());
    }
    if (idle)
        Flush();
}

void CConnection::Flush()
{
    while (!m_closed && m_outgoingSent < m_outgoing.size()) {
        ssize_t n = ::send(m_fd.Get(), m_outgoing.data() + m_outgoingSent, m_outgoing.size() - m_outgoingSent,
                           MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            m_outgoingSent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!m_wantWrite)
                m_apartment->SetInterest(this, !m_readingPaused, m_wantWrite = true);
            if (m_readingPaused && !Throttled())
                ResumeReading();
            return;
        }
        Close();
        return;
    }
    if (!m_closed) {
        m_outgoing.clear();
        m_outgoingSent = 0;
        if (m_wantWrite)
            m_apartment->SetInterest(this, !m_readingPaused, m_wantWrite = false);
        ResumeReading();
    }
}

void CConnection::ForgetImport(std::uint64_t objectId, CProxyManager* manager, std::uint32_t references)
{
    auto it = m_imports.find(objectId);
    if (it != m_imports.end() && it->second == manager)
        m_imports.erase(it);
    if (!m_closed && references > 0) {
        CWireWriter frame;
        BeginFrame(frame, FrameHeader{FrameKind::Release, 0, 0, objectId, GUID_NULL});
        frame.U32(references);
        FinishFrame(frame);
        Send(frame);
    }
    CloseIfIdle();
}

void CConnection::CloseIfIdle()
{
    if (m_origin == Origin::Dialed && !m_closed && m_imports.empty() && m_exports.Empty() &&
        m_pending.empty() && m_postponed.empty() && m_peerSinks.empty() && m_peerLocks.empty())
        Close();
}

void CConnection::Close()
{
    if (m_closed)
        return;
    auto self = shared_from_this();
    m_closed = true;
    m_apartment->RemoveConnection(this);
    m_fd.Close();
    for (auto& [id, pending] : m_pending) {
        pending->lost = true;
        pending->done = true;
    }
    m_pending.clear();
    m_orderedInFlight = 0;
    m_orderedBytes = 0;
    m_postponed.clear();
    m_postponedCalls = 0;
    m_postponedBytes = 0;
    // Undo what the lost peer set up, then let go of what it held.
    auto sinks = std::move(m_peerSinks);
    for (auto& [point, cookie] : sinks)
        point->Unadvise(cookie);  // a failure means the sink is gone already
    sinks.clear();
    auto locks = std::move(m_peerLocks);
    for (auto& factory : locks)
        factory->LockServer(FALSE);
    locks.clear();
    m_exports.Clear();
    m_imports.clear();  // their managers stay and fail their calls
}

void CConnection::WriteInterface(CWireWriter& writer, IUnknown* object, REFIID iid)
{
    if (!object) {
        writer.U8(static_cast<std::uint8_t>(RefKind::Null));
        return;
    }
    ComPtr<IUnknown> identity;
    if (FAILED(object->QueryInterface(IID_IUnknown, identity.PutVoid())) || !identity)
        throw ComError(E_NOINTERFACE);
    if (CProxyManager* manager = CProxyManager::FromIdentity(identity.Get());
        manager && &manager->Connection() == this) {
        writer.U8(static_cast<std::uint8_t>(RefKind::ReceiversObject));
        writer.U64(manager->ObjectId());
        writer.Guid(iid);
        return;
    }
    ComPtr<IUnknown> typed;
    if (FAILED(object->QueryInterface(iid, typed.PutVoid())) || !typed)
        throw ComError(E_NOINTERFACE);
    if (m_scope == Scope::ThisProcess && IsAgile(object)) {
        writer.U8(static_cast<std::uint8_t>(RefKind::AgilePointer));
        writer.U64(reinterpret_cast<std::uintptr_t>(typed.Detach()));
        writer.Guid(iid);
        return;
    }
    if (iid != IID_IUnknown && !FindRemoteInterface(iid))
        throw ComError(E_NOINTERFACE);
    std::uint64_t id = m_exports.Add(identity, iid, typed);
    writer.U8(static_cast<std::uint8_t>(RefKind::SendersObject));
    writer.U64(id);
    writer.Guid(iid);
}

void* CConnection::ReadInterface(CWireReader& reader, REFIID iid)
{
    auto kind = static_cast<RefKind>(reader.U8());
    if (kind == RefKind::Null)
        return nullptr;
    std::uint64_t id = reader.U64();
    if (reader.Guid() != iid)
        throw CWireError("reference to another interface than declared");
    switch (kind) {
        case RefKind::SendersObject: {
            if (id == 0)
                throw CWireError("object 0 is the root");
            CProxyManager* manager;
            auto it = m_imports.find(id);
            if (it != m_imports.end()) {
                manager = it->second;
                manager->AddRemoteReference();
            } else {
                manager = new CProxyManager(shared_from_this(), id);
                m_imports[id] = manager;
            }
            void* object = nullptr;
            manager->AddRef();
            HRESULT hr = manager->GetInterface(iid, &object);
            manager->Release();  // gives the reference back at once when unusable
            if (FAILED(hr))
                throw ComError(hr);
            return object;
        }
        case RefKind::ReceiversObject: {
            HRESULT hr;
            ComPtr<IUnknown> object = m_exports.Interface(id, iid, &hr);
            if (hr == CO_E_OBJNOTCONNECTED)
                throw CWireError("reference to an object never exported");
            if (FAILED(hr))
                throw ComError(hr);
            return object.Detach();
        }
        case RefKind::AgilePointer:
            if (m_scope != Scope::ThisProcess)
                throw CWireError("raw pointer from another process");
            return reinterpret_cast<void*>(static_cast<std::uintptr_t>(id));
        default:
            throw CWireError("unknown reference kind");
    }
}

void CConnection::PeerAdvised(IConnectionPoint* point, DWORD cookie)
{
    m_peerSinks.emplace_back(point, cookie);
}

void CConnection::PeerUnadvised(IConnectionPoint* point, DWORD cookie)
{
    auto it = std::find_if(m_peerSinks.begin(), m_peerSinks.end(), [&](const auto& entry) {
        return entry.first.Get() == point && entry.second == cookie;
    });
    if (it != m_peerSinks.end())
        m_peerSinks.erase(it);
    CloseIfIdle();
}

void CConnection::PeerLockedServer(IClassFactory* factory, BOOL lock)
{
    if (lock) {
        m_peerLocks.emplace_back(factory);
        return;
    }
    auto it = std::find_if(m_peerLocks.begin(), m_peerLocks.end(),
                           [&](const auto& entry) { return entry.Get() == factory; });
    if (it != m_peerLocks.end())
        m_peerLocks.erase(it);
}

}  // namespace wys::rpc
