#include "engine/AudioCtx.h"
#include "engine/Jtv.h"
#include "engine/JtvCtrl.h"
#include "engine/PlayControl.h"
#include "platform/base/clock.h"
#include "tests/support/recipes.h"
#include "tests/support/tempdir.h"
#include "tools/recgen/recgen.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <utility>
#include <vector>

namespace {

CJtvCtrl* Engine(HJTV h)
{
    return reinterpret_cast<CJtvCtrl*>(h);
}

struct PlayEngine : ::testing::Test {
    void SetUp() override
    {
        h = JtvCreate();
        ASSERT_NE(h, nullptr);
        e = Engine(h);
        ASSERT_TRUE(e->CreateChannels());
        e->SetTickSource([this] { return ticks.load(); });
        e->m_fps[0]->SetTickSource([this] { return ticks.load(); });
    }
    void TearDown() override { JtvDestroy(h); }

    HJTV h = nullptr;
    CJtvCtrl* e = nullptr;
    std::atomic<ULONGLONG> ticks{100000};
};

// The audio side of the clock as the audio thread keeps it: restarting the clock puts the
// anchored time and the current tick into the engine's clock base.
struct FakeAnchor : AudioClockAnchor {
    explicit FakeAnchor(CJtvCtrl* engine) : engine(engine) {}
    void SetMediaTime(std::int64_t t) override { media = t; ++setCalls; }
    void RestartClock() override
    {
        engine->SetClockBase(media, static_cast<std::int64_t>(engine->Ticks()));
        ++restarts;
    }
    void RequestResync() override { ++resyncs; }
    void ShiftAnchor(std::int64_t tick, std::int64_t time) override
    {
        shiftTick += tick;
        shiftTime += time;
    }
    CJtvCtrl* engine;
    std::int64_t media = 0;
    int setCalls = 0, restarts = 0, resyncs = 0;
    std::int64_t shiftTick = 0, shiftTime = 0;
};

TEST_F(PlayEngine, SpeedReachesTheDemultiplexerTheChannelAndTheClocks)
{
    struct Case {
        double speed;
        double stored;
        int direction;
        int step;
    } cases[] = {
        {0.5, 0.5, 0, 0},   {-1.0, -1.0, 1, -1}, {1.1, 1.1, 0, 11},  {-1.1, -1.1, 1, -11},
        {8.0, 8.0, 0, 8},   {0.125, 0.125, 0, 0}, {50.0, 32.0, 0, 32}, {-0.01, -0.125, 1, 0},
        {1.0, 1.0, 0, 1},
    };
    for (const Case& c : cases) {
        JtvSetPlaySpeed(h, c.speed);
        EXPECT_EQ(e->m_playSpeed.load(), c.stored) << c.speed;
        EXPECT_EQ(e->m_fps[0]->Speed(), c.stored) << c.speed;
        EXPECT_EQ(e->m_channel.Demux().Direction(), c.direction) << c.speed;
        EXPECT_EQ(e->m_channel.Step(), c.step) << c.speed;
        EXPECT_EQ(e->m_channel.IsStep11(), std::abs(c.step) == 11) << c.speed;
        EXPECT_FALSE(e->m_channel.VideoCtx().Paused()) << c.speed;
    }
    // Not a number: ignored.
    JtvSetPlaySpeed(h, std::nan(""));
    EXPECT_EQ(e->m_playSpeed.load(), 1.0);
}

TEST_F(PlayEngine, SpeedZeroPausesWhereItIsAndAnyOtherSpeedResumes)
{
    JtvSetPlaySpeed(h, -1.0);
    JtvSetPlaySpeed(h, 0.0);
    EXPECT_TRUE(e->m_channel.VideoCtx().Paused());
    EXPECT_EQ(e->m_playSpeed.load(), 0.0);
    EXPECT_EQ(e->m_channel.Demux().Direction(), 1);  // still backwards
    EXPECT_EQ(e->m_channel.Step(), -1);
    JtvSetPlaySpeed(h, -1.0);
    EXPECT_FALSE(e->m_channel.VideoCtx().Paused());

    // A frame step leaves the video thread paused; the next request of any speed releases it.
    e->m_channel.VideoCtx().SetPaused(true);
    JtvSetPlaySpeed(h, 1.1);
    EXPECT_FALSE(e->m_channel.VideoCtx().Paused());
    e->m_channel.VideoCtx().SetPaused(true);
    JtvSetPlaySpeed(h, 2.0);
    EXPECT_FALSE(e->m_channel.VideoCtx().Paused());

    JtvSetPlaySpeed(h, 0.0);
    JtvStop(h);
    EXPECT_FALSE(e->m_channel.VideoCtx().Paused());
    EXPECT_EQ(e->m_playSpeed.load(), 1.0);
}

TEST_F(PlayEngine, SeeksAreRequestsForTheDemultiplexerAndTheAudio)
{
    FakeAnchor anchor(e);
    e->SetAudioAnchor(0, &anchor);
    e->m_sourceBox.SetSeekFlag(true);
    const int before = anchor.resyncs;
    JtvSeekToTime(h, 1700000100, 1);
    EXPECT_EQ(e->m_channel.Demux().SeekTime(), 1700000100);
    EXPECT_TRUE(e->m_channel.Demux().SeekNearest());
    EXPECT_FALSE(e->m_sourceBox.SeekFlag());
    EXPECT_EQ(anchor.resyncs, before + 1);  // the card source's seek flag asks for it
    JtvSeekToTime(h, 1700000200, 2);  // only 1 asks for the nearest file
    EXPECT_FALSE(e->m_channel.Demux().SeekNearest());

    e->m_channelPlayTime[0] = 1700000300;
    e->m_channel.SetPlayMode(3);
    e->m_playMode = 3;
    EXPECT_EQ(JtvSeekCurrent(h), 1700000301);
    EXPECT_EQ(e->m_channel.Demux().SeekTime(), 1700000301);
    EXPECT_FALSE(e->m_channel.Demux().SeekNearest());
    EXPECT_EQ(e->m_channel.PlayMode(), 0);
    EXPECT_EQ(e->m_playMode.load(), 3);  // only the channel's mode
    EXPECT_EQ(e->m_channel.Step(), -1);
    e->SetAudioAnchor(0, nullptr);
}

TEST_F(PlayEngine, WithoutAnotherAnchorTheChannelsAudioKeepsTheClock)
{
    CAudioCtx& audio = e->m_channel.AudioCtx();
    EXPECT_FALSE(audio.ResyncRequested());
    JtvSeekToTime(h, 1700000100, 0);
    EXPECT_TRUE(audio.ResyncRequested());

    // Far behind the base: the audio takes the picture's time and restarts the clock from it.
    e->SetClockBase(50000000, static_cast<std::int64_t>(ticks.load()));
    for (int i = 0; i < 8; ++i)
        e->SyncFrame(0, 50000000, 25);
    ticks = ticks + 40;
    e->SyncFrame(0, 40000000, 25);
    EXPECT_EQ(audio.MediaTime(), 40000000);
    std::int64_t base = 0, tick = 0;
    ASSERT_TRUE(e->ClockBase(&base, &tick));
    EXPECT_EQ(base, 40000000);

    // The ten-minute steps of the base take the audio's anchor tick along.
    ASSERT_TRUE(e->ClockBase(&base, &tick));
    audio.AdvanceAnchorTick(tick - audio.AnchorTick());
    ticks = static_cast<ULONGLONG>(tick + 600001);
    e->SyncFrame(0, base + 600001000, 25);
    std::int64_t movedBase = 0, movedTick = 0;
    ASSERT_TRUE(e->ClockBase(&movedBase, &movedTick));
    EXPECT_EQ(movedTick, tick + 600000);
    EXPECT_EQ(movedBase, base + 600000000);
    EXPECT_EQ(audio.AnchorTick(), movedTick);
}

TEST_F(PlayEngine, ZoomCutsTheDecodedPictureAndPresentsItWhole)
{
    JtvZoom(h, 0, 500000, 500000, 10);
    EXPECT_TRUE(e->Crop(0).IsZero());  // no picture yet
    e->m_channel.VideoCtx().SetPictureSize(1280, 720);
    JtvZoom(h, 0, 500000, 500000, -10);
    EXPECT_TRUE(e->Crop(0).IsZero());
    JtvZoom(h, 0, 500000, 500000, 10);
    EXPECT_EQ(e->Crop(0), (CropRect{128, 72, -128, -72}));
    EXPECT_EQ(e->m_crop[0][2].load(), -128);
    JtvZoom(h, 1, 500000, 500000, 10);  // no such channel
    EXPECT_EQ(e->Crop(0), (CropRect{128, 72, -128, -72}));
    JtvSetCrop(h, 0, 1, 2, -3, -4);
    EXPECT_EQ(e->Crop(0), (CropRect{1, 2, -3, -4}));
}

TEST_F(PlayEngine, CountersMoveIntoTheLastSecondOnceASecond)
{
    // Four video threads' worth of counting at once: nothing may be lost.
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([this] {
            for (int i = 0; i < 1000; ++i) {
                e->CountFrame(0);
                e->AddBytes(0, 100);
                e->SecondTick();  // never a second while the clock stands
            }
        });
    ticks = 100000;
    for (auto& t : threads)
        t.join();
    e->CountFrame(1);  // no such channel
    e->AddBytes(0, -5);

    EXPECT_EQ(JtvGetValueB(h), 0);  // the first tick only started the second
    ticks = ticks + 1001;
    e->SecondTick();
    EXPECT_EQ(e->m_framesLastSecond[0].load(), 4000);
    EXPECT_EQ(e->m_bytesLastSecond[0].load(), 400000);
    EXPECT_EQ(e->m_frameCounter[0].load(), 0);
    EXPECT_EQ(e->m_byteCounter[0].load(), 0);
    EXPECT_EQ(JtvGetValueB(h), 1);

    e->CountFrame(0);
    ticks = ticks + 1000;  // not more than a second
    e->SecondTick();
    EXPECT_EQ(e->m_framesLastSecond[0].load(), 4000);
    ticks = ticks + 1;
    e->SecondTick();
    EXPECT_EQ(e->m_framesLastSecond[0].load(), 1);
    EXPECT_EQ(e->m_bytesLastSecond[0].load(), 0);
    EXPECT_EQ(JtvGetValueB(h), 2);

    JtvSetPlaySpeed(h, -1.0);
    for (int i = 0; i < 3; ++i) {
        ticks = ticks + 1001;
        e->SecondTick();
    }
    EXPECT_EQ(JtvGetValueB(h), -1);
    JtvStop(h);
    EXPECT_EQ(JtvGetValueB(h), 0);
}

TEST_F(PlayEngine, FrameRendezvousWaitsForEveryChannel)
{
    EXPECT_FALSE(e->FrameRendezvous());
    e->SetFrameReady(0);
    EXPECT_TRUE(e->FrameRendezvous());
    EXPECT_FALSE(e->FrameRendezvous());  // the bytes were taken
}

TEST_F(PlayEngine, TheClockRateScalesTheTimeThePicturesAreExpectedAt)
{
    FakeAnchor anchor(e);
    e->SetAudioAnchor(0, &anchor);
    for (const double rate : {1.0, 2.0}) {
        e->SetClockRate(rate);
        const std::int64_t t0 = 9000000;
        e->RestartSync(0, t0);  // a change of play: the clock restarts at this picture, now
        EXPECT_EQ(e->m_refStreamTime.load(), t0);
        EXPECT_EQ(e->m_refTick.load(), static_cast<std::int64_t>(ticks.load()));
        std::int64_t pts = t0;
        for (int i = 0; i < 8; ++i) {  // the grace pictures, each on time at this rate
            e->SyncFrame(0, pts, 25);
            pts += 40000;
            ticks = ticks + static_cast<ULONGLONG>(40 / rate);
        }
        // 100 ms of stream ahead of the clock is 100 ms of wall time at 1x, 50 at 2x.
        e->SyncFrame(0, pts + 100000, 25);
        EXPECT_EQ(e->m_fps[0]->Lag(), static_cast<int>(100 / rate)) << rate;
    }
    e->SetAudioAnchor(0, nullptr);
}

TEST_F(PlayEngine, FollowingTheFileListSelectsTheNeighbourEntries)
{
    TempDir dir;
    recgen::RecordingSpec rec = PicturesRecipe(64, 64, 10, 10, 2.0);
    std::vector<std::string> paths;
    std::string error;
    ASSERT_TRUE(recgen::WriteFolder(rec, dir.file("card"), 3, false, &paths, nullptr, &error)) << error;
    ASSERT_NE(e->m_sourceBox.LoadFileList(dir.file("card")), nullptr);
    std::int64_t start[3], end, length[3];
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(e->m_sourceBox.Times(i, &start[i], &end, &length[i]));

    // The entry the engine reports, and the channel's (where it starts at its next open).
    const auto index = [&] { return std::pair{JtvGetFileIndex(h), e->m_channel.FileIndex()}; };
    e->FollowFileList(start[1]);  // no file selected yet: nothing to follow from
    EXPECT_EQ(index(), std::pair(-1, -1));
    e->SelectFileEntry(1);
    EXPECT_EQ(index(), std::pair(1, 1));
    e->FollowFileList(start[1] + length[1] - 1);  // its last second
    EXPECT_EQ(index(), std::pair(1, 1));
    e->FollowFileList(start[2] + length[2] + 100);
    EXPECT_EQ(index(), std::pair(2, 2));
    e->FollowFileList(start[2] + length[2] + 100);
    EXPECT_EQ(index(), std::pair(2, 2));  // the last stays
    e->FollowFileList(start[0]);
    EXPECT_EQ(index(), std::pair(1, 1));  // one entry a call
    e->FollowFileList(start[0]);
    EXPECT_EQ(index(), std::pair(0, 0));
    e->SelectFileEntry(7);  // outside the list
    EXPECT_EQ(index(), std::pair(0, 0));
    EXPECT_EQ(e->m_prevFileIndex.load(), 0);
}

// --- per-picture synchronisation ---

constexpr std::int64_t kFrameUs = 40000;  // 25 pictures a second

TEST_F(PlayEngine, WithoutAnAudioClockTheFirstChannelOwnsTheReference)
{
    e->SyncFrame(0, 5000000, 25);
    EXPECT_EQ(e->m_syncState.load(), 0);
    EXPECT_EQ(e->m_syncPending.load(), 1);
    EXPECT_EQ(e->m_graceFrames.load(), 6);
    EXPECT_EQ(e->m_frameRefTime.load(), 5000000);
    for (int i = 1; i < 20; ++i) {
        ticks = ticks + 40;
        e->SyncFrame(0, 5000000 + i * kFrameUs, 25);
    }
    EXPECT_EQ(e->m_syncState.load(), 0);
    EXPECT_EQ(e->m_graceFrames.load(), 0);
    EXPECT_EQ(e->m_frameRefTime.load(), 5000000 + 19 * kFrameUs);
    EXPECT_EQ(e->m_fps[0]->Lag(), 0);
    EXPECT_EQ(e->m_fps[0]->FrameDelta(), kFrameUs);

    // A picture without a time, or in backward play, leaves the reference alone.
    e->SyncFrame(0, -1, 25);
    e->SyncFrame(0, 1, -25);
    EXPECT_EQ(e->m_frameRefTime.load(), 5000000 + 19 * kFrameUs);
    EXPECT_EQ(e->m_fps[0]->Rate(), -25);
}

TEST_F(PlayEngine, PicturesFollowTheAudioClock)
{
    FakeAnchor anchor(e);
    e->SetAudioAnchor(0, &anchor);
    const std::int64_t t0 = 7000000;
    std::int64_t pts = t0;
    for (int i = 0; i < 8; ++i) {  // the grace pictures
        if (i == 2)
            e->SetClockBase(t0 + 2 * kFrameUs, static_cast<std::int64_t>(ticks.load()));
        e->SyncFrame(0, pts, 25);
        pts += kFrameUs;
        ticks = ticks + 40;
    }
    EXPECT_EQ(e->m_syncState.load(), -2);  // the reference runs on the clock now
    EXPECT_EQ(e->m_fps[0]->Lag(), 0);

    // A picture 30 ms early is held back by 30 ms.
    ULONGLONG before = GetTickCount64();
    e->SyncFrame(0, pts + 30000, 25);
    EXPECT_EQ(e->m_fps[0]->Lag(), 30);
    EXPECT_GE(GetTickCount64() - before, 25u);
    pts += kFrameUs;
    ticks = ticks + 40;

    // Far ahead: held back by at most two picture periods (80 ms at 25 a second).
    before = GetTickCount64();
    e->SyncFrame(0, pts + 900000, 25);
    EXPECT_EQ(e->m_fps[0]->Lag(), 900);
    const ULONGLONG held = GetTickCount64() - before;
    EXPECT_GE(held, 70u);
    EXPECT_LT(held, 400u);
    pts += kFrameUs;
    ticks = ticks + 40;

    // Late: the next pacing wait is shorter by the lag instead.
    e->SyncFrame(0, pts - 20000, 25);
    EXPECT_EQ(e->m_fps[0]->Lag(), -20);
    EXPECT_EQ(anchor.restarts, 0);
    pts += kFrameUs;
    ticks = ticks + 40;

    // More than a second behind: the audio takes the picture's time and the clock restarts.
    e->SyncFrame(0, pts - 3000000, 25);
    EXPECT_EQ(anchor.restarts, 1);
    EXPECT_EQ(anchor.media, pts - 3000000);
    std::int64_t base = 0, baseTick = 0;
    ASSERT_TRUE(e->ClockBase(&base, &baseTick));
    EXPECT_EQ(base, pts - 3000000);
    EXPECT_EQ(baseTick, static_cast<std::int64_t>(ticks.load()));

    // A jump of minutes asks the audio to resynchronise and hands the reference back.
    e->SyncFrame(0, pts + 200000000, 25);
    EXPECT_EQ(anchor.resyncs, 1);
    EXPECT_EQ(e->m_syncState.load(), 0);
    EXPECT_EQ(e->m_frameRefTime.load(), pts + 200000000);
    e->SetAudioAnchor(0, nullptr);
}

TEST_F(PlayEngine, TheClockBaseMovesInTenMinuteStepsWithoutDrift)
{
    for (const double rate : {1.0, 2.0, 0.5}) {
        JtvStop(h);
        FakeAnchor anchor(e);
        e->SetAudioAnchor(0, &anchor);
        e->SetClockRate(rate);
        const std::int64_t t0 = 1000000;
        const auto tick0 = static_cast<std::int64_t>(ticks.load());
        e->SetClockBase(t0, tick0);
        // Play on for 25 minutes of wall time, one picture a second.
        std::int64_t lastLag = 0;
        for (int s = 0; s <= 1500; ++s) {
            ticks = static_cast<ULONGLONG>(tick0 + s * 1000);
            e->SyncFrame(0, t0 + static_cast<std::int64_t>(s * 1000000 * rate), 25);
            lastLag = e->m_fps[0]->Lag();
            ASSERT_LE(std::llabs(lastLag), 1) << "rate " << rate << " second " << s;
        }
        EXPECT_EQ(e->m_syncState.load(), -2) << rate;
        std::int64_t base = 0, baseTick = 0;
        ASSERT_TRUE(e->ClockBase(&base, &baseTick));
        EXPECT_GT(baseTick, tick0) << rate;
        EXPECT_EQ(anchor.shiftTick, baseTick - tick0) << rate;
        EXPECT_EQ(anchor.shiftTime, base - t0) << rate;
        // Every step is ten minutes of stream time.
        EXPECT_EQ((base - t0) % 600000000, 0) << rate;
        e->SetAudioAnchor(0, nullptr);
    }
}

TEST_F(PlayEngine, NoRateOrSpeedNeverDividesByZero)
{
    e->SetClockBase(0, static_cast<std::int64_t>(ticks.load()));
    for (int i = 0; i < 10; ++i) {
        e->SyncFrame(0, i * kFrameUs, 0);
        ticks = ticks + 40;
    }
    EXPECT_EQ(e->m_syncState.load(), -2);
    EXPECT_EQ(e->m_fps[0]->Lag(), 0);
    e->SetClockRate(0.0);
    for (int i = 10; i < 20; ++i) {
        e->SyncFrame(0, i * kFrameUs, 25);
        ticks = ticks + 40;
    }
    EXPECT_EQ(e->m_fps[0]->Lag(), 0);
    EXPECT_EQ(e->m_fps[0]->FrameDelta(), kFrameUs);
}

}  // namespace
