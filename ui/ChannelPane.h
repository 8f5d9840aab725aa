#pragma once
// The channel pane: the child window the engine presents channel 0's pictures into. The window
// layer paints it with the presenter's latest picture, black until the first one arrives.

#include "platform/win/afxwin.h"

class CChannelPane : public CWnd {
public:
    static constexpr const char* kClassName = "QvChannelPane";
    BOOL CreatePane(CWnd* parent, const RECT& rect, UINT id);
};
