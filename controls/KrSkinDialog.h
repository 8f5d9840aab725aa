#pragma once
// The base of the skinned windows: a dialog whose client area is painted from one bitmap, whose
// shape follows a window region while that bitmap is loaded, and which the user drags by any
// point of its background. Without a background it is a plain dialog.

#include "platform/gdi/afxgdi.h"
#include "platform/win/afxwin.h"

class CKrSkinDialog : public CDialog {
public:
    CKrSkinDialog(UINT templateId, CWnd* parent = nullptr);
    // For a window whose template is given later.
    explicit CKrSkinDialog(CWnd* parent);
    ~CKrSkinDialog() override;

    // Replaces the background by a bitmap resource; FALSE when it cannot be loaded (the dialog
    // then paints and shapes itself as a plain dialog).
    BOOL SetBkBitmap(UINT bitmapId);

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    BOOL OnEraseBkgnd(CDC* dc) override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnLButtonDown(UINT flags, CPoint point) override;

    bool HasBackground() const { return m_bmpBack.GetSafeHandle() != nullptr; }

    BOOL m_bDrag = TRUE;
    CBitmap m_bmpBack;
    int m_nBkWidth = 0;
    int m_nBkHeight = 0;
    int m_nCornerWidth = 0;
    int m_nCornerHeight = 0;
};
