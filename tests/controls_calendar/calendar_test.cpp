// The month calendar driven through its window as a user drives it: pages read back from the
// screen against an independent calendar, presses and arrows, the two lists, marks, and what the
// owner is told. Cell places come from the layout the calendar promises its owner: seven columns
// of a seventh of the width, six rows below the title, day names and gap.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/app.h"
#include "controls/MonthCalCtrlEx.h"
#include "tests/controls_calendar/fixture.h"
#include "tests/support/media_probe.h"
#include "tests/support/memory_page.h"

namespace {

using qv::win::ReadPixel;

// The calendar's size: cells of 31 x 24 pixels, three columns of pixels right of the last cell
// and two rows below the last row.
constexpr int kW = 220, kH = 190;
constexpr int kCellW = 31, kCellH = 24;
constexpr int kTop = 28 + 15 + 1;  // title, day names, gap
constexpr COLORREF kBack = 0x303030, kOwnText = 0xFFFFFF, kSelFill = 0x00FFFF;
constexpr COLORREF kArrowOutline = 0x380601, kArrowOutlineHot = 0xFFFFFF, kMark = 0x0000FF;

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

std::chrono::sys_days Days(int y, int m, int d)
{
    return std::chrono::sys_days{std::chrono::year{y} / std::chrono::month(static_cast<unsigned>(m)) /
                                 std::chrono::day(static_cast<unsigned>(d))};
}

std::string Ymd(std::chrono::sys_days day)
{
    const std::chrono::year_month_day ymd{day};
    return Ymd(Date(static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
                    static_cast<int>(static_cast<unsigned>(ymd.day()))));
}

// Cells before the 1st: its weekday from Sunday, a whole week when the 1st is a Sunday.
int Lead(int y, int m)
{
    const unsigned wd = std::chrono::weekday{Days(y, m, 1)}.c_encoding();
    return wd == 0 ? 7 : static_cast<int>(wd);
}

CRect CellRect(int i)
{
    const int x = (i % 7) * kCellW, y = kTop + (i / 7) * kCellH;
    return CRect(x, y, x + kCellW, y + kCellH);
}

int ComboCount(HWND combo) { return static_cast<int>(SendMessage(combo, CB_GETCOUNT, 0, 0)); }
int ComboSel(HWND combo) { return static_cast<int>(SendMessage(combo, CB_GETCURSEL, 0, 0)); }
std::string ComboItem(HWND combo, int index)
{
    std::string text;
    SendMessage(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&text));
    return text;
}

class Host : public CDialog {
public:
    CMonthCalCtrlEx cal;
    std::vector<NMHDR> notes;
    DialogTemplate tmpl;

    Host()
    {
        tmpl.style = WS_POPUP | WS_VISIBLE;
        tmpl.x = 50;
        tmpl.y = 40;
        tmpl.cx = kW + 20;
        tmpl.cy = kH + 20;
        tmpl.items.push_back({kMonthCalClassName, "", 1000, 10, 10, kW, kH, WS_VISIBLE});
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
        host = std::make_unique<Host>();
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
    HWND years() { return ::GetDlgItem(hwnd(), CMonthCalCtrlEx::kYearListId); }
    HWND months() { return ::GetDlgItem(hwnd(), CMonthCalCtrlEx::kMonthListId); }

    // Shows the page of a date and remembers which month it is.
    void Show(int y, int m, int d)
    {
        cal().SetCurSel(Date(y, m, d), TRUE);
        shownY = y;
        shownM = m;
        Pump();
    }
    // The cell of a date on the page shown.
    int CellOf(int y, int m, int d) const
    {
        return Lead(shownY, shownM) + static_cast<int>((Days(y, m, d) - Days(shownY, shownM, 1)).count());
    }
    void ClickCell(int cell)
    {
        const CPoint c = CellRect(cell).CenterPoint();
        Click(hwnd(), c.x, c.y);
    }
    // The colour of a cell just inside its left edge: kSelFill where the selected day's circle is.
    COLORREF Behind(int cell) { return ReadPixel(hwnd(), CellRect(cell).left + 3, CellRect(cell).CenterPoint().y); }
    COleDateTime Current()
    {
        COleDateTime t;
        cal().GetCurSel(t);
        return t;
    }

    std::unique_ptr<Host> host;
    int shownY = 0, shownM = 0;
};

// Which pixels of a cell differ from its plain background: the shape of its day number.
std::string Shape(const PixelReader& read, const CRect& r, std::map<COLORREF, int>* colours = nullptr)
{
    std::string shape;
    for (int y = r.top + 1; y < r.bottom - 1; ++y)
        for (int x = r.left + 1; x < r.right - 1; ++x) {
            const COLORREF c = read(x, y);
            shape += c == kBack ? '.' : '#';
            if (colours && c != kBack)
                ++(*colours)[c];
        }
    return shape;
}

TEST_F(CalendarTest, PagesOnScreenMatchAnIndependentCalendar)
{
    // Python's calendar module as the oracle; a Sunday 1st opens with a full previous week.
    const char* script =
        "import calendar, datetime\n"
        "for y in (1900, 1999, 2000, 2024, 2100):\n"
        "  for m in range(1, 13):\n"
        "    first = datetime.date(y, m, 1)\n"
        "    lead = (calendar.weekday(y, m, 1) + 1) % 7 or 7\n"
        "    out = []\n"
        "    for i in range(42):\n"
        "      d = first + datetime.timedelta(days=i - lead)\n"
        "      k = -1 if d < first else (0 if d.month == m else 1)\n"
        "      out.append('%d:%d' % (d.day, k))\n"
        "    print(y, m, ' '.join(out))\n";
    int status = -1;
    const std::string all = mediaprobe::Shell("python3 -c \"" + std::string(script) + "\"", &status);
    ASSERT_EQ(status, 0) << "python3 is needed";

    // The shape of every day number, drawn by the drawing layer in the calendar's font, centred
    // in a cell of the same size over the same background.
    HFONT font = reinterpret_cast<HFONT>(SendMessage(years(), WM_GETFONT, 0, 0));
    ASSERT_TRUE(font);
    std::map<std::string, int> numbers;
    for (int n = 1; n <= 31; ++n) {
        MemoryPage cell(kCellW, kCellH, kBack);
        cell.dc.SelectObject(CFont::FromHandle(font));
        cell.dc.SetBkMode(TRANSPARENT);
        cell.dc.SetTextColor(kOwnText);
        CRect r(0, 0, kCellW, kCellH);
        cell.dc.DrawText(std::to_string(n), &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        ASSERT_TRUE(numbers.emplace(Shape(DcPixels(cell.dc), r), n).second) << n;
    }

    std::istringstream lines(all);
    std::string line;
    int pages = 0, leapFebruaries = 0;
    while (std::getline(lines, line)) {
        std::istringstream in(line);
        int y = 0, m = 0;
        in >> y >> m;
        Show(y, m, 1);
        int lastOwnDay = 0;  // as the calendar draws it: the last number in the month's own colour
        for (int i = 0; i < CMonthCalCtrlEx::kCells; ++i) {
            std::string expect;
            in >> expect;
            const int day = std::stoi(expect), kind = std::stoi(expect.substr(expect.find(':') + 1));
            if (i == Lead(y, m)) {
                // The 1st is the selected day: the circle behind it.
                EXPECT_EQ(kind, 0);
                EXPECT_EQ(Behind(i), kSelFill) << y << "-" << m;
                continue;
            }
            std::map<COLORREF, int> colours;
            const auto found = numbers.find(Shape(WindowPixels(hwnd()), CellRect(i), &colours));
            ASSERT_NE(found, numbers.end()) << y << "-" << m << " cell " << i;
            ASSERT_EQ(found->second, day) << y << "-" << m << " cell " << i;
            // Days of the neighbouring months in their own colour: the number's pixels are
            // shades between the background's grey and the text colour, grey for white text,
            // greener than red for the other months' colour.
            bool greenish = false;
            for (const auto& [c, count] : colours)
                greenish |= GetGValue(c) > GetRValue(c) + 8;
            ASSERT_EQ(greenish, kind != 0) << y << "-" << m << " cell " << i;
            if (!greenish)
                lastOwnDay = std::max(lastOwnDay, found->second);
        }
        if (m == 2 && lastOwnDay == 29)
            ++leapFebruaries;
        ++pages;
    }
    EXPECT_EQ(pages, 5 * 12);
    EXPECT_EQ(leapFebruaries, 2);  // 2000 and 2024; 1900 and 2100 are not leap years
}

TEST_F(CalendarTest, FirstPageShowsTodayWithBothListsFilled)
{
    const COleDateTime today = COleDateTime::GetCurrentTime();
    EXPECT_EQ(Ymd(Current()), Ymd(today));
    shownY = today.GetYear();
    shownM = today.GetMonth();
    EXPECT_EQ(Behind(CellOf(shownY, shownM, today.GetDay())), kSelFill);
    EXPECT_EQ(ComboCount(years()), 11);
    EXPECT_EQ(ComboSel(years()), 5);
    EXPECT_EQ(ComboItem(years(), 5), std::to_string(today.GetYear()));
    EXPECT_EQ(GetWindowTextString(years()), std::to_string(today.GetYear()));
    EXPECT_EQ(ComboCount(months()), 12);
    EXPECT_EQ(ComboSel(months()), today.GetMonth() - 1);
    // The lists keep the height of their font; the 200 pixels are the dropped list's.
    CRect r;
    ::GetWindowRect(months(), &r);
    EXPECT_LT(r.Height(), 40);
}

TEST_F(CalendarTest, PressAndReleaseOnADaySelectsItAndNotifiesOnce)
{
    Show(2024, 3, 10);
    const int cell = CellOf(2024, 3, 20);
    ClickCell(cell);
    ASSERT_EQ(host->notes.size(), 1u);
    EXPECT_EQ(host->notes[0].code, CALN_SELCHANGED);
    EXPECT_EQ(host->notes[0].hwndFrom, hwnd());
    EXPECT_EQ(host->notes[0].idFrom, 1000u);
    EXPECT_EQ(Ymd(Current()), "2024-03-20");
    EXPECT_EQ(Behind(cell), kSelFill);
    EXPECT_EQ(Behind(CellOf(2024, 3, 10)), kBack);

    // A day of the next month switches the page to that month.
    host->notes.clear();
    ClickCell(CellOf(2024, 4, 2));
    EXPECT_EQ(host->notes.size(), 1u);
    EXPECT_EQ(Ymd(Current()), "2024-04-02");
    EXPECT_EQ(ComboSel(months()), 3);
    shownM = 4;
    EXPECT_EQ(Behind(CellOf(2024, 4, 2)), kSelFill);
}

TEST_F(CalendarTest, PressesSelectTheCellUnderThemAndNothingOutsideTheGrid)
{
    Show(2024, 5, 10);
    struct Case {
        CPoint at;
        int cell;  // -1: nothing selected
    };
    const CRect first = CellRect(0);
    for (const Case c : {Case{first.TopLeft(), 0}, Case{CPoint(first.right - 1, first.bottom - 1), 0},
                         Case{CPoint(first.right, first.bottom), 8}, Case{CPoint(first.left + 3, first.top - 1), -1},
                         Case{CPoint(7 * kCellW, first.top + 3), -1}, Case{CPoint(3, kTop + 6 * kCellH), -1},
                         Case{CPoint(7 * kCellW - 1, kTop + 6 * kCellH - 1), 41}}) {
        Show(2024, 5, 10);
        host->notes.clear();
        Click(hwnd(), c.at.x, c.at.y);
        if (c.cell < 0) {
            EXPECT_TRUE(host->notes.empty()) << c.at.x << "," << c.at.y;
            EXPECT_EQ(Ymd(Current()), "2024-05-10");
        } else {
            EXPECT_EQ(host->notes.size(), 1u) << c.at.x << "," << c.at.y;
            EXPECT_EQ(Ymd(Current()), Ymd(Days(2024, 5, 1) + std::chrono::days(c.cell - Lead(2024, 5))))
                << c.at.x << "," << c.at.y;
        }
    }
}

TEST_F(CalendarTest, ArrowsAreHitByTheEvenOddRule)
{
    // Previous arrow: (24, 7), (24, 21), (10, 14); the next one mirrors it from the right edge:
    // (196, 7), (196, 21), (210, 14). The right-hand and lower edges and the vertices lie outside.
    struct Case {
        int x, y;
        const char* after;  // the date once a click there is over
    };
    for (const Case c : {Case{23, 14, "2024-04-15"}, Case{10, 14, "2024-04-15"}, Case{23, 8, "2024-04-15"},
                         Case{24, 14, "2024-05-15"}, Case{9, 14, "2024-05-15"}, Case{24, 7, "2024-05-15"},
                         Case{23, 7, "2024-05-15"}, Case{20, 21, "2024-05-15"}, Case{197, 14, "2024-06-15"},
                         Case{209, 14, "2024-06-15"}, Case{210, 14, "2024-05-15"}, Case{195, 14, "2024-05-15"}}) {
        Show(2024, 5, 15);
        Click(hwnd(), c.x, c.y);
        EXPECT_EQ(Ymd(Current()), c.after) << c.x << "," << c.y;
    }
}

TEST_F(CalendarTest, ArrowsMoveByAMonthKeepingTheDayWithinTheMonth)
{
    auto next = [&] { Click(hwnd(), 203, 14); };
    auto previous = [&] { Click(hwnd(), 17, 14); };

    Show(2024, 1, 31);
    next();
    EXPECT_EQ(Ymd(Current()), "2024-02-29");
    Show(2023, 1, 31);
    next();
    EXPECT_EQ(Ymd(Current()), "2023-02-28");
    EXPECT_EQ(host->notes.size(), 2u);

    Show(2023, 12, 15);
    next();
    EXPECT_EQ(Ymd(Current()), "2024-01-15");
    EXPECT_EQ(ComboItem(years(), 0), "2019");
    EXPECT_EQ(GetWindowTextString(years()), "2024");
    EXPECT_EQ(ComboCount(years()), 11);

    previous();
    previous();
    EXPECT_EQ(Ymd(Current()), "2023-11-15");
    EXPECT_EQ(ComboSel(months()), 10);
    EXPECT_EQ(host->notes.size(), 5u);

    // A double click is two presses on the arrow: two months.
    now += 1000;
    Move(hwnd(), 203, 14);
    for (int i = 0; i < 2; ++i) {
        Press(hwnd(), 203, 14, true);
        Press(hwnd(), 203, 14, false);
    }
    EXPECT_EQ(Ymd(Current()), "2024-01-15");
}

TEST_F(CalendarTest, ReleaseOverAnArrowChangesTheMonthOnlyAfterAPressOnTheCalendar)
{
    Show(2024, 5, 15);
    const POINT bare = Screen(host->m_hWnd, 3, 3);  // the dialog beside the calendar

    // Pressed on the dialog, dragged onto the next arrow, released there: a stray release.
    now += 1000;
    Move(host->m_hWnd, 3, 3);
    qv::win::InjectMouseButton(bare.x, bare.y, 1, true);
    Pump();
    Move(hwnd(), 120, 14);
    Move(hwnd(), 203, 14);
    Press(hwnd(), 203, 14, false);
    EXPECT_EQ(Ymd(Current()), "2024-05-15");
    EXPECT_TRUE(host->notes.empty());

    // Pressed on the calendar, then released outside it; pressed again outside and released
    // over the arrow: still a release of a press made elsewhere.
    now += 1000;
    Move(hwnd(), 120, 14);  // the title band between the two lists
    Press(hwnd(), 120, 14, true);
    Move(host->m_hWnd, 3, 3);
    qv::win::InjectMouseButton(bare.x, bare.y, 1, false);
    qv::win::InjectMouseButton(bare.x, bare.y, 1, true);
    Pump();
    Move(hwnd(), 203, 14);
    Press(hwnd(), 203, 14, false);
    EXPECT_EQ(Ymd(Current()), "2024-05-15");
    EXPECT_TRUE(host->notes.empty());

    // Pressed on a day and dragged onto the arrow: the month changes.
    now += 1000;
    const CPoint day = CellRect(CellOf(2024, 5, 22)).CenterPoint();
    Move(hwnd(), day.x, day.y);
    Press(hwnd(), day.x, day.y, true);
    Move(hwnd(), 203, 14);
    Press(hwnd(), 203, 14, false);
    EXPECT_EQ(Ymd(Current()), "2024-06-15");
    EXPECT_EQ(host->notes.size(), 1u);
}

TEST_F(CalendarTest, ListsChangeYearOrMonthAndClampTheDay)
{
    Show(2023, 1, 31);
    ::SetFocus(months());
    Key(VK_DOWN);  // "2"
    EXPECT_EQ(Ymd(Current()), "2023-02-28");
    ASSERT_EQ(host->notes.size(), 1u);

    Show(2024, 2, 29);
    ::SetFocus(years());
    Key(VK_DOWN);  // 2025
    EXPECT_EQ(Ymd(Current()), "2025-02-28");
    EXPECT_EQ(ComboSel(years()), 5);  // refilled around the new year
    EXPECT_EQ(host->notes.size(), 2u);

    // With the mouse: drop the month list and pick "4".
    CRect field;
    ::GetClientRect(months(), &field);
    Click(months(), field.right - 5, field.Height() / 2);
    HWND list = qv::ctl::ComboDroppedList(months());
    ASSERT_TRUE(list);
    CRect item = qv::ctl::ComboListItemRect(months(), 3);
    Click(list, item.CenterPoint().x, item.CenterPoint().y);
    EXPECT_FALSE(qv::ctl::ComboDroppedList(months()));
    EXPECT_EQ(Ymd(Current()), "2025-04-28");
    EXPECT_EQ(host->notes.size(), 3u);
}

TEST_F(CalendarTest, DaysOutsideTheYears100To9999AreBlankAndCannotBeSelected)
{
    // December 9999 ends its page with 1..8 January 10000, January 100 opens with 27..31
    // December 99.
    struct End {
        int y, m, outside, day;  // a cell of a day outside the range, a day of the month itself
    };
    for (const End e : {End{9999, 12, 41, 18}, End{100, 1, 0, 2}}) {
        Show(e.y, e.m, 15);
        host->notes.clear();
        const std::string shown = Ymd(Date(e.y, e.m, 15));
        ClickCell(e.outside);
        EXPECT_EQ(Ymd(Current()), shown);
        EXPECT_TRUE(host->notes.empty());
        EXPECT_EQ(Shape(WindowPixels(hwnd()), CellRect(e.outside)).find('#'), std::string::npos) << shown;
        Click(hwnd(), e.y == 100 ? 17 : 203, 14);  // the arrow out of the range
        ::SetFocus(years());
        Key(e.y == 100 ? VK_UP : VK_DOWN);
        EXPECT_EQ(Ymd(Current()), shown);
        EXPECT_EQ(GetWindowTextString(years()), std::to_string(e.y));
        // Still the month's own page: its days are where they were.
        ClickCell(CellOf(e.y, e.m, e.day));
        EXPECT_EQ(Ymd(Current()), Ymd(Date(e.y, e.m, e.day)));
    }
}

TEST_F(CalendarTest, MarksShowOnTheirDaysAndAppearWhenTheirMonthIsShown)
{
    Show(2024, 5, 10);
    cal().MarkDate(Date(2024, 5, 14));
    cal().MarkDate(Date(2024, 5, 14));
    cal().MarkDate(Date(2024, 7, 1));
    Pump();
    auto marked = [&](int y, int m, int d) {
        const CRect r = CellRect(CellOf(y, m, d));
        return ReadPixel(hwnd(), r.left + 1, r.top + 3) == kMark;
    };
    EXPECT_TRUE(marked(2024, 5, 14));  // the inner frame
    EXPECT_FALSE(marked(2024, 5, 15));
    const CRect r = CellRect(CellOf(2024, 5, 14));
    EXPECT_EQ(ReadPixel(hwnd(), r.right - 2, r.bottom - 3), kMark);
    EXPECT_EQ(ReadPixel(hwnd(), r.left + 3, r.top + 1), kMark);
    EXPECT_EQ(ReadPixel(hwnd(), r.left, r.top + 3), kBack);

    Show(2024, 7, 20);
    EXPECT_TRUE(marked(2024, 7, 1));
    EXPECT_FALSE(marked(2024, 7, 2));
    cal().ClearMarks();
    Pump();
    EXPECT_FALSE(marked(2024, 7, 1));
    // Cleared means cleared: the first mark does not come back with its month either.
    Show(2024, 5, 10);
    EXPECT_FALSE(marked(2024, 5, 14));
}

TEST_F(CalendarTest, APressedDayShowsAsAnOutlinedBox)
{
    Show(2024, 5, 10);
    const CRect r = CellRect(CellOf(2024, 5, 22));
    now += 1000;
    Move(hwnd(), r.left + 3, r.top + 3);
    Press(hwnd(), r.left + 3, r.top + 3, true);
    EXPECT_EQ(ReadPixel(hwnd(), r.left, r.top + 5), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(ReadPixel(hwnd(), r.left + 3, r.top + 3), kBack);  // not filled over
    Press(hwnd(), r.left + 3, r.top + 3, false);
    EXPECT_EQ(ReadPixel(hwnd(), r.left, r.top + 5), kBack);
}

TEST_F(CalendarTest, HoveringAnArrowLightsItsOutlineUntilThePointerMovesOverTheCalendarElsewhere)
{
    Move(hwnd(), 100, 100);
    EXPECT_EQ(ReadPixel(hwnd(), 24, 14), kArrowOutline);
    Move(hwnd(), 20, 14);
    EXPECT_EQ(ReadPixel(hwnd(), 24, 14), kArrowOutlineHot);
    EXPECT_EQ(ReadPixel(hwnd(), 20, 14), 0x1E97E4u);  // the fill
    EXPECT_EQ(ReadPixel(hwnd(), 196, 14), kArrowOutline);
    // Leaving the calendar ends the pressed day only; the arrow is settled by the next move
    // over the calendar.
    Move(host->m_hWnd, 2, 2);
    EXPECT_EQ(ReadPixel(hwnd(), 24, 14), kArrowOutlineHot);
    Move(hwnd(), 100, 100);
    EXPECT_EQ(ReadPixel(hwnd(), 24, 14), kArrowOutline);
}

TEST_F(CalendarTest, ADayPressResetsThePlayerWindowsDaySelectionWhenThereIsOne)
{
    Show(2024, 5, 10);
    ClickCell(CellOf(2024, 5, 3));  // no player window: nothing to reset, and no crash
    EXPECT_EQ(host->notes.size(), 1u);

    FakeMain main;
    main.m_nSelectedTimeCell = 17;
    theApp.m_pMainDlg = &main;
    const CRect a = CellRect(CellOf(2024, 5, 7)), b = CellRect(CellOf(2024, 5, 8));
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
    // The cell a press lands in tells the cell size: the second column and row start at 20
    // and 12 pixels however small the calendar is.
    auto pressedDay = [&](int x, int y) {
        Show(2024, 5, 10);
        Click(hwnd(), x, y);
        return Current().GetDay();
    };
    // May 2024 starts on a Wednesday: the page opens with 28, 29 and 30 April.
    const int firstDay = 28;
    ASSERT_EQ(Lead(2024, 5), 3);
    cal().MoveWindow(10, 10, 100, 60);
    Pump();
    EXPECT_EQ(pressedDay(19, kTop + 1), firstDay);
    EXPECT_EQ(pressedDay(20, kTop + 1), firstDay + 1);
    EXPECT_EQ(pressedDay(20, kTop + 12), 6);  // the second row starts 12 pixels lower
    cal().MoveWindow(10, 10, 350, kTop + 6 * 30);
    Pump();
    EXPECT_EQ(pressedDay(49, kTop + 1), firstDay);
    EXPECT_EQ(pressedDay(50, kTop + 1), firstDay + 1);
    EXPECT_EQ(pressedDay(50, kTop + 29), firstDay + 1);
    EXPECT_EQ(pressedDay(50, kTop + 30), 6);
    CRect year;
    ::GetWindowRect(years(), &year);
    cal().ScreenToClient(&year);
    EXPECT_EQ(year.left, 350 / 2 - 70);
    EXPECT_EQ(year.top, 4);
}

}  // namespace
