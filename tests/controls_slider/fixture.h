#pragma once
// Shared set-up of the slider tests: dummy SDL drivers, a host window that records the messages
// posted to it, and skin bitmaps drawn here and registered as resources.

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "platform/win/afxwin.h"
#include "tests/support/bitmap_resources.h"
#include "tests/support/headless_ui.h"

struct Posted {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

inline std::vector<Posted>& Received()
{
    static std::vector<Posted> log;
    return log;
}

// Messages of one kind the host got, in order.
inline std::vector<Posted> ReceivedOf(UINT message)
{
    std::vector<Posted> out;
    for (const Posted& p : Received())
        if (p.message == message)
            out.push_back(p);
    return out;
}

constexpr COLORREF kHostColour = RGB(200, 0, 0);

inline LRESULT HostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg >= WM_USER || msg == WM_COMMAND)
        Received().push_back({msg, wParam, lParam});
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        HBRUSH brush = CreateSolidBrush(kHostColour);
        FillRect(dc, &rc, brush);
        DeleteObject(brush);
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

class SliderTest : public HeadlessUiTest {
protected:
    void SetUp() override
    {
        HeadlessUiTest::SetUp();
        if (HasFatalFailure())
            return;
        WNDCLASS wc{};
        wc.lpfnWndProc = HostProc;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.lpszClassName = "SliderHost";
        AfxRegisterClass(&wc);
        Received().clear();
    }

    void TearDown() override
    {
        HeadlessUiTest::TearDown();
        Received().clear();
    }

    // A top-level host at the screen origin, so client and screen coordinates agree.
    static HWND Host(int w, int h)
    {
        return CreateWindowEx(0, "SliderHost", "host", WS_POPUP | WS_VISIBLE, 0, 0, w, h, nullptr, nullptr, nullptr,
                              nullptr);
    }

    static HWND Control(HWND host, const char* cls, int id, int x, int y, int w, int h, DWORD style)
    {
        return CreateWindowEx(0, cls, "", WS_CHILD | WS_VISIBLE | style, x, y, w, h, host,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    }

    // Presses are far apart in time: never a double click.
    static void Press(int x, int y)
    {
        now += 1000;
        qv::win::InjectMouseMove(x, y);
        qv::win::InjectMouseButton(x, y, 1, true);
        Pump();
    }
    static void MoveTo(int x, int y)
    {
        qv::win::InjectMouseMove(x, y);
        Pump();
    }
    static void Release(int x, int y)
    {
        qv::win::InjectMouseButton(x, y, 1, false);
        Pump();
    }
};
