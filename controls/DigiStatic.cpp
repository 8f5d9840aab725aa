#include "controls/DigiStatic.h"

#include "controls/MemDC.h"

namespace {

constexpr BYTE kMasks7[12] = {0x00, 0x77, 0x24, 0x5D, 0x6D, 0x2E, 0x6B, 0x7B, 0x25, 0x7F, 0x6F, 0x08};

constexpr WORD kMasks14[45] = {
    0x0000, 0x3F00, 0x1800, 0x36C0, 0x3CC0, 0x19C0, 0x2DC0, 0x2FC0, 0x3800, 0x3FC0, 0x3DC0, 0x00C0,  // space 0-9 -
    0x3BC0, 0x3CA1, 0x2700, 0x3C21, 0x27C0, 0x23C0, 0x2F80, 0x1BC0, 0x2421, 0x1E00, 0x0354, 0x0700,  // A-L
    0x1B06, 0x1B12, 0x3F00, 0x33C0, 0x3F10, 0x33D0, 0x2DC0, 0x2021, 0x1F00, 0x030C, 0x1B18, 0x001E,  // M-X
    0x11E0, 0x240C,                                                                                  // Y Z
    0x00FF, 0x00E1, 0x0014, 0x000A, 0x0012, 0x000C, 0x0001,                                          // * + ( ) \ / '
};

constexpr int kDesignHeight = 83;

COLORREF Blend(COLORREF fill, COLORREF face)
{
    auto mix = [](int a, int b) { return static_cast<BYTE>(0.75 * a + 0.25 * b); };
    return RGB(mix(GetRValue(fill), GetRValue(face)), mix(GetGValue(fill), GetGValue(face)),
               mix(GetBValue(fill), GetBValue(face)));
}

}  // namespace

CDigiStatic::CDigiStatic()
    : m_strText("?"),
      m_Modified(TRUE),
      m_OffColor(RGB(0, 52, 0)),
      m_OnColor(RGB(0, 255, 0)),
      m_BackColor(RGB(0, 0, 0)),
      m_DispStyle(DigiStyleProportional | DigiStyleSoftOff),
      m_bImmediateUpdate(FALSE),
      m_bTransparent(FALSE)
{
}

void CDigiStatic::SetText(const std::string& text)
{
    if (text == m_strText)
        return;
    m_strText = text;
    m_Modified = TRUE;
    Redraw();
}

BOOL CDigiStatic::ModifyDigiStyle(DWORD remove, DWORD add)
{
    if (remove & add)
        return FALSE;
    m_DispStyle = (m_DispStyle | add) & ~remove;
    m_Modified = TRUE;
    Redraw();
    return TRUE;
}

void CDigiStatic::SetColor(COLORREF off_color, COLORREF on_color)
{
    if (m_OffColor == off_color && m_OnColor == on_color)
        return;
    m_OffColor = off_color;
    m_OnColor = on_color;
    Redraw();
}

BOOL CDigiStatic::SetTransparent(BOOL transparent)
{
    m_bTransparent = transparent;
    if (!::IsWindow(m_hWnd))
        return FALSE;
    return transparent ? ModifyStyleEx(0, WS_EX_TRANSPARENT) : ModifyStyleEx(WS_EX_TRANSPARENT, 0);
}

void CDigiStatic::Redraw()
{
    if (!::IsWindow(m_hWnd))
        return;
    if (m_bTransparent)
        SetWindowRgn(nullptr, TRUE);
    if (m_bImmediateUpdate)
        RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_NOERASE | RDW_UPDATENOW);
    else
        Invalidate(TRUE);
}

bool CDigiStatic::CreateDigiChar(char c, DWORD style, CDigiChar* out)
{
    int index = -1;
    if (c == ' ')
        index = 0;
    else if (c >= '0' && c <= '9')
        index = 1 + (c - '0');
    else if (c == '-')
        index = 11;
    if (index >= 0) {
        if (style & DigiStyle14Segment) {
            CDigi14Segment ch;
            ch.SetElementData(kMasks14[index], static_cast<int>(style));
            *out = ch;
        } else {
            CDigi7Segment ch;
            ch.SetElementData(kMasks7[index], static_cast<int>(style));
            *out = ch;
        }
        return true;
    }
    static const char kSigns[] = "*+()\\/'";
    if (c >= 'A' && c <= 'Z') {
        index = 12 + (c - 'A');
    } else {
        for (int i = 0; kSigns[i]; ++i)
            if (c == kSigns[i])
                index = 38 + i;
    }
    if (index >= 0) {
        CDigi14Segment ch;
        ch.SetElementData(kMasks14[index], static_cast<int>(style));
        *out = ch;
        return true;
    }
    if (c == '.' || c == ':') {
        CDigiColonDotChar ch;
        ch.SetElementData(c == '.' ? 0x04 : 0x03, static_cast<int>(style));
        *out = ch;
        return true;
    }
    return false;
}

void CDigiStatic::BuildCharacters()
{
    if (!m_Modified)
        return;
    m_CharArray.clear();
    if (m_strText == "?")
        GetWindowText(m_strText);
    for (char& c : m_strText)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    for (char c : m_strText) {
        CDigiChar ch;
        if (CreateDigiChar(c, m_DispStyle, &ch))
            m_CharArray.push_back(ch);
    }
    m_Modified = FALSE;
}

BOOL CDigiStatic::OnEraseBkgnd(CDC*) { return FALSE; }

void CDigiStatic::OnPaint()
{
    CPaintDC dc(this);
    CRect client;
    GetClientRect(&client);
    dc.SetBkColor(m_BackColor);
    CMemDC mem(&dc, &client, m_bTransparent);

    CBrush off_brush(m_OffColor), on_brush(m_OnColor);
    const bool soft = m_DispStyle & DigiStyleSoftOff;
    CPen off_pen(PS_SOLID, 1, soft ? Blend(m_OffColor, m_BackColor) : m_OffColor);
    CPen on_pen(PS_SOLID, 1, soft ? Blend(m_OnColor, m_BackColor) : m_OnColor);
    CPen* old_pen = mem.SelectObject(&off_pen);
    CBrush* old_brush = mem.SelectObject(&off_brush);

    BuildCharacters();
    int total = 0;
    for (const CDigiChar& ch : m_CharArray)
        total += ch.GetWidth();

    CRgn region;
    if (total > 0) {
        double sx = static_cast<double>(client.Width()) / total, sy = client.Height() / static_cast<double>(kDesignHeight);
        double x = 0, y = 0;
        if (m_DispStyle & DigiStyleProportional) {
            const double s = sx < sy ? sx : sy;
            sx = sy = s;
            x = (client.Width() - total * s) / 2;
            y = (client.Height() - kDesignHeight * s) / 2;
        }
        for (const CDigiChar& ch : m_CharArray) {
            const double w = ch.GetWidth() * sx;
            ch.Draw(&mem, {x, y, x + w, y + kDesignHeight * sy}, &off_brush, &on_brush, &off_pen, &on_pen,
                    m_bTransparent ? &region : nullptr);
            x += w;
        }
    }

    if (m_bTransparent) {
        if (!region.m_hObject)
            region.CreateRectRgn(0, 0, 0, 0);
        // The shape only changes with the text, style or size; setting it again would invalidate
        // the control from inside its own paint and paint it again forever.
        CRgn current;
        current.CreateRectRgn(0, 0, 0, 0);
        const bool same = ::GetWindowRgn(m_hWnd, current) != ERROR && current.EqualRgn(&region);
        if (!same)
            SetWindowRgn(static_cast<HRGN>(region.Detach()), TRUE);
    }

    mem.SelectObject(old_pen);
    mem.SelectObject(old_brush);
}
