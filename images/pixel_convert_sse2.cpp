// SSE2 loops of ConvertPixels for the conversions to 32 bits that images and textures use most.
// Each gives exactly the pixels of the portable loop of its pair; the tail runs the portable one.
#include "images/pixel_convert_internal.h"

#if defined(__x86_64__)

#include <emmintrin.h>

#include <cstdint>

namespace {

// 16-bit R5 G6 B5 to 32 bits, eight pixels per step.
void Convert16To32Sse2(const uint8_t* s, uint8_t* d, int32_t count, const uint32_t* palette) {
    const __m128i blueMask = _mm_set1_epi16(0x00F8);
    const __m128i greenMask = _mm_set1_epi16(0x00FC);
    const __m128i redMask = _mm_set1_epi16(0x00F8);
    const __m128i opaque = _mm_set1_epi16(int16_t(0xFF00));
    const __m128i zero = _mm_setzero_si128();
    int32_t i = 0;
    for (; i + 8 <= count; i += 8, s += 16, d += 32) {
        __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        __m128i b = _mm_and_si128(_mm_slli_epi16(w, 3), blueMask);
        __m128i g = _mm_and_si128(_mm_srli_epi16(w, 3), greenMask);
        __m128i r = _mm_and_si128(_mm_srli_epi16(w, 8), redMask);
        __m128i a = _mm_andnot_si128(_mm_cmpeq_epi16(w, zero), opaque);
        __m128i bg = _mm_or_si128(b, _mm_slli_epi16(g, 8));
        __m128i ra = _mm_or_si128(r, a);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_unpacklo_epi16(bg, ra));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16), _mm_unpackhi_epi16(bg, ra));
    }
    if (i < count)
        PortableConvertLoop(16, 32)(s, d, count - i, palette);
}

// 24-bit B, G, R to 32 bits, four pixels per step. Each step loads 16 bytes for 12, so steps
// run only while two more pixels follow; the tail goes pixel by pixel.
void Convert24To32Sse2(const uint8_t* s, uint8_t* d, int32_t count, const uint32_t* palette) {
    const __m128i lowPixel = _mm_set1_epi64x(0x0000000000FFFFFFll);
    const __m128i highPixel = _mm_set1_epi64x(0x00FFFFFF00000000ll);
    const __m128i opaque = _mm_set1_epi32(int32_t(0xFF000000u));
    const __m128i zero = _mm_setzero_si128();
    int32_t i = 0;
    for (; i + 6 <= count; i += 4, s += 12, d += 16) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        // Quadwords of bytes 0-7 and 6-13: two pixels each at byte offsets 0 and 3.
        __m128i q = _mm_unpacklo_epi64(x, _mm_srli_si128(x, 6));
        __m128i v = _mm_or_si128(_mm_and_si128(q, lowPixel),
                                 _mm_and_si128(_mm_slli_epi64(q, 8), highPixel));
        __m128i a = _mm_andnot_si128(_mm_cmpeq_epi32(v, zero), opaque);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_or_si128(v, a));
    }
    if (i < count)
        PortableConvertLoop(24, 32)(s, d, count - i, palette);
}

bool Overlap(const void* a, size_t aBytes, const void* b, size_t bBytes) {
    uintptr_t a0 = reinterpret_cast<uintptr_t>(a), b0 = reinterpret_cast<uintptr_t>(b);
    return a0 < b0 + bBytes && b0 < a0 + aBytes;
}

}  // namespace

ConvertFn Sse2ConvertLoop(int32_t sourceBpp, int32_t destinationBpp, const void* source,
                          const void* destination, int32_t count) {
    if (destinationBpp != 32 || count < 8)
        return nullptr;
    size_t n = static_cast<size_t>(count);
    if (sourceBpp == 16 && !Overlap(source, n * 2, destination, n * 4))
        return Convert16To32Sse2;
    if (sourceBpp == 24 && !Overlap(source, n * 3, destination, n * 4))
        return Convert24To32Sse2;
    return nullptr;
}

#else

ConvertFn Sse2ConvertLoop(int32_t, int32_t, const void*, const void*, int32_t) {
    return nullptr;
}

#endif
