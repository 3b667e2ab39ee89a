// Fused loops without SIMD: the same steps as the stage path, one pixel at a time.
#include "render/span_internal.h"

namespace span {
namespace plain {
namespace {

template <bool kWrap, FusedFilter kFilter, bool kModulate, bool kSpecular>
void FusedLoop(const SpanSlot& slot, const SpanConstants& k, SpanRegisters& r) {
    SpanTexture t = k.texture1;
    t.bitsPerPixel = 32;
    const SpanSteps steps = StepsFor(slot.state, r);
    const int16_t* dDiffuse = steps.diffuse;
    const int16_t* dSpecular = steps.specular;
    const int depthStep = steps.depth;
    for (int n = r.count; n > 0; --n) {
        TexelBlock b = BlockAt(t, r.u, r.v, kWrap);
        Lanes texel;
        bool draw = true;
        if (kFilter == FusedFilter::Point) {
            texel = FromBgra(RawTexel(t, b.i00));
        } else {
            uint32_t raw[4] = {RawTexel(t, b.i00), RawTexel(t, b.i10), RawTexel(t, b.i01), RawTexel(t, b.i11)};
            Lanes four[4];
            if (kFilter == FusedFilter::KeyedBilinear) {
                int zeros = 0;
                for (int j = 0; j < 4; ++j)
                    zeros += (raw[j] & 0xFFFFFF) == 0;
                draw = zeros < 4;
                for (int j = 0; j < 4; ++j)
                    four[j] = (raw[j] & 0xFFFFFF) == 0 ? ReadDest(r.dest, 32, 0) : FromBgra(raw[j]);
            } else {
                for (int j = 0; j < 4; ++j)
                    four[j] = FromBgra(raw[j]);
            }
            texel = FilterFour(four, WeightsFor(Fraction15(r.u), Fraction15(r.v)));
        }
        if (draw) {
            uint16_t work[4];
            if (kModulate)
                Modulate(texel, r.diffuse, work);
            else
                Scale(texel, work);
            if (kSpecular)
                AddSpecular(r.specular, work);
            uint8_t out[3];
            ToBytes(work, out);
            r.dest[0] = out[0];
            r.dest[1] = out[1];
            r.dest[2] = out[2];
            r.dest[3] = 0;
        }
        r.dest += 4;
        r.depth += depthStep;
        r.z += static_cast<uint32_t>(r.dz);
        r.u += r.du;
        r.v += r.dv;
        r.u2 += r.du2;
        r.v2 += r.dv2;
        for (int c = 0; c < 4; ++c) {
            r.diffuse[c] = static_cast<int16_t>(r.diffuse[c] + dDiffuse[c]);
            r.specular[c] = static_cast<int16_t>(r.specular[c] + dSpecular[c]);
        }
    }
}

#include "render/span_fused_choose.inc"

}  // namespace
SpanFn ChooseFusedLoop(const FusedShape& shape) { return Choose(shape); }
}  // namespace plain
}  // namespace span
