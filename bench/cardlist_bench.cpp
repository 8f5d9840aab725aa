// Listing a card folder of 10,000 recordings, each with a recorder header and a one-minute GPS
// log beside it: the whole load (header reads, GPS logs, sort) and the rate in recordings per
// second. The folder is written once, so later iterations read from a warm cache.

#include "engine/SourceBoxCtx.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kRecordings = 10000;

void HeaderTime(std::time_t t, char* out)
{
    std::tm tm{};
    localtime_r(&t, &tm);
    const char b[6] = {static_cast<char>(tm.tm_year), static_cast<char>(tm.tm_mon), static_cast<char>(tm.tm_mday),
                       static_cast<char>(tm.tm_hour), static_cast<char>(tm.tm_min), static_cast<char>(tm.tm_sec)};
    std::memcpy(out, b, 6);
}

// A card folder "rec" with its "dit" logs, names in a scrambled order against the times.
struct Card {
    fs::path root;
    Card()
    {
        root = fs::temp_directory_path() / ("qv-bench-cardlist-" + std::to_string(getpid()));
        fs::create_directories(root / "rec");
        fs::create_directories(root / "dit");
        std::string head(8192, '\xFF');
        head[0] = 0x47;
        for (int i = 0; i < kRecordings; ++i) {
            const std::time_t start = 1700000000 + static_cast<std::time_t>(i) * 60;
            HeaderTime(start, &head[50]);
            HeaderTime(start + 60, &head[66]);
            head[64] = static_cast<char>(i % 5);
            char name[32];
            std::snprintf(name, sizeof name, "%05d", (i * 7919) % kRecordings);
            std::ofstream(root / "rec" / (std::string(name) + ".ts"), std::ios::binary).write(head.data(), 8192);
            std::ofstream log(root / "dit" / (std::string(name) + ".dit"), std::ios::binary);
            log << "$time:2023/11/14 22:13:20\r\n";
            for (int s = 0; s < 60; ++s) {
                char line[128];
                std::snprintf(line, sizeof line,
                              "$GPRMC,2213%02d,A,25%02d.%04d,N,12133.9240,E,60.0,45.0,141123,,,A*00\r\n", s, s % 60,
                              (s * 37) % 10000);
                log << line;
            }
        }
    }
    ~Card() { fs::remove_all(root); }
};

void BM_ListCardFolder(benchmark::State& state)
{
    static Card card;
    CSourceBoxCtx box(nullptr);
    for (auto _ : state) {
        const RecordingEntry* first = box.LoadFileList((card.root / "rec").string());
        benchmark::DoNotOptimize(first);
        if (box.Count() != kRecordings) {
            state.SkipWithError("not every recording was listed");
            return;
        }
    }
    state.counters["recordings/s"] =
        benchmark::Counter(static_cast<double>(kRecordings) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ListCardFolder)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
