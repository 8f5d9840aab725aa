#pragma once
// Printing as the print-job code of a view sees it: the job's page information, and the calls
// that would open a printer. There is no printer here: the printer DC is never had and a
// document never starts, so a job fails at once. Printing code is driven in tests with a
// memory DC standing in for the printer DC.

#include "platform/gdi/rect.h"
#include "platform/win/win_types.h"

class CPrintInfo {
public:
    void SetMinPage(UINT page) { m_nMinPage = page; }
    void SetMaxPage(UINT page) { m_nMaxPage = page; }
    UINT GetMinPage() const { return m_nMinPage; }
    UINT GetMaxPage() const { return m_nMaxPage; }
    UINT GetFromPage() const { return m_nMinPage; }
    UINT GetToPage() const { return m_nMaxPage; }

    UINT m_nCurPage = 1;
    UINT m_nNumPreviewPages = 1;
    BOOL m_bPreview = FALSE;
    BOOL m_bContinuePrinting = TRUE;
    CRect m_rectDraw;

private:
    UINT m_nMinPage = 1;
    UINT m_nMaxPage = 0xFFFF;
};

struct DOCINFO {
    int cbSize;
    LPCSTR lpszDocName;
    LPCSTR lpszOutput;
    LPCSTR lpszDatatype;
    DWORD fwType;
};

constexpr int SP_ERROR = -1;

// The default printer's DC: none here.
HDC CreatePrinterDC();
int StartDoc(HDC dc, const DOCINFO* info);  // SP_ERROR: no printer
int EndDoc(HDC dc);
int StartPage(HDC dc);
int EndPage(HDC dc);
int AbortDoc(HDC dc);
