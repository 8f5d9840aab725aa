#include "engine/MediaCtx.h"

CVideoCtx::CVideoCtx(CJtvCtrl* engine, int channel) : m_engine(engine), m_channel(channel) {}

CVideoCtx::~CVideoCtx()
{
    CMyThread::Stop(INFINITE);
    CloseH264Decoder(m_decoder);
}

DWORD CVideoCtx::Run()
{
    // Nothing to decode until the video thread's loop is in place.
    return 0;
}

void CVideoCtx::RequestReset(int, int)
{
    m_resetRequests.fetch_add(1, std::memory_order_relaxed);
}

void CVideoCtx::SetPictureSize(int width, int height)
{
    m_width.store(width, std::memory_order_relaxed);
    m_height.store(height, std::memory_order_relaxed);
}

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
