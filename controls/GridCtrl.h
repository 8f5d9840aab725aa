#pragma once
// The grid control: a window showing a table of cells, whose first rows and columns may be
// fixed headers. It owns the cells, row heights, column widths, four default cells, the
// selection and focus, and tells its owner about changes by WM_NOTIFY.
//
// Files: GridCtrl.cpp (storage, counts, items, notifications, life), GridCtrlDraw.cpp (layout,
// scrolling, painting). Selection, mouse, keyboard, editing, clipboard, drag and drop, sorting
// and printing live in their own files and declare their members in the marked section below.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "controls/CellRange.h"
#include "controls/GridCell.h"
#include "controls/GridDefaultCell.h"
#include "controls/GridDropTarget.h"
#include "controls/TitleTip.h"
#include "platform/ctl/OleDragDrop.h"
#include "platform/ctl/Print.h"
#include "platform/ctl/commctrl.h"
#include "platform/gdi/imagelist.h"
#include "platform/win/afxwin.h"

#define GRIDCTRL_CLASSNAME "MFCGridCtrl"

// GridItem::mask bits.
constexpr UINT GRIDITEM_TEXT = 0x0001;
constexpr UINT GRIDITEM_IMAGE = 0x0002;
constexpr UINT GRIDITEM_PARAM = 0x0004;
constexpr UINT GRIDITEM_STATE = 0x0008;
constexpr UINT GRIDITEM_BKCLR = 0x0010;
constexpr UINT GRIDITEM_FGCLR = 0x0020;
constexpr UINT GRIDITEM_FORMAT = 0x0040;
constexpr UINT GRIDITEM_FONT = 0x0080;
constexpr UINT GRIDITEM_MARGIN = 0x0100;
constexpr UINT GRIDITEM_ALL = 0x01FF;

// Grid lines.
constexpr int GRIDLINES_NONE = 0;
constexpr int GRIDLINES_HORZ = 1;
constexpr int GRIDLINES_VERT = 2;
constexpr int GRIDLINES_BOTH = 3;

// Auto-size styles: which rows a column's width is measured over.
constexpr UINT GRIDAUTOSIZE_DEFAULT = 0;
constexpr UINT GRIDAUTOSIZE_HEADER = 0x1;
constexpr UINT GRIDAUTOSIZE_DATA = 0x2;
constexpr UINT GRIDAUTOSIZE_BOTH = 0x3;

struct GridItem {
    int row = 0;
    int col = 0;
    UINT mask = 0;
    UINT nState = 0;
    UINT nFormat = 0;
    int iImage = -1;
    COLORREF crBkClr = CLR_DEFAULT;
    COLORREF crFgClr = CLR_DEFAULT;
    LPARAM lParam = 0;
    LOGFONT lfFont{};
    UINT nMargin = 0;
    std::string strText;
};

struct GridDispInfo {
    NMHDR hdr;
    GridItem item;
};

struct GridNotify {
    NMHDR hdr;
    int iRow;
    int iColumn;
};

struct GridCacheHint {
    NMHDR hdr;
    CCellRange range;
};

// Virtual mode: fills the record's item (row and column already set); the argument is the one
// given with the callback.
using GRIDCALLBACK = BOOL (*)(GridDispInfo* info, LPARAM arg);
// Makes the cells of the grid (the "cell class").
using GridCellFactory = CGridCellBase* (*)();

class CGridCtrl : public CWnd {
public:
    explicit CGridCtrl(int nRows = 0, int nCols = 0, int nFixedRows = 0, int nFixedCols = 0);
    ~CGridCtrl() override;

    static BOOL RegisterWindowClass();
    BOOL InitialiseWindow();

    // Counts.
    int GetRowCount() const { return m_nRows; }
    int GetColumnCount() const { return m_nCols; }
    int GetFixedRowCount() const { return m_nFixedRows; }
    int GetFixedColumnCount() const { return m_nFixedCols; }
    BOOL SetRowCount(int nRows = 10);
    BOOL SetColumnCount(int nCols = 10);
    BOOL SetFixedRowCount(int nFixedRows = 1);
    BOOL SetFixedColumnCount(int nFixedCols = 1);
    BOOL DeleteAllItems();

    // Sizes (pixels).
    int GetRowHeight(int nRow) const;
    int GetColumnWidth(int nCol) const;
    BOOL SetRowHeight(int row, int height);
    BOOL SetColumnWidth(int col, int width);
    long GetVirtualHeight() const;
    long GetVirtualWidth() const;
    int GetFixedRowHeight() const;
    int GetFixedColumnWidth() const;

    // Cells and items.
    virtual CGridCellBase* GetCell(int nRow, int nCol) const;
    CGridDefaultCell* GetDefaultCell(BOOL bFixedRow, BOOL bFixedCol) const;
    BOOL IsValid(int nRow, int nCol) const { return nRow >= 0 && nRow < m_nRows && nCol >= 0 && nCol < m_nCols; }
    BOOL IsValid(const CCellID& cell) const { return IsValid(cell.row, cell.col); }
    BOOL IsValid(const CCellRange& range) const;
    BOOL SetItem(const GridItem* pItem);
    std::string GetItemText(int nRow, int nCol) const;
    BOOL SetItemText(int nRow, int nCol, LPCSTR str);
    UINT GetItemState(int nRow, int nCol) const;
    BOOL SetItemState(int nRow, int nCol, UINT state);
    COLORREF GetItemBkColour(int nRow, int nCol) const;
    BOOL SetItemBkColour(int nRow, int nCol, COLORREF cr = CLR_DEFAULT);
    COLORREF GetItemFgColour(int nRow, int nCol) const;
    BOOL SetItemFgColour(int nRow, int nCol, COLORREF cr = CLR_DEFAULT);
    BOOL IsCellEditable(int nRow, int nCol) const;
    BOOL IsCellEditable(const CCellID& cell) const { return IsCellEditable(cell.row, cell.col); }
    void SetModified(BOOL bModified = TRUE, int nRow = -1, int nCol = -1);
    BOOL GetModified(int nRow = -1, int nCol = -1) const;
    void SetDefaultCellType(GridCellFactory factory) { m_pfnCellFactory = factory; }

    // Virtual mode.
    void SetVirtualMode(BOOL bVirtual);
    BOOL GetVirtualMode() const { return m_bVirtualMode; }
    void SetCallbackFunc(GRIDCALLBACK pCallback, LPARAM lParam)
    {
        m_pfnCallback = pCallback;
        m_lParam = lParam;
    }
    GRIDCALLBACK GetCallbackFunc() const { return m_pfnCallback; }

    // Colours.
    void SetGridBkColor(COLORREF clr) { m_crGridBkColour = clr; }
    COLORREF GetGridBkColor() const { return m_crGridBkColour; }
    void SetGridLineColor(COLORREF clr) { m_crGridLineColour = clr; }
    COLORREF GetGridLineColor() const { return m_crGridLineColour; }
    void SetCurrentCellColor(COLORREF clr) { m_crCurrentCellColour = clr; }
    COLORREF GetCurrentCellColor() const { return m_crCurrentCellColour; }
    void SetTitleTipBackClr(COLORREF clr = CLR_DEFAULT) { m_crTTipBackClr = clr; }
    COLORREF GetTitleTipBackClr() const { return m_crTTipBackClr; }
    void SetTitleTipTextClr(COLORREF clr = CLR_DEFAULT) { m_crTTipTextClr = clr; }
    COLORREF GetTitleTipTextClr() const { return m_crTTipTextClr; }
    void SetTextColor(COLORREF clr) { m_cellDefault.SetTextClr(clr); }
    COLORREF GetTextColor() const { return m_cellDefault.GetTextClr(); }
    void SetTextBkColor(COLORREF clr) { m_cellDefault.SetBackClr(clr); }
    COLORREF GetTextBkColor() const { return m_cellDefault.GetBackClr(); }
    void SetFixedTextColor(COLORREF clr);
    COLORREF GetFixedTextColor() const { return m_cellFixedRowDef.GetTextClr(); }
    void SetFixedBkColor(COLORREF clr);
    COLORREF GetFixedBkColor() const { return m_cellFixedRowDef.GetBackClr(); }

    // Behaviour flags.
    void SetGridLines(int nWhichLines = GRIDLINES_BOTH);
    int GetGridLines() const { return m_nGridLines; }
    void SetEditable(BOOL bEditable = TRUE) { m_bEditable = bEditable; }
    BOOL IsEditable() const { return m_bEditable; }
    void EnableDragAndDrop(BOOL bAllow = TRUE) { m_bAllowDragAndDrop = bAllow; }
    BOOL GetDragAndDrop() const { return m_bAllowDragAndDrop; }
    void SetListMode(BOOL bEnableListMode = TRUE) { m_bListMode = bEnableListMode; }
    BOOL GetListMode() const { return m_bListMode; }
    void SetSingleRowSelection(BOOL bSing = TRUE) { m_bSingleRowSelection = bSing; }
    BOOL GetSingleRowSelection() const { return m_bSingleRowSelection; }
    void SetSingleColSelection(BOOL bSing = TRUE) { m_bSingleColSelection = bSing; }
    BOOL GetSingleColSelection() const { return m_bSingleColSelection; }
    void SetAllowDraw(BOOL bAllow) { m_bAllowDraw = bAllow; }
    BOOL GetAllowDraw() const { return m_bAllowDraw; }
    BOOL IsSelectable() const { return m_bEnableSelection; }
    void SetFixedColumnSelection(BOOL bSelect) { m_bFixedColumnSelection = bSelect; }
    BOOL GetFixedColumnSelection() const { return m_bFixedColumnSelection; }
    void SetFixedRowSelection(BOOL bSelect) { m_bFixedRowSelection = bSelect; }
    BOOL GetFixedRowSelection() const { return m_bFixedRowSelection; }
    void SetHeaderSort(BOOL bSortOnClick = TRUE) { m_bSortOnClick = bSortOnClick; }
    BOOL GetHeaderSort() const { return m_bSortOnClick; }
    void SetHandleTabKey(BOOL bHandleTab = TRUE) { m_bHandleTabKey = bHandleTab; }
    BOOL GetHandleTabKey() const { return m_bHandleTabKey; }
    void SetDoubleBuffering(BOOL bBuffer = TRUE) { m_bDoubleBuffer = bBuffer; }
    BOOL GetDoubleBuffering() const { return m_bDoubleBuffer; }
    void EnableTitleTips(BOOL bEnable = TRUE) { m_bTitleTips = bEnable; }
    BOOL GetTitleTips() const { return m_bTitleTips; }
    void EnableWysiwygPrinting(BOOL bEnable = TRUE) { m_bWysiwygPrinting = bEnable; }
    BOOL GetWysiwygPrinting() const { return m_bWysiwygPrinting; }
    void EnableHiddenColUnhide(BOOL bEnable = TRUE) { m_bHiddenColUnhide = bEnable; }
    BOOL GetHiddenColUnhide() const { return m_bHiddenColUnhide; }
    void EnableHiddenRowUnhide(BOOL bEnable = TRUE) { m_bHiddenRowUnhide = bEnable; }
    BOOL GetHiddenRowUnhide() const { return m_bHiddenRowUnhide; }
    void EnableColumnHide(BOOL bEnable = TRUE) { m_bAllowColHide = bEnable; }
    BOOL GetColumnHide() const { return m_bAllowColHide; }
    void EnableRowHide(BOOL bEnable = TRUE) { m_bAllowRowHide = bEnable; }
    BOOL GetRowHide() const { return m_bAllowRowHide; }
    void SetTrackFocusCell(BOOL bTrack) { m_bTrackFocusCell = bTrack; }
    BOOL GetTrackFocusCell() const { return m_bTrackFocusCell; }
    void SetFrameFocusCell(BOOL bFrame) { m_bFrameFocus = bFrame; }
    BOOL GetFrameFocusCell() const { return m_bFrameFocus; }
    void SetAutoSizeStyle(UINT nStyle = GRIDAUTOSIZE_BOTH) { m_nAutoSizeColumnStyle = nStyle; }
    UINT GetAutoSizeStyle() const { return m_nAutoSizeColumnStyle; }
    void SetRowResize(BOOL bResize = TRUE) { m_bAllowRowResize = bResize; }
    BOOL GetRowResize() const { return m_bAllowRowResize; }
    void SetColumnResize(BOOL bResize = TRUE) { m_bAllowColumnResize = bResize; }
    BOOL GetColumnResize() const { return m_bAllowColumnResize; }
    void SetShadedPrintOut(BOOL bEnable = TRUE) { m_bShadedPrintOut = bEnable; }
    BOOL GetShadedPrintOut() const { return m_bShadedPrintOut; }
    void SetImageList(CImageList* pList) { m_pImageList = pList; }
    CImageList* GetImageList() const { return m_pImageList; }
    void SetDragRowMode(BOOL bMode = TRUE) { m_bDragRowMode = bMode != FALSE; }
    BOOL GetDragRowMode() const { return m_bDragRowMode; }
    void SetAllowColumnReorder(BOOL bAllow) { m_AllowReorderColumn = bAllow != FALSE; }
    void SetTabLeavesGrid(BOOL bLeave) { m_QuitFocusOnTab = bLeave != FALSE; }
    void SetSelectFixedColumnsWithRows(BOOL bSelect) { m_AllowSelectRowInFixedCol = bSelect != FALSE; }
    UINT GetRowsPerWheelNotch() const { return m_nRowsPerWheelNotch; }
    void SetRowsPerWheelNotch(UINT n) { m_nRowsPerWheelNotch = n; }

    // Focus and current cell as the cells and the painting read them; they are moved by the
    // selection code.
    CCellID GetFocusCell() const { return m_idFocusCell; }
    CCellID GetCurrentCell() const { return m_idCurrentCell; }
    int GetSortColumn() const { return m_nSortColumn; }
    BOOL GetSortAscending() const { return m_bAscending; }

    // Virtual-mode row order.
    virtual void AdjustRowOrder(int nRow, int nDelta);

    // Notifications to the owner (else the parent); 0 when there is no window or owner.
    LRESULT NotifyOwner(int nRow, int nCol, UINT nMessage) const;
    LRESULT RequestDisplayInfo(GridDispInfo* pDisplayInfo) const;
    LRESULT SendCacheHint(const CCellRange& range) const;

    // Layout.
    CCellID GetTopleftNonFixedCell(BOOL bForceRecalculation = FALSE);
    CCellRange GetVisibleNonFixedCellRange(LPRECT pRect = nullptr, BOOL bForceRecalculation = FALSE);
    CCellRange GetVisibleFixedCellRange(LPRECT pRect = nullptr, BOOL bForceRecalculation = FALSE);
    BOOL GetCellOrigin(int nRow, int nCol, LPPOINT p);
    BOOL GetCellOrigin(const CCellID& cell, LPPOINT p) { return GetCellOrigin(cell.row, cell.col, p); }
    BOOL GetCellRect(int nRow, int nCol, LPRECT pRect);
    BOOL GetCellRect(const CCellID& cell, LPRECT pRect) { return GetCellRect(cell.row, cell.col, pRect); }
    CCellID GetCellFromPt(CPoint point, BOOL bAllowFixedCellCheck = TRUE);
    CPoint GetPointClicked(int nRow, int nCol, const CPoint& point);
    BOOL IsCellVisible(int nRow, int nCol);
    BOOL IsCellVisible(const CCellID& cell) { return IsCellVisible(cell.row, cell.col); }

    // Scrolling.
    void ResetScrollBars();
    void EnableScrollBars(int nBar, BOOL bEnable = TRUE);
    int GetScrollPos32(int nBar, BOOL bGetTrackPos = FALSE);
    BOOL SetScrollPos32(int nBar, int nPos, BOOL bRedraw = TRUE);
    void EnsureVisible(int nRow, int nCol);
    void EnsureVisible(const CCellID& cell) { EnsureVisible(cell.row, cell.col); }

    // Drawing.
    BOOL RedrawCell(int nRow, int nCol, CDC* pDC = nullptr);
    BOOL RedrawCell(const CCellID& cell, CDC* pDC = nullptr) { return RedrawCell(cell.row, cell.col, pDC); }
    BOOL InvalidateCell(int nRow, int nCol);
    BOOL InvalidateCell(const CCellID& cell) { return InvalidateCell(cell.row, cell.col); }
    void Refresh();
    BOOL AutoSizeRow(int nRow, BOOL bResetScroll = TRUE);
    BOOL AutoSizeColumn(int nCol, UINT nAutoSizeStyle = GRIDAUTOSIZE_DEFAULT, BOOL bResetScroll = TRUE);
    void AutoSizeColumns(UINT nAutoSizeStyle = GRIDAUTOSIZE_DEFAULT);
    virtual void OnDraw(CDC* pDC);

    // ---- Selection, mouse, keyboard, editing, clipboard, drag and drop, sorting, printing ----
    // (GridCtrlSelection.cpp, GridCtrlInput.cpp, GridCtrlEdit.cpp, GridCtrlSort.cpp,
    // GridCtrlPrint.cpp)

    // Focus, current cell and selection. A row or column of -1 leaves the focus and the current
    // cell as they are; both return the previous cell.
    CCellID SetFocusCell(CCellID cell);
    CCellID SetFocusCell(int nRow, int nCol) { return SetFocusCell(CCellID(nRow, nCol)); }
    CCellID SetCurrentCell(int nRow, int nCol);
    void EnableSelection(BOOL bEnable = TRUE);
    BOOL IsCellSelected(int nRow, int nCol) const;
    BOOL IsCellSelected(const CCellID& cell) const { return IsCellSelected(cell.row, cell.col); }
    int GetSelectedCount() const { return static_cast<int>(m_SelectedCellMap.size()); }
    CCellRange GetSelectedCellRange() const;
    void SetSelectedRange(const CCellRange& Range, BOOL bForceRepaint = FALSE, BOOL bSelectCells = TRUE);
    void SetSelectedRange(int nMinRow, int nMinCol, int nMaxRow, int nMaxCol, BOOL bForceRepaint = FALSE,
                          BOOL bSelectCells = TRUE);
    void ResetSelectedRange();
    void SelectAllCells();
    void SelectCells(CCellID currentCell, BOOL bForceRedraw = FALSE, BOOL bSelectCells = TRUE);
    void SelectRows(CCellID currentCell, BOOL bForceRedraw = FALSE, BOOL bSelectCells = TRUE);
    void SelectColumns(CCellID currentCell, BOOL bForceRedraw = FALSE, BOOL bSelectCells = TRUE);
    void OnSelecting(const CCellID& currentCell);
    virtual void OnFixedColumnClick(CCellID& cell);
    virtual void OnFixedRowClick(CCellID& cell);
    BOOL MouseOverColumnResizeArea(CPoint point);
    BOOL MouseOverRowResizeArea(CPoint point);

    // Editing, clipboard, drag and drop.
    virtual void CutSelectedText();
    virtual COleDataSource* CopyTextFromGrid();  // the caller owns the source
    virtual BOOL PasteTextToGrid(CCellID cell, COleDataObject* pDataObject, BOOL bSelectPastedCells = TRUE);
    virtual void OnBeginDrag();
    virtual DROPEFFECT OnDragEnter(COleDataObject* pDataObject, DWORD dwKeyState, CPoint point);
    virtual DROPEFFECT OnDragOver(COleDataObject* pDataObject, DWORD dwKeyState, CPoint point);
    virtual void OnDragLeave();
    virtual BOOL OnDrop(COleDataObject* pDataObject, DROPEFFECT dropEffect, CPoint point);
    virtual void OnEditCut();
    virtual void OnEditCopy();
    virtual void OnEditPaste();
    virtual void OnEditSelectAll();
    virtual void OnEditCell(int nRow, int nCol, CPoint point, UINT nChar);
    virtual void OnEndEditCell(int nRow, int nCol, std::string str);
    virtual BOOL ValidateEdit(int nRow, int nCol, LPCSTR str);
    virtual void EndEditing();
    BOOL IsItemEditing(int nRow, int nCol);
    CImageList* CreateDragImage(CPoint* pHotSpot);  // the caller owns the list
    // Whether ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE or ID_EDIT_SELECT_ALL can run now.
    BOOL IsEditCommandEnabled(UINT nID);

    // Sorting. A compare function gets two cells (CGridCellBase*) as LPARAMs; the virtual one
    // two row indexes, answering whether the first sorts before the second.
    using PFNLVCOMPARE = int (*)(LPARAM, LPARAM, LPARAM);
    using PVIRTUALCOMPARE = bool (*)(int, int);
    void SetCompareFunction(PFNLVCOMPARE pfnCompare) { m_pfnCompare = pfnCompare; }
    void SetVirtualCompare(PVIRTUALCOMPARE pfnCompare) { m_pfnVirtualCompare = pfnCompare; }
    void SetSortColumn(int nCol);
    void SetSortAscending(BOOL bAscending) { m_bAscending = bAscending; }
    BOOL SortItems(int nCol, BOOL bAscending, LPARAM data = 0);
    BOOL SortItems(PFNLVCOMPARE pfnCompare, int nCol, BOOL bAscending, LPARAM data = 0);
    BOOL SortItems(PFNLVCOMPARE pfnCompare, int nCol, BOOL bAscending, LPARAM data, int low, int high);
    static int CompareCellText(LPARAM lParam1, LPARAM lParam2, LPARAM lParamSort);
    // While a virtual-mode sort runs, the grid being sorted and the owner's own index of the
    // column it sorts by (nullptr and -1 otherwise), for the virtual compare function.
    static CGridCtrl* GetVirtualSortGrid() { return s_pVirtualSortGrid; }
    static int GetVirtualSortColumn() { return s_nVirtualSortColumn; }

    // Printing, for a host that runs a print job.
    void SetPrintMarginInfo(int nHeaderHeight, int nFooterHeight, int nLeftMargin, int nRightMargin, int nTopMargin,
                            int nBottomMargin, int nGap);
    virtual void OnBeginPrinting(CDC* pDC, CPrintInfo* pInfo);
    virtual void OnPrint(CDC* pDC, CPrintInfo* pInfo);
    virtual void OnEndPrinting(CDC* pDC, CPrintInfo* pInfo);

protected:
    // Mouse modes.
    enum {
        MOUSE_NOTHING = 0,
        MOUSE_SELECT_ALL = 1,
        MOUSE_SELECT_COL = 2,
        MOUSE_SELECT_ROW = 3,
        MOUSE_SELECT_CELLS = 4,
        MOUSE_OVER_ROW_DIVIDE = 6,
        MOUSE_SIZING_ROW = 7,
        MOUSE_OVER_COL_DIVIDE = 8,
        MOUSE_SIZING_COL = 9,
        MOUSE_PREPARE_EDIT = 10,
        MOUSE_PREPARE_DRAG = 11,
        MOUSE_DRAGGING = 12,
    };
    static constexpr UINT_PTR kAutoScrollTimer = 0x0201;
    static constexpr UINT kInPlaceEditId = 8;

    virtual void PrintFixedRowCells(int nStartColumn, int nStopColumn, int& row, CRect& rect, CDC* pDC, BOOL& bFirst);
    virtual void PrintColumnHeadings(CDC* pDC, CPrintInfo* pInfo);
    virtual void PrintHeader(CDC* pDC, CPrintInfo* pInfo);
    virtual void PrintFooter(CDC* pDC, CPrintInfo* pInfo);
    virtual void PrintRowButtons(CDC* pDC, CPrintInfo* pInfo);

    void OnLButtonDown(UINT nFlags, CPoint point) override;
    void OnMouseMove(UINT nFlags, CPoint point) override;
    void OnLButtonUp(UINT nFlags, CPoint point) override;
    void OnLButtonDblClk(UINT nFlags, CPoint point) override;
    void OnRButtonUp(UINT nFlags, CPoint point) override;
    void OnTimer(UINT_PTR nIDEvent) override;
    BOOL OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message) override;
    void OnCaptureChanged(CWnd* pWnd) override;
    void OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags) override;
    void OnSysKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags) override;
    void OnChar(UINT nChar, UINT nRepCnt, UINT nFlags) override;
    UINT OnGetDlgCode() override;
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnEndInPlaceEdit(NMHDR* pNMHDR, LRESULT* pResult);
    void ValidateAndModifyCellContents(int nRow, int nCol, LPCSTR strText);
    // The cells whose text CopyTextFromGrid takes from the present selection, in selection
    // order: selected, in a row and a column of size above 0, with a cell. A cut and a move
    // clear only these (CutCopiedText), so hidden cells, whose text goes nowhere, keep it.
    std::vector<CCellID> CopiedCells() const;
    // Clears those of the cells that are still selected (each is notified and may refuse).
    void CutCopiedText(const std::vector<CCellID>& copied);
    void StartColumnSizing(CPoint point);
    void StartRowSizing(CPoint point);
    void InvertBand(int pos, bool vertical);
    CPoint PointOverCells(CPoint point);

    CTitleTip m_TitleTip;
    CGridDropTarget m_DropTarget;
    PFNLVCOMPARE m_pfnCompare = nullptr;
    PVIRTUALCOMPARE m_pfnVirtualCompare = nullptr;
    static inline CGridCtrl* s_pVirtualSortGrid = nullptr;
    static inline int s_nVirtualSortColumn = -1;
    bool m_bReorderDrop = false;  // the last drop was a row or column move inside this grid
    // The last paste left some text out: a field fell outside the grid, or its cell refused it.
    bool m_bPasteLeftTextOut = false;
    // While a grid's own drag runs, a grid that takes its text notes here whether it left some
    // of it out; the source then keeps all of it.
    static inline bool* s_pDropLeftTextOut = nullptr;
    // This grid's own drag is running: only then may a drop on it move its rows or columns;
    // a drag from anywhere else carries text.
    bool m_bDragSource = false;
    enum class DragKind { Text, Row, Column };
    DragKind CurrentDragKind() const;

    std::unique_ptr<CFont> m_PrinterFont;
    CSize m_CharSize, m_LogicalPageSize, m_PaperSize;
    int m_nPageHeight = 0, m_nPageWidth = 0, m_nPrintColumn = 0, m_nCurrPrintRow = 0, m_nNumPages = 0,
        m_nPageMultiplier = 0;
    int m_nHeaderHeight = 2, m_nFooterHeight = 2, m_nLeftMargin = 4, m_nRightMargin = 4, m_nTopMargin = 1,
        m_nBottomMargin = 1, m_nGap = 1;

public:
    // ---- end of that section ----

    // Keys meant for the grid while its title tip shows go to the tip first.
    BOOL PreTranslateMessage(MSG* msg) override;

protected:
    void PreSubclassWindow() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    virtual CGridCellBase* CreateCell(int nRow, int nCol);
    virtual void DestroyCell(int nRow, int nCol);

    void OnPaint() override;
    BOOL OnEraseBkgnd(CDC* pDC) override;
    void OnSize(UINT nType, int cx, int cy) override;
    void OnHScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar) override;
    void OnVScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar) override;
    void ScrollAlong(int nBar, UINT nSBCode);
    BOOL OnMouseWheel(UINT nFlags, short zDelta, CPoint pt) override;
    void OnSysColorChange() override;
    void EraseBkgnd(CDC* pDC);

    // Selection map keys hold the full row and column.
    static std::uint64_t SelectionKey(int row, int col)
    {
        return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(col)) << 32) | static_cast<std::uint32_t>(row);
    }

    // Drops the selection keys of cells the counts no longer hold, from both selection maps.
    void ForgetSelectionOutside();

    using GRID_ROW = std::vector<CGridCellBase*>;

    COLORREF m_crGridBkColour = 0;
    COLORREF m_crGridLineColour = RGB(192, 192, 192);
    COLORREF m_crCurrentCellColour = RGB(0, 0, 192);
    COLORREF m_crWindowText = 0, m_crWindowColour = 0, m_cr3DFace = 0, m_crShadow = 0;
    COLORREF m_crTTipBackClr = CLR_DEFAULT, m_crTTipTextClr = CLR_DEFAULT;

    BOOL m_bVirtualMode = FALSE;
    LPARAM m_lParam = 0;
    GRIDCALLBACK m_pfnCallback = nullptr;

    int m_nGridLines = GRIDLINES_BOTH;
    BOOL m_bEditable = TRUE;
    BOOL m_bModified = FALSE;
    BOOL m_bAllowDragAndDrop = FALSE;
    BOOL m_bListMode = FALSE;
    BOOL m_bSingleRowSelection = FALSE;
    BOOL m_bSingleColSelection = FALSE;
    BOOL m_bAllowDraw = TRUE;
    BOOL m_bEnableSelection = TRUE;
    BOOL m_bFixedColumnSelection = TRUE;
    BOOL m_bFixedRowSelection = TRUE;
    BOOL m_bSortOnClick = FALSE;
    BOOL m_bHandleTabKey = TRUE;
    BOOL m_bDoubleBuffer = TRUE;
    BOOL m_bTitleTips = TRUE;
    int m_nBarState = 0;
    BOOL m_bWysiwygPrinting = FALSE;
    BOOL m_bHiddenColUnhide = TRUE, m_bHiddenRowUnhide = TRUE;
    BOOL m_bAllowColHide = TRUE, m_bAllowRowHide = TRUE;
    BOOL m_bTrackFocusCell = TRUE;
    BOOL m_bFrameFocus = TRUE;
    UINT m_nAutoSizeColumnStyle = GRIDAUTOSIZE_BOTH;

    int m_nRows = 0, m_nFixedRows = 0, m_nCols = 0, m_nFixedCols = 0;
    std::vector<UINT> m_arRowHeights, m_arColWidths;
    int m_nVScrollMax = 0, m_nHScrollMax = 0;

    GridCellFactory m_pfnCellFactory;
    CGridDefaultCell m_cellDefault, m_cellFixedColDef, m_cellFixedRowDef, m_cellFixedRowColDef;
    CImageList* m_pImageList = nullptr;
    std::vector<std::unique_ptr<GRID_ROW>> m_RowData;

    int m_MouseMode = 0;
    BOOL m_bLMouseButtonDown = FALSE, m_bRMouseButtonDown = FALSE;
    // The present press took the sizing branch, and the divider could not be sized.
    bool m_bSizingPressRefused = false;
    CPoint m_LeftClickDownPoint, m_LastMousePoint;
    // Where over the cells (client point plus scroll position) the last press or move the grid
    // acted on found the pointer: a move that finds it there again is no move. None after a move
    // outside the grid.
    std::optional<CPoint> m_LastMouseOver;
    CCellID m_LeftClickDownCell, m_SelectionStartCell, m_idFocusCell, m_idTopLeftCell, m_idCurrentCell;
    UINT_PTR m_nTimerID = 0;
    int m_nTimerInterval = 25;
    int m_nResizeCaptureRange = 3;
    BOOL m_bAllowRowResize = TRUE, m_bAllowColumnResize = TRUE;
    UINT m_nRowsPerWheelNotch = 3;

    std::map<std::uint64_t, CCellID> m_SelectedCellMap, m_PrevSelectedCellMap;
    CCellID m_LastDragOverCell;

    BOOL m_bAscending = TRUE;
    int m_nSortColumn = -1;
    BOOL m_bShadedPrintOut = TRUE;

    int m_CurCol = -1;  // column dragged by a header drag
    std::vector<int> m_arRowOrder, m_arColOrder;
    int m_CurRow = -1;  // row recorded at the last left-button press
    bool m_bDragRowMode = true;
    bool m_bDestroying = false;
    bool m_AllowReorderColumn = false;
    bool m_QuitFocusOnTab = false;
    bool m_AllowSelectRowInFixedCol = false;

    // Virtual mode hands out this one cell, refilled on every GetCell.
    mutable std::unique_ptr<CGridCell> m_pVirtualCell;
};
