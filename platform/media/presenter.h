#pragma once
// Video presentation for render windows. The video thread converts and draws each picture into
// its own BGRA buffer and hands it over with Present; the window layer paints the render window
// by composing the latest picture into the window's pixels with Compose, on the UI thread.
// Present copies into a spare buffer and swaps it in, so a paint never sees a half-written
// picture and steady playback allocates nothing. A producer that keeps its own pictures can lend
// them instead (a SharedPicture): no copy is made, and it writes into a lent picture again only
// once no presenter holds it.
//
// Pixels are 32-bit BGRA in memory (0xAARRGGBB as a little-endian word), rows `stride` bytes
// apart. Letter-box bars are opaque black.

#include "platform/base/types.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// How the picture fills the window.
struct PresentRequest {
    // true: the whole picture, scaled to keep its aspect ratio, with black bars around it.
    // false: `source` stretched over the whole window.
    bool keep_aspect = false;
    // Part of the picture to show when stretching (right/bottom exclusive). It is clipped to the
    // picture; an empty result shows the whole picture.
    RECT source{};
};

// Where a picture of W×H lands in a w×h window when its aspect ratio is kept: bars of equal
// integer width on both sides, the picture taking the odd pixel. False when a size is not
// positive (nothing can be shown).
bool LetterBoxRect(int window_width, int window_height, int picture_width, int picture_height,
                   RECT* out);

// A picture lent to presenters rather than copied. Presenters count themselves in `holders`
// while they may read it; the producer must not write into it before InUse() turns false.
struct SharedPicture {
    std::vector<uint32_t> pixels;  // tightly packed rows
    std::atomic<int> holders{0};

    bool InUse() const { return holders.load(std::memory_order_acquire) != 0; }
};

class Presenter {
public:
    Presenter() = default;
    Presenter(const Presenter&) = delete;
    Presenter& operator=(const Presenter&) = delete;
    ~Presenter();

    // Largest picture side accepted; keeps every size product far from overflow.
    static constexpr int kMaxSide = 16384;

    // Publishes a picture and how to show it. Callable from any thread. False (nothing
    // changes) for a picture with a non-positive or oversized side, a stride smaller than a row,
    // or no pixels.
    bool Present(int width, int height, int stride, const uint8_t* pixels,
                 const PresentRequest& request);
    // The same with a lent picture of tightly packed rows, held until the next present or the
    // presenter's end. False, as above, also when it has fewer than width x height pixels.
    bool Present(int width, int height, std::shared_ptr<SharedPicture> picture,
                 const PresentRequest& request);

    // Draws the latest picture into a destination of `width`×`height` pixels: nearest-pixel
    // scaling, black outside the picture when the aspect is kept. False, leaving the
    // destination untouched, when nothing was presented yet or the destination is empty.
    bool Compose(uint8_t* dst, int width, int height, int stride) const;

    uint64_t PresentCount() const;

private:
    struct Picture {
        int width = 0;
        int height = 0;
        std::vector<uint32_t> pixels;  // tightly packed rows, when copied in
        std::shared_ptr<SharedPicture> lent;  // in place of `pixels`, when lent
        PresentRequest request;

        const uint32_t* Data() const { return lent ? lent->pixels.data() : pixels.data(); }
    };

    static bool Acceptable(int width, int height);
    // Swaps spare_ in as the latest picture (producer_mutex_ held), then gives back the lent
    // picture that was replaced: no paint can read it any more.
    void Publish();

    std::mutex producer_mutex_;  // guards spare_ while a picture is copied in
    mutable std::mutex mutex_;   // guards latest_ and count_
    Picture spare_;
    Picture latest_;
    uint64_t count_ = 0;
};

// Presenters by render window, so the engine needs only the window handle: the first present
// into a window creates its presenter, and the window layer drops it when the window goes away.
// Handles of dead windows get none.
std::shared_ptr<Presenter> GetPresenter(HWND window);   // creates on first use
std::shared_ptr<Presenter> FindPresenter(HWND window);  // null when none exists
void DestroyPresenter(HWND window);

// Called on the presenting thread after every successful Present into a window that has a
// presenter, so the window layer can schedule a repaint (e.g. by posting to the UI thread).
// Must not call back into Present for the same window. An empty function removes the hook.
void SetPresentHook(std::function<void(HWND)> hook);
// Present into the window's presenter (created on first use) and run the hook. False when the
// window is dead or the picture is refused.
bool PresentToWindow(HWND window, int width, int height, int stride, const uint8_t* pixels,
                     const PresentRequest& request);
bool PresentToWindow(HWND window, int width, int height, std::shared_ptr<SharedPicture> picture,
                     const PresentRequest& request);
