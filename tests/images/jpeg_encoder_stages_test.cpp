// JPEG encoder stages on hand-made input: quality tables, the forward transform and
// quantisation, code tables (standard and optimised, limited to 16 bits) and the bit writer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/stream.h"
#include "images/jpeg_encoder.h"
#include "images/jpeg_format.h"

namespace {

// Kraft sum of DHT counts, in units of 2^-16.
uint32_t KraftSum(const uint8_t counts[16])
{
    uint32_t sum = 0;
    for (int length = 1; length <= 16; ++length)
        sum += static_cast<uint32_t>(counts[length - 1]) << (16 - length);
    return sum;
}

}  // namespace

TEST(JpegEncoderStages, QualityTables)
{
    const struct {
        int quality;
        float scale;
    } scales[] = {{0, 50.0f}, {1, 50.0f}, {25, 2.0f}, {50, 1.0f}, {75, 0.5f}, {100, 0.0f},
                  {150, 0.0f}};
    for (const auto& c : scales) {
        SCOPED_TRACE(c.quality);
        EXPECT_FLOAT_EQ(JpegQualityScale(c.quality), c.scale);
    }

    uint16_t q[64];
    BuildJpegQuantTable(kJpegLuminanceQuant, JpegQualityScale(50), q);
    for (int k = 0; k < 64; ++k)
        EXPECT_EQ(q[k], kJpegLuminanceQuant[k]) << k;
    BuildJpegQuantTable(kJpegLuminanceQuant, JpegQualityScale(100), q);
    for (int k = 0; k < 64; ++k)
        EXPECT_EQ(q[k], 1) << k;
    BuildJpegQuantTable(kJpegLuminanceQuant, JpegQualityScale(0), q);
    for (int k = 0; k < 64; ++k)
        EXPECT_EQ(q[k], std::min(255, kJpegLuminanceQuant[k] * 50)) << k;

    // Quality 75 halves the tables, a half going to the even neighbour.
    const uint8_t* tables[2] = {kJpegLuminanceQuant, kJpegChrominanceQuant};
    int halves = 0;
    for (const uint8_t* base : tables) {
        BuildJpegQuantTable(base, JpegQualityScale(75), q);
        for (int k = 0; k < 64; ++k) {
            SCOPED_TRACE(k);
            const int v = base[k];
            if (v == 13 || v == 11) {
                EXPECT_EQ(q[k], 6);
            }
            if (v == 17) {
                EXPECT_EQ(q[k], 8);
            }
            const int expected = (v % 2 == 0) ? v / 2 : ((v / 2) % 2 == 0 ? v / 2 : v / 2 + 1);
            EXPECT_EQ(q[k], expected);
            halves += v % 2;
        }
    }
    EXPECT_GT(halves, 10);
}

TEST(JpegEncoderStages, ForwardTransformMatchesTheDefinition)
{
    uint16_t ones[64];
    for (uint16_t& v : ones)
        v = 1;
    float reciprocal[64];
    BuildJpegQuantReciprocals(ones, reciprocal);

    uint32_t seed = 12345;
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        float samples[64];
        for (float& s : samples) {
            seed = seed * 1103515245u + 12345u;
            s = static_cast<float>(static_cast<int>((seed >> 16) & 0xFF) - 128);
        }
        float dct[64];
        JpegForwardDct(samples, dct);
        for (int u = 0; u < 8; ++u) {
            for (int v = 0; v < 8; ++v) {
                double sum = 0;
                for (int y = 0; y < 8; ++y)
                    for (int x = 0; x < 8; ++x)
                        sum += samples[y * 8 + x] * std::cos((2 * y + 1) * u * M_PI / 16) *
                               std::cos((2 * x + 1) * v * M_PI / 16);
                const double cu = u ? 1 : M_SQRT1_2, cv = v ? 1 : M_SQRT1_2;
                const double exact = 0.25 * cu * cv * sum;
                ASSERT_NEAR(dct[u * 8 + v] * reciprocal[u * 8 + v], exact, 1e-2) << u << v;
            }
        }
        // Quantised into zig-zag order, the kept count cuts by natural index.
        int16_t zz[64];
        JpegQuantise(dct, reciprocal, 8, zz);
        for (int z = 0; z < 64; ++z) {
            const int k = kJpegNaturalOrder[z];
            if (k >= 8)
                ASSERT_EQ(zz[z], 0) << z;
            else
                ASSERT_EQ(zz[z], std::lrint(dct[k] * reciprocal[k])) << z;
        }
    }
}

TEST(JpegEncoderStages, StandardCodeTables)
{
    JpegCodeTable t;
    BuildJpegCodeTable(kJpegDefaultDcLuminance.counts, kJpegDefaultDcLuminance.symbols,
                       kJpegDefaultDcLuminance.symbolCount, &t);
    // T.81 Table K.3: category 0 is 00, 1 is 010, 11 is 111111110.
    EXPECT_EQ(t.length[0], 2);
    EXPECT_EQ(t.code[0], 0);
    EXPECT_EQ(t.length[1], 3);
    EXPECT_EQ(t.code[1], 2);
    EXPECT_EQ(t.length[11], 9);
    EXPECT_EQ(t.code[11], 0x1FE);
    BuildJpegCodeTable(kJpegDefaultAcLuminance.counts, kJpegDefaultAcLuminance.symbols,
                       kJpegDefaultAcLuminance.symbolCount, &t);
    // Table K.5: EOB 1010, ZRL 11111111001.
    EXPECT_EQ(t.length[0x00], 4);
    EXPECT_EQ(t.code[0x00], 0xA);
    EXPECT_EQ(t.length[0xF0], 11);
    EXPECT_EQ(t.code[0xF0], 0x7F9);
}

TEST(JpegEncoderStages, OptimisedTablesStayWithinSixteenBits)
{
    const struct {
        const char* what;
        std::vector<uint32_t> counts;   // by symbol
    } cases[] = {
        {"one symbol", {500}},
        {"two symbols", {3, 1}},
        {"even", std::vector<uint32_t>(162, 10)},
        // Fibonacci weights make the tree as deep as it can be: far past 16 bits unlimited.
        {"skewed", [] {
             std::vector<uint32_t> f(40);
             uint32_t a = 1, b = 1;
             for (uint32_t& v : f) {
                 v = a;
                 const uint32_t c = a + b;
                 a = b;
                 b = c;
             }
             return f;
         }()},
        {"skewed and light", [] {
             std::vector<uint32_t> f(30, 1);
             f[0] = 1u << 30;
             return f;
         }()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        uint32_t frequency[256] = {};
        int used = 0;
        for (size_t s = 0; s < c.counts.size(); ++s) {
            frequency[s * 3 % 256] = c.counts[s];
            used += c.counts[s] != 0;
        }
        uint8_t counts[16], symbols[256];
        const int n = BuildJpegOptimisedTable(frequency, counts, symbols);
        EXPECT_EQ(n, used);
        int total = 0;
        for (int i = 0; i < 16; ++i)
            total += counts[i];
        EXPECT_EQ(total, n);
        EXPECT_LT(KraftSum(counts), 1u << 16) << "prefix-free, the code of all 1 bits unused";
        // Every symbol that occurred has a code, and heavier symbols never get longer codes.
        JpegCodeTable t;
        BuildJpegCodeTable(counts, symbols, n, &t);
        for (int s = 0; s < 256; ++s) {
            if (!frequency[s])
                continue;
            ASSERT_GE(t.length[s], 1) << s;
            ASSERT_LE(t.length[s], 16) << s;
            for (int o = 0; o < 256; ++o) {
                if (frequency[o] > frequency[s]) {
                    ASSERT_LE(t.length[o], t.length[s]) << o << " vs " << s;
                }
            }
        }
    }
}

TEST(JpegEncoderStages, BitWriterPacksAndStuffsOnlyWhenAsked)
{
    for (bool stuff : {false, true}) {
        SCOPED_TRACE(stuff);
        CFicheroHttp out;
        out.Core().m_memoryMode = 1;
        ASSERT_TRUE(out.Open("", OpenWrite));
        {
            JpegBitWriter w(&out, stuff);
            w.Put(0x7, 3);       // 111
            w.Put(0x1F, 5);      // 11111: the byte 0xFF
            w.Put(0x1, 1);       // 1, then padding with 0 bits: 0x80
            w.Align();
            for (int i = 0; i < JpegBitWriter::kBufferSize; ++i)
                w.Put(0xFF, 8);   // across the buffer's end
            ASSERT_TRUE(w.Flush());
            EXPECT_EQ(w.dataBytes(), 2 + JpegBitWriter::kBufferSize);
        }
        const uint8_t* data = out.Core().GetMemoryData();
        const int64_t filled = out.Core().GetMemoryFilled();
        const int64_t expected = stuff ? 2 * (1 + JpegBitWriter::kBufferSize) + 1
                                       : 2 + JpegBitWriter::kBufferSize;
        ASSERT_EQ(filled, expected);
        EXPECT_EQ(data[0], 0xFF);
        EXPECT_EQ(data[1], stuff ? 0x00 : 0x80);
        EXPECT_EQ(data[stuff ? 2 : 1], 0x80);
        for (int64_t i = stuff ? 3 : 2; i < filled; ++i)
            ASSERT_EQ(data[i], (stuff && (i - 3) % 2 == 1) ? 0x00 : 0xFF) << i;
    }
}

// Every SIMD level's kernels answer exactly what the portable ones answer, on random and extreme
// input, row lengths that leave vector tails, and the qualities that stress rounding; the
// portable transform is the reference transform and quantisation.
TEST(JpegEncoderStages, KernelsAgreeOnEveryLevel)
{
    std::vector<SimdLevel> levels = {SimdLevel::Sse2, SimdLevel::Avx2};
    const JpegEncoderKernels& plain = kJpegEncoderKernelsPlain;
    uint32_t seed = 777;
    auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    for (SimdLevel level : levels) {
        if (DetectSimdLevel() < level)
            continue;
        SCOPED_TRACE(SimdLevelName(level));
        const JpegEncoderKernels& k = ChooseJpegEncoderKernels(level);
        for (int bpp : {3, 4}) {
            for (int n : {1, 15, 16, 17, 47, 64, 203}) {
                std::vector<uint8_t> pixels(static_cast<size_t>(n) * bpp);
                for (size_t i = 0; i < pixels.size(); ++i) {
                    const uint32_t r = next();
                    pixels[i] = (r & 3) == 0 ? 0 : (r & 3) == 1 ? 255 : static_cast<uint8_t>(r >> 4);
                }
                std::vector<int16_t> y0(n), cb0(n), cr0(n), y1(n), cb1(n), cr1(n), yOnly(n);
                plain.convertRow(pixels.data(), bpp, n, y0.data(), cb0.data(), cr0.data());
                k.convertRow(pixels.data(), bpp, n, y1.data(), cb1.data(), cr1.data());
                k.convertRow(pixels.data(), bpp, n, yOnly.data(), nullptr, nullptr);
                ASSERT_EQ(y0, y1) << bpp << " " << n;
                ASSERT_EQ(cb0, cb1) << bpp << " " << n;
                ASSERT_EQ(cr0, cr1) << bpp << " " << n;
                ASSERT_EQ(y0, yOnly) << bpp << " " << n;
                for (int i = 0; i < n; ++i) {
                    int yy, cb, cr;
                    const uint8_t* p = &pixels[static_cast<size_t>(i) * bpp];
                    JpegRgbToYcc(p[2], p[1], p[0], &yy, &cb, &cr);
                    ASSERT_EQ(y0[i], yy - 128);
                    ASSERT_EQ(cb0[i], cb);
                    ASSERT_EQ(cr0[i], cr);
                }
            }
        }
        for (bool pairs : {false, true}) {
            for (int n : {1, 8, 15, 16, 17, 40, 101}) {
                std::vector<int16_t> a(2 * n), b(2 * n), out0(n), out1(n);
                for (int i = 0; i < 2 * n; ++i) {
                    a[i] = static_cast<int16_t>(static_cast<int>(next() % 256) - 128);
                    b[i] = static_cast<int16_t>(static_cast<int>(next() % 256) - 128);
                }
                plain.downsample(a.data(), pairs ? b.data() : nullptr, n, out0.data());
                k.downsample(a.data(), pairs ? b.data() : nullptr, n, out1.data());
                ASSERT_EQ(out0, out1) << pairs << " " << n;
                for (int i = 0; i < n; ++i) {
                    const int sum = a[2 * i] + a[2 * i + 1];
                    ASSERT_EQ(out0[i], pairs ? (sum + b[2 * i] + b[2 * i + 1]) >> 2 : sum >> 1);
                }
            }
        }
        for (int quality : {1, 50, 75, 90, 100}) {
            uint16_t quant[64];
            BuildJpegQuantTable(kJpegLuminanceQuant, JpegQualityScale(quality), quant);
            float reciprocal[64];
            BuildJpegQuantReciprocals(quant, reciprocal);
            for (int round = 0; round < 200; ++round) {
                // Rows 12 samples apart, inside a larger plane.
                constexpr int kStride = 12;
                int16_t samples[8 * kStride];
                float asFloat[64];
                for (int i = 0; i < 8 * kStride; ++i) {
                    const uint32_t r = next();
                    samples[i] = static_cast<int16_t>(round % 4 == 0 ? ((r & 1) ? 127 : -128)
                                                                     : static_cast<int>(r % 256) - 128);
                }
                for (int i = 0; i < 64; ++i)
                    asFloat[i] = samples[(i / 8) * kStride + i % 8];
                float dct[64];
                JpegForwardDct(asFloat, dct);
                int16_t zz[64];
                JpegQuantise(dct, reciprocal, 64, zz);
                int16_t n0[64], n1[64];
                const uint64_t bits0 = plain.transformBlock(samples, kStride, reciprocal, n0);
                const uint64_t bits1 = k.transformBlock(samples, kStride, reciprocal, n1);
                uint64_t expectedBits = 0, expectedZigzag = 0;
                for (int z = 0; z < 64; ++z) {
                    ASSERT_EQ(n0[kJpegNaturalOrder[z]], zz[z]) << quality << " " << z;
                    expectedBits |= static_cast<uint64_t>(zz[z] != 0) << kJpegNaturalOrder[z];
                    expectedZigzag |= static_cast<uint64_t>(zz[z] != 0) << z;
                }
                for (int i = 0; i < 64; ++i)
                    ASSERT_EQ(n0[i], n1[i]) << quality << " " << i;
                ASSERT_EQ(bits0, expectedBits);
                ASSERT_EQ(bits1, expectedBits);
                ASSERT_EQ(JpegZigzagBits(bits0), expectedZigzag);
            }
        }
    }
}

// The writer's word path gives the bytes of a bit-at-a-time packer, with and without stuffing,
// across words, buffer ends and alignments.
TEST(JpegEncoderStages, BitWriterWordsEqualBitByBitPacking)
{
    for (bool stuff : {false, true}) {
        SCOPED_TRACE(stuff);
        CFicheroHttp out;
        out.Core().m_memoryMode = 1;
        ASSERT_TRUE(out.Open("", OpenWrite));
        std::vector<uint8_t> expected;
        int64_t dataBytes = 0;
        uint32_t acc = 0;
        int bits = 0;
        auto putBit = [&](int b) {
            acc = acc << 1 | static_cast<uint32_t>(b);
            if (++bits == 8) {
                expected.push_back(static_cast<uint8_t>(acc));
                ++dataBytes;
                if (stuff && static_cast<uint8_t>(acc) == 0xFF)
                    expected.push_back(0);
                acc = 0;
                bits = 0;
            }
        };
        uint32_t seed = 4242;
        {
            JpegBitWriter w(&out, stuff);
            for (int i = 0; i < 20000; ++i) {
                seed = seed * 1103515245u + 12345u;
                const int count = static_cast<int>((seed >> 8) % 33);
                // Runs of 1 bits make 0xFF bytes often.
                const uint32_t value = (seed & 0x10000) ? 0xFFFFFFFFu : seed * 2654435761u;
                const uint32_t v = count == 32 ? value : value & ((1u << count) - 1u);
                w.Put(v, count);
                for (int b = count - 1; b >= 0; --b)
                    putBit(static_cast<int>(v >> b & 1));
                if (i % 997 == 0) {
                    w.Align();
                    while (bits)
                        putBit(0);
                    ASSERT_EQ(w.dataBytes(), dataBytes) << i;
                }
            }
            w.Align();
            while (bits)
                putBit(0);
            ASSERT_TRUE(w.Flush());
            EXPECT_EQ(w.dataBytes(), dataBytes);
        }
        ASSERT_EQ(out.Core().GetMemoryFilled(), static_cast<int64_t>(expected.size()));
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.Core().GetMemoryData()));
    }
}
