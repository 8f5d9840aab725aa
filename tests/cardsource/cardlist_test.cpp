// The recording list of a card folder: generated recordings with headers, event codes and GPS
// logs, damaged and hostile folders, navigation and the time-to-position map.

#include "engine/Jtv.h"
#include "engine/JtvCtrl.h"
#include "engine/SourceBoxCtx.h"
#include "tests/support/tempdir.h"
#include "tools/recgen/recgen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr std::time_t kBase = 1700000000;  // 2023-11-14 22:13:20 UTC

void UseUtc()
{
    setenv("TZ", "UTC0", 1);
    tzset();
}

// A file with nothing but a recorder header: start and end as local time, the event code.
std::string WriteHeaderFile(const TempDir& dir, const std::string& name, std::time_t start, std::time_t end,
                            std::uint8_t code = 0, std::size_t size = 376)
{
    std::string bytes(size, '\xFF');
    if (size > 0)
        bytes[0] = 0x47;
    if (size >= 72) {
        std::uint8_t h[6];
        recgen::HeaderTime(start, h);
        std::memcpy(&bytes[50], h, 6);
        recgen::HeaderTime(end, h);
        std::memcpy(&bytes[66], h, 6);
        bytes[64] = static_cast<char>(code);
    }
    return dir.write(name, bytes);
}

std::uint16_t U16(const void* p, std::size_t at)
{
    std::uint16_t v;
    std::memcpy(&v, static_cast<const std::uint8_t*>(p) + at, 2);
    return v;
}

std::uint32_t U32(const void* p, std::size_t at)
{
    std::uint32_t v;
    std::memcpy(&v, static_cast<const std::uint8_t*>(p) + at, 4);
    return v;
}

// The six date bytes the list stores for a time: year - 1800, month 1..12, day, h, m, s.
std::string DateBytes(std::time_t t)
{
    std::tm tm{};
    localtime_r(&t, &tm);
    const char d[6] = {static_cast<char>(tm.tm_year + 100), static_cast<char>(tm.tm_mon + 1),
                       static_cast<char>(tm.tm_mday),       static_cast<char>(tm.tm_hour),
                       static_cast<char>(tm.tm_min),        static_cast<char>(tm.tm_sec)};
    return std::string(d, 6);
}

std::string Bytes(const void* p, std::size_t at, std::size_t n)
{
    return std::string(static_cast<const char*>(p) + at, n);
}

double ReaderDistance(const std::string& path)
{
    CNmeaLogReader r;
    if (!r.Open(path))
        return 0;
    r.ReadAll();
    double km = 0;
    for (const GpsTrack& t : r.m_tracks)
        km += t.lengthKm;
    return km;
}

class CardList : public ::testing::Test {
protected:
    void SetUp() override { UseUtc(); }
};

}  // namespace

// Five recordings written in shuffled order under names that sort against their times, one
// of two hours, beside a damaged one, one with an invalid start, an empty and a tiny file.
TEST_F(CardList, GeneratedFolderListsRecordingsInTimeOrderWithTheirTimesFlagsAndDistances)
{
    TempDir tmp;
    const std::string card = tmp.file("card/rec");
    struct Plan {
        int order;         // position in time
        std::uint8_t code;
        double kmh;
        std::time_t extra; // header end beyond the pictures
    };
    // Written in this (shuffled) order.
    const Plan plans[] = {{3, 4, 200, 0}, {0, 1, 100, 0}, {4, 7, 50, 0}, {1, 3, 300, 7200}, {2, 2, 0, 0}};
    std::vector<std::string> written(5);
    for (const Plan& p : plans) {
        recgen::RecordingSpec r;
        r.width = 160;
        r.height = 120;
        r.fps = 10;
        r.gop = 10;
        r.seconds = 5;
        r.audio = false;
        r.start_time = kBase + p.order * 10;
        r.event_code = p.code;
        r.gps.speed_kmh = p.kmh;
        r.gps.enabled = p.kmh > 0;
        std::vector<std::string> paths;
        std::string error;
        ASSERT_TRUE(recgen::WriteFolder(r, card, 1, true, &paths, nullptr, &error)) << error;
        if (p.extra) {
            // A header that claims more than the pictures: the list believes the header.
            std::fstream f(paths[0], std::ios::in | std::ios::out | std::ios::binary);
            std::uint8_t end[6];
            recgen::HeaderTime(r.start_time + 5 + p.extra, end);
            f.seekp(66);
            f.write(reinterpret_cast<const char*>(end), 6);
        }
        // Names that sort against time: the distance must follow the recording, not the name.
        const fs::path from(paths[0]);
        const std::string stem = "r" + std::to_string(9 - p.order) + "_" + from.stem().string();
        fs::rename(from, fs::path(card) / (stem + ".TS"));
        fs::rename(fs::path(tmp.file("card/dit")) / (from.stem().string() + ".dit"),
                   fs::path(tmp.file("card/dit")) / (stem + ".dit"));
        written[static_cast<std::size_t>(p.order)] = (fs::path(card) / (stem + ".TS")).string();
    }
    // A damaged header (month byte 12), a start that is no time, an empty and a tiny file.
    {
        std::string bad = tmp.read("card/rec/" + fs::path(written[2]).filename().string());
        bad[51] = 12;
        tmp.write("card/rec/a_damaged.ts", bad);
        std::string noStart = bad;
        noStart[51] = 0;
        noStart[52] = 0;  // day 0
        tmp.write("card/rec/b_nostart.ts", noStart);
    }
    tmp.write("card/rec/c_empty.ts", "");
    WriteHeaderFile(tmp, "card/rec/d_tiny.ts", kBase + 1000, kBase + 1010, 0, 170);

    CSourceBoxCtx box(nullptr);
    const RecordingEntry* first = box.LoadFileList(card + "/");  // a trailing separator is the same folder
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(box.Count(), 6);
    // The tiny file is walked but not counted; the progress still stops at 1.
    EXPECT_EQ(box.FilesCounted(), 7);
    EXPECT_EQ(box.FilesWalked(), 8);
    EXPECT_DOUBLE_EQ(box.LoadProgress(), 1.0);

    // The 170-byte file has a good header, so it is listed; it is the latest.
    EXPECT_EQ(fs::path(box.Path(5)).filename(), "d_tiny.ts");
    const std::uint16_t flags[] = {1, 0x20, 2, 0x40, 0};
    const double kmh[] = {100, 300, 0, 200, 50};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(box.Path(i), written[static_cast<std::size_t>(i)]);
        std::int64_t start, end, length;
        ASSERT_TRUE(box.Times(i, &start, &end, &length));
        const std::time_t s = kBase + i * 10;
        const std::time_t e = i == 1 ? s + 5 + 7200 : s + 5;
        EXPECT_EQ(start, s);
        EXPECT_EQ(end, std::min<std::int64_t>(e, s + 1800));
        EXPECT_EQ(length, end - start);
        const RecordingEntry* entry = box.Entry(i);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(U16(entry, 18), flags[i]);
        // The entry keeps the header's own end, even past the cap.
        EXPECT_EQ(U32(entry, 200), static_cast<std::uint32_t>(e));
        EXPECT_EQ(Bytes(entry, 204, 6), DateBytes(s));
        EXPECT_EQ(Bytes(entry, 220, 6), DateBytes(e));
        for (int k = 0; k < 16; ++k)
            EXPECT_EQ(Bytes(entry, 12 + 12 * k, 6), DateBytes(e));
        EXPECT_EQ(U32(entry, 0), 0u);
        EXPECT_EQ(static_cast<const std::uint8_t*>(static_cast<const void*>(entry))[227], 0);

        // Four seconds of GPS at the recording's speed, within the rounding of the earth.
        const std::string log = tmp.file("card/dit/" + fs::path(written[static_cast<std::size_t>(i)]).stem().string() + ".dit");
        EXPECT_DOUBLE_EQ(box.GetDistance(i), ReaderDistance(log));
        EXPECT_NEAR(box.GetDistance(i), kmh[i] * 4 / 3600, kmh[i] * 4 / 3600 * 0.01 + 1e-9);
    }
    EXPECT_EQ(box.GetDistance(6), 0.0);
    EXPECT_EQ(box.GetDistance(-1), 0.0);
    EXPECT_EQ(first, box.Entry(0));
}

TEST_F(CardList, NavigationWalksTheListAndFindsNamesRegardlessOfCase)
{
    TempDir tmp;
    for (int i = 0; i < 3; ++i)
        WriteHeaderFile(tmp, "rec/f" + std::to_string(i) + ".ts", kBase + i * 100, kBase + i * 100 + 60);
    CSourceBoxCtx box(nullptr);
    ASSERT_NE(box.LoadFileList(tmp.file("rec")), nullptr);
    std::string name = "x";
    EXPECT_FALSE(box.SelectFile(-1, &name));
    EXPECT_EQ(name, "");
    EXPECT_EQ(box.PrevFile(), "");
    EXPECT_EQ(box.NextFile(), box.Path(0));
    EXPECT_EQ(box.NextFile(), box.Path(1));
    EXPECT_EQ(box.NextFile(), box.Path(2));
    EXPECT_EQ(box.NextFile(), box.Path(2));  // the last is named again
    EXPECT_EQ(box.CurrentFileIndex(), 2);
    EXPECT_EQ(box.CurrentFileStart(), kBase + 200);
    EXPECT_EQ(box.CurrentFileLength(), 60);
    EXPECT_EQ(box.PrevFile(), box.Path(1));
    EXPECT_FALSE(box.SelectFile(3, nullptr));
    EXPECT_EQ(box.CurrentFileIndex(), 1);
    std::string upper = box.Path(2);
    std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return std::toupper(c); });
    EXPECT_EQ(box.FindFile(upper), 2);
    EXPECT_EQ(box.FindFile("nothing"), -1);

    CSourceBoxCtx empty(nullptr);
    EXPECT_EQ(empty.NextFile(), "");
    EXPECT_EQ(empty.TimeToPosition(kBase, kBase), 0);
}

// The card dialog's walk: the loaded list's first entry, then each following one, in start
// order whatever the names' order.
TEST_F(CardList, AFlatWalkVisitsTheLoadedListInStartOrder)
{
    TempDir tmp;
    const std::time_t starts[] = {kBase + 200, kBase, kBase + 100, kBase + 300};
    const char* names[] = {"a.ts", "b.ts", "c.ts", "d.ts"};
    for (int i = 0; i < 4; ++i)
        WriteHeaderFile(tmp, std::string("rec/") + names[i], starts[i], starts[i] + 60);
    HJTV h = JtvCreate();
    ASSERT_NE(h, nullptr);
    JtvSetExportFolder(h, tmp.file("rec"));
    const RecordingEntry* first = JtvLoadFileList(h);
    ASSERT_NE(first, nullptr);
    std::vector<std::string> walked;
    for (const RecordingEntry* e = first; e != nullptr && walked.size() < 10; e = JtvFindSegment(h, e))
        walked.push_back(Bytes(e, 204, 6));
    const std::vector<std::string> expected{DateBytes(kBase), DateBytes(kBase + 100), DateBytes(kBase + 200),
                                            DateBytes(kBase + 300)};
    EXPECT_EQ(walked, expected);

    // A walk may start again anywhere; null and strangers lead nowhere.
    const RecordingEntry* second = JtvFindSegment(h, first);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(Bytes(second, 204, 6), DateBytes(kBase + 100));
    EXPECT_EQ(Bytes(JtvFindSegment(h, second), 204, 6), DateBytes(kBase + 200));
    EXPECT_EQ(JtvFindSegment(h, nullptr), nullptr);
    RecordingEntry stranger{};
    EXPECT_EQ(JtvFindSegment(h, &stranger), nullptr);
    JtvDestroy(h);
}

// Files at +0 (100 s), +200 (100 s) and +300 (50 s): positions are thousandths of the
// current file, 1000 a file, the convention of the demultiplexer's relative seek.
TEST_F(CardList, TimeMapsUseOneThousandPerFileInBothDirections)
{
    TempDir tmp;
    WriteHeaderFile(tmp, "rec/a.ts", kBase, kBase + 100);
    WriteHeaderFile(tmp, "rec/b.ts", kBase + 200, kBase + 300);
    WriteHeaderFile(tmp, "rec/c.ts", kBase + 300, kBase + 350);
    CSourceBoxCtx box(nullptr);
    ASSERT_NE(box.LoadFileList(tmp.file("rec")), nullptr);

    EXPECT_EQ(box.TimeToPosition(kBase + 250, kBase), 1500);
    EXPECT_EQ(box.TimeToPosition(kBase - 10, kBase), 10);          // before the first: d = 1
    EXPECT_EQ(box.TimeToPosition(kBase + 160, kBase), 1010);       // gap: nearest start
    EXPECT_EQ(box.TimeToPosition(kBase + 100, kBase), 1000);       // a tie goes to the earlier file
    EXPECT_EQ(box.TimeToPosition(kBase + 30, kBase + 300), -2000 + 300);
    EXPECT_EQ(box.TimeToPosition(kBase + 400, kBase), 3000);  // past the last: its end

    std::int64_t t = kBase + 30;
    ASSERT_TRUE(box.PositionForTime(&t, kBase + 300, 50));
    EXPECT_EQ(t, -1700);
    t = kBase + 320;
    ASSERT_TRUE(box.PositionForTime(&t, kBase, 100));
    EXPECT_EQ(t, 2400);
    t = kBase + 160;  // outside every file: one second into the nearest
    ASSERT_TRUE(box.PositionForTime(&t, kBase, 100));
    EXPECT_EQ(t, 1010);

    // Every second of every file, from every current file, lands in that file at that second
    // when carried out the way the demultiplexer steps through files.
    const std::int64_t starts[] = {kBase, kBase + 200, kBase + 300};
    const std::int64_t lengths[] = {100, 100, 50};
    for (int cur = 0; cur < 3; ++cur) {
        for (int f = 0; f < 3; ++f) {
            for (std::int64_t s = 0; s < lengths[f]; ++s) {
                std::int64_t pos = starts[f] + s;
                ASSERT_TRUE(box.PositionForTime(&pos, starts[cur], lengths[cur]));
                int file = cur;
                while (pos < 0) {
                    --file;
                    pos += 1000;
                }
                while (pos >= 1000) {
                    ++file;
                    pos -= 1000;
                }
                ASSERT_EQ(file, f) << "cur " << cur << " second " << s;
                EXPECT_NEAR(static_cast<double>(pos) * lengths[f] / 1000, static_cast<double>(s), 1.0);
            }
        }
    }
    CSourceBoxCtx empty(nullptr);
    t = 5;
    EXPECT_FALSE(empty.PositionForTime(&t, 0, 0));
    EXPECT_EQ(t, 5);
}

TEST_F(CardList, EqualStartsKeepNameOrderAndReloadsKeepHandedOutEntries)
{
    TempDir tmp;
    WriteHeaderFile(tmp, "rec/b.ts", kBase, kBase + 10, 1);
    WriteHeaderFile(tmp, "rec/a.ts", kBase, kBase + 20, 2);
    WriteHeaderFile(tmp, "rec/c.ts", kBase - 5, kBase + 20, 0);
    CSourceBoxCtx box(nullptr);
    const RecordingEntry* first = box.LoadFileList(tmp.file("rec"));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(fs::path(box.Path(0)).filename(), "c.ts");
    EXPECT_EQ(fs::path(box.Path(1)).filename(), "a.ts");
    EXPECT_EQ(fs::path(box.Path(2)).filename(), "b.ts");
    const RecordingEntry* a = box.Entry(1);
    // From a, which starts with b, one second into b is a file on, not in a.
    ASSERT_TRUE(box.SelectFile(1, nullptr));
    EXPECT_EQ(box.TimeToPosition(kBase + 1, box.CurrentFileStart()), 1100);

    // c changes and b goes: the entries handed out stay readable; unchanged ones are reused.
    WriteHeaderFile(tmp, "rec/c.ts", kBase - 5, kBase + 30, 3);
    fs::remove(tmp.file("rec/b.ts"));
    ASSERT_NE(box.LoadFileList(tmp.file("rec")), nullptr);
    EXPECT_EQ(box.Count(), 2);
    EXPECT_EQ(box.Entry(1), a);
    EXPECT_NE(box.Entry(0), first);
    EXPECT_EQ(U16(first, 18), 0);  // still the old entry's bytes
    EXPECT_EQ(U16(box.Entry(0), 18), 0x20);

    // A folder that is gone empties the list.
    EXPECT_EQ(box.LoadFileList(tmp.file("none")), nullptr);
    EXPECT_EQ(box.Count(), 0);
    EXPECT_EQ(box.LoadProgress(), 0.0);
    EXPECT_EQ(box.LoadFileList(""), nullptr);
}

// The loader thread switches the list between two folders, as the export folder is set to
// one and the other, while the demultiplexer's and the dialog's threads read: each read sees
// one folder's list whole, never a mix, a part or the list of a folder half set.
TEST_F(CardList, ReadersSeeAWholeListWhileALoaderReplacesIt)
{
    TempDir tmp;
    struct Folder {
        std::string dir;
        std::vector<std::string> paths;
        std::int64_t positions[2] = {};  // of a time in each folder, relative to its first recording
        std::uint32_t firstEnd = 0;
    };
    Folder folders[2];
    const std::int64_t kStarts[2] = {kBase, kBase + 100000};
    const std::int64_t kTimes[2] = {kBase + 10 * 60 + 30, kBase + 100000 + 10 * 90 + 45};
    for (int f = 0; f < 2; ++f) {
        Folder& folder = folders[f];
        folder.dir = tmp.file(f == 0 ? "old" : "new");
        const int count = f == 0 ? 40 : 25;
        const std::time_t base = kBase + f * 100000;
        const int step = f == 0 ? 60 : 90;
        for (int i = 0; i < count; ++i) {
            const std::string name = (f == 0 ? "a" : "b") + std::to_string(100 + i) + ".ts";
            WriteHeaderFile(tmp, (f == 0 ? "old/" : "new/") + name, base + i * step, base + i * step + step - 1);
            folder.paths.push_back((fs::path(folder.dir) / name).string());
        }
        CSourceBoxCtx probe(nullptr);
        ASSERT_NE(probe.LoadFileList(folder.dir), nullptr);
        ASSERT_EQ(probe.Paths(), folder.paths);
        for (int t = 0; t < 2; ++t)
            folder.positions[t] = probe.TimeToPosition(kTimes[t], kStarts[t]);
        folder.firstEnd = U32(probe.FirstEntry(), 200);
    }
    ASSERT_NE(folders[0].positions[0], folders[1].positions[0]);
    ASSERT_NE(folders[0].positions[1], folders[1].positions[1]);

    // The loader lists the engine's export folder while the user-interface thread sets it.
    HJTV h = JtvCreate();
    ASSERT_NE(h, nullptr);
    CSourceBoxCtx& box = reinterpret_cast<CJtvCtrl*>(h)->m_sourceBox;
    JtvSetExportFolder(h, folders[0].dir);
    ASSERT_NE(box.LoadFileList(), nullptr);
    std::atomic<bool> done{false};
    std::thread loader([&] {
        for (int i = 1; i <= 200; ++i)
            box.LoadFileList();
        done = true;
    });
    std::thread setter([&] {
        for (int i = 1; !done; ++i)
            JtvSetExportFolder(h, folders[i % 2].dir);
    });
    int reads = 0, mixed = 0, seen[2] = {0, 0};
    auto which = [&](const std::vector<std::string>& paths) {
        for (int f = 0; f < 2; ++f) {
            if (paths == folders[f].paths)
                return f;
        }
        return -1;
    };
    while (!done || reads < 10) {
        const int f = which(box.Paths());
        if (f < 0)
            ++mixed;
        else
            ++seen[f];
        // Each call sees one list; two calls may see two.
        const std::int64_t p = box.TimeToPosition(kTimes[0], kStarts[0]);
        const std::int64_t q = box.TimeToPosition(kTimes[1], kStarts[1]);
        if ((p != folders[0].positions[0] && p != folders[1].positions[0]) ||
            (q != folders[0].positions[1] && q != folders[1].positions[1]))
            ++mixed;
        if (const RecordingEntry* e = box.FirstEntry()) {
            const std::uint32_t end = U32(e, 200);
            if (end != folders[0].firstEnd && end != folders[1].firstEnd)
                ++mixed;
        }
        ++reads;
    }
    loader.join();
    setter.join();
    EXPECT_EQ(mixed, 0) << "of " << reads << " reads";
    EXPECT_GT(seen[0] + seen[1], 0);
    JtvSetExportFolder(h, folders[1].dir);
    ASSERT_NE(box.LoadFileList(), nullptr);
    EXPECT_EQ(box.Paths(), folders[1].paths);
    JtvDestroy(h);
}

// Unreadable entries, loops, pipes, folders and odd names are passed over, not tripped on.
TEST_F(CardList, HostileFolderListsWhatIsUsable)
{
    TempDir tmp;
    const fs::path dir = tmp.path() / "rec";
    WriteHeaderFile(tmp, "rec/good.ts", kBase, kBase + 30);
    WriteHeaderFile(tmp, "rec/line\nbreak \x01\xff.ts", kBase + 100, kBase + 130);
    WriteHeaderFile(tmp, "rec/two.ts.ts", kBase + 200, kBase + 230);
    fs::create_symlink("loop2.ts", dir / "loop1.ts");
    fs::create_symlink("loop1.ts", dir / "loop2.ts");
    fs::create_symlink("missing.ts", dir / "dangling.ts");
    fs::create_symlink(".", dir / "self.ts");
    fs::create_directory(dir / "folder.ts");
    ASSERT_EQ(mkfifo((dir / "pipe.ts").c_str(), 0600), 0);
    WriteHeaderFile(tmp, "rec/noread.ts", kBase + 300, kBase + 330);
    fs::permissions(dir / "noread.ts", fs::perms::none);
    // The logs' folder is a file here.
    tmp.write("dit", "not a folder");

    CSourceBoxCtx box(nullptr);
    ASSERT_NE(box.LoadFileList(dir.string()), nullptr);
    std::vector<std::string> names;
    for (int i = 0; i < box.Count(); ++i)
        names.push_back(fs::path(box.Path(i)).filename().string());
    // A privileged user can still read the file without permissions.
    const bool rootReads = ::geteuid() == 0;
    std::vector<std::string> expected = {"good.ts", "line\nbreak \x01\xff.ts", "two.ts.ts"};
    if (rootReads)
        expected.push_back("noread.ts");
    EXPECT_EQ(names, expected);
    for (int i = 0; i < box.Count(); ++i)
        EXPECT_EQ(box.GetDistance(i), 0.0);
}

// Its speed is bench_cardlist's.
TEST_F(CardList, TenThousandRecordingsListInStartOrder)
{
    TempDir tmp;
    for (int i = 0; i < 10000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "rec/%05d.ts", (i * 7919) % 10000);
        WriteHeaderFile(tmp, name, kBase + i * 60, kBase + i * 60 + 60, static_cast<std::uint8_t>(i % 5));
    }
    CSourceBoxCtx box(nullptr);
    ASSERT_NE(box.LoadFileList(tmp.file("rec")), nullptr);
    ASSERT_EQ(box.Count(), 10000);
    // Every recording in start order, under its own name, with its own times.
    for (int i = 0; i < 10000; ++i) {
        std::int64_t start = 0, length = 0;
        ASSERT_TRUE(box.Times(i, &start, nullptr, &length));
        ASSERT_EQ(start, kBase + i * 60) << i;
        ASSERT_EQ(length, 60) << i;
        char name[32];
        std::snprintf(name, sizeof name, "%05d.ts", (i * 7919) % 10000);
        ASSERT_EQ(fs::path(box.Path(i)).filename(), name) << i;
    }
}

TEST(DitDistance, MatchesTheLogReaderPieceByPiece)
{
    const std::string log =
        "$time:2023/11/14 22:13:20\r\n"
        "$GPRMC,221320,A,2501.9800,N,12133.9240,E,100.0,45.0,141123,,,A*00\r\n"
        "$GPRMC,221321,A,2502.9800,N,12134.9240,E,100.0,45.0,141123,,,A*00\r\n"
        "$GPRMC,221322,V,2503.9800,N,12135.9240,E,100.0,45.0,141123,,,A*00\r\n"
        "$time:2023/11/14 22:14:20\n" +
        std::string(1500, 'x') + "\n"
        "2023/11/14 22:14:21 $GPRMC,221421,A,2510.0000,N,12140.0000,E,1.0,0.0,141123,,,A*00\n"
        "$GPRMC,221422,A,2511.0000,N,12140.0000,E,1.0,0.0,141123,,,A*00";
    TempDir tmp;
    const std::string path = tmp.write("a.dit", log);
    const double expected = ReaderDistance(path);
    ASSERT_GT(expected, 1.0);
    for (std::size_t piece : {std::size_t(1), std::size_t(7), std::size_t(100), log.size()}) {
        CDitDistance d;
        for (std::size_t at = 0; at < log.size(); at += piece)
            d.Feed(log.data() + at, std::min(piece, log.size() - at));
        EXPECT_DOUBLE_EQ(d.Finish(), expected) << piece;
    }
    EXPECT_DOUBLE_EQ(DitFileDistance(path), expected);
    EXPECT_EQ(DitFileDistance(tmp.file("none.dit")), 0.0);
}

TEST(RecordingHeaderReader, TakesOnlyValidTimes)
{
    UseUtc();
    std::uint8_t head[72] = {};
    const std::uint8_t start[6] = {123, 10, 14, 22, 13, 20};
    const std::uint8_t end[6] = {123, 10, 14, 22, 14, 20};
    std::memcpy(head + 50, start, 6);
    std::memcpy(head + 66, end, 6);
    head[64] = 3;
    RecordingHeader h;
    ASSERT_TRUE(ReadRecordingHeader(head, sizeof head, &h));
    EXPECT_EQ(h.start, kBase);
    EXPECT_EQ(h.end, kBase + 60);
    EXPECT_EQ(h.eventCode, 3);
    EXPECT_EQ(h.startDate[0], 223);
    EXPECT_EQ(h.startDate[1], 11);
    EXPECT_FALSE(ReadRecordingHeader(head, 71, &h));
    for (int field = 1; field < 6; ++field) {
        const std::uint8_t limits[] = {0, 12, 32, 24, 60, 60};
        std::uint8_t bad[72];
        std::memcpy(bad, head, sizeof bad);
        bad[50 + field] = limits[field];
        EXPECT_FALSE(ReadRecordingHeader(bad, sizeof bad, &h)) << field;
        std::memcpy(bad, head, sizeof bad);
        bad[66 + field] = limits[field];
        EXPECT_FALSE(ReadRecordingHeader(bad, sizeof bad, &h)) << field;
    }
    head[52] = 0;  // day 0
    EXPECT_FALSE(ReadRecordingHeader(head, sizeof head, &h));
    const std::uint16_t flags[] = {0, 1, 2, 0x20, 0x40, 0, 0};
    for (int code = 0; code < 7; ++code)
        EXPECT_EQ(EventFlags(static_cast<std::uint8_t>(code)), flags[code]);
}
