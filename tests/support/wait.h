#pragma once
// Polls until a condition holds or the limit passes; for tests that watch engine threads.

#include "platform/base/clock.h"

#include <functional>

inline bool WaitFor(const std::function<bool()>& done, int limit_ms = 10000)
{
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(limit_ms);
    while (!done()) {
        if (GetTickCount64() > end)
            return false;
        Sleep(5);
    }
    return true;
}
