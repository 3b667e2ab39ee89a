#pragma once
// Four float lanes for the transforms' shared passes (jpeg_idct_pass.h, jpeg_encoder_fdct_pass.h):
// +, - and * by a float, and a 4 x 4 transpose. Internal linkage, as the passes have, so that
// each file's copy stays compiled for its own target.
#include <emmintrin.h>

namespace {

struct F4 {
    __m128 v;
};
inline __attribute__((always_inline)) F4 operator+(F4 a, F4 b) { return {_mm_add_ps(a.v, b.v)}; }
inline __attribute__((always_inline)) F4 operator-(F4 a, F4 b) { return {_mm_sub_ps(a.v, b.v)}; }
inline __attribute__((always_inline)) F4 operator*(F4 a, float k)
{
    return {_mm_mul_ps(a.v, _mm_set1_ps(k))};
}

inline __attribute__((always_inline)) void Transpose4(const F4* in, F4* out)
{
    __m128 r0 = in[0].v, r1 = in[1].v, r2 = in[2].v, r3 = in[3].v;
    _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
    out[0].v = r0;
    out[1].v = r1;
    out[2].v = r2;
    out[3].v = r3;
}

}  // namespace
