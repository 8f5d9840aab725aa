// Raster operations, mono conversions and stretching.

#include <gtest/gtest.h>

#include <climits>

#include "tests/platform_gdi/canvas.h"

namespace {

// Truth tables on a pixel: each operation against its bitwise meaning, on values whose bits
// differ in every combination.
TEST(Blit, RasterOperationsFollowTheirTruthTables)
{
    const COLORREF src = RGB(0xCC, 0xF0, 0x0F), dst = RGB(0xAA, 0x3C, 0x55), pat = RGB(0xF0, 0x66, 0x99);
    struct Case {
        DWORD rop;
        BYTE (*f)(BYTE p, BYTE s, BYTE d);
    };
    const Case cases[] = {
        {SRCCOPY, [](BYTE, BYTE s, BYTE) { return s; }},
        {SRCAND, [](BYTE, BYTE s, BYTE d) { return BYTE(s & d); }},
        {SRCPAINT, [](BYTE, BYTE s, BYTE d) { return BYTE(s | d); }},
        {SRCINVERT, [](BYTE, BYTE s, BYTE d) { return BYTE(s ^ d); }},
        {SRCERASE, [](BYTE, BYTE s, BYTE d) { return BYTE(s & ~d); }},
        {NOTSRCCOPY, [](BYTE, BYTE s, BYTE) { return BYTE(~s); }},
        {MERGECOPY, [](BYTE p, BYTE s, BYTE) { return BYTE(p & s); }},
        {DSTINVERT, [](BYTE, BYTE, BYTE d) { return BYTE(~d); }},
        {PATCOPY, [](BYTE p, BYTE, BYTE) { return p; }},
        {PATINVERT, [](BYTE p, BYTE, BYTE d) { return BYTE(p ^ d); }},
        {BLACKNESS, [](BYTE, BYTE, BYTE) { return BYTE(0); }},
        {WHITENESS, [](BYTE, BYTE, BYTE) { return BYTE(0xFF); }},
    };
    Canvas s(2, 2, src);
    for (const Case& k : cases) {
        Canvas d(3, 3, dst);
        HBRUSH brush = CreateSolidBrush(pat);
        HGDIOBJ old = SelectObject(d.dc, brush);
        ASSERT_TRUE(BitBlt(d.dc, 1, 1, 1, 1, s.dc, 0, 0, k.rop));
        COLORREF want = RGB(k.f(GetRValue(pat), GetRValue(src), GetRValue(dst)),
                            k.f(GetGValue(pat), GetGValue(src), GetGValue(dst)),
                            k.f(GetBValue(pat), GetBValue(src), GetBValue(dst)));
        EXPECT_EQ(d.at(1, 1), want) << std::hex << k.rop;
        EXPECT_EQ(d.at(0, 0), dst);
        EXPECT_EQ(d.at(2, 2), dst);
        SelectObject(d.dc, old);
        DeleteObject(brush);
    }
}

TEST(Blit, MaskedSpriteWithAndThenInvert)
{
    // The classic transparent sprite: AND a mask (white = keep), then XOR the sprite (black
    // where transparent).
    Canvas back(2, 1, RGB(10, 200, 30));
    Canvas mask(2, 1, RGB(255, 255, 255));
    SetPixel(mask.dc, 0, 0, RGB(0, 0, 0));
    Canvas sprite(2, 1, RGB(0, 0, 0));
    SetPixel(sprite.dc, 0, 0, RGB(90, 80, 70));
    BitBlt(back.dc, 0, 0, 2, 1, mask.dc, 0, 0, SRCAND);
    BitBlt(back.dc, 0, 0, 2, 1, sprite.dc, 0, 0, SRCINVERT);
    EXPECT_EQ(back.at(0, 0), RGB(90, 80, 70));
    EXPECT_EQ(back.at(1, 0), RGB(10, 200, 30));
}

TEST(Blit, ColourToMonoAndBackThroughTheDcColours)
{
    Canvas colour(3, 1, RGB(255, 0, 255));
    SetPixel(colour.dc, 1, 0, RGB(1, 2, 3));
    HDC mono_dc = CreateCompatibleDC(nullptr);
    HBITMAP mono = CreateBitmap(3, 1, 1, 1, nullptr);
    HGDIOBJ old = SelectObject(mono_dc, mono);
    BITMAP bm;
    ASSERT_EQ(GetObject(mono, sizeof bm, &bm), int(sizeof bm));
    EXPECT_EQ(bm.bmBitsPixel, 1);
    EXPECT_EQ(bm.bmWidthBytes, 2);

    // Colour -> mono: the source's background colour becomes 1 (white), the rest 0.
    SetBkColor(colour.dc, RGB(255, 0, 255));
    BitBlt(mono_dc, 0, 0, 3, 1, colour.dc, 0, 0, SRCCOPY);
    EXPECT_EQ(GetPixel(mono_dc, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(mono_dc, 1, 0), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(mono_dc, 2, 0), RGB(255, 255, 255));

    // Mono -> colour: 0 becomes the destination's text colour, 1 its background colour.
    Canvas out(3, 1);
    SetTextColor(out.dc, RGB(11, 22, 33));
    SetBkColor(out.dc, RGB(44, 55, 66));
    BitBlt(out.dc, 0, 0, 3, 1, mono_dc, 0, 0, SRCCOPY);
    EXPECT_EQ(out.at(0, 0), RGB(44, 55, 66));
    EXPECT_EQ(out.at(1, 0), RGB(11, 22, 33));
    EXPECT_EQ(out.at(2, 0), RGB(44, 55, 66));

    // A memory DC's own bitmap is one-bit, so bitmaps compatible with it are too.
    HBITMAP compatible = CreateCompatibleBitmap(mono_dc, 4, 4);
    GetObject(compatible, sizeof bm, &bm);
    EXPECT_EQ(bm.bmBitsPixel, 1);
    DeleteObject(compatible);
    SelectObject(mono_dc, old);
    DeleteObject(mono);
    DeleteDC(mono_dc);
}

TEST(Blit, MonoBitsFromMemoryAreRowsPaddedTo16Bits)
{
    const BYTE bits[] = {0xA0, 0x00, 0x40, 0x00};  // rows "1 0 1" and "0 1 0"
    HBITMAP mono = CreateBitmap(3, 2, 1, 1, bits);
    EXPECT_EQ(gdi::BitmapScanline(mono, 0)[0] & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(gdi::BitmapScanline(mono, 0)[1] & 0xFFFFFF, 0u);
    EXPECT_EQ(gdi::BitmapScanline(mono, 1)[1] & 0xFFFFFF, 0xFFFFFFu);
    DeleteObject(mono);
}

TEST(Blit, SourceIsClippedToTheSourceBitmap)
{
    Canvas src(4, 4, RGB(0, 0, 255));
    Canvas dst(8, 8);
    BitBlt(dst.dc, 0, 0, 8, 8, src.dc, -2, -2, SRCCOPY);
    // Only the destination pixels with a source pixel change.
    EXPECT_EQ(dst.ink_box(RGB(255, 255, 255)), (RECT{2, 2, 6, 6}));
}

TEST(Blit, OverlappingCopyWithinOneBitmap)
{
    Canvas c(6, 1);
    for (int x = 0; x < 6; ++x)
        SetPixel(c.dc, x, 0, RGB(x, 0, 0));
    BitBlt(c.dc, 1, 0, 5, 1, c.dc, 0, 0, SRCCOPY);
    for (int x = 1; x < 6; ++x)
        EXPECT_EQ(c.at(x, 0), RGB(x - 1, 0, 0));
}

TEST(Stretch, NearestPixelEnlargementAndMirror)
{
    Canvas src(4, 1);
    for (int x = 0; x < 4; ++x)
        SetPixel(src.dc, x, 0, RGB(x * 10, 0, 0));
    Canvas dst(6, 1);
    StretchBlt(dst.dc, 0, 0, 6, 1, src.dc, 0, 0, 4, 1, SRCCOPY);
    const int want[] = {0, 1, 1, 2, 3, 3};
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(dst.at(x, 0), RGB(want[x] * 10, 0, 0)) << x;
    Canvas shrink(2, 1);
    StretchBlt(shrink.dc, 0, 0, 2, 1, src.dc, 0, 0, 4, 1, SRCCOPY);
    EXPECT_EQ(shrink.at(0, 0), RGB(10, 0, 0));
    EXPECT_EQ(shrink.at(1, 0), RGB(30, 0, 0));
    StretchBlt(dst.dc, 5, 0, -6, 1, src.dc, 0, 0, 4, 1, SRCCOPY);
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(dst.at(x, 0), RGB(want[5 - x] * 10, 0, 0)) << x;
}

TEST(Stretch, OneAndAHalfTimesFillsTheWholeTarget)
{
    Canvas src(64, 36, RGB(9, 9, 9));
    HBITMAP big = CreateCompatibleBitmap(src.dc, 96, 54);
    HDC dc = CreateCompatibleDC(src.dc);
    HGDIOBJ old = SelectObject(dc, big);
    StretchBlt(dc, 0, 0, 96, 54, src.dc, 0, 0, 64, 36, SRCCOPY);
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(9, 9, 9));
    EXPECT_EQ(GetPixel(dc, 95, 53), RGB(9, 9, 9));
    SelectObject(dc, old);
    DeleteObject(big);
    DeleteDC(dc);
}

}  // namespace

TEST(Blit, ExtentsBeyondTheCoordinateRangeAreRefusedUntouched)
{
    Canvas back(2, 1, RGB(10, 20, 30));
    Canvas src(2, 1, RGB(200, 100, 50));
    EXPECT_FALSE(BitBlt(back.dc, 0, 0, INT_MIN, 1, src.dc, 0, 0, SRCCOPY));
    EXPECT_FALSE(BitBlt(back.dc, INT_MAX, 0, 2, 1, src.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(back.at(0, 0), RGB(10, 20, 30));
    EXPECT_TRUE(BitBlt(back.dc, 0, 0, 2, 1, src.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(back.at(1, 0), RGB(200, 100, 50));
}
