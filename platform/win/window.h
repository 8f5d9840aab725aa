#pragma once
// The window layer's flat functions, with the names and meanings of their Windows counterparts.
// Windows live on one UI thread (the thread that created the first of them); other threads may
// only post to them (PostMessageW of message.h). Rectangles of child windows are in their
// parent's client coordinates; top-level windows are SDL windows placed in screen coordinates.

#include <functional>
#include <string>

#include "platform/gdi/gdi.h"
#include "platform/win/win_types.h"

// Classes.
ATOM RegisterClass(const WNDCLASS* wc);
BOOL UnregisterClass(LPCSTR name, HINSTANCE instance);
BOOL GetClassInfo(HINSTANCE instance, LPCSTR name, WNDCLASS* out);
int GetClassName(HWND hwnd, char* buffer, int size);
LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Creation and the tree.
HWND CreateWindowEx(DWORD ex_style, LPCSTR class_name, LPCSTR text, DWORD style, int x, int y,
                    int width, int height, HWND parent, HMENU menu_or_id, HINSTANCE instance,
                    LPVOID param);
BOOL DestroyWindow(HWND hwnd);
HWND GetParent(HWND hwnd);
HWND SetParent(HWND hwnd, HWND parent);
HWND GetWindow(HWND hwnd, UINT relation);
HWND GetAncestorTopLevel(HWND hwnd);
BOOL IsChild(HWND parent, HWND hwnd);
HWND GetDlgItem(HWND dialog, int id);
int GetDlgCtrlID(HWND hwnd);
LONG_PTR GetWindowLongPtr(HWND hwnd, int index);
LONG_PTR SetWindowLongPtr(HWND hwnd, int index, LONG_PTR value);
inline LONG GetWindowLong(HWND hwnd, int index) { return static_cast<LONG>(GetWindowLongPtr(hwnd, index)); }
inline LONG SetWindowLong(HWND hwnd, int index, LONG value) { return static_cast<LONG>(SetWindowLongPtr(hwnd, index, value)); }
int GetWindowText(HWND hwnd, char* buffer, int size);
int GetWindowTextLength(HWND hwnd);
BOOL SetWindowText(HWND hwnd, LPCSTR text);
std::string GetWindowTextString(HWND hwnd);

// Visibility, enabling, geometry.
BOOL ShowWindow(HWND hwnd, int command);
BOOL IsWindowVisible(HWND hwnd);
BOOL EnableWindow(HWND hwnd, BOOL enable);
BOOL IsWindowEnabled(HWND hwnd);
BOOL SetWindowPos(HWND hwnd, HWND insert_after, int x, int y, int cx, int cy, UINT flags);
BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint);
BOOL GetWindowRect(HWND hwnd, RECT* out);  // screen coordinates
BOOL GetClientRect(HWND hwnd, RECT* out);
BOOL ClientToScreen(HWND hwnd, POINT* point);
BOOL ScreenToClient(HWND hwnd, POINT* point);
int MapWindowPoints(HWND from, HWND to, POINT* points, UINT count);
// The window takes ownership of the region (window coordinates); NULL removes it.
int SetWindowRgn(HWND hwnd, HRGN region, BOOL redraw);
int GetWindowRgn(HWND hwnd, HRGN out);
HWND WindowFromPoint(POINT screen);
HWND ChildWindowFromPoint(HWND parent, POINT client);

// Painting.
BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase);
BOOL InvalidateRgn(HWND hwnd, HRGN region, BOOL erase);
BOOL ValidateRect(HWND hwnd, const RECT* rect);
BOOL RedrawWindow(HWND hwnd, const RECT* rect, HRGN region, UINT flags);
BOOL UpdateWindow(HWND hwnd);
BOOL GetUpdateRect(HWND hwnd, RECT* out, BOOL erase);
int GetUpdateRgn(HWND hwnd, HRGN out, BOOL erase);
HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps);
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps);
HDC GetDC(HWND hwnd);      // client area, clipped to what is visible; GetDC(NULL) measures only
HDC GetWindowDC(HWND hwnd);  // whole window including the frame
int ReleaseDC(HWND hwnd, HDC dc);

// Standard scroll bars. SetScrollInfo keeps the position within [min, max - max(page - 1, 0)]
// and never shows or hides a bar; ShowScrollBar does, resizing the client area. Pressing a
// shown bar sends WM_HSCROLL/WM_VSCROLL to the window until the button is released.
int SetScrollInfo(HWND hwnd, int bar, const SCROLLINFO* info, BOOL redraw);
BOOL GetScrollInfo(HWND hwnd, int bar, SCROLLINFO* info);
BOOL ShowScrollBar(HWND hwnd, int bar, BOOL show);

// Focus, capture, activation, cursor.
HWND SetFocus(HWND hwnd);
HWND GetFocus();
HWND GetActiveWindow();
HWND SetActiveWindow(HWND hwnd);
HWND SetCapture(HWND hwnd);
BOOL ReleaseCapture();
HWND GetCapture();
BOOL TrackMouseEvent(TRACKMOUSEEVENT* tme);
// Keeps the pointer inside a screen rectangle (NULL frees it); the button-up of a drag is where
// callers free it.
BOOL ClipCursor(const RECT* rect);
HCURSOR LoadCursor(HINSTANCE instance, LPCSTR name);
HCURSOR SetCursor(HCURSOR cursor);
HCURSOR GetCursor();
BOOL GetCursorPos(POINT* out);
SHORT GetKeyState(int vkey);
SHORT GetAsyncKeyState(int vkey);
UINT GetDoubleClickTime();
DWORD GetMessagePos();
LONG GetMessageTime();

// SPI_GETWHEELSCROLLLINES (a UINT: 3) and SPI_GETNONCLIENTMETRICS (metrics matching the drawn
// frames and bars, and the fonts of captions, menus and messages).
BOOL SystemParametersInfo(UINT action, UINT param, void* out, UINT winini);

// Timers.
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc);
BOOL KillTimer(HWND hwnd, UINT_PTR id);

// The loop. Sent and posted messages come first (as GetMessageW), then input, then WM_PAINT,
// then WM_TIMER. When nothing is left the changed backing buffers are shown and the loop sleeps
// in SDL until an event, a post from any thread or the next timer. Window filters apply to
// sent and posted messages; input, paint and timer messages come only to unfiltered calls.
BOOL GetMessage(MSG* msg, HWND hwnd, UINT min_filter, UINT max_filter);
BOOL PeekMessage(MSG* msg, HWND hwnd, UINT min_filter, UINT max_filter, UINT remove);
BOOL TranslateMessage(const MSG* msg);  // WM_CHAR comes from text input already
LRESULT DispatchMessage(const MSG* msg);
LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Dialogs.
// (templates and creation: dialog.h)
LRESULT DefDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL IsDialogMessage(HWND dialog, MSG* msg);
BOOL EndDialog(HWND dialog, INT_PTR result);
HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous);
HWND GetNextDlgGroupItem(HWND dialog, HWND control, BOOL previous);
int MessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

namespace qv::win {

// Starts SDL's video and events (the dummy driver when SDL_VIDEODRIVER says so) and makes the
// calling thread the UI thread. Called by the first top-level window; idempotent.
bool InitWindowing();
// Destroys every remaining window and stops SDL video (tests call it between cases).
void ShutdownWindowing();
bool IsHeadless();  // the dummy video driver

// Runs one batch: everything queued, paints, then shows the buffers. Never sleeps. Returns
// false when WM_QUIT was seen (it is put back).
bool PumpPending();

// A top-level window's backing buffer (BGRA words, `width` per row), for tests and presenters.
const uint32_t* BackingBuffer(HWND top, int* width, int* height);
// The pixel at client coordinates of any window, read from its top-level's backing buffer.
COLORREF ReadPixel(HWND hwnd, int x, int y);

// Input as the SDL translation produces it: screen coordinates; `button` 1 left, 2 middle,
// 3 right. These enter the same raw queue as SDL's events.
void InjectMouseMove(int x, int y);
void InjectMouseButton(int x, int y, int button, bool down);
void InjectMouseWheel(int x, int y, int notches);
void InjectKey(int vkey, bool down, bool repeat = false);
void InjectText(const std::string& utf8);
void InjectPointerLeftWindow(HWND top);

// The clock of input timestamps and timers (default: GetTickCount).
void SetClockForTesting(std::function<DWORD()> clock);
// The answer MessageBox gives without a display (default: its default button). 0 resets.
void SetMessageBoxAnswerForTesting(int answer);
// What the last MessageBox showed (text), for tests.
std::string LastMessageBoxText();
// Makes RegisterClass fail as it does when the system is out of resources (false restores it).
void FailClassRegistrationForTesting(bool fail);

}  // namespace qv::win
