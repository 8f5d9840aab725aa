// The generator's recordings as ffprobe and ffmpeg see them.

#include "tests/support/tempdir.h"
#include "tests/tools/run.h"
#include "tools/recgen/recgen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

extern "C" {
#include <libavutil/log.h>
}

namespace {

using tstest::Lines;
using tstest::Quote;

using tstest::Split;

recgen::RecordingSpec Small()
{
    av_log_set_level(AV_LOG_ERROR);
    recgen::RecordingSpec s;
    s.width = 320;
    s.height = 240;
    s.fps = 30;
    s.gop = 15;
    s.seconds = 2.0;
    return s;
}

// key=value lines of one ffprobe section into a map.
std::map<std::string, std::string> Fields(const std::string& text)
{
    std::map<std::string, std::string> m;
    for (const auto& line : Lines(text)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos)
            m[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return m;
}

TEST(RecgenOracle, FfprobeSeesTheProgrammeAndItsThreeStreams)
{
    TempDir dir;
    const std::string f = dir.file("a.ts");
    recgen::RecordingSpec recipe = Small();
    recipe.width = 352;
    recipe.height = 288;
    recipe.fps = 25;
    recgen::RecordingInfo info;
    ASSERT_TRUE(recgen::WriteRecording(recipe, f, &info)) << info.error;

    auto prog = tstest::Run("ffprobe -v error -show_entries program=pmt_pid,pcr_pid,nb_streams -of default=nw=1 " + Quote(f));
    ASSERT_EQ(prog.status, 0);
    auto p = Fields(prog.out);
    EXPECT_EQ(p["pmt_pid"], "256");
    EXPECT_EQ(p["pcr_pid"], "4097");
    EXPECT_EQ(p["nb_streams"], "3");

    const std::string entries = "stream=codec_type,codec_name,codec_tag,id,width,height,r_frame_rate,sample_rate,channels";
    for (int i = 0; i < 3; ++i) {
        auto r = tstest::Run("ffprobe -v error -select_streams " + std::to_string(i) + " -show_entries " + entries +
                     " -of default=nw=1 " + Quote(f));
        ASSERT_EQ(r.status, 0);
        auto s = Fields(r.out);
        if (i == 0) {
            EXPECT_EQ(s["codec_name"], "h264");
            EXPECT_EQ(s["id"], "0x1011");
            EXPECT_EQ(s["width"], "352");
            EXPECT_EQ(s["height"], "288");
            EXPECT_EQ(s["r_frame_rate"], "25/1");
        } else if (i == 1) {
            EXPECT_EQ(s["codec_name"], "aac");
            EXPECT_EQ(s["id"], "0x1100");
            EXPECT_EQ(s["sample_rate"], "8000");
            EXPECT_EQ(s["channels"], "1");
        } else {
            // FFmpeg knows no codec for stream type 0xA0; the stream is there with its tag.
            EXPECT_EQ(s["id"], "0x1600");
            EXPECT_EQ(s["codec_tag"], "0x00a0");
        }
    }
}

TEST(RecgenOracle, PacketsMatchWhatWasWritten)
{
    TempDir dir;
    const std::string f = dir.file("a.ts");
    recgen::RecordingSpec recipe = Small();
    recipe.seconds = 3.0;
    recipe.gop = 12;
    recgen::RecordingInfo info;
    ASSERT_TRUE(recgen::WriteRecording(recipe, f, &info)) << info.error;
    ASSERT_EQ(info.pictures.size(), 90u);

    auto v = tstest::Run("ffprobe -v error -select_streams v -show_entries packet=pts,dts,flags,pos -of csv=p=0 " + Quote(f));
    ASSERT_EQ(v.status, 0);
    const auto lines = Lines(v.out);
    ASSERT_EQ(lines.size(), info.pictures.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto c = Split(lines[i], ',');
        ASSERT_GE(c.size(), 4u) << lines[i];
        const auto& pic = info.pictures[i];
        EXPECT_EQ(std::stoll(c[0]), pic.pts) << i;
        EXPECT_EQ(std::stoll(c[0]), static_cast<long long>(i + 1) * 3000) << i;
        EXPECT_EQ(std::stoll(c[1]), pic.dts) << i;
        EXPECT_EQ(std::stoll(c[2]), pic.offset) << i;
        const bool key = c[3].find('K') != std::string::npos;
        EXPECT_EQ(key, i % 12 == 0) << i;
        EXPECT_EQ(key, pic.key) << i;
    }

    auto a = tstest::Run("ffprobe -v error -select_streams a -show_entries packet=pts,pos -of csv=p=0 " + Quote(f));
    ASSERT_EQ(a.status, 0);
    const auto al = Lines(a.out);
    ASSERT_EQ(al.size(), info.audio.size());
    ASSERT_GE(al.size(), 23u);  // 3 s of 1024-sample frames at 8 kHz, plus priming
    for (std::size_t i = 0; i < al.size(); ++i) {
        const auto c = Split(al[i], ',');
        EXPECT_EQ(std::stoll(c[0]), info.audio[i].pts) << i;
        EXPECT_EQ(std::stoll(c[1]), info.audio[i].offset) << i;
    }
    EXPECT_EQ(info.audio.front().pts, info.pictures.front().pts);

    auto d = tstest::Run("ffprobe -v error -select_streams 2 -show_entries packet=pts,size -of csv=p=0 " + Quote(f));
    ASSERT_EQ(d.status, 0);
    const auto dl = Lines(d.out);
    ASSERT_EQ(dl.size(), info.records.size());
    for (std::size_t i = 0; i < dl.size(); ++i) {
        const auto c = Split(dl[i], ',');
        EXPECT_EQ(std::stoll(c[0]), info.records[i].pts);
        EXPECT_EQ(std::stoul(c[1]), info.records[i].text.size());
    }
}

TEST(RecgenOracle, FfmpegDecodesEveryFrameWithoutComplaint)
{
    TempDir dir;
    recgen::RecordingSpec recipe = Small();
    recipe.fps = 15;
    recipe.gop = 7;
    recipe.seconds = 2.5;
    recipe.audio_frames_per_pes = 3;

    // Long start codes (the default), the encoder's own, and PTS-only video PES must all
    // carry the same pictures.
    std::vector<std::string> md5s;
    for (int variant = 0; variant < 3; ++variant) {
        recgen::RecordingSpec s = recipe;
        s.long_start_codes = variant != 1;
        s.video_dts = variant != 2;
        const std::string f = dir.file("v" + std::to_string(variant) + ".ts");
        recgen::RecordingInfo info;
        ASSERT_TRUE(recgen::WriteRecording(s, f, &info)) << info.error;
        ASSERT_EQ(info.pictures.size(), 38u);

        auto r = tstest::Run("ffmpeg -nostdin -v error -threads 1 -i " + Quote(f) + " -map 0:v -map 0:a -f framemd5 - 2>&1");
        ASSERT_EQ(r.status, 0) << r.out;
        std::string video;
        int vframes = 0, aframes = 0;
        for (const auto& line : Lines(r.out)) {
            if (line[0] == '#')
                continue;
            ASSERT_TRUE(line[0] == '0' || line[0] == '1') << "unexpected output: " << line;
            if (line[0] == '0') {
                ++vframes;
                video += line + "\n";
            } else {
                ++aframes;
            }
        }
        EXPECT_EQ(vframes, 38);
        EXPECT_GE(aframes, 20);  // 2.5 s at 8 kHz in 1024-sample frames
        md5s.push_back(video);
    }
    EXPECT_EQ(md5s[0], md5s[1]);
    EXPECT_EQ(md5s[0], md5s[2]);
}

TEST(RecgenOracle, BFramesGoInDecodeOrderUnderTheirOwnPids)
{
    TempDir dir;
    const std::string f = dir.file("b.ts");
    recgen::RecordingSpec recipe = Small();
    recipe.b_frames = 2;
    recipe.pids = {0x0200, 0x0201, 0x0300, 0x0301, 0x0400};
    recgen::RecordingInfo info;
    ASSERT_TRUE(recgen::WriteRecording(recipe, f, &info)) << info.error;
    ASSERT_EQ(info.pictures.size(), 60u);

    auto prog = tstest::Run("ffprobe -v error -show_entries program=pmt_pid,pcr_pid -of default=nw=1 " + Quote(f));
    ASSERT_EQ(prog.status, 0);
    auto p = Fields(prog.out);
    EXPECT_EQ(p["pmt_pid"], "512");
    EXPECT_EQ(p["pcr_pid"], "513");
    // Streams are listed once under the programme and once on their own.
    auto ids = tstest::Run("ffprobe -v error -show_entries stream=id -of csv=p=0 " + Quote(f));
    EXPECT_EQ(Lines(ids.out), (std::vector<std::string>{"0x300", "0x301", "0x400", "0x300", "0x301", "0x400"}));

    // Decode order in the file: DTS one frame apart, never after the PTS; the PTS are those
    // of the display order, every one once.
    auto v = tstest::Run("ffprobe -v error -select_streams v -show_entries packet=pts,dts,flags -of csv=p=0 " + Quote(f));
    ASSERT_EQ(v.status, 0);
    const auto lines = Lines(v.out);
    ASSERT_EQ(lines.size(), 60u);
    std::vector<long long> pts;
    bool reordered = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto c = Split(lines[i], ',');
        ASSERT_GE(c.size(), 3u) << lines[i];
        EXPECT_EQ(std::stoll(c[0]), info.pictures[i].pts) << i;
        EXPECT_EQ(std::stoll(c[1]), info.pictures[i].dts) << i;
        EXPECT_EQ(std::stoll(c[1]), static_cast<long long>(i + 2) * 3000) << i;
        EXPECT_LE(std::stoll(c[1]), std::stoll(c[0])) << i;
        reordered = reordered || (i > 0 && std::stoll(c[0]) < pts.back());
        pts.push_back(std::stoll(c[0]));
    }
    EXPECT_TRUE(reordered);
    std::sort(pts.begin(), pts.end());
    for (std::size_t i = 0; i < pts.size(); ++i)
        EXPECT_EQ(pts[i], static_cast<long long>(i + 3) * 3000) << i;
    EXPECT_EQ(info.audio.front().pts, 3 * 3000);

    // Two B-frames between references (a group's end may have fewer), key frames where asked.
    auto t = tstest::Run("ffprobe -v error -select_streams v -show_entries frame=pict_type,key_frame -of csv=p=0 " +
                         Quote(f));
    const auto frames = Lines(t.out);
    ASSERT_EQ(frames.size(), 60u);
    int b = 0, run = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const auto c = Split(frames[i], ',');
        EXPECT_EQ(c[0] == "1", i % 15 == 0) << i;
        run = c[1] == "B" ? run + 1 : 0;
        b += c[1] == "B";
        EXPECT_LE(run, 2) << i;
    }
    EXPECT_GE(b, 30);
}

TEST(RecgenOracle, TheRecordingsOfASetShowNoPictureTwice)
{
    TempDir dir;
    recgen::RecordingSpec recipe = Small();
    recipe.seconds = 1.0;
    recipe.audio = false;
    std::vector<std::string> paths;
    std::string error;
    ASSERT_TRUE(recgen::WriteFolder(recipe, dir.file("set"), 2, false, &paths, nullptr, &error)) << error;
    std::vector<std::string> md5s;
    for (const std::string& path : paths) {
        auto r = tstest::Run("ffmpeg -nostdin -v error -i " + Quote(path) + " -map 0:v -f framemd5 - 2>&1");
        ASSERT_EQ(r.status, 0) << r.out;
        for (const auto& line : Lines(r.out))
            if (line[0] != '#')
                md5s.push_back(Split(line, ',').back());
    }
    ASSERT_EQ(md5s.size(), 60u);
    std::sort(md5s.begin(), md5s.end());
    EXPECT_EQ(std::unique(md5s.begin(), md5s.end()), md5s.end());
}

}  // namespace
