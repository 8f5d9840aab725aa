#pragma once
// CStatic: the C++ class over the "STATIC" window class, which the window layer registers. Labels
// and owner-painted controls attach to static controls of dialog templates or create one.

#include "platform/win/afxwin.h"

class CStatic : public CWnd {
public:
    CStatic() = default;
    using CWnd::Create;

    BOOL Create(LPCSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id = 0xFFFF)
    {
        return CWnd::Create("STATIC", text, style, rect, parent, id);
    }
};
