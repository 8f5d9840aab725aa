// Geometry, scrolling and painting of a grid in a headless window.

#include <random>

#include "grid_fixture.h"

namespace {

COLORREF Pixel(const CGridCtrl& grid, int x, int y) { return qv::win::ReadPixel(grid.GetSafeHwnd(), x, y); }

}  // namespace

TEST_F(GridTest, CellRectanglesAndHitTestsAgreeWithPrefixSums)
{
    std::mt19937 rng(77);
    for (int round = 0; round < 20; ++round) {
        TestGrid grid;
        Attach(grid, 0, 0, 300 + static_cast<int>(rng() % 200), 200 + static_cast<int>(rng() % 200));
        const int rows = 2 + static_cast<int>(rng() % 30), cols = 2 + static_cast<int>(rng() % 30);
        grid.SetRowCount(rows);
        grid.SetColumnCount(cols);
        grid.SetFixedRowCount(static_cast<int>(rng() % 2));
        grid.SetFixedColumnCount(static_cast<int>(rng() % 2));
        std::vector<int> widths(cols), heights(rows);
        for (int c = 0; c < cols; ++c)
            grid.SetColumnWidth(c, widths[c] = (rng() % 5 == 0) ? 0 : 5 + static_cast<int>(rng() % 60));
        for (int r = 0; r < rows; ++r)
            grid.SetRowHeight(r, heights[r] = (rng() % 5 == 0) ? 0 : 5 + static_cast<int>(rng() % 30));
        for (int i = 0; i < static_cast<int>(rng() % 4); ++i) {
            grid.SendMessage(WM_VSCROLL, SB_LINEDOWN, 0);
            grid.SendMessage(WM_HSCROLL, SB_LINERIGHT, 0);
        }

        CRect client;
        grid.GetClientRect(client);
        const CCellID topLeft = grid.GetTopleftNonFixedCell(TRUE);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c) {
                CRect rect;
                if (!grid.GetCellRect(r, c, rect))
                    continue;
                // Left edge: fixed widths, then the scrolled part from the top-left column.
                int x = 0;
                if (c < grid.GetFixedColumnCount()) {
                    for (int i = 0; i < c; ++i)
                        x += widths[i];
                } else {
                    for (int i = 0; i < grid.GetFixedColumnCount(); ++i)
                        x += widths[i];
                    for (int i = topLeft.col; i < c; ++i)
                        x += widths[i];
                }
                ASSERT_EQ(rect.left, x);
                ASSERT_EQ(rect.right, x + widths[c] - 1);
                if (widths[c] > 0 && heights[r] > 0 && rect.left < client.right && rect.top < client.bottom) {
                    ASSERT_EQ(grid.GetCellFromPt(rect.CenterPoint()), CCellID(r, c));
                    ASSERT_TRUE(grid.IsCellVisible(r, c));
                }
                if (c + 1 < cols) {
                    CRect next;
                    if (grid.GetCellRect(r, c + 1, next)) {
                        ASSERT_EQ(next.left, rect.right + 1);
                    }
                }
            }
        EXPECT_EQ(grid.GetCellFromPt(CPoint(-1, 5)).col, -1);
        EXPECT_FALSE(grid.IsCellVisible(rows, 0));
        EXPECT_FALSE(grid.IsCellVisible(0, -1));
    }
}

TEST_F(GridTest, LineScrollingStepsOverHiddenRowsAndStopsAtTheEnds)
{
    TestGrid grid(30, 3, 1, 0);
    Attach(grid, 0, 0, 200, 150);
    for (int r = 0; r < 30; ++r)
        grid.SetRowHeight(r, 20);
    grid.SetRowHeight(1, 0);
    grid.SetRowHeight(2, 0);
    ASSERT_TRUE(grid.m_nBarState & 2);

    grid.SendMessage(WM_VSCROLL, SB_LINEUP, 0);
    EXPECT_EQ(grid.GetScrollPos32(SB_VERT), 0);

    // The first visible non-fixed row is 3: one line moves by its height.
    grid.SendMessage(WM_VSCROLL, SB_LINEDOWN, 0);
    EXPECT_EQ(grid.GetScrollPos32(SB_VERT), 20);
    EXPECT_EQ(grid.GetTopleftNonFixedCell().row, 4);
    grid.SendMessage(WM_VSCROLL, SB_LINEUP, 0);
    EXPECT_EQ(grid.GetScrollPos32(SB_VERT), 0);

    grid.SendMessage(WM_VSCROLL, SB_BOTTOM, 0);
    const int end = grid.GetScrollPos32(SB_VERT);
    EXPECT_GT(end, 0);
    grid.SendMessage(WM_VSCROLL, SB_LINEDOWN, 0);
    EXPECT_EQ(grid.GetScrollPos32(SB_VERT), end);
    grid.SendMessage(WM_VSCROLL, SB_TOP, 0);
    EXPECT_EQ(grid.GetScrollPos32(SB_VERT), 0);

    grid.EnsureVisible(29, 2);
    EXPECT_TRUE(grid.IsCellVisible(29, 2));
}

TEST_F(GridTest, BarsFollowTheContent)
{
    TestGrid grid(3, 3, 1, 1);
    Attach(grid, 0, 0, 200, 150);
    for (int i = 0; i < 3; ++i) {
        grid.SetRowHeight(i, 20);
        grid.SetColumnWidth(i, 40);
    }
    EXPECT_EQ(grid.m_nBarState, 0);

    grid.SetColumnWidth(2, 1000);
    EXPECT_EQ(grid.m_nBarState, 1);
    EXPECT_EQ(grid.m_nHScrollMax, 1039);

    // A window smaller than its fixed area shows no bars at all.
    grid.SetRowHeight(0, 400);
    EXPECT_EQ(grid.m_nBarState, 0);

    // A cell wider than the window: the walk ends although the cell never fits, with the bar
    // scrolled so far that the cell starts at the window's left edge.
    TestGrid wide(2, 4);
    Attach(wide, 0, 0, 120, 80, 8);
    for (int c = 0; c < 4; ++c)
        wide.SetColumnWidth(c, c == 3 ? 5000 : 30);
    ASSERT_EQ(wide.m_nBarState & 1, 1);
    EXPECT_EQ(wide.GetScrollPos32(SB_HORZ), 0);
    wide.EnsureVisible(1, 3);
    CRect rect;
    ASSERT_TRUE(wide.GetCellRect(1, 3, rect));
    EXPECT_EQ(wide.GetScrollPos32(SB_HORZ), 90);
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(wide.GetTopleftNonFixedCell().col, 3);
}

TEST_F(GridTest, WheelPostsSignedLineCounts)
{
    TestGrid grid(100, 2);
    Attach(grid, 0, 0, 200, 150);
    const auto wheel = [&](short delta) {
        grid.vscrolls.clear();
        grid.SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(delta)), 0);
        Pump();
        return grid.vscrolls;
    };
    grid.SetRowsPerWheelNotch(3);
    EXPECT_EQ(wheel(120), (std::vector<UINT>(3, SB_LINEUP)));
    EXPECT_EQ(wheel(-120), (std::vector<UINT>(3, SB_LINEDOWN)));
    EXPECT_EQ(wheel(240), (std::vector<UINT>(6, SB_LINEUP)));
    grid.SetRowsPerWheelNotch(UINT_MAX);
    EXPECT_EQ(wheel(-240), (std::vector<UINT>(2, SB_PAGEDOWN)));
    // A huge setting never posts more lines than there are rows.
    grid.SetRowsPerWheelNotch(1000000);
    EXPECT_EQ(wheel(-120).size(), 100u);
}

TEST_F(GridTest, PaintShowsBackgroundsGridLinesAndTheMarker)
{
    TestGrid grid(4, 4, 1, 1);
    Attach(grid, 0, 0, 400, 300);
    for (int i = 0; i < 4; ++i) {
        grid.SetRowHeight(i, 20);
        grid.SetColumnWidth(i, 40);
    }
    grid.SetRowHeight(2, 0);
    grid.SetTrackFocusCell(FALSE);
    grid.m_idCurrentCell = CCellID(1, 2);
    grid.Invalidate();
    Pump();

    const COLORREF window = GetSysColor(COLOR_WINDOW);
    const COLORREF lines = RGB(192, 192, 192);
    // Rows 0, 1, 3 are at y 0, 20, 40 (row 2 has no height); columns at x 0, 40, 80, 120.
    EXPECT_EQ(Pixel(grid, 60, 30), window) << "a normal cell";
    EXPECT_EQ(Pixel(grid, 79, 30), lines) << "vertical line at x - 1";
    EXPECT_EQ(Pixel(grid, 100, 39), lines) << "horizontal line at y - 1";
    EXPECT_EQ(Pixel(grid, 300, 30), GetSysColor(COLOR_3DSHADOW)) << "right of the cells";
    EXPECT_EQ(Pixel(grid, 60, 200), GetSysColor(COLOR_3DSHADOW)) << "below the cells";
    EXPECT_EQ(Pixel(grid, 20, 30), GetSysColor(COLOR_3DFACE)) << "fixed column";

    // Cell (1, 2) is (80, 20)-(119, 39): w = 39 and h = 19 put the marker at (89, 24)-(109, 34).
    const COLORREF marker = RGB(0, 0, 192);
    EXPECT_EQ(Pixel(grid, 89, 24), marker);
    EXPECT_EQ(Pixel(grid, 108, 33), marker);
    EXPECT_EQ(Pixel(grid, 109, 30), window);
    EXPECT_EQ(Pixel(grid, 88, 30), window);

    // A fixed cell never carries it.
    grid.m_idCurrentCell = CCellID(0, 2);
    grid.Invalidate();
    Pump();
    EXPECT_NE(Pixel(grid, 100, 10), marker);
    EXPECT_EQ(Pixel(grid, 100, 30), window);

    // Without rows or columns only the background is painted.
    TestGrid empty;
    Attach(empty, 500, 0, 100, 100, 9);
    empty.Invalidate();
    Pump();
    EXPECT_EQ(Pixel(empty, 50, 50), GetSysColor(COLOR_3DSHADOW));
}

TEST_F(GridTest, CellsDrawTheirColoursAndSelection)
{
    TestGrid grid(2, 2);
    Attach(grid, 0, 0, 200, 100);
    for (int i = 0; i < 2; ++i) {
        grid.SetRowHeight(i, 20);
        grid.SetColumnWidth(i, 50);
    }
    grid.SetItemBkColour(0, 0, RGB(10, 200, 10));
    grid.SetItemState(0, 1, GRIDCELL_SELECTED);
    grid.Invalidate();
    Pump();
    EXPECT_EQ(Pixel(grid, 25, 10), RGB(10, 200, 10));
    EXPECT_EQ(Pixel(grid, 75, 10), GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(Pixel(grid, 25, 30), GetSysColor(COLOR_WINDOW));
}
