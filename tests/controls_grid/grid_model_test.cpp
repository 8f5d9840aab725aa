// The grid's storage against a plain model kept in the test, and the data-model edge cases.

#include <map>
#include <random>
#include <set>

#include "grid_fixture.h"
#include "platform/win/afxexcept.h"

namespace {

struct Model {
    int rows = 0, cols = 0, fixedRows = 0, fixedCols = 0;
    std::map<std::pair<int, int>, std::string> text;
    std::set<std::pair<int, int>> selected;

    void Trim()
    {
        std::erase_if(text, [&](const auto& e) { return e.first.first >= rows || e.first.second >= cols; });
        std::erase_if(selected, [&](const auto& e) { return e.first >= rows || e.second >= cols; });
    }
};

void Compare(TestGrid& grid, const Model& m)
{
    ASSERT_EQ(grid.GetRowCount(), m.rows);
    ASSERT_EQ(grid.GetColumnCount(), m.cols);
    ASSERT_EQ(grid.GetFixedRowCount(), m.fixedRows);
    ASSERT_EQ(grid.GetFixedColumnCount(), m.fixedCols);
    for (int r = 0; r < m.rows; ++r)
        for (int c = 0; c < m.cols; ++c) {
            auto it = m.text.find({r, c});
            ASSERT_EQ(grid.GetItemText(r, c), it == m.text.end() ? "" : it->second) << r << "," << c;
            const UINT state = grid.GetItemState(r, c);
            UINT fixed = 0;
            if (r < m.fixedRows)
                fixed |= GRIDCELL_FIXED | GRIDCELL_FIXEDROW;
            if (c < m.fixedCols)
                fixed |= GRIDCELL_FIXED | GRIDCELL_FIXEDCOL;
            ASSERT_EQ(state & 0x70, fixed) << r << "," << c;
            ASSERT_EQ((state & GRIDCELL_SELECTED) != 0, m.selected.count({r, c}) != 0) << r << "," << c;
        }
}

}  // namespace

TEST_F(GridTest, RandomEditsMatchAPlainModel)
{
    std::mt19937 rng(1234);
    TestGrid grid;
    Model m;
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    for (int step = 0; step < 600; ++step) {
        switch (pick(8)) {
        case 0:
            m.rows = pick(9);
            m.fixedRows = std::min(m.fixedRows, m.rows);
            ASSERT_TRUE(grid.SetRowCount(m.rows));
            m.Trim();
            break;
        case 1:
            m.cols = pick(9);
            m.fixedCols = std::min(m.fixedCols, m.cols);
            ASSERT_TRUE(grid.SetColumnCount(m.cols));
            m.Trim();
            break;
        case 2: {
            const int n = pick(4);
            ASSERT_TRUE(grid.SetFixedRowCount(n));
            if (n != m.fixedRows)
                m.selected.clear();
            m.fixedRows = n;
            m.rows = std::max(m.rows, n);
            break;
        }
        case 3: {
            const int n = pick(4);
            ASSERT_TRUE(grid.SetFixedColumnCount(n));
            if (n != m.fixedCols)
                m.selected.clear();
            m.fixedCols = n;
            m.cols = std::max(m.cols, n);
            break;
        }
        case 4:
        case 5:
            if (m.rows && m.cols) {
                const int r = pick(m.rows), c = pick(m.cols);
                GridItem item;
                item.row = r;
                item.col = c;
                item.mask = GRIDITEM_TEXT;
                item.strText = "t" + std::to_string(step);
                ASSERT_TRUE(grid.SetItem(&item));
                m.text[{r, c}] = item.strText;
            }
            break;
        case 6:
            if (m.rows && m.cols) {
                const int r = pick(m.rows), c = pick(m.cols);
                const bool select = pick(2) == 0;
                const UINT state = grid.GetItemState(r, c);
                ASSERT_TRUE(grid.SetItemState(r, c, select ? state | GRIDCELL_SELECTED : state & ~GRIDCELL_SELECTED));
                if (select)
                    m.selected.insert({r, c});
                else
                    m.selected.erase({r, c});
            }
            break;
        case 7:
            if (pick(10) == 0) {
                ASSERT_TRUE(grid.DeleteAllItems());
                m = Model{};
            }
            break;
        }
        Compare(grid, m);
        if (HasFatalFailure())
            return;
    }
}

TEST_F(GridTest, CountsAndTheModifiedFlag)
{
    TestGrid grid(5, 4, 2, 1);
    EXPECT_EQ(grid.GetItemState(0, 0) & 0x70u, GRIDCELL_FIXED | GRIDCELL_FIXEDROW | GRIDCELL_FIXEDCOL);
    EXPECT_EQ(grid.GetItemState(3, 0) & 0x70u, GRIDCELL_FIXED | GRIDCELL_FIXEDCOL);
    EXPECT_EQ(grid.GetItemState(1, 2) & 0x70u, GRIDCELL_FIXED | GRIDCELL_FIXEDROW);
    // New cells take their format from the default cell of their kind.
    EXPECT_EQ(grid.GetCell(3, 3)->GetFormat(), grid.GetDefaultCell(FALSE, FALSE)->GetFormat());

    grid.SetModified(FALSE);
    EXPECT_TRUE(grid.SetRowCount(5));
    EXPECT_FALSE(grid.GetModified()) << "the same count changes nothing";

    EXPECT_TRUE(grid.SetItemText(3, 2, "x"));
    EXPECT_TRUE(grid.GetModified());
    EXPECT_TRUE(grid.GetItemState(3, 2) & GRIDCELL_MODIFIED);
    grid.SetModified(FALSE);
    EXPECT_FALSE(grid.GetItemState(3, 2) & GRIDCELL_MODIFIED) << "clearing the grid's flag clears every cell";

    // Marking an address without a cell changes the flag only.
    grid.SetModified(TRUE, 40, 40);
    EXPECT_TRUE(grid.GetModified());

    EXPECT_TRUE(grid.SetRowCount(1));
    EXPECT_EQ(grid.GetFixedRowCount(), 1);
    EXPECT_TRUE(grid.SetColumnCount(0));
    EXPECT_EQ(grid.GetFixedColumnCount(), 0);
    EXPECT_FALSE(grid.SetRowCount(-1));

    // Unfixing rows gives their cells back the colours of ordinary cells.
    TestGrid colours(4, 4, 2, 0);
    colours.SetItemBkColour(1, 1, RGB(1, 2, 3));
    EXPECT_TRUE(colours.SetFixedRowCount(1));
    EXPECT_EQ(colours.GetItemBkColour(1, 1), CLR_DEFAULT);
    EXPECT_EQ(colours.GetItemState(1, 1) & 0x70u, 0u);
}

TEST_F(GridTest, SizesFollowTheColumnOrder)
{
    TestGrid grid(3, 4);
    for (int c = 0; c < 4; ++c)
        grid.SetColumnWidth(c, 10 * (c + 1));
    EXPECT_EQ(grid.GetColumnWidth(4), -1);
    EXPECT_EQ(grid.GetRowHeight(-1), -1);
    EXPECT_FALSE(grid.SetColumnWidth(1, -5));
    EXPECT_EQ(grid.GetVirtualWidth(), 100);

    grid.SetItemText(1, 3, "last");
    grid.SetItemText(1, 0, "first");
    grid.m_arColOrder = {3, 2, 1, 0};
    EXPECT_EQ(grid.GetColumnWidth(0), 40);
    EXPECT_EQ(grid.GetItemText(1, 0), "last");

    // Shrinking with a permuted order frees exactly the removed cells (the sanitizer watches)
    // and brings the order back to the identity.
    EXPECT_TRUE(grid.SetColumnCount(2));
    EXPECT_EQ(grid.m_arColOrder, (std::vector<int>{0, 1}));
    EXPECT_EQ(grid.GetItemText(1, 0), "first");
    EXPECT_EQ(grid.GetColumnWidth(1), 20);
    grid.SetItemText(2, 1, "still there");
    EXPECT_EQ(grid.GetItemText(2, 1), "still there");
}

TEST_F(GridTest, SelectionKeysKeepLargeRowsApart)
{
    TestGrid grid(65537, 1);
    EXPECT_TRUE(grid.SetItemState(65536, 0, GRIDCELL_SELECTED));
    EXPECT_TRUE(grid.GetItemState(65536, 0) & GRIDCELL_SELECTED);
    EXPECT_FALSE(grid.GetItemState(0, 0) & GRIDCELL_SELECTED);

    // Deselecting works whatever the selection switch says, and a destroyed cell leaves no
    // selection behind.
    TestGrid small(3, 3);
    small.SetItemState(2, 2, GRIDCELL_SELECTED);
    EXPECT_TRUE(small.SetRowCount(2));
    EXPECT_TRUE(small.SetRowCount(3));
    EXPECT_FALSE(small.GetItemState(2, 2) & GRIDCELL_SELECTED);
}

TEST_F(GridTest, DeleteAllItemsKeepsTheCurrentCell)
{
    TestGrid grid(4, 4, 1, 1);
    grid.m_idCurrentCell = CCellID(2, 2);
    grid.m_idFocusCell = CCellID(2, 3);
    EXPECT_TRUE(grid.DeleteAllItems());
    EXPECT_EQ(grid.GetCurrentCell(), CCellID(2, 2));
    EXPECT_EQ(grid.GetFocusCell(), CCellID());
    EXPECT_EQ(grid.GetRowCount() + grid.GetColumnCount() + grid.GetFixedRowCount() + grid.GetFixedColumnCount(), 0);
    EXPECT_EQ(grid.NotifyOwner(0, 0, NM_CLICK), 0) << "no window, no owner";
}

TEST_F(GridTest, VirtualModeAsksTheOwnerThroughTheOrders)
{
    TestGrid grid;
    Attach(grid, 10, 10, 300, 200);
    grid.SetVirtualMode(TRUE);
    grid.SetRowCount(5);
    grid.SetColumnCount(3);
    grid.SetFixedRowCount(1);

    GridItem item;
    item.row = 2;
    item.col = 1;
    item.mask = GRIDITEM_TEXT;
    item.strText = "no";
    EXPECT_FALSE(grid.SetItem(&item));
    EXPECT_FALSE(grid.SetItemText(2, 1, "no"));
    EXPECT_FALSE(grid.SetItemBkColour(2, 1, RGB(1, 1, 1)));
    EXPECT_EQ(grid.GetCell(1, 1), grid.GetCell(4, 2)) << "one shared cell";

    grid.m_arRowOrder = {0, 4, 3, 2, 1};
    grid.m_arColOrder = {2, 1, 0};
    Notices().clear();
    EXPECT_EQ(grid.GetItemText(1, 0), "r4c2");
    ASSERT_EQ(Notices().size(), 1u);
    EXPECT_EQ(Notices()[0].code, LVN_GETDISPINFOW);

    // The selection map supplies the selected bit; fixed and focus bits come from the grid.
    grid.m_idFocusCell = CCellID(2, 2);
    grid.SetItemState(2, 2, GRIDCELL_SELECTED);
    const DWORD state = grid.GetCell(2, 2)->GetState();
    EXPECT_EQ(state & (GRIDCELL_SELECTED | GRIDCELL_FOCUSED), GRIDCELL_SELECTED | GRIDCELL_FOCUSED);
    EXPECT_EQ(grid.GetCell(0, 0)->GetState() & 0x70u, GRIDCELL_FIXED | GRIDCELL_FIXEDROW);

    // A callback, when set, answers instead of the owner.
    grid.SetCallbackFunc([](GridDispInfo* info, LPARAM arg) {
        info->item.strText = std::to_string(arg);
        return TRUE;
    }, 42);
    Notices().clear();
    EXPECT_EQ(grid.GetItemText(3, 1), "42");
    EXPECT_TRUE(Notices().empty());

    grid.AdjustRowOrder(2, -1);
    EXPECT_EQ(grid.m_arRowOrder, (std::vector<int>{0, 3, 2, 1}));
}

TEST_F(GridTest, AFailedWindowClassRegistrationThrowsTheResourceException)
{
    {
        TestGrid registered;  // both classes exist now
    }
    ASSERT_TRUE(UnregisterClass(GRIDCTRL_CLASSNAME, nullptr));
    qv::win::FailClassRegistrationForTesting(true);
    EXPECT_THROW(TestGrid grid, CResourceException);
    ASSERT_TRUE(UnregisterClass("ZTitleTip", nullptr));
    EXPECT_THROW(CTitleTip tip, CResourceException);
    qv::win::FailClassRegistrationForTesting(false);

    // Registered again by the next grid, which works as before.
    TestGrid grid(2, 2);
    Attach(grid, 0, 0, 100, 60);
    WNDCLASS wc{};
    EXPECT_TRUE(GetClassInfo(nullptr, GRIDCTRL_CLASSNAME, &wc));
    EXPECT_EQ(wc.style, static_cast<UINT>(CS_DBLCLKS | CS_VREDRAW | CS_HREDRAW));
}
