// The whole decoder on streams made by cjpeg, compared with djpeg's float-transform decode, and
// on byte-edited copies of them.
#include <atomic>
#include <thread>

#include "images/pixel_format.h"
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

namespace {

// Decodes both streams (24 bits) and expects the same pixels.
void ExpectSamePicture(const Bytes& a, const Bytes& b, bool standardA = true, bool standardB = true)
{
    MemorySink first, second;
    ASSERT_EQ(DecodeBytes(a, &first, standardA), JpegError::None);
    ASSERT_EQ(DecodeBytes(b, &second, standardB), JpegError::None);
    ASSERT_EQ(first.width, second.width);
    ASSERT_EQ(first.height, second.height);
    EXPECT_EQ(first.memory, second.memory);
}

Bytes Le32(uint32_t v)
{
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

}  // namespace

// Streams edited from a cjpeg stream that must decode to the same picture.
TEST(JpegDecoder, EditedStreamsDecodeLikeTheirOriginal)
{
    const Bytes original = Fixture("c420.jpg");
    struct Edit {
        const char* name;
        void (*apply)(JpegParts*);
        bool startStandard;
    };
    const Edit edits[] = {
        {"no DHT: the default tables", [](JpegParts* p) {
             std::vector<Segment> kept;
             for (const Segment& s : p->segments)
                 if (s.marker != 0xC4)
                     kept.push_back(s);
             p->segments = kept;
         }, true},
        {"component count 26 stands for 3", [](JpegParts* p) {
             FindSegment(p, 0xC0)->payload[5] = 26;
         }, true},
        {"32-bit sizes in a 23-byte frame header", [](JpegParts* p) {
             Bytes& sof = FindSegment(p, 0xC0)->payload;
             const uint32_t h = sof[1] << 8 | sof[2], w = sof[3] << 8 | sof[4];
             sof[1] = sof[2] = sof[3] = sof[4] = 0;   // the 16-bit fields no longer count
             const Bytes hh = Le32(h), ww = Le32(w);
             sof.insert(sof.end(), hh.begin(), hh.end());
             sof.insert(sof.end(), ww.begin(), ww.end());
         }, true},
        {"scan ids 'R','G','B' map by frame order", [](JpegParts* p) {
             Bytes& sof = FindSegment(p, 0xC0)->payload;
             sof[6] = 'R'; sof[9] = 'G'; sof[12] = 'B';
             p->sos[1] = 'R'; p->sos[3] = 'G'; p->sos[5] = 'B';
         }, true},
        {"ids 0-2 map by frame order", [](JpegParts* p) {
             Bytes& sof = FindSegment(p, 0xC0)->payload;
             sof[6] = 0; sof[9] = 1; sof[12] = 2;
             p->sos[1] = 0; p->sos[3] = 1; p->sos[5] = 2;
         }, true},
        {"Exif orientation segment", [](JpegParts* p) {
             const Bytes exif = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 0x2A, 0, 8, 0, 0, 0, 1, 0,
                                 0x12, 0x01, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0};
             p->segments.insert(p->segments.begin(), Segment{0xE1, exif});
         }, true},
        {"native copy: unstuffed, APP4 standard flag 0", [](JpegParts* p) {
             MakeNative(p);
             p->segments.insert(p->segments.begin(), Segment{0xE4, {0, 0, 0, 0, 0, 0}});
         }, true},
        {"native copy read from a native start", [](JpegParts* p) {
             MakeNative(p);
         }, false},
        {"unknown segment skipped by its length", [](JpegParts* p) {
             p->segments.insert(p->segments.begin(), Segment{0xEF, {1, 2, 3}});
         }, true},
    };
    for (const Edit& e : edits) {
        SCOPED_TRACE(e.name);
        JpegParts parts = Split(original);
        e.apply(&parts);
        ExpectSamePicture(original, Join(parts), true, e.startStandard);
    }
}

TEST(JpegDecoder, ExifOrientationReachesTheSink)
{
    JpegParts parts = Split(Fixture("c444.jpg"));
    const Bytes exif = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 0x2A, 0, 0, 0, 8, 0, 1,
                        0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0};
    parts.segments.insert(parts.segments.begin(), Segment{0xE1, exif});
    MemorySink sink;
    ASSERT_EQ(DecodeBytes(Join(parts), &sink), JpegError::None);
    EXPECT_EQ(sink.orientation, 6);
}

// Streams of other writers, read from a native start: the JFIF header, an Exif segment or an
// Adobe segment says "standard" before the frame; a stream with none of them is read once more
// in standard mode after its native reading met a code no table holds.
TEST(JpegDecoder, StandardStreamsAreReadFromANativeStart)
{
    const Bytes exif = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 0x2A, 0, 8, 0, 0, 0, 0, 0};
    const Bytes adobe = {'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, 1};
    struct Case {
        const char* file;
        const char* marks;   // what stands where the JFIF header was
        int beginCalls;
    };
    const Case cases[] = {
        {"c444.jpg", "JFIF", 1},     {"c420.jpg", "JFIF", 1},  {"c422.jpg", "JFIF", 1},
        {"grey.jpg", "JFIF", 1},     {"optimized.jpg", "JFIF", 1},
        {"c420.jpg", "Exif", 1},     {"c444.jpg", "Adobe", 1},
        {"c420.jpg", "nothing", 2},  {"c444.jpg", "nothing", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.file << " marked by " << c.marks);
        const Bytes original = Fixture(c.file);
        JpegParts parts = Split(original);
        const std::string marks = c.marks;
        if (marks != "JFIF") {
            DropStandardMarks(&parts);
            if (marks == "Exif")
                parts.segments.insert(parts.segments.begin(), Segment{0xE1, exif});
            if (marks == "Adobe")
                parts.segments.insert(parts.segments.begin(), Segment{0xEE, adobe});
        }
        MemorySink fromNative, whole;
        ASSERT_EQ(DecodeBytes(Join(parts), &fromNative, false), JpegError::None);
        ASSERT_EQ(DecodeBytes(original, &whole, true), JpegError::None);
        EXPECT_EQ(fromNative.beginCalls, c.beginCalls);
        EXPECT_EQ(fromNative.memory, whole.memory);
    }
    // A progressive stream of another writer is refused as such, not taken for a native one.
    MemorySink progressive;
    EXPECT_EQ(DecodeBytes(Fixture("progressive.jpg"), &progressive, false),
              JpegError::Progressive);
    EXPECT_EQ(progressive.beginCalls, 0);
}

// Fill words and zero runs where a marker belongs are passed over.
TEST(JpegDecoder, FillBytesBetweenSegments)
{
    const Bytes original = Fixture("c444.jpg");
    JpegParts parts = Split(original);
    Bytes edited = {0xFF, 0xD8, 0xFF, 0xFF, 0xFF};   // SOI, then fill bytes before the next marker
    Bytes rest = Join(parts);
    edited.insert(edited.end(), rest.begin() + 3, rest.end());
    // ... and a zero run before the SOS marker.
    Bytes withZeros;
    const size_t sos = [&] {
        for (size_t i = edited.size() - parts.scan.size() - 4; i > 0; --i)
            if (edited[i] == 0xFF && edited[i + 1] == 0xDA)
                return i;
        return size_t{0};
    }();
    withZeros.assign(edited.begin(), edited.begin() + sos);
    withZeros.insert(withZeros.end(), {0, 0, 0, 0});
    withZeros.insert(withZeros.end(), edited.begin() + sos, edited.end());
    ExpectSamePicture(original, edited);
    ExpectSamePicture(original, withZeros);
}

// Refused streams: each with its failure, and no crash.
TEST(JpegDecoder, RefusedStreams)
{
    const Bytes original = Fixture("c420.jpg");
    struct Refusal {
        const char* name;
        void (*apply)(JpegParts*);
        JpegError expected;
    };
    const Refusal refusals[] = {
        {"four components", [](JpegParts* p) { FindSegment(p, 0xC0)->payload[5] = 4; },
         JpegError::Unsupported},
        {"count 27 stands for four", [](JpegParts* p) { FindSegment(p, 0xC0)->payload[5] = 27; },
         JpegError::Unsupported},
        {"sampling 0x31", [](JpegParts* p) { FindSegment(p, 0xC0)->payload[7] = 0x31; },
         JpegError::Unsupported},
        {"zero width", [](JpegParts* p) {
             Bytes& sof = FindSegment(p, 0xC0)->payload;
             sof[3] = sof[4] = 0;
         }, JpegError::BadSegment},
        {"32-bit sides the image cannot store", [](JpegParts* p) {
             Bytes& sof = FindSegment(p, 0xC0)->payload;
             const Bytes big = Le32(0x7FFFFFFF);
             sof.insert(sof.end(), big.begin(), big.end());
             sof.insert(sof.end(), big.begin(), big.end());
         }, JpegError::TooLarge},
        {"frame header of 16 bytes", [](JpegParts* p) {
             FindSegment(p, 0xC0)->payload.push_back(0);
         }, JpegError::BadSegment},
        {"scan before the frame header", [](JpegParts* p) {
             std::vector<Segment> kept;
             for (const Segment& s : p->segments)
                 if (s.marker != 0xC0)
                     kept.push_back(s);
             p->segments = kept;
         }, JpegError::NoFrame},
        {"scan names table 3, never defined", [](JpegParts* p) { p->sos[2] = 0x33; },
         JpegError::BadSegment},
        {"scan of one component of three", [](JpegParts* p) {
             p->sos = {1, 1, 0x00, 0, 63, 0};
         }, JpegError::Unsupported},
        {"scan count 0", [](JpegParts* p) { p->sos[0] = 0; }, JpegError::BadSegment},
        {"DHT with 16 DC codes", [](JpegParts* p) {
             Bytes dht = {0x00, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
             for (int i = 0; i < 16; ++i)
                 dht.push_back(static_cast<uint8_t>(i));
             p->segments.push_back({0xC4, dht});
         }, JpegError::BadSegment},
        {"DHT codes overflow their length", [](JpegParts* p) {
             Bytes dht = {0x00, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3};
             p->segments.push_back({0xC4, dht});
         }, JpegError::BadSegment},
        {"DHT table id 4", [](JpegParts* p) {
             Bytes dht = {0x04, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
             p->segments.push_back({0xC4, dht});
         }, JpegError::BadSegment},
        {"DHT counts past the segment", [](JpegParts* p) {
             Bytes dht = {0x10, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
             p->segments.push_back({0xC4, dht});
         }, JpegError::BadSegment},
        {"DQT table id 4", [](JpegParts* p) { FindSegment(p, 0xDB)->payload[0] = 0x04; },
         JpegError::BadSegment},
        {"DQT precision 2", [](JpegParts* p) { FindSegment(p, 0xDB)->payload[0] = 0x20; },
         JpegError::BadSegment},
        {"DQT cut short", [](JpegParts* p) { FindSegment(p, 0xDB)->payload.resize(40); },
         JpegError::BadSegment},
        {"DRI of three bytes", [](JpegParts* p) { p->segments.push_back({0xDD, {0, 1, 2}}); },
         JpegError::BadSegment},
        {"APP3 palette past 256 entries", [](JpegParts* p) {
             MakeNative(p);
             p->segments.push_back({0xE3, Bytes(257 * 4, 7)});
         }, JpegError::BadSegment},
        {"APP2 tile side 0", [](JpegParts* p) {
             p->segments.push_back({0xE2, {0, 0, 16, 0, 1, 0, 0, 0}});
         }, JpegError::BadSegment},
        {"APP2 more offsets than the data holds", [](JpegParts* p) {
             p->segments.push_back({0xE2, {16, 0, 16, 0, 0xFF, 0xFF, 0xFF, 0x0F}});
         }, JpegError::BadSegment},
        {"segment length 1", [](JpegParts* p) {
             p->segments.push_back({0xEE, {}});   // patched below to length 1
         }, JpegError::BadSegment},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.name);
        JpegParts parts = Split(original);
        r.apply(&parts);
        // Palettes and tile tables are read in native mode only.
        const bool native = r.expected == JpegError::BadSegment &&
                            (std::string(r.name).find("APP") == 0);
        if (native)
            DropStandardMarks(&parts);
        Bytes edited = Join(parts);
        if (std::string(r.name) == "segment length 1") {
            for (size_t i = 0; i + 3 < edited.size(); ++i) {
                if (edited[i] == 0xFF && edited[i + 1] == 0xEE) {
                    edited[i + 3] = 1;
                    break;
                }
            }
        }
        MemorySink sink;
        EXPECT_EQ(DecodeBytes(edited, &sink, !native), r.expected);
    }
}

TEST(JpegDecoder, ProgressiveStandardStreamIsRefused)
{
    MemorySink sink;
    EXPECT_EQ(DecodeBytes(Fixture("progressive.jpg"), &sink), JpegError::Progressive);
    EXPECT_EQ(sink.beginCalls, 0);
}

// A tile table, a palette, a pyramid or skip bits: read correctly, drawn by a later stage.
TEST(JpegDecoder, NativeFormsOfLaterStagesAnswerNotBuilt)
{
    const Bytes original = Fixture("c420.jpg");
    JpegParts parts = Split(original);
    MakeNative(&parts);
    // 203 x 157 in tiles of 128 x 128: 2 x 2 tiles, their offsets after the segment.
    Bytes app2 = {128, 0, 128, 0, 4, 0, 0, 0};
    JpegParts tiled = parts;
    tiled.segments.insert(tiled.segments.begin(), Segment{0xE2, app2});
    Bytes stream = Join(tiled);
    // The offsets go right after the APP2 segment (outside its declared length of 10).
    const Bytes offsets = {0, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0};
    stream.insert(stream.begin() + 2 + 12, offsets.begin(), offsets.end());
    MemorySink sink;
    EXPECT_EQ(DecodeBytes(stream, &sink, false), JpegError::NotBuilt);
    // Three offsets for the picture's four tiles.
    JpegParts shortTable = parts;
    shortTable.segments.insert(shortTable.segments.begin(),
                               Segment{0xE2, {128, 0, 128, 0, 3, 0, 0, 0}});
    Bytes shortStream = Join(shortTable);
    shortStream.insert(shortStream.begin() + 2 + 12, offsets.begin(), offsets.begin() + 12);
    MemorySink refused;
    EXPECT_EQ(DecodeBytes(shortStream, &refused, false), JpegError::BadSegment);

    JpegParts pyramid = parts;
    pyramid.segments.insert(pyramid.segments.begin(), Segment{0xE4, {2, 0, 0, 0, 0, 0}});
    MemorySink sink2;
    EXPECT_EQ(DecodeBytes(Join(pyramid), &sink2, false), JpegError::NotBuilt);
}

// A tile table in a standard-mode stream is not honoured: its offsets read as a non-marker.
TEST(JpegDecoder, TileTableInStandardModeIsNotDecodable)
{
    JpegParts parts = Split(Fixture("c420.jpg"));
    parts.segments.insert(parts.segments.begin(), Segment{0xE2, {128, 0, 128, 0, 4, 0, 0, 0}});
    Bytes stream = Join(parts);
    const Bytes offsets = {0, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0};
    stream.insert(stream.begin() + 2 + 12, offsets.begin(), offsets.end());
    MemorySink sink;
    EXPECT_NE(DecodeBytes(stream, &sink, true), JpegError::None);
}

// FF D9 inside a standard scan with no bits pending ends the scan well; the blocks before it are
// drawn as the whole stream draws them.
TEST(JpegDecoder, EndMarkerInsideTheScanEndsItEarly)
{
    const Bytes original = Fixture("c444.jpg");
    JpegParts parts = Split(original);
    const size_t cut = parts.scan.size() / 2;
    size_t at = cut;
    while (parts.scan[at - 1] == 0xFF)
        ++at;
    parts.scan.resize(at);
    parts.scan.push_back(0xFF);
    parts.scan.push_back(0xD9);
    MemorySink whole, early;
    early.fill = 0x11;
    ASSERT_EQ(DecodeBytes(original, &whole), JpegError::None);
    ASSERT_EQ(DecodeBytes(Join(parts), &early), JpegError::None);
    // The first rows match; the last rows keep the fill colour.
    EXPECT_EQ(0, std::memcmp(whole.PixelAt(0, 0), early.PixelAt(0, 0), whole.width * 3));
    EXPECT_EQ(early.PixelAt(whole.width - 1, whole.height - 1)[0], 0x11);
}

// Every prefix and a sweep of flipped bytes: a clean failure or a picture, never a crash.
TEST(JpegDecoder, DamagedStreamsFailCleanly)
{
    for (const char* name : {"c420.jpg", "restart420.jpg", "grey.jpg"}) {
        SCOPED_TRACE(name);
        const Bytes original = Fixture(name);
        for (size_t n = 0; n < original.size(); n += (n < 700 ? 1 : 97)) {
            Bytes prefix(original.begin(), original.begin() + n);
            MemorySink sink;
            const JpegError e = DecodeBytes(prefix, &sink);
            // Without EOI a standard scan cannot end early: a short stream never decodes whole.
            EXPECT_NE(e, JpegError::None) << n;
        }
        for (size_t i = 2; i < original.size(); i += 13) {
            Bytes flipped = original;
            flipped[i] ^= 0x5A;
            MemorySink sink;
            DecodeBytes(flipped, &sink);
            Bytes native = flipped;
            DecodeBytes(native, &sink, false);
        }
    }
}

// A truncated native stream ends with Truncated, keeping the blocks drawn.
TEST(JpegDecoder, TruncatedNativeStreamKeepsItsBlocks)
{
    JpegParts parts = Split(Fixture("c444.jpg"));
    MakeNative(&parts);
    parts.scan.resize(parts.scan.size() / 3);
    MemorySink sink;
    sink.fill = 0x22;
    EXPECT_EQ(DecodeBytes(Join(parts), &sink, false), JpegError::Truncated);
    MemorySink whole;
    ASSERT_EQ(DecodeBytes(Fixture("c444.jpg"), &whole), JpegError::None);
    EXPECT_EQ(0, std::memcmp(whole.PixelAt(0, 0), sink.PixelAt(0, 0), whole.width * 3));
    EXPECT_EQ(sink.PixelAt(whole.width - 1, whole.height - 1)[0], 0x22);
}

TEST(JpegDecoder, AbortKeepsTheBlocksDrawn)
{
    const Bytes jpg = Fixture("c420.jpg");
    MemorySink whole, cut;
    cut.abortAfterYields = 20;
    cut.fill = 0x33;
    ASSERT_EQ(DecodeBytes(jpg, &whole), JpegError::None);
    EXPECT_EQ(DecodeBytes(jpg, &cut), JpegError::Aborted);
    EXPECT_EQ(cut.yields, 20);
    EXPECT_EQ(0, std::memcmp(whole.PixelAt(0, 0), cut.PixelAt(0, 0), 16 * 3));
    EXPECT_EQ(cut.PixelAt(whole.width - 1, whole.height - 1)[0], 0x33);
}

// Storage tiles of several sizes (edge blocks across tiles), transposition and grid pieces all
// give the flat picture.
TEST(JpegDecoder, TiledTransposedAndGridImagesHoldTheFlatPicture)
{
    for (const char* name : {"c420.jpg", "c422.jpg", "odd420.jpg"}) {
        SCOPED_TRACE(name);
        const Bytes jpg = Fixture(name);
        MemorySink flat;
        ASSERT_EQ(DecodeBytes(jpg, &flat), JpegError::None);
        struct Layout {
            int tile;
            bool transpose;
        };
        for (Layout layout : {Layout{64, false}, Layout{20, false}, Layout{7, false},
                              Layout{0, true}, Layout{20, true}}) {
            SCOPED_TRACE(layout.tile);
            SCOPED_TRACE(layout.transpose);
            MemorySink other;
            other.tileSide = layout.tile;
            other.transpose = layout.transpose;
            ASSERT_EQ(DecodeBytes(jpg, &other), JpegError::None);
            for (int y = 0; y < flat.height; ++y)
                for (int x = 0; x < flat.width; ++x)
                    ASSERT_EQ(other.Rgb(x, y), flat.Rgb(x, y)) << x << "," << y;
        }
        // Piece (1, 1) of a 2 x 2 grid overlapping by one pixel: drawn at (w - 1, h - 1), the
        // rest of the image untouched.
        MemorySink grid;
        grid.gridColumns = grid.gridRows = 2;
        grid.pieceColumn = grid.pieceRow = 1;
        grid.overlap = 1;
        grid.fill = 0x44;
        grid.tileSide = 50;
        ASSERT_EQ(DecodeBytes(jpg, &grid), JpegError::None);
        ASSERT_EQ(grid.width, 2 * flat.width - 1);
        for (int y = 0; y < flat.height; ++y)
            for (int x = 0; x < flat.width; ++x)
                ASSERT_EQ(grid.Rgb(flat.width - 1 + x, flat.height - 1 + y), flat.Rgb(x, y));
        EXPECT_EQ(grid.Rgb(0, 0), 0x444444u);
    }
}

// A grid piece placed past the image's end, or larger than the image, is clipped.
TEST(JpegDecoder, GridPiecesOutsideTheImageAreClipped)
{
    MemorySink sink;
    sink.gridColumns = 1;
    sink.pieceColumn = 3;   // outside a grid of one column
    sink.fill = 0x55;
    ASSERT_EQ(DecodeBytes(Fixture("c444.jpg"), &sink), JpegError::None);
    EXPECT_EQ(sink.Rgb(0, 0), 0x555555u);
}

// A stream filled by a producer while the decoder reads it, its length unknown until the end:
// the frame is begun before the data is complete, and the picture equals the whole-stream one.
TEST(JpegDecoder, SlowlyFedStreamOfUnknownLength)
{
    const Bytes jpg = Fixture("c420.jpg");
    CFicheroHttp stream;
    ASSERT_TRUE(stream.BeginFill(static_cast<int64_t>(jpg.size()) + 16, -1));
    std::atomic<bool> begun{false};
    std::atomic<bool> completeAtBegin{true};
    struct WatchingSink : MemorySink {
        std::atomic<bool>* begun;
        std::atomic<bool>* completeAtBegin;
        CFicheroHttp* stream;
        JpegError BeginFrame(const JpegFrameInfo& f, JpegTarget* t) override
        {
            completeAtBegin->store(stream->GetMemoryState() == BufferComplete);
            begun->store(true);
            return MemorySink::BeginFrame(f, t);
        }
    } sink;
    sink.begun = &begun;
    sink.completeAtBegin = &completeAtBegin;
    sink.stream = &stream;
    std::thread producer([&] {
        for (size_t at = 0; at < jpg.size(); at += 700) {
            const size_t n = std::min<size_t>(700, jpg.size() - at);
            stream.AppendFill(jpg.data() + at, static_cast<int>(n));
            Sleep(2);
        }
        stream.EndFill(true);
    });
    JpegDecodeOptions options;
    options.standard = true;
    JpegDecoder decoder(&stream, 0, &sink, options);
    const JpegError e = decoder.Decode();
    producer.join();
    ASSERT_EQ(e, JpegError::None);
    EXPECT_TRUE(begun.load());
    EXPECT_FALSE(completeAtBegin.load());
    EXPECT_TRUE(sink.progressInRange);
    MemorySink whole;
    ASSERT_EQ(DecodeBytes(jpg, &whole), JpegError::None);
    EXPECT_EQ(whole.memory, sink.memory);
}

namespace {

// An APP3 payload of n entries: entry i is (blue, green, red) = f(i).
Bytes PalettePayload(int n, uint32_t (*f)(int))
{
    Bytes p;
    for (int i = 0; i < n; ++i) {
        const uint32_t c = f(i);
        p.insert(p.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8),
                           static_cast<uint8_t>(c >> 16), 0});
    }
    return p;
}

uint32_t Cube(int i)   // 6 x 6 x 6 colour cube
{
    return static_cast<uint32_t>((i % 6) * 51 | ((i / 6) % 6) * 51 << 8 | (i / 36) * 51 << 16);
}

uint32_t Ramp(int i) { return static_cast<uint32_t>(255 - i) * 0x010101u; }

}  // namespace

// 8-bit output of a colour stream: each pixel is the palette entry the 5-6-5 table gives for
// the colour the 24-bit decode shows.
TEST(JpegDecoder, EightBitOutputThroughThePalette)
{
    JpegParts parts = Split(Fixture("c420.jpg"));
    MakeNative(&parts);
    const Bytes app3 = PalettePayload(216, Cube);
    parts.segments.insert(parts.segments.begin(), Segment{0xE3, app3});
    const Bytes stream = Join(parts);
    MemorySink eight, full;
    eight.depth = 8;
    ASSERT_EQ(DecodeBytes(stream, &eight, false), JpegError::None);
    ASSERT_EQ(DecodeBytes(stream, &full, false), JpegError::None);
    uint32_t entries[216];
    for (int i = 0; i < 216; ++i)
        entries[i] = Cube(i);
    JpegPaletteTables tables;
    BuildJpegPaletteTables(entries, 216, &tables);
    ASSERT_TRUE(tables.by565);
    for (int y = 0; y < full.height; ++y)
        for (int x = 0; x < full.width; ++x)
            ASSERT_EQ(*eight.PixelAt(x, y), tables.by565[Reduce565(full.Rgb(x, y))]) << x << "," << y;
}

// One native component of indices: the index at 8 bits, its palette entry at 24 bits.
TEST(JpegDecoder, IndexedStreamGivesPaletteEntries)
{
    JpegParts parts = Split(Fixture("grey.jpg"));
    MakeNative(&parts);
    parts.segments.insert(parts.segments.begin(), Segment{0xE3, PalettePayload(256, Ramp)});
    const Bytes stream = Join(parts);
    MemorySink index, full;
    index.depth = 8;
    ASSERT_EQ(DecodeBytes(stream, &index, false), JpegError::None);
    ASSERT_EQ(DecodeBytes(stream, &full, false), JpegError::None);
    int nonZero = 0;
    for (int y = 0; y < full.height; ++y) {
        for (int x = 0; x < full.width; ++x) {
            const uint8_t i = *index.PixelAt(x, y);
            nonZero += i != 0;
            ASSERT_EQ(full.Rgb(x, y), Ramp(i));
        }
    }
    EXPECT_GT(nonZero, 0);
}

TEST(JpegPalette, LookupTablesSplitAtMidpoints)
{
    const uint32_t entries[3] = {0x000000, 0xFFFFFF, 0x0000F8};   // black, white, blue
    JpegPaletteTables t;
    BuildJpegPaletteTables(entries, 3, &t);
    ASSERT_TRUE(t.by565 && t.byChromaKey);
    EXPECT_EQ(t.by565[0x0000], 0);
    EXPECT_EQ(t.by565[0x001F], 2);
    EXPECT_EQ(t.by565[0x0010], 2);        // past the midpoint 0x000F towards blue
    EXPECT_EQ(t.by565[0x000F], 0);
    EXPECT_EQ(t.by565[0xFFFF], 1);        // the last entry takes the rest
    int y, cb, cr;
    JpegPaletteYcc(0xFFFFFF, &y, &cb, &cr);
    EXPECT_EQ(y, 255);
    EXPECT_EQ(t.byChromaKey[JpegChromaKey(y, cb, cr)], 1);
    // The nearest-magnitude search picks the entry below the position.
    EXPECT_EQ(JpegNearestPaletteIndex(t, 255, 0, 0), 2);
    EXPECT_EQ(JpegNearestPaletteIndex(t, 0, 0, 0), 0);
}

// A picture wider than an image stores untransposed, into transposed storage tiles.
TEST(JpegDecoder, WidePictureIntoTransposedTiles)
{
    const Picture ref = ReadPnm("long.pnm");
    MemorySink sink;
    sink.transpose = true;
    sink.tileSide = 256;
    ASSERT_EQ(DecodeBytes(Fixture("long.jpg"), &sink), JpegError::None);
    ASSERT_EQ(sink.width, ref.height);
    ASSERT_EQ(sink.height, ref.width);
    int worst = 0;
    for (int y = 0; y < ref.height; ++y) {
        for (int x = 0; x < ref.width; ++x) {
            const int diff = static_cast<int>(sink.Rgb(x, y) & 255) - ref.At(x, y, 0);
            worst = std::max(worst, diff < 0 ? -diff : diff);
        }
    }
    EXPECT_LE(worst, 1);
}

// A native read that meets a non-marker starts once more from the frame header in standard mode:
// here a tile table after the frame header swallows the next segment's first bytes in native
// mode, while standard mode skips it by its length.
TEST(JpegDecoder, NonMarkerRetriesOnceInStandardMode)
{
    const Bytes original = Fixture("c420.jpg");
    JpegParts parts = Split(original);
    DropStandardMarks(&parts);   // nothing says "standard" before the scan
    size_t sof = 0;
    while (parts.segments[sof].marker != 0xC0)
        ++sof;
    parts.segments.insert(parts.segments.begin() + sof + 1,
                          Segment{0xE2, {128, 0, 128, 0, 1, 0, 0, 0}});
    parts.segments.insert(parts.segments.begin() + sof + 2, Segment{0xDB, {}});
    // A DQT follows the tile table: its first four bytes are what native mode takes as the
    // offset. Give it the real table 0 so standard mode reads it well.
    parts.segments[sof + 2].payload = FindSegment(&parts, 0xDB)->payload;
    const Bytes stream = Join(parts);
    MemorySink retried, whole;
    ASSERT_EQ(DecodeBytes(stream, &retried, false), JpegError::None);
    EXPECT_EQ(retried.beginCalls, 2);
    ASSERT_EQ(DecodeBytes(original, &whole), JpegError::None);
    EXPECT_EQ(retried.memory, whole.memory);
    // In standard mode a non-marker ends the call: here the offsets standard mode does not read.
    JpegParts broken = Split(original);
    broken.segments.insert(broken.segments.begin(), Segment{0xE2, {128, 0, 128, 0, 1, 0, 0, 0}});
    Bytes withOffsets = Join(broken);
    const Bytes offset = {0x10, 0x20, 0x30, 0x40};
    withOffsets.insert(withOffsets.begin() + 2 + 12, offset.begin(), offset.end());
    MemorySink standard;
    EXPECT_EQ(DecodeBytes(withOffsets, &standard, true), JpegError::BadMarker);
}
