#pragma once
// The SIMD level the span routines are made for: chosen once from cpuid (AVX2 only when the
// operating system saves the wide registers, per XGETBV). The environment variable LUMARIX_SIMD
// ("plain", "sse2", "ssse3", "sse41", "avx2") lowers it, never raises it.

enum class SimdLevel : int {
    Plain = 0,
    Sse2 = 1,
    Ssse3 = 2,
    Sse41 = 3,
    Avx2 = 4,
};

// The highest level this processor and system run.
SimdLevel DetectSimdLevel();
// DetectSimdLevel lowered by LUMARIX_SIMD; computed once.
SimdLevel ChosenSimdLevel();
// "plain", "sse2", ...
const char* SimdLevelName(SimdLevel level);
