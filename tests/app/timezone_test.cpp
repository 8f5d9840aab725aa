#include "app/timezone.h"

#include "tests/app/env_guard.h"

#include <gtest/gtest.h>

#include <climits>
#include <ctime>
#include <cstdlib>
#include <string>

namespace {

struct ZoneCase {
    const char* tz;
    int seconds;
    int hours;
    int quarters;
    int localIndex;
    const char* at = nullptr;  // the UTC day judged; none for today
};

// Standard offsets from the zone database (daylight saving never applies, whichever half of
// the year it falls in and whatever its sign: Irish winter time is a negative saving there).
const ZoneCase kZones[] = {
    {"Europe/Dublin", 0, 0, 0, 1},
    {"Europe/London", 0, 0, 0, 1},
    {"Australia/Sydney", 36000, 10, 0, 17},
    {"UTC", 0, 0, 0, 1},
    {"America/St_Johns", -12600, -3, -2, 29},
    {"Asia/Kathmandu", 20700, 5, 3, 10},
    {"Australia/Adelaide", 34200, 9, 2, 16},
    {"Asia/Shanghai", 28800, 8, 0, 14},
    {"Pacific/Chatham", 45900, 12, 3, 22},
    {"Pacific/Kiritimati", 50400, 14, 0, 24},
    {"America/Caracas", -14400, -4, 0, 30},
    {"Europe/Berlin", 3600, 1, 0, 2},
    {"Asia/Tehran", 12600, 3, 2, 5},
    // A standard changed during the year counts from its change; a season's winter written as
    // a negative saving is standard (Ireland), Morocco's weeks in Ramadan are not.
    {"Asia/Pyongyang", 32400, 9, 0, 15, "2018-08-15"},
    {"America/Asuncion", -10800, -3, 0, 28, "2024-12-01"},
    {"America/Scoresbysund", -7200, -2, 0, 26, "2024-07-01"},
    {"Asia/Amman", 10800, 3, 0, 4, "2022-12-01"},
    // A saving that later became the standard was not yet one: the standard before it stood.
    {"Asia/Amman", 7200, 2, 0, 3, "2022-06-01"},
    {"America/Whitehorse", -28800, -8, 0, 35, "2020-06-01"},
    {"America/Coyhaique", -14400, -4, 0, 30, "2025-01-15"},
    {"Europe/Istanbul", 7200, 2, 0, 3, "2016-07-01"},
    {"Asia/Damascus", 10800, 3, 0, 4, "2022-12-01"},
    {"Europe/Volgograd", 14400, 4, 0, 6, "2018-12-01"},
    {"Europe/Dublin", 0, 0, 0, 1, "2025-01-01"},
    {"Europe/Dublin", 0, 0, 0, 1, "2025-07-01"},
    {"Africa/Casablanca", 3600, 1, 0, 2, "2030-01-15"},
    {"Africa/Casablanca", 3600, 1, 0, 2, "2032-07-01"},
};

std::time_t UtcDay(const char* day)
{
    std::tm tm{};
    return day && strptime(day, "%Y-%m-%d", &tm) ? timegm(&tm) : std::time(nullptr);
}

TEST(TimeZoneTest, LocalRowFollowsTheZoneDatabase)
{
    for (const ZoneCase& zone : kZones) {
        SCOPED_TRACE(std::string(zone.tz) + " " + (zone.at ? zone.at : "today"));
        EnvGuard env;
        env.set("TZ", zone.tz);
        EXPECT_EQ(InitTimeZoneTable(UtcDay(zone.at)), zone.seconds);
        EXPECT_EQ(TimeZoneTable[0].seconds, zone.seconds);
        EXPECT_EQ(TimeZoneTable[0].hours, zone.hours);
        EXPECT_EQ(TimeZoneTable[0].quarters, zone.quarters);
        EXPECT_EQ(TimeZoneTable[0].group, 0);
        EXPECT_EQ(TimeZoneGroupTable[0].hours, zone.hours);
        EXPECT_EQ(LocalZoneIndex(), zone.localIndex);
    }
}

TEST(TimeZoneTest, OffsetOffTheQuarterGridHasNoRow)
{
    EnvGuard env;
    env.set("TZ", "XYZ-0:20");
    EXPECT_EQ(InitTimeZoneTable(), 1200);
    EXPECT_EQ(TimeZoneTable[0].quarters, 1);
    EXPECT_EQ(LocalZoneIndex(), -1);
}

class TimeZoneLookupTest : public ::testing::Test {
protected:
    EnvGuard env;
    void SetUp() override
    {
        env.set("TZ", "UTC");
        InitTimeZoneTable();
    }
};

TEST_F(TimeZoneLookupTest, IndexFromBiasedSeconds)
{
    EXPECT_EQ(ZoneIndexFromBiasedSeconds(43200), 1);
    EXPECT_EQ(ZoneIndexFromBiasedSeconds(63900), 10);
    EXPECT_EQ(ZoneIndexFromBiasedSeconds(0), 40);
    EXPECT_EQ(ZoneIndexFromBiasedSeconds(90000), 23);
    EXPECT_EQ(ZoneIndexFromBiasedSeconds(93600), 24);
    EXPECT_EQ(ZoneIndexFromBiasedSeconds(43201), -1);
    EXPECT_EQ(ZoneIndexFromBiasedSeconds(43200 - 12600), 29);
}

TEST_F(TimeZoneLookupTest, ExtremeValuesFromACardFindNothing)
{
    // Without 64-bit arithmetic these would overflow on the bias.
    EXPECT_EQ(ZoneIndexFromBiasedSeconds(INT_MIN), -1);
    EXPECT_EQ(ZoneIndexFromBiasedSeconds(INT_MIN + 43199), -1);
    EXPECT_EQ(ZoneIndexFromBiasedSeconds(INT_MAX), -1);
    EXPECT_EQ(ZoneGroupFromBiasedSeconds(INT_MIN), -1);
    EXPECT_EQ(ZoneGroupFromBiasedSeconds(INT_MAX), -1);
}

TEST_F(TimeZoneLookupTest, Groups)
{
    EXPECT_EQ(ZoneGroupFromBiasedSeconds(43200 + 46800), 26);
    EXPECT_EQ(ZoneGroupFromBiasedSeconds(43200 + 50400), 27);
    EXPECT_EQ(ZoneGroupFromBiasedSeconds(43200), 1);
    EXPECT_EQ(ZoneGroupFromBiasedSeconds(0), 13);
    EXPECT_EQ(ZoneGroupFromBiasedSeconds(43200 + 20700), 18) << "+05:45 is in the +5 group";
    EXPECT_EQ(ZoneGroupFromBiasedSeconds(43200 + 18000), 18);
    EXPECT_EQ(ZoneGroupFromBiasedSeconds(43200 + 19800), 18);
    EXPECT_EQ(ZoneGroupFromBiasedSeconds(43200 - 12600), 4) << "-03:30 is in the -3 group";
    EXPECT_EQ(ZoneGroupFromBiasedSeconds(1), -1);

    EXPECT_EQ(ZoneIndexFromGroup(0), 0) << "the local row";
    EXPECT_EQ(ZoneIndexFromGroup(27), 24);
    EXPECT_EQ(ZoneIndexFromGroup(26), 23);
    EXPECT_EQ(ZoneIndexFromGroup(18), 8);
    EXPECT_EQ(ZoneIndexFromGroup(28), -1);
    EXPECT_EQ(ZoneIndexFromGroup(-1), -1);
}

TEST_F(TimeZoneLookupTest, GroupHoursIncludeTheRowlessGroups)
{
    EXPECT_EQ(ZoneGroupHours(1), 0);
    EXPECT_EQ(ZoneGroupHours(2), -1);
    EXPECT_EQ(ZoneGroupHours(13), -12);
    EXPECT_EQ(ZoneGroupHours(14), 1);
    EXPECT_EQ(ZoneGroupHours(25), 12);
    EXPECT_EQ(ZoneGroupHours(26), 13);
    EXPECT_EQ(ZoneGroupHours(27), 14);
    EXPECT_EQ(ZoneGroupHours(28), std::nullopt);
    EXPECT_EQ(ZoneGroupHours(-1), std::nullopt);
    EXPECT_EQ(ZoneGroupHours(INT_MIN), std::nullopt);
    env.set("TZ", "America/St_Johns");
    InitTimeZoneTable();
    EXPECT_EQ(ZoneGroupHours(0), -3);
}

// The hours and quarters were typed in apart from the names; each name starts with its offset.
TEST_F(TimeZoneLookupTest, FixedRowsAgreeWithTheirNames)
{
    int rows = 1;
    for (; TimeZoneTable[rows].name; ++rows) {
        const TimeZoneEntry& row = TimeZoneTable[rows];
        const std::string name = row.name;
        SCOPED_TRACE(name);
        ASSERT_GE(name.size(), 7u);
        ASSERT_TRUE(name[0] == '+' || name[0] == '-');
        ASSERT_EQ(name[3], ':');
        const int sign = name[0] == '-' ? -1 : 1;
        const int hh = std::stoi(name.substr(1, 2));
        const int mm = std::stoi(name.substr(4, 2));
        ASSERT_EQ(mm % 15, 0);
        EXPECT_EQ(row.hours, sign * hh);
        EXPECT_EQ(row.quarters, sign * (mm / 15));
        EXPECT_EQ(row.seconds, sign * (hh * 3600 + mm * 60));
        const int group = row.hours > 0 ? row.hours + 13 : 1 - row.hours;
        EXPECT_EQ(row.group, group);
        if (group < kTimeZoneGroups) {
            EXPECT_EQ(TimeZoneGroupTable[group].hours, row.hours);
            EXPECT_LE(TimeZoneGroupTable[group].firstRow, rows);
            EXPECT_GT(TimeZoneGroupTable[group].firstRow, 0);
        }
    }
    EXPECT_EQ(rows, kTimeZoneRows);
    EXPECT_EQ(TimeZoneGroupTable[kTimeZoneGroups].name, nullptr);
    // Every group row 1..25 has a first row of the same hours.
    for (int g = 1; g < kTimeZoneGroups; ++g)
        EXPECT_EQ(TimeZoneTable[TimeZoneGroupTable[g].firstRow].hours, TimeZoneGroupTable[g].hours) << g;
}

TEST(TimeZoneGroupRule, ClampsAtBothEnds)
{
    EXPECT_EQ(ZoneGroupOfHours(0), 1);
    EXPECT_EQ(ZoneGroupOfHours(-12), 13);
    EXPECT_EQ(ZoneGroupOfHours(-14), 13);
    EXPECT_EQ(ZoneGroupOfHours(1), 14);
    EXPECT_EQ(ZoneGroupOfHours(12), 25);
    EXPECT_EQ(ZoneGroupOfHours(14), 27);
    EXPECT_EQ(ZoneGroupOfHours(20), 27);
}

}  // namespace
