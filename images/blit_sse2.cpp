// SSE2 loops of BlitPixels for the calls the player makes most: 24- and 32-bit sources (or a
// solid colour) into 32-bit destinations, copied, nearest or bilinear scaled, blended with opacity,
// colour weights or source alpha, colour-keyed, stored by any of the fourth-byte rules. Each is
// stamped out per (sampling, pixel step, store rule, key) before the first pixel, works on four
// pixels per step and gives exactly the bytes of the portable pipeline; every other call goes to
// that pipeline.
#include "images/blit_internal.h"

#if defined(__x86_64__)

#include <emmintrin.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#define BLIT_INLINE inline __attribute__((always_inline))
#define BLIT_INLINE_LAMBDA __attribute__((always_inline))

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

// One 24- or 32-bit pixel; a 24-bit one reads its three bytes only (fourth byte 0).
template <int Bytes>
BLIT_INLINE uint32_t LoadPixel(const uint8_t* p) {
    if constexpr (Bytes == 4)
        return Load1(p);
    else
        return p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
}

// Four 24-bit pixels from 16 readable bytes, as 32-bit pixels with fourth byte 0.
BLIT_INLINE __m128i Widen24(__m128i x) {
    __m128i q = _mm_unpacklo_epi64(x, _mm_srli_si128(x, 6));
    return _mm_or_si128(_mm_and_si128(q, _mm_set1_epi64x(0x0000000000FFFFFFll)),
                        _mm_and_si128(_mm_slli_epi64(q, 8), _mm_set1_epi64x(0x00FFFFFF00000000ll)));
}

// --- Sampling: Get(i, n) gives columns i .. i + n - 1 (n = 1..4); lanes past n repeat the last
// column, so nothing outside the row is read.

// Sources without per-call tables.
struct NoColumns {
    bool Init(const BlitCall&) { return true; }
};

template <int Bytes>
struct UnscaledSource {
    using Columns = NoColumns;
    const uint8_t* row;
    int32_t wideUntil;  // 24 bits: columns before this one have 16 readable bytes
    UnscaledSource(const BlitCall& c, int32_t y, const NoColumns&)
        : row(c.srcFirst + y * c.srcRowStep), wideUntil(0) {
        if constexpr (Bytes == 3) {
            const uint8_t* end = c.src + ptrdiff_t(c.srcHeight) * c.srcRowStep;
            ptrdiff_t room = end - row;  // columns i with 3 i + 16 <= room
            if (room >= 16)
                wideUntil = int32_t(std::min<ptrdiff_t>((room - 16) / 3 + 1, c.cols));
        }
    }
    BLIT_INLINE Four Get(int32_t i, int n) const {
        __m128i v;
        if (n == 4 && Bytes == 4) {
            v = Load4(row + 4 * i);
        } else if (Bytes == 3 && n == 4 && i < wideUntil) {
            v = Widen24(Load4(row + 3 * i));
        } else {
            uint32_t t[4];
            for (int k = 0; k < 4; k++)
                t[k] = LoadPixel<Bytes>(row + Bytes * (i + (k < n ? k : n - 1)));
            v = Load4(reinterpret_cast<const uint8_t*>(t));
        }
        return {v, v};
    }
};

template <int Bytes>
struct NearestSource {
    using Columns = NoColumns;
    const uint8_t* line;
    uint32_t pos0;
    uint32_t step;
    NearestSource(const BlitCall& c, int32_t y, const NoColumns&)
        : line(c.src + ptrdiff_t((c.ystart + c.ystep * uint64_t(y)) >> 16) * c.srcRowStep),
          pos0(uint32_t(c.xstart)), step(uint32_t(c.xstep)) {}
    BLIT_INLINE Four Get(int32_t i, int n) const {
        uint32_t t[4];
        for (int k = 0; k < 4; k++) {
            uint32_t pos = pos0 + step * uint32_t(i + (k < n ? k : n - 1));
            t[k] = LoadPixel<Bytes>(line + Bytes * size_t(pos >> 16));
        }
        __m128i v = Load4(reinterpret_cast<const uint8_t*>(t));
        return {v, v};
    }
};

struct FillSource {
    using Columns = NoColumns;
    uint32_t pixel;
    FillSource(const BlitCall& c, int32_t, const NoColumns&) : pixel(c.fillPixel) {}
    BLIT_INLINE Four Get(int32_t, int) const {
        __m128i v = _mm_set1_epi32(int32_t(pixel));
        return {v, v};
    }
};

// Bilinear filtering of sources of at least 2 x 2 pixels, where the right and lower neighbours
// of every sampled pixel exist (the steps keep the position below the last column and row).
// The columns are the same on every row: their source offsets and the horizontal weights
// [32767 - fx x 4, fx x 4] are worked out once per call.
struct BilinearColumns {
    std::unique_ptr<uint8_t[]> block;
    const __m128i* weights = nullptr;
    const uint32_t* offsets = nullptr;

    bool Init(const BlitCall& c) {
        size_t cols = size_t(c.cols);
        block.reset(new (std::nothrow) uint8_t[cols * 20 + 16]);
        if (!block)
            return false;
        uintptr_t aligned = (reinterpret_cast<uintptr_t>(block.get()) + 15) & ~uintptr_t(15);
        __m128i* w = reinterpret_cast<__m128i*>(aligned);
        uint32_t* o = reinterpret_cast<uint32_t*>(w + cols);
        uint32_t pos = uint32_t(c.xstart), step = uint32_t(c.xstep);
        for (size_t i = 0; i < cols; i++, pos += step) {
            int16_t fx = int16_t((pos & 0xFFFF) >> 1);
            int16_t ifx = int16_t(32767 - fx);
            w[i] = _mm_setr_epi16(ifx, ifx, ifx, ifx, fx, fx, fx, fx);
            o[i] = uint32_t(c.srcBytes) * (pos >> 16);
        }
        weights = w;
        offsets = o;
        return true;
    }
};

template <int Bytes, bool Key>
struct BilinearSource {
    using Columns = BilinearColumns;
    const BilinearColumns& columns;
    const uint8_t* line0;
    const uint8_t* line1;
    __m128i fy;
    __m128i ify;
    BilinearSource(const BlitCall& c, int32_t y, const BilinearColumns& cols) : columns(cols) {
        uint64_t ypos = c.ystart + c.ystep * uint64_t(y);
        line0 = c.src + ptrdiff_t(ypos >> 16) * c.srcRowStep;
        line1 = line0 + c.srcRowStep;
        int16_t f = int16_t((ypos & 0xFFFF) >> 1);
        fy = _mm_set1_epi16(f);
        ify = _mm_set1_epi16(int16_t(32767 - f));
    }
    // One pixel's products: each neighbour's lanes (shifted left by 2) times its weight, high 16
    // bits of each product; the upper row's pair in the low half, the lower row's added above.
    BLIT_INLINE __m128i Pixel(int32_t j) const {
        const __m128i zero = _mm_setzero_si128();
        __m128i w = _mm_load_si128(columns.weights + j);
        uint32_t offset = columns.offsets[j];
        __m128i a, b;
        if constexpr (Bytes == 4) {
            a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(line0 + offset));
            b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(line1 + offset));
        } else {
            a = _mm_unpacklo_epi32(_mm_cvtsi32_si128(int32_t(LoadPixel<3>(line0 + offset))),
                                   _mm_cvtsi32_si128(int32_t(LoadPixel<3>(line0 + offset + 3))));
            b = _mm_unpacklo_epi32(_mm_cvtsi32_si128(int32_t(LoadPixel<3>(line1 + offset))),
                                   _mm_cvtsi32_si128(int32_t(LoadPixel<3>(line1 + offset + 3))));
        }
        a = _mm_slli_epi16(_mm_unpacklo_epi8(a, zero), 2);
        b = _mm_slli_epi16(_mm_unpacklo_epi8(b, zero), 2);
        return _mm_add_epi16(_mm_mulhi_epu16(a, _mm_mulhi_epu16(w, ify)),
                             _mm_mulhi_epu16(b, _mm_mulhi_epu16(w, fy)));
    }
    // Two pixels' lanes: the left and right neighbours' halves added.
    BLIT_INLINE __m128i Pair(int32_t j0, int32_t j1) const {
        __m128i p0 = Pixel(j0), p1 = Pixel(j1);
        return _mm_add_epi16(_mm_unpacklo_epi64(p0, p1), _mm_unpackhi_epi64(p0, p1));
    }
    BLIT_INLINE Four Get(int32_t i, int n) const {
        int32_t j[4];
        for (int k = 0; k < 4; k++)
            j[k] = i + (k < n ? k : n - 1);
        const __m128i three = _mm_set1_epi16(3);
        __m128i lo = _mm_add_epi16(Pair(j[0], j[1]), three);
        __m128i hi = _mm_add_epi16(Pair(j[2], j[3]), three);
        __m128i px = _mm_packus_epi16(lo, hi);
        __m128i keyed = px;
        if constexpr (Key) {
            const uint32_t* o = columns.offsets;
            keyed = _mm_setr_epi32(int32_t(LoadPixel<Bytes>(line0 + o[j[0]])),
                                   int32_t(LoadPixel<Bytes>(line0 + o[j[1]])),
                                   int32_t(LoadPixel<Bytes>(line0 + o[j[2]])),
                                   int32_t(LoadPixel<Bytes>(line0 + o[j[3]])));
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
    // s and d hold lanes shifted left by 8, so the high half of each product is (x * W) >> 8.
    BLIT_INLINE __m128i Half(__m128i s, __m128i d) const {
        __m128i w = weight;
        if constexpr (Alpha) {
            __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s, 0xFF), 0xFF);
            w = _mm_mulhi_epu16(a, weight);
        }
        __m128i inverse = _mm_sub_epi16(_mm_set1_epi16(256), w);
        return _mm_add_epi16(_mm_mulhi_epu16(s, w), _mm_mulhi_epu16(d, inverse));
    }
    BLIT_INLINE __m128i Apply(__m128i s, __m128i d) const {
        const __m128i zero = _mm_setzero_si128();
        __m128i lo = Half(_mm_unpacklo_epi8(zero, s), _mm_unpacklo_epi8(zero, d));
        __m128i hi = Half(_mm_unpackhi_epi8(zero, s), _mm_unpackhi_epi8(zero, d));
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

// Draws the call; false (nothing drawn) when a per-call table cannot be allocated.
template <class Source, class Step, Store32Rule Rule, bool Key>
bool DrawRows(const BlitCall& c) {
    constexpr bool needsDest = Step::kNeedsDest || Key || Rule == Store32Rule::KeepFourth ||
                               Rule == Store32Rule::Masked;
    typename Source::Columns columns;
    if (!columns.Init(c))
        return false;
    const Step step(c);
    const __m128i mask = _mm_set1_epi32(int32_t(c.writeMask));
    const int32_t cols = c.cols;
    uint8_t* row = c.dst;
    for (int32_t y = 0; y < c.rows; y++, row += c.dstRowStep) {
        const Source source(c, y, columns);
        int32_t i = 0;
        __m128i last = _mm_setzero_si128();
        int lastCount = 0;
        auto drawFour = [&](int32_t at) BLIT_INLINE_LAMBDA {
            uint8_t* p = row + 4 * at;
            Four s = source.Get(at, 4);
            __m128i d = needsDest ? Load4(p) : _mm_setzero_si128();
            last = step.Apply(s.px, d);
            lastCount = 4;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                             StoreValue<Rule, Key>(last, d, s.keyed, mask));
        };
        for (; i + 8 <= cols; i += 8) {
            drawFour(i);
            drawFour(i + 4);
        }
        if (i + 4 <= cols) {
            drawFour(i);
            i += 4;
        }
        if (i < cols) {
            int n = int(cols - i);
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
            StoreRepeatPixel(c, row + 4 * ptrdiff_t(cols), values[lastCount - 1]);
        }
    }
    return true;
}

using RowsFn = bool (*)(const BlitCall&);

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

template <int Bytes>
RowsFn ChooseSampling(const BlitCall& c) {
    if (c.bilinear) {
        if (c.srcWidth < 2 || c.srcHeight < 2)
            return nullptr;
        if (!c.blend)
            return c.colourKey ? ChooseRule<BilinearSource<Bytes, true>, LanesStep, true>(c)
                               : ChooseRule<BilinearSource<Bytes, false>, LanesStep, false>(c);
        if (c.sourceAlpha)
            return ChooseKey<BilinearSource<Bytes, false>, BlendStep<true>>(c);
        return c.colourKey ? ChooseRule<BilinearSource<Bytes, true>, BlendStep<false>, true>(c)
                           : ChooseRule<BilinearSource<Bytes, false>, BlendStep<false>, false>(c);
    }
    return c.scaled ? ChooseStep<NearestSource<Bytes>>(c) : ChooseStep<UnscaledSource<Bytes>>(c);
}

RowsFn ChooseRows(const BlitCall& c) {
    if (c.dstBpp != 32 || (c.src && c.srcBpp != 32 && c.srcBpp != 24) || c.ops || c.invert)
        return nullptr;
    // The loops keep 16.16 positions in 32 bits and draw the repeated pixel only without a key.
    if (c.scaled && (c.srcWidth > 65535 || c.srcHeight > 65535))
        return nullptr;
    if (c.repeat && c.colourKey)
        return nullptr;
    if (!c.src)
        return ChooseStep<FillSource>(c);
    return c.srcBpp == 32 ? ChooseSampling<4>(c) : ChooseSampling<3>(c);
}

}  // namespace

bool BlitRowsSse2(const BlitCall& c) {
    RowsFn rows = ChooseRows(c);
    return rows && rows(c);
}

#else

bool BlitRowsSse2(const BlitCall&) {
    return false;
}

#endif
