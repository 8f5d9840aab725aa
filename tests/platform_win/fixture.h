#pragma once
// Shared set-up: the headless windowing of every UI test, and a window class that records the
// messages it gets and paints itself in the colour kept in its user data.

#include <gtest/gtest.h>

#include <vector>

#include "platform/win/afxwin.h"
#include "tests/support/headless_ui.h"

struct Logged {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

inline std::vector<Logged>& Log()
{
    static std::vector<Logged> log;
    return log;
}

// Messages of the given kinds, in order.
inline std::vector<Logged> LogOf(std::initializer_list<UINT> kinds)
{
    std::vector<Logged> out;
    for (const Logged& l : Log())
        for (UINT k : kinds)
            if (l.message == k)
                out.push_back(l);
    return out;
}

inline LRESULT CALLBACK_Recorder(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Log().push_back({hwnd, msg, wParam, lParam});
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        HBRUSH brush = CreateSolidBrush(static_cast<COLORREF>(GetWindowLongPtr(hwnd, GWLP_USERDATA)));
        FillRect(dc, &rc, brush);
        DeleteObject(brush);
        EndPaint(hwnd, &ps);
        return 0;
    }
    // Ids from 900 act as static controls: transparent to the mouse unless SS_NOTIFY.
    if (msg == WM_NCHITTEST && GetWindowLong(hwnd, GWL_ID) >= 900 && !(GetWindowLong(hwnd, GWL_STYLE) & SS_NOTIFY))
        return HTTRANSPARENT;
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

inline void Click(int x, int y)
{
    qv::win::InjectMouseButton(x, y, 1, true);
    qv::win::InjectMouseButton(x, y, 1, false);
}

class WinTest : public HeadlessUiTest {
protected:
    void SetUp() override
    {
        HeadlessUiTest::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(qv::win::IsHeadless());
        for (auto [name, style] : {std::pair{"Recorder", 0u}, std::pair{"RecorderDbl", CS_DBLCLKS}}) {
            WNDCLASS wc{};
            wc.style = style;
            wc.lpfnWndProc = CALLBACK_Recorder;
            wc.hCursor = LoadCursor(nullptr, IDC_HAND);
            wc.lpszClassName = name;
            AfxRegisterClass(&wc);
        }
        Log().clear();
    }

    void TearDown() override
    {
        HeadlessUiTest::TearDown();
        qv::win::SetMessageBoxAnswerForTesting(0);
        Log().clear();
    }

    static HWND Top(int x, int y, int w, int h, COLORREF color, const char* cls = "Recorder")
    {
        HWND hwnd = CreateWindowEx(0, cls, "top", WS_POPUP | WS_VISIBLE, x, y, w, h, nullptr, nullptr, nullptr, nullptr);
        SetWindowLongPtr(hwnd, GWLP_USERDATA, color);
        return hwnd;
    }

    static HWND Child(HWND parent, int id, int x, int y, int w, int h, COLORREF color, DWORD style = 0,
                      DWORD ex_style = 0, const char* cls = "Recorder")
    {
        HWND hwnd = CreateWindowEx(ex_style, cls, "", WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
        SetWindowLongPtr(hwnd, GWLP_USERDATA, color);
        return hwnd;
    }
};

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kGrey = RGB(128, 128, 128);
