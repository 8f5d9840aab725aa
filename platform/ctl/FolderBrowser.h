#pragma once
// The shell's folder browser: a modal dialog with a tree of the file system's folders from "/",
// an optional status line, OK and Cancel. The tree is worked with the mouse (click selects,
// the box or a double click opens and closes a folder, the wheel scrolls) and the keyboard
// (arrows, Home, End, Page Up/Down; Return is OK, Escape Cancel). The caller's callback hears
// BFFM_INITIALIZED once the dialog stands and BFFM_SELCHANGED at each new selection, and may
// send BFFM_SETSELECTIONW and BFFM_SETSTATUSTEXTW to the dialog meanwhile.
//
// An item list here names one folder by its path. Lists given out are freed with CoTaskMemFree;
// the one passed with BFFM_SELCHANGED belongs to the dialog.

#include <string>

#include "platform/win/win_types.h"

struct ITEMIDLIST;
using LPITEMIDLIST = ITEMIDLIST*;
using LPCITEMIDLIST = const ITEMIDLIST*;
struct IUnknown;
using LPUNKNOWN = IUnknown*;

using BFFCALLBACK = int (*)(HWND hwnd, UINT message, LPARAM lParam, LPARAM data);

constexpr int MAX_PATH = 260;

struct BROWSEINFO {
    HWND hwndOwner;
    LPCITEMIDLIST pidlRoot;  // not supported: the tree always starts at "/"
    char* pszDisplayName;    // MAX_PATH bytes; receives the chosen folder's name
    LPCSTR lpszTitle;        // shown above the tree
    UINT ulFlags;
    BFFCALLBACK lpfn;
    LPARAM lParam;  // handed to the callback as its last argument
    int iImage;
};

constexpr UINT BIF_RETURNONLYFSDIRS = 0x0001;
constexpr UINT BIF_STATUSTEXT = 0x0004;

constexpr UINT BFFM_INITIALIZED = 1;
constexpr UINT BFFM_SELCHANGED = 2;
constexpr UINT BFFM_VALIDATEFAILEDA = 3;
constexpr UINT BFFM_VALIDATEFAILEDW = 4;
constexpr UINT BFFM_IUNKNOWN = 5;
// wParam TRUE: lParam is a path (text); FALSE: an item list.
constexpr UINT BFFM_SETSELECTIONW = WM_USER + 103;
constexpr UINT BFFM_SETSTATUSTEXTW = WM_USER + 104;

// Runs the browser modally over its owner; the chosen folder's item list, or null when the
// user cancelled.
LPITEMIDLIST SHBrowseForFolder(BROWSEINFO* bi);
// The item's file-system path; FALSE when it names no folder that exists.
BOOL SHGetPathFromIDList(LPCITEMIDLIST pidl, std::string* path);
void CoTaskMemFree(void* memory);
