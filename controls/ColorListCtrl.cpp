#include "controls/ColorListCtrl.h"

namespace {

const ColorListRow kNoData{};

}  // namespace

COLORREF CColorListCtrl::CategoryColor(int category)
{
    switch (category) {
    case -1: return 0xAAAAAA;
    case 0: return 0x000000;
    case 1: return 0x923F9C;
    case 2: return 0xAC6133;
    case 3: return 0xDFC053;
    case 4: return 0x24BF82;
    case 5: return 0x2CF0F0;
    case 6: return 0x2CF0F0;
    case 7: return 0x1B80ED;
    case 8: return 0x191EE6;
    case 9: return 0x00EDFD;
    case 10: return 0x35C095;
    case 11: return 0x4A9700;
    case 12: return 0x9D9E00;
    default: return 0;
    }
}

COLORREF CColorListCtrl::IndexColor(int index)
{
    static const int kSystem[6] = {COLOR_WINDOW,      COLOR_WINDOWTEXT,      COLOR_ACTIVECAPTION,
                                   COLOR_HIGHLIGHTTEXT, COLOR_INACTIVECAPTION, COLOR_INACTIVECAPTIONTEXT};
    static const COLORREF kFixed[19] = {0x000000, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF,
                                        0xFFFFFF, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080,
                                        0x808080, 0xC0C0C0, 0xF0CAA6, 0xF0FBFF, 0xA4A0A0};
    if (index >= 0 && index < 6)
        return GetSysColor(kSystem[index]);
    if (index >= 6 && index <= 24)
        return kFixed[index - 6];
    return 0x008000;
}

void CColorListCtrl::PreSubclassWindow()
{
    ModifyStyle(0, LVS_REPORT | LVS_OWNERDRAWFIXED);
    CListCtrl::PreSubclassWindow();
}

int CColorListCtrl::ColumnsToDraw() const
{
    int count = 0;
    LVCOLUMN column{};
    column.mask = LVCF_WIDTH;
    while (GetColumn(count, &column))
        ++count;
    return m_nColumns > 0 && m_nColumns < count ? m_nColumns : count;
}

CRect CColorListCtrl::SubItemRect(int row, int column) const
{
    CRect rect;
    GetItemRect(row, &rect, LVIR_BOUNDS);
    LVCOLUMN col{};
    col.mask = LVCF_WIDTH;
    for (int i = 0; i < column; ++i)
        if (GetColumn(i, &col))
            rect.left += col.cx;
    col.cx = 0;
    GetColumn(column, &col);
    rect.right = rect.left + col.cx;
    return rect;
}

CRect CColorListCtrl::RowRect(int row, BOOL keep) const
{
    CRect rect;
    GetItemRect(row, &rect, LVIR_BOUNDS);
    if (!keep)
        rect.DeflateRect(1, 1);
    return rect;
}

void CColorListCtrl::DrawSegments(CDC* dc, const CRect& rect, const ColorListRow& data) const
{
    const int width = rect.Width() / 11;
    for (int segment = 1; segment <= 8; ++segment) {
        if (!data.Flag(segment))
            continue;
        const int left = rect.left + width * segment;
        CRect area(left, rect.top + 4, left + width - 1, rect.bottom - 3);
        CBrush brush(CategoryColor(segment));
        dc->FillRect(&area, &brush);
    }
}

void CColorListCtrl::DrawCell(CDC* dc, int row, int column, const ColorListRow& data) const
{
    CRect rect = SubItemRect(row, column);
    if (column == 2) {
        DrawSegments(dc, rect, data);
        return;
    }
    dc->DrawText(GetItemText(row, column), &rect, DT_VCENTER | DT_SINGLELINE);
}

void CColorListCtrl::DrawItem(LPDRAWITEMSTRUCT dis)
{
    if (!dis)
        return;
    CDC* dc = CDC::FromHandle(dis->hDC);
    const int row = static_cast<int>(dis->itemID);

    LVITEM item{};
    item.mask = LVIF_STATE | LVIF_IMAGE;
    item.iItem = row;
    item.stateMask = 0xFFFF;
    GetItem(&item);
    const bool focus_here = GetFocus() == this;
    const bool highlighted =
        (item.state & LVIS_DROPHILITED) || ((item.state & LVIS_SELECTED) && (focus_here || (GetStyle() & LVS_SHOWSELALWAYS)));
    const bool focused_row = item.state & LVIS_FOCUSED;

    int look;
    if (dis->itemAction == ODA_FOCUS)
        look = !focus_here ? 4 : focused_row ? 1 : highlighted ? 2 : 3;
    else if (dis->itemAction == ODA_SELECT)
        look = !highlighted ? 3 : focus_here ? 2 : 4;
    else if (focus_here)
        look = focused_row ? 1 : highlighted ? 2 : 3;
    else
        look = highlighted ? 4 : 3;
    if (!m_bFocusLook && look == 1)
        look = 3;
    // Rows without an entry have no mark and no flags.
    const bool has_mark = row >= 0 && row < static_cast<int>(m_RowMarks.size());
    if (has_mark && m_RowMarks[row] == 1 && !m_bFocusLook)
        look = 5;
    const ColorListRow& data = row >= 0 && row < static_cast<int>(m_RowData.size()) ? m_RowData[row] : kNoData;

    COLORREF text = CategoryColor(0);
    if (data.grey == 1) {
        text = CategoryColor(-1);
    } else {
        for (int category = 0; category <= 11; ++category)
            if (data.Flag(category)) {
                text = CategoryColor(category);
                break;
            }
    }

    const int columns = ColumnsToDraw();
    const int old_mode = dc->SetBkMode(TRANSPARENT);
    if (!IsWindowEnabled()) {
        for (int column = 0; column < columns; ++column) {
            CRect rect = SubItemRect(row, column);
            CBrush brush(RGB(255 - 40, 255 - 40, 255 - 40));
            dc->FillRect(&rect, &brush);
            dc->SetTextColor(text);
            DrawCell(dc, row, column, data);
        }
    } else if (look == 1 || look == 2 || look == 5) {
        CRect rect = RowRect(row, TRUE);
        CBrush brush(0xFF9933);
        dc->FillRect(&rect, &brush);
        dc->SetTextColor(text);
        for (int column = 0; column < columns; ++column)
            DrawCell(dc, row, column, data);
    } else if (look == 3) {
        for (int column = 0; column < columns; ++column) {
            CRect rect = SubItemRect(row, column);
            CBrush brush(RGB(255, 255, 255));
            dc->FillRect(&rect, &brush);
            dc->SetTextColor(text);
            DrawCell(dc, row, column, data);
        }
    } else {
        const COLORREF inactive = IndexColor(4);
        CRect rect = RowRect(row, TRUE);
        CBrush brush(inactive);
        dc->FillRect(&rect, &brush);
        dc->SetTextColor(text);
        CPen pen(PS_DOT, 1, inactive);
        CPen* old_pen = dc->SelectObject(&pen);
        CGdiObject* old_brush = dc->SelectStockObject(NULL_BRUSH);
        for (int column = 0; column < columns; ++column)
            DrawCell(dc, row, column, data);
        dc->SelectObject(old_pen);
        dc->SelectObject(old_brush);
    }
    dc->SetBkMode(old_mode);
}
