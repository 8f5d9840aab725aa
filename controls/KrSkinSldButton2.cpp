#include "controls/KrSkinSldButton2.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

using skinslider::Trunc;

namespace {

bool ValidThumb(int thumb) { return thumb == 0 || thumb == 1; }

// A position far outside the range places its thumb far outside the channel, which the drawing
// brings back in. Kept within this, an offset takes half a thumb or a pixel more (keeping the
// thumbs in order, choosing one) without overflowing.
constexpr int kFarOffset = INT_MAX / 4;

}  // namespace

CKrSkinSldButton2::CKrSkinSldButton2() = default;

CKrSkinSldButton2::~CKrSkinSldButton2()
{
    m_bmThumb[0].DeleteObject();
    m_bmThumb[1].DeleteObject();
}

void CKrSkinSldButton2::SetRange(int min, int max, BOOL redraw)
{
    if (!ApplyToLinkedFirst(&CKrSkinSldButton2::SetRange, min, max, redraw))
        return;
    m_nMin = min;
    m_nMax = max;
    SetThumbPos(0, min);
    SetThumbPos(1, max);
}

void CKrSkinSldButton2::SetThumbPos(int thumb, int value)
{
    if (!ValidThumb(thumb) || !ApplyToLinkedFirst(&CKrSkinSldButton2::SetThumbPos, thumb, value))
        return;
    if (m_nMax == m_nMin)
        return;
    m_nValue[thumb] = value;
    m_nActiveThumb = thumb;
    m_dFraction = (static_cast<double>(value) - m_nMin) / (static_cast<double>(m_nMax) - m_nMin);
    CRect rc(0, 0, 0, 0);
    if (GetSafeHwnd())
        GetClientRect(&rc);
    m_nThumbX[thumb] = std::clamp(Trunc((rc.Width() - m_bmThumbInfo[thumb].bmWidth) * m_dFraction), -kFarOffset, kFarOffset);
    if (GetSafeHwnd())
        Invalidate();
}

int CKrSkinSldButton2::GetThumbPos(int thumb)
{
    if (!ValidThumb(thumb))
        return m_nMin;
    int& value = m_nValue[thumb];
    if (value < m_nMin)
        value = m_nMin;
    if (value > m_nMax)
        value = m_nMax;
    return value;
}

BOOL CKrSkinSldButton2::SetThumbBitmap(int thumb, UINT bitmapId, int a, int b, int c, int d)
{
    if (!ValidThumb(thumb) || !ApplyToLinkedFirst(&CKrSkinSldButton2::SetThumbBitmap, thumb, bitmapId, a, b, c, d))
        return FALSE;
    m_bmThumb[thumb].DeleteObject();
    m_bmThumbInfo[thumb] = BITMAP{};
    const BOOL loaded = m_bmThumb[thumb].LoadBitmap(bitmapId);
    if (loaded)
        m_bmThumb[thumb].GetBitmap(&m_bmThumbInfo[thumb]);
    m_nThumbWidth = m_bmThumbInfo[thumb].bmWidth;
    return loaded;
}

void CKrSkinSldButton2::ResetThumbs()
{
    m_nThumbX[0] = 0;
    m_nThumbX[1] = 99999;
}

int CKrSkinSldButton2::ChooseThumb(int x)
{
    if (m_nThumbX[0] == m_nThumbX[1])
        m_nThumbX[1] += 1;  // thumbs on one spot: the right one is taken from the right
    int chosen = 0;
    long best = -1;
    for (int i = 0; i < 2; ++i) {
        const long distance = std::labs(static_cast<long>(x) - m_nThumbWidth / 2 - m_nThumbX[i]);
        if (best < 0 || distance < best) {
            best = distance;
            chosen = i;
        }
    }
    m_nActiveThumb = chosen;
    return chosen;
}

int CKrSkinSldButton2::TrackPoint(CPoint point)
{
    const int thumb = ChooseThumb(point.x);
    CRect rc;
    GetClientRect(&rc);
    m_dFraction = skinslider::FractionOf(point.x, rc.Width());
    m_nThumbX[thumb] = Trunc((rc.Width() - m_bmThumbInfo[thumb].bmWidth) * m_dFraction);
    m_nValue[thumb] = skinslider::ValueOf(m_nMin, m_nMax, m_dFraction);
    if (m_nValue[0] < m_nMin)
        m_nValue[0] = m_nMin;
    if (m_nValue[1] > m_nMax)
        m_nValue[1] = m_nMax;
    return thumb;
}

void CKrSkinSldButton2::KeepInOrder()
{
    const int half0 = m_bmThumbInfo[0].bmWidth / 2, half1 = m_bmThumbInfo[1].bmWidth / 2;
    if (m_nThumbX[0] + half0 <= m_nThumbX[1])
        return;
    if (m_nActiveThumb == 0) {
        m_nThumbX[1] = m_nThumbX[0] + half0;
        m_nValue[1] = m_nValue[0];
    } else {
        m_nThumbX[0] = m_nThumbX[1] - half1;
        m_nValue[0] = m_nValue[1];
    }
}

void CKrSkinSldButton2::OnLButtonDown(UINT flags, CPoint point)
{
    CKrSkinButton::OnLButtonDown(flags, point);
    m_bHeld = true;
    const int thumb = TrackPoint(point);
    Invalidate();
    PostToParent(WM_SKINSLIDER_DOWN, m_nValue[thumb]);
}

void CKrSkinSldButton2::OnLButtonUp(UINT flags, CPoint point)
{
    // Only a press that began here ends here (see the one-thumb slider).
    const bool mine = GetCapture() == this;
    CKrSkinButton::OnLButtonUp(flags, point);
    if (mine) {
        const int thumb = TrackPoint(point);
        KeepInOrder();
        Invalidate();
        PostToParent(WM_SKINSLIDER_UP, m_nValue[thumb]);
    }
    m_bHeld = false;
}

void CKrSkinSldButton2::OnMouseMove(UINT flags, CPoint point)
{
    CKrSkinButton::OnMouseMove(flags, point);
    if (m_bPressed) {
        const int thumb = ChooseThumb(point.x);
        CRect rc;
        GetClientRect(&rc);
        m_dFraction = skinslider::FractionOf(point.x, rc.Width());
        m_nThumbX[thumb] = Trunc((rc.Width() - m_bmThumbInfo[thumb].bmWidth) * m_dFraction);
        const int value = skinslider::ValueOf(m_nMin, m_nMax, m_dFraction);
        if (value != m_nValue[thumb]) {
            m_nValue[thumb] = value;
            PostToParent(WM_SKINSLIDER_MOVE, m_nValue[thumb]);
        }
        KeepInOrder();
        Invalidate();
    }
}

void CKrSkinSldButton2::DrawItem(LPDRAWITEMSTRUCT dis)
{
    if (!dis)
        return;
    CKrSkinButton::DrawItem(dis);
    CDC* dc = CDC::FromHandle(dis->hDC);
    const CRect rc = PaintRect(*dis);
    const int w = rc.Width(), h = rc.Height();
    dc->SetBkMode(TRANSPARENT);
    KeepInOrder();

    CDC thumbDC;
    thumbDC.CreateCompatibleDC(dc);
    CBitmap* old = thumbDC.GetCurrentBitmap();
    auto draw = [&](int thumb, int x) {
        const int tw = m_bmThumbInfo[thumb].bmWidth, th = m_bmThumbInfo[thumb].bmHeight;
        if (tw <= 0 || th <= 0)
            return;
        thumbDC.SelectObject(&m_bmThumb[thumb]);
        dc->BitBlt(rc.left + x, rc.top + (h - th) / 2, tw, th, &thumbDC, 0, 0, SRCCOPY);
    };

    // Thumb 0 stays out of the channel's last thumb width, thumb 1 out of its first.
    const int w0 = m_bmThumbInfo[0].bmWidth, w1 = m_bmThumbInfo[1].bmWidth;
    m_nThumbWidth = w0;
    m_nThumbX[0] = std::max(std::min(m_nThumbX[0], w - 2 * w0), 0);
    draw(0, m_nThumbX[0]);
    m_nThumbWidth = w1;
    m_nThumbX[1] = std::max(std::min(m_nThumbX[1], w - w1 - w1 / 2), w1 / 2);
    draw(1, w1 / 2 + m_nThumbX[1]);

    if (old)
        thumbDC.SelectObject(old);
    thumbDC.DeleteDC();
}
