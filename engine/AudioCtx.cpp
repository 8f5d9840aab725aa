#include "engine/AudioCtx.h"

#include "engine/FpsCtrl.h"
#include "engine/JtvCtrl.h"
#include "engine/MediaCtx.h"
#include "engine/PacketQueue.h"
#include "platform/base/clock.h"
#include "platform/base/sync.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
}

namespace {

constexpr std::int32_t kPacketTypeAudioAlt = 64;  // the other type whose times are measured
constexpr std::int32_t kG726Id = 51;
// The longest a refill waits for a notification; also bounds a stop's wait.
constexpr DWORD kNotifyWaitMs = 1000;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Device

CDSoundCtx::~CDSoundCtx() = default;

bool CDSoundCtx::Open(HWND window, int channels, int rate, int bits)
{
    if (m_sound)
        return true;
    std::unique_ptr<DirectSound> sound = DirectSound::Create();
    if (!sound)
        return false;
    if (sound->SetCooperativeLevel(window, DSSCL_PRIORITY) != DS_OK)
        return false;
    WAVEFORMATEX f;
    f.wFormatTag = kWaveFormatPcm;
    f.nChannels = static_cast<WORD>(channels);
    f.nSamplesPerSec = static_cast<DWORD>(rate);
    f.wBitsPerSample = static_cast<WORD>(bits);
    f.nBlockAlign = static_cast<WORD>(bits / 8 * channels);
    f.nAvgBytesPerSec = f.nBlockAlign * f.nSamplesPerSec;
    if (sound->SetPrimaryFormat(f) != DS_OK)
        return false;
    m_sound = std::move(sound);
    return true;
}

std::unique_ptr<DirectSoundBuffer> CDSoundCtx::CreateBuffer(HANDLE event, int channels, int rate, int bits)
{
    if (!m_sound || event == nullptr)
        return nullptr;
    WAVEFORMATEX f;
    f.wFormatTag = kWaveFormatPcm;
    f.nChannels = static_cast<WORD>(channels);
    f.nSamplesPerSec = static_cast<DWORD>(rate);
    f.wBitsPerSample = static_cast<WORD>(bits);
    f.nBlockAlign = static_cast<WORD>(bits / 8 * channels);
    f.nAvgBytesPerSec = f.nBlockAlign * f.nSamplesPerSec;
    DSBUFFERDESC desc;
    desc.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS | DSBCAPS_CTRLPOSITIONNOTIFY |
                   DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLFREQUENCY | DSBCAPS_LOCSOFTWARE;
    desc.dwBufferBytes = kAudioBufferBytes;
    desc.lpwfxFormat = &f;
    std::unique_ptr<DirectSoundBuffer> buffer;
    if (m_sound->CreateSoundBuffer(desc, &buffer) != DS_OK || !buffer)
        return nullptr;
    // The middle of each chunk: passing it frees the chunk after next for writing.
    DSBPOSITIONNOTIFY notify[kAudioChunks];
    for (int i = 0; i < kAudioChunks; ++i) {
        notify[i].dwOffset = kAudioChunkBytes / 2 + kAudioChunkBytes * static_cast<DWORD>(i);
        notify[i].hEventNotify = event;
    }
    if (buffer->SetNotificationPositions(kAudioChunks, notify) != DS_OK)
        return nullptr;
    return buffer;
}

// ---------------------------------------------------------------------------------------------
// Worker

CAudioCtx::~CAudioCtx()
{
    Stop(INFINITE);
    m_buffer.reset();
    if (m_event != nullptr)
        CloseHandle(m_event);
    CloseDecoder();
}

std::int64_t CAudioCtx::Now() const
{
    return m_ticks ? m_ticks() : static_cast<std::int64_t>(GetTickCount64());
}

CABuffer2* CAudioCtx::Queue()
{
    if (m_queueOverride != nullptr)
        return m_queueOverride;
    if (m_engine == nullptr)
        return nullptr;
    CABuffer2* q = m_engine->m_audioQueue[0];
    return q != nullptr ? q : &m_engine->m_channel.AudioQueue();
}

bool CAudioCtx::OpenDecoder()
{
    if (m_codec != nullptr)
        return true;
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_AAC);
    if (codec == nullptr)
        return false;
    m_codec = avcodec_alloc_context3(codec);
    m_packet = av_packet_alloc();
    m_frame = av_frame_alloc();
    if (m_codec == nullptr || m_packet == nullptr || m_frame == nullptr ||
        avcodec_open2(m_codec, codec, nullptr) < 0) {
        CloseDecoder();
        return false;
    }
    return true;
}

void CAudioCtx::CloseDecoder()
{
    swr_free(&m_swr);
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
    avcodec_free_context(&m_codec);
}

bool CAudioCtx::Start()
{
    // A thread left over from a stop that timed out may still use the buffer.
    if (IsThreadAlive())
        return false;
    if (!OpenDecoder())
        return false;
    if (m_event == nullptr)
        m_event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    else
        ResetEvent(m_event);
    HWND window = m_engine != nullptr ? m_engine->m_renderWindow[0].load(std::memory_order_relaxed) : nullptr;
    if (m_event != nullptr && Open(window, kAudioChannels, kAudioRate, kAudioBits) && !m_buffer) {
        m_buffer = CreateBuffer(m_event, kAudioChannels, kAudioRate, kAudioBits);
        if (m_buffer)
            m_buffer->SetVolume(OutputVolume());
    }
    m_paused.store(false, std::memory_order_relaxed);
    return CMyThread::Start();
}

void CAudioCtx::Stop(DWORD timeout_ms)
{
    RequestStop();
    if (m_event != nullptr)
        SetEvent(m_event);
    CMyThread::Stop(timeout_ms);
    if (m_buffer) {
        m_buffer->Stop();
        m_buffer->SetCurrentPosition(0);
    }
    // Whatever the export left in it, the next stream starts from the reset 40 kbit/s state.
    m_g726.Init(kG726Id);
}

void CAudioCtx::SetVolume(LONG volume)
{
    LONG v = volume < -2699 ? -10000 : volume;
    if (v > 0)
        v = 0;
    m_outputVolume.store(v, std::memory_order_relaxed);
    if (m_buffer)
        m_buffer->SetVolume(v);
}

bool CAudioCtx::Audible() const
{
    // Sound belongs to play at normal speed only: slow, fast, backward play, steps and the
    // pause are silent.
    if (Paused())
        return false;
    return m_engine == nullptr || m_engine->m_playSpeed.load(std::memory_order_relaxed) == 1.0;
}

bool CAudioCtx::PicturesRunning() const
{
    if (m_engine == nullptr || m_engine->m_enableVideo[0].load(std::memory_order_relaxed) == 0)
        return false;
    const CVideoCtx* video = m_engine->m_videoCtx[0];
    return video != nullptr && video->Presenting();
}

void CAudioCtx::DropPending()
{
    m_pending.clear();
    m_pendingRead = 0;
    m_padSamples = 0;
}

void CAudioCtx::BeginPlacing(bool stale)
{
    m_placing = true;
    m_aheadStale = m_aheadStale || stale;
    m_placingSince = Now();
}

DWORD CAudioCtx::Run()
{
    DWORD write = 0;  // start of the next chunk to fill
    bool playing = false;
    bool wasAudible = true;
    DropPending();
    m_holdForMarker = false;
    m_holdSerial = -1;
    m_takenSerial = m_engine != nullptr ? m_engine->m_channel.Demux().RestartSerial() : 0;
    BeginPlacing(true);
    if (m_codec != nullptr)
        avcodec_flush_buffers(m_codec);

    while (IsRunning()) {
        if (!m_buffer) {
            // Nowhere to play: keep the queue from filling up.
            PacketDesc d;
            if (CABuffer2* q = Queue())
                q->Pop(d);
            WaitWhileRunning(10);
            continue;
        }
        const bool audible = Audible();
        if (!audible && wasAudible) {
            // The queue waits; what was written ahead goes silent from the next block the
            // device takes. When the pictures resume normal play they have the sound read
            // again from the picture on the screen: what is queued then lies ahead of it.
            DropPending();
            if (playing)
                RewriteAhead(write);
            m_holdForMarker = PicturesRunning();
            m_holdSerial = -1;
            BeginPlacing(true);
        }
        wasAudible = audible;
        if (audible && playing && (m_placing || m_realign.load(std::memory_order_acquire)))
            Place(write);

        DWORD play = 0, device = 0;
        const bool known = m_buffer->GetCurrentPosition(&play, &device) == DS_OK;
        // Woken early (a restart of the clock, a stop): a chunk is written only when the one
        // before it has begun to play, so that the lead over the device stays as it was.
        const DWORD lead = (write + kAudioBufferBytes - play) % kAudioBufferBytes;
        if (!playing || !known || lead <= kAudioChunkBytes * 2) {
            void* p1 = nullptr;
            void* p2 = nullptr;
            DWORD n1 = 0, n2 = 0;
            HRESULT hr = m_buffer->Lock(write, kAudioChunkBytes, &p1, &n1, &p2, &n2, 0);
            if (hr == DSERR_BUFFERLOST) {
                m_buffer->Restore();
                hr = m_buffer->Lock(write, kAudioChunkBytes, &p1, &n1, &p2, &n2, 0);
            }
            if (hr != DS_OK) {
                WaitWhileRunning(10);
                continue;
            }
            if (n1 != kAudioChunkBytes) {
                m_buffer->Unlock(p1, 0, p2, 0);
                WaitWhileRunning(10);
                continue;
            }
            m_chunkOffset = write;
            FillChunk(static_cast<std::int16_t*>(p1), kAudioChunkBytes / 2);
            m_buffer->Unlock(p1, n1, p2, 0);

            if (m_buffer->GetCurrentPosition(&play, &device) == DS_OK) {
                const DWORD at = write <= kAudioChunkBytes ? write + kAudioBufferBytes : write;
                if (at < play && at < device)
                    write = device / kAudioChunkBytes * kAudioChunkBytes;  // fell behind: catch up
            }
            write += kAudioChunkBytes;
            if (write >= kAudioBufferBytes)
                write = 0;
        }

        if (!playing) {
            m_buffer->SetCurrentPosition(0);
            playing = m_buffer->Play(0, 0, DSBPLAY_LOOPING) == DS_OK;
        } else {
            // While sound waits to be placed it is looked for often, so that it starts as
            // soon as it can.
            const bool waiting = Audible() && (m_placing || m_realign.load(std::memory_order_relaxed));
            WaitForSingleObject(m_event, waiting ? 10 : kNotifyWaitMs);
        }
    }
    return 0;
}

void CAudioCtx::RewriteAhead(DWORD write)
{
    // From the device's write cursor up to the next chunk to fill: what is already written
    // ahead there is replaced (by silence, or by sound placed to match the pictures).
    DWORD play = 0, device = 0;
    if (!m_buffer || m_buffer->GetCurrentPosition(&play, &device) != DS_OK)
        return;
    const DWORD bytes = (write + kAudioBufferBytes - device) % kAudioBufferBytes & ~DWORD{1};
    if (bytes == 0 || bytes > kAudioChunkBytes * 3)
        return;
    void* p1 = nullptr;
    void* p2 = nullptr;
    DWORD n1 = 0, n2 = 0;
    if (m_buffer->Lock(device, bytes, &p1, &n1, &p2, &n2, 0) != DS_OK)
        return;
    m_chunkOffset = device;
    FillChunk(static_cast<std::int16_t*>(p1), n1 / 2);
    if (p2 != nullptr && n2 > 0) {
        m_chunkOffset = 0;
        FillChunk(static_cast<std::int16_t*>(p2), n2 / 2);
    }
    m_buffer->Unlock(p1, n1, p2, n2);
}

bool CAudioCtx::TakeMarker(const PacketDesc& d)
{
    if (d.type != PKT_MARKER)
        return false;
    // The demultiplexer started over: what was taken before is from elsewhere, and the sound
    // after the marker waits until the pictures have restarted the clock after it.
    DropPending();
    m_holdForMarker = false;
    m_holdSerial = d.time;
    m_takenSerial = d.time;
    BeginPlacing(true);
    return true;
}

void CAudioCtx::Place(DWORD write)
{
    CABuffer2* q = Queue();
    if (q == nullptr || m_engine == nullptr) {
        m_placing = false;
        m_realign.store(false, std::memory_order_relaxed);
        return;
    }
    if (m_realign.exchange(false, std::memory_order_acq_rel))
        BeginPlacing(false);
    const std::int64_t now = Now();
    PacketDesc d;
    // The pictures restarted the clock for a restart of the reader after the one the sound in
    // hand was read after (a second seek soon after one): that sound and what is queued before
    // the restart's marker belong to the place left, and would be placed against the new clock.
    if (!m_holdForMarker && m_engine->m_restartedSerial.load(std::memory_order_acquire) - m_takenSerial > 0) {
        DropPending();
        m_holdForMarker = true;
        m_placingSince = now;
    }
    if (m_holdForMarker) {
        // Back after silence: what is queued was read before play resumed.
        while (m_holdForMarker && q->Pop(d))
            TakeMarker(d);
        if (m_holdForMarker) {
            if (now - m_placingSince < kHoldMarkerMs)
                return;
            m_holdForMarker = false;
        }
    }
    if (m_holdSerial >= 0) {
        if (m_engine->m_restartedSerial.load(std::memory_order_acquire) - m_holdSerial < 0 &&
            now - m_placingSince < kHoldRestartMs && PicturesRunning())
            return;
        m_holdSerial = -1;
    }
    // The next sound to play, decoded.
    while (m_pendingRead == m_pending.size()) {
        DropPending();
        if (PendNextPacket(*q, false) != Next::kSound)
            return;
    }
    m_chunkOffset = write;
    const std::int64_t delay = m_aheadStale ? CursorDelay() : OutputDelay(0);
    std::int64_t baseTime = 0, baseTick = 0;
    {
        CCritSecsLock lock(m_anchorLock);
        // The first picture restarts the clock; without pictures the sound does.
        if (!m_engine->ClockBase(&baseTime, &baseTick) && PicturesRunning() && now - m_placingSince < kHoldRestartMs)
            return;
        // Placing answers the requests to resynchronise made so far. They are taken before the
        // clock is read: one made after that is for the sound that follows, and stands.
        m_resync.store(0, std::memory_order_relaxed);
        m_engine->m_syncPending.store(0, std::memory_order_relaxed);
        if (!m_engine->ClockBase(&baseTime, &baseTick)) {
            m_outputDelay = delay;
            baseTick = Restart(m_pendingPts, m_pendingPts, delay);
            baseTime = m_pendingPts;
        }
    }
    const std::int64_t readPts =
        m_pendingPts + static_cast<std::int64_t>(m_pendingRead) * 1000000 / kAudioRate;
    const std::int64_t due = baseTick + (readPts - baseTime) / 1000;
    m_chunkOffset = write;
    const std::int64_t atWrite = now + OutputDelay(0) - due;
    m_placing = false;
    if (!m_aheadStale && std::llabs(atWrite) <= kPlaceToleranceMs)
        return;  // already in step where the next chunk goes
    const std::int64_t late = now + CursorDelay() - due;
    if (std::llabs(late) > kPlaceLimitMs)
        return;  // from another stretch of the stream: played as it comes
    m_aheadStale = false;
    if (late > 0) {
        // Its time has passed: what is late is left out.
        std::size_t skip = static_cast<std::size_t>(late * kAudioRate / 1000);
        while (skip > 0) {
            const std::size_t n = std::min(skip, m_pending.size() - m_pendingRead);
            m_pendingRead += n;
            skip -= n;
            if (skip == 0)
                break;
            DropPending();
            if (PendNextPacket(*q, false) != Next::kSound)
                break;
        }
    } else {
        m_padSamples = static_cast<std::size_t>(-late * kAudioRate / 1000);
    }
    RewriteAhead(write);
}

std::int64_t CAudioCtx::CursorDelay()
{
    return DelayFromPlayCursor(true, 0);
}

void CAudioCtx::FillChunk(std::int16_t* out, std::size_t count)
{
    std::size_t done = 0;
    while (done < count && IsRunning() && Audible() && !m_placing) {
        if (m_padSamples > 0) {
            const std::size_t n = std::min(count - done, m_padSamples);
            std::memset(out + done, 0, n * sizeof(std::int16_t));
            m_padSamples -= n;
            done += n;
            continue;
        }
        if (m_pendingRead == m_pending.size()) {
            DropPending();  // no padding is left here: it is written first
            m_outputDelay = OutputDelay(done);
            if (!TakePacket())
                break;
            continue;
        }
        const std::size_t n = std::min(count - done, m_pending.size() - m_pendingRead);
        std::memcpy(out + done, m_pending.data() + m_pendingRead, n * sizeof(std::int16_t));
        m_pendingRead += n;
        done += n;
    }
    if (done < count)
        std::memset(out + done, 0, (count - done) * sizeof(std::int16_t));
}

std::int64_t CAudioCtx::OutputDelay(std::size_t done)
{
    return DelayFromPlayCursor(false, done);
}

std::int64_t CAudioCtx::DelayFromPlayCursor(bool toWriteCursor, std::size_t done)
{
    DWORD play = 0, device = 0;
    if (!m_buffer || m_buffer->GetCurrentPosition(&play, &device) != DS_OK)
        return 0;
    const std::uint64_t at = toWriteCursor ? device : m_chunkOffset + done * sizeof(std::int16_t);
    const std::uint64_t ahead = (at + kAudioBufferBytes - play) % kAudioBufferBytes;
    return static_cast<std::int64_t>(ahead * 1000 / (kAudioRate * sizeof(std::int16_t)));
}

CAudioCtx::Next CAudioCtx::PendNextPacket(CABuffer2& q, bool measure)
{
    PacketDesc d;
    for (;;) {
        if (!q.Pop(d))
            return Next::kNone;
        if (TakeMarker(d))
            return Next::kMarker;
        if (measure && static_cast<std::uint64_t>(d.pts) != kAnchorOff)
            SyncTimestamp(d);
        if (d.type == PKT_CAR_INFO || d.data == nullptr || d.size <= 0) {
            if (measure)
                return Next::kOther;
            continue;
        }
        m_pendingPts = d.pts;
        m_pendingType = d.type;
        Decode(d.data, d.size);
        return Next::kSound;
    }
}

bool CAudioCtx::TakePacket()
{
    CABuffer2* q = Queue();
    return q != nullptr && PendNextPacket(*q, true) != Next::kNone;
}

void CAudioCtx::Decode(const BYTE* data, int size)
{
    // A packet may carry several ADTS frames; each goes to the decoder on its own. Data that
    // does not parse as ADTS goes as it is, and the decoder judges it.
    while (size > 0) {
        int frame = size;
        if (size >= 7 && data[0] == 0xFF && (data[1] & 0xF6) == 0xF0) {
            const int length = ((data[3] & 0x03) << 11) | (data[4] << 3) | (data[5] >> 5);
            if (length >= 7 && length < size)
                frame = length;
        }
        DecodeFrame(data, frame);
        data += frame;
        size -= frame;
    }
}

void CAudioCtx::DecodeFrame(const BYTE* data, int size)
{
    if (m_codec == nullptr)
        return;
    // The decoder copies the body, which the queue may reuse after the next pop.
    m_packet->data = const_cast<BYTE*>(data);
    m_packet->size = size;
    int r = avcodec_send_packet(m_codec, m_packet);
    if (r == AVERROR(EAGAIN)) {
        // The rest of a packet that failed half-way is still inside: drop it.
        avcodec_flush_buffers(m_codec);
        r = avcodec_send_packet(m_codec, m_packet);
    }
    m_packet->data = nullptr;
    m_packet->size = 0;
    if (r < 0)
        return;  // undecodable: skipped
    while (avcodec_receive_frame(m_codec, m_frame) >= 0) {
        AVFrame* f = m_frame;
        const std::uint64_t mask = f->ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? f->ch_layout.u.mask : 0;
        if (m_swr == nullptr || f->sample_rate != m_swrRate || f->format != m_swrFormat ||
            f->ch_layout.nb_channels != m_swrChannels || mask != m_swrMask) {
            swr_free(&m_swr);
            AVChannelLayout mono;
            av_channel_layout_default(&mono, kAudioChannels);
            if (f->sample_rate <= 0 ||
                swr_alloc_set_opts2(&m_swr, &mono, AV_SAMPLE_FMT_S16, kAudioRate, &f->ch_layout,
                                    static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr) < 0 ||
                swr_init(m_swr) < 0) {
                swr_free(&m_swr);
                av_frame_unref(f);
                continue;
            }
            m_swrRate = f->sample_rate;
            m_swrFormat = f->format;
            m_swrChannels = f->ch_layout.nb_channels;
            m_swrMask = mask;
        }
        const int room = swr_get_out_samples(m_swr, f->nb_samples);
        if (room > 0) {
            const std::size_t at = m_pending.size();
            m_pending.resize(at + static_cast<std::size_t>(room));
            auto* dst = reinterpret_cast<std::uint8_t*>(m_pending.data() + at);
            const int got = swr_convert(m_swr, &dst, room, const_cast<const std::uint8_t**>(f->extended_data),
                                        f->nb_samples);
            m_pending.resize(at + static_cast<std::size_t>(std::max(got, 0)));
        }
        av_frame_unref(f);
    }
}

// ---------------------------------------------------------------------------------------------
// Clock anchoring

void CAudioCtx::SyncTimestamp(const PacketDesc& packet)
{
    const auto ts = static_cast<std::uint64_t>(packet.pts);
    if (ts == 0 || ts == kAnchorOff)
        return;
    m_lastTimestamp.store(ts, std::memory_order_relaxed);

    // The restart, the measurement and the slew each read the base and move it with the
    // anchor: a restart by the pictures in between would be moved, or its anchor overwritten.
    CCritSecsLock lock(m_anchorLock);
    std::int64_t ref = 0, refTick = 0;
    // The engine's clock starts from the audio: at the first packet of a play (no clock base
    // yet, or the first picture asking for it), and whenever a resync was asked for. Only a
    // packet with a type answers a request; one without leaves it standing.
    if (packet.type != 0) {
        const bool asked = m_resync.exchange(0, std::memory_order_relaxed) != 0;
        const bool unanchored =
            m_engine != nullptr && (m_engine->m_syncPending.exchange(0) != 0 || !m_engine->ClockBase(&ref, &refTick));
        if (asked || unanchored) {
            // The engine's clock starts over from this packet at the tick it will be heard; the
            // drift is measured from here, unless the synchronisation is off: that stays off.
            Restart(packet.pts, packet.pts, m_outputDelay);
        }
    }
    if (packet.type != kPacketTypeAudioAlt && packet.type != PKT_AAC_FRAME)
        return;

    // Packets are taken well ahead of the device: each is measured at the tick it is heard.
    const std::int64_t now = Now() + m_outputDelay;
    if (m_anchorTick.load(std::memory_order_relaxed) == 0)
        m_anchorTick.store(now, std::memory_order_relaxed);
    const std::uint64_t anchor = m_anchor.load(std::memory_order_relaxed);
    if (anchor == kAnchorOff)
        return;
    if (anchor == 0) {
        m_anchor.store(ts, std::memory_order_relaxed);
        m_anchorTick.store(0, std::memory_order_relaxed);
        return;
    }
    // The engine's clock base is what moves; without one there is nothing to measure against.
    if (m_engine == nullptr || !m_engine->ClockBase(&ref, &refTick))
        return;
    m_packetsSinceMediaTime.fetch_add(1, std::memory_order_relaxed);
    const std::int64_t wall = now - m_anchorTick.load(std::memory_order_relaxed);
    const std::int64_t media = static_cast<std::int64_t>(ts - static_cast<std::uint64_t>(ref)) / 1000;
    const std::int64_t d = wall - media;
    const std::int64_t magnitude = d < 0 ? -d : d;
    const int sign = d < 1 ? -1 : 1;
    m_drift.store(magnitude, std::memory_order_relaxed);
    m_driftSign.store(sign, std::memory_order_relaxed);
    // Seconds apart, the sound and the clock come from different places (a file change the
    // pictures reached first, or the other way round): not a drift to be slewed away.
    if (magnitude > kAudioSegmentMs)
        return;
    const std::int64_t shift = sign * std::min(magnitude, kAudioMaxSlewMs) * 1000;
    if (shift != 0)
        m_slewsSinceRestart.fetch_add(1, std::memory_order_relaxed);
    m_engine->ShiftClockBase(-shift);
    SetAnchorTime(ref - shift);
}

void CAudioCtx::AdvanceAnchorTick(std::int64_t ms)
{
    CCritSecsLock lock(m_anchorLock);
    std::int64_t base = 0, baseTick = 0;
    if (m_engine == nullptr || !m_engine->ClockBase(&base, &baseTick)) {
        m_anchorTick.fetch_add(ms, std::memory_order_relaxed);
        return;
    }
    // The base took its step before this lock was taken; a restart since then has set the
    // anchor on the base it made, which moving would put ten minutes away.
    if (m_anchorTick.load(std::memory_order_relaxed) + ms != baseTick)
        return;
    m_anchorTick.store(baseTick, std::memory_order_relaxed);
    const std::uint64_t anchor = m_anchor.load(std::memory_order_relaxed);
    if (anchor != 0 && anchor != kAnchorOff)
        SetAnchorTime(base);  // with any slew that came between
}

void CAudioCtx::SetAnchorTime(std::int64_t time)
{
    // The anchor's two reserved values (not set, off) are never taken by a stream time that
    // slewing happens to reach.
    auto v = static_cast<std::uint64_t>(time);
    if (v == 0 || v == kAnchorOff)
        v = 1;
    m_anchor.store(v, std::memory_order_relaxed);
}

void CAudioCtx::SetMediaTime(std::int64_t time)
{
    CCritSecsLock lock(m_anchorLock);
    m_mediaTime.store(time, std::memory_order_relaxed);
    m_packetsSinceMediaTime.store(0, std::memory_order_relaxed);
    if (m_engine != nullptr && m_engine->m_fps[0])
        m_engine->m_fps[0]->refTimestamp.store(time, std::memory_order_relaxed);
    m_timeAnchored.store(true, std::memory_order_relaxed);
}

void CAudioCtx::SetMediaTimeFromPts(const BYTE pts[5])
{
    const std::uint64_t ticks = (static_cast<std::uint64_t>((pts[0] >> 1) & 0x07) << 30) |
                                (static_cast<std::uint64_t>(pts[1]) << 22) |
                                (static_cast<std::uint64_t>(pts[2] >> 1) << 15) |
                                (static_cast<std::uint64_t>(pts[3]) << 7) |
                                (static_cast<std::uint64_t>(pts[4]) >> 1);
    // Microseconds as the demultiplexer counts them for every other timestamp.
    SetMediaTime(static_cast<std::int64_t>(static_cast<double>(ticks) * 11.1111));
}

std::int64_t CAudioCtx::Restart(std::int64_t engine_time, std::optional<std::int64_t> media, std::int64_t delay_ms)
{
    CCritSecsLock lock(m_anchorLock);
    if (media)
        SetMediaTime(*media);
    const auto offset =
        static_cast<LONG>(m_tickOffset.exchange(0, std::memory_order_relaxed) + static_cast<LONG>(delay_ms));
    m_prevTickOffset.store(offset, std::memory_order_relaxed);
    const std::int64_t tick = Now() + offset;
    const std::int64_t mediaTime = m_mediaTime.load(std::memory_order_relaxed);
    m_timeAnchored.store(false, std::memory_order_relaxed);
    m_packetsSinceMediaTime.store(0, std::memory_order_relaxed);
    m_slewsSinceRestart.store(0, std::memory_order_relaxed);
    // The drift of later packets is measured from this restart, whoever made it: an anchor
    // left at an earlier base would read the jump between the two as drift.
    if (m_anchor.load(std::memory_order_relaxed) != kAnchorOff)
        SetAnchorTime(engine_time);
    m_anchorTick.store(tick, std::memory_order_relaxed);
    if (m_engine != nullptr) {
        m_engine->SetClockBase(engine_time, tick);
        if (m_engine->m_fps[0]) {
            m_engine->m_fps[0]->refTick.store(tick, std::memory_order_relaxed);
            m_engine->m_fps[0]->refTimestamp.store(mediaTime, std::memory_order_relaxed);
        }
    }
    return tick;
}

void CAudioCtx::RestartClock()
{
    CCritSecsLock lock(m_anchorLock);
    Restart(m_mediaTime.load(std::memory_order_relaxed), std::nullopt, 0);
}

void CAudioCtx::RestartClockAt(std::int64_t time)
{
    Restart(time, std::nullopt, 0);
    // The pictures restarted the clock: the sound that follows is placed to match it.
    m_realign.store(true, std::memory_order_release);
}

void CAudioCtx::RestartClockFrom(std::int64_t time)
{
    Restart(time, time, 0);
}
