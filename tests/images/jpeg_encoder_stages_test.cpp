// JPEG encoder stages on hand-made input: quality tables, the forward transform and
// quantisation, code tables (standard and optimised, limited to 16 bits) and the bit writer.
#include <gtest/gtest.h>

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
