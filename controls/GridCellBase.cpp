#include "controls/GridCellBase.h"

#include <cstring>
#include <string>

#include "controls/GridCtrl.h"

CGridCellBase& CGridCellBase::operator=(const CGridCellBase& cell)
{
    if (this == &cell)
        return *this;
    SetGrid(cell.GetGrid());
    SetText(cell.GetText());
    SetImage(cell.GetImage());
    SetData(cell.GetData());
    SetState(cell.GetState());
    SetFormat(cell.GetFormat());
    SetTextClr(cell.GetTextClr());
    SetBackClr(cell.GetBackClr());
    SetFont(cell.IsDefaultFont() ? nullptr : cell.GetFont());
    SetMargin(cell.GetMargin());
    return *this;
}

CGridDefaultCell* CGridCellBase::GetDefaultCell() const
{
    CGridCtrl* grid = GetGrid();
    return grid ? grid->GetDefaultCell(IsFixedRow(), IsFixedCol()) : nullptr;
}

BOOL CGridCellBase::OnSetCursor()
{
    ::SetCursor(::LoadCursor(nullptr, IDC_ARROW));
    return TRUE;
}

namespace {

// The image's width and height when the grid's image list knows it.
bool ImageSize(const CGridCellBase& cell, CSize* size)
{
    CGridCtrl* grid = cell.GetGrid();
    IMAGEINFO info{};
    if (cell.GetImage() < 0 || !grid || !grid->GetImageList() || !grid->GetImageList()->GetImageInfo(cell.GetImage(), &info))
        return false;
    *size = CSize(info.rcImage.right - info.rcImage.left, info.rcImage.bottom - info.rcImage.top);
    return true;
}

bool IsVerticalFont(const LOGFONT* font)
{
    return font && (font->lfEscapement == 900 || font->lfEscapement == -900);
}

}  // namespace

BOOL CGridCellBase::Draw(CDC* pDC, int nRow, int nCol, CRect rect, BOOL bEraseBkgnd)
{
    CGridCtrl* grid = GetGrid();
    if (!grid || !pDC || rect.Width() <= 0 || rect.Height() <= 0)
        return FALSE;

    const int saved = pDC->SaveDC();
    pDC->SetBkMode(TRANSPARENT);

    CGridDefaultCell* def = GetDefaultCell();
    if (!def) {
        pDC->RestoreDC(saved);
        return FALSE;
    }

    COLORREF textClr = GetTextClr() == CLR_DEFAULT ? def->GetTextClr() : GetTextClr();
    COLORREF backClr;
    if (GetBackClr() == CLR_DEFAULT) {
        backClr = def->GetBackClr();
    } else {
        backClr = GetBackClr();
        bEraseBkgnd = TRUE;
    }

    const int gridLines = grid->GetGridLines();
    if (IsFocused() || IsDropHighlighted()) {
        if (IsSelected()) {
            backClr = ::GetSysColor(COLOR_HIGHLIGHT);
            textClr = ::GetSysColor(COLOR_HIGHLIGHTTEXT);
            bEraseBkgnd = TRUE;
        }
        rect.right++;
        rect.bottom++;
        if (bEraseBkgnd) {
            CBrush brush(backClr);
            pDC->FillRect(rect, &brush);
        }
        if (gridLines != GRIDLINES_NONE) {
            rect.right--;
            rect.bottom--;
        }
        if (grid->GetFrameFocusCell()) {
            CBrush brush(textClr);
            pDC->FrameRect(rect, &brush);
        }
        pDC->SetTextColor(textClr);
        if (gridLines == GRIDLINES_NONE) {
            rect.right--;
            rect.bottom--;
        }
    } else if (IsSelected()) {
        rect.right++;
        rect.bottom++;
        pDC->FillSolidRect(rect, ::GetSysColor(COLOR_HIGHLIGHT));
        rect.right--;
        rect.bottom--;
        pDC->SetTextColor(::GetSysColor(COLOR_HIGHLIGHTTEXT));
    } else {
        if (bEraseBkgnd) {
            rect.right++;
            rect.bottom++;
            CBrush brush(backClr);
            pDC->FillRect(rect, &brush);
            rect.right--;
            rect.bottom--;
        }
        pDC->SetTextColor(textClr);
    }

    if (IsFixed() && gridLines != GRIDLINES_NONE) {
        const CCellID focus = grid->GetFocusCell();
        const bool highlighted = grid->GetTrackFocusCell() && grid->IsValid(focus) && (focus.row == nRow || focus.col == nCol);
        if (highlighted) {
            rect.right++;
            rect.bottom++;
            pDC->DrawEdge(rect, BDR_SUNKENINNER, BF_RECT);
            rect.DeflateRect(1, 1);
        } else {
            CPen lightPen(PS_SOLID, 1, ::GetSysColor(COLOR_3DHIGHLIGHT));
            CPen darkPen(PS_SOLID, 1, ::GetSysColor(COLOR_3DDKSHADOW));
            CPen* oldPen = pDC->SelectObject(&lightPen);
            pDC->MoveTo(rect.right, rect.top);
            pDC->LineTo(rect.left, rect.top);
            pDC->LineTo(rect.left, rect.bottom);
            pDC->SelectObject(&darkPen);
            pDC->MoveTo(rect.right, rect.top);
            pDC->LineTo(rect.right, rect.bottom);
            pDC->LineTo(rect.left, rect.bottom);
            pDC->SelectObject(oldPen);
            rect.DeflateRect(1, 1);
        }
    }

    if (!pDC->IsPrinting()) {
        if (CFont* font = GetFontObject())
            pDC->SelectObject(font);
    }

    const int margin = static_cast<int>(GetMargin());
    rect.DeflateRect(margin, margin);
    rect.right++;
    rect.bottom++;

    IMAGEINFO info{};
    if (grid->GetImageList() && GetImage() >= 0 && grid->GetImageList()->GetImageInfo(GetImage(), &info)) {
        const int w = info.rcImage.right - info.rcImage.left;
        const int h = info.rcImage.bottom - info.rcImage.top;
        if (w + rect.left <= rect.right && h + rect.top <= rect.bottom)
            grid->GetImageList()->Draw(pDC, GetImage(), rect.TopLeft(), ILD_NORMAL);
    }

    if (grid->GetSortColumn() == nCol && nRow == 0) {
        CSize size = pDC->GetTextExtent("M");
        const int offset = 2;
        size.cy -= offset * 2;
        if (size.cy >= rect.Height())
            size.cy = rect.Height() - offset * 2;
        size.cx = size.cy;
        const LOGFONT* font = GetFont();
        const bool vertical = font && font->lfEscapement == 900;
        // A cell too low for the arrow would give it a negative size.
        if (size.cy >= 1 && size.cx + rect.left < rect.right) {
            const int base = rect.bottom - offset - size.cy;
            const int x = vertical ? (rect.right + rect.left - size.cx) / 2 : rect.right - size.cx;
            CPen shadow(PS_SOLID, 0, ::GetSysColor(COLOR_3DSHADOW));
            CPen light(PS_SOLID, 0, ::GetSysColor(COLOR_3DHIGHLIGHT));
            CPen* oldPen = pDC->SelectObject(&light);
            const int w = size.cx, h = size.cy;
            auto triangle = [&](int d) {
                if (grid->GetSortAscending()) {
                    pDC->MoveTo(x + d, base + h + d);
                    pDC->LineTo(x + w / 2 + d, base + d);
                    pDC->LineTo(x + w + d, base + h + d);
                    pDC->LineTo(x + d, base + h + d);
                } else {
                    pDC->MoveTo(x + d, base + d);
                    pDC->LineTo(x + w / 2 + d, base + h + d);
                    pDC->LineTo(x + w + d, base + d);
                    pDC->LineTo(x + d, base + d);
                }
            };
            triangle(1);
            pDC->SelectObject(&shadow);
            triangle(0);
            pDC->SelectObject(oldPen);
            if (!vertical)
                rect.right -= size.cy;
        }
    }

    GetTextRect(rect);
    rect.right++;
    rect.bottom++;
    pDC->DrawText(GetText(), -1, rect, GetFormat() | DT_NOPREFIX);

    pDC->RestoreDC(saved);
    return TRUE;
}

BOOL CGridCellBase::GetTextRect(LPRECT pRect)
{
    CSize image;
    if (ImageSize(*this, &image))
        pRect->left += image.cx + 1 + static_cast<int>(GetMargin());
    return TRUE;
}

CSize CGridCellBase::GetTextExtent(LPCSTR text, CDC* pDC)
{
    CGridCtrl* grid = GetGrid();
    CDC* gridDC = nullptr;
    if (text && !pDC && grid && grid->GetSafeHwnd())
        pDC = gridDC = grid->GetDC();
    if (!pDC || !text) {
        CGridDefaultCell* def = GetDefaultCell();
        if (gridDC)
            grid->ReleaseDC(gridDC);
        return def ? CSize(def->GetWidth(), def->GetHeight()) : CSize(0, 0);
    }

    CFont* oldFont = nullptr;
    if (CFont* font = GetFontObject())
        oldFont = pDC->SelectObject(font);

    CSize size;
    const DWORD format = GetFormat();
    if ((format & DT_WORDBREAK) && !(format & DT_SINGLELINE)) {
        const std::string all(text);
        int widest = 0;
        size_t start = 0;
        while (start <= all.size()) {
            size_t end = all.find('\n', start);
            if (end == std::string::npos)
                end = all.size();
            const CSize line = pDC->GetTextExtent(all.data() + start, static_cast<int>(end - start));
            widest = std::max(widest, static_cast<int>(line.cx));
            start = end + 1;
        }
        CRect rect(0, 0, widest + 1, 0);
        pDC->DrawText(text, -1, rect, format | DT_CALCRECT);
        size = CSize(rect.Width(), rect.Height());
    } else {
        size = pDC->GetTextExtent(text, static_cast<int>(std::strlen(text)));
    }

    if (oldFont)
        pDC->SelectObject(oldFont);
    const int margin = static_cast<int>(GetMargin());
    size.cx += 2 * margin;
    size.cy += 2 * margin;

    if (IsVerticalFont(GetFont())) {
        std::swap(size.cx, size.cy);
        size.cy += 4 * margin;
    }

    if (gridDC)
        grid->ReleaseDC(gridDC);
    return size;
}

CSize CGridCellBase::GetCellExtent(CDC* pDC)
{
    CSize size = GetTextExtent(GetText(), pDC);
    CSize image(0, 0);
    const int margin = static_cast<int>(GetMargin());
    if (ImageSize(*this, &image)) {
        if (size.cx > 2 * margin)
            image.cx += margin;
        image.cy += 2 * margin;
    }
    size.cx += image.cx + 1;
    size.cy = std::max(size.cy, image.cy) + 1;
    if (IsFixed()) {
        size.cx++;
        size.cy++;
    }
    return size;
}

BOOL CGridCellBase::PrintCell(CDC* pDC, int nRow, int nCol, CRect rect)
{
    CGridCtrl* grid = GetGrid();
    if (!grid || !pDC || rect.Width() <= 0 || rect.Height() <= 0)
        return FALSE;

    const int saved = pDC->SaveDC();
    pDC->SetBkMode(TRANSPARENT);

    COLORREF backClr = CLR_DEFAULT;
    COLORREF textClr = RGB(0, 0, 0);
    if (grid->GetShadedPrintOut()) {
        CGridDefaultCell* def = GetDefaultCell();
        if (!def) {
            pDC->RestoreDC(saved);
            return FALSE;
        }
        if (IsFixed())
            backClr = GetBackClr() == CLR_DEFAULT ? def->GetBackClr() : GetBackClr();
        else if (GetBackClr() != CLR_DEFAULT && GetBackClr() != def->GetBackClr())
            backClr = GetBackClr();
        // An own text colour left at default takes the default cell's, never the marker value.
        textClr = (GetBackClr() != CLR_DEFAULT && GetTextClr() != CLR_DEFAULT) ? GetTextClr() : def->GetTextClr();
        if (pDC->GetDeviceCaps(NUMCOLORS) == 2 && backClr == CLR_DEFAULT)
            textClr = RGB(static_cast<BYTE>(GetRValue(textClr) * 0.30), static_cast<BYTE>(GetGValue(textClr) * 0.59),
                          static_cast<BYTE>(GetBValue(textClr) * 0.11));
        if (backClr != CLR_DEFAULT) {
            CRect fill(rect);
            fill.right++;
            fill.bottom++;
            CBrush brush(backClr);
            pDC->FillRect(fill, &brush);
        }
    }

    pDC->SetTextColor(textClr);
    if (CFont* font = GetFontObject())
        pDC->SelectObject(font);

    if (grid->GetGridLines() != GRIDLINES_NONE && IsFixed()) {
        CPen lightPen(PS_SOLID, 1, ::GetSysColor(COLOR_3DHIGHLIGHT));
        CPen darkPen(PS_SOLID, 1, ::GetSysColor(COLOR_3DDKSHADOW));
        CPen* oldPen = pDC->SelectObject(&lightPen);
        pDC->MoveTo(rect.right, rect.top);
        pDC->LineTo(rect.left, rect.top);
        pDC->LineTo(rect.left, rect.bottom);
        pDC->SelectObject(&darkPen);
        pDC->MoveTo(rect.right, rect.top);
        pDC->LineTo(rect.right, rect.bottom);
        pDC->LineTo(rect.left, rect.bottom);
        pDC->SelectObject(oldPen);
        rect.DeflateRect(1, 1);
    }

    const int margin = static_cast<int>(GetMargin());
    rect.DeflateRect(margin, 0);

    CSize image;
    if (ImageSize(*this, &image)) {
        grid->GetImageList()->Draw(pDC, GetImage(), rect.TopLeft(), ILD_NORMAL);
        rect.left += image.cx + margin;
    }

    pDC->DrawText(GetText(), -1, rect, GetFormat() | DT_NOPREFIX);
    pDC->RestoreDC(saved);
    return TRUE;
}
