#include "render/span_cpu.h"

#include <cpuid.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr unsigned kCpuidSse2 = 1u << 26;    // edx of leaf 1
constexpr unsigned kCpuidSsse3 = 1u << 9;    // ecx of leaf 1
constexpr unsigned kCpuidSse41 = 1u << 19;   // ecx of leaf 1
constexpr unsigned kCpuidOsxsave = 1u << 27; // ecx of leaf 1
constexpr unsigned kCpuidAvx = 1u << 28;     // ecx of leaf 1
constexpr unsigned kCpuidAvx2 = 1u << 5;     // ebx of leaf 7
constexpr unsigned kXcrSseAndAvxState = 0x6; // XMM and YMM state saved by the system

const char* const kLevelNames[] = {"plain", "sse2", "ssse3", "sse41", "avx2"};

unsigned long long ReadXcr0() {
    unsigned lo, hi;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return (static_cast<unsigned long long>(hi) << 32) | lo;
}

}  // namespace

SimdLevel DetectSimdLevel() {
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(d & kCpuidSse2))
        return SimdLevel::Plain;
    SimdLevel level = SimdLevel::Sse2;
    if (!(c & kCpuidSsse3))
        return level;
    level = SimdLevel::Ssse3;
    if (!(c & kCpuidSse41))
        return level;
    level = SimdLevel::Sse41;
    bool osAvx = (c & kCpuidOsxsave) && (c & kCpuidAvx) &&
                 (ReadXcr0() & kXcrSseAndAvxState) == kXcrSseAndAvxState;
    unsigned a7, b7, c7, d7;
    if (osAvx && __get_cpuid_count(7, 0, &a7, &b7, &c7, &d7) && (b7 & kCpuidAvx2))
        level = SimdLevel::Avx2;
    return level;
}

SimdLevel ChosenSimdLevel() {
    static const SimdLevel chosen = [] {
        SimdLevel level = DetectSimdLevel();
        const char* wanted = std::getenv("LUMARIX_SIMD");
        if (wanted) {
            for (int i = 0; i <= static_cast<int>(SimdLevel::Avx2); ++i) {
                if (std::strcmp(wanted, kLevelNames[i]) == 0 && i < static_cast<int>(level))
                    level = static_cast<SimdLevel>(i);
            }
        }
        return level;
    }();
    return chosen;
}

const char* SimdLevelName(SimdLevel level) {
    int i = static_cast<int>(level);
    return (i >= 0 && i <= static_cast<int>(SimdLevel::Avx2)) ? kLevelNames[i] : "?";
}
