// The "STATIC" window class, as far as the window layer itself needs it: a label is transparent
// to the mouse unless it asks for notifications (SS_NOTIFY), so clicks and drags over it reach
// the window beneath. It keeps the font a dialog gives it (WM_SETFONT), for the control classes
// built on it to draw with. Drawing its text is left to those classes.

#include <unordered_map>

#include "platform/win/internal.h"

namespace qv::win {

namespace {

// The font of each static (not owned: the sender keeps it alive, as on Windows).
std::unordered_map<HWND, HFONT>& Fonts()
{
    static std::unordered_map<HWND, HFONT> fonts;
    return fonts;
}

LRESULT StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCHITTEST && !(GetWindowLong(hwnd, GWL_STYLE) & SS_NOTIFY))
        return HTTRANSPARENT;
    switch (msg) {
    case WM_SETFONT:
        Fonts()[hwnd] = reinterpret_cast<HFONT>(wParam);
        if (LOWORD(static_cast<DWORD>(lParam)))
            InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_GETFONT: {
        auto it = Fonts().find(hwnd);
        return it == Fonts().end() ? 0 : reinterpret_cast<LRESULT>(it->second);
    }
    case WM_NCDESTROY:
        Fonts().erase(hwnd);
        break;
    default:
        break;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace

void RegisterStaticClass()
{
    if (FindClass("STATIC"))
        return;
    WNDCLASS wc{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = StaticProc;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = "STATIC";
    RegisterClass(&wc);
}

}  // namespace qv::win
