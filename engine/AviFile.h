#pragma once
// One AVI clip: a video stream and, once audio is written, a 16-bit mono 8000 Hz PCM stream
// that begins at the picture being written when the first sound came. Written frame by frame,
// or read back the same way.

#include "platform/media/avifile.h"

#include <cstdint>
#include <string>

class CAviFile {
public:
    CAviFile();
    virtual ~CAviFile();
    CAviFile(const CAviFile&) = delete;
    CAviFile& operator=(const CAviFile&) = delete;

    // A new file for `width` x `height` pictures at `fps` frames a second (30 when 0). The video
    // is declared "xvid" (MPEG-4 Part 2) with the Xvid flag set, else "X264", handler "AVC1".
    virtual bool Create(const std::string& path, int width, int height, int fps);
    virtual bool Open(const std::string& path);
    // Finishes and closes the file; false when it could not be completely written.
    virtual bool Close();
    virtual bool IsOpen() const;
    // One frame at the next video position, marked as a key frame when `key` is set.
    virtual bool WriteVideo(const void* data, long size, bool key);
    // PCM bytes (16-bit mono, 8000 Hz); the audio stream is made on first use, whenever that
    // comes. False when the bytes were not written.
    virtual bool WriteAudio(const void* data, long size);
    // The frame at the video position; `size` gives the buffer's room and returns the bytes.
    virtual bool ReadVideo(void* buffer, long* size);
    // Up to `size` bytes of samples from the audio position; `size` returns the bytes read.
    virtual bool ReadAudio(void* buffer, long* size);

    void SetXvid(bool flag) { xvid_ = flag; }
    // Where the audio stream, once made, begins (in samples) when the caller knows the sound's
    // time; otherwise it begins at the picture being written.
    void SetAudioStart(std::int32_t sample) { audio_start_ = sample; }
    bool Xvid() const { return xvid_; }
    // Samples of sound from the clip's start to the end of the last picture written.
    std::int64_t PicturesEnd() const;
    // Sample at which the next sound written goes.
    std::int64_t SoundEnd() const;
    // Samples of sound that still fit before the end of the last picture written.
    std::int64_t SoundRoom() const;

    static constexpr int kMaxSide = 8192;
    static constexpr DWORD kXvidCodec = mmioFOURCC('x', 'v', 'i', 'd');
    static constexpr DWORD kH264Codec = mmioFOURCC('X', '2', '6', '4');
    static constexpr DWORD kHandler = mmioFOURCC('A', 'V', 'C', '1');
    static constexpr DWORD kAudioRate = 8000;

protected:
    PAVIFILE file_ = nullptr;
    PAVISTREAM video_ = nullptr;
    PAVISTREAM audio_ = nullptr;
    AVIFILEINFOW info_{};
    std::int32_t video_pos_ = 0;
    std::int32_t audio_pos_ = 0;
    int fps_ = 0;
    std::int32_t audio_start_ = -1;
    bool xvid_ = false;
};
