#pragma once
// Dialog templates of our own (rectangles in pixels, not dialog units), a table of them by
// resource id, and the modal loop.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/win/window.h"

struct DialogItemTemplate {
    std::string class_name;  // a registered window class, e.g. a custom control's
    std::string text;
    int id = 0;
    int x = 0, y = 0, cx = 0, cy = 0;  // dialog client coordinates
    DWORD style = 0;                   // WS_CHILD is implied
    DWORD ex_style = 0;
};

struct DialogTemplate {
    std::string caption;
    DWORD style = WS_POPUP;
    DWORD ex_style = 0;
    int x = 0, y = 0, cx = 0, cy = 0;  // relative to the owner's client area
    std::string font_face;             // empty: no WM_SETFONT
    int font_points = 0;
    std::vector<DialogItemTemplate> items;  // creation order = z-order from the top = tab order
};

using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

// The dialog's procedure answers TRUE for messages it handled (results through DWLP_MSGRESULT).
HWND CreateDialogIndirectParam(HINSTANCE instance, const DialogTemplate* tmpl, HWND parent, DLGPROC proc, LPARAM init_param);
INT_PTR DialogBoxIndirectParam(HINSTANCE instance, const DialogTemplate* tmpl, HWND parent, DLGPROC proc, LPARAM init_param);

namespace qv::win {

void RegisterDialogTemplate(UINT id, DialogTemplate tmpl);
const DialogTemplate* FindDialogTemplate(UINT id);

// Templates from their text form (the files in rc/; the format is described in
// dialog_text.cpp), with their ids in file order. False, with "line N: why" and nothing in
// `out`, on the first fault.
bool ParseDialogTemplates(std::string_view text, std::vector<std::pair<UINT, DialogTemplate>>* out,
                          std::string* error);
// Parses a template file and registers every template in it; nothing is registered when the
// file cannot be read or has a fault.
bool LoadDialogTemplates(const std::string& path, std::string* error);

// Runs the modal loop of a created dialog until EndDialog; the owner is disabled meanwhile.
// -1 when WM_QUIT ended it (the quit is put back for the outer loop).
INT_PTR RunModalLoop(HWND dialog);

}  // namespace qv::win
