#pragma once
// Bitmap resources drawn by the tests: a picture from a colour function, written as the 24-bit
// BMP file a resource compiler would hold and registered under an id for LoadBitmap.

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/gdi/image.h"
#include "platform/win/afxwin.h"

// A 24-bit bottom-up BMP file of the given size, pixel colours from `colour`.
inline std::vector<uint8_t> Bmp24(int w, int h, const std::function<COLORREF(int, int)>& colour)
{
    const int stride = (w * 3 + 3) & ~3;
    const uint32_t image = static_cast<uint32_t>(stride * h), file = 54 + image;
    std::vector<uint8_t> out(file, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    out[0] = 'B';
    out[1] = 'M';
    put32(2, file);
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(w));
    put32(22, static_cast<uint32_t>(h));
    out[26] = 1;
    out[28] = 24;
    put32(34, image);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const COLORREF c = colour(x, y);
            uint8_t* p = &out[54 + static_cast<size_t>(h - 1 - y) * stride + x * 3];
            p[0] = GetBValue(c);
            p[1] = GetGValue(c);
            p[2] = GetRValue(c);
        }
    return out;
}

inline void RegisterPicture(UINT id, int w, int h, const std::function<COLORREF(int, int)>& colour)
{
    gdi::RegisterBitmapResource(id, Bmp24(w, h, colour));
}

inline void RegisterSolid(UINT id, int w, int h, COLORREF colour)
{
    RegisterPicture(id, w, h, [colour](int, int) { return colour; });
}
