#pragma once
// The 1312-byte information record of one moment of a recording: G-sensor samples, NMEA text
// and time, beside recorder fields carried unchanged. Little-endian in memory; a record read
// from a recorder card has some big-endian fields, converted by CarInfoRecordFromCard.

#include "cardtools/cardtools.h"
#include "platform/base/types.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

static_assert(std::endian::native == std::endian::little, "the record is little-endian in memory");

constexpr int kCarInfoMaxSamples = 100;
constexpr std::size_t kCarInfoNmeaBytes = 160;

struct GSensorSample {
    std::int16_t x;     // acceleration in g x 512
    std::int16_t y;
    std::int16_t z;
    std::int16_t lean;  // degrees, -90..90
};
static_assert(sizeof(GSensorSample) == 8);

struct CarInfoRecord {
    DWORD magic;                    // 0: kCarInfoMagic when valid
    DWORD word1;                    // 4: non-zero in a valid card record
    BYTE date[6];                   // 8: year - 1800, month 1..12, day, hour, minute, second
    BYTE reserved14[3];             // 14
    BYTE sampleCount;               // 17: valid samples, 0..100
    BYTE reserved18[4];             // 18
    WORD word22;                    // 22
    BYTE reserved24[203];           // 24
    BYTE status;                    // 227: recorder status, carried unchanged
    BYTE reserved228[116];          // 228
    GSensorSample samples[kCarInfoMaxSamples];  // 344
    char nmea[kCarInfoNmeaBytes];   // 1144: NUL-padded, not necessarily terminated
    DWORD sequence;                 // 1304
    DWORD checksum;                 // 1308: XOR of all other 32-bit words of a disk block

    bool IsValid() const { return magic == kCarInfoMagic; }
    // The sample count, bounded to the samples the record can hold.
    int SampleCount() const { return sampleCount < kCarInfoMaxSamples ? sampleCount : kCarInfoMaxSamples; }
    // The NMEA text up to its first NUL, never beyond its 160 bytes.
    std::string_view NmeaText() const;
    // Writes the next sample (lean clamped to -90..90); the count wraps from 100 to 0.
    void AddSample(std::int16_t x, std::int16_t y, std::int16_t z, int lean);
    // The date of the moment `time` (calendar seconds) as local time.
    void SetLocalDate(std::int64_t time);
};

static_assert(sizeof(CarInfoRecord) == 1312);
static_assert(offsetof(CarInfoRecord, magic) == 0);
static_assert(offsetof(CarInfoRecord, word1) == 4);
static_assert(offsetof(CarInfoRecord, date) == 8);
static_assert(offsetof(CarInfoRecord, sampleCount) == 17);
static_assert(offsetof(CarInfoRecord, word22) == 22);
static_assert(offsetof(CarInfoRecord, status) == 227);
static_assert(offsetof(CarInfoRecord, samples) == 344);
static_assert(offsetof(CarInfoRecord, nmea) == 1144);
static_assert(offsetof(CarInfoRecord, sequence) == 1304);
static_assert(offsetof(CarInfoRecord, checksum) == 1308);

// A zero record with the magic set.
CarInfoRecord MakeCarInfoRecord();
// Reads a record as stored on a recorder card: the words at 4 and 1304, the word at 22 and
// x, y, z of every sample are big-endian there; the lean angle and all other bytes are copied.
CarInfoRecord CarInfoRecordFromCard(const BYTE (&raw)[sizeof(CarInfoRecord)]);
