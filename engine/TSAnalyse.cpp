#include "engine/TSAnalyse.h"

#include "engine/EngineMessages.h"
#include "engine/JtvCtrl.h"
#include "engine/PrivateData.h"
#include "engine/RecordCtx.h"
#include "engine/SourceBoxCtx.h"
#include "engine/TSChn.h"
#include "platform/base/clock.h"
#include "platform/base/file.h"
#include "platform/base/sync.h"

#include <algorithm>
#include <cmath>
#include <cstring>

double ExportProgress(const ExportProgressState& s)
{
    if (s.failed)
        return -1.0;
    if (s.finished)
        return 1000.0;
    if (!s.running || s.rangeEnd <= s.rangeStart)
        return 0.0;
    const double r = static_cast<double>(s.writtenUpTo - s.rangeStart * 1000) /
                     static_cast<double>((s.rangeEnd - s.rangeStart) * 1000);
    // The end of the range is 990: 1000 waits for the clip to be closed.
    return std::clamp(r, 0.0, 1.0) * 990.0;
}

namespace {

constexpr std::size_t kWorkBytes = 9500;
constexpr std::size_t kPesPadding = 64;          // zeroed tail a decoder may read past the end
constexpr std::size_t kClassifyLimit = 0x10000;  // key-frame test on a partial PES up to here
constexpr std::int64_t kPesReadLimit = 0x400000; // file bytes walked to collect one PES
constexpr int kPushedRing = 4096;

bool HeaderTime(const std::uint8_t* b, std::time_t& out)
{
    if (b[1] > 11 || b[2] < 1 || b[2] > 31 || b[3] > 23 || b[4] > 59 || b[5] > 60)
        return false;
    std::tm tm{};
    tm.tm_year = b[0];
    tm.tm_mon = b[1];
    tm.tm_mday = b[2];
    tm.tm_hour = b[3];
    tm.tm_min = b[4];
    tm.tm_sec = b[5];
    tm.tm_isdst = -1;
    out = std::mktime(&tm);
    return out != static_cast<std::time_t>(-1);
}

}  // namespace

RecordingTimes ReadRecordingTimes(const std::uint8_t* head, std::size_t length)
{
    RecordingTimes t;
    // The header sits in the stuffing of a table packet at the very start; anything else
    // there (a third-party file starting with video) is stream data, not a header.
    if (length < 83 || head[0] != ts::kSync || (((head[1] & 0x1F) << 8) | head[2]) >= 0x20)
        return t;
    if (head[82] >= 1 && head[82] <= 120)
        t.frameRate = head[82];
    std::time_t start = 0, end = 0;
    if (HeaderTime(head + 50, start)) {
        t.start = start;
        if (HeaderTime(head + 66, end) && end > start)
            t.duration = static_cast<int>(std::min<std::time_t>(end - start, 0x7FFFFFFF));
    }
    return t;
}

void CTSAnalyse::PesBuffer::Append(const std::uint8_t* p, std::size_t n)
{
    if (broken)
        return;
    if (n > kPesBytes - length) {
        broken = true;  // a PES the buffer cannot hold is dropped whole
        return;
    }
    std::memcpy(data.data() + length, p, n);
    length += n;
}

CTSAnalyse::CTSAnalyse(CTSChn* channel)
    : m_channel(channel), m_work(kWorkBytes), m_record(MakeCarInfoRecord()), m_pushed(kPushedRing)
{
    // Allocated once for the object's life, so a second Start never meets freed buffers.
    for (PesBuffer* b : {&m_videoPes, &m_audioPes, &m_privatePes})
        b->data.assign(kPesBytes + kPesPadding, 0);
    m_scratch.reserve(kPesBytes + kPesPadding);
}

CTSAnalyse::~CTSAnalyse()
{
    Stop(INFINITE);
}

void CTSAnalyse::SetQueues(CVBuffer2* video, CABuffer2* audio)
{
    m_video = video;
    m_audio = audio;
}

bool CTSAnalyse::Play(const std::string& name)
{
    {
        CCritSecsLock lock(m_lock);
        m_name = name;
    }
    return Start();
}

std::string CTSAnalyse::SourceName()
{
    CCritSecsLock lock(m_lock);
    return m_name;
}

bool CTSAnalyse::Start()
{
    StopReading(INFINITE);
    if (m_video == nullptr || m_audio == nullptr)
        return false;
    m_pmtKnown.store(false, std::memory_order_relaxed);
    m_pmtPid = ts::kNoPid;
    m_pids = ts::StreamPids{};
    m_fps.store(30, std::memory_order_relaxed);
    m_fpsMeasured.store(false, std::memory_order_relaxed);
    m_keyInterval.store(1, std::memory_order_relaxed);
    m_endSent.store(false, std::memory_order_relaxed);
    m_directionRequest.store(-1, std::memory_order_relaxed);
    m_seekRequest.store(kNoRequest, std::memory_order_relaxed);
    m_fileStepRequest.store(0, std::memory_order_relaxed);
    m_timeRequest.store(false, std::memory_order_relaxed);
    m_requestsTaken.store(m_requests.load(std::memory_order_relaxed), std::memory_order_release);
    {
        CCritSecsLock lock(m_placeLock);
        m_backPlace = Place{};
        m_resumePlace = Place{};
        m_turnPlace = Place{};
    }
    m_record = MakeCarInfoRecord();
    m_pushedCount = 0;
    m_dir = m_direction.load(std::memory_order_relaxed);
    // A file that cannot be opened still starts the thread, which then waits for requests.
    int index = m_fileIndexRequest.exchange(-1, std::memory_order_relaxed);
    if (index < 0)
        index = NumberOfFiles() > 0 ? std::max(0, m_fileIndex.load(std::memory_order_relaxed)) : 0;
    Close();
    if (ExportMode()) {
        m_exportInRange = false;
        m_exportDone = false;
        m_exportMissed = false;
        m_exportTime = 0;
        m_held = HeldRange{};
        m_exportAudio.Reset();
        // The clip's kind and switches are those it starts with, whatever is set meanwhile.
        const CJtvCtrl* e = m_channel != nullptr ? m_channel->Owner() : nullptr;
        m_exportShow = e != nullptr && (e->m_valueB.load(std::memory_order_relaxed) != 0 || Converting());
        m_exportSound = e != nullptr && e->m_enableAudio[0].load(std::memory_order_relaxed) != 0;
        if (CRecordCtx* ctx = ExportContext())
            ctx->BeginExport();
        // An entry chosen inside the range is read from the range's start: from the first of
        // the recordings before it that hold a part of the range.
        if (MayHoldRange(index)) {
            while (index > 0 && RangeInEntry(index - 1) == 1)
                --index;
        }
        // An export reads on from the first of its files that can still be opened.
        for (const int files = std::max(1, NumberOfFiles()); index < files && !OpenIndex(index, m_dir); ++index) {
            if (MayHoldRange(index))
                m_exportMissed = true;
        }
    } else {
        OpenIndex(index, m_dir);
    }
    if (ExportMode()) {
        ExportProgressState p;
        p.running = true;
        p.rangeStart = m_exportStart;
        p.rangeEnd = m_exportEnd;
        SetExportState(p);
    }
    return CMyThread::Start();
}

void CTSAnalyse::StartExport(int file, std::int64_t start, std::int64_t end)
{
    Stop(INFINITE);
    if (CRecordCtx* ctx = ExportContext())
        ctx->Close();
    if (file < 0)
        file = m_exportFile;  // the entry last chosen as the export source
    m_exportFile = file;
    m_deferredSound.clear();
    m_exportStart = start;
    m_exportEnd = end;
    m_exportMode.store(true, std::memory_order_relaxed);
    m_direction.store(0, std::memory_order_relaxed);
    {
        CCritSecsLock lock(m_placeLock);
        m_backPlace = Place{};
    }
    if (file >= 0)
        m_fileIndexRequest.store(file, std::memory_order_release);
}

CRecordCtx* CTSAnalyse::ExportContext() const
{
    return m_channel != nullptr ? m_channel->ExportCtx() : nullptr;
}

bool CTSAnalyse::ShowWhileExporting() const
{
    // Re-encoded pictures come from the video thread, which must get the frames.
    return m_exportShow;
}

bool CTSAnalyse::Converting() const
{
    CJtvCtrl* e = m_channel != nullptr ? m_channel->Owner() : nullptr;
    return e != nullptr && e->m_sourceBox.ConversionActive(0);
}

void CTSAnalyse::WaitForConvertedPictures()
{
    // The video thread trails the reading by its queue: its pictures of the range belong in
    // the clip before it closes.
    CVideoCtx& video = m_channel->VideoCtx();
    if (!video.HasThread())
        return;
    const LONG ticket = video.RequestDrain();
    while (IsRunning() && video.IsThreadAlive() && video.IsRunning() && !video.Drained(ticket)) {
        // The video thread may be waiting for answers meanwhile: with the range read, nothing
        // asked now moves the export (its reading is never moved), so each is answered as is.
        m_requestsTaken.store(m_requests.load(std::memory_order_acquire), std::memory_order_release);
        Sleep(5);
    }
}

bool CTSAnalyse::ExportVideo(const std::uint8_t* data, std::size_t size, bool key, std::int64_t time,
                             std::int64_t shownTime)
{
    if (m_exportDone || time < m_exportStart)
        return false;
    if (time >= m_exportEnd) {
        m_exportDone = true;
        return false;
    }
    m_exportInRange = true;
    m_exportTime = time;
    if (CRecordCtx* ctx = ExportContext()) {
        ExportFrame f;
        f.data = data;
        f.size = size;
        f.fps = m_fps.load(std::memory_order_relaxed);
        f.key = key;
        f.mayStart = true;
        f.time = time;
        f.pts = m_lastPtsUs;  // this picture's, read just before
        f.newFile = m_exportNewFile;
        m_exportNewFile = false;
        // A conversion writes the video thread's re-encoded pictures, never these frames; its
        // clip opens here so that the sound of the range is kept from the first key frame. The
        // sound of each later recording waits for that recording's first picture, which the
        // video thread knows by its time stamp and second.
        if (!Converting()) {
            ctx->WriteVideo(f);
        } else if (!ctx->IsOpen()) {
            if (key)
                ctx->OpenForPictures(f);
        } else if (f.newFile) {
            ctx->NextRecordingBegins(f.pts, shownTime);
        }
        FlushDeferredTexts();
    }
    return true;
}

void CTSAnalyse::ExportAudio(const std::uint8_t* data, std::size_t size)
{
    CRecordCtx* ctx = ExportContext();
    const CJtvCtrl* e = m_channel != nullptr ? m_channel->Owner() : nullptr;
    if (ctx == nullptr || e == nullptr || m_exportDone || !m_exportSound)
        return;
    const bool open = m_exportInRange && ctx->IsOpen();
    // A TS clip carries the recording's own AAC; an AVI clip takes it as PCM.
    if (ctx->TsExport()) {
        if (open)
            ctx->WriteAdts(data, size);
        return;
    }
    // The sound's time stamp, from the header of the PES it came in.
    ts::PesHeader ph;
    std::int64_t pts = kNoExportPts;
    if (ts::ParsePes(m_audioPes.data.data(), m_audioPes.length, ph) && ph.ptsDtsFlags >= 2)
        pts = static_cast<std::int64_t>(ts::Ticks32(ph.pts) * 11.1111);
    if (!open) {
        // Sound muxed ahead of the picture that opens the clip waits for it; its time stamps
        // then place it, and what lies before that picture is cut.
        constexpr std::size_t kWaitingSound = 4;
        constexpr std::int64_t kSoundGapUs = 1000000;
        if (pts == kNoExportPts)
            return;
        const std::int64_t gap = m_deferredSound.empty() ? 0 : pts - m_deferredSound.back().time;
        if (gap > kSoundGapUs || gap < -kSoundGapUs)
            m_deferredSound.clear();
        m_deferredSound.push_back(DeferredText{pts, std::vector<std::uint8_t>(data, data + size)});
        if (m_deferredSound.size() > kWaitingSound)
            m_deferredSound.erase(m_deferredSound.begin());
        // A range held for its first key frame keeps all of its sound meanwhile.
        if (m_held.range > 0)
            m_held.sound.push_back(m_deferredSound.back());
        return;
    }
    for (const DeferredText& s : m_deferredSound)
        WriteExportSound(s.text.data(), s.text.size(), s.time);
    m_deferredSound.clear();
    WriteExportSound(data, size, pts);
}

void CTSAnalyse::WriteExportSound(const std::uint8_t* data, std::size_t size, std::int64_t pts)
{
    CRecordCtx* ctx = ExportContext();
    // Its calendar second, as a picture's is taken from its time stamp.
    const std::int64_t second = pts != kNoExportPts ? pts / 1000000 + m_times.start : m_exportTime;
    if (ctx != nullptr && m_exportAudio.Decode(data, size, m_exportPcm) && !m_exportPcm.empty())
        ctx->WriteAudio(m_exportPcm.data(), m_exportPcm.size() * sizeof(std::int16_t), pts, second);
}

bool CTSAnalyse::HoldForRange(bool inRange, const std::uint8_t* body, std::size_t size, int type, std::int64_t time,
                              std::int64_t shownTime, std::int64_t offset)
{
    // A group this large is not held: a range inside it gets no clip, as a copied one.
    constexpr std::size_t kHeldBytes = 64u << 20;
    if (m_held.over || !Converting())
        return false;
    const bool key = type == ts::kFrameKey;
    CRecordCtx* ctx = ExportContext();
    if (inRange && (key || ctx == nullptr || ctx->IsOpen() || m_held.frames.empty())) {
        m_held = HeldRange{};
        m_held.over = true;
        return false;
    }
    if (!inRange) {
        if (m_exportDone)
            return false;
        if (key) {
            m_held.frames.clear();
            m_held.bytes = 0;
        } else if (m_held.frames.empty()) {
            return false;
        }
    } else if (m_held.range++ == 0) {
        // The sound waiting for the range's first picture.
        m_held.sound = m_deferredSound;
    }
    m_held.bytes += size;
    if (m_held.bytes > kHeldBytes) {
        const bool over = inRange;
        m_held = HeldRange{};
        m_held.over = over;
        return false;
    }
    m_held.frames.push_back(HeldFrame{std::vector<std::uint8_t>(body, body + size), type, time, shownTime,
                                      m_lastPtsUs, offset, PositionOf(offset)});
    return inRange;
}

void CTSAnalyse::QueueHeldRange()
{
    HeldRange held = std::move(m_held);
    m_held = HeldRange{};
    CRecordCtx* ctx = ExportContext();
    CJtvCtrl* e = m_channel != nullptr ? m_channel->Owner() : nullptr;
    if (held.over || held.range == 0 || ctx == nullptr || e == nullptr ||
        e->m_recording.load(std::memory_order_relaxed) == 0)
        return;
    const HeldFrame& first = held.frames[held.frames.size() - held.range];
    // The pictures before the range's first are decoded only, for the ones after them.
    e->m_sourceBox.SetConversionStart(0, first.pts);
    ExportFrame f;
    f.data = held.frames.front().body.data();  // the group's key frame tells the picture size
    f.size = held.frames.front().body.size();
    f.fps = m_fps.load(std::memory_order_relaxed);
    f.key = true;
    f.time = first.time;
    f.pts = first.pts;
    if (!ctx->OpenForPictures(f))
        return;
    for (const DeferredText& s : held.sound)
        WriteExportSound(s.text.data(), s.text.size(), s.time);
    // Nothing asked for now moves the export: each request is answered here as it is, not
    // carried out by the push that waits.
    struct Answering {
        bool& flag;
        explicit Answering(bool& f) : flag(f) { flag = true; }
        ~Answering() { flag = false; }
    } answering(m_answering);
    for (const HeldFrame& h : held.frames) {
        while (!QueueVideo(h.body.data(), h.body.size(), h.type, false, static_cast<std::int32_t>(h.shownTime),
                           h.position, h.pts, h.offset)) {
            if (!IsRunning() || m_video->IsWoken())
                return;
            if (!m_video->Interrupted())
                break;  // too large for the queue: left out, as when read
            m_requestsTaken.store(m_requests.load(std::memory_order_acquire), std::memory_order_release);
            m_video->ClearInterrupt();
        }
    }
}

void CTSAnalyse::ExportPrivate(const std::uint8_t* data, std::size_t size, std::int64_t time)
{
    CRecordCtx* ctx = ExportContext();
    const CJtvCtrl* e = m_channel != nullptr ? m_channel->Owner() : nullptr;
    if (ctx == nullptr || e == nullptr || m_exportDone || time < m_exportStart || time >= m_exportEnd ||
        !ctx->TsExport())
        return;
    // A text may come just before the key frame that opens the clip: it waits for the clip.
    if (!ctx->IsOpen()) {
        if (m_deferredExport.size() < 256)
            m_deferredExport.push_back(DeferredText{time, std::vector<std::uint8_t>(data, data + size)});
        return;
    }
    ctx->WritePrivate(reinterpret_cast<const char*>(data), size, time);
}

void CTSAnalyse::FlushDeferredTexts()
{
    CRecordCtx* ctx = ExportContext();
    if (ctx == nullptr || !ctx->IsOpen())
        return;
    for (const DeferredText& t : m_deferredExport)
        ctx->WritePrivate(reinterpret_cast<const char*>(t.text.data()), t.text.size(), t.time);
    m_deferredExport.clear();
}

void CTSAnalyse::FinishExport()
{
    CRecordCtx* ctx = ExportContext();
    bool ok = ctx != nullptr;
    const bool converting = Converting();
    CSourceBoxCtx::ConversionCount converted;
    if (converting) {
        QueueHeldRange();
        WaitForConvertedPictures();
        // No picture may reach the clip once it is closed.
        converted = m_channel->Owner()->m_sourceBox.SetExportContext(0, nullptr);
    }
    if (ctx != nullptr) {
        ok = ctx->Close();
        // Nothing written is no export either, nor a clip without pictures that the encoder
        // could not take (too large, or an encoder error).
        ok = ok && !ctx->Failed() && !ctx->ClipNames().empty() &&
             (!converting || (converted.exported > 0 && converted.refused == 0));
        // A clip without a part of its range that a listed recording held is not whole.
        ok = ok && !m_exportMissed;
    }
    m_exportMode.store(false, std::memory_order_relaxed);
    {
        CCritSecsLock lock(m_lock);
        m_export.running = false;
        m_export.finished = ok;
        m_export.failed = !ok;
    }
    RequestStop();
    if (m_channel != nullptr && m_channel->Owner() != nullptr)
        m_channel->Owner()->PostNotify(WM_JTV_PLAYEND, -1);
}

void CTSAnalyse::Stop(DWORD timeout_ms)
{
    // Stopping ends the export, also one set up for a thread that never started: nothing
    // would refuse the controls of play or start the next play as an export otherwise.
    if (ExportMode()) {
        m_exportMode.store(false, std::memory_order_relaxed);
        CCritSecsLock lock(m_lock);
        m_export.running = false;
    }
    StopReading(timeout_ms);
}

void CTSAnalyse::StopReading(DWORD timeout_ms)
{
    RequestStop();
    // A producer blocked on a full queue must see the stop.
    if (HasThread()) {
        if (m_video != nullptr)
            m_video->Wake();
        if (m_audio != nullptr)
            m_audio->Wake();
    }
    CMyThread::Stop(timeout_ms);
    if (!HasThread())
        Close();
}

// ---------------------------------------------------------------------------------------------
// Requests from the caller's thread

int CTSAnalyse::SetDirection(int direction)
{
    if (direction != 0 && direction != 1)
        return -1;
    if (!HasThread() || !IsThreadAlive()) {
        m_direction.store(direction, std::memory_order_relaxed);
        m_dir = direction;
        return direction;
    }
    // Taken before the tables are known too: backward reading learns them from the file's
    // start itself, and the engine's speed is already backward (forward frames go unshown).
    if (m_direction.load(std::memory_order_relaxed) == direction)
        return direction;
    {
        // Noted now: by the time the turn is carried out, the video thread may have taken (and
        // dropped) every frame read ahead, and the oldest frame waiting no longer tells where
        // the screen is.
        Place shown;
        if (m_channel == nullptr ||
            !m_channel->VideoCtx().ShownPlace(&shown.pts, &shown.position, &shown.time, &shown.serial))
            shown = Place{};
        CCritSecsLock lock(m_placeLock);
        m_turnPlace = shown;
    }
    m_direction.store(direction, std::memory_order_relaxed);
    m_directionRequest.store(direction, std::memory_order_release);
    Asked();
    return direction;
}

int CTSAnalyse::SeekRelative(int thousandths)
{
    m_seekRequest.store(thousandths, std::memory_order_release);
    Asked();
    return ((thousandths % 1000) + 1000) % 1000;
}

void CTSAnalyse::SeekToTime(int time, bool nearest)
{
    {
        // A time outside the recording leaves play where it is: one not yet carried out
        // before it still stands.
        CCritSecsLock lock(m_timeLock);
        if (!m_timeRequest.load(std::memory_order_acquire))
            m_pendingTimes.clear();
        if (m_pendingTimes.size() >= kMaxPendingTimes)
            m_pendingTimes.erase(m_pendingTimes.begin());
        m_latestTime = TimeAsk{time, nearest, true};
        m_pendingTimes.push_back(m_latestTime);
        m_timeRequest.store(true, std::memory_order_release);
    }
    Asked();
}

void CTSAnalyse::SeekFile(int delta)
{
    m_fileStepRequest.store(delta, std::memory_order_release);
    Asked();
}

void CTSAnalyse::SetFileFromList(int index)
{
    if (index < 0)
        return;
    // The last request wins: a seek asked for before and not yet carried out would otherwise
    // move play away from the file chosen after it.
    m_timeRequest.store(false, std::memory_order_release);
    m_seekRequest.store(kNoRequest, std::memory_order_release);
    m_fileIndexRequest.store(index, std::memory_order_release);
    Asked();
}

void CTSAnalyse::Asked()
{
    m_requests.fetch_add(1, std::memory_order_acq_rel);
    // A reading held up by full queues would answer only once the consumer, who may be waiting
    // for the answer, takes something.
    if (m_video != nullptr)
        m_video->Interrupt();
    if (m_audio != nullptr)
        m_audio->Interrupt();
}

void CTSAnalyse::StepBackTarget(std::int64_t pts, int position, std::int32_t time, int serial)
{
    CCritSecsLock lock(m_placeLock);
    m_backPlace = Place{pts, position, time, serial};
}

void CTSAnalyse::ResumeAt(std::int64_t pts, int position, std::int32_t time, int serial)
{
    {
        CCritSecsLock lock(m_placeLock);
        m_resumePlace = Place{pts, position, time, serial};
    }
    m_resumeRequest.store(true, std::memory_order_release);
    Asked();
}

void CTSAnalyse::SetExportState(const ExportProgressState& s)
{
    CCritSecsLock lock(m_lock);
    m_export = s;
}

double CTSAnalyse::ExportProgress()
{
    ExportProgressState s;
    {
        CCritSecsLock lock(m_lock);
        s = m_export;
    }
    // What the clip holds, not what was read: re-encoded pictures trail the reading.
    if (CRecordCtx* ctx = ExportContext(); ctx != nullptr && s.running)
        s.writtenUpTo = ctx->WrittenUpTo();
    return ::ExportProgress(s);
}

void CTSAnalyse::SetFileList(std::vector<std::string> files)
{
    CCritSecsLock lock(m_lock);
    m_files = std::move(files);
}

bool CTSAnalyse::SelectExportFile(int n)
{
    // A running export reads its range once, from the recording it began with: another source
    // would leave a part of the range out.
    if (ExportMode() || n < 0 || n >= NumberOfFiles())
        return false;
    m_exportFile = n;
    return true;
}

int CTSAnalyse::NumberOfFiles()
{
    CCritSecsLock lock(m_lock);
    return static_cast<int>(m_files.size());
}

std::string CTSAnalyse::FileName(int index)
{
    CCritSecsLock lock(m_lock);
    if (m_files.empty())
        return index == 0 ? m_name : std::string();
    if (index < 0 || static_cast<std::size_t>(index) >= m_files.size())
        return std::string();
    return m_files[static_cast<std::size_t>(index)];
}

// ---------------------------------------------------------------------------------------------
// Files

CSourceBoxCtx* CTSAnalyse::CardList(int index)
{
    CJtvCtrl* engine = m_channel != nullptr ? m_channel->Owner() : nullptr;
    if (engine == nullptr || index < 0)
        return nullptr;
    const std::string name = FileName(index);
    return !name.empty() && engine->m_sourceBox.Path(index) == name ? &engine->m_sourceBox : nullptr;
}

bool CTSAnalyse::OpenEntry(int index, const std::string& name, int direction)
{
    CSourceBoxCtx* box = CardList(index);
    if (name.empty() || !OpenFile(name, direction)) {
        // The card source's current entry stays the file this list is at.
        const int at = m_fileIndex.load(std::memory_order_relaxed);
        if (CSourceBoxCtx* current = CardList(at))
            current->SelectFile(at, nullptr);
        return false;
    }
    m_fileIndex.store(index, std::memory_order_relaxed);
    if (box != nullptr) {
        // Its list gives the file's start and length (a recording counts for at most 1800 s).
        box->SelectFile(index, nullptr);
        const std::int64_t length = box->CurrentFileLength();
        if (length > 0) {
            m_times.start = static_cast<std::time_t>(box->CurrentFileStart());
            m_times.duration = static_cast<int>(length);
        }
    }
    return true;
}

bool CTSAnalyse::OpenFile(const std::string& path, int direction)
{
    // A recording gone, emptied or replaced by a folder cannot be opened: the file being read
    // stays open, so that reading goes on (or ends) from there.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) || size.QuadPart < ts::kPacketSize) {
        CloseHandle(file);
        return false;
    }
    Close();
    m_file = file;
    m_path = path;
    m_tablesSought = false;
    m_fileSize = size.QuadPart;
    std::uint8_t head[kReadBlock];
    const std::int64_t n = ReadAt(0, head, sizeof head);
    m_times = ReadRecordingTimes(head, n > 0 ? static_cast<std::size_t>(n) : 0);
    if (m_times.frameRate > 0) {
        m_fps.store(m_times.frameRate, std::memory_order_relaxed);
        m_fpsMeasured.store(true, std::memory_order_relaxed);
    } else {
        m_fpsMeasured.store(false, std::memory_order_relaxed);
    }
    m_readPos = direction == 0 ? 0 : m_fileSize;
    m_exportNewFile = true;
    ResetWorking();
    m_fpsCount = -1;  // the first PES of a new file is not measured
    if (m_channel != nullptr)
        m_channel->FileOpened();
    return true;
}

void CTSAnalyse::Close()
{
    if (m_file != INVALID_HANDLE_VALUE)
        CloseHandle(m_file);
    m_file = INVALID_HANDLE_VALUE;
    m_fileSize = 0;
    m_readPos = 0;
}

std::int64_t CTSAnalyse::ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t size)
{
    if (m_file == INVALID_HANDLE_VALUE || offset < 0)
        return -1;
    LARGE_INTEGER to{};
    to.QuadPart = offset;
    DWORD done = 0;
    if (!SetFilePointerEx(m_file, to, nullptr, FILE_BEGIN) ||
        !ReadFile(m_file, buffer, static_cast<DWORD>(size), &done, nullptr))
        return -1;
    return done;
}

bool CTSAnalyse::NextFile(int direction)
{
    const int index = m_fileIndex.load(std::memory_order_relaxed);
    if (index + 1 >= NumberOfFiles())
        return false;
    // On the card source's list, the card source moves its current entry on; the file is the
    // list's next entry even where that entry had strayed (the open puts it right).
    if (CSourceBoxCtx* box = CardList(index))
        box->NextFile();
    return OpenUsable(index + 1, 1, direction);
}

bool CTSAnalyse::PrevFile(int direction)
{
    const int index = m_fileIndex.load(std::memory_order_relaxed);
    if (index <= 0 || NumberOfFiles() == 0)
        return false;
    if (CSourceBoxCtx* box = CardList(index))
        box->PrevFile();
    return OpenUsable(index - 1, -1, direction);
}

bool CTSAnalyse::OpenUsable(int from, int step, int direction)
{
    for (int i = from; i >= 0 && i < NumberOfFiles(); i += step) {
        if (OpenEntry(i, FileName(i), direction))
            return true;
        // A listed recording that is gone leaves its part of an export's range out of the clip.
        if (ExportMode() && !m_exportDone && MayHoldRange(i))
            m_exportMissed = true;
    }
    return false;
}

bool CTSAnalyse::MayHoldRange(int index)
{
    // The file read last ended with the range or after it: what follows is no part of it.
    if (m_file != INVALID_HANDLE_VALUE && m_times.start + m_times.duration >= m_exportEnd)
        return false;
    return RangeInEntry(index) != 0;
}

int CTSAnalyse::RangeInEntry(int index)
{
    CJtvCtrl* engine = m_channel != nullptr ? m_channel->Owner() : nullptr;
    std::int64_t start = 0, end = 0, length = 0;
    const int at = engine != nullptr ? engine->m_sourceBox.FindFile(FileName(index)) : -1;
    if (at < 0 || !engine->m_sourceBox.Times(at, &start, &end, &length))
        return -1;
    return start < m_exportEnd && start + length > m_exportStart ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// The thread

void CTSAnalyse::ResetWorking()
{
    m_lastPacketEnd = -1;
    m_workLength = 0;
    m_workOffset = m_readPos;
    m_videoPes.Reset();
    m_audioPes.Reset();
    m_privatePes.Reset();
    m_fpsCount = 0;
    m_keySeen = false;
    m_spsCount = 0;
    m_nonIdrCount = 0;
    m_deferred.clear();
    m_deferredExport.clear();
    // Sound waiting for a clip's first picture belongs to the file it was read from.
    m_deferredSound.clear();
}

void CTSAnalyse::RestartQueues(MarkerKind kind, bool seek)
{
    // Everything after the consumer's packet goes; keep the record of where that one came from.
    // A marker of the last restart still queued counts among the packets but is no frame: the
    // frames pushed before that restart stay.
    const int media = m_video->MediaCount();
    if (media > 0 && static_cast<std::uint64_t>(media) <= m_pushedCount && media <= kPushedRing)
        m_pushedCount = std::max(m_restartAt, m_pushedCount - static_cast<std::uint64_t>(media - 1));
    if (seek) {
        // A seek drops the packets in use too (their bodies stay theirs until the next pop).
        m_video->ResetList();
        m_audio->ResetList();
        m_video->Clear();
    }
    m_video->Restart(m_videoDesc);
    m_audio->Restart(m_audioDesc);
    m_endSent.store(false, std::memory_order_relaxed);
    m_soundLeftOut.store(false, std::memory_order_release);
    // A marker begins what is read from here on, so that the video and audio threads know
    // where the stream starts over.
    const int serial = m_restartSerial.fetch_add(1, std::memory_order_relaxed) + 1;
    m_restartAt = m_pushedCount;
    if (kind == kMarkerPlace) {
        // A new place: what was shown before it, and the frames read for it, are of another run.
        m_runSerial = serial;
        m_runPushed = m_pushedCount;
        m_runStart = PushedFrame{m_fileIndex.load(std::memory_order_relaxed), m_readPos, -1, 0};
    }
    for (int q = 0; q < 2; ++q) {
        PacketDesc mark = q == 0 ? m_videoDesc : m_audioDesc;
        mark.size = 0;
        mark.type = PKT_MARKER;
        mark.rate = kind;
        mark.time = serial;
        mark.direction = m_dir == 0 ? 0.0 : -1.0;
        mark.position = PositionOf(m_readPos);
        // A later restart may drop the marker of the one that began the run before it is taken:
        // each marker names its run.
        mark.stream = m_runSerial;
        mark.pts = 0;
        if (q == 0 ? m_video->Push(mark) : m_audio->Push(mark))
            (q == 0 ? m_videoDesc : m_audioDesc).data = mark.data;
    }
}

bool CTSAnalyse::FindPushed(const Place& place, PushedFrame* out) const
{
    if (!OfThisRun(place))
        return false;
    // The picture on the screen was taken from the queue: the frames still waiting there were
    // read after it, and a set's next file repeats the times of the one before. The newest
    // frame with that time from the consumer's packet back (the queue's count takes in a
    // marker, which is no frame: one newer frame is looked at too); its calendar second, when
    // known, tells a file from the next one also among the frames the consumer dropped.
    const std::uint64_t span = std::min<std::uint64_t>(m_pushedCount - m_runPushed, kPushedRing);
    const int waiting = m_video->MediaCount();
    for (std::uint64_t i = static_cast<std::uint64_t>(std::max(1, waiting - 1)); i <= span; ++i) {
        const PushedFrame& f = m_pushed[(m_pushedCount - i) % kPushedRing];
        if (f.pts == place.pts && (place.time == 0 || f.time == place.time)) {
            *out = f;
            return true;
        }
    }
    return false;
}

bool CTSAnalyse::OldestQueued(PushedFrame* out)
{
    // A marker queued since the last restart is no frame.
    const int media = m_video->MediaCount();
    if (media <= 0 || static_cast<std::uint64_t>(media) > m_pushedCount || media > kPushedRing)
        return false;
    const std::uint64_t oldest = std::max(m_restartAt, m_pushedCount - static_cast<std::uint64_t>(media));
    if (oldest >= m_pushedCount)
        return false;
    *out = m_pushed[oldest % kPushedRing];
    return true;
}

bool CTSAnalyse::FirstOfRun(PushedFrame* out) const
{
    if (m_pushedCount <= m_runPushed || m_pushedCount - m_runPushed > kPushedRing)
        return false;
    *out = m_pushed[m_runPushed % kPushedRing];
    return true;
}

CTSAnalyse::PushedFrame CTSAnalyse::FrameAt(const Place& place) const
{
    // Not among the frames pushed lately: its position in the current file stands in, and its
    // time is not known to belong to this file.
    PushedFrame frame{m_fileIndex.load(std::memory_order_relaxed),
                      m_fileSize * std::clamp(place.position, 0, 1000) / 1000, -1};
    FindPushed(place, &frame);
    return frame;
}

void CTSAnalyse::ApplyResume(const Place& place)
{
    // Nothing of this run shown yet (a seek or a file chosen since that picture): the run is
    // read again from where it began, for what was left out of it meanwhile (fast play shows
    // key pictures only) is then the start of what is shown.
    const bool shown = OfThisRun(place);
    PushedFrame from = m_runStart;
    if (shown)
        from = FrameAt(place);
    else if (from.file < 0 && !OldestQueued(&from))
        return;
    if (from.file != m_fileIndex.load(std::memory_order_relaxed) && !OpenIndex(from.file, 0))
        return;
    m_dir = 0;
    SeekToKeyFrameAtOrBefore(from.offset, false, from.pts, shown ? kMarkerResume : kMarkerTurn);
}

bool CTSAnalyse::RequestPending() const
{
    return m_directionRequest.load(std::memory_order_acquire) >= 0 || m_resumeRequest.load(std::memory_order_acquire) ||
           m_fileStepRequest.load(std::memory_order_acquire) != 0 ||
           m_fileIndexRequest.load(std::memory_order_acquire) >= 0 || m_applying.load(std::memory_order_acquire) ||
           (PmtKnown() && (m_seekRequest.load(std::memory_order_acquire) != kNoRequest ||
                           m_timeRequest.load(std::memory_order_acquire)));
}

void CTSAnalyse::Idle(DWORD ms)
{
    for (DWORD waited = 0; waited < ms && IsRunning(); waited += 10) {
        if (RequestPending())
            return;
        Sleep(10);
    }
}

DWORD CTSAnalyse::Run()
{
    m_runSerial = m_restartSerial.load(std::memory_order_relaxed);
    m_restartAt = m_runPushed = m_pushedCount;
    m_runStart = PushedFrame{-1, 0, -1, 0};
    ResetWorking();
    m_video->Restart(m_videoDesc);
    m_audio->Restart(m_audioDesc);
    while (IsRunning()) {
        if (ExportMode()) {
            // Ends with the range, or when the export context stopped the recording.
            const CJtvCtrl* e = m_channel != nullptr ? m_channel->Owner() : nullptr;
            if (m_exportDone || (e != nullptr && e->m_recording.load(std::memory_order_relaxed) == 0)) {
                FinishExport();
                break;
            }
        }
        if (ApplyRequests())
            continue;
        if (m_file == INVALID_HANDLE_VALUE) {
            if (ExportMode() && !RequestPending())
                m_exportDone = true;  // none of its files is left to read
            else if (!RequestPending())
                EndOfStream();  // nothing to play: the end is told, not waited for
            Idle(100);
            continue;
        }
        if (m_dir == 0)
            ForwardPass();
        else
            BackwardPass();
    }
    return 0;
}

bool CTSAnalyse::ApplyRequests()
{
    // Seen as pending until carried out, not only until taken.
    struct Applying {
        std::atomic<bool>& flag;
        explicit Applying(std::atomic<bool>& f) : flag(f) { flag.store(true, std::memory_order_release); }
        ~Applying() { flag.store(false, std::memory_order_release); }
    } applying(m_applying);
    // Requests made from here on are taken at the next pass, and interrupt the queues again.
    if (m_video != nullptr)
        m_video->ClearInterrupt();
    if (m_audio != nullptr)
        m_audio->ClearInterrupt();
    const unsigned requests = m_requests.load(std::memory_order_acquire);
    bool applied = false;
    const int index = m_fileIndexRequest.exchange(-1, std::memory_order_acq_rel);
    // A file chosen is played from its start, whichever way it is read first.
    if (index >= 0) {
        if (OpenIndex(index, m_dir)) {
            RestartQueues(kMarkerPlace);
            m_runStart.offset = 0;
        }
        applied = true;
    }
    const int step = m_fileStepRequest.exchange(0, std::memory_order_acq_rel);
    if (step != 0) {
        if (step > 0 ? NextFile(m_dir) : PrevFile(m_dir)) {
            RestartQueues(kMarkerPlace);
            m_runStart.offset = 0;
        }
        applied = true;
    }
    const int direction = m_directionRequest.exchange(-1, std::memory_order_acq_rel);
    if (direction >= 0) {
        ApplyDirection(direction);
        applied = true;
    }
    if (PmtKnown()) {
        std::vector<TimeAsk> times;
        {
            CCritSecsLock lock(m_timeLock);
            if (m_timeRequest.exchange(false, std::memory_order_acq_rel))
                times.swap(m_pendingTimes);
            m_pendingTimes.clear();
        }
        for (auto it = times.rbegin(); it != times.rend(); ++it)
            if (ApplyTimeSeek(it->time, it->nearest))
                break;
        applied = applied || !times.empty();
        const std::int64_t seek = m_seekRequest.exchange(kNoRequest, std::memory_order_acq_rel);
        if (seek != kNoRequest) {
            ApplySeek(seek);
            applied = true;
        }
    }
    if (m_resumeRequest.exchange(false, std::memory_order_acq_rel)) {
        Place place;
        {
            CCritSecsLock lock(m_placeLock);
            place = m_resumePlace;
        }
        // An export reads each frame of its range once.
        if (m_dir == 0 && PmtKnown() && !ExportMode())
            ApplyResume(place);
        applied = true;
    }
    m_requestsTaken.store(requests, std::memory_order_release);
    return applied;
}

void CTSAnalyse::ApplySeek(std::int64_t t)
{
    // Straight to the file it lands in: stepping through the files between would open each.
    const int index = std::max(0, m_fileIndex.load(std::memory_order_relaxed));
    const int files = std::max(1, NumberOfFiles());
    std::int64_t file = index + (t >= 0 ? t / 1000 : -((-t + 999) / 1000));
    t -= (file - index) * 1000;
    if (file < 0) {
        file = 0;
        t = 0;
    } else if (file >= files) {
        file = files - 1;
        t = 1000;
    }
    if (file != m_fileIndex.load(std::memory_order_relaxed) && !OpenIndex(static_cast<int>(file), m_dir))
        return;
    SeekToKeyFrameAtOrBefore(m_fileSize * t / 1000, true);
}

bool CTSAnalyse::ApplyTimeSeek(int time, bool nearest)
{
    const int index = m_fileIndex.load(std::memory_order_relaxed);
    std::int64_t position = time;
    if (CSourceBoxCtx* box = CardList(index)) {
        // The card source places the time: thousandths of its current entry, which is this
        // file, 1000 a file. The nearest-file seek takes a time outside every file one second
        // into the file starting nearest to it.
        if (box->CurrentFileIndex() != index)
            box->SelectFile(index, nullptr);
        const std::int64_t start = box->CurrentFileStart();
        if (!nearest)
            position = box->TimeToPosition(time, start);
        else if (!box->PositionForTime(&position, start, box->CurrentFileLength()))
            return false;
    } else {
        // A recording played on its own: the times its header gave.
        const std::int64_t into = time - static_cast<std::int64_t>(m_times.start);
        if (!nearest && (into < 0 || into >= m_times.duration))
            return false;
        position = std::clamp<std::int64_t>(into, 0, m_times.duration - 1) * 1000 / std::max(1, m_times.duration);
    }
    ApplySeek(position);
    return true;
}

void CTSAnalyse::SeekToKeyFrameAtOrBefore(std::int64_t offset, bool seek, std::int64_t pts, MarkerKind kind)
{
    offset = std::clamp<std::int64_t>(offset, 0, m_fileSize);
    if (m_dir == 0) {
        const std::int64_t key = FindKeyFrameShownBy(offset, pts);
        m_readPos = key >= 0 ? key : (key == -1 ? 0 : offset);
    } else {
        // Backward reading takes the key frame before its limit first.
        const std::int64_t key = pts >= 0 ? FindKeyFrameShownBy(offset, pts) : -1;
        m_readPos = std::min(m_fileSize, (key >= 0 ? key : offset) + 1);
    }
    ResetWorking();
    RestartQueues(seek ? kMarkerPlace : kind, seek);
}

void CTSAnalyse::ApplyDirection(int direction)
{
    if (direction == m_dir)
        return;
    Place shown, back;
    {
        CCritSecsLock lock(m_placeLock);
        shown = m_turnPlace;
        back = m_backPlace;
        m_turnPlace = Place{};
        m_backPlace = Place{};
    }
    PushedFrame from{m_fileIndex.load(std::memory_order_relaxed), m_dir == 0 ? m_workOffset : m_readPos, -1};
    const bool atShown = FindPushed(shown, &from);
    const bool fromBack = !atShown && direction == 0 && OfThisRun(back);
    PushedFrame first;
    const bool firstKnown = FirstOfRun(&first);
    // Nothing shown since the seek or file choice that began this run; or, with the video thread
    // running, nothing yet since the open (the frames it took before video was enabled were
    // passed over).
    const bool runUnshown =
        !atShown && (m_runStart.file >= 0 ? !OfThisRun(shown)
                                          : firstKnown && shown.position < 0 && m_channel != nullptr &&
                                                m_channel->VideoCtx().HasThread() &&
                                                m_channel->VideoCtx().IsThreadAlive());
    if (fromBack) {
        // After backward play, the last key picture shown is where forward play goes on:
        // the queue still holds key pictures read far beyond it.
        from = FrameAt(back);
    } else if (runUnshown) {
        // Play turns where the run began, not at the picture from before it that is still on
        // the screen. An open's run, and backward play, start at the run's first frame: reading
        // back from the start offset itself would find no picture before it.
        const bool atFirst = m_runStart.file < 0 || (direction == 1 && firstKnown && first.file == m_runStart.file);
        from = atFirst ? first : m_runStart;
    } else if (!atShown) {
        // Otherwise the oldest frame the video queue still holds stands for the screen.
        OldestQueued(&from);
    }
    m_dir = direction;
    const int current = m_fileIndex.load(std::memory_order_relaxed);
    if (from.file != current && !OpenIndex(from.file, direction)) {
        // That recording can no longer be read: the file being read turns at its edge on the
        // side of that one, never at an offset that belongs to another file.
        from = PushedFrame{current, from.file > current ? m_fileSize : 0, -1, 0};
    }
    // Forward from a picture on the screen (shown forward, or a key picture backward play
    // showed), the pictures up to it are read again only to go on after it: they were shown.
    const bool reshown = direction == 0 && (atShown || fromBack);
    SeekToKeyFrameAtOrBefore(from.offset, false, from.pts, reshown ? kMarkerResume : kMarkerTurn);
}

void CTSAnalyse::ForwardPass()
{
    bool eof = false;
    if (m_workLength + kReadBlock <= m_work.size()) {
        const std::int64_t n = ReadAt(m_readPos, m_work.data() + m_workLength, kReadBlock);
        if (n > 0) {
            m_workLength += static_cast<std::size_t>(n);
            m_readPos += n;
        } else {
            eof = true;
        }
    }
    std::size_t p = 0;
    const std::uint8_t* w = m_work.data();
    const std::int64_t base = m_workOffset;
    // A request is carried out before the next packet; one answered while a push waited for
    // room and that started the queues over ends the pass (the work buffer went with them).
    const int serial = m_restartSerial.load(std::memory_order_relaxed);
    while (IsRunning() && !RequestPending()) {
        const std::size_t avail = m_workLength - p;
        if (avail < static_cast<std::size_t>(ts::kPacketSize) || (avail == 188 && !eof))
            break;
        // A packet is where two sync bytes lie 188 apart; at the end of the file the last
        // packet has no successor and is taken on its own sync byte.
        // Once in step, a packet right after the last one needs only its own sync byte, so
        // the packet in front of junk is not lost.
        const std::int64_t at = base + static_cast<std::int64_t>(p);
        const bool synced = w[p] == ts::kSync &&
                            ((avail > 188 && w[p + 188] == ts::kSync) || at == m_lastPacketEnd ||
                             (eof && avail < 2 * 188));
        if (!synced) {
            ++p;
            continue;
        }
        HandlePacket(w + p, at);
        if (Restarted(serial))
            return;
        p += ts::kPacketSize;
        m_lastPacketEnd = at + ts::kPacketSize;
    }
    std::memmove(m_work.data(), m_work.data() + p, m_workLength - p);
    m_workLength -= p;
    m_workOffset += static_cast<std::int64_t>(p);
    if (!eof || RequestPending())
        return;
    // The file's last PES have no successor to end them. A request made meanwhile is answered
    // before the file is left: it may belong to this file.
    m_workLength = 0;
    FlushPes();
    if (Restarted(serial) || RequestPending())
        return;
    if (NextFile(0)) {
        Sleep(10);
        return;
    }
    if (ExportMode()) {
        m_exportDone = true;
        return;
    }
    EndOfStream();
    Idle(100);
}

void CTSAnalyse::LearnTables()
{
    // Reading backwards needs the video PID before the first frame: the tables come from the
    // file's start, where a recording repeats them before every frame. A file without them is
    // searched once, not again on every pass.
    if (m_tablesSought)
        return;
    m_tablesSought = true;
    std::vector<std::uint8_t> block(kReadBlock);
    std::int64_t pos = 0;
    while (!PmtKnown() && IsRunning() && pos < kPesReadLimit && pos + ts::kPacketSize <= m_fileSize) {
        const std::int64_t got = ReadAt(pos, block.data(), block.size());
        if (got < ts::kPacketSize)
            return;
        const auto n = static_cast<std::size_t>(got);
        std::size_t k = 0;
        while (k + ts::kPacketSize <= n && !PmtKnown()) {
            const bool synced = block[k] == ts::kSync &&
                                (k + ts::kPacketSize >= n || block[k + ts::kPacketSize] == ts::kSync);
            if (!synced) {
                ++k;
                continue;
            }
            ts::PacketHeader h;
            if (ts::ParsePacket(block.data() + k, h))
                ParseTables(block.data() + k, h);
            k += ts::kPacketSize;
        }
        pos += static_cast<std::int64_t>(k > 0 ? k : 1);
    }
}

void CTSAnalyse::BackwardPass()
{
    if (!PmtKnown())
        LearnTables();
    if (m_readPos <= 0) {
        if (PrevFile(1))
            return;
        EndOfStream();
        Idle(100);
        return;
    }
    const std::int64_t key = FindKeyFrameBefore(m_readPos);
    if (key == -2)
        return;  // interrupted by a request or the stop
    if (key < 0) {
        m_readPos = 0;
        return;
    }
    const int serial = m_restartSerial.load(std::memory_order_relaxed);
    if (m_scratchLength > 0)
        ProcessVideoPes(m_scratch.data(), m_scratchLength, key, true);
    if (!Restarted(serial))
        m_readPos = key;
}

void CTSAnalyse::HandlePacket(const std::uint8_t* p, std::int64_t offset)
{
    ts::PacketHeader h;
    if (!ts::ParsePacket(p, h))
        return;
    if (!PmtKnown()) {
        ParseTables(p, h);
        return;
    }
    if (h.payloadLength == 0)
        return;
    const std::uint8_t* payload = p + h.payloadOffset;
    const auto n = static_cast<std::size_t>(h.payloadLength);
    // A push that waited for room may have answered a request by starting over: then this
    // packet belongs to the reading that was left.
    const int serial = m_restartSerial.load(std::memory_order_relaxed);
    if (h.pid == m_pids.video) {
        if (h.pusi) {
            if (m_videoPes.start >= 0 && !m_videoPes.broken)
                ProcessVideoPes(m_videoPes.data.data(), m_videoPes.length, m_videoPes.start, false);
            if (!Restarted(serial))
                FlushDeferredRecords();
            if (Restarted(serial))
                return;
            m_videoPes.Begin(offset);
        }
        if (m_videoPes.start >= 0)
            m_videoPes.Append(payload, n);
        return;
    }
    const bool audio = h.pid == m_pids.audio;
    if (!audio && h.pid != m_pids.priv)
        return;
    if (m_dir != 0)
        return;
    if (audio && !SoundWanted()) {
        m_soundLeftOut.store(true, std::memory_order_release);
        return;
    }
    PesBuffer& b = audio ? m_audioPes : m_privatePes;
    auto finish = [&] {
        if (b.start >= 0 && !b.broken) {
            if (audio)
                ProcessAudioPes();
            else
                ParsePrivateData();
        }
        b.Reset();
    };
    if (h.pusi) {
        finish();
        if (Restarted(serial))
            return;
        b.Begin(offset);
    }
    if (b.start < 0)
        return;
    b.Append(payload, n);
    // A PES that states its length is complete as soon as it is all there.
    if (b.length >= 6) {
        const std::size_t declared = (static_cast<std::size_t>(b.data[4]) << 8) | b.data[5];
        if (declared > 0 && b.length >= declared + 6) {
            b.length = declared + 6;
            finish();
        }
    }
}

void CTSAnalyse::ParseTables(const std::uint8_t* p, const ts::PacketHeader& h)
{
    if (h.payloadLength == 0)
        return;
    const std::uint8_t* payload = p + h.payloadOffset;
    if (h.pid == 0 && m_pmtPid == ts::kNoPid) {
        m_pmtPid = ts::ParsePat(payload, h.payloadLength, h.pusi);
    } else if (m_pmtPid != ts::kNoPid && h.pid == m_pmtPid) {
        ts::StreamPids pids;
        if (ts::ParsePmt(payload, h.payloadLength, h.pusi, pids)) {
            m_pids = pids;
            m_pmtKnown.store(true, std::memory_order_release);
        }
    }
}

void CTSAnalyse::FlushPes()
{
    // (A restart while a push waits resets every PES: what is left then is skipped.)
    if (m_videoPes.start >= 0 && !m_videoPes.broken)
        ProcessVideoPes(m_videoPes.data.data(), m_videoPes.length, m_videoPes.start, false);
    m_videoPes.Reset();
    FlushDeferredRecords();
    if (m_audioPes.start >= 0 && !m_audioPes.broken)
        ProcessAudioPes();
    m_audioPes.Reset();
    if (m_privatePes.start >= 0 && !m_privatePes.broken)
        ParsePrivateData();
    m_privatePes.Reset();
}

int CTSAnalyse::PositionOf(std::int64_t offset) const
{
    if (m_fileSize <= 0)
        return 0;
    return static_cast<int>(std::clamp<std::int64_t>(offset * 1000 / m_fileSize, 0, 1000));
}

bool CTSAnalyse::ProcessVideoPes(const std::uint8_t* pes, std::size_t length, std::int64_t offset, bool backward)
{
    ts::PesHeader ph;
    if (!ts::ParsePes(pes, length, ph) || ph.payloadOffset >= length)
        return false;
    double ptsSeconds = 0.0, dtsSeconds = 0.0;
    if (ph.ptsDtsFlags >= 2) {
        const std::int32_t ticks = ts::Ticks32(ph.pts);
        ptsSeconds = ticks / 90000.0;
        // Paced by the PTS whether or not a DTS comes with it.
        m_lastPtsUs = static_cast<std::int64_t>(ticks * 11.1111);
        if (ph.ptsDtsFlags == 3)
            dtsSeconds = ts::Ticks32(ph.dts) / 90000.0;
        if (!backward && !m_fpsMeasured.load(std::memory_order_relaxed)) {
            if (m_fpsCount == 0) {
                m_fpsFirst = ptsSeconds;
            } else if (m_fpsCount == 30) {
                const double frame = (ptsSeconds - m_fpsFirst) / 30.0;
                if (frame > 0.0) {
                    const double rate = std::trunc(std::min(1.0 / frame, 1000.0) + 0.999);
                    m_fps.store(ts::QuantiseFps(rate), std::memory_order_relaxed);
                    m_fpsMeasured.store(true, std::memory_order_relaxed);
                } else {
                    m_fpsCount = -1;  // equal or falling stamps: measure again
                }
            }
            ++m_fpsCount;
        }
    }
    const std::uint8_t* payload = pes + ph.payloadOffset;
    const std::size_t payloadLength = length - ph.payloadOffset;
    const ts::AccessUnitScan scan = ts::ScanAccessUnit(payload, payloadLength);
    int type = scan.type;
    const bool measured = m_fpsMeasured.load(std::memory_order_relaxed);
    if (type == ts::kFrameOther && measured && m_spsCount > 0)
        ++m_nonIdrCount;
    if (scan.sps && measured && ++m_spsCount == 2) {
        const int fps = std::max(1, m_fps.load(std::memory_order_relaxed));
        m_keyInterval.store(std::max(1, (m_nonIdrCount + 1) / fps), std::memory_order_relaxed);
    }
    if (type == ts::kFrameKey)
        m_keySeen = true;
    else if (type == ts::kFrameOther && !m_keySeen)
        type = ts::kFrameNone;
    if (type == ts::kFrameNone || (backward && type != ts::kFrameKey))
        return false;
    if (TurnPending())
        return false;

    const std::size_t size = payloadLength - scan.bodyStart;
    const double seconds = dtsSeconds > 0.0001 ? dtsSeconds : ptsSeconds;
    const std::int64_t time = static_cast<std::int64_t>(seconds) + m_times.start;
    // The picture's own second: with reordered frames the decoding time is another picture's.
    const std::int64_t shown = ph.ptsDtsFlags >= 2 ? static_cast<std::int64_t>(ptsSeconds) + m_times.start : time;
    if (ExportMode() && !backward) {
        const bool inRange = ExportVideo(payload + scan.bodyStart, size, type == ts::kFrameKey, time, shown);
        if (HoldForRange(inRange, payload + scan.bodyStart, size, type, time, shown, offset) || !inRange ||
            !ShowWhileExporting())
            return false;
    }
    return QueueVideo(payload + scan.bodyStart, size, type, backward, static_cast<std::int32_t>(shown),
                      PositionOf(offset), m_lastPtsUs, offset) &&
           type == ts::kFrameKey;
}

bool CTSAnalyse::QueueVideo(const std::uint8_t* body, std::size_t size, int type, bool backward, std::int32_t time,
                            int position, std::int64_t pts, std::int64_t offset)
{
    if (size > m_video->MaxPacket())
        return false;  // the queue keeps room for one largest packet only
    std::memcpy(m_videoDesc.data, body, size);
    PacketDesc d = m_videoDesc;
    d.size = static_cast<std::int32_t>(size);
    d.type = type;
    d.rate = backward ? 1 : m_fps.load(std::memory_order_relaxed);
    d.direction = backward ? -1.0 : 0.0;
    d.time = time;
    d.position = position;
    d.stream = 0;
    d.pts = pts;
    return PushVideo(d, offset);
}

bool CTSAnalyse::PushAnswering(CBuffer& queue, PacketDesc& d)
{
    const int serial = m_restartSerial.load(std::memory_order_relaxed);
    for (;;) {
        if (queue.Push(d))
            return true;
        // Refused for another reason than a request (no key frame yet, a stop), or asked for
        // while answering.
        if (!queue.Interrupted() || m_answering || !IsRunning() || queue.IsWoken())
            return false;
        // Answered from here, the frame keeps its place: its body stays where it was written,
        // for nothing else is written into the ring unless the queues start over, and then
        // the frame goes with them.
        if (AnswerWhileWaiting(serial))
            return false;
        // Play left normal speed: the sound is not played, and waiting for its room (which
        // the audio thread then no longer frees) would hold the pictures back.
        if (&queue == m_audio && !SoundWanted()) {
            m_soundLeftOut.store(true, std::memory_order_release);
            return false;
        }
    }
}

bool CTSAnalyse::SoundWanted() const
{
    return m_channel == nullptr || m_channel->Step() == 1 || ExportMode();
}

bool CTSAnalyse::AnswerWhileWaiting(int serial)
{
    m_answering = true;
    ApplyRequests();
    m_answering = false;
    return Restarted(serial);
}

bool CTSAnalyse::PushVideo(PacketDesc& d, std::int64_t offset)
{
    const bool queued = PushAnswering(*m_video, d);
    if (queued && m_channel != nullptr && (d.type == PKT_KEY_FRAME || d.type == PKT_FRAME))
        m_channel->StampTemplate(d.time);
    if (queued) {
        m_pushed[m_pushedCount % kPushedRing] =
            PushedFrame{m_fileIndex.load(std::memory_order_relaxed), offset, d.pts, d.time};
        ++m_pushedCount;
        m_videoDesc.data = d.data;  // the push moved the write position on
    }
    return queued;
}

void CTSAnalyse::ProcessAudioPes()
{
    ts::PesHeader ph;
    const std::size_t length = m_audioPes.length;
    if (!ts::ParsePes(m_audioPes.data.data(), length, ph) || ph.payloadOffset >= length)
        return;
    if (!m_keySeen || TurnPending())
        return;
    const std::size_t size = length - ph.payloadOffset;
    if (ExportMode()) {
        ExportAudio(m_audioPes.data.data() + ph.payloadOffset, size);
        if (!ShowWhileExporting())
            return;
    }
    if (size > m_audio->MaxPacket())
        return;
    std::memcpy(m_audioDesc.data, m_audioPes.data.data() + ph.payloadOffset, size);
    PacketDesc d = m_audioDesc;
    d.size = static_cast<std::int32_t>(size);
    d.type = PKT_AAC_FRAME;
    d.rate = 0;
    d.direction = 0.0;
    d.time = 0;
    d.position = PositionOf(m_audioPes.start);
    d.stream = 0;
    // The sound's own time when its header has one; otherwise it is dated from the pictures
    // around it, which run ahead of the sound muxed beside them.
    d.pts = ph.ptsDtsFlags >= 2 ? static_cast<std::int64_t>(ts::Ticks32(ph.pts) * 11.1111) : m_lastPtsUs - 299999;
    if (PushAnswering(*m_audio, d))
        m_audioDesc.data = d.data;
}

void CTSAnalyse::ParsePrivateData()
{
    m_record.magic = kCarInfoMagic;
    m_record.sampleCount = 0;
    ts::PesHeader ph;
    const std::size_t length = m_privatePes.length;
    if (length == 0 || !ts::ParsePes(m_privatePes.data.data(), length, ph) || ph.payloadOffset >= length)
        return;
    if (TurnPending())
        return;
    if (ExportMode()) {
        // A text of the range goes with its own time; one without a time stamp goes with the
        // last exported frame.
        const std::uint8_t* text = m_privatePes.data.data() + ph.payloadOffset;
        std::int64_t time = m_exportInRange ? m_exportTime : m_exportStart - 1;
        if (ph.ptsDtsFlags >= 2)
            time = static_cast<std::int64_t>(ts::Ticks32(ph.pts) / 90000.0) + m_times.start;
        ExportPrivate(text, length - ph.payloadOffset, time);
        // Records are queued for the video thread only: nothing else would take them.
        if (!ShowWhileExporting())
            return;
    }
    ApplyPrivateText(m_privatePes.data.data() + ph.payloadOffset, length - ph.payloadOffset, m_record);
    // In stream order: a frame that began before this text is queued first.
    if (m_videoPes.start >= 0 && m_videoPes.start < m_privatePes.start && m_deferred.size() < 256)
        m_deferred.push_back(m_record);
    else
        PushRecord(m_record);
}

void CTSAnalyse::FlushDeferredRecords()
{
    // A restart while a record waits clears the list: each is copied before it is pushed.
    for (std::size_t i = 0; i < m_deferred.size(); ++i) {
        const CarInfoRecord record = m_deferred[i];
        PushRecord(record);
    }
    m_deferred.clear();
}

void CTSAnalyse::PushRecord(const CarInfoRecord& record)
{
    if (m_channel == nullptr)
        return;
    // The queue points into the channel's ring: never let the ring lap records still queued.
    const int serial = m_restartSerial.load(std::memory_order_relaxed);
    while (m_video->RecordCount() >= kMaxOutstandingRecords) {
        if (!IsRunning() || m_video->IsWoken())
            return;
        // A request is answered meanwhile: the consumer may be waiting for that answer.
        if (m_video->Interrupted() && !m_answering) {
            if (AnswerWhileWaiting(serial))
                return;
            continue;
        }
        Sleep(1);
    }
    m_channel->PushCarInfo(record);
    PacketDesc d{};
    d.data = reinterpret_cast<BYTE*>(const_cast<CarInfoRecord*>(m_channel->CurrentRecord()));
    d.size = static_cast<std::int32_t>(sizeof(CarInfoRecord));
    d.type = PKT_CAR_INFO;
    m_video->Push(d);
}

void CTSAnalyse::EndOfStream()
{
    if (m_endSent.load(std::memory_order_relaxed))
        return;
    const int serial = m_restartSerial.load(std::memory_order_relaxed);
    FlushDeferredRecords();
    if (Restarted(serial))
        return;
    PacketDesc d = m_videoDesc;
    d.size = 0;
    d.type = PKT_END_OF_STREAM;
    d.rate = 0;
    d.direction = m_dir == 0 ? 0.0 : -1.0;
    d.time = 0;
    d.position = m_dir == 0 ? 1000 : 0;
    d.pts = m_lastPtsUs;
    if (PushVideo(d, m_dir == 0 ? m_fileSize : 0))
        m_endSent.store(true, std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------------------------
// Key frames found from the back

std::int64_t CTSAnalyse::FindKeyFrameBefore(std::int64_t limit)
{
    m_scratchLength = 0;
    if (m_pids.video == ts::kNoPid)
        return -1;
    std::vector<std::uint8_t> block(kReadBlock + 2 * ts::kPacketSize);
    std::int64_t end = std::min(limit, m_fileSize);
    while (end > 0) {
        if (!IsRunning() || m_directionRequest.load(std::memory_order_relaxed) >= 0)
            return -2;
        const std::int64_t start = std::max<std::int64_t>(0, end - static_cast<std::int64_t>(kReadBlock));
        const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(
            static_cast<std::int64_t>(block.size()), m_fileSize - start));
        const std::int64_t got = ReadAt(start, block.data(), want);
        if (got <= 0)
            return -1;
        const auto n = static_cast<std::size_t>(got);
        const std::uint8_t* b = block.data();
        for (std::int64_t i = end - start - 1; i >= 0; --i) {
            const auto k = static_cast<std::size_t>(i);
            if (b[k] != ts::kSync || k + ts::kPacketSize > n)
                continue;
            const bool paired = (k + ts::kPacketSize < n && b[k + ts::kPacketSize] == ts::kSync) ||
                                (k >= static_cast<std::size_t>(ts::kPacketSize) && b[k - ts::kPacketSize] == ts::kSync) ||
                                start + i + ts::kPacketSize == m_fileSize;
            ts::PacketHeader h;
            if (!paired || !ts::ParsePacket(b + k, h) || h.pid != m_pids.video || !h.pusi || h.payloadLength == 0)
                continue;
            const std::size_t len = ReadPesAt(start + i, true, m_scratch);
            if (len > 0) {
                m_scratchLength = len;
                return start + i;
            }
        }
        end = start;
    }
    return -1;
}

std::int64_t CTSAnalyse::FindKeyFrameShownBy(std::int64_t offset, std::int64_t pts)
{
    std::int64_t limit = offset + 1;
    std::int64_t nearest = -1;
    for (;;) {
        const std::int64_t key = FindKeyFrameBefore(limit);
        // Time stamps that jump or wrap inside the file can put every earlier key picture
        // later than the picture: then the key picture nearest before it serves.
        if (key == -1 && nearest >= 0)
            return nearest;
        if (key < 0 || pts < 0)
            return key;
        if (nearest < 0)
            nearest = key;
        ts::PesHeader ph;
        if (!ts::ParsePes(m_scratch.data(), m_scratchLength, ph) || ph.ptsDtsFlags < 2 ||
            static_cast<std::int64_t>(ts::Ticks32(ph.pts) * 11.1111) <= pts)
            return key;
        limit = key;
    }
}

std::size_t CTSAnalyse::ReadPesAt(std::int64_t offset, bool keyOnly, std::vector<std::uint8_t>& out)
{
    out.clear();
    std::vector<std::uint8_t> chunk(kReadBlock);
    std::int64_t chunkOffset = 0;
    std::size_t chunkLength = 0;
    bool started = false;
    bool decided = !keyOnly;
    std::int64_t pos = offset;
    while (pos + ts::kPacketSize <= m_fileSize && pos - offset < kPesReadLimit) {
        if (pos < chunkOffset || pos + ts::kPacketSize > chunkOffset + static_cast<std::int64_t>(chunkLength)) {
            const std::int64_t got = ReadAt(pos, chunk.data(), chunk.size());
            if (got < ts::kPacketSize)
                break;
            chunkOffset = pos;
            chunkLength = static_cast<std::size_t>(got);
        }
        const std::uint8_t* p = chunk.data() + (pos - chunkOffset);
        if (p[0] != ts::kSync) {
            ++pos;  // lost the packet grid: look for it again
            continue;
        }
        ts::PacketHeader h;
        if (ts::ParsePacket(p, h) && h.pid == m_pids.video && h.payloadLength > 0) {
            if (h.pusi && started)
                break;
            started = started || h.pusi;
            if (started) {
                if (out.size() + static_cast<std::size_t>(h.payloadLength) > kPesBytes)
                    return 0;
                out.insert(out.end(), p + h.payloadOffset, p + h.payloadOffset + h.payloadLength);
                if (!decided && out.size() <= kClassifyLimit) {
                    ts::PesHeader ph;
                    if (ts::ParsePes(out.data(), out.size(), ph) && ph.payloadOffset < out.size()) {
                        const int type = ts::ScanAccessUnit(out.data() + ph.payloadOffset, out.size() - ph.payloadOffset).type;
                        if (type == ts::kFrameOther)
                            return 0;
                        decided = type == ts::kFrameKey;
                    } else if (out.size() >= 9) {
                        return 0;  // not a PES
                    }
                }
            }
        }
        pos += ts::kPacketSize;
    }
    if (!started)
        return 0;
    if (!decided) {
        ts::PesHeader ph;
        if (!ts::ParsePes(out.data(), out.size(), ph) || ph.payloadOffset >= out.size() ||
            ts::ScanAccessUnit(out.data() + ph.payloadOffset, out.size() - ph.payloadOffset).type != ts::kFrameKey)
            return 0;
    }
    return out.size();
}
