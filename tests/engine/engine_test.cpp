#include "engine/EngineMessages.h"
#include "engine/Jtv.h"
#include "engine/SourceType.h"
#include "engine/JtvCtrl.h"

#include "platform/base/clock.h"
#include "platform/base/message.h"
#include "platform/base/sync.h"
#include "tests/support/access_units.h"
#include "tests/support/local_zone.h"
#include "tests/support/recipes.h"
#include "tests/support/tempdir.h"
#include "tests/support/wait.h"
#include "tools/recgen/recgen.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <thread>
#include <utility>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

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

// A file holding nothing but a recorder header: a minute from `start`, as local time.
std::string WriteRecordingHeader(const TempDir& dir, const std::string& name, std::time_t start)
{
    std::string bytes(376, '\xFF');
    bytes[0] = 0x47;
    for (int k = 0; k < 2; ++k) {
        const std::time_t t = start + 60 * k;
        std::tm tm{};
        localtime_r(&t, &tm);
        const char date[6] = {static_cast<char>(tm.tm_year), static_cast<char>(tm.tm_mon), static_cast<char>(tm.tm_mday),
                              static_cast<char>(tm.tm_hour), static_cast<char>(tm.tm_min), static_cast<char>(tm.tm_sec)};
        bytes.replace(k == 0 ? 50 : 66, 6, date, 6);
    }
    return dir.write(name, bytes);
}

// Lists a folder of one recording through the engine's own loader.
void LoadOneRecording(HJTV h, const TempDir& dir)
{
    WriteRecordingHeader(dir, "rec/a.ts", 1700000000);
    JtvSetExportFolder(h, dir.file("rec"));
    ASSERT_NE(JtvLoadFileList(h), nullptr);
}

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

TEST(EngineLifecycle, TheOffsetOfTextStampsIsTheMachinesStandardTime)
{
    // Seconds west; Irish winter time is a negative saving in the zone data.
    for (auto [zone, west] : {std::pair{"Europe/Dublin", 0}, {"Europe/London", 0}, {"Australia/Sydney", -36000}}) {
        SCOPED_TRACE(zone);
        LocalZone local(zone);
        HJTV h = JtvCreate();
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(Engine(h)->m_timeZone.load(), west);
        JtvDestroy(h);
    }
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
    TempDir dir;
    WriteRecordingHeader(dir, "rec/a.ts", 1700000000);
    const std::string b = WriteRecordingHeader(dir, "rec/b.ts", 1700000100);
    JtvSetExportFolder(h, dir.file("rec"));
    ASSERT_NE(JtvLoadFileList(h), nullptr);
    EXPECT_EQ(JtvGetSegmentValue(h, 1), 0.0);  // no GPS logs: no distance
    EXPECT_EQ(JtvGetSegmentValue(h, 2), 0.0);
    EXPECT_EQ(JtvSourceCommand(h, b), 1);
    JtvSelectFile(h, 5);
    EXPECT_EQ(JtvGetCurrentFileName(h), "");
    EXPECT_EQ(Engine(h)->m_channel.FileIndex(), -1);
    JtvSelectFile(h, 1);
    EXPECT_EQ(JtvGetCurrentFileName(h), b);
    EXPECT_EQ(JtvGetFileIndex(h), 1);
    EXPECT_EQ(Engine(h)->m_channel.FileIndex(), 1);  // where the channel starts at the next open
    EXPECT_DOUBLE_EQ(JtvGetBackupProgress(h), 1.0);
}

// An export keeps its source: another export or another source asked for while it runs is
// refused, and its clip is the whole range. An export that could not start leaves play as it
// was.
TEST_F(Engine_, AnExportKeepsItsSourceAndOneThatCannotStartLeavesNoneBehind)
{
    av_log_set_level(AV_LOG_ERROR);
    recgen::RecordingSpec rec = PicturesRecipe(64, 48, 25, 25, 4.0);
    TempDir dir;
    std::vector<std::string> paths;
    std::vector<recgen::RecordingInfo> infos;
    std::string error;
    ASSERT_TRUE(recgen::WriteFolder(rec, dir.file("card"), 3, false, &paths, &infos, &error)) << error;
    std::vector<LPARAM> ends;
    HWND notify = CreateMessageWindow([&](HWND, UINT message, WPARAM, LPARAM lparam) -> LRESULT {
        if (message == WM_JTV_PLAYEND)
            ends.push_back(lparam);
        return 0;
    });
    JtvSetNotifyWindow(h, notify, 0);
    JtvSetExportFolder(h, dir.file("card"));
    ASSERT_EQ(JtvOpenFile(h, paths[0]), kSourceTs);
    ASSERT_NE(JtvLoadFileList(h), nullptr);
    CJtvCtrl* e = Engine(h);
    const auto start = static_cast<int>(rec.start_time);

    // JtvOpenFileSet whose threads cannot start has set the reader up for its export, then
    // stops: play then takes a file chosen and a seek, and plays instead of exporting.
    e->m_channel.Demux().StartExport(0, start, start + 12);
    JtvStop(h);
    JtvSelectFile(h, 1);
    EXPECT_EQ(JtvGetFileIndex(h), 1);
    ASSERT_TRUE(JtvOpenSourceBox(h, 0, 0, 0));
    EXPECT_FALSE(e->m_channel.Demux().ExportMode());
    const unsigned requests = e->m_channel.Demux().Requests();
    JtvSeekToTime(h, start + 6, 0);
    EXPECT_EQ(e->m_channel.Demux().Requests(), requests + 1);
    JtvStop(h);
    JtvSelectFile(h, 0);

    // A ".ts" clip of the whole set, its pictures shown; paused, so that the reading waits on
    // a short queue early in the first file.
    JtvSetValueD(h, 1);
    JtvSetValueB(h, 1);
    JtvSetPlaySpeed(h, 0);
    e->m_channel.VideoQueue().SetCapacity(20);
    e->m_channel.VideoCtx().SetSyncOff(true);
    const std::string clip = dir.file("out/clip.ts");
    ASSERT_TRUE(JtvOpenFileSet(h, clip, 0, 0, start, start + 12));
    ASSERT_TRUE(WaitFor([&] { return e->m_channel.VideoQueue().MediaCount() >= 20; }, 20000));
    const std::string second = dir.file("out/second.ts");
    EXPECT_FALSE(JtvOpenFileSet(h, second, 0, 1, start, start + 12));
    JtvSelectExportFile(h, 2);
    JtvSetPlaySpeed(h, 16);
    WaitFor([&] {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        return !ends.empty();
    }, 60000);
    EXPECT_EQ(JtvGetExportProgress(h), 1000.0);
    JtvStop(h);
    DestroyMessageWindow(notify);
    ASSERT_EQ(ends, std::vector<LPARAM>{-1}) << "the end of the export, naming no channel";
    EXPECT_FALSE(std::filesystem::exists(second));

    // The clip: the three files up to the range's end (a picture whose whole second reaches
    // it is left out).
    std::vector<std::vector<std::uint8_t>> want;
    for (std::size_t f = 0; f < paths.size(); ++f) {
        const std::vector<AccessUnit> units = ReadAccessUnits(paths[f]);
        ASSERT_EQ(units.size(), infos[f].pictures.size());
        for (std::size_t i = 0; i < units.size(); ++i)
            if (infos[f].pictures[i].pts / 90000 + 4 * static_cast<std::int64_t>(f) < 12)
                want.push_back(units[i].data);
    }
    ASSERT_GT(want.size(), 290u);
    const std::vector<AccessUnit> out = ReadAccessUnits(clip);
    ASSERT_EQ(out.size(), want.size());
    for (std::size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i].data, want[i]) << "clip picture " << i;
}

TEST(ExportProgress, FollowsTheRangeAndStaysWithinIt)
{
    ExportProgressState s;
    EXPECT_EQ(ExportProgress(s), 0.0);
    s.running = true;
    EXPECT_EQ(ExportProgress(s), 0.0);  // no range
    s.rangeStart = 100;
    s.rangeEnd = 140;
    EXPECT_EQ(ExportProgress(s), 0.0);  // nothing written yet is no failure
    s.writtenUpTo = 120000;
    EXPECT_DOUBLE_EQ(ExportProgress(s), 495.0);
    s.writtenUpTo = 150000;  // past the end: held at 990 until the clip is closed
    EXPECT_DOUBLE_EQ(ExportProgress(s), 990.0);
    s.finished = true;
    EXPECT_EQ(ExportProgress(s), 1000.0);
    s.finished = false;
    s.failed = true;
    EXPECT_EQ(ExportProgress(s), -1.0);
}

TEST_F(Engine_, StopResetsThePlayStateAndIsHarmlessTwice)
{
    CJtvCtrl* e = Engine(h);
    ASSERT_TRUE(e->CreateChannels());
    // Each speed leaves its own step; stopped, play is normal again in each part that carries it.
    for (const double speed : {4.0, 0.5, -1.0}) {
        JtvSetPlaySpeed(h, speed);
        JtvStop(h);
        EXPECT_EQ(e->m_playSpeed.load(), 1.0) << speed;
        EXPECT_EQ(e->m_channel.Step(), 1) << speed;
        EXPECT_EQ(e->m_fps[0]->Speed(), 1.0) << speed;
    }
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

TEST_F(Engine_, WithoutPicturesShownAListLoadTurnsThePlaySecondsIntoTheSourcesPosition)
{
    TempDir dir;
    const auto secondsAfterLoad = [&](LONG b, LONG c, LONG option, bool newPlayMode) {
        JtvStop(h);
        Engine(h)->m_playSeconds = 7;  // as after seconds of play
        JtvSetValueB(h, b);
        JtvSetValueC(h, c);
        JtvExportSetName(h, option, "clip");
        if (newPlayMode)
            JtvSetPlayMode(h, 1);
        LoadOneRecording(h, dir);
        return JtvGetValueB(h);
    };
    // A new source and a new play mode are at the start of the list, which nothing moves on.
    EXPECT_EQ(secondsAfterLoad(0, 1, 0, false), 0);
    EXPECT_EQ(secondsAfterLoad(0, 0, 1, true), 0);
    EXPECT_EQ(secondsAfterLoad(1, 1, 1, true), 7);  // the video thread counts
    EXPECT_EQ(secondsAfterLoad(0, 2, 2, false), 7);
}

TEST_F(Engine_, OpenFileStopsWhatPlaysAndTakesTheName)
{
    TempDir dir;
    const std::string path = dir.file("a.ts");
    recgen::RecordingInfo info;
    ASSERT_TRUE(recgen::WriteRecording(PicturesRecipe(64, 48, 25, 25, 20.0), path, &info)) << info.error;
    CJtvCtrl* e = Engine(h);
    ASSERT_EQ(JtvOpenFile(h, path), kSourceTs);
    ASSERT_TRUE(JtvOpenSourceBox(h, 0, 0, 0));
    ASSERT_TRUE(WaitFor([&] { return e->m_channel.VideoQueue().MediaCount() > 1; }));
    ASSERT_TRUE(e->m_channel.Demux().IsThreadAlive());

    EXPECT_EQ(JtvOpenFile(h, "/rec/b.ts"), kSourceTs);
    EXPECT_EQ(e->m_open.load(), 0);
    EXPECT_FALSE(e->m_channel.Demux().IsThreadAlive());
    EXPECT_FALSE(e->m_channel.VideoCtx().IsThreadAlive());
    EXPECT_FALSE(e->m_channel.AudioCtx().IsThreadAlive());
    EXPECT_EQ(JtvGetCurrentFileName(h), "/rec/b.ts");
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

// A user pauses a recording, so the demultiplexer fills the video queue and waits on it, then
// closes the window.
TEST(EngineLifecycle, DestroyWithFullQueuesReturnsPromptly)
{
    TempDir dir;
    recgen::RecordingSpec rec;
    rec.width = 64;
    rec.height = 48;
    rec.fps = 30;
    rec.seconds = 50.0;  // more pictures than the video queue holds
    recgen::RecordingInfo info;
    const std::string path = dir.file("paused.ts");
    ASSERT_TRUE(recgen::WriteRecording(rec, path, &info));

    HJTV h = JtvCreate();
    CJtvCtrl* e = Engine(h);
    ASSERT_EQ(JtvOpenFile(h, path), kSourceTs);
    ASSERT_TRUE(JtvOpenSourceBox(h, 0, 0, 0));
    JtvSetPlaySpeed(h, 0.0);
    CVBuffer2& vq = e->m_channel.VideoQueue();
    const ULONGLONG limit = GetTickCount64() + 20000;
    while (vq.MediaCount() < vq.Capacity() && GetTickCount64() < limit)
        Sleep(5);
    ASSERT_GE(vq.MediaCount(), vq.Capacity()) << "the demultiplexer never filled the queue";
    Sleep(100);
    ASSERT_GE(vq.MediaCount(), vq.Capacity());  // nobody takes from it: its producer waits

    // Half the wait granted to a thread that does not answer its stop.
    std::atomic<bool> destroyed{false};
    std::thread closer([h, &destroyed] {
        JtvDestroy(h);
        destroyed = true;
    });
    const ULONGLONG until = GetTickCount64() + 5000;
    while (!destroyed && GetTickCount64() < until)
        Sleep(5);
    if (!destroyed) {
        ADD_FAILURE() << "the engine is still being destroyed after 5 s";
        closer.detach();  // left hanging, so that the other tests still run
        return;
    }
    closer.join();
}

namespace {

// A source of another kind whose thread outlives the fast stop: it ignores its run flag until
// released (or for ten seconds at most).
class SlowSource : public CSourceCtx {
public:
    SlowSource(std::atomic<int>* state, std::atomic<bool>* release) : CSourceCtx(nullptr), m_state(state), m_release(release) {}
    ~SlowSource() override
    {
        CSourceCtx::Stop(INFINITE);
        m_state->store(m_state->load() == 1 ? 2 : -1);  // 2: deleted after its thread ended
    }
    DWORD Run() override
    {
        const ULONGLONG limit = GetTickCount64() + 10000;
        while (!m_release->load() && GetTickCount64() < limit)
            Sleep(5);
        m_state->store(1);
        return 0;
    }

private:
    std::atomic<int>* m_state;
    std::atomic<bool>* m_release;
};

}  // namespace

TEST_F(Engine_, CloseSourceKeepsTheCardSourceAndDeletesOthersOnlyAfterTheirThreadEnded)
{
    CJtvCtrl* e = Engine(h);
    e->m_currentSource = &e->m_sourceBox;
    TempDir dir;
    LoadOneRecording(h, dir);  // a card source starts only with a list
    ASSERT_TRUE(e->m_sourceBox.Start());
    e->CloseSource();
    EXPECT_EQ(e->m_currentSource, nullptr);
    EXPECT_FALSE(e->m_sourceBox.HasThread());

    std::atomic<int> state{0};
    std::atomic<bool> release{false};
    auto* slow = new SlowSource(&state, &release);
    ASSERT_TRUE(slow->Start());
    e->m_currentSource = slow;
    e->m_sourceBox.SetFastStop(1);
    const ULONGLONG t0 = GetTickCount64();
    e->CloseSource();
    const ULONGLONG waited = GetTickCount64() - t0;
    EXPECT_GE(waited, 490u);
    EXPECT_LT(waited, 5000u);  // the engine goes on after the fast-stop wait, not the full one
    EXPECT_EQ(e->m_currentSource, nullptr);
    EXPECT_EQ(state.load(), 0);  // still running, so not deleted
    release = true;
    const ULONGLONG limit = GetTickCount64() + 10000;
    while (state.load() != 1 && GetTickCount64() < limit)
        Sleep(5);
    e->CloseSource();  // collects the source whose thread has ended meanwhile
    EXPECT_EQ(state.load(), 2);
}

TEST(EngineLifecycle, DestroyWaitsForASourceLeftRunning)
{
    std::atomic<int> state{0};
    std::atomic<bool> release{false};
    HJTV h = JtvCreate();
    auto* slow = new SlowSource(&state, &release);
    ASSERT_TRUE(slow->Start());
    Engine(h)->m_currentSource = slow;
    Engine(h)->m_sourceBox.SetFastStop(1);
    std::thread releaser([&] {
        Sleep(700);
        release = true;
    });
    JtvDestroy(h);
    releaser.join();
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
