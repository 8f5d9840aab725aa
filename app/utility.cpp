#include "app/utility.h"

#include "platform/base/clock.h"
#include "platform/base/sync.h"

namespace {

std::atomic<std::int32_t> g_runningJobs{0};

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::int32_t MutexInit(SimpleMutex* mutex)
{
    if (!mutex)
        return -1;
    MutexClear(mutex);
    mutex->handle = CreateMutexW(nullptr, FALSE, nullptr);
    mutex->valid = mutex->handle ? 1 : 0;
    return mutex->valid ? 0 : -1;
}

std::int32_t MutexLock(SimpleMutex* mutex)
{
    if (!mutex || !mutex->valid)
        return 0;
    const DWORD result = WaitForSingleObject(mutex->handle, INFINITE);
    if (result == WAIT_OBJECT_0)
        return 0;
    if (result == WAIT_ABANDONED) {
        // The wait made us the owner; a caller told "failed" never unlocks, so give it back
        // rather than block every later locker for good.
        ReleaseMutex(mutex->handle);
    }
    return -3;
}

std::int32_t MutexUnlock(SimpleMutex* mutex)
{
    if (!mutex || !mutex->valid)
        return 0;
    return ReleaseMutex(mutex->handle) ? 0 : -4;
}

void MutexDestroy(SimpleMutex* mutex)
{
    if (!mutex || !mutex->valid)
        return;
    CloseHandle(mutex->handle);
    MutexClear(mutex);
}

std::int32_t MutexIsValid(const SimpleMutex* mutex)
{
    return mutex ? mutex->valid : 0;
}

void MutexClear(SimpleMutex* mutex)
{
    if (!mutex)
        return;
    mutex->handle = nullptr;
    mutex->valid = 0;
}

std::int32_t StrEqual(const char* a, const char* b)
{
    if (!a || !b)
        return 0;
    for (; *a && *a == *b; ++a, ++b) {
    }
    return *a == *b ? 1 : 0;
}

std::int32_t StrEqualNoCase(const char* a, const char* b)
{
    if (!a || !b)
        return 0;
    for (; *a && AsciiLower(*a) == AsciiLower(*b); ++a, ++b) {
    }
    return AsciiLower(*a) == AsciiLower(*b) ? 1 : 0;
}

DWORD TickCountNonZero()
{
    const DWORD tick = GetTickCount();
    return tick ? tick : 1;
}

std::int32_t Utf8EncodeChar(std::int32_t codePoint, Utf8WriteCursor* cursor)
{
    // Values no UTF-8 sequence can carry would otherwise come out as garbage bits.
    const auto cp = (codePoint < 0 || codePoint > 0x10FFFF) ? 0xFFFDu : static_cast<std::uint32_t>(codePoint);
    unsigned char bytes[4];
    std::size_t length;
    if (cp < 0x80) {
        bytes[0] = static_cast<unsigned char>(cp);
        length = 1;
    } else if (cp < 0x800) {
        bytes[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
        bytes[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        length = 2;
    } else if (cp < 0x10000) {
        bytes[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
        bytes[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        bytes[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        length = 3;
    } else {
        bytes[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
        bytes[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
        bytes[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        bytes[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        length = 4;
    }
    if (cursor->buffer && cursor->pos <= cursor->end && cursor->end - cursor->pos >= length) {
        for (std::size_t i = 0; i < length; ++i)
            cursor->buffer[cursor->pos + i] = static_cast<char>(bytes[i]);
    }
    cursor->pos += length;
    return 0;
}

std::int32_t Utf8DecodeChar(const char** cursor)
{
    const auto* p = reinterpret_cast<const unsigned char*>(*cursor);
    const unsigned lead = p[0];
    if (lead == 0)
        return -1;
    if (lead < 0x80) {
        *cursor += 1;
        return static_cast<std::int32_t>(lead);
    }
    int continuation;
    std::uint32_t cp;
    if (lead >= 0xC0 && lead < 0xE0) {
        continuation = 1;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead < 0xF0) {
        continuation = 2;
        cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead < 0xF8) {
        continuation = 3;
        cp = lead & 0x07;
    } else {
        // A stray continuation byte or 0xF8..0xFF starts nothing.
        *cursor += 1;
        return -1;
    }
    // A NUL is no continuation byte, so this never reads past the end of the text.
    for (int i = 1; i <= continuation; ++i) {
        if ((p[i] & 0xC0) != 0x80) {
            *cursor += 1;
            return -1;
        }
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    *cursor += 1 + continuation;
    return static_cast<std::int32_t>(cp);
}

unsigned ThreadRunner(void* arg)
{
    auto* job = static_cast<ThreadJob*>(arg);
    job->startTime = std::time(nullptr);
    g_runningJobs.fetch_add(1);
    job->running = 1;
    job->startTick = TickCountNonZero();
    job->result = job->function(job);
    job->endTick = TickCountNonZero();
    job->running = 0;
    g_runningJobs.fetch_sub(1);
    job->endTime = std::time(nullptr);
    job->done = 1;  // last, so that whoever sees it done also sees every result field
    return 0;
}

std::int32_t RunningJobCount()
{
    return g_runningJobs.load();
}
