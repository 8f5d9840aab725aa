#pragma once
// What the grid test fixtures share: an owner window that paints nothing, and a grid attached
// to a child window of the grid's class, as a dialog's control would be.

#include <gtest/gtest.h>

#include "controls/GridCtrl.h"

// The owner's WM_PAINT: validates without drawing, so that the paint does not come again.
inline LRESULT PaintNothing(HWND hwnd)
{
    PAINTSTRUCT ps;
    BeginPaint(hwnd, &ps);
    EndPaint(hwnd, &ps);
    return 0;
}

// A caller with more to do afterwards checks HasFatalFailure().
inline void AttachGridWindow(CGridCtrl& grid, HWND owner, int x, int y, int w, int h, int id)
{
    HWND hwnd = CreateWindowEx(0, GRIDCTRL_CLASSNAME, "", WS_CHILD | WS_VISIBLE, x, y, w, h, owner,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(grid.SubclassWindow(hwnd));
}
