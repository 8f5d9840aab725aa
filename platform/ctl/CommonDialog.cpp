#include "platform/ctl/CommonDialog.h"

HWND CCommonDialog::PreModal()
{
    HWND parent = m_pParentWnd ? m_pParentWnd->GetSafeHwnd() : nullptr;
    if (!parent || !::IsWindow(parent))
        return nullptr;
    HWND top = GetAncestorTopLevel(parent);
    return top ? top : parent;
}

void CCommonDialog::PostModal() { m_hWnd = nullptr; }
