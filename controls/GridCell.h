#pragma once
// The ordinary grid cell: stored attributes, each of which may be left at "default" so that the
// grid's default cell for its kind supplies it.

#include <memory>
#include <string>

#include "controls/GridCellBase.h"

class CGridCell : public CGridCellBase {
public:
    CGridCell();
    ~CGridCell() override;
    CGridCell& operator=(const CGridCellBase& cell)
    {
        CGridCellBase::operator=(cell);
        return *this;
    }

    void SetText(LPCSTR text) override { m_strText = text ? text : ""; }
    void SetImage(int image) override { m_nImage = image; }
    void SetData(LPARAM data) override { m_lParam = data; }
    void SetFormat(DWORD format) override { m_nFormat = format; }
    void SetTextClr(COLORREF clr) override { m_crFgClr = clr; }
    void SetBackClr(COLORREF clr) override { m_crBkClr = clr; }
    void SetFont(const LOGFONT* font) override;
    void SetMargin(UINT margin) override { m_nMargin = margin; }
    void SetGrid(CGridCtrl* grid) override { m_pGrid = grid; }
    void SetCoords(int row, int col) override {}

    LPCSTR GetText() const override { return m_strText.c_str(); }
    int GetImage() const override { return m_nImage; }
    LPARAM GetData() const override { return m_lParam; }
    DWORD GetFormat() const override;
    COLORREF GetTextClr() const override { return m_crFgClr; }
    COLORREF GetBackClr() const override { return m_crBkClr; }
    const LOGFONT* GetFont() const override;
    CFont* GetFontObject() const override;
    CGridCtrl* GetGrid() const override { return m_pGrid; }
    CWnd* GetEditWnd() const override;
    UINT GetMargin() const override;

    BOOL IsDefaultFont() const override { return m_plfFont == nullptr; }
    BOOL IsEditing() const override { return m_bEditing; }

    void Reset() override;

    // Opens the in-place editor over the cell, or feeds it the character when it is open.
    BOOL Edit(int nRow, int nCol, CRect rect, CPoint point, UINT nID, UINT nChar) override;
    void EndEdit() override;
    void OnEndEdit() override;

protected:
    std::string m_strText;
    LPARAM m_lParam = 0;
    int m_nImage = -1;
    DWORD m_nFormat = 0xFFFFFFFF;
    COLORREF m_crFgClr = CLR_DEFAULT;
    COLORREF m_crBkClr = CLR_DEFAULT;
    std::unique_ptr<LOGFONT> m_plfFont;
    mutable std::unique_ptr<CFont> m_pFontObject;  // made from m_plfFont when first asked for
    UINT m_nMargin = 0xFFFFFFFF;
    BOOL m_bEditing = FALSE;
    CGridCtrl* m_pGrid = nullptr;
    // The in-place editor deletes itself when its window goes, so only its handle is kept and
    // looked up before use.
    HWND m_hEditWnd = nullptr;
};
