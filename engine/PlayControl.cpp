#include "engine/PlayControl.h"

#include "engine/AudioCtx.h"
#include "engine/JtvCtrl.h"
#include "platform/base/clock.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

bool ValidChannel(int channel)
{
    return channel >= 0 && channel < kJtvChannels;
}

// The rounding of the zoom arithmetic: add just under one, then drop the fraction.
std::int64_t RoundUpTrunc(double v)
{
    return static_cast<std::int64_t>(v + 0.9999);
}

bool AxisUncropped(std::int64_t low, std::int64_t high)
{
    return low <= 0 && high >= 0;
}

// Rate figure of the lag clamp, from the truncated clock rate.
double RateFigure(double rate, int fps)
{
    switch (static_cast<int>(rate)) {
    case -1:
        return std::abs(fps);
    case 8:
        return 8.0;
    case 4:
    case 16:
    case 24:
    case 32:
        return 4.0;
    default:
        return fps * rate;
    }
}

constexpr std::int64_t kTenMinutesMs = 600000;
constexpr double kResyncDriftMs = 100000;
constexpr LONG kGraceFrames = 7;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Pure rules

bool ClampPlaySpeed(double requested, double* speed)
{
    if (std::isnan(requested))
        return false;
    if (requested == 0) {
        *speed = 0;
        return true;
    }
    const double magnitude = std::clamp(std::fabs(requested), kMinPlaySpeed, kMaxPlaySpeed);
    *speed = requested < 0 ? -magnitude : magnitude;
    return true;
}

bool IsFrameStep(double speed)
{
    return std::fabs(speed) == kStepSpeed;
}

int StepForSpeed(double speed)
{
    const int whole = static_cast<int>(speed);
    return IsFrameStep(speed) ? 11 * whole : whole;
}

CropRect ZoomCrop(const CropRect& current, int width, int height, int x, int y, int step)
{
    if (width <= 0 || height <= 0 || step == 0)
        return current;
    const std::int64_t W = width;
    const std::int64_t H = height;
    std::int64_t l = current.left, t = current.top, r = current.right, b = current.bottom;
    // A rectangle that does not fit this picture (set for another size) starts afresh.
    if (l < 0 || t < 0 || r > 0 || b > 0 || l - r >= W || t - b >= H)
        l = t = r = b = 0;
    if (step < 0 && (AxisUncropped(t, b) || AxisUncropped(l, r)))
        return {};
    if (step > 0 && std::llabs(l) + std::llabs(r) > 1800)
        return current;

    const std::int64_t a = RoundUpTrunc(static_cast<double>(step) * static_cast<double>(W) / 100.0);
    const std::int64_t c = RoundUpTrunc(static_cast<double>(step) * static_cast<double>(H) / 100.0);
    const std::int64_t oldWidthCut = l - r;
    const std::int64_t oldHeightCut = t - b;
    l += a;
    r -= a;
    t += c;
    b -= c;
    // Move toward the point so that the spot pointed at stays where it is on the screen: the
    // point is a fraction of what is shown, and the growth of the cut is shared in proportion.
    // (A shift of the point's pixel position times the growth over a fixed divisor would push
    // every zoom, even one at the centre, toward the bottom-right corner.)
    const std::int64_t cx = ((l - r) - oldWidthCut) / 2;
    const std::int64_t cy = ((t - b) - oldHeightCut) / 2;
    const double fx = std::clamp(x, 0, 1000000) / 1000000.0;
    const double fy = std::clamp(y, 0, 1000000) / 1000000.0;
    const auto dx = static_cast<std::int64_t>(static_cast<double>(cx) * (2.0 * fx - 1.0));
    const auto dy = static_cast<std::int64_t>(static_cast<double>(cy) * (2.0 * fy - 1.0));
    l += dx;
    r += dx;
    t += dy;
    b += dy;

    if (step < 0 && (l - r <= 0 || t - b <= 0))
        return {};  // out past the whole picture
    if (step > 0) {
        // Never closer than a sixteenth of the picture (16 pixels for small pictures).
        const std::int64_t minW = std::max(W / 16, std::min<std::int64_t>(W, 16));
        const std::int64_t minH = std::max(H / 16, std::min<std::int64_t>(H, 16));
        if (W - (l - r) < minW || H - (t - b) < minH)
            return current;
    }
    // Keep the cut, slide the window back inside the picture.
    if (l < 0) {
        r -= l;
        l = 0;
    }
    if (r > 0) {
        l -= r;
        r = 0;
    }
    if (t < 0) {
        b -= t;
        t = 0;
    }
    if (b > 0) {
        t -= b;
        b = 0;
    }
    if (step < 0 && (AxisUncropped(t, b) || AxisUncropped(l, r)))
        return {};
    return CropRect{static_cast<std::int32_t>(l), static_cast<std::int32_t>(t), static_cast<std::int32_t>(r),
                    static_cast<std::int32_t>(b)};
}

int FollowFileIndex(int current, std::int64_t t, const FileTimesFn& times)
{
    std::int64_t start = 0, length = 0;
    if (current < 0 || !times || !times(current, &start, &length))
        return current;
    std::int64_t s = 0, n = 0;
    if (t < start)
        return current > 0 && times(current - 1, &s, &n) ? current - 1 : current;
    // A file's end second is the next file's first one, and times between two files belong to
    // neither: moving on only once the next file has begun keeps the index from lagging a file
    // behind (short files never reached the last one) and from flickering across a gap.
    if (t >= start + length && times(current + 1, &s, &n) && t >= s)
        return current + 1;
    return current;
}

// ---------------------------------------------------------------------------------------------
// Setters of the user-interface thread

ULONGLONG CJtvCtrl::Ticks() const
{
    return m_ticks ? m_ticks() : GetTickCount64();
}

void CJtvCtrl::SetPlaySpeed(double requested)
{
    double speed = 0;
    if (!ClampPlaySpeed(requested, &speed))
        return;
    // A turn's first frames may be read before the speed is stored: judged against the speed
    // before it, they would be dropped as frames of the other direction.
    struct Changing {
        std::atomic<int>& count;
        explicit Changing(std::atomic<int>& c) : count(c) { count.fetch_add(1, std::memory_order_seq_cst); }
        ~Changing() { count.fetch_sub(1, std::memory_order_seq_cst); }
    } changing(m_speedChanging);
    if (speed != 0) {
        // A pause keeps the direction and the step, so that play goes on as it was.
        m_channel.Demux().SetDirection(speed < 0 ? 1 : 0);
        m_channel.SetStep(StepForSpeed(speed));
    }
    for (auto& clock : m_fps)
        if (clock)
            clock->SetSpeed(speed);
    // The speed is in place before the video thread leaves its pause (a frame step pauses it
    // again after one picture), and a step's pause taken meanwhile sees this speed.
    m_playSpeed.store(speed, std::memory_order_seq_cst);
    m_channel.VideoCtx().SetPaused(speed == 0);
}

void CJtvCtrl::SetPlayMode(int mode)
{
    m_playMode.store(mode, kRelaxed);
    m_channel.SetPlayMode(mode);
    m_sourceBox.ResetPlayState();
    m_sourceBox.SetPlayByte(1);
}

void CJtvCtrl::SeekToTime(int time, bool nearest)
{
    if (nearest)
        m_channel.SeekToTimeNearest(time);
    else
        m_channel.SeekToTime(time);
    // The card source has the audio resynchronised; the first picture at the new place then
    // restarts the clock at its own time.
    m_sourceBox.SetSeekFlag(false);
}

int CJtvCtrl::SeekCurrent()
{
    const int time = PlayTime(0) + 1;
    m_channel.SetPlayMode(0);
    m_channel.SetStep(-1);
    SeekToTime(time, false);
    return time;
}

int CJtvCtrl::PlayTime(int channel)
{
    if (!ValidChannel(channel))
        return 0;
    const LONG engineTime = m_enginePlayTime.load(kRelaxed);
    return engineTime != 0 ? engineTime : m_channelPlayTime[channel].load(kRelaxed);
}

void CJtvCtrl::Zoom(int channel, int x, int y, int step)
{
    if (!ValidChannel(channel) || m_videoCtx[channel] == nullptr)
        return;
    const int width = m_videoCtx[channel]->PictureWidth();
    const int height = m_videoCtx[channel]->PictureHeight();
    CCritSecsLock lock(m_cropLock);
    SetCrop(channel, ZoomCrop(Crop(channel), width, height, x, y, step));
}

void CJtvCtrl::SetCrop(int channel, const CropRect& crop)
{
    if (!ValidChannel(channel))
        return;
    CCritSecsLock lock(m_cropLock);
    auto& c = m_crop[channel];
    c[0].store(crop.left, kRelaxed);
    c[1].store(crop.top, kRelaxed);
    c[2].store(crop.right, kRelaxed);
    c[3].store(crop.bottom, kRelaxed);
}

CropRect CJtvCtrl::Crop(int channel)
{
    if (!ValidChannel(channel))
        return {};
    CCritSecsLock lock(m_cropLock);
    const auto& c = m_crop[channel];
    return CropRect{c[0].load(kRelaxed), c[1].load(kRelaxed), c[2].load(kRelaxed), c[3].load(kRelaxed)};
}

// ---------------------------------------------------------------------------------------------
// Operations of the video thread

void CJtvCtrl::CountFrame(int channel)
{
    if (ValidChannel(channel))
        m_frameCounter[channel].fetch_add(1, kRelaxed);
}

void CJtvCtrl::AddBytes(int channel, LONG bytes)
{
    if (ValidChannel(channel) && bytes > 0)
        m_byteCounter[channel].fetch_add(bytes, kRelaxed);
}

void CJtvCtrl::SecondTick()
{
    const ULONGLONG now = Ticks();
    ULONGLONG last = m_lastSecondTick.load(kRelaxed);
    if (last == 0) {
        // The first second starts now, not at the tick count's origin.
        m_lastSecondTick.compare_exchange_strong(last, now, kRelaxed);
        return;
    }
    if (now < last || now - last <= 1000)
        return;
    // With several video threads only one of them moves the second on.
    if (!m_lastSecondTick.compare_exchange_strong(last, now, kRelaxed))
        return;
    for (int ch = 0; ch < kJtvChannels; ++ch) {
        m_framesLastSecond[ch].store(m_frameCounter[ch].exchange(0, kRelaxed), kRelaxed);
        m_bytesLastSecond[ch].store(m_byteCounter[ch].exchange(0, kRelaxed), kRelaxed);
    }
    if (m_playSpeed.load(kRelaxed) >= 0)
        m_playSeconds.fetch_add(1, kRelaxed);
    else
        m_playSeconds.fetch_sub(1, kRelaxed);
}

void CJtvCtrl::FollowFileList(std::int64_t t)
{
    if (t <= 0)
        return;  // no play time known
    const int current = m_prevFileIndex.load(kRelaxed);
    const int next = FollowFileIndex(current, t, [this](int n, std::int64_t* start, std::int64_t* length) {
        std::int64_t end = 0;
        return m_sourceBox.Times(n, start, &end, length);
    });
    if (next != current)
        SelectFileEntry(next);
}

void CJtvCtrl::SelectFileEntry(int n)
{
    std::int64_t start = 0, end = 0, length = 0;
    if (!m_sourceBox.Times(n, &start, &end, &length))
        return;
    m_fileIndex.store(n, kRelaxed);
    m_prevFileIndex.store(n, kRelaxed);
    m_channel.SetFileIndex(n);
}

void CJtvCtrl::SetClockRate(double rate)
{
    m_clockRate.store(rate, kRelaxed);
    for (auto& clock : m_fps)
        if (clock)
            clock->SetSpeed(rate);
}

void CJtvCtrl::SetFrameReady(int channel)
{
    if (ValidChannel(channel))
        m_frameReady[channel].store(1, std::memory_order_release);
}

bool CJtvCtrl::FrameRendezvous()
{
    if (m_rendezvous.load(std::memory_order_acquire))
        return true;
    for (const auto& ready : m_frameReady)
        if (ready.load(std::memory_order_acquire) == 0)
            return false;
    m_rendezvous.store(true, std::memory_order_release);
    for (auto& ready : m_frameReady)
        ready.store(0, std::memory_order_release);
    m_rendezvous.store(false, std::memory_order_release);
    return true;
}

double CJtvCtrl::ClockFps(int channel)
{
    return ValidChannel(channel) && m_fps[channel] ? m_fps[channel]->GetFps() : 0.0;
}

double CJtvCtrl::SetClockFps(int channel, double fps)
{
    return ValidChannel(channel) && m_fps[channel] ? m_fps[channel]->SetFps(fps) : 0.0;
}

void CJtvCtrl::MarkClock(int) {}

void CJtvCtrl::SetClockBase(std::int64_t time_us, std::int64_t tick_ms)
{
    CCritSecsLock lock(m_clockLock);
    m_refStreamTime.store(time_us, kRelaxed);
    m_refTick.store(tick_ms, kRelaxed);
}

void CJtvCtrl::ShiftClockBase(std::int64_t time_us)
{
    CCritSecsLock lock(m_clockLock);
    m_refStreamTime.fetch_add(time_us, kRelaxed);
}

bool CJtvCtrl::ClockBase(std::int64_t* time_us, std::int64_t* tick_ms)
{
    CCritSecsLock lock(m_clockLock);
    *time_us = m_refStreamTime.load(kRelaxed);
    *tick_ms = m_refTick.load(kRelaxed);
    return *tick_ms != 0;  // Stop clears it; the audio sets it whenever it restarts the clock
}

void CJtvCtrl::SetAudioAnchor(int channel, AudioClockAnchor* anchor)
{
    if (ValidChannel(channel))
        m_audioAnchor[channel].store(anchor, std::memory_order_release);
}

AudioClockAnchor* CJtvCtrl::Anchor(int channel)
{
    if (!ValidChannel(channel))
        return nullptr;
    AudioClockAnchor* anchor = m_audioAnchor[channel].load(std::memory_order_acquire);
    return anchor != nullptr ? anchor : &m_channelAudio;
}

// ---------------------------------------------------------------------------------------------
// The channel's audio context as the clock's anchor

void ChannelAudioAnchor::SetMediaTime(std::int64_t time_us)
{
    m_audio.SetMediaTime(time_us);
}

void ChannelAudioAnchor::RestartClock()
{
    m_audio.RestartClock();
}

void ChannelAudioAnchor::RestartClockAt(std::int64_t time_us)
{
    m_audio.RestartClockAt(time_us);
}

void ChannelAudioAnchor::RestartClockFrom(std::int64_t time_us)
{
    m_audio.RestartClockFrom(time_us);
}

void ChannelAudioAnchor::RequestResync()
{
    m_audio.RequestResync();
}

void ChannelAudioAnchor::ShiftAnchor(std::int64_t tick_ms, std::int64_t)
{
    // The audio measures stream times from the engine's base, which has moved already.
    m_audio.AdvanceAnchorTick(tick_ms);
}

void CJtvCtrl::RestartSync(int channel, std::int64_t pts)
{
    if (!ValidChannel(channel))
        return;
    // As at the start of play: no reference owner, a new grace period, and the clock base
    // taken from this picture at this tick, so that what follows is paced from here at the
    // speed now in force rather than against the base and rate of before.
    m_syncState.store(-1, kRelaxed);
    m_frameRefSet.store(false, kRelaxed);
    m_graceFrames.store(0, kRelaxed);
    m_syncPending.store(0, kRelaxed);
    if (m_fps[channel])
        m_fps[channel]->SetLag(0);
    if (pts < 0)
        return;
    if (AudioClockAnchor* anchor = Anchor(channel))
        anchor->RestartClockAt(pts);
}

void CJtvCtrl::SyncFrame(int channel, std::int64_t pts, int fps)
{
    if (!ValidChannel(channel) || !m_fps[channel])
        return;
    CFpsCtrl& clock = *m_fps[channel];
    clock.Update(pts, fps);
    if (fps < 0)
        return;
    const double interval = fps == 0 ? 1.0 : 1000.0 / fps;
    if (pts == -1)
        return;
    AudioClockAnchor* anchor = Anchor(channel);

    LONG state = m_syncState.load(kRelaxed);
    if (state == -1) {
        state = channel;
        m_syncPending.store(1, kRelaxed);
        m_graceFrames.store(kGraceFrames, kRelaxed);
    }
    const LONG grace = m_graceFrames.load(kRelaxed);
    const double rate = m_clockRate.load(kRelaxed);
    // Without a rate there is no stream time to expect and nothing to divide by.
    const bool haveRate = rate != 0 && std::isfinite(rate);

    std::int64_t baseTime = 0, baseTick = 0;
    if (haveRate && ClockBase(&baseTime, &baseTick)) {
        const auto now = static_cast<std::int64_t>(Ticks());
        double elapsed = static_cast<double>(now - baseTick) * rate;
        if (std::fabs(elapsed) > static_cast<double>(kTenMinutesMs)) {
            // Move the base on in steps of ten minutes of stream time, each worth 10 / |rate|
            // minutes of wall time, so that the expected time stays where it was.
            const std::int64_t wallSign = now >= baseTick ? 1 : -1;
            const auto steps = static_cast<std::int64_t>(std::fabs(elapsed) / kTenMinutesMs);
            const auto tickShift = wallSign * std::llround(static_cast<double>(steps * kTenMinutesMs) / std::fabs(rate));
            const auto timeShift = std::llround(static_cast<double>(tickShift) * rate * 1000.0);
            bool shifted = false;
            {
                // The audio thread may have moved the base meanwhile: then it is measured again
                // at the next picture.
                CCritSecsLock lock(m_clockLock);
                shifted = m_refTick.load(kRelaxed) == baseTick && m_refStreamTime.load(kRelaxed) == baseTime;
                if (shifted) {
                    m_refTick.store(baseTick + tickShift, kRelaxed);
                    m_refStreamTime.store(baseTime + timeShift, kRelaxed);
                }
                baseTick = m_refTick.load(kRelaxed);
                baseTime = m_refStreamTime.load(kRelaxed);
            }
            if (shifted && anchor != nullptr)
                anchor->ShiftAnchor(tickShift, timeShift);
            elapsed = static_cast<double>(now - baseTick) * rate;
        }
        const auto expected = static_cast<std::int64_t>(elapsed * 1000.0) + baseTime;
        if (grace <= 0) {
            const double drift = static_cast<double>(pts - expected) / (1000.0 * rate);
            if (std::fabs(drift) <= kResyncDriftMs) {
                state = -2;
                m_frameRefTime.store(expected, kRelaxed);
                m_frameRefSet.store(true, kRelaxed);
            } else {
                if (anchor != nullptr)
                    anchor->RequestResync();
                state = 0;
            }
        }
    }

    if (state == channel) {
        m_frameRefTime.store(pts, kRelaxed);
        m_frameRefSet.store(true, kRelaxed);
        m_refFps.store(fps, kRelaxed);
    } else if (m_frameRefSet.load(kRelaxed) && haveRate) {
        const double d = RateFigure(rate, fps);
        const double lagMs = static_cast<double>(pts - m_frameRefTime.load(kRelaxed)) / (1000.0 * rate);
        const int lag = static_cast<int>(std::clamp(lagMs, static_cast<double>(INT_MIN), static_cast<double>(INT_MAX)));
        const bool atSourceTime =
            m_sourceBox.CurrentTime() == static_cast<std::int64_t>(m_channelPlayTime[channel].load(kRelaxed));
        if ((lag < -1000 || atSourceTime) && anchor != nullptr) {
            // Far behind, or at the time the card source reads: the audio takes this picture's
            // time, and the clock restarts from it.
            anchor->RestartClockFrom(pts);
        }
        clock.SetLag(lag);
        if (channel == 0 && state != 0 && state != -2 && lag > 0 && lag < interval / 6) {
            state = 0;
            m_frameRefTime.store(pts, kRelaxed);
        }
        if (lag != 0 && grace <= 0 && d > 0 && std::isfinite(d)) {
            const int limit = static_cast<int>(std::min(2.0 * 1000.0 / d, 600000.0));
            int wait = lag;
            if (std::abs(static_cast<long long>(wait)) > limit - 1)
                wait = lag < 0 ? -limit : limit;
            clock.WaitLag(wait);
        }
    }
    if (grace > 0)
        m_graceFrames.store(grace - 1, kRelaxed);
    m_syncState.store(state, kRelaxed);
}

void CJtvCtrl::ResetPlayState()
{
    {
        CCritSecsLock lock(m_clockLock);
        m_refStreamTime.store(0, kRelaxed);
        m_refTick.store(0, kRelaxed);
    }
    m_playSeconds.store(0, kRelaxed);
    // Normal play in every part that carries it: a step left at 2, 0 or -1 would keep the
    // reader from reading sound at the next open.
    m_playSpeed.store(1.0, kRelaxed);
    m_channel.SetStep(1);
    for (auto& clock : m_fps)
        if (clock)
            clock->SetSpeed(1.0);
    m_enginePlayTime.store(0, kRelaxed);
    m_playMode.store(0, kRelaxed);
    m_syncState.store(-1, kRelaxed);
    m_frameRefTime.store(0, kRelaxed);
    m_frameRefSet.store(false, kRelaxed);
    m_refFps.store(0, kRelaxed);
    m_graceFrames.store(0, kRelaxed);
    m_syncPending.store(0, kRelaxed);
    m_clockRate.store(1.0, kRelaxed);
    m_lastSecondTick.store(0, kRelaxed);
    m_rendezvous.store(false, kRelaxed);
    for (int ch = 0; ch < kJtvChannels; ++ch) {
        m_frameCounter[ch].store(0, kRelaxed);
        m_byteCounter[ch].store(0, kRelaxed);
        m_framesLastSecond[ch].store(0, kRelaxed);
        m_bytesLastSecond[ch].store(0, kRelaxed);
        m_frameReady[ch].store(0, kRelaxed);
    }
    m_channel.VideoCtx().SetPaused(false);
}
