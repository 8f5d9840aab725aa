#pragma once
// The transport-stream demultiplexer of a channel, as far as the engine core reaches it:
// the queues it feeds, the requests the engine hands it and its export progress. Reading
// and splitting the stream come with the demultiplexer itself.

#include "engine/CritSecs.h"
#include "platform/base/types.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class CTSChn;
class CVBuffer2;
class CABuffer2;

// What the export progress is computed from; written by the demultiplexer thread.
struct ExportProgressState {
    bool running = false;
    bool finished = false;
    std::string startFile;   // file of the range start
    std::string endFile;     // file of the range end
    std::string currentFile; // file being read
    std::int64_t readPosition = 0;
    std::int64_t startOffset = 0;
    std::int64_t endOffset = 0;
    std::int64_t totalLength = 0;
};

// Per mille: 1000 when finished, 0 while idle, -1 for an empty range, else 0..990.
double ExportProgress(const ExportProgressState& s);

class CTSAnalyse {
public:
    explicit CTSAnalyse(CTSChn* channel) : m_channel(channel) {}
    virtual ~CTSAnalyse() = default;

    void SetQueues(CVBuffer2* video, CABuffer2* audio);
    CVBuffer2* VideoQueue() const { return m_video; }
    CABuffer2* AudioQueue() const { return m_audio; }

    // Takes the source name; nothing is read yet, so it reports that nothing started.
    bool Open(const std::string& name);
    // Clears the running flag, so that a reading loop ends at its next pass.
    void RequestStop() { m_running.store(false, std::memory_order_relaxed); }
    void Stop();
    bool IsRunning() const { return m_running.load(std::memory_order_relaxed); }
    std::string SourceName();

    void SetDirection(int direction) { m_direction.store(direction, std::memory_order_relaxed); }
    int Direction() const { return m_direction.load(std::memory_order_relaxed); }

    // Seek requests: a time in seconds, and whether the nearest file should be taken.
    void SeekToTime(int time, bool nearest);
    int SeekTime() const { return m_seekTime.load(std::memory_order_relaxed); }
    bool SeekNearest() const { return m_seekNearest.load(std::memory_order_relaxed); }

    void SetExportByte(bool on) { m_exportByte.store(on, std::memory_order_relaxed); }
    bool ExportByte() const { return m_exportByte.load(std::memory_order_relaxed); }
    void SetExportState(const ExportProgressState& s);
    double ExportProgress();

    void SetFileList(std::vector<std::string> files);
    // Takes entry n of the file list as the export source; false outside the list.
    bool SelectExportFile(int n);
    std::string ExportSourceFile();

private:
    CTSChn* m_channel;
    CVBuffer2* m_video = nullptr;
    CABuffer2* m_audio = nullptr;
    std::atomic<bool> m_running{false};
    std::atomic<int> m_direction{0};
    std::atomic<int> m_seekTime{-1};
    std::atomic<bool> m_seekNearest{false};
    std::atomic<bool> m_exportByte{false};
    CCritSecs m_lock;  // guards the strings and the export state
    std::string m_name;
    std::vector<std::string> m_files;
    std::string m_exportSource;
    ExportProgressState m_export;
};
