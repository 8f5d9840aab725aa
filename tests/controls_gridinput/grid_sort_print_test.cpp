// Sorting the grid's rows and printing it into a memory DC standing in for a printer.

#include <algorithm>
#include <map>
#include <random>

#include "fixture.h"
#include "platform/ctl/Print.h"
#include "platform/ctl/StringResource.h"

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
struct Printer {
    CDC dc;
    CBitmap bitmap;
    CBitmap* old = nullptr;
    Printer()
    {
        dc.CreateCompatibleDC(nullptr);
        bitmap.CreateBitmap(850, 1100, 1, 32, nullptr);
        old = dc.SelectObject(&bitmap);
    }
    ~Printer() { dc.SelectObject(old); }
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

TEST_F(GridPrintTest, MarginsAreStoredOnlyWhenGivenAndThereIsNoPrinter)
{
    PrintGrid grid;
    Build(grid, 4, 3);
    Printer printer;
    CPrintInfo info;
    grid.OnPrint(&printer.dc, &info);  // without OnBeginPrinting: nothing
    EXPECT_TRUE(PrintLog().empty());
    grid.SetPrintMarginInfo(-1, -1, -1, -1, -1, -1, -1);
    EXPECT_EQ(PrintAll(grid, printer), 1u);

    EXPECT_EQ(CreatePrinterDC(), nullptr);
    DOCINFO doc{sizeof(DOCINFO), "grid", nullptr, nullptr, 0};
    EXPECT_EQ(StartDoc(nullptr, &doc), SP_ERROR);
}

TEST_F(GridPrintTest, HeaderAndFooterRulesAreDrawn)
{
    qv::ctl::RegisterStringResource(AFX_IDS_APP_TITLE, "App");
    PrintGrid grid;
    Build(grid, 4, 3);
    Printer printer;
    printer.dc.FillSolidRect(CRect(0, 0, 850, 1100), RGB(255, 255, 255));
    PrintAll(grid, printer);
    // Somewhere in the top and the bottom tenth of the page there is black ink.
    auto inked = [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y)
            for (int x = 0; x < 850; x += 2)
                if (printer.dc.GetPixel(x, y) == RGB(0, 0, 0))
                    return true;
        return false;
    };
    printer.dc.SetMapMode(MM_TEXT);  // read back in device pixels
    printer.dc.SetWindowOrg(0, 0);
    EXPECT_TRUE(inked(0, 110));
    EXPECT_TRUE(inked(990, 1100));
}
