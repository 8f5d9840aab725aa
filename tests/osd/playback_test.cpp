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
#include "tests/support/media_probe.h"
#include "tests/support/local_zone.h"
#include "tests/support/access_units.h"
#include "tests/support/recipes.h"
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

constexpr int kWidth = 320, kHeight = 240;

// Lines of text over a BGRA picture of kWidth x kHeight, `step` pixels apart from (x, y) on, as
// the OSD draws them: transparent, in `colour`, in the font of `height`, `weight` and `face`.
void DrawLines(std::vector<std::uint8_t>& bgra, COLORREF colour, int x, int y, const std::vector<std::string>& lines,
               int step = 24, int height = 24, int weight = 0, const char* face = nullptr)
{
    HBITMAP b = gdi::CreateBitmapOver(kWidth, kHeight, bgra.data(), kWidth * 4);
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, b);
    HFONT f = CreateFont(height, 0, 0, 0, weight, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, face);
    SelectObject(dc, f);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colour);
    for (std::size_t i = 0; i < lines.size(); ++i)
        TextOut(dc, x, y + step * static_cast<int>(i), lines[i].c_str(), static_cast<int>(lines[i].size()));
    DeleteDC(dc);
    DeleteObject(f);
    DeleteObject(b);
}

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
        EXPECT_TRUE(video().CopyBackBuffer(out, &w, &hh));
        EXPECT_EQ(w, kWidth);
        EXPECT_EQ(hh, kHeight);
        return out;
    }

    std::unique_ptr<CJtvCtrl> engine;
    HJTV h = nullptr;
    bool ok = false;
    PacketDesc writer;
};

// Ten silent 320 x 240 pictures, a key picture every five.
struct SilentRecording {
    SilentRecording()
    {
        rec = PicturesRecipe(kWidth, kHeight, 25, 5, 0.4);
        path = dir.file("rec.ts");
        recgen::RecordingInfo info;
        written = recgen::WriteRecording(rec, path, &info);
        units = ReadAccessUnits(path);
    }
    // Picture n as FFmpeg decodes it, empty when there is none.
    std::vector<std::uint8_t> Picture(int n) const
    {
        const std::string all = mediaprobe::Shell("ffmpeg -v error -i '" + path + "' -map 0:v -pix_fmt bgra -f rawvideo -");
        const std::size_t frame = std::size_t{kWidth} * kHeight * 4;
        if (all.size() < frame * static_cast<std::size_t>(n + 1))
            return {};
        return std::vector<std::uint8_t>(all.begin() + static_cast<std::ptrdiff_t>(frame * n),
                                         all.begin() + static_cast<std::ptrdiff_t>(frame * (n + 1)));
    }

    TempDir dir;
    recgen::RecordingSpec rec;
    std::string path;
    bool written = false;
    std::vector<AccessUnit> units;
};

}  // namespace

TEST(OsdPlayback, ShownPictureCarriesTheTextAndASnapshotSavesIt)
{
    av_log_set_level(AV_LOG_ERROR);
    const SilentRecording recording;
    ASSERT_TRUE(recording.written);
    ASSERT_FALSE(recording.units.empty());
    ASSERT_TRUE(recording.units[0].key);
    std::vector<std::uint8_t> expected = recording.Picture(0);
    ASSERT_EQ(expected.size(), 320u * 240u * 4u);

    VideoThreadRig rig;
    ASSERT_TRUE(rig.ok);
    HWND notify = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    rig.engine->m_notifyWindow[0].store(notify);
    rig.engine->m_open.store(1);
    JtvSetOsdTime(rig.h, 1, RGB(255, 255, 0));
    LocalZone local("UTC");
    rig.engine->m_channelPlayTime[0] = 1700000000;
    rig.engine->m_playSpeed = 2.0;  // a label as well; key pictures are still shown

    // Before the first picture: the folders are made and the values kept, but nothing is taken.
    EXPECT_FALSE(JtvRequestSnapshot(rig.h, 1, 5, RGB(1, 2, 3), recording.dir.file("early/img_tag")));
    EXPECT_TRUE(std::filesystem::is_directory(recording.dir.file("early")));
    EXPECT_TRUE(std::filesystem::is_empty(recording.dir.file("early")));
    EXPECT_EQ(rig.engine->m_snapshotFormat, 1);
    EXPECT_EQ(rig.engine->m_snapshotOption, 5);
    EXPECT_EQ(rig.engine->m_snapshotColour, RGB(1, 2, 3));
    EXPECT_EQ(rig.engine->m_snapshotTaken, 0);

    ASSERT_TRUE(rig.video().Start());
    ASSERT_TRUE(rig.Push(PKT_CARD_RESET, nullptr, 0, 0));
    ASSERT_TRUE(rig.Push(PKT_KEY_FRAME, recording.units[0], 0, recording.units[0].pts_us));
    ASSERT_EQ(rig.video().ShownCount(), 1u);

    // With a picture on the screen, refused names and folders take none: no handle, no name, a
    // file where a folder must go, a folder the system refuses to make.
    EXPECT_FALSE(JtvRequestSnapshot(nullptr, 1, 0, 255, "x"));
    EXPECT_FALSE(JtvRequestSnapshot(rig.h, 1, 0, 255, ""));
    recording.dir.write("file", "x");
    EXPECT_FALSE(JtvRequestSnapshot(rig.h, 1, 0, 255, recording.dir.file("file/sub/img_tag")));
    EXPECT_FALSE(JtvRequestSnapshot(rig.h, 0, 0, 255, "/proc/qv-no-such/img_tag"));
    EXPECT_FALSE(std::filesystem::exists("/proc/qv-no-such"));
    EXPECT_EQ(rig.engine->m_snapshotTaken, 0) << "a refused request took the picture";
    const std::vector<std::uint8_t> shown = rig.Shown();
    DrawLines(expected, RGB(255, 255, 0), 10, 100, {"2023-11-14 22:13:20"});
    DrawLines(expected, RGB(255, 0, 0), 30, 202, {"2x"});
    EXPECT_TRUE(shown == expected) << "the decoded picture with the time line and the speed label";

    // The snapshot: the shown picture (text included), 1.5 times as large, in a new folder.
    const std::string name = recording.dir.file("snaps/day/img-2023-11-14_22-13-20_abc");
    EXPECT_TRUE(JtvRequestSnapshot(rig.h, 0, 0, 255, name));
    const std::string file = recording.dir.file("snaps/day/img-2023-11-14_22-13-20_.bmp");
    ASSERT_TRUE(std::filesystem::exists(file));
    const std::string saved = mediaprobe::Shell("ffmpeg -v error -i '" + file + "' -f rawvideo -pix_fmt bgra -");
    ASSERT_EQ(saved.size(), 480u * 360u * 4u);
    int wrong = 0;
    for (int y = 0; y < 360 && wrong < 3; ++y)
        for (int x = 0; x < 480; ++x) {
            const std::size_t s = (static_cast<std::size_t>((2 * y + 1) / 3) * 320 + (2 * x + 1) / 3) * 4;  // centres
            const std::size_t d = (static_cast<std::size_t>(y) * 480 + x) * 4;
            if (std::memcmp(&shown[s], &saved[d], 3) != 0 && wrong++ < 3)
                ADD_FAILURE() << "pixel " << x << "," << y;
        }

    // The picture on the screen is taken; the next one is not yet. A snapshot saved while the
    // video thread blocks it (it replaces the picture) does not count as taken.
    EXPECT_EQ(rig.engine->m_snapshotTaken, 1);
    ASSERT_TRUE(recording.units[5].key);
    ASSERT_TRUE(rig.Push(PKT_KEY_FRAME, recording.units[5], 1, recording.units[5].pts_us));
    EXPECT_EQ(rig.engine->m_snapshotTaken, 0);
    rig.engine->m_snapshotBlocked = 1;
    EXPECT_TRUE(JtvRequestSnapshot(rig.h, 1, 0, 255, recording.dir.file("snaps/blocked_abc")));
    EXPECT_TRUE(std::filesystem::exists(recording.dir.file("snaps/blocked_.jpg")));
    EXPECT_EQ(rig.engine->m_snapshotTaken, 0);

    rig.video().Stop(INFINITE);
    DestroyMessageWindow(notify);
}

TEST(OsdPlayback, StatisticsShowTheGroupLengthAndTheSoundsTimeAndWait)
{
    av_log_set_level(AV_LOG_ERROR);
    const SilentRecording recording;
    ASSERT_TRUE(recording.written);
    ASSERT_EQ(recording.units.size(), 10u);
    ASSERT_TRUE(recording.units[0].key && recording.units[5].key);
    ASSERT_EQ(recording.units[5].data[4], 0x67) << "a key picture led by its sequence parameters";
    const std::vector<std::uint8_t> decoded = recording.Picture(5);
    ASSERT_FALSE(decoded.empty());

    // The second key picture's sequence parameters as encoders write them: behind a 4- or a
    // 3-byte start code, at any reference level. The decoding is the same.
    struct Form {
        const char* name;
        bool shortCode;
        std::uint8_t nal;
    };
    for (const Form form : {Form{"4-byte start code, 0x67", false, 0x67}, Form{"3-byte start code, 0x67", true, 0x67},
                            Form{"4-byte start code, 0x27", false, 0x27}, Form{"3-byte start code, 0x47", true, 0x47}}) {
        SCOPED_TRACE(form.name);
        std::vector<AccessUnit> packets = recording.units;
        packets[5].data[4] = form.nal;
        if (form.shortCode)
            packets[5].data.erase(packets[5].data.begin());

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
        std::vector<std::uint8_t> expected = decoded;
        DrawLines(expected, RGB(255, 255, 255), 10, 100,
                  {" pts = 1200000 Apts =1000000", "fps:  0, bps:    0 kbps, P/I:  4", "video: q =  1, c =    0 KB",
                   "audio: q =  0, c =    0 KB", "music Synchronous: " + std::to_string(lag) + " ms ",
                   "m_musicWait : " + std::to_string(wait) + " "});
        EXPECT_TRUE(rig.Shown() == expected) << "the statistics lines over the decoded picture";
    }
}

TEST(OsdPlayback, VehicleLinesGoAfterAPositionJumpAndANewOpen)
{
    av_log_set_level(AV_LOG_ERROR);
    const SilentRecording recording;
    ASSERT_TRUE(recording.written);
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
    DrawLines(withLines, RGB(0, 255, 0), 10, 10,
              {"Speed: 60.0 Km/h", "RPM: 3000", "Engine Loading: 30%", "Battery Voltage: 19.0 V",
               "Engine Temperature: 20 C", "Throttle Position: 80%"},
              20, 18, 900, "DejaVu Sans");
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
