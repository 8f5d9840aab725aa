#include "controls/BitmapSlider.h"

#include "controls/MemDC.h"
#include "controls/ToolTipRelay.h"

#include <algorithm>
#include <climits>

namespace {

constexpr COLORREF kSampleColour = 0xFF000000;

// Doubles reaching int stay inside its range, so a huge range cannot make the conversion undefined.
int TruncToInt(double v)
{
    if (!(v == v))
        return 0;
    return static_cast<int>(std::clamp(v, static_cast<double>(INT_MIN), static_cast<double>(INT_MAX)));
}

}  // namespace

CBitmapSlider::CBitmapSlider() = default;

CBitmapSlider::~CBitmapSlider() = default;

int CBitmapSlider::Pixel(int pos) const
{
    const double track = static_cast<double>(m_rect.Width()) - m_nMarginLeft - m_nMarginRight;
    const double span = static_cast<double>(m_nMax) - m_nMin;
    if (track <= 0 || span == 0)
        return m_nMarginLeft;
    return TruncToInt(track * (static_cast<double>(pos) - m_nMin) / span) + m_nMarginLeft;
}

int CBitmapSlider::PosFromPixel(int x) const
{
    const double track = static_cast<double>(m_rect.Width()) - m_nMarginLeft - m_nMarginRight;
    if (track <= 0)
        return m_nMin;
    const double span = static_cast<double>(m_nMax) - m_nMin;
    return TruncToInt((static_cast<double>(x) - m_nMarginLeft) / track * span + m_nMin);
}

void CBitmapSlider::SetRange(int min, int max, BOOL redraw)
{
    SetRangeMin(min, FALSE);
    SetRangeMax(max, redraw);
}

void CBitmapSlider::SetRangeMin(int min, BOOL redraw)
{
    m_nMin = min;
    if (redraw && GetSafeHwnd())
        Invalidate();
}

void CBitmapSlider::SetRangeMax(int max, BOOL redraw)
{
    m_nMax = max;
    if (redraw && GetSafeHwnd())
        Invalidate();
}

void CBitmapSlider::SetPos(int pos)
{
    if (m_bInSetPos)
        return;
    m_bInSetPos = true;
    if (m_pLinkedSlider)
        m_pLinkedSlider->SetPos(pos);
    m_bInSetPos = false;
    if (pos > m_nMax)
        pos = m_nMax;
    if (pos < m_nMin)
        pos = m_nMin;
    m_nPos = pos;
    if (GetSafeHwnd())
        Invalidate();
}

int CBitmapSlider::SetPageSize(int size)
{
    const int old = m_nPage;
    m_nPage = size;
    return old;
}

void CBitmapSlider::DrawFocusRect(BOOL draw, BOOL redraw)
{
    m_bDrawFocusRect = draw;
    if (redraw && GetSafeHwnd())
        Invalidate();
}

void CBitmapSlider::DeleteBitmaps()
{
    m_bmChannel.DeleteObject();
    m_bmChannelMask.DeleteObject();
    m_bmChannelActive.DeleteObject();
    m_bmChannelActiveMask.DeleteObject();
}

BOOL CBitmapSlider::SetBitmapChannel(UINT channelId, UINT activeId, BOOL transparent, COLORREF transparentColour,
                                     int x, int y)
{
    if (channelId == 0) {
        m_bChannel = FALSE;
        DeleteBitmaps();
        return TRUE;
    }

    // A failed load leaves nothing to paint: the flags must not point at deleted bitmaps.
    m_bmChannel.DeleteObject();
    if (!m_bmChannel.LoadBitmap(channelId)) {
        m_bChannel = FALSE;
        return FALSE;
    }
    if (transparent)
        PrepareMask(&m_bmChannel, &m_bmChannelMask, transparentColour, x, y);

    if (activeId) {
        m_bmChannelActive.DeleteObject();
        if (!m_bmChannelActive.LoadBitmap(activeId)) {
            m_bmChannel.DeleteObject();
            if (transparent)
                m_bmChannelMask.DeleteObject();
            m_bChannel = FALSE;
            m_bChannelActive = FALSE;
            return FALSE;
        }
        if (transparent)
            PrepareMask(&m_bmChannelActive, &m_bmChannelActiveMask, transparentColour, x, y);
        m_bChannelActive = TRUE;
    } else {
        m_bChannelActive = FALSE;
    }

    BITMAP bm{};
    m_bmChannel.GetBitmap(&bm);
    m_nWidth = bm.bmWidth;
    m_nHeight = bm.bmHeight;
    if (GetSafeHwnd())
        GetClientRect(&m_rect);
    m_bTransparentChannel = transparent;
    m_bChannel = TRUE;
    return TRUE;
}

// The mask is white where the bitmap shows the transparent colour; those pixels of the bitmap
// turn black, so that AND with the mask and then OR with the bitmap leaves the background there.
void CBitmapSlider::PrepareMask(CBitmap* bitmap, CBitmap* mask, COLORREF transparentColour, int x, int y)
{
    BITMAP bm{};
    bitmap->GetBitmap(&bm);
    mask->DeleteObject();
    mask->CreateBitmap(bm.bmWidth, bm.bmHeight, 1, 1, nullptr);

    CDC srcDC, maskDC;
    srcDC.CreateCompatibleDC(nullptr);
    maskDC.CreateCompatibleDC(nullptr);
    CBitmap* oldSrc = srcDC.SelectObject(bitmap);
    CBitmap* oldMask = maskDC.SelectObject(mask);

    const COLORREF colour = transparentColour == kSampleColour ? srcDC.GetPixel(x, y) : transparentColour;
    const COLORREF oldBk = srcDC.SetBkColor(colour);
    maskDC.BitBlt(0, 0, bm.bmWidth, bm.bmHeight, &srcDC, 0, 0, SRCCOPY);

    const COLORREF oldText = srcDC.SetTextColor(RGB(255, 255, 255));
    srcDC.SetBkColor(RGB(0, 0, 0));
    srcDC.BitBlt(0, 0, bm.bmWidth, bm.bmHeight, &maskDC, 0, 0, SRCAND);

    srcDC.SetTextColor(oldText);
    srcDC.SetBkColor(oldBk);
    srcDC.SelectObject(oldSrc);
    maskDC.SelectObject(oldMask);
    srcDC.DeleteDC();
    maskDC.DeleteDC();
}

void CBitmapSlider::DrawBitmap(CDC* dc, int x, int y, int w, int h, CDC* src, CBitmap* mask, BOOL transparent)
{
    if (!transparent) {
        if (w >= m_nWidth && h >= m_nHeight)
            dc->StretchBlt(x, y, w, h, src, 0, 0, m_nWidth, m_nHeight, SRCCOPY);
        else
            dc->BitBlt(x, y, w, h, src, 0, 0, SRCCOPY);
        return;
    }
    CDC maskDC;
    maskDC.CreateCompatibleDC(dc);
    CBitmap* old = maskDC.SelectObject(mask);
    dc->BitBlt(x, y, w, h, &maskDC, 0, 0, SRCAND);
    dc->BitBlt(x, y, w, h, src, 0, 0, SRCPAINT);
    maskDC.SelectObject(old);
    maskDC.DeleteDC();
}

BOOL CBitmapSlider::OnEraseBkgnd(CDC*) { return TRUE; }

void CBitmapSlider::OnPaint()
{
    CPaintDC dc(this);
    GetClientRect(&m_rect);
    CMemDC memDC(&dc, &m_rect, m_bTransparentChannel);
    CDC bitmapDC;
    bitmapDC.CreateCompatibleDC(&dc);

    if (m_bFocusRect && (m_bTransparentChannel || !m_bChannel)) {
        memDC.DrawFocusRect(m_rect);
        m_bFocusRect = FALSE;
    }

    if (m_bChannel) {
        CBitmap* old = bitmapDC.SelectObject(&m_bmChannel);
        DrawBitmap(&memDC, 0, 0, m_rect.Width(), m_rect.Height(), &bitmapDC, &m_bmChannelMask, m_bTransparentChannel);
        if (m_bChannelActive) {
            bitmapDC.SelectObject(&m_bmChannelActive);
            DrawBitmap(&memDC, 0, 0, Pixel(m_nPos), m_rect.Height(), &bitmapDC, &m_bmChannelActiveMask,
                       m_bTransparentChannel);
        }
        bitmapDC.SelectObject(old);
    }

    if (m_bDrawFocusRect && m_bHasFocus && m_bEnable) {
        memDC.DrawFocusRect(m_rect);
        m_bFocusRect = TRUE;
    }
    bitmapDC.DeleteDC();
}

bool CBitmapSlider::Drag(UINT flags, CPoint point)
{
    RelayToolTip(m_ToolTip, m_hWnd, WM_MOUSEMOVE, flags, point);
    if (!m_bDragging || !m_bEnable)
        return false;
    int x = point.x;
    if (x < m_nMarginLeft)
        x = m_nMarginLeft;
    if (x > m_rect.Width() - m_nMarginRight)
        x = m_rect.Width() - m_nMarginRight;
    if (Pixel(m_nPos) != x) {
        SetPos(PosFromPixel(x));
        if (CWnd* parent = GetParent())
            parent->PostMessage(WM_BITMAPSLIDER_MOVED, static_cast<WPARAM>(GetDlgCtrlID()), m_nPos);
    }
    return true;
}

void CBitmapSlider::OnMouseMove(UINT flags, CPoint point)
{
    if (Drag(flags, point))
        Default();
}

void CBitmapSlider::OnLButtonDown(UINT flags, CPoint point)
{
    m_bLButtonDown = TRUE;
    if (!m_bEnable)
        return;
    SetCapture();
    SetFocus();
    m_bDragging = TRUE;
    Drag(flags, point);
    Invalidate();
    Default();
}

void CBitmapSlider::OnLButtonUp(UINT, CPoint)
{
    m_bLButtonDown = FALSE;
    if (!m_bEnable)
        return;
    ReleaseCapture();
    m_bDragging = FALSE;
    Invalidate();
    if (CWnd* parent = GetParent())
        parent->PostMessage(WM_BITMAPSLIDER_RELEASED, static_cast<WPARAM>(GetDlgCtrlID()), m_nPos);
    Default();
}

// Every key comes here, so the dialog does not move the focus on arrows; Tab still leaves.
UINT CBitmapSlider::OnGetDlgCode()
{
    if (GetKeyState(VK_TAB) >= 0)
        return DLGC_WANTALLKEYS;
    return CStatic::OnGetDlgCode();
}

void CBitmapSlider::OnKeyDown(UINT, UINT, UINT) {}

void CBitmapSlider::OnSetFocus(CWnd* old)
{
    CStatic::OnSetFocus(old);
    m_bHasFocus = TRUE;
    Invalidate();
}

void CBitmapSlider::OnKillFocus(CWnd* next)
{
    CStatic::OnKillFocus(next);
    m_bHasFocus = FALSE;
    Invalidate();
}

void CBitmapSlider::OnDestroy()
{
    CStatic::OnDestroy();
    DeleteBitmaps();
}
