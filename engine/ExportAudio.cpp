#include "engine/ExportAudio.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <cstring>

namespace {
constexpr int kOutRate = 8000;
}

CExportAudio::CExportAudio() = default;

CExportAudio::~CExportAudio()
{
    Reset();
}

void CExportAudio::Reset()
{
    swr_free(&swr_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&ctx_);
    swrRate_ = 0;
    swrFormat_ = -1;
    swrChannels_ = 0;
}

bool CExportAudio::Decode(const std::uint8_t* data, std::size_t size, std::vector<std::int16_t>& pcm)
{
    pcm.clear();
    if (ctx_ == nullptr) {
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_AAC);
        ctx_ = codec ? avcodec_alloc_context3(codec) : nullptr;
        packet_ = av_packet_alloc();
        frame_ = av_frame_alloc();
        if (ctx_ == nullptr || packet_ == nullptr || frame_ == nullptr || avcodec_open2(ctx_, codec, nullptr) < 0) {
            Reset();
            return false;
        }
    }
    if (data == nullptr || size == 0 || size > (1u << 24))
        return true;
    if (av_new_packet(packet_, static_cast<int>(size)) < 0)
        return true;
    std::memcpy(packet_->data, data, size);
    const int sent = avcodec_send_packet(ctx_, packet_);
    av_packet_unref(packet_);
    if (sent < 0)
        return true;
    while (avcodec_receive_frame(ctx_, frame_) == 0) {
        Convert(frame_, pcm);
        av_frame_unref(frame_);
    }
    return true;
}

bool CExportAudio::Convert(const AVFrame* frame, std::vector<std::int16_t>& pcm)
{
    const int channels = frame->ch_layout.nb_channels;
    if (frame->sample_rate <= 0 || channels <= 0 || frame->nb_samples <= 0)
        return false;
    if (swr_ == nullptr || swrRate_ != frame->sample_rate || swrFormat_ != frame->format || swrChannels_ != channels) {
        swr_free(&swr_);
        AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
        AVChannelLayout in{};
        if (av_channel_layout_copy(&in, &frame->ch_layout) < 0)
            return false;
        const int made = swr_alloc_set_opts2(&swr_, &mono, AV_SAMPLE_FMT_S16, kOutRate, &in,
                                             static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&in);
        if (made < 0 || swr_init(swr_) < 0) {
            swr_free(&swr_);
            return false;
        }
        swrRate_ = frame->sample_rate;
        swrFormat_ = frame->format;
        swrChannels_ = channels;
    }
    const int room = swr_get_out_samples(swr_, frame->nb_samples);
    if (room <= 0)
        return false;
    const std::size_t at = pcm.size();
    pcm.resize(at + static_cast<std::size_t>(room));
    auto* out = reinterpret_cast<std::uint8_t*>(pcm.data() + at);
    const int got = swr_convert(swr_, &out, room, const_cast<const std::uint8_t**>(frame->extended_data), frame->nb_samples);
    pcm.resize(at + static_cast<std::size_t>(got > 0 ? got : 0));
    return got >= 0;
}
