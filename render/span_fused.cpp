// Which combinations the fused loops cover, and the loop for a key at a SIMD level.
#include "render/span_internal.h"

namespace span {

FusedShape FusedShapeFor(const SpanKey& key) {
    FusedShape shape;
    uint32_t state = key.state, options = key.options;
    constexpr uint32_t kPlainPathState = kSpanDepthCompare | kSpanAccumulationBits | kSpanFog |
                                         kSpanDiffuseAlpha | kSpanHalveGreen | kSpanGrey;
    constexpr uint32_t kPlainPathOptions = kSpanOptTwoTextures | kSpanOptGain;
    if (!(state & kSpanTextured) || (state & kPlainPathState) || (options & kPlainPathOptions))
        return shape;
    if ((options & 0xFF) != 32 || ((options >> 8) & 0xFF) != 32 || (key.keepMask & 0xFFFFFF) != 0)
        return shape;
    Filter filter = FilterFor(state);
    if (filter == Filter::TwoTexel || filter == Filter::EdgeAware)
        return shape;
    shape.fits = true;
    shape.wrap = (options & kSpanOptNotPowerOfTwo) == 0;
    if (filter == Filter::Point)
        shape.filter = FusedFilter::Point;
    else
        shape.filter = (state & kSpanColourKey) ? FusedFilter::KeyedBilinear : FusedFilter::Bilinear;
    // Point sampling with a colour key skips transparent texels: left to the plain path.
    if (shape.filter == FusedFilter::Point && (state & kSpanColourKey))
        shape.fits = false;
    shape.modulate = (state & kSpanModulateBits) || (options & kSpanOptColourMultiply);
    shape.specular = (state & kSpanSpecular) != 0;
    return shape;
}

SpanFn ChooseFused(const SpanKey& key, SimdLevel level) {
    FusedShape shape = FusedShapeFor(key);
    if (!shape.fits)
        return nullptr;
    switch (level) {
    case SimdLevel::Avx2: return avx2::ChooseFusedLoop(shape);
    case SimdLevel::Sse41: return sse41::ChooseFusedLoop(shape);
    case SimdLevel::Ssse3: return ssse3::ChooseFusedLoop(shape);
    case SimdLevel::Sse2: return sse2::ChooseFusedLoop(shape);
    default: return plain::ChooseFusedLoop(shape);
    }
}

}  // namespace span
