#pragma once
// Reading pictures back in the drawing tests: pixels through any reader (a window, a memory DC,
// a drawn expectation), compared whole with what they should be, counted, or searched for ink.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "platform/win/afxwin.h"

using PixelReader = std::function<COLORREF(int x, int y)>;

inline PixelReader WindowPixels(HWND hwnd)
{
    return [hwnd](int x, int y) { return qv::win::ReadPixel(hwnd, x, y); };
}

inline PixelReader DcPixels(CDC& dc)
{
    return [&dc](int x, int y) { return dc.GetPixel(x, y); };
}

// Checks every pixel of the w x h area at the origin; the first mismatches are reported by place,
// the count of all of them against `what`.
inline void ExpectSamePixels(const PixelReader& got, const PixelReader& want, int w, int h,
                             const std::string& what = "")
{
    int wrong = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const COLORREF g = got(x, y), e = want(x, y);
            if (g != e && ++wrong < 4)
                ADD_FAILURE() << what << ": pixel " << x << "," << y << std::hex << " got " << g << " expected " << e;
        }
    EXPECT_EQ(wrong, 0) << what;
}

// Pixels of `colour` in `area` (inclusive).
inline int CountColour(const PixelReader& read, const CRect& area, COLORREF colour)
{
    int n = 0;
    for (int y = area.top; y <= area.bottom; ++y)
        for (int x = area.left; x <= area.right; ++x)
            n += read(x, y) == colour;
    return n;
}

// The bounding box (inclusive) of the pixels in `area` (inclusive) where `hit` holds, or an empty
// rectangle (left > right) when there are none.
inline CRect BoundsWhere(const CRect& area, const std::function<bool(int, int)>& hit)
{
    CRect box(area.right + 1, area.bottom + 1, area.left - 1, area.top - 1);
    for (int y = area.top; y <= area.bottom; ++y)
        for (int x = area.left; x <= area.right; ++x)
            if (hit(x, y)) {
                box.left = std::min<int>(box.left, x);
                box.right = std::max<int>(box.right, x);
                box.top = std::min<int>(box.top, y);
                box.bottom = std::max<int>(box.bottom, y);
            }
    return box;
}

// The box of the pixels in `area` that differ from the background `back`.
inline CRect InkBox(const PixelReader& read, const CRect& area, COLORREF back)
{
    return BoundsWhere(area, [&](int x, int y) { return read(x, y) != back; });
}
