// Coverage feedback without a runtime: the compiler calls __sanitizer_cov_trace_pc at every edge
// of the instrumented readers; we hash the caller's address with the previous one into a map of
// hit counts. This file itself is compiled without instrumentation.
#include "fuzz_engine.h"

namespace {
// One trail for the process: the readers run on the fuzzing thread, and a race with a worker
// thread only blurs an edge (thread_local would cost a call per edge here).
uintptr_t t_previous = 0;
}  // namespace

uint8_t g_coverageMap[kCoverageMapSize];

extern "C" void __sanitizer_cov_trace_pc() {
    const uintptr_t here = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
    const uintptr_t edge = (here ^ t_previous) * 0x9E3779B97F4A7C15ULL;
    uint8_t& count = g_coverageMap[(edge >> 40) & (kCoverageMapSize - 1)];
    if (count != 0xFF)
        ++count;
    t_previous = here >> 1;
}

void ResetCoverageTrail() { t_previous = 0; }
