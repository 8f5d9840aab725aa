#include "engine/PlayControl.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

TEST(PlaySpeed, RequestsAreHeldToTheSpeedsThePlayerKnows)
{
    struct Case {
        double in;
        double out;
    } cases[] = {
        {1.0, 1.0},     {0.125, 0.125}, {0.5, 0.5},   {8.0, 8.0},     {-1.0, -1.0}, {1.1, 1.1},
        {-1.1, -1.1},   {0.0, 0.0},     {0.01, 0.125}, {-0.01, -0.125}, {100.0, 32.0}, {-100.0, -32.0},
        {std::numeric_limits<double>::infinity(), 32.0},
    };
    for (const Case& c : cases) {
        double speed = 99;
        ASSERT_TRUE(ClampPlaySpeed(c.in, &speed)) << c.in;
        EXPECT_EQ(speed, c.out) << c.in;
    }
    double speed = 7;
    EXPECT_FALSE(ClampPlaySpeed(std::nan(""), &speed));
    EXPECT_EQ(speed, 7);
}

TEST(PlaySpeed, StepIsTheTruncatedSpeedOrElevenForTheFrameSteps)
{
    struct Case {
        double speed;
        int step;
    } cases[] = {{0.125, 0}, {0.5, 0}, {1.0, 1}, {2.0, 2}, {8.0, 8}, {-1.0, -1}, {1.1, 11}, {-1.1, -11}, {-2.0, -2}};
    for (const Case& c : cases)
        EXPECT_EQ(StepForSpeed(c.speed), c.step) << c.speed;
    EXPECT_TRUE(IsFrameStep(1.1));
    EXPECT_TRUE(IsFrameStep(-1.1));
    EXPECT_FALSE(IsFrameStep(1.0));
}

// --- zoom ---

TEST(Zoom, StepsTable)
{
    struct Case {
        const char* what;
        CropRect from;
        int w, h, x, y, step;
        CropRect to;
    } cases[] = {
        {"out on the whole picture stays whole", {}, 1280, 720, 500000, 500000, -10, {}},
        {"in at the centre cuts evenly", {}, 1280, 720, 500000, 500000, 10, {128, 72, -128, -72}},
        {"in at the top left corner keeps that corner", {}, 1280, 720, 0, 0, 10, {0, 0, -256, -144}},
        {"in at the bottom right corner keeps that corner", {}, 1280, 720, 1000000, 1000000, 10, {256, 144, 0, 0}},
        {"in at a quarter moves a quarter of the way", {}, 1280, 720, 250000, 750000, 10, {64, 108, -192, -36}},
        {"out at the centre gives back evenly", {128, 72, -128, -72}, 1280, 720, 500000, 500000, -10, {1, 1, -1, -1}},
        {"out past the whole picture is whole", {1, 1, -1, -1}, 1280, 720, 500000, 500000, -10, {}},
        {"out with one axis whole is whole", {100, 0, -100, 0}, 1280, 720, 500000, 500000, -10, {}},
        {"in stops beyond 1800 pixels of cut", {901, 100, -900, -100}, 1920, 1080, 500000, 500000, 10,
         {901, 100, -900, -100}},
        {"no picture: nothing changes", {10, 10, -10, -10}, 0, 0, 500000, 500000, 10, {10, 10, -10, -10}},
        {"a cut too big for this picture starts afresh", {2000, 0, -2000, 0}, 1280, 720, 500000, 500000, 10,
         {128, 72, -128, -72}},
        {"outside the picture counts as its edge", {}, 1280, 720, -5, 2000000, 10, {0, 144, -256, 0}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ZoomCrop(c.from, c.w, c.h, c.x, c.y, c.step), c.to) << c.what;
}

void ExpectInside(const CropRect& r, int w, int h, const char* where)
{
    EXPECT_GE(r.left, 0) << where;
    EXPECT_GE(r.top, 0) << where;
    EXPECT_LE(r.right, 0) << where;
    EXPECT_LE(r.bottom, 0) << where;
    // Something of at least a sixteenth of the picture stays visible.
    EXPECT_GE(w - (r.left - r.right), w / 16) << where;
    EXPECT_GE(h - (r.top - r.bottom), h / 16) << where;
}

TEST(Zoom, RandomZoomingNeverLeavesThePictureOrInvertsTheRectangle)
{
    std::mt19937 rng(7);
    const int sizes[][2] = {{320, 240}, {1280, 720}, {1920, 1080}, {176, 144}};
    for (const auto& size : sizes) {
        CropRect r;
        for (int i = 0; i < 2000; ++i) {
            const int x = static_cast<int>(rng() % 1000001);
            const int y = static_cast<int>(rng() % 1000001);
            const int steps[] = {10, 10, 25, -10, 100, -50};
            r = ZoomCrop(r, size[0], size[1], x, y, steps[rng() % 6]);
            ExpectInside(r, size[0], size[1], "random");
            if (HasFailure())
                return;
        }
        // Enough steps out always bring back the whole picture.
        for (int i = 0; i < 40; ++i)
            r = ZoomCrop(r, size[0], size[1], 500000, 500000, -10);
        EXPECT_TRUE(r.IsZero());
    }
}

TEST(Zoom, RepeatedZoomInAtTheCentreStopsWithAVisiblePicture)
{
    CropRect r;
    CropRect last;
    for (int i = 0; i < 30; ++i) {
        last = r;
        r = ZoomCrop(r, 1280, 720, 500000, 500000, 10);
    }
    EXPECT_EQ(r, last);  // it stopped
    ExpectInside(r, 1280, 720, "centre");
    EXPECT_EQ(r.left, -r.right);  // still centred
}

// --- file list ---

TEST(FollowFileList, MovesOneEntryTowardThePlayTime)
{
    // Three files of ten minutes, with a gap before the last.
    const std::vector<std::int64_t> starts = {1000, 1600, 2500};
    const FileTimesFn times = [&](int n, std::int64_t* start, std::int64_t* length) {
        if (n < 0 || n >= static_cast<int>(starts.size()))
            return false;
        *start = starts[static_cast<std::size_t>(n)];
        *length = 600;
        return true;
    };
    struct Case {
        int current;
        std::int64_t t;
        int next;
    } cases[] = {
        {1, 1700, 1}, {1, 1600, 1}, {1, 2200, 1},  // inside, and at the end before a gap
        {1, 1599, 0}, {0, 1600, 1},                // the next file's first second is its own
        {1, 2201, 1}, {1, 2499, 1}, {1, 2500, 2},  // a gap keeps the file played last
        {2, 2499, 1},                              // ... and going back leaves it at once
        {1, 100, 0},  {0, 9999, 1},                // one entry a call however far
        {0, 500, 0},  {2, 9999, 2},                // nothing beyond the ends
        {-1, 1700, -1}, {5, 1700, 5},              // not an entry
    };
    for (const Case& c : cases)
        EXPECT_EQ(FollowFileIndex(c.current, c.t, times), c.next) << c.current << " at " << c.t;
    EXPECT_EQ(FollowFileIndex(1, 100, FileTimesFn{}), 1);
}

}  // namespace
