#pragma once
// A horizontal range slider made of a skinned button: two thumbs (0 left, 1 right) that never
// pass each other; the one nearer the mouse is taken. Reports as the one-thumb slider does,
// with the value of the thumb taken.

#include "controls/KrSkinSldButton.h"

class CKrSkinSldButton2 : public CKrSkinSliderBase<CKrSkinSldButton2> {
public:
    CKrSkinSldButton2();
    ~CKrSkinSldButton2() override;

    // SetRange, SetNotifyId, SetThumbPos and SetThumbBitmap are applied to the linked slider first.
    // Also puts thumb 0 at min and thumb 1 at max.
    void SetRange(int min, int max, BOOL redraw = FALSE);
    // Ignored while the range is empty, and for thumbs other than 0 and 1.
    void SetThumbPos(int thumb, int value);
    // The thumb's value, brought into the range first (min for thumbs other than 0 and 1).
    int GetThumbPos(int thumb);
    // The further arguments are kept for callers and not used. FALSE when it cannot be loaded.
    BOOL SetThumbBitmap(int thumb, UINT bitmapId, int = 0, int = 0, int = 0, int = 0);
    // Thumb 0 to the left end, thumb 1 to the right end (at the next paint).
    void ResetThumbs();
    int GetRangeMin() const { return m_nMin; }
    int GetRangeMax() const { return m_nMax; }

protected:
    void DrawItem(LPDRAWITEMSTRUCT dis) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;

private:
    int ChooseThumb(int x);
    // Press and release: the thumb nearer the point jumps there (within the channel).
    int TrackPoint(CPoint point);
    void KeepInOrder();

    CBitmap m_bmThumb[2];
    BITMAP m_bmThumbInfo[2]{};
    double m_dFraction = 0.0;
    int m_nThumbX[2] = {0, 0};
    int m_nMin = 0;
    int m_nMax = 1;
    int m_nValue[2] = {0, 0};
    int m_nActiveThumb = 0;
    int m_nThumbWidth = 0;  // of the thumb loaded or drawn last
    bool m_bHeld = false;
};
