// Every loop path against the portable pipeline, bit for bit, on random formats, options,
// sizes, positions and clips; the bytes around the drawn rectangle must stay as they were.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "blit_test_support.h"
#include "images/blit.h"
#include "pixel_test_support.h"

using blit_test::Image;
using pixel_test::AvailablePaths;
using pixel_test::PathName;
using pixel_test::ScopedPath;

namespace {

struct RandomCall {
    int32_t dstBpp, dstWidth, dstHeight, pad, bottomUp;
    int32_t width, height, clipLeft, clipTop, clipRight, clipBottom, x, y;
    bool withSource;
    int32_t srcBpp, srcWidth, srcHeight;
    uint32_t opacity, writeMask, mode, colour;
    uint8_t sourceAlpha;

    std::string Describe() const {
        std::ostringstream s;
        s << "dst " << dstBpp << "bpp " << dstWidth << "x" << dstHeight << " pad " << pad
          << " bottomUp " << bottomUp << " | draw " << width << "x" << height << " at " << x
          << "," << y << " clip " << clipLeft << "," << clipTop << "-" << clipRight << ","
          << clipBottom << " | src " << (withSource ? "" : "none ") << srcBpp << "bpp "
          << srcWidth << "x" << srcHeight << " | opacity " << opacity << " mask " << std::hex
          << writeMask << " mode " << mode << " colour " << colour << std::dec << " alpha "
          << int(sourceAlpha);
        return s.str();
    }
};

// Calls weighted towards what the fast loops take (32-bit pairs) without leaving out the rest.
RandomCall MakeCall(std::mt19937& rng) {
    auto pick = [&](int n) { return int32_t(rng() % uint32_t(n)); };
    const int32_t dstDepths[] = {15, 16, 24, 32, 32, 32};
    const int32_t srcDepths[] = {8, 15, 16, 24, 32, 32, 32, 32};
    RandomCall c{};
    c.dstBpp = dstDepths[pick(6)];
    c.dstWidth = 1 + pick(40);
    c.dstHeight = 1 + pick(12);
    c.pad = pick(3) == 0 ? 0 : pick(9);
    c.bottomUp = pick(4) == 0 ? c.dstHeight : 0;
    c.withSource = pick(6) != 0;
    c.srcBpp = srcDepths[pick(8)];
    c.srcWidth = 1 + pick(30);
    c.srcHeight = 1 + pick(10);
    c.width = pick(3) == 0 ? 0 : 1 + pick(45);
    c.height = pick(3) == 0 ? 0 : 1 + pick(15);
    c.x = pick(50) - 10;
    c.y = pick(16) - 4;
    c.clipLeft = pick(c.dstWidth);
    c.clipTop = pick(c.dstHeight);
    c.clipRight = c.clipLeft + pick(c.dstWidth - c.clipLeft);
    c.clipBottom = c.clipTop + pick(c.dstHeight - c.clipTop);
    if (pick(3) == 0) {
        c.clipLeft = 0;
        c.clipTop = 0;
        c.clipRight = c.dstWidth - 1;
        c.clipBottom = c.dstHeight - 1;
    }
    const uint32_t opacities[] = {100, 100, 100, 50, 1, 99, 73, 150};
    c.opacity = opacities[pick(8)];
    c.writeMask = pick(6) == 0 ? (rng() & 0xFFFFFF) : 0;
    const uint32_t single[] = {BlitSignedSaturation, BlitColourKey,        BlitInvert,
                               BlitIgnoreAlpha,      BlitKeepFourthByte,   BlitOpaqueFourthByte,
                               BlitRepeatLastPixel,  BlitSubtract,         BlitAdd,
                               BlitMultiply,         BlitAnd,              BlitAndNot,
                               BlitOr,               BlitXor,              BlitDifference,
                               BlitSignedAdd,        BlitLighten,          BlitDarken,
                               BlitBilinear,         0x4};
    int bits = pick(4);
    for (int i = 0; i < bits; i++)
        c.mode |= single[pick(20)];
    c.colour = pick(3) == 0 ? (rng() & (pick(2) ? 0xFFFFFFFFu : 0x00FFFFFFu)) : kBlitColourNone;
    c.sourceAlpha = uint8_t(pick(2));
    return c;
}

std::vector<uint8_t> DrawRandomCall(const RandomCall& rc, const Image& src,
                                    const uint32_t* palette) {
    Image dst(rc.dstWidth, rc.dstHeight, rc.dstBpp, 0, rc.pad);
    for (size_t i = 0; i < dst.bytes.size(); i++)
        dst.bytes[i] = uint8_t(i * 131 + 7);
    BlitPixels(dst.bytes.data(), dst.stride, rc.bottomUp, rc.dstBpp, rc.width, rc.height,
               rc.clipLeft, rc.clipTop, rc.clipRight, rc.clipBottom, rc.x, rc.y,
               rc.withSource ? src.bytes.data() : nullptr, rc.srcWidth, rc.srcHeight, rc.srcBpp,
               palette, BlitOpacityAndMask(rc.opacity, rc.writeMask), rc.mode, rc.colour,
               rc.sourceAlpha);
    return dst.bytes;
}

TEST(BlitPaths, AgreeBitForBitOnRandomCalls) {
    std::vector<PixelLoopPath> paths = AvailablePaths();
    if (paths.size() < 2)
        GTEST_SKIP() << "only the portable path in this build";
    std::mt19937 rng(20261210);
    uint32_t palette[256];
    for (uint32_t& entry : palette)
        entry = rng() % 8 ? rng() : rng() & 0xFF000000u;
    int differing = 0;
    for (int n = 0; n < 6000 && differing < 5; n++) {
        RandomCall rc = MakeCall(rng);
        Image src(rc.srcWidth, rc.srcHeight, rc.srcBpp, 0, 0);
        for (uint8_t& b : src.bytes)
            b = rng() % 6 ? uint8_t(rng()) : 0;  // black pixels for the colour key
        std::vector<uint8_t> reference;
        for (PixelLoopPath path : paths) {
            ScopedPath use(path);
            std::vector<uint8_t> out = DrawRandomCall(rc, src, palette);
            if (path == PixelLoopPath::Portable) {
                reference = out;
            } else if (out != reference) {
                ADD_FAILURE() << PathName(path) << " differs: " << rc.Describe();
                differing++;
            }
        }
    }
}

// The fast loops' own cases, each over sizes that reach every tail, on both paths. The source
// ends at an inaccessible page, so a loop reading past it faults.
TEST(BlitPaths, AgreeOnFastLoopCases) {
    std::vector<PixelLoopPath> paths = AvailablePaths();
    if (paths.size() < 2)
        GTEST_SKIP() << "only the portable path in this build";
    struct Case {
        const char* name;
        uint32_t opacity, writeMask, mode, colour;
        uint8_t alpha;
        bool scaled, fill;
    };
    const Case cases[] = {
        {"copy, colour key", 100, 0, BlitColourKey, kBlitColourNone, 0, false, false},
        {"tile copy", 100, 0, 0xD0, kBlitColourNone, 0, false, false},
        {"tile copy with alpha", 100, 0, 0xB0, kBlitColourNone, 1, false, false},
        {"masked copy", 100, 0x00F0F0, 0, kBlitColourNone, 0, false, false},
        {"nearest", 100, 0, 0, kBlitColourNone, 0, true, false},
        {"bilinear", 100, 0, BlitBilinear, kBlitColourNone, 0, true, false},
        {"bilinear keyed, signed", 100, 0, BlitBilinear | BlitColourKey | BlitSignedSaturation,
         kBlitColourNone, 0, true, false},
        {"bilinear with alpha", 100, 0, BlitBilinear, kBlitColourNone, 1, true, false},
        {"bilinear at 40 with tint", 40, 0, BlitBilinear | BlitOpaqueFourthByte, 0x00804020, 0,
         true, false},
        {"alpha blend", 100, 0, 0, kBlitColourNone, 1, false, false},
        {"alpha blend at 70, keep fourth", 70, 0, BlitKeepFourthByte, kBlitColourNone, 1, false,
         false},
        {"opacity 30 keyed", 30, 0, BlitColourKey, kBlitColourNone, 0, false, false},
        {"tint, nearest, repeat", 100, 0, BlitRepeatLastPixel, 0x0000FF80, 0, true, false},
        {"fill at 60", 60, 0, 0, 0x00336699, 0, false, true},
        {"fill keyed, opaque fourth", 100, 0, BlitColourKey | BlitOpaqueFourthByte, 0x00010000,
         0, false, true},
    };
    std::mt19937 rng(99);
    const std::pair<int32_t, int32_t> sizes[] = {{1, 32}, {2, 32}, {3, 32}, {4, 32}, {5, 32},
                                                 {7, 32}, {8, 32}, {9, 32}, {17, 32}, {33, 32},
                                                 {1, 24}, {2, 24}, {4, 24}, {5, 24}, {6, 24},
                                                 {7, 24}, {8, 24}, {9, 24}, {17, 24}, {33, 24}};
    for (const Case& c : cases) {
        for (auto [w, bpp] : sizes) {
            SCOPED_TRACE(std::string(c.name) + " width " + std::to_string(w) + " depth " +
                         std::to_string(bpp));
            blit_test::GuardedBuffer src(size_t(w) * 3 * PixelBytes(bpp));
            ASSERT_NE(src.data(), nullptr);
            for (size_t i = 0; i < src.size(); i++)
                src.data()[i] = rng() % 5 ? uint8_t(rng()) : 0;
            std::vector<uint8_t> reference;
            for (PixelLoopPath path : paths) {
                ScopedPath use(path);
                Image dst(w * 2 + 3, 7, 32, 0, 4);
                for (size_t i = 0; i < dst.bytes.size(); i++)
                    dst.bytes[i] = uint8_t(i * 29 + 1);
                BlitPixels(dst.bytes.data(), dst.stride, 0, 32, c.scaled ? w * 2 - 1 : 0,
                           c.scaled ? 6 : 0, 0, 0, dst.width - 1, 6, 1, 0,
                           c.fill ? nullptr : src.data(), w, 3, bpp, nullptr,
                           BlitOpacityAndMask(c.opacity, c.writeMask), c.mode, c.colour, c.alpha);
                if (reference.empty())
                    reference = dst.bytes;
                else
                    EXPECT_EQ(dst.bytes, reference) << PathName(path);
            }
        }
    }
}

}  // namespace
