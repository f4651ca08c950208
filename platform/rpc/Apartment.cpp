#include "platform/rpc/Apartment.h"

#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "platform/rpc/detail/ThreadState.h"

namespace wys::rpc {

namespace {

struct ThreadState {
    int initCount = 0;
    CApartment::Kind kind = CApartment::Kind::Single;
    std::shared_ptr<CApartment> apartment;
    std::shared_ptr<CMessageQueue> queue;
    ~ThreadState();
};

thread_local ThreadState t_state;

// The process's multithreaded apartment and the thread that runs its calls.
struct Mta {
    std::mutex mutex;
    int users = 0;
    std::shared_ptr<CApartment> apartment;
    std::thread dispatcher;
    std::atomic<bool> stop{false};
};

Mta& TheMta()
{
    static auto* mta = new Mta;  // outlives every thread that may use it
    return *mta;
}

std::shared_ptr<CApartment> JoinMta()
{
    Mta& mta = TheMta();
    std::lock_guard lock(mta.mutex);
    if (mta.users++ == 0) {
        auto apartment =
            std::make_shared<CApartment>(CApartment::Kind::Multi, std::make_shared<CMessageQueue>());
        mta.apartment = apartment;
        mta.stop = false;
        std::promise<void> bound;
        std::future<void> ready = bound.get_future();
        mta.dispatcher = std::thread([apartment, &mta, &bound] {
            apartment->BindOwnerThread();
            bound.set_value();
            apartment->Wait([&] { return mta.stop.load(); });
            apartment->Close();
            apartment->Queue().Close();
        });
        ready.wait();
    }
    return mta.apartment;
}

void LeaveMta()
{
    Mta& mta = TheMta();
    std::thread dispatcher;
    {
        std::lock_guard lock(mta.mutex);
        if (--mta.users > 0)
            return;
        mta.stop = true;
        mta.apartment->PostTask([] {});  // wakes the dispatcher to see the flag
        dispatcher = std::move(mta.dispatcher);
        mta.apartment.reset();
    }
    dispatcher.join();
}

void LeaveApartment(ThreadState& state)
{
    if (state.kind == CApartment::Kind::Single) {
        state.apartment->Close();
    } else {
        LeaveMta();
    }
    state.apartment.reset();
}

ThreadState::~ThreadState()
{
    if (initCount > 0) {
        initCount = 0;
        LeaveApartment(*this);
    }
    if (queue) {
        CMessageQueue::Unregister(GetCurrentThreadId());
        queue->Close();
    }
}

}  // namespace

std::shared_ptr<CApartment> CurrentApartment()
{
    return t_state.apartment;
}

std::shared_ptr<CMessageQueue> CurrentQueue(bool create)
{
    if (!t_state.queue && create) {
        t_state.queue = std::make_shared<CMessageQueue>();
        CMessageQueue::Register(GetCurrentThreadId(), t_state.queue);
    }
    return t_state.queue;
}

}  // namespace wys::rpc

using namespace wys::rpc;

HRESULT CoInitializeEx(void*, DWORD coinit)
{
    auto kind = (coinit & COINIT_APARTMENTTHREADED) ? CApartment::Kind::Single : CApartment::Kind::Multi;
    if (t_state.initCount > 0) {
        if (t_state.kind != kind)
            return RPC_E_CHANGED_MODE;
        ++t_state.initCount;
        return S_FALSE;
    }
    try {
        if (kind == CApartment::Kind::Single) {
            auto apartment = std::make_shared<CApartment>(kind, CurrentQueue(true));
            apartment->BindOwnerThread();
            t_state.apartment = apartment;
        } else {
            t_state.apartment = JoinMta();
        }
    } catch (const std::exception&) {
        return E_OUTOFMEMORY;  // no descriptors left for the queue or the poller
    }
    t_state.kind = kind;
    t_state.initCount = 1;
    return S_OK;
}

HRESULT CoInitialize(void* reserved)
{
    return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

void CoUninitialize()
{
    if (t_state.initCount == 0)
        return;
    if (--t_state.initCount == 0)
        LeaveApartment(t_state);
}

namespace {

// Asked on every call, so kept per thread; a forked child's thread has a new
// identifier and asks again.
thread_local DWORD t_threadId = 0;
const bool g_forgetThreadIdInChild = [] {
    ::pthread_atfork(nullptr, nullptr, [] { t_threadId = 0; });
    return true;
}();

}  // namespace

DWORD GetCurrentThreadId()
{
    if (t_threadId == 0)
        t_threadId = static_cast<DWORD>(::gettid());
    return t_threadId;
}

BOOL PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto queue = CMessageQueue::Find(threadId);
    return queue && queue->PostMessage(MSG{nullptr, message, wParam, lParam}) ? TRUE : FALSE;
}

void PostQuitMessage(int exitCode)
{
    CurrentQueue(true)->PostMessage(MSG{nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0});
}

namespace {

// The calling thread's STA, when it is in one.
std::shared_ptr<CApartment> CurrentSta()
{
    auto apartment = CurrentApartment();
    return apartment && apartment->GetKind() == CApartment::Kind::Single ? apartment : nullptr;
}

}  // namespace

BOOL GetMessage(MSG* message, HWND, UINT first, UINT last)
{
    auto queue = CurrentQueue(true);
    auto apartment = CurrentSta();
    for (;;) {
        if (queue->TakeMessage(message, first, last, true))
            return message->message == WM_QUIT ? FALSE : TRUE;
        if (apartment) {
            apartment->Wait([&] {
                MSG peek;
                return queue->TakeMessage(&peek, first, last, false);
            });
            continue;
        }
        queue->RunTasks();
        MSG peek;
        if (queue->TakeMessage(&peek, first, last, false))
            continue;
        pollfd fd{queue->WakeFd(), POLLIN, 0};
        ::poll(&fd, 1, -1);
        queue->ClearWake();
    }
}

BOOL PeekMessage(MSG* message, HWND, UINT first, UINT last, UINT remove)
{
    auto queue = CurrentQueue(true);
    if (auto apartment = CurrentSta())
        apartment->DispatchPending();
    else
        queue->RunTasks();
    return queue->TakeMessage(message, first, last, (remove & PM_REMOVE) != 0) ? TRUE : FALSE;
}

LRESULT DispatchMessage(const MSG*)
{
    return 0;
}

int RunMessageLoop()
{
    MSG message{};
    while (GetMessage(&message, nullptr, 0, 0) > 0)
        DispatchMessage(&message);
    return static_cast<int>(message.wParam);
}

bool PostToApartment(DWORD threadId, std::function<void()> task)
{
    auto queue = CMessageQueue::Find(threadId);
    return queue && queue->PostTask(std::move(task));
}

int ApartmentWakeFd()
{
    auto apartment = CurrentSta();
    return apartment ? apartment->WakeFd() : -1;
}

HRESULT DispatchApartmentMessages()
{
    auto apartment = CurrentApartment();
    if (!apartment)
        return CO_E_NOTINITIALIZED;
    if (apartment->IsOwnerThread())
        apartment->DispatchPending();
    return S_OK;
}

HRESULT CoWaitForMultipleHandles(DWORD, DWORD timeoutMs, ULONG count, const int* fds, DWORD* index)
{
    if (!index || (count > 0 && !fds))
        return E_INVALIDARG;
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs == INFINITE ? 0 : timeoutMs);
    auto apartment = CurrentSta();
    std::vector<pollfd> polled;
    if (apartment)
        polled.push_back({apartment->WakeFd(), POLLIN, 0});
    std::size_t first = polled.size();
    for (ULONG i = 0; i < count; ++i)
        polled.push_back({fds[i], POLLIN, 0});
    for (;;) {
        if (apartment)
            apartment->DispatchPending();
        int wait = -1;
        if (timeoutMs != INFINITE) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            wait = left > 0 ? static_cast<int>(left) : 0;
        }
        for (auto& p : polled)
            p.revents = 0;
        int n = ::poll(polled.data(), polled.size(), wait);
        for (std::size_t i = first; n > 0 && i < polled.size(); ++i) {
            if (polled[i].revents) {
                *index = static_cast<DWORD>(i - first);
                return S_OK;
            }
        }
        if (n == 0 && timeoutMs != INFINITE && Clock::now() >= deadline)
            return RPC_S_CALLPENDING;
    }
}
