// Mouse and keyboard translation, capture, leave tracking, focus, timers and the wake-up of the
// loop by other threads.

#include <atomic>
#include <chrono>
#include <thread>
#include <cstring>

#include <SDL.h>

#include "fixture.h"

using namespace qv::win;

namespace {

std::vector<UINT> MouseMessages(HWND hwnd)
{
    std::vector<UINT> out;
    for (const Logged& l : Log())
        if (l.hwnd == hwnd && l.message >= WM_LBUTTONDOWN && l.message <= WM_MBUTTONDBLCLK)
            out.push_back(l.message);
    return out;
}

}  // namespace

TEST_F(WinTest, DoubleClicksOnlyForClassesThatAskForThem)
{
    HWND top = Top(0, 0, 200, 100, kRed);
    HWND plain = Child(top, 1, 0, 0, 100, 100, kGreen);
    HWND dbl = Child(top, 2, 100, 0, 100, 100, kBlue, 0, 0, "RecorderDbl");
    Pump();

    Click(10, 10);
    now += 100;
    Click(10, 10);
    Click(110, 10);
    now += 100;
    Click(111, 11);  // within the 4-pixel box
    Pump();
    EXPECT_EQ(MouseMessages(plain), (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDOWN, WM_LBUTTONUP}));
    EXPECT_EQ(MouseMessages(dbl), (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}));

    // Too slow, too far, or a third click: plain downs again.
    Log().clear();
    now += 1000;
    Click(110, 10);
    now += 501;
    Click(110, 10);
    now += 100;
    Click(114, 10);
    now += 100;
    Click(114, 10);
    now += 100;
    Click(114, 10);
    Pump();
    EXPECT_EQ(MouseMessages(dbl), (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDOWN, WM_LBUTTONUP,
                                                     WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP,
                                                     WM_LBUTTONDOWN, WM_LBUTTONUP}));
}

TEST_F(WinTest, DragWithoutCaptureFollowsThePointerFromWindowToWindow)
{
    HWND top = Top(0, 0, 200, 100, kRed);
    HWND a = Child(top, 1, 0, 0, 100, 100, kGreen);
    HWND b = Child(top, 2, 100, 0, 100, 100, kBlue);
    Pump();
    Log().clear();
    InjectMouseButton(10, 10, 1, true);
    InjectMouseMove(50, 10);
    Pump();
    InjectMouseMove(150, 10);
    InjectMouseButton(150, 10, 1, false);
    Pump();
    std::vector<std::pair<HWND, UINT>> got;
    for (const Logged& l : LogOf({WM_LBUTTONDOWN, WM_LBUTTONUP, WM_MOUSEMOVE}))
        got.push_back({l.hwnd, l.message});
    EXPECT_EQ(got, (std::vector<std::pair<HWND, UINT>>{
                       {a, WM_LBUTTONDOWN}, {a, WM_MOUSEMOVE}, {b, WM_MOUSEMOVE}, {b, WM_LBUTTONUP}}));
    // The button is held during the moves.
    auto moves = LogOf({WM_MOUSEMOVE});
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(moves[1].wParam & MK_LBUTTON, MK_LBUTTON);
    EXPECT_EQ(GET_X_LPARAM(moves[1].lParam), 50);
}

TEST_F(WinTest, MovesAreCoalescedAndCarryClientCoordinates)
{
    HWND top = Top(50, 40, 200, 100, kRed);
    HWND child = Child(top, 1, 10, 10, 100, 50, kGreen, WS_BORDER);
    Pump();
    InjectMouseMove(70, 60);
    InjectMouseMove(71, 61);
    InjectMouseMove(72, 62);
    Pump();
    InjectMouseMove(72, 62);  // no change of position: no message
    Pump();
    auto moves = LogOf({WM_MOUSEMOVE});
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].hwnd, child);
    EXPECT_EQ(GET_X_LPARAM(moves[0].lParam), 72 - 50 - 10 - 1);
    EXPECT_EQ(GET_Y_LPARAM(moves[0].lParam), 62 - 40 - 10 - 1);
    // The class cursor was set through WM_SETCURSOR.
    EXPECT_EQ(GetCursor(), LoadCursor(nullptr, IDC_HAND));
}

TEST_F(WinTest, CaptureKeepsMovesAndTheReleaseOutsideTheWindow)
{
    HWND top = Top(0, 0, 200, 200, kRed);
    HWND button = Child(top, 1, 10, 10, 50, 50, kGreen);
    HWND other = Child(top, 2, 100, 100, 50, 50, kBlue);
    Pump();
    InjectMouseButton(20, 20, 1, true);
    Pump();
    SetCapture(button);  // as a button's press handler does
    InjectMouseMove(120, 130);
    InjectMouseButton(120, 130, 1, false);
    Pump();
    EXPECT_TRUE(MouseMessages(other).empty());
    auto moves = LogOf({WM_MOUSEMOVE});
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].hwnd, button);
    EXPECT_EQ(GET_X_LPARAM(moves[0].lParam), 110);
    EXPECT_EQ(moves[0].wParam & MK_LBUTTON, MK_LBUTTON);
    EXPECT_EQ(MouseMessages(button), (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP}));

    // Losing capture is announced with the new owner.
    SetCapture(other);
    ReleaseCapture();
    auto changed = LogOf({WM_CAPTURECHANGED});
    ASSERT_EQ(changed.size(), 2u);
    EXPECT_EQ(changed[0].hwnd, button);
    EXPECT_EQ(changed[0].lParam, reinterpret_cast<LPARAM>(other));
    EXPECT_EQ(changed[1].hwnd, other);
    EXPECT_EQ(changed[1].lParam, 0);
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(WinTest, ReleasingTheCaptureSendsAMoveToTheWindowUnderThePointer)
{
    HWND top = Top(0, 0, 200, 200, kRed);
    HWND holder = Child(top, 1, 10, 10, 50, 50, kGreen);
    HWND under = Child(top, 2, 100, 100, 50, 50, kBlue);
    Pump();
    InjectMouseButton(20, 20, 1, true);
    Pump();
    SetCapture(holder);
    InjectMouseMove(120, 130);  // goes to the holder: the window under the pointer misses it
    InjectKey(VK_SHIFT, true);
    Pump();
    Log().clear();

    // Queued as input, behind what is waiting, at the pointer's position when it is taken; a
    // pointer move meanwhile joins it. It carries the key state and the client coordinates.
    ReleaseCapture();
    EXPECT_TRUE(LogOf({WM_MOUSEMOVE}).empty()) << "queued, not sent";
    InjectMouseMove(125, 135);
    Pump();
    std::vector<UINT> heard;
    for (const Logged& l : LogOf({WM_MOUSEMOVE, WM_SETCURSOR}))
        if (l.hwnd == under)
            heard.push_back(l.message);
    EXPECT_EQ(heard, (std::vector<UINT>{WM_SETCURSOR, WM_MOUSEMOVE}));
    auto moves = LogOf({WM_MOUSEMOVE});
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].hwnd, under);
    EXPECT_EQ(moves[0].lParam, MAKELPARAM(25, 35));
    EXPECT_EQ(moves[0].wParam, static_cast<WPARAM>(MK_LBUTTON | MK_SHIFT));

    // Also where the pointer has not moved at all; and only when a capture was let go.
    SetCapture(holder);
    InjectKey(VK_SHIFT, false);
    InjectMouseButton(125, 135, 1, false);
    Pump();
    Log().clear();
    ReleaseCapture();
    ReleaseCapture();
    Pump();
    moves = LogOf({WM_MOUSEMOVE});
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].hwnd, under);
    EXPECT_EQ(moves[0].lParam, MAKELPARAM(25, 35));
    EXPECT_EQ(moves[0].wParam, 0u);

    // A pointer that has left the windows meets none of them.
    SetCapture(holder);
    InjectPointerLeftWindow(top);
    Pump();
    Log().clear();
    ReleaseCapture();
    Pump();
    EXPECT_TRUE(LogOf({WM_MOUSEMOVE}).empty());
}

TEST_F(WinTest, MouseLeaveComesOnceWhenThePointerLeavesTheVisibleArea)
{
    HWND top = Top(0, 0, 200, 200, kRed);
    HWND a = Child(top, 1, 10, 10, 80, 80, kGreen);
    HWND inner = Child(a, 2, 40, 40, 20, 20, kBlue);
    Pump();
    InjectMouseMove(20, 20);
    Pump();
    TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, a, 0};
    ASSERT_TRUE(TrackMouseEvent(&tme));
    InjectMouseMove(55, 55);  // onto the child: a is no longer under the pointer
    InjectMouseMove(150, 150);
    Pump();
    InjectMouseMove(151, 150);
    Pump();
    auto leaves = LogOf({WM_MOUSELEAVE});
    ASSERT_EQ(leaves.size(), 1u);
    EXPECT_EQ(leaves[0].hwnd, a);

    // Leaving the SDL window counts too; a cancelled request gives nothing.
    Log().clear();
    InjectMouseMove(55, 55);
    Pump();
    TRACKMOUSEEVENT t2{sizeof t2, TME_LEAVE, inner, 0};
    TrackMouseEvent(&t2);
    InjectPointerLeftWindow(top);
    Pump();
    EXPECT_EQ(LogOf({WM_MOUSELEAVE}).size(), 1u);
    Log().clear();
    InjectMouseMove(55, 56);
    Pump();
    TrackMouseEvent(&t2);
    t2.dwFlags = TME_LEAVE | TME_CANCEL;
    TrackMouseEvent(&t2);
    InjectMouseMove(150, 150);
    Pump();
    EXPECT_TRUE(LogOf({WM_MOUSELEAVE}).empty());
}

TEST_F(WinTest, HitTestingPassesTransparentStaticsDisabledAndHiddenWindows)
{
    HWND top = Top(0, 0, 200, 200, kRed);
    HWND label = Child(top, 900, 10, 10, 50, 50, kGreen);
    HWND notify = Child(top, 901, 100, 10, 50, 50, kGreen, SS_NOTIFY);
    HWND disabled = Child(top, 3, 10, 100, 50, 50, kBlue, WS_DISABLED);
    HWND hidden = Child(top, 4, 100, 100, 50, 50, kBlue);
    ShowWindow(hidden, SW_HIDE);
    Pump();
    Click(20, 20);
    Click(110, 20);
    Click(20, 110);
    Click(110, 110);
    Pump();
    EXPECT_TRUE(MouseMessages(label).empty());
    EXPECT_EQ(MouseMessages(notify).size(), 2u);
    EXPECT_TRUE(MouseMessages(disabled).empty());
    EXPECT_TRUE(MouseMessages(hidden).empty());
    EXPECT_EQ(MouseMessages(top).size(), 6u);  // the three the children passed on
    EXPECT_EQ(WindowFromPoint(POINT{20, 20}), top);
}

TEST_F(WinTest, StaticClassLetsTheMouseThroughUnlessItNotifies)
{
    WNDCLASS wc{};
    ASSERT_TRUE(GetClassInfo(nullptr, "Static", &wc));
    EXPECT_EQ(wc.style & CS_DBLCLKS, static_cast<UINT>(CS_DBLCLKS));

    DialogTemplate t;
    t.style = WS_POPUP | WS_VISIBLE;
    t.cx = 200;
    t.cy = 100;
    t.items = {{"STATIC", "label", 20, 10, 10, 50, 30, WS_VISIBLE, 0},
               {"STATIC", "link", 21, 100, 10, 50, 30, WS_VISIBLE | SS_NOTIFY, 0}};
    HWND dlg = CreateDialogIndirectParam(nullptr, &t, nullptr, nullptr, 0);
    ASSERT_TRUE(dlg);
    HWND label = GetDlgItem(dlg, 20), link = GetDlgItem(dlg, 21);
    ASSERT_TRUE(label && link);
    EXPECT_EQ(GetWindowTextString(label), "label");
    EXPECT_EQ(WindowFromPoint(POINT{20, 20}), dlg);
    EXPECT_EQ(WindowFromPoint(POINT{110, 20}), link);

    // A click on the plain label reaches the window beneath it.
    HWND top = Top(300, 0, 100, 100, kRed);
    HWND caption = CreateWindowEx(0, "STATIC", "x", WS_CHILD | WS_VISIBLE, 10, 10, 50, 50, top, nullptr, nullptr, nullptr);
    ASSERT_TRUE(caption);
    Pump();
    Log().clear();
    Click(320, 20);
    Pump();
    EXPECT_EQ(MouseMessages(top), (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP}));
}

TEST_F(WinTest, FocusChangeSendsKillBeforeSetAndGetFocusNamesTheNewWindow)
{
    HWND top = Top(0, 0, 200, 200, kRed);
    HWND a = Child(top, 1, 0, 0, 10, 10, kRed);
    HWND b = Child(top, 2, 20, 0, 10, 10, kRed);
    SetFocus(a);
    Log().clear();
    EXPECT_EQ(SetFocus(b), a);
    auto f = LogOf({WM_KILLFOCUS, WM_SETFOCUS});
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].hwnd, a);
    EXPECT_EQ(f[0].message, static_cast<UINT>(WM_KILLFOCUS));
    EXPECT_EQ(f[0].wParam, reinterpret_cast<WPARAM>(b));
    EXPECT_EQ(f[1].hwnd, b);
    EXPECT_EQ(f[1].wParam, reinterpret_cast<WPARAM>(a));
    // Destroying the focus window moves the focus to its parent, with a kill-focus first.
    Log().clear();
    DestroyWindow(b);
    EXPECT_EQ(GetFocus(), top);
    EXPECT_EQ(LogOf({WM_KILLFOCUS}).size(), 1u);
}

TEST_F(WinTest, KeysBecomeVirtualKeysAndTextBecomesCharacters)
{
    HWND top = Top(0, 0, 100, 100, kRed);
    HWND edit = Child(top, 1, 0, 0, 50, 50, kRed);
    SetFocus(edit);
    Log().clear();
    InjectKey('A', true);
    InjectText("a\xC3\xA9");  // "aé": whole code points
    InjectKey('A', true, true);
    Pump();
    EXPECT_LT(GetKeyState('A'), 0);
    InjectKey('A', false);
    InjectKey(VK_BACK, true);
    InjectKey(VK_BACK, false);
    Pump();
    EXPECT_GE(GetKeyState('A'), 0);
    auto keys = LogOf({WM_KEYDOWN, WM_KEYUP, WM_CHAR});
    ASSERT_EQ(keys.size(), 8u);
    EXPECT_EQ(keys[0].message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(keys[0].lParam & (1 << 30), 0);
    EXPECT_EQ(keys[1].wParam, static_cast<WPARAM>('a'));
    EXPECT_EQ(keys[2].wParam, static_cast<WPARAM>(0xE9));
    EXPECT_NE(keys[3].lParam & (1 << 30), 0);  // repeat
    EXPECT_EQ(keys[4].message, static_cast<UINT>(WM_KEYUP));
    EXPECT_EQ(keys[5].wParam, static_cast<WPARAM>(VK_BACK));
    EXPECT_EQ(keys[6].message, static_cast<UINT>(WM_CHAR));  // backspace as a control character
    EXPECT_EQ(keys[6].wParam, static_cast<WPARAM>(8));
    for (const Logged& k : keys)
        EXPECT_EQ(k.hwnd, edit);

    // With Alt held, keys are system keys.
    Log().clear();
    InjectKey(VK_MENU, true);
    InjectKey('F', true);
    Pump();
    EXPECT_EQ(LogOf({WM_SYSKEYDOWN}).size(), 2u);
}

TEST_F(WinTest, SdlEventsTakeTheSamePath)
{
    HWND top = Top(0, 0, 100, 100, kRed, "RecorderDbl");
    Pump();
    SDL_Event e{};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.x = 10;
    e.button.y = 10;
    SDL_PushEvent(&e);
    e.type = SDL_MOUSEBUTTONUP;
    SDL_PushEvent(&e);
    SDL_Event t{};
    t.type = SDL_TEXTINPUT;
    std::strcpy(t.text.text, "z");
    SDL_PushEvent(&t);
    SetFocus(top);
    Pump();
    EXPECT_EQ(MouseMessages(top), (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP}));
    auto chars = LogOf({WM_CHAR});
    ASSERT_EQ(chars.size(), 1u);
    EXPECT_EQ(chars[0].wParam, static_cast<WPARAM>('z'));
}

TEST_F(WinTest, TimersFireInOrderOfDueTimeUntilKilled)
{
    HWND top = Top(0, 0, 10, 10, kRed);
    SetTimer(top, 1, 500, nullptr);
    SetTimer(top, 2, 200, nullptr);
    Pump();
    EXPECT_TRUE(LogOf({WM_TIMER}).empty());
    now += 200;
    Pump();
    now += 300;  // 500: timer 1 due for the first time, timer 2 for the second (400)
    Pump();
    auto timers = LogOf({WM_TIMER});
    ASSERT_EQ(timers.size(), 3u);
    EXPECT_EQ(timers[0].wParam, 2u);
    EXPECT_EQ(timers[1].wParam, 2u);
    EXPECT_EQ(timers[2].wParam, 1u);
    KillTimer(top, 2);
    Log().clear();
    now += 1000;
    Pump();
    timers = LogOf({WM_TIMER});
    ASSERT_EQ(timers.size(), 1u);  // one message however late, as on Windows
    EXPECT_EQ(timers[0].wParam, 1u);
}

TEST_F(WinTest, PostFromAnotherThreadWakesTheLoopInOrder)
{
    qv::win::SetClockForTesting(nullptr);
    HWND top = Top(0, 0, 10, 10, kRed);
    Pump();
    Log().clear();
    std::thread worker([top] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        for (int i = 0; i < 3; ++i)
            PostMessageW(top, WM_APP + i, static_cast<WPARAM>(i), 0);
    });
    auto start = std::chrono::steady_clock::now();
    std::vector<UINT> got;
    MSG msg;
    while (got.size() < 3 && GetMessage(&msg, nullptr, 0, 0)) {
        if (msg.message >= WM_APP)
            got.push_back(msg.message);
        DispatchMessage(&msg);
    }
    auto waited = std::chrono::steady_clock::now() - start;
    worker.join();
    EXPECT_EQ(got, (std::vector<UINT>{WM_APP, WM_APP + 1, WM_APP + 2}));
    EXPECT_LT(waited, std::chrono::milliseconds(500));  // woken, not found by a periodic check
}

TEST_F(WinTest, CaptionDragMovesTheWindowAndSwallowsTheRelease)
{
    HWND top = Top(100, 100, 50, 50, kRed);
    Pump();
    InjectMouseButton(110, 110, 1, true);
    Pump();
    PostMessage(top, WM_NCLBUTTONDOWN, static_cast<WPARAM>(HTCAPTION), MAKELPARAM(110, 110));
    InjectMouseMove(140, 130);
    InjectMouseButton(140, 130, 1, false);
    Pump();
    RECT r;
    GetWindowRect(top, &r);
    EXPECT_EQ(r.left, 130);
    EXPECT_EQ(r.top, 120);
    EXPECT_EQ(MouseMessages(top), (std::vector<UINT>{WM_LBUTTONDOWN}));
}

TEST_F(WinTest, MessageBoxWithoutADisplayAnswersItsDefaultOrTheTestsAnswer)
{
    EXPECT_EQ(MessageBox(nullptr, "text", "caption", MB_OKCANCEL), IDOK);
    EXPECT_EQ(MessageBox(nullptr, "text", "caption", MB_YESNO | MB_DEFBUTTON2), IDNO);
    SetMessageBoxAnswerForTesting(IDCANCEL);
    EXPECT_EQ(AfxMessageBox("out of memory", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(LastMessageBoxText(), "out of memory");
}

TEST_F(WinTest, ClippedPointerStaysInsideItsRectangleUntilFreed)
{
    HWND top = Top(0, 0, 200, 100, kRed);
    Pump();
    RECT band{50, 20, 150, 80};
    ClipCursor(&band);
    InjectMouseMove(10, 90);
    Pump();
    InjectMouseMove(190, 5);
    InjectMouseButton(190, 5, 1, true);
    InjectMouseButton(190, 5, 1, false);
    ClipCursor(nullptr);
    Pump();
    InjectMouseMove(10, 90);
    Pump();
    auto got = LogOf({WM_MOUSEMOVE, WM_LBUTTONDOWN});
    ASSERT_EQ(got.size(), 4u);
    for (const Logged& l : got)
        EXPECT_EQ(l.hwnd, top);
    EXPECT_EQ(got[0].lParam, MAKELPARAM(50, 79));
    EXPECT_EQ(got[1].lParam, MAKELPARAM(149, 20));
    EXPECT_EQ(got[2].lParam, MAKELPARAM(149, 20));  // the press, where the pointer was kept
    EXPECT_EQ(got[3].lParam, MAKELPARAM(10, 90));
}

TEST_F(WinTest, SystemParametersMatchWhatTheLayerDraws)
{
    UINT lines = 0;
    ASSERT_TRUE(SystemParametersInfo(SPI_GETWHEELSCROLLLINES, 0, &lines, 0));
    EXPECT_EQ(lines, 3u);
    NONCLIENTMETRICS ncm{};
    EXPECT_FALSE(SystemParametersInfo(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0));  // cbSize unset
    ncm.cbSize = sizeof ncm;
    ASSERT_TRUE(SystemParametersInfo(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0));
    EXPECT_EQ(ncm.iScrollWidth, GetSystemMetrics(SM_CXVSCROLL));
    EXPECT_LT(ncm.lfMessageFont.lfHeight, 0);
    HFONT font = CreateFontIndirect(&ncm.lfMessageFont);
    EXPECT_NE(font, nullptr);
    DeleteObject(font);

    SetCursor(LoadCursor(nullptr, IDC_HAND));
    {
        CWaitCursor wait;
        EXPECT_EQ(GetCursor(), LoadCursor(nullptr, IDC_WAIT));
    }
    EXPECT_EQ(GetCursor(), LoadCursor(nullptr, IDC_HAND));
}

TEST_F(WinTest, QuitRequestAsksEveryVisibleTopLevelWindowToClose)
{
    HWND shown = Top(0, 0, 50, 50, kRed);
    HWND hidden = Top(60, 0, 50, 50, kBlue);
    ShowWindow(hidden, SW_HIDE);
    Pump();
    Log().clear();
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&quit), 1);
    Pump();
    int closesShown = 0, closesHidden = 0;
    for (const Logged& l : LogOf({WM_CLOSE})) {
        closesShown += l.hwnd == shown;
        closesHidden += l.hwnd == hidden;
    }
    EXPECT_EQ(closesShown, 1);
    EXPECT_EQ(closesHidden, 0);
}

TEST_F(WinTest, WheelGoesToTheFocusWindowInScreenCoordinatesAndUnhandledRisesToTheParent)
{
    HWND top = Top(50, 40, 200, 100, kRed);
    HWND focused = Child(top, 1, 0, 0, 100, 100, kGreen);
    HWND under = Child(top, 2, 100, 0, 100, 100, kBlue);
    Pump();

    // Without focus the window under the pointer gets it.
    InjectMouseWheel(170, 60, -1);
    Pump();
    auto wheels = LogOf({WM_MOUSEWHEEL});
    ASSERT_EQ(wheels.size(), 2u);
    EXPECT_EQ(wheels[0].hwnd, under);
    EXPECT_EQ(static_cast<short>(HIWORD(wheels[0].wParam)), -WHEEL_DELTA);
    EXPECT_EQ(static_cast<short>(LOWORD(wheels[0].lParam)), 170);
    EXPECT_EQ(static_cast<short>(HIWORD(wheels[0].lParam)), 60);
    EXPECT_EQ(wheels[1].hwnd, top);  // the child's default processing hands it up

    Log().clear();
    SetFocus(focused);
    InjectMouseWheel(170, 60, 2);
    Pump();
    wheels = LogOf({WM_MOUSEWHEEL});
    ASSERT_EQ(wheels.size(), 2u);
    EXPECT_EQ(wheels[0].hwnd, focused);
    EXPECT_EQ(static_cast<short>(HIWORD(wheels[0].wParam)), 2 * WHEEL_DELTA);
    EXPECT_EQ(static_cast<short>(LOWORD(wheels[0].lParam)), 170);
    EXPECT_EQ(wheels[1].hwnd, top);
    for (const Logged& l : wheels)
        EXPECT_NE(l.hwnd, under);
}

TEST_F(WinTest, PreTranslateIsOfferedFromTheTargetUpToItsTopWindowBeforeDispatch)
{
    struct Filter : CWnd {
        std::vector<std::pair<Filter*, UINT>>* seen = nullptr;
        UINT swallow = 0;
        BOOL PreTranslateMessage(MSG* msg) override
        {
            seen->push_back({this, msg->message});
            return msg->message == swallow;
        }
    };
    std::vector<std::pair<Filter*, UINT>> seen;
    Filter parent, child;
    parent.seen = child.seen = &seen;
    ASSERT_TRUE(parent.CreateEx(0, "Recorder", "top", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr));
    ASSERT_TRUE(child.Create("Recorder", "", WS_VISIBLE, CRect(10, 10, 60, 60), &parent, 5));
    Pump();
    seen.clear();
    Log().clear();

    parent.swallow = WM_KEYDOWN;
    child.SetFocus();
    InjectKey('A', true);
    InjectKey('A', false);
    Pump();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0], std::make_pair(&child, static_cast<UINT>(WM_KEYDOWN)));
    EXPECT_EQ(seen[1], std::make_pair(&parent, static_cast<UINT>(WM_KEYDOWN)));
    EXPECT_EQ(seen[2], std::make_pair(&child, static_cast<UINT>(WM_KEYUP)));
    EXPECT_EQ(seen[3], std::make_pair(&parent, static_cast<UINT>(WM_KEYUP)));
    // The parent kept the key down from the child; the key up was dispatched.
    EXPECT_TRUE(LogOf({WM_KEYDOWN}).empty());
    ASSERT_EQ(LogOf({WM_KEYUP}).size(), 1u);
    EXPECT_EQ(LogOf({WM_KEYUP})[0].hwnd, child.m_hWnd);

    // A child that takes it first keeps it from its parent.
    seen.clear();
    child.swallow = WM_KEYDOWN;
    InjectKey('B', true);
    Pump();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].first, &child);
    child.DestroyWindow();
    parent.DestroyWindow();
}
