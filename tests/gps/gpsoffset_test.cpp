// The offset grid over files written here byte by byte.

#include "app/gpsoffset.h"
#include "tests/gps/gridfile.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>

namespace {

// Step 0.5: columns 116.0 and 116.5, each with cells at 39.5 and 40.0; column 0.0 with one cell.
GridFile SampleGrid(double secondColumnKey = 116.5)
{
    GridFile g;
    g.step = 0.5;
    g.AddColumn(0.0, {{0.0, 0.001, 0.002}});
    g.AddColumn(116.0, {{39.5, 0.0061, 0.0012}, {40.0, 0.0062, 0.0013}});
    g.AddColumn(secondColumnKey, {{39.5, 0.0071, 0.0014}, {40.0, 0.0072, 0.0015}});
    return g;
}

class GpsOffsetTest : public ::testing::Test {
protected:
    bool Load(const std::string& bytes) { return table.Load(dir.write("offset_min.bin", bytes)); }

    TempDir dir;
    GpsOffsetTable table;
};

TEST_F(GpsOffsetTest, LooksUpTheCellOfTruncatedKeys)
{
    ASSERT_TRUE(Load(SampleGrid().Bytes()));
    EXPECT_EQ(table.Header().columnCount, 3u);
    EXPECT_EQ(table.Header().cellCount, 5u);

    // (116.3, 39.9) looks up keys 116.0 / 39.5.
    const GpsOffsetCell* cell = table.Lookup(116.3, 39.9);
    ASSERT_NE(cell, nullptr);
    EXPECT_DOUBLE_EQ(cell->lonOffset, 0.0061);
    EXPECT_DOUBLE_EQ(cell->latOffset, 0.0012);
    cell = table.Lookup(116.7, 40.2);
    ASSERT_NE(cell, nullptr);
    EXPECT_DOUBLE_EQ(cell->lonOffset, 0.0072);
    // Truncation toward zero: -0.3 gives key 0.0, not -0.5.
    cell = table.Lookup(-0.3, -0.2);
    ASSERT_NE(cell, nullptr);
    EXPECT_DOUBLE_EQ(cell->lonOffset, 0.001);
    // Past the last column and past a column's last cell: more than one step away.
    EXPECT_EQ(table.Lookup(118.0, 39.9), nullptr);
    EXPECT_EQ(table.Lookup(116.3, 41.0), nullptr);
}

TEST_F(GpsOffsetTest, ToleranceOfOneStep)
{
    // The first column not below 116.0 is 116.5: a difference equal to the step is accepted.
    GridFile g;
    g.step = 0.5;
    g.AddColumn(116.5, {{39.5, 1.0, 2.0}});
    ASSERT_TRUE(Load(g.Bytes()));
    const GpsOffsetCell* cell = table.Lookup(116.3, 39.9);
    ASSERT_NE(cell, nullptr);
    EXPECT_DOUBLE_EQ(cell->lonOffset, 1.0);

    g.columns[0].lonKey = 116.6;
    ASSERT_TRUE(Load(g.Bytes()));
    EXPECT_EQ(table.Lookup(116.3, 39.9), nullptr);
}

TEST_F(GpsOffsetTest, UnsortedFileKeepsTheFirstMatch)
{
    // Keys out of order: the linear first-match rule must hold, not a binary search's answer.
    GridFile g;
    g.step = 1.0;
    g.AddColumn(10.0, {{5.0, 1.0, 0.0}, {3.0, 2.0, 0.0}});
    g.AddColumn(4.0, {{3.0, 3.0, 0.0}});
    ASSERT_TRUE(Load(g.Bytes()));
    const GpsOffsetCell* cell = table.Lookup(4.2, 3.5);  // first column >= 4 is 10 (too far)
    EXPECT_EQ(cell, nullptr);
    cell = table.Lookup(9.5, 3.5);  // kLon 9 -> column 10; first cell >= 3 is 5.0 (too far)
    EXPECT_EQ(cell, nullptr);
    cell = table.Lookup(9.5, 4.5);  // first cell >= 4 is 5.0
    ASSERT_NE(cell, nullptr);
    EXPECT_DOUBLE_EQ(cell->lonOffset, 1.0);
}

TEST_F(GpsOffsetTest, SortedSearchAgreesWithTheScanOnNonBinarySteps)
{
    // A dense sorted grid with step 0.1 (not exact in binary): every probe must hit the cell
    // a straightforward first-match scan over the same keys finds.
    GridFile g;
    g.step = 0.1;
    for (int c = -20; c < 20; ++c) {
        std::vector<GridFile::Cell> cells;
        for (int r = -10; r < 10; ++r)
            cells.push_back({r * 0.1, c * 1000.0 + r, 0.0});
        g.AddColumn(c * 0.1, cells);
    }
    ASSERT_TRUE(Load(g.Bytes()));
    for (double lon = -2.13; lon < 2.2; lon += 0.037) {
        for (double lat = -1.07; lat < 1.1; lat += 0.041) {
            const GpsOffsetCell* expected = g.ScanReference(lon, lat);
            const GpsOffsetCell* got = table.Lookup(lon, lat);
            ASSERT_EQ(expected == nullptr, got == nullptr) << lon << "," << lat;
            if (got) {
                EXPECT_EQ(got->lonOffset, expected->lonOffset) << lon << "," << lat;
            }
        }
    }
}

TEST_F(GpsOffsetTest, TablesThatCorrectNothing)
{
    GridFile g = SampleGrid();
    g.step = 0.0;  // loads, but no lookup finds a cell
    ASSERT_TRUE(Load(g.Bytes()));
    EXPECT_EQ(table.Lookup(116.3, 39.9), nullptr);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    GridFile h;
    h.step = 0.5;
    h.AddColumn(100.0, {});                    // a column without cells
    h.AddColumn(nan, {{39.5, 1.0, 1.0}});      // NaN keys never match
    h.AddColumn(116.0, {{nan, 1.0, 1.0}});
    ASSERT_TRUE(Load(h.Bytes()));
    EXPECT_EQ(table.Lookup(100.2, 39.9), nullptr);
    EXPECT_EQ(table.Lookup(100.2, 0.0), nullptr);
    EXPECT_EQ(table.Lookup(116.3, 39.9), nullptr);
}

TEST_F(GpsOffsetTest, RejectsMalformedFiles)
{
    EXPECT_EQ(table.Lookup(116.3, 39.9), nullptr);  // nothing loaded yet
    EXPECT_FALSE(table.Load(dir.file("missing.bin")));
    const std::string good = SampleGrid().Bytes();
    ASSERT_TRUE(Load(good));

    EXPECT_FALSE(Load(good + '\0'));                      // one byte too many
    EXPECT_FALSE(Load(good.substr(0, good.size() - 1)));  // one byte short
    EXPECT_FALSE(table.IsLoaded());
    EXPECT_EQ(table.Lookup(116.3, 39.9), nullptr);  // a failed load leaves nothing behind
    EXPECT_FALSE(Load(good.substr(0, 31)));          // short header
    EXPECT_FALSE(Load(""));
    std::string badMagic = good;
    badMagic[1] = 'X';
    EXPECT_FALSE(Load(badMagic));
    std::string noNul = good;
    noNul[7] = 'F';
    EXPECT_FALSE(Load(noNul));
}

TEST_F(GpsOffsetTest, RejectsHostileCountsAndRanges)
{
    GridFile g = SampleGrid();
    // Counts whose byte sizes wrap around 2^64 to the real body size.
    {
        GridFile w = g;
        w.columnCountOverride = w.columns.size() + (1ull << 59);
        EXPECT_FALSE(Load(w.Bytes()));
        w.columnCountOverride.reset();
        // 48 * 2^60 is 0 modulo 2^64.
        w.cellCountOverride = w.cells.size() + (1ull << 60);
        EXPECT_FALSE(Load(w.Bytes()));
    }
    // A column whose cell range runs past the cell array, also by 32-bit wrap-around.
    {
        GridFile w = g;
        w.columns[1].firstCell = 4;  // 4 + 2 > 5
        EXPECT_FALSE(Load(w.Bytes()));
        w.columns[1].firstCell = 0xFFFFFFFFu;
        w.columns[1].cellCount = 2;  // wraps to 1 in 32 bits
        EXPECT_FALSE(Load(w.Bytes()));
        w.columns[1].firstCell = 0;
        w.columns[1].cellCount = 0xFFFFFFFFu;
        EXPECT_FALSE(Load(w.Bytes()));
    }
    // A step that is not a finite non-negative number.
    for (double step : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                        -std::numeric_limits<double>::infinity(), -0.5}) {
        GridFile w = g;
        w.step = step;
        EXPECT_FALSE(Load(w.Bytes())) << step;
    }
}

TEST_F(GpsOffsetTest, ExtremeStepsAndPositionsAreSafe)
{
    GridFile g = SampleGrid();
    // A tiny step makes every quotient leave the 32-bit range: no cell, no undefined conversion.
    g.step = 1e-300;
    ASSERT_TRUE(Load(g.Bytes()));
    EXPECT_EQ(table.Lookup(116.3, 39.9), nullptr);
    g.step = std::numeric_limits<double>::denorm_min();
    ASSERT_TRUE(Load(g.Bytes()));
    EXPECT_EQ(table.Lookup(116.3, 39.9), nullptr);
    EXPECT_NE(table.Lookup(0.0, 0.0), nullptr);  // zero stays an exact key

    g.step = 0.5;
    ASSERT_TRUE(Load(g.Bytes()));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(table.Lookup(nan, 39.9), nullptr);
    EXPECT_EQ(table.Lookup(116.3, nan), nullptr);
    EXPECT_EQ(table.Lookup(inf, 39.9), nullptr);
    EXPECT_EQ(table.Lookup(-inf, 39.9), nullptr);
    EXPECT_EQ(table.Lookup(1e300, 39.9), nullptr);
    EXPECT_EQ(table.Lookup(116.3, -1e300), nullptr);
    // The largest quotients that still fit are looked up normally (and miss).
    EXPECT_EQ(table.Lookup(1073741823.9, 39.9), nullptr);
    EXPECT_EQ(table.Lookup(-1073741824.2, 39.9), nullptr);
}

TEST_F(GpsOffsetTest, RefusesFilesAboveTheCap)
{
    // A consistent header over a sparse body just above the cap.
    GridFile g;
    g.step = 0.5;
    g.cellCountOverride = GpsOffsetTable::kMaxBodyBytes / 48 + 1;
    const std::string path = dir.write("offset_min.bin", g.Bytes());
    std::filesystem::resize_file(path, 32 + *g.cellCountOverride * 48);
    EXPECT_FALSE(table.Load(path));
}

}  // namespace
