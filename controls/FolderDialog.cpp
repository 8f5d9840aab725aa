#include "controls/FolderDialog.h"

#include "platform/win/messagebeep.h"

CFolderDialog::CFolderDialog(LPCSTR title, LPCSTR startFolder, CWnd* parent, UINT flags)
    : CCommonDialog(parent), m_strTitle(title ? title : ""), m_displayName(new char[MAX_PATH]())
{
    m_bi.hwndOwner = parent ? parent->GetSafeHwnd() : nullptr;
    m_bi.pidlRoot = nullptr;
    m_bi.pszDisplayName = m_displayName.get();
    m_bi.lpszTitle = title ? m_strTitle.c_str() : nullptr;
    m_bi.ulFlags = flags;
    m_bi.lpfn = &CFolderDialog::BrowseCallbackProc;
    m_bi.lParam = reinterpret_cast<LPARAM>(this);
    if (startFolder)
        SetSelectedFolder(startFolder);
}

CFolderDialog::~CFolderDialog()
{
    if (m_bi.pidlRoot)
        CoTaskMemFree(const_cast<ITEMIDLIST*>(m_bi.pidlRoot));
    m_bi = BROWSEINFO{};
}

BOOL CFolderDialog::SetSelectedFolder(LPCSTR folder)
{
    if (!folder)
        return FALSE;
    m_szSelectedFolder = folder;
    return TRUE;
}

INT_PTR CFolderDialog::DoModal()
{
    m_bi.hwndOwner = PreModal();
    INT_PTR result = IDCANCEL;
    if (LPITEMIDLIST item = SHBrowseForFolder(&m_bi)) {
        std::string path;
        if (SHGetPathFromIDList(item, &path)) {
            m_szFolderPath = path;
            result = IDOK;
        } else {
            result = -1;
        }
        CoTaskMemFree(item);
    }
    PostModal();
    return result;
}

int CFolderDialog::BrowseCallbackProc(HWND hwnd, UINT message, LPARAM lParam, LPARAM data)
{
    auto* dlg = reinterpret_cast<CFolderDialog*>(data);
    // A selection made from a handler calls back in: the outer handler keeps its window.
    const HWND outer = dlg->m_hDialogBox;
    dlg->m_hDialogBox = hwnd;
    int result = 0;
    switch (message) {
    case BFFM_INITIALIZED: dlg->OnInitialized(); break;
    case BFFM_SELCHANGED: dlg->OnSelChanged(reinterpret_cast<LPITEMIDLIST>(lParam)); break;
    case BFFM_VALIDATEFAILEDW: result = dlg->OnValidateFailed(reinterpret_cast<LPCSTR>(lParam)); break;
    case BFFM_IUNKNOWN: dlg->OnIUnknown(reinterpret_cast<LPUNKNOWN>(lParam)); break;
    default: break;
    }
    dlg->m_hDialogBox = outer;
    return result;
}

void CFolderDialog::OnInitialized()
{
    if (!m_szSelectedFolder.empty())
        SetSelection(m_szSelectedFolder.c_str());
}

void CFolderDialog::OnSelChanged(LPITEMIDLIST item)
{
    if (!(m_bi.ulFlags & BIF_STATUSTEXT))
        return;
    std::string path;
    if (SHGetPathFromIDList(item, &path))
        SetStatusText(path.c_str());
}

int CFolderDialog::OnValidateFailed(LPCSTR)
{
    MessageBeep(MB_ICONHAND);
    return 1;  // keeps the browser open
}

void CFolderDialog::OnIUnknown(LPUNKNOWN) {}

void CFolderDialog::SetSelection(LPCSTR path)
{
    ::SendMessage(m_hDialogBox, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(path));
}

void CFolderDialog::SetStatusText(LPCSTR text)
{
    ::SendMessage(m_hDialogBox, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(text));
}
