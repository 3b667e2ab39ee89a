#pragma once
// Shared by the span_*.cpp files only: the arithmetic of one pixel, stage by stage, in the 16-bit
// lane operations every variant uses (unsigned high multiply, saturating add, shifts), and the
// piece record of the plain path.
#include <cstddef>
#include <cstdint>

#include "images/pixel_format.h"
#include "render/span_routine.h"

namespace span {

constexpr int kPieceSize = 8;
constexpr int kAccumulationBytes = 6;  // three 16-bit sums per pixel
constexpr uint32_t kFogMax = 32767;
constexpr uint32_t kGreyBlue = 3736, kGreyGreen = 19235, kGreyRed = 9798;  // of 32768
constexpr uint16_t kTwoTexelRounding = 2;  // makes up the two truncated products
constexpr uint16_t kBilinearRounding = 3;  // ... and the four

// Destination step pattern by phase 0..3 (Accumulation 1, Accumulation 2).
constexpr int kAccumDestStep[2][4] = {{0, 6, 0, 6}, {0, 0, 0, 6}};
constexpr int kAccumDepthStep[2][4] = {{0, 1, 0, 1}, {0, 0, 0, 1}};  // in 16-bit values

enum class Filter { Point, TwoTexel, EdgeAware, Bilinear };

inline uint16_t MulHi(uint32_t a, uint32_t b) { return static_cast<uint16_t>((a * b) >> 16); }
inline uint16_t AddSat(uint32_t a, uint32_t b) {
    uint32_t s = a + b;
    return static_cast<uint16_t>(s > 0xFFFF ? 0xFFFF : s);
}
// A signed colour lane as an unsigned 15-bit value (interpolation may overshoot below 0).
inline uint16_t Lane15(int16_t x) { return static_cast<uint16_t>(x < 0 ? 0 : x); }

inline bool IsPowerOfTwo(int32_t n) { return n > 0 && (n & (n - 1)) == 0; }
inline int32_t TexelBytes(int32_t bits) { return (bits + 7) / 8; }

// Texel indices of the 2 x 2 block at (u, v): the texel, the next one in memory, the one a row
// further and its next one. Every index stays inside the texture: wrapped textures mask their
// coordinates, the others clamp them, and the next texel of the very last one is itself.
struct TexelBlock {
    size_t i00, i10, i01, i11;
};

inline TexelBlock BlockAt(const SpanTexture& t, int32_t u, int32_t v, bool wrap) {
    int32_t x = u >> 16, y = v >> 16, below;
    if (wrap) {
        x &= t.width - 1;
        y &= t.height - 1;
        below = (y + 1) & (t.height - 1);
    } else {
        x = x < 0 ? 0 : (x >= t.width ? t.width - 1 : x);
        y = y < 0 ? 0 : (y >= t.height ? t.height - 1 : y);
        below = y + 1 < t.height ? y + 1 : y;
    }
    size_t w = static_cast<size_t>(t.width);
    size_t last = w * static_cast<size_t>(t.height) - 1;
    TexelBlock b;
    b.i00 = static_cast<size_t>(y) * w + static_cast<size_t>(x);
    b.i01 = static_cast<size_t>(below) * w + static_cast<size_t>(x);
    b.i10 = b.i00 < last ? b.i00 + 1 : b.i00;
    b.i11 = b.i01 < last ? b.i01 + 1 : b.i01;
    return b;
}

// The raw texel: palette index, 16-bit value, or the 24 colour bits (32-bit: all 32 bits).
inline uint32_t RawTexel(const SpanTexture& t, size_t index) {
    switch (t.bitsPerPixel) {
    case 8:
        return t.pixels[index];
    case 15:
    case 16: {
        const uint8_t* p = t.pixels + index * 2;
        return p[0] | (p[1] << 8);
    }
    case 24: {
        const uint8_t* p = t.pixels + index * 3;
        return p[0] | (p[1] << 8) | (p[2] << 16);
    }
    default: {
        const uint8_t* p = t.pixels + index * 4;
        return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
    }
    }
}

// Whether a point-sampled texel is transparent.
inline bool IsZeroTexel(const SpanTexture& t, uint32_t raw) {
    switch (t.bitsPerPixel) {
    case 8:
        return t.palette[raw] == 0;
    case 15:
    case 16:
        return raw == 0;
    default:
        return (raw & 0xFFFFFF) == 0;
    }
}
// Whether a texel of a filtered block is transparent (8-bit: its palette index is 0).
inline bool IsZeroBlockTexel(int32_t bits, uint32_t raw) {
    return bits == 8 || bits == 15 || bits == 16 ? raw == 0 : (raw & 0xFFFFFF) == 0;
}

// 8-bit channels blue, green, red, alpha in 16-bit lanes.
struct Lanes {
    uint16_t c[4];
};

inline Lanes FromBgra(uint32_t x) {
    return {{static_cast<uint16_t>(x & 0xFF), static_cast<uint16_t>((x >> 8) & 0xFF),
             static_cast<uint16_t>((x >> 16) & 0xFF), static_cast<uint16_t>(x >> 24)}};
}

inline Lanes Unpack(int32_t bits, const uint32_t* palette, uint32_t raw) {
    switch (bits) {
    case 8:
        return FromBgra(palette[raw]);
    case 15:
        return FromBgra(Expand555(raw));
    case 16:
        return FromBgra(Expand565(raw));
    default:
        return FromBgra(raw);  // 24-bit texels carry no alpha
    }
}

// Destination read as 8-bit blue, green, red (alpha 0); the accumulation buffer gives the mean of
// its samples so far.
inline Lanes ReadDest(const uint8_t* d, int32_t destBits, int accumShift) {
    if (accumShift) {
        Lanes l{};
        int shift = accumShift * 2;
        for (int i = 0; i < 3; ++i) {
            uint32_t s = static_cast<uint32_t>(d[2 * i] | (d[2 * i + 1] << 8)) >> shift;
            l.c[i] = static_cast<uint16_t>(s > 255 ? 255 : s);
        }
        return l;
    }
    switch (destBits) {
    case 15:
        return Unpack(15, nullptr, d[0] | (d[1] << 8));
    case 16:
        return Unpack(16, nullptr, d[0] | (d[1] << 8));
    case 24:
        return {{d[0], d[1], d[2], 0}};
    default:
        return {{d[0], d[1], d[2], 0}};
    }
}

// Two-texture mix of one texel: t1 x (256 - m) / 256 + t2 x m / 256 per channel.
inline Lanes Mix(const Lanes& t1, const Lanes& t2, uint32_t mixWord) {
    Lanes r;
    for (int i = 0; i < 4; ++i) {
        uint32_t m = (mixWord >> (8 * i)) & 0xFF;
        uint32_t s = ((t1.c[i] * (256 - m)) >> 8) + ((t2.c[i] * m) >> 8);
        r.c[i] = static_cast<uint16_t>(s > 255 ? 255 : s);
    }
    return r;
}

inline uint32_t Fraction15(int32_t coord) { return (static_cast<uint32_t>(coord) & 0xFFFF) >> 1; }

// Filter weights are 15-bit fractions whose sum is exactly 32768; each texel x 128 is multiplied
// by its weight keeping the high 16 bits, so a weighted sum is the texel value x 64 less at most
// one unit per product, which the rounding term gives back before the shift to 8 bits.
constexpr uint32_t kWeightOne = 32768;
constexpr int kTexelShift = 7;
constexpr int kFilterShift = 6;

inline uint32_t Weighted(uint16_t texel, uint32_t weight) { return MulHi(texel << kTexelShift, weight); }

// Two texels in a row weighted (1 - fu), fu; 8-bit result.
inline Lanes FilterTwo(const Lanes& t0, const Lanes& t1, uint32_t fu) {
    uint32_t w1 = fu, w0 = kWeightOne - fu;
    Lanes r;
    for (int i = 0; i < 4; ++i) {
        uint32_t s = Weighted(t0.c[i], w0) + Weighted(t1.c[i], w1);
        r.c[i] = static_cast<uint16_t>(AddSat(s, kTwoTexelRounding) >> kFilterShift);
    }
    return r;
}

// The edge-aware fraction: pushed toward the nearer texel by the squared colour difference.
inline uint32_t EdgeAwareFraction(const Lanes& t0, const Lanes& t1, uint32_t fu) {
    int32_t sum = 0;
    for (int i = 0; i < 3; ++i) {
        int32_t d = static_cast<int32_t>(t1.c[i]) - static_cast<int32_t>(t0.c[i]);
        sum += d * d;
    }
    int32_t d = (sum > 32767 ? 32767 : sum) / 16;
    int32_t f2 = static_cast<int32_t>(fu << 1);
    f2 = fu > 16384 ? f2 + d : f2 - d;
    f2 = f2 < 0 ? 0 : (f2 > 65535 ? 65535 : f2);
    return static_cast<uint32_t>(f2) >> 1;
}

struct BilinearWeights {
    uint16_t w00, w10, w01, w11;
};
// (1 - fu)(1 - fv), fu(1 - fv), (1 - fu)fv, fu fv, formed so that they sum to exactly one.
inline BilinearWeights WeightsFor(uint32_t fu, uint32_t fv) {
    uint32_t w11 = (fu * fv) >> 15;
    uint32_t w10 = fu - w11, w01 = fv - w11;
    uint32_t w00 = kWeightOne - fu - fv + w11;
    return {static_cast<uint16_t>(w00), static_cast<uint16_t>(w10), static_cast<uint16_t>(w01),
            static_cast<uint16_t>(w11)};
}

inline Lanes FilterFour(const Lanes t[4], const BilinearWeights& w) {
    Lanes r;
    for (int i = 0; i < 4; ++i) {
        uint32_t s = Weighted(t[0].c[i], w.w00) + Weighted(t[1].c[i], w.w10) + Weighted(t[2].c[i], w.w01) +
                     Weighted(t[3].c[i], w.w11);
        r.c[i] = static_cast<uint16_t>(AddSat(s, kBilinearRounding) >> kFilterShift);
    }
    return r;
}

// The 8-bit diffuse channel as a factor of 256: 255 counts as 256, so that a white diffuse
// colour leaves the texel as it is.
inline uint32_t DiffuseFactor(int16_t lane) {
    uint32_t d = Lane15(lane) >> 7;
    return d + (d >> 7);
}

// Working colour (8.8) from a texel and the diffuse colour.
inline void Modulate(const Lanes& t, const int16_t diffuse[4], uint16_t work[4]) {
    for (int i = 0; i < 4; ++i)
        work[i] = static_cast<uint16_t>(t.c[i] * DiffuseFactor(diffuse[i]));
}
inline void Scale(const Lanes& t, uint16_t work[4]) {
    for (int i = 0; i < 4; ++i)
        work[i] = static_cast<uint16_t>(t.c[i] << 8);
}
inline void Solid(const int16_t diffuse[4], uint16_t work[4]) {
    for (int i = 0; i < 4; ++i)
        work[i] = static_cast<uint16_t>(Lane15(diffuse[i]) << 1);
}
inline void AddSpecular(const int16_t specular[4], uint16_t work[4]) {
    for (int i = 0; i < 4; ++i)
        work[i] = AddSat(work[i], static_cast<uint32_t>(Lane15(specular[i])) << 1);
}

inline void Fog(const int16_t specular[4], uint32_t fogColour, uint16_t work[4]) {
    uint32_t f = Lane15(specular[3]);
    if (f == 0)
        return;
    for (int i = 0; i < 3; ++i) {
        uint32_t fogLane = ((fogColour >> (8 * i)) & 0xFF) << 7;
        uint32_t s = AddSat(MulHi(work[i] >> 1, kFogMax - f), MulHi(f, fogLane));
        work[i] = static_cast<uint16_t>((s > 0x3FFF ? 0x3FFF : s) << 2);
    }
}

inline void DiffuseAlpha(const int16_t diffuse[4], const Lanes& dest, uint16_t work[4]) {
    uint32_t a = Lane15(diffuse[3]) >> 7;
    for (int i = 0; i < 3; ++i)
        work[i] = static_cast<uint16_t>((work[i] >> 8) * a + dest.c[i] * (255 - a));
}

// Output: halve green (on the working colour), 8 bits per channel, gain, grey.
inline void HalveGreen(uint16_t work[4]) { work[1] = static_cast<uint16_t>(work[1] >> 1); }
inline void ToBytes(const uint16_t work[4], uint8_t out[3]) {
    for (int i = 0; i < 3; ++i)
        out[i] = static_cast<uint8_t>(work[i] >> 8);
}
inline void Gain(uint32_t gainWord, uint8_t out[3]) {
    for (int i = 0; i < 3; ++i) {
        uint32_t g = (gainWord >> (8 * i)) & 0xFF;
        uint32_t s = out[i] + ((out[i] * g) >> 8);
        out[i] = static_cast<uint8_t>(s > 255 ? 255 : s);
    }
}
inline void Grey(uint8_t out[3]) {
    uint32_t y = (kGreyBlue * out[0] + kGreyGreen * out[1] + kGreyRed * out[2]) >> 15;
    out[0] = out[1] = out[2] = static_cast<uint8_t>(y);
}

inline uint32_t Pack(int32_t destBits, const uint8_t c[3]) {
    switch (destBits) {
    case 15:
        return Reduce555(static_cast<uint32_t>(c[2]) << 16 | static_cast<uint32_t>(c[1]) << 8 | c[0]);
    case 16:
        return Reduce565(static_cast<uint32_t>(c[2]) << 16 | static_cast<uint32_t>(c[1]) << 8 | c[0]);
    default:
        return c[0] | (c[1] << 8) | (static_cast<uint32_t>(c[2]) << 16);
    }
}

inline void Store(uint8_t* d, int32_t destBits, uint32_t keepMask, uint32_t writeMask,
                  const uint8_t c[3]) {
    uint32_t value = Pack(destBits, c);
    int bytes = destBits == 15 ? 2 : destBits / 8;
    if (keepMask) {
        uint32_t old = 0;
        for (int i = 0; i < bytes; ++i)
            old |= static_cast<uint32_t>(d[i]) << (8 * i);
        value = (old & keepMask) | (value & writeMask);
    }
    for (int i = 0; i < bytes; ++i)
        d[i] = static_cast<uint8_t>(value >> (8 * i));
}

inline void StoreAccumulation(uint8_t* d, uint32_t background, const uint8_t c[3]) {
    for (int i = 0; i < 3; ++i) {
        uint16_t s = static_cast<uint16_t>(d[2 * i] | (d[2 * i + 1] << 8));
        s = static_cast<uint16_t>(s + c[i] - ((background >> (8 * i)) & 0xFF));
        d[2 * i] = static_cast<uint8_t>(s);
        d[2 * i + 1] = static_cast<uint8_t>(s >> 8);
    }
}

inline bool DepthPasses(uint32_t func, uint16_t fresh, uint16_t stored) {
    switch (func) {
    case 0x10000: return fresh > stored;
    case 0x20000: return fresh == stored;
    case 0x30000: return fresh >= stored;
    case 0x40000: return fresh < stored;
    case 0x50000: return fresh != stored;
    case 0x60000: return fresh <= stored;
    default: return false;
    }
}

// What a routine adds per pixel besides coordinates: colour steps only for the colours its state
// interpolates (diffuse with lighting, vertex colour or fog; specular with specular or fog), the
// z-buffer address only with depth compare.
struct SpanSteps {
    int16_t diffuse[4] = {};
    int16_t specular[4] = {};
    int depth = 0;
};
inline SpanSteps StepsFor(uint32_t state, const SpanRegisters& r) {
    SpanSteps s;
    for (int c = 0; c < 4; ++c) {
        s.diffuse[c] = (state & kSpanInterpolatedColours) ? r.dDiffuse[c] : int16_t{0};
        s.specular[c] = (state & (kSpanSpecular | kSpanFog)) ? r.dSpecular[c] : int16_t{0};
    }
    s.depth = (state & kSpanDepthCompare) ? 1 : 0;
    return s;
}

// One piece of up to 8 pixels of the plain path. Pixels of a piece are independent (accumulation
// runs pieces of one sample, since its samples share pixels).
struct SpanPiece {
    int n = 0;
    uint8_t live[kPieceSize];
    uint8_t* dest[kPieceSize];
    uint16_t* depth[kPieceSize];
    uint32_t z[kPieceSize];
    int32_t u[kPieceSize], v[kPieceSize], u2[kPieceSize], v2[kPieceSize];
    int16_t diffuse[kPieceSize][4];
    int16_t specular[kPieceSize][4];
    TexelBlock block[kPieceSize];
    TexelBlock block2[kPieceSize];
    Lanes texels[kPieceSize][4];   // fetched (and mixed) texels of the filter's block
    Lanes texel[kPieceSize];       // filtered texel
    uint16_t work[kPieceSize][4];  // 8.8 working colour
    uint8_t out[kPieceSize][3];
    int accumShift = 0;
    uint32_t state = 0, options = 0;
};

// The plain path (span_stages.cpp): fills the slot's stage list and runner.
bool BuildStages(const SpanKey& key, SpanSlot* slot);
// The filter a state asks for (colour-keyed filtering is always the 2 x 2 one).
Filter FilterFor(uint32_t state);

// The combinations the fused loops cover: 32-bit texture into a 32-bit frame, no depth, no
// accumulation, keep mask, second texture, fog, diffuse alpha or output effects.
enum class FusedFilter { Point, Bilinear, KeyedBilinear };
struct FusedShape {
    bool fits = false;
    bool wrap = true;
    FusedFilter filter = FusedFilter::Point;
    bool modulate = false;
    bool specular = false;
};
FusedShape FusedShapeFor(const SpanKey& key);
// The fused loop for a key at a level, or null when the key needs the plain path (span_fused.cpp).
SpanFn ChooseFused(const SpanKey& key, SimdLevel level);

// One chooser per level (span_fused_<level>.cpp).
namespace plain { SpanFn ChooseFusedLoop(const FusedShape& shape); }
namespace sse2 { SpanFn ChooseFusedLoop(const FusedShape& shape); }
namespace ssse3 { SpanFn ChooseFusedLoop(const FusedShape& shape); }
namespace sse41 { SpanFn ChooseFusedLoop(const FusedShape& shape); }
namespace avx2 { SpanFn ChooseFusedLoop(const FusedShape& shape); }

}  // namespace span
