// Chroma replication, YCbCr to the image's pixels in 1.14 fixed point, and the block writers
// for each output depth. The plain writers are the reference; the SSE2 ones give the same bytes.
#include <algorithm>
#include <cstring>
#include <new>
#include <utility>
#if defined(__x86_64__)
#include <emmintrin.h>
#include <tmmintrin.h>
#endif

#include "images/jpeg_internal.h"
#include "images/pixel_format.h"

namespace {

// 1.14 fixed-point factors of the YCbCr to RGB conversion.
constexpr int kFixShift = 14;
constexpr int kFixOne = 1 << kFixShift;
constexpr int kCrToR = 22970;
constexpr int kCbToG = -5638;
constexpr int kCrToG = -11700;
constexpr int kCbToB = 29032;
constexpr int kLevelShift = 128;

inline int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

inline uint32_t YccToRgb(int y, int cb, int cr)
{
    const int base = (y + kLevelShift) * kFixOne;
    const int r = Clamp255((base + kCrToR * cr) >> kFixShift);
    const int g = Clamp255((base + kCbToG * cb + kCrToG * cr) >> kFixShift);
    const int b = Clamp255((base + kCbToB * cb) >> kFixShift);
    return static_cast<uint32_t>(r << 16 | g << 8 | b);
}

inline void StorePixel(int depth, bool redOnly, uint8_t* p, uint32_t rgb)
{
    const uint8_t r = static_cast<uint8_t>(rgb >> 16);
    const uint8_t g = static_cast<uint8_t>(rgb >> 8);
    const uint8_t b = static_cast<uint8_t>(rgb);
    switch (depth) {
    case 32:
        if (redOnly) {
            p[2] = r;
        } else {
            std::memcpy(p, &rgb, 4);
        }
        break;
    case 24:
        p[0] = b;
        p[1] = g;
        p[2] = r;
        break;
    case 16: {
        const uint16_t w = Reduce565(rgb);
        std::memcpy(p, &w, 2);
        break;
    }
    case 15: {
        const uint16_t w = Reduce555(rgb);
        std::memcpy(p, &w, 2);
        break;
    }
    default:
        break;
    }
}

template <int Depth, bool RedOnly, bool Grey, int HS, int VS>
void WritePlain(const JpegBlockInput& in, uint8_t* dst, ptrdiff_t stepX, ptrdiff_t stepY,
                int cols, int rows)
{
    for (int j = 0; j < rows; ++j, dst += stepY) {
        const int16_t* y = in.y + j * 8;
        const int16_t* cb = Grey ? nullptr : in.cb + (j / VS) * 8;
        const int16_t* cr = Grey ? nullptr : in.cr + (j / VS) * 8;
        uint8_t* p = dst;
        for (int i = 0; i < cols; ++i, p += stepX) {
            const uint32_t rgb = Grey ? YccToRgb(y[i], 0, 0)
                                      : YccToRgb(y[i], cb[i / HS], cr[i / HS]);
            StorePixel(Depth, RedOnly, p, rgb);
        }
    }
}

// 8-bit output: the palette entry nearest the pixel's colour.
template <bool Grey, int HS, int VS>
void Write8(const JpegBlockInput& in, uint8_t* dst, ptrdiff_t stepX, ptrdiff_t stepY, int cols,
            int rows)
{
    const JpegPaletteTables& t = *in.palette;
    for (int j = 0; j < rows; ++j, dst += stepY) {
        const int16_t* y = in.y + j * 8;
        const int16_t* cb = Grey ? nullptr : in.cb + (j / VS) * 8;
        const int16_t* cr = Grey ? nullptr : in.cr + (j / VS) * 8;
        uint8_t* p = dst;
        for (int i = 0; i < cols; ++i, p += stepX) {
            const int b = Grey ? 0 : cb[i / HS], r = Grey ? 0 : cr[i / HS];
            if (t.by565)
                *p = t.by565[Reduce565(YccToRgb(y[i], b, r))];
            else
                *p = JpegNearestPaletteIndex(t, Clamp255(y[i] + kLevelShift), b, r);
        }
    }
}

// One native component of palette indices: the index itself at 8 bits, its entry otherwise.
template <int Depth>
void WriteIndexed(const JpegBlockInput& in, uint8_t* dst, ptrdiff_t stepX, ptrdiff_t stepY,
                  int cols, int rows)
{
    for (int j = 0; j < rows; ++j, dst += stepY) {
        const int16_t* y = in.y + j * 8;
        uint8_t* p = dst;
        for (int i = 0; i < cols; ++i, p += stepX) {
            const int index = Clamp255(y[i]);
            if (Depth == 8)
                *p = static_cast<uint8_t>(index);
            else
                StorePixel(Depth, false, p, in.palette->entries[index] & 0xFFFFFF);
        }
    }
}

#if defined(__x86_64__)
// --- SSE2: one row of 8 pixels at a time ---
inline __m128i Widen(__m128i v16lo)   // low four int16 lanes sign-extended to int32
{
    return _mm_srai_epi32(_mm_unpacklo_epi16(v16lo, v16lo), 16);
}

// The chroma part of each channel for one row of 8 chroma samples (int32 lanes, lanes 0-3 and
// 4-7), with the level shift: the rows that share the chroma row add only their Y.
struct ChromaTerms {
    __m128i r[2], g[2], b[2];
};

inline ChromaTerms MakeChromaTerms(__m128i cb, __m128i cr)
{
    const __m128i bias = _mm_set1_epi32(kLevelShift * kFixOne);
    const __m128i toR = _mm_set1_epi32(kCrToR << 16);
    const __m128i toG = _mm_set1_epi32(static_cast<int>(static_cast<uint32_t>(kCrToG) << 16 |
                                                        static_cast<uint16_t>(kCbToG)));
    const __m128i toB = _mm_set1_epi32(kCbToB);
    const __m128i cc[2] = {_mm_unpacklo_epi16(cb, cr), _mm_unpackhi_epi16(cb, cr)};
    ChromaTerms t;
    for (int i = 0; i < 2; ++i) {
        t.r[i] = _mm_add_epi32(_mm_madd_epi16(cc[i], toR), bias);
        t.g[i] = _mm_add_epi32(_mm_madd_epi16(cc[i], toG), bias);
        t.b[i] = _mm_add_epi32(_mm_madd_epi16(cc[i], toB), bias);
    }
    return t;
}

// Eight pixels as 0x00RRGGBB in two registers.
inline void ConvertRow(__m128i y, const ChromaTerms& t, __m128i* lo, __m128i* hi)
{
    const __m128i y0 = _mm_slli_epi32(Widen(y), kFixShift);
    const __m128i y1 = _mm_slli_epi32(Widen(_mm_unpackhi_epi64(y, y)), kFixShift);
    auto channel = [&](const __m128i* c) {
        return _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(y0, c[0]), kFixShift),
                               _mm_srai_epi32(_mm_add_epi32(y1, c[1]), kFixShift));
    };
    const __m128i zero = _mm_setzero_si128();
    const __m128i r8 = _mm_packus_epi16(channel(t.r), zero);
    const __m128i g8 = _mm_packus_epi16(channel(t.g), zero);
    const __m128i b8 = _mm_packus_epi16(channel(t.b), zero);
    const __m128i bg = _mm_unpacklo_epi8(b8, g8);
    const __m128i r0z = _mm_unpacklo_epi8(r8, zero);
    *lo = _mm_unpacklo_epi16(bg, r0z);
    *hi = _mm_unpackhi_epi16(bg, r0z);
}

template <int HS>
inline __m128i LoadChroma(const int16_t* c)
{
    if (HS == 1)
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(c));
    const __m128i four = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(c));
    return _mm_unpacklo_epi16(four, four);
}

template <int Depth, bool Grey, int HS, int VS>
void WriteSse2(const JpegBlockInput& in, uint8_t* dst, ptrdiff_t stepX, ptrdiff_t stepY,
               int cols, int rows)
{
    if (cols != 8 || stepX != Depth / 8) {
        WritePlain<Depth, false, Grey, HS, VS>(in, dst, stepX, stepY, cols, rows);
        return;
    }
    ChromaTerms terms = MakeChromaTerms(_mm_setzero_si128(), _mm_setzero_si128());
    for (int j = 0; j < rows; ++j, dst += stepY) {
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in.y + j * 8));
        if (!Grey && j % VS == 0)
            terms = MakeChromaTerms(LoadChroma<HS>(in.cb + (j / VS) * 8),
                                    LoadChroma<HS>(in.cr + (j / VS) * 8));
        __m128i lo, hi;
        ConvertRow(y, terms, &lo, &hi);
        if (Depth == 32) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), lo);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16), hi);
        } else {
            alignas(16) uint32_t px[8];
            _mm_store_si128(reinterpret_cast<__m128i*>(px), lo);
            _mm_store_si128(reinterpret_cast<__m128i*>(px + 4), hi);
            // Four-byte stores overlap the next pixel, which is written right after; the last
            // pixel takes exactly three bytes.
            for (int i = 0; i < 7; ++i)
                std::memcpy(dst + i * 3, px + i, 4);
            std::memcpy(dst + 21, px + 7, 3);
        }
    }
}

// 24-bit rows with SSSE3: the eight pixels packed to 24 bytes by byte shuffles.
template <bool Grey, int HS, int VS>
__attribute__((target("ssse3"))) void Write24Ssse3(const JpegBlockInput& in, uint8_t* dst,
                                                   ptrdiff_t stepX, ptrdiff_t stepY, int cols,
                                                   int rows)
{
    if (cols != 8 || stepX != 3) {
        WritePlain<24, false, Grey, HS, VS>(in, dst, stepX, stepY, cols, rows);
        return;
    }
    const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    ChromaTerms terms = MakeChromaTerms(_mm_setzero_si128(), _mm_setzero_si128());
    for (int j = 0; j < rows; ++j, dst += stepY) {
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in.y + j * 8));
        if (!Grey && j % VS == 0)
            terms = MakeChromaTerms(LoadChroma<HS>(in.cb + (j / VS) * 8),
                                    LoadChroma<HS>(in.cr + (j / VS) * 8));
        __m128i lo, hi;
        ConvertRow(y, terms, &lo, &hi);
        const __m128i a = _mm_shuffle_epi8(lo, pack);
        const __m128i b = _mm_shuffle_epi8(hi, pack);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_or_si128(a, _mm_slli_si128(b, 12)));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + 16), _mm_srli_si128(b, 4));
    }
}
#endif

using Writer = JpegWriterFn;

template <int Depth, bool RedOnly>
Writer PickPlain(bool grey, int hs, int vs)
{
    if (grey)
        return WritePlain<Depth, RedOnly, true, 1, 1>;
    if (hs == 2 && vs == 2)
        return WritePlain<Depth, RedOnly, false, 2, 2>;
    if (hs == 2)
        return WritePlain<Depth, RedOnly, false, 2, 1>;
    if (vs == 2)
        return WritePlain<Depth, RedOnly, false, 1, 2>;
    return WritePlain<Depth, RedOnly, false, 1, 1>;
}

#if defined(__x86_64__)
Writer Pick24Ssse3(bool grey, int hs, int vs)
{
    if (grey)
        return Write24Ssse3<true, 1, 1>;
    if (hs == 2 && vs == 2)
        return Write24Ssse3<false, 2, 2>;
    if (hs == 2)
        return Write24Ssse3<false, 2, 1>;
    if (vs == 2)
        return Write24Ssse3<false, 1, 2>;
    return Write24Ssse3<false, 1, 1>;
}

template <int Depth>
Writer PickSse2(bool grey, int hs, int vs)
{
    if (grey)
        return WriteSse2<Depth, true, 1, 1>;
    if (hs == 2 && vs == 2)
        return WriteSse2<Depth, false, 2, 2>;
    if (hs == 2)
        return WriteSse2<Depth, false, 2, 1>;
    if (vs == 2)
        return WriteSse2<Depth, false, 1, 2>;
    return WriteSse2<Depth, false, 1, 1>;
}
#endif

}  // namespace

void JpegWrite24Fallback(const JpegBlockInput& in, uint8_t* dst, ptrdiff_t stepX,
                         ptrdiff_t stepY, int cols, int rows, bool grey, int hs, int vs)
{
    PickPlain<24, false>(grey, hs, vs)(in, dst, stepX, stepY, cols, rows);
}

uint32_t JpegYccToRgb(int y, int cb, int cr)
{
    return YccToRgb(y, cb, cr);
}

JpegWriterFn ChooseJpegWriter(int depth, bool redOnly, bool grey, int hs, int vs,
                              SimdLevel level, bool indexed, bool palette)
{
    if (indexed && palette) {
        switch (depth) {
        case 8: return WriteIndexed<8>;
        case 15: return WriteIndexed<15>;
        case 16: return WriteIndexed<16>;
        case 24: return WriteIndexed<24>;
        case 32: return WriteIndexed<32>;
        default: return nullptr;
        }
    }
    if (depth == 8) {
        if (!palette)
            return nullptr;
        if (grey)
            return Write8<true, 1, 1>;
        if (hs == 2 && vs == 2)
            return Write8<false, 2, 2>;
        if (hs == 2)
            return Write8<false, 2, 1>;
        if (vs == 2)
            return Write8<false, 1, 2>;
        return Write8<false, 1, 1>;
    }
#if defined(__x86_64__)
    if (level != SimdLevel::Plain && !redOnly && depth == 32)
        return PickSse2<32>(grey, hs, vs);
    if (level >= SimdLevel::Avx2 && depth == 24)
        return ChooseJpegWriter24Avx2(grey, hs, vs);
    if (level >= SimdLevel::Ssse3 && depth == 24)
        return Pick24Ssse3(grey, hs, vs);
    if (level != SimdLevel::Plain && depth == 24)
        return PickSse2<24>(grey, hs, vs);
#else
    (void)level;   // i686 keeps the plain writers
#endif
    switch (depth) {
    case 32:
        return redOnly ? PickPlain<32, true>(grey, hs, vs) : PickPlain<32, false>(grey, hs, vs);
    case 24:
        return PickPlain<24, false>(grey, hs, vs);
    case 16:
        return PickPlain<16, false>(grey, hs, vs);
    case 15:
        return PickPlain<15, false>(grey, hs, vs);
    default:
        return nullptr;
    }
}

void JpegPaletteYcc(uint32_t bgr, int* y, int* cb, int* cr)
{
    const int b = bgr & 255, g = bgr >> 8 & 255, r = bgr >> 16 & 255;
    *y = (3736 * b + 19235 * g + 9798 * r) >> 15;
    *cb = (16384 * b - 10846 * g - 5538 * r) >> 15;
    *cr = (16384 * r - 13730 * g - 2654 * b) >> 15;
}

int JpegChromaKey(int y, int cb, int cr)
{
    return Clamp255(y) * 256 + (Clamp255(cr) & 15) * 16 + (Clamp255(cb) & 15);
}

uint8_t JpegNearestPaletteIndex(const JpegPaletteTables& t, int y, int cb, int cr)
{
    if (t.count <= 0)
        return 0;
    const uint32_t m = static_cast<uint32_t>(y * y + cb * cb + cr * cr);
    int lo = 0, hi = t.count;   // first entry whose magnitude is not below m
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if ((t.magnitudes[mid] & 0xFFFFFF) < m)
            lo = mid + 1;
        else
            hi = mid;
    }
    const int at = lo > 0 ? lo - 1 : 0;
    return static_cast<uint8_t>(t.magnitudes[at] >> 24);
}

namespace {

// Fills a 65536-entry table from (key, index) pairs: each key range up to the midpoint towards
// the next entry's key goes to that entry; the last entry takes the rest.
void FillLookup(std::pair<int, int>* keys, int count, uint8_t* table)
{
    std::sort(keys, keys + count);
    int start = 0;
    for (int i = 0; i < count; ++i) {
        const int end = i + 1 < count ? (keys[i].first + keys[i + 1].first) / 2
                                      : kJpegLookupSize - 1;
        for (int k = start; k <= end; ++k)
            table[k] = static_cast<uint8_t>(keys[i].second);
        start = end + 1 > start ? end + 1 : start;
    }
}

}  // namespace

void BuildJpegPaletteTables(const uint32_t* entries, int count, JpegPaletteTables* t)
{
    count = count < 0 ? 0 : (count > kJpegMaxPaletteEntries ? kJpegMaxPaletteEntries : count);
    t->count = count;
    std::pair<int, int> byKey[kJpegMaxPaletteEntries];
    std::pair<int, int> by565[kJpegMaxPaletteEntries];
    for (int i = 0; i < count; ++i) {
        t->entries[i] = entries[i];
        int y, cb, cr;
        JpegPaletteYcc(entries[i], &y, &cb, &cr);
        t->magnitudes[i] = static_cast<uint32_t>(y * y + cb * cb + cr * cr) |
                           static_cast<uint32_t>(i) << 24;
        byKey[i] = {JpegChromaKey(y, cb, cr), i};
        by565[i] = {Reduce565(entries[i]), i};
    }
    std::sort(t->magnitudes, t->magnitudes + count,
              [](uint32_t a, uint32_t b) { return (a & 0xFFFFFF) < (b & 0xFFFFFF); });
    t->by565.reset(new (std::nothrow) uint8_t[kJpegLookupSize]);
    t->byChromaKey.reset(new (std::nothrow) uint8_t[kJpegLookupSize]);
    if (!t->by565 || !t->byChromaKey || count == 0) {
        t->by565.reset();
        t->byChromaKey.reset();
        return;
    }
    FillLookup(by565, count, t->by565.get());
    FillLookup(byKey, count, t->byChromaKey.get());
}
