#include "engine/FpsCtrl.h"
#include "platform/base/clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

struct FakeTicks {
    ULONGLONG now = 1000;
};

}  // namespace

TEST(PlayClock, WaitFollowsTimestampStepOrRateWhicheverIsShorter)
{
    FakeTicks t;
    CFpsCtrl c(25.0, 0);
    c.SetTickSource([&t] { return t.now; });

    c.SetSpeed(1.0);
    c.Update(40000, 25);  // first step measured against 0
    c.BeginFrame();
    EXPECT_EQ(c.WaitTime(), 40);
    c.Update(80000, 25);
    c.BeginFrame();
    t.now += 15;  // decoding took 15 ms
    EXPECT_EQ(c.WaitTime(), 25);
    t.now += 100;  // later than a whole period: no wait
    EXPECT_EQ(c.WaitTime(), 0);

    c.SetSpeed(2.0);
    c.Update(120000, 25);
    c.BeginFrame();
    EXPECT_EQ(c.WaitTime(), 20);
    c.SetSpeed(0.5);
    c.Update(160000, 25);
    EXPECT_EQ(c.WaitTime(), 40);

    // Backward: decreasing times and a negative rate give no wait.
    c.SetSpeed(-1.0);
    c.Update(120000, -25);
    EXPECT_EQ(c.WaitTime(), 0);
}

TEST(PlayClock, ZeroRateSpeedAndDiscontinuitiesGiveNoWait)
{
    FakeTicks t;
    CFpsCtrl c(25.0, 0);
    c.SetTickSource([&t] { return t.now; });
    c.BeginFrame();

    c.SetSpeed(1.0);
    c.Update(40000, 0);
    EXPECT_EQ(c.WaitTime(), 0);
    c.SetSpeed(0.0);
    c.Update(80000, 25);
    EXPECT_EQ(c.WaitTime(), 0);

    c.SetSpeed(8.0);
    c.Update(80000 + 2000000, 25);  // a jump of 2 s
    EXPECT_EQ(c.FrameDelta(), 0);
    EXPECT_EQ(c.WaitTime(), 0);
    c.SetSpeed(16.0);
    c.Update(80000 + 4000000, 25);  // kept at 16x: the rate decides
    EXPECT_EQ(c.FrameDelta(), 2000000);
    EXPECT_EQ(c.WaitTime(), 2);

    // The largest negative step does not overflow the magnitude test.
    c.SetSpeed(1.0);
    c.Update(0x80000000LL, 25);
    c.Update(0, 25);
    EXPECT_EQ(c.WaitTime(), 0);
}

TEST(PlayClock, StreamTimesThatDoNotAdvanceArePacedByTheRate)
{
    FakeTicks t;
    CFpsCtrl c(25.0, 0);
    c.SetTickSource([&t] { return t.now; });
    c.SetSpeed(1.0);
    c.BeginFrame();
    c.Update(40000, 25);
    c.Update(40000, 25);  // equal times
    EXPECT_EQ(c.WaitTime(), 40);
    c.Update(-1, 25);     // no usable times
    EXPECT_EQ(c.WaitTime(), 40);
    c.Reset(40000);       // after a reset the first picture is not waited for,
    EXPECT_EQ(c.WaitTime(), 0);
    c.Update(1000000, 1);  // whatever its step from the one before (1 s at a rate of 1)
    EXPECT_EQ(c.WaitTime(), 0);
    c.Update(1040000, 25);  // and the next is paced from it
    EXPECT_EQ(c.WaitTime(), 40);
}

TEST(PlayClock, TimesWrapInTheirLowWord)
{
    FakeTicks t;
    CFpsCtrl c(25.0, 0);
    c.SetTickSource([&t] { return t.now; });
    c.SetSpeed(1.0);
    c.BeginFrame();
    c.Update(0xFFFFFFFFLL - 10000, 25);
    c.Update(0x100000000LL + 30000, 25);
    EXPECT_EQ(c.FrameDelta(), 40001);
    EXPECT_EQ(c.WaitTime(), 40);
}

TEST(PlayClock, SetFpsAndWakeEndAWaitInProgress)
{
    CFpsCtrl c(1.0, 0);
    c.SetSpeed(1.0);
    c.BeginFrame();
    c.Update(900000, 1);
    c.Update(1100000, 1);  // 200 ms step at 1 fps
    // The video thread's own change of rate comes before its wait: that wait keeps its time
    // (a signal left over would show two pictures at once after each change of speed).
    c.SetFps(2.0);
    auto start = std::chrono::steady_clock::now();
    EXPECT_GT(c.Wait(), 150);
    EXPECT_GT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));

    c.SetFps(1.0);
    c.BeginFrame();
    c.Update(2000000, 1);  // 900 ms step
    start = std::chrono::steady_clock::now();
    std::thread other([&c] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_DOUBLE_EQ(c.SetFps(25.0), 25.0);
    });
    EXPECT_GT(c.Wait(), 800);
    other.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(700));
}
