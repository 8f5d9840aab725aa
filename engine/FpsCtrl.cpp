#include "engine/FpsCtrl.h"

#include "platform/base/clock.h"
#include "platform/base/sync.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <utility>

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
    // A signal left for no waiter would end the next picture's wait at once.
    if (m_waiting.load(std::memory_order_seq_cst))
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

ULONGLONG CFpsCtrl::Now() const
{
    return m_ticks ? m_ticks() : GetTickCount64();
}

void CFpsCtrl::BeginFrame()
{
    m_frameStart = Now();
}

void CFpsCtrl::Reset(std::uint32_t value)
{
    m_resetValue = value;
    const auto now = static_cast<std::int64_t>(Now());
    resetTick.store(now, std::memory_order_relaxed);
    lastUpdateTick.store(now, std::memory_order_relaxed);
    m_frameDelta = 0;
    m_lateness = 0;
    m_adjust = 0;
    m_discontinuity = true;
    m_resetPending = true;
}

void CFpsCtrl::Update(std::int64_t timestamp, int rate)
{
    m_rate = rate;
    // Pacing starts afresh at the picture a reset was made for: its step from the picture shown
    // before (a new place read backwards lies later) is no frame to wait for.
    const bool reset = std::exchange(m_resetPending, false);
    if (timestamp < 0) {
        // No usable stream times: the frame rate alone paces.
        m_frameDelta = 0;
        m_discontinuity = false;
        return;
    }
    const auto ts = static_cast<std::uint32_t>(timestamp);
    // Stream times wrap in their low word; the step is the modular difference.
    const auto delta = static_cast<std::int32_t>(ts - m_lastTimestamp);
    m_lastTimestamp = ts;
    if (reset || (std::llabs(static_cast<long long>(delta)) > 1111111 && Speed() < 16.0)) {
        m_frameDelta = 0;
        m_discontinuity = true;
    } else {
        m_frameDelta = delta;
        m_discontinuity = false;
    }
}

int CFpsCtrl::WaitTime()
{
    m_currentTick = Now();
    const double speed = Speed();
    const double product = static_cast<double>(m_rate) * speed;
    // No rate term when it is infinite or out of range (a zero rate or speed).
    bool haveB = false;
    int b = 0;
    if (product != 0.0) {
        const double q = 1000.0 / product;
        if (std::isfinite(q) && std::fabs(q) < 2.0e9) {
            b = static_cast<int>(q);
            haveB = true;
        }
    }
    int timeout = 0;
    if (m_discontinuity || !haveB) {
        timeout = haveB ? std::min(0, b) : 0;
    } else if (m_frameDelta == 0 && speed > 0) {
        // Stream times that do not advance (a stream with no usable times) are paced by the
        // frame rate rather than not at all.
        timeout = b;
    } else {
        timeout = std::min(m_frameDelta / 1000, b);
    }
    if (m_adjust < 0)
        timeout = static_cast<int>(std::max<std::int64_t>(timeout + m_adjust, INT32_MIN));
    const auto lateness = static_cast<std::int64_t>(m_currentTick) - static_cast<std::int64_t>(m_frameStart);
    m_lateness = static_cast<std::int32_t>(std::clamp<std::int64_t>(lateness, INT32_MIN, INT32_MAX));
    if (m_lateness > 0)
        timeout -= m_lateness;
    return timeout > 1 ? timeout : 0;
}

int CFpsCtrl::Wait()
{
    const int timeout = WaitTime();
    m_adjust = 0;  // a lag is made up once
    if (timeout > 1)
        WaitWake(static_cast<DWORD>(timeout));
    return timeout;
}

int CFpsCtrl::WaitLag(int ms)
{
    if (ms < 0) {
        m_adjust = std::max<std::int64_t>(m_adjust + ms, -600000);
        return 0;
    }
    if (ms > 1 && m_wake != nullptr) {
        WaitWake(static_cast<DWORD>(ms));
        return ms;
    }
    return 0;
}

void CFpsCtrl::WaitWake(DWORD ms)
{
    if (m_wake == nullptr)
        return;
    m_waiting.store(true, std::memory_order_seq_cst);
    WaitForSingleObject(m_wake, ms);
    m_waiting.store(false, std::memory_order_seq_cst);
}
