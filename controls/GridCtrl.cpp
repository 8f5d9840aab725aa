#include "controls/GridCtrl.h"

#include <algorithm>
#include <new>
#include <numeric>

#include "platform/win/afxexcept.h"

namespace {

CGridCellBase* MakeGridCell() { return new CGridCell(); }

}  // namespace

CGridCtrl::CGridCtrl(int nRows, int nCols, int nFixedRows, int nFixedCols) : m_pfnCellFactory(&MakeGridCell)
{
    RegisterWindowClass();

    m_crWindowText = ::GetSysColor(COLOR_WINDOWTEXT);
    m_crWindowColour = ::GetSysColor(COLOR_WINDOW);
    m_cr3DFace = ::GetSysColor(COLOR_3DFACE);
    m_crShadow = ::GetSysColor(COLOR_3DSHADOW);

    UINT lines = 3;
    if (::SystemParametersInfo(SPI_GETWHEELSCROLLLINES, 0, &lines, 0))
        m_nRowsPerWheelNotch = lines;

    m_cellDefault.SetGrid(this);
    m_cellFixedColDef.SetGrid(this);
    m_cellFixedRowDef.SetGrid(this);
    m_cellFixedRowColDef.SetGrid(this);
    m_cellDefault.SetTextClr(m_crWindowText);
    m_cellDefault.SetBackClr(m_crWindowColour);
    for (CGridDefaultCell* cell : {&m_cellFixedColDef, &m_cellFixedRowDef, &m_cellFixedRowColDef}) {
        cell->SetTextClr(m_crWindowText);
        cell->SetBackClr(m_cr3DFace);
    }
    m_crGridBkColour = m_crShadow;

    SetRowCount(nRows);
    SetColumnCount(nCols);
    SetFixedRowCount(nFixedRows);
    SetFixedColumnCount(nFixedCols);
}

CGridCtrl::~CGridCtrl()
{
    m_bDestroying = true;
    DeleteAllItems();
    if (m_bTitleTips && ::IsWindow(m_TitleTip.GetSafeHwnd()))
        m_TitleTip.DestroyWindow();
    // The clipboard would otherwise keep a copy or cut source past the grid that made it.
    if (COleDataSource::GetClipboardOwner())
        COleDataSource::FlushClipboard();
}

BOOL CGridCtrl::RegisterWindowClass()
{
    WNDCLASS existing{};
    if (::GetClassInfo(nullptr, GRIDCTRL_CLASSNAME, &existing))
        return TRUE;
    WNDCLASS wc{};
    wc.style = CS_DBLCLKS | CS_VREDRAW | CS_HREDRAW;
    wc.lpfnWndProc = ::DefWindowProc;
    wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<UINT_PTR>(COLOR_3DFACE + 1));
    wc.lpszClassName = GRIDCTRL_CLASSNAME;
    if (!AfxRegisterClass(&wc))
        AfxThrowResourceException();
    return TRUE;
}

void CGridCtrl::PreSubclassWindow()
{
    CWnd::PreSubclassWindow();
    InitialiseWindow();
}

BOOL CGridCtrl::InitialiseWindow()
{
    static bool s_bInProcedure = false;
    if (s_bInProcedure)
        return FALSE;
    s_bInProcedure = true;
    m_TitleTip.SetParentWnd(this);
    if (::IsWindow(m_hWnd)) {
        ModifyStyleEx(0, WS_EX_CLIENTEDGE);
        // Moving out and back makes the new frame and the scroll bars redraw.
        CRect rect;
        GetWindowRect(rect);
        if (CWnd* parent = GetParent())
            parent->ScreenToClient(rect);
        CRect grown(rect);
        grown.InflateRect(1, 1);
        MoveWindow(grown, TRUE);
        MoveWindow(rect, TRUE);
    }
    s_bInProcedure = false;
    return TRUE;
}

// ---- Cells ----

CGridCellBase* CGridCtrl::CreateCell(int nRow, int nCol)
{
    if (!m_pfnCellFactory)
        return nullptr;
    CGridCellBase* cell = m_pfnCellFactory();
    if (!cell)
        return nullptr;
    cell->SetGrid(this);
    cell->SetCoords(nRow, nCol);
    if (nCol < m_nFixedCols)
        cell->SetState(cell->GetState() | GRIDCELL_FIXED | GRIDCELL_FIXEDCOL);
    if (nRow < m_nFixedRows)
        cell->SetState(cell->GetState() | GRIDCELL_FIXED | GRIDCELL_FIXEDROW);
    if (CGridDefaultCell* def = cell->GetDefaultCell())
        cell->SetFormat(def->GetFormat());
    return cell;
}

void CGridCtrl::DestroyCell(int nRow, int nCol)
{
    SetItemState(nRow, nCol, 0);
    if (m_bVirtualMode || nRow < 0 || nRow >= static_cast<int>(m_RowData.size()) || !m_RowData[nRow])
        return;
    if (nCol < 0 || nCol >= static_cast<int>(m_arColOrder.size()))
        return;
    GRID_ROW& row = *m_RowData[nRow];
    const int physical = m_arColOrder[nCol];
    if (physical < 0 || physical >= static_cast<int>(row.size()))
        return;
    delete row[physical];
    row[physical] = nullptr;
}

CGridCellBase* CGridCtrl::GetCell(int nRow, int nCol) const
{
    if (nRow < 0 || nRow >= m_nRows || nCol < 0 || nCol >= m_nCols)
        return nullptr;

    if (!m_bVirtualMode) {
        if (nRow >= static_cast<int>(m_RowData.size()) || !m_RowData[nRow] || nCol >= static_cast<int>(m_arColOrder.size()))
            return nullptr;
        const GRID_ROW& row = *m_RowData[nRow];
        const int physical = m_arColOrder[nCol];
        return physical >= 0 && physical < static_cast<int>(row.size()) ? row[physical] : nullptr;
    }

    // A record per call: an owner answering the request may ask for another cell meanwhile.
    GridDispInfo info{};
    GridItem& item = info.item;
    const CGridDefaultCell* def = GetDefaultCell(nRow < m_nFixedRows, nCol < m_nFixedCols);
    item.row = nRow;
    item.col = nCol;
    item.mask = GRIDITEM_ALL;
    item.nFormat = def->GetFormat();
    item.iImage = def->GetImage();
    item.crBkClr = def->GetBackClr();
    item.crFgClr = def->GetTextClr();
    item.lParam = def->GetData();
    if (const LOGFONT* font = def->GetFont())
        item.lfFont = *font;
    item.nMargin = def->GetMargin();
    item.nState = 0;

    // The selection map is the truth in virtual mode (the cell's bit is made from it).
    if (m_SelectedCellMap.count(SelectionKey(nRow, nCol)))
        item.nState |= GRIDCELL_SELECTED;
    if (nRow < m_nFixedRows)
        item.nState |= GRIDCELL_FIXED | GRIDCELL_FIXEDROW;
    if (nCol < m_nFixedCols)
        item.nState |= GRIDCELL_FIXED | GRIDCELL_FIXEDCOL;
    if (CCellID(nRow, nCol) == m_idFocusCell)
        item.nState |= GRIDCELL_FOCUSED;

    if (!m_bDestroying) {
        if (nRow < static_cast<int>(m_arRowOrder.size()))
            item.row = m_arRowOrder[nRow];
        if (nCol < static_cast<int>(m_arColOrder.size()))
            item.col = m_arColOrder[nCol];
        if (m_pfnCallback)
            m_pfnCallback(&info, m_lParam);
        else
            RequestDisplayInfo(&info);
        item.row = nRow;
        item.col = nCol;
    }

    if (!m_pVirtualCell)
        m_pVirtualCell = std::make_unique<CGridCell>();
    CGridCell* cell = m_pVirtualCell.get();
    cell->SetState(item.nState);
    cell->SetFormat(item.nFormat);
    cell->SetImage(item.iImage);
    cell->SetBackClr(item.crBkClr);
    cell->SetTextClr(item.crFgClr);
    cell->SetData(item.lParam);
    cell->SetFont(&item.lfFont);
    cell->SetMargin(item.nMargin);
    cell->SetText(item.strText.c_str());
    cell->SetGrid(const_cast<CGridCtrl*>(this));
    return cell;
}

CGridDefaultCell* CGridCtrl::GetDefaultCell(BOOL bFixedRow, BOOL bFixedCol) const
{
    const CGridDefaultCell* cell;
    if (bFixedRow && bFixedCol)
        cell = &m_cellFixedRowColDef;
    else if (bFixedRow)
        cell = &m_cellFixedRowDef;
    else if (bFixedCol)
        cell = &m_cellFixedColDef;
    else
        cell = &m_cellDefault;
    return const_cast<CGridDefaultCell*>(cell);
}

BOOL CGridCtrl::IsValid(const CCellRange& range) const
{
    return range.IsValid() && range.GetMaxRow() < m_nRows && range.GetMaxCol() < m_nCols;
}

// ---- Counts ----

void CGridCtrl::ForgetSelectionOutside()
{
    for (auto* map : {&m_SelectedCellMap, &m_PrevSelectedCellMap})
        std::erase_if(*map, [this](const auto& entry) { return !IsValid(entry.second); });
}

BOOL CGridCtrl::SetRowCount(int nRows)
{
    if (nRows == m_nRows)
        return TRUE;
    if (nRows < 0)
        return FALSE;

    m_idTopLeftCell = CCellID();
    if (nRows < m_nFixedRows)
        m_nFixedRows = nRows;
    // (A focus row past the end stays as it is: validity tests treat it as no focus.)

    if (nRows < m_nRows && !m_bVirtualMode) {
        for (int row = nRows; row < m_nRows; ++row) {
            for (int col = 0; col < m_nCols; ++col)
                DestroyCell(row, col);
            if (row < static_cast<int>(m_RowData.size()))
                m_RowData[row].reset();
        }
        m_nRows = nRows;
    }

    try {
        const UINT height = static_cast<UINT>(std::max(0, m_cellDefault.GetHeight()));
        if (m_bVirtualMode) {
            m_arRowHeights.resize(nRows, height);
            m_nRows = nRows;
            m_arRowOrder.resize(nRows);
            std::iota(m_arRowOrder.begin(), m_arRowOrder.end(), 0);
        } else {
            m_arRowHeights.resize(nRows);
            m_RowData.resize(nRows);
            for (int row = m_nRows; row < nRows; ++row) {
                m_arRowHeights[row] = height;
                m_RowData[row] = std::make_unique<GRID_ROW>(m_nCols, nullptr);
                GRID_ROW& cells = *m_RowData[row];
                for (int col = 0; col < m_nCols; ++col)
                    cells[m_arColOrder[col]] = CreateCell(row, col);
                m_nRows++;
            }
        }
    } catch (const std::bad_alloc&) {
        AfxMessageBox("Out of memory.", MB_OK | MB_ICONSTOP);
        return FALSE;
    }

    // In virtual mode no cell was destroyed to take the removed rows' keys out.
    ForgetSelectionOutside();
    SetModified(TRUE, -1, -1);
    ResetScrollBars();
    Refresh();
    return TRUE;
}

BOOL CGridCtrl::SetColumnCount(int nCols)
{
    if (nCols == m_nCols)
        return TRUE;
    if (nCols < 0)
        return FALSE;

    m_idTopLeftCell = CCellID();
    if (nCols < m_nFixedCols)
        m_nFixedCols = nCols;

    // Every count change brings the column order back to the identity. Doing so before the
    // shrink makes the removed columns the physically last ones, so exactly those are freed.
    m_arColOrder.resize(m_nCols);
    std::iota(m_arColOrder.begin(), m_arColOrder.end(), 0);

    if (nCols < m_nCols && !m_bVirtualMode) {
        for (int row = 0; row < m_nRows; ++row)
            for (int col = nCols; col < m_nCols; ++col)
                DestroyCell(row, col);
    }

    try {
        const UINT width = static_cast<UINT>(std::max(0, m_cellFixedColDef.GetWidth()));
        const int oldCols = m_nCols;
        if (!m_bVirtualMode) {
            for (int row = 0; row < m_nRows; ++row)
                if (m_RowData[row])
                    m_RowData[row]->resize(nCols, nullptr);
        }
        m_arColWidths.resize(nCols);
        for (int col = oldCols; col < nCols; ++col)
            m_arColWidths[col] = width;
        if (!m_bVirtualMode) {
            for (int row = 0; row < m_nRows; ++row) {
                if (!m_RowData[row])
                    continue;
                for (int col = oldCols; col < nCols; ++col)
                    (*m_RowData[row])[col] = CreateCell(row, col);
            }
        }
        m_arColOrder.resize(nCols);
        std::iota(m_arColOrder.begin(), m_arColOrder.end(), 0);
    } catch (const std::bad_alloc&) {
        AfxMessageBox("Out of memory.", MB_OK | MB_ICONSTOP);
        return FALSE;
    }
    m_nCols = nCols;

    ForgetSelectionOutside();
    SetModified(TRUE, -1, -1);
    ResetScrollBars();
    Refresh();
    return TRUE;
}

BOOL CGridCtrl::SetFixedRowCount(int nFixedRows)
{
    if (nFixedRows == m_nFixedRows)
        return TRUE;
    if (nFixedRows < 0)
        return FALSE;
    ResetSelectedRange();
    m_idTopLeftCell = CCellID();

    if (nFixedRows > m_nRows && !SetRowCount(nFixedRows))
        return FALSE;

    if (!m_bVirtualMode) {
        if (nFixedRows < m_nFixedRows) {
            for (int row = nFixedRows; row < m_nFixedRows; ++row)
                for (int col = 0; col < m_nCols; ++col) {
                    CGridCellBase* cell = GetCell(row, col);
                    if (!cell)
                        continue;
                    if (col < m_nFixedCols) {
                        cell->SetState(cell->GetState() & ~GRIDCELL_FIXEDROW);
                    } else {
                        cell->SetState(cell->GetState() & ~(GRIDCELL_FIXED | GRIDCELL_FIXEDROW));
                        cell->SetBackClr(CLR_DEFAULT);
                        cell->SetTextClr(CLR_DEFAULT);
                    }
                }
        } else {
            for (int row = m_nFixedRows; row < nFixedRows; ++row)
                for (int col = 0; col < m_nCols; ++col)
                    if (CGridCellBase* cell = GetCell(row, col)) {
                        cell->SetState(cell->GetState() | GRIDCELL_FIXED | GRIDCELL_FIXEDROW);
                        cell->SetBackClr(CLR_DEFAULT);
                        cell->SetTextClr(CLR_DEFAULT);
                    }
        }
    }

    m_nFixedRows = nFixedRows;
    Refresh();
    return TRUE;
}

BOOL CGridCtrl::SetFixedColumnCount(int nFixedCols)
{
    if (nFixedCols == m_nFixedCols)
        return TRUE;
    if (nFixedCols < 0)
        return FALSE;
    if (nFixedCols > m_nCols && !SetColumnCount(nFixedCols))
        return FALSE;
    ResetSelectedRange();
    m_idTopLeftCell = CCellID();

    if (!m_bVirtualMode) {
        if (nFixedCols < m_nFixedCols) {
            for (int row = 0; row < m_nRows; ++row)
                for (int col = nFixedCols; col < m_nFixedCols; ++col) {
                    CGridCellBase* cell = GetCell(row, col);
                    if (!cell)
                        continue;
                    if (row < m_nFixedRows) {
                        cell->SetState(cell->GetState() & ~GRIDCELL_FIXEDCOL);
                    } else {
                        cell->SetState(cell->GetState() & ~(GRIDCELL_FIXED | GRIDCELL_FIXEDCOL));
                        cell->SetBackClr(CLR_DEFAULT);
                        cell->SetTextClr(CLR_DEFAULT);
                    }
                }
        } else {
            for (int row = 0; row < m_nRows; ++row)
                for (int col = m_nFixedCols; col < nFixedCols; ++col)
                    if (CGridCellBase* cell = GetCell(row, col)) {
                        cell->SetState(cell->GetState() | GRIDCELL_FIXED | GRIDCELL_FIXEDCOL);
                        cell->SetBackClr(CLR_DEFAULT);
                        cell->SetTextClr(CLR_DEFAULT);
                    }
        }
    }

    m_nFixedCols = nFixedCols;
    Refresh();
    return TRUE;
}

BOOL CGridCtrl::DeleteAllItems()
{
    ResetSelectedRange();
    m_arColWidths.clear();
    m_arRowHeights.clear();
    if (!m_bVirtualMode) {
        for (int row = 0; row < m_nRows; ++row)
            for (int col = 0; col < m_nCols; ++col)
                DestroyCell(row, col);
        m_RowData.clear();
    } else {
        m_arRowOrder.clear();
    }
    // No address survives. With selection off the reset above leaves the map alone, and in
    // virtual mode no cell is destroyed to take its key out.
    m_SelectedCellMap.clear();
    m_arColOrder.clear();
    m_idFocusCell = CCellID();
    m_idTopLeftCell = CCellID();
    m_nRows = m_nFixedRows = m_nCols = m_nFixedCols = 0;
    ResetScrollBars();
    SetModified(TRUE, -1, -1);
    return TRUE;
}

void CGridCtrl::SetVirtualMode(BOOL bVirtual)
{
    if ((bVirtual != FALSE) == (m_bVirtualMode != FALSE))
        return;
    // Stored cells and the virtual row order do not carry over between the modes.
    DeleteAllItems();
    m_bVirtualMode = bVirtual != FALSE;
}

void CGridCtrl::AdjustRowOrder(int nRow, int nDelta)
{
    if (!m_bVirtualMode)
        return;
    for (int& entry : m_arRowOrder)
        if (entry > nRow)
            entry += nDelta;
    if (nDelta < 1) {
        if (nRow >= 0 && nRow < static_cast<int>(m_arRowOrder.size()))
            m_arRowOrder.erase(m_arRowOrder.begin() + nRow);
    } else if (nRow >= 0 && nRow <= static_cast<int>(m_arRowOrder.size())) {
        m_arRowOrder.insert(m_arRowOrder.begin() + nRow, nRow);
    }
}

// ---- Sizes ----

int CGridCtrl::GetRowHeight(int nRow) const
{
    if (nRow < 0 || nRow >= m_nRows || nRow >= static_cast<int>(m_arRowHeights.size()))
        return -1;
    return static_cast<int>(m_arRowHeights[nRow]);
}

int CGridCtrl::GetColumnWidth(int nCol) const
{
    if (nCol < 0 || nCol >= m_nCols || nCol >= static_cast<int>(m_arColOrder.size()))
        return -1;
    const int physical = m_arColOrder[nCol];
    if (physical < 0 || physical >= static_cast<int>(m_arColWidths.size()))
        return -1;
    return static_cast<int>(m_arColWidths[physical]);
}

BOOL CGridCtrl::SetRowHeight(int nRow, int height)
{
    if (nRow < 0 || nRow >= m_nRows || height < 0)
        return FALSE;
    m_arRowHeights[nRow] = static_cast<UINT>(height);
    ResetScrollBars();
    return TRUE;
}

BOOL CGridCtrl::SetColumnWidth(int nCol, int width)
{
    if (nCol < 0 || nCol >= m_nCols || width < 0)
        return FALSE;
    m_arColWidths[m_arColOrder[nCol]] = static_cast<UINT>(width);
    ResetScrollBars();
    return TRUE;
}

long CGridCtrl::GetVirtualHeight() const
{
    long height = 0;
    for (int row = 0; row < m_nRows; ++row)
        height += GetRowHeight(row);
    return height;
}

long CGridCtrl::GetVirtualWidth() const
{
    long width = 0;
    for (int col = 0; col < m_nCols; ++col)
        width += GetColumnWidth(col);
    return width;
}

int CGridCtrl::GetFixedRowHeight() const
{
    int height = 0;
    for (int row = 0; row < m_nFixedRows; ++row)
        height += GetRowHeight(row);
    return height;
}

int CGridCtrl::GetFixedColumnWidth() const
{
    int width = 0;
    for (int col = 0; col < m_nFixedCols; ++col)
        width += GetColumnWidth(col);
    return width;
}

// ---- Items ----

BOOL CGridCtrl::SetItem(const GridItem* pItem)
{
    if (!pItem || m_bVirtualMode)
        return FALSE;
    CGridCellBase* cell = GetCell(pItem->row, pItem->col);
    if (!cell)
        return FALSE;

    SetModified(TRUE, pItem->row, pItem->col);
    if (pItem->mask & GRIDITEM_TEXT)
        cell->SetText(pItem->strText.c_str());
    if (pItem->mask & GRIDITEM_PARAM)
        cell->SetData(pItem->lParam);
    if (pItem->mask & GRIDITEM_IMAGE)
        cell->SetImage(pItem->iImage);
    if (pItem->mask & GRIDITEM_STATE)
        SetItemState(pItem->row, pItem->col, pItem->nState);
    if (pItem->mask & GRIDITEM_FORMAT)
        cell->SetFormat(pItem->nFormat);
    if (pItem->mask & GRIDITEM_BKCLR)
        cell->SetBackClr(pItem->crBkClr);
    if (pItem->mask & GRIDITEM_FGCLR)
        cell->SetTextClr(pItem->crFgClr);
    if (pItem->mask & GRIDITEM_FONT)
        cell->SetFont(&pItem->lfFont);
    if (pItem->mask & GRIDITEM_MARGIN)
        cell->SetMargin(pItem->nMargin);
    return TRUE;
}

std::string CGridCtrl::GetItemText(int nRow, int nCol) const
{
    const CGridCellBase* cell = GetCell(nRow, nCol);
    return cell ? std::string(cell->GetText()) : std::string();
}

BOOL CGridCtrl::SetItemText(int nRow, int nCol, LPCSTR str)
{
    if (m_bVirtualMode)
        return FALSE;
    CGridCellBase* cell = GetCell(nRow, nCol);
    if (!cell)
        return FALSE;
    cell->SetText(str);
    SetModified(TRUE, nRow, nCol);
    return TRUE;
}

UINT CGridCtrl::GetItemState(int nRow, int nCol) const
{
    const CGridCellBase* cell = GetCell(nRow, nCol);
    return cell ? cell->GetState() : 0;
}

BOOL CGridCtrl::SetItemState(int nRow, int nCol, UINT state)
{
    if (IsValid(nRow, nCol)) {
        // The map, not the enable flag, says what is selected: deselecting must work even while
        // selection is switched off.
        const std::uint64_t key = SelectionKey(nRow, nCol);
        const bool inMap = m_SelectedCellMap.count(key) != 0;
        if (inMap && !(state & GRIDCELL_SELECTED))
            m_SelectedCellMap.erase(key);
        else if (!inMap && (state & GRIDCELL_SELECTED))
            m_SelectedCellMap.emplace(key, CCellID(nRow, nCol));
    }
    if (m_bVirtualMode)
        return FALSE;
    CGridCellBase* cell = GetCell(nRow, nCol);
    if (!cell)
        return FALSE;
    cell->SetState(state);
    return TRUE;
}

COLORREF CGridCtrl::GetItemBkColour(int nRow, int nCol) const
{
    const CGridCellBase* cell = GetCell(nRow, nCol);
    return cell ? cell->GetBackClr() : 0;
}

BOOL CGridCtrl::SetItemBkColour(int nRow, int nCol, COLORREF cr)
{
    if (m_bVirtualMode)
        return FALSE;
    CGridCellBase* cell = GetCell(nRow, nCol);
    if (!cell)
        return FALSE;
    cell->SetBackClr(cr);
    return TRUE;
}

COLORREF CGridCtrl::GetItemFgColour(int nRow, int nCol) const
{
    const CGridCellBase* cell = GetCell(nRow, nCol);
    return cell ? cell->GetTextClr() : 0;
}

BOOL CGridCtrl::SetItemFgColour(int nRow, int nCol, COLORREF cr)
{
    if (m_bVirtualMode)
        return FALSE;
    CGridCellBase* cell = GetCell(nRow, nCol);
    if (!cell)
        return FALSE;
    cell->SetTextClr(cr);
    return TRUE;
}

BOOL CGridCtrl::IsCellEditable(int nRow, int nCol) const
{
    // In virtual mode the owner keeps the texts and the grid may store none (SetItemText is
    // refused), so an edit, paste, cut or drop would only write into the shared cell and be lost.
    if (m_bVirtualMode)
        return FALSE;
    return m_bEditable && !(GetItemState(nRow, nCol) & GRIDCELL_READONLY);
}

void CGridCtrl::SetModified(BOOL bModified, int nRow, int nCol)
{
    if (nCol < 0 || nCol == m_nSortColumn)
        m_nSortColumn = -1;

    if (nRow < 0 || nCol < 0) {
        m_bModified = bModified;
    } else {
        CGridCellBase* cell = GetCell(nRow, nCol);
        if (bModified) {
            if (cell)
                cell->SetState(cell->GetState() | GRIDCELL_MODIFIED);
            m_bModified = TRUE;
        } else if (cell) {
            cell->SetState(cell->GetState() & ~GRIDCELL_MODIFIED);
        }
    }

    // Virtual-mode cells are not kept, so there is nothing to clear (and asking the owner for
    // every cell would be wasted).
    if (!m_bModified && !m_bVirtualMode) {
        for (int row = 0; row < m_nRows; ++row)
            for (int col = 0; col < m_nCols; ++col)
                if (CGridCellBase* cell = GetCell(row, col))
                    cell->SetState(cell->GetState() & ~GRIDCELL_MODIFIED);
    }
}

BOOL CGridCtrl::GetModified(int nRow, int nCol) const
{
    if (nRow < 0 || nCol < 0)
        return m_bModified;
    return (GetItemState(nRow, nCol) & GRIDCELL_MODIFIED) != 0;
}

void CGridCtrl::SetFixedTextColor(COLORREF clr)
{
    m_cellFixedRowDef.SetTextClr(clr);
    m_cellFixedColDef.SetTextClr(clr);
    m_cellFixedRowColDef.SetTextClr(clr);
}

void CGridCtrl::SetFixedBkColor(COLORREF clr)
{
    m_cellFixedRowDef.SetBackClr(clr);
    m_cellFixedColDef.SetBackClr(clr);
    m_cellFixedRowColDef.SetBackClr(clr);
}

void CGridCtrl::SetGridLines(int nWhichLines)
{
    m_nGridLines = nWhichLines;
    Refresh();
}

// ---- Notifications ----

namespace {

LRESULT SendToOwner(const CGridCtrl& grid, NMHDR* hdr)
{
    if (!::IsWindow(grid.GetSafeHwnd()))
        return 0;
    CWnd* owner = grid.GetOwner();
    if (!owner || !::IsWindow(owner->GetSafeHwnd()))
        return 0;
    hdr->hwndFrom = grid.GetSafeHwnd();
    hdr->idFrom = static_cast<UINT_PTR>(grid.GetDlgCtrlID());
    return owner->SendMessage(WM_NOTIFY, hdr->idFrom, reinterpret_cast<LPARAM>(hdr));
}

}  // namespace

LRESULT CGridCtrl::NotifyOwner(int nRow, int nCol, UINT nMessage) const
{
    GridNotify notify{};
    notify.hdr.code = nMessage;
    notify.iRow = nRow;
    notify.iColumn = nCol;
    return SendToOwner(*this, &notify.hdr);
}

LRESULT CGridCtrl::RequestDisplayInfo(GridDispInfo* pDisplayInfo) const
{
    if (!pDisplayInfo)
        return 0;
    pDisplayInfo->hdr.code = LVN_GETDISPINFOW;
    return SendToOwner(*this, &pDisplayInfo->hdr);
}

LRESULT CGridCtrl::SendCacheHint(const CCellRange& range) const
{
    GridCacheHint hint{};
    hint.hdr.code = LVN_ODCACHEHINT;
    hint.range = range;
    return SendToOwner(*this, &hint.hdr);
}
