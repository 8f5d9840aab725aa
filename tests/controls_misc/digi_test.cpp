#include <chrono>
#include <cmath>
#include <limits>
#include <string>

#include "controls/DigiStatic.h"
#include "tests/platform_win/fixture.h"

namespace {

struct ProbeDigi : CDigiStatic {
    using CDigiStatic::m_BackColor;
};

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

    // Centre of a segment's outline in the client area of a control drawing one character at
    // scale `s` from (ox, oy).
    static POINT Centre(const CDSegment& seg, double s, double ox = 0, double oy = 0)
    {
        double x = 0, y = 0;
        for (const POINT& p : seg.m_paPoints)
            x += p.x, y += p.y;
        x /= seg.m_paPoints.size(), y /= seg.m_paPoints.size();
        return {static_cast<LONG>(ox + x * s), static_cast<LONG>(oy + y * s)};
    }

    HWND parent = nullptr;
};

const COLORREF kOn = RGB(0, 255, 0), kOff = RGB(0, 52, 0), kFace = RGB(0, 0, 0);

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

    // Every curve run of the smooth outlines, at many scales and aspect ratios, ends promptly
    // and no worse than its start.
    const auto begin = std::chrono::steady_clock::now();
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
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(20));

    // Degenerate input (not a number) ends too.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    DigiPoint bad[4] = {{0, 0}, {nan, 1}, {2, nan}, {3, 0}};
    FitCubicThroughPoints(bad, 4, &c1, &c2);
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
        ASSERT_EQ(digi.Characters().size(), 1u);
        const CDigiChar& ch = digi.Characters()[0];
        WORD expected = 0;
        for (int s = 0; s < 7; ++s)
            if (usual[d] & (1 << s))
                expected |= static_cast<WORD>(1 << to_bit[s]);
        EXPECT_EQ(ch.GetMask(), expected) << d;
        ASSERT_EQ(ch.Segments().size(), 7u);
        for (int s = 0; s < 7; ++s) {
            POINT c = Centre(ch.Segments()[s], 4);
            EXPECT_EQ(qv::win::ReadPixel(digi, c.x, c.y), (expected >> s) & 1 ? kOn : kOff) << d << " segment " << s;
        }
    }
    EXPECT_EQ(qv::win::ReadPixel(digi, 2, 2), kFace);
}

TEST_F(DigiTest, DotTextIsCentredWithOneScale)
{
    CDigiStatic digi;
    Make(digi, {0, 0, 400, 100});
    digi.SetText("12.5");
    Pump();
    ASSERT_EQ(digi.Characters().size(), 4u);
    int total = 0;
    for (const CDigiChar& ch : digi.Characters())
        total += ch.GetWidth();
    EXPECT_EQ(total, 3 * 49 + 18);
    EXPECT_EQ(digi.Characters()[2].GetMask(), 0x04);

    // s = 100 / 83; the text starts at (400 - 165 s) / 2 and fills the height.
    const double s = 100.0 / 83, left = (400 - 165 * s) / 2;
    for (int y = 0; y < 100; ++y) {
        EXPECT_EQ(qv::win::ReadPixel(digi, static_cast<int>(left) - 1, y), kFace);
        EXPECT_EQ(qv::win::ReadPixel(digi, static_cast<int>(left + 165 * s) + 1, y), kFace);
    }
    // The dot's lower square is lit, its upper one not.
    const CDigiChar& dot = digi.Characters()[2];
    const double dot_left = left + 2 * 49 * s;
    EXPECT_EQ(qv::win::ReadPixel(digi, Centre(dot.Segments()[2], s, dot_left).x, Centre(dot.Segments()[2], s).y), kOn);
    EXPECT_EQ(qv::win::ReadPixel(digi, Centre(dot.Segments()[0], s, dot_left).x, Centre(dot.Segments()[0], s).y), kOff);
}

TEST_F(DigiTest, LettersAndFourteenSegmentDigits)
{
    CDigiStatic digi;
    Make(digi, {0, 0, 300, 100});
    digi.SetText("abc");
    Pump();
    ASSERT_EQ(digi.Characters().size(), 3u);
    EXPECT_EQ(digi.Characters()[0].GetMask(), 0x3BC0);
    EXPECT_EQ(digi.Characters()[1].GetMask(), 0x3CA1);
    EXPECT_EQ(digi.Characters()[2].GetMask(), 0x2700);
    EXPECT_EQ(digi.Characters()[0].GetSegmentCount(), 14);
    // The stored text is upper-cased, so the same lower-case text counts as a change again.
    digi.SetText("abc");
    Pump();

    digi.SetText("1x2");  // upper-cased, "X" has a character
    Pump();
    EXPECT_EQ(digi.Characters().size(), 3u);
    digi.SetText("1#2");  // "#" has none and takes no room
    Pump();
    EXPECT_EQ(digi.Characters().size(), 2u);

    EXPECT_TRUE(digi.ModifyDigiStyle(0, DigiStyle14Segment));
    digi.SetText("12");
    Pump();
    ASSERT_EQ(digi.Characters().size(), 2u);
    EXPECT_EQ(digi.Characters()[0].GetMask(), (1 << 11) | (1 << 12));
    EXPECT_EQ(digi.Characters()[0].GetSegmentCount(), 14);

    const DWORD style = digi.GetDigiStyle();
    EXPECT_FALSE(digi.ModifyDigiStyle(2, 2));
    EXPECT_EQ(digi.GetDigiStyle(), style);
}

TEST_F(DigiTest, QuestionMarkShowsTheCaption)
{
    CDigiStatic digi;
    Make(digi, {0, 0, 300, 100}, "7:5");
    Pump();
    ASSERT_EQ(digi.Characters().size(), 3u);
    EXPECT_EQ(digi.Characters()[1].GetWidth(), 18);
    EXPECT_EQ(digi.Characters()[1].GetMask(), 0x03);

    digi.SetText("");
    Pump();
    EXPECT_TRUE(digi.Characters().empty());
    EXPECT_EQ(qv::win::ReadPixel(digi, 150, 50), kFace);
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
    POINT c = Centre(digi.Characters()[0].Segments()[3], 1, (98 - 49) / 2.0);
    EXPECT_EQ(qv::win::ReadPixel(digi, c.x, c.y), RGB(255, 0, 0));
}

TEST_F(DigiTest, NoOffLeavesTheFaceOrWhenTransparentTheParent)
{
    CDigiStatic digi;
    Make(digi, {0, 0, 196, 332});
    digi.ModifyDigiStyle(0, DigiStyleNoOff);
    digi.SetText("1");
    Pump();
    const CDigiChar& one = digi.Characters()[0];
    POINT top = Centre(one.Segments()[0], 4), right = Centre(one.Segments()[2], 4);
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
    CDigiStatic digi;
    Make(digi, {0, 0, 196, 332});
    digi.ModifyDigiStyle(DigiStyleSoftOff, DigiStyleSmooth | DigiStyle14Segment);
    digi.SetText("8");
    Pump();
    const CDigiChar& eight = digi.Characters()[0];
    for (int s : {6, 7, 8, 12}) {
        POINT c = Centre(eight.Segments()[s], 4);
        EXPECT_EQ(qv::win::ReadPixel(digi, c.x, c.y), kOn) << s;
    }
    for (int s : {0, 5}) {
        POINT c = Centre(eight.Segments()[s], 4);
        EXPECT_EQ(qv::win::ReadPixel(digi, c.x, c.y), kOff) << s;
    }
}
