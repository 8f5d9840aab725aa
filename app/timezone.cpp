#include "app/timezone.h"

#include <algorithm>
#include <cstdint>
#include <ctime>

TimeZoneEntry TimeZoneTable[kTimeZoneRows + 1] = {
    {0, 0, 0, 0, "Local System TimeZone"},
    {0, 0, 0, 0, "+00:00 GMT Greenwich Mean Time"},
    {0, 1, 0, 0, "+01:00 CET Central European Time"},
    {0, 2, 0, 0, "+02:00 EET Eastern European Time"},
    {0, 3, 0, 0, "+03:00 EAT East Africa Time"},
    {0, 3, 2, 0, "+03:30 IRST Iran Standard Time"},
    {0, 4, 0, 0, "+04:00 AST Arabian Standard Time"},
    {0, 4, 2, 0, "+04:30 AFT Afghanistan Time"},
    {0, 5, 0, 0, "+05:00 AMST Armenia Summer Time"},
    {0, 5, 2, 0, "+05:30 IST Indian Standard Time"},
    {0, 5, 3, 0, "+05:45 NPT Nepal Time"},
    {0, 6, 0, 0, "+06:00 BST Bangladesh Standard Time"},
    {0, 6, 2, 0, "+06:30 MST Myanmar Standard Time"},
    {0, 7, 0, 0, "+07:00 CXT Christmas Island Time"},
    {0, 8, 0, 0, "+08:00 CST China Standard Time"},
    {0, 9, 0, 0, "+09:00 JST Japan Standard Time"},
    {0, 9, 2, 0, "+09:30 ACST Australian Central Standard Time"},
    {0, 10, 0, 0, "+10:00 AEST Australian Eastern Standard Time"},
    {0, 10, 2, 0, "+10:30 ACDT Australian Central Daylight Time"},
    {0, 11, 0, 0, "+11:00 AEDT Australian Eastern Daylight Time"},
    {0, 11, 2, 0, "+11:30 NFT Norfolk Time"},
    {0, 12, 0, 0, "+12:00 FJT Fiji Time"},
    {0, 12, 3, 0, "+12:45 CHAST Chatham Standard Time"},
    {0, 13, 0, 0, "+13:00 PHOT Phoenix Island Time"},
    {0, 14, 0, 0, "+14:00 LINT Line Islands Time"},
    {0, -1, 0, 0, "-01:00 CVT Cape Verde Time"},
    {0, -2, 0, 0, "-02:00 GST South Georgia and the South Sandwich Islands"},
    {0, -2, -2, 0, "-02:30 NDT Newfoundland Daylight Time"},
    {0, -3, 0, 0, "-03:00 ART Argentina Time"},
    {0, -3, -2, 0, "-03:30 NST Newfoundland Standard Time"},
    {0, -4, 0, 0, "-04:00 AST Atlantic Standard Time"},
    {0, -4, -2, 0, "-04:30 VET Venezuelan Standard Time"},
    {0, -5, 0, 0, "-05:00 EST Eastern Standard Time (North America)"},
    {0, -6, 0, 0, "-06:00 CST Central Standard Time (North America)"},
    {0, -7, 0, 0, "-07:00 MST Mountain Standard Time (North America)"},
    {0, -8, 0, 0, "-08:00 PST Pacific Standard Time (North America)"},
    {0, -9, 0, 0, "-09:00 AKST Alaska Standard Time"},
    {0, -9, -2, 0, "-09:30 MIT Marquesas Islands Time"},
    {0, -10, 0, 0, "-10:00 HST Hawaii Standard Time"},
    {0, -11, 0, 0, "-11:00 SST Samoa Standard Time"},
    {0, -12, 0, 0, "-12:00 BIT Baker Island Time"},
    {0, 0, 0, 0, nullptr},
};

// The group names are shown nowhere; they only label the rows.
TimeZoneGroupEntry TimeZoneGroupTable[kTimeZoneGroups + 1] = {
    {0, 0, "Local System TimeZone"},
    {0, 0, "+00:00"},
    {-1, 0, "-01:00"},
    {-2, 0, "-02:00"},
    {-3, 0, "-03:00"},
    {-4, 0, "-04:00"},
    {-5, 0, "-05:00"},
    {-6, 0, "-06:00"},
    {-7, 0, "-07:00"},
    {-8, 0, "-08:00"},
    {-9, 0, "-09:00"},
    {-10, 0, "-10:00"},
    {-11, 0, "-11:00"},
    {-12, 0, "-12:00"},
    {1, 0, "+01:00"},
    {2, 0, "+02:00"},
    {3, 0, "+03:00"},
    {4, 0, "+04:00"},
    {5, 0, "+05:00"},
    {6, 0, "+06:00"},
    {7, 0, "+07:00"},
    {8, 0, "+08:00"},
    {9, 0, "+09:00"},
    {10, 0, "+10:00"},
    {11, 0, "+11:00"},
    {12, 0, "+12:00"},
    {0, 0, nullptr},
};

std::int32_t ZoneGroupOfHours(std::int32_t hours)
{
    if (hours > 0)
        return std::min(hours, 14) + 13;
    return 1 - std::max(hours, -12);
}

std::int32_t StandardUtcOffset()
{
    // Not the runtime's `timezone`: where the zone data calls winter the saving time (a
    // negative one, as for Ireland) that is the summer offset. Saving time moves clocks
    // forward of standard time in either hemisphere, so the smaller offset of midwinter and
    // midsummer is the standard one.
    tzset();
    const auto runtime = static_cast<std::int32_t>(-timezone);
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    if (gmtime_r(&now, &utc) == nullptr)
        return runtime;
    const auto offsetOn = [&](int month, long* offset) {
        std::tm day{};
        day.tm_year = utc.tm_year;
        day.tm_mon = month;
        day.tm_mday = 1;
        day.tm_hour = 12;
        const std::time_t t = timegm(&day);
        std::tm local{};
        if (t == static_cast<std::time_t>(-1) || localtime_r(&t, &local) == nullptr)
            return false;
        *offset = local.tm_gmtoff;
        return true;
    };
    long january = 0, july = 0;
    if (!offsetOn(0, &january) || !offsetOn(6, &july))
        return runtime;
    return static_cast<std::int32_t>(std::min(january, july));
}

std::int32_t InitTimeZoneTable()
{
    const std::int32_t local = StandardUtcOffset();
    TimeZoneEntry& row0 = TimeZoneTable[0];
    row0.seconds = local;
    row0.hours = local / 3600;
    row0.quarters = (local % 3600) / 900;
    row0.group = 0;
    TimeZoneGroupTable[0].hours = row0.hours;
    TimeZoneGroupTable[0].firstRow = 0;

    for (std::int32_t i = 1; TimeZoneTable[i].name; ++i) {
        TimeZoneEntry& row = TimeZoneTable[i];
        row.seconds = row.hours * 3600 + row.quarters * 900;
        row.group = ZoneGroupOfHours(row.hours);
        if (row.group >= 0 && row.group < kTimeZoneGroups && TimeZoneGroupTable[row.group].firstRow == 0)
            TimeZoneGroupTable[row.group].firstRow = i;
    }
    return row0.seconds;
}

namespace {

// The first fixed row whose offset is v - bias; the subtraction is 64-bit because v comes
// from recorder data and may be any 32-bit value.
std::int32_t FindBiasedSeconds(std::int32_t v)
{
    const std::int64_t offset = static_cast<std::int64_t>(v) - kTimeZoneBias;
    for (std::int32_t i = 1; TimeZoneTable[i].name; ++i) {
        if (TimeZoneTable[i].seconds == offset)
            return i;
    }
    return -1;
}

}  // namespace

std::int32_t ZoneGroupFromBiasedSeconds(std::int32_t v)
{
    const std::int32_t row = FindBiasedSeconds(v);
    return row < 0 ? -1 : TimeZoneTable[row].group;
}

std::int32_t ZoneIndexFromGroup(std::int32_t group)
{
    for (std::int32_t i = 0; TimeZoneTable[i].name; ++i) {
        if (TimeZoneTable[i].group == group)
            return i;
    }
    return -1;
}

std::int32_t ZoneIndexFromBiasedSeconds(std::int32_t v)
{
    return FindBiasedSeconds(v);
}

std::int32_t LocalZoneIndex()
{
    return ZoneIndexFromBiasedSeconds(TimeZoneTable[0].seconds + kTimeZoneBias);
}

std::optional<std::int32_t> ZoneGroupHours(std::int32_t group)
{
    if (group >= 0 && group < kTimeZoneGroups)
        return TimeZoneGroupTable[group].hours;
    if (group == 26 || group == 27)
        return group - 13;
    return std::nullopt;
}
