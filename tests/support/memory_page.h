#pragma once
// A page of memory standing in for a printer's: a DC over a 32-bit bitmap, white unless asked
// otherwise, whose pixels the tests read back.

#include "platform/win/afxwin.h"
#include "tests/support/pixels.h"

struct MemoryPage {
    CDC dc;
    CBitmap bitmap;
    CBitmap* old = nullptr;
    int width, height;

    MemoryPage(int w, int h, COLORREF paper = RGB(255, 255, 255)) : width(w), height(h)
    {
        dc.CreateCompatibleDC(nullptr);
        bitmap.CreateBitmap(w, h, 1, 32, nullptr);
        old = dc.SelectObject(&bitmap);
        dc.FillSolidRect(CRect(0, 0, w, h), paper);
    }
    ~MemoryPage() { dc.SelectObject(old); }
    MemoryPage(const MemoryPage&) = delete;
    MemoryPage& operator=(const MemoryPage&) = delete;

    // Pixels of `colour` in `area` (inclusive), read in device pixels whatever mapping mode a
    // printing left behind.
    int Count(const CRect& area, COLORREF colour)
    {
        ToDevicePixels();
        return CountColour(DcPixels(dc), area, colour);
    }
    void ToDevicePixels()
    {
        dc.SetMapMode(MM_TEXT);
        dc.SetWindowOrg(0, 0);
        dc.SetViewportOrg(0, 0);
    }
};
