// The skinned button driven through the window layer: frames by state, masked drawing over the
// window behind, check and radio behaviour, press tracking and the tooltip relay.

#include "skin_fixture.h"
#include "tests/support/memory_page.h"
#include "tests/support/pixels.h"

#include <memory>

using qv::win::InjectKey;
using qv::win::InjectMouseButton;
using qv::win::InjectMouseMove;
using qv::win::ReadPixel;

namespace {

constexpr UINT kStrip = 501;
constexpr UINT kMaskedStrip = 502;
constexpr int kDlgX = 100, kDlgY = 100;

// Windows of a plain class that log what is posted to them, as group members that are not buttons.
std::vector<std::pair<HWND, UINT>> g_posted;

LRESULT MemberProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_KRSKIN_UNCHECK)
        g_posted.emplace_back(hwnd, msg);
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

// A tooltip stand-in: keeps a copy of every relayed message.
std::vector<MSG> g_relayed;

LRESULT TipProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == TTM_RELAYEVENT && lParam)
        g_relayed.push_back(*reinterpret_cast<const MSG*>(lParam));
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

DialogItemTemplate Item(const char* cls, int id, int x, DWORD style, int width = 20, int height = 20,
                        const char* caption = "")
{
    return DialogItemTemplate{cls, caption, id, x, 10, width, height, WS_VISIBLE | WS_TABSTOP | style, 0};
}

class SkinButtonTest : public SkinTest {
protected:
    void SetUp() override
    {
        SkinTest::SetUp();
        for (auto [name, proc] : {std::pair<const char*, WNDPROC>{"GroupMember", MemberProc}, std::pair<const char*, WNDPROC>{"TipWindow", TipProc}}) {
            WNDCLASS wc{};
            wc.lpfnWndProc = proc;
            wc.lpszClassName = name;
            AfxRegisterClass(&wc);
        }
        g_posted.clear();
        g_relayed.clear();
        qv::ctl::RegisterButtonClass();
        RegisterStrip(kStrip, {kRed, kGreen, kBlue, kGrey}, 20, 20);
    }

    // Creates the host with the given items and attaches a skinned button to each "BUTTON" item.
    void Build(std::vector<DialogItemTemplate> items, BOOL masked = FALSE, UINT strip = kStrip)
    {
        tmpl_.style = WS_POPUP | WS_VISIBLE;
        tmpl_.x = kDlgX;
        tmpl_.y = kDlgY;
        tmpl_.cx = 200;
        tmpl_.cy = 60;
        tmpl_.items = std::move(items);
        buttons_.clear();
        ASSERT_TRUE(host_.CreateIndirect(&tmpl_));
        for (const auto& item : tmpl_.items)
            if (item.class_name == "BUTTON") {
                auto b = std::make_unique<CKrSkinButton>();
                ASSERT_TRUE(b->SubclassDlgItem(item.id, &host_));
                EXPECT_TRUE(b->SetBitmaps(strip, 0, FALSE, 0, masked));
                buttons_[item.id] = std::move(b);
            }
        Pump();
    }

    CKrSkinButton& Button(int id) { return *buttons_.at(id); }
    COLORREF Pixel(int id, int x = 5, int y = 5) { return ReadPixel(Button(id).m_hWnd, x, y); }
    // Screen position of a point of a button placed at dialog x.
    static POINT At(int dialogX, int dx = 5, int dy = 5) { return {kDlgX + dialogX + dx, kDlgY + 10 + dy}; }

    void TearDown() override
    {
        buttons_.clear();
        host_.DestroyWindow();
        SkinTest::TearDown();
    }

    HostDialog host_;
    DialogTemplate tmpl_;
    std::map<int, std::unique_ptr<CKrSkinButton>> buttons_;
};

TEST_F(SkinButtonTest, KindComesFromTheTemplateStyleAndTheButtonBecomesOwnerDrawn)
{
    // Each in a group of its own, so that no radio button unchecks the others.
    Build({Item("BUTTON", 1, 10, BS_PUSHBUTTON | WS_GROUP), Item("BUTTON", 2, 40, BS_AUTOCHECKBOX | WS_GROUP),
           Item("BUTTON", 3, 70, BS_AUTORADIOBUTTON | WS_GROUP), Item("BUTTON", 4, 100, BS_CHECKBOX | WS_GROUP),
           Item("BUTTON", 5, 130, BS_OWNERDRAW | WS_GROUP), Item("BUTTON", 6, 160, BS_RADIOBUTTON | WS_GROUP)});
    for (int id = 1; id <= 6; ++id)
        EXPECT_EQ(Button(id).GetStyle() & BS_TYPEMASK, BS_OWNERDRAW) << id;

    // A click checks what behaves as a check box or a radio button. The rule reads bit
    // patterns: a plain check box and a plain radio button act as push buttons, an owner-drawn
    // one as a check box.
    const int x[] = {0, 10, 40, 70, 100, 130, 160};
    for (int id = 1; id <= 6; ++id) {
        const POINT p = At(x[id]);
        Click(p.x, p.y);
    }
    EXPECT_EQ(Button(1).GetCheck(), 0);
    EXPECT_EQ(Button(2).GetCheck(), 1);
    EXPECT_EQ(Button(3).GetCheck(), 1);
    EXPECT_EQ(Button(4).GetCheck(), 0);
    EXPECT_EQ(Button(5).GetCheck(), 1);
    EXPECT_EQ(Button(6).GetCheck(), 0);
    EXPECT_EQ(host_.clicks, (std::vector<int>{1, 2, 3, 4, 5, 6}));
    // A second click clears a check box but leaves a radio button checked.
    for (int id : {2, 3}) {
        const POINT p = At(x[id]);
        Click(p.x, p.y);
    }
    EXPECT_EQ(Button(2).GetCheck(), 0);
    EXPECT_EQ(Button(3).GetCheck(), 1);

    // A push button never holds a check.
    Button(1).SetCheck(1);
    EXPECT_EQ(Button(1).GetCheck(), 0);
}

TEST_F(SkinButtonTest, FramesFollowHoverPressCheckAndDisabling)
{
    Build({Item("BUTTON", 1, 10, BS_AUTOCHECKBOX), Item("BUTTON", 2, 40, BS_PUSHBUTTON)});
    EXPECT_EQ(Pixel(1), kRed);

    const POINT p = At(10);
    InjectMouseMove(p.x, p.y);
    Pump();
    EXPECT_EQ(Pixel(1), kGreen) << "hover frame";
    EXPECT_EQ(Pixel(2), kRed);

    InjectMouseButton(p.x, p.y, 1, true);
    Pump();
    EXPECT_EQ(Pixel(1), kBlue) << "pressed frame";
    InjectMouseButton(p.x, p.y, 1, false);
    Pump();
    EXPECT_EQ(Button(1).GetCheck(), 1);
    EXPECT_EQ(Pixel(1), kBlue) << "checked frame";

    // Leaving ends the hover; a checked box keeps its pressed look.
    const POINT away = At(40);
    InjectMouseMove(away.x, away.y);
    Pump();
    EXPECT_EQ(Pixel(1), kBlue);
    EXPECT_EQ(Pixel(2), kGreen);

    // Disabled: frame 3 whatever the check state.
    Button(1).EnableWindow(FALSE);
    Pump();
    EXPECT_EQ(Pixel(1), kGrey);
    Button(1).SetCheck(0);
    Pump();
    EXPECT_EQ(Pixel(1), kGrey);
}

TEST_F(SkinButtonTest, FrameSizeDividesTheStripByFourOrByFiveWithAMask)
{
    // Buttons wider than their frames: the frame covers its own 20 pixels, the rest shows
    // the dialog. Dividing the strip by the wrong count would show another frame's colour or
    // leave part of the frame's width unpainted.
    RegisterStrip(kMaskedStrip, {kRed, kGreen, kBlue, kGrey}, 20, 20, [](int, int) { return false; });
    Build({Item("BUTTON", 1, 10, BS_PUSHBUTTON, 30), Item("BUTTON", 2, 50, BS_PUSHBUTTON, 30),
           Item("BUTTON", 3, 90, BS_PUSHBUTTON, 30)});
    Button(2).SetBitmaps(kMaskedStrip, 0, FALSE, 0, TRUE);
    // A missing strip is reported and leaves nothing painted.
    EXPECT_FALSE(Button(3).SetBitmaps(9999, 0, FALSE, 0, FALSE));
    host_.Invalidate(TRUE);  // the dialog first, then each button over it
    Pump();
    const COLORREF dialog = ReadPixel(host_.m_hWnd, 5, 5);
    for (int id : {1, 2}) {
        EXPECT_EQ(Pixel(id, 0, 0), kRed) << id;
        EXPECT_EQ(Pixel(id, 19, 19), kRed) << id;
        EXPECT_EQ(Pixel(id, 20, 5), dialog) << id;
        EXPECT_EQ(Pixel(id, 24, 5), dialog) << id;
    }
    EXPECT_EQ(Pixel(3, 5, 5), dialog);
}

TEST_F(SkinButtonTest, MaskedFrameLetsTheWindowBehindShowWhereTheMaskIsWhite)
{
    // The left half of every frame see-through over the dialog's plain face; then a
    // checkerboard of 3-pixel squares over a background whose pixels all differ, none of them
    // a frame colour. Frames solid.
    struct Case {
        std::function<bool(int, int)> seeThrough;
        std::function<COLORREF(int, int)> background;
    };
    const Case cases[] = {
        {[](int x, int) { return x < 10; }, nullptr},
        {[](int x, int y) { return (x / 3 + y / 3) % 2 == 0; },
         [](int x, int y) { return RGB(40 + x % 200, 30 + (y * 7) % 200, 50 + (x + y) % 150); }}};
    for (const Case& c : cases) {
        RegisterStrip(kMaskedStrip, {kRed, kGreen, kBlue, kGrey}, 20, 20, c.seeThrough);
        host_.background = c.background;
        for (short mode : {0, 2}) {
            Build({Item("BUTTON", 1, 30, BS_PUSHBUTTON)}, TRUE, kMaskedStrip);
            Button(1).SetBitmaps(kMaskedStrip, mode, FALSE, 0, TRUE);
            const COLORREF face = ReadPixel(host_.m_hWnd, 5, 5);
            for (COLORREF frame : {kRed, kGreen}) {
                if (frame == kGreen) {
                    const POINT p = At(30);  // hover: drawn again over its own picture
                    InjectMouseMove(p.x, p.y);
                }
                Button(1).Invalidate();
                Pump();
                ExpectSamePixels(WindowPixels(Button(1).m_hWnd), [&](int x, int y) {
                    if (!c.seeThrough(x, y))
                        return frame;
                    return c.background ? c.background(30 + x, 10 + y) : face;
                }, 20, 20, "mode " + std::to_string(mode) + (c.background ? " patterned" : " plain"));
            }
            InjectMouseMove(0, 0);
            buttons_.clear();
            host_.DestroyWindow();
            Pump();
        }
    }
}

// The picture a button of `w` x `h` pixels should show: a solid frame, then the 3-D edge, focus
// rectangle and caption as the drawing layer draws them at the places the button promises.
struct Look {
    COLORREF frame;
    UINT edge;  // 0 for none
    bool focus;
    bool disabled;
    POINT textShift;
};

void Compose(MemoryPage& page, const Look& look, int inset, HFONT font, const std::string& caption)
{
    CDC& dc = page.dc;
    CFont* oldFont = font ? dc.SelectObject(CFont::FromHandle(font)) : nullptr;
    CRect item(0, 0, page.width, page.height);
    dc.FillSolidRect(&item, look.frame);
    if (look.edge) {
        CRect edge = item;
        dc.DrawEdge(&edge, look.edge, BF_RECT);
    }
    CRect text(item.left + inset + 2, item.top, item.right - inset - 2, item.bottom);
    text.OffsetRect(look.textShift.x, look.textShift.y);
    dc.SetBkMode(TRANSPARENT);
    constexpr UINT kFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
    if (look.disabled) {
        dc.SetTextColor(GetSysColor(COLOR_3DHILIGHT));
        dc.DrawText(caption, &text, kFormat);
        text.OffsetRect(-1, -1);
        dc.SetTextColor(GetSysColor(COLOR_GRAYTEXT));
    } else if (look.focus) {
        CRect focus = item;
        focus.DeflateRect(inset, inset);
        dc.DrawFocusRect(&focus);
    }
    if (!look.disabled)
        dc.SetTextColor(GetSysColor(COLOR_BTNTEXT));
    dc.DrawText(caption, &text, kFormat);
    if (oldFont)
        dc.SelectObject(oldFont);
}

TEST_F(SkinButtonTest, EdgesFocusRectangleAndCaptionAreDrawnOverTheFrameForEachState)
{
    constexpr int kW = 60, kH = 24, kInset = 3;
    RegisterStrip(kMaskedStrip, {kRed, kGreen, kYellow, kGrey}, kW, kH);
    Build({Item("BUTTON", 1, 10, BS_AUTOCHECKBOX, kW, kH, "Mi&x 42")});
    EXPECT_TRUE(Button(1).SetBitmaps(kMaskedStrip, 0, TRUE, kInset, FALSE));
    const HFONT font = reinterpret_cast<HFONT>(Button(1).SendMessage(WM_GETFONT));
    auto expectLook = [&](const Look& look, int inset, const char* what) {
        Button(1).Invalidate();
        Pump();
        MemoryPage expected(kW, kH);
        Compose(expected, look, inset, font, "Mi&x 42");
        ExpectSamePixels(WindowPixels(Button(1).m_hWnd), DcPixels(expected.dc), kW, kH, what);
        const CRect all(0, 0, kW - 1, kH - 1);
        EXPECT_GT(expected.Count(all, GetSysColor(COLOR_GRAYTEXT)) + expected.Count(all, GetSysColor(COLOR_BTNTEXT)), 10)
            << what << ": the caption is drawn";
    };

    Button(1).SetFocus();
    expectLook({kRed, EDGE_RAISED, true, false, {0, 0}}, kInset, "focused");
    Button(1).SetCheck(1);
    expectLook({kYellow, EDGE_SUNKEN, true, false, {2, 1}}, kInset, "checked and focused");
    ::SetFocus(host_.m_hWnd);
    Button(1).EnableWindow(FALSE);
    expectLook({kGrey, EDGE_RAISED, false, true, {0, 0}}, kInset, "disabled");
    // Without an inset there is no focus rectangle.
    Button(1).EnableWindow(TRUE);
    Button(1).SetCheck(0);
    Button(1).SetBitmaps(kMaskedStrip, 0, FALSE, 0, FALSE);
    Button(1).SetFocus();
    expectLook({kRed, 0, false, false, {0, 0}}, 0, "no inset");
}

TEST_F(SkinButtonTest, CheckBoxTogglesOnReleaseOverItAndOnceForEachSpacePress)
{
    Build({Item("BUTTON", 1, 10, BS_AUTOCHECKBOX)});
    const POINT p = At(10);
    Click(p.x, p.y);
    EXPECT_EQ(Button(1).GetCheck(), 1);
    Click(p.x, p.y);
    EXPECT_EQ(Button(1).GetCheck(), 0);
    EXPECT_EQ(host_.clicks, (std::vector<int>{1, 1}));

    // Focus came with the press; a held space bar repeats its key-down but toggles once.
    ASSERT_EQ(::GetFocus(), Button(1).m_hWnd);
    InjectKey(VK_SPACE, true);
    InjectKey(VK_SPACE, true, true);
    InjectKey(VK_SPACE, true, true);
    InjectKey(VK_SPACE, false);
    Pump();
    EXPECT_EQ(Button(1).GetCheck(), 1);
    EXPECT_EQ(host_.clicks.size(), 3u);
}

TEST_F(SkinButtonTest, PressedLookFollowsThePointerAndAReleaseOutsideDoesNothing)
{
    Build({Item("BUTTON", 1, 10, BS_AUTOCHECKBOX)});
    const POINT in = At(10), out = At(10, 40, 5);
    InjectMouseMove(in.x, in.y);
    InjectMouseButton(in.x, in.y, 1, true);
    Pump();
    EXPECT_TRUE(Button(1).GetState() & BST_PUSHED);
    EXPECT_EQ(Pixel(1), kBlue);

    InjectMouseMove(out.x, out.y);
    Pump();
    EXPECT_FALSE(Button(1).GetState() & BST_PUSHED);
    EXPECT_EQ(Pixel(1), kRed);

    InjectMouseMove(in.x, in.y);
    Pump();
    EXPECT_TRUE(Button(1).GetState() & BST_PUSHED);
    EXPECT_EQ(Pixel(1), kBlue);

    InjectMouseMove(out.x, out.y);
    InjectMouseButton(out.x, out.y, 1, false);
    Pump();
    EXPECT_EQ(Button(1).GetCheck(), 0);
    EXPECT_TRUE(host_.clicks.empty());
    EXPECT_EQ(::GetCapture(), nullptr);
}

TEST_F(SkinButtonTest, ReleaseOfAPressThatBeganElsewhereChangesNoCheck)
{
    Build({Item("BUTTON", 1, 10, BS_AUTOCHECKBOX)});
    const POINT bare = At(100), in = At(10);
    InjectMouseMove(bare.x, bare.y);
    InjectMouseButton(bare.x, bare.y, 1, true);
    InjectMouseMove(in.x, in.y);
    InjectMouseButton(in.x, in.y, 1, false);
    Pump();
    EXPECT_EQ(Button(1).GetCheck(), 0);
    EXPECT_TRUE(host_.clicks.empty());
}

TEST_F(SkinButtonTest, CheckingARadioUnchecksTheOthersOfItsGroupInGroupOrder)
{
    Build({Item("GroupMember", 10, 10, WS_GROUP), Item("BUTTON", 1, 40, BS_AUTORADIOBUTTON),
           Item("GroupMember", 11, 70, 0), Item("BUTTON", 2, 100, BS_AUTORADIOBUTTON),
           Item("BUTTON", 3, 130, BS_AUTORADIOBUTTON | WS_GROUP)});
    const HWND m10 = ::GetDlgItem(host_.m_hWnd, 10), m11 = ::GetDlgItem(host_.m_hWnd, 11);
    Button(2).SetCheck(1);
    Pump();
    g_posted.clear();
    Button(1).SetCheck(1);
    EXPECT_EQ(Button(2).GetCheck(), 1) << "unchecking is posted";
    Pump();
    EXPECT_EQ(Button(1).GetCheck(), 1) << "nothing is posted to the radio itself";
    EXPECT_EQ(Button(2).GetCheck(), 0);
    // From radio 1: member 11, (radio 2), then around to member 10.
    const std::vector<std::pair<HWND, UINT>> order{{m11, WM_KRSKIN_UNCHECK}, {m10, WM_KRSKIN_UNCHECK}};
    EXPECT_EQ(g_posted, order);

    // A group of one posts nothing.
    g_posted.clear();
    Button(3).SetCheck(1);
    Pump();
    EXPECT_TRUE(g_posted.empty());
    EXPECT_EQ(Button(3).GetCheck(), 1);

    // A click checks radio 2 and clears radio 1.
    const POINT p = At(100);
    Click(p.x, p.y);
    EXPECT_EQ(Button(2).GetCheck(), 1);
    EXPECT_EQ(Button(1).GetCheck(), 0);
}

TEST_F(SkinButtonTest, CheckingAHiddenRadioEndsItsGroupWalk)
{
    Build({Item("BUTTON", 1, 10, BS_AUTORADIOBUTTON | WS_GROUP), Item("GroupMember", 10, 40, 0),
           Item("GroupMember", 11, 70, 0), Item("BUTTON", 2, 100, BS_AUTORADIOBUTTON | WS_GROUP)});
    Button(1).ShowWindow(SW_HIDE);
    Button(1).SetCheck(1);
    Pump();
    EXPECT_EQ(g_posted.size(), 2u);
    EXPECT_EQ(Button(1).GetCheck(), 1);
}

TEST_F(SkinButtonTest, MouseMessagesAreRelayedToAnExistingTooltip)
{
    Build({Item("BUTTON", 1, 10, BS_PUSHBUTTON)});
    const POINT p = At(10, 7, 9);
    // Without a window the tooltip is not sent to at all: a send to no window would leave the
    // layer's invalid-handle error behind.
    SetLastError(0);
    Click(p.x, p.y);
    EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE)) << "no tooltip window, no relay";

    HWND tip = CreateWindowEx(0, "TipWindow", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(Button(1).m_ToolTip.Attach(tip));
    now += 1000;  // not a double click
    InjectMouseMove(p.x + 1, p.y);
    InjectMouseButton(p.x + 1, p.y, 1, true);
    InjectMouseButton(p.x + 1, p.y, 1, false);
    Pump();
    // The release gives up the capture, and the window under the pointer is sent a move.
    ASSERT_EQ(g_relayed.size(), 4u);
    const UINT order[] = {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_MOUSEMOVE};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(g_relayed[i].message, order[i]);
        EXPECT_EQ(g_relayed[i].hwnd, Button(1).m_hWnd);
        EXPECT_EQ(g_relayed[i].pt.x, 8);
        EXPECT_EQ(g_relayed[i].pt.y, 9);
        EXPECT_EQ(g_relayed[i].time, 0u);
    }
    EXPECT_EQ(g_relayed[1].wParam, MK_LBUTTON);
    EXPECT_EQ(g_relayed[3].wParam, 0u);

    // While pressed the button holds the capture: a move left of and above it has a negative
    // point, and the tooltip is told so.
    g_relayed.clear();
    now += 1000;
    InjectMouseButton(p.x, p.y, 1, true);
    InjectMouseMove(kDlgX + 10 - 7, kDlgY + 10 - 3);
    InjectMouseButton(kDlgX + 10 - 7, kDlgY + 10 - 3, 1, false);
    Pump();
    ASSERT_EQ(g_relayed.size(), 3u);
    for (size_t i = 1; i < 3; ++i) {
        EXPECT_EQ(g_relayed[i].pt.x, -7) << i;
        EXPECT_EQ(g_relayed[i].pt.y, -3) << i;
    }
    Button(1).m_ToolTip.Detach();
    DestroyWindow(tip);
}

}  // namespace
