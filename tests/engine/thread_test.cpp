#include "engine/MyThread.h"

#include "platform/base/clock.h"
#include "platform/base/sync.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

// A worker that polls its run flag, or ignores it for a while (a worker stuck in a wait).
class Worker : public CMyThread {
public:
    ~Worker() override { CMyThread::Stop(INFINITE); }
    DWORD Run() override
    {
        started.fetch_add(1);
        if (ignoreFlagMs > 0)
            Sleep(ignoreFlagMs);
        while (IsRunning())
            Sleep(1);
        ended.fetch_add(1);
        if (endedOut != nullptr)
            endedOut->fetch_add(1);
        return 7;
    }
    DWORD ignoreFlagMs = 0;
    std::atomic<int>* endedOut = nullptr;
    std::atomic<int> started{0};
    std::atomic<int> ended{0};
};

class Source : public CSourceCtx {
public:
    explicit Source(std::atomic<int>* ended) : CSourceCtx(nullptr), m_ended(ended) {}
    // A worker ends its thread before its own members go.
    ~Source() override { CSourceCtx::Stop(INFINITE); }
    DWORD Run() override
    {
        SetStateWord(2, 5);
        Sleep(150);
        m_ended->fetch_add(1);
        return 1;
    }

private:
    std::atomic<int>* m_ended;
};

}  // namespace

TEST(WorkerThread, StopOfANeverStartedWorkerReturnsAtOnce)
{
    Worker w;
    const ULONGLONG t0 = GetTickCount64();
    w.Stop(INFINITE);
    EXPECT_LT(GetTickCount64() - t0, 5u);
    EXPECT_FALSE(w.HasThread());
}

TEST(WorkerThread, StartsAndStopsRepeatedly)
{
    Worker w;
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(w.Start());
        EXPECT_TRUE(w.IsRunning());
        w.Stop(INFINITE);
        EXPECT_FALSE(w.HasThread());
    }
    EXPECT_EQ(w.ended.load(), 20);
}

TEST(WorkerThread, TimedOutStopKeepsTheThreadAndRefusesASecondOne)
{
    Worker w;
    w.ignoreFlagMs = 300;
    ASSERT_TRUE(w.Start());
    ULONGLONG t0 = GetTickCount64();
    w.Stop(50);
    const ULONGLONG waited = GetTickCount64() - t0;
    EXPECT_GE(waited, 45u);
    EXPECT_LT(waited, 250u);
    EXPECT_TRUE(w.HasThread());
    EXPECT_TRUE(w.IsThreadAlive());
    EXPECT_FALSE(w.Start());  // no twin on an object whose thread still runs
    w.Stop(INFINITE);
    EXPECT_EQ(w.started.load(), 1);
    EXPECT_EQ(w.ended.load(), 1);
    // Once the old thread has ended, the object starts again.
    w.ignoreFlagMs = 0;
    ASSERT_TRUE(w.Start());
    w.Stop(INFINITE);
    EXPECT_EQ(w.started.load(), 2);
}

TEST(WorkerThread, DestructorWaitsForAThreadLeftByATimedOutStop)
{
    std::atomic<int> ended{0};
    {
        Worker w;
        w.ignoreFlagMs = 100;
        w.endedOut = &ended;
        ASSERT_TRUE(w.Start());
        w.Stop(10);
        EXPECT_EQ(ended.load(), 0);
    }
    EXPECT_EQ(ended.load(), 1);
}

TEST(WorkerThread, WaitWhileRunningReturnsEarlyWhenStopped)
{
    Worker w;
    ULONGLONG t0 = GetTickCount64();
    w.WaitWhileRunning(500);  // flag 0: returns at once
    EXPECT_LT(GetTickCount64() - t0, 5u);

    ASSERT_TRUE(w.Start());
    t0 = GetTickCount64();
    w.WaitWhileRunning(0);
    EXPECT_LT(GetTickCount64() - t0, 5u);
    t0 = GetTickCount64();
    w.WaitWhileRunning(60);
    EXPECT_GE(GetTickCount64() - t0, 55u);
    w.Stop(INFINITE);
}

TEST(WorkerThread, SourceStopClearsItsStateAndItsDestructorWaits)
{
    std::atomic<int> ended{0};
    {
        Source s(&ended);
        ASSERT_TRUE(s.Start());
        Sleep(20);
        EXPECT_EQ(s.StateWord(2), 5);
        s.Stop(10);
        EXPECT_EQ(s.StateWord(2), 0);
        EXPECT_FALSE(s.Start());
    }
    EXPECT_EQ(ended.load(), 1);
}
