#include "app/gpsoffset.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include <sys/stat.h>

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

bool ReadExact(std::FILE* f, void* dest, std::uint64_t bytes)
{
    return bytes == 0 || std::fread(dest, 1, bytes, f) == bytes;
}

// trunc32(v / step) * step, or false when the quotient is NaN or outside the signed 32-bit range
// (converting such a value would be undefined).
bool GridKey(double v, double step, double* key)
{
    const double q = v / step;
    if (!(q > -2147483649.0 && q < 2147483648.0))
        return false;
    *key = static_cast<double>(static_cast<std::int32_t>(q)) * step;
    return true;
}

// True when the keys never descend and none is NaN: then a binary search finds the same record
// as the first-match scan.
template <class T, class Key>
bool KeysAscending(const T* first, const T* last, Key key)
{
    for (const T* p = first; p != last; ++p) {
        if (std::isnan(key(*p)) || (p != first && !(key(p[-1]) <= key(*p))))
            return false;
    }
    return true;
}

}  // namespace

void GpsOffsetTable::Clear()
{
    m_loaded = false;
    m_pColumns = nullptr;
    m_pCells = nullptr;
    m_columns = {};
    m_cells = {};
    m_columnsSorted = false;
    m_columnCellsSorted = {};
}

bool GpsOffsetTable::Load(const std::string& path)
{
    Clear();
    m_header = {};

    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return false;
    struct stat st {};
    if (fstat(fileno(file.get()), &st) != 0 || !S_ISREG(st.st_mode))
        return false;

    GpsOffsetHeader header{};
    if (std::fread(&header, 1, sizeof header, file.get()) != sizeof header)
        return false;
    if (std::memcmp(header.magic, "$GPSOFF", 8) != 0)
        return false;
    m_header = header;

    const std::uint64_t length = static_cast<std::uint64_t>(st.st_size);
    if (length < sizeof header)
        return false;
    const std::uint64_t body = length - sizeof header;
    if (body > kMaxBodyBytes)
        return false;
    // Bounding each count first keeps the size sum from wrapping.
    if (header.columnCount > body / sizeof(GpsOffsetColumn) || header.cellCount > body / sizeof(GpsOffsetCell))
        return false;
    if (header.columnCount * sizeof(GpsOffsetColumn) + header.cellCount * sizeof(GpsOffsetCell) != body)
        return false;
    // Step 0 is kept as a table that corrects nothing; a negative or non-finite step is garbage.
    if (!std::isfinite(header.step) || header.step < 0)
        return false;

    try {
        m_columns.resize(header.columnCount);
        m_cells.resize(header.cellCount);
    } catch (const std::bad_alloc&) {
        Clear();
        return false;
    }
    if (!ReadExact(file.get(), m_columns.data(), header.columnCount * sizeof(GpsOffsetColumn))
        || !ReadExact(file.get(), m_cells.data(), header.cellCount * sizeof(GpsOffsetCell))) {
        Clear();
        return false;
    }
    for (const GpsOffsetColumn& column : m_columns) {
        if (std::uint64_t{column.firstCell} + column.cellCount > header.cellCount) {
            Clear();
            return false;
        }
    }

    m_columnsSorted = KeysAscending(m_columns.data(), m_columns.data() + m_columns.size(),
        [](const GpsOffsetColumn& c) { return c.lonKey; });
    m_columnCellsSorted.resize(m_columns.size());
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        const GpsOffsetCell* first = m_cells.data() + m_columns[i].firstCell;
        const GpsOffsetCell* last = first + m_columns[i].cellCount;
        m_columnCellsSorted[i] = KeysAscending(first, last, [](const GpsOffsetCell& c) { return c.latKey; });
    }

    m_pColumns = m_columns.data();
    m_pCells = m_cells.data();
    m_loaded = true;
    return true;
}

const GpsOffsetCell* GpsOffsetTable::Lookup(double lon, double lat) const
{
    const double step = m_header.step;
    if (!m_loaded || m_columns.empty() || step == 0)
        return nullptr;
    double kLon = 0;
    double kLat = 0;
    if (!GridKey(lon, step, &kLon) || !GridKey(lat, step, &kLat))
        return nullptr;

    // The first column whose key is not below kLon.
    const GpsOffsetColumn* const cBegin = m_columns.data();
    const GpsOffsetColumn* const cEnd = cBegin + m_columns.size();
    const GpsOffsetColumn* column = nullptr;
    if (m_columnsSorted) {
        column = std::lower_bound(cBegin, cEnd, kLon,
            [](const GpsOffsetColumn& c, double key) { return c.lonKey < key; });
    } else {
        column = std::find_if(cBegin, cEnd, [kLon](const GpsOffsetColumn& c) { return c.lonKey >= kLon; });
    }
    if (column == cEnd || std::fabs(column->lonKey - kLon) > step)
        return nullptr;

    const GpsOffsetCell* const begin = m_cells.data() + column->firstCell;
    const GpsOffsetCell* const end = begin + column->cellCount;
    const GpsOffsetCell* cell = nullptr;
    if (m_columnCellsSorted[static_cast<std::size_t>(column - cBegin)]) {
        cell = std::lower_bound(begin, end, kLat,
            [](const GpsOffsetCell& c, double key) { return c.latKey < key; });
    } else {
        cell = std::find_if(begin, end, [kLat](const GpsOffsetCell& c) { return c.latKey >= kLat; });
    }
    if (cell == end || std::fabs(cell->latKey - kLat) > step)
        return nullptr;
    return cell;
}
