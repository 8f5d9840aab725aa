// The skinned one- and two-thumb sliders on owner-drawn buttons: values from clicks and drags,
// the messages the parent gets, thumbs read back from the screen, links between sliders.

#include <climits>

#include "controls/KrSkinSldButton.h"
#include "controls/KrSkinSldButton2.h"
#include "fixture.h"

using qv::win::ReadPixel;

namespace {

constexpr UINT kStrip = 601, kTallStrip = 602, kThumb = 611, kThumbLeft = 612, kThumbRight = 613, kFlatThumb = 614,
               kMissing = 699;
constexpr COLORREF kNormal = RGB(128, 128, 128), kHover = RGB(150, 150, 150), kPushed = RGB(100, 100, 100),
                   kDisabled = RGB(60, 60, 60);
constexpr COLORREF kYellow = RGB(255, 255, 0), kCyan = RGB(0, 255, 255);
constexpr int kId = 70, kNotify = 3;

// Four frames of `w` x `h`, one flat colour each.
void RegisterStrip(UINT id, int w, int h)
{
    RegisterPicture(id, 4 * w, h, [w](int x, int) {
        const COLORREF frames[] = {kNormal, kHover, kPushed, kDisabled};
        return frames[x / w];
    });
}

bool IsChannel(COLORREF c) { return c == kNormal || c == kHover || c == kPushed; }

class SkinSliderTest : public SliderTest {
protected:
    void SetUp() override
    {
        SliderTest::SetUp();
        RegisterStrip(kStrip, 200, 20);
        RegisterStrip(kTallStrip, 20, 101);
        RegisterSolid(kThumb, 10, 20, kYellow);
        RegisterSolid(kThumbLeft, 10, 20, kYellow);
        RegisterSolid(kThumbRight, 10, 20, kCyan);
        RegisterSolid(kFlatThumb, 20, 10, kYellow);
        host.SubclassWindow(Host(400, 200));
    }
    void TearDown() override
    {
        for (UINT id : {kStrip, kTallStrip, kThumb, kThumbLeft, kThumbRight, kFlatThumb})
            gdi::UnregisterBitmapResource(id);
        SliderTest::TearDown();
    }

    // A push button of the host at (x, y), taken over by `slider`.
    template <class Slider>
    void Attach(Slider& slider, int x, int y, int w, int h, UINT strip)
    {
        ASSERT_TRUE(slider.SubclassWindow(Control(host, "BUTTON", kId, x, y, w, h, BS_PUSHBUTTON)));
        ASSERT_TRUE(slider.SetBitmaps(strip, 0, FALSE, 0, FALSE));
        slider.SetNotifyId(kNotify);
    }

    static std::vector<LPARAM> Values(UINT message)
    {
        std::vector<LPARAM> out;
        for (const Posted& p : ReceivedOf(message)) {
            EXPECT_EQ(p.wParam, static_cast<WPARAM>(kNotify));
            out.push_back(p.lParam);
        }
        return out;
    }

    CWnd host;  // an object, so that it hands WM_DRAWITEM back to the buttons
};

// A horizontal one-thumb slider of 200 x 20 at (20, 30), range 0..100.
class OneThumbTest : public SkinSliderTest {
protected:
    void SetUp() override
    {
        SkinSliderTest::SetUp();
        Attach(slider, 20, 30, 200, 20, kStrip);
        ASSERT_TRUE(slider.SetThumbBitmap(kThumb, 0, 0, 0, 0));
        slider.SetRange(0, 100, FALSE);
        slider.SetPos(0);
        Pump();
    }
    CKrSkinSldButton slider;
};

// A two-thumb slider of 200 x 20 at (20, 30) with 10-pixel thumbs.
class TwoThumbTest : public SkinSliderTest {
protected:
    void SetUp() override
    {
        SkinSliderTest::SetUp();
        Attach(slider, 20, 30, 200, 20, kStrip);
        ASSERT_TRUE(slider.SetThumbBitmap(0, kThumbLeft));
        ASSERT_TRUE(slider.SetThumbBitmap(1, kThumbRight));
        slider.SetRange(0, 200);
        Pump();
    }
    // The left edge of the thumb of `colour` in the middle row, or -1.
    int ThumbAt(COLORREF colour) const
    {
        for (int x = 0; x < 200; ++x)
            if (ReadPixel(slider.GetSafeHwnd(), x, 10) == colour)
                return x;
        return -1;
    }
    CKrSkinSldButton2 slider;
};

}  // namespace

TEST_F(OneThumbTest, ClicksGiveTheValueUnderTheCursor)
{
    Press(20, 40);  // x 0
    Release(20, 40);
    EXPECT_EQ(Values(WM_SKINSLIDER_DOWN), (std::vector<LPARAM>{0}));
    EXPECT_EQ(Values(WM_SKINSLIDER_UP), (std::vector<LPARAM>{0}));
    EXPECT_EQ(ReadPixel(slider.GetSafeHwnd(), 0, 10), kYellow);

    Received().clear();
    Press(120, 40);  // x 100 of 200: 100 * 0.5 + 0.5, truncated
    EXPECT_EQ(slider.GetPos(), 50);
    Release(120, 40);
    EXPECT_EQ(Values(WM_SKINSLIDER_DOWN), (std::vector<LPARAM>{50}));
    EXPECT_EQ(Values(WM_SKINSLIDER_UP), (std::vector<LPARAM>{50}));
    // The thumb is drawn over the channel at (200 - 10) * 0.5.
    HWND ctl = slider.GetSafeHwnd();
    EXPECT_TRUE(IsChannel(ReadPixel(ctl, 94, 10)));
    EXPECT_EQ(ReadPixel(ctl, 95, 10), kYellow);
    EXPECT_EQ(ReadPixel(ctl, 104, 19), kYellow);
    EXPECT_TRUE(IsChannel(ReadPixel(ctl, 105, 10)));

    // The slider is a push button as well: the parent hears of the click.
    bool clicked = false;
    for (const Posted& p : ReceivedOf(WM_COMMAND))
        clicked |= LOWORD(p.wParam) == kId && HIWORD(p.wParam) == BN_CLICKED;
    EXPECT_TRUE(clicked);
}

TEST_F(SkinSliderTest, VerticalSliderHasItsMinimumAtTheBottom)
{
    CKrSkinSldButton slider;
    Attach(slider, 20, 30, 20, 101, kTallStrip);
    ASSERT_TRUE(slider.SetThumbBitmap(kFlatThumb));
    slider.SetVertical(TRUE);
    slider.SetRange(0, 100);
    slider.SetPos(50);
    Pump();
    HWND ctl = slider.GetSafeHwnd();
    // SetPos: H * 0.5 from the bottom to the thumb's bottom edge.
    EXPECT_EQ(ReadPixel(ctl, 10, 101 - 50 - 1), kYellow);
    EXPECT_TRUE(IsChannel(ReadPixel(ctl, 10, 101 - 50)));

    Press(30, 130);  // bottom row
    Release(30, 130);
    EXPECT_EQ(slider.GetPos(), 1);
    EXPECT_EQ(ReadPixel(ctl, 10, 100), kYellow);  // the thumb stays inside at the bottom
    EXPECT_EQ(ReadPixel(ctl, 10, 91), kYellow);
    Press(30, 30);  // top row
    Release(30, 30);
    EXPECT_EQ(slider.GetPos(), 100);
    EXPECT_EQ(ReadPixel(ctl, 10, 0), kYellow);
    EXPECT_EQ(Values(WM_SKINSLIDER_DOWN), (std::vector<LPARAM>{1, 100}));
    EXPECT_EQ(Values(WM_SKINSLIDER_UP), (std::vector<LPARAM>{1, 100}));
}

TEST_F(OneThumbTest, DragPostsOnePerChangeAndStaysInTheRange)
{
    Press(70, 40);  // x 50: 25
    MoveTo(70, 45);  // same position
    MoveTo(71, 40);  // 25.5 + 0.5
    MoveTo(72, 40);  // a new position with the same value still counts
    MoveTo(-30, 40);  // far left of the control
    MoveTo(-60, 60);  // further: still the minimum, nothing new
    MoveTo(390, 40);  // far right
    Release(395, 40);
    EXPECT_EQ(Values(WM_SKINSLIDER_DOWN), (std::vector<LPARAM>{25}));
    EXPECT_EQ(Values(WM_SKINSLIDER_MOVE), (std::vector<LPARAM>{26, 26, 0, 100}));
    EXPECT_EQ(Values(WM_SKINSLIDER_UP), (std::vector<LPARAM>{100}));
    EXPECT_EQ(slider.GetPos(), 100);
    EXPECT_EQ(ReadPixel(slider.GetSafeHwnd(), 199, 10), kYellow);
}

TEST_F(OneThumbTest, MovesWithoutAPressAndStrayReleasesChangeNothing)
{
    slider.SetPos(40);
    for (int x = 10; x < 240; x += 9)
        MoveTo(x, 40);
    // A press that began on the host ends over the slider.
    Press(300, 100);
    MoveTo(120, 40);
    Release(120, 40);
    EXPECT_TRUE(ReceivedOf(WM_SKINSLIDER_MOVE).empty());
    EXPECT_TRUE(ReceivedOf(WM_SKINSLIDER_UP).empty());
    EXPECT_EQ(slider.GetPos(), 40);
}

TEST_F(SkinSliderTest, EmptyRangeAndEmptySizeGiveTheMinimum)
{
    CKrSkinSldButton slider;
    Attach(slider, 20, 30, 200, 20, kStrip);
    slider.SetThumbBitmap(kMissing);  // no thumb: nothing drawn for it
    slider.SetPos(5);                  // before any range
    EXPECT_EQ(slider.GetPos(), 5);
    Press(120, 40);
    Release(120, 40);
    EXPECT_EQ(Values(WM_SKINSLIDER_DOWN), (std::vector<LPARAM>{0}));
    EXPECT_TRUE(IsChannel(ReadPixel(slider.GetSafeHwnd(), 100, 10)));

    slider.SetRange(10, 20);
    slider.SetWindowPos(nullptr, 20, 30, 0, 0, SWP_NOZORDER);
    slider.SetPos(15);
    slider.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(0, 0));
    slider.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(0, 0));
    EXPECT_EQ(slider.GetPos(), 10);
}

TEST_F(SkinSliderTest, SettersReachTheLinkedSliderFirstAndTwoWayLinksEnd)
{
    CKrSkinSldButton a, b;
    Attach(a, 20, 30, 200, 20, kStrip);
    ASSERT_TRUE(b.SubclassWindow(Control(host, "BUTTON", kId + 1, 20, 80, 200, 20, BS_PUSHBUTTON)));
    a.SetLinkedSlider(&b);
    b.SetLinkedSlider(&a);
    a.SetRange(0, 50);
    a.SetNotifyId(9);
    a.SetPos(20);
    EXPECT_EQ(b.GetRangeMax(), 50);
    EXPECT_EQ(b.GetPos(), 20);
    b.SetPos(30);
    EXPECT_EQ(a.GetPos(), 30);

    // The notify id went along too.
    Press(120, 90);
    Release(120, 90);
    auto down = ReceivedOf(WM_SKINSLIDER_DOWN);
    ASSERT_EQ(down.size(), 1u);
    EXPECT_EQ(down[0].wParam, 9u);
    EXPECT_EQ(down[0].lParam, 25);

    a.CreateAt(50, 60, 120, 20);
    RECT rc;
    a.GetWindowRect(&rc);
    EXPECT_EQ(rc.left, 50);
    EXPECT_EQ(rc.top, 60);
    EXPECT_EQ(rc.right - rc.left, 120);
}

TEST_F(TwoThumbTest, SetRangePutsTheThumbsAtTheEndsOnTheLinkedSliderToo)
{
    CKrSkinSldButton2 twin;
    slider.SetLinkedSlider(&twin);
    slider.SetRange(10, 90);
    EXPECT_EQ(slider.GetThumbPos(0), 10);
    EXPECT_EQ(slider.GetThumbPos(1), 90);
    EXPECT_EQ(twin.GetThumbPos(0), 10);
    EXPECT_EQ(twin.GetThumbPos(1), 90);
    Pump();
    EXPECT_EQ(ThumbAt(kYellow), 0);
    EXPECT_EQ(ThumbAt(kCyan), 190);

    // Moved about, then reset: the ends again at the next paint.
    slider.SetThumbPos(0, 40);
    slider.SetThumbPos(1, 60);
    Pump();
    EXPECT_GT(ThumbAt(kYellow), 0);
    slider.ResetThumbs();
    slider.Invalidate();
    Pump();
    EXPECT_EQ(ThumbAt(kYellow), 0);
    EXPECT_EQ(ThumbAt(kCyan), 190);

    // Thumbs other than 0 and 1 do not exist; an empty range takes no positions.
    slider.SetThumbPos(2, 50);
    slider.SetThumbPos(-1, 50);
    EXPECT_EQ(slider.GetThumbPos(5), 10);
    slider.SetRange(30, 30);
    slider.SetThumbPos(0, 77);
    EXPECT_EQ(slider.GetThumbPos(0), 30);
}

TEST_F(TwoThumbTest, ThumbsOnOneSpotAreTakenFromTheSideOfThePress)
{
    // Placed without a paint in between, both at (200 - 10) * 0.5 = 95.
    slider.SetThumbPos(0, 100);
    slider.SetThumbPos(1, 100);
    Press(20 + 101, 40);  // right of them: thumb 1 (moved one pixel on first)
    Release(20 + 101, 40);
    EXPECT_EQ(Values(WM_SKINSLIDER_DOWN), (std::vector<LPARAM>{101}));
    EXPECT_EQ(slider.GetThumbPos(1), 101);
    // On release thumb 1 (offset 95) lies within half a thumb of thumb 0 (95) and pushes it.
    EXPECT_EQ(slider.GetThumbPos(0), 101);

    Received().clear();
    slider.SetThumbPos(0, 100);
    slider.SetThumbPos(1, 100);
    Press(20 + 99, 40);  // left of them: thumb 0
    Release(20 + 99, 40);
    EXPECT_EQ(Values(WM_SKINSLIDER_DOWN), (std::vector<LPARAM>{99}));
    EXPECT_EQ(slider.GetThumbPos(0), 99);
    EXPECT_EQ(slider.GetThumbPos(1), 99);  // pushed along on release
}

TEST_F(TwoThumbTest, ThumbZeroPushesThumbOneAlong)
{
    slider.SetThumbPos(1, 60);  // offset 57
    Pump();
    Press(20 + 10, 40);  // takes thumb 0
    for (int x : {20, 30, 40, 50, 56})
        MoveTo(20 + x, 40);
    // At 56 thumb 0 reaches offset 53, past 57 - 10 / 2: thumb 1 goes along with its value.
    EXPECT_EQ(slider.GetThumbPos(1), 56);
    MoveTo(20 + 60, 40);
    Release(20 + 60, 40);
    EXPECT_EQ(Values(WM_SKINSLIDER_DOWN), (std::vector<LPARAM>{10}));
    EXPECT_EQ(Values(WM_SKINSLIDER_MOVE), (std::vector<LPARAM>{20, 30, 40, 50, 56, 60}));
    EXPECT_EQ(Values(WM_SKINSLIDER_UP), (std::vector<LPARAM>{60}));
    EXPECT_EQ(slider.GetThumbPos(0), 60);
    EXPECT_EQ(slider.GetThumbPos(1), 60);
    EXPECT_EQ(ThumbAt(kYellow), 57);
    EXPECT_EQ(ThumbAt(kCyan), 5 + 62);
}

TEST_F(TwoThumbTest, ThumbOnePushesThumbZeroBack)
{
    slider.SetThumbPos(0, 140);  // offset 133
    Pump();                      // thumb 1 now at 185, the last place it may take
    Press(20 + 195, 40);         // takes thumb 1
    for (int x : {180, 165, 150, 145})
        MoveTo(20 + x, 40);
    Release(20 + 145, 40);
    EXPECT_EQ(Values(WM_SKINSLIDER_DOWN), (std::vector<LPARAM>{195}));
    EXPECT_EQ(Values(WM_SKINSLIDER_MOVE), (std::vector<LPARAM>{180, 165, 150, 145}));
    EXPECT_EQ(slider.GetThumbPos(1), 145);
    EXPECT_EQ(slider.GetThumbPos(0), 145);  // thumb 1's value, pushed from 140
    EXPECT_EQ(ThumbAt(kYellow), 132);
    EXPECT_EQ(ThumbAt(kCyan), 5 + 137);
}

TEST_F(TwoThumbTest, PositionsFarOutsideTheRangePutTheThumbsAtTheEndsInOrder)
{
    // A short range over 190 pixels: each unit of value is 19 pixels of offset.
    slider.SetRange(0, 10);
    slider.SetThumbPos(0, INT_MAX);  // far right: thumb 1 is pushed along
    Pump();
    EXPECT_EQ(ThumbAt(kYellow), 180);
    EXPECT_EQ(ThumbAt(kCyan), 190);
    slider.SetThumbPos(1, INT_MIN);  // far left: thumb 0 is pushed back before it
    Pump();
    EXPECT_EQ(ThumbAt(kYellow), 0);
    EXPECT_EQ(ThumbAt(kCyan), 10);
    EXPECT_EQ(slider.GetThumbPos(0), 0);
    EXPECT_EQ(slider.GetThumbPos(1), 0);

    // A click at the right end takes thumb 1, the nearer, and leaves thumb 0 at the left.
    Press(20 + 195, 40);
    Release(20 + 195, 40);
    EXPECT_EQ(Values(WM_SKINSLIDER_DOWN), (std::vector<LPARAM>{10}));
    EXPECT_EQ(Values(WM_SKINSLIDER_UP), (std::vector<LPARAM>{10}));
    EXPECT_EQ(slider.GetThumbPos(0), 0);
    EXPECT_EQ(slider.GetThumbPos(1), 10);
    EXPECT_EQ(ThumbAt(kYellow), 0);
    EXPECT_EQ(ThumbAt(kCyan), 190);
}

TEST_F(TwoThumbTest, DraggingPastTheEndStopsAtTheMaximum)
{
    Press(20 + 195, 40);
    MoveTo(390, 40);
    MoveTo(395, 40);
    Release(395, 40);
    EXPECT_EQ(Values(WM_SKINSLIDER_MOVE), (std::vector<LPARAM>{200}));
    EXPECT_EQ(Values(WM_SKINSLIDER_UP), (std::vector<LPARAM>{200}));
    EXPECT_EQ(slider.GetThumbPos(1), 200);
    EXPECT_EQ(ThumbAt(kCyan), 190);
}
