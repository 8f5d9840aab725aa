#include "engine/EngineMessages.h"
#include "engine/Jtv.h"
#include "engine/SourceType.h"
#include "engine/JtvCtrl.h"

#include "platform/base/clock.h"
#include "platform/base/message.h"
#include "platform/base/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

namespace {

CJtvCtrl* Engine(HJTV h)
{
    return reinterpret_cast<CJtvCtrl*>(h);
}

struct EngineFixture : ::testing::Test {
    void SetUp() override { h = JtvCreate(); ASSERT_NE(h, nullptr); }
    void TearDown() override { JtvDestroy(h); }
    HJTV h = nullptr;
};

using Engine_ = EngineFixture;

}  // namespace

TEST(EngineLifecycle, CreateAndDestroyManyTimes)
{
    for (int i = 0; i < 1000; ++i) {
        HJTV h = JtvCreate();
        ASSERT_NE(h, nullptr);
        if (i % 2 == 0)
            JtvStop(h);
        JtvDestroy(h);
    }
}

TEST_F(Engine_, FlatGettersStartAtTheirDefaults)
{
    EXPECT_EQ(JtvGetCurrentFileName(h), "");
    EXPECT_EQ(JtvGetFileIndex(h), -1);
    EXPECT_EQ(JtvGetPlayTime(h, 0), 0);
    EXPECT_EQ(JtvIsVideoFlag(h, 0), 1);  // no video context slot before the channels are made
    EXPECT_EQ(JtvGetVideoWidth(h, 0), 0);
    EXPECT_EQ(JtvGetVideoHeight(h, 0), 0);
    EXPECT_EQ(JtvGetValueA(h), 0);
    EXPECT_EQ(JtvGetValueB(h), 0);
    EXPECT_EQ(JtvGetValueC(h), 0);
    EXPECT_EQ(JtvLoadFileList(h), nullptr);
    EXPECT_EQ(JtvGetRecordingList(h), nullptr);
    EXPECT_EQ(JtvFindSegment(h, 0), nullptr);
    EXPECT_EQ(JtvGetSegmentValue(h, 0), 0.0);
    EXPECT_EQ(JtvGetSegmentValue(h, -1), 0.0);
    EXPECT_EQ(JtvGetBackupProgress(h), 0.0);
    EXPECT_EQ(JtvGetExportProgress(h), 0.0);
    EXPECT_EQ(JtvSourceCommand(h, "a.ts"), -1);
    EXPECT_EQ(JtvGetSourceCounter(h), 0);
    CarInfoRecord r;
    std::memset(&r, 0x5A, sizeof r);
    EXPECT_FALSE(JtvGetCarInfo(h, &r));  // the fresh copy is zero-filled
    EXPECT_EQ(r.magic, 0u);

    CJtvCtrl* e = Engine(h);
    EXPECT_EQ(e->m_framesPerSecond, 30.0f);
    EXPECT_EQ(e->m_playSpeed.load(), 1.0);
    EXPECT_EQ(e->m_clockRate.load(), 1.0);
    EXPECT_EQ(e->m_syncState.load(), -1);
    EXPECT_EQ(e->m_pairSwitch[0].load(), 1);
    EXPECT_EQ(e->m_pairValue[0].load(), 1);
    EXPECT_EQ(e->m_enableDxva2[0].load(), 0);
    EXPECT_EQ(e->m_enableVideo[0].load(), 1);
    EXPECT_EQ(e->m_enableAudio[0].load(), 1);
    EXPECT_EQ(e->m_timeX.load(), 10);
    EXPECT_EQ(e->m_timeY.load(), 60);
    EXPECT_EQ(e->m_osdColour.load(), 255u);
    EXPECT_EQ(e->m_snapshotColour.load(), 255u);
    EXPECT_EQ(e->m_fileListSwitch1.load(), 1);
    EXPECT_EQ(e->m_fileListSwitch2.load(), 1);
    EXPECT_EQ(e->m_prevFileIndex.load(), -1);
    EXPECT_EQ(e->OsdFont().height, 24);
    tzset();
    EXPECT_EQ(e->m_timeZone.load(), static_cast<LONG>(timezone));
    EXPECT_EQ(e->m_channel.Step(), 1);
    EXPECT_EQ(e->m_channel.VideoQueue().Capacity(), 1280);
    EXPECT_EQ(e->m_channel.AudioQueue().Capacity(), 30);
    EXPECT_EQ(e->m_fps[0], nullptr);
}

TEST_F(Engine_, NullHandleAndOtherChannelsGiveTheFailureResult)
{
    CarInfoRecord r;
    std::memset(&r, 0x5A, sizeof r);
    EXPECT_FALSE(JtvGetCarInfo(nullptr, &r));
    EXPECT_EQ(r.magic, 0x5A5A5A5Au);  // left alone
    EXPECT_EQ(JtvIsVideoFlag(nullptr, 0), 0);
    EXPECT_EQ(JtvGetPlayTime(nullptr, 0), 0);
    JtvStop(nullptr);
    JtvDestroy(nullptr);

    JtvSetVolume(h, -500, 1);
    JtvSetCrop(h, 3, 1, 2, 3, 4);
    JtvEnableVideo(h, 0, -1);
    EXPECT_EQ(Engine(h)->m_volume[0].load(), 0);
    EXPECT_EQ(Engine(h)->m_crop[0][0].load(), 0);
    EXPECT_EQ(Engine(h)->m_enableVideo[0].load(), 1);
    EXPECT_EQ(JtvGetVideoWidth(h, 1), 0);
}

TEST_F(Engine_, SettersStoreWhatTheyAreGiven)
{
    CJtvCtrl* e = Engine(h);
    JtvSetVolume(h, -2700, 0);
    EXPECT_EQ(e->m_volume[0].load(), -2700);
    EXPECT_EQ(e->m_channel.AudioCtx().OutputVolume(), -10000);
    JtvSetVolume(h, -2699, 0);
    EXPECT_EQ(e->m_channel.AudioCtx().OutputVolume(), -2699);
    JtvSetVolume(h, 300, 0);
    EXPECT_EQ(e->m_channel.AudioCtx().OutputVolume(), 0);

    e->m_channelFlag2[0] = 1;
    JtvSetChannelPair(h, 0, 0, 7);
    EXPECT_EQ(e->m_pairSwitch[0].load(), 0);
    EXPECT_EQ(e->m_pairValue[0].load(), 0);
    EXPECT_EQ(e->m_channelFlag2[0].load(), 0);
    JtvSetChannelPair(h, 0, 1, 7);
    EXPECT_EQ(e->m_pairValue[0].load(), 7);

    JtvSetDeviceName(h, "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    EXPECT_STREQ(e->m_deviceName, "ABCDEFGHIJKLMNOPQR");

    JtvSetEdrFont(h, -5, 40, 0x00FF00, 18, "DejaVu Sans");
    EXPECT_EQ(e->EdrFont().height, 18);
    EXPECT_EQ(e->EdrFont().weight, 900);
    EXPECT_EQ(e->EdrFont().face, "DejaVu Sans");
    EXPECT_EQ(e->m_edrX.load(), -5);

    JtvExportSetName(h, 3, "abc");
    EXPECT_EQ(e->m_exportOption.load(), 3);
    char field[20];
    e->m_sourceBox.ExportNameField(field);
    EXPECT_STREQ(field, "abc");
    for (int i = 3; i < 20; ++i)
        EXPECT_EQ(field[i], 0);

    e->m_enginePlayTime = 0;
    e->m_channelPlayTime[0] = 1234;
    EXPECT_EQ(JtvGetPlayTime(h, 0), 1234);
    e->m_enginePlayTime = 99;
    EXPECT_EQ(JtvGetPlayTime(h, 0), 99);
    EXPECT_EQ(JtvSeekCurrent(h), 100);
    EXPECT_EQ(e->m_channel.Step(), -1);
    EXPECT_EQ(e->m_channel.Demux().SeekTime(), 100);

    e->m_channel.SetStep(-11);
    EXPECT_TRUE(e->m_channel.IsStep11());
    e->m_channel.SetStep(12);
    EXPECT_FALSE(e->m_channel.IsStep11());

    ASSERT_TRUE(e->CreateChannels());
    JtvSetVideoFlag(h, 1);
    EXPECT_EQ(JtvIsVideoFlag(h, 0), 1);
    JtvSetVideoFlag(h, 0);
    EXPECT_EQ(JtvIsVideoFlag(h, 0), 0);
    e->m_channel.VideoCtx().SetPictureSize(640, 360);
    EXPECT_EQ(JtvGetVideoWidth(h, 0), 640);
    EXPECT_EQ(JtvGetVideoHeight(h, 0), 360);
}

TEST_F(Engine_, CarInfoIsCopiedOutWhetherValidOrNot)
{
    CarInfoRecord rec = MakeCarInfoRecord();
    rec.status = 9;
    Engine(h)->m_sourceBox.SetCarInfo(rec);
    CarInfoRecord out;
    EXPECT_TRUE(JtvGetCarInfo(h, &out));
    EXPECT_EQ(out.status, 9);
    rec.magic = 0x12345678;
    Engine(h)->m_sourceBox.SetCarInfo(rec);
    EXPECT_FALSE(JtvGetCarInfo(h, &out));
    EXPECT_EQ(out.magic, 0x12345678u);
}

TEST_F(Engine_, ListQueriesCheckTheirIndexes)
{
    CJtvCtrl* e = Engine(h);
    e->m_sourceBox.SetFileList({"/r/a.ts", "/r/b.ts"});
    e->m_sourceBox.SetDistances({1.5, 2.5});
    EXPECT_EQ(JtvGetSegmentValue(h, 1), 2.5);
    EXPECT_EQ(JtvGetSegmentValue(h, 2), 0.0);
    EXPECT_EQ(JtvSourceCommand(h, "/r/b.ts"), 1);
    JtvSelectFile(h, 5);
    EXPECT_EQ(JtvGetCurrentFileName(h), "");
    JtvSelectFile(h, 1);
    EXPECT_EQ(JtvGetCurrentFileName(h), "/r/b.ts");
    e->m_sourceBox.SetLoadCounts(4, 3);
    EXPECT_DOUBLE_EQ(JtvGetBackupProgress(h), 0.75);

    e->m_channel.Demux().SetFileList({"x.ts"});
    JtvSelectExportFile(h, 1);
    EXPECT_EQ(e->m_channel.Demux().ExportSourceFile(), "");
    JtvSelectExportFile(h, 0);
    EXPECT_EQ(e->m_channel.Demux().ExportSourceFile(), "x.ts");
}

TEST(ExportProgress, FollowsTheRangeAndStaysWithinIt)
{
    ExportProgressState s;
    EXPECT_EQ(ExportProgress(s), 0.0);
    s.running = true;
    EXPECT_EQ(ExportProgress(s), 0.0);  // no range names
    s.startFile = "a.ts";
    s.endFile = "a.ts";
    s.currentFile = "a.ts";
    s.startOffset = 1000;
    s.endOffset = 1000;
    EXPECT_EQ(ExportProgress(s), -1.0);
    s.endOffset = 3000;
    s.readPosition = 2000;
    EXPECT_DOUBLE_EQ(ExportProgress(s), 495.0);
    s.readPosition = 3500;  // past the end: held at 990, not back to 0
    EXPECT_DOUBLE_EQ(ExportProgress(s), 990.0);
    s.readPosition = 500;
    EXPECT_DOUBLE_EQ(ExportProgress(s), 0.0);
    s.endFile = "c.ts";
    s.currentFile = "b.ts";
    s.totalLength = 0;
    EXPECT_EQ(ExportProgress(s), -1.0);
    s.totalLength = 4000;
    s.readPosition = 3000;
    EXPECT_DOUBLE_EQ(ExportProgress(s), 495.0);
    s.finished = true;
    EXPECT_EQ(ExportProgress(s), 1000.0);
}

TEST_F(Engine_, StopResetsThePlayStateAndIsHarmlessTwice)
{
    CJtvCtrl* e = Engine(h);
    ASSERT_TRUE(e->CreateChannels());
    JtvSetPlaySpeed(h, 4.0);
    JtvSetPlayMode(h, 2);
    e->m_open = 1;
    e->m_playSeconds = 12;
    e->m_channelPlayTime[0] = 5;
    e->m_fps[0]->refTimestamp = 42;
    JtvStop(h);
    EXPECT_EQ(e->m_playSpeed.load(), 1.0);
    EXPECT_EQ(e->m_playMode.load(), 0);
    EXPECT_EQ(e->m_open.load(), 0);
    EXPECT_EQ(JtvGetValueB(h), 0);
    EXPECT_EQ(JtvGetPlayTime(h, 0), 0);
    EXPECT_EQ(e->m_fps[0]->refTimestamp.load(), -1);
    JtvStop(h);
    EXPECT_EQ(e->m_playSpeed.load(), 1.0);
}

TEST_F(Engine_, OpenFileStopsAndTakesTheTrimmedName)
{
    EXPECT_EQ(JtvOpenFile(h, "  /rec/a.ts \t"), kSourceTs);
    EXPECT_EQ(JtvGetCurrentFileName(h), "/rec/a.ts");
}

TEST_F(Engine_, StopReleasesProducersBlockedOnFullQueues)
{
    CJtvCtrl* e = Engine(h);
    ASSERT_TRUE(e->CreateChannels());
    CVBuffer2& vq = e->m_channel.VideoQueue();
    CABuffer2& aq = e->m_channel.AudioQueue();
    ASSERT_TRUE(vq.Create(64 * 1024, 4096, true));
    ASSERT_TRUE(aq.Create(16 * 1024, 4096, true));
    // Nobody consumes: the video producer fills the ring, the audio producer too.
    std::atomic<int> ended{0};
    std::thread video([&] {
        PacketDesc w;
        vq.Restart(w);
        for (;;) {
            w.size = 3000;
            w.type = PKT_KEY_FRAME;
            if (!vq.Push(w))
                break;
        }
        ++ended;
    });
    std::thread audio([&] {
        PacketDesc w;
        aq.Restart(w);
        for (;;) {
            w.size = 3000;
            w.type = PKT_AAC_FRAME;
            if (!aq.Push(w))
                break;
        }
        ++ended;
    });
    Sleep(50);
    EXPECT_EQ(ended.load(), 0);
    const ULONGLONG t0 = GetTickCount64();
    JtvStop(h);
    video.join();
    audio.join();
    EXPECT_LT(GetTickCount64() - t0, 1000u);
    EXPECT_EQ(ended.load(), 2);
}

TEST(EngineLifecycle, DestroyWithFullQueuesReturnsPromptly)
{
    HJTV h = JtvCreate();
    CJtvCtrl* e = Engine(h);
    ASSERT_TRUE(e->CreateChannels());
    CVBuffer2& vq = e->m_channel.VideoQueue();
    ASSERT_TRUE(vq.Create(kVideoRingBytes, kVideoMaxPacket, true));
    PacketDesc w;
    vq.Restart(w);
    for (int i = 0; i < 20; ++i) {
        w.size = 1000;
        w.type = PKT_KEY_FRAME;
        ASSERT_TRUE(vq.Push(w));
    }
    e->m_currentSource = &e->m_sourceBox;
    e->m_sourceBox.SetFileList({"/r/a.ts"});  // a card source starts only with a list
    ASSERT_TRUE(e->m_sourceBox.Start());
    const ULONGLONG t0 = GetTickCount64();
    JtvDestroy(h);
    EXPECT_LT(GetTickCount64() - t0, 1000u);
}

namespace {

// A source of another kind whose thread outlives the fast stop.
class SlowSource : public CSourceCtx {
public:
    SlowSource(std::atomic<int>* state) : CSourceCtx(nullptr), m_state(state) {}
    ~SlowSource() override
    {
        CSourceCtx::Stop(INFINITE);
        m_state->store(m_state->load() == 1 ? 2 : -1);  // 2: deleted after its thread ended
    }
    DWORD Run() override
    {
        Sleep(700);
        m_state->store(1);
        return 0;
    }

private:
    std::atomic<int>* m_state;
};

}  // namespace

TEST_F(Engine_, CloseSourceKeepsTheCardSourceAndDeletesOthersOnlyAfterTheirThreadEnded)
{
    CJtvCtrl* e = Engine(h);
    e->m_currentSource = &e->m_sourceBox;
    e->m_sourceBox.SetFileList({"/r/a.ts"});  // a card source starts only with a list
    ASSERT_TRUE(e->m_sourceBox.Start());
    e->CloseSource();
    EXPECT_EQ(e->m_currentSource, nullptr);
    EXPECT_FALSE(e->m_sourceBox.HasThread());

    std::atomic<int> state{0};
    auto* slow = new SlowSource(&state);
    ASSERT_TRUE(slow->Start());
    e->m_currentSource = slow;
    e->m_sourceBox.SetFastStop(1);
    const ULONGLONG t0 = GetTickCount64();
    e->CloseSource();
    const ULONGLONG waited = GetTickCount64() - t0;
    EXPECT_GE(waited, 490u);
    EXPECT_LT(waited, 650u);  // the engine goes on after the fast-stop wait
    EXPECT_EQ(e->m_currentSource, nullptr);
    EXPECT_EQ(state.load(), 0);  // still running, so not deleted
    Sleep(300);
    e->CloseSource();  // collects the source whose thread has ended meanwhile
    EXPECT_EQ(state.load(), 2);
}

TEST(EngineLifecycle, DestroyWaitsForASourceLeftRunning)
{
    std::atomic<int> state{0};
    HJTV h = JtvCreate();
    auto* slow = new SlowSource(&state);
    ASSERT_TRUE(slow->Start());
    Engine(h)->m_currentSource = slow;
    Engine(h)->m_sourceBox.SetFastStop(1);
    JtvDestroy(h);
    EXPECT_EQ(state.load(), 2);
}

TEST_F(Engine_, MessagesReachTheNotifyWindowInOrderWithTheEngineHandle)
{
    CJtvCtrl* e = Engine(h);
    EXPECT_FALSE(e->PostNotify(WM_JTV_CARINFO, 0));  // no notify window yet

    HWND wnd = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    ASSERT_NE(wnd, nullptr);
    JtvSetNotifyWindow(h, wnd, 0);
    const UINT sequence[] = {WM_JTV_VIDEOSIZE, WM_JTV_CARINFO, WM_JTV_CARINFO, WM_JTV_PLAYEND, WM_JTV_EXPORTBEGIN,
                             WM_JTV_EXPORTEND, WM_JTV_PLAYEND};
    const LPARAM params[] = {0, 0, 0, 0, 11, 11, -1};
    std::thread poster([&] {
        for (std::size_t i = 0; i < std::size(sequence); ++i)
            EXPECT_TRUE(e->PostNotify(sequence[i], params[i]));
    });
    poster.join();
    MSG msg;
    std::size_t n = 0;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ASSERT_LT(n, std::size(sequence));
        EXPECT_EQ(msg.hwnd, wnd);
        EXPECT_EQ(msg.message, sequence[n]);
        EXPECT_EQ(msg.wParam, reinterpret_cast<WPARAM>(h));
        EXPECT_EQ(msg.lParam, params[n]);
        ++n;
    }
    EXPECT_EQ(n, std::size(sequence));
    DestroyMessageWindow(wnd);
    EXPECT_FALSE(e->PostNotify(WM_JTV_PLAYEND, 0));
}
