// An apartment: the objects that live on one thread (a single-threaded
// apartment) or on the process's multithreaded apartment, the connections
// through which their calls arrive and leave, and the wait loop that
// dispatches them. Private to the runtime.
//
// Everything an apartment owns is touched only by its owner thread: the STA's
// thread, or for the MTA its dispatcher thread. Other threads reach it only
// by posting closures to its queue.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>

#include "platform/rpc/FunctionRef.h"
#include "platform/rpc/detail/Fd.h"
#include "platform/rpc/detail/MessageQueue.h"

namespace wys::rpc {

class CConnection;

// Something with a descriptor that the apartment's wait loop watches.
class CEventSource {
public:
    virtual ~CEventSource() = default;
    virtual int Fd() const = 0;
    // `events` are epoll event bits. Runs on the owner thread.
    virtual void OnEvents(std::uint32_t events) = 0;
};

class CApartment : public std::enable_shared_from_this<CApartment> {
public:
    enum class Kind { Single, Multi };
    enum class WaitResult { Done, TimedOut, FdReady };

    CApartment(Kind kind, std::shared_ptr<CMessageQueue> queue);
    ~CApartment();
    CApartment(const CApartment&) = delete;
    CApartment& operator=(const CApartment&) = delete;

    Kind GetKind() const { return m_kind; }
    std::uint64_t Id() const { return m_id; }
    // Called once by the thread that will run this apartment's loop.
    void BindOwnerThread();
    bool IsOwnerThread() const;
    bool IsClosed() const { return m_closed; }
    CMessageQueue& Queue() { return *m_queue; }
    // Readable whenever something waits to be dispatched (epoll descriptor).
    int WakeFd() const { return m_epoll.Get(); }

    // Any thread. False once the apartment is closed.
    bool PostTask(std::function<void()> task) { return m_queue->PostTask(std::move(task)); }
    // Runs `task` on the owner thread and waits for it; runs it at once when
    // called there. False when the apartment is closed.
    bool RunOnOwner(FunctionRef<void()> task);

    void Watch(const std::shared_ptr<CEventSource>& source);
    // Which readiness of the source to report: reading (with the peer's
    // hang-up) and writing. A hang-up or error is reported whatever is asked.
    void SetInterest(CEventSource* source, bool read, bool write);
    void Unwatch(CEventSource* source);

    // Dispatches incoming calls and posted closures until `done` holds, the
    // time runs out (timeoutMs < 0: never) or `extraFd` (>= 0) is readable.
    WaitResult Wait(FunctionRef<bool()> done, int timeoutMs = -1, int extraFd = -1);
    // Dispatches what is ready without blocking.
    void DispatchPending();

    // Connections by endpoint key ("apt:<id>" for links inside the process,
    // the socket path for local servers).
    std::shared_ptr<CConnection> FindConnection(const std::string& key) const;
    void AddConnection(const std::shared_ptr<CConnection>& connection);
    void RemoveConnection(CConnection* connection);
    // The connection between this apartment and `target` in this process
    // (whichever of the two made it), made on first use. Null when the
    // target is closed.
    std::shared_ptr<CConnection> LinkTo(const std::shared_ptr<CApartment>& target);

    // Closes every connection (peers see them drop), stops watching, drops
    // queued closures. Owner thread.
    void Close();

    static std::shared_ptr<CApartment> FindById(std::uint64_t id);

private:
    bool DispatchEvents(int timeoutMs);

    Kind m_kind;
    std::uint64_t m_id;
    std::shared_ptr<CMessageQueue> m_queue;
    CFd m_epoll;
    std::atomic<bool> m_closed{false};
    std::atomic<DWORD> m_ownerThread{0};
    std::uint64_t m_nextSourceId = 1;
    std::unordered_map<std::uint64_t, std::shared_ptr<CEventSource>> m_sources;
    std::unordered_map<CEventSource*, std::uint64_t> m_sourceIds;
    std::map<std::string, std::shared_ptr<CConnection>> m_connections;
};

}  // namespace wys::rpc
