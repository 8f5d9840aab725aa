// Standard scroll bars: the client area they take, their state, their pixels, and the messages a
// press on them sends.

#include "fixture.h"

using namespace qv::win;

namespace {

std::vector<int> g_track_pos_seen;  // SIF_TRACKPOS as the window saw it during each SB_THUMBTRACK

LRESULT ScrollerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_VSCROLL && LOWORD(wParam) == SB_THUMBTRACK) {
        SCROLLINFO si{sizeof si, SIF_TRACKPOS, 0, 0, 0, 0, 0};
        GetScrollInfo(hwnd, SB_VERT, &si);
        g_track_pos_seen.push_back(si.nTrackPos);
    }
    return CALLBACK_Recorder(hwnd, msg, wParam, lParam);
}

// 100x100 without a frame and with a vertical bar: client 83x100; arrows at y 0-16 and 83-99,
// the track between; range 0-99 with a page of 10 gives the smallest thumb, 8 px, at y 17.
HWND Scroller()
{
    WNDCLASS wc{};
    wc.lpfnWndProc = ScrollerProc;
    wc.lpszClassName = "Scroller";
    AfxRegisterClass(&wc);
    HWND hwnd = CreateWindowEx(0, "Scroller", "", WS_POPUP | WS_VISIBLE | WS_VSCROLL, 0, 0, 100, 100, nullptr, nullptr, nullptr,
                               nullptr);
    SetWindowLongPtr(hwnd, GWLP_USERDATA, kGrey);
    SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS, 0, 99, 10, 0, 0};
    SetScrollInfo(hwnd, SB_VERT, &si, TRUE);
    return hwnd;
}

std::vector<int> ScrollCodes()
{
    std::vector<int> out;
    for (const Logged& l : LogOf({WM_VSCROLL}))
        out.push_back(LOWORD(l.wParam) == SB_THUMBTRACK || LOWORD(l.wParam) == SB_THUMBPOSITION
                          ? LOWORD(l.wParam) * 1000 + HIWORD(l.wParam)  // code and position together
                          : LOWORD(l.wParam));
    return out;
}

uint32_t SurfacePixel(HWND top, int x, int y)
{
    int w = 0;
    return BackingBuffer(top, &w, nullptr)[y * w + x] & 0xFFFFFF;
}

}  // namespace

TEST_F(WinTest, ScrollBarsTakeTheClientsEdgesOnlyWhenShown)
{
    HWND top = Top(0, 0, 100, 80, kRed);
    HWND child = Child(top, 1, 10, 10, 60, 40, kGreen, WS_BORDER);
    RECT c;
    GetClientRect(child, &c);
    EXPECT_EQ(c.right, 58);
    SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE, 0, 50, 10, 0, 0};
    SetScrollInfo(child, SB_VERT, &si, TRUE);
    GetClientRect(child, &c);
    EXPECT_EQ(c.right, 58);  // setting the range does not show the bar
    Log().clear();
    ASSERT_TRUE(ShowScrollBar(child, SB_BOTH, TRUE));
    GetClientRect(child, &c);
    EXPECT_EQ(c.right, 58 - 17);
    EXPECT_EQ(c.bottom, 38 - 17);
    auto sizes = LogOf({WM_SIZE});
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_EQ(LOWORD(sizes[0].lParam), 41);
    EXPECT_EQ(HIWORD(sizes[0].lParam), 21);

    // Hit codes: the bars, the corner between them, the border, the client.
    auto hit = [&](int x, int y) { return SendMessage(child, WM_NCHITTEST, 0, MAKELPARAM(x, y)); };
    EXPECT_EQ(hit(10 + 1 + 45, 10 + 1 + 5), HTVSCROLL);
    EXPECT_EQ(hit(10 + 1 + 5, 10 + 1 + 25), HTHSCROLL);
    EXPECT_EQ(hit(10 + 1 + 45, 10 + 1 + 25), HTBORDER);
    EXPECT_EQ(hit(10, 10), HTBORDER);
    EXPECT_EQ(hit(10 + 1 + 40, 10 + 1 + 20), HTCLIENT);

    Pump();
    EXPECT_EQ(ReadPixel(child, 40, 20), kGreen);
    ShowScrollBar(child, SB_HORZ, FALSE);
    Pump();
    GetClientRect(child, &c);
    EXPECT_EQ(c.bottom, 38);
    EXPECT_EQ(ReadPixel(child, 40, 37), kGreen);  // where the bar was, the client repainted
}

TEST_F(WinTest, ScrollPositionStaysWithinTheLastPageAndTheThumbIsDrawnThere)
{
    HWND top = Scroller();
    SCROLLINFO si{sizeof si, SIF_POS, 0, 0, 0, 95, 0};
    EXPECT_EQ(SetScrollInfo(top, SB_VERT, &si, TRUE), 90);
    si = {sizeof si, SIF_ALL, 0, 0, 0, 0, 0};
    ASSERT_TRUE(GetScrollInfo(top, SB_VERT, &si));
    EXPECT_EQ(si.nMin, 0);
    EXPECT_EQ(si.nMax, 99);
    EXPECT_EQ(si.nPage, 10u);
    EXPECT_EQ(si.nPos, 90);
    EXPECT_EQ(si.nTrackPos, 90);
    si = {sizeof si, SIF_PAGE, 0, 0, 500, 0, 0};  // a page larger than the range is cut to it
    SetScrollInfo(top, SB_VERT, &si, FALSE);
    si.fMask = SIF_PAGE | SIF_POS;
    GetScrollInfo(top, SB_VERT, &si);
    EXPECT_EQ(si.nPage, 100u);
    EXPECT_EQ(si.nPos, 0);

    const uint32_t face = GetSysColor(COLOR_3DFACE) & 0xFFFFFF;
    si = {sizeof si, SIF_PAGE | SIF_POS, 0, 0, 10, 0, 0};
    SetScrollInfo(top, SB_VERT, &si, TRUE);
    Pump();
    EXPECT_EQ(SurfacePixel(top, 91, 21), face);  // the thumb at the top of the track
    EXPECT_NE(SurfacePixel(top, 91, 78), face);
    si = {sizeof si, SIF_POS, 0, 0, 0, 90, 0};
    SetScrollInfo(top, SB_VERT, &si, TRUE);
    Pump();
    EXPECT_NE(SurfacePixel(top, 91, 21), face);
    EXPECT_EQ(SurfacePixel(top, 91, 78), face);  // and at its bottom
    EXPECT_EQ(ReadPixel(top, 82, 50), kGrey);    // the client is untouched
}

TEST_F(WinTest, PressingTheBarSendsScrollMessagesToTheWindowUntilReleased)
{
    Scroller();
    Pump();
    Log().clear();
    Click(90, 90);  // the down arrow
    Click(90, 50);  // the track below the thumb
    Click(90, 5);   // the up arrow
    Pump();
    EXPECT_EQ(ScrollCodes(), (std::vector<int>{SB_LINEDOWN, SB_ENDSCROLL, SB_PAGEDOWN, SB_ENDSCROLL, SB_LINEUP, SB_ENDSCROLL}));
    EXPECT_TRUE(LogOf({WM_LBUTTONDOWN, WM_LBUTTONUP}).empty());  // the bar's, not the client's

    // Held on an arrow, the line repeats after a delay, then at a steady rate; not once the
    // pointer is off the arrow.
    Log().clear();
    InjectMouseButton(90, 90, 1, true);
    for (int step : {100, 300, 20, 40, 60}) {  // at 100, 400, 420, 460 and 520 ms
        now += step;
        InjectMouseWheel(90, 90, 1);  // events while held; a wheel in between keeps the moves apart
    }
    now += 100;
    InjectMouseMove(90, 40);  // over the track, after another repeat was due
    now += 100;
    InjectMouseButton(90, 40, 1, false);
    Pump();
    EXPECT_EQ(ScrollCodes(), (std::vector<int>{SB_LINEDOWN, SB_LINEDOWN, SB_LINEDOWN, SB_LINEDOWN, SB_ENDSCROLL}));
    EXPECT_GE(GetKeyState(VK_LBUTTON), 0);
}

TEST_F(WinTest, DraggingTheThumbReportsTrackPositionsThenTheFinalOne)
{
    HWND top = Scroller();
    Pump();
    Log().clear();
    g_track_pos_seen.clear();
    InjectMouseButton(90, 20, 1, true);  // 3 px into the thumb
    InjectMouseMove(90, 49);             // thumb at 46 of 17-75: position 45 of 0-90
    InjectMouseButton(90, 49, 3, true);  // another button's press changes nothing
    InjectMouseMove(90, 300);            // far past the end: the last position
    InjectMouseButton(90, 300, 1, false);
    Pump();
    EXPECT_EQ(ScrollCodes(), (std::vector<int>{SB_THUMBTRACK * 1000 + 45, SB_THUMBTRACK * 1000 + 90,
                                               SB_THUMBPOSITION * 1000 + 90, SB_ENDSCROLL}));
    EXPECT_EQ(g_track_pos_seen, (std::vector<int>{45, 90}));
    // The window did not take the position: the thumb goes back to it.
    SCROLLINFO si{sizeof si, SIF_POS | SIF_TRACKPOS, 0, 0, 0, 0, 0};
    GetScrollInfo(top, SB_VERT, &si);
    EXPECT_EQ(si.nPos, 0);
    EXPECT_EQ(si.nTrackPos, 0);
    Pump();
    EXPECT_EQ(SurfacePixel(top, 91, 21), GetSysColor(COLOR_3DFACE) & 0xFFFFFF);
}
