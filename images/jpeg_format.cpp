#include "images/jpeg_format.h"

#include <cstring>

const uint8_t kJpegNaturalOrder[64 + 16] = {
     0,  1,  8, 16,  9,  2,  3, 10, 17, 24, 32, 25, 18, 11,  4,  5,
    12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13,  6,  7, 14, 21, 28,
    35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
    58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
    63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63,
};

const uint8_t kJpegLuminanceQuant[64] = {
    16, 11, 10, 16,  24,  40,  51,  61,
    12, 12, 14, 19,  26,  58,  60,  55,
    14, 13, 16, 24,  40,  57,  69,  56,
    14, 17, 22, 29,  51,  87,  80,  62,
    18, 22, 37, 56,  68, 109, 103,  77,
    24, 35, 55, 64,  81, 104, 113,  92,
    49, 64, 78, 87, 103, 121, 120, 101,
    72, 92, 95, 98, 112, 100, 103,  99,
};

const uint8_t kJpegChrominanceQuant[64] = {
    17, 18, 24, 47, 99, 99, 99, 99,
    18, 21, 26, 66, 99, 99, 99, 99,
    24, 26, 56, 99, 99, 99, 99, 99,
    47, 66, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99,
};

namespace {

const uint8_t kDcSymbols[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};

const uint8_t kAcLuminanceSymbols[162] = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61,
    0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52,
    0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25,
    0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45,
    0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64,
    0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
    0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
    0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6,
    0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3,
    0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8,
    0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa,
};

const uint8_t kAcChrominanceSymbols[162] = {
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61,
    0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33,
    0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18,
    0x19, 0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44,
    0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63,
    0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a,
    0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97,
    0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4,
    0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca,
    0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7,
    0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa,
};

const JpegGroupLayout kGroupLayouts[] = {
    {0x11, 1, 1},
    {0x21, 2, 1},
    {0x12, 1, 2},
    {0x22, 2, 2},
};

// TIFF field types 1-12 and their element sizes.
const uint8_t kTiffTypeSizes[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
constexpr uint16_t kTiffTagOrientation = 0x0112;
constexpr size_t kExifTiffStart = 6;      // "Exif" 0 0, then the TIFF header
constexpr uint32_t kExifFirstIfdMin = 8;
constexpr uint32_t kExifFirstIfdMax = 16;
constexpr uint32_t kExifIfdOffset = 8;     // where the IFD is read, whatever the header says
constexpr size_t kTiffEntrySize = 12;
constexpr int kMaxOrientation = 8;

}  // namespace

const JpegHuffmanCodes kJpegDefaultDcLuminance = {
    {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}, kDcSymbols, 12};
const JpegHuffmanCodes kJpegDefaultDcChrominance = {
    {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0}, kDcSymbols, 12};
const JpegHuffmanCodes kJpegDefaultAcLuminance = {
    {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d}, kAcLuminanceSymbols, 162};
const JpegHuffmanCodes kJpegDefaultAcChrominance = {
    {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77}, kAcChrominanceSymbols, 162};

const double kJpegAanScale[8] = {
    1.0, 1.387039845, 1.306562965, 1.175875602, 1.0, 0.785694958, 0.541196100, 0.275899379,
};

const uint8_t kJpegJfifSegment[18] = {
    0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01,
    0x00, 0x00,
};

const JpegGroupLayout* FindJpegGroupLayout(uint8_t sampling)
{
    for (const JpegGroupLayout& layout : kGroupLayouts) {
        if (layout.sampling == sampling)
            return &layout;
    }
    return nullptr;
}

uint16_t LoadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t LoadLe32(const uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint16_t LoadBe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
uint32_t LoadBe32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

int ReadExifOrientation(const uint8_t* payload, size_t size)
{
    static const uint8_t kExifId[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (size < kExifTiffStart + 8)
        return 0;
    for (size_t i = 0; i < sizeof(kExifId); ++i) {
        if (payload[i] != kExifId[i])
            return 0;
    }
    const uint8_t* tiff = payload + kExifTiffStart;
    const size_t tiffSize = size - kExifTiffStart;
    bool little;
    if (tiff[0] == 'I' && tiff[1] == 'I' && tiff[2] == 0x2A && tiff[3] == 0)
        little = true;
    else if (tiff[0] == 'M' && tiff[1] == 'M' && tiff[2] == 0 && tiff[3] == 0x2A)
        little = false;
    else
        return 0;
    auto u16 = [little](const uint8_t* p) { return little ? LoadLe16(p) : LoadBe16(p); };
    auto u32 = [little](const uint8_t* p) { return little ? LoadLe32(p) : LoadBe32(p); };

    const uint32_t firstIfd = u32(tiff + 4);
    if (firstIfd < kExifFirstIfdMin || firstIfd > kExifFirstIfdMax)
        return 0;
    if (tiffSize < kExifIfdOffset + 2)
        return 0;
    const uint16_t count = u16(tiff + kExifIfdOffset);
    size_t at = kExifIfdOffset + 2;
    for (uint16_t i = 0; i < count; ++i, at += kTiffEntrySize) {
        if (tiffSize - at < kTiffEntrySize || at > tiffSize)
            return 0;
        const uint8_t* entry = tiff + at;
        const uint16_t tag = u16(entry);
        const uint16_t type = u16(entry + 2);
        const uint32_t n = u32(entry + 4);
        if (type < 1 || type > 12)
            continue;
        const uint64_t bytes = static_cast<uint64_t>(n) * kTiffTypeSizes[type];
        const uint8_t* value = entry + 8;
        if (bytes > 4) {
            const uint32_t offset = u32(entry + 8);
            if (offset > tiffSize || bytes > tiffSize - offset)
                return 0;
            value = tiff + offset;
        }
        if (tag != kTiffTagOrientation || n < 1)
            continue;
        uint32_t orientation;
        switch (kTiffTypeSizes[type]) {
        case 1: orientation = value[0]; break;
        case 2: orientation = u16(value); break;
        case 4: orientation = u32(value); break;
        default: return 0;
        }
        if (orientation == 0)
            return 1;
        return orientation <= kMaxOrientation ? static_cast<int>(orientation) : 0;
    }
    return 0;
}

bool MarksStandardStream(uint8_t marker, const uint8_t* payload, size_t size)
{
    auto startsWith = [&](const char* id, size_t n) {
        return size >= n && std::memcmp(payload, id, n) == 0;
    };
    switch (marker) {
    case kMarkerApp0:
        return startsWith("JFIF\0", 5) || startsWith("JFXX\0", 5);
    case kMarkerApp1:
        return startsWith("Exif\0", 5);
    case kMarkerApp14:
        return startsWith("Adobe", 5);
    default:
        return false;
    }
}
