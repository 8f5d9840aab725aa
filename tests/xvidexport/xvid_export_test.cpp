// Conversion exports: the pictures of a generated recording re-encoded as MPEG-4 Part 2 into
// AVI clips through the engine's flat interface, read back with ffprobe and ffmpeg.

#include "engine/EngineMessages.h"
#include "engine/Jtv.h"
#include "engine/JtvCtrl.h"
#include "engine/RecordCtx.h"
#include "engine/SourceBoxCtx.h"
#include "platform/base/clock.h"
#include "platform/base/message.h"
#include "tests/support/export_fixture.h"
#include "tests/support/media_probe.h"
#include "tests/support/tempdir.h"
#include "tools/recgen/recgen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace {

using mediaprobe::Field;
using mediaprobe::KeyFlags;
using mediaprobe::Lines;
using mediaprobe::Pictures;
using mediaprobe::Shell;

std::string ProbeVideo(const std::string& path)
{
    return Shell("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                 "stream=codec_name,codec_tag_string,width,height,nb_read_frames -of default=nw=1 '" + path + "'");
}

// Whether each decoded picture is an intra picture, in file order.
std::vector<bool> IntraPictures(const std::string& path)
{
    std::vector<bool> intra;
    for (const std::string& line : Lines(Shell("ffprobe -v error -select_streams v:0 -show_entries frame=pict_type "
                                               "-of csv=p=0 '" + path + "'")))
        intra.push_back(line == "I");
    return intra;
}

double Psnr(const std::string& a, const std::string& b)
{
    if (a.size() != b.size() || a.empty())
        return 0;
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double d = static_cast<unsigned char>(a[i]) - static_cast<unsigned char>(b[i]);
        sum += d * d;
    }
    const double mse = sum / static_cast<double>(a.size());
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// Adds a clip's sound to `timeline` (8000 Hz), played from `at` seconds on as its pictures are:
// silence up to the place its sound begins beside its first picture.
void AddSound(std::vector<std::int16_t>& timeline, const std::string& clip, double at)
{
    const std::string pcm = Shell("ffmpeg -v error -i '" + clip + "' -map 0:a -ar 8000 -ac 1 -f s16le - 2>/dev/null");
    const double first = std::atof(Shell("ffprobe -v error -select_streams a -show_entries packet=pts_time "
                                         "-of csv=p=0 '" + clip + "' | head -1").c_str());
    // Sound before the timeline's start is left out.
    const long long from = std::llround((at + first) * 8000);
    const std::size_t samples = pcm.size() / 2;
    const std::size_t drop = from < 0 ? std::min<std::size_t>(samples, static_cast<std::size_t>(-from)) : 0;
    const std::size_t to = from < 0 ? 0 : static_cast<std::size_t>(from);
    timeline.resize(std::max(timeline.size(), to + samples - drop));
    std::memcpy(timeline.data() + to, pcm.data() + drop * 2, (samples - drop) * 2);
}

// Where the beeps begin, in seconds: a loud sample after at least 300 ms of quiet.
std::vector<double> BeepOnsets(const std::vector<std::int16_t>& sound)
{
    std::vector<double> onsets;
    std::size_t quiet = 0;
    for (std::size_t i = 0; i < sound.size(); ++i) {
        if (std::abs(sound[i]) > 2000) {
            if (quiet >= 8000 * 3 / 10)
                onsets.push_back(double(i) / 8000);
            quiet = 0;
        } else {
            ++quiet;
        }
    }
    return onsets;
}

class XvidExportTest : public ExportFixture {
protected:
    // The clip decodes without error into pictures close to the source's.
    void ExpectResemblesSource(const std::string& clip, const std::vector<std::size_t>& which)
    {
        int status = -1;
        EXPECT_EQ(Shell("ffmpeg -v error -i '" + clip + "' -map 0:v -f null - 2>&1", &status), "");
        EXPECT_EQ(status, 0);
        const std::vector<std::string> source = Pictures(source_, kWidth, kHeight);
        ASSERT_EQ(source.size(), info_.pictures.size());
        const std::vector<std::string> pictures = Pictures(clip, kWidth, kHeight);
        ASSERT_EQ(pictures.size(), which.size());
        for (std::size_t i = 0; i < pictures.size(); ++i)
            EXPECT_GT(Psnr(pictures[i], source[which[i]]), 30.0) << "picture " << i;
    }
};

// Whatever speed the user asks for, before or while the pictures are re-encoded, the clip holds
// every picture of the range: what would leave pictures out is not taken up.
TEST_F(XvidExportTest, ConversionWritesEveryPictureOfTheRangeAsMpeg4WithItsSoundWhateverTheSpeed)
{
    struct Case {
        const char* name;
        double before;  // the speed set before the export starts
        std::vector<std::pair<DWORD, double>> during;  // milliseconds after the last, speed
    };
    const Case cases[] = {
        {"1x", 1, {}},
        {"2x", 1, {{1000, 2}}},
        {"8x, then 4x", 1, {{500, 8}, {300, 4}}},
        {"4x before", 4, {}},
        {"pause, steps, 1/2x, 1x", 1, {{500, 0}, {200, 1.1}, {200, 1.1}, {200, 0.5}, {500, 1}}},
    };
    JtvSetValueA(engine_, 1);
    JtvSetValueB(engine_, 1);
    int run = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string base = dir_.file("out/trip" + std::to_string(run++));
        begins_.clear();
        ASSERT_TRUE(StartExport(base + ".avi", 1, 4, [&] { JtvSetPlaySpeed(engine_, c.before); }));
        for (const auto& [after, speed] : c.during) {
            Sleep(after);
            JtvSetPlaySpeed(engine_, speed);
        }
        ProgressUntilEnd(60000);
        EXPECT_EQ(JtvGetExportProgress(engine_), 1000.0);
        JtvStop(engine_);
        Pump();
        EXPECT_EQ(begins_, std::vector<std::string>{base});
        const std::string clip = base + ".avi";

        const std::vector<std::size_t> expected = Expected(1, 4);
        ASSERT_GT(expected.size(), 40u);
        const std::string video = ProbeVideo(clip);
        EXPECT_EQ(Field(video, "codec_name"), "mpeg4");
        EXPECT_EQ(Field(video, "codec_tag_string"), "xvid");
        EXPECT_EQ(Field(video, "width"), std::to_string(kWidth));
        EXPECT_EQ(Field(video, "height"), std::to_string(kHeight));
        EXPECT_EQ(Field(video, "nb_read_frames"), std::to_string(expected.size()));
        EXPECT_EQ(Field(Shell("ffprobe -v error -select_streams a:0 -show_entries stream=codec_name -of default=nw=1 '" +
                              clip + "'"), "codec_name"),
                  "pcm_s16le");

        // Key flags where the pictures are intra coded, and only there; the first is one.
        const std::vector<bool> keys = KeyFlags(clip);
        ASSERT_FALSE(keys.empty());
        EXPECT_TRUE(keys.front());
        EXPECT_EQ(keys, IntraPictures(clip));
        ExpectResemblesSource(clip, expected);
    }
}

// Re-encoded, a clip holds what the copied clip of the recording holds: its pictures from the
// same first one and its sound in the same place, whatever the recording's frame order, also
// split past its size. A range inside one group, which no copied clip can begin, is re-encoded
// from its first picture. Pictures the encoder cannot take leave the clip incomplete, and the
// export says so.
TEST_F(XvidExportTest, ReEncodedClipHoldsWhatTheCopiedClipHoldsOrTheExportFails)
{
    struct Case {
        const char* name;
        std::vector<recgen::RecordingSpec> set;  // recordings one after another
        int from, to;                            // the range, seconds from the set's start
        int copyFrom;                            // the copied clip compared with begins here
        std::size_t skip;                        // its pictures before the re-encoded clip's first
        std::size_t taken;                       // the re-encoded clip's pictures (0: the rest)
        std::uint64_t split;                     // a split size for the re-encoded clip (0: none)
        bool whole;
        int endsEarly = -1;                      // the recording whose sound ends 0.5 s before its pictures
    };
    const auto beeps = [&](int bFrames, int gop, double seconds) {
        recgen::RecordingSpec r = rec_;
        r.b_frames = bFrames;
        r.gop = gop;
        r.seconds = seconds;
        r.beep_seconds = 0.2;
        return r;
    };
    recgen::RecordingSpec wide = rec_;
    wide.width = 2048;
    wide.height = 64;
    wide.seconds = 3;
    const Case cases[] = {
        {"2 B-pictures", {beeps(2, 25, 6)}, 1, 4, 1, 0, 0, 0, true},
        {"1 B-picture", {beeps(1, 25, 6)}, 1, 4, 1, 0, 0, 0, true},
        // The encoder's next key picture after the size is the third recording's first, and
        // nothing of the second one's sound is left for the next clip: the third one's, read
        // ahead, still is.
        {"split past its size", {beeps(0, 25, 5), beeps(0, 25, 5), beeps(0, 25, 5)}, 0, 15, 0, 0, 0, 20000, true, 1},
        // Its first picture is the one a frame past its first second (time stamps begin a frame
        // after the recording's start); the second range ends with the recording.
        {"a range inside one group", {beeps(0, 100, 6)}, 1, 3, 0, kFps - 1, 0, 0, true},
        {"a range inside the only group", {beeps(0, 150, 6)}, 2, 6, 0, 2 * kFps - 1, 0, 0, true},
        {"a picture too wide for the encoder", {beeps(0, 25, 3), wide}, 0, 6, 0, 0, 3 * kFps, 0, false},
    };
    Engine()->m_channel.VideoCtx().SetSyncOff(true);
    int run = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = "set" + std::to_string(run++);
        std::filesystem::create_directories(dir_.file(folder));
        RecordingSet set;
        std::int64_t start = rec_.start_time;
        int first = 0;
        for (std::size_t k = 0; k < c.set.size(); ++k) {
            recgen::RecordingSpec r = c.set[k];
            r.start_time = static_cast<std::time_t>(start);
            r.first_picture = first;
            set.paths.push_back(dir_.file(folder + "/" + std::to_string(k) + ".ts"));
            set.infos.emplace_back();
            ASSERT_TRUE(recgen::WriteRecording(r, set.paths.back(), &set.infos.back())) << set.infos.back().error;
            if (static_cast<int>(k) == c.endsEarly) {
                ASSERT_GT(CutSound(set.paths.back(), set.infos.back(), r.pids.audio,
                                   set.infos.back().pictures.back().pts - 45000, true), 0);
            }
            set.starts.push_back(start);
            start += static_cast<std::int64_t>(std::ceil(r.seconds));
            first += static_cast<int>(set.infos.back().pictures.size());
        }
        const auto exportSet = [&](const std::string& clip, bool encoded, int from, int to) {
            JtvSetValueA(engine_, encoded);
            Engine()->m_export[0].SetSplitBytes(encoded && c.split > 0 ? c.split : CRecordCtx::kSplitBytes);
            ListSet(folder, set);
            ends_.clear();
            EXPECT_TRUE(JtvOpenFileSet(engine_, clip, 0, 0, static_cast<int>(set.starts[0] + from),
                                       static_cast<int>(set.starts[0] + to)));
            EXPECT_TRUE(WaitForEnd(120000));
            const double progress = JtvGetExportProgress(engine_);
            JtvStop(engine_);
            return progress;
        };
        const std::string copied = dir_.file("out/" + folder + "-copied.avi");
        ASSERT_EQ(exportSet(copied, false, c.copyFrom, c.to), 1000.0);
        const std::string encoded = dir_.file("out/" + folder + "-encoded");
        EXPECT_EQ(exportSet(encoded + ".avi", true, c.from, c.to), c.whole ? 1000.0 : -1.0);
        const std::vector<std::string> names = Engine()->m_export[0].ClipNames();
        EXPECT_EQ(names.size() > 1, c.split > 0);

        // The pictures, one after another across the clips, against the copied clip's.
        std::vector<std::string> want = Pictures(copied, kWidth, kHeight);
        ASSERT_GT(want.size(), c.skip);
        want.erase(want.begin(), want.begin() + static_cast<std::ptrdiff_t>(c.skip));
        if (c.taken > 0 && c.taken < want.size())
            want.resize(c.taken);
        std::vector<std::string> got;
        std::vector<std::int16_t> sound;
        for (const std::string& name : names) {
            const std::vector<bool> keys = KeyFlags(name + ".avi");
            ASSERT_FALSE(keys.empty()) << name;
            EXPECT_TRUE(keys.front()) << name;
            AddSound(sound, name + ".avi", double(got.size()) / kFps);
            const std::vector<std::string> pictures = Pictures(name + ".avi", kWidth, kHeight);
            got.insert(got.end(), pictures.begin(), pictures.end());
        }
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t i = 0; i < got.size(); ++i)
            EXPECT_GT(Psnr(got[i], want[i]), 30.0) << "picture " << i;
        // The beeps the copied clip has beside the pictures re-encoded, at the same places.
        std::vector<std::int16_t> copiedSound;
        AddSound(copiedSound, copied, -double(c.skip) / kFps);
        const auto within = [&](std::vector<double> onsets) {
            std::erase_if(onsets, [&](double o) { return o < 0.5 || o > double(want.size()) / kFps - 0.3; });
            return onsets;
        };
        const std::vector<double> heard = within(BeepOnsets(sound)), wanted = within(BeepOnsets(copiedSound));
        ASSERT_EQ(heard.size(), wanted.size());
        ASSERT_FALSE(heard.empty());
        for (std::size_t i = 0; i < heard.size(); ++i)
            EXPECT_NEAR(heard[i], wanted[i], 1.0 / kFps) << "beep " << i;
    }
}

TEST_F(XvidExportTest, EachExportStartsAFreshEncoderWithAKeyFrame)
{
    // Value A alone asks for the conversion too.
    JtvSetValueA(engine_, 1);
    const std::string first = dir_.file("out/first");
    ASSERT_TRUE(StartExport(first + ".avi", 0, 6));
    // Stopped in the middle: the clip is closed and readable.
    const ULONGLONG limit = GetTickCount64() + 60000;
    while (Engine()->m_sourceBox.ExportedPictures(0) < 30 && GetTickCount64() < limit) {
        Pump();
        Sleep(1);
    }
    ASSERT_GE(Engine()->m_sourceBox.ExportedPictures(0), 30);
    JtvStop(engine_);
    Pump();
    EXPECT_FALSE(Engine()->m_sourceBox.ConversionActive(0));
    EXPECT_FALSE(Engine()->m_export[0].IsOpen());
    const std::string video = ProbeVideo(first + ".avi");
    EXPECT_EQ(Field(video, "codec_name"), "mpeg4");
    const int frames = std::atoi(Field(video, "nb_read_frames").c_str());
    EXPECT_GE(frames, 30);
    EXPECT_LT(static_cast<std::size_t>(frames), info_.pictures.size());
    ExpectResemblesSource(first + ".avi", [&] {
        std::vector<std::size_t> v = Expected(0, 6);
        v.resize(static_cast<std::size_t>(frames));
        return v;
    }());
    // The reading runs ahead of the pictures re-encoded: the sound ends with the last picture.
    const double soundStart = std::atof(Shell("ffprobe -v error -select_streams a -show_entries packet=pts_time "
                                              "-of csv=p=0 '" + first + ".avi' | head -1").c_str());
    const int soundBytes = std::atoi(Shell("ffmpeg -v error -i '" + first + ".avi' -map 0:a -f s16le -ar 8000 -ac 1 - "
                                           "2>/dev/null | wc -c").c_str());
    EXPECT_GT(soundBytes, 0);
    EXPECT_NEAR(soundStart + soundBytes / 16000.0, double(frames) / kFps, 1.0 / kFps);

    // The next export does not continue from the first one's pictures.
    const std::string second = dir_.file("out/second");
    ASSERT_TRUE(Export(second + ".avi", 3, 5));
    EXPECT_EQ(progress_, 1000.0);
    const std::vector<bool> keys = KeyFlags(second + ".avi");
    ASSERT_EQ(keys.size(), Expected(3, 5).size());
    EXPECT_TRUE(keys.front());
    ExpectResemblesSource(second + ".avi", Expected(3, 5));
}

TEST_F(XvidExportTest, ValueBAloneKeepsTheRecordingsOwnH264Frames)
{
    // Value B with value A at 0 asks for a mosaic of four channels, which one channel never
    // completes: the clip holds the recording's frames, declared as what they are.
    JtvSetValueB(engine_, 1);
    const std::string base = dir_.file("out/mosaic");
    ASSERT_TRUE(Export(base + ".avi", 1, 3));
    EXPECT_EQ(progress_, 1000.0);
    EXPECT_EQ(begins_, std::vector<std::string>{base});
    const std::string clip = base + ".avi";
    const std::vector<std::size_t> expected = Expected(1, 3);
    ASSERT_GT(expected.size(), 20u);
    const std::string video = ProbeVideo(clip);
    EXPECT_EQ(Field(video, "codec_name"), "h264");
    EXPECT_EQ(Field(video, "codec_tag_string"), "X264");
    EXPECT_EQ(Field(video, "nb_read_frames"), std::to_string(expected.size()));
    int status = -1;
    EXPECT_EQ(Shell("ffmpeg -v error -i '" + clip + "' -f null - 2>&1", &status), "");
    EXPECT_EQ(status, 0);
    const std::vector<std::string> source = Pictures(source_, kWidth, kHeight);
    const std::vector<std::string> pictures = Pictures(clip, kWidth, kHeight);
    ASSERT_EQ(pictures.size(), expected.size());
    for (std::size_t i = 0; i < pictures.size(); ++i)
        EXPECT_TRUE(pictures[i] == source[expected[i]]) << "picture " << i;
}

// The encoding step on its own: sizes, the four-picture mode and the running export.
TEST_F(XvidExportTest, PicturesAreEncodedOnlyWithinTheLimitsAndWhileAnExportRuns)
{
    CJtvCtrl* e = Engine();
    CSourceBoxCtx& source = e->m_sourceBox;
    std::filesystem::create_directories(dir_.file("direct"));
    e->m_recordName = dir_.file("direct/clip");
    e->m_export[0].BeginExport();
    e->m_valueA.store(1);
    source.SetExportContext(0, &e->m_export[0]);
    e->m_recording.store(1);

    std::vector<std::uint8_t> plane(1920 * 1088, 128);
    auto picture = [&](int w, int h, bool key) {
        ExportPicture p;
        p.planes[0] = p.planes[1] = p.planes[2] = plane.data();
        p.strides[0] = w;
        p.strides[1] = p.strides[2] = w / 2;
        p.format = AV_PIX_FMT_YUV420P;
        p.width = w;
        p.height = h;
        p.key = key;
        p.fps = 25;
        return p;
    };
    // Nothing before a key picture; a picture beyond 1920 x 1080 is refused, not written.
    EXPECT_TRUE(source.EncodeFrameForExport(0, 100, picture(64, 48, false)));
    EXPECT_FALSE(source.EncodeFrameForExport(0, 100, picture(1920, 1088, true)));
    EXPECT_EQ(source.RefusedPictures(0), 1);
    EXPECT_FALSE(e->m_export[0].IsOpen());

    EXPECT_TRUE(source.EncodeFrameForExport(0, 100, picture(64, 48, true)));
    EXPECT_TRUE(source.EncodeFrameForExport(0, 100, picture(64, 48, false)));
    EXPECT_EQ(source.ExportedPictures(0), 2);

    // The picture mode is the one the export began with.
    e->m_valueA.store(0);
    EXPECT_TRUE(source.EncodeFrameForExport(0, 101, picture(64, 48, false)));
    EXPECT_EQ(source.ExportedPictures(0), 3);
    // With the export no longer running nothing is handed on.
    e->m_recording.store(0);
    EXPECT_FALSE(source.EncodeFrameForExport(0, 101, picture(64, 48, false)));
    EXPECT_EQ(source.ExportedPictures(0), 3);

    const CSourceBoxCtx::ConversionCount done = source.SetExportContext(0, nullptr);
    EXPECT_EQ(done.exported, 3);
    EXPECT_EQ(done.refused, 1);
    EXPECT_TRUE(source.EncodeFrameForExport(0, 102, picture(64, 48, true)));  // no export: nothing to do
    EXPECT_TRUE(e->m_export[0].Close());
    const std::string video = ProbeVideo(dir_.file("direct/clip.avi"));
    EXPECT_EQ(Field(video, "codec_name"), "mpeg4");
    EXPECT_EQ(Field(video, "width"), "64");
    EXPECT_EQ(Field(video, "nb_read_frames"), "3");

    // An export begun in four-picture mode completes no picture.
    e->m_recordName = dir_.file("direct/mosaic");
    e->m_export[0].BeginExport();
    source.SetExportContext(0, &e->m_export[0]);
    e->m_valueA.store(1);
    e->m_recording.store(1);
    EXPECT_FALSE(source.EncodeFrameForExport(0, 103, picture(64, 48, true)));
    EXPECT_EQ(source.ExportedPictures(0), 0);
    EXPECT_EQ(source.RefusedPictures(0), 1);
    source.SetExportContext(0, nullptr);
}

}  // namespace
