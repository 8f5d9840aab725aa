#pragma once
// Shared set-up of the skin tests: the dummy SDL drivers, a fake clock, bitmap resources drawn
// in the test, and a host dialog that records the clicks its buttons report.

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <vector>

#include "controls/KrSkinButton.h"
#include "platform/win/afxwin.h"
#include "tests/support/bitmap_resources.h"
#include "tests/support/headless_ui.h"

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kGrey = RGB(128, 128, 128);
constexpr COLORREF kYellow = RGB(255, 255, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

class SkinTest : public HeadlessUiTest {
protected:
    void TearDown() override
    {
        HeadlessUiTest::TearDown();
        for (UINT id : resources_)
            gdi::UnregisterBitmapResource(id);
    }

    // Registers a bitmap resource drawn by `colour`, for this test only.
    void RegisterPicture(UINT id, int width, int height, const std::function<COLORREF(int, int)>& colour)
    {
        ::RegisterPicture(id, width, height, colour);
        resources_.push_back(id);
    }

    // A strip of solid frames of size fw x fh, followed by a mask frame when `mask` is given
    // (true: white, the window behind shows).
    void RegisterStrip(UINT id, std::vector<COLORREF> frames, int fw, int fh,
                       std::function<bool(int, int)> mask = nullptr)
    {
        const int count = static_cast<int>(frames.size()) + (mask ? 1 : 0);
        RegisterPicture(id, fw * count, fh, [&](int x, int y) {
            const size_t frame = static_cast<size_t>(x / fw);
            if (frame < frames.size())
                return frames[frame];
            return mask(x % fw, y) ? kWhite : kBlack;
        });
    }

    // A single click: far enough from any earlier one not to make a double click.
    static void Click(int x, int y)
    {
        now += 1000;
        qv::win::InjectMouseMove(x, y);
        qv::win::InjectMouseButton(x, y, 1, true);
        qv::win::InjectMouseButton(x, y, 1, false);
        Pump();
    }

private:
    std::vector<UINT> resources_;
};

// A dialog that records the BN_CLICKED notifications of its controls (and so never ends by them),
// and paints its background from `background` when one is given.
class HostDialog : public CDialog {
public:
    std::vector<int> clicks;
    std::function<COLORREF(int, int)> background;

protected:
    BOOL OnEraseBkgnd(CDC* dc) override
    {
        if (!background)
            return CDialog::OnEraseBkgnd(dc);
        CRect rc;
        GetClientRect(&rc);
        for (int y = rc.top; y < rc.bottom; ++y)
            for (int x = rc.left; x < rc.right; ++x)
                dc->SetPixel(x, y, background(x, y));
        return TRUE;
    }

    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override
    {
        if (HIWORD(wParam) != BN_CLICKED)
            return CDialog::OnCommand(wParam, lParam);
        clicks.push_back(LOWORD(wParam));
        return TRUE;
    }
};
