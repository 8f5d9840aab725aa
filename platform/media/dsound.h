#pragma once
// DirectSound-style streaming output over SDL2 audio: a device object and looping secondary
// buffers of 16-bit mono PCM with play and write cursors, position notifications and a volume
// control: what the player's sound output asks of it, and no more.
//
// Each buffer owns one SDL audio device opened at the buffer's format. The SDL callback copies
// from the buffer's ring at the play cursor, applies the volume, advances the cursor (wrapping
// while looping) and signals the events of the notification positions it passes. While the
// buffer is stopped the callback produces silence and the cursor stays put.
//
// Lock hands out a private copy of the region, which Unlock writes back under the buffer's
// lock, so the writer and the audio callback never touch the same bytes at the same time.

#include "platform/base/types.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

using HRESULT = std::int32_t;

constexpr HRESULT DS_OK = 0;
constexpr HRESULT DSERR_GENERIC = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT DSERR_INVALIDPARAM = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT DSERR_INVALIDCALL = static_cast<HRESULT>(0x88780032u);
constexpr HRESULT DSERR_BADFORMAT = static_cast<HRESULT>(0x88780064u);
constexpr HRESULT DSERR_NODRIVER = static_cast<HRESULT>(0x88780078u);
constexpr HRESULT DSERR_BUFFERLOST = static_cast<HRESULT>(0x88780096u);

// The PCM format tag (WAVE_FORMAT_PCM, which the AVI layer also declares).
constexpr WORD kWaveFormatPcm = 1;

struct WAVEFORMATEX {
    WORD wFormatTag = kWaveFormatPcm;
    WORD nChannels = 1;
    DWORD nSamplesPerSec = 8000;
    DWORD nAvgBytesPerSec = 16000;
    WORD nBlockAlign = 2;
    WORD wBitsPerSample = 16;
    WORD cbSize = 0;
};

// Buffer capabilities. Only the primary-buffer flag changes behaviour here; the others are
// accepted for the caller's description of its buffer.
constexpr DWORD DSBCAPS_PRIMARYBUFFER = 0x00000001;
constexpr DWORD DSBCAPS_LOCSOFTWARE = 0x00000008;
constexpr DWORD DSBCAPS_CTRLFREQUENCY = 0x00000020;
constexpr DWORD DSBCAPS_CTRLVOLUME = 0x00000080;
constexpr DWORD DSBCAPS_CTRLPOSITIONNOTIFY = 0x00000100;
constexpr DWORD DSBCAPS_GLOBALFOCUS = 0x00008000;
constexpr DWORD DSBCAPS_GETCURRENTPOSITION2 = 0x00010000;

constexpr DWORD DSSCL_PRIORITY = 2;

constexpr DWORD DSBPLAY_LOOPING = 0x00000001;

constexpr LONG DSBVOLUME_MIN = -10000;
constexpr LONG DSBVOLUME_MAX = 0;
constexpr DWORD DSBSIZE_MIN = 4;
constexpr DWORD DSBSIZE_MAX = 0x0FFFFFFF;

struct DSBUFFERDESC {
    DWORD dwSize = sizeof(DSBUFFERDESC);
    DWORD dwFlags = 0;
    DWORD dwBufferBytes = 0;
    DWORD dwReserved = 0;
    const WAVEFORMATEX* lpwfxFormat = nullptr;
};

struct DSBPOSITIONNOTIFY {
    DWORD dwOffset = 0;  // byte offset in the buffer
    HANDLE hEventNotify = nullptr;
};

// Linear gain of a volume in hundredths of a decibel: 10^(v / 2000), clamped to
// [DSBVOLUME_MIN, DSBVOLUME_MAX], and exactly 0 at DSBVOLUME_MIN.
double DirectSoundGain(LONG volume);

class DirectSoundBuffer {
public:
    ~DirectSoundBuffer();
    DirectSoundBuffer(const DirectSoundBuffer&) = delete;
    DirectSoundBuffer& operator=(const DirectSoundBuffer&) = delete;

    // A region of `bytes` at `offset` (`flags` 0): the part up to the buffer's end in p1/n1,
    // the wrapped rest in p2/n2 (null/0 when none). One lock at a time; it holds the region's
    // current contents.
    HRESULT Lock(DWORD offset, DWORD bytes, void** p1, DWORD* n1, void** p2, DWORD* n2,
                 DWORD flags);
    // Writes the first n1 and n2 bytes of a locked region back into the buffer.
    HRESULT Unlock(void* p1, DWORD n1, void* p2, DWORD n2);
    // Starts playing from the play cursor, wrapping at the end (`flags` DSBPLAY_LOOPING).
    HRESULT Play(DWORD reserved, DWORD priority, DWORD flags);
    HRESULT Stop();
    // The play cursor and the write cursor, the first byte that is safe to write: one
    // device block ahead of the play cursor while playing.
    HRESULT GetCurrentPosition(DWORD* play, DWORD* write);
    HRESULT SetCurrentPosition(DWORD position);
    HRESULT SetVolume(LONG volume);
    // Nothing is ever lost here; kept for callers written against lost buffers.
    HRESULT Restore() { return DS_OK; }
    // Events signalled when the play cursor passes each offset. Only while stopped; replaces
    // the earlier set.
    HRESULT SetNotificationPositions(DWORD count, const DSBPOSITIONNOTIFY* positions);

    DWORD Size() const { return static_cast<DWORD>(m_ring.size()); }

    // Test tap: records every byte handed to the device (volume applied, silence included)
    // from now on, up to `max_bytes`, together with the notification offsets passed.
    void StartTap(std::size_t max_bytes);
    std::vector<BYTE> TakeTap();
    std::vector<DWORD> TakeNotifyLog();
    // Bytes the device has taken since the buffer was made, playing or not.
    std::uint64_t DeviceBytes() const { return m_deviceBytes.load(std::memory_order_relaxed); }

private:
    friend class DirectSound;
    DirectSoundBuffer(const WAVEFORMATEX& format, DWORD bytes);
    HRESULT OpenDevice();
    static void Callback(void* self, std::uint8_t* stream, int len);
    void Mix(std::uint8_t* out, int len);
    void Silence(std::uint8_t* out, std::size_t len) const;
    void ApplyGain(std::uint8_t* data, std::size_t len, double gain) const;

    WAVEFORMATEX m_format;
    std::uint32_t m_device = 0;  // SDL audio device id
    bool m_sdlInit = false;
    DWORD m_block = 0;           // bytes per device callback

    std::mutex m_lock;  // ring, cursors, notifications, staging and tap
    std::vector<BYTE> m_ring;
    DWORD m_play = 0;
    bool m_playing = false;
    std::vector<DSBPOSITIONNOTIFY> m_notify;  // ascending offsets
    std::vector<BYTE> m_staging;
    bool m_locked = false;
    DWORD m_lockOffset = 0;
    DWORD m_lockBytes = 0;
    bool m_tapping = false;
    std::size_t m_tapLimit = 0;
    std::vector<BYTE> m_tap;
    std::vector<DWORD> m_notifyLog;

    std::atomic<double> m_gain{1.0};
    std::atomic<std::uint64_t> m_deviceBytes{0};
};

// The output device. Each buffer is converted by SDL from its own format to what the system
// plays, so the primary format only has to be one a buffer could have.
class DirectSound {
public:
    // Starts SDL's audio subsystem; null when no audio driver can be started.
    static std::unique_ptr<DirectSound> Create();
    ~DirectSound();
    DirectSound(const DirectSound&) = delete;
    DirectSound& operator=(const DirectSound&) = delete;

    // There is no exclusive access to share; the window is not needed.
    HRESULT SetCooperativeLevel(HWND window, DWORD level);
    HRESULT SetPrimaryFormat(const WAVEFORMATEX& format);
    // A secondary buffer of 16-bit mono PCM with its own output stream.
    HRESULT CreateSoundBuffer(const DSBUFFERDESC& desc, std::unique_ptr<DirectSoundBuffer>* out);

private:
    DirectSound() = default;
};
