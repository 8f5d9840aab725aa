// Clicks, keys and the selection of the grid, as its owner hears of them.

#include <set>

#include "fixture.h"

namespace {
Heard N(UINT code, int row, int col) { return {WM_NOTIFY, code, row, col}; }
Heard Cmd(WORD id) { return {WM_COMMAND, static_cast<UINT>(MAKEWPARAM(id, 0)), -1, -1}; }
}  // namespace

TEST_F(GridInputTest, PlainClickMovesFocusAndCurrentThenNotifiesAndPostsCommand)
{
    InputGrid grid(6, 5, 1, 1);
    Make(grid);
    ClickCell(grid, 2, 3);
    EXPECT_EQ(grid.GetFocusCell(), CCellID(2, 3));
    EXPECT_EQ(grid.GetCurrentCell(), CCellID(2, 3));
    EXPECT_TRUE(grid.GetItemState(2, 3) & GRIDCELL_FOCUSED);
    const std::vector<Heard> want{N(LVN_ITEMCHANGING, 2, 3), N(LVN_ITEMCHANGED, 2, 3), N(NM_CLICK, 2, 3), Cmd(7)};
    EXPECT_EQ(Heard_(), want);

    // A click elsewhere moves the focus bit with it.
    ClickCell(grid, 4, 1);
    EXPECT_FALSE(grid.GetItemState(2, 3) & GRIDCELL_FOCUSED);
    EXPECT_TRUE(grid.GetItemState(4, 1) & GRIDCELL_FOCUSED);
}

TEST_F(GridInputTest, FixedCellClickAndMinusOneRequestsLeaveFocusAndCurrent)
{
    InputGrid grid(6, 5, 1, 1);
    Make(grid);
    ClickCell(grid, 2, 2);
    EXPECT_EQ(grid.SetFocusCell(-1, -1), CCellID(2, 2));
    EXPECT_EQ(grid.SetCurrentCell(-1, 3), CCellID(2, 2));
    EXPECT_EQ(grid.GetFocusCell(), CCellID(2, 2));

    ClickCell(grid, 0, 3);  // column header
    ClickCell(grid, 3, 0);  // row header
    EXPECT_EQ(grid.GetFocusCell(), CCellID(2, 2));
    EXPECT_EQ(grid.GetCurrentCell(), CCellID(2, 2));

    // Requests below the fixed counts are raised to them.
    grid.SetFocusCell(0, 0);
    EXPECT_EQ(grid.GetFocusCell(), CCellID(1, 1));
}

TEST_F(GridInputTest, WithSelectionOffClicksAndKeysStillMoveAndNotify)
{
    InputGrid grid(6, 5, 1, 1);
    Make(grid);
    grid.EnableSelection(FALSE);
    ClickCell(grid, 2, 2);
    Key(VK_RIGHT);
    EXPECT_EQ(grid.GetFocusCell(), CCellID(2, 3));
    EXPECT_EQ(grid.GetSelectedCount(), 0);
    const std::vector<Heard> want{N(LVN_ITEMCHANGING, 2, 2), N(LVN_ITEMCHANGED, 2, 2), N(NM_CLICK, 2, 2), Cmd(7),
                                  N(LVN_ITEMCHANGING, 2, 3), N(LVN_ITEMCHANGED, 2, 3)};
    EXPECT_EQ(Heard_(), want);
}

TEST_F(GridInputTest, DoubleClickGivesClickDoubleClickClickAndTwoCommands)
{
    InputGrid grid(6, 5, 1, 1);
    Make(grid);
    grid.SetEditable(FALSE);
    const POINT p = CellCentre(grid, 3, 2);
    for (int i = 0; i < 2; ++i) {
        qv::win::InjectMouseButton(p.x, p.y, 1, true);
        qv::win::InjectMouseButton(p.x, p.y, 1, false);
    }
    Pump();
    std::vector<Heard> clicks;
    for (const Heard& h : Heard_())
        if (h.message == WM_COMMAND || h.code == NM_CLICK || h.code == NM_DBLCLK)
            clicks.push_back(h);
    const std::vector<Heard> want{N(NM_CLICK, 3, 2), Cmd(7), N(NM_DBLCLK, 3, 2), N(NM_CLICK, 3, 2), Cmd(7)};
    EXPECT_EQ(clicks, want);
}

TEST_F(GridInputTest, ReleaseWithoutPressOnTheGridIsNoClick)
{
    InputGrid grid(6, 5, 1, 1);
    Make(grid);
    ClickCell(grid, 2, 2);
    Owner().heard.clear();
    // Pressed on the owner beside the grid, released over a cell.
    const POINT outside{100 + 500, 100 + 350};
    const POINT over = CellCentre(grid, 3, 3);
    qv::win::InjectMouseButton(outside.x, outside.y, 1, true);
    qv::win::InjectMouseMove(over.x, over.y);
    qv::win::InjectMouseButton(over.x, over.y, 1, false);
    Pump();
    EXPECT_TRUE(Heard_().empty());
    EXPECT_EQ(grid.GetFocusCell(), CCellID(2, 2));
}

TEST_F(GridInputTest, RightClickReportsTheCellOrMinusOne)
{
    InputGrid grid(6, 5, 1, 1);
    Make(grid);
    const POINT cell = CellCentre(grid, 4, 2);
    qv::win::InjectMouseButton(cell.x, cell.y, 3, true);
    qv::win::InjectMouseButton(cell.x, cell.y, 3, false);
    const POINT empty = Screen(grid, 350, 250);
    qv::win::InjectMouseButton(empty.x, empty.y, 3, true);
    qv::win::InjectMouseButton(empty.x, empty.y, 3, false);
    Pump();
    const std::vector<Heard> want{N(NM_RCLICK, 4, 2), N(NM_RCLICK, -1, -1)};
    EXPECT_EQ(Heard_(), want);
    EXPECT_EQ(grid.GetFocusCell(), CCellID(4, 2));
}

TEST_F(GridInputTest, ArrowsSkipHiddenRowsAndStopAtTheEdges)
{
    InputGrid grid(6, 5, 1, 1);
    Make(grid);
    grid.SetRowHeight(3, 0);
    grid.SetRowHeight(4, 0);
    ClickCell(grid, 2, 2);
    Owner().heard.clear();
    Key(VK_DOWN);
    EXPECT_EQ(grid.GetFocusCell(), CCellID(5, 2));
    const std::vector<Heard> want{N(LVN_ITEMCHANGING, 5, 2), N(LVN_ITEMCHANGED, 5, 2)};
    EXPECT_EQ(Heard_(), want);

    Owner().heard.clear();
    Key(VK_DOWN);  // nothing below
    EXPECT_EQ(grid.GetFocusCell(), CCellID(5, 2));
    EXPECT_TRUE(Heard_().empty());

    Key(VK_UP);
    EXPECT_EQ(grid.GetFocusCell(), CCellID(2, 2));
    Key(VK_UP);
    Key(VK_UP);  // never into the fixed row
    EXPECT_EQ(grid.GetFocusCell(), CCellID(1, 2));
    Key(VK_LEFT);
    Key(VK_LEFT);
    EXPECT_EQ(grid.GetFocusCell(), CCellID(1, 1));
}

TEST_F(GridInputTest, TabWrapsToTheNextShownRowAndStopsAtTheLastCell)
{
    InputGrid grid(6, 5, 1, 1);
    Make(grid);
    grid.SetRowHeight(3, 0);
    grid.SetFocus();
    grid.SetFocusCell(2, 4);
    Key(VK_TAB);
    EXPECT_EQ(grid.GetFocusCell(), CCellID(4, 1));

    KeyWith(VK_SHIFT, VK_TAB);  // back over the hidden row
    EXPECT_EQ(grid.GetFocusCell(), CCellID(2, 4));

    grid.SetFocusCell(5, 4);
    Key(VK_TAB);
    EXPECT_EQ(grid.GetFocusCell(), CCellID(5, 4));

    // Every row below hidden: the focus stays.
    grid.SetRowHeight(5, 0);
    grid.SetFocusCell(4, 4);
    Key(VK_TAB);
    EXPECT_EQ(grid.GetFocusCell(), CCellID(4, 4));
}

TEST_F(GridInputTest, HomeAndEndWithAndWithoutCtrl)
{
    InputGrid grid(6, 5, 1, 1);
    Make(grid);
    ClickCell(grid, 3, 2);
    Key(VK_END);
    EXPECT_EQ(grid.GetFocusCell(), CCellID(3, 4));
    Key(VK_HOME);
    EXPECT_EQ(grid.GetFocusCell(), CCellID(3, 1));
    KeyWith(VK_CONTROL, VK_END);
    EXPECT_EQ(grid.GetFocusCell(), CCellID(5, 4));
    KeyWith(VK_CONTROL, VK_HOME);
    EXPECT_EQ(grid.GetFocusCell(), CCellID(1, 1));
}

TEST_F(GridInputTest, ShiftExtendsAndCtrlToggles)
{
    InputGrid grid(6, 5, 1, 1);
    Make(grid);
    auto selected = [&] {
        std::set<std::pair<int, int>> s;
        for (int r = 0; r < grid.GetRowCount(); ++r)
            for (int c = 0; c < grid.GetColumnCount(); ++c)
                if (grid.IsCellSelected(r, c)) {
                    s.insert({r, c});
                    EXPECT_TRUE(grid.GetItemState(r, c) & GRIDCELL_SELECTED) << r << "," << c;
                }
        return s;
    };
    ClickCell(grid, 1, 1);
    KeyWith(VK_SHIFT, VK_DOWN);
    KeyWith(VK_SHIFT, VK_DOWN);
    KeyWith(VK_SHIFT, VK_RIGHT);
    std::set<std::pair<int, int>> want;
    for (int r = 1; r <= 3; ++r)
        for (int c = 1; c <= 2; ++c)
            want.insert({r, c});
    EXPECT_EQ(selected(), want);
    EXPECT_EQ(grid.GetSelectedCellRange(), CCellRange(1, 1, 3, 2));

    // A plain key starts again from the new cell.
    Key(VK_RIGHT);
    EXPECT_EQ(selected(), (std::set<std::pair<int, int>>{{3, 3}}));

    // Ctrl adds a cell and takes a selected one away.
    qv::win::InjectKey(VK_CONTROL, true);
    ClickCell(grid, 1, 1);
    EXPECT_EQ(selected(), (std::set<std::pair<int, int>>{{1, 1}, {3, 3}}));
    ClickCell(grid, 3, 3);
    qv::win::InjectKey(VK_CONTROL, false);
    Pump();
    EXPECT_EQ(selected(), (std::set<std::pair<int, int>>{{1, 1}}));

    // An empty selection gives an invalid range.
    grid.SetSelectedRange(-1, -1, -1, -1);
    EXPECT_EQ(grid.GetSelectedCount(), 0);
    EXPECT_FALSE(grid.GetSelectedCellRange().IsValid());
}

TEST_F(GridInputTest, HeaderClicksSelectRowsColumnsOrAll)
{
    InputGrid grid(6, 5, 1, 1);
    Make(grid);
    ClickCell(grid, 3, 0);
    EXPECT_EQ(grid.GetSelectedCellRange(), CCellRange(3, 1, 3, 4));
    ClickCell(grid, 0, 2);
    EXPECT_EQ(grid.GetSelectedCellRange(), CCellRange(1, 2, 5, 2));
    ClickCell(grid, 0, 0);
    EXPECT_EQ(grid.GetSelectedCount(), 5 * 4);
}

TEST_F(GridInputTest, DraggingADividerSizesTheColumnDownToZeroOrOne)
{
    InputGrid grid(6, 5, 1, 1);
    Make(grid);
    CRect header, client;
    ASSERT_TRUE(grid.GetCellRect(0, 1, &header));
    grid.GetClientRect(&client);
    const int divider = header.right;  // the last pixel of column 1
    const POINT press = Screen(grid, divider, 10);
    const POINT to = Screen(grid, divider + 20, 10);
    const PixelReader before = PixelsNow(grid);
    qv::win::InjectMouseMove(press.x, press.y);
    qv::win::InjectMouseButton(press.x, press.y, 1, true);
    qv::win::InjectMouseMove(to.x, to.y);
    Pump();
    // While dragging, one inverted band 2 pixels wide follows the pointer over the whole height.
    ExpectSamePixels(WindowPixels(grid.GetSafeHwnd()), [&](int x, int y) {
        const COLORREF c = before(x, y);
        return x == divider + 20 || x == divider + 21 ? ~c & 0xFFFFFF : c;
    }, client.Width(), client.Height(), "band at the pointer");
    qv::win::InjectMouseButton(to.x, to.y, 1, false);
    Pump();
    EXPECT_EQ(grid.GetColumnWidth(1), divider + 20 - header.left);
    EXPECT_EQ(Heard_(), std::vector<Heard>{Cmd(7)}) << "sizing is no click and no selection change";

    // Released left of the column's origin: 0 while columns may be hidden, else 1. The release
    // is sent directly, as the cursor clip would keep an injected pointer inside the column.
    for (BOOL hide : {TRUE, FALSE}) {
        grid.EnableColumnHide(hide);
        grid.SetColumnWidth(1, 50);
        ASSERT_TRUE(grid.GetCellRect(0, 1, &header));
        const POINT p = Screen(grid, header.right, 10);
        now += 1000;
        qv::win::InjectMouseMove(p.x, p.y);
        qv::win::InjectMouseButton(p.x, p.y, 1, true);
        Pump();
        grid.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(static_cast<WORD>(header.left - 10), 10));
        EXPECT_EQ(grid.GetColumnWidth(1), hide ? 0 : 1);
        qv::win::InjectMouseButton(p.x, p.y, 1, false);
        Pump();
        ::ClipCursor(nullptr);
    }

    // With unhiding off, the divider right of a hidden first column (or below a hidden first
    // row) cannot be dragged: no band is drawn as the pointer moves, and nothing is sized.
    for (bool rows : {false, true}) {
        InputGrid g(6, 5, rows ? 0 : 1, rows ? 1 : 0);
        Make(g, 170, 300, 8, 420);
        rows ? g.SetRowHeight(0, 0) : g.SetColumnWidth(0, 0);
        g.EnableHiddenColUnhide(FALSE);
        g.EnableHiddenRowUnhide(FALSE);
        g.Invalidate();
        Pump();
        const PixelReader unmoved = PixelsNow(g);
        const POINT at = rows ? Screen(g, 10, 1) : Screen(g, 1, 10);
        now += 1000;
        qv::win::InjectMouseMove(at.x, at.y);
        qv::win::InjectMouseButton(at.x, at.y, 1, true);
        Pump();
        const POINT moved{at.x + (rows ? 0 : 60), at.y + (rows ? 60 : 0)};
        qv::win::InjectMouseMove(moved.x, moved.y);
        Pump();
        g.GetClientRect(&client);
        ExpectSamePixels(WindowPixels(g.GetSafeHwnd()), unmoved, client.Width(), client.Height(), "no band");
        qv::win::InjectMouseButton(moved.x, moved.y, 1, false);
        Pump();
        EXPECT_EQ(rows ? g.GetRowHeight(0) : g.GetColumnWidth(0), 0) << rows;
        EXPECT_EQ(rows ? g.GetRowHeight(1) : g.GetColumnWidth(1), rows ? 20 : 50) << rows;
        // The press announced no selection change, so its release announces no click either:
        // the owner hears nothing of a divider that could not be dragged.
        EXPECT_EQ(Heard_(), std::vector<Heard>{}) << rows;
        ::ClipCursor(nullptr);
    }
}

TEST_F(GridInputTest, DoubleClickOnADividerWithoutAMoveAutoSizesTheColumnToItsText)
{
    InputGrid grid(6, 5, 1, 1);
    Make(grid);
    const char* text = "a text far wider than fifty pixels";
    grid.SetItemText(3, 2, text);
    CRect header;
    ASSERT_TRUE(grid.GetCellRect(0, 2, &header));
    const POINT p = Screen(grid, header.right, 10);  // the divider right of column 2
    now += 1000;
    qv::win::InjectMouseMove(p.x, p.y);
    Pump();
    ASSERT_EQ(grid.m_MouseMode, 8) << "over the divider";
    // Two clicks at one point, as a hand makes them: the first is handled before the second
    // comes. The first press starts a sizing that its release ends (leaving the divider mode);
    // the move sent as the grid lets the capture go puts the grid back over the divider.
    qv::win::InjectMouseButton(p.x, p.y, 1, true);
    qv::win::InjectMouseButton(p.x, p.y, 1, false);
    Pump();
    EXPECT_EQ(grid.GetColumnWidth(2), 50) << "a press and release in place sizes nothing";
    now += 100;
    qv::win::InjectMouseButton(p.x, p.y, 1, true);
    qv::win::InjectMouseButton(p.x, p.y, 1, false);
    Pump();
    const int width = grid.GetColumnWidth(2);
    // The column is as wide as its widest text, which is what AutoSizeColumn makes of it.
    CClientDC dc(&grid);
    EXPECT_EQ(width, grid.GetCell(3, 2)->GetCellExtent(&dc).cx);
    EXPECT_GT(width, 50);
    grid.SetColumnWidth(2, 50);
    ASSERT_TRUE(grid.AutoSizeColumn(2, grid.GetAutoSizeStyle(), TRUE));
    EXPECT_EQ(grid.GetColumnWidth(2), width);
    EXPECT_EQ(grid.GetColumnWidth(1), 50);
    EXPECT_EQ(grid.GetColumnWidth(3), 50);
}

TEST_F(GridInputTest, DlgCodeWantsTabOnlyWhenHandledAndCtrlIsUp)
{
    InputGrid grid(3, 3, 1, 1);
    Make(grid);
    EXPECT_EQ(grid.SendMessage(WM_GETDLGCODE), DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_WANTTAB);
    grid.SetHandleTabKey(FALSE);
    EXPECT_EQ(grid.SendMessage(WM_GETDLGCODE), DLGC_WANTARROWS | DLGC_WANTCHARS);
}

TEST_F(GridInputTest, AutoScrollTimerSelectsTowardsThePointerBelowTheGrid)
{
    InputGrid grid(40, 4, 1, 1);
    Make(grid, 300, 150);
    const POINT start = CellCentre(grid, 2, 1);
    qv::win::InjectMouseButton(start.x, start.y, 1, true);
    const POINT left = Screen(grid, 60, 105);  // the point where the drag leaves the grid
    qv::win::InjectMouseMove(left.x, left.y);
    Pump();
    ASSERT_NE(grid.m_nTimerID, 0u);
    // The pointer below the grid: each tick moves the focus down and selects up to the bottom.
    const POINT below = Screen(grid, 60, 200);
    qv::win::InjectMouseMove(below.x, below.y);
    Pump();
    for (int tick = 0; tick < 40 && grid.GetSelectedCellRange().GetMaxRow() < 12; ++tick)
        grid.OnTimer(0x0201);
    ASSERT_EQ(grid.GetSelectedCellRange().GetMaxRow(), 12);
    ASSERT_EQ(grid.GetScrollPos32(SB_VERT), 100);
    // Back over the grid 100 pixels above where it went below, the scroll under it: that is
    // where over the cells the pointer was then, yet it is a move, and the selection follows it.
    const POINT back = Screen(grid, 60, 100);
    qv::win::InjectMouseMove(back.x, back.y);
    Pump();
    const CCellRange sel = grid.GetSelectedCellRange();
    EXPECT_EQ(sel.GetMinRow(), 2);
    EXPECT_EQ(sel.GetMaxRow(), grid.GetCellFromPt(CPoint(60, 100)).row);
    EXPECT_EQ(sel.GetMaxRow(), 10);
    // At the end of the rows the timer selects without scrolling: a trip below and back to the
    // very point the pointer left from is a move all the same, and the selection shrinks to it.
    qv::win::InjectMouseMove(below.x, below.y);
    Pump();
    for (int tick = 0; tick < 40 && grid.GetSelectedCellRange().GetMaxRow() < 39; ++tick)
        grid.OnTimer(0x0201);
    ASSERT_EQ(grid.GetSelectedCellRange().GetMaxRow(), 39);
    qv::win::InjectMouseMove(back.x, back.y);
    Pump();
    const int backRow = grid.GetCellFromPt(CPoint(60, 100)).row;
    ASSERT_LT(backRow, 39);
    ASSERT_EQ(grid.GetSelectedCellRange().GetMaxRow(), backRow);
    const int scrolled = grid.GetScrollPos32(SB_VERT);
    qv::win::InjectMouseMove(below.x, below.y);
    Pump();
    grid.OnTimer(0x0201);
    ASSERT_EQ(grid.GetScrollPos32(SB_VERT), scrolled);
    ASSERT_EQ(grid.GetSelectedCellRange().GetMaxRow(), 39);
    qv::win::InjectMouseMove(back.x, back.y);
    Pump();
    EXPECT_EQ(grid.GetSelectedCellRange().GetMaxRow(), backRow);
    qv::win::InjectMouseButton(back.x, back.y, 1, false);
    Pump();
    EXPECT_EQ(grid.m_nTimerID, 0u);
}

TEST_F(GridInputTest, HoverOverACutOffTextShowsTheTipAndAClickOnItReachesTheCell)
{
    InputGrid grid(4, 4, 1, 1);
    Make(grid);
    grid.SetItemText(2, 2, "a text far too long for fifty pixels");
    grid.SetFocus();
    const POINT short_ = CellCentre(grid, 2, 1);
    qv::win::InjectMouseMove(short_.x, short_.y);
    Pump();
    EXPECT_FALSE(grid.m_TitleTip.IsWindowVisible());

    const POINT cut = CellCentre(grid, 2, 2);
    qv::win::InjectMouseMove(cut.x, cut.y);
    Pump();
    ASSERT_TRUE(grid.m_TitleTip.IsWindowVisible());
    CRect tip, cell;
    grid.m_TitleTip.GetWindowRect(&tip);
    ASSERT_TRUE(grid.GetCellRect(2, 2, &cell));
    grid.ClientToScreen(&cell);
    EXPECT_GT(tip.right, cell.right);

    // The press hides the tip and reaches the cell under it.
    now += 1000;
    qv::win::InjectMouseButton(cut.x, cut.y, 1, true);
    Pump();
    EXPECT_FALSE(grid.m_TitleTip.IsWindowVisible());
    EXPECT_EQ(grid.GetFocusCell(), CCellID(2, 2));
    // After the release the grid lets the capture go, and the move the system then sends finds
    // the pointer resting over the cut-off text: the tip is back, as on Windows (which is why
    // the tip turns a quick second press into a double click of the grid).
    Owner().heard.clear();
    qv::win::InjectMouseButton(cut.x, cut.y, 1, false);
    Pump();
    EXPECT_EQ(Heard_(), (std::vector<Heard>{N(LVN_ITEMCHANGED, 2, 2), N(NM_CLICK, 2, 2), Cmd(7)}));
    EXPECT_TRUE(grid.m_TitleTip.IsWindowVisible());
}

TEST_F(GridInputTest, ASecondPressOnTheFocusCellUnderItsTipEditsOnRelease)
{
    // With and without drag and drop: a press the tip hands on, with the pointer still, is no drag.
    for (const BOOL dragAndDrop : {FALSE, TRUE}) {
        InputGrid grid(4, 4, 1, 1);
        Make(grid);
        grid.EnableDragAndDrop(dragAndDrop);
        grid.SetItemText(2, 2, "a text far too long for fifty pixels");
        const POINT cut = CellCentre(grid, 2, 2);
        ClickCell(grid, 2, 2);
        ASSERT_EQ(grid.GetFocusCell(), CCellID(2, 2));
        ASSERT_TRUE(grid.m_TitleTip.IsWindowVisible()) << dragAndDrop;
        qv::win::InjectMouseMove(cut.x + 1, cut.y);  // over the tip, which keeps it
        Pump();
        ASSERT_TRUE(grid.m_TitleTip.IsWindowVisible());

        // The tip lets the capture go as it hides, and the system's move at the press point
        // comes after the press it hands on; the release, a moment later, starts the edit. (A
        // drag, were one started, would wait for the release: it is given one then.)
        bool released = false;
        Owner().onNotify = [&](UINT code) {
            if (code == LVN_BEGINDRAG && !std::exchange(released, true))
                qv::win::InjectMouseButton(cut.x + 1, cut.y, 1, false);
        };
        Owner().heard.clear();
        now += 1000;
        qv::win::InjectMouseButton(cut.x + 1, cut.y, 1, true);
        Pump();
        EXPECT_EQ(Heard_(), std::vector<Heard>{}) << dragAndDrop;
        if (!released)
            qv::win::InjectMouseButton(cut.x + 1, cut.y, 1, false);
        Pump();
        Owner().onNotify = nullptr;
        EXPECT_TRUE(grid.IsItemEditing(2, 2)) << dragAndDrop;
        EXPECT_EQ(Heard_(), (std::vector<Heard>{N(LVN_BEGINLABELEDITW, 2, 2), Cmd(7)})) << dragAndDrop;
        EXPECT_EQ(grid.m_MouseMode, 0);
        grid.EndEditing();
        Pump();
    }
}

TEST_F(GridInputTest, ImeCharacterStartsAnEditWithIt)
{
    InputGrid grid(4, 4, 1, 1);
    Make(grid);
    ClickCell(grid, 2, 2);
    EXPECT_EQ(grid.SendMessage(WM_IME_CHAR, 0x4E2D, 0), 0);
    Pump();
    ASSERT_TRUE(grid.IsItemEditing(2, 2));
    std::string text;
    grid.GetCell(2, 2)->GetEditWnd()->GetWindowText(text);
    EXPECT_EQ(text, "\xE4\xB8\xAD");
}

TEST_F(GridInputTest, APressReleasedOutsideTheGridEndsThere)
{
    InputGrid grid(4, 4, 1, 1);
    Make(grid, 300);
    ClickCell(grid, 2, 2);
    // A press on the focus cell's text waits for its release to start an edit; the release
    // happens beside the grid, and the next move over the grid (button up) ends the press.
    const POINT cell = CellCentre(grid, 2, 2);
    const POINT beside{100 + 450, 100 + 50};
    now += 1000;
    qv::win::InjectMouseButton(cell.x, cell.y, 1, true);
    qv::win::InjectMouseMove(beside.x, beside.y);
    qv::win::InjectMouseButton(beside.x, beside.y, 1, false);
    qv::win::InjectMouseMove(cell.x, cell.y);
    Pump();
    EXPECT_EQ(grid.m_MouseMode, 0);
    Owner().heard.clear();
    // A later stray release over the grid is no click, and nothing is being edited.
    qv::win::InjectMouseButton(cell.x, cell.y, 1, false);
    Pump();
    EXPECT_TRUE(Heard_().empty());
    EXPECT_FALSE(grid.IsItemEditing(2, 2));
}

TEST_F(GridInputTest, DragImageIsTheFocusCell)
{
    InputGrid grid(4, 4, 1, 1);
    Make(grid);
    EXPECT_EQ(grid.CreateDragImage(nullptr), nullptr) << "no focus cell";
    grid.SetFocusCell(2, 2);
    CPoint hot;
    std::unique_ptr<CImageList> image(grid.CreateDragImage(&hot));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->GetImageCount(), 1);
    CRect cell;
    ASSERT_TRUE(grid.GetCellRect(2, 2, &cell));
    EXPECT_EQ(hot, CPoint(cell.Width(), cell.Height()));
}
