// The sound follows the pictures' pause: silent while paused and over frame steps, back once
// play resumes.

#include "engine/Jtv.h"
#include "engine/JtvCtrl.h"
#include "engine/SourceType.h"
#include "platform/base/clock.h"
#include "tests/avsync/device_watch.h"
#include "tests/support/tempdir.h"
#include "tests/support/tone_recording.h"
#include "tools/recgen/recgen.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

TEST(AudioPause, SilentWhilePausedAndOverFrameStepsThenBack)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    av_log_set_level(AV_LOG_QUIET);
    TempDir dir;
    recgen::RecordingSpec recipe = ToneRecipe(25, 20);
    recipe.gop = 25;
    const std::string path = dir.file("tone.ts");
    recgen::RecordingInfo info;
    ASSERT_TRUE(recgen::WriteRecording(recipe, path, &info)) << info.error;

    HJTV h = JtvCreate();
    ASSERT_NE(h, nullptr);
    auto* engine = reinterpret_cast<CJtvCtrl*>(h);
    ASSERT_EQ(JtvOpenFile(h, path), kSourceTs);
    ASSERT_TRUE(JtvOpenSourceBox(h, 0, 0, 0));
    DirectSoundBuffer* out = engine->m_channel.AudioCtx().Buffer();
    ASSERT_NE(out, nullptr) << "no audio output";

    const auto origin = Clock::now();
    DeviceWatch heard(out, 8000, 30, [origin] {
        return std::chrono::duration<double, std::milli>(Clock::now() - origin).count();
    });
    auto ms = [origin](Clock::time_point t) { return std::chrono::duration<double, std::milli>(t - origin).count(); };

    const auto start = Clock::now();
    Sleep(2500);
    const auto paused = Clock::now();
    JtvSetPlaySpeed(h, 0);
    Sleep(3000);
    const auto stepped = Clock::now();
    const std::uint64_t before = engine->m_channel.VideoCtx().ShownCount();
    for (int i = 0; i < 3; ++i) {
        JtvSetPlaySpeed(h, 1.1);
        Sleep(400);
    }
    const std::uint64_t steps = engine->m_channel.VideoCtx().ShownCount() - before;
    Sleep(1000);
    const auto resumed = Clock::now();
    JtvSetPlaySpeed(h, 1.0);
    Sleep(2500);
    const auto end = Clock::now();

    heard.Stop();
    JtvDestroy(h);

    EXPECT_GT(heard.Loudest(ms(start) + 1000, ms(paused)), 4000) << "sound before the pause";
    // What was already in the output plays out (at most two and a half chunks, 960 ms).
    EXPECT_LT(heard.Loudest(ms(paused) + 1200, ms(stepped)), 64) << "sound while paused";
    EXPECT_GE(steps, 2u) << "frame steps shown";
    EXPECT_LT(heard.Loudest(ms(stepped), ms(resumed)), 64) << "sound over frame steps";
    EXPECT_GT(heard.Loudest(ms(resumed) + 1200, ms(end)), 4000) << "sound after resuming";
}
