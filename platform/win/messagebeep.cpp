#include "platform/win/messagebeep.h"

#include <atomic>

namespace {
std::atomic<int> g_beeps{0};
}

BOOL MessageBeep(UINT)
{
    ++g_beeps;
    return TRUE;
}

int qv::win::MessageBeepCount() { return g_beeps.load(); }
