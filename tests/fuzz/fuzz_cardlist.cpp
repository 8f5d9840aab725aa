// The card folder's readers on arbitrary bytes: the recording header, the GPS log's distance
// fed whole and in pieces, and a folder listing of one recording whose header and GPS log are
// the input. Everything must stay in bounds and agree.

#include "engine/SourceBoxCtx.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

std::filesystem::path g_dir;

void RemoveDir() { std::filesystem::remove_all(g_dir); }

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "cardlist fuzz: %s\n", what);
    std::abort();
}

void WriteFile(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    setenv("TZ", "UTC0", 1);
    g_dir = std::filesystem::temp_directory_path() / ("qv-fuzz-cardlist-" + std::to_string(getpid()));
    std::filesystem::create_directories(g_dir / "rec");
    std::filesystem::create_directories(g_dir / "dit");
    std::atexit(RemoveDir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    RecordingHeader h;
    const bool valid = ReadRecordingHeader(data, size, &h);
    if (valid) {
        if (size < 72)
            Fail("header taken from too few bytes");
        if (h.startDate[1] < 1 || h.startDate[1] > 12 || h.endDate[1] < 1 || h.endDate[1] > 12)
            Fail("date month out of range");
    }

    const char* text = reinterpret_cast<const char*>(data);
    CDitDistance whole;
    whole.Feed(text, size);
    const double km = whole.Finish();
    if (!std::isfinite(km) || km < 0)
        Fail("distance not a finite length");
    const std::size_t piece = size > 0 ? 1 + data[0] % 64 : 1;
    CDitDistance parts;
    for (std::size_t at = 0; at < size; at += piece)
        parts.Feed(text + at, std::min(piece, size - at));
    if (parts.Finish() != km)
        Fail("distance depends on how the log is fed");

    WriteFile(g_dir / "rec" / "a.ts", data, size);
    WriteFile(g_dir / "dit" / "a.dit", data, size);
    CSourceBoxCtx box(nullptr);
    const RecordingEntry* first = box.LoadFileList((g_dir / "rec").string());
    const bool listed = valid && h.end > h.start && size > CSourceBoxCtx::kWalkedAbove;
    if ((first != nullptr) != listed || box.Count() != (listed ? 1 : 0))
        Fail("listing disagrees with the header");
    if (listed) {
        std::int64_t start, end, length;
        box.Times(0, &start, &end, &length);
        if (start != h.start || length <= 0 || length > CSourceBoxCtx::kMaxLength || end != start + length)
            Fail("times out of range");
        if (box.GetDistance(0) != km)
            Fail("listed distance differs from the log's");
        std::int64_t t = start + length / 2;
        if (!box.PositionForTime(&t, start, length) || t < 0 || t >= 1000)
            Fail("a time inside the only file maps outside it");
    }
    return 0;
}
