// The decoder's stages on hand-made bytes: format tables, the Exif reader, Huffman tables and
// the bit reader, the inverse transform and the pixel writers.
#include <cmath>
#include <random>

#include "images/pixel_format.h"
#include "jpeg_test_support.h"

using namespace jpeg_test;

namespace {

// Writes bits most significant first, with the standard coding's stuffed zero after 0xFF.
class BitWriter {
public:
    explicit BitWriter(bool stuff) : m_stuff(stuff) {}
    void Put(uint32_t value, int bits)
    {
        for (int i = bits - 1; i >= 0; --i) {
            m_byte = static_cast<uint8_t>(m_byte << 1 | ((value >> i) & 1));
            if (++m_count == 8)
                Flush();
        }
    }
    Bytes Finish()
    {
        while (m_count)
            Put(1, 1);   // pad with ones, as encoders do
        return m_out;
    }

private:
    void Flush()
    {
        m_out.push_back(m_byte);
        if (m_stuff && m_byte == 0xFF)
            m_out.push_back(0);
        m_byte = 0;
        m_count = 0;
    }
    bool m_stuff;
    Bytes m_out;
    uint8_t m_byte = 0;
    int m_count = 0;
};

// Canonical code of a symbol in a DHT-style table.
bool CodeOf(const JpegHuffmanCodes& codes, int symbol, uint32_t* code, int* length)
{
    uint32_t c = 0;
    int k = 0;
    for (int len = 1; len <= 16; ++len) {
        for (int i = 0; i < codes.counts[len - 1]; ++i, ++k, ++c) {
            if (codes.symbols[k] == symbol) {
                *code = c;
                *length = len;
                return true;
            }
        }
        c <<= 1;
    }
    return false;
}

int Category(int v)
{
    int a = v < 0 ? -v : v, n = 0;
    while (a) {
        ++n;
        a >>= 1;
    }
    return n;
}

// One block (zig-zag order) with the default luminance tables; DC given as its difference.
void EncodeBlock(BitWriter* w, const int* zz, bool eobAfter63 = false)
{
    uint32_t code = 0;
    int len = 0;
    const int dcCat = Category(zz[0]);
    CodeOf(kJpegDefaultDcLuminance, dcCat, &code, &len);
    w->Put(code, len);
    if (dcCat)
        w->Put(zz[0] < 0 ? zz[0] + (1 << dcCat) - 1 : zz[0], dcCat);
    int run = 0;
    int last = 0;
    for (int k = 1; k < 64; ++k)
        if (zz[k])
            last = k;
    for (int k = 1; k <= last; ++k) {
        if (!zz[k]) {
            ++run;
            continue;
        }
        while (run > 15) {
            CodeOf(kJpegDefaultAcLuminance, 0xF0, &code, &len);
            w->Put(code, len);
            run -= 16;
        }
        const int cat = Category(zz[k]);
        CodeOf(kJpegDefaultAcLuminance, run << 4 | cat, &code, &len);
        w->Put(code, len);
        w->Put(zz[k] < 0 ? zz[k] + (1 << cat) - 1 : zz[k], cat);
        run = 0;
    }
    if (last < 63 || eobAfter63) {
        CodeOf(kJpegDefaultAcLuminance, 0, &code, &len);
        w->Put(code, len);
    }
}

// A decoder with one grey component and the default tables, reading the given entropy bytes.
struct StageDecoder {
    MemorySink sink;
    JpegDecoder decoder{nullptr, 0, &sink, JpegDecodeOptions()};
    StageDecoder(const Bytes& data, bool standard)
    {
        Bytes dqt(65, 1);
        dqt[0] = 0;
        EXPECT_EQ(decoder.ReadQuantTables(dqt.data(), dqt.size()), JpegError::None);
        const uint8_t sof[] = {8, 0, 8, 0, 8, 1, 1, 0x11, 0};
        EXPECT_EQ(decoder.ReadFrameHeader(sof, sizeof(sof), false), JpegError::None);
        const uint8_t sos[] = {1, 1, 0x00, 0, 63, 0};
        EXPECT_EQ(decoder.ReadScanHeader(sos, sizeof(sos)), JpegError::None);
        decoder.UseEntropyBytes(data.data(), data.size(), standard);
    }
};

}  // namespace

TEST(JpegFormat, ZigZagIsAPermutation)
{
    bool seen[64] = {};
    for (int k = 0; k < 64; ++k) {
        ASSERT_LT(kJpegNaturalOrder[k], 64);
        EXPECT_FALSE(seen[kJpegNaturalOrder[k]]);
        seen[kJpegNaturalOrder[k]] = true;
    }
    EXPECT_EQ(kJpegNaturalOrder[63], 63);
    EXPECT_EQ(kJpegNaturalOrder[2], 8);
}

// cjpeg writes the standard tables unless asked to optimise: ours must be the same bytes.
TEST(JpegFormat, DefaultTablesAreTheStandardOnes)
{
    JpegParts parts = Split(Fixture("c420.jpg"));
    int tables = 0;
    for (const Segment& s : parts.segments) {
        if (s.marker != 0xC4)
            continue;
        size_t pos = 0;
        while (pos < s.payload.size()) {
            const uint8_t tcth = s.payload[pos];
            const JpegHuffmanCodes& codes =
                tcth == 0x00 ? kJpegDefaultDcLuminance
                : tcth == 0x01 ? kJpegDefaultDcChrominance
                : tcth == 0x10 ? kJpegDefaultAcLuminance : kJpegDefaultAcChrominance;
            int total = 0;
            for (int i = 0; i < 16; ++i) {
                EXPECT_EQ(s.payload[pos + 1 + i], codes.counts[i]) << int(tcth);
                total += s.payload[pos + 1 + i];
            }
            ASSERT_EQ(total, codes.symbolCount);
            for (int i = 0; i < total; ++i)
                EXPECT_EQ(s.payload[pos + 17 + i], codes.symbols[i]) << int(tcth) << " " << i;
            pos += 17 + total;
            ++tables;
        }
    }
    EXPECT_EQ(tables, 4);
}

TEST(JpegFormat, ExifOrientation)
{
    auto le = [](std::initializer_list<uint8_t> ifd, uint8_t firstIfd = 8) {
        Bytes b = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 0x2A, 0, firstIfd, 0, 0, 0};
        b.reserve(b.size() + ifd.size());
        b.insert(b.end(), ifd);
        return b;
    };
    struct Case {
        const char* name;
        Bytes payload;
        int expected;
    };
    const Case cases[] = {
        {"short, little-endian", le({1, 0, 0x12, 1, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0}), 6},
        {"stored 0 is 1", le({1, 0, 0x12, 1, 3, 0, 1, 0, 0, 0, 0, 0, 0, 0}), 1},
        {"long value", le({1, 0, 0x12, 1, 4, 0, 1, 0, 0, 0, 3, 0, 0, 0}), 3},
        {"after another tag", le({2, 0, 0x0F, 1, 2, 0, 4, 0, 0, 0, 'a', 'b', 'c', 0,
                                  0x12, 1, 3, 0, 1, 0, 0, 0, 8, 0, 0, 0}), 8},
        {"a large value outside the payload", le({2, 0, 0x0F, 1, 2, 0, 40, 0, 0, 0, 200, 0, 0,
                                                  0, 0x12, 1, 3, 0, 1, 0, 0, 0, 8, 0, 0, 0}), 0},
        {"first IFD at 20", le({1, 0, 0x12, 1, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0}, 20), 0},
        {"value 9", le({1, 0, 0x12, 1, 3, 0, 1, 0, 0, 0, 9, 0, 0, 0}), 0},
        {"entries cut short", le({2, 0, 0x0F, 1, 2, 0, 4, 0, 0, 0}), 0},
        {"big-endian", {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 0x2A, 0, 0, 0, 8, 0, 1,
                        0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 5, 0, 0}, 5},
        {"not Exif", {'J', 'F', 'I', 'F', 0, 0, 'I', 'I', 0x2A, 0, 8, 0, 0, 0, 0, 0}, 0},
        {"unknown byte order", {'E', 'x', 'i', 'f', 0, 0, 'I', 'M', 0x2A, 0, 8, 0, 0, 0, 0, 0},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadExifOrientation(c.payload.data(), c.payload.size()), c.expected);
    }
}

TEST(JpegHuffman, TablesRefuseWhatTheFormatCannotHold)
{
    JpegHuffmanTable t;
    uint8_t symbols[256] = {};
    const uint8_t sixteenDc[16] = {0, 0, 0, 0, 16};
    EXPECT_FALSE(BuildHuffmanTable(sixteenDc, symbols, 256, false, &t));
    EXPECT_TRUE(BuildHuffmanTable(sixteenDc, symbols, 256, true, &t));
    const uint8_t overflow[16] = {3};
    EXPECT_FALSE(BuildHuffmanTable(overflow, symbols, 256, true, &t));
    const uint8_t full[16] = {2};
    EXPECT_TRUE(BuildHuffmanTable(full, symbols, 256, true, &t));
    const uint8_t none[16] = {};
    EXPECT_FALSE(BuildHuffmanTable(none, symbols, 256, true, &t));
}

// Hand-coded blocks in both codings come back as their coefficients.
TEST(JpegHuffman, BlocksRoundTrip)
{
    std::mt19937 rnd(5);
    for (bool standard : {true, false}) {
        SCOPED_TRACE(standard);
        std::vector<std::vector<int>> blocks;
        BitWriter w(standard);
        // Then dense blocks of small values, whose short codes share a look-up in twos, up to
        // the last coefficients and across the end of the block.
        for (int b = 0; b < 80; ++b) {
            std::vector<int> zz(64, 0);
            zz[0] = static_cast<int>(rnd() % 4001) - 2000;
            const bool dense = b >= 40;
            const int nonzero = dense ? 20 + static_cast<int>(rnd() % 44)
                                : b % 7 == 0 ? 0 : static_cast<int>(rnd() % 30);
            for (int i = 0; i < nonzero; ++i) {
                const int mag = dense ? 1 + b % 3 : b % 5 == 0 ? 1000 : 40;
                zz[1 + rnd() % 63] = static_cast<int>(rnd() % (2 * mag + 1)) - mag;
            }
            if (b == 3 || (dense && b % 4 == 1))
                zz[63] = b == 3 ? 5 : 1;   // the last coefficient: no EOB follows
            if (dense && b % 4 == 2)
                zz[47] = zz[48] = 1;
            if (dense && b % 8 == 5) {   // every coefficient: the last starts a look-up
                for (int k = 1; k < 64; ++k)
                    zz[k] = rnd() % 2 ? 1 : -1;
            }
            if (dense && b % 8 == 6)
                zz[0] = b % 3 - 1;   // a short DC code right after such a block
            EncodeBlock(&w, zz.data());
            blocks.push_back(zz);
        }
        const Bytes data = w.Finish();
        StageDecoder s(data, standard);
        int predictor = 0;
        for (size_t b = 0; b < blocks.size(); ++b) {
            SCOPED_TRACE(b);
            int16_t coef[64] = {};
            bool ac = false;
            ASSERT_TRUE(s.decoder.DecodeBlock(0, coef, &ac));
            predictor += blocks[b][0];
            EXPECT_EQ(coef[0], predictor);
            bool anyAc = false;
            for (int k = 1; k < 64; ++k) {
                EXPECT_EQ(coef[kJpegNaturalOrder[k]], blocks[b][k]) << k;
                anyAc |= blocks[b][k] != 0;
            }
            EXPECT_EQ(ac, anyAc);
        }
    }
}

// Standard mode: FF 00 is one byte FF; a marker ends the data and zeros follow. Native mode:
// FF 00 are two data bytes.
TEST(JpegHuffman, StuffingAndMarkers)
{
    // DC category 0 is the 2-bit code 00; category 1 is 010. The bytes FF 00 in native mode are
    // the codes 11111111 00000000; the luminance DC table has no code 11111111 x, so native
    // reading of FF00 data that standard mode reads as one FF must differ.
    BitWriter w(true);
    int zz[64] = {};
    EncodeBlock(&w, zz);   // DC 0, EOB: 00 1010
    zz[0] = -1;
    EncodeBlock(&w, zz);
    Bytes data = w.Finish();
    {
        StageDecoder s(data, true);
        int16_t coef[64] = {};
        bool ac;
        ASSERT_TRUE(s.decoder.DecodeBlock(0, coef, &ac));
        EXPECT_EQ(coef[0], 0);
        ASSERT_TRUE(s.decoder.DecodeBlock(0, coef, &ac));
        EXPECT_EQ(coef[0], -1);
    }
    // A marker right at the start: zero bits, which read as DC category 0 and an EOB-less run.
    const Bytes marker = {0xFF, 0xD9};
    StageDecoder m(marker, true);
    int16_t coef[64] = {};
    bool ac;
    EXPECT_TRUE(m.decoder.DecodeBlock(0, coef, &ac));
    EXPECT_EQ(coef[0], 0);
    // The luminance DC table's longest code is 111111110 (category 11): all ones past it is
    // no code at all.
    const Bytes corrupt = {0xFF, 0xFF, 0xFF, 0xFF};
    StageDecoder c(corrupt, false);
    EXPECT_FALSE(c.decoder.DecodeBlock(0, coef, &ac));
}

// The SIMD transforms give the plain transform's samples to the bit.
TEST(JpegIdct, EveryPathGivesThePlainSamples)
{
    std::mt19937 rnd(11);
    float mult[64];
    JpegQuantTable q;
    for (int i = 0; i < 64; ++i)
        q.values[i] = static_cast<uint16_t>(1 + rnd() % 60);
    BuildQuantMultipliers(&q);
    std::copy(q.multipliers, q.multipliers + 64, mult);
    const JpegIdctFn paths[] = {ChooseJpegIdct(SimdLevel::Sse2), ChooseJpegIdct(SimdLevel::Avx2)};
    const SimdLevel machine = DetectSimdLevel();
    for (int trial = 0; trial < 3000; ++trial) {
        int16_t coef[64] = {};
        const int kind = trial % 5;
        for (int i = 0; i < 64; ++i) {
            if (kind == 0 && i > 0)
                break;                                   // DC only
            if (kind == 1 && (i & 7) != 0 && i > 8)
                continue;                                // a few columns without AC
            const int range = kind == 4 ? 32767 : 200;   // extremes saturate
            coef[i] = static_cast<int16_t>(static_cast<int>(rnd() % (2 * range + 1)) - range);
        }
        int16_t plain[64];
        JpegIdctPlain(coef, mult, plain);
        if (kind == 0) {
            int16_t flat[64];
            JpegIdctDcOnly(static_cast<float>(coef[0]) * mult[0], flat);
            ASSERT_EQ(0, std::memcmp(flat, plain, sizeof(plain)));
        }
        for (int p = 0; p < 2; ++p) {
            if (machine < (p == 0 ? SimdLevel::Sse2 : SimdLevel::Avx2))
                continue;
            int16_t out[64];
            paths[p](coef, mult, out);
            ASSERT_EQ(0, std::memcmp(out, plain, sizeof(plain))) << trial << " path " << p;
        }
    }
}

// The float transform stays within one of the exact transform (for inputs that do not clip).
TEST(JpegIdct, CloseToTheExactTransform)
{
    std::mt19937 rnd(3);
    JpegQuantTable q;
    for (int i = 0; i < 64; ++i)
        q.values[i] = 1;
    BuildQuantMultipliers(&q);
    for (int trial = 0; trial < 500; ++trial) {
        int16_t coef[64] = {};
        for (int i = 0; i < 64; ++i)
            coef[i] = static_cast<int16_t>(static_cast<int>(rnd() % 101) - 50);
        int16_t out[64];
        JpegIdctPlain(coef, q.multipliers, out);
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                double sum = 0;
                for (int v = 0; v < 8; ++v) {
                    for (int u = 0; u < 8; ++u) {
                        const double cu = u ? 1 : std::sqrt(0.5), cv = v ? 1 : std::sqrt(0.5);
                        sum += cu * cv * coef[v * 8 + u] *
                               std::cos((2 * x + 1) * u * M_PI / 16) *
                               std::cos((2 * y + 1) * v * M_PI / 16);
                    }
                }
                EXPECT_NEAR(out[y * 8 + x], sum / 4, 1.0);
            }
        }
    }
}

// Every writer against the reference conversion, clipped and transposed, at every depth.
TEST(JpegColor, WritersStoreTheReferencePixels)
{
    std::mt19937 rnd(9);
    int16_t y[64], cb[64], cr[64];
    for (int i = 0; i < 64; ++i) {
        y[i] = static_cast<int16_t>(static_cast<int>(rnd() % 400) - 200);
        cb[i] = static_cast<int16_t>(static_cast<int>(rnd() % 400) - 200);
        cr[i] = static_cast<int16_t>(static_cast<int>(rnd() % 400) - 200);
    }
    struct Sampling {
        int hs, vs;
        bool grey;
    };
    for (int depth : {15, 16, 24, 32}) {
        for (Sampling s : {Sampling{1, 1, false}, Sampling{2, 1, false}, Sampling{1, 2, false},
                           Sampling{2, 2, false}, Sampling{1, 1, true}}) {
            for (SimdLevel level : {SimdLevel::Plain, SimdLevel::Sse2, SimdLevel::Ssse3,
                                    SimdLevel::Avx2}) {
                for (int cols : {8, 5}) {
                    SCOPED_TRACE(testing::Message() << depth << " " << s.hs << s.vs << s.grey
                                                    << " level " << int(level) << " cols " << cols);
                    if (level > DetectSimdLevel())
                        continue;
                    const JpegWriterFn w = ChooseJpegWriter(depth, false, s.grey, s.hs, s.vs, level);
                    ASSERT_NE(w, nullptr);
                    const int bpp = (depth + 7) / 8;
                    const JpegBlockInput in{y, s.grey ? nullptr : cb, s.grey ? nullptr : cr,
                                            s.hs, s.vs};
                    Bytes image(12 * 12 * bpp, 0xEE);
                    const ptrdiff_t stride = 12 * bpp;
                    w(in, image.data() + stride + bpp, bpp, stride, cols, 7);
                    for (int j = 0; j < 12; ++j) {
                        for (int i = 0; i < 12; ++i) {
                            const uint8_t* p = image.data() + j * stride + i * bpp;
                            const bool inside = i >= 1 && i < 1 + cols && j >= 1 && j < 8;
                            if (!inside) {
                                ASSERT_EQ(p[0], 0xEE) << i << "," << j;
                                continue;
                            }
                            const int bx = i - 1, by = j - 1;
                            const int c = (by / s.vs) * 8 + bx / s.hs;
                            const uint32_t rgb = JpegYccToRgb(y[by * 8 + bx], s.grey ? 0 : cb[c],
                                                              s.grey ? 0 : cr[c]);
                            uint32_t want = rgb, got = 0;
                            std::memcpy(&got, p, bpp);
                            if (depth == 16)
                                want = Reduce565(rgb);
                            else if (depth == 15)
                                want = Reduce555(rgb);
                            else if (depth == 24)
                                want &= 0xFFFFFF;
                            ASSERT_EQ(got, want) << i << "," << j;
                        }
                    }
                }
            }
        }
    }
}

TEST(JpegColor, ConversionClampsEachChannel)
{
    EXPECT_EQ(JpegYccToRgb(0, 0, 0), 0x808080u);
    EXPECT_EQ(JpegYccToRgb(-128, 0, 0), 0x000000u);
    EXPECT_EQ(JpegYccToRgb(127, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(JpegYccToRgb(0, 0, 127) >> 16, 255u);   // red clamps high
    EXPECT_EQ(JpegYccToRgb(0, -128, 0) & 255, 0u);    // blue clamps low
    // The red-only store of 32-bit pixels leaves the other bytes.
    const JpegWriterFn w = ChooseJpegWriter(32, true, true, 1, 1, SimdLevel::Avx2);
    int16_t y[64] = {};
    const JpegBlockInput in{y, nullptr, nullptr, 1, 1};
    uint32_t px = 0x11223344;
    w(in, reinterpret_cast<uint8_t*>(&px), 4, 32, 1, 1);
    EXPECT_EQ(px, 0x11803344u);
}
