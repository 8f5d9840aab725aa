// CWnd and CDialog over the flat window functions. A created or subclassed window's procedure
// becomes AfxWndProc, which finds the object and calls its WindowProc; the procedure it
// replaced stays underneath as m_pfnSuper, reached through Default().

#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/win/afxwin.h"
#include "platform/win/internal.h"

void AfxHookCreate(HWND hwnd);

namespace {

std::unordered_map<HWND, CWnd*>& Permanent()
{
    static std::unordered_map<HWND, CWnd*> map;
    return map;
}

// Wrappers of windows no object is attached to; dropped once their window has gone.
std::unordered_map<HWND, std::unique_ptr<CWnd>>& Temporary()
{
    static std::unordered_map<HWND, std::unique_ptr<CWnd>> map;
    return map;
}

struct CurrentMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
thread_local std::vector<CurrentMessage> t_messages;
thread_local CWnd* t_creating = nullptr;

bool WalkPreTranslate(MSG* msg)
{
    for (HWND h = msg->hwnd; h;) {
        HWND parent = (GetWindowLong(h, GWL_STYLE) & WS_CHILD) ? GetParent(h) : nullptr;
        if (CWnd* w = CWnd::FromHandlePermanent(h))
            if (w->PreTranslateMessage(msg))
                return true;
        if (!IsWindow(parent))
            break;
        h = parent;
    }
    return false;
}

struct Install {
    Install()
    {
        qv::win::g_on_create = AfxHookCreate;
        qv::win::g_pre_translate = WalkPreTranslate;
    }
} g_install;

}  // namespace

const CWnd CWnd::wndTop(HWND_TOP);
const CWnd CWnd::wndBottom(HWND_BOTTOM);
const CWnd CWnd::wndTopMost(HWND_TOPMOST);
const CWnd CWnd::wndNoTopMost(HWND_NOTOPMOST);

void AfxHookCreate(HWND hwnd)
{
    CWnd* w = t_creating;
    if (!w)
        return;
    t_creating = nullptr;
    w->Attach(hwnd);
    w->PreSubclassWindow();
    w->m_pfnSuper = reinterpret_cast<WNDPROC>(GetWindowLongPtr(hwnd, GWLP_WNDPROC));
    SetWindowLongPtr(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc));
}

LRESULT AfxWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* w = CWnd::FromHandlePermanent(hwnd);
    if (!w)
        return ::DefWindowProc(hwnd, message, wParam, lParam);
    return w->WindowProc(message, wParam, lParam);  // `w` may be gone after this
}

CPaintDC::CPaintDC(CWnd* wnd) : m_hWnd(wnd->m_hWnd) { Attach(BeginPaint(m_hWnd, &m_ps)); }
CPaintDC::~CPaintDC()
{
    Detach();
    EndPaint(m_hWnd, &m_ps);
}

CClientDC::CClientDC(CWnd* wnd) : m_hWnd(wnd ? wnd->m_hWnd : nullptr) { Attach(::GetDC(m_hWnd)); }
CClientDC::~CClientDC() { ::ReleaseDC(m_hWnd, Detach()); }

CWindowDC::CWindowDC(CWnd* wnd) : m_hWnd(wnd->m_hWnd) { Attach(::GetWindowDC(m_hWnd)); }
CWindowDC::~CWindowDC() { ::ReleaseDC(m_hWnd, Detach()); }

CWnd::~CWnd()
{
    if (m_hWnd && Permanent().count(m_hWnd) && Permanent()[m_hWnd] == this) {
        // An object going away with its window still there takes the window with it. The
        // window goes back to the procedure underneath first, so that its own destroy messages
        // (WM_DESTROY, WM_NCDESTROY: where a dialog or control frees its data) still reach it.
        HWND hwnd = m_pfnSuper ? UnsubclassWindow() : Detach();
        ::DestroyWindow(hwnd);
    }
}

CWnd* CWnd::FromHandlePermanent(HWND hwnd)
{
    auto it = Permanent().find(hwnd);
    return it == Permanent().end() ? nullptr : it->second;
}

CWnd* CWnd::FromHandle(HWND hwnd)
{
    if (!hwnd)
        return nullptr;
    if (CWnd* w = FromHandlePermanent(hwnd))
        return w;
    auto& temps = Temporary();
    std::erase_if(temps, [](const auto& e) { return !IsWindow(e.first); });
    auto& slot = temps[hwnd];
    if (!slot) {
        slot.reset(new CWnd());
        slot->m_hWnd = hwnd;
    }
    return slot.get();
}

BOOL CWnd::Attach(HWND hwnd)
{
    if (!hwnd || m_hWnd)
        return FALSE;
    m_hWnd = hwnd;
    Permanent()[hwnd] = this;
    Temporary().erase(hwnd);
    return TRUE;
}

HWND CWnd::Detach()
{
    HWND hwnd = m_hWnd;
    if (hwnd)
        Permanent().erase(hwnd);
    m_hWnd = nullptr;
    return hwnd;
}

BOOL CWnd::PreCreateWindow(CREATESTRUCT&) { return TRUE; }
void CWnd::PreSubclassWindow() {}
void CWnd::PostNcDestroy() {}
BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

BOOL CWnd::CreateEx(DWORD ex_style, LPCSTR class_name, LPCSTR window_name, DWORD style, int x, int y, int width,
                    int height, HWND parent, HMENU id_or_menu, LPVOID param)
{
    CREATESTRUCT cs{param, nullptr, id_or_menu, parent, height, width, y, x, static_cast<LONG>(style), window_name, class_name, ex_style};
    if (!PreCreateWindow(cs))
        return FALSE;
    t_creating = this;
    HWND hwnd = ::CreateWindowEx(cs.dwExStyle, cs.lpszClass, cs.lpszName, static_cast<DWORD>(cs.style), cs.x, cs.y,
                                 cs.cx, cs.cy, cs.hwndParent, cs.hMenu, nullptr, cs.lpCreateParams);
    t_creating = nullptr;
    return hwnd != nullptr;
}

BOOL CWnd::CreateEx(DWORD ex_style, LPCSTR class_name, LPCSTR window_name, DWORD style, const RECT& rect, CWnd* parent,
                    UINT id, LPVOID param)
{
    return CreateEx(ex_style, class_name, window_name, style, rect.left, rect.top, rect.right - rect.left,
                    rect.bottom - rect.top, parent ? parent->m_hWnd : nullptr,
                    reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), param);
}

BOOL CWnd::Create(LPCSTR class_name, LPCSTR window_name, DWORD style, const RECT& rect, CWnd* parent, UINT id, LPVOID param)
{
    return CreateEx(0, class_name, window_name, style | WS_CHILD, rect, parent, id, param);
}

BOOL CWnd::DestroyWindow() { return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE; }

BOOL CWnd::SubclassWindow(HWND hwnd)
{
    if (!Attach(hwnd))
        return FALSE;
    PreSubclassWindow();
    m_pfnSuper = reinterpret_cast<WNDPROC>(GetWindowLongPtr(hwnd, GWLP_WNDPROC));
    SetWindowLongPtr(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc));
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent)
{
    HWND control = parent ? ::GetDlgItem(parent->m_hWnd, static_cast<int>(id)) : nullptr;
    return control ? SubclassWindow(control) : FALSE;
}

HWND CWnd::UnsubclassWindow()
{
    if (!m_hWnd)
        return nullptr;
    SetWindowLongPtr(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    m_pfnSuper = nullptr;
    return Detach();
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    t_messages.push_back({message, wParam, lParam});
    struct Pop {
        ~Pop() { t_messages.pop_back(); }
    } pop;
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result))
        result = DefWindowProc(message, wParam, lParam);
    return result;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return m_pfnSuper ? CallWindowProc(m_pfnSuper, m_hWnd, message, wParam, lParam)
                      : ::DefWindowProc(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default()
{
    const CurrentMessage& m = t_messages.back();
    return DefWindowProc(m.message, m.wParam, m.lParam);
}

CWnd* CWnd::GetParent() const { return FromHandle(::GetParent(m_hWnd)); }

CWnd* CWnd::GetOwner() const
{
    if (m_hWndOwner && IsWindow(m_hWndOwner))
        return FromHandle(m_hWndOwner);
    return GetParent();
}

CWnd* CWnd::GetDlgItem(int id) const { return FromHandle(::GetDlgItem(m_hWnd, id)); }

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT flags)
{
    DWORD old = GetStyle(), style = (old & ~remove) | add;
    if (style == old)
        return FALSE;
    SetWindowLong(m_hWnd, GWL_STYLE, static_cast<LONG>(style));
    if (flags)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | flags);
    return TRUE;
}

BOOL CWnd::ModifyStyleEx(DWORD remove, DWORD add, UINT flags)
{
    DWORD old = GetExStyle(), style = (old & ~remove) | add;
    if (style == old)
        return FALSE;
    SetWindowLong(m_hWnd, GWL_EXSTYLE, static_cast<LONG>(style));
    if (flags)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | flags);
    return TRUE;
}

BOOL CWnd::SetWindowPos(const CWnd* insert_after, int x, int y, int cx, int cy, UINT flags)
{
    return ::SetWindowPos(m_hWnd, insert_after ? insert_after->m_hWnd : nullptr, x, y, cx, cy, flags);
}

void CWnd::ClientToScreen(RECT* rect) const
{
    ::ClientToScreen(m_hWnd, reinterpret_cast<POINT*>(&rect->left));
    ::ClientToScreen(m_hWnd, reinterpret_cast<POINT*>(&rect->right));
}

void CWnd::ScreenToClient(RECT* rect) const
{
    ::ScreenToClient(m_hWnd, reinterpret_cast<POINT*>(&rect->left));
    ::ScreenToClient(m_hWnd, reinterpret_cast<POINT*>(&rect->right));
}

CDC* CWnd::GetDC()
{
    HDC dc = ::GetDC(m_hWnd);
    if (!dc)
        return nullptr;
    CDC* wrapper = new CDC();
    wrapper->Attach(dc);
    return wrapper;
}

CDC* CWnd::GetWindowDC()
{
    HDC dc = ::GetWindowDC(m_hWnd);
    if (!dc)
        return nullptr;
    CDC* wrapper = new CDC();
    wrapper->Attach(dc);
    return wrapper;
}

int CWnd::ReleaseDC(CDC* dc)
{
    if (!dc)
        return 0;
    int r = ::ReleaseDC(m_hWnd, dc->Detach());
    delete dc;
    return r;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    const CPoint pt(lParam);
    const UINT flags = static_cast<UINT>(wParam);
    const UINT repeat = LOWORD(static_cast<DWORD>(lParam)), keyflags = HIWORD(static_cast<DWORD>(lParam));
    *result = 0;
    switch (message) {
    case WM_COMMAND:
        if (lParam) {
            CWnd* child = FromHandlePermanent(reinterpret_cast<HWND>(lParam));
            if (child && child != this && child->OnChildNotify(message, wParam, lParam, result))
                return TRUE;
        }
        return OnCommand(wParam, lParam);
    case WM_NOTIFY: {
        const NMHDR* nm = reinterpret_cast<const NMHDR*>(lParam);
        CWnd* child = nm ? FromHandlePermanent(nm->hwndFrom) : nullptr;
        if (child && child != this && child->OnChildNotify(message, wParam, lParam, result))
            return TRUE;
        return OnNotify(wParam, lParam, result);
    }
    case WM_DRAWITEM: {
        const DRAWITEMSTRUCT* dis = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        CWnd* child = dis ? FromHandlePermanent(dis->hwndItem) : nullptr;
        if (child && child != this && child->OnChildNotify(message, wParam, lParam, result)) {
            *result = TRUE;
            return TRUE;
        }
        return FALSE;
    }
    case WM_CREATE: *result = OnCreate(reinterpret_cast<LPCREATESTRUCT>(lParam)); return TRUE;
    case WM_DESTROY: OnDestroy(); return TRUE;
    case WM_NCDESTROY: OnNcDestroy(); return TRUE;  // the object may be gone now
    case WM_CLOSE: OnClose(); return TRUE;
    case WM_PAINT: OnPaint(); return TRUE;
    case WM_ERASEBKGND: *result = OnEraseBkgnd(CDC::FromHandle(reinterpret_cast<HDC>(wParam))); return TRUE;
    case WM_NCPAINT: OnNcPaint(); return TRUE;
    case WM_NCHITTEST: *result = OnNcHitTest(pt); return TRUE;
    case WM_SIZE: OnSize(flags, LOWORD(static_cast<DWORD>(lParam)), HIWORD(static_cast<DWORD>(lParam))); return TRUE;
    case WM_MOVE: OnMove(pt.x, pt.y); return TRUE;
    case WM_SHOWWINDOW: OnShowWindow(static_cast<BOOL>(wParam), static_cast<UINT>(lParam)); return TRUE;
    case WM_ENABLE: OnEnable(static_cast<BOOL>(wParam)); return TRUE;
    case WM_TIMER: OnTimer(wParam); return TRUE;
    case WM_MOUSEMOVE: OnMouseMove(flags, pt); return TRUE;
    case WM_LBUTTONDOWN: OnLButtonDown(flags, pt); return TRUE;
    case WM_LBUTTONUP: OnLButtonUp(flags, pt); return TRUE;
    case WM_LBUTTONDBLCLK: OnLButtonDblClk(flags, pt); return TRUE;
    case WM_RBUTTONDOWN: OnRButtonDown(flags, pt); return TRUE;
    case WM_RBUTTONUP: OnRButtonUp(flags, pt); return TRUE;
    case WM_RBUTTONDBLCLK: OnRButtonDblClk(flags, pt); return TRUE;
    case WM_MBUTTONDOWN: OnMButtonDown(flags, pt); return TRUE;
    case WM_MBUTTONUP: OnMButtonUp(flags, pt); return TRUE;
    case WM_MOUSEWHEEL: *result = OnMouseWheel(LOWORD(wParam), GET_WHEEL_DELTA_WPARAM(wParam), pt); return TRUE;
    case WM_MOUSELEAVE: OnMouseLeave(); return TRUE;
    case WM_HSCROLL: OnHScroll(LOWORD(wParam), HIWORD(wParam), nullptr); return TRUE;
    case WM_VSCROLL: OnVScroll(LOWORD(wParam), HIWORD(wParam), nullptr); return TRUE;
    case WM_NCLBUTTONDOWN: OnNcLButtonDown(flags, pt); return TRUE;
    case WM_NCMOUSEMOVE: OnNcMouseMove(flags, pt); return TRUE;
    case WM_CAPTURECHANGED: OnCaptureChanged(FromHandle(reinterpret_cast<HWND>(lParam))); return TRUE;
    case WM_SETCURSOR:
        *result = OnSetCursor(FromHandle(reinterpret_cast<HWND>(wParam)), LOWORD(static_cast<DWORD>(lParam)), HIWORD(static_cast<DWORD>(lParam)));
        return TRUE;
    case WM_KEYDOWN: OnKeyDown(flags, repeat, keyflags); return TRUE;
    case WM_KEYUP: OnKeyUp(flags, repeat, keyflags); return TRUE;
    case WM_SYSKEYDOWN: OnSysKeyDown(flags, repeat, keyflags); return TRUE;
    case WM_SYSKEYUP: OnSysKeyUp(flags, repeat, keyflags); return TRUE;
    case WM_CHAR: OnChar(flags, repeat, keyflags); return TRUE;
    case WM_SYSCHAR: OnSysChar(flags, repeat, keyflags); return TRUE;
    case WM_SETFOCUS: OnSetFocus(FromHandle(reinterpret_cast<HWND>(wParam))); return TRUE;
    case WM_KILLFOCUS: OnKillFocus(FromHandle(reinterpret_cast<HWND>(wParam))); return TRUE;
    case WM_GETDLGCODE: *result = OnGetDlgCode(); return TRUE;
    case WM_SYSCOLORCHANGE: OnSysColorChange(); return TRUE;
    }
    return FALSE;
}

BOOL CWnd::OnCommand(WPARAM, LPARAM) { return FALSE; }
BOOL CWnd::OnNotify(WPARAM, LPARAM, LRESULT*) { return FALSE; }
BOOL CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*) { return FALSE; }

int CWnd::OnCreate(LPCREATESTRUCT) { return static_cast<int>(Default()); }
void CWnd::OnDestroy() { Default(); }

void CWnd::OnNcDestroy()
{
    Default();
    m_pfnSuper = nullptr;
    Detach();
    PostNcDestroy();  // may delete this
}

void CWnd::OnClose() { Default(); }
void CWnd::OnPaint() { Default(); }
BOOL CWnd::OnEraseBkgnd(CDC*) { return static_cast<BOOL>(Default()); }
void CWnd::OnNcPaint() { Default(); }
LRESULT CWnd::OnNcHitTest(CPoint) { return Default(); }
void CWnd::OnSize(UINT, int, int) { Default(); }
void CWnd::OnMove(int, int) { Default(); }
void CWnd::OnShowWindow(BOOL, UINT) { Default(); }
void CWnd::OnEnable(BOOL) { Default(); }
void CWnd::OnTimer(UINT_PTR) { Default(); }
void CWnd::OnMouseMove(UINT, CPoint) { Default(); }
void CWnd::OnLButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnLButtonUp(UINT, CPoint) { Default(); }
void CWnd::OnLButtonDblClk(UINT, CPoint) { Default(); }
void CWnd::OnRButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnRButtonUp(UINT, CPoint) { Default(); }
void CWnd::OnRButtonDblClk(UINT, CPoint) { Default(); }
void CWnd::OnMButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnMButtonUp(UINT, CPoint) { Default(); }
BOOL CWnd::OnMouseWheel(UINT, short, CPoint) { return static_cast<BOOL>(Default()); }
void CWnd::OnMouseLeave() { Default(); }
void CWnd::OnHScroll(UINT, UINT, CScrollBar*) { Default(); }
void CWnd::OnVScroll(UINT, UINT, CScrollBar*) { Default(); }
void CWnd::OnNcLButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnNcMouseMove(UINT, CPoint) { Default(); }
void CWnd::OnCaptureChanged(CWnd*) { Default(); }
BOOL CWnd::OnSetCursor(CWnd*, UINT, UINT) { return static_cast<BOOL>(Default()); }
void CWnd::OnKeyDown(UINT, UINT, UINT) { Default(); }
void CWnd::OnKeyUp(UINT, UINT, UINT) { Default(); }
void CWnd::OnSysKeyDown(UINT, UINT, UINT) { Default(); }
void CWnd::OnSysKeyUp(UINT, UINT, UINT) { Default(); }
void CWnd::OnChar(UINT, UINT, UINT) { Default(); }
void CWnd::OnSysChar(UINT, UINT, UINT) { Default(); }
void CWnd::OnSetFocus(CWnd*) { Default(); }
void CWnd::OnKillFocus(CWnd*) { Default(); }
UINT CWnd::OnGetDlgCode() { return static_cast<UINT>(Default()); }
void CWnd::OnSysColorChange() { Default(); }

const DialogTemplate* CDialog::Template() const
{
    return m_lpDialogTemplate ? m_lpDialogTemplate : qv::win::FindDialogTemplate(m_nIDHelp);
}

BOOL CDialog::CreateIndirect(const DialogTemplate* tmpl, CWnd* parent)
{
    if (!tmpl || m_hWnd)
        return FALSE;
    if (parent)
        m_pParentWnd = parent;
    t_creating = this;
    HWND hwnd = CreateDialogIndirectParam(nullptr, tmpl, m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr, nullptr, 0);
    t_creating = nullptr;
    return hwnd != nullptr;
}

BOOL CDialog::Create(UINT template_id, CWnd* parent)
{
    m_nIDHelp = template_id;
    return CreateIndirect(Template(), parent);
}

INT_PTR CDialog::DoModal()
{
    if (!CreateIndirect(Template(), m_pParentWnd))
        return -1;
    INT_PTR result = qv::win::RunModalLoop(m_hWnd);
    if (m_hWnd)
        DestroyWindow();
    return result;
}

void CDialog::EndDialog(int result) { ::EndDialog(m_hWnd, result); }

BOOL CDialog::UpdateData(BOOL save_and_validate)
{
    CDataExchange dx{save_and_validate, this};
    DoDataExchange(&dx);
    return TRUE;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (UpdateData(TRUE))
        EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }
void CDialog::DoDataExchange(CDataExchange*) {}

BOOL CDialog::PreTranslateMessage(MSG* msg)
{
    const bool input = (msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST) ||
                       (msg->message >= WM_MOUSEFIRST && msg->message <= WM_MOUSELAST);
    return input && IsDialogMessage(m_hWnd, msg);
}

BOOL CDialog::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message == WM_INITDIALOG) {
        Default();
        *result = OnInitDialog();
        return TRUE;
    }
    return CWnd::OnWndMsg(message, wParam, lParam, result);
}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == IDOK) {
            OnOK();
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            return TRUE;
        }
    }
    return CWnd::OnCommand(wParam, lParam);
}

int AfxMessageBox(LPCSTR text, UINT type, UINT)
{
    HWND owner = GetActiveWindow();
    return MessageBox(owner, text, "", type);
}

BOOL AfxRegisterClass(WNDCLASS* wc)
{
    WNDCLASS existing;
    if (GetClassInfo(nullptr, wc->lpszClassName, &existing))
        return TRUE;  // registered once per process; a second call is not a failure
    return RegisterClass(wc) != 0;
}
