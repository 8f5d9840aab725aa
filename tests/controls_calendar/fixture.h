#pragma once
// Headless windowing for the calendar and folder picker tests: the dummy SDL drivers, a fixed
// clock, and small input helpers in screen coordinates.

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/win/afxwin.h"

class UiTest : public ::testing::Test {
protected:
    static inline DWORD now = 1000;

    void SetUp() override
    {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        ASSERT_TRUE(qv::win::InitWindowing());
        now = 1000;
        qv::win::SetClockForTesting([] { return now; });
    }

    void TearDown() override
    {
        qv::win::ShutdownWindowing();
        qv::win::SetClockForTesting(nullptr);
    }

    static void Pump() { qv::win::PumpPending(); }

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
