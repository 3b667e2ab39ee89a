#pragma once
// The 8-point AAN inverse transform pass, written once for every lane type (float, SSE2, AVX2)
// so that each path performs the same float operations in the same order and gives the same
// samples. Internal linkage on purpose: each SIMD file instantiates it under its own target, and
// no copy compiled for a wider target may be picked by the linker for a plainer path.
namespace {

constexpr float kIdctSqrt2 = 1.414213562f;
constexpr float kIdctA = 1.847759065f;
constexpr float kIdctB = 1.082392200f;
constexpr float kIdctC = -2.613125930f;

// d[0..7] in, x[0..7] out (may be the same array). V needs +, - and * with a float.
template <class V>
inline __attribute__((always_inline)) void IdctPass(const V* d, V* x)
{
    const V t10 = d[0] + d[4];
    const V t11 = d[0] - d[4];
    const V t13 = d[2] + d[6];
    const V t12 = (d[2] - d[6]) * kIdctSqrt2 - t13;
    const V e0 = t10 + t13;
    const V e3 = t10 - t13;
    const V e1 = t11 + t12;
    const V e2 = t11 - t12;

    const V z13 = d[5] + d[3];
    const V z10 = d[5] - d[3];
    const V z11 = d[1] + d[7];
    const V z12 = d[1] - d[7];
    const V o7 = z11 + z13;
    const V u = (z11 - z13) * kIdctSqrt2;
    const V z5 = (z10 + z12) * kIdctA;
    const V v = z12 * kIdctB - z5;
    const V w = z10 * kIdctC + z5;
    const V o6 = w - o7;
    const V o5 = u - o6;
    const V o4 = v + o5;

    x[0] = e0 + o7;
    x[7] = e0 - o7;
    x[1] = e1 + o6;
    x[6] = e1 - o6;
    x[2] = e2 + o5;
    x[5] = e2 - o5;
    x[4] = e3 + o4;
    x[3] = e3 - o4;
}

// Samples leave the transform clamped to the 16-bit range before rounding, so that no path
// converts a value it cannot hold.
constexpr float kIdctSampleMin = -32768.0f;
constexpr float kIdctSampleMax = 32767.0f;

}  // namespace
