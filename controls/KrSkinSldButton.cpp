#include "controls/KrSkinSldButton.h"

#include <algorithm>
#include <climits>

namespace skinslider {

int Trunc(double v)
{
    if (!(v == v))
        return 0;
    return static_cast<int>(std::clamp(v, static_cast<double>(INT_MIN), static_cast<double>(INT_MAX)));
}

int ValueOf(int min, int max, double fraction)
{
    return Trunc(min + (static_cast<double>(max) - min) * fraction + 0.5);
}

// Kept within the range: a drag past an end means the end, never a value outside the range.
double FractionOf(double offset, double length)
{
    if (!(length > 0))
        return 0.0;
    return std::clamp(offset / length, 0.0, 1.0);
}

}  // namespace skinslider

using skinslider::Trunc;

CKrSkinSldButton::CKrSkinSldButton() = default;

CKrSkinSldButton::~CKrSkinSldButton() { m_bmThumb.DeleteObject(); }

void CKrSkinSldButton::SetRange(int min, int max, BOOL redraw)
{
    if (!ApplyToLinkedFirst(&CKrSkinSldButton::SetRange, min, max, redraw))
        return;
    m_nMin = min;
    m_nMax = max;
}

void CKrSkinSldButton::SetVertical(BOOL vertical)
{
    if (!ApplyToLinkedFirst(&CKrSkinSldButton::SetVertical, vertical))
        return;
    m_bVertical = vertical;
}

void CKrSkinSldButton::SetPos(int value)
{
    if (!ApplyToLinkedFirst(&CKrSkinSldButton::SetPos, value))
        return;
    m_nValue = value;
    const double span = static_cast<double>(m_nMax) - m_nMin;
    m_dFraction = span != 0 ? (static_cast<double>(value) - m_nMin) / span : 0.0;
    CRect rc(0, 0, 0, 0);
    if (GetSafeHwnd())
        GetClientRect(&rc);
    if (m_bVertical)
        m_nThumbY = Trunc(rc.Height() * m_dFraction);
    else
        m_nThumbX = Trunc((rc.Width() - m_bmThumbInfo.bmWidth) * m_dFraction);
    if (GetSafeHwnd())
        Invalidate();
}

BOOL CKrSkinSldButton::SetThumbBitmap(UINT bitmapId, int, int, int, int)
{
    m_bmThumb.DeleteObject();
    m_bmThumbInfo = BITMAP{};
    if (!m_bmThumb.LoadBitmap(bitmapId))
        return FALSE;  // a zero-sized thumb: nothing drawn
    m_bmThumb.GetBitmap(&m_bmThumbInfo);
    return TRUE;
}

double CKrSkinSldButton::FractionAt(CPoint point, const CRect& client) const
{
    if (m_bVertical)
        return skinslider::FractionOf(static_cast<double>(client.bottom) - point.y, client.Height());
    return skinslider::FractionOf(point.x, client.Width());
}

void CKrSkinSldButton::TrackPoint(CPoint point)
{
    CRect rc;
    GetClientRect(&rc);
    m_dFraction = FractionAt(point, rc);
    if (m_bVertical)
        m_nThumbY = rc.bottom - point.y - m_bmThumbInfo.bmHeight / 2;
    else
        m_nThumbX = Trunc((rc.Width() - m_bmThumbInfo.bmWidth) * m_dFraction);
    m_nValue = skinslider::ValueOf(m_nMin, m_nMax, m_dFraction);
    Invalidate();
}

void CKrSkinSldButton::OnLButtonDown(UINT flags, CPoint point)
{
    CKrSkinButton::OnLButtonDown(flags, point);
    TrackPoint(point);
    PostToParent(WM_SKINSLIDER_DOWN, m_nValue);
}

void CKrSkinSldButton::OnLButtonUp(UINT flags, CPoint point)
{
    // A release belongs to the slider only when the press began on it (it holds the mouse);
    // a stray release over it must not move the value and tell the owner to seek there.
    const bool mine = GetCapture() == this;
    CKrSkinButton::OnLButtonUp(flags, point);
    if (!mine)
        return;
    TrackPoint(point);
    PostToParent(WM_SKINSLIDER_UP, m_nValue);
}

void CKrSkinSldButton::OnMouseMove(UINT flags, CPoint point)
{
    CKrSkinButton::OnMouseMove(flags, point);
    if (m_bPressed) {
        CRect rc;
        GetClientRect(&rc);
        const double fraction = FractionAt(point, rc);
        if (m_bVertical)
            m_nThumbY = rc.bottom - point.y - m_bmThumbInfo.bmHeight / 2;
        if (fraction != m_dFraction) {
            m_dFraction = fraction;
            if (!m_bVertical)
                m_nThumbX = Trunc((rc.Width() - m_bmThumbInfo.bmWidth) * fraction);
            m_nValue = skinslider::ValueOf(m_nMin, m_nMax, fraction);
            PostToParent(WM_SKINSLIDER_MOVE, m_nValue);
        }
    }
    Invalidate();
}

void CKrSkinSldButton::DrawItem(LPDRAWITEMSTRUCT dis)
{
    if (!dis)
        return;
    CKrSkinButton::DrawItem(dis);
    CDC* dc = CDC::FromHandle(dis->hDC);
    const CRect rc = PaintRect(*dis);
    const int w = rc.Width(), h = rc.Height();
    const int tw = m_bmThumbInfo.bmWidth, th = m_bmThumbInfo.bmHeight;
    dc->SetBkMode(TRANSPARENT);

    int x, y;
    if (m_bVertical) {
        m_nThumbY = std::max(std::min(m_nThumbY, h - th), 0);
        x = (w - tw) / 2;
        y = h - th - m_nThumbY;
    } else {
        m_nThumbX = std::max(std::min(m_nThumbX, w - tw), 0);
        x = m_nThumbX;
        y = (h - th) / 2;
    }
    if (tw <= 0 || th <= 0)
        return;
    CDC thumbDC;
    thumbDC.CreateCompatibleDC(dc);
    CBitmap* old = thumbDC.SelectObject(&m_bmThumb);
    dc->BitBlt(rc.left + x, rc.top + y, tw, th, &thumbDC, 0, 0, SRCCOPY);
    thumbDC.SelectObject(old);
    thumbDC.DeleteDC();
}
