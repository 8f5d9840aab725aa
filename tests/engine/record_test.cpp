#include "engine/CarInfoRecord.h"
#include "engine/Jtv.h"
#include "engine/JtvCtrl.h"
#include "engine/ObdValues.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

TEST(CarInfoRecordLayout, FieldsSitAtTheirOffsets)
{
    CarInfoRecord r = MakeCarInfoRecord();
    const BYTE* b = reinterpret_cast<const BYTE*>(&r);
    EXPECT_EQ(b[0], 0x00);
    EXPECT_EQ(b[3], 0xA5);  // little-endian magic 0xA5010000
    EXPECT_EQ(b[2], 0x01);
    r.sampleCount = 3;
    r.status = 0x77;
    r.samples[99].lean = -1;
    r.nmea[0] = '$';
    r.checksum = 0x01020304;
    EXPECT_EQ(b[17], 3);
    EXPECT_EQ(b[227], 0x77);
    EXPECT_EQ(b[344 + 8 * 99 + 6], 0xFF);
    EXPECT_EQ(b[1144], '$');
    EXPECT_EQ(b[1308], 0x04);
}

TEST(CarInfoRecordLayout, CardRecordsAreConvertedFromBigEndian)
{
    BYTE raw[1312] = {};
    const BYTE magic[4] = {0x00, 0x00, 0x01, 0xA5};
    std::memcpy(raw, magic, 4);
    const BYTE word1[4] = {0x11, 0x22, 0x33, 0x44};
    std::memcpy(raw + 4, word1, 4);
    raw[22] = 0x12;
    raw[23] = 0x34;
    // Sample 1: x = 512, y = -2, z = 0x0102, lean stays as stored (little-endian 5).
    const BYTE s1[8] = {0x02, 0x00, 0xFF, 0xFE, 0x01, 0x02, 0x05, 0x00};
    std::memcpy(raw + 344 + 8, s1, 8);
    const BYTE seq[4] = {0x00, 0x00, 0x00, 0x2A};
    std::memcpy(raw + 1304, seq, 4);
    raw[1308] = 0xAB;
    raw[100] = 0xCD;  // opaque bytes stay in place

    const CarInfoRecord r = CarInfoRecordFromCard(raw);
    EXPECT_TRUE(r.IsValid());
    EXPECT_EQ(r.word1, 0x11223344u);
    EXPECT_EQ(r.word22, 0x1234);
    EXPECT_EQ(r.samples[1].x, 512);
    EXPECT_EQ(r.samples[1].y, -2);
    EXPECT_EQ(r.samples[1].z, 0x0102);
    EXPECT_EQ(r.samples[1].lean, 5);
    EXPECT_EQ(r.sequence, 42u);
    EXPECT_EQ(r.checksum, 0xABu);
    EXPECT_EQ(reinterpret_cast<const BYTE*>(&r)[100], 0xCD);
}

TEST(CarInfoRecordLayout, SamplesAndTextAreBounded)
{
    CarInfoRecord r = MakeCarInfoRecord();
    r.sampleCount = 250;  // a hostile card record
    EXPECT_EQ(r.SampleCount(), 100);
    r.sampleCount = 99;
    r.AddSample(1, 2, 3, 200);
    EXPECT_EQ(r.samples[99].lean, 90);
    EXPECT_EQ(r.sampleCount, 0);  // 100 wraps to 0
    r.AddSample(4, 5, 6, -200);
    EXPECT_EQ(r.samples[0].x, 4);
    EXPECT_EQ(r.samples[0].lean, -90);
    EXPECT_EQ(r.sampleCount, 1);

    std::memset(r.nmea, 'A', sizeof r.nmea);
    EXPECT_EQ(r.NmeaText().size(), 160u);
    std::strcpy(r.nmea, "$GPRMC,1");
    EXPECT_EQ(r.NmeaText(), "$GPRMC,1");
}

TEST(ChannelRecords, RingWrapsAndTheTemplateIsTakenOncePerReset)
{
    HJTV h = JtvCreate();
    CTSChn& ch = reinterpret_cast<CJtvCtrl*>(h)->m_channel;
    CarInfoRecord r = MakeCarInfoRecord();
    r.sampleCount = 5;
    r.samples[0].x = 77;
    r.samples[20].x = 88;  // beyond the 150 cleared bytes
    r.status = 1;
    ASSERT_TRUE(ch.PushCarInfo(r));
    CarInfoRecord t;
    ASSERT_TRUE(ch.GetTemplate(t));
    EXPECT_EQ(t.sampleCount, 0);
    EXPECT_EQ(t.samples[0].x, 0);
    EXPECT_EQ(t.samples[20].x, 88);
    EXPECT_EQ(t.status, 1);
    for (int i = 1; i < kCarInfoRingSize; ++i) {
        r.status = static_cast<BYTE>(i);
        ch.PushCarInfo(r);
    }
    EXPECT_EQ(ch.WriteIndex(), 0);
    r.status = 200;
    ch.PushCarInfo(r);  // the 4,097th record overwrites slot 0
    EXPECT_EQ(ch.RingSlot(0).status, 200);
    EXPECT_EQ(ch.CurrentRecord(), &ch.RingSlot(0));
    ASSERT_TRUE(ch.GetTemplate(t));
    EXPECT_EQ(t.status, 1);  // kept until reset

    ch.Reset();
    EXPECT_EQ(ch.WriteIndex(), 0);
    r.status = 9;
    ch.PushCarInfo(r);
    ch.GetTemplate(t);
    EXPECT_EQ(t.status, 1);  // a stop leaves the template
    ch.ResetTemplate();
    ch.PushCarInfo(r);
    ch.GetTemplate(t);
    EXPECT_EQ(t.status, 9);
    JtvDestroy(h);
}

TEST(ObdText, BasicFieldsOfATwentyByteText)
{
    ObdValues v;
    const char text[] = "XXXX3C0BB81E5A3C5000";
    ASSERT_TRUE(ParseObdHexText(text, 20, 412, v));
    EXPECT_EQ(v.position, 412);
    EXPECT_EQ(v.speed, 60);
    EXPECT_EQ(v.rpm, 3000);
    EXPECT_EQ(v.engineLoad, 30);
    EXPECT_DOUBLE_EQ(v.batteryVoltage, 19.0);
    EXPECT_EQ(v.engineTemperature, 20);
    EXPECT_EQ(v.throttle, 80);
    EXPECT_EQ(v.flags, 0);
    EXPECT_EQ(v.maf, 0);
    EXPECT_EQ(v.distance, 0);
    EXPECT_EQ(v.fuelEconomy, 0.0);
    EXPECT_TRUE(v.valid);
}

TEST(ObdText, ExtendedFieldsNeedTwentyEightBytes)
{
    ObdValues v;
    const char text[] = "0000000000000000008014030A7B";
    ASSERT_TRUE(ParseObdHexText(text, 28, 1, v));
    EXPECT_EQ(v.flags & kObdEmergencyBraking, kObdEmergencyBraking);
    EXPECT_EQ(v.maf, 0x14 * 3);
    EXPECT_EQ(v.distance, 0x030A);
    EXPECT_DOUBLE_EQ(v.fuelEconomy, 12.3);
    // 27 bytes: the extended fields are not read.
    ASSERT_TRUE(ParseObdHexText(text, 27, 1, v));
    EXPECT_EQ(v.maf, 0);
    EXPECT_EQ(v.distance, 0);
}

TEST(ObdText, ShortAndMalformedTextsLeaveTheValuesAlone)
{
    ObdValues v;
    ASSERT_TRUE(ParseObdHexText("XXXX3C0BB81E5A3C5000", 20, 7, v));
    EXPECT_FALSE(ParseObdHexText("XXXX3C0BB81E5A3C500", 19, 8, v));
    EXPECT_FALSE(ParseObdHexText("XXXX3C0BB81E5AZZ5000", 20, 8, v));
    EXPECT_FALSE(ParseObdHexText("XXXX3C0BB81E5A3C5000GG000000", 28, 8, v));
    EXPECT_FALSE(ParseObdHexText(nullptr, 20, 8, v));
    EXPECT_EQ(v.position, 7);
    EXPECT_EQ(v.speed, 60);
    ASSERT_TRUE(ParseObdHexText("xxxx3c0bb81e5a3c5000", 20, 9, v));  // lower-case digits are hex too
    EXPECT_EQ(v.rpm, 3000);
}
