#include "tests/writers/helpers.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>

void QuietAv()
{
    av_log_set_level(AV_LOG_ERROR);
}

std::vector<SourcePacket> ReadPackets(const std::string& path)
{
    std::vector<SourcePacket> out;
    AVFormatContext* ctx = nullptr;
    if (avformat_open_input(&ctx, path.c_str(), nullptr, nullptr) < 0)
        return out;
    avformat_find_stream_info(ctx, nullptr);
    AVPacket* p = av_packet_alloc();
    while (av_read_frame(ctx, p) >= 0) {
        const AVMediaType type = ctx->streams[p->stream_index]->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_AUDIO) {
            SourcePacket s;
            s.video = type == AVMEDIA_TYPE_VIDEO;
            s.key = p->flags & AV_PKT_FLAG_KEY;
            s.data.assign(p->data, p->data + p->size);
            out.push_back(std::move(s));
        }
        av_packet_unref(p);
    }
    av_packet_free(&p);
    avformat_close_input(&ctx);
    return out;
}

namespace {
std::int64_t ReadTime(const std::uint8_t* b)
{
    return (std::int64_t(b[0] >> 1) & 7) << 30 | std::int64_t(b[1]) << 22 | std::int64_t(b[2] >> 1) << 15 |
           std::int64_t(b[3]) << 7 | (b[4] >> 1);
}

bool FinishPes(std::vector<std::uint8_t>& raw, Pes* pes)
{
    if (raw.size() < 9 || raw[0] || raw[1] || raw[2] != 1)
        return false;
    pes->declared_length = raw[4] << 8 | raw[5];
    const int flags = raw[7] >> 6;
    const std::size_t header = 9 + raw[8];
    if (header > raw.size())
        return false;
    if (flags >= 2)
        pes->pts = ReadTime(&raw[9]);
    if (flags == 3)
        pes->dts = ReadTime(&raw[14]);
    pes->payload.assign(raw.begin() + std::ptrdiff_t(header), raw.end());
    return true;
}
}  // namespace

TsScan ScanTs(const std::vector<std::uint8_t>& bytes)
{
    TsScan scan;
    std::map<std::uint16_t, int> last_cc;
    std::map<std::uint16_t, std::vector<std::uint8_t>> open;
    if (bytes.size() % 188)
        scan.error = "size not a multiple of 188";
    for (std::size_t at = 0; at + 188 <= bytes.size() && scan.error.empty(); at += 188) {
        const std::uint8_t* p = &bytes[at];
        if (p[0] != 0x47) {
            scan.error = "sync lost at " + std::to_string(at);
            break;
        }
        const std::uint16_t pid = std::uint16_t((p[1] & 0x1F) << 8 | p[2]);
        const bool start = p[1] & 0x40;
        const int afc = (p[3] >> 4) & 3;
        const int cc = p[3] & 15;
        scan.pids.push_back(pid);
        const bool payload = afc & 1;
        auto it = last_cc.find(pid);
        if (it != last_cc.end()) {
            const int want = payload ? (it->second + 1) & 15 : it->second;
            if (cc != want)
                scan.error = "continuity of PID " + std::to_string(pid) + " at " + std::to_string(at);
        }
        last_cc[pid] = cc;
        std::size_t body = 4;
        if (afc & 2) {
            body = 5 + p[4];
            if (body > 188 || (afc == 3 && body == 188))
                scan.error = "adaptation field too long at " + std::to_string(at);
        }
        if (!payload || pid < 0x1000 || pid == 0x1001)
            continue;
        if (start) {
            if (!open[pid].empty()) {
                Pes pes;
                if (!FinishPes(open[pid], &pes))
                    scan.error = "bad PES header";
                scan.pes[pid].push_back(std::move(pes));
            }
            open[pid].clear();
        }
        open[pid].insert(open[pid].end(), p + body, p + 188);
    }
    for (auto& [pid, raw] : open) {
        if (raw.empty())
            continue;
        Pes pes;
        if (!FinishPes(raw, &pes))
            scan.error = "bad PES header";
        scan.pes[pid].push_back(std::move(pes));
    }
    return scan;
}

std::vector<std::uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string RunCommand(const std::string& command)
{
    std::string out;
    if (std::FILE* f = popen(command.c_str(), "r")) {
        std::array<char, 4096> buf;
        std::size_t n;
        while ((n = std::fread(buf.data(), 1, buf.size(), f)) > 0)
            out.append(buf.data(), n);
        pclose(f);
    }
    return out;
}
