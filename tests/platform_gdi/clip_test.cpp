// Regions, clipping, origins and the DC state stack.

#include <gtest/gtest.h>

#include "platform/gdi/region.h"
#include "tests/platform_gdi/canvas.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

TEST(Region, CombineKeepsACanonicalForm)
{
    HRGN a = CreateRectRgn(0, 0, 10, 10), b = CreateRectRgn(5, 5, 15, 15), out = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(CombineRgn(out, a, b, RGN_AND), SIMPLEREGION);
    RECT box;
    GetRgnBox(out, &box);
    EXPECT_EQ(box, (RECT{5, 5, 10, 10}));
    EXPECT_EQ(CombineRgn(out, a, b, RGN_OR), COMPLEXREGION);
    EXPECT_TRUE(PtInRegion(out, 14, 14));
    EXPECT_FALSE(PtInRegion(out, 14, 0));
    EXPECT_FALSE(PtInRegion(out, 15, 14));
    EXPECT_EQ(CombineRgn(out, a, b, RGN_DIFF), COMPLEXREGION);
    EXPECT_FALSE(PtInRegion(out, 7, 7));
    EXPECT_TRUE(PtInRegion(out, 4, 7));
    EXPECT_EQ(CombineRgn(out, a, b, RGN_XOR), COMPLEXREGION);
    EXPECT_FALSE(PtInRegion(out, 7, 7));
    EXPECT_TRUE(PtInRegion(out, 12, 12));
    // Two halves joined are the same as the whole.
    HRGN left = CreateRectRgn(0, 0, 5, 10), right = CreateRectRgn(5, 0, 10, 10);
    EXPECT_EQ(CombineRgn(out, left, right, RGN_OR), SIMPLEREGION);
    EXPECT_TRUE(EqualRgn(out, a));
    EXPECT_EQ(CombineRgn(out, a, a, RGN_DIFF), NULLREGION);
    for (HRGN r : {a, b, out, left, right})
        DeleteObject(r);
}

TEST(Region, RoundAndEllipticRegionsStopShortOfRightAndBottom)
{
    HRGN square = CreateRoundRectRgn(0, 0, 11, 11, 0, 0);
    RECT box;
    EXPECT_EQ(GetRgnBox(square, &box), SIMPLEREGION);
    EXPECT_EQ(box, (RECT{0, 0, 10, 10}));
    HRGN round = CreateRoundRectRgn(0, 0, 21, 21, 8, 8);
    GetRgnBox(round, &box);
    EXPECT_EQ(box, (RECT{0, 0, 20, 20}));
    EXPECT_FALSE(PtInRegion(round, 0, 0));
    EXPECT_FALSE(PtInRegion(round, 19, 19));
    EXPECT_TRUE(PtInRegion(round, 10, 0));
    EXPECT_TRUE(PtInRegion(round, 0, 10));
    HRGN ellipse = CreateEllipticRgn(0, 0, 11, 11);
    EXPECT_TRUE(PtInRegion(ellipse, 5, 5));
    EXPECT_FALSE(PtInRegion(ellipse, 0, 0));
    const POINT tri[] = {{0, 0}, {10, 0}, {0, 10}};
    HRGN poly = CreatePolygonRgn(tri, 3, ALTERNATE);
    EXPECT_TRUE(PtInRegion(poly, 1, 1));
    EXPECT_FALSE(PtInRegion(poly, 8, 8));
    for (HRGN r : {square, round, ellipse, poly})
        DeleteObject(r);
}

TEST(Region, HandlesAndValuesConvertBothWays)
{
    const gdi::Region two = gdi::Region::combine(gdi::Region(RECT{0, 0, 4, 4}), gdi::Region(RECT{10, 0, 14, 4}), RGN_OR);
    HRGN h = gdi::CreateRgnFromRegion(two);
    EXPECT_TRUE(PtInRegion(h, 11, 1));
    EXPECT_FALSE(PtInRegion(h, 6, 1));
    gdi::Region back;
    ASSERT_TRUE(gdi::GetRegionOfRgn(h, &back));
    EXPECT_EQ(back, two);

    EXPECT_EQ(gdi::SetRgnToRegion(h, gdi::Region(RECT{2, 2, 3, 3})), SIMPLEREGION);
    RECT box;
    GetRgnBox(h, &box);
    EXPECT_EQ(box.left, 2);
    EXPECT_EQ(box.bottom, 3);

    // No handle: nothing is read or written.
    EXPECT_FALSE(gdi::GetRegionOfRgn(nullptr, &back));
    EXPECT_EQ(back, two);
    EXPECT_EQ(gdi::SetRgnToRegion(nullptr, two), ERROR);
    DeleteObject(h);
}

TEST(Clip, DrawingStaysInsideTheClipRegion)
{
    Canvas c(10, 10);
    HRGN r1 = CreateRectRgn(1, 1, 3, 3), r2 = CreateRectRgn(6, 6, 8, 9);
    CombineRgn(r1, r1, r2, RGN_OR);
    SelectClipRgn(c.dc, r1);
    DeleteObject(r1);  // the DC keeps its own copy
    RECT all{0, 0, 10, 10};
    FillRect(c.dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    EXPECT_EQ(c.count(kBlack), 4 + 6);
    EXPECT_EQ(c.at(2, 2), kBlack);
    EXPECT_EQ(c.at(7, 8), kBlack);
    EXPECT_EQ(c.at(3, 3), kWhite);
    RECT box;
    EXPECT_EQ(GetClipBox(c.dc, &box), COMPLEXREGION);
    EXPECT_EQ(box, (RECT{1, 1, 8, 9}));
    EXPECT_EQ(GetPixel(c.dc, 0, 0), CLR_INVALID);
    DeleteObject(r2);
}

TEST(Clip, OriginsShiftDrawingAndTheClipBox)
{
    Canvas c(10, 10);
    SetViewportOrgEx(c.dc, 3, 2, nullptr);
    RECT one{0, 0, 1, 1};
    FillRect(c.dc, &one, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    EXPECT_EQ(c.at(3, 2), kBlack);
    SetViewportOrgEx(c.dc, 0, 0, nullptr);
    SetWindowOrgEx(c.dc, 5, 5, nullptr);  // logical (5,5) is device (0,0)
    RECT box;
    GetClipBox(c.dc, &box);
    EXPECT_EQ(box, (RECT{5, 5, 15, 15}));
    FillRect(c.dc, &one, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));  // all outside
    EXPECT_EQ(c.count(kBlack), 1);
    POINT p{7, 9};
    LPtoDP(c.dc, &p, 1);
    EXPECT_EQ(p.x, 2);
    EXPECT_EQ(p.y, 4);
    IntersectClipRect(c.dc, 5, 5, 7, 7);
    GetClipBox(c.dc, &box);
    EXPECT_EQ(box, (RECT{5, 5, 7, 7}));
    SelectClipRgn(c.dc, nullptr);
    EXPECT_EQ(ExcludeClipRect(c.dc, 5, 5, 14, 15), SIMPLEREGION);  // leaves the last column
    GetClipBox(c.dc, &box);
    EXPECT_EQ(box, (RECT{14, 5, 15, 15}));
}

TEST(Clip, ViewDcIsAnOffsetClippedWindowIntoABiggerBuffer)
{
    HBITMAP backing = CreateBitmap(20, 10, 1, 32, nullptr);
    HDC whole = gdi::CreateViewDC(backing, {0, 0}, nullptr);
    RECT all{0, 0, 20, 10};
    FillRect(whole, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    // A child at (12, 3), 6x4, of which the first column is covered by a sibling.
    HRGN visible = CreateRectRgn(1, 0, 6, 4);
    HDC child = gdi::CreateViewDC(backing, {12, 3}, visible);
    DeleteObject(visible);
    RECT r{0, 0, 100, 100};
    FillRect(child, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    RECT box;
    GetClipBox(child, &box);
    EXPECT_EQ(box, (RECT{1, 0, 6, 4}));
    int black = 0;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x)
            if (GetPixel(whole, x, y) == kBlack) {
                ++black;
                EXPECT_TRUE(x >= 13 && x < 18 && y >= 3 && y < 7) << x << "," << y;
            }
    EXPECT_EQ(black, 20);
    EXPECT_EQ(GetPixel(child, 0, 0), CLR_INVALID);
    EXPECT_EQ(GetPixel(child, 1, 0), kBlack);
    DeleteDC(child);
    DeleteDC(whole);
    DeleteObject(backing);
}

TEST(State, SaveAndRestoreBringBackObjectsColoursAndClip)
{
    Canvas c(4, 4);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 1, 1));
    HGDIOBJ original_pen = SelectObject(c.dc, pen);
    SetTextColor(c.dc, RGB(1, 2, 3));
    int level = SaveDC(c.dc);
    EXPECT_EQ(level, 1);
    SelectObject(c.dc, GetStockObject(NULL_PEN));
    SetTextColor(c.dc, RGB(9, 9, 9));
    IntersectClipRect(c.dc, 0, 0, 1, 1);
    SaveDC(c.dc);
    SetBkMode(c.dc, TRANSPARENT);
    EXPECT_TRUE(RestoreDC(c.dc, level));  // unwinds both levels
    EXPECT_FALSE(RestoreDC(c.dc, -1));
    EXPECT_EQ(GetCurrentObject(c.dc, OBJ_PEN), pen);
    EXPECT_EQ(GetTextColor(c.dc), RGB(1, 2, 3));
    EXPECT_EQ(GetBkMode(c.dc), OPAQUE);
    RECT box;
    GetClipBox(c.dc, &box);
    EXPECT_EQ(box, (RECT{0, 0, 4, 4}));
    // Deleting a selected pen keeps it usable until it is deselected.
    EXPECT_TRUE(DeleteObject(pen));
    MoveToEx(c.dc, 0, 0, nullptr);
    LineTo(c.dc, 3, 0);
    EXPECT_EQ(c.at(1, 0), RGB(1, 1, 1));
    SelectObject(c.dc, original_pen);
}

TEST(State, FillRgnMapsTheRegionFromLogicalCoordinates)
{
    Canvas c(6, 6);
    SetWindowOrgEx(c.dc, -2, -2, nullptr);
    HRGN r = CreateRectRgn(0, 0, 1, 1);
    FillRgn(c.dc, r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    EXPECT_EQ(c.at(2, 2), kBlack);
    EXPECT_EQ(c.count(kBlack), 1);
    DeleteObject(r);
}

}  // namespace
