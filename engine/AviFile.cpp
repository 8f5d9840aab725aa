#include "engine/AviFile.h"

#include <algorithm>

CAviFile::CAviFile() = default;

CAviFile::~CAviFile()
{
    Close();
}

bool CAviFile::IsOpen() const
{
    return file_ != nullptr;
}

bool CAviFile::Close()
{
    // Streams first: the file is finished when its last reference goes. No settling wait
    // is needed before or after: the release writes the header and index itself.
    bool ok = true;
    if (video_ && AVIStreamRelease(video_) != AVIERR_OK)
        ok = false;
    if (audio_ && AVIStreamRelease(audio_) != AVIERR_OK)
        ok = false;
    if (file_ && AVIFileRelease(file_) != AVIERR_OK)
        ok = false;
    video_ = audio_ = nullptr;
    file_ = nullptr;
    video_pos_ = audio_pos_ = 0;
    return ok;
}

bool CAviFile::Create(const std::string& path, int width, int height, int fps)
{
    Close();
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide || fps < 0)
        return false;
    if (fps == 0)
        fps = 30;
    if (AVIFileOpenW(&file_, path.c_str(), OF_CREATE | OF_WRITE, nullptr) != AVIERR_OK) {
        file_ = nullptr;
        return false;
    }
    const DWORD codec = xvid_ ? kXvidCodec : kH264Codec;
    AVISTREAMINFOW si;
    si.fccType = streamtypeVIDEO;
    si.fccHandler = kHandler;
    si.dwScale = 1000;
    si.dwRate = DWORD(fps) * 1000;
    si.dwQuality = -1;
    si.rcFrame = RECT{0, 0, width, height};
    AVIVIDEOFORMAT bi;
    bi.biWidth = width;
    bi.biHeight = height;
    bi.biPlanes = 1;
    bi.biBitCount = 24;
    bi.biCompression = codec;
    bi.biSizeImage = DWORD((DWORD(width) * 3 + 3) & ~3u) * DWORD(height);
    if (AVIFileCreateStreamW(file_, &video_, &si) != AVIERR_OK ||
        AVIStreamSetFormat(video_, 0, &bi, sizeof bi) != AVIERR_OK) {
        Close();
        return false;
    }
    video_pos_ = audio_pos_ = 0;
    fps_ = fps;
    audio_start_ = -1;
    return true;
}

bool CAviFile::Open(const std::string& path)
{
    Close();
    if (AVIFileOpenW(&file_, path.c_str(), OF_READ | OF_SHARE_DENY_NONE, nullptr) != AVIERR_OK) {
        file_ = nullptr;
        return false;
    }
    AVISTREAMINFOW si;
    if (AVIFileInfoW(file_, &info_, sizeof info_) != AVIERR_OK ||
        AVIFileGetStream(file_, &video_, streamtypeVIDEO, 0) != AVIERR_OK ||
        AVIStreamInfoW(video_, &si, sizeof si) != AVIERR_OK) {
        Close();
        return false;
    }
    if (AVIFileGetStream(file_, &audio_, streamtypeAUDIO, 0) != AVIERR_OK)
        audio_ = nullptr;
    video_pos_ = audio_pos_ = 0;
    return true;
}

bool CAviFile::WriteVideo(const void* data, long size, bool key)
{
    if (!video_ || size < 0 || size > 0x7FFFFFFF)
        return false;
    // Only key pictures are marked: a player seeks to marked samples, and an H.264 picture
    // that depends on earlier ones cannot start decoding.
    if (AVIStreamWrite(video_, video_pos_, 1, data, LONG(size), key ? AVIIF_KEYFRAME : 0, nullptr,
                       nullptr) != AVIERR_OK)
        return false;
    ++video_pos_;
    return true;
}

bool CAviFile::WriteAudio(const void* data, long size)
{
    if (!file_ || size < 0 || size > 0x7FFFFFFF)
        return false;
    if (!audio_) {
        AVISTREAMINFOW si;
        si.fccType = streamtypeAUDIO;
        si.dwScale = 2;
        si.dwRate = kAudioRate * 2;
        si.dwSampleSize = 2;
        AVIAUDIOFORMAT wf;
        wf.wFormatTag = WAVE_FORMAT_PCM;
        wf.nChannels = 1;
        wf.nSamplesPerSec = kAudioRate;
        wf.nAvgBytesPerSec = kAudioRate * 2;
        wf.nBlockAlign = 2;
        wf.wBitsPerSample = 16;
        wf.cbSize = 0;
        if (AVIFileCreateStreamW(file_, &audio_, &si) != AVIERR_OK) {
            audio_ = nullptr;
            return false;
        }
        if (AVIStreamSetFormat(audio_, 0, &wf, sizeof wf) != AVIERR_OK)
            return false;
        // Sound that begins late keeps its place beside the pictures.
        if (audio_start_ >= 0)
            audio_pos_ = audio_start_;
        else if (fps_ > 0)
            audio_pos_ = std::int32_t(std::int64_t(video_pos_) * kAudioRate / fps_);
    }
    const LONG samples = LONG(size / 2);
    if (AVIStreamWrite(audio_, audio_pos_, samples, data, LONG(size), AVIIF_KEYFRAME, nullptr,
                       nullptr) != AVIERR_OK)
        return false;
    audio_pos_ += samples;
    return true;
}

std::int64_t CAviFile::PicturesEnd() const
{
    return std::int64_t(video_pos_) * kAudioRate / (fps_ > 0 ? fps_ : 30);
}

std::int64_t CAviFile::SoundEnd() const
{
    return audio_ ? audio_pos_ : (audio_start_ >= 0 ? audio_start_ : PicturesEnd());
}

std::int64_t CAviFile::SoundRoom() const
{
    return std::max<std::int64_t>(0, PicturesEnd() - SoundEnd());
}

bool CAviFile::ReadVideo(void* buffer, long* size)
{
    if (!video_ || !size || *size < 0)
        return false;
    LONG bytes = 0;
    if (AVIStreamRead(video_, video_pos_, 1, buffer, LONG(*size), &bytes, nullptr) != AVIERR_OK)
        return false;
    ++video_pos_;
    *size = bytes;
    return true;
}

bool CAviFile::ReadAudio(void* buffer, long* size)
{
    if (!audio_ || !size || *size < 0)
        return false;
    LONG bytes = 0;
    if (AVIStreamRead(audio_, audio_pos_, LONG(*size / 2), buffer, LONG(*size), &bytes, nullptr) !=
        AVIERR_OK)
        return false;
    audio_pos_ += bytes / 2;
    *size = bytes;
    return true;
}
