#include "engine/TsFile.h"
#include "tests/support/tempdir.h"
#include "tests/writers/helpers.h"
#include "tools/recgen/recgen.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <sys/resource.h>

namespace {

class TsFileTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        setenv("TZ", "Asia/Taipei", 1);
        tzset();
    }
    TempDir dir;
};

// Video, audio and text of a generated recording written through the writer, the way the
// export hands them over.
struct Written {
    recgen::RecordingInfo info;
    std::vector<SourcePacket> packets;
    std::vector<std::string> texts;
    int frames = 0;
};

Written WriteSample(CTsFile& ts, const TempDir& dir, const std::string& out, std::time_t start)
{
    QuietAv();
    Written w;
    recgen::RecordingSpec recipe;
    recipe.fps = 25;
    recipe.gop = 25;
    recipe.seconds = 2.0;
    recipe.start_time = start;
    const std::string src = dir.file("src.ts");
    EXPECT_TRUE(recgen::WriteRecording(recipe, src, &w.info)) << w.info.error;
    w.packets = ReadPackets(src);
    EXPECT_TRUE(ts.Open(out));
    ts.SetTime(start);
    std::size_t record = 0;
    for (const SourcePacket& p : w.packets) {
        if (p.video) {
            EXPECT_TRUE(ts.WriteVideo(p.data.data(), p.data.size(), 25));
            ++w.frames;
            ts.SetTime(start + w.frames / 25);
            if (record < w.info.records.size() && w.frames % 25 == 1) {
                const std::string& text = w.info.records[record++].text;
                EXPECT_TRUE(ts.WriteText(text.data(), text.size()));
                w.texts.push_back(text);
            }
        } else {
            EXPECT_TRUE(ts.WriteAudio(p.data.data(), p.data.size(), 8000));
        }
    }
    EXPECT_TRUE(ts.Close());
    return w;
}

std::vector<std::string> Md5Column(const std::string& framemd5)
{
    std::vector<std::string> md5s;
    std::istringstream in(framemd5);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        md5s.push_back(line.substr(line.rfind(',') + 1));
    }
    return md5s;
}

}  // namespace

TEST_F(TsFileTest, TablesCarryTheFixedLayoutAndMpegCrc)
{
    const std::uint8_t section[] = {0x00, 0xB0, 0x0D, 0x00, 0x01, 0xC1, 0x00, 0x00, 0x00, 0x01, 0xF0, 0x00};
    EXPECT_EQ(CTsFile::Crc32(section, sizeof section), 0x2AB104B2u);

    std::uint8_t pkt[188];
    CTsFile::BuildPat(pkt, 0);
    // A section followed by its CRC gives a zero remainder.
    EXPECT_EQ(CTsFile::Crc32(pkt + 5, 3 + 17), 0u);
    EXPECT_EQ(pkt[5 + 10] & 0x1F, 0x00);
    EXPECT_EQ(pkt[5 + 11], 0x1F);     // programme 0 -> SIT
    EXPECT_EQ(pkt[5 + 14] & 0x1F, 0x01);
    EXPECT_EQ(pkt[5 + 15], 0x00);     // programme 1 -> PMT 0x0100
    EXPECT_EQ(pkt[64], 0xFF);
    CTsFile::BuildPmt(pkt, 0);
    EXPECT_EQ(pkt[7], 38);
    EXPECT_EQ(CTsFile::Crc32(pkt + 5, 3 + 38), 0u);
    CTsFile::BuildSit(pkt, 0);
    EXPECT_EQ(CTsFile::Crc32(pkt + 5, 3 + 25), 0u);
    CTsFile::BuildPcr(pkt, 0, 3600 * 300 + 7);
    EXPECT_EQ(pkt[4], 183);
    EXPECT_EQ(pkt[5], 0x10);
    const std::int64_t base = std::int64_t(pkt[6]) << 25 | pkt[7] << 17 | pkt[8] << 9 | pkt[9] << 1 | pkt[10] >> 7;
    EXPECT_EQ(base, 3600);
    EXPECT_EQ((pkt[10] & 1) << 8 | pkt[11], 7);
}

TEST_F(TsFileTest, ExportedClipPlaysBackWithTheSamePicturesAndDecodableSound)
{
    CTsFile ts;
    const std::time_t start = 1700000000;
    const std::string out = dir.file("clip.ts");
    const Written w = WriteSample(ts, dir, out, start);
    ASSERT_EQ(w.frames, 50);

    const auto bytes = ReadBytes(out);
    const TsScan scan = ScanTs(bytes);
    ASSERT_EQ(scan.error, "");
    ASSERT_FALSE(scan.pids.empty());
    EXPECT_EQ(scan.pids[0], 0);

    // Recording header in the first packet.
    std::uint8_t date[6];
    CTsFile::HeaderDate(start, date);
    EXPECT_EQ(std::memcmp(&bytes[50], date, 6), 0);
    EXPECT_EQ(bytes[64], 0xFF);
    CTsFile::HeaderDate(start + 2, date);
    EXPECT_EQ(std::memcmp(&bytes[66], date, 6), 0);
    EXPECT_EQ(bytes[82], 25);
    EXPECT_EQ(bytes[50], 123);  // 2023 - 1900
    EXPECT_EQ(bytes[51], 10);   // November, counted from 0

    // Every frame whole, PTS step 3600 at 25 fps, from the first frame on.
    const auto& video = scan.pes.at(CTsFile::kPidVideo);
    ASSERT_EQ(video.size(), 50u);
    std::size_t v = 0;
    for (const SourcePacket& p : w.packets)
        if (p.video) {
            EXPECT_EQ(video[v].payload, p.data) << v;
            EXPECT_EQ(video[v].pts, 3600 * std::int64_t(v + 1));
            EXPECT_EQ(video[v].dts, video[v].pts);
            ++v;
        }
    // Long texts go out whole, short ones padded to 170 bytes.
    const auto& text = scan.pes.at(CTsFile::kPidText);
    ASSERT_EQ(text.size(), w.texts.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::string want = w.texts[i];
        if (want.size() < 170)
            want.resize(170, ' ');
        EXPECT_EQ(std::string(text[i].payload.begin(), text[i].payload.end()), want);
        EXPECT_EQ(text[i].declared_length, int(3 + 5 + want.size()));
    }
    ASSERT_GT(w.texts[0].size(), 170u);

    const std::string probe = RunCommand("ffprobe -v error -show_entries stream=codec_name,width,height "
                                  "-of compact " + out);
    EXPECT_NE(probe.find("codec_name=h264|width=320|height=240"), std::string::npos) << probe;
    EXPECT_NE(probe.find("codec_name=aac"), std::string::npos) << probe;
    const std::string count = RunCommand("ffprobe -v error -select_streams v -count_frames -show_entries "
                                  "stream=nb_read_frames -of csv=p=0 " + out);
    EXPECT_EQ(std::atoi(count.c_str()), 50);
    // The same pictures as the source, and sound that decodes to the source's samples.
    EXPECT_EQ(Md5Column(RunCommand("ffmpeg -v error -i " + out + " -map 0:v -f framemd5 - 2>&1")),
              Md5Column(RunCommand("ffmpeg -v error -i " + dir.file("src.ts") + " -map 0:v -f framemd5 - 2>&1")));
    const std::string pcm = RunCommand("ffmpeg -v error -i " + out + " -map 0:a -f s16le -ac 1 -ar 8000 - 2>/dev/null");
    EXPECT_GT(pcm.size(), 2u * 8000 * 3 / 2);
    const std::string warnings = RunCommand("ffmpeg -v warning -i " + out + " -map 0:v -map 0:a -f null - 2>&1");
    for (const char* fault : {"ontinuity", "PES", "orrupt", "rror"})
        EXPECT_EQ(warnings.find(fault), std::string::npos) << warnings;
}

TEST_F(TsFileTest, EachFileStartsItsCountersAndClockAgain)
{
    CTsFile ts;
    WriteSample(ts, dir, dir.file("a.ts"), 1700000000);
    WriteSample(ts, dir, dir.file("b.ts"), 1700000100);
    const TsScan a = ScanTs(ReadBytes(dir.file("a.ts")));
    const TsScan b = ScanTs(ReadBytes(dir.file("b.ts")));
    ASSERT_EQ(b.error, "");
    EXPECT_EQ(b.pes.at(CTsFile::kPidVideo).front().pts, a.pes.at(CTsFile::kPidVideo).front().pts);
    EXPECT_EQ(ts.VideoFrames(), 50);
    EXPECT_EQ(ReadBytes(dir.file("b.ts"))[3] & 15, 0);
}

TEST_F(TsFileTest, HeaderIsTheFirstPacketWhateverComesFirst)
{
    CTsFile ts;
    const std::string out = dir.file("text-first.ts");
    ASSERT_TRUE(ts.Open(out));
    ts.SetTime(1700000000);
    const std::string gps(200, 'G');
    ASSERT_TRUE(ts.WriteText(gps.data(), gps.size()));
    const std::uint8_t frame[300] = {0, 0, 0, 1, 0x65};
    ASSERT_TRUE(ts.WriteVideo(frame, sizeof frame, 30));
    ASSERT_TRUE(ts.WriteVideo(frame, sizeof frame, 30));
    EXPECT_EQ(ts.Pts(), 6000);
    ASSERT_TRUE(ts.Close());
    const auto bytes = ReadBytes(out);
    const TsScan scan = ScanTs(bytes);
    ASSERT_EQ(scan.error, "");
    EXPECT_EQ(scan.pids[0], 0);
    EXPECT_EQ(bytes[82], 30);
    EXPECT_EQ(std::string(scan.pes.at(CTsFile::kPidText)[0].payload.begin(),
                          scan.pes.at(CTsFile::kPidText)[0].payload.end()), gps);

    // A file without video keeps its header bytes blank.
    ASSERT_TRUE(ts.Open(dir.file("empty.ts")));
    ASSERT_TRUE(ts.Close());
    const auto empty = ReadBytes(dir.file("empty.ts"));
    ASSERT_EQ(empty.size(), 3u * 188);
    EXPECT_EQ(empty[66], 0xFF);
    EXPECT_EQ(empty[82], 0xFF);
}

TEST_F(TsFileTest, PacketiserBoundariesAndLargeFrames)
{
    CTsFile ts;
    const std::string out = dir.file("sizes.ts");
    ASSERT_TRUE(ts.Open(out));
    // 165 fills one packet exactly after the 19-byte header; 164 needs a 1-byte adaptation field.
    const std::vector<std::size_t> sizes = {0, 1, 163, 164, 165, 166, 183 + 184, 165 + 184, 164 + 184,
                                            600 * 1024, 2u << 20};
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        std::vector<std::uint8_t> frame(sizes[i]);
        for (std::size_t k = 0; k < frame.size(); ++k)
            frame[k] = std::uint8_t(k * 7 + i);
        ASSERT_TRUE(ts.WriteVideo(frame.data(), frame.size(), 0)) << sizes[i];
        ASSERT_TRUE(ts.WriteAudio(frame.data(), std::min<std::size_t>(frame.size(), 2000), 8000));
    }
    EXPECT_FALSE(ts.WriteAudio("x", 1, 0));
    std::vector<std::uint8_t> huge(CTsFile::kMaxFrame + 1);
    EXPECT_FALSE(ts.WriteVideo(huge.data(), huge.size(), 25));
    ASSERT_TRUE(ts.Close());

    const TsScan scan = ScanTs(ReadBytes(out));
    ASSERT_EQ(scan.error, "");
    const auto& video = scan.pes.at(CTsFile::kPidVideo);
    const auto& audio = scan.pes.at(CTsFile::kPidAudio);
    ASSERT_EQ(video.size(), sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        ASSERT_EQ(video[i].payload.size(), sizes[i]);
        for (std::size_t k = 0; k < sizes[i]; ++k)
            ASSERT_EQ(video[i].payload[k], std::uint8_t(k * 7 + i));
        EXPECT_EQ(video[i].pts, 90000 * std::int64_t(i + 1));  // fps 0 steps a whole second
        EXPECT_EQ(video[i].declared_length, 0);
        EXPECT_EQ(audio[i].pts, video[i].pts);
        EXPECT_EQ(audio[i].dts, -1);
        EXPECT_EQ(audio[i].declared_length, int(13 + audio[i].payload.size()));
    }
}

TEST_F(TsFileTest, FailuresAreReported)
{
    CTsFile ts;
    EXPECT_FALSE(ts.Open(dir.file("no/such/folder/x.ts")));
    EXPECT_FALSE(ts.Open("/dev/full"));
    EXPECT_FALSE(ts.WriteVideo("x", 1, 25));
    EXPECT_FALSE(ts.WriteText("x", 1));

    // A file limit reached in the middle: writes fail, the part written stays readable.
    const std::string out = dir.file("partial.ts");
    ASSERT_TRUE(ts.Open(out));
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 100 * 188;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::vector<std::uint8_t> frame(3000, 0x11);
    bool failed = false;
    for (int i = 0; i < 20 && !failed; ++i)
        failed = !ts.WriteVideo(frame.data(), frame.size(), 25);
    const bool text_ok = ts.WriteText("late", 4);
    const bool closed = ts.Close();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_TRUE(failed);
    EXPECT_FALSE(text_ok);
    EXPECT_FALSE(closed);
    const auto bytes = ReadBytes(out);
    EXPECT_EQ(bytes.size(), 100u * 188);
    EXPECT_EQ(bytes[82], 25);
    EXPECT_EQ(ScanTs(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 188 * 90)).error, "");
}
