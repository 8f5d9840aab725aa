// Editing cells in place, the clipboard, and drag and drop of the grid.

#include <algorithm>
#include <numeric>

#include "controls/InPlaceEdit.h"
#include "fixture.h"
#include "platform/ctl/afxres.h"

namespace {
std::string EditorText(CGridCtrl& grid, int row, int col)
{
    CGridCellBase* cell = grid.GetCell(row, col);
    CWnd* editor = cell ? cell->GetEditWnd() : nullptr;
    std::string text;
    if (editor)
        editor->GetWindowText(text);
    return text;
}
int Count(UINT code)
{
    int n = 0;
    for (const Heard& h : Owner().heard)
        n += h.message == WM_NOTIFY && h.code == code;
    return n;
}
}  // namespace

TEST_F(GridInputTest, F2StartsAnEditKeepingArrowsInsideAndReturnCommitsIt)
{
    InputGrid grid(6, 5, 1, 1);
    Make(grid);
    ClickCell(grid, 2, 2);
    Key(VK_ESCAPE);
    EXPECT_FALSE(grid.IsItemEditing(2, 2)) << "Escape never starts an edit";

    Key(VK_F2);
    ASSERT_TRUE(grid.IsItemEditing(2, 2));
    EXPECT_EQ(Count(LVN_BEGINLABELEDITW), 1);
    auto* editor = dynamic_cast<CEdit*>(grid.GetCell(2, 2)->GetEditWnd());
    ASSERT_NE(editor, nullptr);
    int start = -1, end = -1;
    editor->GetSel(start, end);
    EXPECT_EQ(start, 4);
    EXPECT_EQ(end, 4);
    Key(VK_LEFT);  // a mouse or F2 start keeps the arrows in the box
    ASSERT_TRUE(grid.IsItemEditing(2, 2));
    qv::win::InjectText("x");
    Pump();
    EXPECT_EQ(EditorText(grid, 2, 2), "r2cx2");
    Key(VK_RETURN);
    EXPECT_FALSE(grid.IsItemEditing(2, 2));
    EXPECT_EQ(grid.GetItemText(2, 2), "r2cx2");
    EXPECT_TRUE(grid.GetModified(2, 2));
    EXPECT_EQ(Count(LVN_ENDLABELEDITW), 1);
    EXPECT_EQ(grid.GetFocusCell(), CCellID(2, 2));
}

TEST_F(GridInputTest, TypingStartsAnEditWithTheCharacterEvenWhenItLooksLikeAKey)
{
    InputGrid grid(6, 5, 1, 1);
    Make(grid);
    ClickCell(grid, 2, 2);
    qv::win::InjectText("$");  // '$' has the code of VK_HOME
    Pump();
    ASSERT_TRUE(grid.IsItemEditing(2, 2));
    EXPECT_EQ(EditorText(grid, 2, 2), "$");
    qv::win::InjectText("5");
    Pump();
    Key(VK_RETURN);
    EXPECT_EQ(grid.GetItemText(2, 2), "$5");
}

TEST_F(GridInputTest, EndingWithDownMovesOnAndEditsTheNextCell)
{
    InputGrid grid(6, 5, 1, 1);
    Make(grid);
    ClickCell(grid, 2, 2);
    qv::win::InjectText("q");
    Pump();
    Key(VK_DOWN);  // a typed start ends on the first arrow
    EXPECT_EQ(grid.GetItemText(2, 2), "q");
    EXPECT_EQ(grid.GetFocusCell(), CCellID(3, 2));
    ASSERT_TRUE(grid.IsItemEditing(3, 2));
    EXPECT_EQ(EditorText(grid, 3, 2), "r3c2");
    qv::win::InjectText("w");
    Pump();
    Key(VK_TAB);
    EXPECT_EQ(grid.GetItemText(3, 2), "w");
    EXPECT_TRUE(grid.IsItemEditing(3, 3));
    Key(VK_ESCAPE);
    EXPECT_FALSE(grid.IsItemEditing(3, 3));
    EXPECT_EQ(grid.GetItemText(3, 3), "r3c3");
}

TEST_F(GridInputTest, OwnerRefusalsLeaveTextAndModifiedFlagAlone)
{
    InputGrid grid(6, 5, 1, 1);
    Make(grid);
    ClickCell(grid, 2, 2);

    Owner().beginEditAnswer = -1;
    qv::win::InjectText("a");
    Pump();
    EXPECT_FALSE(grid.IsItemEditing(2, 2));

    Owner().beginEditAnswer = 0;
    Owner().endEditAnswer = -1;
    qv::win::InjectText("z");
    Pump();
    Key(VK_RETURN);
    EXPECT_EQ(grid.GetItemText(2, 2), "r2c2");
    EXPECT_FALSE(grid.GetModified(2, 2));
    EXPECT_FALSE(grid.GetModified());
    EXPECT_FALSE(grid.GetItemState(2, 2) & GRIDCELL_MODIFIED);
    // While deciding, the owner saw the new text in the cell.
    EXPECT_EQ(Owner().endEditTexts, std::vector<std::string>{"z"});

    // Paste and cut are refused the same way.
    SetClipboard("p");
    grid.OnEditPaste();
    grid.SetSelectedRange(2, 2, 2, 3);
    grid.OnEditCut();
    EXPECT_EQ(grid.GetItemText(2, 2), "r2c2");
    EXPECT_EQ(grid.GetItemText(2, 3), "r2c3");
    EXPECT_FALSE(grid.GetModified());
}

TEST_F(GridInputTest, CopyLeavesEmptyFieldsForUnselectedCellsAndNoneForHiddenOnes)
{
    InputGrid grid(6, 5, 1, 1);
    Make(grid);
    grid.SetSelectedRange(1, 1, 2, 3);
    grid.SetItemState(1, 2, grid.GetItemState(1, 2) & ~GRIDCELL_SELECTED);
    grid.OnEditCopy();
    EXPECT_EQ(ClipboardText(), "r1c1\t\tr1c3\r\nr2c1\tr2c2\tr2c3");

    grid.SetColumnWidth(2, 0);
    grid.SetRowHeight(1, 0);
    grid.OnEditCopy();
    EXPECT_EQ(ClipboardText(), "r2c1\tr2c3");

    // Nothing selected: Ctrl+C copies nothing and the clipboard keeps what it had.
    SetClipboard("keep");
    grid.SetSelectedRange(-1, -1, -1, -1);
    ClickCell(grid, 3, 3);
    grid.SetSelectedRange(-1, -1, -1, -1);
    KeyWith(VK_CONTROL, 'C');
    EXPECT_EQ(ClipboardText(), "keep");
}

TEST_F(GridInputTest, CopyKeepsNonAsciiText)
{
    InputGrid grid(3, 3, 1, 1);
    Make(grid);
    grid.SetItemText(1, 1, "日本");
    grid.SetItemText(1, 2, "é");
    grid.SetSelectedRange(1, 1, 1, 2);
    grid.OnEditCopy();
    EXPECT_EQ(ClipboardText(), "日本\té");
}

TEST_F(GridInputTest, PasteSplitsAtCommasTabsAndLinesAndSelectsWhatItFilled)
{
    InputGrid grid(6, 5, 1, 1);
    Make(grid);
    grid.SetFocusCell(2, 2);
    SetClipboard("a,b\r\nc\td");
    grid.OnEditPaste();
    EXPECT_EQ(grid.GetItemText(2, 2), "a");
    EXPECT_EQ(grid.GetItemText(2, 3), "b");
    EXPECT_EQ(grid.GetItemText(3, 2), "c");
    EXPECT_EQ(grid.GetItemText(3, 3), "d");
    EXPECT_EQ(grid.GetItemText(2, 4), "r2c4");
    EXPECT_EQ(grid.GetSelectedCellRange(), CCellRange(2, 2, 3, 3));
    EXPECT_TRUE(grid.GetModified(3, 3));
}

TEST_F(GridInputTest, PasteSkipsHiddenRowsAndColumnsAndIgnoresFieldsOutside)
{
    InputGrid grid(6, 5, 1, 1);
    Make(grid);
    grid.SetRowHeight(3, 0);
    grid.SetColumnWidth(3, 0);
    grid.SetFocusCell(2, 2);
    SetClipboard(" a , b \nc,d,e,f\n");
    grid.OnEditPaste();
    EXPECT_EQ(grid.GetItemText(2, 2), "a");
    EXPECT_EQ(grid.GetItemText(2, 4), "b");
    EXPECT_EQ(grid.GetItemText(3, 2), "r3c2");
    EXPECT_EQ(grid.GetItemText(4, 2), "c");
    EXPECT_EQ(grid.GetItemText(4, 4), "d");  // e and f fall outside

    grid.SetSelectedRange(-1, -1, -1, -1);
    grid.SetFocusCell(5, 4);
    SetClipboard("x,y\nz");
    grid.OnEditPaste();
    EXPECT_EQ(grid.GetItemText(5, 4), "x");
    EXPECT_EQ(grid.GetSelectedCellRange(), CCellRange(5, 4, 5, 4));
}

TEST_F(GridInputTest, PasteOfABlockWithoutTerminatorStopsAtItsEnd)
{
    InputGrid grid(3, 3, 1, 1);
    Make(grid);
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, 3);
    std::memcpy(GlobalLock(mem), "abc", 3);
    GlobalUnlock(mem);
    COleDataSource source;
    source.CacheGlobalData(CF_TEXT, mem);
    COleDataObject data;
    data.Attach(&source);
    EXPECT_TRUE(grid.PasteTextToGrid(CCellID(1, 1), &data, FALSE));
    EXPECT_EQ(grid.GetItemText(1, 1), "abc");
    EXPECT_EQ(grid.GetSelectedCount(), 0);
}

TEST_F(GridInputTest, CutCopiesThenClearsTheSelectedCells)
{
    InputGrid grid(6, 5, 1, 1);
    Make(grid);
    grid.SetSelectedRange(1, 1, 1, 2);
    grid.OnEditCut();
    EXPECT_EQ(ClipboardText(), "r1c1\tr1c2");
    EXPECT_EQ(grid.GetItemText(1, 1), "");
    EXPECT_EQ(grid.GetItemText(1, 2), "");
    EXPECT_TRUE(grid.IsEditCommandEnabled(ID_EDIT_COPY));

    grid.SetEditable(FALSE);
    grid.SetSelectedRange(2, 1, 2, 1);
    grid.OnEditCut();
    EXPECT_EQ(grid.GetItemText(2, 1), "r2c1");
    EXPECT_FALSE(grid.IsEditCommandEnabled(ID_EDIT_CUT));
}

TEST_F(GridInputTest, RowDropsMoveTheRowAfterTheTargetAndOntoItselfChangeNothing)
{
    for (auto [from, to] : {std::pair{2, 2}, std::pair{2, 4}, std::pair{4, 1}, std::pair{1, 5}, std::pair{5, 1}}) {
        InputGrid grid(6, 3, 1, 1);
        Make(grid);
        grid.EnableDragAndDrop(TRUE);
        for (int r = 1; r < 6; ++r)
            grid.SetRowHeight(r, 10 + r);
        std::vector<int> model{0, 1, 2, 3, 4, 5};
        if (from != to) {
            const int dest = from > to ? to + 1 : to;
            const int value = model[from];
            model.erase(model.begin() + from);
            model.insert(model.begin() + dest, value);
        }
        grid.m_CurRow = from;
        grid.m_LastDragOverCell = CCellID(to, 1);
        COleDataObject data;
        EXPECT_TRUE(grid.OnDrop(&data, DROPEFFECT_MOVE, CPoint(0, 0)));
        for (int r = 0; r < 6; ++r) {
            EXPECT_EQ(grid.GetItemText(r, 1), "r" + std::to_string(model[r]) + "c1") << from << "->" << to;
            EXPECT_EQ(grid.GetRowHeight(r), r == 0 ? 20 : 10 + model[r]) << from << "->" << to;
        }
        qv::win::ShutdownWindowing();
        ASSERT_TRUE(qv::win::InitWindowing());
        owner = CreateWindowEx(0, "GridInputOwner", "Owner title", WS_POPUP | WS_VISIBLE, 100, 100, 600, 400, nullptr,
                               nullptr, nullptr, nullptr);
    }
}

TEST_F(GridInputTest, DraggingTextOntoAnotherGridMovesItAndWithinOneCopiesIt)
{
    InputGrid grid(6, 5, 1, 1), other(4, 3, 1, 1);
    Make(grid, 300);
    Make(other, 180, 300, 9, 320);
    for (InputGrid* g : {&grid, &other}) {
        g->EnableDragAndDrop(TRUE);
        g->SetDragRowMode(FALSE);
        // Sizing the window registered its target.
        ASSERT_TRUE(g->m_DropTarget.IsRegistered());
        EXPECT_EQ(COleDropTarget::FindTarget(g->GetSafeHwnd()), &g->m_DropTarget);
    }
    EXPECT_FALSE(grid.m_DropTarget.Register(&grid)) << "registered once";
    auto drag = [&](POINT from, POINT over, POINT to) {
        now += 1000;
        qv::win::InjectMouseButton(from.x, from.y, 1, true);
        qv::win::InjectMouseMove(over.x, over.y);
        // Moves are coalesced: a key between them keeps the one over the source grid, which
        // starts the drag whose loop then takes the rest.
        qv::win::InjectKey(VK_SHIFT, false);
        qv::win::InjectMouseMove(to.x, to.y);
        qv::win::InjectMouseButton(to.x, to.y, 1, false);
        Pump();
    };

    ClickCell(grid, 1, 1);
    ASSERT_TRUE(grid.IsCellSelected(1, 1));
    Owner().heard.clear();
    drag(CellCentre(grid, 1, 1), CellCentre(grid, 2, 2), CellCentre(other, 2, 2));
    EXPECT_EQ(Count(LVN_BEGINDRAG), 1);
    EXPECT_EQ(other.GetItemText(2, 2), "r1c1");
    EXPECT_EQ(grid.GetItemText(1, 1), "") << "a move takes the text away";
    EXPECT_EQ(grid.GetItemText(2, 2), "r2c2");
    EXPECT_FALSE(grid.GetItemState(2, 2) & GRIDCELL_DROPHILITED);
    EXPECT_FALSE(other.GetItemState(2, 2) & GRIDCELL_DROPHILITED);
    EXPECT_EQ(grid.m_MouseMode, 0);

    // Within one grid the drop replaces the selection by the pasted cell, so nothing is cut.
    ClickCell(grid, 3, 1);
    drag(CellCentre(grid, 3, 1), CellCentre(grid, 4, 2), CellCentre(grid, 4, 3));
    EXPECT_EQ(grid.GetItemText(4, 3), "r3c1");
    EXPECT_EQ(grid.GetItemText(3, 1), "r3c1");

    // Escape ends a drag without a drop.
    ClickCell(grid, 5, 1);
    now += 1000;
    const POINT a = CellCentre(grid, 5, 1), b = CellCentre(other, 3, 1);
    qv::win::InjectMouseButton(a.x, a.y, 1, true);
    qv::win::InjectMouseMove(a.x + 5, a.y);
    qv::win::InjectKey(VK_SHIFT, false);
    qv::win::InjectMouseMove(b.x, b.y);
    qv::win::InjectKey(VK_ESCAPE, true);
    qv::win::InjectKey(VK_ESCAPE, false);
    qv::win::InjectMouseButton(b.x, b.y, 1, false);
    Pump();
    EXPECT_EQ(other.GetItemText(3, 1), "r3c1");
    EXPECT_EQ(grid.GetItemText(5, 1), "r5c1");
}

TEST_F(GridInputTest, DropTargetForwardsOnlyForItsGrid)
{
    InputGrid grid(6, 5, 1, 1);
    Make(grid);
    InputGrid other(2, 2);
    CGridDropTarget target;
    ASSERT_TRUE(target.Register(&grid));
    EXPECT_EQ(target.OnDragScroll(&grid, MK_CONTROL, CPoint(0, 0)), DROPEFFECT_COPY);
    EXPECT_EQ(target.OnDragScroll(&grid, 0, CPoint(0, 0)), DROPEFFECT_MOVE);
    EXPECT_EQ(target.OnDragScroll(CWnd::FromHandle(owner), 0, CPoint(0, 0)), DROPEFFECT_NONE);

    grid.EnableDragAndDrop(TRUE);
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, 2);
    std::memcpy(GlobalLock(mem), "t", 2);
    GlobalUnlock(mem);
    COleDataSource source;
    source.CacheGlobalData(CF_TEXT, mem);
    COleDataObject data;
    data.Attach(&source);
    const POINT p = CellCentre(grid, 2, 2);
    CPoint client = p;
    grid.ScreenToClient(&client);
    EXPECT_EQ(target.OnDragEnter(CWnd::FromHandle(owner), &data, 0, client), DROPEFFECT_NONE);
    EXPECT_EQ(target.OnDragEnter(&grid, &data, MK_CONTROL, client), DROPEFFECT_COPY);
    EXPECT_TRUE(grid.GetItemState(2, 2) & GRIDCELL_DROPHILITED);
    target.OnDragLeave(&grid);
    EXPECT_FALSE(grid.GetItemState(2, 2) & GRIDCELL_DROPHILITED);
    target.Revoke();
    EXPECT_FALSE(target.IsRegistered());
    EXPECT_TRUE(target.Register(&grid));
}
