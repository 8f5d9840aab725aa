// G.726 decoding checked sample for sample against the spandsp reference coder.

#include "engine/audiodecoders.h"
#include "engine/g726.h"

#include <gtest/gtest.h>

extern "C" {
#include <spandsp.h>
}

#include <cmath>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

struct Rate {
    int bits;
    int bitRate;
    int codecId;
};
constexpr Rate kRates[] = {{2, 16000, 32}, {3, 24000, 33}, {4, 32000, 34}, {5, 40000, 35}};

// One code per byte through the reference decoder.
std::vector<std::int16_t> ReferenceDecode(int bitRate, int packing, const std::vector<std::uint8_t>& data)
{
    g726_state_t* s = g726_init(nullptr, bitRate, G726_ENCODING_LINEAR, packing);
    std::vector<std::int16_t> pcm(data.size() * 8 + 8);
    const int n = g726_decode(s, pcm.data(), data.data(), static_cast<int>(data.size()));
    g726_free(s);
    pcm.resize(static_cast<std::size_t>(n));
    return pcm;
}

std::vector<std::uint8_t> ReferenceEncode(int bitRate, int packing, const std::vector<std::int16_t>& pcm)
{
    g726_state_t* s = g726_init(nullptr, bitRate, G726_ENCODING_LINEAR, packing);
    std::vector<std::uint8_t> data(pcm.size() + 8);
    const int n = g726_encode(s, data.data(), pcm.data(), static_cast<int>(pcm.size()));
    g726_free(s);
    data.resize(static_cast<std::size_t>(n));
    return data;
}

// Two tones, a sweep and noise, with loud and quiet stretches: exercises adaptation both ways.
std::vector<std::int16_t> SpeechLikePcm(std::size_t samples, unsigned seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 600.0);
    std::vector<std::int16_t> pcm(samples);
    for (std::size_t i = 0; i < samples; ++i) {
        const double t = static_cast<double>(i) / 8000.0;
        const double envelope = (i / 4000) % 3 == 2 ? 0.02 : 1.0;
        double v = 9000 * std::sin(2 * M_PI * 440 * t) + 5000 * std::sin(2 * M_PI * (300 + 900 * t) * t)
                   + noise(rng);
        v *= envelope;
        if ((i / 8000) % 4 == 3)
            v = 32767 * std::sin(2 * M_PI * 1000 * t);  // full-scale tone
        pcm[i] = static_cast<std::int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
    }
    return pcm;
}

std::vector<int> DecodeOurs(int codecId, const std::vector<std::uint8_t>& codes)
{
    G726Decoder d{};
    d.Init(codecId);
    std::vector<int> out;
    out.reserve(codes.size());
    for (std::uint8_t c : codes)
        out.push_back(d.Decode(c));
    return out;
}

void ExpectSameSamples(const std::vector<std::int16_t>& reference, const std::vector<int>& ours, const char* what)
{
    ASSERT_EQ(reference.size(), ours.size()) << what;
    for (std::size_t i = 0; i < ours.size(); ++i)
        ASSERT_EQ(reference[i], ours[i]) << what << " differs first at sample " << i;
}

TEST(G726Decoder, BitExactOnEncodedSignals)
{
    const std::vector<std::int16_t> pcm = SpeechLikePcm(8000 * 12, 7);
    for (const Rate& r : kRates) {
        const std::vector<std::uint8_t> codes = ReferenceEncode(r.bitRate, G726_PACKING_NONE, pcm);
        ExpectSameSamples(ReferenceDecode(r.bitRate, G726_PACKING_NONE, codes), DecodeOurs(r.codecId, codes),
                          "encoded signal");
    }
}

TEST(G726Decoder, BitExactOnRandomAndSaturatingCodeStreams)
{
    std::mt19937 rng(12345);
    for (const Rate& r : kRates) {
        const int maxCode = (1 << r.bits) - 1;
        std::vector<std::uint8_t> codes;
        std::uniform_int_distribution<int> any(0, maxCode);
        for (int i = 0; i < 300000; ++i)
            codes.push_back(static_cast<std::uint8_t>(any(rng)));
        // Long runs of the largest positive and negative codes drive the scale factors and the
        // predictor coefficients to their limits.
        const int maxPositive = (1 << (r.bits - 1)) - 1;
        for (int run = 0; run < 6; ++run) {
            const int code = run % 2 ? maxCode - maxPositive : maxPositive;
            codes.insert(codes.end(), 40000, static_cast<std::uint8_t>(code));
            for (int i = 0; i < 500; ++i)
                codes.push_back(static_cast<std::uint8_t>(i % 2 ? maxPositive : maxCode - maxPositive));
        }
        ExpectSameSamples(ReferenceDecode(r.bitRate, G726_PACKING_NONE, codes), DecodeOurs(r.codecId, codes),
                          "random codes");
    }
}

TEST(G726Decoder, IdsSelectTheRate)
{
    G726Decoder d{};
    for (int id : {0, 31, 36, 47, 52, 51 + 256, -34}) {
        d.Init(id);
        EXPECT_EQ(d.decode, nullptr) << id;
        EXPECT_EQ(d.Decode(5), -1);
    }
    for (const Rate& r : kRates) {
        G726Decoder low{};
        G726Decoder high{};
        low.Init(r.codecId);
        high.Init(r.codecId + 16);
        ASSERT_NE(low.decode, nullptr);
        EXPECT_EQ(low.decode, high.decode);
        EXPECT_EQ(low.codecId, r.codecId);
        EXPECT_EQ(low.decode, G726RoutineForBits(r.bits));
    }
}

TEST(G726Decoder, InitRestartsTheStream)
{
    // A decoder re-initialised mid-stream decodes like a fresh one.
    G726Decoder used{};
    G726Decoder fresh{};
    used.Init(34);
    for (int c = 0; c < 1000; ++c)
        used.Decode(c * 7);
    used.count0 = 5;
    used.count1 = 9;
    used.Init(50);
    fresh.Init(34);
    EXPECT_EQ(used.count0 + used.count1, 0);
    for (int c = 0; c < 1000; ++c)
        ASSERT_EQ(used.Decode(c * 5), fresh.Decode(c * 5));
}

TEST(G726Decoder, ZeroCodesStaySilentAtHigherRates)
{
    // At 16 kbit/s code 0 is a small positive step, so only the other rates decode it to silence.
    for (int id : {33, 34, 35}) {
        G726Decoder d{};
        d.Init(id);
        for (int i = 0; i < 2000; ++i)
            ASSERT_EQ(d.Decode(0), 0) << id << " at " << i;
    }
}

TEST(G726Decoder, OtherOutputKindsStillAdvanceTheState)
{
    G726Decoder linear{};
    G726Decoder other{};
    linear.Init(35);
    other.Init(35);
    for (int i = 0; i < 500; ++i) {
        const int code = (i * 13) & 31;
        linear.Decode(code);
        EXPECT_EQ(other.Decode(code, 1), -1);
    }
    EXPECT_EQ(std::memcmp(&linear.state, &other.state, sizeof linear.state), 0);
    EXPECT_EQ(linear.Decode(9), other.Decode(9));
}

TEST(G726ToPcm, PackedMsbFirstMatchesReference)
{
    const std::vector<std::int16_t> pcm = SpeechLikePcm(8000 * 3, 99);
    for (const Rate& r : kRates) {
        const std::vector<std::uint8_t> packed = ReferenceEncode(r.bitRate, G726_PACKING_LEFT, pcm);
        const std::vector<std::int16_t> reference = ReferenceDecode(r.bitRate, G726_PACKING_LEFT, packed);

        // Fed in uneven pieces so codes straddle the calls.
        G726ToPcm dec;
        ASSERT_EQ(dec.Open({r.bits}), 0);
        EXPECT_EQ(dec.BitRate(), r.bitRate);
        std::vector<std::int16_t> ours;
        std::size_t pos = 0;
        for (int piece = 1; pos < packed.size(); piece = piece % 37 + 1) {
            const int n = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(piece), packed.size() - pos));
            std::vector<std::int16_t> out(200);
            int outSize = static_cast<int>(out.size() * 2);
            const int got = dec.Decode(out.data(), &outSize, packed.data() + pos, n);
            ASSERT_GE(got, 0);
            ASSERT_EQ(got, outSize);
            ours.insert(ours.end(), out.begin(), out.begin() + got / 2);
            pos += static_cast<std::size_t>(n);
        }
        ASSERT_EQ(ours.size(), reference.size()) << r.bitRate;
        for (std::size_t i = 0; i < ours.size(); ++i)
            ASSERT_EQ(ours[i], reference[i]) << r.bitRate << " at " << i;
    }
}

TEST(G726ToPcm, RefusesUnusableCodeSizesAndShortOutput)
{
    G726ToPcm dec;
    std::int16_t out[64];
    int outSize = sizeof out;
    const std::uint8_t in[8] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
    EXPECT_EQ(dec.Decode(out, &outSize, in, 8), -1);  // not opened
    for (int bits : {0, 1, 6, 7, 8, 32, -4}) {
        EXPECT_EQ(dec.Open({bits}), -1) << bits;
        EXPECT_EQ(dec.Decode(out, &outSize, in, 8), -1) << bits;
    }

    ASSERT_EQ(dec.Open({2}), 0);
    EXPECT_EQ(dec.GetFrameSamples(), 160);
    EXPECT_EQ(dec.GetOutputFrameBytes(), 320);
    // 3 bytes of 2-bit codes are 12 samples: 22 bytes of room is too little, and nothing is
    // consumed by the refusal.
    outSize = 22;
    EXPECT_EQ(dec.Decode(out, &outSize, in, 3), -2);
    outSize = 24;
    EXPECT_EQ(dec.Decode(out, &outSize, in, 3), 24);
    EXPECT_EQ(outSize, 24);

    G726ToPcm fresh;
    ASSERT_EQ(fresh.Open({2}), 0);
    std::int16_t again[12];
    int againSize = sizeof again;
    ASSERT_EQ(fresh.Decode(again, &againSize, in, 3), 24);
    EXPECT_EQ(std::memcmp(out, again, sizeof again), 0);

    // 5-bit codes: one byte completes one code and leaves 3 bits; the next byte completes one more.
    ASSERT_EQ(dec.Open({5}), 0);
    outSize = sizeof out;
    EXPECT_EQ(dec.Decode(out, &outSize, in, 1), 2);
    outSize = sizeof out;
    EXPECT_EQ(dec.Decode(out, &outSize, in + 1, 1), 4);  // 3 + 8 bits: two codes, 1 left
    outSize = sizeof out;
    EXPECT_EQ(dec.Decode(out, &outSize, in + 2, 1), 2);

    EXPECT_EQ(dec.Decode(nullptr, &outSize, in, 1), -1);
    EXPECT_EQ(dec.Decode(out, nullptr, in, 1), -1);
    EXPECT_EQ(dec.Decode(out, &outSize, nullptr, 1), -1);
    EXPECT_EQ(dec.Decode(out, &outSize, in, 0), -1);
}

}  // namespace
