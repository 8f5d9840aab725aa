#pragma once
// The cell that gives every cell of its kind its default format, colours, font and margin, and
// the grid its default row height and column width.

#include "controls/GridCell.h"

class CGridDefaultCell : public CGridCell {
public:
    CGridDefaultCell();
    ~CGridDefaultCell() override = default;

    void SetData(LPARAM) override {}
    void SetState(DWORD) override {}
    DWORD GetState() const override { return CGridCell::GetState() | GRIDCELL_READONLY; }
    // Measures the font on the screen: the margin becomes the width of a blank and the size that
    // of a blank-padded run of twelve X, one and a half times as high.
    void SetFont(const LOGFONT* font) override;
    const LOGFONT* GetFont() const override { return m_plfFont.get(); }

    DWORD GetStyle() const { return m_dwStyle; }
    void SetStyle(DWORD style) { m_dwStyle = style; }
    int GetWidth() const { return m_Size.cx; }
    int GetHeight() const { return m_Size.cy; }
    void SetWidth(int width) { m_Size.cx = width; }
    void SetHeight(int height) { m_Size.cy = height; }

protected:
    CSize m_Size{30, 10};
    DWORD m_dwStyle = 0;
};
