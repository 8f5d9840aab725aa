#include "engine/CarInfoRecord.h"

#include <algorithm>
#include <cstring>

namespace {

std::uint16_t Be16(const BYTE* p)
{
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

std::uint32_t Be32(const BYTE* p)
{
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
}

}  // namespace

std::string_view CarInfoRecord::NmeaText() const
{
    const char* end = std::find(nmea, nmea + kCarInfoNmeaBytes, '\0');
    return std::string_view(nmea, static_cast<std::size_t>(end - nmea));
}

void CarInfoRecord::AddSample(std::int16_t x, std::int16_t y, std::int16_t z, int lean)
{
    const int i = SampleCount() % kCarInfoMaxSamples;
    samples[i] = GSensorSample{x, y, z, static_cast<std::int16_t>(std::clamp(lean, -90, 90))};
    sampleCount = static_cast<BYTE>((i + 1) % kCarInfoMaxSamples);
}

void CarInfoRecord::SetLocalDate(std::int64_t time)
{
    DiskDate d;
    TimeToLocalDiskDate(time, &d);
    std::memcpy(date, &d, sizeof date);
}

CarInfoRecord MakeCarInfoRecord()
{
    CarInfoRecord r;
    std::memset(&r, 0, sizeof r);
    r.magic = kCarInfoMagic;
    return r;
}

CarInfoRecord CarInfoRecordFromCard(const BYTE (&raw)[sizeof(CarInfoRecord)])
{
    CarInfoRecord r;
    std::memcpy(&r, raw, sizeof r);
    r.word1 = Be32(raw + offsetof(CarInfoRecord, word1));
    r.word22 = Be16(raw + offsetof(CarInfoRecord, word22));
    r.sequence = Be32(raw + offsetof(CarInfoRecord, sequence));
    for (int i = 0; i < kCarInfoMaxSamples; ++i) {
        const BYTE* s = raw + offsetof(CarInfoRecord, samples) + 8 * static_cast<std::size_t>(i);
        r.samples[i].x = static_cast<std::int16_t>(Be16(s));
        r.samples[i].y = static_cast<std::int16_t>(Be16(s + 2));
        r.samples[i].z = static_cast<std::int16_t>(Be16(s + 4));
    }
    return r;
}
