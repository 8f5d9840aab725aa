// A time seek in a card folder of 2,000 recordings, played as one set: from the request to the
// demultiplexer reading at the new place. The reference, measured in the same run, is one walk
// over the recordings' headers (open, read the first packet, close), which is what a seek would
// cost if it looked each recording's times up in its file; the counter "per header walk" is the
// seek's time as a ratio to it.

#include "engine/Jtv.h"
#include "engine/JtvCtrl.h"
#include "platform/base/clock.h"
#include "tools/recgen/recgen.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kRecordings = 2000;
constexpr std::time_t kStart = 1700000000;

// One short recording written by the generator, copied 2,000 times with its header's times
// moved on by a second each, under names that sort in time order.
struct Card {
    fs::path root;
    std::vector<std::string> paths;
    bool ok = false;

    Card()
    {
        root = fs::temp_directory_path() / ("qv-bench-seek-" + std::to_string(getpid()));
        fs::create_directories(root / "rec");
        recgen::RecordingSpec rec;
        rec.width = 64;
        rec.height = 64;
        rec.fps = 10;
        rec.gop = 5;
        rec.seconds = 1.0;
        rec.audio = false;
        rec.info_hz = 0;
        const std::string one = (root / "one.ts").string();
        recgen::RecordingInfo info;
        if (!recgen::WriteRecording(rec, one, &info))
            return;
        std::ifstream in(one, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::size_t at = static_cast<std::size_t>(info.header_offset);
        for (int i = 0; i < kRecordings; ++i) {
            std::uint8_t t[6];
            recgen::HeaderTime(kStart + i, t);
            std::memcpy(&bytes[at + 50], t, 6);
            recgen::HeaderTime(kStart + i + 1, t);
            std::memcpy(&bytes[at + 66], t, 6);
            char name[32];
            std::snprintf(name, sizeof name, "%05d.ts", i);
            paths.push_back((root / "rec" / name).string());
            std::ofstream(paths.back(), std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
        fs::remove(one);
        ok = true;
    }
    ~Card() { fs::remove_all(root); }
};

// Opens each recording and reads its first packet: the per-file cost a header lookup has.
double HeaderWalkSeconds(const std::vector<std::string>& paths)
{
    const auto t0 = std::chrono::steady_clock::now();
    std::uint8_t head[188];
    long total = 0;
    for (const std::string& p : paths) {
        const int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        total += ::read(fd, head, sizeof head);
        ::close(fd);
    }
    benchmark::DoNotOptimize(total);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

bool WaitFor(const std::function<bool()>& done)
{
    const ULONGLONG end = GetTickCount64() + 10000;
    while (!done()) {
        if (GetTickCount64() > end)
            return false;
        std::this_thread::yield();
    }
    return true;
}

void BM_TimeSeekInASetOf2000(benchmark::State& state)
{
    static Card card;
    if (!card.ok) {
        state.SkipWithError("the card folder could not be written");
        return;
    }
    HJTV h = JtvCreate();
    CJtvCtrl* e = reinterpret_cast<CJtvCtrl*>(h);
    JtvSetExportFolder(h, (card.root / "rec").string());
    if (JtvLoadFileList(h) == nullptr || !e->CreateChannels()) {
        state.SkipWithError("the list did not load");
        JtvDestroy(h);
        return;
    }
    // The demultiplexer alone, its queues drained as fast as it fills them.
    CTSAnalyse& demux = e->m_channel.Demux();
    demux.SetFileList(card.paths);
    e->m_channel.SetSource(nullptr, card.paths.front());
    std::atomic<bool> draining{true};
    std::thread drain([&] {
        PacketDesc d;
        while (draining.load()) {
            if (!e->m_channel.VideoQueue().Pop(d))
                std::this_thread::yield();
        }
    });
    if (!e->m_channel.Start() || !WaitFor([&] { return demux.PmtKnown(); })) {
        state.SkipWithError("the set did not start");
    } else {
        double walks = 0;
        int walkRuns = 0;
        int n = 0;
        for (auto _ : state) {
            state.PauseTiming();
            walks += HeaderWalkSeconds(card.paths);
            ++walkRuns;
            const int target = static_cast<int>(kStart) + (n * 7919) % kRecordings;
            ++n;
            state.ResumeTiming();
            JtvSeekToTime(h, target, 0);
            if (!WaitFor([&] { return !demux.RequestPending(); })) {
                state.SkipWithError("the seek was not carried out");
                break;
            }
        }
        if (walkRuns > 0 && state.iterations() > 0) {
            const double walk = walks / walkRuns;
            state.counters["header walk ms"] = walk * 1000.0;
            state.counters["per header walk"] = benchmark::Counter(
                walk * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
        }
    }
    draining = false;
    e->m_channel.Stop();
    drain.join();
    JtvDestroy(h);
}
BENCHMARK(BM_TimeSeekInASetOf2000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(50);

}  // namespace

BENCHMARK_MAIN();
