// MFC drawing classes: ownership and the per-thread maps of temporary wrappers.

#include "platform/gdi/afxgdi.h"
#include "platform/gdi/dc.h"

#include <memory>
#include <unordered_map>
#include <utility>

namespace {

// Temporary wrappers own nothing: they let go of their handle before being destroyed.
struct DetachObject {
    void operator()(CGdiObject* o) const
    {
        o->Detach();
        delete o;
    }
};
struct DetachDC {
    void operator()(CDC* dc) const
    {
        dc->Detach();
        delete dc;
    }
};

template <typename T>
std::unordered_map<HGDIOBJ, std::unique_ptr<CGdiObject, DetachObject>>& temp_map()
{
    thread_local std::unordered_map<HGDIOBJ, std::unique_ptr<CGdiObject, DetachObject>> map;
    return map;
}

template <typename T>
T* temporary(HGDIOBJ handle)
{
    if (!handle)
        return nullptr;
    auto& slot = temp_map<T>()[handle];
    if (!slot) {
        slot.reset(new T());
        slot->m_hObject = handle;
    }
    return static_cast<T*>(slot.get());
}

// Deleting a DC looks its wrapper up; a thread's last DCs may go after its map has.
thread_local bool t_dc_map_gone = false;
struct DcMap {
    std::unordered_map<HDC, std::unique_ptr<CDC, DetachDC>> map;
    ~DcMap() { t_dc_map_gone = true; }
};

std::unordered_map<HDC, std::unique_ptr<CDC, DetachDC>>& dc_map()
{
    thread_local DcMap holder;
    return holder.map;
}

}  // namespace

BOOL CGdiObject::Attach(HGDIOBJ object)
{
    if (!object)
        return FALSE;
    DeleteObject();
    m_hObject = object;
    return TRUE;
}

HGDIOBJ CGdiObject::Detach()
{
    return std::exchange(m_hObject, nullptr);
}

BOOL CGdiObject::DeleteObject()
{
    if (!m_hObject)
        return FALSE;
    return ::DeleteObject(Detach());
}

BOOL CGdiObject::CreateStockObject(int index)
{
    return Attach(GetStockObject(index));
}

// Wrappers are kept per kind of object, so that a pen's wrapper is a CPen.
CGdiObject* CGdiObject::FromHandle(HGDIOBJ object)
{
    switch (GetObjectType(object)) {
    case OBJ_PEN: return temporary<CPen>(object);
    case OBJ_BRUSH: return temporary<CBrush>(object);
    case OBJ_FONT: return temporary<CFont>(object);
    case OBJ_BITMAP: return temporary<CBitmap>(object);
    case OBJ_REGION: return temporary<CRgn>(object);
    default: return nullptr;
    }
}

void CGdiObject::DeleteTempMap()
{
    temp_map<CPen>().clear();
    temp_map<CBrush>().clear();
    temp_map<CFont>().clear();
    temp_map<CBitmap>().clear();
    temp_map<CRgn>().clear();
}

CPen* CPen::FromHandle(HPEN pen) { return temporary<CPen>(pen); }
CBrush* CBrush::FromHandle(HBRUSH brush) { return temporary<CBrush>(brush); }
CFont* CFont::FromHandle(HFONT font) { return temporary<CFont>(font); }
CBitmap* CBitmap::FromHandle(HBITMAP bitmap) { return temporary<CBitmap>(bitmap); }
CRgn* CRgn::FromHandle(HRGN region) { return temporary<CRgn>(region); }

BOOL CBitmap::CreateCompatibleBitmap(CDC* dc, int width, int height)
{
    return Attach(::CreateCompatibleBitmap(dc ? dc->m_hDC : nullptr, width, height));
}

BOOL CRgn::CreateFromPath(CDC* dc)
{
    return dc && Attach(::PathToRegion(dc->m_hDC));
}

CDC::~CDC()
{
    if (m_hDC)
        ::DeleteDC(Detach());
}

BOOL CDC::Attach(HDC dc)
{
    if (!dc)
        return FALSE;
    m_hDC = m_hAttribDC = dc;
    return TRUE;
}

HDC CDC::Detach()
{
    m_hAttribDC = nullptr;
    return std::exchange(m_hDC, nullptr);
}

BOOL CDC::CreateCompatibleDC(CDC* dc)
{
    return Attach(::CreateCompatibleDC(dc ? dc->m_hDC : nullptr));
}

BOOL CDC::DeleteDC()
{
    if (!m_hDC)
        return FALSE;
    return ::DeleteDC(Detach());  // which drops a temporary wrapper, perhaps this one
}

CDC* CDC::FromHandle(HDC dc)
{
    if (!dc)
        return nullptr;
    auto& slot = dc_map()[dc];
    if (!slot) {
        slot.reset(new CDC());
        slot->Attach(dc);
    }
    return slot.get();
}

void gdi::forget_temporary_dc(HDC dc)
{
    if (dc && !t_dc_map_gone)
        dc_map().erase(dc);
}

void CDC::DeleteTempMap()
{
    dc_map().clear();
}

void CDC::FillSolidRect(LPCRECT rect, COLORREF color)
{
    ::SetBkColor(m_hDC, color);
    ::ExtTextOut(m_hDC, 0, 0, ETO_OPAQUE, rect, nullptr, 0, nullptr);
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF color)
{
    RECT r{x, y, x + cx, y + cy};
    FillSolidRect(&r, color);
}
