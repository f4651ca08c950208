#include "platform/rpc/detail/MessageQueue.h"

#include <sys/eventfd.h>

#include <cstdint>
#include <map>
#include <system_error>

namespace wys::rpc {

namespace {

std::mutex g_registryMutex;
std::map<DWORD, std::weak_ptr<CMessageQueue>>& Registry()
{
    static auto* registry = new std::map<DWORD, std::weak_ptr<CMessageQueue>>;
    return *registry;
}

bool InRange(UINT message, UINT first, UINT last)
{
    return (first == 0 && last == 0) || (message >= first && message <= last);
}

}  // namespace

CMessageQueue::CMessageQueue() : m_event(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (!m_event.IsValid())
        throw std::system_error(errno, std::generic_category(), "eventfd");
}

void CMessageQueue::Wake()
{
    std::uint64_t one = 1;
    // A full counter (never in practice) still leaves the fd readable.
    [[maybe_unused]] ssize_t n = ::write(m_event.Get(), &one, sizeof one);
}

bool CMessageQueue::PostMessage(const MSG& message)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_closed)
            return false;
        m_messages.push_back(message);
    }
    Wake();
    return true;
}

bool CMessageQueue::PostTask(std::function<void()> task)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_closed)
            return false;
        m_tasks.push_back(std::move(task));
    }
    Wake();
    return true;
}

bool CMessageQueue::TakeMessage(MSG* message, UINT first, UINT last, bool remove)
{
    std::lock_guard lock(m_mutex);
    for (auto it = m_messages.begin(); it != m_messages.end(); ++it) {
        if (InRange(it->message, first, last) || it->message == WM_QUIT) {
            *message = *it;
            if (remove)
                m_messages.erase(it);
            return true;
        }
    }
    return false;
}

bool CMessageQueue::RunTasks()
{
    bool ran = false;
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard lock(m_mutex);
            if (m_tasks.empty())
                return ran;
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        task();
        ran = true;
    }
}

void CMessageQueue::ClearWake()
{
    std::uint64_t count;
    [[maybe_unused]] ssize_t n = ::read(m_event.Get(), &count, sizeof count);  // EAGAIN: already clear
}

void CMessageQueue::Close()
{
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        dropped.swap(m_tasks);
        m_messages.clear();
    }
}

void CMessageQueue::Register(DWORD threadId, const std::shared_ptr<CMessageQueue>& queue)
{
    std::lock_guard lock(g_registryMutex);
    Registry()[threadId] = queue;
}

void CMessageQueue::Unregister(DWORD threadId)
{
    std::lock_guard lock(g_registryMutex);
    Registry().erase(threadId);
}

std::shared_ptr<CMessageQueue> CMessageQueue::Find(DWORD threadId)
{
    std::lock_guard lock(g_registryMutex);
    auto it = Registry().find(threadId);
    return it == Registry().end() ? nullptr : it->second.lock();
}

}  // namespace wys::rpc
