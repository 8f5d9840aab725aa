// The sound of a recording played by a running channel: the demultiplexer reads it, the video
// thread shows its pictures and the audio thread plays its sound.

#include "engine/Jtv.h"
#include "engine/JtvCtrl.h"
#include "platform/base/clock.h"
#include "tests/support/tempdir.h"
#include "tests/support/tone_recording.h"
#include "tools/recgen/recgen.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

TEST(PlayingChannelSound, TheRecordingsToneIsPlayedAtNormalSpeed)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    av_log_set_level(AV_LOG_QUIET);
    TempDir dir;
    recgen::RecordingSpec recipe = ToneRecipe(25, 5.0);
    recipe.gop = 25;
    const std::string path = dir.file("rec.ts");
    recgen::RecordingInfo info;
    ASSERT_TRUE(recgen::WriteRecording(recipe, path, &info)) << info.error;

    HJTV h = JtvCreate();
    ASSERT_NE(h, nullptr);
    auto* e = reinterpret_cast<CJtvCtrl*>(h);
    ASSERT_TRUE(e->CreateChannels());
    CAudioCtx& audio = e->m_channel.AudioCtx();
    e->m_channel.SetSource(nullptr, path);
    ASSERT_TRUE(e->m_channel.Start());
    ASSERT_TRUE(audio.Start());
    ASSERT_NE(audio.Buffer(), nullptr);
    audio.Buffer()->StartTap(16000 * 20);
    ASSERT_TRUE(e->m_channel.VideoCtx().Start());

    // Play it through, then some.
    const ULONGLONG end = GetTickCount64() + 12000;
    while (e->m_channel.VideoCtx().ShownCount() < 120 && GetTickCount64() < end)
        Sleep(50);
    Sleep(2000);
    std::vector<BYTE> bytes = audio.Buffer()->TakeTap();
    JtvDestroy(h);

    std::vector<std::int16_t> s(bytes.size() / 2);
    std::memcpy(s.data(), bytes.data(), s.size() * 2);
    std::size_t first = s.size(), last = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (std::abs(s[i]) > 64) {
            first = std::min(first, i);
            last = i;
        }
    }
    ASSERT_LT(first, last) << "no sound";
    // The whole recording's sound, once: 5 s of samples, give or take the encoder's frames.
    EXPECT_NEAR(static_cast<double>(last - first) / 8000.0, 5.0, 0.3);

    // Its pitch, from the number of rising zero crossings over the middle three seconds.
    const std::size_t from = first + 8000, n = 3 * 8000;
    ASSERT_LE(from + n, s.size());
    int crossings = 0;
    for (std::size_t i = from + 1; i < from + n; ++i)
        if (s[i - 1] < 0 && s[i] >= 0)
            ++crossings;
    EXPECT_NEAR(crossings / 3.0, 1000.0, 5.0);
}
