// NMEA sentences, sensor text and damage options of the generator.

#include "tools/recgen/recgen.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace recgen {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kKmPerDegree = 111.32;

struct Fix {
    double lat, lon;
};

Fix Position(const GpsTrack& track, double t)
{
    const double km = track.speed_kmh * (t - static_cast<double>(track.origin)) / 3600.0;
    const double h = track.heading * kPi / 180.0;
    const double lat = track.latitude + km * std::cos(h) / kKmPerDegree;
    const double coslat = std::max(0.01, std::cos(track.latitude * kPi / 180.0));
    const double lon = track.longitude + km * std::sin(h) / (kKmPerDegree * coslat);
    return {lat, lon};
}

// ddmm.mmmm (or dddmm.mmmm) and the hemisphere letter.
std::string Coordinate(double deg, int degree_digits, char pos, char neg)
{
    const char hemi = deg < 0 ? neg : pos;
    deg = std::fabs(deg);
    long whole = static_cast<long>(deg);
    long ten_thousandths = std::lround((deg - static_cast<double>(whole)) * 60.0 * 10000.0);
    if (ten_thousandths >= 600000) {
        ++whole;
        ten_thousandths -= 600000;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*ld%02ld.%04ld,%c", degree_digits, whole, ten_thousandths / 10000,
                  ten_thousandths % 10000, hemi);
    return buf;
}

std::string WithChecksum(const std::string& body)
{
    unsigned sum = 0;
    for (char c : body)
        sum ^= static_cast<unsigned char>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X", sum & 0xFF);
    return "$" + body + tail;
}

std::string UtcTime(double t, std::tm* out)
{
    const double whole = std::floor(t);
    const std::time_t s = static_cast<std::time_t>(whole);
    const int ms = static_cast<int>(std::lround((t - whole) * 1000.0)) % 1000;
    gmtime_r(&s, out);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d%02d%02d.%03d", out->tm_hour, out->tm_min, out->tm_sec, ms);
    return buf;
}

}  // namespace

std::string RmcSentence(const GpsTrack& track, double t)
{
    if (!track.enabled)
        return {};
    std::tm tm{};
    const std::string time = UtcTime(t, &tm);
    const Fix f = Position(track, t);
    char tail[64];
    std::snprintf(tail, sizeof tail, ",%.2f,%.2f,%02d%02d%02d,,,A", track.speed_kmh / 1.852,
                  std::fmod(track.heading + 360.0, 360.0), tm.tm_mday, tm.tm_mon + 1, tm.tm_year % 100);
    return WithChecksum("GPRMC," + time + ",A," + Coordinate(f.lat, 2, 'N', 'S') + "," +
                        Coordinate(f.lon, 3, 'E', 'W') + tail);
}

std::string GgaSentence(const GpsTrack& track, double t)
{
    if (!track.enabled)
        return {};
    std::tm tm{};
    const std::string time = UtcTime(t, &tm);
    const Fix f = Position(track, t);
    return WithChecksum("GPGGA," + time + "," + Coordinate(f.lat, 2, 'N', 'S') + "," +
                        Coordinate(f.lon, 3, 'E', 'W') + ",1,08,0.9,45.0,M,15.0,M,,");
}

void HeaderTime(std::time_t t, std::uint8_t out[6])
{
    std::tm tm{};
    localtime_r(&t, &tm);
    out[0] = static_cast<std::uint8_t>(tm.tm_year);
    out[1] = static_cast<std::uint8_t>(tm.tm_mon);
    out[2] = static_cast<std::uint8_t>(tm.tm_mday);
    out[3] = static_cast<std::uint8_t>(tm.tm_hour);
    out[4] = static_cast<std::uint8_t>(tm.tm_min);
    out[5] = static_cast<std::uint8_t>(tm.tm_sec);
}

bool ParseDamage(const std::string& text, Damage* damage, std::string* error)
{
    std::size_t at = 0;
    while (at <= text.size()) {
        std::size_t end = text.find(',', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string item = text.substr(at, end - at);
        at = end + 1;
        if (item.empty())
            continue;
        const std::size_t colon = item.find(':');
        const std::string name = item.substr(0, colon);
        long long value = -1;
        if (colon != std::string::npos) {
            char* stop = nullptr;
            value = std::strtoll(item.c_str() + colon + 1, &stop, 10);
            if (*stop != '\0' || value < 0) {
                if (error)
                    *error = "bad number in damage option \"" + item + "\"";
                return false;
            }
        }
        const bool has_value = colon != std::string::npos;
        if (name == "cut" && has_value)
            damage->cut_at = value;
        else if (name == "flip" && has_value)
            damage->flips = static_cast<int>(value);
        else if (name == "notables" && !has_value)
            damage->no_tables = true;
        else if (name == "lead" && has_value)
            damage->lead_garbage = static_cast<int>(value);
        else if (name == "junk" && has_value)
            damage->junk_every = static_cast<int>(value);
        else if (name == "garbage" && !has_value) {
            damage->lead_garbage = 131;
            damage->junk_every = 97;
        } else {
            if (error)
                *error = "unknown damage option \"" + item + "\"";
            return false;
        }
    }
    return true;
}

}  // namespace recgen
