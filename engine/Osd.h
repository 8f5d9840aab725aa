#pragma once
// The on-screen text: vehicle values, recording time or statistics, and the play-speed label,
// drawn into the picture before it is presented (so it scales with the window and shows in
// snapshots).

#include "engine/JtvCtrl.h"
#include "engine/ObdValues.h"
#include "platform/gdi/gdi_types.h"

#include <cstdint>
#include <string>
#include <vector>

// The settings behind the text, copied from the engine once per picture.
struct OsdSettings {
    JtvFontSpec osdFont{24, 0, {}};
    JtvFontSpec edrFont;  // weight 0: no car-data font was made
    int edrX = 0;
    int edrY = 0;
    COLORREF edrColour = 0;
    int speedUnit = 0;
    int temperatureUnit = 0;  // 0 Celsius, else Fahrenheit
    int timeMode = 0;         // 0 nothing, 1 the time line, 2 the statistics lines
    int music = 0;            // non-zero: the two audio-sync lines
    int timeX = 10;
    int timeY = 60;
    COLORREF osdColour = 255;
};

// What one picture shows.
struct OsdFrame {
    int width = 0;
    int height = 0;
    const ObdValues* car = nullptr;  // null or not valid: no car-data block
    std::int64_t playTime = 0;       // seconds since 1970
    double speed = 1.0;
    int cropLeft = 0;
    int cropBottom = 0;
    // Statistics.
    long long videoPts = 0;
    long long audioPts = 0;
    int framesPerSecond = 0;
    int bytesPerSecond = 0;
    int piValue = 0;
    int videoPackets = 0;
    int videoBytes = 0;
    int audioPackets = 0;
    int audioBytes = 0;
    int musicLagMs = 0;
    int musicWait = 0;
};

// The lines of the car-data block, first ("Speed") to last. An out-of-range speed unit counts
// as km/h.
std::vector<std::string> OsdCarLines(const ObdValues& car, int speedUnit, int temperatureUnit);
// "%Y-%m-%d %H:%M:%S" of `seconds` as local time (daylight saving included); empty when the
// time cannot be represented.
std::string OsdTimeText(std::int64_t seconds);
// The play-speed label; empty at normal speed, during frame steps and while stopped.
std::string OsdSpeedLabel(double speed);

// Draws the text into `dc`, whose picture is frame.width x frame.height. Fonts are left
// selected in the DC.
void DrawOsd(HDC dc, const OsdSettings& settings, const OsdFrame& frame);
// Draws the text into a BGRA picture of `pitch` bytes per row.
bool DrawOsdOnPicture(std::uint8_t* bgra, int pitch, const OsdSettings& settings, const OsdFrame& frame);

OsdSettings OsdSettingsOf(CJtvCtrl& engine);
// The video thread's call, with the back buffer's lock held: the engine's settings and the
// channel's values over the picture just converted.
void DrawChannelOsd(CJtvCtrl& engine, int channel, const ObdValues& car, std::uint64_t videoPts,
                    std::uint8_t* bgra, int width, int height);
