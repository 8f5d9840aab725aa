#pragma once
// Critical sections, events, mutexes and threads with the Win32 meanings the program relies on.

#include "platform/base/types.h"

#include <functional>
#include <mutex>

// Re-entrant, like a Win32 critical section: the owner may enter again and leaves as often.
struct CRITICAL_SECTION {
    std::recursive_mutex mutex;
};

void InitializeCriticalSection(CRITICAL_SECTION* cs);
void DeleteCriticalSection(CRITICAL_SECTION* cs);
void EnterCriticalSection(CRITICAL_SECTION* cs);
BOOL TryEnterCriticalSection(CRITICAL_SECTION* cs);
void LeaveCriticalSection(CRITICAL_SECTION* cs);

// Events: manual-reset stays signalled until ResetEvent; auto-reset releases one waiter and clears.
HANDLE CreateEventW(void* security, BOOL manual_reset, BOOL initial_state, const char* name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// Mutexes are recursive and owner-checked: ReleaseMutex by a thread that does not own it fails
// (ERROR_NOT_OWNER). A mutex whose owner thread ended while holding it is given to the next
// waiter with WAIT_ABANDONED.
HANDLE CreateMutexW(void* security, BOOL initial_owner, const char* name);
BOOL ReleaseMutex(HANDLE mutex);

// Threads. The routine runs on a new thread; its result is the exit code. The thread object
// stays alive until the routine has returned and every handle to it is closed, so closing the
// handle of a running thread detaches it without freeing anything the thread still uses.
using ThreadRoutine = unsigned (*)(void* arg);
HANDLE BeginThread(ThreadRoutine routine, void* arg);
HANDLE BeginThread(std::function<unsigned()> routine);
BOOL GetExitCodeThread(HANDLE thread, DWORD* exit_code);  // STILL_ACTIVE while running
constexpr DWORD STILL_ACTIVE = 259;
DWORD GetCurrentThreadId();

// Waits on an event, a mutex or a thread for up to `milliseconds` (INFINITE waits forever).
// Returns WAIT_OBJECT_0, WAIT_TIMEOUT, WAIT_ABANDONED (mutexes) or WAIT_FAILED for a bad handle.
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);

// Closes any kernel handle: events, mutexes, threads, files.
BOOL CloseHandle(HANDLE object);

// Thread-safe atomic counters with the Win32 results (the new value, or the old one for the
// exchange forms).
LONG InterlockedIncrement(volatile LONG* target);
LONG InterlockedDecrement(volatile LONG* target);
LONG InterlockedExchange(volatile LONG* target, LONG value);
LONG InterlockedExchangeAdd(volatile LONG* target, LONG value);
LONG InterlockedCompareExchange(volatile LONG* target, LONG exchange, LONG comparand);
