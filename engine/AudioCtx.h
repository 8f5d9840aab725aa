#pragma once
// The channel's audio worker: AAC from the channel's audio queue, decoded and converted to
// 16-bit mono PCM at 8 kHz, streamed into one looping output buffer of 16 chunks, one chunk
// refilled each time the play position passes the middle of a chunk. Silence is written
// whenever the queue is empty or playback is paused, so the output never stops.
//
// Audio timestamps also tie the engine's clock to the sound: each audio packet moves the
// engine's reference stream time toward the audio clock by at most 66 ms.
//
// The audio thread and the video thread both restart the clock, the audio thread slews it and
// the video thread moves it on in ten-minute steps. The anchor is measured against the
// engine's clock base, so a restart or a slew reads and writes both in one step under the
// anchor's lock, whichever thread runs it. The ten-minute step is not taken under that lock:
// the video thread moves the base under the engine's clock lock, and only while it is still the
// base it measured (after a restart or slew it waits for the next picture); the anchor then
// follows under the anchor's lock unless a restart came between (AdvanceAnchorTick). Sound
// measured between the two lies ten minutes off the base and is not slewed.

#include "engine/CritSecs.h"
#include "engine/MyThread.h"
#include "engine/g726.h"
#include "platform/base/types.h"
#include "platform/media/dsound.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CJtvCtrl;
class CABuffer2;
struct PacketDesc;
struct AVCodecContext;
struct AVCodec;
struct AVPacket;
struct AVFrame;
struct SwrContext;

// Output format and geometry of the streaming buffer.
constexpr int kAudioChannels = 1;
constexpr int kAudioRate = 8000;
constexpr int kAudioBits = 16;
constexpr DWORD kAudioChunkBytes = 0x1800;                 // 3,072 samples, 384 ms
constexpr int kAudioChunks = 16;
constexpr DWORD kAudioBufferBytes = kAudioChunkBytes * kAudioChunks;  // 0x18000
// The largest step, in milliseconds, by which one audio packet moves the engine's clock.
constexpr std::int64_t kAudioMaxSlewMs = 66;
// Sound and clock further apart than this belong to different stretches of the stream.
constexpr std::int64_t kAudioSegmentMs = 1000;
// An anchor of all ones turns the audio clock synchronisation off.
constexpr std::uint64_t kAnchorOff = ~std::uint64_t{0};

// The output device and its one streaming buffer.
class CDSoundCtx {
public:
    CDSoundCtx() = default;
    virtual ~CDSoundCtx();
    CDSoundCtx(const CDSoundCtx&) = delete;
    CDSoundCtx& operator=(const CDSoundCtx&) = delete;

    // Opens the default output device with that primary format; true at once when it is open.
    bool Open(HWND window, int channels, int rate, int bits);
    // The streaming buffer: 16 chunks of PCM in that format, with a notification in the middle
    // of each chunk on `event`. Null on any failure.
    std::unique_ptr<DirectSoundBuffer> CreateBuffer(HANDLE event, int channels, int rate, int bits);

protected:
    std::unique_ptr<DirectSound> m_sound;
};

class CAudioCtx : public CMyThread, public CDSoundCtx {
public:
    explicit CAudioCtx(CJtvCtrl* engine) : m_engine(engine) {}
    ~CAudioCtx() override;

    // Opens the decoder (false without a thread when that fails), the device and the buffer,
    // clears the pause and starts the thread. Without an output device the thread only drains
    // the queue.
    bool Start() override;
    // Ends the thread, then stops the buffer at position 0.
    void Stop(DWORD timeout_ms) override;
    DWORD Run() override;
    // Start again after a stop; its result is Start's.
    bool Restart() { return Start(); }

    void SetPaused(bool paused) { m_paused.store(paused, std::memory_order_relaxed); }
    bool Paused() const { return m_paused.load(std::memory_order_relaxed); }

    // Output volume in hundredths of a decibel: below -2,699 it is silence (-10,000), and
    // the output takes nothing above 0.
    void SetVolume(LONG volume);
    LONG OutputVolume() const { return m_outputVolume.load(std::memory_order_relaxed); }

    // --- clock anchoring ---
    // The media time (microseconds) of an audio packet: the anchored time and the play clock's
    // reference time; marks the audio as time-anchored.
    void SetMediaTime(std::int64_t time);
    // The same from the five PTS bytes of a PES header (33 bits between marker bits).
    void SetMediaTimeFromPts(const BYTE pts[5]);
    // Restarts the engine's clock base and the play clock's reference at the current tick
    // (plus the tick offset, used once) and the anchored media time.
    void RestartClock();
    // As RestartClock, with `time` as the engine's clock-base media time (after a seek).
    void RestartClockAt(std::int64_t time);
    // SetMediaTime(time) and RestartClock() as one step: no other restart takes the time.
    void RestartClockFrom(std::int64_t time);
    // Asks the audio thread to re-anchor the engine's clock at its next audio packet.
    void RequestResync() { m_resync.store(1, std::memory_order_relaxed); }
    bool ResyncRequested() const { return m_resync.load(std::memory_order_relaxed) != 0; }
    // Milliseconds added to the tick count at the next restart.
    void SetTickOffset(LONG ms) { m_tickOffset.store(ms, std::memory_order_relaxed); }
    LONG PreviousTickOffset() const { return m_prevTickOffset.load(std::memory_order_relaxed); }
    std::int64_t MediaTime() const { return m_mediaTime.load(std::memory_order_relaxed); }
    bool TimeAnchored() const { return m_timeAnchored.load(std::memory_order_relaxed); }
    // How far the present anchor has carried the sound: audio packets measured since the media
    // time was set, and slews of the engine's clock since the clock last restarted.
    LONG PacketsSinceMediaTime() const { return m_packetsSinceMediaTime.load(std::memory_order_relaxed); }
    LONG SlewsSinceRestart() const { return m_slewsSinceRestart.load(std::memory_order_relaxed); }

    // The drift measurement of each audio packet with a timestamp; run by the audio thread for
    // every packet it takes, and by tests on constructed packets.
    void SyncTimestamp(const PacketDesc& packet);
    // 0: not set; kAnchorOff: synchronisation off.
    void SetAnchor(std::uint64_t anchor) { m_anchor.store(anchor, std::memory_order_relaxed); }
    std::uint64_t Anchor() const { return m_anchor.load(std::memory_order_relaxed); }
    // The engine's clock base has moved on by `ms` (its ten-minute steps): the anchor follows,
    // unless a restart came between and put it on the new base already. Called without the
    // engine's clock lock held.
    void AdvanceAnchorTick(std::int64_t ms);
    std::int64_t AnchorTick() const { return m_anchorTick.load(std::memory_order_relaxed); }
    std::int64_t Drift() const { return m_drift.load(std::memory_order_relaxed); }
    int DriftSign() const { return m_driftSign.load(std::memory_order_relaxed); }
    std::uint64_t LastAudioTimestamp() const { return m_lastTimestamp.load(std::memory_order_relaxed); }

    // Tests replace the millisecond tick count and the queue the thread reads.
    void SetTickSource(std::function<std::int64_t()> ticks) { m_ticks = std::move(ticks); }
    void SetQueue(CABuffer2* queue) { m_queueOverride = queue; }
    // The streaming buffer while one exists (its test tap).
    DirectSoundBuffer* Buffer() { return m_buffer.get(); }
    G726Decoder& G726() { return m_g726; }

private:
    std::int64_t Now() const;
    CABuffer2* Queue();
    bool OpenDecoder();
    void CloseDecoder();
    // Decodes one packet and appends its samples, converted, to the pending samples.
    void Decode(const BYTE* data, int size);
    void DecodeFrame(const BYTE* data, int size);
    // Fills `count` samples from the pending samples and the queue, silence where there are none.
    void FillChunk(std::int16_t* out, std::size_t count);
    // Sound is played at normal speed only, and not while paused.
    bool Audible() const;
    // The video thread shows pictures, which restart the clock after every change of play.
    bool PicturesRunning() const;
    void DropPending();
    // The next sound is placed to match the clock (after a restart of the clock or of the
    // stream); `stale`: what is written ahead in the output is to be replaced.
    void BeginPlacing(bool stale);
    // Places the next sound: waits for the re-read stream and for the pictures' restart of
    // the clock, then leaves out what is late or pads what is early, from the device's write
    // cursor on when the sound written ahead is not in step.
    void Place(DWORD write);
    // Rewrites the output from the device's write cursor up to `write`.
    void RewriteAhead(DWORD write);
    // A restart marker of the demultiplexer: true when `d` is one.
    bool TakeMarker(const PacketDesc& d);
    // Milliseconds from the play cursor to the write cursor.
    std::int64_t CursorDelay();
    // Takes the pending samples from the next packet; false when there is none to take.
    bool TakePacket();
    enum class Next { kNone, kMarker, kOther, kSound };
    // Pops the next packet: a restart marker, or sound decoded into the pending samples.
    // `measure`: each packet's time is measured against the clock (packets without sound
    // count as taken); otherwise those are passed over.
    Next PendNextPacket(CABuffer2& q, bool measure);
    // Milliseconds until the sample written `done` samples into the chunk being filled is
    // handed to the device.
    std::int64_t OutputDelay(std::size_t done);
    // Milliseconds from the play cursor to the write cursor, or to `done` samples into the chunk.
    std::int64_t DelayFromPlayCursor(bool toWriteCursor, std::size_t done);
    // Every restart, as one step: the engine's clock base gets `engine_time` at the current
    // tick plus the tick offset (used once) plus `delay_ms`; `media`, when given, becomes the
    // anchored media time first. Returns the tick it restarted at.
    std::int64_t Restart(std::int64_t engine_time, std::optional<std::int64_t> media, std::int64_t delay_ms);
    // Sets the anchor to a stream time (never to one of its two reserved values).
    void SetAnchorTime(std::int64_t time);

    CJtvCtrl* m_engine;
    std::atomic<bool> m_paused{false};

    // Held by every restart, slew and move of the anchor, over the anchor and the engine's clock
    // base (not by the base's ten-minute step: see the top of this file).
    CCritSecs m_anchorLock;
    std::atomic<LONG> m_outputVolume{0};

    // Re-anchor request and the tick offset of the next restart.
    std::atomic<int> m_resync{0};
    std::atomic<LONG> m_tickOffset{0};
    std::atomic<LONG> m_prevTickOffset{0};
    std::atomic<std::uint64_t> m_lastTimestamp{0};
    std::atomic<std::int64_t> m_anchorTick{0};  // 0: not yet taken
    std::atomic<std::int64_t> m_drift{0};
    std::atomic<int> m_driftSign{0};
    std::atomic<std::uint64_t> m_anchor{0};
    std::atomic<std::int64_t> m_mediaTime{0};
    std::atomic<bool> m_timeAnchored{false};
    std::atomic<LONG> m_packetsSinceMediaTime{0};
    std::atomic<LONG> m_slewsSinceRestart{0};
    // The pictures restarted the clock; the next sound is placed to match it.
    std::atomic<bool> m_realign{false};
    // Placing state of the audio thread.
    static constexpr std::int64_t kHoldMarkerMs = 1500;    // longest wait for the re-read stream
    static constexpr std::int64_t kHoldRestartMs = 1000;   // longest wait for the pictures
    static constexpr std::int64_t kPlaceToleranceMs = 40;  // in step as written
    static constexpr std::int64_t kPlaceLimitMs = 5000;    // further apart: another stretch
    bool m_placing = false;
    bool m_aheadStale = false;
    bool m_holdForMarker = false;
    int m_holdSerial = -1;
    int m_takenSerial = 0;  // of the reader's restart the sound in hand was read after
    std::int64_t m_placingSince = 0;
    std::int64_t m_pendingPts = 0;  // time of the first of the pending samples' packet
    std::int32_t m_pendingType = 0;
    std::size_t m_padSamples = 0;   // silence to write before the pending samples

    G726Decoder m_g726{};

    std::unique_ptr<DirectSoundBuffer> m_buffer;
    HANDLE m_event = nullptr;  // auto-reset; the buffer's notifications and Stop

    AVCodecContext* m_codec = nullptr;
    AVPacket* m_packet = nullptr;
    AVFrame* m_frame = nullptr;
    SwrContext* m_swr = nullptr;
    int m_swrRate = 0;
    int m_swrFormat = -1;
    int m_swrChannels = 0;
    std::uint64_t m_swrMask = 0;
    // Decoded samples not yet written: a frame that straddles a chunk's end continues in the
    // next chunk.
    std::vector<std::int16_t> m_pending;
    std::size_t m_pendingRead = 0;

    // The chunk being filled, and how far ahead of the device the packet being taken lands:
    // the clock is measured at the moment a packet is heard, not when it is taken.
    DWORD m_chunkOffset = 0;
    std::int64_t m_outputDelay = 0;

    CABuffer2* m_queueOverride = nullptr;
    std::function<std::int64_t()> m_ticks;
};
