// Line drawing into a pixel buffer: two end points (x, y, z floats), a pen of width 1 to 3, a
// colour with opacity, an optional 16-bit depth test and an optional accumulation mode.
#pragma once

#include <cstdint>

// Draws one line into destination (stride bytes per row; bottomUpRows = the row count of a
// bottom-up buffer, or 0 for top-down) at depth bitsPerPixel, clipped to the inclusive
// rectangle. The end records a and b are (x, y, z) and are overwritten. colour is 0x00RRGGBB;
// opacity in percent; accumulationShift 0 draws into the destination, 1 or 2 adds into the
// accumulation buffer; depth (none: no test) is read with its own stride in bytes; pen width
// 1, 2 or 3 (larger counts as 3).
void DrawLinePixels(uint8_t* destination, int32_t stride, int32_t bottomUpRows,
                    int32_t bitsPerPixel, int32_t clipLeft, int32_t clipTop, int32_t clipRight,
                    int32_t clipBottom, float* a, float* b, uint32_t colour, int32_t opacity,
                    int32_t accumulationShift, uint16_t* accumulation, const uint16_t* depth,
                    int32_t depthStride, int32_t penWidth);

using DrawLinePixelsFn = decltype(&DrawLinePixels);

// The line routine every line operation of the render device calls; DrawLinePixels unless a
// test puts a recorder in.
extern DrawLinePixelsFn g_drawLinePixels;
