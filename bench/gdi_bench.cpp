// The drawing layer's two hot paths, each against a reference measured in the same run:
// BitBlt SRCCOPY of a 1080p bitmap against memcpy of the same bytes, and DrawText of a
// 30-character line with a warm glyph cache (time per call).
//
// Prints, at the end, the ratio memcpy time / BitBlt time (1.0 = as fast as memcpy; the aim is
// at least 0.5) and the DrawText time per call in microseconds (the aim is under 50).

#include <benchmark/benchmark.h>

#include "ratios.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/gdi/gdi.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

struct Surface {
    Surface()
    {
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateBitmap(kWidth, kHeight, 1, 32, nullptr);
        old = SelectObject(dc, bitmap);
    }
    ~Surface()
    {
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
};

void BM_Memcpy1080p(benchmark::State& state)
{
    std::vector<uint32_t> src(static_cast<size_t>(kWidth) * kHeight, 0xFF123456u), dst(src.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size() * 4);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(src.size()) * 4);
}
BENCHMARK(BM_Memcpy1080p)->Unit(benchmark::kMicrosecond);

void BM_BitBlt1080p(benchmark::State& state)
{
    Surface src, dst;
    RECT all{0, 0, kWidth, kHeight};
    FillRect(src.dc, &all, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    for (auto _ : state) {
        BitBlt(dst.dc, 0, 0, kWidth, kHeight, src.dc, 0, 0, SRCCOPY);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kWidth} * kHeight * 4);
}
BENCHMARK(BM_BitBlt1080p)->Unit(benchmark::kMicrosecond);

void BM_DrawText30(benchmark::State& state)
{
    Surface dst;
    HFONT font = CreateFont(-24, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial");
    HGDIOBJ old = SelectObject(dst.dc, font);
    SetBkMode(dst.dc, TRANSPARENT);
    SetTextColor(dst.dc, RGB(255, 0, 0));
    const char* line = "2026-12-07 04:39:44 72 km/h N1";  // 30 characters, as the OSD draws
    RECT r{20, 20, kWidth - 20, 80};
    DrawText(dst.dc, line, -1, &r, DT_SINGLELINE | DT_NOPREFIX);  // warms the glyph cache
    for (auto _ : state) {
        DrawText(dst.dc, line, -1, &r, DT_SINGLELINE | DT_NOPREFIX);
        benchmark::ClobberMemory();
    }
    SelectObject(dst.dc, old);
    DeleteObject(font);
}
BENCHMARK(BM_DrawText30)->Unit(benchmark::kMicrosecond);

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
    PrintRatio(reporter, "BM_Memcpy1080p", "BM_BitBlt1080p");
    if (const auto t = reporter.times.find("BM_DrawText30"); t != reporter.times.end())
        std::printf("DrawText of a 30-character line, warm glyph cache: %.2f us per call\n", t->second / 1000.0);
    return 0;
}
