#include "cardtools/cardtools.h"

#include <bit>
#include <cstring>
#include <ctime>

static_assert(sizeof(std::time_t) == 8, "dates past 2038 need a 64-bit time_t");

namespace {

std::uint32_t LoadWord(const void* block, std::size_t offset)
{
    std::uint32_t v;
    std::memcpy(&v, static_cast<const unsigned char*>(block) + offset, sizeof v);
    return v;
}

std::uint32_t Swap32(std::uint32_t v)
{
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

std::uint16_t Swap16(std::uint16_t v) { return static_cast<std::uint16_t>((v >> 8) | (v << 8)); }

// Between the machine's order and big-endian: a no-op on a big-endian machine.
std::uint32_t ToFromBig(std::uint32_t v) { return std::endian::native == std::endian::big ? v : Swap32(v); }
std::uint16_t ToFromBig(std::uint16_t v) { return std::endian::native == std::endian::big ? v : Swap16(v); }

constexpr int kFirstYear = 1800;
constexpr int kLastYear = kFirstYear + 255;

}  // namespace

bool IsIndexBlock(const void* block)
{
    return LoadWord(block, 0) == kIndexBlockMagic;
}

void SwapIndexBlock(IndexBlock* block)
{
    block->word1 = ToFromBig(block->word1);
    for (IndexEntry& e : block->entries) {
        e.value = ToFromBig(e.value);
        e.flags = ToFromBig(e.flags);
    }
    block->time = ToFromBig(block->time);
    block->word216 = ToFromBig(block->word216);
    block->sequence = ToFromBig(block->sequence);
}

std::uint32_t SettingChecksum(const void* block, std::size_t size)
{
    // Sizes below two words would make the word count negative.
    if (size < 8)
        return 0;
    const std::size_t words = size / 4 - 1;
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < words; ++i)
        sum ^= LoadWord(block, i * 4);
    return sum;
}

std::int64_t DiskDateToTime(const DiskDate* date)
{
    // mktime would quietly normalise out-of-range fields into some other plausible date.
    if (date->month < 1 || date->month > 12 || date->day < 1 || date->day > 31 || date->hour > 23 ||
        date->minute > 59 || date->second > 59)
        return 0;
    std::tm tm{};
    tm.tm_year = date->year + kFirstYear - 1900;
    tm.tm_mon = date->month - 1;
    tm.tm_mday = date->day;
    tm.tm_hour = date->hour;
    tm.tm_min = date->minute;
    tm.tm_sec = date->second;
    tm.tm_isdst = -1;
    // -1 is also a valid time, so success is told by mktime having filled in the weekday.
    tm.tm_wday = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1) && tm.tm_wday == -1)
        return 0;
    return static_cast<std::int64_t>(t);
}

void TimeToLocalDiskDate(std::int64_t time, DiskDate* date)
{
    static constexpr DiskDate kFirst{0, 1, 1, 0, 0, 0};
    static constexpr DiskDate kLast{255, 12, 31, 23, 59, 59};
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm tm{};
    if (!localtime_r(&t, &tm)) {
        // Only times far beyond any calendar year fail here.
        *date = time < 0 ? kFirst : kLast;
        return;
    }
    const long long year = tm.tm_year + 1900LL;
    if (year < kFirstYear) {
        *date = kFirst;
        return;
    }
    if (year > kLastYear) {
        *date = kLast;
        return;
    }
    date->year = static_cast<std::uint8_t>(year - kFirstYear);
    date->month = static_cast<std::uint8_t>(tm.tm_mon + 1);
    date->day = static_cast<std::uint8_t>(tm.tm_mday);
    date->hour = static_cast<std::uint8_t>(tm.tm_hour);
    date->minute = static_cast<std::uint8_t>(tm.tm_min);
    // A leap second (zones with leap-second tables) is not a valid stamp.
    date->second = static_cast<std::uint8_t>(tm.tm_sec > 59 ? 59 : tm.tm_sec);
}

bool CheckCarInfoRecord(const void* record, std::uint32_t sequence)
{
    return LoadWord(record, 0) == kCarInfoMagic && ToFromBig(LoadWord(record, 1304)) == sequence &&
           LoadWord(record, 1308) == SettingChecksum(record, kDiskBlockSize) && LoadWord(record, 4) != 0;
}
