// Region handles.

#include "platform/gdi/dc.h"
#include "platform/gdi/gdi.h"

using namespace gdi;

namespace {

HRGN make(Region region)
{
    auto* r = new RegionObject();
    r->region = std::move(region);
    return r;
}

Region from_rows(const Rows& rows)
{
    return Region::from_rows(rows.top, rows.rows);
}

}  // namespace

HRGN gdi::CreateRgnFromRegion(const Region& region)
{
    return make(region);
}

bool gdi::GetRegionOfRgn(HRGN h, Region* out)
{
    RegionObject* r = as_region(h);
    if (!r)
        return false;
    *out = r->region;
    return true;
}

int gdi::SetRgnToRegion(HRGN h, const Region& region)
{
    RegionObject* r = as_region(h);
    if (!r)
        return ERROR;
    r->region = region;
    return region.complexity();
}

HRGN CreateRectRgn(int left, int top, int right, int bottom)
{
    if (left > right)
        std::swap(left, right);
    if (top > bottom)
        std::swap(top, bottom);
    return make(Region(RECT{left, top, right, bottom}));
}

HRGN CreateRectRgnIndirect(const RECT* rect)
{
    return rect ? CreateRectRgn(rect->left, rect->top, rect->right, rect->bottom) : nullptr;
}

// As on Windows, the elliptic and rounded regions are one pixel narrower and shorter than the
// box: they cover what Ellipse and RoundRect fill without a pen.
HRGN CreateRoundRectRgn(int left, int top, int right, int bottom, int width, int height)
{
    if (left > right)
        std::swap(left, right);
    if (top > bottom)
        std::swap(top, bottom);
    return make(from_rows(round_rect_rows(RECT{left, top, right - 1, bottom - 1}, width, height)));
}

HRGN CreateEllipticRgn(int left, int top, int right, int bottom)
{
    if (left > right)
        std::swap(left, right);
    if (top > bottom)
        std::swap(top, bottom);
    return make(from_rows(ellipse_rows(RECT{left, top, right - 1, bottom - 1})));
}

HRGN CreatePolygonRgn(const POINT* points, int count, int fill_mode)
{
    if (!points || count < 2)
        return nullptr;
    std::vector<std::vector<PointF>> poly(1);
    for (int i = 0; i < count; ++i)
        poly[0].push_back({double(points[i].x), double(points[i].y)});
    return make(from_rows(polygon_rows(poly, fill_mode)));
}

int CombineRgn(HRGN dest, HRGN a, HRGN b, int mode)
{
    RegionObject *d = as_region(dest), *ra = as_region(a), *rb = as_region(b);
    if (!d || !ra)
        return ERROR;
    if (mode == RGN_COPY) {
        d->region = ra->region;
    } else {
        if (!rb || mode < RGN_AND || mode > RGN_DIFF)
            return ERROR;
        d->region = Region::combine(ra->region, rb->region, mode);
    }
    return d->region.complexity();
}

int OffsetRgn(HRGN region, int dx, int dy)
{
    RegionObject* r = as_region(region);
    if (!r)
        return ERROR;
    r->region.offset(dx, dy);
    return r->region.complexity();
}

BOOL SetRectRgn(HRGN region, int left, int top, int right, int bottom)
{
    RegionObject* r = as_region(region);
    if (!r)
        return FALSE;
    r->region = Region(RECT{std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)});
    return TRUE;
}

BOOL PtInRegion(HRGN region, int x, int y)
{
    RegionObject* r = as_region(region);
    return r && r->region.contains(x, y) ? TRUE : FALSE;
}

BOOL RectInRegion(HRGN region, const RECT* rect)
{
    RegionObject* r = as_region(region);
    return r && rect && r->region.intersects(*rect) ? TRUE : FALSE;
}

int GetRgnBox(HRGN region, RECT* out)
{
    RegionObject* r = as_region(region);
    if (!r || !out)
        return ERROR;
    *out = r->region.bounds();
    return r->region.complexity();
}

BOOL EqualRgn(HRGN a, HRGN b)
{
    RegionObject *ra = as_region(a), *rb = as_region(b);
    if (!ra || !rb)
        return ERROR;
    return ra->region == rb->region ? TRUE : FALSE;
}
