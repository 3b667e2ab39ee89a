#pragma once
// The 8-point forward float AAN pass, written once for every lane type (float, SSE2, AVX2) so
// that each path performs the same float operations in the same order and gives the same
// coefficients. Internal linkage on purpose: each SIMD file instantiates it under its own target,
// and no copy compiled for a wider target may be picked by the linker for a plainer path.
namespace {

constexpr float kFdctHalfSqrt2 = 0.707106781f;
constexpr float kFdctC6 = 0.382683433f;
constexpr float kFdctC2MinusC6 = 0.541196100f;
constexpr float kFdctC2PlusC6 = 1.306562965f;

// p[0..7] in and out. V needs +, - and * with a float.
template <class V>
inline __attribute__((always_inline)) void FdctPass(V* p)
{
    const V tmp0 = p[0] + p[7], tmp7 = p[0] - p[7];
    const V tmp1 = p[1] + p[6], tmp6 = p[1] - p[6];
    const V tmp2 = p[2] + p[5], tmp5 = p[2] - p[5];
    const V tmp3 = p[3] + p[4], tmp4 = p[3] - p[4];

    // Even part.
    const V tmp10 = tmp0 + tmp3, tmp13 = tmp0 - tmp3;
    const V tmp11 = tmp1 + tmp2, tmp12 = tmp1 - tmp2;
    p[0] = tmp10 + tmp11;
    p[4] = tmp10 - tmp11;
    const V z1 = (tmp12 + tmp13) * kFdctHalfSqrt2;
    p[2] = tmp13 + z1;
    p[6] = tmp13 - z1;

    // Odd part.
    const V t10 = tmp4 + tmp5, t11 = tmp5 + tmp6, t12 = tmp6 + tmp7;
    const V z5 = (t10 - t12) * kFdctC6;
    const V z2 = t10 * kFdctC2MinusC6 + z5;
    const V z4 = t12 * kFdctC2PlusC6 + z5;
    const V z3 = t11 * kFdctHalfSqrt2;
    const V z11 = tmp7 + z3, z13 = tmp7 - z3;
    p[5] = z13 + z2;
    p[3] = z13 - z2;
    p[1] = z11 + z4;
    p[7] = z11 - z4;
}

}  // namespace
