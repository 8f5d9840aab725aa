// Clips exported from a generated recording through the engine's flat interface, read back
// with ffprobe and ffmpeg.

#include "engine/EngineMessages.h"
#include "engine/Jtv.h"
#include "engine/JtvCtrl.h"
#include "engine/RecordCtx.h"
#include "engine/SourceType.h"
#include "platform/base/clock.h"
#include "platform/base/message.h"
#include "tests/support/access_units.h"
#include "tests/support/export_fixture.h"
#include "tests/support/media_probe.h"
#include "tests/support/tempdir.h"
#include "tests/support/wait.h"
#include "tools/recgen/recgen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace {

using mediaprobe::Field;
using mediaprobe::KeyFlags;
using mediaprobe::Lines;
using mediaprobe::Pictures;
using mediaprobe::Shell;

constexpr std::int64_t kTimeZone = 3600;  // the engine's offset, seconds west

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// ffprobe's "key=value" lines of one stream kind.
std::string Probe(const std::string& path, const std::string& stream, const std::string& entries)
{
    return Shell("ffprobe -v error -count_frames -select_streams " + stream + " -show_entries stream=" + entries +
               " -of default=nw=1 '" + path + "'");
}

std::string Stamp(std::int64_t t)
{
    const std::time_t tt = static_cast<std::time_t>(t + kTimeZone);
    std::tm tm{};
    localtime_r(&tt, &tm);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%4d-%02d-%02d-%02d-%02d-%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

class ExportTest : public ExportFixture {
protected:
    ExportTest() : ExportFixture(static_cast<LONG>(kTimeZone)) {}

    // A picture of the recording for the export's writer, at kFps.
    static ExportFrame Frame(const std::vector<std::uint8_t>& data, bool key, std::int64_t time)
    {
        ExportFrame f;
        f.data = data.data();
        f.size = data.size();
        f.fps = kFps;
        f.key = key;
        f.time = time;
        return f;
    }

    void ExpectSamePictures(const std::vector<std::string>& clip, const std::vector<std::size_t>& which)
    {
        if (source_pictures_.empty())
            source_pictures_ = Pictures(source_, kWidth, kHeight);
        ASSERT_EQ(source_pictures_.size(), info_.pictures.size());
        ASSERT_EQ(clip.size(), which.size());
        for (std::size_t i = 0; i < clip.size(); ++i)
            EXPECT_TRUE(clip[i] == source_pictures_[which[i]]) << "picture " << i << " (source " << which[i] << ")";
    }

    // The clip's pictures are those of the set's files named in `expected`, in that order.
    void ExpectPicturesOfSet(const std::string& clip, const RecordingSet& set,
                             const std::vector<std::pair<int, std::size_t>>& expected)
    {
        std::vector<std::vector<std::string>> sources(set.paths.size());
        const std::vector<std::string> pictures = Pictures(clip, kWidth, kHeight);
        ASSERT_EQ(pictures.size(), expected.size()) << clip;
        for (std::size_t i = 0; i < pictures.size(); ++i) {
            const auto [file, index] = expected[i];
            auto& source = sources[static_cast<std::size_t>(file)];
            if (source.empty())
                source = Pictures(set.paths[static_cast<std::size_t>(file)], kWidth, kHeight);
            ASSERT_LT(index, source.size());
            EXPECT_TRUE(pictures[i] == source[index]) << "picture " << i << " (file " << file << ", " << index << ")";
        }
    }

    // The clip's sound as 8000 Hz 16-bit mono samples.
    static std::vector<std::int16_t> Sound(const std::string& clip)
    {
        const std::string pcm = Shell("ffmpeg -v error -i '" + clip + "' -map 0:a -ar 8000 -ac 1 -f s16le - 2>/dev/null");
        std::vector<std::int16_t> samples(pcm.size() / 2);
        std::memcpy(samples.data(), pcm.data(), samples.size() * 2);
        return samples;
    }

    // The pitch of a tone from `from` for `length` seconds of the sound, from its zero crossings.
    static double ToneHz(const std::vector<std::int16_t>& sound, double from, double length)
    {
        const auto begin = static_cast<std::size_t>(from * 8000), end = static_cast<std::size_t>((from + length) * 8000);
        int crossings = 0;
        for (std::size_t i = begin + 1; i < std::min(end, sound.size()); ++i)
            crossings += (sound[i - 1] < 0) != (sound[i] < 0);
        return crossings / (2 * length);
    }

    // Where the clip's first sound lies, in seconds from its first picture.
    static double FirstSound(const std::string& clip)
    {
        return std::atof(Shell("ffprobe -v error -select_streams a -show_entries packet=pts_time -of csv=p=0 '" + clip +
                               "' | head -1").c_str());
    }

    std::vector<std::string> source_pictures_;
};

TEST_F(ExportTest, TsClipHoldsThePicturesSoundAndGpsTextOfTheRange)
{
    JtvSetValueD(engine_, 1);
    const std::string base = dir_.file("out/trip");
    ASSERT_TRUE(Export(base + ".ts", 2, 4));
    EXPECT_EQ(progress_, 1000.0);
    EXPECT_EQ(begins_, std::vector<std::string>{base});
    EXPECT_EQ(endsOfClips_, std::vector<std::string>{base});
    EXPECT_FALSE(std::filesystem::exists(base + ".avi"));

    const std::vector<std::size_t> expected = Expected(2, 4);
    ASSERT_GT(expected.size(), 20u);
    const std::string clip = base + ".ts";
    const std::string video = Probe(clip, "v:0", "codec_name,width,height,nb_read_frames");
    EXPECT_EQ(Field(video, "codec_name"), "h264");
    EXPECT_EQ(Field(video, "width"), std::to_string(kWidth));
    EXPECT_EQ(Field(video, "height"), std::to_string(kHeight));
    EXPECT_EQ(Field(video, "nb_read_frames"), std::to_string(expected.size()));
    const double duration = std::atof(Field(Shell("ffprobe -v error -select_streams v:0 -show_entries stream=duration "
                                                "-of default=nw=1 '" + clip + "'"), "duration").c_str());
    EXPECT_NEAR(duration, double(expected.size()) / kFps, 2.0 / kFps);
    EXPECT_EQ(Field(Probe(clip, "a:0", "codec_name"), "codec_name"), "aac");
    ExpectSamePictures(Pictures(clip, kWidth, kHeight), expected);

    // The sound decodes as what the stream says it is.
    int status = -1;
    const std::string errors = Shell("ffmpeg -v error -i '" + clip + "' -map 0:a -f null - 2>&1", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(errors, "");
    const std::string samples = Shell("ffprobe -v error -count_packets -select_streams a:0 -show_entries "
                                    "stream=nb_read_packets -of default=nw=1 '" + clip + "'");
    EXPECT_GE(std::atoi(Field(samples, "nb_read_packets").c_str()), 2 * 8000 / 1024 - 2);

    // One sensor line per record of the range, sentence lines where the record has them.
    std::vector<std::string> want;
    const std::int64_t first = info_.pictures[expected.front()].pts, last = info_.pictures[expected.back()].pts;
    for (const recgen::RecordInfo& r : info_.records) {
        if (r.pts < first || r.pts > last)
            continue;
        const std::string stamp = Stamp(static_cast<std::int64_t>(r.pts / 90000 + rec_.start_time));
        if (!r.nmea.empty()) {
            for (std::string s : {r.nmea.substr(0, r.nmea.find("\r\n")), r.nmea.substr(r.nmea.find("$G", 2))}) {
                s = s.substr(0, s.find_first_of(" \r\n"));
                want.push_back("0x47," + s + "," + stamp);
            }
        }
        char line[160];
        std::snprintf(line, sizeof line, "0x41,%.6f,%.6f,%.6f,%s", r.x * 2, r.y * 2, r.z * 2, stamp.c_str());
        want.push_back(line);
    }
    ASSERT_GE(want.size(), 6u);
    EXPECT_EQ(Lines(ReadText(base + ".txt")), want);
}

TEST_F(ExportTest, AviClipHoldsTheRecordingsPicturesWithKeyFlagsAndPcmSound)
{
    const std::string base = dir_.file("out/trip");
    ASSERT_TRUE(Export(base + ".avi", 1, 4));
    EXPECT_EQ(progress_, 1000.0);
    const std::string clip = base + ".avi";
    EXPECT_FALSE(std::filesystem::exists(base + ".ts"));
    EXPECT_FALSE(std::filesystem::exists(base + ".txt"));

    const std::vector<std::size_t> expected = Expected(1, 4);
    const std::string video = Probe(clip, "v:0", "codec_name,codec_tag_string,width,height,nb_read_frames");
    EXPECT_EQ(Field(video, "codec_name"), "h264");
    EXPECT_EQ(Field(video, "codec_tag_string"), "X264");
    EXPECT_EQ(Field(video, "width"), std::to_string(kWidth));
    EXPECT_EQ(Field(video, "height"), std::to_string(kHeight));
    EXPECT_EQ(Field(video, "nb_read_frames"), std::to_string(expected.size()));
    const std::string audio = Probe(clip, "a:0", "codec_name,sample_rate,channels");
    EXPECT_EQ(Field(audio, "codec_name"), "pcm_s16le");
    EXPECT_EQ(Field(audio, "sample_rate"), "8000");
    EXPECT_EQ(Field(audio, "channels"), "1");
    const double duration = std::atof(Field(Shell("ffprobe -v error -show_entries format=duration -of default=nw=1 '" +
                                                clip + "'"), "duration").c_str());
    EXPECT_NEAR(duration, double(expected.size()) / kFps, 0.25);
    // The sound muxed ahead of the first picture is there from that picture on.
    EXPECT_EQ(Shell("ffprobe -v error -select_streams a -show_entries packet=pts_time -of csv=p=0 '" + clip +
                    "' | head -1"), "0.000000\n");

    // Only the recording's key frames carry the key flag.
    std::vector<bool> keys;
    for (std::size_t i : expected)
        keys.push_back(info_.pictures[i].key);
    EXPECT_EQ(KeyFlags(clip), keys);
    ExpectSamePictures(Pictures(clip, kWidth, kHeight), expected);
}

TEST_F(ExportTest, AviPastTheSplitSizeContinuesAtTheNextKeyFrameWithoutLosingPictures)
{
    // The real split size would need half a gigabyte of pictures; a smaller one splits the same way.
    std::uint64_t gop = 0;
    for (std::size_t i = 0; i < 25; ++i)
        gop += static_cast<std::uint64_t>(info_.pictures[i].size);
    Engine()->m_export[0].SetSplitBytes(gop * 3 / 2);
    const std::string base = dir_.file("out/long");
    ASSERT_TRUE(Export(base + ".avi", 0, 7));
    EXPECT_EQ(progress_, 1000.0);

    const std::vector<std::string> names = Engine()->m_export[0].ClipNames();
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(names[0], base);
    for (std::size_t k = 1; k < names.size(); ++k)
        EXPECT_EQ(names[k], base + " (" + std::to_string(k + 1) + ")");
    EXPECT_EQ(begins_, names);
    EXPECT_EQ(endsOfClips_, names);

    std::vector<std::string> all;
    for (const std::string& name : names) {
        const std::vector<bool> keys = KeyFlags(name + ".avi");
        ASSERT_FALSE(keys.empty()) << name;
        EXPECT_TRUE(keys.front()) << name << " starts with a key frame";
        const std::vector<std::string> pictures = Pictures(name + ".avi", kWidth, kHeight);
        EXPECT_EQ(pictures.size(), keys.size());
        all.insert(all.end(), pictures.begin(), pictures.end());
    }
    ExpectSamePictures(all, Expected(0, 7));
}

// The real split size: pictures of the recording padded with filler data to 4 MiB each, so
// 125 of them make exactly 524,288,000 bytes. The size must be exceeded, not reached, and the
// clip then runs on to the next key frame.
TEST_F(ExportTest, AviSplitsAfterMoreThan524288000BytesAtTheNextKeyFrame)
{
    constexpr std::size_t kPadded = 4u << 20;
    constexpr std::size_t kCount = 140;
    recgen::RecordingSpec recipe = rec_;
    recipe.gop = 5;
    recipe.audio = false;
    recipe.info_hz = 0;
    std::filesystem::create_directories(dir_.file("big"));
    const std::string source = dir_.file("big/source.ts");
    recgen::RecordingInfo info;
    ASSERT_TRUE(recgen::WriteRecording(recipe, source, &info)) << info.error;
    ASSERT_GE(info.pictures.size(), kCount);

    std::vector<AccessUnit> packets = ReadAccessUnits(source);
    ASSERT_GE(packets.size(), kCount);
    packets.resize(kCount);
    std::vector<bool> keys;
    for (std::size_t i = 0; i < kCount; ++i) {
        keys.push_back(packets[i].key);
        ASSERT_EQ(keys[i], i % 5 == 0) << i;
    }

    CJtvCtrl* e = Engine();
    const std::string base = dir_.file("big/drive");
    e->m_recordName = base + ".avi";
    CRecordCtx& ctx = e->m_export[0];
    ctx.BeginExport();
    std::vector<std::uint8_t> frame(kPadded);
    for (std::size_t i = 0; i < kCount; ++i) {
        const std::vector<std::uint8_t>& pkt = packets[i].data;
        ASSERT_LT(pkt.size() + 6, kPadded);
        std::memcpy(frame.data(), pkt.data(), pkt.size());
        // A filler NAL unit (type 12) up to the padded size; decoders skip it.
        const std::uint8_t start[5] = {0, 0, 0, 1, 12};
        std::memcpy(frame.data() + pkt.size(), start, sizeof start);
        std::memset(frame.data() + pkt.size() + sizeof start, 0xFF, kPadded - pkt.size() - sizeof start - 1);
        frame.back() = 0x80;
        ASSERT_TRUE(ctx.WriteVideo(Frame(frame, keys[i], rec_.start_time + static_cast<std::int64_t>(i) / kFps))) << i;
    }
    ASSERT_TRUE(ctx.Close());
    EXPECT_FALSE(ctx.Failed());

    // Frame 125 is a key frame written when exactly the split size was reached: no split
    // there. It takes the clip past the size, so the key frame at 130 starts the second clip.
    EXPECT_EQ(ctx.ClipNames(), (std::vector<std::string>{base, base + " (2)"}));
    const std::vector<bool> first = KeyFlags(base + ".avi");
    const std::vector<bool> second = KeyFlags(base + " (2).avi");
    EXPECT_EQ(first, std::vector<bool>(keys.begin(), keys.begin() + 130));
    EXPECT_EQ(second, std::vector<bool>(keys.begin() + 130, keys.end()));
    EXPECT_GT(std::filesystem::file_size(base + ".avi"), 130 * kPadded);

    const std::vector<std::string> sourcePictures = Pictures(source, kWidth, kHeight);
    ASSERT_GE(sourcePictures.size(), kCount);
    std::vector<std::string> all = Pictures(base + ".avi", kWidth, kHeight);
    const std::vector<std::string> more = Pictures(base + " (2).avi", kWidth, kHeight);
    all.insert(all.end(), more.begin(), more.end());
    ASSERT_EQ(all.size(), kCount);
    for (std::size_t i = 0; i < kCount; ++i)
        EXPECT_TRUE(all[i] == sourcePictures[i]) << "picture " << i;
}

TEST_F(ExportTest, UnwritableFolderFailsCleanly)
{
    // A folder that cannot be made refuses the export at once.
    EXPECT_FALSE(Export("/proc/qv-no-such-folder/clip.ts", 1, 3));

    // A folder that takes no files runs the export to its end and reports the failure.
    ASSERT_TRUE(Export("/proc/qv-export-clip.avi", 1, 3));
    EXPECT_EQ(progress_, -1.0);
    EXPECT_TRUE(Engine()->m_export[0].Failed());
    EXPECT_TRUE(begins_.empty());
}

// Files of this process may grow to `bytes` while it lives, as if the disk were full.
class FullDisk {
public:
    explicit FullDisk(rlim_t bytes) : old_(std::signal(SIGXFSZ, SIG_IGN))
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit small = saved_;
        small.rlim_cur = bytes;
        ok_ = setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FullDisk()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, old_);
    }
    bool ok() const { return ok_; }

private:
    void (*old_)(int);
    rlimit saved_{};
    bool ok_ = false;
};

TEST_F(ExportTest, FullDiskEndsWithAFailureAndAReadablePartialClip)
{
    JtvSetValueD(engine_, 1);
    const std::string base = dir_.file("out/full");
    bool ended = false;
    {
        FullDisk full(60000);
        ASSERT_TRUE(full.ok());
        ended = Export(base + ".ts", 0, 6);
    }
    ASSERT_TRUE(ended);
    EXPECT_EQ(progress_, -1.0);
    EXPECT_TRUE(Engine()->m_export[0].Failed());
    EXPECT_LE(std::filesystem::file_size(base + ".ts"), 60000u);
    EXPECT_EQ(begins_, std::vector<std::string>{base});

    const std::string video = Probe(base + ".ts", "v:0", "codec_name,nb_read_frames");
    EXPECT_EQ(Field(video, "codec_name"), "h264");
    const int frames = std::atoi(Field(video, "nb_read_frames").c_str());
    EXPECT_GT(frames, 1);
    EXPECT_LT(static_cast<std::size_t>(frames), info_.pictures.size());

    // A writer that goes on after the failure, as a feeder that has not yet seen the stop does,
    // never starts the clip again over what it holds.
    const std::vector<AccessUnit> packets = ReadAccessUnits(source_);
    CRecordCtx& ctx = Engine()->m_export[0];
    const std::string again = dir_.file("out/again");
    Engine()->m_recordName = again + ".ts";
    ctx.BeginExport();
    std::size_t failedAt = 0;
    {
        FullDisk full(60000);
        ASSERT_TRUE(full.ok());
        for (std::size_t i = 0; i < packets.size(); ++i)
            if (!ctx.WriteVideo(Frame(packets[i].data, packets[i].key, FrameTime(i))) && failedAt == 0)
                failedAt = i;
        ctx.Close();
    }
    ASSERT_GT(failedAt, 1u);
    EXPECT_TRUE(ctx.Failed());
    EXPECT_EQ(ctx.ClipNames(), std::vector<std::string>{again});
    // The clip holds the pictures from its start; the one cut by the full disk may be damaged.
    std::vector<std::string> pictures = Pictures(again + ".ts", kWidth, kHeight);
    ASSERT_GE(pictures.size(), failedAt - 1);
    pictures.resize(failedAt - 1);
    std::vector<std::size_t> expected(pictures.size());
    std::iota(expected.begin(), expected.end(), 0);
    ExpectSamePictures(pictures, expected);
}

// Sound that begins late in the recording (2 s after the first picture) keeps its place in the
// AVI clip: it starts where the recording's own time stamps put it, and every picture stays.
TEST_F(ExportTest, SoundStartingLateKeepsItsPlaceInTheAviClip)
{
    // The recording without the sound of its first two seconds.
    const std::int64_t first = info_.pictures.front().pts;
    const std::int64_t soundPts = CutSound(source_, info_, rec_.pids.audio, first + 2 * 90000, false);
    ASSERT_GT(soundPts, 0);

    const std::string base = dir_.file("late/drive");
    ASSERT_TRUE(Export(base + ".avi", 0, 6));
    EXPECT_EQ(progress_, 1000.0);
    const std::string clip = base + ".avi";
    int status = -1;
    EXPECT_EQ(Shell("ffmpeg -v error -i '" + clip + "' -f null - 2>&1", &status), "");
    EXPECT_EQ(status, 0);
    const std::vector<std::size_t> expected = Expected(0, 6);
    ExpectSamePictures(Pictures(clip, kWidth, kHeight), expected);
    // The sound's first sample lies where its time stamp puts it, to the sample.
    const double start = (soundPts - info_.pictures[expected.front()].pts) / 90000.0;
    const std::string firstSound = Shell("ffprobe -v error -select_streams a -show_entries packet=pts_time -of csv=p=0 '" +
                                         clip + "' | head -1");
    ASSERT_FALSE(firstSound.empty());
    EXPECT_NEAR(std::atof(firstSound.c_str()), start, 1.0 / 8000);
    // Every sample of the recording's remaining sound is there.
    const std::string pcm = "-map 0:a -ar 8000 -ac 1 -f s16le - 2>/dev/null | wc -c";
    EXPECT_EQ(std::atoi(Shell("ffmpeg -v error -i '" + clip + "' " + pcm).c_str()),
              std::atoi(Shell("ffmpeg -v error -i '" + source_ + "' " + pcm).c_str()));
}

// An export or a backup whose output is a file of the source, by any name, is refused before
// anything is written.
TEST_F(ExportTest, AnOutputThatIsAFileOfTheSourceIsRefusedAndWritesNothing)
{
    namespace fs = std::filesystem;
    const std::string original = ReadText(source_);
    const fs::path folder = fs::path(source_).parent_path();
    const std::string stem = (folder / fs::path(source_).stem()).string();
    // The folder through a link, and the recording under a second name of its own.
    fs::create_directory_symlink(folder, dir_.file("link"));
    fs::create_hard_link(source_, folder / "alias.txt");
    const auto listing = [&] {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(dir_.file(""))) {
            names.push_back(entry.path().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::vector<std::string> before = listing();

    JtvSetValueD(engine_, 1);
    const std::string viaLink = dir_.file("link/") + fs::path(source_).stem().string();
    for (const std::string& output : {stem, stem + ".ts", viaLink + ".avi", (folder / "alias").string()}) {
        EXPECT_FALSE(StartExport(output, 0, 6)) << output;
        EXPECT_NE(JtvGetExportProgress(engine_), 1000.0) << output;
        JtvStop(engine_);
    }
    // A backup of the folder's list onto one of its recordings.
    ASSERT_TRUE(JtvOpenFile(engine_, source_) != 0 && JtvLoadFileList(engine_) != nullptr);
    Engine()->m_sourceType = kSourceFileSet;
    std::vector<std::uint8_t> block(1312);
    const std::uint32_t magic = 0xFEFEFEFEu;
    std::memcpy(block.data(), &magic, sizeof magic);
    const void* blocks[] = {block.data()};
    EXPECT_FALSE(JtvStartBackup(engine_, viaLink + ".ts", blocks, 1));
    JtvStop(engine_);

    EXPECT_TRUE(ReadText(source_) == original);
    EXPECT_EQ(listing(), before);
    EXPECT_TRUE(begins_.empty());
}

// A clip or backup name that names a folder, or an extension alone, has no file part: refused,
// nothing made (bare names are made in the working folder).
TEST_F(ExportTest, AClipNameWithoutAFilePartIsRefused)
{
    namespace fs = std::filesystem;
    struct WorkingFolder {
        fs::path saved = fs::current_path();
        explicit WorkingFolder(const fs::path& to)
        {
            fs::create_directories(to);
            fs::current_path(to);
        }
        ~WorkingFolder() { fs::current_path(saved); }
    } here(dir_.file("here"));
    JtvSetValueD(engine_, 1);
    const std::string out = dir_.file("out");
    for (const std::string& output : {out + "/", out + "/.ts", out + "/.avi", out + "/.", out + "/..",
                                      out + "/.ts.avi", std::string(".ts"), std::string(".TS"), std::string(".AVI")}) {
        EXPECT_FALSE(StartExport(output, 0, 6)) << output;
        EXPECT_NE(JtvGetExportProgress(engine_), 1000.0) << output;
        JtvStop(engine_);
    }
    std::vector<std::uint8_t> block(1312);
    const std::uint32_t magic = 0xFEFEFEFEu;
    std::memcpy(block.data(), &magic, sizeof magic);
    const void* blocks[] = {block.data()};
    for (const std::string& output : {out + "/", out + "/.sd", std::string(".sd"), std::string(".SD")}) {
        ASSERT_TRUE(JtvOpenFile(engine_, source_) != 0 && JtvLoadFileList(engine_) != nullptr);
        Engine()->m_sourceType = kSourceFileSet;
        EXPECT_FALSE(JtvStartBackup(engine_, output, blocks, 1)) << output;
        JtvStop(engine_);
    }
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(fs::exists(dir_.file(".ts")));
    EXPECT_TRUE(fs::is_empty(dir_.file("here")));
    EXPECT_TRUE(begins_.empty());
    ASSERT_TRUE(Export(out + "/clip.ts", 0, 2));
    EXPECT_EQ(progress_, 1000.0);
}

// A clip of no more than 24 bytes of video is deleted at its close: it is no clip of the export
// and takes no number from the next one.
TEST_F(ExportTest, AnEmptyClipIsDeletedAndNotCounted)
{
    CJtvCtrl* e = Engine();
    std::filesystem::create_directories(dir_.file("empty"));
    const std::string base = dir_.file("empty/drive");
    e->m_recordName = base + ".avi";
    CRecordCtx& ctx = e->m_export[0];
    ctx.BeginExport();
    const std::vector<std::uint8_t> stub = {0, 0, 0, 1, 0x65, 0x88, 0x84, 0x00};
    ASSERT_TRUE(ctx.WriteVideo(Frame(stub, true, rec_.start_time)));
    ASSERT_TRUE(ctx.Close());
    EXPECT_FALSE(std::filesystem::exists(base + ".avi"));
    EXPECT_TRUE(ctx.ClipNames().empty());

    const std::vector<AccessUnit> packets = ReadAccessUnits(source_);
    ASSERT_TRUE(ctx.WriteVideo(Frame(packets.front().data, true, rec_.start_time)));
    ASSERT_TRUE(ctx.Close());
    EXPECT_EQ(ctx.ClipNames(), std::vector<std::string>{base});
    EXPECT_EQ(KeyFlags(base + ".avi"), std::vector<bool>{true});
}

// The export messages name their clip however late the window handles them, even after the
// next export has begun.
TEST_F(ExportTest, ExportMessagesNameTheirClipWhenHandledLate)
{
    const std::string first = dir_.file("out/first");
    const std::string second = dir_.file("out/second-with-a-longer-name");
    ASSERT_TRUE(Export(first + ".avi", 1, 2, false));
    ASSERT_TRUE(Export(second + ".avi", 2, 3, false));
    EXPECT_TRUE(begins_.empty());
    Pump();
    EXPECT_EQ(begins_, (std::vector<std::string>{first, second}));
    EXPECT_EQ(endsOfClips_, (std::vector<std::string>{first, second}));
}

// Vehicle values go to the ".csv" and, a second's samples spread over that second, to the ".srt".
TEST_F(ExportTest, VehicleValuesFillTheSubtitleAndTableFiles)
{
    CJtvCtrl* e = Engine();
    e->m_recordName = dir_.file("obd/drive.avi");
    std::filesystem::create_directories(dir_.file("obd"));
    CRecordCtx& ctx = e->m_export[0];
    ctx.BeginExport();

    // Nothing comes before the clip is open.
    const std::string text = "0000" "3C" "0BB8" "32" "1E" "64" "19" "C9" "0A" "0123" "7B";
    const std::int64_t t0 = rec_.start_time;
    EXPECT_TRUE(ctx.WriteObd(text.data(), text.size(), t0));
    EXPECT_FALSE(std::filesystem::exists(dir_.file("obd/drive.srt")));

    // A key frame of the recording opens the clip.
    const std::vector<AccessUnit> packets = ReadAccessUnits(source_);
    ASSERT_TRUE(!packets.empty() && packets.front().key);
    ASSERT_TRUE(ctx.WriteVideo(Frame(packets.front().data, true, t0)));

    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(ctx.WriteObd(text.data(), text.size(), t0 + 1));
    const std::string shortText = text.substr(0, 20);  // no extended values
    EXPECT_TRUE(ctx.WriteObd(shortText.data(), shortText.size(), t0 + 2));
    EXPECT_TRUE(ctx.WriteObd(shortText.data(), shortText.size(), t0 + 11));
    EXPECT_TRUE(ctx.WriteObd("00003C", 6, t0 + 12));  // too short: ignored
    ASSERT_TRUE(ctx.Close());
    EXPECT_FALSE(ctx.Failed());

    const std::vector<std::string> csv = Lines(ReadText(dir_.file("obd/drive.csv")));
    ASSERT_EQ(csv.size(), 8u);
    EXPECT_EQ(csv[0], "\"Date\",\"Time\",\"Speed(Km/h)\",\"RPM\",\"Engine Loading(%)\",\"Battery Voltage(V)\","
                      "\"Engine Temperature(C)\",\"Throttle Position(%s)\",\"Status\",\"DTC\",\"Cruise\",\"Clutch\","
                      "\"Brake\",\"MAF\",\"Distance(Km)\",\"Average Fuel Economy(Km/L)\"");
    const std::string day = Stamp(t0 + 1);  // YYYY-MM-DD-hh-mm-ss of (t + offset), local
    const std::string date = day.substr(0, 10) + "\",\"" + day.substr(11, 2) + ":" + day.substr(14, 2) + ":" + day.substr(17, 2);
    EXPECT_EQ(csv[1], "\"" + date + "\",\"60\",\"3000\",\"50\",\"13.0\",\"60\",\"25\",\"Emergency Braking\",\"DTC ON\","
                      "\"\",\"\",\"Brake ON\",\"30\",\"291\",\"12.3\"");
    EXPECT_NE(csv[6].find(",\"Brake ON\",\"0\",\"0\",\"0.0\""), std::string::npos) << csv[6];

    const std::string srt = ReadText(dir_.file("obd/drive.srt"));
    const std::string cue1 = "1\r\n00:00:01,000 --> 00:00:01,199\r\n"
                             "Speed: 60.0 Km/h       RPM: 3000\r\nEngine Loading: 50%    Battery Voltage: 13.0 V\r\n"
                             "Engine Temperature: 60 C\r\nThrottle Position: 25%\tEmergency Braking\r\n\r\n";
    EXPECT_EQ(srt.substr(0, cue1.size()), cue1);
    EXPECT_NE(srt.find("5\r\n00:00:01,796 --> 00:00:01,995\r\n"), std::string::npos);
    // Nine seconds to the next sample: the one before it is shown for five.
    EXPECT_NE(srt.find("6\r\n00:00:02,000 --> 00:00:06,999\r\n"), std::string::npos);
    EXPECT_NE(srt.find("7\r\n00:00:11,000 --> 00:00:11,999\r\n"), std::string::npos);
    EXPECT_EQ(srt.find("\r\n\r\n8\r\n"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(dir_.file("obd/drive.avi")));

    // A folder in the place of either side file: the clip goes on without both, and a long
    // run of samples leaves no file open.
    const auto openFiles = [] {
        const std::filesystem::directory_iterator fds("/proc/self/fd");
        return std::distance(begin(fds), end(fds));
    };
    for (const char* blocked : {"srt", "csv"}) {
        SCOPED_TRACE(blocked);
        const std::string base = dir_.file(std::string("obd/blocked-") + blocked);
        std::filesystem::create_directory(base + "." + blocked);
        e->m_recordName = base + ".avi";
        ctx.BeginExport();
        ASSERT_TRUE(ctx.WriteVideo(Frame(packets.front().data, true, t0)));
        const auto before = openFiles();
        for (int i = 0; i < 200; ++i)
            EXPECT_FALSE(ctx.WriteObd(text.data(), text.size(), t0 + i / 5));
        EXPECT_EQ(openFiles(), before);
        EXPECT_TRUE(ctx.Failed());
        ASSERT_TRUE(ctx.Close());
        for (const char* ext : {".srt", ".csv"})
            EXPECT_EQ(std::filesystem::is_regular_file(base + ext), false) << ext;
        EXPECT_TRUE(std::filesystem::exists(base + ".avi"));
    }
}

}  // namespace

namespace {

// The ".txt" lines of private texts that lack one part or the other.
TEST_F(ExportTest, GpsTextLinesOfPartialTexts)
{
    CJtvCtrl* e = Engine();
    JtvSetValueD(engine_, 1);
    e->m_recordName = dir_.file("gps/t.ts");
    std::filesystem::create_directories(dir_.file("gps"));
    CRecordCtx& ctx = e->m_export[0];
    ctx.BeginExport();
    const std::string stray = "X:9 Y:9 Z:9";
    EXPECT_TRUE(ctx.WritePrivate(stray.data(), stray.size(), rec_.start_time));  // no clip yet: dropped

    const std::vector<std::uint8_t> key = {0, 0, 0, 1, 0x65, 0x88, 0x84, 0x00};
    ExportFrame f;
    f.data = key.data();
    f.size = key.size();
    f.key = true;
    f.time = rec_.start_time;
    ASSERT_TRUE(ctx.WriteVideo(f));
    const std::int64_t t = rec_.start_time + 5;
    const std::string sentences = "$GPRMC,1,A*00 tail$GPGGA,2*11";
    const std::string sensor = "X:0.5 Y:-1 Z:2";
    const std::string both = "X:0.25 Y:0 Z:1  $GPRMC,3*22\r\n";
    const std::string longText = std::string(200, 'a') + "$GPRMC,4*33";
    for (const std::string* s : {&sentences, &sensor, &both, &longText})
        EXPECT_TRUE(ctx.WritePrivate(s->data(), s->size(), t));
    ASSERT_TRUE(ctx.Close());

    const std::string stamp = Stamp(t);
    EXPECT_EQ(Lines(ReadText(dir_.file("gps/t.txt"))),
              (std::vector<std::string>{"0x47,$GPRMC,1,A*00," + stamp, "0x47,$GPGGA,2*11," + stamp,
                                        "0x41,1.000000,-2.000000,4.000000," + stamp, "0x47,$GPRMC,3*22," + stamp,
                                        "0x41,0.500000,0.000000,2.000000," + stamp, "0x47,$GPRMC,4*33," + stamp}));
    // The clip keeps every text whole, the long one too.
    const std::string clip = ReadText(dir_.file("gps/t.ts"));
    EXPECT_NE(clip.find(sentences), std::string::npos);
    EXPECT_NE(clip.find(std::string(100, 'a')), std::string::npos);
}

}  // namespace

namespace {

// An export reads every listed recording that holds a part of its range, from the one that
// holds its start whichever entry it was started from. Recordings of the set are deleted,
// emptied or replaced by a folder before the export runs, and one while an export shown on
// screen runs: the export reads every recording that is left, ends, and reports that its clip
// lacks a part of the range.
TEST_F(ExportTest, EachListedRecordingOfTheRangeIsReadOrTheLossReported)
{
    namespace fs = std::filesystem;
    // Shown on screen, the last recording goes after the export began, and the list is loaded
    // again. Paused on a short queue, the reading waits in the first recording meanwhile.
    recgen::RecordingSpec recipe = rec_;
    recipe.seconds = 20;
    const RecordingSet shown = MakeSet("shown", recipe, 4);
    JtvSetValueB(engine_, 1);
    JtvSetPlaySpeed(engine_, 0);
    Engine()->m_channel.VideoQueue().SetCapacity(20);
    ends_.clear();
    const std::string shownClip = dir_.file("out/shown.avi");
    ASSERT_TRUE(JtvOpenFileSet(engine_, shownClip, 0, 0, static_cast<int>(shown.starts[0] + 10),
                               static_cast<int>(shown.starts[0] + 80)));
    ASSERT_TRUE(WaitFor([&] { return Engine()->m_channel.VideoQueue().MediaCount() >= 20; }, 20000));
    fs::remove(shown.paths[3]);
    EXPECT_NE(JtvLoadFileList(engine_), nullptr);
    EXPECT_EQ(Engine()->m_channel.Demux().CurrentFileIndex(), 0);
    JtvSetPlaySpeed(engine_, 8);
    ASSERT_TRUE(WaitForEnd(120000));
    EXPECT_EQ(JtvGetExportProgress(engine_), -1.0);
    JtvStop(engine_);
    ExpectPicturesOfSet(shownClip, shown, ExpectedOfSet(shown, {0, 1, 2}, shown.starts[0] + 10, shown.starts[0] + 80));
    JtvSetValueB(engine_, 0);
    Engine()->m_channel.VideoQueue().SetCapacity(1280);

    recipe.seconds = 5;
    const RecordingSet made = MakeSet("made", recipe, 3);
    const std::int64_t from = made.starts[0] + 3, to = made.starts[0] + 13;
    struct Case {
        const char* name;
        int entry;  // the export is started from
        int file;   // the recording damaged, -1 none
        void (*damage)(const std::string& path);
    };
    const auto gone = [](const std::string& p) { fs::remove(p); };
    const Case cases[] = {
        {"first deleted", 0, 0, gone},
        {"second deleted", 0, 1, gone},
        {"second a folder", 0, 1, [](const std::string& p) { fs::remove(p); fs::create_directory(p); }},
        {"second emptied", 0, 1, [](const std::string& p) { std::ofstream(p, std::ios::trunc); }},
        {"from the second", 1, -1, nullptr},
        {"from the third", 2, -1, nullptr},
        {"from the third, the first deleted", 2, 0, gone},
    };
    int run = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = "set" + std::to_string(run);
        fs::copy(dir_.file("made"), dir_.file(folder));
        RecordingSet set = made;
        for (std::string& path : set.paths)
            path = (fs::path(dir_.file(folder)) / fs::path(path).filename()).string();
        ListSet(folder, set);
        std::vector<int> left = {0, 1, 2};
        if (c.file >= 0) {
            c.damage(set.paths[static_cast<std::size_t>(c.file)]);
            left.erase(left.begin() + c.file);
        }
        ends_.clear();
        const std::string clip = dir_.file("out/gone" + std::to_string(run++) + ".avi");
        ASSERT_TRUE(JtvOpenFileSet(engine_, clip, 0, c.entry, static_cast<int>(from), static_cast<int>(to)));
        ASSERT_TRUE(WaitForEnd(60000));
        EXPECT_EQ(JtvGetExportProgress(engine_), c.file >= 0 ? -1.0 : 1000.0);
        JtvStop(engine_);
        ExpectPicturesOfSet(clip, set, ExpectedOfSet(set, left, from, to));
    }
}

// While an export shown on screen runs, another file, a seek, backward play, a pause and other
// switches are asked for: the clip is still exactly the range, with its sound, of the kind it
// began as.
TEST_F(ExportTest, ControlsDuringAnExportShownOnScreenLeaveTheClipExact)
{
    recgen::RecordingSpec recipe = rec_;
    recipe.seconds = 20;
    const RecordingSet set = MakeSet("set", recipe, 4);
    const std::int64_t from = set.starts[0] + 10, to = set.starts[0] + 70;
    JtvSetValueB(engine_, 1);
    const std::string base = dir_.file("out/steady");
    ASSERT_TRUE(JtvOpenFileSet(engine_, base + ".avi", 0, 0, static_cast<int>(from), static_cast<int>(to)));
    Sleep(800);
    JtvSelectFile(engine_, 3);
    JtvSeekToTime(engine_, static_cast<int>(set.starts[0] + 65), 0);
    JtvSeekToTime(engine_, static_cast<int>(set.starts[0] + 5), 1);
    JtvSetPlaySpeed(engine_, -1);
    Sleep(500);
    // A pause and normal speed again, then fast: they pace only what is shown.
    JtvSetPlaySpeed(engine_, 0);
    Sleep(300);
    JtvSetPlaySpeed(engine_, 1);
    Sleep(300);
    JtvSetPlaySpeed(engine_, 2);
    JtvSetValueD(engine_, 1);
    JtvSetValueA(engine_, 1);
    JtvSetValueB(engine_, 0);
    ASSERT_TRUE(WaitForEnd(120000));
    EXPECT_EQ(JtvGetExportProgress(engine_), 1000.0);
    JtvStop(engine_);
    EXPECT_FALSE(std::filesystem::exists(base + ".ts"));
    EXPECT_FALSE(std::filesystem::exists(base + ".txt"));
    const std::string clip = base + ".avi";
    EXPECT_EQ(Field(Probe(clip, "v:0", "codec_name"), "codec_name"), "h264");
    const std::vector<std::pair<int, std::size_t>> expected = ExpectedOfSet(set, {0, 1, 2, 3}, from, to);
    ExpectPicturesOfSet(clip, set, expected);
    // Sound from the first picture to the last (the last recording's may run one sound frame,
    // 128 ms, past it).
    EXPECT_NEAR(FirstSound(clip), 0.0, 1.0 / kFps);
    EXPECT_NEAR(Sound(clip).size() / 8000.0, double(expected.size()) / kFps, 0.2);
}

// A clip that begins at a later recording of the set than the entry chosen, or in a gap
// between recordings, has that recording's sound from its first picture on, not the tone of
// the recording read before it.
TEST_F(ExportTest, AviSoundBeginsWithItsFirstPicturesRecording)
{
    namespace fs = std::filesystem;
    fs::create_directories(dir_.file("tones"));
    RecordingSet set;
    const double tones[] = {500, 2000, 1000};
    const std::int64_t starts[] = {rec_.start_time, rec_.start_time + 5, rec_.start_time + 12};
    for (int k = 0; k < 3; ++k) {
        recgen::RecordingSpec recipe = rec_;
        recipe.seconds = 5;
        recipe.tone_hz = tones[k];
        recipe.start_time = static_cast<std::time_t>(starts[k]);
        recipe.first_picture = 125 * k;
        set.paths.push_back(dir_.file("tones/" + std::to_string(k) + ".ts"));
        set.infos.emplace_back();
        ASSERT_TRUE(recgen::WriteRecording(recipe, set.paths.back(), &set.infos.back())) << set.infos.back().error;
        set.starts.push_back(starts[k]);
    }
    struct Range {
        std::int64_t from, to;
        int file;
    };
    int run = 0;
    for (const Range& r : {Range{starts[1], starts[1] + 3, 1}, Range{starts[1] + 6, starts[2] + 2, 2}}) {
        SCOPED_TRACE(r.file);
        ListSet("tones", set);
        const std::string clip = dir_.file("out/tone" + std::to_string(run++) + ".avi");
        ends_.clear();
        ASSERT_TRUE(JtvOpenFileSet(engine_, clip, 0, 0, static_cast<int>(r.from), static_cast<int>(r.to)));
        ASSERT_TRUE(WaitForEnd(60000));
        EXPECT_EQ(JtvGetExportProgress(engine_), 1000.0);
        JtvStop(engine_);
        const std::vector<std::pair<int, std::size_t>> expected = ExpectedOfSet(set, {r.file}, r.from, r.to);
        ExpectPicturesOfSet(clip, set, expected);
        // A recording's first sound frame (128 ms) comes before its first picture and is not read.
        EXPECT_NEAR(FirstSound(clip), 0.128, 1.0 / kFps);
        const std::vector<std::int16_t> sound = Sound(clip);
        EXPECT_NEAR(sound.size() / 8000.0, double(expected.size()) / kFps, 0.3);
        EXPECT_NEAR(ToneHz(sound, 0.1, 0.4), tones[r.file], tones[r.file] * 0.1);
    }

    // Across recordings, and the gap between them, each one's sound stays beside its pictures,
    // also when one's sound ends half a second before its pictures.
    ASSERT_GT(CutSound(set.paths[1], set.infos[1], rec_.pids.audio, set.infos[1].pictures.back().pts - 45000, true), 0);
    // Re-encoded pictures (counted: they are not the recording's own) get their sound placed as
    // the recording's own pictures do.
    Engine()->m_channel.VideoCtx().SetSyncOff(true);
    for (const bool encoded : {false, true}) {
        SCOPED_TRACE(encoded ? "re-encoded" : "copied");
        JtvSetValueA(engine_, encoded);
        JtvSetValueB(engine_, encoded);
        ListSet("tones", set);
        const std::string clip = dir_.file(encoded ? "out/across-encoded.avi" : "out/across.avi");
        ends_.clear();
        ASSERT_TRUE(JtvOpenFileSet(engine_, clip, 0, 0, static_cast<int>(starts[1] + 2), static_cast<int>(starts[2] + 3)));
        ASSERT_TRUE(WaitForEnd(60000));
        EXPECT_EQ(JtvGetExportProgress(engine_), 1000.0);
        JtvStop(engine_);
        const std::vector<std::pair<int, std::size_t>> expected = ExpectedOfSet(set, {1, 2}, starts[1] + 2, starts[2] + 3);
        if (encoded)
            EXPECT_EQ(Pictures(clip, kWidth, kHeight).size(), expected.size());
        else
            ExpectPicturesOfSet(clip, set, expected);
        const auto ofB = std::count_if(expected.begin(), expected.end(), [](const auto& e) { return e.first == 1; });
        // The third recording's sound begins with its second sound frame (see above), after its
        // first picture by the difference of their time stamps.
        const recgen::RecordingInfo& c = set.infos[2];
        const double boundary = double(ofB) / kFps + double(c.audio[1].pts - c.pictures.front().pts) / 90000;
        const std::vector<std::int16_t> sound = Sound(clip);
        double change = 0;
        for (double t = boundary - 1; t < boundary + 1 && change == 0; t += 0.005) {
            // Two windows of the tone: the end of another tone within one can pass for it.
            if (std::abs(ToneHz(sound, t, 0.04) - tones[2]) < 150 && std::abs(ToneHz(sound, t + 0.04, 0.04) - tones[2]) < 150)
                change = t;
        }
        // Within its first sound frame: decoded after another recording's, that frame is mixed.
        EXPECT_GE(change, boundary - 0.02);
        EXPECT_LT(change, boundary + 0.128);
        EXPECT_NEAR(sound.size() / 8000.0, double(expected.size()) / kFps, 0.3);
    }
}

// On one engine, a ".ts" clip after a re-encoded ".avi" holds the recording's pictures.
TEST_F(ExportTest, ATsClipAfterAReEncodedAviHoldsItsPictures)
{
    JtvSetValueA(engine_, 1);
    JtvSetValueB(engine_, 1);
    const std::string avi = dir_.file("out/encoded");
    ASSERT_TRUE(Export(avi + ".avi", 1, 3));
    EXPECT_EQ(progress_, 1000.0);
    EXPECT_EQ(Field(Probe(avi + ".avi", "v:0", "codec_name,nb_read_frames"), "nb_read_frames"),
              std::to_string(Expected(1, 3).size()));

    JtvSetValueA(engine_, 0);
    JtvSetValueB(engine_, 0);
    JtvSetValueD(engine_, 1);
    const std::string ts = dir_.file("out/plain");
    ASSERT_TRUE(Export(ts + ".ts", 1, 3));
    EXPECT_EQ(progress_, 1000.0);
    EXPECT_EQ(Field(Probe(ts + ".ts", "v:0", "codec_name"), "codec_name"), "h264");
    ExpectSamePictures(Pictures(ts + ".ts", kWidth, kHeight), Expected(1, 3));
}

// An AVI clip's sound counts as its last packet in the header timing of a long clip: pictures
// of one second followed by sound four hours later give the rate of the whole span.
TEST_F(ExportTest, AviSoundCountsInTheTimingOfALongClip)
{
    CJtvCtrl* e = Engine();
    std::filesystem::create_directories(dir_.file("long"));
    const std::string base = dir_.file("long/drive");
    e->m_recordName = base + ".avi";
    CRecordCtx& ctx = e->m_export[0];
    ctx.BeginExport();
    const std::vector<AccessUnit> packets = ReadAccessUnits(source_);
    ASSERT_GE(packets.size(), 50u);
    const std::int64_t t0 = rec_.start_time;
    for (std::size_t i = 0; i < 50; ++i)
        ASSERT_TRUE(ctx.WriteVideo(Frame(packets[i].data, packets[i].key, t0 + static_cast<std::int64_t>(i) / kFps)));
    const std::vector<std::int16_t> pcm(800);
    ASSERT_TRUE(ctx.WriteAudio(pcm.data(), pcm.size() * 2, kNoExportPts, t0 + 1));
    ASSERT_TRUE(ctx.WriteAudio(pcm.data(), pcm.size() * 2, kNoExportPts, t0 + 16000));
    ASSERT_TRUE(ctx.Close());
    // 50 pictures over 16,000 s: 3 a thousand seconds.
    EXPECT_EQ(Field(Probe(base + ".avi", "v:0", "r_frame_rate"), "r_frame_rate"), "3/1000");
}

// The progress of an export, read all along: it rises with the pictures written over the whole
// range (across recordings, from an entry chosen before the range, and re-encoded pictures
// that trail the reading), never falls back or reads -1, and is 1000 only once the clip is
// complete.
TEST_F(ExportTest, ProgressRisesWithWhatIsWrittenAndEndsWithTheClip)
{
    const auto expectRising = [&](const std::vector<double>& seen, const std::string& clip, std::size_t pictures) {
        ASSERT_FALSE(seen.empty());
        int values = 0;
        for (std::size_t i = 0; i < seen.size(); ++i) {
            ASSERT_GE(seen[i], 0.0) << "reading " << i;
            ASSERT_TRUE(seen[i] <= 990.0 || seen[i] == 1000.0) << seen[i];
            if (i > 0) {
                ASSERT_GE(seen[i], seen[i - 1]) << "reading " << i;
                values += seen[i] != seen[i - 1];
            }
            if (seen[i] == 1000.0) {
                // The clip is closed and whole by then.
                EXPECT_EQ(Pictures(clip, kWidth, kHeight).size(), pictures);
                break;
            }
        }
        EXPECT_GE(values, 5);
        EXPECT_EQ(JtvGetExportProgress(engine_), 1000.0);
    };

    // Four 8 s recordings, entry 0 chosen, the range from the second to the fourth; shown at
    // speed 8 on a short queue, which paces the reading.
    recgen::RecordingSpec recipe = rec_;
    recipe.seconds = 8;
    const RecordingSet set = MakeSet("set", recipe, 4);
    const std::int64_t from = set.starts[0] + 12, to = set.starts[0] + 28;
    JtvSetValueB(engine_, 1);
    JtvSetPlaySpeed(engine_, 8);
    Engine()->m_channel.VideoQueue().SetCapacity(20);
    const std::string clip = dir_.file("out/across.avi");
    ends_.clear();
    ASSERT_TRUE(JtvOpenFileSet(engine_, clip, 0, 0, static_cast<int>(from), static_cast<int>(to)));
    const std::vector<double> seen = ProgressUntilEnd(60000);
    ASSERT_FALSE(ends_.empty());
    expectRising(seen, clip, ExpectedOfSet(set, {1, 2, 3}, from, to).size());
    JtvStop(engine_);
    Engine()->m_channel.VideoQueue().SetCapacity(1280);

    // Re-encoded pictures come at the pace of play while the reading is far ahead: the progress
    // keeps with the pictures encoded (one in hand).
    JtvSetValueA(engine_, 1);
    JtvSetPlaySpeed(engine_, 1);
    const std::size_t pictures = Expected(1, 5).size();
    const std::string encoded = dir_.file("out/encoded.avi");
    ASSERT_TRUE(StartExport(encoded, 1, 5));
    double ahead = 0;
    const std::vector<double> read = ProgressUntilEnd(60000, [&](double p) {
        if (p == 1000.0)
            return;
        const auto done = static_cast<double>(Engine()->m_sourceBox.ExportedPictures(0));
        if (!Engine()->m_sourceBox.ConversionActive(0))
            return;  // the count is gone with the closing clip
        ahead = std::max(ahead, p - 990.0 * (done + 2) / double(pictures));
    });
    ASSERT_FALSE(ends_.empty());
    EXPECT_LE(ahead, 0.0);
    expectRising(read, encoded, pictures);
    JtvStop(engine_);
}

}  // namespace
