// The SDL backend and the UI thread's loop: SDL windows for top-level windows, SDL events turned
// into raw input, raw input turned into mouse and keyboard messages (targets chosen when a
// message is taken, so capture and focus set by the previous message count), focus, capture,
// mouse-leave tracking, cursors, timers and message boxes.

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/base/clock.h"
#include "platform/base/sync.h"
#include "platform/win/internal.h"

namespace qv::win {

namespace {

std::atomic<Uint32> g_wake_event{0};
std::atomic<bool> g_wake_pending{false};

constexpr DWORD kDoubleClickTime = 500;
constexpr int kDoubleClickBox = 4;

HWND TopFromSdl(Uint32 window_id)
{
    SDL_Window* sdl = SDL_GetWindowFromID(window_id);
    for (HWND top : S().tops)
        if (Wnd* w = Find(top); w && w->surface && w->surface->sdl == sdl)
            return top;
    return nullptr;
}

POINT ScreenPoint(HWND top, int x, int y)
{
    Wnd* w = Find(top);
    return w ? POINT{w->rect.left + x, w->rect.top + y} : POINT{x, y};
}

// Pointer positions stay inside the ClipCursor rectangle, as the system keeps the pointer there
// when it moves.
void ClampToClip(RawInput& in)
{
    const State& s = S();
    if (!s.clip_cursor || (in.kind != RawInput::Move && in.kind != RawInput::Button && in.kind != RawInput::Wheel))
        return;
    in.pt.x = std::clamp<LONG>(in.pt.x, s.clip.left, std::max(s.clip.left, s.clip.right - 1));
    in.pt.y = std::clamp<LONG>(in.pt.y, s.clip.top, std::max(s.clip.top, s.clip.bottom - 1));
}

void PushInput(RawInput in)
{
    State& s = S();
    ClampToClip(in);
    if (in.kind == RawInput::Move && !s.input.empty() && s.input.back().kind == RawInput::Move) {
        in.forced = in.forced || s.input.back().forced;
        s.input.back() = in;  // one move per position, never one per hardware event
        return;
    }
    s.input.push_back(in);
}

// As Windows does when the capture is released: the window under the pointer may have missed
// the pointer's moves (they went to the capturing window), so a mouse move is sent to it. It is
// raw input like any move: queued behind the input already waiting (joining a move at its end),
// taken at the pointer's latest position, and turned into WM_SETCURSOR and WM_MOUSEMOVE (or
// WM_NCMOUSEMOVE) for the window under the pointer when it is taken, with the key state of that
// moment, even though the pointer has not moved.
// A pointer that has left our windows (or was never over one) is over another program's
// window, which gets that move: none is queued then.
void QueueMoveAfterCaptureRelease()
{
    State& s = S();
    RawInput in{RawInput::Move};
    bool known = false;
    for (auto it = s.input.rbegin(); it != s.input.rend() && !known; ++it) {
        if (it->kind == RawInput::Leave)
            return;
        if (it->kind == RawInput::Move || it->kind == RawInput::Button) {
            in.pt = it->pt;
            known = true;
        }
    }
    if (!known) {
        if (!s.hover)
            return;
        in.pt = s.cursor;
    }
    in.time = Now();
    in.forced = true;
    PushInput(in);
}

int MapKey(SDL_Keycode k)
{
    if (k >= SDLK_a && k <= SDLK_z)
        return 'A' + (k - SDLK_a);
    if (k >= SDLK_0 && k <= SDLK_9)
        return '0' + (k - SDLK_0);
    if (k >= SDLK_F1 && k <= SDLK_F12)
        return VK_F1 + (k - SDLK_F1);
    if (k >= SDLK_KP_1 && k <= SDLK_KP_9)
        return VK_NUMPAD0 + 1 + (k - SDLK_KP_1);
    switch (k) {
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_RETURN: case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_END: return VK_END;
    case SDLK_HOME: return VK_HOME;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_UP: return VK_UP;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_INSERT: return VK_INSERT;
    case SDLK_DELETE: return VK_DELETE;
    case SDLK_LSHIFT: case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL: case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LALT: case SDLK_RALT: return VK_MENU;
    case SDLK_PAUSE: return VK_PAUSE;
    case SDLK_CAPSLOCK: return VK_CAPITAL;
    case SDLK_NUMLOCKCLEAR: return VK_NUMLOCK;
    case SDLK_SCROLLLOCK: return VK_SCROLL;
    case SDLK_KP_0: return VK_NUMPAD0;
    case SDLK_KP_PLUS: return VK_ADD;
    case SDLK_KP_MINUS: return VK_SUBTRACT;
    case SDLK_KP_MULTIPLY: return VK_MULTIPLY;
    case SDLK_KP_DIVIDE: return VK_DIVIDE;
    case SDLK_KP_PERIOD: return VK_DECIMAL;
    case SDLK_SEMICOLON: return 0xBA;
    case SDLK_EQUALS: return 0xBB;
    case SDLK_COMMA: return 0xBC;
    case SDLK_MINUS: return 0xBD;
    case SDLK_PERIOD: return 0xBE;
    case SDLK_SLASH: return 0xBF;
    case SDLK_BACKQUOTE: return 0xC0;
    case SDLK_LEFTBRACKET: return 0xDB;
    case SDLK_BACKSLASH: return 0xDC;
    case SDLK_RIGHTBRACKET: return 0xDD;
    case SDLK_QUOTE: return 0xDE;
    }
    return 0;
}

void PushText(const std::string& utf8)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const unsigned char* end = p + utf8.size();
    while (p < end) {
        char32_t c = *p;
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0 || end - p <= extra) {
            ++p;  // a stray byte is dropped rather than passed on as a character
            continue;
        }
        if (extra > 0) {
            c &= 0x3F >> extra;
            for (int i = 1; i <= extra; ++i)
                c = (c << 6) | (p[i] & 0x3F);
        }
        p += extra + 1;
        RawInput in{RawInput::Char};
        in.value = static_cast<int>(c);
        in.time = Now();
        PushInput(in);
    }
}

void HandleSdlEvent(const SDL_Event& e)
{
    State& s = S();
    if (e.type == g_wake_event.load()) {
        g_wake_pending = false;
        return;
    }
    switch (e.type) {
    case SDL_QUIT:
        // A termination signal, or the session asking to quit: every visible top-level window
        // is asked to close, as a click on its close box would, so the program ends in order.
        for (HWND top : std::vector<HWND>(s.tops))
            if (IsWindowVisible(top))
                PostMessageW(top, WM_CLOSE, 0, 0);
        break;
    case SDL_MOUSEMOTION: {
        HWND top = TopFromSdl(e.motion.windowID);
        RawInput in{RawInput::Move};
        in.pt = ScreenPoint(top, e.motion.x, e.motion.y);
        in.time = Now();
        PushInput(in);
        break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        int button = e.button.button == SDL_BUTTON_LEFT ? 1 : e.button.button == SDL_BUTTON_MIDDLE ? 2
                   : e.button.button == SDL_BUTTON_RIGHT ? 3 : 0;
        if (!button)
            break;
        RawInput in{RawInput::Button};
        in.pt = ScreenPoint(TopFromSdl(e.button.windowID), e.button.x, e.button.y);
        in.button = button;
        in.down = e.type == SDL_MOUSEBUTTONDOWN;
        in.time = Now();
        PushInput(in);
        break;
    }
    case SDL_MOUSEWHEEL: {
        int y = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
        if (y == 0)
            break;
        RawInput in{RawInput::Wheel};
        in.pt = s.cursor;
        in.value = y;
        in.time = Now();
        PushInput(in);
        break;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        int vk = MapKey(e.key.keysym.sym);
        if (vk)
            InjectKey(vk, e.type == SDL_KEYDOWN, e.key.repeat != 0);
        break;
    }
    case SDL_TEXTINPUT:
        PushText(e.text.text);
        break;
    case SDL_WINDOWEVENT: {
        HWND top = TopFromSdl(e.window.windowID);
        Wnd* w = Find(top);
        if (!w)
            break;
        switch (e.window.event) {
        case SDL_WINDOWEVENT_LEAVE: InjectPointerLeftWindow(top); break;
        case SDL_WINDOWEVENT_CLOSE: PostMessageW(top, WM_CLOSE, 0, 0); break;
        case SDL_WINDOWEVENT_EXPOSED: w->surface->dirty = true; break;
        case SDL_WINDOWEVENT_FOCUS_GAINED: s.active = top; break;
        case SDL_WINDOWEVENT_MOVED: {
            int dx = e.window.data1 - w->rect.left, dy = e.window.data2 - w->rect.top;
            w->rect = {w->rect.left + dx, w->rect.top + dy, w->rect.right + dx, w->rect.bottom + dy};
            break;
        }
        }
        break;
    }
    }
}

void PumpSdl()
{
    if (!S().sdl_ready)
        return;
    SDL_Event e;
    while (SDL_PollEvent(&e))
        HandleSdlEvent(e);
}

WPARAM MouseKeyFlags()
{
    const BYTE* k = S().keys;
    WPARAM f = 0;
    if (k[VK_LBUTTON] & 0x80) f |= MK_LBUTTON;
    if (k[VK_RBUTTON] & 0x80) f |= MK_RBUTTON;
    if (k[VK_MBUTTON] & 0x80) f |= MK_MBUTTON;
    if (k[VK_SHIFT] & 0x80) f |= MK_SHIFT;
    if (k[VK_CONTROL] & 0x80) f |= MK_CONTROL;
    return f;
}

void SetKey(int vk, bool down)
{
    BYTE& k = S().keys[vk & 0xFF];
    if (down && !(k & 0x80))
        k ^= 0x01;  // toggle state flips on each press
    k = static_cast<BYTE>(down ? (k | 0x80) : (k & ~0x80));
}

HWND HitAt(POINT screen, LRESULT* code)
{
    *code = HTNOWHERE;
    State& s = S();
    for (auto it = s.tops.rbegin(); it != s.tops.rend(); ++it)
        if (HWND hit = HitTestTop(*it, screen, code))
            return hit;
    return nullptr;
}

void UpdateHover(HWND hover)
{
    State& s = S();
    s.hover = hover;
    if (s.tracking && s.tracking != hover) {
        HWND left = s.tracking;
        s.tracking = nullptr;
        PostMessageW(left, WM_MOUSELEAVE, 0, 0);
    }
}

LPARAM ClientLParam(HWND hwnd, POINT screen)
{
    ScreenToClient(hwnd, &screen);
    return MAKELPARAM(static_cast<WORD>(screen.x), static_cast<WORD>(screen.y));
}

bool DisabledTop(HWND hwnd)
{
    Wnd* top = Find(TopOf(hwnd));
    return !top || (top->style & WS_DISABLED);
}

// Turns one raw input into a message; false when it produces none.
bool Translate(const RawInput& in, MSG* out)
{
    State& s = S();
    *out = MSG{nullptr, 0, 0, 0, in.time, in.pt};
    switch (in.kind) {
    case RawInput::Leave: {
        out->pt = s.cursor;
        if (s.tracking && TopOf(s.tracking) == in.top)
            UpdateHover(nullptr);
        s.hover = nullptr;
        return false;
    }
    case RawInput::Move:
    case RawInput::Button:
    case RawInput::Wheel: {
        const bool moved = in.kind != RawInput::Move || in.forced || in.pt.x != s.cursor.x || in.pt.y != s.cursor.y;
        s.cursor = in.pt;
        if (!moved)
            return false;
        LRESULT ht = HTNOWHERE;
        HWND hit = HitAt(in.pt, &ht);
        UpdateHover(hit);
        if (in.kind == RawInput::Button) {
            int vk = in.button == 1 ? VK_LBUTTON : in.button == 2 ? VK_MBUTTON : VK_RBUTTON;
            SetKey(vk, in.down);
        }
        HWND target = s.capture ? s.capture : hit;
        if (!target || !Find(target))
            return false;
        if (!s.capture) {
            UINT mouse_msg = in.kind == RawInput::Move ? WM_MOUSEMOVE : in.kind == RawInput::Wheel ? WM_MOUSEWHEEL : WM_LBUTTONDOWN;
            if (!DisabledTop(target))
                SendMessageW(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target), MAKELPARAM(static_cast<WORD>(ht), static_cast<WORD>(mouse_msg)));
            if (!Find(target))
                return false;
        } else {
            ht = HTCLIENT;
        }
        if (DisabledTop(target))
            return false;
        out->hwnd = target;
        if (in.kind == RawInput::Wheel) {
            out->message = WM_MOUSEWHEEL;
            out->wParam = MAKEWPARAM(static_cast<WORD>(MouseKeyFlags()), static_cast<WORD>(in.value * WHEEL_DELTA));
            out->lParam = MAKELPARAM(static_cast<WORD>(in.pt.x), static_cast<WORD>(in.pt.y));
            if (s.focus && !s.capture)
                out->hwnd = s.focus;  // the wheel goes to the focus window, as on Windows
            return true;
        }
        const bool client = ht == HTCLIENT;
        if (in.kind == RawInput::Move) {
            out->message = client ? WM_MOUSEMOVE : WM_NCMOUSEMOVE;
            out->wParam = client ? MouseKeyFlags() : static_cast<WPARAM>(ht);
            out->lParam = client ? ClientLParam(target, in.pt) : MAKELPARAM(static_cast<WORD>(in.pt.x), static_cast<WORD>(in.pt.y));
            return true;
        }
        static const UINT down_msgs[] = {0, WM_LBUTTONDOWN, WM_MBUTTONDOWN, WM_RBUTTONDOWN};
        UINT base = down_msgs[in.button];
        UINT msg = in.down ? base : base + 1;
        if (in.down) {
            Wnd* w = Find(target);
            const bool dbl = (w->cls->style & CS_DBLCLKS) && s.last_click_hwnd == target && s.last_click_button == in.button &&
                             in.time - s.last_click_time <= kDoubleClickTime &&
                             std::abs(in.pt.x - s.last_click_pt.x) <= kDoubleClickBox / 2 &&
                             std::abs(in.pt.y - s.last_click_pt.y) <= kDoubleClickBox / 2;
            if (dbl) {
                msg = base + 2;
                s.last_click_hwnd = nullptr;  // a third click starts a new pair
            } else {
                s.last_click_hwnd = target;
                s.last_click_button = in.button;
                s.last_click_time = in.time;
                s.last_click_pt = in.pt;
            }
            if (!s.capture)
                s.active = TopOf(target);
        }
        if (client) {
            out->message = msg;
            out->wParam = MouseKeyFlags();
            out->lParam = ClientLParam(target, in.pt);
        } else {
            out->message = msg - WM_LBUTTONDOWN + WM_NCLBUTTONDOWN;
            out->wParam = static_cast<WPARAM>(ht);
            out->lParam = MAKELPARAM(static_cast<WORD>(in.pt.x), static_cast<WORD>(in.pt.y));
        }
        return true;
    }
    case RawInput::Key: {
        const bool was_down = (s.keys[in.value & 0xFF] & 0x80) != 0;
        SetKey(in.value, in.down);
        HWND target = s.focus ? s.focus : s.active;
        if (!Find(target) || DisabledTop(target))
            return false;
        const bool alt = (s.keys[VK_MENU] & 0x80) != 0;
        const bool sys = (alt && !(s.keys[VK_CONTROL] & 0x80)) || in.value == VK_F10 || in.value == VK_MENU;
        out->hwnd = target;
        out->message = in.down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
        out->wParam = static_cast<WPARAM>(in.value);
        DWORD lp = 1;
        if (alt) lp |= 1u << 29;
        if (in.down ? (in.repeat || was_down) : true) lp |= 1u << 30;
        if (!in.down) lp |= 1u << 31;
        out->lParam = static_cast<LPARAM>(static_cast<LONG>(lp));
        out->pt = s.cursor;
        if (in.down && !alt) {
            // What TranslateMessage makes of keys that give no text: control characters.
            int ch = 0;
            if (in.value == VK_BACK || in.value == VK_TAB || in.value == VK_RETURN || in.value == VK_ESCAPE)
                ch = in.value;
            else if ((s.keys[VK_CONTROL] & 0x80) && in.value >= 'A' && in.value <= 'Z')
                ch = in.value - 'A' + 1;
            if (ch) {
                RawInput c{RawInput::Char};
                c.value = ch;
                c.time = in.time;
                s.input.push_front(c);
            }
        }
        return true;
    }
    case RawInput::Char: {
        HWND target = s.focus ? s.focus : s.active;
        if (!Find(target) || DisabledTop(target))
            return false;
        *out = MSG{target, WM_CHAR, static_cast<WPARAM>(in.value), 1, in.time, s.cursor};
        return true;
    }
    }
    return false;
}

// A sent or posted message; the loop's own repaint notices of render windows are taken here.
bool PeekPosted(MSG* msg, HWND hwnd, UINT min_filter, UINT max_filter, bool remove)
{
    for (;;) {
        if (!PeekMessageW(msg, hwnd, min_filter, max_filter, remove ? PM_REMOVE : PM_NOREMOVE))
            return false;
        if (msg->message != kPresentedMessage)
            return true;
        if (!remove)
            PeekMessageW(msg, hwnd, min_filter, max_filter, PM_REMOVE);
        TakePresented(msg->hwnd);
    }
}

// Translates raw input one event at a time; messages that a translation posts (a mouse leave)
// are taken before the next input, as posted messages come first.
bool FetchInput(MSG* msg, HWND hwnd, UINT min_filter, UINT max_filter, bool remove)
{
    State& s = S();
    for (;;) {
        if (PeekPosted(msg, hwnd, min_filter, max_filter, remove))
            return true;
        if (!s.ready.empty()) {
            *msg = s.ready.front();
            if (remove)
                s.ready.pop_front();
            return true;
        }
        if (s.input.empty())
            return false;
        RawInput in = s.input.front();
        s.input.pop_front();
        MSG m;
        if (Translate(in, &m))
            s.ready.push_back(m);
    }
}

bool FetchTimer(MSG* msg, bool remove)
{
    State& s = S();
    const DWORD now = Now();
    Timer* best = nullptr;
    for (Timer& t : s.timers)
        if (static_cast<LONG>(now - t.due) >= 0 && (!best || static_cast<LONG>(t.due - best->due) < 0))
            best = &t;
    if (!best)
        return false;
    *msg = MSG{best->hwnd, WM_TIMER, best->id, reinterpret_cast<LPARAM>(best->proc), now, s.cursor};
    if (remove)
        best->due = now + best->interval;
    return true;
}

bool FetchOne(MSG* msg, HWND hwnd, UINT min_filter, UINT max_filter, bool remove);

// One message of the loop's priority order, or false when there is none now. A removed
// message's time and point are what GetMessageTime and GetMessagePos report.
bool Fetch(MSG* msg, HWND hwnd, UINT min_filter, UINT max_filter, bool remove)
{
    if (!FetchOne(msg, hwnd, min_filter, max_filter, remove))
        return false;
    if (remove) {
        S().message_time = msg->time;
        S().message_pt = msg->pt;
    }
    return true;
}

bool FetchOne(MSG* msg, HWND hwnd, UINT min_filter, UINT max_filter, bool remove)
{
    PumpSdl();
    if (PeekPosted(msg, hwnd, min_filter, max_filter, remove))
        return true;
    if (hwnd || min_filter || max_filter)
        return false;
    if (FetchInput(msg, hwnd, min_filter, max_filter, remove))
        return true;
    if (HWND h = NextWindowToPaint()) {
        *msg = MSG{h, WM_PAINT, 0, 0, Now(), S().cursor};
        return true;
    }
    return FetchTimer(msg, remove);
}

DWORD NextTimerWait()
{
    State& s = S();
    if (s.timers.empty())
        return INFINITE;
    const DWORD now = Now();
    LONG best = 0x7FFFFFFF;
    for (const Timer& t : s.timers)
        best = std::min(best, static_cast<LONG>(t.due - now));
    return best < 0 ? 0 : static_cast<DWORD>(best);
}

// Whether SDL can sleep until an event: only a real driver with a window of ours can be woken
// by the event a post pushes; otherwise SDL's wait is a poll with a 1 ms sleep.
bool SdlCanSleep()
{
    State& s = S();
    if (s.headless)
        return false;
    for (HWND top : s.tops)
        if (Wnd* w = Find(top); w && w->surface && w->surface->sdl)
            return true;
    return false;
}

void WaitForEvents(DWORD ms)
{
    if (!S().sdl_ready) {
        WaitMessageTimeout(ms);
        return;
    }
    if (!SdlCanSleep()) {
        // Posts wake our queue at once; SDL (events pushed by other threads, the system's own)
        // is looked at every few milliseconds.
        constexpr DWORD kSdlLookInterval = 10;
        WaitMessageTimeout(std::min<DWORD>(ms, kSdlLookInterval));
        return;
    }
    const int timeout = ms == INFINITE ? 1000 : static_cast<int>(std::min<DWORD>(ms, 1000));
    SDL_WaitEventTimeout(nullptr, timeout);
}

HCURSOR SystemCursor(UINT_PTR id)
{
    static std::unordered_map<UINT_PTR, std::unique_ptr<HCURSOR__>> cursors;
    auto& c = cursors[id];
    if (!c)
        c = std::make_unique<HCURSOR__>(HCURSOR__{id});
    return c.get();
}

SDL_SystemCursor SdlCursorFor(UINT_PTR id)
{
    switch (id) {
    case 32513: return SDL_SYSTEM_CURSOR_IBEAM;
    case 32514: return SDL_SYSTEM_CURSOR_WAIT;
    case 32515: return SDL_SYSTEM_CURSOR_CROSSHAIR;
    case 32642: return SDL_SYSTEM_CURSOR_SIZENWSE;
    case 32643: return SDL_SYSTEM_CURSOR_SIZENESW;
    case 32644: return SDL_SYSTEM_CURSOR_SIZEWE;
    case 32645: return SDL_SYSTEM_CURSOR_SIZENS;
    case 32646: return SDL_SYSTEM_CURSOR_SIZEALL;
    case 32648: return SDL_SYSTEM_CURSOR_NO;
    case 32649: return SDL_SYSTEM_CURSOR_HAND;
    }
    return SDL_SYSTEM_CURSOR_ARROW;
}

}  // namespace

State& S()
{
    static State state;
    return state;
}

Wnd* Find(HWND hwnd)
{
    if (!hwnd)
        return nullptr;
    auto& windows = S().windows;
    auto it = windows.find(hwnd);
    return it == windows.end() ? nullptr : it->second.get();
}

DWORD Now()
{
    auto& clock = S().clock;
    return clock ? clock() : GetTickCount();
}

bool InitWindowing()
{
    State& s = S();
    if (s.sdl_ready)
        return true;
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        // No display: the same code runs on the dummy driver.
        std::fprintf(stderr, "window layer: %s; using the dummy video driver\n", SDL_GetError());
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            std::fprintf(stderr, "window layer: %s\n", SDL_GetError());
            return false;
        }
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    s.headless = !driver || std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0;
    if (!g_wake_event.load())
        g_wake_event = SDL_RegisterEvents(1);
    s.ui_thread = GetCurrentThreadId();
    SetQueueWakeHook(s.ui_thread, [] {
        if (!g_wake_pending.exchange(true)) {
            SDL_Event e{};
            e.type = g_wake_event.load();
            SDL_PushEvent(&e);
        }
    });
    SDL_StartTextInput();
    RegisterDialogClass();
    RegisterStaticClass();
    InstallPresentHook();
    s.sdl_ready = true;
    return true;
}

void ShutdownWindowing()
{
    State& s = S();
    while (!s.tops.empty()) {
        HWND top = s.tops.back();
        if (!DestroyWindow(top))
            s.tops.pop_back();
    }
    s.timers.clear();
    s.input.clear();
    s.ready.clear();
    s.focus = s.active = s.capture = s.tracking = s.hover = nullptr;
    s.last_click_hwnd = nullptr;
    std::memset(s.keys, 0, sizeof s.keys);
    s.cursor = {-1, -1};
    s.clip_cursor = false;
    if (s.sdl_ready) {
        RemovePresentHook();
        SetQueueWakeHook(s.ui_thread, nullptr);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        s.sdl_ready = false;
        g_wake_pending = false;
    }
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
}

bool IsHeadless() { return S().headless; }

void CreateSdlWindow(Wnd& top)
{
    top.surface = std::make_unique<Surface>();
    ResizeSurface(top);
    if (!S().sdl_ready)
        return;
    Uint32 flags = SDL_WINDOW_HIDDEN;
    if (!HasSystemFrame(top))
        flags |= SDL_WINDOW_BORDERLESS;
    if (top.ex_style & WS_EX_TOPMOST)
        flags |= SDL_WINDOW_ALWAYS_ON_TOP;
    if (top.ex_style & WS_EX_TOOLWINDOW)
        flags |= SDL_WINDOW_SKIP_TASKBAR;
    top.surface->sdl = SDL_CreateWindow(top.text.c_str(), top.rect.left, top.rect.top,
                                        std::max<int>(1, top.rect.right - top.rect.left),
                                        std::max<int>(1, top.rect.bottom - top.rect.top), flags);
    if (!top.surface->sdl)
        std::fprintf(stderr, "window layer: SDL_CreateWindow: %s\n", SDL_GetError());
}

void DestroySdlWindow(Wnd& top)
{
    if (top.surface->sdl)
        SDL_DestroyWindow(top.surface->sdl);
    if (top.surface->bitmap)
        DeleteObject(top.surface->bitmap);
    top.surface.reset();
}

void ResizeSurface(Wnd& top)
{
    Surface& sf = *top.surface;
    sf.width = std::max<int>(1, top.rect.right - top.rect.left);
    sf.height = std::max<int>(1, top.rect.bottom - top.rect.top);
    // DCs still holding the old buffer keep it alive until they are released.
    if (sf.bitmap)
        DeleteObject(sf.bitmap);
    sf.bitmap = CreateBitmap(sf.width, sf.height, 1, 32, nullptr);
    sf.dirty = true;
}

void SyncSdlWindow(Wnd& top, bool moved, bool sized, bool shown_changed, bool activate)
{
    SDL_Window* sdl = top.surface ? top.surface->sdl : nullptr;
    if (!sdl)
        return;
    if (moved)
        SDL_SetWindowPosition(sdl, top.rect.left, top.rect.top);
    if (sized)
        SDL_SetWindowSize(sdl, std::max<int>(1, top.rect.right - top.rect.left), std::max<int>(1, top.rect.bottom - top.rect.top));
    if (shown_changed) {
        if (top.style & WS_VISIBLE) {
            SDL_SetHint(SDL_HINT_WINDOW_NO_ACTIVATION_WHEN_SHOWN, activate ? "0" : "1");
            SDL_ShowWindow(sdl);
            top.surface->dirty = true;
        } else {
            SDL_HideWindow(sdl);
        }
    }
    if (!moved && !sized && !shown_changed)
        SDL_SetWindowTitle(sdl, top.text.c_str());
}

void PresentAll()
{
    for (HWND h : S().tops) {
        Wnd* w = Find(h);
        if (!w || !w->surface || !w->surface->dirty || !(w->style & WS_VISIBLE))
            continue;
        Surface& sf = *w->surface;
        sf.dirty = false;
        if (!sf.sdl)
            continue;
        SDL_Surface* target = SDL_GetWindowSurface(sf.sdl);
        if (!target)
            continue;
        const int width = std::min(sf.width, target->w), height = std::min(sf.height, target->h);
        SDL_LockSurface(target);
        SDL_ConvertPixels(width, height, SDL_PIXELFORMAT_ARGB8888, gdi::BitmapScanline(sf.bitmap, 0), sf.width * 4,
                          target->format->format, target->pixels, target->pitch);
        SDL_UnlockSurface(target);
        SDL_UpdateWindowSurface(sf.sdl);
    }
}

void ForgetInputWindow(HWND hwnd)
{
    State& s = S();
    if (s.focus == hwnd) s.focus = nullptr;
    if (s.active == hwnd) s.active = nullptr;
    if (s.capture == hwnd) s.capture = nullptr;
    if (s.tracking == hwnd) s.tracking = nullptr;
    if (s.hover == hwnd) s.hover = nullptr;
    if (s.last_click_hwnd == hwnd) s.last_click_hwnd = nullptr;
    std::erase_if(s.ready, [hwnd](const MSG& m) { return m.hwnd == hwnd; });
    s.painted.erase(hwnd);
}

bool NextRawInput(RawInput* out)
{
    PumpSdl();
    State& s = S();
    if (s.input.empty())
        return false;
    *out = s.input.front();
    s.input.pop_front();
    return true;
}

void RunMoveLoop(HWND hwnd, POINT start)
{
    State& s = S();
    Wnd* w = Find(hwnd);
    if (!w || !(s.keys[VK_LBUTTON] & 0x80))
        return;
    const POINT origin{w->rect.left, w->rect.top};
    for (;;) {
        RawInput in;
        if (!NextRawInput(&in)) {
            if (s.headless)
                return;  // nobody can move a pointer that does not exist
            MSG m;
            while (Fetch(&m, nullptr, 0, 0, true) && m.message == WM_PAINT)
                DispatchMessage(&m);
            PresentAll();
            SDL_WaitEventTimeout(nullptr, 10);
            continue;
        }
        if (!Find(hwnd))
            return;
        if (in.kind == RawInput::Move) {
            POINT p = in.pt;
            if (!s.headless) {
                int gx, gy;
                SDL_GetGlobalMouseState(&gx, &gy);
                p = {gx, gy};
            }
            s.cursor = p;
            SetWindowPos(hwnd, nullptr, origin.x + p.x - start.x, origin.y + p.y - start.y, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        } else if (in.kind == RawInput::Button && in.button == 1 && !in.down) {
            SetKey(VK_LBUTTON, false);  // the closing button-up is swallowed
            return;
        } else if (in.kind == RawInput::Key && in.value == VK_ESCAPE && in.down) {
            SetWindowPos(hwnd, nullptr, origin.x, origin.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            return;
        }
    }
}

const uint32_t* BackingBuffer(HWND top, int* width, int* height)
{
    Wnd* w = Find(top);
    if (!w || !w->surface)
        return nullptr;
    if (width) *width = w->surface->width;
    if (height) *height = w->surface->height;
    return gdi::BitmapScanline(w->surface->bitmap, 0);
}

COLORREF ReadPixel(HWND hwnd, int x, int y)
{
    Wnd* w = Find(hwnd);
    Wnd* top = Find(TopOf(hwnd));
    if (!w || !top || !top->surface)
        return CLR_INVALID;
    RECT c = ClientSurfaceRect(*w);
    int sx = c.left + x, sy = c.top + y;
    if (sx < 0 || sy < 0 || sx >= top->surface->width || sy >= top->surface->height)
        return CLR_INVALID;
    const uint32_t p = gdi::BitmapScanline(top->surface->bitmap, sy)[sx];  // 0xAARRGGBB
    return RGB(static_cast<BYTE>(p >> 16), static_cast<BYTE>(p >> 8), static_cast<BYTE>(p));
}

bool PumpPending()
{
    InitWindowing();
    MSG msg;
    while (Fetch(&msg, nullptr, 0, 0, true)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            PresentAll();
            return false;
        }
        ProcessLoopMessage(&msg);
    }
    PresentAll();
    return true;
}

void InjectMouseMove(int x, int y)
{
    RawInput in{RawInput::Move};
    in.pt = {x, y};
    in.time = Now();
    PushInput(in);
}

void InjectMouseButton(int x, int y, int button, bool down)
{
    RawInput in{RawInput::Button};
    in.pt = {x, y};
    in.button = button;
    in.down = down;
    in.time = Now();
    PushInput(in);
}

void InjectMouseWheel(int x, int y, int notches)
{
    InjectMouseMove(x, y);
    RawInput in{RawInput::Wheel};
    in.pt = {x, y};
    in.value = notches;
    in.time = Now();
    PushInput(in);
}

void InjectKey(int vkey, bool down, bool repeat)
{
    RawInput in{RawInput::Key};
    in.value = vkey;
    in.down = down;
    in.repeat = repeat;
    in.time = Now();
    PushInput(in);
}

void InjectText(const std::string& utf8) { PushText(utf8); }

void InjectPointerLeftWindow(HWND top)
{
    RawInput in{RawInput::Leave};
    in.top = top;
    in.time = Now();
    PushInput(in);
}

void SetClockForTesting(std::function<DWORD()> clock) { S().clock = std::move(clock); }
void SetMessageBoxAnswerForTesting(int answer) { S().message_box_answer = answer; }
std::string LastMessageBoxText() { return S().last_message_box; }
void FailClassRegistrationForTesting(bool fail) { S().fail_class_registration = fail; }

}  // namespace qv::win

using namespace qv::win;

BOOL GetMessage(MSG* msg, HWND hwnd, UINT min_filter, UINT max_filter)
{
    if (!msg)
        return -1;
    InitWindowing();
    for (;;) {
        if (Fetch(msg, hwnd, min_filter, max_filter, true)) {
            S().message_time = msg->time;
            S().message_pt = msg->pt;
            return msg->message == WM_QUIT ? FALSE : TRUE;
        }
        PresentAll();
        WaitForEvents(NextTimerWait());
    }
}

BOOL PeekMessage(MSG* msg, HWND hwnd, UINT min_filter, UINT max_filter, UINT remove)
{
    if (!msg)
        return FALSE;
    InitWindowing();
    if (Fetch(msg, hwnd, min_filter, max_filter, (remove & PM_REMOVE) != 0))
        return TRUE;
    PresentAll();
    return FALSE;
}

BOOL TranslateMessage(const MSG* msg) { return msg && (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN); }

LRESULT DispatchMessage(const MSG* msg)
{
    if (!msg)
        return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, msg->time);
        return 0;
    }
    if (msg->message == WM_PAINT) {
        S().painted[msg->hwnd] = false;
        LRESULT r = DispatchMessageW(msg);
        ValidateAfterPaint(msg->hwnd);
        return r;
    }
    return DispatchMessageW(msg);
}

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) { return SendMessageW(hwnd, msg, wParam, lParam); }
BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) { return PostMessageW(hwnd, msg, wParam, lParam); }

HWND SetFocus(HWND hwnd)
{
    State& s = S();
    HWND old = s.focus;
    if (hwnd == old)
        return old;
    if (hwnd && !Find(hwnd))
        return nullptr;
    // As on Windows, GetFocus already names the new window while the old one hears it lost it.
    s.focus = hwnd;
    if (old && Find(old))
        SendMessageW(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (s.focus != hwnd || !Find(hwnd))
        return Find(old) ? old : nullptr;
    if (hwnd) {
        s.active = TopOf(hwnd);
        SendMessageW(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(Find(old) ? old : nullptr), 0);
    }
    return Find(old) ? old : nullptr;
}

HWND GetFocus() { return S().focus; }
HWND GetActiveWindow() { return S().active; }

HWND SetActiveWindow(HWND hwnd)
{
    HWND old = S().active;
    if (Find(hwnd))
        S().active = TopOf(hwnd);
    return old;
}

HWND SetCapture(HWND hwnd)
{
    State& s = S();
    HWND old = s.capture;
    if (!Find(hwnd))
        return old;
    s.capture = hwnd;
    if (old && old != hwnd)
        SendMessageW(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
    if (s.sdl_ready && !s.headless)
        SDL_CaptureMouse(SDL_TRUE);
    return old;
}

BOOL ReleaseCapture()
{
    State& s = S();
    HWND old = s.capture;
    s.capture = nullptr;
    if (s.sdl_ready && !s.headless)
        SDL_CaptureMouse(SDL_FALSE);
    if (old) {
        QueueMoveAfterCaptureRelease();
        SendMessageW(old, WM_CAPTURECHANGED, 0, 0);
    }
    return TRUE;
}

HWND GetCapture() { return S().capture; }

BOOL TrackMouseEvent(TRACKMOUSEEVENT* tme)
{
    if (!tme || !Find(tme->hwndTrack))
        return FALSE;
    State& s = S();
    if (tme->dwFlags & TME_CANCEL) {
        if ((tme->dwFlags & TME_LEAVE) && s.tracking == tme->hwndTrack)
            s.tracking = nullptr;
        return TRUE;
    }
    if (!(tme->dwFlags & TME_LEAVE))
        return TRUE;
    if (s.hover != tme->hwndTrack) {
        PostMessageW(tme->hwndTrack, WM_MOUSELEAVE, 0, 0);  // the pointer is not there now
        return TRUE;
    }
    if (s.tracking && s.tracking != tme->hwndTrack)
        PostMessageW(s.tracking, WM_MOUSELEAVE, 0, 0);
    s.tracking = tme->hwndTrack;
    return TRUE;
}

BOOL ClipCursor(const RECT* rect)
{
    State& s = S();
    s.clip_cursor = rect != nullptr;
    if (rect)
        s.clip = *rect;
    if (!s.sdl_ready || s.headless)
        return TRUE;
    // SDL confines the pointer within one window: the top-level window holding the rectangle.
    for (HWND top : s.tops) {
        Wnd* w = Find(top);
        if (!w || !w->surface || !w->surface->sdl)
            continue;
        if (!rect) {
            SDL_SetWindowMouseRect(w->surface->sdl, nullptr);
            continue;
        }
        const RECT& r = w->rect;
        if (rect->left >= r.left && rect->top >= r.top && rect->left < r.right && rect->top < r.bottom) {
            SDL_Rect area{rect->left - r.left, rect->top - r.top, rect->right - rect->left, rect->bottom - rect->top};
            SDL_SetWindowMouseRect(w->surface->sdl, &area);
        }
    }
    return TRUE;
}

BOOL SystemParametersInfo(UINT action, UINT, void* out, UINT)
{
    if (!out)
        return FALSE;
    if (action == SPI_GETWHEELSCROLLLINES) {
        *static_cast<UINT*>(out) = 3;
        return TRUE;
    }
    if (action == SPI_GETNONCLIENTMETRICS) {
        auto* m = static_cast<NONCLIENTMETRICS*>(out);
        if (m->cbSize != sizeof(NONCLIENTMETRICS))
            return FALSE;
        LOGFONT font{};
        font.lfHeight = -12;
        font.lfWeight = FW_NORMAL;
        font.lfCharSet = DEFAULT_CHARSET;
        std::strcpy(font.lfFaceName, "Segoe UI");
        *m = NONCLIENTMETRICS{sizeof(NONCLIENTMETRICS), 1, kScrollBarSize, kScrollBarSize,
                              GetSystemMetrics(SM_CYCAPTION), GetSystemMetrics(SM_CYCAPTION), font, 17, 17, font,
                              19, 19, font, font, font};
        m->lfCaptionFont.lfWeight = FW_BOLD;
        return TRUE;
    }
    return FALSE;
}

HCURSOR LoadCursor(HINSTANCE, LPCSTR name)
{
    if (!IS_INTRESOURCE(name))
        return nullptr;
    return SystemCursor(reinterpret_cast<UINT_PTR>(name));
}

HCURSOR SetCursor(HCURSOR cursor)
{
    State& s = S();
    HCURSOR old = s.current_cursor;
    s.current_cursor = cursor;
    if (cursor && cursor != old && s.sdl_ready && !s.headless) {
        if (!cursor->sdl)
            cursor->sdl = SDL_CreateSystemCursor(SdlCursorFor(cursor->id));
        if (cursor->sdl)
            SDL_SetCursor(cursor->sdl);
    }
    return old;
}

HCURSOR GetCursor() { return S().current_cursor; }

BOOL GetCursorPos(POINT* out)
{
    if (!out)
        return FALSE;
    State& s = S();
    if (s.sdl_ready && !s.headless) {
        int x, y;
        SDL_GetGlobalMouseState(&x, &y);
        *out = {x, y};
    } else {
        *out = s.cursor;
    }
    return TRUE;
}

SHORT GetKeyState(int vkey)
{
    BYTE k = S().keys[vkey & 0xFF];
    return static_cast<SHORT>(((k & 0x80) ? 0xFF80 : 0) | (k & 0x01));
}

SHORT GetAsyncKeyState(int vkey) { return static_cast<SHORT>(GetKeyState(vkey) & 0x8000); }
UINT GetDoubleClickTime() { return kDoubleClickTime; }

DWORD GetMessagePos()
{
    POINT p = S().message_pt;
    return static_cast<DWORD>(MAKELONG(static_cast<WORD>(p.x), static_cast<WORD>(p.y)));
}

LONG GetMessageTime() { return static_cast<LONG>(S().message_time); }

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc)
{
    State& s = S();
    if (hwnd && !Find(hwnd))
        return 0;
    if (!hwnd) {
        static UINT_PTR next_free = 0x7FFF0000;
        id = ++next_free;
    }
    elapse = std::max<UINT>(elapse, 10);  // the shortest interval Windows keeps
    for (Timer& t : s.timers)
        if (t.hwnd == hwnd && t.id == id) {
            t.interval = elapse;
            t.due = Now() + elapse;
            t.proc = proc;
            return id ? id : 1;
        }
    s.timers.push_back(Timer{hwnd, id, elapse, Now() + elapse, proc});
    return id ? id : 1;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id)
{
    auto& timers = S().timers;
    auto n = std::erase_if(timers, [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    std::erase_if(S().ready, [&](const MSG& m) { return m.message == WM_TIMER && m.hwnd == hwnd && m.wParam == id; });
    return n ? TRUE : FALSE;
}

int MessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    State& s = S();
    InitWindowing();
    s.last_message_box = text ? text : "";
    static const int sets[6][3] = {{IDOK}, {IDOK, IDCANCEL}, {IDABORT, IDRETRY, IDIGNORE},
                                   {IDYES, IDNO, IDCANCEL}, {IDYES, IDNO}, {IDRETRY, IDCANCEL}};
    static const char* const names[] = {"", "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No"};
    const unsigned kind = std::min<unsigned>(type & 0xF, 5);
    int count = 0;
    while (count < 3 && sets[kind][count])
        ++count;
    const int def = std::min<int>((type >> 8) & 0xF, count - 1);
    if (s.headless) {
        std::fprintf(stderr, "[message box] %s: %s\n", caption ? caption : "", s.last_message_box.c_str());
        return s.message_box_answer ? s.message_box_answer : sets[kind][def];
    }
    SDL_MessageBoxButtonData buttons[3] = {};
    for (int i = 0; i < count; ++i) {
        int id = sets[kind][i];
        buttons[i].buttonid = id;
        buttons[i].text = names[id];
        if (i == def)
            buttons[i].flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
        if (id == IDCANCEL || (count == 1))
            buttons[i].flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
    }
    SDL_MessageBoxData data{};
    data.flags = (type & 0xF0) == MB_ICONERROR ? SDL_MESSAGEBOX_ERROR
               : (type & 0xF0) == MB_ICONWARNING ? SDL_MESSAGEBOX_WARNING : SDL_MESSAGEBOX_INFORMATION;
    Wnd* o = Find(TopOf(owner));
    data.window = o && o->surface ? o->surface->sdl : nullptr;
    data.title = caption ? caption : "";
    data.message = s.last_message_box.c_str();
    data.numbuttons = count;
    data.buttons = buttons;
    int pressed = sets[kind][def];
    if (SDL_ShowMessageBox(&data, &pressed) != 0)
        std::fprintf(stderr, "[message box] %s: %s\n", data.title, data.message);
    return pressed < 0 ? sets[kind][def] : pressed;
}
