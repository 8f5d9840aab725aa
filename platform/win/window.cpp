// The window tree: classes, creation and destruction, styles, geometry, the non-client frame,
// hit testing and default processing.

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/win/internal.h"

namespace qv::win {

// Set by the CWnd layer so a C++ object can be attached before the first message arrives.
void (*g_on_create)(HWND) = nullptr;

namespace {

std::string Lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

LRESULT CallCurrentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Wnd* w = Find(hwnd);
    if (!w)
        return 0;
    WNDPROC proc = w->proc;
    return proc ? proc(hwnd, msg, wParam, lParam) : DefWindowProc(hwnd, msg, wParam, lParam);
}

bool Contains(const RECT& r, POINT p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }

Region RegionOf(HRGN h)
{
    Region r;
    gdi::GetRegionOfRgn(h, &r);
    return r;
}

void SendSize(HWND hwnd)
{
    RECT c;
    if (!GetClientRect(hwnd, &c))
        return;
    SendMessageW(hwnd, WM_SIZE, 0, MAKELPARAM(static_cast<WORD>(c.right), static_cast<WORD>(c.bottom)));
}

void SendMove(HWND hwnd)
{
    Wnd* w = Find(hwnd);
    if (!w)
        return;
    POINT p{w->rect.left + w->frame, w->rect.top + w->frame};
    SendMessageW(hwnd, WM_MOVE, 0, MAKELPARAM(static_cast<WORD>(p.x), static_cast<WORD>(p.y)));
}

void Unlink(Wnd& w)
{
    State& s = S();
    if (w.parent) {
        if (Wnd* p = Find(w.parent))
            std::erase(p->children, w.hwnd);
    } else {
        std::erase(s.tops, w.hwnd);
    }
}

void CollectSubtree(HWND root, std::vector<HWND>& out)
{
    Wnd* w = Find(root);
    if (!w)
        return;
    out.push_back(root);
    for (HWND c : w->children)
        CollectSubtree(c, out);
}

bool InSubtree(HWND root, HWND hwnd)
{
    for (Wnd* w = Find(hwnd); w; w = Find(w->parent))
        if (w->hwnd == root)
            return true;
    return false;
}

void SendDestroy(HWND hwnd)
{
    SendMessageW(hwnd, WM_DESTROY, 0, 0);
    Wnd* w = Find(hwnd);
    if (!w)
        return;
    std::vector<HWND> children = w->children;
    for (HWND c : children)
        if (Wnd* cw = Find(c); cw && !cw->destroying) {
            cw->destroying = true;
            SendDestroy(c);
        }
}

void Free(HWND hwnd)
{
    Wnd* w = Find(hwnd);
    if (!w)
        return;
    std::vector<HWND> children = w->children;
    for (HWND c : children)
        Free(c);
    SendMessageW(hwnd, WM_NCDESTROY, 0, 0);
    State& s = S();
    w = Find(hwnd);
    if (!w)
        return;
    std::erase_if(s.timers, [hwnd](const Timer& t) { return t.hwnd == hwnd; });
    ForgetInputWindow(hwnd);
    Unlink(*w);
    if (w->region)
        DeleteObject(w->region);
    if (w->surface)
        DestroySdlWindow(*w);
    DestroyMessageWindow(hwnd);
    ForgetRenderWindow(*w);  // after the handle died, so no present can create a new presenter
    s.windows.erase(hwnd);
}

// The deepest window at a screen point under `hwnd` (itself included), with its hit-test code;
// null when the point is outside or every candidate there is transparent.
HWND HitTest(HWND hwnd, POINT screen, LRESULT* code)
{
    Wnd* w = Find(hwnd);
    if (!w || !(w->style & WS_VISIBLE))
        return nullptr;
    POINT o = ScreenOrigin(*w);
    RECT wr{o.x, o.y, o.x + (w->rect.right - w->rect.left), o.y + (w->rect.bottom - w->rect.top)};
    if (!Contains(wr, screen))
        return nullptr;
    if (w->region && !RegionOf(w->region).contains(screen.x - o.x, screen.y - o.y))
        return nullptr;
    if (w->parent && (w->style & WS_DISABLED))
        return nullptr;
    if (!(w->style & WS_DISABLED)) {
        RECT cr = ClientInWindow(*w);
        if (Contains(cr, POINT{screen.x - o.x, screen.y - o.y})) {
            std::vector<HWND> children = w->children;
            for (HWND c : children)
                if (HWND hit = HitTest(c, screen, code))
                    return hit;
        }
    }
    LRESULT ht = SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(static_cast<WORD>(screen.x), static_cast<WORD>(screen.y)));
    if (ht == HTTRANSPARENT)
        return nullptr;
    if (code)
        *code = ht;
    return hwnd;
}

}  // namespace

HWND TopOf(HWND hwnd)
{
    HWND top = nullptr;
    for (Wnd* w = Find(hwnd); w; w = Find(w->parent))
        top = w->hwnd;
    return top;
}

int FrameThickness(DWORD style, DWORD ex_style, bool top_level)
{
    if (top_level && (style & WS_CAPTION) == WS_CAPTION)
        return 0;  // the desktop's own decoration
    int t = 0;
    if (style & WS_BORDER)
        t += 1;
    if (ex_style & WS_EX_CLIENTEDGE)
        t += 2;
    if (ex_style & WS_EX_STATICEDGE)
        t += 1;
    return t;
}

bool HasSystemFrame(const Wnd& w) { return !w.parent && (w.style & WS_CAPTION) == WS_CAPTION; }

POINT SurfaceOrigin(const Wnd& w)
{
    if (!w.parent)
        return {0, 0};
    const Wnd* p = Find(w.parent);
    POINT o = SurfaceOrigin(*p);
    return {o.x + p->frame + w.rect.left, o.y + p->frame + w.rect.top};
}

RECT WindowSurfaceRect(const Wnd& w)
{
    POINT o = SurfaceOrigin(w);
    return {o.x, o.y, o.x + (w.rect.right - w.rect.left), o.y + (w.rect.bottom - w.rect.top)};
}

RECT ClientInWindow(const Wnd& w)
{
    // Scroll bars take the right and bottom edges inside the frame; the client's origin stays.
    RECT r{w.frame, w.frame, w.rect.right - w.rect.left - w.frame, w.rect.bottom - w.rect.top - w.frame};
    if (w.style & WS_VSCROLL)
        r.right -= kScrollBarSize;
    if (w.style & WS_HSCROLL)
        r.bottom -= kScrollBarSize;
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

bool HasNonClient(const Wnd& w) { return w.frame > 0 || (w.style & (WS_HSCROLL | WS_VSCROLL)); }

RECT ClientSurfaceRect(const Wnd& w)
{
    POINT o = SurfaceOrigin(w);
    RECT r = ClientInWindow(w);
    return {o.x + r.left, o.y + r.top, o.x + r.right, o.y + r.bottom};
}

POINT ScreenOrigin(const Wnd& w)
{
    const Wnd* top = &w;
    while (top->parent)
        top = Find(top->parent);
    POINT o = SurfaceOrigin(w);
    return {o.x + top->rect.left, o.y + top->rect.top};
}

bool IsVisibleChain(const Wnd& w)
{
    for (const Wnd* p = &w; p; p = Find(p->parent))
        if (!(p->style & WS_VISIBLE))
            return false;
    return true;
}

Region VisibleRegion(const Wnd& w, bool client_only)
{
    if (!IsVisibleChain(w))
        return {};
    Region r(client_only ? ClientSurfaceRect(w) : WindowSurfaceRect(w));
    if (w.region) {
        Region shape = RegionOf(w.region);
        POINT o = SurfaceOrigin(w);
        shape.offset(o.x, o.y);
        r = Region::combine(r, shape, RGN_AND);
    }
    for (const Wnd* p = Find(w.parent); p; p = Find(p->parent)) {
        r = r.intersected(ClientSurfaceRect(*p));
        if (p->region) {
            Region shape = RegionOf(p->region);
            POINT o = SurfaceOrigin(*p);
            shape.offset(o.x, o.y);
            r = Region::combine(r, shape, RGN_AND);
        }
    }
    return r;
}

std::shared_ptr<WindowClass> FindClass(const std::string& name)
{
    auto it = S().classes.find(Lower(name));
    return it == S().classes.end() ? nullptr : it->second;
}

void DrawFrame(HWND hwnd)
{
    Wnd* w = Find(hwnd);
    if (!w || !HasNonClient(*w))
        return;
    HDC dc = GetWindowDC(hwnd);
    if (!dc)
        return;
    RECT r{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    const RECT client = ClientInWindow(*w);
    ExcludeClipRect(dc, client.left, client.top, client.right, client.bottom);
    DrawScrollBars(hwnd, dc);
    if (w->style & WS_BORDER) {
        HBRUSH black = CreateSolidBrush(RGB(0, 0, 0));  // a plain black line, not the theme's grey
        FrameRect(dc, &r, black);
        DeleteObject(black);
        r = {r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
    }
    if (w->ex_style & WS_EX_CLIENTEDGE) {
        DrawEdge(dc, &r, EDGE_SUNKEN, BF_RECT);
        r = {r.left + 2, r.top + 2, r.right - 2, r.bottom - 2};
    }
    if (w->ex_style & WS_EX_STATICEDGE)
        DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT);
    ReleaseDC(hwnd, dc);
}

}  // namespace qv::win

using namespace qv::win;

ATOM RegisterClass(const WNDCLASS* wc)
{
    if (!wc || !wc->lpszClassName || IS_INTRESOURCE(wc->lpszClassName)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (S().fail_class_registration) {
        SetLastError(8);  // ERROR_NOT_ENOUGH_MEMORY
        return 0;
    }
    std::string key = Lower(wc->lpszClassName);
    if (S().classes.count(key)) {
        SetLastError(1410);  // ERROR_CLASS_ALREADY_EXISTS
        return 0;
    }
    auto cls = std::make_shared<WindowClass>();
    cls->name = wc->lpszClassName;
    cls->style = wc->style;
    cls->proc = wc->lpfnWndProc;
    cls->cursor = wc->hCursor;
    cls->background = wc->hbrBackground;
    S().classes[key] = cls;
    return static_cast<ATOM>(0xC000 + S().classes.size());
}

BOOL UnregisterClass(LPCSTR name, HINSTANCE)
{
    return name && S().classes.erase(Lower(name)) ? TRUE : FALSE;
}

BOOL GetClassInfo(HINSTANCE, LPCSTR name, WNDCLASS* out)
{
    auto cls = name ? FindClass(name) : nullptr;
    if (!cls || !out)
        return FALSE;
    *out = WNDCLASS{};
    out->style = cls->style;
    out->lpfnWndProc = cls->proc;
    out->hCursor = cls->cursor;
    out->hbrBackground = cls->background;
    out->lpszClassName = cls->name.c_str();
    return TRUE;
}

int GetClassName(HWND hwnd, char* buffer, int size)
{
    Wnd* w = Find(hwnd);
    if (!w || !buffer || size <= 0)
        return 0;
    int n = std::min<int>(size - 1, static_cast<int>(w->cls->name.size()));
    std::memcpy(buffer, w->cls->name.data(), n);
    buffer[n] = 0;
    return n;
}

LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return proc ? proc(hwnd, msg, wParam, lParam) : DefWindowProc(hwnd, msg, wParam, lParam);
}

HWND CreateWindowEx(DWORD ex_style, LPCSTR class_name, LPCSTR text, DWORD style, int x, int y, int width,
                    int height, HWND parent, HMENU menu_or_id, HINSTANCE instance, LPVOID param)
{
    auto cls = class_name ? FindClass(class_name) : nullptr;
    if (!cls) {
        SetLastError(1407);  // ERROR_CANNOT_FIND_WND_CLASS
        return nullptr;
    }
    if ((style & WS_CHILD) && !Find(parent)) {
        SetLastError(1406);  // ERROR_TLW_WITH_WSCHILD
        return nullptr;
    }
    InitWindowing();
    State& s = S();
    const bool child = (style & WS_CHILD) != 0;
    if (x == CW_USEDEFAULT) x = y = child ? 0 : 100;
    if (width == CW_USEDEFAULT) { width = 400; height = 300; }
    width = std::max(width, 0);
    height = std::max(height, 0);

    auto w = std::make_unique<Wnd>();
    w->hwnd = CreateMessageWindow([](HWND h, UINT m, WPARAM wp, LPARAM lp) { return CallCurrentProc(h, m, wp, lp); });
    HWND hwnd = w->hwnd;
    w->cls = cls;
    w->proc = cls->proc;
    w->style = style & ~WS_VISIBLE;
    w->ex_style = ex_style;
    w->text = text && !IS_INTRESOURCE(text) ? text : "";
    w->rect = {x, y, x + width, y + height};
    w->frame = FrameThickness(style, ex_style, !child);
    if (child) {
        w->parent = parent;
        w->id = reinterpret_cast<LONG_PTR>(menu_or_id);
    } else {
        w->owner = parent ? TopOf(parent) : nullptr;
    }
    Wnd* raw = w.get();
    s.windows[hwnd] = std::move(w);
    if (child)
        Find(parent)->children.push_back(hwnd);  // new children go to the bottom
    else
        s.tops.push_back(hwnd);
    if (!child)
        CreateSdlWindow(*raw);
    if (g_on_create)
        g_on_create(hwnd);

    CREATESTRUCT cs{param, instance, menu_or_id, parent, height, width, y, x, static_cast<LONG>(style), text, class_name, ex_style};
    if (!SendMessageW(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) ||
        SendMessageW(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    if (!Find(hwnd))
        return nullptr;
    SendSize(hwnd);
    SendMove(hwnd);
    if ((style & WS_VISIBLE) && Find(hwnd))
        ShowWindow(hwnd, SW_SHOW);
    return Find(hwnd) ? hwnd : nullptr;
}

BOOL DestroyWindow(HWND hwnd)
{
    Wnd* w = Find(hwnd);
    if (!w || w->destroying)
        return FALSE;
    State& s = S();
    // Owned pop-ups go first, as on Windows.
    std::vector<HWND> owned;
    for (HWND t : s.tops)
        if (Wnd* tw = Find(t); tw && tw->owner == hwnd)
            owned.push_back(t);
    for (HWND t : owned)
        DestroyWindow(t);
    w = Find(hwnd);
    if (!w || w->destroying)
        return FALSE;
    w->destroying = true;
    if (w->style & WS_VISIBLE) {
        if (w->parent) {
            Region area = VisibleRegion(*w, false);
            w->style &= ~WS_VISIBLE;
            InvalidateArea(w->parent, area, true, false);
        } else {
            w->style &= ~WS_VISIBLE;
            SyncSdlWindow(*w, false, false, true);
        }
    }
    if (InSubtree(hwnd, s.focus))
        SetFocus(w->parent);
    if (InSubtree(hwnd, s.capture))
        ReleaseCapture();
    SendDestroy(hwnd);
    Free(hwnd);
    if (s.active == hwnd)
        s.active = nullptr;
    return TRUE;
}

HWND GetParent(HWND hwnd)
{
    Wnd* w = Find(hwnd);
    if (!w)
        return nullptr;
    return w->parent ? w->parent : w->owner;
}

HWND SetParent(HWND hwnd, HWND parent)
{
    Wnd* w = Find(hwnd);
    Wnd* p = Find(parent);
    if (!w || !p || !w->parent || InSubtree(hwnd, parent))
        return nullptr;
    HWND old = w->parent;
    Region area = VisibleRegion(*w, false);
    InvalidateArea(old, area, true, false);
    Unlink(*w);
    w->parent = parent;
    p->children.insert(p->children.begin(), hwnd);
    InvalidateArea(hwnd, VisibleRegion(*w, false), true, true);
    return old;
}

HWND GetWindow(HWND hwnd, UINT relation)
{
    Wnd* w = Find(hwnd);
    if (!w)
        return nullptr;
    if (relation == GW_CHILD)
        return w->children.empty() ? nullptr : w->children.front();
    if (relation == GW_OWNER)
        return w->owner;
    const std::vector<HWND>* list = nullptr;
    std::vector<HWND> tops_reversed;
    if (w->parent) {
        list = &Find(w->parent)->children;
    } else {
        tops_reversed.assign(S().tops.rbegin(), S().tops.rend());  // latest on top
        list = &tops_reversed;
    }
    auto it = std::find(list->begin(), list->end(), hwnd);
    switch (relation) {
    case GW_HWNDFIRST: return list->front();
    case GW_HWNDLAST: return list->back();
    case GW_HWNDNEXT: return it + 1 < list->end() ? *(it + 1) : nullptr;
    case GW_HWNDPREV: return it > list->begin() ? *(it - 1) : nullptr;
    }
    return nullptr;
}

HWND GetAncestorTopLevel(HWND hwnd) { return TopOf(hwnd); }

BOOL IsChild(HWND parent, HWND hwnd)
{
    Wnd* w = Find(hwnd);
    for (w = w ? Find(w->parent) : nullptr; w; w = Find(w->parent))
        if (w->hwnd == parent)
            return TRUE;
    return FALSE;
}

HWND GetDlgItem(HWND dialog, int id)
{
    Wnd* w = Find(dialog);
    if (!w)
        return nullptr;
    for (HWND c : w->children)
        if (Find(c)->id == id)
            return c;
    return nullptr;
}

int GetDlgCtrlID(HWND hwnd)
{
    Wnd* w = Find(hwnd);
    return w && w->parent ? static_cast<int>(w->id) : 0;
}

LONG_PTR GetWindowLongPtr(HWND hwnd, int index)
{
    Wnd* w = Find(hwnd);
    if (!w)
        return 0;
    switch (index) {
    case GWL_STYLE: return static_cast<LONG>(w->style);
    case GWL_EXSTYLE: return static_cast<LONG>(w->ex_style);
    case GWL_ID: return w->id;
    case GWL_USERDATA: return w->user_data;
    case GWL_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case DWLP_MSGRESULT: return w->dialog_result;
    }
    return 0;
}

LONG_PTR SetWindowLongPtr(HWND hwnd, int index, LONG_PTR value)
{
    Wnd* w = Find(hwnd);
    if (!w)
        return 0;
    LONG_PTR old = GetWindowLongPtr(hwnd, index);
    switch (index) {
    case GWL_STYLE: {
        // The visible bit keeps its meaning: changing it here shows or hides without messages.
        w->style = static_cast<DWORD>(value);
        break;
    }
    case GWL_EXSTYLE: w->ex_style = static_cast<DWORD>(value); break;
    case GWL_ID: w->id = value; break;
    case GWL_USERDATA: w->user_data = value; break;
    case GWL_WNDPROC: w->proc = reinterpret_cast<WNDPROC>(value); break;
    case DWLP_MSGRESULT: w->dialog_result = value; break;
    }
    return old;
}

int GetWindowText(HWND hwnd, char* buffer, int size)
{
    if (!buffer || size <= 0)
        return 0;
    buffer[0] = 0;
    return static_cast<int>(SendMessageW(hwnd, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLength(HWND hwnd) { return static_cast<int>(SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0)); }

std::string GetWindowTextString(HWND hwnd)
{
    int n = GetWindowTextLength(hwnd);
    std::string s(static_cast<size_t>(n) + 1, '\0');
    s.resize(static_cast<size_t>(GetWindowText(hwnd, s.data(), n + 1)));
    return s;
}

BOOL SetWindowText(HWND hwnd, LPCSTR text)
{
    return SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : "")) ? TRUE : FALSE;
}

BOOL ShowWindow(HWND hwnd, int command)
{
    Wnd* w = Find(hwnd);
    if (!w)
        return FALSE;
    const bool was = (w->style & WS_VISIBLE) != 0;
    const bool show = command != SW_HIDE;
    if (show == was)
        return was;
    State& s = S();
    if (show) {
        SendMessageW(hwnd, WM_SHOWWINDOW, TRUE, 0);
        if (!(w = Find(hwnd)))
            return was;
        w->style |= WS_VISIBLE;
        if (!w->parent) {
            const bool activate = command != SW_SHOWNA && command != SW_SHOWNOACTIVATE;
            SyncSdlWindow(*w, false, false, true, activate);
            if (activate)
                s.active = hwnd;
        }
        InvalidateArea(hwnd, VisibleRegion(*w, false), true, true);
    } else {
        SendMessageW(hwnd, WM_SHOWWINDOW, FALSE, 0);
        if (!(w = Find(hwnd)))
            return was;
        Region area = VisibleRegion(*w, false);
        w->style &= ~WS_VISIBLE;
        if (w->parent)
            InvalidateArea(w->parent, area, true, false);
        else
            SyncSdlWindow(*w, false, false, true);
        if (InSubtree(hwnd, s.focus))
            SetFocus(w->parent);
    }
    return was;
}

BOOL IsWindowVisible(HWND hwnd)
{
    Wnd* w = Find(hwnd);
    return w && IsVisibleChain(*w) ? TRUE : FALSE;
}

BOOL EnableWindow(HWND hwnd, BOOL enable)
{
    Wnd* w = Find(hwnd);
    if (!w)
        return FALSE;
    const BOOL was_disabled = (w->style & WS_DISABLED) ? TRUE : FALSE;
    if (enable && was_disabled) {
        w->style &= ~WS_DISABLED;
        SendMessageW(hwnd, WM_ENABLE, TRUE, 0);
    } else if (!enable && !was_disabled) {
        w->style |= WS_DISABLED;
        State& s = S();
        if (InSubtree(hwnd, s.focus))
            SetFocus(nullptr);
        if (s.capture == hwnd)
            ReleaseCapture();
        SendMessageW(hwnd, WM_ENABLE, FALSE, 0);
    }
    return was_disabled;
}

BOOL IsWindowEnabled(HWND hwnd)
{
    Wnd* w = Find(hwnd);
    return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

BOOL SetWindowPos(HWND hwnd, HWND insert_after, int x, int y, int cx, int cy, UINT flags)
{
    Wnd* w = Find(hwnd);
    if (!w)
        return FALSE;
    const RECT old = w->rect;
    const int old_frame = w->frame;
    Region old_area = VisibleRegion(*w, false);
    RECT r = old;
    if (!(flags & SWP_NOMOVE)) {
        r.right = x + (r.right - r.left);
        r.bottom = y + (r.bottom - r.top);
        r.left = x;
        r.top = y;
    }
    if (!(flags & SWP_NOSIZE)) {
        r.right = r.left + std::max(cx, 0);
        r.bottom = r.top + std::max(cy, 0);
    }
    if (flags & SWP_FRAMECHANGED)
        w->frame = FrameThickness(w->style, w->ex_style, !w->parent);
    bool restacked = false;
    if (!(flags & SWP_NOZORDER) && w->parent) {
        auto& list = Find(w->parent)->children;
        auto it = std::find(list.begin(), list.end(), hwnd);
        if (insert_after == HWND_TOP || insert_after == HWND_TOPMOST) {
            restacked = it != list.begin();
            list.erase(it);
            list.insert(list.begin(), hwnd);
        } else if (insert_after == HWND_BOTTOM) {
            restacked = it + 1 != list.end();
            list.erase(it);
            list.push_back(hwnd);
        } else if (Find(insert_after) && insert_after != hwnd && Find(insert_after)->parent == w->parent) {
            list.erase(it);
            list.insert(std::find(list.begin(), list.end(), insert_after) + 1, hwnd);
            restacked = true;
        }
    }
    w->rect = r;
    const bool moved = r.left != old.left || r.top != old.top;
    const bool sized = (r.right - r.left) != (old.right - old.left) || (r.bottom - r.top) != (old.bottom - old.top);
    const bool frame_changed = (flags & SWP_FRAMECHANGED) != 0;

    if (!w->parent) {
        SyncSdlWindow(*w, moved, sized, false);
        if (sized)
            ResizeSurface(*w);
        if ((sized || frame_changed) && !(flags & SWP_NOREDRAW))
            InvalidateArea(hwnd, VisibleRegion(*w, false), true, true);
    } else if ((moved || sized || frame_changed || restacked) && !(flags & SWP_NOREDRAW)) {
        InvalidateArea(w->parent, old_area, true, false);
        InvalidateArea(hwnd, VisibleRegion(*w, false), true, true);
    }
    if (moved || old_frame != w->frame)
        SendMove(hwnd);
    if (sized || old_frame != w->frame)
        SendSize(hwnd);
    if (flags & SWP_SHOWWINDOW)
        ShowWindow(hwnd, (flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
    else if (flags & SWP_HIDEWINDOW)
        ShowWindow(hwnd, SW_HIDE);
    return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint)
{
    return SetWindowPos(hwnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL GetWindowRect(HWND hwnd, RECT* out)
{
    Wnd* w = Find(hwnd);
    if (!w || !out)
        return FALSE;
    POINT o = ScreenOrigin(*w);
    *out = {o.x, o.y, o.x + (w->rect.right - w->rect.left), o.y + (w->rect.bottom - w->rect.top)};
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* out)
{
    Wnd* w = Find(hwnd);
    if (!w || !out)
        return FALSE;
    RECT c = ClientSurfaceRect(*w);
    *out = {0, 0, c.right - c.left, c.bottom - c.top};
    return TRUE;
}

BOOL ClientToScreen(HWND hwnd, POINT* point)
{
    Wnd* w = Find(hwnd);
    if (!w || !point)
        return FALSE;
    POINT o = ScreenOrigin(*w);
    point->x += o.x + w->frame;
    point->y += o.y + w->frame;
    return TRUE;
}

BOOL ScreenToClient(HWND hwnd, POINT* point)
{
    Wnd* w = Find(hwnd);
    if (!w || !point)
        return FALSE;
    POINT o = ScreenOrigin(*w);
    point->x -= o.x + w->frame;
    point->y -= o.y + w->frame;
    return TRUE;
}

int MapWindowPoints(HWND from, HWND to, POINT* points, UINT count)
{
    POINT a{0, 0}, b{0, 0};
    if (from) ClientToScreen(from, &a);
    if (to) ClientToScreen(to, &b);
    for (UINT i = 0; i < count; ++i) {
        points[i].x += a.x - b.x;
        points[i].y += a.y - b.y;
    }
    return MAKELONG(static_cast<WORD>(a.x - b.x), static_cast<WORD>(a.y - b.y));
}

int SetWindowRgn(HWND hwnd, HRGN region, BOOL redraw)
{
    Wnd* w = Find(hwnd);
    if (!w)
        return 0;
    Region before = VisibleRegion(*w, false);
    if (w->region && w->region != region)
        DeleteObject(w->region);
    w->region = region;
    if (redraw) {
        // What the old shape covered and the new one does not shows the windows beneath again.
        Region after = VisibleRegion(*w, false);
        Region uncovered = Region::combine(before, after, RGN_DIFF);
        if (w->parent)
            InvalidateArea(w->parent, uncovered, true, false);
        InvalidateArea(hwnd, after, true, true);
    }
    return 1;
}

int GetWindowRgn(HWND hwnd, HRGN out)
{
    Wnd* w = Find(hwnd);
    if (!w || !w->region)
        return ERROR;
    return gdi::SetRgnToRegion(out, RegionOf(w->region));
}

HWND WindowFromPoint(POINT screen)
{
    State& s = S();
    for (auto it = s.tops.rbegin(); it != s.tops.rend(); ++it)
        if (HWND hit = HitTest(*it, screen, nullptr))
            return hit;
    return nullptr;
}

HWND ChildWindowFromPoint(HWND parent, POINT client)
{
    Wnd* w = Find(parent);
    if (!w)
        return nullptr;
    RECT c;
    GetClientRect(parent, &c);
    if (!Contains(c, client))
        return nullptr;
    for (HWND ch : w->children) {
        Wnd* cw = Find(ch);
        if (Contains(cw->rect, client) && (!cw->region || RegionOf(cw->region).contains(client.x - cw->rect.left, client.y - cw->rect.top)))
            return ch;
    }
    return parent;
}

namespace qv::win {
HWND HitTestTop(HWND top, POINT screen, LRESULT* code) { return HitTest(top, screen, code); }
}  // namespace qv::win

LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Wnd* w = Find(hwnd);
    if (!w)
        return 0;
    switch (msg) {
    case WM_NCCREATE:
        return TRUE;
    case WM_NCPAINT:
        DrawFrame(hwnd);
        return 0;
    case WM_ERASEBKGND: {
        if (ComposePresented(hwnd, reinterpret_cast<HDC>(wParam)))
            return 1;
        HBRUSH brush = w->cls->background;
        if (!brush)
            return 0;
        RECT rc;
        GetClientRect(hwnd, &rc);
        FillRect(reinterpret_cast<HDC>(wParam), &rc, brush);
        return 1;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        if (HDC dc = BeginPaint(hwnd, &ps))
            ComposePresented(hwnd, dc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_SETCURSOR: {
        if (w->parent && SendMessageW(w->parent, WM_SETCURSOR, wParam, lParam))
            return TRUE;
        w = Find(hwnd);
        if (!w)
            return FALSE;
        if (static_cast<SHORT>(LOWORD(lParam)) == HTCLIENT) {
            if (w->cls->cursor) {
                SetCursor(w->cls->cursor);
                return TRUE;
            }
            return FALSE;
        }
        SetCursor(LoadCursor(nullptr, IDC_ARROW));
        return FALSE;
    }
    case WM_NCHITTEST: {
        POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        RECT wr;
        GetWindowRect(hwnd, &wr);
        if (!Contains(wr, p))
            return HTNOWHERE;
        const POINT local{p.x - wr.left, p.y - wr.top};
        if (Contains(ClientInWindow(*w), local))
            return HTCLIENT;
        const LRESULT bar = ScrollBarHitTest(*w, local);
        return bar != HTNOWHERE ? bar : HTBORDER;
    }
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_MOUSEWHEEL:
        return w->parent ? SendMessageW(w->parent, msg, wParam, lParam) : 0;
    case WM_SETTEXT:
        w->text = lParam ? reinterpret_cast<const char*>(lParam) : "";
        if (!w->parent)
            SyncSdlWindow(*w, false, false, false);
        return TRUE;
    case WM_GETTEXT: {
        if (wParam == 0 || !lParam)
            return 0;
        char* buffer = reinterpret_cast<char*>(lParam);
        size_t n = std::min<size_t>(wParam - 1, w->text.size());
        std::memcpy(buffer, w->text.data(), n);
        buffer[n] = 0;
        return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(w->text.size());
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK:  // on a bar, a second press is just another press
        if (wParam == static_cast<WPARAM>(HTCAPTION) && msg == WM_NCLBUTTONDOWN)
            RunMoveLoop(hwnd, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        else if (wParam == static_cast<WPARAM>(HTVSCROLL) || wParam == static_cast<WPARAM>(HTHSCROLL))
            TrackScrollBar(hwnd, wParam == static_cast<WPARAM>(HTVSCROLL) ? SB_VERT : SB_HORZ,
                           POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_MOUSEACTIVATE:
        return 1;  // MA_ACTIVATE
    case kPresentedMessage:  // taken by a loop other than the layer's own
        TakePresented(hwnd);
        return 0;
    }
    return 0;
}
