// The grid's layout (cell rectangles, hit tests), scroll bars, scrolling and painting.

#include <algorithm>
#include <climits>

#include "controls/GridCtrl.h"
#include "controls/MemDC.h"

// ---- Layout ----

CCellID CGridCtrl::GetTopleftNonFixedCell(BOOL bForceRecalculation)
{
    if (m_idTopLeftCell.IsValid() && !bForceRecalculation)
        return m_idTopLeftCell;

    const int horzPos = GetScrollPos32(SB_HORZ);
    const int vertPos = GetScrollPos32(SB_VERT);

    int col = m_nFixedCols;
    for (int x = 0; x < horzPos && col < m_nCols - 1; ++col)
        x += GetColumnWidth(col);
    int row = m_nFixedRows;
    for (int y = 0; y < vertPos && row < m_nRows - 1; ++row)
        y += GetRowHeight(row);

    m_idTopLeftCell = CCellID(row, col);
    return m_idTopLeftCell;
}

namespace {

// Adds the sizes of the rows or columns from `first` on (below `end`) to `edge` until it reaches
// `limit`, where it stops with the edge clamped to the limit; returns the last one reached, at
// most end - 1.
template <typename SizeOf>
int LastVisible(int first, int end, int limit, int& edge, SizeOf size)
{
    int i = first;
    for (; i < end; ++i) {
        edge += size(i);
        if (edge >= limit) {
            edge = limit;
            break;
        }
    }
    return std::min(i, end - 1);
}

// Whether row or column `index` starts at or past `limit`: a scrolled one counted from the
// fixed band's end over the scrolled ones from `firstScrolled`, a fixed one from 0.
template <typename SizeOf>
bool StartsPast(int index, int fixedCount, int fixedExtent, int firstScrolled, int limit, SizeOf size)
{
    const bool scrolled = index >= fixedCount;
    int edge = scrolled ? fixedExtent : 0;
    for (int i = scrolled ? firstScrolled : 0; i < index; ++i) {
        edge += size(i);
        if (edge >= limit)
            return true;
    }
    return edge >= limit;
}

// Offset of row or column `index` from the window's edge: the fixed ones before it, and for a
// scrolled one also the scrolled ones from `firstScrolled` up to it.
template <typename SizeOf>
LONG OffsetOf(int index, int fixedCount, int firstScrolled, SizeOf size)
{
    LONG offset = 0;
    if (index < fixedCount) {
        for (int i = 0; i < index; ++i)
            offset += size(i);
        return offset;
    }
    for (int i = 0; i < fixedCount; ++i)
        offset += size(i);
    for (int i = firstScrolled; i < index; ++i)
        offset += size(i);
    return offset;
}

}  // namespace

CCellRange CGridCtrl::GetVisibleNonFixedCellRange(LPRECT pRect, BOOL bForceRecalculation)
{
    CRect client;
    GetClientRect(client);
    const CCellID topLeft = GetTopleftNonFixedCell(bForceRecalculation);

    int bottom = GetFixedRowHeight();
    const int maxRow =
        LastVisible(topLeft.row, m_nRows, client.bottom, bottom, [this](int row) { return GetRowHeight(row); });

    int right = GetFixedColumnWidth();
    const int maxCol =
        LastVisible(topLeft.col, m_nCols, client.right, right, [this](int col) { return GetColumnWidth(col); });

    if (pRect)
        ::SetRect(pRect, 0, 0, right, bottom);
    return CCellRange(topLeft.row, topLeft.col, maxRow, maxCol);
}

CCellRange CGridCtrl::GetVisibleFixedCellRange(LPRECT pRect, BOOL bForceRecalculation)
{
    CRect client;
    GetClientRect(client);
    const CCellID topLeft = GetTopleftNonFixedCell(bForceRecalculation);

    int bottom = GetFixedRowHeight();
    const int maxRow =
        LastVisible(topLeft.row, m_nRows, client.bottom, bottom, [this](int row) { return GetRowHeight(row); });

    int right = 0;
    const int maxCol =
        LastVisible(0, m_nFixedCols, client.right, right, [this](int col) { return GetColumnWidth(col); });

    if (pRect)
        ::SetRect(pRect, 0, 0, right, bottom);
    return CCellRange(topLeft.row, 0, maxRow, maxCol);
}

BOOL CGridCtrl::GetCellOrigin(int nRow, int nCol, LPPOINT p)
{
    if (!IsValid(nRow, nCol) || !p)
        return FALSE;

    CCellID topLeft;
    if (nRow >= m_nFixedRows || nCol >= m_nFixedCols)
        topLeft = GetTopleftNonFixedCell();
    if ((nRow >= m_nFixedRows && nRow < topLeft.row) || (nCol >= m_nFixedCols && nCol < topLeft.col))
        return FALSE;

    p->x = OffsetOf(nCol, m_nFixedCols, topLeft.col, [this](int col) { return GetColumnWidth(col); });
    p->y = OffsetOf(nRow, m_nFixedRows, topLeft.row, [this](int row) { return GetRowHeight(row); });
    return TRUE;
}

BOOL CGridCtrl::GetCellRect(int nRow, int nCol, LPRECT pRect)
{
    CPoint origin;
    if (!pRect || !GetCellOrigin(nRow, nCol, &origin))
        return FALSE;
    pRect->left = origin.x;
    pRect->top = origin.y;
    pRect->right = origin.x + GetColumnWidth(nCol) - 1;
    pRect->bottom = origin.y + GetRowHeight(nRow) - 1;
    return TRUE;
}

namespace {

// The row or column under `pos` along one axis: within the fixed band, or among the scrolled
// ones from `firstScrolled` on; -1 past the last, before 0, or in the band unless `allowFixed`.
template <typename SizeOf>
int IndexAt(int pos, int fixedExtent, int fixedCount, int firstScrolled, int count, BOOL allowFixed, SizeOf size)
{
    if (pos < 0 || (!allowFixed && pos < fixedExtent))
        return -1;
    const bool inBand = pos < fixedExtent;
    int edge = inBand ? 0 : fixedExtent;
    int i = inBand ? 0 : firstScrolled;
    const int end = inBand ? fixedCount : count;
    for (; i < end; ++i) {
        edge += size(i);
        if (edge > pos)
            break;
    }
    return i < end ? i : -1;
}

}  // namespace

CCellID CGridCtrl::GetCellFromPt(CPoint point, BOOL bAllowFixedCellCheck)
{
    CCellID cell;
    const CCellID topLeft = GetTopleftNonFixedCell();
    if (!bAllowFixedCellCheck && !IsValid(topLeft))
        return cell;

    cell.col = IndexAt(point.x, GetFixedColumnWidth(), m_nFixedCols, topLeft.col, m_nCols, bAllowFixedCellCheck,
                       [this](int col) { return GetColumnWidth(col); });
    cell.row = IndexAt(point.y, GetFixedRowHeight(), m_nFixedRows, topLeft.row, m_nRows, bAllowFixedCellCheck,
                       [this](int row) { return GetRowHeight(row); });
    return cell;
}

CPoint CGridCtrl::GetPointClicked(int nRow, int nCol, const CPoint& point)
{
    CPoint origin;
    if (!GetCellOrigin(nRow, nCol, &origin))
        return CPoint(0, 0);
    return CPoint(point.x - origin.x, point.y - origin.y);
}

BOOL CGridCtrl::IsCellVisible(int nRow, int nCol)
{
    if (!::IsWindow(m_hWnd) || !IsValid(nRow, nCol))
        return FALSE;

    CRect client;
    GetClientRect(client);
    CCellID topLeft;
    if (nRow >= m_nFixedRows || nCol >= m_nFixedCols) {
        topLeft = GetTopleftNonFixedCell();
        if ((nCol >= m_nFixedCols && nCol < topLeft.col) || (nRow >= m_nFixedRows && nRow < topLeft.row))
            return FALSE;
    }

    if (StartsPast(nCol, m_nFixedCols, GetFixedColumnWidth(), topLeft.col, client.right,
                   [this](int col) { return GetColumnWidth(col); }))
        return FALSE;
    if (StartsPast(nRow, m_nFixedRows, GetFixedRowHeight(), topLeft.row, client.bottom,
                   [this](int row) { return GetRowHeight(row); }))
        return FALSE;
    return TRUE;
}

// ---- Scroll bars ----

int CGridCtrl::GetScrollPos32(int nBar, BOOL bGetTrackPos)
{
    if (!::IsWindow(m_hWnd))
        return 0;
    SCROLLINFO si{};
    si.cbSize = sizeof(SCROLLINFO);
    if (!GetScrollInfo(nBar, &si, bGetTrackPos ? SIF_TRACKPOS : SIF_POS))
        return 0;
    return bGetTrackPos ? si.nTrackPos : si.nPos;
}

BOOL CGridCtrl::SetScrollPos32(int nBar, int nPos, BOOL bRedraw)
{
    m_idTopLeftCell = CCellID();
    SCROLLINFO si{};
    si.cbSize = sizeof(SCROLLINFO);
    si.fMask = SIF_POS;
    si.nPos = nPos;
    return SetScrollInfo(nBar, &si, bRedraw);
}

void CGridCtrl::EnableScrollBars(int nBar, BOOL bEnable)
{
    const bool horz = nBar == SB_HORZ || nBar == SB_BOTH;
    const bool vert = nBar == SB_VERT || nBar == SB_BOTH;
    if (bEnable) {
        if (horz && !(m_nBarState & 1)) {
            m_nBarState |= 1;
            ShowScrollBar(SB_HORZ, TRUE);
        }
        if (vert && !(m_nBarState & 2)) {
            m_nBarState |= 2;
            ShowScrollBar(SB_VERT, TRUE);
        }
    } else {
        if (horz && (m_nBarState & 1)) {
            m_nBarState &= ~1;
            ShowScrollBar(SB_HORZ, FALSE);
        }
        if (vert && (m_nBarState & 2)) {
            m_nBarState &= ~2;
            ShowScrollBar(SB_VERT, FALSE);
        }
    }
}

void CGridCtrl::ResetScrollBars()
{
    if (!m_bAllowDraw || !::IsWindow(m_hWnd))
        return;
    CRect rect;
    GetClientRect(rect);
    if (rect.left == rect.right || rect.top == rect.bottom)
        return;

    // Start from the area the window would have without its bars.
    if (m_nBarState & 2)
        rect.right += ::GetSystemMetrics(SM_CXVSCROLL) + ::GetSystemMetrics(SM_CXBORDER);
    if (m_nBarState & 1)
        rect.bottom += ::GetSystemMetrics(SM_CYHSCROLL) + ::GetSystemMetrics(SM_CYBORDER);

    const int fixedColWidth = GetFixedColumnWidth();
    const int fixedRowHeight = GetFixedRowHeight();
    CRect visible(fixedColWidth, fixedRowHeight, rect.right, rect.bottom);
    const CRect virt(fixedColWidth, fixedRowHeight, GetVirtualWidth(), GetVirtualHeight());

    if (visible.left >= visible.right || visible.top >= visible.bottom) {
        EnableScrollBars(SB_BOTH, FALSE);
        return;
    }

    if (visible.Height() < virt.Height())
        visible.right -= ::GetSystemMetrics(SM_CXVSCROLL);
    if (visible.Width() < virt.Width())
        visible.bottom -= ::GetSystemMetrics(SM_CYHSCROLL);

    if (visible.Height() >= virt.Height()) {
        EnableScrollBars(SB_VERT, FALSE);
        m_nVScrollMax = 0;
    } else {
        EnableScrollBars(SB_VERT, TRUE);
        m_nVScrollMax = virt.Height() - 1;
    }
    if (visible.Width() >= virt.Width()) {
        EnableScrollBars(SB_HORZ, FALSE);
        m_nHScrollMax = 0;
    } else {
        EnableScrollBars(SB_HORZ, TRUE);
        m_nHScrollMax = virt.Width() - 1;
    }

    SCROLLINFO si{};
    si.cbSize = sizeof(SCROLLINFO);
    si.fMask = SIF_PAGE | SIF_RANGE;
    si.nMin = 0;
    si.nMax = m_nHScrollMax;
    si.nPage = m_nHScrollMax > 0 ? static_cast<UINT>(visible.Width()) : 0;
    SetScrollInfo(SB_HORZ, &si, TRUE);
    si.fMask |= SIF_DISABLENOSCROLL;
    si.nMax = m_nVScrollMax;
    si.nPage = m_nVScrollMax > 0 ? static_cast<UINT>(visible.Height()) : 0;
    SetScrollInfo(SB_VERT, &si, TRUE);
}

// ---- Scrolling ----

void CGridCtrl::OnVScroll(UINT nSBCode, UINT, CScrollBar*)
{
    ScrollAlong(SB_VERT, nSBCode);
}

void CGridCtrl::OnHScroll(UINT nSBCode, UINT, CScrollBar*)
{
    ScrollAlong(SB_HORZ, nSBCode);
}

// Rows and columns scroll alike: only the bar, the cell extents and the fixed band differ. The
// codes pair up across the bars (line down = line right, top = left, and so on).
void CGridCtrl::ScrollAlong(int nBar, UINT nSBCode)
{
    const bool vert = nBar == SB_VERT;
    // An open editor or tip would stay behind over the cell that scrolled away.
    EndEditing();
    m_TitleTip.Hide();
    const int scrollPos = GetScrollPos32(nBar);
    const int scrollMax = vert ? m_nVScrollMax : m_nHScrollMax;
    const CCellID topLeft = GetTopleftNonFixedCell();
    const int first = vert ? topLeft.row : topLeft.col;
    const int count = vert ? m_nRows : m_nCols;
    const int fixedCount = vert ? m_nFixedRows : m_nFixedCols;
    const auto extentOf = [&](int i) { return vert ? GetRowHeight(i) : GetColumnWidth(i); };
    const auto fixedExtent = [&] { return vert ? GetFixedRowHeight() : GetFixedColumnWidth(); };
    CRect rect;
    GetClientRect(rect);
    const int clientEnd = vert ? rect.bottom : rect.right;
    const auto invalidatePastFixed = [&] {
        CRect past(rect);
        (vert ? past.top : past.left) = fixedExtent();
        InvalidateRect(past);
    };

    switch (static_cast<int>(nSBCode)) {
    case SB_LINEDOWN:
        if (scrollPos < scrollMax) {
            int i = first;
            while (i < count - 1 && extentOf(i) < 1)
                ++i;
            SetScrollPos32(nBar, scrollPos + std::max(0, extentOf(i)));
            if (GetScrollPos32(nBar) != scrollPos)
                invalidatePastFixed();
        }
        break;
    case SB_LINEUP:
        if (scrollPos > 0 && first > fixedCount) {
            int i = first - 1;
            while (i > fixedCount && extentOf(i) < 1)
                --i;
            SetScrollPos32(nBar, std::max(0, scrollPos - std::max(0, extentOf(i))));
            invalidatePastFixed();
        }
        break;
    case SB_PAGEDOWN:
        if (scrollPos < scrollMax) {
            SetScrollPos32(nBar, std::min(scrollMax, scrollPos + (clientEnd - fixedExtent())));
            invalidatePastFixed();
        }
        break;
    case SB_PAGEUP:
        if (scrollPos > 0) {
            SetScrollPos32(nBar, std::max(0, scrollPos - (clientEnd - fixedExtent())));
            invalidatePastFixed();
        }
        break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
        SetScrollPos32(nBar, GetScrollPos32(nBar, TRUE));
        if (GetTopleftNonFixedCell(TRUE) != topLeft)
            invalidatePastFixed();
        break;
    case SB_TOP:
        if (scrollPos > 0) {
            SetScrollPos32(nBar, 0);
            Invalidate();
        }
        break;
    case SB_BOTTOM:
        if (scrollPos < scrollMax) {
            SetScrollPos32(nBar, scrollMax);
            Invalidate();
        }
        break;
    default:
        break;
    }
}

BOOL CGridCtrl::OnMouseWheel(UINT nFlags, short zDelta, CPoint pt)
{
    // Signed arithmetic, and never more lines than the grid has rows: a large lines-per-notch
    // setting must not flood the queue.
    if (m_nRowsPerWheelNotch == UINT_MAX) {
        const int pages = zDelta / WHEEL_DELTA;
        for (int i = 0; i < std::abs(pages); ++i)
            PostMessage(WM_VSCROLL, MAKEWPARAM(static_cast<WORD>(pages > 0 ? SB_PAGEUP : SB_PAGEDOWN), 0), 0);
    } else {
        long long lines = static_cast<long long>(zDelta) * static_cast<long long>(m_nRowsPerWheelNotch) / WHEEL_DELTA;
        lines = std::clamp<long long>(lines, -m_nRows, m_nRows);
        if (lines >= 1) {
            for (long long i = 0; i < lines; ++i)
                PostMessage(WM_VSCROLL, MAKEWPARAM(SB_LINEUP, 0), 0);
        } else {
            for (long long i = 0; i < -lines; ++i)
                PostMessage(WM_VSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), 0);
        }
    }
    return CWnd::OnMouseWheel(nFlags, zDelta, pt);
}

void CGridCtrl::EnsureVisible(int nRow, int nCol)
{
    if (!m_bAllowDraw || !IsValid(nRow, nCol))
        return;
    const HWND focus = ::GetFocus();

    const CCellRange visible = GetVisibleNonFixedCellRange();
    int right = nCol - visible.GetMaxCol();
    int left = visible.GetMinCol() - nCol;
    int down = nRow - visible.GetMaxRow();
    int up = visible.GetMinRow() - nRow;

    for (int col = visible.GetMaxCol() + 1; right > 0; --right, ++col)
        if (GetColumnWidth(col) > 0)
            SendMessage(WM_HSCROLL, SB_LINERIGHT, 0);
    for (int col = visible.GetMinCol() - 1; left > 0; --left, --col)
        if (GetColumnWidth(col) > 0)
            SendMessage(WM_HSCROLL, SB_LINELEFT, 0);
    for (int row = visible.GetMaxRow() + 1; down > 0; --down, ++row)
        if (GetRowHeight(row) > 0)
            SendMessage(WM_VSCROLL, SB_LINEDOWN, 0);
    for (int row = visible.GetMinRow() - 1; up > 0; --up, --row)
        if (GetRowHeight(row) > 0)
            SendMessage(WM_VSCROLL, SB_LINEUP, 0);

    // Step on while the cell sticks out; a step that does not move the view ends the walk.
    CRect cellRect, client;
    if (GetCellRect(nRow, nCol, cellRect)) {
        GetClientRect(client);
        while (cellRect.right > client.right && cellRect.left > GetFixedColumnWidth() && (m_nBarState & 1)) {
            const int before = GetScrollPos32(SB_HORZ);
            SendMessage(WM_HSCROLL, SB_LINERIGHT, 0);
            if (GetScrollPos32(SB_HORZ) == before || !GetCellRect(nRow, nCol, cellRect))
                break;
        }
        GetClientRect(client);
        while (cellRect.bottom > client.bottom && cellRect.top > GetFixedRowHeight() && (m_nBarState & 2)) {
            const int before = GetScrollPos32(SB_VERT);
            SendMessage(WM_VSCROLL, SB_LINEDOWN, 0);
            if (GetScrollPos32(SB_VERT) == before || !GetCellRect(nRow, nCol, cellRect))
                break;
        }
    }

    if (focus && focus != ::GetFocus() && ::IsWindow(focus))
        ::SetFocus(focus);
}

// ---- Redrawing ----

void CGridCtrl::Refresh()
{
    if (::IsWindow(m_hWnd) && m_bAllowDraw)
        Invalidate();
}

BOOL CGridCtrl::InvalidateCell(int nRow, int nCol)
{
    if (!::IsWindow(m_hWnd) || !m_bAllowDraw || !IsValid(nRow, nCol) || !IsCellVisible(nRow, nCol))
        return FALSE;
    CRect rect;
    if (!GetCellRect(nRow, nCol, rect))
        return FALSE;
    rect.right++;
    rect.bottom++;
    InvalidateRect(rect, TRUE);
    return TRUE;
}

BOOL CGridCtrl::RedrawCell(int nRow, int nCol, CDC* pDC)
{
    if (!m_bAllowDraw || !IsCellVisible(nRow, nCol))
        return FALSE;
    CRect rect;
    if (!GetCellRect(nRow, nCol, rect))
        return FALSE;

    CDC* windowDC = nullptr;
    if (!pDC)
        pDC = windowDC = GetDC();
    if (!pDC) {
        InvalidateRect(rect, TRUE);
        return TRUE;
    }

    BOOL result = TRUE;
    CGridCellBase* cell = GetCell(nRow, nCol);
    if (nRow < m_nFixedRows || nCol < m_nFixedCols) {
        if (cell)
            result = cell->Draw(pDC, nRow, nCol, rect, TRUE);
    } else {
        if (cell)
            result = cell->Draw(pDC, nRow, nCol, rect, TRUE);

        CPen pen(PS_SOLID, 0, m_crGridLineColour);
        CPen* oldPen = pDC->SelectObject(&pen);
        if (m_nGridLines == GRIDLINES_HORZ || m_nGridLines == GRIDLINES_BOTH) {
            pDC->MoveTo(rect.left, rect.bottom);
            pDC->LineTo(rect.right + 1, rect.bottom);
        }
        if (m_nGridLines == GRIDLINES_VERT || m_nGridLines == GRIDLINES_BOTH) {
            pDC->MoveTo(rect.right, rect.top);
            pDC->LineTo(rect.right, rect.bottom + 1);
        }
        if (CCellID(nRow, nCol) == m_idCurrentCell) {
            const int w = rect.right - rect.left;
            const int h = rect.bottom - rect.top;
            const CRect marker(rect.left + static_cast<int>(w * 0.25), rect.top + static_cast<int>(h * 0.25),
                               rect.left + static_cast<int>(w * 0.75), rect.top + static_cast<int>(h * 0.75));
            pDC->Rectangle(marker);
            CBrush brush(m_crCurrentCellColour);
            pDC->FillRect(marker, &brush);
        }
        pDC->SelectObject(oldPen);
    }

    if (windowDC)
        ReleaseDC(windowDC);
    return result;
}

// ---- Painting ----

BOOL CGridCtrl::OnEraseBkgnd(CDC*)
{
    return TRUE;
}

void CGridCtrl::OnPaint()
{
    {
        CPaintDC dc(this);
        if (m_bDoubleBuffer) {
            // The off-screen picture reaches the window when this scope ends, before the marker.
            CMemDC memDC(&dc);
            OnDraw(&memDC);
        } else {
            OnDraw(&dc);
        }
    }
    // The current-cell marker is drawn only here, straight onto the window.
    RedrawCell(m_idCurrentCell);
}

void CGridCtrl::EraseBkgnd(CDC* pDC)
{
    CRect clip;
    if (pDC->GetClipBox(clip) == ERROR)
        return;
    CBrush fixedRowColBack(GetDefaultCell(TRUE, TRUE)->GetBackClr());
    CBrush fixedRowBack(GetDefaultCell(TRUE, FALSE)->GetBackClr());
    CBrush fixedColBack(GetDefaultCell(FALSE, TRUE)->GetBackClr());
    CBrush textBack(GetDefaultCell(FALSE, FALSE)->GetBackClr());
    CBrush back(m_crGridBkColour);

    CRect visible;
    GetVisibleNonFixedCellRange(visible);
    const int fixedColWidth = GetFixedColumnWidth();
    const int fixedRowHeight = GetFixedRowHeight();

    if (clip.left < fixedColWidth && clip.top < fixedRowHeight)
        pDC->FillRect(CRect(clip.left, clip.top, fixedColWidth, fixedRowHeight), &fixedRowColBack);
    if (clip.left < fixedColWidth && clip.top < visible.bottom)
        pDC->FillRect(CRect(clip.left, clip.top, fixedColWidth, visible.bottom), &fixedColBack);
    if (clip.top < fixedRowHeight && clip.right > fixedColWidth && clip.left < visible.right)
        pDC->FillRect(CRect(fixedColWidth - 1, clip.top, visible.right, fixedRowHeight), &fixedRowBack);
    CRect both;
    if (both.IntersectRect(visible, clip))
        pDC->FillRect(CRect(std::max<int>(fixedColWidth, both.left), std::max<int>(fixedRowHeight, both.top), both.right, both.bottom), &textBack);
    if (visible.right < clip.right)
        pDC->FillRect(CRect(visible.right, clip.top, clip.right, clip.bottom), &back);
    if (visible.bottom < clip.bottom && clip.left < visible.right)
        pDC->FillRect(CRect(clip.left, visible.bottom, visible.right, clip.bottom), &back);
}

void CGridCtrl::OnDraw(CDC* pDC)
{
    if (!m_bAllowDraw)
        return;
    CRect clip;
    if (pDC->GetClipBox(clip) == ERROR)
        return;

    EraseBkgnd(pDC);

    const int fixedRowHeight = GetFixedRowHeight();
    const int fixedColWidth = GetFixedColumnWidth();
    const CCellID topLeft = GetTopleftNonFixedCell();
    CRect visible;
    const CCellRange range = GetVisibleNonFixedCellRange(visible);
    const int minRow = topLeft.row, minCol = topLeft.col;
    const int maxRow = range.GetMaxRow(), maxCol = range.GetMaxCol();

    if (m_bVirtualMode)
        SendCacheHint(range);

    // Cells from running edges, each from the previous edge + 1; rows and columns of size 0 are
    // left out, and so is whatever lies outside the clip box.
    const auto drawBlock = [&](int rowFrom, int rowTo, int top, int colFrom, int colTo, int left) {
        CRect rect;
        rect.bottom = top;
        for (int row = rowFrom; row <= rowTo; ++row) {
            const int height = GetRowHeight(row);
            if (height <= 0)
                continue;
            rect.top = rect.bottom + 1;
            rect.bottom = rect.top + height - 1;
            if (rect.top > clip.bottom)
                break;
            if (rect.bottom < clip.top)
                continue;
            rect.right = left;
            for (int col = colFrom; col <= colTo; ++col) {
                const int width = GetColumnWidth(col);
                if (width <= 0)
                    continue;
                rect.left = rect.right + 1;
                rect.right = rect.left + width - 1;
                if (rect.left > clip.right)
                    break;
                if (rect.right < clip.left)
                    continue;
                if (CGridCellBase* cell = GetCell(row, col)) {
                    cell->SetCoords(row, col);
                    cell->Draw(pDC, row, col, rect, FALSE);
                }
            }
        }
    };
    drawBlock(0, m_nFixedRows - 1, -1, 0, m_nFixedCols - 1, -1);
    drawBlock(minRow, maxRow, fixedRowHeight - 1, 0, m_nFixedCols - 1, -1);
    drawBlock(0, m_nFixedRows - 1, -1, minCol, maxCol, fixedColWidth - 1);
    drawBlock(minRow, maxRow, fixedRowHeight - 1, minCol, maxCol, fixedColWidth - 1);

    CPen pen(PS_SOLID, 0, m_crGridLineColour);
    pDC->SelectObject(&pen);
    if (m_nGridLines == GRIDLINES_VERT || m_nGridLines == GRIDLINES_BOTH) {
        int x = fixedColWidth;
        for (int col = minCol; col <= maxCol; ++col) {
            if (GetColumnWidth(col) <= 0)
                continue;
            x += GetColumnWidth(col);
            pDC->MoveTo(x - 1, fixedRowHeight);
            pDC->LineTo(x - 1, visible.bottom);
        }
    }
    if (m_nGridLines == GRIDLINES_HORZ || m_nGridLines == GRIDLINES_BOTH) {
        int y = fixedRowHeight;
        for (int row = minRow; row <= maxRow; ++row) {
            if (GetRowHeight(row) <= 0)
                continue;
            y += GetRowHeight(row);
            pDC->MoveTo(fixedColWidth, y - 1);
            pDC->LineTo(visible.right, y - 1);
        }
    }
    pDC->SelectStockObject(NULL_PEN);

    if (m_bVirtualMode)
        SendCacheHint(CCellRange());
}

// ---- Sizing to content ----

BOOL CGridCtrl::AutoSizeRow(int nRow, BOOL bResetScroll)
{
    if (nRow < 0 || nRow >= m_nRows || GetRowHeight(nRow) <= 0)
        return FALSE;
    CDC* pDC = GetDC();
    if (!pDC)
        return FALSE;

    if (m_bVirtualMode)
        SendCacheHint(CCellRange(nRow, 0, nRow, m_nCols - 1));
    int height = 0;
    for (int col = 0; col < m_nCols; ++col)
        if (CGridCellBase* cell = GetCell(nRow, col))
            height = std::max<int>(height, cell->GetCellExtent(pDC).cy);
    m_arRowHeights[nRow] = static_cast<UINT>(height);
    if (m_bVirtualMode)
        SendCacheHint(CCellRange());

    ReleaseDC(pDC);
    if (bResetScroll)
        ResetScrollBars();
    return TRUE;
}

BOOL CGridCtrl::AutoSizeColumn(int nCol, UINT nAutoSizeStyle, BOOL bResetScroll)
{
    if (nCol < 0 || nCol >= m_nCols || GetColumnWidth(nCol) <= 0)
        return FALSE;
    if (nAutoSizeStyle == GRIDAUTOSIZE_DEFAULT)
        nAutoSizeStyle = m_nAutoSizeColumnStyle;
    CDC* pDC = GetDC();
    if (!pDC)
        return FALSE;

    const int startRow = (nAutoSizeStyle & GRIDAUTOSIZE_HEADER) ? 0 : m_nFixedRows;
    const int endRow = (nAutoSizeStyle & GRIDAUTOSIZE_DATA) ? m_nRows - 1 : m_nFixedRows - 1;
    if (m_bVirtualMode)
        SendCacheHint(CCellRange(startRow, nCol, endRow, nCol));
    int width = 0;
    for (int row = startRow; row <= endRow; ++row)
        if (CGridCellBase* cell = GetCell(row, nCol))
            width = std::max<int>(width, cell->GetCellExtent(pDC).cx);
    m_arColWidths[m_arColOrder[nCol]] = static_cast<UINT>(width);
    if (m_bVirtualMode)
        SendCacheHint(CCellRange());

    ReleaseDC(pDC);
    if (bResetScroll)
        ResetScrollBars();
    return TRUE;
}

void CGridCtrl::AutoSizeColumns(UINT nAutoSizeStyle)
{
    for (int col = 0; col < m_nCols; ++col)
        if (GetColumnWidth(col) > 0)
            AutoSizeColumn(col, nAutoSizeStyle, FALSE);
    ResetScrollBars();
}

// ---- Window messages ----

void CGridCtrl::OnSize(UINT nType, int cx, int cy)
{
    // Showing or hiding a bar below resizes the client area and comes back here.
    static bool s_bAlreadyInside = false;
    if (s_bAlreadyInside || !::IsWindow(m_hWnd))
        return;
    s_bAlreadyInside = true;
    // Any grid that has been sized takes drops, however its window was made.
    m_DropTarget.Register(this);
    EndEditing();
    CWnd::OnSize(nType, cx, cy);
    ResetScrollBars();
    s_bAlreadyInside = false;
}

LRESULT CGridCtrl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SETFONT: {
        const LRESULT result = CWnd::WindowProc(message, wParam, lParam);
        LOGFONT lf{};
        if (wParam && ::GetObject(reinterpret_cast<HGDIOBJ>(wParam), sizeof(LOGFONT), &lf)) {
            m_cellDefault.SetFont(&lf);
            m_cellFixedColDef.SetFont(&lf);
            m_cellFixedRowDef.SetFont(&lf);
            m_cellFixedRowColDef.SetFont(&lf);
            // An edit that is running takes the new font as well.
            if (CWnd* edit = GetDlgItem(static_cast<int>(kInPlaceEditId)))
                edit->SetFont(GetFont());
            Refresh();
        }
        return result;
    }
    case WM_GETFONT: {
        CFont* font = m_cellDefault.GetFontObject();
        return reinterpret_cast<LRESULT>(font ? static_cast<HFONT>(*font) : nullptr);
    }
    default:
        return CWnd::WindowProc(message, wParam, lParam);
    }
}

void CGridCtrl::OnSysColorChange()
{
    CWnd::OnSysColorChange();
    for (CGridDefaultCell* cell : {&m_cellDefault, &m_cellFixedColDef, &m_cellFixedRowDef, &m_cellFixedRowColDef}) {
        if (cell->GetTextClr() == m_crWindowText)
            cell->SetTextClr(::GetSysColor(COLOR_WINDOWTEXT));
        if (cell->GetBackClr() == m_crWindowColour)
            cell->SetBackClr(::GetSysColor(COLOR_WINDOW));
    }
    if (m_crGridBkColour == m_crShadow)
        m_crGridBkColour = ::GetSysColor(COLOR_3DSHADOW);
    m_crWindowText = ::GetSysColor(COLOR_WINDOWTEXT);
    m_crWindowColour = ::GetSysColor(COLOR_WINDOW);
    m_cr3DFace = ::GetSysColor(COLOR_3DFACE);
    m_crShadow = ::GetSysColor(COLOR_3DSHADOW);
}
