#pragma once
// MFC's CImageList as the cells use it: equal-sized images cut from bitmaps, drawn with a mask
// colour left transparent.

#include "platform/gdi/afxgdi.h"

constexpr UINT ILC_MASK = 0x1;
constexpr UINT ILD_NORMAL = 0x0;
constexpr UINT ILD_TRANSPARENT = 0x1;

struct IMAGEINFO {
    HBITMAP hbmImage;
    HBITMAP hbmMask;
    int Unused1;
    int Unused2;
    RECT rcImage;  // the image's place in hbmImage
};

class CImageList {
public:
    CImageList() = default;
    ~CImageList() { DeleteImageList(); }
    CImageList(const CImageList&) = delete;
    CImageList& operator=(const CImageList&) = delete;

    BOOL Create(int cx, int cy, UINT flags, int initial, int grow);
    BOOL DeleteImageList();
    // Adds every cx-wide image of `bitmap`; pixels of `mask` become transparent. Returns the
    // index of the first image added, or -1.
    int Add(CBitmap* bitmap, COLORREF mask);
    int GetImageCount() const { return m_count; }
    BOOL GetImageInfo(int image, IMAGEINFO* info) const;
    BOOL Draw(CDC* dc, int image, POINT at, UINT style);
    bool IsCreated() const { return m_image != nullptr; }

private:
    int m_cx = 0;
    int m_cy = 0;
    bool m_masked = false;
    int m_count = 0;
    HBITMAP m_image = nullptr;  // images side by side; transparent pixels black
    HBITMAP m_mask = nullptr;   // one bit: 1 where transparent
};
