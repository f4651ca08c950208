#include "platform/rpc/detail/CApartment.h"

#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <system_error>
#include <vector>

#include "platform/rpc/detail/CConnection.h"
#include "platform/rpc/detail/LocalServer.h"
#include "platform/rpc/detail/ObjectTables.h"

namespace wys::rpc {

namespace {

constexpr std::uint64_t kQueueSource = 0;

std::mutex g_apartmentsMutex;
std::unordered_map<std::uint64_t, std::weak_ptr<CApartment>>& Apartments()
{
    static auto* apartments = new std::unordered_map<std::uint64_t, std::weak_ptr<CApartment>>;
    return *apartments;
}
std::atomic<std::uint64_t> g_nextApartmentId{1};

}  // namespace

CApartment::CApartment(Kind kind, std::shared_ptr<CMessageQueue> queue)
    : m_kind(kind),
      m_id(g_nextApartmentId++),
      m_queue(std::move(queue)),
      m_epoll(::epoll_create1(EPOLL_CLOEXEC))
{
    if (!m_epoll.IsValid())
        throw std::system_error(errno, std::generic_category(), "epoll_create1");
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = kQueueSource;
    if (::epoll_ctl(m_epoll.Get(), EPOLL_CTL_ADD, m_queue->WakeFd(), &event) != 0)
        throw std::system_error(errno, std::generic_category(), "epoll_ctl");
}

CApartment::~CApartment()
{
    std::lock_guard lock(g_apartmentsMutex);
    Apartments().erase(m_id);
}

void CApartment::BindOwnerThread()
{
    m_ownerThread = GetCurrentThreadId();
    std::lock_guard lock(g_apartmentsMutex);
    Apartments()[m_id] = weak_from_this();
}

bool CApartment::IsOwnerThread() const
{
    return m_ownerThread == GetCurrentThreadId();
}

std::shared_ptr<CApartment> CApartment::FindById(std::uint64_t id)
{
    std::lock_guard lock(g_apartmentsMutex);
    auto it = Apartments().find(id);
    return it == Apartments().end() ? nullptr : it->second.lock();
}

bool CApartment::RunOnOwner(FunctionRef<void()> task)
{
    if (IsOwnerThread()) {
        task();
        return true;
    }
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool posted = PostTask([&] {
        task();
        std::lock_guard lock(mutex);
        done = true;
        finished.notify_one();
    });
    if (!posted)
        return false;
    std::unique_lock lock(mutex);
    finished.wait(lock, [&] { return done; });
    return true;
}

void CApartment::Watch(const std::shared_ptr<CEventSource>& source)
{
    std::uint64_t id = m_nextSourceId++;
    epoll_event event{};
    event.events = EPOLLIN | EPOLLRDHUP;
    event.data.u64 = id;
    if (::epoll_ctl(m_epoll.Get(), EPOLL_CTL_ADD, source->Fd(), &event) != 0)
        throw std::system_error(errno, std::generic_category(), "epoll_ctl");
    m_sources[id] = source;
    m_sourceIds[source.get()] = id;
}

void CApartment::SetInterest(CEventSource* source, bool read, bool write)
{
    auto it = m_sourceIds.find(source);
    if (it == m_sourceIds.end())
        return;
    epoll_event event{};
    event.events = (read ? EPOLLIN | EPOLLRDHUP : 0u) | (write ? EPOLLOUT : 0u);
    event.data.u64 = it->second;
    // The descriptor is registered; a failure would mean it was closed under us.
    ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_MOD, source->Fd(), &event);
}

void CApartment::Unwatch(CEventSource* source)
{
    auto it = m_sourceIds.find(source);
    if (it == m_sourceIds.end())
        return;
    ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_DEL, source->Fd(), nullptr);  // gone anyway when its fd closes
    std::uint64_t id = it->second;
    m_sourceIds.erase(it);
    // The source may be the caller: let it live until the caller is done.
    std::shared_ptr<CEventSource> keep = std::move(m_sources[id]);
    m_sources.erase(id);
    PostTask([keep] {});
}

bool CApartment::DispatchEvents(int timeoutMs)
{
    epoll_event events[32];
    int n = ::epoll_wait(m_epoll.Get(), events, 32, timeoutMs);
    if (n <= 0)
        return false;
    for (int i = 0; i < n; ++i) {
        std::uint64_t id = events[i].data.u64;
        if (id == kQueueSource) {
            m_queue->ClearWake();
            continue;
        }
        auto it = m_sources.find(id);
        if (it == m_sources.end())
            continue;  // unwatched by an earlier event of this round
        std::shared_ptr<CEventSource> source = it->second;
        source->OnEvents(events[i].events);
    }
    return true;
}

CApartment::WaitResult CApartment::Wait(FunctionRef<bool()> done, int timeoutMs, int extraFd)
{
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        if (done())
            return WaitResult::Done;
        m_queue->RunTasks();
        if (done())
            return WaitResult::Done;
        int remaining = -1;
        if (timeoutMs >= 0) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                return WaitResult::TimedOut;
            remaining = static_cast<int>(left);
        }
        if (extraFd < 0) {
            DispatchEvents(remaining);
            continue;
        }
        // The extra descriptor is polled beside the apartment rather than
        // added to it, so that a nested wait never sees an outer wait's fd.
        pollfd fds[2] = {{m_epoll.Get(), POLLIN, 0}, {extraFd, POLLIN, 0}};
        int n = ::poll(fds, 2, remaining);
        if (n > 0 && (fds[0].revents & POLLIN))
            DispatchEvents(0);
        if (n > 0 && fds[1].revents)
            return WaitResult::FdReady;
    }
}

void CApartment::DispatchPending()
{
    do {
        m_queue->RunTasks();
    } while (DispatchEvents(0));
    m_queue->RunTasks();
}

std::shared_ptr<CConnection> CApartment::FindConnection(const std::string& key) const
{
    auto it = m_connections.find(key);
    return it == m_connections.end() ? nullptr : it->second;
}

void CApartment::AddConnection(const std::shared_ptr<CConnection>& connection)
{
    m_connections[connection->Key()] = connection;
    Watch(connection);
}

void CApartment::RemoveConnection(CConnection* connection)
{
    auto it = m_connections.find(connection->Key());
    if (it != m_connections.end() && it->second.get() == connection) {
        std::shared_ptr<CConnection> keep = std::move(it->second);
        m_connections.erase(it);
        Unwatch(connection);
    }
}

void CApartment::Close()
{
    if (m_closed.exchange(true))
        return;
    for (RegisteredClass& entry : RemoveRegisteredClassesOf(this)) {
        if (entry.listener)
            entry.listener->Stop();
    }
    while (!m_connections.empty()) {
        std::shared_ptr<CConnection> connection = m_connections.begin()->second;
        connection->Close();
        m_connections.erase(connection->Key());
    }
    for (auto& [id, source] : std::unordered_map(m_sources))
        Unwatch(source.get());
    m_queue->RunTasks();
    {
        std::lock_guard lock(g_apartmentsMutex);
        Apartments().erase(m_id);
    }
}

}  // namespace wys::rpc

namespace wys::rpc {

std::shared_ptr<CConnection> CApartment::LinkTo(const std::shared_ptr<CApartment>& target)
{
    std::string key = "apt:" + std::to_string(target->Id());
    if (auto existing = FindConnection(key))
        return existing;
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair) != 0)
        return nullptr;
    CFd mine(pair[0]);
    // Owned by the closure, so that a target that never runs it closes it.
    auto theirs = std::make_shared<CFd>(pair[1]);
    // Both ends are known by the other end's apartment, so that the target
    // uses this same link to reach back: objects going either way then keep
    // their identity (a proxy returns as the object it stands for).
    std::string theirKey = "apt:" + std::to_string(m_id);
    bool posted = target->PostTask([target, theirs, theirKey] {
        if (target->IsClosed())
            return;
        target->AddConnection(std::make_shared<CConnection>(target, std::move(*theirs),
                                                            CConnection::Origin::Accepted,
                                                            CConnection::Scope::ThisProcess, theirKey));
    });
    if (!posted)
        return nullptr;
    auto connection =
        std::make_shared<CConnection>(shared_from_this(), std::move(mine), CConnection::Origin::Dialed,
                                      CConnection::Scope::ThisProcess, key);
    AddConnection(connection);
    return connection;
}

}  // namespace wys::rpc
