// Fills, frames, 3-D edges, focus rectangles, pixels, lines and shapes.

#include <algorithm>
#include <cmath>

#include "platform/gdi/dc.h"
#include "platform/gdi/gdi.h"

namespace gdi {

bool brush_pixel(DeviceContext& dc, HBRUSH brush, uint32_t* pixel)
{
    auto value = reinterpret_cast<uintptr_t>(brush);
    if (value > 0 && value <= COLOR_MENUBAR + 1) {
        *pixel = dc.pixel_for(GetSysColor(static_cast<int>(value - 1)));
        return true;
    }
    BrushObject* b = as_brush(brush);
    if (!b || b->hollow())
        return false;
    *pixel = dc.pixel_for(b->logbrush.lbColor);
    return true;
}

}  // namespace gdi

using namespace gdi;

namespace {

RECT normalized(RECT r)
{
    if (r.left > r.right)
        std::swap(r.left, r.right);
    if (r.top > r.bottom)
        std::swap(r.top, r.bottom);
    return r;
}

const LOGPEN& current_pen(DeviceContext& dc)
{
    return as_pen(dc.state().pen)->logpen;
}

bool pen_visible(DeviceContext& dc)
{
    return current_pen(dc).lopnStyle != PS_NULL;
}

// Fills the interior with the brush and draws the outline with the pen, as the shape calls do.
void paint_shape(DeviceContext& dc, const Rows& with_pen, const Rows& without_pen)
{
    uint32_t fill = 0;
    bool has_fill = brush_pixel(dc, dc.state().brush, &fill);
    if (!pen_visible(dc)) {
        if (has_fill)
            fill_rows(dc, without_pen, fill);
        return;
    }
    Rows outline, interior;
    split_outline(with_pen, outline, interior);
    if (has_fill)
        fill_rows(dc, interior, fill);
    fill_rows(dc, outline, dc.pixel_for(current_pen(dc).lopnColor));
}

void frame_ring(DeviceContext& dc, const RECT& r, UINT flags, COLORREF top_left, COLORREF bottom_right)
{
    uint32_t tl = dc.pixel_for(top_left), br = dc.pixel_for(bottom_right);
    if (flags & BF_LEFT)
        dc.fill_rect({r.left, r.top, r.left + 1, r.bottom - 1}, tl);
    if (flags & BF_TOP)
        dc.fill_rect({r.left, r.top, r.right - 1, r.top + 1}, tl);
    if (flags & BF_BOTTOM)
        dc.fill_rect({r.left, r.bottom - 1, r.right, r.bottom}, br);
    if (flags & BF_RIGHT)
        dc.fill_rect({r.right - 1, r.top, r.right, r.bottom}, br);
}

void deflate(RECT& r, UINT flags)
{
    if (flags & BF_LEFT) ++r.left;
    if (flags & BF_TOP) ++r.top;
    if (flags & BF_RIGHT) --r.right;
    if (flags & BF_BOTTOM) --r.bottom;
}

}  // namespace

int FillRect(HDC hdc, const RECT* rect, HBRUSH brush)
{
    if (!hdc || !rect)
        return 0;
    DeviceContext& dc = *as_dc(hdc);
    uint32_t pixel;
    if (!brush_pixel(dc, brush, &pixel))
        return reinterpret_cast<uintptr_t>(brush) ? 1 : 0;
    dc.fill_rect(dc.to_device(*rect), pixel);
    return 1;
}

int FrameRect(HDC hdc, const RECT* rect, HBRUSH brush)
{
    if (!hdc || !rect)
        return 0;
    DeviceContext& dc = *as_dc(hdc);
    RECT r = dc.to_device(*rect);
    uint32_t pixel;
    if (r.right <= r.left || r.bottom <= r.top || !brush_pixel(dc, brush, &pixel))
        return 0;
    dc.fill_rect({r.left, r.top, r.right, r.top + 1}, pixel);
    dc.fill_rect({r.left, r.bottom - 1, r.right, r.bottom}, pixel);
    dc.fill_rect({r.left, r.top + 1, r.left + 1, r.bottom - 1}, pixel);
    dc.fill_rect({r.right - 1, r.top + 1, r.right, r.bottom - 1}, pixel);
    return 1;
}

BOOL InvertRect(HDC hdc, const RECT* rect)
{
    if (!hdc || !rect)
        return FALSE;
    as_dc(hdc)->xor_rect(as_dc(hdc)->to_device(*rect), kRgbMask);
    return TRUE;
}

BOOL DrawFocusRect(HDC hdc, const RECT* rect)
{
    if (!hdc || !rect)
        return FALSE;
    DeviceContext& dc = *as_dc(hdc);
    RECT r = dc.to_device(*rect);
    if (r.right <= r.left || r.bottom <= r.top)
        return TRUE;
    // Every other pixel of the frame, on a grid fixed to the surface, so that it lines up
    // wherever it is drawn; XOR makes a second call remove the first.
    POINT o = dc.origin();
    auto flip = [&](int x, int y) {
        if (((x + o.x + y + o.y) & 1) == 0 && dc.visible_point(x, y))
            *dc.at(x, y) ^= kRgbMask;
    };
    for (int x = r.left; x < r.right; ++x) {
        flip(x, r.top);
        if (r.bottom - 1 > r.top)
            flip(x, r.bottom - 1);
    }
    for (int y = r.top + 1; y < r.bottom - 1; ++y) {
        flip(r.left, y);
        if (r.right - 1 > r.left)
            flip(r.right - 1, y);
    }
    return TRUE;
}

BOOL DrawEdge(HDC hdc, RECT* rect, UINT edge, UINT flags)
{
    if (!hdc || !rect)
        return FALSE;
    DeviceContext& dc = *as_dc(hdc);
    RECT r = dc.to_device(*rect);
    UINT outer = edge & (BDR_RAISEDOUTER | BDR_SUNKENOUTER), inner = edge & (BDR_RAISEDINNER | BDR_SUNKENINNER);
    int width = 0;
    if (outer == BDR_RAISEDOUTER)
        frame_ring(dc, r, flags, GetSysColor(COLOR_3DLIGHT), GetSysColor(COLOR_3DDKSHADOW));
    else if (outer == BDR_SUNKENOUTER)
        frame_ring(dc, r, flags, GetSysColor(COLOR_3DSHADOW), GetSysColor(COLOR_3DHILIGHT));
    if (outer) {
        deflate(r, flags);
        ++width;
    }
    if (inner == BDR_RAISEDINNER)
        frame_ring(dc, r, flags, GetSysColor(COLOR_3DHILIGHT), GetSysColor(COLOR_3DSHADOW));
    else if (inner == BDR_SUNKENINNER)
        frame_ring(dc, r, flags, GetSysColor(COLOR_3DDKSHADOW), GetSysColor(COLOR_3DLIGHT));
    if (inner) {
        deflate(r, flags);
        ++width;
    }
    if (flags & BF_MIDDLE)
        dc.fill_rect(r, dc.pixel_for(GetSysColor(COLOR_3DFACE)));
    if (flags & BF_ADJUST) {
        for (int i = 0; i < width; ++i)
            deflate(*rect, flags);
    }
    return TRUE;
}

BOOL PatBlt(HDC hdc, int x, int y, int width, int height, DWORD rop)
{
    if (!hdc)
        return FALSE;
    DeviceContext& dc = *as_dc(hdc);
    RECT r = normalized(dc.to_device(RECT{x, y, x + width, y + height}));
    uint32_t brush = 0;
    bool has_brush = brush_pixel(dc, dc.state().brush, &brush);
    switch (rop) {
    case PATCOPY:
        if (has_brush)
            dc.fill_rect(r, brush);
        return TRUE;
    case BLACKNESS: dc.fill_rect(r, dc.pixel_for(RGB(0, 0, 0))); return TRUE;
    case WHITENESS: dc.fill_rect(r, dc.pixel_for(RGB(255, 255, 255))); return TRUE;
    case DSTINVERT: dc.xor_rect(r, kRgbMask); return TRUE;
    case PATINVERT: dc.xor_rect(r, brush & kRgbMask); return TRUE;
    default: break;
    }
    for (const RECT& c : dc.clip_rects()) {
        int l = std::max(r.left, c.left), rr = std::min(r.right, c.right);
        for (int yy = std::max(r.top, c.top); yy < std::min(r.bottom, c.bottom); ++yy)
            for (int xx = l; xx < rr; ++xx) {
                uint32_t* p = dc.at(xx, yy);
                *p = kAlpha | rop3(rop, brush, 0, *p);
            }
    }
    return TRUE;
}

COLORREF GetPixel(HDC hdc, int x, int y)
{
    if (!hdc)
        return CLR_INVALID;
    DeviceContext& dc = *as_dc(hdc);
    POINT p = dc.to_device(POINT{x, y});
    if (!dc.visible_point(p.x, p.y))
        return CLR_INVALID;
    return to_colorref(*dc.at(p.x, p.y));
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color)
{
    if (!hdc)
        return CLR_INVALID;
    DeviceContext& dc = *as_dc(hdc);
    POINT p = dc.to_device(POINT{x, y});
    if (!dc.visible_point(p.x, p.y))
        return CLR_INVALID;
    uint32_t pixel = dc.pixel_for(color);
    *dc.at(p.x, p.y) = pixel;
    return to_colorref(pixel);
}

BOOL LineTo(HDC hdc, int x, int y)
{
    if (!hdc)
        return FALSE;
    DeviceContext& dc = *as_dc(hdc);
    POINT from = dc.to_device(dc.state().position), to = dc.to_device(POINT{x, y});
    dc.state().position = {x, y};
    if (dc.path_state == PathState::Open) {
        if (dc.path.figures.empty())
            dc.path.figures.push_back({{from}, false});
        dc.path.figures.back().points.push_back(to);
        return TRUE;
    }
    draw_line(dc, from, to, current_pen(dc));
    return TRUE;
}

BOOL Polyline(HDC hdc, const POINT* points, int count)
{
    if (!hdc || !points || count < 2)
        return FALSE;
    DeviceContext& dc = *as_dc(hdc);
    for (int i = 0; i + 1 < count; ++i)
        draw_line(dc, dc.to_device(points[i]), dc.to_device(points[i + 1]), current_pen(dc));
    return TRUE;
}

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom)
{
    if (!hdc)
        return FALSE;
    DeviceContext& dc = *as_dc(hdc);
    RECT r = normalized(dc.to_device(RECT{left, top, right, bottom}));
    if (r.right - r.left < 2 || r.bottom - r.top < 2)
        return TRUE;
    uint32_t fill = 0;
    bool has_fill = brush_pixel(dc, dc.state().brush, &fill);
    if (!pen_visible(dc)) {
        // Without a pen the fill covers what the pen would have drawn at top and left only.
        if (has_fill)
            dc.fill_rect({r.left, r.top, r.right - 1, r.bottom - 1}, fill);
        return TRUE;
    }
    LOGPEN pen = current_pen(dc);
    if (has_fill)
        dc.fill_rect({r.left + 1, r.top + 1, r.right - 1, r.bottom - 1}, fill);
    if (pen.lopnWidth.x <= 1 || pen.lopnStyle != PS_SOLID) {
        POINT c[] = {{r.left, r.top}, {r.right - 1, r.top}, {r.right - 1, r.bottom - 1}, {r.left, r.bottom - 1}};
        for (int i = 0; i < 4; ++i)
            draw_line(dc, c[i], c[(i + 1) % 4], pen);
        return TRUE;
    }
    // A wide solid frame centred on the outline.
    int w = pen.lopnWidth.x, in = w / 2, out = w - 1 - w / 2;
    uint32_t p = dc.pixel_for(pen.lopnColor);
    RECT o{r.left - out, r.top - out, r.right + out, r.bottom + out};
    dc.fill_rect({o.left, o.top, o.right, r.top + in + 1}, p);
    dc.fill_rect({o.left, r.bottom - 1 - in, o.right, o.bottom}, p);
    dc.fill_rect({o.left, o.top, r.left + in + 1, o.bottom}, p);
    dc.fill_rect({r.right - 1 - in, o.top, o.right, o.bottom}, p);
    return TRUE;
}

BOOL Ellipse(HDC hdc, int left, int top, int right, int bottom)
{
    if (!hdc)
        return FALSE;
    DeviceContext& dc = *as_dc(hdc);
    RECT r = normalized(dc.to_device(RECT{left, top, right, bottom}));
    paint_shape(dc, ellipse_rows(r), ellipse_rows({r.left, r.top, r.right - 1, r.bottom - 1}));
    return TRUE;
}

BOOL RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height)
{
    if (!hdc)
        return FALSE;
    DeviceContext& dc = *as_dc(hdc);
    RECT r = normalized(dc.to_device(RECT{left, top, right, bottom}));
    int cw = static_cast<int>(width * std::abs(dc.scale_x()) + 0.5), ch = static_cast<int>(height * std::abs(dc.scale_y()) + 0.5);
    paint_shape(dc, round_rect_rows(r, cw, ch), round_rect_rows({r.left, r.top, r.right - 1, r.bottom - 1}, cw, ch));
    return TRUE;
}

BOOL Polygon(HDC hdc, const POINT* points, int count)
{
    if (!hdc || !points || count < 2)
        return FALSE;
    DeviceContext& dc = *as_dc(hdc);
    std::vector<POINT> device;
    std::vector<std::vector<PointF>> poly(1);
    for (int i = 0; i < count; ++i) {
        device.push_back(dc.to_device(points[i]));
        poly[0].push_back({double(device.back().x), double(device.back().y)});
    }
    uint32_t fill;
    RECT limit = dc.clip_bounds();
    if (brush_pixel(dc, dc.state().brush, &fill))
        fill_rows(dc, polygon_rows(poly, dc.state().poly_fill_mode, &limit), fill);
    for (int i = 0; i < count; ++i)
        draw_line(dc, device[i], device[(i + 1) % count], current_pen(dc));
    return TRUE;
}

BOOL FillRgn(HDC hdc, HRGN region, HBRUSH brush)
{
    RegionObject* r = as_region(region);
    if (!hdc || !r)
        return FALSE;
    DeviceContext& dc = *as_dc(hdc);
    uint32_t pixel;
    if (!brush_pixel(dc, brush, &pixel))
        return FALSE;
    for (const RECT& rect : r->region.rects())
        dc.fill_rect(dc.to_device(rect), pixel);
    return TRUE;
}
