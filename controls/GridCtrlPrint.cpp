// Printing the grid over pages: a header with the titles, the column headings and row headers
// on every page, the cells, and a footer with the page number and the date. A host that runs a
// print job calls OnBeginPrinting, OnPrint for each page, and OnEndPrinting.
//
// A page always takes at least one row and one column, so that a row taller (or a column wider)
// than a page is printed on a page of its own, clipped, rather than never.

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include "controls/GridCtrl.h"
#include "platform/ctl/StringResource.h"

namespace {

// First index of each page when sizes are laid out into pages of `room`.
template <typename SizeOf>
std::vector<int> PageStarts(int first, int count, int room, SizeOf size)
{
    std::vector<int> starts{first};
    long total = 0;
    bool pageHasOne = false;
    for (int i = first; i < count; ++i) {
        total += size(i);
        if (total > room && pageHasOne) {
            starts.push_back(i);
            total = size(i);
        }
        pageHasOne = true;
    }
    return starts;
}

long MulDivRound(long a, long b, long c) { return c ? (a * b + (a * b >= 0 ? c / 2 : -c / 2)) / c : -1; }

// Prints a cell and, with horizontal grid lines, its bottom line (and its top one on row 0);
// each line starts one pixel back, over the previous cell's right edge, so the joints close.
void PrintCellAndHorzLines(CDC* pDC, CGridCellBase* cell, int row, int col, const CRect& rect, bool horz)
{
    if (cell)
        cell->PrintCell(pDC, row, col, rect);
    if (horz) {
        const int overlap = col == 0 ? 0 : 1;
        pDC->MoveTo(rect.left - overlap, rect.bottom);
        pDC->LineTo(rect.right + 1, rect.bottom);
        if (row == 0) {
            pDC->MoveTo(rect.left - overlap, rect.top);
            pDC->LineTo(rect.right + 1, rect.top);
        }
    }
}

// The header and footer print in a bold cut of the printer font; `bold` must outlive its use.
CFont* SelectBoldFont(CDC* pDC, const CFont* printerFont, CFont& bold)
{
    LOGFONT lf{};
    if (printerFont)
        printerFont->GetLogFont(&lf);
    lf.lfWeight = FW_BOLD;
    bold.CreateFontIndirect(&lf);
    return pDC->SelectObject(&bold);
}

}  // namespace

void CGridCtrl::SetPrintMarginInfo(int nHeaderHeight, int nFooterHeight, int nLeftMargin, int nRightMargin,
                                   int nTopMargin, int nBottomMargin, int nGap)
{
    if (nHeaderHeight > -1)
        m_nHeaderHeight = nHeaderHeight;
    if (nFooterHeight > -1)
        m_nFooterHeight = nFooterHeight;
    if (nLeftMargin > -1)
        m_nLeftMargin = nLeftMargin;
    if (nRightMargin > -1)
        m_nRightMargin = nRightMargin;
    if (nTopMargin > -1)
        m_nTopMargin = nTopMargin;
    if (nBottomMargin > -1)
        m_nBottomMargin = nBottomMargin;
    if (nGap > -1)
        m_nGap = nGap;
}

void CGridCtrl::OnBeginPrinting(CDC* pDC, CPrintInfo* pInfo)
{
    if (!pDC || !pInfo)
        return;
    CDC* screen = GetDC();
    if (!screen)
        return;

    const int printerX = std::max(1, pDC->GetDeviceCaps(LOGPIXELSX));
    const int printerY = std::max(1, pDC->GetDeviceCaps(LOGPIXELSY));
    const int screenX = screen->GetDeviceCaps(LOGPIXELSX);
    const int screenY = screen->GetDeviceCaps(LOGPIXELSY);

    m_PrinterFont = std::make_unique<CFont>();
    m_PrinterFont->CreateFont(-10, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, OUT_CHARACTER_PRECIS,
                              CLIP_CHARACTER_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "Arial");
    CFont* oldFont = pDC->SelectObject(m_PrinterFont.get());
    m_CharSize = pDC->GetTextExtent("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSATUVWXYZ", 52);
    m_CharSize.cx /= 52;
    const int margins = (m_nLeftMargin + m_nRightMargin) * m_CharSize.cx;

    m_PaperSize = CSize(pDC->GetDeviceCaps(HORZRES), pDC->GetDeviceCaps(VERTRES));
    if (m_bWysiwygPrinting) {
        m_LogicalPageSize.cx = screenX * m_PaperSize.cx / printerX * 3 / 4;
        m_LogicalPageSize.cy = screenY * m_PaperSize.cy / printerY * 3 / 4;
    } else {
        m_LogicalPageSize.cx = GetVirtualWidth() + margins;
        m_LogicalPageSize.cy = static_cast<int>(MulDivRound(m_LogicalPageSize.cx, m_PaperSize.cy, m_PaperSize.cx));
    }

    m_nPageHeight = m_LogicalPageSize.cy - GetFixedRowHeight() -
                    (m_nHeaderHeight + m_nFooterHeight + 2 * m_nGap) * m_CharSize.cy;
    m_nNumPages = static_cast<int>(
        PageStarts(m_nFixedRows, m_nRows, m_nPageHeight, [this](int r) { return GetRowHeight(r); }).size());

    m_nPageWidth = m_LogicalPageSize.cx - GetFixedColumnWidth() - margins;
    m_nPageMultiplier = 1;
    if (m_bWysiwygPrinting) {
        m_nPageMultiplier = static_cast<int>(
            PageStarts(m_nFixedCols, m_nCols, m_nPageWidth, [this](int c) { return GetColumnWidth(c); }).size());
        m_nNumPages *= m_nPageMultiplier;
    }

    pInfo->SetMaxPage(static_cast<UINT>(m_nNumPages));
    pInfo->m_nCurPage = 1;
    ReleaseDC(screen);
    pDC->SelectObject(oldFont);
}

void CGridCtrl::OnPrint(CDC* pDC, CPrintInfo* pInfo)
{
    if (!pDC || !pInfo || !m_PrinterFont || m_nPageMultiplier <= 0)
        return;
    CFont* oldFont = pDC->SelectObject(m_PrinterFont.get());
    const int lineHeight = m_CharSize.cy;
    const int margins = (m_nLeftMargin + m_nRightMargin) * m_CharSize.cx;

    pDC->SetMapMode(MM_ANISOTROPIC);
    pDC->SetWindowExt(m_LogicalPageSize);
    pDC->SetViewportExt(m_PaperSize);
    pDC->SetWindowOrg(-m_nLeftMargin * m_CharSize.cx, 0);

    pInfo->m_rectDraw.SetRect(0, 0, m_LogicalPageSize.cx - margins, m_nHeaderHeight * lineHeight);
    PrintHeader(pDC, pInfo);
    pDC->OffsetWindowOrg(0, -m_nHeaderHeight * lineHeight);
    pDC->OffsetWindowOrg(0, -m_nGap * lineHeight);
    pDC->OffsetWindowOrg(0, -GetFixedRowHeight());

    // This page's place down and across.
    const int page = static_cast<int>(pInfo->m_nCurPage);
    const int pageDown = page / m_nPageMultiplier + (page % m_nPageMultiplier ? 1 : 0);
    int pageAcross = page % m_nPageMultiplier;
    if (pageAcross == 0)
        pageAcross = m_nPageMultiplier;
    pageAcross -= 1;

    const auto rowStarts =
        PageStarts(m_nFixedRows, m_nRows, m_nPageHeight, [this](int r) { return GetRowHeight(r); });
    m_nCurrPrintRow = pageDown >= 1 && pageDown <= static_cast<int>(rowStarts.size()) ? rowStarts[pageDown - 1] : m_nRows;
    const auto colStarts =
        PageStarts(m_nFixedCols, m_nCols, m_nPageWidth, [this](int c) { return GetColumnWidth(c); });
    m_nPrintColumn = pageAcross < static_cast<int>(colStarts.size()) ? colStarts[pageAcross] : m_nCols;

    PrintRowButtons(pDC, pInfo);

    const int fixedWidth = GetFixedColumnWidth();
    pDC->OffsetWindowOrg(0, GetFixedRowHeight());
    m_nPageWidth += fixedWidth;
    const int printColumn = m_nPrintColumn;
    if (m_nPrintColumn == m_nFixedCols)
        m_nPrintColumn = 0;  // the first page across prints all columns from 0 as one run
    PrintColumnHeadings(pDC, pInfo);
    m_nPageWidth -= fixedWidth;
    m_nPrintColumn = printColumn;
    pDC->OffsetWindowOrg(-fixedWidth, -GetFixedRowHeight());

    const bool horz = m_nGridLines == GRIDLINES_HORZ || m_nGridLines == GRIDLINES_BOTH;
    const bool vert = m_nGridLines == GRIDLINES_VERT || m_nGridLines == GRIDLINES_BOTH;
    CRect rect;
    rect.bottom = -1;
    const int firstRow = m_nCurrPrintRow;
    while (m_nCurrPrintRow < m_nRows) {
        const int row = m_nCurrPrintRow;
        rect.top = rect.bottom + 1;
        rect.bottom = rect.top + GetRowHeight(row) - 1;
        if (rect.bottom > m_nPageHeight && row != firstRow)
            break;
        rect.right = -1;
        for (int col = m_nPrintColumn; col < m_nCols; ++col) {
            rect.left = rect.right + 1;
            rect.right = rect.left + GetColumnWidth(col) - 1;
            if (rect.right > m_nPageWidth && col != m_nPrintColumn)
                break;
            PrintCellAndHorzLines(pDC, GetCell(row, col), row, col, rect, horz);
            if (vert) {
                const int overlap = row == firstRow ? 0 : 1;
                pDC->MoveTo(rect.right, rect.top - overlap);
                pDC->LineTo(rect.right, rect.bottom + 1);
                if (col == 0) {
                    pDC->MoveTo(rect.left, rect.top - overlap);
                    pDC->LineTo(rect.left, rect.bottom + 1);
                }
            }
        }
        ++m_nCurrPrintRow;
    }

    pInfo->m_rectDraw.bottom = m_nFooterHeight * lineHeight;
    pDC->SetWindowOrg(-m_nLeftMargin * m_CharSize.cx, m_nFooterHeight * lineHeight - m_LogicalPageSize.cy);
    PrintFooter(pDC, pInfo);
    pDC->SetWindowOrg(0, 0);
    pDC->SelectObject(oldFont);
}

void CGridCtrl::OnEndPrinting(CDC* pDC, CPrintInfo* pInfo) { m_PrinterFont.reset(); }

void CGridCtrl::PrintFixedRowCells(int nStartColumn, int nStopColumn, int& row, CRect& rect, CDC* pDC, BOOL& bFirst)
{
    const bool horz = m_nGridLines == GRIDLINES_HORZ || m_nGridLines == GRIDLINES_BOTH;
    const bool vert = m_nGridLines == GRIDLINES_VERT || m_nGridLines == GRIDLINES_BOTH;
    for (int col = nStartColumn; col < nStopColumn; ++col) {
        rect.left = rect.right + 1;
        rect.right = rect.left + GetColumnWidth(col) - 1;
        if (rect.right > m_nPageWidth && col != nStartColumn)
            break;
        PrintCellAndHorzLines(pDC, GetCell(row, col), row, col, rect, horz);
        if (vert) {
            const int top = row == 0 ? rect.top : rect.top - 1;
            pDC->MoveTo(rect.right, top);
            pDC->LineTo(rect.right, rect.bottom + 1);
            if (bFirst) {
                pDC->MoveTo(rect.left - 1, top);
                pDC->LineTo(rect.left - 1, rect.bottom + 1);
                bFirst = FALSE;
            }
        }
    }
}

void CGridCtrl::PrintColumnHeadings(CDC* pDC, CPrintInfo* pInfo)
{
    CFont* oldFont = m_PrinterFont ? pDC->SelectObject(m_PrinterFont.get()) : nullptr;
    CRect rect;
    rect.bottom = -1;
    for (int row = 0; row < m_nFixedRows; ++row) {
        rect.top = rect.bottom + 1;
        rect.bottom = rect.top + GetRowHeight(row) - 1;
        rect.right = -1;
        BOOL first = TRUE;
        if (m_nPrintColumn >= m_nFixedCols)
            PrintFixedRowCells(0, m_nFixedCols, row, rect, pDC, first);
        PrintFixedRowCells(m_nPrintColumn, m_nCols, row, rect, pDC, first);
    }
    if (oldFont)
        pDC->SelectObject(oldFont);
}

void CGridCtrl::PrintRowButtons(CDC* pDC, CPrintInfo* pInfo)
{
    CFont* oldFont = m_PrinterFont ? pDC->SelectObject(m_PrinterFont.get()) : nullptr;
    const bool horz = m_nGridLines == GRIDLINES_HORZ || m_nGridLines == GRIDLINES_BOTH;
    const bool vert = m_nGridLines == GRIDLINES_VERT || m_nGridLines == GRIDLINES_BOTH;
    CRect rect;
    rect.right = -1;
    for (int col = 0; col < m_nFixedCols; ++col) {
        rect.left = rect.right + 1;
        rect.right = rect.left + GetColumnWidth(col) - 1;
        rect.bottom = -1;
        for (int row = m_nCurrPrintRow; row < m_nRows; ++row) {
            rect.top = rect.bottom + 1;
            rect.bottom = rect.top + GetRowHeight(row) - 1;
            if (rect.bottom > m_nPageHeight && row != m_nCurrPrintRow)
                break;
            if (CGridCellBase* cell = GetCell(row, col))
                cell->PrintCell(pDC, row, col, rect);
            if (horz) {
                pDC->MoveTo(rect.left, rect.bottom);
                pDC->LineTo(rect.right + 1, rect.bottom);
                if (row == m_nCurrPrintRow) {
                    pDC->MoveTo(rect.left, rect.top);
                    pDC->LineTo(rect.right + 1, rect.top);
                }
            }
            if (vert) {
                pDC->MoveTo(rect.right, rect.top);
                pDC->LineTo(rect.right, rect.bottom + 1);
                if (col == 0) {
                    pDC->MoveTo(rect.left, rect.top);
                    pDC->LineTo(rect.left, rect.bottom + 1);
                }
            }
        }
    }
    if (oldFont)
        pDC->SelectObject(oldFont);
}

void CGridCtrl::PrintHeader(CDC* pDC, CPrintInfo* pInfo)
{
    const std::string appTitle = LoadStringResource(AFX_IDS_APP_TITLE);
    std::string parentTitle;
    for (CWnd* parent = GetParent(); parent; parent = parent->GetParent()) {
        parent->GetWindowText(parentTitle);
        if (!parentTitle.empty())
            break;
    }

    CFont bold;
    CFont* oldFont = SelectBoldFont(pDC, m_PrinterFont.get(), bold);
    const int oldMode = pDC->SetBkMode(TRANSPARENT);

    CRect rect = pInfo->m_rectDraw;
    if (!parentTitle.empty())
        pDC->DrawText(parentTitle, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    if (!appTitle.empty())
        pDC->DrawText(appTitle, &rect, DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);

    pDC->SetBkMode(oldMode);
    pDC->SelectObject(oldFont);

    CGdiObject* oldPen = pDC->SelectStockObject(BLACK_PEN);
    pDC->MoveTo(rect.left, rect.bottom);
    pDC->LineTo(rect.right, rect.bottom);
    pDC->SelectObject(oldPen);
}

void CGridCtrl::PrintFooter(CDC* pDC, CPrintInfo* pInfo)
{
    char page[64];
    std::snprintf(page, sizeof page, "Page %d of %d", static_cast<int>(pInfo->m_nCurPage),
                  static_cast<int>(pInfo->GetMaxPage()));
    char date[128] = "";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local))
        std::strftime(date, sizeof date, "%c", &local);

    CRect rect = pInfo->m_rectDraw;
    CGdiObject* oldPen = pDC->SelectStockObject(BLACK_PEN);
    pDC->MoveTo(rect.left, rect.top);
    pDC->LineTo(rect.right, rect.top);
    pDC->SelectObject(oldPen);

    CFont bold;
    CFont* oldFont = SelectBoldFont(pDC, m_PrinterFont.get(), bold);
    const int oldMode = pDC->SetBkMode(TRANSPARENT);
    pDC->SetTextColor(RGB(0, 0, 0));
    if (page[0])
        pDC->DrawText(page, -1, &rect, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    if (date[0])
        pDC->DrawText(date, -1, &rect, DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    pDC->SetBkMode(oldMode);
    pDC->SelectObject(oldFont);
}
