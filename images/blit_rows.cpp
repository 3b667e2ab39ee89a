// The portable row pipeline of BlitPixels. Each drawn row is cut into chunks; every step the
// call needs is one loop over a chunk of four 16-bit lanes per pixel (blue, green, red, fourth
// byte), chosen before the first pixel: fetch the source, invert, read the destination, the
// operations in their fixed order, blend, pack, store. A call that needs no lanes (plain reads:
// copies between formats, colour keys, fourth-byte rules, nearest scaling) fetches packed values
// and stores them at once. This is the reference for the SSE2 loops.
#include <algorithm>
#include <cassert>

#include "images/blit.h"
#include "images/blit_internal.h"
#include "images/pixel_access.h"

using namespace pixel_access;

namespace {

constexpr int kChunk = 256;
constexpr uint32_t kLaneOperations = BlitSubtract | BlitAdd | BlitMultiply | BlitAnd |
                                     BlitAndNot | BlitOr | BlitXor | BlitLighten | BlitDarken;

struct Chunk {
    int32_t col0 = 0;  // first column of the chunk, counted from the first drawn column
    int n = 0;
    uint16_t s[kChunk][4];   // source lanes
    uint16_t d[kChunk][4];   // destination lanes as read
    uint16_t r[kChunk][4];   // operation and blend result
    uint16_t alpha[kChunk];  // the source pixel's own fourth byte
    uint8_t skip[kChunk];    // colour key: the pixel is not stored
    uint32_t out[kChunk];    // packed result
};

inline void SplitLanes(uint32_t v, uint16_t* lanes) {
    lanes[0] = v & 0xFF;
    lanes[1] = (v >> 8) & 0xFF;
    lanes[2] = (v >> 16) & 0xFF;
    lanes[3] = v >> 24;
}

inline uint32_t JoinLanes(const uint16_t* lanes) {
    assert(lanes[0] < 256 && lanes[1] < 256 && lanes[2] < 256 && lanes[3] < 256);
    return lanes[0] | (uint32_t(lanes[1]) << 8) | (uint32_t(lanes[2]) << 16) |
           (uint32_t(lanes[3]) << 24);
}

// The colour key's test: the whole word of 15/16-bit pixels, the colour of the others (the
// palette colour for 8 bits).
template <int S>
inline bool IsKeyBlack(const uint8_t* p, const uint32_t* palette) {
    if constexpr (S == 15 || S == 16)
        return Load16(p) == 0;
    else
        return (ReadValue<S>(p, palette) & 0x00FFFFFFu) == 0;
}

// --- Fetching the source ---

using FetchFn = void (*)(const BlitCall& c, int32_t row, Chunk& k);

// One source pixel into the chunk: as lanes (and its alpha), or as the packed result of a plain
// read, which keeps no fourth byte of a 32-bit source.
template <int S, bool Lanes>
inline void TakePixel(uint32_t v, Chunk& k, int i) {
    if constexpr (Lanes) {
        SplitLanes(v, k.s[i]);
        k.alpha[i] = k.s[i][3];
    } else {
        k.out[i] = S == 32 ? v & 0x00FFFFFFu : v;
    }
}

template <int S, bool Key, bool Lanes>
void FetchUnscaled(const BlitCall& c, int32_t row, Chunk& k) {
    constexpr int bytes = PixelBytes(S);
    const uint8_t* p = c.srcFirst + row * c.srcRowStep + ptrdiff_t(k.col0) * bytes;
    for (int i = 0; i < k.n; i++, p += bytes) {
        if constexpr (Key)
            k.skip[i] = IsKeyBlack<S>(p, c.palette);
        TakePixel<S, Lanes>(ReadValue<S>(p, c.palette), k, i);
    }
}

template <int S, bool Key, bool Lanes>
void FetchNearest(const BlitCall& c, int32_t row, Chunk& k) {
    constexpr int bytes = PixelBytes(S);
    const uint8_t* line = c.src + ptrdiff_t((c.ystart + c.ystep * uint64_t(row)) >> 16) *
                                      c.srcRowStep;
    uint64_t pos = c.xstart + c.xstep * uint64_t(k.col0);
    for (int i = 0; i < k.n; i++, pos += c.xstep) {
        const uint8_t* p = line + ptrdiff_t(pos >> 16) * bytes;
        if constexpr (Key)
            k.skip[i] = IsKeyBlack<S>(p, c.palette);
        TakePixel<S, Lanes>(ReadValue<S>(p, c.palette), k, i);
    }
}

// Four neighbours weighted by the top 15 bits of the position fractions, each product
// truncated, plus 3 with saturation at 255. Neighbours past the last column or row are the last
// column or row, so a one-pixel source reads only its pixel.
template <int S, bool Key>
void FetchBilinear(const BlitCall& c, int32_t row, Chunk& k) {
    constexpr int bytes = PixelBytes(S);
    uint64_t ypos = c.ystart + c.ystep * uint64_t(row);
    int64_t iy = int64_t(ypos >> 16);
    int64_t iy1 = std::min<int64_t>(iy + 1, c.srcHeight - 1);
    uint32_t fy = uint32_t(ypos & 0xFFFF) >> 1;
    const uint8_t* line0 = c.src + ptrdiff_t(iy) * c.srcRowStep;
    const uint8_t* line1 = c.src + ptrdiff_t(iy1) * c.srcRowStep;
    uint64_t pos = c.xstart + c.xstep * uint64_t(k.col0);
    for (int i = 0; i < k.n; i++, pos += c.xstep) {
        int64_t ix = int64_t(pos >> 16);
        int64_t ix1 = std::min<int64_t>(ix + 1, c.srcWidth - 1);
        uint32_t fx = uint32_t(pos & 0xFFFF) >> 1;
        uint32_t weight[4] = {((32767 - fy) * (32767 - fx)) >> 16, (fx * (32767 - fy)) >> 16,
                              ((32767 - fx) * fy) >> 16, (fx * fy) >> 16};
        const uint8_t* p[4] = {line0 + ix * bytes, line0 + ix1 * bytes, line1 + ix * bytes,
                               line1 + ix1 * bytes};
        if constexpr (Key)
            k.skip[i] = IsKeyBlack<S>(p[0], c.palette);
        uint16_t tap[4][4];
        for (int t = 0; t < 4; t++)
            SplitLanes(ReadValue<S>(p[t], c.palette), tap[t]);
        for (int lane = 0; lane < 4; lane++) {
            uint32_t sum = 0;
            for (int t = 0; t < 4; t++)
                sum += (weight[t] * (uint32_t(tap[t][lane]) << 2)) >> 16;
            k.s[i][lane] = uint16_t(std::min<uint32_t>(sum + 3, 255));
        }
        k.alpha[i] = k.s[i][3];
    }
}

// The solid colour is a 32-bit source pixel.
template <bool Key, bool Lanes>
void FetchFill(const BlitCall& c, int32_t, Chunk& k) {
    bool black = (c.fillPixel & 0x00FFFFFFu) == 0;
    for (int i = 0; i < k.n; i++) {
        if constexpr (Key)
            k.skip[i] = black;
        TakePixel<32, Lanes>(c.fillPixel, k, i);
    }
}

template <int S, bool Key, bool Lanes>
FetchFn ChooseFetchFor(const BlitCall& c) {
    if (!c.scaled)
        return FetchUnscaled<S, Key, Lanes>;
    if (c.bilinear)
        return FetchBilinear<S, Key>;  // lanes always
    return FetchNearest<S, Key, Lanes>;
}

template <bool Key, bool Lanes>
FetchFn ChooseFetchFormat(const BlitCall& c) {
    if (!c.src)
        return FetchFill<Key, Lanes>;
    switch (c.srcBpp) {
    case 8: return ChooseFetchFor<8, Key, Lanes>(c);
    case 15: return ChooseFetchFor<15, Key, Lanes>(c);
    case 16: return ChooseFetchFor<16, Key, Lanes>(c);
    case 24: return ChooseFetchFor<24, Key, Lanes>(c);
    default: return ChooseFetchFor<32, Key, Lanes>(c);
    }
}

FetchFn ChooseFetch(const BlitCall& c) {
    if (c.lanes)
        return c.colourKey ? ChooseFetchFormat<true, true>(c) : ChooseFetchFormat<false, true>(c);
    return c.colourKey ? ChooseFetchFormat<true, false>(c) : ChooseFetchFormat<false, false>(c);
}

// --- Steps on lanes ---

using StepFn = void (*)(Chunk& k);

void InvertSource(Chunk& k) {
    for (int i = 0; i < k.n; i++) {
        for (int lane = 0; lane < 3; lane++)
            k.s[i][lane] = uint16_t(255 - k.s[i][lane]);
        k.s[i][3] = 0;
    }
}

template <int D>
void FetchDest(uint8_t* row, Chunk& k) {
    constexpr int bytes = PixelBytes(D);
    const uint8_t* p = row + ptrdiff_t(k.col0) * bytes;
    for (int i = 0; i < k.n; i++, p += bytes) {
        uint32_t v;
        if constexpr (D == 24)
            v = Load24(p);
        else
            v = ReadValue<D>(p, nullptr);
        SplitLanes(v, k.d[i]);
    }
}

using DestFetchFn = void (*)(uint8_t* row, Chunk& k);

void CopyDestToResult(Chunk& k) {
    std::copy(&k.d[0][0], &k.d[0][0] + 4 * k.n, &k.r[0][0]);
}

// One operation on every lane of the result with the source.
template <typename Op>
void ApplyOp(Chunk& k) {
    for (int i = 0; i < k.n; i++)
        for (int lane = 0; lane < 4; lane++)
            k.r[i][lane] = uint16_t(Op::Apply(k.r[i][lane], k.s[i][lane]));
}

struct OpAnd { static uint32_t Apply(uint32_t d, uint32_t s) { return d & s; } };
struct OpAndNot { static uint32_t Apply(uint32_t d, uint32_t s) { return ~d & s & 0xFF; } };
struct OpOr { static uint32_t Apply(uint32_t d, uint32_t s) { return d | s; } };
struct OpXor { static uint32_t Apply(uint32_t d, uint32_t s) { return d ^ s; } };
struct OpSubtract { static uint32_t Apply(uint32_t d, uint32_t s) { return d > s ? d - s : 0; } };
struct OpAdd { static uint32_t Apply(uint32_t d, uint32_t s) { return std::min(d + s, 255u); } };
struct OpMultiply { static uint32_t Apply(uint32_t d, uint32_t s) { return (d * s) >> 8; } };
struct OpSignedAdd {
    static uint32_t Apply(uint32_t d, uint32_t s) { return (d + s - 128) & 0xFF; }
};
struct OpDifference {
    static uint32_t Apply(uint32_t d, uint32_t s) { return (d - s + 128) & 0xFF; }
};
struct OpDarken { static uint32_t Apply(uint32_t d, uint32_t s) { return std::min(d, s); } };
struct OpLighten { static uint32_t Apply(uint32_t d, uint32_t s) { return std::max(d, s); } };

// The operations in the order they apply.
struct OpEntry {
    uint32_t bit;
    StepFn step;
};
constexpr OpEntry kOperations[] = {
    {BlitAnd, ApplyOp<OpAnd>},           {BlitAndNot, ApplyOp<OpAndNot>},
    {BlitOr, ApplyOp<OpOr>},             {BlitXor, ApplyOp<OpXor>},
    {BlitSubtract, ApplyOp<OpSubtract>}, {BlitAdd, ApplyOp<OpAdd>},
    {BlitMultiply, ApplyOp<OpMultiply>}, {BlitSignedAdd, ApplyOp<OpSignedAdd>},
    {BlitDifference, ApplyOp<OpDifference>}, {BlitDarken, ApplyOp<OpDarken>},
    {BlitLighten, ApplyOp<OpLighten>},
};

// Signed saturation of lanes being packed: above 127 becomes 127. (Every lane lies in 0..255
// here, so the unsigned saturation of the other packing changes nothing.)
void SaturateLanes(uint16_t (*lanes)[4], int n) {
    for (int i = 0; i < n; i++)
        for (int lane = 0; lane < 4; lane++)
            lanes[i][lane] = std::min<uint16_t>(lanes[i][lane], 127);
}

void SaturateSource(Chunk& k) {
    SaturateLanes(k.s, k.n);
}

void SaturateResult(Chunk& k) {
    SaturateLanes(k.r, k.n);
}

// result = ((x * W) >> 8) + ((dst * (256 - W)) >> 8) per lane, each product truncated; with
// source alpha a every weight W is first (a * W) >> 8.
template <bool Alpha>
void Blend(Chunk& k, const uint16_t (*x)[4], const uint16_t* weight) {
    for (int i = 0; i < k.n; i++) {
        for (int lane = 0; lane < 4; lane++) {
            uint32_t w = weight[lane];
            if constexpr (Alpha)
                w = (k.alpha[i] * w) >> 8;
            k.r[i][lane] = uint16_t(((x[i][lane] * w) >> 8) + ((k.d[i][lane] * (256 - w)) >> 8));
        }
    }
}

void Pack(Chunk& k, const uint16_t (*x)[4]) {
    for (int i = 0; i < k.n; i++)
        k.out[i] = JoinLanes(x[i]);
}

// --- Storing ---

// Stores the chunk's packed pixels, skipping keyed ones; answers the index of the last stored
// pixel, or -1.
using StoreFn = int (*)(uint8_t* row, const Chunk& k, uint32_t mask);

template <int D, Store32Rule Rule, bool Key>
int StoreChunk(uint8_t* row, const Chunk& k, uint32_t mask) {
    constexpr int bytes = PixelBytes(D);
    uint8_t* p = row + ptrdiff_t(k.col0) * bytes;
    int last = -1;
    for (int i = 0; i < k.n; i++, p += bytes) {
        if constexpr (Key) {
            if (k.skip[i])
                continue;
        }
        uint32_t v = k.out[i];
        if constexpr (D != 32)
            WriteValue<D>(p, v);
        else if constexpr (Rule == Store32Rule::KeepFourth)
            Store24(p, v);
        else if constexpr (Rule == Store32Rule::Masked)
            Store32(p, (Load32(p) & ~mask) | (v & mask));
        else if constexpr (Rule == Store32Rule::Opaque)
            Store32(p, OpaqueOrBlack(v));
        else
            Store32(p, v);
        last = i;
    }
    return last;
}

template <bool Key>
StoreFn ChooseStoreKeyed(const BlitCall& c) {
    switch (c.dstBpp) {
    case 15: return StoreChunk<15, Store32Rule::Plain, Key>;
    case 16: return StoreChunk<16, Store32Rule::Plain, Key>;
    case 24: return StoreChunk<24, Store32Rule::Plain, Key>;
    default:
        switch (StoreRuleOf(c)) {
        case Store32Rule::KeepFourth: return StoreChunk<32, Store32Rule::KeepFourth, Key>;
        case Store32Rule::Masked: return StoreChunk<32, Store32Rule::Masked, Key>;
        case Store32Rule::Opaque: return StoreChunk<32, Store32Rule::Opaque, Key>;
        default: return StoreChunk<32, Store32Rule::Plain, Key>;
        }
    }
}

// The steps of one call, chosen before the first pixel.
struct Pipeline {
    FetchFn fetch = nullptr;
    StepFn sourceSteps[1] = {};  // inverting
    int sourceStepCount = 0;
    DestFetchFn fetchDest = nullptr;
    StepFn opSteps[16] = {};     // copying the destination, operations, saturation
    int opStepCount = 0;
    void (*blend)(Chunk&, const uint16_t (*)[4], const uint16_t*) = nullptr;
    bool resultInR = false;      // the packed lanes are the result (else the source)
    bool saturateFinal = false;
    StoreFn store = nullptr;
};

Pipeline BuildPipeline(const BlitCall& c) {
    Pipeline p;
    p.fetch = ChooseFetch(c);
    if (c.invert)
        p.sourceSteps[p.sourceStepCount++] = InvertSource;
    bool sourceInLanes = c.bilinear || c.invert;
    if (c.readDest) {
        switch (c.dstBpp) {
        case 15: p.fetchDest = FetchDest<15>; break;
        case 16: p.fetchDest = FetchDest<16>; break;
        case 24: p.fetchDest = FetchDest<24>; break;
        default: p.fetchDest = FetchDest<32>; break;
        }
    }
    bool resultInLanes = sourceInLanes;
    if (c.ops) {
        p.opSteps[p.opStepCount++] = CopyDestToResult;
        bool laneOpRan = false, packed = false;
        for (const OpEntry& op : kOperations) {
            if (!(c.ops & op.bit))
                continue;
            bool byteOp = (op.bit & kBlitByteOperations) != 0;
            if (byteOp && !packed) {
                // Lanes are packed before the first byte operation.
                packed = true;
                if (c.signedSaturation && laneOpRan)
                    p.opSteps[p.opStepCount++] = SaturateResult;
                if (c.signedSaturation && sourceInLanes)
                    p.opSteps[p.opStepCount++] = SaturateSource;
            }
            laneOpRan = !byteOp || laneOpRan;
            resultInLanes = !byteOp;
            p.opSteps[p.opStepCount++] = op.step;
        }
        p.resultInR = true;
    }
    if (c.blend) {
        p.blend = c.sourceAlpha ? Blend<true> : Blend<false>;
        p.resultInR = true;
        resultInLanes = true;
    }
    p.saturateFinal = c.signedSaturation && c.lanes && resultInLanes;
    p.store = c.colourKey ? ChooseStoreKeyed<true>(c) : ChooseStoreKeyed<false>(c);
    return p;
}

}  // namespace

void StoreRepeatPixel(const BlitCall& c, uint8_t* p, uint32_t v) {
    switch (c.dstBpp) {
    case 15: WriteValue<15>(p, v); break;
    case 16: WriteValue<16>(p, v); break;
    case 24: Store24(p, v); break;
    default:
        if (c.keepFourth)
            Store24(p, v);
        else if (c.opaqueFourth)
            Store32(p, OpaqueOrBlack(v));
        else
            Store32(p, v);
    }
}

void BlitRowsPortable(const BlitCall& c) {
    Pipeline p = BuildPipeline(c);
    Chunk k;
    uint8_t* row = c.dst;
    for (int32_t y = 0; y < c.rows; y++, row += c.dstRowStep) {
        bool stored = false;
        uint32_t lastValue = 0;
        for (int32_t col0 = 0; col0 < c.cols; col0 += kChunk) {
            k.col0 = col0;
            k.n = int(std::min<int32_t>(kChunk, c.cols - col0));
            p.fetch(c, y, k);
            if (c.lanes) {
                for (int s = 0; s < p.sourceStepCount; s++)
                    p.sourceSteps[s](k);
                if (p.fetchDest)
                    p.fetchDest(row, k);
                for (int s = 0; s < p.opStepCount; s++)
                    p.opSteps[s](k);
                if (p.blend)
                    p.blend(k, c.ops ? k.r : k.s, c.weight);
                uint16_t (*result)[4] = p.resultInR ? k.r : k.s;
                if (p.saturateFinal)
                    SaturateLanes(result, k.n);
                Pack(k, result);
            }
            int last = p.store(row, k, c.writeMask);
            if (last >= 0) {
                stored = true;
                lastValue = k.out[last];
            }
        }
        if (c.repeat && stored)
            StoreRepeatPixel(c, row + ptrdiff_t(c.cols) * c.dstBytes, lastValue);
    }
}
