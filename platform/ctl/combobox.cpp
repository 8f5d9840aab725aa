// The drop-down list combo box. The field and its dropped list are two windows sharing one
// record, kept by the field's handle; the list holds the capture while it is shown, so a press
// anywhere else closes it, as on Windows.

#include "platform/ctl/combobox.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

namespace qv::ctl {

namespace {

constexpr char kComboClass[] = "COMBOBOX";
constexpr char kListClass[] = "ComboLBox";

struct Combo {
    std::vector<std::string> items;
    int sel = -1;
    HFONT font = nullptr;
    int dropped_height = 100;  // window height of field plus list
    HWND list = nullptr;       // while dropped
    int hot = -1;              // highlighted item of the dropped list
    int top = 0;               // first item shown in the list
    bool armed = false;        // the pointer has been in the list since it dropped
};

std::unordered_map<HWND, Combo>& Combos()
{
    static std::unordered_map<HWND, Combo> combos;
    return combos;
}

Combo* Get(HWND combo)
{
    auto it = Combos().find(combo);
    return it == Combos().end() ? nullptr : &it->second;
}

HFONT FontOf(const Combo& c) { return c.font ? c.font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }

int TextHeight(const Combo& c)
{
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, FontOf(c));
    TEXTMETRIC tm{};
    GetTextMetrics(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return std::max<int>(tm.tmHeight, 8);
}

int FieldHeight(const Combo& c) { return TextHeight(c) + 8; }
int ItemHeight(const Combo& c) { return TextHeight(c) + 2; }

int VisibleItems(const Combo& c, HWND list)
{
    RECT rc;
    GetClientRect(list, &rc);
    return std::max(1, static_cast<int>(rc.bottom) / ItemHeight(c));
}

void Notify(HWND combo, WORD code)
{
    HWND parent = GetParent(combo);
    if (parent)
        SendMessageW(parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID(combo)), code), reinterpret_cast<LPARAM>(combo));
}

// Makes `index` the selection; the window text follows it.
bool Select(HWND combo, int index)
{
    Combo* c = Get(combo);
    if (!c || index < -1 || index >= static_cast<int>(c->items.size()))
        return false;
    c->sel = index;
    SetWindowText(combo, index >= 0 ? c->items[static_cast<size_t>(index)].c_str() : "");
    InvalidateRect(combo, nullptr, TRUE);
    return true;
}

// Selection by the user: notifies only when it changed.
void UserSelect(HWND combo, int index)
{
    Combo* c = Get(combo);
    if (!c || c->items.empty())
        return;
    index = std::clamp(index, 0, static_cast<int>(c->items.size()) - 1);
    if (index == c->sel)
        return;
    Select(combo, index);
    Notify(combo, CBN_SELCHANGE);
}

void ScrollToHot(Combo& c)
{
    if (!c.list || c.hot < 0)
        return;
    const int n = VisibleItems(c, c.list);
    if (c.hot < c.top)
        c.top = c.hot;
    else if (c.hot >= c.top + n)
        c.top = c.hot - n + 1;
    InvalidateRect(c.list, nullptr, TRUE);
}

void CloseUp(HWND combo, bool accept)
{
    Combo* c = Get(combo);
    if (!c || !c->list)
        return;
    HWND list = c->list;
    const int hot = c->hot;
    c->list = nullptr;
    if (GetCapture() == list)
        ReleaseCapture();
    DestroyWindow(list);
    Notify(combo, accept ? CBN_SELENDOK : CBN_SELENDCANCEL);
    if (accept && hot >= 0)
        UserSelect(combo, hot);
    Notify(combo, CBN_CLOSEUP);
    InvalidateRect(combo, nullptr, TRUE);
}

void DropDown(HWND combo)
{
    Combo* c = Get(combo);
    if (!c || c->list)
        return;
    Notify(combo, CBN_DROPDOWN);
    if (!(c = Get(combo)) || !IsWindow(combo))
        return;
    RECT wr;
    GetWindowRect(combo, &wr);
    const int field = wr.bottom - wr.top;
    const int count = std::max<int>(1, static_cast<int>(c->items.size()));
    const int height = std::max(ItemHeight(*c) + 2, std::min(c->dropped_height - field, count * ItemHeight(*c) + 2));
    HWND list = CreateWindowEx(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kListClass, "", WS_POPUP | WS_BORDER, wr.left, wr.bottom,
                               wr.right - wr.left, height, combo, nullptr, nullptr, nullptr);
    if (!list)
        return;
    SetWindowLongPtr(list, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(combo));
    c->list = list;
    c->hot = c->sel;
    c->top = 0;
    c->armed = false;
    ScrollToHot(*c);
    ShowWindow(list, SW_SHOWNA);
    SetCapture(list);
    InvalidateRect(combo, nullptr, TRUE);
}

void PaintField(HWND combo, Combo& c)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(combo, &ps);
    RECT rc;
    GetClientRect(combo, &rc);
    const bool enabled = IsWindowEnabled(combo);
    FillRect(dc, &rc, GetSysColorBrush(enabled ? COLOR_WINDOW : COLOR_3DFACE));
    const int bw = GetSystemMetrics(SM_CXVSCROLL);
    RECT button{std::max(rc.left, rc.right - bw), rc.top, rc.right, rc.bottom};
    RECT edge = button;
    FillRect(dc, &button, GetSysColorBrush(COLOR_3DFACE));
    DrawEdge(dc, &edge, c.list ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    // The drop arrow: a small downward triangle in the button's middle.
    const int cx = (button.left + button.right) / 2, cy = (button.top + button.bottom) / 2;
    HBRUSH arrow = GetSysColorBrush(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT);
    for (int i = 0; i < 4; ++i) {
        RECT row{cx - 3 + i, cy - 2 + i, cx + 4 - i, cy - 1 + i};
        FillRect(dc, &row, arrow);
    }
    RECT text{rc.left + 1, rc.top + 1, button.left - 1, rc.bottom - 1};
    const bool focused = GetFocus() == combo && !c.list;
    if (focused)
        FillRect(dc, &text, GetSysColorBrush(COLOR_HIGHLIGHT));
    if (c.sel >= 0) {
        HGDIOBJ old = SelectObject(dc, FontOf(c));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(!enabled ? COLOR_GRAYTEXT : focused ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        RECT t{text.left + 2, text.top, text.right, text.bottom};
        const std::string& s = c.items[static_cast<size_t>(c.sel)];
        DrawText(dc, s.c_str(), static_cast<int>(s.size()), &t, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc, old);
    }
    EndPaint(combo, &ps);
}

LRESULT ComboProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Combo* c = Get(hwnd);
    switch (msg) {
    case WM_NCCREATE: {
        const auto* cs = reinterpret_cast<const CREATESTRUCT*>(lParam);
        Combo& n = Combos()[hwnd];
        n.dropped_height = cs->cy;
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
    case WM_SIZE:
        if (c) {
            // Any height asked for is the dropped list's; the field keeps its own.
            RECT wr;
            GetWindowRect(hwnd, &wr);
            const int field = FieldHeight(*c);
            if (wr.bottom - wr.top != field) {
                c->dropped_height = wr.bottom - wr.top;
                SetWindowPos(hwnd, nullptr, 0, 0, wr.right - wr.left, field, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            }
        }
        return 0;
    case WM_SETFONT:
        if (c) {
            c->font = reinterpret_cast<HFONT>(wParam);
            RECT wr;
            GetWindowRect(hwnd, &wr);
            const int dropped = c->dropped_height;
            SetWindowPos(hwnd, nullptr, 0, 0, wr.right - wr.left, FieldHeight(*c), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            if ((c = Get(hwnd)))
                c->dropped_height = dropped;
            if (LOWORD(lParam))
                InvalidateRect(hwnd, nullptr, TRUE);
        }
        return 0;
    case WM_GETFONT:
        return c ? reinterpret_cast<LRESULT>(c->font) : 0;
    case WM_PAINT:
        if (c) {
            PaintField(hwnd, *c);
            return 0;
        }
        break;
    case WM_ERASEBKGND:
        return 1;
    case WM_GETDLGCODE: {
        LRESULT code = DLGC_WANTARROWS | DLGC_WANTCHARS;
        const MSG* m = reinterpret_cast<const MSG*>(lParam);
        if (c && c->list && m && m->message == WM_KEYDOWN && (m->wParam == VK_RETURN || m->wParam == VK_ESCAPE))
            code |= DLGC_WANTMESSAGE;
        return code;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        if (msg == WM_KILLFOCUS && c && c->list)
            CloseUp(hwnd, false);
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (c) {
            if (GetFocus() != hwnd)
                SetFocus(hwnd);
            if ((c = Get(hwnd)) && !c->list)
                DropDown(hwnd);
        }
        return 0;
    case WM_MOUSEWHEEL:
        if (c && !c->list && c->sel >= -1)
            UserSelect(hwnd, c->sel + (GET_WHEEL_DELTA_WPARAM(wParam) > 0 ? -1 : 1));
        return 0;
    case WM_KEYDOWN:
        if (!c)
            break;
        if (c->list) {
            const int n = static_cast<int>(c->items.size());
            switch (wParam) {
            case VK_UP: c->hot = std::max(0, c->hot - 1); break;
            case VK_DOWN: c->hot = std::min(n - 1, c->hot + 1); break;
            case VK_HOME: c->hot = n ? 0 : -1; break;
            case VK_END: c->hot = n - 1; break;
            case VK_RETURN: CloseUp(hwnd, true); return 0;
            case VK_ESCAPE:
            case VK_F4: CloseUp(hwnd, false); return 0;
            default: return 0;
            }
            ScrollToHot(*c);
            return 0;
        }
        switch (wParam) {
        case VK_UP:
        case VK_LEFT:
            if (GetKeyState(VK_MENU) < 0)
                break;
            UserSelect(hwnd, c->sel - 1);
            break;
        case VK_DOWN:
        case VK_RIGHT:
            if (wParam == VK_DOWN && GetKeyState(VK_MENU) < 0)
                DropDown(hwnd);
            else
                UserSelect(hwnd, c->sel + 1);
            break;
        case VK_HOME: UserSelect(hwnd, 0); break;
        case VK_END: UserSelect(hwnd, static_cast<int>(c->items.size()) - 1); break;
        case VK_F4: DropDown(hwnd); break;
        }
        return 0;
    case WM_SYSKEYDOWN:
        if (c && (wParam == VK_DOWN || wParam == VK_UP)) {
            if (c->list)
                CloseUp(hwnd, true);
            else
                DropDown(hwnd);
            return 0;
        }
        break;
    case CB_ADDSTRING:
        if (!c || !lParam)
            return CB_ERR;
        c->items.emplace_back(reinterpret_cast<LPCSTR>(lParam));
        if (c->list)
            InvalidateRect(c->list, nullptr, TRUE);
        return static_cast<LRESULT>(c->items.size() - 1);
    case CB_DELETESTRING:
        if (!c || wParam >= c->items.size())
            return CB_ERR;
        c->items.erase(c->items.begin() + static_cast<std::ptrdiff_t>(wParam));
        if (c->sel == static_cast<int>(wParam))
            Select(hwnd, -1);
        else if (c->sel > static_cast<int>(wParam))
            --c->sel;
        return static_cast<LRESULT>(c->items.size());
    case CB_RESETCONTENT:
        if (c) {
            c->items.clear();
            c->hot = -1;
            Select(hwnd, -1);
        }
        return 0;
    case CB_GETCOUNT:
        return c ? static_cast<LRESULT>(c->items.size()) : CB_ERR;
    case CB_GETCURSEL:
        return c ? c->sel : CB_ERR;
    case CB_SETCURSEL: {
        // An index out of range clears the selection and answers CB_ERR.
        const auto index = static_cast<INT_PTR>(wParam);
        if (!c)
            return CB_ERR;
        if (index < 0 || index >= static_cast<INT_PTR>(c->items.size())) {
            Select(hwnd, -1);
            return CB_ERR;
        }
        Select(hwnd, static_cast<int>(index));
        return index;
    }
    case CB_GETLBTEXTLEN:
        return c && wParam < c->items.size() ? static_cast<LRESULT>(c->items[wParam].size()) : CB_ERR;
    case CB_GETLBTEXT:
        if (!c || wParam >= c->items.size() || !lParam)
            return CB_ERR;
        *reinterpret_cast<std::string*>(lParam) = c->items[wParam];
        return static_cast<LRESULT>(c->items[wParam].size());
    case CB_SHOWDROPDOWN:
        if (c) {
            if (wParam)
                DropDown(hwnd);
            else
                CloseUp(hwnd, false);
        }
        return TRUE;
    case CB_GETDROPPEDSTATE:
        return c && c->list ? TRUE : FALSE;
    case WM_DESTROY:
        if (c && c->list) {
            HWND list = c->list;
            c->list = nullptr;
            DestroyWindow(list);
        }
        break;
    case WM_NCDESTROY:
        Combos().erase(hwnd);
        break;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

int ItemAt(const Combo& c, HWND list, POINT pt)
{
    RECT rc;
    GetClientRect(list, &rc);
    if (pt.x < rc.left || pt.x >= rc.right || pt.y < rc.top || pt.y >= rc.bottom)
        return -2;  // outside the list
    const int index = c.top + pt.y / ItemHeight(c);
    return index < static_cast<int>(c.items.size()) ? index : -1;
}

LRESULT ListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    HWND combo = reinterpret_cast<HWND>(GetWindowLongPtr(hwnd, GWLP_USERDATA));
    Combo* c = combo ? Get(combo) : nullptr;
    if (c && c->list != hwnd)
        c = nullptr;
    const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        FillRect(dc, &rc, GetSysColorBrush(COLOR_WINDOW));
        if (c) {
            HGDIOBJ old = SelectObject(dc, FontOf(*c));
            SetBkMode(dc, TRANSPARENT);
            const int h = ItemHeight(*c);
            for (int i = c->top, y = 0; i < static_cast<int>(c->items.size()) && y < rc.bottom; ++i, y += h) {
                RECT item{rc.left, y, rc.right, y + h};
                if (i == c->hot)
                    FillRect(dc, &item, GetSysColorBrush(COLOR_HIGHLIGHT));
                SetTextColor(dc, GetSysColor(i == c->hot ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
                RECT t{item.left + 2, item.top, item.right, item.bottom};
                const std::string& s = c->items[static_cast<size_t>(i)];
                DrawText(dc, s.c_str(), static_cast<int>(s.size()), &t, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
            }
            SelectObject(dc, old);
        }
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_MOUSEMOVE:
        if (c) {
            const int i = ItemAt(*c, hwnd, pt);
            if (i != -2)
                c->armed = true;
            if (i >= 0 && i != c->hot) {
                c->hot = i;
                InvalidateRect(hwnd, nullptr, TRUE);
            }
        }
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (c) {
            if (ItemAt(*c, hwnd, pt) == -2)
                CloseUp(combo, false);  // a press outside, the field included, closes the list
            else
                c->armed = true;
        }
        return 0;
    case WM_LBUTTONUP:
        if (c && c->armed) {
            const int i = ItemAt(*c, hwnd, pt);
            if (i >= 0) {
                c->hot = i;
                CloseUp(combo, true);
            }
        }
        return 0;
    case WM_MOUSEWHEEL:
        if (c) {
            const int n = VisibleItems(*c, hwnd);
            const int max_top = std::max(0, static_cast<int>(c->items.size()) - n);
            c->top = std::clamp(c->top - GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA * 3, 0, max_top);
            InvalidateRect(hwnd, nullptr, TRUE);
        }
        return 0;
    case WM_CAPTURECHANGED:
        // Losing the capture to anyone else ends the drop.
        if (c && reinterpret_cast<HWND>(lParam) != hwnd)
            CloseUp(combo, false);
        return 0;
    case WM_MOUSEACTIVATE:
        return 3;  // MA_NOACTIVATE
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace

void RegisterComboBoxClass()
{
    WNDCLASS wc{};
    if (!GetClassInfo(nullptr, kComboClass, &wc)) {
        wc = WNDCLASS{};
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = ComboProc;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.lpszClassName = kComboClass;
        RegisterClass(&wc);
    }
    if (!GetClassInfo(nullptr, kListClass, &wc)) {
        wc = WNDCLASS{};
        wc.style = CS_DBLCLKS | CS_SAVEBITS;
        wc.lpfnWndProc = ListProc;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.lpszClassName = kListClass;
        RegisterClass(&wc);
    }
}

HWND ComboDroppedList(HWND combo)
{
    Combo* c = Get(combo);
    return c ? c->list : nullptr;
}

RECT ComboListItemRect(HWND combo, int index)
{
    Combo* c = Get(combo);
    if (!c || !c->list || index < c->top || index >= static_cast<int>(c->items.size()))
        return RECT{};
    RECT rc;
    GetClientRect(c->list, &rc);
    const int h = ItemHeight(*c), y = (index - c->top) * h;
    if (y >= rc.bottom)
        return RECT{};
    return RECT{rc.left, y, rc.right, y + h};
}

}  // namespace qv::ctl

BOOL CComboBox::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    qv::ctl::RegisterComboBoxClass();
    return CWnd::Create("COMBOBOX", "", style, rect, parent, id);
}
