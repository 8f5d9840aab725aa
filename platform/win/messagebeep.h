#pragma once
// MessageBeep. There is no system sound here: the call is counted, so tests can see it.

#include "platform/win/win_types.h"

constexpr UINT MB_ICONHAND = 0x10;

BOOL MessageBeep(UINT type);

namespace qv::win {

// How many times MessageBeep was called since the program started.
int MessageBeepCount();

}  // namespace qv::win
