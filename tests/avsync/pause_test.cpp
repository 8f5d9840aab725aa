// The sound follows the pictures' pause: silent while paused and over frame steps, back once
// play resumes.

#include "engine/Jtv.h"
#include "engine/JtvCtrl.h"
#include "engine/SourceType.h"
#include "platform/base/clock.h"
#include "tests/support/tempdir.h"
#include "tests/support/tone_recording.h"
#include "tools/recgen/recgen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

namespace {

using Clock = std::chrono::steady_clock;

// The device's blocks, each with the wall time it was taken, and the tapped samples.
struct Heard {
    struct Block {
        Clock::time_point at;
        std::uint64_t end;
    };
    std::vector<Block> blocks;
    std::uint64_t tapStart = 0;
    std::vector<std::int16_t> samples;

    // The loudest sample that reached the device between two wall times.
    int Loudest(Clock::time_point from, Clock::time_point to) const
    {
        int loudest = 0;
        for (std::size_t i = 1; i < blocks.size(); ++i) {
            if (blocks[i].at < from || blocks[i].at >= to)
                continue;
            for (std::uint64_t b = blocks[i - 1].end; b < blocks[i].end; b += 2) {
                if (b < tapStart || (b - tapStart) / 2 >= samples.size())
                    continue;
                loudest = std::max(loudest, std::abs(static_cast<int>(samples[(b - tapStart) / 2])));
            }
        }
        return loudest;
    }
};

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

    Heard heard;
    for (int tries = 0; tries < 100; ++tries) {
        const std::uint64_t before = out->DeviceBytes();
        out->StartTap(8000 * 2 * 30);
        heard.tapStart = out->DeviceBytes();
        if (heard.tapStart == before)
            break;
    }
    std::atomic<bool> watching{true};
    std::thread watcher([&] {
        std::uint64_t last = out->DeviceBytes();
        heard.blocks.push_back({Clock::now(), last});
        while (watching.load()) {
            const std::uint64_t now = out->DeviceBytes();
            if (now != last) {
                heard.blocks.push_back({Clock::now(), now});
                last = now;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    });

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

    watching = false;
    watcher.join();
    std::vector<BYTE> bytes = out->TakeTap();
    JtvDestroy(h);
    heard.samples.resize(bytes.size() / 2);
    std::memcpy(heard.samples.data(), bytes.data(), heard.samples.size() * 2);

    using std::chrono::milliseconds;
    EXPECT_GT(heard.Loudest(start + milliseconds(1000), paused), 4000) << "sound before the pause";
    // What was already in the output plays out (at most two and a half chunks, 960 ms).
    EXPECT_LT(heard.Loudest(paused + milliseconds(1200), stepped), 64) << "sound while paused";
    EXPECT_GE(steps, 2u) << "frame steps shown";
    EXPECT_LT(heard.Loudest(stepped, resumed), 64) << "sound over frame steps";
    EXPECT_GT(heard.Loudest(resumed + milliseconds(1200), end), 4000) << "sound after resuming";
}
