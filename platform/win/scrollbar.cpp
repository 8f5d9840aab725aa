// Standard scroll bars in a window's non-client area: their state, drawing, hit testing and the
// press on a bar, which sends WM_HSCROLL/WM_VSCROLL to the window itself (arrows and page areas
// repeat while held, the thumb reports its track position) and ends with SB_ENDSCROLL.

#include <SDL.h>

#include <algorithm>

#include "platform/win/internal.h"

namespace qv::win {

namespace {

constexpr DWORD kRepeatDelay = 400;
constexpr DWORD kRepeatInterval = 50;
constexpr int kMinThumb = 8;

bool Shown(const Wnd& w, int bar) { return (w.style & (bar == SB_VERT ? WS_VSCROLL : WS_HSCROLL)) != 0; }

// The highest position: the last page ends at max.
int MaxPos(const ScrollBar& sb)
{
    const int span = sb.page > 0 ? static_cast<int>(sb.page) - 1 : 0;
    return std::max(sb.min, sb.max - span);
}

enum Part { kNone, kArrowBack, kPageBack, kThumb, kPageForward, kArrowForward };

// A bar laid out along its length: `along` is x for a horizontal bar and y for a vertical one.
struct Layout {
    RECT rect{};        // window coordinates
    int start = 0;      // first pixel along the bar
    int length = 0;
    int arrow = 0;      // arrow button length
    int track = 0;      // room between the arrows
    int thumb_at = 0;   // thumb's first pixel along the bar
    int thumb = 0;      // thumb length; 0 when the bar cannot scroll
};

Layout LayoutOf(const Wnd& w, int bar)
{
    Layout l;
    const RECT client = ClientInWindow(w);
    if (bar == SB_VERT)
        l.rect = {client.right, client.top, client.right + kScrollBarSize, client.bottom};
    else
        l.rect = {client.left, client.bottom, client.right, client.bottom + kScrollBarSize};
    l.start = bar == SB_VERT ? l.rect.top : l.rect.left;
    l.length = bar == SB_VERT ? l.rect.bottom - l.rect.top : l.rect.right - l.rect.left;
    l.arrow = std::min(kScrollBarSize, l.length / 2);
    l.track = l.length - 2 * l.arrow;
    const ScrollBar& sb = w.scroll[bar];
    const long long range = static_cast<long long>(sb.max) - sb.min + 1;
    if (range <= 0 || l.track <= 0 || MaxPos(sb) <= sb.min)
        return l;
    int thumb = sb.page > 0 ? static_cast<int>(std::min<long long>(l.track, l.track * static_cast<long long>(sb.page) / range))
                            : kScrollBarSize;
    thumb = std::max(thumb, kMinThumb);
    if (thumb >= l.track)
        return l;
    const int pos = sb.tracking ? sb.track_pos : sb.pos;
    l.thumb = thumb;
    l.thumb_at = l.start + l.arrow +
                 static_cast<int>(static_cast<long long>(l.track - thumb) * (pos - sb.min) / (MaxPos(sb) - sb.min));
    return l;
}

Part PartAt(const Layout& l, int along)
{
    if (along < l.start || along >= l.start + l.length)
        return kNone;
    if (along < l.start + l.arrow)
        return kArrowBack;
    if (along >= l.start + l.length - l.arrow)
        return kArrowForward;
    if (l.thumb == 0)
        return kNone;
    if (along < l.thumb_at)
        return kPageBack;
    if (along >= l.thumb_at + l.thumb)
        return kPageForward;
    return kThumb;
}

int Along(int bar, POINT p) { return bar == SB_VERT ? p.y : p.x; }

// The part of the bar a (window-coordinate) point is over.
Part PartUnder(const Wnd& w, int bar, POINT p)
{
    Layout l = LayoutOf(w, bar);
    RECT r = l.rect;
    if (p.x < r.left || p.x >= r.right || p.y < r.top || p.y >= r.bottom)
        return kNone;
    return PartAt(l, Along(bar, p));
}

RECT Span(const Layout& l, int bar, int from, int to)
{
    return bar == SB_VERT ? RECT{l.rect.left, from, l.rect.right, to} : RECT{from, l.rect.top, to, l.rect.bottom};
}

void DrawArrow(HDC dc, RECT r, int bar, bool forward, bool enabled)
{
    FillRect(dc, &r, GetSysColorBrush(COLOR_3DFACE));
    DrawEdge(dc, &r, EDGE_RAISED, BF_RECT);
    HBRUSH ink = GetSysColorBrush(enabled ? COLOR_BTNTEXT : COLOR_3DSHADOW);
    const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
    for (int i = 0; i < 4; ++i) {
        // Row i of a triangle pointing back (up/left) or forward (down/right).
        const int d = forward ? 3 - i : i;
        RECT row = bar == SB_VERT ? RECT{cx - d, cy - 2 + i, cx + d + 1, cy - 1 + i}
                                  : RECT{cx - 2 + i, cy - d, cx - 1 + i, cy + d + 1};
        FillRect(dc, &row, ink);
    }
}

void DrawBar(const Wnd& w, HDC dc, int bar)
{
    Layout l = LayoutOf(w, bar);
    if (l.length <= 0)
        return;
    const bool can_scroll = l.thumb > 0;
    DrawArrow(dc, Span(l, bar, l.start, l.start + l.arrow), bar, false, can_scroll);
    DrawArrow(dc, Span(l, bar, l.start + l.length - l.arrow, l.start + l.length), bar, true, can_scroll);
    if (l.track <= 0)
        return;
    RECT track = Span(l, bar, l.start + l.arrow, l.start + l.arrow + l.track);
    HBRUSH trough = CreateSolidBrush(RGB(230, 230, 230));
    FillRect(dc, &track, trough);
    DeleteObject(trough);
    if (can_scroll) {
        RECT thumb = Span(l, bar, l.thumb_at, l.thumb_at + l.thumb);
        FillRect(dc, &thumb, GetSysColorBrush(COLOR_3DFACE));
        DrawEdge(dc, &thumb, EDGE_RAISED, BF_RECT);
    }
}

// Repaints a bar through the paint cycle, so windows above it stay on top.
void InvalidateBar(HWND hwnd, int bar)
{
    Wnd* w = Find(hwnd);
    if (!w || !Shown(*w, bar))
        return;
    RECT r = LayoutOf(*w, bar).rect;
    POINT o = SurfaceOrigin(*w);
    InvalidateArea(hwnd, Region(RECT{r.left + o.x, r.top + o.y, r.right + o.x, r.bottom + o.y}), false, false);
}

void Send(HWND hwnd, int bar, int code, int pos = 0)
{
    SendMessageW(hwnd, bar == SB_VERT ? WM_VSCROLL : WM_HSCROLL,
                 MAKEWPARAM(static_cast<WORD>(code), static_cast<WORD>(pos)), 0);
}

int CodeOf(Part part)
{
    switch (part) {
    case kArrowBack: return SB_LINEUP;
    case kArrowForward: return SB_LINEDOWN;
    case kPageBack: return SB_PAGEUP;
    case kPageForward: return SB_PAGEDOWN;
    default: return -1;
    }
}

POINT WindowPoint(const Wnd& w, POINT screen)
{
    POINT o = ScreenOrigin(w);
    return {screen.x - o.x, screen.y - o.y};
}

}  // namespace

void DrawScrollBars(HWND hwnd, HDC dc)
{
    Wnd* w = Find(hwnd);
    if (!w)
        return;
    for (int bar : {SB_HORZ, SB_VERT})
        if (Shown(*w, bar))
            DrawBar(*w, dc, bar);
    if (Shown(*w, SB_HORZ) && Shown(*w, SB_VERT)) {
        RECT c = ClientInWindow(*w);
        RECT corner{c.right, c.bottom, c.right + kScrollBarSize, c.bottom + kScrollBarSize};
        FillRect(dc, &corner, GetSysColorBrush(COLOR_3DFACE));
    }
}

LRESULT ScrollBarHitTest(const Wnd& w, POINT pt)
{
    for (int bar : {SB_VERT, SB_HORZ}) {
        if (!Shown(w, bar))
            continue;
        RECT r = LayoutOf(w, bar).rect;
        if (pt.x >= r.left && pt.x < r.right && pt.y >= r.top && pt.y < r.bottom)
            return bar == SB_VERT ? HTVSCROLL : HTHSCROLL;
    }
    return HTNOWHERE;
}

void TrackScrollBar(HWND hwnd, int bar, POINT screen)
{
    State& s = S();
    Wnd* w = Find(hwnd);
    if (!w || !Shown(*w, bar))
        return;
    const Part pressed = PartUnder(*w, bar, WindowPoint(*w, screen));
    if (pressed == kNone || LayoutOf(*w, bar).thumb == 0)
        return;  // a bar that cannot scroll is disabled
    int grab = 0;  // pointer's distance from the thumb's start while dragging it
    if (pressed == kThumb) {
        const Layout l = LayoutOf(*w, bar);
        grab = Along(bar, WindowPoint(*w, screen)) - l.thumb_at;
        w->scroll[bar].tracking = true;
        w->scroll[bar].track_pos = w->scroll[bar].pos;
    } else {
        Send(hwnd, bar, CodeOf(pressed));
    }
    const bool desktop = s.sdl_ready && !s.headless;
    if (desktop)
        SDL_CaptureMouse(SDL_TRUE);  // the button may be released anywhere
    DWORD next_repeat = static_cast<DWORD>(GetMessageTime()) + kRepeatDelay;  // from the press
    POINT pointer = screen;
    bool released = false;
    while (!released) {
        RawInput in;
        const bool got = NextRawInput(&in);
        if (!got && s.headless)
            break;  // nobody can hold a button that does not exist
        if (!(w = Find(hwnd)))
            break;
        DWORD t = Now();
        if (got) {
            t = in.time;
            if (in.kind == RawInput::Move || in.kind == RawInput::Button) {
                pointer = in.pt;
                s.cursor = in.pt;
            }
            if (in.kind == RawInput::Button && in.button == 1 && !in.down) {
                released = true;
                // The closing button-up is the bar's, like the press.
                BYTE& k = s.keys[VK_LBUTTON];
                k = static_cast<BYTE>(k & ~0x80);
            }
        }
        const Layout l = LayoutOf(*w, bar);
        if (pressed == kThumb && !released && l.thumb > 0) {
            const int first = l.start + l.arrow, last = first + l.track - l.thumb;
            const int at = std::clamp(Along(bar, WindowPoint(*w, pointer)) - grab, first, last);
            ScrollBar& sb = w->scroll[bar];
            const int pos = sb.min + static_cast<int>((static_cast<long long>(at - first) * (MaxPos(sb) - sb.min) + (last - first) / 2) /
                                                      std::max(1, last - first));
            if (pos != sb.track_pos) {
                sb.track_pos = pos;
                InvalidateBar(hwnd, bar);
                Send(hwnd, bar, SB_THUMBTRACK, pos);
            }
        } else if (pressed != kThumb && !released && static_cast<LONG>(t - next_repeat) >= 0) {
            // Held: repeat while the pointer stays over the pressed part (a page area ends
            // where the thumb reaches the pointer).
            if (PartUnder(*w, bar, WindowPoint(*w, pointer)) == pressed)
                Send(hwnd, bar, CodeOf(pressed));
            next_repeat = t + kRepeatInterval;
        }
        if (!(w = Find(hwnd)))
            break;
        if (!got) {
            // Between events on a desktop: show what the scroll messages repainted, then wait.
            PaintTree(TopOf(hwnd));
            PresentAll();
            SDL_WaitEventTimeout(nullptr, 10);
        }
    }
    if (desktop && !s.capture)
        SDL_CaptureMouse(SDL_FALSE);
    if (!(w = Find(hwnd)))
        return;
    if (pressed == kThumb) {
        Send(hwnd, bar, SB_THUMBPOSITION, w->scroll[bar].track_pos);
        if (!(w = Find(hwnd)))
            return;
        w->scroll[bar].tracking = false;
        InvalidateBar(hwnd, bar);
    }
    Send(hwnd, bar, SB_ENDSCROLL);
}

}  // namespace qv::win

using namespace qv::win;

int SetScrollInfo(HWND hwnd, int bar, const SCROLLINFO* info, BOOL redraw)
{
    Wnd* w = Find(hwnd);
    if (!w || !info || (bar != SB_HORZ && bar != SB_VERT))
        return 0;
    ScrollBar& sb = w->scroll[bar];
    if (info->fMask & SIF_RANGE) {
        sb.min = info->nMin;
        sb.max = std::max(info->nMin, info->nMax);
    }
    if (info->fMask & SIF_PAGE)
        sb.page = info->nPage;
    const long long range = static_cast<long long>(sb.max) - sb.min + 1;
    if (sb.page > range)
        sb.page = static_cast<UINT>(range);
    if (info->fMask & SIF_POS)
        sb.pos = info->nPos;
    sb.pos = std::clamp(sb.pos, sb.min, MaxPos(sb));
    if (redraw)
        InvalidateBar(hwnd, bar);
    return sb.pos;
}

BOOL GetScrollInfo(HWND hwnd, int bar, SCROLLINFO* info)
{
    Wnd* w = Find(hwnd);
    if (!w || !info || (bar != SB_HORZ && bar != SB_VERT) || !(info->fMask & SIF_ALL))
        return FALSE;
    const ScrollBar& sb = w->scroll[bar];
    if (info->fMask & SIF_RANGE) {
        info->nMin = sb.min;
        info->nMax = sb.max;
    }
    if (info->fMask & SIF_PAGE)
        info->nPage = sb.page;
    if (info->fMask & SIF_POS)
        info->nPos = sb.pos;
    if (info->fMask & SIF_TRACKPOS)
        info->nTrackPos = sb.tracking ? sb.track_pos : sb.pos;
    return TRUE;
}

BOOL ShowScrollBar(HWND hwnd, int bar, BOOL show)
{
    Wnd* w = Find(hwnd);
    if (!w)
        return FALSE;
    DWORD bits = bar == SB_HORZ ? WS_HSCROLL : bar == SB_VERT ? WS_VSCROLL : bar == SB_BOTH ? (WS_HSCROLL | WS_VSCROLL) : 0;
    if (!bits)
        return FALSE;
    const DWORD style = show ? (w->style | bits) : (w->style & ~bits);
    if (style == w->style)
        return TRUE;
    // The whole window repaints: the client area moved its right or bottom edge.
    Region before = VisibleRegion(*w, false);
    w->style = style;
    InvalidateArea(hwnd, before, true, true);
    RECT c;
    GetClientRect(hwnd, &c);
    SendMessageW(hwnd, WM_SIZE, 0, MAKELPARAM(static_cast<WORD>(c.right), static_cast<WORD>(c.bottom)));
    return TRUE;
}
