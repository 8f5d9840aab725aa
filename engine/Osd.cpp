#include "engine/Osd.h"

#include "engine/PacketQueue.h"
#include "platform/gdi/gdi.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

struct SpeedUnit {
    double factor;
    const char* text;
};
constexpr SpeedUnit kSpeedUnits[] = {{1.0, "Km/h"}, {0.6214, "Mile/h"}, {0.5399, "Knot"}};

template <class... Args>
std::string Format(const char* format, Args... args)
{
    char buffer[160];
    const int n = std::snprintf(buffer, sizeof buffer, format, args...);
    if (n < 0)
        return {};
    return std::string(buffer, static_cast<std::size_t>(std::min<int>(n, sizeof buffer - 1)));
}

HFONT MakeFont(const JtvFontSpec& font)
{
    return CreateFont(font.height, 0, 0, 0, font.weight, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0,
                      font.face.empty() ? nullptr : font.face.c_str());
}

void Line(HDC dc, int x, int y, const std::string& text)
{
    TextOut(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

// A negative setting counts from the far edge.
int FromEdge(int setting, int extent)
{
    return setting >= 0 ? setting : extent + setting;
}

}  // namespace

std::vector<std::string> OsdCarLines(const ObdValues& car, int speedUnit, int temperatureUnit)
{
    const SpeedUnit& unit = kSpeedUnits[speedUnit >= 0 && speedUnit <= 2 ? speedUnit : 0];
    const bool fahrenheit = temperatureUnit != 0;
    const int temperature = fahrenheit ? car.engineTemperature * 9 / 5 + 32 : car.engineTemperature;
    std::vector<std::string> lines{
        Format("Speed: %3.1f %s", car.speed * unit.factor, unit.text),
        Format("RPM: %4d", car.rpm),
        Format("Engine Loading: %2d%%", car.engineLoad),
        Format("Battery Voltage: %2.1f V", car.batteryVoltage),
        Format("Engine Temperature: %2d %c", temperature, fahrenheit ? 'F' : 'C'),
        Format("Throttle Position: %2d%%", car.throttle),
    };
    if ((car.flags & kObdEmergencyBraking) != 0)
        lines.emplace_back("Emergency Braking");
    return lines;
}

std::string OsdTimeText(std::int64_t seconds)
{
    const auto t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (localtime_r(&t, &tm) == nullptr)
        return {};
    char buffer[64];
    const std::size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &tm);
    return std::string(buffer, n);
}

std::string OsdSpeedLabel(double speed)
{
    // Normal play, the frame steps and a standstill carry no label; NaN neither.
    if (speed == 1.0 || speed == 1.1 || speed == -1.1 || speed == 0.0 || std::isnan(speed))
        return {};
    if (speed > 1.0 || speed <= -1.0)
        return Format("%0.0fx", speed);
    // Slower than normal: 1/N with N the power of two of the speed (log2 of a non-positive
    // speed is not a number, so backward slow speeds take the magnitude).
    const double n = std::pow(2.0, -std::log2(std::fabs(speed)));
    if (!(n < 2147483647.0))
        return {};
    return Format(speed < 0 ? "-1/%dx" : "1/%dx", static_cast<int>(n));
}

void DrawOsd(HDC dc, const OsdSettings& s, const OsdFrame& f)
{
    const int w = f.width;
    const int h = f.height;
    SetBkMode(dc, TRANSPARENT);

    HFONT edrFont = nullptr;
    if (f.car != nullptr && f.car->valid && s.edrFont.weight != 0)
        edrFont = MakeFont(s.edrFont);
    if (edrFont != nullptr) {
        SelectObject(dc, edrFont);
        SetTextColor(dc, s.edrColour);
        const int x = FromEdge(s.edrX, w);
        int y = FromEdge(s.edrY, h);
        const int step = s.edrY >= 0 ? 20 : -20;  // upward from the bottom edge
        for (const std::string& line : OsdCarLines(*f.car, s.speedUnit, s.temperatureUnit)) {
            Line(dc, x, y, line);
            y += step;
        }
    }

    HFONT osdFont = MakeFont(s.osdFont);
    SelectObject(dc, osdFont);
    SetTextColor(dc, s.osdColour);
    const int x = FromEdge(s.timeX, w);
    int y = FromEdge(s.timeY, h) + 40;
    const int step = s.timeY >= 0 ? 24 : -24;
    if (s.timeMode == 1) {
        const std::string time = OsdTimeText(f.playTime);
        if (!time.empty())
            Line(dc, x, y, time);
        y += step;
    } else if (s.timeMode == 2) {
        Line(dc, x, y, Format(" pts = %lld Apts =%lld", f.videoPts, f.audioPts));
        y += step;
        Line(dc, x, y,
             Format("fps: %2d, bps: %4d kbps, P/I: %2d", f.framesPerSecond,
                    static_cast<int>(static_cast<long long>(f.bytesPerSecond) * 8 / 1024), f.piValue));
        y += step;
        Line(dc, x, y, Format("video: q = %2d, c = %4d KB", f.videoPackets, f.videoBytes / 1024));
        y += step;
        Line(dc, x, y, Format("audio: q = %2d, c = %4d KB", f.audioPackets, f.audioBytes / 1024));
        y += step;
    }
    if (s.music != 0) {
        Line(dc, x, y, Format("music Synchronous: %d ms ", f.musicLagMs));
        y += step;
        Line(dc, x, y, Format("m_musicWait : %d ", f.musicWait));
    }

    const std::string label = OsdSpeedLabel(f.speed);
    if (!label.empty()) {
        const bool small = w < 640 || h < 480;
        const int ox = small ? 20 : 32;
        const int oy = small ? 2 : 8;
        SetTextColor(dc, RGB(255, 0, 0));
        Line(dc, ox + 10 + f.cropLeft, oy + h - 40 + f.cropBottom, label);
    }

    // A font deleted while selected lives on until the DC lets it go.
    if (edrFont != nullptr)
        DeleteObject(edrFont);
    if (osdFont != nullptr)
        DeleteObject(osdFont);
}

bool DrawOsdOnPicture(std::uint8_t* bgra, int pitch, const OsdSettings& settings, const OsdFrame& frame)
{
    if (bgra == nullptr || frame.width <= 0 || frame.height <= 0)
        return false;
    HBITMAP picture = gdi::CreateBitmapOver(frame.width, frame.height, bgra, pitch);
    if (picture == nullptr)
        return false;
    HDC dc = CreateCompatibleDC(nullptr);
    if (dc == nullptr) {
        DeleteObject(picture);
        return false;
    }
    SelectObject(dc, picture);
    DrawOsd(dc, settings, frame);
    DeleteDC(dc);
    DeleteObject(picture);
    return true;
}

OsdSettings OsdSettingsOf(CJtvCtrl& e)
{
    constexpr auto r = std::memory_order_relaxed;
    OsdSettings s;
    s.osdFont = e.OsdFont();
    s.edrFont = e.EdrFont();
    s.edrX = e.m_edrX.load(r);
    s.edrY = e.m_edrY.load(r);
    s.edrColour = e.m_edrColour.load(r);
    s.speedUnit = e.m_speedUnit.load(r);
    s.temperatureUnit = e.m_temperatureUnit.load(r);
    s.timeMode = e.m_osdTimeMode.load(r);
    s.music = e.m_osdMusic.load(r);
    s.timeX = e.m_timeX.load(r);
    s.timeY = e.m_timeY.load(r);
    s.osdColour = e.m_osdColour.load(r);
    return s;
}

void DrawChannelOsd(CJtvCtrl& e, int channel, const ObdValues& car, std::uint64_t videoPts, std::uint8_t* bgra,
                    int width, int height)
{
    if (channel < 0 || channel >= kJtvChannels)
        return;
    constexpr auto r = std::memory_order_relaxed;
    const OsdSettings settings = OsdSettingsOf(e);
    OsdFrame f;
    f.width = width;
    f.height = height;
    f.car = &car;
    f.playTime = e.m_channelPlayTime[channel].load(r);
    f.speed = e.m_playSpeed.load(r);
    const CropRect crop = e.Crop(channel);
    f.cropLeft = crop.left;
    f.cropBottom = crop.bottom;
    CAudioCtx* audio = e.m_audioCtx[channel];
    if (audio == nullptr && channel == 0)
        audio = &e.m_channel.AudioCtx();
    if (settings.music != 0) {
        if (e.m_fps[channel])
            f.musicLagMs = e.m_fps[channel]->Lag();
        // How far the sound runs behind the wall clock (negative: ahead), as last measured.
        if (audio != nullptr)
            f.musicWait = static_cast<int>(std::clamp<std::int64_t>(audio->Drift() * audio->DriftSign(), INT32_MIN, INT32_MAX));
    }
    if (settings.timeMode == 2) {
        f.videoPts = static_cast<long long>(videoPts);
        if (audio != nullptr)
            f.audioPts = static_cast<long long>(audio->LastAudioTimestamp());
        f.framesPerSecond = e.m_framesLastSecond[channel].load(r);
        f.bytesPerSecond = e.m_bytesLastSecond[channel].load(r);
        f.piValue = e.m_piValue[channel].load(r);
        if (CVBuffer2* q = e.m_videoQueue[channel]) {
            CCritSecsLock lock(*q);
            f.videoPackets = q->MediaCount();  // pictures and sound only, not records
            f.videoBytes = static_cast<int>(std::min<std::size_t>(q->UsedBytes(), 0x7FFFFFFF));
        }
        if (CABuffer2* q = e.m_audioQueue[channel]) {
            CCritSecsLock lock(*q);
            f.audioPackets = q->Count();
            f.audioBytes = static_cast<int>(std::min<std::size_t>(q->UsedBytes(), 0x7FFFFFFF));
        }
    }
    DrawOsdOnPicture(bgra, width * 4, settings, f);
}
