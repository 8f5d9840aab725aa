#pragma once
// Headless windowing for the grid's input, editing and companion tests: an owner window that
// records the grid's notifications and posted commands (and may refuse edits), and a grid whose
// protected state the tests may reach.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <utility>
#include <string>
#include <vector>

#include "controls/GridCtrl.h"
#include "platform/ctl/Clipboard.h"
#include "tests/support/grid_host.h"
#include "tests/support/headless_ui.h"
#include "tests/support/pixels.h"

struct Heard {
    UINT message;  // WM_NOTIFY or WM_COMMAND
    UINT code;     // notification code, or the command's wParam
    int row;
    int col;
};

struct OwnerState {
    std::vector<Heard> heard;
    LRESULT beginEditAnswer = 0;
    LRESULT endEditAnswer = 0;
    std::vector<std::string> endEditTexts;  // cell texts seen while LVN_ENDLABELEDITW is handled
    // What in-place editors reported (GridDispInfo from id 8): text and the ending key.
    std::vector<std::pair<std::string, UINT>> editorEnds;
    CGridCtrl* grid = nullptr;
    // Called with each notification code as it is heard, before the answer is chosen.
    std::function<void(UINT)> onNotify;
};

inline OwnerState& Owner()
{
    static OwnerState state;
    return state;
}

inline LRESULT GridOwnerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    OwnerState& o = Owner();
    if (msg == WM_NOTIFY) {
        const auto* nm = reinterpret_cast<const GridNotify*>(lParam);
        if (nm->hdr.idFrom == 8 && nm->hdr.code == LVN_ENDLABELEDITW) {
            const auto* info = reinterpret_cast<const GridDispInfo*>(lParam);
            o.editorEnds.emplace_back(info->item.strText, static_cast<UINT>(info->item.lParam));
            return 0;
        }
        o.heard.push_back({WM_NOTIFY, nm->hdr.code, nm->iRow, nm->iColumn});
        if (o.onNotify)
            o.onNotify(nm->hdr.code);
        if (nm->hdr.code == LVN_BEGINLABELEDITW)
            return o.beginEditAnswer;
        if (nm->hdr.code == LVN_ENDLABELEDITW) {
            if (o.grid)
                o.endEditTexts.push_back(o.grid->GetItemText(nm->iRow, nm->iColumn));
            return o.endEditAnswer;
        }
        return 0;
    }
    if (msg == WM_COMMAND) {
        o.heard.push_back({WM_COMMAND, static_cast<UINT>(wParam), -1, -1});
        return 0;
    }
    if (msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK || msg == WM_MOUSEMOVE || msg == WM_KEYDOWN ||
        msg == WM_NCLBUTTONDOWN) {
        o.heard.push_back({msg, static_cast<UINT>(wParam), GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    }
    if (msg == WM_PAINT)
        return PaintNothing(hwnd);
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

class InputGrid : public CGridCtrl {
public:
    using CGridCtrl::CGridCtrl;
    using CGridCtrl::m_CurCol;
    using CGridCtrl::m_CurRow;
    using CGridCtrl::m_DropTarget;
    using CGridCtrl::m_LastDragOverCell;
    using CGridCtrl::m_MouseMode;
    using CGridCtrl::m_TitleTip;
    using CGridCtrl::m_arColOrder;
    using CGridCtrl::m_arRowOrder;
    using CGridCtrl::m_nTimerID;
    using CGridCtrl::OnTimer;
};

class GridInputTest : public HeadlessUiTest {
protected:
    HWND owner = nullptr;

    void SetUp() override
    {
        HeadlessUiTest::SetUp();
        if (HasFatalFailure())
            return;
        qv::ctl::ResetClipboardForTesting();
        WNDCLASS wc{};
        wc.lpfnWndProc = GridOwnerProc;
        wc.lpszClassName = "GridInputOwner";
        AfxRegisterClass(&wc);
        owner = CreateWindowEx(0, "GridInputOwner", "Owner title", WS_POPUP | WS_VISIBLE, 100, 100, 600, 400, nullptr,
                               nullptr, nullptr, nullptr);
        ASSERT_NE(owner, nullptr);
        Owner() = OwnerState{};
    }

    void TearDown() override
    {
        HeadlessUiTest::TearDown();
        qv::ctl::ResetClipboardForTesting();
        Owner() = OwnerState{};
    }

    // A grid of rows x cols cells 50 x 20 pixels, texts "r<row>c<col>", attached to a child
    // window of the owner at (x, 0).
    void Make(InputGrid& grid, int w = 400, int h = 300, int id = 7, int x = 0)
    {
        AttachGridWindow(grid, owner, x, 0, w, h, id);
        if (HasFatalFailure())
            return;
        // Laid out as a dialog would: the sizing is what registers the grid's drop target.
        ::MoveWindow(grid.GetSafeHwnd(), x, 0, w, h - 1, TRUE);
        ::MoveWindow(grid.GetSafeHwnd(), x, 0, w, h, TRUE);
        for (int r = 0; r < grid.GetRowCount(); ++r)
            grid.SetRowHeight(r, 20);
        for (int c = 0; c < grid.GetColumnCount(); ++c)
            grid.SetColumnWidth(c, 50);
        for (int r = 0; r < grid.GetRowCount(); ++r)
            for (int c = 0; c < grid.GetColumnCount(); ++c)
                grid.SetItemText(r, c, ("r" + std::to_string(r) + "c" + std::to_string(c)).c_str());
        grid.SetModified(FALSE);
        grid.ResetScrollBars();
        Owner().grid = &grid;
        Pump();
        Owner().heard.clear();
    }

    // Screen point of a grid client point.
    static POINT Screen(CWnd& wnd, int x, int y)
    {
        POINT p{x, y};
        wnd.ClientToScreen(&p);
        return p;
    }
    // The centre of a cell in screen coordinates.
    static POINT CellCentre(CGridCtrl& grid, int row, int col)
    {
        CRect rc;
        EXPECT_TRUE(grid.GetCellRect(row, col, &rc));
        return Screen(grid, (rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    }
    void ClickCell(CGridCtrl& grid, int row, int col)
    {
        const POINT p = CellCentre(grid, row, col);
        now += 1000;  // never half of a double click
        qv::win::InjectMouseButton(p.x, p.y, 1, true);
        qv::win::InjectMouseButton(p.x, p.y, 1, false);
        Pump();
    }
    // A press at `from`, a move over `over` that starts the drag, and the drop at `to`.
    void Drag(POINT from, POINT over, POINT to)
    {
        now += 1000;
        qv::win::InjectMouseButton(from.x, from.y, 1, true);
        qv::win::InjectMouseMove(over.x, over.y);
        // Moves are coalesced: a key between them keeps the one over the source grid, which
        // starts the drag whose loop then takes the rest.
        qv::win::InjectKey(VK_SHIFT, false);
        qv::win::InjectMouseMove(to.x, to.y);
        qv::win::InjectMouseButton(to.x, to.y, 1, false);
        Pump();
    }
    // A drag begun at `from` and over `over`, cancelled with Escape before its release.
    void CancelledDrag(POINT from, POINT over)
    {
        now += 1000;
        qv::win::InjectMouseButton(from.x, from.y, 1, true);
        qv::win::InjectMouseMove(from.x + 5, from.y);
        qv::win::InjectKey(VK_SHIFT, false);
        qv::win::InjectMouseMove(over.x, over.y);
        qv::win::InjectKey(VK_ESCAPE, true);
        qv::win::InjectKey(VK_ESCAPE, false);
        qv::win::InjectMouseButton(over.x, over.y, 1, false);
        Pump();
    }
    // The grid's client pixels as they are now, to compare with later.
    static PixelReader PixelsNow(CGridCtrl& grid)
    {
        CRect rc;
        grid.GetClientRect(&rc);
        const int w = rc.Width();
        auto copy = std::make_shared<std::vector<COLORREF>>();
        for (int y = 0; y < rc.Height(); ++y)
            for (int x = 0; x < w; ++x)
                copy->push_back(qv::win::ReadPixel(grid.GetSafeHwnd(), x, y));
        return [copy, w](int x, int y) { return (*copy)[static_cast<size_t>(y) * w + x]; };
    }
    static void Key(int vk)
    {
        qv::win::InjectKey(vk, true);
        qv::win::InjectKey(vk, false);
        Pump();
    }
    static void KeyWith(int modifier, int vk)
    {
        qv::win::InjectKey(modifier, true);
        Key(vk);
        qv::win::InjectKey(modifier, false);
        Pump();
    }
    static void Pump()
    {
        for (int i = 0; i < 3; ++i)
            qv::win::PumpPending();
    }

    // The notifications and commands heard, in order, without cache hints.
    static std::vector<Heard> Heard_()
    {
        std::vector<Heard> out;
        for (const Heard& h : Owner().heard)
            if ((h.message == WM_NOTIFY && h.code != LVN_ODCACHEHINT) || h.message == WM_COMMAND)
                out.push_back(h);
        return out;
    }
    static std::string ClipboardText()
    {
        std::string out;
        if (!OpenClipboard(nullptr))
            return out;
        if (HGLOBAL mem = static_cast<HGLOBAL>(GetClipboardData(CF_TEXT))) {
            out = static_cast<const char*>(GlobalLock(mem));
            GlobalUnlock(mem);
        }
        CloseClipboard();
        return out;
    }
    static void SetClipboard(const std::string& text)
    {
        ASSERT_TRUE(OpenClipboard(nullptr));
        EmptyClipboard();
        HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
        std::memcpy(GlobalLock(mem), text.c_str(), text.size() + 1);
        GlobalUnlock(mem);
        SetClipboardData(CF_TEXT, mem);
        CloseClipboard();
    }
};

inline bool operator==(const Heard& a, const Heard& b)
{
    return a.message == b.message && a.code == b.code && a.row == b.row && a.col == b.col;
}
inline std::ostream& operator<<(std::ostream& os, const Heard& h)
{
    return os << "{" << (h.message == WM_NOTIFY ? "notify " : "command ") << static_cast<int>(h.code) << " " << h.row
              << "," << h.col << "}";
}
