#include "controls/GridDropTarget.h"

#include "controls/GridCtrl.h"

CGridDropTarget::~CGridDropTarget() { CGridDropTarget::Revoke(); }

BOOL CGridDropTarget::Register(CGridCtrl* grid)
{
    static bool registering = false;
    if (m_bRegistered || registering)
        return FALSE;
    registering = true;
    if (!grid) {
        registering = false;
        return FALSE;
    }
    m_pGridCtrl = grid;
    m_bRegistered = COleDropTarget::Register(grid);
    registering = false;
    return m_bRegistered;
}

void CGridDropTarget::Revoke()
{
    m_bRegistered = FALSE;
    COleDropTarget::Revoke();
}

namespace {
bool IsGrid(CGridCtrl* grid, CWnd* wnd) { return grid && wnd && wnd->GetSafeHwnd() == grid->GetSafeHwnd(); }
}  // namespace

DROPEFFECT CGridDropTarget::OnDragEnter(CWnd* wnd, COleDataObject* data, DWORD keyState, CPoint point)
{
    return IsGrid(m_pGridCtrl, wnd) ? m_pGridCtrl->OnDragEnter(data, keyState, point) : DROPEFFECT_NONE;
}

DROPEFFECT CGridDropTarget::OnDragOver(CWnd* wnd, COleDataObject* data, DWORD keyState, CPoint point)
{
    return IsGrid(m_pGridCtrl, wnd) ? m_pGridCtrl->OnDragOver(data, keyState, point) : DROPEFFECT_NONE;
}

BOOL CGridDropTarget::OnDrop(CWnd* wnd, COleDataObject* data, DROPEFFECT effect, CPoint point)
{
    return IsGrid(m_pGridCtrl, wnd) ? m_pGridCtrl->OnDrop(data, effect, point) : FALSE;
}

void CGridDropTarget::OnDragLeave(CWnd* wnd)
{
    if (IsGrid(m_pGridCtrl, wnd))
        m_pGridCtrl->OnDragLeave();
}

DROPEFFECT CGridDropTarget::OnDragScroll(CWnd* wnd, DWORD keyState, CPoint point)
{
    if (!IsGrid(m_pGridCtrl, wnd))
        return DROPEFFECT_NONE;
    return (keyState & MK_CONTROL) ? DROPEFFECT_COPY : DROPEFFECT_MOVE;
}
