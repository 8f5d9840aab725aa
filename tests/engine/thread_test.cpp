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
        return 7;
    }
    DWORD ignoreFlagMs = 0;
    std::atomic<int> started{0};
    std::atomic<int> ended{0};
};

// A worker and a source that leave their thread to the base destructors. Once running they
// touch only the base's members and counters outside the object, so nothing of theirs is gone
// while a base destructor waits.
class LeftWorker : public CMyThread {
public:
    LeftWorker(std::atomic<int>* started, std::atomic<int>* ended) : m_started(started), m_ended(ended) {}
    DWORD Run() override
    {
        std::atomic<int>* ended = m_ended;
        m_started->fetch_add(1);
        Sleep(300);  // deaf to the run flag meanwhile
        while (IsRunning())
            Sleep(1);
        ended->fetch_add(1);
        return 7;
    }

private:
    std::atomic<int>* m_started;
    std::atomic<int>* m_ended;
};

class LeftSource : public CSourceCtx {
public:
    LeftSource(std::atomic<int>* started, std::atomic<int>* ended)
        : CSourceCtx(nullptr), m_started(started), m_ended(ended) {}
    DWORD Run() override
    {
        std::atomic<int>* ended = m_ended;
        SetStateWord(2, 5);
        m_started->fetch_add(1);
        Sleep(300);
        ended->fetch_add(1);
        return 1;
    }

private:
    std::atomic<int>* m_started;
    std::atomic<int>* m_ended;
};

void WaitFor(const std::atomic<int>& counter, int value)
{
    const ULONGLONG limit = GetTickCount64() + 10000;
    while (counter.load() < value && GetTickCount64() < limit)
        Sleep(1);
}

}  // namespace

TEST(WorkerThread, StopOfANeverStartedWorkerReturnsAtOnce)
{
    Worker w;
    w.Stop(INFINITE);  // a wait for a thread that never was would not return
    EXPECT_FALSE(w.HasThread());
    EXPECT_EQ(w.started.load(), 0);
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
    w.ignoreFlagMs = 1500;
    ASSERT_TRUE(w.Start());
    ULONGLONG t0 = GetTickCount64();
    w.Stop(50);
    const ULONGLONG waited = GetTickCount64() - t0;
    EXPECT_GE(waited, 45u);
    EXPECT_LT(waited, 1000u);  // gave up long before the worker ended
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
    std::atomic<int> started{0}, ended{0};
    {
        LeftWorker w(&started, &ended);
        ASSERT_TRUE(w.Start());
        WaitFor(started, 1);
        w.Stop(10);
        EXPECT_TRUE(w.IsThreadAlive());
    }
    EXPECT_EQ(ended.load(), 1);
}

TEST(WorkerThread, WaitWhileRunningReturnsEarlyWhenStopped)
{
    Worker w;
    ULONGLONG t0 = GetTickCount64();
    w.WaitWhileRunning(5000);  // flag 0: returns at once
    EXPECT_LT(GetTickCount64() - t0, 2500u);

    ASSERT_TRUE(w.Start());
    // A zero wait does not sleep: measured against as many of the shortest sleeps it would take.
    t0 = GetTickCount64();
    for (int i = 0; i < 50; ++i)
        Sleep(10);
    const ULONGLONG sleeps = GetTickCount64() - t0;
    t0 = GetTickCount64();
    for (int i = 0; i < 50; ++i)
        w.WaitWhileRunning(0);
    EXPECT_LT(GetTickCount64() - t0, sleeps / 2);
    t0 = GetTickCount64();
    w.WaitWhileRunning(60);
    EXPECT_GE(GetTickCount64() - t0, 55u);
    w.Stop(INFINITE);
}

TEST(WorkerThread, SourceStopClearsItsStateAndItsDestructorWaits)
{
    std::atomic<int> started{0}, ended{0};
    {
        LeftSource s(&started, &ended);
        ASSERT_TRUE(s.Start());
        WaitFor(started, 1);
        EXPECT_EQ(s.StateWord(2), 5);
        s.Stop(10);
        EXPECT_EQ(s.StateWord(2), 0);
        EXPECT_FALSE(s.Start());  // its thread still runs
        EXPECT_EQ(ended.load(), 0);
    }
    EXPECT_EQ(ended.load(), 1);
}
