#pragma once
// The transport-stream demultiplexer of a channel: reads a recording (or a set of them) on a
// thread of its own, forwards or backwards, and splits it into video frames and audio frames
// for the channel's queues and information records for its ring.
//
// Seeks, direction changes and file changes are requests: the caller's thread only records
// them, and the reading thread carries them out at the top of its loop.
//
// How the reader and the channel's video thread agree on where play is:
// - Requests. Every request (a seek, a file step or choice, a turn, and the video thread's own
//   resumption) is counted when it is made (Requests()). The reader answers them at its next
//   pass, all at once, and then counts them answered: RequestsOutstanding() is false again.
//   Answering means carrying out, either by starting the queues over at a new place or by
//   leaving play where it is (a seek outside the recording, a file that cannot be opened, a
//   turn asked for and taken back). Nothing the reader does may hold an answer back: a push
//   waiting for room in a full queue answers the requests itself (a restart drops the frame
//   with the queues; any other answer lets the push go on waiting), and the reading stops at
//   the next packet. So what the reader read goes into each queue in the order read, and
//   nothing is lost but by a restart.
// - Restarts. Starting over bumps RestartSerial() and puts a marker of that serial, and of its
//   kind (MarkerKind) and run, at the head of each queue; everything queued before it is gone
//   but the packet the consumer holds. A seek or a file chosen begins a new run; a turn or a
//   resumption goes on in the current one. A picture on the screen counts as a place to go on
//   from only within its own run.
// - Current packets. The video thread acts on a packet (shows its picture, takes its record,
//   reports its end) only after every request made so far is answered, and only while no
//   restart came after the packet was read: RestartSerial() still equals the serial of the
//   last marker it took. So a picture read before the user's latest seek, file choice or turn
//   never shows after it, and a request that leaves play where it is costs only its answer's
//   wait. The check is made when a packet is taken, after every sleep of fast, slow or
//   backward play, and again before a decoded picture that waited for its time is presented.
//   It also waits out a change of speed in progress: a turn's first frames can be read before
//   the speed that asked for it is stored, and are judged against that speed, not the old one.
//   The screen's place that others take (a turn's start, a resumption) is the picture presented
//   last: one called off before its present leaves it as it was.
// - Resumption. Back at normal speed (or at slower play or a step after fast play left pictures out)
//   the video thread asks the reader to read again from the picture on the screen when that
//   picture is of the current run, else from where the run began; the answer is a restart
//   (what was queued before it lies ahead of the screen) or, during an export, nothing.
// - No wait without an answer. The video thread waits only for answers the reader always
//   gives while it runs (RequestsOutstanding() is false once it stops), and gives up after a
//   bound regardless. The end of the input is reported once its last picture has been on the
//   screen a second with nothing moving play meanwhile: a request answered without a restart
//   leaves the end to be reported; the reader queues one end per restart.

#include "engine/CarInfoRecord.h"
#include "engine/CritSecs.h"
#include "engine/ExportAudio.h"
#include "engine/FindFilePath.h"
#include "engine/MyThread.h"
#include "engine/PacketQueue.h"
#include "engine/TsParse.h"
#include "platform/base/types.h"

#include <atomic>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

class CRecordCtx;
class CSourceBoxCtx;
class CTSChn;

// What the export progress is computed from.
struct ExportProgressState {
    bool running = false;
    bool finished = false;
    bool failed = false;            // the export ended without its clips completely written
    std::int64_t rangeStart = 0;    // calendar seconds of the range [start, end)
    std::int64_t rangeEnd = 0;
    std::int64_t writtenUpTo = 0;   // calendar milliseconds the clip's written pictures reach
};

// Per mille of the range written: 1000 once the clip is complete, -1 for a failed export, 0
// while idle; else 0..990, rising with the pictures written over the whole range.
double ExportProgress(const ExportProgressState& s);

// Start time and length of a recording from the header in its first packet; zero start and
// one second when it has none.
struct RecordingTimes {
    std::time_t start = 0;
    int duration = 1;
    int frameRate = 0;  // byte 82 when usable, else 0
};
RecordingTimes ReadRecordingTimes(const std::uint8_t* head, std::size_t length);

class CTSAnalyse : public CMyThread {
public:
    explicit CTSAnalyse(CTSChn* channel);
    ~CTSAnalyse() override;

    void SetQueues(CVBuffer2* video, CABuffer2* audio);
    CVBuffer2* VideoQueue() const { return m_video; }
    CABuffer2* AudioQueue() const { return m_audio; }

    // Takes the source name and starts reading it; false when no thread could start.
    bool Play(const std::string& name);
    // Opens the source (or the current entry of the file list) and starts the thread.
    bool Start() override;
    // Stops the thread (blocked pushes are released) and closes the file; ends an export, begun
    // or only set up.
    void Stop(DWORD timeout_ms) override;
    void Stop() { Stop(INFINITE); }
    DWORD Run() override;
    std::string SourceName();

    // 0 forwards, 1 backwards; -1 for any other value. Reading turns at the picture on the
    // screen, as the channel's video thread reports it at the request.
    int SetDirection(int direction);
    int Direction() const { return m_direction.load(std::memory_order_relaxed); }

    // Seek in thousandths of the current file; below 0 or from 1000 on it moves through the
    // file set. Returns the position within the file it lands in.
    int SeekRelative(int thousandths);
    // Seeks to a calendar time through the start times and lengths of the file set; with
    // `nearest`, a time outside every file goes to the closest one.
    void SeekToTime(int time, bool nearest);
    int SeekTime() const
    {
        CCritSecsLock lock(m_timeLock);
        return m_latestTime.time;
    }
    bool SeekNearest() const
    {
        CCritSecsLock lock(m_timeLock);
        return m_latestTime.nearest;
    }
    // Next (+1) or previous (-1) file of the set.
    void SeekFile(int delta);
    // Reads entry `index` of the file list from its start.
    void SetFileFromList(int index);
    // The video thread hands back the place of each key picture it shows in backward play
    // (its stream time, play position and calendar second, 0 when not known): forward play
    // goes on from there.
    void StepBackTarget(std::int64_t pts, int position, std::int32_t time = 0, int serial = 0);
    // Reads on forwards from the shown picture (its stream time, play position and calendar
    // second) with both queues started afresh, so that the sound is read again from there
    // (play resumed at normal speed).
    void ResumeAt(std::int64_t pts, int position, std::int32_t time = 0, int serial = 0);
    // Serial of the last restart of the queues, carried by the marker that begins them.
    int RestartSerial() const { return m_restartSerial.load(std::memory_order_relaxed); }
    // Sound was left out since the last restart (read at another speed than normal): normal
    // play from here needs the sound read again.
    bool SoundLeftOut() const { return m_soundLeftOut.load(std::memory_order_acquire); }
    // Requests of the caller's thread (seek, file, direction) made so far, and whether one of
    // them is still to be carried out by the running thread: a frame taken from the queue
    // meanwhile may belong to the place or direction that the request leaves.
    unsigned Requests() const { return m_requests.load(std::memory_order_acquire); }
    bool RequestsOutstanding() const
    {
        return IsRunning() &&
               m_requestsTaken.load(std::memory_order_acquire) != m_requests.load(std::memory_order_acquire);
    }

    // Export of the calendar-time range [start, end) from entry `file` of the file list on
    // (below 0: from the export source chosen last):
    // the frames of the range go to the channel's export context instead of the queues, which
    // get them too only while the engine shows what it records. Taken up by the next Start; a
    // running thread is stopped first. The thread ends by itself after the range.
    void StartExport(int file, std::int64_t start, std::int64_t end);
    bool ExportMode() const { return m_exportMode.load(std::memory_order_relaxed); }

    void SetExportByte(bool on) { m_exportByte.store(on, std::memory_order_relaxed); }
    bool ExportByte() const { return m_exportByte.load(std::memory_order_relaxed); }
    void SetExportState(const ExportProgressState& s);
    double ExportProgress();

    // The file set; an empty list plays the source name alone.
    void SetFileList(std::vector<std::string> files);
    // Takes entry n of the file list as the source of the next export started without an entry
    // of its own. False outside the list, and while an export runs.
    bool SelectExportFile(int n);

    // State of the reading thread, for statistics and tests.
    int FramesPerSecond() const { return m_fps.load(std::memory_order_relaxed); }
    bool FrameRateMeasured() const { return m_fpsMeasured.load(std::memory_order_relaxed); }
    int KeyFrameInterval() const { return m_keyInterval.load(std::memory_order_relaxed); }
    bool PmtKnown() const { return m_pmtKnown.load(std::memory_order_relaxed); }
    int CurrentFileIndex() const { return m_fileIndex.load(std::memory_order_relaxed); }
    // True while a seek, direction or file request has not been carried out yet.
    bool RequestPending() const;
    bool EndReached() const { return m_endSent.load(std::memory_order_relaxed); }

    static constexpr std::size_t kReadBlock = 8192;
    static constexpr std::size_t kPesBytes = 0x100000;
    static constexpr int kMaxOutstandingRecords = 4000;

private:
    struct PesBuffer {
        std::vector<std::uint8_t> data;  // kPesBytes plus decoder padding
        std::size_t length = 0;
        std::int64_t start = -1;  // file offset of the packet that began it; -1 none
        bool broken = false;      // outgrew the buffer: dropped up to the next start
        void Reset() { length = 0; start = -1; broken = false; }
        void Begin(std::int64_t offset) { length = 0; start = offset; broken = false; }
        void Append(const std::uint8_t* p, std::size_t n);
    };
    struct PushedFrame {
        int file = 0;
        std::int64_t offset = 0;
        std::int64_t pts = 0;
        std::int32_t time = 0;  // calendar second
    };
    // A shown picture to go on from: its stream time, play position (-1: none) and calendar
    // second (0: not known). The files of a set repeat their stream times; the calendar
    // second tells them apart.
    // `serial` is that of the last restart before it was shown: a place shown before the seek
    // or file choice that began the current run is no longer where play is.
    struct Place {
        std::int64_t pts = 0;
        int position = -1;
        std::int32_t time = 0;
        int serial = 0;
    };
    enum : std::int64_t { kNoRequest = INT64_MIN };

    // --- on the reading thread ---
    bool OpenIndex(int index, int direction) { return OpenEntry(index, FileName(index), direction); }
    // Opens `name` as entry `index` of the list; false, with nothing open, when it cannot be
    // opened.
    bool OpenEntry(int index, const std::string& name, int direction);
    // The engine's card source while entry `index` of this list is its entry `index` too: the
    // set is its recording list, which keeps the current entry and maps times to places.
    CSourceBoxCtx* CardList(int index);
    bool OpenFile(const std::string& path, int direction);
    void Close();
    // Stop, keeping an export that is set up for the next Start.
    void StopReading(DWORD timeout_ms);
    std::int64_t ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t size);
    void ResetWorking();
    // Restarts both queues; a marker of `kind` begins each. A `seek` resets both lists first.
    void RestartQueues(MarkerKind kind = kMarkerTurn, bool seek = false);
    // A place the video thread reported was shown in the current run: no seek or file choice
    // came after it.
    bool OfThisRun(const Place& place) const { return place.position >= 0 && place.serial - m_runSerial >= 0; }
    // File and offset of the frame a shown picture of this run came from; false when it is not
    // known.
    bool FindPushed(const Place& place, PushedFrame* out) const;
    // The oldest frame the video queue still holds; false when it holds none of this restart.
    bool OldestQueued(PushedFrame* out);
    // The first frame the current run read; false when it is no longer known.
    bool FirstOfRun(PushedFrame* out) const;
    // The frame read at `place`: the pushed one, or an estimate from its position (pts -1).
    PushedFrame FrameAt(const Place& place) const;
    // Carries on forwards from a shown picture's place.
    void ApplyResume(const Place& place);
    bool ApplyRequests();
    // Thousandths of the current file, 1000 a file: opens only the file it lands in.
    void ApplySeek(std::int64_t thousandths);
    // False when the time lies outside what can be played: play stays where it is.
    bool ApplyTimeSeek(int time, bool nearest);
    void ApplyDirection(int direction);
    // With `pts` (not negative), the key frame found is also one whose picture is not later
    // than that: with reordered frames a picture shown before a key frame follows it in the file.
    void SeekToKeyFrameAtOrBefore(std::int64_t offset, bool seek = false, std::int64_t pts = -1,
                                  MarkerKind kind = kMarkerTurn);
    bool NextFile(int direction);
    bool PrevFile(int direction);
    // Opens the first entry from `from` on, `step` apart, that can be opened.
    bool OpenUsable(int from, int step, int direction);
    // Whether entry `index` may hold a part of the export's range.
    bool MayHoldRange(int index);
    // Whether the list's times of entry `index` put a part of the export's range in it: 1 or 0,
    // -1 when they are not known.
    int RangeInEntry(int index);
    void EndOfStream();
    void Idle(DWORD ms);
    // Counts a request of the caller's thread and releases a reading held up by full queues.
    void Asked();

    void ForwardPass();
    void BackwardPass();
    void LearnTables();
    void HandlePacket(const std::uint8_t* p, std::int64_t offset);
    void ParseTables(const std::uint8_t* p, const ts::PacketHeader& h);
    void FlushPes();
    bool ProcessVideoPes(const std::uint8_t* pes, std::size_t length, std::int64_t offset, bool backward);
    void ProcessAudioPes();
    void ParsePrivateData();
    void PushRecord(const CarInfoRecord& record);
    void FlushDeferredRecords();
    bool PushVideo(PacketDesc& d, std::int64_t offset);
    // Pushes d; while it waits for room, the requests made meanwhile are answered from here.
    // False when the queue refused it, or when an answer started the queues over (the frame
    // went with them).
    bool PushAnswering(CBuffer& queue, PacketDesc& d);
    // Sound is read at normal play only (an export takes it whatever the speed).
    bool SoundWanted() const;
    // Answers the requests made while a push waits; true when that started the queues over.
    bool AnswerWhileWaiting(int serial);
    // The queues started over since `serial`: what was in hand belongs to the reading left.
    bool Restarted(int serial) const { return m_restartSerial.load(std::memory_order_relaxed) != serial; }
    // A turn asked for and not yet carried out: what is read meanwhile goes the wrong way.
    bool TurnPending() const
    {
        const int turn = m_directionRequest.load(std::memory_order_relaxed);
        return turn >= 0 && turn != m_dir;
    }
    std::int64_t FindKeyFrameBefore(std::int64_t limit);
    // FindKeyFrameBefore(offset + 1) for a key frame whose picture is not later than `pts`.
    std::int64_t FindKeyFrameShownBy(std::int64_t offset, std::int64_t pts);
    // Reads the video PES that starts at `offset`; with `keyOnly`, gives up as soon as the
    // frame is known not to be a key frame. Returns the PES length, 0 when none.
    std::size_t ReadPesAt(std::int64_t offset, bool keyOnly, std::vector<std::uint8_t>& out);
    int PositionOf(std::int64_t offset) const;
    // Export mode: a frame of the range handed to the export context. False when it is not
    // in the range (and, past its end, the export is finished). `time`: its calendar second by
    // its decoding time; `shownTime`: by its own time stamp, as the video thread knows it.
    bool ExportVideo(const std::uint8_t* data, std::size_t size, bool key, std::int64_t time, std::int64_t shownTime);
    // Converting: whether a frame is kept back instead of queued. Before the range the frames
    // of the group being read are kept from its key frame on; a range that begins inside a
    // group waits with them for its own first key frame (which drops them, as a copied clip
    // begins there) or for its end: a range without a key frame is decoded from its group's.
    // `inRange`: what ExportVideo said of the frame.
    bool HoldForRange(bool inRange, const std::uint8_t* body, std::size_t size, int type, std::int64_t time,
                      std::int64_t shownTime, std::int64_t offset);
    // A range that held no key frame: its clip opens at its first frame, with its sound, and the
    // frames kept go to the video thread, which re-encodes the range's pictures.
    void QueueHeldRange();
    // Queues a video frame whose body is copied in; false when the queue did not take it.
    bool QueueVideo(const std::uint8_t* body, std::size_t size, int type, bool backward, std::int32_t time,
                    int position, std::int64_t pts, std::int64_t offset);
    void ExportAudio(const std::uint8_t* data, std::size_t size);
    // Decodes an AAC frame of the range, stamped `pts` (microseconds), into the AVI clip.
    void WriteExportSound(const std::uint8_t* data, std::size_t size, std::int64_t pts);
    void ExportPrivate(const std::uint8_t* data, std::size_t size, std::int64_t time);
    void FlushDeferredTexts();
    void FinishExport();
    bool ShowWhileExporting() const;
    // The export's pictures are re-encoded by the video thread instead of copied.
    bool Converting() const;
    void WaitForConvertedPictures();
    CRecordCtx* ExportContext() const;
    int NumberOfFiles();
    std::string FileName(int index);

    CTSChn* m_channel;
    CVBuffer2* m_video = nullptr;
    CABuffer2* m_audio = nullptr;

    HANDLE m_file = INVALID_HANDLE_VALUE;
    std::string m_path;  // of the open file
    std::int64_t m_fileSize = 0;
    std::int64_t m_readPos = 0;   // forwards: next byte to read; backwards: search limit
    RecordingTimes m_times;
    int m_dir = 0;                // direction the thread reads in
    bool m_tablesSought = false;  // the open file's start was searched for the tables

    std::uint16_t m_pmtPid = ts::kNoPid;
    ts::StreamPids m_pids;

    std::vector<std::uint8_t> m_work;
    std::size_t m_workLength = 0;
    std::int64_t m_lastPacketEnd = -1;  // file offset just past the last packet taken
    std::int64_t m_workOffset = 0;  // file offset of m_work[0]
    PesBuffer m_videoPes, m_audioPes, m_privatePes;
    std::vector<std::uint8_t> m_scratch;  // PES read back while searching or reading backwards
    std::size_t m_scratchLength = 0;
    PacketDesc m_videoDesc{};
    PacketDesc m_audioDesc{};

    std::int64_t m_lastPtsUs = 0;
    int m_fpsCount = -1;
    double m_fpsFirst = 0.0;
    bool m_keySeen = false;
    int m_spsCount = 0;
    int m_nonIdrCount = 0;

    CarInfoRecord m_record;
    std::vector<CarInfoRecord> m_deferred;  // records waiting for the frame that began before them
    std::vector<PushedFrame> m_pushed;      // where the frames in the video queue came from
    std::uint64_t m_pushedCount = 0;
    std::uint64_t m_restartAt = 0;          // m_pushedCount when the queues last started over
    std::uint64_t m_runPushed = 0;          // m_pushedCount when the current run began
    int m_runSerial = 0;                    // serial of the restart that began the current run
    bool m_answering = false;  // requests are being answered from inside a push's wait
    PushedFrame m_runStart{-1, 0, -1, 0};   // where the current run began (file -1: at the open)

    // --- shared with the caller's thread ---
    std::atomic<int> m_direction{0};
    std::atomic<int> m_directionRequest{-1};
    std::atomic<std::int64_t> m_seekRequest{kNoRequest};  // thousandths across the file set
    std::atomic<int> m_fileStepRequest{0};
    std::atomic<int> m_fileIndexRequest{-1};
    std::atomic<bool> m_timeRequest{false};
    struct TimeAsk {
        int time = 0;
        bool nearest = false;
        bool set = false;
    };
    mutable CCritSecs m_timeLock;         // the two below
    TimeAsk m_latestTime{-1, false, false};  // the time asked last
    // The times asked for since the reader last took them, oldest first: a time outside the
    // recording leaves play where it is, so the latest one that can be carried out wins.
    std::vector<TimeAsk> m_pendingTimes;
    static constexpr std::size_t kMaxPendingTimes = 64;
    std::atomic<int> m_restartSerial{0};
    std::atomic<bool> m_soundLeftOut{false};
    std::atomic<bool> m_resumeRequest{false};
    std::atomic<unsigned> m_requests{0};
    std::atomic<unsigned> m_requestsTaken{0};  // all up to this one carried out
    CCritSecs m_placeLock;         // the two places below
    Place m_backPlace;             // last key picture shown in backward play
    Place m_resumePlace;           // requested resumption at normal speed
    Place m_turnPlace;             // the picture on the screen when the direction was asked for
    std::atomic<bool> m_pmtKnown{false};
    std::atomic<int> m_fps{30};
    std::atomic<bool> m_fpsMeasured{false};
    std::atomic<int> m_keyInterval{1};
    std::atomic<int> m_fileIndex{-1};
    std::atomic<bool> m_endSent{false};
    std::atomic<bool> m_exportByte{false};
    std::atomic<bool> m_applying{false};
    std::atomic<bool> m_exportMode{false};

    // Export state: set while no thread runs, then used by the thread only.
    int m_exportFile = -1;
    std::int64_t m_exportStart = 0;
    std::int64_t m_exportEnd = 0;
    bool m_exportInRange = false;  // a frame of the range went out
    bool m_exportDone = false;     // the range is over
    bool m_exportMissed = false;   // a recording that may hold a part of the range could not be read
    bool m_exportShow = false;     // the export's frames go to the queues too
    bool m_exportSound = false;    // the export takes the sound
    bool m_exportNewFile = false;  // no frame of the file opened last went out yet
    std::int64_t m_exportTime = 0; // time of the last exported frame
    CExportAudio m_exportAudio;
    std::vector<std::int16_t> m_exportPcm;
    struct DeferredText {
        std::int64_t time = 0;
        std::vector<std::uint8_t> text;
    };
    std::vector<DeferredText> m_deferredExport;  // texts of the range waiting for the clip to open
    std::vector<DeferredText> m_deferredSound;   // the last sound (time = its stamp) before it opens
    // Converting: frames kept for a range that may begin inside a group (HoldForRange).
    struct HeldFrame {
        std::vector<std::uint8_t> body;
        int type = 0;
        std::int64_t time = 0;       // calendar second by its decoding time
        std::int64_t shownTime = 0;  // by its own time stamp
        std::int64_t pts = 0;        // microseconds
        std::int64_t offset = 0;
        int position = 0;
    };
    struct HeldRange {
        std::vector<HeldFrame> frames;  // from a key frame; the last `range` of them of the range
        std::size_t range = 0;
        std::size_t bytes = 0;
        std::vector<DeferredText> sound;  // the range's sound meanwhile
        bool over = false;               // the range's first key frame came: nothing is held
    };
    HeldRange m_held;

    CCritSecs m_lock;  // guards the strings and the export state
    std::string m_name;
    std::vector<std::string> m_files;
    ExportProgressState m_export;

    // Lives and dies with the demultiplexer; nothing starts a scan of a folder yet.
    CFindFilePath m_findFile;
};
