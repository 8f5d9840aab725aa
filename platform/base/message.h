#pragma once
// The message-queue core: window handles owned by a thread, posted messages from any thread,
// and the get/peek/dispatch loop of the owning thread. It knows nothing of drawing or SDL; the
// window layer builds its windows on these handles.

#include "platform/base/types.h"

#include <functional>

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

using WindowProc = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

// Creates a handle owned by the calling thread, whose messages go to `proc`.
HWND CreateMessageWindow(WindowProc proc);
// Ends a handle: later posts to it fail, messages still queued for it are dropped.
BOOL DestroyMessageWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);
// The thread that owns the handle, or 0.
DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* process_id);
// Replaces the procedure of a live handle (used to subclass); returns false for a dead handle.
BOOL SetMessageWindowProc(HWND hwnd, WindowProc proc);

// Queues a message for the owner thread of hwnd, FIFO; never blocks. FALSE (with
// ERROR_INVALID_WINDOW_HANDLE) for a null or destroyed handle. A null hwnd is not a broadcast.
BOOL PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Queues WM_QUIT for the calling thread's loop.
void PostQuitMessage(int exit_code);
// Queues a message with no window for a thread (its loop sees hwnd null).
BOOL PostThreadMessageW(DWORD thread_id, UINT msg, WPARAM wParam, LPARAM lParam);

// Calls the window procedure; on the owner thread directly, from another thread by queueing the
// call to the owner thread and waiting for its result (the owner handles sent calls inside
// GetMessage and PeekMessage). 0 for a dead handle.
LRESULT SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Waits for the next message of the calling thread (filter: hwnd null for any; min/max 0 for
// all). FALSE for WM_QUIT, -1 for an invalid filter handle, else TRUE.
BOOL GetMessageW(MSG* msg, HWND hwnd, UINT min_filter, UINT max_filter);
BOOL PeekMessageW(MSG* msg, HWND hwnd, UINT min_filter, UINT max_filter, UINT remove);
LRESULT DispatchMessageW(const MSG* msg);
// Waits until the calling thread's queue has a message or `milliseconds` pass; TRUE if one is there.
BOOL WaitMessageTimeout(DWORD milliseconds);

// A wake-up hook for the window layer: called (from any thread) whenever a message is queued
// for `thread_id`, so an event loop that sleeps elsewhere (e.g. in SDL) can be woken.
void SetQueueWakeHook(DWORD thread_id, std::function<void()> hook);
