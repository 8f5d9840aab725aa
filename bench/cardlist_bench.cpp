// Listing a card folder of 10,000 recordings, against a reference walk measured in the same run.
// Two folders: the recording-list test's own (376-byte files holding only a recorder header, no
// GPS logs) and a fuller one (8192-byte headers, each with a one-minute GPS log beside it). The
// reference does in plain POSIX what any listing must: read the folder, read each recording's
// first 8192 bytes and its log whole, turn the header times into calendar times, sort by start.
// Each folder is written once, so later iterations read from a warm cache.
//
// Prints, at the end, the ratio reference time / our time for each folder (1.0 = as fast as the
// reference walk).

#include "engine/SourceBoxCtx.h"

#include <benchmark/benchmark.h>

#include "ratios.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kRecordings = 10000;
constexpr std::size_t kHeadBytes = 8192;

void HeaderTime(std::time_t t, char* out)
{
    std::tm tm{};
    localtime_r(&t, &tm);
    const char b[6] = {static_cast<char>(tm.tm_year), static_cast<char>(tm.tm_mon), static_cast<char>(tm.tm_mday),
                       static_cast<char>(tm.tm_hour), static_cast<char>(tm.tm_min), static_cast<char>(tm.tm_sec)};
    std::memcpy(out, b, 6);
}

// A card folder "rec" of recordings a minute long, named in a scrambled order against their
// times, with their "dit" logs when asked.
struct Card {
    fs::path root;
    Card(const char* kind, std::size_t fileBytes, bool logs)
    {
        root = fs::temp_directory_path() / ("qv-bench-cardlist-" + std::string(kind) + "-" + std::to_string(getpid()));
        fs::create_directories(root / "rec");
        if (logs)
            fs::create_directories(root / "dit");
        std::string head(fileBytes, '\xFF');
        head[0] = 0x47;
        for (int i = 0; i < kRecordings; ++i) {
            const std::time_t start = 1700000000 + static_cast<std::time_t>(i) * 60;
            HeaderTime(start, &head[50]);
            HeaderTime(start + 60, &head[66]);
            head[64] = static_cast<char>(i % 5);
            char name[32];
            std::snprintf(name, sizeof name, "%05d", (i * 7919) % kRecordings);
            std::ofstream(root / "rec" / (std::string(name) + ".ts"), std::ios::binary).write(head.data(), head.size());
            if (!logs)
                continue;
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

Card& HeaderCard()
{
    static Card card("headers", 376, false);
    return card;
}

Card& LoggedCard()
{
    static Card card("logs", kHeadBytes, true);
    return card;
}

std::time_t ReadTime(const unsigned char* b)
{
    std::tm tm{};
    tm.tm_year = b[0];
    tm.tm_mon = b[1];
    tm.tm_mday = b[2];
    tm.tm_hour = b[3];
    tm.tm_min = b[4];
    tm.tm_sec = b[5];
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

// The reference walk; the number of recordings it listed.
std::size_t ReferenceWalk(const fs::path& root)
{
    const std::string rec = (root / "rec").string() + "/";
    const std::string dit = (root / "dit").string() + "/";
    std::vector<std::pair<std::time_t, std::string>> list;
    DIR* dir = opendir(rec.c_str());
    if (dir == nullptr)
        return 0;
    static unsigned char buf[1 << 16];
    while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name.size() < 4 || name.compare(name.size() - 3, 3, ".ts") != 0)
            continue;
        const int fd = open((rec + name).c_str(), O_RDONLY);
        if (fd < 0)
            continue;
        const ssize_t n = read(fd, buf, kHeadBytes);
        close(fd);
        if (n < 72)
            continue;
        const std::time_t start = ReadTime(buf + 50), end = ReadTime(buf + 66);
        if (end <= start)
            continue;
        const int log = open((dit + name.substr(0, name.size() - 3) + ".dit").c_str(), O_RDONLY);
        if (log >= 0) {
            while (read(log, buf, sizeof buf) > 0) {
            }
            close(log);
        }
        list.emplace_back(start, rec + name);
    }
    closedir(dir);
    std::stable_sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    return list.size();
}

void ListCard(benchmark::State& state, Card& card)
{
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

void Reference(benchmark::State& state, Card& card)
{
    for (auto _ : state) {
        if (ReferenceWalk(card.root) != kRecordings) {
            state.SkipWithError("the reference walk missed recordings");
            return;
        }
    }
}

void BM_ListHeaderFolder(benchmark::State& state) { ListCard(state, HeaderCard()); }
void BM_ReferenceHeaderFolder(benchmark::State& state) { Reference(state, HeaderCard()); }
void BM_ListLoggedFolder(benchmark::State& state) { ListCard(state, LoggedCard()); }
void BM_ReferenceLoggedFolder(benchmark::State& state) { Reference(state, LoggedCard()); }
BENCHMARK(BM_ReferenceHeaderFolder)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_ListHeaderFolder)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_ReferenceLoggedFolder)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_ListLoggedFolder)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// Keeps the console output and notes each benchmark's real time per iteration (nanoseconds).
}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    PrintRatio(reporter, "BM_ReferenceHeaderFolder", "BM_ListHeaderFolder");
    PrintRatio(reporter, "BM_ReferenceLoggedFolder", "BM_ListLoggedFolder");
    return 0;
}
