// Line drawing into a pixel buffer.
#include "images/line_pixels.h"

DrawLinePixelsFn g_drawLinePixels = &DrawLinePixels;

void DrawLinePixels(uint8_t*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                    float*, float*, uint32_t, int32_t, int32_t, uint16_t*, const uint16_t*, int32_t,
                    int32_t) {
    // Not built yet: does nothing (no line reaches the pixels).
}
