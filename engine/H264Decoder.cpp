#include "engine/H264Decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace {

AVPixelFormat OutputFormat(int bits_per_pixel)
{
    switch (bits_per_pixel) {
    case 12:
        return AV_PIX_FMT_YUV420P;
    case 16:
        return AV_PIX_FMT_RGB565LE;
    case 32:
        return AV_PIX_FMT_BGRA;
    default:
        return AV_PIX_FMT_NONE;
    }
}

bool MakeScaler(H264DecoderState& s, int width, int height, int bits_per_pixel, AVPixelFormat source)
{
    const AVPixelFormat out = OutputFormat(bits_per_pixel);
    if (out == AV_PIX_FMT_NONE || !sws_isSupportedInput(source))
        return false;
    SwsContext* scaler = sws_getCachedContext(s.scaler, width, height, source, width, height, out,
                                              SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
    if (scaler == nullptr) {
        s.scaler = nullptr;  // the cached call frees the old context when it fails
        return false;
    }
    s.scaler = scaler;
    s.scalerSourceFormat = source;
    s.width = width;
    s.height = height;
    s.bitsPerPixel = bits_per_pixel;
    return true;
}

}  // namespace

bool OpenH264Decoder(H264DecoderState& s, int width, int height, int bits_per_pixel)
{
    if (s.codec == nullptr) {
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
        if (codec == nullptr)
            return false;
        if (s.context == nullptr) {
            s.context = avcodec_alloc_context3(codec);
            if (s.context == nullptr)
                return false;
        }
        // One picture out per packet in: frame threading would delay pictures.
        s.context->thread_count = 1;
        if (avcodec_open2(s.context, codec, nullptr) < 0) {
            // A context whose open failed is not reopened: the next attempt starts afresh.
            avcodec_free_context(&s.context);
            return false;
        }
        s.codec = codec;
    }
    if (s.frame == nullptr) {
        s.frame = av_frame_alloc();
        if (s.frame == nullptr)
            return false;
    }
    if (s.packet == nullptr) {
        s.packet = av_packet_alloc();
        if (s.packet == nullptr)
            return false;
    } else {
        av_packet_unref(s.packet);
    }

    if (width == 0 || height == 0 || bits_per_pixel == 0) {
        s.width = width;
        s.height = height;
        s.bitsPerPixel = bits_per_pixel;
        return true;
    }
    const AVPixelFormat source =
        s.frame->format >= 0 ? static_cast<AVPixelFormat>(s.frame->format) : AV_PIX_FMT_YUV420P;
    if (s.scaler != nullptr && s.width == width && s.height == height && s.bitsPerPixel == bits_per_pixel &&
        s.scalerSourceFormat == source)
        return true;
    if (width < 0 || height < 0)
        return false;
    return MakeScaler(s, width, height, bits_per_pixel, source);
}

bool FitH264Scaler(H264DecoderState& s, const AVFrame* picture)
{
    if (picture == nullptr || picture->format < 0 || picture->width <= 0 || picture->height <= 0)
        return false;
    const int bpp = s.bitsPerPixel != 0 ? s.bitsPerPixel : 32;
    if (s.scaler != nullptr && s.scalerSourceFormat == picture->format && s.width == picture->width &&
        s.height == picture->height && s.bitsPerPixel == bpp)
        return true;
    return MakeScaler(s, picture->width, picture->height, bpp, static_cast<AVPixelFormat>(picture->format));
}

void CloseH264Decoder(H264DecoderState& s)
{
    s.codec = nullptr;
    avcodec_free_context(&s.context);
    av_frame_free(&s.frame);
    av_packet_free(&s.packet);
    sws_freeContext(s.scaler);
    s.scaler = nullptr;
    s.scalerSourceFormat = -1;
}
