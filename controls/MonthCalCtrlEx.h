#pragma once
// A self-drawn month calendar for searching recordings by date: one month as 42 day cells (six
// weeks from Sunday), two arrows and a year and a month list to change the month, a red inner
// frame on days that have recordings. Every change of the selected day or month is reported to
// the owner with WM_NOTIFY / CALN_SELCHANGED; the owner then reads GetCurSel.

#include <string>
#include <vector>

#include "platform/base/oledatetime.h"
#include "platform/ctl/combobox.h"
#include "platform/win/afxwin.h"

constexpr UINT CALN_SELCHANGED = static_cast<UINT>(-101);
constexpr char kMonthCalClassName[] = "MFCMonthCalCtrlEx";

struct MonthCalCell {
    std::string text;           // the day number; empty before the first page is built
    COleDateTime date;
    short kind = 0;             // -1 previous month, 0 shown month, 1 next month
    COLORREF textColor = 0xFFFFFF;
    WORD marked = 0;
};

class CMonthCalCtrlEx : public CWnd {
public:
    static constexpr int kCells = 42;
    static constexpr UINT kYearListId = 10001;
    static constexpr UINT kMonthListId = 10002;

    CMonthCalCtrlEx();
    ~CMonthCalCtrlEx() override;

    // Registers the window class once per program; throws CResourceException when it cannot.
    BOOL RegisterWindowClass();

    BOOL GetCurSel(COleDateTime& date) const;
    void SetCurSel(const COleDateTime& date, BOOL redraw);
    void MarkDate(const COleDateTime& date);
    void ClearMarks();

protected:
    void PreSubclassWindow() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnPaint() override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnMouseLeave() override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnLButtonDblClk(UINT flags, CPoint point) override;

private:
    CRect GetCellRect(int index) const;
    // The cell under a client point, -1 for none.
    int HitTest(CPoint point) const;
    // The arrow under a client point: 0 previous month, 1 next month, -1 none.
    int HitArrow(CPoint point) const;
    void BuildPage(COleDateTime date, BOOL redraw);  // by value: callers pass a cell's own date
    void MoveMonth(int direction, const COleDateTime& base);
    void ChangeFromList(int year, int month);
    void ComputeSizes(int cx, int cy);
    void FillYearList(int year);
    void NotifySelChanged();
    void InvalidateCell(int index);
    void InvalidateArrow(int arrow);
    void ArrowPoints(int arrow, POINT out[3]) const;
    void DrawArrow(CDC& dc, int arrow);
    void DrawCell(CDC& dc, int index);
    bool IsMarked(const COleDateTime& date) const;

    MonthCalCell m_cells[kCells];
    int m_nCells = kCells;
    int m_nCols = 7, m_nRows = 6;
    int m_nCellWidth = 20, m_nCellHeight = 12;
    int m_nMargin = 0;
    int m_nDayNameWidth = 20, m_nDayNameHeight = 15;
    int m_nGap = 1;
    int m_nTitleHeight = 28;
    CFont m_font;
    BOOL m_bStartOnToday = TRUE;
    BOOL m_bShowOtherMonths = TRUE;
    int m_nHotArrow = -1;
    int m_nListedYear = 0;
    COLORREF m_crBack = 0x303030;
    COLORREF m_crTitle = 0x191919;
    COLORREF m_crDayNameBand = 0x303030;
    COLORREF m_crGap = 0xFFFFFF;
    COLORREF m_crArrowFill = 0x1E97E4;
    COLORREF m_crArrowOutline = 0x380601;
    COLORREF m_crArrowOutlineHot = 0xFFFFFF;
    COLORREF m_crOtherMonthText = 0xB3B885;
    COLORREF m_crSelFill = 0x00FFFF;
    COLORREF m_crSelText = 0x0000FF;
    COLORREF m_crCellBorder;
    COLORREF m_crMark = 0x0000FF;
    int m_nSelCell = -1;
    int m_nHotCell = -1;
    COleDateTime m_dtCurrent;
    CComboBox m_cbMonth;
    CComboBox m_cbYear;
    BOOL m_bTracking = FALSE;
    BOOL m_bLButtonDown = FALSE;
    // A left press began on the calendar and its release has not come yet; the calendar takes
    // no capture, so a release that arrives without it belongs to a press made elsewhere.
    BOOL m_bPressBegan = FALSE;
    std::vector<COleDateTime> m_marked;
};
