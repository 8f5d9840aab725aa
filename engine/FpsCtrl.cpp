#include "engine/FpsCtrl.h"

#include "platform/base/sync.h"

CFpsCtrl::CFpsCtrl() = default;

CFpsCtrl::CFpsCtrl(double fps, int channel) : m_channel(channel)
{
    if (fps > 0)
        m_period.store(1000.0 / fps, std::memory_order_relaxed);
    m_wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

CFpsCtrl::~CFpsCtrl()
{
    if (m_wake != nullptr)
        CloseHandle(m_wake);
}

double CFpsCtrl::SetFps(double fps)
{
    if (fps > 0)
        m_period.store(1000.0 / fps, std::memory_order_relaxed);
    Wake();
    return GetFps();
}

double CFpsCtrl::GetFps() const
{
    return 1000.0 / m_period.load(std::memory_order_relaxed);
}

void CFpsCtrl::Wake()
{
    if (m_wake != nullptr)
        SetEvent(m_wake);
}

void CFpsCtrl::ResetTimes()
{
    refTimestamp.store(-1, std::memory_order_relaxed);
    refTick.store(-1, std::memory_order_relaxed);
    resetTick.store(-1, std::memory_order_relaxed);
    lastUpdateTick.store(-1, std::memory_order_relaxed);
}
