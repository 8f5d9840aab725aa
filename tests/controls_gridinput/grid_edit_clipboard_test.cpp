// Editing cells in place, the clipboard, and drag and drop of the grid.

#include <algorithm>
#include <cstring>
#include <map>
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

TEST_F(GridInputTest, AnEditTakesTheGridsNewFontAndNeverDrawsWithTheDeletedOne)
{
    InputGrid grid(6, 5, 1, 1);
    Make(grid);
    ClickCell(grid, 2, 2);
    qv::win::InjectText("a");
    Pump();
    ASSERT_TRUE(grid.IsItemEditing(2, 2));
    CWnd* editor = grid.GetCell(2, 2)->GetEditWnd();
    ASSERT_NE(editor, nullptr);
    // The grid's font belongs to its default cell, which deletes it when the grid gets another:
    // the box holds a font of its own.
    EXPECT_NE(editor->GetFont(), grid.GetFont());

    LOGFONT big{};
    big.lfHeight = -40;
    big.lfWeight = FW_NORMAL;
    std::strcpy(big.lfFaceName, "DejaVu Sans");
    CFont font;
    ASSERT_TRUE(font.CreateFontIndirect(&big));
    grid.SetFont(font);
    Pump();  // the box paints
    qv::win::InjectText("bcdefgh");
    Pump();
    EXPECT_NE(editor->GetFont(), grid.GetFont());
    // The box grew by the text measured in the new font (plus two blanks), inside the grid.
    CRect box, client;
    editor->GetWindowRect(&box);
    grid.ScreenToClient(&box);
    grid.GetClientRect(&client);
    CClientDC dc(&grid);
    CFont* old = dc.SelectObject(&font);
    const int wide = dc.GetTextExtent("abcdefgh  ").cx;
    dc.SelectObject(old);
    EXPECT_EQ(box.Width(), std::min(wide, client.right - box.left));
    EXPECT_GT(box.Width(), 100);
    Key(VK_RETURN);
    EXPECT_EQ(grid.GetItemText(2, 2), "abcdefgh");
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

TEST_F(GridInputTest, CutTakesAwayOnlyWhatItCopiedSoHiddenCellsKeepTheirText)
{
    InputGrid grid(6, 5, 1, 1);
    Make(grid);
    ClickCell(grid, 1, 1);
    grid.SetSelectedRange(1, 1, 3, 1);
    grid.SetRowHeight(2, 0);
    Owner().heard.clear();
    KeyWith(VK_CONTROL, 'X');
    EXPECT_EQ(ClipboardText(), "r1c1\r\nr3c1");
    EXPECT_EQ(grid.GetItemText(1, 1), "");
    EXPECT_EQ(grid.GetItemText(2, 1), "r2c1") << "hidden: not on the clipboard, so not cut";
    EXPECT_EQ(grid.GetItemText(3, 1), "");
    for (const Heard& h : Owner().heard)
        EXPECT_FALSE(h.row == 2 && h.col == 1) << "the hidden cell is not asked about: " << h;

    // Select all and cut, with a hidden column: that column stays whole.
    InputGrid wide(4, 4, 1, 1);
    Make(wide, 170, 100, 10, 420);  // not 8, the in-place editor's id
    wide.SetColumnWidth(2, 0);
    ClickCell(wide, 1, 1);
    KeyWith(VK_CONTROL, 'A');
    KeyWith(VK_CONTROL, 'X');
    EXPECT_EQ(ClipboardText(), "r1c1\tr1c3\r\nr2c1\tr2c3\r\nr3c1\tr3c3");
    for (int r = 1; r < 4; ++r) {
        EXPECT_EQ(wide.GetItemText(r, 1), "") << r;
        EXPECT_EQ(wide.GetItemText(r, 2), "r" + std::to_string(r) + "c2") << r;
        EXPECT_EQ(wide.GetItemText(r, 3), "") << r;
    }

    // Delete clears the text of every selected cell, shown or not (it copies nothing).
    wide.SelectAllCells();
    Key(VK_DELETE);
    EXPECT_EQ(wide.GetItemText(2, 2), "");
}

TEST_F(GridInputTest, RowDropsMoveTheRowAfterTheTargetAndOntoItselfChangeNothing)
{
    InputGrid grid(6, 3, 1, 1);
    Make(grid);
    grid.EnableDragAndDrop(TRUE);  // row dragging is on by default
    for (int r = 1; r < 6; ++r)
        grid.SetRowHeight(r, 20 + r);
    std::vector<int> model{0, 1, 2, 3, 4, 5};
    for (auto [from, to] : {std::pair{2, 2}, std::pair{2, 4}, std::pair{4, 1}, std::pair{1, 5}, std::pair{5, 1}}) {
        if (from != to) {
            const int dest = from > to ? to + 1 : to;
            const int value = model[from];
            model.erase(model.begin() + from);
            model.insert(model.begin() + dest, value);
        }
        ClickCell(grid, from, 2);  // a click on the focus cell would open an editor
        ClickCell(grid, from, 1);
        Drag(CellCentre(grid, from, 1), CellCentre(grid, from, 2), CellCentre(grid, to, 1));
        for (int r = 0; r < 6; ++r) {
            EXPECT_EQ(grid.GetItemText(r, 1), "r" + std::to_string(model[r]) + "c1") << from << "->" << to;
            EXPECT_EQ(grid.GetRowHeight(r), r == 0 ? 20 : 20 + model[r]) << from << "->" << to;
        }
        EXPECT_EQ(grid.m_MouseMode, 0);
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
    ClickCell(grid, 1, 1);
    ASSERT_TRUE(grid.IsCellSelected(1, 1));
    Owner().heard.clear();
    Drag(CellCentre(grid, 1, 1), CellCentre(grid, 2, 2), CellCentre(other, 2, 2));
    EXPECT_EQ(Count(LVN_BEGINDRAG), 1);
    EXPECT_EQ(other.GetItemText(2, 2), "r1c1");
    EXPECT_EQ(grid.GetItemText(1, 1), "") << "a move takes the text away";
    EXPECT_EQ(grid.GetItemText(2, 2), "r2c2");
    EXPECT_FALSE(grid.GetItemState(2, 2) & GRIDCELL_DROPHILITED);
    EXPECT_FALSE(other.GetItemState(2, 2) & GRIDCELL_DROPHILITED);
    EXPECT_EQ(grid.m_MouseMode, 0);

    // Within one grid the drop replaces the selection by the pasted cell, so nothing is cut.
    ClickCell(grid, 3, 1);
    Drag(CellCentre(grid, 3, 1), CellCentre(grid, 4, 2), CellCentre(grid, 4, 3));
    EXPECT_EQ(grid.GetItemText(4, 3), "r3c1");
    EXPECT_EQ(grid.GetItemText(3, 1), "r3c1");

    // Escape ends a drag without a drop.
    ClickCell(grid, 5, 1);
    CancelledDrag(CellCentre(grid, 5, 1), CellCentre(other, 3, 1));
    EXPECT_EQ(other.GetItemText(3, 1), "r3c1");
    EXPECT_EQ(grid.GetItemText(5, 1), "r5c1");

    // A block with a hidden row: the hidden cell's text is not carried, and the move leaves it.
    grid.SetSelectedRange(2, 4, 4, 4);
    grid.SetRowHeight(3, 0);
    Drag(CellCentre(grid, 2, 4), CellCentre(grid, 4, 4), CellCentre(other, 1, 1));
    EXPECT_EQ(other.GetItemText(1, 1), "r2c4");
    EXPECT_EQ(other.GetItemText(2, 1), "r4c4");
    EXPECT_EQ(grid.GetItemText(2, 4), "");
    EXPECT_EQ(grid.GetItemText(3, 4), "r3c4") << "hidden: not carried, so not taken away";
    EXPECT_EQ(grid.GetItemText(4, 4), "");
}

// Each cell of the grid still holds "r<row>c<col>", except those listed.
static void ExpectUntouched(CGridCtrl& grid, const std::map<std::pair<int, int>, std::string>& except = {})
{
    for (int r = 0; r < grid.GetRowCount(); ++r)
        for (int c = 0; c < grid.GetColumnCount(); ++c) {
            const auto it = except.find({r, c});
            EXPECT_EQ(grid.GetItemText(r, c),
                      it != except.end() ? it->second : "r" + std::to_string(r) + "c" + std::to_string(c))
                << r << "," << c;
        }
}

TEST_F(GridInputTest, ADropFromAnotherGridIsTextAndIsCutFromTheSourceOnlyWhenTaken)
{
    InputGrid grid(6, 5, 1, 1), other(5, 4, 1, 1);
    Make(grid, 300);
    Make(other, 250, 300, 9, 320);
    for (InputGrid* g : {&grid, &other})
        g->EnableDragAndDrop(TRUE);  // row dragging left on in both
    other.SetAllowColumnReorder(TRUE);

    // The target's last press was on its row 1, and it takes no text.
    ClickCell(other, 1, 1);
    other.SetEditable(FALSE);
    ClickCell(grid, 1, 1);
    Drag(CellCentre(grid, 1, 1), CellCentre(grid, 2, 2), CellCentre(other, 3, 2));
    ExpectUntouched(other);
    ExpectUntouched(grid);
    EXPECT_EQ(grid.m_MouseMode, 0);

    // Taking text, it takes the dragged text into the cell and the source gives it up.
    other.SetEditable(TRUE);
    ClickCell(grid, 2, 1);
    Drag(CellCentre(grid, 2, 1), CellCentre(grid, 3, 2), CellCentre(other, 3, 2));
    ExpectUntouched(other, {{{3, 2}, "r2c1"}});
    ExpectUntouched(grid, {{{2, 1}, ""}});

    // Where only part of a block lands (on the last cell, or over a read-only cell), the move
    // becomes a copy: the source keeps every text.
    grid.SetSelectedRange(3, 1, 4, 2);
    Drag(CellCentre(grid, 3, 1), CellCentre(grid, 4, 2), CellCentre(other, 4, 3));
    ExpectUntouched(other, {{{3, 2}, "r2c1"}, {{4, 3}, "r3c1"}});
    ExpectUntouched(grid, {{{2, 1}, ""}});
    other.SetItemState(2, 2, other.GetItemState(2, 2) | GRIDCELL_READONLY);
    grid.SetSelectedRange(3, 1, 4, 2);
    Drag(CellCentre(grid, 3, 1), CellCentre(grid, 4, 2), CellCentre(other, 1, 1));
    const std::map<std::pair<int, int>, std::string> taken{
        {{3, 2}, "r2c1"}, {{4, 3}, "r3c1"}, {{1, 1}, "r3c1"}, {{1, 2}, "r3c2"}, {{2, 1}, "r4c1"}};
    ExpectUntouched(other, taken);
    ExpectUntouched(grid, {{{2, 1}, ""}});
    other.SetItemState(2, 2, other.GetItemState(2, 2) & ~GRIDCELL_READONLY);

    // A column drag begun on the target's header and cancelled leaves nothing behind: text
    // dropped on a header later is no column move, and the source keeps it.
    CancelledDrag(CellCentre(other, 0, 2), CellCentre(other, 0, 1));
    ClickCell(grid, 3, 1);
    Drag(CellCentre(grid, 3, 1), CellCentre(grid, 4, 2), CellCentre(other, 0, 1));
    ExpectUntouched(other, taken);
    ExpectUntouched(grid, {{{2, 1}, ""}});
    EXPECT_EQ(other.m_CurCol, -1);

    // Its own column drag still moves its columns.
    Drag(CellCentre(other, 0, 3), CellCentre(other, 0, 2), CellCentre(other, 0, 1));
    EXPECT_EQ(other.GetItemText(0, 1), "r0c3");
    EXPECT_EQ(other.GetItemText(0, 2), "r0c1");
    ExpectUntouched(grid, {{{2, 1}, ""}});
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

TEST_F(GridInputTest, InVirtualModeNothingIsEditedIntoTheSharedCell)
{
    InputGrid grid;
    AttachGridWindow(grid, owner, 0, 0, 400, 300, 7);
    ASSERT_FALSE(HasFatalFailure());
    grid.SetVirtualMode(TRUE);
    grid.SetCallbackFunc([](GridDispInfo* info, LPARAM) {
        info->item.strText = "v" + std::to_string(info->item.row) + std::to_string(info->item.col);
        return TRUE;
    }, 0);
    grid.SetRowCount(5);
    grid.SetColumnCount(3);
    grid.SetFixedRowCount(1);
    grid.SetFixedColumnCount(1);
    for (int r = 0; r < 5; ++r)
        grid.SetRowHeight(r, 20);
    for (int c = 0; c < 3; ++c)
        grid.SetColumnWidth(c, 50);
    grid.EnableDragAndDrop(TRUE);
    Pump();

    // F2, a typed character and a click on the focus cell open no editor, and no address
    // looks edited.
    ClickCell(grid, 2, 1);
    Owner().heard.clear();
    Key(VK_F2);
    qv::win::InjectText("x");
    Pump();
    ClickCell(grid, 2, 1);
    EXPECT_EQ(::GetDlgItem(grid.GetSafeHwnd(), 8), nullptr);
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_FALSE(grid.IsItemEditing(r, c)) << r << "," << c;
    EXPECT_EQ(Count(LVN_BEGINLABELEDITW), 0);

    // Paste, cut and delete leave the owner's texts alone and ask it to accept nothing.
    SetClipboard("pasted");
    EXPECT_FALSE(grid.IsEditCommandEnabled(ID_EDIT_PASTE));
    KeyWith(VK_CONTROL, 'V');
    KeyWith(VK_CONTROL, 'X');
    Key(VK_DELETE);
    EXPECT_EQ(Count(LVN_BEGINLABELEDITW) + Count(LVN_ENDLABELEDITW), 0);
    EXPECT_EQ(grid.GetItemText(2, 1), "v21");
}
