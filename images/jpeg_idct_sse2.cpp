// The float AAN inverse transform, four lanes at a time (x86_64).
#include <emmintrin.h>

#include "images/jpeg_internal.h"
#include "images/jpeg_idct_pass.h"
#include "images/jpeg_lanes_sse2.h"

#if defined(__x86_64__)
namespace {

inline __attribute__((always_inline)) __m128i RoundLanes(F4 x)
{
    const __m128 c = _mm_min_ps(_mm_max_ps(x.v, _mm_set1_ps(kIdctSampleMin)),
                                _mm_set1_ps(kIdctSampleMax));
    return _mm_cvtps_epi32(c);
}

}  // namespace

namespace {

inline __attribute__((always_inline)) void IdctBlock(const int16_t* coef, const float* mult,
                                                    int16_t* out)
{
    F4 lo[8], hi[8];
    for (int k = 0; k < 8; ++k) {
        const __m128i row = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coef + k * 8));
        const __m128i l32 = _mm_srai_epi32(_mm_unpacklo_epi16(row, row), 16);
        const __m128i h32 = _mm_srai_epi32(_mm_unpackhi_epi16(row, row), 16);
        lo[k].v = _mm_mul_ps(_mm_cvtepi32_ps(l32), _mm_loadu_ps(mult + k * 8));
        hi[k].v = _mm_mul_ps(_mm_cvtepi32_ps(h32), _mm_loadu_ps(mult + k * 8 + 4));
    }
    IdctPass(lo, lo);   // columns 0-3
    IdctPass(hi, hi);   // columns 4-7
    // Lanes become rows: tlo[c] holds rows 0-3 of column c, thi[c] rows 4-7.
    F4 tlo[8], thi[8];
    Transpose4(lo, tlo);
    Transpose4(hi, tlo + 4);
    Transpose4(lo + 4, thi);
    Transpose4(hi + 4, thi + 4);
    IdctPass(tlo, tlo);
    IdctPass(thi, thi);
    // a[k] = output column k, rows 0-7.
    __m128i a[8];
    for (int k = 0; k < 8; ++k)
        a[k] = _mm_packs_epi32(RoundLanes(tlo[k]), RoundLanes(thi[k]));
    const __m128i b0 = _mm_unpacklo_epi16(a[0], a[1]), b1 = _mm_unpackhi_epi16(a[0], a[1]);
    const __m128i b2 = _mm_unpacklo_epi16(a[2], a[3]), b3 = _mm_unpackhi_epi16(a[2], a[3]);
    const __m128i b4 = _mm_unpacklo_epi16(a[4], a[5]), b5 = _mm_unpackhi_epi16(a[4], a[5]);
    const __m128i b6 = _mm_unpacklo_epi16(a[6], a[7]), b7 = _mm_unpackhi_epi16(a[6], a[7]);
    const __m128i c0 = _mm_unpacklo_epi32(b0, b2), c1 = _mm_unpackhi_epi32(b0, b2);
    const __m128i c2 = _mm_unpacklo_epi32(b1, b3), c3 = _mm_unpackhi_epi32(b1, b3);
    const __m128i c4 = _mm_unpacklo_epi32(b4, b6), c5 = _mm_unpackhi_epi32(b4, b6);
    const __m128i c6 = _mm_unpacklo_epi32(b5, b7), c7 = _mm_unpackhi_epi32(b5, b7);
    __m128i* o = reinterpret_cast<__m128i*>(out);
    _mm_storeu_si128(o + 0, _mm_unpacklo_epi64(c0, c4));
    _mm_storeu_si128(o + 1, _mm_unpackhi_epi64(c0, c4));
    _mm_storeu_si128(o + 2, _mm_unpacklo_epi64(c1, c5));
    _mm_storeu_si128(o + 3, _mm_unpackhi_epi64(c1, c5));
    _mm_storeu_si128(o + 4, _mm_unpacklo_epi64(c2, c6));
    _mm_storeu_si128(o + 5, _mm_unpackhi_epi64(c2, c6));
    _mm_storeu_si128(o + 6, _mm_unpacklo_epi64(c3, c7));
    _mm_storeu_si128(o + 7, _mm_unpackhi_epi64(c3, c7));
}

}  // namespace

void JpegIdctSse2(const int16_t* coef, const float* mult, int16_t* out)
{
    IdctBlock(coef, mult, out);
}

void JpegIdctGroupSse2(int blocks, const int16_t (*coef)[64], const float* const* mult,
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
