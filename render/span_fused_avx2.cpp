// Fused span loops for processors with avx2; chosen once when that is the level of the machine.
#include <immintrin.h>

#include <cstring>

#include "render/span_internal.h"

#pragma GCC push_options
#pragma GCC target("avx2")

namespace span {
namespace avx2 {
namespace {

#define SPAN_FUSED_PMOVZX 1
#include "render/span_fused_simd.inc"
#undef SPAN_FUSED_PMOVZX
#include "render/span_fused_choose.inc"

}  // namespace
SpanFn ChooseFusedLoop(const FusedShape& shape) { return Choose(shape); }
}  // namespace avx2
}  // namespace span

#pragma GCC pop_options
