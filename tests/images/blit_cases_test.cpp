// Hand-computed results of the blitter: one pixel pair under each option, the fourth-byte
// rules, fills, sampling steps, clipping, bottom-up buffers and the fixed loops. Every table runs
// on each loop path the machine has.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "blit_test_support.h"
#include "images/blit.h"
#include "pixel_test_support.h"

using blit_test::Call;
using blit_test::Draw;
using blit_test::Image;
using pixel_test::AvailablePaths;
using pixel_test::PathName;
using pixel_test::ScopedPath;

namespace {

// Source and destination pixel of the one-pixel tables, as 0xAARRGGBB: blue 0x90, green 0x30,
// red 0xF0, fourth byte 0x40 over blue 0x60, green 0xA0, red 0x20, fourth byte 0x10.
constexpr uint32_t kSrc = 0x40F03090;
constexpr uint32_t kDst = 0x1020A060;

struct PairCase {
    const char* name;
    uint32_t opacity;
    uint32_t writeMask;
    uint32_t mode;
    uint32_t colour;
    uint8_t sourceAlpha;
    uint32_t expected;
};

void RunPairCases(const PairCase* cases, size_t count, uint32_t src, uint32_t dst) {
    for (PixelLoopPath path : AvailablePaths()) {
        ScopedPath use(path);
        for (size_t i = 0; i < count; i++) {
            const PairCase& pc = cases[i];
            SCOPED_TRACE(std::string(pc.name) + " / " + PathName(path));
            Image s(1, 1, 32), d(1, 1, 32);
            s.Set(0, 0, src);
            d.Set(0, 0, dst);
            Call c;
            c.opacity = pc.opacity;
            c.writeMask = pc.writeMask;
            c.mode = pc.mode;
            c.colour = pc.colour;
            c.sourceAlpha = pc.sourceAlpha;
            Draw(d, &s, c);
            EXPECT_EQ(d.Get(0, 0), pc.expected) << std::hex << d.Get(0, 0);
        }
    }
}

TEST(BlitPixels, TwelveOperationsOnOnePixelPair) {
    const PairCase cases[] = {
        {"invert (on the source, fourth lane 0)", 100, 0, BlitInvert, kBlitColourNone, 0,
         0x000FCF6F},
        {"and", 100, 0, BlitAnd, kBlitColourNone, 0, 0x00202000},
        {"and not", 100, 0, BlitAndNot, kBlitColourNone, 0, 0x40D01090},
        {"or", 100, 0, BlitOr, kBlitColourNone, 0, 0x50F0B0F0},
        {"xor", 100, 0, BlitXor, kBlitColourNone, 0, 0x50D090F0},
        {"subtract saturates at 0", 100, 0, BlitSubtract, kBlitColourNone, 0, 0x00007000},
        {"add saturates at 255", 100, 0, BlitAdd, kBlitColourNone, 0, 0x50FFD0F0},
        {"multiply", 100, 0, BlitMultiply, kBlitColourNone, 0, 0x041E1E36},
        {"difference wraps", 100, 0, BlitDifference, kBlitColourNone, 0, 0x50B0F050},
        {"signed add wraps", 100, 0, BlitSignedAdd, kBlitColourNone, 0, 0xD0905070},
        {"lighten", 100, 0, BlitLighten, kBlitColourNone, 0, 0x40F0A090},
        {"darken", 100, 0, BlitDarken, kBlitColourNone, 0, 0x10203060},
        // and first, then add: (dst & src) + src.
        {"operations apply in their fixed order", 100, 0, BlitAdd | BlitAnd, kBlitColourNone,
         0, 0x40FF5090},
        // or gives F0 B0 F0 50, packed with signed saturation to 7F 7F 7F 50 before the
        // difference; without the saturation the difference sees F0 B0 F0 50.
        {"lanes pack before the first byte operation", 100, 0,
         BlitOr | BlitDifference | BlitSignedSaturation, kBlitColourNone, 0, 0x900FCF6F},
        {"lane result then byte operation", 100, 0, BlitOr | BlitDifference, kBlitColourNone,
         0, 0x908000E0},
        {"a byte operation alone needs no packing", 100, 0,
         BlitDifference | BlitSignedSaturation, kBlitColourNone, 0, 0x50B0F050},
    };
    RunPairCases(cases, std::size(cases), kSrc, kDst);
}

TEST(BlitPixels, HandComputedBlends) {
    const PairCase cases[] = {
        {"opaque copy keeps every byte", 100, 0, 0, kBlitColourNone, 0, kSrc},
        {"opacity above 100 is opaque", 255, 0, 0, kBlitColourNone, 0, kSrc},
        {"opacity 0 draws nothing", 0, 0, BlitAdd, kBlitColourNone, 1, kDst},
        // w = 128: (s x 128 >> 8) + (d x 128 >> 8) per lane.
        {"opacity 50", 50, 0, 0, kBlitColourNone, 0, 0x28886878},
        // weights blue 1, green 129, red 256, fourth 0.
        {"tint 0x00FF8000", 100, 0, 0, 0x00FF8000, 0, 0x10F0675F},
        // W = (64 x 256) >> 8 = 64.
        {"source alpha", 100, 0, 0, kBlitColourNone, 1, 0x1C54846C},
        {"source alpha ignored", 100, 0, BlitIgnoreAlpha, kBlitColourNone, 1, kSrc},
        {"source alpha at opacity above 100", 180, 0, 0, kBlitColourNone, 1, 0x1C54846C},
        // add gives F0 D0 FF 50, blended at 128 with the destination.
        {"operation at opacity 50", 50, 0, BlitAdd, kBlitColourNone, 0, 0x308FB8A8},
        {"write mask on a plain copy", 100, 0x00FF00, 0, kBlitColourNone, 0, 0x10203060},
        {"write mask on a blend", 50, 0x00FF00, 0, kBlitColourNone, 0, 0x10206860},
        {"write mask never the fourth byte", 100, 0xFFFFFF, 0, kBlitColourNone, 0, 0x10F03090},
        {"signed saturation of a blend", 50, 0, BlitSignedSaturation, kBlitColourNone, 0,
         0x287F6878},
    };
    RunPairCases(cases, std::size(cases), kSrc, kDst);

    // Alpha 255 at opacity 50: W = (255 x 128) >> 8 = 127 in every lane.
    const PairCase full[] = {
        {"alpha 255 at opacity 50", 50, 0, 0, kBlitColourNone, 1, 0x7E00807E},
    };
    RunPairCases(full, std::size(full), 0xFF0000FF, 0x0000FF00);
}

TEST(BlitPixels, FourthByteRules) {
    const PairCase cases[] = {
        {"plain store keeps the blended fourth lane", 50, 0, 0, kBlitColourNone, 0, 0x28886878},
        {"keep fourth byte", 50, 0, BlitKeepFourthByte, kBlitColourNone, 0, 0x10886878},
        {"opaque fourth byte", 50, 0, BlitOpaqueFourthByte, kBlitColourNone, 0, 0xFF886878},
        {"keep fourth byte wins over the mask", 50, 0xFF, BlitKeepFourthByte, kBlitColourNone,
         0, 0x10886878},
        {"mask wins over opaque fourth byte", 100, 0xFF0000, BlitOpaqueFourthByte,
         kBlitColourNone, 0, 0x10F0A060},
        {"a colour-keyed copy is a plain read: fourth byte 0", 100, 0, BlitColourKey,
         kBlitColourNone, 0, 0x00F03090},
        {"opaque copy with keep fourth byte is still a block copy", 100, 0, BlitKeepFourthByte,
         kBlitColourNone, 0, kSrc},
    };
    RunPairCases(cases, std::size(cases), kSrc, kDst);

    const PairCase black[] = {
        {"opaque fourth byte of black is 0", 100, 0, BlitOpaqueFourthByte, kBlitColourNone, 0,
         0x00000000},
        {"colour key skips black", 100, 0, BlitColourKey, kBlitColourNone, 0, kDst},
        {"no colour key with source alpha", 100, 0, BlitColourKey, kBlitColourNone, 1,
         0x00000000 | ((0x10u * 0xFF) >> 8) << 24 | 0x00000000 | ((0x20u * 0xFF) >> 8) << 16 |
             ((0xA0u * 0xFF) >> 8) << 8 | ((0x60u * 0xFF) >> 8)},
    };
    RunPairCases(black, std::size(black), 0x01000000, kDst);

    // Other source depths into a 32-bit destination.
    uint32_t palette[256] = {0x00000000, 0x7F102030};
    struct DepthCase {
        const char* name;
        int32_t bpp;
        uint32_t pixel;
        uint32_t mode;
        uint32_t expected;
    };
    const DepthCase depths[] = {
        {"16-bit source: fourth byte 0", 16, 0xFFFF, BlitColourKey, 0x00F8FCF8},
        {"15-bit source: fourth byte 0", 15, 0x7FFF, BlitColourKey, 0x00F8F8F8},
        {"24-bit source: fourth byte 0", 24, 0x123456, BlitColourKey, 0x00123456},
        {"8-bit source keeps the palette's reserved byte", 8, 1, BlitColourKey, 0x7F102030},
        {"8-bit source keyed by its palette colour", 8, 0, BlitColourKey, kDst},
        {"8-bit source and the destination", 8, 1, BlitColourKey | BlitAnd, 0x10002020},
        {"16-bit word 0 keyed", 16, 0x0000, BlitColourKey, kDst},
        {"15-bit bit 15 alone is not black", 15, 0x8000, BlitColourKey, 0x00000000},
    };
    for (PixelLoopPath path : AvailablePaths()) {
        ScopedPath use(path);
        for (const DepthCase& dc : depths) {
            SCOPED_TRACE(std::string(dc.name) + " / " + PathName(path));
            Image s(1, 1, dc.bpp), d(1, 1, 32);
            s.Set(0, 0, dc.pixel);
            d.Set(0, 0, kDst);
            Call c;
            c.mode = dc.mode;
            c.palette = palette;
            Draw(d, &s, c);
            EXPECT_EQ(d.Get(0, 0), dc.expected) << std::hex << d.Get(0, 0);
        }
    }
}

TEST(BlitPixels, Fills) {
    struct FillCase {
        const char* name;
        int32_t bpp;
        uint32_t colour;
        uint32_t opacity;
        uint32_t mode;
        uint32_t expected;
    };
    const FillCase cases[] = {
        {"32-bit fill stores the colour unchanged", 32, 0x12345678, 100, 0, 0x12345678},
        {"24-bit fill stores three bytes", 24, 0x12345678, 100, 0, 0x345678},
        {"16-bit white", 16, 0x00FFFFFF, 100, 0, 0xFFFF},
        {"16-bit grey 0x808080", 16, 0x00808080, 100, 0, 0x8410},
        {"15-bit white", 15, 0x00FFFFFF, 100, 0, 0x7FFF},
        {"fill with opaque fourth byte", 32, 0x00123456, 100, BlitOpaqueFourthByte, 0xFF123456},
        {"black fill with opaque fourth byte", 32, 0, 100, BlitOpaqueFourthByte, 0},
        {"colour key with colour 0 draws nothing", 32, 0, 100, BlitColourKey, kDst},
        {"colour key with a colour draws it", 32, 0x0000FF, 100, BlitColourKey, 0x000000FF},
        // the fill pixel has fourth byte 0xFF; red at 50 over kDst.
        {"fill at opacity 50", 32, 0x00FF0000, 50, 0, 0x878F5030},
        {"fill ignores source alpha", 32, 0x00FF0000, 50, 0, 0x878F5030},
        // 0x5104 expands to red 80, green 32, blue 32: 127 + 40, 16, 16 reduce to 0xA082.
        {"fill at opacity 50 into 16 bits", 16, 0x00FF0000, 50, 0, 0xA082},
    };
    for (PixelLoopPath path : AvailablePaths()) {
        ScopedPath use(path);
        for (const FillCase& fc : cases) {
            SCOPED_TRACE(std::string(fc.name) + " / " + PathName(path));
            Image d(5, 3, fc.bpp);
            for (int32_t y = 0; y < 3; y++)
                for (int32_t x = 0; x < 5; x++)
                    d.Set(x, y, fc.bpp == 16 ? 0x5104 : kDst);
            Image before = d;
            Call c;
            c.width = 3;
            c.height = 2;
            c.x = 1;
            c.y = 1;
            c.colour = fc.colour;
            c.opacity = fc.opacity;
            c.mode = fc.mode;
            c.sourceAlpha = 1;
            Draw(d, nullptr, c);
            for (int32_t y = 0; y < 3; y++) {
                for (int32_t x = 0; x < 5; x++) {
                    bool inside = x >= 1 && x <= 3 && y >= 1;
                    EXPECT_EQ(d.Get(x, y), inside ? fc.expected : before.Get(x, y))
                        << "pixel " << x << "," << y;
                }
            }
        }
    }
}

// A ten-pixel 32-bit source row: blue 0, 100, 200, 50, 250, then 0; fourth byte 0x80.
Image GradientRow() {
    Image s(10, 1, 32, 0);
    const uint32_t blue[10] = {0, 100, 200, 50, 250, 0, 0, 0, 0, 0};
    for (int32_t x = 0; x < 10; x++)
        s.Set(x, 0, blue[x] | 0x80010200);
    return s;
}

TEST(BlitPixels, NearestAndBilinearSteps) {
    for (PixelLoopPath path : AvailablePaths()) {
        ScopedPath use(path);
        SCOPED_TRACE(PathName(path));
        Image s = GradientRow();
        // Nearest: every source pixel twice; the fourth byte of a scaled plain read is 0.
        Image d(20, 1, 32);
        Call c;
        c.width = 20;
        c.height = 1;
        Draw(d, &s, c);
        for (int32_t x = 0; x < 20; x++)
            EXPECT_EQ(d.Get(x, 0), s.Get(x / 2, 0) & 0x00FFFFFF) << "column " << x;

        // Bilinear: xstep = (9 << 16) / 20; column 1 reads 100 at weight 7372 and 0 at 9010.
        Image b(20, 1, 32);
        c.mode = BlitBilinear;
        Draw(b, &s, c);
        const uint32_t blue[4] = {3, 47, 92, 136};
        for (int32_t x = 0; x < 4; x++)
            EXPECT_EQ(b.Get(x, 0) & 0xFF, blue[x]) << "column " << x;

        // Bilinear of black is 3 in every lane; unscaled bilinear still filters.
        Image black(4, 4, 32, 0);
        Image out(4, 4, 32);
        Call unscaled;
        unscaled.mode = BlitBilinear;
        Draw(out, &black, unscaled);
        EXPECT_EQ(out.Get(0, 0), 0x03030303u);
        EXPECT_EQ(out.Get(3, 3), 0x03030303u);

        // Nearest rows: a 3-row source drawn 7 high reads rows (ystep x j) >> 16.
        Image tall(1, 3, 16);
        for (int32_t y = 0; y < 3; y++)
            tall.Set(0, y, 0x0800 * (y + 1));
        Image rows(1, 7, 16);
        Call r;
        r.height = 7;
        Draw(rows, &tall, r);
        const int32_t sourceRow[7] = {0, 0, 0, 1, 1, 2, 2};  // ystep = 3 x 65536 / 7 = 28086
        for (int32_t y = 0; y < 7; y++)
            EXPECT_EQ(rows.Get(0, y), tall.Get(0, sourceRow[y])) << "row " << y;
    }
}

// The source's pixel (sx, sy) as a distinct 32-bit value.
uint32_t Marker(int32_t sx, int32_t sy) {
    return 0x00010101u * uint32_t(1 + sx + 16 * sy);
}

TEST(BlitPixels, ClippingOnEachSide) {
    struct ClipCase {
        const char* name;
        int32_t x, y;
        int32_t left, top, right, bottom;
    };
    const ClipCase cases[] = {
        {"inside", 2, 2, 0, 0, 9, 9},
        {"left", -2, 3, 0, 0, 9, 9},
        {"top", 3, -3, 0, 0, 9, 9},
        {"right", 7, 1, 0, 0, 9, 9},
        {"bottom", 1, 8, 0, 0, 9, 9},
        {"clip rectangle inside the drawn one", 1, 1, 3, 2, 4, 5},
        {"clip right below left is raised to it", 0, 0, 2, 0, 1, 9},
        {"all sides", -1, -1, 1, 1, 2, 2},
    };
    for (PixelLoopPath path : AvailablePaths()) {
        ScopedPath use(path);
        for (const ClipCase& cc : cases) {
            for (uint32_t mode : {0u, uint32_t(BlitColourKey)}) {
                SCOPED_TRACE(std::string(cc.name) + (mode ? " keyed" : " copy") + " / " +
                             PathName(path));
                Image s(5, 6, 32);
                for (int32_t sy = 0; sy < 6; sy++)
                    for (int32_t sx = 0; sx < 5; sx++)
                        s.Set(sx, sy, Marker(sx, sy));
                Image d(10, 10, 32, 0xEE);
                Call c;
                c.x = cc.x;
                c.y = cc.y;
                c.clipLeft = cc.left;
                c.clipTop = cc.top;
                c.clipRight = cc.right;
                c.clipBottom = cc.bottom;
                c.mode = mode;
                Draw(d, &s, c);
                int32_t right = std::max(cc.right, cc.left), bottom = std::max(cc.bottom, cc.top);
                for (int32_t y = 0; y < 10; y++) {
                    for (int32_t x = 0; x < 10; x++) {
                        bool drawn = x >= cc.left && x <= right && y >= cc.top && y <= bottom &&
                                     x >= cc.x && x < cc.x + 5 && y >= cc.y && y < cc.y + 6;
                        uint32_t expected = drawn ? Marker(x - cc.x, y - cc.y) : 0xEEEEEEEE;
                        ASSERT_EQ(d.Get(x, y), expected) << "pixel " << x << "," << y;
                    }
                }
            }
        }
    }
}

// A clipped scaled draw gives exactly the pixels of the unclipped one inside the clip.
TEST(BlitPixels, ClippedScalingMatchesUnclipped) {
    for (PixelLoopPath path : AvailablePaths()) {
        ScopedPath use(path);
        for (uint32_t mode : {0u, uint32_t(BlitBilinear)}) {
            SCOPED_TRACE(std::string(mode ? "bilinear / " : "nearest / ") + PathName(path));
            Image s(7, 5, 24);
            for (size_t i = 0; i < s.bytes.size(); i++)
                s.bytes[i] = uint8_t(i * 37 + 11);
            Image whole(23, 17, 32, 0), part(23, 17, 32, 0);
            Call c;
            c.width = 19;
            c.height = 13;
            c.x = 2;
            c.y = 3;
            c.mode = mode;
            Draw(whole, &s, c);
            c.clipLeft = 5;
            c.clipTop = 6;
            c.clipRight = 17;
            c.clipBottom = 12;
            Draw(part, &s, c);
            for (int32_t y = 0; y < 17; y++) {
                for (int32_t x = 0; x < 23; x++) {
                    bool inside = x >= 5 && x <= 17 && y >= 6 && y <= 12;
                    ASSERT_EQ(part.Get(x, y), inside ? whole.Get(x, y) : 0u)
                        << "pixel " << x << "," << y;
                }
            }
        }
    }
}

TEST(BlitPixels, BottomUpDestination) {
    for (PixelLoopPath path : AvailablePaths()) {
        ScopedPath use(path);
        for (uint32_t opacity : {100u, 60u}) {
            SCOPED_TRACE(std::to_string(opacity) + " / " + PathName(path));
            Image s(4, 3, 24);
            for (size_t i = 0; i < s.bytes.size(); i++)
                s.bytes[i] = uint8_t(i * 19 + 3);
            Image topDown(6, 5, 24, 0x40, 2), bottomUp(6, 5, 24, 0x40, 2);
            Call c;
            c.x = 1;
            c.y = 1;
            c.clipBottom = 2;  // the last source row is clipped off
            c.opacity = opacity;
            Draw(topDown, &s, c);
            c.bottomUpRows = 5;
            Draw(bottomUp, &s, c);
            for (int32_t y = 0; y < 5; y++)
                for (int32_t x = 0; x < 6; x++)
                    ASSERT_EQ(bottomUp.Get(x, 4 - y), topDown.Get(x, y))
                        << "pixel " << x << "," << y;
        }
    }
}

TEST(BlitPixels, FixedCopyIsExactForEveryDepth) {
    for (PixelLoopPath path : AvailablePaths()) {
        ScopedPath use(path);
        for (int32_t bpp : {15, 16, 24, 32}) {
            SCOPED_TRACE(std::to_string(bpp) + " / " + PathName(path));
            Image s(7, 3, bpp);
            for (size_t i = 0; i < s.bytes.size(); i++)
                s.bytes[i] = uint8_t(i * 29 + 5);
            Image d(9, 4, bpp, 0x11, 3);
            Call c;
            c.x = 1;
            c.y = 1;
            Draw(d, &s, c);
            for (int32_t y = 0; y < 4; y++) {
                for (int32_t x = 0; x < 9; x++) {
                    bool drawn = x >= 1 && x < 8 && y >= 1;
                    uint32_t fill = bpp == 32 ? 0x11111111 : bpp == 24 ? 0x111111 : 0x1111;
                    ASSERT_EQ(d.Get(x, y), drawn ? s.Get(x - 1, y - 1) : fill)
                        << "pixel " << x << "," << y;
                }
                // Row padding stays.
                for (int32_t b = 9 * PixelBytes(bpp); b < d.stride; b++)
                    ASSERT_EQ(d.bytes[size_t(y) * d.stride + b], 0x11);
            }
        }
    }
}

TEST(BlitPixels, RepeatLastPixel) {
    for (PixelLoopPath path : AvailablePaths()) {
        ScopedPath use(path);
        for (int32_t bpp : {16, 24, 32}) {
            SCOPED_TRACE(std::to_string(bpp) + " / " + PathName(path));
            Image s(3, 2, bpp);
            for (size_t i = 0; i < s.bytes.size(); i++)
                s.bytes[i] = uint8_t(i * 41 + 9);
            Image d(5, 2, bpp, 0x22);
            Call c;
            c.mode = BlitRepeatLastPixel;
            Draw(d, &s, c);
            for (int32_t y = 0; y < 2; y++) {
                uint32_t last = s.Get(2, y);
                if (bpp == 32)
                    last &= 0x00FFFFFF;  // a plain read of 32 bits keeps no fourth byte
                EXPECT_EQ(d.Get(2, y), last);
                EXPECT_EQ(d.Get(3, y), last) << "row " << y;
                EXPECT_EQ(d.Get(4, y), bpp == 32 ? 0x22222222u : bpp == 24 ? 0x222222u : 0x2222u);
            }

            // Drawn rows that fill the whole stride: nothing is repeated.
            Image full(3, 2, bpp, 0x22);
            Draw(full, &s, c);
            EXPECT_EQ(full.Get(0, 1), bpp == 32 ? s.Get(0, 1) & 0x00FFFFFF : s.Get(0, 1));
        }
        // The tile copy: the repeated pixel follows the opaque-fourth-byte rule.
        Image s(2, 1, 32);
        s.Set(0, 0, 0x00000000);
        s.Set(1, 0, 0x00010203);
        Image tile(4, 1, 32, 0x33);
        Call c;
        c.mode = BlitRepeatLastPixel | BlitOpaqueFourthByte | BlitIgnoreAlpha;
        Draw(tile, &s, c);
        EXPECT_EQ(tile.Get(0, 0), 0u);
        EXPECT_EQ(tile.Get(1, 0), 0xFF010203u);
        EXPECT_EQ(tile.Get(2, 0), 0xFF010203u);
        EXPECT_EQ(tile.Get(3, 0), 0x33333333u);
        // With a write mask the repeated pixel is stored whole.
        Image masked(3, 1, 32, 0x33);
        c.mode = BlitRepeatLastPixel;
        c.writeMask = 0x0000FF;
        Draw(masked, &s, c);
        EXPECT_EQ(masked.Get(1, 0), 0x33333303u);
        EXPECT_EQ(masked.Get(2, 0), 0x00010203u);
    }
}

}  // namespace
