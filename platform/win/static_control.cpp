// The "STATIC" window class, as far as the window layer itself needs it: a label is transparent
// to the mouse unless it asks for notifications (SS_NOTIFY), so clicks and drags over it reach
// the window beneath. Drawing its text is left to the control classes built on it.

#include "platform/win/internal.h"

namespace qv::win {

namespace {

LRESULT StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCHITTEST && !(GetWindowLong(hwnd, GWL_STYLE) & SS_NOTIFY))
        return HTTRANSPARENT;
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
