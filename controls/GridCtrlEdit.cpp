// Editing in place, the clipboard, and drag and drop of the grid.
//
// Clipboard text is UTF-8: cells are separated by Tabs, rows by "\r\n", and a paste splits lines
// at "\n" and cells at the first Tab or comma.

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "controls/GridCtrl.h"
#include "controls/InPlaceEdit.h"
#include "platform/ctl/afxres.h"

namespace {

std::string Trimmed(std::string_view s)
{
    const char* ws = " \t\r\n\v\f";
    const size_t b = s.find_first_not_of(ws);
    if (b == std::string_view::npos)
        return {};
    const size_t e = s.find_last_not_of(ws);
    return std::string(s.substr(b, e - b + 1));
}

// Moves element `from` so that it lands where `to` was; both must be indexes of v.
template <typename V>
void MoveEntry(V& v, int from, int to)
{
    if (from < to)
        std::rotate(v.begin() + from, v.begin() + from + 1, v.begin() + to + 1);
    else if (from > to)
        std::rotate(v.begin() + to, v.begin() + from, v.begin() + from + 1);
}

}  // namespace

// ---- editing ----

void CGridCtrl::OnEditCell(int nRow, int nCol, CPoint point, UINT nChar)
{
    m_TitleTip.Hide();
    if (!IsValid(nRow, nCol) || !IsCellEditable(nRow, nCol))
        return;
    EnsureVisible(nRow, nCol);
    if (!IsCellVisible(nRow, nCol))
        return;
    CRect rect;
    if (!GetCellRect(nRow, nCol, &rect))
        return;
    const HWND self = m_hWnd;
    if (NotifyOwner(nRow, nCol, LVN_BEGINLABELEDITW) < 0 || !::IsWindow(self))
        return;
    CGridCellBase* cell = GetCell(nRow, nCol);
    if (!cell)
        return;
    // A running editor is handed the character itself.
    if (cell->IsEditing())
        nChar &= ~INPLACEEDIT_TYPED;
    cell->Edit(nRow, nCol, rect, point, kInPlaceEditId, nChar);
}

BOOL CGridCtrl::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    NMHDR* hdr = reinterpret_cast<NMHDR*>(lParam);
    if (hdr && hdr->idFrom == kInPlaceEditId && hdr->code == LVN_ENDLABELEDITW) {
        OnEndInPlaceEdit(hdr, pResult);
        return TRUE;
    }
    return CWnd::OnNotify(wParam, lParam, pResult);
}

void CGridCtrl::OnEndInPlaceEdit(NMHDR* pNMHDR, LRESULT* pResult)
{
    const GridDispInfo* info = reinterpret_cast<const GridDispInfo*>(pNMHDR);
    if (pResult)
        *pResult = 0;
    if (!::IsWindow(m_hWnd))
        return;
    const HWND self = m_hWnd;
    // The grid may have shrunk while the box was open.
    if (IsValid(info->item.row, info->item.col))
        OnEndEditCell(info->item.row, info->item.col, info->item.strText);
    if (!::IsWindow(self))
        return;
    const UINT key = static_cast<UINT>(info->item.lParam);
    if (key == static_cast<UINT>(VK_TAB) || (key >= static_cast<UINT>(VK_PRIOR) && key <= static_cast<UINT>(VK_DOWN))) {
        OnKeyDown(key, 0, 0);
        if (!::IsWindow(self))
            return;
        OnEditCell(m_idFocusCell.row, m_idFocusCell.col, CPoint(-1, -1), key);
    }
}

void CGridCtrl::OnEndEditCell(int nRow, int nCol, std::string str)
{
    CGridCellBase* cell = GetCell(nRow, nCol);
    if (!cell)
        return;
    const std::string old = cell->GetText();
    if (str != old) {
        // Tentatively through the cell, so that a refusal leaves no modified mark.
        cell->SetText(str.c_str());
        if (ValidateEdit(nRow, nCol, str.c_str()) && NotifyOwner(nRow, nCol, LVN_ENDLABELEDITW) >= 0) {
            SetModified(TRUE, nRow, nCol);
            RedrawCell(nRow, nCol);
        } else if (CGridCellBase* again = GetCell(nRow, nCol)) {
            again->SetText(old.c_str());
        }
    }
    if (CGridCellBase* again = GetCell(nRow, nCol))
        again->OnEndEdit();
}

BOOL CGridCtrl::ValidateEdit(int nRow, int nCol, LPCSTR str)
{
    CGridCellBase* cell = GetCell(nRow, nCol);
    return cell ? cell->ValidateEdit(str) : TRUE;
}

void CGridCtrl::EndEditing()
{
    if (!IsValid(m_idFocusCell))
        return;
    if (CGridCellBase* cell = GetCell(m_idFocusCell.row, m_idFocusCell.col))
        cell->EndEdit();
}

BOOL CGridCtrl::IsItemEditing(int nRow, int nCol)
{
    CGridCellBase* cell = GetCell(nRow, nCol);
    return cell ? cell->IsEditing() : FALSE;
}

void CGridCtrl::ValidateAndModifyCellContents(int nRow, int nCol, LPCSTR strText)
{
    if (!IsCellEditable(nRow, nCol))
        return;
    if (NotifyOwner(nRow, nCol, LVN_BEGINLABELEDITW) < 0)
        return;
    CGridCellBase* cell = GetCell(nRow, nCol);
    if (!cell)
        return;
    const std::string old = cell->GetText();
    const std::string text = strText ? strText : "";
    if (text == old)
        return;
    cell->SetText(text.c_str());
    if (ValidateEdit(nRow, nCol, text.c_str()) && NotifyOwner(nRow, nCol, LVN_ENDLABELEDITW) >= 0) {
        SetModified(TRUE, nRow, nCol);
        RedrawCell(nRow, nCol);
    } else if (CGridCellBase* again = GetCell(nRow, nCol)) {
        again->SetText(old.c_str());
    }
}

// ---- clipboard ----

COleDataSource* CGridCtrl::CopyTextFromGrid()
{
    const CCellRange selection = GetSelectedCellRange();
    if (!IsValid(selection))
        return nullptr;
    if (m_bVirtualMode)
        SendCacheHint(selection);

    std::string text;
    for (int row = selection.GetMinRow(); row <= selection.GetMaxRow(); ++row) {
        if (GetRowHeight(row) <= 0)
            continue;
        for (int col = selection.GetMinCol(); col <= selection.GetMaxCol(); ++col) {
            if (GetColumnWidth(col) <= 0)
                continue;
            CGridCellBase* cell = GetCell(row, col);
            if (cell && IsCellSelected(row, col))
                text += cell->GetText();
            if (col != selection.GetMaxCol())
                text += '\t';
        }
        if (row != selection.GetMaxRow())
            text += "\r\n";
    }
    if (m_bVirtualMode)
        SendCacheHint(CCellRange(-1, -1, -1, -1));

    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE | GMEM_ZEROINIT, text.size() + 1);
    if (!mem)
        return nullptr;
    std::memcpy(GlobalLock(mem), text.c_str(), text.size() + 1);
    GlobalUnlock(mem);
    auto* source = new COleDataSource;
    source->CacheGlobalData(CF_TEXT, mem);
    return source;
}

void CGridCtrl::OnEditCopy()
{
    if (COleDataSource* source = CopyTextFromGrid())
        source->SetClipboard();
}

void CGridCtrl::OnEditCut()
{
    if (!IsEditable())
        return;
    const std::vector<CCellID> copied = CopiedCells();
    COleDataSource* source = CopyTextFromGrid();
    if (!source)
        return;
    source->SetClipboard();
    // Only what went to the clipboard is taken away: hidden selected cells keep their text.
    CutCopiedText(copied);
}

// Delete: the text of every selected cell.
void CGridCtrl::CutSelectedText()
{
    if (!IsEditable())
        return;
    // A copy: the owner hears of each cell and may change the selection meanwhile.
    const auto selected = m_SelectedCellMap;
    for (const auto& [key, cell] : selected)
        ValidateAndModifyCellContents(cell.row, cell.col, "");
}

// The same cells as CopyTextFromGrid's walk writes text for (a virtual grid always has a cell).
std::vector<CCellID> CGridCtrl::CopiedCells() const
{
    std::vector<CCellID> cells;
    for (const auto& [key, cell] : m_SelectedCellMap)
        if (GetRowHeight(cell.row) > 0 && GetColumnWidth(cell.col) > 0 && IsCellSelected(cell.row, cell.col) &&
            (m_bVirtualMode || GetCell(cell.row, cell.col)))
            cells.push_back(cell);
    return cells;
}

void CGridCtrl::CutCopiedText(const std::vector<CCellID>& copied)
{
    if (!IsEditable())
        return;
    // Decided before the first notification, as the owner may change the selection meanwhile.
    std::vector<CCellID> cut;
    for (const CCellID& cell : copied)
        if (IsCellSelected(cell.row, cell.col))
            cut.push_back(cell);
    for (const CCellID& cell : cut)
        ValidateAndModifyCellContents(cell.row, cell.col, "");
}

void CGridCtrl::OnEditPaste()
{
    if (!IsEditable())
        return;
    CCellID target;
    const CCellRange selection = GetSelectedCellRange();
    if (IsValid(selection)) {
        target = selection.GetTopLeft();
    } else {
        target = m_idFocusCell;
        if (!IsValid(target))
            target = GetTopleftNonFixedCell();
        if (!IsValid(target))
            return;
    }
    if (CGridCellBase* cell = GetCell(target.row, target.col)) {
        if (cell->IsEditing()) {
            if (auto* edit = dynamic_cast<CEdit*>(cell->GetEditWnd())) {
                edit->SendMessage(WM_PASTE);
                return;
            }
        }
    }
    COleDataObject data;
    if (data.AttachClipboard())
        PasteTextToGrid(target, &data, TRUE);
}

void CGridCtrl::OnEditSelectAll()
{
    NotifyOwner(m_LeftClickDownCell.row, m_LeftClickDownCell.col, LVN_ITEMCHANGING);
    SelectAllCells();
    NotifyOwner(m_idFocusCell.row, m_idFocusCell.col, LVN_ITEMCHANGED);
}

BOOL CGridCtrl::IsEditCommandEnabled(UINT nID)
{
    switch (nID) {
    case ID_EDIT_COPY: return GetSelectedCount() > 0;
    case ID_EDIT_CUT: return IsEditable() && GetSelectedCount() > 0;
    case ID_EDIT_PASTE:
        return IsValid(m_idFocusCell) && IsCellEditable(m_idFocusCell) && IsClipboardFormatAvailable(CF_TEXT);
    case ID_EDIT_SELECT_ALL: return m_bEnableSelection;
    default: return FALSE;
    }
}

BOOL CGridCtrl::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (lParam == 0) {  // menus and accelerators, not child controls
        switch (LOWORD(wParam)) {
        case ID_EDIT_CUT: OnEditCut(); return TRUE;
        case ID_EDIT_COPY: OnEditCopy(); return TRUE;
        case ID_EDIT_PASTE: OnEditPaste(); return TRUE;
        case ID_EDIT_SELECT_ALL: OnEditSelectAll(); return TRUE;
        default: break;
        }
    }
    return CWnd::OnCommand(wParam, lParam);
}

BOOL CGridCtrl::PasteTextToGrid(CCellID cell, COleDataObject* pDataObject, BOOL bSelectPastedCells)
{
    if (!IsValid(cell) || !IsCellEditable(cell) || !pDataObject || !pDataObject->IsDataAvailable(CF_TEXT))
        return FALSE;
    HGLOBAL mem = pDataObject->GetGlobalData(CF_TEXT);
    if (!mem)
        return FALSE;
    std::string text;
    if (const char* p = static_cast<const char*>(GlobalLock(mem))) {
        // Up to the NUL, never past the block's end.
        const size_t size = GlobalSize(mem);
        const void* nul = std::memchr(p, 0, size);
        text.assign(p, nul ? static_cast<size_t>(static_cast<const char*>(nul) - p) : size);
        GlobalUnlock(mem);
    }
    GlobalFree(mem);

    m_bPasteLeftTextOut = false;
    CCellRange pasted(cell.row, cell.col, -1, -1);
    const std::string_view all(text);
    size_t pos = 0;
    int n = 0;
    while (pos < all.size()) {
        const size_t eol = all.find('\n', pos);
        const std::string_view line = all.substr(pos, eol == std::string_view::npos ? std::string_view::npos : eol - pos);
        pos = eol == std::string_view::npos ? all.size() : eol + 1;

        while (cell.row + n < m_nRows && GetRowHeight(cell.row + n) == 0)
            ++n;
        const int row = cell.row + n;
        int m = 0;
        size_t at = 0;
        while (at < line.size()) {
            const size_t sep = line.find_first_of("\t,", at);
            const std::string_view field = line.substr(at, sep == std::string_view::npos ? std::string_view::npos : sep - at);
            at = sep == std::string_view::npos ? line.size() : sep + 1;

            while (cell.col + m < m_nCols && GetColumnWidth(cell.col + m) == 0)
                ++m;
            const int col = cell.col + m;
            const std::string value = Trimmed(field);
            if (IsValid(row, col)) {
                ValidateAndModifyCellContents(row, col, value.c_str());
                if (IsValid(row, col))
                    SetItemState(row, col, GetItemState(row, col) & ~GRIDCELL_SELECTED);
                pasted.SetMaxRow(std::max(pasted.GetMaxRow(), row));
                pasted.SetMaxCol(std::max(pasted.GetMaxCol(), col));
            }
            if (!value.empty() && GetItemText(row, col) != value)
                m_bPasteLeftTextOut = true;
            ++m;
        }
        ++n;
    }

    if (bSelectPastedCells) {
        SetSelectedRange(pasted, TRUE);
    } else {
        ResetSelectedRange();
        Refresh();
    }
    return TRUE;
}

// ---- drag and drop ----

void CGridCtrl::OnBeginDrag()
{
    if (!m_bAllowDragAndDrop && m_CurCol == -1)
        return;
    // What a move takes away: the cells whose text the source carries, as they are now.
    const std::vector<CCellID> copied = m_CurCol >= 0 ? std::vector<CCellID>{} : CopiedCells();
    std::unique_ptr<COleDataSource> source(m_CurCol >= 0 ? new COleDataSource : CopyTextFromGrid());
    if (!source)
        return;
    const CCellRange selection = GetSelectedCellRange();
    const HWND self = m_hWnd;
    NotifyOwner(selection.GetMinRow(), selection.GetMinCol(), LVN_BEGINDRAG);
    if (!::IsWindow(self))
        return;
    m_MouseMode = MOUSE_DRAGGING;
    m_bLMouseButtonDown = FALSE;
    m_bReorderDrop = false;

    m_bDragSource = true;
    bool leftOut = false;
    bool* const outer = std::exchange(s_pDropLeftTextOut, &leftOut);
    const DROPEFFECT effect = source->DoDragDrop(DROPEFFECT_COPY | DROPEFFECT_MOVE);
    s_pDropLeftTextOut = outer;
    if (!::IsWindow(self))
        return;
    m_bDragSource = false;
    // A row or column moved inside this grid was not taken away from it: nothing to cut. Nor is
    // anything cut when the target took only part of the text: the move becomes a copy. Else
    // the carried cells that are still selected are cleared (a drop inside this grid replaced
    // the selection, so there the move stays a copy); hidden cells were not carried and stay.
    if ((effect & DROPEFFECT_MOVE) && !m_bReorderDrop && !leftOut)
        CutCopiedText(copied);
    m_bReorderDrop = false;
    // A column drag that was cancelled or dropped elsewhere is over too.
    m_CurCol = -1;
    // The drag loop took the button's release: the press of this grid is over.
    if (m_MouseMode == MOUSE_DRAGGING)
        m_MouseMode = MOUSE_NOTHING;
    if (GetCapture() == this)
        ReleaseCapture();
}

CGridCtrl::DragKind CGridCtrl::CurrentDragKind() const
{
    if (!m_bDragSource)
        return DragKind::Text;
    if (m_CurCol >= 0)
        return DragKind::Column;
    return m_bDragRowMode ? DragKind::Row : DragKind::Text;
}

DROPEFFECT CGridCtrl::OnDragEnter(COleDataObject* pDataObject, DWORD dwKeyState, CPoint point)
{
    const bool columnDrag = CurrentDragKind() == DragKind::Column;
    m_LastDragOverCell = GetCellFromPt(point, columnDrag ? TRUE : FALSE);
    const CCellID cell = m_LastDragOverCell;
    if (columnDrag) {
        if (!IsValid(cell) || cell.row >= m_nFixedRows || cell.col < m_nFixedCols)
            return DROPEFFECT_NONE;
    } else if (!m_bAllowDragAndDrop || !pDataObject || !pDataObject->IsDataAvailable(CF_TEXT) || !IsValid(cell) ||
               !IsCellEditable(cell)) {
        return DROPEFFECT_NONE;
    }
    SetItemState(cell.row, cell.col, GetItemState(cell.row, cell.col) | GRIDCELL_DROPHILITED);
    RedrawCell(cell);
    return (dwKeyState & MK_CONTROL) ? DROPEFFECT_COPY : DROPEFFECT_MOVE;
}

DROPEFFECT CGridCtrl::OnDragOver(COleDataObject* pDataObject, DWORD dwKeyState, CPoint point)
{
    const DragKind kind = CurrentDragKind();
    // A column is dropped on a header, so only then are fixed cells looked at.
    const CCellID cell = GetCellFromPt(point, kind == DragKind::Column ? TRUE : FALSE);
    bool good;
    if (kind == DragKind::Column)
        good = IsValid(cell) && cell.col >= m_nFixedCols && cell.row < m_nFixedRows;
    else if (kind == DragKind::Row)
        good = IsValid(cell) && cell.row >= m_nFixedRows && cell.col >= m_nFixedCols;
    else
        good = m_bAllowDragAndDrop && IsEditable() && pDataObject && pDataObject->IsDataAvailable(CF_TEXT) &&
               IsValid(cell);
    if (!good) {
        OnDragLeave();
        m_LastDragOverCell = CCellID();
        return DROPEFFECT_NONE;
    }
    if (kind == DragKind::Text && !IsCellEditable(cell))
        return DROPEFFECT_NONE;
    if (cell != m_LastDragOverCell) {
        if (IsValid(m_LastDragOverCell)) {
            SetItemState(m_LastDragOverCell.row, m_LastDragOverCell.col,
                         GetItemState(m_LastDragOverCell.row, m_LastDragOverCell.col) & ~GRIDCELL_DROPHILITED);
            RedrawCell(m_LastDragOverCell);
        }
        m_LastDragOverCell = cell;
        SetItemState(cell.row, cell.col, GetItemState(cell.row, cell.col) | GRIDCELL_DROPHILITED);
        RedrawCell(cell);
    }
    return (dwKeyState & MK_CONTROL) ? DROPEFFECT_COPY : DROPEFFECT_MOVE;
}

void CGridCtrl::OnDragLeave()
{
    if (!IsValid(m_LastDragOverCell))
        return;
    SetItemState(m_LastDragOverCell.row, m_LastDragOverCell.col,
                 GetItemState(m_LastDragOverCell.row, m_LastDragOverCell.col) & ~GRIDCELL_DROPHILITED);
    RedrawCell(m_LastDragOverCell);
}

BOOL CGridCtrl::OnDrop(COleDataObject* pDataObject, DROPEFFECT dropEffect, CPoint point)
{
    m_MouseMode = MOUSE_NOTHING;
    const DragKind kind = CurrentDragKind();
    if (kind != DragKind::Column) {
        if (!m_bAllowDragAndDrop || (kind == DragKind::Text && !IsCellEditable(m_LastDragOverCell)))
            return FALSE;
    }
    OnDragLeave();
    const CCellID target = m_LastDragOverCell;

    if (kind == DragKind::Text) {
        const BOOL pasted = PasteTextToGrid(target, pDataObject, FALSE);
        if (pasted && m_bPasteLeftTextOut && s_pDropLeftTextOut)
            *s_pDropLeftTextOut = true;
        return pasted;
    }

    if (kind == DragKind::Row) {
        // Rows: the dragged row lands right after the target row, or stays when it is the target.
        const int from = m_CurRow, to = target.row;
        if (from < m_nFixedRows || from >= m_nRows || to < m_nFixedRows || to >= m_nRows)
            return FALSE;
        m_bReorderDrop = true;
        if (from == to)
            return TRUE;
        if (m_bVirtualMode) {
            if (static_cast<int>(m_arRowOrder.size()) < m_nRows)
                return FALSE;
            MoveEntry(m_arRowOrder, from, from > to ? to + 1 : to);
        } else {
            // Outside virtual mode the rows themselves move, as a sort moves them.
            const int dest = from > to ? to + 1 : to;
            ResetSelectedRange();
            const CCellID focus = m_idFocusCell;
            if (IsValid(focus))
                SetItemState(focus.row, focus.col, GetItemState(focus.row, focus.col) & ~GRIDCELL_FOCUSED);
            MoveEntry(m_RowData, from, dest);
            MoveEntry(m_arRowHeights, from, dest);
            for (int row = std::min(from, dest); row <= std::max(from, dest); ++row)
                for (int col = 0; col < m_nCols; ++col)
                    if (CGridCellBase* cell = GetCell(row, col))
                        cell->SetCoords(row, col);
            if (IsValid(focus))
                SetItemState(focus.row, focus.col, GetItemState(focus.row, focus.col) | GRIDCELL_FOCUSED);
        }
        Invalidate();
        return TRUE;
    }

    if (target.col == m_CurCol || target.row >= m_nFixedRows || !IsValid(target) || m_CurCol >= m_nCols ||
        static_cast<int>(m_arColOrder.size()) < m_nCols)
        return FALSE;
    MoveEntry(m_arColOrder, m_CurCol, target.col);
    m_CurCol = -1;
    m_bReorderDrop = true;
    Invalidate();
    return TRUE;
}

CImageList* CGridCtrl::CreateDragImage(CPoint* pHotSpot)
{
    CDC* dc = GetDC();
    if (!dc)
        return nullptr;
    CRect rect;
    CGridCellBase* cell = GetCell(m_idFocusCell.row, m_idFocusCell.col);
    if (!cell || !GetCellRect(m_idFocusCell, &rect)) {
        ReleaseDC(dc);
        return nullptr;
    }
    rect.OffsetRect(-rect.left, -rect.top);
    if (pHotSpot)
        *pHotSpot = CPoint(rect.right, rect.bottom);

    auto list = std::make_unique<CImageList>();
    if (!list->Create(rect.Width(), rect.Height(), ILC_MASK, 1, 1)) {
        ReleaseDC(dc);
        return nullptr;
    }
    CDC memDC;
    CBitmap bitmap;
    if (memDC.CreateCompatibleDC(dc) && bitmap.CreateCompatibleBitmap(dc, rect.Width(), rect.Height())) {
        CBitmap* old = memDC.SelectObject(&bitmap);
        cell->Draw(&memDC, m_idFocusCell.row, m_idFocusCell.col, rect, TRUE);
        memDC.SelectObject(old);
        list->Add(&bitmap, GetDefaultCell(FALSE, FALSE)->GetBackClr());
    }
    ReleaseDC(dc);
    return list.release();
}
