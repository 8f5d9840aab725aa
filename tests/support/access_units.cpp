#include "tests/support/access_units.h"

extern "C" {
#include <libavcodec/packet.h>
#include <libavformat/avformat.h>
}

std::vector<AccessUnit> ReadAccessUnits(const std::string& path)
{
    std::vector<AccessUnit> out;
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0)
        return out;
    avformat_find_stream_info(fmt, nullptr);
    const int video = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    AVPacket* pkt = av_packet_alloc();
    while (video >= 0 && av_read_frame(fmt, pkt) >= 0) {
        if (pkt->stream_index == video) {
            AccessUnit au;
            au.data.assign(pkt->data, pkt->data + pkt->size);
            au.key = (pkt->flags & AV_PKT_FLAG_KEY) != 0;
            au.pts_us = av_rescale_q(pkt->pts, fmt->streams[video]->time_base, AVRational{1, 1000000});
            out.push_back(std::move(au));
        }
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    avformat_close_input(&fmt);
    return out;
}
