#include "engine/Jtv.h"
#include "engine/JtvCtrl.h"
#include "engine/Snapshot.h"
#include "platform/gdi/gdi.h"
#include "tests/support/media_probe.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {


// "codec width height" of the file's picture, by ffprobe.
std::string Probe(const std::string& path)
{
    std::string s = mediaprobe::Shell("ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,width,height "
                        "-of csv=p=0 '" + path + "'");
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    return s;
}

// The file's pixels as BGRA words, decoded by ffmpeg.
std::vector<std::uint32_t> Decode(const std::string& path)
{
    const std::string raw = mediaprobe::Shell("ffmpeg -v error -i '" + path + "' -f rawvideo -pix_fmt bgra -");
    std::vector<std::uint32_t> px(raw.size() / 4);
    std::memcpy(px.data(), raw.data(), px.size() * 4);
    return px;
}

// A picture in which neighbouring pixels all differ.
std::vector<std::uint32_t> Pattern(int w, int h)
{
    std::vector<std::uint32_t> px(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            px[static_cast<std::size_t>(y) * w + x] =
                0xFF000000u | static_cast<std::uint32_t>((x * 37 + y * 11) & 0xFF) << 16 |
                static_cast<std::uint32_t>((x * 5 + y * 53) & 0xFF) << 8 | static_cast<std::uint32_t>((x ^ y) & 0xFF);
    return px;
}

// Saves the picture through a DC over it, as the engine does with a channel's picture.
bool Save(CJtvCtrl& engine, std::vector<std::uint32_t>& px, int w, int h)
{
    HBITMAP b = gdi::CreateBitmapOver(w, h, px.data(), w * 4);
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, b);
    const bool ok = SaveSnapshot(engine, 0, dc, w, h);
    DeleteDC(dc);
    DeleteObject(b);
    return ok;
}

}  // namespace

TEST(SnapshotName, TagReplacedByTheFormatsExtension)
{
    EXPECT_EQ(SnapshotFileName("/a/img-2024-01-02_03-04-05_tag", 1), "/a/img-2024-01-02_03-04-05_.jpg");
    EXPECT_EQ(SnapshotFileName("/a/img-2024-01-02_03-04-05_tag", 0), "/a/img-2024-01-02_03-04-05_.bmp");
    EXPECT_EQ(SnapshotFileName("/a/xtag", -7), "/a/x.jpg");
    EXPECT_EQ(SnapshotFileName("ab", 1), ".jpg");
    EXPECT_EQ(SnapshotFileName("abc", 0), ".bmp");
}

TEST(SnapshotSave, BmpIsTheNearestPixelEnlargementByOneAndAHalf)
{
    TempDir dir;
    auto engine = std::make_unique<CJtvCtrl>();
    engine->m_snapshotFormat = 0;
    engine->m_snapshotName = dir.file("shotXYZ");
    const int w = 321, h = 241;  // odd sizes: 481 x 361
    auto px = Pattern(w, h);
    ASSERT_TRUE(Save(*engine, px, w, h));
    const std::string path = dir.file("shot.bmp");
    EXPECT_EQ(engine->m_snapshotName, dir.file("shot")) << "the stored name loses its tag as well";
    EXPECT_EQ(Probe(path), "bmp,481,361");
    const auto out = Decode(path);
    ASSERT_EQ(out.size(), 481u * 361u);
    int wrong = 0;
    for (int y = 0; y < 361; ++y) {
        for (int x = 0; x < 481; ++x) {
            // The source pixel under the centre of each enlarged pixel.
            const int sx = (2 * x + 1) * w / (2 * 481), sy = (2 * y + 1) * h / (2 * 361);
            const std::uint32_t want = px[static_cast<std::size_t>(sy) * w + sx] | 0xFF000000u;
            if ((out[static_cast<std::size_t>(y) * 481 + x] | 0xFF000000u) != want && wrong++ < 3)
                ADD_FAILURE() << "pixel " << x << "," << y;
        }
    }
}

TEST(SnapshotSave, JpegOfA720pPictureIs1080p)
{
    TempDir dir;
    auto engine = std::make_unique<CJtvCtrl>();
    engine->m_snapshotFormat = 1;
    engine->m_snapshotName = dir.file("frame---");
    auto px = Pattern(1280, 720);
    ASSERT_TRUE(Save(*engine, px, 1280, 720));
    EXPECT_EQ(Probe(dir.file("frame.jpg")), "mjpeg,1920,1080");
}

TEST(SnapshotSave, NothingToSaveOrNowhereToWrite)
{
    TempDir dir;
    auto engine = std::make_unique<CJtvCtrl>();
    engine->m_snapshotName = dir.file("a/missing/folder/xTAG");
    auto px = Pattern(8, 8);
    EXPECT_FALSE(Save(*engine, px, 8, 8)) << "the folder does not exist";
    EXPECT_FALSE(SaveSnapshot(*engine, 0, nullptr, 8, 8));
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_FALSE(SaveSnapshot(*engine, 0, dc, 0, 0)) << "no picture yet";
    DeleteDC(dc);
}
