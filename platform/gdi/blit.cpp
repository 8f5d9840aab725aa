// BitBlt and StretchBlt: raster operations, colour <-> mono conversion, nearest-pixel stretching.

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/gdi/dc.h"
#include "platform/gdi/gdi.h"

using namespace gdi;

namespace {

bool uses_source(DWORD rop)
{
    DWORD code = (rop >> 16) & 0xFF;
    return ((code >> 2) & 0x33) != (code & 0x33);
}

// How source pixels become destination pixels before the raster operation.
struct Converter {
    enum class Kind { Same, MonoToColour, ColourToMono } kind = Kind::Same;
    uint32_t zero = 0, one = 0;  // mono -> colour
    uint32_t key = 0;            // colour -> mono: the source's background colour

    Converter(DeviceContext& dest, DeviceContext& src)
    {
        if (src.mono() && !dest.mono()) {
            kind = Kind::MonoToColour;
            zero = to_pixel(dest.state().text_color);
            one = to_pixel(dest.state().bk_color);
        } else if (!src.mono() && dest.mono()) {
            kind = Kind::ColourToMono;
            key = to_pixel(src.state().bk_color) & kRgbMask;
        }
    }

    uint32_t operator()(uint32_t s) const
    {
        switch (kind) {
        case Kind::MonoToColour: return (s & kRgbMask) ? one : zero;
        case Kind::ColourToMono: return (s & kRgbMask) == key ? 0xFFFFFFFFu : kAlpha;
        default: return s;
        }
    }
};

void combine_row(uint32_t* d, const uint32_t* s, int n, DWORD rop, uint32_t pattern, const Converter& conv)
{
    if (conv.kind == Converter::Kind::Same) {
        switch (rop) {
        case SRCCOPY: std::memmove(d, s, static_cast<size_t>(n) * 4); return;
        case SRCAND: for (int i = 0; i < n; ++i) d[i] = kAlpha | (d[i] & s[i]); return;
        case SRCPAINT: for (int i = 0; i < n; ++i) d[i] = kAlpha | (d[i] | s[i]); return;
        case SRCINVERT: for (int i = 0; i < n; ++i) d[i] = kAlpha | (d[i] ^ s[i]); return;
        default: break;
        }
    }
    if (rop == SRCCOPY) {
        for (int i = 0; i < n; ++i)
            d[i] = conv(s[i]);
        return;
    }
    for (int i = 0; i < n; ++i)
        d[i] = kAlpha | rop3(rop, pattern, conv(s[i]), d[i]);
}

void combine_pixel(uint32_t* d, uint32_t s, DWORD rop, uint32_t pattern, const Converter& conv)
{
    combine_row(d, &s, 1, rop, pattern, conv);
}

}  // namespace

BOOL BitBlt(HDC hdest, int x, int y, int width, int height, HDC hsrc, int sx, int sy, DWORD rop)
{
    if (!hdest)
        return FALSE;
    if (!uses_source(rop))
        return PatBlt(hdest, x, y, width, height, rop);
    if (!hsrc)
        return FALSE;
    // GDI coordinates are 27-bit; beyond that the offset arithmetic below would overflow.
    constexpr int kLimit = 1 << 27;
    for (int v : {x, y, width, height, sx, sy})
        if (v < -kLimit || v > kLimit)
            return FALSE;
    DeviceContext& dest = *as_dc(hdest);
    DeviceContext& src = *as_dc(hsrc);
    if (dest.scaled() || src.scaled())
        return StretchBlt(hdest, x, y, width, height, hsrc, sx, sy, width, height, rop);
    if (width < 0) { x += width; sx += width; width = -width; }
    if (height < 0) { y += height; sy += height; height = -height; }
    POINT d0 = dest.to_device(POINT{x, y});
    POINT s0 = src.to_device(POINT{sx, sy});
    // Source position in surface pixels; only source pixels inside the source bitmap are read,
    // and destination pixels without one are left alone.
    BitmapObject* ss = src.surface();
    int ox = s0.x + src.origin().x - d0.x, oy = s0.y + src.origin().y - d0.y;
    RECT area{d0.x, d0.y, d0.x + width, d0.y + height};
    area.left = std::max<LONG>(area.left, -ox);
    area.top = std::max<LONG>(area.top, -oy);
    area.right = std::min<LONG>(area.right, ss->width() - ox);
    area.bottom = std::min<LONG>(area.bottom, ss->height() - oy);
    if (area.left >= area.right || area.top >= area.bottom)
        return TRUE;
    uint32_t pattern = 0;
    brush_pixel(dest, dest.state().brush, &pattern);
    Converter conv(dest, src);
    // Copying within one surface: take the source first so overlapping areas come out right.
    std::vector<uint32_t> copy;
    int copy_w = area.right - area.left;
    if (ss == dest.surface()) {
        copy.resize(static_cast<size_t>(copy_w) * (area.bottom - area.top));
        for (int yy = area.top; yy < area.bottom; ++yy)
            std::memcpy(&copy[static_cast<size_t>(yy - area.top) * copy_w], ss->scanline(yy + oy) + area.left + ox,
                        static_cast<size_t>(copy_w) * 4);
    }
    for (const RECT& c : dest.clip_rects()) {
        int l = std::max(area.left, c.left), r = std::min(area.right, c.right);
        int t = std::max(area.top, c.top), b = std::min(area.bottom, c.bottom);
        for (int yy = t; yy < b && l < r; ++yy) {
            const uint32_t* s = copy.empty() ? ss->scanline(yy + oy) + l + ox
                                             : &copy[static_cast<size_t>(yy - area.top) * copy_w + (l - area.left)];
            combine_row(dest.at(l, yy), s, r - l, rop, pattern, conv);
        }
    }
    return TRUE;
}

BOOL StretchBlt(HDC hdest, int x, int y, int width, int height, HDC hsrc, int sx, int sy, int swidth,
                int sheight, DWORD rop)
{
    if (!hdest)
        return FALSE;
    if (!uses_source(rop))
        return PatBlt(hdest, x, y, width, height, rop);
    if (!hsrc)
        return FALSE;
    DeviceContext& dest = *as_dc(hdest);
    DeviceContext& src = *as_dc(hsrc);
    POINT d0 = dest.to_device(POINT{x, y}), d1 = dest.to_device(POINT{x + width, y + height});
    POINT s0 = src.to_device(POINT{sx, sy}), s1 = src.to_device(POINT{sx + swidth, sy + sheight});
    int dw = d1.x - d0.x, dh = d1.y - d0.y, sw = s1.x - s0.x, sh = s1.y - s0.y;
    if (dw == 0 || dh == 0 || sw == 0 || sh == 0)
        return TRUE;
    if (dw == sw && dh == sh && dw > 0 && dh > 0) {
        // Same size after mapping: a plain copy in device pixels.
        SaveDC(hdest);
        SaveDC(hsrc);
        SetMapMode(hdest, MM_TEXT);
        SetMapMode(hsrc, MM_TEXT);
        SetWindowOrgEx(hdest, 0, 0, nullptr);
        SetViewportOrgEx(hdest, 0, 0, nullptr);
        SetWindowOrgEx(hsrc, 0, 0, nullptr);
        SetViewportOrgEx(hsrc, 0, 0, nullptr);
        BOOL ok = BitBlt(hdest, d0.x, d0.y, dw, dh, hsrc, s0.x, s0.y, rop);
        RestoreDC(hsrc, -1);
        RestoreDC(hdest, -1);
        return ok;
    }
    // Mirroring: a sign difference between the two widths (or heights) flips the picture.
    bool flip_x = (dw < 0) != (sw < 0), flip_y = (dh < 0) != (sh < 0);
    // A negative extent runs from the given point backwards, that point included.
    auto first = [](int from, int extent) { return extent < 0 ? from + extent + 1 : from; };
    int adw = std::abs(dw), adh = std::abs(dh), asw = std::abs(sw), ash = std::abs(sh);
    RECT area{first(d0.x, dw), first(d0.y, dh), first(d0.x, dw) + adw, first(d0.y, dh) + adh};
    int sleft = first(s0.x, sw) + src.origin().x, stop = first(s0.y, sh) + src.origin().y;
    // Nearest pixel: each destination pixel takes the source pixel under its centre.
    std::vector<int> xmap(static_cast<size_t>(adw)), ymap(static_cast<size_t>(adh));
    for (int i = 0; i < adw; ++i) {
        int j = flip_x ? adw - 1 - i : i;
        xmap[static_cast<size_t>(i)] = sleft + static_cast<int>((int64_t{2} * j + 1) * asw / (int64_t{2} * adw));
    }
    for (int i = 0; i < adh; ++i) {
        int j = flip_y ? adh - 1 - i : i;
        ymap[static_cast<size_t>(i)] = stop + static_cast<int>((int64_t{2} * j + 1) * ash / (int64_t{2} * adh));
    }
    BitmapObject* ss = src.surface();
    uint32_t pattern = 0;
    brush_pixel(dest, dest.state().brush, &pattern);
    Converter conv(dest, src);
    std::vector<uint32_t> snapshot;
    if (ss == dest.surface())
        for (int yy = 0; yy < ss->height(); ++yy)
            snapshot.insert(snapshot.end(), ss->scanline(yy), ss->scanline(yy) + ss->width());
    auto fetch = [&](int px, int py) {
        return snapshot.empty() ? ss->scanline(py)[px] : snapshot[static_cast<size_t>(py) * ss->width() + px];
    };
    for (const RECT& c : dest.clip_rects()) {
        int l = std::max(area.left, c.left), r = std::min(area.right, c.right);
        int t = std::max(area.top, c.top), b = std::min(area.bottom, c.bottom);
        for (int yy = t; yy < b; ++yy) {
            int py = ymap[static_cast<size_t>(yy - area.top)];
            if (py < 0 || py >= ss->height())
                continue;
            for (int xx = l; xx < r; ++xx) {
                int px = xmap[static_cast<size_t>(xx - area.left)];
                if (px >= 0 && px < ss->width())
                    combine_pixel(dest.at(xx, yy), fetch(px, py), rop, pattern, conv);
            }
        }
    }
    return TRUE;
}
