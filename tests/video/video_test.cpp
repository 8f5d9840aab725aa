#include "engine/EngineMessages.h"
#include "engine/JtvCtrl.h"
#include "engine/MediaCtx.h"
#include "engine/PacketQueue.h"
#include "platform/base/clock.h"
#include "platform/base/message.h"
#include "platform/media/presenter.h"
#include "tests/support/recipes.h"
#include "tests/support/tempdir.h"
#include "tests/support/access_units.h"
#include "tools/recgen/recgen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

namespace {

std::vector<std::uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Message {
    UINT message;
    LPARAM lparam;
};

// An engine whose channel-0 video thread is fed from the test.
class VideoThreadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        av_log_set_level(AV_LOG_ERROR);
        ASSERT_TRUE(engine_.CreateChannels());
        notify_ = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
        engine_.m_notifyWindow[0].store(notify_);
        engine_.m_open.store(1);
        queue().Create(kVideoRingBytes, kVideoMaxPacket, false);
        queue().Restart(writer_);
        // Frames that follow the first key picture are queued only after a reset packet.
        Push(PKT_CARD_RESET, nullptr, 0, 0, 0);
    }
    void TearDown() override
    {
        video().Stop(INFINITE);
        DestroyMessageWindow(notify_);
    }

    CVBuffer2& queue() { return engine_.m_channel.VideoQueue(); }
    CVideoCtx& video() { return engine_.m_channel.VideoCtx(); }

    void Push(int type, const void* body, int size, std::int64_t pts, int rate, int position = 0,
              double direction = 0.0)
    {
        if (type == PKT_CAR_INFO) {
            // Records stay outside the ring.
            PacketDesc d = writer_;
            d.data = static_cast<BYTE*>(const_cast<void*>(body));
            d.size = size;
            d.type = type;
            d.pts = pts;
            d.rate = rate;
            ASSERT_TRUE(queue().Push(d));
            return;
        }
        if (size > 0)
            std::memcpy(writer_.data, body, static_cast<std::size_t>(size));
        writer_.size = size;
        writer_.type = type;
        writer_.rate = rate;
        writer_.pts = pts;
        writer_.direction = direction;
        writer_.position = position;
        ASSERT_TRUE(queue().Push(writer_));
    }

    void PushRecording(const std::vector<AccessUnit>& units, int fps)
    {
        for (std::size_t i = 0; i < units.size(); ++i)
            Push(units[i].key ? PKT_KEY_FRAME : PKT_FRAME, units[i].data.data(),
                 static_cast<int>(units[i].data.size()), units[i].pts_us, fps,
                 static_cast<int>(i * 1000 / units.size()));
    }

    // Waits until `count` pictures were shown (or the limit passes).
    bool WaitShown(std::uint64_t count, int limit_ms = 20000)
    {
        const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(limit_ms);
        while (video().ShownCount() < count && GetTickCount64() < end)
            Sleep(2);
        return video().ShownCount() >= count;
    }

    std::vector<Message> Drain()
    {
        std::vector<Message> out;
        MSG msg;
        while (PeekMessageW(&msg, notify_, 0, 0, PM_REMOVE))
            out.push_back({msg.message, msg.lParam});
        return out;
    }

    std::string MakeRecording(recgen::RecordingSpec rec)
    {
        const std::string path = dir_.file("rec.ts");
        recgen::RecordingInfo info;
        EXPECT_TRUE(recgen::WriteRecording(rec, path, &info)) << info.error;
        return path;
    }

    TempDir dir_;
    CJtvCtrl engine_;
    HWND notify_ = nullptr;
    PacketDesc writer_;
};

TEST_F(VideoThreadTest, EveryPictureEqualsTheReferenceDecodingInOrderWithItsMessages)
{
    recgen::RecordingSpec rec = PicturesRecipe(176, 144, 25, 10, 1.2);
    const std::string path = MakeRecording(rec);
    const auto units = ReadAccessUnits(path);
    ASSERT_EQ(units.size(), 30u);

    const std::string raw = dir_.file("ref.bgra");
    const std::string cmd = "ffmpeg -v error -y -i '" + path + "' -map 0:v -pix_fmt bgra -f rawvideo '" + raw + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    const auto reference = ReadFile(raw);
    const std::size_t frameBytes = 176u * 144u * 4u;
    ASSERT_EQ(reference.size(), frameBytes * units.size());

    video().SetSyncOff(true);
    ASSERT_TRUE(video().Start());
    // One picture at a time, so that each can be compared before the next replaces it.
    CarInfoRecord record = MakeCarInfoRecord();
    record.sequence = 42;
    CarInfoRecord wrong = record;
    wrong.magic = 0;
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (i == 5) {
            Push(PKT_CAR_INFO, &wrong, sizeof wrong, units[i].pts_us, rec.fps);
            Push(PKT_CAR_INFO, &record, sizeof record, units[i].pts_us, rec.fps);
            Push(PKT_MARKER, nullptr, 0, units[i].pts_us, rec.fps);  // no body: skipped
        }
        Push(units[i].key ? PKT_KEY_FRAME : PKT_FRAME, units[i].data.data(),
             static_cast<int>(units[i].data.size()), units[i].pts_us, rec.fps);
        ASSERT_TRUE(WaitShown(i + 1)) << "picture " << i;
        std::vector<std::uint8_t> picture;
        int w = 0, h = 0;
        ASSERT_TRUE(video().CopyBackBuffer(picture, &w, &h));
        ASSERT_EQ(w, 176);
        ASSERT_EQ(h, 144);
        ASSERT_EQ(0, std::memcmp(picture.data(), reference.data() + i * frameBytes, frameBytes)) << "picture " << i;
    }
    EXPECT_EQ(video().CurrentRecord().sequence, 42);

    const ULONGLONG endPushed = GetTickCount64();
    Push(PKT_END_OF_STREAM, nullptr, 0, units.back().pts_us, rec.fps);
    std::vector<Message> messages;
    while (GetTickCount64() < endPushed + 5000) {
        for (const auto& m : Drain())
            messages.push_back(m);
        if (!messages.empty() && messages.back().message == WM_JTV_PLAYEND)
            break;
        Sleep(5);
    }
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].message, WM_JTV_VIDEOSIZE);
    EXPECT_EQ(messages[0].lparam, 0);
    EXPECT_EQ(messages[1].message, WM_JTV_CARINFO);
    EXPECT_EQ(messages[2].message, WM_JTV_PLAYEND);
    EXPECT_EQ(messages[2].lparam, 0);  // the channel whose pictures ended
    EXPECT_GE(GetTickCount64() - endPushed, 990u);

    // Decoding goes on after the end of a stream.
    Push(PKT_KEY_FRAME, units[0].data.data(), static_cast<int>(units[0].data.size()), units[0].pts_us, rec.fps);
    EXPECT_TRUE(WaitShown(units.size() + 1));
    EXPECT_EQ(video().PictureWidth(), 176);
}

TEST_F(VideoThreadTest, PacedAtTheStreamRateUnlessTheSynchronisationIsOff)
{
    recgen::RecordingSpec rec = PicturesRecipe(128, 96, 20, 10, 2.0);
    rec.video_dts = false;  // PTS only
    const auto units = ReadAccessUnits(MakeRecording(rec));
    ASSERT_EQ(units.size(), 40u);

    // The wall time at which each picture came on, watched from beside the video thread.
    auto watch = [&](std::uint64_t from, std::vector<std::chrono::steady_clock::time_point>* shown) {
        std::uint64_t last = from;
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (last < from + units.size() && std::chrono::steady_clock::now() < limit) {
            const std::uint64_t now = video().ShownCount();
            for (; last < now; ++last)
                shown->push_back(std::chrono::steady_clock::now());
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
    };
    auto ms = [](std::chrono::steady_clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };

    // The reference in this run: the same pictures as fast as they decode.
    engine_.m_fps[0]->SetFps(rec.fps);
    video().SetSyncOff(true);
    PushRecording(units, rec.fps);
    std::vector<std::chrono::steady_clock::time_point> fast;
    ASSERT_TRUE(video().Start());
    watch(0, &fast);
    ASSERT_EQ(fast.size(), units.size());
    video().Stop(INFINITE);

    queue().Restart(writer_);
    Push(PKT_CARD_RESET, nullptr, 0, 0, 0);
    video().SetSyncOff(false);
    PushRecording(units, rec.fps);
    std::vector<std::chrono::steady_clock::time_point> paced;
    ASSERT_TRUE(video().Start());
    watch(units.size(), &paced);
    ASSERT_EQ(paced.size(), units.size());

    // 39 steps of 50 ms from the first picture to the last, each step near 50 ms: the median
    // and all but a few, so that a busy machine's odd late picture does not count.
    const double decoding = ms(fast.back() - fast.front());
    const double total = ms(paced.back() - paced.front());
    std::vector<double> steps;
    for (std::size_t i = 1; i < paced.size(); ++i)
        steps.push_back(ms(paced[i] - paced[i - 1]));
    std::vector<double> sorted = steps;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    const auto off = std::count_if(steps.begin(), steps.end(), [](double d) { return std::fabs(d - 50.0) > 15.0; });
    EXPECT_GT(total, 0.9 * 1950.0) << "decoding alone took " << decoding << " ms";
    EXPECT_LT(total, 1.15 * 1950.0 + decoding) << "decoding alone took " << decoding << " ms";
    EXPECT_NEAR(median, 50.0, 5.0);
    EXPECT_LE(off, 4) << "of 39 steps";
    EXPECT_LT(decoding * 2, total);
}

TEST_F(VideoThreadTest, StopWhilePausedOrWaitingForTheEndReturnsPromptly)
{
    recgen::RecordingSpec rec = PicturesRecipe(64, 64, 1, 2, 3);
    const auto units = ReadAccessUnits(MakeRecording(rec));
    ASSERT_GE(units.size(), 2u);

    // A stop that sat out its wait would take most of a frame period (the longest wait there
    // is); a woken one takes a small part of it.
    const auto halfPeriod = std::chrono::milliseconds(1000 / rec.fps / 2);
    PushRecording(units, rec.fps);
    video().SetPaused(true);
    ASSERT_TRUE(video().Start());
    ASSERT_TRUE(WaitShown(1));
    Sleep(50);
    EXPECT_EQ(video().ShownCount(), 1u);  // paused after the first picture
    auto start = std::chrono::steady_clock::now();
    video().Stop(INFINITE);
    EXPECT_LT(std::chrono::steady_clock::now() - start, halfPeriod);

    // Stop during the pacing wait of a 1 fps stream and during the end-of-stream delay.
    video().SetPaused(false);
    queue().Restart(writer_);
    Push(PKT_CARD_RESET, nullptr, 0, 0, 0);
    PushRecording(units, rec.fps);
    Push(PKT_END_OF_STREAM, nullptr, 0, 0, rec.fps);
    ASSERT_TRUE(video().Start());
    ASSERT_TRUE(WaitShown(2));
    start = std::chrono::steady_clock::now();
    video().Stop(INFINITE);
    EXPECT_LT(std::chrono::steady_clock::now() - start, halfPeriod);
}

TEST_F(VideoThreadTest, StepBackShowsTheFirstKeyPictureBeforeTheLastShownAndPauses)
{
    recgen::RecordingSpec rec = PicturesRecipe(64, 48, 10, 1, 0.4);
    const auto units = ReadAccessUnits(MakeRecording(rec));
    ASSERT_EQ(units.size(), 4u);
    const int positions[] = {100, 200, 300, 400};

    // Forward play shows the first three pictures.
    video().SetSyncOff(true);
    ASSERT_TRUE(video().Start());
    for (int i = 0; i < 3; ++i)
        Push(PKT_KEY_FRAME, units[i].data.data(), static_cast<int>(units[i].data.size()), units[i].pts_us, rec.fps,
             positions[i]);
    ASSERT_TRUE(WaitShown(3));
    EXPECT_EQ(video().LastShownPosition(), 300);
    // A step back: backward reading begins after the screen (the reader's block holds later
    // key pictures); those, and the picture on the screen itself, are passed over.
    engine_.m_playSpeed.store(-1.1);
    for (int i = 3; i >= 0; --i)
        Push(PKT_KEY_FRAME, units[i].data.data(), static_cast<int>(units[i].data.size()), units[i].pts_us, 1,
             positions[i], -1.0);
    ASSERT_TRUE(WaitShown(4));
    Sleep(50);
    EXPECT_EQ(video().ShownCount(), 4u);
    EXPECT_EQ(video().LastShownPosition(), 200);
    EXPECT_EQ(video().ShownPts(), units[1].pts_us);
    EXPECT_TRUE(video().Paused());
    engine_.m_playSpeed.store(1.0);
}

}  // namespace

TEST_F(VideoThreadTest, ShownPicturesReachTheRenderWindowsPresenterWithTheCrop)
{
    recgen::RecordingSpec rec = PicturesRecipe(176, 144, 25, 5, 0.2);
    const auto units = ReadAccessUnits(MakeRecording(rec));
    ASSERT_FALSE(units.empty());

    HWND render = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    engine_.m_channel.SetSource(render, "test");
    // A crop of 16 pixels on the left: the window shows columns 16.. of the picture.
    engine_.m_crop[0][0].store(16);
    video().SetSyncOff(true);
    ASSERT_TRUE(video().Start());
    for (std::size_t i = 0; i < units.size(); ++i)
        Push(units[i].key ? PKT_KEY_FRAME : PKT_FRAME, units[i].data.data(), static_cast<int>(units[i].data.size()),
             units[i].pts_us, rec.fps);
    ASSERT_TRUE(WaitShown(units.size()));
    std::shared_ptr<Presenter> presenter;
    for (int i = 0; i < 200 && !(presenter && presenter->PresentCount() >= units.size()); ++i) {
        presenter = FindPresenter(render);
        Sleep(5);
    }
    ASSERT_TRUE(presenter);
    EXPECT_GE(presenter->PresentCount(), units.size());
    video().Stop(INFINITE);

    std::vector<std::uint8_t> picture;
    int w = 0, h = 0;
    ASSERT_TRUE(video().CopyBackBuffer(picture, &w, &h));
    const int shownWidth = w - 16;
    std::vector<std::uint8_t> window(static_cast<std::size_t>(shownWidth) * h * 4);
    ASSERT_TRUE(presenter->Compose(window.data(), shownWidth, h, shownWidth * 4));
    for (int y = 0; y < h; y += 37)
        EXPECT_EQ(0, std::memcmp(&window[static_cast<std::size_t>(y) * shownWidth * 4],
                                 &picture[(static_cast<std::size_t>(y) * w + 16) * 4], static_cast<std::size_t>(shownWidth) * 4))
            << "row " << y;
    DestroyPresenter(render);
    DestroyMessageWindow(render);
}
