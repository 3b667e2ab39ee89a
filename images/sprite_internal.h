// Shared by the sprite_*.cpp files only: SIMD variants of the image's own pixel loops.
#pragma once

#include <cstdint>

// DownscaleHalf of 32-bit pixels with SSE2: exactly the portable loop's bytes. False (nothing
// written) on builds without the variant or for a width that is not a multiple of 4; the caller
// then runs the portable loop.
bool DownscaleHalf32Sse2(uint8_t* destination, int width, int height, const uint8_t* source,
                         int sourceStride);
