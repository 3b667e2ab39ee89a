// JPEG encoder: code tables (standard and optimised) and the bit writer.
#include <algorithm>
#include <cstring>

#include "core/stream.h"
#include "images/jpeg_encoder.h"
#include "images/jpeg_format.h"

namespace {

// A tree node's weight is raised by this much when the joined weight is still at most this.
constexpr uint32_t kLightNodeBias = 4096;
// Lengths the tree may reach before they are limited.
constexpr int kMaxTreeDepth = 257;
constexpr int kReservedSymbol = 256;

}  // namespace

void BuildJpegCodeTable(const uint8_t counts[16], const uint8_t* symbols, int symbolCount,
                        JpegCodeTable* out)
{
    *out = JpegCodeTable();
    uint32_t code = 0;
    int k = 0;
    for (int length = 1; length <= kJpegMaxHuffmanLength; ++length) {
        for (int i = 0; i < counts[length - 1] && k < symbolCount; ++i, ++k) {
            out->code[symbols[k]] = static_cast<uint16_t>(code);
            out->length[symbols[k]] = static_cast<uint8_t>(length);
            ++code;
        }
        code <<= 1;
    }
}

int BuildJpegOptimisedTable(const uint32_t frequency[256], uint8_t counts[16],
                            uint8_t symbols[256])
{
    // Nodes 0-255 are the symbols, 256 a reserved one of the least weight that keeps the code
    // of all 1 bits unused (decoders refuse tables that fill their code space), 257 onward the
    // joined nodes.
    struct Node {
        uint32_t weight;
        int parent;
    };
    std::vector<Node> nodes;
    nodes.reserve(2 * kReservedSymbol + 2);
    std::vector<int> order;   // live nodes, heaviest first
    for (int s = 0; s < kReservedSymbol; ++s)
        nodes.push_back({frequency[s], -1});
    nodes.push_back({1, -1});
    std::memset(counts, 0, 16);
    for (int s = 0; s < kReservedSymbol; ++s)
        if (frequency[s])
            order.push_back(s);
    if (order.empty())
        return 0;
    order.push_back(kReservedSymbol);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return nodes[a].weight > nodes[b].weight; });
    std::vector<int> used;
    for (int s : order)
        if (s != kReservedSymbol)
            used.push_back(s);

    while (order.size() > 1) {
        const int a = order.back();
        order.pop_back();
        const int b = order.back();
        order.pop_back();
        uint32_t weight = nodes[a].weight + nodes[b].weight;
        if (weight <= kLightNodeBias)
            weight += kLightNodeBias;
        const int joined = static_cast<int>(nodes.size());
        nodes.push_back({weight, -1});
        nodes[a].parent = joined;
        nodes[b].parent = joined;
        // Back in weight order, after the nodes of equal weight.
        auto at = std::upper_bound(order.begin(), order.end(), weight,
                                   [&](uint32_t w, int n) { return w > nodes[n].weight; });
        order.insert(at, joined);
    }

    // A symbol's length is its depth; a lone symbol still needs one bit.
    int bits[kMaxTreeDepth + 1] = {};
    std::vector<int> leaves = used;
    leaves.push_back(kReservedSymbol);
    for (int s : leaves) {
        int depth = 0;
        for (int n = s; nodes[n].parent >= 0; n = nodes[n].parent)
            ++depth;
        ++bits[std::max(1, std::min(depth, kMaxTreeDepth))];
    }

    // Limit the lengths to 16 bits: move pairs of the longest codes up, as T.81 K.2 does.
    for (int i = kMaxTreeDepth; i > kJpegMaxHuffmanLength; --i) {
        while (bits[i] > 0) {
            int j = i - 2;
            while (j > 0 && bits[j] == 0)
                --j;
            bits[i] -= 2;
            bits[i - 1] += 1;
            bits[j + 1] += 2;
            bits[j] -= 1;
        }
    }
    // The reserved symbol, the lightest, gives back one of the longest codes.
    for (int i = kJpegMaxHuffmanLength; i > 0; --i) {
        if (bits[i] > 0) {
            --bits[i];
            break;
        }
    }
    // The shortest codes go to the heaviest symbols.
    int k = 0;
    for (int length = 1; length <= kJpegMaxHuffmanLength; ++length) {
        counts[length - 1] = static_cast<uint8_t>(bits[length]);
        for (int i = 0; i < bits[length]; ++i, ++k)
            symbols[k] = static_cast<uint8_t>(used[k]);
    }
    return k;
}

void JpegBitWriter::PutWord(uint64_t word)
{
    // A word without a 0xFF byte needs no stuffing: its eight bytes go out in one store.
    const uint64_t inverted = ~word;
    const bool hasFf = ((inverted - 0x0101010101010101ull) & ~inverted & 0x8080808080808080ull) != 0;
    if (!m_stuff || !hasFf) {
        const uint64_t bigEndian = __builtin_bswap64(word);
        std::memcpy(m_buffer + m_used, &bigEndian, sizeof(bigEndian));
        m_used += 8;
        m_dataBytes += 8;
    } else {
        for (int shift = kWordBits - 8; shift >= 0; shift -= 8)
            PutByte(static_cast<uint8_t>(word >> shift));
    }
    if (m_used >= kBufferSize)
        Drain();
}

void JpegBitWriter::Drain()
{
    // The stream receives whole buffers of kBufferSize bytes; what is over starts the next one.
    if (m_stream && !m_failed && m_stream->Write(m_buffer, kBufferSize) != kBufferSize)
        m_failed = true;
    m_used -= kBufferSize;
    std::memmove(m_buffer, m_buffer + kBufferSize, static_cast<size_t>(m_used));
}

void JpegBitWriter::WholeBytesOut()
{
    int pending = kWordBits - m_free;
    while (pending >= 8) {
        pending -= 8;
        PutByte(static_cast<uint8_t>(m_acc >> pending));
        if (m_used >= kBufferSize)
            Drain();
    }
    m_free = kWordBits - pending;
}

void JpegBitWriter::Align()
{
    const int partial = (kWordBits - m_free) & 7;
    if (partial)
        Put(0, 8 - partial);
    WholeBytesOut();
}

bool JpegBitWriter::Flush()
{
    WholeBytesOut();
    if (m_used > 0 && m_stream && !m_failed) {
        if (m_stream->Write(m_buffer, m_used) != m_used)
            m_failed = true;
    }
    m_used = 0;
    return !m_failed;
}

namespace {

// Bits of zig-zag positions for each natural-order nibble: entry [p][v] has the zig-zag bits of
// the natural indices 4p..4p+3 set in v.
struct ZigzagNibbles {
    uint64_t bits[16][16];
    ZigzagNibbles()
    {
        int zigzagOf[64];
        for (int z = 0; z < 64; ++z)
            zigzagOf[kJpegNaturalOrder[z]] = z;
        for (int p = 0; p < 16; ++p)
            for (int v = 0; v < 16; ++v) {
                uint64_t b = 0;
                for (int i = 0; i < 4; ++i)
                    if (v >> i & 1)
                        b |= 1ull << zigzagOf[4 * p + i];
                bits[p][v] = b;
            }
    }
};
const ZigzagNibbles kZigzagNibbles;

constexpr int kSymbolEob = 0x00, kSymbolZeroRun = 0xF0;
constexpr int kLongestRun = 15;

// The value bits of a coefficient of size category `size`: negative values as their one's
// complement.
inline uint32_t ValueBits(int v, int size)
{
    return static_cast<uint32_t>(v - (v < 0)) & ((1u << size) - 1u);
}

// The entries of one block in order: emit(symbol, table, value bits, size) per entry.
template <class Emit>
inline __attribute__((always_inline)) void ForEachEntry(const int16_t* natural, uint64_t zigzag,
                                                        int diff, Emit emit)
{
    const int dcSize = JpegCategory(diff);
    emit(dcSize, false, ValueBits(diff, dcSize), dcSize);
    uint64_t rest = zigzag & ~1ull;
    int last = 0;
    while (rest) {
        const int z = __builtin_ctzll(rest);
        rest &= rest - 1;
        int run = z - last - 1;
        last = z;
        while (run > kLongestRun) {
            emit(kSymbolZeroRun, true, 0u, 0);
            run -= kLongestRun + 1;
        }
        const int v = natural[kJpegNaturalOrder[z]];
        const int size = JpegCategory(v);
        emit(run << 4 | size, true, ValueBits(v, size), size);
    }
    if (last != 63)
        emit(kSymbolEob, true, 0u, 0);
}

}  // namespace

uint64_t JpegZigzagBits(uint64_t natural)
{
    uint64_t out = 0;
    for (int p = 0; p < 16; ++p)
        out |= kZigzagNibbles.bits[p][(natural >> (4 * p)) & 0xF];
    return out;
}

void JpegWriteBlock(const int16_t* natural, uint64_t zigzag, int diff, const JpegBlockCodes& codes,
                    JpegBitWriter* writer)
{
    const JpegCodeTable& dc = *codes.dc;
    const JpegCodeTable& ac = *codes.ac;
    ForEachEntry(natural, zigzag, diff, [&](int symbol, bool isAc, uint32_t bits, int size) {
        const JpegCodeTable& t = isAc ? ac : dc;
        writer->Put(static_cast<uint32_t>(t.code[symbol]) << size | bits, t.length[symbol] + size);
    });
}

void JpegCountBlock(const int16_t* natural, uint64_t zigzag, int diff, const JpegBlockCodes& codes)
{
    ForEachEntry(natural, zigzag, diff, [&](int symbol, bool isAc, uint32_t, int) {
        ++(isAc ? codes.acFrequency : codes.dcFrequency)[symbol];
    });
}
