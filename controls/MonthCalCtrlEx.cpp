#include "controls/MonthCalCtrlEx.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>

#include "app/app.h"
#include "platform/win/afxexcept.h"

namespace {

struct DayName {
    const char* name;
    COLORREF color;
};

// Sunday first, as the page's columns. Each name is its day's first three letters, Wednesday's
// too ("Wed"): a misspelt column head would be a fault on screen, and nothing reads these names
// back (they are drawn only, never looked up or translated).
constexpr DayName kDayNames[7] = {{"Sun", 0x0000FF}, {"Mon", 0xFFFFFF}, {"Tue", 0xFFFFFF}, {"Wed", 0xFFFFFF},
                                  {"Thu", 0xFFFFFF}, {"Fri", 0xFFFFFF}, {"Sat", 0xFF0000}};

constexpr DWORD kListStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST;
constexpr int kDroppedHeight = 200;

int DaysInMonth(int year, int month)
{
    const std::chrono::year_month_day_last last{std::chrono::year(year) / std::chrono::month(static_cast<unsigned>(month)) /
                                                std::chrono::last};
    return static_cast<int>(static_cast<unsigned>(last.day()));
}

bool SameDay(const COleDateTime& a, const COleDateTime& b)
{
    return a.GetYear() == b.GetYear() && a.GetMonth() == b.GetMonth() && a.GetDay() == b.GetDay();
}

// A date of that year and month with the day lowered to the month's length; invalid when the
// year is outside the date range.
COleDateTime ClampedDate(int year, int month, int day)
{
    COleDateTime d;
    if (year < 100 || year > 9999 || month < 1 || month > 12) {
        d.SetDate(0, 0, 0);
        return d;
    }
    d.SetDate(year, month, std::min(day, DaysInMonth(year, month)));
    return d;
}

// The pages of December 9999 and January 100 run into years no date can hold; those days are
// left blank and cannot be picked.
bool InDateRange(const COleDateTime& d)
{
    return d.GetYear() >= 100 && d.GetYear() <= 9999;
}

}  // namespace

CMonthCalCtrlEx::CMonthCalCtrlEx()
    : m_crCellBorder(GetSysColor(COLOR_BTNSHADOW)), m_dtCurrent(COleDateTime::GetCurrentTime())
{
    m_font.CreatePointFont(90, "冼极");
    RegisterWindowClass();
}

CMonthCalCtrlEx::~CMonthCalCtrlEx()
{
    m_font.DeleteObject();
    m_marked.clear();
    // The window goes while this object and its lists are still whole.
    if (m_hWnd && ::IsWindow(m_hWnd))
        DestroyWindow();
    m_cbYear.DestroyWindow();
    m_cbMonth.DestroyWindow();
}

BOOL CMonthCalCtrlEx::RegisterWindowClass()
{
    WNDCLASS wc{};
    if (GetClassInfo(nullptr, kMonthCalClassName, &wc))
        return TRUE;
    wc = WNDCLASS{};
    wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = ::DefWindowProc;
    wc.cbClsExtra = wc.cbWndExtra = 0;
    wc.hInstance = nullptr;
    wc.hIcon = nullptr;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_3DFACE + 1));
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = kMonthCalClassName;
    if (!AfxRegisterClass(&wc))
        AfxThrowResourceException();
    return TRUE;
}

BOOL CMonthCalCtrlEx::GetCurSel(COleDateTime& date) const
{
    date = m_dtCurrent;
    return TRUE;
}

void CMonthCalCtrlEx::SetCurSel(const COleDateTime& date, BOOL redraw)
{
    if (date.GetStatus() != COleDateTime::valid)
        return;
    BuildPage(date, redraw);
}

bool CMonthCalCtrlEx::IsMarked(const COleDateTime& date) const
{
    return std::any_of(m_marked.begin(), m_marked.end(), [&](const COleDateTime& d) { return SameDay(d, date); });
}

void CMonthCalCtrlEx::MarkDate(const COleDateTime& date)
{
    if (date.GetStatus() != COleDateTime::valid || IsMarked(date))
        return;
    m_marked.push_back(date);
    for (int i = 0; i < kCells; ++i) {
        if (!m_cells[i].marked && !m_cells[i].text.empty() && SameDay(m_cells[i].date, date)) {
            m_cells[i].marked = 1;
            InvalidateCell(i);
        }
    }
}

void CMonthCalCtrlEx::ClearMarks()
{
    m_marked.clear();
    for (MonthCalCell& c : m_cells)
        c.marked = 0;
    if (m_hWnd)
        Invalidate(FALSE);
}

CRect CMonthCalCtrlEx::GetCellRect(int index) const
{
    const int x = (index % 7) * m_nCellWidth + m_nMargin;
    const int y = m_nDayNameHeight + m_nGap + (index / 7) * m_nCellHeight + m_nMargin + m_nTitleHeight;
    return CRect(x, y, x + m_nCellWidth, y + m_nCellHeight);
}

int CMonthCalCtrlEx::HitTest(CPoint point) const
{
    const int x = point.x - m_nMargin;
    const int y = point.y - m_nMargin - (m_nDayNameHeight + m_nGap + m_nTitleHeight);
    if (x < 0 || y < 0)
        return -1;
    const int row = y / m_nCellHeight, col = x / m_nCellWidth;
    if (row >= m_nRows || col >= m_nCols)
        return -1;
    const int cell = row * 7 + col;
    if ((!m_bShowOtherMonths && m_cells[cell].kind != 0) || !InDateRange(m_cells[cell].date))
        return -1;
    return cell;
}

void CMonthCalCtrlEx::ArrowPoints(int arrow, POINT out[3]) const
{
    CRect rc;
    if (m_hWnd)
        GetClientRect(&rc);
    const int t = rc.top, b = rc.top + m_nTitleHeight, m = t + m_nTitleHeight / 2;
    if (arrow == 0) {
        out[0] = {rc.left + 24, t + 7};
        out[1] = {rc.left + 24, b - 7};
        out[2] = {rc.left + 10, m};
    } else {
        out[0] = {rc.right - 24, t + 7};
        out[1] = {rc.right - 24, b - 7};
        out[2] = {rc.right - 10, m};
    }
}

int CMonthCalCtrlEx::HitArrow(CPoint point) const
{
    for (int arrow = 0; arrow < 2; ++arrow) {
        POINT p[3];
        ArrowPoints(arrow, p);
        int crossings = 0;
        for (int i = 0; i < 3; ++i) {
            const POINT& a = p[i];
            const POINT& b = p[(i + 1) % 3];
            if (a.y == b.y || point.y < std::min(a.y, b.y) || point.y >= std::max(a.y, b.y))
                continue;
            const double x = static_cast<double>(point.y - a.y) * (b.x - a.x) / (b.y - a.y) + a.x;
            if (x > point.x)
                ++crossings;
        }
        if (crossings % 2)
            return arrow;
    }
    return -1;
}

void CMonthCalCtrlEx::InvalidateCell(int index)
{
    if (index < 0 || index >= kCells || !m_hWnd)
        return;
    CRect r = GetCellRect(index);
    InvalidateRect(&r, FALSE);
}

void CMonthCalCtrlEx::InvalidateArrow(int arrow)
{
    if (!m_hWnd || arrow < 0 || arrow > 1)
        return;
    CRect rc;
    GetClientRect(&rc);
    const int t = rc.top, b = rc.top + m_nTitleHeight;
    CRect r = arrow == 0 ? CRect(rc.left + 10, t + 7, rc.left + 24, b - 7) : CRect(rc.right - 24, t + 7, rc.right - 10, b - 7);
    // The outline runs on the triangle's right and bottom vertices too, one pixel past the
    // exclusive edges of the triangle's box.
    ::InflateRect(&r, 1, 1);
    InvalidateRect(&r, FALSE);
}

void CMonthCalCtrlEx::FillYearList(int year)
{
    m_cbYear.ResetContent();
    for (int y = year - 5; y <= year + 5; ++y)
        m_cbYear.AddString(std::to_string(y).c_str());
    m_cbYear.SetCurSel(5);
    m_nListedYear = year;
}

void CMonthCalCtrlEx::BuildPage(COleDateTime date, BOOL redraw)
{
    const int year = date.GetYear(), month = date.GetMonth();
    COleDateTime first;
    first.SetDate(year, month, 1);
    const int n = DaysInMonth(year, month);
    const int p = month == 1 ? 31 : DaysInMonth(year, month - 1);
    int lead = first.GetDayOfWeek() - 1;
    if (lead == 0 && m_bShowOtherMonths)
        lead = 7;

    for (int k = 0; k < lead; ++k) {
        MonthCalCell& c = m_cells[lead - k - 1];
        c.text = std::to_string(p - k);
        c.date = first - COleDateTimeSpan(k + 1);
        c.kind = -1;
    }
    for (int k = 0; k < n; ++k) {
        MonthCalCell& c = m_cells[lead + k];
        c.text = std::to_string(k + 1);
        c.date = first + COleDateTimeSpan(k);
        c.kind = 0;
    }
    for (int k = 0; lead + n + k < kCells; ++k) {
        MonthCalCell& c = m_cells[lead + n + k];
        c.text = std::to_string(k + 1);
        c.date = first + COleDateTimeSpan(n + k);
        c.kind = 1;
    }
    for (MonthCalCell& c : m_cells)
        c.marked = IsMarked(c.date) ? 1 : 0;

    m_nSelCell = lead + date.GetDay() - 1;
    m_dtCurrent = date;

    if (m_cbYear.m_hWnd && year != m_nListedYear)
        FillYearList(year);
    if (m_cbMonth.m_hWnd && m_cbMonth.GetCurSel() != month - 1)
        m_cbMonth.SetCurSel(month - 1);
    if (redraw && m_hWnd)
        Invalidate(FALSE);
}

void CMonthCalCtrlEx::MoveMonth(int direction, const COleDateTime& base)
{
    int year = base.GetYear(), month = base.GetMonth();
    if (direction == 0) {
        if (--month < 1)
            month = 12, --year;
    } else {
        if (++month > 12)
            month = 1, ++year;
    }
    const COleDateTime next = ClampedDate(year, month, base.GetDay());
    if (next.GetStatus() != COleDateTime::valid || SameDay(next, m_dtCurrent))
        return;
    m_dtCurrent = next;
    BuildPage(next, TRUE);
    NotifySelChanged();
}

void CMonthCalCtrlEx::ChangeFromList(int year, int month)
{
    const COleDateTime next = ClampedDate(year, month, m_dtCurrent.GetDay());
    if (next.GetStatus() != COleDateTime::valid) {
        // A year beyond the date range: the lists go back to the date shown.
        if (m_cbYear.m_hWnd)
            m_cbYear.SetCurSel(m_dtCurrent.GetYear() - m_nListedYear + 5);
        if (m_cbMonth.m_hWnd)
            m_cbMonth.SetCurSel(m_dtCurrent.GetMonth() - 1);
        return;
    }
    if (SameDay(next, m_dtCurrent))
        return;
    BuildPage(next, TRUE);
    NotifySelChanged();
}

void CMonthCalCtrlEx::NotifySelChanged()
{
    CWnd* owner = GetOwner();
    if (!m_hWnd || !::IsWindow(m_hWnd) || !owner || !::IsWindow(owner->m_hWnd))
        return;
    NMHDR nm{m_hWnd, static_cast<UINT_PTR>(GetDlgCtrlID()), CALN_SELCHANGED};
    owner->SendMessage(WM_NOTIFY, static_cast<WPARAM>(nm.idFrom), reinterpret_cast<LPARAM>(&nm));
}

void CMonthCalCtrlEx::ComputeSizes(int cx, int cy)
{
    m_nDayNameWidth = std::max(20, (cx - 2 * m_nMargin) / 7);
    m_nCellWidth = std::max(20, (cx - 2 * m_nMargin) / 7);
    m_nCellHeight = std::max(12, (cy - m_nDayNameHeight - m_nGap - m_nTitleHeight) / 6);
}

void CMonthCalCtrlEx::PreSubclassWindow()
{
    CWnd::PreSubclassWindow();
    for (MonthCalCell& c : m_cells) {
        c.text.clear();
        c.kind = 0;
        c.date.SetDate(1970, 1, 1);
        c.textColor = 0xFFFFFF;
    }
    COleDateTime start;
    if (m_bStartOnToday)
        start = COleDateTime::GetCurrentTime();
    else
        start.SetDate(1970, 1, 1);
    m_dtCurrent = start;
    BuildPage(start, TRUE);

    CRect rc;
    GetClientRect(&rc);
    ComputeSizes(rc.Width(), rc.Height());

    const int cx = rc.Width();
    m_cbYear.Create(kListStyle, CRect(cx / 2 - 70, 4, cx / 2, kDroppedHeight), this, kYearListId);
    m_cbYear.SetFont(m_font);
    m_cbMonth.Create(kListStyle, CRect(cx / 2 + 20, 4, cx / 2 + 70, kDroppedHeight), this, kMonthListId);
    m_cbMonth.SetFont(m_font);
    FillYearList(m_dtCurrent.GetYear());
    for (int m = 1; m <= 12; ++m)
        m_cbMonth.AddString(std::to_string(m).c_str());
    m_cbMonth.SetCurSel(m_dtCurrent.GetMonth() - 1);
}

BOOL CMonthCalCtrlEx::OnCommand(WPARAM wParam, LPARAM lParam)
{
    const UINT id = LOWORD(static_cast<DWORD>(wParam));
    if (HIWORD(static_cast<DWORD>(wParam)) == CBN_SELCHANGE && (id == kYearListId || id == kMonthListId)) {
        CComboBox& list = id == kYearListId ? m_cbYear : m_cbMonth;
        std::string text;
        list.GetWindowText(text);
        const int value = std::atoi(text.c_str());
        if (id == kYearListId)
            ChangeFromList(value, m_dtCurrent.GetMonth());
        else
            ChangeFromList(m_dtCurrent.GetYear(), value);
        return TRUE;
    }
    return CWnd::OnCommand(wParam, lParam);
}

void CMonthCalCtrlEx::OnSize(UINT type, int cx, int cy)
{
    CWnd::OnSize(type, cx, cy);
    ComputeSizes(cx, cy);
    if (m_cbYear.m_hWnd)
        m_cbYear.MoveWindow(cx / 2 - 70, 4, 70, kDroppedHeight - 4, TRUE);
    if (m_cbMonth.m_hWnd)
        m_cbMonth.MoveWindow(cx / 2 + 20, 4, 50, kDroppedHeight - 4, TRUE);
}

void CMonthCalCtrlEx::DrawArrow(CDC& dc, int arrow)
{
    POINT p[3];
    ArrowPoints(arrow, p);
    CPen pen(PS_SOLID, 1, arrow == m_nHotArrow ? m_crArrowOutlineHot : m_crArrowOutline);
    CBrush brush(m_crArrowFill);
    CPen* oldPen = dc.SelectObject(&pen);
    CBrush* oldBrush = dc.SelectObject(&brush);
    dc.Polygon(p, 3);
    dc.SelectObject(oldPen);
    dc.SelectObject(oldBrush);
}

void CMonthCalCtrlEx::DrawCell(CDC& dc, int index)
{
    if (index < 0 || index >= kCells)
        return;
    const MonthCalCell& cell = m_cells[index];
    const CRect r = GetCellRect(index);
    CPen border(PS_SOLID, 1, m_crCellBorder);
    CPen* oldPen = dc.SelectObject(&border);
    CGdiObject* oldBrush = dc.SelectStockObject(NULL_BRUSH);
    if (index == m_nHotCell && m_bLButtonDown)
        dc.Rectangle(&r);  // the pressed day as a box, its number still readable
    if (cell.marked) {
        CPen mark(PS_SOLID, 1, m_crMark);
        dc.SelectObject(&mark);
        dc.MoveTo(r.left + 1, r.top + 1);
        dc.LineTo(r.right - 2, r.top + 1);
        dc.MoveTo(r.left + 1, r.top + 1);
        dc.LineTo(r.left + 1, r.bottom - 2);
        dc.MoveTo(r.left + 1, r.bottom - 2);
        dc.LineTo(r.right - 2, r.bottom - 2);
        dc.MoveTo(r.right - 2, r.top + 1);
        dc.LineTo(r.right - 2, r.bottom - 2);
        dc.SelectObject(&border);
    }
    const bool selected = index == m_nSelCell;
    if (selected) {
        CPen fillPen(PS_SOLID, 1, m_crSelFill);
        CBrush fill(m_crSelFill);
        dc.SelectObject(&fillPen);
        dc.SelectObject(&fill);
        dc.Ellipse(r.left + 1, r.top + 1, r.right, r.bottom);
        dc.SelectObject(&border);
        dc.SelectStockObject(NULL_BRUSH);
    }
    dc.SetBkMode(TRANSPARENT);
    CFont* oldFont = dc.SelectObject(&m_font);
    if (cell.kind != 0)
        dc.SetTextColor(selected ? m_crSelText : m_crOtherMonthText);
    else
        dc.SetTextColor(selected ? m_crSelText : cell.textColor);
    if ((m_bShowOtherMonths || cell.kind == 0) && InDateRange(cell.date)) {
        CRect t = r;
        dc.DrawText(cell.text, &t, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    dc.SelectObject(oldFont);
    dc.SelectObject(oldPen);
    dc.SelectObject(oldBrush);
}

void CMonthCalCtrlEx::OnPaint()
{
    CPaintDC dc(this);
    CRect rc;
    GetClientRect(&rc);
    dc.FillSolidRect(&rc, m_crBack);

    CRect title(rc.left, rc.top, rc.right, rc.top + m_nTitleHeight);
    dc.FillSolidRect(&title, m_crTitle);
    DrawArrow(dc, 0);
    DrawArrow(dc, 1);

    CRect names(rc.left, title.bottom, rc.right, title.bottom + m_nDayNameHeight);
    dc.FillSolidRect(&names, m_crDayNameBand);
    CRect gap(rc.left, names.bottom, rc.right, names.bottom + m_nGap);
    dc.FillSolidRect(&gap, m_crGap);

    dc.SetBkMode(TRANSPARENT);
    CFont* oldFont = dc.SelectObject(&m_font);
    for (int c = 0; c < 7; ++c) {
        const int x = c * m_nDayNameWidth + m_nMargin, y = m_nMargin + m_nTitleHeight;
        CRect r(x, y, x + m_nDayNameWidth, y + m_nDayNameHeight);
        dc.SetTextColor(kDayNames[c].color);
        dc.DrawText(kDayNames[c].name, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    dc.SelectObject(oldFont);
    for (int i = 0; i < kCells; ++i)
        DrawCell(dc, i);

    // The frame only: filling it would cover everything drawn above.
    CGdiObject* oldPen = dc.SelectStockObject(BLACK_PEN);
    CGdiObject* oldBrush = dc.SelectStockObject(NULL_BRUSH);
    dc.Rectangle(&rc);
    dc.SelectObject(oldPen);
    dc.SelectObject(oldBrush);
}

void CMonthCalCtrlEx::OnMouseMove(UINT flags, CPoint point)
{
    if (!m_bTracking) {
        TRACKMOUSEEVENT tme{sizeof(TRACKMOUSEEVENT), TME_LEAVE, m_hWnd, 0};
        m_bTracking = ::TrackMouseEvent(&tme);
    }
    m_bLButtonDown = flags == MK_LBUTTON;
    if (!(flags & MK_LBUTTON))
        m_bPressBegan = FALSE;  // released somewhere else

    const int arrow = HitArrow(point);
    if (arrow != m_nHotArrow) {
        const int old = m_nHotArrow;
        m_nHotArrow = arrow;
        if (arrow == -1) {
            InvalidateArrow(0);
            InvalidateArrow(1);
        } else {
            InvalidateArrow(old);
            InvalidateArrow(arrow);
        }
    }

    const int cell = HitTest(point);
    if (cell != m_nHotCell && m_bLButtonDown) {
        const int old = m_nHotCell;
        m_nHotCell = cell;
        InvalidateCell(old);
        InvalidateCell(cell);
    }
    Default();
}

void CMonthCalCtrlEx::OnMouseLeave()
{
    m_bTracking = FALSE;
    // Outside, the button may be released and pressed again unseen.
    m_bPressBegan = FALSE;
    const int old = m_nHotCell;
    m_nHotCell = -1;
    InvalidateCell(old);
}

void CMonthCalCtrlEx::OnLButtonDown(UINT flags, CPoint point)
{
    m_bPressBegan = TRUE;
    m_bLButtonDown = flags == MK_LBUTTON;
    const int cell = HitTest(point);
    if (cell != m_nHotCell && m_bLButtonDown) {
        // A new day is being picked: the player window's selected time cell and minute table
        // belong to the old one. Without a running player window there is nothing to reset.
        if (CMainDlgServices* main = theApp.m_pMainDlg) {
            main->m_nSelectedTimeCell = -1;
            main->ClearDayMinuteTable();
        }
        const int old = m_nHotCell;
        m_nHotCell = cell;
        InvalidateCell(old);
        InvalidateCell(cell);
    }
    Default();
}

void CMonthCalCtrlEx::OnLButtonDblClk(UINT, CPoint)
{
    // The second press of a double click is a press on the calendar too.
    m_bPressBegan = TRUE;
    Default();
}

void CMonthCalCtrlEx::OnLButtonUp(UINT flags, CPoint point)
{
    const BOOL pressBegan = std::exchange(m_bPressBegan, FALSE);
    if (m_nHotArrow != -1 && pressBegan) {
        if (m_nSelCell >= 0 && m_nSelCell < kCells)
            m_dtCurrent = m_cells[m_nSelCell].date;
        MoveMonth(m_nHotArrow, m_dtCurrent);
    }
    if (m_nHotCell != -1 && InDateRange(m_cells[m_nHotCell].date)) {
        const int cell = m_nHotCell;
        const int old = m_nSelCell;
        m_nSelCell = cell;
        m_nHotCell = -1;
        InvalidateCell(old);
        InvalidateCell(cell);
        const MonthCalCell& c = m_cells[cell];
        if (!SameDay(c.date, m_dtCurrent))
            BuildPage(c.date, c.kind != 0);
        NotifySelChanged();
    }
    Default();
}
