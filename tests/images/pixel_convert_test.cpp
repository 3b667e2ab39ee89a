#include "images/pixel_convert.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "images/pixel_format.h"
#include "pixel_test_support.h"

using pixel_test::AvailablePaths;
using pixel_test::PathName;
using pixel_test::ScopedPath;

namespace {

TEST(PixelConventions, ExpansionShiftsReductionTruncatesWeightScalesPercent) {
    EXPECT_EQ(Expand565(0xFFFF), 0xF8FCF8u);
    EXPECT_EQ(Expand565(0x0001), 0x000008u);
    EXPECT_EQ(Expand555(0xFFFF), 0xF8F8F8u);  // bit 15 carries no colour
    EXPECT_EQ(Expand555(0x0421), 0x080808u);
    EXPECT_EQ(Reduce565(0xFFFFFF), 0xFFFF);
    EXPECT_EQ(Reduce565(0x070307), 0x0000);
    EXPECT_EQ(Reduce555(0xFFFFFFFF), 0x7FFF);
    EXPECT_EQ(Reduce565(0x808080), 0x8410);
    EXPECT_EQ(OpacityWeight(100), 256u);
    EXPECT_EQ(OpacityWeight(50), 128u);
    EXPECT_EQ(OpacityWeight(1), 2u);
    EXPECT_EQ(OpacityWeight(0), 0u);
    EXPECT_EQ(PixelBytes(15), 2);
    EXPECT_EQ(PixelBytes(24), 3);
    EXPECT_EQ(PixelBytes(12), 0);
}

struct OnePixelCase {
    const char* name;
    int sourceBpp;
    std::vector<uint8_t> source;
    int destinationBpp;
    std::vector<uint8_t> expected;
};

const uint32_t kPalette[256] = {0x00000000, 0x7F102030, 0x00FFFFFF};

TEST(ConvertPixels, OnePixelTable) {
    const OnePixelCase cases[] = {
        {"black 16 to 32 is all zero", 16, {0x00, 0x00}, 32, {0, 0, 0, 0}},
        {"darkest blue 16 to 32", 16, {0x01, 0x00}, 32, {0x08, 0, 0, 0xFF}},
        {"white 16 to 24", 16, {0xFF, 0xFF}, 24, {0xF8, 0xFC, 0xF8}},
        {"white 15 to 16 direct", 15, {0xFF, 0x7F}, 16, {0xDF, 0xFF}},
        {"white 16 to 15 direct", 16, {0xFF, 0xFF}, 15, {0xFF, 0x7F}},
        {"bit 15 of a 15-bit source is no colour", 15, {0x00, 0x80}, 32, {0, 0, 0, 0}},
        {"white 24 to 16", 24, {0xFF, 0xFF, 0xFF}, 16, {0xFF, 0xFF}},
        {"white 32 to 16", 32, {0xFF, 0xFF, 0xFF, 0x00}, 16, {0xFF, 0xFF}},
        {"dark grey truncates to 0", 24, {7, 3, 7}, 16, {0, 0}},
        {"32 to 15 writes bit 15 as 0", 32, {0xFF, 0xFF, 0xFF, 0xFF}, 15, {0xFF, 0x7F}},
        {"32 to 32 fourth byte is never carried", 24, {1, 2, 3}, 32, {1, 2, 3, 0xFF}},
        {"15 to 32 expands with zero low bits", 15, {0x21, 0x04}, 32, {8, 8, 8, 0xFF}},
        {"8 through the palette to 24", 8, {1}, 24, {0x30, 0x20, 0x10}},
        {"8 to 32 drops the reserved byte", 8, {1}, 32, {0x30, 0x20, 0x10, 0xFF}},
        {"8 to 32 black entry", 8, {0}, 32, {0, 0, 0, 0}},
        {"24 to 15", 24, {0x08, 0x10, 0x18}, 15, {0x41, 0x0C}},
    };
    for (PixelLoopPath path : AvailablePaths()) {
        ScopedPath use(path);
        for (const OnePixelCase& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " / " + PathName(path));
            std::vector<uint8_t> src = c.source;
            src.resize(8, 0xEE);
            std::vector<uint8_t> dst(8, 0xAA);
            ConvertPixels(src.data(), dst.data(), 1, c.sourceBpp, c.destinationBpp, kPalette);
            std::vector<uint8_t> written(dst.begin(), dst.begin() + c.expected.size());
            EXPECT_EQ(written, c.expected);
            for (size_t i = c.expected.size(); i < dst.size(); i++)
                EXPECT_EQ(dst[i], 0xAA) << "byte " << i << " past the pixel";
        }
    }
}

// Calls that must not touch the destination at all.
TEST(ConvertPixels, WritesNothingForEqualDepthsEightBitsAndBadArguments) {
    struct Case {
        const char* name;
        int32_t count;
        int sourceBpp;
        int destinationBpp;
        const uint32_t* palette;
    };
    const Case cases[] = {
        {"equal depths 24", 4, 24, 24, nullptr},
        {"equal depths 32", 4, 32, 32, nullptr},
        {"to 8 bits", 4, 32, 8, nullptr},
        {"count 0", 0, 16, 32, nullptr},
        {"negative count", -1, 16, 32, nullptr},
        {"largest negative count", INT32_MIN, 24, 32, nullptr},
        {"source depth 12", 4, 12, 32, nullptr},
        {"destination depth 0", 4, 32, 0, nullptr},
        {"8-bit source without palette", 4, 8, 32, nullptr},
    };
    for (PixelLoopPath path : AvailablePaths()) {
        ScopedPath use(path);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " / " + PathName(path));
            std::vector<uint8_t> src(64, 0x5A), dst(64, 0xAA);
            ConvertPixels(src.data(), dst.data(), c.count, c.sourceBpp, c.destinationBpp,
                          c.palette);
            EXPECT_EQ(dst, std::vector<uint8_t>(64, 0xAA));
        }
    }
}

TEST(ConvertPixels, InPlace) {
    for (PixelLoopPath path : AvailablePaths()) {
        ScopedPath use(path);
        SCOPED_TRACE(PathName(path));
        // One 16-bit colour held in a 4-byte variable becomes its 32-bit pixel.
        uint32_t colour = 0xF81F;
        ConvertPixels(&colour, &colour, 1, 16, 32, nullptr);
        EXPECT_EQ(colour, 0xFFF800F8u);

        // A run narrowed where it lies.
        std::vector<uint8_t> run(3 * 40);
        for (size_t i = 0; i < run.size(); i++)
            run[i] = uint8_t(i * 7);
        std::vector<uint8_t> apart(2 * 40);
        ConvertPixels(run.data(), apart.data(), 40, 24, 16, nullptr);
        ConvertPixels(run.data(), run.data(), 40, 24, 16, nullptr);
        EXPECT_EQ(std::vector<uint8_t>(run.begin(), run.begin() + 80), apart);

        std::vector<uint8_t> wide(4 * 33);
        for (size_t i = 0; i < wide.size(); i++)
            wide[i] = uint8_t(i * 13 + 1);
        std::vector<uint8_t> apart24(3 * 33);
        ConvertPixels(wide.data(), apart24.data(), 33, 32, 24, nullptr);
        ConvertPixels(wide.data(), wide.data(), 33, 32, 24, nullptr);
        EXPECT_EQ(std::vector<uint8_t>(wide.begin(), wide.begin() + 99), apart24);
    }
}

// Every pair over runs long and short enough to reach each loop's tail, on random pixels with
// black ones mixed in: each path against the portable one, bytes past the run untouched.
TEST(ConvertPixels, PathsAgreeOnRandomRuns) {
    const int depths[] = {8, 15, 16, 24, 32};
    std::mt19937 rng(1234);
    uint32_t palette[256];
    for (uint32_t& entry : palette)
        entry = rng() & (rng() % 4 ? 0xFFFFFFFFu : 0xFF000000u);
    for (int s : depths) {
        for (int d : depths) {
            for (int32_t count : {1, 7, 8, 9, 13, 17, 64, 251}) {
                SCOPED_TRACE(std::to_string(s) + " to " + std::to_string(d) + " count " +
                             std::to_string(count));
                std::vector<uint8_t> src(size_t(count) * 4 + 16);
                for (size_t i = 0; i < src.size(); i++)
                    src[i] = rng() % 5 ? uint8_t(rng()) : 0;
                std::vector<uint8_t> reference;
                for (PixelLoopPath path : AvailablePaths()) {
                    ScopedPath use(path);
                    std::vector<uint8_t> dst(size_t(count) * 4 + 16, 0xAA);
                    ConvertPixels(src.data() + 1, dst.data() + 3, count, s, d, palette);
                    for (size_t i = 3 + size_t(count) * PixelBytes(d); i < dst.size(); i++)
                        ASSERT_EQ(dst[i], 0xAA) << "byte " << i << " past the run";
                    if (reference.empty())
                        reference = dst;
                    else
                        EXPECT_EQ(dst, reference) << PathName(path);
                }
            }
        }
    }
}

// Each 16-bit word to 32 bits against the stated rule, on both paths.
TEST(ConvertPixels, EverySixteenBitWordToThirtyTwo) {
    std::vector<uint16_t> words(65536);
    for (uint32_t i = 0; i < 65536; i++)
        words[i] = uint16_t(i);
    for (PixelLoopPath path : AvailablePaths()) {
        ScopedPath use(path);
        SCOPED_TRACE(PathName(path));
        std::vector<uint32_t> out(65536);
        ConvertPixels(words.data(), out.data(), 65536, 16, 32, nullptr);
        for (uint32_t i = 0; i < 65536; i++) {
            uint32_t r = (i >> 11) << 3, g = ((i >> 5) & 63) << 2, b = (i & 31) << 3;
            uint32_t expected = i ? 0xFF000000u | (r << 16) | (g << 8) | b : 0;
            ASSERT_EQ(out[i], expected) << "word " << i;
        }
    }
}

}  // namespace
