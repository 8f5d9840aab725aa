#include "engine/PrivateData.h"
#include "engine/TsParse.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> Bytes(const std::string& s)
{
    return std::vector<std::uint8_t>(s.begin(), s.end());
}

CarInfoRecord Apply(const std::string& text, CarInfoRecord r = MakeCarInfoRecord())
{
    const auto b = Bytes(text);
    ApplyPrivateText(b.data(), b.size(), r);
    return r;
}

}  // namespace

TEST(PrivateText, LabelsBecomeOneSampleClampedAndSaturated)
{
    CarInfoRecord r = Apply("X:1.5 Y:-0.25 Z:0 L:120");
    EXPECT_EQ(r.sampleCount, 1);
    EXPECT_EQ(r.samples[0].x, 768);
    EXPECT_EQ(r.samples[0].y, -128);
    EXPECT_EQ(r.samples[0].z, 0);
    EXPECT_EQ(r.samples[0].lean, 90);
    r = Apply("L:-200 Z:0.001");
    EXPECT_EQ(r.samples[0].lean, -90);
    EXPECT_EQ(r.samples[0].x, 0);
    EXPECT_EQ(r.samples[0].z, 0);  // 0.512 truncated
    // Out of range, exponents and words are not numbers the recorder writes: no wrap, no UB.
    r = Apply("X:100 Y:-1e99 Z:nan L:99999999999999999999");
    EXPECT_EQ(r.samples[0].x, 32767);
    EXPECT_EQ(r.samples[0].y, -512);
    EXPECT_EQ(r.samples[0].z, 0);
    EXPECT_EQ(r.samples[0].lean, 90);
    // The text ends at its first NUL.
    r = Apply(std::string("X:1", 3) + std::string(1, '\0') + "Y:2");
    EXPECT_EQ(r.samples[0].x, 512);
    EXPECT_EQ(r.samples[0].y, 0);
}

TEST(PrivateText, NumbersIgnoreTheLocale)
{
    // Under a locale whose decimal mark is a comma, a reading through the C library would stop
    // at the point ("-1.25" read as -1).
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    bool comma = false;
    for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8"})
        if (std::setlocale(LC_NUMERIC, name) != nullptr && std::strcmp(std::localeconv()->decimal_point, ",") == 0) {
            comma = true;
            break;
        }
    if (!comma) {
        std::setlocale(LC_NUMERIC, saved.c_str());
        GTEST_SKIP() << "no locale with a decimal comma (de_DE.UTF-8, fr_FR.UTF-8) is installed; scripts/setup generates one";
    }
    const double x = PrivateTextNumber("X: -1.25,", "X:");
    const double y = PrivateTextNumber("Y:+.5", "Y:");
    const CarInfoRecord r = Apply("X:-1.25 Y:0.5 Z:2.75 L:12.5");
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_DOUBLE_EQ(x, -1.25);
    EXPECT_DOUBLE_EQ(y, 0.5);
    EXPECT_EQ(r.samples[0].x, -640);
    EXPECT_EQ(r.samples[0].y, 256);
    EXPECT_EQ(r.samples[0].z, 1408);
    EXPECT_EQ(r.samples[0].lean, 12);
    EXPECT_DOUBLE_EQ(PrivateTextNumber("no label", "X:"), 0.0);
}

TEST(PrivateText, NmeaIsTakenFromByte32AndKeptUntilTheNextSentences)
{
    std::string text = "X:0 Y:0 Z:1 L:0";
    text.resize(32, ' ');
    const std::string first = text + "$GPRMC,1*00\r\n";
    CarInfoRecord r = Apply(first);
    EXPECT_EQ(std::string(r.NmeaText()), "$GPRMC,1*00\r\n");
    // No "$G": the previous sentences stay.
    r = Apply(text, r);
    EXPECT_EQ(std::string(r.NmeaText()), "$GPRMC,1*00\r\n");
    // A shorter text replaces them without stale bytes behind it.
    r = Apply(text + "$GPGGA", r);
    EXPECT_EQ(std::string(r.NmeaText()), "$GPGGA");
    // Longer than the field: 160 bytes, not terminated.
    r = Apply(text + "$G" + std::string(300, 'a'), r);
    EXPECT_EQ(r.NmeaText().size(), 160u);
    // "$G" before byte 32 of a short payload copies nothing past its end.
    r = Apply("$G X:1", r);
    EXPECT_EQ(r.NmeaText().size(), 0u);
}

TEST(TsParse, LengthsFromTheStreamAreBounded)
{
    std::uint8_t p[188] = {0x47, 0x41, 0x00, 0x30, 184};
    ts::PacketHeader h;
    EXPECT_FALSE(ts::ParsePacket(p, h));  // adaptation field longer than the packet
    p[4] = 183;
    ASSERT_TRUE(ts::ParsePacket(p, h));
    EXPECT_EQ(h.payloadLength, 0);
    p[1] = 0xC1;
    EXPECT_FALSE(ts::ParsePacket(p, h));  // transport error
    p[1] = 0x41;
    p[3] = 0x00;
    EXPECT_FALSE(ts::ParsePacket(p, h));  // no adaptation field control

    // A PAT whose section_length and pointer field point past the payload.
    std::uint8_t pat[184] = {0x00, 0x00, 0xB0, 0xFF, 0x00, 0x01, 0xC1, 0x00, 0x00};
    std::memset(pat + 9, 0xFF, sizeof pat - 9);
    EXPECT_EQ(ts::ParsePat(pat, 12, true), ts::kNoPid);  // the section claims 255 bytes of 11
    pat[0] = 200;
    EXPECT_EQ(ts::ParsePat(pat, sizeof pat, true), ts::kNoPid);
    const std::uint8_t good[] = {0x00, 0x00, 0xB0, 0x11, 0x00, 0x01, 0xC1, 0x00, 0x00, 0x00, 0x00,
                                 0xE0, 0x1F, 0x00, 0x01, 0xE1, 0x00, 0x2A, 0xB1, 0x04, 0xB2};
    EXPECT_EQ(ts::ParsePat(good, sizeof good, true), 0x100);

    // PMT with an ES_info_length beyond the section: the entry before it still counts.
    const std::uint8_t pmt[] = {0x00, 0x02, 0xB0, 0x1C, 0x00, 0x01, 0xC1, 0x00, 0x00, 0xF0, 0x01, 0xF0, 0x00,
                                0x1B, 0xF0, 0x11, 0xF0, 0x00, 0x0F, 0xF1, 0x00, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0};
    ts::StreamPids pids;
    ASSERT_TRUE(ts::ParsePmt(pmt, sizeof pmt, true, pids));
    EXPECT_EQ(pids.video, 0x1011);
    EXPECT_EQ(pids.audio, 0x1100);
    EXPECT_EQ(pids.priv, ts::kNoPid);

    // A PES header that claims more header bytes than there are.
    const std::uint8_t pes[] = {0, 0, 1, 0xE0, 0, 0, 0x80, 0xC0, 40, 0x21, 0, 1, 0, 1};
    ts::PesHeader ph;
    EXPECT_FALSE(ts::ParsePes(pes, sizeof pes, ph));
}

TEST(TsParse, AccessUnitsAreClassifiedAfterShortAndLongStartCodes)
{
    // AUD, SPS, PPS (4-byte codes), SEI and the IDR slice behind 3-byte codes.
    const std::vector<std::uint8_t> idr = {0, 0, 0, 1, 0x09, 0xF0, 0, 0, 0, 1, 0x67, 0x64, 0, 0, 0, 1, 0x68, 0xEE,
                                           0, 0, 1, 0x06, 0x05, 0, 0, 1, 0x65, 0x88, 0x84};
    ts::AccessUnitScan s = ts::ScanAccessUnit(idr.data(), idr.size());
    EXPECT_EQ(s.type, ts::kFrameKey);
    EXPECT_TRUE(s.sps);
    EXPECT_EQ(s.bodyStart, 6u);
    const std::vector<std::uint8_t> p = {0, 0, 0, 1, 0x09, 0xF0, 0, 0, 1, 0x41, 0x9A};
    s = ts::ScanAccessUnit(p.data(), p.size());
    EXPECT_EQ(s.type, ts::kFrameOther);
    EXPECT_EQ(s.bodyStart, 6u);
    const std::vector<std::uint8_t> none = {0, 0, 1, 0x67, 0x64, 0, 0, 1, 0x68};
    EXPECT_EQ(ts::ScanAccessUnit(none.data(), none.size()).type, ts::kFrameNone);
    EXPECT_EQ(ts::ScanAccessUnit(none.data(), 3).type, ts::kFrameNone);
}

TEST(TsParse, MeasuredRatesAreQuantisedWithoutRaisingLowRates)
{
    EXPECT_EQ(ts::QuantiseFps(25), 24);
    EXPECT_EQ(ts::QuantiseFps(28), 30);
    EXPECT_EQ(ts::QuantiseFps(15), 15);
    EXPECT_EQ(ts::QuantiseFps(10), 10);
    EXPECT_EQ(ts::QuantiseFps(50), 60);
    EXPECT_EQ(ts::QuantiseFps(0), 30);
    EXPECT_EQ(ts::QuantiseFps(-3), 30);
}
