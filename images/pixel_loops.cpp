// Choice between the portable pixel loops and the SSE2 ones (see images/pixel_format.h).
#include "images/pixel_format.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

PixelLoopPath BestPath() {
#if defined(__x86_64__)
    return PixelLoopPath::Sse2;
#else
    return PixelLoopPath::Portable;
#endif
}

PixelLoopPath InitialPath() {
    const char* simd = std::getenv("LUMARIX_SIMD");
    if (simd && std::strcmp(simd, "plain") == 0)
        return PixelLoopPath::Portable;
    return BestPath();
}

std::atomic<int> g_path{static_cast<int>(InitialPath())};

}  // namespace

PixelLoopPath DefaultPixelLoopPath() {
    return InitialPath();
}

PixelLoopPath SetPixelLoopPath(PixelLoopPath path) {
    if (path == PixelLoopPath::Sse2 && BestPath() != PixelLoopPath::Sse2)
        path = PixelLoopPath::Portable;
    g_path.store(static_cast<int>(path));
    return path;
}

PixelLoopPath GetPixelLoopPath() {
    return static_cast<PixelLoopPath>(g_path.load(std::memory_order_relaxed));
}
