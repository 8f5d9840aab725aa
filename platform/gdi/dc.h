#pragma once
// Layer-internal: the device context. A DC draws into a target bitmap, either its selected bitmap
// (memory DCs) or a window's backing buffer seen through an origin and a visible region (view
// DCs). Logical coordinates map to device coordinates through the window and viewport origins
// and extents; device coordinates are the surface's, shifted by the view origin.

#include <vector>

#include "platform/gdi/objects.h"
#include "platform/gdi/region.h"

namespace gdi {

struct PointF {
    double x;
    double y;
};

// A path in device coordinates: figures of points, Bezier curves already flattened.
struct Path {
    struct Figure {
        std::vector<POINT> points;
        bool closed = false;
    };
    std::vector<Figure> figures;
};

struct DcState {
    HPEN pen = nullptr;
    HBRUSH brush = nullptr;
    HFONT font = nullptr;
    BitmapObject* bitmap = nullptr;  // memory DCs only
    COLORREF text_color = RGB(0, 0, 0);
    COLORREF bk_color = RGB(255, 255, 255);
    int bk_mode = OPAQUE;
    UINT text_align = TA_LEFT | TA_TOP;
    int poly_fill_mode = ALTERNATE;
    int stretch_mode = BLACKONWHITE;
    int map_mode = MM_TEXT;
    POINT window_org{0, 0};
    SIZE window_ext{1, 1};
    POINT viewport_org{0, 0};
    SIZE viewport_ext{1, 1};
    POINT position{0, 0};
    bool has_clip = false;
    Region clip;  // device coordinates
};

enum class PathState { None, Open, Closed };

class DeviceContext final : public HDC__ {
public:
    DeviceContext();  // memory DC
    DeviceContext(BitmapObject* surface, POINT origin, const Region* visible);
    ~DeviceContext() override;

    bool is_memory() const { return m_memory; }
    BitmapObject* surface() const { return m_surface; }
    POINT origin() const { return m_origin; }
    bool mono() const { return m_surface->mono(); }

    DcState& state() { return m_state; }
    void select_bitmap(BitmapObject* bitmap);
    void set_visible(const Region* visible);
    int save();
    bool restore(int saved);

    // Logical <-> device.
    POINT to_device(POINT p) const;
    POINT to_logical(POINT p) const;
    RECT to_device(const RECT& r) const;
    bool scaled() const;
    double scale_x() const;
    double scale_y() const;

    void clip_changed() { m_clip_valid = false; }
    // Device-coordinate rectangles drawing may touch: visible region, clip region and surface.
    const std::vector<RECT>& clip_rects();
    RECT clip_bounds();

    uint32_t pixel_for(COLORREF c) const { return m_surface->pixel_for(c); }
    uint32_t* at(int x, int y) { return m_surface->scanline(y + m_origin.y) + x + m_origin.x; }

    // Device-coordinate primitives, all clipped. Spans are [x0, x1).
    void fill_rect(const RECT& r, uint32_t pixel);
    void xor_rect(const RECT& r, uint32_t mask);
    void span(int y, int x0, int x1, uint32_t pixel);
    void plot(int x, int y, uint32_t pixel);
    bool visible_point(int x, int y);

    Path path;
    PathState path_state = PathState::None;

private:
    void retain_state(const DcState& s);
    void release_state(const DcState& s);

    bool m_memory;
    BitmapObject* m_surface;
    POINT m_origin{0, 0};
    bool m_has_visible = false;
    Region m_visible;
    DcState m_state;
    std::vector<DcState> m_saved;
    bool m_clip_valid = false;
    std::vector<RECT> m_clip_rects;
};

inline DeviceContext* as_dc(HDC h) { return static_cast<DeviceContext*>(h); }

// Shape rasterisation shared by drawing and region creation (shapes.cpp). Rows are returned
// for y = top .. top + rows.size() - 1.
struct Rows {
    int top = 0;
    std::vector<std::vector<Span>> rows;
};
// The pixels of an ellipse or rounded rectangle inscribed in [left, right) x [top, bottom).
Rows ellipse_rows(const RECT& box);
Rows round_rect_rows(const RECT& box, int corner_width, int corner_height);
// The interior of polygons (pixels sampled at their integer coordinates), under ALTERNATE or
// WINDING; with `limit`, only the rows inside it (drawing needs no more than the clip box).
Rows polygon_rows(const std::vector<std::vector<PointF>>& polygons, int fill_mode, const RECT* limit = nullptr);
// Outline of a convex row set: the pixels with a 4-neighbour outside the set.
void split_outline(const Rows& shape, Rows& outline, Rows& interior);

// Cosmetic and wide lines in device coordinates, last pixel left out.
void draw_line(DeviceContext& dc, POINT a, POINT b, const LOGPEN& pen);
void fill_rows(DeviceContext& dc, const Rows& rows, uint32_t pixel);

}  // namespace gdi

namespace gdi {

// A ternary raster operation on whole pixels: bit i of the operation's index byte is the result
// for pattern, source and destination bits (P << 2 | S << 1 | D) equal to i.
inline uint32_t rop3(DWORD rop, uint32_t p, uint32_t s, uint32_t d)
{
    uint32_t code = (rop >> 16) & 0xFF, out = 0;
    for (int i = 0; i < 8; ++i)
        if (code & (1u << i))
            out |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
    return out;
}

// The colour a brush handle paints with; FillRect also takes a system colour index plus one.
bool brush_pixel(DeviceContext& dc, HBRUSH brush, uint32_t* pixel);

// Drops the calling thread's temporary CDC wrapper of a DC being deleted (afxgdi.cpp), so that
// wrappers do not pile up for the short-lived DCs of every paint.
void forget_temporary_dc(HDC dc);

}  // namespace gdi
