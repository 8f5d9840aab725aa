// Fills, frames, lines and shapes at the edges of the Windows pixel rules.

#include <gtest/gtest.h>

#include "tests/platform_gdi/canvas.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

using Map = std::vector<std::string>;

TEST(Fill, RectanglesExcludeRightColumnAndBottomRow)
{
    Canvas c(6, 5);
    HBRUSH red = CreateSolidBrush(kRed);
    RECT one{2, 2, 3, 3};
    FillRect(c.dc, &one, red);
    EXPECT_EQ(c.map(kRed), (Map{"......", "......", "..#...", "......", "......"}));
    c.clear(kWhite);
    RECT r{1, 1, 5, 4};
    FrameRect(c.dc, &r, red);
    EXPECT_EQ(c.map(kRed), (Map{"......", ".####.", ".#..#.", ".####.", "......"}));
    c.clear(kWhite);
    RECT empty{3, 1, 3, 4}, inverted{4, 1, 2, 4};
    FillRect(c.dc, &empty, red);
    FillRect(c.dc, &inverted, red);
    FrameRect(c.dc, &empty, red);
    EXPECT_EQ(c.count(kRed), 0);
    // A system colour index plus one stands for that colour's brush.
    FillRect(c.dc, &one, reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(COLOR_3DFACE + 1)));
    EXPECT_EQ(c.at(2, 2), GetSysColor(COLOR_3DFACE));
    DeleteObject(red);
}

TEST(Fill, InvertAndFocusRectUndoThemselves)
{
    Canvas c(8, 6, RGB(10, 20, 30));
    RECT r{1, 1, 7, 5};
    InvertRect(c.dc, &r);
    EXPECT_EQ(c.at(1, 1), RGB(245, 235, 225));
    EXPECT_EQ(c.at(7, 5), RGB(10, 20, 30));
    InvertRect(c.dc, &r);
    EXPECT_EQ(c.count(RGB(10, 20, 30)), 48);

    DrawFocusRect(c.dc, &r);
    // Dotted: every other pixel of the frame, none inside.
    EXPECT_EQ(c.map(RGB(245, 235, 225)), (Map{"........", ".#.#.#..", "......#.", ".#......", "..#.#.#.", "........"}));
    DrawFocusRect(c.dc, &r);
    EXPECT_EQ(c.count(RGB(10, 20, 30)), 48);
}

TEST(Line, LeavesOutTheLastPixelInEveryDirection)
{
    const POINT ends[] = {{6, 3}, {6, 6}, {3, 6}, {0, 6}, {0, 3}, {0, 0}, {3, 0}, {6, 0}};
    for (const POINT& end : ends) {
        Canvas c(7, 7);
        HPEN pen = CreatePen(PS_SOLID, 1, kRed);
        HGDIOBJ old = SelectObject(c.dc, pen);
        MoveToEx(c.dc, 3, 3, nullptr);
        LineTo(c.dc, end.x, end.y);
        EXPECT_EQ(c.count(kRed), 3) << end.x << "," << end.y;
        EXPECT_EQ(c.at(3, 3), kRed);
        EXPECT_EQ(c.at(end.x, end.y), kWhite);
        // The pixel next to the end, on the way from the start, is drawn.
        int nx = end.x + (end.x < 3) - (end.x > 3), ny = end.y + (end.y < 3) - (end.y > 3);
        EXPECT_EQ(c.at(nx, ny), kRed);
        POINT pos;
        GetCurrentPositionEx(c.dc, &pos);
        EXPECT_EQ(pos.x, end.x);
        SelectObject(c.dc, old);
        DeleteObject(pen);
    }
}

TEST(Shape, RectangleWithPenAndBrushAndWithoutPen)
{
    Canvas c(7, 6);
    HPEN pen = CreatePen(PS_SOLID, 1, kRed);
    HBRUSH brush = CreateSolidBrush(kBlue);
    HGDIOBJ old_pen = SelectObject(c.dc, pen), old_brush = SelectObject(c.dc, brush);
    Rectangle(c.dc, 1, 1, 6, 5);
    EXPECT_EQ(c.map(kRed), (Map{".......", ".#####.", ".#...#.", ".#...#.", ".#####.", "......."}));
    EXPECT_EQ(c.map(kBlue), (Map{".......", ".......", "..###..", "..###..", ".......", "......."}));
    c.clear(kWhite);
    SelectObject(c.dc, GetStockObject(NULL_PEN));
    Rectangle(c.dc, 1, 1, 6, 5);
    // One pixel smaller in width and height without a pen.
    EXPECT_EQ(c.map(kBlue), (Map{".......", ".####..", ".####..", ".####..", ".......", "......."}));
    SelectObject(c.dc, old_pen);
    SelectObject(c.dc, old_brush);
    DeleteObject(pen);
    DeleteObject(brush);
}

TEST(Shape, EllipseTouchesItsBoxEdgesSymmetrically)
{
    Canvas c(12, 10);
    HPEN pen = CreatePen(PS_SOLID, 1, kRed);
    HBRUSH brush = CreateSolidBrush(kBlue);
    SelectObject(c.dc, pen);
    SelectObject(c.dc, brush);
    Ellipse(c.dc, 1, 1, 11, 9);
    RECT box = c.ink_box(kWhite);
    EXPECT_EQ(box, (RECT{1, 1, 11, 9}));
    Map m = c.map(kRed);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x) {
            EXPECT_EQ(m[y][x], m[y][11 - x]) << x << "," << y;  // mirror left/right inside 0..11
            EXPECT_EQ(m[y][x], m[9 - y][x]) << x << "," << y;   // and top/bottom inside 0..9
        }
    EXPECT_EQ(c.at(1, 1), kWhite);  // corners stay out
    EXPECT_EQ(c.at(6, 5), kBlue);
    EXPECT_EQ(c.at(1, 4), kRed);
    EXPECT_EQ(c.at(10, 4), kRed);
    EXPECT_EQ(c.at(5, 1), kRed);
    EXPECT_EQ(c.at(5, 8), kRed);
    SelectObject(c.dc, GetStockObject(BLACK_PEN));
    SelectObject(c.dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(pen);
    DeleteObject(brush);
}

TEST(Shape, PolygonAlternateAndWindingFill)
{
    // A star whose centre is covered twice: empty under ALTERNATE, filled under WINDING.
    const POINT star[] = {{10, 0}, {16, 20}, {0, 7}, {20, 7}, {4, 20}};
    Canvas c(21, 21);
    SelectObject(c.dc, GetStockObject(NULL_PEN));
    SelectObject(c.dc, GetStockObject(BLACK_BRUSH));
    Polygon(c.dc, star, 5);
    EXPECT_EQ(c.at(10, 11), kWhite);
    EXPECT_EQ(c.at(10, 3), RGB(0, 0, 0));
    SetPolyFillMode(c.dc, WINDING);
    Polygon(c.dc, star, 5);
    EXPECT_EQ(c.at(10, 11), RGB(0, 0, 0));

    // An axis-aligned square fills its interior, exclusive of the right and bottom edges.
    Canvas s(6, 6);
    SelectObject(s.dc, GetStockObject(NULL_PEN));
    SelectObject(s.dc, GetStockObject(BLACK_BRUSH));
    const POINT square[] = {{1, 1}, {4, 1}, {4, 4}, {1, 4}};
    Polygon(s.dc, square, 4);
    EXPECT_EQ(s.ink_box(kWhite), (RECT{1, 1, 4, 4}));
    // With a pen the closing outline covers every vertex.
    SelectObject(s.dc, GetStockObject(BLACK_PEN));
    Polygon(s.dc, square, 4);
    EXPECT_EQ(s.ink_box(kWhite), (RECT{1, 1, 5, 5}));
}

TEST(Shape, RoundRectCornersAreCut)
{
    Canvas c(12, 12);
    SelectObject(c.dc, GetStockObject(BLACK_PEN));
    SelectObject(c.dc, GetStockObject(NULL_BRUSH));
    RoundRect(c.dc, 0, 0, 12, 12, 6, 6);
    EXPECT_EQ(c.ink_box(kWhite), (RECT{0, 0, 12, 12}));
    EXPECT_EQ(c.at(0, 0), kWhite);
    EXPECT_EQ(c.at(11, 11), kWhite);
    EXPECT_EQ(c.at(6, 0), RGB(0, 0, 0));
    EXPECT_EQ(c.at(0, 6), RGB(0, 0, 0));
    EXPECT_EQ(c.at(6, 6), kWhite);  // hollow brush leaves the inside
}

TEST(Edge, SunkenAndRaisedUseTheThreeDColours)
{
    Canvas c(6, 6);
    RECT r{0, 0, 6, 6};
    DrawEdge(c.dc, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    EXPECT_EQ(r, (RECT{2, 2, 4, 4}));
    EXPECT_EQ(c.at(0, 0), GetSysColor(COLOR_3DSHADOW));
    EXPECT_EQ(c.at(0, 4), GetSysColor(COLOR_3DSHADOW));
    EXPECT_EQ(c.at(5, 5), GetSysColor(COLOR_3DHILIGHT));
    EXPECT_EQ(c.at(5, 0), GetSysColor(COLOR_3DHILIGHT));  // top-right corner belongs to the bottom-right side
    EXPECT_EQ(c.at(1, 1), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(c.at(4, 4), GetSysColor(COLOR_3DLIGHT));
    EXPECT_EQ(c.at(2, 2), kWhite);
    RECT q{0, 0, 6, 6};
    DrawEdge(c.dc, &q, BDR_SUNKENINNER, BF_RECT | BF_MIDDLE);
    EXPECT_EQ(c.at(0, 0), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(c.at(5, 5), GetSysColor(COLOR_3DLIGHT));
    EXPECT_EQ(c.at(2, 2), GetSysColor(COLOR_3DFACE));
}

TEST(Pixel, GetAndSetPixelOutsideTheSurfaceFail)
{
    Canvas c(4, 4);
    EXPECT_EQ(SetPixel(c.dc, 3, 3, RGB(1, 2, 3)), RGB(1, 2, 3));
    EXPECT_EQ(GetPixel(c.dc, 3, 3), RGB(1, 2, 3));
    EXPECT_EQ(GetPixel(c.dc, 4, 3), CLR_INVALID);
    EXPECT_EQ(GetPixel(c.dc, -1, 0), CLR_INVALID);
    EXPECT_EQ(SetPixel(c.dc, 0, 4, kRed), CLR_INVALID);
}

}  // namespace
