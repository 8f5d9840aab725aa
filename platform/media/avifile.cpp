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

#include <sys/stat.h>

namespace {

// A written file: the header area is reserved up to kMoviAt and the samples follow in a "movi"
// list; each RIFF segment stays within kRiffLimit.
constexpr std::size_t kSuperEntries = 256;  // OpenDML segments a stream can index
constexpr std::size_t kSuperIndexBytes = 24 + 16 * kSuperEntries;
constexpr std::size_t kHeaderNeed = 12 + 12 + 8 + 56 +
                                    kAviMaxStreams * (12 + 8 + 56 + 8 + kAviMaxFormat + 8 + kSuperIndexBytes) +
                                    12 + 8 + 248 + 8;
constexpr std::uint64_t kMoviAt = (kHeaderNeed + 2047) / 2048 * 2048;
constexpr std::uint64_t kRiffLimit = std::uint64_t(1) << 30;
constexpr DWORD kAvifFlags = 0x10 | 0x100 | 0x800;  // has index, interleaved, trust chunk types

struct Chunk {
    std::uint64_t pos;       // of the chunk's data
    std::uint32_t size;
    std::uint32_t samples;
    std::uint16_t stream;
    bool key;
};

struct SuperEntry {
    std::uint64_t offset;    // of an "ix##" chunk
    std::uint32_t size;
    std::uint32_t duration;
};

}  // namespace

struct AviStreamObject {
    AviFileObject* file = nullptr;
    int index = 0;              // stream number
    AVISTREAMINFOW info;
    int refs = 1;
    // Writing: the format as given, samples written so far (from info.dwStart), the largest
    // chunk and the OpenDML index of each finished segment.
    std::vector<std::uint8_t> format;
    bool written = false;
    std::uint32_t max_chunk = 0;
    std::uint64_t bytes = 0;
    std::vector<SuperEntry> super;
    // Reading: packets of this stream read ahead while another stream was wanted, the next
    // sample position, and PCM bytes left over from a partly read packet.
    std::deque<AVPacket*> queued;
    std::int64_t next = 0;
    std::vector<std::uint8_t> left;
};

struct AviFileObject {
    AVFormatContext* ctx = nullptr;  // reading
    bool writing = false;
    LONG error = AVIERR_OK;     // first write failure
    std::string path;
    int refs = 1;
    std::vector<std::unique_ptr<AviStreamObject>> streams;
    // Writing.
    std::FILE* out = nullptr;
    std::uint64_t pos = 0;      // end of the file
    std::uint64_t riff_at = 0;  // current RIFF segment and its "movi" list
    std::uint64_t movi_at = kMoviAt;
    std::uint32_t first_riff_size = 0;
    std::vector<Chunk> chunks;
    std::size_t segment_first = 0;   // first chunk of the current segment
    std::size_t first_segment_end = 0;
    int segments = 1;
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

// Little-endian building of header and index bytes.
class Bytes {
public:
    void u8(unsigned v) { b_.push_back(std::uint8_t(v)); }
    void u16(unsigned v)
    {
        u8(v & 0xFF);
        u8(v >> 8 & 0xFF);
    }
    void u32(std::uint32_t v)
    {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    void u64(std::uint64_t v)
    {
        u32(std::uint32_t(v));
        u32(std::uint32_t(v >> 32));
    }
    void fourcc(const char* s) { b_.insert(b_.end(), s, s + 4); }
    void zeros(std::size_t n) { b_.insert(b_.end(), n, 0); }
    void bytes(const std::vector<std::uint8_t>& v) { b_.insert(b_.end(), v.begin(), v.end()); }
    void set32(std::size_t at, std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            b_[at + std::size_t(i)] = std::uint8_t(v >> (8 * i));
    }
    std::size_t size() const { return b_.size(); }
    const std::uint8_t* data() const { return b_.data(); }

private:
    std::vector<std::uint8_t> b_;
};

std::string ChunkId(const AviStreamObject& s, const char* kind)
{
    std::string id = {char('0' + s.index / 10 % 10), char('0' + s.index % 10)};
    return id + (kind ? kind : s.info.fccType == streamtypeVIDEO ? "dc" : "wb");
}

bool WriteAt(AviFileObject* f, std::uint64_t at, const void* data, std::size_t n)
{
    if (f->error != AVIERR_OK)
        return false;
    if (fseeko(f->out, off_t(at), SEEK_SET) != 0 || std::fwrite(data, 1, n, f->out) != n ||
        fseeko(f->out, off_t(f->pos), SEEK_SET) != 0) {
        Fail(f, AVIERR_FILEWRITE);
        return false;
    }
    return true;
}

bool Append(AviFileObject* f, const void* data, std::size_t n)
{
    if (f->error != AVIERR_OK)
        return false;
    if (n > 0 && std::fwrite(data, 1, n, f->out) != n) {
        Fail(f, AVIERR_FILEWRITE);
        return false;
    }
    f->pos += n;
    return true;
}

bool Append(AviFileObject* f, const Bytes& b)
{
    return Append(f, b.data(), b.size());
}

bool PatchSize(AviFileObject* f, std::uint64_t chunk_at)
{
    Bytes b;
    b.u32(std::uint32_t(f->pos - chunk_at - 8));
    return WriteAt(f, chunk_at + 4, b.data(), b.size());
}

const AviStreamObject* FirstVideo(const AviFileObject* f)
{
    for (auto& s : f->streams)
        if (s->info.fccType == streamtypeVIDEO)
            return s.get();
    return nullptr;
}

// The header area: main header, each stream's header, format and (once the file has several
// segments) OpenDML index, then filler up to the "movi" list.
bool WriteHeader(AviFileObject* f)
{
    const bool odml = f->segments > 1;
    const AviStreamObject* video = FirstVideo(f);
    std::uint32_t first_frames = 0, total_frames = 0, max_chunk = 0;
    double bytes_per_sec = 0;
    for (std::size_t i = 0; i < f->chunks.size(); ++i) {
        if (video && f->chunks[i].stream == video->index) {
            ++total_frames;
            if (i < f->first_segment_end)
                ++first_frames;
        }
    }
    for (auto& s : f->streams) {
        max_chunk = std::max(max_chunk, s->max_chunk);
        if (s->info.dwLength > 0)
            bytes_per_sec += double(s->bytes) * s->info.dwRate / (double(s->info.dwScale) * s->info.dwLength);
    }
    Bytes h;
    h.fourcc("RIFF");
    h.u32(f->first_riff_size);
    h.fourcc("AVI ");
    h.fourcc("LIST");
    const std::size_t hdrl = h.size();
    h.u32(0);
    h.fourcc("hdrl");
    h.fourcc("avih");
    h.u32(56);
    h.u32(video ? std::uint32_t(1e6 * video->info.dwScale / video->info.dwRate + 0.5) : 0);
    h.u32(std::uint32_t(std::min(bytes_per_sec, 4e9)));
    h.u32(0);
    h.u32(kAvifFlags);
    h.u32(first_frames);
    h.u32(0);
    h.u32(std::uint32_t(f->streams.size()));
    h.u32(max_chunk);
    h.u32(video ? std::uint32_t(video->info.rcFrame.right - video->info.rcFrame.left) : 0);
    h.u32(video ? std::uint32_t(video->info.rcFrame.bottom - video->info.rcFrame.top) : 0);
    h.zeros(16);
    for (auto& s : f->streams) {
        const AVISTREAMINFOW& si = s->info;
        h.fourcc("LIST");
        const std::size_t strl = h.size();
        h.u32(0);
        h.fourcc("strl");
        h.fourcc("strh");
        h.u32(56);
        h.u32(si.fccType);
        h.u32(si.fccHandler);
        h.u32(0);  // flags
        h.u32(0);  // priority, language
        h.u32(0);  // initial frames
        h.u32(si.dwScale);
        h.u32(si.dwRate);
        h.u32(si.dwStart);
        h.u32(si.dwLength);
        h.u32(s->max_chunk);
        h.u32(std::uint32_t(si.dwQuality));
        h.u32(si.dwSampleSize);
        h.u16(unsigned(si.rcFrame.left) & 0xFFFF);
        h.u16(unsigned(si.rcFrame.top) & 0xFFFF);
        h.u16(unsigned(si.rcFrame.right) & 0xFFFF);
        h.u16(unsigned(si.rcFrame.bottom) & 0xFFFF);
        h.fourcc("strf");
        h.u32(std::uint32_t(s->format.size()));
        h.bytes(s->format);
        if (s->format.size() & 1)
            h.u8(0);
        if (odml) {
            h.fourcc("indx");
            h.u32(std::uint32_t(kSuperIndexBytes));
            h.u16(4);
            h.u8(0);
            h.u8(0);  // an index of indexes
            h.u32(std::uint32_t(s->super.size()));
            h.fourcc(ChunkId(*s, nullptr).c_str());
            h.zeros(12);
            for (const SuperEntry& e : s->super) {
                h.u64(e.offset);
                h.u32(e.size);
                h.u32(e.duration);
            }
            h.zeros(16 * (kSuperEntries - s->super.size()));
        }
        h.set32(strl, std::uint32_t(h.size() - strl - 4));
    }
    if (odml) {
        h.fourcc("LIST");
        h.u32(4 + 8 + 248);
        h.fourcc("odml");
        h.fourcc("dmlh");
        h.u32(248);
        h.u32(total_frames);
        h.zeros(244);
    }
    h.set32(hdrl, std::uint32_t(h.size() - hdrl - 4));
    h.fourcc("JUNK");
    h.u32(std::uint32_t(kMoviAt - h.size() - 4));
    h.zeros(std::size_t(kMoviAt) - h.size());
    return WriteAt(f, 0, h.data(), h.size());
}

// The OpenDML index chunks of the current segment, one per stream, inside its "movi" list.
bool WriteSegmentIndexes(AviFileObject* f)
{
    for (auto& s : f->streams) {
        Bytes ix;
        std::uint32_t n = 0, duration = 0;
        for (std::size_t i = f->segment_first; i < f->chunks.size(); ++i) {
            const Chunk& c = f->chunks[i];
            if (c.stream != s->index)
                continue;
            ix.u32(std::uint32_t(c.pos - f->movi_at));
            ix.u32(c.size | (c.key ? 0u : 0x80000000u));
            ++n;
            duration += c.samples;
        }
        if (n == 0)
            continue;
        if (s->super.size() >= kSuperEntries)
            return Fail(f, AVIERR_UNSUPPORTED), false;
        Bytes head;
        head.fourcc(("ix" + ChunkId(*s, "")).c_str());
        head.u32(24 + 8 * n);
        head.u16(2);
        head.u8(0);
        head.u8(1);  // an index of chunks
        head.u32(n);
        head.fourcc(ChunkId(*s, nullptr).c_str());
        head.u64(f->movi_at);
        head.u32(0);
        s->super.push_back(SuperEntry{f->pos, std::uint32_t(8 + 24 + 8 * n), duration});
        if (!Append(f, head) || !Append(f, ix))
            return false;
    }
    return true;
}

// Closes the current segment: its indexes, its "movi" list, the legacy index of the first
// segment, its RIFF size.
bool EndSegment(AviFileObject* f, bool last)
{
    if ((f->segments > 1 || !last) && !WriteSegmentIndexes(f))
        return false;
    if (!PatchSize(f, f->movi_at))
        return false;
    if (f->segments == 1) {
        f->first_segment_end = f->chunks.size();
        Bytes idx;
        idx.fourcc("idx1");
        idx.u32(std::uint32_t(16 * f->chunks.size()));
        for (const Chunk& c : f->chunks) {
            const AviStreamObject& s = *f->streams[c.stream];
            idx.fourcc(ChunkId(s, nullptr).c_str());
            idx.u32(c.key ? AVIIF_KEYFRAME : 0);
            idx.u32(std::uint32_t(c.pos - 8 - (f->movi_at + 8)));
            idx.u32(c.size);
        }
        if (!Append(f, idx))
            return false;
        f->first_riff_size = std::uint32_t(f->pos - 8);
        return true;
    }
    return PatchSize(f, f->riff_at);
}

bool BeginSegment(AviFileObject* f)
{
    Bytes b;
    b.fourcc("RIFF");
    b.u32(0);
    b.fourcc("AVIX");
    f->riff_at = f->pos;
    f->movi_at = f->pos + 12;
    b.fourcc("LIST");
    b.u32(0);
    b.fourcc("movi");
    ++f->segments;
    f->segment_first = f->chunks.size();
    return Append(f, b);
}

LONG WriteChunk(AviStreamObject* s, const void* data, std::uint32_t size, std::uint32_t samples, bool key)
{
    AviFileObject* f = s->file;
    const std::uint64_t chunk = 8 + std::uint64_t(size) + (size & 1);
    const std::uint64_t in_segment = f->chunks.size() - f->segment_first + 1;
    // Room for this segment's indexes: the legacy one in the first, OpenDML ones in all.
    const std::uint64_t indexes = (f->segments == 1 ? 8 + 16 * in_segment : 0) + 32 * f->streams.size() +
                                  8 * in_segment;
    if (in_segment > 1 && f->pos + chunk + indexes - f->riff_at > kRiffLimit) {
        if (!EndSegment(f, false) || !BeginSegment(f))
            return f->error;
    }
    Bytes head;
    head.fourcc(ChunkId(*s, nullptr).c_str());
    head.u32(size);
    if (!Append(f, head))
        return f->error;
    const std::uint64_t at = f->pos;
    const std::uint8_t pad = 0;
    if (!Append(f, data, size) || ((size & 1) && !Append(f, &pad, 1)))
        return f->error;
    f->chunks.push_back(Chunk{at, size, samples, std::uint16_t(s->index), key});
    s->max_chunk = std::max(s->max_chunk, size);
    s->bytes += size;
    return AVIERR_OK;
}

LONG Finish(AviFileObject* f)
{
    LONG result = AVIERR_OK;
    if (f->writing) {
        EndSegment(f, true);
        WriteHeader(f);
        if (std::fclose(f->out) != 0)
            Fail(f, AVIERR_FILEWRITE);
        f->out = nullptr;
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
        f->out = std::fopen(path, "wb");
        if (!f->out)
            return AVIERR_FILEOPEN;
        // The header area, filled in as streams come and when the file is finished.
        Bytes movi;
        movi.fourcc("LIST");
        movi.u32(4);
        movi.fourcc("movi");
        f->pos = kMoviAt;
        if (!WriteHeader(f.get()) || !WriteAt(f.get(), kMoviAt, movi.data(), movi.size()) ||
            fseeko(f->out, off_t(kMoviAt + movi.size()), SEEK_SET) != 0) {
            std::fclose(f->out);
            struct stat st {};
            if (::stat(path, &st) == 0 && S_ISREG(st.st_mode))
                std::remove(path);
            return AVIERR_FILEWRITE;
        }
        f->pos = kMoviAt + movi.size();
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
            s->info.dwStart = DWORD(std::max<std::int64_t>(st->start_time == AV_NOPTS_VALUE ? 0 : st->start_time, 0));
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
    if (!file->writing || file->streams.size() >= kAviMaxStreams)
        return AVIERR_UNSUPPORTED;
    if ((info->fccType != streamtypeVIDEO && info->fccType != streamtypeAUDIO) || !info->dwScale ||
        !info->dwRate)
        return AVIERR_BADPARAM;
    auto s = std::make_unique<AviStreamObject>();
    s->file = file;
    s->index = int(file->streams.size());
    s->info = *info;
    s->info.dwLength = 0;
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
    if (!stream || !format || size <= 0)
        return AVIERR_BADPARAM;
    AviFileObject* f = stream->file;
    // The format is fixed once the stream holds samples.
    if (!f->writing || stream->written)
        return AVIERR_UNSUPPORTED;
    if (size > LONG(kAviMaxFormat))
        return AVIERR_BADPARAM;
    if (stream->info.fccType == streamtypeVIDEO) {
        AVIVIDEOFORMAT bi;
        if (size < LONG(sizeof bi))
            return AVIERR_BADPARAM;
        std::memcpy(&bi, format, sizeof bi);
        if (bi.biWidth <= 0 || bi.biHeight == 0)
            return AVIERR_BADPARAM;
    } else {
        AVIAUDIOFORMAT wf;
        if (size < LONG(sizeof wf))
            return AVIERR_BADPARAM;
        std::memcpy(&wf, format, sizeof wf);
        if (wf.nChannels == 0 || wf.nSamplesPerSec == 0 || wf.nBlockAlign == 0)
            return AVIERR_BADPARAM;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(format);
    stream->format.assign(bytes, bytes + size);
    // A file cut short still declares its streams.
    return WriteHeader(f) ? AVIERR_OK : f->error;
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
    if (stream->format.empty() || std::uint64_t(size) > 0xFFFFFFF0u)
        return AVIERR_BADPARAM;
    // The first write places the stream; the others continue it.
    if (!stream->written)
        stream->info.dwStart = DWORD(start);
    else if (std::uint64_t(start) != std::uint64_t(stream->info.dwStart) + stream->info.dwLength)
        return AVIERR_BADPARAM;
    const LONG r = WriteChunk(stream, buffer, std::uint32_t(size), std::uint32_t(samples), (flags & AVIIF_KEYFRAME) != 0);
    if (r != AVIERR_OK)
        return r;
    stream->written = true;
    stream->info.dwLength += DWORD(samples);
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
