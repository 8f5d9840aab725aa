// The month calendar driven through its window: pages against an independent calendar,
// presses and arrows, the two lists, marks, and what the owner is told.

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/app.h"
#include "controls/MonthCalCtrlEx.h"
#include "tests/controls_calendar/fixture.h"

namespace {

COleDateTime Date(int y, int m, int d)
{
    COleDateTime t;
    t.SetDate(y, m, d);
    return t;
}

std::string Ymd(const COleDateTime& t)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", t.GetYear(), t.GetMonth(), t.GetDay());
    return buf;
}

class Host : public CDialog {
public:
    CMonthCalCtrlEx cal;
    std::vector<NMHDR> notes;
    DialogTemplate tmpl;

    Host(int w, int h)
    {
        tmpl.style = WS_POPUP | WS_VISIBLE;
        tmpl.x = 50;
        tmpl.y = 40;
        tmpl.cx = w + 20;
        tmpl.cy = h + 20;
        tmpl.items.push_back({kMonthCalClassName, "", 1000, 10, 10, w, h, WS_VISIBLE});
        EXPECT_TRUE(CreateIndirect(&tmpl, nullptr));
    }
    BOOL OnInitDialog() override
    {
        cal.SubclassDlgItem(1000, this);
        return CDialog::OnInitDialog();
    }
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) override
    {
        const NMHDR* nm = reinterpret_cast<const NMHDR*>(lParam);
        EXPECT_EQ(wParam, 1000u);
        notes.push_back(*nm);
        return CDialog::OnNotify(wParam, lParam, result);
    }
};

struct FakeMain : CMainDlgServices {
    int clears = 0;
    void ClearDayMinuteTable() override { ++clears; }
};

class CalendarTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        host = std::make_unique<Host>(217, 190);  // cells of 31 x 24 pixels
        ASSERT_TRUE(host->cal.m_hWnd);
        Pump();
    }
    void TearDown() override
    {
        theApp.m_pMainDlg = nullptr;
        host.reset();
        UiTest::TearDown();
    }
    CMonthCalCtrlEx& cal() { return host->cal; }
    HWND hwnd() { return host->cal.m_hWnd; }
    CPoint Centre(int cell) { return cal().GetCellRect(cell).CenterPoint(); }
    void ClickCell(int cell) { Click(hwnd(), Centre(cell).x, Centre(cell).y); }
    COleDateTime Current()
    {
        COleDateTime t;
        cal().GetCurSel(t);
        return t;
    }
    int CellOf(int y, int m, int d)
    {
        for (int i = 0; i < CMonthCalCtrlEx::kCells; ++i)
            if (Ymd(cal().GetCell(i).date) == Ymd(Date(y, m, d)))
                return i;
        return -1;
    }

    std::unique_ptr<Host> host;
};

TEST_F(CalendarTest, PagesMatchAnIndependentCalendarFrom1900To2100)
{
    // Python's calendar module as the oracle; a Sunday 1st opens with a full previous week.
    const char* script =
        "import calendar, datetime\n"
        "for y in range(1900, 2101):\n"
        "  for m in range(1, 13):\n"
        "    first = datetime.date(y, m, 1)\n"
        "    lead = (calendar.weekday(y, m, 1) + 1) % 7 or 7\n"
        "    out = []\n"
        "    for i in range(42):\n"
        "      d = first + datetime.timedelta(days=i - lead)\n"
        "      k = -1 if d < first else (0 if d.month == m else 1)\n"
        "      out.append('%04d-%02d-%02d:%d' % (d.year, d.month, d.day, k))\n"
        "    print(y, m, ' '.join(out))\n";
    FILE* p = popen(("python3 -c \"" + std::string(script) + "\"").c_str(), "r");
    if (!p)
        GTEST_SKIP() << "python3 not available";
    std::string all;
    char buf[4096];
    while (size_t n = fread(buf, 1, sizeof buf, p))
        all.append(buf, n);
    if (pclose(p) != 0 || all.empty())
        GTEST_SKIP() << "python3 not available";

    std::istringstream lines(all);
    std::string line;
    int months = 0, leap_februaries = 0;
    while (std::getline(lines, line)) {
        std::istringstream in(line);
        int y = 0, m = 0;
        in >> y >> m;
        cal().SetCurSel(Date(y, m, 1), FALSE);
        int own = 0;
        for (int i = 0; i < CMonthCalCtrlEx::kCells; ++i) {
            std::string expect;
            in >> expect;
            const MonthCalCell& c = cal().GetCell(i);
            const std::string got = Ymd(c.date) + ":" + std::to_string(c.kind);
            ASSERT_EQ(got, expect) << y << "-" << m << " cell " << i;
            ASSERT_EQ(c.text, std::to_string(c.date.GetDay()));
            own += c.kind == 0;
        }
        if (m == 2 && own == 29)
            ++leap_februaries;
        ++months;
    }
    EXPECT_EQ(months, 201 * 12);
    EXPECT_EQ(leap_februaries, 49);  // 1904..2096 every fourth year except 1900 and 2100; 2000 counts
}

TEST_F(CalendarTest, FirstPageShowsTodayWithBothListsFilled)
{
    const COleDateTime today = COleDateTime::GetCurrentTime();
    EXPECT_EQ(Ymd(Current()), Ymd(today));
    EXPECT_EQ(Ymd(cal().GetCell(cal().GetSelectedCell()).date), Ymd(today));
    EXPECT_EQ(cal().YearList().GetCount(), 11);
    EXPECT_EQ(cal().YearList().GetCurSel(), 5);
    std::string text;
    cal().YearList().GetWindowText(text);
    EXPECT_EQ(text, std::to_string(today.GetYear()));
    EXPECT_EQ(cal().MonthList().GetCount(), 12);
    EXPECT_EQ(cal().MonthList().GetCurSel(), today.GetMonth() - 1);
    // The lists keep the height of their font; the 200 pixels are the dropped list's.
    CRect r;
    cal().MonthList().GetWindowRect(&r);
    EXPECT_LT(r.Height(), 40);
}

TEST_F(CalendarTest, PressAndReleaseOnADaySelectsItAndNotifiesOnce)
{
    cal().SetCurSel(Date(2024, 3, 10), TRUE);
    const int cell = CellOf(2024, 3, 20);
    ClickCell(cell);
    ASSERT_EQ(host->notes.size(), 1u);
    EXPECT_EQ(host->notes[0].code, CALN_SELCHANGED);
    EXPECT_EQ(host->notes[0].hwndFrom, hwnd());
    EXPECT_EQ(host->notes[0].idFrom, 1000u);
    EXPECT_EQ(Ymd(Current()), "2024-03-20");
    EXPECT_EQ(cal().GetSelectedCell(), cell);
    EXPECT_EQ(cal().GetHotCell(), -1);

    // A day of the next month switches the page to that month.
    host->notes.clear();
    ClickCell(CellOf(2024, 4, 2));
    EXPECT_EQ(host->notes.size(), 1u);
    EXPECT_EQ(Ymd(Current()), "2024-04-02");
    EXPECT_EQ(cal().GetCell(cal().GetSelectedCell()).kind, 0);
    EXPECT_EQ(cal().MonthList().GetCurSel(), 3);
}

TEST_F(CalendarTest, HitTestFollowsTheCellGridAndNothingOutsideIt)
{
    const CRect first = cal().GetCellRect(0);
    EXPECT_EQ(first.top, 15 + 1 + 28);
    EXPECT_EQ(first.Width(), 31);
    EXPECT_EQ(first.Height(), 24);
    EXPECT_EQ(cal().HitTest(first.TopLeft()), 0);
    EXPECT_EQ(cal().HitTest(CPoint(first.right - 1, first.bottom - 1)), 0);
    EXPECT_EQ(cal().HitTest(CPoint(first.right, first.bottom)), 8);
    EXPECT_EQ(cal().HitTest(CPoint(first.left, first.top - 1)), -1);   // the gap above
    EXPECT_EQ(cal().HitTest(CPoint(7 * 31, first.top)), -1);           // right of the last column
    EXPECT_EQ(cal().HitTest(CPoint(0, first.top + 6 * 24)), -1);       // below the last row
    EXPECT_EQ(cal().HitTest(CPoint(6 * 31, first.top + 6 * 24 - 1)), 41);
}

TEST_F(CalendarTest, ArrowsAreHitByTheEvenOddRule)
{
    // Previous arrow: (24, 7), (24, 21), (10, 14). Its right edge and vertices lie outside.
    EXPECT_EQ(cal().HitArrow(CPoint(23, 14)), 0);
    EXPECT_EQ(cal().HitArrow(CPoint(10, 14)), 0);
    EXPECT_EQ(cal().HitArrow(CPoint(23, 8)), 0);
    EXPECT_EQ(cal().HitArrow(CPoint(24, 14)), -1);
    EXPECT_EQ(cal().HitArrow(CPoint(9, 14)), -1);
    EXPECT_EQ(cal().HitArrow(CPoint(24, 7)), -1);
    EXPECT_EQ(cal().HitArrow(CPoint(23, 7)), -1);
    EXPECT_EQ(cal().HitArrow(CPoint(20, 21)), -1);
    // Next arrow mirrors it from the right: (193, 7), (193, 21), (207, 14).
    EXPECT_EQ(cal().HitArrow(CPoint(194, 14)), 1);
    EXPECT_EQ(cal().HitArrow(CPoint(206, 14)), 1);
    EXPECT_EQ(cal().HitArrow(CPoint(207, 14)), -1);
    EXPECT_EQ(cal().HitArrow(CPoint(192, 14)), -1);
}

TEST_F(CalendarTest, ArrowsMoveByAMonthKeepingTheDayWithinTheMonth)
{
    auto next = [&] { Click(hwnd(), 200, 14); };
    auto previous = [&] { Click(hwnd(), 17, 14); };

    cal().SetCurSel(Date(2024, 1, 31), TRUE);
    next();
    EXPECT_EQ(Ymd(Current()), "2024-02-29");
    cal().SetCurSel(Date(2023, 1, 31), TRUE);
    next();
    EXPECT_EQ(Ymd(Current()), "2023-02-28");
    EXPECT_EQ(host->notes.size(), 2u);

    cal().SetCurSel(Date(2023, 12, 15), TRUE);
    next();
    EXPECT_EQ(Ymd(Current()), "2024-01-15");
    std::string first, chosen;
    cal().YearList().GetLBText(0, first);
    cal().YearList().GetWindowText(chosen);
    EXPECT_EQ(first, "2019");
    EXPECT_EQ(chosen, "2024");
    EXPECT_EQ(cal().YearList().GetCount(), 11);

    previous();
    previous();
    EXPECT_EQ(Ymd(Current()), "2023-11-15");
    EXPECT_EQ(cal().MonthList().GetCurSel(), 10);
    EXPECT_EQ(host->notes.size(), 5u);
}

TEST_F(CalendarTest, ListsChangeYearOrMonthAndClampTheDay)
{
    cal().SetCurSel(Date(2023, 1, 31), TRUE);
    cal().MonthList().SetFocus();
    Key(VK_DOWN);  // "2"
    EXPECT_EQ(Ymd(Current()), "2023-02-28");
    ASSERT_EQ(host->notes.size(), 1u);

    cal().SetCurSel(Date(2024, 2, 29), TRUE);
    cal().YearList().SetFocus();
    Key(VK_DOWN);  // 2025
    EXPECT_EQ(Ymd(Current()), "2025-02-28");
    EXPECT_EQ(cal().YearList().GetCurSel(), 5);  // refilled around the new year
    EXPECT_EQ(host->notes.size(), 2u);

    // With the mouse: drop the month list and pick "4".
    CComboBox& months = cal().MonthList();
    CRect field;
    months.GetClientRect(&field);
    Click(months.m_hWnd, field.right - 5, field.Height() / 2);
    HWND list = qv::ctl::ComboDroppedList(months.m_hWnd);
    ASSERT_TRUE(list);
    CRect item = qv::ctl::ComboListItemRect(months.m_hWnd, 3);
    Click(list, item.CenterPoint().x, item.CenterPoint().y);
    EXPECT_FALSE(qv::ctl::ComboDroppedList(months.m_hWnd));
    EXPECT_EQ(Ymd(Current()), "2025-04-28");
    EXPECT_EQ(host->notes.size(), 3u);
}

TEST_F(CalendarTest, MarksAreKeptOnceAndAppearWhenTheirMonthIsShown)
{
    cal().SetCurSel(Date(2024, 5, 10), TRUE);
    cal().MarkDate(Date(2024, 5, 14));
    cal().MarkDate(Date(2024, 5, 14));
    cal().MarkDate(Date(2024, 7, 1));
    EXPECT_EQ(cal().GetMarkedCount(), 2u);
    const int cell = CellOf(2024, 5, 14);
    EXPECT_TRUE(cal().GetCell(cell).marked);
    Pump();
    const CRect r = cal().GetCellRect(cell);
    EXPECT_EQ(qv::win::ReadPixel(hwnd(), r.left + 1, r.top + 3), 0x0000FFu);  // the inner frame
    const CRect plain = cal().GetCellRect(CellOf(2024, 5, 15));
    EXPECT_EQ(qv::win::ReadPixel(hwnd(), plain.left + 1, plain.top + 3), 0x303030u);

    cal().SetCurSel(Date(2024, 7, 20), TRUE);
    EXPECT_TRUE(cal().GetCell(CellOf(2024, 7, 1)).marked);
    cal().ClearMarks();
    EXPECT_EQ(cal().GetMarkedCount(), 0u);
    EXPECT_FALSE(cal().GetCell(CellOf(2024, 7, 1)).marked);
}

TEST_F(CalendarTest, APressedDayShowsAsAnOutlinedBox)
{
    cal().SetCurSel(Date(2024, 5, 10), TRUE);
    const int cell = CellOf(2024, 5, 22);
    const CRect r = cal().GetCellRect(cell);
    now += 1000;
    Move(hwnd(), r.left + 3, r.top + 3);
    Press(hwnd(), r.left + 3, r.top + 3, true);
    EXPECT_EQ(cal().GetHotCell(), cell);
    EXPECT_EQ(qv::win::ReadPixel(hwnd(), r.left, r.top + 5), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(qv::win::ReadPixel(hwnd(), r.left + 3, r.top + 3), 0x303030u);  // not filled over
    Press(hwnd(), r.left + 3, r.top + 3, false);
    EXPECT_EQ(qv::win::ReadPixel(hwnd(), r.left, r.top + 5), 0x303030u);
}

TEST_F(CalendarTest, HoveringAnArrowLightsItsOutlineUntilThePointerLeaves)
{
    Move(hwnd(), 100, 100);
    EXPECT_EQ(qv::win::ReadPixel(hwnd(), 24, 14), 0x380601u);
    Move(hwnd(), 20, 14);
    EXPECT_EQ(cal().GetHotArrow(), 0);
    EXPECT_EQ(qv::win::ReadPixel(hwnd(), 24, 14), 0xFFFFFFu);
    EXPECT_EQ(qv::win::ReadPixel(hwnd(), 20, 14), 0x1E97E4u);  // the fill
    Move(host->m_hWnd, 2, 2);                                  // onto the dialog beside it
    EXPECT_EQ(cal().GetHotArrow(), -1);
    EXPECT_EQ(qv::win::ReadPixel(hwnd(), 24, 14), 0x380601u);
}

TEST_F(CalendarTest, ADayPressResetsThePlayerWindowsDaySelectionWhenThereIsOne)
{
    cal().SetCurSel(Date(2024, 5, 10), TRUE);
    ClickCell(CellOf(2024, 5, 3));  // no player window: nothing to reset, and no crash
    EXPECT_EQ(host->notes.size(), 1u);

    FakeMain main;
    main.m_nSelectedTimeCell = 17;
    theApp.m_pMainDlg = &main;
    const CRect a = cal().GetCellRect(CellOf(2024, 5, 7)), b = cal().GetCellRect(CellOf(2024, 5, 8));
    now += 1000;
    Move(hwnd(), a.left + 2, a.top + 2);
    Press(hwnd(), a.left + 2, a.top + 2, true);
    EXPECT_EQ(main.clears, 1);
    EXPECT_EQ(main.m_nSelectedTimeCell, -1);
    Move(hwnd(), b.left + 2, b.top + 2);  // dragging on does not reset again
    Press(hwnd(), b.left + 2, b.top + 2, false);
    EXPECT_EQ(main.clears, 1);
    EXPECT_EQ(Ymd(Current()), "2024-05-08");
    ClickCell(CellOf(2024, 5, 9));
    EXPECT_EQ(main.clears, 2);
}

TEST_F(CalendarTest, SizingKeepsTheSmallestCells)
{
    cal().MoveWindow(10, 10, 100, 60);
    EXPECT_EQ(cal().GetCellRect(1).left, 20);
    EXPECT_EQ(cal().GetCellRect(7).top - cal().GetCellRect(0).top, 12);
    cal().MoveWindow(10, 10, 350, 44 + 6 * 30);
    EXPECT_EQ(cal().GetCellRect(1).left, 50);
    EXPECT_EQ(cal().GetCellRect(7).top - cal().GetCellRect(0).top, 30);
    CRect year;
    cal().YearList().GetWindowRect(&year);
    cal().ScreenToClient(&year);
    EXPECT_EQ(year.left, 350 / 2 - 70);
    EXPECT_EQ(year.top, 4);
}

}  // namespace
