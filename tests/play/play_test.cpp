// A recording played end to end through the engine's flat interface: opened by name, shown in
// a render window, reported to a notify window.

#include "engine/CarInfoRecord.h"
#include "engine/EngineMessages.h"
#include "engine/Jtv.h"
#include "engine/JtvCtrl.h"
#include "engine/SourceType.h"
#include "platform/base/clock.h"
#include "platform/base/message.h"
#include "platform/media/presenter.h"
#include "tests/support/tempdir.h"
#include "tools/recgen/recgen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

namespace {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;  // BGRA
};

std::vector<std::uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// FFmpeg's own decoding of the file's video, as BGRA pictures.
std::vector<Picture> ReferencePictures(const TempDir& dir, const std::string& path, int width, int height)
{
    const std::string raw = dir.file("reference.bgra");
    const std::string cmd =
        "ffmpeg -v error -y -i '" + path + "' -map 0:v -pix_fmt bgra -f rawvideo '" + raw + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    const std::vector<std::uint8_t> bytes = ReadFile(raw);
    const std::size_t frame = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    std::vector<Picture> out;
    for (std::size_t at = 0; at + frame <= bytes.size(); at += frame)
        out.push_back({width, height, std::vector<std::uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                                                bytes.begin() + static_cast<std::ptrdiff_t>(at + frame))});
    return out;
}

class PlayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        av_log_set_level(AV_LOG_ERROR);
        engine_ = JtvCreate();
        ASSERT_NE(engine_, nullptr);
        render_ = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
        notify_ = CreateMessageWindow([this](HWND, UINT message, WPARAM, LPARAM lparam) -> LRESULT {
            OnNotify(message, lparam);
            return 0;
        });
        JtvSetRenderWindow(engine_, render_, 0);
        JtvSetNotifyWindow(engine_, notify_, 0);
        // Every picture presented into the render window, read back at its own size.
        const HWND render = render_;
        SetPresentHook([this, render](HWND window) {
            if (window != render)
                return;
            auto presenter = FindPresenter(window);
            const int w = JtvGetVideoWidth(engine_, 0), h = JtvGetVideoHeight(engine_, 0);
            if (presenter == nullptr || w <= 0 || h <= 0)
                return;
            Picture p{w, h, std::vector<std::uint8_t>(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4)};
            if (!presenter->Compose(p.pixels.data(), w, h, w * 4))
                return;
            std::lock_guard<std::mutex> lock(mutex_);
            presented_.push_back(std::move(p));
        });
    }

    void TearDown() override
    {
        if (engine_ != nullptr)
            JtvDestroy(engine_);
        SetPresentHook({});
        DestroyPresenter(render_);
        DestroyMessageWindow(render_);
        DestroyMessageWindow(notify_);
    }

    void OnNotify(UINT message, LPARAM lparam)
    {
        if (message == WM_JTV_PLAYEND)
            ends_.push_back(lparam);
        if (message == WM_JTV_PLAYEND && lparam == 0) {
            std::lock_guard<std::mutex> lock(mutex_);
            presentedAtEnd_.push_back(presented_.size());
        }
        if (message == WM_JTV_CARINFO) {
            CarInfoRecord r{};
            if (JtvGetCarInfo(engine_, &r))
                records_.push_back(r);
        }
    }

    // Dispatches the notify window's messages until `done` holds or the limit passes.
    template <typename Done>
    bool Pump(Done done, int limit_ms)
    {
        const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(limit_ms);
        MSG msg;
        while (!done()) {
            if (GetTickCount64() > end)
                return false;
            if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&msg);
            else
                Sleep(1);
        }
        return true;
    }

    // Waits for the next end of input.
    bool WaitEnd(int limit_ms = 60000)
    {
        const std::size_t before = ends_.size();
        return Pump([&] { return ends_.size() > before; }, limit_ms) && ends_.back() == 0;  // channel 0
    }

    void SyncOff()
    {
        // Pictures follow each other as fast as they decode.
        reinterpret_cast<CJtvCtrl*>(engine_)->m_channel.VideoCtx().SetSyncOff(true);
    }

    bool Open(const std::string& path)
    {
        return JtvOpenFile(engine_, path) == kSourceTs && JtvOpenSourceBox(engine_, 0, 0, 0);
    }

    std::string Make(const recgen::RecordingSpec& rec, const std::string& name, recgen::RecordingInfo* info = nullptr)
    {
        recgen::RecordingInfo local;
        const std::string path = dir_.file(name);
        EXPECT_TRUE(recgen::WriteRecording(rec, path, info != nullptr ? info : &local));
        return path;
    }

    std::vector<Picture> Presented()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return presented_;
    }
    void ClearPresented()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        presented_.clear();
    }

    static recgen::RecordingSpec Small()
    {
        recgen::RecordingSpec rec;
        rec.width = 176;
        rec.height = 144;
        rec.fps = 25;
        rec.gop = 10;
        rec.seconds = 2.0;
        return rec;
    }

    TempDir dir_;
    HJTV engine_ = nullptr;
    HWND render_ = nullptr;
    HWND notify_ = nullptr;
    std::mutex mutex_;
    std::vector<Picture> presented_;
    std::vector<std::size_t> presentedAtEnd_;
    std::vector<LPARAM> ends_;
    std::vector<CarInfoRecord> records_;
};

// Compares whole pictures, or only their first `rows` rows.
void ExpectSamePictures(const std::vector<Picture>& shown, const std::vector<Picture>& expected,
                        const std::vector<std::size_t>& which, int rows = -1)
{
    ASSERT_EQ(shown.size(), which.size());
    for (std::size_t i = 0; i < shown.size(); ++i) {
        ASSERT_LT(which[i], expected.size());
        const Picture& e = expected[which[i]];
        ASSERT_EQ(shown[i].width, e.width) << "picture " << i;
        ASSERT_EQ(shown[i].height, e.height) << "picture " << i;
        const std::size_t bytes = rows < 0 ? e.pixels.size() : static_cast<std::size_t>(rows) * static_cast<std::size_t>(e.width) * 4;
        ASSERT_TRUE(std::equal(e.pixels.begin(), e.pixels.begin() + static_cast<std::ptrdiff_t>(bytes), shown[i].pixels.begin()))
            << "picture " << i << " is not reference picture " << which[i];
    }
}

std::vector<std::size_t> Indexes(std::size_t from, std::size_t count, std::size_t step = 1)
{
    std::vector<std::size_t> v;
    for (std::size_t i = 0; i < count; ++i)
        v.push_back(from + i * step);
    return v;
}

TEST(SourceNames, KindsAndHosts)
{
    std::string host;
    EXPECT_EQ(ParseSourceName("mox2://1", &host), kSourceCard);
    EXPECT_EQ(host, "1");
    EXPECT_EQ(ParseSourceName("http://cam.local/live:1", &host), kSourceHttp);
    EXPECT_EQ(host, "cam.local");
    EXPECT_EQ(ParseSourceName("udp://10.0.0.2:5000/x", &host), kSourceUdp);
    EXPECT_EQ(host, "10.0.0.2");
    EXPECT_EQ(ParseSourceName("rmtp://h", &host), kSourceRtmp);
    EXPECT_EQ(host, "h");
    EXPECT_EQ(ParseSourceName("HTTP://cam", &host), kSourceUnknown);
    EXPECT_EQ(ParseSourceName("ftp://cam", &host), kSourceUnknown);
    EXPECT_EQ(ParseSourceName("mox2://" + std::string(300, 'a'), &host), kSourceCard);
    EXPECT_EQ(host.size(), 259u);
    EXPECT_EQ(ParseSourceName("", &host), kSourceUnknown);
    EXPECT_TRUE(host.empty());
    // Extensions without regard to case; too short a name is simply another file.
    EXPECT_EQ(ParseSourceName("/card/20240101_120000_0.ts", &host), kSourceTs);
    EXPECT_EQ(ParseSourceName("/card/20240101_120000_0.TS", &host), kSourceTs);
    EXPECT_EQ(ParseSourceName("a.Avi", nullptr), kSourceAvi);
    EXPECT_EQ(ParseSourceName("a.MJPG", nullptr), kSourceMjpgFile);
    EXPECT_EQ(ParseSourceName("a.rec", nullptr), kSourceRec);
    EXPECT_EQ(ParseSourceName("backup.sd", nullptr), kSourceCardBackup);
    EXPECT_EQ(ParseSourceName("set.IDX", nullptr), kSourceIndex);
    EXPECT_EQ(ParseSourceName("ts", nullptr), kSourceFile);
    EXPECT_EQ(ParseSourceName("movie.mkv", nullptr), kSourceFile);
}

TEST_F(PlayTest, OpenTrimsClassifiesAndRefusesWhatItCannotPlay)
{
    EXPECT_EQ(JtvOpenFile(engine_, "  \t/no/such/file.ts \r\n"), kSourceTs);
    EXPECT_EQ(JtvGetCurrentFileName(engine_), "/no/such/file.ts");
    EXPECT_EQ(JtvOpenFile(engine_, "clip.avi"), kSourceAvi);
    EXPECT_FALSE(JtvOpenSourceBox(engine_, 0, 0, 0));
    // A range without an entry or with its end before its start is refused before anything.
    EXPECT_EQ(JtvOpenFile(engine_, Make(Small(), "a.ts")), kSourceTs);
    EXPECT_FALSE(JtvOpenFileSet(engine_, dir_.file("out/clip.ts"), 0, 0, 10, 5));
    EXPECT_FALSE(JtvOpenFileSet(engine_, dir_.file("out/clip.ts"), 0, 3, 0, 5));
    // The refused opens left the engine closed: this one plays.
    SyncOff();
    ASSERT_TRUE(JtvOpenSourceBox(engine_, 0, 0, 0));
    EXPECT_TRUE(WaitEnd());
    EXPECT_EQ(Presented().size(), 50u);
}

TEST_F(PlayTest, ForwardPlayPresentsEveryPictureAsTheReferenceDecodingThenReportsTheEnd)
{
    recgen::RecordingSpec rec = Small();
    rec.info_hz = 5;
    const std::string path = Make(rec, "forward.ts");
    const auto reference = ReferencePictures(dir_, path, rec.width, rec.height);
    ASSERT_EQ(reference.size(), 50u);

    SyncOff();
    ASSERT_TRUE(Open(path));
    ASSERT_TRUE(WaitEnd());
    ExpectSamePictures(Presented(), reference, Indexes(0, 50));
    // Reported after the last picture, and only once.
    ASSERT_EQ(presentedAtEnd_.size(), 1u);
    EXPECT_EQ(presentedAtEnd_[0], 50u);
    Pump([] { return false; }, 300);
    EXPECT_EQ(ends_.size(), 1u);
    EXPECT_EQ(JtvGetVideoWidth(engine_, 0), 176);
    // The play position is the last shown picture's calendar time: inside the recording.
    const int played = JtvGetPlayTime(engine_, 0);
    EXPECT_GE(played, static_cast<int>(rec.start_time));
    EXPECT_LE(played, static_cast<int>(rec.start_time + 2));
}

TEST_F(PlayTest, RecordsReachTheNotifyWindowWithTheWrittenSamplesAndSentences)
{
    recgen::RecordingSpec rec = Small();
    rec.seconds = 3.0;
    rec.info_hz = 4;
    rec.sensor = recgen::SensorPattern::kRandom;
    recgen::RecordingInfo info;
    const std::string path = Make(rec, "records.ts", &info);
    ASSERT_EQ(info.records.size(), 12u);

    // Played in real time, so that each record is read before the next replaces it.
    ASSERT_TRUE(Open(path));
    ASSERT_TRUE(WaitEnd());
    ASSERT_EQ(records_.size(), info.records.size());
    std::string nmea;
    for (std::size_t i = 0; i < records_.size(); ++i) {
        const recgen::RecordInfo& w = info.records[i];
        const CarInfoRecord& r = records_[i];
        EXPECT_EQ(r.sampleCount, 1) << i;
        EXPECT_EQ(r.samples[0].x, static_cast<std::int16_t>(static_cast<int>(w.x * 512))) << i;
        EXPECT_EQ(r.samples[0].y, static_cast<std::int16_t>(static_cast<int>(w.y * 512))) << i;
        EXPECT_EQ(r.samples[0].z, static_cast<std::int16_t>(static_cast<int>(w.z * 512))) << i;
        EXPECT_EQ(r.samples[0].lean, std::clamp(w.lean, -90, 90)) << i;
        if (!w.nmea.empty())
            nmea = w.nmea;
        // The sentences of the last record that carried any.
        EXPECT_EQ(std::string(r.nmea, strnlen(r.nmea, sizeof r.nmea)), nmea.substr(0, sizeof r.nmea)) << i;
    }
}

TEST_F(PlayTest, BackwardPlayShowsTheKeyFramesInReverseOrder)
{
    const recgen::RecordingSpec rec = Small();
    const std::string path = Make(rec, "backward.ts");
    const auto reference = ReferencePictures(dir_, path, rec.width, rec.height);
    ASSERT_EQ(reference.size(), 50u);

    SyncOff();
    ASSERT_TRUE(Open(path));
    ASSERT_TRUE(WaitEnd());
    ClearPresented();
    JtvSetPlaySpeed(engine_, -1.0);
    ASSERT_TRUE(WaitEnd());
    // The speed label covers the bottom of pictures shown at any other than normal speed.
    ExpectSamePictures(Presented(), reference, {40, 30, 20, 10, 0}, rec.height - 48);
}

TEST_F(PlayTest, FileSetPlaysAcrossItsFilesInOrder)
{
    recgen::RecordingSpec rec = Small();
    rec.seconds = 1.0;  // files of one second: the index must not lag a file behind
    std::vector<std::string> paths;
    std::string error;
    ASSERT_TRUE(recgen::WriteFolder(rec, dir_.file("card/ts"), 3, false, &paths, nullptr, &error)) << error;
    ASSERT_EQ(paths.size(), 3u);
    std::vector<Picture> reference;
    for (const std::string& p : paths) {
        auto r = ReferencePictures(dir_, p, rec.width, rec.height);
        ASSERT_GE(r.size(), 25u);
        reference.insert(reference.end(), r.begin(), r.end());
    }

    ASSERT_EQ(JtvOpenFile(engine_, paths[0]), kSourceTs);
    // The card folder's list, as the card dialog loads it.
    JtvSetExportFolder(engine_, dir_.file("card/ts"));
    ASSERT_NE(JtvLoadFileList(engine_), nullptr);
    SyncOff();
    ASSERT_TRUE(JtvOpenSourceBox(engine_, 0, 0, 0));
    ASSERT_TRUE(WaitEnd());
    ExpectSamePictures(Presented(), reference, Indexes(0, reference.size()));
    // The file index followed the play position into the last file.
    EXPECT_EQ(JtvGetFileIndex(engine_), 2);
    Pump([] { return false; }, 300);
    EXPECT_EQ(ends_.size(), 1u);
}

TEST_F(PlayTest, SelectingAnotherFileWhilePlayingMovesTheChannelThere)
{
    recgen::RecordingSpec rec = Small();
    rec.seconds = 1.5;
    std::vector<std::string> paths;
    std::string error;
    ASSERT_TRUE(recgen::WriteFolder(rec, dir_.file("card/ts"), 3, false, &paths, nullptr, &error)) << error;
    std::vector<std::vector<Picture>> reference;
    for (const std::string& p : paths)
        reference.push_back(ReferencePictures(dir_, p, rec.width, rec.height));
    ASSERT_GE(reference[0].size(), 37u);
    ASSERT_EQ(JtvOpenFile(engine_, paths[0]), kSourceTs);
    JtvSetExportFolder(engine_, dir_.file("card/ts"));
    ASSERT_NE(JtvLoadFileList(engine_), nullptr);
    ASSERT_TRUE(JtvOpenSourceBox(engine_, 0, 0, 0));
    // Paced play: the first file is on the screen when the last one is chosen.
    ASSERT_TRUE(Pump([&] { return !Presented().empty(); }, 10000));
    JtvSelectFile(engine_, 2);
    EXPECT_EQ(JtvGetCurrentFileName(engine_), paths[2]);
    ASSERT_TRUE(WaitEnd());
    const std::vector<Picture> shown = Presented();
    const std::size_t last = reference[2].size();
    ASSERT_GE(shown.size(), last);
    const std::size_t before = shown.size() - last;
    EXPECT_LT(before, reference[0].size()) << "the middle file was not skipped";
    ExpectSamePictures(std::vector<Picture>(shown.begin(), shown.begin() + static_cast<std::ptrdiff_t>(before)),
                       reference[0], Indexes(0, before));
    ExpectSamePictures(std::vector<Picture>(shown.begin() + static_cast<std::ptrdiff_t>(before), shown.end()),
                       reference[2], Indexes(0, last));
    EXPECT_EQ(JtvGetFileIndex(engine_), 2);
    EXPECT_EQ(reinterpret_cast<CJtvCtrl*>(engine_)->m_channel.FileIndex(), 2);
}

TEST_F(PlayTest, VideoFlagLetterBoxesTheRenderWindowAndResetVideoPresentsAgain)
{
    EXPECT_EQ(JtvIsVideoFlag(engine_, 0), 1);  // no video context before an open
    recgen::RecordingSpec rec = Small();
    rec.seconds = 0.4;
    const std::string path = Make(rec, "box.ts");
    const std::vector<Picture> reference = ReferencePictures(dir_, path, rec.width, rec.height);
    ASSERT_EQ(reference.size(), 10u);
    // Set before the first open: kept, and the pictures of that open are letter-boxed.
    JtvSetVideoFlag(engine_, 1);
    SyncOff();
    ASSERT_TRUE(Open(path));
    EXPECT_EQ(JtvIsVideoFlag(engine_, 0), 1);
    ASSERT_TRUE(WaitEnd());
    const Picture& last = reference.back();

    // The render window as the window layer paints it: wider than the picture.
    constexpr int kW = 400, kH = 144;
    const auto compose = [&] {
        std::vector<std::uint32_t> px(static_cast<std::size_t>(kW) * kH, 0x12345678u);
        auto presenter = FindPresenter(render_);
        EXPECT_NE(presenter, nullptr);
        if (presenter != nullptr) {
            EXPECT_TRUE(presenter->Compose(reinterpret_cast<std::uint8_t*>(px.data()), kW, kH, kW * 4));
        }
        return px;
    };
    const auto source = [&](int x, int y) {
        std::uint32_t v;
        std::memcpy(&v, &last.pixels[(static_cast<std::size_t>(y) * last.width + static_cast<std::size_t>(x)) * 4], 4);
        return v;
    };
    const auto presentAgain = [&] {
        const std::size_t before = Presented().size();
        JtvResetVideo(engine_);
        return Pump([&] { return Presented().size() > before; }, 5000);
    };
    // Letter-boxed: the whole picture at its own size in the middle, black bars of 112 beside.
    const auto expectLetterBoxed = [&] {
        const std::vector<std::uint32_t> px = compose();
        const int bar = (kW - rec.width) / 2;
        for (int y = 0; y < kH; ++y) {
            for (int x = 0; x < kW; ++x) {
                const std::uint32_t want = x < bar || x >= bar + rec.width ? 0xFF000000u : source(x - bar, y);
                ASSERT_EQ(px[static_cast<std::size_t>(y) * kW + static_cast<std::size_t>(x)], want) << x << "," << y;
            }
        }
    };
    expectLetterBoxed();

    // Stretched: the picture's first and last columns reach the window's edges.
    JtvSetVideoFlag(engine_, 0);
    EXPECT_EQ(JtvIsVideoFlag(engine_, 0), 0);
    ASSERT_TRUE(presentAgain()) << "no present after the reset";
    std::vector<std::uint32_t> px = compose();
    for (int y = 0; y < kH; ++y) {
        ASSERT_EQ(px[static_cast<std::size_t>(y) * kW], source(0, y)) << y;
        ASSERT_EQ(px[static_cast<std::size_t>(y) * kW + kW - 1], source(rec.width - 1, y)) << y;
    }

    // Switched on again: letter-boxed at the next present.
    JtvSetVideoFlag(engine_, 1);
    ASSERT_TRUE(presentAgain());
    expectLetterBoxed();
}

TEST_F(PlayTest, DamagedRecordingsPlayWhatIsDecodableAndEnd)
{
    struct Case {
        const char* name;
        recgen::Damage damage;
        std::size_t min_pictures;
        std::size_t max_pictures;
    };
    std::vector<Case> cases(5);
    cases[0] = {"cut", {}, 1, 49};
    cases[0].damage.cut_at = 40000;
    cases[1] = {"flips", {}, 1, 50};
    cases[1].damage.flips = 40;
    cases[2] = {"notables", {}, 0, 0};
    cases[2].damage.no_tables = true;
    cases[3] = {"junk", {}, 50, 50};
    cases[3].damage.lead_garbage = 1000;
    cases[3].damage.junk_every = 7;
    cases[4] = {"tiny", {}, 0, 0};
    cases[4].damage.cut_at = 100;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        recgen::RecordingSpec rec = Small();
        rec.damage = c.damage;
        const std::string path = Make(rec, std::string(c.name) + ".ts");
        ClearPresented();
        SyncOff();
        ASSERT_TRUE(Open(path));
        EXPECT_TRUE(WaitEnd());
        const std::size_t shown = Presented().size();
        EXPECT_GE(shown, c.min_pictures);
        EXPECT_LE(shown, c.max_pictures);
    }
}

TEST_F(PlayTest, DestroyWhilePlayingReturnsPromptly)
{
    recgen::RecordingSpec rec = Small();
    rec.seconds = 20.0;
    rec.gop = 25;
    ASSERT_TRUE(Open(Make(rec, "long.ts")));
    ASSERT_TRUE(Pump([&] { return Presented().size() >= 5; }, 10000));
    const ULONGLONG start = GetTickCount64();
    JtvDestroy(engine_);
    engine_ = nullptr;
    EXPECT_LT(GetTickCount64() - start, 1500u);
}

}  // namespace
