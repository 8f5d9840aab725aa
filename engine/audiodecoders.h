#pragma once
// Byte-stream to PCM decoders for telephone-band audio: 8000 Hz mono, 16-bit samples.

#include "engine/g726.h"

#include <cstdint>

struct PcmDecodeParams {
    int bitsPerCode = 0;   // G.726 code size: 2..5 bits
};

class IDecodeToPcm {
public:
    virtual ~IDecodeToPcm() = default;
    // 0 when the decoder is ready; negative when the parameters are refused.
    virtual int Open(const PcmDecodeParams& params) = 0;
    // Decodes `inSize` bytes into `out` (room for *outSize bytes). Returns the bytes written
    // (also stored in *outSize), -1 for a null or empty argument, -2 when `out` is too small.
    virtual int Decode(std::int16_t* out, int* outSize, const std::uint8_t* in, int inSize) = 0;
    virtual int GetOutputFrameBytes() const = 0;
    virtual int GetFrameSamples() const = 0;
};

// One byte in, one sample out.
class DecodeToPcmBase : public IDecodeToPcm {
public:
    int Open(const PcmDecodeParams& params) override;
    int Decode(std::int16_t* out, int* outSize, const std::uint8_t* in, int inSize) override;
    int GetOutputFrameBytes() const override { return 320; }
    int GetFrameSamples() const override { return m_frameSamples; }
    virtual std::int16_t DecodeSample(std::uint8_t byte) const = 0;

protected:
    int m_frameSamples = 160;
};

class G711AToPcm : public DecodeToPcmBase {
public:
    std::int16_t DecodeSample(std::uint8_t byte) const override;
};

class G711UToPcm : public DecodeToPcmBase {
public:
    std::int16_t DecodeSample(std::uint8_t byte) const override;
};

// G.726 codes packed most significant bits first; bits left over at the end of one call's input
// begin the next call's first code.
class G726ToPcm : public IDecodeToPcm {
public:
    // Code sizes 2, 3, 4 and 5 give 16, 24, 32 and 40 kbit/s; any other size is refused (-1).
    int Open(const PcmDecodeParams& params) override;
    // Refuses (-2) without consuming anything when `out` cannot hold every sample the input
    // completes.
    int Decode(std::int16_t* out, int* outSize, const std::uint8_t* in, int inSize) override;
    int GetOutputFrameBytes() const override { return 320; }
    int GetFrameSamples() const override { return m_frameSamples; }
    int BitRate() const { return m_bitRate; }

private:
    int m_frameSamples = 160;
    G726State m_state{};
    std::uint32_t m_bits = 0;   // buffered bits, the oldest highest
    int m_bitCount = 0;
    int m_codeSize = 0;
    int m_bitRate = 0;
    G726DecodeFn m_decode = nullptr;
};
