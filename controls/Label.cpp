#include "controls/Label.h"

#include <cstring>

#include "platform/win/shell.h"

namespace {

constexpr UINT_PTR kFlashTimer = 1;

bool StartsWithNoCase(const std::string& text, const char* prefix)
{
    size_t n = std::strlen(prefix);
    if (text.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

// The link text comes from editable language files; only a web address goes to the opener, so
// a label can never launch a local program or document.
bool IsWebAddress(const std::string& text)
{
    return StartsWithNoCase(text, "http://") || StartsWithNoCase(text, "https://");
}

}  // namespace

CLabel::CLabel()
    : m_crText(GetSysColor(COLOR_WINDOWTEXT)), m_hwndBrush(::CreateSolidBrush(GetSysColor(COLOR_3DFACE)))
{
}

CLabel::~CLabel()
{
    m_font.DeleteObject();
    ::DeleteObject(m_hwndBrush);
    if (m_hBackBrush)
        ::DeleteObject(m_hBackBrush);
}

BOOL CLabel::PreCreateWindow(CREATESTRUCT& cs) { return CStatic::PreCreateWindow(cs); }

void CLabel::PreSubclassWindow()
{
    CStatic::PreSubclassWindow();
    HFONT font = GetFont();
    if (!font)
        font = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
    ::GetObject(font, sizeof(m_lf), &m_lf);
    ReconstructFont();
}

void CLabel::ReconstructFont()
{
    m_font.DeleteObject();
    m_font.CreateFontIndirect(&m_lf);
}

void CLabel::UpdateSurface()
{
    if (!::IsWindow(m_hWnd))
        return;
    CRect rect;
    GetWindowRect(&rect);
    RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    if (CWnd* parent = GetParent()) {
        parent->ScreenToClient(&rect);
        parent->InvalidateRect(&rect, TRUE);
        parent->UpdateWindow();
    }
}

CLabel& CLabel::SetBkColor(COLORREF color, COLORREF gradient_color, BOOL gradient)
{
    m_crBkColor = color;
    m_crGradient = gradient_color;
    m_bGradient = gradient;
    if (m_hBackBrush)
        ::DeleteObject(m_hBackBrush);
    m_hBackBrush = gradient ? nullptr : ::CreateSolidBrush(color);
    UpdateSurface();
    return *this;
}

CLabel& CLabel::SetTextColor(COLORREF color)
{
    m_crText = color;
    UpdateSurface();
    return *this;
}

CLabel& CLabel::SetText(const std::string& text)
{
    if (::IsWindow(m_hWnd)) {
        SetWindowText(text.c_str());
        UpdateSurface();
    }
    return *this;
}

CLabel& CLabel::SetFontBold(BOOL bold)
{
    m_lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    ReconstructFont();
    UpdateSurface();
    return *this;
}

CLabel& CLabel::SetFontName(const std::string& face, BYTE charset)
{
    m_lf.lfCharSet = charset;
    // The face field is fixed-size: keep what fits, cut at a character boundary.
    size_t n = face.size() < LF_FACESIZE - 1 ? face.size() : LF_FACESIZE - 1;
    while (n > 0 && n < face.size() && (static_cast<unsigned char>(face[n]) & 0xC0) == 0x80)
        --n;
    std::memcpy(m_lf.lfFaceName, face.data(), n);
    m_lf.lfFaceName[n] = '\0';
    ReconstructFont();
    UpdateSurface();
    return *this;
}

CLabel& CLabel::SetFontUnderline(BOOL underline)
{
    m_lf.lfUnderline = static_cast<BYTE>(underline);
    ReconstructFont();
    UpdateSurface();
    return *this;
}

CLabel& CLabel::SetFontItalic(BOOL italic)
{
    m_lf.lfItalic = static_cast<BYTE>(italic);
    ReconstructFont();
    UpdateSurface();
    return *this;
}

CLabel& CLabel::SetFontSize(int points)
{
    CFont probe;
    probe.CreatePointFont(points * 10, m_lf.lfFaceName);
    LOGFONT lf{};
    if (probe.GetLogFont(&lf)) {
        m_lf.lfHeight = lf.lfHeight;
        m_lf.lfWidth = lf.lfWidth;
    }
    ReconstructFont();
    UpdateSurface();
    return *this;
}

CLabel& CLabel::SetSunken(BOOL sunken)
{
    if (::IsWindow(m_hWnd))
        ModifyStyleEx(sunken ? 0 : WS_EX_STATICEDGE, sunken ? WS_EX_STATICEDGE : 0, SWP_FRAMECHANGED);
    return *this;
}

CLabel& CLabel::SetBorder(BOOL border)
{
    if (::IsWindow(m_hWnd))
        ModifyStyle(border ? 0 : WS_BORDER, border ? WS_BORDER : 0, SWP_FRAMECHANGED);
    return *this;
}

CLabel& CLabel::SetTransparent(BOOL transparent)
{
    m_bTransparent = transparent;
    // An opaque label covers its whole area itself. Left marked transparent, it would still be
    // composed over its parent: every repaint of it, each flash tick among them, would first
    // repaint the parent and the siblings beneath it, for pixels the label then paints over.
    if (::IsWindow(m_hWnd))
        ModifyStyleEx(transparent ? 0 : WS_EX_TRANSPARENT, transparent ? WS_EX_TRANSPARENT : 0);
    UpdateSurface();
    return *this;
}

void CLabel::StopFlashTimer()
{
    if (m_bTimer && ::IsWindow(m_hWnd))
        KillTimer(kFlashTimer);
}

CLabel& CLabel::FlashText(BOOL flash)
{
    StopFlashTimer();
    if (flash) {
        m_bState = FALSE;
        m_bTimer = TRUE;
        if (::IsWindow(m_hWnd))
            SetTimer(kFlashTimer, 500);
        m_Type = 1;
    } else {
        m_Type = 0;
    }
    // Shows the new phase at once, and brings back text stopped in its hidden phase.
    UpdateSurface();
    return *this;
}

CLabel& CLabel::FlashBackground(BOOL flash)
{
    StopFlashTimer();
    if (flash) {
        m_bState = FALSE;
        m_bTimer = TRUE;
        if (::IsWindow(m_hWnd))
            SetTimer(kFlashTimer, 500);
        m_Type = 2;
    }
    return *this;
}

CLabel& CLabel::SetLink(BOOL link, BOOL notify_parent)
{
    m_Link = link ? 1 : 0;
    m_bNotifyParent = notify_parent;
    if (::IsWindow(m_hWnd))
        ModifyStyle(link ? 0 : SS_NOTIFY, link ? SS_NOTIFY : 0);
    return *this;
}

CLabel& CLabel::SetMailLink(BOOL link, BOOL notify_parent)
{
    m_Link = link ? 2 : 0;
    m_bNotifyParent = notify_parent;
    if (::IsWindow(m_hWnd))
        ModifyStyle(link ? 0 : SS_NOTIFY, link ? SS_NOTIFY : 0);
    return *this;
}

CLabel& CLabel::SetLinkCursor(HCURSOR cursor)
{
    m_hCursor = cursor;
    return *this;
}

CLabel& CLabel::SetLinkURL(const std::string& url)
{
    m_sLink = url;
    return *this;
}

CLabel& CLabel::SetText3D(BOOL on, BOOL direction)
{
    m_bFont3d = on;
    m_3dType = direction;
    UpdateSurface();
    return *this;
}

CLabel& CLabel::SetText3DHiliteColor(COLORREF color)
{
    m_cr3DHiliteColor = color;
    UpdateSurface();
    return *this;
}

CLabel& CLabel::SetRotationAngle(UINT degrees, BOOL rotated)
{
    m_lf.lfEscapement = m_lf.lfOrientation = static_cast<LONG>(degrees * 10);
    m_bRotation = rotated;
    ReconstructFont();
    UpdateSurface();
    return *this;
}

CLabel& CLabel::SetFont(LOGFONT logfont)
{
    m_lf = logfont;
    m_lf.lfFaceName[LF_FACESIZE - 1] = '\0';
    ReconstructFont();
    UpdateSurface();
    return *this;
}

void CLabel::OnTimer(UINT_PTR id)
{
    m_bState = !m_bState;
    UpdateSurface();
    CStatic::OnTimer(id);
}

BOOL CLabel::OnSetCursor(CWnd* wnd, UINT hit, UINT message)
{
    if (m_hCursor) {
        ::SetCursor(m_hCursor);
        return TRUE;
    }
    return CStatic::OnSetCursor(wnd, hit, message);
}

void CLabel::OnSysColorChange()
{
    ::DeleteObject(m_hwndBrush);
    m_hwndBrush = ::CreateSolidBrush(GetSysColor(COLOR_3DFACE));
    UpdateSurface();
}

void CLabel::OnLButtonDown(UINT flags, CPoint point)
{
    if (m_bNotifyParent) {
        NMHDR nm{m_hWnd, static_cast<UINT_PTR>(GetDlgCtrlID()), NM_LABEL_CLICKED};
        if (CWnd* parent = GetParent())
            parent->SendMessage(WM_NOTIFY, nm.idFrom, reinterpret_cast<LPARAM>(&nm));
    } else if (m_Link == 1) {
        std::string target = m_sLink;
        if (target.empty())
            GetWindowText(target);
        if (IsWebAddress(target))
            ShellExecute(nullptr, "open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    } else if (m_Link == 2) {
        std::string text;
        GetWindowText(text);
        ShellExecute(nullptr, nullptr, ("mailto:" + text).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }
    CStatic::OnLButtonDown(flags, point);
}

BOOL CLabel::OnEraseBkgnd(CDC*) { return TRUE; }

UINT CLabel::TextFormat(DWORD style, const std::string& text)
{
    UINT format;
    switch (style & SS_TYPEMASK) {
    case SS_CENTER: format = DT_CENTER | DT_WORDBREAK; break;
    case SS_RIGHT: format = DT_RIGHT | DT_WORDBREAK; break;
    case SS_LEFTNOWORDWRAP: format = 0; break;
    default: format = DT_WORDBREAK; break;
    }
    if (text.find('\t') != std::string::npos)
        format |= DT_EXPANDTABS;
    if (style & SS_CENTERIMAGE) {
        format = DT_CENTER;
        if (text.find("\r\n") == std::string::npos)
            format |= DT_VCENTER | DT_SINGLELINE;
    }
    return format;
}

void CLabel::DrawGradientFill(CDC* dc, const CRect& rect, COLORREF left, COLORREF right, int steps)
{
    const int width = rect.Width();
    int n = steps < width ? steps : width;
    if (n <= 0)
        return;
    const int d = n > 1 ? n : 1;
    int r = GetRValue(left) * 256, g = GetGValue(left) * 256, b = GetBValue(left) * 256;
    const int step_r = ((GetRValue(right) - GetRValue(left)) * 256) / d;
    const int step_g = ((GetGValue(right) - GetGValue(left)) * 256) / d;
    const int step_b = ((GetBValue(right) - GetBValue(left)) * 256) / d;
    const int band = width / d;
    int x = rect.left;
    for (int i = 0; i < n; ++i) {
        const int band_right = i == n - 1 ? rect.right : x + band;
        // Each band covers exactly its own columns, down to the bottom row.
        RECT area{x, rect.top, band_right, rect.bottom};
        HBRUSH brush = ::CreateSolidBrush(RGB(static_cast<BYTE>(r / 256), static_cast<BYTE>(g / 256), static_cast<BYTE>(b / 256)));
        ::FillRect(dc->m_hDC, &area, brush);
        ::DeleteObject(brush);
        x = band_right;
        r += step_r;
        g += step_g;
        b += step_b;
    }
}

void CLabel::OnPaint()
{
    CPaintDC dc(this);
    CRect rc;
    GetClientRect(&rc);
    std::string text;
    GetWindowText(text);

    CDC mem;
    CBitmap bitmap;
    CBitmap* old_bitmap = nullptr;
    CDC* target = &dc;
    if (!m_bTransparent) {
        mem.CreateCompatibleDC(&dc);
        bitmap.CreateCompatibleBitmap(&dc, rc.Width(), rc.Height());
        old_bitmap = mem.SelectObject(&bitmap);
        target = &mem;
    }

    const int old_mode = target->SetBkMode(TRANSPARENT);
    const COLORREF old_color = target->SetTextColor(m_crText);
    HGDIOBJ old_font = m_font.m_hObject ? ::SelectObject(target->m_hDC, m_font.m_hObject) : nullptr;

    if (!m_bTransparent) {
        if (!m_bGradient)
            ::FillRect(target->m_hDC, &rc, m_hBackBrush ? m_hBackBrush : m_hwndBrush);
        else
            DrawGradientFill(target, rc, m_crBkColor, m_crGradient, 100);
    }

    if (m_Type == 1 && !m_bState) {
        LOGBRUSH lb{};
        if (m_hBackBrush)
            ::GetObject(m_hBackBrush, sizeof(lb), &lb);
        target->SetTextColor(m_hBackBrush ? lb.lbColor : RGB(0, 0, 0));
    }

    const UINT format = TextFormat(GetStyle(), text);
    if (m_bRotation) {
        const UINT old_align = target->SetTextAlign(TA_BASELINE);
        const CPoint old_origin = target->SetViewportOrg(rc.Width() / 2, rc.Height() / 2);
        target->TextOut(0, 0, text);
        target->SetViewportOrg(old_origin);
        target->SetTextAlign(old_align);
    } else {
        CRect area = rc;
        target->DrawText(text, &area, format);
        if (m_bFont3d) {
            target->SetTextColor(m_cr3DHiliteColor);
            area = rc;
            if (m_3dType)
                area.OffsetRect(1, 1);
            else
                area.OffsetRect(-1, -1);
            target->DrawText(text, &area, format);
        }
    }

    target->SetBkMode(old_mode);
    if (old_font)
        ::SelectObject(target->m_hDC, old_font);
    target->SetTextColor(old_color);

    if (!m_bTransparent) {
        dc.BitBlt(0, 0, rc.Width(), rc.Height(), &mem, 0, 0, SRCCOPY);
        mem.SelectObject(old_bitmap);
    }
}
