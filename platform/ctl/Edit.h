#pragma once
// The standard single-line "EDIT" control: text with a caret and a selection, typing, Backspace
// and Delete, caret keys with Shift, the mouse, cut/copy/paste through the clipboard, and the
// messages callers use (EM_SETSEL/EM_GETSEL/EM_REPLACESEL, WM_GETTEXT/WM_SETTEXT,
// WM_SETFONT/WM_GETFONT, WM_CUT/WM_COPY/WM_PASTE/WM_CLEAR). Positions count characters (code
// points) of the UTF-8 text. Tab, Return and Escape are left to whoever subclasses it.

#include "platform/win/afxwin.h"

constexpr DWORD ES_LEFT = 0x0000;
constexpr DWORD ES_CENTER = 0x0001;
constexpr DWORD ES_RIGHT = 0x0002;
constexpr DWORD ES_AUTOHSCROLL = 0x0080;
constexpr DWORD ES_READONLY = 0x0800;

constexpr UINT EM_GETSEL = 0x00B0;
constexpr UINT EM_SETSEL = 0x00B1;
constexpr UINT EM_REPLACESEL = 0x00C2;
constexpr UINT WM_CLEAR = 0x0303;

constexpr UINT EN_CHANGE = 0x0300;

namespace qv::ctl {
// Registers the "EDIT" window class once; windows of that class may then be created directly.
void RegisterEditClass();
}  // namespace qv::ctl

class CEdit : public CWnd {
public:
    CEdit() = default;
    virtual BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);

    // end -1 selects to the end; start -1 removes the selection (caret stays).
    void SetSel(int start, int end, BOOL no_scroll = FALSE) { SendMessage(EM_SETSEL, static_cast<WPARAM>(start), end); }
    void GetSel(int& start, int& end) const;
    DWORD GetSel() const { return static_cast<DWORD>(SendMessage(EM_GETSEL)); }
    void ReplaceSel(LPCSTR text) { SendMessage(EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(text)); }
    void Cut() { SendMessage(WM_CUT); }
    void Copy() { SendMessage(WM_COPY); }
    void Paste() { SendMessage(WM_PASTE); }
    void Clear() { SendMessage(WM_CLEAR); }

private:
    using CWnd::Create;
};
