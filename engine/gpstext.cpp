#include "engine/gpstext.h"

#include "app/gpsoffset.h"
#include "app/settings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include <cerrno>
#include <sys/stat.h>

namespace {

constexpr double kPi = 3.1415926;          // the value the recorder's tools use
constexpr double kEarthRadiusKm = 6378.137;
constexpr double kKmPerKnot = 1.852;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The number at the start of the text, like atof but independent of the locale and without
// exponents, infinities or NaN: optional blanks and sign, digits, a fraction. 0 when none.
double NumberPrefix(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    const std::size_t start = i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    const std::size_t digits = i;
    while (i < s.size() && IsDigit(s[i]))
        ++i;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && IsDigit(s[i]))
            ++i;
    }
    if (i == digits || (i == digits + 1 && s[digits] == '.'))
        return 0;
    std::size_t from = start;
    if (s[from] == '+')
        ++from;
    double value = 0;
    const auto result = std::from_chars(s.data() + from, s.data() + i, value, std::chars_format::fixed);
    return result.ec == std::errc() ? value : 0;
}

bool DigitsAt(std::string_view s, std::size_t pos, std::size_t count)
{
    if (pos + count > s.size())
        return false;
    for (std::size_t i = pos; i < pos + count; ++i) {
        if (!IsDigit(s[i]))
            return false;
    }
    return true;
}

int TwoDigits(std::string_view s, std::size_t pos)
{
    return (s[pos] - '0') * 10 + (s[pos + 1] - '0');
}

std::int64_t DaysFromCivil(std::int64_t y, int m, int d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

bool StartsWithRmc(std::string_view s)
{
    return s.starts_with("$GPRMC") || s.starts_with("$GNRMC");
}

std::size_t FindRmc(std::string_view s, std::size_t from = 0)
{
    std::size_t pos = s.find("$GPRMC", from);
    if (pos == std::string_view::npos)
        pos = s.find("$GNRMC", from);
    return pos;
}

// A "YYYY/MM/DD HH:MM:SS " stamp at the start of a log line: the position of the RMC sentence
// after it, or npos.
std::size_t StampedRmcStart(std::string_view line)
{
    if (line.size() < 20 || line[10] != ' ' || !GpsDateTimeFromText(line.substr(0, 10), line.substr(11, 8)))
        return std::string_view::npos;
    return FindRmc(line, 19);
}

enum class RmcResult {
    Ok,
    Malformed,    // no sentence, no '*', or a field that cannot be read
    NoFix,        // status not 'A'
    BadPosition,  // a dot at the wrong index or a bad hemisphere
};

struct RmcFields {
    std::string_view time;
    std::string_view date;
    double latitude = 0;
    double longitude = 0;
    double speedKmh = 0;
    double course = 0;
    char modeBeforeStar = 0;
};

// The sentence starting at `sentence` (its "$G?RMC" name) up to its '*'.
RmcResult ReadRmcFields(std::string_view sentence, RmcFields* out)
{
    const std::size_t star = sentence.find('*', 6);
    if (star == std::string_view::npos)
        return RmcResult::Malformed;
    out->modeBeforeStar = sentence[star - 1];
    std::string_view rest = sentence.substr(6, star - 6);
    if (!rest.starts_with(','))
        return RmcResult::Malformed;
    rest.remove_prefix(1);

    std::string_view f[12];
    int count = 0;
    while (count < 12) {
        const std::size_t comma = rest.find(',');
        f[count++] = rest.substr(0, comma);
        if (comma == std::string_view::npos)
            break;
        rest.remove_prefix(comma + 1);
    }
    if (count < 6)
        return RmcResult::Malformed;

    out->time = f[0];
    if (f[1].empty() || f[1][0] != 'A')
        return RmcResult::NoFix;

    const std::string_view lat = f[2];
    if (lat.size() <= 4 || lat[4] != '.')
        return RmcResult::BadPosition;
    out->latitude = NumberPrefix(lat.substr(0, 2)) + NumberPrefix(lat.substr(2)) / 60.0;
    if (f[3] == "S")
        out->latitude = -out->latitude;
    else if (f[3] != "N")
        return RmcResult::BadPosition;

    const std::string_view lon = f[4];
    if (lon.find('.') == std::string_view::npos)
        return RmcResult::Malformed;
    if (lon.size() <= 5 || lon[5] != '.')
        return RmcResult::BadPosition;
    out->longitude = NumberPrefix(lon.substr(0, 3)) + NumberPrefix(lon.substr(3)) / 60.0;
    if (f[5] == "W")
        out->longitude = -out->longitude;
    else if (f[5] != "E")
        return RmcResult::BadPosition;

    out->speedKmh = count > 6 ? NumberPrefix(f[6]) * kKmPerKnot : 0;
    out->course = count > 7 ? NumberPrefix(f[7]) : 0;
    out->date = count > 8 ? f[8] : std::string_view();
    return RmcResult::Ok;
}

template <std::size_t N>
void CopyText(char (&dest)[N], std::string_view text)
{
    std::memset(dest, 0, N);
    std::memcpy(dest, text.data(), std::min(text.size(), N - 1));
}

}  // namespace

std::optional<GpsDateTime> GpsDateTimeFromText(std::string_view date, std::string_view time)
{
    if (date.size() < 10 || time.size() < 8 || !DigitsAt(date, 0, 4) || date[4] != '/' || !DigitsAt(date, 5, 2)
        || date[7] != '/' || !DigitsAt(date, 8, 2) || !DigitsAt(time, 0, 2) || time[2] != ':'
        || !DigitsAt(time, 3, 2) || time[5] != ':' || !DigitsAt(time, 6, 2))
        return std::nullopt;
    const int year = TwoDigits(date, 0) * 100 + TwoDigits(date, 2);
    const int month = TwoDigits(date, 5);
    const int day = TwoDigits(date, 8);
    const int hour = TwoDigits(time, 0);
    const int minute = TwoDigits(time, 3);
    const int second = TwoDigits(time, 6);
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    return DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

bool ParseRmcSentence(std::string_view text, double* latitude, double* longitude, double* speed, double* course)
{
    const std::size_t pos = FindRmc(text);
    if (pos == std::string_view::npos)
        return false;
    RmcFields fields;
    const RmcResult result = ReadRmcFields(text.substr(pos), &fields);
    // Mode 'N' before the checksum: the receiver says the data are not valid.
    if (result != RmcResult::Ok || fields.modeBeforeStar == 'N')
        return false;
    if (latitude)
        *latitude = fields.latitude;
    if (longitude)
        *longitude = fields.longitude;
    if (speed)
        *speed = fields.speedKmh;
    if (course)
        *course = fields.course;
    return true;
}

int ParseGpsTextLine(std::string_view text, std::string* time, char* identifier, std::size_t identifierSize,
                     double* latitude, double* longitude, double* speed, double* course, double* valueA,
                     double* valueB, BYTE flags[8])
{
    std::string timeText;
    std::string ident;
    double lat = 0, lon = 0, spd = 0, crs = 0, a = 0, b = 0;
    BYTE flagValues[8] = {};

    std::string_view f[12];
    int count = 0;
    std::string_view rest = text;
    while (count < 12) {
        const std::size_t comma = count == 11 ? std::string_view::npos : rest.find(',');
        f[count++] = rest.substr(0, comma);
        if (comma == std::string_view::npos)
            break;
        rest.remove_prefix(comma + 1);
    }

    bool bad = count < 7;
    if (count >= 2) {
        for (char c : f[1]) {
            if (c != ' ')
                timeText += c;
        }
    }
    if (count >= 3)
        ident = std::string(f[2]);
    if (!bad && (f[4].empty() || f[4][0] != 'A'))
        bad = true;
    if (!bad) {
        const std::string_view v = f[5];
        if (v.size() < 6 || (v[0] != 'E' && v[0] != 'W')) {
            bad = true;
        } else {
            const std::string number = std::string(v.substr(1, 4)) + '.' + std::string(v.substr(5));
            lon = NumberPrefix(number) / 10.0;
            if (v[0] == 'W')
                lon = -lon;
        }
    }
    if (!bad) {
        const std::string_view v = f[6];
        if (v.size() < 4 || (v[0] != 'N' && v[0] != 'S')) {
            bad = true;
        } else {
            const std::string number = std::string(v.substr(1, 2)) + '.' + std::string(v.substr(3));
            lat = NumberPrefix(number);
            if (v[0] == 'S')
                lat = -lat;
        }
    }
    if (!bad) {
        if (count > 7)
            spd = NumberPrefix(f[7]) / 10.0;
        if (count > 8)
            crs = NumberPrefix(f[8]) / 10.0;
        if (count > 9)
            a = NumberPrefix(f[9]);
        if (count > 10)
            b = NumberPrefix(f[10]);
        if (count > 11) {
            for (std::size_t i = 0; i < 8 && i < f[11].size(); ++i)
                flagValues[i] = f[11][i] == '1' ? 1 : 0;
        }
    }

    int result = 1;
    if (bad) {
        lat = lon = crs = b = 0;
        std::fill(std::begin(flagValues), std::end(flagValues), BYTE{1});
        if (!timeText.empty())
            timeText = g_AppSettings.Translate("TestCarInfo");
        result = 0;
    }

    if (time)
        *time = timeText;
    if (identifier && identifierSize > 0) {
        const std::size_t n = std::min(ident.size(), identifierSize - 1);
        std::memcpy(identifier, ident.data(), n);
        identifier[n] = '\0';
    }
    if (latitude)
        *latitude = lat;
    if (longitude)
        *longitude = lon;
    if (speed)
        *speed = spd;
    if (course)
        *course = crs;
    if (valueA)
        *valueA = a;
    if (valueB)
        *valueB = b;
    if (flags)
        std::memcpy(flags, flagValues, 8);
    return result;
}

GpsPoint GpsPoint::Make(double latitude, double longitude, double speed, double course, const char* date,
                        const char (&time)[13], std::int32_t offset)
{
    GpsPoint p;
    p.invalid = latitude == kNoCoordinate || longitude == kNoCoordinate ? 1 : 0;
    p.latitude = std::clamp(latitude, -90.0, 90.0);
    p.longitude = std::clamp(longitude, -180.0, 180.0);
    p.speed = std::clamp(speed, 0.0, 999999.0);
    p.course = std::clamp(course, 0.0, 360.0);
    if (date)
        CopyText(p.date, std::string_view(date, strnlen(date, sizeof p.date - 1)));
    std::memcpy(p.time, time, sizeof p.time);
    p.time[sizeof p.time - 1] = '\0';
    p.offset = offset;
    return p;
}

bool CNmeaLogReader::Open(const std::string& path)
{
    m_path = path;
    // Local time learnt from another log says nothing about this one.
    m_timeLineValue.reset();
    std::memset(m_timeLineDate, 0, sizeof m_timeLineDate);
    std::memset(m_timeLineTime, 0, sizeof m_timeLineTime);
    m_offset = -1;
    if (m_stream.is_open())
        m_stream.close();
    m_stream.clear();
    m_stream.open(path, std::ios::in | std::ios::binary);
    return m_stream.is_open();
}

void CNmeaLogReader::ResetRunning()
{
    m_lat = m_lon = kNoCoordinate;
    m_prevLat = m_prevLon = kNoCoordinate;
    m_length = 0;
    m_offset = -1;
}

void CNmeaLogReader::Reset()
{
    ResetRunning();
}

void CNmeaLogReader::Close()
{
    ResetRunning();
    m_tracks.clear();
    if (m_stream.is_open())
        m_stream.close();
    m_stream.clear();
}

void CNmeaLogReader::StartTrack()
{
    if (!m_tracks.empty() && m_tracks.back().points.empty())
        m_tracks.back() = GpsTrack();
    else
        m_tracks.emplace_back();
}

void CNmeaLogReader::ReadAll()
{
    if (!m_stream.is_open()) {
        m_stream.clear();
        Reset();
        return;
    }
    StartTrack();
    char buf[kLineBytes];
    for (;;) {
        m_stream.getline(buf, sizeof buf);
        if (m_stream.fail()) {
            // A line that does not fit is skipped; the rest of the log still counts.
            if (m_stream.gcount() == static_cast<std::streamsize>(sizeof buf - 1) && !m_stream.eof()) {
                m_stream.clear();
                m_stream.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
                continue;
            }
            break;
        }
        std::string_view line(buf, std::strlen(buf));
        if (line.ends_with('\r'))
            line.remove_suffix(1);

        if (StartsWithRmc(line) || StampedRmcStart(line) != std::string_view::npos) {
            AddPoint(ParseLine(line));
            AddDistance();
        } else if (line.starts_with("$time:")) {
            m_tracks.back().lengthKm = m_length;
            const bool newDay = NoteTimeLine(line);
            if (m_splitMode == 0 || newDay || m_tracks.empty()) {
                ResetRunning();
                StartTrack();
            }
        }
        if (m_stream.eof())
            break;
    }
    m_tracks.back().lengthKm = m_length;
    if (m_tracks.back().points.empty())
        m_tracks.pop_back();
    m_stream.close();
    m_stream.clear();
}

GpsPoint CNmeaLogReader::ParseLine(std::string_view line)
{
    m_lat = m_lon = kNoCoordinate;
    m_speed = m_course = 0;
    if (!ParseRmc(line))
        return GpsPoint::Empty();
    LearnTimeOffset();
    return GpsPoint::Make(m_lat, m_lon, m_speed, m_course, m_date, m_time, m_offset);
}

bool CNmeaLogReader::ParseRmc(std::string_view line)
{
    std::string_view sentence;
    const bool stamped = !StartsWithRmc(line);
    if (!stamped) {
        sentence = line;
    } else {
        const std::size_t pos = StampedRmcStart(line);
        if (pos == std::string_view::npos)
            return false;
        sentence = line.substr(pos);
    }

    RmcFields fields;
    const RmcResult result = ReadRmcFields(sentence, &fields);
    if (result != RmcResult::Ok) {
        m_lat = m_lon = kNoCoordinate;
        return false;
    }

    if (stamped) {
        CopyText(m_date, line.substr(0, 10));
        std::memset(m_time, 0, sizeof m_time);
        std::memcpy(m_time, line.data() + 11, 8);
    } else {
        const std::string_view t = fields.time;
        const std::string_view d = fields.date;
        if (!DigitsAt(t, 0, 6) || d.size() != 6 || !DigitsAt(d, 0, 6)) {
            m_lat = m_lon = kNoCoordinate;
            return false;
        }
        const int day = TwoDigits(d, 0);
        const int month = TwoDigits(d, 2);
        if (day < 1 || day > 31 || month < 1 || month > 12) {
            m_lat = m_lon = kNoCoordinate;
            return false;
        }
        const char date[] = {'2', '0', d[4], d[5], '/', d[2], d[3], '/', d[0], d[1]};
        CopyText(m_date, std::string_view(date, sizeof date));
        // "hh:mm:ss", NUL, three fraction digits (zeros when the field has fewer), NUL.
        const char time[13] = {t[0], t[1], ':', t[2], t[3], ':', t[4], t[5], '\0', '0', '0', '0', '\0'};
        std::memcpy(m_time, time, sizeof time);
        if (t.size() > 6 && t[6] == '.') {
            for (std::size_t i = 0; i < 3 && 7 + i < t.size() && IsDigit(t[7 + i]); ++i)
                m_time[9 + i] = t[7 + i];
        }
    }

    m_lat = fields.latitude;
    m_lon = fields.longitude;
    m_speed = fields.speedKmh;
    m_course = fields.course;
    if (m_lat != kNoCoordinate && m_lon != kNoCoordinate) {
        if (const GpsOffsetCell* cell = g_GpsOffsetTable.Lookup(m_lon, m_lat)) {
            m_lon += cell->lonOffset;
            m_lat += cell->latOffset;
        }
    }
    return true;
}

std::optional<GpsDateTime> CNmeaLogReader::RmcDateTime() const
{
    return GpsDateTimeFromText(std::string_view(m_date, strnlen(m_date, sizeof m_date)),
                               std::string_view(m_time, strnlen(m_time, sizeof m_time)));
}

void CNmeaLogReader::LearnTimeOffset()
{
    // Only a "$time:" line seen in this stretch of the log says what local time is.
    if (m_offset != -1 || !m_timeLineValue)
        return;
    const std::optional<GpsDateTime> rmc = RmcDateTime();
    if (!rmc)
        return;
    // Nearest multiple of half an hour, rounding the same way on both sides of UTC.
    const std::int64_t rounded = FloorDiv(*m_timeLineValue - *rmc + 900, 1800) * 1800;
    if (rounded >= std::numeric_limits<std::int32_t>::min() && rounded <= std::numeric_limits<std::int32_t>::max())
        m_offset = static_cast<std::int32_t>(rounded);
}

bool CNmeaLogReader::NoteTimeLine(std::string_view line)
{
    m_offset = -1;
    std::optional<GpsDateTime> value;
    if (line.size() >= 25)
        value = GpsDateTimeFromText(line.substr(6, 10), line.substr(17, 8));
    m_timeLineValue = value;
    if (!value)
        return false;
    const bool newDay = std::memcmp(m_timeLineDate, line.data() + 6, 10) != 0;
    CopyText(m_timeLineDate, line.substr(6, 10));
    CopyText(m_timeLineTime, line.substr(17, 8));
    return newDay;
}

bool CNmeaLogReader::AddPoint(const GpsPoint& point)
{
    if (point.invalid)
        return false;
    const std::optional<GpsDateTime> base = GpsDateTimeFromText(
        std::string_view(point.date, strnlen(point.date, sizeof point.date)),
        std::string_view(point.time, strnlen(point.time, sizeof point.time)));
    if (!base)
        return false;
    GpsPoint p = point;
    // An offset not learnt yet (-1) adds nothing.
    p.localTime = *base + (point.offset == -1 ? 0 : point.offset);
    if (m_tracks.empty())
        m_tracks.emplace_back();
    GpsTrack& track = m_tracks.back();
    if (track.points.empty())
        track.start = p.localTime;
    track.end = p.localTime;
    track.points.push_back(p);
    return true;
}

void CNmeaLogReader::AddDistance()
{
    if (m_lat == kNoCoordinate || m_lon == kNoCoordinate)
        return;
    if (m_prevLat == kNoCoordinate || m_prevLon == kNoCoordinate) {
        m_kmPerLonDegree = std::fabs(std::sin(kPi / 2 - DegToRad(m_lat))) * kEarthRadiusKm * 6.2831852 / 360;
    } else {
        m_length += Haversine(m_prevLat, m_prevLon, m_lat, m_lon);
    }
    m_prevLat = m_lat;
    m_prevLon = m_lon;
}

double CNmeaLogReader::DegToRad(double degrees)
{
    return degrees * kPi / 180;
}

double CNmeaLogReader::Haversine(double lat1, double lon1, double lat2, double lon2)
{
    const double dLat = DegToRad(lat2 - lat1);
    const double dLon = DegToRad(lon2 - lon1);
    const double s1 = std::sin(dLat / 2);
    const double s2 = std::sin(dLon / 2);
    const double h = s1 * s1 + std::cos(DegToRad(lat1)) * std::cos(DegToRad(lat2)) * s2 * s2;
    // Rounding can push h a hair past 1 for antipodal points; asin would then give NaN.
    return 2 * kEarthRadiusKm * std::asin(std::sqrt(std::clamp(h, 0.0, 1.0)));
}

bool CreatePathDirectories(const std::string& path)
{
    // The root of an absolute path is never created; every other separator ends a folder name.
    for (std::size_t i = 1; i < path.size(); ++i) {
        const char c = path[i];
        if ((c != '/' && c != '\\') || path[i - 1] == '/' || path[i - 1] == '\\')
            continue;
        const std::string folder = path.substr(0, i);
        if (mkdir(folder.c_str(), 0777) == 0)
            continue;
        if (errno != EEXIST)
            return false;
        struct stat st {};
        if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return false;
    }
    return true;
}
