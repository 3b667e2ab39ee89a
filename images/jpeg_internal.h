#pragma once
// Decoder state shared by the images/jpeg_*.cpp stages (and their tests):
//   jpeg_markers.cpp   segments; each declared length checked against what the segment holds
//   jpeg_huffman.cpp   table building, bit reader, one block's coefficients
//   jpeg_idct.cpp      float AAN inverse transform (jpeg_idct_sse2.cpp, jpeg_idct_avx2.cpp)
//   jpeg_color.cpp     chroma replication, YCbCr to the image's pixels, the block writers
//   jpeg_decoder.cpp   reading the stream, the marker loop, the scan, yield points
// The image object is reached only through JpegSink, so every stage runs on plain buffers too.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "images/jpeg_format.h"
#include "render/span_cpu.h"

class CFicheroHttp;

// Why a decode stopped. The first failure is kept; the caller turns it into its report.
enum class JpegError {
    None,
    Truncated,        // the data ended before the scan was complete
    BadSegment,       // a segment or table that does not hold what it declares ("format")
    Unsupported,      // a coding we do not decode: components, sampling, scans ("compression")
    TooLarge,         // a size the image cannot store
    OutOfMemory,
    Progressive,      // SOF2 in standard mode
    NoFrame,          // SOS before any frame header
    BadHuffmanCode,   // a code not in its table: the data is corrupt
    BadMarker,        // a non-marker where a marker belongs
    Aborted,          // the abort word was raised
    SixFaceStrip,     // handed back to the caller as a strip of six faces
    NotBuilt,         // a form of the stream this decoder does not draw yet
};

// --- Output: where the blocks go ---
// A piece of the image's pixel memory: a flat image is one tile covering it.
struct JpegTile {
    int left = 0, top = 0, right = 0, bottom = 0;   // drawing coordinates; right, bottom exclusive
    uint8_t* pixels = nullptr;                       // the pixel at (left, top)
    ptrdiff_t stride = 0;
};

struct JpegTarget {
    int depth = 24;                  // 15, 16, 24 or 32
    int bytesPerPixel = 3;
    bool transposed = false;         // the picture's x runs down the image's rows
    bool redOnly = false;            // 32-bit pixels: write only the red byte
    int width = 0, height = 0;       // the image's drawing size: nothing outside is written
    int originX = 0, originY = 0;    // where the picture's top left pixel goes (grid pieces)
    const JpegTile* tiles = nullptr;
    int tileCount = 0;
};

// What the frame header says, as handed to the sink.
struct JpegFrameInfo {
    uint32_t width = 0, height = 0;  // the header's size
    int components = 0;
    uint8_t sampling = 0x11;
    bool progressive = false;        // SOF2 (native mode)
    // An APP3 palette (native mode): entries B, G, R, reserved. 8-bit output needs one.
    const uint32_t* palette = nullptr;
    int paletteCount = 0;
    bool indexed = false;            // one native component holding palette indices
};

// The image side of a decode.
class JpegSink {
public:
    virtual ~JpegSink() = default;
    // The frame header is read: make the image and describe its memory. Anything but None stops
    // the decode with that error. Called again (same size) when a native read is retried.
    virtual JpegError BeginFrame(const JpegFrameInfo& frame, JpegTarget* target) = 0;
    // Once per block group: false stops the decode (aborted). The sink may replace the target's
    // memory and depth (an upload converted the image); it sets *changed then. progress is 0-100.
    virtual bool YieldPoint(JpegTarget* target, bool* changed, int progress) = 0;
    // True once the caller wants the decode to end (checked at every read as well).
    virtual bool IsAborted() = 0;
    virtual void SetExifOrientation(int /*orientation*/) {}
};

// --- Tables ---
struct JpegQuantTable {
    bool defined = false;
    uint16_t values[64] = {};        // natural order
    float multipliers[64] = {};      // value x s[row] x s[col] / 8, natural order
};

constexpr int kHuffmanFastBits = 10;
constexpr int kHuffmanAcBits = 11;   // the AC look-up's peek: most code-and-value pairs fit

// fastAc entries hold one code, or two when both codes and their values fit the peek together.
// One code (kAcOne* fields): the bits to take (with the flags below), the step to the
// coefficient's position in the zig-zag order (run + 1; 64 for EOB, which ends any block) and the
// value. A taken byte with kAcValueFollows means only the code fits the peek: its low 7 bits are
// the code's length and the value's size is the entry's value field; 0 means a longer code.
// The pair fields (kAcPair*) add a second code: the bits of both, the second step and value. An
// entry without a second code has the first code's bits, step 0 and the first value again, so
// that applying the pair fields stores the same coefficient twice. A first EOB has no second.
constexpr int kAcValueFollows = 0x80;
constexpr int kAcEobStep = 64;
constexpr int kAcPairTakenShift = 0;    // 8 bits: bits of both codes (flags as for one code)
constexpr int kAcStepShift = 8;         // 8 bits: the first code's step
constexpr int kAcValueShift = 16;       // 16 bits: the first code's value (or its value size)
constexpr int kAcPairStepShift = 32;    // 8 bits: the second code's step, 0 = none
constexpr int kAcOneTakenShift = 40;    // 8 bits: bits of the first code alone
constexpr int kAcPairValueShift = 48;   // 16 bits: the second code's value

struct JpegHuffmanTable {
    bool defined = false;
    int count = 0;
    uint8_t symbols[256] = {};
    // Codes of up to kHuffmanFastBits bits: length << 8 | symbol, 0 when the code is longer.
    uint16_t fast[1 << kHuffmanFastBits] = {};
    // AC codes of up to kHuffmanAcBits bits, one or two per entry (see kAcValueFollows).
    uint64_t fastAc[1 << kHuffmanAcBits] = {};
    // DC codes with their difference bits: difference << 8 | total bits; 0 = no.
    int32_t fastDc[1 << kHuffmanFastBits] = {};
    int32_t maxCode[kJpegMaxHuffmanLength + 2] = {};   // largest code of each length, -1 = none
    int32_t valueOffset[kJpegMaxHuffmanLength + 1] = {};  // symbol index minus code, per length
};

// Builds a table from DHT counts and symbols. False when the counts pass the class's limit or
// the codes overflow their lengths.
bool BuildHuffmanTable(const uint8_t counts[16], const uint8_t* symbols, int symbolCount,
                       bool ac, JpegHuffmanTable* table);
void BuildQuantMultipliers(JpegQuantTable* table);

// --- The bit reader over the entropy-coded data ---
// Reads the stream in pieces, keeps every entropy byte at its offset from the scan's start,
// removes the stuffed zeros of standard mode and stops at a marker there.
struct JpegBitReader {
    uint64_t bits = 0;        // unread bits, most significant first
    int count = 0;            // how many of them are there
    int padBits = 0;          // zero bits supplied past the data or before a marker
    size_t pos = 0;           // next byte to load (offset from the scan's start)
    bool standard = false;
    bool atMarker = false;    // filling stopped at a marker (standard mode)
    bool dataEnded = false;   // filling stopped because the data ended
};

class JpegDecoder;

struct JpegComponent {
    uint8_t id = 0;
    uint8_t quantId = 0;
    uint8_t dcTable = 0, acTable = 0;
    int16_t predictor = 0;
};

// The inverse transform: quantised coefficients (natural order) and their multipliers in, 64
// rounded samples out (centred on 0). Each coefficient becomes float(coef) x multiplier first.
using JpegIdctFn = void (*)(const int16_t* coef, const float* mult, int16_t* out);
void JpegIdctPlain(const int16_t* coef, const float* mult, int16_t* out);
void JpegIdctSse2(const int16_t* coef, const float* mult, int16_t* out);
void JpegIdctAvx2(const int16_t* coef, const float* mult, int16_t* out);
JpegIdctFn ChooseJpegIdct(SimdLevel level);
// The transforms of a block group's blocks in one call: block b with multipliers mult[b], or
// flat when ac[b] is false.
using JpegIdctGroupFn = void (*)(int blocks, const int16_t (*coef)[64],
                                 const float* const* mult, const bool* ac, int16_t (*out)[64]);
void JpegIdctGroupPlain(int blocks, const int16_t (*coef)[64], const float* const* mult,
                        const bool* ac, int16_t (*out)[64]);
void JpegIdctGroupSse2(int blocks, const int16_t (*coef)[64], const float* const* mult,
                       const bool* ac, int16_t (*out)[64]);
void JpegIdctGroupAvx2(int blocks, const int16_t (*coef)[64], const float* const* mult,
                       const bool* ac, int16_t (*out)[64]);
JpegIdctGroupFn ChooseJpegIdctGroup(SimdLevel level);
// The transform of a block without AC coefficients: every sample is the rounded DC term.
void JpegIdctDcOnly(float dc, int16_t* out);

// --- Palettes ---
// Lookups of an APP3 palette for 8-bit output.
struct JpegPaletteTables {
    uint32_t entries[kJpegMaxPaletteEntries] = {};
    int count = 0;
    // Y^2 + Cb^2 + Cr^2 of each entry with its index in the top byte, ascending.
    uint32_t magnitudes[kJpegMaxPaletteEntries] = {};
    // Index per 16-bit 5-6-5 colour, and per chroma key; null when they could not be had.
    std::unique_ptr<uint8_t[]> by565;
    std::unique_ptr<uint8_t[]> byChromaKey;
};
constexpr int kJpegLookupSize = 65536;
void BuildJpegPaletteTables(const uint32_t* entries, int count, JpegPaletteTables* t);
// An entry's Y (0-255), Cb and Cr (centred on 0) as the palette tables compute them.
void JpegPaletteYcc(uint32_t bgr, int* y, int* cb, int* cr);
// The one chroma key of the table, the lookup and the default colour: Y x 256 + (Cr & 15) x 16
// + (Cb & 15), each clamped to 0-255 first.
int JpegChromaKey(int y, int cb, int cr);
// The entry whose magnitude is next below (Y^2 + Cb^2 + Cr^2), Y in 0-255.
uint8_t JpegNearestPaletteIndex(const JpegPaletteTables& t, int y, int cb, int cr);

// --- Writers ---
// One 8x8 luminance block with its chroma. cb and cr point at the chroma samples of this block's
// top left pixel in 8-wide chroma blocks; each chroma sample serves hs x vs pixels. Grey blocks
// pass null chroma (Cb = Cr = 0).
struct JpegBlockInput {
    const int16_t* y;
    const int16_t* cb;
    const int16_t* cr;
    int hs, vs;
    const JpegPaletteTables* palette = nullptr;   // 8-bit output and palette indices
};
// Writes the pixels [0, cols) x [0, rows) of the block at dst, steps in bytes per pixel across
// and down.
using JpegWriterFn = void (*)(const JpegBlockInput& in, uint8_t* dst, ptrdiff_t stepX,
                              ptrdiff_t stepY, int cols, int rows);
// The writer for a depth, chroma layout and SIMD level; null for a depth we do not write (8 bits
// needs a palette). indexed: the one component holds palette indices.
JpegWriterFn ChooseJpegWriter(int depth, bool redOnly, bool grey, int hs, int vs,
                              SimdLevel level, bool indexed = false, bool palette = false);
// The 24-bit writers with AVX2 (x86_64), and the plain writer they hand partial blocks to.
JpegWriterFn ChooseJpegWriter24Avx2(bool grey, int hs, int vs);
void JpegWrite24Fallback(const JpegBlockInput& in, uint8_t* dst, ptrdiff_t stepX,
                         ptrdiff_t stepY, int cols, int rows, bool grey, int hs, int vs);
// The pixel (0x00RRGGBB) of one sample triple, Y centred on 0; the reference for every writer.
uint32_t JpegYccToRgb(int y, int cb, int cr);

// --- The decoder ---
struct JpegDecodeOptions {
    bool standard = false;            // starting coding (the image's JFIF flag)
    SimdLevel simd = SimdLevel::Avx2;   // lowered to ChosenSimdLevel()
};

class JpegDecoder {
public:
    JpegDecoder(CFicheroHttp* stream, uint32_t size, JpegSink* sink,
                const JpegDecodeOptions& options);
    // Reads segments and the scan into the sink. None when the picture was decoded (also when a
    // standard-mode scan ended early at a marker).
    JpegError Decode();

    // --- Facts for the caller's report ---
    bool frameRead() const { return m_frameRead; }
    const JpegFrameInfo& frame() const { return m_frame; }

    // --- Stages (public for their tests) ---
    JpegError ReadQuantTables(const uint8_t* p, size_t n);
    JpegError ReadHuffmanTables(const uint8_t* p, size_t n);
    JpegError ReadFrameHeader(const uint8_t* p, size_t n, bool progressive);
    JpegError ReadScanHeader(const uint8_t* p, size_t n);
    JpegError ReadRestartInterval(const uint8_t* p, size_t n);
    JpegError ReadApp4(const uint8_t* p, size_t n);
    JpegError ReadPalette(const uint8_t* p, size_t n);
    JpegError ReadTileTableHeader(const uint8_t* p, size_t n, uint32_t* tileCount);

    const JpegQuantTable& quant(int id) const { return m_quant[id]; }
    const JpegHuffmanTable* huffman(bool ac, int id) const;
    const JpegComponent& component(int i) const { return m_comp[i]; }
    bool standard() const { return m_bits.standard; }
    int restartInterval() const { return m_restartInterval; }
    int scaleShift() const { return m_scaleShift; }
    bool skipBits() const { return m_skipBits; }
    int paletteCount() const { return m_paletteCount; }
    uint32_t tileWidth() const { return m_tileWidth; }
    uint32_t tileHeight() const { return m_tileHeight; }
    const std::vector<uint32_t>& tileOffsets() const { return m_tileOffsets; }

    // Decodes one block of component c into coef (64 values in natural order, cleared by the
    // caller; the DC value with its predictor added). False on a code not in its table;
    // *acPresent tells whether any AC coefficient was coded.
    bool DecodeBlock(int c, int16_t* coef, bool* acPresent);
    // The same for a block group: block b of component components[b] into coefs[b].
    bool DecodeBlocks(int blocks, const uint8_t* components, int16_t (*coefs)[64],
                      bool* acPresent);
    const float* multipliers(int c) const { return m_multUse[c]; }
    // Bit reader over an in-memory entropy buffer (tests of the Huffman stage).
    void UseEntropyBytes(const uint8_t* data, size_t size, bool standard);

private:
    // jpeg_decoder.cpp
    JpegError MarkerLoop();
    bool RetryInStandardMode();
    JpegError ReadSegmentPayload(size_t* n);
    bool ReadExact(void* buffer, int count);
    JpegError DecodeScan();
    JpegError DecodeGroup(int gx, int gy);
    uint8_t* GroupInOneTile(int px, int py, int width, int height, const JpegTile** tile);
    void WriteBlock(const JpegBlockInput& in, int px, int py);
    void WriteBlockEdge(const JpegBlockInput& in, int cols, int rows, int ix, int iy);
    bool ChooseWriters();
    int Progress() const;

    // jpeg_huffman.cpp
    bool ReadEntropyPiece();
    void Fill();
    void FillSlow();
    const uint8_t* Data() const { return m_external ? m_external : m_data.data(); }
    void UseScanTables();
    bool Restart();

    CFicheroHttp* m_stream;
    JpegSink* m_sink;
    JpegDecodeOptions m_options;
    int64_t m_start = 0;             // stream position of the first byte
    uint32_t m_size = 0;             // bytes of JPEG data; 0 = up to the stream's end
    bool m_sizeKnown = false;
    int64_t m_consumed = 0;          // bytes read from the stream so far
    int64_t m_sofPosition = -1;      // offset of the SOF marker, for the standard-mode retry
    bool m_retried = false;

    std::vector<uint8_t> m_segment;  // one segment's payload
    // A window on the entropy-coded data: m_data[i] is byte m_dataBase + i after SOS. Pieces are
    // appended as the bit reader needs them; bytes it has passed are dropped to make room.
    std::vector<uint8_t> m_data;
    size_t m_dataFilled = 0;
    int64_t m_dataBase = 0;
    int64_t m_dataStart = 0;         // stream offset of the first entropy byte
    const uint8_t* m_external = nullptr;   // UseEntropyBytes: no stream
    JpegBitReader m_bits;

    JpegQuantTable m_quant[kJpegTableIds];
    JpegHuffmanTable m_dc[kJpegTableIds];
    JpegHuffmanTable m_ac[kJpegTableIds];
    JpegHuffmanTable m_defaultDc[2];
    JpegHuffmanTable m_defaultAc[2];
    bool m_ownDc = false, m_ownAc = false;   // a DHT moved the class off the defaults

    bool m_frameRead = false;
    JpegFrameInfo m_frame;
    const JpegGroupLayout* m_layout = nullptr;
    JpegComponent m_comp[kJpegMaxComponents];
    int m_scanComponents = 0;
    int m_restartInterval = 0;
    int m_restartCounter = 0;
    int m_scaleShift = 0;
    bool m_skipBits = false;
    int m_paletteCount = 0;
    uint32_t m_palette[kJpegMaxPaletteEntries] = {};
    std::unique_ptr<JpegPaletteTables> m_paletteTables;
    uint32_t m_tileWidth = 0, m_tileHeight = 0;
    std::vector<uint32_t> m_tileOffsets;

    // Scan state.
    static constexpr int kMaxBlocks = 6;   // the largest block group: four Y blocks, Cb, Cr
    // A block group's coefficients; all zero between groups.
    alignas(16) int16_t m_coef[kMaxBlocks][64] = {};
    JpegTarget m_target;
    JpegIdctGroupFn m_idct = nullptr;
    JpegWriterFn m_writer = nullptr;
    int m_tileHint = 0;              // the tile the last block went to
    // Per component of the scan: its tables and dequantisation multipliers.
    const JpegHuffmanTable* m_dcUse[kJpegMaxComponents] = {};
    const JpegHuffmanTable* m_acUse[kJpegMaxComponents] = {};
    const float* m_multUse[kJpegMaxComponents] = {};
    SimdLevel m_simd = SimdLevel::Plain;
    uint32_t m_groupsAcross = 0, m_groupsDown = 0;
};
