// quorvin-recgen: writes recorder-style sample recordings (see recgen.h for the layout).

#include "tools/recgen/recgen.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

namespace {

const char kUsage[] =
    "usage: quorvin-recgen -o FILE.ts [options]\n"
    "       quorvin-recgen --folder DIR --count N [--dit] [options]\n"
    "  --size WxH          picture size (320x240)\n"
    "  --fps N             frames per second (30)\n"
    "  --gop N             frames from key frame to key frame (30)\n"
    "  --seconds S         duration (2)\n"
    "  --start 'YYYY-MM-DD HH:MM:SS'  local start time\n"
    "  --event N           event code in the header (0)\n"
    "  --fps-byte N        header byte 82 (the frame rate; 255 = unknown)\n"
    "  --no-audio | --tone HZ | --rate HZ | --channels N | --audio-per-pes N\n"
    "  --info-hz N         private records per second (1; 0 = none)\n"
    "  --gps LAT,LON,HEADING,KMH | --no-gps\n"
    "  --sensor steady|wave|random\n"
    "  --pts-only          video PES without DTS\n"
    "  --bframes N         B-frames between reference frames (0..4; 0)\n"
    "  --first-picture N   pattern number of the first picture (0)\n"
    "  --pids PMT,PCR,VIDEO,AUDIO,PRIVATE  PIDs, hexadecimal (100,1001,1011,1100,1600)\n"
    "  --short-start-codes keep the encoder's 3-byte start codes\n"
    "  --kbps N            bit rate (default constant quality)\n"
    "  --threads N         encoder threads (1)\n"
    "  --damage LIST       cut:N,flip:N,notables,lead:N,junk:N,garbage\n"
    "  --seed N            seed of random values and damage (1)\n"
    "  --dit               with --folder: GPS index files in DIR/../dit\n"
    "  -q                  print nothing\n";

bool ParseInt(const char* s, long long lo, long long hi, long long* out)
{
    char* end = nullptr;
    const long long v = std::strtoll(s, &end, 10);
    if (end == s || *end != '\0' || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

bool ParseStart(const char* s, std::time_t* out)
{
    std::tm tm{};
    if (std::sscanf(s, "%d-%d-%d %d:%d:%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour, &tm.tm_min,
                    &tm.tm_sec) != 6)
        return false;
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    tm.tm_isdst = -1;
    *out = std::mktime(&tm);
    return *out != static_cast<std::time_t>(-1);
}

void Summary(const std::string& path, const recgen::RecordingInfo& info)
{
    int keys = 0;
    for (const auto& p : info.pictures)
        keys += p.key;
    std::printf("%s: %lld bytes, %zu pictures (%d key), %zu audio PES, %zu records", path.c_str(),
                static_cast<long long>(info.file_size), info.pictures.size(), keys, info.audio.size(),
                info.records.size());
    if (!info.flipped.empty())
        std::printf(", %zu bytes flipped", info.flipped.size());
    if (!info.junk_offsets.empty())
        std::printf(", %zu junk runs", info.junk_offsets.size());
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv)
{
    av_log_set_level(AV_LOG_ERROR);
    recgen::RecordingSpec recipe;
    std::string out, folder;
    long long count = 1;
    bool dit = false, quiet = false;

    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "quorvin-recgen: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        auto bad = [&](const char* v) {
            std::fprintf(stderr, "quorvin-recgen: bad value \"%s\" for %s\n", v, a.c_str());
            std::exit(2);
        };
        long long n = 0;
        if (a == "-o") {
            out = value();
        } else if (a == "--folder") {
            folder = value();
        } else if (a == "--count") {
            const char* v = value();
            if (!ParseInt(v, 1, 100000, &count))
                bad(v);
        } else if (a == "--dit") {
            dit = true;
        } else if (a == "-q") {
            quiet = true;
        } else if (a == "--size") {
            const char* v = value();
            if (std::sscanf(v, "%dx%d", &recipe.width, &recipe.height) != 2)
                bad(v);
        } else if (a == "--fps" || a == "--gop" || a == "--event" || a == "--fps-byte" || a == "--rate" ||
                   a == "--channels" || a == "--audio-per-pes" || a == "--info-hz" || a == "--kbps" ||
                   a == "--threads" || a == "--seed" || a == "--bframes" || a == "--first-picture") {
            const char* v = value();
            if (!ParseInt(v, 0, a == "--seed" ? 0x7FFFFFFFFFFFFFFFLL : 10000000, &n))
                bad(v);
            if (a == "--fps") recipe.fps = static_cast<int>(n);
            else if (a == "--gop") recipe.gop = static_cast<int>(n);
            else if (a == "--event") recipe.event_code = static_cast<std::uint8_t>(n > 255 ? 255 : n);
            else if (a == "--fps-byte") recipe.frame_rate_byte = static_cast<int>(n > 255 ? 256 : n);
            else if (a == "--rate") recipe.sample_rate = static_cast<int>(n);
            else if (a == "--channels") recipe.channels = static_cast<int>(n);
            else if (a == "--audio-per-pes") recipe.audio_frames_per_pes = static_cast<int>(n);
            else if (a == "--info-hz") recipe.info_hz = static_cast<int>(n);
            else if (a == "--kbps") recipe.kbps = static_cast<int>(n);
            else if (a == "--threads") recipe.threads = static_cast<int>(n);
            else if (a == "--bframes") recipe.b_frames = static_cast<int>(n);
            else if (a == "--first-picture") recipe.first_picture = static_cast<int>(n);
            else recipe.seed = static_cast<std::uint64_t>(n);
        } else if (a == "--seconds") {
            const char* v = value();
            char* end = nullptr;
            recipe.seconds = std::strtod(v, &end);
            if (end == v || *end != '\0')
                bad(v);
        } else if (a == "--tone") {
            const char* v = value();
            char* end = nullptr;
            recipe.tone_hz = std::strtod(v, &end);
            if (end == v || *end != '\0')
                bad(v);
        } else if (a == "--start") {
            const char* v = value();
            if (!ParseStart(v, &recipe.start_time))
                bad(v);
        } else if (a == "--no-audio") {
            recipe.audio = false;
        } else if (a == "--gps") {
            const char* v = value();
            auto& g = recipe.gps;
            if (std::sscanf(v, "%lf,%lf,%lf,%lf", &g.latitude, &g.longitude, &g.heading, &g.speed_kmh) != 4)
                bad(v);
        } else if (a == "--pids") {
            const char* v = value();
            unsigned pmt = 0, pcr = 0, video = 0, audio = 0, priv = 0;
            if (std::sscanf(v, "%x,%x,%x,%x,%x", &pmt, &pcr, &video, &audio, &priv) != 5 ||
                std::max({pmt, pcr, video, audio, priv}) > 0x1FFF)
                bad(v);
            recipe.pids = {static_cast<std::uint16_t>(pmt), static_cast<std::uint16_t>(pcr),
                           static_cast<std::uint16_t>(video), static_cast<std::uint16_t>(audio),
                           static_cast<std::uint16_t>(priv)};
        } else if (a == "--no-gps") {
            recipe.gps.enabled = false;
        } else if (a == "--sensor") {
            const std::string v = value();
            if (v == "steady") recipe.sensor = recgen::SensorPattern::kSteady;
            else if (v == "wave") recipe.sensor = recgen::SensorPattern::kWave;
            else if (v == "random") recipe.sensor = recgen::SensorPattern::kRandom;
            else bad(v.c_str());
        } else if (a == "--pts-only") {
            recipe.video_dts = false;
        } else if (a == "--short-start-codes") {
            recipe.long_start_codes = false;
        } else if (a == "--damage") {
            const char* v = value();
            std::string why;
            if (!recgen::ParseDamage(v, &recipe.damage, &why)) {
                std::fprintf(stderr, "quorvin-recgen: %s\n", why.c_str());
                return 2;
            }
        } else if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fprintf(stderr, "quorvin-recgen: unknown option %s\n%s", a.c_str(), kUsage);
            return 2;
        }
    }
    if (out.empty() == folder.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    if (!out.empty()) {
        recgen::RecordingInfo info;
        if (!recgen::WriteRecording(recipe, out, &info)) {
            std::fprintf(stderr, "quorvin-recgen: %s\n", info.error.c_str());
            return 1;
        }
        if (!quiet)
            Summary(out, info);
        return 0;
    }

    std::vector<std::string> paths;
    std::vector<recgen::RecordingInfo> infos;
    std::string why;
    if (!recgen::WriteFolder(recipe, folder, static_cast<int>(count), dit, &paths, &infos, &why)) {
        std::fprintf(stderr, "quorvin-recgen: %s\n", why.c_str());
        return 1;
    }
    if (!quiet)
        for (std::size_t k = 0; k < paths.size(); ++k)
            Summary(paths[k], infos[k]);
    return 0;
}
