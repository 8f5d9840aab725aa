#pragma once
// The mouse messages a control hands on to the tooltip its owner may have made for it.

#include "platform/ctl/ToolTip.h"

// Relays `message` with its point in the control's client coordinates, packed as the message
// carries it; the point is read back signed, for it lies left of or above the control while
// the control holds the capture. Nothing happens while the tooltip has no window.
inline void RelayToolTip(CToolTipCtrl& tip, HWND control, UINT message, WPARAM wParam, POINT point)
{
    if (!tip.m_hWnd || !::IsWindow(tip.m_hWnd))
        return;
    const LPARAM lParam = MAKELPARAM(static_cast<WORD>(point.x), static_cast<WORD>(point.y));
    const DWORD packed = static_cast<DWORD>(lParam);
    MSG msg{control, message, wParam, lParam, 0,
            POINT{static_cast<short>(LOWORD(packed)), static_cast<short>(HIWORD(packed))}};
    tip.RelayEvent(&msg);
}
