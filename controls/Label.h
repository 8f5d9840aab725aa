#pragma once
// A static text that paints itself: colour, font, solid or gradient background, a 3-D copy of
// the text, rotation, flashing, border styles and an optional link (a web address or a mail
// address, or a notification to the parent instead). Setters return the label for chaining;
// made before the window is attached they only store their values.

#include <string>

#include "platform/ctl/static.h"

// WM_NOTIFY code a label with the notify flag sends to its parent when clicked.
constexpr UINT NM_LABEL_CLICKED = 0x8200;

class CLabel : public CStatic {
public:
    CLabel();
    ~CLabel() override;

    virtual CLabel& SetBkColor(COLORREF color, COLORREF gradient_color = 0, BOOL gradient = FALSE);
    virtual CLabel& SetTextColor(COLORREF color);
    virtual CLabel& SetText(const std::string& text);
    virtual CLabel& SetFontBold(BOOL bold);
    virtual CLabel& SetFontName(const std::string& face, BYTE charset = DEFAULT_CHARSET);
    virtual CLabel& SetFontUnderline(BOOL underline);
    virtual CLabel& SetFontItalic(BOOL italic);
    virtual CLabel& SetFontSize(int points);
    virtual CLabel& SetSunken(BOOL sunken);
    virtual CLabel& SetBorder(BOOL border);
    virtual CLabel& SetTransparent(BOOL transparent);
    virtual CLabel& FlashText(BOOL flash);
    virtual CLabel& FlashBackground(BOOL flash);
    virtual CLabel& SetLink(BOOL link, BOOL notify_parent);
    virtual CLabel& SetLinkCursor(HCURSOR cursor);
    virtual CLabel& SetText3D(BOOL on, BOOL direction = FALSE);
    virtual CLabel& SetRotationAngle(UINT degrees, BOOL rotated);
    virtual CLabel& SetText3DHiliteColor(COLORREF color);
    virtual CLabel& SetFont(LOGFONT logfont);
    virtual CLabel& SetMailLink(BOOL link, BOOL notify_parent);
    virtual CLabel& SetLinkURL(const std::string& url);

    BOOL PreCreateWindow(CREATESTRUCT& cs) override;

    // Draws `steps` vertical bands (fewer on a narrow rectangle) from `left` to `right`.
    static void DrawGradientFill(CDC* dc, const CRect& rect, COLORREF left, COLORREF right, int steps);
    // The DrawText format a static style and text call for.
    static UINT TextFormat(DWORD style, const std::string& text);

protected:
    void PreSubclassWindow() override;
    void OnTimer(UINT_PTR id) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    BOOL OnSetCursor(CWnd* wnd, UINT hit, UINT message) override;
    void OnSysColorChange() override;
    void OnPaint() override;
    BOOL OnEraseBkgnd(CDC* dc) override;

    void ReconstructFont();
    void UpdateSurface();
    void StopFlashTimer();

    COLORREF m_crText;
    COLORREF m_cr3DHiliteColor = RGB(255, 255, 255);
    HBRUSH m_hwndBrush;  // face colour
    HBRUSH m_hBackBrush = nullptr;
    LOGFONT m_lf{};
    CFont m_font;
    BOOL m_bState = FALSE;  // flash phase
    BOOL m_bTimer = FALSE;
    int m_Link = 0;  // 0 none, 1 URL, 2 mail
    BOOL m_bTransparent = FALSE;
    BOOL m_bFont3d = FALSE;
    BOOL m_bNotifyParent = FALSE;
    BOOL m_bRotation = FALSE;
    int m_Type = 0;  // flash kind: 0 none, 1 text, 2 background
    HCURSOR m_hCursor = nullptr;
    BOOL m_3dType = FALSE;
    BOOL m_bGradient = FALSE;
    COLORREF m_crGradient = 0;
    COLORREF m_crBkColor = 0;
    std::string m_sLink;
};
