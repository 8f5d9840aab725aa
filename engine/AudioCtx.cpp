#include "engine/AudioCtx.h"

CAudioCtx::~CAudioCtx()
{
    CMyThread::Stop(INFINITE);
}

DWORD CAudioCtx::Run()
{
    // Nothing to play until the audio thread's loop is in place.
    return 0;
}

void CAudioCtx::SetVolume(LONG volume)
{
    LONG v = volume < -2699 ? -10000 : volume;
    if (v > 0)
        v = 0;
    m_outputVolume.store(v, std::memory_order_relaxed);
}
