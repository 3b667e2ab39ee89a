// BlitPixels: resolves the arguments once (clip, steps, weights, which steps the loops need),
// runs the fixed copy and fill loops itself and hands every other call to the row loops.
#include "images/blit.h"

#include <algorithm>
#include <cstring>

#include "images/blit_internal.h"
#include "images/pixel_access.h"
#include "images/pixel_format.h"

using namespace pixel_access;

namespace {

// Bits that select nothing in the loops: 0x4 has no effect, and the source alpha, keep-fourth
// and upper bits are read before the mode goes to the loops.
constexpr uint32_t kModeBitsDropped = 0x4 | BlitIgnoreAlpha | BlitKeepFourthByte | 0x00F00000;
constexpr int32_t kFullOpacity = 100;

void CopyRows(const BlitCall& c) {
    size_t bytes = static_cast<size_t>(c.cols) * c.dstBytes;
    uint8_t* d = c.dst;
    const uint8_t* s = c.srcFirst;
    for (int32_t r = 0; r < c.rows; r++, d += c.dstRowStep, s += c.srcRowStep)
        std::memcpy(d, s, bytes);
}

// Rows of one colour: the row is written in blocks of a 96-byte pattern (whole pixels of every
// depth, 15/16-bit pixels two per 4 bytes), so the stores are wide moves on every target.
void FillRows(const BlitCall& c, uint32_t colour) {
    constexpr size_t kPatternBytes = 96;
    uint8_t pattern[kPatternBytes];
    uint16_t word = c.dstBpp == 15 ? Reduce555(colour) : Reduce565(colour);
    for (size_t i = 0; i < kPatternBytes; i += size_t(c.dstBytes)) {
        if (c.dstBytes == 4)
            Store32(pattern + i, colour);
        else if (c.dstBytes == 3)
            Store24(pattern + i, colour);
        else
            Store16(pattern + i, word);
    }
    size_t bytes = size_t(c.cols) * c.dstBytes;
    uint8_t* d = c.dst;
    for (int32_t r = 0; r < c.rows; r++, d += c.dstRowStep) {
        size_t done = 0;
        for (; done + kPatternBytes <= bytes; done += kPatternBytes)
            std::memcpy(d + done, pattern, kPatternBytes);
        std::memcpy(d + done, pattern, bytes - done);
    }
}

bool ValidSourceDepth(int32_t bpp) {
    return DepthIndex(bpp) >= 0;
}

bool ValidDestinationDepth(int32_t bpp) {
    return bpp == 15 || bpp == 16 || bpp == 24 || bpp == 32;
}

}  // namespace

void BlitPixels(uint8_t* destination, int32_t destinationStride, int32_t bottomUpRows,
                int32_t destinationBpp, int32_t width, int32_t height, int32_t clipLeft,
                int32_t clipTop, int32_t clipRight, int32_t clipBottom, int32_t x, int32_t y,
                const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight,
                int32_t sourceBpp, const uint32_t* palette, uint32_t opacityAndMask,
                uint32_t mode, uint32_t colour, uint8_t sourceAlpha) {
    // Every way out before the first division: nothing to draw into, nothing to draw, or
    // depths the loops do not know.
    int32_t percent = std::min<int32_t>(opacityAndMask & 0xFF, kFullOpacity);
    if (!destination || percent == 0 || !ValidDestinationDepth(destinationBpp))
        return;
    if (source) {
        if (!ValidSourceDepth(sourceBpp) || (sourceBpp == 8 && !palette) || sourceWidth < 1 ||
            sourceHeight < 1)
            return;
    }
    if (width == 0)
        width = sourceWidth;
    if (height == 0)
        height = sourceHeight;
    if (width < 1 || height < 1)
        return;

    BlitCall c;
    c.dstBpp = destinationBpp;
    c.dstBytes = PixelBytes(destinationBpp);
    bool bilinear = source && (mode & BlitBilinear);
    c.scaled = source && (width != sourceWidth || height != sourceHeight || bilinear);
    c.bilinear = bilinear;
    c.sourceAlpha = source && sourceAlpha && sourceBpp == 32 && !(mode & BlitIgnoreAlpha);
    c.keepFourth = (mode & BlitKeepFourthByte) != 0;
    mode &= ~kModeBitsDropped;
    c.writeMask = (opacityAndMask >> 8) & 0xFFFFFF;

    // Clip, in 64 bits so that no sum of positions and sizes wraps.
    int64_t right = std::max(clipRight, clipLeft), bottom = std::max(clipBottom, clipTop);
    int64_t x0 = std::max(x, clipLeft), y0 = std::max(y, clipTop);
    int64_t x1 = std::min<int64_t>(int64_t(x) + width - 1, right);
    int64_t y1 = std::min<int64_t>(int64_t(y) + height - 1, bottom);
    if (x0 > x1 || y0 > y1)
        return;
    int64_t dx0 = x0 - x, dy0 = y0 - y;
    c.cols = int32_t(x1 - x0 + 1);
    c.rows = int32_t(y1 - y0 + 1);

    // Destination rows, bottom-up buffers counting rows from the end.
    ptrdiff_t stride = destinationStride;
    ptrdiff_t firstRow = bottomUpRows ? (ptrdiff_t(bottomUpRows) - 1 - ptrdiff_t(y0)) : y0;
    c.dst = destination + firstRow * stride + ptrdiff_t(x0) * c.dstBytes;
    c.dstRowStep = bottomUpRows ? -stride : stride;
    ptrdiff_t rowSkip = c.dstRowStep - ptrdiff_t(c.cols) * c.dstBytes;
    // The repeated pixel must stay inside the destination row: never the next row's first pixel
    // or a byte past the buffer.
    c.repeat = (mode & BlitRepeatLastPixel) && rowSkip != 0 && stride > 0 &&
               x1 + 1 < stride / c.dstBytes;

    // Source.
    if (source) {
        c.src = source;
        c.srcWidth = sourceWidth;
        c.srcHeight = sourceHeight;
        c.srcBpp = sourceBpp;
        c.srcBytes = PixelBytes(sourceBpp);
        c.palette = palette;
        c.srcRowStep = ptrdiff_t(sourceWidth) * c.srcBytes;
        if (c.scaled) {
            uint64_t b = bilinear ? 1 : 0;
            c.xstep = ((uint64_t(sourceWidth) - b) << 16) / uint64_t(width);
            c.ystep = ((uint64_t(sourceHeight) - b) << 16) / uint64_t(height);
            c.xstart = c.xstep * uint64_t(dx0);
            c.ystart = c.ystep * uint64_t(dy0);
        } else {
            c.srcFirst = source + (ptrdiff_t(dy0) * sourceWidth + ptrdiff_t(dx0)) * c.srcBytes;
        }
    }

    bool colourNone = !source || (colour & 0xFFFFFF) == kBlitColourNone;
    bool opaque = percent >= kFullOpacity;
    if (opaque && c.writeMask == 0 && mode == 0 && !c.sourceAlpha) {
        if (source && colourNone && !c.scaled && sourceBpp == destinationBpp) {
            CopyRows(c);
            return;
        }
        if (!source) {
            FillRows(c, colour);
            return;
        }
    }

    // Loops: a solid colour becomes one opaque 32-bit source pixel.
    c.fillPixel = colour | 0xFF000000u;
    c.ops = mode & kBlitOperationMask;
    c.colourKey = (mode & BlitColourKey) && !c.sourceAlpha;
    c.invert = (mode & BlitInvert) != 0;
    c.signedSaturation = (mode & BlitSignedSaturation) != 0;
    c.opaqueFourth = (mode & BlitOpaqueFourthByte) != 0;
    c.lanes = !(opaque && colourNone && !c.sourceAlpha && !c.ops && !c.invert && !bilinear);
    c.readDest = c.sourceAlpha || c.ops || !colourNone || !opaque;
    c.blend = c.sourceAlpha || !colourNone || !opaque;
    uint32_t w = OpacityWeight(uint32_t(percent));
    for (int lane = 0; lane < 4; lane++) {
        uint32_t channel = (colour >> (8 * lane)) & 0xFF;
        if (colourNone)
            c.weight[lane] = uint16_t(w);
        else
            c.weight[lane] = uint16_t(lane < 3 ? ((w * channel) >> 8) + 1 : (w * channel) >> 8);
    }

    if (GetPixelLoopPath() == PixelLoopPath::Sse2 && BlitRowsSse2(c))
        return;
    BlitRowsPortable(c);
}
