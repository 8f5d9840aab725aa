#include "platform/ctl/Button.h"

#include <unordered_map>

namespace {

struct ButtonState {
    UINT check = BST_UNCHECKED;
    bool pushed = false;
    bool mouse_down = false;  // a press of the left button began on the button
    bool key_down = false;    // the space bar is held on the button
    HFONT font = nullptr;
};

std::unordered_map<HWND, ButtonState>& States()
{
    static std::unordered_map<HWND, ButtonState> states;
    return states;
}

ButtonState& StateOf(HWND hwnd) { return States()[hwnd]; }

DWORD KindOf(HWND hwnd) { return static_cast<DWORD>(GetWindowLong(hwnd, GWL_STYLE)) & BS_TYPEMASK; }

bool HasCheck(DWORD kind)
{
    switch (kind) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_RADIOBUTTON:
    case BS_3STATE:
    case BS_AUTO3STATE:
    case BS_AUTORADIOBUTTON:
        return true;
    default:
        return false;
    }
}

void Notify(HWND hwnd, WORD code)
{
    HWND parent = GetParent(hwnd);
    if (parent)
        SendMessage(parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID(hwnd)), code),
                    reinterpret_cast<LPARAM>(hwnd));
}

void Paint(HWND hwnd, HDC dc)
{
    const ButtonState& st = StateOf(hwnd);
    RECT rc;
    GetClientRect(hwnd, &rc);
    HGDIOBJ old_font = st.font ? SelectObject(dc, st.font) : nullptr;
    if (KindOf(hwnd) == BS_OWNERDRAW) {
        DRAWITEMSTRUCT dis{};
        dis.CtlType = ODT_BUTTON;
        dis.CtlID = static_cast<UINT>(GetDlgCtrlID(hwnd));
        dis.itemAction = ODA_DRAWENTIRE;
        dis.itemState = (st.pushed ? ODS_SELECTED : 0) | (GetFocus() == hwnd ? ODS_FOCUS : 0) |
                        (IsWindowEnabled(hwnd) ? 0 : ODS_DISABLED);
        dis.hwndItem = hwnd;
        dis.hDC = dc;
        dis.rcItem = rc;
        if (HWND parent = GetParent(hwnd))
            SendMessage(parent, WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
    } else {
        FillRect(dc, &rc, GetSysColorBrush(COLOR_3DFACE));
        RECT edge = rc;
        DrawEdge(dc, &edge, st.pushed || (st.check & BST_CHECKED) ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
        const std::string text = GetWindowTextString(hwnd);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(IsWindowEnabled(hwnd) ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
        RECT tr = rc;
        DrawText(dc, text.c_str(), -1, &tr, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        if (GetFocus() == hwnd) {
            RECT fr{rc.left + 3, rc.top + 3, rc.right - 3, rc.bottom - 3};
            DrawFocusRect(dc, &fr);
        }
    }
    if (old_font)
        SelectObject(dc, old_font);
}

void Redraw(HWND hwnd) { InvalidateRect(hwnd, nullptr, FALSE); }

void SetPushed(HWND hwnd, bool pushed)
{
    ButtonState& st = StateOf(hwnd);
    if (st.pushed == pushed)
        return;
    st.pushed = pushed;
    Redraw(hwnd);
}

// The end of a press over the button: automatic kinds change their check, the parent hears of it.
void Click(HWND hwnd)
{
    const DWORD kind = KindOf(hwnd);
    ButtonState& st = StateOf(hwnd);
    if (kind == BS_AUTOCHECKBOX)
        SendMessage(hwnd, BM_SETCHECK, st.check & BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
    else if (kind == BS_AUTO3STATE)
        SendMessage(hwnd, BM_SETCHECK, (st.check + 1) % 3, 0);
    else if (kind == BS_AUTORADIOBUTTON)
        SendMessage(hwnd, BM_SETCHECK, BST_CHECKED, 0);
    Notify(hwnd, BN_CLICKED);
}

void EndMousePress(HWND hwnd)
{
    ButtonState& st = StateOf(hwnd);
    st.mouse_down = false;
    SetPushed(hwnd, false);
}

LRESULT CALLBACK_Button(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_NCDESTROY:
        States().erase(hwnd);
        return DefWindowProc(hwnd, msg, wParam, lParam);
    case WM_PAINT: {
        PAINTSTRUCT ps;
        if (HDC dc = BeginPaint(hwnd, &ps))
            Paint(hwnd, dc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_GETDLGCODE:
        switch (KindOf(hwnd)) {
        case BS_PUSHBUTTON: return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
        case BS_DEFPUSHBUTTON: return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON: return DLGC_BUTTON | DLGC_RADIOBUTTON;
        case BS_GROUPBOX: return DLGC_STATIC;
        default: return DLGC_BUTTON;
        }
    case WM_LBUTTONDBLCLK: {
        const DWORD kind = KindOf(hwnd);
        if (kind == BS_OWNERDRAW || kind == BS_RADIOBUTTON || kind == BS_USERBUTTON ||
            (GetWindowLong(hwnd, GWL_STYLE) & BS_NOTIFY))
            Notify(hwnd, BN_DOUBLECLICKED);
        if (!IsWindow(hwnd))
            return 0;
        [[fallthrough]];  // the second press of a double click is a press too
    }
    case WM_LBUTTONDOWN:
        if (KindOf(hwnd) == BS_GROUPBOX)
            return 0;
        SetFocus(hwnd);
        SetCapture(hwnd);
        StateOf(hwnd).mouse_down = true;
        SetPushed(hwnd, true);
        return 0;
    case WM_MOUSEMOVE:
        if (StateOf(hwnd).mouse_down && GetCapture() == hwnd) {
            RECT rc;
            GetClientRect(hwnd, &rc);
            const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            SetPushed(hwnd, p.x >= rc.left && p.x < rc.right && p.y >= rc.top && p.y < rc.bottom);
        }
        return 0;
    case WM_LBUTTONUP: {
        ButtonState& st = StateOf(hwnd);
        if (!st.mouse_down)
            return 0;
        const bool pushed = st.pushed;
        EndMousePress(hwnd);
        if (GetCapture() == hwnd)
            ReleaseCapture();
        RECT rc;
        GetClientRect(hwnd, &rc);
        const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (pushed && p.x >= rc.left && p.x < rc.right && p.y >= rc.top && p.y < rc.bottom)
            Click(hwnd);
        return 0;
    }
    case WM_CAPTURECHANGED:
        if (StateOf(hwnd).mouse_down && reinterpret_cast<HWND>(lParam) != hwnd)
            EndMousePress(hwnd);
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_SPACE && !(lParam & (1 << 30))) {
            StateOf(hwnd).key_down = true;
            SetPushed(hwnd, true);
        }
        return 0;
    case WM_KEYUP:
        if (wParam == VK_SPACE && StateOf(hwnd).key_down) {
            ButtonState& st = StateOf(hwnd);
            st.key_down = false;
            const bool pushed = st.pushed;
            SetPushed(hwnd, false);
            if (pushed)
                Click(hwnd);
        }
        return 0;
    case WM_KILLFOCUS: {
        ButtonState& st = StateOf(hwnd);
        st.key_down = false;
        if (st.mouse_down && GetCapture() == hwnd)
            ReleaseCapture();
        st.mouse_down = false;
        SetPushed(hwnd, false);
        Redraw(hwnd);
        return 0;
    }
    case WM_SETFOCUS:
        Redraw(hwnd);
        return 0;
    case WM_ENABLE:
        Redraw(hwnd);
        return 0;
    case WM_SETTEXT: {
        LRESULT r = DefWindowProc(hwnd, msg, wParam, lParam);
        Redraw(hwnd);
        return r;
    }
    case WM_SETFONT:
        StateOf(hwnd).font = reinterpret_cast<HFONT>(wParam);
        if (lParam)
            Redraw(hwnd);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(StateOf(hwnd).font);
    case BM_GETCHECK:
        return HasCheck(KindOf(hwnd)) ? StateOf(hwnd).check : BST_UNCHECKED;
    case BM_SETCHECK:
        if (HasCheck(KindOf(hwnd))) {
            ButtonState& st = StateOf(hwnd);
            const UINT check = static_cast<UINT>(wParam) & 3;
            if (st.check != check) {
                st.check = check;
                Redraw(hwnd);
            }
        }
        return 0;
    case BM_GETSTATE: {
        const ButtonState& st = StateOf(hwnd);
        return st.check | (st.pushed ? BST_PUSHED : 0) | (GetFocus() == hwnd ? BST_FOCUS : 0);
    }
    case BM_SETSTATE:
        SetPushed(hwnd, wParam != 0);
        return 0;
    case BM_SETSTYLE: {
        const DWORD style = static_cast<DWORD>(GetWindowLong(hwnd, GWL_STYLE));
        SetWindowLong(hwnd, GWL_STYLE, static_cast<LONG>((style & ~0xFFFFu) | (wParam & 0xFFFF)));
        if (lParam)
            Redraw(hwnd);
        return 0;
    }
    case BM_CLICK:
        if (IsWindowEnabled(hwnd))
            Click(hwnd);
        return 0;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace

namespace qv::ctl {

void RegisterButtonClass()
{
    WNDCLASS existing;
    if (GetClassInfo(nullptr, "BUTTON", &existing))
        return;
    WNDCLASS wc{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = CALLBACK_Button;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = "BUTTON";
    RegisterClass(&wc);
}

}  // namespace qv::ctl

CButton::CButton() { qv::ctl::RegisterButtonClass(); }

BOOL CButton::Create(LPCSTR caption, DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CWnd::Create("BUTTON", caption, style, rect, parent, id);
}

void CButton::DrawItem(LPDRAWITEMSTRUCT) {}

BOOL CButton::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message != WM_DRAWITEM)
        return CWnd::OnChildNotify(message, wParam, lParam, result);
    DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
    return TRUE;
}
