#include "core/system_wrappers.h"

#include <cstring>

namespace {

constexpr int kBitsPerByte = 8;

inline int BitLsb(const uint8_t* bytes, uint64_t bit) {
    return (bytes[bit / kBitsPerByte] >> (bit % kBitsPerByte)) & 1;
}

inline int BitMsb(const uint8_t* bytes, uint64_t bit) {
    return (bytes[bit / kBitsPerByte] >> (kBitsPerByte - 1 - bit % kBitsPerByte)) & 1;
}

inline void SetBitLsb(uint8_t* bytes, uint64_t bit, int value) {
    uint8_t mask = static_cast<uint8_t>(1u << (bit % kBitsPerByte));
    if (value)
        bytes[bit / kBitsPerByte] |= mask;
    else
        bytes[bit / kBitsPerByte] &= static_cast<uint8_t>(~mask);
}

inline void SetBitMsb(uint8_t* bytes, uint64_t bit, int value) {
    uint8_t mask = static_cast<uint8_t>(0x80u >> (bit % kBitsPerByte));
    if (value)
        bytes[bit / kBitsPerByte] |= mask;
    else
        bytes[bit / kBitsPerByte] &= static_cast<uint8_t>(~mask);
}

}  // namespace

int RoundUpPow2Size(int n) {
    int size = kTextureSizeMin;
    while (size < n && size < kTextureSizeMax)
        size *= 2;
    return size;
}

int SplitIntoPow2Pieces(int length, int pieceSize, int* pieces, int capacity) {
    if (length <= 0 || pieceSize <= 0 || !pieces || capacity <= 0)
        return 0;
    const int limit = capacity < kTexturePiecesMax ? capacity : kTexturePiecesMax;
    int remaining = length;
    int piece = pieceSize;
    int count = 0;
    while (remaining > 0 && count < limit) {
        while (piece - remaining > kTextureSizeMin && piece > kTextureSizeMin && piece / 2 >= remaining)
            piece /= 2;
        pieces[count++] = piece;
        remaining -= piece;
    }
    return count;
}

void CopyBitsLsbFirst(void* destination, uint64_t destinationBit, const void* source,
                      uint64_t sourceBit, int count) {
    const uint8_t* from = static_cast<const uint8_t*>(source);
    uint8_t* to = static_cast<uint8_t*>(destination);
    for (int k = 0; k < count; k++)
        SetBitLsb(to, destinationBit + k, BitLsb(from, sourceBit + k));
}

void CopyBitsMsbFirst(void* destination, uint64_t destinationBit, const void* source,
                      uint64_t sourceBit, int count) {
    const uint8_t* from = static_cast<const uint8_t*>(source);
    uint8_t* to = static_cast<uint8_t*>(destination);
    for (int k = 0; k < count; k++)
        SetBitMsb(to, destinationBit + k, BitMsb(from, sourceBit + k));
}

void ReadBitsLsbFirst(void* out, const void* bytes, uint64_t position, int count) {
    if (count <= 0)
        return;
    std::memset(out, 0, (static_cast<size_t>(count) + kBitsPerByte - 1) / kBitsPerByte);
    CopyBitsLsbFirst(out, 0, bytes, position, count);
}

void ReadBitsMsbFirst(void* out, const void* bytes, uint64_t position, int count) {
    if (count <= 0)
        return;
    std::memset(out, 0, (static_cast<size_t>(count) + kBitsPerByte - 1) / kBitsPerByte);
    uint8_t* target = static_cast<uint8_t*>(out);
    int remaining = count;
    while (remaining > 0) {
        int piece = remaining < kBitsPerByte ? remaining : kBitsPerByte;
        remaining -= piece;
        // The piece's bits fill the low end of the byte, most significant first.
        CopyBitsMsbFirst(target++, static_cast<uint64_t>(kBitsPerByte - piece), bytes,
                         position + static_cast<uint64_t>(remaining), piece);
    }
}

int64_t FindByteDifference(const uint8_t* a, const uint8_t* b, size_t length, int tolerance) {
    if (!a || !b)
        return -1;
    for (size_t i = 0; i < length; i++) {
        int difference = static_cast<int8_t>(static_cast<uint8_t>(a[i] - b[i]));
        if (difference < -tolerance || difference > tolerance)
            return static_cast<int64_t>(i);
    }
    return -1;
}

uint32_t SwapRedBlue(uint32_t colour) {
    return (colour & 0xFF00FF00u) | ((colour & 0xFFu) << 16) | ((colour >> 16) & 0xFFu);
}

void SwapBytes32(uint32_t* value) {
    uint32_t v = *value;
    *value = (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

void SwapBytes16(uint16_t* value) {
    *value = static_cast<uint16_t>((*value >> 8) | (*value << 8));
}
