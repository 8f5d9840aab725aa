#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "controls/DigiStatic.h"
#include "tests/platform_win/fixture.h"

namespace {

// Where each segment of a character stands on the design grid: its base outline and its
// mirroring (1 across x = 24, 2 across y = 41, 3 through (24, 41)).
struct Placed {
    const SegmentOutline* outline;
    int mirror;
};

const Placed k7Plain[7] = {{&g_Seg7PlainHorizontal, 0}, {&g_Seg7PlainVertical, 0}, {&g_Seg7PlainVertical, 1},
                           {&g_Seg7PlainMiddle, 0},     {&g_Seg7PlainVertical, 2}, {&g_Seg7PlainVertical, 3},
                           {&g_Seg7PlainHorizontal, 2}};
const Placed k14Plain[14] = {{&g_Seg14PlainCentre, 0},     {&g_Seg14PlainDiagonal, 0},   {&g_Seg14PlainDiagonal, 1},
                             {&g_Seg14PlainDiagonal, 2},   {&g_Seg14PlainDiagonal, 3},   {&g_Seg14PlainCentre, 2},
                             {&g_Seg14PlainHalfMiddle, 0}, {&g_Seg14PlainHalfMiddle, 1}, {&g_Seg14PlainVertical, 0},
                             {&g_Seg14PlainVertical, 2},   {&g_Seg14PlainHorizontal, 2}, {&g_Seg14PlainVertical, 3},
                             {&g_Seg14PlainVertical, 1},   {&g_Seg14PlainHorizontal, 0}};
const Placed k14Smooth[14] = {{&g_Seg14SmoothCentre, 0},     {&g_Seg14SmoothDiagonal, 0},   {&g_Seg14SmoothDiagonal, 1},
                              {&g_Seg14SmoothDiagonal, 2},   {&g_Seg14SmoothDiagonal, 3},   {&g_Seg14SmoothCentre, 2},
                              {&g_Seg14SmoothHalfMiddle, 0}, {&g_Seg14SmoothHalfMiddle, 1}, {&g_Seg14SmoothVertical, 0},
                              {&g_Seg14SmoothVertical, 2},   {&g_Seg14SmoothHorizontal, 2}, {&g_Seg14SmoothVertical, 3},
                              {&g_Seg14SmoothVertical, 1},   {&g_Seg14SmoothHorizontal, 0}};
const Placed kDots[3] = {{&g_SegDotUpper, 0}, {&g_SegDotMiddle, 0}, {&g_SegDotLower, 0}};

const COLORREF kOn = RGB(0, 255, 0), kOff = RGB(0, 52, 0), kFace = RGB(0, 0, 0);

class DigiTest : public WinTest {
protected:
    void SetUp() override
    {
        WinTest::SetUp();
        parent = Top(0, 0, 500, 400, kBlue);
    }

    void Make(CDigiStatic& digi, RECT rect, const char* caption = "")
    {
        ASSERT_TRUE(digi.Create(caption, WS_CHILD | WS_VISIBLE, rect, CWnd::FromHandle(parent), 50));
    }

    // Centre of a placed segment in the client area of a control drawing a character at scale
    // `s` from (ox, oy).
    static POINT Centre(const Placed& seg, double s, double ox = 0, double oy = 0)
    {
        double x = 0, y = 0;
        for (POINT p : seg.outline->points) {
            if (seg.mirror & 1)
                p.x = 48 - p.x;
            if (seg.mirror & 2)
                p.y = 82 - p.y;
            x += p.x, y += p.y;
        }
        x /= seg.outline->points.size(), y /= seg.outline->points.size();
        return {static_cast<LONG>(ox + x * s), static_cast<LONG>(oy + y * s)};
    }

    // Each segment of a character shows the on colour when its bit is set, else the off colour.
    template <size_t N>
    static void ExpectLit(HWND digi, const Placed (&segments)[N], unsigned mask, double s, double ox, double oy,
                          const char* what)
    {
        for (size_t i = 0; i < N; ++i) {
            const POINT c = Centre(segments[i], s, ox, oy);
            EXPECT_EQ(qv::win::ReadPixel(digi, c.x, c.y), (mask >> i) & 1 ? kOn : kOff) << what << " segment " << i;
        }
    }

    HWND parent = nullptr;
};

}  // namespace

TEST(DigiTables, OutlinesHaveOneTypePerPointAndStartWithAFigure)
{
    for (const SegmentOutline* t :
         {&g_Seg7PlainHorizontal, &g_Seg7PlainVertical, &g_Seg7PlainMiddle, &g_Seg7SmoothHorizontal, &g_Seg7SmoothLeft,
          &g_Seg7SmoothRight, &g_Seg7SmoothMiddle, &g_Seg14PlainCentre, &g_Seg14PlainDiagonal, &g_Seg14PlainHalfMiddle,
          &g_Seg14PlainVertical, &g_Seg14PlainHorizontal, &g_Seg14SmoothCentre, &g_Seg14SmoothDiagonal,
          &g_Seg14SmoothHalfMiddle, &g_Seg14SmoothVertical, &g_Seg14SmoothHorizontal, &g_SegDotUpper, &g_SegDotMiddle,
          &g_SegDotLower}) {
        ASSERT_EQ(t->points.size(), t->types.size());
        EXPECT_EQ(t->types.front(), 6);
        EXPECT_NE(t->types.back(), 4);
    }
}

TEST(DigiFit, PointsOfACubicAreReproducedAndTheFitNeverEndsWorseThanItsStart)
{
    // Points on the Bezier (0,0) (10,30) (40,30) (50,0) at u = 0, 1/4, 1/2, 3/4, 1.
    auto at = [](double u) {
        double v = 1 - u;
        return DigiPoint{3 * v * v * u * 10 + 3 * v * u * u * 40 + u * u * u * 50, 3 * v * v * u * 30 + 3 * v * u * u * 30};
    };
    DigiPoint pts[5] = {at(0), at(0.25), at(0.5), at(0.75), at(1)};
    EXPECT_LT(CubicFitError(pts, 5, {10, 30}, {40, 30}), 1e-6);
    DigiPoint c1{}, c2{};
    FitCubicThroughPoints(pts, 5, &c1, &c2);
    const DigiPoint start1{2 * pts[1].x - pts[0].x, 2 * pts[1].y - pts[0].y};
    const DigiPoint start2{2 * pts[3].x - pts[4].x, 2 * pts[3].y - pts[4].y};
    // The search is coarse (two passes of shrinking steps), but it gets most of the way.
    EXPECT_LT(CubicFitError(pts, 5, c1, c2), CubicFitError(pts, 5, start1, start2) / 10);
    EXPECT_NEAR(c1.x, 10, 4);
    EXPECT_NEAR(c2.x, 40, 5);

    // Every curve run of the smooth outlines, at many scales and aspect ratios, ends
    // and no worse than its start.
    int fits = 0;
    for (const SegmentOutline* t : {&g_Seg7SmoothHorizontal, &g_Seg7SmoothLeft, &g_Seg7SmoothRight, &g_Seg14SmoothCentre,
                                    &g_Seg14SmoothDiagonal, &g_Seg14SmoothVertical, &g_Seg14SmoothHorizontal}) {
        for (double sx : {0.13, 0.5, 1.0, 2.7, 9.0})
            for (double sy : {0.07, 0.6, 1.0, 3.3, 11.0}) {
                for (size_t i = 1; i < t->types.size(); ++i) {
                    if (t->types[i] != 4 || t->types[i - 1] == 4)
                        continue;
                    size_t end = i;
                    while (end < t->types.size() && t->types[end] == 4)
                        ++end;
                    std::vector<DigiPoint> run;
                    for (size_t k = i - 1; k <= end; ++k)
                        run.push_back({t->points[k].x * sx + 0.37, t->points[k].y * sy + 0.61});
                    const int m = static_cast<int>(run.size());
                    DigiPoint a{}, b{};
                    FitCubicThroughPoints(run.data(), m, &a, &b);
                    DigiPoint s1{2 * run[1].x - run[0].x, 2 * run[1].y - run[0].y};
                    DigiPoint s2{2 * run[m - 2].x - run[m - 1].x, 2 * run[m - 2].y - run[m - 1].y};
                    EXPECT_LE(CubicFitError(run.data(), m, a, b), CubicFitError(run.data(), m, s1, s2) + 1e-9);
                    ++fits;
                }
            }
    }
    EXPECT_GT(fits, 100);

    // Where the error cannot be measured (a point is not a number) no move counts as better: the
    // fit ends with the coordinates that are numbers where they started.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    DigiPoint bad[4] = {{0, 0}, {nan, 1}, {2, nan}, {3, 0}};
    FitCubicThroughPoints(bad, 4, &c1, &c2);
    EXPECT_EQ(c1.y, 2);
    EXPECT_EQ(c2.x, 1);
}

TEST_F(DigiTest, DigitsLightTheSegmentsOfTheUsualSevenSegmentCodes)
{
    // The common gfedcba codes, with a..g on bits 0, 2, 5, 6, 4, 1, 3 of our masks.
    const BYTE usual[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
    const int to_bit[7] = {0, 2, 5, 6, 4, 1, 3};
    CDigiStatic digi;
    Make(digi, {0, 0, 196, 332});  // 4 pixels per unit, no margin
    digi.ModifyDigiStyle(DigiStyleSoftOff, 0);
    for (int d = 0; d < 10; ++d) {
        digi.SetText(std::string(1, static_cast<char>('0' + d)));
        Pump();
        unsigned expected = 0;
        for (int s = 0; s < 7; ++s)
            if (usual[d] & (1 << s))
                expected |= 1u << to_bit[s];
        ExpectLit(digi, k7Plain, expected, 4, 0, 0, std::to_string(d).c_str());
    }
    EXPECT_EQ(qv::win::ReadPixel(digi, 2, 2), kFace);
}

TEST_F(DigiTest, DotTextIsCentredWithOneScale)
{
    CDigiStatic digi;
    Make(digi, {0, 0, 400, 100});
    digi.SetText("12.5");
    Pump();
    // Three digits and the dot: 3 * 49 + 18 = 165 units; s = 100 / 83; the text starts at
    // (400 - 165 s) / 2 and fills the height.
    const double s = 100.0 / 83, left = (400 - 165 * s) / 2;
    for (int y = 0; y < 100; ++y) {
        EXPECT_EQ(qv::win::ReadPixel(digi, static_cast<int>(left) - 1, y), kFace);
        EXPECT_EQ(qv::win::ReadPixel(digi, static_cast<int>(left + 165 * s) + 1, y), kFace);
    }
    ExpectLit(digi, k7Plain, 0x24, s, left, 0, "1");
    ExpectLit(digi, k7Plain, 0x5D, s, left + 49 * s, 0, "2");
    // The dot's lower square is lit, its upper and middle ones not.
    ExpectLit(digi, kDots, 0x04, s, left + 2 * 49 * s, 0, ".");
    ExpectLit(digi, k7Plain, 0x6B, s, left + (2 * 49 + 18) * s, 0, "5");
}

TEST_F(DigiTest, LettersAndFourteenSegmentDigits)
{
    CDigiStatic digi;
    Make(digi, {0, 0, 300, 100});
    digi.SetText("abc");
    Pump();
    const double s = 100.0 / 83;
    auto at = [&](int units, int chars) { return (300 - chars * 49 * s) / 2 + units * s; };
    ExpectLit(digi, k14Plain, 0x3BC0, s, at(0, 3), 0, "A");
    ExpectLit(digi, k14Plain, 0x3CA1, s, at(49, 3), 0, "B");
    ExpectLit(digi, k14Plain, 0x2700, s, at(98, 3), 0, "C");
    // The stored text is upper-cased, so the same lower-case text counts as a change again.
    RECT update;
    EXPECT_FALSE(GetUpdateRect(digi, &update, FALSE));
    digi.SetText("abc");
    EXPECT_TRUE(GetUpdateRect(digi, &update, FALSE));
    Pump();

    digi.SetText("1x2");  // upper-cased: "X" has a character
    Pump();
    ExpectLit(digi, k7Plain, 0x24, s, at(0, 3), 0, "1 of 1x2");
    ExpectLit(digi, k14Plain, 0x001E, s, at(49, 3), 0, "X");
    ExpectLit(digi, k7Plain, 0x5D, s, at(98, 3), 0, "2 of 1x2");
    digi.SetText("1#2");  // "#" has none and takes no room
    Pump();
    ExpectLit(digi, k7Plain, 0x24, s, at(0, 2), 0, "1 of 1#2");
    ExpectLit(digi, k7Plain, 0x5D, s, at(49, 2), 0, "2 of 1#2");

    EXPECT_TRUE(digi.ModifyDigiStyle(0, DigiStyle14Segment));
    digi.SetText("12");
    Pump();
    ExpectLit(digi, k14Plain, (1 << 11) | (1 << 12), s, at(0, 2), 0, "14-segment 1");

    // Masks that share a bit change nothing, not even the picture.
    EXPECT_FALSE(digi.ModifyDigiStyle(2, 2));
    EXPECT_FALSE(GetUpdateRect(digi, &update, FALSE));
    digi.Invalidate();
    Pump();
    ExpectLit(digi, k14Plain, (1 << 11) | (1 << 12), s, at(0, 2), 0, "still 14-segment");
}

TEST_F(DigiTest, QuestionMarkShowsTheCaption)
{
    CDigiStatic digi;
    Make(digi, {0, 0, 300, 100}, "7:5");
    Pump();
    // 49 + 18 + 49 = 116 units, the colon lighting its upper and middle squares.
    const double s = 100.0 / 83, left = (300 - 116 * s) / 2;
    ExpectLit(digi, k7Plain, 0x25, s, left, 0, "7");
    ExpectLit(digi, kDots, 0x03, s, left + 49 * s, 0, ":");
    ExpectLit(digi, k7Plain, 0x6B, s, left + 67 * s, 0, "5");

    digi.SetText("");
    Pump();
    for (int x = 0; x < 300; x += 7)
        EXPECT_EQ(qv::win::ReadPixel(digi, x, 50), kFace);
}

TEST_F(DigiTest, UnchangedColoursDoNotRepaint)
{
    CDigiStatic digi;
    Make(digi, {0, 0, 98, 83});
    digi.SetText("8");
    Pump();
    RECT update;
    digi.SetColor(kOff, kOn);
    EXPECT_FALSE(GetUpdateRect(digi, &update, FALSE));
    digi.SetColor(RGB(10, 0, 0), RGB(255, 0, 0));
    EXPECT_TRUE(GetUpdateRect(digi, &update, FALSE));
    Pump();
    // One unit per pixel, the character centred in the 98 columns.
    POINT c = Centre(k7Plain[3], 1, (98 - 49) / 2.0);
    EXPECT_EQ(qv::win::ReadPixel(digi, c.x, c.y), RGB(255, 0, 0));
}

TEST_F(DigiTest, SoftOffOutlinesBlendAQuarterOfTheFaceAndMirroredOutlinesLieOnTheirExactPixels)
{
    // One pixel per unit: the outline points are the pixels.
    CDigiStatic digi;
    Make(digi, {0, 0, 49, 83});
    const COLORREF on = RGB(101, 255, 7);
    digi.SetColor(kOff, on);
    digi.SetText("1");
    Pump();
    // Upper right side: the left one, (4,6) (4,40) (11,36) (11,13), mirrored across x = 24.
    // Its outer edge is column 44, its outline three quarters of the fill (truncated) and a
    // quarter of the black face; the fill inside; the face outside.
    const COLORREF onEdge = RGB(75, 191, 5), offEdge = RGB(0, 39, 0);
    EXPECT_EQ(qv::win::ReadPixel(digi, 44, 20), onEdge);
    EXPECT_EQ(qv::win::ReadPixel(digi, 43, 20), on);
    EXPECT_EQ(qv::win::ReadPixel(digi, 45, 20), kFace);
    EXPECT_EQ(qv::win::ReadPixel(digi, 37, 24), onEdge);
    // The lower right side mirrors it through (24, 41): it starts at row 82 - 40 = 42.
    EXPECT_EQ(qv::win::ReadPixel(digi, 44, 40), onEdge);
    EXPECT_EQ(qv::win::ReadPixel(digi, 44, 41), kFace);
    EXPECT_EQ(qv::win::ReadPixel(digi, 44, 42), onEdge);
    EXPECT_EQ(qv::win::ReadPixel(digi, 44, 76), onEdge);
    EXPECT_EQ(qv::win::ReadPixel(digi, 44, 77), kFace);
    // The unlit upper left side, outlined in its own blend.
    EXPECT_EQ(qv::win::ReadPixel(digi, 4, 20), offEdge);
    EXPECT_EQ(qv::win::ReadPixel(digi, 5, 20), kOff);

    // Without the soft look the outlines are the fill colours.
    digi.ModifyDigiStyle(DigiStyleSoftOff, 0);
    Pump();
    EXPECT_EQ(qv::win::ReadPixel(digi, 44, 20), on);
    EXPECT_EQ(qv::win::ReadPixel(digi, 4, 20), kOff);
}

TEST_F(DigiTest, NoOffLeavesTheFaceOrWhenTransparentTheParent)
{
    CDigiStatic digi;
    Make(digi, {0, 0, 196, 332});
    digi.ModifyDigiStyle(0, DigiStyleNoOff);
    digi.SetText("1");
    Pump();
    POINT top = Centre(k7Plain[0], 4), right = Centre(k7Plain[2], 4);
    EXPECT_EQ(qv::win::ReadPixel(digi, top.x, top.y), kFace);
    EXPECT_EQ(qv::win::ReadPixel(digi, right.x, right.y), kOn);

    digi.SetTransparent(TRUE);
    digi.Redraw();
    Pump();
    EXPECT_EQ(qv::win::ReadPixel(digi, top.x, top.y), kBlue);
    EXPECT_EQ(qv::win::ReadPixel(digi, right.x, right.y), kOn);
    // The segments became the window's shape, and setting it settled: nothing left to paint.
    HRGN shape = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(digi, shape), ERROR);
    EXPECT_TRUE(PtInRegion(shape, right.x, right.y));
    EXPECT_FALSE(PtInRegion(shape, top.x, top.y));
    DeleteObject(shape);
    RECT update;
    EXPECT_FALSE(GetUpdateRect(digi, &update, FALSE));
    Pump();
    EXPECT_FALSE(GetUpdateRect(digi, &update, FALSE));
}

TEST_F(DigiTest, SmoothStylePaintsCurvedSegments)
{
    // "X" lights the four diagonals; at scale 8 the upper-left one is drawn unmirrored from (0, 0).
    parent = Top(0, 0, 400, 680, kBlue);
    CDigiStatic digi;
    Make(digi, {0, 0, 392, 664});
    digi.ModifyDigiStyle(DigiStyleSoftOff, DigiStyleSmooth | DigiStyle14Segment);
    digi.SetText("X");
    Pump();
    const SegmentOutline& outline = g_Seg14SmoothDiagonal;
    const double s = 8;
    // Each curve run's edge follows the cubic fitted through its points: at every sample, 2 pixels
    // to one side are lit and 2 pixels to the other are not. Drawn straight through the points
    // the edge would stand 3 pixels or more off the cubic at one of them at least.
    int runs = 0;
    for (size_t i = 1; i < outline.types.size(); ++i) {
        if (outline.types[i] != 4 || outline.types[i - 1] == 4)
            continue;
        size_t end = i;
        while (outline.types[end] == 4)
            ++end;
        std::vector<DigiPoint> run;
        for (size_t k = i - 1; k <= end; ++k)
            run.push_back({outline.points[k].x * s, outline.points[k].y * s});
        DigiPoint c1{}, c2{};
        FitCubicThroughPoints(run.data(), static_cast<int>(run.size()), &c1, &c2);
        const DigiPoint p0 = run.front(), p3 = run.back();
        double farthest = 0;
        for (double t = 0.2; t <= 0.8; t += 0.05) {
            const double u = 1 - t;
            const double x = u * u * u * p0.x + 3 * u * u * t * c1.x + 3 * u * t * t * c2.x + t * t * t * p3.x;
            const double y = u * u * u * p0.y + 3 * u * u * t * c1.y + 3 * u * t * t * c2.y + t * t * t * p3.y;
            const double dx = 3 * u * u * (c1.x - p0.x) + 6 * u * t * (c2.x - c1.x) + 3 * t * t * (p3.x - c2.x);
            const double dy = 3 * u * u * (c1.y - p0.y) + 6 * u * t * (c2.y - c1.y) + 3 * t * t * (p3.y - c2.y);
            const double len = std::hypot(dx, dy), nx = dy / len * 2, ny = -dx / len * 2;
            const bool left = qv::win::ReadPixel(digi, static_cast<int>(x + nx), static_cast<int>(y + ny)) == kOn;
            const bool right = qv::win::ReadPixel(digi, static_cast<int>(x - nx), static_cast<int>(y - ny)) == kOn;
            EXPECT_NE(left, right) << "run " << runs << " t " << t;
            double nearest = 1e9;
            for (size_t k = 0; k + 1 < run.size(); ++k) {
                const double ax = run[k + 1].x - run[k].x, ay = run[k + 1].y - run[k].y;
                const double f = std::clamp(((x - run[k].x) * ax + (y - run[k].y) * ay) / (ax * ax + ay * ay), 0.0, 1.0);
                nearest = std::min(nearest, std::hypot(x - run[k].x - f * ax, y - run[k].y - f * ay));
            }
            farthest = std::max(farthest, nearest);
        }
        EXPECT_GE(farthest, 3) << "run " << runs;
        ++runs;
    }
    EXPECT_EQ(runs, 2);
}
