#pragma once
// Writes "offset_min.bin" files: a header, the columns, then the cells, little-endian.

#include "app/gpsoffset.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

struct GridFile {
    struct Cell {
        double latKey;
        double lonOffset;
        double latOffset;
    };

    double step = 0.5;
    std::vector<GpsOffsetColumn> columns;
    std::vector<GpsOffsetCell> cells;
    // Header counts that disagree with the records written.
    std::optional<std::uint64_t> columnCountOverride;
    std::optional<std::uint64_t> cellCountOverride;

    void AddColumn(double lonKey, const std::vector<Cell>& columnCells)
    {
        GpsOffsetColumn c{};
        c.lonKey = lonKey;
        std::memset(c.reserved, 0xEE, sizeof c.reserved);
        c.cellCount = static_cast<std::uint32_t>(columnCells.size());
        c.firstCell = static_cast<std::uint32_t>(cells.size());
        columns.push_back(c);
        for (const Cell& cell : columnCells) {
            GpsOffsetCell record{};
            record.unused0 = -1.0;
            record.latKey = cell.latKey;
            record.lonOffset = cell.lonOffset;
            record.latOffset = cell.latOffset;
            cells.push_back(record);
        }
    }

    std::string Bytes() const
    {
        std::string out("$GPSOFF\0", 8);
        Append(out, step);
        Append(out, columnCountOverride.value_or(columns.size()));
        Append(out, cellCountOverride.value_or(cells.size()));
        for (const GpsOffsetColumn& c : columns)
            Append(out, c);
        for (const GpsOffsetCell& c : cells)
            Append(out, c);
        return out;
    }

    // The lookup rule written out plainly (truncate, then first match within one step).
    const GpsOffsetCell* ScanReference(double lon, double lat) const
    {
        const double kLon = std::trunc(lon / step) * step;
        const double kLat = std::trunc(lat / step) * step;
        for (const GpsOffsetColumn& c : columns) {
            if (c.lonKey < kLon)
                continue;
            if (std::fabs(c.lonKey - kLon) > step)
                return nullptr;
            for (std::uint32_t i = 0; i < c.cellCount; ++i) {
                const GpsOffsetCell& cell = cells[c.firstCell + i];
                if (cell.latKey < kLat)
                    continue;
                return std::fabs(cell.latKey - kLat) > step ? nullptr : &cell;
            }
            return nullptr;
        }
        return nullptr;
    }

private:
    template <class T>
    static void Append(std::string& out, const T& value)
    {
        out.append(reinterpret_cast<const char*>(&value), sizeof value);
    }
};
