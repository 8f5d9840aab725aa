#include "platform/gdi/imagelist.h"

#include <algorithm>

BOOL CImageList::Create(int cx, int cy, UINT flags, int, int)
{
    if (cx <= 0 || cy <= 0)
        return FALSE;
    DeleteImageList();
    m_cx = cx;
    m_cy = cy;
    m_masked = flags & ILC_MASK;
    m_image = ::CreateBitmap(0, cy, 1, 32, nullptr);
    m_mask = ::CreateBitmap(0, cy, 1, 1, nullptr);
    return m_image && m_mask;
}

BOOL CImageList::DeleteImageList()
{
    if (!m_image)
        return FALSE;
    ::DeleteObject(m_image);
    ::DeleteObject(m_mask);
    m_image = m_mask = nullptr;
    m_count = 0;
    return TRUE;
}

int CImageList::Add(CBitmap* bitmap, COLORREF mask)
{
    BITMAP bm;
    if (!m_image || !bitmap || !bitmap->GetBitmap(&bm) || bm.bmWidth < m_cx)
        return -1;
    int added = bm.bmWidth / m_cx, total = m_count + added;
    HBITMAP image = ::CreateBitmap(total * m_cx, m_cy, 1, 32, nullptr);
    HBITMAP mono = ::CreateBitmap(total * m_cx, m_cy, 1, 1, nullptr);
    if (!image || !mono) {
        ::DeleteObject(image);
        ::DeleteObject(mono);
        return -1;
    }
    HDC src = ::CreateCompatibleDC(nullptr), dst = ::CreateCompatibleDC(nullptr), msk = ::CreateCompatibleDC(nullptr);
    HGDIOBJ old_src = ::SelectObject(src, m_image), old_dst = ::SelectObject(dst, image), old_msk = ::SelectObject(msk, mono);
    // Keep the images already there.
    ::BitBlt(dst, 0, 0, m_count * m_cx, m_cy, src, 0, 0, SRCCOPY);
    ::SelectObject(src, m_mask);
    ::BitBlt(msk, 0, 0, m_count * m_cx, m_cy, src, 0, 0, SRCCOPY);
    // The new ones: the mask from the mask colour, then the image with its transparent part black.
    ::SelectObject(src, *bitmap);
    int width = added * m_cx, height = std::min<int>(m_cy, bm.bmHeight);
    if (m_masked) {
        ::SetBkColor(src, mask);
        ::BitBlt(msk, m_count * m_cx, 0, width, height, src, 0, 0, SRCCOPY);
    }
    ::BitBlt(dst, m_count * m_cx, 0, width, height, src, 0, 0, SRCCOPY);
    if (m_masked) {
        ::SetTextColor(dst, RGB(255, 255, 255));
        ::SetBkColor(dst, RGB(0, 0, 0));
        ::BitBlt(dst, m_count * m_cx, 0, width, height, msk, m_count * m_cx, 0, SRCAND);  // 1 -> black
    }
    ::SelectObject(src, old_src);
    ::SelectObject(dst, old_dst);
    ::SelectObject(msk, old_msk);
    ::DeleteDC(src);
    ::DeleteDC(dst);
    ::DeleteDC(msk);
    ::DeleteObject(m_image);
    ::DeleteObject(m_mask);
    m_image = image;
    m_mask = mono;
    int first = m_count;
    m_count = total;
    return first;
}

BOOL CImageList::GetImageInfo(int image, IMAGEINFO* info) const
{
    if (!info || image < 0 || image >= m_count)
        return FALSE;
    *info = IMAGEINFO{m_image, m_masked ? m_mask : nullptr, 0, 0, {image * m_cx, 0, (image + 1) * m_cx, m_cy}};
    return TRUE;
}

BOOL CImageList::Draw(CDC* dc, int image, POINT at, UINT)
{
    if (!dc || image < 0 || image >= m_count)
        return FALSE;
    HDC src = ::CreateCompatibleDC(nullptr);
    HGDIOBJ old = ::SelectObject(src, m_image);
    if (m_masked) {
        // Clear the opaque part (mask 0 -> black via the text colour, 1 -> white keeps), then OR.
        HGDIOBJ image_bitmap = ::SelectObject(src, m_mask);
        COLORREF text = dc->SetTextColor(RGB(0, 0, 0)), back = dc->SetBkColor(RGB(255, 255, 255));
        ::BitBlt(*dc, at.x, at.y, m_cx, m_cy, src, image * m_cx, 0, SRCAND);
        dc->SetTextColor(text);
        dc->SetBkColor(back);
        ::SelectObject(src, image_bitmap);
        ::BitBlt(*dc, at.x, at.y, m_cx, m_cy, src, image * m_cx, 0, SRCPAINT);
    } else {
        ::BitBlt(*dc, at.x, at.y, m_cx, m_cy, src, image * m_cx, 0, SRCCOPY);
    }
    ::SelectObject(src, old);
    ::DeleteDC(src);
    return TRUE;
}
