#pragma once
// Generator of recorder-style sample recordings, for tests and for trying the player.
//
// Pictures (a moving pattern) are encoded with libx264, a sine tone with the native AAC
// encoder, and both are written with a small transport-stream muxer of our own, laid out the
// way the recorder lays out its files:
//
//   PID 0x0000 PAT: programme 0 -> 0x001F, programme 1 -> PMT 0x0100
//   PID 0x0100 PMT: PCR PID 0x1001; 0x1B video on 0x1011, 0x0F AAC (ADTS) on 0x1100,
//                   0xA0 private text on 0x1600
//   PID 0x001F selection information section (fixed bytes), PID 0x1001 PCR-only packets
//   (the PMT, PCR, video, audio and private PIDs can be chosen, to try readers that must
//   take them from the tables)
//   PAT, PMT, SIT and a PCR packet go before every video frame.
//
// The first packet of the file is the PAT; its stuffing carries the recording header:
//   byte 50..55 start time, 64 event code, 66..71 end time, 82 frame rate (0xFF unknown).
//   A time is six bytes of local time: years since 1900, month 0..11, day, hour, minute,
//   second. The end time is start + duration rounded up to whole seconds.
//   Without tables (damage "notables") the SIT packet comes first and carries the header.
//
// Video PES: stream_id 0xE0, PES_packet_length 0, PTS and DTS or PTS only. Frame i (in
//   display order) has PTS (i + 1 + b) x 90000 / fps, b the B-frames between references; DTS
//   equals PTS without B-frames. With B-frames the frames go into the file in decode order
//   (each reference before the B-frames shown ahead of it), DTS counting up in the same steps. Every NAL unit starts with a 4-byte start
//   code, as hardware encoders write them (libx264's 3-byte codes are lengthened), unless
//   short start codes are asked for. SPS and PPS come in-band with every key frame, which
//   falls exactly every `gop` frames (no scene-cut key frames).
// Audio PES: stream_id 0xC0, PTS only, one ADTS frame each by default. The first audio frame
//   has the first video PTS; the encoder's priming frame is counted from there.
// Private PES: stream_id 0xBD, PTS only, one per record (`info_hz` records a second,
//   first at the first video PTS). The payload text is
//     bytes 0..31   "X:<x> Y:<y> Z:<z> L:<lean>" padded with spaces to 32 bytes; x, y, z in g
//                   with three decimals (|v| < 10), lean in whole degrees (may pass +-90;
//                   the reader clamps);
//     bytes 32..191 only in the first record of each GPS second: "$GPRMC...\r\n$GPGGA...\r\n"
//                   padded with NULs to 160 bytes. Other records are the 32 bytes alone.
//   NMEA times and dates are UTC; positions ddmm.mmmm / dddmm.mmmm; speed in knots; the
//   checksum is correct.
//
// Damage is applied to the byte stream as it is written (lead garbage, junk between packets)
// and afterwards (cut, then flipped bytes inside what is left). Garbage bytes are never 0x47,
// so they cannot make a false packet start.

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace recgen {

enum class SensorPattern {
    kSteady,   // x 0, y 0, z 1 g, lean 0
    kWave,     // slow sinusoids; the lean reaches +-100 degrees
    kRandom,   // from the seed: x, y, z in -2..2 g, lean -180..180
};

struct GpsTrack {
    bool enabled = true;
    double latitude = 25.0330;    // degrees, north positive
    double longitude = 121.5654;  // degrees, east positive
    double heading = 45.0;        // degrees from north
    double speed_kmh = 60.0;
    // Calendar time at which the vehicle is at the start point; 0 = the recording's start.
    // A set of consecutive recordings shares one value so the track continues across files.
    std::time_t origin = 0;
};

struct Damage {
    std::int64_t cut_at = -1;   // truncate the file to this many bytes (-1 = keep)
    int flips = 0;              // bytes changed at distinct random positions
    bool no_tables = false;     // no PAT and no PMT packets anywhere
    int lead_garbage = 0;       // garbage bytes before the first packet
    int junk_every = 0;         // after every N-th packet, 1..187 garbage bytes (0 = never)
};

struct RecordingSpec {
    int width = 320;
    int height = 240;
    int fps = 30;
    int gop = 30;                 // frames from one key frame to the next
    double seconds = 2.0;
    std::time_t start_time = 1700000000;  // calendar seconds; written as local time
    std::time_t end_time = 0;             // header end time; 0 = start + ceil(seconds)
    std::uint8_t event_code = 0;
    int frame_rate_byte = -1;             // byte 82; -1 = fps, 255 = unknown
    bool audio = true;
    int sample_rate = 8000;
    int channels = 1;
    double tone_hz = 440.0;
    double beep_seconds = 0.0;            // > 0: the tone sounds only that long from each whole
                                          // second of the sound (which starts at the first picture)
    double tone_step_hz = 0.0;            // the tone of sound second s is tone_hz + step x (s mod
    int tone_cycle = 1;                   // cycle), so that a beep tells which second it is
    int audio_frames_per_pes = 1;
    int info_hz = 1;                      // private records per second (0 = none)
    GpsTrack gps;
    SensorPattern sensor = SensorPattern::kWave;
    bool video_dts = true;                // false: video PES carry a PTS only
    int b_frames = 0;                     // B-frames between reference frames (0..4), always that many
    int first_picture = 0;                // pattern number of the first picture, so that the
                                          // recordings of a set show no picture twice
    struct Pids {
        std::uint16_t pmt = 0x0100;
        std::uint16_t pcr = 0x1001;
        std::uint16_t video = 0x1011;
        std::uint16_t audio = 0x1100;
        std::uint16_t priv = 0x1600;
    } pids;
    bool long_start_codes = true;
    int kbps = 0;                         // 0 = constant quality
    int threads = 1;                      // encoder threads (1 keeps output identical across machines)
    Damage damage;
    std::uint64_t seed = 1;
};

struct PictureInfo {
    std::int64_t pts = 0;       // 90 kHz
    std::int64_t dts = 0;       // 90 kHz (equal to pts without B-frames)
    bool key = false;
    std::int64_t offset = 0;    // file offset of the packet that starts its PES
    int size = 0;               // bytes of H.264 data in the PES
};

struct AudioInfo {
    std::int64_t pts = 0;       // 90 kHz, of the PES
    std::int64_t offset = 0;
    int frames = 0;             // ADTS frames in the PES
    int size = 0;
};

struct RecordInfo {
    std::int64_t pts = 0;       // 90 kHz
    double time = 0;            // calendar seconds of the moment (may have a fraction)
    double x = 0, y = 0, z = 0; // as written (three decimals)
    int lean = 0;               // as written (not clamped)
    std::string text;           // the whole payload, NUL padding included
    std::string nmea;           // the sentences, without padding; empty when none
    std::int64_t offset = 0;
};

struct RecordingInfo {
    std::vector<PictureInfo> pictures;   // in stream (decode) order
    std::vector<AudioInfo> audio;
    std::vector<RecordInfo> records;
    std::uint8_t header[33] = {};        // bytes 50..82 of the first packet as written
    std::int64_t header_offset = 0;      // where the first packet landed (lead garbage)
    std::int64_t size_before_damage = 0; // with lead and junk, before cut
    std::int64_t file_size = 0;
    std::vector<std::int64_t> flipped;   // positions, ascending
    std::vector<std::int64_t> junk_offsets;
    std::string error;                   // why WriteRecording failed
};

bool WriteRecording(const RecordingSpec& recipe, const std::string& path, RecordingInfo* info);

// A card-like folder: `count` consecutive recordings in `dir`, each starting when the previous
// ends and going on with the picture pattern where the previous one stopped, named "YYYYMMDD_HHMMSS_E.ts" (local start time, E = event code), one GPS track across
// them all. With `index_files`, a GPS log per recording goes into the folder "dit" beside
// `dir` (same name, ".dit"): a "$time:YYYY/MM/DD HH:MM:SS" line (local start) followed by the
// recording's $GPRMC sentences, one a line.
bool WriteFolder(const RecordingSpec& recipe, const std::string& dir, int count, bool index_files,
                 std::vector<std::string>* paths, std::vector<RecordingInfo>* infos,
                 std::string* error);

// The six header bytes of a calendar time, as local time.
void HeaderTime(std::time_t t, std::uint8_t out[6]);

// "$GPRMC..." and "$GPGGA..." for a moment, without line ends; empty when the track is off.
std::string RmcSentence(const GpsTrack& track, double t);
std::string GgaSentence(const GpsTrack& track, double t);

bool ParseDamage(const std::string& text, Damage* damage, std::string* error);

}  // namespace recgen
