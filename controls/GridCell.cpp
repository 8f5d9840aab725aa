#include "controls/GridCell.h"

#include <cstddef>
#include <cstring>
#include <string>

#include "controls/GridCtrl.h"
#include "controls/GridDefaultCell.h"

namespace {

bool SameFont(const LOGFONT& a, const LOGFONT& b)
{
    return std::memcmp(&a, &b, offsetof(LOGFONT, lfFaceName)) == 0 &&
           std::strncmp(a.lfFaceName, b.lfFaceName, LF_FACESIZE) == 0;
}

}  // namespace

CGridCell::CGridCell()
{
    CGridCell::Reset();
}

CGridCell::~CGridCell() = default;

void CGridCell::Reset()
{
    CGridCellBase::Reset();
    m_strText.clear();
    m_lParam = 0;
    m_nImage = -1;
    m_nFormat = 0xFFFFFFFF;
    m_crFgClr = CLR_DEFAULT;
    m_crBkClr = CLR_DEFAULT;
    m_plfFont.reset();
    m_pFontObject.reset();
    m_nMargin = 0xFFFFFFFF;
    m_bEditing = FALSE;
    m_hEditWnd = nullptr;
}

void CGridCell::SetFont(const LOGFONT* font)
{
    if (font && m_plfFont && SameFont(*font, *m_plfFont))
        return;  // the font made for it stays
    m_pFontObject.reset();
    if (!font) {
        m_plfFont.reset();
        return;
    }
    if (!m_plfFont)
        m_plfFont = std::make_unique<LOGFONT>();
    *m_plfFont = *font;
    m_plfFont->lfFaceName[LF_FACESIZE - 1] = '\0';
}

DWORD CGridCell::GetFormat() const
{
    if (m_nFormat != 0xFFFFFFFF)
        return m_nFormat;
    const CGridDefaultCell* def = GetDefaultCell();
    // A default cell whose own value is "default" would ask itself for ever.
    if (!def || def == this)
        return 0;
    return def->GetFormat();
}

UINT CGridCell::GetMargin() const
{
    if (m_nMargin != 0xFFFFFFFF)
        return m_nMargin;
    const CGridDefaultCell* def = GetDefaultCell();
    if (!def || def == this)
        return 0;
    return def->GetMargin();
}

const LOGFONT* CGridCell::GetFont() const
{
    if (m_plfFont)
        return m_plfFont.get();
    const CGridDefaultCell* def = GetDefaultCell();
    return def ? def->GetFont() : nullptr;
}

CFont* CGridCell::GetFontObject() const
{
    if (!m_plfFont) {
        const CGridDefaultCell* def = GetDefaultCell();
        return def && def != this ? def->GetFontObject() : nullptr;
    }
    // Made on first use and kept until the cell's font changes or the cell goes, so the fonts
    // live exactly as long as the cells that use them.
    if (!m_pFontObject) {
        auto font = std::make_unique<CFont>();
        if (!font->CreateFontIndirect(m_plfFont.get()))
            return nullptr;
        m_pFontObject = std::move(font);
    }
    return m_pFontObject.get();
}

CWnd* CGridCell::GetEditWnd() const
{
    return m_hEditWnd && ::IsWindow(m_hEditWnd) ? CWnd::FromHandlePermanent(m_hEditWnd) : nullptr;
}

void CGridCell::OnEndEdit()
{
    m_bEditing = FALSE;
    m_hEditWnd = nullptr;
}
