#pragma once
// The engine's card and file-set source: the time-sorted recording list of a card folder (the
// recordings' header times and event codes, distances from their ".dit" GPS logs), navigation
// through it for the demultiplexer, the latest information record, and card backups of chosen
// index blocks into ".sd" files. Its thread reads no media: playback goes through the
// demultiplexer, which asks the source for names and positions.
//
// Every list is guarded by one lock. A load builds the new list aside and swaps it in whole,
// so readers never wait on file I/O. Entries handed out stay valid for the source's life: a
// reload reuses an unchanged entry and keeps a replaced one.

#include "cardtools/cardtools.h"
#include "engine/CarInfoRecord.h"
#include "engine/CritSecs.h"
#include "engine/MyThread.h"
#include "engine/XvidEncoder.h"
#include "engine/gpstext.h"
#include "engine/storeader.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// One recording of the list, shaped like the recorder's 1312-byte index block. Set: the 16
// entry dates (the end date), the event flags at 18, the end seconds at 200, the start and end
// dates at 204 and 220; the rest is zero. Fields are in the machine's order. A date is six
// bytes: year - 1800, month 1..12, day, hour, minute, second.
struct RecordingEntry {
    struct Slot {
        std::uint32_t value;
        std::uint8_t date[6];
        std::uint16_t flags;
    };
    std::uint32_t magic;          // 0
    std::uint32_t word1;          // 4
    Slot entries[16];             // 8
    std::uint32_t time;           // 200
    std::uint8_t startDate[6];    // 204
    std::uint8_t reserved210[10]; // 210
    std::uint8_t endDate[6];      // 220
    std::uint8_t reserved226;     // 226
    std::uint8_t status;          // 227
    std::uint8_t reserved228[1084];
};
static_assert(sizeof(RecordingEntry) == kDiskBlockSize);
static_assert(offsetof(RecordingEntry, entries) + offsetof(RecordingEntry::Slot, flags) == 18);
static_assert(offsetof(RecordingEntry, time) == 200 && offsetof(RecordingEntry, startDate) == 204);
static_assert(offsetof(RecordingEntry, endDate) == 220 && offsetof(RecordingEntry, status) == 227);

// What the first bytes of a recorder ".ts" file say about the recording.
struct RecordingHeader {
    std::int64_t start = 0;   // local calendar seconds
    std::int64_t end = 0;
    std::uint8_t startDate[6] = {};  // as the list's dates: year - 1800, month 1..12
    std::uint8_t endDate[6] = {};
    std::uint8_t eventCode = 0;
};
// Reads the header from the first `length` bytes of a recording; false when the bytes are too
// few or either time is not a valid calendar time.
bool ReadRecordingHeader(const std::uint8_t* head, std::size_t length, RecordingHeader* out);
// The event flags an event code stands for: 1 -> 1, 2 -> 2, 3 -> 0x20, 4 -> 0x40, else 0.
std::uint16_t EventFlags(std::uint8_t eventCode);

// The distance of a ".dit" GPS log, fed in pieces: the lengths of its tracks added up, as the
// GPS log reader measures them, without keeping the points.
class CDitDistance {
public:
    void Feed(const char* data, std::size_t size);
    // Takes a last line without its line end; the kilometres.
    double Finish();

private:
    void Line(std::string_view line);

    CNmeaLogReader m_reader;
    std::string m_line;
    bool m_skipping = false;       // inside a line too long for the reader
    bool m_trackHasPoints = false; // the current track holds a point the reader would keep
    double m_total = 0;
};
// Kilometres of the log at `path`; 0.0 when it cannot be read.
double DitFileDistance(const std::string& path);

class CRecordCtx;

// A decoded picture handed over for the conversion export: planes and strides in an FFmpeg
// pixel format (e.g. AV_PIX_FMT_YUV420P).
struct ExportPicture {
    const std::uint8_t* planes[3] = {};
    int strides[3] = {};
    int format = 0;
    int width = 0;
    int height = 0;
    bool key = false;  // decoded from a key frame
    int fps = 0;
    std::int64_t pts = INT64_MIN;  // the picture's own time stamp (microseconds), when known
};

class CSourceBoxCtx : public CSourceCtx, public CStoReader {
public:
    static constexpr std::int64_t kMaxLength = 1800;       // seconds a recording counts for
    static constexpr std::size_t kHeaderBytes = 8192;
    static constexpr std::int64_t kCountedAbove = 192;      // bytes
    static constexpr std::int64_t kWalkedAbove = 159;
    static constexpr std::int64_t kDataArea = 0x5200000;
    static constexpr std::int64_t kCardBlockOffset = kDataArea - 2 * static_cast<std::int64_t>(kDiskBlockSize);
    // Index blocks that fit before the card block.
    static constexpr std::size_t kMaxBackupBlocks = kCardBlockOffset / kDiskBlockSize;

    explicit CSourceBoxCtx(CJtvCtrl* engine);
    ~CSourceBoxCtx() override;

    // Playback: takes the loaded list (loading it when empty) as the working list, sorted by
    // start. Backup (segments set): opens the ".sd" output. False when either cannot be done.
    bool Start() override;
    // Ends the thread, finishes a pending backup and clears the working list.
    void Stop(DWORD timeout_ms) override;
    // The source reads no media itself: its thread ends at once.
    DWORD Run() override { return 1; }
    void Reset();

    // --- recording list ---
    // Lists the engine's export folder; the first entry, null when nothing usable is there.
    const RecordingEntry* LoadFileList();
    // The engine's export folder, set and read under one lock: a list may be loading on
    // another thread while the folder is set.
    void SetExportFolder(std::string_view folder);
    std::string ExportFolder();
    const RecordingEntry* LoadFileList(const std::string& folder);
    // The first entry of the recording list, null while the list is empty.
    const RecordingEntry* FirstEntry();
    // The entry being read, which nothing sets: the source reads no media.
    const RecordingEntry* CurrentEntry() const { return nullptr; }
    // Start time (calendar seconds) of the entry being read; -1 while there is none.
    std::int64_t CurrentTime() const;
    int Count();
    void ClearLists();

    // Times of entry n: start, end (at most start + kMaxLength) and length; false outside.
    bool Times(int n, std::int64_t* start, std::int64_t* end, std::int64_t* length);
    std::string Path(int n);
    // Every path of the list, in list order.
    std::vector<std::string> Paths();
    const RecordingEntry* Entry(int n);

    // --- navigation ---
    // Makes entry n current; false (nothing changes, "" in `path`) outside the list.
    bool SelectFile(int n, std::string* path);
    // Steps to the next file (from none to the first; the last stays and is named again).
    std::string NextFile();
    // Steps back; "" at the first file.
    std::string PrevFile();
    int CurrentFileIndex();
    // Index of the first path equal to `name` regardless of ASCII case; -1 when none.
    int FindFile(std::string_view name);
    // The entry after `entry` in the working list, or while that is empty in the recording
    // list; null for the last, an unknown one or null. During a backup the entries are the
    // caller's own blocks.
    const RecordingEntry* FindSegment(const RecordingEntry* entry);
    // Start and length of the current file's entry; 0 without one.
    std::int64_t CurrentFileStart();
    std::int64_t CurrentFileLength();
    // Start of the working list's first entry and end of its last (0 while empty).
    std::int64_t WorkingStart() const { return m_workingStart.load(std::memory_order_relaxed); }
    std::int64_t WorkingEnd() const { return m_workingEnd.load(std::memory_order_relaxed); }

    // Play time to thousandths relative to the file whose start is `currentStart` (the current
    // entry when it starts then), 1000 a file: the file holding `t` (the last one when several
    // do), else the one starting nearest, at most to its end. 0 for an empty list.
    std::int64_t TimeToPosition(std::int64_t t, std::int64_t currentStart);
    // The same map; a time outside every file moves to one second into the nearest file first
    // (t is updated to that time, then replaced by the position). False for an empty list.
    bool PositionForTime(std::int64_t* t, std::int64_t currentStart, std::int64_t currentLength);

    // Distance in km of entry n; 0.0 outside the list.
    double GetDistance(int n);

    // Files walked / files counted by the last load, at most 1; 0.0 while nothing was counted.
    double LoadProgress() const;
    LONG FilesCounted() const { return m_counted.load(std::memory_order_relaxed); }
    LONG FilesWalked() const { return m_walked.load(std::memory_order_relaxed); }

    // --- latest information record ---
    // Copies the latest record; true when it is valid.
    bool GetCarInfo(CarInfoRecord& out);
    void SetCarInfo(const CarInfoRecord& record);

    // --- backup ---
    // Takes copies of `count` index blocks (an array of pointers to 1312-byte blocks) for the
    // next backup. False while the thread is held, for a block without the index-block magic,
    // and when the blocks would not fit before the card block.
    bool SetSegments(const void* const* blocks, int count);
    // The ".sd" file the next backup writes.
    void SetBackupName(std::string path);
    // Creates the output anew and places it at the data area.
    bool OpenBackupOutput();
    // Writes the index area (and for the recorder card its card block) and closes the output.
    void FinishBackup(bool switchRecordingOff = true);
    struct BackupResult {
        bool done = false;         // the index area was written in full and the file closed
        std::size_t blocksWritten = 0;
        std::string error;         // empty while nothing failed
    };
    BackupResult LastBackup();
    std::size_t SegmentCount();

    // --- counters, names and switches of the engine ---
    LONG SourceCounter() const { return m_counter.load(std::memory_order_relaxed); }
    void ResetSourceCounter() { m_counter.store(0, std::memory_order_relaxed); }

    // Stores the export name and option; the name is also kept as at most 19 bytes of narrow
    // text, zero-filled to 20.
    bool SetExportName(std::string_view name, LONG option);
    std::string ExportName();
    LONG ExportOption() const { return m_exportOption.load(std::memory_order_relaxed); }
    bool ExportFlag() const { return m_exportFlag.load(std::memory_order_relaxed); }
    void ExportNameField(char (&out)[20]);

    void SetInfoSink(void* sink) { m_infoSink.store(sink, std::memory_order_relaxed); }
    void* InfoSink() const { return m_infoSink.load(std::memory_order_relaxed); }
    // Stores the flag and asks the channel's audio to resynchronise at its next packet.
    void SetSeekFlag(bool on);
    // A new play mode: the play position goes back to the list's start and the channel's play
    // clock forgets its reference times.
    void ResetPlayState();
    // The play position this source keeps: nothing here reads media, so it stays at the start
    // of the list (0).
    LONG PlayPosition() const { return m_playPosition.load(std::memory_order_relaxed); }
    bool SeekFlag() const { return m_seekFlag.load(std::memory_order_relaxed); }
    void SetPlayByte(BYTE v) { m_playByte.store(v, std::memory_order_relaxed); }
    BYTE PlayByte() const { return m_playByte.load(std::memory_order_relaxed); }
    // --- conversion export (re-encoded pictures into AVI clips) ---
    static constexpr int kExportChannels = 1;
    // What an export's conversion did: pictures handed to its clip, and pictures that could
    // not be encoded or written (the clip lacks them).
    struct ConversionCount {
        std::int64_t exported = 0;
        std::int64_t refused = 0;
    };
    // Points a channel's export state at the clip that wants its pictures (null: none). Each
    // setting starts a new export: its encoder is made for its first picture and its first
    // picture is a key frame. Returns what the previous export's conversion did.
    ConversionCount SetExportContext(int channel, CRecordCtx* ctx);
    bool ConversionActive(int channel);
    // The pictures to come lead up to the picture stamped `pts` (microseconds), which begins the
    // clip whether or not it is a key picture: the ones before it are decoded only so that it
    // can be. Without it the clip begins with a key picture.
    void SetConversionStart(int channel, std::int64_t pts);
    // Whether the video thread decodes every picture at this play speed: backwards and from 2
    // up it decodes key pictures only, and a conversion gets only the pictures it decodes.
    static bool SpeedConvertsEveryPicture(double speed) { return speed >= 0 && speed < 2.0; }
    // Encodes the channel's new picture and hands it to the clip. True when nothing was to be
    // done or the frame was handed on; false when no picture could be built, the encoder
    // failed or the export is not running.
    bool EncodeFrameForExport(int channel, std::int64_t time, const ExportPicture& picture);
    // Pictures handed to the clip, and pictures that could not be encoded, since the export's
    // context was set.
    std::int64_t ExportedPictures(int channel);
    std::int64_t RefusedPictures(int channel);

    // 1: the engine waits only 500 ms for this source when it stops.
    void SetFastStop(BYTE v) { m_fastStop.store(v, std::memory_order_relaxed); }
    BYTE FastStop() const { return m_fastStop.load(std::memory_order_relaxed); }

private:
    using EntryPtr = std::shared_ptr<const RecordingEntry>;
    struct Item {
        std::string path;
        EntryPtr entry;
        std::int64_t start = 0;
        std::int64_t end = 0;
        std::int64_t length = 0;
        double distance = 0;
    };
    // The output of a backup, which is always created anew.
    class BackupFile : public CStoReader {
    public:
        bool Create(const std::string& path);
    };

    void PostCarInfo();
    // Index of the current item when it starts at `currentStart`, else of the last item
    // starting then, 0 when none; the item whose start is
    // nearest to `t` (the earlier on a tie). Both with the list lock held and a non-empty list.
    std::size_t CurrentForStart(std::int64_t currentStart) const;
    std::size_t NearestStart(std::int64_t t) const;
    // An entry equal to `fresh` already handed out for `path`, else `fresh` (kept from now on).
    EntryPtr Intern(const std::string& path, EntryPtr fresh);

    CCritSecs m_recordLock;
    CarInfoRecord m_latest;

    CCritSecs m_folderLock;  // the engine's export folder
    CCritSecs m_loadLock;  // one load at a time
    CCritSecs m_listLock;  // everything below up to the counters
    std::vector<Item> m_items;
    int m_fileIndex = -1;
    std::vector<EntryPtr> m_working;
    std::vector<const void*> m_workingBlocks;  // a backup's: the caller's block at each place
    std::size_t m_segmentCursor = 0;
    std::unordered_map<std::string, EntryPtr> m_handedOut;  // newest entry per path
    std::vector<EntryPtr> m_replaced;                       // older entries, kept alive
    std::atomic<std::int64_t> m_workingStart{0};
    std::atomic<std::int64_t> m_workingEnd{0};
    std::atomic<LONG> m_counted{0};
    std::atomic<LONG> m_walked{0};
    std::atomic<LONG> m_counter{0};

    CCritSecs m_backupLock;
    std::vector<RecordingEntry> m_segments;  // the caller's blocks, copied
    std::vector<const void*> m_segmentBlocks;  // and where they are, never read through
    std::string m_backupName;
    BackupFile m_backupOut;
    BackupResult m_backupResult;

    struct ConversionState {
        CRecordCtx* ctx = nullptr;
        bool started = false;  // the clip's pictures began
        std::int64_t from = INT64_MIN;  // SetConversionStart's picture
        bool single = false;   // value A was set when the export began: one channel's pictures
        std::int64_t exported = 0;
        std::int64_t refused = 0;
    };
    // Converts and encodes the picture; the encoded size (> 0), else no frame.
    int BuildExportPicture(const ExportPicture& picture, bool forceKey, bool single);

    CCritSecs m_conversionLock;  // one conversion at a time; the state and encoder below
    ConversionState m_conversion[kExportChannels];
    std::atomic<bool> m_conversionOn[kExportChannels] = {};
    CXvidEncoder m_encoder;

    std::string m_exportName;
    char m_exportNameField[20] = {};
    std::atomic<LONG> m_exportOption{0};
    std::atomic<bool> m_exportFlag{false};
    std::atomic<void*> m_infoSink{nullptr};
    std::atomic<bool> m_seekFlag{false};
    std::atomic<LONG> m_playPosition{0};
    std::atomic<BYTE> m_playByte{0};
    std::atomic<BYTE> m_fastStop{0};
};
