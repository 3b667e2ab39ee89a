#pragma once
// The JPEG stream layout shared by the decoder and the encoder: marker codes, the two entropy
// codings (standard with byte stuffing and restarts, native without), zig-zag order, the default
// quantisation and Huffman tables, the AAN scale factors, block-group layouts and the byte
// layouts of our own application segments. Standard segment fields are big-endian; the fields we
// add inside APP2 and APP4 are little-endian.
#include <cstddef>
#include <cstdint>

// Second byte of a marker word (the first is 0xFF).
enum JpegMarker : uint8_t {
    kMarkerSof0 = 0xC0,   // baseline frame
    kMarkerSof2 = 0xC2,   // native mode: pass-interleaved progressive frame
    kMarkerDht = 0xC4,
    kMarkerRst0 = 0xD0,   // RST0..RST7 = 0xD0..0xD7
    kMarkerRst7 = 0xD7,
    kMarkerSoi = 0xD8,
    kMarkerEoi = 0xD9,
    kMarkerSos = 0xDA,
    kMarkerDqt = 0xDB,
    kMarkerDri = 0xDD,
    kMarkerApp0 = 0xE0,   // JFIF header
    kMarkerApp1 = 0xE1,   // Exif orientation
    kMarkerApp2 = 0xE2,   // native mode: tile table
    kMarkerApp3 = 0xE3,   // native mode: palette
    kMarkerApp4 = 0xE4,   // scale shift and stream flags
    kMarkerApp14 = 0xEE,  // Adobe colour transform (standard streams of other writers)
    kMarkerFill = 0xFF,
};
constexpr uint8_t kMarkerPrefix = 0xFF;

// How the entropy-coded data is written.
enum class JpegCoding {
    Native,     // 0xFF data bytes as they are, no restart markers
    Standard,   // 0xFF followed by a stuffed 0x00, restart markers honoured
};

// Mode word of a decode: bits 0-7 the output depth, bits 8-11 these flags.
enum JpegModeFlags : uint32_t {
    kJpegDepthMask = 0xFF,
    kJpegBrightnessOnly = 0x100,
    kJpegKeepCoefficients = 0x200,
    kJpegAddDifference = 0x400,
    kJpegDrawFromKept = 0x800,
    kJpegModeFlagMask = 0xF00,
};

// Natural (row-major) position of each zig-zag index; 16 extra entries send a corrupt run past
// index 63 to a harmless slot.
extern const uint8_t kJpegNaturalOrder[64 + 16];

// Default quantisation tables (luminance, chrominance) in natural order.
extern const uint8_t kJpegLuminanceQuant[64];
extern const uint8_t kJpegChrominanceQuant[64];

// A Huffman table as DHT carries it: codes per length 1-16, then the symbols in code order.
struct JpegHuffmanCodes {
    uint8_t counts[16];
    const uint8_t* symbols;
    int symbolCount;
};
// The standard tables: luminance DC, chrominance DC, luminance AC, chrominance AC. A stream
// without DHT is decoded with them (identifier 0 luminance, 1 chrominance).
extern const JpegHuffmanCodes kJpegDefaultDcLuminance;
extern const JpegHuffmanCodes kJpegDefaultDcChrominance;
extern const JpegHuffmanCodes kJpegDefaultAcLuminance;
extern const JpegHuffmanCodes kJpegDefaultAcChrominance;

// AAN scale factors: 1, then cos(k pi / 16) sqrt 2 for k = 1..7.
extern const double kJpegAanScale[8];

// Limits of the table data the format carries.
constexpr int kJpegTableIds = 4;             // identifiers 0-3 of quantisation and Huffman tables
constexpr int kJpegMaxDcCodes = 15;
constexpr int kJpegMaxAcCodes = 255;
constexpr int kJpegMaxHuffmanLength = 16;
constexpr int kJpegMaxComponents = 3;
constexpr int kJpegPackedCountFirst = 24;   // component counts 24-32 stand for count - 23
constexpr int kJpegPackedCountLast = 32;
constexpr int kJpegPackedCountBias = 23;
constexpr int kJpegMaxPaletteEntries = 256;

// Block-group (MCU) layout chosen by the first component's sampling byte.
struct JpegGroupLayout {
    uint8_t sampling;      // 0x11, 0x21, 0x12, 0x22 (horizontal factor in the high nibble)
    uint8_t h, v;          // luminance blocks across and down
};
// The layout of a sampling byte; null when the byte is not one we decode.
const JpegGroupLayout* FindJpegGroupLayout(uint8_t sampling);

// --- Segment layouts ---
// SOF payload (after the length): precision, height, width, count, then 3-byte component entries.
constexpr int kSofHeightOffset = 1;
constexpr int kSofWidthOffset = 3;
constexpr int kSofCountOffset = 5;
constexpr int kSofFirstComponent = 6;
constexpr int kSofComponentSize = 3;
constexpr int kSofLargeSizeMinPayload = 16;   // longer payloads carry 32-bit sizes...
constexpr int kSofLargeHeightOffset = 15;     // ...little-endian, height here
constexpr int kSofLargeWidthOffset = 19;      // and width here
constexpr int kSofLargePayload = 23;
constexpr int kSofWrittenPayload = 15;        // as written: always three component entries
// APP2 tile table: tile width, height (16-bit LE), N (32-bit LE); the N 32-bit offsets follow the
// segment outside its declared length of 10.
constexpr int kApp2DeclaredLength = 10;
constexpr int kApp2Payload = 8;
// APP3 palette: n entries of blue, green, red, reserved.
constexpr int kApp3EntrySize = 4;
// APP4: scale shift (32-bit LE), standard flag, skip-bit flag.
constexpr int kApp4Payload = 6;
constexpr int kApp4StandardFlagOffset = 4;
constexpr int kApp4SkipBitsOffset = 5;
// The 18-byte JFIF APP0 segment as written.
extern const uint8_t kJpegJfifSegment[18];

// Reads fixed-size fields from a segment payload; every read is checked against what is left.
class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    size_t Left() const { return m_size - m_pos; }
    size_t Position() const { return m_pos; }
    bool Skip(size_t n) {
        if (n > Left())
            return false;
        m_pos += n;
        return true;
    }
    bool U8(uint8_t* v) {
        if (Left() < 1)
            return false;
        *v = m_data[m_pos++];
        return true;
    }
    bool U16Be(uint16_t* v) {
        if (Left() < 2)
            return false;
        *v = static_cast<uint16_t>(m_data[m_pos] << 8 | m_data[m_pos + 1]);
        m_pos += 2;
        return true;
    }
    const uint8_t* Here() const { return m_data + m_pos; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

uint16_t LoadLe16(const uint8_t* p);
uint32_t LoadLe32(const uint8_t* p);
uint16_t LoadBe16(const uint8_t* p);
uint32_t LoadBe32(const uint8_t* p);

// The Exif orientation (1-8) carried by an APP1 payload; 0 when the payload holds none (not
// Exif, an unknown byte order, a first IFD outside 8-16, no orientation tag, or an entry that
// does not fit the payload). A stored 0 answers 1.
int ReadExifOrientation(const uint8_t* payload, size_t size);

// True for a segment that only standard-mode writers put in a stream: the JFIF (or JFXX) APP0
// header, an Exif APP1 and Adobe's APP14. Native streams never carry them, so a reader that
// meets one reads the stream in standard mode.
bool MarksStandardStream(uint8_t marker, const uint8_t* payload, size_t size);
