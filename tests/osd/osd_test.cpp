#include "engine/Jtv.h"
#include "engine/JtvCtrl.h"
#include "engine/Osd.h"
#include "engine/PacketQueue.h"
#include "platform/gdi/gdi.h"
#include "tests/support/media_probe.h"
#include "tests/support/local_zone.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kGrey = 0xFF404040;

// A BGRA picture as 32-bit words.
struct Picture {
    Picture(int w, int h) : width(w), height(h), px(static_cast<std::size_t>(w) * h, kGrey) {}
    std::uint8_t* bytes() { return reinterpret_cast<std::uint8_t*>(px.data()); }
    std::uint32_t at(int x, int y) const { return px[static_cast<std::size_t>(y) * width + x]; }
    int width;
    int height;
    std::vector<std::uint32_t> px;
};

std::uint32_t Pixel(COLORREF c)
{
    return 0xFF000000u | (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

HFONT MakeFont(const JtvFontSpec& f)
{
    return CreateFont(f.height, 0, 0, 0, f.weight, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0,
                      f.face.empty() ? nullptr : f.face.c_str());
}

// Independent drawing of one line, as the text should appear.
void Reference(Picture& p, const JtvFontSpec& font, COLORREF colour, int x, int y, const std::string& text)
{
    HBITMAP b = gdi::CreateBitmapOver(p.width, p.height, p.bytes(), p.width * 4);
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, b);
    HFONT f = MakeFont(font);
    SelectObject(dc, f);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colour);
    TextOut(dc, x, y, text.c_str(), static_cast<int>(text.size()));
    DeleteDC(dc);
    DeleteObject(f);
    DeleteObject(b);
}

// The box a line occupies when drawn at (x, y).
RECT Box(const JtvFontSpec& font, int x, int y, const std::string& text)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT f = MakeFont(font);
    SelectObject(dc, f);
    SIZE size{};
    GetTextExtentPoint32(dc, text.c_str(), static_cast<int>(text.size()), &size);
    DeleteDC(dc);
    DeleteObject(f);
    return RECT{x, y, x + size.cx + 2, y + size.cy};  // a glyph may overhang its advance a little
}

bool Inside(const RECT& r, int x, int y)
{
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// Every changed pixel lies in one of the boxes, and each box holds at least `min` pixels of
// exactly the text colour.
void ExpectTextOnlyIn(const Picture& p, const std::vector<RECT>& boxes, std::uint32_t colour, int min = 20)
{
    std::vector<int> exact(boxes.size(), 0);
    int stray = 0;
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            if (p.at(x, y) == kGrey)
                continue;
            bool in = false;
            for (std::size_t i = 0; i < boxes.size(); ++i) {
                if (Inside(boxes[i], x, y)) {
                    in = true;
                    if (p.at(x, y) == colour)
                        ++exact[i];
                }
            }
            if (!in && stray++ < 3)
                ADD_FAILURE() << "text pixel outside its box at " << x << "," << y;
        }
    }
    for (std::size_t i = 0; i < boxes.size(); ++i)
        EXPECT_GE(exact[i], min) << "box " << i << " at " << boxes[i].left << "," << boxes[i].top;
}

ObdValues Car()
{
    ObdValues c;
    c.valid = true;
    c.speed = 100;
    c.rpm = 2500;
    c.engineLoad = 37;
    c.batteryVoltage = 12.6;
    c.engineTemperature = 90;
    c.throttle = 8;
    c.flags = 0;
    return c;
}

const JtvFontSpec kOsdFont{24, 0, {}};
const JtvFontSpec kCarFont{18, 900, "DejaVu Sans"};

}  // namespace

TEST(OsdText, CarLinesFollowTheUnits)
{
    ObdValues c = Car();
    auto lines = OsdCarLines(c, 0, 0);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "Speed: 100.0 Km/h");
    EXPECT_EQ(lines[1], "RPM: 2500");
    EXPECT_EQ(lines[2], "Engine Loading: 37%");
    EXPECT_EQ(lines[3], "Battery Voltage: 12.6 V");
    EXPECT_EQ(lines[4], "Engine Temperature: 90 C");
    EXPECT_EQ(lines[5], "Throttle Position:  8%");

    EXPECT_EQ(OsdCarLines(c, 1, 0)[0], "Speed: 62.1 Mile/h");
    EXPECT_EQ(OsdCarLines(c, 2, 0)[0], "Speed: 54.0 Knot");
    // A unit outside the table reads no memory beyond it.
    EXPECT_EQ(OsdCarLines(c, 3, 0)[0], "Speed: 100.0 Km/h");
    EXPECT_EQ(OsdCarLines(c, -1, 0)[0], "Speed: 100.0 Km/h");

    c.engineTemperature = 100;
    EXPECT_EQ(OsdCarLines(c, 0, 1)[4], "Engine Temperature: 212 F");
    c.engineTemperature = -40;
    EXPECT_EQ(OsdCarLines(c, 0, 1)[4], "Engine Temperature: -40 F");
    EXPECT_EQ(OsdCarLines(c, 0, 0)[4], "Engine Temperature: -40 C");

    c.flags = 0x80;
    lines = OsdCarLines(c, 0, 0);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[6], "Emergency Braking");
    c.flags = 0x7F;
    EXPECT_EQ(OsdCarLines(c, 0, 0).size(), 6u);
}

TEST(OsdText, SpeedLabels)
{
    EXPECT_EQ(OsdSpeedLabel(2.0), "2x");
    EXPECT_EQ(OsdSpeedLabel(8.0), "8x");
    EXPECT_EQ(OsdSpeedLabel(-1.0), "-1x");
    EXPECT_EQ(OsdSpeedLabel(0.5), "1/2x");
    EXPECT_EQ(OsdSpeedLabel(0.25), "1/4x");
    EXPECT_EQ(OsdSpeedLabel(0.125), "1/8x");
    EXPECT_EQ(OsdSpeedLabel(1.0), "");
    EXPECT_EQ(OsdSpeedLabel(1.1), "");
    EXPECT_EQ(OsdSpeedLabel(-1.1), "");
    // Speeds where the power of two has no value: no label rather than undefined arithmetic.
    EXPECT_EQ(OsdSpeedLabel(0.0), "");
    EXPECT_EQ(OsdSpeedLabel(-0.0), "");
    EXPECT_EQ(OsdSpeedLabel(std::nan("")), "");
    EXPECT_EQ(OsdSpeedLabel(1e-300), "");
    EXPECT_EQ(OsdSpeedLabel(-2.0), "-2x");
    EXPECT_EQ(OsdSpeedLabel(-0.5), "-1/2x");
}

// date(1)'s rendering of a calendar time in a zone.
std::string DateInZone(const char* zone, std::int64_t t)
{
    std::string out = mediaprobe::Shell(std::string("TZ=") + zone + " date -d @" + std::to_string(t) + " '+%Y-%m-%d %H:%M:%S'");
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

TEST(OsdText, TimeLineIsLocalTimeWithDaylightSaving)
{
    // A summer and a winter moment in zones with and without daylight saving.
    for (const char* zone : {"Europe/Berlin", "America/New_York", "Asia/Taipei", "UTC"}) {
        LocalZone local(zone);
        for (std::int64_t t : {std::int64_t{1690000000}, std::int64_t{1700000000}, std::int64_t{0}}) {
            const std::string expected = DateInZone(zone, t);
            ASSERT_EQ(expected.size(), 19u) << zone;
            EXPECT_EQ(OsdTimeText(t), expected) << zone << " " << t;
        }
    }
}

class OsdDrawTest : public ::testing::Test {
protected:
    Picture Draw(const OsdSettings& s, const OsdFrame& f)
    {
        Picture p(f.width, f.height);
        EXPECT_TRUE(DrawOsdOnPicture(p.bytes(), f.width * 4, s, f));
        return p;
    }
    OsdFrame Frame(int w, int h)
    {
        OsdFrame f;
        f.width = w;
        f.height = h;
        f.playTime = 1700000000;
        return f;
    }
    ObdValues car_ = Car();
};

TEST_F(OsdDrawTest, NothingIsDrawnWhileEveryPartIsOff)
{
    OsdSettings s;
    s.timeMode = 0;
    s.music = 0;
    s.edrFont = kCarFont;
    OsdFrame f = Frame(320, 240);
    EXPECT_EQ(Draw(s, f).px, Picture(320, 240).px) << "no car values";

    ObdValues invalid = car_;
    invalid.valid = false;
    f.car = &invalid;
    EXPECT_EQ(Draw(s, f).px, Picture(320, 240).px) << "car values not valid";

    s.edrFont = {};
    f.car = &car_;
    EXPECT_EQ(Draw(s, f).px, Picture(320, 240).px) << "no car-data font made";

    s.timeMode = 3;
    EXPECT_EQ(Draw(s, f).px, Picture(320, 240).px) << "unknown time mode";

    EXPECT_FALSE(DrawOsdOnPicture(nullptr, 0, s, Frame(0, 0)));
}

TEST_F(OsdDrawTest, CarBlockGrowsDownwardFromTheTopLeft)
{
    OsdSettings s;
    s.edrFont = kCarFont;
    s.edrX = 12;
    s.edrY = 30;
    s.edrColour = RGB(0, 255, 0);
    OsdFrame f = Frame(640, 480);
    car_.flags = 0x80;
    f.car = &car_;
    const Picture p = Draw(s, f);
    const auto lines = OsdCarLines(car_, 0, 0);
    ASSERT_EQ(lines.size(), 7u);
    std::vector<RECT> boxes;
    for (std::size_t i = 0; i < lines.size(); ++i)
        boxes.push_back(Box(kCarFont, 12, 30 + 20 * static_cast<int>(i), lines[i]));
    ExpectTextOnlyIn(p, boxes, Pixel(RGB(0, 255, 0)));

    Picture ref(640, 480);
    for (std::size_t i = 0; i < lines.size(); ++i)
        Reference(ref, kCarFont, RGB(0, 255, 0), 12, 30 + 20 * static_cast<int>(i), lines[i]);
    EXPECT_EQ(p.px, ref.px);
}

TEST_F(OsdDrawTest, NegativeOffsetsCountFromTheRightAndBottomAndGrowUpward)
{
    OsdSettings s;
    s.edrFont = kCarFont;
    s.edrX = -190;
    s.edrY = -30;
    s.edrColour = RGB(255, 255, 0);
    s.speedUnit = 1;
    OsdFrame f = Frame(800, 600);
    f.car = &car_;
    const Picture p = Draw(s, f);
    const auto lines = OsdCarLines(car_, 1, 0);
    // "Speed" is the lowest line, at 600 - 30; each further line 20 pixels higher.
    Picture ref(800, 600);
    std::vector<RECT> boxes;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int y = 570 - 20 * static_cast<int>(i);
        Reference(ref, kCarFont, RGB(255, 255, 0), 610, y, lines[i]);
        boxes.push_back(Box(kCarFont, 610, y, lines[i]));
    }
    EXPECT_EQ(p.px, ref.px);
    ExpectTextOnlyIn(p, boxes, Pixel(RGB(255, 255, 0)));

    // The time line likewise: x from the right edge, y from the bottom edge plus 40.
    OsdSettings t;
    t.timeMode = 1;
    t.timeX = -300;
    t.timeY = -100;
    t.osdColour = RGB(0, 0, 255);
    const Picture q = Draw(t, Frame(800, 600));
    const std::string time = OsdTimeText(1700000000);
    ExpectTextOnlyIn(q, {Box(kOsdFont, 500, 540, time)}, Pixel(RGB(0, 0, 255)));
}

TEST_F(OsdDrawTest, TimeLineInTheOsdColourAtItsPlace)
{
    OsdSettings s;
    s.timeMode = 1;
    s.osdColour = RGB(0, 255, 255);
    LocalZone local("Asia/Taipei");
    const Picture p = Draw(s, Frame(640, 480));
    const std::string time = "2023-11-15 06:13:20";
    ExpectTextOnlyIn(p, {Box(kOsdFont, 10, 100, time)}, Pixel(RGB(0, 255, 255)));
    Picture ref(640, 480);
    Reference(ref, kOsdFont, RGB(0, 255, 255), 10, 100, time);
    EXPECT_EQ(p.px, ref.px);
}

TEST_F(OsdDrawTest, StatisticsReplaceTheTimeAndMusicLinesFollow)
{
    OsdSettings s;
    s.timeMode = 2;
    s.music = 1;
    s.osdColour = RGB(255, 255, 255);
    OsdFrame f = Frame(1280, 720);
    f.videoPts = 123456;
    f.audioPts = 123000;
    f.framesPerSecond = 30;
    f.bytesPerSecond = 256000;
    f.piValue = 3;
    f.videoPackets = 12;
    f.videoBytes = 300 * 1024;
    f.audioPackets = 4;
    f.audioBytes = 2048;
    f.musicLagMs = -15;
    f.musicWait = 7;
    const Picture p = Draw(s, f);
    const std::vector<std::string> lines{
        " pts = 123456 Apts =123000", "fps: 30, bps: 2000 kbps, P/I:  3", "video: q = 12, c =  300 KB",
        "audio: q =  4, c =    2 KB", "music Synchronous: -15 ms ",  "m_musicWait : 7 ",
    };
    Picture ref(1280, 720);
    for (std::size_t i = 0; i < lines.size(); ++i)
        Reference(ref, kOsdFont, RGB(255, 255, 255), 10, 100 + 24 * static_cast<int>(i), lines[i]);
    EXPECT_EQ(p.px, ref.px) << "the four statistics lines and the two music lines, no time line";
}

TEST_F(OsdDrawTest, SpeedLabelSitsAtTheBottomLeftFollowingTheCrop)
{
    OsdSettings s;
    OsdFrame f = Frame(320, 240);
    f.speed = 0.25;
    f.cropLeft = 5;
    f.cropBottom = -7;
    const Picture p = Draw(s, f);
    ExpectTextOnlyIn(p, {Box(kOsdFont, 35, 195, "1/4x")}, Pixel(RGB(255, 0, 0)));

    OsdFrame big = Frame(1280, 720);
    big.speed = 2.0;
    const Picture q = Draw(s, big);
    Picture ref(1280, 720);
    Reference(ref, kOsdFont, RGB(255, 0, 0), 42, 688, "2x");
    EXPECT_EQ(q.px, ref.px);

    big.speed = 1.0;
    EXPECT_EQ(Draw(s, big).px, Picture(1280, 720).px);
}

TEST(OsdEngine, ChannelDrawUsesTheEngineSettingsAndValues)
{
    auto engine = std::make_unique<CJtvCtrl>();
    const HJTV h = reinterpret_cast<HJTV>(engine.get());
    JtvSetOsdTime(h, 1, RGB(0, 255, 0));
    LocalZone local("Asia/Tokyo");
    JtvSetEdrFont(h, -200, 20, RGB(255, 0, 255), 18, "DejaVu Sans");
    JtvSetEdrUnits(h, 2, 1);
    engine->m_channelPlayTime[0] = 1700000000;
    engine->m_playSpeed = 4.0;
    JtvSetCrop(h, 0, 3, 0, 0, -4);

    ObdValues car = Car();
    Picture p(640, 480);
    DrawChannelOsd(*engine, 0, car, 0, p.bytes(), 640, 480);

    Picture ref(640, 480);
    const auto lines = OsdCarLines(car, 2, 1);
    for (std::size_t i = 0; i < lines.size(); ++i)
        Reference(ref, kCarFont, RGB(255, 0, 255), 440, 20 + 20 * static_cast<int>(i), lines[i]);
    Reference(ref, kOsdFont, RGB(0, 255, 0), 10, 100, "2023-11-15 07:13:20");
    Reference(ref, kOsdFont, RGB(255, 0, 0), 45, 444, "4x");
    EXPECT_EQ(p.px, ref.px);

    // Another channel is not drawn.
    Picture untouched(64, 48);
    DrawChannelOsd(*engine, 1, car, 0, untouched.bytes(), 64, 48);
    EXPECT_EQ(untouched.px, Picture(64, 48).px);
}

TEST(OsdEngine, StatisticsCountTheQueuedPicturesWithoutTheRecords)
{
    auto engine = std::make_unique<CJtvCtrl>();
    ASSERT_TRUE(engine->CreateChannels());
    JtvSetOsdTime(reinterpret_cast<HJTV>(engine.get()), 2, RGB(255, 255, 255));
    CVBuffer2& queue = *engine->m_videoQueue[0];
    ASSERT_TRUE(queue.Create(kVideoRingBytes, kVideoMaxPacket, false));
    PacketDesc d;
    queue.Restart(d);
    for (int type : {PKT_KEY_FRAME, PKT_FRAME}) {
        d.type = type;
        d.size = 16;
        ASSERT_TRUE(queue.Push(d));
    }
    CarInfoRecord record = MakeCarInfoRecord();
    PacketDesc r = d;  // records point at their own place, not into the ring
    r.type = PKT_CAR_INFO;
    r.data = reinterpret_cast<BYTE*>(&record);
    r.size = static_cast<std::int32_t>(sizeof record);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(queue.Push(r));

    Picture p(640, 480), ref(640, 480);
    DrawChannelOsd(*engine, 0, ObdValues{}, 0, p.bytes(), 640, 480);
    // The two pictures and the place in use (the first one again, as nothing was taken yet).
    char video[64];
    std::snprintf(video, sizeof video, "video: q =  3, c = %4d KB", static_cast<int>(queue.UsedBytes() / 1024));
    const std::vector<std::string> lines{" pts = 0 Apts =0", "fps:  0, bps:    0 kbps, P/I:  0", video,
                                         "audio: q =  0, c =    0 KB"};
    for (std::size_t i = 0; i < lines.size(); ++i)
        Reference(ref, kOsdFont, RGB(255, 255, 255), 10, 100 + 24 * static_cast<int>(i), lines[i]);
    EXPECT_EQ(p.px, ref.px);
}
