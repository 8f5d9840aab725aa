// The registry of drop targets and the drag loop.

#include "platform/ctl/OleDragDrop.h"

#include <cstring>
#include <memory>

namespace {

std::map<HWND, COleDropTarget*>& Targets()
{
    static std::map<HWND, COleDropTarget*> map;
    return map;
}

std::unique_ptr<COleDataSource>& ClipboardSource()
{
    static std::unique_ptr<COleDataSource> source;
    return source;
}

HGLOBAL CopyBlock(HGLOBAL mem)
{
    if (!mem)
        return nullptr;
    const size_t size = GlobalSize(mem);
    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!copy)
        return nullptr;
    if (size) {
        std::memcpy(GlobalLock(copy), GlobalLock(mem), size);
        GlobalUnlock(mem);
        GlobalUnlock(copy);
    }
    return copy;
}

DWORD KeyState()
{
    DWORD keys = 0;
    if (GetKeyState(VK_LBUTTON) < 0)
        keys |= MK_LBUTTON;
    if (GetKeyState(VK_RBUTTON) < 0)
        keys |= MK_RBUTTON;
    if (GetKeyState(VK_SHIFT) < 0)
        keys |= MK_SHIFT;
    if (GetKeyState(VK_CONTROL) < 0)
        keys |= MK_CONTROL;
    return keys;
}

}  // namespace

// ---- data object ----

BOOL COleDataObject::AttachClipboard()
{
    Release();
    m_bClipboard = TRUE;
    return TRUE;
}

BOOL COleDataObject::IsDataAvailable(CLIPFORMAT format) const
{
    if (m_pSource)
        return m_pSource->GetCached(format) != nullptr;
    return m_bClipboard && IsClipboardFormatAvailable(format);
}

HGLOBAL COleDataObject::GetGlobalData(CLIPFORMAT format) const
{
    if (m_pSource)
        return CopyBlock(m_pSource->GetCached(format));
    if (!m_bClipboard || !OpenClipboard(nullptr))
        return nullptr;
    HGLOBAL copy = CopyBlock(static_cast<HGLOBAL>(GetClipboardData(format)));
    CloseClipboard();
    return copy;
}

// ---- data source ----

COleDataSource::~COleDataSource() { Empty(); }

void COleDataSource::CacheGlobalData(CLIPFORMAT format, HGLOBAL mem)
{
    HGLOBAL& slot = m_data[format];
    if (slot != mem)
        GlobalFree(slot);
    slot = mem;
}

HGLOBAL COleDataSource::GetCached(CLIPFORMAT format) const
{
    auto it = m_data.find(format);
    return it == m_data.end() ? nullptr : it->second;
}

void COleDataSource::Empty()
{
    for (auto& [format, mem] : m_data)
        GlobalFree(mem);
    m_data.clear();
}

void COleDataSource::SetClipboard()
{
    if (OpenClipboard(nullptr)) {
        EmptyClipboard();
        for (auto& [format, mem] : m_data)
            if (HGLOBAL copy = CopyBlock(mem))
                if (!SetClipboardData(format, copy))
                    GlobalFree(copy);
        CloseClipboard();
    }
    if (ClipboardSource().get() != this)
        ClipboardSource().reset(this);
}

COleDataSource* COleDataSource::GetClipboardOwner() { return ClipboardSource().get(); }

void COleDataSource::FlushClipboard() { ClipboardSource().reset(); }

DROPEFFECT COleDataSource::DoDragDrop(DWORD okEffects, LPCRECT startDragRect)
{
    COleDataObject data;
    data.Attach(this);
    HWND over = nullptr;  // the window whose target heard the last enter or over
    DROPEFFECT effect = DROPEFFECT_NONE;

    auto leave = [&] {
        if (over) {
            if (COleDropTarget* t = COleDropTarget::FindTarget(over))
                t->OnDragLeave(CWnd::FromHandle(t->GetRegisteredWindow()));
        }
        over = nullptr;
        effect = DROPEFFECT_NONE;
    };
    auto track = [&](POINT screen) {
        HWND under = WindowFromPoint(screen);
        COleDropTarget* target = COleDropTarget::FindTarget(under);
        HWND window = target ? target->GetRegisteredWindow() : nullptr;
        if (window != over)
            leave();
        if (!target)
            return;
        CWnd* wnd = CWnd::FromHandle(window);
        CPoint client = screen;
        ::ScreenToClient(window, &client);
        const DWORD keys = KeyState();
        DROPEFFECT e;
        if (!over) {
            over = window;
            e = target->OnDragEnter(wnd, &data, keys, client);
        } else {
            // A target that scrolls during the drag answers with the scroll bit; otherwise
            // its OnDragOver decides.
            e = target->OnDragScroll(wnd, keys, client);
            if (!(e & DROPEFFECT_SCROLL))
                e = target->OnDragOver(wnd, &data, keys, client);
        }
        effect = e & okEffects;
    };

    POINT start{};
    GetCursorPos(&start);
    track(start);
    for (;;) {
        MSG msg;
        const BOOL got = GetMessage(&msg, nullptr, 0, 0);
        if (got <= 0) {
            if (got == 0)
                PostQuitMessage(static_cast<int>(msg.wParam));
            leave();
            return DROPEFFECT_NONE;
        }
        if (msg.message == WM_MOUSEMOVE || msg.message == WM_NCMOUSEMOVE) {
            track(msg.pt);
        } else if (msg.message == WM_LBUTTONUP || msg.message == WM_NCLBUTTONUP) {
            track(msg.pt);
            if (!over || effect == DROPEFFECT_NONE) {
                leave();
                return DROPEFFECT_NONE;
            }
            COleDropTarget* target = COleDropTarget::FindTarget(over);
            HWND window = over;
            over = nullptr;
            CPoint client = msg.pt;
            ::ScreenToClient(window, &client);
            const DROPEFFECT dropped = effect;
            if (!target || !target->OnDrop(CWnd::FromHandle(window), &data, dropped, client))
                return DROPEFFECT_NONE;
            return dropped;
        } else if ((msg.message >= WM_LBUTTONDOWN && msg.message <= WM_MOUSELAST) ||
                   (msg.message >= WM_NCLBUTTONDOWN && msg.message <= WM_NCMBUTTONDOWN)) {
            // Other buttons do nothing while dragging.
        } else if (msg.message == WM_KEYDOWN && msg.wParam == static_cast<WPARAM>(VK_ESCAPE)) {
            leave();
            return DROPEFFECT_NONE;
        } else if (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) {
            // Ctrl and Shift change the effect at once.
            POINT p{};
            GetCursorPos(&p);
            track(p);
        } else {
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
    }
}

// ---- drop target ----

COleDropTarget::~COleDropTarget() { COleDropTarget::Revoke(); }

BOOL COleDropTarget::Register(CWnd* wnd)
{
    if (!wnd || !::IsWindow(wnd->GetSafeHwnd()))
        return FALSE;
    if (m_hWnd)
        Targets().erase(m_hWnd);
    m_hWnd = wnd->GetSafeHwnd();
    Targets()[m_hWnd] = this;
    return TRUE;
}

void COleDropTarget::Revoke()
{
    if (!m_hWnd)
        return;
    auto it = Targets().find(m_hWnd);
    if (it != Targets().end() && it->second == this)
        Targets().erase(it);
    m_hWnd = nullptr;
}

COleDropTarget* COleDropTarget::FindTarget(HWND hwnd)
{
    for (HWND h = hwnd; h && ::IsWindow(h); h = GetParent(h)) {
        auto it = Targets().find(h);
        if (it != Targets().end())
            return it->second;
    }
    return nullptr;
}
