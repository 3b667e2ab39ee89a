// Pixel formats and the conventions every pixel loop shares (conversion, the blitter, line
// drawing, motion detection): how a pixel of each depth becomes the 32-bit colour value
// 0x00RRGGBB and back, and how an opacity in percent becomes a blend weight.
//
// Formats: 32 bits are the bytes B, G, R and a fourth byte; 24 bits the bytes B, G, R; 16 bits
// R5 G6 B5 in one little-endian word (red in bits 11-15); 15 bits X1 R5 G5 B5 (red in bits
// 10-14, bit 15 carries no colour); 8 bits an index into 256 palette entries of B, G, R and a
// reserved byte. Expansion to 8-bit channels shifts left and leaves the low bits zero; reduction
// truncates. Nothing replicates high bits into low bits and nothing rounds.
#pragma once

#include <cstdint>

// Bits per pixel of the five formats.
enum PixelDepth : int32_t {
    PixelDepth8 = 8,
    PixelDepth15 = 15,
    PixelDepth16 = 16,
    PixelDepth24 = 24,
    PixelDepth32 = 32,
};

// Bytes one pixel of the depth takes: (bpp + 1) >> 3 for 15 bits, bpp >> 3 otherwise; 0 for a
// depth outside the five.
constexpr int PixelBytes(int32_t bpp) {
    return bpp == 8 ? 1 : bpp == 15 || bpp == 16 ? 2 : bpp == 24 ? 3 : bpp == 32 ? 4 : 0;
}

// 16-bit R5 G6 B5 word to 0x00RRGGBB with zero low bits.
constexpr uint32_t Expand565(uint32_t word) {
    return ((word & 0xF800u) << 8) | ((word & 0x07E0u) << 5) | ((word & 0x001Fu) << 3);
}

// 15-bit X1 R5 G5 B5 word to 0x00RRGGBB with zero low bits; bit 15 is ignored.
constexpr uint32_t Expand555(uint32_t word) {
    return ((word & 0x7C00u) << 9) | ((word & 0x03E0u) << 6) | ((word & 0x001Fu) << 3);
}

// 0x00RRGGBB (bits 24-31 ignored) to R5 G6 B5 by truncation.
constexpr uint16_t Reduce565(uint32_t value) {
    return static_cast<uint16_t>(((value >> 8) & 0xF800u) | ((value >> 5) & 0x07E0u) |
                                 ((value >> 3) & 0x001Fu));
}

// 0x00RRGGBB (bits 24-31 ignored) to X1 R5 G5 B5 by truncation; bit 15 is always 0.
constexpr uint16_t Reduce555(uint32_t value) {
    return static_cast<uint16_t>(((value >> 9) & 0x7C00u) | ((value >> 6) & 0x03E0u) |
                                 ((value >> 3) & 0x001Fu));
}

// Blend weight in 1/256 of an opacity in percent: (656 x p) >> 8, so 100 gives 256, 50 gives
// 128 and 1 gives 2.
constexpr uint32_t OpacityWeight(uint32_t percent) {
    return (656u * percent) >> 8;
}

// Which implementation the pixel loops use. Both give the same pixels to the bit; the portable
// one is the reference and the only one on 32-bit builds.
enum class PixelLoopPath {
    Portable,
    Sse2,  // x86_64 only
};

// The fastest path this build has on this processor (ChosenSimdLevel, so LUMARIX_SIMD=plain
// selects the portable one).
PixelLoopPath DefaultPixelLoopPath();
// The path the next calls use (tests switch it to compare both). Asking for a path this build
// lacks selects the portable one; answers the path now in use.
PixelLoopPath SetPixelLoopPath(PixelLoopPath path);
PixelLoopPath GetPixelLoopPath();
