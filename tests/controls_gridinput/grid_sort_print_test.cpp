// Sorting the grid's rows and printing it into a memory DC standing in for a printer.

#include <algorithm>
#include <map>
#include <numeric>
#include <random>

#include "fixture.h"
#include "platform/ctl/Print.h"
#include "platform/ctl/StringResource.h"
#include "tests/support/memory_page.h"

namespace {

// A grid without a window: rows keep their original index in column 0 and in each cell's data.
void Fill(CGridCtrl& grid, const std::vector<std::string>& keys)
{
    grid.SetColumnCount(2);
    grid.SetRowCount(static_cast<int>(keys.size()) + 1);
    grid.SetFixedRowCount(1);
    for (int r = 1; r <= static_cast<int>(keys.size()); ++r) {
        grid.SetItemText(r, 0, std::to_string(r).c_str());
        grid.SetItemText(r, 1, keys[r - 1].c_str());
        grid.SetRowHeight(r, r % 7 + 1);
    }
}

std::vector<std::string> KeysOf(CGridCtrl& grid)
{
    std::vector<std::string> out;
    for (int r = grid.GetFixedRowCount(); r < grid.GetRowCount(); ++r)
        out.push_back(grid.GetItemText(r, 1));
    return out;
}

int ReverseCompare(LPARAM a, LPARAM b, LPARAM) { return -CGridCtrl::CompareCellText(a, b, 0); }

}  // namespace

TEST_F(GridInputTest, SortOrdersRowsKeepingEachRowWholeAndFixedRowsInPlace)
{
    std::mt19937 rng(7);
    std::vector<std::string> keys;
    for (int i = 0; i < 500; ++i)
        keys.push_back(std::string(1, static_cast<char>('a' + rng() % 20)) + std::to_string(rng() % 50));
    for (BOOL ascending : {TRUE, FALSE}) {
        InputGrid grid;
        Fill(grid, keys);
        grid.SetItemText(0, 1, "header");
        ASSERT_TRUE(grid.SortItems(1, ascending));
        EXPECT_EQ(grid.GetSortColumn(), 1);
        EXPECT_EQ(grid.GetItemText(0, 1), "header");
        std::vector<std::string> want = keys;
        if (ascending)
            std::sort(want.begin(), want.end());
        else
            std::sort(want.begin(), want.end(), std::greater<>());
        EXPECT_EQ(KeysOf(grid), want);
        for (int r = 1; r < grid.GetRowCount(); ++r) {
            const int original = std::stoi(grid.GetItemText(r, 0));
            EXPECT_EQ(grid.GetItemText(r, 1), keys[original - 1]);
            EXPECT_EQ(grid.GetRowHeight(r), original % 7 + 1) << "heights move with their rows";
        }
    }
}

TEST_F(GridInputTest, SortRefusesBadRangesAndNeverSwapsEqualRows)
{
    InputGrid grid;
    Fill(grid, {"b", "a", "c"});
    EXPECT_FALSE(grid.SortItems(2, TRUE));
    EXPECT_FALSE(grid.SortItems(CGridCtrl::CompareCellText, 1, TRUE, 0, 2, 2));
    EXPECT_FALSE(grid.SortItems(CGridCtrl::CompareCellText, 1, TRUE, 0, 3, 1));
    EXPECT_EQ(KeysOf(grid), (std::vector<std::string>{"b", "a", "c"}));

    InputGrid same;
    Fill(same, std::vector<std::string>(9, "k"));
    ASSERT_TRUE(same.SortItems(1, TRUE));
    for (int r = 1; r <= 9; ++r)
        EXPECT_EQ(same.GetItemText(r, 0), std::to_string(r));

    // An owner's compare function takes the place of the text comparison.
    grid.SetCompareFunction(ReverseCompare);
    ASSERT_TRUE(grid.SortItems(1, TRUE));
    EXPECT_EQ(KeysOf(grid), (std::vector<std::string>{"c", "b", "a"}));
}

TEST_F(GridInputTest, SortLeavesTheFocusMarkOnTheFocusPosition)
{
    InputGrid grid(6, 3, 1, 1);
    Make(grid);
    for (int r = 1; r < 6; ++r)
        grid.SetItemText(r, 1, std::string(1, static_cast<char>('z' - r)).c_str());
    grid.SetFocusCell(2, 1);
    ASSERT_TRUE(grid.SortItems(1, TRUE));
    EXPECT_EQ(grid.GetFocusCell(), CCellID(2, 1));
    int marked = 0;
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 3; ++c)
            marked += (grid.GetItemState(r, c) & GRIDCELL_FOCUSED) != 0;
    EXPECT_EQ(marked, 1);
    EXPECT_TRUE(grid.GetItemState(2, 1) & GRIDCELL_FOCUSED);
}

TEST_F(GridInputTest, SortOfManyRowsInAdversarialOrdersStaysFast)
{
    const int n = 100000;
    std::vector<std::string> sorted, reversed, organ;
    for (int i = 0; i < n; ++i)
        sorted.push_back(std::to_string(1000000 + i));
    reversed.assign(sorted.rbegin(), sorted.rend());
    for (int i = 0; i < n; ++i)
        organ.push_back(sorted[i < n / 2 ? 2 * i : 2 * (n - i) - 1]);
    for (const auto* keys : {&sorted, &reversed, &organ}) {
        InputGrid grid;
        Fill(grid, *keys);
        ASSERT_TRUE(grid.SortItems(1, TRUE));
        EXPECT_EQ(KeysOf(grid), sorted);
    }
}

TEST_F(GridInputTest, SortSurvivesAnInconsistentCompareFunction)
{
    static std::mt19937 rng(3);
    InputGrid grid;
    std::vector<std::string> keys(2000, "k");
    Fill(grid, keys);
    ASSERT_TRUE(grid.SortItems([](LPARAM, LPARAM, LPARAM) { return static_cast<int>(rng() % 3) - 1; }, 1, TRUE));
    std::vector<int> ids;
    for (int r = 1; r < grid.GetRowCount(); ++r)
        ids.push_back(std::stoi(grid.GetItemText(r, 0)));
    std::sort(ids.begin(), ids.end());
    for (int i = 0; i < 2000; ++i)
        ASSERT_EQ(ids[static_cast<size_t>(i)], i + 1) << "every row still there once";
}

namespace {

// The owner of a virtual grid: its rows of keys, one column per sort key, and what its compare
// function was told.
struct VirtualOwner {
    std::vector<std::vector<int>> rows;  // rows[owner row][owner column]
    std::vector<std::pair<CGridCtrl*, int>> told;
    bool consistent = true;
    std::mt19937 rng{5};
};
VirtualOwner* g_virtualOwner = nullptr;

bool VirtualLess(int a, int b)
{
    VirtualOwner& o = *g_virtualOwner;
    CGridCtrl* grid = CGridCtrl::GetVirtualSortGrid();
    const int col = CGridCtrl::GetVirtualSortColumn();
    if (o.told.empty() || o.told.back() != std::pair{grid, col})
        o.told.emplace_back(grid, col);
    if (!o.consistent)
        return o.rng() % 2 == 0;
    return o.rows[static_cast<size_t>(a)][static_cast<size_t>(col)] < o.rows[static_cast<size_t>(b)][static_cast<size_t>(col)];
}

}  // namespace

TEST_F(GridInputTest, VirtualSortOrdersTheRowsByTheOwnersColumnAndSurvivesABadCompare)
{
    VirtualOwner o;
    g_virtualOwner = &o;
    const int n = 3000;
    std::mt19937 rng(11);
    o.rows.push_back({-1, -1, -1});  // the fixed row
    for (int i = 1; i <= n; ++i)
        o.rows.push_back({static_cast<int>(rng() % 50), i, static_cast<int>(rng() % 7)});

    InputGrid grid;
    grid.SetVirtualMode(TRUE);
    grid.SetRowCount(n + 1);
    grid.SetColumnCount(3);
    grid.SetFixedRowCount(1);
    grid.SetVirtualCompare(VirtualLess);
    // The grid shows the owner's columns in the order 2, 0, 1.
    grid.m_arColOrder = {2, 0, 1};

    for (BOOL ascending : {TRUE, FALSE}) {
        o.told.clear();
        ASSERT_TRUE(grid.SortItems(1, ascending));
        EXPECT_EQ(o.told, (std::vector<std::pair<CGridCtrl*, int>>{{&grid, 0}})) << "grid column 1 is the owner's 0";
        EXPECT_EQ(CGridCtrl::GetVirtualSortGrid(), nullptr);
        EXPECT_EQ(CGridCtrl::GetVirtualSortColumn(), -1);
        EXPECT_EQ(grid.m_arRowOrder[0], 0) << "the fixed row stays";
        // The reference: the standard stable sort of the owner's rows by that column.
        std::vector<int> want(static_cast<size_t>(n));
        std::iota(want.begin(), want.end(), 1);
        std::stable_sort(want.begin(), want.end(), [&](int a, int b) {
            return ascending ? o.rows[a][0] < o.rows[b][0] : o.rows[b][0] < o.rows[a][0];
        });
        // Sorted from the identity each time, so equal keys keep the order they came in.
        EXPECT_EQ(std::vector<int>(grid.m_arRowOrder.begin() + 1, grid.m_arRowOrder.end()), want);
        grid.SetRowCount(1);
        grid.SetRowCount(n + 1);  // back to the identity order
    }

    // A compare function that is no order still leaves every row there exactly once.
    o.consistent = false;
    ASSERT_TRUE(grid.SortItems(2, TRUE));
    std::vector<int> all(grid.m_arRowOrder.begin(), grid.m_arRowOrder.end());
    std::sort(all.begin(), all.end());
    for (int i = 0; i <= n; ++i)
        ASSERT_EQ(all[static_cast<size_t>(i)], i);
    g_virtualOwner = nullptr;
}

TEST_F(GridInputTest, CellTextComparisonFollowsUtf16CodeUnits)
{
    const std::vector<std::pair<std::string, std::u16string>> texts{
        {"abc", u"abc"}, {"abd", u"abd"}, {"ab", u"ab"}, {"B", u"B"}, {"é", u"é"}, {"\xEF\xBF\xBD", u"\xFFFD"},
        {"\xF0\x9F\x98\x80", u"\xD83D\xDE00"}, {"", u""}};
    CGridCell a, b;
    for (const auto& [x8, x16] : texts)
        for (const auto& [y8, y16] : texts) {
            a.SetText(x8.c_str());
            b.SetText(y8.c_str());
            const int got = CGridCtrl::CompareCellText(reinterpret_cast<LPARAM>(&a), reinterpret_cast<LPARAM>(&b), 0);
            const int want = x16.compare(y16);
            EXPECT_EQ((got > 0) - (got < 0), (want > 0) - (want < 0)) << x8 << " vs " << y8;
        }
    EXPECT_EQ(CGridCtrl::CompareCellText(0, reinterpret_cast<LPARAM>(&a), 0), 0);
}

// ---- printing ----

namespace {

struct Printed {
    int row;
    int col;
    UINT page;
};
std::vector<Printed>& PrintLog()
{
    static std::vector<Printed> log;
    return log;
}
UINT g_page = 0;

class RecordingCell : public CGridCell {
public:
    BOOL PrintCell(CDC* dc, int row, int col, CRect rect) override
    {
        PrintLog().push_back({row, col, g_page});
        return CGridCell::PrintCell(dc, row, col, rect);
    }
};

class PrintGrid : public InputGrid {
public:
    UINT footerPage = 0, footerMax = 0;

protected:
    void PrintFooter(CDC* dc, CPrintInfo* info) override
    {
        footerPage = info->m_nCurPage;
        footerMax = info->GetMaxPage();
        InputGrid::PrintFooter(dc, info);
    }
};

// A letter-sized page at 100 dots per inch, in memory.
struct Printer : MemoryPage {
    Printer() : MemoryPage(850, 1100) {}
};

}  // namespace

class GridPrintTest : public GridInputTest {
protected:
    void Build(PrintGrid& grid, int rows, int cols)
    {
        grid.SetDefaultCellType([]() -> CGridCellBase* { return new RecordingCell; });
        grid.SetColumnCount(cols);
        grid.SetRowCount(rows);
        grid.SetFixedRowCount(1);
        grid.SetFixedColumnCount(1);
        Make(grid);
        PrintLog().clear();
    }
    // Prints every page; answers the number of pages.
    static UINT PrintAll(PrintGrid& grid, Printer& printer)
    {
        CPrintInfo info;
        grid.OnBeginPrinting(&printer.dc, &info);
        const UINT pages = info.GetMaxPage();
        for (UINT p = 1; p <= pages; ++p) {
            info.m_nCurPage = p;
            g_page = p;
            grid.OnPrint(&printer.dc, &info);
            EXPECT_EQ(grid.footerPage, p);
            EXPECT_EQ(grid.footerMax, pages);
        }
        grid.OnEndPrinting(&printer.dc, &info);
        return pages;
    }
    // Pages on which each data cell was printed.
    static std::map<std::pair<int, int>, std::vector<UINT>> DataCells(int fixedRows, int fixedCols)
    {
        std::map<std::pair<int, int>, std::vector<UINT>> out;
        for (const Printed& p : PrintLog())
            if (p.row >= fixedRows && p.col >= fixedCols)
                out[{p.row, p.col}].push_back(p.page);
        return out;
    }
};

TEST_F(GridPrintTest, ASmallGridIsOnePageNumberedOneOfOne)
{
    PrintGrid grid;
    Build(grid, 4, 3);
    Printer printer;
    EXPECT_EQ(PrintAll(grid, printer), 1u);
    const auto cells = DataCells(1, 1);
    EXPECT_EQ(cells.size(), 3u * 2u);
    for (const auto& [cell, pages] : cells)
        EXPECT_EQ(pages, std::vector<UINT>{1});
    // Headings and row headers come with the page.
    EXPECT_TRUE(std::any_of(PrintLog().begin(), PrintLog().end(), [](const Printed& p) { return p.row == 0; }));
    EXPECT_TRUE(std::any_of(PrintLog().begin(), PrintLog().end(), [](const Printed& p) { return p.col == 0 && p.row > 0; }));
}

TEST_F(GridPrintTest, RowsSpreadOverPagesInOrderEachPrintedOnce)
{
    PrintGrid grid;
    Build(grid, 80, 3);
    Printer printer;
    const UINT pages = PrintAll(grid, printer);
    EXPECT_GT(pages, 2u);
    const auto cells = DataCells(1, 1);
    ASSERT_EQ(cells.size(), 79u * 2u);
    UINT last = 1;
    std::vector<int> rowsPerPage(pages + 1, 0);
    for (int r = 1; r < 80; ++r) {
        const auto& onPages = cells.at({r, 1});
        ASSERT_EQ(onPages.size(), 1u) << r;
        EXPECT_GE(onPages[0], last);
        last = onPages[0];
        ++rowsPerPage[onPages[0]];
    }
    for (UINT p = 1; p <= pages; ++p)
        EXPECT_GT(rowsPerPage[p], 0) << "page " << p;
}

TEST_F(GridPrintTest, ARowTallerThanAPageGetsAPageOfItsOwnAndIsPrinted)
{
    PrintGrid grid;
    Build(grid, 8, 3);
    grid.SetRowHeight(1, 5000);
    grid.SetRowHeight(4, 5000);
    Printer printer;
    const UINT pages = PrintAll(grid, printer);
    const auto cells = DataCells(1, 1);
    ASSERT_EQ(cells.size(), 7u * 2u);
    const UINT tall1 = cells.at({1, 1})[0], tall4 = cells.at({4, 1})[0];
    EXPECT_EQ(tall1, 1u);
    for (int r : {2, 3, 5, 6, 7}) {
        EXPECT_NE(cells.at({r, 1})[0], tall1) << r;
        EXPECT_NE(cells.at({r, 1})[0], tall4) << r;
    }
    EXPECT_EQ(pages, 4u);  // tall, rows 2-3, tall, rows 5-7
}

namespace {

// Where a page printed: device-pixel extents read back from the page's colours.
struct PrintedPage {
    int left = -1, right = -1;       // the row headers' left edge and the last column's right (exclusive)
    int firstColumnWidth = 0, secondColumnWidth = 0;
    int top = -1;                    // the headings' top
    int dataRowHeight = 0;
    int headerRule = -1, footerRule = -1;
};

// A grid of cells in colours of their own and no grid lines: columns 100, 200 and 100 wide (the
// first a row header), rows 40, 50 and 50 high (the first the headings), no text.
constexpr COLORREF kCornerClr = RGB(200, 0, 0), kHeaderClr = RGB(0, 0, 200), kRowHeadClr = RGB(0, 150, 0),
                   kCellClr = RGB(250, 200, 0), kWideClr = RGB(0, 200, 250);


}  // namespace

class GridPageTest : public GridPrintTest {
protected:
    void Build(PrintGrid& grid)
    {
        grid.SetColumnCount(3);
        grid.SetRowCount(3);
        grid.SetFixedRowCount(1);
        grid.SetFixedColumnCount(1);
        Make(grid);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) {
                grid.SetItemText(r, c, "");
                grid.SetItemBkColour(r, c, r == 0 ? (c == 0 ? kCornerClr : kHeaderClr)
                                                  : (c == 0 ? kRowHeadClr : c == 1 ? kWideClr : kCellClr));
            }
        grid.SetGridLines(GRIDLINES_NONE);
        grid.SetColumnWidth(0, 100);
        grid.SetColumnWidth(1, 200);
        grid.SetColumnWidth(2, 100);
        grid.SetRowHeight(0, 40);
        grid.SetRowHeight(1, 50);
        grid.SetRowHeight(2, 50);
    }

    // Prints page 1 of the grid on white paper of w x h dots and reads back where it went.
    static PrintedPage PrintOnPaper(PrintGrid& grid, int w, int h)
    {
        MemoryPage paper(w, h);
        CDC& dc = paper.dc;
        CPrintInfo info;
        grid.OnBeginPrinting(&dc, &info);
        EXPECT_EQ(info.GetMaxPage(), 1u);
        grid.OnPrint(&dc, &info);
        grid.OnEndPrinting(&dc, &info);
        paper.ToDevicePixels();

        PrintedPage page;
        auto runOf = [&](COLORREF clr, bool across, int at, int& first, int& end) {
            first = end = -1;
            for (int i = 0; i < (across ? w : h); ++i)
                if ((across ? dc.GetPixel(i, at) : dc.GetPixel(at, i)) == clr) {
                    if (first < 0)
                        first = i;
                    end = i + 1;
                }
        };
        // Down the middle of the wide column: the headings' top and the first data row.
        int a, b, rowTop, rowEnd;
        int probeX = -1;
        for (int x = 0; x < w && probeX < 0; ++x)
            for (int y = 0; y < h; y += 4)
                if (dc.GetPixel(x, y) == kWideClr) {
                    probeX = x + 20;
                    break;
                }
        EXPECT_GE(probeX, 0) << "the wide column printed";
        if (probeX < 0)
            return page;
        runOf(kHeaderClr, false, probeX, page.top, b);
        runOf(kWideClr, false, probeX, rowTop, rowEnd);
        page.dataRowHeight = (rowEnd - rowTop) / 2;  // two data rows of 50
        // Across the first data row.
        const int y = rowTop + 5;
        runOf(kRowHeadClr, true, y, page.left, b);
        page.firstColumnWidth = b - page.left;
        runOf(kWideClr, true, y, a, b);
        page.secondColumnWidth = b - a;
        runOf(kCellClr, true, y, a, page.right);
        // The rules: the first black pixel down from the top just inside the left edge, and the
        // first one below the cells.
        const int ruleX = page.left + 1;
        for (int yy = 0; yy < page.top && page.headerRule < 0; ++yy)
            if (dc.GetPixel(ruleX, yy) == RGB(0, 0, 0))
                page.headerRule = yy;
        for (int yy = rowEnd; yy < h && page.footerRule < 0; ++yy)
            if (dc.GetPixel(ruleX, yy) == RGB(0, 0, 0))
                page.footerRule = yy;
        return page;
    }
};

TEST_F(GridPageTest, APageIsScaledToThePaperBetweenEqualMarginsWithRulesAsFarFromTheEdges)
{
    PrintGrid grid;
    Build(grid);
    const int w = 850, h = 1100;
    const PrintedPage page = PrintOnPaper(grid, w, h);
    ASSERT_GT(page.left, 0);
    ASSERT_GT(page.right, page.left);

    // The grid's 400 pixels fill the paper between margins of equal width (four characters each).
    EXPECT_NEAR(page.left, w - page.right, 2);
    const double scale = (page.right - page.left) / 400.0;
    EXPECT_GT(scale, 1.0);
    EXPECT_NEAR(page.firstColumnWidth, 100 * scale, 2);
    EXPECT_NEAR(page.secondColumnWidth, 200 * scale, 2);
    // Across and down alike: a 50-pixel row keeps its proportion.
    EXPECT_NEAR(page.dataRowHeight, 50 * scale, 2);

    // The header rule lies two lines down and the footer rule two lines up from the paper's
    // edges; the headings start a gap of one line below the header rule.
    ASSERT_GT(page.headerRule, 0);
    ASSERT_GT(page.footerRule, page.top);
    EXPECT_NEAR(h - page.footerRule, page.headerRule, 2);
    EXPECT_NEAR(page.top, page.headerRule * 3 / 2.0, 2);

    // Paper twice as large in both directions: everything is printed twice as large.
    const PrintedPage large = PrintOnPaper(grid, 2 * w, 2 * h);
    EXPECT_NEAR(large.left, 2 * page.left, 2);
    EXPECT_NEAR(large.right, 2 * page.right, 2);
    EXPECT_NEAR(large.top, 2 * page.top, 3);
    EXPECT_NEAR(large.dataRowHeight, 2 * page.dataRowHeight, 3);
    EXPECT_NEAR(large.headerRule, 2 * page.headerRule, 3);
    EXPECT_NEAR(large.footerRule, 2 * page.footerRule, 3);
}

TEST_F(GridPageTest, MarginSettingsMoveWhatTheyAreGivenAndNothingElse)
{
    PrintGrid grid;
    Build(grid);
    Printer printer;
    CPrintInfo info;
    grid.OnPrint(&printer.dc, &info);  // without OnBeginPrinting: nothing
    EXPECT_EQ(printer.Count(CRect(0, 0, 849, 1099), RGB(255, 255, 255)), 850 * 1100) << "the page is untouched";

    const PrintedPage before = PrintOnPaper(grid, 850, 1100);
    grid.SetPrintMarginInfo(-1, -1, -1, -1, -1, -1, -1);  // nothing given: nothing moves
    const PrintedPage same = PrintOnPaper(grid, 850, 1100);
    EXPECT_EQ(same.left, before.left);
    EXPECT_EQ(same.top, before.top);
    EXPECT_EQ(same.headerRule, before.headerRule);

    // A header of four lines instead of two: the header rule goes twice as far down, the
    // headings follow it at a gap of a quarter of that, and the footer stays.
    grid.SetPrintMarginInfo(4, -1, -1, -1, -1, -1, -1);
    const PrintedPage tall = PrintOnPaper(grid, 850, 1100);
    EXPECT_NEAR(tall.headerRule, 2 * before.headerRule, 3);
    EXPECT_NEAR(tall.top, tall.headerRule * 5 / 4.0, 3);
    EXPECT_NEAR(tall.footerRule, before.footerRule, 2);
    EXPECT_NEAR(tall.left, before.left, 1);

    // Left and right margins of eight characters: the grid is narrower on the paper and still
    // centred.
    grid.SetPrintMarginInfo(-1, -1, 8, 8, -1, -1, -1);
    const PrintedPage narrow = PrintOnPaper(grid, 850, 1100);
    EXPECT_GT(narrow.left, before.left);
    EXPECT_NEAR(narrow.left, 850 - narrow.right, 2);
}
