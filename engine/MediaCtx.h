#pragma once
// The per-channel video and audio workers. They hold what the engine hands them; their
// decode loops come with the video and audio threads.

#include "engine/H264Decoder.h"
#include "engine/MyThread.h"
#include "engine/ObdValues.h"

#include "engine/AudioCtx.h"
#include "engine/CarInfoRecord.h"
#include "engine/CritSecs.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

class CFpsCtrl;
class CTSAnalyse;
class CVBuffer2;
struct PacketDesc;
struct SharedPicture;

class CVideoCtx : public CMyThread {
public:
    CVideoCtx(CJtvCtrl* engine, int channel);
    ~CVideoCtx() override;

    bool Start() override;
    void Stop(DWORD timeout_ms) override;
    DWORD Run() override;

    CJtvCtrl* Engine() const { return m_engine; }
    int Channel() const { return m_channel; }

    // Play control read by the thread each pass. Speed itself is the engine's play speed.
    // Sequentially consistent with the play speed, so that a step's pause never swallows a
    // speed set at the same time.
    void SetPaused(bool paused) { m_paused.store(paused, std::memory_order_seq_cst); }
    bool Paused() const { return m_paused.load(std::memory_order_relaxed); }
    // Shows every picture as soon as it is decoded, without pacing.
    void SetSyncOff(bool off) { m_syncOff.store(off, std::memory_order_relaxed); }
    // A non-zero play position to which a seek moved: the queue is emptied until it clears.
    void SetFlushTarget(int position) { m_flushTarget.store(position, std::memory_order_relaxed); }
    bool Flushing() const { return m_flushing.load(std::memory_order_relaxed); }
    bool Idle() const { return m_idle.load(std::memory_order_relaxed); }
    // True while the thread runs its loop of pictures.
    bool Presenting() const { return m_presenting.load(std::memory_order_relaxed); }
    int LastShownPosition() const { return m_lastShownPosition.load(std::memory_order_relaxed); }
    // Presentation time (microseconds) of the picture last put in the back buffer.
    std::int64_t ShownPts() const { return m_shownPts.load(std::memory_order_relaxed); }
    // The picture on the screen: its stream time, play position, calendar second and the
    // serial of the demultiplexer's restart it was read after, taken together; false when
    // this run has shown none yet.
    bool ShownPlace(std::int64_t* pts, int* position, std::int32_t* time, int* serial = nullptr);

    void RequestPresent() { m_redraw.store(1, std::memory_order_relaxed); }
    void RequestClear() { m_redraw.store(2, std::memory_order_relaxed); }

    // The back buffer: the last shown picture as BGRA rows of 4 x width bytes. Copies it out
    // under the buffer's lock; false while there is no picture.
    bool CopyBackBuffer(std::vector<std::uint8_t>& out, int* width, int* height);
    // Pictures converted into the back buffer, and presents of it.
    std::uint64_t ShownCount() const { return m_shown.load(std::memory_order_relaxed); }
    std::uint64_t PresentCount() const { return m_presents.load(std::memory_order_relaxed); }
    // The latest accepted information record.
    CarInfoRecord CurrentRecord();
    // Runs on the snapshot's thread: saves the picture on the screen through the engine's
    // snapshot writer while the engine asks for it (its pending flag); true when saved.
    bool CaptureSurface();

    // The keep-aspect flag byte: non-zero presents the whole picture letter-boxed, zero
    // stretches the crop rectangle over the window. Taken at the next present.
    void SetFlag(BYTE flag) { m_flag.store(flag, std::memory_order_relaxed); }
    BYTE Flag() const { return m_flag.load(std::memory_order_relaxed); }
    void SetInfoSink(void* sink) { m_infoSink.store(sink, std::memory_order_relaxed); }
    void* InfoSink() const { return m_infoSink.load(std::memory_order_relaxed); }

    // The decoded picture size, published by the video thread for the user-interface thread.
    int PictureWidth() const { return m_width.load(std::memory_order_relaxed); }
    int PictureHeight() const { return m_height.load(std::memory_order_relaxed); }
    void SetPictureSize(int width, int height);

    // Asks the thread to finish every picture of the packets queued so far (the decoder's
    // held ones too); Drained(ticket) tells when it has.
    LONG RequestDrain() { return m_drainRequest.fetch_add(1, std::memory_order_seq_cst) + 1; }
    bool Drained(LONG ticket) const { return m_drainDone.load(std::memory_order_seq_cst) >= ticket; }

    ObdValues& Obd() { return m_obd; }
    H264DecoderState& Decoder() { return m_decoder; }

private:
    CFpsCtrl* Clock();
    CVBuffer2* Queue();
    // Decodes one packet (null: drain the decoder); the number of pictures shown. All but the
    // last of them are presented at once, the last one waits for the next redraw.
    int DecodePacket(const PacketDesc* packet);
    // A picture reached the back buffer: its place, calendar time and stream time.
    void CountShown(int position, std::int32_t time, std::int64_t pts);
    // Drops the decoder's held pictures and references (a jump in the stream).
    void FlushDecoder();
    // Shows the pictures the decoder holds; those held from before a restart are dropped.
    void DrainOrFlush();
    bool ShowFrame();
    // Hands the decoded picture to the conversion export when one wants it.
    void ConvertForExport(const PacketDesc* packet);
    // The back buffer's bytes for a whole new picture of the buffer's size (m_bufferLock held):
    // the last picture's buffer may still be lent to the presenter, so another one may take
    // its place, and its old content is undefined.
    std::uint8_t* RewriteBackBuffer();
    void Redraw();
    void WaitWhilePaused();
    CAudioCtx* Sound() const;
    void FollowFiles(std::int32_t time);
    void ResumeSound(double speed);
    // The fixed sleep of fast or backward play before a picture, or the wait before the end
    // is reported: false, at once, when play changes meanwhile (a request of the user for
    // another place, file or direction, or with `speedCounts` another speed): what was taken
    // before belongs to the play that ended.
    bool HoldUnchanged(DWORD ms, double speed, unsigned requests, bool speedCounts = true);
    // Waits for the reader's answer to every request made so far; then true when the reader
    // did not start over since the packet in hand was read (it still belongs to where play
    // is). See CTSAnalyse for the agreement.
    bool Current(const CTSAnalyse& demux);
    // A new speed in the same direction as the packets: true when the reader was asked to read
    // again from the picture on the screen (see CTSAnalyse).
    bool TakeSpeed(CTSAnalyse& demux, double speed, bool turned);
    // A frame step's picture is on the screen: play pauses, unless another speed came meanwhile.
    void PauseAfterStep();
    // Fast play at `speed` changed to something other than fast play.
    bool LeftFastPlay(double speed) const;
    // The wait before the end of the input is reported, from the packet judged current with
    // `requests` made at `speed`: false when play left the end meanwhile (a restart, or slower
    // play or a step going on from a key picture fast play left the rest of its group out of).
    bool HoldEnd(const CTSAnalyse& demux, unsigned requests, double speed);
    void TakeRecord(const PacketDesc& packet, double speed);

    CJtvCtrl* m_engine;
    int m_channel;
    std::atomic<bool> m_paused{false};
    std::atomic<bool> m_syncOff{false};
    std::atomic<int> m_flushTarget{0};
    std::atomic<bool> m_flushing{false};
    std::atomic<bool> m_idle{false};
    std::atomic<bool> m_presenting{false};
    std::atomic<int> m_lastShownPosition{0};
    std::atomic<std::int64_t> m_shownPts{0};
    std::int32_t m_lastShownTime = 0;  // calendar second of the last shown picture; 0 unknown
    CCritSecs m_placeLock;             // the place below
    struct ShownPlaceState {
        bool valid = false;
        std::int64_t pts = 0;
        int position = 0;
        std::int32_t time = 0;
        int serial = 0;
    } m_shownPlace;                    // the picture presented last
    ShownPlaceState m_decodedPlace;    // the picture decoded last, presented once m_placePending clears
    bool m_placePending = false;
    bool m_backPending = false;        // that picture is a key picture of backward play
    // Where the screen stood before the picture waiting for its present: a present called off
    // leaves the screen there.
    struct ScreenBefore {
        ShownPlaceState place;
        int position = 0;
        std::int64_t pts = 0;
        std::int32_t time = 0;
        std::int64_t placePts = -1;
        int serial = 0;
    } m_screenBefore;
    void SaveScreen();
    void RestoreScreen();
    std::atomic<int> m_redraw{0};
    std::atomic<std::uint64_t> m_shown{0};
    std::atomic<std::uint64_t> m_presents{0};
    std::uint64_t m_currentTimestamp = 0;
    // Packets in the decoder whose pictures have not come out yet: a picture takes the time
    // and place of the packet that carried it, whatever the order of decoding.
    struct InDecoder {
        std::int64_t pts = 0;
        std::int32_t time = 0;
        int position = 0;
    };
    static constexpr std::size_t kMaxInDecoder = 64;
    std::deque<InDecoder> m_inDecoder;
    std::int64_t m_pictureTimestamp = 0;  // of the picture being shown
    // The next picture shown restarts the synchronisation (after a change of play).
    bool m_restartSync = true;
    double m_lastSpeed = 1.0;
    std::int64_t m_lastPicturePts = -1;
    int m_markerSerial = 0;     // of the demultiplexer's last restart
    int m_shownSerial = 0;      // m_markerSerial when the picture on the screen was shown
    int m_runSerial = 0;        // of the restart that began the demultiplexer's current run
    bool m_flushAtKey = false;  // a restart marker came: the decoder starts afresh at its key picture
    bool m_needKey = false;     // pictures were left out: only a key picture decodes
    // A picture decoded in this pass waits for its present at the next.
    bool m_fresh = false;
    double m_freshSpeed = 0;  // the speed it was decoded at
    // Stream time of the picture steps are measured from; -1 at a place sought, where only the
    // play position is known.
    std::int64_t m_placePts = -1;
    // After a resumption the pictures up to the one on the screen are decoded again, not shown.
    static constexpr std::int64_t kSkipSpanUs = 60000000;
    static constexpr int kMaxSkipped = 1000;
    bool m_skipping = false;
    std::int64_t m_skipThrough = 0;
    std::int32_t m_skipTime = 0;  // its calendar second: a later one is another file's, not behind
    int m_skipped = 0;
    bool m_firstPicture = true;
    int m_keyCount = 0;
    int m_otherCount = 0;
    int m_groupCount = 0;
    // The end is told once while play stands at it: not again with no picture shown since, in
    // the same run.
    bool m_endTold = false;
    std::uint64_t m_endShown = 0;
    int m_endRun = 0;
    double m_currentRate = 0;
    int m_obdPosition = 0;

    CCritSecs m_bufferLock;  // guards the back buffer and its size
    // The back buffer, presented by lending it; while lent, the next picture goes to the spare.
    std::shared_ptr<SharedPicture> m_backBuffer;
    std::shared_ptr<SharedPicture> m_spareBuffer;
    int m_bufferWidth = 0;
    int m_bufferHeight = 0;
    // The picture presented last, kept as it is: a present called off puts it back in the back
    // buffer, and a snapshot saves it.
    std::shared_ptr<SharedPicture> m_presented;
    int m_presentedWidth = 0;
    int m_presentedHeight = 0;
    CCritSecs m_recordLock;
    CarInfoRecord m_record{};
    std::atomic<BYTE> m_flag{0};
    std::atomic<void*> m_infoSink{nullptr};
    std::atomic<LONG> m_drainRequest{0};
    std::atomic<LONG> m_drainDone{0};
    std::atomic<int> m_width{0};
    std::atomic<int> m_height{0};
    ObdValues m_obd;
    H264DecoderState m_decoder;
};
