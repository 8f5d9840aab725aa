// G.711 expansion over every code, and the byte-per-sample decoder contract.

#include "engine/audiodecoders.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
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

// FFmpeg's decoder of the law, fed every code once; empty when it cannot decode them.
std::vector<std::int16_t> FFmpegExpansion(AVCodecID id)
{
    std::vector<std::int16_t> out;
    const AVCodec* codec = avcodec_find_decoder(id);
    AVCodecContext* ctx = codec ? avcodec_alloc_context3(codec) : nullptr;
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    if (ctx && pkt && frame) {
        ctx->sample_rate = 8000;
        av_channel_layout_default(&ctx->ch_layout, 1);
        if (avcodec_open2(ctx, codec, nullptr) == 0 && av_new_packet(pkt, 256) == 0) {
            for (int code = 0; code < 256; ++code)
                pkt->data[code] = static_cast<std::uint8_t>(code);
            if (avcodec_send_packet(ctx, pkt) == 0 && avcodec_receive_frame(ctx, frame) == 0 &&
                frame->format == AV_SAMPLE_FMT_S16) {
                const auto* samples = reinterpret_cast<const std::int16_t*>(frame->data[0]);
                out.assign(samples, samples + frame->nb_samples);
            }
        }
    }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&ctx);
    return out;
}

TEST(G711, EveryCodeMatchesFFmpeg)
{
    G711AToPcm alaw;
    G711UToPcm ulaw;
    const std::vector<std::int16_t> a = FFmpegExpansion(AV_CODEC_ID_PCM_ALAW);
    const std::vector<std::int16_t> u = FFmpegExpansion(AV_CODEC_ID_PCM_MULAW);
    ASSERT_EQ(a.size(), 256u);
    ASSERT_EQ(u.size(), 256u);
    for (int code = 0; code < 256; ++code) {
        const auto byte = static_cast<std::uint8_t>(code);
        EXPECT_EQ(alaw.DecodeSample(byte), a[code]) << "A-law " << code;
        EXPECT_EQ(ulaw.DecodeSample(byte), u[code]) << "mu-law " << code;
    }
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
