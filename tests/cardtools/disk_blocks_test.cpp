#include "cardtools/cardtools.h"

#include <gtest/gtest.h>

#include <array>
#include <algorithm>
#include <cstring>
#include <memory>
#include <set>

namespace {

using Bytes = std::array<unsigned char, kDiskBlockSize>;

void PutBytes(Bytes& b, std::size_t at, std::initializer_list<unsigned char> v)
{
    std::copy(v.begin(), v.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
}

// A block in card form: every swapped field written big-endian by hand, the rest a pattern.
Bytes CardFormBlock()
{
    Bytes b;
    for (std::size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<unsigned char>(i * 7 + 3);
    PutBytes(b, 0, {0xFE, 0xFE, 0xFE, 0xFE});
    PutBytes(b, 4, {0x01, 0x02, 0x03, 0x04});
    for (unsigned char i = 0; i < 16; ++i) {
        const std::size_t e = 8 + 12u * i;
        PutBytes(b, e, {0x10, 0x20, 0x30, static_cast<unsigned char>(0x40 + i)});
        PutBytes(b, e + 10, {0xA0, static_cast<unsigned char>(0xB0 + i)});
    }
    PutBytes(b, 200, {0x11, 0x22, 0x33, 0x44});
    PutBytes(b, 216, {0x55, 0x66, 0x77, 0x88});
    PutBytes(b, 1304, {0x99, 0xAA, 0xBB, 0xCC});
    PutBytes(b, 1308, {0xEF, 0xBE, 0xAD, 0xDE});
    return b;
}

IndexBlock AsBlock(const Bytes& b)
{
    IndexBlock blk;
    std::memcpy(&blk, b.data(), sizeof blk);
    return blk;
}

TEST(IndexBlockTest, SwapTurnsTheBigEndianFieldsAndKeepsMagicDatesAndChecksum)
{
    const Bytes card = CardFormBlock();
    IndexBlock blk = AsBlock(card);
    SwapIndexBlock(&blk);

    EXPECT_EQ(blk.magic, 0xFEFEFEFEu);
    EXPECT_EQ(blk.word1, 0x01020304u);
    for (unsigned i = 0; i < 16; ++i) {
        EXPECT_EQ(blk.entries[i].value, 0x10203040u + i) << i;
        EXPECT_EQ(blk.entries[i].flags, 0xA0B0u + i) << i;
    }
    EXPECT_EQ(blk.time, 0x11223344u);
    EXPECT_EQ(blk.word216, 0x55667788u);
    EXPECT_EQ(blk.sequence, 0x99AABBCCu);
    EXPECT_EQ(blk.checksum, 0xDEADBEEFu);  // stays in the machine's order

    std::set<std::size_t> swapped;
    auto mark = [&](std::size_t at, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i)
            swapped.insert(at + i);
    };
    mark(4, 4);
    for (std::size_t i = 0; i < 16; ++i) {
        mark(8 + 12 * i, 4);
        mark(8 + 12 * i + 10, 2);
    }
    mark(200, 4);
    mark(1304, 4);
    Bytes after;
    std::memcpy(after.data(), &blk, sizeof blk);
    // What lies from byte 216 to the sequence word belongs to the card tools' own layout.
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (!swapped.count(i) && (i < 216 || i >= 1304)) {
            EXPECT_EQ(after[i], card[i]) << "byte " << i;
        }
    }

    SwapIndexBlock(&blk);
    EXPECT_EQ(std::memcmp(&blk, card.data(), card.size()), 0) << "swapping twice restores the block";
}

TEST(IndexBlockTest, RecognisesOnlyTheIndexMagic)
{
    Bytes b = CardFormBlock();
    EXPECT_TRUE(IsIndexBlock(b.data()));
    PutBytes(b, 0, {0x00, 0x00, 0x01, 0xA5});
    EXPECT_FALSE(IsIndexBlock(b.data()));
    PutBytes(b, 0, {0xFE, 0xFE, 0xFE, 0xFF});
    EXPECT_FALSE(IsIndexBlock(b.data()));
}

TEST(SettingChecksumTest, XorOfAllWordsButTheLast)
{
    alignas(4) unsigned char b[kDiskBlockSize + 4] = {};
    auto put = [&](std::size_t word, std::uint32_t v) { std::memcpy(b + 4 * word, &v, 4); };
    put(0, 0x12345678u);
    put(326, 0x0F0F0F0Fu);
    put(327, 0xFFFFFFFFu);  // the checksum slot of a 1312-byte block
    EXPECT_EQ(SettingChecksum(b, kDiskBlockSize), 0x1D3B5977u);
    // A size that is not a multiple of four covers the whole words only.
    EXPECT_EQ(SettingChecksum(b, kDiskBlockSize + 1), 0x1D3B5977u);
    EXPECT_EQ(SettingChecksum(b, kDiskBlockSize + 4), 0x1D3B5977u ^ 0xFFFFFFFFu);
    EXPECT_EQ(SettingChecksum(b, 8), 0x12345678u);
}

TEST(SettingChecksumTest, TinySizesReadNothing)
{
    // Sized exactly, so that a read past the end shows under AddressSanitizer.
    const auto three = std::make_unique<unsigned char[]>(3);
    const auto four = std::make_unique<unsigned char[]>(4);
    std::memset(three.get(), 0xFF, 3);
    std::memset(four.get(), 0xFF, 4);
    EXPECT_EQ(SettingChecksum(three.get(), 0), 0u);
    EXPECT_EQ(SettingChecksum(three.get(), 3), 0u);
    EXPECT_EQ(SettingChecksum(four.get(), 4), 0u);
}

// A valid card record: sequence 7, every other byte a pattern, checksum filled in.
Bytes ValidCarInfoRecord()
{
    Bytes b;
    for (std::size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<unsigned char>(i * 13 + 1);
    PutBytes(b, 0, {0x00, 0x00, 0x01, 0xA5});
    PutBytes(b, 4, {0x00, 0x00, 0x00, 0x01});
    PutBytes(b, 1304, {0x00, 0x00, 0x00, 0x07});
    const std::uint32_t sum = SettingChecksum(b.data(), b.size());
    std::memcpy(b.data() + 1308, &sum, 4);
    return b;
}

TEST(CheckCarInfoRecordTest, RejectsEachBrokenField)
{
    ASSERT_TRUE(CheckCarInfoRecord(ValidCarInfoRecord().data(), 7));
    EXPECT_FALSE(CheckCarInfoRecord(ValidCarInfoRecord().data(), 8)) << "another sequence";
    auto resum = [](Bytes& b) {
        const std::uint32_t sum = SettingChecksum(b.data(), b.size());
        std::memcpy(b.data() + 1308, &sum, 4);
    };
    {
        Bytes b = ValidCarInfoRecord();
        PutBytes(b, 0, {0xFE, 0xFE, 0xFE, 0xFE});
        resum(b);
        EXPECT_FALSE(CheckCarInfoRecord(b.data(), 7)) << "magic";
    }
    {
        Bytes b = ValidCarInfoRecord();
        PutBytes(b, 4, {0, 0, 0, 0});
        resum(b);
        EXPECT_FALSE(CheckCarInfoRecord(b.data(), 7)) << "word at 4";
    }
    {
        // The sequence stored in the machine's order instead of big-endian.
        Bytes b = ValidCarInfoRecord();
        PutBytes(b, 1304, {0x07, 0x00, 0x00, 0x00});
        resum(b);
        EXPECT_FALSE(CheckCarInfoRecord(b.data(), 7)) << "sequence byte order";
        EXPECT_TRUE(CheckCarInfoRecord(b.data(), 0x07000000u));
    }
    {
        // The checksum is kept in the machine's order; big-endian does not match.
        Bytes b = ValidCarInfoRecord();
        std::swap(b[1308], b[1311]);
        std::swap(b[1309], b[1310]);
        EXPECT_FALSE(CheckCarInfoRecord(b.data(), 7)) << "checksum byte order";
    }
}

TEST(CheckCarInfoRecordTest, RejectsAnySingleFlippedBit)
{
    const Bytes good = ValidCarInfoRecord();
    Bytes b = good;
    int accepted = 0;
    for (std::size_t bit = 0; bit < b.size() * 8; ++bit) {
        b[bit / 8] ^= static_cast<unsigned char>(1u << (bit % 8));
        accepted += CheckCarInfoRecord(b.data(), 7);
        b[bit / 8] = good[bit / 8];
    }
    EXPECT_EQ(accepted, 0);
}

}  // namespace
