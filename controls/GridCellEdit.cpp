// A cell's in-place edit: the editor window is the grid's child and deletes itself.

#include "controls/GridCell.h"
#include "controls/GridCtrl.h"
#include "controls/InPlaceEdit.h"

BOOL CGridCell::Edit(int nRow, int nCol, CRect rect, CPoint, UINT nID, UINT nChar)
{
    if (m_bEditing) {
        if (CWnd* edit = GetEditWnd())
            edit->SendMessage(WM_CHAR, nChar & ~INPLACEEDIT_TYPED);
        return TRUE;
    }

    const DWORD format = GetFormat();
    DWORD style = ES_LEFT;
    if (format & DT_RIGHT)
        style = ES_RIGHT;
    else if (format & DT_CENTER)
        style = ES_CENTER;

    m_bEditing = TRUE;
    auto* edit = new CInPlaceEdit(GetGrid(), rect, style, nID, nRow, nCol, GetText(), nChar);
    if (!edit->GetSafeHwnd()) {
        // No window: nothing will ever delete the object or end the edit.
        delete edit;
        m_bEditing = FALSE;
        return FALSE;
    }
    m_hEditWnd = edit->GetSafeHwnd();
    return TRUE;
}

void CGridCell::EndEdit()
{
    if (auto* edit = dynamic_cast<CInPlaceEdit*>(GetEditWnd()))
        edit->EndEdit();
}
