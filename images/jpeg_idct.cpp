// The float AAN inverse transform, plain path, and the choice of the SIMD variant.
#if defined(__i386__)
// Single-precision SSE arithmetic, as the SIMD paths use, instead of x87 extended precision.
#pragma GCC target("sse2", "fpmath=sse")
#endif
#include <cpuid.h>

#include <cstdlib>
#include <cstring>

#include "images/jpeg_internal.h"
#include "images/jpeg_idct_pass.h"

namespace {

constexpr unsigned kCpuidSse2 = 1u << 26;     // edx of leaf 1
constexpr unsigned kCpuidOsxsave = 1u << 27;  // ecx of leaf 1
constexpr unsigned kCpuidAvx = 1u << 28;      // ecx of leaf 1
constexpr unsigned kCpuidAvx2 = 1u << 5;      // ebx of leaf 7
constexpr unsigned kXcrSseAndAvxState = 0x6;

unsigned long long ReadXcr0()
{
    unsigned lo, hi;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return (static_cast<unsigned long long>(hi) << 32) | lo;
}

JpegSimd DetectJpegSimd()
{
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(d & kCpuidSse2))
        return JpegSimd::Plain;
    const bool osAvx = (c & kCpuidOsxsave) && (c & kCpuidAvx) &&
                       (ReadXcr0() & kXcrSseAndAvxState) == kXcrSseAndAvxState;
    unsigned a7, b7, c7, d7;
    if (osAvx && __get_cpuid_count(7, 0, &a7, &b7, &c7, &d7) && (b7 & kCpuidAvx2))
        return JpegSimd::Avx2;
    return JpegSimd::Sse2;
}

// Adding and taking away 1.5 x 2^23 leaves a float of magnitude below 2^22 rounded to the
// nearest integer, halves to even, as the vector conversion rounds.
constexpr float kRoundMagic = 12582912.0f;

inline int16_t RoundSample(float v)
{
    const float c = v < kIdctSampleMin ? kIdctSampleMin : (v > kIdctSampleMax ? kIdctSampleMax : v);
    return static_cast<int16_t>((c + kRoundMagic) - kRoundMagic);
}

}  // namespace

JpegSimd ChosenJpegSimd()
{
    static const JpegSimd chosen = [] {
        JpegSimd level = DetectJpegSimd();
        const char* wanted = std::getenv("LUMARIX_SIMD");
        if (wanted && std::strcmp(wanted, "plain") == 0)
            level = JpegSimd::Plain;
        else if (wanted && std::strcmp(wanted, "sse2") == 0 && level > JpegSimd::Sse2)
            level = JpegSimd::Sse2;
        return level;
    }();
    return chosen;
}

#if defined(__i386__)
// The callers' stack may be only 4-byte aligned on i686.
__attribute__((force_align_arg_pointer))
#endif
void JpegIdctPlain(const float* coef, int16_t* out)
{
    float ws[64];
    float d[8];
    for (int col = 0; col < 8; ++col) {
        bool acZero = true;
        for (int k = 0; k < 8; ++k) {
            d[k] = coef[k * 8 + col];
            if (k && d[k] != 0.0f)
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

JpegIdctFn ChooseJpegIdct(JpegSimd level)
{
#if defined(__x86_64__)
    if (level == JpegSimd::Avx2)
        return JpegIdctAvx2;
    if (level == JpegSimd::Sse2)
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
