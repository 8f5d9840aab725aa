// "offset_min.bin" from arbitrary bytes: a load either fails cleanly or gives a table whose every
// lookup stays inside its records. The input's tail also chooses probe positions.

#include "app/gpsoffset.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <unistd.h>

namespace {

std::filesystem::path g_dir;

void RemoveDir() { std::filesystem::remove_all(g_dir); }

void Probe(const GpsOffsetTable& table, double lon, double lat)
{
    const GpsOffsetCell* cell = table.Lookup(lon, lat);
    if (!cell)
        return;
    const GpsOffsetCell* first = table.Cells();
    if (!table.IsLoaded() || cell < first || cell >= first + table.Header().cellCount) {
        std::fprintf(stderr, "gpsgrid fuzz: cell outside the table\n");
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "qv-fuzz-gpsgrid-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        std::abort();
    g_dir = pattern;
    std::atexit(RemoveDir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = (g_dir / "offset_min.bin").string();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    GpsOffsetTable table;
    const bool loaded = table.Load(path);
    if (loaded != table.IsLoaded())
        std::abort();

    const double inf = std::numeric_limits<double>::infinity();
    const double probes[][2] = {{116.3, 39.9}, {-0.3, -0.2}, {0, 0}, {180, 90}, {-180, -90},
                                {1e300, 1}, {1, -1e300}, {inf, 0}, {0, std::numeric_limits<double>::quiet_NaN()}};
    for (const auto& p : probes)
        Probe(table, p[0], p[1]);
    if (size >= 16) {
        double lon, lat;
        std::memcpy(&lon, data + size - 16, 8);
        std::memcpy(&lat, data + size - 8, 8);
        Probe(table, lon, lat);
    }
    // Keys of the table itself are the likeliest hits.
    if (loaded) {
        for (std::uint64_t i = 0; i < table.Header().columnCount && i < 8; ++i) {
            const GpsOffsetColumn& c = table.Columns()[i];
            for (std::uint32_t j = 0; j < c.cellCount && j < 4; ++j)
                Probe(table, c.lonKey, table.Cells()[c.firstCell + j].latKey);
        }
    }
    return 0;
}
