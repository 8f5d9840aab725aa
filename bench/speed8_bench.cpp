// Play at speed 8 on a 1080p30 recording (one-second picture groups): the rate of pictures put
// on the screen and how fast the recording's time goes by against the wall clock (8x is the
// aim for the time; 240 pictures per second is the aim for the rate). Fast play shows key
// pictures only, each after the fixed fast-play sleep, so the picture rate is bound by that.
// The recording is generated once into $QV_BENCH_CACHE (default /tmp/quorvin-bench).

#include "engine/EngineMessages.h"
#include "engine/Jtv.h"
#include "engine/JtvCtrl.h"
#include "engine/SourceType.h"
#include "platform/base/clock.h"
#include "platform/base/message.h"
#include "platform/media/presenter.h"
#include "tools/recgen/recgen.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

namespace {

using Clock = std::chrono::steady_clock;

std::string CacheDir()
{
    const char* env = std::getenv("QV_BENCH_CACHE");
    std::string dir = env != nullptr && *env != '\0' ? env : "/tmp/quorvin-bench";
    std::filesystem::create_directories(dir);
    return dir;
}

constexpr int kFps = 30;
constexpr int kSeconds = 60;

}  // namespace

int main()
{
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    av_log_set_level(AV_LOG_ERROR);
    const std::string path = CacheDir() + "/speed8-1080p30-60s.ts";
    std::error_code ec;
    if (!std::filesystem::exists(path, ec) || std::filesystem::file_size(path, ec) < 1000000) {
        std::fprintf(stderr, "generating %s ...\n", path.c_str());
        recgen::RecordingSpec rec;
        rec.width = 1920;
        rec.height = 1080;
        rec.fps = kFps;
        rec.gop = kFps;
        rec.seconds = kSeconds;
        rec.kbps = 8000;
        rec.threads = 4;
        recgen::RecordingInfo info;
        if (!recgen::WriteRecording(rec, path, &info)) {
            std::fprintf(stderr, "cannot generate: %s\n", info.error.c_str());
            return 1;
        }
    }

    HJTV h = JtvCreate();
    HWND render = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    std::atomic<bool> ended{false};
    HWND notify = CreateMessageWindow([&](HWND, UINT message, WPARAM, LPARAM lparam) -> LRESULT {
        if (message == WM_JTV_PLAYEND && lparam == 0)
            ended = true;
        return 0;
    });
    JtvSetRenderWindow(h, render, 0);
    JtvSetNotifyWindow(h, notify, 0);
    std::vector<double> presents;  // seconds since the speed was set
    std::vector<int> times;        // the shown picture's recording time, whole seconds
    Clock::time_point start = Clock::now();
    std::atomic<bool> timing{false};
    SetPresentHook([&](HWND w) {
        if (w != render || !timing.load())
            return;
        presents.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        times.push_back(JtvGetPlayTime(h, 0));
    });

    if (JtvOpenFile(h, path) != kSourceTs || !JtvOpenSourceBox(h, 0, 0, 0)) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return 1;
    }
    auto* engine = reinterpret_cast<CJtvCtrl*>(h);
    // Speed 8 from the first picture on.
    const ULONGLONG limit = GetTickCount64() + 10000;
    while (engine->m_channel.VideoCtx().ShownCount() == 0 && GetTickCount64() < limit)
        Sleep(1);
    start = Clock::now();
    JtvSetPlaySpeed(h, 8.0);
    timing = true;
    const ULONGLONG end = GetTickCount64() + kSeconds * 1000;
    MSG msg;
    while (!ended.load() && GetTickCount64() < end) {
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        else
            Sleep(1);
    }
    timing = false;
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    JtvDestroy(h);
    SetPresentHook({});
    DestroyPresenter(render);
    DestroyMessageWindow(render);
    DestroyMessageWindow(notify);

    if (presents.size() < 2) {
        std::printf("speed 8: %zu pictures shown\n", presents.size());
        return 1;
    }
    const double span = presents.back() - presents.front();
    const double rate = static_cast<double>(presents.size() - 1) / span;
    const double mediaRate = static_cast<double>(times.back() - times.front()) / span;
    // Drift: the pace of the first half against the second.
    const std::size_t half = presents.size() / 2;
    const double first = static_cast<double>(half) / (presents[half] - presents.front());
    const double second = static_cast<double>(presents.size() - 1 - half) / (presents.back() - presents[half]);
    std::printf("speed 8 on 1920x1080 at %d fps, one key picture a second, decoder threads: %d\n", kFps,
                1 /* the video decoder's thread count */);
    std::printf("  pictures shown: %zu in %.2f s (to the end: %.2f s)\n", presents.size(), span, wall);
    std::printf("  picture rate: %.1f /s (aim 240: %.3fx)\n", rate, rate / 240.0);
    std::printf("  recording time per wall second: %.2f s (aim 8: %.3fx)\n", mediaRate, mediaRate / 8.0);
    std::printf("  pace first half %.2f /s, second half %.2f /s (drift %.1f%%)\n", first, second,
                (second - first) / first * 100.0);
    return 0;
}
