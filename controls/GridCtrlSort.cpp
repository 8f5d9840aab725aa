// Sorting the grid's rows by one column.

#include <algorithm>
#include <cstring>

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

    if (m_bVirtualMode) {
        // Only the owner can compare rows it keeps itself; without its function nothing moves.
        if (!m_pfnVirtualCompare || static_cast<int>(m_arRowOrder.size()) < m_nRows)
            return FALSE;
        PVIRTUALCOMPARE compare = m_pfnVirtualCompare;
        auto first = m_arRowOrder.begin() + m_nFixedRows;
        if (bAscending)
            std::stable_sort(first, m_arRowOrder.end(), [compare](int a, int b) { return compare(a, b); });
        else
            std::stable_sort(first, m_arRowOrder.end(), [compare](int a, int b) { return compare(b, a); });
        return TRUE;
    }
    if (!pfnCompare)
        return FALSE;

    // The focus bit belongs to the focus position, not to the cell that moves away from it.
    const CCellID focus = m_idFocusCell;
    const bool focusValid = IsValid(focus);
    if (focusValid)
        SetItemState(focus.row, focus.col, GetItemState(focus.row, focus.col) & ~GRIDCELL_FOCUSED);

    auto cellAt = [&](int row) { return reinterpret_cast<LPARAM>(GetCell(row, nCol)); };
    auto swapRows = [&](int a, int b) {
        std::swap(m_RowData[a], m_RowData[b]);
        std::swap(m_arRowHeights[a], m_arRowHeights[b]);
        for (int col = 0; col < m_nCols; ++col) {
            if (CGridCellBase* cell = GetCell(a, col))
                cell->SetCoords(a, col);
            if (CGridCellBase* cell = GetCell(b, col))
                cell->SetCoords(b, col);
        }
    };

    // Quicksort on [lo0, hi0]; the smaller part recursively, the larger in the loop, so the
    // depth stays logarithmic.
    auto sort = [&](auto& self, int lo0, int hi0) -> void {
        while (lo0 < hi0) {
            const LPARAM pivot = cellAt((lo0 + hi0) / 2);  // the cell object, which moves with its row
            int lo = lo0, hi = hi0;
            while (lo <= hi) {
                if (bAscending) {
                    while (lo < hi0 && pfnCompare(cellAt(lo), pivot, data) < 0)
                        ++lo;
                    while (hi > lo0 && pfnCompare(cellAt(hi), pivot, data) > 0)
                        --hi;
                } else {
                    while (lo < hi0 && pfnCompare(cellAt(lo), pivot, data) > 0)
                        ++lo;
                    while (hi > lo0 && pfnCompare(cellAt(hi), pivot, data) < 0)
                        --hi;
                }
                if (lo <= hi) {
                    if (pfnCompare(cellAt(lo), cellAt(hi), data) != 0)
                        swapRows(lo, hi);
                    ++lo;
                    --hi;
                }
            }
            if (hi - lo0 < hi0 - lo) {
                if (lo0 < hi)
                    self(self, lo0, hi);
                lo0 = lo;
            } else {
                if (lo < hi0)
                    self(self, lo, hi0);
                hi0 = hi;
            }
        }
    };
    sort(sort, low, high);

    if (focusValid && IsValid(focus))
        SetItemState(focus.row, focus.col, GetItemState(focus.row, focus.col) | GRIDCELL_FOCUSED);
    return TRUE;
}
