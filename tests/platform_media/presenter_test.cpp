#include "platform/media/presenter.h"

#include "platform/base/message.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t kBlack = 0xFF000000u;
constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kGreen = 0xFF00FF00u;
constexpr uint32_t kBlue = 0xFF0000FFu;
constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kUntouched = 0x12345678u;

struct Image {
    int width;
    int height;
    std::vector<uint32_t> px;
    Image(int w, int h, uint32_t fill = kUntouched) : width(w), height(h), px(size_t(w) * h, fill) {}
    uint32_t& at(int x, int y) { return px[size_t(y) * width + x]; }
    const uint8_t* bytes() const { return reinterpret_cast<const uint8_t*>(px.data()); }
    uint8_t* bytes() { return reinterpret_cast<uint8_t*>(px.data()); }
};

bool Present(Presenter& p, const Image& img, PresentRequest req = {})
{
    return p.Present(img.width, img.height, img.width * 4, img.bytes(), req);
}

Image Compose(const Presenter& p, int w, int h, bool* ok = nullptr)
{
    Image out(w, h);
    bool done = p.Compose(out.bytes(), w, h, w * 4);
    if (ok)
        *ok = done;
    return out;
}

PresentRequest Fitted()
{
    PresentRequest r;
    r.keep_aspect = true;
    return r;
}

PresentRequest Crop(LONG l, LONG t, LONG r, LONG b)
{
    PresentRequest req;
    req.source = RECT{l, t, r, b};
    return req;
}

// 4×4 with a distinct colour per pixel.
Image Numbered(int w = 4, int h = 4)
{
    Image img(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.at(x, y) = 0xFF000000u | uint32_t(y * 16 + x);
    return img;
}

TEST(LetterBox, BarsAreEqualAndThePictureKeepsTheOddPixel)
{
    RECT r;
    ASSERT_TRUE(LetterBoxRect(800, 300, 400, 300, &r));  // twice as wide: equal side bars
    EXPECT_EQ(r.left, 200);
    EXPECT_EQ(r.right, 600);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.bottom, 300);

    ASSERT_TRUE(LetterBoxRect(7, 4, 4, 4, &r));  // difference 3: bars of 1, picture 5
    EXPECT_EQ(r.left, 1);
    EXPECT_EQ(r.right, 6);

    ASSERT_TRUE(LetterBoxRect(640, 1000, 1920, 1080, &r));  // taller window: bars above and below
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.right, 640);
    EXPECT_EQ(r.top, (1000 - 360) / 2);
    EXPECT_EQ(r.bottom, 1000 - (1000 - 360) / 2);

    EXPECT_FALSE(LetterBoxRect(640, 480, 0, 0, &r));
    EXPECT_FALSE(LetterBoxRect(0, 480, 640, 480, &r));
}

TEST(Presenter, FittedPictureLandsBetweenBlackBars)
{
    Presenter p;
    Image pic(4, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            pic.at(x, y) = x < 2 ? kRed : kBlue;
    ASSERT_TRUE(Present(p, pic, Fitted()));

    Image out = Compose(p, 8, 8);  // 2:1 picture in a square: 4 rows of picture, 2 of bar each side
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            uint32_t want = (y < 2 || y >= 6) ? kBlack : (x < 4 ? kRed : kBlue);
            ASSERT_EQ(out.at(x, y), want) << x << "," << y;
        }

    // A wide destination with an odd difference: side bars of 1, the picture 5 columns wide.
    Image square(2, 2, kWhite);
    ASSERT_TRUE(Present(p, square, Fitted()));
    out = Compose(p, 7, 4);
    for (int y = 0; y < 4; ++y) {
        EXPECT_EQ(out.at(0, y), kBlack);
        EXPECT_EQ(out.at(6, y), kBlack);
        for (int x = 1; x < 6; ++x)
            EXPECT_EQ(out.at(x, y), kWhite) << x << "," << y;
    }
}

TEST(Presenter, StretchFillsTheDestination)
{
    Presenter p;
    Image pic(2, 2);
    pic.at(0, 0) = kRed;
    pic.at(1, 0) = kGreen;
    pic.at(0, 1) = kBlue;
    pic.at(1, 1) = kWhite;
    ASSERT_TRUE(Present(p, pic, Crop(0, 0, 2, 2)));

    Image out = Compose(p, 6, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            ASSERT_EQ(out.at(x, y), pic.at(x / 3, y / 2)) << x << "," << y;
}

TEST(Presenter, CropShowsOnlyThatPartAndBadRectanglesAreMended)
{
    Presenter p;
    Image pic = Numbered();

    ASSERT_TRUE(Present(p, pic, Crop(1, 1, 3, 3)));
    Image out = Compose(p, 4, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            ASSERT_EQ(out.at(x, y), pic.at(1 + x / 2, 1 + y / 2)) << x << "," << y;

    // Reaching outside the picture: clipped to the part inside.
    ASSERT_TRUE(Present(p, pic, Crop(-5, -5, 2, 2)));
    out = Compose(p, 4, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            ASSERT_EQ(out.at(x, y), pic.at(x / 2, y / 2)) << x << "," << y;

    // Inverted, empty or wholly outside: the whole picture instead of nothing.
    for (RECT bad : {RECT{3, 3, 1, 1}, RECT{0, 0, 0, 0}, RECT{10, 10, 20, 20}}) {
        ASSERT_TRUE(Present(p, pic, Crop(bad.left, bad.top, bad.right, bad.bottom)));
        EXPECT_EQ(Compose(p, 4, 4).px, pic.px);
    }

    // Letter-boxing shows the whole picture whatever the crop says.
    PresentRequest fitted = Crop(1, 1, 3, 3);
    fitted.keep_aspect = true;
    ASSERT_TRUE(Present(p, pic, fitted));
    EXPECT_EQ(Compose(p, 4, 4).px, pic.px);
}

TEST(Presenter, CountsPresentsFollowsSizeChangesAndRefusesBadPictures)
{
    Presenter p;
    bool ok = true;
    Image before = Compose(p, 3, 3, &ok);
    EXPECT_FALSE(ok);  // nothing presented: the destination stays as it was
    EXPECT_EQ(before.px, std::vector<uint32_t>(9, kUntouched));
    EXPECT_EQ(p.PresentCount(), 0u);

    Image first = Numbered(4, 2);
    ASSERT_TRUE(Present(p, first));
    EXPECT_EQ(Compose(p, 4, 2).px, first.px);

    // A taller picture with padded rows: only the visible pixels are taken.
    Image padded(5, 3, 0xDEADBEEFu);
    Image second(2, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x)
            padded.at(x, y) = second.at(x, y) = 0xFF000000u | uint32_t(0x100 * (y + 1) + x);
    ASSERT_TRUE(p.Present(2, 3, 5 * 4, padded.bytes(), {}));
    EXPECT_EQ(Compose(p, 2, 3).px, second.px);
    EXPECT_EQ(p.PresentCount(), 2u);

    EXPECT_FALSE(p.Present(0, 3, 8, padded.bytes(), {}));
    EXPECT_FALSE(p.Present(2, -1, 8, padded.bytes(), {}));
    EXPECT_FALSE(p.Present(2, 3, 7, padded.bytes(), {}));  // stride shorter than a row
    EXPECT_FALSE(p.Present(2, 3, 8, nullptr, {}));
    EXPECT_FALSE(p.Present(Presenter::kMaxSide + 1, 1, (Presenter::kMaxSide + 1) * 4,
                           padded.bytes(), {}));
    EXPECT_EQ(p.PresentCount(), 2u);
    EXPECT_EQ(Compose(p, 2, 3).px, second.px);

    EXPECT_FALSE(p.Compose(before.bytes(), 0, 3, 0));
}

// The video thread presents solid pictures of changing colour and size while the UI side
// composes: every composition must show one picture whole, never a mix of two.
TEST(Presenter, ComposingWhilePresentingNeverTears)
{
    Presenter p;
    std::atomic<int> compositions{0};
    std::atomic<uint32_t> presented{0};
    std::thread producer([&] {
        Image small(16, 8), large(32, 24);
        // Keep going until the other side has composed often enough to overlap with presents.
        for (uint32_t i = 1; i <= 400 || compositions < 200; ++i) {
            Image& img = (i % 2) ? small : large;
            std::fill(img.px.begin(), img.px.end(), 0xFF000000u | i);
            EXPECT_TRUE(Present(p, img, Crop(0, 0, 1000, 1000)));
            presented = i;
        }
    });

    uint32_t last = 0;
    while (compositions < 200) {
        bool ok = false;
        Image out = Compose(p, 20, 10, &ok);
        if (!ok)
            continue;
        ++compositions;
        const uint32_t first = out.px[0];
        for (uint32_t v : out.px)
            ASSERT_EQ(v, first);
        ASSERT_GE(first, last);  // pictures never go back in time
        last = first;
    }
    producer.join();
    EXPECT_EQ(p.PresentCount(), uint64_t(presented));
    EXPECT_EQ(Compose(p, 20, 10).px[0], 0xFF000000u | presented);
}

std::shared_ptr<SharedPicture> Lent(const Image& img)
{
    auto pic = std::make_shared<SharedPicture>();
    pic->pixels = img.px;
    return pic;
}

// A lent picture is shown as it is and stays held, so its producer keeps its hands off it,
// exactly until another picture replaces it or the presenter ends.
TEST(Presenter, LentPicturesAreHeldUntilReplaced)
{
    Image first = Numbered(4, 2);
    auto a = Lent(first);
    auto b = Lent(Image(4, 2, kBlue));
    {
        Presenter p;
        ASSERT_TRUE(p.Present(4, 2, a, {}));
        EXPECT_TRUE(a->InUse());
        EXPECT_EQ(Compose(p, 4, 2).px, first.px);

        ASSERT_TRUE(p.Present(4, 2, a, Fitted()));  // the same picture again is held once
        ASSERT_TRUE(p.Present(4, 2, b, {}));
        EXPECT_FALSE(a->InUse());
        EXPECT_TRUE(b->InUse());
        EXPECT_EQ(Compose(p, 4, 2).px, Image(4, 2, kBlue).px);

        // A copied picture replaces a lent one, and a lent one a copied one.
        Image red(3, 1, kRed);
        ASSERT_TRUE(Present(p, red));
        EXPECT_FALSE(b->InUse());
        EXPECT_EQ(Compose(p, 3, 1).px, red.px);
        ASSERT_TRUE(p.Present(4, 2, a, {}));
        EXPECT_EQ(Compose(p, 4, 2).px, first.px);
        ASSERT_TRUE(Present(p, red));
        EXPECT_EQ(Compose(p, 3, 1).px, red.px);
        ASSERT_TRUE(p.Present(4, 1, b, {}));  // fewer rows than it holds: the first ones
        EXPECT_EQ(Compose(p, 4, 1).px, std::vector<uint32_t>(4, kBlue));

        // Too small, none or a bad size: refused, and the shown picture stays held.
        EXPECT_FALSE(p.Present(4, 3, a, {}));
        EXPECT_FALSE(p.Present(4, 2, nullptr, {}));
        EXPECT_FALSE(p.Present(0, 2, a, {}));
        EXPECT_FALSE(a->InUse());
        EXPECT_TRUE(b->InUse());
        EXPECT_EQ(p.PresentCount(), 7u);
    }
    EXPECT_FALSE(b->InUse());  // the presenter's end lets it go
}

// A producer that alternates between two lent pictures and writes only into one no presenter
// holds: the compositions never see a picture being written.
TEST(Presenter, LendingWhileComposingNeverTears)
{
    Presenter p;
    std::atomic<int> compositions{0};
    std::shared_ptr<SharedPicture> pictures[2] = {std::make_shared<SharedPicture>(),
                                                  std::make_shared<SharedPicture>()};
    std::thread producer([&] {
        int next = 0;
        for (uint32_t i = 1; i <= 400 || compositions < 200; ++i) {
            if (pictures[next]->InUse())
                next ^= 1;
            ASSERT_FALSE(pictures[next]->InUse());
            pictures[next]->pixels.assign(16 * 8, 0xFF000000u | i);
            ASSERT_TRUE(p.Present(16, 8, pictures[next], {}));
        }
    });
    uint32_t last = 0;
    while (compositions < 200) {
        bool ok = false;
        Image out = Compose(p, 20, 10, &ok);
        if (!ok)
            continue;
        ++compositions;
        for (uint32_t v : out.px)
            ASSERT_EQ(v, out.px[0]);
        ASSERT_GE(out.px[0], last);
        last = out.px[0];
    }
    producer.join();
}

struct Window {
    HWND hwnd = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    ~Window()
    {
        if (hwnd)
            DestroyMessageWindow(hwnd);
    }
};

TEST(PresenterRegistry, OnePresenterPerLiveWindowUntilDestroyed)
{
    Window a, b;
    ASSERT_NE(a.hwnd, nullptr);
    EXPECT_EQ(GetPresenter(nullptr), nullptr);
    EXPECT_EQ(FindPresenter(a.hwnd), nullptr);

    auto pa = GetPresenter(a.hwnd);
    ASSERT_NE(pa, nullptr);
    EXPECT_EQ(GetPresenter(a.hwnd), pa);
    EXPECT_EQ(FindPresenter(a.hwnd), pa);
    auto pb = GetPresenter(b.hwnd);
    EXPECT_NE(pb, pa);

    std::vector<HWND> hooked;
    SetPresentHook([&](HWND w) { hooked.push_back(w); });
    Image pic(2, 2, kGreen);
    EXPECT_TRUE(PresentToWindow(b.hwnd, 2, 2, 8, pic.bytes(), {}));
    EXPECT_FALSE(PresentToWindow(b.hwnd, 2, 2, 4, pic.bytes(), {}));  // refused: no hook
    SetPresentHook({});
    EXPECT_TRUE(PresentToWindow(b.hwnd, 2, 2, 8, pic.bytes(), {}));
    EXPECT_EQ(hooked, std::vector<HWND>{b.hwnd});
    EXPECT_EQ(pb->PresentCount(), 2u);
    EXPECT_EQ(pa->PresentCount(), 0u);

    // A holder of a destroyed presenter (the video thread mid-picture) keeps a working object;
    // the next lookup starts afresh.
    DestroyPresenter(b.hwnd);
    EXPECT_EQ(FindPresenter(b.hwnd), nullptr);
    EXPECT_TRUE(Present(*pb, pic));
    EXPECT_EQ(GetPresenter(b.hwnd)->PresentCount(), 0u);
    DestroyPresenter(b.hwnd);
    DestroyPresenter(a.hwnd);
    DestroyPresenter(a.hwnd);  // twice is harmless

    // A dead window gets no presenter, so nothing is presented into it.
    HWND dead = a.hwnd;
    DestroyMessageWindow(dead);
    a.hwnd = nullptr;
    EXPECT_EQ(GetPresenter(dead), nullptr);
    EXPECT_FALSE(PresentToWindow(dead, 2, 2, 8, pic.bytes(), {}));
    auto lent = Lent(pic);
    EXPECT_FALSE(PresentToWindow(dead, 2, 2, lent, {}));
    EXPECT_FALSE(lent->InUse());
}

}  // namespace
