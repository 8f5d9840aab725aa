#include "platform/media/avifile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

struct AviStreamObject {
    AviFileObject* file = nullptr;
    int index = 0;              // libavformat stream index
    AVISTREAMINFOW info;
    bool has_format = false;
    int refs = 1;
    // Reading: packets of this stream read ahead while another stream was wanted, the next
    // sample position, and PCM bytes left over from a partly read packet.
    std::deque<AVPacket*> queued;
    std::int64_t next = 0;
    std::vector<std::uint8_t> left;
};

struct AviFileObject {
    AVFormatContext* ctx = nullptr;
    bool writing = false;
    bool started = false;       // header written
    LONG error = AVIERR_OK;     // first write failure
    std::string path;
    int refs = 1;
    std::vector<std::unique_ptr<AviStreamObject>> streams;
    std::deque<AVPacket*> held;
    std::size_t held_bytes = 0;
};

namespace {

constexpr std::size_t kReadAhead = 4096;  // packets queued for the other streams at most

void FreePackets(std::deque<AVPacket*>& packets)
{
    for (AVPacket* p : packets)
        av_packet_free(&p);
    packets.clear();
}

LONG Fail(AviFileObject* f, LONG err)
{
    if (f->error == AVIERR_OK)
        f->error = err;
    return err;
}

LONG StartWriting(AviFileObject* f)
{
    if (f->started)
        return f->error;
    f->started = true;
    for (auto& s : f->streams)
        if (!s->has_format)
            return Fail(f, AVIERR_BADPARAM);
    if (f->streams.empty() || avformat_write_header(f->ctx, nullptr) < 0)
        return Fail(f, AVIERR_FILEWRITE);
    while (!f->held.empty()) {
        AVPacket* p = f->held.front();
        f->held.pop_front();
        const int r = av_write_frame(f->ctx, p);
        av_packet_free(&p);
        if (r < 0) {
            FreePackets(f->held);
            return Fail(f, AVIERR_FILEWRITE);
        }
    }
    f->held_bytes = 0;
    return AVIERR_OK;
}

std::uint32_t Le32(const std::uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24;
}
void PutLe32(std::uint8_t* p, std::uint32_t v)
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
    p[2] = std::uint8_t(v >> 16);
    p[3] = std::uint8_t(v >> 24);
}

// The muxer reduces each stream's scale and rate and names the handler after the codec tag;
// put back the caller's values (same duration per sample), which later header fixes expect.
bool RestoreStreamHeaders(AviFileObject* f)
{
    std::FILE* fp = std::fopen(f->path.c_str(), "r+b");
    if (!fp)
        return false;
    std::vector<std::uint8_t> head(64 * 1024);
    head.resize(std::fread(head.data(), 1, head.size(), fp));
    bool ok = true;
    if (head.size() >= 24 && std::memcmp(head.data(), "RIFF", 4) == 0 &&
        std::memcmp(head.data() + 12, "LIST", 4) == 0 && std::memcmp(head.data() + 20, "hdrl", 4) == 0) {
        const std::size_t end = std::min<std::size_t>(head.size(), 20 + std::size_t(Le32(&head[16])));
        std::size_t at = 24;
        std::size_t stream = 0;
        while (at + 8 <= end && stream < f->streams.size()) {
            const std::size_t size = Le32(&head[at + 4]);
            if (std::memcmp(&head[at], "LIST", 4) == 0 && at + 20 + 56 <= end &&
                std::memcmp(&head[at + 8], "strl", 4) == 0 && std::memcmp(&head[at + 12], "strh", 4) == 0) {
                std::uint8_t* strh = &head[at + 20];
                const AVISTREAMINFOW& want = f->streams[stream]->info;
                const std::uint64_t scale = Le32(strh + 20), rate = Le32(strh + 24);
                if (want.fccHandler)
                    PutLe32(strh + 4, want.fccHandler);
                if (want.dwScale && want.dwRate &&
                    scale * want.dwRate == rate * std::uint64_t(want.dwScale)) {
                    PutLe32(strh + 20, want.dwScale);
                    PutLe32(strh + 24, want.dwRate);
                }
                if (std::fseek(fp, long(at + 20), SEEK_SET) != 0 || std::fwrite(strh, 1, 56, fp) != 56)
                    ok = false;
                ++stream;
            }
            at += 8 + size + (size & 1);
        }
    }
    return std::fclose(fp) == 0 && ok;
}

LONG Finish(AviFileObject* f)
{
    LONG result = AVIERR_OK;
    if (f->writing) {
        result = StartWriting(f);
        if (f->started && f->error == AVIERR_OK && av_write_trailer(f->ctx) < 0)
            result = Fail(f, AVIERR_FILEWRITE);
        if (f->ctx->pb && avio_closep(&f->ctx->pb) < 0)
            result = Fail(f, AVIERR_FILEWRITE);
        if (f->error == AVIERR_OK && !RestoreStreamHeaders(f))
            result = Fail(f, AVIERR_FILEWRITE);
        FreePackets(f->held);
        avformat_free_context(f->ctx);
    } else {
        avformat_close_input(&f->ctx);
    }
    f->ctx = nullptr;
    for (auto& s : f->streams)
        FreePackets(s->queued);
    if (result == AVIERR_OK)
        result = f->error;
    delete f;
    return result;
}

LONG Unref(AviFileObject* f)
{
    if (--f->refs > 0)
        return f->error;
    return Finish(f);
}

// Reads the next packet of `s`, queueing those of other streams (bounded).
AVPacket* NextPacket(AviStreamObject* s)
{
    if (!s->queued.empty()) {
        AVPacket* p = s->queued.front();
        s->queued.pop_front();
        return p;
    }
    AviFileObject* f = s->file;
    for (;;) {
        AVPacket* p = av_packet_alloc();
        if (!p || av_read_frame(f->ctx, p) < 0) {
            av_packet_free(&p);
            return nullptr;
        }
        if (p->stream_index == s->index)
            return p;
        AviStreamObject* other = nullptr;
        for (auto& o : f->streams)
            if (o->index == p->stream_index)
                other = o.get();
        if (other && other->queued.size() < kReadAhead)
            other->queued.push_back(p);
        else
            av_packet_free(&p);
    }
}

}  // namespace

void AVIFileInit() {}
void AVIFileExit() {}

LONG AVIFileOpenW(PAVIFILE* file, const char* path, UINT mode, void* handler)
{
    if (!file || !path)
        return AVIERR_BADPARAM;
    *file = nullptr;
    auto f = std::make_unique<AviFileObject>();
    f->path = path;
    if (mode & OF_CREATE) {
        f->writing = true;
        if (avformat_alloc_output_context2(&f->ctx, nullptr, "avi", path) < 0 || !f->ctx)
            return AVIERR_MEMORY;
        if (avio_open(&f->ctx->pb, path, AVIO_FLAG_WRITE) < 0) {
            avformat_free_context(f->ctx);
            return AVIERR_FILEOPEN;
        }
    } else {
        const AVInputFormat* avi = av_find_input_format("avi");
        if (avformat_open_input(&f->ctx, path, avi, nullptr) < 0)
            return AVIERR_FILEOPEN;
        for (unsigned i = 0; i < f->ctx->nb_streams; ++i) {
            const AVStream* st = f->ctx->streams[i];
            const AVCodecParameters* par = st->codecpar;
            auto s = std::make_unique<AviStreamObject>();
            s->file = f.get();
            s->index = int(i);
            s->refs = 0;
            s->info.fccType = par->codec_type == AVMEDIA_TYPE_VIDEO   ? streamtypeVIDEO
                              : par->codec_type == AVMEDIA_TYPE_AUDIO ? streamtypeAUDIO
                                                                      : 0;
            s->info.fccHandler = par->codec_tag;
            s->info.dwScale = DWORD(st->time_base.num);
            s->info.dwRate = DWORD(st->time_base.den);
            s->info.dwLength = DWORD(st->nb_frames > 0 ? st->nb_frames : std::max<std::int64_t>(st->duration, 0));
            s->info.dwSampleSize = par->codec_type == AVMEDIA_TYPE_AUDIO ? DWORD(par->block_align) : 0;
            s->info.rcFrame = RECT{0, 0, par->width, par->height};
            f->streams.push_back(std::move(s));
        }
    }
    *file = f.release();
    return AVIERR_OK;
}

LONG AVIFileInfoW(PAVIFILE file, AVIFILEINFOW* info, LONG size)
{
    if (!file || !info || size < LONG(sizeof(AVIFILEINFOW)))
        return AVIERR_BADPARAM;
    *info = AVIFILEINFOW{};
    info->dwStreams = DWORD(file->streams.size());
    for (auto& s : file->streams) {
        if (s->info.fccType == streamtypeVIDEO) {
            info->dwWidth = DWORD(s->info.rcFrame.right);
            info->dwHeight = DWORD(s->info.rcFrame.bottom);
            info->dwScale = s->info.dwScale;
            info->dwRate = s->info.dwRate;
            info->dwLength = s->info.dwLength;
            break;
        }
    }
    return AVIERR_OK;
}

LONG AVIFileRelease(PAVIFILE file)
{
    return file ? Unref(file) : AVIERR_BADPARAM;
}

LONG AVIFileCreateStreamW(PAVIFILE file, PAVISTREAM* stream, const AVISTREAMINFOW* info)
{
    if (!file || !stream || !info)
        return AVIERR_BADPARAM;
    *stream = nullptr;
    if (!file->writing || file->started)
        return AVIERR_UNSUPPORTED;
    if ((info->fccType != streamtypeVIDEO && info->fccType != streamtypeAUDIO) || !info->dwScale ||
        !info->dwRate)
        return AVIERR_BADPARAM;
    AVStream* st = avformat_new_stream(file->ctx, nullptr);
    if (!st)
        return AVIERR_MEMORY;
    st->time_base = AVRational{int(info->dwScale), int(info->dwRate)};
    auto s = std::make_unique<AviStreamObject>();
    s->file = file;
    s->index = st->index;
    s->info = *info;
    *stream = s.get();
    file->streams.push_back(std::move(s));
    ++file->refs;
    return AVIERR_OK;
}

LONG AVIFileGetStream(PAVIFILE file, PAVISTREAM* stream, DWORD type, LONG index)
{
    if (!file || !stream)
        return AVIERR_BADPARAM;
    *stream = nullptr;
    if (file->writing)
        return AVIERR_UNSUPPORTED;
    for (auto& s : file->streams) {
        if (s->info.fccType == type && index-- == 0) {
            ++s->refs;
            ++file->refs;
            *stream = s.get();
            return AVIERR_OK;
        }
    }
    return AVIERR_NODATA;
}

LONG AVIStreamSetFormat(PAVISTREAM stream, LONG pos, const void* format, LONG size)
{
    if (!stream || !format)
        return AVIERR_BADPARAM;
    AviFileObject* f = stream->file;
    if (!f->writing || f->started)
        return AVIERR_UNSUPPORTED;
    AVCodecParameters* par = f->ctx->streams[stream->index]->codecpar;
    if (stream->info.fccType == streamtypeVIDEO) {
        if (size < LONG(sizeof(AVIVIDEOFORMAT)))
            return AVIERR_BADPARAM;
        AVIVIDEOFORMAT bi;
        std::memcpy(&bi, format, sizeof bi);
        if (bi.biWidth <= 0 || bi.biHeight == 0)
            return AVIERR_BADPARAM;
        const AVCodecTag* const tags[] = {avformat_get_riff_video_tags(), nullptr};
        par->codec_type = AVMEDIA_TYPE_VIDEO;
        par->codec_id = av_codec_get_id(tags, bi.biCompression);
        par->codec_tag = bi.biCompression;
        par->width = bi.biWidth;
        par->height = bi.biHeight < 0 ? -bi.biHeight : bi.biHeight;
        par->bits_per_coded_sample = bi.biBitCount;
    } else {
        if (size < LONG(sizeof(AVIAUDIOFORMAT)))
            return AVIERR_BADPARAM;
        AVIAUDIOFORMAT wf;
        std::memcpy(&wf, format, sizeof wf);
        if (wf.wFormatTag != WAVE_FORMAT_PCM || wf.nChannels == 0 || wf.nSamplesPerSec == 0 ||
            (wf.wBitsPerSample != 8 && wf.wBitsPerSample != 16))
            return AVIERR_UNSUPPORTED;
        par->codec_type = AVMEDIA_TYPE_AUDIO;
        par->codec_id = wf.wBitsPerSample == 16 ? AV_CODEC_ID_PCM_S16LE : AV_CODEC_ID_PCM_U8;
        par->codec_tag = WAVE_FORMAT_PCM;
        av_channel_layout_default(&par->ch_layout, wf.nChannels);
        par->sample_rate = int(wf.nSamplesPerSec);
        par->block_align = wf.nBlockAlign;
        par->bits_per_coded_sample = wf.wBitsPerSample;
        par->bit_rate = std::int64_t(wf.nAvgBytesPerSec) * 8;
    }
    stream->has_format = true;
    return AVIERR_OK;
}

LONG AVIStreamInfoW(PAVISTREAM stream, AVISTREAMINFOW* info, LONG size)
{
    if (!stream || !info || size < LONG(sizeof(AVISTREAMINFOW)))
        return AVIERR_BADPARAM;
    *info = stream->info;
    return AVIERR_OK;
}

LONG AVIStreamWrite(PAVISTREAM stream, LONG start, LONG samples, const void* buffer, LONG size,
                    DWORD flags, LONG* samples_written, LONG* bytes_written)
{
    if (samples_written)
        *samples_written = 0;
    if (bytes_written)
        *bytes_written = 0;
    if (!stream || start < 0 || samples < 0 || size < 0 || (!buffer && size > 0))
        return AVIERR_BADPARAM;
    AviFileObject* f = stream->file;
    if (!f->writing)
        return AVIERR_UNSUPPORTED;
    if (f->error != AVIERR_OK)
        return f->error;
    if (!stream->has_format)
        return AVIERR_BADPARAM;
    AVPacket* p = av_packet_alloc();
    if (!p || av_new_packet(p, size) < 0) {
        av_packet_free(&p);
        return Fail(f, AVIERR_MEMORY);
    }
    if (size > 0)
        std::memcpy(p->data, buffer, std::size_t(size));
    p->stream_index = stream->index;
    p->pts = p->dts = start;
    p->duration = samples;
    if (flags & AVIIF_KEYFRAME)
        p->flags |= AV_PKT_FLAG_KEY;
    if (!f->started) {
        f->held.push_back(p);
        f->held_bytes += std::size_t(size);
        if (f->held.size() >= kAviHoldPackets || f->held_bytes >= kAviHoldBytes) {
            const LONG r = StartWriting(f);
            if (r != AVIERR_OK)
                return r;
        }
    } else {
        const int r = av_write_frame(f->ctx, p);
        av_packet_free(&p);
        if (r < 0)
            return Fail(f, AVIERR_FILEWRITE);
    }
    if (samples_written)
        *samples_written = samples;
    if (bytes_written)
        *bytes_written = size;
    return AVIERR_OK;
}

LONG AVIStreamRead(PAVISTREAM stream, LONG start, LONG samples, void* buffer, LONG size,
                   LONG* bytes_read, LONG* samples_read)
{
    if (bytes_read)
        *bytes_read = 0;
    if (samples_read)
        *samples_read = 0;
    if (!stream || start < 0 || size < 0 || (!buffer && size > 0))
        return AVIERR_BADPARAM;
    AviFileObject* f = stream->file;
    if (f->writing)
        return AVIERR_UNSUPPORTED;
    if (start != stream->next) {
        // Random access: start again from the nearest earlier point of this stream.
        if (av_seek_frame(f->ctx, stream->index, start, AVSEEK_FLAG_ANY | AVSEEK_FLAG_BACKWARD) < 0)
            return AVIERR_FILEREAD;
        for (auto& s : f->streams) {
            FreePackets(s->queued);
            s->left.clear();
            s->next = -1;
        }
        stream->next = -1;
    }
    if (stream->info.fccType == streamtypeVIDEO) {
        for (;;) {
            AVPacket* p = NextPacket(stream);
            if (!p)
                return AVIERR_NODATA;
            const std::int64_t pos = p->pts != AV_NOPTS_VALUE ? p->pts : p->dts;
            if (stream->next >= 0 || pos >= start) {
                LONG result = AVIERR_OK;
                if (p->size > size) {
                    result = AVIERR_BUFFERTOOSMALL;
                } else {
                    if (p->size)
                        std::memcpy(buffer, p->data, std::size_t(p->size));
                    if (bytes_read)
                        *bytes_read = p->size;
                    if (samples_read)
                        *samples_read = 1;
                }
                av_packet_free(&p);
                stream->next = start + 1;
                return result;
            }
            av_packet_free(&p);
        }
    }
    const LONG block = std::max<LONG>(1, LONG(stream->info.dwSampleSize));
    LONG want = size / block;
    if (samples != AVISTREAMREAD_CONVENIENT)
        want = std::min(want, samples);
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::size_t got = 0;
    const std::size_t need = std::size_t(want) * std::size_t(block);
    if (stream->next < 0) {
        // After a seek, drop what lies before `start`.
        AVPacket* p = NextPacket(stream);
        if (!p)
            return AVIERR_NODATA;
        const std::int64_t skip = std::max<std::int64_t>(0, start - (p->pts != AV_NOPTS_VALUE ? p->pts : start)) * block;
        if (skip < p->size)
            stream->left.assign(p->data + skip, p->data + p->size);
        av_packet_free(&p);
        stream->next = start;
    }
    while (got < need) {
        if (stream->left.empty()) {
            AVPacket* p = NextPacket(stream);
            if (!p)
                break;
            stream->left.assign(p->data, p->data + p->size);
            av_packet_free(&p);
            continue;
        }
        const std::size_t n = std::min(need - got, stream->left.size());
        std::memcpy(out + got, stream->left.data(), n);
        stream->left.erase(stream->left.begin(), stream->left.begin() + std::ptrdiff_t(n));
        got += n;
    }
    if (got == 0 && need > 0)
        return AVIERR_NODATA;
    stream->next = start + LONG(got / std::size_t(block));
    if (bytes_read)
        *bytes_read = LONG(got);
    if (samples_read)
        *samples_read = LONG(got / std::size_t(block));
    return AVIERR_OK;
}

LONG AVIStreamRelease(PAVISTREAM stream)
{
    if (!stream)
        return AVIERR_BADPARAM;
    if (stream->refs > 0)
        --stream->refs;
    return Unref(stream->file);
}
