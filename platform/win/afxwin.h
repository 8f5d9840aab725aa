#pragma once
// The C++ window classes: CWnd and CDialog with virtual handlers in place of message maps. A
// handler that wants the underlying behaviour (the class's procedure, the dialog's, or
// DefWindowProc) calls Default(). Handlers may destroy their window and delete the object
// (PostNcDestroy); the dispatch never touches the object after a handler returns.

#include <string>

#include "platform/gdi/afxgdi.h"
#include "platform/win/dialog.h"
#include "platform/win/window.h"

class CWnd;
class CScrollBar;  // scroll bar controls; a window's own bars are passed as null

// DCs of a window, released when the object goes: they hand their handle back to the window
// layer (EndPaint, ReleaseDC) rather than deleting it as a plain CDC would.
class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* wnd);
    ~CPaintDC() override;
    PAINTSTRUCT m_ps{};

protected:
    HWND m_hWnd;
};

class CClientDC : public CDC {
public:
    explicit CClientDC(CWnd* wnd);
    ~CClientDC() override;

protected:
    HWND m_hWnd;
};

class CWindowDC : public CDC {
public:
    explicit CWindowDC(CWnd* wnd);
    ~CWindowDC() override;

protected:
    HWND m_hWnd;
};

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;

    operator HWND() const { return m_hWnd; }
    HWND GetSafeHwnd() const { return m_hWnd; }
    // The attached object, or a temporary wrapper valid until the window is destroyed.
    static CWnd* FromHandle(HWND hwnd);
    static CWnd* FromHandlePermanent(HWND hwnd);
    BOOL Attach(HWND hwnd);
    HWND Detach();

    // Creation and destruction.
    virtual BOOL Create(LPCSTR class_name, LPCSTR window_name, DWORD style, const RECT& rect, CWnd* parent, UINT id,
                        LPVOID param = nullptr);
    virtual BOOL CreateEx(DWORD ex_style, LPCSTR class_name, LPCSTR window_name, DWORD style, int x, int y, int width,
                          int height, HWND parent, HMENU id_or_menu, LPVOID param = nullptr);
    BOOL CreateEx(DWORD ex_style, LPCSTR class_name, LPCSTR window_name, DWORD style, const RECT& rect, CWnd* parent,
                  UINT id, LPVOID param = nullptr);
    virtual BOOL DestroyWindow();
    virtual BOOL PreCreateWindow(CREATESTRUCT& cs);
    virtual void PreSubclassWindow();
    virtual void PostNcDestroy();
    BOOL SubclassWindow(HWND hwnd);
    BOOL SubclassDlgItem(UINT id, CWnd* parent);
    HWND UnsubclassWindow();

    // Messages.
    virtual BOOL PreTranslateMessage(MSG* msg);
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Default();
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const { return ::SendMessage(m_hWnd, message, wParam, lParam); }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const { return ::PostMessage(m_hWnd, message, wParam, lParam); }

    // Tree, styles, state.
    CWnd* GetParent() const;
    CWnd* GetOwner() const;  // the owner, else the parent
    void SetOwner(CWnd* owner) { m_hWndOwner = owner ? owner->m_hWnd : nullptr; }
    CWnd* GetDlgItem(int id) const;
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    DWORD GetStyle() const { return static_cast<DWORD>(GetWindowLong(m_hWnd, GWL_STYLE)); }
    DWORD GetExStyle() const { return static_cast<DWORD>(GetWindowLong(m_hWnd, GWL_EXSTYLE)); }
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT flags = 0);
    BOOL ModifyStyleEx(DWORD remove, DWORD add, UINT flags = 0);
    BOOL ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
    BOOL SetScrollInfo(int bar, LPSCROLLINFO info, BOOL redraw = TRUE)
    {
        if (!info || !::IsWindow(m_hWnd))
            return FALSE;
        ::SetScrollInfo(m_hWnd, bar, info, redraw);
        return TRUE;
    }
    BOOL GetScrollInfo(int bar, LPSCROLLINFO info, UINT mask = SIF_ALL) const
    {
        if (!info)
            return FALSE;
        info->fMask = mask;
        return ::GetScrollInfo(m_hWnd, bar, info);
    }
    void ShowScrollBar(UINT bar, BOOL show = TRUE) { ::ShowScrollBar(m_hWnd, static_cast<int>(bar), show); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    void SetWindowText(LPCSTR text) { ::SetWindowText(m_hWnd, text); }
    int GetWindowText(char* buffer, int size) const { return ::GetWindowText(m_hWnd, buffer, size); }
    void GetWindowText(std::string& out) const { out = GetWindowTextString(m_hWnd); }
    int GetWindowTextLength() const { return ::GetWindowTextLength(m_hWnd); }
    void SetFont(HFONT font, BOOL redraw = TRUE) { SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw); }
    HFONT GetFont() const { return reinterpret_cast<HFONT>(SendMessage(WM_GETFONT)); }

    // Geometry.
    BOOL SetWindowPos(const CWnd* insert_after, int x, int y, int cx, int cy, UINT flags);
    void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE) { ::MoveWindow(m_hWnd, x, y, width, height, repaint); }
    void MoveWindow(const RECT* rect, BOOL repaint = TRUE) { MoveWindow(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, repaint); }
    void GetWindowRect(RECT* rect) const { ::GetWindowRect(m_hWnd, rect); }
    void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
    void ClientToScreen(POINT* point) const { ::ClientToScreen(m_hWnd, point); }
    void ClientToScreen(RECT* rect) const;
    void ScreenToClient(POINT* point) const { ::ScreenToClient(m_hWnd, point); }
    void ScreenToClient(RECT* rect) const;
    int SetWindowRgn(HRGN region, BOOL redraw) { return ::SetWindowRgn(m_hWnd, region, redraw); }
    static CWnd* WindowFromPoint(POINT point) { return FromHandle(::WindowFromPoint(point)); }

    // Painting.
    void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
    void InvalidateRect(const RECT* rect, BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, rect, erase); }
    void ValidateRect(const RECT* rect) { ::ValidateRect(m_hWnd, rect); }
    BOOL RedrawWindow(const RECT* rect = nullptr, HRGN region = nullptr, UINT flags = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE) { return ::RedrawWindow(m_hWnd, rect, region, flags); }
    void UpdateWindow() { ::UpdateWindow(m_hWnd); }
    CDC* GetDC();
    CDC* GetWindowDC();
    int ReleaseDC(CDC* dc);

    // Input.
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse, TIMERPROC proc = nullptr) { return ::SetTimer(m_hWnd, id, elapse, proc); }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
    CWnd* SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }
    static CWnd* GetFocus() { return FromHandle(::GetFocus()); }
    CWnd* SetCapture() { return FromHandle(::SetCapture(m_hWnd)); }
    static CWnd* GetCapture() { return FromHandle(::GetCapture()); }

    static const CWnd wndTop;
    static const CWnd wndBottom;
    static const CWnd wndTopMost;
    static const CWnd wndNoTopMost;

protected:
    // Routes a message to its handler; false for messages without one (DefWindowProc then).
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result);
    // Reflection: a parent hands WM_COMMAND, WM_NOTIFY and WM_DRAWITEM from a control to the
    // control's object first; true when the control handled it.
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

    virtual int OnCreate(LPCREATESTRUCT cs);
    virtual void OnDestroy();
    virtual void OnNcDestroy();
    virtual void OnClose();
    virtual void OnPaint();
    virtual BOOL OnEraseBkgnd(CDC* dc);
    virtual void OnNcPaint();
    virtual LRESULT OnNcHitTest(CPoint point);
    virtual void OnSize(UINT type, int cx, int cy);
    virtual void OnMove(int x, int y);
    virtual void OnShowWindow(BOOL show, UINT status);
    virtual void OnEnable(BOOL enable);
    virtual void OnTimer(UINT_PTR id);
    virtual void OnMouseMove(UINT flags, CPoint point);
    virtual void OnLButtonDown(UINT flags, CPoint point);
    virtual void OnLButtonUp(UINT flags, CPoint point);
    virtual void OnLButtonDblClk(UINT flags, CPoint point);
    virtual void OnRButtonDown(UINT flags, CPoint point);
    virtual void OnRButtonUp(UINT flags, CPoint point);
    virtual void OnRButtonDblClk(UINT flags, CPoint point);
    virtual void OnMButtonDown(UINT flags, CPoint point);
    virtual void OnMButtonUp(UINT flags, CPoint point);
    virtual BOOL OnMouseWheel(UINT flags, short delta, CPoint point);
    virtual void OnMouseLeave();
    virtual void OnHScroll(UINT code, UINT pos, CScrollBar* bar);
    virtual void OnVScroll(UINT code, UINT pos, CScrollBar* bar);
    virtual void OnNcLButtonDown(UINT hit, CPoint point);
    virtual void OnNcMouseMove(UINT hit, CPoint point);
    virtual void OnCaptureChanged(CWnd* wnd);
    virtual BOOL OnSetCursor(CWnd* wnd, UINT hit, UINT message);
    virtual void OnKeyDown(UINT vkey, UINT repeat, UINT flags);
    virtual void OnKeyUp(UINT vkey, UINT repeat, UINT flags);
    virtual void OnSysKeyDown(UINT vkey, UINT repeat, UINT flags);
    virtual void OnSysKeyUp(UINT vkey, UINT repeat, UINT flags);
    virtual void OnChar(UINT ch, UINT repeat, UINT flags);
    virtual void OnSysChar(UINT ch, UINT repeat, UINT flags);
    virtual void OnSetFocus(CWnd* old);
    virtual void OnKillFocus(CWnd* next);
    virtual UINT OnGetDlgCode();
    virtual void OnSysColorChange();

    WNDPROC m_pfnSuper = nullptr;  // the procedure underneath (class, dialog or subclassed)
    HWND m_hWndOwner = nullptr;

    friend LRESULT AfxWndProc(HWND, UINT, WPARAM, LPARAM);
    friend void AfxHookCreate(HWND);

private:
    explicit CWnd(HWND special) : m_hWnd(special) {}
};

struct CDataExchange {
    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
};

class CDialog : public CWnd {
public:
    CDialog() = default;
    explicit CDialog(UINT template_id, CWnd* parent = nullptr) : m_nIDHelp(template_id), m_pParentWnd(parent) {}

    virtual INT_PTR DoModal();
    virtual BOOL Create(UINT template_id, CWnd* parent = nullptr);
    BOOL CreateIndirect(const DialogTemplate* tmpl, CWnd* parent = nullptr);
    void EndDialog(int result);
    BOOL UpdateData(BOOL save_and_validate = TRUE);

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange* dx);
    BOOL PreTranslateMessage(MSG* msg) override;

    UINT m_nIDHelp = 0;
    const DialogTemplate* m_lpDialogTemplate = nullptr;  // used when set, else the table by id
    CWnd* m_pParentWnd = nullptr;

protected:
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    using CWnd::Create;
    const DialogTemplate* Template() const;
};

// The wait cursor for the object's lifetime.
class CWaitCursor {
public:
    CWaitCursor() : m_old(::SetCursor(::LoadCursor(nullptr, IDC_WAIT))) {}
    ~CWaitCursor() { ::SetCursor(m_old ? m_old : ::LoadCursor(nullptr, IDC_ARROW)); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
    void Restore() { ::SetCursor(::LoadCursor(nullptr, IDC_WAIT)); }

private:
    HCURSOR m_old;
};

int AfxMessageBox(LPCSTR text, UINT type = MB_OK, UINT help_id = 0);
// Registers a class under its name; a class of that name registered already counts as done.
BOOL AfxRegisterClass(WNDCLASS* wc);
LRESULT AfxWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
