// The skinned dialog base: background painting, the window region and dragging by the background.

#include "skin_fixture.h"

#include "controls/KrSkinDialog.h"

using qv::win::InjectMouseButton;
using qv::win::InjectMouseMove;
using qv::win::ReadPixel;

namespace {

constexpr UINT kBackground = 601;
constexpr int kX = 200, kY = 150, kW = 100, kH = 80;

COLORREF BackgroundAt(int x, int y) { return RGB(x, y, 77); }

class SkinDialog : public CKrSkinDialog {
public:
    SkinDialog() : CKrSkinDialog(static_cast<CWnd*>(nullptr)) {}
    UINT background = 0;
    BOOL loaded = FALSE;
    int downs = 0;
    void SetDrag(BOOL drag) { m_bDrag = drag; }

protected:
    BOOL OnInitDialog() override
    {
        CKrSkinDialog::OnInitDialog();
        if (background)
            loaded = SetBkBitmap(background);
        return TRUE;
    }
    void OnLButtonDown(UINT flags, CPoint point) override
    {
        ++downs;
        CKrSkinDialog::OnLButtonDown(flags, point);
    }
};

class SkinDialogTest : public SkinTest {
protected:
    void SetUp() override
    {
        SkinTest::SetUp();
        qv::ctl::RegisterButtonClass();
        tmpl_.style = WS_POPUP | WS_VISIBLE;
        tmpl_.x = kX;
        tmpl_.y = kY;
        tmpl_.cx = kW;
        tmpl_.cy = kH;
        tmpl_.items = {{"BUTTON", "", 101, 60, 50, 20, 20, WS_VISIBLE | BS_PUSHBUTTON, 0}};
    }

    void Create(UINT background)
    {
        dlg_.background = background;
        ASSERT_TRUE(dlg_.CreateIndirect(&tmpl_));
        Pump();
    }

    CPoint WindowPos() const
    {
        RECT r;
        ::GetWindowRect(dlg_.m_hWnd, &r);
        return {r.left, r.top};
    }

    void Drag(POINT from, int dx, int dy)
    {
        InjectMouseMove(from.x, from.y);
        InjectMouseButton(from.x, from.y, 1, true);
        InjectMouseMove(from.x + dx, from.y + dy);
        InjectMouseButton(from.x + dx, from.y + dy, 1, false);
        Pump();
    }

    DialogTemplate tmpl_;
    SkinDialog dlg_;
};

TEST_F(SkinDialogTest, WithoutBackgroundItIsAPlainDialog)
{
    Create(0);
    EXPECT_EQ(ReadPixel(dlg_.m_hWnd, 10, 10), GetSysColor(COLOR_3DFACE));
    ::SetWindowPos(dlg_.m_hWnd, nullptr, 0, 0, kW + 20, kH, SWP_NOMOVE | SWP_NOZORDER);
    Pump();
    CRgn probe;
    probe.CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(::GetWindowRgn(dlg_.m_hWnd, probe), ERROR) << "no region without a background";
}

TEST_F(SkinDialogTest, AnUnknownBackgroundIsReportedAndLeavesThePlainDialog)
{
    Create(9999);
    EXPECT_FALSE(dlg_.loaded);
    EXPECT_EQ(ReadPixel(dlg_.m_hWnd, 10, 10), GetSysColor(COLOR_3DFACE));
}

TEST_F(SkinDialogTest, BackgroundIsPaintedAtItsSizeAndCutAtTheClientEdge)
{
    // Wider than the client, lower than it.
    RegisterPicture(kBackground, kW + 30, kH - 20, BackgroundAt);
    Create(kBackground);
    ASSERT_TRUE(dlg_.loaded);
    for (POINT p : {POINT{0, 0}, POINT{10, 5}, POINT{kW - 1, kH - 21}, POINT{37, 44}})
        EXPECT_EQ(ReadPixel(dlg_.m_hWnd, p.x, p.y), BackgroundAt(p.x, p.y)) << p.x << "," << p.y;
    // Below the picture: the plain dialog face, not leftovers.
    EXPECT_EQ(ReadPixel(dlg_.m_hWnd, 10, kH - 5), GetSysColor(COLOR_3DFACE));
}

TEST_F(SkinDialogTest, ResizingGivesARegionReachingBeyondTheClientArea)
{
    RegisterPicture(kBackground, kW, kH, BackgroundAt);
    Create(kBackground);
    ::SetWindowPos(dlg_.m_hWnd, nullptr, 0, 0, kW + 20, kH + 5, SWP_NOMOVE | SWP_NOZORDER);
    Pump();
    CRgn region;
    region.CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(::GetWindowRgn(dlg_.m_hWnd, region), ERROR);
    // The whole client area keeps its pixels, and the region's plain rectangle runs on past
    // its right and bottom edges.
    const int right = kW + 20, bottom = kH + 5;
    for (POINT p : {POINT{0, 0}, POINT{right - 1, 0}, POINT{0, bottom - 1}, POINT{right - 1, bottom - 1},
                    POINT{right + 5, bottom + 5}})
        EXPECT_TRUE(region.PtInRegion(p)) << p.x << "," << p.y;
    EXPECT_FALSE(region.PtInRegion(right + 20, bottom + 20));
}

TEST_F(SkinDialogTest, PressOnTheBackgroundDragsTheWindowButNotOnAChildControl)
{
    RegisterPicture(kBackground, kW, kH, BackgroundAt);
    Create(kBackground);
    const CPoint start = WindowPos();

    Drag({kX + 10, kY + 10}, 30, 20);
    EXPECT_EQ(WindowPos(), CPoint(start.x + 30, start.y + 20));
    EXPECT_EQ(dlg_.downs, 1) << "the dialog's own button-down processing ran";

    // The button takes its press; the window stays.
    const CPoint moved = WindowPos();
    Drag({moved.x + 65, moved.y + 55}, 25, 0);
    EXPECT_EQ(WindowPos(), moved);
    EXPECT_EQ(dlg_.downs, 1);

    dlg_.SetDrag(FALSE);
    Drag({moved.x + 10, moved.y + 10}, 30, 20);
    EXPECT_EQ(WindowPos(), moved);
    EXPECT_EQ(dlg_.downs, 2);
}

}  // namespace
