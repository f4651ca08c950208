// Thread message queues: each thread that runs a single-threaded apartment
// (or calls GetMessage or PeekMessage) has one. Messages posted to it wait
// until the thread takes them; while it waits, the thread's apartment keeps
// dispatching incoming calls and posted closures (Apartment.h).
#pragma once

#include <cstdint>

#include "platform/base/WinError.h"

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_USER = 0x0400;
inline constexpr UINT WM_APP = 0x8000;

inline constexpr UINT PM_NOREMOVE = 0x0000;
inline constexpr UINT PM_REMOVE = 0x0001;

// The kernel's identifier of the calling thread.
DWORD GetCurrentThreadId();

// Appends a message to the queue of thread `threadId`. FALSE when that
// thread has no message queue. Any thread may call it.
BOOL PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
// Posts WM_QUIT with the exit code to the calling thread's queue.
void PostQuitMessage(int exitCode);

// Waits for the next message whose number lies in [first, last] (0, 0: any)
// and removes it. Returns FALSE for WM_QUIT, TRUE for any other message.
// Incoming calls and posted closures run while it waits. Window handles are
// not used: every message here is a thread message, and hwnd is ignored.
BOOL GetMessage(MSG* message, HWND hwnd, UINT first, UINT last);
// Like GetMessage without waiting: FALSE when no such message is queued.
// Runs pending incoming calls and closures first.
BOOL PeekMessage(MSG* message, HWND hwnd, UINT first, UINT last, UINT remove);
// Thread messages have no window procedure: nothing runs. Returns 0.
LRESULT DispatchMessage(const MSG* message);

// Runs the calling thread's message loop until WM_QUIT and returns the quit
// message's exit code. Every incoming call of the thread's apartment is
// dispatched from inside this loop.
int RunMessageLoop();
