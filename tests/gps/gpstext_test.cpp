// NMEA sentences, the recorder's GPS text line, and GPS logs read into tracks.

#include "app/gpsoffset.h"
#include "engine/gpstext.h"
#include "tests/gps/gridfile.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

namespace {

constexpr double kTol = 1e-9;

TEST(ParseRmcSentence, ReadsPositionSpeedAndCourse)
{
    double lat = 0, lon = 0, speed = 0, course = 0;
    ASSERT_TRUE(ParseRmcSentence("$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A", &lat, &lon,
                                 &speed, &course));
    EXPECT_NEAR(lat, 48 + 7.038 / 60, kTol);
    EXPECT_NEAR(lon, 11 + 31.0 / 60, kTol);
    EXPECT_NEAR(speed, 22.4 * 1.852, kTol);
    EXPECT_NEAR(course, 84.4, kTol);

    // South and west negate; "$GNRMC" is read like "$GPRMC", also after other text.
    ASSERT_TRUE(ParseRmcSentence("junk$GNRMC,010203.000,A,3150.1234,S,12130.5000,W,10,,010124,,,A*00", &lat, &lon,
                                 &speed, &course));
    EXPECT_NEAR(lat, -31.83539, 1e-5);
    EXPECT_NEAR(lon, -121.508333333, 1e-8);
    EXPECT_NEAR(speed, 18.52, kTol);
    EXPECT_EQ(course, 0.0);  // empty field

    // Every output may be null.
    EXPECT_TRUE(ParseRmcSentence("$GPRMC,1,A,4807.038,N,01131.000,E,1,2,230394*00", nullptr, nullptr, nullptr, nullptr));
}

TEST(ParseRmcSentence, RejectsSentencesWithoutAUsableFix)
{
    const char* bad[] = {
        "",
        "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47",
        "$GPRMC,123519,V,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A",     // no fix
        "$GNRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,,,N*6A",         // mode: not valid
        "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W",        // no '*'
        "x*y $GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W",    // only an earlier '*'
        "$GPRMC,123519,A,48070.38,N,01131.000,E,022.4,084.4,230394*6A",             // dot at index 5
        "$GPRMC,123519,A,4807.038,X,01131.000,E,022.4,084.4,230394*6A",             // hemisphere
        "$GPRMC,123519,A,4807.038,N,0113.1000,E,022.4,084.4,230394*6A",             // dot at index 4
        "$GPRMC,123519,A,4807.038,N,011310000,E,022.4,084.4,230394*6A",             // no dot
        "$GPRMC,123519,A,4807.038,N,01131.000,Q,022.4,084.4,230394*6A",
        "$GPRMC,123519,A,4807.038,N*6A",                                            // fields missing
        "$GPRMC,,,,,,,,,,,,,,,,,,,,*",
        "$GPRMC*",
        "$GPRMC",
    };
    for (const char* text : bad) {
        double lat = 7;
        EXPECT_FALSE(ParseRmcSentence(text, &lat, nullptr, nullptr, nullptr)) << text;
        EXPECT_EQ(lat, 7) << "output written on failure: " << text;
    }
}

TEST(ParseGpsTextLine, ReadsAllTwelveFields)
{
    std::string time;
    char id[16];
    double lat, lon, speed, course, a, b;
    BYTE flags[8];
    ASSERT_EQ(ParseGpsTextLine("GPS,2024/01/02 03:04:05,CAM-7,x,A,E1213045678,N25033445,523,1805,12,-34.5,10110001\r",
                               &time, id, sizeof id, &lat, &lon, &speed, &course, &a, &b, flags),
              1);
    EXPECT_EQ(time, "2024/01/0203:04:05");
    EXPECT_STREQ(id, "CAM-7");
    EXPECT_NEAR(lon, 121.3045678, kTol);
    EXPECT_NEAR(lat, 25.033445, kTol);
    EXPECT_NEAR(speed, 52.3, kTol);
    EXPECT_NEAR(course, 180.5, kTol);
    EXPECT_EQ(a, 12);
    EXPECT_EQ(b, -34.5);
    const BYTE expected[8] = {1, 0, 1, 1, 0, 0, 0, 1};
    EXPECT_EQ(std::memcmp(flags, expected, 8), 0);

    ASSERT_EQ(ParseGpsTextLine("t,1,ABCDEFGHIJKLMNOP,x,A,W0123456,S1234,0,0,0,0,1", &time, id, 4, &lat, &lon, &speed,
                               &course, &a, &b, flags),
              1);
    EXPECT_STREQ(id, "ABC");  // cut to the buffer
    EXPECT_NEAR(lon, -12.3456, kTol);
    EXPECT_NEAR(lat, -12.34, kTol);
    EXPECT_EQ(flags[0], 1);
    EXPECT_EQ(flags[1], 0);  // a short flags field leaves the rest off

    // A line ending after the position succeeds; what it lacks reads as zero.
    ASSERT_EQ(ParseGpsTextLine("t,12:00,id,x,A,E1213045678,N25033445", &time, id, sizeof id, &lat, &lon, &speed,
                               &course, &a, &b, flags),
              1);
    EXPECT_NEAR(lat, 25.033445, kTol);
    EXPECT_EQ(speed + course + a + b, 0);
    for (BYTE f : flags)
        EXPECT_EQ(f, 0);
}

TEST(ParseGpsTextLine, BadLines)
{
    std::string time;
    char id[8];
    double lat, lon, speed, course, a, b;
    BYTE flags[8];
    const char* bad[] = {
        "t,12:00,id,x,V,E1213045678,N25033445,1,2,3,4,11111111",  // status
        "t,12:00,id,x,A,X1213045678,N25033445,1,2,3,4,11111111",  // hemisphere
        "t,12:00,id,x,A,E1213,N25033445,1,2,3,4,00000000",        // longitude too short
        "t,12:00,id,x,A,E1213045678,N25,1,2,3,4,00000000",        // latitude too short
        "t,12:00,id,x,A,E1213045678",                             // ends before the latitude
    };
    for (const char* text : bad) {
        EXPECT_EQ(ParseGpsTextLine(text, &time, id, sizeof id, &lat, &lon, &speed, &course, &a, &b, flags), 0)
            << text;
        EXPECT_EQ(lat, 0) << text;
        EXPECT_EQ(lon, 0) << text;
        EXPECT_EQ(course, 0) << text;
        EXPECT_EQ(b, 0) << text;
        for (BYTE f : flags)
            EXPECT_EQ(f, 1) << text;
        EXPECT_EQ(time, "TestCarInfo") << text;  // no language file: the text itself
    }
    EXPECT_EQ(ParseGpsTextLine("t,,id,x,V", &time, id, sizeof id, &lat, &lon, &speed, &course, &a, &b, flags), 0);
    EXPECT_EQ(time, "");
    EXPECT_EQ(ParseGpsTextLine("", &time, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
}

TEST(GpsPoint, MakeClampsAndMarksUnknownCoordinates)
{
    const char time[13] = "12:34:56\0" "789";
    const GpsPoint p = GpsPoint::Make(95, -200, -3, 400, "2024/01/02-and-more", time, 3600);
    EXPECT_EQ(p.invalid, 0);
    EXPECT_EQ(p.latitude, 90);
    EXPECT_EQ(p.longitude, -180);
    EXPECT_STREQ(p.date, "2024/01/02");
    EXPECT_STREQ(p.time + 9, "789");
    EXPECT_EQ(GpsPoint::Make(kNoCoordinate, 10, 0, 0, "", time, 0).invalid, 1);
    EXPECT_EQ(GpsPoint::Make(10, kNoCoordinate, 0, 0, "", time, 0).invalid, 1);
}

TEST(CNmeaLogReader, Haversine)
{
    // One degree of latitude at this radius, and an antipodal pair that must not give NaN.
    EXPECT_NEAR(CNmeaLogReader::Haversine(0, 0, 1, 0), 6378.137 * 3.1415926 / 180, 1e-9);
    EXPECT_NEAR(CNmeaLogReader::Haversine(10, 20, 10, 20), 0, 1e-12);
    const double half = CNmeaLogReader::Haversine(0, 0, 0, 180);
    EXPECT_FALSE(std::isnan(half));
    EXPECT_NEAR(half, 6378.137 * 3.1415926, 1e-3);
    const double pole = CNmeaLogReader::Haversine(90, 0, -90, 0);
    EXPECT_FALSE(std::isnan(pole));
    EXPECT_NEAR(pole, 6378.137 * 3.1415926, 1e-3);
}

// RMC line at (lat, lon) degrees north/east with the given time and date fields.
std::string Rmc(const char* hhmmss, const char* ddmmyy, double lat, double lon, const char* talker = "GP")
{
    char buf[160];
    const int latDeg = static_cast<int>(lat);
    const int lonDeg = static_cast<int>(lon);
    std::snprintf(buf, sizeof buf, "$%sRMC,%s.250,A,%02d%07.4f,N,%03d%07.4f,E,10.0,90.0,%s,,,A*00", talker, hhmmss,
                  latDeg, (lat - latDeg) * 60, lonDeg, (lon - lonDeg) * 60, ddmmyy);
    return buf;
}

class LogReaderTest : public ::testing::Test {
protected:
    // Writes the lines and reads them through.
    void ReadLog(const std::string& text, BYTE splitMode = 0)
    {
        reader.Close();
        reader.m_splitMode = splitMode;
        ASSERT_TRUE(reader.Open(dir.write("log.dit", text)));
        reader.ReadAll();
    }

    TempDir dir;
    CNmeaLogReader reader;
};

TEST_F(LogReaderTest, LearnsTheLocalTimeOffset)
{
    struct Case {
        const char* timeLine;
        std::int32_t offset;
    };
    // RMC time 2024-01-02 03:00:00 UTC.
    const Case cases[] = {
        {"$time:2024/01/02 11:00:00", 28800},
        {"$time:2024/01/02 03:29:00", 1800},
        {"$time:2024/01/02 03:14:00", 0},
        {"$time:2024/01/01 19:00:00", -28800},  // west of UTC
        {"$time:2024/01/02 02:31:00", -1800},
        {"$time:2024/01/02 02:46:00", 0},
        {"$time:2024/01/02 02:29:00", -1800},
        {"$time:2024/01/01 21:30:00", -19800},
    };
    for (const Case& c : cases) {
        ReadLog(std::string(c.timeLine) + "\n" + Rmc("030000", "020124", 25, 121) + "\n");
        ASSERT_EQ(reader.m_tracks.size(), 1u) << c.timeLine;
        const GpsPoint& p = reader.m_tracks[0].points.at(0);
        EXPECT_EQ(p.offset, c.offset) << c.timeLine;
        EXPECT_EQ(p.localTime, *GpsDateTimeFromText("2024/01/02", "03:00:00") + c.offset) << c.timeLine;
        EXPECT_STREQ(p.date, "2024/01/02");
        EXPECT_STREQ(p.time, "03:00:00");
        EXPECT_STREQ(p.time + 9, "250");
    }
    // Without a "$time:" line nothing is learnt and times stay as recorded.
    ReadLog(Rmc("030000", "020124", 25, 121) + "\n");
    ASSERT_EQ(reader.m_tracks.size(), 1u);
    EXPECT_EQ(reader.m_tracks[0].points[0].offset, -1);
    EXPECT_EQ(reader.m_tracks[0].start, *GpsDateTimeFromText("2024/01/02", "03:00:00"));
}

TEST_F(LogReaderTest, TracksDistanceAndTimes)
{
    ReadLog("$time:2024/01/02 11:00:00\r\n" + Rmc("030000", "020124", 0, 10) + "\r\n" +
            Rmc("030001", "020124", 1, 10, "GN") + "\r\n" + "$GPGGA,ignored\r\n" + Rmc("030002", "020124", 2, 10) +
            "\r\n");
    ASSERT_EQ(reader.m_tracks.size(), 1u);
    const GpsTrack& t = reader.m_tracks[0];
    ASSERT_EQ(t.points.size(), 3u);
    EXPECT_NEAR(t.lengthKm, 2 * 6378.137 * 3.1415926 / 180, 1e-3);
    EXPECT_EQ(t.start, *GpsDateTimeFromText("2024/01/02", "11:00:00"));
    EXPECT_EQ(t.end, *GpsDateTimeFromText("2024/01/02", "11:00:02"));
    EXPECT_NEAR(t.points[1].speed, 18.52, kTol);
    EXPECT_NEAR(t.points[1].course, 90.0, kTol);
    EXPECT_NEAR(reader.KmPerDegreeLongitude(), 6378.137 * 6.2831852 / 360, 1e-6);  // at the equator
}

TEST_F(LogReaderTest, SplitModes)
{
    const std::string sameDay = "$time:2024/01/02 11:00:00\n" + Rmc("030000", "020124", 25, 121) + "\n" +
                                "$time:2024/01/02 12:00:00\n" + Rmc("040000", "020124", 25.1, 121) + "\n";
    ReadLog(sameDay, 0);
    EXPECT_EQ(reader.m_tracks.size(), 2u);
    ReadLog(sameDay, 1);
    ASSERT_EQ(reader.m_tracks.size(), 1u);
    EXPECT_EQ(reader.m_tracks[0].points.size(), 2u);
    EXPECT_GT(reader.m_tracks[0].lengthKm, 11.0);  // both points in one track: 0.1 degree apart

    const std::string twoDays = "$time:2024/01/02 23:00:00\n" + Rmc("150000", "020124", 25, 121) + "\n" +
                                "$time:2024/01/03 01:00:00\n" + Rmc("170000", "020124", 25.1, 121) + "\n";
    ReadLog(twoDays, 1);
    ASSERT_EQ(reader.m_tracks.size(), 2u);
    EXPECT_EQ(reader.m_tracks[0].lengthKm, 0.0);  // no distance carried over from one track to the next
    EXPECT_EQ(reader.m_tracks[1].lengthKm, 0.0);

    // "$time:" lines with nothing between them leave no empty tracks behind.
    ReadLog("$time:2024/01/02 11:00:00\n$time:2024/01/02 11:00:05\n" + Rmc("030000", "020124", 25, 121) + "\n" +
            "$time:2024/01/02 11:30:00\n");
    ASSERT_EQ(reader.m_tracks.size(), 1u);
    EXPECT_EQ(reader.m_tracks[0].points.size(), 1u);
}

TEST_F(LogReaderTest, StampedLinesUseTheLogsOwnTime)
{
    ReadLog("2024/05/06 07:08:09 " + Rmc("999999", "999999", 25, 121) + "\n" + "2024/05/06 07:08:10 " +
            Rmc("000000", "010101", 25.01, 121, "GN") + "\n");
    ASSERT_EQ(reader.m_tracks.size(), 1u);
    ASSERT_EQ(reader.m_tracks[0].points.size(), 2u);
    const GpsPoint& p = reader.m_tracks[0].points[0];
    EXPECT_STREQ(p.date, "2024/05/06");
    EXPECT_STREQ(p.time, "07:08:09");
    EXPECT_EQ(reader.m_tracks[0].end, *GpsDateTimeFromText("2024/05/06", "07:08:10"));
    EXPECT_GT(reader.m_tracks[0].lengthKm, 1.0);
}

TEST_F(LogReaderTest, MalformedAndOverlongLinesAreSkipped)
{
    std::string log = "$time:2024/01/02 11:00:00\n";
    log += Rmc("030000", "320124", 25, 121) + "\n";                         // day 32
    log += Rmc("030000", "021324", 25, 121) + "\n";                         // month 13
    log += Rmc("030000", "02012", 25, 121) + "\n";                          // 5-digit date
    log += "$GPRMC,030000,V,2500.0000,N,12100.0000,E,0,0,020124,,,N*00\n";  // no fix
    log += "$GPRMC,030000,A,2500.0000,N,12100.0000,E,0,0,020124\n";        // no '*'
    log += "$GPRMC,03,A,2500.0000,N,12100.0000,E,0,0,020124*00\n";         // short time
    log += "$time:\n$time:2024/13/45 99:99:99\n";                           // unusable "$time:" lines
    log += "$GPRMC," + std::string(3000, '9') + "\n";                       // far over the line limit
    log += std::string(1023, 'x') + "\n";                                   // exactly at the limit
    log += Rmc("030001", "020124", 25, 121) + "\n";
    log += std::string(1500, '$');                                          // overlong last line, no newline
    ReadLog(log);
    ASSERT_EQ(reader.m_tracks.size(), 1u);
    ASSERT_EQ(reader.m_tracks[0].points.size(), 1u);
    EXPECT_STREQ(reader.m_tracks[0].points[0].time, "03:00:01");
    EXPECT_EQ(reader.m_tracks[0].points[0].offset, -1);  // the garbage "$time:" line taught nothing
}

TEST_F(LogReaderTest, PositionsAreCorrectedByTheOffsetGrid)
{
    GridFile g;
    g.step = 0.5;
    g.AddColumn(121.0, {{25.0, 0.004, -0.003}});
    ASSERT_TRUE(g_GpsOffsetTable.Load(dir.write("offset_min.bin", g.Bytes())));
    ReadLog(Rmc("030000", "020124", 25.2, 121.3) + "\n");
    ASSERT_FALSE(g_GpsOffsetTable.Load(dir.file("none.bin")));  // leave the global empty again
    ASSERT_EQ(reader.m_tracks.size(), 1u);
    EXPECT_NEAR(reader.m_tracks[0].points[0].latitude, 25.2 - 0.003, 1e-6);
    EXPECT_NEAR(reader.m_tracks[0].points[0].longitude, 121.3 + 0.004, 1e-6);
}

TEST_F(LogReaderTest, OpenFailuresAndEmptyLogs)
{
    EXPECT_FALSE(reader.Open(dir.file("missing.dit")));
    reader.ReadAll();
    EXPECT_TRUE(reader.m_tracks.empty());
    ReadLog("");
    EXPECT_TRUE(reader.m_tracks.empty());
    ReadLog("$time:2024/01/02 11:00:00\nhello\n");
    EXPECT_TRUE(reader.m_tracks.empty());
    EXPECT_EQ(reader.m_length, 0.0);

    // An invalid point is refused; ParseLine of a bad line gives one.
    const GpsPoint p = reader.ParseLine("$GPRMC,garbage");
    EXPECT_EQ(p.invalid, 1);
    EXPECT_EQ(reader.Latitude(), kNoCoordinate);
    EXPECT_FALSE(reader.AddPoint(p));
}

TEST(CreatePathDirectories, CreatesEveryMissingFolder)
{
    TempDir dir;
    const std::string base = dir.path().string();
    EXPECT_TRUE(CreatePathDirectories(base + "/a/b//c/file.jpg"));
    EXPECT_TRUE(std::filesystem::is_directory(base + "/a/b/c"));
    EXPECT_FALSE(std::filesystem::exists(base + "/a/b/c/file.jpg"));
    EXPECT_TRUE(CreatePathDirectories(base + "/a/b/c/"));  // already there
    EXPECT_TRUE(CreatePathDirectories(base + "/w\\x\\"));  // backslashes separate as well
    EXPECT_TRUE(std::filesystem::is_directory(base + "/w"));

    dir.write("f", "x");
    EXPECT_FALSE(CreatePathDirectories(base + "/f/g/"));  // a file in the way
    EXPECT_TRUE(CreatePathDirectories("/"));
    EXPECT_TRUE(CreatePathDirectories(""));
}

}  // namespace
