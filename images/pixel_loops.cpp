// Choice between the portable pixel loops and the SSE2 ones (see images/pixel_format.h).
#include "images/pixel_format.h"

#include <atomic>

#include "render/span_cpu.h"

namespace {

// The SSE2 loops are built for x86_64 only, where every processor has SSE2; the processor
// level (lowered by LUMARIX_SIMD=plain) still decides.
PixelLoopPath BestPath() {
#if defined(__x86_64__)
    return ChosenSimdLevel() >= SimdLevel::Sse2 ? PixelLoopPath::Sse2 : PixelLoopPath::Portable;
#else
    return PixelLoopPath::Portable;
#endif
}

std::atomic<int> g_path{-1};  // -1: not chosen yet

}  // namespace

PixelLoopPath DefaultPixelLoopPath() {
    return BestPath();
}

PixelLoopPath SetPixelLoopPath(PixelLoopPath path) {
    if (path == PixelLoopPath::Sse2 && BestPath() != PixelLoopPath::Sse2)
        path = PixelLoopPath::Portable;
    g_path.store(static_cast<int>(path));
    return path;
}

PixelLoopPath GetPixelLoopPath() {
    int path = g_path.load(std::memory_order_relaxed);
    if (path < 0) {
        path = static_cast<int>(BestPath());
        g_path.store(path, std::memory_order_relaxed);
    }
    return static_cast<PixelLoopPath>(path);
}
