// Scan conversion of shapes and lines with the Windows pixel rules.

#include <algorithm>
#include <cmath>

#include "platform/gdi/dc.h"

namespace gdi {

Rows ellipse_rows(const RECT& box)
{
    Rows out;
    int w = box.right - box.left, h = box.bottom - box.top;
    if (w <= 0 || h <= 0)
        return out;
    out.top = box.top;
    out.rows.resize(static_cast<size_t>(h));
    double cx = (box.left + box.right) / 2.0, cy = (box.top + box.bottom) / 2.0;
    double a = w / 2.0, b = h / 2.0;
    for (int y = box.top; y < box.bottom; ++y) {
        double dy = (y + 0.5 - cy) / b;
        double half = a * std::sqrt(std::max(0.0, 1.0 - dy * dy)) + 1e-9;
        int x0 = static_cast<int>(std::ceil(cx - half - 0.5));
        int x1 = static_cast<int>(std::floor(cx + half - 0.5)) + 1;
        x0 = std::max(x0, static_cast<int>(box.left));
        x1 = std::min(x1, static_cast<int>(box.right));
        if (x0 < x1)
            out.rows[static_cast<size_t>(y - box.top)].push_back({x0, x1});
    }
    return out;
}

Rows round_rect_rows(const RECT& box, int corner_width, int corner_height)
{
    int w = box.right - box.left, h = box.bottom - box.top;
    Rows out;
    if (w <= 0 || h <= 0)
        return out;
    int cw = std::clamp(corner_width, 0, w), ch = std::clamp(corner_height, 0, h);
    Rows top_corner = ellipse_rows(RECT{box.left, box.top, box.left + cw, box.top + ch});
    Rows bottom_corner = ellipse_rows(RECT{box.left, box.bottom - ch, box.left + cw, box.bottom});
    out.top = box.top;
    out.rows.resize(static_cast<size_t>(h));
    for (int y = box.top; y < box.bottom; ++y) {
        int inset = 0;
        const Rows* corner = nullptr;
        if (cw > 0 && ch > 0 && y < box.top + ch / 2)
            corner = &top_corner;
        else if (cw > 0 && ch > 0 && y >= box.bottom - ch / 2)
            corner = &bottom_corner;
        if (corner) {
            const auto& row = corner->rows[static_cast<size_t>(y - corner->top)];
            inset = row.empty() ? cw / 2 : row.front().x0 - box.left;
        }
        if (box.left + inset < box.right - inset)
            out.rows[static_cast<size_t>(y - box.top)].push_back({box.left + inset, box.right - inset});
    }
    return out;
}

Rows polygon_rows(const std::vector<std::vector<PointF>>& polygons, int fill_mode, const RECT* limit)
{
    Rows out;
    double ymin = 1e18, ymax = -1e18;
    for (const auto& poly : polygons)
        for (const PointF& p : poly) {
            ymin = std::min(ymin, p.y);
            ymax = std::max(ymax, p.y);
        }
    if (ymin > ymax)
        return out;
    // Pixels sample at their integer coordinates; an edge owns the pixels to its left and above,
    // so shapes sharing an edge neither overlap nor leave a gap.
    double top_d = std::ceil(ymin), bottom_d = std::ceil(ymax);
    if (limit) {
        top_d = std::max<double>(top_d, limit->top);
        bottom_d = std::min<double>(bottom_d, limit->bottom);
    }
    if (top_d >= bottom_d || bottom_d - top_d > (1 << 24))
        return out;
    int top = static_cast<int>(top_d), bottom = static_cast<int>(bottom_d);
    out.top = top;
    out.rows.resize(static_cast<size_t>(std::max(0, bottom - top)));
    struct Crossing {
        double x;
        int dir;
    };
    std::vector<Crossing> xs;
    for (int y = top; y < bottom; ++y) {
        xs.clear();
        for (const auto& poly : polygons) {
            size_t n = poly.size();
            for (size_t i = 0; i < n; ++i) {
                PointF p = poly[i], q = poly[(i + 1) % n];
                if (p.y == q.y)
                    continue;
                int dir = q.y > p.y ? 1 : -1;
                if (dir < 0)
                    std::swap(p, q);
                if (y < p.y || y >= q.y)
                    continue;
                xs.push_back({p.x + (y - p.y) * (q.x - p.x) / (q.y - p.y), dir});
            }
        }
        std::sort(xs.begin(), xs.end(), [](const Crossing& a, const Crossing& b) { return a.x < b.x; });
        auto& row = out.rows[static_cast<size_t>(y - top)];
        int winding = 0;
        for (size_t i = 0; i + 1 < xs.size(); ++i) {
            winding += xs[i].dir;
            bool inside = fill_mode == WINDING ? winding != 0 : (i % 2) == 0;
            if (!inside)
                continue;
            int x0 = static_cast<int>(std::ceil(xs[i].x)), x1 = static_cast<int>(std::ceil(xs[i + 1].x));
            if (x0 < x1)
                row.push_back({x0, x1});
        }
        std::sort(row.begin(), row.end(), [](const Span& a, const Span& b) { return a.x0 < b.x0; });
        std::vector<Span> merged;
        for (const Span& s : row) {
            if (!merged.empty() && s.x0 <= merged.back().x1)
                merged.back().x1 = std::max(merged.back().x1, s.x1);
            else
                merged.push_back(s);
        }
        row = std::move(merged);
    }
    return out;
}

namespace {

bool row_has(const Rows& shape, int y, int x)
{
    if (y < shape.top || y >= shape.top + static_cast<int>(shape.rows.size()))
        return false;
    for (const Span& s : shape.rows[static_cast<size_t>(y - shape.top)])
        if (x >= s.x0 && x < s.x1)
            return true;
    return false;
}

void add_pixel(std::vector<Span>& row, int x)
{
    if (!row.empty() && row.back().x1 == x)
        row.back().x1 = x + 1;
    else
        row.push_back({x, x + 1});
}

}  // namespace

void split_outline(const Rows& shape, Rows& outline, Rows& interior)
{
    outline.top = interior.top = shape.top;
    outline.rows.assign(shape.rows.size(), {});
    interior.rows.assign(shape.rows.size(), {});
    for (size_t i = 0; i < shape.rows.size(); ++i) {
        int y = shape.top + static_cast<int>(i);
        for (const Span& s : shape.rows[i])
            for (int x = s.x0; x < s.x1; ++x) {
                bool edge = x == s.x0 || x == s.x1 - 1 || !row_has(shape, y - 1, x) || !row_has(shape, y + 1, x);
                add_pixel(edge ? outline.rows[i] : interior.rows[i], x);
            }
    }
}

void fill_rows(DeviceContext& dc, const Rows& rows, uint32_t pixel)
{
    for (size_t i = 0; i < rows.rows.size(); ++i)
        for (const Span& s : rows.rows[i])
            dc.span(rows.top + static_cast<int>(i), s.x0, s.x1, pixel);
}

void draw_line(DeviceContext& dc, POINT a, POINT b, const LOGPEN& pen)
{
    if (pen.lopnStyle == PS_NULL)
        return;
    uint32_t pixel = dc.pixel_for(pen.lopnColor);
    int width = pen.lopnWidth.x;
    if (dc.scaled())
        width = static_cast<int>(std::lround(width * std::fabs(dc.scale_x())));
    // Cosmetic dash patterns (on, off, ...) in pixels.
    static const int dash[] = {18, 6}, dot[] = {3, 3}, dashdot[] = {9, 6, 3, 6}, dashdotdot[] = {9, 3, 3, 3, 3, 3};
    const int* pattern = nullptr;
    int pattern_len = 0;
    if (width <= 1) {
        switch (pen.lopnStyle) {
        case PS_DASH: pattern = dash; pattern_len = 2; break;
        case PS_DOT: pattern = dot; pattern_len = 2; break;
        case PS_DASHDOT: pattern = dashdot; pattern_len = 4; break;
        case PS_DASHDOTDOT: pattern = dashdotdot; pattern_len = 6; break;
        default: break;
        }
    }
    int period = 0;
    for (int i = 0; i < pattern_len; ++i)
        period += pattern[i];
    auto drawn = [&](int step) {
        if (!pattern)
            return true;
        int pos = step % period;
        for (int i = 0; i < pattern_len; ++i) {
            if (pos < pattern[i])
                return i % 2 == 0;
            pos -= pattern[i];
        }
        return true;
    };
    Rows stamp;
    if (width > 1)
        stamp = ellipse_rows(RECT{-width / 2, -width / 2, width - width / 2, width - width / 2});
    auto put = [&](int x, int y) {
        if (width <= 1) {
            dc.plot(x, y, pixel);
            return;
        }
        for (size_t i = 0; i < stamp.rows.size(); ++i)
            for (const Span& s : stamp.rows[i])
                dc.span(y + stamp.top + static_cast<int>(i), x + s.x0, x + s.x1, pixel);
    };
    // Nothing to do for a line wholly outside the clip box (and far-away ends cost no time).
    RECT bounds = dc.clip_bounds();
    int reach = std::max(width, 1);
    if (std::max(a.x, b.x) + reach < bounds.left || std::min(a.x, b.x) - reach >= bounds.right ||
        std::max(a.y, b.y) + reach < bounds.top || std::min(a.y, b.y) - reach >= bounds.bottom)
        return;
    int dx = std::abs(b.x - a.x), dy = std::abs(b.y - a.y);
    int sx = b.x > a.x ? 1 : -1, sy = b.y > a.y ? 1 : -1;
    int x = a.x, y = a.y;
    if (dx >= dy) {
        int err = 2 * dy - dx;
        for (int i = 0; i < dx; ++i) {
            if (drawn(i))
                put(x, y);
            if (err > 0) {
                y += sy;
                err -= 2 * dx;
            }
            err += 2 * dy;
            x += sx;
        }
    } else {
        int err = 2 * dx - dy;
        for (int i = 0; i < dy; ++i) {
            if (drawn(i))
                put(x, y);
            if (err > 0) {
                x += sx;
                err -= 2 * dy;
            }
            err += 2 * dx;
            y += sy;
        }
    }
    // Wide pens have round ends that cover the end point.
    if (width > 1)
        put(b.x, b.y);
}

}  // namespace gdi
