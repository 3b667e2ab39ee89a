// State of one BlitPixels call after its arguments are resolved, shared by images/blit_*.cpp.
// Every option is decided here once; the loops only read it.
#pragma once

#include <cstddef>
#include <cstdint>

struct BlitCall {
    // Destination: the first drawn pixel of the first drawn row, the step from one drawn row's
    // first pixel to the next (negative for bottom-up buffers), cols x rows drawn pixels.
    uint8_t* dst = nullptr;
    ptrdiff_t dstRowStep = 0;
    int32_t dstBpp = 0;
    int dstBytes = 0;
    int32_t cols = 0;
    int32_t rows = 0;

    // Source: null for a solid colour, which loops read as fillPixel and never advance.
    const uint8_t* src = nullptr;
    int32_t srcWidth = 0;
    int32_t srcHeight = 0;
    int32_t srcBpp = 0;
    int srcBytes = 0;
    const uint32_t* palette = nullptr;
    uint32_t fillPixel = 0;

    // Sampling. Unscaled: the first drawn source pixel and the step between source rows.
    // Scaled: 16.16 steps and the positions of the first drawn pixel; 64 bits, so sides up to
    // 65535 (and more) never wrap.
    bool scaled = false;
    bool bilinear = false;
    const uint8_t* srcFirst = nullptr;
    ptrdiff_t srcRowStep = 0;
    uint64_t xstep = 0;
    uint64_t ystep = 0;
    uint64_t xstart = 0;
    uint64_t ystart = 0;

    // Options.
    uint32_t ops = 0;           // operation bits (kBlitOperationMask)
    uint32_t writeMask = 0;     // 32-bit destinations; 0 = none
    bool colourKey = false;     // skip black source pixels
    bool invert = false;
    bool signedSaturation = false;
    bool sourceAlpha = false;
    bool keepFourth = false;
    bool opaqueFourth = false;  // BlitOpaqueFourthByte
    bool repeat = false;        // BlitRepeatLastPixel, with room right of the row
    bool lanes = false;         // the source becomes four 16-bit lanes (else a colour value)
    bool readDest = false;
    bool blend = false;
    uint16_t weight[4] = {};    // blue, green, red, fourth lane; 1/256 units
};

// How a 32-bit destination pixel is stored, in order of precedence: keep its fourth byte,
// merge through the write mask, opaque fourth byte (black stays 0), or the whole value.
enum class Store32Rule { Plain, KeepFourth, Masked, Opaque };

inline Store32Rule StoreRuleOf(const BlitCall& c) {
    if (c.keepFourth)
        return Store32Rule::KeepFourth;
    if (c.writeMask)
        return Store32Rule::Masked;
    return c.opaqueFourth ? Store32Rule::Opaque : Store32Rule::Plain;
}

// Stores v once more as the pixel at p right of a row: 15/16-bit as its word, 24-bit three
// bytes, 32-bit with the keep-fourth-byte or opaque rule, never masked.
void StoreRepeatPixel(const BlitCall& c, uint8_t* p, uint32_t v);

// The portable row pipeline: draws the whole call. The reference for every other loop.
void BlitRowsPortable(const BlitCall& call);

// An SSE2 loop that draws the whole call exactly like BlitRowsPortable; false (nothing drawn)
// when the call's options have none, or on builds without SSE2.
bool BlitRowsSse2(const BlitCall& call);
