// The bitmap slider driven through the window layer: positions, the filled part of the channel
// read back from the screen, press/drag/release messages, keys and focus.

#include "controls/BitmapSlider.h"
#include "fixture.h"

using qv::win::ReadPixel;

namespace {

constexpr UINT kChannel = 501, kActive = 502, kMissing = 599;
constexpr COLORREF kBlue = RGB(0, 0, 255), kGreen = RGB(0, 255, 0), kMagenta = RGB(255, 0, 255);
constexpr int kId = 40;

class BitmapSliderTest : public SliderTest {
protected:
    void SetUp() override
    {
        SliderTest::SetUp();
        RegisterSolid(kChannel, 100, 10, kBlue);
        RegisterSolid(kActive, 100, 10, kGreen);
    }
    void TearDown() override
    {
        gdi::UnregisterBitmapResource(kChannel);
        gdi::UnregisterBitmapResource(kActive);
        SliderTest::TearDown();
    }

    // A 100 x 10 slider at (20, 30) of a host, range 0..27 as the player's volume.
    void Make()
    {
        host = Host(300, 100);
        ASSERT_TRUE(slider.SubclassWindow(Control(host, "STATIC", kId, 20, 30, 100, 10, SS_NOTIFY)));
        slider.SetRange(0, 27);
        slider.DrawFocusRect(FALSE);
        ASSERT_TRUE(slider.SetBitmapChannel(kChannel, kActive, FALSE, 0xFF000000, 0, 0));
        Pump();
    }

    HWND host = nullptr;
    CBitmapSlider slider;
};

}  // namespace

TEST_F(BitmapSliderTest, PositionIsClampedAndALinkedSliderClampsToItsOwnRange)
{
    CBitmapSlider a, b;
    a.SetRange(0, 27);
    b.SetRange(5, 10);
    a.SetLinkedSlider(&b);
    a.SetPos(30);
    EXPECT_EQ(a.GetPos(), 27);
    EXPECT_EQ(b.GetPos(), 10);
    a.SetPos(-5);
    EXPECT_EQ(a.GetPos(), 0);
    EXPECT_EQ(b.GetPos(), 5);

    // Linked both ways, as sliders kept in step are: one call, both follow, and it ends.
    b.SetLinkedSlider(&a);
    b.SetPos(7);
    EXPECT_EQ(a.GetPos(), 7);
    EXPECT_EQ(b.GetPos(), 7);
    a.SetPos(12);
    EXPECT_EQ(a.GetPos(), 12);
    EXPECT_EQ(b.GetPos(), 10);
}

TEST_F(BitmapSliderTest, ActiveChannelFillsUpToThePixelOfThePosition)
{
    Make();
    HWND ctl = slider.GetSafeHwnd();
    for (int pos : {0, 1, 13, 26, 27}) {
        slider.SetPos(pos);
        Pump();
        const int filled = 100 * pos / 27;
        SCOPED_TRACE(pos);
        if (filled > 0) {
            EXPECT_EQ(ReadPixel(ctl, 0, 5), kGreen);
            EXPECT_EQ(ReadPixel(ctl, filled - 1, 9), kGreen);
        }
        if (filled < 100) {
            EXPECT_EQ(ReadPixel(ctl, filled, 0), kBlue);
            EXPECT_EQ(ReadPixel(ctl, 99, 5), kBlue);
        }
    }
    EXPECT_EQ(ReadPixel(host, 19, 35), kHostColour);  // nothing drawn beside the control
}

TEST_F(BitmapSliderTest, PressAtTheLeftEndMovesToTheMinimumAndReleaseReportsIt)
{
    Make();
    slider.SetPos(10);
    Press(20, 35);
    EXPECT_EQ(slider.GetPos(), 0);
    EXPECT_EQ(GetCapture(), slider.GetSafeHwnd());
    EXPECT_EQ(GetFocus(), slider.GetSafeHwnd());
    Release(20, 35);
    EXPECT_EQ(GetCapture(), nullptr);

    auto moved = ReceivedOf(WM_BITMAPSLIDER_MOVED), released = ReceivedOf(WM_BITMAPSLIDER_RELEASED);
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(moved[0].wParam, static_cast<WPARAM>(kId));
    EXPECT_EQ(moved[0].lParam, 0);
    ASSERT_EQ(released.size(), 1u);
    EXPECT_EQ(released[0].wParam, static_cast<WPARAM>(kId));
    EXPECT_EQ(released[0].lParam, 0);

    // Pressing the same pixel again changes nothing, but the release is still reported.
    Received().clear();
    Press(20, 35);
    Release(20, 35);
    EXPECT_TRUE(ReceivedOf(WM_BITMAPSLIDER_MOVED).empty());
    ASSERT_EQ(ReceivedOf(WM_BITMAPSLIDER_RELEASED).size(), 1u);
}

TEST_F(BitmapSliderTest, DraggingBeyondEitherEndStopsAtTheRangeEnds)
{
    Make();
    CBitmapSlider follower;
    follower.SetRange(0, 10);
    slider.SetLinkedSlider(&follower);

    Press(70, 35);  // client x 50
    EXPECT_EQ(slider.GetPos(), 13);
    MoveTo(5, 35);  // left of the control
    EXPECT_EQ(slider.GetPos(), 0);
    MoveTo(250, 60);  // right of it and below
    EXPECT_EQ(slider.GetPos(), 27);
    EXPECT_EQ(follower.GetPos(), 10);
    MoveTo(280, 60);  // still clamped to the last pixel: nothing new
    Release(280, 60);

    std::vector<LPARAM> values;
    for (const Posted& p : ReceivedOf(WM_BITMAPSLIDER_MOVED))
        values.push_back(p.lParam);
    EXPECT_EQ(values, (std::vector<LPARAM>{13, 0, 27}));
    auto released = ReceivedOf(WM_BITMAPSLIDER_RELEASED);
    ASSERT_EQ(released.size(), 1u);
    EXPECT_EQ(released[0].lParam, 27);
}

TEST_F(BitmapSliderTest, MovingWithoutAPressPostsNothing)
{
    Make();
    slider.SetPos(5);
    for (int x = 15; x < 130; x += 7)
        MoveTo(x, 35);
    EXPECT_TRUE(Received().empty());
    EXPECT_EQ(slider.GetPos(), 5);
}

TEST_F(BitmapSliderTest, AFailedLoadLeavesNothingLoaded)
{
    Make();
    HWND ctl = slider.GetSafeHwnd();
    ASSERT_EQ(ReadPixel(ctl, 50, 5), kBlue);

    EXPECT_FALSE(slider.SetBitmapChannel(kChannel, kMissing));
    slider.Invalidate();
    Pump();
    EXPECT_NE(ReadPixel(ctl, 50, 5), kBlue);
    EXPECT_NE(ReadPixel(ctl, 0, 5), kGreen);

    EXPECT_TRUE(slider.SetBitmapChannel(kChannel, 0));
    slider.Invalidate();  // loading alone does not repaint
    Pump();
    EXPECT_EQ(ReadPixel(ctl, 50, 5), kBlue);
    EXPECT_FALSE(slider.SetBitmapChannel(kMissing, kActive));
    slider.Invalidate();
    Pump();
    EXPECT_NE(ReadPixel(ctl, 50, 5), kBlue);
}

TEST_F(BitmapSliderTest, TransparentChannelsShowTheParentWhereTheyHaveTheKeyColour)
{
    constexpr UINT kKeyedChannel = 503, kKeyedActive = 504;
    RegisterPicture(kKeyedChannel, 100, 10, [](int x, int) { return x < 10 ? kMagenta : kBlue; });
    RegisterPicture(kKeyedActive, 100, 10, [](int x, int) { return x < 10 ? kMagenta : kGreen; });
    host = Host(300, 100);
    ASSERT_TRUE(slider.SubclassWindow(Control(host, "STATIC", kId, 20, 30, 100, 10, SS_NOTIFY)));
    slider.SetRange(0, 100);
    slider.SetPos(50);
    // The key colour is sampled from each bitmap at (0, 0).
    ASSERT_TRUE(slider.SetBitmapChannel(kKeyedChannel, kKeyedActive, TRUE, 0xFF000000, 0, 0));
    Pump();
    HWND ctl = slider.GetSafeHwnd();
    EXPECT_EQ(ReadPixel(ctl, 5, 5), kHostColour);
    EXPECT_EQ(ReadPixel(ctl, 30, 5), kGreen);
    EXPECT_EQ(ReadPixel(ctl, 49, 5), kGreen);
    EXPECT_EQ(ReadPixel(ctl, 50, 5), kBlue);
    EXPECT_EQ(ReadPixel(ctl, 99, 9), kBlue);

    // An explicit key colour that the picture does not hold hides nothing.
    ASSERT_TRUE(slider.SetBitmapChannel(kKeyedChannel, 0, TRUE, RGB(1, 2, 3), 0, 0));
    slider.Invalidate();
    Pump();
    EXPECT_EQ(ReadPixel(ctl, 5, 5), kMagenta);
    gdi::UnregisterBitmapResource(kKeyedChannel);
    gdi::UnregisterBitmapResource(kKeyedActive);
}

TEST_F(BitmapSliderTest, FocusRectangleOnlyWhenAskedFor)
{
    Make();
    HWND ctl = slider.GetSafeHwnd();
    auto border_changed = [ctl] {
        int changed = 0;
        for (int x = 0; x < 100; ++x)
            changed += ReadPixel(ctl, x, 0) != kBlue;
        return changed;
    };
    slider.SetFocus();
    Pump();
    EXPECT_EQ(border_changed(), 0);  // the owner turned it off
    slider.DrawFocusRect(TRUE, TRUE);
    Pump();
    EXPECT_GT(border_changed(), 0);
    ::SetFocus(host);
    Pump();
    EXPECT_EQ(border_changed(), 0);
}

namespace {

LRESULT PlainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) { return DefWindowProc(hwnd, msg, wParam, lParam); }

}  // namespace

TEST_F(BitmapSliderTest, TabLeavesTheSliderAndOtherKeysChangeNothing)
{
    WNDCLASS wc{};
    wc.lpfnWndProc = PlainProc;
    wc.lpszClassName = "PlainControl";
    AfxRegisterClass(&wc);
    DialogTemplate t;
    t.style = WS_POPUP | WS_VISIBLE;
    t.cx = 200;
    t.cy = 100;
    t.items = {
        {"STATIC", "", kId, 10, 10, 100, 10, WS_VISIBLE | WS_TABSTOP | SS_NOTIFY, 0},
        {"PlainControl", "", 41, 10, 40, 50, 20, WS_VISIBLE | WS_TABSTOP, 0},
    };
    CDialog dlg;
    ASSERT_TRUE(dlg.CreateIndirect(&t));
    ASSERT_TRUE(slider.SubclassDlgItem(kId, &dlg));
    slider.SetRange(0, 27);
    slider.SetPos(9);
    slider.SetFocus();
    Pump();

    EXPECT_EQ(slider.SendMessage(WM_GETDLGCODE), DLGC_WANTALLKEYS);
    for (int key : {VK_RIGHT, VK_LEFT, VK_UP, VK_DOWN, VK_HOME, VK_END}) {
        qv::win::InjectKey(key, true);
        qv::win::InjectKey(key, false);
        Pump();
    }
    EXPECT_EQ(slider.GetPos(), 9);
    EXPECT_EQ(GetFocus(), slider.GetSafeHwnd());

    qv::win::InjectKey(VK_TAB, true);
    Pump();
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), 41);
    EXPECT_NE(slider.SendMessage(WM_GETDLGCODE) & DLGC_WANTALLKEYS, DLGC_WANTALLKEYS);  // Tab held
    qv::win::InjectKey(VK_TAB, false);
    Pump();
    EXPECT_EQ(slider.GetPos(), 9);
    slider.DestroyWindow();
    dlg.DestroyWindow();
}

TEST_F(BitmapSliderTest, EmptyRangeOrWidthKeepsThePositionAtTheMinimum)
{
    Make();
    slider.SetRange(5, 5);
    slider.SetPos(9);
    EXPECT_EQ(slider.GetPos(), 5);
    slider.Invalidate();
    Pump();
    Press(70, 35);
    Release(70, 35);
    EXPECT_EQ(slider.GetPos(), 5);

    slider.SetRange(0, 27);
    slider.SetWindowPos(nullptr, 20, 30, 0, 0, SWP_NOZORDER);
    slider.Invalidate();
    Pump();  // the paint takes the empty client rectangle
    slider.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 0));
    slider.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(3, 0));
    EXPECT_EQ(slider.GetPos(), 0);
}

namespace {

struct Relayed {
    HWND from;
    UINT message;
    POINT pt;
};
std::vector<Relayed> g_relayed;

LRESULT TipProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == TTM_RELAYEVENT) {
        const MSG* m = reinterpret_cast<const MSG*>(lParam);
        g_relayed.push_back({m->hwnd, m->message, m->pt});
        return 0;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace

TEST_F(BitmapSliderTest, MouseMovesReachTheOwnersTooltip)
{
    Make();
    MoveTo(30, 35);  // no tooltip yet: nothing to relay to
    WNDCLASS wc{};
    wc.lpfnWndProc = TipProc;
    wc.lpszClassName = "TipRecorder";
    AfxRegisterClass(&wc);
    g_relayed.clear();
    ASSERT_TRUE(slider.m_ToolTip.CreateEx(0, "TipRecorder", "", WS_POPUP, 0, 0, 10, 10, host, nullptr));
    MoveTo(45, 37);
    ASSERT_EQ(g_relayed.size(), 1u);
    EXPECT_EQ(g_relayed[0].from, slider.GetSafeHwnd());
    EXPECT_EQ(g_relayed[0].message, static_cast<UINT>(WM_MOUSEMOVE));
    EXPECT_EQ(g_relayed[0].pt.x, 25);
    EXPECT_EQ(g_relayed[0].pt.y, 7);
    slider.m_ToolTip.DestroyWindow();
}
