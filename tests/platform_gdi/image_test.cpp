// Image files, checked against ffprobe/ffmpeg as an independent decoder, and bitmap resources.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "platform/gdi/afxgdi.h"
#include "platform/gdi/image.h"
#include "tests/platform_gdi/canvas.h"
#include "tests/support/tempdir.h"

namespace {

std::string run(const std::string& command)
{
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    pclose(p);
    return out;
}

std::string probe(const std::string& path)
{
    return run("ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,width,height -of csv=p=0 '" + path +
               "' 2>/dev/null");
}

// A picture with a different colour in nearly every pixel.
void paint_pattern(Canvas& c)
{
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x)
            SetPixel(c.dc, x, y, RGB(x * 7, y * 11, (x * y) & 0xFF));
}

TEST(ImageFile, BmpDecodesWithFfmpegToTheSamePixels)
{
    TempDir dir;
    Canvas c(37, 23);  // odd width: rows need padding
    paint_pattern(c);
    std::string path = dir.file("snap.bmp");
    ASSERT_TRUE(gdi::WriteBmpFile(c.bitmap, path));
    EXPECT_EQ(probe(path), "bmp,37,23\n");
    std::string raw = run("ffmpeg -v error -i '" + path + "' -f rawvideo -pix_fmt rgb24 - 2>/dev/null");
    ASSERT_EQ(raw.size(), 37u * 23 * 3);
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x) {
            const auto* p = reinterpret_cast<const unsigned char*>(&raw[(y * 37 + x) * 3]);
            ASSERT_EQ(RGB(p[0], p[1], p[2]), c.at(x, y)) << x << "," << y;
        }
    // And our own reader gives them back.
    HBITMAP back = gdi::ReadImageFile(path);
    ASSERT_NE(back, nullptr);
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x)
            ASSERT_EQ(gdi::BitmapScanline(back, y)[x] & 0xFFFFFF, gdi::BitmapScanline(c.bitmap, y)[x] & 0xFFFFFF);
    DeleteObject(back);
}

TEST(ImageFile, JpegAndBmpThroughCImageByExtension)
{
    TempDir dir;
    Canvas c(64, 48, RGB(200, 30, 30));
    CImage image;
    image.Attach(c.bitmap);
    EXPECT_EQ(image.GetWidth(), 64);
    EXPECT_EQ(image.Save(dir.file("a.jpg")), S_OK);
    EXPECT_EQ(image.Save(dir.file("b.JPEG")), S_OK);
    EXPECT_EQ(image.Save(dir.file("c.bmp")), S_OK);
    EXPECT_EQ(image.Save(dir.file("d.gif")), E_FAIL);
    EXPECT_EQ(image.Save(dir.file("missing/e.jpg")), E_FAIL);
    image.Detach();
    EXPECT_EQ(probe(dir.file("a.jpg")), "mjpeg,64,48\n");
    EXPECT_EQ(probe(dir.file("b.JPEG")), "mjpeg,64,48\n");
    EXPECT_EQ(probe(dir.file("c.bmp")), "bmp,64,48\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("d.gif")));
    // The colour survives the lossy encoding closely.
    std::string raw = run("ffmpeg -v error -i '" + dir.file("a.jpg") + "' -f rawvideo -pix_fmt rgb24 - 2>/dev/null");
    ASSERT_EQ(raw.size(), 64u * 48 * 3);
    auto* p = reinterpret_cast<const unsigned char*>(&raw[(24 * 64 + 32) * 3]);
    EXPECT_NEAR(p[0], 200, 6);
    EXPECT_NEAR(p[1], 30, 6);
    EXPECT_NEAR(p[2], 30, 6);
}

TEST(ImageFile, PngMadeByFfmpegReadsBack)
{
    TempDir dir;
    Canvas c(19, 9);
    paint_pattern(c);
    ASSERT_TRUE(gdi::WriteBmpFile(c.bitmap, dir.file("p.bmp")));
    run("ffmpeg -v error -y -i '" + dir.file("p.bmp") + "' -pix_fmt rgba '" + dir.file("p.png") + "' 2>/dev/null");
    HBITMAP png = gdi::ReadImageFile(dir.file("p.png"));
    ASSERT_NE(png, nullptr);
    BITMAP bm;
    GetObject(png, sizeof bm, &bm);
    EXPECT_EQ(bm.bmWidth, 19);
    EXPECT_EQ(bm.bmHeight, 9);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 19; ++x)
            ASSERT_EQ(gdi::BitmapScanline(png, y)[x] & 0xFFFFFF, gdi::BitmapScanline(c.bitmap, y)[x] & 0xFFFFFF);
    DeleteObject(png);
}

std::vector<uint8_t> bmp_header(int width, int height, int bpp, int colours, size_t image_size)
{
    std::vector<uint8_t> b(54 + 4 * colours);
    auto put = [&](size_t at, uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put(2, static_cast<uint32_t>(b.size() + image_size), 4);
    put(10, static_cast<uint32_t>(b.size()), 4);
    put(14, 40, 4);
    put(18, static_cast<uint32_t>(width), 4);
    put(22, static_cast<uint32_t>(height), 4);
    put(26, 1, 2);
    put(28, static_cast<uint32_t>(bpp), 2);
    put(46, static_cast<uint32_t>(colours), 4);
    return b;
}

TEST(ImageFile, PalettedAndOneBitBmps)
{
    // 1 bit, black-and-white palette, 3x2 top-down: a one-bit bitmap.
    std::vector<uint8_t> mono = bmp_header(3, -2, 1, 2, 8);
    mono[54 + 4] = mono[54 + 5] = mono[54 + 6] = 0xFF;  // index 1 white
    const uint8_t rows[] = {0xA0, 0, 0, 0, 0x40, 0, 0, 0};
    mono.insert(mono.end(), rows, rows + 8);
    HBITMAP m = gdi::ReadImage(mono.data(), mono.size());
    ASSERT_NE(m, nullptr);
    BITMAP bm;
    GetObject(m, sizeof bm, &bm);
    EXPECT_EQ(bm.bmBitsPixel, 1);
    EXPECT_EQ(gdi::BitmapScanline(m, 0)[0] & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(gdi::BitmapScanline(m, 0)[1] & 0xFFFFFF, 0u);
    EXPECT_EQ(gdi::BitmapScanline(m, 1)[1] & 0xFFFFFF, 0xFFFFFFu);
    DeleteObject(m);

    // 8 bits, bottom-up, two colours used.
    std::vector<uint8_t> pal = bmp_header(2, 2, 8, 2, 8);
    pal[54 + 2] = 0xFF;  // index 0: red (B G R x)
    pal[54 + 4] = 0xFF;  // index 1: blue
    const uint8_t px[] = {0, 1, 0, 0, 1, 1, 0, 0};  // bottom row first
    pal.insert(pal.end(), px, px + 8);
    HBITMAP p = gdi::ReadImage(pal.data(), pal.size());
    ASSERT_NE(p, nullptr);
    GetObject(p, sizeof bm, &bm);
    EXPECT_EQ(bm.bmBitsPixel, 32);
    EXPECT_EQ(gdi::BitmapScanline(p, 0)[0] & 0xFFFFFF, 0x0000FFu);  // top row: blue blue
    EXPECT_EQ(gdi::BitmapScanline(p, 1)[0] & 0xFFFFFF, 0xFF0000u);  // bottom row: red blue
    EXPECT_EQ(gdi::BitmapScanline(p, 1)[1] & 0xFFFFFF, 0x0000FFu);
    DeleteObject(p);
}

TEST(ImageFile, DamagedFilesAreRefused)
{
    std::vector<uint8_t> bmp = bmp_header(100, 100, 24, 0, 0);
    EXPECT_EQ(gdi::ReadImage(bmp.data(), bmp.size()), nullptr);  // pixels missing
    std::vector<uint8_t> huge = bmp_header(0x7FFFFFFF, 0x7FFFFFFF, 24, 0, 0);
    EXPECT_EQ(gdi::ReadImage(huge.data(), huge.size()), nullptr);
    std::vector<uint8_t> palette = bmp_header(2, 2, 8, 100000, 0);
    EXPECT_EQ(gdi::ReadImage(palette.data(), 60), nullptr);
    const char png_start[] = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR";
    EXPECT_EQ(gdi::ReadImage(png_start, sizeof png_start), nullptr);
    EXPECT_EQ(gdi::ReadImage("GIF89a", 6), nullptr);
    EXPECT_EQ(gdi::ReadImageFile("/nonexistent/x.bmp"), nullptr);
}

TEST(Resource, BitmapsLoadByIdAsFreshObjects)
{
    TempDir dir;
    Canvas c(5, 4, RGB(1, 2, 3));
    ASSERT_TRUE(gdi::WriteBmpFile(c.bitmap, dir.file("r.bmp")));
    ASSERT_TRUE(gdi::RegisterBitmapResourceFile(130, dir.file("r.bmp")));
    auto id = [](uintptr_t n) { return reinterpret_cast<LPCSTR>(n); };  // MAKEINTRESOURCE
    HBITMAP a = LoadBitmap(nullptr, id(130));
    CBitmap b;
    ASSERT_NE(a, nullptr);
    ASSERT_TRUE(b.LoadBitmap(130));
    EXPECT_NE(a, static_cast<HBITMAP>(b));
    BITMAP bm;
    b.GetBitmap(&bm);
    EXPECT_EQ(bm.bmWidth, 5);
    EXPECT_EQ(bm.bmHeight, 4);
    EXPECT_EQ(LoadBitmap(nullptr, id(131)), nullptr);
    EXPECT_EQ(LoadBitmap(nullptr, "IDB_NAMED"), nullptr);
    gdi::UnregisterBitmapResource(130);
    EXPECT_EQ(LoadBitmap(nullptr, id(130)), nullptr);
    EXPECT_FALSE(gdi::RegisterBitmapResourceFile(132, dir.file("none.bmp")));
    DeleteObject(a);
}

}  // namespace
