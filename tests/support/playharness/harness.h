#pragma once
// Play control as a user drives it, measured from outside the engine.
//
// A Session plays recordings through the flat interface into a render window and logs every
// picture presented there with its wall time. Afterwards each logged picture is named against
// FFmpeg's own decoding of the same files (a Reference): by a hash of a few boxes inside the
// picture, away from the edges where the on-screen texts go, so a speed label cannot hide which
// picture it is. Judgements work on that log: the pace of play over a stretch of wall time
// (media seconds per wall second, the slope of a least-squares line through the shown pictures),
// and the order and place of the pictures around each change the user made.

#include "engine/Jtv.h"
#include "platform/base/types.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace playharness {

using Clock = std::chrono::steady_clock;

struct Box {
    int x, y, w, h;
};

// The boxes sampled from a picture of w x h.
std::vector<Box> InnerBoxes(int width, int height);

// FFmpeg's decoding of one recording or of the recordings of a set, in display order and one
// after the other, each picture with its media time.
class Reference {
public:
    // Appends the pictures of `path`; `start_seconds` is the recording's start on the set's
    // time line (its calendar start minus the first recording's). False when FFmpeg cannot
    // decode it or its size differs from the pictures before.
    bool Add(const std::string& path, double start_seconds, std::string* error);

    std::size_t size() const { return media_.size(); }
    int width() const { return width_; }
    int height() const { return height_; }
    double Media(int index) const { return media_[static_cast<std::size_t>(index)]; }
    bool Key(int index) const { return key_[static_cast<std::size_t>(index)]; }
    // Pictures from one key picture to the next, the largest such distance.
    int Gop() const;
    // Wall milliseconds from one picture to the next at normal speed.
    double Interval() const;
    // The picture a sample of the boxes shows: an exact match of the hash, else the nearest
    // picture when it differs by little (a conversion that rounds differently); -1 when none.
    int Identify(const std::vector<std::uint8_t>& sample) const;
    // The nearest picture and its mean difference per byte, for a sample that matched none.
    int Nearest(const std::vector<std::uint8_t>& sample, double* difference) const;
    // The boxes' bytes of a BGRA picture (tightly packed rows).
    static std::vector<std::uint8_t> Sample(const std::uint8_t* bgra, int width, int height);

    // The sound packets of each recording added, in file order, by their stream times as the
    // engine reckons them (microseconds), as ffprobe lists them.
    const std::vector<std::vector<std::int64_t>>& Sound() const { return sound_; }
    // Where a sound packet lies: its recording and its place in that recording's list; false
    // for a time no recording has.
    bool FindSound(std::int64_t pts, int* file, int* index) const;
    // The information records in file order: the media time of each, and the picture that
    // comes before it in the file (-1: none).
    struct Record {
        double media = 0;
        int before = -1;
    };
    const std::vector<Record>& Records() const { return records_; }
    // Pictures stored in another order than shown (B-frames).
    bool Reordered() const { return reordered_; }

private:
    int width_ = 0, height_ = 0;
    std::vector<std::vector<std::int64_t>> sound_;
    std::vector<Record> records_;
    bool reordered_ = false;
    std::vector<double> media_;
    std::vector<bool> key_;
    std::vector<std::vector<std::uint8_t>> samples_;
    std::unordered_multimap<std::uint64_t, int> byHash_;
};

// One picture put on the screen.
struct Shown {
    double wall = 0;    // ms since the session began
    int picture = -1;   // index in the reference; -1 when it could not be named, kBlack
};
constexpr int kBlack = -2;  // a screen cleared to black (a new run's start)
constexpr int kNothing = -3;  // no picture at all (a snapshot that saved none)

// What the user did, and when.
struct Mark {
    double wall = 0;
    std::string what;
    double speed = 1.0;  // the speed in force after it
};

class Session {
public:
    explicit Session(const Reference& reference);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Opens a recording as a lone file, or a folder as the card source's set (as the main
    // window does), and starts play. False when the engine refuses.
    bool OpenFile(const std::string& path);
    bool OpenFolder(const std::string& dir);
    // Opens `path` as the main window does: the recordings of `folder` listed as the set.
    bool OpenFromFolder(const std::string& folder, const std::string& path);
    // Makes the engine's queues small, so that the reader waits for room (before the first
    // open): the pictures' (some 15 of them), or (`soundOnly`) the sound's (some 2 s).
    void SmallQueues(bool soundOnly);
    // The player window asks for its picture again (JtvResetVideo).
    void ResetVideo();
    // Saves a snapshot of the screen (named afterwards: Snapshots()).
    void Snapshot();
    void Speed(double speed);
    void Seek(int calendarSecond, BYTE nearest = 0);
    // Chooses entry `n` of the set's list (JtvSelectFile).
    void SelectFile(int n);
    // Lets play run for `ms` of wall time, dispatching the notify window's messages.
    void Run(double ms);
    // Runs until `done` holds (checked every few ms) or `limit_ms` passes.
    bool RunUntil(const std::function<bool()>& done, double limit_ms);
    // Runs until a picture satisfying `which` has been shown.
    bool RunUntilShown(const std::function<bool(int picture)>& which, double limit_ms);

    double Now() const;
    bool Ended() const { return !ends_.empty(); }
    // Ends reported (WM_JTV_PLAYEND for the channel) at or after `wall`.
    int EndsSince(double wall) const;
    const std::vector<double>& Ends() const { return ends_; }
    HJTV engine() const { return engine_; }
    // The pictures shown so far, named.
    std::vector<Shown> Log() const;
    const std::vector<Mark>& Marks() const { return marks_; }
    int LastShown() const;
    std::size_t ShownCount() const;
    // For a picture of the log that matched none: what it was nearest to, in words.
    std::string Unnamed(std::size_t index) const;

    // What the audio thread took from its queue: sound packets by their stream times, and the
    // markers where the reader started over.
    struct SoundTaken {
        double wall = 0;
        bool marker = false;
        std::int64_t pts = 0;
    };
    std::vector<SoundTaken> SoundLog() const;
    // The information records the notify window was told of: the second of the day (UTC) that
    // the record's RMC sentence gives, -1 when it has none.
    struct RecordTold {
        double wall = 0;
        int second = -1;
    };
    const std::vector<RecordTold>& RecordLog() const { return records_; }
    // The snapshots asked for: when asked, when done, and the picture saved (kBlack, -1 when
    // none matches, kNothing when nothing was saved).
    struct Saved {
        double asked = 0, done = 0;
        int picture = -1;
    };
    const std::vector<Saved>& Snapshots() const;

private:
    void Note(std::string what, double speed);

    const Reference& reference_;
    HJTV engine_ = nullptr;
    HWND render_ = nullptr;
    HWND notify_ = nullptr;
    Clock::time_point origin_;
    mutable std::mutex mutex_;
    struct Raw {
        double wall;
        std::vector<std::uint8_t> sample;
    };
    std::vector<Raw> raw_;
    std::vector<std::uint8_t> frame_;
    mutable std::vector<Shown> named_;  // cache of the raw log, named
    std::vector<double> ends_;  // walls of the ends reported
    std::vector<SoundTaken> sound_;
    std::vector<RecordTold> records_;
    mutable std::vector<Saved> snapshots_;
    std::vector<std::string> snapshotFiles_;  // "" when nothing was saved
    mutable std::size_t snapshotsNamed_ = 0;
    std::string snapshotDir_;
    double speed_ = 1.0;
    std::vector<Mark> marks_;
};

// --- judgements ---

// The least-squares slope of media time over wall time (media seconds per wall second) of the
// pictures shown in [from, to); NaN with fewer than three named pictures.
double Pace(const std::vector<Shown>& log, const Reference& reference, double from, double to);
// The paces of each whole 2-second window from one second after `from` up to `to`.
std::vector<double> WindowPaces(const std::vector<Shown>& log, const Reference& reference, double from,
                                double to);
// The pictures shown in [from, to).
std::vector<Shown> Between(const std::vector<Shown>& log, double from, double to);

// A stretch of play at one speed, between two user actions.
struct Phase {
    std::string name;
    double speed = 1.0;
    bool seek = false;                 // begins with a seek or a file chosen: one jump is its place
    double from = 0, to = 0;           // wall ms
    std::vector<double> windows;       // paces of its 2-second windows after the first second
    double pace = 0;                   // over the whole phase after its first second
    double fresh = 0;                  // the pace of a fresh start at that speed, this run
};

struct Outcome {
    std::string scenario;
    std::vector<Phase> phases;
    std::vector<std::string> faults;   // order and place judgements that failed, in words
    std::vector<std::string> figures;  // what was measured, for a person reading the run
    std::vector<Shown> log;
    std::string actions;    // a script's actions with their walls, one a line
    double firstFault = -1; // the wall of the first fault the walk's rules found
    std::string trace;      // the log around it
    std::string shortScript;  // the script up to it
};

// The pace of a fresh start at `speed`: the recording (or folder) opened, the speed set at
// once, played for `seconds`, measured after its first second. Measured once per source and
// speed in a process.
double FreshPace(const Reference& reference, const std::string& source, bool folder, double speed,
                 double seconds);

// Order within a phase: forward speeds show later and later pictures (none skipped at 1x and
// slower), backward play earlier and earlier key pictures. Adds what fails to `faults`.
void JudgeOrder(const std::vector<Shown>& log, const Reference& reference, const Phase& phase,
                std::vector<std::string>* faults);

// The recordings the scenarios play, made once per process in a temporary folder.
struct Fixture {
    std::string dir;
    std::string file;        // 25 fps, one-second picture groups, 40 s, sound and records
    std::string longFile;    // its kind, 70 s: more pictures than the video queue holds
    std::string folder;      // three 5 s recordings of the same kind, a set
    std::string bframes;     // 30 fps, 2 B-frames between references, 10 s, other PIDs
    std::string plain30;     // its twin without B-frames
    Reference fileRef, longRef, folderRef, bframesRef, plain30Ref;
    // A folder of three 5 s recordings one after the other: "a.ts", "b.ts" without programme
    // tables (nothing of it can be read) and "c.ts", whose header gives it no length, so that
    // the list leaves it out. Each shows pictures of its own.
    std::string mixed, mixedTableless, mixedUnlisted;
    Reference mixedListedRef, mixedUnlistedRef;  // "a.ts", "c.ts"
    // A folder of a 5 s recording with B-frames, "a.ts", and "b.ts" after it, which holds only
    // the start of a recording: its header and tables, no picture.
    std::string hollow;
    Reference hollowRef;  // "a.ts"
    std::int64_t hollowStart = 0;
    std::int64_t fileStart = 0;  // calendar second of the file's start
    std::int64_t folderStart = 0;  // ... and of the set's first file
};
const Fixture& Recordings();

// --- the scenarios ---
// Each plays one scripted sequence and judges order and place; the test and the benchmark
// judge the paces against the fresh starts.
Outcome SlowAfterNormal(double slow, double normalSeconds);       // 1x, then 1/2x or 1/4x
Outcome NormalAfterSlow();                                         // 1x, 1/2x, 1x, 1/4x, 1x
Outcome DoubleThenNormal();                                        // 3 s 1x, 3 s 2x, 1x
Outcome FastThenNormal();                                          // 1x, 8x, 1x
Outcome FolderAsSet();                                             // three 5 s files
Outcome OpenAndSeek();                                             // late first pictures
Outcome BackwardThenForward();                                     // -1 from ~84, then 1
Outcome PauseResume();                                             // 1x, pause, 1x
Outcome SeekForwardAndBack();                                      // 1x, seek +, seek -
Outcome BackwardStepForward();                                     // -1, pause, steps, 1x
Outcome StepsAcrossFilesThenNormal();                              // steps into a set's next file, 1x
// 30 fps with B-frames: intervals between shown pictures off the stream's by more than
// `slack` ms, counted over the first `seconds`, and the same for the twin without B-frames.
struct IntervalCount {
    int intervals = 0, off = 0, twinIntervals = 0, twinOff = 0;
    std::vector<std::string> faults;
};
IntervalCount BFrameIntervals(double seconds, double slack);
// After an open or a seek: the longest run of consecutive intervals over 1.5 picture periods
// among the first 25 pictures.
struct LateRun {
    int afterOpen = 0, afterSeek = 0;
    std::vector<std::string> faults;
};
LateRun LateFirstPictures();

// --- scripted sequences and the random walk ---
// The recordings a script plays: the 40 s one, the folder of three as a set, the one with
// B-frames, the 70 s one, the set whose second file holds no picture.
enum class Rec { kFile, kFolder, kBFrames, kLong, kHollow };
// A script is the user's actions, separated by ';':
//   small, small sound    (first) the queues made small: the reader waits for room for pictures,
//                         or for sound
//   2x, 1/2x, -1x, 0x     a play speed (0x pauses)
//   step, back            a frame step forward, back; then runs until a picture shows (3 s at most)
//   seek S                second S from the recording's (or set's) start
//   file N                entry N of the set's list
//   open, open list       the recording opened again, alone or from its folder's list (leading,
//                         after "small": how the recording is opened first)
//   outside MS            a seek past the end every 25 ms for MS
//   reset, snap           the window's redraw (JtvResetVideo), a snapshot
//   wait MS               lets play run
//   until C [key] [in MS] runs until a picture shows that is >=N, <=N, ==N, <N, >N, or @N (N after
//                         its group's key picture), or "keys N" key pictures, or "end" an end is
//                         reported (10 s at most, else the script stops)
//   ?index N [MS]         the file index is N now (and for MS of play)
//   ?pace                 stretches of 3 s or more are judged against fresh starts
//   ?...                  a check of the action before it, judged afterwards (see JudgeChecks)
// PlayScript opens the recording, takes the actions and judges the checks; with `walkRules` also
// the rules every sequence keeps (see JudgeWalk), in place of the order of each stretch.
Outcome PlayScript(const std::string& name, Rec rec, const std::string& script, bool walkRules);
// A random walk's actions: speeds (pauses too), steps, seeks (outside the recording too), files
// in the set, opens again (alone or with the folder's list), redraws, snapshots, bursts of
// requests that leave play where it is, and waits; some walks with small queues.
std::string WalkScript(Rec rec, std::uint32_t seed, int actions);

// Ratio of a phase's windows to its fresh start; 0 when there is none.
double WorstRatio(const Phase& phase);

}  // namespace playharness
