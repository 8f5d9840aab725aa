#pragma once
// A channel's play clock: its frame period, speed factor and the reference times the play
// position logic keeps on it. Pacing itself is done by the video thread through this clock.

#include "platform/base/types.h"

#include <atomic>
#include <cstdint>

class CFpsCtrl {
public:
    // The channel's embedded clock: no wake event, not used for pacing.
    CFpsCtrl();
    CFpsCtrl(double fps, int channel);
    virtual ~CFpsCtrl();
    CFpsCtrl(const CFpsCtrl&) = delete;
    CFpsCtrl& operator=(const CFpsCtrl&) = delete;

    // Sets the frame period and ends a wait in progress; returns the rate now in force.
    // A rate that is not positive leaves the period as it was.
    double SetFps(double fps);
    double GetFps() const;
    void Wake();
    // The four time marks return to -1 (unknown).
    void ResetTimes();

    int Channel() const { return m_channel; }
    double Speed() const { return m_speed.load(std::memory_order_relaxed); }
    void SetSpeed(double speed) { m_speed.store(speed, std::memory_order_relaxed); }

    std::atomic<std::int64_t> refTimestamp{-1};  // stream time of the reference, microseconds
    std::atomic<std::int64_t> refTick{-1};       // tick of the reference, milliseconds
    std::atomic<std::int64_t> resetTick{-1};
    std::atomic<std::int64_t> lastUpdateTick{-1};

private:
    int m_channel = 0;
    std::atomic<double> m_speed{0.0};
    std::atomic<double> m_period{1000.0 / 30.0};  // milliseconds per frame
    HANDLE m_wake = nullptr;                      // auto-reset
};
