// Render windows: a window into which the video thread presents pictures (platform/media) shows
// the latest one in its client area. The presenting thread only posts a private message to the
// window; the UI thread invalidates it on taking that message, and the window's default
// erase and paint compose the picture into the backing buffer, clipped like any other drawing.

#include <mutex>
#include <unordered_set>

#include "platform/media/presenter.h"
#include "platform/win/internal.h"

namespace qv::win {

namespace {

// Windows with a repaint message on its way, so a fast producer queues one message per window
// and not one per picture. Never destroyed: a video thread may still present at exit.
struct Pending {
    std::mutex mutex;
    std::unordered_set<HWND> windows;
};

Pending& ThePending()
{
    static Pending* pending = new Pending;
    return *pending;
}

void OnPresent(HWND hwnd)
{
    Pending& p = ThePending();
    {
        std::lock_guard lock(p.mutex);
        if (!p.windows.insert(hwnd).second)
            return;
    }
    if (!PostMessageW(hwnd, kPresentedMessage, 0, 0)) {
        std::lock_guard lock(p.mutex);
        p.windows.erase(hwnd);  // dead window: nothing will take the message
    }
}

}  // namespace

void InstallPresentHook() { SetPresentHook(OnPresent); }

void RemovePresentHook()
{
    SetPresentHook({});
    Pending& p = ThePending();
    std::lock_guard lock(p.mutex);
    p.windows.clear();
}

void TakePresented(HWND hwnd)
{
    {
        Pending& p = ThePending();
        std::lock_guard lock(p.mutex);
        p.windows.erase(hwnd);  // before repainting, so a picture presented meanwhile posts again
    }
    if (Find(hwnd))
        InvalidateRect(hwnd, nullptr, FALSE);
}

bool ComposePresented(HWND hwnd, HDC dc)
{
    Wnd* w = Find(hwnd);
    if (!w || !dc)
        return false;
    std::shared_ptr<Presenter> presenter = FindPresenter(hwnd);
    if (!presenter)
        return false;
    RECT c{};
    GetClientRect(hwnd, &c);
    if (c.right <= 0 || c.bottom <= 0)
        return false;
    // The picture is composed whole into a buffer of the client's size and copied through the
    // DC, so windows above and the parent's edges clip it as they clip any drawing.
    BITMAP bm{};
    if (w->picture)
        GetObject(w->picture, sizeof bm, &bm);
    if (!w->picture || bm.bmWidth != c.right || bm.bmHeight != c.bottom) {
        if (w->picture)
            DeleteObject(w->picture);
        w->picture = CreateBitmap(c.right, c.bottom, 1, 32, nullptr);
        if (!w->picture)
            return false;
    }
    auto* pixels = reinterpret_cast<uint8_t*>(gdi::BitmapScanline(w->picture, 0));
    if (!presenter->Compose(pixels, c.right, c.bottom, c.right * 4))
        return false;
    HDC mem = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(mem, w->picture);
    BitBlt(dc, 0, 0, c.right, c.bottom, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
    return true;
}

void ForgetRenderWindow(Wnd& w)
{
    DestroyPresenter(w.hwnd);
    if (w.picture) {
        DeleteObject(w.picture);
        w.picture = nullptr;
    }
    Pending& p = ThePending();
    std::lock_guard lock(p.mutex);
    p.windows.erase(w.hwnd);
}

}  // namespace qv::win
