#pragma once
// GPS text: NMEA RMC sentences, the recorder's 12-field GPS text line, NMEA log files read into
// tracks, and folder creation along a path. A coordinate of -360 means "no coordinate".

#include "platform/base/types.h"

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

constexpr double kNoCoordinate = -360.0;

// Calendar seconds of a civil date and time, counted from 1970-01-01 00:00:00 with no zone.
using GpsDateTime = std::int64_t;
// "YYYY/MM/DD" and "HH:MM:SS" (further characters ignored); nothing for malformed text.
std::optional<GpsDateTime> GpsDateTimeFromText(std::string_view date, std::string_view time);

// One NMEA RMC sentence ("$GPRMC" or "$GNRMC", found anywhere in the text) to degrees (north and
// east positive), km/h and degrees. False for a sentence without a fix or with a malformed
// position; the outputs are written only on success and may be null. The checksum is not checked.
bool ParseRmcSentence(std::string_view text, double* latitude, double* longitude, double* speed, double* course);

// One line of the recorder's GPS text ("tag,time,id,-,A,E1213045678,N25033445,speed*10,
// course*10,A,B,flags"). Every output is cleared first; the identifier is cut to its buffer.
// 1 when the position fields (1..7) were read (later fields may be missing); 0 for a bad line,
// which sets the position, course and value B to 0 and all eight flags to 1, and replaces a
// non-empty time text by the translation of "TestCarInfo".
int ParseGpsTextLine(std::string_view text, std::string* time, char* identifier, std::size_t identifierSize,
                     double* latitude, double* longitude, double* speed, double* course, double* valueA,
                     double* valueB, BYTE flags[8]);

struct GpsPoint {
    BYTE invalid = 1;            // 1 when there is no fix
    double latitude = kNoCoordinate;
    double longitude = kNoCoordinate;
    double speed = -1;           // km/h
    double course = -1;          // degrees
    char date[11] = {};          // "20YY/MM/DD" or the log's own date
    char time[13] = {};          // "HH:MM:SS", NUL, three fraction digits, NUL
    std::int32_t offset = 0;     // local-time offset in seconds
    GpsDateTime localTime = 0;   // set when the point joins a track

    static GpsPoint Empty() { return GpsPoint(); }
    // Clamps the values to their ranges; invalid when either coordinate is -360. The texts are
    // copied up to their field sizes (the time text with its inner NUL).
    static GpsPoint Make(double latitude, double longitude, double speed, double course, const char* date,
                         const char (&time)[13], std::int32_t offset);
};

struct GpsTrack {
    GpsDateTime start = 0;       // time of the first point
    GpsDateTime end = 0;         // time of the last point
    double lengthKm = 0;
    std::vector<GpsPoint> points;
};

// Reads an NMEA log (".dit" index files, the map's logs) into tracks: "$GPRMC"/"$GNRMC" lines,
// optionally after a "YYYY/MM/DD HH:MM:SS " stamp, and "$time:YYYY/MM/DD HH:MM:SS" lines that
// give the local time and start new tracks.
class CNmeaLogReader {
public:
    static constexpr std::size_t kLineBytes = 1024;

    // 0: a new track at every "$time:" line; otherwise only when the day changes.
    BYTE m_splitMode = 0;
    std::vector<GpsTrack> m_tracks;
    double m_length = 0;                 // running length of the current track, km

    bool Open(const std::string& path);
    void ReadAll();
    void Close();
    void Reset();

    GpsPoint ParseLine(std::string_view line);
    bool ParseRmc(std::string_view line);
    void LearnTimeOffset();
    bool AddPoint(const GpsPoint& point);
    void AddDistance();
    bool NoteTimeLine(std::string_view line);
    std::optional<GpsDateTime> RmcDateTime() const;
    static double Haversine(double lat1, double lon1, double lat2, double lon2);
    static double DegToRad(double degrees);

    double Latitude() const { return m_lat; }
    double Longitude() const { return m_lon; }
    double Speed() const { return m_speed; }
    double Course() const { return m_course; }
    const char* DateText() const { return m_date; }
    const char (&TimeText() const)[13] { return m_time; }
    std::int32_t TimeOffset() const { return m_offset; }
    double KmPerDegreeLongitude() const { return m_kmPerLonDegree; }

private:
    // A new track, or the last one again while it has no points.
    void StartTrack();
    void ResetRunning();

    double m_lat = kNoCoordinate;
    double m_lon = kNoCoordinate;
    double m_speed = 0;
    double m_course = 0;
    char m_date[11] = {};                // of the last RMC line
    char m_time[13] = {};
    char m_timeLineDate[11] = {};        // of the last "$time:" line
    char m_timeLineTime[9] = {};
    std::optional<GpsDateTime> m_timeLineValue;
    double m_prevLat = kNoCoordinate;
    double m_prevLon = kNoCoordinate;
    double m_kmPerLonDegree = 0;
    std::int32_t m_offset = -1;          // -1 until learnt
    std::string m_path;
    std::ifstream m_stream;
};

// Creates every missing folder along `path` ('/' or '\' separated; the text after the last
// separator is not a folder). False when a folder cannot be made or a file is in the way.
bool CreatePathDirectories(const std::string& path);
