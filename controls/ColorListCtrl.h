#pragma once
// An owner-drawn report list whose rows take their text colour from per-row category flags and
// whose third column shows the flags as a strip of coloured segments. Rows without data draw
// as plain rows without flags.

#include <list>
#include <memory>
#include <vector>

#include "platform/ctl/ListView.h"

// What the list knows of a row: greyed, and thirteen category flags (non-zero = set).
struct ColorListRow {
    DWORD grey = 0;
    DWORD flags[13] = {};

    // A number outside 0..12 reads flag 0.
    DWORD Flag(int category) const { return flags[category >= 0 && category <= 12 ? category : 0]; }
};

class CColorListCtrl : public CListCtrl {
public:
    CColorListCtrl() = default;
    ~CColorListCtrl() override = default;

    void DrawItem(LPDRAWITEMSTRUCT dis) override;

    // Category -1 (grey) and 0..12; 0 for any other number.
    static COLORREF CategoryColor(int category);
    // The second table: system colours 0..5, fixed colours 6..24, 0x008000 otherwise.
    static COLORREF IndexColor(int index);

    std::list<std::unique_ptr<DWORD>> m_PtrList;
    int m_nColumns = 0;  // columns to draw; 0 or more than the list has: all
    BYTE m_bFocusLook = FALSE;
    std::vector<int> m_RowMarks;  // 1: the marked look
    std::vector<ColorListRow> m_RowData;

protected:
    void PreSubclassWindow() override;

    CRect SubItemRect(int row, int column) const;
    CRect RowRect(int row, BOOL keep) const;
    int ColumnsToDraw() const;
    void DrawCell(CDC* dc, int row, int column, const ColorListRow& data) const;
    void DrawSegments(CDC* dc, const CRect& rect, const ColorListRow& data) const;
};
