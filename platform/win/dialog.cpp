// Dialogs: creation from templates, the default dialog procedure, the dialog manager (Tab and
// group navigation, Return and Escape) and the modal loop.

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "platform/win/dialog.h"
#include "platform/win/internal.h"

namespace qv::win {

bool (*g_pre_translate)(MSG*) = nullptr;

namespace {

constexpr char kDialogClass[] = "#32770";
constexpr WORD DC_HASDEFID = 0x534B;

struct DialogData {
    DLGPROC proc = nullptr;
    bool ended = false;
    INT_PTR result = 0;
    HFONT font = nullptr;
    bool owns_font = false;
    HWND saved_focus = nullptr;
};

std::unordered_map<HWND, DialogData>& Dialogs()
{
    static std::unordered_map<HWND, DialogData> dialogs;
    return dialogs;
}

DialogData* Data(HWND hwnd)
{
    auto it = Dialogs().find(hwnd);
    return it == Dialogs().end() ? nullptr : &it->second;
}

std::unordered_map<UINT, DialogTemplate>& Templates()
{
    static std::unordered_map<UINT, DialogTemplate> templates;
    return templates;
}

bool IsDialog(HWND hwnd)
{
    char cls[16] = {};
    return hwnd && GetClassName(hwnd, cls, sizeof cls) && std::strcmp(cls, kDialogClass) == 0;
}

// The control's own bits: a dialog still hidden during WM_INITDIALOG has usable controls.
bool Usable(HWND hwnd)
{
    DWORD style = static_cast<DWORD>(GetWindowLong(hwnd, GWL_STYLE));
    return (style & WS_VISIBLE) && !(style & WS_DISABLED);
}

std::vector<HWND> Controls(HWND dialog)
{
    std::vector<HWND> out;
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        out.push_back(c);
    return out;
}

// The control of `dialog` that `hwnd` is or lies in.
HWND ControlOf(HWND dialog, HWND hwnd)
{
    while (hwnd && GetParent(hwnd) != dialog)
        hwnd = Find(hwnd) ? Find(hwnd)->parent : nullptr;
    return hwnd;
}

HWND FirstTabStop(HWND dialog)
{
    for (HWND c : Controls(dialog))
        if ((GetWindowLong(c, GWL_STYLE) & WS_TABSTOP) && Usable(c))
            return c;
    return nullptr;
}

int g_swallow_char = 0;  // the control character of a key the dialog manager consumed

void Command(HWND dialog, int id)
{
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

}  // namespace

void RegisterDialogClass()
{
    if (FindClass(kDialogClass))
        return;
    WNDCLASS wc{};
    wc.lpfnWndProc = DefDlgProc;
    wc.style = CS_DBLCLKS | CS_SAVEBITS;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kDialogClass;
    RegisterClass(&wc);
}

void ProcessLoopMessage(MSG* msg)
{
    if (g_pre_translate && g_pre_translate(msg))
        return;
    HWND top = TopOf(msg->hwnd);
    if (IsDialog(top) && IsDialogMessage(top, msg))
        return;
    DispatchMessage(msg);
}

void RegisterDialogTemplate(UINT id, DialogTemplate tmpl) { Templates()[id] = std::move(tmpl); }

const DialogTemplate* FindDialogTemplate(UINT id)
{
    auto it = Templates().find(id);
    return it == Templates().end() ? nullptr : &it->second;
}

INT_PTR RunModalLoop(HWND dialog)
{
    DialogData* d = Data(dialog);
    if (!d)
        return -1;
    HWND owner = GetWindow(dialog, GW_OWNER);
    const bool disable_owner = owner && IsWindowEnabled(owner);
    if (disable_owner)
        EnableWindow(owner, FALSE);
    if (!IsWindowVisible(dialog) && !d->ended)
        ShowWindow(dialog, SW_SHOW);
    INT_PTR result = -1;
    for (;;) {
        d = Data(dialog);
        if (!d)
            break;
        if (d->ended) {
            result = d->result;
            break;
        }
        MSG msg;
        if (!GetMessage(&msg, nullptr, 0, 0)) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        ProcessLoopMessage(&msg);
    }
    if (disable_owner && IsWindow(owner)) {
        EnableWindow(owner, TRUE);
        SetActiveWindow(owner);
    }
    return result;
}

}  // namespace qv::win

using namespace qv::win;

LRESULT DefDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (DialogData* d = Data(hwnd); d && d->proc) {
        SetWindowLongPtr(hwnd, DWLP_MSGRESULT, 0);
        INT_PTR handled = d->proc(hwnd, msg, wParam, lParam);
        if (msg == WM_INITDIALOG || msg == WM_CTLCOLORSTATIC || msg == WM_NCDESTROY)
            ;  // these answer with the procedure's own result
        else if (handled)
            return IsWindow(hwnd) ? GetWindowLongPtr(hwnd, DWLP_MSGRESULT) : 0;
        if (msg == WM_INITDIALOG)
            return handled;
    }
    DialogData* d = Data(hwnd);
    switch (msg) {
    case WM_ERASEBKGND: {
        RECT rc;
        GetClientRect(hwnd, &rc);
        FillRect(reinterpret_cast<HDC>(wParam), &rc, GetSysColorBrush(COLOR_3DFACE));
        return 1;
    }
    case WM_CLOSE:
        PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(hwnd, IDCANCEL)));
        return 0;
    case WM_SETFONT:
        if (d) {
            if (d->owns_font && d->font != reinterpret_cast<HFONT>(wParam))
                DeleteObject(d->font);
            d->font = reinterpret_cast<HFONT>(wParam);
            d->owns_font = false;
        }
        return 0;
    case WM_GETFONT:
        return d ? reinterpret_cast<LRESULT>(d->font) : 0;
    case WM_INITDIALOG:
        return TRUE;
    case WM_SETFOCUS:
        if (d) {
            HWND target = IsWindow(d->saved_focus) && IsChild(hwnd, d->saved_focus) ? d->saved_focus : FirstTabStop(hwnd);
            if (target)
                SetFocus(target);
        }
        return 0;
    case WM_KILLFOCUS:
        return 0;
    case DM_GETDEFID:
        return MAKELONG(IDOK, DC_HASDEFID);
    case WM_NCDESTROY:
        if (d) {
            if (d->owns_font)
                DeleteObject(d->font);
            Dialogs().erase(hwnd);
        }
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

HWND CreateDialogIndirectParam(HINSTANCE instance, const DialogTemplate* tmpl, HWND parent, DLGPROC proc, LPARAM init_param)
{
    if (!tmpl || !InitWindowing())
        return nullptr;
    int x = tmpl->x, y = tmpl->y;
    if (!(tmpl->style & WS_CHILD) && parent) {
        POINT o{0, 0};
        ClientToScreen(parent, &o);
        x += o.x;
        y += o.y;
    }
    // The dialog's record must exist before its first message reaches the procedure.
    static DLGPROC pending_proc;
    static bool pending;
    pending_proc = proc;
    pending = true;
    auto previous_hook = g_on_create;
    HWND hwnd = nullptr;
    {
        // Chain to the C++ layer's hook, which attaches a CDialog being created.
        static void (*chained)(HWND);
        chained = previous_hook;
        g_on_create = [](HWND h) {
            if (pending) {
                pending = false;
                Dialogs()[h].proc = pending_proc;
            }
            if (chained)
                chained(h);
        };
        hwnd = CreateWindowEx(tmpl->ex_style, kDialogClass, tmpl->caption.c_str(), tmpl->style & ~WS_VISIBLE, x, y,
                              tmpl->cx, tmpl->cy, parent, nullptr, instance, reinterpret_cast<LPVOID>(init_param));
        g_on_create = previous_hook;
        pending = false;
    }
    if (!hwnd)
        return nullptr;
    HFONT font = nullptr;
    if (!tmpl->font_face.empty()) {
        font = CreatePointFontHandle(tmpl->font_points * 10, tmpl->font_face.c_str());
        SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (DialogData* d = Data(hwnd); d && d->font == font)
            d->owns_font = true;
        else
            DeleteObject(font), font = nullptr;
    }
    for (const DialogItemTemplate& item : tmpl->items) {
        HWND c = CreateWindowEx(item.ex_style, item.class_name.c_str(), item.text.c_str(), item.style | WS_CHILD, item.x,
                                item.y, item.cx, item.cy, hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(item.id)),
                                instance, nullptr);
        if (!c) {
            // A template naming a class nobody registered fails as a whole, as on Windows.
            DestroyWindow(hwnd);
            return nullptr;
        }
        if (font)
            SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    HWND first = FirstTabStop(hwnd);
    if (SendMessageW(hwnd, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), init_param) && IsWindow(hwnd)) {
        first = FirstTabStop(hwnd);
        if (first)
            SetFocus(first);
    }
    if (IsWindow(hwnd) && (tmpl->style & WS_VISIBLE))
        ShowWindow(hwnd, SW_SHOW);
    return IsWindow(hwnd) ? hwnd : nullptr;
}

INT_PTR DialogBoxIndirectParam(HINSTANCE instance, const DialogTemplate* tmpl, HWND parent, DLGPROC proc, LPARAM init_param)
{
    HWND dialog = CreateDialogIndirectParam(instance, tmpl, parent, proc, init_param);
    if (!dialog)
        return -1;
    INT_PTR result = RunModalLoop(dialog);
    DestroyWindow(dialog);
    return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result)
{
    DialogData* d = Data(dialog);
    if (!d)
        return FALSE;
    d->ended = true;
    d->result = result;
    ShowWindow(dialog, SW_HIDE);
    PostMessageW(dialog, WM_NULL, 0, 0);  // wakes a loop that sleeps
    return TRUE;
}

HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous)
{
    std::vector<HWND> list = Controls(dialog);
    if (list.empty())
        return nullptr;
    if (previous)
        std::reverse(list.begin(), list.end());
    HWND from = ControlOf(dialog, control);
    auto start = std::find(list.begin(), list.end(), from);
    const size_t n = list.size();
    size_t i0 = start == list.end() ? n - 1 : static_cast<size_t>(start - list.begin());
    for (size_t k = 1; k <= n; ++k) {
        HWND c = list[(i0 + k) % n];
        if ((GetWindowLong(c, GWL_STYLE) & WS_TABSTOP) && Usable(c))
            return c;
    }
    return from;
}

HWND GetNextDlgGroupItem(HWND dialog, HWND control, BOOL previous)
{
    std::vector<HWND> list = Controls(dialog);
    HWND from = ControlOf(dialog, control);
    auto pos = std::find(list.begin(), list.end(), from);
    if (pos == list.end())
        return list.empty() ? nullptr : list.front();
    // The group runs from the nearest WS_GROUP control at or before `from` to the next one.
    auto first = pos;
    while (first != list.begin() && !(GetWindowLong(*first, GWL_STYLE) & WS_GROUP))
        --first;
    auto last = pos + 1;
    while (last != list.end() && !(GetWindowLong(*last, GWL_STYLE) & WS_GROUP))
        ++last;
    std::vector<HWND> group(first, last);
    if (previous)
        std::reverse(group.begin(), group.end());
    const size_t n = group.size();
    const size_t i0 = static_cast<size_t>(std::find(group.begin(), group.end(), from) - group.begin());
    for (size_t k = 1; k < n; ++k) {
        HWND c = group[(i0 + k) % n];
        if (Usable(c))
            return c;
    }
    return from;
}

BOOL IsDialogMessage(HWND dialog, MSG* msg)
{
    if (!msg || !msg->hwnd || !IsWindow(dialog) || (msg->hwnd != dialog && !IsChild(dialog, msg->hwnd)))
        return FALSE;
    switch (msg->message) {
    case WM_KEYDOWN: {
        g_swallow_char = 0;
        LRESULT code = SendMessageW(msg->hwnd, WM_GETDLGCODE, msg->wParam, reinterpret_cast<LPARAM>(msg));
        if (code & DLGC_WANTMESSAGE)
            break;
        switch (msg->wParam) {
        case VK_TAB:
            if (code & DLGC_WANTTAB)
                break;
            if (HWND next = GetNextDlgTabItem(dialog, GetFocus(), GetKeyState(VK_SHIFT) < 0))
                SetFocus(next);
            g_swallow_char = '\t';
            return TRUE;
        case VK_LEFT:
        case VK_UP:
        case VK_RIGHT:
        case VK_DOWN:
            if (code & DLGC_WANTARROWS)
                break;
            if (HWND next = GetNextDlgGroupItem(dialog, GetFocus(), msg->wParam == VK_LEFT || msg->wParam == VK_UP))
                SetFocus(next);
            return TRUE;
        case VK_RETURN: {
            int id = IDOK;
            LRESULT def = SendMessageW(dialog, DM_GETDEFID, 0, 0);
            if (HIWORD(static_cast<DWORD>(def)) == DC_HASDEFID)
                id = LOWORD(static_cast<DWORD>(def));
            if (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON))
                id = GetDlgCtrlID(msg->hwnd);
            g_swallow_char = '\r';
            Command(dialog, id);
            return TRUE;
        }
        case VK_ESCAPE:
            g_swallow_char = 0x1B;
            Command(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    }
    case WM_CHAR: {
        const int swallow = g_swallow_char;
        g_swallow_char = 0;
        if (swallow && static_cast<int>(msg->wParam) == swallow)
            return TRUE;
        break;
    }
    }
    DispatchMessage(msg);
    return TRUE;
}
