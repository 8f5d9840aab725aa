#pragma once
// The owner-drawn button of the skinned windows. It paints itself from one horizontal strip of
// equal frames (0 normal, 1 hover, 2 pressed or checked, 3 disabled, and optionally 4, a black
// and white mask: white shows the window behind), keeps the push / check box / radio behaviour
// its template style gives it, and shows the hover frame while the mouse is over it.

#include "platform/ctl/Button.h"
#include "platform/ctl/ToolTip.h"
#include "platform/gdi/afxgdi.h"

// Posted to the other buttons of a radio group when one of them becomes checked.
constexpr UINT WM_KRSKIN_UNCHECK = 0x500;

class CKrSkinButton : public CButton {
public:
    enum Kind { kPushButton = 0, kCheckBox = 2, kRadioButton = 4 };

    CKrSkinButton();
    ~CKrSkinButton() override;

    // Loads the strip; draw mode is clamped to 0..2 and the inset to >= 0. Does not redraw.
    // FALSE when the strip cannot be loaded: the button then paints no frame.
    BOOL SetBitmaps(UINT stripId, short drawMode, BOOL edge, short inset, BOOL masked);

    // Created and filled by the owner if it wants one; the button only relays to it.
    CToolTipCtrl m_ToolTip;

protected:
    void PreSubclassWindow() override;
    void DrawItem(LPDRAWITEMSTRUCT dis) override;
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    virtual LRESULT OnGetCheck(WPARAM wParam, LPARAM lParam);
    virtual LRESULT OnSetCheck(WPARAM wParam, LPARAM lParam);
    virtual LRESULT OnUncheck(WPARAM wParam, LPARAM lParam);
    void OnKeyDown(UINT vkey, UINT repeat, UINT flags) override;
    BOOL OnEraseBkgnd(CDC* dc) override;
    void OnKillFocus(CWnd* next) override;
    void OnMouseLeave() override;
    void OnLButtonDblClk(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnLButtonDown(UINT flags, CPoint point) override;

    // Paints frame `index` of the strip at the rectangle's top-left corner, at frame size.
    void DrawFrame(int index, CDC* dc, const CRect& rect, short drawMode);
    // Whether the window under a client point of this button is the button itself.
    bool IsUnderPoint(CPoint client) const;

    BYTE m_bPressed = FALSE;
    BYTE m_bChecked = FALSE;
    int m_nKind = kPushButton;
    BOOL m_bMasked = FALSE;
    BOOL m_bHover = FALSE;
    CBitmap m_bmpStrip;
    CSize m_sizeFrame{0, 0};
    short m_nInset = 0;
    COLORREF m_crText;
    BOOL m_bEdge = FALSE;
    short m_nDrawMode = 1;
};
