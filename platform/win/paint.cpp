// The paint cycle. Each top-level window has one backing buffer; windows paint into it parent
// first, children over the parent's pixels from the bottom of the z-order to the top. So when an
// area of a window is invalidated, every window painted after it that covers the area must
// paint again too: update regions are kept in buffer coordinates and spread along that order.

#include <algorithm>

#include "platform/win/internal.h"

namespace qv::win {

namespace {

bool Pending(const Wnd& w) { return !w.update.empty() || w.ncpaint; }

void MarkDirty(HWND hwnd)
{
    if (Wnd* top = Find(TopOf(hwnd)); top && top->surface)
        top->surface->dirty = true;
}

HDC ViewDC(const Wnd& w, POINT origin, Region visible)
{
    Wnd* top = Find(TopOf(w.hwnd));
    if (!top || !top->surface || !top->surface->bitmap)
        return nullptr;
    visible.offset(-origin.x, -origin.y);
    HRGN rgn = gdi::CreateRgnFromRegion(visible);
    HDC dc = gdi::CreateViewDC(top->surface->bitmap, origin, rgn);
    DeleteObject(rgn);
    return dc;
}

// Where an invalidation starts: a transparent window is composed over what lies beneath it, so
// its area is repainted from the first ancestor that is not transparent.
HWND PaintStart(HWND hwnd)
{
    Wnd* w = Find(hwnd);
    while (w && w->parent && (w->ex_style & WS_EX_TRANSPARENT))
        w = Find(w->parent);
    return w ? w->hwnd : nullptr;
}

Region ClientArea(const Wnd& w, const RECT* rect, HRGN rgn)
{
    RECT c = ClientSurfaceRect(w);
    Region area(c);
    if (rect) {
        RECT r{c.left + rect->left, c.top + rect->top, c.left + rect->right, c.top + rect->bottom};
        area = area.intersected(r);
    }
    if (Region shape; gdi::GetRegionOfRgn(rgn, &shape)) {
        shape.offset(c.left, c.top);
        area = Region::combine(area, shape, RGN_AND);
    }
    return area;
}

void SendPaint(HWND hwnd)
{
    if (!Find(hwnd))
        return;
    S().painted[hwnd] = false;
    SendMessageW(hwnd, WM_PAINT, 0, 0);
    ValidateAfterPaint(hwnd);
}

// Paints, in painting order, every pending window up to the end of `hwnd`'s subtree, so the
// windows beneath it are fresh before it draws over them.
void PaintThrough(HWND hwnd)
{
    HWND top = TopOf(hwnd);
    if (!top)
        return;
    std::vector<HWND> order;
    PaintOrder(top, order);
    std::vector<HWND> subtree;
    PaintOrder(hwnd, subtree);
    auto last = std::find(order.begin(), order.end(), subtree.back());
    for (auto it = order.begin(); it != order.end() && it <= last; ++it) {
        Wnd* w = Find(*it);
        if (!w || !Pending(*w))
            continue;
        if (!IsVisibleChain(*w)) {
            w->update = {};
            w->ncpaint = w->erase = false;
            continue;
        }
        SendPaint(*it);
    }
}

}  // namespace

void PaintOrder(HWND root, std::vector<HWND>& out)
{
    Wnd* w = Find(root);
    if (!w)
        return;
    out.push_back(root);
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it)
        PaintOrder(*it, out);
}

void InvalidateArea(HWND start, const Region& area, bool erase, bool frame)
{
    if (area.empty() && !frame)
        return;
    HWND top = TopOf(start);
    if (!top)
        return;
    std::vector<HWND> order;
    PaintOrder(top, order);
    auto it = std::find(order.begin(), order.end(), start);
    for (; it != order.end(); ++it) {
        Wnd* w = Find(*it);
        Region vis = VisibleRegion(*w, false);
        Region part = Region::combine(area, vis, RGN_AND);
        if (*it == start && frame && !vis.empty() && HasNonClient(*w))
            w->ncpaint = true;
        if (part.empty())
            continue;
        w->update = Region::combine(w->update, part, RGN_OR);
        if (erase)
            w->erase = true;
        if (HasNonClient(*w) && !Region::combine(part, Region(ClientSurfaceRect(*w)), RGN_DIFF).empty())
            w->ncpaint = true;
    }
}

void ValidateAfterPaint(HWND hwnd)
{
    Wnd* w = Find(hwnd);
    if (!w)
        return;
    // A handler that never began painting would be asked again for ever; what it left is
    // treated as painted, as the default procedure would have done.
    auto& painted = S().painted;
    const bool began = painted[hwnd];
    painted.erase(hwnd);
    if (began)
        return;
    if (w->ncpaint) {
        w->ncpaint = false;
        SendMessageW(hwnd, WM_NCPAINT, 1, 0);
        if (!(w = Find(hwnd)))
            return;
    }
    w->update = {};
    w->erase = false;
}

void ForgetPaint(HWND hwnd)
{
    if (Wnd* w = Find(hwnd)) {
        w->update = {};
        w->erase = w->ncpaint = false;
    }
}

HWND NextWindowToPaint()
{
    State& s = S();
    std::vector<HWND> order;
    for (HWND top : s.tops) {
        order.clear();
        PaintOrder(top, order);
        for (HWND h : order) {
            Wnd* w = Find(h);
            if (!Pending(*w))
                continue;
            if (!IsVisibleChain(*w)) {
                ForgetPaint(h);
                continue;
            }
            return h;
        }
    }
    return nullptr;
}

void PaintTree(HWND root) { PaintThrough(root); }

}  // namespace qv::win

using namespace qv::win;

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase)
{
    if (!hwnd) {
        for (HWND top : std::vector<HWND>(S().tops))
            InvalidateRect(top, nullptr, erase);
        return TRUE;
    }
    Wnd* w = Find(hwnd);
    if (!w)
        return FALSE;
    Region area = Region::combine(ClientArea(*w, rect, nullptr), VisibleRegion(*w, true), RGN_AND);
    InvalidateArea(PaintStart(hwnd), area, erase != FALSE, false);
    return TRUE;
}

BOOL InvalidateRgn(HWND hwnd, HRGN region, BOOL erase)
{
    Wnd* w = Find(hwnd);
    if (!w)
        return FALSE;
    Region area = Region::combine(ClientArea(*w, nullptr, region), VisibleRegion(*w, true), RGN_AND);
    InvalidateArea(PaintStart(hwnd), area, erase != FALSE, false);
    return TRUE;
}

BOOL ValidateRect(HWND hwnd, const RECT* rect)
{
    return RedrawWindow(hwnd, rect, nullptr, RDW_VALIDATE);
}

BOOL RedrawWindow(HWND hwnd, const RECT* rect, HRGN region, UINT flags)
{
    Wnd* w = Find(hwnd);
    if (!w)
        return FALSE;
    Region area = (rect || region) ? ClientArea(*w, rect, region) : Region(WindowSurfaceRect(*w));
    if (!(flags & RDW_FRAME) && !rect && !region)
        area = Region(ClientSurfaceRect(*w));
    area = Region::combine(area, VisibleRegion(*w, false), RGN_AND);
    HWND start = PaintStart(hwnd);
    if (flags & RDW_INVALIDATE) {
        InvalidateArea(start, area, (flags & RDW_ERASE) != 0, (flags & RDW_FRAME) != 0);
    } else if (flags & RDW_VALIDATE) {
        std::vector<HWND> subtree;
        if (flags & RDW_ALLCHILDREN)
            PaintOrder(hwnd, subtree);
        else
            subtree.push_back(hwnd);
        for (HWND h : subtree) {
            Wnd* sw = Find(h);
            sw->update = Region::combine(sw->update, area, RGN_DIFF);
            if (flags & RDW_NOFRAME)
                sw->ncpaint = false;
            if (sw->update.empty())
                sw->erase = false;
        }
    }
    if (flags & RDW_NOERASE)
        if (Wnd* sw = Find(hwnd))
            sw->erase = false;
    if (flags & (RDW_UPDATENOW | RDW_ERASENOW))
        PaintTree(start);
    return TRUE;
}

BOOL UpdateWindow(HWND hwnd)
{
    if (!Find(hwnd))
        return FALSE;
    PaintTree(hwnd);
    return TRUE;
}

BOOL GetUpdateRect(HWND hwnd, RECT* out, BOOL)
{
    Wnd* w = Find(hwnd);
    if (!w)
        return FALSE;
    RECT c = ClientSurfaceRect(*w);
    Region r = w->update.intersected(c);
    if (out) {
        if (r.empty()) {
            *out = {0, 0, 0, 0};
        } else {
            RECT b = r.bounds();
            *out = {b.left - c.left, b.top - c.top, b.right - c.left, b.bottom - c.top};
        }
    }
    return r.empty() ? FALSE : TRUE;
}

int GetUpdateRgn(HWND hwnd, HRGN out, BOOL)
{
    Wnd* w = Find(hwnd);
    if (!w)
        return ERROR;
    RECT c = ClientSurfaceRect(*w);
    Region r = w->update.intersected(c);
    r.offset(-c.left, -c.top);
    return gdi::SetRgnToRegion(out, r);
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps)
{
    Wnd* w = Find(hwnd);
    if (!w || !ps)
        return nullptr;
    *ps = PAINTSTRUCT{};
    S().painted[hwnd] = true;
    if (w->ncpaint) {
        w->ncpaint = false;
        SendMessageW(hwnd, WM_NCPAINT, 1, 0);
        if (!(w = Find(hwnd)))
            return nullptr;
    }
    Region paint = Region::combine(w->update, VisibleRegion(*w, true), RGN_AND);
    const bool erase = w->erase;
    w->update = {};
    w->erase = false;
    RECT c = ClientSurfaceRect(*w);
    HDC dc = ViewDC(*w, POINT{c.left, c.top}, paint);
    if (!dc)
        return nullptr;
    ps->hdc = dc;
    if (!paint.empty()) {
        RECT b = paint.bounds();
        ps->rcPaint = {b.left - c.left, b.top - c.top, b.right - c.left, b.bottom - c.top};
    }
    ps->fErase = erase ? !SendMessageW(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) : FALSE;
    return dc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps)
{
    if (!ps || !ps->hdc)
        return FALSE;
    DeleteDC(ps->hdc);
    MarkDirty(hwnd);
    return TRUE;
}

HDC GetDC(HWND hwnd)
{
    if (!hwnd)
        return CreateCompatibleDC(nullptr);
    Wnd* w = Find(hwnd);
    if (!w)
        return nullptr;
    RECT c = ClientSurfaceRect(*w);
    return ViewDC(*w, POINT{c.left, c.top}, VisibleRegion(*w, true));
}

HDC GetWindowDC(HWND hwnd)
{
    Wnd* w = Find(hwnd);
    if (!w)
        return nullptr;
    return ViewDC(*w, SurfaceOrigin(*w), VisibleRegion(*w, false));
}

int ReleaseDC(HWND hwnd, HDC dc)
{
    if (!dc)
        return 0;
    DeleteDC(dc);
    if (hwnd)
        MarkDirty(hwnd);
    return 1;
}
