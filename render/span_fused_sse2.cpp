// Fused span loops for processors with sse2; chosen once when that is the level of the machine.
#include <immintrin.h>

#include <cstring>

#include "render/span_internal.h"

#pragma GCC push_options
#pragma GCC target("sse2")

namespace span {
namespace sse2 {
namespace {

#define SPAN_FUSED_PMOVZX 0
#include "render/span_fused_simd.inc"
#undef SPAN_FUSED_PMOVZX
#include "render/span_fused_choose.inc"

}  // namespace
SpanFn ChooseFusedLoop(const FusedShape& shape) { return Choose(shape); }
}  // namespace sse2
}  // namespace span

#pragma GCC pop_options
