// Reading the stream, the marker loop, and the sequential scan: block groups decoded, transformed
// and written through the sink's memory, with a yield point after every group.
#include <algorithm>
#include <cstring>
#include <new>

#include "core/stream.h"
#include "images/jpeg_internal.h"

namespace {

constexpr int kLengthBytes = 2;
constexpr int kBlockSide = 8;
constexpr int kPercent = 100;

}  // namespace

JpegDecoder::JpegDecoder(CFicheroHttp* stream, uint32_t size, JpegSink* sink,
                         const JpegDecodeOptions& options)
    : m_stream(stream), m_sink(sink), m_options(options), m_size(size)
{
    BuildHuffmanTable(kJpegDefaultDcLuminance.counts, kJpegDefaultDcLuminance.symbols,
                      kJpegDefaultDcLuminance.symbolCount, false, &m_defaultDc[0]);
    BuildHuffmanTable(kJpegDefaultDcChrominance.counts, kJpegDefaultDcChrominance.symbols,
                      kJpegDefaultDcChrominance.symbolCount, false, &m_defaultDc[1]);
    BuildHuffmanTable(kJpegDefaultAcLuminance.counts, kJpegDefaultAcLuminance.symbols,
                      kJpegDefaultAcLuminance.symbolCount, true, &m_defaultAc[0]);
    BuildHuffmanTable(kJpegDefaultAcChrominance.counts, kJpegDefaultAcChrominance.symbols,
                      kJpegDefaultAcChrominance.symbolCount, true, &m_defaultAc[1]);
    m_bits.standard = options.standard;
    const SimdLevel machine = ChosenSimdLevel();
    m_simd = options.simd < machine ? options.simd : machine;
}

JpegError JpegDecoder::Decode()
{
    if (!m_stream)
        return JpegError::Truncated;
    m_start = m_stream->GetPosition();
    if (m_size == 0) {
        const int64_t length = m_stream->GetLength();
        if (length > m_start && length - m_start <= 0xFFFFFFFFll)
            m_size = static_cast<uint32_t>(length - m_start);
    }
    m_sizeKnown = m_size != 0;
    return MarkerLoop();
}

bool JpegDecoder::ReadExact(void* buffer, int count)
{
    if (count <= 0 || m_sink->IsAborted())
        return false;
    if (m_sizeKnown && m_consumed + count > static_cast<int64_t>(m_size))
        return false;
    uint8_t* out = static_cast<uint8_t*>(buffer);
    int done = 0;
    while (done < count) {
        const int got = m_stream->Read(out + done, count - done);
        if (got <= 0)
            return false;
        done += got;
    }
    m_consumed += count;
    return true;
}

JpegError JpegDecoder::ReadSegmentPayload(size_t* n)
{
    uint8_t len[kLengthBytes];
    if (!ReadExact(len, kLengthBytes))
        return m_sink->IsAborted() ? JpegError::Aborted : JpegError::Truncated;
    const uint16_t length = LoadBe16(len);
    if (length < kLengthBytes)
        return JpegError::BadSegment;
    *n = length - kLengthBytes;
    m_segment.resize(*n ? *n : 1);
    if (*n && !ReadExact(m_segment.data(), static_cast<int>(*n)))
        return m_sink->IsAborted() ? JpegError::Aborted : JpegError::Truncated;
    return JpegError::None;
}

JpegError JpegDecoder::MarkerLoop()
{
    for (;;) {
        if (m_sink->IsAborted())
            return JpegError::Aborted;
        const int64_t markerAt = m_consumed;
        uint8_t w[2];
        if (!ReadExact(w, 2))
            return m_sink->IsAborted() ? JpegError::Aborted : JpegError::Truncated;
        if (w[0] == 0 && w[1] == 0) {
            // A run of zero bytes where a marker belongs: the first non-zero byte starts it.
            do {
                if (!ReadExact(w, 1))
                    return m_sink->IsAborted() ? JpegError::Aborted : JpegError::Truncated;
            } while (w[0] == 0);
            if (!ReadExact(w + 1, 1))
                return m_sink->IsAborted() ? JpegError::Aborted : JpegError::Truncated;
        }
        while (w[0] == kMarkerPrefix && w[1] == kMarkerFill) {
            if (!ReadExact(w + 1, 1))
                return m_sink->IsAborted() ? JpegError::Aborted : JpegError::Truncated;
        }
        if (w[0] != kMarkerPrefix) {
            // Native data where standard data was: read once more from the frame in standard
            // mode.
            if (!RetryInStandardMode())
                return JpegError::BadMarker;
            continue;
        }
        const uint8_t marker = w[1];
        if (marker == kMarkerSoi || (marker >= kMarkerRst0 && marker <= kMarkerRst7))
            continue;
        if (marker == kMarkerEoi)
            return JpegError::Truncated;   // no scan was decoded
        size_t n = 0;
        JpegError e = ReadSegmentPayload(&n);
        if (e != JpegError::None)
            return e;
        const uint8_t* p = m_segment.data();
        if (!m_bits.standard && MarksStandardStream(marker, p, n))
            m_bits.standard = true;
        switch (marker) {
        case kMarkerDqt:
            e = ReadQuantTables(p, n);
            break;
        case kMarkerDht:
            e = ReadHuffmanTables(p, n);
            break;
        case kMarkerSof0:
        case kMarkerSof2: {
            m_sofPosition = markerAt;
            const bool progressive = marker == kMarkerSof2;
            if (progressive && m_bits.standard)
                return JpegError::Progressive;
            e = ReadFrameHeader(p, n, progressive);
            if (e != JpegError::None)
                break;
            if (m_paletteCount > 0 && !m_bits.standard) {
                if (!m_paletteTables)
                    m_paletteTables.reset(new (std::nothrow) JpegPaletteTables);
                if (!m_paletteTables)
                    return JpegError::OutOfMemory;
                BuildJpegPaletteTables(m_palette, m_paletteCount, m_paletteTables.get());
                m_frame.palette = m_paletteTables->entries;
                m_frame.paletteCount = m_paletteCount;
                m_frame.indexed = m_frame.components == 1;
            }
            e = m_sink->BeginFrame(m_frame, &m_target);
            break;
        }
        case kMarkerDri:
            e = ReadRestartInterval(p, n);
            break;
        case kMarkerApp1: {
            const int orientation = ReadExifOrientation(p, n);
            if (orientation)
                m_sink->SetExifOrientation(orientation);
            break;
        }
        case kMarkerApp2:
            if (!m_bits.standard) {
                uint32_t tiles = 0;
                e = ReadTileTableHeader(p, n, &tiles);
                if (e != JpegError::None)
                    break;
                // The offsets follow the segment, outside its declared length.
                if (m_sizeKnown &&
                    static_cast<int64_t>(tiles) * 4 > static_cast<int64_t>(m_size) - m_consumed) {
                    e = JpegError::BadSegment;
                    break;
                }
                m_tileOffsets.assign(tiles, 0);
                std::vector<uint8_t> raw(static_cast<size_t>(tiles) * 4);
                if (!ReadExact(raw.data(), static_cast<int>(raw.size())))
                    return m_sink->IsAborted() ? JpegError::Aborted : JpegError::Truncated;
                for (uint32_t t = 0; t < tiles; ++t)
                    m_tileOffsets[t] = LoadLe32(raw.data() + t * 4);
            }
            break;
        case kMarkerApp3:
            if (!m_bits.standard)
                e = ReadPalette(p, n);
            break;
        case kMarkerApp4:
            e = ReadApp4(p, n);
            break;
        case kMarkerSos:
            e = ReadScanHeader(p, n);
            if (e != JpegError::None)
                return e;
            e = DecodeScan();
            // A code no table holds: standard data read as native (a stream without the
            // segments that mark it) goes wrong at its first stuffed byte. One more reading
            // from the frame header in standard mode.
            if (e == JpegError::BadHuffmanCode && m_sofPosition >= 0 && RetryInStandardMode())
                continue;
            return e;
        default:
            break;   // APP0 and segments we have no use for
        }
        if (e != JpegError::None)
            return e;
    }
}

// Sets the stream back to the frame header (or its start) for a reading in standard mode.
// False when that reading was had already, cannot be had (a pass-interleaved frame is native
// only), or the stream cannot go back.
bool JpegDecoder::RetryInStandardMode()
{
    if (m_bits.standard || m_retried || m_frame.progressive)
        return false;
    const int64_t back = m_sofPosition >= 0 ? m_sofPosition : 0;
    if (m_stream->Seek(m_start + back) != m_start + back)
        return false;
    m_consumed = back;
    m_bits.standard = true;
    m_retried = true;
    // What only native mode reads does not hold for the standard reading.
    m_tileOffsets.clear();
    m_tileWidth = m_tileHeight = 0;
    m_paletteCount = 0;
    m_frame.palette = nullptr;
    m_frame.paletteCount = 0;
    m_frame.indexed = false;
    return true;
}

bool JpegDecoder::ChooseWriters()
{
    const bool grey = m_frame.components == 1;
    m_writer = ChooseJpegWriter(m_target.depth, m_target.redOnly, grey, grey ? 1 : m_layout->h,
                                grey ? 1 : m_layout->v, m_simd, m_frame.indexed,
                                m_frame.paletteCount > 0);
    return m_writer != nullptr && m_target.tileCount > 0 && m_target.tiles != nullptr;
}

int JpegDecoder::Progress() const
{
    if (!m_sizeKnown || m_dataStart >= static_cast<int64_t>(m_size))
        return 0;
    const int64_t total = static_cast<int64_t>(m_size) - m_dataStart;
    const int64_t done = m_dataBase + static_cast<int64_t>(m_bits.pos);
    return static_cast<int>(std::min<int64_t>(kPercent, done * kPercent / total));
}

JpegError JpegDecoder::DecodeScan()
{
    if (!m_tileOffsets.empty()) {
        // The table must hold one offset per tile of the picture.
        const uint64_t across = (m_frame.width + uint64_t{m_tileWidth} - 1) / m_tileWidth;
        const uint64_t down = (m_frame.height + uint64_t{m_tileHeight} - 1) / m_tileHeight;
        if (across * down != m_tileOffsets.size())
            return JpegError::BadSegment;
    }
    // Not built yet: answers NotBuilt (the load fails) for the tiled, pass-interleaved,
    // pyramid and skip-bit forms of the native stream.
    if (m_frame.progressive || !m_tileOffsets.empty() || m_scaleShift > 0 || m_skipBits)
        return JpegError::NotBuilt;
    if (!ChooseWriters())
        return JpegError::OutOfMemory;
    m_idct = ChooseJpegIdctGroup(m_simd);

    const uint32_t groupW = kBlockSide * m_layout->h, groupH = kBlockSide * m_layout->v;
    m_groupsAcross = (m_frame.width + groupW - 1) / groupW;
    m_groupsDown = (m_frame.height + groupH - 1) / groupH;
    m_dataStart = m_consumed;
    m_dataFilled = 0;
    m_dataBase = 0;
    m_bits = JpegBitReader{0, 0, 0, 0, m_bits.standard, false, false};
    std::memset(m_coef, 0, sizeof(m_coef));
    UseScanTables();
    m_restartCounter = 0;
    const bool restarts = m_bits.standard && m_restartInterval > 0;

    for (uint32_t gy = 0; gy < m_groupsDown; ++gy) {
        for (uint32_t gx = 0; gx < m_groupsAcross; ++gx) {
            if (restarts && (gx | gy) != 0 && ++m_restartCounter == m_restartInterval) {
                m_restartCounter = 0;
                if (!Restart())
                    return m_sink->IsAborted() ? JpegError::Aborted : JpegError::Truncated;
            }
            if (m_bits.atMarker && m_bits.count <= m_bits.padBits) {
                const uint8_t marker = Data()[m_bits.pos + 1];
                if (marker < kMarkerRst0 || marker > kMarkerRst7)
                    return JpegError::None;   // the scan ends here, early but well
            }
            const JpegError e = DecodeGroup(gx, gy);
            if (e != JpegError::None)
                return e;
            bool changed = false;
            if (!m_sink->YieldPoint(&m_target, &changed, Progress()))
                return JpegError::Aborted;
            if (changed && !ChooseWriters())
                return JpegError::OutOfMemory;
        }
    }
    return JpegError::None;
}

namespace {

const JpegTile* FindTile(const JpegTarget& t, int x, int y, int* hint)
{
    // Blocks go left to right: mostly the tile of the last block, else one of the next ones.
    int k = *hint < t.tileCount ? *hint : 0;
    for (int i = 0; i < t.tileCount; ++i, ++k) {
        if (k == t.tileCount)
            k = 0;
        const JpegTile& tile = t.tiles[k];
        if (x >= tile.left && x < tile.right && y >= tile.top && y < tile.bottom) {
            *hint = k;
            return &tile;
        }
    }
    return nullptr;
}

}  // namespace

JpegError JpegDecoder::DecodeGroup(int gx, int gy)
{
    int16_t (*coef)[64] = m_coef;
    // Samples: the luminance blocks first, then Cb and Cr.
    alignas(16) int16_t samples[kMaxBlocks][64];
    const int h = m_layout->h, v = m_layout->v;
    const int lumaBlocks = h * v;
    const int blocks = lumaBlocks + (m_frame.components == 3 ? 2 : 0);
    uint8_t components[kMaxBlocks] = {};
    for (int b = 0; b < blocks; ++b)
        components[b] = static_cast<uint8_t>(b < lumaBlocks ? 0 : b - lumaBlocks + 1);
    bool ac[kMaxBlocks];
    if (!DecodeBlocks(blocks, components, coef, ac))
        return JpegError::BadHuffmanCode;
    const float* mult[kMaxBlocks];
    for (int b = 0; b < blocks; ++b)
        mult[b] = m_multUse[components[b]];
    m_idct(blocks, coef, mult, ac, samples);
    // The coefficients go back to zero for the next group: only the DC term when no AC term
    // was stored.
    for (int b = 0; b < blocks; ++b) {
        if (ac[b])
            std::memset(coef[b], 0, sizeof(coef[b]));
        else
            coef[b][0] = 0;
    }
    if (m_bits.count < m_bits.padBits && m_bits.dataEnded && !m_bits.atMarker)
        return m_sink->IsAborted() ? JpegError::Aborted : JpegError::Truncated;

    const bool grey = m_frame.components == 1;
    const int groupX = gx * kBlockSide * h, groupY = gy * kBlockSide * v;
    const JpegTile* tile = nullptr;
    uint8_t* whole = GroupInOneTile(groupX, groupY, kBlockSide * h, kBlockSide * v, &tile);
    const ptrdiff_t bpp = m_target.bytesPerPixel;
    for (int by = 0; by < v; ++by) {
        for (int bx = 0; bx < h; ++bx) {
            JpegBlockInput in;
            in.palette = m_paletteTables.get();
            in.y = samples[by * h + bx];
            in.hs = h;
            in.vs = v;
            const int offset = by * (kBlockSide / v) * kBlockSide + bx * (kBlockSide / h);
            in.cb = grey ? nullptr : samples[lumaBlocks] + offset;
            in.cr = grey ? nullptr : samples[lumaBlocks + 1] + offset;
            if (whole)
                m_writer(in, whole + by * kBlockSide * tile->stride + bx * kBlockSide * bpp, bpp,
                         tile->stride, kBlockSide, kBlockSide);
            else
                WriteBlock(in, groupX + bx * kBlockSide, groupY + by * kBlockSide);
        }
    }
    return JpegError::None;
}

// Where a block group goes when all of it lies inside the picture, the image and one storage
// tile of an image that is not transposed (most groups): its top left pixel; null otherwise, and
// each block finds its own place.
uint8_t* JpegDecoder::GroupInOneTile(int px, int py, int width, int height, const JpegTile** tile)
{
    if (m_target.transposed || static_cast<uint32_t>(px) + width > m_frame.width ||
        static_cast<uint32_t>(py) + height > m_frame.height)
        return nullptr;
    const int64_t ix = static_cast<int64_t>(m_target.originX) + px;
    const int64_t iy = static_cast<int64_t>(m_target.originY) + py;
    if (ix < 0 || iy < 0 || ix + width > m_target.width || iy + height > m_target.height)
        return nullptr;
    const JpegTile* found =
        FindTile(m_target, static_cast<int>(ix), static_cast<int>(iy), &m_tileHint);
    if (!found || ix + width > found->right || iy + height > found->bottom)
        return nullptr;
    *tile = found;
    return found->pixels + (iy - found->top) * found->stride + (ix - found->left) * m_target.bytesPerPixel;
}


// px, py: the block's pixel position in the picture.
void JpegDecoder::WriteBlock(const JpegBlockInput& in, int px, int py)
{
    if (static_cast<uint32_t>(px) >= m_frame.width || static_cast<uint32_t>(py) >= m_frame.height)
        return;
    int cols = static_cast<int>(std::min<uint32_t>(kBlockSide, m_frame.width - px));
    int rows = static_cast<int>(std::min<uint32_t>(kBlockSide, m_frame.height - py));
    // Picture to image: the grid piece's origin, then the exchange of a transposed image.
    const int64_t x = static_cast<int64_t>(m_target.originX) + px;
    const int64_t y = static_cast<int64_t>(m_target.originY) + py;
    const int64_t ix = m_target.transposed ? y : x, iy = m_target.transposed ? x : y;
    if (ix >= m_target.width || iy >= m_target.height || ix < 0 || iy < 0)
        return;
    // Clip to the image (in picture terms: across is image x unless transposed).
    const int64_t roomX = m_target.width - ix, roomY = m_target.height - iy;
    if (m_target.transposed) {
        cols = static_cast<int>(std::min<int64_t>(cols, roomY));
        rows = static_cast<int>(std::min<int64_t>(rows, roomX));
    } else {
        cols = static_cast<int>(std::min<int64_t>(cols, roomX));
        rows = static_cast<int>(std::min<int64_t>(rows, roomY));
    }
    const int spanX = m_target.transposed ? rows : cols;
    const int spanY = m_target.transposed ? cols : rows;
    const JpegTile* tile =
        FindTile(m_target, static_cast<int>(ix), static_cast<int>(iy), &m_tileHint);
    if (!tile)
        return;
    if (ix + spanX > tile->right || iy + spanY > tile->bottom) {
        WriteBlockEdge(in, cols, rows, static_cast<int>(ix), static_cast<int>(iy));
        return;
    }
    const ptrdiff_t bpp = m_target.bytesPerPixel;
    uint8_t* dst = tile->pixels + (iy - tile->top) * tile->stride + (ix - tile->left) * bpp;
    if (m_target.transposed)
        m_writer(in, dst, tile->stride, bpp, cols, rows);
    else
        m_writer(in, dst, bpp, tile->stride, cols, rows);
}

// A block across storage tiles: each pixel finds its tile again.
void JpegDecoder::WriteBlockEdge(const JpegBlockInput& in, int cols, int rows, int ix, int iy)
{
    for (int j = 0; j < rows; ++j) {
        for (int i = 0; i < cols; ++i) {
            const int x = m_target.transposed ? ix + j : ix + i;
            const int y = m_target.transposed ? iy + i : iy + j;
            const JpegTile* tile = FindTile(m_target, x, y, &m_tileHint);
            if (!tile)
                continue;
            JpegBlockInput one = in;
            one.y = in.y + j * kBlockSide + i;
            if (in.cb) {
                const int c = (j / in.vs) * kBlockSide + i / in.hs;
                one.cb = in.cb + c;
                one.cr = in.cr + c;
            }
            uint8_t* dst = tile->pixels + static_cast<ptrdiff_t>(y - tile->top) * tile->stride +
                           static_cast<ptrdiff_t>(x - tile->left) * m_target.bytesPerPixel;
            m_writer(one, dst, m_target.bytesPerPixel, tile->stride, 1, 1);
        }
    }
}
