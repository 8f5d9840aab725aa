#pragma once
// A channel's clip export: the frames of the exported range go into ".avi" clips, or into
// ".ts" clips with a ".txt" GPS and G-sensor file when the engine's TS-export value is set;
// vehicle values go into a ".srt" subtitle file and a ".csv" table beside the clip.
//
// The demultiplexer thread writes, the engine's thread closes; every call takes the lock.
// An AVI clip that grows past the split size continues as base " (n)" at the next key frame.
// A failed write closes the clip with what it holds and stops the export: no later frame
// opens a clip again (which would truncate the partial one) until the next export begins.

#include "engine/AviFile.h"
#include "engine/CritSecs.h"
#include "engine/ObdValues.h"
#include "engine/TsFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

class CJtvCtrl;

constexpr std::int64_t kNoExportPts = INT64_MIN;

// One exported picture as the demultiplexer (or an encoder) hands it over.
struct ExportFrame {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    int fps = 0;              // 30 when 0
    bool key = false;
    bool mayStart = true;     // a key frame that may begin a clip
    bool xvid = false;        // MPEG-4 Part 2 from the Xvid encoder, else the recording's H.264
    int width = 0;            // picture size of an encoded frame (the recording's frames carry theirs)
    int height = 0;
    std::int64_t time = 0;    // calendar seconds
    std::int64_t pts = kNoExportPts;  // microseconds of its time stamp, when known
    bool newFile = false;     // the first picture handed over from a recording read after another
};

class CRecordCtx : public CCritSecs {
public:
    static constexpr std::uint64_t kSplitBytes = 524288000;

    CRecordCtx();
    virtual ~CRecordCtx();
    CRecordCtx(const CRecordCtx&) = delete;
    CRecordCtx& operator=(const CRecordCtx&) = delete;

    void SetEngine(CJtvCtrl* engine) { m_engine = engine; }
    // A new export: clip numbering starts again and the failure mark clears. Its clips are
    // ".ts" clips when the engine's TS-export value is set now, whatever it is set to later.
    void BeginExport();
    bool TsExport();

    bool IsOpen();
    // False when the frame could not be written (not when it was only not wanted yet).
    bool WriteVideo(const ExportFrame& frame);
    // Opens an AVI clip for re-encoded pictures at a key frame of the recording, which gives
    // the picture size; the sound is kept from then on while the pictures follow. False when
    // the clip could not be made.
    bool OpenForPictures(const ExportFrame& keyFrame);
    // 16-bit mono 8000 Hz samples, for AVI clips. The first sound of a clip is placed by its
    // time stamp `pts` (microseconds) against the clip's first picture, or when either is not
    // known, at the picture being written. `time`: its calendar second, 0 when not known.
    // Beside re-encoded pictures, which trail the reading, sound is held back until its
    // picture is written, so that a clip stopped early ends its sound with its last picture.
    bool WriteAudio(const void* pcm, std::size_t bytes, std::int64_t pts = kNoExportPts, std::int64_t time = 0);
    // Beside re-encoded pictures: the sound that comes from now on is of the next recording,
    // whose first picture (time stamp `pts`, calendar second `time`) the video thread writes
    // later; that picture places it, as a copied clip's new-file picture does.
    void NextRecordingBegins(std::int64_t pts, std::int64_t time);
    // ADTS frames as the recording holds them, for TS clips.
    bool WriteAdts(const void* data, std::size_t size);
    // Private text (G-sensor and NMEA) of the moment `time`, for TS clips and their ".txt".
    bool WritePrivate(const char* text, std::size_t length, std::int64_t time);
    // A vehicle hex text of the moment `time`, into the ".srt" and ".csv"; false when they
    // cannot be made, and then for the rest of the clip.
    bool WriteObd(const char* text, std::size_t length, std::int64_t time);
    // Closes every file of the clip; false when one could not be completely written.
    bool Close();

    // A clip file could not be made or written since BeginExport.
    bool Failed();
    // Base names of the clips kept since BeginExport, in order (an empty clip is deleted).
    std::vector<std::string> ClipNames();
    // How far the export's written pictures reach, in calendar milliseconds: the end of the
    // latest picture written since BeginExport (0 before the first). It never goes back.
    std::int64_t WrittenUpTo();
    // Tests lower the split size instead of writing half a gigabyte.
    void SetSplitBytes(std::uint64_t bytes);

    // Whether `path` is the engine's source or a recording of its set, however it is named.
    static bool IsSourceFile(CJtvCtrl& engine, const std::string& path);
    // Whether an export to `output` would write one of its files over such a file.
    static bool WritesOverSource(CJtvCtrl& engine, std::string_view output);
    // Whether the clip names made of `output`, or the backup named `output`, have a file part:
    // a folder name (a trailing separator, ".", "..") would write hidden files such as
    // "folder/.ts" or "folder/.sd".
    static bool NamesAFile(std::string_view output);

private:
    struct ObdSample {
        std::int64_t time = 0;
        ObdValues v;
    };

    bool OpenLocked(const ExportFrame* first);
    // Writes the held sound as far as the pictures written reach; false when a write failed.
    bool WriteHeldSound();
    // Samples of silence (> 0) or of sound to drop (< 0) that put sound stamped `pts` where it
    // belongs beside the picture stamped `anchorPts` that begins at sample `anchorAt`, when
    // the sound so far ends at `soundEnd`; 0 beyond a plausible shift.
    static std::int64_t AnchorShift(std::int64_t anchorAt, std::int64_t anchorPts, std::int64_t pts,
                                    std::int64_t soundEnd);
    // The next recording's first re-encoded picture `f` is about to be written: its sound is
    // held from where it belongs beside that picture on.
    void PlaceNextRecordingSound(const ExportFrame& f);
    bool CloseLocked();
    bool TsMode() const;
    // A recording name less its extension.
    static std::string ClipBase(std::string name);
    // Characters of the clip or backup extension (".avi", ".ts", ".sd", any case) that ends
    // `name`; 0 when none does.
    static std::size_t ExtensionLength(std::string_view name);
    std::string BaseName() const;
    void WriteFailed();
    void FlushSubtitles(std::int64_t elapsed);
    bool Append(std::FILE* f, const std::string& text);
    void WriteGpsLines(const char* text, std::size_t length, std::int64_t time);
    std::int64_t TimeZone() const;

    CJtvCtrl* m_engine = nullptr;
    CAviFile m_avi;
    CTsFile m_ts;
    bool m_open = false;
    bool m_tsMode = false;
    bool m_tsExport = false;  // the kind of the export's clips, fixed when it begins
    bool m_xvid = false;
    std::string m_base;
    std::vector<std::string> m_names;
    int m_clipCounter = 0;
    std::uint64_t m_splitBytes = kSplitBytes;

    std::uint64_t m_videoBytes = 0;
    std::int64_t m_frames = 0;
    std::int64_t m_firstTime = 0;
    std::int64_t m_lastTime = 0;
    std::int64_t m_firstPts = kNoExportPts;
    bool m_soundStarted = false;
    std::vector<std::uint8_t> m_heldSound;  // beside re-encoded pictures: sound ahead of them
    // Beside re-encoded pictures, the sound of each recording read after the pictures written,
    // waiting for its first picture.
    struct NextSound {
        std::int64_t picturePts = 0;
        std::int64_t pictureTime = 0;
        std::int64_t pts = kNoExportPts;  // of its first sound
        std::vector<std::uint8_t> samples;
    };
    std::deque<NextSound> m_nextSound;
    // The first picture of a recording after another: where its sound goes, by time stamps.
    bool m_anchorPending = false;
    std::int64_t m_anchorPts = 0;
    std::int64_t m_anchorAt = 0;      // sample where that picture begins
    std::int64_t m_skipSamples = 0;   // sound of the last recording beyond that place, dropped
    // Pictures written: the second of the latest and how many of that second, which place it
    // within its second.
    std::int64_t m_writtenUpTo = 0;
    std::int64_t m_writtenSecond = 0;
    int m_writtenInSecond = 0;
    bool m_videoStarted = false;
    bool m_reopen = false;
    bool m_failed = false;
    bool m_stopped = false;     // a write failed: no clip opens until the next export

    std::FILE* m_srt = nullptr;
    std::FILE* m_csv = nullptr;
    std::FILE* m_txt = nullptr;
    bool m_sideFilesFailed = false;  // this clip's ".srt" and ".csv" could not be made
    int m_subtitle = 0;
    std::int64_t m_subtitleTime = 0;
    std::vector<ObdSample> m_obd;
};
