// The tip window holds the mouse capture while it is shown, so every mouse message comes to it
// first; it forwards them to whatever window lies under the pointer.

#include "controls/TitleTip.h"

#include <algorithm>

#include "platform/win/afxexcept.h"

namespace {

constexpr const char* kTitleTipClass = "ZTitleTip";

LPARAM PointLParam(int x, int y) { return static_cast<LPARAM>(MAKELONG(static_cast<WORD>(x), static_cast<WORD>(y))); }

}  // namespace

CTitleTip::CTitleTip() : m_dwDblClickMsecs(GetDoubleClickTime())
{
    WNDCLASS wc{};
    if (!GetClassInfo(nullptr, kTitleTipClass, &wc)) {
        wc = WNDCLASS{};
        wc.style = CS_SAVEBITS;
        wc.lpfnWndProc = ::DefWindowProc;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_INFOBK + 1));
        wc.lpszClassName = kTitleTipClass;
        if (!AfxRegisterClass(&wc))
            AfxThrowResourceException();
    }
}

CTitleTip::~CTitleTip()
{
    if (::IsWindow(m_hWnd))
        DestroyWindow();
}

BOOL CTitleTip::Create(CWnd* parent)
{
    if (m_bCreated && ::IsWindow(m_hWnd))
        return TRUE;
    m_pParentWnd = parent;
    m_bCreated = CreateEx(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kTitleTipClass, "", WS_POPUP | WS_BORDER, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr);
    return m_bCreated;
}

BOOL CTitleTip::DestroyWindow()
{
    m_bCreated = FALSE;
    return CWnd::DestroyWindow();
}

void CTitleTip::Show(CRect titleRect, LPCSTR text, int xOffset, LPRECT hoverRect, const LOGFONT* font,
                     COLORREF textColour, COLORREF backColour)
{
    if (!::IsWindow(m_hWnd) && !Create(m_pParentWnd))
        return;
    if (titleRect.IsRectEmpty() || IsWindowVisible() || !m_pParentWnd)
        return;
    if (!::GetFocus())
        return;

    CRect hover = hoverRect ? CRect(*hoverRect) : titleRect;
    hover.right += 1;
    hover.bottom += 1;
    m_pParentWnd->ClientToScreen(&hover);
    m_pParentWnd->ClientToScreen(&titleRect);

    m_strShown = std::string(" ") + (text ? text : "") + " ";
    m_bOwnFont = font != nullptr;
    if (font)
        m_lfFont = *font;
    m_crText = textColour;
    m_crBack = backColour;

    CClientDC dc(this);
    CFont own;
    CFont* old = nullptr;
    if (m_bOwnFont && own.CreateFontIndirect(&m_lfFont))
        old = dc.SelectObject(&own);
    else if (HFONT f = m_pParentWnd->GetFont())
        old = dc.SelectObject(CFont::FromHandle(f));
    const CSize size = dc.GetTextExtent(m_strShown);

    CRect display = titleRect;
    display.left += xOffset;
    display.right = display.left + size.cx + xOffset;
    if (display.right > titleRect.right - xOffset) {
        // A very long text would ask for a pop-up wider than the screen; the rest is cut off.
        const int screen = GetSystemMetrics(SM_CXSCREEN);
        if (screen > 0 && display.Width() > screen)
            display.right = display.left + screen;
        SetWindowPos(&wndTop, display.left, display.top, display.Width(), display.Height(),
                     SWP_SHOWWINDOW | SWP_NOACTIVATE);
        // Hover rectangle relative to where the tip now is.
        ScreenToClient(&hover);
        m_rectHover = hover;
        DrawTip(&dc);
        SetCapture();
    }
    if (old)
        dc.SelectObject(old);
}

void CTitleTip::DrawTip(CDC* dc)
{
    CFont own;
    CFont* old = nullptr;
    if (m_bOwnFont && own.CreateFontIndirect(&m_lfFont))
        old = dc->SelectObject(&own);
    else if (m_pParentWnd && m_pParentWnd->GetFont())
        old = dc->SelectObject(CFont::FromHandle(m_pParentWnd->GetFont()));
    if (m_crBack != CLR_DEFAULT) {
        CBrush brush(m_crBack);
        CBrush* oldBrush = dc->SelectObject(&brush);
        CRect clip;
        dc->GetClipBox(&clip);
        dc->PatBlt(clip.left, clip.top, clip.Width(), clip.Height(), PATCOPY);
        dc->SelectObject(oldBrush);
    }
    if (m_crText != CLR_DEFAULT)
        dc->SetTextColor(m_crText);
    dc->SetBkMode(TRANSPARENT);
    dc->TextOut(0, 0, m_strShown);
    if (old)
        dc->SelectObject(old);
}

void CTitleTip::OnPaint()
{
    CPaintDC dc(this);
    DrawTip(&dc);
}

void CTitleTip::Hide()
{
    if (!::IsWindow(m_hWnd))
        return;
    if (GetCapture() == this)
        ReleaseCapture();
    ShowWindow(SW_HIDE);
}

void CTitleTip::OnMouseMove(UINT flags, CPoint point)
{
    if (m_rectHover.PtInRect(point))
        return;
    Hide();
    ClientToScreen(&point);
    CWnd* wnd = WindowFromPoint(point);
    if (!wnd)
        return;  // nothing of ours below: the tip just goes
    if (wnd == this)
        wnd = m_pParentWnd;
    if (!wnd)
        return;
    const LRESULT hit = wnd->SendMessage(WM_NCHITTEST, 0, PointLParam(point.x, point.y));
    if (hit == HTCLIENT) {
        wnd->ScreenToClient(&point);
        wnd->PostMessage(WM_MOUSEMOVE, flags, PointLParam(point.x, point.y));
    } else {
        wnd->PostMessage(WM_NCMOUSEMOVE, static_cast<WPARAM>(hit), PointLParam(point.x, point.y));
    }
}

BOOL CTitleTip::PreTranslateMessage(MSG* msg)
{
    switch (msg->message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
        if (msg->hwnd != m_hWnd)
            break;
        bool dblclk = false;
        if (msg->message == WM_LBUTTONDOWN) {
            dblclk = m_bHavePress && msg->time - m_dwLastLButtonDown <= m_dwDblClickMsecs;
            m_dwLastLButtonDown = msg->time;
            m_bHavePress = true;
        }
        CPoint point(GET_X_LPARAM(msg->lParam), GET_Y_LPARAM(msg->lParam));
        ClientToScreen(&point);
        Hide();
        CWnd* wnd = WindowFromPoint(point);
        if (!wnd)
            return CWnd::PreTranslateMessage(msg);
        if (wnd == this)
            wnd = m_pParentWnd;
        if (!wnd)
            return CWnd::PreTranslateMessage(msg);
        const LRESULT hit = wnd->SendMessage(WM_NCHITTEST, 0, PointLParam(point.x, point.y));
        UINT message = msg->message;
        WPARAM wParam = msg->wParam;
        LPARAM lParam;
        if (hit == HTCLIENT) {
            wnd->ScreenToClient(&point);
            lParam = PointLParam(point.x, point.y);
            if (dblclk)
                message = WM_LBUTTONDBLCLK;
        } else {
            // A non-client hit keeps its screen point and hit code, double click or not.
            switch (message) {
            case WM_LBUTTONDOWN: message = dblclk ? WM_NCLBUTTONDBLCLK : WM_NCLBUTTONDOWN; break;
            case WM_RBUTTONDOWN: message = WM_NCRBUTTONDOWN; break;
            default: message = WM_NCMBUTTONDOWN; break;
            }
            wParam = static_cast<WPARAM>(hit);
            lParam = PointLParam(point.x, point.y);
        }
        wnd->PostMessage(message, wParam, lParam);
        return TRUE;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        Hide();
        if (m_pParentWnd)
            m_pParentWnd->PostMessage(msg->message, msg->wParam, msg->lParam);
        return TRUE;
    default:
        break;
    }
    if (msg->hwnd == m_hWnd && !::GetFocus()) {
        Hide();
        return TRUE;
    }
    return CWnd::PreTranslateMessage(msg);
}
