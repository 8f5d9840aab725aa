#pragma once
// Printing as the print-job code of a view sees it: the job's page information. Nothing here
// opens a printer; printing code draws into whatever DC its host gives it (in tests a memory
// DC standing in for a printer's).

#include "platform/gdi/rect.h"
#include "platform/win/win_types.h"

// The job's pages (the printing code sets the number of pages; the host sets the current one)
// and the rectangle a header or footer is drawn in.
class CPrintInfo {
public:
    void SetMaxPage(UINT page) { m_nMaxPage = page; }
    UINT GetMaxPage() const { return m_nMaxPage; }

    UINT m_nCurPage = 1;
    CRect m_rectDraw;

private:
    UINT m_nMaxPage = 0xFFFF;
};
