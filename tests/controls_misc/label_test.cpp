#include <string>
#include <vector>

#include "controls/Label.h"
#include "platform/win/shell.h"
#include "tests/platform_win/fixture.h"

namespace {

// Exposes the stored font description.
struct ProbeLabel : CLabel {
    using CLabel::m_lf;
};

struct Opened {
    std::string verb, file;
};

std::vector<UINT>& NotifyCodes()
{
    static std::vector<UINT> codes;
    return codes;
}

LRESULT NotifyParentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NOTIFY)
        NotifyCodes().push_back(reinterpret_cast<const NMHDR*>(lParam)->code);
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        HBRUSH brush = CreateSolidBrush(RGB(0, 0, 255));
        FillRect(dc, &rc, brush);
        DeleteObject(brush);
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

class LabelTest : public WinTest {
protected:
    std::vector<Opened> opened;

    void SetUp() override
    {
        WinTest::SetUp();
        WNDCLASS wc{};
        wc.lpfnWndProc = NotifyParentProc;
        wc.lpszClassName = "LabelParent";
        AfxRegisterClass(&wc);
        NotifyCodes().clear();
        qv::win::SetShellOpenerForTesting([this](const std::string& verb, const std::string& file) {
            opened.push_back({verb, file});
            return true;
        });
        parent = Top(0, 0, 400, 200, kBlue, "LabelParent");
    }

    void TearDown() override
    {
        qv::win::SetShellOpenerForTesting(nullptr);
        WinTest::TearDown();
    }

    void Make(CLabel& label, const char* text, DWORD style, RECT rect)
    {
        ASSERT_TRUE(label.Create(text, WS_CHILD | WS_VISIBLE | style, rect, CWnd::FromHandle(parent), 77));
        Pump();
    }

    static int Count(HWND hwnd, COLORREF color)
    {
        RECT rc;
        GetClientRect(hwnd, &rc);
        int n = 0;
        for (int y = 0; y < rc.bottom; ++y)
            for (int x = 0; x < rc.right; ++x)
                n += qv::win::ReadPixel(hwnd, x, y) == color;
        return n;
    }

    // Rows holding pixels of the colour: first and last (-1 when none).
    static std::pair<int, int> Rows(HWND hwnd, COLORREF color)
    {
        RECT rc;
        GetClientRect(hwnd, &rc);
        int first = -1, last = -1;
        for (int y = 0; y < rc.bottom; ++y)
            for (int x = 0; x < rc.right; ++x)
                if (qv::win::ReadPixel(hwnd, x, y) == color) {
                    if (first < 0)
                        first = y;
                    last = y;
                    break;
                }
        return {first, last};
    }

    HWND parent = nullptr;
};

COLORREF Band(int i, int step_r, int step_g, int step_b)
{
    return RGB(static_cast<BYTE>(i * step_r / 256), static_cast<BYTE>(i * step_g / 256), static_cast<BYTE>(i * step_b / 256));
}

}  // namespace

TEST(LabelGradient, NarrowLabelGetsOneBandPerColumnAndWideOneHundredBandsReachingTheEdge)
{
    CDC dc;
    ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
    CBitmap bitmap;
    ASSERT_TRUE(bitmap.CreateBitmap(300, 10, 1, 32, nullptr));
    dc.SelectObject(&bitmap);
    const COLORREF right = RGB(200, 100, 50);

    dc.FillSolidRect(0, 0, 300, 10, RGB(1, 2, 3));
    CLabel::DrawGradientFill(&dc, CRect(0, 0, 50, 10), RGB(0, 0, 0), right, 100);
    // 50 steps of (200*256)/50, (100*256)/50, (50*256)/50 in 8.8 fixed point.
    for (int x = 0; x < 50; ++x) {
        EXPECT_EQ(dc.GetPixel(x, 0), Band(x, 1024, 512, 256)) << x;
        EXPECT_EQ(dc.GetPixel(x, 9), Band(x, 1024, 512, 256)) << "bottom row " << x;
    }
    EXPECT_EQ(dc.GetPixel(50, 5), RGB(1, 2, 3));

    CLabel::DrawGradientFill(&dc, CRect(0, 0, 300, 10), RGB(0, 0, 0), right, 100);
    for (int x = 0; x < 300; ++x)
        EXPECT_EQ(dc.GetPixel(x, 9), Band(x / 3, 512, 256, 128)) << x;

    // 250 columns: 100 bands of two, the last one taking the remaining 52 columns.
    CLabel::DrawGradientFill(&dc, CRect(0, 0, 250, 10), RGB(0, 0, 0), right, 100);
    EXPECT_EQ(dc.GetPixel(197, 5), Band(98, 512, 256, 128));
    EXPECT_EQ(dc.GetPixel(198, 5), Band(99, 512, 256, 128));
    EXPECT_EQ(dc.GetPixel(249, 5), Band(99, 512, 256, 128));

    // Falling components and an empty rectangle.
    CLabel::DrawGradientFill(&dc, CRect(0, 0, 4, 10), RGB(255, 255, 255), RGB(0, 0, 0), 100);
    EXPECT_EQ(dc.GetPixel(0, 0), RGB(255, 255, 255));
    EXPECT_EQ(dc.GetPixel(3, 0), RGB(63, 63, 63));  // (65280 - 3 * 16320) / 256
    CLabel::DrawGradientFill(&dc, CRect(10, 0, 10, 10), RGB(9, 9, 9), RGB(9, 9, 9), 100);
    EXPECT_EQ(dc.GetPixel(10, 0), Band(5, 512, 256, 128));  // untouched
}

TEST(LabelFormat, StaticStylesMapToDrawTextFormats)
{
    EXPECT_EQ(CLabel::TextFormat(SS_LEFT, "a"), DT_WORDBREAK);
    EXPECT_EQ(CLabel::TextFormat(SS_CENTER, "a"), DT_CENTER | DT_WORDBREAK);
    EXPECT_EQ(CLabel::TextFormat(SS_RIGHT | SS_NOTIFY, "a"), DT_RIGHT | DT_WORDBREAK);
    EXPECT_EQ(CLabel::TextFormat(SS_LEFTNOWORDWRAP, "a"), 0u);
    EXPECT_EQ(CLabel::TextFormat(SS_LEFTNOWORDWRAP, "a\tb"), DT_EXPANDTABS);
    EXPECT_EQ(CLabel::TextFormat(SS_RIGHT | SS_CENTERIMAGE, "a\tb"), DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    EXPECT_EQ(CLabel::TextFormat(SS_CENTERIMAGE, "a\r\nb"), DT_CENTER);
}

TEST_F(LabelTest, CentreImageLabelCentresOneLineVerticallyAndKeepsBrokenLinesAtTheTop)
{
    CLabel one, two;
    Make(one, "X", SS_CENTERIMAGE, {0, 0, 200, 60});
    Make(two, "X\r\nX", SS_CENTERIMAGE, {0, 100, 200, 160});
    one.SetBkColor(RGB(255, 255, 255)).SetTextColor(RGB(0, 0, 0));
    two.SetBkColor(RGB(255, 255, 255)).SetTextColor(RGB(0, 0, 0));
    Pump();
    auto [top1, bottom1] = Rows(one, RGB(0, 0, 0));
    ASSERT_GE(top1, 0);
    EXPECT_NEAR((top1 + bottom1) / 2.0, 30.0, 4.0);
    auto [top2, bottom2] = Rows(two, RGB(0, 0, 0));
    ASSERT_GE(top2, 0);
    EXPECT_LT(top2, 8);
    EXPECT_GT(bottom2 - top2, bottom1 - top1 + 4);  // two lines
}

TEST_F(LabelTest, FlashingTextHidesAtOnceAndReturnsEveryHalfSecond)
{
    CLabel label;
    Make(label, "FLASH", SS_CENTER, {10, 10, 150, 40});
    const COLORREF bk = RGB(0, 128, 0), text = RGB(255, 0, 0);
    label.SetBkColor(bk).SetTextColor(text);
    Pump();
    ASSERT_GT(Count(label, text), 0);

    label.FlashText(TRUE);
    EXPECT_EQ(Count(label, text), 0);
    now += 500;
    Pump();
    EXPECT_GT(Count(label, text), 0);
    now += 500;
    Pump();
    EXPECT_EQ(Count(label, text), 0);

    // Stopping in the hidden phase shows the text again and no tick changes it any more.
    label.FlashText(FALSE);
    EXPECT_GT(Count(label, text), 0);
    now += 500;
    Pump();
    EXPECT_GT(Count(label, text), 0);
}

TEST_F(LabelTest, FlashOffPhaseWithoutBackgroundBrushDrawsBlackText)
{
    CLabel label;
    Make(label, "FLASH", 0, {10, 10, 150, 40});
    label.SetBkColor(RGB(255, 255, 255), RGB(255, 255, 0), TRUE).SetTextColor(RGB(255, 0, 0));
    label.FlashText(TRUE);
    EXPECT_EQ(Count(label, RGB(255, 0, 0)), 0);
    EXPECT_GT(Count(label, RGB(0, 0, 0)), 0);
}

TEST_F(LabelTest, ClickOpensOnlyWebAddressesAndMailLinksOrNotifiesTheParent)
{
    CLabel url, named, local, mail, notify;
    Make(url, "http://example.org/a", 0, {0, 0, 100, 20});
    Make(named, "Home page", 0, {0, 30, 100, 50});
    Make(local, "/usr/bin/xterm", 0, {0, 60, 100, 80});
    Make(mail, "someone@example.org", 0, {0, 90, 100, 110});
    Make(notify, "http://example.org/b", 0, {0, 120, 100, 140});
    url.SetLink(TRUE, FALSE);
    named.SetLink(TRUE, FALSE).SetLinkURL("HTTPS://example.org/home");
    local.SetLink(TRUE, FALSE);
    mail.SetMailLink(TRUE, FALSE);
    notify.SetLink(TRUE, TRUE);
    EXPECT_TRUE(url.GetStyle() & SS_NOTIFY);

    for (int y : {10, 40, 70, 100, 130}) {
        Click(50, y);
        Pump();
    }
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(opened[0].verb, "open");
    EXPECT_EQ(opened[0].file, "http://example.org/a");
    EXPECT_EQ(opened[1].file, "HTTPS://example.org/home");
    EXPECT_EQ(opened[2].verb, "");
    EXPECT_EQ(opened[2].file, "mailto:someone@example.org");
    ASSERT_EQ(NotifyCodes().size(), 1u);
    EXPECT_EQ(NotifyCodes()[0], NM_LABEL_CLICKED);

    // A link switched off takes SS_NOTIFY away, so clicks pass through to the parent.
    url.SetLink(FALSE, FALSE);
    EXPECT_FALSE(url.GetStyle() & SS_NOTIFY);
    Click(50, 10);
    Pump();
    EXPECT_EQ(opened.size(), 3u);
}

TEST_F(LabelTest, FontSettersChangeTheStoredDescription)
{
    ProbeLabel label;
    label.SetFontBold(TRUE);  // before the window: stored only
    Make(label, "x", 0, {0, 0, 100, 30});
    label.SetFontName("DejaVu Sans").SetFontSize(12).SetFontItalic(TRUE).SetRotationAngle(90, TRUE);

    CFont probe;
    probe.CreatePointFont(120, "DejaVu Sans");
    LOGFONT expected{};
    probe.GetLogFont(&expected);
    EXPECT_EQ(label.m_lf.lfHeight, expected.lfHeight);
    EXPECT_EQ(label.m_lf.lfHeight, -16);
    EXPECT_EQ(label.m_lf.lfItalic, 1);
    EXPECT_EQ(label.m_lf.lfEscapement, 900);
    EXPECT_EQ(label.m_lf.lfOrientation, 900);
    EXPECT_STREQ(label.m_lf.lfFaceName, "DejaVu Sans");

    // A face name longer than the field is cut, not written past it (and not mid-character).
    std::string long_name(30, 'a');
    long_name += "\xC3\xA9\xC3\xA9";
    label.SetFontName(long_name);
    EXPECT_EQ(std::string(label.m_lf.lfFaceName), std::string(30, 'a'));
}

TEST_F(LabelTest, AttachedLabelTakesTheDialogFont)
{
    DialogTemplate t;
    t.cx = 200;
    t.cy = 100;
    t.font_face = "DejaVu Sans";
    t.font_points = 9;
    t.items = {{"STATIC", "text", 5, 0, 0, 100, 20, WS_VISIBLE, 0}};
    CDialog dlg;
    ASSERT_TRUE(dlg.CreateIndirect(&t));
    ProbeLabel label;
    ASSERT_TRUE(label.SubclassDlgItem(5, &dlg));
    EXPECT_EQ(label.m_lf.lfHeight, -12);
    EXPECT_STREQ(label.m_lf.lfFaceName, "DejaVu Sans");
    label.SetText("changed");
    EXPECT_EQ(GetWindowTextString(label), "changed");
    label.UnsubclassWindow();
    dlg.DestroyWindow();
}

TEST_F(LabelTest, TransparentLabelShowsTheParentAndCanBeMadeOpaqueAgain)
{
    CLabel label;
    Make(label, "", 0, {10, 10, 110, 40});
    label.SetBkColor(RGB(0, 255, 0));
    Pump();
    EXPECT_EQ(qv::win::ReadPixel(label, 50, 15), RGB(0, 255, 0));

    label.SetTransparent(TRUE);
    Pump();
    EXPECT_TRUE(label.GetExStyle() & WS_EX_TRANSPARENT);
    EXPECT_EQ(qv::win::ReadPixel(label, 50, 15), RGB(0, 0, 255));

    label.SetTransparent(FALSE);
    Pump();
    EXPECT_FALSE(label.GetExStyle() & WS_EX_TRANSPARENT);
    EXPECT_EQ(qv::win::ReadPixel(label, 50, 15), RGB(0, 255, 0));
}

TEST_F(LabelTest, ThreeDimensionalTextDrawsAHighlightCopyOnTop)
{
    CLabel label;
    Make(label, "IIII", 0, {10, 10, 110, 40});
    label.SetBkColor(RGB(0, 0, 0)).SetTextColor(RGB(255, 0, 0));
    label.SetFontSize(16).SetText3D(TRUE, TRUE).SetText3DHiliteColor(RGB(255, 255, 0));
    Pump();
    EXPECT_GT(Count(label, RGB(255, 255, 0)), 0);
    EXPECT_GT(Count(label, RGB(255, 0, 0)), 0);  // the first copy shows one pixel up and left
}
