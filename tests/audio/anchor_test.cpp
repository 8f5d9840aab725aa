#include "engine/AudioCtx.h"
#include "engine/JtvCtrl.h"
#include "engine/PacketQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace {

struct Anchor : ::testing::Test {
    void SetUp() override
    {
        ASSERT_TRUE(engine.CreateChannels());
        audio().SetTickSource([this] { return tick.load() + heardLater; });
        engine.SetTickSource([this] { return static_cast<ULONGLONG>(tick.load()); });
        clock().SetTickSource([this] { return static_cast<ULONGLONG>(tick.load()); });
    }
    CAudioCtx& audio() { return engine.m_channel.AudioCtx(); }
    CFpsCtrl& clock() { return *engine.m_fps[0]; }
    std::int64_t ref() const { return engine.m_refStreamTime.load(); }

    void Packet(std::int64_t pts, std::int32_t type = PKT_AAC_FRAME)
    {
        PacketDesc d;
        d.type = type;
        d.pts = pts;
        audio().SyncTimestamp(d);
    }

    CJtvCtrl engine;
    std::atomic<std::int64_t> tick{10000};
    // Added to the ticks the audio context reads on this thread.
    static thread_local std::int64_t heardLater;
};
thread_local std::int64_t Anchor::heardLater = 0;

constexpr std::int64_t R = 5000000;  // the engine's reference stream time, microseconds

}  // namespace

TEST_F(Anchor, DriftIsSlewedAtMost66MsPerPacket)
{
    engine.SetClockBase(R, 10000);
    Packet(R);  // first: the anchor is taken, its tick at the next packet
    EXPECT_EQ(audio().Anchor(), static_cast<std::uint64_t>(R));
    EXPECT_EQ(audio().AnchorTick(), 0);
    EXPECT_EQ(ref(), R);

    // The sound runs 200 ms ahead of the engine's clock: the clock follows in steps.
    const std::int64_t expected[] = {66000, 132000, 198000, 200000, 200000};
    const std::int64_t drifts[] = {200, 134, 68, 2, 0};
    for (int i = 0; i < 5; ++i) {
        Packet(R + 200000);
        EXPECT_EQ(ref(), R + expected[i]) << i;
        EXPECT_EQ(audio().Anchor(), static_cast<std::uint64_t>(R + expected[i])) << i;
        EXPECT_EQ(audio().Drift(), drifts[i]) << i;
        EXPECT_EQ(audio().DriftSign(), -1) << i;
    }
    EXPECT_EQ(audio().AnchorTick(), 10000);

    // Now the wall clock runs 1,000 ms while the sound moves 800 ms: the clock is pulled back.
    tick += 1000;
    Packet(R + 200000 + 800000);
    EXPECT_EQ(audio().Drift(), 200);
    EXPECT_EQ(audio().DriftSign(), 1);
    EXPECT_EQ(ref(), R + 200000 - 66000);
    EXPECT_EQ(audio().LastAudioTimestamp(), static_cast<std::uint64_t>(R + 1000000));
}

TEST_F(Anchor, PacketsThatDoNotCount)
{
    engine.SetClockBase(R, 10000);
    Packet(R);
    Packet(0);  // no time: ignored altogether
    EXPECT_EQ(audio().LastAudioTimestamp(), static_cast<std::uint64_t>(R));
    Packet(R + 300000, PKT_FRAME);  // remembered, but only audio moves the clock
    EXPECT_EQ(audio().LastAudioTimestamp(), static_cast<std::uint64_t>(R + 300000));
    EXPECT_EQ(ref(), R);
    Packet(R + 300000, 64);  // the other measured type
    EXPECT_EQ(ref(), R + 66000);

    audio().SetAnchor(kAnchorOff);
    Packet(R + 900000);
    EXPECT_EQ(ref(), R + 66000);
    EXPECT_EQ(audio().Anchor(), kAnchorOff);
    EXPECT_EQ(audio().LastAudioTimestamp(), static_cast<std::uint64_t>(R + 900000));
}

TEST_F(Anchor, ResyncRestartsTheClocksAtTheNextAudioPacket)
{
    engine.SetClockBase(R, 10000);
    Packet(R);
    Packet(R + 500000);
    ASSERT_NE(ref(), R);

    const std::int64_t P = 77000000;
    audio().RequestResync();
    audio().SetTickOffset(250);
    tick = 20000;
    Packet(P, PKT_MARKER);  // has a type: re-anchors, but is not measured
    EXPECT_FALSE(audio().ResyncRequested());
    EXPECT_EQ(engine.m_refTick.load(), 20250);
    EXPECT_EQ(engine.m_refStreamTime.load(), P);
    EXPECT_EQ(clock().refTick.load(), 20250);
    EXPECT_EQ(clock().refTimestamp.load(), P);
    EXPECT_EQ(audio().MediaTime(), P);
    EXPECT_EQ(audio().Anchor(), static_cast<std::uint64_t>(P));
    EXPECT_EQ(audio().AnchorTick(), 20250);
    EXPECT_EQ(audio().PreviousTickOffset(), 250);

    // Sound and clock agree from here on: no correction.
    tick = 20250 + 384;
    Packet(P + 384000);
    EXPECT_EQ(engine.m_refStreamTime.load(), P);
    EXPECT_EQ(audio().Drift(), 0);

    // A packet without a type leaves a request pending, the engine's as well.
    audio().RequestResync();
    engine.m_syncPending = 1;
    Packet(P + 400000, 0);
    EXPECT_TRUE(audio().ResyncRequested());
    EXPECT_EQ(engine.m_syncPending.load(), 1);
}

TEST_F(Anchor, ClockRestartsUseTheTickOffsetOnce)
{
    audio().SetMediaTime(42000000);
    EXPECT_TRUE(audio().TimeAnchored());
    EXPECT_EQ(clock().refTimestamp.load(), 42000000);

    audio().SetTickOffset(100);
    tick = 1000;
    audio().RestartClock();
    EXPECT_FALSE(audio().TimeAnchored());
    EXPECT_EQ(engine.m_refTick.load(), 1100);
    EXPECT_EQ(engine.m_refStreamTime.load(), 42000000);
    EXPECT_EQ(clock().refTick.load(), 1100);
    EXPECT_EQ(audio().PreviousTickOffset(), 100);
    audio().RestartClock();
    EXPECT_EQ(engine.m_refTick.load(), 1000);
    EXPECT_EQ(audio().PreviousTickOffset(), 0);

    // After a seek the engine's clock starts at the seek time; the play clock keeps the audio's.
    tick = 3000;
    audio().RestartClockAt(9000000);
    EXPECT_EQ(engine.m_refStreamTime.load(), 9000000);
    EXPECT_EQ(engine.m_refTick.load(), 3000);
    EXPECT_EQ(clock().refTimestamp.load(), 42000000);
}

TEST_F(Anchor, TheAnchorsCountersStartOverWithItsMediaTimeAndItsRestart)
{
    audio().RestartClockAt(R);
    EXPECT_EQ(audio().PacketsSinceMediaTime(), 0);
    EXPECT_EQ(audio().SlewsSinceRestart(), 0);
    Packet(R);           // on time: measured, nothing to slew
    Packet(R + 200000);  // 200 ms ahead: slewed
    Packet(R + 200000, PKT_FRAME);  // not sound: not measured
    Packet(0);                      // no time
    EXPECT_EQ(audio().PacketsSinceMediaTime(), 2);
    EXPECT_EQ(audio().SlewsSinceRestart(), 1);

    audio().SetMediaTime(R + 200000);
    EXPECT_EQ(audio().PacketsSinceMediaTime(), 0);
    Packet(R + 200000);  // still 134 ms ahead
    EXPECT_EQ(audio().PacketsSinceMediaTime(), 1);
    EXPECT_EQ(audio().SlewsSinceRestart(), 2);

    audio().RestartClock();
    EXPECT_EQ(audio().PacketsSinceMediaTime(), 0);
    EXPECT_EQ(audio().SlewsSinceRestart(), 0);

    // A seek's resynchronisation restarts at the next packet, the first measured against it.
    Packet(R + 500000);
    audio().RequestResync();
    Packet(R + 500000);
    EXPECT_EQ(audio().PacketsSinceMediaTime(), 1);
    EXPECT_EQ(audio().SlewsSinceRestart(), 0);
}

TEST_F(Anchor, MediaTimeFromPesPtsBytes)
{
    // PTS 2^32 + 900,000 (90 kHz) in the five bytes of a PES header, marker bits set.
    const std::uint64_t pts = (std::uint64_t{1} << 32) + 900000;
    const BYTE b[5] = {
        static_cast<BYTE>(0x21 | ((pts >> 29) & 0x0E)),
        static_cast<BYTE>(pts >> 22),
        static_cast<BYTE>(((pts >> 14) & 0xFE) | 1),
        static_cast<BYTE>(pts >> 7),
        static_cast<BYTE>(((pts << 1) & 0xFE) | 1),
    };
    audio().SetMediaTimeFromPts(b);
    // In microseconds as the demultiplexer counts every other timestamp (x 11.1111), so that
    // audio and picture times compare.
    EXPECT_NEAR(static_cast<double>(audio().MediaTime()), static_cast<double>(pts) * 11.1111, 1.0);
    EXPECT_TRUE(audio().TimeAnchored());
}

TEST_F(Anchor, APictureRestartOfTheClockMovesTheAnchorWithIt)
{
    // The sound anchored the clock; seconds later a change of play has the first picture
    // restart it at that picture's time.
    audio().RestartClockAt(R);
    Packet(R);
    tick = 25000;
    const std::int64_t P = 40000000;
    audio().RestartClockAt(P);
    EXPECT_EQ(engine.m_refStreamTime.load(), P);
    EXPECT_EQ(engine.m_refTick.load(), 25000);
    EXPECT_EQ(audio().AnchorTick(), 25000);

    // Sound heard on time against the new base is no drift, however long ago the old anchor
    // was taken; it stays where the pictures put it.
    tick = 25300;
    Packet(P + 300000);
    EXPECT_EQ(audio().Drift(), 0);
    EXPECT_EQ(ref(), P);
    tick = 25600;
    Packet(P + 500000);  // 100 ms late: slewed by the most a packet may move it
    EXPECT_EQ(audio().Drift(), 100);
    EXPECT_EQ(ref(), P - 66000);
}

TEST_F(Anchor, SoundSecondsAwayFromTheClockIsNotSlewed)
{
    // Sound of the file before a set's file change, measured against the clock the first
    // picture of the next file restarted: not a drift to be slewed away.
    audio().RestartClockAt(R);
    tick = 10500;
    Packet(R + 500000 + 30 * 1000000);
    EXPECT_EQ(audio().Drift(), 30000);
    EXPECT_EQ(ref(), R);
}

TEST_F(Anchor, SlewingKeepsMeasuringWhenTheClockTimePassesMinusOne)
{
    // A clock restarted at a picture's small time can be slewed below zero; it must not turn
    // the measuring off when it reaches the anchor's reserved value on the way.
    audio().RestartClockAt(65999);
    for (int k = 1; k <= 3; ++k) {
        tick = 10000 + 100 * k + 22 * k;  // each packet 22 ms later than its time
        Packet(65999 + 100000 * k);
    }
    EXPECT_EQ(ref(), 65999 - 66000);
    EXPECT_NE(audio().Anchor(), kAnchorOff);
    tick += 100 + 22;
    Packet(65999 + 400000);
    EXPECT_EQ(ref(), 65999 - 88000);
}

TEST_F(Anchor, TheTwoThreadsRestartsAndSlewsLeaveTheBaseAndTheAnchorTogether)
{
    // The audio thread's operations (restart from a packet, slew, a packet without a type)
    // against the video thread's (restart from a late picture, restart after a change of play
    // with its request for a restart from the sound, the base's ten-minute step): one each a
    // round, started together from a base on the wall clock; both wait while it is checked.
    const auto line = [](std::int64_t t) { return t * 1000; };  // stream time of tick t
    constexpr int kRounds = 20000;
    std::atomic<int> go{0}, done{0}, spun{0};
    const auto run = [&](auto op, int stagger) {
        for (int r = 1; r <= kRounds; ++r) {
            while (go.load() != r)
                std::this_thread::yield();
            // Started a little later round by round, one thread's operation meets every point
            // of the other's.
            for (int i = r / 4 % 64 * stagger; i > 0; --i)
                spun.fetch_add(1, std::memory_order_relaxed);
            op(r % 4, line(tick.load()));
            done.fetch_add(1);
        }
    };
    std::thread video(run, [&](int kind, std::int64_t now) {
        if (kind == 2)
            engine.RestartSync(0, now - 500000);
        engine.SyncFrame(0, now - (kind < 2 ? 2000000 : 500000), 25);
    }, 0);
    // The audio thread's restarts take a tick of their own, so the base tells whose it holds.
    constexpr std::int64_t kHeard = 7;
    std::thread sound(run, [&](int kind, std::int64_t now) {
        heardLater = kHeard;
        if (kind == 0 || kind == 3)
            audio().RequestResync();
        Packet(now + (kind == 1 ? 100000 : 300000), kind == 2 ? 0 : PKT_AAC_FRAME);
    }, 16);
    std::string first[4];
    int failures[4] = {};
    for (int r = 1; r <= kRounds; ++r) {
        const int kind = r % 4;
        tick += 40;
        engine.m_syncState = 0;  // the video thread's first pictures are behind it
        engine.m_syncPending = 0;
        engine.m_graceFrames = 0;
        audio().RestartClockAt(line(tick));
        if (kind == 3)
            tick += 600001;  // the wall clock ten minutes on: the base takes its step
        const std::int64_t now = tick, at = line(now);
        go = r;
        while (done.load() != 2 * r)
            std::this_thread::yield();

        std::int64_t base = 0, baseTick = 0;
        engine.ClockBase(&base, &baseTick);
        // The last restart's time and tick throughout: the sound's (its packet 300 ms on) or
        // the picture's; a slew never comes after a restart, a ten-minute step never after the
        // anchor's restart, and a packet without a type leaves the request for one standing.
        const bool soundLast = kind == 3 || (kind == 0 && baseTick == now + kHeard);
        const std::int64_t restartedAt = soundLast ? at + 300000 : at - (kind == 2 ? 500000 : 2000000);
        const bool ok = base == restartedAt && baseTick == now + (soundLast ? kHeard : 0) &&
                        audio().AnchorTick() == baseTick && clock().refTick == baseTick &&
                        audio().Anchor() == static_cast<std::uint64_t>(base) &&
                        (kind == 2 ? engine.m_syncPending == 1
                                   : audio().MediaTime() == base && clock().refTimestamp == base);
        if (!ok && failures[kind]++ == 0)
            first[kind] = "round " + std::to_string(r) + ": base " + std::to_string(base) + " at " +
                          std::to_string(baseTick) + ", anchor " + std::to_string(audio().Anchor()) + " at " +
                          std::to_string(audio().AnchorTick()) + ", now " + std::to_string(now);
    }
    video.join();
    sound.join();
    for (int kind = 0; kind < 4; ++kind)
        EXPECT_EQ(failures[kind], 0) << "kind " << kind << ", first " << first[kind];
}
