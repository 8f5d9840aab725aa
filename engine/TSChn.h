#pragma once
// One playback channel: the queues, clock, demultiplexer and workers that carry a recording
// to the screen and the loudspeaker, and the ring of the last 4,096 information records.

#include "engine/CarInfoRecord.h"
#include "engine/CritSecs.h"
#include "engine/FpsCtrl.h"
#include "engine/MediaCtx.h"
#include "engine/PacketQueue.h"
#include "engine/TSAnalyse.h"

#include <atomic>
#include <memory>
#include <string>

class CJtvCtrl;
class CRecordCtx;

constexpr int kCarInfoRingSize = 4096;
constexpr std::size_t kVideoRingBytes = 0x2000000;   // 32 MiB
constexpr std::size_t kVideoMaxPacket = 0x100000;    // 1 MiB, a whole video PES
constexpr std::size_t kAudioRingBytes = 0x800000;    // 8 MiB
constexpr std::size_t kAudioMaxPacket = 0x4000;      // 16 KiB

// The sizes the channel's queues are made with at each open.
struct QueueSizes {
    std::size_t videoRing = kVideoRingBytes;
    std::size_t videoPacket = kVideoMaxPacket;
    std::size_t audioRing = kAudioRingBytes;
    std::size_t audioPacket = kAudioMaxPacket;
};

class CTSChn {
public:
    CTSChn(CJtvCtrl* owner, CRecordCtx* export_ctx);
    virtual ~CTSChn();
    CTSChn(const CTSChn&) = delete;
    CTSChn& operator=(const CTSChn&) = delete;

    // Appends a record to the ring; the first one after a template reset becomes the
    // template. Runs on the demultiplexer thread.
    bool PushCarInfo(const CarInfoRecord& record);
    // The template with the magic set and no samples.
    bool GetTemplate(CarInfoRecord& out);
    // Dates the template with the time of the picture queued last. Runs on the demultiplexer
    // thread.
    void StampTemplate(std::int64_t time);
    // The template is taken again from the next record.
    void ResetTemplate() { m_templateCount.store(0, std::memory_order_relaxed); }
    int TemplateCount() const { return m_templateCount.load(std::memory_order_relaxed); }
    int WriteIndex() const { return m_writeIndex.load(std::memory_order_relaxed); }
    const CarInfoRecord* CurrentRecord() const { return m_current.load(std::memory_order_relaxed); }
    const CarInfoRecord& RingSlot(int i) const { return m_ring[static_cast<std::size_t>(i) & (kCarInfoRingSize - 1)]; }

    int SetPlayMode(int mode);
    int PlayMode() const { return m_playMode.load(std::memory_order_relaxed); }
    // Frames per step, negative backwards; |step| == 11 is the single-frame step.
    int SetStep(int step);
    int Step() const { return m_step.load(std::memory_order_relaxed); }
    bool IsStep11() const { return m_step11.load(std::memory_order_relaxed) != 0; }

    // The entry of the source's file list this channel plays (-1: none, the source name alone),
    // chosen by the user or followed by the play time; the demultiplexer starts there.
    void SetFileIndex(int n) { m_fileIndex.store(n, std::memory_order_relaxed); }
    int FileIndex() const { return m_fileIndex.load(std::memory_order_relaxed); }
    void SetSource(HWND render_window, const std::string& name);
    HWND RenderWindow() const { return m_renderWindow.load(std::memory_order_relaxed); }
    std::string SourceName();

    // Creates the queues and opens the demultiplexer on the source name.
    bool Start();
    // Tests make the queues small, so that the reader waits for room. A ring once made is
    // kept when a smaller one is asked for: set before the first open.
    void SetQueueSizes(const QueueSizes& sizes) { m_queueSizes = sizes; }
    const QueueSizes& Sizes() const { return m_queueSizes; }
    // Makes the video queue (blocking or not) and the audio queue at their sizes.
    bool CreateQueues(CVBuffer2& video, CABuffer2& audio, bool blocking) const;
    // Stops the demultiplexer; blocked producers and consumers are released first.
    void Stop();
    // Stop, then the ring starts over.
    void Reset();
    void SeekToTime(int time) { m_demux.SeekToTime(time, false); }
    void SeekToTimeNearest(int time) { m_demux.SeekToTime(time, true); }
    void NoOp() {}
    // The demultiplexer opened another file of the source; the channel keeps nothing of it.
    void FileOpened() {}

    CVBuffer2& VideoQueue() { return m_videoQueue[0]; }
    CABuffer2& AudioQueue() { return m_audioQueue; }
    CVideoCtx& VideoCtx() { return *m_videoCtx; }
    CAudioCtx& AudioCtx() { return m_audioCtx; }
    CTSAnalyse& Demux() { return m_demux; }
    CFpsCtrl& FrameClock() { return m_clock; }
    CJtvCtrl* Owner() const { return m_owner; }
    CRecordCtx* ExportCtx() const { return m_export; }

private:
    CRecordCtx* m_export;
    CJtvCtrl* m_owner;
    std::atomic<int> m_step11{0};
    std::atomic<int> m_fileIndex{-1};
    std::atomic<HWND> m_renderWindow{nullptr};
    CFpsCtrl m_clock;
    QueueSizes m_queueSizes;
    CVBuffer2 m_videoQueue[1] = {CVBuffer2(15)};
    CABuffer2 m_audioQueue{30};
    std::unique_ptr<CVideoCtx> m_videoCtx;
    CAudioCtx m_audioCtx;
    CTSAnalyse m_demux;
    CCritSecs m_nameLock;
    std::string m_sourceName;
    std::atomic<int> m_step{1};
    std::atomic<int> m_playMode{0};
    CCritSecs m_lock;  // guards the template
    CarInfoRecord m_template;
    std::atomic<int> m_templateCount{0};
    std::atomic<const CarInfoRecord*> m_current{nullptr};
    std::atomic<int> m_writeIndex{0};
    std::unique_ptr<CarInfoRecord[]> m_ring;
};
