// The float AAN inverse transform, eight lanes at a time (x86_64 with AVX2, chosen at run time).
#if defined(__x86_64__)
#pragma GCC target("avx2")
#include <immintrin.h>

#include "images/jpeg_internal.h"
#include "images/jpeg_idct_pass.h"
#include "images/jpeg_lanes_avx2.h"

namespace {

inline __attribute__((always_inline)) void IdctBlock(const int16_t* coef, const float* mult,
                                                    int16_t* out)
{
    F8 d[8];
    for (int k = 0; k < 8; ++k) {
        const __m128i row = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coef + k * 8));
        d[k].v = _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(row)),
                               _mm256_loadu_ps(mult + k * 8));
    }
    IdctPass(d, d);   // columns
    __m256 r[8];
    for (int k = 0; k < 8; ++k)
        r[k] = d[k].v;
    Transpose8(r);
    for (int k = 0; k < 8; ++k)
        d[k].v = r[k];
    IdctPass(d, d);   // rows, one per lane: d[k] is output column k
    const __m256 lo = _mm256_set1_ps(kIdctSampleMin), hi = _mm256_set1_ps(kIdctSampleMax);
    for (int k = 0; k < 8; ++k)
        r[k] = _mm256_castsi256_ps(_mm256_cvtps_epi32(_mm256_min_ps(_mm256_max_ps(d[k].v, lo), hi)));
    Transpose8(r);
    for (int row = 0; row < 8; ++row) {
        const __m256i v = _mm256_castps_si256(r[row]);
        const __m128i packed = _mm_packs_epi32(_mm256_castsi256_si128(v),
                                               _mm256_extracti128_si256(v, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + row * 8), packed);
    }
}

}  // namespace

void JpegIdctAvx2(const int16_t* coef, const float* mult, int16_t* out)
{
    IdctBlock(coef, mult, out);
}

void JpegIdctGroupAvx2(int blocks, const int16_t (*coef)[64], const float* const* mult,
                      const bool* ac, int16_t (*out)[64])
{
    for (int b = 0; b < blocks; ++b) {
        if (ac[b])
            IdctBlock(coef[b], mult[b], out[b]);
        else
            JpegIdctDcOnly(static_cast<float>(coef[b][0]) * mult[b][0], out[b]);
    }
}
#endif
