#pragma once
// The regional position correction of "offset_min.bin": a grid of longitude columns, each a run
// of latitude cells, every cell holding the degrees to add to a position inside it.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

static_assert(std::endian::native == std::endian::little, "the file's records are read as they lie");

// File layout, little-endian, no padding: this header, the columns, then the cells.
struct GpsOffsetHeader {
    char magic[8];              // "$GPSOFF" and a NUL
    double step;                // grid step in degrees
    std::uint64_t columnCount;
    std::uint64_t cellCount;
};
static_assert(sizeof(GpsOffsetHeader) == 32);

struct GpsOffsetColumn {
    double lonKey;
    std::uint8_t reserved[16];
    std::uint32_t cellCount;    // cells of this column, consecutive in the cell array
    std::uint32_t firstCell;    // index of its first cell
};
static_assert(sizeof(GpsOffsetColumn) == 32);

struct GpsOffsetCell {
    double unused0;
    double latKey;
    double unused2;
    double unused3;
    double lonOffset;           // degrees to add to the longitude
    double latOffset;           // degrees to add to the latitude
};
static_assert(sizeof(GpsOffsetCell) == 48);

class GpsOffsetTable {
public:
    // Larger files are refused rather than read whole into memory.
    static constexpr std::uint64_t kMaxBodyBytes = 256ull << 20;

    GpsOffsetTable() = default;
    GpsOffsetTable(const GpsOffsetTable&) = delete;
    GpsOffsetTable& operator=(const GpsOffsetTable&) = delete;

    // Replaces the table with the file's. False (and an empty table) when the file is missing,
    // short, of another kind, inconsistent in its sizes or cell ranges, has a step that is
    // negative or not finite, or is larger than the cap.
    bool Load(const std::string& path);

    // The cell of the position, or null (no table, step 0, or no cell within one step).
    const GpsOffsetCell* Lookup(double lon, double lat) const;

    const GpsOffsetHeader& Header() const { return m_header; }
    const GpsOffsetColumn* Columns() const { return m_pColumns; }
    const GpsOffsetCell* Cells() const { return m_pCells; }
    bool IsLoaded() const { return m_loaded; }

private:
    void Clear();

    GpsOffsetHeader m_header{};
    bool m_loaded = false;
    const GpsOffsetColumn* m_pColumns = nullptr;
    const GpsOffsetCell* m_pCells = nullptr;
    std::vector<GpsOffsetColumn> m_columns;
    std::vector<GpsOffsetCell> m_cells;
    // Ascending keys (checked at load) let the first-match scans become binary searches.
    bool m_columnsSorted = false;
    std::vector<std::uint8_t> m_columnCellsSorted;
};

extern GpsOffsetTable g_GpsOffsetTable;
