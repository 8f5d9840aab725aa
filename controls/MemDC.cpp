#include "controls/MemDC.h"

#include <algorithm>

CMemDC::CMemDC(CDC* target, const CRect* area, BOOL copyBackground) : m_pDC(target), m_bMemDC(!target->IsPrinting())
{
    if (area)
        m_rect = *area;
    else
        target->GetClipBox(&m_rect);

    if (m_bMemDC) {
        m_bMemDC = FALSE;
        if (CreateCompatibleDC(target)) {
            target->LPtoDP(&m_rect);
            const int width = std::max(0, static_cast<int>(m_rect.Width()));
            const int height = std::max(0, static_cast<int>(m_rect.Height()));
            if (m_bitmap.CreateCompatibleBitmap(target, width, height)) {
                m_oldBitmap = SelectObject(&m_bitmap);
                SetMapMode(target->GetMapMode());
                SetWindowExt(target->GetWindowExt());
                SetViewportExt(target->GetViewportExt());
                target->DPtoLP(&m_rect);
                SetWindowOrg(m_rect.left, m_rect.top);
                m_bMemDC = TRUE;
            } else {
                // Without the bitmap the picture would land in nowhere and the final copy would
                // paint garbage: draw on the target instead.
                target->DPtoLP(&m_rect);
                DeleteDC();
            }
        }
        if (!m_bMemDC)
            PassThrough();
    } else {
        PassThrough();
    }

    if (copyBackground)
        BitBlt(m_rect.left, m_rect.top, m_rect.Width(), m_rect.Height(), target, m_rect.left, m_rect.top, SRCCOPY);
    else
        FillSolidRect(&m_rect, target->GetBkColor());
}

CMemDC::CMemDC(CDC* target) : m_pDC(target), m_bMemDC(!target->IsPrinting())
{
    if (m_bMemDC) {
        m_bMemDC = FALSE;
        target->GetClipBox(&m_rect);
        if (CreateCompatibleDC(target)) {
            const int width = std::max(0, static_cast<int>(m_rect.Width()));
            const int height = std::max(0, static_cast<int>(m_rect.Height()));
            if (m_bitmap.CreateCompatibleBitmap(target, width, height)) {
                m_oldBitmap = SelectObject(&m_bitmap);
                SetWindowOrg(m_rect.left, m_rect.top);
                FillSolidRect(&m_rect, target->GetBkColor());
                m_bMemDC = TRUE;
            } else {
                DeleteDC();
            }
        }
        if (!m_bMemDC) {
            m_rect.SetRectEmpty();
            PassThrough();
        }
    } else {
        PassThrough();
    }
}

void CMemDC::PassThrough()
{
    m_bPrinting = m_pDC->m_bPrinting;
    m_hDC = m_pDC->m_hDC;
    m_hAttribDC = m_pDC->m_hAttribDC;
}

CMemDC::~CMemDC()
{
    if (m_bMemDC) {
        m_pDC->BitBlt(m_rect.left, m_rect.top, m_rect.Width(), m_rect.Height(), this, m_rect.left, m_rect.top,
                      SRCCOPY);
        SelectObject(m_oldBitmap);
        m_bitmap.DeleteObject();
        DeleteDC();
    } else {
        // The handles are the target's: the base destructor must not delete them.
        m_hDC = nullptr;
        m_hAttribDC = nullptr;
    }
}
