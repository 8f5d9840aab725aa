#pragma once
// MPEG-4 Part 2 (Xvid) encoding of exported pictures. One encoder per export: it is made for the
// first picture, made again when the picture size changes, and ended by Stop, so a new export
// never continues from another's reference pictures.

#include <cstdint>
#include <vector>

struct SwsContext;

class CXvidEncoder {
public:
    static constexpr int kMaxWidth = 1920;
    static constexpr int kMaxHeight = 1080;

    CXvidEncoder();
    ~CXvidEncoder();
    CXvidEncoder(const CXvidEncoder&) = delete;
    CXvidEncoder& operator=(const CXvidEncoder&) = delete;

    // Threads the library may use for a new encoder (0 = its own choice). Takes effect at the
    // next encoder made.
    void SetThreads(int threads) { threads_ = threads; }
    // Frame rate of the time base of a new encoder (25 when not positive).
    void SetFrameRate(int fps) { fps_ = fps > 0 ? fps : 25; }

    // Converts a picture (planes and strides of an FFmpeg pixel format, e.g. AV_PIX_FMT_YUV420P)
    // to planar 4:2:0 and encodes it; `force_key` asks for a key frame (first frame of a clip).
    // Returns the encoded size (> 0), 0 when the library held the frame back, or -1 on failure,
    // including pictures that are empty or larger than 1920 x 1080.
    int Encode(const std::uint8_t* const planes[3], const int strides[3], int pixel_format,
               int width, int height, bool force_key);

    const std::uint8_t* Data() const { return output_.data(); }
    bool KeyFrame() const { return key_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    // Bytes of the planar 4:2:0 encoder input of the current size.
    std::size_t InputSize() const { return input_.size(); }
    // Ends the encoder; the next picture makes a new one.
    void XvidEncoderStop();

private:
    // The library's three operations: make an encoder for `width` x `height` pictures (the
    // library's own processor detection, assembler on), encode the planar 4:2:0 input into
    // the output (its size; the key-frame flag set), and end the encoder.
    bool XvidEncoderInit(int width, int height);
    int XvidEncodeFrame(bool force_key);
    // The planes of the encoder input at the current size.
    void InputPlanes(std::uint8_t* planes[3], int strides[3]);

    void* handle_ = nullptr;
    SwsContext* sws_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    int threads_ = 0;
    int fps_ = 25;
    bool key_ = false;
    std::vector<std::uint8_t> input_;
    std::vector<std::uint8_t> output_;
};
