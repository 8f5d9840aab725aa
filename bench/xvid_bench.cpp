// Xvid encoding rate of exported pictures at 720p and 1080p, by encoder thread count:
// frames a second and the ratio to real time at 25 frames a second.

#include "engine/XvidEncoder.h"

#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr int kPictures = 25;

// Moving texture and a moving box, so that motion search has work to do.
std::vector<std::vector<std::uint8_t>> MakePictures(int w, int h)
{
    std::vector<std::vector<std::uint8_t>> pictures;
    for (int t = 0; t < kPictures; ++t) {
        std::vector<std::uint8_t> p(std::size_t(w) * h * 3 / 2);
        std::uint32_t noise = 12345u + std::uint32_t(t);
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c) {
                noise = noise * 1664525u + 1013904223u;
                const bool box = std::abs(c - (t * 12) % w) < 80 && std::abs(r - h / 2) < 80;
                p[std::size_t(r) * w + c] =
                    box ? 230 : std::uint8_t(64 + 60 * std::sin((c + t * 3) / 17.0) + 30 * std::cos(r / 11.0) + (noise >> 29));
            }
        for (std::size_t i = std::size_t(w) * h; i < p.size(); ++i)
            p[i] = std::uint8_t(128 + (i % 37));
        pictures.push_back(std::move(p));
    }
    return pictures;
}

void BM_XvidEncode(benchmark::State& state)
{
    const int w = int(state.range(0));
    const int h = int(state.range(1));
    const int threads = int(state.range(2));
    const auto pictures = MakePictures(w, h);
    CXvidEncoder enc;
    enc.SetThreads(threads);
    const int strides[3] = {w, w / 2, w / 2};
    std::int64_t frames = 0;
    std::int64_t bytes = 0;
    for (auto _ : state) {
        const std::uint8_t* p = pictures[std::size_t(frames % kPictures)].data();
        const std::uint8_t* planes[3] = {p, p + std::size_t(w) * h, p + std::size_t(w) * h * 5 / 4};
        const int size = enc.Encode(planes, strides, AV_PIX_FMT_YUV420P, w, h, frames == 0);
        if (size < 0) {
            state.SkipWithError("encoding failed");
            break;
        }
        bytes += size;
        ++frames;
    }
    state.counters["fps"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
    state.counters["x_realtime_25fps"] = benchmark::Counter(double(frames) / 25.0, benchmark::Counter::kIsRate);
    state.counters["threads"] = threads;
    state.counters["kB_per_frame"] = frames ? double(bytes) / double(frames) / 1000.0 : 0.0;
}

}  // namespace

BENCHMARK(BM_XvidEncode)
    ->ArgNames({"w", "h", "threads"})
    ->Args({1280, 720, 0})
    ->Args({1280, 720, 2})
    ->Args({1280, 720, 4})
    ->Args({1920, 1080, 0})
    ->Args({1920, 1080, 2})
    ->Args({1920, 1080, 4})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

BENCHMARK_MAIN();
