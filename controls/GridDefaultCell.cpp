#include "controls/GridDefaultCell.h"

#include <cstring>

CGridDefaultCell::CGridDefaultCell()
{
    m_nFormat = DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS;
    m_crFgClr = CLR_DEFAULT;
    m_crBkClr = CLR_DEFAULT;
    m_Size = CSize(30, 10);
    m_dwStyle = 0;

    NONCLIENTMETRICS ncm{};
    ncm.cbSize = sizeof(NONCLIENTMETRICS);
    if (!::SystemParametersInfo(SPI_GETNONCLIENTMETRICS, sizeof(NONCLIENTMETRICS), &ncm, 0)) {
        // A metrics failure must not leave the font undefined.
        ncm.lfMessageFont = LOGFONT{};
        ncm.lfMessageFont.lfHeight = -12;
        ncm.lfMessageFont.lfWeight = FW_NORMAL;
        ncm.lfMessageFont.lfCharSet = DEFAULT_CHARSET;
        std::strcpy(ncm.lfMessageFont.lfFaceName, "Sans");
    }
    SetFont(&ncm.lfMessageFont);
}

void CGridDefaultCell::SetFont(const LOGFONT* font)
{
    if (!font)
        return;
    CGridCell::SetFont(font);

    HDC screen = ::GetDC(nullptr);
    if (!screen) {
        SetMargin(3);
        m_Size = CSize(40, 16);
        return;
    }
    CDC* dc = CDC::FromHandle(screen);
    CFont* old = GetFontObject() ? dc->SelectObject(GetFontObject()) : nullptr;
    SetMargin(static_cast<UINT>(dc->GetTextExtent(" ", 1).cx));
    m_Size = dc->GetTextExtent(" XXXXXXXXXXXX ", 14);
    m_Size.cy = m_Size.cy * 3 / 2;
    if (old)
        dc->SelectObject(old);
    ::ReleaseDC(nullptr, screen);
}
