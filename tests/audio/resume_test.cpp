// Normal play resumed after a pause or another speed: the demultiplexer reads the stream again
// from the picture on the screen, so that the sound comes from there and not from far ahead.

#include "engine/Jtv.h"
#include "engine/JtvCtrl.h"
#include "platform/base/clock.h"
#include "tests/support/tempdir.h"
#include "tests/support/wait.h"
#include "tools/recgen/recgen.h"

#include <gtest/gtest.h>

#include <functional>

extern "C" {
#include <libavutil/log.h>
}

namespace {

bool IsPicture(const PacketDesc& d)
{
    return d.type == PKT_KEY_FRAME || d.type == PKT_FRAME;
}

// 160 x 120 at 25 a second, a key picture every second, with sound and no vehicle records.
recgen::RecordingSpec SmallRecipe(double seconds)
{
    recgen::RecordingSpec recipe;
    recipe.width = 160;
    recipe.height = 120;
    recipe.fps = 25;
    recipe.gop = 25;
    recipe.seconds = seconds;
    recipe.info_hz = 0;
    return recipe;
}

// An 8 s recording read by a started channel with no video or audio thread: each test takes
// the packets itself.
class ResumeAt : public ::testing::Test {
protected:
    void SetUp() override
    {
        av_log_set_level(AV_LOG_QUIET);
        const recgen::RecordingSpec recipe = SmallRecipe(8.0);
        const std::string path = dir_.file("rec.ts");
        recgen::RecordingInfo info;
        ASSERT_TRUE(recgen::WriteRecording(recipe, path, &info)) << info.error;
        h = JtvCreate();
        ASSERT_NE(h, nullptr);
        e = reinterpret_cast<CJtvCtrl*>(h);
        ASSERT_TRUE(e->CreateChannels());
        e->m_channel.SetSource(nullptr, path);
        ASSERT_TRUE(e->m_channel.Start());
    }
    void TearDown() override
    {
        if (h)
            JtvDestroy(h);
    }

    TempDir dir_;
    HJTV h = nullptr;
    CJtvCtrl* e = nullptr;
};

}  // namespace

TEST_F(ResumeAt, BothQueuesStartAgainAtTheKeyPictureOfTheShownOneBehindAMarker)
{
    CTSAnalyse& demux = e->m_channel.Demux();
    ASSERT_TRUE(WaitFor([&] { return demux.EndReached(); }));

    // "Show" pictures up to 3.5 s in (a non-key picture of the fourth group); the sound is
    // read far beyond by now.
    PacketDesc shown;
    ASSERT_TRUE(WaitFor([&] {
        PacketDesc d;
        while (e->m_channel.VideoQueue().Pop(d))
            if (IsPicture(d) && (shown = d).pts >= 3500000)
                return true;
        return false;
    }));
    ASSERT_EQ(shown.type, PKT_FRAME);
    const int serial = demux.RestartSerial();
    demux.ResumeAt(shown.pts, shown.position);
    EXPECT_TRUE(demux.RequestPending());
    ASSERT_TRUE(WaitFor([&] { return !demux.RequestPending(); }));

    // Each queue begins with a marker of this restart, flagged as a resumption.
    PacketDesc d;
    ASSERT_TRUE(WaitFor([&] { return e->m_channel.VideoQueue().Pop(d); }));
    EXPECT_EQ(d.type, PKT_MARKER);
    EXPECT_EQ(d.rate, 1);
    EXPECT_GT(d.time, serial);
    const int marker = d.time;
    // Then the key picture at or before the shown one: its group is read again.
    ASSERT_TRUE(WaitFor([&] { return e->m_channel.VideoQueue().Pop(d) && IsPicture(d); }));
    EXPECT_EQ(d.type, PKT_KEY_FRAME);
    EXPECT_LE(d.pts, shown.pts);
    EXPECT_GT(d.pts, shown.pts - 1000000);
    const std::int64_t key = d.pts;

    // The sound queue too: the marker, then sound from the same key picture on, not from
    // where reading had got to.
    PacketDesc a;
    ASSERT_TRUE(WaitFor([&] {
        while (e->m_channel.AudioQueue().Pop(a))
            if (a.type == PKT_MARKER && a.time == marker)
                return true;
        return false;
    }));
    ASSERT_TRUE(WaitFor([&] { return e->m_channel.AudioQueue().Pop(a) && a.type == PKT_AAC_FRAME; }));
    EXPECT_GE(a.pts, key - 200000);
    EXPECT_LE(a.pts, shown.pts);
}

TEST_F(ResumeAt, ForwardPlayAfterBackwardPlayReadsOnFromTheLastKeyPictureShown)
{
    CTSAnalyse& demux = e->m_channel.Demux();
    // Pictures "shown" up to 6.5 s in, however far the reading has got: backward play turns
    // there.
    ASSERT_TRUE(WaitFor([&] {
        PacketDesc p;
        while (e->m_channel.VideoQueue().Pop(p))
            if (IsPicture(p) && p.pts >= 6500000)
                return true;
        return false;
    }));
    ASSERT_EQ(demux.SetDirection(1), 1);
    ASSERT_TRUE(WaitFor([&] { return !demux.RequestPending(); }));

    // Backward play shows key pictures further and further back; the video thread hands each
    // one's place back. The demultiplexer has read far beyond the last one meanwhile.
    PacketDesc d, last;
    int keys = 0;
    ASSERT_TRUE(WaitFor([&] {
        while (e->m_channel.VideoQueue().Pop(d)) {
            if (d.type == PKT_KEY_FRAME && d.direction < 0) {
                last = d;
                demux.StepBackTarget(d.pts, d.position);
                if (++keys == 3)
                    return true;
            }
        }
        return false;
    }));
    // Forward play is chosen; before the turn is carried out the video thread still takes
    // (and drops) backward pictures it no longer shows.
    int dropped = 0;
    ASSERT_TRUE(WaitFor([&] {
        while (e->m_channel.VideoQueue().Pop(d))
            if (d.type == PKT_KEY_FRAME && ++dropped == 2)
                return true;
        return false;
    }));
    ASSERT_LT(d.pts, last.pts);

    ASSERT_EQ(demux.SetDirection(0), 0);
    ASSERT_TRUE(WaitFor([&] { return !demux.RequestPending(); }));
    ASSERT_TRUE(WaitFor([&] { return e->m_channel.VideoQueue().Pop(d) && IsPicture(d) && d.direction >= 0; }));
    EXPECT_EQ(d.type, PKT_KEY_FRAME);
    EXPECT_EQ(d.pts, last.pts);
}

namespace {

std::int64_t ReadStamp(const std::uint8_t* b)
{
    return (static_cast<std::int64_t>(b[0] & 0x0E) << 29) | (static_cast<std::int64_t>(b[1]) << 22) |
           (static_cast<std::int64_t>(b[2] & 0xFE) << 14) | (static_cast<std::int64_t>(b[3]) << 7) | (b[4] >> 1);
}

void WriteStamp(std::uint8_t* b, std::int64_t t)
{
    b[0] = static_cast<std::uint8_t>((b[0] & 0xF0) | ((t >> 29) & 0x0E) | 1);
    b[1] = static_cast<std::uint8_t>(t >> 22);
    b[2] = static_cast<std::uint8_t>(((t >> 14) & 0xFE) | 1);
    b[3] = static_cast<std::uint8_t>(t >> 7);
    b[4] = static_cast<std::uint8_t>(((t << 1) & 0xFE) | 1);
}

// Moves the time stamps of the video PES that begin before `end` (a file offset) by `delta`
// (90 kHz): the file's time then jumps back where they stop.
void ShiftVideoStamps(const std::string& path, std::uint16_t pid, std::int64_t end, std::int64_t delta)
{
    std::FILE* f = std::fopen(path.c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    std::uint8_t p[188];
    for (long at = 0; at < end && std::fseek(f, at, SEEK_SET) == 0 && std::fread(p, 1, 188, f) == 188; at += 188) {
        const bool start = (p[1] & 0x40) != 0;
        if (p[0] != 0x47 || !start || (((p[1] & 0x1F) << 8) | p[2]) != pid || !(p[3] & 0x10))
            continue;
        std::uint8_t* pes = p + 4 + ((p[3] & 0x20) ? 1 + p[4] : 0);
        if (pes[0] != 0 || pes[1] != 0 || pes[2] != 1 || !(pes[7] & 0x80))
            continue;
        WriteStamp(pes + 9, ReadStamp(pes + 9) + delta);
        if ((pes[7] & 0xC0) == 0xC0)
            WriteStamp(pes + 14, ReadStamp(pes + 14) + delta);
        std::fseek(f, at, SEEK_SET);
        std::fwrite(p, 1, 188, f);
    }
    std::fclose(f);
}

}  // namespace

TEST_F(ResumeAt, AfterAJumpBackInTimeTheKeyPictureBeforeTheShownOneServes)
{
    // The first 30 pictures stamped 100 s later: every key picture before picture 40 has a
    // later time stamp than it.
    e->m_channel.Stop();
    const recgen::RecordingSpec recipe = SmallRecipe(4.0);
    const std::string path = dir_.file("jump.ts");
    recgen::RecordingInfo info;
    ASSERT_TRUE(recgen::WriteRecording(recipe, path, &info)) << info.error;
    ShiftVideoStamps(path, recipe.pids.video, info.pictures[30].offset, 100 * 90000);
    e->m_channel.SetSource(nullptr, path);
    ASSERT_TRUE(e->m_channel.Start());
    CTSAnalyse& demux = e->m_channel.Demux();

    PacketDesc shown, d;
    int pictures = 0;
    ASSERT_TRUE(WaitFor([&] {
        while (e->m_channel.VideoQueue().Pop(d))
            if (IsPicture(d) && ++pictures == 41)
                return (shown = d), true;
        return false;
    }));
    demux.ResumeAt(shown.pts, shown.position);
    ASSERT_TRUE(WaitFor([&] { return !demux.RequestPending(); }));
    ASSERT_TRUE(WaitFor([&] { return e->m_channel.VideoQueue().Pop(d) && d.type == PKT_MARKER; }));
    // Its own group's key picture, not the file's start read again.
    ASSERT_TRUE(WaitFor([&] { return e->m_channel.VideoQueue().Pop(d) && IsPicture(d); }));
    EXPECT_EQ(d.type, PKT_KEY_FRAME);
    EXPECT_EQ(d.pts, static_cast<std::int64_t>((info.pictures[25].pts + 100 * 90000) * 11.1111));
}

TEST_F(ResumeAt, ATurnBeforeAnythingOfTheResumptionIsTakenStartsAtItsKeyPicture)
{
    CTSAnalyse& demux = e->m_channel.Demux();
    // A key picture "shown", play resumed from it, then backward play asked for before the
    // resumption's marker is taken: the oldest frame waiting is that key picture, not the one
    // pushed before the marker.
    PacketDesc shown, d;
    ASSERT_TRUE(WaitFor([&] {
        while (e->m_channel.VideoQueue().Pop(d))
            if (d.type == PKT_KEY_FRAME && d.pts >= 3000000)
                return (shown = d), true;
        return false;
    }));
    demux.ResumeAt(shown.pts, shown.position);
    ASSERT_TRUE(WaitFor([&] { return !demux.RequestPending(); }));
    ASSERT_TRUE(WaitFor([&] { return e->m_channel.VideoQueue().MediaCount() > 5; }));
    ASSERT_EQ(demux.SetDirection(1), 1);
    ASSERT_TRUE(WaitFor([&] { return !demux.RequestPending(); }));
    ASSERT_TRUE(WaitFor([&] { return e->m_channel.VideoQueue().Pop(d) && IsPicture(d) && d.direction < 0; }));
    EXPECT_EQ(d.pts, shown.pts);
}
