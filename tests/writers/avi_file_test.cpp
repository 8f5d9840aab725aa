#include "engine/AviFile.h"
#include "tests/support/tempdir.h"
#include "tests/writers/helpers.h"
#include "tools/recgen/recgen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

struct AviProbe : CAviFile {
    using CAviFile::audio_pos_;
    using CAviFile::video_pos_;
};

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}
std::string Fourcc(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return std::string(b.begin() + std::ptrdiff_t(at), b.begin() + std::ptrdiff_t(at + 4));
}

std::vector<std::uint8_t> Tone(std::size_t bytes, int offset)
{
    std::vector<std::uint8_t> pcm(bytes);
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
        const auto s = std::int16_t(8000 * std::sin(double(offset + int(i / 2)) * 0.05));
        pcm[i] = std::uint8_t(s);
        pcm[i + 1] = std::uint8_t(std::uint16_t(s) >> 8);
    }
    return pcm;
}

// A width whose rows of 24-bit pixels need padding to whole words.
constexpr int kWidth = 642;

class AviFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QuietAv();
        recgen::RecordingSpec recipe;
        recipe.width = kWidth;
        recipe.height = 480;
        recipe.fps = 25;
        recipe.gop = 10;
        recipe.seconds = 2.0;
        recgen::RecordingInfo info;
        src = dir.file("src.ts");
        ASSERT_TRUE(recgen::WriteRecording(recipe, src, &info)) << info.error;
        for (SourcePacket& p : ReadPackets(src))
            if (p.video)
                frames.push_back(std::move(p));
        ASSERT_EQ(frames.size(), 50u);
    }
    TempDir dir;
    std::string src;
    std::vector<SourcePacket> frames;
};

}  // namespace

TEST_F(AviFileTest, ClipDeclaresItsCodecTimingAndKeyFrames)
{
    const std::string out = dir.file("clip.avi");
    AviProbe avi;
    ASSERT_TRUE(avi.Create(out, kWidth, 480, 25));
    std::vector<std::uint8_t> pcm;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        ASSERT_TRUE(avi.WriteVideo(frames[i].data.data(), long(frames[i].data.size()), frames[i].key));
        if (i % 5 == 4) {
            const auto chunk = Tone(3200, int(pcm.size() / 2));
            // The sound begins beside the fifth picture: 5 / 25 s in.
            const int before = pcm.empty() ? 1600 : avi.audio_pos_;
            ASSERT_TRUE(avi.WriteAudio(chunk.data(), long(chunk.size())));
            EXPECT_EQ(avi.audio_pos_ - before, 1600);
            pcm.insert(pcm.end(), chunk.begin(), chunk.end());
        }
    }
    EXPECT_EQ(avi.video_pos_, 50);
    ASSERT_TRUE(avi.Close());
    EXPECT_FALSE(avi.IsOpen());

    const auto bytes = ReadBytes(out);
    ASSERT_GT(bytes.size(), 200u);
    EXPECT_EQ(Fourcc(bytes, 0), "RIFF");
    EXPECT_EQ(Le32(bytes, 32), 40000u);      // microseconds per frame
    EXPECT_EQ(Fourcc(bytes, 108), "vids");
    EXPECT_EQ(Fourcc(bytes, 112), "AVC1");    // handler
    EXPECT_EQ(Le32(bytes, 128), 1000u);      // scale
    EXPECT_EQ(Le32(bytes, 132), 25000u);     // rate
    EXPECT_EQ(Fourcc(bytes, 164), "strf");
    EXPECT_EQ(Fourcc(bytes, 188), "X264");
    EXPECT_EQ(Le32(bytes, 192), 925440u);    // rows of 1928 bytes

    const std::string streams = RunCommand(
        "ffprobe -v error -show_entries stream=codec_name,codec_tag_string,width,height,sample_rate,channels "
        "-of compact " + out);
    EXPECT_NE(streams.find("codec_name=h264|codec_tag_string=X264|width=642|height=480"), std::string::npos)
        << streams;
    EXPECT_NE(streams.find("codec_name=pcm_s16le|codec_tag_string=[1][0][0][0]|sample_rate=8000|channels=1"),
              std::string::npos) << streams;
    // Key flags only on the key frames.
    std::istringstream flags(RunCommand("ffprobe -v error -select_streams v -show_entries packet=flags "
                                        "-of csv=p=0 " + out));
    std::size_t n = 0;
    for (std::string line; std::getline(flags, line); ++n) {
        ASSERT_LT(n, frames.size());
        EXPECT_EQ(line[0] == 'K', frames[n].key) << n;
    }
    EXPECT_EQ(n, frames.size());
    const std::string md5s =
        RunCommand("ffmpeg -v error -i " + out + " -map 0:v -f framemd5 - 2>&1 | grep -v '^#' | cut -d, -f6");
    EXPECT_EQ(std::count(md5s.begin(), md5s.end(), '\n'), 50);
    EXPECT_EQ(md5s, RunCommand("ffmpeg -v error -i " + src + " -map 0:v -f framemd5 - 2>&1 | grep -v '^#' | cut -d, -f6"));
    // On the clip's timeline the sound begins 0.2 s in.
    const std::string decoded = RunCommand("ffmpeg -v error -i " + out +
                                           " -map 0:a -af aresample=async=1:first_pts=0 -f s16le - 2>/dev/null");
    EXPECT_EQ(decoded.size(), 3200 + 16000u * 2);
    EXPECT_TRUE(decoded == std::string(3200, '\0') + std::string(pcm.begin(), pcm.end()));

    // Read back through the same class.
    CAviFile in;
    ASSERT_TRUE(in.Open(out));
    std::vector<std::uint8_t> buf(1 << 20);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        long size = long(buf.size());
        ASSERT_TRUE(in.ReadVideo(buf.data(), &size)) << i;
        ASSERT_EQ(std::vector<std::uint8_t>(buf.begin(), buf.begin() + size), frames[i].data) << i;
    }
    long size = long(buf.size());
    EXPECT_FALSE(in.ReadVideo(buf.data(), &size));
    std::vector<std::uint8_t> audio;
    for (;;) {
        long got = 3000;
        if (!in.ReadAudio(buf.data(), &got) || got == 0)
            break;
        audio.insert(audio.end(), buf.begin(), buf.begin() + got);
    }
    EXPECT_TRUE(audio == pcm);
    EXPECT_TRUE(in.Close());
}

// Sound that begins long after the pictures (here 266 frames in, past any buffering of the
// first frames) still joins the clip, at the picture it came with.
TEST_F(AviFileTest, SoundBeginningLateKeepsItsPlace)
{
    // A clip without a known rate gets the engine's 30 frames a second.
    const std::string out = dir.file("late.avi");
    CAviFile avi;
    ASSERT_TRUE(avi.Create(out, kWidth, 480, 0));
    constexpr int kFrames = 300, kSoundFrom = 266;
    std::vector<std::uint8_t> pcm;
    for (int i = 0; i < kFrames; ++i) {
        const SourcePacket& f = frames[std::size_t(i % 50)];
        ASSERT_TRUE(avi.WriteVideo(f.data.data(), long(f.data.size()), f.key));
        if (i >= kSoundFrom) {
            const auto chunk = Tone(532, int(pcm.size() / 2));
            ASSERT_TRUE(avi.WriteAudio(chunk.data(), long(chunk.size()))) << i;
            pcm.insert(pcm.end(), chunk.begin(), chunk.end());
        }
    }
    ASSERT_TRUE(avi.Close());
    const auto bytes = ReadBytes(out);
    EXPECT_EQ(Le32(bytes, 132), 30000u);
    const std::string count = RunCommand("ffprobe -v error -select_streams v -count_packets -show_entries "
                                         "stream=nb_read_packets -of csv=p=0 " + out);
    EXPECT_EQ(std::atoi(count.c_str()), kFrames);
    // Decoded on the clip's timeline, the sound begins after picture 267: 8.9 s in.
    const std::string decoded = RunCommand("ffmpeg -v error -i " + out +
                                           " -map 0:a -af aresample=async=1:first_pts=0 -f s16le - 2>/dev/null");
    EXPECT_TRUE(decoded == std::string(71200 * 2, '\0') + std::string(pcm.begin(), pcm.end()));
}

TEST_F(AviFileTest, FailuresLeaveNoOpenFile)
{
    CAviFile avi;
    EXPECT_TRUE(avi.Close());  // never opened
    EXPECT_FALSE(avi.IsOpen());
    EXPECT_FALSE(avi.WriteVideo("x", 1, true));
    EXPECT_FALSE(avi.Create(dir.file("missing/clip.avi"), 640, 480, 25));
    EXPECT_FALSE(avi.IsOpen());
    EXPECT_FALSE(avi.Create(dir.file("big.avi"), 20000, 480, 25));
    EXPECT_FALSE(avi.Open(dir.file("none.avi")));
    EXPECT_FALSE(avi.Open(src));  // not an AVI

    // A full disk: the creation, a write or the close reports it.
    bool ok = avi.Create("/dev/full", 640, 480, 25);
    for (int round = 0; round < 10 && ok; ++round)
        for (const SourcePacket& f : frames)
            ok = avi.WriteVideo(f.data.data(), long(f.data.size()), f.key) && ok;
    ok = avi.Close() && ok;
    EXPECT_FALSE(ok);
}

// Past 1 GiB the file goes on in further RIFF segments with OpenDML indexes: every frame is
// still found, by other readers and by this class.
TEST_F(AviFileTest, ClipsPastOneGibibyteKeepEveryFrame)
{
    constexpr std::size_t kPadded = 4u << 20;
    constexpr int kCount = 270;  // 1.05 GiB of video
    const std::string out = dir.file("long.avi");
    CAviFile avi;
    ASSERT_TRUE(avi.Create(out, kWidth, 480, 25));
    std::vector<std::uint8_t> frame(kPadded);
    for (int i = 0; i < kCount; ++i) {
        const std::vector<std::uint8_t>& pkt = frames[i % 50].data;
        // The picture, then a filler NAL unit (type 12) up to the padded size.
        std::memcpy(frame.data(), pkt.data(), pkt.size());
        const std::uint8_t start[5] = {0, 0, 0, 1, 12};
        std::memcpy(frame.data() + pkt.size(), start, sizeof start);
        std::memset(frame.data() + pkt.size() + sizeof start, 0xFF, kPadded - pkt.size() - sizeof start - 1);
        frame.back() = 0x80;
        ASSERT_TRUE(avi.WriteVideo(frame.data(), long(frame.size()), frames[i % 50].key)) << i;
        if (i % 5 == 4) {
            const auto pcm = Tone(3200, i);
            ASSERT_TRUE(avi.WriteAudio(pcm.data(), long(pcm.size())));
        }
    }
    ASSERT_TRUE(avi.Close());

    const auto size = std::filesystem::file_size(out);
    EXPECT_GT(size, std::uintmax_t(kCount) * kPadded);
    {
        // A second RIFF segment of type "AVIX" follows the first one.
        std::ifstream in(out, std::ios::binary);
        char head[12];
        ASSERT_TRUE(in.read(head, 12));
        const std::uint32_t first = std::uint8_t(head[4]) | std::uint8_t(head[5]) << 8 |
                                    std::uint8_t(head[6]) << 16 | std::uint32_t(std::uint8_t(head[7])) << 24;
        in.seekg(std::streamoff(first) + 8);
        ASSERT_TRUE(in.read(head, 12));
        EXPECT_EQ(std::string(head, 4), "RIFF");
        EXPECT_EQ(std::string(head + 8, 4), "AVIX");
    }
    const std::string count = RunCommand("ffprobe -v error -select_streams v -count_packets -show_entries "
                                         "stream=nb_read_packets -of csv=p=0 " + out);
    EXPECT_EQ(std::atoi(count.c_str()), kCount);
    const std::string md5s =
        RunCommand("ffmpeg -v error -i " + out + " -map 0:v -f framemd5 - 2>&1 | grep -v '^#' | cut -d, -f6");
    std::istringstream source(
        RunCommand("ffmpeg -v error -i " + src + " -map 0:v -f framemd5 - 2>&1 | grep -v '^#' | cut -d, -f6"));
    std::vector<std::string> one;
    for (std::string line; std::getline(source, line);)
        one.push_back(line);
    ASSERT_EQ(one.size(), 50u);
    std::string want;
    for (int i = 0; i < kCount; ++i)
        want += one[std::size_t(i % 50)] + "\n";
    EXPECT_EQ(md5s, want);

    // The last frame reads back whole through the wrapper.
    CAviFile in;
    ASSERT_TRUE(in.Open(out));
    std::vector<std::uint8_t> buf(kPadded);
    int read = 0;
    for (long got = long(buf.size()); in.ReadVideo(buf.data(), &got); got = long(buf.size())) {
        ASSERT_EQ(std::size_t(got), kPadded) << read;
        ++read;
    }
    EXPECT_EQ(read, kCount);
    const std::vector<std::uint8_t>& last = frames[(kCount - 1) % 50].data;
    EXPECT_TRUE(std::equal(last.begin(), last.end(), buf.begin()));
    EXPECT_TRUE(in.Close());
}
