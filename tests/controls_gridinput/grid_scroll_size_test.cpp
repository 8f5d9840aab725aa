// What scrolling, sizing and destroying the grid do to its editor, title tip, drop target,
// clipboard source and selection.

#include "fixture.h"

namespace {
int Count(UINT code)
{
    int n = 0;
    for (const Heard& h : Owner().heard)
        n += h.message == WM_NOTIFY && h.code == code;
    return n;
}
}  // namespace

TEST_F(GridInputTest, ScrollingEitherWayEndsTheEditKeepingItsTextAndHidesTheTip)
{
    InputGrid grid(20, 12, 1, 1);
    Make(grid, 300, 150);
    for (UINT message : {WM_VSCROLL, WM_HSCROLL}) {
        SCOPED_TRACE(message == WM_VSCROLL ? "vertical" : "horizontal");
        Owner().heard.clear();
        grid.SendMessage(WM_VSCROLL, SB_TOP, 0);
        grid.SendMessage(WM_HSCROLL, SB_LEFT, 0);
        ClickCell(grid, 2, 2);
        Key(VK_F2);
        ASSERT_TRUE(grid.IsItemEditing(2, 2));
        qv::win::InjectText("x");
        Pump();
        grid.SendMessage(message, message == WM_VSCROLL ? SB_LINEDOWN : SB_LINERIGHT, 0);
        Pump();
        EXPECT_FALSE(grid.IsItemEditing(2, 2));
        EXPECT_EQ(grid.GetItemText(2, 2), message == WM_VSCROLL ? "r2c2x" : "r2c2xx");
        EXPECT_EQ(Count(LVN_ENDLABELEDITW), 1);
        EXPECT_EQ(grid.GetScrollPos32(message == WM_VSCROLL ? SB_VERT : SB_HORZ), message == WM_VSCROLL ? 20 : 50);
    }

    grid.SendMessage(WM_VSCROLL, SB_TOP, 0);
    grid.SendMessage(WM_HSCROLL, SB_LEFT, 0);
    grid.SetItemText(2, 1, "a text far too long for fifty pixels");
    grid.SetFocus();
    for (UINT message : {WM_VSCROLL, WM_HSCROLL}) {
        const POINT away = CellCentre(grid, 3, 3), cut = CellCentre(grid, 2, 1);
        qv::win::InjectMouseMove(away.x, away.y);
        Pump();
        qv::win::InjectMouseMove(cut.x, cut.y);
        Pump();
        ASSERT_TRUE(grid.m_TitleTip.IsWindowVisible());
        grid.SendMessage(message, SB_ENDSCROLL, 0);
        EXPECT_FALSE(grid.m_TitleTip.IsWindowVisible());
        EXPECT_NE(::GetCapture(), grid.m_TitleTip.GetSafeHwnd()) << "the hidden tip gives the mouse back";
    }
}

TEST_F(GridInputTest, AnEditEndedByDownBelowTheViewScrollsAndGoesOnEditing)
{
    InputGrid grid(20, 5, 1, 1);
    Make(grid, 300, 150);
    CRect client;
    grid.GetClientRect(client);
    int last = 1;  // the last row shown whole
    CRect rc;
    while (grid.GetCellRect(last + 1, 2, &rc) && rc.bottom < client.bottom)
        ++last;
    ClickCell(grid, last, 2);
    qv::win::InjectText("q");
    Pump();
    Key(VK_DOWN);
    EXPECT_EQ(grid.GetItemText(last, 2), "q");
    EXPECT_EQ(grid.GetFocusCell(), CCellID(last + 1, 2));
    EXPECT_GT(grid.GetScrollPos32(SB_VERT), 0);
    ASSERT_TRUE(grid.IsItemEditing(last + 1, 2)) << "the scroll must not end the edit it makes room for";
    Key(VK_ESCAPE);
    EXPECT_FALSE(grid.IsItemEditing(last + 1, 2));
}

TEST_F(GridInputTest, ADropReachesAGridThatWasOnlyCreatedAndSized)
{
    InputGrid source(6, 5, 1, 1);
    Make(source, 300);
    source.EnableDragAndDrop(TRUE);

    InputGrid target(4, 3, 1, 1);
    ASSERT_TRUE(target.Create(GRIDCTRL_CLASSNAME, "", WS_VISIBLE, CRect(320, 0, 500, 300), CWnd::FromHandle(owner), 9));
    for (int r = 0; r < target.GetRowCount(); ++r)
        target.SetRowHeight(r, 20);
    for (int c = 0; c < target.GetColumnCount(); ++c)
        target.SetColumnWidth(c, 50);
    target.EnableDragAndDrop(TRUE);
    target.SetDragRowMode(FALSE);
    Pump();
    EXPECT_EQ(COleDropTarget::FindTarget(target.GetSafeHwnd()), &target.m_DropTarget);

    ClickCell(source, 1, 1);
    const POINT from = CellCentre(source, 1, 1), over = CellCentre(source, 2, 2), to = CellCentre(target, 2, 2);
    now += 1000;
    qv::win::InjectMouseButton(from.x, from.y, 1, true);
    qv::win::InjectMouseMove(over.x, over.y);
    qv::win::InjectKey(VK_SHIFT, false);  // keeps the move over the source from being coalesced
    qv::win::InjectMouseMove(to.x, to.y);
    qv::win::InjectMouseButton(to.x, to.y, 1, false);
    Pump();
    EXPECT_EQ(target.GetItemText(2, 2), "r1c1");
}

TEST_F(GridInputTest, DestroyingTheGridClosesItsTipAndFlushesItsClipboardSource)
{
    HWND tip = nullptr;
    {
        InputGrid grid(4, 4, 1, 1);
        Make(grid);
        grid.SetItemText(2, 2, "a text far too long for fifty pixels");
        grid.SetFocus();
        const POINT cut = CellCentre(grid, 2, 2);
        qv::win::InjectMouseMove(cut.x, cut.y);
        Pump();
        ASSERT_TRUE(grid.m_TitleTip.IsWindowVisible());
        tip = grid.m_TitleTip.GetSafeHwnd();

        ClickCell(grid, 1, 1);
        KeyWith(VK_CONTROL, 'C');
        ASSERT_NE(COleDataSource::GetClipboardOwner(), nullptr);
    }
    EXPECT_FALSE(::IsWindow(tip));
    EXPECT_EQ(COleDataSource::GetClipboardOwner(), nullptr);
    EXPECT_EQ(ClipboardText(), "r1c1") << "the text stays on the clipboard";
}

TEST_F(GridInputTest, EveryWayOfClearingTheSelectionLeavesNoSelectedCellBehind)
{
    InputGrid grid(6, 5, 1, 1);
    Make(grid);
    auto selectedBits = [&] {
        int n = 0;
        for (int r = 0; r < grid.GetRowCount(); ++r)
            for (int c = 0; c < grid.GetColumnCount(); ++c)
                n += (grid.GetItemState(r, c) & GRIDCELL_SELECTED) != 0;
        return n;
    };

    grid.SetSelectedRange(1, 1, 3, 3);
    ASSERT_EQ(grid.GetSelectedCount(), 9);
    grid.SetFixedRowCount(2);
    EXPECT_EQ(grid.GetSelectedCount(), 0);
    EXPECT_EQ(selectedBits(), 0);

    grid.SetSelectedRange(2, 1, 4, 2);
    ASSERT_EQ(grid.GetSelectedCount(), 6);
    grid.SetFixedColumnCount(2);
    EXPECT_EQ(grid.GetSelectedCount(), 0);
    EXPECT_EQ(selectedBits(), 0);

    grid.SetSelectedRange(2, 2, 4, 4);
    grid.EnableSelection(FALSE);
    EXPECT_EQ(grid.GetSelectedCount(), 0);
    EXPECT_EQ(selectedBits(), 0);
    grid.EnableSelection(TRUE);

    // In virtual mode no cell is destroyed, so nothing else takes a key out of the map; one put
    // there while selection is off must still go with the cells.
    InputGrid virt;
    AttachGridWindow(virt, owner, 0, 0, 400, 300, 8);
    ASSERT_FALSE(HasFatalFailure());
    virt.SetVirtualMode(TRUE);
    virt.SetRowCount(5);
    virt.SetColumnCount(5);
    virt.EnableSelection(FALSE);
    virt.SetItemState(3, 3, GRIDCELL_SELECTED);
    ASSERT_EQ(virt.GetSelectedCount(), 1);
    virt.DeleteAllItems();
    EXPECT_EQ(virt.GetSelectedCount(), 0);
    virt.SetRowCount(5);
    virt.SetColumnCount(5);
    virt.EnableSelection(TRUE);
    EXPECT_FALSE(virt.IsCellSelected(3, 3));

    // Nor when its counts shrink: Ctrl+C copies what is left, and what grows back comes back
    // unselected.
    virt.SetCallbackFunc([](GridDispInfo* info, LPARAM) {
        info->item.strText = "v" + std::to_string(info->item.row) + std::to_string(info->item.col);
        return TRUE;
    }, 0);
    virt.SetFocus();
    virt.SetFocusCell(1, 1);  // keys need a focus cell
    virt.SetSelectedRange(1, 1, 4, 3);
    virt.SetRowCount(3);
    KeyWith(VK_CONTROL, 'C');
    EXPECT_EQ(ClipboardText(), "v11\tv12\tv13\r\nv21\tv22\tv23");
    virt.SetColumnCount(3);
    KeyWith(VK_CONTROL, 'C');
    EXPECT_EQ(ClipboardText(), "v11\tv12\r\nv21\tv22");
    virt.SetRowCount(5);
    virt.SetColumnCount(5);
    EXPECT_EQ(virt.GetSelectedCount(), 4);
    EXPECT_FALSE(virt.IsCellSelected(3, 1));
    EXPECT_FALSE(virt.IsCellSelected(1, 3));
}
