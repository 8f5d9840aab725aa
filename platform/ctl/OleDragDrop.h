#pragma once
// Data objects and drag and drop inside the process: a data source holds global-memory blocks
// by clipboard format and can go onto the clipboard or be dragged; a drop target is registered
// for a window and hears of drags over it. The drag runs its own loop on the UI thread, taking
// the mouse and key messages until the left button is released (drop) or Escape is pressed.

#include <map>

#include "platform/ctl/Clipboard.h"
#include "platform/win/afxwin.h"

using DROPEFFECT = DWORD;
constexpr DROPEFFECT DROPEFFECT_NONE = 0;
constexpr DROPEFFECT DROPEFFECT_COPY = 1;
constexpr DROPEFFECT DROPEFFECT_MOVE = 2;
constexpr DROPEFFECT DROPEFFECT_LINK = 4;
constexpr DROPEFFECT DROPEFFECT_SCROLL = 0x80000000;

using CLIPFORMAT = UINT;

class COleDataSource;

// What a paste or a drop reads: the clipboard, or the source being dragged.
class COleDataObject {
public:
    COleDataObject() = default;
    ~COleDataObject() { Release(); }
    COleDataObject(const COleDataObject&) = delete;
    COleDataObject& operator=(const COleDataObject&) = delete;

    BOOL AttachClipboard();
    void Attach(COleDataSource* source) { Release(); m_pSource = source; }
    void Release() { m_pSource = nullptr; m_bClipboard = FALSE; }
    BOOL IsDataAvailable(CLIPFORMAT format) const;
    // A copy of the block; the caller frees it (GlobalFree). NULL when the format is missing.
    HGLOBAL GetGlobalData(CLIPFORMAT format) const;

private:
    COleDataSource* m_pSource = nullptr;
    BOOL m_bClipboard = FALSE;
};

class COleDataSource {
public:
    COleDataSource() = default;
    virtual ~COleDataSource();
    COleDataSource(const COleDataSource&) = delete;
    COleDataSource& operator=(const COleDataSource&) = delete;

    // The source takes the block.
    void CacheGlobalData(CLIPFORMAT format, HGLOBAL mem);
    HGLOBAL GetCached(CLIPFORMAT format) const;
    void Empty();

    // Puts the cached text on the clipboard; the clipboard then owns this object, which must
    // have been made with new.
    void SetClipboard();
    // The source that put the clipboard's present contents there, if it is still alive.
    static COleDataSource* GetClipboardOwner();
    // Lets the clipboard keep its data but not the source object.
    static void FlushClipboard();

    DROPEFFECT DoDragDrop(DWORD okEffects = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK,
                          LPCRECT startDragRect = nullptr);

private:
    std::map<CLIPFORMAT, HGLOBAL> m_data;
};

class COleDropTarget {
public:
    COleDropTarget() = default;
    virtual ~COleDropTarget();
    COleDropTarget(const COleDropTarget&) = delete;
    COleDropTarget& operator=(const COleDropTarget&) = delete;

    BOOL Register(CWnd* wnd);
    virtual void Revoke();
    HWND GetRegisteredWindow() const { return m_hWnd; }

    virtual DROPEFFECT OnDragEnter(CWnd* wnd, COleDataObject* data, DWORD keyState, CPoint point) { return DROPEFFECT_NONE; }
    virtual DROPEFFECT OnDragOver(CWnd* wnd, COleDataObject* data, DWORD keyState, CPoint point) { return DROPEFFECT_NONE; }
    virtual BOOL OnDrop(CWnd* wnd, COleDataObject* data, DROPEFFECT effect, CPoint point) { return FALSE; }
    virtual void OnDragLeave(CWnd* wnd) {}
    virtual DROPEFFECT OnDragScroll(CWnd* wnd, DWORD keyState, CPoint point) { return DROPEFFECT_NONE; }

    // The target registered for the window or its nearest ancestor.
    static COleDropTarget* FindTarget(HWND hwnd);

private:
    HWND m_hWnd = nullptr;
};
