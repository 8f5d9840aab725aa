#pragma once
// A memory DC over a fresh 32-bit bitmap, for tests that check pixels.

#include <string>
#include <vector>

#include "platform/gdi/gdi.h"

class Canvas {
public:
    Canvas(int width, int height, COLORREF fill = RGB(255, 255, 255))
        : m_width(width), m_height(height)
    {
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateBitmap(width, height, 1, 32, nullptr);
        m_old = SelectObject(dc, bitmap);
        clear(fill);
    }
    ~Canvas()
    {
        SelectObject(dc, m_old);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    void clear(COLORREF c)
    {
        HBRUSH b = CreateSolidBrush(c);
        RECT r{0, 0, m_width, m_height};
        SaveDC(dc);
        SetViewportOrgEx(dc, 0, 0, nullptr);
        SetWindowOrgEx(dc, 0, 0, nullptr);
        SelectClipRgn(dc, nullptr);
        FillRect(dc, &r, b);
        RestoreDC(dc, -1);
        DeleteObject(b);
    }
    // Device pixel, read straight from the bitmap.
    COLORREF at(int x, int y) const
    {
        uint32_t p = gdi::BitmapScanline(bitmap, y)[x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    // The rows of the picture as text: '#' where the pixel is `ink`, '.' elsewhere.
    std::vector<std::string> map(COLORREF ink) const
    {
        std::vector<std::string> rows;
        for (int y = 0; y < m_height; ++y) {
            std::string row;
            for (int x = 0; x < m_width; ++x)
                row += at(x, y) == ink ? '#' : '.';
            rows.push_back(row);
        }
        return rows;
    }
    // Bounding box of the pixels different from `background` (empty if none).
    RECT ink_box(COLORREF background) const
    {
        RECT box{m_width, m_height, 0, 0};
        for (int y = 0; y < m_height; ++y)
            for (int x = 0; x < m_width; ++x)
                if (at(x, y) != background) {
                    box.left = std::min<LONG>(box.left, x);
                    box.top = std::min<LONG>(box.top, y);
                    box.right = std::max<LONG>(box.right, x + 1);
                    box.bottom = std::max<LONG>(box.bottom, y + 1);
                }
        if (box.right == 0)
            return {0, 0, 0, 0};
        return box;
    }
    int count(COLORREF c) const
    {
        int n = 0;
        for (int y = 0; y < m_height; ++y)
            for (int x = 0; x < m_width; ++x)
                n += at(x, y) == c;
        return n;
    }
    int width() const { return m_width; }
    int height() const { return m_height; }

    HDC dc;
    HBITMAP bitmap;

private:
    int m_width;
    int m_height;
    HGDIOBJ m_old;
};

inline bool operator==(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
