// The float AAN inverse transform, plain path, and the choice of the SIMD variant.
#if defined(__i386__)
// Single-precision SSE arithmetic, as the SIMD paths use, instead of x87 extended precision.
#pragma GCC target("sse2", "fpmath=sse")
#endif
#include "images/jpeg_internal.h"
#include "images/jpeg_idct_pass.h"

namespace {

// Adding and taking away 1.5 x 2^23 leaves a float of magnitude below 2^22 rounded to the
// nearest integer, halves to even, as the vector conversion rounds.
constexpr float kRoundMagic = 12582912.0f;

inline int16_t RoundSample(float v)
{
    const float c = v < kIdctSampleMin ? kIdctSampleMin : (v > kIdctSampleMax ? kIdctSampleMax : v);
    return static_cast<int16_t>((c + kRoundMagic) - kRoundMagic);
}

}  // namespace

#if defined(__i386__)
// The callers' stack may be only 4-byte aligned on i686.
__attribute__((force_align_arg_pointer))
#endif
void JpegIdctPlain(const int16_t* coef, const float* mult, int16_t* out)
{
    float ws[64];
    float d[8];
    for (int col = 0; col < 8; ++col) {
        bool acZero = true;
        for (int k = 0; k < 8; ++k) {
            d[k] = static_cast<float>(coef[k * 8 + col]) * mult[k * 8 + col];
            if (k && coef[k * 8 + col] != 0)
                acZero = false;
        }
        if (acZero) {
            // Gives what the full pass gives for such a column, in one step.
            for (int k = 0; k < 8; ++k)
                ws[k * 8 + col] = d[0];
            continue;
        }
        float x[8];
        IdctPass(d, x);
        for (int k = 0; k < 8; ++k)
            ws[k * 8 + col] = x[k];
    }
    for (int row = 0; row < 8; ++row) {
        float x[8];
        IdctPass(ws + row * 8, x);
        for (int k = 0; k < 8; ++k)
            out[row * 8 + k] = RoundSample(x[k]);
    }
}

// Folded here so that i686 computes them with the same SSE arithmetic as x86_64.
void BuildQuantMultipliers(JpegQuantTable* t)
{
    for (int row = 0; row < 8; ++row) {
        for (int col = 0; col < 8; ++col) {
            const int i = row * 8 + col;
            t->multipliers[i] = static_cast<float>(static_cast<double>(t->values[i]) *
                                                   kJpegAanScale[row] * kJpegAanScale[col] *
                                                   0.125);
        }
    }
}

void JpegIdctGroupPlain(int blocks, const int16_t (*coef)[64], const float* const* mult,
                        const bool* ac, int16_t (*out)[64])
{
    for (int b = 0; b < blocks; ++b) {
        if (ac[b])
            JpegIdctPlain(coef[b], mult[b], out[b]);
        else
            JpegIdctDcOnly(static_cast<float>(coef[b][0]) * mult[b][0], out[b]);
    }
}

JpegIdctGroupFn ChooseJpegIdctGroup(SimdLevel level)
{
#if defined(__x86_64__)
    if (level >= SimdLevel::Avx2)
        return JpegIdctGroupAvx2;
    if (level >= SimdLevel::Sse2)
        return JpegIdctGroupSse2;
#else
    (void)level;
#endif
    return JpegIdctGroupPlain;
}

JpegIdctFn ChooseJpegIdct(SimdLevel level)
{
#if defined(__x86_64__)
    if (level >= SimdLevel::Avx2)
        return JpegIdctAvx2;
    if (level >= SimdLevel::Sse2)
        return JpegIdctSse2;
#else
    // i686 keeps the plain path (its stack is not aligned for vector spills).
    (void)level;
#endif
    return JpegIdctPlain;
}

void JpegIdctDcOnly(float dc, int16_t* out)
{
    // Every pass gives d0 unchanged when the other inputs are zero.
    const int16_t v = RoundSample(dc);
    for (int i = 0; i < 64; ++i)
        out[i] = v;
}
