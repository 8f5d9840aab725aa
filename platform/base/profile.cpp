#include "platform/base/profile.h"

#include "platform/base/text.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string_view>
#include <unordered_map>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// ---------------------------------------------------------------------------------------------
// Names and values

constexpr std::string_view kBlanks = " \t\r\v\f";

std::string_view Trim(std::string_view s)
{
    const auto b = s.find_first_not_of(kBlanks);
    if (b == std::string_view::npos)
        return {};
    return s.substr(b, s.find_last_not_of(kBlanks) - b + 1);
}

std::string_view StripQuotes(std::string_view s)
{
    if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front())
        return s.substr(1, s.size() - 2);
    return s;
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

struct NoCaseHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept
    {
        std::size_t h = 14695981039346656037ull;
        for (char c : s)
            h = (h ^ static_cast<unsigned char>(LowerAscii(c))) * 1099511628211ull;
        return h;
    }
};

struct NoCaseEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept
    {
        if (a.size() != b.size())
            return false;
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (LowerAscii(a[i]) != LowerAscii(b[i]))
                return false;
        }
        return true;
    }
};

template <typename V>
using NoCaseMap = std::unordered_map<std::string, V, NoCaseHash, NoCaseEqual>;

// A caller's section or key name as the file would hold it: trimmed, and valid UTF-8 because the
// file's text is decoded into valid UTF-8. Allocates only for broken input.
class Name {
public:
    explicit Name(const char* s)
    {
        std::string_view v = s ? std::string_view(s) : std::string_view();
        if (!IsValidUtf8(v)) {
            fixed_ = SanitizeUtf8(v);
            v = fixed_;
        }
        view_ = Trim(v);
    }
    std::string_view view() const { return view_; }

private:
    std::string fixed_;
    std::string_view view_;
};

// ---------------------------------------------------------------------------------------------
// Lines of a file, with where each sits in the file's own bytes

enum class LineKind { Blank, Comment, Section, Key };

struct Line {
    std::size_t begin = 0;  // content [begin, end), line ending [end, next), in raw bytes
    std::size_t end = 0;
    std::size_t next = 0;
    LineKind kind = LineKind::Blank;
    std::string name;   // section name or key, trimmed
    std::string value;  // trimmed, one pair of matching quotes removed
};

struct RawFile {
    std::string bytes;
    TextEncoding encoding = TextEncoding::Utf8;
    std::size_t body_end = 0;  // a lone last byte of a UTF-16 file is no character: left out
    std::vector<Line> lines;
    std::string eol;  // the first line ending found, for the lines a write adds
};

void Classify(Line& line, std::string_view text)
{
    const std::string_view s = Trim(text);
    if (s.empty()) {
        line.kind = LineKind::Blank;
    } else if (s.front() == ';') {
        line.kind = LineKind::Comment;
    } else if (s.front() == '[' && s.rfind(']') != std::string_view::npos) {
        line.kind = LineKind::Section;
        line.name = Trim(s.substr(1, s.rfind(']') - 1));
    } else {
        line.kind = LineKind::Key;
        const auto eq = s.find('=');
        line.name = Trim(s.substr(0, eq));
        if (eq != std::string_view::npos)
            line.value = StripQuotes(Trim(s.substr(eq + 1)));
    }
}

RawFile SplitLines(std::string bytes)
{
    RawFile f;
    f.bytes = std::move(bytes);
    f.encoding = DetectTextEncoding(f.bytes);
    const std::string_view all = f.bytes;
    const std::size_t start = ByteOrderMarkSize(f.encoding);
    const bool wide = f.encoding == TextEncoding::Utf16Le || f.encoding == TextEncoding::Utf16Be;
    const std::size_t unit = wide ? 2 : 1;
    f.body_end = all.size() - (wide ? (all.size() - start) % 2 : 0);

    auto unit_is = [&](std::size_t at, char c) {
        if (!wide)
            return all[at] == c;
        const char hi = all[f.encoding == TextEncoding::Utf16Be ? at : at + 1];
        const char lo = all[f.encoding == TextEncoding::Utf16Be ? at + 1 : at];
        return hi == 0 && lo == c;
    };

    std::size_t pos = start;
    while (pos < f.body_end) {
        Line line;
        line.begin = pos;
        std::size_t at = pos;
        while (at < f.body_end && !unit_is(at, '\n'))
            at += unit;
        line.end = at;
        line.next = at < f.body_end ? at + unit : at;
        if (line.next != line.end && line.end > line.begin && unit_is(line.end - unit, '\r'))
            line.end -= unit;
        if (f.eol.empty() && line.next != line.end)
            f.eol = line.next - line.end == unit ? "\n" : "\r\n";
        Classify(line, DecodeTextAs(all.substr(line.begin, line.end - line.begin), f.encoding));
        pos = line.next;
        f.lines.push_back(std::move(line));
    }
    if (f.eol.empty())
        f.eol = wide ? "\r\n" : "\n";
    return f;
}

// ---------------------------------------------------------------------------------------------
// Parsed files and their cache

struct FileStamp {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    timespec ctime{};

    bool operator==(const FileStamp& o) const
    {
        return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec &&
               ctime.tv_nsec == o.ctime.tv_nsec;
    }
};

FileStamp StampOf(const struct stat& st)
{
    FileStamp s;
    s.dev = st.st_dev;
    s.ino = st.st_ino;
    s.size = st.st_size;
    s.mtime = st.st_mtim;
    s.ctime = st.st_ctim;
    return s;
}

struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> keys;  // first occurrences, file order
    NoCaseMap<std::size_t> index;
};

// Only the first section of a name and the first key of a name in it can ever be found, so only
// those are kept.
struct Profile {
    FileStamp stamp;
    std::vector<Section> sections;
    NoCaseMap<std::size_t> index;

    const Section* Find(std::string_view name) const
    {
        const auto it = index.find(name);
        return it == index.end() ? nullptr : &sections[it->second];
    }
    const std::string* Find(std::string_view section, std::string_view key) const
    {
        const Section* s = Find(section);
        if (!s)
            return nullptr;
        const auto it = s->index.find(key);
        return it == s->index.end() ? nullptr : &s->keys[it->second].second;
    }
};

std::shared_ptr<Profile> BuildProfile(const RawFile& f)
{
    auto p = std::make_shared<Profile>();
    Section* current = nullptr;  // null before the first header and inside a repeated section
    for (const Line& line : f.lines) {
        if (line.kind == LineKind::Section) {
            current = nullptr;
            if (p->index.find(line.name) == p->index.end()) {
                p->index.emplace(line.name, p->sections.size());
                p->sections.push_back(Section{line.name, {}, {}});
                current = &p->sections.back();
            }
        } else if (line.kind == LineKind::Key && current &&
                   current->index.find(line.name) == current->index.end()) {
            current->index.emplace(line.name, current->keys.size());
            current->keys.emplace_back(line.name, line.value);
        }
    }
    return p;
}

struct PathHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};

struct ProfileState {
    // Writers hold it exclusively for their read-modify-rename, readers shared.
    std::shared_mutex files;
    std::mutex cache_lock;
    std::unordered_map<std::string, std::shared_ptr<const Profile>, PathHash, std::equal_to<>> cache;
    std::atomic<std::uint64_t> content_reads{0};
};

ProfileState& State()
{
    static ProfileState state;
    return state;
}

constexpr std::size_t kCacheLimit = 64;

void CacheStore(const char* path, std::shared_ptr<const Profile> p)
{
    ProfileState& st = State();
    std::lock_guard lock(st.cache_lock);
    auto it = st.cache.find(std::string_view(path));
    if (it != st.cache.end()) {
        it->second = std::move(p);
        return;
    }
    if (st.cache.size() >= kCacheLimit)
        st.cache.clear();  // only a handful of files are ever read; this guards against leaks
    st.cache.emplace(path, std::move(p));
}

void CacheDrop(const char* path)
{
    ProfileState& st = State();
    std::lock_guard lock(st.cache_lock);
    auto it = st.cache.find(std::string_view(path));
    if (it != st.cache.end())
        st.cache.erase(it);
}

// Reads the whole file; `stamp` describes the very file that was read.
bool ReadWhole(const char* path, std::string& bytes, FileStamp& stamp)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    stamp = StampOf(st);
    bytes.clear();
    bytes.reserve(static_cast<std::size_t>(st.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    State().content_reads.fetch_add(1, std::memory_order_relaxed);
    return true;
}

// The parsed file, from the cache while the file on disk is unchanged; null when it is missing.
// The caller holds the files lock (shared or exclusive).
std::shared_ptr<const Profile> Load(const char* path)
{
    if (!path)
        return nullptr;
    struct stat st;
    if (::stat(path, &st) != 0 || !S_ISREG(st.st_mode)) {
        CacheDrop(path);
        return nullptr;
    }
    const FileStamp stamp = StampOf(st);
    ProfileState& state = State();
    {
        std::lock_guard lock(state.cache_lock);
        auto it = state.cache.find(std::string_view(path));
        if (it != state.cache.end() && it->second->stamp == stamp)
            return it->second;
    }
    std::string bytes;
    FileStamp read_stamp;
    if (!ReadWhole(path, bytes, read_stamp)) {
        CacheDrop(path);
        return nullptr;
    }
    auto p = BuildProfile(SplitLines(std::move(bytes)));
    p->stamp = read_stamp;
    CacheStore(path, p);
    return p;
}

std::shared_ptr<const Profile> LoadShared(const char* path)
{
    std::shared_lock lock(State().files);
    return Load(path);
}

// ---------------------------------------------------------------------------------------------
// Writing

struct Edit {
    std::string_view section;
    std::optional<std::string_view> key;    // none: delete the section
    std::optional<std::string_view> value;  // none: delete the key
};

// The new bytes of the file, or none when the edit changes nothing. `exact` turns false when the
// file's 8-bit code page cannot hold the new text.
std::optional<std::string> ApplyEdit(const RawFile& f, const Edit& e, bool& exact)
{
    exact = true;
    const std::string_view bytes(f.bytes.data(), f.body_end);
    auto encode = [&](const std::string& text) {
        bool ok = true;
        std::string out = EncodeTextAs(text, f.encoding, &ok);
        exact = exact && ok;
        return out;
    };
    auto splice = [&](std::size_t from, std::size_t to, const std::string& with) {
        std::string out;
        out.reserve(bytes.size() + with.size());
        out.append(bytes.substr(0, from)).append(with).append(bytes.substr(to));
        return out;
    };

    const std::size_t n = f.lines.size();
    std::size_t header = n;
    for (std::size_t i = 0; i < n; ++i) {
        if (f.lines[i].kind == LineKind::Section && NoCaseEqual{}(f.lines[i].name, e.section)) {
            header = i;
            break;
        }
    }
    std::size_t section_end = n;  // the next header, or the end
    for (std::size_t i = header + 1; header < n && i < n; ++i) {
        if (f.lines[i].kind == LineKind::Section) {
            section_end = i;
            break;
        }
    }

    if (!e.key) {
        if (header == n)
            return std::nullopt;
        const std::size_t to = section_end < n ? f.lines[section_end].begin : bytes.size();
        return splice(f.lines[header].begin, to, {});
    }

    std::size_t found = n;
    std::size_t last_key = header;
    for (std::size_t i = header + 1; header < n && i < section_end; ++i) {
        if (f.lines[i].kind != LineKind::Key)
            continue;
        last_key = i;
        if (found == n && NoCaseEqual{}(f.lines[i].name, *e.key))
            found = i;
    }

    if (!e.value) {
        if (found == n)
            return std::nullopt;
        return splice(f.lines[found].begin, f.lines[found].next, {});
    }

    if (found != n) {
        const Line& line = f.lines[found];
        return splice(line.begin, line.end, encode(line.name + "=" + std::string(*e.value)));
    }
    const std::string entry = std::string(*e.key) + "=" + std::string(*e.value);
    if (header != n) {
        const Line& after = f.lines[last_key];
        if (after.next == after.end)  // the last line of a file without a final line ending
            return splice(after.next, after.next, encode(f.eol + entry));
        return splice(after.next, after.next, encode(entry + f.eol));
    }
    std::string tail;
    if (n > 0) {
        if (f.lines.back().next == f.lines.back().end)
            tail += f.eol;
        if (f.lines.back().kind != LineKind::Blank)
            tail += f.eol;
    }
    tail += "[" + std::string(e.section) + "]" + f.eol + entry + f.eol;
    return splice(bytes.size(), bytes.size(), encode(tail));
}

// Applies the edit in the file's own encoding. An 8-bit file that cannot hold the new text, or
// would read back differently after it, is rewritten as UTF-8 instead: settings are not lost to
// '?' marks.
std::optional<std::string> EditFile(const RawFile& f, const Edit& e)
{
    bool exact = true;
    std::optional<std::string> out = ApplyEdit(f, e, exact);
    TextEncoding encoding = f.encoding;
    if (out && f.encoding == TextEncoding::Latin1 && (!exact || DetectTextEncoding(*out) != TextEncoding::Latin1)) {
        const RawFile utf8 = SplitLines(DecodeText(f.bytes));
        out = ApplyEdit(utf8, e, exact);
        encoding = utf8.encoding;
    }
    // A UTF-8 file without a mark whose text now starts with U+FEFF would lose it when read.
    if (out && encoding == TextEncoding::Utf8 && out->compare(0, 3, "\xEF\xBB\xBF") == 0)
        out->insert(0, "\xEF\xBB\xBF");
    return out;
}

bool WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Writes `bytes` to a new file beside `target` and renames it over `target`, so that the path
// always names either the old or the new complete file. `stamp` receives the new file's stamp.
bool ReplaceFile(const std::string& target, std::string_view bytes, const struct stat* old, FileStamp& stamp)
{
    static std::atomic<unsigned> counter{0};
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;
    if (old) {
        (void)::fchown(fd, old->st_uid, old->st_gid);  // works only for the owner or root
        (void)::fchmod(fd, old->st_mode & 07777);
    }
    struct stat st;
    const bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0 && ::rename(temp.c_str(), target.c_str()) == 0 &&
                    ::fstat(fd, &st) == 0;
    const int saved = errno;
    ::close(fd);
    if (!ok) {
        ::unlink(temp.c_str());
        errno = saved;
        return false;
    }
    stamp = StampOf(st);
    // Make the rename itself durable.
    const auto slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        (void)::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

// Copies at most size-1 bytes without splitting a UTF-8 sequence; returns the count copied.
DWORD CopyOut(std::string_view text, char* buffer, DWORD size)
{
    if (size == 0)
        return 0;
    std::size_t n = std::min<std::size_t>(text.size(), size - 1);
    while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    if (n > 0)
        std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<DWORD>(n);
}

// Names separated by NUL with a second NUL at the end; a list that does not fit is cut and
// size-2 returned, as Windows does.
DWORD CopyList(const std::vector<std::string>& names, char* buffer, DWORD size)
{
    if (size < 2) {
        buffer[0] = '\0';
        return 0;
    }
    std::size_t pos = 0;
    for (const std::string& name : names) {
        if (pos + name.size() + 1 > size - 1) {
            if (pos + 1 < size)
                CopyOut(name, buffer + pos, static_cast<DWORD>(size - 1 - pos));
            buffer[size - 2] = '\0';
            buffer[size - 1] = '\0';
            return size - 2;
        }
        std::memcpy(buffer + pos, name.data(), name.size());
        pos += name.size();
        buffer[pos++] = '\0';
    }
    buffer[pos] = '\0';
    if (pos == 0 && size > 1)
        buffer[1] = '\0';
    return static_cast<DWORD>(pos);
}

}  // namespace

std::string GetPrivateProfileString(const char* section, const char* key, const char* default_value,
                                    const char* file, bool* found)
{
    if (found)
        *found = false;
    if (section && key) {
        const auto profile = LoadShared(file);
        if (profile) {
            const Name s(section);
            const Name k(key);
            if (const std::string* value = profile->Find(s.view(), k.view())) {
                if (found)
                    *found = true;
                return *value;
            }
        }
    }
    return default_value ? std::string(default_value) : std::string();
}

DWORD GetPrivateProfileStringW(const char* section, const char* key, const char* default_value,
                               char* buffer, DWORD size, const char* file)
{
    if (!buffer || size == 0)
        return 0;
    if (!section)
        return CopyList(GetPrivateProfileSectionNames(file), buffer, size);
    if (!key)
        return CopyList(GetPrivateProfileKeys(section, file), buffer, size);

    const auto profile = LoadShared(file);
    if (profile) {
        const Name s(section);
        const Name k(key);
        if (const std::string* value = profile->Find(s.view(), k.view()))
            return CopyOut(*value, buffer, size);
    }
    std::string_view fallback = default_value ? std::string_view(default_value) : std::string_view();
    while (!fallback.empty() && fallback.back() == ' ')
        fallback.remove_suffix(1);
    return CopyOut(fallback, buffer, size);
}

UINT GetPrivateProfileIntW(const char* section, const char* key, INT default_value, const char* file)
{
    const UINT fallback = static_cast<UINT>(default_value);
    if (!section || !key)
        return fallback;
    const auto profile = LoadShared(file);
    if (!profile)
        return fallback;
    const Name s(section);
    const Name k(key);
    const std::string* value = profile->Find(s.view(), k.view());
    if (!value || value->empty())
        return fallback;

    // 32-bit arithmetic that wraps like the Windows parser instead of overflowing.
    std::string_view v = *value;
    bool negative = false;
    if (!v.empty() && (v.front() == '-' || v.front() == '+')) {
        negative = v.front() == '-';
        v.remove_prefix(1);
    }
    UINT base = 10;
    if (v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X') && std::isxdigit(static_cast<unsigned char>(v[2]))) {
        base = 16;
        v.remove_prefix(2);
    }
    UINT result = 0;
    for (char c : v) {
        UINT digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<UINT>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = static_cast<UINT>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = static_cast<UINT>(c - 'A' + 10);
        else
            break;
        result = result * base + digit;
    }
    return negative ? 0u - result : result;
}

BOOL WritePrivateProfileStringW(const char* section, const char* key, const char* value, const char* file)
{
    if (!section || !file || !*file) {
        errno = EINVAL;
        return FALSE;
    }
    const Name s(section);
    const Name k(key);
    const std::string v = value ? SanitizeUtf8(value) : std::string();
    // Names and values that would read back as something else, or inject lines, are refused.
    if (HasLineBreak(s.view()) || (key && (HasLineBreak(k.view()) || k.view().find('=') != std::string_view::npos ||
                                           k.view().starts_with(';') || k.view().starts_with('['))) ||
        (value && HasLineBreak(v))) {
        errno = EINVAL;
        return FALSE;
    }
    Edit edit{s.view(), std::nullopt, std::nullopt};
    if (key)
        edit.key = k.view();
    if (key && value)
        edit.value = std::string_view(v);

    std::unique_lock lock(State().files);

    // Write through a symbolic link to the file it names, as an in-place write would.
    std::string target = file;
    struct stat lst;
    if (::lstat(file, &lst) == 0 && S_ISLNK(lst.st_mode)) {
        if (char* real = ::realpath(file, nullptr)) {
            target = real;
            std::free(real);
        }
    }

    struct stat st;
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        errno = EISDIR;
        return FALSE;
    }
    if (exists && ::access(target.c_str(), W_OK) != 0)
        return FALSE;
    std::string bytes;
    FileStamp old_stamp;
    if (exists && !ReadWhole(target.c_str(), bytes, old_stamp))
        return FALSE;

    const std::optional<std::string> updated = EditFile(SplitLines(std::move(bytes)), edit);
    if (!updated)
        return TRUE;  // nothing to change: deleting what is not there
    const std::string& out = *updated;

    FileStamp stamp;
    if (!ReplaceFile(target, out, exists ? &st : nullptr, stamp)) {
        CacheDrop(file);
        return FALSE;
    }
    auto profile = BuildProfile(SplitLines(out));
    profile->stamp = stamp;
    CacheStore(file, std::move(profile));
    return TRUE;
}

std::vector<std::string> GetPrivateProfileSectionNames(const char* file)
{
    std::vector<std::string> names;
    if (const auto profile = LoadShared(file)) {
        names.reserve(profile->sections.size());
        for (const Section& s : profile->sections)
            names.push_back(s.name);
    }
    return names;
}

std::vector<std::string> GetPrivateProfileKeys(const char* section, const char* file)
{
    std::vector<std::string> keys;
    if (!section)
        return keys;
    if (const auto profile = LoadShared(file)) {
        const Name s(section);
        if (const Section* sec = profile->Find(s.view())) {
            keys.reserve(sec->keys.size());
            for (const auto& kv : sec->keys)
                keys.push_back(kv.first);
        }
    }
    return keys;
}

std::uint64_t ProfileContentReads()
{
    return State().content_reads.load(std::memory_order_relaxed);
}
