#include "app/timezone.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <iterator>
#include <vector>

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

namespace {

// A stretch of days on one offset and one kind of time (standard or saving).
struct ZoneRun {
    int first, last;  // day numbers relative to the moment judged
    long offset;
    bool saving;
    int Days() const { return last - first + 1; }
};

}  // namespace

std::int32_t StandardUtcOffset(std::time_t when)
{
    // Not the runtime's `timezone`: one offset for all time, and the summer one where winter is
    // written as a negative saving (Ireland). Judged from the zone's days a year either side of
    // the moment instead.
    tzset();
    constexpr int kYear = 366;
    std::vector<ZoneRun> runs;
    for (int day = -kYear; day <= kYear; ++day) {
        const std::time_t t = when + static_cast<std::time_t>(day) * 86400;
        std::tm local{};
        if (localtime_r(&t, &local) == nullptr)
            return static_cast<std::int32_t>(-timezone);
        const bool saving = local.tm_isdst > 0;
        if (!runs.empty() && runs.back().offset == local.tm_gmtoff && runs.back().saving == saving)
            runs.back().last = day;
        else
            runs.push_back({day, day, local.tm_gmtoff, saving});
    }
    const auto now = std::find_if(runs.begin(), runs.end(), [](const ZoneRun& r) { return r.last >= 0; });

    // The standard offset in force: the moment's own outside saving, else the one its saving
    // gives way to, so that a standard changed under a saving counts from its change. A saving
    // that gives way to its own offset was made the standard later: until then the one it came
    // from stood.
    long standard = now->offset;
    if (now->saving) {
        const auto isStandard = [](const ZoneRun& r) { return !r.saving; };
        const auto next = std::find_if(now, runs.end(), isStandard);
        const auto before = std::find_if(std::make_reverse_iterator(now), runs.rend(), isStandard);
        if (next != runs.end() && (next->offset != now->offset || before == runs.rend()))
            standard = next->offset;
        else if (before != runs.rend())
            standard = before->offset;
    }

    // A saving below that standard is a winter time where it holds a season (Ireland's is five
    // months): clocks there go forward for the summer as everywhere, so winter is standard time.
    // A setback of some weeks (Morocco's in Ramadan) leaves the standard offset as it is. The
    // winter counts when it is in force or comes round again after a winter before the moment.
    const auto winter = [&](const ZoneRun& r) { return r.saving && r.offset < standard && r.Days() >= 91; };
    if (winter(*now))
        return static_cast<std::int32_t>(now->offset);
    const auto after = std::find_if(now + 1, runs.end(), winter);
    if (after != runs.end() && std::any_of(runs.begin(), now, winter))
        return static_cast<std::int32_t>(after->offset);
    return static_cast<std::int32_t>(standard);
}

std::int32_t InitTimeZoneTable(std::time_t when)
{
    const std::int32_t local = StandardUtcOffset(when);
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
