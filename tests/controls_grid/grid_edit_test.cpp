// A cell's in-place editor: one editor per cell, a second Edit feeds it.

#include "controls/InPlaceEdit.h"
#include "grid_fixture.h"

TEST_F(GridTest, EditOpensOneEditorAndFeedsIt)
{
    TestGrid grid(2, 2);
    Attach(grid, 0, 0, 200, 100);
    CGridCellBase* cell = grid.GetCell(1, 1);
    cell->SetText("abc");
    CRect rect(50, 20, 99, 39);
    ASSERT_TRUE(cell->Edit(1, 1, rect, CPoint(0, 0), 8, VK_LBUTTON));
    EXPECT_TRUE(cell->IsEditing());
    CWnd* editor = cell->GetEditWnd();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->GetParent(), &grid);

    ASSERT_TRUE(cell->Edit(1, 1, rect, CPoint(0, 0), 8, 'x'));
    EXPECT_EQ(cell->GetEditWnd(), editor) << "no second editor";
    std::string text;
    editor->GetWindowText(text);
    EXPECT_EQ(text, "abcx");

    // Once the editor's window is gone the cell no longer hands it out.
    HWND hwnd = editor->GetSafeHwnd();
    ::DestroyWindow(hwnd);
    EXPECT_EQ(cell->GetEditWnd(), nullptr);
    cell->EndEdit();
}
