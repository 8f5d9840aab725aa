#include "tests/support/playharness/harness.h"

#include "engine/EngineMessages.h"
#include "engine/SourceType.h"
#include "platform/base/clock.h"
#include "platform/base/message.h"
#include "platform/media/presenter.h"
#include "tools/recgen/recgen.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>
#include <sstream>
#include <tuple>

#include <sys/wait.h>

extern "C" {
#include <libavutil/log.h>
}

namespace playharness {

namespace {

std::uint64_t Fnv(const std::vector<std::uint8_t>& bytes)
{
    std::uint64_t h = 1469598103934665603ull;
    for (std::uint8_t b : bytes) {
        h ^= b;
        h *= 1099511628211ull;
    }
    return h;
}

std::string Quote(const std::string& s)
{
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string Run(const std::string& command)
{
    std::string out;
    if (std::FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        pclose(p);
    }
    return out;
}

// "key=value" out of one line of ffprobe's compact output.
std::string Value(const std::string& line, const std::string& key)
{
    std::size_t at = 0;
    while ((at = line.find(key + "=", at)) != std::string::npos) {
        if (at == 0 || line[at - 1] == '|') {
            const std::size_t from = at + key.size() + 1;
            return line.substr(from, line.find('|', from) - from);
        }
        at += key.size();
    }
    return {};
}

std::string Describe(double speed)
{
    char buf[32];
    if (speed > 0 && speed < 1)
        std::snprintf(buf, sizeof buf, "1/%gx", 1.0 / speed);
    else
        std::snprintf(buf, sizeof buf, "%gx", speed);
    return buf;
}

}  // namespace

std::vector<Box> InnerBoxes(int width, int height)
{
    // A band between a quarter and the middle of the height, clear of the texts at the top
    // and the speed label at the bottom.
    const int s = std::max(4, std::min(width, height) / 10);
    const int y0 = height / 4, y1 = height / 2 - s / 2;
    return {{width / 4, y0, s, s},
            {width / 2, y0, s, s},
            {width * 3 / 4 - s, y1, s, s},
            {width / 3, y1, s, s}};
}

std::vector<std::uint8_t> Reference::Sample(const std::uint8_t* bgra, int width, int height)
{
    std::vector<std::uint8_t> out;
    for (const Box& b : InnerBoxes(width, height))
        for (int y = b.y; y < b.y + b.h; ++y) {
            const std::uint8_t* row = bgra + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(b.x)) * 4;
            out.insert(out.end(), row, row + static_cast<std::size_t>(b.w) * 4);
        }
    return out;
}

bool Reference::Add(const std::string& path, double start_seconds, std::string* error)
{
    auto fail = [&](std::string why) {
        if (error != nullptr)
            *error = why + ": " + path;
        return false;
    };
    const std::string probe = Run("ffprobe -v error -select_streams v:0 -show_entries stream=width,height "
                                  "-of compact=p=0 " + Quote(path));
    const int w = std::atoi(Value(probe.substr(0, probe.find('\n')), "width").c_str());
    const int h = std::atoi(Value(probe.substr(0, probe.find('\n')), "height").c_str());
    if (w <= 0 || h <= 0)
        return fail("ffprobe finds no picture size");
    if (width_ != 0 && (w != width_ || h != height_))
        return fail("another picture size");
    width_ = w;
    height_ = h;

    // Display order, as the decoder hands the pictures out.
    std::vector<std::int64_t> pts;
    std::vector<bool> keys;
    std::istringstream frames(Run("ffprobe -v error -select_streams v:0 -show_entries frame=key_frame,pts "
                                  "-of compact=p=0 " + Quote(path)));
    for (std::string line; std::getline(frames, line);) {
        if (line.find("pts=") == std::string::npos)
            continue;
        pts.push_back(std::atoll(Value(line, "pts").c_str()));
        keys.push_back(Value(line, "key_frame") == "1");
    }
    if (pts.empty())
        return fail("ffprobe finds no pictures");
    const std::int64_t first = *std::min_element(pts.begin(), pts.end());

    const std::string cmd = "ffmpeg -v error -i " + Quote(path) +
                            " -map 0:v:0 -fps_mode passthrough -pix_fmt bgra -f rawvideo -";
    std::FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr)
        return fail("cannot run ffmpeg");
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4);
    std::size_t k = 0;
    while (std::fread(frame.data(), 1, frame.size(), p) == frame.size()) {
        if (k >= pts.size())
            break;
        std::vector<std::uint8_t> sample = Sample(frame.data(), w, h);
        const int index = static_cast<int>(media_.size());
        byHash_.emplace(Fnv(sample), index);
        samples_.push_back(std::move(sample));
        media_.push_back(start_seconds + static_cast<double>(pts[k] - first) / 90000.0);
        key_.push_back(keys[k]);
        ++k;
    }
    const int status = pclose(p);
    if (k != pts.size() || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return fail("ffmpeg decoded " + std::to_string(k) + " of " + std::to_string(pts.size()) + " pictures");
    return true;
}

int Reference::Gop() const
{
    int gop = 1, last = -1;
    for (std::size_t i = 0; i < key_.size(); ++i)
        if (key_[i]) {
            if (last >= 0)
                gop = std::max(gop, static_cast<int>(i) - last);
            last = static_cast<int>(i);
        }
    return gop;
}

double Reference::Interval() const
{
    return media_.size() < 2 ? 40.0 : (media_[1] - media_[0]) * 1000.0;
}

int Reference::Identify(const std::vector<std::uint8_t>& sample) const
{
    const auto range = byHash_.equal_range(Fnv(sample));
    for (auto it = range.first; it != range.second; ++it)
        if (samples_[static_cast<std::size_t>(it->second)] == sample)
            return it->second;
    double diff = 0;
    const int best = Nearest(sample, &diff);
    // Neighbouring pictures of the pattern differ by tens of levels on average.
    return diff <= 2.0 ? best : -1;
}

int Reference::Nearest(const std::vector<std::uint8_t>& sample, double* difference) const
{
    int best = -1;
    double bestDiff = std::numeric_limits<double>::max();
    for (std::size_t i = 0; i < samples_.size(); ++i) {
        if (samples_[i].size() != sample.size())
            continue;
        std::uint64_t sum = 0;
        for (std::size_t b = 0; b < sample.size(); ++b)
            sum += static_cast<std::uint64_t>(std::abs(static_cast<int>(sample[b]) - static_cast<int>(samples_[i][b])));
        const double diff = static_cast<double>(sum) / static_cast<double>(sample.size());
        if (diff < bestDiff) {
            bestDiff = diff;
            best = static_cast<int>(i);
        }
    }
    *difference = bestDiff;
    return best;
}

// ---------------------------------------------------------------------------------------------

Session::Session(const Reference& reference) : reference_(reference), origin_(Clock::now())
{
    av_log_set_level(AV_LOG_QUIET);
    engine_ = JtvCreate();
    render_ = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    notify_ = CreateMessageWindow([this](HWND, UINT message, WPARAM, LPARAM lparam) -> LRESULT {
        if (message == WM_JTV_PLAYEND && lparam == 0)
            ends_.push_back(Now());
        return 0;
    });
    JtvSetRenderWindow(engine_, render_, 0);
    JtvSetNotifyWindow(engine_, notify_, 0);
    const HWND render = render_;
    SetPresentHook([this, render](HWND window) {
        if (window != render)
            return;
        const double wall = Now();
        auto presenter = FindPresenter(window);
        const int w = JtvGetVideoWidth(engine_, 0), h = JtvGetVideoHeight(engine_, 0);
        if (presenter == nullptr || w <= 0 || h <= 0)
            return;
        frame_.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4);
        if (!presenter->Compose(frame_.data(), w, h, w * 4))
            return;
        std::vector<std::uint8_t> sample;
        if (w == reference_.width() && h == reference_.height())
            sample = Reference::Sample(frame_.data(), w, h);
        std::lock_guard<std::mutex> lock(mutex_);
        raw_.push_back({wall, std::move(sample)});
    });
}

Session::~Session()
{
    JtvDestroy(engine_);
    SetPresentHook({});
    DestroyPresenter(render_);
    DestroyMessageWindow(render_);
    DestroyMessageWindow(notify_);
}

double Session::Now() const
{
    return std::chrono::duration<double, std::milli>(Clock::now() - origin_).count();
}

void Session::Note(std::string what, double speed)
{
    marks_.push_back({Now(), std::move(what), speed});
}

bool Session::OpenFile(const std::string& path)
{
    if (JtvOpenFile(engine_, path) != kSourceTs || !JtvOpenSourceBox(engine_, 0, 0, 0))
        return false;
    speed_ = 1.0;
    Note("open", 1.0);
    return true;
}

bool Session::OpenFolder(const std::string& dir)
{
    JtvSetExportFolder(engine_, dir);
    JtvOpenFile(engine_, dir);
    if (JtvLoadFileList(engine_) == nullptr)
        return false;
    JtvSelectFile(engine_, 0);
    if (!JtvOpenSourceBox(engine_, 0, 0, 0))
        return false;
    speed_ = 1.0;
    Note("open folder", 1.0);
    return true;
}

bool Session::OpenFromFolder(const std::string& folder, const std::string& path)
{
    JtvSetExportFolder(engine_, folder);
    if (JtvOpenFile(engine_, path) != kSourceTs || JtvLoadFileList(engine_) == nullptr ||
        !JtvOpenSourceBox(engine_, 0, 0, 0))
        return false;
    speed_ = 1.0;
    Note("open", 1.0);
    return true;
}

void Session::Speed(double speed)
{
    JtvSetPlaySpeed(engine_, speed);
    // A frame step leaves play paused.
    speed_ = std::fabs(speed) == 1.1 ? 0.0 : speed;
    Note(std::fabs(speed) == 1.1 ? (speed > 0 ? "step" : "step back") : Describe(speed), speed);
}

void Session::Seek(int calendarSecond, BYTE nearest)
{
    JtvSeekToTime(engine_, calendarSecond, nearest);
    Note("seek", speed_);
}

void Session::SelectFile(int n)
{
    JtvSelectFile(engine_, n);
    Note("file " + std::to_string(n), speed_);
}

int Session::EndsSince(double wall) const
{
    return static_cast<int>(std::count_if(ends_.begin(), ends_.end(), [&](double w) { return w >= wall; }));
}

bool Session::RunUntil(const std::function<bool()>& done, double limit_ms)
{
    const double end = Now() + limit_ms;
    MSG msg;
    for (;;) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        if (done())
            return true;
        if (Now() >= end)
            return false;
        Sleep(2);
    }
}

void Session::Run(double ms)
{
    RunUntil([] { return false; }, ms);
}

bool Session::RunUntilShown(const std::function<bool(int)>& which, double limit_ms)
{
    // Only pictures shown from now on count.
    std::size_t seen = ShownCount();
    return RunUntil(
        [&] {
            const std::vector<Shown> log = Log();
            for (; seen < log.size(); ++seen)
                if (log[seen].picture >= 0 && which(log[seen].picture))
                    return true;
            return false;
        },
        limit_ms);
}

std::vector<Shown> Session::Log() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t i = named_.size(); i < raw_.size(); ++i) {
        const std::vector<std::uint8_t>& b = raw_[i].sample;
        bool black = !b.empty();
        for (std::size_t k = 0; black && k < b.size(); k += 4)
            black = b[k] == 0 && b[k + 1] == 0 && b[k + 2] == 0;
        named_.push_back({raw_[i].wall, b.empty() ? -1 : black ? kBlack : reference_.Identify(b)});
    }
    return named_;
}

std::string Session::Unnamed(std::size_t index) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (index >= raw_.size() || raw_[index].sample.empty())
        return "a picture of another size";
    double diff = 0;
    const int nearest = reference_.Nearest(raw_[index].sample, &diff);
    char buf[96];
    std::snprintf(buf, sizeof buf, "nearest picture %d, %.1f levels apart on average", nearest, diff);
    return buf;
}

int Session::LastShown() const
{
    const std::vector<Shown> log = Log();
    return log.empty() ? -1 : log.back().picture;
}

std::size_t Session::ShownCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return raw_.size();
}

// ---------------------------------------------------------------------------------------------

std::vector<Shown> Between(const std::vector<Shown>& log, double from, double to)
{
    std::vector<Shown> out;
    for (const Shown& s : log)
        if (s.wall >= from && s.wall < to)
            out.push_back(s);
    return out;
}

double Pace(const std::vector<Shown>& log, const Reference& reference, double from, double to)
{
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const Shown& s : Between(log, from, to)) {
        if (s.picture < 0)
            continue;
        const double x = s.wall / 1000.0, y = reference.Media(s.picture);
        n += 1;
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    const double d = n * sxx - sx * sx;
    // Key-pictures-only play may show just two pictures in a window.
    if (n < 2 || d <= 0)
        return std::nan("");
    return (n * sxy - sx * sy) / d;
}

std::vector<double> WindowPaces(const std::vector<Shown>& log, const Reference& reference, double from,
                                double to)
{
    std::vector<double> out;
    for (double at = from + 1000; at + 2000 <= to + 1e-6; at += 2000)
        out.push_back(Pace(log, reference, at, at + 2000));
    return out;
}

double FreshPace(const Reference& reference, const std::string& source, bool folder, double speed,
                 double seconds)
{
    static std::map<std::tuple<std::string, double, double>, double> cache;
    const auto key = std::make_tuple(source, speed, seconds);
    if (auto it = cache.find(key); it != cache.end())
        return it->second;
    Session s(reference);
    if (!(folder ? s.OpenFolder(source) : s.OpenFile(source)))
        return std::nan("");
    if (speed != 1.0)
        s.Speed(speed);
    const double from = s.Now();
    s.Run(seconds * 1000.0);
    const double pace = Pace(s.Log(), reference, from + 1000, s.Now());
    cache[key] = pace;
    return pace;
}

void JudgeOrder(const std::vector<Shown>& log, const Reference& reference, const Phase& phase,
                std::vector<std::string>* faults)
{
    const std::vector<Shown> shown = Between(log, phase.from, phase.to);
    int last = -1, unnamed = 0;
    bool jumped = !phase.seek;
    // A picture already on its way when the user acted continues what was shown before.
    int before = -1;
    for (const Shown& s : log)
        if (s.wall < phase.from && s.picture >= 0)
            before = s.picture;
    for (const Shown& s : shown) {
        if (s.picture < 0) {
            unnamed += s.picture == kBlack ? 0 : 1;
            continue;
        }
        if (last < 0 && before >= 0 && s.picture == before + 1 && s.wall < phase.from + 300) {
            before = -1;
            continue;
        }
        // A seek jumps once; its place is judged on its own.
        const bool jump = !jumped && last >= 0 && s.picture != last + 1;
        jumped = jumped || jump;
        if (last >= 0 && s.picture != last && !jump) {
            char buf[160];
            buf[0] = '\0';
            if (phase.speed > 0 && s.picture < last)
                std::snprintf(buf, sizeof buf, "%s: picture %d after %d (backwards)", phase.name.c_str(), s.picture, last);
            else if (phase.speed > 0 && phase.speed <= 1.0 && s.picture != last + 1)
                std::snprintf(buf, sizeof buf, "%s: picture %d after %d (skipped %d)", phase.name.c_str(), s.picture,
                              last, s.picture - last - 1);
            else if (phase.speed < 0 && (s.picture > last || !reference.Key(s.picture)))
                std::snprintf(buf, sizeof buf, "%s: picture %d after %d in backward play", phase.name.c_str(),
                              s.picture, last);
            if (buf[0] != '\0' && faults->size() < 40)
                faults->push_back(buf);
        }
        last = s.picture;
    }
    if (unnamed > 0)
        faults->push_back(phase.name + ": " + std::to_string(unnamed) + " pictures match no reference picture");
}

double WorstRatio(const Phase& phase)
{
    if (!(phase.fresh > 0))
        return 0;
    double worst = 1.0;
    for (double w : phase.windows) {
        const double r = std::isnan(w) ? 0.0 : w / phase.fresh;
        if (std::fabs(r - 1.0) > std::fabs(worst - 1.0))
            worst = r;
    }
    return worst;
}

// ---------------------------------------------------------------------------------------------

namespace {

constexpr int kFps = 25;
constexpr double kFileSeconds = 40.0;

class FixtureHolder {
public:
    FixtureHolder()
    {
        av_log_set_level(AV_LOG_QUIET);
        std::string pattern = (std::filesystem::temp_directory_path() / "qv-play-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            error = "cannot make a temporary folder";
            return;
        }
        f.dir = pattern;
        namespace fs = std::filesystem;
        recgen::RecordingSpec rec;
        rec.width = 176;
        rec.height = 144;
        rec.fps = kFps;
        rec.gop = kFps;
        rec.seconds = kFileSeconds;
        rec.info_hz = 1;
        recgen::RecordingInfo info;
        fs::create_directories(fs::path(f.dir) / "one");
        f.file = (fs::path(f.dir) / "one" / "rec.ts").string();
        f.fileStart = rec.start_time;
        if (!recgen::WriteRecording(rec, f.file, &info) || !f.fileRef.Add(f.file, 0, &error)) {
            error += " " + info.error;
            return;
        }

        recgen::RecordingSpec part = rec;
        part.seconds = 5.0;
        part.start_time = rec.start_time + 3600;
        f.folderStart = part.start_time;
        f.folder = (fs::path(f.dir) / "card").string();
        std::vector<std::string> paths;
        if (!recgen::WriteFolder(part, f.folder, 3, false, &paths, nullptr, &error))
            return;
        for (std::size_t k = 0; k < paths.size(); ++k)
            if (!f.folderRef.Add(paths[k], 5.0 * static_cast<double>(k), &error))
                return;

        recgen::RecordingSpec b = rec;
        b.fps = 30;
        b.gop = 30;
        b.seconds = 10.0;
        b.b_frames = 2;
        b.pids = {0x0200, 0x0201, 0x0300, 0x0301, 0x0400};
        fs::create_directories(fs::path(f.dir) / "b");
        f.bframes = (fs::path(f.dir) / "b" / "rec.ts").string();
        if (!recgen::WriteRecording(b, f.bframes, &info) || !f.bframesRef.Add(f.bframes, 0, &error)) {
            error += " " + info.error;
            return;
        }
        b.b_frames = 0;
        fs::create_directories(fs::path(f.dir) / "plain");
        f.plain30 = (fs::path(f.dir) / "plain" / "rec.ts").string();
        if (!recgen::WriteRecording(b, f.plain30, &info) || !f.plain30Ref.Add(f.plain30, 0, &error)) {
            error += " " + info.error;
            return;
        }

        recgen::RecordingSpec m = part;
        m.start_time = part.start_time + 3600;
        f.mixed = (fs::path(f.dir) / "mixed").string();
        fs::create_directories(f.mixed);
        const std::string listed = (fs::path(f.mixed) / "a.ts").string();
        if (!recgen::WriteRecording(m, listed, &info) || !f.mixedListedRef.Add(listed, 0, &error)) {
            error += " " + info.error;
            return;
        }
        m.start_time += 5;
        m.first_picture = 1000;
        m.damage.no_tables = true;
        f.mixedTableless = (fs::path(f.mixed) / "b.ts").string();
        if (!recgen::WriteRecording(m, f.mixedTableless, &info)) {
            error = info.error;
            return;
        }
        m.start_time += 5;
        m.end_time = m.start_time;
        m.first_picture = 2000;
        m.damage.no_tables = false;
        f.mixedUnlisted = (fs::path(f.mixed) / "c.ts").string();
        if (!recgen::WriteRecording(m, f.mixedUnlisted, &info) || !f.mixedUnlistedRef.Add(f.mixedUnlisted, 0, &error)) {
            error += " " + info.error;
            return;
        }
        ok = true;
    }
    ~FixtureHolder()
    {
        std::error_code ec;
        if (!f.dir.empty())
            std::filesystem::remove_all(f.dir, ec);
    }
    Fixture f;
    bool ok = false;
    std::string error;
};

// The log with the user's actions between its lines, for a person looking into a failure.
void Trace(const Session& session, const std::vector<Shown>& log, const std::vector<Mark>& marks,
           const Reference& ref)
{
    std::size_t m = 0;
    double prev = 0;
    for (std::size_t i = 0; i < log.size(); ++i) {
        const Shown& s = log[i];
        for (; m < marks.size() && marks[m].wall <= s.wall; ++m)
            std::fprintf(stderr, "%9.1f  -- %s\n", marks[m].wall, marks[m].what.c_str());
        if (s.picture >= 0)
            std::fprintf(stderr, "%9.1f  +%6.1f  picture %4d  media %7.3f%s\n", s.wall, s.wall - prev, s.picture,
                         ref.Media(s.picture), ref.Key(s.picture) ? "  key" : "");
        else
            std::fprintf(stderr, "%9.1f  +%6.1f  unnamed: %s\n", s.wall, s.wall - prev, session.Unnamed(i).c_str());
        prev = s.wall;
    }
    for (; m < marks.size(); ++m)
        std::fprintf(stderr, "%9.1f  -- %s\n", marks[m].wall, marks[m].what.c_str());
}

// Phases from the session's marks: each runs from its mark to the next (or to `end`).
// The fresh starts play `freshSource` (a lone recording of the same kind) with `freshRef`.
Outcome Finish(const std::string& scenario, Session& s, const Reference& ref, double end,
               const Reference& freshRef, const std::string& freshSource)
{
    Outcome out;
    out.scenario = scenario;
    out.log = s.Log();
    const std::vector<Mark>& marks = s.Marks();
    if (std::getenv("QV_PLAY_TRACE") != nullptr)
        Trace(s, out.log, marks, ref);
    for (std::size_t i = 0; i < marks.size(); ++i) {
        Phase p;
        p.name = marks[i].what;
        if (i > 0)
            p.name += " after " + marks[i - 1].what;
        p.speed = marks[i].speed;
        // A file chosen jumps like a seek.
        p.seek = marks[i].what == "seek" || marks[i].what.rfind("file ", 0) == 0;
        p.from = marks[i].wall;
        p.to = i + 1 < marks.size() ? marks[i + 1].wall : end;
        p.windows = WindowPaces(out.log, ref, p.from, p.to);
        p.pace = p.to - p.from >= 3000 ? Pace(out.log, ref, p.from + 1000, p.to) : std::nan("");
        JudgeOrder(out.log, ref, p, &out.faults);
        out.phases.push_back(std::move(p));
    }
    // The fresh starts, after the scenario so that they do not run beside it.
    for (Phase& p : out.phases)
        if (p.speed > 0 && std::fabs(p.speed) != 1.1 && !p.windows.empty())
            p.fresh = FreshPace(freshRef, freshSource, false, p.speed, 7.0);
    return out;
}

// The first picture shown in [from, to), -1 when none.
int FirstShown(const std::vector<Shown>& log, double from, double to = 1e18)
{
    for (const Shown& s : Between(log, from, to))
        if (s.picture >= 0)
            return s.picture;
    return -1;
}

// The first picture after a jump made at `from` (and when it came): pictures already on their
// way when the user acted (the next ones of the old run, within 150 ms) are passed over.
int FirstAtNewPlace(const std::vector<Shown>& log, double from, double* wall = nullptr)
{
    int last = -1;
    for (const Shown& s : log) {
        if (s.picture < 0)
            continue;
        if (s.wall < from || (s.wall < from + 150 && last >= 0 && s.picture == last + 1)) {
            last = s.picture;
            continue;
        }
        if (wall != nullptr)
            *wall = s.wall;
        return s.picture;
    }
    return -1;
}

int LastShownBefore(const std::vector<Shown>& log, double to)
{
    int last = -1;
    for (const Shown& s : log)
        if (s.wall < to && s.picture >= 0)
            last = s.picture;
    return last;
}

void Fault(Outcome* out, const char* format, int a, int b = 0, int c = 0)
{
    char buf[200];
    std::snprintf(buf, sizeof buf, format, a, b, c);
    out->faults.push_back(buf);
}

// After a change of speed in the same direction, play goes on from where it was: a later
// picture, at most one picture group on.
void JudgeContinues(Outcome* out, const Reference& ref, const Mark& change)
{
    const int before = LastShownBefore(out->log, change.wall);
    const int after = FirstShown(out->log, change.wall);
    if (before < 0 || after < 0)
        Fault(out, "no picture around a change of speed (%d, %d)", before, after);
    else if (after <= before || after > before + ref.Gop())
        Fault(out, "after %d the next picture shown was %d (a picture group is %d)", before, after, ref.Gop());
}

const Fixture* Need()
{
    const Fixture& f = Recordings();
    return f.file.empty() ? nullptr : &f;
}

Outcome Broken(const std::string& scenario, const std::string& why)
{
    Outcome out;
    out.scenario = scenario;
    out.faults.push_back(why);
    return out;
}

}  // namespace

const Fixture& Recordings()
{
    static FixtureHolder holder;
    if (!holder.ok) {
        static Fixture none;
        std::fprintf(stderr, "play harness: %s\n", holder.error.c_str());
        return none;
    }
    return holder.f;
}

namespace {

// A script plays on an open session; it returns false (with its reason in `faults`) when the
// scenario cannot go on. A judgement adds the place faults once the phases are known.
using Script = std::function<bool(Session&, const Reference&, std::vector<std::string>* faults)>;
using Judgement = std::function<void(Outcome*, const Session&, const Reference&)>;

// Plays `script` on the 40 s recording, or on the folder of three when `folder` is set.
Outcome Scripted(const std::string& name, bool folder, const Script& script, const Judgement& judge)
{
    const Fixture* f = Need();
    if (f == nullptr)
        return Broken(name, "no recordings");
    const Reference& ref = folder ? f->folderRef : f->fileRef;
    Session s(ref);
    if (!(folder ? s.OpenFolder(f->folder) : s.OpenFile(f->file)))
        return Broken(name, "the recording does not open");
    std::vector<std::string> early;
    if (!script(s, ref, &early)) {
        Outcome out = Broken(name, early.empty() ? "the script could not go on" : early.front());
        return out;
    }
    // The fresh starts are of the lone recording: the set's files are of the same kind.
    Outcome out = Finish(name, s, ref, s.Now(), f->fileRef, f->file);
    out.faults.insert(out.faults.begin(), early.begin(), early.end());
    if (judge)
        judge(&out, s, ref);
    return out;
}

// A plain sequence of speeds, each held for its time, every change judged as a continuation.
Outcome Speeds(const std::string& name, std::vector<std::pair<double, double>> speedsAndSeconds)
{
    return Scripted(
        name, false,
        [&](Session& s, const Reference&, std::vector<std::string>*) {
            for (std::size_t i = 0; i < speedsAndSeconds.size(); ++i) {
                if (i > 0)
                    s.Speed(speedsAndSeconds[i].first);
                s.Run(speedsAndSeconds[i].second * 1000);
            }
            return true;
        },
        [](Outcome* out, const Session& s, const Reference& ref) {
            for (std::size_t i = 1; i < s.Marks().size(); ++i)
                JudgeContinues(out, ref, s.Marks()[i]);
        });
}

}  // namespace

Outcome SlowAfterNormal(double slow, double normalSeconds)
{
    return Speeds(Describe(slow) + " after " + std::to_string(static_cast<int>(normalSeconds)) + " s at 1x",
                  {{1.0, normalSeconds}, {slow, 7}});
}

Outcome NormalAfterSlow()
{
    return Speeds("1x after 1/2x and after 1/4x", {{1.0, 3}, {0.5, 3}, {1.0, 5}, {0.25, 3}, {1.0, 5}});
}

Outcome DoubleThenNormal()
{
    return Speeds("3 s 1x, 3 s 2x, then 1x", {{1.0, 3}, {2.0, 3}, {1.0, 7}});
}

Outcome FastThenNormal()
{
    return Speeds("1x, 8x, then 1x", {{1.0, 2}, {8.0, 3}, {1.0, 7}});
}

Outcome FolderAsSet()
{
    return Scripted(
        "a folder of three 5 s recordings as a set", true,
        [](Session& s, const Reference& ref, std::vector<std::string>* faults) {
            const int last = static_cast<int>(ref.size()) - 1;
            if (!s.RunUntilShown([&](int p) { return p == last; }, 40000)) {
                faults->push_back("the last picture of the set was not shown");
                return false;
            }
            return true;
        },
        [](Outcome* out, const Session&, const Reference&) {
            if (FirstShown(out->log, 0) != 0)
                Fault(out, "the set began with picture %d", FirstShown(out->log, 0));
        });
}

Outcome BackwardThenForward()
{
    return Scripted(
        "speed -1 from picture ~84, then 1", false,
        [](Session& s, const Reference&, std::vector<std::string>* faults) {
            if (!s.RunUntilShown([](int p) { return p >= 84; }, 10000)) {
                faults->push_back("picture 84 was not reached");
                return false;
            }
            s.Speed(-1.0);
            // Backward play back to the first picture, where it stands.
            if (!s.RunUntilShown([&](int p) { return p == 0; }, 15000))
                faults->push_back("backward play did not get back to the first picture");
            s.Run(1000);
            s.Speed(1.0);
            s.Run(7000);
            return true;
        },
        [](Outcome* out, const Session& s, const Reference& ref) {
            const Mark& forward = s.Marks()[2];
            const int lastBack = LastShownBefore(out->log, forward.wall);
            const int resumed = FirstShown(out->log, forward.wall);
            if (FirstShown(out->log, s.Marks()[1].wall) < 0 || lastBack < 0 || resumed < 0)
                Fault(out, "pictures missing around the turns (%d, %d)", lastBack, resumed);
            else if (resumed < lastBack || resumed > lastBack + ref.Gop())
                Fault(out, "forward play resumed at picture %d after backward play stopped at %d (group %d)", resumed,
                      lastBack, ref.Gop());
        });
}

Outcome PauseResume()
{
    return Scripted(
        "pause, then resume", false,
        [](Session& s, const Reference&, std::vector<std::string>*) {
            s.Run(3000);
            s.Speed(0.0);
            s.Run(2000);
            s.Speed(1.0);
            s.Run(7000);
            return true;
        },
        [](Outcome* out, const Session& s, const Reference&) {
            const Mark& pause = s.Marks()[1];
            const Mark& resume = s.Marks()[2];
            // A picture already on its way may still come; then nothing until play resumes.
            const std::vector<Shown> still = Between(out->log, pause.wall + 300, resume.wall);
            if (!still.empty())
                Fault(out, "%d pictures shown while paused", static_cast<int>(still.size()));
            const int before = LastShownBefore(out->log, resume.wall);
            const int after = FirstShown(out->log, resume.wall);
            if (before < 0 || after != before + 1)
                Fault(out, "play resumed at picture %d after pausing at %d", after, before);
        });
}

Outcome SeekForwardAndBack()
{
    static const int kTargets[] = {20, 5};
    return Scripted(
        "seek forward, then back", false,
        [](Session& s, const Reference&, std::vector<std::string>*) {
            const int start = static_cast<int>(Recordings().fileStart);
            s.Run(3000);
            s.Seek(start + kTargets[0]);
            s.Run(6000);
            s.Seek(start + kTargets[1]);
            s.Run(6000);
            return true;
        },
        [](Outcome* out, const Session& s, const Reference& ref) {
            for (int k = 0; k < 2; ++k) {
                const Mark& m = s.Marks()[static_cast<std::size_t>(k) + 1];
                const int first = FirstAtNewPlace(out->log, m.wall);
                // The key picture at or before the second asked for, or one in that second.
                const double gop = ref.Gop() * ref.Interval() / 1000.0;
                if (first < 0 || ref.Media(first) < kTargets[k] - gop - 0.01 || ref.Media(first) >= kTargets[k] + 1)
                    Fault(out, "a seek to second %d showed picture %d first", kTargets[k], first);
            }
        });
}

Outcome BackwardStepForward()
{
    auto steps = std::make_shared<std::vector<int>>();
    return Scripted(
        "backward, pause, steps, forward", false,
        [steps](Session& s, const Reference& ref, std::vector<std::string>* faults) {
            if (!s.RunUntilShown([](int p) { return p >= 160; }, 15000)) {
                faults->push_back("picture 160 was not reached");
                return false;
            }
            s.Speed(-1.0);
            if (!s.RunUntilShown([&](int p) { return p <= 160 - 2 * ref.Gop(); }, 15000))
                faults->push_back("backward play did not go back two picture groups");
            // Longer than one backward sleep: the key picture already on its way comes first.
            s.Speed(0.0);
            s.Run(1200);
            for (int k = 0; k < 3; ++k) {
                const std::size_t before = s.ShownCount();
                s.Speed(1.1);
                s.RunUntil([&] { return s.ShownCount() > before; }, 3000);
                s.Run(400);
                steps->push_back(static_cast<int>(s.ShownCount() - before));
            }
            s.Speed(1.0);
            s.Run(7000);
            return true;
        },
        [steps](Outcome* out, const Session& s, const Reference& ref) {
            const std::vector<Mark>& m = s.Marks();  // open, -1, 0, step x3, 1
            const std::vector<Shown> paused = Between(out->log, m[2].wall + 700, m[3].wall);
            if (!paused.empty())
                Fault(out, "%d pictures shown while paused in backward play", static_cast<int>(paused.size()));
            int last = LastShownBefore(out->log, m[3].wall);
            for (std::size_t k = 0; k < 3; ++k) {
                const int shown = FirstShown(out->log, m[k + 3].wall, m[k + 4].wall);
                const int n = static_cast<int>(k) + 1;
                if ((*steps)[k] != 1)
                    Fault(out, "step %d showed %d pictures", n, (*steps)[k]);
                // The first step goes on after backward play as forward play does: from the
                // last key picture shown, or the next one.
                const bool placed = k == 0 ? shown >= last && shown <= last + ref.Gop() : shown == last + 1;
                if (shown < 0 || !placed)
                    Fault(out, "step %d showed picture %d after %d", n, shown, last);
                const int lastOfStep = LastShownBefore(out->log, m[k + 4].wall);
                if (lastOfStep >= 0)
                    last = lastOfStep;
            }
            const int resumed = FirstShown(out->log, m[6].wall);
            if (resumed != last + 1)
                Fault(out, "forward play resumed at picture %d after the last step showed %d", resumed, last);
        });
}

Outcome StepsAcrossFilesThenNormal()
{
    auto steps = std::make_shared<std::vector<int>>();
    return Scripted(
        "steps across two files of a set, then 1x", true,
        [steps](Session& s, const Reference& ref, std::vector<std::string>* faults) {
            int next = 0;  // the second file's first picture
            while (next < static_cast<int>(ref.size()) && ref.Media(next) < 5.0)
                ++next;
            if (!s.RunUntilShown([&](int p) { return p >= next - 10; }, 15000)) {
                faults->push_back("the end of the first file was not reached");
                return false;
            }
            s.Speed(0.0);
            s.Run(500);
            while (s.LastShown() < next + 3 && steps->size() < 30) {
                const std::size_t before = s.ShownCount();
                s.Speed(1.1);
                s.RunUntil([&] { return s.ShownCount() > before; }, 3000);
                s.Run(150);
                steps->push_back(static_cast<int>(s.ShownCount() - before));
            }
            if (s.LastShown() < next)
                faults->push_back("the steps did not reach the second file");
            s.Speed(1.0);
            s.Run(4000);
            return true;
        },
        [steps](Outcome* out, const Session& s, const Reference&) {
            const std::vector<Mark>& m = s.Marks();  // open, 0, steps, 1
            for (std::size_t k = 0; k < steps->size(); ++k)
                if ((*steps)[k] != 1)
                    Fault(out, "step %d showed %d pictures", static_cast<int>(k) + 1, (*steps)[k]);
            const int last = LastShownBefore(out->log, m.back().wall);
            const int resumed = FirstShown(out->log, m.back().wall);
            if (resumed != last + 1)
                Fault(out, "normal play resumed at picture %d after the last step showed %d", resumed, last);
        });
}

namespace {

// Turns to backward play and back: backward play begins at the key picture of the picture on
// the screen (or the one before) within `backMs`, forward play after it at the last key
// picture shown (or the next one) within a second and a half.
void JudgeTurns(Outcome* out, const std::vector<Mark>& marks, const Reference& ref, const char* what,
                double backMs)
{
    for (std::size_t i = 1; i < marks.size(); ++i) {
        const Mark& m = marks[i];
        const bool back = m.speed == -1.0;
        if (!back && !(m.speed == 1.0 && marks[i - 1].speed < 0))
            continue;
        const int before = LastShownBefore(out->log, m.wall);
        double wall = 0;
        const int first = FirstAtNewPlace(out->log, m.wall, &wall);
        char buf[160];
        std::snprintf(buf, sizeof buf, "%s: %s at picture %d: first picture %d after %.0f ms", what,
                      back ? "-1" : "1", before, first, first >= 0 ? wall - m.wall : -1.0);
        out->figures.push_back(buf);
        const bool placed = back ? first >= 0 && ref.Key(first) && first <= before && before - first < 2 * ref.Gop()
                                 : first >= before && first <= before + ref.Gop();
        if (before < 0 || first < 0 || !placed || wall - m.wall > (back ? backMs : 1500))
            out->faults.push_back(buf);
    }
}

}  // namespace

Outcome BackwardAcrossFilesThenForward()
{
    return Scripted(
        "-1 from the second file of a set into the first, then 1", true,
        [](Session& s, const Reference& ref, std::vector<std::string>* faults) {
            int next = 0;  // the second file's first picture
            while (next < static_cast<int>(ref.size()) && ref.Media(next) < 5.0)
                ++next;
            // Early, in the middle and late in the second file, the reader at the set's end;
            // asked for at once after a picture came, and just before the next one is due,
            // when the video thread takes the frames read ahead before the reader turns.
            const std::pair<int, double> turns[] = {{next + 36, 0.9}, {next + 85, 0.0}, {next + 15, 0.85}};
            for (const auto& [from, lag] : turns) {
                if (!s.RunUntilShown([&](int p) { return p >= from; }, 12000)) {
                    faults->push_back("picture " + std::to_string(from) + " was not reached");
                    return true;
                }
                s.Run(lag * ref.Interval());
                s.Speed(-1.0);
                if (!s.RunUntilShown([&](int p) { return p < next; }, 10000)) {
                    faults->push_back("backward play did not reach the first file");
                    return true;
                }
                s.Run(200);
                s.Speed(1.0);
            }
            s.Run(3000);
            return true;
        },
        [](Outcome* out, const Session& s, const Reference& ref) { JudgeTurns(out, s.Marks(), ref, "set", 1500); });
}

Outcome BackwardWithBFrames()
{
    const Fixture* f = Need();
    if (f == nullptr)
        return Broken("B-frames", "no recordings");
    // Picture 148 of 30 a second is shown after the key picture 150 was decoded.
    Session s(f->bframesRef);
    std::vector<std::string> early;
    if (!s.OpenFile(f->bframes) || !s.RunUntilShown([](int p) { return p >= 148; }, 10000))
        early.push_back("picture 148 was not reached");
    s.Speed(-1.0);
    if (s.RunUntilShown([](int p) { return p <= 90; }, 6000))
        s.Run(200);
    s.Speed(1.0);
    s.Run(3000);
    Outcome out = Finish("-1 among B-frames, then 1", s, f->bframesRef, s.Now(), f->bframesRef, f->bframes);
    out.faults.insert(out.faults.begin(), early.begin(), early.end());
    // One backward sleep (650 ms) and the decoding: a decoder holding pictures back for
    // reordering adds whole sleeps.
    JudgeTurns(&out, s.Marks(), f->bframesRef, "B-frames", 1000);
    return out;
}

namespace {

// The first picture shown after mark `m` (before the next mark; one already on its way passed
// over) lies in [lo, hi] (media seconds); `what` names the action for the fault.
void ExpectPlaced(Outcome* out, const Reference& ref, const std::vector<Mark>& marks, std::size_t m, double lo,
                  double hi, const char* what)
{
    const double to = m + 1 < marks.size() ? marks[m + 1].wall : 1e18;
    double wall = 0;
    int first = FirstAtNewPlace(out->log, marks[m].wall, &wall);
    if (wall >= to)
        first = -1;
    char buf[200];
    std::snprintf(buf, sizeof buf, "%s: first picture %d (media %.2f, wanted %.2f to %.2f)", what, first,
                  first >= 0 ? ref.Media(first) : -1.0, lo, hi);
    out->figures.push_back(buf);
    if (first < 0 || ref.Media(first) < lo - 0.001 || ref.Media(first) > hi + 0.001)
        out->faults.push_back(buf);
}

// No picture shown in [from, to) lies outside [lo, hi] (picture numbers).
void ExpectWithin(Outcome* out, double from, double to, int lo, int hi, const char* what)
{
    for (const Shown& s : Between(out->log, from, to))
        if (s.picture >= 0 && (s.picture < lo || s.picture > hi)) {
            Fault(out, "picture %d shown where %d to %d belong", s.picture, lo, hi);
            out->faults.back() = std::string(what) + ": " + out->faults.back();
            return;
        }
}

// Takes one frame step and waits for its picture.
void Step(Session& s, double speed)
{
    const std::size_t before = s.ShownCount();
    s.Speed(speed);
    s.RunUntil([&] { return s.ShownCount() > before; }, 3000);
    s.Run(400);
}

double KeyBefore(const Reference& ref, int picture)
{
    while (picture > 0 && !ref.Key(picture))
        --picture;
    return ref.Media(std::max(picture, 0));
}

}  // namespace

Outcome PlaceChosenWhilePaused()
{
    return Scripted(
        "seeks while paused, then 1, -1, a step and a step back", false,
        [](Session& s, const Reference&, std::vector<std::string>* faults) {
            const int start = static_cast<int>(Recordings().fileStart);
            if (!s.RunUntilShown([](int p) { return p >= 160; }, 10000)) {
                faults->push_back("picture 160 was not reached");
                return false;
            }
            s.Speed(0.0);
            s.Run(300);
            s.Seek(start + 3);
            s.Run(1500);
            s.Speed(1.0);
            s.Run(2000);
            s.Speed(0.0);
            s.Run(300);
            s.Seek(start + 30);
            s.Run(1500);
            s.Speed(-1.0);
            s.RunUntilShown([](int p) { return p <= 700; }, 4000);
            s.Speed(0.0);
            s.Run(800);
            s.Seek(start + 20);
            s.Run(1500);
            Step(s, 1.1);
            Step(s, -1.1);
            s.Speed(1.0);
            s.Run(1500);
            return true;
        },
        [](Outcome* out, const Session& s, const Reference& ref) {
            // open, 0, seek 3, 1, 0, seek 30, -1, 0, seek 20, step, step back, 1
            const std::vector<Mark>& m = s.Marks();
            if (m.size() != 12) {
                Fault(out, "%d actions taken, 12 planned", static_cast<int>(m.size()));
                return;
            }
            const double gop = ref.Gop() * ref.Interval() / 1000.0;
            ExpectPlaced(out, ref, m, 3, 3 - gop, 3.99, "1 after a seek to second 3 while paused");
            ExpectWithin(out, m[3].wall, m[4].wall, 3 * 25 - ref.Gop(), 3 * 25 + 3 * ref.Gop(),
                         "1 after a seek to second 3 while paused");
            ExpectPlaced(out, ref, m, 6, 30 - gop, 30, "-1 after a seek to second 30 while paused");
            ExpectPlaced(out, ref, m, 9, 20 - gop, 20.99, "a step after a seek to second 20 while paused");
            // A step back shows a picture before the step's, however that one was placed.
            const int stepped = LastShownBefore(out->log, m[10].wall);
            ExpectPlaced(out, ref, m, 10, ref.Media(std::max(stepped, 0)) - gop, ref.Media(std::max(stepped, 1) - 1),
                         "a step back after it");
            const int last = LastShownBefore(out->log, m[11].wall);
            const int resumed = FirstShown(out->log, m[11].wall);
            if (last < 0 || resumed < last || resumed > last + ref.Gop())
                Fault(out, "1 after the step back showed %d after %d", resumed, last);
        });
}

Outcome FileChosenHolds()
{
    return Scripted(
        "files chosen: then -1 at once, 1 after a pause, 1 after 1/2x, after a seek", true,
        [](Session& s, const Reference& ref, std::vector<std::string>* faults) {
            const int start = static_cast<int>(Recordings().fileStart) + 3600;
            if (!s.RunUntilShown([](int p) { return p >= 57; }, 10000)) {
                faults->push_back("picture 57 was not reached");
                return false;
            }
            s.SelectFile(1);
            s.Speed(-1.0);
            s.RunUntilShown([&](int p) { return p <= 75 && ref.Key(p); }, 4000);
            s.Speed(0.0);
            s.Run(300);
            s.SelectFile(2);
            s.Run(1000);
            s.Speed(1.0);
            s.Run(2000);
            s.Speed(0.5);
            s.Run(1200);
            s.SelectFile(0);
            s.Speed(1.0);
            s.Run(2000);
            s.Seek(start + 8);
            s.SelectFile(2);
            s.Run(2000);
            return true;
        },
        [](Outcome* out, const Session& s, const Reference& ref) {
            // open, file 1, -1, 0, file 2, 1, 1/2x, file 0, 1, seek 8, file 2
            const std::vector<Mark>& m = s.Marks();
            if (m.size() != 11) {
                Fault(out, "%d actions taken, 11 planned", static_cast<int>(m.size()));
                return;
            }
            // Backward from the chosen file's start: its first key picture or the first file's last.
            ExpectPlaced(out, ref, m, 2, KeyBefore(ref, 124), 5.0, "-1 at once after choosing the second file");
            ExpectPlaced(out, ref, m, 5, 10.0, 10.99, "1 after choosing the third file while paused");
            ExpectWithin(out, m[5].wall, m[6].wall, 250, 374, "1 after choosing the third file while paused");
            ExpectPlaced(out, ref, m, 8, 0.0, 0.99, "1 at once after choosing the first file from 1/2x");
            ExpectWithin(out, m[8].wall + 300, m[9].wall, 0, 124, "1 at once after choosing the first file from 1/2x");
            ExpectPlaced(out, ref, m, 10, 10.0, 10.99, "the third file chosen at once after a seek to second 8");
            ExpectWithin(out, m[10].wall + 300, s.Now(), 250, 374, "the third file chosen after a seek");
        });
}

Outcome BackwardPauseBackward()
{
    auto lastBack = std::make_shared<int>(-1);
    return Scripted(
        "-1, pause, -1 again, pause, a step back", false,
        [lastBack](Session& s, const Reference&, std::vector<std::string>* faults) {
            const int start = static_cast<int>(Recordings().fileStart);
            s.Seek(start + 30);
            if (!s.RunUntilShown([](int p) { return p >= 750; }, 5000)) {
                faults->push_back("the place sought was not shown");
                return false;
            }
            s.Run(1500);
            s.Speed(-1.0);
            s.Run(1400);
            s.Speed(0.0);
            s.Run(2000);
            s.Speed(-1.0);
            s.Run(1500);
            s.Speed(0.0);
            s.Run(1000);
            Step(s, -1.1);
            s.Speed(1.0);
            s.Run(1500);
            // Paused with a backward key picture held, a place chosen and -1 at once: backward
            // play goes on from the place chosen, whether or not the reader got there first.
            s.Speed(-1.0);
            s.Run(1400);
            s.Speed(0.0);
            s.Run(1000);
            s.Seek(start + 10);
            s.Speed(-1.0);
            s.Run(1500);
            return true;
        },
        [](Outcome* out, const Session& s, const Reference& ref) {
            // open, seek, -1, 0, -1, 0, step back, 1, -1, 0, seek, -1
            const std::vector<Mark>& m = s.Marks();
            if (m.size() != 12) {
                Fault(out, "%d actions taken, 12 planned", static_cast<int>(m.size()));
                return;
            }
            for (const Shown& p : Between(out->log, m[10].wall, m[11].wall + 1500))
                if (p.picture >= 275) {
                    Fault(out, "after a seek to 250 while backward play was paused, %d was shown", p.picture);
                    break;
                }
            for (std::size_t k : {std::size_t{3}, std::size_t{5}}) {
                const std::vector<Shown> paused = Between(out->log, m[k].wall + 100, m[k + 1].wall);
                if (!paused.empty())
                    Fault(out, "%d pictures shown while paused in backward play", static_cast<int>(paused.size()));
            }
            for (std::size_t k : {std::size_t{4}, std::size_t{6}}) {
                const int last = LastShownBefore(out->log, m[k].wall);
                double wall = 0;
                const int next = FirstAtNewPlace(out->log, m[k].wall, &wall);
                // The next key picture back, without another whole backward sleep first.
                if (last < 0 || next < 0 || !ref.Key(next) || next >= last || next < last - ref.Gop() ||
                    wall - m[k].wall > 800)
                    Fault(out, k == 4 ? "after %d backward play paused, -1 showed %d"
                                      : "after %d backward play paused, a step back showed %d",
                          last, next);
            }
        });
}

Outcome TurnsGoOnFromTheScreen()
{
    return Scripted(
        "a step back at once after a seek; 1 soon after -1; quick turns", false,
        [](Session& s, const Reference& ref, std::vector<std::string>* faults) {
            const int start = static_cast<int>(Recordings().fileStart);
            if (!s.RunUntilShown([](int p) { return p >= 132; }, 10000)) {
                faults->push_back("picture 132 was not reached");
                return false;
            }
            s.Seek(start + 20);
            Step(s, -1.1);
            Step(s, -1.1);
            s.Speed(1.0);
            // A picture in the middle of its group: the turn restarts at the group's key picture.
            if (!s.RunUntilShown([&](int p) { return p % ref.Gop() == ref.Gop() * 4 / 5; }, 5000)) {
                faults->push_back("no picture in the middle of a group");
                return false;
            }
            s.Speed(-1.0);
            s.Run(300);
            s.Speed(1.0);
            s.Run(1500);
            for (int k = 0; k < 6; ++k) {
                s.Speed(-1.0);
                s.Run(200);
                s.Speed(1.0);
                s.Run(200);
            }
            s.Run(1000);
            return true;
        },
        [](Outcome* out, const Session& s, const Reference& ref) {
            // open, seek, step back x2, 1, -1, 1, then six times -1 and 1
            const std::vector<Mark>& m = s.Marks();
            if (m.size() != 19) {
                Fault(out, "%d actions taken, 19 planned", static_cast<int>(m.size()));
                return;
            }
            const double gop = ref.Gop() * ref.Interval() / 1000.0;
            ExpectPlaced(out, ref, m, 2, 20 - gop, 20, "a step back at once after a seek to second 20");
            const int first = FirstAtNewPlace(out->log, m[2].wall);
            const int second = FirstShown(out->log, m[3].wall, m[4].wall);
            if (first < 0 || second < 0 || second >= first || second < first - ref.Gop())
                Fault(out, "the second step back showed %d after %d", second, first);
            // Nothing shown since the turn is shown again: forward goes on after the screen.
            const int before = LastShownBefore(out->log, m[5].wall);
            ExpectWithin(out, m[6].wall, m[7].wall, before + 1, before + 3 * ref.Gop(), "1 soon after -1");
            std::map<int, int> times;
            for (const Shown& sh : Between(out->log, m[7].wall, s.Now() + 1))
                if (sh.picture >= 0 && ++times[sh.picture] == 2)
                    Fault(out, "picture %d shown again during quick turns", sh.picture);
        });
}

IntervalCount BFrameIntervals(double seconds, double slack)
{
    IntervalCount out;
    const Fixture* f = Need();
    if (f == nullptr) {
        out.faults.push_back("no recordings");
        return out;
    }
    auto measure = [&](const std::string& path, const Reference& ref, int* intervals, int* off) {
        Session s(ref);
        if (!s.OpenFile(path)) {
            out.faults.push_back("cannot open " + path);
            return;
        }
        // The play time the engine reports follows the picture on the screen.
        int misreported = 0, worst = 0;
        for (double until = s.Now() + seconds * 1000; s.Now() < until;) {
            s.Run(100);
            const int shown = s.LastShown();
            if (shown < 0)
                continue;
            const int expected = static_cast<int>(f->fileStart + static_cast<std::int64_t>(ref.Media(shown)));
            const int off = JtvGetPlayTime(s.engine(), 0) - expected;
            if (std::abs(off) > 1) {
                ++misreported;
                worst = std::abs(off) > std::abs(worst) ? off : worst;
            }
        }
        const std::vector<Shown> log = s.Log();
        Phase p;
        p.name = path == f->bframes ? "B-frames at 1x" : "twin at 1x";
        if (misreported > 2)
            out.faults.push_back(p.name + ": the play time was off the shown picture's second " +
                                 std::to_string(misreported) + " times, by up to " + std::to_string(worst) + " s");
        p.from = 0;
        p.to = s.Now();
        JudgeOrder(log, ref, p, &out.faults);
        if (FirstShown(log, 0) != 0)
            out.faults.push_back(p.name + ": play began with picture " + std::to_string(FirstShown(log, 0)));
        // From the second picture after the first half second: the start has its own judgement.
        const double period = ref.Interval();
        for (std::size_t i = 1; i < log.size(); ++i) {
            if (log[i - 1].wall < 500)
                continue;
            ++*intervals;
            if (std::fabs(log[i].wall - log[i - 1].wall - period) > slack)
                ++*off;
        }
    };
    measure(f->bframes, f->bframesRef, &out.intervals, &out.off);
    measure(f->plain30, f->plain30Ref, &out.twinIntervals, &out.twinOff);
    return out;
}

LateRun LateFirstPictures()
{
    LateRun out;
    const Fixture* f = Need();
    if (f == nullptr) {
        out.faults.push_back("no recordings");
        return out;
    }
    const Reference& ref = f->fileRef;
    Session s(ref);
    if (!s.OpenFile(f->file)) {
        out.faults.push_back("the recording does not open");
        return out;
    }
    s.Run(4000);
    s.Seek(static_cast<int>(f->fileStart) + 20);
    s.Run(4000);
    const std::vector<Shown> log = s.Log();
    auto longestLateRun = [&](double from) {
        const std::vector<Shown> shown = Between(log, from, 1e18);
        int run = 0, longest = 0;
        for (std::size_t i = 1; i < shown.size() && i <= 25; ++i) {
            if (shown[i].wall - shown[i - 1].wall > 1.5 * ref.Interval())
                longest = std::max(longest, ++run);
            else
                run = 0;
        }
        if (shown.size() < 26)
            out.faults.push_back("fewer than 26 pictures after a start");
        return longest;
    };
    out.afterOpen = longestLateRun(s.Marks()[0].wall);
    out.afterSeek = longestLateRun(s.Marks()[1].wall);
    return out;
}

namespace {

// The first key picture shown in [from, to) and when; -1 when none.
int FirstKeyShown(const std::vector<Shown>& log, const Reference& ref, double from, double to, double* wall)
{
    for (const Shown& s : Between(log, from, to))
        if (s.picture >= 0 && ref.Key(s.picture)) {
            *wall = s.wall;
            return s.picture;
        }
    return -1;
}

double NextMark(const Session& s, std::size_t i)
{
    return i + 1 < s.Marks().size() ? s.Marks()[i + 1].wall : 1e18;
}

// Play goes on within the group of the picture on the screen when the user acted: after it,
// before the next key picture.
void JudgeWithinGroup(Outcome* out, const Reference& ref, const Mark& m, const char* what)
{
    const int before = LastShownBefore(out->log, m.wall);
    const int after = FirstShown(out->log, m.wall);
    char buf[160];
    std::snprintf(buf, sizeof buf, "%s: %d on the screen, then %d", what, before, after);
    out->figures.push_back(buf);
    if (before < 0 || after <= before || after >= before + ref.Gop())
        out->faults.push_back(buf);
}

}  // namespace

Outcome ReopenWithBFrames()
{
    const Fixture* f = Need();
    if (f == nullptr)
        return Broken("opened again", "no recordings");
    const Reference& ref = f->bframesRef;
    Session s(ref);
    const std::string folder = std::filesystem::path(f->bframes).parent_path().string();
    std::vector<std::string> early;
    // Each time while the decoder holds pictures back for reordering: as a lone file, from
    // its folder's list, and as a lone file again.
    for (int k = 0; k < 4; ++k) {
        if (!(k == 2 ? s.OpenFromFolder(folder, f->bframes) : s.OpenFile(f->bframes)))
            early.push_back("the recording does not open");
        s.Run(k == 0 ? 2000 : 1300);
    }
    Outcome out = Finish("opened again while it plays", s, ref, s.Now(), ref, f->bframes);
    out.faults.insert(out.faults.begin(), early.begin(), early.end());
    for (std::size_t k = 0; k < s.Marks().size(); ++k) {
        const int first = FirstShown(out.log, s.Marks()[k].wall);
        if (first != 0)
            Fault(&out, "open %d: the first picture shown was %d", static_cast<int>(k) + 1, first);
    }
    return out;
}

Outcome FastWithBFrames()
{
    const Fixture* f = Need();
    if (f == nullptr)
        return Broken("fast play among B-frames", "no recordings");
    const Reference& ref = f->bframesRef;
    Session s(ref);
    std::vector<std::string> early;
    if (!s.OpenFile(f->bframes))
        early.push_back("the recording does not open");
    // From within a picture group (its next pictures held back by the decoder) to fast play
    // for two key pictures, then 1x.
    int from = 97;
    for (double fast : {2.0, 4.0}) {
        if (!s.RunUntilShown([&](int p) { return p >= from; }, 8000)) {
            early.push_back("picture " + std::to_string(from) + " was not reached");
            break;
        }
        s.Speed(fast);
        int keys = 0;
        s.RunUntilShown([&](int p) { return ref.Key(p) && ++keys == 2; }, 5000);
        s.Run(150);
        s.Speed(1.0);
        s.Run(1200);
        from = s.LastShown() + 10;
    }
    Outcome out = Finish("fast play among B-frames, then 1x", s, ref, s.Now(), ref, f->bframes);
    out.faults.insert(out.faults.begin(), early.begin(), early.end());
    for (std::size_t i = 1; i < s.Marks().size(); ++i) {
        const Mark& m = s.Marks()[i];
        if (m.speed == 1.0) {
            JudgeWithinGroup(&out, ref, m, "1x after fast play");
            continue;
        }
        // One fast sleep (500 ms at 2x, 300 at 4x, and 250 more after a jump) and the decoding.
        double wall = 0;
        const int key = FirstKeyShown(out.log, ref, m.wall, NextMark(s, i), &wall);
        char buf[160];
        std::snprintf(buf, sizeof buf, "%gx at picture %d: first key picture %d after %.0f ms", m.speed,
                      LastShownBefore(out.log, m.wall), key, key >= 0 ? wall - m.wall : -1.0);
        out.figures.push_back(buf);
        if (key < 0 || wall - m.wall > 1200)
            out.faults.push_back(buf);
    }
    return out;
}

Outcome ChangesDuringFastAndBackwardSleeps()
{
    auto faults = std::make_shared<std::vector<std::string>>();
    auto steps = std::make_shared<std::vector<int>>();
    return Scripted(
        "changes while fast or backward play holds a key picture", false,
        [faults, steps](Session& s, const Reference& ref, std::vector<std::string>* early) {
            const int start = static_cast<int>(Recordings().fileStart);
            auto keysShown = [&](int n, double limit) {
                int keys = 0;
                return s.RunUntilShown([&](int p) { return ref.Key(p) && ++keys == n; }, limit);
            };
            s.Seek(start + 7);
            if (!s.RunUntilShown([](int p) { return p >= 180; }, 8000)) {
                early->push_back("picture 180 was not reached");
                return false;
            }
            // Each change comes while the next key picture sleeps before it is shown.
            s.Speed(2.0);
            keysShown(2, 4000);
            s.Run(200);
            s.Speed(-1.0);
            keysShown(2, 4000);
            s.Run(100);
            s.Seek(start + 30);
            s.Run(1500);
            s.Speed(4.0);
            keysShown(2, 4000);
            s.Run(150);
            s.Speed(0.0);
            s.Run(1000);
            s.Speed(1.0);
            s.Run(1500);
            s.Speed(-1.0);
            keysShown(1, 3000);
            s.Run(100);
            for (int k = 0; k < 3; ++k) {
                const std::size_t before = s.ShownCount();
                s.Speed(1.1);
                s.Run(500);
                steps->push_back(static_cast<int>(s.ShownCount() - before));
            }
            return true;
        },
        [steps](Outcome* out, const Session& s, const Reference& ref) {
            // open, seek, 2x, -1, seek, 4x, pause, 1x, -1, steps x3
            const std::vector<Mark>& m = s.Marks();
            if (m.size() < 12)
                return;
            JudgeTurns(out, {m[2], m[3]}, ref, "-1 during 2x", 1000);
            for (const Shown& p : Between(out->log, m[4].wall, m[5].wall))
                if (p.picture >= 0 && ref.Media(p.picture) < 28.0) {
                    Fault(out, "picture %d of the old place shown %d ms after a seek to second 30", p.picture,
                          static_cast<int>(p.wall - m[4].wall));
                    break;
                }
            const std::vector<Shown> paused = Between(out->log, m[6].wall + 100, m[7].wall);
            if (!paused.empty())
                Fault(out, "picture %d shown %d ms after a pause during 4x", paused.front().picture,
                      static_cast<int>(paused.front().wall - m[6].wall));
            JudgeWithinGroup(out, ref, m[7], "1x after a pause during 4x");
            for (std::size_t k = 0; k < steps->size(); ++k)
                if ((*steps)[k] != 1)
                    Fault(out, "step %d after backward play showed %d pictures in 500 ms", static_cast<int>(k) + 1,
                          (*steps)[k]);
        });
}

Outcome FileIndexAndLeftEnd()
{
    return Scripted(
        "the file index and an end left", true,
        [](Session& s, const Reference& ref, std::vector<std::string>* faults) {
            const int start = static_cast<int>(Recordings().folderStart);
            const int last = static_cast<int>(ref.size()) - 1;
            const int third = 250;  // the third file's first picture
            auto expectIndex = [&](int n, const std::string& when) {
                const int index = JtvGetFileIndex(s.engine());
                if (index != n)
                    faults->push_back(when + ": file index " + std::to_string(index) + ", not " + std::to_string(n));
                return index == n;
            };
            s.Run(500);
            s.Seek(start + 11);
            if (s.RunUntilShown([&](int p) { return p >= third; }, 3000))
                expectIndex(2, "the first picture after a seek into the third file");
            s.SelectFile(0);
            s.RunUntilShown([&](int p) { return p < 125; }, 3000);
            s.Run(300);
            s.SelectFile(2);
            if (s.RunUntilShown([&](int p) { return p >= third; }, 3000))
                for (int k = 0; k < 10 && expectIndex(2, "while the third file plays after its selection"); ++k)
                    s.Run(100);
            // Each way of leaving the set's end within the end message's wait.
            for (int way = 0; way < 3; ++way) {
                s.Speed(1.0);
                s.Seek(start + 14);
                if (!s.RunUntilShown([&](int p) { return p == last; }, 4000)) {
                    faults->push_back("the set's last picture was not shown");
                    return true;
                }
                const double end = s.Now();
                if (way == 0)
                    expectIndex(2, "at the set's end");
                s.Run(250);
                const double at = s.Now();
                const char* what = way == 0 ? "a seek back" : way == 1 ? "-1" : "choosing the first file";
                if (way == 0)
                    s.Seek(start + 2);
                else if (way == 1)
                    s.Speed(-1.0);
                else
                    s.SelectFile(0);
                s.Run(1500);
                if (s.EndsSince(end) != 0)
                    faults->push_back(std::string("the end was reported after ") + what + " left it");
                // A seek or selection shows its place at once; backward play after its sleep.
                double wall = 0;
                const int first = FirstAtNewPlace(s.Log(), at, &wall);
                const bool placed = way == 0 ? first >= 0 && ref.Media(first) >= 1.0 && ref.Media(first) < 3.0
                                  : way == 1 ? first >= 0 && first < last
                                             : first == 0;
                if (!placed || wall - at > (way == 1 ? 1000 : 500))
                    faults->push_back(std::string("after ") + what + " at the end: picture " + std::to_string(first) +
                                      " after " + std::to_string(static_cast<int>(wall - at)) + " ms");
            }
            return true;
        },
        nullptr);
}

}  // namespace playharness
