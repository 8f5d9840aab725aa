// GDI objects: creation, stock objects, reference counting and GetObject.

#include <cstring>
#include <limits>
#include <mutex>

#include "platform/gdi/gdi.h"
#include "platform/gdi/objects.h"

namespace gdi {

namespace {

// Sizes beyond this are refused: 2^28 pixels is a 1 GiB buffer, far above any window or frame.
constexpr int64_t kMaxPixels = int64_t{1} << 28;

bool size_ok(int width, int height)
{
    return width >= 0 && height >= 0 && int64_t{width} * height <= kMaxPixels;
}

template <typename T>
T* make_stock(T* object)
{
    object->stock = true;
    return object;
}

}  // namespace

BitmapObject::BitmapObject(int width, int height, int bits_per_pixel)
    : HBITMAP__(OBJ_BITMAP), m_width(width), m_height(height), m_bpp(bits_per_pixel == 1 ? 1 : 32),
      m_pitch(width), m_storage(static_cast<size_t>(width) * height, kAlpha), m_bits(m_storage.data())
{
}

BitmapObject::BitmapObject(int width, int height, uint32_t* pixels, int pitch_pixels)
    : HBITMAP__(OBJ_BITMAP), m_width(width), m_height(height), m_bpp(32), m_pitch(pitch_pixels), m_bits(pixels)
{
}

uint32_t BitmapObject::pixel_for(COLORREF c) const
{
    if (!mono())
        return to_pixel(c);
    int sum = GetRValue(c) + GetGValue(c) + GetBValue(c);
    return sum >= 3 * 128 ? 0xFFFFFFFFu : kAlpha;
}

void retain(HGDIOBJ h)
{
    if (h)
        h->refs.fetch_add(1, std::memory_order_relaxed);
}

void release(HGDIOBJ h)
{
    if (h && h->refs.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete h;
}

BitmapObject* default_bitmap()
{
    static BitmapObject* bitmap = make_stock(new BitmapObject(1, 1, 1));
    return bitmap;
}

}  // namespace gdi

using namespace gdi;

HGDIOBJ GetStockObject(int index)
{
    static HGDIOBJ stock[DEFAULT_GUI_FONT + 1] = {};
    static std::once_flag once;
    std::call_once(once, [] {
        auto brush = [](COLORREF c, UINT style = BS_SOLID) { return make_stock(new BrushObject({style, c, 0})); };
        auto pen = [](COLORREF c, UINT style = PS_SOLID) { return make_stock(new PenObject({style, {1, 0}, c})); };
        stock[WHITE_BRUSH] = brush(RGB(255, 255, 255));
        stock[LTGRAY_BRUSH] = brush(RGB(192, 192, 192));
        stock[GRAY_BRUSH] = brush(RGB(128, 128, 128));
        stock[DKGRAY_BRUSH] = brush(RGB(64, 64, 64));
        stock[BLACK_BRUSH] = brush(RGB(0, 0, 0));
        stock[NULL_BRUSH] = brush(0, BS_NULL);
        stock[WHITE_PEN] = pen(RGB(255, 255, 255));
        stock[BLACK_PEN] = pen(RGB(0, 0, 0));
        stock[NULL_PEN] = pen(0, PS_NULL);
        LOGFONT lf{};
        // The system font is a bold sans with a 16-pixel cell; the GUI font is 8 points.
        lf.lfHeight = 16;
        lf.lfWeight = FW_BOLD;
        std::strcpy(lf.lfFaceName, "System");
        stock[SYSTEM_FONT] = make_stock(new FontObject(lf));
        lf.lfHeight = -11;
        lf.lfWeight = FW_NORMAL;
        std::strcpy(lf.lfFaceName, "MS Shell Dlg");
        stock[DEFAULT_GUI_FONT] = make_stock(new FontObject(lf));
        lf.lfHeight = -12;
        std::strcpy(lf.lfFaceName, "MS Sans Serif");
        stock[ANSI_VAR_FONT] = make_stock(new FontObject(lf));
    });
    if (index < 0 || index > DEFAULT_GUI_FONT)
        return nullptr;
    return stock[index];
}

BOOL DeleteObject(HGDIOBJ object)
{
    if (!object)
        return FALSE;
    if (object->stock)
        return TRUE;
    if (object->deleted.exchange(true))
        return FALSE;
    release(object);
    return TRUE;
}

DWORD GetObjectType(HGDIOBJ object)
{
    return object ? static_cast<DWORD>(object->objectType) : 0;
}

int GetObject(HGDIOBJ object, int size, void* out)
{
    auto give = [&](const auto& value) -> int {
        int n = static_cast<int>(sizeof(value));
        if (!out)
            return n;
        if (size < n)
            return 0;
        std::memcpy(out, &value, n);
        return n;
    };
    if (BitmapObject* b = as_bitmap(object)) {
        BITMAP bm{};
        bm.bmWidth = b->width();
        bm.bmHeight = b->height();
        bm.bmPlanes = 1;
        bm.bmBitsPixel = static_cast<WORD>(b->bits_per_pixel());
        bm.bmWidthBytes = b->mono() ? (b->width() + 15) / 16 * 2 : b->width() * 4;
        return give(bm);
    }
    if (PenObject* p = as_pen(object))
        return give(p->logpen);
    if (BrushObject* b = as_brush(object))
        return give(b->logbrush);
    if (FontObject* f = as_font(object))
        return give(f->logfont);
    return 0;
}

HPEN CreatePen(int style, int width, COLORREF color)
{
    LOGPEN lp{static_cast<UINT>(style), {width, 0}, color};
    return CreatePenIndirect(&lp);
}

HPEN CreatePenIndirect(const LOGPEN* logpen)
{
    if (!logpen || logpen->lopnStyle > PS_INSIDEFRAME)
        return nullptr;
    return new PenObject(*logpen);
}

HBRUSH CreateSolidBrush(COLORREF color)
{
    LOGBRUSH lb{BS_SOLID, color, 0};
    return CreateBrushIndirect(&lb);
}

HBRUSH CreateBrushIndirect(const LOGBRUSH* logbrush)
{
    if (!logbrush || (logbrush->lbStyle != BS_SOLID && logbrush->lbStyle != BS_NULL))
        return nullptr;
    return new BrushObject(*logbrush);
}

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bits_per_pixel, const void* bits)
{
    if (planes != 1 || (bits_per_pixel != 1 && bits_per_pixel != 32) || !size_ok(width, height))
        return nullptr;
    auto* bitmap = new BitmapObject(width, height, static_cast<int>(bits_per_pixel));
    if (bits_per_pixel == 1) {
        const auto* src = static_cast<const uint8_t*>(bits);
        size_t row_bytes = static_cast<size_t>((width + 15) / 16 * 2);
        for (int y = 0; y < height; ++y) {
            uint32_t* row = bitmap->scanline(y);
            for (int x = 0; x < width; ++x) {
                bool set = src && (src[y * row_bytes + x / 8] & (0x80 >> (x % 8)));
                row[x] = set ? 0xFFFFFFFFu : kAlpha;
            }
        }
    } else if (bits) {
        const auto* src = static_cast<const uint32_t*>(bits);
        for (int y = 0; y < height; ++y)
            std::memcpy(bitmap->scanline(y), src + static_cast<size_t>(y) * width, static_cast<size_t>(width) * 4);
    }
    return bitmap;
}

HBITMAP gdi::CreateBitmapOver(int width, int height, void* pixels, int pitch)
{
    if (!pixels || !size_ok(width, height) || pitch % 4 != 0 || pitch / 4 < width)
        return nullptr;
    return new BitmapObject(width, height, static_cast<uint32_t*>(pixels), pitch / 4);
}

uint32_t* gdi::BitmapScanline(HBITMAP bitmap, int y)
{
    BitmapObject* b = as_bitmap(bitmap);
    if (!b || y < 0 || y >= b->height())
        return nullptr;
    return b->scanline(y);
}

HFONT CreateFontIndirect(const LOGFONT* logfont)
{
    if (!logfont)
        return nullptr;
    LOGFONT lf = *logfont;
    lf.lfFaceName[LF_FACESIZE - 1] = '\0';
    return new FontObject(lf);
}

HFONT CreateFont(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                 DWORD underline, DWORD strikeout, DWORD charset, DWORD out_precision,
                 DWORD clip_precision, DWORD quality, DWORD pitch_and_family, const char* face)
{
    LOGFONT lf{};
    lf.lfHeight = height;
    lf.lfWidth = width;
    lf.lfEscapement = escapement;
    lf.lfOrientation = orientation;
    lf.lfWeight = weight;
    lf.lfItalic = static_cast<BYTE>(italic);
    lf.lfUnderline = static_cast<BYTE>(underline);
    lf.lfStrikeOut = static_cast<BYTE>(strikeout);
    lf.lfCharSet = static_cast<BYTE>(charset);
    lf.lfOutPrecision = static_cast<BYTE>(out_precision);
    lf.lfClipPrecision = static_cast<BYTE>(clip_precision);
    lf.lfQuality = static_cast<BYTE>(quality);
    lf.lfPitchAndFamily = static_cast<BYTE>(pitch_and_family);
    if (face)
        std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    return CreateFontIndirect(&lf);
}

HFONT CreatePointFontHandle(int point_tenths, const char* face)
{
    LOGFONT lf{};
    // Rounded as MulDiv rounds: 90 tenths (9 pt) at 96 DPI is 12 pixels.
    lf.lfHeight = -((point_tenths * 96 + 360) / 720);
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    if (face)
        std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    return CreateFontIndirect(&lf);
}
