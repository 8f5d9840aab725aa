// G.711 expansion over every code, and the byte-per-sample decoder contract.

#include "engine/audiodecoders.h"

#include <gtest/gtest.h>

extern "C" {
#include <spandsp.h>
}

#include <cstdint>
#include <vector>

namespace {

TEST(G711, EveryCodeMatchesTheReference)
{
    G711AToPcm alaw;
    G711UToPcm ulaw;
    for (int code = 0; code < 256; ++code) {
        const auto byte = static_cast<std::uint8_t>(code);
        EXPECT_EQ(alaw.DecodeSample(byte), alaw_to_linear(byte)) << "A-law " << code;
        EXPECT_EQ(ulaw.DecodeSample(byte), ulaw_to_linear(byte)) << "mu-law " << code;
    }
    // Values of the recommendation's tables, independent of any library.
    EXPECT_EQ(alaw.DecodeSample(0xD5), 8);
    EXPECT_EQ(alaw.DecodeSample(0x55), -8);
    EXPECT_EQ(alaw.DecodeSample(0x2A), -32256);
    EXPECT_EQ(alaw.DecodeSample(0xAA), 32256);
    EXPECT_EQ(ulaw.DecodeSample(0x00), -32124);
    EXPECT_EQ(ulaw.DecodeSample(0x80), 32124);
    EXPECT_EQ(ulaw.DecodeSample(0xFF), 0);
    EXPECT_EQ(ulaw.DecodeSample(0x7F), 0);
}

TEST(G711, DecodeContract)
{
    G711UToPcm dec;
    ASSERT_EQ(dec.Open({}), 0);
    EXPECT_EQ(dec.GetFrameSamples(), 160);
    EXPECT_EQ(dec.GetOutputFrameBytes(), 320);

    std::vector<std::uint8_t> in(160);
    for (std::size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<std::uint8_t>(i * 37);
    std::vector<std::int16_t> out(200, 0x5A5A);

    int outSize = 0;
    EXPECT_EQ(dec.Decode(out.data(), &outSize, in.data(), 160), -2);
    outSize = 319;
    EXPECT_EQ(dec.Decode(out.data(), &outSize, in.data(), 160), -2);
    EXPECT_EQ(out[0], 0x5A5A);  // nothing written on refusal
    outSize = 400;
    EXPECT_EQ(dec.Decode(out.data(), &outSize, in.data(), 160), 320);
    EXPECT_EQ(outSize, 320);
    for (std::size_t i = 0; i < 160; ++i)
        ASSERT_EQ(out[i], ulaw_to_linear(in[i]));
    EXPECT_EQ(out[160], 0x5A5A);  // nothing past the samples

    EXPECT_EQ(dec.Decode(nullptr, &outSize, in.data(), 1), -1);
    EXPECT_EQ(dec.Decode(out.data(), nullptr, in.data(), 1), -1);
    EXPECT_EQ(dec.Decode(out.data(), &outSize, nullptr, 1), -1);
    EXPECT_EQ(dec.Decode(out.data(), &outSize, in.data(), 0), -1);
    EXPECT_EQ(dec.Decode(out.data(), &outSize, in.data(), -3), -1);
}

}  // namespace
