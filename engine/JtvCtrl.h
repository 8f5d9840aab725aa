#pragma once
// The playback engine: one object per application run that owns the channel, the card and
// file-set source, the export contexts and every setting the engine's threads read. Reached
// by the rest of the application only through the flat Jtv functions (Jtv.h).
//
// Fields written by the user-interface thread and read by the engine's threads are atomic;
// the rest are touched by the user-interface thread only.

#include "engine/CritSecs.h"
#include "engine/FpsCtrl.h"
#include "engine/PlayControl.h"
#include "engine/RecordCtx.h"
#include "engine/SourceBoxCtx.h"
#include "engine/TSChn.h"
#include "engine/storeader.h"
#include "platform/base/types.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

constexpr int kJtvChannels = 1;
constexpr DWORD kFastStopWaitMs = 500;
constexpr DWORD kStopWaitMs = 10000;

// A font as the on-screen text will make it.
struct JtvFontSpec {
    int height = 0;
    int weight = 0;  // 0: the default weight
    std::string face;  // empty: the default face
};

class CJtvCtrl {
public:
    CJtvCtrl();
    virtual ~CJtvCtrl();
    CJtvCtrl(const CJtvCtrl&) = delete;
    CJtvCtrl& operator=(const CJtvCtrl&) = delete;

    // Makes each channel's frame clock and points the per-channel slots at the channel's own
    // workers and queues.
    bool CreateChannels();
    // Stops and releases the current source, then the channel's workers.
    void CloseSource();
    void Stop();
    // Recording off: the recording flag, each export context and the AVI flag.
    void SetRecordOff();

    // Opening sources (JtvOpen.cpp). ParseSource classifies the current file name.
    int ParseSource();
    // Plays the current card or file-set source; false (the engine stopped) when it cannot.
    bool OpenSourceBox();
    // Plays entry n of the card source's file list and records the range into `output`.
    bool OpenFileSet(const std::string& output, int n, int range_start, int range_end);
    // Recording on: the folders along `name` must exist or be made.
    bool SetRecordOn(const std::string& name, LONG option);

    LRESULT SendNotify(UINT message, LPARAM lparam);
    BOOL PostNotify(UINT message, LPARAM lparam);

    // --- play control (PlayControl.cpp) ---
    // Speed, direction and step for the user-interface thread; 0 pauses, any other speed
    // resumes, +-1.1 shows one more picture and pauses again.
    void SetPlaySpeed(double speed);
    void SetPlayMode(int mode);
    // Seeks are requests carried out by the demultiplexer's thread.
    void SeekToTime(int time, bool nearest);
    int SeekCurrent();
    int PlayTime(int channel);
    void Zoom(int channel, int x, int y, int step);
    void SetCrop(int channel, const CropRect& crop);
    CropRect Crop(int channel);
    // Called by the video thread: counters of the running second, the once-a-second move into
    // the last second's values, the file list following the play time, the clock rate, the
    // frame rendezvous and the per-picture synchronisation.
    void CountFrame(int channel);
    void AddBytes(int channel, LONG bytes);
    void SecondTick();
    void FollowFileList(std::int64_t t);
    void SelectFileEntry(int n);
    void SetClockRate(double rate);
    void SetFrameReady(int channel);
    bool FrameRendezvous();
    // The channel's frame clock as the video thread reaches it: its rate, a new rate, and a
    // mark that has nothing to hand on (the clock marks its frames itself).
    double ClockFps(int channel);
    double SetClockFps(int channel, double fps);
    void MarkClock(int channel);
    void SyncFrame(int channel, std::int64_t pts, int fps);
    // The first picture after a change of speed, direction, pause, step, seek or file: the
    // synchronisation starts afresh and the clock restarts at this picture's time.
    void RestartSync(int channel, std::int64_t pts);
    // The clock base (stream time of a reference and its tick), written by the audio anchor.
    void SetClockBase(std::int64_t time_us, std::int64_t tick_ms);
    void ShiftClockBase(std::int64_t time_us);
    bool ClockBase(std::int64_t* time_us, std::int64_t* tick_ms);
    // The anchor of a channel: the one set, else the channel's audio context.
    void SetAudioAnchor(int channel, AudioClockAnchor* anchor);
    AudioClockAnchor* Anchor(int channel);
    // Tests replace the millisecond tick count.
    void SetTickSource(std::function<ULONGLONG()> ticks) { m_ticks = std::move(ticks); }
    ULONGLONG Ticks() const;

    void SetEdrFont(int x, int y, COLORREF colour, int height, const std::string& face);
    JtvFontSpec EdrFont();
    JtvFontSpec OsdFont();

    // --- owned objects ---
    CRecordCtx m_export[kJtvChannels];
    CTSChn m_channel;
    CSourceBoxCtx m_sourceBox;
    char m_deviceName[20] = {};
    CStoReader m_diskReader;  // the engine's own raw reader: empty path, nothing open

    // --- play clock state ---
    std::atomic<double> m_clockRate{1.0};
    std::atomic<std::int64_t> m_refStreamTime{0};  // reference stream time, microseconds
    std::atomic<std::int64_t> m_refTick{0};
    std::atomic<LONG> m_syncState{-1};
    std::atomic<LONG> m_frameCounter[kJtvChannels] = {};
    std::atomic<LONG> m_byteCounter[kJtvChannels] = {};
    std::atomic<LONG> m_framesLastSecond[kJtvChannels] = {};
    std::atomic<LONG> m_bytesLastSecond[kJtvChannels] = {};
    std::atomic<ULONGLONG> m_lastSecondTick{0};
    std::atomic<std::int64_t> m_frameRefTime{0};  // reference stream time of the current frame
    std::atomic<bool> m_frameRefSet{false};
    std::atomic<int> m_refFps{0};
    std::atomic<LONG> m_graceFrames{0};
    std::atomic<BYTE> m_syncPending{0};
    std::atomic<BYTE> m_frameReady[kJtvChannels] = {};
    std::atomic<bool> m_rendezvous{false};
    // Serial of the demultiplexer's restart after which the pictures last restarted the clock.
    std::atomic<int> m_restartedSerial{0};
    std::atomic<AudioClockAnchor*> m_audioAnchor[kJtvChannels] = {};
    std::unique_ptr<CFpsCtrl> m_fps[kJtvChannels];
    CVideoCtx* m_videoCtx[kJtvChannels] = {};
    CAudioCtx* m_audioCtx[kJtvChannels] = {};
    CVBuffer2* m_videoQueue[kJtvChannels] = {};
    CABuffer2* m_audioQueue[kJtvChannels] = {};

    std::atomic<LONG> m_channelValue[kJtvChannels] = {};
    CSourceCtx* m_currentSource = nullptr;
    std::atomic<BYTE> m_channelFlag1[kJtvChannels] = {};
    std::atomic<BYTE> m_channelFlag2[kJtvChannels] = {};
    std::atomic<BYTE> m_channelFlag3[kJtvChannels] = {};
    std::atomic<LONG> m_valueC{0};
    std::atomic<LONG> m_exportOption{0};
    std::atomic<LONG> m_valueD{0};
    std::atomic<LONG> m_valueB{0};
    std::atomic<LONG> m_valueA{0};
    std::atomic<HWND> m_renderWindow[kJtvChannels] = {};
    std::atomic<HWND> m_notifyWindow[kJtvChannels] = {};
    std::string m_fileName;
    std::string m_exportFolder;
    std::atomic<LONG> m_open{0};
    float m_framesPerSecond = 30.0f;
    std::atomic<LONG> m_enginePlayTime{0};
    std::atomic<LONG> m_playMode{0};
    std::atomic<double> m_playSpeed{1.0};
    // Non-zero while the user-interface thread changes the speed and the direction that goes
    // with it: the video thread judges no packet by one of them without the other.
    std::atomic<int> m_speedChanging{0};
    LONG m_sourceType = 0;
    std::atomic<LONG> m_recording{0};
    std::atomic<LONG> m_playSeconds{0};
    std::string m_recordName;
    std::atomic<LONG> m_aviFlag{0};
    std::atomic<LONG> m_recordOption{0};
    std::atomic<BYTE> m_carRecordByte{0};
    char m_host[260] = {};

    // --- on-screen text ---
    std::atomic<LONG> m_edrX{0};
    std::atomic<LONG> m_edrY{0};
    std::atomic<COLORREF> m_edrColour{0};
    std::atomic<LONG> m_speedUnit{0};
    std::atomic<LONG> m_temperatureUnit{0};
    std::atomic<LONG> m_timeZone{0};  // seconds west of UTC
    std::atomic<LONG> m_osdMusic{0};
    std::atomic<LONG> m_osdTimeMode{0};
    std::atomic<LONG> m_timeX{10};
    std::atomic<LONG> m_timeY{60};
    std::atomic<COLORREF> m_osdColour{255};

    // --- snapshots ---
    std::atomic<LONG> m_snapshotPending[kJtvChannels] = {};
    std::atomic<LONG> m_snapshotFormat{0};
    std::atomic<LONG> m_snapshotOption{0};
    std::atomic<COLORREF> m_snapshotColour{255};
    std::string m_snapshotName;
    // A snapshot of the picture on the screen was taken; never while the blocking flag is set.
    // The video thread sets that flag and clears the taken one while it replaces the picture.
    std::atomic<LONG> m_snapshotTaken{0};
    std::atomic<LONG> m_snapshotBlocked{0};

    // --- per-channel switches and values ---
    std::atomic<LONG> m_crop[kJtvChannels][4] = {};  // left, top, right, bottom
    std::atomic<LONG> m_pairSwitch[kJtvChannels] = {1};
    std::atomic<LONG> m_pairValue[kJtvChannels] = {1};
    std::atomic<LONG> m_enableDxva2[kJtvChannels] = {0};
    std::atomic<LONG> m_enableVideo[kJtvChannels] = {1};
    std::atomic<LONG> m_enableAudio[kJtvChannels] = {1};
    std::atomic<LONG> m_channelPlayTime[kJtvChannels] = {};
    std::atomic<LONG> m_piValue[kJtvChannels] = {};
    std::atomic<LONG> m_volume[kJtvChannels] = {};
    std::atomic<LONG> m_fileListSwitch1{1};
    std::atomic<LONG> m_fileListSwitch2{1};
    std::atomic<LONG> m_fileIndex{-1};
    std::atomic<LONG> m_prevFileIndex{-1};

    safelist<void*> m_subTables;


private:
    // Sources of another kind that did not end within their stop wait: deleted once their
    // thread has ended, at the latest by the destructor.
    std::vector<std::unique_ptr<CSourceCtx>> m_retiredSources;
    void ReapRetiredSources(bool wait);

    // Play state reset by Stop.
    void ResetPlayState();

    CCritSecs m_clockLock;  // the clock base is written by the audio thread, read by the video thread
    CCritSecs m_cropLock;   // the crop rectangle is read whole by the video thread
    ChannelAudioAnchor m_channelAudio{m_channel.AudioCtx()};
    std::function<ULONGLONG()> m_ticks;

    CCritSecs m_fontLock;  // the fonts are read by the video thread
    JtvFontSpec m_osdFont;
    JtvFontSpec m_edrFont;
};
