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
#include "tests/support/access_units.h"
#include "tests/support/tempdir.h"
#include "tools/recgen/recgen.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

namespace {

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
    const std::vector<AccessUnit> units = ReadAccessUnits(path);
    ASSERT_FALSE(units.empty());
    ASSERT_TRUE(units[0].key);
    const std::vector<std::uint8_t>& key = units[0].data;
    const std::int64_t pts = units[0].pts_us;
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
    LocalZone local("UTC");
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

namespace {

// An engine whose video thread takes packets pushed one at a time, each shown before the next.
class VideoThreadRig {
public:
    VideoThreadRig()
    {
        engine = std::make_unique<CJtvCtrl>();
        h = reinterpret_cast<HJTV>(engine.get());
        ok = engine->CreateChannels();
        // The statistics' second never turns: no frame or byte rates.
        engine->SetTickSource([] { return ULONGLONG{5}; });
        queue().Create(kVideoRingBytes, kVideoMaxPacket, false);
        queue().Restart(writer);
        video().SetSyncOff(true);
    }
    ~VideoThreadRig() { video().Stop(INFINITE); }

    CVBuffer2& queue() { return engine->m_channel.VideoQueue(); }
    CVideoCtx& video() { return engine->m_channel.VideoCtx(); }

    // Pushes a packet; for pictures, waits until it is shown.
    bool Push(int type, const std::uint8_t* data, std::size_t size, int position, std::int64_t pts = 0)
    {
        const std::uint64_t shown = video().ShownCount();
        if (size > 0)
            std::memcpy(writer.data, data, size);
        writer.size = static_cast<int>(size);
        writer.type = type;
        writer.position = position;
        writer.pts = pts;
        writer.rate = 25;
        if (!queue().Push(writer))
            return false;
        if (type != PKT_KEY_FRAME && type != PKT_FRAME)
            return true;
        const ULONGLONG end = GetTickCount64() + 20000;
        while (video().ShownCount() == shown && GetTickCount64() < end)
            Sleep(1);
        return video().ShownCount() > shown;
    }
    bool Push(int type, const AccessUnit& p, int position, std::int64_t pts = 0)
    {
        return Push(type, p.data.data(), p.data.size(), position, pts);
    }
    std::vector<std::uint8_t> Shown()
    {
        std::vector<std::uint8_t> out;
        int w = 0, hh = 0;
        video().CopyBackBuffer(out, &w, &hh);
        return out;
    }

    std::unique_ptr<CJtvCtrl> engine;
    HJTV h = nullptr;
    bool ok = false;
    PacketDesc writer;
};

std::vector<std::uint8_t> ReferenceFrame(const std::string& path, int n, int w, int h)
{
    const std::string all =
        CommandOutput("ffmpeg -v error -i '" + path + "' -map 0:v -pix_fmt bgra -f rawvideo -");
    const std::size_t frame = static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4;
    if (all.size() < frame * static_cast<std::size_t>(n + 1))
        return {};
    return std::vector<std::uint8_t>(all.begin() + static_cast<std::ptrdiff_t>(frame * n),
                                     all.begin() + static_cast<std::ptrdiff_t>(frame * (n + 1)));
}

// Ten silent 320 x 240 pictures, a key picture every five.
struct SilentRecording {
    SilentRecording()
    {
        rec.width = 320;
        rec.height = 240;
        rec.fps = 25;
        rec.gop = 5;
        rec.seconds = 0.4;
        rec.audio = false;
        rec.info_hz = 0;
        path = dir.file("rec.ts");
        recgen::RecordingInfo info;
        written = recgen::WriteRecording(rec, path, &info);
        units = ReadAccessUnits(path);
    }
    std::vector<std::uint8_t> Picture(int n) const { return ReferenceFrame(path, n, rec.width, rec.height); }

    TempDir dir;
    recgen::RecordingSpec rec;
    std::string path;
    bool written = false;
    std::vector<AccessUnit> units;
};

}  // namespace

TEST(OsdPlayback, StatisticsShowTheGroupLengthAndTheSoundsTimeAndWait)
{
    av_log_set_level(AV_LOG_ERROR);
    const SilentRecording recording;
    ASSERT_TRUE(recording.written);
    const recgen::RecordingSpec& rec = recording.rec;
    const std::vector<AccessUnit>& packets = recording.units;
    ASSERT_EQ(packets.size(), 10u);
    ASSERT_TRUE(packets[0].key && packets[5].key);
    ASSERT_EQ(packets[5].data[4], 0x67) << "a key picture led by its sequence parameters";
    const std::vector<std::uint8_t> reference = recording.Picture(5);
    ASSERT_FALSE(reference.empty());

    VideoThreadRig rig;
    ASSERT_TRUE(rig.ok);
    JtvSetOsdTime(rig.h, 2, RGB(255, 255, 255));
    JtvSetOsdMusic(rig.h, 1, RGB(255, 255, 255));

    // Sound heard 100 ms after its start while 40 ms of it were played: it lags.
    CAudioCtx& audio = rig.engine->m_channel.AudioCtx();
    std::atomic<std::int64_t> audioTicks{1000};
    audio.SetTickSource([&] { return audioTicks.load(); });
    PacketDesc sound;
    sound.type = PKT_AAC_FRAME;
    sound.pts = 960000;
    audio.SyncTimestamp(sound);
    audioTicks = 1100;
    sound.pts = 1000000;
    audio.SyncTimestamp(sound);
    const std::int64_t wait = audio.Drift() * audio.DriftSign();
    ASSERT_NE(wait, 0);

    ASSERT_TRUE(rig.video().Start());
    ASSERT_TRUE(rig.Push(PKT_CARD_RESET, nullptr, 0, 1));
    for (int i = 0; i < 6; ++i)
        ASSERT_TRUE(rig.Push(packets[static_cast<std::size_t>(i)].key ? PKT_KEY_FRAME : PKT_FRAME,
                             packets[static_cast<std::size_t>(i)], 1 + i, 1000000 + 40000 * i))
            << i;

    // Four pictures followed the first key picture; the sound's time and wait as measured.
    const int lag = rig.engine->m_fps[0]->Lag();
    const std::string lines[] = {
        " pts = 1200000 Apts =1000000",
        "fps:  0, bps:    0 kbps, P/I:  4",
        "video: q =  1, c =    0 KB",
        "audio: q =  0, c =    0 KB",
        "music Synchronous: " + std::to_string(lag) + " ms ",
        "m_musicWait : " + std::to_string(wait) + " ",
    };
    std::vector<std::uint8_t> expected = reference;
    for (int i = 0; i < 6; ++i)
        DrawLine(expected, rec.width, rec.height, RGB(255, 255, 255), 10, 100 + 24 * i, lines[i]);
    EXPECT_TRUE(rig.Shown() == expected) << "the statistics lines over the decoded picture";
}

TEST(OsdPlayback, VehicleLinesGoAfterAPositionJumpAndANewOpen)
{
    av_log_set_level(AV_LOG_ERROR);
    const SilentRecording recording;
    ASSERT_TRUE(recording.written);
    const recgen::RecordingSpec& rec = recording.rec;
    ASSERT_FALSE(recording.units.empty());
    const AccessUnit& key = recording.units[0];
    const std::vector<std::uint8_t> plain = recording.Picture(0);
    ASSERT_FALSE(plain.empty());

    VideoThreadRig rig;
    ASSERT_TRUE(rig.ok);
    JtvSetEdrFont(rig.h, 10, 10, RGB(0, 255, 0), 18, "DejaVu Sans");
    // Speed 60 km/h, 3000 rpm, load 30 %, 19.0 V, 20 degrees, throttle 80 %.
    const std::string obd = "0000" "3C0BB81E5A3C5000";
    std::vector<std::uint8_t> withLines = plain;
    {
        HBITMAP b = gdi::CreateBitmapOver(rec.width, rec.height, withLines.data(), rec.width * 4);
        HDC dc = CreateCompatibleDC(nullptr);
        SelectObject(dc, b);
        HFONT f = CreateFont(18, 0, 0, 0, 900, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "DejaVu Sans");
        SelectObject(dc, f);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0, 255, 0));
        const char* lines[] = {"Speed: 60.0 Km/h", "RPM: 3000", "Engine Loading: 30%", "Battery Voltage: 19.0 V",
                               "Engine Temperature: 20 C", "Throttle Position: 80%"};
        for (int i = 0; i < 6; ++i)
            TextOut(dc, 10, 10 + 20 * i, lines[i], static_cast<int>(std::strlen(lines[i])));
        DeleteDC(dc);
        DeleteObject(f);
        DeleteObject(b);
    }
    const auto obdAt = [&](int position) {
        return rig.Push(PKT_OBD_TEXT, reinterpret_cast<const std::uint8_t*>(obd.data()), obd.size(), position);
    };

    ASSERT_TRUE(rig.video().Start());
    ASSERT_TRUE(rig.Push(PKT_CARD_RESET, nullptr, 0, 100));
    ASSERT_TRUE(obdAt(100));
    ASSERT_TRUE(rig.Push(PKT_KEY_FRAME, key, 101));
    EXPECT_TRUE(rig.Shown() == withLines) << "the vehicle lines of the position";
    ASSERT_TRUE(rig.Push(PKT_KEY_FRAME, key, 104));
    EXPECT_TRUE(rig.Shown() == withLines) << "a few thousandths on: still the same values";

    // A seek: the position jumps, the values belong to another moment.
    ASSERT_TRUE(rig.Push(PKT_KEY_FRAME, key, 400));
    EXPECT_TRUE(rig.Shown() == plain) << "no vehicle lines after the jump";
    ASSERT_TRUE(obdAt(400));
    ASSERT_TRUE(rig.Push(PKT_KEY_FRAME, key, 401));
    EXPECT_TRUE(rig.Shown() == withLines) << "new values bring the lines back";

    // A new open starts without the last one's values, even before its position moves.
    rig.video().Stop(INFINITE);
    rig.queue().Restart(rig.writer);
    ASSERT_TRUE(rig.video().Start());
    ASSERT_TRUE(rig.Push(PKT_CARD_RESET, nullptr, 0, 1));
    ASSERT_TRUE(rig.Push(PKT_KEY_FRAME, key, 3));
    EXPECT_TRUE(rig.Shown() == plain) << "no vehicle lines after a new open at the recording's start";
}
