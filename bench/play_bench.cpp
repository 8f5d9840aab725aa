// Playing 1080p recordings through the engine, each figure measured once in this run:
//   (a) demultiplexing a recording of at least 200 MB, against `ffmpeg -c copy -f null`;
//   (b) decoding and converting every picture with the pacing off, against FFmpeg decoding
//       with the same thread count;
//   (c) time from opening to the first presented picture, and from a seek to the first
//       picture after it (one-second picture groups);
//   (d) peak resident memory added while playing.
// The recordings are generated once into $QV_BENCH_CACHE (default /tmp/quorvin-bench).

#include "engine/EngineMessages.h"
#include "engine/Jtv.h"
#include "engine/JtvCtrl.h"
#include "platform/base/clock.h"
#include "platform/base/message.h"
#include "platform/media/presenter.h"
#include "tools/recgen/recgen.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern "C" {
#include <libavutil/log.h>
}

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from)
{
    return std::chrono::duration<double>(Clock::now() - from).count();
}

std::string CacheDir()
{
    const char* env = std::getenv("QV_BENCH_CACHE");
    std::string dir = env != nullptr && *env != '\0' ? env : "/tmp/quorvin-bench";
    std::filesystem::create_directories(dir);
    return dir;
}

// Generates the recording in a child process, so that the encoder's memory never counts
// towards this process's peak.
bool Generate(const recgen::RecordingSpec& rec, const std::string& path, std::uintmax_t min_bytes)
{
    std::error_code ec;
    if (std::filesystem::exists(path, ec) && std::filesystem::file_size(path, ec) >= min_bytes)
        return true;
    std::fprintf(stderr, "generating %s ...\n", path.c_str());
    const pid_t child = fork();
    if (child == 0) {
        av_log_set_level(AV_LOG_ERROR);
        recgen::RecordingInfo info;
        _exit(recgen::WriteRecording(rec, path, &info) ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return false;
    return std::filesystem::file_size(path, ec) >= min_bytes;
}

double TimeCommand(const std::string& cmd)
{
    const auto start = Clock::now();
    if (std::system(cmd.c_str()) != 0)
        return -1;
    return Seconds(start);
}

long StatusKb(const char* field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0)
            return std::strtol(line.c_str() + key.size(), nullptr, 10);
    return -1;
}

void ResetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// One engine with its render and notify windows; presents are timed through the hook.
struct Player {
    HJTV h = JtvCreate();
    HWND render = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    HWND notify = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    std::atomic<std::uint64_t> presents{0};
    std::atomic<std::int64_t> lastPresentNs{0};

    Player()
    {
        JtvSetRenderWindow(h, render, 0);
        JtvSetNotifyWindow(h, notify, 0);
        SetPresentHook([this](HWND w) {
            if (w != render)
                return;
            lastPresentNs.store(Clock::now().time_since_epoch().count());
            presents.fetch_add(1);
        });
    }
    ~Player()
    {
        JtvDestroy(h);
        SetPresentHook({});
        DestroyPresenter(render);
        DestroyMessageWindow(render);
        DestroyMessageWindow(notify);
    }
    CJtvCtrl& engine() { return *reinterpret_cast<CJtvCtrl*>(h); }
    bool Open(const std::string& path) { return JtvOpenFile(h, path) == 13 && JtvOpenSourceBox(h, 0, 0, 0); }
    template <typename Done>
    bool WaitFor(Done done, double limit_s)
    {
        const auto start = Clock::now();
        while (!done()) {
            if (Seconds(start) > limit_s)
                return false;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        return true;
    }
};

recgen::RecordingSpec Hd(double seconds, int kbps)
{
    recgen::RecordingSpec rec;
    rec.width = 1920;
    rec.height = 1080;
    rec.fps = 30;
    rec.gop = 30;
    rec.seconds = seconds;
    rec.audio = false;
    rec.kbps = kbps;
    rec.threads = 8;
    return rec;
}

}  // namespace

int main()
{
    av_log_set_level(AV_LOG_ERROR);
    const std::string dir = CacheDir();
    const std::string big = dir + "/hd_200mb.ts";
    const std::string clip = dir + "/hd_20s.ts";
    if (!Generate(Hd(130, 100000), big, 200u << 20) || !Generate(Hd(20, 8000), clip, 1)) {
        std::fprintf(stderr, "play_bench: cannot generate the recordings in %s\n", dir.c_str());
        return 1;
    }
    const int frames20 = 20 * 30;

    // (d) first, on a fresh peak: real-time play of the 20-second clip for 8 seconds.
    {
        ResetPeak();
        const long before = StatusKb("VmRSS");
        {
            Player p;
            p.Open(clip);
            std::this_thread::sleep_for(std::chrono::seconds(8));
        }
        const long peak = StatusKb("VmHWM");
        std::printf("(d) peak memory added while playing 1080p: %.1f MB (VmHWM %ld kB - VmRSS before %ld kB)\n",
                    (peak - before) / 1024.0, peak, before);
    }

    // (a) demultiplexing only: the video thread drops every packet while video is off.
    {
        const double ffmpeg = TimeCommand("ffmpeg -v error -i '" + big + "' -c copy -f null -");
        Player p;
        JtvEnableVideo(p.h, 0, 0);
        const auto start = Clock::now();
        p.Open(big);
        p.WaitFor([&] { return p.engine().m_channel.Demux().EndReached(); }, 600);
        const double ours = Seconds(start);
        const double mb = static_cast<double>(std::filesystem::file_size(big)) / (1 << 20);
        std::printf("(a) demultiplex %.0f MB: %.2f s (%.0f MB/s), ffmpeg -c copy %.2f s; ratio ffmpeg/ours %.2f\n", mb,
                    ours, mb / ours, ffmpeg, ffmpeg / ours);
    }

    // (b) decode and convert every picture, pacing off; the engine decodes on one thread.
    {
        const double ffmpeg = TimeCommand("ffmpeg -v error -threads 1 -i '" + clip + "' -an -f null -");
        Player p;
        p.engine().m_channel.VideoCtx().SetSyncOff(true);
        const auto start = Clock::now();
        p.Open(clip);
        p.WaitFor([&] { return p.engine().m_channel.VideoCtx().ShownCount() >= static_cast<std::uint64_t>(frames20); }, 600);
        const double ours = Seconds(start);
        std::printf("(b) decode+convert %d pictures 1080p: %.2f s (%.1f fps), ffmpeg -threads 1 %.2f s; ratio ffmpeg/ours %.2f\n",
                    frames20, ours, frames20 / ours, ffmpeg, ffmpeg / ours);
    }

    // (c) open to first picture, seek to first new picture (one-second picture groups).
    {
        Player p;
        const auto start = Clock::now();
        p.Open(clip);
        p.WaitFor([&] { return p.presents.load() > 0; }, 30);
        const double first = std::chrono::duration<double>(
                                 Clock::time_point(Clock::duration(p.lastPresentNs.load())) - start).count();
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const std::uint64_t presentsBefore = p.presents.load();
        const auto seek = Clock::now();
        JtvSeekToTime(p.h, static_cast<int>(Hd(20, 8000).start_time + 12), 0);
        p.WaitFor([&] { return p.presents.load() > presentsBefore &&
                               p.engine().m_channel.VideoCtx().LastShownPosition() >= 500; }, 30);
        const double seeked = std::chrono::duration<double>(
                                  Clock::time_point(Clock::duration(p.lastPresentNs.load())) - seek).count();
        std::printf("(c) open to first picture %.1f ms; seek to first new picture %.1f ms\n", first * 1000,
                    seeked * 1000);
    }
    return 0;
}
