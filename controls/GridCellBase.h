#pragma once
// The abstract grid cell: its state bits and everything that works through the virtual
// accessors (copying, drawing, printing, measuring). Text is UTF-8.

#include "platform/win/afxwin.h"

class CGridCtrl;
class CGridDefaultCell;

// Cell state bits.
constexpr DWORD GRIDCELL_FOCUSED = 0x01;
constexpr DWORD GRIDCELL_SELECTED = 0x02;
constexpr DWORD GRIDCELL_DROPHILITED = 0x04;
constexpr DWORD GRIDCELL_READONLY = 0x08;
constexpr DWORD GRIDCELL_FIXED = 0x10;
constexpr DWORD GRIDCELL_FIXEDROW = 0x20;
constexpr DWORD GRIDCELL_FIXEDCOL = 0x40;
constexpr DWORD GRIDCELL_MODIFIED = 0x80;

class CGridCellBase {
public:
    CGridCellBase() = default;
    virtual ~CGridCellBase() = default;
    CGridCellBase(const CGridCellBase&) = delete;
    // Copies the attributes through the accessors; a cell given itself changes nothing.
    CGridCellBase& operator=(const CGridCellBase& cell);

    virtual void SetText(LPCSTR text) = 0;
    virtual void SetImage(int image) = 0;
    virtual void SetData(LPARAM data) = 0;
    virtual void SetState(DWORD state) { m_nState = state; }
    virtual void SetFormat(DWORD format) = 0;
    virtual void SetTextClr(COLORREF clr) = 0;
    virtual void SetBackClr(COLORREF clr) = 0;
    virtual void SetFont(const LOGFONT* font) = 0;
    virtual void SetMargin(UINT margin) = 0;
    virtual void SetGrid(CGridCtrl* grid) = 0;
    virtual void SetCoords(int row, int col) = 0;

    virtual LPCSTR GetText() const = 0;  // never null
    virtual LPCSTR GetTipText() const { return GetText(); }
    virtual int GetImage() const = 0;
    virtual LPARAM GetData() const = 0;
    virtual DWORD GetState() const { return m_nState; }
    virtual DWORD GetFormat() const = 0;
    virtual COLORREF GetTextClr() const = 0;
    virtual COLORREF GetBackClr() const = 0;
    virtual const LOGFONT* GetFont() const = 0;
    virtual CFont* GetFontObject() const = 0;
    virtual CGridCtrl* GetGrid() const = 0;
    virtual CWnd* GetEditWnd() const = 0;
    virtual UINT GetMargin() const = 0;
    virtual CGridDefaultCell* GetDefaultCell() const;

    virtual BOOL IsDefaultFont() const = 0;
    virtual BOOL IsEditing() const = 0;
    BOOL IsFocused() const { return (m_nState & GRIDCELL_FOCUSED) != 0; }
    BOOL IsFixed() const { return (m_nState & GRIDCELL_FIXED) != 0; }
    BOOL IsFixedCol() const { return (m_nState & GRIDCELL_FIXEDCOL) != 0; }
    BOOL IsFixedRow() const { return (m_nState & GRIDCELL_FIXEDROW) != 0; }
    BOOL IsSelected() const { return (m_nState & GRIDCELL_SELECTED) != 0; }
    BOOL IsReadOnly() const { return (m_nState & GRIDCELL_READONLY) != 0; }
    BOOL IsModified() const { return (m_nState & GRIDCELL_MODIFIED) != 0; }
    BOOL IsDropHighlighted() const { return (m_nState & GRIDCELL_DROPHILITED) != 0; }

    virtual void Reset() { m_nState = 0; }

    virtual BOOL Draw(CDC* dc, int row, int col, CRect rect, BOOL eraseBkgnd = TRUE);
    virtual BOOL GetTextRect(LPRECT rect);
    virtual BOOL GetTipTextRect(LPRECT rect) { return GetTextRect(rect); }
    virtual CSize GetTextExtent(LPCSTR text, CDC* dc = nullptr);
    virtual CSize GetCellExtent(CDC* dc);

    virtual BOOL Edit(int row, int col, CRect rect, CPoint point, UINT id, UINT ch) { return FALSE; }
    virtual BOOL ValidateEdit(LPCSTR text) { return TRUE; }
    virtual void EndEdit() {}
    virtual BOOL PrintCell(CDC* dc, int row, int col, CRect rect);
    virtual void OnEndEdit() {}

    virtual void OnMouseEnter() {}
    virtual void OnMouseOver() {}
    virtual void OnMouseLeave() {}
    virtual void OnClick(CPoint pointCellRelative) {}
    virtual void OnClickDown(CPoint pointCellRelative) {}
    virtual void OnRClick(CPoint pointCellRelative) {}
    virtual void OnDblClick(CPoint pointCellRelative) {}
    virtual BOOL OnSetCursor();

protected:
    DWORD m_nState = 0;
};
