#pragma once
// Headless windowing for the grid tests, an owner window that records the grid's notifications,
// and a grid whose protected state the tests may reach.

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "controls/GridCtrl.h"
#include "tests/support/grid_host.h"
#include "tests/support/headless_ui.h"

struct Notice {
    UINT code;
    int row;
    int col;
};

inline std::vector<Notice>& Notices()
{
    static std::vector<Notice> notices;
    return notices;
}

inline LRESULT OwnerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NOTIFY) {
        const auto* hdr = reinterpret_cast<const NMHDR*>(lParam);
        if (hdr->code == LVN_ODCACHEHINT) {
            const auto* hint = reinterpret_cast<const GridCacheHint*>(lParam);
            Notices().push_back({hdr->code, hint->range.GetMinRow(), hint->range.GetMaxRow()});
        } else if (hdr->code == LVN_GETDISPINFOW) {
            auto* info = reinterpret_cast<GridDispInfo*>(lParam);
            Notices().push_back({hdr->code, info->item.row, info->item.col});
            info->item.strText = "r" + std::to_string(info->item.row) + "c" + std::to_string(info->item.col);
        } else {
            const auto* nm = reinterpret_cast<const GridNotify*>(lParam);
            Notices().push_back({hdr->code, nm->iRow, nm->iColumn});
        }
        return 0;
    }
    if (msg == WM_PAINT)
        return PaintNothing(hwnd);
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

class TestGrid : public CGridCtrl {
public:
    using CGridCtrl::CGridCtrl;
    using CGridCtrl::m_arColOrder;
    using CGridCtrl::m_arRowOrder;
    using CGridCtrl::m_idCurrentCell;
    using CGridCtrl::m_idFocusCell;
    using CGridCtrl::m_nBarState;
    using CGridCtrl::m_nVScrollMax;
    using CGridCtrl::m_nHScrollMax;

    std::vector<UINT> vscrolls;

protected:
    void OnVScroll(UINT code, UINT pos, CScrollBar* bar) override
    {
        vscrolls.push_back(code);
        CGridCtrl::OnVScroll(code, pos, bar);
    }
};

// The grid tests run on the platform's own clock.
class GridTest : public HeadlessUiTest {
protected:
    HWND owner = nullptr;

    GridTest() : HeadlessUiTest(false) {}

    void SetUp() override
    {
        HeadlessUiTest::SetUp();
        if (HasFatalFailure())
            return;
        WNDCLASS wc{};
        wc.lpfnWndProc = OwnerProc;
        wc.lpszClassName = "GridOwner";
        AfxRegisterClass(&wc);
        owner = CreateWindowEx(0, "GridOwner", "owner", WS_POPUP | WS_VISIBLE, 0, 0, 800, 600, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(owner, nullptr);
        Notices().clear();
    }

    void TearDown() override
    {
        HeadlessUiTest::TearDown();
        Notices().clear();
    }

    // Attaches the grid to a child window of the grid's class, as a dialog's control would be.
    void Attach(CGridCtrl& grid, int x, int y, int w, int h, int id = 7)
    {
        AttachGridWindow(grid, owner, x, y, w, h, id);
    }

    static void Pump() { qv::win::PumpPending(); }
};
