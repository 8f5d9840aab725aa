#include "cardtools/cardtools.h"
#include "tests/support/local_zone.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <ostream>
#include <string>

static std::ostream& operator<<(std::ostream& os, const DiskDate& d)
{
    return os << d.year + 1800 << '-' << int(d.month) << '-' << int(d.day) << ' ' << int(d.hour) << ':'
              << int(d.minute) << ':' << int(d.second);
}

namespace {

DiskDate Local(std::int64_t t)
{
    DiskDate d{};
    TimeToLocalDiskDate(t, &d);
    return d;
}

std::int64_t ToTime(DiskDate d) { return DiskDateToTime(&d); }

TEST(DiskDateTest, YearAndMonthBytes)
{
    LocalZone zone("UTC");
    EXPECT_EQ(Local(0), (DiskDate{170, 1, 1, 0, 0, 0}));
    EXPECT_EQ(Local(1673780400), (DiskDate{223, 1, 15, 11, 0, 0}));        // 2023-01-15
    EXPECT_EQ(Local(1704067199), (DiskDate{223, 12, 31, 23, 59, 59}));    // 2023-12-31
    EXPECT_EQ(Local(2214129600), (DiskDate{240, 2, 29, 12, 0, 0}));       // 2040-02-29, past 2038
    EXPECT_EQ(ToTime({240, 2, 29, 12, 0, 0}), 2214129600);
    // -1 is a real second, not a failure.
    EXPECT_EQ(ToTime({169, 12, 31, 23, 59, 59}), -1);
}

TEST(DiskDateTest, BerlinAcrossDaylightSaving)
{
    LocalZone zone("Europe/Berlin");
    EXPECT_EQ(ToTime({223, 1, 15, 12, 0, 0}), 1673780400);  // CET, UTC+1
    EXPECT_EQ(ToTime({223, 7, 1, 12, 0, 0}), 1688205600);   // CEST, UTC+2
    // 2023-03-26: clocks go from 02:00 to 03:00.
    EXPECT_EQ(ToTime({223, 3, 26, 1, 59, 59}), 1679792399);
    EXPECT_EQ(ToTime({223, 3, 26, 3, 0, 0}), 1679792400);
    EXPECT_EQ(Local(1679792399), (DiskDate{223, 3, 26, 1, 59, 59}));
    EXPECT_EQ(Local(1679792400), (DiskDate{223, 3, 26, 3, 0, 0}));
    // 2023-10-29: 02:30 happens twice, an hour apart.
    EXPECT_EQ(Local(1698539400), (DiskDate{223, 10, 29, 2, 30, 0}));
    EXPECT_EQ(Local(1698543000), (DiskDate{223, 10, 29, 2, 30, 0}));
    const std::int64_t twice = ToTime({223, 10, 29, 2, 30, 0});
    EXPECT_TRUE(twice == 1698539400 || twice == 1698543000) << twice;
}

TEST(DiskDateTest, StJohnsHalfHourZone)
{
    LocalZone zone("America/St_Johns");
    EXPECT_EQ(ToTime({223, 1, 15, 12, 0, 0}), 1673796600);  // NST, UTC-3:30
    EXPECT_EQ(ToTime({223, 7, 1, 12, 0, 0}), 1688221800);   // NDT, UTC-2:30
    // 2023-03-12: clocks go from 02:00 to 03:00.
    EXPECT_EQ(ToTime({223, 3, 12, 1, 59, 59}), 1678598999);
    EXPECT_EQ(ToTime({223, 3, 12, 3, 0, 0}), 1678599000);
    EXPECT_EQ(Local(1678598999), (DiskDate{223, 3, 12, 1, 59, 59}));
    EXPECT_EQ(Local(1678599000), (DiskDate{223, 3, 12, 3, 0, 0}));
}

// Every 10 minutes over the days around both changes of the year: the round trip gives the
// same second back, except in the repeated hour of the autumn change, where it may be an hour off.
void CheckRoundTrip(std::int64_t from, std::int64_t to, std::uint8_t fallMonth)
{
    int ambiguous = 0;
    for (std::int64_t t = from; t < to; t += 600) {
        const DiskDate d = Local(t);
        const std::int64_t back = ToTime(d);
        if (back == t)
            continue;
        ++ambiguous;
        EXPECT_EQ(d.month, fallMonth) << d;
        EXPECT_TRUE(back == t - 3600 || back == t + 3600) << d << " -> " << back << " for " << t;
    }
    EXPECT_LE(ambiguous, 6);
}

TEST(DiskDateTest, RoundTripAroundChanges)
{
    {
        LocalZone zone("Europe/Berlin");
        CheckRoundTrip(1679792400 - 2 * 86400, 1679792400 + 2 * 86400, 10);
        CheckRoundTrip(1698539400 - 2 * 86400, 1698539400 + 2 * 86400, 10);
    }
    {
        LocalZone zone("America/St_Johns");
        CheckRoundTrip(1678599000 - 2 * 86400, 1678599000 + 2 * 86400, 11);
        CheckRoundTrip(1699156800 - 2 * 86400, 1699156800 + 2 * 86400, 11);
    }
}

TEST(DiskDateTest, ClampsToTheYearsTheByteHolds)
{
    LocalZone zone("UTC");
    const DiskDate first{0, 1, 1, 0, 0, 0};
    const DiskDate last{255, 12, 31, 23, 59, 59};
    EXPECT_EQ(Local(-5364662400), first);  // 1800-01-01 00:00:00
    EXPECT_EQ(Local(-5364662401), first);  // 1799
    EXPECT_EQ(Local(2713910399), last);    // 2055-12-31 23:59:59
    EXPECT_EQ(Local(2713910400), last);    // 2056, would wrap to 1800
    EXPECT_EQ(Local(std::numeric_limits<std::int64_t>::max()), last);
    EXPECT_EQ(Local(std::numeric_limits<std::int64_t>::min()), first);
    EXPECT_EQ(ToTime(first), -5364662400);
    EXPECT_EQ(ToTime(last), 2713910399);
}

TEST(DiskDateTest, OutOfRangeFieldsGiveZero)
{
    LocalZone zone("UTC");
    const DiskDate good{223, 6, 15, 12, 30, 30};
    ASSERT_NE(ToTime(good), 0);
    auto with = [&](auto field, std::uint8_t v) {
        DiskDate d = good;
        d.*field = v;
        return ToTime(d);
    };
    EXPECT_EQ(with(&DiskDate::month, 0), 0);
    EXPECT_EQ(with(&DiskDate::month, 13), 0);
    EXPECT_EQ(with(&DiskDate::day, 0), 0);
    EXPECT_EQ(with(&DiskDate::day, 32), 0);
    EXPECT_EQ(with(&DiskDate::hour, 24), 0);
    EXPECT_EQ(with(&DiskDate::minute, 60), 0);
    EXPECT_EQ(with(&DiskDate::second, 60), 0);
    EXPECT_EQ(with(&DiskDate::second, 255), 0);
    EXPECT_NE(with(&DiskDate::day, 31), 0);
}

}  // namespace
