// The video thread draws the on-screen text into each converted picture, and a snapshot saves
// that picture.

#include "engine/Jtv.h"
#include "engine/JtvCtrl.h"
#include "engine/MediaCtx.h"
#include "engine/Osd.h"
#include "engine/PacketQueue.h"
#include "platform/base/clock.h"
#include "platform/base/message.h"
#include "platform/gdi/gdi.h"
#include "tests/osd/command.h"
#include "tests/support/tempdir.h"
#include "tools/recgen/recgen.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/packet.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

namespace {

std::vector<std::uint8_t> FirstKeyFrame(const std::string& path, std::int64_t* pts_us)
{
    std::vector<std::uint8_t> out;
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0)
        return out;
    avformat_find_stream_info(fmt, nullptr);
    const int video = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    AVPacket* pkt = av_packet_alloc();
    while (video >= 0 && out.empty() && av_read_frame(fmt, pkt) >= 0) {
        if (pkt->stream_index == video && (pkt->flags & AV_PKT_FLAG_KEY) != 0) {
            out.assign(pkt->data, pkt->data + pkt->size);
            *pts_us = av_rescale_q(pkt->pts, fmt->streams[video]->time_base, AVRational{1, 1000000});
        }
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    avformat_close_input(&fmt);
    return out;
}


void DrawLine(std::vector<std::uint8_t>& bgra, int w, int h, COLORREF colour, int x, int y, const std::string& text)
{
    HBITMAP b = gdi::CreateBitmapOver(w, h, bgra.data(), w * 4);
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, b);
    HFONT f = CreateFont(24, 0, 0, 0, 0, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, nullptr);
    SelectObject(dc, f);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colour);
    TextOut(dc, x, y, text.c_str(), static_cast<int>(text.size()));
    DeleteDC(dc);
    DeleteObject(f);
    DeleteObject(b);
}

}  // namespace

TEST(OsdPlayback, ShownPictureCarriesTheTextAndASnapshotSavesIt)
{
    av_log_set_level(AV_LOG_ERROR);
    TempDir dir;
    recgen::RecordingSpec rec;
    rec.width = 320;
    rec.height = 240;
    rec.fps = 25;
    rec.gop = 5;
    rec.seconds = 0.2;
    rec.audio = false;
    rec.info_hz = 0;
    const std::string path = dir.file("rec.ts");
    recgen::RecordingInfo info;
    ASSERT_TRUE(recgen::WriteRecording(rec, path, &info)) << info.error;
    std::int64_t pts = 0;
    const auto key = FirstKeyFrame(path, &pts);
    ASSERT_FALSE(key.empty());
    std::string reference =
        CommandOutput("ffmpeg -v error -i '" + path + "' -map 0:v -frames:v 1 -pix_fmt bgra -f rawvideo -");
    ASSERT_EQ(reference.size(), 320u * 240u * 4u);

    auto engine = std::make_unique<CJtvCtrl>();
    const HJTV h = reinterpret_cast<HJTV>(engine.get());
    ASSERT_TRUE(engine->CreateChannels());
    HWND notify = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    engine->m_notifyWindow[0].store(notify);
    engine->m_open.store(1);
    JtvSetOsdTime(h, 1, RGB(255, 255, 0));
    JtvSetTimeZone(h, 0);
    engine->m_channelPlayTime[0] = 1700000000;
    engine->m_playSpeed = 2.0;  // a label as well; key pictures are still shown

    CVBuffer2& queue = engine->m_channel.VideoQueue();
    CVideoCtx& video = engine->m_channel.VideoCtx();
    queue.Create(kVideoRingBytes, kVideoMaxPacket, false);
    PacketDesc writer;
    queue.Restart(writer);
    writer.type = PKT_CARD_RESET;
    writer.size = 0;
    ASSERT_TRUE(queue.Push(writer));
    video.SetSyncOff(true);
    ASSERT_TRUE(video.Start());
    std::memcpy(writer.data, key.data(), key.size());
    writer.size = static_cast<int>(key.size());
    writer.type = PKT_KEY_FRAME;
    writer.pts = pts;
    writer.rate = rec.fps;
    ASSERT_TRUE(queue.Push(writer));
    const ULONGLONG end = GetTickCount64() + 20000;
    while (video.ShownCount() < 1 && GetTickCount64() < end)
        Sleep(2);
    ASSERT_EQ(video.ShownCount(), 1u);

    std::vector<std::uint8_t> shown;
    int w = 0, hh = 0;
    ASSERT_TRUE(video.CopyBackBuffer(shown, &w, &hh));
    ASSERT_EQ(w, 320);
    ASSERT_EQ(hh, 240);
    std::vector<std::uint8_t> expected(reference.begin(), reference.end());
    DrawLine(expected, 320, 240, RGB(255, 255, 0), 10, 100, "2023-11-14 22:13:20");
    DrawLine(expected, 320, 240, RGB(255, 0, 0), 30, 202, "2x");
    EXPECT_TRUE(shown == expected) << "the decoded picture with the time line and the speed label";

    // The snapshot: the shown picture (text included), 1.5 times as large, in a new folder.
    const std::string name = dir.file("snaps/day/img-2023-11-14_22-13-20_abc");
    EXPECT_TRUE(JtvRequestSnapshot(h, 0, 0, 255, name));
    const std::string file = dir.file("snaps/day/img-2023-11-14_22-13-20_.bmp");
    ASSERT_TRUE(std::filesystem::exists(file));
    const std::string saved = CommandOutput("ffmpeg -v error -i '" + file + "' -f rawvideo -pix_fmt bgra -");
    ASSERT_EQ(saved.size(), 480u * 360u * 4u);
    int wrong = 0;
    for (int y = 0; y < 360 && wrong < 3; ++y)
        for (int x = 0; x < 480; ++x) {
            const std::size_t s = (static_cast<std::size_t>((2 * y + 1) / 3) * 320 + (2 * x + 1) / 3) * 4;  // centres
            const std::size_t d = (static_cast<std::size_t>(y) * 480 + x) * 4;
            if (std::memcmp(&shown[s], &saved[d], 3) != 0 && wrong++ < 3)
                ADD_FAILURE() << "pixel " << x << "," << y;
        }

    video.Stop(INFINITE);
    DestroyMessageWindow(notify);
}
