// GPS text from arbitrary bytes: the sentence and text-line parsers on the raw input, and the
// log reader on the same bytes as a file. Everything must stay in bounds, and whatever the reader
// keeps must be within its documented ranges.

#include "engine/gpstext.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

std::filesystem::path g_dir;

void RemoveDir() { std::filesystem::remove_all(g_dir); }

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "gpslog fuzz: %s\n", what);
    std::abort();
}

void CheckPoint(const GpsPoint& p)
{
    if (p.invalid)
        Fail("invalid point kept in a track");
    if (!(p.latitude >= -90 && p.latitude <= 90) || !(p.longitude >= -180 && p.longitude <= 180))
        Fail("coordinate out of range");
    if (!(p.speed >= 0 && p.speed <= 999999) || !(p.course >= 0 && p.course <= 360))
        Fail("speed or course out of range");
    if (p.date[sizeof p.date - 1] != '\0' || p.time[sizeof p.time - 1] != '\0')
        Fail("unterminated text");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "qv-fuzz-gpslog-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        std::abort();
    g_dir = pattern;
    std::atexit(RemoveDir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    double lat = 0, lon = 0, speed = 0, course = 0;
    if (ParseRmcSentence(text, &lat, &lon, &speed, &course)) {
        if (!std::isfinite(lat) || !std::isfinite(lon) || !std::isfinite(speed) || !std::isfinite(course))
            Fail("non-finite RMC value");
    }

    std::string time;
    char id[8];
    double a = 0, b = 0;
    BYTE flags[8];
    const int r = ParseGpsTextLine(text, &time, id, sizeof id, &lat, &lon, &speed, &course, &a, &b, flags);
    if (r != 0 && r != 1)
        Fail("text line result");
    if (std::string_view(id).size() >= sizeof id)
        Fail("identifier overflow");

    const std::string path = (g_dir / "log.dit").string();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    for (BYTE split : {BYTE{0}, BYTE{1}}) {
        CNmeaLogReader reader;
        reader.m_splitMode = split;
        if (!reader.Open(path))
            std::abort();
        reader.ReadAll();
        for (const GpsTrack& track : reader.m_tracks) {
            if (track.points.empty())
                Fail("empty track kept");
            if (!(track.lengthKm >= 0) || !std::isfinite(track.lengthKm))
                Fail("bad track length");
            for (const GpsPoint& p : track.points)
                CheckPoint(p);
        }
        // The line-level entry points on the raw bytes as one line.
        const GpsPoint p = reader.ParseLine(text);
        if (!p.invalid)
            CheckPoint(p);
        reader.NoteTimeLine(text);
        reader.Close();
    }
    return 0;
}
