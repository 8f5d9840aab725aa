#include "engine/g726.h"

#include <cstdlib>

namespace {

// Per-rate tables, indexed by the whole code: log quantiser output level (DQLN), scale-factor
// multiplier W (already scaled for the update) and speed-control function F.
constexpr int kDqln16[4] = {116, 365, 365, 116};
constexpr int kW16[4] = {-704, 14048, 14048, -704};
constexpr int kF16[4] = {0, 0xE00, 0xE00, 0};

constexpr int kDqln24[8] = {-2048, 135, 273, 373, 373, 273, 135, -2048};
constexpr int kW24[8] = {-128, 960, 4384, 18624, 18624, 4384, 960, -128};
constexpr int kF24[8] = {0, 0x200, 0x400, 0xE00, 0xE00, 0x400, 0x200, 0};

constexpr int kDqln32[16] = {-2048, 4, 135, 213, 273, 323, 373, 425, 425, 373, 323, 273, 213, 135, 4, -2048};
constexpr int kW32[16] = {-384, 576, 1312, 2048, 3584, 6336, 11360, 35904,
                          35904, 11360, 6336, 3584, 2048, 1312, 576, -384};
constexpr int kF32[16] = {0, 0, 0, 0x200, 0x200, 0x200, 0x600, 0xE00,
                          0xE00, 0x600, 0x200, 0x200, 0x200, 0, 0, 0};

constexpr int kDqln40[32] = {-2048, -66, 28, 104, 169, 224, 274, 318, 358, 395, 429, 459, 488, 514, 539, 566,
                             566, 539, 514, 488, 459, 429, 395, 358, 318, 274, 224, 169, 104, 28, -66, -2048};
constexpr int kW40[32] = {448, 448, 768, 1248, 1280, 1312, 1856, 3200, 4512, 5728, 7008, 8960, 11456, 14080, 16928,
                          22272, 22272, 16928, 14080, 11456, 8960, 7008, 5728, 4512, 3200, 1856, 1312, 1280, 1248,
                          768, 448, 448};
constexpr int kF40[32] = {0, 0, 0, 0, 0, 0x200, 0x200, 0x200, 0x200, 0x200, 0x400, 0x600, 0x800, 0xA00, 0xC00, 0xC00,
                          0xC00, 0xC00, 0xA00, 0x800, 0x600, 0x400, 0x200, 0x200, 0x200, 0x200, 0x200, 0, 0, 0, 0, 0};

// The state keeps 16-bit words; values that leave that range wrap as the recommendation's
// 16-bit registers do.
std::int16_t W16(int v)
{
    return static_cast<std::int16_t>(v);
}

// Number of significant bits of a non-negative value, at most 15.
int BitLength15(int v)
{
    int n = 0;
    while (n < 15 && v >= (1 << n))
        ++n;
    return n;
}

// FMULT: a predictor coefficient (already shifted to 14 bits) times a value in floating format.
int FloatMultiply(int an, int srn)
{
    const int anmag = an > 0 ? an : (-an) & 0x1FFF;
    const int anexp = BitLength15(anmag) - 6;
    const int anmant = anmag == 0 ? 32 : anexp >= 0 ? anmag >> anexp : anmag << -anexp;
    const int wanexp = anexp + ((srn >> 6) & 0xF) - 13;
    const int wanmant = (anmant * (srn & 077) + 0x30) >> 4;
    const int product = wanexp >= 0 ? (wanmant << wanexp) & 0x7FFF : wanmant >> -wanexp;
    return (an ^ srn) < 0 ? -product : product;
}

int PredictorZero(const G726State& s)
{
    int sum = 0;
    for (int i = 0; i < 6; ++i)
        sum += FloatMultiply(s.b[i] >> 2, s.dq[i]);
    return sum;
}

int PredictorPole(const G726State& s)
{
    return FloatMultiply(s.a[1] >> 2, s.sr[1]) + FloatMultiply(s.a[0] >> 2, s.sr[0]);
}

// Step size from the two scale factors mixed by the speed control.
int StepSize(const G726State& s)
{
    if (s.ap >= 256)
        return s.yu;
    int y = s.yl >> 6;
    const int dif = s.yu - y;
    const int al = s.ap >> 2;
    if (dif > 0)
        y += (dif * al) >> 6;
    else if (dif < 0)
        y += (dif * al + 0x3F) >> 6;
    return y;
}

// Inverse quantiser: the quantised difference in sign-magnitude form (negative values carry
// their magnitude in the low 15 bits, as `magnitude - 0x8000`).
int Reconstruct(bool negative, int dqln, int y)
{
    const int dql = dqln + (y >> 2);
    if (dql < 0)
        return negative ? -0x8000 : 0;
    const int dex = (dql >> 7) & 15;
    const int dqt = 128 + (dql & 127);
    const int dq = dex <= 14 ? (dqt << 7) >> (14 - dex) : (dqt << 7) << (dex - 14);
    return negative ? dq - 0x8000 : dq;
}

// A 16-bit magnitude in the 4-bit exponent, 6-bit mantissa floating format.
int ToFloat(int mag)
{
    const int exp = BitLength15(mag);
    return (exp << 6) + ((mag << 6) >> exp);
}

void Update(int codeSize, int y, int wi, int fi, int dq, int sr, int dqsez, G726State& s)
{
    const int pk0 = dqsez < 0 ? 1 : 0;
    const int mag = dq & 0x7FFF;

    // Transition detector: a large difference while a tone is detected marks a modem signal.
    const int ylint = s.yl >> 15;
    const int ylfrac = (s.yl >> 10) & 0x1F;
    const int thr1 = (32 + ylfrac) << ylint;
    const int thr2 = ylint > 9 ? 31 << 10 : thr1;
    const int dqthr = (thr2 + (thr2 >> 1)) >> 1;
    const bool tr = s.td != 0 && mag > dqthr;

    // Scale factors.
    int yu = y + ((wi - y) >> 5);
    if (yu < 544)
        yu = 544;
    else if (yu > 5120)
        yu = 5120;
    s.yu = W16(yu);
    s.yl += s.yu + ((-s.yl) >> 6);

    int a2p = 0;
    if (tr) {
        s.a[0] = s.a[1] = 0;
        for (std::int16_t& b : s.b)
            b = 0;
    } else {
        const int pks1 = pk0 ^ s.pk[0];

        a2p = s.a[1] - (s.a[1] >> 7);
        if (dqsez != 0) {
            const int fa1 = pks1 ? s.a[0] : -s.a[0];
            if (fa1 < -8191)
                a2p -= 0x100;
            else if (fa1 > 8191)
                a2p += 0xFF;
            else
                a2p += fa1 >> 5;

            if (pk0 ^ s.pk[1]) {
                if (a2p <= -12160)
                    a2p = -12288;
                else if (a2p >= 12416)
                    a2p = 12288;
                else
                    a2p -= 0x80;
            } else if (a2p <= -12416) {
                a2p = -12288;
            } else if (a2p >= 12160) {
                a2p = 12288;
            } else {
                a2p += 0x80;
            }
        }
        s.a[1] = W16(a2p);

        int a1 = s.a[0] - (s.a[0] >> 8);
        if (dqsez != 0)
            a1 += pks1 == 0 ? 192 : -192;
        const int a1ul = 15360 - a2p;
        if (a1 < -a1ul)
            a1 = -a1ul;
        else if (a1 > a1ul)
            a1 = a1ul;
        s.a[0] = W16(a1);

        for (int i = 0; i < 6; ++i) {
            int b = s.b[i];
            b -= b >> (codeSize == 5 ? 9 : 8);
            if (mag != 0)
                b += (dq ^ s.dq[i]) >= 0 ? 128 : -128;
            s.b[i] = W16(b);
        }
    }

    for (int i = 5; i > 0; --i)
        s.dq[i] = s.dq[i - 1];
    if (mag == 0)
        s.dq[0] = W16(dq >= 0 ? 0x20 : 0xFC20);
    else
        s.dq[0] = W16(dq >= 0 ? ToFloat(mag) : ToFloat(mag) - 0x400);

    s.sr[1] = s.sr[0];
    if (sr == 0)
        s.sr[0] = 0x20;
    else if (sr > 0)
        s.sr[0] = W16(ToFloat(sr));
    else if (sr > -32768)
        s.sr[0] = W16(ToFloat(-sr) - 0x400);
    else
        s.sr[0] = W16(0xFC20);

    s.pk[1] = s.pk[0];
    s.pk[0] = W16(pk0);

    // Tone detector.
    s.td = !tr && a2p < -11776 ? 1 : 0;

    // Adaptation speed control.
    s.dms = W16(s.dms + ((fi - s.dms) >> 5));
    s.dml = W16(s.dml + (((fi << 2) - s.dml) >> 7));
    if (tr)
        s.ap = 256;
    else if (y < 1536 || s.td == 1 || std::abs((s.dms << 2) - s.dml) >= (s.dml >> 3))
        s.ap = W16(s.ap + ((0x200 - s.ap) >> 4));
    else
        s.ap = W16(s.ap + ((-s.ap) >> 4));
}

template <int Bits>
int DecodeCode(int code, int outputKind, G726State* state, const int* dqln, const int* w, const int* f)
{
    G726State& s = *state;
    const int i = code & ((1 << Bits) - 1);
    // The signal path runs in 16-bit registers: overdriven sums wrap rather than grow.
    const int sezi = W16(PredictorZero(s));
    const int sez = sezi >> 1;
    const int se = W16(sezi + PredictorPole(s)) >> 1;
    const int y = StepSize(s);
    const int dq = Reconstruct((i & (1 << (Bits - 1))) != 0, dqln[i], y);
    // The whole 15-bit magnitude: at 40 kbit/s it can exceed 14 bits.
    const int sr = W16(dq < 0 ? se - (dq & 0x7FFF) : se + dq);
    const int dqsez = W16(sr - se + sez);
    Update(Bits, y, w[i], f[i], dq, sr, dqsez, s);
    return outputKind == kG726OutputLinear ? static_cast<std::int16_t>(sr * 4) : -1;
}

}  // namespace

void G726State::Reset()
{
    yl = 34816;
    yu = 544;
    dms = dml = ap = 0;
    a[0] = a[1] = 0;
    pk[0] = pk[1] = 0;
    for (std::int16_t& v : b)
        v = 0;
    for (std::int16_t& v : dq)
        v = 32;
    sr[0] = sr[1] = 32;
    td = 0;
}

int G726Decode16(int code, int outputKind, G726State* state)
{
    return DecodeCode<2>(code, outputKind, state, kDqln16, kW16, kF16);
}

int G726Decode24(int code, int outputKind, G726State* state)
{
    return DecodeCode<3>(code, outputKind, state, kDqln24, kW24, kF24);
}

int G726Decode32(int code, int outputKind, G726State* state)
{
    return DecodeCode<4>(code, outputKind, state, kDqln32, kW32, kF32);
}

int G726Decode40(int code, int outputKind, G726State* state)
{
    return DecodeCode<5>(code, outputKind, state, kDqln40, kW40, kF40);
}

G726DecodeFn G726RoutineForBits(int bits)
{
    switch (bits) {
    case 2: return G726Decode16;
    case 3: return G726Decode24;
    case 4: return G726Decode32;
    case 5: return G726Decode40;
    default: return nullptr;
    }
}

void G726Decoder::Init(std::int32_t id)
{
    count0 = 0;
    count1 = 0;
    codecId = id;
    state.Reset();
    switch (id) {
    case 32: case 48: decode = G726Decode16; break;
    case 33: case 49: decode = G726Decode24; break;
    case 34: case 50: decode = G726Decode32; break;
    case 35: case 51: decode = G726Decode40; break;
    default: decode = nullptr; break;
    }
}
