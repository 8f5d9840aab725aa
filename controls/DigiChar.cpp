#include "controls/DigiChar.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int kDesignHeight = 83;
constexpr BYTE kStart = 6, kLine = 2, kCurve = 4;

// The secant search and the pattern search have no natural bound on some inputs; these caps
// stop a wandering search long after a converging one has ended.
constexpr int kMaxSecantSteps = 50;
constexpr int kMaxPatternSteps = 200;

struct Cubic {
    DigiPoint a0, a1, a2, a3;

    DigiPoint At(double t) const
    {
        return {a0.x + t * (a1.x + t * (a2.x + t * a3.x)), a0.y + t * (a1.y + t * (a2.y + t * a3.y))};
    }
    DigiPoint Slope(double t) const
    {
        return {a1.x + t * (2 * a2.x + t * 3 * a3.x), a1.y + t * (2 * a2.y + t * 3 * a3.y)};
    }
};

// Power form over t in [-1, 1] of the Bezier from p0 over c1, c2 to pe.
Cubic PowerForm(DigiPoint p0, DigiPoint c1, DigiPoint c2, DigiPoint pe)
{
    Cubic c{};
    c.a3 = {(3 * (c1.x - c2.x) + (pe.x - p0.x)) / 8, (3 * (c1.y - c2.y) + (pe.y - p0.y)) / 8};
    c.a2 = {3 * (pe.x + p0.x - c1.x - c2.x) / 8, 3 * (pe.y + p0.y - c1.y - c2.y) / 8};
    c.a1 = {(pe.x - p0.x) / 2 - c.a3.x, (pe.y - p0.y) / 2 - c.a3.y};
    c.a0 = {(pe.x + p0.x) / 2 - c.a2.x, (pe.y + p0.y) / 2 - c.a2.y};
    return c;
}

double Dist2(const Cubic& c, double t, DigiPoint q)
{
    DigiPoint p = c.At(t);
    return (p.x - q.x) * (p.x - q.x) + (p.y - q.y) * (p.y - q.y);
}

// Derivative of the squared distance along t.
double Dist2Slope(const Cubic& c, double t, DigiPoint q)
{
    DigiPoint p = c.At(t), d = c.Slope(t);
    return 2 * ((p.x - q.x) * d.x + (p.y - q.y) * d.y);
}

double NearestDist2(const Cubic& c, DigiPoint q, int m)
{
    const double step = 1.0 / m;
    double best_t = -1, best = Dist2(c, -1, q);
    for (double t = -1; t <= 1.01; t += step) {
        double d = Dist2(c, t, q);
        if (d < best) {
            best = d;
            best_t = t;
        }
        if (d == 0)
            return 0;
    }
    if (best == 0)
        return 0;
    double t0 = best_t, t1 = best_t + step;
    if (t1 > 1)
        t1 = best_t - step;
    double s0 = Dist2Slope(c, t0, q), s1 = Dist2Slope(c, t1, q);
    double last = best, smallest = best;
    for (int i = 0; i < kMaxSecantSteps; ++i) {
        double t2 = s1 == s0 ? (t0 + t1) / 2 : t1 - s1 * (t1 - t0) / (s1 - s0);
        if (!std::isfinite(t2))
            t2 = (t0 + t1) / 2;
        t2 = std::fmax(-1.0, std::fmin(1.0, t2));
        double d2 = Dist2(c, t2, q), s2 = Dist2Slope(c, t2, q);
        last = d2;
        if (d2 < smallest)
            smallest = d2;
        if (s2 == 0 || d2 == 0 || std::fabs(t2 - t1) < 0.001)
            return last;
        t0 = t1, s0 = s1;
        t1 = t2, s1 = s2;
    }
    return smallest;
}

// Orders errors with anything not finite as the worst.
bool Better(double candidate, double current)
{
    if (!std::isfinite(candidate))
        return false;
    return !std::isfinite(current) || candidate < current;
}

POINT Round(DigiPoint p) { return {static_cast<LONG>(p.x + 0.5), static_cast<LONG>(p.y + 0.5)}; }

}  // namespace

double CubicFitError(const DigiPoint* points, int m, DigiPoint c1, DigiPoint c2)
{
    const Cubic c = PowerForm(points[0], c1, c2, points[m - 1]);
    double sum = 0;
    for (int i = 1; i < m - 1; ++i)
        sum += NearestDist2(c, points[i], m);
    return sum;
}

void FitCubicThroughPoints(const DigiPoint* points, int m, DigiPoint* c1, DigiPoint* c2)
{
    const DigiPoint p0 = points[0], pe = points[m - 1];
    *c1 = {2 * points[1].x - p0.x, 2 * points[1].y - p0.y};
    *c2 = {2 * points[m - 2].x - pe.x, 2 * points[m - 2].y - pe.y};
    double error = CubicFitError(points, m, *c1, *c2);
    for (int pass = 0; pass < 2; ++pass) {
        double* coords[4] = {&c1->x, &c1->y, &c2->x, &c2->y};
        const double anchors[4] = {p0.x, p0.y, pe.x, pe.y};
        for (int k = 0; k < 4; ++k) {
            double& c = *coords[k];
            double f = 0.5;
            for (int step = 0; std::fabs(f) >= 0.01 && step < kMaxPatternSteps; ++step) {
                const double old = c;
                c = c + (c - anchors[k]) * f;
                const double e = CubicFitError(points, m, *c1, *c2);
                if (e == error)
                    break;
                if (Better(e, error)) {
                    error = e;
                } else {
                    c = old;
                    f = f / -3;
                }
            }
        }
    }
}

CDSegment::CDSegment(const SegmentOutline& outline, Mirror mirror)
    : m_paPoints(outline.points), m_paTypes(outline.types), m_nCount(static_cast<int>(outline.points.size()))
{
    for (POINT& p : m_paPoints) {
        if (mirror & AcrossX)
            p.x = 48 - p.x;  // across x = 24
        if (mirror & AcrossY)
            p.y = 82 - p.y;  // across y = 41
    }
}

void CDSegment::Draw(CDC* dc, const DigiRect& rect, int char_width) const
{
    const int n = std::min<int>(m_nCount, static_cast<int>(std::min(m_paPoints.size(), m_paTypes.size())));
    if (n <= 0 || char_width <= 0)
        return;
    const double sx = (rect.right - rect.left) / char_width, sy = (rect.bottom - rect.top) / kDesignHeight;
    std::vector<DigiPoint> scaled(n);
    std::vector<POINT> device(n);
    for (int i = 0; i < n; ++i) {
        scaled[i] = {m_paPoints[i].x * sx + rect.left, m_paPoints[i].y * sy + rect.top};
        device[i] = Round(scaled[i]);
    }
    int i = 0;
    while (i < n) {
        const BYTE type = m_paTypes[i];
        if (type == kCurve) {
            int end = i;
            while (end < n && m_paTypes[end] == kCurve)
                ++end;
            if (i == 0 || end >= n) {
                // A run without a point on both sides has nothing to bend between.
                for (; i < end; ++i)
                    dc->LineTo(device[i]);
                continue;
            }
            DigiPoint c1{}, c2{};
            FitCubicThroughPoints(&scaled[i - 1], end - i + 2, &c1, &c2);
            POINT bezier[3] = {Round(c1), Round(c2), device[end]};
            dc->PolyBezierTo(bezier, 3);
            i = end + 1;
        } else {
            if (type == kStart)
                dc->MoveTo(device[i]);
            else
                dc->LineTo(device[i]);
            ++i;
        }
    }
}

void CDigiChar::SetElementData(WORD mask, int style)
{
    m_wSegmData = mask;
    m_bNoOff = (style & DigiStyleNoOff) != 0;
}

void CDigiChar::Draw(CDC* dc, const DigiRect& rect, CBrush* off_brush, CBrush* on_brush, CPen* off_pen, CPen* on_pen,
                     CRgn* region) const
{
    for (int i = 0; i < static_cast<int>(m_SegmentArray.size()); ++i) {
        const bool lit = (m_wSegmData >> i) & 1;
        if (!lit && m_bNoOff)
            continue;
        dc->SelectObject(lit ? on_pen : off_pen);
        dc->SelectObject(lit ? on_brush : off_brush);
        dc->BeginPath();
        m_SegmentArray[i].Draw(dc, rect, m_Width);
        dc->EndPath();
        dc->StrokeAndFillPath();
        if (region) {
            // The fill consumed the path: trace it again for the outline.
            dc->BeginPath();
            m_SegmentArray[i].Draw(dc, rect, m_Width);
            dc->EndPath();
            HRGN outline = ::PathToRegion(dc->m_hDC);
            if (!outline)
                continue;
            if (!region->m_hObject) {
                region->Attach(outline);
            } else {
                ::CombineRgn(*region, *region, outline, RGN_OR);
                ::DeleteObject(outline);
            }
        }
    }
}

CDigi7Segment::CDigi7Segment()
{
    m_Width = 49;
    m_NSegments = 7;
}

void CDigi7Segment::SetElementData(WORD mask, int style)
{
    CDigiChar::SetElementData(mask, style);
    m_SegmentArray.clear();
    using M = CDSegment::Mirror;
    if (style & DigiStyleSmooth) {
        m_SegmentArray = {{g_Seg7SmoothHorizontal, M::None}, {g_Seg7SmoothLeft, M::None},
                          {g_Seg7SmoothRight, M::None},      {g_Seg7SmoothMiddle, M::None},
                          {g_Seg7SmoothLeft, M::AcrossY},    {g_Seg7SmoothRight, M::AcrossY},
                          {g_Seg7SmoothHorizontal, M::AcrossY}};
    } else {
        m_SegmentArray = {{g_Seg7PlainHorizontal, M::None}, {g_Seg7PlainVertical, M::None},
                          {g_Seg7PlainVertical, M::AcrossX}, {g_Seg7PlainMiddle, M::None},
                          {g_Seg7PlainVertical, M::AcrossY}, {g_Seg7PlainVertical, M::Both},
                          {g_Seg7PlainHorizontal, M::AcrossY}};
    }
}

CDigi14Segment::CDigi14Segment()
{
    m_Width = 49;
    m_NSegments = 14;
}

void CDigi14Segment::SetElementData(WORD mask, int style)
{
    CDigiChar::SetElementData(mask, style);
    const bool smooth = style & DigiStyleSmooth;
    const SegmentOutline& centre = smooth ? g_Seg14SmoothCentre : g_Seg14PlainCentre;
    const SegmentOutline& diagonal = smooth ? g_Seg14SmoothDiagonal : g_Seg14PlainDiagonal;
    const SegmentOutline& half = smooth ? g_Seg14SmoothHalfMiddle : g_Seg14PlainHalfMiddle;
    const SegmentOutline& vertical = smooth ? g_Seg14SmoothVertical : g_Seg14PlainVertical;
    const SegmentOutline& horizontal = smooth ? g_Seg14SmoothHorizontal : g_Seg14PlainHorizontal;
    using M = CDSegment::Mirror;
    m_SegmentArray = {{centre, M::None},       {diagonal, M::None},     {diagonal, M::AcrossX},
                      {diagonal, M::AcrossY},  {diagonal, M::Both},     {centre, M::AcrossY},
                      {half, M::None},         {half, M::AcrossX},      {vertical, M::None},
                      {vertical, M::AcrossY},  {horizontal, M::AcrossY}, {vertical, M::Both},
                      {vertical, M::AcrossX},  {horizontal, M::None}};
}

CDigiColonDotChar::CDigiColonDotChar()
{
    m_Width = 18;
    m_NSegments = 3;
}

void CDigiColonDotChar::SetElementData(WORD mask, int style)
{
    CDigiChar::SetElementData(mask, style);
    m_SegmentArray = {{g_SegDotUpper, CDSegment::None}, {g_SegDotMiddle, CDSegment::None}, {g_SegDotLower, CDSegment::None}};
}
