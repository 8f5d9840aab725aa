#include "engine/SourceBoxCtx.h"

#include "engine/EngineMessages.h"
#include "engine/JtvCtrl.h"
#include "platform/base/clock.h"
#include "platform/base/file.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Local seconds of a 6-byte date stamp of the list; 0 when out of range.
std::int64_t CardDateToTime(const std::uint8_t* date)
{
    DiskDate d;
    std::memcpy(&d, date, sizeof d);
    return DiskDateToTime(&d);
}

// The stored (card) form of an index block: fields big-endian, checksum in the last word.
void CardStoredIndexBlock(const void* block, void* stored)
{
    IndexBlock b;
    std::memcpy(&b, block, sizeof b);
    SwapIndexBlock(&b);
    b.checksum = SettingChecksum(&b, sizeof b);
    std::memcpy(stored, &b, sizeof b);
}

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = LowerAscii(c);
    return out;
}

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

bool EndsWithNoCase(std::string_view s, std::string_view suffix)
{
    return s.size() > suffix.size() && EqualNoCase(s.substr(s.size() - suffix.size()), suffix);
}

// One header time: years since 1900, month 0..11, day, hour, minute, second, as local time.
bool HeaderTime(const std::uint8_t* p, std::int64_t* seconds, std::uint8_t* date)
{
    // Day 0 is no date, although the calendar conversion would quietly take it for the
    // last day of the month before.
    if (p[1] >= 12 || p[2] == 0 || p[2] >= 32 || p[3] >= 24 || p[4] >= 60 || p[5] >= 60)
        return false;
    std::tm tm{};
    tm.tm_year = p[0];
    tm.tm_mon = p[1];
    tm.tm_mday = p[2];
    tm.tm_hour = p[3];
    tm.tm_min = p[4];
    tm.tm_sec = p[5];
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1))
        return false;
    *seconds = static_cast<std::int64_t>(t);
    // The stamp's year byte counts from 1800; it wraps after 2055, as on the card.
    date[0] = static_cast<std::uint8_t>(p[0] + 100);
    date[1] = static_cast<std::uint8_t>(p[1] + 1);
    std::memcpy(date + 2, p + 2, 4);
    return true;
}

bool IsRmcLine(std::string_view line)
{
    if (line.starts_with("$GPRMC") || line.starts_with("$GNRMC"))
        return true;
    // A "YYYY/MM/DD HH:MM:SS " stamp before the sentence.
    if (line.size() < 20 || line[10] != ' ' || !GpsDateTimeFromText(line.substr(0, 10), line.substr(11, 8)))
        return false;
    const std::string_view rest = line.substr(19);
    return rest.find("$GPRMC") != std::string_view::npos || rest.find("$GNRMC") != std::string_view::npos;
}

// Reads up to `size` bytes from the start of a regular file; -1 when it cannot be opened or is
// not a regular file. Non-blocking, so a pipe named like a recording cannot stall the load.
long ReadHead(const std::string& path, std::uint8_t* buffer, std::size_t size)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, buffer + done, size - done, static_cast<off_t>(done));
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return static_cast<long>(done);
}

// The folder of GPS logs beside `folder` and its ".dit" files by lower-case name. Cards are
// read from case-blind file systems and copied to case-keeping ones, so case is ignored.
struct DitFolder {
    fs::path dir;
    std::unordered_map<std::string, std::string> files;  // lower-case name -> real name

    void Load(const fs::path& folder)
    {
        std::error_code ec;
        const fs::path parent = folder.parent_path();
        fs::directory_iterator it(parent.empty() ? fs::path(".") : parent, fs::directory_options::skip_permission_denied, ec);
        for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (EqualNoCase(name, "dit") && it->is_directory(ec)) {
                dir = it->path();
                if (name == "dit")
                    break;
            }
            ec.clear();
        }
        if (dir.empty())
            return;
        ec.clear();
        fs::directory_iterator d(dir, fs::directory_options::skip_permission_denied, ec);
        for (; !ec && d != fs::directory_iterator(); d.increment(ec)) {
            const std::string name = d->path().filename().string();
            if (EndsWithNoCase(name, ".dit"))
                files.emplace(Lower(name), name);
        }
    }

    // The log of a recording: its name with the extension (only) replaced by ".dit".
    std::string PathFor(std::string_view tsName) const
    {
        if (dir.empty())
            return {};
        const std::string key = Lower(tsName.substr(0, tsName.size() - 3)) + ".dit";
        const auto it = files.find(key);
        return it == files.end() ? std::string() : (dir / it->second).string();
    }
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Header and GPS log readers

std::uint16_t EventFlags(std::uint8_t eventCode)
{
    switch (eventCode) {
    case 1: return 1;
    case 2: return 2;
    case 3: return 0x20;
    case 4: return 0x40;
    default: return 0;
    }
}

bool ReadRecordingHeader(const std::uint8_t* head, std::size_t length, RecordingHeader* out)
{
    // A short read must not leave older bytes standing in for the end time.
    if (head == nullptr || length < 72)
        return false;
    RecordingHeader h;
    if (!HeaderTime(head + 50, &h.start, h.startDate) || !HeaderTime(head + 66, &h.end, h.endDate))
        return false;
    h.eventCode = head[64];
    *out = h;
    return true;
}

void CDitDistance::Feed(const char* data, std::size_t size)
{
    while (size > 0) {
        const char* nl = static_cast<const char*>(std::memchr(data, '\n', size));
        const std::size_t take = nl ? static_cast<std::size_t>(nl - data) : size;
        if (!m_skipping) {
            m_line.append(data, take);
            // The reader takes lines of up to 1023 characters and skips longer ones.
            if (m_line.size() > CNmeaLogReader::kLineBytes - 1) {
                m_line.clear();
                m_skipping = true;
            }
        }
        if (nl == nullptr)
            return;
        if (!m_skipping)
            Line(m_line);
        m_line.clear();
        m_skipping = false;
        data += take + 1;
        size -= take + 1;
    }
}

void CDitDistance::Line(std::string_view line)
{
    // The reader sees a line up to its first NUL.
    line = line.substr(0, line.find('\0'));
    if (line.ends_with('\r'))
        line.remove_suffix(1);
    if (IsRmcLine(line)) {
        const GpsPoint p = m_reader.ParseLine(line);
        // A track counts only once it holds a point the reader would keep.
        if (!p.invalid && GpsDateTimeFromText(std::string_view(p.date, strnlen(p.date, sizeof p.date)),
                                              std::string_view(p.time, strnlen(p.time, sizeof p.time))))
            m_trackHasPoints = true;
        m_reader.AddDistance();
    } else if (line.starts_with("$time:")) {
        if (m_trackHasPoints)
            m_total += m_reader.m_length;
        m_reader.NoteTimeLine(line);
        m_reader.Reset();
        m_trackHasPoints = false;
    }
}

double CDitDistance::Finish()
{
    if (!m_skipping && !m_line.empty())
        Line(m_line);
    m_line.clear();
    m_skipping = false;
    if (m_trackHasPoints)
        m_total += m_reader.m_length;
    m_trackHasPoints = false;
    m_reader.Reset();
    const double total = m_total;
    m_total = 0;
    return total;
}

double DitFileDistance(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return 0.0;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return 0.0;
    }
    CDitDistance d;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        d.Feed(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return d.Finish();
}

// ---------------------------------------------------------------------------------------------
// Source

bool CSourceBoxCtx::BackupFile::Create(const std::string& path)
{
    Close();
    // A new backup must not carry an older one's blocks after its own.
    m_hFile = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          CREATE_ALWAYS, 0, nullptr);
    return IsOpen();
}

CSourceBoxCtx::CSourceBoxCtx(CJtvCtrl* engine) : CSourceCtx(engine)
{
    std::memset(&m_latest, 0, sizeof m_latest);
}

CSourceBoxCtx::~CSourceBoxCtx()
{
    CSourceCtx::Stop(INFINITE);
    // The engine is being torn down around us: the backup is finished, recording left alone.
    FinishBackup(false);
}

bool CSourceBoxCtx::Start()
{
    bool backup;
    {
        CCritSecsLock lock(m_backupLock);
        backup = !m_segments.empty();
    }
    if (!backup) {
        bool loaded;
        {
            CCritSecsLock lock(m_listLock);
            loaded = !m_items.empty();
        }
        // A loaded list is reused: reloading would change the list under a caller's feet.
        if (!loaded && !CStoReader::IsOpen() && LoadFileList() == nullptr)
            return false;
        CCritSecsLock lock(m_listLock);
        if (m_working.empty()) {
            for (const Item& item : m_items) {
                if (item.entry)
                    m_working.push_back(item.entry);
            }
            std::stable_sort(m_working.begin(), m_working.end(), [](const EntryPtr& a, const EntryPtr& b) {
                return CardDateToTime(a->startDate) < CardDateToTime(b->startDate);
            });
        }
    } else {
        const LONG valueC = m_engine != nullptr ? m_engine->m_valueC.load(std::memory_order_relaxed) : 0;
        // With conversion chosen no ".sd" would be written at all: that is no backup.
        if (valueC == 1 || ExportOption() == 1)
            return false;
        if (!OpenBackupOutput())
            return false;
        CCritSecsLock backupLock(m_backupLock);
        CCritSecsLock lock(m_listLock);
        m_working.clear();
        for (const RecordingEntry& b : m_segments)
            m_working.push_back(std::make_shared<RecordingEntry>(b));
        m_workingBlocks = m_segmentBlocks;
    }
    {
        CCritSecsLock lock(m_listLock);
        m_segmentCursor = 0;
        // Nothing here reads media, so the position stays at the list's start for the whole run.
        m_playPosition.store(0, std::memory_order_relaxed);
        m_workingStart.store(m_working.empty() ? 0 : CardDateToTime(m_working.front()->startDate),
                             std::memory_order_relaxed);
        m_workingEnd.store(m_working.empty() ? 0 : CardDateToTime(m_working.back()->endDate),
                           std::memory_order_relaxed);
    }
    return CSourceCtx::Start();
}

void CSourceBoxCtx::Stop(DWORD timeout_ms)
{
    CSourceCtx::Stop(timeout_ms);
    FinishBackup(true);
    CCritSecsLock lock(m_listLock);
    m_working.clear();
    m_workingBlocks.clear();
    m_segmentCursor = 0;
}

void CSourceBoxCtx::Reset()
{
    Stop(kStopWaitMs);
    CStoReader::Close();
}

std::int64_t CSourceBoxCtx::CurrentTime() const
{
    const RecordingEntry* entry = CurrentEntry();
    return entry != nullptr ? CardDateToTime(entry->startDate) : -1;
}

void CSourceBoxCtx::SetSeekFlag(bool on)
{
    m_seekFlag.store(on, std::memory_order_relaxed);
    if (m_engine != nullptr)
        if (AudioClockAnchor* anchor = m_engine->Anchor(0))
            anchor->RequestResync();
}

void CSourceBoxCtx::ResetPlayState()
{
    m_playPosition.store(0, std::memory_order_relaxed);
    if (m_engine != nullptr) {
        if (m_engine->m_fps[0])
            m_engine->m_fps[0]->ResetTimes();
        m_engine->m_channel.FrameClock().ResetTimes();
    }
    Sleep(1);
}

void CSourceBoxCtx::PostCarInfo()
{
    if (m_engine == nullptr)
        return;
    // Pictures not shown (value B 0) in the modes of value C or the export option: no video
    // thread counts play seconds, and the counter tells this source's play position instead.
    if (m_engine->m_valueB.load(std::memory_order_relaxed) == 0 &&
        (m_engine->m_valueC.load(std::memory_order_relaxed) == 1 || ExportOption() == 1))
        m_engine->m_playSeconds.store(PlayPosition(), std::memory_order_relaxed);
    m_engine->PostNotify(WM_JTV_CARINFO, 0);
}

// ---------------------------------------------------------------------------------------------
// Recording list

void CSourceBoxCtx::SetExportFolder(std::string_view folder)
{
    if (m_engine == nullptr)
        return;
    CCritSecsLock lock(m_folderLock);
    m_engine->m_exportFolder.assign(folder);
}

std::string CSourceBoxCtx::ExportFolder()
{
    if (m_engine == nullptr)
        return {};
    CCritSecsLock lock(m_folderLock);
    return m_engine->m_exportFolder;
}

const RecordingEntry* CSourceBoxCtx::LoadFileList()
{
    return LoadFileList(ExportFolder());
}

const RecordingEntry* CSourceBoxCtx::LoadFileList(const std::string& folderText)
{
    CCritSecsLock loadLock(m_loadLock);
    PostCarInfo();
    m_counted.store(0, std::memory_order_relaxed);
    m_walked.store(0, std::memory_order_relaxed);

    std::vector<Item> items;
    fs::path folder(folderText);
    // "x/rec/" and "x/rec" name the same folder; only the latter has the right parent.
    while (folder.has_relative_path() && !folder.has_filename())
        folder = folder.parent_path();

    struct Candidate {
        std::string name;
        std::int64_t size;
    };
    std::vector<Candidate> candidates;
    if (!folderText.empty()) {
        std::error_code ec;
        fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
        for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
            std::string name = it->path().filename().string();
            if (EndsWithNoCase(name, ".ts"))
                candidates.push_back({std::move(name), -1});
        }
    }
    // The order must not depend on the file system's: names first, then start times.
    std::sort(candidates.begin(), candidates.end(),
              [](const Candidate& a, const Candidate& b) { return a.name < b.name; });
    LONG counted = 0;
    for (Candidate& c : candidates) {
        struct stat st {};
        if (::stat((folder / c.name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
            c.size = st.st_size;
        if (c.size > kCountedAbove)
            ++counted;
    }
    m_counted.store(counted, std::memory_order_relaxed);

    DitFolder dit;
    if (!candidates.empty())
        dit.Load(folder);
    std::vector<std::uint8_t> head(kHeaderBytes);
    for (const Candidate& c : candidates) {
        if (c.size <= kWalkedAbove)
            continue;
        PostCarInfo();
        m_walked.fetch_add(1, std::memory_order_relaxed);
        const std::string path = (folder / c.name).string();
        const long n = ReadHead(path, head.data(), head.size());
        RecordingHeader h;
        if (n <= 0 || !ReadRecordingHeader(head.data(), static_cast<std::size_t>(n), &h) || h.end - h.start <= 0)
            continue;
        auto entry = std::make_shared<RecordingEntry>();
        std::memset(entry.get(), 0, sizeof(RecordingEntry));
        for (RecordingEntry::Slot& e : entry->entries)
            std::memcpy(e.date, h.endDate, sizeof e.date);
        entry->entries[0].flags = EventFlags(h.eventCode);
        entry->time = static_cast<std::uint32_t>(h.end);
        std::memcpy(entry->startDate, h.startDate, sizeof entry->startDate);
        std::memcpy(entry->endDate, h.endDate, sizeof entry->endDate);
        Item item;
        item.path = path;
        item.entry = std::move(entry);
        item.start = h.start;
        item.end = std::min(h.end, h.start + kMaxLength);
        item.length = item.end - item.start;
        const std::string log = dit.PathFor(c.name);
        item.distance = log.empty() ? 0.0 : DitFileDistance(log);
        items.push_back(std::move(item));
    }
    // Stable: equal starts keep their name order. Each path and distance moves with its entry.
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.start < b.start; });

    CCritSecsLock lock(m_listLock);
    for (Item& item : items)
        item.entry = Intern(item.path, std::move(item.entry));
    m_items = std::move(items);
    // The index pointed into the old list: kept, it would name another recording of the new one,
    // or none at all and NextFile would answer "" until a SelectFile. From -1, NextFile opens the first.
    m_fileIndex = -1;
    return m_items.empty() ? nullptr : m_items.front().entry.get();
}

CSourceBoxCtx::EntryPtr CSourceBoxCtx::Intern(const std::string& path, EntryPtr fresh)
{
    auto it = m_handedOut.find(path);
    if (it == m_handedOut.end()) {
        m_handedOut.emplace(path, fresh);
        return fresh;
    }
    if (std::memcmp(it->second.get(), fresh.get(), sizeof(RecordingEntry)) == 0)
        return it->second;
    m_replaced.push_back(std::move(it->second));
    it->second = fresh;
    return fresh;
}

const RecordingEntry* CSourceBoxCtx::FirstEntry()
{
    CCritSecsLock lock(m_listLock);
    return m_items.empty() ? nullptr : m_items.front().entry.get();
}

int CSourceBoxCtx::Count()
{
    CCritSecsLock lock(m_listLock);
    return static_cast<int>(m_items.size());
}

void CSourceBoxCtx::ClearLists()
{
    CCritSecsLock lock(m_listLock);
    m_items.clear();
    m_fileIndex = -1;  // no entry is current in an empty list; NextFile starts again from the first
    m_working.clear();
    m_workingBlocks.clear();
    m_segmentCursor = 0;
}

bool CSourceBoxCtx::Times(int n, std::int64_t* start, std::int64_t* end, std::int64_t* length)
{
    CCritSecsLock lock(m_listLock);
    if (n < 0 || static_cast<std::size_t>(n) >= m_items.size())
        return false;
    const Item& item = m_items[static_cast<std::size_t>(n)];
    if (start)
        *start = item.start;
    if (end)
        *end = item.end;
    if (length)
        *length = item.length;
    return true;
}

std::string CSourceBoxCtx::Path(int n)
{
    CCritSecsLock lock(m_listLock);
    if (n < 0 || static_cast<std::size_t>(n) >= m_items.size())
        return {};
    return m_items[static_cast<std::size_t>(n)].path;
}

std::vector<std::string> CSourceBoxCtx::Paths()
{
    CCritSecsLock lock(m_listLock);
    std::vector<std::string> paths;
    paths.reserve(m_items.size());
    for (const Item& item : m_items)
        paths.push_back(item.path);
    return paths;
}

const RecordingEntry* CSourceBoxCtx::Entry(int n)
{
    CCritSecsLock lock(m_listLock);
    if (n < 0 || static_cast<std::size_t>(n) >= m_items.size())
        return nullptr;
    return m_items[static_cast<std::size_t>(n)].entry.get();
}

// ---------------------------------------------------------------------------------------------
// Navigation and positions

bool CSourceBoxCtx::SelectFile(int n, std::string* path)
{
    CCritSecsLock lock(m_listLock);
    if (n < 0 || static_cast<std::size_t>(n) >= m_items.size()) {
        if (path != nullptr)
            path->clear();
        return false;
    }
    m_fileIndex = n;
    if (path != nullptr)
        *path = m_items[static_cast<std::size_t>(n)].path;
    return true;
}

std::string CSourceBoxCtx::NextFile()
{
    CCritSecsLock lock(m_listLock);
    const int count = static_cast<int>(m_items.size());
    if (count == 0 || m_fileIndex < -1 || m_fileIndex > count - 1)
        return {};
    if (m_fileIndex < count - 1)
        ++m_fileIndex;
    return m_items[static_cast<std::size_t>(m_fileIndex)].path;
}

std::string CSourceBoxCtx::PrevFile()
{
    CCritSecsLock lock(m_listLock);
    if (m_fileIndex < 1 || static_cast<std::size_t>(m_fileIndex) > m_items.size())
        return {};
    --m_fileIndex;
    return m_items[static_cast<std::size_t>(m_fileIndex)].path;
}

int CSourceBoxCtx::CurrentFileIndex()
{
    CCritSecsLock lock(m_listLock);
    return m_fileIndex;
}

int CSourceBoxCtx::FindFile(std::string_view name)
{
    CCritSecsLock lock(m_listLock);
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        if (EqualNoCase(m_items[i].path, name))
            return static_cast<int>(i);
    }
    return -1;
}

const RecordingEntry* CSourceBoxCtx::FindSegment(const RecordingEntry* entry)
{
    CCritSecsLock lock(m_listLock);
    // The list being played, or before playback the loaded list (the same entries in the
    // same order), so that a caller can walk the list as soon as it is loaded.
    // A backup's working list holds copies: the caller knows its blocks by its own pointers,
    // which stand at the same places.
    const std::size_t count = m_working.empty() ? m_items.size() : m_working.size();
    const auto at = [&](std::size_t i) -> const RecordingEntry* {
        if (m_working.empty())
            return m_items[i].entry.get();
        return m_workingBlocks.empty() ? m_working[i].get() : static_cast<const RecordingEntry*>(m_workingBlocks[i]);
    };
    if (count == 0 || entry == nullptr)
        return nullptr;
    m_segmentCursor = std::min(m_segmentCursor, count - 1);
    std::size_t found = m_segmentCursor;
    if (at(found) != entry) {
        found = 0;
        while (found < count && at(found) != entry)
            ++found;
        if (found == count)
            return nullptr;
    }
    m_segmentCursor = found + 1;
    return m_segmentCursor < count ? at(m_segmentCursor) : nullptr;
}

std::int64_t CSourceBoxCtx::CurrentFileStart()
{
    CCritSecsLock lock(m_listLock);
    if (m_fileIndex < 0 || static_cast<std::size_t>(m_fileIndex) >= m_items.size())
        return 0;
    return m_items[static_cast<std::size_t>(m_fileIndex)].start;
}

std::int64_t CSourceBoxCtx::CurrentFileLength()
{
    CCritSecsLock lock(m_listLock);
    if (m_fileIndex < 0 || static_cast<std::size_t>(m_fileIndex) >= m_items.size())
        return 0;
    return m_items[static_cast<std::size_t>(m_fileIndex)].length;
}

std::size_t CSourceBoxCtx::CurrentForStart(std::int64_t currentStart) const
{
    // Recordings may share a start second: the entry being played is the one meant.
    if (m_fileIndex >= 0 && static_cast<std::size_t>(m_fileIndex) < m_items.size() &&
        m_items[static_cast<std::size_t>(m_fileIndex)].start == currentStart)
        return static_cast<std::size_t>(m_fileIndex);
    for (std::size_t i = m_items.size(); i-- > 0;) {
        if (m_items[i].start == currentStart)
            return i;
    }
    return 0;
}

std::size_t CSourceBoxCtx::NearestStart(std::int64_t t) const
{
    std::size_t nearest = 0;
    std::int64_t best = INT64_MAX;
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        const Item& item = m_items[i];
        const std::int64_t d = t >= item.start ? t - item.start : item.start - t;
        if (d < best) {
            best = d;
            nearest = i;
        }
    }
    return nearest;
}

std::int64_t CSourceBoxCtx::TimeToPosition(std::int64_t t, std::int64_t currentStart)
{
    CCritSecsLock lock(m_listLock);
    if (m_items.empty())
        return 0;
    const std::size_t cur = CurrentForStart(currentStart);
    std::size_t file = m_items.size();
    for (std::size_t i = m_items.size(); i-- > 0;) {
        if (m_items[i].start <= t && t < m_items[i].end) {
            file = i;
            break;
        }
    }
    if (file == m_items.size())
        file = NearestStart(t);
    const Item& item = m_items[file];
    std::int64_t d = t - item.start;
    if (d < 0)
        d = 1;
    // A time past the end of the nearest file goes no further than that end, not files on.
    d = std::min(d, item.length);
    return (static_cast<std::int64_t>(file) - static_cast<std::int64_t>(cur)) * 1000 +
           d * 1000 / std::max<std::int64_t>(1, item.length);
}

bool CSourceBoxCtx::PositionForTime(std::int64_t* t, std::int64_t currentStart, std::int64_t currentLength)
{
    CCritSecsLock lock(m_listLock);
    if (m_items.empty() || t == nullptr)
        return false;
    const std::size_t cur = CurrentForStart(currentStart);
    std::size_t file = m_items.size();
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i].start <= *t && *t < m_items[i].end) {
            file = i;
            break;
        }
    }
    if (file == m_items.size()) {
        file = NearestStart(*t);
        *t = m_items[file].start + 1;
    }
    const Item& item = m_items[file];
    // One convention with the demultiplexer's relative seek: 1000 per file, either direction.
    const std::int64_t length = file == cur ? currentLength : item.length;
    const std::int64_t from = file == cur ? currentStart : item.start;
    *t = (static_cast<std::int64_t>(file) - static_cast<std::int64_t>(cur)) * 1000 +
         (*t - from) * 1000 / std::max<std::int64_t>(1, length);
    return true;
}

double CSourceBoxCtx::GetDistance(int n)
{
    CCritSecsLock lock(m_listLock);
    if (n < 0 || static_cast<std::size_t>(n) >= m_items.size())
        return 0.0;
    return m_items[static_cast<std::size_t>(n)].distance;
}

double CSourceBoxCtx::LoadProgress() const
{
    const LONG counted = m_counted.load(std::memory_order_relaxed);
    if (counted <= 0)
        return 0.0;
    // Small files are walked without being counted: the fraction stops at whole.
    return std::min(1.0, static_cast<double>(m_walked.load(std::memory_order_relaxed)) / counted);
}

// ---------------------------------------------------------------------------------------------
// Latest record

bool CSourceBoxCtx::GetCarInfo(CarInfoRecord& out)
{
    CCritSecsLock lock(m_recordLock);
    std::memcpy(&out, &m_latest, sizeof out);
    return out.IsValid();
}

void CSourceBoxCtx::SetCarInfo(const CarInfoRecord& record)
{
    CCritSecsLock lock(m_recordLock);
    std::memcpy(&m_latest, &record, sizeof m_latest);
}

// ---------------------------------------------------------------------------------------------
// Backup

bool CSourceBoxCtx::SetSegments(const void* const* blocks, int count)
{
    if (HasThread() || blocks == nullptr || count < 1)
        return false;
    CCritSecsLock lock(m_backupLock);
    if (m_segments.size() + static_cast<std::size_t>(count) > kMaxBackupBlocks)
        return false;
    std::vector<RecordingEntry> copies(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        if (blocks[i] == nullptr || !IsIndexBlock(blocks[i]))
            return false;
        // Copies: the caller's blocks need not outlive the backup.
        std::memcpy(&copies[static_cast<std::size_t>(i)], blocks[i], sizeof(RecordingEntry));
    }
    m_segments.insert(m_segments.end(), copies.begin(), copies.end());
    m_segmentBlocks.insert(m_segmentBlocks.end(), blocks, blocks + count);
    m_backupResult = BackupResult{};
    return !m_segments.empty();
}

void CSourceBoxCtx::SetBackupName(std::string path)
{
    CCritSecsLock lock(m_backupLock);
    m_backupName = std::move(path);
}

bool CSourceBoxCtx::OpenBackupOutput()
{
    std::string name;
    {
        CCritSecsLock lock(m_backupLock);
        name = m_backupName;
    }
    // A backup never writes over the recordings of the list.
    if (m_engine != nullptr && CRecordCtx::IsSourceFile(*m_engine, name))
        return false;
    CCritSecsLock lock(m_backupLock);
    if (name.empty() || !m_backupOut.Create(name))
        return false;
    if (!m_backupOut.Seek(static_cast<DWORD>(kDataArea), 0, FILE_BEGIN)) {
        m_backupOut.Close();
        return false;
    }
    return true;
}

void CSourceBoxCtx::FinishBackup(bool switchRecordingOff)
{
    {
        CCritSecsLock lock(m_backupLock);
        if (m_backupOut.IsOpen()) {
            BackupResult r;
            bool ok = m_backupOut.Seek(0, 0, FILE_BEGIN);
            if (!ok)
                r.error = "cannot position the backup file";
            for (std::size_t i = 0; ok && i < m_segments.size(); ++i) {
                std::uint8_t stored[kDiskBlockSize];
                CardStoredIndexBlock(&m_segments[i], stored);
                ok = m_backupOut.Write(stored, sizeof stored);
                if (ok)
                    ++r.blocksWritten;
                else
                    r.error = "cannot write index block " + std::to_string(i);
            }
            const bool card = m_engine != nullptr && m_engine->m_sourceType == 11;
            if (ok && card) {
                // The card block that no path fills: written zero, as the layout wants it there.
                static const std::uint8_t zero[kDiskBlockSize] = {};
                ok = m_backupOut.Seek(static_cast<DWORD>(kCardBlockOffset), 0, FILE_BEGIN) &&
                     m_backupOut.Write(zero, sizeof zero);
                if (!ok)
                    r.error = "cannot write the card block";
            }
            m_backupOut.Close();
            r.done = ok && r.blocksWritten > 0;
            m_backupResult = r;
        } else if (!m_segments.empty()) {
            m_backupResult = BackupResult{false, 0, "the backup file was not opened"};
        }
        m_segments.clear();
        m_segmentBlocks.clear();
    }
    m_counter.store(0, std::memory_order_relaxed);
    if (switchRecordingOff && m_engine != nullptr)
        m_engine->SetRecordOff();
}

CSourceBoxCtx::BackupResult CSourceBoxCtx::LastBackup()
{
    CCritSecsLock lock(m_backupLock);
    return m_backupResult;
}

std::size_t CSourceBoxCtx::SegmentCount()
{
    CCritSecsLock lock(m_backupLock);
    return m_segments.size();
}

// ---------------------------------------------------------------------------------------------
// Export name

bool CSourceBoxCtx::SetExportName(std::string_view name, LONG option)
{
    CCritSecsLock lock(m_listLock);
    m_exportFlag.store(true, std::memory_order_relaxed);
    m_exportOption.store(option, std::memory_order_relaxed);
    m_exportName.assign(name);
    // The fixed field keeps as much as fits with its terminator; the rest is zero.
    std::memset(m_exportNameField, 0, sizeof m_exportNameField);
    std::memcpy(m_exportNameField, name.data(), std::min(name.size(), sizeof m_exportNameField - 1));
    return true;
}

std::string CSourceBoxCtx::ExportName()
{
    CCritSecsLock lock(m_listLock);
    return m_exportName;
}

void CSourceBoxCtx::ExportNameField(char (&out)[20])
{
    CCritSecsLock lock(m_listLock);
    std::memcpy(out, m_exportNameField, sizeof out);
}

// ---------------------------------------------------------------------------------------------
// Conversion export

static_assert(CSourceBoxCtx::kExportChannels == kJtvChannels);

CSourceBoxCtx::ConversionCount CSourceBoxCtx::SetExportContext(int channel, CRecordCtx* ctx)
{
    if (channel < 0 || channel >= kExportChannels)
        return {};
    CCritSecsLock lock(m_conversionLock);
    const ConversionCount done{m_conversion[channel].exported, m_conversion[channel].refused};
    m_conversion[channel] = ConversionState{};
    m_conversion[channel].ctx = ctx;
    // The picture mode of an export is the one it begins with.
    m_conversion[channel].single = m_engine != nullptr && m_engine->m_valueA.load(std::memory_order_relaxed) != 0;
    m_conversionOn[channel].store(ctx != nullptr, std::memory_order_relaxed);
    // A new export never continues from another's reference pictures.
    m_encoder.XvidEncoderStop();
    return done;
}

void CSourceBoxCtx::SetConversionStart(int channel, std::int64_t pts)
{
    if (channel < 0 || channel >= kExportChannels)
        return;
    CCritSecsLock lock(m_conversionLock);
    m_conversion[channel].from = pts;
}

bool CSourceBoxCtx::ConversionActive(int channel)
{
    if (channel < 0 || channel >= kExportChannels)
        return false;
    return m_conversionOn[channel].load(std::memory_order_relaxed);
}

std::int64_t CSourceBoxCtx::ExportedPictures(int channel)
{
    if (channel < 0 || channel >= kExportChannels)
        return 0;
    CCritSecsLock lock(m_conversionLock);
    return m_conversion[channel].exported;
}

std::int64_t CSourceBoxCtx::RefusedPictures(int channel)
{
    if (channel < 0 || channel >= kExportChannels)
        return 0;
    CCritSecsLock lock(m_conversionLock);
    return m_conversion[channel].refused;
}

int CSourceBoxCtx::BuildExportPicture(const ExportPicture& picture, bool forceKey, bool single)
{
    // Value A at 0 asks for the mosaic of four channel pictures, which is complete only when
    // all four channels have a new picture; this engine drives one channel, so none is.
    if (m_engine == nullptr || !single)
        return 0;
    if (forceKey)
        m_encoder.SetFrameRate(picture.fps);
    // The decoder's own planes: no round trip through the shown (and annotated) picture.
    return m_encoder.Encode(picture.planes, picture.strides, picture.format, picture.width, picture.height,
                            forceKey);
}

bool CSourceBoxCtx::EncodeFrameForExport(int channel, std::int64_t time, const ExportPicture& picture)
{
    if (channel < 0 || channel >= kExportChannels)
        return true;
    CCritSecsLock lock(m_conversionLock);
    ConversionState& state = m_conversion[channel];
    if (state.ctx == nullptr)
        return true;
    // The clip's pictures begin at a key picture, as a clip of the recording's frames does, or
    // at the picture they were set to begin with.
    if (!state.started &&
        (state.from == INT64_MIN ? !picture.key : picture.pts == INT64_MIN || picture.pts < state.from))
        return true;
    const int size = BuildExportPicture(picture, !state.started, state.single);
    if (size <= 0) {
        ++state.refused;
        return false;
    }
    if (m_engine == nullptr || m_engine->m_recording.load(std::memory_order_relaxed) == 0)
        return false;
    ExportFrame frame;
    frame.data = m_encoder.Data();
    frame.size = static_cast<std::size_t>(size);
    frame.fps = picture.fps;
    frame.key = m_encoder.KeyFrame();
    frame.mayStart = frame.key;
    frame.xvid = true;
    frame.width = m_encoder.Width();
    frame.height = m_encoder.Height();
    frame.time = time;
    frame.pts = picture.pts;
    if (!state.ctx->WriteVideo(frame)) {
        ++state.refused;
        return false;
    }
    state.started = true;
    ++state.exported;
    return true;
}
