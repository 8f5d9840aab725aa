// Paths: figures of lines and flattened Bezier curves, stroked, filled or turned into regions.

#include <cmath>

#include "platform/gdi/dc.h"
#include "platform/gdi/gdi.h"

using namespace gdi;

namespace {

// Flattens a cubic Bezier by halving until each piece is within a quarter pixel of a line.
void flatten(PointF p0, PointF p1, PointF p2, PointF p3, int depth, std::vector<PointF>& out)
{
    auto dist = [&](PointF p) {
        double dx = p3.x - p0.x, dy = p3.y - p0.y, len = std::hypot(dx, dy);
        if (len < 1e-9)
            return std::hypot(p.x - p0.x, p.y - p0.y);
        return std::fabs((p.x - p0.x) * dy - (p.y - p0.y) * dx) / len;
    };
    if (depth >= 16 || std::max(dist(p1), dist(p2)) <= 0.25) {
        out.push_back(p3);
        return;
    }
    auto mid = [](PointF a, PointF b) { return PointF{(a.x + b.x) / 2, (a.y + b.y) / 2}; };
    PointF a = mid(p0, p1), b = mid(p1, p2), c = mid(p2, p3), ab = mid(a, b), bc = mid(b, c), m = mid(ab, bc);
    flatten(p0, a, ab, m, depth + 1, out);
    flatten(m, bc, c, p3, depth + 1, out);
}

std::vector<std::vector<PointF>> polygons_of(const Path& path)
{
    std::vector<std::vector<PointF>> out;
    for (const auto& fig : path.figures) {
        if (fig.points.size() < 2)
            continue;
        out.emplace_back();
        for (const POINT& p : fig.points)
            out.back().push_back({double(p.x), double(p.y)});
    }
    return out;
}

void stroke(DeviceContext& dc, const Path& path, bool close_all)
{
    const LOGPEN& pen = as_pen(dc.state().pen)->logpen;
    for (const auto& fig : path.figures) {
        const auto& pts = fig.points;
        for (size_t i = 0; i + 1 < pts.size(); ++i)
            draw_line(dc, pts[i], pts[i + 1], pen);
        if ((fig.closed || close_all) && pts.size() > 2)
            draw_line(dc, pts.back(), pts.front(), pen);
        else if (!pts.empty() && pen.lopnWidth.x <= 1 && pen.lopnStyle != PS_NULL)
            dc.plot(pts.back().x, pts.back().y, dc.pixel_for(pen.lopnColor));  // an open figure ends on its last point
    }
}

void fill(DeviceContext& dc, const Path& path)
{
    uint32_t pixel;
    RECT limit = dc.clip_bounds();
    if (brush_pixel(dc, dc.state().brush, &pixel))
        fill_rows(dc, polygon_rows(polygons_of(path), dc.state().poly_fill_mode, &limit), pixel);
}

// The finished path, or null when there is none; the path is used up by the caller.
DeviceContext* finished(HDC hdc)
{
    if (!hdc || as_dc(hdc)->path_state != PathState::Closed)
        return nullptr;
    return as_dc(hdc);
}

void discard(DeviceContext& dc)
{
    dc.path.figures.clear();
    dc.path_state = PathState::None;
}

}  // namespace

BOOL BeginPath(HDC hdc)
{
    if (!hdc)
        return FALSE;
    DeviceContext& dc = *as_dc(hdc);
    dc.path.figures.clear();
    dc.path_state = PathState::Open;
    return TRUE;
}

BOOL EndPath(HDC hdc)
{
    if (!hdc || as_dc(hdc)->path_state != PathState::Open)
        return FALSE;
    as_dc(hdc)->path_state = PathState::Closed;
    return TRUE;
}

BOOL AbortPath(HDC hdc)
{
    if (!hdc)
        return FALSE;
    discard(*as_dc(hdc));
    return TRUE;
}

BOOL CloseFigure(HDC hdc)
{
    if (!hdc || as_dc(hdc)->path_state != PathState::Open || as_dc(hdc)->path.figures.empty())
        return FALSE;
    DeviceContext& dc = *as_dc(hdc);
    dc.path.figures.back().closed = true;
    // Drawing after a closed figure starts a new one at the current position.
    dc.path.figures.push_back({{dc.to_device(dc.state().position)}, false});
    return TRUE;
}

BOOL PolyBezierTo(HDC hdc, const POINT* points, DWORD count)
{
    if (!hdc || !points || count % 3 != 0)
        return FALSE;
    DeviceContext& dc = *as_dc(hdc);
    POINT start = dc.to_device(dc.state().position);
    std::vector<PointF> flat;
    PointF p0{double(start.x), double(start.y)};
    for (DWORD i = 0; i < count; i += 3) {
        POINT a = dc.to_device(points[i]), b = dc.to_device(points[i + 1]), c = dc.to_device(points[i + 2]);
        PointF p1{double(a.x), double(a.y)}, p2{double(b.x), double(b.y)}, p3{double(c.x), double(c.y)};
        flatten(p0, p1, p2, p3, 0, flat);
        p0 = p3;
    }
    dc.state().position = points[count - 1];
    std::vector<POINT> pts;
    for (const PointF& p : flat) {
        POINT q{static_cast<LONG>(std::lround(p.x)), static_cast<LONG>(std::lround(p.y))};
        if (pts.empty() || pts.back().x != q.x || pts.back().y != q.y)
            pts.push_back(q);
    }
    if (dc.path_state == PathState::Open) {
        if (dc.path.figures.empty())
            dc.path.figures.push_back({{start}, false});
        auto& fig = dc.path.figures.back().points;
        fig.insert(fig.end(), pts.begin(), pts.end());
        return TRUE;
    }
    const LOGPEN& pen = as_pen(dc.state().pen)->logpen;
    POINT from = start;
    for (const POINT& p : pts) {
        draw_line(dc, from, p, pen);
        from = p;
    }
    return TRUE;
}

BOOL StrokePath(HDC hdc)
{
    DeviceContext* dc = finished(hdc);
    if (!dc)
        return FALSE;
    stroke(*dc, dc->path, false);
    discard(*dc);
    return TRUE;
}

BOOL FillPath(HDC hdc)
{
    DeviceContext* dc = finished(hdc);
    if (!dc)
        return FALSE;
    fill(*dc, dc->path);
    discard(*dc);
    return TRUE;
}

BOOL StrokeAndFillPath(HDC hdc)
{
    DeviceContext* dc = finished(hdc);
    if (!dc)
        return FALSE;
    fill(*dc, dc->path);
    stroke(*dc, dc->path, true);
    discard(*dc);
    return TRUE;
}

HRGN PathToRegion(HDC hdc)
{
    DeviceContext* dc = finished(hdc);
    if (!dc)
        return nullptr;
    Rows rows = polygon_rows(polygons_of(dc->path), dc->state().poly_fill_mode);
    discard(*dc);
    auto* r = new RegionObject();
    r->region = Region::from_rows(rows.top, rows.rows);
    return r;
}
