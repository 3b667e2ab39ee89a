// SSE2 variant of the 2 x 2 reduction of 32-bit texture levels.
#include "images/sprite_internal.h"

#if defined(__x86_64__)

#include <emmintrin.h>

bool DownscaleHalf32Sse2(uint8_t* destination, int width, int height, const uint8_t* source,
                         int sourceStride)
{
    if (width % 4 != 0)
        return false;  // texture levels are powers of two; odd widths take the portable loop
    const __m128i zero = _mm_setzero_si128();
    for (int y = 0; y < height; ++y) {
        const uint8_t* top = source + static_cast<size_t>(2 * y) * sourceStride;
        const uint8_t* bottom = top + sourceStride;
        uint8_t* out = destination + static_cast<size_t>(y) * width * 4;
        // Four output pixels per step from eight input pixels of each row.
        for (int x = 0; x < width; x += 4) {
            const __m128i t0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + 8 * x));
            const __m128i t1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + 8 * x + 16));
            const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + 8 * x));
            const __m128i b1 =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + 8 * x + 16));
            // Vertical sums in 16-bit lanes, one input pixel per four lanes.
            const __m128i s0 = _mm_add_epi16(_mm_unpacklo_epi8(t0, zero), _mm_unpacklo_epi8(b0, zero));
            const __m128i s1 = _mm_add_epi16(_mm_unpackhi_epi8(t0, zero), _mm_unpackhi_epi8(b0, zero));
            const __m128i s2 = _mm_add_epi16(_mm_unpacklo_epi8(t1, zero), _mm_unpacklo_epi8(b1, zero));
            const __m128i s3 = _mm_add_epi16(_mm_unpackhi_epi8(t1, zero), _mm_unpackhi_epi8(b1, zero));
            // Horizontal pairs: lanes 0-3 plus lanes 4-7 of each sum.
            const __m128i p0 = _mm_add_epi16(s0, _mm_srli_si128(s0, 8));
            const __m128i p1 = _mm_add_epi16(s1, _mm_srli_si128(s1, 8));
            const __m128i p2 = _mm_add_epi16(s2, _mm_srli_si128(s2, 8));
            const __m128i p3 = _mm_add_epi16(s3, _mm_srli_si128(s3, 8));
            const __m128i lo = _mm_srli_epi16(_mm_unpacklo_epi64(p0, p1), 2);
            const __m128i hi = _mm_srli_epi16(_mm_unpacklo_epi64(p2, p3), 2);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), _mm_packus_epi16(lo, hi));
        }
    }
    return true;
}

#else

bool DownscaleHalf32Sse2(uint8_t*, int, int, const uint8_t*, int)
{
    return false;
}

#endif
