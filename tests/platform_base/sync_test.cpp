#include "platform/base/clock.h"
#include "platform/base/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Polls until `done` holds; generous, since only a fault makes it take long.
template <class Done>
bool Eventually(Done done, int milliseconds = 10000) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (!done()) {
        if (Clock::now() > deadline) return false;
        Sleep(1);
    }
    return true;
}

// Runs `body` on a thread of our own and waits for it.
void OnOtherThread(std::function<void()> body) {
    HANDLE thread = BeginThread([&body] {
        body();
        return 0u;
    });
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    CloseHandle(thread);
}

TEST(CriticalSection, OwnerReentersAndOthersWaitUntilFullyLeft) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EXPECT_TRUE(TryEnterCriticalSection(&cs));  // re-entry by the owner
    LeaveCriticalSection(&cs);

    bool other_got_it = true;
    OnOtherThread([&] { other_got_it = TryEnterCriticalSection(&cs); });
    EXPECT_FALSE(other_got_it) << "one Leave must not release a section entered twice";

    LeaveCriticalSection(&cs);
    OnOtherThread([&] {
        other_got_it = TryEnterCriticalSection(&cs);
        if (other_got_it) LeaveCriticalSection(&cs);
    });
    EXPECT_TRUE(other_got_it);
    DeleteCriticalSection(&cs);
}

TEST(Mutex, RecursiveAndOnlyTheOwnerReleases) {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    ASSERT_NE(mutex, nullptr);
    ASSERT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_OBJECT_0);
    ASSERT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);

    OnOtherThread([&] {
        SetLastError(0);
        EXPECT_FALSE(ReleaseMutex(mutex));
        EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
        EXPECT_EQ(WaitForSingleObject(mutex, 20), WAIT_TIMEOUT);
    });

    EXPECT_TRUE(ReleaseMutex(mutex));
    OnOtherThread([&] { EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_TIMEOUT) << "still held once"; });
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_FALSE(ReleaseMutex(mutex));  // no longer owned at all
    EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);

    OnOtherThread([&] {
        EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
        EXPECT_TRUE(ReleaseMutex(mutex));
    });
    EXPECT_TRUE(CloseHandle(mutex));
}

TEST(Mutex, InitialOwnerHoldsIt) {
    HANDLE mutex = CreateMutexW(nullptr, TRUE, nullptr);
    OnOtherThread([&] { EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_TIMEOUT); });
    EXPECT_TRUE(ReleaseMutex(mutex));
    OnOtherThread([&] {
        EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
        ReleaseMutex(mutex);
    });
    CloseHandle(mutex);
}

TEST(Mutex, OwnerThreadEndingAbandonsItToTheNextWaiter) {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);

    // Ended first, waited for afterwards.
    HANDLE thread = BeginThread([&] { return WaitForSingleObject(mutex, INFINITE) == WAIT_OBJECT_0 ? 1u : 0u; });
    ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    ASSERT_EQ(code, 1u);
    CloseHandle(thread);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_ABANDONED);
    EXPECT_TRUE(ReleaseMutex(mutex)) << "an abandoned wait still gives ownership";
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0) << "abandonment is reported once";
    EXPECT_TRUE(ReleaseMutex(mutex));

    // A waiter already blocked when the owner ends; the owner is a plain std::thread here.
    std::atomic<bool> held{false};
    std::atomic<bool> end_owner{false};
    std::thread owner([&] {
        WaitForSingleObject(mutex, INFINITE);
        WaitForSingleObject(mutex, INFINITE);  // held twice: the count goes too
        held = true;
        while (!end_owner) Sleep(1);
    });
    ASSERT_TRUE(Eventually([&] { return held.load(); }));
    std::atomic<DWORD> waiter_result{0};
    std::thread waiter([&] {
        waiter_result = WaitForSingleObject(mutex, 10000);
        if (waiter_result == WAIT_ABANDONED) ReleaseMutex(mutex);
    });
    Sleep(20);
    end_owner = true;
    owner.join();
    waiter.join();
    EXPECT_EQ(waiter_result.load(), WAIT_ABANDONED);
    CloseHandle(mutex);
}

TEST(Event, AutoResetReleasesExactlyOneWaiterPerSet) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    std::atomic<int> released{0};
    auto waiter = [&] {
        if (WaitForSingleObject(event, 10000) == WAIT_OBJECT_0) ++released;
        return 0u;
    };
    HANDLE a = BeginThread(waiter);
    HANDLE b = BeginThread(waiter);

    Sleep(20);  // let both block
    EXPECT_EQ(released.load(), 0);
    ASSERT_TRUE(SetEvent(event));
    ASSERT_TRUE(Eventually([&] { return released.load() >= 1; }));
    Sleep(100);  // a second release would show up here
    EXPECT_EQ(released.load(), 1);

    ASSERT_TRUE(SetEvent(event));
    EXPECT_EQ(WaitForSingleObject(a, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(b, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(released.load(), 2);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT) << "each release clears the event";

    // Set with nobody waiting: stays set for exactly one later wait.
    SetEvent(event);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    CloseHandle(a);
    CloseHandle(b);
    CloseHandle(event);
}

TEST(Event, ManualResetReleasesAllUntilReset) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> released{0};
    std::vector<HANDLE> threads;
    for (int i = 0; i < 3; ++i) {
        threads.push_back(BeginThread([&] {
            if (WaitForSingleObject(event, 10000) == WAIT_OBJECT_0) ++released;
            return 0u;
        }));
    }
    Sleep(20);
    SetEvent(event);
    for (HANDLE t : threads) {
        EXPECT_EQ(WaitForSingleObject(t, 10000), WAIT_OBJECT_0);
        CloseHandle(t);
    }
    EXPECT_EQ(released.load(), 3);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    ResetEvent(event);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);

    HANDLE initially_set = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(initially_set, 0), WAIT_OBJECT_0);
    CloseHandle(initially_set);
    CloseHandle(event);
}

TEST(Wait, TimedWaitsTimeOutOnEventsMutexesAndThreads) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    auto start = Clock::now();
    EXPECT_EQ(WaitForSingleObject(event, 60), WAIT_TIMEOUT);
    EXPECT_GE(MillisecondsSince(start), 55);

    HANDLE mutex = CreateMutexW(nullptr, TRUE, nullptr);
    OnOtherThread([&] {
        auto begin = Clock::now();
        EXPECT_EQ(WaitForSingleObject(mutex, 40), WAIT_TIMEOUT);
        EXPECT_GE(MillisecondsSince(begin), 35);
    });
    ReleaseMutex(mutex);

    HANDLE thread = BeginThread([&] { return WaitForSingleObject(event, 10000) == WAIT_OBJECT_0 ? 5u : 6u; });
    start = Clock::now();
    EXPECT_EQ(WaitForSingleObject(thread, 40), WAIT_TIMEOUT);
    EXPECT_GE(MillisecondsSince(start), 35);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    SetEvent(event);
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 5u);
    CloseHandle(thread);
    CloseHandle(mutex);
    CloseHandle(event);
}

unsigned ReturnArgument(void* arg) { return *static_cast<unsigned*>(arg); }

TEST(Thread, FinishedThreadIsSignalledAndKeepsItsExitCode) {
    unsigned value = 42;
    HANDLE thread = BeginThread(&ReturnArgument, &value);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    const auto start = Clock::now();
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
    EXPECT_LT(MillisecondsSince(start), 1000);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 42u);
    EXPECT_TRUE(CloseHandle(thread));

    DWORD other_id = 0;
    OnOtherThread([&] { other_id = GetCurrentThreadId(); });
    EXPECT_NE(other_id, 0u);
    EXPECT_NE(other_id, GetCurrentThreadId());
    EXPECT_EQ(GetCurrentThreadId(), GetCurrentThreadId());
}

// What a worker base does when its stop times out: the handle goes while the thread runs on.
TEST(Thread, ClosingTheHandleOfARunningThreadDetachesIt) {
    struct Work {
        HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::atomic<bool> finished{false};
        std::vector<int> data = std::vector<int>(1000, 7);
    };
    auto work = std::make_shared<Work>();
    HANDLE thread = BeginThread([work] {
        WaitForSingleObject(work->go, INFINITE);
        long sum = 0;
        for (int v : work->data) sum += v;
        work->finished = true;
        return static_cast<unsigned>(sum);
    });
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 20), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_FAILED);

    SetEvent(work->go);
    EXPECT_TRUE(Eventually([&] { return work->finished.load(); }));
    Sleep(50);  // the thread's own end comes after; a premature free would be reported then
    CloseHandle(work->go);
}

TEST(Handles, BadOrClosedHandlesFailCleanly) {
    int not_an_object = 0;
    const HANDLE bad[] = {nullptr, INVALID_HANDLE_VALUE, &not_an_object};
    for (HANDLE h : bad) {
        SetLastError(0);
        EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        SetLastError(0);
        EXPECT_FALSE(CloseHandle(h));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        EXPECT_FALSE(SetEvent(h));
        EXPECT_FALSE(ReleaseMutex(h));
    }

    HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    DWORD code = 0;
    SetLastError(0);
    EXPECT_FALSE(ReleaseMutex(event)) << "wrong kind of handle";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(SetEvent(mutex));
    EXPECT_FALSE(GetExitCodeThread(event, &code));

    EXPECT_TRUE(CloseHandle(event));
    SetLastError(0);
    EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_FAILED) << "a closed handle must not wait";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(SetEvent(event));
    EXPECT_FALSE(CloseHandle(event));
    CloseHandle(mutex);
}

TEST(Handles, HandleClosedDuringAWaitKeepsTheObjectForTheWaiter) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    std::atomic<DWORD> result{0};
    std::thread waiter([&] { result = WaitForSingleObject(event, 200); });
    Sleep(20);
    EXPECT_TRUE(CloseHandle(event));
    waiter.join();
    EXPECT_EQ(result.load(), WAIT_TIMEOUT);
}

TEST(Interlocked, AtomicUnderContentionWithWin32Results) {
    volatile LONG counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                InterlockedIncrement(&counter);
                InterlockedExchangeAdd(&counter, 2);
                InterlockedDecrement(&counter);
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 4 * 20000 * 2);

    volatile LONG v = 5;
    EXPECT_EQ(InterlockedIncrement(&v), 6);
    EXPECT_EQ(InterlockedDecrement(&v), 5);
    EXPECT_EQ(InterlockedExchangeAdd(&v, 10), 5);
    EXPECT_EQ(v, 15);
    EXPECT_EQ(InterlockedExchange(&v, -1), 15);
    EXPECT_EQ(InterlockedCompareExchange(&v, 9, 0), -1);  // no match: unchanged
    EXPECT_EQ(v, -1);
    EXPECT_EQ(InterlockedCompareExchange(&v, 9, -1), -1);
    EXPECT_EQ(v, 9);
}

}  // namespace
