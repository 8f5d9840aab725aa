// Device contexts: state, selection, the save stack, coordinate mapping and clipping.

#include "platform/gdi/dc.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/gdi/gdi.h"

namespace gdi {

namespace {

int round_div(int64_t num, int64_t den)
{
    if (den < 0) {
        num = -num;
        den = -den;
    }
    return static_cast<int>(num >= 0 ? (num + den / 2) / den : -((-num + den / 2) / den));
}

void init_defaults(DcState& s)
{
    s.pen = static_cast<HPEN>(GetStockObject(BLACK_PEN));
    s.brush = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    s.font = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
}

}  // namespace

DeviceContext::DeviceContext() : m_memory(true), m_surface(default_bitmap())
{
    init_defaults(m_state);
    m_state.bitmap = m_surface;
    retain_state(m_state);
}

DeviceContext::DeviceContext(BitmapObject* surface, POINT origin, const Region* visible)
    : m_memory(false), m_surface(surface), m_origin(origin)
{
    init_defaults(m_state);
    retain_state(m_state);
    retain(m_surface);
    set_visible(visible);
}

DeviceContext::~DeviceContext()
{
    for (const DcState& s : m_saved)
        release_state(s);
    release_state(m_state);
    if (!m_memory)
        release(m_surface);
}

void DeviceContext::retain_state(const DcState& s)
{
    retain(s.pen);
    retain(s.brush);
    retain(s.font);
    retain(s.bitmap);
}

void DeviceContext::release_state(const DcState& s)
{
    release(s.pen);
    release(s.brush);
    release(s.font);
    release(s.bitmap);
}

void DeviceContext::select_bitmap(BitmapObject* bitmap)
{
    retain(bitmap);
    release(m_state.bitmap);
    m_state.bitmap = bitmap;
    m_surface = bitmap;
    clip_changed();
}

void DeviceContext::set_visible(const Region* visible)
{
    m_has_visible = visible != nullptr;
    m_visible = visible ? *visible : Region();
    clip_changed();
}

int DeviceContext::save()
{
    m_saved.push_back(m_state);
    retain_state(m_state);
    return static_cast<int>(m_saved.size());
}

bool DeviceContext::restore(int saved)
{
    int depth = static_cast<int>(m_saved.size());
    int target = saved < 0 ? depth + saved + 1 : saved;
    if (target < 1 || target > depth)
        return false;
    while (static_cast<int>(m_saved.size()) > target) {
        release_state(m_saved.back());
        m_saved.pop_back();
    }
    release_state(m_state);
    m_state = std::move(m_saved.back());
    m_saved.pop_back();
    if (m_memory)
        m_surface = m_state.bitmap;
    clip_changed();
    return true;
}

bool DeviceContext::scaled() const
{
    return m_state.window_ext.cx != m_state.viewport_ext.cx || m_state.window_ext.cy != m_state.viewport_ext.cy;
}

double DeviceContext::scale_x() const { return double(m_state.viewport_ext.cx) / m_state.window_ext.cx; }
double DeviceContext::scale_y() const { return double(m_state.viewport_ext.cy) / m_state.window_ext.cy; }

POINT DeviceContext::to_device(POINT p) const
{
    const DcState& s = m_state;
    if (!scaled())
        return {p.x - s.window_org.x + s.viewport_org.x, p.y - s.window_org.y + s.viewport_org.y};
    return {round_div(int64_t{p.x - s.window_org.x} * s.viewport_ext.cx, s.window_ext.cx) + s.viewport_org.x,
            round_div(int64_t{p.y - s.window_org.y} * s.viewport_ext.cy, s.window_ext.cy) + s.viewport_org.y};
}

POINT DeviceContext::to_logical(POINT p) const
{
    const DcState& s = m_state;
    if (!scaled())
        return {p.x - s.viewport_org.x + s.window_org.x, p.y - s.viewport_org.y + s.window_org.y};
    return {round_div(int64_t{p.x - s.viewport_org.x} * s.window_ext.cx, s.viewport_ext.cx) + s.window_org.x,
            round_div(int64_t{p.y - s.viewport_org.y} * s.window_ext.cy, s.viewport_ext.cy) + s.window_org.y};
}

RECT DeviceContext::to_device(const RECT& r) const
{
    POINT a = to_device(POINT{r.left, r.top});
    POINT b = to_device(POINT{r.right, r.bottom});
    return {a.x, a.y, b.x, b.y};
}

const std::vector<RECT>& DeviceContext::clip_rects()
{
    if (!m_clip_valid) {
        Region r(RECT{-m_origin.x, -m_origin.y, m_surface->width() - m_origin.x, m_surface->height() - m_origin.y});
        if (m_has_visible)
            r = Region::combine(r, m_visible, RGN_AND);
        if (m_state.has_clip)
            r = Region::combine(r, m_state.clip, RGN_AND);
        m_clip_rects = r.rects();
        m_clip_valid = true;
    }
    return m_clip_rects;
}

RECT DeviceContext::clip_bounds()
{
    const std::vector<RECT>& rects = clip_rects();
    if (rects.empty())
        return {0, 0, 0, 0};
    RECT b = rects.front();
    for (const RECT& r : rects) {
        b.left = std::min(b.left, r.left);
        b.right = std::max(b.right, r.right);
        b.bottom = std::max(b.bottom, r.bottom);
    }
    return b;
}

void DeviceContext::fill_rect(const RECT& r, uint32_t pixel)
{
    for (const RECT& c : clip_rects()) {
        int l = std::max(r.left, c.left), rr = std::min(r.right, c.right);
        int t = std::max(r.top, c.top), b = std::min(r.bottom, c.bottom);
        for (int y = t; y < b && l < rr; ++y)
            std::fill(at(l, y), at(rr, y), pixel);
    }
}

void DeviceContext::xor_rect(const RECT& r, uint32_t mask)
{
    for (const RECT& c : clip_rects()) {
        int l = std::max(r.left, c.left), rr = std::min(r.right, c.right);
        int t = std::max(r.top, c.top), b = std::min(r.bottom, c.bottom);
        for (int y = t; y < b; ++y)
            for (uint32_t* p = at(l, y), *e = at(rr, y); p < e; ++p)
                *p ^= mask;
    }
}

void DeviceContext::span(int y, int x0, int x1, uint32_t pixel)
{
    fill_rect(RECT{x0, y, x1, y + 1}, pixel);
}

bool DeviceContext::visible_point(int x, int y)
{
    for (const RECT& c : clip_rects())
        if (x >= c.left && x < c.right && y >= c.top && y < c.bottom)
            return true;
    return false;
}

void DeviceContext::plot(int x, int y, uint32_t pixel)
{
    if (visible_point(x, y))
        *at(x, y) = pixel;
}

}  // namespace gdi

using namespace gdi;

HDC CreateCompatibleDC(HDC)
{
    return new DeviceContext();
}

HDC gdi::CreateViewDC(HBITMAP surface, POINT origin, HRGN visible)
{
    BitmapObject* b = as_bitmap(surface);
    if (!b)
        return nullptr;
    RegionObject* r = as_region(visible);
    return new DeviceContext(b, origin, r ? &r->region : nullptr);
}

BOOL gdi::SetViewVisibleRegion(HDC dc, HRGN visible)
{
    if (!dc || as_dc(dc)->is_memory())
        return FALSE;
    RegionObject* r = as_region(visible);
    as_dc(dc)->set_visible(r ? &r->region : nullptr);
    return TRUE;
}

BOOL DeleteDC(HDC dc)
{
    forget_temporary_dc(dc);
    delete as_dc(dc);
    return dc ? TRUE : FALSE;
}

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height)
{
    bool mono = dc && as_dc(dc)->is_memory() && as_dc(dc)->mono();
    return CreateBitmap(width, height, 1, mono ? 1 : 32, nullptr);
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object)
{
    if (!hdc || !object)
        return nullptr;
    DeviceContext* dc = as_dc(hdc);
    DcState& s = dc->state();
    auto swap = [](auto& slot, auto* value) -> HGDIOBJ {
        auto* old = slot;
        retain(value);
        slot = value;
        release(old);  // the caller's handle keeps it alive unless it was deleted while selected
        return old;
    };
    switch (object->objectType) {
    case OBJ_PEN: return swap(s.pen, static_cast<HPEN>(object));
    case OBJ_BRUSH: return swap(s.brush, static_cast<HBRUSH>(object));
    case OBJ_FONT: return swap(s.font, static_cast<HFONT>(object));
    case OBJ_BITMAP: {
        BitmapObject* b = as_bitmap(object);
        if (!dc->is_memory())
            return nullptr;
        HGDIOBJ old = s.bitmap;
        dc->select_bitmap(b);
        return old;
    }
    case OBJ_REGION: {
        int type = SelectClipRgn(hdc, static_cast<HRGN>(object));
        return reinterpret_cast<HGDIOBJ>(static_cast<intptr_t>(type));
    }
    default: return nullptr;
    }
}

HGDIOBJ GetCurrentObject(HDC hdc, UINT type)
{
    if (!hdc)
        return nullptr;
    DcState& s = as_dc(hdc)->state();
    switch (type) {
    case OBJ_PEN: return s.pen;
    case OBJ_BRUSH: return s.brush;
    case OBJ_FONT: return s.font;
    case OBJ_BITMAP: return as_dc(hdc)->surface();
    default: return nullptr;
    }
}

int SaveDC(HDC dc) { return dc ? as_dc(dc)->save() : 0; }
BOOL RestoreDC(HDC dc, int saved) { return dc && as_dc(dc)->restore(saved) ? TRUE : FALSE; }

#define QV_DC_ATTRIBUTE(Setter, Getter, Type, field, fail)   \
    Type Setter(HDC dc, Type value)                          \
    {                                                        \
        if (!dc)                                             \
            return fail;                                     \
        Type old = as_dc(dc)->state().field;                 \
        as_dc(dc)->state().field = value;                    \
        return old;                                          \
    }                                                        \
    Type Getter(HDC dc) { return dc ? as_dc(dc)->state().field : fail; }

QV_DC_ATTRIBUTE(SetTextColor, GetTextColor, COLORREF, text_color, CLR_INVALID)
QV_DC_ATTRIBUTE(SetBkColor, GetBkColor, COLORREF, bk_color, CLR_INVALID)
QV_DC_ATTRIBUTE(SetTextAlign, GetTextAlign, UINT, text_align, GDI_ERROR)
#undef QV_DC_ATTRIBUTE

int SetBkMode(HDC dc, int mode)
{
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE))
        return 0;
    return std::exchange(as_dc(dc)->state().bk_mode, mode);
}
int GetBkMode(HDC dc) { return dc ? as_dc(dc)->state().bk_mode : 0; }

int SetPolyFillMode(HDC dc, int mode)
{
    if (!dc || (mode != ALTERNATE && mode != WINDING))
        return 0;
    return std::exchange(as_dc(dc)->state().poly_fill_mode, mode);
}
int GetPolyFillMode(HDC dc) { return dc ? as_dc(dc)->state().poly_fill_mode : 0; }

int SetStretchBltMode(HDC dc, int mode)
{
    if (!dc || mode < BLACKONWHITE || mode > HALFTONE)
        return 0;
    return std::exchange(as_dc(dc)->state().stretch_mode, mode);
}
int GetStretchBltMode(HDC dc) { return dc ? as_dc(dc)->state().stretch_mode : 0; }

int SetMapMode(HDC dc, int mode)
{
    // Only the modes in use: pixels, and freely scaled (the printing path).
    if (!dc || (mode != MM_TEXT && mode != MM_ANISOTROPIC))
        return 0;
    DcState& s = as_dc(dc)->state();
    int old = std::exchange(s.map_mode, mode);
    if (mode == MM_TEXT) {
        s.window_ext = {1, 1};
        s.viewport_ext = {1, 1};
    }
    return old;
}
int GetMapMode(HDC dc) { return dc ? as_dc(dc)->state().map_mode : 0; }

namespace {

BOOL set_point(HDC dc, POINT DcState::*field, int x, int y, POINT* old, bool offset)
{
    if (!dc)
        return FALSE;
    POINT& p = as_dc(dc)->state().*field;
    if (old)
        *old = p;
    p = offset ? POINT{p.x + x, p.y + y} : POINT{x, y};
    return TRUE;
}

BOOL set_extent(HDC dc, SIZE DcState::*field, int cx, int cy, SIZE* old)
{
    if (!dc)
        return FALSE;
    DcState& s = as_dc(dc)->state();
    if (old)
        *old = s.*field;
    if (s.map_mode == MM_TEXT)
        return TRUE;
    if (cx == 0 || cy == 0)
        return FALSE;
    s.*field = {cx, cy};
    return TRUE;
}

template <typename T>
BOOL get_field(HDC dc, T DcState::*field, T* out)
{
    if (!dc || !out)
        return FALSE;
    *out = as_dc(dc)->state().*field;
    return TRUE;
}

}  // namespace

BOOL SetWindowOrgEx(HDC dc, int x, int y, POINT* old) { return set_point(dc, &DcState::window_org, x, y, old, false); }
BOOL OffsetWindowOrgEx(HDC dc, int x, int y, POINT* old) { return set_point(dc, &DcState::window_org, x, y, old, true); }
BOOL GetWindowOrgEx(HDC dc, POINT* out) { return get_field(dc, &DcState::window_org, out); }
BOOL SetViewportOrgEx(HDC dc, int x, int y, POINT* old) { return set_point(dc, &DcState::viewport_org, x, y, old, false); }
BOOL OffsetViewportOrgEx(HDC dc, int x, int y, POINT* old) { return set_point(dc, &DcState::viewport_org, x, y, old, true); }
BOOL GetViewportOrgEx(HDC dc, POINT* out) { return get_field(dc, &DcState::viewport_org, out); }
BOOL SetWindowExtEx(HDC dc, int cx, int cy, SIZE* old) { return set_extent(dc, &DcState::window_ext, cx, cy, old); }
BOOL GetWindowExtEx(HDC dc, SIZE* out) { return get_field(dc, &DcState::window_ext, out); }
BOOL SetViewportExtEx(HDC dc, int cx, int cy, SIZE* old) { return set_extent(dc, &DcState::viewport_ext, cx, cy, old); }
BOOL GetViewportExtEx(HDC dc, SIZE* out) { return get_field(dc, &DcState::viewport_ext, out); }
BOOL GetCurrentPositionEx(HDC dc, POINT* out) { return get_field(dc, &DcState::position, out); }

BOOL LPtoDP(HDC dc, POINT* points, int count)
{
    if (!dc || (!points && count > 0))
        return FALSE;
    for (int i = 0; i < count; ++i)
        points[i] = as_dc(dc)->to_device(points[i]);
    return TRUE;
}

BOOL DPtoLP(HDC dc, POINT* points, int count)
{
    if (!dc || (!points && count > 0))
        return FALSE;
    for (int i = 0; i < count; ++i)
        points[i] = as_dc(dc)->to_logical(points[i]);
    return TRUE;
}

int GetDeviceCaps(HDC dc, int index)
{
    if (!dc)
        return 0;
    BitmapObject* s = as_dc(dc)->surface();
    switch (index) {
    case HORZRES: return s->width();
    case VERTRES: return s->height();
    case HORZSIZE: return s->width() * 254 / 960;
    case VERTSIZE: return s->height() * 254 / 960;
    case BITSPIXEL: return 32;
    case PLANES: return 1;
    case NUMCOLORS: return -1;
    case LOGPIXELSX:
    case LOGPIXELSY: return 96;
    default: return 0;
    }
}

BOOL MoveToEx(HDC dc, int x, int y, POINT* old)
{
    if (!dc)
        return FALSE;
    DeviceContext* d = as_dc(dc);
    if (old)
        *old = d->state().position;
    d->state().position = {x, y};
    if (d->path_state == PathState::Open)
        d->path.figures.push_back({{d->to_device(POINT{x, y})}, false});
    return TRUE;
}

// Clipping.

int SelectClipRgn(HDC dc, HRGN region)
{
    return ExtSelectClipRgn(dc, region, RGN_COPY);
}

int ExtSelectClipRgn(HDC hdc, HRGN region, int mode)
{
    if (!hdc)
        return ERROR;
    DeviceContext* dc = as_dc(hdc);
    DcState& s = dc->state();
    RegionObject* r = as_region(region);
    if (mode == RGN_COPY) {
        s.has_clip = r != nullptr;
        s.clip = r ? r->region : Region();
    } else {
        if (!r)
            return ERROR;
        // Without a clip region the DC is clipped to its whole surface.
        BitmapObject* surface = dc->surface();
        POINT o = dc->origin();
        Region whole(RECT{-o.x, -o.y, surface->width() - o.x, surface->height() - o.y});
        Region current = s.has_clip ? s.clip : whole;
        s.clip = Region::combine(current, r->region, mode);
        s.has_clip = true;
    }
    dc->clip_changed();
    size_t n = dc->clip_rects().size();
    return n == 0 ? NULLREGION : (n == 1 ? SIMPLEREGION : COMPLEXREGION);
}

namespace {

int clip_to_rect(HDC dc, RECT logical, int mode)
{
    if (!dc)
        return ERROR;
    RECT r = as_dc(dc)->to_device(logical);
    if (r.left > r.right)
        std::swap(r.left, r.right);
    if (r.top > r.bottom)
        std::swap(r.top, r.bottom);
    RegionObject region;
    region.region = Region(r);
    return ExtSelectClipRgn(dc, &region, mode);
}

}  // namespace

int IntersectClipRect(HDC dc, int left, int top, int right, int bottom)
{
    return clip_to_rect(dc, RECT{left, top, right, bottom}, RGN_AND);
}

int ExcludeClipRect(HDC dc, int left, int top, int right, int bottom)
{
    return clip_to_rect(dc, RECT{left, top, right, bottom}, RGN_DIFF);
}

int GetClipBox(HDC hdc, RECT* out)
{
    if (!hdc || !out)
        return ERROR;
    DeviceContext* dc = as_dc(hdc);
    RECT b = dc->clip_bounds();
    POINT a = dc->to_logical(POINT{b.left, b.top});
    POINT c = dc->to_logical(POINT{b.right, b.bottom});
    *out = {a.x, a.y, c.x, c.y};
    size_t n = dc->clip_rects().size();
    return n == 0 ? NULLREGION : (n == 1 ? SIMPLEREGION : COMPLEXREGION);
}

int GetClipRgn(HDC dc, HRGN out)
{
    RegionObject* r = as_region(out);
    if (!dc || !r)
        return -1;
    if (!as_dc(dc)->state().has_clip)
        return 0;
    r->region = as_dc(dc)->state().clip;
    return 1;
}
