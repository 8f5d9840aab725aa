// The grid's mouse and keyboard: how presses, drags and keys move the focus, the current cell
// and the selection, size rows and columns, and what the owner is told.
//
// Owner notifications are synchronous and the owner may change the grid inside them, so cells
// are looked up again after each one, and a grid whose window went away stops at once.

#include <algorithm>
#include <utility>

#include "controls/GridCtrl.h"
#include "controls/InPlaceEdit.h"

namespace {
bool CtrlDown() { return GetKeyState(VK_CONTROL) < 0; }
bool ShiftDown() { return GetKeyState(VK_SHIFT) < 0; }
}  // namespace

// ---- clicks in the headers ----

void CGridCtrl::OnFixedColumnClick(CCellID& cell)
{
    if (!IsValid(cell) || !m_bFixedColumnSelection)
        return;
    if (cell.row >= m_nFixedRows)
        m_MouseMode = MOUSE_SELECT_ROW;
    else if (cell.col < m_nFixedCols)
        m_MouseMode = MOUSE_SELECT_ALL;
    OnSelecting(cell);
}

void CGridCtrl::OnFixedRowClick(CCellID& cell)
{
    if (!IsValid(cell))
        return;
    if (m_bSortOnClick) {
        CWaitCursor wait;
        const BOOL ascending = cell.col == m_nSortColumn ? !m_bAscending : TRUE;
        SortItems(cell.col, ascending);
        Invalidate();
    }
    if (!m_bFixedRowSelection)
        return;
    if (cell.col >= m_nFixedCols)
        m_MouseMode = MOUSE_SELECT_COL;
    else if (cell.row < m_nFixedRows)
        m_MouseMode = MOUSE_SELECT_ALL;
    OnSelecting(cell);
}

// ---- dividers ----

BOOL CGridCtrl::MouseOverColumnResizeArea(CPoint point)
{
    if (point.y >= GetFixedRowHeight())
        return FALSE;
    const CCellID cell = GetCellFromPt(point);
    CPoint start;
    if (!GetCellOrigin(cell, &start))
        return FALSE;
    const int endx = start.x + GetColumnWidth(cell.col);
    return (point.x - start.x < m_nResizeCaptureRange && cell.col != 0) || endx - point.x < m_nResizeCaptureRange;
}

BOOL CGridCtrl::MouseOverRowResizeArea(CPoint point)
{
    if (point.x >= GetFixedColumnWidth())
        return FALSE;
    const CCellID cell = GetCellFromPt(point);
    CPoint start;
    if (!GetCellOrigin(cell, &start))
        return FALSE;
    const int endy = start.y + GetRowHeight(cell.row);
    return (point.y - start.y < m_nResizeCaptureRange && cell.row != 0) || endy - point.y < m_nResizeCaptureRange;
}

void CGridCtrl::InvertBand(int pos, bool vertical)
{
    CDC* dc = GetDC();
    if (!dc)
        return;
    CRect rect;
    GetClientRect(&rect);
    if (vertical) {
        rect.left = pos;
        rect.right = pos + 2;
    } else {
        rect.top = pos;
        rect.bottom = pos + 2;
    }
    dc->InvertRect(&rect);
    ReleaseDC(dc);
}

// The sizing mode is taken only once the band is drawn, so that moves and the release only
// invert bands that are there; a press refused earlier stays a press over the divider.
void CGridCtrl::StartColumnSizing(CPoint point)
{
    const CCellID pressed = m_LeftClickDownCell;
    auto refuse = [&] { m_LeftClickDownCell = pressed; };
    const int range = m_nResizeCaptureRange;
    CRect visible;
    GetVisibleNonFixedCellRange(&visible);
    if (m_nCols > 0 && GetColumnWidth(m_nCols - 1) < range && std::abs(point.x - visible.right) < range)
        m_LeftClickDownCell.col = m_nCols - 1;

    CPoint start;
    if (!GetCellOrigin(0, m_LeftClickDownCell.col, &start))
        return refuse();

    if (!m_bHiddenColUnhide) {
        // Hidden columns are not sized from their neighbours' dividers: look left for a shown one.
        const bool rightEdge = point.x - start.x >= range;
        if (!(rightEdge && m_LeftClickDownCell.col + 1 >= m_nCols)) {
            const int offset = rightEdge ? 0 : 1;
            bool found = false;
            while (m_LeftClickDownCell.col - offset >= 0) {
                if (GetColumnWidth(m_LeftClickDownCell.col - offset) > 0) {
                    found = true;
                    break;
                }
                --m_LeftClickDownCell.col;
            }
            if (!found)
                return refuse();
        }
    }

    if (point.x - start.x < range) {
        const int col = m_LeftClickDownCell.col;
        if (!(col == m_nCols - 1 && GetColumnWidth(col) < range)) {
            --m_LeftClickDownCell.col;
            if (!GetCellOrigin(0, m_LeftClickDownCell.col, &start))
                return refuse();
        }
    }

    m_MouseMode = MOUSE_SIZING_COL;
    InvertBand(point.x, true);

    CRect client;
    GetClientRect(&client);
    CRect clip(start.x + 1, client.top, start.x + 1 + client.Width() - GetFixedColumnWidth(), client.bottom);
    ClientToScreen(&clip);
    ::ClipCursor(&clip);
}

void CGridCtrl::StartRowSizing(CPoint point)
{
    const CCellID pressed = m_LeftClickDownCell;
    auto refuse = [&] { m_LeftClickDownCell = pressed; };
    const int range = m_nResizeCaptureRange;
    CRect visible;
    GetVisibleNonFixedCellRange(&visible);
    if (m_nRows > 0 && GetRowHeight(m_nRows - 1) < range && std::abs(point.y - visible.bottom) < range)
        m_LeftClickDownCell.row = m_nRows - 1;

    CPoint start;
    if (!GetCellOrigin(m_LeftClickDownCell.row, 0, &start))
        return refuse();

    if (!m_bHiddenRowUnhide) {
        const bool bottomEdge = point.y - start.y >= range;
        if (!(bottomEdge && m_LeftClickDownCell.row + 1 >= m_nRows)) {
            const int offset = bottomEdge ? 0 : 1;
            bool found = false;
            while (m_LeftClickDownCell.row - offset >= 0) {
                if (GetRowHeight(m_LeftClickDownCell.row - offset) > 0) {
                    found = true;
                    break;
                }
                --m_LeftClickDownCell.row;
            }
            if (!found)
                return refuse();
        }
    }

    if (point.y - start.y < range) {
        const int row = m_LeftClickDownCell.row;
        if (!(row == m_nRows - 1 && GetRowHeight(row) < range)) {
            --m_LeftClickDownCell.row;
            if (!GetCellOrigin(m_LeftClickDownCell.row, 0, &start))
                return refuse();
        }
    }

    m_MouseMode = MOUSE_SIZING_ROW;
    InvertBand(point.y, false);

    CRect client;
    GetClientRect(&client);
    CRect clip(client.left, start.y + 1, client.right, start.y + 1 + client.Height() - GetFixedRowHeight());
    ClientToScreen(&clip);
    ::ClipCursor(&clip);
}

// Keys go to the focus window and never to the title tip, which holds the mouse only, so every
// key pressed while the tip shows hides it here. The grid hands the tip the keys that come to the
// grid itself: the tip hides and sends them back, and they still reach the grid. Keys for the
// grid's children (an in-place editor, which may be growing under the tip) pass here on their
// way up: the tip goes and they stay theirs.
BOOL CGridCtrl::PreTranslateMessage(MSG* msg)
{
    if ((msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN) && ::IsWindow(m_TitleTip.GetSafeHwnd()) &&
        m_TitleTip.IsWindowVisible()) {
        if (msg->hwnd == m_hWnd)
            return m_TitleTip.PreTranslateMessage(msg);
        m_TitleTip.Hide();
    }
    return CWnd::PreTranslateMessage(msg);
}

// ---- mouse ----

void CGridCtrl::OnLButtonDown(UINT nFlags, CPoint point)
{
    const HWND self = m_hWnd;
    SetFocus();
    if (!::IsWindow(self))
        return;
    m_CurCol = -1;
    m_bLMouseButtonDown = TRUE;
    m_bSizingPressRefused = false;
    m_LeftClickDownPoint = point;
    // The grid knows where the pointer is from the press on, whichever way the press ends.
    m_LastMousePoint = point;
    m_LastMouseOver = PointOverCells(point);
    m_LeftClickDownCell = GetCellFromPt(point);
    if (!IsValid(m_LeftClickDownCell))
        return;
    m_CurRow = m_LeftClickDownCell.row;

    if (nFlags & MK_SHIFT) {
        if (!IsValid(m_SelectionStartCell))
            m_SelectionStartCell = m_idFocusCell;
    } else {
        m_SelectionStartCell = m_LeftClickDownCell;
    }

    EndEditing();
    if (!::IsWindow(self) || !IsValid(m_LeftClickDownCell))
        return;

    const CCellID pressed = m_LeftClickDownCell;
    bool inText = false;
    if (CGridCellBase* cell = GetCell(pressed.row, pressed.col)) {
        cell->OnClickDown(GetPointClicked(pressed.row, pressed.col, point));
        CRect text;
        if (GetCellRect(pressed, &text) && cell->GetTextRect(&text))
            inText = text.PtInRect(point);
    }

    const bool ctrl = (nFlags & MK_CONTROL) != 0;
    if (pressed == m_idFocusCell && !ctrl && inText && IsCellEditable(pressed)) {
        m_MouseMode = MOUSE_PREPARE_EDIT;
        return;
    }

    if (IsCellSelected(pressed)) {
        SetFocusCell(pressed);
        SetCurrentCell(pressed.row, pressed.col);
        if (ctrl) {
            if (m_bListMode)
                SelectRows(pressed, TRUE, FALSE);
            else
                SelectCells(pressed, TRUE, FALSE);
            return;
        }
        if (m_bAllowDragAndDrop)
            m_MouseMode = MOUSE_PREPARE_DRAG;
    } else if (m_MouseMode != MOUSE_OVER_COL_DIVIDE && m_MouseMode != MOUSE_OVER_ROW_DIVIDE) {
        if (pressed.row >= m_nFixedRows && pressed.col >= m_nFixedCols) {
            SetFocusCell(pressed);
            SetCurrentCell(pressed.row, pressed.col);
        } else {
            SetFocusCell(-1, -1);
            SetCurrentCell(-1, -1);
        }
    }

    SetCapture();

    if (m_MouseMode == MOUSE_NOTHING) {
        if (m_bAllowColumnResize && MouseOverColumnResizeArea(point)) {
            ::SetCursor(::LoadCursor(nullptr, IDC_SIZEWE));
            m_MouseMode = MOUSE_OVER_COL_DIVIDE;
        } else if (m_bAllowRowResize && MouseOverRowResizeArea(point)) {
            ::SetCursor(::LoadCursor(nullptr, IDC_SIZENS));
            m_MouseMode = MOUSE_OVER_ROW_DIVIDE;
        }
    }

    if (m_MouseMode == MOUSE_OVER_COL_DIVIDE) {
        StartColumnSizing(point);
        m_bSizingPressRefused = m_MouseMode == MOUSE_OVER_COL_DIVIDE;
    } else if (m_MouseMode == MOUSE_OVER_ROW_DIVIDE) {
        StartRowSizing(point);
        m_bSizingPressRefused = m_MouseMode == MOUSE_OVER_ROW_DIVIDE;
    } else if (m_MouseMode != MOUSE_PREPARE_DRAG) {
        NotifyOwner(pressed.row, pressed.col, LVN_ITEMCHANGING);
        if (!::IsWindow(self))
            return;
        m_PrevSelectedCellMap.clear();
        if (ctrl)
            m_PrevSelectedCellMap = m_SelectedCellMap;

        CCellID cell = m_LeftClickDownCell;
        if (!IsValid(cell)) {
            // The owner shrank the grid under the press.
        } else if (cell.row >= m_nFixedRows && cell.col >= m_nFixedCols) {
            m_MouseMode = m_bListMode ? MOUSE_SELECT_ROW : MOUSE_SELECT_CELLS;
            OnSelecting(cell);
            m_nTimerID = SetTimer(kAutoScrollTimer, static_cast<UINT>(m_nTimerInterval));
        } else if (cell.row >= m_nFixedRows) {
            OnFixedColumnClick(cell);
        } else {
            OnFixedRowClick(cell);
            if (m_AllowReorderColumn && cell.col >= m_nFixedCols) {
                ResetSelectedRange();
                m_MouseMode = MOUSE_PREPARE_DRAG;
                m_CurCol = cell.col;
            }
        }
    }
    m_LastMousePoint = point;
}

CPoint CGridCtrl::PointOverCells(CPoint point)
{
    return CPoint(point.x + GetScrollPos32(SB_HORZ), point.y + GetScrollPos32(SB_VERT));
}

void CGridCtrl::OnMouseMove(UINT nFlags, CPoint point)
{
    // Compared over the cells, so that a point the grid scrolled under is a new one. A move
    // outside is not kept: while the pointer is out the auto-scroll timer scrolls and selects,
    // and whatever point it comes back to is a move.
    const CPoint over = PointOverCells(point);
    const bool still = over == m_LastMouseOver;
    CRect client;
    GetClientRect(&client);
    if (!client.PtInRect(point) && m_MouseMode != MOUSE_DRAGGING) {
        m_LastMouseOver.reset();
        return;
    }
    m_LastMouseOver = over;

    // A release this grid never saw (outside it, without capture) ends its press here.
    if (m_bLMouseButtonDown && !(nFlags & MK_LBUTTON) && m_MouseMode != MOUSE_DRAGGING) {
        m_bLMouseButtonDown = FALSE;
        m_bSizingPressRefused = false;
        if (m_MouseMode == MOUSE_PREPARE_EDIT || m_MouseMode == MOUSE_PREPARE_DRAG)
            m_MouseMode = MOUSE_NOTHING;
    }

    if (!m_bLMouseButtonDown || m_MouseMode == MOUSE_NOTHING) {
        if (m_bAllowColumnResize && MouseOverColumnResizeArea(point)) {
            if (m_MouseMode != MOUSE_OVER_COL_DIVIDE) {
                ::SetCursor(::LoadCursor(nullptr, IDC_SIZEWE));
                m_MouseMode = MOUSE_OVER_COL_DIVIDE;
            }
        } else if (m_bAllowRowResize && MouseOverRowResizeArea(point)) {
            if (m_MouseMode != MOUSE_OVER_ROW_DIVIDE) {
                ::SetCursor(::LoadCursor(nullptr, IDC_SIZENS));
                m_MouseMode = MOUSE_OVER_ROW_DIVIDE;
            }
        } else if (m_MouseMode != MOUSE_NOTHING) {
            ::SetCursor(::LoadCursor(nullptr, IDC_ARROW));
            m_MouseMode = MOUSE_NOTHING;
        }

        if (m_MouseMode == MOUSE_NOTHING && (!m_bVirtualMode || m_bTitleTips)) {
            const CCellID id = GetCellFromPt(point);
            if (CGridCellBase* cell = IsValid(id) ? GetCell(id.row, id.col) : nullptr) {
                cell->OnMouseOver();
                CRect textRect, cellRect;
                if (m_bTitleTips && !(nFlags & MK_RBUTTON) && !cell->IsEditing() && *cell->GetTipText() &&
                    GetCellRect(id, &textRect) && GetCellRect(id, &cellRect) && cell->GetTipTextRect(&textRect)) {
                    m_TitleTip.Show(textRect, cell->GetTipText(), 0, &cellRect, cell->GetFont(), m_crTTipTextClr,
                                    m_crTTipBackClr);
                }
            }
        }
        m_LastMousePoint = point;
        return;
    }

    if (!IsValid(m_LeftClickDownCell)) {
        m_LastMousePoint = point;
        return;
    }
    // A move to where the pointer already was (as the system sends when a capture is let go,
    // the title tip's among them) is no move: it neither starts a drag nor extends anything.
    if (still)
        return;

    switch (m_MouseMode) {
    case MOUSE_SELECT_ALL:
        break;
    case MOUSE_SELECT_COL:
    case MOUSE_SELECT_ROW:
    case MOUSE_SELECT_CELLS: {
        const CCellID cell = GetCellFromPt(point);
        if (!IsValid(cell) || cell == m_idFocusCell)
            break;
        OnSelecting(cell);
        if (cell.row >= m_nFixedRows && cell.col >= m_nFixedCols)
            SetFocusCell(cell);
        else if (m_MouseMode == MOUSE_SELECT_COL || m_MouseMode == MOUSE_SELECT_ROW)
            SetFocusCell(cell);
        break;
    }
    case MOUSE_SIZING_COL:
        InvertBand(m_LastMousePoint.x, true);
        InvertBand(point.x, true);
        break;
    case MOUSE_SIZING_ROW:
        InvertBand(m_LastMousePoint.y, false);
        InvertBand(point.y, false);
        break;
    case MOUSE_PREPARE_EDIT:
    case MOUSE_PREPARE_DRAG:
        m_MouseMode = MOUSE_PREPARE_DRAG;
        OnBeginDrag();
        break;
    default:
        break;
    }
    m_LastMousePoint = point;
}

void CGridCtrl::OnLButtonUp(UINT nFlags, CPoint point)
{
    const HWND self = m_hWnd;
    CWnd::OnLButtonUp(nFlags, point);
    if (!::IsWindow(self))
        return;

    // A release without a press on this grid (pressed elsewhere, released here) is no click.
    const bool pressed = m_bLMouseButtonDown != FALSE;
    const bool sizingRefused = std::exchange(m_bSizingPressRefused, false);
    m_bLMouseButtonDown = FALSE;
    ::ClipCursor(nullptr);
    if (GetCapture() == this) {
        ReleaseCapture();
        KillTimer(m_nTimerID);
        m_nTimerID = 0;
    }
    if (!pressed) {
        if (m_MouseMode != MOUSE_OVER_COL_DIVIDE && m_MouseMode != MOUSE_OVER_ROW_DIVIDE)
            m_MouseMode = MOUSE_NOTHING;
        return;
    }
    if (sizingRefused) {
        // The press was taken as one on a divider (no selection change was announced for it) and
        // sized nothing: its release is neither a sizing nor a click, and the owner hears nothing.
        m_MouseMode = MOUSE_NOTHING;
        ::SetCursor(::LoadCursor(nullptr, IDC_ARROW));
        return;
    }

    const CCellID down = m_LeftClickDownCell;
    switch (m_MouseMode) {
    case MOUSE_PREPARE_EDIT:
        if (IsValid(m_idFocusCell))
            OnEditCell(m_idFocusCell.row, m_idFocusCell.col,
                       GetPointClicked(m_idFocusCell.row, m_idFocusCell.col, point), VK_LBUTTON);
        break;
    case MOUSE_PREPARE_DRAG: {
        if (CGridCellBase* cell = GetCell(m_idFocusCell.row, m_idFocusCell.col))
            cell->OnClick(GetPointClicked(m_idFocusCell.row, m_idFocusCell.col, point));
        NotifyOwner(down.row, down.col, NM_CLICK);
        if (!::IsWindow(self))
            return;
        NotifyOwner(down.row, down.col, LVN_ITEMCHANGING);
        if (!::IsWindow(self))
            return;
        ResetSelectedRange();
        NotifyOwner(m_idFocusCell.row, m_idFocusCell.col, LVN_ITEMCHANGED);
        break;
    }
    case MOUSE_SIZING_COL: {
        InvertBand(m_LastMousePoint.x, true);
        CPoint start;
        if (point != m_LeftClickDownPoint && (point.x != 0 || point.y != 0) && GetCellOrigin(down, &start)) {
            const int width = std::max<int>(point.x - start.x, m_bAllowColHide ? 0 : 1);
            SetColumnWidth(down.col, width);
            ResetScrollBars();
            Invalidate();
        }
        break;
    }
    case MOUSE_SIZING_ROW: {
        InvertBand(m_LastMousePoint.y, false);
        CPoint start;
        if (point != m_LeftClickDownPoint && (point.x != 0 || point.y != 0) && GetCellOrigin(down, &start)) {
            const int height = std::max<int>(point.y - start.y, m_bAllowRowHide ? 0 : 1);
            SetRowHeight(down.row, height);
            ResetScrollBars();
            Invalidate();
        }
        break;
    }
    default:
        NotifyOwner(m_idFocusCell.row, m_idFocusCell.col, LVN_ITEMCHANGED);
        if (!::IsWindow(self))
            return;
        if (CGridCellBase* cell = GetCell(m_idFocusCell.row, m_idFocusCell.col))
            cell->OnClick(GetPointClicked(m_idFocusCell.row, m_idFocusCell.col, point));
        NotifyOwner(down.row, down.col, NM_CLICK);
        break;
    }
    if (!::IsWindow(self))
        return;

    m_MouseMode = MOUSE_NOTHING;
    ::SetCursor(::LoadCursor(nullptr, IDC_ARROW));
    if (IsValid(down)) {
        if (CWnd* owner = GetOwner())
            owner->PostMessage(WM_COMMAND, MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID()), 0),
                               reinterpret_cast<LPARAM>(m_hWnd));
    }
}

void CGridCtrl::OnLButtonDblClk(UINT nFlags, CPoint point)
{
    const HWND self = m_hWnd;
    // The release that follows a double click is a click of this grid as well.
    m_bLMouseButtonDown = TRUE;
    m_bSizingPressRefused = false;

    CCellID cell = GetCellFromPt(point);
    if (!IsValid(cell))
        return;

    if (m_MouseMode == MOUSE_OVER_COL_DIVIDE) {
        CPoint start;
        if (!GetCellOrigin(0, cell.col, &start))
            return;
        if (point.x - start.x < m_nResizeCaptureRange)
            --cell.col;
        while (cell.col >= 0 && GetColumnWidth(cell.col) <= 0)
            --cell.col;
        if (cell.col < 0)
            return;
        AutoSizeColumn(cell.col, m_nAutoSizeColumnStyle, TRUE);
        Invalidate();
    } else if (m_MouseMode == MOUSE_OVER_ROW_DIVIDE) {
        CPoint start;
        if (!GetCellOrigin(cell.row, 0, &start))
            return;
        if (point.y - start.y < m_nResizeCaptureRange)
            --cell.row;
        while (cell.row >= 0 && GetRowHeight(cell.row) <= 0)
            --cell.row;
        if (cell.row < 0)
            return;
        AutoSizeRow(cell.row, TRUE);
        Invalidate();
    } else if (m_MouseMode == MOUSE_NOTHING) {
        const CPoint relative = GetPointClicked(cell.row, cell.col, point);
        bool inText = false;
        if (CGridCellBase* c = GetCell(cell.row, cell.col)) {
            CRect text;
            if (GetCellRect(cell, &text) && c->GetTextRect(&text))
                inText = text.PtInRect(point);
        }
        const CCellID down = m_LeftClickDownCell;
        const bool nonFixed = cell.row >= m_nFixedRows && cell.col >= m_nFixedCols;
        if (IsValid(down) && down.row >= m_nFixedRows && down.col >= m_nFixedCols && inText)
            OnEditCell(down.row, down.col, relative, VK_LBUTTON);
        else if (m_bListMode && nonFixed && inText)
            OnEditCell(cell.row, cell.col, relative, VK_LBUTTON);
        if (!::IsWindow(self))
            return;
        if (IsValid(cell)) {
            if (CGridCellBase* c = GetCell(cell.row, cell.col))
                c->OnDblClick(relative);
            NotifyOwner(cell.row, cell.col, NM_DBLCLK);
            if (!::IsWindow(self))
                return;
        }
    }
    CWnd::OnLButtonDblClk(nFlags, point);
}

void CGridCtrl::OnRButtonUp(UINT nFlags, CPoint point)
{
    const HWND self = m_hWnd;
    CWnd::OnRButtonUp(nFlags, point);
    if (!::IsWindow(self))
        return;
    m_bRMouseButtonDown = FALSE;
    const CCellID cell = GetCellFromPt(point);
    EndEditing();
    if (!::IsWindow(self))
        return;
    if (IsValid(cell)) {
        SetFocusCell(std::max(cell.row, m_nFixedRows), std::max(cell.col, m_nFixedCols));
        if (CGridCellBase* c = GetCell(cell.row, cell.col))
            c->OnRClick(GetPointClicked(cell.row, cell.col, point));
        NotifyOwner(cell.row, cell.col, NM_RCLICK);
    } else {
        NotifyOwner(-1, -1, NM_RCLICK);
    }
}

void CGridCtrl::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent != kAutoScrollTimer)
        return;
    CPoint pt, origin;
    if (!::GetCursorPos(&origin))
        return;
    ScreenToClient(&origin);
    CRect rect;
    GetClientRect(&rect);
    const int fixedRowHeight = GetFixedRowHeight();
    const int fixedColWidth = GetFixedColumnWidth();

    pt = origin;
    if (pt.y > rect.bottom) {
        SendMessage(WM_KEYDOWN, VK_DOWN, 0);
        pt.x = std::clamp<int>(pt.x, rect.left, rect.right);
        pt.y = rect.bottom;
        OnSelecting(GetCellFromPt(pt));
    } else if (pt.y < fixedRowHeight) {
        SendMessage(WM_KEYDOWN, VK_UP, 0);
        pt.x = std::clamp<int>(pt.x, rect.left, rect.right);
        pt.y = fixedRowHeight + 1;
        OnSelecting(GetCellFromPt(pt));
    }
    pt = origin;
    if (pt.x > rect.right) {
        SendMessage(WM_KEYDOWN, VK_RIGHT, 0);
        pt.y = std::clamp<int>(pt.y, rect.top, rect.bottom);
        pt.x = rect.right;
        OnSelecting(GetCellFromPt(pt));
    } else if (pt.x < fixedColWidth) {
        SendMessage(WM_KEYDOWN, VK_LEFT, 0);
        pt.y = std::clamp<int>(pt.y, rect.top, rect.bottom);
        pt.x = fixedColWidth + 1;
        OnSelecting(GetCellFromPt(pt));
    }
}

BOOL CGridCtrl::OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message)
{
    if (static_cast<LRESULT>(nHitTest) != HTCLIENT)
        return CWnd::OnSetCursor(pWnd, nHitTest, message);
    switch (m_MouseMode) {
    case MOUSE_OVER_ROW_DIVIDE: ::SetCursor(::LoadCursor(nullptr, IDC_SIZENS)); break;
    case MOUSE_OVER_COL_DIVIDE: ::SetCursor(::LoadCursor(nullptr, IDC_SIZEWE)); break;
    case MOUSE_DRAGGING: break;
    default: {
        if (!m_bVirtualMode) {
            const DWORD pos = GetMessagePos();
            CPoint pt(GET_X_LPARAM(static_cast<LPARAM>(pos)), GET_Y_LPARAM(static_cast<LPARAM>(pos)));
            ScreenToClient(&pt);
            const CCellID id = GetCellFromPt(pt);
            if (CGridCellBase* cell = IsValid(id) ? GetCell(id.row, id.col) : nullptr)
                return cell->OnSetCursor();
        }
        ::SetCursor(::LoadCursor(nullptr, IDC_ARROW));
        break;
    }
    }
    return TRUE;
}

void CGridCtrl::OnCaptureChanged(CWnd* pWnd)
{
    if (pWnd && pWnd->GetSafeHwnd() == m_hWnd)
        return;
    if (m_nTimerID != 0) {
        KillTimer(m_nTimerID);
        m_nTimerID = 0;
    }
    if (m_MouseMode == MOUSE_DRAGGING)
        m_MouseMode = MOUSE_NOTHING;
}

// ---- keyboard ----

UINT CGridCtrl::OnGetDlgCode()
{
    UINT code = DLGC_WANTARROWS | DLGC_WANTCHARS;
    if (m_bHandleTabKey && !CtrlDown())
        code |= DLGC_WANTTAB;
    return code;
}

void CGridCtrl::OnChar(UINT nChar, UINT nRepCnt, UINT nFlags)
{
    if (!CtrlDown() && m_MouseMode == MOUSE_NOTHING && nChar != static_cast<UINT>(VK_ESCAPE)) {
        if (!m_bHandleTabKey || nChar != static_cast<UINT>(VK_TAB))
            OnEditCell(m_idFocusCell.row, m_idFocusCell.col, CPoint(-1, -1), nChar | INPLACEEDIT_TYPED);
    }
    CWnd::OnChar(nChar, nRepCnt, nFlags);
}

BOOL CGridCtrl::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    if (message == WM_IME_CHAR) {
        const UINT ch = static_cast<UINT>(wParam);
        if (!CtrlDown() && m_MouseMode == MOUSE_NOTHING && ch != static_cast<UINT>(VK_ESCAPE))
            OnEditCell(m_idFocusCell.row, m_idFocusCell.col, CPoint(-1, -1), ch | INPLACEEDIT_TYPED);
        if (pResult)
            *pResult = 0;
        return TRUE;
    }
    return CWnd::OnWndMsg(message, wParam, lParam, pResult);
}

void CGridCtrl::OnSysKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags) { CWnd::OnSysKeyDown(nChar, nRepCnt, nFlags); }

void CGridCtrl::OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags)
{
    if (!IsValid(m_idFocusCell)) {
        CWnd::OnKeyDown(nChar, nRepCnt, nFlags);
        return;
    }
    const HWND self = m_hWnd;
    CCellID next = m_idFocusCell;
    bool changeLine = false, horzScrolled = false, vertScrolled = false;
    const bool ctrl = CtrlDown(), shift = ShiftDown();

    if (ctrl) {
        switch (nChar) {
        case VK_INSERT:
        case 'C': OnEditCopy(); break;
        case 'A': OnEditSelectAll(); break;
        case 'V': OnEditPaste(); break;
        case 'X': OnEditCut(); break;
        case VK_ADD:
            AutoSizeColumns(GRIDAUTOSIZE_DEFAULT);
            Invalidate();
            break;
        default: break;
        }
    } else if (shift && nChar == static_cast<UINT>(VK_INSERT)) {
        OnEditPaste();
    }
    if (!::IsWindow(self) || !IsValid(m_idFocusCell))
        return;
    next = m_idFocusCell;

    const bool tab = nChar == static_cast<UINT>(VK_TAB);
    switch (nChar) {
    case VK_DELETE:
        CutSelectedText();
        break;
    case VK_DOWN: {
        int row = next.row + 1;
        while (row < m_nRows && GetRowHeight(row) <= 0)
            ++row;
        if (row < m_nRows)
            next.row = row;
        break;
    }
    case VK_UP: {
        int row = next.row - 1;
        while (row >= m_nFixedRows && GetRowHeight(row) <= 0)
            --row;
        if (row >= m_nFixedRows)
            next.row = row;
        break;
    }
    case VK_RIGHT:
    case VK_TAB:
        if (nChar == static_cast<UINT>(VK_RIGHT) || !shift) {
            if (tab && m_QuitFocusOnTab) {
                if (CWnd* parent = GetParent())
                    if (HWND item = ::GetNextDlgTabItem(parent->GetSafeHwnd(), m_hWnd, FALSE))
                        ::SetFocus(item);
                return;
            }
            ++next.col;
            if (tab) {
                if (next.col == m_nCols && next.row < m_nRows - 1) {
                    int row = next.row + 1;
                    while (row < m_nRows && GetRowHeight(row) <= 0)
                        ++row;
                    if (row < m_nRows) {
                        next.row = row;
                        next.col = m_nFixedCols;
                        changeLine = true;
                    }
                    // With no shown row below the walk below finds no column: the focus stays.
                } else {
                    CWnd::OnKeyDown(nChar, nRepCnt, nFlags);
                }
            }
            while (next.col < m_nCols && GetColumnWidth(next.col) <= 0)
                ++next.col;
            if (next.col >= m_nCols) {
                // A wrapped row without a shown column keeps the focus where it was.
                next = changeLine ? m_idFocusCell : CCellID(next.row, m_idFocusCell.col);
                changeLine = false;
            }
            break;
        }
        [[fallthrough]];
    case VK_LEFT:
        --next.col;
        if (tab) {
            if (next.col == m_nFixedCols - 1 && next.row > m_nFixedRows) {
                int row = next.row - 1;
                while (row > m_nFixedRows && GetRowHeight(row) <= 0)
                    --row;
                next.row = row;
                next.col = m_nCols - 1;
                changeLine = true;
            } else {
                CWnd::OnKeyDown(nChar, nRepCnt, nFlags);
            }
        }
        while (next.col >= m_nFixedCols && GetColumnWidth(next.col) <= 0)
            --next.col;
        if (next.col < m_nFixedCols) {
            next = changeLine ? m_idFocusCell : CCellID(next.row, m_idFocusCell.col);
            changeLine = false;
        }
        break;
    case VK_NEXT: {
        const CCellID before = GetTopleftNonFixedCell();
        SendMessage(WM_VSCROLL, SB_PAGEDOWN, 0);
        vertScrolled = true;
        const CCellID after = GetTopleftNonFixedCell();
        const int inc = after.row - before.row;
        next.row = inc ? std::min(next.row + inc, m_nRows - 1) : m_nRows - 1;
        break;
    }
    case VK_PRIOR: {
        const CCellID before = GetTopleftNonFixedCell();
        SendMessage(WM_VSCROLL, SB_PAGEUP, 0);
        vertScrolled = true;
        const CCellID after = GetTopleftNonFixedCell();
        const int inc = after.row - before.row;
        next.row = inc ? std::max(next.row + inc, m_nFixedRows) : m_nFixedRows;
        break;
    }
    case VK_HOME:
        if (ctrl) {
            SendMessage(WM_VSCROLL, SB_TOP, 0);
            SendMessage(WM_HSCROLL, SB_LEFT, 0);
            vertScrolled = horzScrolled = true;
            next.row = m_nFixedRows;
            next.col = m_nFixedCols;
        } else {
            SendMessage(WM_HSCROLL, SB_LEFT, 0);
            horzScrolled = true;
            next.col = m_nFixedCols;
        }
        while (next.col < m_nCols - 1 && GetColumnWidth(next.col) <= 0)
            ++next.col;
        while (next.row < m_nRows - 1 && GetRowHeight(next.row) <= 0)
            ++next.row;
        break;
    case VK_END:
        if (ctrl) {
            SendMessage(WM_VSCROLL, SB_BOTTOM, 0);
            SendMessage(WM_HSCROLL, SB_RIGHT, 0);
            vertScrolled = horzScrolled = true;
            next.row = m_nRows - 1;
            next.col = m_nCols - 1;
        } else {
            SendMessage(WM_HSCROLL, SB_RIGHT, 0);
            horzScrolled = true;
            next.col = m_nCols - 1;
        }
        while (next.col > m_nFixedCols && GetColumnWidth(next.col) <= 0)
            --next.col;
        while (next.row > m_nFixedRows && GetRowHeight(next.row) <= 0)
            --next.row;
        break;
    case VK_F2:
        OnEditCell(m_idFocusCell.row, m_idFocusCell.col, CPoint(-1, -1), VK_LBUTTON);
        return;
    default:
        CWnd::OnKeyDown(nChar, nRepCnt, nFlags);
        return;
    }
    if (!::IsWindow(self))
        return;

    if (next != m_idFocusCell) {
        if (m_MouseMode == MOUSE_NOTHING) {
            m_PrevSelectedCellMap.clear();
            m_MouseMode = m_bListMode ? MOUSE_SELECT_ROW : MOUSE_SELECT_CELLS;
            if (!shift || tab)
                m_SelectionStartCell = next;
            NotifyOwner(next.row, next.col, LVN_ITEMCHANGING);
            if (!::IsWindow(self))
                return;
            OnSelecting(next);
            NotifyOwner(next.row, next.col, LVN_ITEMCHANGED);
            if (!::IsWindow(self))
                return;
            m_MouseMode = MOUSE_NOTHING;
        }

        SetFocusCell(next);
        if (!IsCellVisible(next)) {
            switch (nChar) {
            case VK_RIGHT:
                SendMessage(WM_HSCROLL, SB_LINERIGHT, 0);
                horzScrolled = true;
                break;
            case VK_LEFT:
                SendMessage(WM_HSCROLL, SB_LINELEFT, 0);
                horzScrolled = true;
                break;
            case VK_DOWN:
                SendMessage(WM_VSCROLL, SB_LINEDOWN, 0);
                vertScrolled = true;
                break;
            case VK_UP:
                SendMessage(WM_VSCROLL, SB_LINEUP, 0);
                vertScrolled = true;
                break;
            case VK_TAB:
                if (shift) {
                    if (changeLine) {
                        SendMessage(WM_VSCROLL, SB_LINEUP, 0);
                        vertScrolled = true;
                        SetScrollPos32(SB_HORZ, m_nHScrollMax);
                    } else {
                        SendMessage(WM_HSCROLL, SB_LINELEFT, 0);
                        horzScrolled = true;
                    }
                } else {
                    if (changeLine) {
                        SendMessage(WM_VSCROLL, SB_LINEDOWN, 0);
                        vertScrolled = true;
                        SetScrollPos32(SB_HORZ, 0);
                    } else {
                        SendMessage(WM_HSCROLL, SB_LINERIGHT, 0);
                        horzScrolled = true;
                    }
                }
                break;
            default:
                break;
            }
            EnsureVisible(next);
            Invalidate();
        }
        EnsureVisible(next);
    }
    if (horzScrolled)
        SendMessage(WM_HSCROLL, SB_ENDSCROLL, 0);
    if (vertScrolled)
        SendMessage(WM_VSCROLL, SB_ENDSCROLL, 0);
}
