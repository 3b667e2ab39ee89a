#include "core/clock.h"

#include <windows.h>

#include <atomic>
#include <ctime>

namespace {

struct PerformanceClock {
    LARGE_INTEGER frequency;
    LARGE_INTEGER start;
    PerformanceClock() {
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        if (frequency.QuadPart <= 0)
            frequency.QuadPart = 1;
    }
};

const PerformanceClock& Clock() {
    static const PerformanceClock clock;
    return clock;
}

// Starts the clock while the program loads rather than at the first question.
const PerformanceClock& g_clockAtLoad = Clock();

std::atomic<uint32_t> g_randomState{0};

}  // namespace

float GetTimeSeconds() {
    const PerformanceClock& clock = Clock();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    double ticks = static_cast<double>(now.QuadPart - clock.start.QuadPart);
    return static_cast<float>(ticks / static_cast<double>(clock.frequency.QuadPart));
}

int Random15() {
    uint32_t state = g_randomState.load(std::memory_order_relaxed);
    uint32_t next;
    do {
        uint32_t seed = state ? state : static_cast<uint32_t>(std::time(nullptr));
        next = seed * kRandomMultiplier;
    } while (!g_randomState.compare_exchange_weak(state, next, std::memory_order_relaxed));
    return static_cast<int>((next >> 16) & 0x7FFF);
}

int RandomBelow(int n) {
    int r = Random15();
    if (r == kRandom15Max)
        r--;
    // 64-bit product: n x 32766 overflows 32 bits for large n.
    return static_cast<int>(static_cast<int64_t>(n) * r / kRandom15Max);
}

void SetRandomState(uint32_t state) {
    g_randomState.store(state, std::memory_order_relaxed);
}
