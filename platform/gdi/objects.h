#pragma once
// Layer-internal: the objects behind the GDI handles, and pixel helpers.

#include <cstdint>
#include <vector>

#include "platform/gdi/gdi_types.h"
#include "platform/gdi/region.h"

namespace gdi {

// Pixels are 32-bit BGRA in memory (0xAARRGGBB as a little-endian word). The layer writes alpha
// 0xFF; pictures read from files may carry their own alpha, which blits copy unchanged.
constexpr uint32_t kAlpha = 0xFF000000u;
constexpr uint32_t kRgbMask = 0x00FFFFFFu;

constexpr uint32_t to_pixel(COLORREF c)
{
    return kAlpha | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}
constexpr COLORREF to_colorref(uint32_t p)
{
    return ((p >> 16) & 0xFF) | (p & 0xFF00) | ((p & 0xFF) << 16);
}

// One-bit bitmaps keep one word per pixel, holding only black or white, so that every drawing
// routine works on both kinds alike; colours are mapped to the nearer of the two on the way in.
class BitmapObject final : public HBITMAP__ {
public:
    BitmapObject(int width, int height, int bits_per_pixel);
    // Wraps pixels owned by someone else (a video frame, a window's backing buffer).
    BitmapObject(int width, int height, uint32_t* pixels, int pitch_pixels);

    int width() const { return m_width; }
    int height() const { return m_height; }
    bool mono() const { return m_bpp == 1; }
    int bits_per_pixel() const { return m_bpp; }
    int pitch() const { return m_pitch; }
    uint32_t* scanline(int y) { return m_bits + static_cast<ptrdiff_t>(y) * m_pitch; }
    const uint32_t* scanline(int y) const { return m_bits + static_cast<ptrdiff_t>(y) * m_pitch; }
    // The pixel value a colour takes on this bitmap.
    uint32_t pixel_for(COLORREF c) const;

private:
    int m_width;
    int m_height;
    int m_bpp;
    int m_pitch;
    std::vector<uint32_t> m_storage;
    uint32_t* m_bits;
};

class PenObject final : public HPEN__ {
public:
    explicit PenObject(const LOGPEN& lp) : HPEN__(OBJ_PEN), logpen(lp) {}
    LOGPEN logpen;
};

class BrushObject final : public HBRUSH__ {
public:
    explicit BrushObject(const LOGBRUSH& lb) : HBRUSH__(OBJ_BRUSH), logbrush(lb) {}
    bool hollow() const { return logbrush.lbStyle == BS_NULL; }
    LOGBRUSH logbrush;
};

class FontObject final : public HFONT__ {
public:
    explicit FontObject(const LOGFONT& lf) : HFONT__(OBJ_FONT), logfont(lf) {}
    LOGFONT logfont;
};

class RegionObject final : public HRGN__ {
public:
    RegionObject() : HRGN__(OBJ_REGION) {}
    Region region;
};

inline BitmapObject* as_bitmap(HGDIOBJ h) { return h && h->objectType == OBJ_BITMAP ? static_cast<BitmapObject*>(h) : nullptr; }
inline PenObject* as_pen(HGDIOBJ h) { return h && h->objectType == OBJ_PEN ? static_cast<PenObject*>(h) : nullptr; }
inline BrushObject* as_brush(HGDIOBJ h) { return h && h->objectType == OBJ_BRUSH ? static_cast<BrushObject*>(h) : nullptr; }
inline FontObject* as_font(HGDIOBJ h) { return h && h->objectType == OBJ_FONT ? static_cast<FontObject*>(h) : nullptr; }
inline RegionObject* as_region(HGDIOBJ h) { return h && h->objectType == OBJ_REGION ? static_cast<RegionObject*>(h) : nullptr; }

void retain(HGDIOBJ h);
void release(HGDIOBJ h);

// The 1x1 one-bit bitmap every new memory DC starts with.
BitmapObject* default_bitmap();

}  // namespace gdi
