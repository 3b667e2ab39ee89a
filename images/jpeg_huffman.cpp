// Huffman tables, the bit reader over the entropy-coded data, and one block's coefficients.
#include <cstring>
#include <type_traits>

#include "core/stream.h"
#include "images/jpeg_internal.h"

namespace {

constexpr int kEntropyPiece = 1024;        // the stream is read in pieces of this size
constexpr int kFillTarget = 56;            // Fill tops the bit buffer up past this many bits
constexpr int kMaxDcCategory = 15;
constexpr size_t kHeldBackForEoi = 2;      // with a known size the closing EOI stays unread
constexpr size_t kEntropyWindow = 65536;   // the window kept on the entropy-coded data

// Value of `size` raw bits as T.81 extends them: a leading 0 bit means a negative value.
inline int Extend(uint32_t v, int size)
{
    return v < (1u << (size - 1)) ? static_cast<int>(v) + 1 - (1 << size) : static_cast<int>(v);
}

// The one-code look-up entries of one AC code (see kAcValueFollows), the low 32 bits of fastAc:
// every peek that starts with it.
void FillAcEntries(int code, int len, uint8_t symbol, uint32_t* one)
{
    const int run = symbol >> 4, size = symbol & 15;
    // EOB ends the block; a run of zeros (ZRL, or an undefined zero-size symbol) only steps.
    const uint32_t step = size == 0 && run == 0 ? kAcEobStep : run + 1;
    const int shift = kHuffmanAcBits - len;
    for (int j = code << shift; j < (code + 1) << shift; ++j) {
        uint32_t entry;
        if (size == 0) {
            entry = step << kAcStepShift | len;
        } else if (len + size <= kHuffmanAcBits) {
            const uint32_t raw = (j >> (kHuffmanAcBits - len - size)) & ((1u << size) - 1);
            entry = static_cast<uint32_t>(Extend(raw, size)) << kAcValueShift |
                    step << kAcStepShift | (len + size);
        } else {
            entry = static_cast<uint32_t>(size) << kAcValueShift | step << kAcStepShift |
                    kAcValueFollows | len;
        }
        one[j] = entry;
    }
}

// Whole entries from the one-code entries: a second code joins the first when the first is
// complete in the peek and no EOB, and the second, with its value, fits the bits that follow.
void PairAcEntries(const uint32_t* one, uint64_t* fastAc)
{
    constexpr int kPeek = 1 << kHuffmanAcBits;
    auto complete = [](uint32_t taken) { return taken != 0 && taken < kAcValueFollows; };
    for (int j = 0; j < kPeek; ++j) {
        const uint32_t first = one[j];
        const uint32_t taken = first & 0xFF;
        const uint64_t value = first >> kAcValueShift;
        uint64_t entry = static_cast<uint64_t>(first) |
                         static_cast<uint64_t>(taken) << kAcOneTakenShift |
                         value << kAcPairValueShift;   // no second code: the first one again
        if (complete(taken) && (first >> kAcStepShift & 0xFF) != kAcEobStep &&
            static_cast<int>(taken) < kHuffmanAcBits) {
            // The bits after the first code; those past the peek are zeros here, which the
            // second entry does not read when it fits.
            const uint32_t second = one[(j << taken) & (kPeek - 1)];
            const uint32_t taken2 = second & 0xFF;
            if (complete(taken2) && static_cast<int>(taken + taken2) <= kHuffmanAcBits) {
                entry = (entry & ~uint64_t{0xFF} & ~(uint64_t{0xFFFF} << kAcPairValueShift)) |
                        (taken + taken2) |
                        static_cast<uint64_t>(second >> kAcStepShift & 0xFF) << kAcPairStepShift |
                        static_cast<uint64_t>(second >> kAcValueShift) << kAcPairValueShift;
            }
        }
        fastAc[j] = entry;
    }
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

    uint32_t oneAc[1 << kHuffmanAcBits] = {};
    int32_t code = 0;
    int index = 0;
    for (int len = 1; len <= kJpegMaxHuffmanLength; ++len) {
        const int n = counts[len - 1];
        t->valueOffset[len] = index - code;
        t->maxCode[len] = n ? code + n - 1 : -1;
        // More codes than the length can hold: refused before the fast tables are filled,
        // whose rows the surplus codes would lie past.
        if (code + n > (1 << len))
            return false;
        for (int i = 0; i < n; ++i, ++code, ++index) {
            const uint8_t symbol = symbols[index];
            if (ac && len <= kHuffmanAcBits)
                FillAcEntries(code, len, symbol, oneAc);
            if (len > kHuffmanFastBits)
                continue;
            const int shift = kHuffmanFastBits - len;
            for (int j = code << shift; j < (code + 1) << shift; ++j) {
                t->fast[j] = static_cast<uint16_t>(len << 8 | symbol);
                // DC: the symbol is the category, the size of the difference.
                if (ac || symbol > kMaxDcCategory || len + symbol > kHuffmanFastBits)
                    continue;
                const uint32_t raw =
                    symbol ? (j >> (kHuffmanFastBits - len - symbol)) & ((1u << symbol) - 1) : 0;
                t->fastDc[j] = (symbol ? Extend(raw, symbol) : 0) * 256 + len + symbol;
            }
        }
        code <<= 1;
    }
    if (ac)
        PairAcEntries(oneAc, t->fastAc);
    t->maxCode[kJpegMaxHuffmanLength + 1] = 0x7FFFFFFF;
    t->defined = true;
    return true;
}

void JpegDecoder::UseEntropyBytes(const uint8_t* data, size_t size, bool standard)
{
    m_external = data;
    m_dataFilled = size;
    m_dataBase = 0;
    m_bits = JpegBitReader();
    m_bits.standard = standard;
    UseScanTables();
}

void JpegDecoder::UseScanTables()
{
    for (int c = 0; c < kJpegMaxComponents; ++c) {
        m_dcUse[c] = huffman(false, m_comp[c].dcTable);
        m_acUse[c] = huffman(true, m_comp[c].acTable);
        m_multUse[c] = m_quant[m_comp[c].quantId].multipliers;
    }
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
        // Drop what the bit reader has passed; grow only when that is not enough.
        const size_t keep = m_dataFilled - m_bits.pos;
        if (keep > 0 && m_bits.pos > 0)   // (the window has no memory before the first piece)
            std::memmove(m_data.data(), m_data.data() + m_bits.pos, keep);
        m_dataBase += static_cast<int64_t>(m_bits.pos);
        m_dataFilled = keep;
        m_bits.pos = 0;
        if (m_dataFilled + want > m_data.size())
            m_data.resize(m_dataFilled + want > kEntropyWindow ? (m_dataFilled + want) * 2
                                                               : kEntropyWindow);
    }
    const int got = m_stream->Read(m_data.data() + m_dataFilled, want);
    if (got <= 0)
        return false;
    m_dataFilled += got;
    m_consumed += got;
    return true;
}

// Tops the bit buffer up to more than kFillTarget bits, eight bytes at once when they hold no
// 0xFF that standard mode must look at.
inline void JpegDecoder::Fill()
{
    JpegBitReader& b = m_bits;
    if (!b.atMarker && !b.dataEnded && b.pos + 8 <= m_dataFilled) {
        uint64_t word;
        std::memcpy(&word, Data() + b.pos, 8);
        word = __builtin_bswap64(word);
        const int n = (64 - b.count) >> 3;   // whole bytes that fit, 1..8
        const uint64_t chunk = n == 8 ? word : word >> (64 - 8 * n);
        const uint64_t inverted = ~chunk;     // a 0xFF byte becomes a zero byte
        const bool hasFF = ((inverted - 0x0101010101010101ull) & ~inverted &
                            0x8080808080808080ull) != 0;
        if (!b.standard || !hasFF) {
            b.bits |= chunk << (64 - b.count - 8 * n);
            b.count += 8 * n;
            b.pos += n;
            return;
        }
    }
    FillSlow();
}

// Byte by byte: stuffed zeros passed over, a marker stops the reading. Past the data, or before
// a marker in standard mode, zero bits are supplied and counted in padBits.
void JpegDecoder::FillSlow()
{
    JpegBitReader& b = m_bits;
    while (b.count <= kFillTarget) {
        if (!b.atMarker && !b.dataEnded) {
            if (b.pos >= m_dataFilled && !ReadEntropyPiece()) {
                b.dataEnded = true;
                continue;
            }
            const uint8_t byte = Data()[b.pos];
            if (byte == 0xFF && b.standard) {
                if (b.pos + 1 >= m_dataFilled && !ReadEntropyPiece()) {
                    b.dataEnded = true;
                    continue;
                }
                if (Data()[b.pos + 1] != 0x00) {
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

namespace {

// Position in natural order of the coefficient reached after k steps: zig-zag index k - 1.
// Steps past the block (an EOB, or runs in corrupt data) land on the last position with value 0
// or, in corrupt data, the value the stream gives; the position is free until the block ends.
struct StepOrder {
    uint8_t at[64 + kAcEobStep] = {};
    StepOrder()
    {
        for (int k = 1; k < 64 + kAcEobStep; ++k)
            at[k] = k <= 64 ? kJpegNaturalOrder[k - 1] : 63;
    }
};
const StepOrder kStepOrderTable;
const uint8_t* const kStepOrder = kStepOrderTable.at;

// The symbol of the next code; -1 when no code of the table matches. Consumes its bits.
inline int DecodeSymbol(const JpegHuffmanTable& t, uint64_t& bits, int& count)
{
    const uint16_t fast = t.fast[bits >> (64 - kHuffmanFastBits)];
    if (fast) {
        const int len = fast >> 8;
        bits <<= len;
        count -= len;
        return fast & 0xFF;
    }
    const uint32_t code16 = static_cast<uint32_t>(bits >> 48);
    for (int len = kHuffmanFastBits + 1; len <= kJpegMaxHuffmanLength; ++len) {
        const int32_t c = static_cast<int32_t>(code16 >> (16 - len));
        if (c <= t.maxCode[len]) {
            bits <<= len;
            count -= len;
            return t.symbols[c + t.valueOffset[len]];
        }
    }
    return -1;
}

}  // namespace

bool JpegDecoder::DecodeBlock(int c, int16_t* coef, bool* acPresent)
{
    const uint8_t component = static_cast<uint8_t>(c);
    return DecodeBlocks(1, &component, reinterpret_cast<int16_t(*)[64]>(coef), acPresent);
}

bool JpegDecoder::DecodeBlocks(int blocks, const uint8_t* components, int16_t (*coefs)[64],
                               bool* acPresent)
{
    // The bit buffer lives in registers here and goes back to the reader around each fill.
    uint64_t bits = m_bits.bits;
    int count = m_bits.count;
    auto refill = [&]() {
        m_bits.bits = bits;
        m_bits.count = count;
        Fill();
        bits = m_bits.bits;
        count = m_bits.count;
    };
    bool ok = true;
    for (int b = 0; b < blocks && ok; ++b) {
        const int c = components[b];
        int16_t* coef = coefs[b];
        JpegComponent& comp = m_comp[c];
        const JpegHuffmanTable& dc = *m_dcUse[c];
        const JpegHuffmanTable& ac = *m_acUse[c];

        if (count < 32)
            refill();
        int diff = 0;
        const int32_t fd = dc.fastDc[bits >> (64 - kHuffmanFastBits)];
        if (fd) {
            bits <<= fd & 31;
            count -= fd & 31;
            diff = fd >> 8;
        } else {
            const int category = DecodeSymbol(dc, bits, count);
            if (category < 0 || category > kMaxDcCategory) {
                ok = false;
                break;
            }
            if (category) {
                diff = Extend(static_cast<uint32_t>(bits >> (64 - category)), category);
                bits <<= category;
                count -= category;
            }
        }
        comp.predictor = static_cast<int16_t>(comp.predictor + diff);
        coef[0] = comp.predictor;

        // k counts the positions passed in zig-zag order; a coefficient lands at kStepOrder[k]
        // once its step is added. Every stored value is ORed in: zero means no AC term. Below
        // kPairsBefore no first code can end the block, so a second code in the same entry is
        // still this block's: both are taken.
        constexpr int kPairsBefore = 64 - 16;   // the longest step but EOB's is a run of 15
        uint64_t nonzero = 0;
        int k = 1;
        auto next = [&](auto pairs) {
            constexpr bool kPairs = decltype(pairs)::value;
            if (count < 32)
                refill();
            const uint64_t e = ac.fastAc[bits >> (64 - kHuffmanAcBits)];
            const uint32_t taken = static_cast<uint32_t>(
                e >> (kPairs ? kAcPairTakenShift : kAcOneTakenShift)) & 0xFF;
            if (taken - 1 < kAcValueFollows - 1) {
                // Codes and values in one look-up (value 0 for EOB and runs of zeros).
                bits <<= taken;
                count -= static_cast<int>(taken);
                k += static_cast<int>(e >> kAcStepShift & 0xFF);
                coef[kStepOrder[k]] = static_cast<int16_t>(e >> kAcValueShift);
                if constexpr (kPairs) {
                    k += static_cast<int>(e >> kAcPairStepShift & 0xFF);
                    coef[kStepOrder[k]] = static_cast<int16_t>(e >> kAcPairValueShift);
                    nonzero |= e & (uint64_t{0xFFFF} << kAcValueShift |
                                    uint64_t{0xFFFF} << kAcPairValueShift);
                } else {
                    nonzero |= e & uint64_t{0xFFFF} << kAcValueShift;
                }
                return;
            }
            int value;
            if (taken & kAcValueFollows) {
                const int len = static_cast<int>(taken & 0x7F);
                const int size = static_cast<int>(e >> kAcValueShift & 0xFFFF);
                bits <<= len;
                value = Extend(static_cast<uint32_t>(bits >> (64 - size)), size);
                bits <<= size;
                count -= len + size;
                k += static_cast<int>(e >> kAcStepShift & 0xFF);
            } else {
                const int symbol = DecodeSymbol(ac, bits, count);
                if (symbol <= 0) {
                    ok = symbol == 0;
                    k = 64;
                    return;
                }
                const int size = symbol & 15;
                value = 0;
                if (size) {
                    value = Extend(static_cast<uint32_t>(bits >> (64 - size)), size);
                    bits <<= size;
                    count -= size;
                }
                k += (symbol >> 4) + 1;
            }
            coef[kStepOrder[k]] = static_cast<int16_t>(value);
            nonzero |= static_cast<uint16_t>(value);
        };
        while (k < kPairsBefore)
            next(std::true_type());
        while (k < 64)
            next(std::false_type());
        acPresent[b] = nonzero != 0;
    }
    m_bits.bits = bits;
    m_bits.count = count;
    return ok;
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
    const uint8_t* data = Data();
    if (data[m_bits.pos] == kMarkerPrefix && data[m_bits.pos + 1] >= kMarkerRst0 &&
        data[m_bits.pos + 1] <= kMarkerRst7)
        m_bits.pos += 2;
    return true;
}
