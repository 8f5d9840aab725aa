#include "engine/audiodecoders.h"

int DecodeToPcmBase::Open(const PcmDecodeParams&)
{
    m_frameSamples = 160;
    return 0;
}

int DecodeToPcmBase::Decode(std::int16_t* out, int* outSize, const std::uint8_t* in, int inSize)
{
    if (!out || !outSize || !in || inSize <= 0)
        return -1;
    if (*outSize / 2 < inSize)
        return -2;
    for (int i = 0; i < inSize; ++i)
        out[i] = DecodeSample(in[i]);
    *outSize = 2 * inSize;
    return *outSize;
}

std::int16_t G711AToPcm::DecodeSample(std::uint8_t byte) const
{
    const int a = byte ^ 0x55;  // even bits are stored inverted
    int magnitude = (a & 0x0F) << 4;
    const int segment = (a & 0x70) >> 4;
    if (segment == 0)
        magnitude += 8;
    else
        magnitude = (magnitude + 0x108) << (segment - 1);
    return static_cast<std::int16_t>((a & 0x80) ? magnitude : -magnitude);
}

std::int16_t G711UToPcm::DecodeSample(std::uint8_t byte) const
{
    const int u = ~byte & 0xFF;
    const int biased = (((u & 0x0F) << 3) + 0x84) << ((u & 0x70) >> 4);
    return static_cast<std::int16_t>((u & 0x80) ? 0x84 - biased : biased - 0x84);
}

int G726ToPcm::Open(const PcmDecodeParams& params)
{
    m_frameSamples = 160;
    m_decode = G726RoutineForBits(params.bitsPerCode);
    if (!m_decode) {
        m_codeSize = 0;
        m_bitRate = 0;
        return -1;
    }
    m_codeSize = params.bitsPerCode;
    m_bitRate = m_codeSize * 8000;
    m_state.Reset();
    m_bits = 0;
    m_bitCount = 0;
    return 0;
}

int G726ToPcm::Decode(std::int16_t* out, int* outSize, const std::uint8_t* in, int inSize)
{
    if (!out || !outSize || !in || inSize <= 0 || !m_decode)
        return -1;
    const long long samples = (static_cast<long long>(m_bitCount) + 8LL * inSize) / m_codeSize;
    if (*outSize / 2 < samples)
        return -2;

    int written = 0;
    for (int i = 0; i < inSize; ++i) {
        m_bits = (m_bits << 8) | in[i];
        m_bitCount += 8;
        while (m_bitCount >= m_codeSize) {
            m_bitCount -= m_codeSize;
            const int code = static_cast<int>(m_bits >> m_bitCount) & ((1 << m_codeSize) - 1);
            out[written++] = static_cast<std::int16_t>(m_decode(code, kG726OutputLinear, &m_state));
        }
        m_bits &= (1u << m_bitCount) - 1;
    }
    *outSize = 2 * written;
    return *outSize;
}
