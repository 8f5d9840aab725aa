#pragma once
// The report list ("SysListView32"), as far as the controls need it: columns with widths and
// headings, rows of texts with a state (focused, selected, drop-highlighted) and an image index,
// fixed-height rows below a heading band, a click selecting one row, and owner drawing
// (LVS_OWNERDRAWFIXED), where each row goes to the parent as WM_DRAWITEM. There is no scrolling,
// no icon view, no sorting and no label editing.

#include <string>

#include "platform/win/afxwin.h"

constexpr DWORD LVS_REPORT = 0x0001;
constexpr DWORD LVS_TYPEMASK = 0x0003;
constexpr DWORD LVS_SINGLESEL = 0x0004;
constexpr DWORD LVS_SHOWSELALWAYS = 0x0008;
constexpr DWORD LVS_OWNERDRAWFIXED = 0x0400;
constexpr DWORD LVS_NOCOLUMNHEADER = 0x4000;

constexpr UINT LVM_FIRST = 0x1000;
constexpr UINT LVM_GETITEMCOUNT = LVM_FIRST + 4;
constexpr UINT LVM_GETITEM = LVM_FIRST + 5;
constexpr UINT LVM_SETITEM = LVM_FIRST + 6;
constexpr UINT LVM_INSERTITEM = LVM_FIRST + 7;
constexpr UINT LVM_DELETEALLITEMS = LVM_FIRST + 9;
constexpr UINT LVM_GETITEMRECT = LVM_FIRST + 14;
constexpr UINT LVM_GETCOLUMN = LVM_FIRST + 25;
constexpr UINT LVM_INSERTCOLUMN = LVM_FIRST + 27;
constexpr UINT LVM_SETITEMSTATE = LVM_FIRST + 43;
constexpr UINT LVM_GETITEMSTATE = LVM_FIRST + 44;
constexpr UINT LVM_GETITEMTEXT = LVM_FIRST + 45;
constexpr UINT LVM_SETITEMTEXT = LVM_FIRST + 46;

constexpr UINT LVIF_TEXT = 0x1;
constexpr UINT LVIF_IMAGE = 0x2;
constexpr UINT LVIF_PARAM = 0x4;
constexpr UINT LVIF_STATE = 0x8;
constexpr UINT LVIS_FOCUSED = 0x1;
constexpr UINT LVIS_SELECTED = 0x2;
constexpr UINT LVIS_DROPHILITED = 0x8;
constexpr UINT LVCF_FMT = 0x1;
constexpr UINT LVCF_WIDTH = 0x2;
constexpr UINT LVCF_TEXT = 0x4;
constexpr UINT LVCF_SUBITEM = 0x8;
constexpr int LVCFMT_LEFT = 0;
constexpr int LVIR_BOUNDS = 0;
constexpr UINT ODT_LISTVIEW = 102;

struct LVITEM {
    UINT mask;
    int iItem;
    int iSubItem;
    UINT state;
    UINT stateMask;
    char* pszText;
    int cchTextMax;
    int iImage;
    LPARAM lParam;
};
using LPLVITEM = LVITEM*;

struct LVCOLUMN {
    UINT mask;
    int fmt;
    int cx;
    char* pszText;
    int cchTextMax;
    int iSubItem;
};
using LPLVCOLUMN = LVCOLUMN*;

namespace qv::ctl {

// Registers the class once; CListCtrl's constructor calls it.
void RegisterListViewClass();

}  // namespace qv::ctl

class CListCtrl : public CWnd {
public:
    CListCtrl();

    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);

    int InsertColumn(int column, LPCSTR heading, int format = LVCFMT_LEFT, int width = -1, int sub_item = -1);
    BOOL GetColumn(int column, LVCOLUMN* out) const;
    int InsertItem(int item, LPCSTR text);
    BOOL SetItemText(int item, int sub_item, LPCSTR text);
    std::string GetItemText(int item, int sub_item) const;
    BOOL GetItem(LVITEM* item) const;
    BOOL SetItemState(int item, UINT state, UINT mask);
    UINT GetItemState(int item, UINT mask) const;
    BOOL GetItemRect(int item, LPRECT rect, UINT code) const;
    int GetItemCount() const;
    BOOL DeleteAllItems();

    // Owner-drawn rows come here (reflected from the parent's WM_DRAWITEM).
    virtual void DrawItem(LPDRAWITEMSTRUCT dis);

protected:
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};
