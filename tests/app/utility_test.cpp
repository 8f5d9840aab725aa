#include "app/utility.h"

#include "platform/base/sync.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <cuchar>
#include <string>
#include <thread>
#include <vector>

namespace {

// Runs `body` on another thread and waits for it.
template <typename F>
void OnOtherThread(F body)
{
    std::thread thread(body);
    thread.join();
}

TEST(MutexTest, ClearedRecordLocksAndUnlocksAsNoOps)
{
    SimpleMutex mutex{reinterpret_cast<HANDLE>(0x1234), 1};
    MutexClear(&mutex);
    EXPECT_EQ(mutex.handle, nullptr);
    EXPECT_EQ(MutexIsValid(&mutex), 0);
    EXPECT_EQ(MutexLock(&mutex), 0);
    EXPECT_EQ(MutexUnlock(&mutex), 0);
    MutexDestroy(&mutex);
    EXPECT_EQ(MutexIsValid(&mutex), 0);
}

TEST(MutexTest, RecursiveAndOwnerChecked)
{
    SimpleMutex mutex{reinterpret_cast<HANDLE>(0x1234), 0};
    ASSERT_EQ(MutexInit(&mutex), 0);
    EXPECT_EQ(MutexIsValid(&mutex), 1);
    EXPECT_NE(mutex.handle, nullptr);

    EXPECT_EQ(MutexLock(&mutex), 0);
    EXPECT_EQ(MutexLock(&mutex), 0) << "the owner may lock again";

    int otherUnlock = 0;
    DWORD otherWait = 0;
    OnOtherThread([&] {
        otherUnlock = MutexUnlock(&mutex);
        otherWait = WaitForSingleObject(mutex.handle, 20);
    });
    EXPECT_EQ(otherUnlock, -4) << "a thread that does not own it cannot unlock";
    EXPECT_EQ(otherWait, WAIT_TIMEOUT) << "still held";

    EXPECT_EQ(MutexUnlock(&mutex), 0);
    OnOtherThread([&] { otherWait = WaitForSingleObject(mutex.handle, 20); });
    EXPECT_EQ(otherWait, WAIT_TIMEOUT) << "held once more after one of two unlocks";
    EXPECT_EQ(MutexUnlock(&mutex), 0);
    EXPECT_EQ(MutexUnlock(&mutex), -4) << "not owned any more";

    OnOtherThread([&] {
        otherWait = WaitForSingleObject(mutex.handle, 1000);
        otherUnlock = MutexUnlock(&mutex);
    });
    EXPECT_EQ(otherWait, WAIT_OBJECT_0);
    EXPECT_EQ(otherUnlock, 0);

    MutexDestroy(&mutex);
    EXPECT_EQ(mutex.handle, nullptr);
    EXPECT_EQ(MutexIsValid(&mutex), 0);
}

TEST(MutexTest, AbandonedMutexReportsFailureButStaysUsable)
{
    SimpleMutex mutex;
    ASSERT_EQ(MutexInit(&mutex), 0);
    OnOtherThread([&] { EXPECT_EQ(MutexLock(&mutex), 0); });  // ends while holding it
    EXPECT_EQ(MutexLock(&mutex), -3);
    DWORD otherWait = 0;
    int otherUnlock = 0;
    OnOtherThread([&] {
        otherWait = WaitForSingleObject(mutex.handle, 2000);
        otherUnlock = MutexUnlock(&mutex);
    });
    EXPECT_EQ(otherWait, WAIT_OBJECT_0) << "the failed lock must not keep the mutex";
    EXPECT_EQ(otherUnlock, 0);
    MutexDestroy(&mutex);
}

TEST(StringTest, Equality)
{
    EXPECT_EQ(StrEqual("Config", "Config"), 1);
    EXPECT_EQ(StrEqual("Config", "config"), 0);
    EXPECT_EQ(StrEqual("Config", "Configs"), 0);
    EXPECT_EQ(StrEqual("Configs", "Config"), 0);
    EXPECT_EQ(StrEqual("", ""), 1);
    EXPECT_EQ(StrEqualNoCase("config", "CONFIG"), 1);
    EXPECT_EQ(StrEqualNoCase("config", "CONFIGS"), 0);
    EXPECT_EQ(StrEqualNoCase("a[", "A{"), 0) << "only letters fold";
    EXPECT_EQ(StrEqualNoCase("\xC3\xA9", "\xC3\x89"), 0) << "ASCII case only";
    for (auto* eq : {&StrEqual, &StrEqualNoCase}) {
        EXPECT_EQ(eq(nullptr, "x"), 0);
        EXPECT_EQ(eq("x", nullptr), 0);
        EXPECT_EQ(eq(nullptr, nullptr), 0);
    }
}

std::string Encode(std::int32_t cp)
{
    char buffer[8] = {};
    Utf8WriteCursor cursor{buffer, 0, sizeof buffer};
    EXPECT_EQ(Utf8EncodeChar(cp, &cursor), 0);
    return std::string(buffer, cursor.pos);
}

TEST(Utf8Test, KnownEncodings)
{
    EXPECT_EQ(Encode(0x41), "A");
    EXPECT_EQ(Encode(0x7F), "\x7F");
    EXPECT_EQ(Encode(0x80), "\xC2\x80");
    EXPECT_EQ(Encode(0xE9), "é");
    EXPECT_EQ(Encode(0x7FF), "\xDF\xBF");
    EXPECT_EQ(Encode(0x800), "\xE0\xA0\x80");
    EXPECT_EQ(Encode(0x20AC), "€");
    EXPECT_EQ(Encode(0x6253), "打");
    EXPECT_EQ(Encode(0xFFFF), "\xEF\xBF\xBF");
    EXPECT_EQ(Encode(0x10000), "\xF0\x90\x80\x80");
    EXPECT_EQ(Encode(0x1F600), "😀");
    EXPECT_EQ(Encode(0x10FFFF), "\xF4\x8F\xBF\xBF");
    // No sequence carries these; they become the replacement character.
    EXPECT_EQ(Encode(0x110000), "\xEF\xBF\xBD");
    EXPECT_EQ(Encode(-1), "\xEF\xBF\xBD");
    EXPECT_EQ(Encode(INT32_MAX), "\xEF\xBF\xBD");
}

TEST(Utf8Test, EncodeWritesOnlyWhatFitsButAlwaysAdvances)
{
    char buffer[4] = {'x', 'x', 'x', 'x'};
    Utf8WriteCursor cursor{buffer, 0, 2};
    Utf8EncodeChar(0x20AC, &cursor);
    EXPECT_EQ(cursor.pos, 3u);
    EXPECT_EQ(std::string(buffer, 4), "xxxx");

    // Measuring a whole text with no buffer gives its length.
    Utf8WriteCursor measure{nullptr, 0, 0};
    for (std::int32_t cp : {0x61, 0x20AC, 0x1F600, 0x3B1})
        Utf8EncodeChar(cp, &measure);
    EXPECT_EQ(measure.pos, 1u + 3u + 4u + 2u);

    // Once past the end nothing more is written.
    char small[3] = {};
    Utf8WriteCursor tight{small, 0, 3};
    Utf8EncodeChar(0x20AC, &tight);
    Utf8EncodeChar(0x41, &tight);
    EXPECT_EQ(tight.pos, 4u);
    EXPECT_EQ(std::string(small, 3), "€");
}

// Every scalar value against the C library's UTF-8 locale (an encoder written independently of
// ours), then back through the decoder.
TEST(Utf8Test, EveryScalarValueMatchesTheCLibraryAndRoundTrips)
{
    const std::string old = std::setlocale(LC_CTYPE, nullptr);
    const bool haveReference = std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
    char reference[MB_LEN_MAX];
    for (std::int32_t cp = 1; cp <= 0x10FFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF)
            continue;
        const std::string encoded = Encode(cp);
        if (haveReference) {
            std::mbstate_t state{};
            const std::size_t n = std::c32rtomb(reference, static_cast<char32_t>(cp), &state);
            if (n == static_cast<std::size_t>(-1) || encoded != std::string(reference, n)) {
                ADD_FAILURE() << std::hex << "U+" << cp << " encodes differently";
                break;
            }
        }
        const char* read = encoded.c_str();
        if (Utf8DecodeChar(&read) != cp || read != encoded.c_str() + encoded.size()) {
            ADD_FAILURE() << std::hex << "U+" << cp << " does not come back";
            break;
        }
    }
    std::setlocale(LC_CTYPE, old.c_str());
    if (!haveReference)
        GTEST_SKIP() << "no C.UTF-8 locale: only the round trip was checked";
}

TEST(Utf8Test, DecodeStopsAtBadSequences)
{
    const char broken[] = "\xC3\x28";
    const char* p = broken;
    EXPECT_EQ(Utf8DecodeChar(&p), -1);
    EXPECT_EQ(p, broken + 1) << "just after the lead byte";
    EXPECT_EQ(Utf8DecodeChar(&p), 0x28);

    const char empty[] = "";
    p = empty;
    EXPECT_EQ(Utf8DecodeChar(&p), -1);
    EXPECT_EQ(p, empty) << "NUL is not consumed";

    // A sequence cut short by the end of the text reads nothing past the NUL.
    const char cut[] = "\xE2\x82";
    p = cut;
    EXPECT_EQ(Utf8DecodeChar(&p), -1);
    EXPECT_EQ(p, cut + 1);

    for (const char* stray : {"\x80", "\xBF", "\xF8\x80\x80\x80\x80", "\xFF"}) {
        p = stray;
        EXPECT_EQ(Utf8DecodeChar(&p), -1) << std::hex << (static_cast<unsigned char>(stray[0]) + 0);
        EXPECT_EQ(p, stray + 1);
    }
}

TEST(Utf8Test, DecodeAcceptsOverlongFormsAndSurrogates)
{
    const char overlong[] = "\xC1\x81";
    const char* p = overlong;
    EXPECT_EQ(Utf8DecodeChar(&p), 0x41);
    EXPECT_EQ(p, overlong + 2);
    const char surrogate[] = "\xED\xA0\x80";
    p = surrogate;
    EXPECT_EQ(Utf8DecodeChar(&p), 0xD800);
    EXPECT_EQ(p, surrogate + 3);
}

std::int32_t RecordCount(ThreadJob* job)
{
    *static_cast<std::int32_t*>(job->argument) = RunningJobCount();
    return 42;
}

std::int32_t Spin(ThreadJob* job)
{
    volatile int sink = 0;
    for (int i = 0; i < 10000; ++i)
        sink = sink + i;
    return 1;
}

TEST(ThreadRunnerTest, RunsTheJobWithTimingAndCountsRunningJobs)
{
    std::int32_t seenCount = 0;
    ThreadJob job{};
    job.function = &RecordCount;
    job.argument = &seenCount;
    HANDLE thread = BeginThread(&ThreadRunner, &job);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    EXPECT_TRUE(GetExitCodeThread(thread, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    CloseHandle(thread);
    EXPECT_EQ(job.result, 42);
    EXPECT_GE(seenCount, 1);
    EXPECT_EQ(job.running, 0);
    EXPECT_EQ(job.done, 1);
    EXPECT_NE(job.startTick, 0u);
    EXPECT_LT(job.endTick - job.startTick, 10000u);
    EXPECT_GT(job.startTime, 0);
    EXPECT_LE(job.startTime, job.endTime);

    // Many jobs at once: the count must come back to exactly zero.
    std::vector<ThreadJob> jobs(16);
    std::vector<std::thread> threads;
    for (ThreadJob& each : jobs) {
        each.function = &Spin;
        threads.emplace_back([&each] { ThreadRunner(&each); });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(RunningJobCount(), 0);
}

}  // namespace
