#pragma once
// Eight float lanes for the transforms' shared passes (jpeg_idct_pass.h, jpeg_encoder_fdct_pass.h):
// +, - and * by a float, and an 8 x 8 transpose. For files compiled for AVX2 (x86_64) only;
// internal linkage, as the passes have, so that no wider copy serves a plainer path.
#include <immintrin.h>

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
