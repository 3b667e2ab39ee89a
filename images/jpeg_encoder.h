#pragma once
// The JPEG encoder, by stage (the stream layout it writes is images/jpeg_format.h):
//   jpeg_encoder_fdct.cpp     quality tables, float AAN forward transform, quantisation
//   jpeg_encoder_fdct_pass.h  the 8-point forward pass, one body for every lane type
//   jpeg_encoder_kernels.cpp  colour rows, chroma averaging and block transforms, portable;
//                             jpeg_encoder_sse2.cpp and jpeg_encoder_avx2.cpp give the same
//                             results with vectors (x86_64, chosen at run time)
//   jpeg_encoder_huffman.cpp  entry lists, code tables (standard and optimised), the bit writer
//   jpeg_encoder.cpp          options, segments, regions, reading pixels, the block loop
// CSprite::SaveJPEG (images/sprite_jpeg_save.cpp) turns the image's fields into JpegEncodeJob.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/span_cpu.h"

class CFicheroHttp;
class CSprite;

// --- Colour ---
// The encoder's conversion of one pixel: 15-bit fixed point, arithmetic shifts; Y is 0-255
// (before the level shift), Cb and Cr centred on 0.
inline void JpegRgbToYcc(int r, int g, int b, int* y, int* cb, int* cr)
{
    *y = (9797 * r + 19234 * g + 3735 * b) >> 15;
    *cb = (16384 * b - 10856 * g - 5527 * r) >> 15;
    *cr = (16384 * r - 13719 * g - 2664 * b) >> 15;
}

// --- Quantisation and the forward transform ---
// The scale of a quality (clamped to 1..100 first): 50 / q below 50, else (200 - 2q) / 100.
float JpegQualityScale(int quality);
// One table in natural order: K[k] x scale rounded half to even, clamped to 1..255.
void BuildJpegQuantTable(const uint8_t base[64], float scale, uint16_t out[64]);
// Reciprocals 1 / (8 Q a[i] a[j]) of a natural-order table (single precision).
void BuildJpegQuantReciprocals(const uint16_t quant[64], float out[64]);
// Forward float AAN transform of 64 centred samples (rows, then columns), scaled as the AAN
// factorisation leaves it; then each output x reciprocal rounded half to even, written in
// zig-zag order, coefficients at natural index >= keep set to 0.
void JpegForwardDct(const float* samples, float* out);
void JpegQuantise(const float* dct, const float* reciprocals, int keep, int16_t zigzag[64]);

// --- Kernels ---
// The per-pixel and per-block work of the encoder, by SIMD level. Every level answers exactly
// what the portable one answers (integer colour math, the same float operations in the same
// order, no fused multiply-add), so the written bytes never depend on the processor.
struct JpegEncoderKernels {
    // Y (level-shifted), Cb and Cr of n pixels of 3 or 4 bytes (blue, green, red first) by
    // JpegRgbToYcc; cb and cr null: Y only.
    void (*convertRow)(const uint8_t* pixels, int bytesPerPixel, int n, int16_t* y, int16_t* cb,
                       int16_t* cr);
    // n averaged chroma samples: (a[2i] + a[2i+1]) >> 1, or with a second row the sum of the
    // 2 x 2 samples >> 2.
    void (*downsample)(const int16_t* row0, const int16_t* row1, int n, int16_t* out);
    // The forward transform and quantisation of the 8 x 8 samples at `samples` (rows `stride`
    // apart) into natural order, as JpegForwardDct and JpegQuantise with all 64 codes; answers
    // the natural-order bits of the non-zero coefficients.
    uint64_t (*transformBlock)(const int16_t* samples, ptrdiff_t stride, const float* reciprocals,
                               int16_t natural[64]);
};
// The kernels of a level (levels without kernels of their own take the next lower ones).
const JpegEncoderKernels& ChooseJpegEncoderKernels(SimdLevel level);
extern const JpegEncoderKernels kJpegEncoderKernelsPlain;
// The portable colour row and averaging, which the vector kernels use for their last samples.
void JpegConvertRowPlain(const uint8_t* pixels, int bytesPerPixel, int n, int16_t* y, int16_t* cb,
                         int16_t* cr);
void JpegDownsamplePlain(const int16_t* row0, const int16_t* row1, int n, int16_t* out);
#if defined(__x86_64__)
extern const JpegEncoderKernels kJpegEncoderKernelsSse2;
extern const JpegEncoderKernels kJpegEncoderKernelsAvx2;
#endif

// --- Entries and codes ---
// Symbol codes of one table: code and length per symbol (length 0: no code).
struct JpegCodeTable {
    uint16_t code[256] = {};
    uint8_t length[256] = {};
};
// Canonical codes of a DHT table (counts per length 1-16, symbols in code order).
void BuildJpegCodeTable(const uint8_t counts[16], const uint8_t* symbols, int symbolCount,
                        JpegCodeTable* out);
// Code lengths for the symbols that occurred (frequency > 0) as the encoder's tree makes them,
// then limited to 16 bits; fills DHT counts and symbols (by length, then by frequency, heaviest
// first). Answers the symbol count.
int BuildJpegOptimisedTable(const uint32_t frequency[256], uint8_t counts[16],
                            uint8_t symbols[256]);
// Size category of a value: bits needed for its magnitude (0 for 0).
inline int JpegCategory(int value)
{
    const unsigned m = static_cast<unsigned>(value < 0 ? -value : value);
    return m ? 32 - __builtin_clz(m) : 0;
}

// Bits into bytes, most significant first, through an 8190-byte buffer to a stream (or only
// counted). With stuffing each 0xFF data byte is followed by 0x00, which the data count leaves
// out. Bits gather in a 64-bit word that goes out eight bytes at a time; stuffing looks at the
// bytes one by one only when the word holds a 0xFF.
class JpegBitWriter {
public:
    static constexpr int kBufferSize = 8190;
    JpegBitWriter(CFicheroHttp* stream, bool stuff) : m_stream(stream), m_stuff(stuff) {}
    // count 0..32; bits holds nothing above its low count bits.
    void Put(uint32_t bits, int count)
    {
        if (count < m_free) {
            m_acc = (m_acc << count) | bits;
            m_free -= count;
            return;
        }
        // The word fills: its top bits come from the high end of `bits`, the rest start the
        // next word (bits above them leave by the shifts before that word goes out).
        const int over = count - m_free;
        m_acc = (m_acc << m_free) | (bits >> over);
        PutWord(m_acc);
        m_acc = bits;
        m_free = kWordBits - over;
    }
    // Fills the last partial byte with 0 bits and moves every whole byte to the buffer.
    void Align();
    // Writes the buffer out (whole bytes only); false when the stream took fewer bytes.
    bool Flush();
    // Data bytes so far, stuffing left out; exact after Align or Flush.
    int64_t dataBytes() const { return m_dataBytes; }
    bool failed() const { return m_failed; }

private:
    static constexpr int kWordBits = 64;
    static constexpr int kSlack = 16;   // a word's eight bytes with a stuffed 0x00 each
    void PutWord(uint64_t word);
    void PutByte(uint8_t b)
    {
        m_buffer[m_used++] = b;
        if (b == 0xFF && m_stuff)
            m_buffer[m_used++] = 0;
        ++m_dataBytes;
    }
    void WholeBytesOut();
    void Drain();
    CFicheroHttp* m_stream;
    bool m_stuff;
    uint64_t m_acc = 0;
    int m_free = kWordBits;   // 1..64
    uint8_t m_buffer[kBufferSize + kSlack];
    int m_used = 0;
    int64_t m_dataBytes = 0;
    bool m_failed = false;
};

// The entries of one quantised block coded through its tables, or only counted. natural: the
// coefficients in natural order; zigzag: the zig-zag-order bits of the non-zero ones (DC bit
// ignored); diff: the DC difference.
struct JpegBlockCodes {
    const JpegCodeTable* dc;
    const JpegCodeTable* ac;
    uint32_t* dcFrequency;   // counting: the symbols' counts
    uint32_t* acFrequency;
};
void JpegWriteBlock(const int16_t* natural, uint64_t zigzag, int diff, const JpegBlockCodes& codes,
                    JpegBitWriter* writer);
void JpegCountBlock(const int16_t* natural, uint64_t zigzag, int diff, const JpegBlockCodes& codes);
// Natural-order bits of the non-zero coefficients to zig-zag-order bits.
uint64_t JpegZigzagBits(uint64_t natural);

// --- The encoder ---
enum class JpegEncodeResult {
    Written,     // the stream was written (or counted)
    OpenFailed,
    Aborted,     // the abort word was raised; a file of our own is removed
    WriteFailed,
    NotBuilt,    // a form of stream this encoder does not write yet
    BadImage,    // no pixels, or a depth we do not code
};

struct JpegEncodeJob {
    int quality = 85;             // 1..100
    int chromaQuality = 85;       // 1..100
    int sampling = 0x11;          // 0x11, 0x21, 0x22 (luminance sampling byte)
    bool oneComponent = false;
    bool indexed = false;         // one component of palette indices (8-bit image)
    int keep = 64;                // codes per block
    bool palette = false;         // write APP3
    int tileWidth = 0, tileHeight = 0;   // 0: no tile table
    bool standard = false;        // JFIF header, stuffing, standard SOF/SOS forms
    bool optimise = false;
    int step = 1;                 // estimate step k
    // The region to code (a preview's rectangle); width 0: the whole image.
    int x0 = 0, y0 = 0, width = 0, height = 0;
    CSprite* preview = nullptr;
    int64_t startPosition = 0;    // where the headers start in the stream
    SimdLevel simd = ChosenSimdLevel();   // the kernels' level (the bytes never depend on it)
};

// Encodes the image into the stream (null: counts only). *count receives the header bytes plus
// the entropy-coded bytes (scaled by the estimate factor) plus EOI.
JpegEncodeResult EncodeJpeg(CSprite* image, const JpegEncodeJob& job, CFicheroHttp* stream,
                            int64_t* count);
