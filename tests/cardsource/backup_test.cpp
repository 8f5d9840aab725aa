// ".sd" card backups through the engine, checked against the layout byte for byte, and the
// folder scan.

#include "engine/FindFilePath.h"
#include "engine/Jtv.h"
#include "engine/JtvCtrl.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kBlock = 1312;
constexpr std::uint32_t kMagic = 0xFEFEFEFEu;

std::uint32_t Get32(const std::uint8_t* p) { std::uint32_t v; std::memcpy(&v, p, 4); return v; }
std::uint32_t Swap32(std::uint32_t v) { return __builtin_bswap32(v); }
std::uint16_t Swap16(std::uint16_t v) { return __builtin_bswap16(v); }

// An index block whose every byte is known: the magic, then a running pattern.
std::vector<std::uint8_t> MakeBlock(int seed)
{
    std::vector<std::uint8_t> b(kBlock);
    for (std::size_t i = 0; i < kBlock; ++i)
        b[i] = static_cast<std::uint8_t>(i * 7 + static_cast<std::size_t>(seed) * 31);
    std::memcpy(b.data(), &kMagic, 4);
    return b;
}

// What the card holds for a block, worked out field by field: the named words big-endian,
// the magic as it is, the XOR of the first 327 words in the last.
std::vector<std::uint8_t> Stored(const std::vector<std::uint8_t>& in)
{
    std::vector<std::uint8_t> out = in;
    auto swap32 = [&](std::size_t at) {
        std::uint32_t v;
        std::memcpy(&v, &in[at], 4);
        v = Swap32(v);
        std::memcpy(&out[at], &v, 4);
    };
    auto swap16 = [&](std::size_t at) {
        std::uint16_t v;
        std::memcpy(&v, &in[at], 2);
        v = Swap16(v);
        std::memcpy(&out[at], &v, 2);
    };
    swap32(4);
    for (std::size_t e = 0; e < 16; ++e) {
        swap32(8 + 12 * e);
        swap16(8 + 12 * e + 10);
    }
    swap32(200);
    swap32(216);
    swap32(1304);
    std::uint32_t x = 0;
    for (std::size_t w = 0; w < 327; ++w)
        x ^= Get32(&out[4 * w]);
    std::memcpy(&out[1308], &x, 4);
    return out;
}

class Backup : public ::testing::Test {
protected:
    void SetUp() override { h = JtvCreate(); ASSERT_NE(h, nullptr); }
    void TearDown() override { JtvDestroy(h); }
    CJtvCtrl* Engine() { return reinterpret_cast<CJtvCtrl*>(h); }
    HJTV h = nullptr;
    TempDir tmp;
};

}  // namespace

TEST_F(Backup, ThreeBlocksGiveTheLayoutsBytesForEachSourceKind)
{
    const std::vector<std::uint8_t> blocks[] = {MakeBlock(1), MakeBlock(2), MakeBlock(3)};
    const void* list[] = {blocks[0].data(), blocks[2].data(), blocks[0].data()};  // one given twice
    for (LONG type : {12L, 11L}) {
        SCOPED_TRACE(type);
        const std::string name = tmp.file("out/sub/card_" + std::to_string(type) + ".sd");
        Engine()->m_sourceType = type;
        ASSERT_TRUE(JtvStartBackup(h, name, list, 3));
        // The caller walks its own blocks: each gives the next one chosen, the last none.
        const auto entry = [](const void* p) { return static_cast<const RecordingEntry*>(p); };
        EXPECT_EQ(JtvFindSegment(h, entry(list[0])), entry(list[1]));
        EXPECT_EQ(JtvFindSegment(h, entry(list[1])), entry(list[2]));
        EXPECT_EQ(JtvFindSegment(h, entry(list[2])), nullptr);
        EXPECT_EQ(JtvFindSegment(h, entry(blocks[1].data())), nullptr);
        // Nothing is written until the source stops.
        EXPECT_EQ(fs::file_size(name), 0u);
        JtvStop(h);
        EXPECT_EQ(Engine()->m_recording.load(), 0);
        const auto result = Engine()->m_sourceBox.LastBackup();
        EXPECT_TRUE(result.done) << result.error;
        EXPECT_EQ(result.blocksWritten, 3u);

        const std::string bytes = tmp.read("out/sub/card_" + std::to_string(type) + ".sd");
        ASSERT_EQ(bytes.size(), type == 11 ? 85981920u : 3936u);
        for (int k = 0; k < 3; ++k) {
            const auto* got = reinterpret_cast<const std::uint8_t*>(bytes.data()) + kBlock * k;
            const auto& in = list[k] == blocks[0].data() ? blocks[0] : blocks[2];
            EXPECT_EQ(std::vector<std::uint8_t>(got, got + kBlock), Stored(in)) << k;
            EXPECT_EQ(Get32(got), kMagic);
            std::uint32_t x = 0;
            for (int w = 0; w < 327; ++w)
                x ^= Get32(got + 4 * w);
            EXPECT_EQ(Get32(got + 1308), x);
        }
        if (type == 11) {
            // The card block, zero, and nothing else between the blocks and the data area.
            EXPECT_EQ(bytes.find_first_not_of('\0', 3 * kBlock), std::string::npos);
        }
    }
}

TEST_F(Backup, AnOlderLargerBackupLeavesNoBlocksBehind)
{
    const std::string name = tmp.write("old.sd", std::string(10 * kBlock, '\x5A'));
    const auto block = MakeBlock(4);
    const void* list[] = {block.data()};
    Engine()->m_sourceType = 14;
    ASSERT_TRUE(JtvStartBackup(h, name, list, 1));
    JtvStop(h);
    EXPECT_EQ(fs::file_size(name), kBlock);
}

TEST_F(Backup, ABackupAskedForWhileTheEngineIsOpenIsRefused)
{
    const auto first = MakeBlock(7), second = MakeBlock(8);
    const void* one[] = {first.data()};
    const void* other[] = {second.data()};
    Engine()->m_sourceType = 14;
    const std::string running = tmp.file("running.sd"), refused = tmp.file("refused.sd");
    ASSERT_TRUE(JtvStartBackup(h, running, one, 1));
    // The engine is busy with the first backup: the second would write nothing.
    EXPECT_FALSE(JtvStartBackup(h, refused, other, 1));
    JtvStop(h);
    EXPECT_FALSE(fs::exists(refused));
    const std::string bytes = tmp.read("running.sd");
    ASSERT_EQ(bytes.size(), kBlock);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), Stored(first));

    // Stopped, the engine takes the next one.
    ASSERT_TRUE(JtvStartBackup(h, refused, other, 1));
    JtvStop(h);
    EXPECT_EQ(fs::file_size(refused), kBlock);
}

TEST_F(Backup, RefusalsAndFailuresAreReportedAsSuch)
{
    const auto good = MakeBlock(5);
    auto bad = MakeBlock(6);
    bad[0] = 0;
    const std::string name = tmp.file("x.sd");

    // A lone ".ts" file is no card.
    Engine()->m_sourceType = 13;
    const void* one[] = {good.data()};
    EXPECT_FALSE(JtvStartBackup(h, name, one, 1));
    Engine()->m_sourceType = 12;
    EXPECT_FALSE(JtvStartBackup(h, "", one, 1));
    EXPECT_FALSE(JtvStartBackup(h, name, one, 0));
    // Every block must be an index block, not only the first.
    const void* mixed[] = {good.data(), bad.data()};
    EXPECT_FALSE(JtvStartBackup(h, name, mixed, 2));
    EXPECT_EQ(Engine()->m_open.load(), 0);
    EXPECT_FALSE(fs::exists(name));

    // More blocks than fit before the card block.
    CSourceBoxCtx& box = Engine()->m_sourceBox;
    std::vector<const void*> many(CSourceBoxCtx::kMaxBackupBlocks + 1, good.data());
    EXPECT_FALSE(box.SetSegments(many.data(), static_cast<int>(many.size())));
    EXPECT_TRUE(box.SetSegments(many.data(), static_cast<int>(many.size() - 1)));
    EXPECT_FALSE(box.SetSegments(many.data(), 1));
    box.FinishBackup(false);  // not started: nothing written, and said so
    EXPECT_FALSE(box.LastBackup().done);
    EXPECT_EQ(box.SegmentCount(), 0u);

    // A backup that would write no ".sd" at all does not start.
    JtvSetValueC(h, 1);
    EXPECT_FALSE(JtvStartBackup(h, name, one, 1));
    JtvSetValueC(h, 0);
    EXPECT_EQ(Engine()->m_open.load(), 0);

    // A full device: the failed write is the result.
    if (fs::exists("/dev/full")) {
        ASSERT_TRUE(box.SetSegments(one, 1));
        box.SetBackupName("/dev/full");
        if (box.OpenBackupOutput()) {
            box.FinishBackup(false);
            EXPECT_FALSE(box.LastBackup().done);
            EXPECT_EQ(box.LastBackup().blocksWritten, 0u);
            EXPECT_FALSE(box.LastBackup().error.empty());
        }
    }
}

TEST_F(Backup, StoppingWithoutABackupWritesNothingAndStartStopLeavesNoThread)
{
    CSourceBoxCtx& box = Engine()->m_sourceBox;
    // A finished backup is neither written again nor forgotten by the stops after it.
    const auto block = MakeBlock(9);
    const void* one[] = {block.data()};
    Engine()->m_sourceType = 14;
    ASSERT_TRUE(JtvStartBackup(h, tmp.file("done.sd"), one, 1));
    JtvStop(h);
    const std::string kept = "the user's own bytes";
    tmp.write("done.sd", kept);
    // A source whose list is loaded starts and ends at once, as often as asked.
    TempDir dir;
    std::string head(376, '\xFF');
    const std::uint8_t times[2][6] = {{123, 10, 14, 22, 13, 20}, {123, 10, 14, 22, 14, 20}};
    std::memcpy(&head[50], times[0], 6);
    std::memcpy(&head[66], times[1], 6);
    dir.write("rec/a.ts", head);
    JtvSetExportFolder(h, dir.file("rec"));
    ASSERT_NE(JtvLoadFileList(h), nullptr);
    EXPECT_EQ(JtvGetRecordingList(h), nullptr);
    EXPECT_DOUBLE_EQ(JtvGetBackupProgress(h), 1.0);
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(box.Start());
        EXPECT_EQ(box.FindSegment(box.FirstEntry()), nullptr);  // the only working entry
        box.Stop(10000);
        EXPECT_FALSE(box.HasThread());
    }
    JtvStop(h);
    EXPECT_TRUE(tmp.read("done.sd") == kept) << "the finished backup was written again";
    EXPECT_TRUE(box.LastBackup().done);
    EXPECT_EQ(box.LastBackup().blocksWritten, 1u);
    CSourceBoxCtx unloaded(nullptr);
    EXPECT_FALSE(unloaded.Start());
}

TEST(ExportNameField, KeepsNineteenBytesAndZeroFills)
{
    CSourceBoxCtx box(nullptr);
    box.SetExportName("ABCDEFGHIJKLMNOPQRSTUVWXY", 2);
    char field[20];
    box.ExportNameField(field);
    EXPECT_EQ(std::string(field, 19), "ABCDEFGHIJKLMNOPQRS");
    EXPECT_EQ(field[19], '\0');
    box.SetExportName("abc", 0);
    box.ExportNameField(field);
    for (int i = 3; i < 20; ++i)
        EXPECT_EQ(field[i], 0);
}

TEST(FindFilePath, ListsTheRecordingsOfAFolderInNameOrder)
{
    TempDir tmp;
    tmp.write("f/b.ts", "x");
    tmp.write("f/A.TS", "x");
    tmp.write("f/c.txt", "x");
    tmp.write("f/d.ts.bak", "x");
    fs::create_directory(tmp.path() / "f" / "e.ts");
    CFindFilePath scan;
    scan.SetFolder(tmp.file("f"));
    ASSERT_TRUE(scan.Start());
    scan.Stop();
    EXPECT_FALSE(scan.Busy());
    EXPECT_EQ(scan.Files(), (std::vector<std::string>{tmp.file("f/A.TS"), tmp.file("f/b.ts")}));
    scan.SetFolder(tmp.file("none"));
    ASSERT_TRUE(scan.Start());
    ASSERT_TRUE(scan.Start());  // a second start waits for the first
    scan.Stop();
    EXPECT_TRUE(scan.Files().empty());
    CFindFilePath never;  // destroyed without a thread
}
