// Apartments: which thread runs an object's calls.
//
// A thread that enters a single-threaded apartment (STA) gets a message
// queue; the objects it creates are called only on it. Calls from other
// apartments and processes wait in its queue and run whenever the thread
// waits: in GetMessage / RunMessageLoop, inside DispatchApartmentMessages,
// and while one of its own outgoing calls waits for its reply, so calls nest
// in both directions. Threads in the multithreaded apartment (MTA) share one
// apartment whose incoming calls run on a dispatcher thread of the runtime.
#pragma once

#include <functional>

#include "platform/base/WinError.h"
#include "platform/rpc/MessageLoop.h"

inline constexpr DWORD COINIT_MULTITHREADED = 0x0;
inline constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
inline constexpr DWORD COINIT_DISABLE_OLE1DDE = 0x4;

// Enters an apartment on the calling thread. S_OK the first time, S_FALSE
// when the thread is already in an apartment of that kind (each success
// needs its CoUninitialize), RPC_E_CHANGED_MODE when it is in the other kind.
HRESULT CoInitializeEx(void* reserved, DWORD coinit);
HRESULT CoInitialize(void* reserved);
// Undoes one successful CoInitializeEx. The last one leaves the apartment:
// its connections close (peers' proxies fail with RPC_E_DISCONNECTED, objects
// they held are released), its class objects are revoked, queued closures
// are dropped.
void CoUninitialize();

// Runs `task` on the apartment of thread `threadId` (an STA thread or a
// thread that has a message queue), in order with other posted closures and
// incoming calls. False when that thread has no queue. Any thread may post.
bool PostToApartment(DWORD threadId, std::function<void()> task);

// For an event loop that drives the calling thread's STA (a QSocketNotifier
// on this descriptor, for reading): a descriptor that is readable whenever
// calls, replies or closures wait. -1 when the thread is not in an STA.
int ApartmentWakeFd();
// Dispatches what waits, without blocking. Thread messages stay queued for
// PeekMessage. CO_E_NOTINITIALIZED when the thread is not in an apartment.
HRESULT DispatchApartmentMessages();

// Waits until one of `fds` is readable or `timeoutMs` passes (INFINITE:
// never), dispatching incoming calls and closures meanwhile. *index is the
// first readable descriptor's position. RPC_S_CALLPENDING on time-out.
inline constexpr DWORD INFINITE = 0xFFFFFFFFu;
HRESULT CoWaitForMultipleHandles(DWORD flags, DWORD timeoutMs, ULONG count, const int* fds, DWORD* index);
