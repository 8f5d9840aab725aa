#pragma once
// Messages the engine posts to its notify window; wParam is always the engine handle.

#include "platform/base/types.h"

constexpr UINT WM_JTV_VIDEOSIZE = 0x49A;    // lParam: channel whose picture size is now known
// lParam: the channel whose pictures ended (the video thread), or -1 when the demultiplexer's
// export ended.
constexpr UINT WM_JTV_PLAYEND = 0x49B;
// lParam: the clip's base name, a const char* that stays valid however late it is handled.
constexpr UINT WM_JTV_EXPORTBEGIN = 0x59A;
constexpr UINT WM_JTV_EXPORTEND = 0x59B;
constexpr UINT WM_JTV_CARINFO = 0x5F4;      // lParam 0: a new record or recording list is ready
