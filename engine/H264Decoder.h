#pragma once
// One H.264 decoder with its picture scaler, shared by the engine objects that decode video.
// Embedded by value in its owners; all fields are null/zero until opened.

struct AVCodecContext;
struct AVCodec;
struct AVFrame;
struct AVPacket;
struct SwsContext;

struct H264DecoderState {
    int width = 0;           // picture size of the scaler
    int height = 0;
    int bitsPerPixel = 0;    // 12 (YUV 4:2:0), 16 (RGB565) or 32 (BGRA): the scaler's output
    AVCodecContext* context = nullptr;
    const AVCodec* codec = nullptr;  // non-null while the decoder is open
    AVFrame* frame = nullptr;        // the decode target
    AVPacket* packet = nullptr;      // emptied on every open
    SwsContext* scaler = nullptr;
    int scalerSourceFormat = -1;     // pixel format the scaler was made for
};

// Codecs register themselves in the FFmpeg releases we build on; kept for the callers that
// expect a one-time registration step.
inline void RegisterCodecs() {}

// Opens the decoder (reusing what is already made) and, when width, height and bits per pixel
// are all non-zero, the scaler from the last decoded picture's format (4:2:0 before the
// first picture) to the output form at the same size. False on any failure, which keeps what
// was made so that CloseH264Decoder frees it.
bool OpenH264Decoder(H264DecoderState& state, int width, int height, int bits_per_pixel);
// Makes the scaler fit a decoded picture: re-made when the picture's format or size differs
// from what it was made for. False when the format cannot be converted.
bool FitH264Scaler(H264DecoderState& state, const AVFrame* picture);
// Closes the decoder and frees the context, frame, packet and scaler; the picture values stay.
void CloseH264Decoder(H264DecoderState& state);
