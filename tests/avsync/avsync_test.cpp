// Sound and pictures of a minute-long recording played at normal speed through the flat
// interface stay together: the tone beeps at the start of every second, and each beep must be
// heard within 100 ms of the moment the picture of that time is on the screen. The first
// second is the exception: the first picture is shown at once, while the first sound sits
// behind the output's lead of silence; the pictures then wait for the sound.
// The same holds through what a user does: after each change of speed, each seek and the change
// into the next file of a set has settled for a second at normal speed. There each second's beep
// has a tone of its own, so that a beep tells which second of the sound it is.

#include "engine/Jtv.h"
#include "engine/JtvCtrl.h"
#include "engine/SourceType.h"
#include "platform/base/clock.h"
#include "platform/base/message.h"
#include "platform/media/presenter.h"
#include "tests/avsync/device_watch.h"
#include "tests/support/playharness/harness.h"
#include "tests/support/tempdir.h"
#include "tests/support/tone_recording.h"
#include "tools/recgen/recgen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point t, Clock::time_point origin)
{
    return std::chrono::duration<double, std::milli>(t - origin).count();
}

constexpr int kFps = 25;
constexpr int kSeconds = 60;
constexpr int kRate = 8000;
// The decoded sound starts with the encoder's priming frame, dated at the first packet's time.
constexpr int kPrimingSamples = 1024;

// Sample indices at which a beep starts: a loud sample after at least 300 ms of quiet.
std::vector<std::size_t> BeepOnsets(const std::vector<std::int16_t>& s)
{
    std::vector<std::size_t> onsets;
    std::size_t quiet = kRate;  // the tap starts before the sound
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (std::abs(s[i]) > 2000) {
            if (quiet >= kRate * 3 / 10)
                onsets.push_back(i);
            quiet = 0;
        } else {
            ++quiet;
        }
    }
    return onsets;
}

}  // namespace

TEST(AudioVideoSync, BeepsAndTheirPicturesStayWithin100MsOverAMinute)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    av_log_set_level(AV_LOG_QUIET);
    TempDir dir;
    recgen::RecordingSpec recipe = ToneRecipe(kFps, kSeconds);
    recipe.gop = kFps;
    recipe.beep_seconds = 0.2;
    const std::string path = dir.file("beeps.ts");
    recgen::RecordingInfo info;
    ASSERT_TRUE(recgen::WriteRecording(recipe, path, &info)) << info.error;
    ASSERT_EQ(info.pictures.size(), static_cast<std::size_t>(kFps * kSeconds));
    ASSERT_FALSE(info.audio.empty());

    HJTV h = JtvCreate();
    ASSERT_NE(h, nullptr);
    auto* engine = reinterpret_cast<CJtvCtrl*>(h);
    HWND render = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    JtvSetRenderWindow(h, render, 0);

    // The wall time of every picture put on the screen.
    const Clock::time_point origin = Clock::now();
    std::mutex mutex;
    std::vector<double> presented;
    SetPresentHook([&](HWND window) {
        if (window != render)
            return;
        const double t = Ms(Clock::now(), origin);
        std::lock_guard<std::mutex> lock(mutex);
        presented.push_back(t);
    });

    ASSERT_EQ(JtvOpenFile(h, path), kSourceTs);
    ASSERT_TRUE(JtvOpenSourceBox(h, 0, 0, 0));
    DirectSoundBuffer* out = engine->m_channel.AudioCtx().Buffer();
    ASSERT_NE(out, nullptr) << "no audio output";

    DeviceWatch device(out, kRate, kSeconds + 10, [origin] { return Ms(Clock::now(), origin); });

    const ULONGLONG end = GetTickCount64() + (kSeconds + 30) * 1000;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (presented.size() >= info.pictures.size())
                break;
        }
        if (GetTickCount64() > end)
            break;
        Sleep(100);
    }
    Sleep(1500);  // the last beeps still in the output
    const std::vector<std::int16_t>& s = device.Stop();
    JtvDestroy(h);
    SetPresentHook({});
    DestroyPresenter(render);
    DestroyMessageWindow(render);

    std::vector<double> shown;
    {
        std::lock_guard<std::mutex> lock(mutex);
        shown = presented;
    }
    // At normal speed every picture is shown, once.
    ASSERT_EQ(shown.size(), info.pictures.size());

    const std::vector<std::size_t> onsets = BeepOnsets(s);
    ASSERT_EQ(onsets.size(), static_cast<std::size_t>(kSeconds)) << "beeps heard";
    // Wall time at which the picture of a media time (90 kHz) was on the screen, between the
    // pictures around it.
    auto onScreen = [&](double media) {
        const double first = static_cast<double>(info.pictures[0].pts);
        const double frame = 90000.0 / kFps;
        const double at = (media - first) / frame;
        const auto i = static_cast<std::size_t>(std::clamp(at, 0.0, static_cast<double>(shown.size() - 2)));
        return shown[i] + (at - static_cast<double>(i)) * (shown[i + 1] - shown[i]);
    };

    double worst = 0, sum = 0;
    std::vector<double> offsets;
    for (std::size_t k = 0; k < onsets.size(); ++k) {
        // Beep k starts k seconds into the sound, which starts with the first picture.
        const double media = static_cast<double>(info.audio[0].pts) +
                             (static_cast<double>(kPrimingSamples) / kRate + static_cast<double>(k)) * 90000.0;
        const double sound = device.Heard(onsets[k]);
        ASSERT_GE(sound, 0) << "beep " << k << " not matched to a device block";
        const double offset = onScreen(media) - sound;
        offsets.push_back(offset);
        if (k == 0)
            continue;
        worst = std::max(worst, std::fabs(offset));
        sum += offset;
        EXPECT_LT(std::fabs(offset), 100.0) << "beep " << k << ": picture " << offset << " ms after its sound";
    }
    std::printf("picture after its beep (ms):");
    for (double o : offsets)
        std::printf(" %.0f", o);
    std::printf("\nfrom the second beep on: mean %.1f ms, worst %.1f ms\n",
                sum / static_cast<double>(offsets.size() - 1), worst);
}

// --- the same beeps while the user changes speed, seeks and play crosses into the next file ---

namespace {

using playharness::Reference;
using playharness::Session;
using playharness::Shown;

// Each second's beep has a tone of its own, 500 + 200 x (second mod 5) Hz, so that a beep heard
// tells which second of the sound it is (within two and a half seconds either way).
constexpr double kBaseHz = 500.0, kStepHz = 200.0;
constexpr int kCycle = 5;
constexpr int kSetSeconds = 30;  // a multiple of the cycle: the codes run on across the files

struct Beep {
    std::size_t sample = 0;
    int code = -1;  // second mod kCycle; -1 when the tone matched none
};

// The tone of a beep from its zero crossings over 100 ms, from 10 ms after its onset.
std::vector<Beep> CodedBeeps(const std::vector<std::int16_t>& s)
{
    std::vector<Beep> out;
    for (std::size_t onset : BeepOnsets(s)) {
        const std::size_t from = onset + kRate / 100, to = from + kRate / 10;
        if (to > s.size())
            break;
        int crossings = 0;
        for (std::size_t i = from + 1; i < to; ++i)
            crossings += (s[i - 1] < 0) != (s[i] < 0);
        const double hz = crossings / 2.0 / 0.1;
        const double k = (hz - kBaseHz) / kStepHz;
        const int code = static_cast<int>(std::lround(k));
        out.push_back({onset, code >= 0 && code < kCycle && std::fabs(k - code) < 0.3 ? code : -1});
    }
    return out;
}

struct Change {
    double wall;
    double speed;  // in force after it
};

}  // namespace

TEST(AudioVideoSync, BeepsStayWithTheirPicturesThroughSpeedChangesSeeksAndAFileChange)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    av_log_set_level(AV_LOG_QUIET);
    TempDir dir;
    recgen::RecordingSpec recipe = ToneRecipe(kFps, kSetSeconds);
    recipe.gop = kFps;
    recipe.beep_seconds = 0.2;
    recipe.tone_hz = kBaseHz;
    recipe.tone_step_hz = kStepHz;
    recipe.tone_cycle = kCycle;
    std::vector<std::string> paths;
    std::string error;
    ASSERT_TRUE(recgen::WriteFolder(recipe, dir.file("card"), 2, false, &paths, nullptr, &error)) << error;
    Reference ref;
    for (std::size_t k = 0; k < paths.size(); ++k)
        ASSERT_TRUE(ref.Add(paths[k], kSetSeconds * static_cast<double>(k), &error)) << error;
    const int secondFile = static_cast<int>(ref.size() / 2);

    Session session(ref);
    ASSERT_TRUE(session.OpenFolder(dir.file("card")));
    auto* engine = reinterpret_cast<CJtvCtrl*>(session.engine());
    DirectSoundBuffer* out = engine->m_channel.AudioCtx().Buffer();
    ASSERT_NE(out, nullptr) << "no audio output";
    DeviceWatch device(out, kRate, 80, [&session] { return session.Now(); });

    // The script: about a minute of play.
    const int start = static_cast<int>(recipe.start_time);
    std::vector<Change> changes{{session.Now(), 1.0}};
    auto speed = [&](double s) {
        session.Speed(s);
        changes.push_back({session.Now(), s});
    };
    auto seek = [&](int second) {
        session.Seek(start + second);
        changes.push_back({session.Now(), changes.back().speed});
    };
    session.Run(8000);
    speed(2.0);
    session.Run(3000);
    speed(1.0);
    session.Run(9000);
    seek(22);  // play then crosses into the second file
    session.Run(16000);
    speed(0.5);
    session.Run(3000);
    speed(1.0);
    session.Run(8000);
    seek(10);
    session.Run(12000);

    const std::vector<std::int16_t>& s = device.Stop();
    const std::vector<Shown> log = session.Log();
    // The file change is a change too: the first picture of the second file.
    for (const Shown& s : log)
        if (s.picture == secondFile) {
            changes.push_back({s.wall, 1.0});
            break;
        }
    std::sort(changes.begin(), changes.end(), [](const Change& a, const Change& b) { return a.wall < b.wall; });

    // The change in force at a wall time, and whether play had settled for a second after it
    // at normal speed.
    auto settled = [&](double wall) {
        const Change* in = nullptr;
        for (const Change& c : changes)
            if (c.wall <= wall)
                in = &c;
        return in != nullptr && in->speed == 1.0 && wall >= in->wall + 1000;
    };
    // When the picture of media time `media` (seconds on the set's line) was on the screen,
    // between the two pictures around it, looked for near `near`.
    auto onScreen = [&](double media, double near) {
        for (std::size_t j = 0; j + 1 < log.size(); ++j) {
            const Shown& a = log[j];
            const Shown& b = log[j + 1];
            if (a.picture < 0 || b.picture != a.picture + 1 || std::fabs(a.wall - near) > 3000)
                continue;
            const double ma = ref.Media(a.picture), mb = ref.Media(b.picture);
            if (ma <= media && media < mb)
                return a.wall + (media - ma) / (mb - ma) * (b.wall - a.wall);
        }
        return std::nan("");
    };
    auto shownAt = [&](double wall) {
        int p = -1;
        for (const Shown& x : log)
            if (x.wall <= wall && x.picture >= 0)
                p = x.picture;
        return p;
    };

    int judged = 0, expected = 0;
    double worst = 0;
    std::printf("beep heard (s) / picture after its beep (ms):");
    for (const Beep& beep : CodedBeeps(s)) {
        const double h = device.Heard(beep.sample);
        if (h < 0 || !settled(h) || !settled(h + 200))
            continue;
        ++expected;
        const int p = shownAt(h);
        ASSERT_GE(beep.code, 0) << "a beep at " << h << " ms of no known tone";
        ASSERT_GE(p, 0) << "no picture on the screen at " << h << " ms";
        // The beep's second: of those with its tone, the one nearest the picture on the screen.
        const double m = ref.Media(p) - static_cast<double>(kPrimingSamples) / kRate;
        double second = std::floor(m / kCycle) * kCycle + beep.code;
        while (second < m - kCycle / 2.0)
            second += kCycle;
        while (second > m + kCycle / 2.0)
            second -= kCycle;
        const double media = second + static_cast<double>(kPrimingSamples) / kRate;
        const double offset = onScreen(media, h) - h;
        std::printf(" %.1f/%.0f", h / 1000.0, offset);
        EXPECT_LT(std::fabs(offset), 100.0) << "beep of second " << second << " heard at " << h
                                            << " ms: its picture " << offset << " ms after it";
        if (!std::isnan(offset)) {
            ++judged;
            worst = std::max(worst, std::fabs(offset));
        }
    }
    std::printf("\nbeeps judged %d, worst %.1f ms\n", judged, worst);
    // Every settled second at normal speed has its beep: about 40 of the minute.
    EXPECT_GE(expected, 30);
}
