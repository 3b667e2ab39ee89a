// Helpers of the pixel loop tests: running a call on each loop path the machine has.
#pragma once

#include <vector>

#include "images/pixel_format.h"

namespace pixel_test {

// Every path this build can run, the portable one first.
inline std::vector<PixelLoopPath> AvailablePaths() {
    std::vector<PixelLoopPath> paths = {PixelLoopPath::Portable};
    if (SetPixelLoopPath(PixelLoopPath::Sse2) == PixelLoopPath::Sse2)
        paths.push_back(PixelLoopPath::Sse2);
    SetPixelLoopPath(DefaultPixelLoopPath());
    return paths;
}

inline const char* PathName(PixelLoopPath path) {
    return path == PixelLoopPath::Sse2 ? "sse2" : "portable";
}

// Selects a path for the scope of a test and restores the default afterwards.
class ScopedPath {
public:
    explicit ScopedPath(PixelLoopPath path) { SetPixelLoopPath(path); }
    ~ScopedPath() { SetPixelLoopPath(DefaultPixelLoopPath()); }
    ScopedPath(const ScopedPath&) = delete;
    ScopedPath& operator=(const ScopedPath&) = delete;
};

}  // namespace pixel_test
