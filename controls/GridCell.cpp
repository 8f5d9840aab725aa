#include "controls/GridCell.h"

#include <cstring>
#include <map>
#include <string>

#include "controls/GridCtrl.h"
#include "controls/GridDefaultCell.h"

namespace {

// Fonts of cells with a font of their own, one per distinct LOGFONT, kept for the process: a
// font handed out stays valid while any DC still has it selected.
CFont* CachedFont(const LOGFONT& lf)
{
    static std::map<std::string, std::unique_ptr<CFont>> cache;
    LOGFONT key{};
    std::memcpy(&key, &lf, offsetof(LOGFONT, lfFaceName));
    std::strncpy(key.lfFaceName, lf.lfFaceName, LF_FACESIZE - 1);
    std::string bytes(reinterpret_cast<const char*>(&key), sizeof key);
    auto it = cache.find(bytes);
    if (it == cache.end()) {
        auto font = std::make_unique<CFont>();
        if (!font->CreateFontIndirect(&key))
            return nullptr;
        it = cache.emplace(std::move(bytes), std::move(font)).first;
    }
    return it->second.get();
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
    m_nMargin = 0xFFFFFFFF;
    m_bEditing = FALSE;
    m_hEditWnd = nullptr;
}

void CGridCell::SetFont(const LOGFONT* font)
{
    if (!font) {
        m_plfFont.reset();
        return;
    }
    if (!m_plfFont)
        m_plfFont = std::make_unique<LOGFONT>();
    *m_plfFont = *font;
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
        return def ? def->GetFontObject() : nullptr;
    }
    return CachedFont(*m_plfFont);
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
