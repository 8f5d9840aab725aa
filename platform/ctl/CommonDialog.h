#pragma once
// MFC's base of the dialogs the system itself runs (file, folder): the derived class runs its
// own modal call between PreModal, which names the window that will own it, and PostModal.

#include "platform/win/afxwin.h"

class CCommonDialog : public CDialog {
public:
    explicit CCommonDialog(CWnd* parent) : CDialog(0, parent) {}

protected:
    // The top-level window of the parent, or null without one. The modal call disables it
    // while it runs and enables it again at the end.
    HWND PreModal();
    void PostModal();
};
