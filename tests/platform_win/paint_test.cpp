// The paint cycle read back from the backing buffer: order, clipping, invalidation, frames,
// regions, transparent windows and window DCs.

#include "fixture.h"

using qv::win::ReadPixel;

namespace {

std::vector<HWND> PaintedWindows()
{
    std::vector<HWND> out;
    for (const Logged& l : LogOf({WM_PAINT}))
        out.push_back(l.hwnd);
    return out;
}

}  // namespace

TEST_F(WinTest, ParentPaintsFirstAndChildrenAreClippedToTheirParent)
{
    HWND top = Top(0, 0, 100, 80, kRed);
    HWND child = Child(top, 1, 10, 10, 40, 30, kGreen);
    HWND grandchild = Child(child, 2, 20, 20, 50, 50, kBlue);  // reaches outside its parent
    Pump();

    EXPECT_EQ(PaintedWindows(), (std::vector<HWND>{top, child, grandchild}));
    // Each window's erase comes from BeginPaint inside its own WM_PAINT.
    auto order = LogOf({WM_ERASEBKGND, WM_PAINT});
    ASSERT_EQ(order.size(), 6u);
    EXPECT_EQ(order[0].message, static_cast<UINT>(WM_PAINT));
    EXPECT_EQ(order[1].message, static_cast<UINT>(WM_ERASEBKGND));
    EXPECT_EQ(order[1].hwnd, top);

    EXPECT_EQ(ReadPixel(top, 5, 5), kRed);
    EXPECT_EQ(ReadPixel(top, 15, 15), kGreen);
    EXPECT_EQ(ReadPixel(top, 35, 35), kBlue);    // grandchild inside the child
    EXPECT_EQ(ReadPixel(top, 55, 35), kRed);     // grandchild beyond the child's right edge: clipped
    EXPECT_EQ(ReadPixel(top, 35, 45), kRed);     // and below it
    EXPECT_EQ(ReadPixel(top, 49, 39), kBlue);    // last pixel of the child's client area
}

TEST_F(WinTest, SiblingsPaintBottomToTopWithTheFirstCreatedOnTop)
{
    HWND top = Top(0, 0, 100, 100, kRed);
    HWND first = Child(top, 1, 10, 10, 40, 40, kGreen);
    HWND second = Child(top, 2, 30, 30, 40, 40, kBlue);
    Pump();
    EXPECT_EQ(PaintedWindows(), (std::vector<HWND>{top, second, first}));
    EXPECT_EQ(ReadPixel(top, 35, 35), kGreen);  // overlap: the first created is above
    EXPECT_EQ(GetWindow(top, GW_CHILD), first);

    // Raising the second repaints the overlap with it on top.
    SetWindowPos(second, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    Pump();
    EXPECT_EQ(ReadPixel(top, 35, 35), kBlue);
}

TEST_F(WinTest, InvalidationRepaintsOnlyTheAreaAndWhatLiesAboveIt)
{
    HWND top = Top(0, 0, 100, 100, kRed);
    HWND a = Child(top, 1, 0, 0, 50, 50, kGreen);
    HWND b = Child(top, 2, 60, 60, 30, 30, kBlue);
    Pump();
    Log().clear();

    RECT r{5, 5, 20, 20};
    InvalidateRect(top, &r, FALSE);
    RECT upd;
    EXPECT_TRUE(GetUpdateRect(top, &upd, FALSE));
    EXPECT_EQ(upd.left, 5);
    EXPECT_EQ(upd.bottom, 20);
    EXPECT_TRUE(GetUpdateRect(a, &upd, FALSE));  // a covers the area, so it paints again over it
    EXPECT_FALSE(GetUpdateRect(b, &upd, FALSE));
    Pump();
    EXPECT_EQ(PaintedWindows(), (std::vector<HWND>{top, a}));
    EXPECT_TRUE(LogOf({WM_ERASEBKGND}).empty());  // invalidated without erasing
    EXPECT_EQ(ReadPixel(top, 10, 10), kGreen);

    // A child's own invalidation leaves its parent alone.
    Log().clear();
    InvalidateRect(b, nullptr, TRUE);
    Pump();
    EXPECT_EQ(PaintedWindows(), (std::vector<HWND>{b}));
    EXPECT_EQ(LogOf({WM_ERASEBKGND}).size(), 1u);

    // Validation cancels a pending paint; UpdateWindow paints at once, outside the loop.
    Log().clear();
    InvalidateRect(a, nullptr, TRUE);
    ValidateRect(a, nullptr);
    Pump();
    EXPECT_TRUE(PaintedWindows().empty());
    InvalidateRect(a, nullptr, TRUE);
    UpdateWindow(a);
    EXPECT_EQ(PaintedWindows(), (std::vector<HWND>{a}));
    EXPECT_FALSE(GetUpdateRect(a, nullptr, FALSE));
}

TEST_F(WinTest, RedrawWindowFlags)
{
    HWND top = Top(0, 0, 60, 60, kRed);
    HWND a = Child(top, 1, 10, 10, 20, 20, kGreen);
    Pump();
    Log().clear();
    RedrawWindow(a, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    EXPECT_EQ(LogOf({WM_ERASEBKGND, WM_PAINT}).size(), 2u);
    Log().clear();
    RedrawWindow(a, nullptr, nullptr, RDW_INVALIDATE | RDW_NOERASE);
    Pump();
    EXPECT_TRUE(LogOf({WM_ERASEBKGND}).empty());
    EXPECT_EQ(PaintedWindows().size(), 1u);
}

TEST_F(WinTest, FramesShrinkTheClientAndAreDrawnOutsideIt)
{
    HWND top = Top(0, 0, 100, 100, kRed);
    HWND border = Child(top, 1, 10, 10, 20, 20, kGreen, WS_BORDER);
    HWND edge = Child(top, 2, 40, 10, 20, 20, kGreen, 0, WS_EX_CLIENTEDGE);
    HWND stat = Child(top, 3, 70, 10, 20, 20, kGreen, 0, WS_EX_STATICEDGE);
    Pump();
    RECT rc;
    GetClientRect(border, &rc);
    EXPECT_EQ(rc.right, 18);
    GetClientRect(edge, &rc);
    EXPECT_EQ(rc.right, 16);
    GetClientRect(stat, &rc);
    EXPECT_EQ(rc.right, 18);

    EXPECT_EQ(ReadPixel(top, 10, 10), RGB(0, 0, 0));  // 1-px black border
    EXPECT_EQ(ReadPixel(top, 11, 11), kGreen);
    EXPECT_EQ(ReadPixel(top, 29, 29), RGB(0, 0, 0));
    EXPECT_NE(ReadPixel(top, 41, 11), kGreen);        // second pixel of the sunken edge
    EXPECT_EQ(ReadPixel(top, 42, 12), kGreen);
    EXPECT_EQ(ReadPixel(top, 70, 10), GetSysColor(COLOR_3DSHADOW));
    EXPECT_EQ(ReadPixel(top, 71, 11), kGreen);

    // A style change takes effect on SWP_FRAMECHANGED, and resizes the client.
    CWnd* w = CWnd::FromHandle(border);
    w->ModifyStyleEx(0, WS_EX_CLIENTEDGE, SWP_FRAMECHANGED);
    GetClientRect(border, &rc);
    EXPECT_EQ(rc.right, 14);
    auto sizes = LogOf({WM_SIZE});
    ASSERT_FALSE(sizes.empty());
    EXPECT_EQ(LOWORD(static_cast<DWORD>(sizes.back().lParam)), 14);
}

TEST_F(WinTest, WindowRegionClipsPaintingAndHitTesting)
{
    HWND top = Top(0, 0, 100, 100, kRed);
    HWND round = Child(top, 1, 10, 10, 40, 40, kGreen);
    SetWindowRgn(round, CreateEllipticRgn(0, 0, 40, 40), TRUE);
    Pump();
    EXPECT_EQ(ReadPixel(top, 11, 11), kRed);    // outside the ellipse: the parent shows
    EXPECT_EQ(ReadPixel(top, 30, 30), kGreen);
    EXPECT_EQ(WindowFromPoint(POINT{11, 11}), top);
    EXPECT_EQ(WindowFromPoint(POINT{30, 30}), round);

    // Removing the region repaints the corners with the child.
    SetWindowRgn(round, nullptr, TRUE);
    Pump();
    EXPECT_EQ(ReadPixel(top, 11, 11), kGreen);
}

TEST_F(WinTest, TransparentWindowIsComposedOverFreshParentPixels)
{
    HWND top = Top(0, 0, 100, 100, kRed);
    HWND label = Child(top, 1, 10, 10, 40, 40, kGreen, 0, WS_EX_TRANSPARENT);
    Pump();
    Log().clear();
    InvalidateRect(label, nullptr, TRUE);
    Pump();
    EXPECT_EQ(PaintedWindows(), (std::vector<HWND>{top, label}));
    RECT upd;
    EXPECT_FALSE(GetUpdateRect(top, &upd, FALSE));
}

TEST_F(WinTest, WindowDcOutsidePaintIsAClippedView)
{
    HWND top = Top(0, 0, 100, 100, kRed);
    HWND child = Child(top, 1, 10, 10, 20, 20, kGreen, WS_BORDER);
    Pump();
    HDC dc = GetDC(child);
    RECT everything{-50, -50, 200, 200};
    HBRUSH blue = CreateSolidBrush(kBlue);
    FillRect(dc, &everything, blue);
    DeleteObject(blue);
    ReleaseDC(child, dc);
    EXPECT_EQ(ReadPixel(child, 0, 0), kBlue);
    EXPECT_EQ(ReadPixel(top, 10, 10), RGB(0, 0, 0));  // frame untouched
    EXPECT_EQ(ReadPixel(top, 9, 9), kRed);            // parent untouched
    EXPECT_EQ(ReadPixel(top, 30, 30), kRed);

    // CClientDC is the same view.
    {
        CClientDC cdc(CWnd::FromHandle(child));
        EXPECT_EQ(GetPixel(cdc, 0, 0), kBlue);
    }
}

TEST_F(WinTest, HidingAndMovingRepaintWhatWasBeneath)
{
    HWND top = Top(0, 0, 100, 100, kRed);
    HWND child = Child(top, 1, 10, 10, 20, 20, kGreen);
    Pump();
    ShowWindow(child, SW_HIDE);
    Pump();
    EXPECT_EQ(ReadPixel(top, 15, 15), kRed);
    ShowWindow(child, SW_SHOW);
    MoveWindow(child, 50, 50, 20, 20, TRUE);
    Pump();
    EXPECT_EQ(ReadPixel(top, 15, 15), kRed);
    EXPECT_EQ(ReadPixel(top, 55, 55), kGreen);
}
