#pragma once
// The transformed vertex of the software rasteriser: one per mesh vertex, in the device's
// transformed-vertex buffer.
#include <cstdint>

struct ScreenVertex {
    float x;      // clip-space x (world position x world-to-screen matrix)
    float y;      // clip-space y
    float depth;  // clip-space z + near (the view distance); after projection 1 / depth
    float w;      // clip-space w
    float u, v;   // texture coordinates; after projection u / depth and v / depth
    uint16_t diffuse[4];   // blue, green, red, alpha, each 8-bit channel x 256
    uint16_t specular[4];  // the same; the alpha lane holds the fog amount 0..32767
    float sx, sy;          // screen position x / w, y / w in pixels
    uint16_t outcode;      // RasterOutcode bits
    uint16_t unused;
};
static_assert(sizeof(ScreenVertex) == 52, "transformed vertices are 13 words");

// Outcode bits (plane i of the frustum sets 0x20 >> i) and the used flag.
enum RasterOutcode : uint16_t {
    kOutcodePlanes = 0x3F,
    kOutcodeUsed = 0x40,
};

constexpr uint16_t kFogAmountMax = 32767;
