// The "EDIT" class's procedure. Its text is the window text (DefWindowProc keeps it); the
// procedure keeps the caret, the selection anchor, the font and the horizontal scroll per window.

#include "platform/ctl/Edit.h"

#include <algorithm>
#include <string>
#include <unordered_map>

#include "platform/ctl/Clipboard.h"

namespace {

struct EditState {
    int anchor = 0;  // selection runs from anchor to caret
    int caret = 0;
    int scroll = 0;  // pixels of text scrolled off to the left
    HFONT font = nullptr;
    bool tracking = false;
};

std::unordered_map<HWND, EditState>& States()
{
    static std::unordered_map<HWND, EditState> map;
    return map;
}

EditState& StateOf(HWND hwnd) { return States()[hwnd]; }

// Byte offset of the character at `index` (clamped to the end).
size_t ByteOf(const std::string& s, int index)
{
    size_t i = 0;
    for (int n = 0; n < index && i < s.size(); ++n) {
        ++i;
        while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80)
            ++i;
    }
    return i;
}

int CharCount(const std::string& s)
{
    int n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80)
            ++n;
    return n;
}

std::string Utf8(UINT cp)
{
    std::string out;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x110000) {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

HFONT FontOf(const EditState& st) { return st.font ? st.font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }

int TextWidth(HWND hwnd, const std::string& text, size_t bytes)
{
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, FontOf(StateOf(hwnd)));
    SIZE sz{};
    GetTextExtentPoint32(dc, text.data(), static_cast<int>(bytes), &sz);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return sz.cx;
}

// Left of the text in client coordinates (alignment while it fits, else the scroll).
int TextLeft(HWND hwnd, const std::string& text)
{
    EditState& st = StateOf(hwnd);
    RECT rc;
    GetClientRect(hwnd, &rc);
    const int room = rc.right - rc.left - 2;
    const int width = TextWidth(hwnd, text, text.size());
    const DWORD style = static_cast<DWORD>(GetWindowLong(hwnd, GWL_STYLE));
    if (width <= room) {
        if (style & ES_RIGHT)
            return 1 + room - width;
        if (style & ES_CENTER)
            return 1 + (room - width) / 2;
        return 1;
    }
    return 1 - st.scroll;
}

void KeepCaretVisible(HWND hwnd)
{
    EditState& st = StateOf(hwnd);
    const std::string text = GetWindowTextString(hwnd);
    RECT rc;
    GetClientRect(hwnd, &rc);
    const int room = std::max(1, static_cast<int>(rc.right - rc.left - 2));
    const int total = TextWidth(hwnd, text, text.size());
    const int x = TextWidth(hwnd, text, ByteOf(text, st.caret));
    if (x - st.scroll > room - 1)
        st.scroll = x - room + 1;
    if (x < st.scroll)
        st.scroll = x;
    st.scroll = std::clamp(st.scroll, 0, std::max(0, total - room + 1));
}

void Changed(HWND hwnd)
{
    KeepCaretVisible(hwnd);
    InvalidateRect(hwnd, nullptr, TRUE);
}

void NotifyParent(HWND hwnd, WORD code)
{
    if (HWND parent = GetParent(hwnd))
        SendMessage(parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID(hwnd)), code),
                    reinterpret_cast<LPARAM>(hwnd));
}

void ReplaceSelection(HWND hwnd, const std::string& with)
{
    EditState& st = StateOf(hwnd);
    std::string text = GetWindowTextString(hwnd);
    const int lo = std::min(st.anchor, st.caret), hi = std::max(st.anchor, st.caret);
    const size_t b0 = ByteOf(text, lo), b1 = ByteOf(text, hi);
    text.replace(b0, b1 - b0, with);
    DefWindowProc(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    EditState& st2 = StateOf(hwnd);
    st2.caret = st2.anchor = lo + CharCount(with);
    Changed(hwnd);
    NotifyParent(hwnd, EN_CHANGE);
}

std::string SelectedText(HWND hwnd)
{
    EditState& st = StateOf(hwnd);
    const std::string text = GetWindowTextString(hwnd);
    const int lo = std::min(st.anchor, st.caret), hi = std::max(st.anchor, st.caret);
    const size_t b0 = ByteOf(text, lo), b1 = ByteOf(text, hi);
    return text.substr(b0, b1 - b0);
}

void CopySelection(HWND hwnd)
{
    const std::string sel = SelectedText(hwnd);
    if (sel.empty() || !OpenClipboard(hwnd))
        return;
    EmptyClipboard();
    if (HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, sel.size() + 1)) {
        std::copy(sel.c_str(), sel.c_str() + sel.size() + 1, static_cast<char*>(GlobalLock(mem)));
        GlobalUnlock(mem);
        SetClipboardData(CF_TEXT, mem);
    }
    CloseClipboard();
}

void PasteClipboard(HWND hwnd)
{
    if (!OpenClipboard(hwnd))
        return;
    std::string text;
    if (HGLOBAL mem = static_cast<HGLOBAL>(GetClipboardData(CF_TEXT))) {
        const char* p = static_cast<const char*>(GlobalLock(mem));
        const size_t size = GlobalSize(mem);
        size_t n = 0;
        while (n < size && p[n])
            ++n;
        text.assign(p, n);
        GlobalUnlock(mem);
    }
    CloseClipboard();
    // One line only: the first line break ends what a single-line box takes.
    text = text.substr(0, text.find_first_of("\r\n"));
    if (!text.empty())
        ReplaceSelection(hwnd, text);
}

int CharFromX(HWND hwnd, int x)
{
    const std::string text = GetWindowTextString(hwnd);
    const int left = TextLeft(hwnd, text);
    const int n = CharCount(text);
    int best = 0, best_dist = 1 << 30;
    for (int i = 0; i <= n; ++i) {
        const int px = left + TextWidth(hwnd, text, ByteOf(text, i));
        const int d = std::abs(px - x);
        if (d < best_dist) {
            best = i;
            best_dist = d;
        }
    }
    return best;
}

void Paint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!dc)
        return;
    EditState& st = StateOf(hwnd);
    RECT rc;
    GetClientRect(hwnd, &rc);
    HBRUSH back = CreateSolidBrush(GetSysColor(COLOR_WINDOW));
    FillRect(dc, &rc, back);
    DeleteObject(back);
    const std::string text = GetWindowTextString(hwnd);
    HGDIOBJ old = SelectObject(dc, FontOf(st));
    SetBkMode(dc, TRANSPARENT);
    const int left = TextLeft(hwnd, text);
    TEXTMETRIC tm{};
    GetTextMetrics(dc, &tm);
    const int top = std::max(0, static_cast<int>((rc.bottom - tm.tmHeight) / 2));
    const bool focused = GetFocus() == hwnd;
    const int lo = std::min(st.anchor, st.caret), hi = std::max(st.anchor, st.caret);
    if (focused && lo < hi) {
        RECT sel{left + TextWidth(hwnd, text, ByteOf(text, lo)), top,
                 left + TextWidth(hwnd, text, ByteOf(text, hi)), top + tm.tmHeight};
        HBRUSH hl = CreateSolidBrush(GetSysColor(COLOR_HIGHLIGHT));
        FillRect(dc, &sel, hl);
        DeleteObject(hl);
    }
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    TextOut(dc, left, top, text.data(), static_cast<int>(text.size()));
    if (focused && lo < hi) {
        // The selected run again in the highlight text colour, clipped to its extent.
        const size_t b0 = ByteOf(text, lo), b1 = ByteOf(text, hi);
        SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
        TextOut(dc, left + TextWidth(hwnd, text, b0), top, text.data() + b0, static_cast<int>(b1 - b0));
    }
    if (focused) {
        const int x = left + TextWidth(hwnd, text, ByteOf(text, st.caret));
        RECT caret{x, top, x + 1, top + tm.tmHeight};
        HBRUSH cb = CreateSolidBrush(GetSysColor(COLOR_WINDOWTEXT));
        FillRect(dc, &caret, cb);
        DeleteObject(cb);
    }
    SelectObject(dc, old);
    EndPaint(hwnd, &ps);
}

void MoveCaret(HWND hwnd, int to, bool extend)
{
    EditState& st = StateOf(hwnd);
    st.caret = to;
    if (!extend)
        st.anchor = to;
    Changed(hwnd);
}

LRESULT EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE:
        StateOf(hwnd) = EditState{};
        return 0;
    case WM_NCDESTROY:
        States().erase(hwnd);
        break;
    case WM_SETTEXT: {
        LRESULT r = DefWindowProc(hwnd, msg, wParam, lParam);
        EditState& st = StateOf(hwnd);
        st = EditState{0, 0, 0, st.font, false};
        InvalidateRect(hwnd, nullptr, TRUE);
        return r;
    }
    case WM_SETFONT:
        StateOf(hwnd).font = reinterpret_cast<HFONT>(wParam);
        if (LOWORD(lParam))
            InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(StateOf(hwnd).font);
    case WM_GETDLGCODE:
        return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
    case EM_GETSEL: {
        EditState& st = StateOf(hwnd);
        const int lo = std::min(st.anchor, st.caret), hi = std::max(st.anchor, st.caret);
        if (wParam)
            *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(lo);
        if (lParam)
            *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(hi);
        return MAKELONG(static_cast<WORD>(lo), static_cast<WORD>(hi));
    }
    case EM_SETSEL: {
        EditState& st = StateOf(hwnd);
        const int n = CharCount(GetWindowTextString(hwnd));
        int start = static_cast<int>(static_cast<INT_PTR>(wParam));
        int end = static_cast<int>(lParam);
        if (start == -1) {
            st.anchor = st.caret;  // no selection, caret kept
        } else {
            if (end < 0 || end > n)
                end = n;
            start = std::clamp(start, 0, n);
            st.anchor = start;
            st.caret = end;
        }
        Changed(hwnd);
        return 0;
    }
    case EM_REPLACESEL:
        ReplaceSelection(hwnd, lParam ? reinterpret_cast<const char*>(lParam) : "");
        return 0;
    case WM_CUT:
        if (!(GetWindowLong(hwnd, GWL_STYLE) & ES_READONLY)) {
            CopySelection(hwnd);
            ReplaceSelection(hwnd, "");
        }
        return 0;
    case WM_COPY:
        CopySelection(hwnd);
        return 0;
    case WM_PASTE:
        if (!(GetWindowLong(hwnd, GWL_STYLE) & ES_READONLY))
            PasteClipboard(hwnd);
        return 0;
    case WM_CLEAR:
        if (!(GetWindowLong(hwnd, GWL_STYLE) & ES_READONLY))
            ReplaceSelection(hwnd, "");
        return 0;
    case WM_IME_CHAR:
        // As the default procedure does: the character comes back as WM_CHAR, through any subclass.
        SendMessage(hwnd, WM_CHAR, wParam, lParam);
        return 0;
    case WM_CHAR: {
        const UINT ch = static_cast<UINT>(wParam);
        const bool readonly = GetWindowLong(hwnd, GWL_STYLE) & ES_READONLY;
        EditState& st = StateOf(hwnd);
        switch (ch) {
        case 1: MoveCaret(hwnd, CharCount(GetWindowTextString(hwnd)), false); StateOf(hwnd).anchor = 0; Changed(hwnd); return 0;
        case 3: CopySelection(hwnd); return 0;
        case 22: if (!readonly) PasteClipboard(hwnd); return 0;
        case 24: if (!readonly) { CopySelection(hwnd); ReplaceSelection(hwnd, ""); } return 0;
        case VK_BACK:
            if (readonly)
                return 0;
            if (st.anchor == st.caret && st.caret > 0)
                st.anchor = st.caret - 1;
            ReplaceSelection(hwnd, "");
            return 0;
        default: break;
        }
        if (ch < 0x20 || ch == 0x7F || readonly)
            return 0;
        ReplaceSelection(hwnd, Utf8(ch));
        return 0;
    }
    case WM_KEYDOWN: {
        EditState& st = StateOf(hwnd);
        const bool shift = GetKeyState(VK_SHIFT) < 0;
        const int n = CharCount(GetWindowTextString(hwnd));
        const int lo = std::min(st.anchor, st.caret), hi = std::max(st.anchor, st.caret);
        switch (wParam) {
        case VK_LEFT: MoveCaret(hwnd, shift ? std::max(0, st.caret - 1) : (lo < hi ? lo : std::max(0, st.caret - 1)), shift); break;
        case VK_RIGHT: MoveCaret(hwnd, shift ? std::min(n, st.caret + 1) : (lo < hi ? hi : std::min(n, st.caret + 1)), shift); break;
        case VK_HOME: MoveCaret(hwnd, 0, shift); break;
        case VK_END: MoveCaret(hwnd, n, shift); break;
        case VK_DELETE:
            if (GetWindowLong(hwnd, GWL_STYLE) & ES_READONLY)
                break;
            if (shift) {
                CopySelection(hwnd);
            } else if (st.anchor == st.caret && st.caret < n) {
                st.caret += 1;
            }
            ReplaceSelection(hwnd, "");
            break;
        case VK_INSERT:
            if (shift)
                SendMessage(hwnd, WM_PASTE, 0, 0);
            else if (GetKeyState(VK_CONTROL) < 0)
                CopySelection(hwnd);
            break;
        default: break;
        }
        return 0;
    }
    case WM_LBUTTONDOWN: {
        SetFocus(hwnd);
        if (!IsWindow(hwnd))
            return 0;
        MoveCaret(hwnd, CharFromX(hwnd, GET_X_LPARAM(lParam)), (wParam & MK_SHIFT) != 0);
        StateOf(hwnd).tracking = true;
        SetCapture(hwnd);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (StateOf(hwnd).tracking)
            MoveCaret(hwnd, CharFromX(hwnd, GET_X_LPARAM(lParam)), true);
        return 0;
    case WM_LBUTTONUP:
        if (StateOf(hwnd).tracking) {
            StateOf(hwnd).tracking = false;
            if (GetCapture() == hwnd)
                ReleaseCapture();
        }
        return 0;
    case WM_CAPTURECHANGED:
        StateOf(hwnd).tracking = false;
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        Paint(hwnd);
        return 0;
    default:
        break;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace

namespace qv::ctl {
void RegisterEditClass()
{
    WNDCLASS existing{};
    if (GetClassInfo(nullptr, "EDIT", &existing))
        return;
    WNDCLASS wc{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = EditProc;
    wc.hCursor = LoadCursor(nullptr, IDC_IBEAM);
    wc.lpszClassName = "EDIT";
    RegisterClass(&wc);
}
}  // namespace qv::ctl

BOOL CEdit::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    qv::ctl::RegisterEditClass();
    return CWnd::Create("EDIT", "", style, rect, parent, id);
}

void CEdit::GetSel(int& start, int& end) const
{
    DWORD s = 0, e = 0;
    SendMessage(EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
    start = static_cast<int>(s);
    end = static_cast<int>(e);
}
