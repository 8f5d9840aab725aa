#pragma once
// A slider made of a skinned button: the button's strip paints the channel and a thumb bitmap
// is drawn on top. Presses and drags become a value between a minimum and a maximum that the
// parent hears of by posted messages. Horizontal (minimum at the left) or vertical (minimum at
// the bottom).

#include "controls/KrSkinButton.h"

// wParam: the slider's notify id; lParam: the value. Posted after the slider stored the value.
constexpr UINT WM_SKINSLIDER_DOWN = 0xC00;
constexpr UINT WM_SKINSLIDER_UP = 0xC01;
constexpr UINT WM_SKINSLIDER_MOVE = 0xC02;

namespace skinslider {

// Truncation toward zero that stays defined for any double (NaN gives 0).
int Trunc(double v);
// min + (max - min) * fraction, rounded half up by truncation as the sliders always did.
int ValueOf(int min, int max, double fraction);
// Fraction of a coordinate along a length, kept within [0, 1]; 0 for an empty length.
double FractionOf(double offset, double length);

}  // namespace skinslider

// What both sliders share: the link to a twin of the same class that every setter reaches
// first, the rectangle given to CreateAt, the notify id and the posting of the messages.
template <class Slider>
class CKrSkinSliderBase : public CKrSkinButton {
public:
    void SetLinkedSlider(Slider* other) { m_pLinkedSlider = other; }
    void SetNotifyId(int id)
    {
        if (ApplyToLinkedFirst(&Slider::SetNotifyId, id))
            m_nNotifyId = id;
    }
    // Moves the existing control (it is a dialog control) and paints over that size from now on.
    void CreateAt(int x, int y, int width, int height)
    {
        m_bPlaced = TRUE;
        m_rcPlaced.SetRect(x, y, x + width, y + height);
        if (GetSafeHwnd())
            SetWindowPos(&wndTop, x, y, width, height, 0);
    }

protected:
    // Calls the setter on the linked slider, then tells the caller to apply it here too; false
    // when the call came back through a two-way link and is to be dropped.
    template <class Setter, class... Args>
    bool ApplyToLinkedFirst(Setter setter, const Args&... args)
    {
        if (m_bApplying)
            return false;
        if (m_pLinkedSlider) {
            m_bApplying = true;
            (m_pLinkedSlider->*setter)(args...);
            m_bApplying = false;
        }
        return true;
    }
    CRect PaintRect(const DRAWITEMSTRUCT& dis) const
    {
        return m_bPlaced ? CRect(0, 0, m_rcPlaced.Width(), m_rcPlaced.Height()) : CRect(dis.rcItem);
    }
    void PostToParent(UINT message, int value) const
    {
        if (CWnd* parent = GetParent())
            parent->PostMessage(message, static_cast<WPARAM>(m_nNotifyId), value);
    }

    Slider* m_pLinkedSlider = nullptr;
    BOOL m_bPlaced = FALSE;
    CRect m_rcPlaced;
    int m_nNotifyId = 0;
    bool m_bApplying = false;  // a setter coming back through a two-way link is dropped
};

class CKrSkinSldButton : public CKrSkinSliderBase<CKrSkinSldButton> {
public:
    CKrSkinSldButton();
    ~CKrSkinSldButton() override;

    // Every setter below but SetThumbBitmap is applied to the linked slider first, as is SetNotifyId.
    void SetRange(int min, int max, BOOL redraw = FALSE);
    void SetVertical(BOOL vertical);
    void SetPos(int value);
    // The further arguments are kept for callers and not used. FALSE when it cannot be loaded.
    BOOL SetThumbBitmap(UINT bitmapId, int = 0, int = 0, int = 0, int = 0);
    int GetPos() const { return m_nValue; }
    int GetRangeMin() const { return m_nMin; }
    int GetRangeMax() const { return m_nMax; }

protected:
    void DrawItem(LPDRAWITEMSTRUCT dis) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;

private:
    double FractionAt(CPoint point, const CRect& client) const;
    // The press and release share it: thumb and value follow the point.
    void TrackPoint(CPoint point);

    CBitmap m_bmThumb;
    BITMAP m_bmThumbInfo{};
    double m_dFraction = 0.0;
    BOOL m_bVertical = FALSE;
    int m_nThumbX = 0;
    int m_nThumbY = 0;
    int m_nMin = 0;
    int m_nMax = 0;
    int m_nValue = 0;
};
