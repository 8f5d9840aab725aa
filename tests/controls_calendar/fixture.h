#pragma once
// Headless windowing for the calendar and folder picker tests: the dummy SDL drivers, a fixed
// clock, and small input helpers in screen coordinates.

#include "tests/support/headless_ui.h"

class UiTest : public HeadlessUiTest {
protected:
    // Client point of `hwnd` on the screen.
    static POINT Screen(HWND hwnd, int x, int y)
    {
        POINT p{x, y};
        ClientToScreen(hwnd, &p);
        return p;
    }
    static void Move(HWND hwnd, int x, int y)
    {
        POINT p = Screen(hwnd, x, y);
        qv::win::InjectMouseMove(p.x, p.y);
        Pump();
    }
    static void Press(HWND hwnd, int x, int y, bool down)
    {
        POINT p = Screen(hwnd, x, y);
        qv::win::InjectMouseButton(p.x, p.y, 1, down);
        Pump();
    }
    // A click apart from any earlier one, so no double click is made of it.
    static void Click(HWND hwnd, int x, int y)
    {
        now += 1000;
        Move(hwnd, x, y);
        Press(hwnd, x, y, true);
        Press(hwnd, x, y, false);
    }
    static void Key(int vk)
    {
        qv::win::InjectKey(vk, true);
        qv::win::InjectKey(vk, false);
        Pump();
    }
};
