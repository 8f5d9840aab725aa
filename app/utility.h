#pragma once
// Small portable routines with integer result codes: a mutex record, string tests, a tick
// counter that never returns 0, single-code-point UTF-8 encoding and decoding, and a thread body
// that times a job.

#include "platform/base/types.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <ctime>

struct SimpleMutex {
    HANDLE handle;       // null when not created
    std::int32_t valid;  // 1 when the handle was created
};

// 0, or -1 when no mutex could be created.
std::int32_t MutexInit(SimpleMutex* mutex);
// 0 on success and on a record that is not valid; -3 when the wait fails. A mutex abandoned by
// a thread that ended while holding it also gives -3, and is released again so it stays usable.
std::int32_t MutexLock(SimpleMutex* mutex);
// 0 on success and on a record that is not valid; -4 when the caller does not own the mutex.
std::int32_t MutexUnlock(SimpleMutex* mutex);
void MutexDestroy(SimpleMutex* mutex);
std::int32_t MutexIsValid(const SimpleMutex* mutex);
void MutexClear(SimpleMutex* mutex);

// 1 when both are non-null and equal, else 0.
std::int32_t StrEqual(const char* a, const char* b);
// The same, ignoring ASCII case.
std::int32_t StrEqualNoCase(const char* a, const char* b);

// GetTickCount, with 1 in place of 0 so that 0 can mean "no time".
DWORD TickCountNonZero();

// Write position and end of an output buffer. The position advances past the end when bytes do
// not fit, so after a run `pos` is the length the whole text needs.
struct Utf8WriteCursor {
    char* buffer;      // may be null when only measuring
    std::size_t pos;
    std::size_t end;
};

// Writes one code point (1..4 bytes) when the whole sequence fits; always advances. A value
// outside 0..0x10FFFF is written as U+FFFD. Result 0.
std::int32_t Utf8EncodeChar(std::int32_t codePoint, Utf8WriteCursor* cursor);
// Reads one code point from NUL-terminated text and advances past it. -1 at NUL (not advanced)
// and at a byte that cannot start a sequence or lacks its continuation bytes (advanced past
// that byte only). Overlong forms and surrogates are accepted.
std::int32_t Utf8DecodeChar(const char** cursor);

// A job for ThreadRunner. The caller fills function and argument; the runner fills the rest.
struct ThreadJob {
    std::int32_t (*function)(ThreadJob* job);
    void* argument;
    std::int32_t result;
    std::atomic<std::int32_t> running;
    std::atomic<std::int32_t> done;
    std::time_t startTime;
    std::time_t endTime;
    DWORD startTick;
    DWORD endTick;
};

// Thread body (a platform ThreadRoutine) for a ThreadJob*: runs the function with timing and
// ends with exit code 0.
unsigned ThreadRunner(void* job);
// How many jobs are running in the process right now.
std::int32_t RunningJobCount();
