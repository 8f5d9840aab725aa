#pragma once
// A channel's play clock: its frame period, speed factor and the reference times the play
// position logic keeps on it. Pacing itself is done by the video thread through this clock.

#include "platform/base/types.h"

#include <atomic>
#include <cstdint>
#include <functional>

class CFpsCtrl {
public:
    // The channel's embedded clock: no wake event, not used for pacing.
    CFpsCtrl();
    CFpsCtrl(double fps, int channel);
    virtual ~CFpsCtrl();
    CFpsCtrl(const CFpsCtrl&) = delete;
    CFpsCtrl& operator=(const CFpsCtrl&) = delete;

    // Sets the frame period and ends a wait in progress; returns the rate now in force.
    // A rate that is not positive leaves the period as it was. With no wait in progress (the
    // video thread sets it itself before its wait) the next wait keeps its full time.
    double SetFps(double fps);
    double GetFps() const;
    void Wake();
    // The four time marks return to -1 (unknown).
    void ResetTimes();

    // Marks the moment a picture packet is taken, so that its decoding time is not waited again.
    void BeginFrame();
    // Starts measuring afresh from `value` (low word of the current stream time, microseconds).
    void Reset(std::uint32_t value);
    // The next picture's stream time (microseconds; -1 when the source has none) and the
    // stream's frames per second, negative in backward play.
    void Update(std::int64_t timestamp, int rate);
    // Milliseconds the next Wait would wait now (0: none).
    int WaitTime();
    // Waits the pacing time between two pictures; ends early on SetFps or Wake. Returns the
    // milliseconds it set out to wait.
    int Wait();

    // The play clock's lag behind its reference (milliseconds, shown by the statistics text).
    void SetLag(int ms) { m_lag.store(ms, std::memory_order_relaxed); }
    int Lag() const { return m_lag.load(std::memory_order_relaxed); }
    // Corrects the pace by `ms`: a positive lag is waited now (ended early like Wait), a
    // negative one shortens the next Wait. Returns the milliseconds waited now.
    int WaitLag(int ms);

    // Tests replace the millisecond tick count.
    void SetTickSource(std::function<ULONGLONG()> ticks) { m_ticks = std::move(ticks); }
    int Rate() const { return m_rate; }
    std::int32_t FrameDelta() const { return m_frameDelta; }

    int Channel() const { return m_channel; }
    double Speed() const { return m_speed.load(std::memory_order_relaxed); }
    void SetSpeed(double speed) { m_speed.store(speed, std::memory_order_relaxed); }

    std::atomic<std::int64_t> refTimestamp{-1};  // stream time of the reference, microseconds
    std::atomic<std::int64_t> refTick{-1};       // tick of the reference, milliseconds
    std::atomic<std::int64_t> resetTick{-1};
    std::atomic<std::int64_t> lastUpdateTick{-1};

private:
    ULONGLONG Now() const;
    // Waits on the wake event; SetFps signals it only during such a wait.
    void WaitWake(DWORD ms);

    int m_rate = 0;
    int m_channel = 0;
    std::atomic<double> m_speed{0.0};
    std::atomic<double> m_period{1000.0 / 30.0};  // milliseconds per frame
    HANDLE m_wake = nullptr;                      // auto-reset
    std::atomic<bool> m_waiting{false};
    std::uint32_t m_lastTimestamp = 0;
    std::int32_t m_frameDelta = 0;
    // The last step was a jump in stream time, not a frame: nothing to wait for.
    bool m_discontinuity = false;
    // Reset since the last Update: the picture it was made for is not waited for either.
    bool m_resetPending = false;
    ULONGLONG m_frameStart = 0;
    ULONGLONG m_currentTick = 0;
    std::int32_t m_lateness = 0;
    std::uint32_t m_resetValue = 0;
    std::atomic<int> m_lag{0};
    std::int64_t m_adjust = 0;  // milliseconds taken off the next Wait
    std::function<ULONGLONG()> m_ticks;
};
