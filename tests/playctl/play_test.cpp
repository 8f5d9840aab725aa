// Play control against a running channel: the demultiplexer reads a generated recording and
// the video thread shows it.

#include "engine/Jtv.h"
#include "engine/JtvCtrl.h"
#include "platform/base/clock.h"
#include "tests/support/recipes.h"
#include "tests/support/tempdir.h"
#include "tests/support/wait.h"
#include "tools/recgen/recgen.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

namespace {

class PlayingChannel : public ::testing::Test {
protected:
    void SetUp() override
    {
        av_log_set_level(AV_LOG_QUIET);
        h = JtvCreate();
        ASSERT_NE(h, nullptr);
        e = reinterpret_cast<CJtvCtrl*>(h);
        ASSERT_TRUE(e->CreateChannels());
        recipe = PicturesRecipe(160, 120, 25, 10, 8.0);
    }
    void TearDown() override { JtvDestroy(h); }

    // Plays `files` (a set when more than one) from the start of the first.
    void Play(const std::vector<std::string>& files)
    {
        if (files.size() > 1)
            e->m_channel.Demux().SetFileList(files);
        e->m_channel.SetSource(nullptr, files.front());
        ASSERT_TRUE(e->m_channel.Start());
        ASSERT_TRUE(video().Start());
    }

    std::string Recording()
    {
        const std::string path = dir.file("rec.ts");
        recgen::RecordingInfo info;
        EXPECT_TRUE(recgen::WriteRecording(recipe, path, &info)) << info.error;
        return path;
    }

    CVideoCtx& video() { return e->m_channel.VideoCtx(); }
    std::uint64_t Shown() { return video().ShownCount(); }
    // The count once it has stood still for 300 ms.
    std::uint64_t SettledShown()
    {
        std::uint64_t last = Shown();
        for (int i = 0; i < 100; ++i) {
            Sleep(300);
            const std::uint64_t now = Shown();
            if (now == last)
                return now;
            last = now;
        }
        return last;
    }

    TempDir dir;
    recgen::RecordingSpec recipe;
    HJTV h = nullptr;
    CJtvCtrl* e = nullptr;
};

TEST_F(PlayingChannel, CountersCountTheShownPicturesOfEachSecond)
{
    Play({Recording()});
    ASSERT_TRUE(WaitFor([&] { return JtvGetValueB(h) >= 2; }));
    // One whole second of play at 25 pictures a second.
    EXPECT_GE(e->m_framesLastSecond[0].load(), 18);
    EXPECT_LE(e->m_framesLastSecond[0].load(), 32);
    EXPECT_GT(e->m_bytesLastSecond[0].load(), 18 * 100);
}

TEST_F(PlayingChannel, PauseFrameStepsAndResume)
{
    Play({Recording()});
    ASSERT_TRUE(WaitFor([&] { return Shown() >= 5; }));
    JtvSetPlaySpeed(h, 0.0);
    const std::uint64_t paused = SettledShown();
    EXPECT_TRUE(video().Paused());

    for (int step = 1; step <= 3; ++step) {
        JtvSetPlaySpeed(h, 1.1);
        ASSERT_TRUE(WaitFor([&] { return Shown() >= paused + static_cast<std::uint64_t>(step); })) << step;
        EXPECT_EQ(SettledShown(), paused + static_cast<std::uint64_t>(step)) << "one picture a step";
        EXPECT_TRUE(video().Paused());
    }
    JtvSetPlaySpeed(h, 1.0);
    EXPECT_TRUE(WaitFor([&] { return Shown() >= paused + 10; }));
    EXPECT_FALSE(video().Paused());
}

TEST_F(PlayingChannel, BackwardSpeedTurnsTheRunningDemultiplexerAround)
{
    Play({Recording()});
    ASSERT_TRUE(WaitFor([&] { return video().LastShownPosition() >= 400; }));
    JtvSetPlaySpeed(h, -1.0);
    EXPECT_EQ(e->m_channel.Demux().Direction(), 1);
    ASSERT_TRUE(WaitFor([&] { return !e->m_channel.Demux().RequestPending(); }));
    // Backward play shows key pictures further and further back.
    const int turned = video().LastShownPosition();
    EXPECT_TRUE(WaitFor([&] { return video().LastShownPosition() < turned - 100; }, 15000))
        << turned << " " << video().LastShownPosition();
    EXPECT_EQ(e->m_fps[0]->Speed(), -1.0);
}

TEST_F(PlayingChannel, ATimeSeekIsCarriedOutByTheDemultiplexerThread)
{
    recipe.seconds = 3.0;
    std::vector<std::string> paths;
    std::string error;
    ASSERT_TRUE(recgen::WriteFolder(recipe, dir.file("card"), 3, false, &paths, nullptr, &error)) << error;
    // The seek finds its file in the card source's list.
    JtvSetExportFolder(h, dir.file("card"));
    ASSERT_NE(JtvLoadFileList(h), nullptr);
    // No video thread: the queue shows what the demultiplexer read after the seek.
    e->m_channel.Demux().SetFileList(paths);
    e->m_channel.SetSource(nullptr, paths.front());
    ASSERT_TRUE(e->m_channel.Start());
    ASSERT_TRUE(WaitFor([&] { return e->m_channel.Demux().EndReached(); }));

    const int fileStart = static_cast<int>(recipe.start_time) + 3;  // the second file
    JtvSeekToTime(h, fileStart + 1, 0);
    EXPECT_TRUE(e->m_channel.Demux().RequestPending());
    ASSERT_TRUE(WaitFor([&] { return !e->m_channel.Demux().RequestPending(); }));
    PacketDesc d;
    ASSERT_TRUE(WaitFor([&] {
        return e->m_channel.VideoQueue().Pop(d) && (d.type == PKT_KEY_FRAME || d.type == PKT_FRAME);
    }));
    EXPECT_EQ(d.type, PKT_KEY_FRAME);
    EXPECT_GE(d.time, fileStart);
    EXPECT_LE(d.time, fileStart + 1);
}

}  // namespace
