#pragma once
// MFC's CToolTipCtrl as far as controls relay their mouse messages to a tooltip that their owner
// may have created: the relay is a TTM_RELAYEVENT carrying the message.

#include "platform/win/afxwin.h"

constexpr UINT TTM_RELAYEVENT = WM_USER + 7;

class CToolTipCtrl : public CWnd {
public:
    void RelayEvent(MSG* msg) { SendMessage(TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(msg)); }
};
