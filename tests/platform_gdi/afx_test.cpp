// The MFC-style classes: ownership, temporary wrappers, CRect arithmetic, and the double-buffer
// pattern the controls paint with.

#include <gtest/gtest.h>

#include "platform/gdi/afxgdi.h"
#include "platform/gdi/imagelist.h"
#include "tests/platform_gdi/canvas.h"

namespace {

TEST(Afx, RectArithmeticFollowsWindows)
{
    CRect a(0, 0, 10, 10), b(5, 5, 20, 20), c;
    EXPECT_TRUE(c.IntersectRect(&a, &b));
    EXPECT_EQ(c, CRect(5, 5, 10, 10));
    EXPECT_FALSE(c.IntersectRect(&a, CRect(10, 0, 20, 10)));  // touching is not overlapping
    EXPECT_TRUE(c.IsRectNull());
    c.UnionRect(&a, CRect(50, 50, 50, 60));  // an empty rectangle adds nothing
    EXPECT_EQ(c, a);
    EXPECT_TRUE(a.PtInRect(CPoint(9, 9)));
    EXPECT_FALSE(a.PtInRect(CPoint(10, 9)));
    CRect d(a);
    d.DeflateRect(1, 2);
    EXPECT_EQ(d, CRect(1, 2, 9, 8));
    d.OffsetRect(CPoint(10, 0));
    EXPECT_EQ(d.TopLeft(), CPoint(11, 2));
    EXPECT_EQ(d.Size(), CSize(8, 6));
    CRect n(10, 10, 0, 0);
    EXPECT_TRUE(n.IsRectEmpty());
    n.NormalizeRect();
    EXPECT_EQ(n, a);
    // Mouse positions arrive packed and signed.
    CPoint p(MAKELPARAM(static_cast<WORD>(-5), 7));
    EXPECT_EQ(p, CPoint(-5, 7));
}

TEST(Afx, SelectObjectReturnsThePreviousObjectsWrapper)
{
    CDC dc;
    ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
    CPen red(PS_SOLID, 1, RGB(255, 0, 0));
    CPen* old = dc.SelectObject(&red);
    ASSERT_NE(old, nullptr);
    EXPECT_EQ(old->m_hObject, GetStockObject(BLACK_PEN));
    EXPECT_EQ(CPen::FromHandle(static_cast<HPEN>(old->m_hObject)), old);  // one wrapper per handle
    EXPECT_EQ(dc.SelectObject(old)->m_hObject, red.m_hObject);
    EXPECT_EQ(CDC::FromHandle(dc.m_hDC), CDC::FromHandle(dc.m_hDC));
    LOGPEN lp;
    red.GetLogPen(&lp);
    EXPECT_EQ(lp.lopnColor, RGB(255, 0, 0));
    CBrush brush(RGB(1, 2, 3));
    LOGBRUSH lb;
    brush.GetLogBrush(&lb);
    EXPECT_EQ(lb.lbColor, RGB(1, 2, 3));
    CFont font;
    ASSERT_TRUE(font.CreatePointFont(80, "MS Sans Serif"));
    LOGFONT lf;
    font.GetLogFont(&lf);
    EXPECT_EQ(lf.lfHeight, -11);
    CGdiObject::DeleteTempMap();
    CDC::DeleteTempMap();
    // Temporary wrappers owned nothing: the stock pen is still there.
    EXPECT_EQ(GetObjectType(GetStockObject(BLACK_PEN)), static_cast<DWORD>(OBJ_PEN));
}

TEST(Afx, DoubleBufferedPaintLandsWhereTheClipBoxIs)
{
    Canvas screen(40, 30, RGB(255, 255, 255));
    CDC* target = CDC::FromHandle(screen.dc);
    target->IntersectClipRect(10, 5, 30, 25);
    CRect clip;
    target->GetClipBox(&clip);
    EXPECT_EQ(clip, CRect(10, 5, 30, 25));
    {
        // What a memory DC class does: a bitmap the size of the clip box, its window origin at
        // the clip box's top-left, filled with the background, copied back when done.
        CDC mem;
        mem.CreateCompatibleDC(target);
        CBitmap bitmap;
        bitmap.CreateCompatibleBitmap(target, clip.Width(), clip.Height());
        CBitmap* old = mem.SelectObject(&bitmap);
        mem.SetWindowOrg(clip.left, clip.top);
        mem.FillSolidRect(&clip, RGB(0, 128, 0));
        EXPECT_EQ(mem.GetBkColor(), RGB(0, 128, 0));
        mem.MoveTo(12, 7);
        mem.LineTo(20, 7);
        target->BitBlt(clip.left, clip.top, clip.Width(), clip.Height(), &mem, clip.left, clip.top, SRCCOPY);
        mem.SelectObject(old);
    }
    EXPECT_EQ(screen.at(10, 5), RGB(0, 128, 0));
    EXPECT_EQ(screen.at(29, 24), RGB(0, 128, 0));
    EXPECT_EQ(screen.at(30, 24), RGB(255, 255, 255));
    EXPECT_EQ(screen.at(9, 5), RGB(255, 255, 255));
    EXPECT_EQ(screen.at(12, 7), RGB(0, 0, 0));
    EXPECT_EQ(screen.at(19, 7), RGB(0, 0, 0));
    EXPECT_EQ(screen.at(20, 7), RGB(0, 128, 0));
    CDC::DeleteTempMap();
}

TEST(Afx, ScaledMappingForPrinting)
{
    Canvas page(100, 100);
    CDC* dc = CDC::FromHandle(page.dc);
    dc->SetMapMode(MM_ANISOTROPIC);
    dc->SetWindowExt(1000, 1000);
    dc->SetViewportExt(100, 100);
    CRect r(100, 100, 200, 300);
    dc->LPtoDP(&r);
    EXPECT_EQ(r, CRect(10, 10, 20, 30));
    dc->DPtoLP(&r);
    EXPECT_EQ(r, CRect(100, 100, 200, 300));
    dc->FillSolidRect(0, 0, 100, 100, RGB(0, 0, 0));
    EXPECT_EQ(page.at(9, 9), RGB(0, 0, 0));
    EXPECT_EQ(page.at(10, 10), RGB(255, 255, 255));
    // Text is measured in logical units: ten times the pixels.
    CFont font;
    font.CreateFont(-120, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "Arial");
    CFont* old = dc->SelectObject(&font);
    TEXTMETRIC tm;
    dc->GetTextMetrics(&tm);
    EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 120);  // 12 device pixels
    CSize s = dc->GetTextExtent("Page");
    EXPECT_GT(s.cx, 150);
    EXPECT_EQ(s.cy, tm.tmHeight);
    dc->SelectObject(old);
    EXPECT_EQ(dc->SetMapMode(MM_TEXT), MM_ANISOTROPIC);
    EXPECT_EQ(dc->GetWindowExt(), CSize(1, 1));
    CDC::DeleteTempMap();
}

}  // namespace

namespace {

TEST(ImageList, MaskColourIsTransparentAndIndexesAreChecked)
{
    // Two 3x2 images side by side; magenta is the mask colour.
    Canvas strip(6, 2, RGB(255, 0, 255));
    SetPixel(strip.dc, 1, 0, RGB(10, 20, 30));
    SetPixel(strip.dc, 4, 1, RGB(40, 50, 60));
    CImageList list;
    ASSERT_TRUE(list.Create(3, 2, ILC_MASK, 1, 1));
    CBitmap* bitmap = CBitmap::FromHandle(strip.bitmap);
    SelectObject(strip.dc, CreateBitmap(1, 1, 1, 32, nullptr));  // a bitmap is added while not selected
    EXPECT_EQ(list.Add(bitmap, RGB(255, 0, 255)), 0);
    EXPECT_EQ(list.Add(bitmap, RGB(255, 0, 255)), 2);
    EXPECT_EQ(list.GetImageCount(), 4);
    IMAGEINFO info;
    ASSERT_TRUE(list.GetImageInfo(3, &info));
    EXPECT_EQ(info.rcImage, (RECT{9, 0, 12, 2}));
    EXPECT_FALSE(list.GetImageInfo(4, &info));

    Canvas out(4, 3, RGB(200, 200, 200));
    CDC* dc = CDC::FromHandle(out.dc);
    SetTextColor(out.dc, RGB(1, 1, 1));
    EXPECT_TRUE(list.Draw(dc, 1, CPoint(1, 1), ILD_NORMAL));
    EXPECT_EQ(out.at(2, 2), RGB(40, 50, 60));       // image 1's pixel (1, 1)
    EXPECT_EQ(out.at(1, 1), RGB(200, 200, 200));    // transparent
    EXPECT_EQ(out.count(RGB(200, 200, 200)), 11);
    EXPECT_EQ(GetTextColor(out.dc), RGB(1, 1, 1));  // DC colours left as they were
    EXPECT_FALSE(list.Draw(dc, 4, CPoint(0, 0), ILD_NORMAL));
    EXPECT_FALSE(list.Draw(dc, -1, CPoint(0, 0), ILD_NORMAL));
    DeleteObject(SelectObject(strip.dc, strip.bitmap));
    CDC::DeleteTempMap();
    CGdiObject::DeleteTempMap();
}

}  // namespace
