// Span routines: single spans against hand-computed bytes on the plain path and every SIMD level
// this machine has; the key, the options and the routine cache.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/fault_recovery.h"
#include "render/span_routine.h"

namespace {

constexpr uint32_t kNoZ = 0;
constexpr int16_t kFull = 255 * 128;  // an 8-bit channel of 255 in a colour register

// The levels to hold to the reference: plain and every SIMD level the machine runs.
std::vector<SimdLevel> LevelsHere() {
    std::vector<SimdLevel> levels;
    for (int i = 0; i <= static_cast<int>(DetectSimdLevel()); ++i)
        levels.push_back(static_cast<SimdLevel>(i));
    return levels;
}

struct SpanCase {
    std::string name;
    uint32_t state;          // effective state bits
    int texBits;             // 0: no texture
    int destBits;
    std::vector<uint32_t> texels;  // raw values, width x height
    int texWidth, texHeight;
    std::vector<uint8_t> dest;     // initial destination bytes
    std::vector<uint8_t> expected; // destination after the span
    int count;
    int32_t u, v, du, dv;
    int16_t diffuse[4];
    int16_t specular[4];
    uint32_t z = 0;
    std::vector<uint16_t> depth = {};           // initial z-buffer values
    std::vector<uint16_t> expectedDepth = {};   // after the span
    uint32_t fogColour = 0, gainWord = 0, keepMask = 0, background = 0, mixWord = 0;
    std::vector<uint32_t> texels2 = {};
};

std::vector<uint8_t> TextureBytes(const std::vector<uint32_t>& raw, int bits) {
    std::vector<uint8_t> bytes;
    int per = bits == 15 ? 2 : bits / 8;
    for (uint32_t t : raw)
        for (int i = 0; i < per; ++i)
            bytes.push_back(static_cast<uint8_t>(t >> (8 * i)));
    return bytes;
}

// A palette where index i is (blue i, green 2i, red 255 - i), and index 0 is zero.
std::vector<uint32_t> TestPalette() {
    std::vector<uint32_t> palette(256);
    for (uint32_t i = 1; i < 256; ++i)
        palette[i] = i | (((2 * i) & 0xFF) << 8) | ((255 - i) << 16);
    return palette;
}

struct SpanRun {
    std::vector<uint8_t> dest;
    std::vector<uint16_t> depth;
    SpanRegisters regs;
};

// Runs the case's span with the slot made for the level (reference: the stage path).
bool RunCase(const SpanCase& c, bool reference, SimdLevel level, SpanRun* run) {
    static const std::vector<uint32_t> palette = TestPalette();
    std::vector<uint8_t> tex = TextureBytes(c.texels, c.texBits);
    std::vector<uint8_t> tex2 = TextureBytes(c.texels2, c.texBits);
    SpanDrawInputs in;
    in.deviceState = c.state;
    in.meshFeatures = 0xFFFF;
    in.hasTexture1 = c.texBits != 0;
    in.hasTexture2 = !c.texels2.empty();
    in.texture1Bits = c.texBits;
    in.texture1Width = in.texture2Width = c.texWidth;
    in.texture1Height = in.texture2Height = c.texHeight;
    in.destBits = c.destBits;
    in.keepMask = c.keepMask;
    in.mixWord = c.mixWord;
    in.colourGain = c.gainWord;
    SpanKey key = MakeSpanKey(in);
    SpanSlot slot;
    if (!(reference ? MakeReferenceSpanSlot(key, &slot) : MakeSpanSlot(key, level, &slot)))
        return false;
    SpanConstants k;
    k.texture1 = {tex.data(), c.texWidth, c.texHeight, c.texBits, palette.data()};
    k.texture2 = {tex2.data(), c.texWidth, c.texHeight, c.texBits, palette.data()};
    k.destBits = c.destBits;
    k.keepMask = c.keepMask;
    k.fogColour = c.fogColour;
    k.gainWord = c.gainWord;
    k.background = c.background;
    k.mixWord = c.mixWord;
    run->dest = c.dest;
    run->depth = c.depth;
    if (run->depth.empty())
        run->depth.assign(16, 0);
    SpanRegisters& r = run->regs;
    r = SpanRegisters();
    r.count = c.count;
    r.dest = run->dest.data();
    r.depth = run->depth.data();
    r.u = c.u;
    r.v = c.v;
    r.du = c.du;
    r.dv = c.dv;
    r.z = c.z;
    for (int i = 0; i < 4; ++i) {
        r.diffuse[i] = c.diffuse[i];
        r.specular[i] = c.specular[i];
    }
    RunSpan(slot, k, r);
    r.dest = nullptr;  // compared by content
    r.depth = nullptr;
    return true;
}

void ExpectSameRegisters(const SpanRegisters& a, const SpanRegisters& b) {
    EXPECT_EQ(a.u, b.u);
    EXPECT_EQ(a.v, b.v);
    EXPECT_EQ(a.z, b.z);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(a.diffuse[i], b.diffuse[i]);
        EXPECT_EQ(a.specular[i], b.specular[i]);
    }
}

constexpr uint32_t kTex = kSpanTextured;
constexpr uint32_t kMod = kSpanColorVertex;
constexpr int32_t kHalf = 0x8000;  // a 16.16 fraction of one half

std::vector<uint8_t> Bytes(std::initializer_list<int> list) {
    std::vector<uint8_t> v;
    for (int x : list)
        v.push_back(static_cast<uint8_t>(x));
    return v;
}

const std::vector<SpanCase>& Cases() {
    static const std::vector<SpanCase> cases = {
        // --- fetch and store formats ---
        {"point 32 into 32", kTex, 32, 32, {0x281E140A}, 1, 1, Bytes({9, 9, 9, 9}),
         Bytes({10, 20, 30, 0}), 1, 0, 0, 0, 0, {}, {}},
        {"point 24 into 24 keeps the next byte", kTex, 24, 24, {0x1E140A}, 1, 1, Bytes({9, 9, 9, 7}),
         Bytes({10, 20, 30, 7}), 1, 0, 0, 0, 0, {}, {}},
        {"point 8 through the palette", kTex, 8, 32, {3}, 1, 1, Bytes({0, 0, 0, 0}),
         Bytes({3, 6, 252, 0}), 1, 0, 0, 0, 0, {}, {}},
        {"15-bit texel expands by shifting", kTex, 15, 32, {(1 << 10) | (16 << 5) | 31}, 1, 1,
         Bytes({0, 0, 0, 0}), Bytes({248, 128, 8, 0}), 1, 0, 0, 0, 0, {}, {}},
        {"16-bit texel: green by 2", kTex, 16, 32, {(1 << 11) | (32 << 5) | 31}, 1, 1,
         Bytes({0, 0, 0, 0}), Bytes({248, 128, 8, 0}), 1, 0, 0, 0, 0, {}, {}},
        {"store 15 bits as 5-5-5", kTex, 32, 15, {0x0880FF}, 1, 1, Bytes({0, 0}),
         Bytes({1567 & 0xFF, 1567 >> 8}), 1, 0, 0, 0, 0, {}, {}},
        {"store 16 bits as 5-6-5", kTex, 32, 16, {0x0880FF}, 1, 1, Bytes({0, 0}),
         Bytes({3103 & 0xFF, 3103 >> 8}), 1, 0, 0, 0, 0, {}, {}},
        {"keep mask: (old AND keep) OR (colour AND write mask)", kTex, 32, 32, {0x281E140A}, 1, 1,
         Bytes({1, 2, 3, 0xAA}), Bytes({10, 2 | 20, 30, 0xAA}), 1, 0, 0, 0, 0, {}, {}, kNoZ, {}, {}, 0, 0,
         0xFF00FF00},
        // --- colour ---
        {"modulate by half-white diffuse", kTex | kMod, 32, 32, {0x00C8C8C8}, 1, 1, Bytes({0, 0, 0, 0}),
         Bytes({100, 100, 100, 0}), 1, 0, 0, 0, 0, {16384, 16384, 16384, 16384}, {}},
        {"modulate by white keeps the texel", kTex | kMod, 32, 32, {0x00F8C801}, 1, 1, Bytes({0, 0, 0, 0}),
         Bytes({1, 200, 248, 0}), 1, 0, 0, 0, 0, {kFull, kFull, kFull, kFull}, {}},
        {"specular adds twice its value", kTex | kMod | kSpanSpecular, 32, 32, {0x00C8C8C8}, 1, 1,
         Bytes({0, 0, 0, 0}), Bytes({110, 110, 110, 0}), 1, 0, 0, 0, 0,
         {16384, 16384, 16384, 16384}, {1280, 1280, 1280, 0}},
        {"solid fill from the diffuse", kSpanSolid | kSpanDepthCompare | 0x30000, 0, 32, {}, 0, 0,
         Bytes({0, 0, 0, 0}), Bytes({100, 50, 255, 0}), 1, 0, 0, 0, 0, {12800, 6400, kFull, 0}, {},
         0x10000},
        {"fog amount at full gives the fog colour", kTex | kSpanFog, 32, 32, {0x00C8C8C8}, 1, 1,
         Bytes({0, 0, 0, 0}), Bytes({99, 99, 99, 0}), 1, 0, 0, 0, 0, {}, {0, 0, 0, 32767}, kNoZ, {}, {},
         0x646464},
        {"fog amount 0 leaves the colour", kTex | kSpanFog, 32, 32, {0x00C8C8C8}, 1, 1,
         Bytes({0, 0, 0, 0}), Bytes({200, 200, 200, 0}), 1, 0, 0, 0, 0, {}, {0, 0, 0, 0}, kNoZ, {}, {},
         0x646464},
        {"diffuse alpha blends with the destination", kTex | kSpanDiffuseAlpha, 32, 32, {0x00C8C8C8}, 1, 1,
         Bytes({100, 100, 100, 0}), Bytes({149, 149, 149, 0}), 1, 0, 0, 0, 0, {0, 0, 0, 16384}, {}},
        {"halve green", kTex | kSpanHalveGreen, 32, 32, {0x00C8C8C8}, 1, 1, Bytes({0, 0, 0, 0}),
         Bytes({200, 100, 200, 0}), 1, 0, 0, 0, 0, {}, {}},
        {"gain saturates", kTex, 32, 32, {0x00C86464}, 1, 1, Bytes({0, 0, 0, 0}),
         Bytes({150, 100, 255, 0}), 1, 0, 0, 0, 0, {}, {}, kNoZ, {}, {}, 0, 0xFF0080},
        {"grey of pure red is 76", kTex | kSpanGrey, 32, 32, {0x00FF0000}, 1, 1, Bytes({0, 0, 0, 0}),
         Bytes({76, 76, 76, 0}), 1, 0, 0, 0, 0, {}, {}},
        {"two textures mixed half and half", kTex, 32, 32, {0x00C8C8C8}, 1, 1, Bytes({0, 0, 0, 0}),
         Bytes({150, 150, 150, 0}), 1, 0, 0, 0, 0, {}, {}, kNoZ, {}, {}, 0, 0, 0, 0, 0x808080,
         {0x00646464}},
        // --- filters ---
        {"two-texel at one half", kTex | kSpanTwoTexel, 32, 32, {0, 0x00FFFFFF}, 2, 1, Bytes({0, 0, 0, 0}),
         Bytes({127, 127, 127, 0}), 1, kHalf, 0, 0, 0, {}, {}},
        {"edge-aware pulls toward the nearer texel", kTex | kSpanTwoTexel | kSpanEdgeAware, 32, 32,
         {0, 0x000000FF}, 2, 1, Bytes({0, 0, 0, 0}), Bytes({119, 0, 0, 0}), 1, kHalf, 0, 0, 0, {}, {}},
        {"bilinear of a uniform block stays full", kTex | kSpanBilinear, 32, 32,
         {0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF}, 2, 2, Bytes({0, 0, 0, 0}), Bytes({255, 255, 255, 0}),
         1, 0x1234, 0x9876, 0, 0, {}, {}},
        {"bilinear between black and white columns", kTex | kSpanBilinear, 32, 32,
         {0, 0xFFFFFF, 0, 0xFFFFFF}, 2, 2, Bytes({0, 0, 0, 0}), Bytes({127, 127, 127, 0}), 1, kHalf, kHalf,
         0, 0, {}, {}},
        // --- colour key ---
        {"colour key skips a zero texel, depth still written",
         kTex | kSpanColourKey | kSpanDepthCompare | kSpanDepthWrite | 0x30000, 32, 32, {0xFF000000}, 1, 1,
         Bytes({5, 5, 5, 5}), Bytes({5, 5, 5, 5}), 1, 0, 0, 0, 0, {}, {}, 0x12345678, {0x1000}, {0x1234}},
        {"colour key: 8-bit texel whose palette entry is zero", kTex | kSpanColourKey, 8, 32, {0}, 1, 1,
         Bytes({5, 5, 5, 5}), Bytes({5, 5, 5, 5}), 1, 0, 0, 0, 0, {}, {}},
        {"keyed bilinear shows the destination for a zero texel", kTex | kSpanBilinear | kSpanColourKey,
         32, 32, {0, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF}, 2, 2, Bytes({40, 40, 40, 0}), Bytes({40, 40, 40, 0}),
         1, 0, 0, 0, 0, {}, {}},
        {"keyed bilinear skips an all-zero block", kTex | kSpanBilinear | kSpanColourKey, 32, 32,
         {0, 0, 0, 0}, 2, 2, Bytes({40, 41, 42, 43}), Bytes({40, 41, 42, 43}), 1, 0, 0, 0, 0, {}, {}},
        {"keyed two-texel filters 2 x 2 with 16-bit substitution", kTex | kSpanTwoTexel | kSpanColourKey,
         16, 16, {0, 0xFFFF, 0xFFFF, 0xFFFF}, 2, 2, Bytes({0x1F, 0}), Bytes({0x1F, 0}), 1, 0, 0, 0, 0,
         {}, {}},
        // --- accumulation: sums += colour - background; two samples per pixel with Accumulation 1 ---
        {"diffuse alpha blends with the accumulation buffer's mean", kTex | kSpanDiffuseAlpha | kSpanAccumulation1,
         32, 32, {0x00C8C8C8}, 1, 1, Bytes({0x90, 1, 0x90, 1, 0x90, 1}), Bytes({0x25, 2, 0x25, 2, 0x25, 2}), 1, 0, 0,
         0, 0, {0, 0, 0, 16384}, {}},
        {"accumulation 1 adds two samples per pixel", kTex | kSpanAccumulation1, 32, 32, {0x00503C28}, 1, 1,
         Bytes({40, 0, 40, 0, 40, 0, 40, 0, 40, 0, 40, 0}), Bytes({80, 0, 120, 0, 160, 0, 80, 0, 120, 0, 160, 0}),
         4, 0, 0, 0, 0, {}, {}, kNoZ, {}, {}, 0, 0, 0, 0x00141414},
    };
    return cases;
}

TEST(SpanRoutine, SingleSpansMatchHandComputedBytesOnEveryLevel) {
    for (const SpanCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        SpanRun ref;
        ASSERT_TRUE(RunCase(c, true, SimdLevel::Plain, &ref));
        EXPECT_EQ(ref.dest, c.expected);
        if (!c.expectedDepth.empty()) {
            EXPECT_EQ(ref.depth[0], c.expectedDepth[0]);
        }
        for (SimdLevel level : LevelsHere()) {
            SCOPED_TRACE(SimdLevelName(level));
            SpanRun run;
            ASSERT_TRUE(RunCase(c, false, level, &run));
            EXPECT_EQ(run.dest, ref.dest);
            EXPECT_EQ(run.depth, ref.depth);
            ExpectSameRegisters(run.regs, ref.regs);
        }
    }
}

TEST(SpanRoutine, DepthFunctionsCompareTheUpperSixteenBits) {
    // new value 100 against stored 99, 100, 101: which functions draw
    struct Row {
        uint32_t func;
        bool draws[3];
    };
    const Row rows[] = {
        {0x10000, {true, false, false}}, {0x20000, {false, true, false}}, {0x30000, {true, true, false}},
        {0x40000, {false, false, true}}, {0x50000, {true, false, true}},  {0x60000, {false, true, true}},
    };
    for (const Row& row : rows) {
        for (int s = 0; s < 3; ++s) {
            SCOPED_TRACE(testing::Message() << "func " << std::hex << row.func << " stored " << std::dec << 99 + s);
            SpanCase c{"depth", kTex | kSpanDepthCompare | kSpanDepthWrite | row.func, 32, 32, {0x00010203}, 1,
                       1, Bytes({9, 9, 9, 9}), {}, 1, 0, 0, 0, 0, {}, {}, (100u << 16) | 0xFFFF,
                       {static_cast<uint16_t>(99 + s)}};
            for (SimdLevel level : LevelsHere()) {
                SpanRun run;
                ASSERT_TRUE(RunCase(c, false, level, &run));
                EXPECT_EQ(run.dest[0] == 3, row.draws[s]);
                EXPECT_EQ(run.depth[0], row.draws[s] ? 100 : 99 + s);
            }
        }
    }
}

TEST(SpanRoutine, StateAndOptionsFormTheKey) {
    // DepthFunc "always" neither compares nor writes depth.
    EXPECT_EQ(EffectiveSpanState(0x70000 | 0xC4, 0xFFFF), 0x70000u | 0x4);
    // The mesh opts in to the low features only.
    EXPECT_EQ(EffectiveSpanState(0x1834B86, 0x4), 0x1830004u);

    SpanDrawInputs in;
    in.deviceState = kTex;
    in.meshFeatures = 0xFFFF;
    in.hasTexture1 = true;
    in.texture1Bits = 24;
    in.texture1Width = 10900;
    in.texture1Height = 4;
    in.destBits = 16;
    SpanKey key = MakeSpanKey(in);
    EXPECT_EQ(key.options, kSpanOptNotPowerOfTwo | (16u << 8) | 24u);
    EXPECT_EQ(key.keepMask, 0xFF000000u);
    in.texture1Width = 10901;
    EXPECT_TRUE(MakeSpanKey(in).options & kSpanOptWideAddress);
    in.texture1Width = 1024;
    in.texture1Height = 1024;
    in.hasTexture2 = true;
    in.texture2Width = 100;  // not used while the mix word is 0
    in.mixWord = 0;
    EXPECT_EQ(SpanOptions(in), 0u);
    in.mixWord = 1;
    in.texture2Width = in.texture2Height = 256;
    in.colourGain = 5;
    in.colourAdd = 1;
    in.colourMultiply = 0xFEFFFF;
    EXPECT_EQ(SpanOptions(in),
              kSpanOptTwoTextures | kSpanOptGain | kSpanOptColourAdd | kSpanOptColourMultiply);
}

TEST(SpanRoutine, RangesThatDrawNothingHaveNoRoutine) {
    struct Row {
        const char* name;
        uint32_t state;
        bool texture;
    };
    const Row rows[] = {
        {"texturing without texture pixels", kTex | kSpanDepthCompare | 0x30000, false},
        {"untextured with the z-buffer off", kSpanSolid, false},
        {"depth function never", kTex | kSpanDepthCompare, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SpanCacheStorage store;
        SpanCache cache = store.View();
        SpanDrawInputs in;
        in.deviceState = row.state;
        in.meshFeatures = 0xFFFF;
        in.hasTexture1 = row.texture;
        in.texture1Bits = 32;
        in.texture1Width = in.texture1Height = 4;
        EXPECT_EQ(FindSpanRoutine(cache, in), -1);
        EXPECT_EQ(store.count, 0);
    }
}

// A distinct drawable combination per n: the depth write and filter bits vary.
SpanDrawInputs Combination(int n) {
    SpanDrawInputs in;
    uint32_t bits = static_cast<uint32_t>(n);
    in.deviceState = kTex | kSpanDepthCompare | 0x30000 | ((bits << 8) & 0x300);
    in.deviceState |= (bits & 4) ? uint32_t{kSpanDepthWrite} : 0u;
    in.deviceState |= (bits & 8) ? uint32_t{kSpanFog} : 0u;
    in.deviceState |= (bits & 16) ? uint32_t{kSpanGrey} : 0u;
    in.meshFeatures = 0xFFFF;
    in.hasTexture1 = true;
    in.texture1Bits = 32;
    in.texture1Width = in.texture1Height = 8;
    return in;
}

TEST(SpanRoutine, CacheKeepsNineAndRewritesTheOverflowSlot) {
    SpanCacheStorage store;
    SpanCache cache = store.View();
    for (int n = 0; n < 9; ++n)
        EXPECT_EQ(FindSpanRoutine(cache, Combination(n)), n);
    EXPECT_EQ(store.count, 9);
    // The tenth and eleventh go to slot 9, afresh each time.
    EXPECT_EQ(FindSpanRoutine(cache, Combination(9)), 9);
    EXPECT_EQ(store.keys[9][1], MakeSpanKey(Combination(9)).state);
    EXPECT_EQ(FindSpanRoutine(cache, Combination(10)), 9);
    EXPECT_EQ(store.keys[9][1], MakeSpanKey(Combination(10)).state);
    EXPECT_EQ(FindSpanRoutine(cache, Combination(9)), 9);
    EXPECT_EQ(store.count, 9);
    // The cached ones are found where they are.
    for (int n = 0; n < 9; ++n)
        EXPECT_EQ(FindSpanRoutine(cache, Combination(n)), n);
    // Emptied (as WaitForIdle does), the slots fill from 0 again.
    store.count = 0;
    EXPECT_EQ(FindSpanRoutine(cache, Combination(10)), 0);
    EXPECT_EQ(store.count, 1);
}

TEST(SpanRoutine, AbandonedRoutineInTheOverflowSlotKeepsTheCount) {
    SpanCacheStorage store;
    SpanCache cache = store.View();
    for (int n = 0; n < 9; ++n)
        FindSpanRoutine(cache, Combination(n));
    SpanDrawInputs nothing = Combination(0);
    nothing.hasTexture1 = false;  // texturing without pixels: abandoned
    EXPECT_EQ(FindSpanRoutine(cache, nothing), -1);
    EXPECT_EQ(store.count, 9);
    EXPECT_EQ(FindSpanRoutine(cache, Combination(8)), 8);  // slot 8 still cached
    // Below the overflow, an abandoned key gives its count back.
    store.count = 3;
    EXPECT_EQ(FindSpanRoutine(cache, nothing), -1);
    EXPECT_EQ(store.count, 3);
}

TEST(SpanRoutine, WireframeKeyIsCountedWithoutRoutine) {
    SpanCacheStorage store;
    SpanCache cache = store.View();
    SpanDrawInputs in = Combination(0);
    in.deviceState |= kSpanWireframe;
    EXPECT_EQ(FindSpanRoutine(cache, in), -1);
    EXPECT_EQ(store.count, 1);
    EXPECT_EQ(FindSpanRoutine(cache, in), -1);
    EXPECT_EQ(store.count, 1);
}

// A texture whose last byte is the last readable byte before an inaccessible page.
class GuardedTexture {
public:
    explicit GuardedTexture(size_t bytes) {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        size_t page = info.dwPageSize;
        size_t span = (bytes + page - 1) / page * page;
        base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, span + page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        DWORD old;
        VirtualProtect(base_ + span, page, PAGE_NOACCESS, &old);
        data_ = base_ + span - bytes;
    }
    ~GuardedTexture() { VirtualFree(base_, 0, MEM_RELEASE); }
    uint8_t* data() { return data_; }

private:
    uint8_t* base_ = nullptr;
    uint8_t* data_ = nullptr;
};

TEST(SpanRoutine, TexelReadsStayInsideTheTextureWhateverTheCoordinates) {
    const int bitsList[] = {8, 15, 16, 24, 32};
    const uint32_t filters[] = {0, kSpanTwoTexel, kSpanBilinear, kSpanBilinear | kSpanColourKey,
                                kSpanTwoTexel | kSpanEdgeAware};
    const int32_t coords[] = {0, -1, 0x7FFFFFFF, static_cast<int32_t>(0x80000000), 4 << 16, (5 << 16) - 1};
    static const std::vector<uint32_t> palette = TestPalette();
    for (int bits : bitsList) {
        for (uint32_t filter : filters) {
            for (int sizeCase = 0; sizeCase < 2; ++sizeCase) {
                int w = sizeCase ? 5 : 4, h = sizeCase ? 3 : 4;
                int per = bits == 15 ? 2 : bits / 8;
                GuardedTexture tex(static_cast<size_t>(w * h * per));
                std::memset(tex.data(), 0x5A, static_cast<size_t>(w * h * per));
                SpanDrawInputs in;
                in.deviceState = kTex | filter | kSpanRowsContinue;
                in.meshFeatures = 0xFFFF;
                in.hasTexture1 = true;
                in.texture1Bits = bits;
                in.texture1Width = w;
                in.texture1Height = h;
                for (SimdLevel level : LevelsHere()) {
                    SpanSlot slot;
                    ASSERT_TRUE(MakeSpanSlot(MakeSpanKey(in), level, &slot));
                    SpanConstants k;
                    k.texture1 = {tex.data(), w, h, bits, palette.data()};
                    for (int32_t u : coords) {
                        for (int32_t v : coords) {
                            SCOPED_TRACE(testing::Message() << bits << " bits filter " << filter << " size "
                                                            << w << "x" << h << " u " << u << " v " << v);
                            uint8_t dest[4] = {};
                            SpanRegisters r;
                            r.count = 1;
                            r.dest = dest;
                            r.u = u;
                            r.v = v;
                            EXPECT_TRUE(RunWithRecovery([&] { RunSpan(slot, k, r); }));
                        }
                    }
                }
            }
        }
    }
}

TEST(SpanRoutine, WideTexturesAreAddressedInFullWidth) {
    // 10,901 texels of 32 bits: a row is wider than a signed 16-bit byte count.
    const int w = 10901, h = 2;
    std::vector<uint32_t> texels(static_cast<size_t>(w) * h, 0x010101);
    texels[static_cast<size_t>(w) + 10900] = 0x00ABCDEF;
    SpanCase c{"wide", kTex, 32, 32, texels, w, h, Bytes({0, 0, 0, 0}), Bytes({0xEF, 0xCD, 0xAB, 0}), 1,
               10900 << 16, 1 << 16, 0, 0, {}, {}};
    for (SimdLevel level : LevelsHere()) {
        SpanRun run;
        ASSERT_TRUE(RunCase(c, false, level, &run));
        EXPECT_EQ(run.dest, c.expected);
    }
}

// Random spans of the fused combinations: every level against the plain stage path.
TEST(SpanRoutine, FusedLoopsMatchThePlainPathOnRandomSpans) {
    std::mt19937 rng(1234);
    const uint32_t states[] = {
        kTex, kTex | kMod, kTex | kMod | kSpanSpecular, kTex | kSpanBilinear, kTex | kSpanBilinear | kMod,
        kTex | kSpanBilinear | kSpanColourKey | kMod | kSpanSpecular, 0x1834B86 | kSpanBilinear,
        kTex | kSpanBilinear | kSpanColourKey | kSpanTwoTexel,
    };
    for (uint32_t state : states) {
        for (int round = 0; round < 20; ++round) {
            SCOPED_TRACE(testing::Message() << "state " << std::hex << state << std::dec << " round " << round);
            int w = (round & 1) ? 8 : 6, h = (round & 2) ? 4 : 5;
            SpanCase c{"random", state, 32, 32, {}, w, h, {}, {}, 13 + round % 4, 0, 0, 0, 0, {}, {}};
            for (int i = 0; i < w * h; ++i)
                c.texels.push_back((rng() % 4 == 0) ? (rng() & 0xFF000000) : rng());
            for (int i = 0; i < 64; ++i)
                c.dest.push_back(static_cast<uint8_t>(rng()));
            c.u = static_cast<int32_t>(rng() % (w << 16));
            c.v = static_cast<int32_t>(rng() % (h << 16));
            c.du = static_cast<int32_t>(rng() % 0x30000) - 0x18000;
            c.dv = static_cast<int32_t>(rng() % 0x30000) - 0x18000;
            for (int i = 0; i < 4; ++i) {
                c.diffuse[i] = static_cast<int16_t>(rng() % 32768);
                c.specular[i] = static_cast<int16_t>(rng() % 8000);
            }
            SpanRun ref;
            ASSERT_TRUE(RunCase(c, true, SimdLevel::Plain, &ref));
            for (SimdLevel level : LevelsHere()) {
                SCOPED_TRACE(SimdLevelName(level));
                SpanRun run;
                ASSERT_TRUE(RunCase(c, false, level, &run));
                EXPECT_EQ(run.dest, ref.dest);
                ExpectSameRegisters(run.regs, ref.regs);
            }
        }
    }
}

}  // namespace
