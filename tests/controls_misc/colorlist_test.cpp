#include <memory>

#include "controls/ColorListCtrl.h"
#include "tests/platform_win/fixture.h"

namespace {

constexpr COLORREF kSelected = 0xFF9933, kWhite = 0xFFFFFF, kDisabled = 0xD7D7D7;

class ColorListTest : public WinTest {
protected:
    void SetUp() override
    {
        WinTest::SetUp();
        list = std::make_unique<CColorListCtrl>();  // registers the list class for the template
        DialogTemplate t;
        t.cx = 400;
        t.cy = 200;
        t.style = WS_POPUP | WS_VISIBLE;
        t.items = {{"SysListView32", "", 10, 0, 0, 360, 150, WS_VISIBLE | WS_TABSTOP, 0},
                   {"Recorder", "", 11, 0, 160, 50, 20, WS_VISIBLE | WS_TABSTOP, 0}};
        ASSERT_TRUE(dlg.CreateIndirect(&t));
        ASSERT_TRUE(list->SubclassDlgItem(10, &dlg));
        list->InsertColumn(0, "Name", LVCFMT_LEFT, 60);
        list->InsertColumn(1, "Time", LVCFMT_LEFT, 60);
        list->InsertColumn(2, "Kinds", LVCFMT_LEFT, 110);
        list->InsertColumn(3, "Size", LVCFMT_LEFT, 60);
        for (int i = 0; i < 3; ++i) {
            list->InsertItem(i, "WWWW");
            list->SetItemText(i, 1, "WWWW");
        }
        ColorListRow flagged;
        flagged.flags[1] = flagged.flags[3] = flagged.flags[8] = 1;
        flagged.flags[12] = 7;
        ColorListRow grey;
        grey.grey = 1;
        grey.flags[2] = 1;
        list->m_RowData = {flagged, grey};  // the third row has no data
        list->m_RowMarks = {0, 0};
        other = GetDlgItem(dlg, 11);
        SetFocus(other);
        Pump();
    }

    void TearDown() override
    {
        list.reset();
        dlg.DestroyWindow();
        WinTest::TearDown();
    }

    CRect Row(int i) const
    {
        CRect r;
        list->GetItemRect(i, &r, LVIR_BOUNDS);
        return r;
    }

    COLORREF At(int row, int x) const { return qv::win::ReadPixel(*list, x, Row(row).top + 1); }

    int Count(int row, int x0, int x1, COLORREF color) const
    {
        CRect r = Row(row);
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = x0; x < x1; ++x)
                n += qv::win::ReadPixel(*list, x, y) == color;
        return n;
    }

    CDialog dlg;
    std::unique_ptr<CColorListCtrl> list;
    HWND other = nullptr;
};

}  // namespace

TEST(ColorListColours, TablesAnswerOutOfRangeNumbersWithTheirDefaults)
{
    EXPECT_EQ(CColorListCtrl::CategoryColor(-1), 0xAAAAAAu);
    EXPECT_EQ(CColorListCtrl::CategoryColor(5), CColorListCtrl::CategoryColor(6));
    EXPECT_EQ(CColorListCtrl::CategoryColor(13), 0u);
    EXPECT_EQ(CColorListCtrl::IndexColor(4), GetSysColor(COLOR_INACTIVECAPTION));
    EXPECT_EQ(CColorListCtrl::IndexColor(24), 0xA4A0A0u);
    EXPECT_EQ(CColorListCtrl::IndexColor(25), 0x008000u);
    ColorListRow row;
    row.flags[0] = 9;
    EXPECT_EQ(row.Flag(13), 9u);
    EXPECT_EQ(row.Flag(-1), 9u);
}

TEST_F(ColorListTest, AttachingMakesAnOwnerDrawnReportList)
{
    EXPECT_EQ(list->GetStyle() & (LVS_REPORT | LVS_OWNERDRAWFIXED), LVS_REPORT | LVS_OWNERDRAWFIXED);
}

TEST_F(ColorListTest, SegmentStripShowsTheSetCategoriesOfRowsWithData)
{
    // Column 2 spans 120..230: segments 10 wide (110 / 11), segment k from 120 + 10k, 9 wide,
    // from the row's top + 4 to its bottom - 3.
    const CRect r = Row(0);
    auto pixel = [&](int x, int y) { return qv::win::ReadPixel(*list, x, y); };
    const int mid = (r.top + 4 + r.bottom - 3) / 2;
    EXPECT_EQ(pixel(130 + 4, mid), CColorListCtrl::CategoryColor(1));
    EXPECT_EQ(pixel(140 + 4, mid), kWhite);
    EXPECT_EQ(pixel(150 + 4, mid), CColorListCtrl::CategoryColor(3));
    EXPECT_EQ(pixel(200 + 4, mid), CColorListCtrl::CategoryColor(8));
    EXPECT_EQ(pixel(210 + 4, mid), kWhite);  // segments stop at 8; flag 12 is not shown
    EXPECT_EQ(pixel(130 + 9, mid), kWhite);  // gap between segments
    EXPECT_EQ(pixel(130 + 4, r.top + 3), kWhite);
    EXPECT_EQ(pixel(130 + 4, r.top + 4), CColorListCtrl::CategoryColor(1));
    EXPECT_EQ(pixel(130 + 4, r.bottom - 4), CColorListCtrl::CategoryColor(1));
    EXPECT_EQ(pixel(130 + 4, r.bottom - 3), kWhite);

    // Text colours: the first set flag, grey for grey rows, category 0 without data.
    EXPECT_GT(Count(0, 0, 120, CColorListCtrl::CategoryColor(1)), 0);
    EXPECT_GT(Count(1, 0, 120, CColorListCtrl::CategoryColor(-1)), 0);
    EXPECT_EQ(Count(1, 0, 120, CColorListCtrl::CategoryColor(2)), 0);
    EXPECT_GT(Count(2, 0, 120, CColorListCtrl::CategoryColor(0)), 0);
    EXPECT_EQ(Count(2, 120, 230, kWhite), Row(2).Height() * 110);
}

TEST_F(ColorListTest, LooksFollowSelectionFocusAndMarks)
{
    list->SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
    Pump();
    EXPECT_EQ(At(1, 280), kWhite);  // selected, focus elsewhere, not shown always

    list->SetFocus();
    Pump();
    EXPECT_EQ(At(1, 280), kSelected);
    EXPECT_EQ(At(0, 280), kWhite);

    // The focused row's own look is allowed only with the flag; without it the row is plain.
    list->SetItemState(0, LVIS_FOCUSED, LVIS_FOCUSED);
    Pump();
    EXPECT_EQ(At(0, 280), kWhite);
    list->m_bFocusLook = TRUE;
    list->Invalidate();
    Pump();
    EXPECT_EQ(At(0, 280), kSelected);

    // A marked row without the flag takes the selected fill.
    list->m_bFocusLook = FALSE;
    list->m_RowMarks[1] = 0;
    list->m_RowMarks[0] = 1;
    list->SetItemState(1, 0, LVIS_SELECTED);
    Pump();
    EXPECT_EQ(At(0, 280), kSelected);
    EXPECT_EQ(At(1, 280), kWhite);

    // Shown-always selection with the focus elsewhere: the inactive caption colour.
    list->m_RowMarks[0] = 0;
    list->ModifyStyle(0, LVS_SHOWSELALWAYS);
    list->SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
    SetFocus(other);
    Pump();
    EXPECT_EQ(At(1, 280), CColorListCtrl::IndexColor(4));
}

TEST_F(ColorListTest, DisabledListGreysOnlyTheColumnsItDraws)
{
    list->EnableWindow(FALSE);
    Pump();
    EXPECT_EQ(At(0, 280), kDisabled);
    EXPECT_EQ(At(2, 30), kDisabled);

    list->m_nColumns = 1;
    list->m_PtrList.push_back(std::make_unique<DWORD>(5));
    list->Invalidate();
    Pump();
    EXPECT_EQ(At(0, 30), kDisabled);
    EXPECT_NE(At(0, 280), kDisabled);
}

TEST_F(ColorListTest, ClickSelectsAndFocusesARowAndNullDrawIsIgnored)
{
    POINT p{10, Row(2).top + 2};
    ClientToScreen(*list, &p);
    Click(p.x, p.y);
    Pump();
    EXPECT_EQ(list->GetItemState(2, LVIS_SELECTED | LVIS_FOCUSED), LVIS_SELECTED | LVIS_FOCUSED);
    EXPECT_EQ(GetFocus(), list->m_hWnd);
    EXPECT_EQ(list->GetItemText(2, 1), "WWWW");
    list->DrawItem(nullptr);
}
