#include "engine/H264Decoder.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace {

// Encodes `count` flat pictures of one colour (luma and the two chroma levels) with libx264;
// empty when it is unavailable.
std::vector<std::vector<uint8_t>> EncodeStream(AVPixelFormat format, int width, int height, int count, const uint8_t yuv[3])
{
    std::vector<std::vector<uint8_t>> packets;
    av_log_set_level(AV_LOG_ERROR);
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (codec == nullptr)
        return packets;
    AVCodecContext* enc = avcodec_alloc_context3(codec);
    enc->width = width;
    enc->height = height;
    enc->pix_fmt = format;
    enc->time_base = AVRational{1, 25};
    enc->gop_size = 10;
    enc->max_b_frames = 0;
    enc->thread_count = 1;
    if (avcodec_open2(enc, codec, nullptr) < 0) {
        avcodec_free_context(&enc);
        return packets;
    }
    AVFrame* f = av_frame_alloc();
    f->format = format;
    f->width = width;
    f->height = height;
    av_frame_get_buffer(f, 0);
    AVPacket* p = av_packet_alloc();
    auto drain = [&] {
        while (avcodec_receive_packet(enc, p) == 0) {
            packets.emplace_back(p->data, p->data + p->size);
            av_packet_unref(p);
        }
    };
    for (int i = 0; i < count; ++i) {
        av_frame_make_writable(f);
        for (int plane = 0; plane < 3 && f->data[plane] != nullptr; ++plane) {
            const int h = plane == 0 ? height : height / 2;
            for (int y = 0; y < h; ++y)
                memset(f->data[plane] + y * f->linesize[plane], yuv[plane], f->linesize[plane]);
        }
        f->pts = i;
        avcodec_send_frame(enc, f);
        drain();
    }
    avcodec_send_frame(enc, nullptr);
    drain();
    av_packet_free(&p);
    av_frame_free(&f);
    avcodec_free_context(&enc);
    return packets;
}

// Decodes every packet; returns the pictures received and keeps the last one in `last`.
int DecodeAll(H264DecoderState& s, const std::vector<std::vector<uint8_t>>& packets, AVFrame* last)
{
    int pictures = 0;
    auto receive = [&] {
        while (avcodec_receive_frame(s.context, s.frame) == 0) {
            ++pictures;
            av_frame_unref(last);
            av_frame_move_ref(last, s.frame);
        }
    };
    for (const auto& bytes : packets) {
        av_new_packet(s.packet, static_cast<int>(bytes.size()));
        memcpy(s.packet->data, bytes.data(), bytes.size());
        avcodec_send_packet(s.context, s.packet);
        av_packet_unref(s.packet);
        receive();
    }
    avcodec_send_packet(s.context, nullptr);
    receive();
    return pictures;
}

// FFmpeg's own decoding and conversion of a raw H.264 stream into BGRA: its last picture.
std::vector<uint8_t> ReferenceLastPicture(const TempDir& dir, const std::vector<std::vector<uint8_t>>& packets,
                                          std::size_t pictureBytes)
{
    std::string stream;
    for (const auto& p : packets)
        stream.append(p.begin(), p.end());
    const std::string in = dir.write("stream.h264", stream);
    const std::string out = dir.file("stream.bgra");
    const std::string cmd = "ffmpeg -v error -y -f h264 -i '" + in + "' -pix_fmt bgra -f rawvideo '" + out + "'";
    if (std::system(cmd.c_str()) != 0)
        return {};
    std::ifstream file(out, std::ios::binary);
    const std::vector<uint8_t> all{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (all.size() < pictureBytes)
        return {};
    return std::vector<uint8_t>(all.end() - static_cast<std::ptrdiff_t>(pictureBytes), all.end());
}

}  // namespace

TEST(H264Decoder, OpensReusesAndCloses)
{
    H264DecoderState s;
    ASSERT_TRUE(OpenH264Decoder(s, 320, 240, 32));
    ASSERT_NE(s.codec, nullptr);
    EXPECT_EQ(s.codec->id, AV_CODEC_ID_H264);
    SwsContext* scaler = s.scaler;
    ASSERT_NE(scaler, nullptr);
    ASSERT_TRUE(OpenH264Decoder(s, 320, 240, 32));
    EXPECT_EQ(s.scaler, scaler);  // same size: the scaler is kept
    CloseH264Decoder(s);
    EXPECT_EQ(s.codec, nullptr);
    EXPECT_EQ(s.context, nullptr);
    EXPECT_EQ(s.scaler, nullptr);
    EXPECT_EQ(s.width, 320);  // the picture values stay

    H264DecoderState t;
    EXPECT_FALSE(OpenH264Decoder(t, 320, 240, 24));
    EXPECT_NE(t.codec, nullptr);  // the decoder itself was opened; the close frees it
    CloseH264Decoder(t);

    H264DecoderState u;
    ASSERT_TRUE(OpenH264Decoder(u, 0, 240, 32));
    EXPECT_NE(u.codec, nullptr);
    EXPECT_EQ(u.scaler, nullptr);
    CloseH264Decoder(u);
}

TEST(H264Decoder, DecodesAndConvertsAStreamAsFFmpegDoes)
{
    struct Case {
        AVPixelFormat format;
        uint8_t yuv[3];
    };
    // A colour far from grey in both ranges, so that a wrong range or a wrong matrix shows.
    const Case cases[] = {{AV_PIX_FMT_YUV420P, {120, 90, 170}},
                          {AV_PIX_FMT_YUVJ420P, {120, 90, 170}},
                          {AV_PIX_FMT_GRAY8, {90, 128, 128}}};
    TempDir dir;
    constexpr int kW = 64, kH = 48;
    int decoded = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(av_get_pix_fmt_name(c.format));
        const auto packets = EncodeStream(c.format, kW, kH, 12, c.yuv);
        if (packets.empty()) {
            // This encoder build does not take the format; nothing to decode.
            continue;
        }
        H264DecoderState s;
        ASSERT_TRUE(OpenH264Decoder(s, kW, kH, 32));
        AVFrame* last = av_frame_alloc();
        EXPECT_EQ(DecodeAll(s, packets, last), 12);
        ASSERT_TRUE(FitH264Scaler(s, last));
        EXPECT_EQ(s.scalerSourceFormat, last->format);
        std::vector<uint8_t> bgra(kW * kH * 4);
        uint8_t* dst[4] = {bgra.data()};
        int stride[4] = {kW * 4};
        ASSERT_EQ(sws_scale(s.scaler, last->data, last->linesize, 0, kH, dst, stride), kH);
        av_frame_free(&last);
        CloseH264Decoder(s);

        const std::vector<uint8_t> reference = ReferenceLastPicture(dir, packets, bgra.size());
        ASSERT_EQ(reference.size(), bgra.size());
        int worst = 0;
        for (std::size_t i = 0; i < bgra.size(); ++i)
            worst = std::max(worst, std::abs(int(bgra[i]) - int(reference[i])));
        EXPECT_LE(worst, 3) << "pixel (32,24): ours " << int(bgra[(24 * kW + 32) * 4]) << ","
                            << int(bgra[(24 * kW + 32) * 4 + 1]) << "," << int(bgra[(24 * kW + 32) * 4 + 2])
                            << " FFmpeg's " << int(reference[(24 * kW + 32) * 4]) << ","
                            << int(reference[(24 * kW + 32) * 4 + 1]) << "," << int(reference[(24 * kW + 32) * 4 + 2]);
        ++decoded;
    }
    EXPECT_GE(decoded, 2);  // 4:2:0 in both ranges at least; monochrome where the encoder has it
}
