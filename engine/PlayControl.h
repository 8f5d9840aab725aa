#pragma once
// Play control: the pure rules behind the engine's speed, step, zoom and file-following
// operations (CJtvCtrl members in PlayControl.cpp), and what the play clock asks of a
// channel's audio.

#include <cstdint>
#include <functional>

class CAudioCtx;

// Margins cut off a picture: left and top count inward from 0 upward, right and bottom inward
// from 0 downward. All zero: the whole picture.
struct CropRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    bool IsZero() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
    bool operator==(const CropRect&) const = default;
};

constexpr double kMinPlaySpeed = 0.125;
constexpr double kMaxPlaySpeed = 32.0;
constexpr double kStepSpeed = 1.1;

// The speed the engine takes for a request: 0 pauses; other magnitudes are held between 1/8
// and 32 with their sign. False for a value that is not a number (the request is ignored).
bool ClampPlaySpeed(double requested, double* speed);
// Frames per step for a speed: the speed truncated, and +-11 for the single-frame steps.
int StepForSpeed(double speed);
bool IsFrameStep(double speed);

// One zoom step of `step` percent toward the point (x, y), in millionths of a W x H picture.
// The result always leaves a visible area inside the picture.
CropRect ZoomCrop(const CropRect& current, int width, int height, int x, int y, int step);

// Start and length (seconds) of entry n of a file list; false outside the list.
using FileTimesFn = std::function<bool(int n, std::int64_t* start, std::int64_t* length)>;
// The entry of a file list that play time `t` (calendar seconds) moves to from `current`: the
// previous one when t lies before it, the next one when t lies past its end, at most one entry
// a call; `current` itself when it still holds t or when there is no such entry.
int FollowFileIndex(int current, std::int64_t t, const FileTimesFn& times);

// A channel's audio as the play clock sees it: the anchor between a stream time and the tick
// count that the audio keeps, and which it writes into the engine's clock base
// (CJtvCtrl::SetClockBase) whenever it restarts the clock.
class AudioClockAnchor {
public:
    virtual ~AudioClockAnchor() = default;
    // Takes the stream time (microseconds) as the anchored media time.
    virtual void SetMediaTime(std::int64_t time_us) = 0;
    // Restarts the clock from the current tick at the anchored media time.
    virtual void RestartClock() = 0;
    // Restarts the clock from the current tick at stream time `time_us` (the picture on the
    // screen after a seek or any other change of play).
    virtual void RestartClockAt(std::int64_t time_us)
    {
        SetMediaTime(time_us);
        RestartClock();
    }
    // SetMediaTime(time_us) and RestartClock() with no other restart between them.
    virtual void RestartClockFrom(std::int64_t time_us) { AudioClockAnchor::RestartClockAt(time_us); }
    // Asks the audio thread to resynchronise at its next packet.
    virtual void RequestResync() = 0;
    // The engine's clock base moved by (tick_ms, time_us); the anchor moves with it.
    virtual void ShiftAnchor(std::int64_t tick_ms, std::int64_t time_us) = 0;
};

// The channel's own audio context as the anchor, unless another one is set.
class ChannelAudioAnchor : public AudioClockAnchor {
public:
    explicit ChannelAudioAnchor(CAudioCtx& audio) : m_audio(audio) {}
    void SetMediaTime(std::int64_t time_us) override;
    void RestartClock() override;
    void RestartClockAt(std::int64_t time_us) override;
    void RestartClockFrom(std::int64_t time_us) override;
    void RequestResync() override;
    void ShiftAnchor(std::int64_t tick_ms, std::int64_t time_us) override;

private:
    CAudioCtx& m_audio;
};
