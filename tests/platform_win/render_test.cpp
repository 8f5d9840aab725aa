// Render windows: a picture presented from another thread shows in the window's rectangle,
// letter-boxed, under the windows above it; the presenter goes with the window.

#include <atomic>
#include <thread>

#include "fixture.h"
#include "platform/base/sync.h"
#include "platform/media/presenter.h"

using namespace qv::win;

namespace {

constexpr uint32_t kPixGreen = 0xFF00FF00, kPixRed = 0xFFFF0000, kPixWhite = 0xFFFFFFFF;

LRESULT RenderProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Log().push_back({hwnd, msg, wParam, lParam});
    return DefWindowProc(hwnd, msg, wParam, lParam);  // the default paint shows the picture
}

void RegisterRenderClass()
{
    WNDCLASS wc{};
    wc.lpfnWndProc = RenderProc;
    static HBRUSH yellow = CreateSolidBrush(RGB(255, 255, 0));  // never seen once a picture is there
    wc.hbrBackground = yellow;
    wc.lpszClassName = "RenderPane";
    AfxRegisterClass(&wc);
}

// Takes messages the way the application's loop does until `hwnd` has painted, or gives up
// when the watchdog quits the loop.
bool LoopUntilPainted(HWND hwnd)
{
    const DWORD ui = GetCurrentThreadId();
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 500 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!done)
            PostThreadMessageW(ui, WM_QUIT, 0, 0);
    });
    bool painted = false;
    MSG msg;
    while (!painted && GetMessage(&msg, nullptr, 0, 0)) {
        DispatchMessage(&msg);
        painted = msg.message == WM_PAINT && msg.hwnd == hwnd;
    }
    done = true;
    watchdog.join();
    return painted;
}

}  // namespace

TEST_F(WinTest, PresentedPictureIsLetterBoxedInItsWindowUnderTheWindowsAbove)
{
    RegisterRenderClass();
    HWND top = Top(0, 0, 120, 80, kGrey);
    HWND above = Child(top, 2, 80, 10, 20, 20, kBlue);  // created first: on top of the render window
    HWND render = CreateWindowEx(0, "RenderPane", "", WS_CHILD | WS_VISIBLE, 10, 10, 80, 40, top, nullptr, nullptr, nullptr);
    ASSERT_TRUE(above && render);
    Pump();
    EXPECT_EQ(ReadPixel(render, 40, 20), RGB(255, 255, 0));  // nothing presented: the class brush
    Log().clear();

    // 20x20, left half green and right half red, into an 80x40 window: a 40x40 picture at x 20.
    std::vector<uint32_t> picture(20 * 20);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            picture[y * 20 + x] = x < 10 ? kPixGreen : kPixRed;
    PresentRequest keep;
    keep.keep_aspect = true;
    std::thread video([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the loop is asleep by now
        EXPECT_TRUE(PresentToWindow(render, 20, 20, 20 * 4, reinterpret_cast<const uint8_t*>(picture.data()), keep));
    });
    const bool painted = LoopUntilPainted(render);
    video.join();
    ASSERT_TRUE(painted);
    Pump();  // the rest of the batch: what lies above the render window paints again

    for (int y : {0, 20, 39}) {
        EXPECT_EQ(ReadPixel(render, 0, y), RGB(0, 0, 0)) << y;
        EXPECT_EQ(ReadPixel(render, 19, y), RGB(0, 0, 0)) << y;
        EXPECT_EQ(ReadPixel(render, 20, y), RGB(0, 255, 0)) << y;
        EXPECT_EQ(ReadPixel(render, 39, y), RGB(0, 255, 0)) << y;
        EXPECT_EQ(ReadPixel(render, 40, y), RGB(255, 0, 0)) << y;
        EXPECT_EQ(ReadPixel(render, 59, y), RGB(255, 0, 0)) << y;
    }
    EXPECT_EQ(ReadPixel(render, 65, 30), RGB(0, 0, 0));
    EXPECT_EQ(ReadPixel(render, 75, 5), kBlue);  // the window above is not painted over
    EXPECT_EQ(ReadPixel(top, 5, 5), kGrey);      // nor the parent outside the window
    EXPECT_EQ(ReadPixel(top, 100, 60), kGrey);
    // The window's own paint drew the picture; the parent beneath did not repaint.
    for (const Logged& l : LogOf({WM_PAINT}))
        EXPECT_NE(l.hwnd, top);

    // A new picture, stretched; an erasing repaint shows it too.
    std::vector<uint32_t> white(30 * 10, kPixWhite);
    std::thread video2([&] { PresentToWindow(render, 30, 10, 30 * 4, reinterpret_cast<const uint8_t*>(white.data()), {}); });
    video2.join();
    Pump();
    EXPECT_EQ(ReadPixel(render, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(ReadPixel(render, 79, 39), RGB(255, 255, 255));
    InvalidateRect(render, nullptr, TRUE);
    Pump();
    EXPECT_EQ(ReadPixel(render, 10, 10), RGB(255, 255, 255));

    // The presenter goes with its window; presenting into the dead window is refused.
    DestroyWindow(render);
    EXPECT_EQ(FindPresenter(render), nullptr);
    EXPECT_FALSE(PresentToWindow(render, 30, 10, 30 * 4, reinterpret_cast<const uint8_t*>(white.data()), {}));
    EXPECT_EQ(FindPresenter(render), nullptr);
    Pump();
}

TEST_F(WinTest, BurstOfPresentsRepaintsOnceAndEveryWindowGetsItsOwnPicture)
{
    RegisterRenderClass();
    HWND top = Top(0, 0, 100, 50, kGrey);
    HWND left = CreateWindowEx(0, "RenderPane", "", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, top, nullptr, nullptr, nullptr);
    HWND right = CreateWindowEx(0, "RenderPane", "", WS_CHILD | WS_VISIBLE, 50, 0, 50, 50, top, nullptr, nullptr, nullptr);
    Pump();
    Log().clear();
    std::vector<uint32_t> green(4, kPixGreen), red(4, kPixRed);
    std::thread video([&] {
        for (int i = 0; i < 50; ++i) {
            PresentToWindow(left, 2, 2, 8, reinterpret_cast<const uint8_t*>(red.data()), {});
            PresentToWindow(left, 2, 2, 8, reinterpret_cast<const uint8_t*>(green.data()), {});
            PresentToWindow(right, 2, 2, 8, reinterpret_cast<const uint8_t*>(red.data()), {});
        }
    });
    video.join();
    Pump();
    EXPECT_EQ(ReadPixel(left, 25, 25), RGB(0, 255, 0));  // the latest picture
    EXPECT_EQ(ReadPixel(right, 25, 25), RGB(255, 0, 0));
    auto paints = LogOf({WM_PAINT});
    ASSERT_EQ(paints.size(), 2u);
    EXPECT_NE(paints[0].hwnd, paints[1].hwnd);

    // A notice taken by a plain message loop still repaints, and later pictures still notify.
    std::thread([&] { PresentToWindow(left, 2, 2, 8, reinterpret_cast<const uint8_t*>(red.data()), {}); }).join();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
    Pump();
    EXPECT_EQ(ReadPixel(left, 25, 25), RGB(255, 0, 0));
    std::thread([&] { PresentToWindow(left, 2, 2, 8, reinterpret_cast<const uint8_t*>(green.data()), {}); }).join();
    Pump();
    EXPECT_EQ(ReadPixel(left, 25, 25), RGB(0, 255, 0));
}
