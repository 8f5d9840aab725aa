#pragma once
// Milliseconds since an arbitrary start, from a monotonic clock.

#include "platform/base/types.h"

// 32-bit view that wraps every 49.7 days, as on Windows; compare ticks by unsigned subtraction.
DWORD GetTickCount();
ULONGLONG GetTickCount64();
void Sleep(DWORD milliseconds);
