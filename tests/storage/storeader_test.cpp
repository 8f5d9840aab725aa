#include "engine/storeader.h"

#include "platform/base/disks.h"
#include "platform/base/file.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;

std::size_t OpenDescriptors()
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

TEST(StoReaderTest, OpenCreatesOnlyWithWriteAccessAndNeverTruncates)
{
    TempDir dir;
    CStoReader r;
    EXPECT_FALSE(r.Open(dir.file("missing.sd"), GENERIC_READ));
    EXPECT_FALSE(r.IsOpen());
    EXPECT_FALSE(fs::exists(dir.file("missing.sd")));

    EXPECT_TRUE(r.Open(dir.file("missing.sd"), kReadWrite));
    EXPECT_TRUE(fs::exists(dir.file("missing.sd")));
    r.Close();

    const std::string kept = dir.write("old.sd", "0123456789");
    ASSERT_TRUE(r.Open(kept, kReadWrite));
    ASSERT_TRUE(r.Write("ab", 2));
    r.Close();
    EXPECT_EQ(dir.read("old.sd"), "ab23456789");
}

TEST(StoReaderTest, ReadsAndWritesAreExactLength)
{
    TempDir dir;
    const std::string path = dir.write("image.bin", std::string(100, 'x'));
    CStoReader r;
    ASSERT_TRUE(r.Open(path, kReadWrite));

    std::array<unsigned char, 1312> block;
    std::iota(block.begin(), block.end(), 0);
    LONGLONG pos = -1;
    ASSERT_TRUE(r.Seek(5000, 0, FILE_BEGIN, &pos));
    EXPECT_EQ(pos, 5000);
    ASSERT_TRUE(r.Write(block.data(), block.size()));
    ASSERT_TRUE(r.Seek(5000, 0, FILE_BEGIN));
    std::array<unsigned char, 1312> back{};
    ASSERT_TRUE(r.Read(back.data(), back.size()));
    EXPECT_EQ(back, block);

    // The gap written over reads as zeros; the old bytes are still in front of it.
    char head[4];
    ASSERT_TRUE(r.Seek(98, 0, FILE_BEGIN));
    ASSERT_TRUE(r.Read(head, 4));
    EXPECT_EQ(std::string(head, 4), std::string("xx\0\0", 4));

    // At the end of the file: a partial read is a failure, an exact one is not.
    const LONGLONG size = 5000 + 1312;
    ASSERT_TRUE(r.Seek(static_cast<DWORD>(size - 10), 0, FILE_BEGIN));
    EXPECT_FALSE(r.Read(back.data(), 20));
    ASSERT_TRUE(r.Seek(static_cast<DWORD>(size - 10), 0, FILE_BEGIN));
    EXPECT_TRUE(r.Read(back.data(), 10));
    EXPECT_FALSE(r.Read(back.data(), 1));
}

TEST(StoReaderTest, SeeksPastFourGibibytesOnASparseFile)
{
    TempDir dir;
    CStoReader r;
    ASSERT_TRUE(r.Open(dir.file("big.img"), kReadWrite));

    const LONGLONG fiveGiB = 5LL << 30;
    LONGLONG pos = 0;
    ASSERT_TRUE(r.Seek(0x40000000u, 1, FILE_BEGIN, &pos));
    EXPECT_EQ(pos, fiveGiB);
    ASSERT_TRUE(r.Write("QVCARD!!", 8));
    EXPECT_EQ(fs::file_size(dir.file("big.img")), static_cast<std::uintmax_t>(fiveGiB + 8));

    // A position whose low half is all ones is a success, not the error sentinel.
    ASSERT_TRUE(r.Seek(0xFFFFFFFFu, 0, FILE_BEGIN, &pos));
    EXPECT_EQ(pos, 0xFFFFFFFFLL);

    // Backwards from the end by a negative 64-bit distance.
    ASSERT_TRUE(r.Seek(static_cast<DWORD>(-8), -1, FILE_END, &pos));
    EXPECT_EQ(pos, fiveGiB);
    char tail[8];
    ASSERT_TRUE(r.Read(tail, 8));
    EXPECT_EQ(std::memcmp(tail, "QVCARD!!", 8), 0);

    ASSERT_TRUE(r.Seek(static_cast<DWORD>(-16), -1, FILE_CURRENT, &pos));
    EXPECT_EQ(pos, fiveGiB - 8);
    pos = 42;
    EXPECT_FALSE(r.Seek(0, -1, FILE_BEGIN, &pos));  // before the start
    EXPECT_EQ(pos, 42);
}

TEST(StoReaderTest, ClosedReaderRefusesAndReopenReleasesTheOldHandle)
{
    TempDir dir;
    const std::string a = dir.write("a.bin", "aaaa");
    const std::string b = dir.write("b.bin", "bbbb");
    CStoReader r;
    char got[4];
    EXPECT_FALSE(r.Read(got, 4));
    EXPECT_FALSE(r.Write(got, 4));
    EXPECT_FALSE(r.Seek(0, 0, FILE_BEGIN));

    ASSERT_TRUE(r.Open(a, GENERIC_READ));
    EXPECT_FALSE(r.Write("zz", 2));  // read-only handle
    const std::size_t open = OpenDescriptors();
    ASSERT_TRUE(r.Open(b, GENERIC_READ));
    EXPECT_EQ(OpenDescriptors(), open);
    ASSERT_TRUE(r.Read(got, 4));
    EXPECT_EQ(std::string(got, 4), "bbbb");
    {
        CStoReader scoped;
        ASSERT_TRUE(scoped.Open(a, GENERIC_READ));
    }
    EXPECT_EQ(OpenDescriptors(), open);

    r.Close();
    r.Close();
    EXPECT_FALSE(r.IsOpen());
    EXPECT_FALSE(r.Read(got, 4));
    EXPECT_EQ(OpenDescriptors(), open - 1);
    EXPECT_EQ(dir.read("a.bin"), "aaaa");
}

TEST(WholeDiskTest, StableOrderWithoutVirtualDevices)
{
    TempDir sys;
    for (const char* name : {"sdb", "loop0", "sda", "mmcblk10", "sdaa", "zram0", "dm-0", "sr0", "mmcblk0",
                             "mmcblk0boot0", "mmcblk0rpmb", "nvme1n1", "md127", "sdz", "nvme0n1", "vda",
                             "ram0", "nbd0", "mmcblk2", "loop12"})
        fs::create_directory(sys.path() / name);
    const std::vector<std::string> expected = {"/dev/sda",     "/dev/sdb",     "/dev/sdz",     "/dev/vda",
                                               "/dev/nvme0n1", "/dev/nvme1n1", "/dev/sdaa",    "/dev/mmcblk0",
                                               "/dev/mmcblk2", "/dev/mmcblk10"};
    EXPECT_EQ(ListWholeDisks(sys.path().string()), expected);
    EXPECT_TRUE(ListWholeDisks(sys.file("absent")).empty());
}

TEST(WholeDiskTest, DriveNumbersWithoutADiskFailCleanly)
{
    const std::size_t disks = ListWholeDisks().size();
    CStoReader r;
    EXPECT_FALSE(r.OpenDisk(-1, GENERIC_READ));
    EXPECT_FALSE(r.IsOpen());
    EXPECT_FALSE(r.OpenDisk(static_cast<int>(disks), GENERIC_READ));
    EXPECT_FALSE(r.IsOpen());
    EXPECT_FALSE(r.OpenDisk(1000, GENERIC_READ));
    EXPECT_FALSE(r.IsOpen());
}

TEST(WholeDiskTest, FirstDiskOpensOrFailsLikeAnyFile)
{
    const std::vector<std::string> disks = ListWholeDisks();
    if (disks.empty())
        GTEST_SKIP() << "no whole disk on this machine";
    // Drive 0 is the first listed disk: it opens exactly when its device opens for reading, and
    // reads what the device holds.
    std::ifstream device(disks[0], std::ios::binary);
    CStoReader r;
    ASSERT_EQ(r.OpenDisk(0, GENERIC_READ), device.is_open()) << disks[0];
    EXPECT_EQ(r.IsOpen(), device.is_open());
    if (!device.is_open())
        GTEST_SKIP() << "no right to read " << disks[0] << ": only the refusal was checked";

    for (const LONGLONG at : {0LL, 4096LL, 512LL * 2049}) {
        std::array<char, 512> expected{};
        ASSERT_TRUE(device.seekg(at).read(expected.data(), expected.size())) << disks[0] << " at " << at;
        std::array<char, 512> sector;
        for (std::size_t i = 0; i < sector.size(); ++i)
            sector[i] = static_cast<char>(~expected[i]);  // every byte must change
        LONGLONG pos = -1;
        ASSERT_TRUE(r.Seek(static_cast<DWORD>(at), 0, FILE_BEGIN, &pos));
        EXPECT_EQ(pos, at);
        ASSERT_TRUE(r.Read(sector.data(), sector.size()));
        EXPECT_EQ(sector, expected) << "at " << at;
        ASSERT_TRUE(r.Seek(0, 0, FILE_CURRENT, &pos));
        EXPECT_EQ(pos, at + 512);
    }
}

}  // namespace
