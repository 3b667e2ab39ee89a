// The blitter's guards: nothing written outside a destination row, no source pixel read past
// the source, no division for empty calls, no wrapping of positions on tall sources.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "blit_test_support.h"
#include "images/blit.h"
#include "pixel_test_support.h"

using blit_test::Call;
using blit_test::Draw;
using blit_test::GuardedBuffer;
using blit_test::Image;
using pixel_test::AvailablePaths;
using pixel_test::PathName;
using pixel_test::ScopedPath;

namespace {

// A 24-bit destination of 5 pixels per row has one byte of row padding: the pixel right of the
// last column would start in the padding and end in the next row (or past the buffer).
TEST(BlitFaults, RepeatedPixelStaysInsideTheRow) {
    for (PixelLoopPath path : AvailablePaths()) {
        ScopedPath use(path);
        SCOPED_TRACE(PathName(path));
        const int32_t stride = 16, rows = 3;
        GuardedBuffer dst(size_t(stride) * rows);
        ASSERT_NE(dst.data(), nullptr);
        std::fill(dst.data(), dst.data() + dst.size(), 0x77);
        Image s(5, rows, 24);
        for (size_t i = 0; i < s.bytes.size(); i++)
            s.bytes[i] = uint8_t(i + 1);
        BlitPixels(dst.data(), stride, 0, 24, 0, 0, 0, 0, 4, rows - 1, 0, 0, s.bytes.data(), 5,
                   rows, 24, nullptr, 100, BlitRepeatLastPixel, kBlitColourNone, 0);
        for (int32_t y = 0; y < rows; y++) {
            EXPECT_EQ(0, std::memcmp(dst.data() + y * stride, s.bytes.data() + y * 15, 15));
            EXPECT_EQ(dst.data()[y * stride + 15], 0x77) << "row padding " << y;
        }

        // A narrower drawn rectangle still repeats its last pixel inside the row.
        std::fill(dst.data(), dst.data() + dst.size(), 0x77);
        BlitPixels(dst.data(), stride, 0, 24, 4, 1, 0, 0, 4, 0, 0, 0, s.bytes.data(), 5, rows,
                   24, nullptr, 100, BlitRepeatLastPixel, kBlitColourNone, 0);
        EXPECT_EQ(0, std::memcmp(dst.data() + 12, dst.data() + 9, 3));

        // Bottom-up: the last buffer row is drawn row 0.
        std::fill(dst.data(), dst.data() + dst.size(), 0x77);
        BlitPixels(dst.data(), stride, rows, 24, 0, 0, 0, 0, 4, rows - 1, 0, 0, s.bytes.data(),
                   5, rows, 24, nullptr, 50, BlitRepeatLastPixel, kBlitColourNone, 0);
        for (int32_t y = 0; y < rows; y++)
            EXPECT_EQ(dst.data()[y * stride + 15], 0x77) << "row padding " << y;
    }
}

// A bilinear neighbour past the last column or row is the last column or row: one-pixel and
// one-row sources are read only inside.
TEST(BlitFaults, BilinearNeighboursStayInsideTheSource) {
    struct Case {
        const char* name;
        int32_t width, height, bpp;
    };
    const Case cases[] = {
        {"one 32-bit pixel", 1, 1, 32}, {"one 24-bit pixel", 1, 1, 24},
        {"one row", 6, 1, 16},          {"one column", 1, 6, 32},
        {"4 x 3 of 8 bits", 4, 3, 8},
    };
    uint32_t palette[256];
    for (uint32_t i = 0; i < 256; i++)
        palette[i] = 0x00102030;
    for (PixelLoopPath path : AvailablePaths()) {
        ScopedPath use(path);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " / " + PathName(path));
            size_t bytes = size_t(c.width) * c.height * PixelBytes(c.bpp);
            GuardedBuffer src(bytes);
            ASSERT_NE(src.data(), nullptr);
            for (size_t i = 0; i < bytes; i++)
                src.data()[i] = c.bpp == 8 ? 0 : 0x40;
            Image d(9, 7, 32, 0);
            BlitPixels(d.bytes.data(), d.stride, 0, 32, 9, 7, 0, 0, 8, 6, 0, 0, src.data(),
                       c.width, c.height, c.bpp, palette, 100, BlitBilinear, kBlitColourNone, 0);
            for (int32_t y = 0; y < 7; y++) {
                for (int32_t x = 0; x < 9; x++)
                    ASSERT_NE(d.Get(x, y) & 0xFFFFFF, 0u) << "pixel " << x << "," << y;
            }
            // A single pixel filters to the same value everywhere (both steps are 0).
            if (c.width == 1 && c.height == 1) {
                EXPECT_EQ(d.Get(8, 6), d.Get(0, 0));
            }
        }
    }
}

// Calls with nothing to draw return before any step or division and write nothing.
TEST(BlitFaults, EmptyCallsWriteNothing) {
    struct Case {
        const char* name;
        bool destination;
        int32_t width, height;
        int32_t clipLeft, clipRight;
        int32_t sourceWidth, sourceHeight;
        int32_t sourceBpp;
        uint32_t opacity;
        bool withSource;
    };
    const Case cases[] = {
        {"no destination", false, 0, 0, 0, 7, 4, 4, 32, 100, true},
        {"opacity 0", true, 0, 0, 0, 7, 4, 4, 32, 0, true},
        {"opacity 0 with the mask bits set", true, 0, 0, 0, 7, 4, 4, 32, 0xFF00, true},
        {"clip left of the rectangle", true, 0, 0, 6, 7, 4, 4, 32, 100, true},
        {"zero-sized source", true, 0, 0, 0, 7, 0, 0, 32, 100, true},
        {"zero-sized source drawn scaled", true, 5, 5, 0, 7, 0, 4, 32, 100, true},
        {"zero-height source drawn bilinear", true, 5, 5, 0, 7, 4, 0, 32, 100, true},
        {"negative source width", true, 5, 5, 0, 7, -4, 4, 32, 100, true},
        {"negative drawn width", true, -3, 2, 0, 7, 4, 4, 32, 100, true},
        {"fill of zero size", true, 0, 0, 0, 7, 0, 0, 32, 100, false},
        {"8-bit source without palette", true, 0, 0, 0, 7, 4, 4, 8, 100, true},
        {"source depth 12", true, 0, 0, 0, 7, 4, 4, 12, 100, true},
    };
    for (PixelLoopPath path : AvailablePaths()) {
        ScopedPath use(path);
        for (const Case& c : cases) {
            for (uint32_t mode : {0u, uint32_t(BlitBilinear), uint32_t(BlitAdd)}) {
                SCOPED_TRACE(std::string(c.name) + " mode " + std::to_string(mode) + " / " +
                             PathName(path));
                Image src(4, 4, 32, 0x55);
                Image d(8, 8, 32, 0xAA);
                BlitPixels(c.destination ? d.bytes.data() : nullptr, d.stride, 0, 32, c.width,
                           c.height, c.clipLeft, 0, c.clipRight, 7, 2, 2,
                           c.withSource ? src.bytes.data() : nullptr, c.sourceWidth,
                           c.sourceHeight, c.sourceBpp, nullptr, c.opacity, mode, 0x123456, 0);
                EXPECT_EQ(d.bytes, std::vector<uint8_t>(d.bytes.size(), 0xAA));
            }
        }
    }
    // Destinations of 8 bits are outside the contract: nothing is written.
    Image src(4, 4, 32, 0x55);
    Image d8(8, 8, 8, 0xAA);
    BlitPixels(d8.bytes.data(), d8.stride, 0, 8, 0, 0, 0, 0, 7, 7, 0, 0, src.bytes.data(), 4, 4,
               32, nullptr, 100, 0, kBlitColourNone, 0);
    EXPECT_EQ(d8.bytes, std::vector<uint8_t>(d8.bytes.size(), 0xAA));
}

// A transposed tall image: 65535 source rows drawn 40000 high. The 16.16 row position passes
// 2^31 halfway; every destination row still reads source row (ystep x j) >> 16.
TEST(BlitFaults, PositionsDoNotWrapOnTallSources) {
    const int32_t srcRows = 65535, dstRows = 40000;
    Image s(1, srcRows, 16);
    for (int32_t y = 0; y < srcRows; y++)
        s.Set(0, y, uint32_t(y) & 0xFFDF);  // words that survive expansion and reduction
    for (PixelLoopPath path : AvailablePaths()) {
        ScopedPath use(path);
        for (uint32_t mode : {0u, uint32_t(BlitBilinear)}) {
            SCOPED_TRACE(std::string(mode ? "bilinear / " : "nearest / ") + PathName(path));
            Image d(1, dstRows, 16, 0);
            Call c;
            c.height = dstRows;
            c.mode = mode;
            Draw(d, &s, c);
            uint64_t ystep = (uint64_t(srcRows - (mode ? 1 : 0)) << 16) / dstRows;
            for (int32_t j : {0, 1, 20000, 32767, 32768, 39998, 39999}) {
                uint32_t row = uint32_t((ystep * uint64_t(j)) >> 16);
                if (mode == 0) {
                    EXPECT_EQ(d.Get(0, j), s.Get(0, row)) << "row " << j;
                } else {
                    // Between rows row and row + 1, whose red differs by at most one step.
                    uint32_t red = d.Get(0, j) >> 11;
                    EXPECT_GE(red, s.Get(0, row) >> 11) << "row " << j;
                    EXPECT_LE(red, s.Get(0, row + 1) >> 11) << "row " << j;
                }
            }
            // Rows are read in order: the last destination row reads near the source's end.
            if (mode == 0) {
                EXPECT_GT(d.Get(0, dstRows - 1) & 0xF800u, 0xF000u);
            }
        }
    }
}

}  // namespace
