// The box ends an edit by giving the focus back to the grid: its own WM_KILLFOCUS then reports
// the text, and the grid moves on as the key that ended the edit says.

#include "controls/InPlaceEdit.h"

#include <algorithm>

#include "controls/GridCtrl.h"

CInPlaceEdit::CInPlaceEdit(CWnd* parent, CRect& rect, DWORD style, UINT id, int row, int col, std::string initialText,
                           UINT firstChar)
    : m_nRow(row), m_nColumn(col), m_sInitText(std::move(initialText)), m_Rect(rect)
{
    const bool typed = (firstChar & INPLACEEDIT_TYPED) != 0;
    firstChar &= ~INPLACEEDIT_TYPED;
    m_bExitOnArrows = firstChar != static_cast<UINT>(VK_LBUTTON);

    if (!Create(WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL | style, rect, parent, id))
        return;

    SetFont(parent->GetFont());
    SetWindowText(m_sInitText.c_str());
    SetFocus();

    bool post = true;
    switch (firstChar) {
    case VK_LBUTTON:
    case VK_RETURN:
        SetSel(static_cast<int>(GetWindowTextLength()), -1);
        return;
    case VK_BACK:
        SetSel(static_cast<int>(GetWindowTextLength()), -1);
        break;
    case VK_TAB:
    case VK_SPACE:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_END:
    case VK_HOME:
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
        SetSel(0, -1);
        post = typed && firstChar != static_cast<UINT>(VK_TAB);
        break;
    default:
        SetSel(0, -1);
        break;
    }
    if (post)
        PostMessage(firstChar >= 0x80 ? WM_IME_CHAR : WM_CHAR, firstChar, 0);
}

int CInPlaceEdit::OnCreate(LPCREATESTRUCT cs) { return CEdit::OnCreate(cs); }

LRESULT CInPlaceEdit::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_SETFONT)
        return CEdit::WindowProc(message, wParam, lParam);
    // The grid's font object belongs to its default cell, which deletes it when the grid is
    // given another font: the box keeps a copy of its own (no copy: the control's own font).
    CFont copy;
    LOGFONT lf{};
    if (HFONT given = reinterpret_cast<HFONT>(wParam); given && ::GetObject(given, sizeof(lf), &lf))
        copy.CreateFontIndirect(&lf);
    const LRESULT result = CEdit::WindowProc(message, reinterpret_cast<WPARAM>(static_cast<HFONT>(copy)), lParam);
    m_Font.DeleteObject();
    m_Font.Attach(copy.Detach());
    return result;
}

BOOL CInPlaceEdit::PreTranslateMessage(MSG* msg)
{
    if (msg->message == WM_SYSCHAR)
        return TRUE;
    return CEdit::PreTranslateMessage(msg);
}

void CInPlaceEdit::OnKeyDown(UINT vkey, UINT repeat, UINT flags)
{
    switch (vkey) {
    case VK_PRIOR:
    case VK_NEXT:
    case VK_DOWN:
    case VK_UP:
    case VK_RIGHT:
    case VK_LEFT:
        if (m_bExitOnArrows || GetKeyState(VK_CONTROL) < 0) {
            m_nLastChar = vkey;
            if (CWnd* parent = GetParent())
                parent->SetFocus();
            return;
        }
        break;
    default:
        break;
    }
    CEdit::OnKeyDown(vkey, repeat, flags);
}

void CInPlaceEdit::OnChar(UINT ch, UINT repeat, UINT flags)
{
    if (ch == static_cast<UINT>(VK_TAB) || ch == static_cast<UINT>(VK_RETURN)) {
        m_nLastChar = ch;
        if (CWnd* parent = GetParent())
            parent->SetFocus();
        return;
    }
    if (ch == static_cast<UINT>(VK_ESCAPE)) {
        SetWindowText(m_sInitText.c_str());
        m_nLastChar = ch;
        if (CWnd* parent = GetParent())
            parent->SetFocus();
        return;
    }

    CEdit::OnChar(ch, repeat, flags);

    // Grow to the right as the text grows, up to the parent's client edge; never shrink.
    std::string text;
    GetWindowText(text);
    text += "  ";
    CClientDC dc(this);
    CFont* old = nullptr;
    if (HFONT font = GetFont())
        old = dc.SelectObject(CFont::FromHandle(font));
    const CSize size = dc.GetTextExtent(text);
    if (old)
        dc.SelectObject(old);
    if (size.cx > m_Rect.Width()) {
        CWnd* parent = GetParent();
        CRect client;
        if (parent)
            parent->GetClientRect(&client);
        if (parent && m_Rect.left + size.cx >= client.right)
            m_Rect.right = client.right;
        else
            m_Rect.right = m_Rect.left + size.cx;
        MoveWindow(&m_Rect, TRUE);
    }
}

void CInPlaceEdit::OnKillFocus(CWnd* next)
{
    CEdit::OnKillFocus(next);
    EndEdit();
}

UINT CInPlaceEdit::OnGetDlgCode() { return DLGC_WANTALLKEYS; }

void CInPlaceEdit::EndEdit()
{
    // Each box reports once: focus changes caused by the report or the close come back here.
    if (m_bEnding)
        return;
    m_bEnding = true;

    std::string text;
    GetWindowText(text);

    GridDispInfo info{};
    info.hdr.hwndFrom = GetSafeHwnd();
    info.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID());
    info.hdr.code = LVN_ENDLABELEDITW;
    info.item.mask = GRIDITEM_TEXT | GRIDITEM_PARAM;
    info.item.row = m_nRow;
    info.item.col = m_nColumn;
    info.item.strText = text;
    info.item.lParam = static_cast<LPARAM>(m_nLastChar);

    const HWND self = GetSafeHwnd();
    if (CWnd* owner = GetOwner())
        owner->SendMessage(WM_NOTIFY, info.hdr.idFrom, reinterpret_cast<LPARAM>(&info));
    // The window's destruction deletes this object.
    if (::IsWindow(self))
        ::SendMessage(self, WM_CLOSE, 0, 0);
}

void CInPlaceEdit::PostNcDestroy()
{
    CEdit::PostNcDestroy();
    delete this;
}
