// Segment handlers: each takes one segment's payload (after the length) and checks every field
// against what the payload holds before using it.
#include <cstring>

#include "images/jpeg_internal.h"

namespace {

// Sides past this are refused before any size product is formed.
constexpr uint32_t kMaxSide = 1u << 30;
constexpr uint64_t kMaxPixels = 1ull << 31;
constexpr int kScanEntrySize = 2;
constexpr int kScanTrailer = 3;          // Ss, Se, Ah/Al
constexpr int kNativeScanEntries = 3;    // native streams always write three entries

}  // namespace

const JpegHuffmanTable* JpegDecoder::huffman(bool ac, int id) const
{
    if (id < 0 || id >= kJpegTableIds)
        return nullptr;
    if (ac ? m_ownAc : m_ownDc)
        return ac ? &m_ac[id] : &m_dc[id];
    // Until the stream brings its own tables: 0 luminance, 1 chrominance.
    if (id > 1)
        return nullptr;
    return ac ? &m_defaultAc[id] : &m_defaultDc[id];
}

JpegError JpegDecoder::ReadQuantTables(const uint8_t* p, size_t n)
{
    ByteReader r(p, n);
    if (r.Left() == 0)
        return JpegError::BadSegment;
    while (r.Left()) {
        uint8_t pqtq;
        r.U8(&pqtq);
        const int precision = pqtq >> 4, id = pqtq & 15;
        if (precision > 1 || id >= kJpegTableIds)
            return JpegError::BadSegment;
        const size_t bytes = precision ? 128 : 64;
        if (r.Left() < bytes)
            return JpegError::BadSegment;
        JpegQuantTable& t = m_quant[id];
        for (int k = 0; k < 64; ++k) {
            const uint8_t* v = r.Here() + (precision ? 2 * k : k);
            t.values[kJpegNaturalOrder[k]] = precision ? LoadBe16(v) : *v;
        }
        r.Skip(bytes);
        BuildQuantMultipliers(&t);
        t.defined = true;
    }
    return JpegError::None;
}

JpegError JpegDecoder::ReadHuffmanTables(const uint8_t* p, size_t n)
{
    ByteReader r(p, n);
    if (r.Left() == 0)
        return JpegError::BadSegment;
    while (r.Left()) {
        uint8_t tcth;
        r.U8(&tcth);
        const bool ac = (tcth >> 4) != 0;
        const int id = tcth & 15;
        if (id >= kJpegTableIds || r.Left() < 16)
            return JpegError::BadSegment;
        uint8_t counts[16];
        std::memcpy(counts, r.Here(), 16);
        r.Skip(16);
        int total = 0;
        for (uint8_t c : counts)
            total += c;
        if (total > (ac ? kJpegMaxAcCodes : kJpegMaxDcCodes) || r.Left() < static_cast<size_t>(total))
            return JpegError::BadSegment;
        JpegHuffmanTable& t = ac ? m_ac[id] : m_dc[id];
        if (!BuildHuffmanTable(counts, r.Here(), total, ac, &t))
            return JpegError::BadSegment;
        r.Skip(total);
        (ac ? m_ownAc : m_ownDc) = true;
    }
    return JpegError::None;
}

JpegError JpegDecoder::ReadFrameHeader(const uint8_t* p, size_t n, bool progressive)
{
    if (n < kSofFirstComponent)
        return JpegError::BadSegment;
    uint32_t height = LoadBe16(p + kSofHeightOffset);
    uint32_t width = LoadBe16(p + kSofWidthOffset);
    if (n >= kSofLargeSizeMinPayload) {
        if (n < kSofLargePayload)
            return JpegError::BadSegment;
        height = LoadLe32(p + kSofLargeHeightOffset);
        width = LoadLe32(p + kSofLargeWidthOffset);
    }
    int count = p[kSofCountOffset];
    if (count >= kJpegPackedCountFirst && count <= kJpegPackedCountLast)
        count -= kJpegPackedCountBias;
    if (count > kJpegMaxComponents)
        return JpegError::Unsupported;
    if (count == 0 || n < static_cast<size_t>(kSofFirstComponent + kSofComponentSize * count))
        return JpegError::BadSegment;
    const uint8_t sampling = p[kSofFirstComponent + 1];
    const JpegGroupLayout* layout = FindJpegGroupLayout(sampling);
    if (!layout)
        return JpegError::Unsupported;
    if (width == 0 || height == 0)
        return JpegError::BadSegment;
    if (width > kMaxSide || height > kMaxSide ||
        static_cast<uint64_t>(width) * height > kMaxPixels)
        return JpegError::TooLarge;
    for (int c = 0; c < count; ++c) {
        const uint8_t* entry = p + kSofFirstComponent + kSofComponentSize * c;
        if (entry[2] >= kJpegTableIds)
            return JpegError::BadSegment;
        m_comp[c].id = entry[0];
        m_comp[c].quantId = entry[2];
    }
    // One component is one block per group, whatever its sampling byte says.
    m_layout = count == 1 ? FindJpegGroupLayout(0x11) : layout;
    m_frame.width = width;
    m_frame.height = height;
    m_frame.components = count;
    m_frame.sampling = count == 1 ? 0x11 : sampling;
    m_frame.progressive = progressive;
    m_frameRead = true;
    return JpegError::None;
}

JpegError JpegDecoder::ReadScanHeader(const uint8_t* p, size_t n)
{
    if (!m_frameRead)
        return JpegError::NoFrame;
    if (n < 1)
        return JpegError::BadSegment;
    const int ns = p[0];
    const size_t needed = 1 + kScanEntrySize * static_cast<size_t>(ns) + kScanTrailer;
    const size_t native = 1 + kScanEntrySize * kNativeScanEntries + kScanTrailer;
    if (ns < 1 || ns > kJpegMaxComponents || (n != needed && n != native) || n < needed)
        return JpegError::BadSegment;
    if (ns < m_frame.components)
        return JpegError::Unsupported;   // one scan per component: not the single scan we read
    bool seen[kJpegMaxComponents] = {};
    for (int i = 0; i < ns; ++i) {
        const uint8_t id = p[1 + kScanEntrySize * i];
        const uint8_t tables = p[2 + kScanEntrySize * i];
        // The frame's own identifiers first; then 1-3 as entries 0-2; anything else (0-2,
        // 'R', 'G', 'B' ...) by the order of the frame's components.
        int c = -1;
        for (int k = 0; k < m_frame.components; ++k) {
            if (m_comp[k].id == id && !seen[k])
                c = k;
        }
        if (c < 0 && id >= 1 && id <= kJpegMaxComponents && !seen[id - 1])
            c = id - 1;
        if (c < 0)
            c = i;
        if (c >= m_frame.components || seen[c])
            return JpegError::BadSegment;
        seen[c] = true;
        m_comp[c].dcTable = tables >> 4;
        m_comp[c].acTable = tables & 15;
    }
    for (int c = 0; c < m_frame.components; ++c) {
        const JpegHuffmanTable* dc = huffman(false, m_comp[c].dcTable);
        const JpegHuffmanTable* ac = huffman(true, m_comp[c].acTable);
        if (!dc || !dc->defined || !ac || !ac->defined || !m_quant[m_comp[c].quantId].defined)
            return JpegError::BadSegment;
        m_comp[c].predictor = 0;
    }
    m_scanComponents = ns;
    return JpegError::None;
}

JpegError JpegDecoder::ReadRestartInterval(const uint8_t* p, size_t n)
{
    if (n != 2)
        return JpegError::BadSegment;
    m_restartInterval = LoadBe16(p);
    m_bits.standard = true;
    return JpegError::None;
}

JpegError JpegDecoder::ReadApp4(const uint8_t* p, size_t n)
{
    if (n < static_cast<size_t>(kApp4Payload))
        return JpegError::BadSegment;
    const uint32_t shift = LoadLe32(p);
    if (shift > 31)
        return JpegError::BadSegment;
    m_scaleShift = static_cast<int>(shift);
    m_bits.standard = p[kApp4StandardFlagOffset] == 1;
    m_skipBits = p[kApp4SkipBitsOffset] == 1;
    return JpegError::None;
}

JpegError JpegDecoder::ReadPalette(const uint8_t* p, size_t n)
{
    const size_t count = n / kApp3EntrySize;
    if (count > static_cast<size_t>(kJpegMaxPaletteEntries) || n % kApp3EntrySize)
        return JpegError::BadSegment;
    for (size_t i = 0; i < count; ++i)
        m_palette[i] = LoadLe32(p + i * kApp3EntrySize);
    m_paletteCount = static_cast<int>(count);
    return JpegError::None;
}

JpegError JpegDecoder::ReadTileTableHeader(const uint8_t* p, size_t n, uint32_t* tileCount)
{
    if (n != static_cast<size_t>(kApp2Payload))
        return JpegError::BadSegment;
    m_tileWidth = LoadLe16(p);
    m_tileHeight = LoadLe16(p + 2);
    *tileCount = LoadLe32(p + 4);
    if (m_tileWidth == 0 || m_tileHeight == 0 || *tileCount == 0)
        return JpegError::BadSegment;
    return JpegError::None;
}
