#include "tests/support/playharness/harness.h"

#include "engine/CarInfoRecord.h"
#include "engine/EngineMessages.h"
#include "engine/JtvCtrl.h"
#include "engine/PacketQueue.h"
#include "engine/Snapshot.h"
#include "engine/SourceType.h"
#include "platform/base/clock.h"
#include "platform/base/message.h"
#include "platform/media/presenter.h"
#include "tools/recgen/recgen.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <random>
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

// The second of the day (UTC) an RMC sentence of the record gives; -1 when it has none.
int RmcSecond(const CarInfoRecord& r)
{
    const std::string text(r.nmea, strnlen(r.nmea, sizeof r.nmea));
    const std::size_t at = text.find("RMC,");
    if (at == std::string::npos || at + 10 > text.size())
        return -1;
    int v[3];
    for (int i = 0; i < 3; ++i) {
        const char a = text[at + 4 + 2 * i], b = text[at + 5 + 2 * i];
        if (!std::isdigit(static_cast<unsigned char>(a)) || !std::isdigit(static_cast<unsigned char>(b)))
            return -1;
        v[i] = (a - '0') * 10 + (b - '0');
    }
    return v[0] * 3600 + v[1] * 60 + v[2];
}

// A sample of a screen cleared to black.
bool Black(const std::vector<std::uint8_t>& bgra)
{
    bool black = !bgra.empty();
    for (std::size_t k = 0; black && k + 2 < bgra.size(); k += 4)
        black = bgra[k] == 0 && bgra[k + 1] == 0 && bgra[k + 2] == 0;
    return black;
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

    // The packets in file order: sound by its stream time; each record after the picture read
    // before it.
    std::map<std::int64_t, int> shown;  // a picture's time stamp: its index
    for (std::size_t i = 0; i < pts.size(); ++i)
        shown.emplace(pts[i], static_cast<int>(media_.size() - pts.size() + i));
    sound_.emplace_back();
    // (ffprobe hands a packet out once it is complete: its place in the file is where it began)
    struct Packet {
        std::int64_t pos, t;
        std::string type;
    };
    std::vector<Packet> inFile;
    std::istringstream packets(Run("ffprobe -v error -show_entries packet=codec_type,pts,pos -of compact=p=0 " + Quote(path)));
    for (std::string line; std::getline(packets, line);)
        if (!Value(line, "pts").empty() && std::isdigit(static_cast<unsigned char>(Value(line, "pts")[0])))
            inFile.push_back({std::atoll(Value(line, "pos").c_str()), std::atoll(Value(line, "pts").c_str()),
                              Value(line, "codec_type")});
    std::stable_sort(inFile.begin(), inFile.end(), [](const Packet& a, const Packet& b) { return a.pos < b.pos; });
    int before = -1;
    std::int64_t lastVideo = std::numeric_limits<std::int64_t>::min();
    for (const Packet& packet : inFile) {
        const std::string& type = packet.type;
        const std::int64_t t = packet.t;
        if (type == "video") {
            reordered_ = reordered_ || t < lastVideo;
            lastVideo = t;
            const auto it = shown.find(t);
            before = it != shown.end() ? it->second : before;
        } else if (type == "audio") {
            // The engine's reckoning: the low 32 bits of the 90 kHz stamp as a signed number.
            const auto ticks = static_cast<std::int32_t>(static_cast<std::uint32_t>(t));
            sound_.back().push_back(static_cast<std::int64_t>(ticks * 11.1111));
        } else {
            records_.push_back({start_seconds + static_cast<double>(t - first) / 90000.0, before});
        }
    }
    return true;
}

bool Reference::FindSound(std::int64_t pts, int* file, int* index) const
{
    for (std::size_t f = 0; f < sound_.size(); ++f) {
        const auto it = std::find(sound_[f].begin(), sound_[f].end(), pts);
        if (it != sound_[f].end()) {
            *file = static_cast<int>(f);
            *index = static_cast<int>(it - sound_[f].begin());
            return true;
        }
    }
    return false;
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
    // The sound rules need a device that takes sound at its pace; without one the audio thread
    // only keeps its queue from filling. One chosen by the caller stands.
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    engine_ = JtvCreate();
    render_ = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    notify_ = CreateMessageWindow([this](HWND, UINT message, WPARAM, LPARAM lparam) -> LRESULT {
        if (message == WM_JTV_PLAYEND && lparam == 0)
            ends_.push_back(Now());
        if (message == WM_JTV_CARINFO) {
            CarInfoRecord r{};
            if (JtvGetCarInfo(engine_, &r))
                records_.push_back({Now(), RmcSecond(r)});
        }
        return 0;
    });
    // What the audio thread takes, as it takes it.
    reinterpret_cast<CJtvCtrl*>(engine_)->m_channel.AudioQueue().SetPopTap([this](const PacketDesc& d) {
        if (d.type != PKT_MARKER && d.type != PKT_AAC_FRAME)
            return;
        const double wall = Now();
        std::lock_guard<std::mutex> lock(mutex_);
        sound_.push_back({wall, d.type == PKT_MARKER, d.pts});
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
    if (!snapshotDir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(snapshotDir_, ec);
    }
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

void Session::SmallQueues(bool soundOnly)
{
    // Some 15 pictures, or some 2 s of sound (each ring keeps room for one largest packet).
    // The sound's holds more than a picture group of it: play read again up to the picture on
    // the screen reaches the next picture, which the audio thread waits for, before the sound
    // fills it.
    QueueSizes sizes;
    if (soundOnly) {
        sizes.audioRing = 3 * 4096;
        sizes.audioPacket = 4096;
    } else {
        sizes.videoRing = 3 * 4096;
        sizes.videoPacket = 4096;
    }
    reinterpret_cast<CJtvCtrl*>(engine_)->m_channel.SetQueueSizes(sizes);
}

void Session::ResetVideo()
{
    JtvResetVideo(engine_);
    Note("reset", speed_);
}

void Session::Snapshot()
{
    if (snapshotDir_.empty()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "qv-snap-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            return;
        snapshotDir_ = pattern;
    }
    const std::string name = snapshotDir_ + "/" + std::to_string(snapshots_.size()) + ".tag";
    Note("snapshot", speed_);
    Saved saved;
    saved.asked = Now();
    const bool ok = JtvRequestSnapshot(engine_, 0, 0, RGB(255, 255, 255), name);
    saved.done = Now();
    saved.picture = ok ? -1 : kNothing;
    snapshots_.push_back(saved);
    snapshotFiles_.push_back(ok ? SnapshotFileName(name, 0) : std::string());
}

const std::vector<Session::Saved>& Session::Snapshots() const
{
    // Named once play is over: decoding them meanwhile would hold the session's clock up.
    const int w = reference_.width(), h = reference_.height();
    for (; snapshotsNamed_ < snapshots_.size(); ++snapshotsNamed_) {
        Saved& saved = snapshots_[snapshotsNamed_];
        if (snapshotFiles_[snapshotsNamed_].empty())
            continue;
        // Enlarged one and a half times by repeating pixels: picture pixel x lies at (3x + 1) / 2.
        const int W = w * 3 / 2, H = h * 3 / 2;
        const std::string raw = playharness::Run("ffmpeg -v error -i " + Quote(snapshotFiles_[snapshotsNamed_]) +
                                                 " -pix_fmt bgra -f rawvideo -");
        if (raw.size() != static_cast<std::size_t>(W) * static_cast<std::size_t>(H) * 4)
            continue;
        std::vector<std::uint8_t> picture(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                std::memcpy(&picture[(static_cast<std::size_t>(y) * w + x) * 4],
                            &raw[(static_cast<std::size_t>((3 * y + 1) / 2) * W + (3 * x + 1) / 2) * 4], 4);
        const std::vector<std::uint8_t> sample = Reference::Sample(picture.data(), w, h);
        saved.picture = Black(sample) ? kBlack : reference_.Identify(sample);
    }
    return snapshots_;
}

std::vector<Session::SoundTaken> Session::SoundLog() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return sound_;
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
        named_.push_back({raw_[i].wall, b.empty() ? -1 : Black(b) ? kBlack : reference_.Identify(b)});
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

        recgen::RecordingSpec longer = rec;
        longer.seconds = 70.0;
        fs::create_directories(fs::path(f.dir) / "long");
        f.longFile = (fs::path(f.dir) / "long" / "rec.ts").string();
        if (!recgen::WriteRecording(longer, f.longFile, &info) || !f.longRef.Add(f.longFile, 0, &error)) {
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
        recgen::RecordingSpec h = b;
        h.b_frames = 2;
        h.seconds = 5.0;
        h.start_time = m.start_time + 3600;
        f.hollowStart = h.start_time;
        f.hollow = (fs::path(f.dir) / "hollow").string();
        fs::create_directories(f.hollow);
        const std::string whole = (fs::path(f.hollow) / "a.ts").string();
        if (!recgen::WriteRecording(h, whole, &info) || !f.hollowRef.Add(whole, 0, &error)) {
            error += " " + info.error;
            return;
        }
        h.start_time += 5;
        h.first_picture = 1000;
        const std::string cut = (fs::path(f.dir) / "hollow-b.ts").string();
        if (!recgen::WriteRecording(h, cut, &info)) {
            error = info.error;
            return;
        }
        fs::copy_file(cut, (fs::path(f.hollow) / "b.ts").string());
        fs::resize_file((fs::path(f.hollow) / "b.ts"), 3 * 188);
        fs::remove(cut);
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

// The log with the user's actions between its lines, for a person looking into a failure: the
// part of it in [from, to).
std::string Trace(const Session& session, const std::vector<Shown>& log, const std::vector<Mark>& actions,
                  const Reference& ref, double from = -1e18, double to = 1e18)
{
    // The ends reported among the actions.
    std::vector<Mark> marks = actions;
    for (double e : session.Ends())
        marks.push_back({e, "(an end reported)", 0});
    std::stable_sort(marks.begin(), marks.end(), [](const Mark& a, const Mark& b) { return a.wall < b.wall; });
    std::string out;
    char buf[160];
    std::size_t m = 0;
    double prev = 0;
    auto mark = [&](const Mark& k) {
        if (k.wall >= from && k.wall < to) {
            std::snprintf(buf, sizeof buf, "%9.1f  -- %s\n", k.wall, k.what.c_str());
            out += buf;
        }
    };
    for (std::size_t i = 0; i < log.size(); ++i) {
        const Shown& s = log[i];
        for (; m < marks.size() && marks[m].wall <= s.wall; ++m)
            mark(marks[m]);
        if (s.wall >= from && s.wall < to) {
            if (s.picture >= 0)
                std::snprintf(buf, sizeof buf, "%9.1f  +%6.1f  picture %4d  media %7.3f%s\n", s.wall, s.wall - prev,
                              s.picture, ref.Media(s.picture), ref.Key(s.picture) ? "  key" : "");
            else
                std::snprintf(buf, sizeof buf, "%9.1f  +%6.1f  unnamed: %s\n", s.wall, s.wall - prev,
                              session.Unnamed(i).c_str());
            out += buf;
        }
        prev = s.wall;
    }
    for (; m < marks.size(); ++m)
        mark(marks[m]);
    return out;
}

// Phases from the session's marks: each runs from its mark to the next (or to `end`).
// The fresh starts play `freshSource` (a lone recording of the same kind) with `freshRef`.
Outcome Finish(const std::string& scenario, Session& s, const Reference& ref, double end,
               const Reference& freshRef, const std::string& freshSource, bool fresh = true)
{
    Outcome out;
    out.scenario = scenario;
    out.log = s.Log();
    const std::vector<Mark>& marks = s.Marks();
    if (std::getenv("QV_PLAY_TRACE") != nullptr)
        std::fputs(Trace(s, out.log, marks, ref).c_str(), stderr);
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
        if (fresh && p.speed > 0 && std::fabs(p.speed) != 1.1 && !p.windows.empty())
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

// The first picture after a jump made at `from` (when it came, and where in the log): a picture
// already on its way when the user acted (the next one of the old run, within 150 ms) is passed
// over.
int FirstAtNewPlace(const std::vector<Shown>& log, double from, double* wall = nullptr, std::size_t* at = nullptr)
{
    int last = -1;
    bool passed = false;
    for (std::size_t i = 0; i < log.size(); ++i) {
        const Shown& s = log[i];
        if (s.picture < 0)
            continue;
        if (s.wall < from || (!passed && s.wall < from + 150 && last >= 0 && s.picture == last + 1)) {
            passed = s.wall >= from;
            last = s.picture;
            continue;
        }
        if (wall != nullptr)
            *wall = s.wall;
        if (at != nullptr)
            *at = i;
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

// ---------------------------------------------------------------------------------------------
// Scripts: what the user does, as text, the checks a script carries, and the rules every
// sequence keeps.

namespace {

constexpr double kPartSeconds = 5.0;  // each file of the folder

struct Recording {
    const Reference* ref = nullptr;
    std::string path;
    bool folder = false;
    std::int64_t start = 0;  // the calendar second of its time 0
    double seconds = 0;      // its length
    std::vector<int> files;  // a set: the first picture of each file (past the last: it has none)
};

Recording Of(Rec rec)
{
    const Fixture& f = Recordings();
    Recording r;
    r.start = f.fileStart;
    switch (rec) {
    case Rec::kFile:
        r.ref = &f.fileRef, r.path = f.file;
        break;
    case Rec::kLong:
        r.ref = &f.longRef, r.path = f.longFile;
        break;
    case Rec::kBFrames:
        r.ref = &f.bframesRef, r.path = f.bframes;
        break;
    case Rec::kFolder:
        r.ref = &f.folderRef, r.path = f.folder, r.folder = true, r.start = f.folderStart;
        break;
    case Rec::kHollow:
        r.ref = &f.hollowRef, r.path = f.hollow, r.folder = true, r.start = f.hollowStart;
        break;
    }
    const int n = static_cast<int>(r.ref->size());
    if (n > 0)
        r.seconds = r.ref->Media(n - 1) + r.ref->Interval() / 1000.0;
    for (int i = 0; r.folder && i < n; ++i)
        if (r.ref->Media(i) >= kPartSeconds * static_cast<double>(r.files.size()) - 1e-6)
            r.files.push_back(i);
    if (rec == Rec::kHollow)
        r.files.push_back(n);  // its second file holds no picture
    return r;
}

// One action taken, as the judgements see it.
struct Taken {
    double wall = 0;
    char kind = 'o';    // o open, s speed, t step, k seek, f file, r redraw, p snapshot
    double value = 0;   // the speed, the step's direction (1, -1), the second, the file; an
                        // open: 1 with the folder's list loaded
    bool burst = true;  // the first action after play was let run
    std::string text;
};

struct Played {
    std::vector<Taken> taken;
    std::vector<std::pair<std::size_t, std::string>> checks;  // the action each concerns
    std::vector<std::pair<double, std::string>> items;        // the script's items as begun
    bool pace = false;  // stretches long enough are judged against fresh starts ("?pace")
};

std::vector<std::string> Items(const std::string& script)
{
    std::vector<std::string> out;
    std::istringstream in(script);
    for (std::string item; std::getline(in, item, ';');) {
        const std::size_t a = item.find_first_not_of(" \t\n"), b = item.find_last_not_of(" \t\n");
        if (a != std::string::npos)
            out.push_back(item.substr(a, b - a + 1));
    }
    return out;
}

bool SpeedOf(const std::string& word, double* speed)
{
    if (word.size() < 2 || word.back() != 'x')
        return false;
    const std::string n = word.substr(0, word.size() - 1);
    char* end = nullptr;
    double v = std::strtod(n.c_str(), &end);
    if (*end == '/')
        v /= std::strtod(end + 1, &end);
    *speed = v;
    return *end == '\0' && std::isfinite(v);
}

int KeyAtOrBefore(const Reference& ref, int picture)
{
    while (picture > 0 && !ref.Key(picture))
        --picture;
    return std::max(picture, 0);
}

// The pictures a seek to `second` may show first: the key picture at or before it, or one within it.
void PlaceOf(const Reference& ref, double second, int* lo, int* hi)
{
    const double gop = ref.Gop() * ref.Interval() / 1000.0;
    *lo = static_cast<int>(ref.size());
    *hi = -1;
    for (int i = 0; i < static_cast<int>(ref.size()); ++i)
        if (ref.Media(i) >= second - gop - 0.01 && ref.Media(i) < second + 1) {
            *lo = std::min(*lo, i);
            *hi = i;
        }
}

// "A..B" or "A"; a bound written "+n" or "-n" counts from `screen`.
bool RangeOf(const std::string& text, int screen, int* lo, int* hi)
{
    auto bound = [&](const std::string& b, int* v) {
        char* end = nullptr;
        const long n = std::strtol(b.c_str(), &end, 10);
        *v = static_cast<int>(!b.empty() && (b[0] == '+' || b[0] == '-') ? screen + n : n);
        return !b.empty() && *end == '\0';
    };
    const std::size_t dots = text.find("..");
    if (dots == std::string::npos)
        return bound(text, lo) && bound(text, hi);
    return bound(text.substr(0, dots), lo) && bound(text.substr(dots + 2), hi);
}

std::string At(double wall)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f ms", wall);
    return buf;
}

// Takes the script's actions on the open session. Checks are noted for later, except the file
// index, which is read at once.
Played Perform(Session& s, const Recording& r, const std::string& script, std::vector<std::string>* faults)
{
    const Reference& ref = *r.ref;
    Played p;
    // A leading "open list" (after "small") is how the session was opened.
    const std::vector<std::string> items = Items(script);
    std::size_t from = 0;
    while (from < items.size() && items[from].rfind("small", 0) == 0)
        ++from;
    const bool listed = r.folder || (from < items.size() && items[from] == "open list");
    p.taken.push_back({s.Marks().back().wall, 'o', listed ? 1.0 : 0.0, true, listed ? "open list" : "open"});
    if (!r.folder && listed)
        ++from;
    for (std::size_t n = 0; n < from; ++n)
        p.items.emplace_back(-1, items[n]);  // (they come before any action)
    bool waited = false;
    auto act = [&](char kind, double value, const std::string& text, const std::function<void()>& call) {
        s.Run(0);  // an end posted before the action is taken before it
        call();
        p.taken.push_back({s.Marks().back().wall, kind, value, waited, text});
        waited = false;
    };
    for (std::size_t n = from; n < items.size(); ++n) {
        const std::string& item = items[n];
        p.items.emplace_back(s.Now(), item);
        std::istringstream in(item);
        std::string word;
        in >> word;
        double v = 0;
        bool done = true;
        if (word == "?index") {
            int n = -1;
            double ms = 0;
            in >> n >> ms;
            for (const double until = s.Now() + ms;;) {
                const int index = JtvGetFileIndex(s.engine());
                if (index != n) {
                    faults->push_back(p.taken.back().text + ", then " + At(s.Now()) + ": file index " +
                                      std::to_string(index) + ", not " + std::to_string(n));
                    break;
                }
                if (s.Now() >= until)
                    break;
                s.Run(50);
            }
            waited = waited || ms > 0;
        } else if (word == "?pace") {
            p.pace = true;
        } else if (word[0] == '?') {
            p.checks.emplace_back(p.taken.size() - 1, item.substr(1));
        } else if (SpeedOf(word, &v)) {
            act('s', v, item, [&] { s.Speed(v); });
        } else if (word == "step" || word == "back") {
            const std::size_t before = s.ShownCount();
            act('t', word == "step" ? 1 : -1, item, [&] { s.Speed(word == "step" ? 1.1 : -1.1); });
            s.RunUntil([&] { return s.ShownCount() > before; }, 3000);
            waited = true;
        } else if (word == "open") {
            // again, as a lone file, or ("open list") from its folder's list as the main window does
            // (a set is opened as its folder's list either way)
            const bool list = (in >> word && word == "list") || r.folder;
            const std::string folder = std::filesystem::path(r.path).parent_path().string();
            act('o', list ? 1 : 0, item, [&] {
                if (!(r.folder ? s.OpenFolder(r.path) : list ? s.OpenFromFolder(folder, r.path) : s.OpenFile(r.path)))
                    faults->push_back("the recording does not open again");
            });
        } else if (word == "small") {
            // (the queues were made small before the open)
        } else if (word == "reset") {
            act('r', 0, item, [&] { s.ResetVideo(); });
        } else if (word == "snap") {
            act('p', 0, item, [&] { s.Snapshot(); });
        } else if (word == "outside" && in >> v) {
            // A seek past the end every 25 ms: one comes while the reader waits for room.
            const int second = static_cast<int>(std::round(r.seconds)) + 5;
            for (const double until = s.Now() + v; s.Now() < until;) {
                act('k', second, "seek " + std::to_string(second),
                    [&] { s.Seek(static_cast<int>(r.start) + second); });
                s.Run(25);  // (one burst of actions: a check after it spans them all)
            }
            waited = true;
        } else if (word == "seek" && in >> v) {
            act('k', v, item, [&] { s.Seek(static_cast<int>(static_cast<double>(r.start) + v)); });
        } else if (word == "file" && in >> v) {
            act('f', v, item, [&] { s.SelectFile(static_cast<int>(v)); });
        } else if (word == "wait" && in >> v) {
            s.Run(v);
            waited = true;
        } else if (word == "until") {
            // >=N, <=N, ==N, <N, >N, @N (N after its group's key picture), keys N, end; [key] [in MS]
            std::string cond, opt;
            in >> cond;
            const std::size_t digit = cond.find_first_of("0123456789");
            int n = digit == std::string::npos ? 0 : std::atoi(cond.c_str() + digit);
            bool key = false;
            double limit = 10000;
            for (; in >> opt;)
                if (opt == "key")
                    key = true;
                else if (opt == "in")
                    in >> limit;
                else if (opt.find_first_not_of("0123456789") == std::string::npos)
                    n = std::atoi(opt.c_str());
            int keys = 0;
            const double from = s.Now();
            const bool reached =
                cond == "end" ? s.RunUntil([&] { return s.EndsSince(from) > 0; }, limit)
                              : s.RunUntilShown(
                                    [&](int q) {
                                        if (key && !ref.Key(q))
                                            return false;
                                        switch (cond[0]) {
                                        case '>': return cond[1] == '=' ? q >= n : q > n;
                                        case '<': return cond[1] == '=' ? q <= n : q < n;
                                        case '=': return q == n;
                                        case '@': return q - KeyAtOrBefore(ref, q) == n;
                                        default: return cond == "keys" && ref.Key(q) && ++keys == n;
                                        }
                                    },
                                    limit);
            if (!reached) {
                faults->push_back("'" + item + "' after " + p.taken.back().text + ": not reached in " + At(limit));
                break;
            }
            waited = true;
        } else {
            done = false;
        }
        if (!done) {
            faults->push_back("cannot do '" + item + "'");
            break;
        }
    }
    return p;
}

// Whether a seek to `second` leaves play where it is: a time outside a recording played alone.
// With the folder's list loaded (a set has it too) such a time goes by the list's rule instead.
bool SeekStays(const Recording& r, bool listed, double second)
{
    return !r.folder && !listed && (second < 0 || second >= std::round(r.seconds));
}

// The last entry of the log presented before `wall` (a picture, kBlack or -1), kNothing when none.
int LastPresentedBefore(const std::vector<Shown>& log, double wall)
{
    int last = kNothing;
    for (const Shown& s : log)
        if (s.wall < wall)
            last = s.picture;
    return last;
}

// A snapshot saves the picture on the screen: the last presented before it was done, or before
// it was asked (nothing when none was). Empty when it did, else what it saved.
std::string SavedWrongly(const Session::Saved& v, const std::vector<Shown>& log)
{
    const int done = LastPresentedBefore(log, v.done), asked = LastPresentedBefore(log, v.asked);
    if (v.picture != -1 && (v.picture == done || v.picture == asked))
        return {};
    char buf[160];
    std::snprintf(buf, sizeof buf, "a snapshot saved picture %d with %d on the screen (%d when asked)", v.picture,
                  done, asked);
    return buf;
}

// A check's window: from its action to the next action that follows a wait, or to `end`.
double WindowEnd(const Played& p, std::size_t a, double end)
{
    for (std::size_t i = a + 1; i < p.taken.size(); ++i)
        if (p.taken[i].burst)
            return p.taken[i].wall;
    return end;
}

// The checks a script carries, each over its window:
//   first R [key] [in MS]  the first picture at the new place (one on its way passed over) lies in
//                          R, is a key picture, comes within MS
//   key R [in MS]          the first key picture likewise
//   only R                 from that first picture on, every one lies in R
//   count R                the pictures shown (one on its way passed over)
//   alive                  no 1.5 s without a picture
//   end, noend [at N]      an end reported, none, since the picture on the screen at the action came
//                          (each with picture N on the screen)
//   ends R                 the ends reported from the action on
//   same                   every picture shown is the one on the screen at the action
//   saved                  the action's snapshot saved the picture on the screen
//   sound [after MS]       the audio thread took sound within 1.5 s (from MS after the action)
//   norepeat               no picture shown twice from the action to the end of the script
// R is "A..B" or "A"; "+n", "-n" count from the picture on the screen at the action. "strict"
// passes no picture over (the action was taken right after a picture came, so none was on its
// way); "after MS" starts the window MS after the action, passing none over either.
void JudgeChecks(const Played& p, const Reference& ref, const Session& session, double end, Outcome* out)
{
    const std::vector<Shown>& log = out->log;
    const std::vector<double>& ends = session.Ends();
    for (const auto& [a, check] : p.checks) {
        const Taken& t = p.taken[a];
        const double from = t.wall, to = WindowEnd(p, a, end);
        // The play in force before the action: one picture of it may be on its way.
        double before = 1;
        for (std::size_t i = 1; i < a; ++i)
            if (p.taken[i].kind == 's' || p.taken[i].kind == 't')
                before = p.taken[i].kind == 's' ? p.taken[i].value : 0;
        std::istringstream in(check);
        std::string kind, word, range;
        in >> kind;
        bool key = false, strict = kind == "same";
        double within = 1e18, after = 0;
        int endAt = -1;
        while (in >> word)
            if (word == "key")
                key = true;
            else if (word == "strict")
                strict = true;
            else if (word == "in")
                in >> within;
            else if (word == "after")
                in >> after;
            else if (word == "at")
                in >> endAt;
            else
                range = word;
        int screen = -1;
        double screenWall = 0;
        std::size_t next = log.size();
        for (std::size_t i = 0; i < log.size(); ++i)
            if (log[i].wall < from && log[i].picture >= 0)
                screen = log[i].picture, screenWall = log[i].wall;
            else if (log[i].wall >= from && next == log.size())
                next = i;
        if (!strict && after == 0 && next < log.size() && screen >= 0 && log[next].wall < from + 150) {
            // The next picture of that play, within 150 ms, was on its way: the screen then.
            const int q = log[next].picture, gop = ref.Gop();
            // (Fast play shows key pictures only, backward play too.)
            if (q >= 0 && (before > 0 ? q > screen && (before <= 1 ? q == screen + 1 : q <= screen + gop && ref.Key(q))
                                      : before < 0 && q < screen && q >= screen - gop && ref.Key(q)))
                screen = q, screenWall = log[next].wall, ++next;
        }
        int lo = std::numeric_limits<int>::min(), hi = std::numeric_limits<int>::max();
        const bool parsed = range.empty() || RangeOf(range, screen, &lo, &hi);
        std::string fault;
        char buf[200];
        double wall = 0;
        std::size_t at = log.size();
        int first = -1;
        for (std::size_t i = next; i < log.size() && first < 0; ++i)
            if (log[i].picture >= 0 && log[i].wall >= from + after)
                first = log[i].picture, wall = log[i].wall, at = i;
        if (first >= 0 && wall >= to)
            first = -1, at = log.size();
        auto outside = [&](int q) { return q < lo || q > hi || (key && !ref.Key(q)); };
        if (!parsed) {
            fault = "cannot read the check";
        } else if (kind == "first" || kind == "key") {
            if (kind == "key") {
                first = -1;
                for (const Shown& s : Between(log, from, to))
                    if (s.picture >= 0 && ref.Key(s.picture)) {
                        first = s.picture, wall = s.wall;
                        break;
                    }
            }
            std::snprintf(buf, sizeof buf, "%s picture %d after %.0f ms (screen %d)", kind.c_str(), first,
                          first >= 0 ? wall - from : -1.0, screen);
            if (first < 0 || outside(first) || wall - from > within)
                fault = buf;
        } else if (kind == "only") {
            for (std::size_t i = at; i < log.size() && log[i].wall < to && fault.empty(); ++i)
                if (log[i].picture >= 0 && outside(log[i].picture)) {
                    std::snprintf(buf, sizeof buf, "picture %d shown %.0f ms after (screen %d)", log[i].picture,
                                  log[i].wall - from, screen);
                    fault = buf;
                }
        } else if (kind == "count") {
            int n = 0;
            for (std::size_t i = at; i < log.size() && log[i].wall < to; ++i)
                n += log[i].picture >= 0 ? 1 : 0;
            std::snprintf(buf, sizeof buf, "%d pictures shown", n);
            if (n < lo || n > hi)
                fault = buf;
        } else if (kind == "alive") {
            double last = from, gap = 0;
            for (const Shown& s : Between(log, from, to))
                gap = std::max(gap, s.wall - last), last = s.wall;
            gap = std::max(gap, to - last);
            std::snprintf(buf, sizeof buf, "nothing shown for %.0f ms", gap);
            if (gap > 1500)
                fault = buf;
        } else if (kind == "end" || kind == "noend") {
            const auto n = std::count_if(ends.begin(), ends.end(), [&](double e) { return e >= screenWall && e <= to; });
            std::snprintf(buf, sizeof buf, "%d ends reported in %.0f ms", static_cast<int>(n), to - from);
            if ((kind == "end") != (n > 0))
                fault = buf;
            // "at N": each with picture N on the screen
            for (double e : ends)
                if (endAt >= 0 && fault.empty() && e >= screenWall && e <= to && LastShownBefore(log, e) != endAt) {
                    std::snprintf(buf, sizeof buf, "an end reported %.0f ms after with picture %d on the screen",
                                  e - from, LastShownBefore(log, e));
                    fault = buf;
                }
        } else if (kind == "ends") {
            // reported from the action on
            const auto n = std::count_if(ends.begin(), ends.end(), [&](double e) { return e >= from && e <= to; });
            std::snprintf(buf, sizeof buf, "%d ends reported in %.0f ms", static_cast<int>(n), to - from);
            if (n < lo || n > hi)
                fault = buf;
        } else if (kind == "same") {
            // every picture shown is the one on the screen at the action
            for (std::size_t i = next; i < log.size() && log[i].wall < to && fault.empty(); ++i)
                if (log[i].picture != screen) {
                    std::snprintf(buf, sizeof buf, "picture %d shown %.0f ms after, not %d", log[i].picture,
                                  log[i].wall - from, screen);
                    fault = buf;
                }
        } else if (kind == "saved") {
            // the snapshot the action took is the picture on the screen
            const auto& saved = session.Snapshots();
            const auto it = std::find_if(saved.begin(), saved.end(), [&](const Session::Saved& v) { return v.asked >= from - 1; });
            fault = it == saved.end() ? "no snapshot" : SavedWrongly(*it, log);
        } else if (kind == "sound") {
            // sound packets the audio thread took within 1.5 s
            int n = 0;
            const double until = std::min(to, from + after + 1500);
            for (const Session::SoundTaken& v : session.SoundLog())
                n += !v.marker && v.wall >= from + after && v.wall < until ? 1 : 0;
            std::snprintf(buf, sizeof buf, "%d sound packets taken in %.0f ms", n, until - from - after);
            if (n < (range.empty() ? 4 : lo))
                fault = buf;
        } else if (kind == "norepeat") {
            std::map<int, int> times;
            for (const Shown& s : Between(log, from, end + 1))
                if (s.picture >= 0 && ++times[s.picture] == 2 && fault.empty())
                    fault = "picture " + std::to_string(s.picture) + " shown again";
        } else {
            fault = "no such check";
        }
        if (!fault.empty())
            out->faults.push_back(t.text + " at " + At(from) + ": ?" + check + ": " + fault);
    }
}

// Room on a loaded machine for the next picture of 1x or slower play, on top of its interval.
constexpr double kSlowMargin = 400;
// A redraw asked for while paused presents the screen's picture at once.
constexpr double kRedrawWait = 700;
// Play moving at 1x for this long has taken sound.
constexpr double kSoundWait = 1500;

// The rules every sequence keeps, judged over a whole session action by action (the random
// walk's judgement). The next picture after an action must be:
//   after a seek: a key picture of the second sought or the one before; a time outside the
//   recording leaves play where it is when it plays alone (a seek not yet carried out still
//   stands), and with its folder's list loaded goes by the list: one before the start 1 s in,
//   one after the end to the last key picture;
//   after a file chosen: its first picture forward; backward a key picture of it (read from its
//   end) or the one before it; a file without pictures shows nothing forward (play stands at
//   its end), backward the last key picture of the file before it;
//   forward after backward play: the key picture on the screen or one up to a group after it;
//   backward after forward play: a key picture up to two groups back, not after the screen;
//   forward after turning back and forth with nothing shown between: within three groups on;
//   a step: the next picture; a step back, or backward play going on: the key picture before
//   (at either end a step shows at most the same picture again);
//   forward at 1x and slower: the next picture; faster: a later one within two groups (a key
//   picture held by a fast sleep is dropped when the speed changes);
//   after the window's redraw: the picture on the screen again, or the next one of play.
// Pictures then rise one by one at 1x and slower, rise in fast play and fall, key pictures
// only, in backward play; nothing shows while paused, a step shows one picture. One picture on
// its way when the user acted (the next one of the old run, within 150 ms) is let pass, unless
// it is also the place asked for. At a non-zero speed play shows something within 1.5 s, and
// forward at 1x and slower, play going on, the next picture within its interval at that speed,
// the slow sleep and kSlowMargin; unless play stands at its end (or start): then an end is
// reported. An end is reported only there, after the last picture (at 2x and faster, still in
// force, the last key picture), once while play stands there, and not when play left it. A
// redraw asked for while paused presents within kRedrawWait; a snapshot saves the picture on
// the screen; 1x play with pictures moving for kSoundWait has taken sound.
void JudgeWalk(const Recording& r, const Played& p, const Session& session, double end, Outcome* out)
{
    const Reference& ref = *r.ref;
    const std::vector<double>& ends = session.Ends();
    const int gop = ref.Gop(), last = static_cast<int>(ref.size()) - 1;
    const int lastKey = KeyAtOrBefore(ref, last);
    std::vector<std::pair<double, std::string>> faults;
    auto fault = [&](double wall, const std::string& what) { faults.emplace_back(wall, At(wall) + ": " + what); };
    struct Want {  // what the next picture must be
        bool set = false, relative = false, turn = false, key = false;
        int lo = 0, hi = 0, file = -1;
        std::string why;
    } want{true, false, false, true, 0, 0, -1, "open"};
    std::vector<Want> wantsBefore;  // what the actions since the last picture replaced
    auto relative = [&](int lo, int hi, bool key, bool turn, const std::string& why) {
        want = Want{true, true, turn, key, lo, hi, -1, why};
    };
    // The screen: its picture, when it came and which way play went then; the play in force.
    int screen = -1, screenDir = 1, dir = 1;
    double screenWall = 0, speed = 1, lastAction = 0, stallFrom = -1;
    std::string lastText = "open";
    bool listed = false;                         // the folder's list is loaded
    bool turned = false;                         // the direction changed since the screen's picture
    bool moved = false;                          // a place or file asked for since
    double movedAt = 0, turnedAt = 0;
    bool endTold = false;                        // since play came to where it stands
    double fastLeft = -1e18;                     // when play last went from 2x or faster to slower
    double playActed = 0, slowFaulted = -1;      // the last action that moved or paced play
    double redrawAt = -1, redrawDue = -1;        // a redraw asked for (while paused)
    // The picture last presented (kBlack: a cleared screen; -1: none yet): what a redraw shows,
    // also where the rules place play without a picture (at the start, reached backward).
    int presented = -1;
    std::vector<std::pair<double, double>> normal;  // stretches of 1x play, for the sound
    bool stepOpen = false;
    int stepShown = 0;
    double stepAt = 0;
    // The actions since the last picture: the first one's time and the play before it.
    double since = -1;
    int screenBefore = -1, dirBefore = 1;
    double speedBefore = 1;
    bool runningBefore = false;

    // The pictures `w` asks for: lo..hi, key pictures only or not. A file chosen starts at its
    // first picture forward; backward at its end, or (turned at once) at the key picture before.
    auto range = [&](const Want& w, int* lo, int* hi) {
        *lo = w.lo + (w.relative ? screen : 0);
        *hi = w.hi + (w.relative ? screen : 0);
        if (w.file >= 0 && w.file < static_cast<int>(r.files.size())) {
            const auto n = static_cast<std::size_t>(w.file);
            *lo = dir > 0 ? r.files[n] : KeyAtOrBefore(ref, r.files[n] - 1);
            *hi = dir > 0 ? r.files[n] : KeyAtOrBefore(ref, std::min(last, n + 1 < r.files.size() ? r.files[n + 1] - 1 : last));
            return dir < 0;
        }
        return w.key;
    };
    // Play's place is a file without pictures: asked for, and nothing shown since.
    auto hollow = [&] {
        return want.set && !want.relative && want.file >= 0 && want.file < static_cast<int>(r.files.size()) &&
               r.files[static_cast<std::size_t>(want.file)] > last;
    };
    // Nothing more to show this way: fast play shows key pictures only; backward from a place
    // at the start there may be nothing to show, forward from a file without pictures nothing.
    auto atEnd = [&] {
        int lo = 0, hi = 0;
        if (want.set && !want.relative) {
            range(want, &lo, &hi);
            return dir < 0 ? lo == 0 : lo > last;
        }
        return dir > 0 ? screen == last || (screen >= lastKey && speed >= 2) : screen == 0;
    };
    // Forward play going on at 1x or slower: its next picture is due.
    auto paced = [&] {
        return speed > 0 && speed <= 1 && dir > 0 && !stepOpen && screen >= 0 && !atEnd() &&
               !(want.set && (!want.relative || want.turn));
    };
    auto slowLimit = [&](double v) {
        const double sleep = v == 0.5 ? 90 : v == 0.25 ? 180 : v == 0.125 ? 360 : 0;
        return ref.Interval() / v + sleep + kSlowMargin;
    };
    auto alive = [&](double t) {
        if (redrawDue >= 0 && t - redrawDue > kRedrawWait) {
            fault(redrawDue, "the window's redraw asked for while paused presented nothing in " + At(t - redrawDue));
            redrawDue = -1;
        }
        if (speed == 0 || stepOpen)
            return;
        char buf[200];
        const double due = std::max(playActed, screenWall);
        if (paced() && t - due > slowLimit(speed) && due != slowFaulted) {
            std::snprintf(buf, sizeof buf, "nothing shown for %.0f ms after picture %d at speed %g (%s), over %.0f ms",
                          t - due, screen, speed, lastText.c_str(), slowLimit(speed));
            fault(due, buf);
            slowFaulted = due;
        }
        const double from = std::max(lastAction, screenWall);
        if (from == stallFrom)
            return;
        // (forward into a file without pictures: play arrived at the end with the choice)
        const double arrived = hollow() ? movedAt : screenWall;
        const bool ended = std::any_of(ends.begin(), ends.end(), [&](double e) { return e >= arrived && e <= t; });
        if (atEnd() && t - from > 2500 && !ended) {
            std::snprintf(buf, sizeof buf, "play stands at picture %d (at %.0f ms) at speed %g, no end reported",
                          screen, screenWall, speed);
            fault(t, buf);
            stallFrom = from;
        } else if (!atEnd() && t - from > 1500) {
            std::snprintf(buf, sizeof buf, "nothing shown for %.0f ms at speed %g after %s (screen %d)", t - from,
                          speed, lastText.c_str(), screen);
            fault(from, buf);
            stallFrom = from;
        }
    };
    auto onAction = [&](const Taken& a) {
        alive(a.wall);
        if (a.kind == 'r' || a.kind == 'p') {
            // Neither moves play. A redraw presents the screen's picture again (while paused, at once).
            if (a.kind == 'r') {
                redrawAt = a.wall;
                if (speed == 0 && !(stepOpen && stepShown == 0) && presented != -1 && redrawDue < 0)
                    redrawDue = a.wall;
            }
            return;
        }
        redrawDue = -1;
        const bool stays = a.kind == 'k' && SeekStays(r, listed, a.value);
        if (since < 0) {
            since = a.wall;
            wantsBefore.clear();
            screenBefore = screen;
            dirBefore = dir;
            speedBefore = stepOpen ? 1 : speed;
            runningBefore = speed != 0 || (stepOpen && stepShown == 0);
        }
        if (stepOpen && stepShown == 0 && a.wall - stepAt >= 1500 && !atEnd())
            fault(stepAt, "a step showed nothing in " + At(a.wall - stepAt));
        stepOpen = false;
        lastText = a.text + " at " + At(a.wall);
        if (want.set)
            wantsBefore.push_back(want);
        const bool placed = want.set && !want.relative;
        const double speedWas = speed;
        if (a.kind == 's' && a.value == 0) {
            speed = 0;
        } else if (a.kind == 's' || a.kind == 't') {
            const bool step = a.kind == 't';
            const int to = a.value < 0 ? -1 : 1;
            if (to != dir) {
                turned = true;
                turnedAt = a.wall;
                endTold = false;
            }
            const bool fast = !step && a.value >= 2;
            if (placed) {
                // the place asked for holds, whichever way play then goes
            } else if (step && (to > 0 ? screen == last : screen == 0)) {
                relative(0, 0, false, true, lastText);  // nothing beyond: at most the same picture again
            } else if (to < 0) {
                if (step || (screenDir < 0 && !turned))
                    relative(-gop, -1, true, step, lastText);
                else
                    relative(-2 * gop + 1, 0, true, true, lastText);
            } else if (screenDir < 0) {
                relative(0, gop, false, true, lastText);
            } else if (turned) {
                relative(1, 3 * gop, false, true, lastText);
            } else if (!fast) {
                relative(1, 1, false, step, lastText);
            } else if (!(want.set && want.turn)) {
                // each change drops at most the key picture held by the fast sleep
                relative(1, (want.set && want.hi > 1 ? want.hi : gop) + gop, false, false, lastText);
            }
            dir = to;
            speed = step ? 0 : a.value;
            if (step) {
                stepOpen = true;
                stepShown = 0;
                stepAt = a.wall;
            }
        } else if (a.kind == 'k' && stays) {
            // Outside a recording played alone: play stays, and a seek not yet carried out stands.
        } else if (a.kind == 'k') {
            const int seconds = static_cast<int>(std::round(r.seconds));
            want = Want{true, false, false, true, 0, 0, -1, lastText};  // a seek starts at a key picture
            if (a.value < 0) {
                PlaceOf(ref, 1.0, &want.lo, &want.hi);  // the list: 1 s into the first recording
            } else if (a.value < seconds) {
                PlaceOf(ref, a.value, &want.lo, &want.hi);
            } else if (r.files.size() > 1 && r.files.back() > last) {
                want.file = static_cast<int>(r.files.size()) - 1;  // within or past the file without pictures
            } else {
                want.lo = want.hi = lastKey;  // the list: the end of the last recording
            }
            moved = true;
            movedAt = a.wall;
            endTold = false;
        } else if (a.kind == 'f') {
            want = Want{true, false, false, false, 0, 0, static_cast<int>(a.value), lastText};
            moved = true;
            movedAt = a.wall;
            endTold = false;
        } else if (a.kind == 'o') {
            want = Want{true, false, false, true, 0, 0, -1, lastText};
            speed = dir = 1;
            listed = a.value != 0;
            moved = true;
            movedAt = a.wall;
            endTold = false;
        }
        if (speedWas >= 2 && speed < 2)
            fastLeft = a.wall;
        lastAction = a.wall;
        if (!stays) {
            playActed = a.wall;
            // a stretch of 1x play ends with any action that moves or paces play, and one begins
            if (!normal.empty() && normal.back().second > a.wall)
                normal.back().second = a.wall;
            if (speed == 1 && dir > 0)
                normal.emplace_back(a.wall, 1e300);
        }
    };
    // The next picture of play going on at the speed in force.
    auto ordered = [&](int q) {
        return speed > 0 ? (speed <= 1 ? q == screen + 1 : q > screen && q <= screen + 2 * gop)
                         : speed < 0 && q < screen && q >= screen - 2 * gop && ref.Key(q);
    };
    auto onPicture = [&](const Shown& s) {
        alive(s.wall);
        const bool redraw = redrawAt >= 0;
        redrawAt = redrawDue = -1;
        const int before = presented;
        presented = s.picture;
        if (s.picture == kBlack)
            return;
        if (s.picture < 0) {
            fault(s.wall, "a picture that matches none was shown");
            return;
        }
        const int q = s.picture;
        if (redraw && (q == screen || q == before))
            return;  // the window's redraw
        // The pictures `w` asks for: lo..hi, key pictures only or not.
        int lo = 0, hi = 0;
        bool key = false;
        // On its way when the user acted: the next picture of the play before, or one that a
        // request of the same burst asked for, coming at once.
        bool onItsWay = since >= 0 && runningBefore && screenBefore >= 0 && s.wall - since <= 150 &&
                        (dirBefore > 0 ? (speedBefore <= 1 ? q == screenBefore + 1
                                                           : q > screenBefore && q <= screenBefore + gop && ref.Key(q))
                                       : q < screenBefore && q >= screenBefore - gop && ref.Key(q));
        auto fits = [&](const Want& w) {
            key = range(w, &lo, &hi);
            return q >= lo && q <= hi && (!key || ref.Key(q));
        };
        // (A burst of requests: what any of them replaced may be on its way.)
        if (!onItsWay && since >= 0 && s.wall - lastAction <= 150 && !(want.set && fits(want)))
            onItsWay = std::any_of(wantsBefore.begin(), wantsBefore.end(), fits);
        // A picture that is also what was asked for (a place sought or chosen, whichever way
        // play then went; a step the way play went) counts as that.
        if (onItsWay && want.set && fits(want) && (!want.relative || !stepOpen || dirBefore == dir))
            onItsWay = false;
        since = -1;
        char buf[240];
        if (onItsWay) {
            // the old run's; what was asked for holds for the next picture
        } else if (want.set && !(want.relative && speed == 0 && !stepOpen && s.wall - lastAction > 150)) {
            // (Paused within 150 ms of asking: the picture asked for may be on its way.)
            const bool fit = fits(want);
            // A picture of the run before a seek, file or turn: what was asked for holds for the next.
            const bool old = !fit && (!want.relative || want.turn) &&
                             (screenDir > 0 ? q > screen && q <= screen + gop
                                            : q < screen && q >= screen - gop && ref.Key(q));
            std::snprintf(buf, sizeof buf, "picture %d%s after %s, not %d..%d%s (screen %d)", q,
                          old ? " of the old place" : "", want.why.c_str(), lo, hi, key ? " (key)" : "", screen);
            if (!fit)
                fault(s.wall, buf);
            want.set = old;
        } else {
            std::snprintf(buf, sizeof buf, "picture %d after %d at speed %g (%s)", q, screen, speed,
                          stepOpen ? "a step's second" : speed == 0 ? "paused" : lastText.c_str());
            if (stepOpen || !ordered(q))
                fault(s.wall, buf);
        }
        if (stepOpen && !onItsWay)
            ++stepShown;
        endTold = endTold && q == screen;
        screen = q;
        screenWall = s.wall;
        screenDir = onItsWay ? dirBefore : dir;
        turned = onItsWay && turned;
        moved = moved && onItsWay;
    };
    auto onEnd = [&](double e) {
        if (want.set && !want.relative && dir < 0 && atEnd()) {
            // backward from a place at the start: reached without a picture
            want.set = false;
            screen = 0;
            screenDir = -1;
            screenWall = e;
            moved = false;
        }
        // Play at its end (forward: the last picture, or the last key picture in fast play; a
        // file without pictures) or start (backward), not moved from there since.
        const bool standsHollow = hollow() && dir > 0;
        const bool fast = speed >= 2 || e - fastLeft <= 20;
        const int endDir = standsHollow || screen == last || (screen >= lastKey && fast) ? 1 : screen == 0 ? -1 : 0;
        const bool left = (moved && !standsHollow && e - movedAt > 20) || (dir != endDir && e - turnedAt > 20);
        char buf[200];
        std::snprintf(buf, sizeof buf, "an end reported with picture %d on the screen%s", screen,
                      endDir == 0 ? ", not at an end" : left ? " after play left it" : endTold ? " again" : "");
        if (endDir == 0 || left || endTold)
            fault(e, buf);
        endTold = true;
    };

    // The actions, the pictures and the ends, in the order they came.
    std::size_t a = 0, i = 0, k = 0;
    const std::vector<Shown>& log = out->log;
    for (;;) {
        const double ta = a < p.taken.size() ? p.taken[a].wall : 1e300;
        const double ti = i < log.size() ? log[i].wall : 1e300;
        const double tk = k < ends.size() ? ends[k] : 1e300;
        if (ta == 1e300 && ti == 1e300 && tk == 1e300)
            break;
        if (ta <= ti && ta <= tk)
            onAction(p.taken[a++]);
        else if (ti <= tk)
            onPicture(log[i++]);
        else
            onEnd(ends[k++]);
    }
    alive(end);
    if (stepOpen && stepShown == 0 && end - stepAt >= 1500 && !atEnd())
        fault(stepAt, "a step showed nothing in " + At(end - stepAt));

    // Sound moves with the pictures at 1x: once they have moved for kSoundWait, sound was taken.
    const std::vector<Session::SoundTaken> sound = session.SoundLog();
    for (const auto& [from, to] : normal) {
        const std::vector<Shown> shown = Between(log, from, std::min(to, end));
        const auto first = std::find_if(shown.begin(), shown.end(), [](const Shown& x) { return x.picture >= 0; });
        if (first == shown.end())
            continue;
        const double due = first->wall + kSoundWait;
        const auto moving = std::count_if(first, shown.end(), [&](const Shown& x) { return x.picture >= 0 && x.wall <= due; });
        const bool still = std::any_of(first, shown.end(), [&](const Shown& x) { return x.picture >= 0 && x.wall >= due - 300 && x.wall <= due; });
        if (due > std::min(to, end) || !still || static_cast<double>(moving) < kSoundWait / ref.Interval() / 2)
            continue;
        if (std::none_of(sound.begin(), sound.end(), [&](const Session::SoundTaken& v) { return !v.marker && v.wall >= from && v.wall <= due; })) {
            // (and when sound was taken last, and next)
            double before = -1, after = -1;
            for (const Session::SoundTaken& v : sound)
                if (!v.marker && v.wall < from)
                    before = v.wall;
                else if (!v.marker && v.wall > due && after < 0)
                    after = v.wall;
            fault(due, "pictures moved at 1x for " + At(kSoundWait) + " from " + At(first->wall) +
                           ", no sound taken (before: " + At(before) + ", after: " + At(after) + ")");
        }
    }
    // Snapshots save the screen's picture, never one called off.
    for (const Session::Saved& v : session.Snapshots())
        if (const std::string wrong = SavedWrongly(v, log); !wrong.empty())
            fault(v.asked, wrong);

    std::stable_sort(faults.begin(), faults.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t n = 0; n < faults.size() && n < 40; ++n)
        out->faults.push_back(faults[n].second);
    if (!faults.empty())
        out->firstFault = faults.front().first;
}

// What the reader queues reaches its consumers whole and in the order it was read, judged for
// every script:
//   between two restarts of the reader the audio thread takes the sound packets one after the
//   other as the file holds them, unless play left 1x meanwhile (the reader reads no sound at
//   other speeds, nor during a step);
//   an information record is told once the picture before it in the file is on the screen (at
//   1x and slower, forward, in recordings stored in the order shown).
void JudgeStreams(const Recording& r, const Played& p, const Session& s, Outcome* out)
{
    const Reference& ref = *r.ref;
    char buf[240];
    int faults = 0;
    auto fault = [&](const char* what) {
        if (faults++ < 5)
            out->faults.push_back(what);
    };
    int lastFile = -1, lastIndex = -1;
    bool otherSpeed = false;
    std::size_t a = 0;
    for (const Session::SoundTaken& v : s.SoundLog()) {
        for (; a < p.taken.size() && p.taken[a].wall <= v.wall; ++a) {
            const Taken& t = p.taken[a];
            if (t.kind == 'o')
                lastFile = -1;
            otherSpeed = otherSpeed || t.kind == 't' || (t.kind == 's' && t.value != 0 && t.value != 1);
        }
        if (v.marker) {
            lastFile = -1;
            otherSpeed = false;
            continue;
        }
        // The files of a set repeat their stream times: the packet after the last one, or
        // (at a file's end) one of the first of the next file's, is taken for that.
        const auto& sound = ref.Sound();
        int file = -1, index = -1;
        if (lastFile >= 0 && static_cast<std::size_t>(lastIndex + 1) < sound[lastFile].size() &&
            sound[lastFile][lastIndex + 1] == v.pts) {
            file = lastFile, index = lastIndex + 1;
        } else if (lastFile >= 0 && static_cast<std::size_t>(lastFile + 1) < sound.size() &&
                   static_cast<std::size_t>(lastIndex + 3) >= sound[lastFile].size()) {
            const auto& next = sound[lastFile + 1];
            const auto it = std::find(next.begin(), next.begin() + std::min<std::ptrdiff_t>(10, next.size()), v.pts);
            if (it != next.begin() + std::min<std::ptrdiff_t>(10, next.size()))
                file = lastFile + 1, index = static_cast<int>(it - next.begin());
        }
        if (file < 0 && lastFile >= 0 && !otherSpeed) {
            std::snprintf(buf, sizeof buf, "%s: sound of %lld us taken after packet %d of file %d with no restart between",
                          At(v.wall).c_str(), static_cast<long long>(v.pts), lastIndex, lastFile);
            fault(buf);
        }
        if (file < 0 && !ref.FindSound(v.pts, &file, &index))
            file = -1;
        lastFile = file;
        lastIndex = index;
    }

    if (ref.Reordered())
        return;
    const std::vector<Shown>& log = out->log;
    const int day = 86400;
    const auto startOfDay = static_cast<int>((r.start % day + day) % day);
    for (const Session::RecordTold& v : s.RecordLog()) {
        if (v.second < 0)
            continue;
        const double media = static_cast<double>(((v.second - startOfDay) % day + day) % day);
        const auto rec = std::find_if(ref.Records().begin(), ref.Records().end(),
                                      [&](const Reference::Record& x) { return std::fabs(x.media - media) < 0.5; });
        if (rec == ref.Records().end() || rec->before < 0)
            continue;
        // The speed in force, and the last action that may have moved play (not a redraw, a
        // snapshot, or a seek outside a lone recording).
        double speed = 1, acted = 0;
        bool listed = false;
        for (const Taken& t : p.taken)
            if (t.wall <= v.wall) {
                listed = t.kind == 'o' ? t.value != 0 : listed;
                const bool outside = t.kind == 'k' && SeekStays(r, listed, t.value);
                if (t.kind != 'r' && t.kind != 'p' && !outside)
                    acted = t.wall;
                speed = t.kind == 't' ? 0 : t.kind == 's' ? t.value : t.kind == 'o' ? 1 : speed;
            }
        int screen = -1;
        double screenWall = 0;
        for (const Shown& x : log)
            if (x.wall <= v.wall && x.picture >= 0)
                screen = x.picture, screenWall = x.wall;
        if (speed > 0 && speed <= 1 && screen >= 0 && screenWall > acted && screen < rec->before &&
            screen >= rec->before - 12) {
            std::snprintf(buf, sizeof buf, "%s: the record of %.0f s told with picture %d on the screen, before %d",
                          At(v.wall).c_str(), media, screen, rec->before);
            fault(buf);
        }
    }
}

}  // namespace

Outcome PlayScript(const std::string& name, Rec rec, const std::string& script, bool walkRules)
{
    if (Recordings().file.empty())
        return Broken(name, "no recordings");
    const Recording r = Of(rec);
    Session s(*r.ref);
    std::vector<std::string> items = Items(script);
    if (!items.empty() && items.front().rfind("small", 0) == 0) {
        s.SmallQueues(items.front() == "small sound");
        items.erase(items.begin());
    }
    // Alone, or (a leading "open list") with its folder's list loaded, as the main window opens it.
    const bool listed = !items.empty() && items.front() == "open list";
    const std::string folder = std::filesystem::path(r.path).parent_path().string();
    if (!(r.folder ? s.OpenFolder(r.path) : listed ? s.OpenFromFolder(folder, r.path) : s.OpenFile(r.path)))
        return Broken(name, "the recording does not open");
    std::vector<std::string> early;
    const Played p = Perform(s, r, script, &early);
    const double end = s.Now();
    // The fresh starts play a lone recording: the set's files are of the 40 s one's kind.
    const Fixture& f = Recordings();
    Outcome out = Finish(name, s, *r.ref, end, r.folder ? f.fileRef : *r.ref, r.folder ? f.file : r.path, p.pace);
    if (walkRules) {
        // the walk's own order rules replace those of the stretches
        out.phases.clear();
        out.faults.clear();
    }
    out.faults.insert(out.faults.end(), early.begin(), early.end());
    if (walkRules)
        JudgeWalk(r, p, s, end, &out);
    JudgeChecks(p, *r.ref, s, end, &out);
    JudgeStreams(r, p, s, &out);
    if (out.firstFault >= 0) {
        out.trace = Trace(s, out.log, s.Marks(), *r.ref, out.firstFault - 3000, out.firstFault + 2000);
        // The script up to the first fault, and time to see it.
        for (const auto& [wall, item] : p.items)
            if (wall <= out.firstFault || item.rfind("wait", 0) == 0 || item[0] == '?')
                out.shortScript += item + "; ";
            else
                break;
        out.shortScript += "wait 3000";
    }
    for (const Taken& t : p.taken)
        out.actions += At(t.wall) + "  " + t.text + "\n";
    return out;
}

std::string WalkScript(Rec rec, std::uint32_t seed, int actions)
{
    const Recording r = Of(rec);
    std::mt19937 rng(seed);
    auto uniform = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); };
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    static const char* const kSpeeds[] = {"1/8x", "1/4x", "1/2x", "1x", "1x", "2x", "4x", "8x", "-1x", "-1x", "0x", "0x"};
    const int seconds = static_cast<int>(std::round(r.seconds));
    const int files = static_cast<int>(r.files.size());
    std::string out;
    // Queues as they are, or small ones (the reader waits for room for pictures, or for sound).
    const int queues = pick(3);
    if (queues > 0)
        out += queues == 1 ? "small; " : "small sound; ";
    // A lone recording opened alone, or with its folder's list loaded as the main window does.
    bool listed = r.folder;
    if (!r.folder && pick(2) == 0) {
        out += "open list; ";
        listed = true;
    }
    for (int n = 0; n < actions; ++n) {
        const double roll = uniform(0, 1);
        if (roll < 0.40) {
            out += kSpeeds[pick(12)];
        } else if (roll < 0.55) {
            out += pick(5) < 3 ? "step" : "back";
        } else if (roll < 0.72 || (roll < 0.80 && !r.folder)) {
            // Near the ends more often than elsewhere, and outside (a set, or a lone recording
            // with its list, goes by the list's rule; alone play stays where it is).
            const double where = uniform(0, 1);
            const int second = where < 0.15   ? pick(2)
                               : where < 0.35 ? seconds - 1 - pick(3)
                               : where < 0.45 ? (pick(2) == 0 ? -1 - pick(3) : seconds + pick(5))
                                              : pick(seconds);
            out += "seek " + std::to_string(second);
        } else if (roll < 0.80) {
            out += "file " + std::to_string(pick(files));
        } else if (roll < 0.84) {
            // stopped and opened again, alone or with the list
            listed = r.folder || pick(2) == 0;
            out += listed ? "open list" : "open";
        } else if (roll < 0.88) {
            out += "reset";
        } else if (roll < 0.92) {
            out += "snap";
        } else {
            // Requests that leave play where it is, in a burst (the reader may wait for room
            // meanwhile), half the time as play nears the end of a file.
            if (pick(2) == 0) {
                const int near = r.folder && files > 1 && pick(2) == 0 ? static_cast<int>(kPartSeconds) * (1 + pick(files - 1))
                                                                       : seconds;
                out += "1x; seek " + std::to_string(std::max(0, near - 2)) + "; wait " +
                       std::to_string(1000 + 100 * pick(8)) + "; ";
            }
            out += !listed && pick(3) != 0 ? "outside " + std::to_string(200 + 100 * pick(7)) : std::string("-1x; 1x");
        }
        const double wait = uniform(0, 1);
        const int ms = wait < 0.25 ? 0 : static_cast<int>(wait < 0.6 ? uniform(20, 400) : wait < 0.85 ? uniform(400, 1500) : uniform(1500, 3500));
        if (ms > 0)
            out += "; wait " + std::to_string(ms / 10 * 10);
        out += "; ";
    }
    return out;
}

}  // namespace playharness
