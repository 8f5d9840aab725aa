// The generator's byte layout read back with the tests' own reader: tables, recording
// header, private records, damage, determinism and card-like folders.

#include "tests/support/tempdir.h"
#include "tests/tools/run.h"
#include "tests/tools/ts_walk.h"
#include "tools/recgen/recgen.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

extern "C" {
#include <libavutil/log.h>
}

namespace {

using tstest::ReadFile;
using tstest::WalkStream;

void UseUtc()
{
    setenv("TZ", "UTC", 1);
    tzset();
}

recgen::RecordingSpec Small()
{
    av_log_set_level(AV_LOG_ERROR);
    recgen::RecordingSpec s;
    s.width = 160;
    s.height = 120;
    s.fps = 10;
    s.gop = 10;
    s.seconds = 2.0;
    return s;
}

std::string Write(const TempDir& dir, const std::string& name, const recgen::RecordingSpec& recipe,
                  recgen::RecordingInfo* info)
{
    const std::string f = dir.file(name);
    EXPECT_TRUE(recgen::WriteRecording(recipe, f, info)) << info->error;
    return f;
}

const std::uint8_t* U8(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

// The number after a label, read by hand (locale-independent).
double LabelValue(const std::string& text, const char* label)
{
    const auto at = text.find(label);
    if (at == std::string::npos)
        return NAN;
    std::size_t i = at + 2;
    double sign = 1;
    if (text[i] == '-') {
        sign = -1;
        ++i;
    }
    double v = 0, scale = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && scale == 0) {
            scale = 1;
        } else if (c >= '0' && c <= '9') {
            v = v * 10 + (c - '0');
            if (scale > 0)
                scale *= 10;
        } else {
            break;
        }
    }
    return sign * (scale > 0 ? v / scale : v);
}

bool ChecksumOk(const std::string& sentence)
{
    const auto star = sentence.find('*');
    if (sentence.empty() || sentence[0] != '$' || star == std::string::npos || star + 3 != sentence.size())
        return false;
    unsigned sum = 0;
    for (std::size_t i = 1; i < star; ++i)
        sum ^= static_cast<unsigned char>(sentence[i]);
    return std::strtoul(sentence.substr(star + 1).c_str(), nullptr, 16) == sum;
}

// ddmm.mmmm,N (or dddmm.mmmm,E) to signed degrees.
double Degrees(const std::string& value, const std::string& hemi, int degree_digits)
{
    const double d = std::stod(value.substr(0, static_cast<std::size_t>(degree_digits)));
    const double m = std::stod(value.substr(static_cast<std::size_t>(degree_digits)));
    const double v = d + m / 60.0;
    return (hemi == "S" || hemi == "W") ? -v : v;
}

TEST(RecgenLayout, TablesAndStreamsAreTheRecordersAndPacketsAreWellFormed)
{
    TempDir dir;
    recgen::RecordingInfo info;
    const std::string bytes = ReadFile(Write(dir, "a.ts", Small(), &info));
    ASSERT_EQ(bytes.size() % 188, 0u);
    EXPECT_EQ(static_cast<std::int64_t>(bytes.size()), info.file_size);
    const auto w = WalkStream(bytes);
    EXPECT_EQ(w.skipped_bytes, 0);
    EXPECT_EQ(w.cc_errors, 0);
    EXPECT_EQ(w.crc_errors, 0);
    ASSERT_EQ(w.pat.size(), 2u);
    EXPECT_EQ(w.pat[0], std::make_pair(0, 0x1F));
    EXPECT_EQ(w.pat[1], std::make_pair(1, 0x100));
    EXPECT_EQ(w.pcr_pid, 0x1001);
    EXPECT_EQ(w.pmt_types, (std::map<int, int>{{0x1011, 0x1B}, {0x1100, 0x0F}, {0x1600, 0xA0}}));
    EXPECT_EQ(w.packet_pids.front(), 0);

    // Tables before every picture: the four packets ahead of each video PES are PAT, PMT, SIT, PCR.
    std::size_t pictures = 0;
    for (std::size_t k = 0; k < w.packet_offsets.size(); ++k) {
        if (w.packet_pids[k] != 0x1011 || !(U8(bytes)[w.packet_offsets[k] + 1] & 0x40))
            continue;
        ASSERT_GE(k, 4u);
        EXPECT_EQ(w.packet_pids[k - 4], 0x0000);
        EXPECT_EQ(w.packet_pids[k - 3], 0x0100);
        EXPECT_EQ(w.packet_pids[k - 2], 0x001F);
        EXPECT_EQ(w.packet_pids[k - 1], 0x1001);
        ++pictures;
    }
    EXPECT_EQ(pictures, info.pictures.size());

    // PES headers: video with PTS and DTS and unbounded length; audio and records PTS only,
    // their declared length exact. Every NAL unit has a 4-byte start code.
    std::size_t v = 0, a = 0, r = 0;
    for (const auto& p : w.pes) {
        if (p.pid == 0x1011) {
            ASSERT_LT(v, info.pictures.size());
            EXPECT_EQ(p.stream_id, 0xE0);
            EXPECT_EQ(p.pts_dts_flags, 3);
            EXPECT_EQ(p.declared_length, 0);
            EXPECT_EQ(p.pts, info.pictures[v].pts);
            EXPECT_EQ(p.dts, info.pictures[v].pts);
            EXPECT_EQ(p.offset, info.pictures[v].offset);
            EXPECT_EQ(p.payload.size(), static_cast<std::size_t>(info.pictures[v].size));
            for (std::size_t i = 0; i + 3 < p.payload.size(); ++i) {
                if (p.payload[i] == 0 && p.payload[i + 1] == 0 && p.payload[i + 2] == 1) {
                    ASSERT_GE(i, 1u);
                    EXPECT_EQ(p.payload[i - 1], 0) << "3-byte start code at " << i;
                }
            }
            ++v;
        } else if (p.pid == 0x1100) {
            EXPECT_EQ(p.stream_id, 0xC0);
            EXPECT_EQ(p.pts_dts_flags, 2);
            EXPECT_EQ(p.declared_length, static_cast<int>(3 + 5 + p.payload.size()));
            ASSERT_GE(p.payload.size(), 7u);
            EXPECT_EQ(p.payload[0], 0xFF);
            EXPECT_EQ(p.payload[1] & 0xF6, 0xF0);  // ADTS sync, layer 0
            const int frame_len = ((p.payload[3] & 3) << 11) | (p.payload[4] << 3) | (p.payload[5] >> 5);
            EXPECT_EQ(static_cast<std::size_t>(frame_len), p.payload.size());
            ++a;
        } else if (p.pid == 0x1600) {
            EXPECT_EQ(p.stream_id, 0xBD);
            EXPECT_EQ(p.pts_dts_flags, 2);
            EXPECT_EQ(p.declared_length, static_cast<int>(3 + 5 + p.payload.size()));
            ++r;
        }
    }
    EXPECT_EQ(v, info.pictures.size());
    EXPECT_EQ(a, info.audio.size());
    EXPECT_EQ(r, info.records.size());
}

TEST(RecgenLayout, RecordingHeaderSitsInTheFirstPacketsStuffing)
{
    UseUtc();
    TempDir dir;
    recgen::RecordingSpec recipe = Small();
    recipe.seconds = 2.5;
    recipe.fps = 25;
    recipe.gop = 25;
    recipe.start_time = 1709251198;  // 2024-02-29 23:59:58 UTC
    recipe.event_code = 3;
    recgen::RecordingInfo info;
    std::string b = ReadFile(Write(dir, "h.ts", recipe, &info));
    const auto* p = U8(b);
    const std::uint8_t start[6] = {124, 1, 29, 23, 59, 58};
    const std::uint8_t end[6] = {124, 2, 1, 0, 0, 1};  // + ceil(2.5) s, across the month end
    EXPECT_EQ(std::memcmp(p + 50, start, 6), 0);
    EXPECT_EQ(p[64], 3);
    EXPECT_EQ(std::memcmp(p + 66, end, 6), 0);
    EXPECT_EQ(p[82], 25);
    EXPECT_EQ(std::memcmp(info.header, p + 50, 33), 0);
    // The PAT section ends at byte 24; everything else of the first packet is stuffing.
    for (int i = 25; i < 188; ++i) {
        if (i < 50 || (i > 55 && i != 64 && (i < 66 || i > 71) && i != 82)) {
            EXPECT_EQ(p[i], 0xFF) << i;
        }
    }

    recipe.frame_rate_byte = 0xFF;
    recipe.end_time = recipe.start_time - 5;  // a header whose end lies before its start
    b = ReadFile(Write(dir, "h2.ts", recipe, &info));
    p = U8(b);
    EXPECT_EQ(p[82], 0xFF);
    const std::uint8_t before[6] = {124, 1, 29, 23, 59, 53};
    EXPECT_EQ(std::memcmp(p + 66, before, 6), 0);
}

TEST(RecgenLayout, PrivateRecordsCarryLabelsAndNmeaFromByte32)
{
    UseUtc();
    TempDir dir;
    recgen::RecordingSpec recipe = Small();
    recipe.seconds = 3.0;
    recipe.info_hz = 4;
    recipe.sensor = recgen::SensorPattern::kRandom;
    recipe.start_time = 1700000000;  // 2023-11-14 22:13:20 UTC
    recipe.gps.latitude = -33.8688;
    recipe.gps.longitude = -151.2093;  // both hemispheres negative
    recipe.gps.heading = 90.0;
    recipe.gps.speed_kmh = 72.0;
    recgen::RecordingInfo info;
    const auto w = WalkStream(ReadFile(Write(dir, "p.ts", recipe, &info)));
    ASSERT_EQ(info.records.size(), 12u);

    std::vector<const tstest::Pes*> recs;
    for (const auto& p : w.pes)
        if (p.pid == 0x1600)
            recs.push_back(&p);
    ASSERT_EQ(recs.size(), info.records.size());

    bool lean_outside = false;
    std::vector<double> lons;
    for (std::size_t k = 0; k < recs.size(); ++k) {
        const std::string text(recs[k]->payload.begin(), recs[k]->payload.end());
        const auto& r = info.records[k];
        EXPECT_EQ(text, r.text);
        EXPECT_EQ(recs[k]->pts, r.pts);
        EXPECT_EQ(r.pts, 9000 + static_cast<std::int64_t>(k) * 22500);
        EXPECT_DOUBLE_EQ(r.time, 1700000000.0 + static_cast<double>(k) * 0.25);

        // Labels in the first 32 bytes, the values as reported.
        const std::string head = text.substr(0, 32);
        EXPECT_EQ(head.find("$G"), std::string::npos);
        EXPECT_DOUBLE_EQ(LabelValue(head, "X:"), r.x);
        EXPECT_DOUBLE_EQ(LabelValue(head, "Y:"), r.y);
        EXPECT_DOUBLE_EQ(LabelValue(head, "Z:"), r.z);
        EXPECT_EQ(LabelValue(head, "L:"), r.lean);
        EXPECT_LE(std::fabs(r.x), 2.0);
        lean_outside = lean_outside || std::abs(r.lean) > 90;

        // NMEA only in the first record of each second, from byte 32, NUL-padded to 192 bytes.
        if (k % 4 != 0) {
            EXPECT_EQ(text.size(), 32u);
            EXPECT_TRUE(r.nmea.empty());
            continue;
        }
        ASSERT_EQ(text.size(), 192u);
        EXPECT_EQ(text.substr(32, r.nmea.size()), r.nmea);
        EXPECT_EQ(text.find_first_not_of('\0', 32 + r.nmea.size()), std::string::npos);
        ASSERT_EQ(r.nmea.compare(0, 7, "$GPRMC,"), 0);
        const auto crlf = r.nmea.find("\r\n");
        const std::string rmc = r.nmea.substr(0, crlf);
        const std::string gga = r.nmea.substr(crlf + 2, r.nmea.size() - crlf - 4);
        EXPECT_TRUE(ChecksumOk(rmc)) << rmc;
        EXPECT_TRUE(ChecksumOk(gga)) << gga;
        ASSERT_EQ(gga.compare(0, 7, "$GPGGA,"), 0);

        const auto f = tstest::Split(rmc.substr(0, rmc.find('*')), ',');
        ASSERT_EQ(f.size(), 13u) << rmc;
        const int second = static_cast<int>(k / 4);
        char hms[32];
        std::snprintf(hms, sizeof hms, "2213%02d.000", 20 + second);
        EXPECT_EQ(f[1], hms);
        EXPECT_EQ(f[2], "A");
        EXPECT_EQ(f[3].find('.'), 4u);
        EXPECT_EQ(f[5].find('.'), 5u);
        EXPECT_NEAR(Degrees(f[3], f[4], 2), -33.8688, 1e-4);
        lons.push_back(Degrees(f[5], f[6], 3));
        EXPECT_NEAR(std::stod(f[7]), 72.0 / 1.852, 0.01);
        EXPECT_EQ(f[8], "90.00");
        EXPECT_EQ(f[9], "141123");
        EXPECT_EQ(f[12], "A");

        const auto g = tstest::Split(gga.substr(0, gga.find('*')), ',');
        ASSERT_GE(g.size(), 10u);
        EXPECT_EQ(g[1], hms);
        EXPECT_EQ(g[2], f[3]);
        EXPECT_EQ(g[4], f[5]);
    }
    EXPECT_TRUE(lean_outside) << "random pattern should exercise the reader's clamp";
    // Heading east at 72 km/h: 20 m a second, eastwards (towards zero for a western longitude).
    ASSERT_EQ(lons.size(), 3u);
    const double m_per_deg = 111320.0 * std::cos(-33.8688 * M_PI / 180.0);
    EXPECT_NEAR((lons[2] - lons[0]) * m_per_deg, 40.0, 0.5);
}

TEST(RecgenLayout, RecordsLieBetweenThePicturesAroundThem)
{
    TempDir dir;
    recgen::RecordingSpec recipe = Small();
    recipe.info_hz = 3;
    recgen::RecordingInfo info;
    const auto w = WalkStream(ReadFile(Write(dir, "o.ts", recipe, &info)));
    std::int64_t last_video = -1;
    for (const auto& p : w.pes) {
        if (p.pid == 0x1011) {
            last_video = p.pts;
        } else if (p.pid == 0x1600) {
            EXPECT_LT(last_video, p.pts) << "a record after a later picture";
        }
    }
    // And a picture never follows a record of a later time.
    std::int64_t last_record = -1;
    for (const auto& p : w.pes) {
        if (p.pid == 0x1600) {
            last_record = p.pts;
        } else if (p.pid == 0x1011) {
            EXPECT_GE(p.pts, last_record);
        }
    }
}

TEST(RecgenLayout, SteadyPatternWithoutGpsHasNoSentences)
{
    TempDir dir;
    recgen::RecordingSpec recipe = Small();
    recipe.sensor = recgen::SensorPattern::kSteady;
    recipe.gps.enabled = false;
    recipe.audio = false;
    recgen::RecordingInfo info;
    const auto w = WalkStream(ReadFile(Write(dir, "s.ts", recipe, &info)));
    EXPECT_EQ(w.pmt_types, (std::map<int, int>{{0x1011, 0x1B}, {0x1600, 0xA0}}));
    ASSERT_EQ(info.records.size(), 2u);
    for (const auto& r : info.records) {
        EXPECT_EQ(r.text, std::string("X:0.000 Y:0.000 Z:1.000 L:0") + std::string(5, ' '));
        EXPECT_TRUE(r.nmea.empty());
    }
    EXPECT_TRUE(info.audio.empty());
}

TEST(RecgenLayout, DamageDoesWhatItSays)
{
    TempDir dir;
    recgen::RecordingSpec recipe = Small();
    recipe.seed = 7;
    recgen::RecordingInfo clean_info;
    const std::string clean = ReadFile(Write(dir, "clean.ts", recipe, &clean_info));

    {  // cut
        recgen::RecordingSpec s = recipe;
        s.damage.cut_at = 10001;
        recgen::RecordingInfo info;
        const std::string b = ReadFile(Write(dir, "cut.ts", s, &info));
        ASSERT_EQ(b.size(), 10001u);
        EXPECT_EQ(info.file_size, 10001);
        EXPECT_EQ(b, clean.substr(0, 10001));
    }
    {  // flipped bytes: exactly the reported ones differ, inside the cut
        recgen::RecordingSpec s = recipe;
        s.damage.flips = 25;
        s.damage.cut_at = 30000;
        recgen::RecordingInfo info;
        const std::string b = ReadFile(Write(dir, "flip.ts", s, &info));
        ASSERT_EQ(b.size(), 30000u);
        std::vector<std::int64_t> diff;
        for (std::size_t i = 0; i < b.size(); ++i)
            if (b[i] != clean[i])
                diff.push_back(static_cast<std::int64_t>(i));
        EXPECT_EQ(diff.size(), 25u);
        EXPECT_EQ(diff, info.flipped);
    }
    {  // no tables: no PAT or PMT packet, the header moves to the SIT packet that comes first
        recgen::RecordingSpec s = recipe;
        s.damage.no_tables = true;
        recgen::RecordingInfo info;
        const std::string b = ReadFile(Write(dir, "notab.ts", s, &info));
        const auto w = WalkStream(b);
        for (auto pid : w.packet_pids) {
            EXPECT_NE(pid, 0x0000);
            EXPECT_NE(pid, 0x0100);
        }
        EXPECT_TRUE(w.pat.empty());
        EXPECT_EQ(w.packet_pids.front(), 0x001F);
        EXPECT_EQ(std::memcmp(U8(b) + 50, clean.data() + 50, 33), 0);
        EXPECT_EQ(b.size(), clean.size() - 2 * 188 * (clean_info.pictures.size() + 1));
    }
    {  // garbage before the first packet and between packets
        recgen::RecordingSpec s = recipe;
        s.damage.lead_garbage = 77;
        s.damage.junk_every = 10;
        recgen::RecordingInfo info;
        const std::string b = ReadFile(Write(dir, "junk.ts", s, &info));
        EXPECT_EQ(info.header_offset, 77);
        EXPECT_EQ(b.find('\x47'), 77u);
        EXPECT_EQ(U8(b)[77 + 82], clean[82] & 0xFF);
        const auto w = WalkStream(b);
        const std::size_t packets = clean.size() / 188;
        EXPECT_EQ(w.packet_offsets.size(), packets);
        EXPECT_EQ(info.junk_offsets.size(), packets / 10);
        std::vector<std::int64_t> runs(w.skipped_runs.begin() + 1, w.skipped_runs.end());
        EXPECT_EQ(w.skipped_runs.front(), 0);
        EXPECT_EQ(runs, info.junk_offsets);
        EXPECT_EQ(static_cast<std::size_t>(w.skipped_bytes), b.size() - clean.size());
        // The packets themselves are the clean file's.
        std::string rebuilt;
        for (auto off : w.packet_offsets)
            rebuilt += b.substr(static_cast<std::size_t>(off), 188);
        EXPECT_EQ(rebuilt, clean);
        // Offsets reported for pictures point at their packets in the damaged file.
        for (std::size_t i = 0; i < info.pictures.size(); ++i)
            EXPECT_EQ(b.compare(static_cast<std::size_t>(info.pictures[i].offset), 188, clean,
                                static_cast<std::size_t>(clean_info.pictures[i].offset), 188), 0);
    }
}

TEST(RecgenLayout, SameSeedSameBytesOtherSeedOtherRecords)
{
    TempDir dir;
    recgen::RecordingSpec recipe = Small();
    recipe.sensor = recgen::SensorPattern::kRandom;
    recipe.damage.flips = 5;
    recipe.damage.junk_every = 50;
    recgen::RecordingInfo i1, i2, i3;
    const std::string a = ReadFile(Write(dir, "1.ts", recipe, &i1));
    const std::string b = ReadFile(Write(dir, "2.ts", recipe, &i2));
    EXPECT_EQ(a, b);
    recipe.seed = 2;
    Write(dir, "3.ts", recipe, &i3);
    EXPECT_NE(i1.records[0].text, i3.records[0].text);
    EXPECT_NE(i1.flipped, i3.flipped);
}

TEST(RecgenLayout, FolderHoldsConsecutiveRecordingsWithOneTrack)
{
    UseUtc();
    TempDir dir;
    recgen::RecordingSpec recipe = Small();
    recipe.seconds = 1.5;
    recipe.start_time = 1700000000;
    recipe.event_code = 1;
    std::vector<std::string> paths;
    std::vector<recgen::RecordingInfo> infos;
    std::string error;
    const std::string ts = dir.file("card/ts");
    ASSERT_TRUE(recgen::WriteFolder(recipe, ts, 3, true, &paths, &infos, &error)) << error;
    ASSERT_EQ(paths.size(), 3u);
    EXPECT_EQ(std::filesystem::path(paths[0]).filename(), "20231114_221320_1.ts");
    EXPECT_EQ(std::filesystem::path(paths[1]).filename(), "20231114_221322_1.ts");
    EXPECT_EQ(std::filesystem::path(paths[2]).filename(), "20231114_221324_1.ts");
    for (int k = 0; k < 3; ++k) {
        const std::string b = ReadFile(paths[static_cast<std::size_t>(k)]);
        EXPECT_EQ(U8(b)[55], 20 + 2 * k);  // start second
        EXPECT_EQ(U8(b)[71], 22 + 2 * k);  // end second
        EXPECT_EQ(U8(b)[64], 1);
    }
    // The track goes on where the previous file left it: the second file's first fix is
    // the one two seconds after the first file's first fix.
    recgen::GpsTrack track = recipe.gps;
    track.origin = recipe.start_time;
    const std::string expect = recgen::RmcSentence(track, 1700000002.0);
    EXPECT_EQ(infos[1].records[0].nmea.substr(0, expect.size()), expect);

    const std::string dit = ReadFile(dir.file("card/dit/20231114_221322_1.dit"));
    EXPECT_EQ(dit.substr(0, 27), "$time:2023/11/14 22:13:22\r\n");
    EXPECT_NE(dit.find(expect + "\r\n"), std::string::npos);
    EXPECT_EQ(dit.find("$GPGGA"), std::string::npos);
}

TEST(RecgenLayout, BadSpecsAndDamageTextAreRefused)
{
    TempDir dir;
    recgen::RecordingInfo info;
    recgen::RecordingSpec recipe = Small();
    recipe.width = 161;
    EXPECT_FALSE(recgen::WriteRecording(recipe, dir.file("x.ts"), &info));
    EXPECT_FALSE(info.error.empty());
    recipe = Small();
    recipe.fps = 0;
    EXPECT_FALSE(recgen::WriteRecording(recipe, dir.file("x.ts"), &info));
    recipe = Small();
    EXPECT_FALSE(recgen::WriteRecording(recipe, dir.file("no/such/folder/x.ts"), &info));

    recgen::Damage d;
    std::string why;
    EXPECT_TRUE(recgen::ParseDamage("cut:100,flip:3,notables,garbage", &d, &why));
    EXPECT_EQ(d.cut_at, 100);
    EXPECT_EQ(d.flips, 3);
    EXPECT_TRUE(d.no_tables);
    EXPECT_GT(d.lead_garbage, 0);
    EXPECT_GT(d.junk_every, 0);
    EXPECT_FALSE(recgen::ParseDamage("cut:-5", &d, &why));
    EXPECT_FALSE(recgen::ParseDamage("flip:x", &d, &why));
    EXPECT_FALSE(recgen::ParseDamage("melt", &d, &why));
    EXPECT_FALSE(recgen::ParseDamage("notables:1", &d, &why));
}

TEST(RecgenLayout, CommandLineProgram)
{
    TempDir dir;
    const std::string prog = QV_RECGEN_PROGRAM;
    const std::string f = dir.file("cli.ts");
    auto r = tstest::Run(prog + " -q -o " + tstest::Quote(f) +
                         " --size 176x144 --fps 12 --gop 6 --seconds 1 --event 2 --fps-byte 255"
                         " --damage cut:5000 2>&1");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(r.out.empty());
    const std::string b = ReadFile(f);
    EXPECT_EQ(b.size(), 5000u);
    EXPECT_EQ(U8(b)[64], 2);
    EXPECT_EQ(U8(b)[82], 0xFF);

    EXPECT_EQ(tstest::Run(prog + " -o " + tstest::Quote(f) + " --damage melt 2>/dev/null").status, 2);
    EXPECT_EQ(tstest::Run(prog + " --fps 2>/dev/null").status, 2);
    EXPECT_EQ(tstest::Run(prog + " -o " + tstest::Quote(f) + " --size 15x15 2>/dev/null").status, 1);

    r = tstest::Run(prog + " --folder " + tstest::Quote(dir.file("set")) + " --count 2 --seconds 1 2>&1");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(tstest::Lines(r.out).size(), 2u);
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.file("set")))
        n += e.path().extension() == ".ts";
    EXPECT_EQ(n, 2);
}

}  // namespace
