// JPEG encoder: quality tables, the float AAN forward transform and quantisation. SSE float math
// on both architectures, so that the i686 build writes the same bytes as the x86_64 one.
#pragma GCC target("sse2", "fpmath=sse")
#include <emmintrin.h>

#include <cmath>

#include "images/jpeg_encoder.h"
#include "images/jpeg_encoder_fdct_pass.h"
#include "images/jpeg_format.h"

namespace {

constexpr int kQualityMin = 1, kQualityMax = 100, kQualityHalf = 50;
constexpr int kQuantMin = 1, kQuantMax = 255;

}  // namespace

float JpegQualityScale(int quality)
{
    const int q = quality < kQualityMin ? kQualityMin : (quality > kQualityMax ? kQualityMax : quality);
    const double s = q < kQualityHalf ? double(kQualityHalf) / q : (200.0 - 2.0 * q) / 100.0;
    return static_cast<float>(s);
}

void BuildJpegQuantTable(const uint8_t base[64], float scale, uint16_t out[64])
{
    for (int k = 0; k < 64; ++k) {
        const int q = _mm_cvtss_si32(_mm_set_ss(static_cast<float>(base[k]) * scale));
        out[k] = static_cast<uint16_t>(q < kQuantMin ? kQuantMin : (q > kQuantMax ? kQuantMax : q));
    }
}

void BuildJpegQuantReciprocals(const uint16_t quant[64], float out[64])
{
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j)
            out[i * 8 + j] = static_cast<float>(
                1.0 / (8.0 * quant[i * 8 + j] * kJpegAanScale[i] * kJpegAanScale[j]));
}

void JpegForwardDct(const float* samples, float* out)
{
    float p[8];
    for (int row = 0; row < 8; ++row) {
        for (int k = 0; k < 8; ++k)
            p[k] = samples[row * 8 + k];
        FdctPass(p);
        for (int k = 0; k < 8; ++k)
            out[row * 8 + k] = p[k];
    }
    for (int col = 0; col < 8; ++col) {
        for (int k = 0; k < 8; ++k)
            p[k] = out[k * 8 + col];
        FdctPass(p);
        for (int k = 0; k < 8; ++k)
            out[k * 8 + col] = p[k];
    }
}

void JpegQuantise(const float* dct, const float* reciprocals, int keep, int16_t zigzag[64])
{
    // Products rounded to the nearest integer, halves to even (the default rounding mode).
    alignas(16) int32_t natural[64];
    for (int k = 0; k < 64; k += 4) {
        const __m128 v = _mm_mul_ps(_mm_loadu_ps(dct + k), _mm_loadu_ps(reciprocals + k));
        _mm_store_si128(reinterpret_cast<__m128i*>(natural + k), _mm_cvtps_epi32(v));
    }
    for (int k = keep; k < 64; ++k)
        natural[k] = 0;
    for (int z = 0; z < 64; ++z)
        zigzag[z] = static_cast<int16_t>(natural[kJpegNaturalOrder[z]]);
}
