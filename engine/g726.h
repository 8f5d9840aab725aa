#pragma once
// G.726 ADPCM decoding at 16, 24, 32 and 40 kbit/s in the integer structure of the
// recommendation, so that output is bit-exact with other conforming decoders.

#include <cstdint>

// The coder state of the recommendation; values in its fixed-point and floating formats.
struct G726State {
    std::int32_t yl;     // locked quantiser scale factor
    std::int16_t yu;     // unlocked quantiser scale factor
    std::int16_t dms;    // short-term mean magnitude of F[I]
    std::int16_t dml;    // long-term mean magnitude of F[I]
    std::int16_t ap;     // speed control
    std::int16_t a[2];   // pole predictor coefficients
    std::int16_t b[6];   // zero predictor coefficients
    std::int16_t pk[2];  // signs of the last two partial reconstructions
    std::int16_t dq[6];  // last six quantised differences, floating format
    std::int16_t sr[2];  // last two reconstructed signals, floating format
    std::int16_t td;     // tone detected

    void Reset();
};

// Output kinds of a decode routine; only linear PCM is produced.
constexpr int kG726OutputLinear = 3;

// Decodes the low 2, 3, 4 or 5 bits of `code` into one sample and advances the state.
// Linear output is the reconstruction times 4 as a 16-bit sample; any other kind gives -1 after
// the update.
using G726DecodeFn = int (*)(int code, int outputKind, G726State* state);

int G726Decode16(int code, int outputKind, G726State* state);
int G726Decode24(int code, int outputKind, G726State* state);
int G726Decode32(int code, int outputKind, G726State* state);
int G726Decode40(int code, int outputKind, G726State* state);

// The routine of a code size in bits (2..5), or null.
G726DecodeFn G726RoutineForBits(int bits);

struct G726Decoder {
    std::int32_t count0;   // cleared by Init, kept by the caller
    std::int32_t count1;
    std::int32_t codecId;
    G726State state;
    G726DecodeFn decode;   // null when the id is not a G.726 id

    // Ids 32..35 and 48..51 select 16, 24, 32 and 40 kbit/s.
    void Init(std::int32_t id);
    // One code through the selected routine; -1 when there is none.
    int Decode(int code, int outputKind = kG726OutputLinear)
    {
        return decode ? decode(code, outputKind, &state) : -1;
    }
};
