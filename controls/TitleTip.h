#pragma once
// A borderless pop-up that shows the whole text of a grid cell whose text is cut off. It lies
// over the cell and hands every click and key on to the window below it, so the grid behaves as
// if the tip were not there.

#include <string>

#include "platform/win/afxwin.h"

class CTitleTip : public CWnd {
public:
    CTitleTip();
    ~CTitleTip() override;

    virtual BOOL Create(CWnd* parent);
    // The owner (the grid) whose coordinates Show takes; Create sets it as well.
    void SetParentWnd(CWnd* parent) { m_pParentWnd = parent; }
    BOOL DestroyWindow() override;

    // titleRect and hoverRect are in the owner's client coordinates. Shows the tip only when the
    // text (with one blank each side) does not fit titleRect.
    void Show(CRect titleRect, LPCSTR text, int xOffset = 0, LPRECT hoverRect = nullptr, const LOGFONT* font = nullptr,
              COLORREF textColour = CLR_DEFAULT, COLORREF backColour = CLR_DEFAULT);
    void Hide();

    BOOL PreTranslateMessage(MSG* msg) override;

protected:
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnPaint() override;

private:
    void DrawTip(CDC* dc);

    CWnd* m_pParentWnd = nullptr;
    CRect m_rectHover;  // client coordinates of the tip
    DWORD m_dwLastLButtonDown = 0xFFFFFFFF;
    bool m_bHavePress = false;  // the first press is never half of a double click
    DWORD m_dwDblClickMsecs;
    BOOL m_bCreated = FALSE;

    // What is shown, kept so that a repaint draws the same picture.
    std::string m_strShown;
    LOGFONT m_lfFont{};
    bool m_bOwnFont = false;
    COLORREF m_crText = CLR_DEFAULT;
    COLORREF m_crBack = CLR_DEFAULT;
};
