// JPEG encoder: quality tables, the float AAN forward transform and quantisation. SSE float math
// on both architectures, so that the i686 build writes the same bytes as the x86_64 one.
#pragma GCC target("sse2", "fpmath=sse")
#include <emmintrin.h>

#include <cmath>

#include "images/jpeg_encoder.h"
#include "images/jpeg_format.h"

namespace {

constexpr int kQualityMin = 1, kQualityMax = 100, kQualityHalf = 50;
constexpr int kQuantMin = 1, kQuantMax = 255;

// One 8-point AAN pass over p[0], p[step], ... p[7 step].
inline void Fdct8(float* p, int step)
{
    const float d0 = p[0], d1 = p[step], d2 = p[2 * step], d3 = p[3 * step];
    const float d4 = p[4 * step], d5 = p[5 * step], d6 = p[6 * step], d7 = p[7 * step];
    const float tmp0 = d0 + d7, tmp7 = d0 - d7;
    const float tmp1 = d1 + d6, tmp6 = d1 - d6;
    const float tmp2 = d2 + d5, tmp5 = d2 - d5;
    const float tmp3 = d3 + d4, tmp4 = d3 - d4;

    // Even part.
    const float tmp10 = tmp0 + tmp3, tmp13 = tmp0 - tmp3;
    const float tmp11 = tmp1 + tmp2, tmp12 = tmp1 - tmp2;
    p[0] = tmp10 + tmp11;
    p[4 * step] = tmp10 - tmp11;
    const float z1 = (tmp12 + tmp13) * 0.707106781f;
    p[2 * step] = tmp13 + z1;
    p[6 * step] = tmp13 - z1;

    // Odd part.
    const float t10 = tmp4 + tmp5, t11 = tmp5 + tmp6, t12 = tmp6 + tmp7;
    const float z5 = (t10 - t12) * 0.382683433f;
    const float z2 = 0.541196100f * t10 + z5;
    const float z4 = 1.306562965f * t12 + z5;
    const float z3 = t11 * 0.707106781f;
    const float z11 = tmp7 + z3, z13 = tmp7 - z3;
    p[5 * step] = z13 + z2;
    p[3 * step] = z13 - z2;
    p[step] = z11 + z4;
    p[7 * step] = z11 - z4;
}

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
    for (int i = 0; i < 64; ++i)
        out[i] = samples[i];
    for (int row = 0; row < 8; ++row)
        Fdct8(out + row * 8, 1);
    for (int col = 0; col < 8; ++col)
        Fdct8(out + col, 8);
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
