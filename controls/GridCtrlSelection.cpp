// Focus cell, current cell and the selection of the grid.

#include <algorithm>

#include "controls/GridCtrl.h"

CCellID CGridCtrl::SetFocusCell(CCellID cell)
{
    if (cell == m_idFocusCell)
        return m_idFocusCell;
    if (cell.row == -1 || cell.col == -1)
        return m_idFocusCell;

    const CCellID old = m_idFocusCell;
    cell.row = std::max(cell.row, m_nFixedRows);
    cell.col = std::max(cell.col, m_nFixedCols);
    m_idFocusCell = cell;

    if (IsValid(old)) {
        SetItemState(old.row, old.col, GetItemState(old.row, old.col) & ~GRIDCELL_FOCUSED);
        RedrawCell(old);
        if (m_bTrackFocusCell && old.col != cell.col)
            for (int row = 0; row < m_nFixedRows; ++row)
                RedrawCell(row, old.col);
        if (m_bTrackFocusCell && old.row != cell.row)
            for (int col = 0; col < m_nFixedCols; ++col)
                RedrawCell(old.row, col);
    }
    if (IsValid(cell)) {
        SetItemState(cell.row, cell.col, GetItemState(cell.row, cell.col) | GRIDCELL_FOCUSED);
        RedrawCell(cell);
        if (m_bTrackFocusCell && old.col != cell.col)
            for (int row = 0; row < m_nFixedRows; ++row)
                RedrawCell(row, cell.col);
        if (m_bTrackFocusCell && old.row != cell.row)
            for (int col = 0; col < m_nFixedCols; ++col)
                RedrawCell(cell.row, col);
    }
    return old;
}

CCellID CGridCtrl::SetCurrentCell(int nRow, int nCol)
{
    CCellID cell(nRow, nCol);
    if (cell == m_idCurrentCell || nRow == -1 || nCol == -1)
        return m_idCurrentCell;
    const CCellID old = m_idCurrentCell;
    cell.row = std::max(cell.row, m_nFixedRows);
    cell.col = std::max(cell.col, m_nFixedCols);
    m_idCurrentCell = cell;
    if (IsValid(old))
        RedrawCell(old);
    if (IsValid(cell))
        RedrawCell(cell);
    return old;
}

void CGridCtrl::EnableSelection(BOOL bEnable)
{
    ResetSelectedRange();
    m_bEnableSelection = bEnable;
    ResetSelectedRange();
}

BOOL CGridCtrl::IsCellSelected(int nRow, int nCol) const
{
    if (!m_bEnableSelection)
        return FALSE;
    // The map is the truth in both modes (in virtual mode the cell's state is built from it).
    return m_SelectedCellMap.count(SelectionKey(nRow, nCol)) != 0;
}

CCellRange CGridCtrl::GetSelectedCellRange() const
{
    CCellRange range(m_nRows, m_nCols, -1, -1);
    for (const auto& [key, cell] : m_SelectedCellMap) {
        range.SetMinRow(std::min(range.GetMinRow(), cell.row));
        range.SetMinCol(std::min(range.GetMinCol(), cell.col));
        range.SetMaxRow(std::max(range.GetMaxRow(), cell.row));
        range.SetMaxCol(std::max(range.GetMaxCol(), cell.col));
    }
    return range;
}

void CGridCtrl::SetSelectedRange(const CCellRange& Range, BOOL bForceRepaint, BOOL bSelectCells)
{
    SetSelectedRange(Range.GetMinRow(), Range.GetMinCol(), Range.GetMaxRow(), Range.GetMaxCol(), bForceRepaint,
                     bSelectCells);
}

void CGridCtrl::SetSelectedRange(int nMinRow, int nMinCol, int nMaxRow, int nMaxCol, BOOL bForceRepaint,
                                 BOOL bSelectCells)
{
    if (!m_bEnableSelection)
        return;

    const bool haveWindow = ::IsWindow(m_hWnd) != FALSE;
    CDC* dc = (bForceRepaint && haveWindow) ? GetDC() : nullptr;
    CCellRange visible, visibleFixed;
    if (haveWindow) {
        visible = GetVisibleNonFixedCellRange();
        visibleFixed = GetVisibleFixedCellRange();
    }
    auto redraw = [&](int row, int col) {
        if (!haveWindow)
            return;
        if (!visible.InRange(row, col) && !visibleFixed.InRange(row, col))
            return;
        if (dc)
            RedrawCell(row, col, dc);
        else
            InvalidateCell(row, col);
    };

    const int firstCol = m_AllowSelectRowInFixedCol ? 0 : m_nFixedCols;
    if (nMinRow >= 0 && nMinRow < m_nFixedRows)
        nMinRow = m_nFixedRows;
    if (nMaxRow >= 0 && nMaxRow < m_nFixedRows)
        nMaxRow = m_nFixedRows;
    if (nMinCol >= 0 && nMinCol < firstCol)
        nMinCol = firstCol;
    if (nMaxCol >= 0 && nMaxCol < firstCol)
        nMaxCol = firstCol;
    const CCellRange range(nMinRow, nMinCol, nMaxRow, nMaxCol);

    if (bSelectCells) {
        // Work on a copy: SetItemState edits the map.
        const auto selected = m_SelectedCellMap;
        for (const auto& [key, cell] : selected) {
            if (!IsValid(cell)) {
                m_SelectedCellMap.erase(key);
                continue;
            }
            SetItemState(cell.row, cell.col, GetItemState(cell.row, cell.col) & ~GRIDCELL_SELECTED);
            if (!range.InRange(cell))
                redraw(cell.row, cell.col);
        }
        const bool singleRow = m_bListMode && m_bSingleRowSelection;
        const bool negative = nMinRow < 0 || nMinCol < 0 || nMaxRow < 0 || nMaxCol < 0;
        if (!singleRow && !negative) {
            for (const auto& [key, cell] : m_PrevSelectedCellMap) {
                if (!IsValid(cell))
                    continue;
                SetItemState(cell.row, cell.col, GetItemState(cell.row, cell.col) | GRIDCELL_SELECTED);
                redraw(cell.row, cell.col);
            }
        }
    }

    if (nMinRow >= 0 && nMinCol >= 0 && nMaxRow >= 0 && nMaxCol >= 0 && nMaxRow < m_nRows && nMaxCol < m_nCols &&
        nMinRow <= nMaxRow && nMinCol <= nMaxCol) {
        for (int row = nMinRow; row <= nMaxRow; ++row)
            for (int col = nMinCol; col <= nMaxCol; ++col) {
                const bool selected = m_SelectedCellMap.count(SelectionKey(row, col)) != 0;
                if (selected == (bSelectCells != FALSE))
                    continue;
                const UINT state = GetItemState(row, col);
                SetItemState(row, col, bSelectCells ? (state | GRIDCELL_SELECTED) : (state & ~GRIDCELL_SELECTED));
                redraw(row, col);
            }
    }
    if (dc)
        ReleaseDC(dc);
}

void CGridCtrl::ResetSelectedRange()
{
    m_PrevSelectedCellMap.clear();
    SetSelectedRange(-1, -1, -1, -1);
    SetFocusCell(-1, -1);
    SetCurrentCell(-1, -1);
}

void CGridCtrl::SelectAllCells()
{
    if (!m_bEnableSelection)
        return;
    SetSelectedRange(m_nFixedRows, m_nFixedCols, m_nRows - 1, m_nCols - 1);
}

void CGridCtrl::SelectCells(CCellID currentCell, BOOL bForceRedraw, BOOL bSelectCells)
{
    if (!m_bEnableSelection)
        return;
    const int row = currentCell.row, col = currentCell.col;
    if (!IsValid(currentCell) || row < m_nFixedRows || col < m_nFixedCols)
        return;
    SetSelectedRange(std::min(m_SelectionStartCell.row, row), std::min(m_SelectionStartCell.col, col),
                     std::max(m_SelectionStartCell.row, row), std::max(m_SelectionStartCell.col, col), bForceRedraw,
                     bSelectCells);
}

void CGridCtrl::SelectRows(CCellID currentCell, BOOL bForceRedraw, BOOL bSelectCells)
{
    if (!m_bEnableSelection)
        return;
    if (currentCell.row < m_nFixedRows || !IsValid(currentCell))
        return;
    const int firstCol = m_AllowSelectRowInFixedCol ? 0 : m_nFixedCols;
    if (m_bSingleRowSelection)
        SetSelectedRange(currentCell.row, firstCol, currentCell.row, m_nCols - 1, bForceRedraw, bSelectCells);
    else
        SetSelectedRange(std::min(m_SelectionStartCell.row, currentCell.row), firstCol,
                         std::max(m_SelectionStartCell.row, currentCell.row), m_nCols - 1, bForceRedraw, bSelectCells);
}

void CGridCtrl::SelectColumns(CCellID currentCell, BOOL bForceRedraw, BOOL bSelectCells)
{
    if (!m_bEnableSelection)
        return;
    if (currentCell.col < m_nFixedCols || !IsValid(currentCell))
        return;
    if (m_bSingleColSelection)
        SetSelectedRange(m_nFixedRows, currentCell.col, m_nRows - 1, currentCell.col, bForceRedraw, bSelectCells);
    else
        SetSelectedRange(m_nFixedRows, std::min(m_SelectionStartCell.col, currentCell.col), m_nRows - 1,
                         std::max(m_SelectionStartCell.col, currentCell.col), bForceRedraw, bSelectCells);
}

void CGridCtrl::OnSelecting(const CCellID& currentCell)
{
    if (!m_bEnableSelection)
        return;
    switch (m_MouseMode) {
    case MOUSE_SELECT_ALL: SelectAllCells(); break;
    case MOUSE_SELECT_COL: SelectColumns(currentCell); break;
    case MOUSE_SELECT_ROW: SelectRows(currentCell); break;
    case MOUSE_SELECT_CELLS: SelectCells(currentCell); break;
    default: break;
    }
}
