// JPEG encoder kernels with SSE2 (x86_64, chosen at run time): chroma averaging and the block
// transform four lanes at a time; colour rows stay portable (SSE2 has no byte shuffle).
#if defined(__x86_64__)
#include <emmintrin.h>

#include "images/jpeg_encoder.h"
#include "images/jpeg_encoder_fdct_pass.h"
#include "images/jpeg_lanes_sse2.h"

namespace {

void DownsampleSse2(const int16_t* row0, const int16_t* row1, int n, int16_t* out)
{
    const __m128i ones = _mm_set1_epi16(1);
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row0 + 2 * i));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row0 + 2 * i + 8));
        __m128i sa, sb;
        if (row1) {
            a = _mm_add_epi16(a, _mm_loadu_si128(reinterpret_cast<const __m128i*>(row1 + 2 * i)));
            b = _mm_add_epi16(
                b, _mm_loadu_si128(reinterpret_cast<const __m128i*>(row1 + 2 * i + 8)));
            sa = _mm_srai_epi32(_mm_madd_epi16(a, ones), 2);
            sb = _mm_srai_epi32(_mm_madd_epi16(b, ones), 2);
        } else {
            sa = _mm_srai_epi32(_mm_madd_epi16(a, ones), 1);
            sb = _mm_srai_epi32(_mm_madd_epi16(b, ones), 1);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packs_epi32(sa, sb));
    }
    if (i < n)
        JpegDownsamplePlain(row0 + 2 * i, row1 ? row1 + 2 * i : nullptr, n - i, out + i);
}

uint64_t TransformBlockSse2(const int16_t* samples, ptrdiff_t stride, const float* reciprocals,
                            int16_t natural[64])
{
    // Rows as two halves: lo[i] columns 0-3, hi[i] columns 4-7 of row i.
    F4 lo[8], hi[8];
    for (int i = 0; i < 8; ++i) {
        const __m128i row = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + i * stride));
        lo[i].v = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(row, row), 16));
        hi[i].v = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpackhi_epi16(row, row), 16));
    }
    // The row pass: top[j] holds column j of rows 0-3 in its lanes, bottom[j] of rows 4-7.
    F4 top[8], bottom[8];
    Transpose4(lo, top);
    Transpose4(hi, top + 4);
    Transpose4(lo + 4, bottom);
    Transpose4(hi + 4, bottom + 4);
    FdctPass(top);
    FdctPass(bottom);
    // The column pass: lo[i] and hi[i] again hold row i.
    Transpose4(top, lo);
    Transpose4(top + 4, hi);
    Transpose4(bottom, lo + 4);
    Transpose4(bottom + 4, hi + 4);
    FdctPass(lo);
    FdctPass(hi);

    // Products rounded to the nearest integer, halves to even (the default rounding mode).
    const __m128i zero = _mm_setzero_si128();
    uint64_t zeroBits = 0;
    __m128i previous = zero;
    for (int u = 0; u < 8; ++u) {
        const __m128i a = _mm_cvtps_epi32(_mm_mul_ps(lo[u].v, _mm_loadu_ps(reciprocals + 8 * u)));
        const __m128i b =
            _mm_cvtps_epi32(_mm_mul_ps(hi[u].v, _mm_loadu_ps(reciprocals + 8 * u + 4)));
        const __m128i row = _mm_packs_epi32(a, b);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(natural + 8 * u), row);
        if (u & 1) {
            const __m128i zeros =
                _mm_packs_epi16(_mm_cmpeq_epi16(previous, zero), _mm_cmpeq_epi16(row, zero));
            zeroBits |= static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(zeros)))
                        << (8 * (u - 1));
        }
        previous = row;
    }
    return ~zeroBits;
}

}  // namespace

const JpegEncoderKernels kJpegEncoderKernelsSse2 = {JpegConvertRowPlain,
                                                    DownsampleSse2, TransformBlockSse2};
#endif
