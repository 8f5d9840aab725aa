#pragma once
// The recorder's 1312-byte disk blocks and its 6-byte date stamp.
//
// On the card the multi-byte fields of a block are big-endian, except the first (kind) word and
// the last (checksum) word, which stay in the machine's order.

#include <cstddef>
#include <cstdint>

constexpr std::size_t kDiskBlockSize = 1312;
constexpr std::uint32_t kIndexBlockMagic = 0xFEFEFEFEu;
constexpr std::uint32_t kCarInfoMagic = 0xA5010000u;

// Local calendar time, one byte each: year - 1800 (so 1800..2055), month 1..12, day 1..31.
struct DiskDate {
    std::uint8_t year;
    std::uint8_t month;
    std::uint8_t day;
    std::uint8_t hour;
    std::uint8_t minute;
    std::uint8_t second;

    bool operator==(const DiskDate&) const = default;
};
static_assert(sizeof(DiskDate) == 6);

struct IndexEntry {
    std::uint32_t value;   // big-endian on the card
    DiskDate date;
    std::uint16_t flags;   // big-endian on the card
};
static_assert(sizeof(IndexEntry) == 12);

// An index block of the recorder card. Only the fields named here have a known layout;
// everything else is carried byte for byte.
struct IndexBlock {
    std::uint32_t magic;          // 0: kIndexBlockMagic, never swapped
    std::uint32_t word1;          // 4
    IndexEntry entries[16];       // 8
    std::uint32_t time;           // 200: seconds
    DiskDate startDate;           // 204
    std::uint8_t reserved210[6];  // 210
    std::uint32_t word216;        // 216
    DiskDate endDate;             // 220
    std::uint8_t reserved226;     // 226
    std::uint8_t status;          // 227
    std::uint8_t reserved228[1076];
    std::uint32_t sequence;       // 1304
    std::uint32_t checksum;       // 1308: SettingChecksum of the stored form, never swapped
};
// Every field sits at its natural alignment, so the layout needs no packing.
static_assert(sizeof(IndexBlock) == kDiskBlockSize);
static_assert(offsetof(IndexBlock, time) == 200);
static_assert(offsetof(IndexBlock, startDate) == 204);
static_assert(offsetof(IndexBlock, word216) == 216);
static_assert(offsetof(IndexBlock, endDate) == 220);
static_assert(offsetof(IndexBlock, status) == 227);
static_assert(offsetof(IndexBlock, sequence) == 1304);
static_assert(offsetof(IndexBlock, checksum) == 1308);

// True when the first word of the 1312-byte block is the index-block magic.
bool IsIndexBlock(const void* block);

// Converts the block's multi-byte fields between the machine's order and the card's big-endian
// order, in place; applying it twice restores the block.
void SwapIndexBlock(IndexBlock* block);

// XOR of the first (size / 4 - 1) 32-bit words, read in the machine's order; 0 when the
// block is shorter than two words.
std::uint32_t SettingChecksum(const void* block, std::size_t size);

// Seconds since 1970 of the date read as local time (the platform decides daylight saving);
// 0 when a field is out of range (month 1..12, day 1..31, hour < 24, minute and second < 60).
std::int64_t DiskDateToTime(const DiskDate* date);

// The local date of a time; times outside 1800..2055 are clamped to the first or last second
// of that range, so that dates keep their order.
void TimeToLocalDiskDate(std::int64_t time, DiskDate* date);

// Validity of a 1312-byte record as read from the card: its kind word, the big-endian sequence
// at 1304, the checksum at 1308 and a non-zero word at 4.
bool CheckCarInfoRecord(const void* record, std::uint32_t sequence);
