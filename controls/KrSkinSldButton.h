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

class CKrSkinSldButton : public CKrSkinButton {
public:
    CKrSkinSldButton();
    ~CKrSkinSldButton() override;

    // Every setter below but SetThumbBitmap is applied to the linked slider first.
    void SetLinkedSlider(CKrSkinSldButton* other) { m_pLinkedSlider = other; }
    void SetRange(int min, int max, BOOL redraw = FALSE);
    void SetVertical(BOOL vertical);
    void SetNotifyId(int id);
    void SetPos(int value);
    // The further arguments are kept for callers and not used. FALSE when it cannot be loaded.
    BOOL SetThumbBitmap(UINT bitmapId, int = 0, int = 0, int = 0, int = 0);
    int GetPos() const { return m_nValue; }
    int GetRangeMin() const { return m_nMin; }
    int GetRangeMax() const { return m_nMax; }
    // Moves the existing control (it is a dialog control) and paints over that size from now on.
    void CreateAt(int x, int y, int width, int height);

protected:
    void DrawItem(LPDRAWITEMSTRUCT dis) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;

private:
    double FractionAt(CPoint point, const CRect& client) const;
    // The press and release share it: thumb and value follow the point.
    void TrackPoint(CPoint point);
    void Notify(UINT message) const;

    CKrSkinSldButton* m_pLinkedSlider = nullptr;
    BOOL m_bPlaced = FALSE;
    CRect m_rcPlaced;
    CBitmap m_bmThumb;
    BITMAP m_bmThumbInfo{};
    double m_dFraction = 0.0;
    BOOL m_bVertical = FALSE;
    int m_nThumbX = 0;
    int m_nThumbY = 0;
    int m_nMin = 0;
    int m_nMax = 0;
    int m_nValue = 0;
    int m_nNotifyId = 0;
    bool m_bApplying = false;  // a setter coming back through a two-way link is dropped
};
