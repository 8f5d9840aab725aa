#pragma once
// A folder picker over the shell's folder browser: construct with a title, the folder to start
// at and the parent, DoModal, and read the chosen folder from m_szFolderPath after IDOK.
// Paths are kept whole, whatever their length.

#include <memory>
#include <string>

#include "platform/ctl/CommonDialog.h"
#include "platform/ctl/FolderBrowser.h"

class CFolderDialog : public CCommonDialog {
public:
    CFolderDialog(LPCSTR title = nullptr, LPCSTR startFolder = nullptr, CWnd* parent = nullptr,
                  UINT flags = BIF_RETURNONLYFSDIRS);
    ~CFolderDialog() override;

    // The folder selected when the browser opens; FALSE (and nothing changed) without a text.
    BOOL SetSelectedFolder(LPCSTR folder);
    // IDOK with the chosen folder in m_szFolderPath, IDCANCEL, or -1 when the chosen item is
    // no existing folder.
    INT_PTR DoModal() override;

    virtual void OnInitialized();
    virtual void OnSelChanged(LPITEMIDLIST item);
    virtual int OnValidateFailed(LPCSTR text);
    virtual void OnIUnknown(LPUNKNOWN unknown);

    // While the browser runs (from the handlers above).
    void SetSelection(LPCSTR path);
    void SetStatusText(LPCSTR text);

    BROWSEINFO m_bi{};
    std::string m_szSelectedFolder;  // start folder; empty = the browser's default place
    std::string m_szFolderPath;      // the chosen folder
    HWND m_hDialogBox = nullptr;     // the browser, while one of its callbacks runs

    static int BrowseCallbackProc(HWND hwnd, UINT message, LPARAM lParam, LPARAM data);

private:
    std::string m_strTitle;
    std::unique_ptr<char[]> m_displayName;
};
