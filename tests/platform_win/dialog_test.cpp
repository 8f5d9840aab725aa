// Dialogs, the dialog manager, the modal loop, and the C++ window classes: handlers, default
// processing, subclassing and self-deleting windows.

#include "fixture.h"

using namespace qv::win;

namespace {

// A control that can be told to want every key (as an in-place editor does).
UINT g_wants = 0;
int g_return_control = 0;

LRESULT KeyControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_GETDLGCODE)
        return GetWindowLong(hwnd, GWL_ID) == 13 ? g_wants : 0;
    if (msg == WM_KEYDOWN && wParam == VK_RETURN)
        g_return_control = GetWindowLong(hwnd, GWL_ID);
    if (msg == WM_KEYDOWN && wParam == VK_RETURN)
        PostMessage(GetParent(hwnd), WM_APP, 0, 0);  // ends an EndingDialog
    return CALLBACK_Recorder(hwnd, msg, wParam, lParam);
}

void RegisterKeyControl()
{
    WNDCLASS wc{};
    wc.lpfnWndProc = KeyControlProc;
    wc.lpszClassName = "KeyControl";
    AfxRegisterClass(&wc);
}

DialogTemplate FourControls()
{
    DialogTemplate t;
    t.caption = "Settings";
    t.style = WS_POPUP | WS_VISIBLE;
    t.cx = 200;
    t.cy = 100;
    t.items = {
        {"KeyControl", "one", 11, 10, 10, 20, 20, WS_VISIBLE | WS_TABSTOP | WS_GROUP, 0},
        {"KeyControl", "two", 12, 40, 10, 20, 20, WS_VISIBLE | WS_TABSTOP | WS_DISABLED, 0},
        {"KeyControl", "three", 13, 70, 10, 20, 20, WS_VISIBLE | WS_TABSTOP, 0},
        {"KeyControl", "four", 14, 100, 10, 20, 20, WS_TABSTOP, 0},  // hidden
        {"KeyControl", "five", 15, 130, 10, 20, 20, WS_VISIBLE | WS_TABSTOP | WS_GROUP, 0},
    };
    return t;
}

class EndingDialog : public CDialog {
public:
    using CDialog::CDialog;
    int init_calls = 0;
    bool end_from_init = true;
    int focus_after_init = 0;

protected:
    BOOL OnInitDialog() override
    {
        ++init_calls;
        CDialog::OnInitDialog();
        if (end_from_init)
            PostMessage(WM_APP);
        return TRUE;
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_APP) {
            focus_after_init = ::GetDlgCtrlID(::GetFocus());
            EndDialog(42);
            return 0;
        }
        return CDialog::WindowProc(message, wParam, lParam);
    }
};

// Deletes itself when its window goes, from inside its own handlers.
class SelfDeleting : public CWnd {
public:
    static inline int alive = 0;
    SelfDeleting() { ++alive; }
    ~SelfDeleting() override { --alive; }

protected:
    void OnLButtonDown(UINT, CPoint) override { DestroyWindow(); }
    void OnKillFocus(CWnd*) override
    {
        Default();
        DestroyWindow();
    }
    void PostNcDestroy() override { delete this; }
};

class Subclassed : public CWnd {
public:
    bool presubclassed = false;
    int clicks = 0;

protected:
    void PreSubclassWindow() override { presubclassed = true; }
    void OnLButtonDown(UINT flags, CPoint point) override
    {
        ++clicks;
        CWnd::OnLButtonDown(flags, point);  // the class procedure still hears it
    }
};

}  // namespace

TEST_F(WinTest, TabWalksTabStopsSkippingDisabledAndHiddenAndWraps)
{
    RegisterKeyControl();
    DialogTemplate t = FourControls();
    HWND dlg = CreateDialogIndirectParam(nullptr, &t, nullptr, nullptr, 0);
    ASSERT_TRUE(dlg);
    HWND one = GetDlgItem(dlg, 11), three = GetDlgItem(dlg, 13), five = GetDlgItem(dlg, 15);
    EXPECT_EQ(GetFocus(), one);  // WM_INITDIALOG answered TRUE: focus to the first tab stop
    EXPECT_EQ(GetNextDlgTabItem(dlg, one, FALSE), three);
    EXPECT_EQ(GetNextDlgTabItem(dlg, five, FALSE), one);
    EXPECT_EQ(GetNextDlgTabItem(dlg, one, TRUE), five);

    InjectKey(VK_TAB, true);
    InjectKey(VK_TAB, false);
    Pump();
    EXPECT_EQ(GetFocus(), three);
    EXPECT_TRUE(LogOf({WM_CHAR}).empty());  // the tab character is the dialog manager's
    InjectKey(VK_SHIFT, true);
    InjectKey(VK_TAB, true);
    InjectKey(VK_TAB, false);
    InjectKey(VK_SHIFT, false);
    Pump();
    EXPECT_EQ(GetFocus(), one);
}

TEST_F(WinTest, GroupWalkStaysInsideItsGroupAndSkipsUnusableControls)
{
    RegisterKeyControl();
    DialogTemplate t = FourControls();
    HWND dlg = CreateDialogIndirectParam(nullptr, &t, nullptr, nullptr, 0);
    HWND one = GetDlgItem(dlg, 11), three = GetDlgItem(dlg, 13), five = GetDlgItem(dlg, 15);
    EXPECT_EQ(GetNextDlgGroupItem(dlg, one, FALSE), three);
    EXPECT_EQ(GetNextDlgGroupItem(dlg, three, FALSE), one);  // wraps; two and four skipped
    EXPECT_EQ(GetNextDlgGroupItem(dlg, one, TRUE), three);
    EXPECT_EQ(GetNextDlgGroupItem(dlg, five, FALSE), five);  // alone in its group
    EnableWindow(three, FALSE);
    EXPECT_EQ(GetNextDlgGroupItem(dlg, one, FALSE), one);
}

TEST_F(WinTest, ReturnAndEscapeBecomeCommandsUnlessTheControlWantsTheKeys)
{
    RegisterKeyControl();
    DialogTemplate t = FourControls();
    CDialog dlg;
    dlg.m_lpDialogTemplate = &t;
    InjectKey(VK_RETURN, true);
    InjectKey(VK_RETURN, false);
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_hWnd, nullptr);

    InjectKey(VK_ESCAPE, true);
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);

    // With the focus on a control answering DLGC_WANTALLKEYS, Return reaches the control.
    g_wants = DLGC_WANTALLKEYS;
    EndingDialog keep(0);
    keep.end_from_init = false;
    keep.m_lpDialogTemplate = &t;
    t.items[0].style &= ~WS_TABSTOP;
    t.items[1].style &= ~WS_TABSTOP;  // the first tab stop is now control 13
    Log().clear();
    InjectKey(VK_RETURN, true);
    EXPECT_EQ(keep.DoModal(), 42);  // ended by its own posted message, not by IDOK
    auto downs = LogOf({WM_KEYDOWN});
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].wParam, static_cast<WPARAM>(VK_RETURN));
    EXPECT_EQ(g_return_control, 13);
    g_wants = 0;
}

TEST_F(WinTest, ArrowsAndTabReachAControlThatWantsThemElseTheyMoveTheFocus)
{
    RegisterKeyControl();
    DialogTemplate t = FourControls();
    HWND dlg = CreateDialogIndirectParam(nullptr, &t, nullptr, nullptr, 0);
    ASSERT_TRUE(dlg);
    HWND one = GetDlgItem(dlg, 11), three = GetDlgItem(dlg, 13);
    auto press = [](int vk) {
        InjectKey(vk, true);
        InjectKey(vk, false);
        Pump();
    };
    SetFocus(three);
    Log().clear();
    press(VK_DOWN);  // the group walk: wraps past the disabled and the hidden control
    EXPECT_EQ(GetFocus(), one);
    EXPECT_TRUE(LogOf({WM_KEYDOWN}).empty());

    g_wants = DLGC_WANTARROWS;
    SetFocus(three);
    Log().clear();
    press(VK_DOWN);
    press(VK_TAB);  // arrows only: Tab still moves on
    auto downs = LogOf({WM_KEYDOWN});
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].hwnd, three);
    EXPECT_EQ(downs[0].wParam, static_cast<WPARAM>(VK_DOWN));
    EXPECT_NE(GetFocus(), three);

    g_wants = DLGC_WANTTAB;
    SetFocus(three);
    Log().clear();
    press(VK_TAB);
    EXPECT_EQ(GetFocus(), three);
    downs = LogOf({WM_KEYDOWN});
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].wParam, static_cast<WPARAM>(VK_TAB));
    g_wants = 0;
}

TEST_F(WinTest, ModalLoopEndsWithTheResultOfEndDialogAndReenablesTheOwner)
{
    RegisterKeyControl();
    HWND owner = Top(0, 0, 300, 300, kRed);
    DialogTemplate t = FourControls();
    qv::win::RegisterDialogTemplate(501, t);
    EndingDialog dlg(501, CWnd::FromHandle(owner));
    EXPECT_EQ(dlg.DoModal(), 42);
    EXPECT_EQ(dlg.init_calls, 1);
    EXPECT_EQ(dlg.focus_after_init, 11);
    EXPECT_TRUE(IsWindowEnabled(owner));

    EndingDialog missing(777);
    EXPECT_EQ(missing.DoModal(), -1);  // no such template
}

TEST_F(WinTest, TemplateNamingAnUnknownClassFails)
{
    DialogTemplate t;
    t.items = {{"NoSuchClass", "", 1, 0, 0, 10, 10, WS_VISIBLE, 0}};
    EXPECT_EQ(CreateDialogIndirectParam(nullptr, &t, nullptr, nullptr, 0), nullptr);
}

TEST_F(WinTest, SubclassedTemplateControlKeepsItsClassBehaviour)
{
    RegisterKeyControl();
    DialogTemplate t = FourControls();
    CDialog dlg;
    ASSERT_TRUE(dlg.CreateIndirect(&t));
    Subclassed sub;
    ASSERT_TRUE(sub.SubclassDlgItem(15, &dlg));
    EXPECT_TRUE(sub.presubclassed);
    EXPECT_EQ(CWnd::FromHandlePermanent(sub.m_hWnd), &sub);
    EXPECT_EQ(sub.GetParent(), &dlg);
    EXPECT_EQ(sub.GetOwner(), &dlg);
    EXPECT_EQ(sub.GetDlgCtrlID(), 15);
    Pump();
    Log().clear();
    RECT r;
    GetWindowRect(sub.m_hWnd, &r);
    InjectMouseButton(r.left + 2, r.top + 2, 1, true);
    Pump();
    EXPECT_EQ(sub.clicks, 1);
    EXPECT_EQ(LogOf({WM_LBUTTONDOWN}).size(), 1u);  // reached the class procedure through Default
    dlg.DestroyWindow();
    EXPECT_EQ(sub.m_hWnd, nullptr);
}

TEST_F(WinTest, SelfDeletingWindowIsNotTouchedAfterItsHandlerReturns)
{
    HWND top = Top(0, 0, 100, 100, kRed);
    auto* w = new SelfDeleting;
    ASSERT_TRUE(w->Create("Recorder", "", WS_VISIBLE, CRect(10, 10, 50, 50), CWnd::FromHandle(top), 5));
    Pump();
    EXPECT_EQ(SelfDeleting::alive, 1);
    Click(20, 20);
    Pump();
    EXPECT_EQ(SelfDeleting::alive, 0);
    EXPECT_EQ(GetDlgItem(top, 5), nullptr);

    // The editor pattern: the window ends itself when it loses the focus.
    auto* editor = new SelfDeleting;
    ASSERT_TRUE(editor->Create("Recorder", "", WS_VISIBLE, CRect(10, 10, 50, 50), CWnd::FromHandle(top), 6));
    editor->SetFocus();
    SetFocus(top);
    EXPECT_EQ(SelfDeleting::alive, 0);
    EXPECT_EQ(GetFocus(), top);
}

TEST_F(WinTest, CWndHandlersAndDefaultProcessing)
{
    struct Painter : CWnd {
        int created = 0, painted = 0;
        int OnCreate(LPCREATESTRUCT cs) override
        {
            ++created;
            return CWnd::OnCreate(cs);
        }
        BOOL OnEraseBkgnd(CDC*) override { return TRUE; }
        void OnPaint() override
        {
            ++painted;
            CPaintDC dc(this);
            RECT rc;
            GetClientRect(&rc);
            HBRUSH b = CreateSolidBrush(kGrey);
            FillRect(dc, &rc, b);
            DeleteObject(b);
        }
    } w;
    HWND top = Top(0, 0, 100, 100, kRed);
    ASSERT_TRUE(w.Create("Recorder", "label", WS_VISIBLE, CRect(10, 10, 30, 30), CWnd::FromHandle(top), 7));
    EXPECT_EQ(w.created, 1);
    Pump();
    EXPECT_EQ(w.painted, 1);
    EXPECT_EQ(ReadPixel(top, 15, 15), kGrey);
    std::string text;
    w.GetWindowText(text);
    EXPECT_EQ(text, "label");
    w.SetWindowText("?");
    EXPECT_EQ(GetWindowTextString(w.m_hWnd), "?");
    // The class procedure still handles what the object leaves to it.
    EXPECT_EQ(w.SendMessage(WM_NCHITTEST, 0, MAKELPARAM(15, 15)), HTCLIENT);
    w.DestroyWindow();
    EXPECT_EQ(w.m_hWnd, nullptr);
}

TEST_F(WinTest, RegisteredClassesAreFoundByNameWithTheirAttributes)
{
    WNDCLASS wc{};
    wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = DefWindowProc;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_3DFACE + 1));
    wc.lpszClassName = "CalendarLike";
    EXPECT_TRUE(AfxRegisterClass(&wc));
    EXPECT_TRUE(AfxRegisterClass(&wc));  // once per process; again is fine
    WNDCLASS got{};
    ASSERT_TRUE(GetClassInfo(nullptr, "calendarlike", &got));
    EXPECT_EQ(got.style, wc.style);
    EXPECT_EQ(got.hCursor, wc.hCursor);
    // The class brush erases the background.
    HWND top = Top(0, 0, 50, 50, kRed);
    HWND c = CreateWindowEx(0, "CalendarLike", "", WS_CHILD | WS_VISIBLE, 0, 0, 20, 20, top, nullptr, nullptr, nullptr);
    Pump();
    EXPECT_EQ(ReadPixel(c, 5, 5), GetSysColor(COLOR_3DFACE));
}

TEST_F(WinTest, ObjectDestroyedBeforeItsWindowLetsTheClassProcedureSeeTheDestroy)
{
    HWND top = Top(0, 0, 60, 60, kGrey);
    HWND hwnd = Child(top, 5, 0, 0, 20, 20, kRed);
    {
        Subclassed sub;
        ASSERT_TRUE(sub.SubclassWindow(hwnd));
        Log().clear();
    }  // the object goes first and takes its window with it
    EXPECT_FALSE(IsWindow(hwnd));
    int ncdestroys = 0;
    for (const Logged& l : LogOf({WM_NCDESTROY}))
        ncdestroys += l.hwnd == hwnd;
    EXPECT_EQ(ncdestroys, 1);
    DestroyWindow(top);
}
