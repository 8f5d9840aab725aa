#include "platform/media/dsound.h"

#include "platform/base/sync.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// 32 ms at 8 kHz: short enough that the cursors move in small steps, long enough for a
// software mixer's callback thread.
constexpr int kDeviceSamples = 256;

bool ValidPcm(const WAVEFORMATEX& f)
{
    if (f.wFormatTag != kWaveFormatPcm || f.nChannels != 1 || f.wBitsPerSample != 16)
        return false;
    if (f.nSamplesPerSec < 100 || f.nSamplesPerSec > 192000)
        return false;
    return f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8;
}

}  // namespace

double DirectSoundGain(LONG volume)
{
    const LONG v = std::clamp(volume, DSBVOLUME_MIN, DSBVOLUME_MAX);
    if (v == DSBVOLUME_MIN)
        return 0.0;
    return std::pow(10.0, static_cast<double>(v) / 2000.0);
}

// ---------------------------------------------------------------------------------------------
// Device

std::unique_ptr<DirectSound> DirectSound::Create()
{
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return nullptr;
    return std::unique_ptr<DirectSound>(new DirectSound());
}

DirectSound::~DirectSound()
{
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

HRESULT DirectSound::SetCooperativeLevel(HWND, DWORD level)
{
    return level == DSSCL_PRIORITY ? DS_OK : DSERR_INVALIDPARAM;
}

HRESULT DirectSound::SetPrimaryFormat(const WAVEFORMATEX& format)
{
    return ValidPcm(format) ? DS_OK : DSERR_BADFORMAT;
}

HRESULT DirectSound::CreateSoundBuffer(const DSBUFFERDESC& desc,
                                       std::unique_ptr<DirectSoundBuffer>* out)
{
    if (out == nullptr)
        return DSERR_INVALIDPARAM;
    out->reset();
    // The primary buffer is only ever used to set the output format, which SetPrimaryFormat
    // does directly.
    if ((desc.dwFlags & DSBCAPS_PRIMARYBUFFER) != 0 || desc.lpwfxFormat == nullptr)
        return DSERR_INVALIDPARAM;
    const WAVEFORMATEX& f = *desc.lpwfxFormat;
    if (!ValidPcm(f))
        return DSERR_BADFORMAT;
    if (desc.dwBufferBytes < DSBSIZE_MIN || desc.dwBufferBytes > DSBSIZE_MAX ||
        desc.dwBufferBytes % f.nBlockAlign != 0)
        return DSERR_INVALIDPARAM;
    std::unique_ptr<DirectSoundBuffer> b(new DirectSoundBuffer(f, desc.dwBufferBytes));
    const HRESULT hr = b->OpenDevice();
    if (hr != DS_OK)
        return hr;
    *out = std::move(b);
    return DS_OK;
}

// ---------------------------------------------------------------------------------------------
// Buffer

DirectSoundBuffer::DirectSoundBuffer(const WAVEFORMATEX& format, DWORD bytes)
    : m_format(format), m_ring(bytes, 0)
{
}

DirectSoundBuffer::~DirectSoundBuffer()
{
    // Closing waits for a callback in progress.
    if (m_device != 0)
        SDL_CloseAudioDevice(m_device);
    if (m_sdlInit)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

HRESULT DirectSoundBuffer::OpenDevice()
{
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return DSERR_NODRIVER;
    m_sdlInit = true;
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(m_format.nSamplesPerSec);
    want.format = AUDIO_S16SYS;
    want.channels = static_cast<Uint8>(m_format.nChannels);
    want.samples = kDeviceSamples;
    want.callback = &DirectSoundBuffer::Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts from our format to the system's.
    m_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (m_device == 0)
        return DSERR_NODRIVER;
    m_block = have.size != 0 ? have.size : static_cast<DWORD>(kDeviceSamples) * m_format.nBlockAlign;
    // The device runs for the buffer's whole life; a stopped buffer feeds it silence.
    SDL_PauseAudioDevice(m_device, 0);
    return DS_OK;
}

void DirectSoundBuffer::Callback(void* self, std::uint8_t* stream, int len)
{
    if (len > 0)
        static_cast<DirectSoundBuffer*>(self)->Mix(stream, len);
}

void DirectSoundBuffer::Silence(std::uint8_t* out, std::size_t len) const
{
    std::memset(out, 0, len);
}

void DirectSoundBuffer::ApplyGain(std::uint8_t* data, std::size_t len, double gain) const
{
    if (gain == 1.0)
        return;
    for (std::size_t i = 0; i + 1 < len; i += 2) {
        std::int16_t s;
        std::memcpy(&s, data + i, 2);
        const long v = std::lrint(static_cast<double>(s) * gain);
        s = static_cast<std::int16_t>(std::clamp<long>(v, -32768, 32767));
        std::memcpy(data + i, &s, 2);
    }
}

void DirectSoundBuffer::Mix(std::uint8_t* out, int len)
{
    const std::size_t n = static_cast<std::size_t>(len);
    const std::size_t size = m_ring.size();
    std::lock_guard<std::mutex> guard(m_lock);
    std::size_t done = 0;
    while (done < n) {
        if (!m_playing) {
            Silence(out + done, n - done);
            break;
        }
        const std::size_t take = std::min(n - done, size - m_play);
        std::memcpy(out + done, m_ring.data() + m_play, take);
        for (const DSBPOSITIONNOTIFY& p : m_notify) {
            if (p.dwOffset >= m_play && p.dwOffset < m_play + take) {
                SetEvent(p.hEventNotify);
                if (m_tapping)
                    m_notifyLog.push_back(p.dwOffset);
            }
        }
        m_play = static_cast<DWORD>(m_play + take);
        done += take;
        if (m_play == size)
            m_play = 0;
    }
    ApplyGain(out, n, m_gain.load(std::memory_order_relaxed));
    m_deviceBytes.fetch_add(n, std::memory_order_relaxed);
    if (m_tapping && m_tap.size() < m_tapLimit) {
        const std::size_t keep = std::min(n, m_tapLimit - m_tap.size());
        m_tap.insert(m_tap.end(), out, out + keep);
    }
}

HRESULT DirectSoundBuffer::Lock(DWORD offset, DWORD bytes, void** p1, DWORD* n1, void** p2,
                                DWORD* n2, DWORD flags)
{
    if (p1 == nullptr || n1 == nullptr || flags != 0)
        return DSERR_INVALIDPARAM;
    const DWORD size = Size();
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_locked)
        return DSERR_INVALIDCALL;
    if (offset >= size || bytes == 0 || bytes > size)
        return DSERR_INVALIDPARAM;
    const DWORD first = std::min(bytes, size - offset);
    const DWORD second = bytes - first;
    if (second != 0 && (p2 == nullptr || n2 == nullptr))
        return DSERR_INVALIDPARAM;
    m_staging.resize(bytes);
    std::memcpy(m_staging.data(), m_ring.data() + offset, first);
    if (second != 0)
        std::memcpy(m_staging.data() + first, m_ring.data(), second);
    m_locked = true;
    m_lockOffset = offset;
    m_lockBytes = bytes;
    *p1 = m_staging.data();
    *n1 = first;
    if (p2 != nullptr)
        *p2 = second != 0 ? m_staging.data() + first : nullptr;
    if (n2 != nullptr)
        *n2 = second;
    return DS_OK;
}

HRESULT DirectSoundBuffer::Unlock(void* p1, DWORD n1, void* p2, DWORD n2)
{
    const DWORD size = Size();
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_locked || p1 != m_staging.data())
        return DSERR_INVALIDPARAM;
    const DWORD first = std::min(m_lockBytes, size - m_lockOffset);
    const DWORD second = m_lockBytes - first;
    if (n1 > first || n2 > second || (n2 != 0 && p2 != m_staging.data() + first))
        return DSERR_INVALIDPARAM;
    std::memcpy(m_ring.data() + m_lockOffset, m_staging.data(), n1);
    if (n2 != 0)
        std::memcpy(m_ring.data(), m_staging.data() + first, n2);
    m_locked = false;
    return DS_OK;
}

HRESULT DirectSoundBuffer::Play(DWORD, DWORD, DWORD flags)
{
    // A streaming buffer: it only ever plays in a loop.
    if (flags != DSBPLAY_LOOPING)
        return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> guard(m_lock);
    m_playing = true;
    return DS_OK;
}

HRESULT DirectSoundBuffer::Stop()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_playing = false;
    return DS_OK;
}

HRESULT DirectSoundBuffer::GetCurrentPosition(DWORD* play, DWORD* write)
{
    const DWORD size = Size();
    std::lock_guard<std::mutex> guard(m_lock);
    if (play != nullptr)
        *play = m_play;
    if (write != nullptr)
        *write = m_playing ? static_cast<DWORD>((m_play + m_block) % size) : m_play;
    return DS_OK;
}

HRESULT DirectSoundBuffer::SetCurrentPosition(DWORD position)
{
    if (position >= Size())
        return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> guard(m_lock);
    // Cursors stay on sample frames.
    m_play = position - position % m_format.nBlockAlign;
    return DS_OK;
}

HRESULT DirectSoundBuffer::SetVolume(LONG volume)
{
    if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX)
        return DSERR_INVALIDPARAM;
    m_gain.store(DirectSoundGain(volume), std::memory_order_relaxed);
    return DS_OK;
}

HRESULT DirectSoundBuffer::SetNotificationPositions(DWORD count, const DSBPOSITIONNOTIFY* positions)
{
    if (count != 0 && positions == nullptr)
        return DSERR_INVALIDPARAM;
    std::vector<DSBPOSITIONNOTIFY> list(positions, positions + count);
    for (const DSBPOSITIONNOTIFY& p : list)
        if (p.hEventNotify == nullptr || p.dwOffset >= Size())
            return DSERR_INVALIDPARAM;
    // Ascending offsets give the order in which the cursor passes them.
    std::stable_sort(list.begin(), list.end(),
                     [](const DSBPOSITIONNOTIFY& a, const DSBPOSITIONNOTIFY& b) { return a.dwOffset < b.dwOffset; });
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_playing)
        return DSERR_INVALIDCALL;
    m_notify = std::move(list);
    return DS_OK;
}

void DirectSoundBuffer::StartTap(std::size_t max_bytes)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_tap.clear();
    m_notifyLog.clear();
    m_tap.reserve(std::min<std::size_t>(max_bytes, 1 << 22));
    m_tapLimit = max_bytes;
    m_tapping = true;
}

std::vector<BYTE> DirectSoundBuffer::TakeTap()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_tapping = false;
    std::vector<BYTE> taken;
    taken.swap(m_tap);
    return taken;
}

std::vector<DWORD> DirectSoundBuffer::TakeNotifyLog()
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<DWORD> taken;
    taken.swap(m_notifyLog);
    return taken;
}
