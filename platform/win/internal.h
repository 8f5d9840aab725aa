#pragma once
// Layer-internal: the window records behind HWNDs and the state of the UI thread. Everything
// here is touched by the UI thread only; other threads reach windows through message.h.

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/gdi/region.h"
#include "platform/win/window.h"

struct SDL_Window;
struct SDL_Cursor;

struct HCURSOR__ {
    UINT_PTR id;
    SDL_Cursor* sdl = nullptr;  // created on first use; null where the driver has no cursors
};

namespace qv::win {

using gdi::Region;

struct WindowClass {
    std::string name;  // compared case-insensitively
    UINT style = 0;
    WNDPROC proc = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
};

// A top-level window's SDL window and backing buffer.
struct Surface {
    SDL_Window* sdl = nullptr;
    int width = 0;
    int height = 0;
    HBITMAP bitmap = nullptr;  // the backing buffer, a 32-bit bitmap of the window's size
    bool dirty = false;        // drawn since last shown
};

struct ScrollBar {
    int min = 0;
    int max = 0;
    UINT page = 0;
    int pos = 0;
    int track_pos = 0;
    bool tracking = false;  // the thumb is being dragged: it is drawn at track_pos
};

struct Wnd {
    HWND hwnd = nullptr;
    std::shared_ptr<WindowClass> cls;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD ex_style = 0;
    LONG_PTR id = 0;
    LONG_PTR user_data = 0;
    std::string text;
    HWND parent = nullptr;    // null for top-level windows
    HWND owner = nullptr;
    std::vector<HWND> children;  // z-order, top first
    RECT rect{};                 // parent client coordinates (screen for top-level)
    int frame = 0;               // non-client thickness, fixed at creation and SWP_FRAMECHANGED
    HRGN region = nullptr;       // window coordinates, owned
    Region update;               // surface coordinates
    bool erase = false;
    bool ncpaint = false;
    bool destroying = false;
    std::unique_ptr<Surface> surface;  // top-level only
    LRESULT dialog_result = 0;         // DWLP_MSGRESULT
    HBITMAP picture = nullptr;         // render windows: the presented picture at client size
    ScrollBar scroll[2];               // SB_HORZ, SB_VERT
};

struct Timer {
    HWND hwnd;
    UINT_PTR id;
    UINT interval;
    DWORD due;
    TIMERPROC proc;
};

// Input before it becomes a message: the target is chosen when it is taken from the queue, so
// capture set by an earlier message is honoured.
struct RawInput {
    enum Kind { Move, Button, Wheel, Key, Char, Leave } kind;
    POINT pt{};      // screen
    int button = 0;  // 1 left, 2 middle, 3 right
    bool down = false;
    bool repeat = false;
    int value = 0;  // wheel notches, virtual key, or code point
    HWND top = nullptr;  // Leave: the top-level window the pointer left
    DWORD time = 0;
    // Move: delivered even where the pointer has not moved (the move the system sends when the
    // capture is released); a later move that joins it keeps this.
    bool forced = false;
};

struct State {
    bool sdl_ready = false;
    bool headless = false;
    DWORD ui_thread = 0;
    UINT wake_event = 0;
    std::unordered_map<HWND, std::unique_ptr<Wnd>> windows;
    std::vector<HWND> tops;  // top-level windows in creation order
    std::map<std::string, std::shared_ptr<WindowClass>> classes;  // key: lower-case name

    HWND focus = nullptr;
    HWND active = nullptr;
    HWND capture = nullptr;
    HWND tracking = nullptr;  // TrackMouseEvent(TME_LEAVE)
    HWND hover = nullptr;     // window under the pointer, by hit test
    POINT cursor{-1, -1};     // screen
    bool clip_cursor = false;  // ClipCursor: input positions are kept inside clip
    RECT clip{};
    HCURSOR current_cursor = nullptr;

    std::unordered_map<HWND, bool> painted;  // BeginPaint seen during the current WM_PAINT
    std::deque<RawInput> input;
    std::deque<MSG> ready;  // input already translated, waiting for a removing call
    std::vector<Timer> timers;

    // Double-click detection, per window.
    HWND last_click_hwnd = nullptr;
    int last_click_button = 0;
    DWORD last_click_time = 0;
    POINT last_click_pt{};
    bool last_click_was_double = false;

    BYTE keys[256] = {};
    DWORD message_time = 0;
    POINT message_pt{};

    std::function<DWORD()> clock;
    int message_box_answer = 0;
    bool fail_class_registration = false;
    std::string last_message_box;
};

State& S();
Wnd* Find(HWND hwnd);
DWORD Now();

// Geometry (window.cpp).
HWND TopOf(HWND hwnd);
POINT SurfaceOrigin(const Wnd& w);      // window rectangle's top-left in surface coordinates
RECT WindowSurfaceRect(const Wnd& w);   // window rectangle in surface coordinates
RECT ClientSurfaceRect(const Wnd& w);   // client rectangle in surface coordinates
RECT ClientInWindow(const Wnd& w);      // client rectangle in window coordinates
bool HasNonClient(const Wnd& w);        // a frame or a scroll bar around the client area
POINT ScreenOrigin(const Wnd& w);       // window rectangle's top-left on the screen
bool IsVisibleChain(const Wnd& w);
// The part of the surface the window may draw on: its rectangle cut by its own region and every
// ancestor's client area and region. Empty when it or an ancestor is hidden.
Region VisibleRegion(const Wnd& w, bool client_only);
int FrameThickness(DWORD style, DWORD ex_style, bool top_level);
bool HasSystemFrame(const Wnd& w);
std::shared_ptr<WindowClass> FindClass(const std::string& name);
void DrawFrame(HWND hwnd);

// Painting (paint.cpp).
void InvalidateArea(HWND start, const Region& area, bool erase, bool frame);
void PaintTree(HWND root);  // synchronous paint of root and its descendants
HWND NextWindowToPaint();
void ValidateAfterPaint(HWND hwnd);
void ForgetPaint(HWND hwnd);
void PresentAll();
void ResizeSurface(Wnd& top);
// Windows in painting order (pre-order, children bottom to top) under `root`.
void PaintOrder(HWND root, std::vector<HWND>& out);

// Backend and input (input.cpp).
void CreateSdlWindow(Wnd& top);
void DestroySdlWindow(Wnd& top);
// `activate`: a window being shown takes the keyboard focus (SW_SHOWNA and SWP_NOACTIVATE do not).
void SyncSdlWindow(Wnd& top, bool moved, bool sized, bool shown_changed, bool activate = true);
void ForgetInputWindow(HWND hwnd);
bool NextRawInput(RawInput* out);
void RunMoveLoop(HWND hwnd, POINT start);

HWND HitTestTop(HWND top, POINT screen, LRESULT* code);
extern void (*g_on_create)(HWND);

// Render windows (render.cpp). The presenting thread posts kPresentedMessage to the window; the
// loop takes it itself (no window procedure sees it) and repaints the window.
constexpr UINT kPresentedMessage = 0x03F0;
void InstallPresentHook();
void RemovePresentHook();
void TakePresented(HWND hwnd);
// Draws the window's latest presented picture over its client area; false when there is none.
bool ComposePresented(HWND hwnd, HDC dc);
void ForgetRenderWindow(Wnd& w);

// Standard scroll bars (scrollbar.cpp); as wide as GetSystemMetrics(SM_CXVSCROLL) says.
constexpr int kScrollBarSize = 17;
void DrawScrollBars(HWND hwnd, HDC window_dc);
// HTHSCROLL or HTVSCROLL for a point on a shown bar (window coordinates), else HTNOWHERE.
LRESULT ScrollBarHitTest(const Wnd& w, POINT pt);
// The press on a bar: scroll messages to the window until the button is released.
void TrackScrollBar(HWND hwnd, int bar, POINT screen);

// The "STATIC" class (static_control.cpp).
void RegisterStaticClass();

// Dialogs (dialog.cpp).
void RegisterDialogClass();
// What a loop does with a message it took: PreTranslateMessage of the C++ windows, the dialog
// manager of the target's dialog, else dispatch.
void ProcessLoopMessage(MSG* msg);
extern bool (*g_pre_translate)(MSG*);

}  // namespace qv::win
