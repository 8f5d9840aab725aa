// Sorting the grid's rows by one column.

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "controls/GridCtrl.h"

namespace {

// Decodes one code point of UTF-8 at s[i] (advancing i); malformed bytes stand for themselves.
unsigned NextCodePoint(const unsigned char* s, size_t n, size_t& i)
{
    const unsigned c = s[i];
    const int extra = c >= 0xF8 ? 0 : c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (extra == 0 || i + extra >= n) {
        ++i;
        return c;
    }
    unsigned cp = c & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        if ((s[i + k] & 0xC0) != 0x80) {
            ++i;
            return c;
        }
        cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    i += 1 + extra;
    return cp;
}

// The UTF-16 code units of a code point (one or two).
int Units(unsigned cp, unsigned out[2])
{
    if (cp >= 0x10000 && cp < 0x110000) {
        cp -= 0x10000;
        out[0] = 0xD800 + (cp >> 10);
        out[1] = 0xDC00 + (cp & 0x3FF);
        return 2;
    }
    out[0] = cp;
    return 1;
}

// Ordinal comparison in UTF-16 code-unit order (as the texts' UTF-16 forms compare).
int CompareUtf16Order(const char* a, const char* b)
{
    const auto* sa = reinterpret_cast<const unsigned char*>(a);
    const auto* sb = reinterpret_cast<const unsigned char*>(b);
    const size_t na = std::strlen(a), nb = std::strlen(b);
    size_t ia = 0, ib = 0;
    unsigned ua[2], ub[2];
    int ka = 0, kb = 0, pa = 0, pb = 0;
    for (;;) {
        if (pa == ka) {
            if (ia >= na)
                ka = 0;
            else
                ka = Units(NextCodePoint(sa, na, ia), ua);
            pa = 0;
        }
        if (pb == kb) {
            if (ib >= nb)
                kb = 0;
            else
                kb = Units(NextCodePoint(sb, nb, ib), ub);
            pb = 0;
        }
        if (ka == 0 || kb == 0)
            return (ka == 0 ? 0 : 1) - (kb == 0 ? 0 : 1);
        if (ua[pa] != ub[pb])
            return ua[pa] < ub[pb] ? -1 : 1;
        ++pa;
        ++pb;
    }
}

// The order of items 0..count-1 sorted by before(a, b), by a merge sort: items that compare equal
// keep their order, the time stays n log n whatever the order of the items, and a compare
// function that is no consistent order still gives every item exactly once (every access is
// bounded).
template <typename Before>
std::vector<int> MergeOrder(int count, Before before)
{
    std::vector<int> order(static_cast<size_t>(count)), buffer(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        order[static_cast<size_t>(i)] = i;
    for (int width = 1; width < count; width *= 2) {
        for (int left = 0; left < count; left += 2 * width) {
            const int mid = std::min(left + width, count), right = std::min(left + 2 * width, count);
            int i = left, j = mid, k = left;
            while (i < mid && j < right)
                buffer[static_cast<size_t>(k++)] =
                    before(order[static_cast<size_t>(j)], order[static_cast<size_t>(i)]) ? order[static_cast<size_t>(j++)]
                                                                                         : order[static_cast<size_t>(i++)];
            while (i < mid)
                buffer[static_cast<size_t>(k++)] = order[static_cast<size_t>(i++)];
            while (j < right)
                buffer[static_cast<size_t>(k++)] = order[static_cast<size_t>(j++)];
        }
        order.swap(buffer);
    }
    return order;
}

}  // namespace

int CGridCtrl::CompareCellText(LPARAM lParam1, LPARAM lParam2, LPARAM)
{
    const auto* cell1 = reinterpret_cast<const CGridCellBase*>(lParam1);
    const auto* cell2 = reinterpret_cast<const CGridCellBase*>(lParam2);
    if (!cell1 || !cell2)
        return 0;
    return CompareUtf16Order(cell1->GetText(), cell2->GetText());
}

void CGridCtrl::SetSortColumn(int nCol)
{
    const bool window = ::IsWindow(m_hWnd) != FALSE;
    if (m_nSortColumn >= 0 && window)
        InvalidateCell(0, m_nSortColumn);
    m_nSortColumn = nCol;
    if (nCol >= 0 && window)
        InvalidateCell(0, nCol);
}

BOOL CGridCtrl::SortItems(int nCol, BOOL bAscending, LPARAM data)
{
    return SortItems(m_pfnCompare ? m_pfnCompare : CompareCellText, nCol, bAscending, data);
}

BOOL CGridCtrl::SortItems(PFNLVCOMPARE pfnCompare, int nCol, BOOL bAscending, LPARAM data)
{
    SetSortColumn(nCol);
    m_bAscending = bAscending;
    ResetSelectedRange();
    SetFocusCell(-1, -1);
    return SortItems(pfnCompare, nCol, bAscending, data, m_nFixedRows, -1);
}

BOOL CGridCtrl::SortItems(PFNLVCOMPARE pfnCompare, int nCol, BOOL bAscending, LPARAM data, int low, int high)
{
    if (nCol < 0 || nCol >= m_nCols)
        return FALSE;
    if (high == -1)
        high = m_nRows - 1;
    if (high <= low)
        return FALSE;
    if (low < 0 || high >= m_nRows)
        return FALSE;

    const int count = high - low + 1;
    if (m_bVirtualMode) {
        // Only the owner can compare rows it keeps itself; without its function nothing moves.
        if (!m_pfnVirtualCompare || static_cast<int>(m_arRowOrder.size()) < m_nRows ||
            nCol >= static_cast<int>(m_arColOrder.size()))
            return FALSE;
        // The owner's function is told which grid and which of its own columns it is sorting.
        CGridCtrl* const previousGrid = s_pVirtualSortGrid;
        const int previousColumn = s_nVirtualSortColumn;
        s_pVirtualSortGrid = this;
        s_nVirtualSortColumn = m_arColOrder[static_cast<size_t>(nCol)];
        const PVIRTUALCOMPARE compare = m_pfnVirtualCompare;
        const std::vector<int> rows(m_arRowOrder.begin() + low, m_arRowOrder.begin() + high + 1);
        const std::vector<int> order = MergeOrder(count, [&](int a, int b) {
            const int first = rows[static_cast<size_t>(a)], second = rows[static_cast<size_t>(b)];
            return bAscending ? compare(first, second) : compare(second, first);
        });
        for (int i = 0; i < count; ++i)
            m_arRowOrder[static_cast<size_t>(low + i)] = rows[static_cast<size_t>(order[static_cast<size_t>(i)])];
        s_pVirtualSortGrid = previousGrid;
        s_nVirtualSortColumn = previousColumn;
        return TRUE;
    }
    if (!pfnCompare)
        return FALSE;

    // The focus bit belongs to the focus position, not to the cell that moves away from it.
    const CCellID focus = m_idFocusCell;
    const bool focusValid = IsValid(focus);
    if (focusValid)
        SetItemState(focus.row, focus.col, GetItemState(focus.row, focus.col) & ~GRIDCELL_FOCUSED);

    // Rows move whole (cells and height), ordered by their cells in column nCol.
    std::vector<LPARAM> keys(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        keys[static_cast<size_t>(i)] = reinterpret_cast<LPARAM>(GetCell(low + i, nCol));
    const std::vector<int> order = MergeOrder(count, [&](int a, int b) {
        const int c = pfnCompare(keys[static_cast<size_t>(a)], keys[static_cast<size_t>(b)], data);
        return bAscending ? c < 0 : c > 0;
    });

    std::vector<std::unique_ptr<GRID_ROW>> rows(static_cast<size_t>(count));
    std::vector<UINT> heights(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        rows[static_cast<size_t>(i)] = std::move(m_RowData[static_cast<size_t>(low + i)]);
        heights[static_cast<size_t>(i)] = m_arRowHeights[static_cast<size_t>(low + i)];
    }
    for (int i = 0; i < count; ++i) {
        const int from = order[static_cast<size_t>(i)];
        m_RowData[static_cast<size_t>(low + i)] = std::move(rows[static_cast<size_t>(from)]);
        m_arRowHeights[static_cast<size_t>(low + i)] = heights[static_cast<size_t>(from)];
        if (from != i)
            for (int col = 0; col < m_nCols; ++col)
                if (CGridCellBase* cell = GetCell(low + i, col))
                    cell->SetCoords(low + i, col);
    }

    if (focusValid && IsValid(focus))
        SetItemState(focus.row, focus.col, GetItemState(focus.row, focus.col) | GRIDCELL_FOCUSED);
    return TRUE;
}
