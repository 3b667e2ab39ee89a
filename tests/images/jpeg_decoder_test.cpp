// The whole decoder on streams made by cjpeg, compared with djpeg's float-transform decode, and
// on byte-edited copies of them.
#include "jpeg_test_support.h"

using namespace jpeg_test;

namespace {

struct ReferenceCase {
    const char* name;
    bool fullRange;   // photo with clipped highlights and shadows: the statistical bound
};

const ReferenceCase kReferenceCases[] = {
    {"c444", true},       {"c422", true},     {"c440", true},    {"c420", true},
    {"mid444", false},    {"mid420", false},  {"tiny", false},    {"odd420", true},
    {"odd422", true},     {"restart420", true}, {"restart444", true}, {"optimized", true},
};

const SimdLevel kLevels[] = {SimdLevel::Plain, SimdLevel::Sse2, SimdLevel::Ssse3, SimdLevel::Avx2};

}  // namespace

TEST(JpegDecoder, ColourStreamsMatchTheReference)
{
    for (const ReferenceCase& c : kReferenceCases) {
        SCOPED_TRACE(c.name);
        const Bytes jpg = Fixture(std::string(c.name) + ".jpg");
        const Picture ref = ReadPnm(std::string(c.name) + ".pnm");
        MemorySink sink;
        ASSERT_EQ(DecodeBytes(jpg, &sink), JpegError::None);
        ASSERT_EQ(sink.width, ref.width);
        ASSERT_EQ(sink.height, ref.height);
        const Difference d = Compare(sink, ref);
        if (c.fullRange) {
            EXPECT_GE(d.withinTwo, 0.995);
            EXPECT_LT(d.mean, 0.6);
        } else {
            EXPECT_LE(d.maxDiff, 2);
        }
        EXPECT_TRUE(sink.progressInRange);
    }
}

TEST(JpegDecoder, GreyStreamIsWithinOneOfTheReference)
{
    const Picture ref = ReadPnm("grey.pnm");
    MemorySink sink;
    ASSERT_EQ(DecodeBytes(Fixture("grey.jpg"), &sink), JpegError::None);
    ASSERT_EQ(sink.width, ref.width);
    int worst = 0;
    for (int y = 0; y < ref.height; ++y) {
        for (int x = 0; x < ref.width; ++x) {
            const uint32_t rgb = sink.Rgb(x, y);
            for (int shift : {0, 8, 16}) {
                const int diff = static_cast<int>(rgb >> shift & 255) - ref.At(x, y, 0);
                worst = std::max(worst, diff < 0 ? -diff : diff);
            }
        }
    }
    EXPECT_LE(worst, 1);
}

TEST(JpegDecoder, EverySimdLevelGivesThePlainPixels)
{
    for (const char* name : {"c444", "c422", "c440", "c420", "grey", "odd420"}) {
        SCOPED_TRACE(name);
        const Bytes jpg = Fixture(std::string(name) + ".jpg");
        for (int depth : {32, 24, 16, 15}) {
            SCOPED_TRACE(depth);
            MemorySink plain;
            plain.depth = depth;
            ASSERT_EQ(DecodeBytes(jpg, &plain, true, SimdLevel::Plain), JpegError::None);
            for (SimdLevel level : kLevels) {
                MemorySink other;
                other.depth = depth;
                ASSERT_EQ(DecodeBytes(jpg, &other, true, level), JpegError::None);
                EXPECT_EQ(other.memory, plain.memory);
            }
        }
    }
}
