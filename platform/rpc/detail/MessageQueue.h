// The queue of one thread: messages for GetMessage and closures posted to
// the thread's apartment, with an eventfd that becomes readable when
// something is posted. Private to the runtime.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/rpc/MessageLoop.h"
#include "platform/rpc/detail/Fd.h"

namespace wys::rpc {

class CMessageQueue {
public:
    CMessageQueue();
    CMessageQueue(const CMessageQueue&) = delete;
    CMessageQueue& operator=(const CMessageQueue&) = delete;

    int WakeFd() const { return m_event.Get(); }

    // Both return false once the queue is closed. Any thread.
    bool PostMessage(const MSG& message);
    bool PostTask(std::function<void()> task);

    // The first message numbered in [first, last] (0, 0: any).
    bool TakeMessage(MSG* message, UINT first, UINT last, bool remove);
    // Runs the posted closures in order, including those posted meanwhile.
    // Returns whether any ran. Owner thread only.
    bool RunTasks();
    // Resets the eventfd after a wake-up; what is queued stays queued.
    void ClearWake();
    // Drops what is queued (closures are destroyed on the calling thread)
    // and refuses what is posted later.
    void Close();

    // The queue of a thread, by its identifier; registered by the thread.
    static void Register(DWORD threadId, const std::shared_ptr<CMessageQueue>& queue);
    static void Unregister(DWORD threadId);
    static std::shared_ptr<CMessageQueue> Find(DWORD threadId);

private:
    void Wake();

    CFd m_event;
    std::mutex m_mutex;
    std::deque<MSG> m_messages;
    std::deque<std::function<void()>> m_tasks;
    bool m_closed = false;
};

}  // namespace wys::rpc
