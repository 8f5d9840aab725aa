#pragma once
// AAC (ADTS) frames of a recording decoded to the export's AVI sound: 16-bit mono at 8000 Hz.

#include <cstddef>
#include <cstdint>
#include <vector>

struct AVCodecContext;
struct AVPacket;
struct AVFrame;
struct SwrContext;

class CExportAudio {
public:
    CExportAudio();
    ~CExportAudio();
    CExportAudio(const CExportAudio&) = delete;
    CExportAudio& operator=(const CExportAudio&) = delete;

    // Decodes one PES payload of ADTS frames; the samples are appended to `pcm` (cleared
    // first). False when the decoder could not be made; undecodable frames give no samples.
    bool Decode(const std::uint8_t* data, std::size_t size, std::vector<std::int16_t>& pcm);
    // Forgets the stream's state (a new export).
    void Reset();

private:
    bool Convert(const AVFrame* frame, std::vector<std::int16_t>& pcm);

    AVCodecContext* ctx_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    SwrContext* swr_ = nullptr;
    int swrRate_ = 0;
    int swrFormat_ = -1;
    int swrChannels_ = 0;
};
