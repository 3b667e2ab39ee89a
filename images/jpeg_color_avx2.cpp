// 24-bit block writers with AVX2 (x86_64, chosen at run time): one row of eight pixels in the
// 32-bit lanes of one register, the same 1.14 fixed-point arithmetic as every other writer.
#if defined(__x86_64__)
#pragma GCC target("avx2")
#include <immintrin.h>

#include "images/jpeg_internal.h"

namespace {

constexpr int kFixShift = 14;
constexpr int kLevelShift = 128;
constexpr int kCrToR = 22970;
constexpr int kCbToG = -5638;
constexpr int kCrToG = -11700;
constexpr int kCbToB = 29032;

template <int HS>
inline __attribute__((always_inline)) __m128i LoadChroma(const int16_t* c)
{
    if (HS == 1)
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(c));
    const __m128i four = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(c));
    return _mm_unpacklo_epi16(four, four);
}

struct Terms {
    __m256i r, g, b;   // chroma part of each channel plus the level shift, eight pixels
};

inline __attribute__((always_inline)) Terms MakeTerms(__m128i cb, __m128i cr)
{
    const __m256i cc = _mm256_set_m128i(_mm_unpackhi_epi16(cb, cr), _mm_unpacklo_epi16(cb, cr));
    const __m256i bias = _mm256_set1_epi32(kLevelShift << kFixShift);
    Terms t;
    t.r = _mm256_add_epi32(_mm256_madd_epi16(cc, _mm256_set1_epi32(kCrToR << 16)), bias);
    t.g = _mm256_add_epi32(
        _mm256_madd_epi16(cc, _mm256_set1_epi32(static_cast<int>(
                                  static_cast<uint32_t>(kCrToG) << 16 |
                                  static_cast<uint16_t>(kCbToG)))),
        bias);
    t.b = _mm256_add_epi32(_mm256_madd_epi16(cc, _mm256_set1_epi32(kCbToB)), bias);
    return t;
}

// Eight pixels of one row stored as 24 bytes B, G, R.
inline __attribute__((always_inline)) void StoreRow(const int16_t* y, const Terms& t,
                                                    uint8_t* dst)
{
    const __m256i y32 = _mm256_slli_epi32(
        _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y))), kFixShift);
    const __m256i r = _mm256_srai_epi32(_mm256_add_epi32(y32, t.r), kFixShift);
    const __m256i g = _mm256_srai_epi32(_mm256_add_epi32(y32, t.g), kFixShift);
    const __m256i b = _mm256_srai_epi32(_mm256_add_epi32(y32, t.b), kFixShift);
    // Per 128-bit half: R0-3 G0-3 B0-3 and four zeros, saturated to bytes.
    const __m256i rg = _mm256_packs_epi32(r, g);
    const __m256i b0 = _mm256_packs_epi32(b, _mm256_setzero_si256());
    const __m256i bytes = _mm256_packus_epi16(rg, b0);
    const __m256i order = _mm256_setr_epi8(8, 4, 0, 9, 5, 1, 10, 6, 2, 11, 7, 3, -1, -1, -1, -1,
                                           8, 4, 0, 9, 5, 1, 10, 6, 2, 11, 7, 3, -1, -1, -1, -1);
    const __m256i bgr = _mm256_shuffle_epi8(bytes, order);
    const __m128i lo = _mm256_castsi256_si128(bgr);
    const __m128i hi = _mm256_extracti128_si256(bgr, 1);
    // Twelve bytes from each half; nothing past the row's 24 bytes is written.
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), lo);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + 12), hi);
    const int last = _mm_cvtsi128_si32(_mm_srli_si128(hi, 8));
    __builtin_memcpy(dst + 20, &last, 4);
}

template <bool Grey, int HS, int VS>
void Write24(const JpegBlockInput& in, uint8_t* dst, ptrdiff_t stepX, ptrdiff_t stepY, int cols,
             int rows)
{
    if (cols != 8 || stepX != 3) {
        JpegWrite24Fallback(in, dst, stepX, stepY, cols, rows, Grey, HS, VS);
        return;
    }
    Terms terms = MakeTerms(_mm_setzero_si128(), _mm_setzero_si128());
    for (int j = 0; j < rows; ++j, dst += stepY) {
        if (!Grey && j % VS == 0)
            terms = MakeTerms(LoadChroma<HS>(in.cb + (j / VS) * 8),
                              LoadChroma<HS>(in.cr + (j / VS) * 8));
        StoreRow(in.y + j * 8, terms, dst);
    }
}

}  // namespace

JpegWriterFn ChooseJpegWriter24Avx2(bool grey, int hs, int vs)
{
    if (grey)
        return Write24<true, 1, 1>;
    if (hs == 2 && vs == 2)
        return Write24<false, 2, 2>;
    if (hs == 2)
        return Write24<false, 2, 1>;
    if (vs == 2)
        return Write24<false, 1, 2>;
    return Write24<false, 1, 1>;
}
#endif
