#pragma once
// The engine's card and file-set source, as far as the engine core reaches it: the latest
// information record, its lists, counters and the names and switches handed to it. Loading
// the recording list, positions and backups come with the source itself.

#include "engine/CarInfoRecord.h"
#include "engine/CritSecs.h"
#include "engine/MyThread.h"

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

struct RecordingEntry;

class CSourceBoxCtx : public CSourceCtx {
public:
    explicit CSourceBoxCtx(CJtvCtrl* engine);
    ~CSourceBoxCtx() override;

    // The source reads no media itself: its thread ends at once.
    DWORD Run() override { return 1; }

    // Copies the latest record; true when it is valid.
    bool GetCarInfo(CarInfoRecord& out);
    void SetCarInfo(const CarInfoRecord& record);

    // The first entry of the recording list, null while the list is empty.
    const RecordingEntry* FirstEntry();
    // The entry being read, which nothing sets yet.
    const RecordingEntry* CurrentEntry() const { return nullptr; }

    // File list of the recording set.
    void SetFileList(std::vector<std::string> files);
    // Makes entry n current; false (nothing changes) outside the list.
    bool SelectFile(int n, std::string* name);
    int CurrentFileIndex();
    // Index of the name in the file list, -1 when absent.
    int FindFile(std::string_view name);
    void ClearLists();

    // Distance per walked file; 0.0 outside the list.
    void SetDistances(std::vector<double> distances);
    double GetDistance(int n);

    // Files walked / files counted by the last list load; 0.0 while nothing was counted.
    double LoadProgress() const;
    void SetLoadCounts(LONG counted, LONG walked);

    LONG SourceCounter() const { return m_counter.load(std::memory_order_relaxed); }
    void ResetSourceCounter() { m_counter.store(0, std::memory_order_relaxed); }

    // Stores the export name and option; the name is also kept as 20 bytes of narrow text.
    bool SetExportName(std::string_view name, LONG option);
    std::string ExportName();
    LONG ExportOption() const { return m_exportOption.load(std::memory_order_relaxed); }
    bool ExportFlag() const { return m_exportFlag.load(std::memory_order_relaxed); }
    void ExportNameField(char (&out)[20]);

    void SetInfoSink(void* sink) { m_infoSink.store(sink, std::memory_order_relaxed); }
    void* InfoSink() const { return m_infoSink.load(std::memory_order_relaxed); }
    void SetSeekFlag(bool on) { m_seekFlag.store(on, std::memory_order_relaxed); }
    bool SeekFlag() const { return m_seekFlag.load(std::memory_order_relaxed); }
    void SetPlayByte(BYTE v) { m_playByte.store(v, std::memory_order_relaxed); }
    BYTE PlayByte() const { return m_playByte.load(std::memory_order_relaxed); }
    // 1: the engine waits only 500 ms for this source when it stops.
    void SetFastStop(BYTE v) { m_fastStop.store(v, std::memory_order_relaxed); }
    BYTE FastStop() const { return m_fastStop.load(std::memory_order_relaxed); }

private:
    CCritSecs m_recordLock;
    CarInfoRecord m_latest;
    CCritSecs m_listLock;
    std::vector<std::string> m_files;
    int m_fileIndex = -1;
    std::vector<const RecordingEntry*> m_entries;
    std::vector<double> m_distances;
    std::atomic<LONG> m_counted{0};
    std::atomic<LONG> m_walked{0};
    std::atomic<LONG> m_counter{0};
    std::string m_exportName;
    char m_exportNameField[20] = {};
    std::atomic<LONG> m_exportOption{0};
    std::atomic<bool> m_exportFlag{false};
    std::atomic<void*> m_infoSink{nullptr};
    std::atomic<bool> m_seekFlag{false};
    std::atomic<BYTE> m_playByte{0};
    std::atomic<BYTE> m_fastStop{0};
};
