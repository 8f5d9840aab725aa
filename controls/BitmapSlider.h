#pragma once
// A horizontal level control drawn from two bitmaps of one size: the empty channel, and the
// active (filled) channel shown from the left edge up to the current position. Pressing and
// dragging sets the position; the parent hears of it by posted messages.

#include "platform/ctl/ToolTip.h"
#include "platform/ctl/static.h"

// wParam: the control id; lParam: the position.
constexpr UINT WM_BITMAPSLIDER_MOVED = 0x28D1;     // during a drag, when the position's pixel changed
constexpr UINT WM_BITMAPSLIDER_RELEASED = 0x28D2;  // at every release of the left button

class CBitmapSlider : public CStatic {
public:
    CBitmapSlider();
    ~CBitmapSlider() override;

    // transparentColour 0xFF000000 takes the channel's pixel at (x, y) as the see-through colour.
    // channelId 0 unloads everything. FALSE when a bitmap cannot be loaded; nothing stays loaded then.
    BOOL SetBitmapChannel(UINT channelId, UINT activeId, BOOL transparent = FALSE,
                          COLORREF transparentColour = 0xFF000000, int x = 0, int y = 0);

    void SetRange(int min, int max, BOOL redraw = FALSE);
    void SetRangeMin(int min, BOOL redraw = FALSE);
    void SetRangeMax(int max, BOOL redraw = FALSE);
    int GetRangeMin() const { return m_nMin; }
    int GetRangeMax() const { return m_nMax; }
    void SetPos(int pos);
    int GetPos() const { return m_nPos; }
    int SetPageSize(int size);
    int GetPageSize() const { return m_nPage; }
    void DrawFocusRect(BOOL draw = TRUE, BOOL redraw = FALSE);
    void SetThumbOffsetX(int margin) { m_nMarginLeft = margin; }   // left margin of the track
    void SetThumbOffsetY(int margin) { m_nMarginRight = margin; }  // right margin of the track
    void SetLinkedSlider(CBitmapSlider* other) { m_pLinkedSlider = other; }

    // Created and filled by the owner if it wants one; the slider relays its mouse moves to it.
    CToolTipCtrl m_ToolTip;

protected:
    void OnPaint() override;
    BOOL OnEraseBkgnd(CDC* dc) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    UINT OnGetDlgCode() override;
    void OnKeyDown(UINT vkey, UINT repeat, UINT flags) override;
    void OnSetFocus(CWnd* old) override;
    void OnKillFocus(CWnd* next) override;
    void OnDestroy() override;

private:
    int Pixel(int pos) const;      // x of a position in client coordinates
    int PosFromPixel(int x) const;  // position at a client x
    // The drag step of a mouse move; true when the move belongs to a drag (default processing then).
    bool Drag(UINT flags, CPoint point);
    void DeleteBitmaps();
    static void PrepareMask(CBitmap* bitmap, CBitmap* mask, COLORREF transparentColour, int x, int y);
    void DrawBitmap(CDC* dc, int x, int y, int w, int h, CDC* src, CBitmap* mask, BOOL transparent);

    CBitmapSlider* m_pLinkedSlider = nullptr;
    BOOL m_bLButtonDown = FALSE;
    int m_nMax = 100;
    int m_nMin = 0;
    int m_nPos = 0;
    int m_nPage = 20;
    CRect m_rect;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nMarginLeft = 0;
    int m_nMarginRight = 0;
    BOOL m_bChannelActive = FALSE;
    BOOL m_bTransparentChannel = FALSE;
    BOOL m_bChannel = FALSE;
    BOOL m_bDragging = FALSE;
    BOOL m_bHasFocus = FALSE;
    BOOL m_bFocusRect = FALSE;
    BOOL m_bDrawFocusRect = TRUE;
    BOOL m_bEnable = TRUE;
    CBitmap m_bmChannel;
    CBitmap m_bmChannelMask;
    CBitmap m_bmChannelActive;
    CBitmap m_bmChannelActiveMask;
    bool m_bInSetPos = false;  // a two-way link must not bounce a position back and forth
};
