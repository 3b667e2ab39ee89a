// Reading and writing single pixels of the formats of images/pixel_format.h, for the loops of
// images/pixel_*.cpp and images/blit_*.cpp only. Template arguments are bits per pixel, so each
// loop is compiled for its format pair and tests no format per pixel.
#pragma once

#include <cstdint>
#include <cstring>

#include "images/pixel_format.h"

namespace pixel_access {

inline uint16_t Load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

inline uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline void Store16(uint8_t* p, uint16_t v) {
    std::memcpy(p, &v, 2);
}

inline void Store32(uint8_t* p, uint32_t v) {
    std::memcpy(p, &v, 4);
}

inline uint32_t Load24(const uint8_t* p) {
    return p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
}

inline void Store24(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
}

// One pixel as the colour value: 8 bits the whole palette entry, 15 and 16 bits expanded with a
// zero fourth byte, 24 bits with a zero fourth byte (no byte past the pixel is read), 32 bits
// all four bytes.
template <int Bpp>
inline uint32_t ReadValue(const uint8_t* p, const uint32_t* palette) {
    static_assert(Bpp == 8 || Bpp == 15 || Bpp == 16 || Bpp == 24 || Bpp == 32, "depth");
    if constexpr (Bpp == 8)
        return palette[*p];
    else if constexpr (Bpp == 15)
        return Expand555(Load16(p));
    else if constexpr (Bpp == 16)
        return Expand565(Load16(p));
    else if constexpr (Bpp == 24)
        return Load24(p);
    else
        return Load32(p);
}

// Stores the value as a pixel of the depth: 15 and 16 bits reduced, 24 bits three bytes,
// 32 bits all four bytes unchanged.
template <int Bpp>
inline void WriteValue(uint8_t* p, uint32_t v) {
    static_assert(Bpp == 15 || Bpp == 16 || Bpp == 24 || Bpp == 32, "depth");
    if constexpr (Bpp == 15)
        Store16(p, Reduce555(v));
    else if constexpr (Bpp == 16)
        Store16(p, Reduce565(v));
    else if constexpr (Bpp == 24)
        Store24(p, v);
    else
        Store32(p, v);
}

// The 32-bit pixel of an opaque colour: 0 for black, otherwise 0xFF in the fourth byte.
inline uint32_t OpaqueOrBlack(uint32_t v) {
    uint32_t rgb = v & 0x00FFFFFFu;
    return rgb ? rgb | 0xFF000000u : 0u;
}

// Row of a depth in tables of loops indexed 8, 15, 16, 24, 32; -1 outside the five.
inline int DepthIndex(int32_t bpp) {
    switch (bpp) {
    case 8: return 0;
    case 15: return 1;
    case 16: return 2;
    case 24: return 3;
    case 32: return 4;
    default: return -1;
    }
}

}  // namespace pixel_access
