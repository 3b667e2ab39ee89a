// Huffman tables, the bit reader over the entropy-coded data, and one block's coefficients.
#include <cstring>

#include "core/stream.h"
#include "images/jpeg_internal.h"

namespace {

constexpr int kEntropyPiece = 1024;        // the stream is read in pieces of this size
constexpr int kFillTarget = 56;            // Fill tops the bit buffer up past this many bits
constexpr int kMaxDcCategory = 15;
constexpr size_t kHeldBackForEoi = 2;      // with a known size the closing EOI stays unread

// Value of `size` raw bits as T.81 extends them: a leading 0 bit means a negative value.
inline int Extend(uint32_t v, int size)
{
    return v < (1u << (size - 1)) ? static_cast<int>(v) + 1 - (1 << size) : static_cast<int>(v);
}

}  // namespace

bool BuildHuffmanTable(const uint8_t counts[16], const uint8_t* symbols, int symbolCount,
                       bool ac, JpegHuffmanTable* t)
{
    int total = 0;
    for (int i = 0; i < kJpegMaxHuffmanLength; ++i)
        total += counts[i];
    if (total > (ac ? kJpegMaxAcCodes : kJpegMaxDcCodes) || total > symbolCount || total == 0)
        return false;
    *t = JpegHuffmanTable();
    std::memcpy(t->symbols, symbols, total);
    t->count = total;

    int32_t code = 0;
    int index = 0;
    for (int len = 1; len <= kJpegMaxHuffmanLength; ++len) {
        const int n = counts[len - 1];
        t->valueOffset[len] = index - code;
        t->maxCode[len] = n ? code + n - 1 : -1;
        for (int i = 0; i < n; ++i, ++code, ++index) {
            if (len > kHuffmanFastBits)
                continue;
            const int shift = kHuffmanFastBits - len;
            const uint8_t symbol = symbols[index];
            for (int j = code << shift; j < (code + 1) << shift; ++j) {
                t->fast[j] = static_cast<uint16_t>(len << 8 | symbol);
                const int run = symbol >> 4, size = symbol & 15;
                if (!ac || size == 0 || len + size > kHuffmanFastBits)
                    continue;
                const uint32_t raw = (j >> (kHuffmanFastBits - len - size)) & ((1u << size) - 1);
                const int value = Extend(raw, size);
                if (value >= -128 && value <= 127)
                    t->fastAc[j] = static_cast<int16_t>(value * 256 + run * 16 + len + size);
            }
        }
        if (code > (1 << len))
            return false;   // more codes than the length can hold
        code <<= 1;
    }
    t->maxCode[kJpegMaxHuffmanLength + 1] = 0x7FFFFFFF;
    t->defined = true;
    return true;
}

void JpegDecoder::UseEntropyBytes(const uint8_t* data, size_t size, bool standard)
{
    m_external = data;
    m_dataFilled = size;
    m_bits = JpegBitReader();
    m_bits.standard = standard;
}

bool JpegDecoder::ReadEntropyPiece()
{
    if (m_external || m_sink->IsAborted())
        return false;
    int want = kEntropyPiece;
    if (m_sizeKnown) {
        const int64_t left = static_cast<int64_t>(m_size) - m_consumed -
                             static_cast<int64_t>(kHeldBackForEoi);
        if (left <= 0)
            return false;
        if (left < want)
            want = static_cast<int>(left);
    }
    if (m_dataFilled + want > m_data.size()) {
        size_t grown = m_data.size() ? m_data.size() * 2 : 65536;
        while (grown < m_dataFilled + want)
            grown *= 2;
        if (m_sizeKnown && grown > m_size)
            grown = m_size;
        m_data.resize(grown);
    }
    const int got = m_stream->Read(m_data.data() + m_dataFilled, want);
    if (got <= 0)
        return false;
    m_dataFilled += got;
    m_consumed += got;
    return true;
}

// Tops the bit buffer up to more than kFillTarget bits. Past the data, or before a marker in
// standard mode, zero bits are supplied and counted in padBits.
void JpegDecoder::Fill()
{
    JpegBitReader& b = m_bits;
    while (b.count <= kFillTarget) {
        if (!b.atMarker && !b.dataEnded) {
            if (b.pos >= m_dataFilled && !ReadEntropyPiece()) {
                b.dataEnded = true;
                continue;
            }
            const uint8_t* data = m_external ? m_external : m_data.data();
            uint8_t byte = data[b.pos];
            if (byte == 0xFF && b.standard) {
                if (b.pos + 1 >= m_dataFilled && !ReadEntropyPiece()) {
                    b.dataEnded = true;
                    continue;
                }
                data = m_external ? m_external : m_data.data();
                if (data[b.pos + 1] != 0x00) {
                    b.atMarker = true;   // the marker stays unread
                    continue;
                }
                b.pos += 2;
            } else {
                ++b.pos;
            }
            b.bits |= static_cast<uint64_t>(byte) << (kFillTarget - b.count);
            b.count += 8;
        } else {
            b.padBits += 64 - b.count;
            b.count = 64;
        }
    }
}

inline int JpegDecoder::DecodeSymbol(const JpegHuffmanTable& t)
{
    JpegBitReader& b = m_bits;
    const uint16_t fast = t.fast[b.bits >> (64 - kHuffmanFastBits)];
    if (fast) {
        const int len = fast >> 8;
        b.bits <<= len;
        b.count -= len;
        return fast & 0xFF;
    }
    const uint32_t code16 = static_cast<uint32_t>(b.bits >> 48);
    for (int len = kHuffmanFastBits + 1; len <= kJpegMaxHuffmanLength; ++len) {
        const int32_t c = static_cast<int32_t>(code16 >> (16 - len));
        if (c <= t.maxCode[len]) {
            b.bits <<= len;
            b.count -= len;
            return t.symbols[c + t.valueOffset[len]];
        }
    }
    return -1;
}

bool JpegDecoder::DecodeBlock(int c, float* coef, bool* acPresent)
{
    JpegBitReader& b = m_bits;
    JpegComponent& comp = m_comp[c];
    const float* m = m_quant[comp.quantId].multipliers;
    const JpegHuffmanTable& dc = *huffman(false, comp.dcTable);
    const JpegHuffmanTable& ac = *huffman(true, comp.acTable);

    if (b.count < 32)
        Fill();
    const int category = DecodeSymbol(dc);
    if (category < 0 || category > kMaxDcCategory)
        return false;
    int diff = 0;
    if (category) {
        diff = Extend(static_cast<uint32_t>(b.bits >> (64 - category)), category);
        b.bits <<= category;
        b.count -= category;
    }
    comp.predictor = static_cast<int16_t>(comp.predictor + diff);
    coef[0] = static_cast<float>(comp.predictor) * m[0];

    bool any = false;
    for (int k = 1; k < 64;) {
        if (b.count < 32)
            Fill();
        const int fa = ac.fastAc[b.bits >> (64 - kHuffmanFastBits)];
        if (fa) {
            const int len = fa & 15;
            b.bits <<= len;
            b.count -= len;
            k += (fa >> 4) & 15;
            const int z = kJpegNaturalOrder[k];
            coef[z] = static_cast<float>(fa >> 8) * m[z];
            any = true;
            ++k;
            continue;
        }
        const int symbol = DecodeSymbol(ac);
        if (symbol < 0)
            return false;
        if (symbol == 0)
            break;
        const int run = symbol >> 4, size = symbol & 15;
        k += run;
        if (size) {
            const int value = Extend(static_cast<uint32_t>(b.bits >> (64 - size)), size);
            b.bits <<= size;
            b.count -= size;
            const int z = kJpegNaturalOrder[k];
            coef[z] = static_cast<float>(static_cast<int16_t>(value)) * m[z];
            any = true;
        }
        ++k;
    }
    *acPresent = any;
    return true;
}

// A restart marker is due: predictors back to 0, the bit buffer emptied and the RSTn passed.
bool JpegDecoder::Restart()
{
    m_bits.bits = 0;
    m_bits.count = 0;
    m_bits.padBits = 0;
    m_bits.atMarker = false;
    for (JpegComponent& c : m_comp)
        c.predictor = 0;
    while (m_bits.pos + 2 > m_dataFilled) {
        if (!ReadEntropyPiece())
            return false;
    }
    const uint8_t* data = m_external ? m_external : m_data.data();
    if (data[m_bits.pos] == kMarkerPrefix && data[m_bits.pos + 1] >= kMarkerRst0 &&
        data[m_bits.pos + 1] <= kMarkerRst7)
        m_bits.pos += 2;
    return true;
}
