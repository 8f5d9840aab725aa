#pragma once
// The edit box a grid cell opens over itself to edit its text. It ends on Tab, Return, Escape,
// the arrow and page keys or loss of focus, reports the result to its owner (the grid) as
// WM_NOTIFY LVN_ENDLABELEDITW with a GridDispInfo, closes its window and deletes itself.

#include <string>

#include "platform/ctl/Edit.h"

// Or-ed into the first character by a grid that starts an edit from a typed character (WM_CHAR),
// so that characters whose codes equal navigation keys ('!' to '(' and the blank) still reach
// the box instead of being taken for those keys.
constexpr UINT INPLACEEDIT_TYPED = 0x40000000;

class CInPlaceEdit : public CEdit {
public:
    // Creates the window at once; when that fails the object has no window (GetSafeHwnd() is
    // NULL) and the caller deletes it.
    CInPlaceEdit(CWnd* parent, CRect& rect, DWORD style, UINT id, int row, int col, std::string initialText,
                 UINT firstChar);

    void EndEdit();
    BOOL PreTranslateMessage(MSG* msg) override;

protected:
    void OnKeyDown(UINT vkey, UINT repeat, UINT flags) override;
    void OnChar(UINT ch, UINT repeat, UINT flags) override;
    void OnKillFocus(CWnd* next) override;
    UINT OnGetDlgCode() override;
    int OnCreate(LPCREATESTRUCT cs) override;
    void PostNcDestroy() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    int m_nRow;
    int m_nColumn;
    std::string m_sInitText;
    UINT m_nLastChar = 0;
    BOOL m_bExitOnArrows;
    CRect m_Rect;
    bool m_bEnding = false;  // set for good once the end is reported: the object then goes
    // The box draws with its own copy of the font it is given (WM_SETFONT), so that whatever the
    // grid does with its fonts while the edit runs, the box never draws with a deleted one.
    CFont m_Font;
};
