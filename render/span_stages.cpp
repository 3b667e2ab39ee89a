// The plain span path: the routine is a list of stage functions, each run over a whole piece of up
// to 8 pixels, chosen once when the slot is made. It is also the reference the fused loops are
// held to.
#include "render/span_internal.h"

namespace span {
namespace {

// Where colours are written: a frame format, or the accumulation buffer with its shift.
enum DestKind : int { DestAccum1 = 1, DestAccum2 = 2, Dest15 = 15, Dest16 = 16, Dest24 = 24, Dest32 = 32 };

constexpr bool IsAccum(int d) { return d == DestAccum1 || d == DestAccum2; }

// --- depth ---

template <uint32_t kFunc>
void DepthCompareStage(const SpanConstants&, SpanPiece& p) {
    for (int i = 0; i < p.n; ++i)
        p.live[i] &= DepthPasses(kFunc, static_cast<uint16_t>(p.z[i] >> 16), *p.depth[i]) ? 1 : 0;
}

void DepthWriteStage(const SpanConstants&, SpanPiece& p) {
    for (int i = 0; i < p.n; ++i) {
        if (p.live[i])
            *p.depth[i] = static_cast<uint16_t>(p.z[i] >> 16);
    }
}

// --- texels ---

template <bool kWrap, bool kTwo>
void AddressStage(const SpanConstants& k, SpanPiece& p) {
    for (int i = 0; i < p.n; ++i) {
        if (!p.live[i])
            continue;
        p.block[i] = BlockAt(k.texture1, p.u[i], p.v[i], kWrap);
        if (kTwo)
            p.block2[i] = BlockAt(k.texture2, p.u2[i], p.v2[i], kWrap);
    }
}

// Colour key of point sampling: the texel itself is transparent.
template <int kBits>
void PointKeyStage(const SpanConstants& k, SpanPiece& p) {
    SpanTexture t = k.texture1;
    t.bitsPerPixel = kBits;
    for (int i = 0; i < p.n; ++i) {
        if (p.live[i] && IsZeroTexel(t, RawTexel(t, p.block[i].i00)))
            p.live[i] = 0;
    }
}

// Colour key of filtered sampling: all four texels of the block are transparent.
template <int kBits>
void BlockKeyStage(const SpanConstants& k, SpanPiece& p) {
    SpanTexture t = k.texture1;
    t.bitsPerPixel = kBits;
    for (int i = 0; i < p.n; ++i) {
        if (!p.live[i])
            continue;
        const TexelBlock& b = p.block[i];
        if (IsZeroBlockTexel(kBits, RawTexel(t, b.i00)) && IsZeroBlockTexel(kBits, RawTexel(t, b.i10)) &&
            IsZeroBlockTexel(kBits, RawTexel(t, b.i01)) && IsZeroBlockTexel(kBits, RawTexel(t, b.i11)))
            p.live[i] = 0;
    }
}

inline size_t BlockIndex(const TexelBlock& b, int j) {
    return j == 0 ? b.i00 : j == 1 ? b.i10 : j == 2 ? b.i01 : b.i11;
}

// Fetches the filter's texels (1: the texel; 2: and its right neighbour; 4: the block), with
// the zero texels of texture 1 replaced by the destination pixel when kSubst, and texture 2
// mixed in when kTwo.
template <int kBits, int kTexels, int kSubstDest, bool kTwo>
void FetchStage(const SpanConstants& k, SpanPiece& p) {
    SpanTexture t1 = k.texture1, t2 = k.texture2;
    t1.bitsPerPixel = t2.bitsPerPixel = kBits;
    t2.palette = t1.palette;
    for (int i = 0; i < p.n; ++i) {
        if (!p.live[i])
            continue;
        for (int j = 0; j < kTexels; ++j) {
            uint32_t raw = RawTexel(t1, BlockIndex(p.block[i], j));
            Lanes texel;
            if (kSubstDest && IsZeroBlockTexel(kBits, raw))
                texel = ReadDest(p.dest[i], kSubstDest, IsAccum(kSubstDest) ? kSubstDest : 0);
            else
                texel = Unpack(kBits, t1.palette, raw);
            if (kTwo) {
                uint32_t raw2 = RawTexel(t2, BlockIndex(p.block2[i], j));
                texel = Mix(texel, Unpack(kBits, t1.palette, raw2), k.mixWord);
            }
            p.texels[i][j] = texel;
        }
    }
}

template <Filter kFilter>
void FilterStage(const SpanConstants&, SpanPiece& p) {
    for (int i = 0; i < p.n; ++i) {
        if (!p.live[i])
            continue;
        uint32_t fu = Fraction15(p.u[i]);
        switch (kFilter) {
        case Filter::Point:
            p.texel[i] = p.texels[i][0];
            break;
        case Filter::TwoTexel:
            p.texel[i] = FilterTwo(p.texels[i][0], p.texels[i][1], fu);
            break;
        case Filter::EdgeAware:
            p.texel[i] = FilterTwo(p.texels[i][0], p.texels[i][1],
                                   EdgeAwareFraction(p.texels[i][0], p.texels[i][1], fu));
            break;
        case Filter::Bilinear:
            p.texel[i] = FilterFour(p.texels[i], WeightsFor(fu, Fraction15(p.v[i])));
            break;
        }
    }
}

// --- colour ---

void ModulateStage(const SpanConstants&, SpanPiece& p) {
    for (int i = 0; i < p.n; ++i) {
        if (p.live[i])
            Modulate(p.texel[i], p.diffuse[i], p.work[i]);
    }
}

void ScaleStage(const SpanConstants&, SpanPiece& p) {
    for (int i = 0; i < p.n; ++i) {
        if (p.live[i])
            Scale(p.texel[i], p.work[i]);
    }
}

void SolidStage(const SpanConstants&, SpanPiece& p) {
    for (int i = 0; i < p.n; ++i) {
        if (p.live[i])
            Solid(p.diffuse[i], p.work[i]);
    }
}

void SpecularStage(const SpanConstants&, SpanPiece& p) {
    for (int i = 0; i < p.n; ++i) {
        if (p.live[i])
            AddSpecular(p.specular[i], p.work[i]);
    }
}

void FogStage(const SpanConstants& k, SpanPiece& p) {
    for (int i = 0; i < p.n; ++i) {
        if (p.live[i])
            Fog(p.specular[i], k.fogColour, p.work[i]);
    }
}

template <int kDest>
void DiffuseAlphaStage(const SpanConstants&, SpanPiece& p) {
    for (int i = 0; i < p.n; ++i) {
        if (p.live[i])
            DiffuseAlpha(p.diffuse[i], ReadDest(p.dest[i], kDest, IsAccum(kDest) ? kDest : 0), p.work[i]);
    }
}

// --- output ---

void HalveGreenStage(const SpanConstants&, SpanPiece& p) {
    for (int i = 0; i < p.n; ++i) {
        if (p.live[i])
            HalveGreen(p.work[i]);
    }
}

void ToBytesStage(const SpanConstants&, SpanPiece& p) {
    for (int i = 0; i < p.n; ++i) {
        if (p.live[i])
            ToBytes(p.work[i], p.out[i]);
    }
}

void GainStage(const SpanConstants& k, SpanPiece& p) {
    for (int i = 0; i < p.n; ++i) {
        if (p.live[i])
            Gain(k.gainWord, p.out[i]);
    }
}

void GreyStage(const SpanConstants&, SpanPiece& p) {
    for (int i = 0; i < p.n; ++i) {
        if (p.live[i])
            Grey(p.out[i]);
    }
}

template <int kDest, bool kKeep>
void StoreStage(const SpanConstants& k, SpanPiece& p) {
    for (int i = 0; i < p.n; ++i) {
        if (!p.live[i])
            continue;
        if (IsAccum(kDest))
            StoreAccumulation(p.dest[i], k.background, p.out[i]);
        else
            Store(p.dest[i], kDest, kKeep ? k.keepMask : 0, k.writeMask, p.out[i]);
    }
}

// --- the runner ---

// Steps through the span in pieces, loading each piece's per-pixel values from the registers
// and advancing the registers past it. Accumulation runs pieces of one sample: its samples share
// pixels and depth values, so each must see what the one before stored.
template <bool kAccum>
void RunStages(const SpanSlot& slot, const SpanConstants& k, SpanRegisters& r) {
    const bool accum2 = (slot.state & kSpanAccumulation2) != 0;
    const int pieceSize = kAccum ? 1 : kPieceSize;
    const SpanSteps steps = StepsFor(slot.state, r);
    const int16_t* dDiffuse = steps.diffuse;
    const int16_t* dSpecular = steps.specular;
    const int depthStep = steps.depth;
    SpanPiece p;
    p.state = slot.state;
    p.options = slot.options;
    int left = r.count;
    while (left > 0) {
        p.n = left < pieceSize ? left : pieceSize;
        for (int i = 0; i < p.n; ++i) {
            p.live[i] = 1;
            p.dest[i] = r.dest;
            p.depth[i] = r.depth;
            p.z[i] = r.z;
            p.u[i] = r.u;
            p.v[i] = r.v;
            p.u2[i] = r.u2;
            p.v2[i] = r.v2;
            for (int c = 0; c < 4; ++c) {
                p.diffuse[i][c] = r.diffuse[c];
                p.specular[i][c] = r.specular[c];
                r.diffuse[c] = static_cast<int16_t>(r.diffuse[c] + dDiffuse[c]);
                r.specular[c] = static_cast<int16_t>(r.specular[c] + dSpecular[c]);
            }
            r.z += static_cast<uint32_t>(r.dz);
            if (kAccum) {
                int phase = r.phase & 3;
                r.dest += kAccumDestStep[accum2][phase];
                r.depth += kAccumDepthStep[accum2][phase] * depthStep;
                r.phase = (phase + 1) & 3;
            } else {
                r.dest += slot.destBytes;
                r.depth += depthStep;
            }
            r.u += r.du;
            r.v += r.dv;
            r.u2 += r.du2;
            r.v2 += r.dv2;
        }
        for (int s = 0; s < slot.stageCount; ++s)
            slot.stages[s](k, p);
        left -= p.n;
    }
}

// --- choosing the stages ---

template <uint32_t kFunc>
SpanStageFn DepthCompareFor() { return &DepthCompareStage<kFunc>; }

SpanStageFn ChooseDepthCompare(uint32_t func) {
    switch (func) {
    case 0x10000: return DepthCompareFor<0x10000>();
    case 0x20000: return DepthCompareFor<0x20000>();
    case 0x30000: return DepthCompareFor<0x30000>();
    case 0x40000: return DepthCompareFor<0x40000>();
    case 0x50000: return DepthCompareFor<0x50000>();
    case 0x60000: return DepthCompareFor<0x60000>();
    default: return nullptr;
    }
}

template <int kBits>
SpanStageFn ChooseFetchForBits(int texels, int substDest, bool two) {
    if (texels == 1)
        return two ? &FetchStage<kBits, 1, 0, true> : &FetchStage<kBits, 1, 0, false>;
    if (texels == 2)
        return two ? &FetchStage<kBits, 2, 0, true> : &FetchStage<kBits, 2, 0, false>;
    if (kBits == 8 || substDest == 0)
        return two ? &FetchStage<kBits, 4, 0, true> : &FetchStage<kBits, 4, 0, false>;
    switch (substDest) {
    case DestAccum1: return two ? &FetchStage<kBits, 4, DestAccum1, true> : &FetchStage<kBits, 4, DestAccum1, false>;
    case DestAccum2: return two ? &FetchStage<kBits, 4, DestAccum2, true> : &FetchStage<kBits, 4, DestAccum2, false>;
    case Dest15: return two ? &FetchStage<kBits, 4, Dest15, true> : &FetchStage<kBits, 4, Dest15, false>;
    case Dest16: return two ? &FetchStage<kBits, 4, Dest16, true> : &FetchStage<kBits, 4, Dest16, false>;
    case Dest24: return two ? &FetchStage<kBits, 4, Dest24, true> : &FetchStage<kBits, 4, Dest24, false>;
    default: return two ? &FetchStage<kBits, 4, Dest32, true> : &FetchStage<kBits, 4, Dest32, false>;
    }
}

SpanStageFn ChooseFetch(int bits, int texels, int substDest, bool two) {
    switch (bits) {
    case 8: return ChooseFetchForBits<8>(texels, substDest, two);
    case 15: return ChooseFetchForBits<15>(texels, substDest, two);
    case 16: return ChooseFetchForBits<16>(texels, substDest, two);
    case 24: return ChooseFetchForBits<24>(texels, substDest, two);
    case 32: return ChooseFetchForBits<32>(texels, substDest, two);
    default: return nullptr;
    }
}

SpanStageFn ChooseKey(int bits, bool block) {
    switch (bits) {
    case 8: return block ? &BlockKeyStage<8> : &PointKeyStage<8>;
    case 15: return block ? &BlockKeyStage<15> : &PointKeyStage<15>;
    case 16: return block ? &BlockKeyStage<16> : &PointKeyStage<16>;
    case 24: return block ? &BlockKeyStage<24> : &PointKeyStage<24>;
    case 32: return block ? &BlockKeyStage<32> : &PointKeyStage<32>;
    default: return nullptr;
    }
}

SpanStageFn ChooseDiffuseAlpha(int dest) {
    switch (dest) {
    case DestAccum1: return &DiffuseAlphaStage<DestAccum1>;
    case DestAccum2: return &DiffuseAlphaStage<DestAccum2>;
    case Dest15: return &DiffuseAlphaStage<Dest15>;
    case Dest16: return &DiffuseAlphaStage<Dest16>;
    case Dest24: return &DiffuseAlphaStage<Dest24>;
    default: return &DiffuseAlphaStage<Dest32>;
    }
}

SpanStageFn ChooseStore(int dest, bool keep) {
    switch (dest) {
    case DestAccum1: return &StoreStage<DestAccum1, false>;
    case DestAccum2: return &StoreStage<DestAccum2, false>;
    case Dest15: return keep ? &StoreStage<Dest15, true> : &StoreStage<Dest15, false>;
    case Dest16: return keep ? &StoreStage<Dest16, true> : &StoreStage<Dest16, false>;
    case Dest24: return keep ? &StoreStage<Dest24, true> : &StoreStage<Dest24, false>;
    default: return keep ? &StoreStage<Dest32, true> : &StoreStage<Dest32, false>;
    }
}

}  // namespace

Filter FilterFor(uint32_t state) {
    if ((state & kSpanColourKey) && (state & (kSpanBilinear | kSpanTwoTexel)))
        return Filter::Bilinear;
    if (state & kSpanBilinear)
        return Filter::Bilinear;
    if (state & kSpanTwoTexel)
        return (state & kSpanEdgeAware) ? Filter::EdgeAware : Filter::TwoTexel;
    return Filter::Point;
}

int DestKindFor(uint32_t state, uint32_t options) {
    if (state & kSpanAccumulation2)
        return DestAccum2;
    if (state & kSpanAccumulation1)
        return DestAccum1;
    return static_cast<int>((options >> 8) & 0xFF);
}

bool BuildStages(const SpanKey& key, SpanSlot* slot) {
    uint32_t state = key.state, options = key.options;
    int texBits = static_cast<int>(options & 0xFF);
    int dest = DestKindFor(state, options);
    bool keep = (key.keepMask & 0xFFFFFF) != 0 && !IsAccum(dest);
    int n = 0;
    auto add = [&](SpanStageFn fn) {
        if (fn && n < kSpanStageCount)
            slot->stages[n++] = fn;
        return fn != nullptr;
    };
    if (state & kSpanDepthCompare) {
        if (!add(ChooseDepthCompare(state & kSpanDepthFuncMask)))
            return false;
        if (state & kSpanDepthWrite)
            add(&DepthWriteStage);
    }
    bool colour = true;
    if (state & kSpanTextured) {
        Filter filter = FilterFor(state);
        bool keyed = (state & kSpanColourKey) != 0;
        bool two = (options & kSpanOptTwoTextures) != 0;
        bool wrap = (options & kSpanOptNotPowerOfTwo) == 0;
        add(wrap ? (two ? &AddressStage<true, true> : &AddressStage<true, false>)
                 : (two ? &AddressStage<false, true> : &AddressStage<false, false>));
        if (keyed && !add(ChooseKey(texBits, filter != Filter::Point)))
            return false;
        int texels = filter == Filter::Point ? 1 : filter == Filter::Bilinear ? 4 : 2;
        bool subst = keyed && filter == Filter::Bilinear;
        if (!add(ChooseFetch(texBits, texels, subst ? dest : 0, two)))
            return false;
        switch (filter) {
        case Filter::Point: add(&FilterStage<Filter::Point>); break;
        case Filter::TwoTexel: add(&FilterStage<Filter::TwoTexel>); break;
        case Filter::EdgeAware: add(&FilterStage<Filter::EdgeAware>); break;
        case Filter::Bilinear: add(&FilterStage<Filter::Bilinear>); break;
        }
        bool modulate = (state & kSpanModulateBits) || (options & kSpanOptColourMultiply);
        add(modulate ? &ModulateStage : &ScaleStage);
        if (state & kSpanSpecular)
            add(&SpecularStage);
    } else if (state & kSpanSolid) {
        add(&SolidStage);
    } else {
        colour = false;  // depth only
    }
    if (colour) {
        if (state & kSpanFog)
            add(&FogStage);
        if (state & kSpanDiffuseAlpha)
            add(ChooseDiffuseAlpha(dest));
        if (state & kSpanHalveGreen)
            add(&HalveGreenStage);
        add(&ToBytesStage);
        if (options & kSpanOptGain)
            add(&GainStage);
        if (state & kSpanGrey)
            add(&GreyStage);
        add(ChooseStore(dest, keep));
    }
    slot->stageCount = n;
    slot->run = IsAccum(dest) ? &RunStages<true> : &RunStages<false>;
    return true;
}

}  // namespace span
