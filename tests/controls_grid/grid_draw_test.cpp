// What the cells put on the screen and on paper, read back from the pixels: text, focus frame,
// fixed-cell edges, sort arrow, images, printed colours; sizing to the content, the grid's font
// and a change of the system colours.

#include <vector>

#include "grid_fixture.h"
#include "tests/support/memory_page.h"
#include "tests/support/pixels.h"

namespace {

COLORREF Pixel(const CGridCtrl& grid, int x, int y) { return qv::win::ReadPixel(grid.GetSafeHwnd(), x, y); }
CRect Ink(const CGridCtrl& grid, const CRect& area, COLORREF back) { return InkBox(WindowPixels(grid.GetSafeHwnd()), area, back); }
int Count(const CGridCtrl& grid, const CRect& area, COLORREF colour)
{
    return CountColour(WindowPixels(grid.GetSafeHwnd()), area, colour);
}

// A 16 x 16 image list of one solid red image.
void MakeRedImage(CImageList& list)
{
    CBitmap bitmap;
    bitmap.CreateBitmap(16, 16, 1, 32, nullptr);
    CDC dc;
    dc.CreateCompatibleDC(nullptr);
    CBitmap* old = dc.SelectObject(&bitmap);
    dc.FillSolidRect(CRect(0, 0, 16, 16), RGB(255, 0, 0));
    dc.SelectObject(old);
    ASSERT_TRUE(list.Create(16, 16, ILC_MASK, 1, 1));
    ASSERT_EQ(list.Add(&bitmap, RGB(0, 255, 0)), 0);
}

}  // namespace

// Three rows and three columns, the first of each fixed; columns 60 wide, rows 24 high, no
// focus tracking: cell (r, c) covers x 60c..60c+59 and y 24r..24r+23, and the grid lines of the
// normal cells lie on their last column and row of pixels.
class GridDrawTest : public GridTest {
protected:
    TestGrid grid{3, 3, 1, 1};
    COLORREF window = GetSysColor(COLOR_WINDOW);

    void SetUp() override
    {
        GridTest::SetUp();
        if (HasFatalFailure())
            return;
        Attach(grid, 0, 0, 300, 200);
        if (HasFatalFailure())
            return;
        for (int i = 0; i < 3; ++i) {
            grid.SetRowHeight(i, 24);
            grid.SetColumnWidth(i, 60);
        }
        grid.SetTrackFocusCell(FALSE);
        Paint();
    }
    void Paint()
    {
        grid.Invalidate();
        Pump();
    }
    // The inside of a normal cell, without its grid lines.
    static CRect Inside(int row, int col) { return CRect(60 * col, 24 * row, 60 * col + 58, 24 * row + 22); }
    int Margin() const { return static_cast<int>(grid.GetDefaultCell(FALSE, FALSE)->GetMargin()); }
};

TEST_F(GridDrawTest, TextSitsInsideTheMarginsCentredDownInItsColourAndEndsInAnEllipsis)
{
    ASSERT_GT(Margin(), 0);
    grid.SetItemText(1, 1, "HIH");
    grid.SetItemFgColour(1, 1, RGB(200, 0, 0));
    Paint();
    const CRect ink = Ink(grid, Inside(1, 1), window);
    ASSERT_LE(ink.left, ink.right) << "the text is drawn";
    EXPECT_GE(ink.left, 60 + Margin());
    EXPECT_LE(ink.left, 60 + Margin() + 2);
    EXPECT_NEAR(ink.top - 24, 46 - ink.bottom, 3) << "centred from top to bottom";
    EXPECT_GT(Count(grid, Inside(1, 1), RGB(200, 0, 0)), 0) << "in the cell's text colour";
    EXPECT_EQ(Count(grid, Inside(1, 1), RGB(0, 0, 0)), 0);

    // Right-aligned: the text ends at the right margin.
    grid.GetCell(1, 1)->SetFormat(DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
    Paint();
    const CRect right = Ink(grid, Inside(1, 1), window);
    EXPECT_LE(right.right, 118 - Margin() + 1);
    EXPECT_GE(right.right, 118 - Margin() - 2);

    // A text too long for the cell stops inside it, ending in an ellipsis instead of running
    // into the next cell.
    grid.SetItemText(1, 1, "A text far too long to fit in sixty pixels");
    grid.GetCell(1, 1)->SetFormat(0xFFFFFFFF);
    Paint();
    const CRect cut = Ink(grid, Inside(1, 1), window);
    EXPECT_LE(cut.right, 118 - Margin() + 1);
    EXPECT_EQ(Ink(grid, Inside(1, 2), window).left, Inside(1, 2).right + 1) << "nothing spills over";
    // It ends in an ellipsis: its last three runs of inked columns are dots, low and narrow.
    std::vector<std::pair<int, int>> runs;  // [first, last] columns, from the right
    for (int x = cut.right; x >= cut.left && runs.size() < 4; --x) {
        const bool inked = Ink(grid, CRect(x, cut.top, x, cut.bottom), window).left == x;
        if (inked && (runs.empty() || runs.back().first != x + 1))
            runs.push_back({x, x});
        else if (inked)
            runs.back().first = x;
    }
    ASSERT_EQ(runs.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        const auto [first, last] = runs[static_cast<size_t>(i)];
        EXPECT_LE(last - first, 2) << "dot " << i;
        const CRect above(first, cut.top, last, cut.bottom - 3);
        EXPECT_EQ(Ink(grid, above, window).left, above.right + 1) << "dot " << i << " is low";
    }
}

TEST_F(GridDrawTest, TheFocusCellIsFramedInItsTextColourOnlyWhenTheGridFramesIt)
{
    grid.SetFocusCell(1, 1);
    Paint();
    // Framed just inside the grid lines: x 60..118 and y 24..46, in the window text colour.
    const COLORREF text = GetSysColor(COLOR_WINDOWTEXT);
    for (int x : {60, 90, 118}) {
        EXPECT_EQ(Pixel(grid, x, 24), text) << x;
        EXPECT_EQ(Pixel(grid, x, 46), text) << x;
    }
    for (int y : {24, 35, 46}) {
        EXPECT_EQ(Pixel(grid, 60, y), text) << y;
        EXPECT_EQ(Pixel(grid, 118, y), text) << y;
    }
    EXPECT_EQ(Pixel(grid, 61, 25), window) << "only a frame";
    EXPECT_EQ(Pixel(grid, 119, 35), RGB(192, 192, 192)) << "the grid line stays";

    grid.SetFrameFocusCell(FALSE);
    Paint();
    EXPECT_EQ(Count(grid, Inside(1, 1), text), 0);

    // A selected focus cell takes the highlight colours, its frame the highlight text colour.
    grid.SetFrameFocusCell(TRUE);
    grid.SetItemState(1, 1, grid.GetItemState(1, 1) | GRIDCELL_SELECTED);
    Paint();
    EXPECT_EQ(Pixel(grid, 90, 35), GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(Pixel(grid, 60, 35), GetSysColor(COLOR_HIGHLIGHTTEXT));
}

TEST_F(GridDrawTest, FixedCellsHaveRaisedEdgesAndTheFocusRowsHeadersSunkenOnes)
{
    const COLORREF light = GetSysColor(COLOR_3DHIGHLIGHT), dark = GetSysColor(COLOR_3DDKSHADOW);
    const COLORREF face = GetSysColor(COLOR_3DFACE);
    // Column header (0, 1): x 60..119, y 0..23. Light along the top and the left, dark along the
    // right and the bottom.
    EXPECT_EQ(Pixel(grid, 90, 0), light);
    EXPECT_EQ(Pixel(grid, 60, 12), light);
    EXPECT_EQ(Pixel(grid, 119, 12), dark);
    EXPECT_EQ(Pixel(grid, 90, 23), dark);
    EXPECT_EQ(Pixel(grid, 119, 0), dark) << "the dark edge is drawn last";
    EXPECT_EQ(Pixel(grid, 90, 12), face);
    // Row header (2, 0): x 0..59, y 48..71.
    EXPECT_EQ(Pixel(grid, 30, 48), light);
    EXPECT_EQ(Pixel(grid, 59, 60), dark);

    // With grid lines off the fixed cells are flat.
    grid.SetGridLines(GRIDLINES_NONE);
    Paint();
    EXPECT_EQ(Pixel(grid, 90, 0), face);
    EXPECT_EQ(Pixel(grid, 119, 12), face);

    // Tracking the focus, the headers of the focus cell's row and column are sunken: dark along
    // the top and the left, light along the bottom and the right.
    grid.SetGridLines(GRIDLINES_BOTH);
    grid.SetTrackFocusCell(TRUE);
    grid.SetFocusCell(2, 1);
    Paint();
    EXPECT_EQ(Pixel(grid, 90, 0), dark);
    EXPECT_EQ(Pixel(grid, 90, 23), GetSysColor(COLOR_3DLIGHT));
    EXPECT_EQ(Pixel(grid, 119, 12), GetSysColor(COLOR_3DLIGHT));
    EXPECT_EQ(Pixel(grid, 30, 48), dark);
    EXPECT_EQ(Pixel(grid, 0, 60), dark);
    EXPECT_EQ(Pixel(grid, 90, 12), face);
    EXPECT_EQ(Pixel(grid, 150, 0), light) << "other headers stay raised";
}

TEST_F(GridDrawTest, TheSortArrowPointsTheSortWayInTheHeaderOnlyWhereItFits)
{
    const COLORREF shadow = GetSysColor(COLOR_3DSHADOW);
    const CRect header(61, 1, 118, 22);
    EXPECT_EQ(Count(grid, header, shadow), 0);

    // Rows of the arrow: the one with the most shadow pixels is its base.
    auto baseAtBottom = [&]() {
        const CRect box = Ink(grid, header, GetSysColor(COLOR_3DFACE));
        int top = 0, bottom = 0;
        for (int x = box.left; x <= box.right; ++x) {
            top += Pixel(grid, x, box.top) == shadow;
            bottom += Pixel(grid, x, box.bottom - 1) == shadow;
        }
        EXPECT_GE(box.left, 90) << "at the right of the cell";
        return bottom > top;
    };
    grid.SortItems(1, TRUE);
    Paint();
    ASSERT_GT(Count(grid, header, shadow), 4);
    EXPECT_TRUE(baseAtBottom()) << "ascending: apex up";
    EXPECT_EQ(Count(grid, Inside(1, 1), shadow), 0) << "only in the header row";
    EXPECT_EQ(Count(grid, CRect(121, 1, 178, 22), shadow), 0) << "only in the sort column";

    grid.SortItems(1, FALSE);
    Paint();
    EXPECT_FALSE(baseAtBottom()) << "descending: apex down";

    // A header too low for an arrow shows none.
    grid.SetRowHeight(0, 5);
    Paint();
    EXPECT_EQ(Count(grid, CRect(61, 0, 118, 4), shadow), 0);
}

TEST_F(GridDrawTest, AnImageIsDrawnOnScreenOnlyWhenItFitsButAlwaysOnPaper)
{
    CImageList list;
    MakeRedImage(list);
    ASSERT_FALSE(HasFatalFailure());
    grid.SetImageList(&list);
    grid.GetCell(1, 1)->SetImage(0);
    grid.GetCell(2, 1)->SetImage(0);
    grid.SetRowHeight(1, 16 + 2 * Margin());      // just fits
    grid.SetRowHeight(2, 16 + 2 * Margin() - 1);  // one pixel short
    Paint();
    const COLORREF red = RGB(255, 0, 0);
    const int top1 = 24, top2 = 24 + 16 + 2 * Margin();
    EXPECT_EQ(Count(grid, CRect(60, top1, 119, top2 - 1), red), 16 * 16);
    EXPECT_EQ(Pixel(grid, 60 + Margin(), top1 + Margin()), red) << "at the top-left inside the margins";
    EXPECT_EQ(Count(grid, CRect(60, top2, 119, 150), red), 0) << "does not fit: not drawn";

    MemoryPage paper(200, 100);
    ASSERT_TRUE(grid.GetCell(2, 1)->PrintCell(&paper.dc, 2, 1, CRect(10, 10, 69, 10 + 16 + 2 * Margin() - 2)));
    EXPECT_EQ(paper.Count(CRect(0, 0, 199, 99), red), 16 * 16);
}

TEST_F(GridDrawTest, PrintedCellsShadeOnlyWhatDiffersAndResolveDefaultTextColours)
{
    grid.SetTextColor(RGB(0, 0, 160));  // the normal cells' default text colour
    for (auto [r, c] : {std::pair{1, 1}, std::pair{1, 2}, std::pair{2, 1}, std::pair{0, 1}})
        grid.SetItemText(r, c, "HIH");
    grid.SetItemBkColour(1, 2, RGB(200, 230, 255));
    grid.SetItemFgColour(1, 2, RGB(200, 0, 0));
    grid.SetItemBkColour(2, 1, RGB(200, 230, 255));  // its own text colour left at default
    const CRect rect(10, 10, 69, 33);
    const CRect inside(11, 11, 68, 32);
    auto print = [&](int row, int col, MemoryPage& paper) {
        ASSERT_TRUE(grid.GetCell(row, col)->PrintCell(&paper.dc, row, col, rect));
    };

    // A normal cell in default colours is not shaded; its text takes the default colour.
    {
        MemoryPage paper(200, 100);
        print(1, 1, paper);
        EXPECT_EQ(paper.dc.GetPixel(12, 12), RGB(255, 255, 255));
        EXPECT_GT(paper.Count(inside, RGB(0, 0, 160)), 0);
    }
    // Its own back colour is shaded over the whole rectangle, right and bottom edges included,
    // and its own text colour used with it.
    {
        MemoryPage paper(200, 100);
        print(1, 2, paper);
        EXPECT_EQ(paper.dc.GetPixel(12, 12), RGB(200, 230, 255));
        EXPECT_EQ(paper.dc.GetPixel(69, 33), RGB(200, 230, 255));
        EXPECT_EQ(paper.dc.GetPixel(70, 34), RGB(255, 255, 255));
        EXPECT_GT(paper.Count(inside, RGB(200, 0, 0)), 0);
    }
    // An own back colour with the text colour left at default: the default text colour.
    {
        MemoryPage paper(200, 100);
        print(2, 1, paper);
        EXPECT_GT(paper.Count(inside, RGB(0, 0, 160)), 0);
        EXPECT_EQ(paper.Count(inside, RGB(0, 0, 0)), 0);
    }
    // A fixed cell is shaded in its default face colour, with its dark edge on the right.
    {
        MemoryPage paper(200, 100);
        print(0, 1, paper);
        EXPECT_EQ(paper.dc.GetPixel(60, 13), GetSysColor(COLOR_3DFACE));
        EXPECT_EQ(paper.dc.GetPixel(69, 20), GetSysColor(COLOR_3DDKSHADOW));
    }
    // Unshaded printing: no fills, black text.
    grid.SetShadedPrintOut(FALSE);
    {
        MemoryPage paper(200, 100);
        print(1, 2, paper);
        EXPECT_EQ(paper.dc.GetPixel(12, 12), RGB(255, 255, 255));
        EXPECT_GT(paper.Count(inside, RGB(0, 0, 0)), 0);
        EXPECT_EQ(paper.Count(inside, RGB(200, 0, 0)), 0);
    }
}

TEST_F(GridDrawTest, SizingToContentFitsTheChosenRowsTextsWhole)
{
    const std::string header = "A long header text", data = "Data, longer than that still";
    grid.SetItemText(0, 1, header.c_str());
    grid.SetItemText(1, 1, "x");
    grid.SetItemText(2, 1, data.c_str());
    // Each text's ink when nothing cuts it.
    grid.SetColumnWidth(1, 230);
    Paint();
    const COLORREF face = GetSysColor(COLOR_3DFACE);
    const int headerWidth = Ink(grid, CRect(62, 2, 287, 21), face).Width();
    const int dataWidth = Ink(grid, CRect(60, 48, 287, 70), window).Width();
    ASSERT_GT(dataWidth, headerWidth);
    // Ink of the header (row 0) or the data text (row 2) where column 1 now lies.
    auto inkNow = [&](int row) {
        const int left = grid.GetColumnWidth(0), right = left + grid.GetColumnWidth(1) - 3;
        return row == 0 ? Ink(grid, CRect(left + 2, 2, right, 21), face).Width()
                        : Ink(grid, CRect(left, 48, right, 70), window).Width();
    };
    auto tight = [&](int inkWidth) {
        EXPECT_GE(grid.GetColumnWidth(1), inkWidth + 2 * Margin());
        EXPECT_LE(grid.GetColumnWidth(1), inkWidth + 2 * Margin() + 6);
    };

    // The headers only: the header fits, the longer data text is cut.
    ASSERT_TRUE(grid.AutoSizeColumn(1, GRIDAUTOSIZE_HEADER));
    Paint();
    EXPECT_EQ(inkNow(0), headerWidth);
    EXPECT_LT(inkNow(2), dataWidth);
    tight(headerWidth);
    // The data rows only, and both (the grid's own style): the data text fits.
    ASSERT_TRUE(grid.AutoSizeColumn(1, GRIDAUTOSIZE_DATA));
    Paint();
    EXPECT_EQ(inkNow(2), dataWidth);
    tight(dataWidth);
    grid.SetColumnWidth(1, 20);
    grid.AutoSizeColumns();
    Paint();
    EXPECT_EQ(inkNow(0), headerWidth);
    EXPECT_EQ(inkNow(2), dataWidth);

    // A row with a large font grows to show its text whole, and not much more.
    LOGFONT big = *grid.GetDefaultCell(FALSE, FALSE)->GetFont();
    big.lfHeight = -30;
    grid.GetCell(1, 1)->SetFont(&big);
    grid.SetItemText(1, 1, "Hg");
    grid.SetRowHeight(1, 120);
    Paint();
    const int left = grid.GetColumnWidth(0), right = left + grid.GetColumnWidth(1) - 2;
    const int fullHeight = Ink(grid, CRect(left, 24, right, 24 + 118), window).Height();
    grid.SetRowHeight(1, 24);
    Paint();
    EXPECT_LT(Ink(grid, CRect(left, 24, right, 46), window).Height(), fullHeight) << "cut";
    ASSERT_TRUE(grid.AutoSizeRow(1));
    Paint();
    const int height = grid.GetRowHeight(1);
    EXPECT_EQ(Ink(grid, CRect(left, 24, right, 24 + height - 2), window).Height(), fullHeight);
    EXPECT_LT(height, fullHeight * 2);
    EXPECT_FALSE(grid.AutoSizeRow(7));
}

TEST_F(GridDrawTest, ANewFontReachesEveryCellAndTheSizeOfNewRows)
{
    grid.SetItemText(1, 1, "Hg");
    grid.SetItemText(0, 1, "Hg");
    grid.SetRowHeight(1, 60);
    grid.SetRowHeight(0, 60);
    Paint();
    const int before = Ink(grid, CRect(60, 60, 118, 118), window).Height();
    const int headerBefore = Ink(grid, CRect(61, 1, 118, 58), GetSysColor(COLOR_3DFACE)).Height();
    grid.SetRowCount(4);
    const int rowBefore = grid.GetRowHeight(3);

    CFont big;
    big.CreateFont(-24, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Sans");
    grid.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(static_cast<HFONT>(big)), TRUE);
    Pump();
    const int after = Ink(grid, CRect(60, 60, 118, 118), window).Height();
    EXPECT_GT(after, before * 3 / 2) << "a normal cell";
    EXPECT_GT(Ink(grid, CRect(61, 1, 118, 58), GetSysColor(COLOR_3DFACE)).Height(), headerBefore * 3 / 2)
        << "a fixed cell";

    // The grid hands out the font it now draws with; rows added later are sized for it.
    const auto handed = reinterpret_cast<HFONT>(grid.SendMessage(WM_GETFONT));
    LOGFONT lf{};
    ASSERT_EQ(::GetObject(handed, sizeof lf, &lf), static_cast<int>(sizeof lf));
    EXPECT_EQ(lf.lfHeight, -24);
    grid.SetRowCount(5);
    EXPECT_GT(grid.GetRowHeight(4), rowBefore * 3 / 2);
}

TEST_F(GridDrawTest, ASystemColourChangeReachesColoursLeftAtTheSystemsOnly)
{
    grid.SetItemText(1, 1, "HIH");
    TestGrid own(2, 2);
    Attach(own, 320, 0, 200, 60, 9);
    own.SetRowHeight(0, 24);
    own.SetColumnWidth(0, 60);
    own.SetTextBkColor(RGB(230, 255, 230));  // chosen by its owner

    struct Restore {
        ~Restore()
        {
            for (int i : {COLOR_WINDOW, COLOR_WINDOWTEXT, COLOR_3DSHADOW})
                gdi::SetSysColorForTesting(i, colours[i]);
        }
        COLORREF colours[COLOR_MENUBAR + 1];
    } restore{};
    for (int i : {COLOR_WINDOW, COLOR_WINDOWTEXT, COLOR_3DSHADOW})
        restore.colours[i] = GetSysColor(i);

    gdi::SetSysColorForTesting(COLOR_WINDOW, RGB(255, 250, 205));
    gdi::SetSysColorForTesting(COLOR_WINDOWTEXT, RGB(0, 0, 120));
    gdi::SetSysColorForTesting(COLOR_3DSHADOW, RGB(90, 90, 90));
    for (CGridCtrl* g : {static_cast<CGridCtrl*>(&grid), static_cast<CGridCtrl*>(&own)}) {
        g->SendMessage(WM_SYSCOLORCHANGE);
        g->Invalidate();
    }
    Pump();
    EXPECT_EQ(Pixel(grid, 100, 60), RGB(255, 250, 205)) << "cell background";
    EXPECT_GT(Count(grid, Inside(1, 1), RGB(0, 0, 120)), 0) << "text";
    EXPECT_EQ(Pixel(grid, 250, 30), RGB(90, 90, 90)) << "grid background";
    EXPECT_EQ(Pixel(own, 30, 12), RGB(230, 255, 230)) << "the owner's colour stays";
}
