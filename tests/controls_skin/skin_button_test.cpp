// The skinned button driven through the window layer: frames by state, masked drawing over the
// window behind, check and radio behaviour, press tracking and the tooltip relay.

#include "skin_fixture.h"

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

DialogItemTemplate Item(const char* cls, int id, int x, DWORD style)
{
    return DialogItemTemplate{cls, "", id, x, 10, 20, 20, WS_VISIBLE | WS_TABSTOP | style, 0};
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
    Build({Item("BUTTON", 1, 10, BS_PUSHBUTTON), Item("BUTTON", 2, 40, BS_AUTOCHECKBOX),
           Item("BUTTON", 3, 70, BS_AUTORADIOBUTTON), Item("BUTTON", 4, 100, BS_CHECKBOX),
           Item("BUTTON", 5, 130, BS_OWNERDRAW), Item("BUTTON", 6, 160, BS_RADIOBUTTON)});
    EXPECT_EQ(Button(1).GetKind(), CKrSkinButton::kPushButton);
    EXPECT_EQ(Button(2).GetKind(), CKrSkinButton::kCheckBox);
    EXPECT_EQ(Button(3).GetKind(), CKrSkinButton::kRadioButton);
    // The rule reads bit patterns: a plain check box and a plain radio button act as push
    // buttons, an owner-drawn one as a check box.
    EXPECT_EQ(Button(4).GetKind(), CKrSkinButton::kPushButton);
    EXPECT_EQ(Button(5).GetKind(), CKrSkinButton::kCheckBox);
    EXPECT_EQ(Button(6).GetKind(), CKrSkinButton::kPushButton);
    for (int id = 1; id <= 6; ++id)
        EXPECT_EQ(Button(id).GetStyle() & BS_TYPEMASK, BS_OWNERDRAW) << id;

    // A push button never holds a check.
    Button(1).SetCheck(1);
    EXPECT_EQ(Button(1).GetCheck(), 0);
    Button(2).SetCheck(1);
    EXPECT_EQ(Button(2).GetCheck(), 1);
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
    RegisterStrip(kMaskedStrip, {kRed, kGreen, kBlue, kGrey}, 20, 20, [](int, int) { return false; });
    CKrSkinButton plain, masked;
    EXPECT_TRUE(plain.SetBitmaps(kStrip, 0, FALSE, 0, FALSE));
    EXPECT_EQ(plain.GetFrameSize(), CSize(20, 20));
    EXPECT_TRUE(masked.SetBitmaps(kMaskedStrip, 0, FALSE, 0, TRUE));
    EXPECT_EQ(masked.GetFrameSize(), CSize(20, 20));
    // A missing strip is reported and leaves nothing to paint.
    EXPECT_FALSE(plain.SetBitmaps(9999, 0, FALSE, 0, FALSE));
    EXPECT_EQ(plain.GetFrameSize(), CSize(0, 0));
}

TEST_F(SkinButtonTest, MaskedFrameLetsTheWindowBehindShowWhereTheMaskIsWhite)
{
    // Left half of every frame see-through, right half drawn.
    RegisterStrip(kMaskedStrip, {kRed, kGreen, kBlue, kGrey}, 20, 20, [](int x, int) { return x < 10; });
    for (short mode : {0, 2}) {
        Build({Item("BUTTON", 1, 10, BS_PUSHBUTTON)}, TRUE, kMaskedStrip);
        Button(1).SetBitmaps(kMaskedStrip, mode, FALSE, 0, TRUE);
        const COLORREF behind = ReadPixel(host_.m_hWnd, 5, 5);
        Button(1).Invalidate();
        Pump();
        EXPECT_EQ(Pixel(1, 3, 3), behind) << mode;
        EXPECT_EQ(Pixel(1, 15, 3), kRed) << mode;
        // Drawn again over its own picture (hover), the see-through part stays the background.
        const POINT p = At(10);
        InjectMouseMove(p.x, p.y);
        Pump();
        EXPECT_EQ(Pixel(1, 3, 3), behind) << mode;
        EXPECT_EQ(Pixel(1, 15, 3), kGreen) << mode;
        InjectMouseMove(0, 0);
        buttons_.clear();
        host_.DestroyWindow();
        Pump();
    }
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
    Click(p.x, p.y);
    EXPECT_TRUE(g_relayed.empty()) << "no tooltip window, no relay";

    HWND tip = CreateWindowEx(0, "TipWindow", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(Button(1).m_ToolTip.Attach(tip));
    now += 1000;  // not a double click
    InjectMouseMove(p.x + 1, p.y);
    InjectMouseButton(p.x + 1, p.y, 1, true);
    InjectMouseButton(p.x + 1, p.y, 1, false);
    Pump();
    ASSERT_EQ(g_relayed.size(), 3u);
    const UINT order[] = {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(g_relayed[i].message, order[i]);
        EXPECT_EQ(g_relayed[i].hwnd, Button(1).m_hWnd);
        EXPECT_EQ(g_relayed[i].pt.x, 8);
        EXPECT_EQ(g_relayed[i].pt.y, 9);
        EXPECT_EQ(g_relayed[i].time, 0u);
    }
    EXPECT_EQ(g_relayed[1].wParam, MK_LBUTTON);
}

}  // namespace
