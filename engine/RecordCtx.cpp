#include "engine/RecordCtx.h"

#include "engine/EngineMessages.h"
#include "engine/JtvCtrl.h"
#include "engine/PrivateData.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <set>
#include <string_view>

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr int kDefaultWidth = 720;
constexpr int kDefaultHeight = 576;
// Clips with less video than this hold nothing worth keeping.
constexpr std::uint64_t kEmptyClipBytes = 24;
// Sound further than this from the clip's first picture (microseconds) is not placed by its
// time stamp, which has then wrapped or jumped.
constexpr std::int64_t kPlacedSoundSpan = 3600LL * 1000000;
// Below this span the AVI's header rate (from the frame rate) is left as created.
constexpr std::int64_t kTimingFixSpan = 14400;

struct SpeedUnit {
    double factor;
    const char* name;
};
constexpr SpeedUnit kSpeedUnits[] = {{1.0, "Km/h"}, {0.6214, "Mile/h"}, {0.5399, "Knot"}};

// The picture size of a key frame, from a decoder of its own; 720 x 576 when it cannot tell.
void PictureSize(const std::uint8_t* data, std::size_t size, int* width, int* height)
{
    *width = kDefaultWidth;
    *height = kDefaultHeight;
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVCodecContext* ctx = codec ? avcodec_alloc_context3(codec) : nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    if (ctx && packet && frame && size > 0 && size < (1u << 30)) {
        ctx->thread_count = 1;
        ctx->flags |= AV_CODEC_FLAG_LOW_DELAY;
        if (avcodec_open2(ctx, codec, nullptr) == 0 && av_new_packet(packet, static_cast<int>(size)) == 0) {
            std::memcpy(packet->data, data, size);
            avcodec_send_packet(ctx, packet);
            avcodec_send_packet(ctx, nullptr);
            if (avcodec_receive_frame(ctx, frame) == 0 && frame->width > 0 && frame->height > 0) {
                *width = frame->width;
                *height = frame->height;
            } else if (ctx->width > 0 && ctx->height > 0) {
                *width = ctx->width;
                *height = ctx->height;
            }
        }
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&ctx);
}

bool HasExtension(std::string_view name, std::string_view ext)
{
    if (name.size() < ext.size())
        return false;
    for (std::size_t i = 0; i < ext.size(); ++i) {
        const char c = name[name.size() - ext.size() + i];
        if (std::tolower(static_cast<unsigned char>(c)) != ext[i])
            return false;
    }
    return true;
}

std::tm LocalTime(std::int64_t t)
{
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    if (!localtime_r(&tt, &tm))
        tm = std::tm{};
    return tm;
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...)
{
    char buf[512];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    if (n < 0)
        return std::string();
    return std::string(buf, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buf - 1));
}

// The text a posted export message carries: it stays valid for the life of the process,
// however late the message is handled and whatever export runs meanwhile. One copy per name.
const char* MessageText(const std::string& name)
{
    static std::mutex lock;
    static std::set<std::string> texts;
    std::lock_guard<std::mutex> guard(lock);
    return texts.insert(name).first->c_str();
}

// Writes a 32-bit little-endian word at `offset` of a file.
bool PatchWord(std::FILE* f, long offset, std::uint32_t v)
{
    const std::uint8_t b[4] = {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
    return std::fseek(f, offset, SEEK_SET) == 0 && std::fwrite(b, 1, 4, f) == 4;
}

}  // namespace

CRecordCtx::CRecordCtx() = default;

CRecordCtx::~CRecordCtx()
{
    Close();
}

void CRecordCtx::BeginExport()
{
    CCritSecsLock lock(*this);
    m_clipCounter = 0;
    m_failed = false;
    m_stopped = false;
    m_reopen = false;
    m_names.clear();
    m_heldSound.clear();
    m_nextSound.clear();
    m_writtenUpTo = 0;
    m_writtenSecond = 0;
    m_writtenInSecond = 0;
    m_tsExport = m_engine != nullptr && m_engine->m_valueD.load(kRelaxed) != 0;
}

bool CRecordCtx::TsExport()
{
    CCritSecsLock lock(*this);
    return m_tsExport;
}

bool CRecordCtx::IsOpen()
{
    CCritSecsLock lock(*this);
    return m_open;
}

bool CRecordCtx::Failed()
{
    CCritSecsLock lock(*this);
    return m_failed;
}

std::vector<std::string> CRecordCtx::ClipNames()
{
    CCritSecsLock lock(*this);
    return {m_names.begin(), m_names.end()};
}

std::int64_t CRecordCtx::WrittenUpTo()
{
    CCritSecsLock lock(*this);
    return m_writtenUpTo;
}

void CRecordCtx::SetSplitBytes(std::uint64_t bytes)
{
    CCritSecsLock lock(*this);
    m_splitBytes = bytes;
}

bool CRecordCtx::TsMode() const
{
    return m_tsExport;
}

std::int64_t CRecordCtx::TimeZone() const
{
    return m_engine != nullptr ? m_engine->m_timeZone.load(kRelaxed) : 0;
}

std::size_t CRecordCtx::ExtensionLength(std::string_view name)
{
    for (std::string_view ext : {".avi", ".ts", ".sd"}) {
        if (HasExtension(name, ext))
            return ext.size();
    }
    return 0;
}

std::string CRecordCtx::ClipBase(std::string name)
{
    // The chosen name less its extension; a name without one is kept whole.
    const std::size_t ext = ExtensionLength(name);
    if (ext > 0 && name.size() > ext)
        name.resize(name.size() - ext);
    return name;
}

std::string CRecordCtx::BaseName() const
{
    std::string base = ClipBase(m_engine != nullptr ? m_engine->m_recordName : std::string());
    if (m_clipCounter != 0)
        base += Format(" (%d)", m_clipCounter + 1);
    return base;
}

bool CRecordCtx::IsSourceFile(CJtvCtrl& engine, const std::string& path)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    if (path.empty() || !fs::exists(path, ec))
        return false;
    // The same file however it is named: links, relative parts and other spellings.
    std::vector<std::string> files = engine.m_sourceBox.Paths();
    files.push_back(engine.m_fileName);
    for (const std::string& file : files) {
        if (!file.empty() && fs::equivalent(path, file, ec))
            return true;
    }
    return false;
}

bool CRecordCtx::WritesOverSource(CJtvCtrl& engine, std::string_view output)
{
    // The clip's names as the recording name is made of the output: less ".avi", less its
    // extension.
    std::string name(output);
    if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".avi") == 0)
        name.resize(name.size() - 4);
    const std::string base = ClipBase(name);
    const bool ts = engine.m_valueD.load(kRelaxed) != 0;
    const std::vector<std::string> exts = ts ? std::vector<std::string>{".ts", ".txt", ".srt", ".csv"}
                                             : std::vector<std::string>{".avi", ".srt", ".csv"};
    for (const std::string& ext : exts) {
        if (IsSourceFile(engine, base + ext))
            return true;
    }
    return false;
}

bool CRecordCtx::NamesAFile(std::string_view output)
{
    // The file part as the recording name is made of the output (less ".avi"), less the
    // extension a clip's base or a backup drops: nothing left, or only a folder's name, would
    // write hidden files such as "folder/.ts", "./.sd" or ".ts.ts".
    std::string_view name = output;
    if (name.ends_with(".avi"))
        name.remove_suffix(4);
    const std::size_t slash = name.find_last_of("/\\");
    std::string_view file = name.substr(slash == std::string_view::npos ? 0 : slash + 1);
    file.remove_suffix(ExtensionLength(file));
    return !file.empty() && file != "." && file != "..";
}

bool CRecordCtx::OpenLocked(const ExportFrame* first)
{
    if (m_engine == nullptr || m_engine->m_recordName.empty() || m_stopped)
        return false;
    const std::string base = BaseName();
    const bool ts = TsMode();
    int width = kDefaultWidth, height = kDefaultHeight;
    // Only the AVI header needs the picture size.
    if (!ts && first != nullptr && !first->xvid) {
        PictureSize(first->data, first->size, &width, &height);
    } else if (first != nullptr && first->xvid && first->width > 0 && first->height > 0) {
        width = first->width;
        height = first->height;
    }
    const int fps = first != nullptr && first->fps > 0 ? first->fps : 30;
    // Each clip's pictures are its own kind: re-encoded or the recording's.
    m_xvid = first != nullptr && first->xvid;
    if (ts) {
        if (first != nullptr && first->xvid)
            return false;  // a TS clip declares H.264
        if (!m_ts.Open(base + ".ts")) {
            m_failed = true;
            return false;
        }
        m_txt = std::fopen((base + ".txt").c_str(), "wb");
        if (m_txt == nullptr) {
            m_ts.Close();
            std::remove((base + ".ts").c_str());
            m_failed = true;
            return false;
        }
    } else {
        m_avi.SetXvid(m_xvid);
        if (!m_avi.Create(base + ".avi", width, height, fps)) {
            m_failed = true;
            return false;
        }
    }
    m_tsMode = ts;
    m_base = base;
    m_names.push_back(base);
    m_open = true;
    m_videoBytes = 0;
    m_frames = 0;
    m_firstTime = m_lastTime = first != nullptr ? first->time : 0;
    m_firstPts = first != nullptr ? first->pts : kNoExportPts;
    m_soundStarted = false;
    m_anchorPending = false;
    m_skipSamples = 0;
    if (m_xvid && !m_heldSound.empty()) {
        // A clip split from the last one goes on with the sound that one held past its end.
        m_avi.SetAudioStart(0);
        m_soundStarted = true;
    } else {
        m_heldSound.clear();
    }
    // Recordings whose pictures are still to come keep their sound across a split.
    if (!m_xvid)
        m_nextSound.clear();
    m_sideFilesFailed = false;
    m_subtitle = 0;
    m_subtitleTime = 0;
    m_obd.clear();
    m_engine->PostNotify(WM_JTV_EXPORTBEGIN, reinterpret_cast<LPARAM>(MessageText(base)));
    return true;
}

void CRecordCtx::WriteFailed()
{
    m_failed = true;
    m_stopped = true;
    m_videoStarted = false;
    m_reopen = false;
    if (m_engine != nullptr)
        m_engine->m_recording.store(0, kRelaxed);
}

bool CRecordCtx::WriteVideo(const ExportFrame& f)
{
    CCritSecsLock lock(*this);
    if (f.data == nullptr && f.size > 0)
        return false;
    // Past the split size the clip goes on up to the next key frame, so no picture is lost.
    const bool split = m_open && m_reopen && f.key && f.mayStart;
    if (!m_videoStarted || split) {
        if (!f.key || !f.mayStart)
            return true;  // a clip starts with a key frame
        if (m_open && (m_reopen || m_xvid != f.xvid))
            CloseLocked();
        m_reopen = false;
        // Re-encoded pictures trail the sound read meanwhile: their time stamps place none of it.
        ExportFrame first = f;
        if (f.xvid)
            first.pts = kNoExportPts;
        if (!m_open && !OpenLocked(&first))
            return false;
        m_videoStarted = true;
    }
    if (f.xvid != m_xvid || (m_tsMode && f.xvid))
        return true;  // never two codecs in one clip
    // The first picture of a recording read after the last one; one later than its calendar
    // second stands in when that one was not written.
    while (f.xvid && !m_nextSound.empty() && f.time > 0 &&
           ((f.pts == m_nextSound.front().picturePts && f.time == m_nextSound.front().pictureTime) ||
            f.time > m_nextSound.front().pictureTime))
        PlaceNextRecordingSound(f);
    if (!m_tsMode && f.newFile && f.pts != kNoExportPts && m_soundStarted) {
        // A recording's sound may run a little longer or shorter than its pictures: the next
        // one's sound is placed beside its own first picture, not after the last one's sound.
        m_anchorPending = true;
        m_anchorPts = f.pts;
        m_anchorAt = m_avi.PicturesEnd();
    }
    bool ok;
    if (m_tsMode) {
        m_ts.SetTime(f.time);
        ok = m_ts.WriteVideo(f.data, f.size, f.fps > 0 ? f.fps : 30);
    } else {
        ok = f.size <= 0x7FFFFFFF && m_avi.WriteVideo(f.data, static_cast<long>(f.size), f.key);
    }
    m_lastTime = f.time;
    if (!ok) {
        WriteFailed();
        CloseLocked();
        return false;
    }
    m_videoBytes += f.size;
    if (!f.key || f.size > 128)
        ++m_frames;
    // Frame times are whole seconds: a picture's place within its second comes from its count.
    if (f.time != m_writtenSecond) {
        m_writtenSecond = f.time;
        m_writtenInSecond = 0;
    }
    const int fps = f.fps > 0 ? f.fps : 30;
    m_writtenInSecond = std::min(m_writtenInSecond + 1, fps);
    m_writtenUpTo = std::max(m_writtenUpTo, f.time * 1000 + m_writtenInSecond * 1000 / fps);
    if (!m_tsMode && !WriteHeldSound())
        return false;
    if (!m_tsMode && m_videoBytes > m_splitBytes)
        m_reopen = true;
    return true;
}

bool CRecordCtx::OpenForPictures(const ExportFrame& f)
{
    CCritSecsLock lock(*this);
    if (m_open && m_videoStarted && m_xvid)
        return true;
    if (f.data == nullptr || f.size == 0 || !f.key || !f.mayStart || f.xvid || TsMode())
        return true;
    if (m_open)
        CloseLocked();
    ExportFrame first = f;
    first.xvid = true;
    PictureSize(f.data, f.size, &first.width, &first.height);
    if (!OpenLocked(&first))
        return false;
    m_reopen = false;
    m_videoStarted = true;
    return true;
}

bool CRecordCtx::WriteAudio(const void* pcm, std::size_t bytes, std::int64_t pts, std::int64_t time)
{
    CCritSecsLock lock(*this);
    if (!m_open || !m_videoStarted || m_tsMode || bytes == 0)
        return true;
    // The clip's last packet time, which its timing over a long span is measured to.
    if (time > 0)
        m_lastTime = time;
    const auto* samples = static_cast<const std::uint8_t*>(pcm);
    if (m_xvid && !m_nextSound.empty()) {
        // Of a recording whose pictures are still to come: placed when its first one is written.
        NextSound& next = m_nextSound.back();
        if (next.samples.empty() && next.pts == kNoExportPts)
            next.pts = pts;
        next.samples.insert(next.samples.end(), samples, samples + bytes);
        return true;
    }
    if (m_anchorPending && pts != kNoExportPts) {
        m_anchorPending = false;
        const std::int64_t shift = AnchorShift(m_anchorAt, m_anchorPts, pts, m_avi.SoundEnd());
        if (shift > 0) {
            const std::vector<std::uint8_t> silence(static_cast<std::size_t>(shift) * 2, 0);
            if (!m_avi.WriteAudio(silence.data(), static_cast<long>(silence.size()))) {
                WriteFailed();
                CloseLocked();
                return false;
            }
        } else if (shift < 0) {
            m_skipSamples = -shift;
        }
    }
    if (m_skipSamples > 0) {
        const std::size_t skip = std::min(bytes / 2, static_cast<std::size_t>(m_skipSamples));
        m_skipSamples -= static_cast<std::int64_t>(skip);
        samples += skip * 2;
        bytes -= skip * 2;
        if (bytes == 0)
            return true;
    }
    if (!m_soundStarted && pts != kNoExportPts && m_firstPts != kNoExportPts &&
        std::llabs(pts - m_firstPts) < kPlacedSoundSpan) {
        // The sound's own time places it beside the pictures; sound from before the clip's
        // first picture is no part of the clip.
        std::int64_t at = std::llround(static_cast<double>(pts - m_firstPts) * CAviFile::kAudioRate / 1e6);
        if (at < 0) {
            const std::size_t skip = std::min(bytes, static_cast<std::size_t>(-at) * 2);
            samples += skip;
            bytes -= skip;
            at = 0;
            if (bytes == 0)
                return true;
        }
        m_avi.SetAudioStart(static_cast<std::int32_t>(at));
    } else if (!m_soundStarted && m_xvid) {
        // Held back, it still begins at the picture being written now.
        m_avi.SetAudioStart(static_cast<std::int32_t>(m_avi.PicturesEnd()));
    }
    m_soundStarted = true;
    if (m_xvid) {
        m_heldSound.insert(m_heldSound.end(), samples, samples + bytes);
        return WriteHeldSound();
    }
    if (bytes > 0x7FFFFFFF || !m_avi.WriteAudio(samples, static_cast<long>(bytes))) {
        WriteFailed();
        CloseLocked();
        return false;
    }
    return true;
}

std::int64_t CRecordCtx::AnchorShift(std::int64_t anchorAt, std::int64_t anchorPts, std::int64_t pts,
                                     std::int64_t soundEnd)
{
    const std::int64_t target =
        anchorAt + std::llround(static_cast<double>(pts - anchorPts) * CAviFile::kAudioRate / 1e6);
    const std::int64_t shift = target - soundEnd;
    constexpr std::int64_t kLargestShift = 10 * CAviFile::kAudioRate;
    return shift >= -kLargestShift && shift <= kLargestShift ? shift : 0;
}

void CRecordCtx::NextRecordingBegins(std::int64_t pts, std::int64_t time)
{
    CCritSecsLock lock(*this);
    if (!m_open || !m_xvid || m_tsMode || pts == kNoExportPts || time <= 0)
        return;
    NextSound next;
    next.picturePts = pts;
    next.pictureTime = time;
    m_nextSound.push_back(std::move(next));
}

void CRecordCtx::PlaceNextRecordingSound(const ExportFrame& f)
{
    NextSound next = std::move(m_nextSound.front());
    m_nextSound.pop_front();
    if (next.samples.empty())
        return;
    // The held sound runs on without gaps: the last recording's as far as it goes, then this
    // one's from where the time stamps put it beside this picture (after silence, or without
    // its beginning where the last one's ran long).
    const std::int64_t at = m_avi.PicturesEnd();
    const auto held = static_cast<std::int64_t>(m_heldSound.size() / 2);
    std::size_t skip = 0;
    if (!m_soundStarted) {
        const std::int64_t target = next.pts == kNoExportPts ? at : at + AnchorShift(0, f.pts, next.pts, 0);
        m_avi.SetAudioStart(static_cast<std::int32_t>(std::max<std::int64_t>(0, target)));
        m_soundStarted = true;
    } else if (next.pts != kNoExportPts) {
        const std::int64_t shift = AnchorShift(at, f.pts, next.pts, m_avi.SoundEnd() + held);
        if (shift > 0)
            m_heldSound.insert(m_heldSound.end(), static_cast<std::size_t>(shift) * 2, 0);
        else
            skip = std::min(next.samples.size(), static_cast<std::size_t>(-shift) * 2);
    }
    m_heldSound.insert(m_heldSound.end(), next.samples.begin() + static_cast<std::ptrdiff_t>(skip), next.samples.end());
}

bool CRecordCtx::WriteHeldSound()
{
    const auto room = static_cast<std::size_t>(std::min<std::int64_t>(m_avi.SoundRoom() * 2, 0x7FFFFFFE));
    const std::size_t bytes = std::min(room, m_heldSound.size()) & ~std::size_t{1};
    if (bytes == 0)
        return true;
    if (!m_avi.WriteAudio(m_heldSound.data(), static_cast<long>(bytes))) {
        WriteFailed();
        CloseLocked();
        return false;
    }
    m_heldSound.erase(m_heldSound.begin(), m_heldSound.begin() + static_cast<std::ptrdiff_t>(bytes));
    return true;
}

bool CRecordCtx::WriteAdts(const void* data, std::size_t size)
{
    CCritSecsLock lock(*this);
    if (!m_open || !m_videoStarted || !m_tsMode || size == 0)
        return true;
    if (!m_ts.WriteAudio(data, size, 8000)) {
        WriteFailed();
        CloseLocked();
        return false;
    }
    return true;
}

bool CRecordCtx::WritePrivate(const char* text, std::size_t length, std::int64_t time)
{
    CCritSecsLock lock(*this);
    if (!m_open || !m_tsMode || text == nullptr)
        return true;
    if (!m_ts.WriteText(text, length)) {
        WriteFailed();
        CloseLocked();
        return false;
    }
    WriteGpsLines(text, length, time);
    return true;
}

bool CRecordCtx::Append(std::FILE* f, const std::string& text)
{
    if (f == nullptr)
        return false;
    if (std::fwrite(text.data(), 1, text.size(), f) != text.size()) {
        m_failed = true;
        return false;
    }
    return true;
}

void CRecordCtx::WriteGpsLines(const char* text, std::size_t length, std::int64_t time)
{
    if (m_txt == nullptr)
        return;
    // The text ends at its first NUL (the NMEA field is NUL-padded).
    const std::string_view s(text, strnlen(text, length));
    const std::tm tm = LocalTime(time + TimeZone());
    const std::string stamp = Format("%4d-%02d-%02d-%02d-%02d-%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                                     tm.tm_hour, tm.tm_min, tm.tm_sec);
    const std::size_t g1 = s.find("$G");
    if (g1 != std::string_view::npos) {
        const std::size_t g2 = s.find("$G", g1 + 2);
        for (auto [from, to] : {std::pair{g1, g2}, std::pair{g2, std::string_view::npos}}) {
            if (from == std::string_view::npos)
                continue;
            std::string_view sentence = s.substr(from, to == std::string_view::npos ? to : to - from);
            // Cut at the first blank, line ends included, so each sentence stays one line.
            const std::size_t blank = sentence.find_first_of(" \t\r\n");
            if (blank != std::string_view::npos)
                sentence = sentence.substr(0, blank);
            Append(m_txt, "0x47," + std::string(sentence) + "," + stamp + "\r\n");
        }
    }
    const std::size_t x = s.find("X:");
    if (x != std::string_view::npos) {
        // The sensor part runs to the sentences that follow it.
        const std::size_t g = s.find("$G", x);
        const std::size_t end = g == std::string_view::npos ? s.size() : std::max(x, g >= 2 ? g - 2 : 0);
        const std::string_view part = s.substr(x, end - x);
        const double vx = PrivateTextNumber(part, "X:");
        const double vy = PrivateTextNumber(part, "Y:");
        const double vz = PrivateTextNumber(part, "Z:");
        Append(m_txt, Format("0x41,%.6f,%.6f,%.6f,%s\r\n", vx * 2, vy * 2, vz * 2, stamp.c_str()));
    }
    std::fflush(m_txt);
}

bool CRecordCtx::WriteObd(const char* text, std::size_t length, std::int64_t time)
{
    CCritSecsLock lock(*this);
    ObdSample sample;
    sample.time = time;
    // Values come only with an open clip: before it there is no name to put them under.
    if (!m_open || !ParseObdHexText(text, length, 1, sample.v))
        return true;
    if (m_sideFilesFailed)
        return false;
    if (m_srt == nullptr) {
        // Both files or neither: one alone would be opened again for every later sample.
        const std::string srt = m_base + ".srt";
        m_srt = std::fopen(srt.c_str(), "wb");
        m_csv = m_srt != nullptr ? std::fopen((m_base + ".csv").c_str(), "wb") : nullptr;
        if (m_csv == nullptr) {
            if (m_srt != nullptr) {
                std::fclose(m_srt);
                std::remove(srt.c_str());
                m_srt = nullptr;
            }
            m_sideFilesFailed = true;
            m_failed = true;
            return false;
        }
        m_subtitle = 0;
        m_obd.clear();
        Append(m_csv,
               "\"Date\",\"Time\",\"Speed(Km/h)\",\"RPM\",\"Engine Loading(%)\",\"Battery Voltage(V)\","
               "\"Engine Temperature(C)\",\"Throttle Position(%s)\",\"Status\",\"DTC\",\"Cruise\",\"Clutch\","
               "\"Brake\",\"MAF\",\"Distance(Km)\",\"Average Fuel Economy(Km/L)\"\r\n");
    } else if (!m_obd.empty() && time != m_subtitleTime) {
        FlushSubtitles(time - m_subtitleTime);
    }
    ++m_subtitle;
    m_subtitleTime = time;
    m_obd.push_back(sample);

    const ObdValues& v = sample.v;
    const std::tm tm = LocalTime(time + TimeZone());
    char date[64];
    std::strftime(date, sizeof date, "\"%Y-%m-%d\",\"%H:%M:%S\",", &tm);
    const int f = v.flags;
    const char* cruise = (f & 0x02) ? ((f & 0x10) ? "Cruise Control ON" : "Cruise Control OFF") : "";
    const char* clutch = (f & 0x04) ? ((f & 0x20) ? "Clutch ON" : "Clutch OFF") : "";
    const char* brake = (f & 0x08) ? ((f & 0x40) ? "Brake ON" : "Brake OFF") : "";
    const bool ok = Append(m_csv, date + Format("\"%d\",\"%d\",\"%d\",\"%2.1f\",\"%d\",\"%d\",\"%s\",\"%s\",\"%s\",\"%s\","
                                                "\"%s\",\"%d\",\"%d\",\"%.1f\"\r\n",
                                                v.speed, v.rpm, v.engineLoad, v.batteryVoltage, v.engineTemperature,
                                                v.throttle, (f & 0x80) ? "Emergency Braking" : "Normal",
                                                (f & 0x01) ? "DTC ON" : "Normal", cruise, clutch, brake, v.maf,
                                                v.distance, v.fuelEconomy));
    return ok;
}

void CRecordCtx::FlushSubtitles(std::int64_t elapsed)
{
    if (m_srt == nullptr || m_obd.empty())
        return;
    const auto n = static_cast<std::int64_t>(m_obd.size());
    const std::int64_t span = std::clamp<std::int64_t>(elapsed, 1, 5);
    const std::int64_t step = (span * 1000 - 1) / n;
    std::int64_t start = std::max<std::int64_t>(0, (m_subtitleTime - m_firstTime) * 1000);
    const LONG unitIndex = m_engine != nullptr ? m_engine->m_speedUnit.load(kRelaxed) : 0;
    const SpeedUnit unit = kSpeedUnits[std::clamp<LONG>(unitIndex, 0, 2)];
    const bool fahrenheit = m_engine != nullptr && m_engine->m_temperatureUnit.load(kRelaxed) > 0;
    auto clock = [](std::int64_t ms) {
        return Format("%02lld:%02lld:%02lld,%03lld", static_cast<long long>(ms / 3600000),
                      static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60),
                      static_cast<long long>(ms % 1000));
    };
    for (std::int64_t i = 0; i < n; ++i) {
        const ObdValues& v = m_obd[static_cast<std::size_t>(i)].v;
        std::string cue = Format("%lld\r\n", static_cast<long long>(m_subtitle - n + i + 1)) + clock(start) + " --> ";
        start += step;
        cue += clock(start) + "\r\n";
        const int temperature = fahrenheit ? v.engineTemperature * 9 / 5 + 32 : v.engineTemperature;
        cue += Format("Speed: %3.1f %s       RPM: %d\r\nEngine Loading: %2d%%    Battery Voltage: %2.1f V\r\n"
                      "Engine Temperature: %2d %c\r\nThrottle Position: %2d%%\t%s\r\n\r\n",
                      v.speed * unit.factor, unit.name, v.rpm, v.engineLoad, v.batteryVoltage, temperature,
                      fahrenheit ? 'F' : 'C', v.throttle, (v.flags & 0x80) ? "Emergency Braking" : "");
        if (!Append(m_srt, cue))
            break;
    }
    m_obd.clear();
}

bool CRecordCtx::Close()
{
    CCritSecsLock lock(*this);
    // Sound beyond the last picture is no part of the clip.
    m_heldSound.clear();
    m_nextSound.clear();
    return CloseLocked();
}

bool CRecordCtx::CloseLocked()
{
    bool ok = true;
    if (m_open) {
        if (!m_tsMode) {
            ok = m_avi.Close();
            const std::string path = m_base + ".avi";
            const std::int64_t span = m_lastTime - m_firstTime;
            if (ok && m_frames > 0 && span >= kTimingFixSpan) {
                // Header timing from the clip's real span, for clips long enough to measure it.
                if (std::FILE* f = std::fopen(path.c_str(), "r+b")) {
                    const auto usPerFrame = static_cast<std::uint32_t>(span * 1000000 / m_frames);
                    const auto rate = static_cast<std::uint32_t>(m_frames * 1000 / span);
                    ok = PatchWord(f, 32, usPerFrame) && PatchWord(f, 132, rate);
                    ok = std::fclose(f) == 0 && ok;
                }
            }
            if (m_videoBytes <= kEmptyClipBytes) {
                // No clip: its name goes too, so an export of nothing is no success.
                std::remove(path.c_str());
                if (!m_names.empty() && m_names.back() == m_base)
                    m_names.pop_back();
            } else {
                ++m_clipCounter;
            }
        }
        m_engine->PostNotify(WM_JTV_EXPORTEND, reinterpret_cast<LPARAM>(MessageText(m_base)));
    }
    if (m_srt != nullptr) {
        if (!m_obd.empty())
            FlushSubtitles(1);
        if (std::fclose(m_srt) != 0)
            m_failed = true;
        m_srt = nullptr;
    }
    m_subtitle = 0;
    m_subtitleTime = 0;
    m_obd.clear();
    if (m_csv != nullptr && std::fclose(m_csv) != 0)
        m_failed = true;
    m_csv = nullptr;
    if (m_ts.IsOpen() && !m_ts.Close())
        ok = false;
    if (m_txt != nullptr && std::fclose(m_txt) != 0)
        m_failed = true;
    m_txt = nullptr;
    if (!ok) {
        m_failed = true;
        if (m_engine != nullptr)
            m_engine->m_recording.store(0, kRelaxed);
    }
    m_open = false;
    m_videoStarted = false;
    m_firstTime = m_lastTime = 0;
    m_videoBytes = 0;
    m_frames = 0;
    return ok;
}
