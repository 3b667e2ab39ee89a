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

bool JpegBitWriter::Flush()
{
    if (m_used > 0 && m_stream) {
        if (m_stream->Write(m_buffer, m_used) != m_used)
            m_failed = true;
    }
    m_used = 0;
    return !m_failed;
}
