// Paths with Bezier curves, stroked, filled and turned into regions.

#include <gtest/gtest.h>

#include "tests/platform_gdi/canvas.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

// A rounded tab shape: straight bottom, curved top, as skinned buttons use.
void tab_path(HDC dc)
{
    BeginPath(dc);
    MoveToEx(dc, 5, 40, nullptr);
    LineTo(dc, 5, 20);
    const POINT curve[] = {{5, 5}, {55, 5}, {55, 20}};
    PolyBezierTo(dc, curve, 3);
    LineTo(dc, 55, 40);
    CloseFigure(dc);
    EndPath(dc);
}

TEST(Path, BezierShapeFilledAndStrokedInsideItsBounds)
{
    Canvas c(64, 48);
    HPEN pen = CreatePen(PS_SOLID, 1, kRed);
    HBRUSH brush = CreateSolidBrush(kBlue);
    SelectObject(c.dc, pen);
    SelectObject(c.dc, brush);
    tab_path(c.dc);
    EXPECT_TRUE(StrokeAndFillPath(c.dc));
    RECT ink = c.ink_box(kWhite);
    // The curve stays within its control points; its top, half way, is at 20 - 3/4 * 15 = 8.75.
    EXPECT_GE(ink.left, 5);
    EXPECT_LE(ink.right, 56);
    EXPECT_GE(ink.top, 8);
    EXPECT_LE(ink.top, 9);
    EXPECT_LE(ink.bottom, 41);
    EXPECT_EQ(c.at(5, 30), kRed);    // stroked side
    EXPECT_EQ(c.at(30, 30), kBlue);  // filled inside
    EXPECT_EQ(c.at(30, 9), kRed);    // the curve's top
    EXPECT_EQ(c.at(30, 7), kWhite);
    EXPECT_EQ(c.at(6, 6), kWhite);   // corner cut by the curve
    // The path is used up.
    EXPECT_FALSE(StrokeAndFillPath(c.dc));
    SelectObject(c.dc, GetStockObject(BLACK_PEN));
    SelectObject(c.dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(pen);
    DeleteObject(brush);
}

TEST(Path, RegionFromPathMatchesTheFill)
{
    Canvas c(64, 48);
    SelectObject(c.dc, GetStockObject(NULL_PEN));
    SelectObject(c.dc, GetStockObject(BLACK_BRUSH));
    tab_path(c.dc);
    FillPath(c.dc);
    tab_path(c.dc);
    HRGN rgn = PathToRegion(c.dc);
    ASSERT_NE(rgn, nullptr);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            EXPECT_EQ(PtInRegion(rgn, x, y) != 0, c.at(x, y) == RGB(0, 0, 0)) << x << "," << y;
    RECT box;
    GetRgnBox(rgn, &box);
    EXPECT_EQ(box.left, 5);
    EXPECT_EQ(box.right, 55);
    EXPECT_EQ(box.bottom, 40);
    DeleteObject(rgn);
    EXPECT_EQ(PathToRegion(c.dc), nullptr);
}

TEST(Path, BezierOutsideAPathIsDrawnDirectly)
{
    Canvas c(40, 20);
    MoveToEx(c.dc, 2, 18, nullptr);
    const POINT curve[] = {{10, 0}, {30, 0}, {38, 18}};
    EXPECT_TRUE(PolyBezierTo(c.dc, curve, 3));
    EXPECT_EQ(c.at(2, 18), RGB(0, 0, 0));
    RECT ink = c.ink_box(kWhite);
    EXPECT_GE(ink.top, 4);  // the curve peaks 3/4 of the way to its control points: 18 - 13.5
    EXPECT_LE(ink.top, 5);
    EXPECT_FALSE(PolyBezierTo(c.dc, curve, 2));
}

}  // namespace
