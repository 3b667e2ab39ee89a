#pragma once
// Span routines of the software rasteriser: the per-pixel work of one span (or one piece of up to
// 8 pixels) for one exact combination of options. A routine is chosen once per mesh range from a
// three-word key and kept in one of ten cache slots; the pixel loop itself tests no option.
//
// Files: span_key.cpp (state bits, option bits, key, cache), span_stages.cpp (the plain path:
// stage functions over pieces of up to 8 pixels, also the reference for the fast loops),
// span_fused_*.cpp (fused loops for common combinations, one file per SIMD level), span_cpu.cpp
// (the SIMD level of this machine).
#include <cstdint>

#include "render/span_cpu.h"

// Effective state bits: the device's state bits with their low 16 bits ANDed with the mesh's
// feature word.
enum SpanStateBits : uint32_t {
    kSpanWireframe = 0x1,
    kSpanSolid = 0x2,           // untextured meshes fill with the diffuse colour
    kSpanTextured = 0x4,
    kSpanBilinear = 0x8,
    kSpanAccumulation1 = 0x10,  // 2 x 2 samples per pixel into the accumulation buffer
    kSpanAccumulation2 = 0x20,  // 4 x 4 samples
    kSpanDepthCompare = 0x40,
    kSpanDepthWrite = 0x80,
    kSpanTwoTexel = 0x100,      // horizontal two-texel filter when bilinear is off
    kSpanColourKey = 0x200,     // zero texels are transparent
    kSpanFog = 0x400,
    kSpanSpecular = 0x800,
    kSpanLighting = 0x1000,
    kSpanColorVertex = 0x4000,
    kSpanDiffuseAlpha = 0x8000,
    kSpanDepthFuncMask = 0x70000,
    kSpanDepthAlways = 0x70000,
    kSpanRowsContinue = 0x80000,  // filters may read one texel beyond a row's last
    kSpanHalveGreen = 0x100000,
    kSpanGrey = 0x200000,
    kSpanEdgeAware = 0x400000,
    kSpanPerspective = 0x800000,

    kSpanModulateBits = kSpanLighting | kSpanColorVertex,
    kSpanInterpolatedColours = kSpanFog | kSpanLighting | kSpanColorVertex,
    kSpanAccumulationBits = kSpanAccumulation1 | kSpanAccumulation2,
};

// Option bits computed per mesh range; with the two bit depths they form the key's first word.
enum SpanOptionBits : uint32_t {
    kSpanOptTwoTextures = 0x10000,
    kSpanOptWideAddress = 0x20000,
    kSpanOptNotPowerOfTwo = 0x40000,
    kSpanOptGain = 0x80000,
    kSpanOptColourAdd = 0x100000,
    kSpanOptColourMultiply = 0x200000,
};

// Textures wider than this use the wide address form (kept in the key; addresses are formed in
// full width either way).
constexpr int32_t kSpanWideTextureWidth = 10900;

// One texture as the routine reads it: tightly packed rows of width x bytes per texel.
struct SpanTexture {
    const uint8_t* pixels = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t bitsPerPixel = 0;           // 8, 15, 16, 24 or 32
    const uint32_t* palette = nullptr;  // 256 entries for 8-bit textures
};

// The rasteriser's working record: constants of one mesh range, in place while spans run.
struct SpanConstants {
    SpanTexture texture1;
    SpanTexture texture2;      // read with texture 1's format and palette
    int32_t destBits = 32;     // 15, 16, 24 or 32; ignored when drawing into the accumulation buffer
    uint32_t keepMask = 0;     // destination bits a store keeps (0: plain stores)
    uint32_t writeMask = 0xFFFFFF;
    uint32_t mixWord = 0;      // blue, green, red weights of texture 2 (0..255, of 256)
    uint32_t fogColour = 0;    // 0x00RRGGBB
    uint32_t gainWord = 0;     // blue, green, red gains (of 256)
    uint32_t background = 0;   // 0x00RRGGBB; accumulation stores add colour minus background
};

// Per-span values (the routine's registers). Colours are four 16-bit lanes blue, green, red,
// alpha holding the 8-bit value x 128; the specular alpha lane holds the fog amount 0..32767.
// After a call, coordinates, depth and colours have stepped past the last pixel, so the next
// piece of a span may continue with the colour registers.
struct SpanRegisters {
    int32_t count = 0;
    uint8_t* dest = nullptr;    // first destination pixel (accumulation: its 6-byte sums)
    uint16_t* depth = nullptr;  // its z-buffer value
    int32_t u = 0, v = 0, du = 0, dv = 0;      // texture 1, 16.16 texels
    int32_t u2 = 0, v2 = 0, du2 = 0, dv2 = 0;  // texture 2
    uint32_t z = 0;   // 1 / depth x 0x7FFFFFFF; its upper 16 bits are the z-buffer value
    int32_t dz = 0;   // per sample
    int16_t diffuse[4] = {}, dDiffuse[4] = {};
    int16_t specular[4] = {}, dSpecular[4] = {};
    int32_t phase = 0;  // accumulation: sample column of the left end modulo 2 or 4
};

struct SpanSlot;
using SpanFn = void (*)(const SpanSlot& slot, const SpanConstants& constants, SpanRegisters& regs);

// The three-word key of a routine.
struct SpanKey {
    uint32_t options = 0;   // option bits | destination bits per pixel << 8 | texture 1 bits per pixel
    uint32_t state = 0;     // effective state bits
    uint32_t keepMask = 0;  // destination keep mask | 0xFF000000
};

constexpr int kSpanStageCount = 16;
namespace span { struct SpanPiece; }
using SpanStageFn = void (*)(const SpanConstants& constants, span::SpanPiece& piece);

// A "generated" routine: the chosen fused loop, or the plain path with its list of stages.
struct SpanSlot {
    SpanFn run = nullptr;
    uint32_t state = 0;
    uint32_t options = 0;
    int32_t destBytes = 0;  // 2, 3, 4, or 6 for the accumulation buffer
    SpanStageFn stages[kSpanStageCount] = {};
    int32_t stageCount = 0;
};

constexpr int kSpanCachedSlots = 9;  // slots 0..8 are searched
constexpr int kSpanSlotCount = 10;   // slot 9 is rewritten for every draw that overflows
constexpr int kSpanKeyWordCount = 3;

// The routine cache: the device's key words and count (WaitForIdle empties it by setting the
// count to 0) with the routines of the slots, slot i made for key i.
struct SpanCache {
    uint32_t (*keys)[kSpanKeyWordCount] = nullptr;  // kSpanSlotCount keys
    int32_t* count = nullptr;
    SpanSlot* slots = nullptr;                      // kSpanSlotCount routines
    SimdLevel level = SimdLevel::Plain;             // the level new routines are made for
};

// A cache with storage of its own (for a device or a test).
struct SpanCacheStorage {
    uint32_t keys[kSpanSlotCount][kSpanKeyWordCount] = {};
    int32_t count = 0;
    SpanSlot slots[kSpanSlotCount];
    SpanCache View(SimdLevel level = ChosenSimdLevel()) { return {keys, &count, slots, level}; }
};

// What the routine of a mesh range depends on.
struct SpanDrawInputs {
    uint32_t deviceState = 0;   // the render parameters' state bits
    uint32_t meshFeatures = 0;  // the mesh's feature word (its low 16 bits are used)
    bool hasTexture1 = false;   // texture 1 tile with pixels
    bool hasTexture2 = false;   // texture 2 tile with pixels
    int32_t texture1Bits = 0, texture1Width = 0, texture1Height = 0;
    int32_t texture2Width = 0, texture2Height = 0;
    int32_t destBits = 32;
    uint32_t keepMask = 0;
    uint32_t mixWord = 0, colourAdd = 0, colourMultiply = 0xFFFFFF, colourGain = 0;
};

// The effective state bits of a mesh range (DepthFunc "always" clears depth compare and write).
uint32_t EffectiveSpanState(uint32_t deviceState, uint32_t meshFeatures);
// The option bits of a mesh range (without the bit depths).
uint32_t SpanOptions(const SpanDrawInputs& in);
SpanKey MakeSpanKey(const SpanDrawInputs& in);

// Finds the routine for the mesh range or makes it in the next slot. The slot index, or -1 when
// the range draws nothing (texturing without texture 1 pixels, no depth compare and no texture,
// DepthFunc "never", wireframe). Wireframe keys are cached and counted all the same.
int FindSpanRoutine(const SpanCache& cache, const SpanDrawInputs& in);

// Fills a slot for a key at the given SIMD level (FindSpanRoutine uses the cache's level).
// False when the key draws nothing.
bool MakeSpanSlot(const SpanKey& key, SimdLevel level, SpanSlot* slot);

// Runs a slot's routine over one span or piece.
inline void RunSpan(const SpanSlot& slot, const SpanConstants& constants, SpanRegisters& regs) {
    if (regs.count > 0)
        slot.run(slot, constants, regs);
}

// The plain stage path for a key, whatever the level: the reference the fast loops are held to.
bool MakeReferenceSpanSlot(const SpanKey& key, SpanSlot* slot);
