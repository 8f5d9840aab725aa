#include "controls/KrSkinButton.h"

#include "controls/ToolTipRelay.h"

#include <algorithm>
#include <string>
#include <unordered_set>

CKrSkinButton::CKrSkinButton() : m_crText(GetSysColor(COLOR_BTNTEXT)) {}

CKrSkinButton::~CKrSkinButton() = default;

BOOL CKrSkinButton::SetBitmaps(UINT stripId, short drawMode, BOOL edge, short inset, BOOL masked)
{
    m_bmpStrip.DeleteObject();
    const BOOL loaded = m_bmpStrip.LoadBitmap(stripId);
    m_nDrawMode = std::clamp<short>(drawMode, 0, 2);
    m_bEdge = edge;
    m_nInset = std::max<short>(inset, 0);
    m_bMasked = masked;
    BITMAP bm{};
    if (loaded && m_bmpStrip.GetBitmap(&bm))
        m_sizeFrame = CSize(bm.bmWidth / (masked ? 5 : 4), bm.bmHeight);
    else
        m_sizeFrame = CSize(0, 0);  // nothing to paint rather than a size from nowhere
    return loaded;
}

void CKrSkinButton::PreSubclassWindow()
{
    // The template's kind decides the behaviour once; afterwards the style says owner-drawn.
    const DWORD style = GetStyle();
    if ((style & 3) == 3)
        m_nKind = kCheckBox;
    else if ((style & 9) == 9)
        m_nKind = kRadioButton;
    else
        m_nKind = kPushButton;
    CButton::PreSubclassWindow();
    ModifyStyle(BS_TYPEMASK, BS_OWNERDRAW);
}

BOOL CKrSkinButton::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    switch (message) {
    case BM_GETCHECK: *result = OnGetCheck(wParam, lParam); return TRUE;
    case BM_SETCHECK: *result = OnSetCheck(wParam, lParam); return TRUE;
    case WM_KRSKIN_UNCHECK: *result = OnUncheck(wParam, lParam); return TRUE;
    default: return CButton::OnWndMsg(message, wParam, lParam, result);
    }
}

LRESULT CKrSkinButton::OnGetCheck(WPARAM, LPARAM) { return m_bChecked ? 1 : 0; }

LRESULT CKrSkinButton::OnSetCheck(WPARAM wParam, LPARAM)
{
    m_bChecked = wParam != 0 && m_nKind != kPushButton;
    CWnd* parent = m_hWnd ? GetParent() : nullptr;
    if (m_nKind == kRadioButton && m_bChecked && parent) {
        // The group walk skips hidden and disabled members; when this button is one of them the
        // walk never comes back to it, so it also ends at the first member met twice.
        std::unordered_set<HWND> met;
        for (HWND h = ::GetNextDlgGroupItem(parent->m_hWnd, m_hWnd, FALSE);
             h && h != m_hWnd && met.insert(h).second; h = ::GetNextDlgGroupItem(parent->m_hWnd, h, FALSE))
            ::PostMessage(h, WM_KRSKIN_UNCHECK, 0, 0);
    }
    Invalidate(TRUE);
    return 0;
}

LRESULT CKrSkinButton::OnUncheck(WPARAM, LPARAM)
{
    if (m_bChecked) {
        m_bChecked = FALSE;
        Invalidate(TRUE);
    }
    return 0;
}

bool CKrSkinButton::IsUnderPoint(CPoint client) const
{
    POINT screen = client;
    ClientToScreen(&screen);
    return ::WindowFromPoint(screen) == m_hWnd;
}

void CKrSkinButton::OnLButtonDown(UINT flags, CPoint point)
{
    RelayToolTip(m_ToolTip, m_hWnd, WM_LBUTTONDOWN, flags, point);
    if (m_bHover) {
        TRACKMOUSEEVENT tme{sizeof tme, TME_CANCEL | TME_LEAVE, m_hWnd, 0};
        if (::TrackMouseEvent(&tme))
            m_bHover = FALSE;
    }
    Default();
    m_bPressed = TRUE;
}

void CKrSkinButton::OnLButtonUp(UINT flags, CPoint point)
{
    // Only a press that began here ends here: a release arriving without the capture (the
    // press began elsewhere) changes no check, as the button sends no click for it either.
    if (m_nKind != kPushButton && GetCapture() == this && IsUnderPoint(point))
        SendMessage(BM_SETCHECK, m_nKind == kCheckBox ? !m_bChecked : 1);
    RelayToolTip(m_ToolTip, m_hWnd, WM_LBUTTONUP, flags, point);
    m_bPressed = FALSE;
    Default();
}

void CKrSkinButton::OnKeyDown(UINT vkey, UINT repeat, UINT flags)
{
    // Held keys repeat their key-down; one press of the space bar is one toggle.
    const bool repeated = (flags & 0x4000) != 0;
    if (vkey == VK_SPACE && m_nKind != kPushButton && !repeated)
        SendMessage(BM_SETCHECK, m_nKind == kCheckBox ? !m_bChecked : 1);
    Default();
}

void CKrSkinButton::OnLButtonDblClk(UINT, CPoint) { Default(); }

void CKrSkinButton::OnKillFocus(CWnd*)
{
    if (GetCapture() == this) {
        ::ReleaseCapture();
        m_bPressed = FALSE;
    }
    Default();
}

void CKrSkinButton::OnMouseMove(UINT flags, CPoint point)
{
    RelayToolTip(m_ToolTip, m_hWnd, WM_MOUSEMOVE, flags, point);
    if (m_bPressed && GetCapture() == this) {
        const bool over = IsUnderPoint(point);
        const bool pushed = (SendMessage(BM_GETSTATE) & BST_PUSHED) != 0;
        if (pushed != over) {
            SendMessage(BM_SETSTATE, over);
            Invalidate(TRUE);
        }
    } else if (!m_bHover) {
        TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, m_hWnd, 0};
        if (::TrackMouseEvent(&tme)) {
            m_bHover = TRUE;
            Invalidate(TRUE);
        }
    }
    Default();
}

void CKrSkinButton::OnMouseLeave()
{
    m_bHover = FALSE;
    Invalidate(TRUE);
}

BOOL CKrSkinButton::OnEraseBkgnd(CDC*) { return TRUE; }

void CKrSkinButton::DrawFrame(int index, CDC* dc, const CRect& rect, short drawMode)
{
    const int fw = m_sizeFrame.cx, fh = m_sizeFrame.cy;
    if (fw <= 0 || fh <= 0)
        return;
    const int x = rect.left, y = rect.top;
    auto copy = [drawMode, fw, fh](CDC* to, int tx, int ty, CDC* from, int sx, DWORD rop) {
        if (drawMode != 0)
            to->StretchBlt(tx, ty, fw, fh, from, sx, 0, fw, fh, rop);
        else
            to->BitBlt(tx, ty, fw, fh, from, sx, 0, rop);
    };

    CDC strip;
    strip.CreateCompatibleDC(dc);
    CBitmap* oldStrip = strip.SelectObject(&m_bmpStrip);
    if (!m_bMasked) {
        copy(dc, x, y, &strip, index * fw, SRCCOPY);
    } else {
        // Composed off screen over a copy of what is behind, so the frame never flickers.
        CDC work;
        work.CreateCompatibleDC(dc);
        CBitmap picture;
        picture.CreateCompatibleBitmap(dc, fw, fh);
        CBitmap* oldPicture = work.SelectObject(&picture);
        if (drawMode != 0)
            work.StretchBlt(0, 0, fw, fh, dc, x, y, fw, fh, SRCCOPY);
        else
            work.BitBlt(0, 0, fw, fh, dc, x, y, SRCCOPY);
        copy(&work, 0, 0, &strip, index * fw, SRCINVERT);
        copy(&work, 0, 0, &strip, 4 * fw, SRCAND);
        copy(&work, 0, 0, &strip, index * fw, SRCINVERT);
        if (drawMode != 0)
            dc->StretchBlt(x, y, fw, fh, &work, 0, 0, fw, fh, SRCCOPY);
        else
            dc->BitBlt(x, y, fw, fh, &work, 0, 0, SRCCOPY);
        work.SelectObject(oldPicture);
        picture.DeleteObject();
        work.DeleteDC();
    }
    strip.SelectObject(oldStrip);
    strip.DeleteDC();
}

void CKrSkinButton::DrawItem(LPDRAWITEMSTRUCT dis)
{
    if (!dis)
        return;
    CDC* dc = CDC::FromHandle(dis->hDC);

    // A press that left the button while no move arrived: bring the pushed look in line first;
    // the change draws the button afresh.
    if (m_bPressed && GetCapture() == this) {
        POINT cursor;
        if (::GetCursorPos(&cursor)) {
            const bool over = ::WindowFromPoint(cursor) == m_hWnd;
            const bool pushed = (SendMessage(BM_GETSTATE) & BST_PUSHED) != 0;
            if (!over && pushed) {
                SendMessage(BM_SETSTATE, FALSE);
                return;
            }
            if (over && !pushed) {
                SendMessage(BM_SETSTATE, TRUE);
                return;
            }
        }
    }

    CRect item(dis->rcItem);
    std::string text;
    GetWindowText(text);
    CRect textRect = item;
    textRect.left += m_nInset + 2;
    textRect.right -= m_nInset + 2;
    dc->SetBkMode(TRANSPARENT);
    constexpr UINT kFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE;

    if (dis->itemState & ODS_DISABLED) {
        DrawFrame(3, dc, item, m_nDrawMode);
        if (m_bEdge) {
            CRect edge = item;
            dc->DrawEdge(&edge, EDGE_RAISED, BF_RECT);
        }
        dc->SetTextColor(GetSysColor(COLOR_3DHILIGHT));
        dc->DrawText(text, &textRect, kFormat);
        textRect.OffsetRect(-1, -1);
        dc->SetTextColor(GetSysColor(COLOR_GRAYTEXT));
        dc->DrawText(text, &textRect, kFormat);
        return;
    }

    if (!(dis->itemState & ODS_SELECTED) && !m_bChecked) {
        DrawFrame(m_bHover ? 1 : 0, dc, item, m_nDrawMode);
        if (m_bEdge) {
            CRect edge = item;
            dc->DrawEdge(&edge, EDGE_RAISED, BF_RECT);
        }
    } else {
        DrawFrame(2, dc, item, m_nDrawMode);
        textRect.OffsetRect(2, 1);
        if (m_bEdge) {
            CRect edge = item;
            dc->DrawEdge(&edge, EDGE_SUNKEN, BF_RECT);
        }
    }

    if ((dis->itemState & ODS_FOCUS) && m_nInset > 0) {
        CRect focus = item;
        focus.DeflateRect(m_nInset, m_nInset);
        dc->DrawFocusRect(&focus);
    }

    dc->SetTextColor(m_crText);
    dc->DrawText(text, &textRect, kFormat);
}
