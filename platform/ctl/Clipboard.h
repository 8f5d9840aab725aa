#pragma once
// Movable global memory blocks and the text clipboard. The clipboard keeps CF_TEXT as UTF-8
// (the native text of the desktop's clipboard): it is handed to SDL when the video subsystem
// runs, and a copy stays in the process, so that drivers without a clipboard (the dummy one)
// still give back what was put on it.

#include <cstddef>

#include "platform/base/types.h"

struct HGLOBAL__;
using HGLOBAL = HGLOBAL__*;

constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GMEM_DDESHARE = 0x2000;
constexpr UINT GMEM_SHARE = 0x2000;

HGLOBAL GlobalAlloc(UINT flags, size_t bytes);
// NULL (and the block unchanged) when it fails.
HGLOBAL GlobalReAlloc(HGLOBAL mem, size_t bytes, UINT flags);
void* GlobalLock(HGLOBAL mem);
BOOL GlobalUnlock(HGLOBAL mem);
size_t GlobalSize(HGLOBAL mem);
HGLOBAL GlobalFree(HGLOBAL mem);  // NULL when freed

constexpr UINT CF_TEXT = 1;

BOOL OpenClipboard(HWND owner);
BOOL CloseClipboard();
BOOL EmptyClipboard();
// The clipboard takes the block (the caller no longer frees it); answers the block.
HANDLE SetClipboardData(UINT format, HANDLE mem);
// The clipboard's block, still owned by the clipboard; valid until the clipboard changes.
HANDLE GetClipboardData(UINT format);
BOOL IsClipboardFormatAvailable(UINT format);
HWND GetClipboardOwner();

namespace qv::ctl {
// Forgets the in-process copy and any held block (tests call it between cases).
void ResetClipboardForTesting();
}  // namespace qv::ctl
