// The float AAN inverse transform, eight lanes at a time (x86_64 with AVX2, chosen at run time).
#if defined(__x86_64__)
#pragma GCC target("avx2")
#include <immintrin.h>

#include "images/jpeg_internal.h"
#include "images/jpeg_idct_pass.h"

namespace {

struct F8 {
    __m256 v;
};
inline __attribute__((always_inline)) F8 operator+(F8 a, F8 b)
{
    return {_mm256_add_ps(a.v, b.v)};
}
inline __attribute__((always_inline)) F8 operator-(F8 a, F8 b)
{
    return {_mm256_sub_ps(a.v, b.v)};
}
inline __attribute__((always_inline)) F8 operator*(F8 a, float k)
{
    return {_mm256_mul_ps(a.v, _mm256_set1_ps(k))};
}

inline __attribute__((always_inline)) void Transpose8(__m256* r)
{
    const __m256 t0 = _mm256_unpacklo_ps(r[0], r[1]), t1 = _mm256_unpackhi_ps(r[0], r[1]);
    const __m256 t2 = _mm256_unpacklo_ps(r[2], r[3]), t3 = _mm256_unpackhi_ps(r[2], r[3]);
    const __m256 t4 = _mm256_unpacklo_ps(r[4], r[5]), t5 = _mm256_unpackhi_ps(r[4], r[5]);
    const __m256 t6 = _mm256_unpacklo_ps(r[6], r[7]), t7 = _mm256_unpackhi_ps(r[6], r[7]);
    const __m256 s0 = _mm256_shuffle_ps(t0, t2, 0x44), s1 = _mm256_shuffle_ps(t0, t2, 0xEE);
    const __m256 s2 = _mm256_shuffle_ps(t1, t3, 0x44), s3 = _mm256_shuffle_ps(t1, t3, 0xEE);
    const __m256 s4 = _mm256_shuffle_ps(t4, t6, 0x44), s5 = _mm256_shuffle_ps(t4, t6, 0xEE);
    const __m256 s6 = _mm256_shuffle_ps(t5, t7, 0x44), s7 = _mm256_shuffle_ps(t5, t7, 0xEE);
    r[0] = _mm256_permute2f128_ps(s0, s4, 0x20);
    r[1] = _mm256_permute2f128_ps(s1, s5, 0x20);
    r[2] = _mm256_permute2f128_ps(s2, s6, 0x20);
    r[3] = _mm256_permute2f128_ps(s3, s7, 0x20);
    r[4] = _mm256_permute2f128_ps(s0, s4, 0x31);
    r[5] = _mm256_permute2f128_ps(s1, s5, 0x31);
    r[6] = _mm256_permute2f128_ps(s2, s6, 0x31);
    r[7] = _mm256_permute2f128_ps(s3, s7, 0x31);
}

}  // namespace

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
