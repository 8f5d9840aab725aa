#include "engine/AviFile.h"
#include "engine/XvidEncoder.h"
#include "tests/support/tempdir.h"
#include "tests/writers/helpers.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include <cmath>
#include <cstdlib>
#include <sstream>

namespace {

// A moving gradient with a square, as planar 4:2:0.
struct Picture {
    int width, height;
    std::vector<std::uint8_t> y, u, v;
    Picture(int w, int h, int t) : width(w), height(h), y(std::size_t(w) * h), u(std::size_t(w / 2) * (h / 2)),
                                   v(u.size())
    {
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c) {
                const bool box = std::abs(c - (t * 8) % w) < 40 && std::abs(r - h / 2) < 40;
                y[std::size_t(r) * w + c] = box ? 235 : std::uint8_t((c + r + t * 2) & 0xFF) / 2 + 40;
            }
        for (std::size_t i = 0; i < u.size(); ++i) {
            u[i] = std::uint8_t(128 + 40 * std::sin(double(i % (w / 2)) / 20.0));
            v[i] = std::uint8_t(128 + 40 * std::cos(double(i / (w / 2)) / 15.0));
        }
    }
    int Encode(CXvidEncoder& enc, bool first) const
    {
        const std::uint8_t* planes[3] = {y.data(), u.data(), v.data()};
        const int strides[3] = {width, width / 2, width / 2};
        return enc.Encode(planes, strides, AV_PIX_FMT_YUV420P, width, height, first);
    }
};

}  // namespace

TEST(XvidEncoderTest, ExportedPicturesReadBackAsMpeg4InAnAvi)
{
    QuietAv();
    TempDir dir;
    const std::string out = dir.file("xvid.avi");
    CXvidEncoder enc;
    CAviFile avi;
    avi.SetXvid(true);
    ASSERT_TRUE(avi.Create(out, 640, 480, 25));
    std::vector<bool> keys;
    for (int t = 0; t < 30; ++t) {
        const int size = Picture(640, 480, t).Encode(enc, t == 0);
        ASSERT_GT(size, 0) << t;
        if (t == 0) {
            EXPECT_TRUE(enc.KeyFrame());
            EXPECT_EQ(enc.InputSize(), 460800u);
        }
        keys.push_back(enc.KeyFrame());
        ASSERT_TRUE(avi.WriteVideo(enc.Data(), size, enc.KeyFrame()));
    }
    ASSERT_TRUE(avi.Close());

    const std::string streams = RunCommand("ffprobe -v error -show_entries stream=codec_name,codec_tag_string,"
                                           "width,height,nb_frames -of compact " + out);
    EXPECT_NE(streams.find("codec_name=mpeg4|codec_tag_string=xvid|width=640|height=480|nb_frames=30"),
              std::string::npos) << streams;
    std::istringstream flags(RunCommand("ffprobe -v error -select_streams v -show_entries packet=flags "
                                        "-of csv=p=0 " + out));
    std::size_t n = 0;
    for (std::string line; std::getline(flags, line); ++n)
        EXPECT_EQ(line[0] == 'K', bool(keys.at(n))) << n;
    EXPECT_EQ(n, 30u);
    EXPECT_EQ(RunCommand("ffmpeg -v error -i " + out + " -f null - 2>&1"), "");

    // The decoded pictures are close to what went in.
    const std::string raw = RunCommand("ffmpeg -v error -i " + out + " -f rawvideo -pix_fmt yuv420p - 2>/dev/null");
    ASSERT_EQ(raw.size(), 30u * 460800);
    const Picture last(640, 480, 29);
    double err = 0;
    for (std::size_t i = 0; i < last.y.size(); ++i) {
        const double d = double(std::uint8_t(raw[29 * 460800 + i])) - last.y[i];
        err += d * d;
    }
    const double psnr = 10 * std::log10(255.0 * 255.0 / (err / double(last.y.size()) + 1e-9));
    EXPECT_GT(psnr, 30.0);
}

TEST(XvidEncoderTest, EachExportAndSizeStartsWithAKeyFrame)
{
    CXvidEncoder enc;
    for (int t = 0; t < 3; ++t)
        ASSERT_GT(Picture(320, 240, t).Encode(enc, t == 0), 0);
    EXPECT_FALSE(enc.KeyFrame());
    // The next export: a fresh encoder, so its first picture stands alone.
    enc.XvidEncoderStop();
    ASSERT_GT(Picture(320, 240, 3).Encode(enc, false), 0);
    EXPECT_TRUE(enc.KeyFrame());
    ASSERT_GT(Picture(320, 240, 4).Encode(enc, false), 0);
    EXPECT_FALSE(enc.KeyFrame());
    // A new picture size makes a new encoder of that size.
    ASSERT_GT(Picture(640, 480, 5).Encode(enc, false), 0);
    EXPECT_TRUE(enc.KeyFrame());
    EXPECT_EQ(enc.Width(), 640);
    EXPECT_EQ(enc.InputSize(), 460800u);
    // A clip split asks for a key frame on a running encoder.
    ASSERT_GT(Picture(640, 480, 6).Encode(enc, true), 0);
    EXPECT_TRUE(enc.KeyFrame());
}

TEST(XvidEncoderTest, PicturesOutsideTheSupportedSizeAreRefused)
{
    CXvidEncoder enc;
    EXPECT_EQ(Picture(1920, 1088, 0).Encode(enc, true), -1);
    const std::uint8_t* none[3] = {nullptr, nullptr, nullptr};
    const int strides[3] = {0, 0, 0};
    EXPECT_EQ(enc.Encode(none, strides, AV_PIX_FMT_YUV420P, 320, 240, true), -1);
    EXPECT_GT(Picture(1920, 1080, 0).Encode(enc, true), 0);
    EXPECT_EQ(enc.InputSize(), 1920u * 1080 * 3 / 2);
}
