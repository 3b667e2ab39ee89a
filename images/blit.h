// The blitter: draws a source pixel rectangle, or a solid colour, into a destination pixel
// buffer, positioned, clipped, optionally scaled (nearest or bilinear), with opacity, per-channel
// colour weights, source alpha, a black colour key, raster and blend operations and several ways
// of treating a 32-bit destination's fourth byte. Pixel formats and the opacity weight are those
// of images/pixel_format.h.
//
// Files: blit_setup.cpp (argument resolution, the fixed copy and fill loops, loop choice),
// blit_rows.cpp (the portable row pipeline, the reference for every other path),
// blit_sse2.cpp (x86_64 loops for the common cases, chosen once per call).
#pragma once

#include <cstdint>

// Argument 19 of BlitPixels.
enum BlitMode : uint32_t {
    BlitSignedSaturation = 0x1,   // lanes pack with signed saturation (above 127 becomes 127)
    BlitColourKey = 0x2,          // black source pixels are skipped (not with source alpha)
    BlitInvert = 0x8,             // source colour becomes 255 - c, its fourth lane 0
    BlitIgnoreAlpha = 0x10,       // the source's fourth byte is not alpha
    BlitKeepFourthByte = 0x20,    // 32-bit destinations keep their fourth byte
    BlitOpaqueFourthByte = 0x40,  // 32-bit destinations get 0xFF there, black pixels become 0
    BlitRepeatLastPixel = 0x80,   // each row's last stored pixel is stored once more to its right
    BlitSubtract = 0x100,         // max(dst - src, 0)
    BlitAdd = 0x200,              // min(dst + src, 255)
    BlitMultiply = 0x400,         // (dst x src) >> 8
    BlitAnd = 0x800,              // dst AND src
    BlitAndNot = 0x1000,          // (NOT dst) AND src
    BlitOr = 0x2000,              // dst OR src
    BlitXor = 0x4000,             // dst XOR src
    BlitDifference = 0x8000,      // dst - src + 128 per byte, wrapping
    BlitSignedAdd = 0x10000,      // dst + src - 128 per byte, wrapping
    BlitLighten = 0x20000,        // max(dst, src)
    BlitDarken = 0x40000,         // min(dst, src)
    BlitBilinear = 0x80000,       // bilinear filtering; always takes the scaled path
};

// All operation bits; BlitDifference and BlitSignedAdd work on bytes, the rest on lanes.
constexpr uint32_t kBlitOperationMask = 0x7FF00;
constexpr uint32_t kBlitByteOperations = BlitDifference | BlitSignedAdd;
// Argument 20 meaning "no colour weights".
constexpr uint32_t kBlitColourNone = 0x00FFFFFF;

// Argument 18: opacity in percent in the low byte, write mask in the upper 24 bits.
constexpr uint32_t BlitOpacityAndMask(uint32_t percent, uint32_t writeMask) {
    return (percent & 0xFF) | ((writeMask & 0xFFFFFF) << 8);
}

// Draws into destination (stride bytes per row; bottomUpRows = the buffer's row count H of a
// bottom-up buffer, whose row y lies at (H - 1 - y) x stride, or 0 for top-down) at depth
// destinationBpp (15, 16, 24 or 32) the rectangle of width x height pixels (0 = the source's)
// whose top left corner is (x, y), clipped to the inclusive rectangle clipLeft..clipRight,
// clipTop..clipBottom (a right or bottom edge below the left or top edge is raised to it). The
// clip is the caller's promise that every drawn pixel lies inside the buffer.
//
// source holds sourceWidth x sourceHeight pixels of sourceBpp (8 with palette, 15, 16, 24, 32),
// rows packed without padding; null draws the solid colour instead. The call is scaled when the
// drawn size differs from the source's or BlitBilinear is set: destination column i reads source
// column (xstep x i) >> 16 with xstep = ((sourceWidth - b) << 16) / width, b = 1 under bilinear
// filtering, and likewise for rows.
//
// opacityAndMask: see BlitOpacityAndMask (opacity 0 draws nothing, 100 or more is opaque; the
// mask selects the bits of a 32-bit destination pixel that are written, 0 = all). mode: BlitMode
// bits. colour: per-channel weights 0x00RRGGBB (kBlitColourNone for none), or the fill colour
// when source is null. sourceAlpha: the source's fourth byte is alpha (32-bit sources only,
// unless BlitIgnoreAlpha).
//
// Plain copies and fills are block moves; everything else runs loops chosen once per call for
// its options. Choices of this implementation where no caller depends on one answer:
//   - the plain 32-bit store keeps the computed fourth lane (a blend's fourth lane, the palette
//     entry's reserved byte; 0 for 15, 16 and 24-bit sources, 0xFF for a solid colour);
//   - the colour key of an 8-bit source tests the palette colour;
//   - lanes are packed (with the call's saturation) before the first byte operation;
//   - an opacity above 100 counts as 100; a solid colour never uses source alpha;
//   - source alpha is the source pixel's own fourth byte, also when BlitInvert clears the lane;
//   - BlitRepeatLastPixel repeats the last pixel stored in the row (none when the key skipped
//     all) and only when the pixel right of the row lies inside the destination row.
// Nothing is drawn for a missing destination or source palette, opacity 0, an empty clip, a
// source or drawn size below 1, or depths outside the contract.
void BlitPixels(uint8_t* destination, int32_t destinationStride, int32_t bottomUpRows,
                int32_t destinationBpp, int32_t width, int32_t height, int32_t clipLeft,
                int32_t clipTop, int32_t clipRight, int32_t clipBottom, int32_t x, int32_t y,
                const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight,
                int32_t sourceBpp, const uint32_t* palette, uint32_t opacityAndMask,
                uint32_t mode, uint32_t colour, uint8_t sourceAlpha);
