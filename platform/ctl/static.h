#pragma once
// The static control's C++ class: a window of the "STATIC" class. The class procedure makes it
// transparent to the mouse unless SS_NOTIFY is set and keeps the font it is given; painting is
// left to the classes that derive from it.

#include "platform/win/afxwin.h"

// Static styles (the type is the low five bits).
constexpr DWORD SS_LEFT = 0x0;
constexpr DWORD SS_CENTER = 0x1;
constexpr DWORD SS_RIGHT = 0x2;
constexpr DWORD SS_LEFTNOWORDWRAP = 0xC;
constexpr DWORD SS_TYPEMASK = 0x1F;
constexpr DWORD SS_CENTERIMAGE = 0x200;

class CStatic : public CWnd {
public:
    CStatic() = default;
    BOOL Create(LPCSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id = 0xFFFF);
};
