// The off-screen drawing context: drawing through it gives the picture drawing directly would,
// within its area, and it falls back to direct drawing when it cannot work off screen.

#include <gtest/gtest.h>

#include <functional>

#include "controls/MemDC.h"
#include "tests/support/memory_page.h"

namespace {

constexpr int kW = 64, kH = 48;
constexpr COLORREF kStart = RGB(10, 20, 30);
constexpr COLORREF kBk = RGB(200, 100, 50);

// A memory DC over a picture of its own, filled with kStart and with kBk as background colour.
struct Target : MemoryPage {
    Target() : MemoryPage(kW, kH, kStart) { dc.SetBkColor(kBk); }
    COLORREF At(int x, int y) const { return dc.GetPixel(x, y); }
};

// Something to draw: fills, a frame and lines, partly outside any area used below.
void Scene(CDC& dc)
{
    dc.FillSolidRect(5, 5, 30, 20, RGB(255, 0, 0));
    CBrush brush(RGB(0, 0, 255));
    CRect frame(20, 10, 60, 40);
    dc.FrameRect(&frame, &brush);
    CPen pen(PS_SOLID, 1, RGB(0, 255, 0));
    CPen* oldPen = dc.SelectObject(&pen);
    dc.MoveTo(0, 47);
    dc.LineTo(63, 0);
    dc.SelectObject(oldPen);
}

void ExpectSame(const Target& a, const Target& b, const CRect& area)
{
    ExpectSamePixels([&](int x, int y) { return a.At(x, y); },
                     [&](int x, int y) { return area.PtInRect(CPoint(x, y)) ? b.At(x, y) : kStart; }, kW, kH);
}

TEST(MemDCTest, DrawingThroughItMatchesDrawingDirectlyWithinItsArea)
{
    for (BOOL copy : {TRUE, FALSE}) {
        const CRect area(10, 5, 50, 40);
        Target through, direct;
        {
            CMemDC mem(&through.dc, &area, copy);
            Scene(mem);
            // Nothing reaches the target before the end.
            EXPECT_EQ(through.At(15, 15), kStart);
        }
        // Directly: the same start the copy or the fill gives, then the scene.
        direct.dc.FillSolidRect(&area, copy ? kStart : kBk);
        Scene(direct.dc);
        ExpectSame(through, direct, area);
    }
}

TEST(MemDCTest, ATargetInAScaledMappingModeGetsItsAreaInDevicePixels)
{
    // Two device pixels per logical unit: the caller keeps drawing in logical units, the
    // picture covers the area's device pixels, all of them, and nothing beside them.
    auto scaled = [](CDC& dc) {
        dc.SetMapMode(MM_ANISOTROPIC);
        dc.SetWindowExt(1, 1);
        dc.SetViewportExt(2, 2);
    };
    auto scene = [](CDC& dc) {
        dc.FillSolidRect(2, 2, 14, 10, RGB(255, 0, 0));
        CBrush brush(RGB(0, 0, 255));
        CRect frame(10, 5, 30, 20);
        dc.FrameRect(&frame, &brush);
        dc.FillSolidRect(20, 14, 3, 3, RGB(0, 255, 0));
    };
    for (BOOL copy : {TRUE, FALSE}) {
        const CRect area(4, 3, 24, 18);  // device 8,6 to 48,36
        Target through, direct;
        scaled(through.dc);
        scaled(direct.dc);
        {
            CMemDC mem(&through.dc, &area, copy);
            EXPECT_EQ(mem.GetMapMode(), MM_ANISOTROPIC);
            scene(mem);
        }
        direct.dc.FillSolidRect(&area, copy ? kStart : kBk);
        scene(direct.dc);
        through.dc.SetMapMode(MM_TEXT);
        direct.dc.SetMapMode(MM_TEXT);
        ExpectSame(through, direct, CRect(8, 6, 48, 36));
        // The far corner of the area came through: a picture sized in logical units would
        // have stopped at 28,21.
        EXPECT_EQ(through.At(45, 30), RGB(0, 255, 0)) << copy;
        EXPECT_EQ(through.At(47, 35), copy ? kStart : kBk) << copy;
    }
}

TEST(MemDCTest, ShortFormCoversTheClipBoxFromTheBackgroundColour)
{
    Target through, direct;
    through.dc.IntersectClipRect(8, 4, 40, 30);
    {
        CMemDC mem(&through.dc);
        Scene(mem);
    }
    through.dc.SelectClipRgn(nullptr);  // pixels outside a clip region cannot be read
    direct.dc.FillSolidRect(8, 4, 32, 26, kBk);
    Scene(direct.dc);
    ExpectSame(through, direct, CRect(8, 4, 40, 30));
}

TEST(MemDCTest, WithoutAreaTheClipBoxIsUsed)
{
    Target through;
    {
        CMemDC mem(&through.dc, nullptr, FALSE);
        Scene(mem);
    }
    EXPECT_EQ(through.At(0, 0), kBk);
    EXPECT_EQ(through.At(63, 47), kBk);
    EXPECT_EQ(through.At(6, 6), RGB(255, 0, 0));
}

TEST(MemDCTest, EmptyOrInvertedAreasLeaveTheTargetAlone)
{
    for (CRect area : {CRect(10, 10, 10, 10), CRect(30, 30, 10, 10)}) {
        Target t;
        {
            CMemDC mem(&t.dc, &area, FALSE);
            Scene(mem);
        }
        Target untouched;
        ExpectSame(t, untouched, CRect());
    }
}

TEST(MemDCTest, PrintingTargetIsDrawnOnDirectlyAndSurvives)
{
    Target t;
    t.dc.m_bPrinting = TRUE;
    {
        CMemDC mem(&t.dc);
        EXPECT_TRUE(mem.IsPrinting());
        EXPECT_EQ(mem.m_hDC, t.dc.m_hDC);
        Scene(mem);
        EXPECT_EQ(t.At(6, 6), RGB(255, 0, 0)) << "straight onto the target";
    }
    // The target's handle is still its own and usable.
    t.dc.FillSolidRect(0, 0, 2, 2, RGB(1, 2, 3));
    EXPECT_EQ(t.At(1, 1), RGB(1, 2, 3));
}

TEST(MemDCTest, AnAreaTooLargeForAPictureIsDrawnDirectly)
{
    Target t;
    const CRect huge(0, 0, 200000, 200000);
    {
        CMemDC mem(&t.dc, &huge, FALSE);
        EXPECT_EQ(mem.m_hDC, t.dc.m_hDC);
        Scene(mem);
    }
    Target direct;
    direct.dc.FillSolidRect(0, 0, kW, kH, kBk);
    Scene(direct.dc);
    ExpectSame(t, direct, CRect(0, 0, kW, kH));
    t.dc.FillSolidRect(0, 0, 2, 2, RGB(1, 2, 3));
    EXPECT_EQ(t.At(1, 1), RGB(1, 2, 3));
}

}  // namespace
