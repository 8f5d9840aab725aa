// Cells on their own: default resolution, copying, measuring.

#include <malloc.h>

#include <cstring>

#include "grid_fixture.h"

TEST_F(GridTest, CellsResolveDefaultsAndCopyThem)
{
    TestGrid grid(3, 3, 1, 0);
    CGridCellBase* cell = grid.GetCell(2, 2);
    ASSERT_NE(cell, nullptr);
    CGridDefaultCell* def = grid.GetDefaultCell(FALSE, FALSE);
    EXPECT_STREQ(cell->GetText(), "");
    EXPECT_EQ(cell->GetTextClr(), CLR_DEFAULT) << "colours stay default through the getters";
    cell->SetFormat(0xFFFFFFFF);
    EXPECT_EQ(cell->GetFormat(), def->GetFormat());
    EXPECT_EQ(cell->GetMargin(), def->GetMargin());
    EXPECT_EQ(cell->GetFont(), def->GetFont());
    EXPECT_EQ(grid.GetCell(0, 1)->GetDefaultCell(), grid.GetDefaultCell(TRUE, FALSE));

    cell->SetText("abc");
    cell->SetData(99);
    *cell = *cell;
    EXPECT_STREQ(cell->GetText(), "abc");

    CGridCell copy;
    copy = *cell;
    EXPECT_STREQ(copy.GetText(), "abc");
    EXPECT_EQ(copy.GetData(), 99);
    EXPECT_EQ(copy.GetBackClr(), CLR_DEFAULT);
    EXPECT_EQ(copy.GetFormat(), def->GetFormat()) << "copied resolved";
    EXPECT_TRUE(copy.IsDefaultFont());

    // A default cell left at "default" answers instead of asking itself for ever.
    CGridDefaultCell lone;
    lone.SetGrid(&grid);
    grid.GetDefaultCell(FALSE, FALSE)->SetFormat(0xFFFFFFFF);
    EXPECT_EQ(grid.GetDefaultCell(FALSE, FALSE)->GetFormat(), 0u);
    grid.GetDefaultCell(FALSE, FALSE)->SetMargin(0xFFFFFFFF);
    EXPECT_EQ(grid.GetDefaultCell(FALSE, FALSE)->GetMargin(), 0u);
    EXPECT_TRUE(lone.GetState() & GRIDCELL_READONLY);
    lone.SetState(GRIDCELL_SELECTED);
    EXPECT_FALSE(lone.IsSelected());
}

TEST_F(GridTest, MeasuringWithAndWithoutAGrid)
{
    CGridCell orphan;
    orphan.SetText("text");
    EXPECT_EQ(orphan.GetTextExtent(nullptr, nullptr), CSize(0, 0));
    EXPECT_EQ(orphan.GetTextExtent("text", nullptr), CSize(0, 0));

    TestGrid grid(2, 2);
    const CGridDefaultCell* def = grid.GetDefaultCell(FALSE, FALSE);
    EXPECT_GT(def->GetMargin(), 0u);
    EXPECT_GT(def->GetHeight(), 0);
    EXPECT_EQ(grid.GetCell(1, 1)->GetTextExtent(nullptr, nullptr), CSize(def->GetWidth(), def->GetHeight()));

    // Cells with fonts of their own keep their own sizes, measured alternately.
    HDC screen = GetDC(nullptr);
    CDC* dc = CDC::FromHandle(screen);
    LOGFONT small = *def->GetFont(), big = *def->GetFont();
    small.lfHeight = -10;
    big.lfHeight = -30;
    CGridCellBase* a = grid.GetCell(1, 0);
    CGridCellBase* b = grid.GetCell(1, 1);
    a->SetFont(&small);
    b->SetFont(&big);
    const CSize sa = a->GetTextExtent("Wide text", dc);
    const CSize sb = b->GetTextExtent("Wide text", dc);
    EXPECT_LT(sa.cx, sb.cx);
    EXPECT_EQ(a->GetTextExtent("Wide text", dc), sa);
    EXPECT_EQ(b->GetTextExtent("Wide text", dc), sb);

    // Vertical text swaps the extent and adds the margins again.
    LOGFONT vertical = big;
    vertical.lfEscapement = 900;
    b->SetFont(&vertical);
    const CSize sv = b->GetTextExtent("Wide text", dc);
    EXPECT_GT(sv.cy, sv.cx);
    ReleaseDC(nullptr, screen);
}

TEST_F(GridTest, ACellsFontFollowsItsChangesAndLivesNoLongerThanItNeeds)
{
    TestGrid grid(2, 2);
    CGridCellBase* cell = grid.GetCell(1, 1);
    LOGFONT lf = *grid.GetDefaultCell(FALSE, FALSE)->GetFont();
    auto heapInUse = [] { return static_cast<long long>(mallinfo2().uordblks); };

    // A cell whose font changes many times over (a zoom, say) keeps one font, the latest.
    lf.lfHeight = -11;
    cell->SetFont(&lf);
    ASSERT_NE(cell->GetFontObject(), nullptr);
    const long long before = heapInUse();
    for (int i = 0; i < 20000; ++i) {
        lf.lfWidth = i % 97;
        lf.lfHeight = -(8 + i % 89);
        lf.lfWeight = 100 * (1 + i % 9) + i / (97 * 89);
        cell->SetFont(&lf);
        CFont* font = cell->GetFontObject();
        ASSERT_NE(font, nullptr);
        LOGFONT made{};
        font->GetLogFont(&made);
        ASSERT_EQ(made.lfHeight, lf.lfHeight);
        ASSERT_EQ(made.lfWeight, lf.lfWeight);
    }
    EXPECT_LT(heapInUse() - before, 256 * 1024) << "fonts of earlier sizes were kept";

    // Back to the grid's font: the cell draws with the default cell's.
    cell->SetFont(nullptr);
    EXPECT_EQ(cell->GetFontObject(), grid.GetDefaultCell(FALSE, FALSE)->GetFontObject());
}
