#pragma once
// The "COMBOBOX" window class as a drop-down list (CBS_DROPDOWNLIST): a selection field with a
// drop button, and a list that drops below it as a window of its own. The height given at
// creation (or by a later move) is the height of the dropped list; the field itself keeps the
// height of its font. Choosing another item, with the mouse in the list or with the arrow keys
// and the wheel on the field, sends CBN_SELCHANGE to the parent; the window text is the
// selected item's text by then.

#include <string>

#include "platform/win/afxwin.h"

constexpr DWORD CBS_SIMPLE = 0x0001;
constexpr DWORD CBS_DROPDOWN = 0x0002;
constexpr DWORD CBS_DROPDOWNLIST = 0x0003;

constexpr UINT CB_ADDSTRING = 0x0143;
constexpr UINT CB_DELETESTRING = 0x0144;
constexpr UINT CB_GETCOUNT = 0x0146;
constexpr UINT CB_GETCURSEL = 0x0147;
constexpr UINT CB_GETLBTEXT = 0x0148;  // lParam: a std::string* receiving the text
constexpr UINT CB_GETLBTEXTLEN = 0x0149;
constexpr UINT CB_RESETCONTENT = 0x014B;
constexpr UINT CB_SETCURSEL = 0x014E;
constexpr UINT CB_SHOWDROPDOWN = 0x014F;
constexpr UINT CB_GETDROPPEDSTATE = 0x0157;
constexpr LRESULT CB_ERR = -1;

constexpr WORD CBN_SELCHANGE = 1;
constexpr WORD CBN_DROPDOWN = 7;
constexpr WORD CBN_CLOSEUP = 8;
constexpr WORD CBN_SELENDOK = 9;
constexpr WORD CBN_SELENDCANCEL = 10;

class CComboBox : public CWnd {
public:
    // `rect` is in the parent's client coordinates; its height is the dropped list's.
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);

    int AddString(LPCSTR text) { return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text))); }
    int DeleteString(UINT index) { return static_cast<int>(SendMessage(CB_DELETESTRING, index)); }
    void ResetContent() { SendMessage(CB_RESETCONTENT); }
    int GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }
    int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
    int SetCurSel(int index) { return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index))); }
    void GetLBText(int index, std::string& out) const
    {
        out.clear();
        SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&out));
    }
    void ShowDropDown(BOOL show = TRUE) { SendMessage(CB_SHOWDROPDOWN, static_cast<WPARAM>(show)); }
    BOOL GetDroppedState() const { return static_cast<BOOL>(SendMessage(CB_GETDROPPEDSTATE)); }
};

namespace qv::ctl {

// Registers "COMBOBOX" (and its list's class); CComboBox::Create does it itself.
void RegisterComboBoxClass();
// The dropped list's window while the list is shown, else null.
HWND ComboDroppedList(HWND combo);
// An item's rectangle in the dropped list's client coordinates (empty when not shown there).
RECT ComboListItemRect(HWND combo, int index);

}  // namespace qv::ctl
