// SSE2 loops of BlitPixels for the calls the player makes most: 32-bit sources (or a solid
// colour) into 32-bit destinations, copied, nearest or bilinear scaled, blended with opacity,
// colour weights or source alpha, colour-keyed, stored by any of the fourth-byte rules. Each is
// stamped out per (sampling, pixel step, store rule, key) before the first pixel, works on four
// pixels per step and gives exactly the bytes of the portable pipeline; every other call goes to
// that pipeline.
#include "images/blit_internal.h"

#if defined(__x86_64__)

#include <emmintrin.h>

#include <cstring>

#define BLIT_INLINE inline __attribute__((always_inline))

namespace {

// Four source pixels as bytes, and the pixels the colour key tests.
struct Four {
    __m128i px;
    __m128i keyed;
};

BLIT_INLINE __m128i Load4(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

BLIT_INLINE uint32_t Load1(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// --- Sampling: Get(i, n) gives columns i .. i + n - 1 (n = 1..4); lanes past n repeat the last
// column, so nothing outside the row is read.

struct UnscaledSource {
    const uint8_t* row;
    UnscaledSource(const BlitCall& c, int32_t y) : row(c.srcFirst + y * c.srcRowStep) {}
    BLIT_INLINE Four Get(int32_t i, int n) const {
        __m128i v;
        if (n == 4) {
            v = Load4(row + 4 * i);
        } else {
            uint32_t t[4];
            for (int k = 0; k < 4; k++)
                t[k] = Load1(row + 4 * (i + (k < n ? k : n - 1)));
            v = Load4(reinterpret_cast<const uint8_t*>(t));
        }
        return {v, v};
    }
};

struct NearestSource {
    const uint8_t* line;
    uint32_t pos0;
    uint32_t step;
    NearestSource(const BlitCall& c, int32_t y)
        : line(c.src + ptrdiff_t((c.ystart + c.ystep * uint64_t(y)) >> 16) * c.srcRowStep),
          pos0(uint32_t(c.xstart)), step(uint32_t(c.xstep)) {}
    BLIT_INLINE Four Get(int32_t i, int n) const {
        uint32_t t[4];
        for (int k = 0; k < 4; k++) {
            uint32_t pos = pos0 + step * uint32_t(i + (k < n ? k : n - 1));
            t[k] = Load1(line + 4 * size_t(pos >> 16));
        }
        __m128i v = Load4(reinterpret_cast<const uint8_t*>(t));
        return {v, v};
    }
};

struct FillSource {
    uint32_t pixel;
    FillSource(const BlitCall& c, int32_t) : pixel(c.fillPixel) {}
    BLIT_INLINE Four Get(int32_t, int) const {
        __m128i v = _mm_set1_epi32(int32_t(pixel));
        return {v, v};
    }
};

// Two weight vectors per pixel: [w00 x 4, w10 x 4] for the upper row's pair, [w01 x 4, w11 x 4]
// for the lower row's.
BLIT_INLINE void SpreadWeights(__m128i wLeft, __m128i wRight, __m128i out[4]) {
    __m128i l = _mm_unpacklo_epi16(wLeft, wLeft);
    __m128i r = _mm_unpacklo_epi16(wRight, wRight);
    __m128i l01 = _mm_unpacklo_epi32(l, l), l23 = _mm_unpackhi_epi32(l, l);
    __m128i r01 = _mm_unpacklo_epi32(r, r), r23 = _mm_unpackhi_epi32(r, r);
    out[0] = _mm_unpacklo_epi64(l01, r01);
    out[1] = _mm_unpackhi_epi64(l01, r01);
    out[2] = _mm_unpacklo_epi64(l23, r23);
    out[3] = _mm_unpackhi_epi64(l23, r23);
}

// Bilinear filtering of sources of at least 2 x 2 pixels, where the right and lower neighbours
// of every sampled pixel exist (the steps keep the position below the last column and row).
template <bool Key>
struct BilinearSource {
    const uint8_t* line0;
    const uint8_t* line1;
    uint32_t pos0;
    uint32_t step;
    uint16_t fy;
    BilinearSource(const BlitCall& c, int32_t y) : pos0(uint32_t(c.xstart)), step(uint32_t(c.xstep)) {
        uint64_t ypos = c.ystart + c.ystep * uint64_t(y);
        line0 = c.src + ptrdiff_t(ypos >> 16) * c.srcRowStep;
        line1 = line0 + c.srcRowStep;
        fy = uint16_t((ypos & 0xFFFF) >> 1);
    }
    BLIT_INLINE Four Get(int32_t i, int n) const {
        const __m128i zero = _mm_setzero_si128();
        const __m128i full = _mm_set1_epi16(32767);
        uint32_t offset[4];
        alignas(16) uint16_t fx[8] = {};
        for (int k = 0; k < 4; k++) {
            uint32_t pos = pos0 + step * uint32_t(i + (k < n ? k : n - 1));
            offset[k] = 4 * (pos >> 16);
            fx[k] = uint16_t((pos & 0xFFFF) >> 1);
        }
        __m128i FX = _mm_load_si128(reinterpret_cast<const __m128i*>(fx));
        __m128i IFX = _mm_sub_epi16(full, FX);
        __m128i FY = _mm_set1_epi16(int16_t(fy));
        __m128i IFY = _mm_sub_epi16(full, FY);
        __m128i upper[4], lower[4];
        SpreadWeights(_mm_mulhi_epu16(IFY, IFX), _mm_mulhi_epu16(FX, IFY), upper);
        SpreadWeights(_mm_mulhi_epu16(IFX, FY), _mm_mulhi_epu16(FX, FY), lower);
        __m128i sum[4];
        for (int k = 0; k < 4; k++) {
            __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(line0 + offset[k]));
            __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(line1 + offset[k]));
            a = _mm_slli_epi16(_mm_unpacklo_epi8(a, zero), 2);
            b = _mm_slli_epi16(_mm_unpacklo_epi8(b, zero), 2);
            __m128i s = _mm_add_epi16(_mm_mulhi_epu16(a, upper[k]), _mm_mulhi_epu16(b, lower[k]));
            sum[k] = _mm_add_epi16(s, _mm_srli_si128(s, 8));
        }
        const __m128i three = _mm_set1_epi16(3);
        __m128i lo = _mm_add_epi16(_mm_unpacklo_epi64(sum[0], sum[1]), three);
        __m128i hi = _mm_add_epi16(_mm_unpacklo_epi64(sum[2], sum[3]), three);
        __m128i px = _mm_packus_epi16(lo, hi);
        __m128i keyed = px;
        if constexpr (Key) {
            keyed = _mm_setr_epi32(int32_t(Load1(line0 + offset[0])), int32_t(Load1(line0 + offset[1])),
                                   int32_t(Load1(line0 + offset[2])), int32_t(Load1(line0 + offset[3])));
        }
        return {px, keyed};
    }
};

// --- Pixel steps: from the source pixels (and the destination's) to the packed result.

// A plain read: the colour value without the fourth byte.
struct ValueStep {
    static constexpr bool kNeedsDest = false;
    explicit ValueStep(const BlitCall&) {}
    BLIT_INLINE __m128i Apply(__m128i s, __m128i) const {
        return _mm_and_si128(s, _mm_set1_epi32(0x00FFFFFF));
    }
};

// Filtered lanes packed with the call's saturation.
struct LanesStep {
    static constexpr bool kNeedsDest = false;
    __m128i limit;
    explicit LanesStep(const BlitCall& c) : limit(_mm_set1_epi8(c.signedSaturation ? 127 : -1)) {}
    BLIT_INLINE __m128i Apply(__m128i s, __m128i) const { return _mm_min_epu8(s, limit); }
};

// ((s x W) >> 8) + ((d x (256 - W)) >> 8) per lane, W the call's weight or (a x weight) >> 8.
template <bool Alpha>
struct BlendStep {
    static constexpr bool kNeedsDest = true;
    __m128i weight;
    __m128i limit;
    explicit BlendStep(const BlitCall& c)
        : weight(_mm_setr_epi16(int16_t(c.weight[0]), int16_t(c.weight[1]), int16_t(c.weight[2]),
                                int16_t(c.weight[3]), int16_t(c.weight[0]), int16_t(c.weight[1]),
                                int16_t(c.weight[2]), int16_t(c.weight[3]))),
          limit(_mm_set1_epi8(c.signedSaturation ? 127 : -1)) {}
    BLIT_INLINE __m128i Half(__m128i s, __m128i d) const {
        __m128i w = weight;
        if constexpr (Alpha) {
            __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s, 0xFF), 0xFF);
            w = _mm_srli_epi16(_mm_mullo_epi16(a, weight), 8);
        }
        __m128i inverse = _mm_sub_epi16(_mm_set1_epi16(256), w);
        return _mm_add_epi16(_mm_srli_epi16(_mm_mullo_epi16(s, w), 8),
                             _mm_srli_epi16(_mm_mullo_epi16(d, inverse), 8));
    }
    BLIT_INLINE __m128i Apply(__m128i s, __m128i d) const {
        const __m128i zero = _mm_setzero_si128();
        __m128i lo = Half(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero));
        __m128i hi = Half(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(d, zero));
        return _mm_min_epu8(_mm_packus_epi16(lo, hi), limit);
    }
};

// --- Storing four pixels by the call's rule; keyed pixels keep the destination.

template <Store32Rule Rule, bool Key>
BLIT_INLINE __m128i StoreValue(__m128i v, __m128i d, __m128i keyed, __m128i mask) {
    const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
    const __m128i fourth = _mm_set1_epi32(int32_t(0xFF000000u));
    const __m128i zero = _mm_setzero_si128();
    __m128i out;
    if constexpr (Rule == Store32Rule::KeepFourth) {
        out = _mm_or_si128(_mm_and_si128(d, fourth), _mm_and_si128(v, colour));
    } else if constexpr (Rule == Store32Rule::Masked) {
        out = _mm_or_si128(_mm_andnot_si128(mask, d), _mm_and_si128(v, mask));
    } else if constexpr (Rule == Store32Rule::Opaque) {
        __m128i rgb = _mm_and_si128(v, colour);
        out = _mm_or_si128(rgb, _mm_andnot_si128(_mm_cmpeq_epi32(rgb, zero), fourth));
    } else {
        out = v;
    }
    if constexpr (Key) {
        __m128i black = _mm_cmpeq_epi32(_mm_and_si128(keyed, colour), zero);
        out = _mm_or_si128(_mm_and_si128(black, d), _mm_andnot_si128(black, out));
    }
    return out;
}

template <class Source, class Step, Store32Rule Rule, bool Key>
void DrawRows(const BlitCall& c) {
    constexpr bool needsDest = Step::kNeedsDest || Key || Rule == Store32Rule::KeepFourth ||
                               Rule == Store32Rule::Masked;
    const Step step(c);
    const __m128i mask = _mm_set1_epi32(int32_t(c.writeMask));
    uint8_t* row = c.dst;
    for (int32_t y = 0; y < c.rows; y++, row += c.dstRowStep) {
        const Source source(c, y);
        int32_t i = 0;
        __m128i last = _mm_setzero_si128();
        int lastCount = 0;
        for (; i + 4 <= c.cols; i += 4) {
            uint8_t* p = row + 4 * i;
            Four s = source.Get(i, 4);
            __m128i d = needsDest ? Load4(p) : _mm_setzero_si128();
            last = step.Apply(s.px, d);
            lastCount = 4;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                             StoreValue<Rule, Key>(last, d, s.keyed, mask));
        }
        if (i < c.cols) {
            int n = int(c.cols - i);
            uint8_t* p = row + 4 * i;
            alignas(16) uint8_t dest[16] = {};
            std::memcpy(dest, p, size_t(n) * 4);
            Four s = source.Get(i, n);
            __m128i d = _mm_load_si128(reinterpret_cast<const __m128i*>(dest));
            last = step.Apply(s.px, d);
            lastCount = n;
            _mm_store_si128(reinterpret_cast<__m128i*>(dest),
                            StoreValue<Rule, Key>(last, d, s.keyed, mask));
            std::memcpy(p, dest, size_t(n) * 4);
        }
        if (c.repeat) {
            alignas(16) uint32_t values[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(values), last);
            StoreRepeatPixel(c, row + 4 * ptrdiff_t(c.cols), values[lastCount - 1]);
        }
    }
}

using RowsFn = void (*)(const BlitCall&);

template <class Source, class Step, bool Key>
RowsFn ChooseRule(const BlitCall& c) {
    switch (StoreRuleOf(c)) {
    case Store32Rule::KeepFourth: return DrawRows<Source, Step, Store32Rule::KeepFourth, Key>;
    case Store32Rule::Masked: return DrawRows<Source, Step, Store32Rule::Masked, Key>;
    case Store32Rule::Opaque: return DrawRows<Source, Step, Store32Rule::Opaque, Key>;
    default: return DrawRows<Source, Step, Store32Rule::Plain, Key>;
    }
}

template <class Source, class Step>
RowsFn ChooseKey(const BlitCall& c) {
    return c.colourKey ? ChooseRule<Source, Step, true>(c) : ChooseRule<Source, Step, false>(c);
}

template <class Source>
RowsFn ChooseStep(const BlitCall& c) {
    if (!c.lanes)
        return ChooseKey<Source, ValueStep>(c);
    if (c.blend)
        return c.sourceAlpha ? ChooseKey<Source, BlendStep<true>>(c)
                             : ChooseKey<Source, BlendStep<false>>(c);
    return nullptr;
}

RowsFn ChooseRows(const BlitCall& c) {
    if (c.dstBpp != 32 || (c.src && c.srcBpp != 32) || c.ops || c.invert)
        return nullptr;
    // The loops keep 16.16 positions in 32 bits and draw the repeated pixel only without a key.
    if (c.scaled && (c.srcWidth > 65535 || c.srcHeight > 65535))
        return nullptr;
    if (c.repeat && c.colourKey)
        return nullptr;
    if (!c.src)
        return ChooseStep<FillSource>(c);
    if (c.bilinear) {
        if (c.srcWidth < 2 || c.srcHeight < 2)
            return nullptr;
        if (!c.blend)
            return c.colourKey ? ChooseRule<BilinearSource<true>, LanesStep, true>(c)
                               : ChooseRule<BilinearSource<false>, LanesStep, false>(c);
        if (c.sourceAlpha)
            return ChooseKey<BilinearSource<false>, BlendStep<true>>(c);
        return c.colourKey ? ChooseRule<BilinearSource<true>, BlendStep<false>, true>(c)
                           : ChooseRule<BilinearSource<false>, BlendStep<false>, false>(c);
    }
    return c.scaled ? ChooseStep<NearestSource>(c) : ChooseStep<UnscaledSource>(c);
}

}  // namespace

bool BlitRowsSse2(const BlitCall& c) {
    RowsFn rows = ChooseRows(c);
    if (!rows)
        return false;
    rows(c);
    return true;
}

#else

bool BlitRowsSse2(const BlitCall&) {
    return false;
}

#endif
