// Encoding and assembly of a generated recording: pictures, tone and records are produced in
// time order and merged into the transport stream by their time stamps.

#include "tools/recgen/recgen.h"
#include "tools/recgen/tsmux.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>

#include <sys/types.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace recgen {

namespace {

constexpr int kTextHead = 32;
constexpr int kNmeaField = 160;

// splitmix64: small, seedable and the same on every platform.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint64_t Below(std::uint64_t n) { return n ? Next() % n : 0; }
    double Uniform(double lo, double hi) { return lo + (hi - lo) * static_cast<double>(Next() >> 11) / 9007199254740992.0; }
    // A garbage byte that can never be taken for a sync byte.
    std::uint8_t Garbage()
    {
        std::uint8_t b = static_cast<std::uint8_t>(Next());
        return b == 0x47 ? 0x46 : b;
    }

private:
    std::uint64_t state_;
};

struct CodecCtxFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using CodecCtx = std::unique_ptr<AVCodecContext, CodecCtxFree>;
using Frame = std::unique_ptr<AVFrame, FrameFree>;
using Packet = std::unique_ptr<AVPacket, PacketFree>;

std::string AvError(int err)
{
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, buf, sizeof buf);
    return buf;
}

// Rewrites an Annex B access unit so that every NAL unit starts with 00 00 00 01.
std::vector<std::uint8_t> LongStartCodes(const std::uint8_t* d, std::size_t n)
{
    std::vector<std::size_t> starts;  // first byte after each 00 00 01
    for (std::size_t i = 0; i + 2 < n; ++i) {
        if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1) {
            starts.push_back(i + 3);
            i += 2;
        }
    }
    std::vector<std::uint8_t> out;
    out.reserve(n + 4 * starts.size());
    for (std::size_t k = 0; k < starts.size(); ++k) {
        std::size_t end = k + 1 < starts.size() ? starts[k + 1] - 3 : n;
        while (end > starts[k] && d[end - 1] == 0)
            --end;
        out.insert(out.end(), {0, 0, 0, 1});
        out.insert(out.end(), d + starts[k], d + end);
    }
    return out;
}

int AdtsRateIndex(int rate)
{
    static const int kRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                 22050, 16000, 12000, 11025, 8000,  7350};
    for (int i = 0; i < 13; ++i)
        if (kRates[i] == rate)
            return i;
    return -1;
}

void AppendAdts(std::vector<std::uint8_t>* out, const std::uint8_t* data, int size, int rate_index,
                int channels)
{
    const int len = size + 7;
    const std::uint8_t h[7] = {
        0xFF, 0xF1,  // MPEG-4, no CRC
        static_cast<std::uint8_t>((1 << 6) | (rate_index << 2) | ((channels >> 2) & 1)),  // AAC LC
        static_cast<std::uint8_t>(((channels & 3) << 6) | ((len >> 11) & 3)),
        static_cast<std::uint8_t>(len >> 3),
        static_cast<std::uint8_t>(((len & 7) << 5) | 0x1F),
        0xFC};
    out->insert(out->end(), h, h + 7);
    out->insert(out->end(), data, data + size);
}

struct Sensor {
    double x, y, z;
    int lean;
};

double Round3(double v)
{
    v = std::clamp(std::round(v * 1000.0) / 1000.0, -9.999, 9.999);
    return v == 0.0 ? 0.0 : v;  // no "-0.000"
}

Sensor SensorAt(SensorPattern pattern, double t, Rng* rng)
{
    constexpr double kTwoPi = 6.28318530717958647692;
    Sensor s{};
    switch (pattern) {
    case SensorPattern::kSteady:
        s = {0.0, 0.0, 1.0, 0};
        break;
    case SensorPattern::kWave:
        s = {0.5 * std::sin(kTwoPi * t / 5.0), 0.25 * std::cos(kTwoPi * t / 7.0),
             1.0 + 0.1 * std::sin(kTwoPi * t / 3.0),
             static_cast<int>(std::lround(100.0 * std::sin(kTwoPi * t / 11.0)))};
        break;
    case SensorPattern::kRandom:
        s.x = rng->Uniform(-2.0, 2.0);
        s.y = rng->Uniform(-2.0, 2.0);
        s.z = rng->Uniform(0.0, 2.0);
        s.lean = static_cast<int>(rng->Below(241)) - 120;
        break;
    }
    s.x = Round3(s.x);
    s.y = Round3(s.y);
    s.z = Round3(s.z);
    return s;
}

// Writes packets to the file, with the garbage of the damage options around them.
class FileSink {
public:
    FileSink(std::FILE* f, const Damage& damage, std::uint64_t seed, RecordingInfo* info)
        : f_(f), damage_(damage), rng_(seed ^ 0x6A09E667F3BCC908ull), info_(info)
    {
    }

    std::int64_t Put(const std::uint8_t* packet)
    {
        if (!started_) {
            started_ = true;
            Garbage(damage_.lead_garbage);
        }
        const std::int64_t at = pos_;
        Write(packet, kTsPacket);
        ++count_;
        if (damage_.junk_every > 0 && count_ % damage_.junk_every == 0) {
            info_->junk_offsets.push_back(pos_);
            Garbage(1 + static_cast<int>(rng_.Below(187)));
        }
        return at;
    }

    std::int64_t position() const { return pos_; }
    bool failed() const { return failed_; }

private:
    void Garbage(int n)
    {
        std::vector<std::uint8_t> junk(static_cast<std::size_t>(n));
        for (auto& b : junk)
            b = rng_.Garbage();
        Write(junk.data(), junk.size());
    }
    void Write(const std::uint8_t* p, std::size_t n)
    {
        if (n && std::fwrite(p, 1, n, f_) != n)
            failed_ = true;
        pos_ += static_cast<std::int64_t>(n);
    }

    std::FILE* f_;
    Damage damage_;
    Rng rng_;
    RecordingInfo* info_;
    bool started_ = false;
    bool failed_ = false;
    std::int64_t pos_ = 0;
    std::int64_t count_ = 0;
};

struct Item {
    std::int64_t pts = 0;
    std::int64_t dts = 0;  // the order in the file: the decode time of a picture, else pts
    int rank = 0;  // order among equal times: record, picture, sound
    std::vector<std::uint8_t> data;
    bool key = false;
    int frames = 0;
    std::size_t record = 0;  // index into info->records
};

bool Fail(RecordingInfo* info, std::string why)
{
    info->error = std::move(why);
    return false;
}

std::string Validate(const RecordingSpec& s)
{
    if (s.width < 16 || s.height < 16 || s.width % 2 || s.height % 2 || s.width > 8192 || s.height > 8192)
        return "picture size must be even, 16..8192";
    if (s.fps < 1 || s.fps > 120)
        return "frame rate must be 1..120";
    if (s.gop < 1)
        return "GOP must be at least 1";
    if (!(s.seconds > 0) || s.seconds > 24 * 3600)
        return "duration must be positive";
    if (s.audio && (AdtsRateIndex(s.sample_rate) < 0 || s.channels < 1 || s.channels > 2))
        return "unsupported audio rate or channel count";
    if (s.tone_cycle < 1 || !(s.tone_hz + s.tone_step_hz * (s.tone_cycle - 1) < s.sample_rate / 2.0) ||
        !(s.tone_hz >= 0) || !(s.tone_step_hz >= 0))
        return "tones must lie between 0 and half the sample rate";
    if (s.audio_frames_per_pes < 1 || s.info_hz < 0 || s.info_hz > 1000)
        return "bad audio grouping or record rate";
    if (s.frame_rate_byte > 255 || s.kbps < 0 || s.threads < 0)
        return "bad frame-rate byte, bit rate or thread count";
    if (s.b_frames < 0 || s.b_frames > 4 || s.first_picture < 0)
        return "B-frames must be 0..4 and the first picture number not negative";
    for (const std::uint16_t pid : {s.pids.pmt, s.pids.pcr, s.pids.video, s.pids.audio, s.pids.priv})
        if (pid < 0x0020 || pid > 0x1FFE)
            return "PIDs must be 0x0020..0x1FFE";
    if (s.pids.pmt == s.pids.video || s.pids.pmt == s.pids.audio || s.pids.pmt == s.pids.priv ||
        s.pids.pmt == s.pids.pcr || s.pids.video == s.pids.audio || s.pids.video == s.pids.priv ||
        s.pids.audio == s.pids.priv)
        return "the PMT and the streams need PIDs of their own";
    return {};
}

class Generator {
public:
    Generator(const RecordingSpec& recipe, RecordingInfo* info) : s_(recipe), info_(info), sensor_rng_(recipe.seed) {}

    bool Run(const std::string& path);

private:
    bool OpenVideo();
    bool OpenAudio();
    void MakeRecords();
    void Picture(int i, AVFrame* f);
    bool DrainVideo();
    bool FeedAudio(std::int64_t target, bool flush);
    bool DrainAudio();
    void EmitReady(bool final);
    void EmitPicture(Item& it);
    // With B-frames the decode times of the first frames lie before their display times; the
    // shift by b frames keeps every time stamp positive.
    std::int64_t VideoPts(std::int64_t i) const { return (i + 1 + s_.b_frames) * 90000 / s_.fps; }

    const RecordingSpec& s_;
    RecordingInfo* info_;
    Rng sensor_rng_;
    CodecCtx venc_, aenc_;
    Frame vframe_, aframe_;
    Packet pkt_;
    std::unique_ptr<TsMuxer> mux_;
    std::deque<Item> video_, audio_, records_;
    bool video_done_ = false, audio_done_ = false;
    std::int64_t samples_total_ = 0, samples_fed_ = 0;
    int rate_index_ = 0;
    Item audio_group_;
    std::int64_t packets_ = 0, packets_at_tables_ = -1;
    std::string error_;
};

bool Generator::OpenVideo()
{
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec)
        return (error_ = "libx264 encoder not available", false);
    venc_.reset(avcodec_alloc_context3(codec));
    AVCodecContext* c = venc_.get();
    c->width = s_.width;
    c->height = s_.height;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = AVRational{1, s_.fps};
    c->framerate = AVRational{s_.fps, 1};
    c->gop_size = s_.gop;
    c->keyint_min = s_.gop;
    c->max_b_frames = s_.b_frames;
    c->thread_count = s_.threads;
    if (s_.kbps > 0) {
        c->bit_rate = s_.kbps * 1000LL;
        c->rc_max_rate = c->bit_rate;
        c->rc_buffer_size = static_cast<int>(c->bit_rate);
    }
    av_opt_set(c->priv_data, "preset", "veryfast", 0);
    // Exactly b_frames B-frames between references, none of them used as a reference.
    av_opt_set(c->priv_data, "x264-params", "scenecut=0:b-adapt=0:b-pyramid=none", 0);
    int err = avcodec_open2(c, codec, nullptr);
    if (err < 0)
        return (error_ = "cannot open libx264: " + AvError(err), false);
    vframe_.reset(av_frame_alloc());
    vframe_->format = c->pix_fmt;
    vframe_->width = c->width;
    vframe_->height = c->height;
    if ((err = av_frame_get_buffer(vframe_.get(), 0)) < 0)
        return (error_ = "picture buffer: " + AvError(err), false);
    return true;
}

bool Generator::OpenAudio()
{
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (!codec)
        return (error_ = "AAC encoder not available", false);
    aenc_.reset(avcodec_alloc_context3(codec));
    AVCodecContext* c = aenc_.get();
    c->sample_fmt = AV_SAMPLE_FMT_FLTP;
    c->sample_rate = s_.sample_rate;
    av_channel_layout_default(&c->ch_layout, s_.channels);
    c->time_base = AVRational{1, s_.sample_rate};
    c->bit_rate = 16000LL * s_.channels + s_.sample_rate * 2LL;
    int err = avcodec_open2(c, codec, nullptr);
    if (err < 0)
        return (error_ = "cannot open the AAC encoder: " + AvError(err), false);
    aframe_.reset(av_frame_alloc());
    aframe_->format = c->sample_fmt;
    aframe_->sample_rate = c->sample_rate;
    av_channel_layout_copy(&aframe_->ch_layout, &c->ch_layout);
    aframe_->nb_samples = c->frame_size;
    if ((err = av_frame_get_buffer(aframe_.get(), 0)) < 0)
        return (error_ = "sound buffer: " + AvError(err), false);
    rate_index_ = AdtsRateIndex(s_.sample_rate);
    samples_total_ = std::llround(s_.seconds * s_.sample_rate);
    return true;
}

void Generator::MakeRecords()
{
    if (s_.info_hz <= 0)
        return;
    GpsTrack track = s_.gps;
    if (track.origin == 0)
        track.origin = s_.start_time;
    const std::int64_t first = VideoPts(0);
    long long prev_second = -1;
    for (std::int64_t k = 0; static_cast<double>(k) / s_.info_hz < s_.seconds - 1e-9; ++k) {
        const double rel = static_cast<double>(k) / s_.info_hz;
        RecordInfo r;
        r.pts = first + k * 90000 / s_.info_hz;
        r.time = static_cast<double>(s_.start_time) + rel;
        const Sensor v = SensorAt(s_.sensor, rel, &sensor_rng_);
        char head[64];
        int n = std::snprintf(head, sizeof head, "X:%.3f Y:%.3f Z:%.3f L:%d", v.x, v.y, v.z, v.lean);
        if (n > kTextHead)  // cannot happen with the patterns above; keep the layout regardless
            n = std::snprintf(head, sizeof head, "X:%.2f Y:%.2f Z:%.2f L:%d", v.x, v.y, v.z,
                              std::clamp(v.lean, -99, 99));
        r.x = std::strtod(std::strstr(head, "X:") + 2, nullptr);
        r.y = std::strtod(std::strstr(head, "Y:") + 2, nullptr);
        r.z = std::strtod(std::strstr(head, "Z:") + 2, nullptr);
        r.lean = std::atoi(std::strstr(head, "L:") + 2);
        r.text.assign(head, static_cast<std::size_t>(n));
        r.text.resize(kTextHead, ' ');
        const long long second = static_cast<long long>(std::floor(r.time));
        if (track.enabled && second != prev_second) {
            prev_second = second;
            r.nmea = RmcSentence(track, r.time) + "\r\n" + GgaSentence(track, r.time) + "\r\n";
            std::string field = r.nmea;
            field.resize(kNmeaField, '\0');
            r.text += field;
        }
        Item it;
        it.pts = r.pts;
        it.dts = r.pts;
        it.rank = 0;
        it.data.assign(r.text.begin(), r.text.end());
        it.record = info_->records.size();
        info_->records.push_back(std::move(r));
        records_.push_back(std::move(it));
    }
}

void Generator::Picture(int frame, AVFrame* f)
{
    av_frame_make_writable(f);
    const int i = frame + s_.first_picture;
    const int w = s_.width, h = s_.height;
    const int bx = (i * 4) % std::max(1, w - 32), by = h / 3;
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = f->data[0] + static_cast<std::ptrdiff_t>(y) * f->linesize[0];
        for (int x = 0; x < w; ++x) {
            const bool box = x >= bx && x < bx + 32 && y >= by && y < by + 32;
            row[x] = box ? 235 : static_cast<std::uint8_t>(16 + ((x * 2 + y + i * 3) & 0x7F));
        }
    }
    for (int y = 0; y < h / 2; ++y) {
        std::uint8_t* u = f->data[1] + static_cast<std::ptrdiff_t>(y) * f->linesize[1];
        std::uint8_t* v = f->data[2] + static_cast<std::ptrdiff_t>(y) * f->linesize[2];
        for (int x = 0; x < w / 2; ++x) {
            u[x] = static_cast<std::uint8_t>(64 + ((x + i) & 0x7F));
            v[x] = static_cast<std::uint8_t>(64 + ((y * 2 + 255 - i) & 0x7F));
        }
    }
    f->pts = frame;
}

bool Generator::DrainVideo()
{
    for (;;) {
        const int err = avcodec_receive_packet(venc_.get(), pkt_.get());
        if (err == AVERROR(EAGAIN))
            return true;
        if (err == AVERROR_EOF) {
            video_done_ = true;
            return true;
        }
        if (err < 0)
            return (error_ = "video encoding: " + AvError(err), false);
        Item it;
        it.pts = VideoPts(pkt_->pts);
        it.dts = pkt_->dts == AV_NOPTS_VALUE ? it.pts : VideoPts(pkt_->dts);
        it.rank = 1;
        it.key = (pkt_->flags & AV_PKT_FLAG_KEY) != 0;
        if (s_.long_start_codes)
            it.data = LongStartCodes(pkt_->data, static_cast<std::size_t>(pkt_->size));
        else
            it.data.assign(pkt_->data, pkt_->data + pkt_->size);
        av_packet_unref(pkt_.get());
        video_.push_back(std::move(it));
    }
}

bool Generator::DrainAudio()
{
    for (;;) {
        const int err = avcodec_receive_packet(aenc_.get(), pkt_.get());
        if (err == AVERROR(EAGAIN))
            return true;
        if (err == AVERROR_EOF) {
            if (audio_group_.frames > 0)
                audio_.push_back(std::move(audio_group_));
            audio_group_ = Item{};
            audio_done_ = true;
            return true;
        }
        if (err < 0)
            return (error_ = "audio encoding: " + AvError(err), false);
        // The first packet carries the encoder's priming; it is placed at the first picture's time.
        const std::int64_t samples = pkt_->pts + aenc_->initial_padding;
        if (audio_group_.frames == 0) {
            audio_group_.pts = VideoPts(0) + samples * 90000 / s_.sample_rate;
            audio_group_.dts = audio_group_.pts;
            audio_group_.rank = 2;
        }
        AppendAdts(&audio_group_.data, pkt_->data, pkt_->size, rate_index_, s_.channels);
        av_packet_unref(pkt_.get());
        if (++audio_group_.frames == s_.audio_frames_per_pes) {
            audio_.push_back(std::move(audio_group_));
            audio_group_ = Item{};
        }
    }
}

bool Generator::FeedAudio(std::int64_t target, bool flush)
{
    AVCodecContext* c = aenc_.get();
    target = std::min(target, samples_total_);
    while (samples_fed_ < target) {
        const std::int64_t n = std::min<std::int64_t>(c->frame_size, samples_total_ - samples_fed_);
        if (n < c->frame_size && !flush)
            break;  // the short last frame only at the very end
        av_frame_make_writable(aframe_.get());
        aframe_->nb_samples = static_cast<int>(n);
        for (int ch = 0; ch < s_.channels; ++ch) {
            float* out = reinterpret_cast<float*>(aframe_->data[ch]);
            for (std::int64_t k = 0; k < n; ++k) {
                const double t = static_cast<double>(samples_fed_ + k) / s_.sample_rate;
                const double second = std::floor(t);
                const bool on = s_.beep_seconds <= 0 || t - second < s_.beep_seconds;
                const double hz = s_.tone_hz + s_.tone_step_hz * std::fmod(second, static_cast<double>(s_.tone_cycle));
                // A tone that changes each second starts each second at phase 0.
                const double phase = s_.tone_step_hz > 0 ? t - second : t;
                out[k] = on ? static_cast<float>(0.3 * std::sin(6.28318530717958647692 * hz * phase)) : 0.0f;
            }
        }
        aframe_->pts = samples_fed_;
        samples_fed_ += n;
        int err = avcodec_send_frame(c, aframe_.get());
        if (err < 0)
            return (error_ = "audio encoding: " + AvError(err), false);
        if (!DrainAudio())
            return false;
    }
    if (flush) {
        avcodec_send_frame(c, nullptr);
        return DrainAudio();
    }
    return true;
}

void Generator::EmitPicture(Item& it)
{
    const std::int64_t interval = 90000 / s_.fps;
    if (packets_at_tables_ != packets_)
        mux_->WriteTables(!s_.damage.no_tables, it.dts - interval);
    PictureInfo p;
    p.pts = it.pts;
    p.dts = it.dts;
    p.key = it.key;
    p.size = static_cast<int>(it.data.size());
    p.offset = mux_->WritePes(s_.pids.video, kStreamIdVideo, it.data.data(), it.data.size(), it.pts, it.dts,
                              s_.video_dts);
    info_->pictures.push_back(p);
}

void Generator::EmitReady(bool final)
{
    for (;;) {
        if (!final && ((!video_done_ && video_.empty()) || (aenc_ && !audio_done_ && audio_.empty())))
            return;
        std::deque<Item>* best = nullptr;
        for (auto* q : {&records_, &video_, &audio_}) {
            if (q->empty())
                continue;
            const Item& h = q->front();
            if (!best || h.dts < best->front().dts || (h.dts == best->front().dts && h.rank < best->front().rank))
                best = q;
        }
        if (!best)
            return;
        Item it = std::move(best->front());
        best->pop_front();
        if (best == &video_) {
            EmitPicture(it);
        } else if (best == &audio_) {
            AudioInfo a;
            a.pts = it.pts;
            a.frames = it.frames;
            a.size = static_cast<int>(it.data.size());
            a.offset = mux_->WritePes(s_.pids.audio, kStreamIdAudio, it.data.data(), it.data.size(), it.pts, 0, false);
            info_->audio.push_back(a);
        } else {
            info_->records[it.record].offset =
                mux_->WritePes(s_.pids.priv, kStreamIdPrivate, it.data.data(), it.data.size(), it.pts, 0, false);
        }
    }
}

bool Generator::Run(const std::string& path)
{
    if (!OpenVideo() || (s_.audio && !OpenAudio()))
        return Fail(info_, error_);
    pkt_.reset(av_packet_alloc());
    MakeRecords();

    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return Fail(info_, "cannot create " + path);
    std::vector<char> filebuf(1 << 20);
    std::setvbuf(f, filebuf.data(), _IOFBF, filebuf.size());

    FileSink sink(f, s_.damage, s_.seed, info_);
    mux_ = std::make_unique<TsMuxer>(
        [&](std::uint8_t* p) {
            ++packets_;
            return sink.Put(p);
        },
        s_.audio, s_.info_hz > 0,
        MuxPids{s_.pids.pmt, s_.pids.pcr, s_.pids.video, s_.pids.audio, s_.pids.priv});

    const std::time_t end = s_.end_time ? s_.end_time
                                        : s_.start_time + static_cast<std::time_t>(std::ceil(s_.seconds));
    std::uint8_t* header = info_->header;
    std::memset(header, 0xFF, sizeof info_->header);
    HeaderTime(s_.start_time, header);
    header[64 - 50] = s_.event_code;
    HeaderTime(end, header + 16);
    header[82 - 50] = static_cast<std::uint8_t>(s_.frame_rate_byte >= 0 ? s_.frame_rate_byte : s_.fps);
    mux_->first_packet_hook = [&](std::uint8_t* p) {
        std::memcpy(p + 50, header, 6);
        p[64] = header[14];
        std::memcpy(p + 66, header + 16, 6);
        p[82] = header[32];
    };

    info_->header_offset = s_.damage.lead_garbage;
    mux_->WriteTables(!s_.damage.no_tables, 0);
    packets_at_tables_ = packets_;

    const int frames = std::max(1, static_cast<int>(std::lround(s_.seconds * s_.fps)));
    bool ok = true;
    for (int i = 0; ok && i < frames; ++i) {
        Picture(i, vframe_.get());
        int err = avcodec_send_frame(venc_.get(), vframe_.get());
        if (err < 0) {
            error_ = "video encoding: " + AvError(err);
            ok = false;
            break;
        }
        ok = DrainVideo();
        if (ok && aenc_) {
            const std::int64_t target = (static_cast<std::int64_t>(i) + 1) * s_.sample_rate / s_.fps;
            ok = FeedAudio(target + aenc_->frame_size, false);
        }
        if (ok)
            EmitReady(false);
    }
    if (ok) {
        avcodec_send_frame(venc_.get(), nullptr);
        ok = DrainVideo();
    }
    if (ok && aenc_)
        ok = FeedAudio(samples_total_, true);
    if (ok)
        EmitReady(true);

    info_->size_before_damage = sink.position();
    const bool write_failed = sink.failed();
    const bool close_failed = std::fclose(f) != 0;
    if (!ok)
        return Fail(info_, error_);
    if (write_failed || close_failed)
        return Fail(info_, "cannot write " + path);

    std::int64_t size = info_->size_before_damage;
    const Damage& d = s_.damage;
    if (d.cut_at >= 0 && d.cut_at < size) {
        if (truncate(path.c_str(), d.cut_at) != 0)
            return Fail(info_, "cannot cut " + path);
        size = d.cut_at;
    }
    if (d.flips > 0 && size > 0) {
        Rng rng(s_.seed ^ 0xBB67AE8584CAA73Bull);
        std::set<std::int64_t> where;
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(d.flips, size));
        while (where.size() < want)
            where.insert(static_cast<std::int64_t>(rng.Below(static_cast<std::uint64_t>(size))));
        std::FILE* g = std::fopen(path.c_str(), "r+b");
        if (!g)
            return Fail(info_, "cannot reopen " + path);
        bool good = true;
        for (std::int64_t at : where) {
            std::uint8_t b = 0;
            good = good && fseeko(g, at, SEEK_SET) == 0 && std::fread(&b, 1, 1, g) == 1;
            b ^= static_cast<std::uint8_t>(1 + rng.Below(255));
            good = good && fseeko(g, at, SEEK_SET) == 0 && std::fwrite(&b, 1, 1, g) == 1;
        }
        good = (std::fclose(g) == 0) && good;
        if (!good)
            return Fail(info_, "cannot damage " + path);
        info_->flipped.assign(where.begin(), where.end());
    }
    info_->file_size = size;
    return true;
}

}  // namespace

bool WriteRecording(const RecordingSpec& recipe, const std::string& path, RecordingInfo* info)
{
    RecordingInfo local;
    RecordingInfo* out = info ? info : &local;
    *out = RecordingInfo{};
    const std::string bad = Validate(recipe);
    if (!bad.empty())
        return Fail(out, bad);
    Generator g(recipe, out);
    return g.Run(path);
}

bool WriteFolder(const RecordingSpec& recipe, const std::string& dir, int count, bool index_files,
                 std::vector<std::string>* paths, std::vector<RecordingInfo>* infos, std::string* error)
{
    namespace fs = std::filesystem;
    auto fail = [&](std::string why) {
        if (error)
            *error = std::move(why);
        return false;
    };
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec)
        return fail("cannot create " + dir);
    fs::path dit;
    if (index_files) {
        dit = fs::absolute(fs::path(dir)).lexically_normal();
        if (!dit.has_filename())
            dit = dit.parent_path();
        dit = dit.parent_path() / "dit";
        fs::create_directories(dit, ec);
        if (ec)
            return fail("cannot create " + dit.string());
    }

    RecordingSpec one = recipe;
    if (one.gps.origin == 0)
        one.gps.origin = recipe.start_time;
    const std::time_t step = static_cast<std::time_t>(std::ceil(recipe.seconds));
    const int frames = std::max(1, static_cast<int>(std::lround(recipe.seconds * recipe.fps)));
    for (int k = 0; k < count; ++k) {
        one.start_time = recipe.start_time + k * step;
        one.first_picture = recipe.first_picture + k * frames;
        one.end_time = 0;
        one.seed = recipe.seed + static_cast<std::uint64_t>(k);
        std::tm tm{};
        localtime_r(&one.start_time, &tm);
        char name[64];
        std::snprintf(name, sizeof name, "%04d%02d%02d_%02d%02d%02d_%d", tm.tm_year + 1900, tm.tm_mon + 1,
                      tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, one.event_code);
        const std::string path = (fs::path(dir) / (std::string(name) + ".ts")).string();
        RecordingInfo info;
        if (!WriteRecording(one, path, &info))
            return fail(info.error);
        if (index_files) {
            std::ofstream log(dit / (std::string(name) + ".dit"), std::ios::binary | std::ios::trunc);
            char line[64];
            std::snprintf(line, sizeof line, "$time:%04d/%02d/%02d %02d:%02d:%02d\r\n", tm.tm_year + 1900,
                          tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
            log << line;
            for (const RecordInfo& r : info.records)
                if (!r.nmea.empty())
                    log << r.nmea.substr(0, r.nmea.find("\r\n") + 2);
            log.flush();
            if (!log)
                return fail("cannot write the index file of " + path);
        }
        if (paths)
            paths->push_back(path);
        if (infos)
            infos->push_back(std::move(info));
    }
    return true;
}

}  // namespace recgen
