// JPEG encoder: the segments, the regions, reading pixels into blocks and coding each block.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "core/stream.h"
#include "images/jpeg_encoder.h"
#include "images/jpeg_format.h"
#include "images/jpeg_internal.h"
#include "images/sprite.h"

namespace {

constexpr uint8_t kTableLuminance = 0x00, kTableChrominance = 0x01;
constexpr uint8_t kAcClass = 0x10;
constexpr int kStandardDhtLength = 0x1A2;
constexpr int kSofNativeLength = 0x11, kSosNativeLength = 0x0C;

// Estimate factor f = k (0.89 - 0.0013 k - 0.0001 (100 - q) k).
double EstimateFactor(int k, int quality)
{
    return k * (0.89 - 0.0013 * k - 0.0001 * (100 - quality) * k);
}

void Put16Be(std::vector<uint8_t>* out, int v)
{
    out->push_back(static_cast<uint8_t>(v >> 8));
    out->push_back(static_cast<uint8_t>(v));
}

void Put16Le(std::vector<uint8_t>* out, int v)
{
    out->push_back(static_cast<uint8_t>(v));
    out->push_back(static_cast<uint8_t>(v >> 8));
}

void Put32Le(std::vector<uint8_t>* out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutMarker(std::vector<uint8_t>* out, uint8_t code)
{
    out->push_back(kMarkerPrefix);
    out->push_back(code);
}

void PutHuffmanTable(std::vector<uint8_t>* out, uint8_t classId, const uint8_t counts[16],
                     const uint8_t* symbols, int n)
{
    out->push_back(classId);
    out->insert(out->end(), counts, counts + 16);
    out->insert(out->end(), symbols, symbols + n);
}

struct Rect {
    int x0, y0, x1, y1;   // x1, y1 exclusive
};

// The tables of one component kind (luminance or chrominance).
struct KindTables {
    uint16_t quant[64];
    float reciprocal[64];
    float dequant[64];          // the decoder's multipliers, for the preview
    JpegCodeTable dc, ac;
    uint32_t dcFrequency[256];
    uint32_t acFrequency[256];
    JpegBlockCodes codes;
};

enum class Pass {
    Count,   // symbol statistics (and the preview)
    Write,
};

class Encoder {
public:
    Encoder(CSprite* image, const JpegEncodeJob& job) : m_image(image), m_job(job) {}
    JpegEncodeResult Run(CFicheroHttp* stream, int64_t* count);

private:
    void SetUpTables();
    void BuildHeaders(bool withHuffman);
    bool CodeRegion(const Rect& r, Pass pass, JpegBitWriter* writer);
    void CodeGroup(const Rect& r, int gx, int gy, Pass pass, JpegBitWriter* writer);
    bool AllocateRows();
    void LoadRows(const Rect& r, int py);
    void LoadRow(const Rect& r, int y, int16_t* yRow, int16_t* cbRow, int16_t* crRow);
    void CodeBlock(const int16_t* samples, ptrdiff_t stride, int kind, int16_t* predictor,
                   Pass pass, JpegBitWriter* writer, int16_t* reconstruct);
    void Preview(const Rect& r, int px, int py, int16_t (*recon)[64]);
    uint32_t PixelAt(int x, int y) const;
    int IndexAt(int x, int y) const;

    CSprite* m_image;
    JpegEncodeJob m_job;
    int m_width = 0, m_height = 0;    // the frame's size
    int m_h = 1, m_v = 1;             // luminance blocks across and down per group
    KindTables m_tables[2];
    std::vector<Rect> m_regions;
    std::vector<uint8_t> m_headers;
    size_t m_tileOffsetsAt = 0;       // where the tile offsets sit in the headers
    size_t m_dhtAt = 0;               // where DHT starts in the headers
    std::vector<uint32_t> m_tileOffsets;

    const JpegEncoderKernels* m_kernels = nullptr;
    // One row of block groups as samples, allocated once: luminance and full chroma rows of the
    // group height, then the averaged chroma rows (8), m_rowWidth samples each (the widest
    // region in whole groups).
    std::vector<int16_t> m_samples;
    std::vector<uint32_t> m_pixelRow;   // a row of pixels read one by one
    int m_rowWidth = 0;
    int16_t* m_yRows = nullptr;
    int16_t* m_cbFull = nullptr;
    int16_t* m_crFull = nullptr;
    int16_t* m_cbRows = nullptr;
    int16_t* m_crRows = nullptr;
    ptrdiff_t m_chromaStride = 0;
    int16_t m_predictor[3] = {};
};

uint32_t Encoder::PixelAt(int x, int y) const
{
    const CSprite& s = *m_image;
    if (s.bitsPerPixel == 8 && s.pixels && s.orientation == 0)
        return s.palette[s.pixels[static_cast<size_t>(y) * s.stride + x]];
    return s.GetPixel(x, y, false);
}

int Encoder::IndexAt(int x, int y) const
{
    // An 8-bit image stored transposed keeps the picture's columns in its rows.
    const CSprite& s = *m_image;
    if (!s.pixels)
        return 0;
    return s.orientation == 1 ? s.pixels[static_cast<size_t>(x) * s.stride + y]
                              : s.pixels[static_cast<size_t>(y) * s.stride + x];
}

void Encoder::SetUpTables()
{
    const uint8_t* base[2] = {kJpegLuminanceQuant, kJpegChrominanceQuant};
    const int quality[2] = {m_job.quality, m_job.chromaQuality};
    for (int kind = 0; kind < 2; ++kind) {
        KindTables& t = m_tables[kind];
        BuildJpegQuantTable(base[kind], JpegQualityScale(quality[kind]), t.quant);
        BuildJpegQuantReciprocals(t.quant, t.reciprocal);
        JpegQuantTable q;
        for (int k = 0; k < 64; ++k)
            q.values[k] = t.quant[k];
        BuildQuantMultipliers(&q);
        std::memcpy(t.dequant, q.multipliers, sizeof(t.dequant));
        std::memset(t.dcFrequency, 0, sizeof(t.dcFrequency));
        std::memset(t.acFrequency, 0, sizeof(t.acFrequency));
        t.codes = {&t.dc, &t.ac, t.dcFrequency, t.acFrequency};
    }
    const JpegHuffmanCodes* dc[2] = {&kJpegDefaultDcLuminance, &kJpegDefaultDcChrominance};
    const JpegHuffmanCodes* ac[2] = {&kJpegDefaultAcLuminance, &kJpegDefaultAcChrominance};
    for (int kind = 0; kind < 2; ++kind) {
        BuildJpegCodeTable(dc[kind]->counts, dc[kind]->symbols, dc[kind]->symbolCount,
                           &m_tables[kind].dc);
        BuildJpegCodeTable(ac[kind]->counts, ac[kind]->symbols, ac[kind]->symbolCount,
                           &m_tables[kind].ac);
    }
}

void Encoder::BuildHeaders(bool withHuffman)
{
    std::vector<uint8_t>& out = m_headers;
    out.clear();
    PutMarker(&out, kMarkerSoi);
    if (m_job.standard)
        out.insert(out.end(), kJpegJfifSegment, kJpegJfifSegment + sizeof(kJpegJfifSegment));
    if (m_job.tileWidth > 0) {
        PutMarker(&out, kMarkerApp2);
        Put16Be(&out, kApp2DeclaredLength);
        Put16Le(&out, m_job.tileWidth);
        Put16Le(&out, m_job.tileHeight);
        Put32Le(&out, static_cast<uint32_t>(m_regions.size()));
        m_tileOffsetsAt = out.size();
        for (size_t i = 0; i < m_regions.size(); ++i)
            Put32Le(&out, m_tileOffsets.empty() ? 0 : m_tileOffsets[i]);
    }
    if (m_job.palette && m_image->paletteCount > 0 && !m_job.standard) {
        const int n = std::min(m_image->paletteCount, kJpegMaxPaletteEntries);
        PutMarker(&out, kMarkerApp3);
        Put16Be(&out, kApp3EntrySize * n + 2);
        for (int i = 0; i < n; ++i)
            Put32Le(&out, m_image->palette[i]);
    }
    for (int kind = 0; kind < 2; ++kind) {
        PutMarker(&out, kMarkerDqt);
        Put16Be(&out, 2 + 1 + 64);
        out.push_back(static_cast<uint8_t>(kind));
        for (int z = 0; z < 64; ++z)
            out.push_back(static_cast<uint8_t>(m_tables[kind].quant[kJpegNaturalOrder[z]]));
    }
    m_dhtAt = out.size();
    if (withHuffman) {
        if (m_job.optimise) {
            const int kinds = m_job.oneComponent ? 1 : 2;
            for (int kind = 0; kind < kinds; ++kind) {
                for (int ac = 0; ac < 2; ++ac) {
                    KindTables& t = m_tables[kind];
                    uint8_t counts[16], symbols[256];
                    const int n = BuildJpegOptimisedTable(ac ? t.acFrequency : t.dcFrequency,
                                                          counts, symbols);
                    PutMarker(&out, kMarkerDht);
                    Put16Be(&out, 19 + n);
                    PutHuffmanTable(&out, static_cast<uint8_t>((ac ? kAcClass : 0) | kind),
                                    counts, symbols, n);
                    BuildJpegCodeTable(counts, symbols, n, ac ? &t.ac : &t.dc);
                }
            }
        } else {
            PutMarker(&out, kMarkerDht);
            Put16Be(&out, kStandardDhtLength);
            const JpegHuffmanCodes* codeSets[4] = {&kJpegDefaultDcLuminance, &kJpegDefaultAcLuminance,
                                               &kJpegDefaultDcChrominance,
                                               &kJpegDefaultAcChrominance};
            const uint8_t ids[4] = {kTableLuminance, kAcClass | kTableLuminance,
                                    kTableChrominance, kAcClass | kTableChrominance};
            for (int i = 0; i < 4; ++i)
                PutHuffmanTable(&out, ids[i], codeSets[i]->counts, codeSets[i]->symbols,
                                codeSets[i]->symbolCount);
        }
    }
    // Frame header: native streams always carry three component entries.
    const int nf = m_job.oneComponent ? 1 : 3;
    const int entries = m_job.standard ? nf : kJpegMaxComponents;
    PutMarker(&out, kMarkerSof0);
    Put16Be(&out, m_job.standard ? 8 + 3 * nf : kSofNativeLength);
    out.push_back(8);
    Put16Be(&out, m_height);
    Put16Be(&out, m_width);
    out.push_back(static_cast<uint8_t>(nf));
    const uint8_t componentEntries[3][3] = {
        {1, static_cast<uint8_t>(m_job.oneComponent ? 0x11 : m_job.sampling), 0},
        {2, 0x11, 1},
        {3, 0x11, 1},
    };
    for (int c = 0; c < entries; ++c)
        out.insert(out.end(), componentEntries[c], componentEntries[c] + 3);
    PutMarker(&out, kMarkerSos);
    Put16Be(&out, m_job.standard ? 6 + 2 * nf : kSosNativeLength);
    out.push_back(static_cast<uint8_t>(nf));
    const uint8_t scanEntries[3][2] = {{1, 0x00}, {2, 0x11}, {3, 0x11}};
    for (int c = 0; c < entries; ++c)
        out.insert(out.end(), scanEntries[c], scanEntries[c] + 2);
    out.push_back(0);
    out.push_back(63);
    out.push_back(0);
}

bool Encoder::AllocateRows()
{
    const int gw = 8 * m_h, gh = 8 * m_v;
    int widest = 0;
    for (const Rect& r : m_regions)
        widest = std::max(widest, r.x1 - r.x0);
    m_rowWidth = (widest + gw - 1) / gw * gw;
    const size_t row = static_cast<size_t>(m_rowWidth);
    const bool colour = !m_job.oneComponent;
    const bool averaged = colour && (m_h > 1 || m_v > 1);
    const size_t total = row * gh * (colour ? 3 : 1) + (averaged ? 2 * 8 * row / m_h : 0);
    try {
        m_samples.assign(total, 0);
        m_pixelRow.assign(row, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    int16_t* at = m_samples.data();
    m_yRows = at;
    at += row * gh;
    if (colour) {
        m_cbFull = at;
        m_crFull = at + row * gh;
        at += 2 * row * gh;
        m_cbRows = averaged ? at : m_cbFull;
        m_crRows = averaged ? at + 8 * row / m_h : m_crFull;
        m_chromaStride = averaged ? static_cast<ptrdiff_t>(row / m_h) : static_cast<ptrdiff_t>(row);
    }
    return true;
}

void Encoder::LoadRow(const Rect& r, int y, int16_t* yRow, int16_t* cbRow, int16_t* crRow)
{
    const CSprite& s = *m_image;
    const int n = r.x1 - r.x0;
    const bool flat = s.pixels && s.orientation == 0 && !s.IsKeptInTiles();
    if (m_job.indexed) {
        // Palette indices as they are, without the level shift.
        if (flat && s.bitsPerPixel == 8) {
            const uint8_t* row = s.pixels + static_cast<size_t>(y) * s.stride + r.x0;
            for (int i = 0; i < n; ++i)
                yRow[i] = row[i];
        } else {
            for (int i = 0; i < n; ++i)
                yRow[i] = static_cast<int16_t>(IndexAt(r.x0 + i, y));
        }
    } else if (flat && (s.bitsPerPixel == 24 || s.bitsPerPixel == 32)) {
        const uint8_t* row = s.pixels + static_cast<size_t>(y) * s.stride +
                             static_cast<size_t>(r.x0) * s.bytesPerPixel;
        m_kernels->convertRow(row, s.bytesPerPixel, n, yRow, cbRow, crRow);
    } else {
        for (int i = 0; i < n; ++i)
            m_pixelRow[i] = PixelAt(r.x0 + i, y);
        m_kernels->convertRow(reinterpret_cast<const uint8_t*>(m_pixelRow.data()), 4, n, yRow,
                              cbRow, crRow);
    }
    // The last pixel repeated to the group's right edge.
    for (int i = n; i < m_rowWidth; ++i) {
        yRow[i] = yRow[n - 1];
        if (cbRow) {
            cbRow[i] = cbRow[n - 1];
            crRow[i] = crRow[n - 1];
        }
    }
}

void Encoder::LoadRows(const Rect& r, int py)
{
    const int gh = 8 * m_v;
    const size_t row = static_cast<size_t>(m_rowWidth);
    const bool colour = !m_job.oneComponent;
    for (int j = 0; j < gh; ++j) {
        int16_t* yRow = m_yRows + j * row;
        int16_t* cbRow = colour ? m_cbFull + j * row : nullptr;
        int16_t* crRow = colour ? m_crFull + j * row : nullptr;
        if (py + j < r.y1) {
            LoadRow(r, py + j, yRow, cbRow, crRow);
        } else {
            // The last row repeated to the group's bottom edge.
            std::memcpy(yRow, yRow - row, row * sizeof(int16_t));
            if (colour) {
                std::memcpy(cbRow, cbRow - row, row * sizeof(int16_t));
                std::memcpy(crRow, crRow - row, row * sizeof(int16_t));
            }
        }
    }
    if (!colour || (m_h == 1 && m_v == 1))
        return;
    const int n = m_rowWidth / m_h;
    for (int j = 0; j < 8; ++j) {
        const size_t first = static_cast<size_t>(j * m_v) * row;
        const bool pairs = m_v > 1;
        m_kernels->downsample(m_cbFull + first, pairs ? m_cbFull + first + row : nullptr, n,
                              m_cbRows + j * m_chromaStride);
        m_kernels->downsample(m_crFull + first, pairs ? m_crFull + first + row : nullptr, n,
                              m_crRows + j * m_chromaStride);
    }
}

void Encoder::CodeBlock(const int16_t* samples, ptrdiff_t stride, int kind, int16_t* predictor,
                        Pass pass, JpegBitWriter* writer, int16_t* reconstruct)
{
    KindTables& t = m_tables[kind];
    alignas(32) int16_t natural[64];
    uint64_t nonZero = m_kernels->transformBlock(samples, stride, t.reciprocal, natural);
    if (m_job.keep < 64) {
        for (int k = m_job.keep; k < 64; ++k)
            natural[k] = 0;
        nonZero &= (1ull << m_job.keep) - 1;
    }
    if (reconstruct)
        std::memcpy(reconstruct, natural, sizeof(natural));
    const int diff = natural[0] - *predictor;
    *predictor = natural[0];
    const uint64_t zigzag = JpegZigzagBits(nonZero);
    if (pass == Pass::Count)
        JpegCountBlock(natural, zigzag, diff, t.codes);
    else
        JpegWriteBlock(natural, zigzag, diff, t.codes, writer);
}

void Encoder::Preview(const Rect& r, int px, int py, int16_t (*recon)[64])
{
    CSprite* out = m_job.preview;
    const int luma = m_h * m_v;
    int16_t samples[6][64];
    for (int b = 0; b < luma + (m_job.oneComponent ? 0 : 2); ++b)
        JpegIdctPlain(recon[b], m_tables[b < luma ? 0 : 1].dequant, samples[b]);
    for (int j = 0; j < 8 * m_v; ++j) {
        const int y = py + j;
        if (y >= r.y1)
            break;
        for (int i = 0; i < 8 * m_h; ++i) {
            const int x = px + i;
            if (x >= r.x1)
                break;
            const int ys = samples[(j >> 3) * m_h + (i >> 3)][(j & 7) * 8 + (i & 7)];
            uint32_t rgb;
            if (m_job.indexed) {
                rgb = m_image->palette[std::max(0, std::min(255, ys))] & 0xFFFFFF;
            } else if (m_job.oneComponent) {
                rgb = JpegYccToRgb(ys, 0, 0);
            } else {
                const int c = (j / m_v) * 8 + i / m_h;
                rgb = JpegYccToRgb(ys, samples[luma][c], samples[luma + 1][c]);
            }
            out->SetPixel(x, y, rgb);
        }
    }
}

void Encoder::CodeGroup(const Rect& r, int gx, int gy, Pass pass, JpegBitWriter* writer)
{
    const int px = r.x0 + gx * 8 * m_h, py = r.y0 + gy * 8 * m_v;
    const bool preview = pass == Pass::Count && m_job.preview;
    int16_t recon[6][64];
    const int luma = m_h * m_v;
    const ptrdiff_t stride = m_rowWidth;
    for (int b = 0; b < luma; ++b) {
        const int16_t* at = m_yRows + (b / m_h) * 8 * stride + (gx * m_h + b % m_h) * 8;
        CodeBlock(at, stride, 0, &m_predictor[0], pass, writer, preview ? recon[b] : nullptr);
    }
    if (!m_job.oneComponent) {
        CodeBlock(m_cbRows + gx * 8, m_chromaStride, 1, &m_predictor[1], pass, writer,
                  preview ? recon[luma] : nullptr);
        CodeBlock(m_crRows + gx * 8, m_chromaStride, 1, &m_predictor[2], pass, writer,
                  preview ? recon[luma + 1] : nullptr);
    }
    if (preview)
        Preview(r, px, py, recon);
}

bool Encoder::CodeRegion(const Rect& r, Pass pass, JpegBitWriter* writer)
{
    const int gw = 8 * m_h, gh = 8 * m_v;
    const int across = (r.x1 - r.x0 + gw - 1) / gw, down = (r.y1 - r.y0 + gh - 1) / gh;
    const int k = std::max(1, m_job.step);
    const bool stepAcross = m_width >= m_height;
    m_predictor[0] = m_predictor[1] = m_predictor[2] = 0;
    for (int gy = 0; gy < down; gy += stepAcross ? 1 : k) {
        if (m_image->AbortValue() != 0)
            return false;
        LoadRows(r, r.y0 + gy * gh);
        for (int gx = 0; gx < across; gx += stepAcross ? k : 1)
            CodeGroup(r, gx, gy, pass, writer);
    }
    if (writer)
        writer->Align();
    return true;
}

JpegEncodeResult Encoder::Run(CFicheroHttp* stream, int64_t* count)
{
    const CSprite& s = *m_image;
    m_width = s.createWidth;
    m_height = s.createHeight;
    Rect whole{0, 0, m_width, m_height};
    const JpegGroupLayout* layout = FindJpegGroupLayout(static_cast<uint8_t>(m_job.sampling));
    m_h = m_job.oneComponent || !layout ? 1 : layout->h;
    m_v = m_job.oneComponent || !layout ? 1 : layout->v;
    if (m_h < m_v)
        m_h = m_v = 1;   // only 0x11, 0x21 and 0x22 are coded
    m_job.keep = std::max(1, std::min(64, m_job.keep));
    m_kernels = &ChooseJpegEncoderKernels(m_job.simd);

    if (m_job.width > 0 && m_job.height > 0) {
        // The rectangle, its corners moved outward to group multiples, inside the image.
        const int gw = 8 * m_h, gh = 8 * m_v;
        whole.x0 = std::max(0, m_job.x0) / gw * gw;
        whole.y0 = std::max(0, m_job.y0) / gh * gh;
        whole.x1 = std::min(m_width, (m_job.x0 + m_job.width + gw - 1) / gw * gw);
        whole.y1 = std::min(m_height, (m_job.y0 + m_job.height + gh - 1) / gh * gh);
        if (whole.x1 <= whole.x0 || whole.y1 <= whole.y0)
            return JpegEncodeResult::BadImage;
        m_width = whole.x1 - whole.x0;
        m_height = whole.y1 - whole.y0;
    }
    if (m_job.tileWidth > 0 && m_job.tileHeight > 0) {
        for (int y = 0; y < m_height; y += m_job.tileHeight)
            for (int x = 0; x < m_width; x += m_job.tileWidth)
                m_regions.push_back({x, y, std::min(m_width, x + m_job.tileWidth),
                                     std::min(m_height, y + m_job.tileHeight)});
    } else {
        m_job.tileWidth = m_job.tileHeight = 0;
        m_regions.push_back(whole);
    }
    if (m_width <= 0 || m_height <= 0)
        return JpegEncodeResult::BadImage;
    if (m_job.preview && !m_job.preview->Create(s.createWidth, s.createHeight, 24, false,
                                                kSpriteDefaultColour, false, true, false))
        return JpegEncodeResult::BadImage;

    if (!AllocateRows())
        return JpegEncodeResult::BadImage;
    SetUpTables();
    const bool countPass = m_job.optimise || m_job.preview;
    if (countPass) {
        for (const Rect& r : m_regions)
            if (!CodeRegion(r, Pass::Count, nullptr))
                return JpegEncodeResult::Aborted;
    }
    BuildHeaders(true);
    const bool previewOnly = m_job.preview && m_job.optimise;
    const size_t headerBytes = previewOnly ? m_dhtAt : m_headers.size();
    if (stream && stream->Write(m_headers.data(), static_cast<int>(headerBytes)) !=
                      static_cast<int>(headerBytes))
        return JpegEncodeResult::WriteFailed;

    JpegBitWriter writer(stream, m_job.standard);
    if (!previewOnly) {
        for (const Rect& r : m_regions) {
            m_tileOffsets.push_back(static_cast<uint32_t>(writer.dataBytes()));
            if (!CodeRegion(r, Pass::Write, &writer))
                return JpegEncodeResult::Aborted;
        }
        if (!writer.Flush())
            return JpegEncodeResult::WriteFailed;
    }
    const uint8_t eoi[2] = {kMarkerPrefix, kMarkerEoi};
    if (stream && stream->Write(eoi, 2) != 2)
        return JpegEncodeResult::WriteFailed;

    if (stream && m_job.tileWidth > 0) {
        // The placeholders get their final values.
        std::vector<uint8_t> offsets;
        for (uint32_t v : m_tileOffsets)
            Put32Le(&offsets, v);
        const int64_t end = stream->Core().GetPosition();
        if (stream->Seek(m_job.startPosition + static_cast<int64_t>(m_tileOffsetsAt)) < 0 ||
            stream->Write(offsets.data(), static_cast<int>(offsets.size())) !=
                static_cast<int>(offsets.size()) ||
            stream->Seek(end) < 0)
            return JpegEncodeResult::WriteFailed;
    }

    double data = static_cast<double>(writer.dataBytes());
    if (m_job.step > 1)
        data *= EstimateFactor(m_job.step, m_job.quality);
    *count = static_cast<int64_t>(headerBytes) + static_cast<int64_t>(data) + 2;
    return JpegEncodeResult::Written;
}

}  // namespace

JpegEncodeResult EncodeJpeg(CSprite* image, const JpegEncodeJob& job, CFicheroHttp* stream,
                            int64_t* count)
{
    *count = 0;
    std::unique_ptr<Encoder> encoder(new (std::nothrow) Encoder(image, job));
    if (!encoder)
        return JpegEncodeResult::BadImage;
    return encoder->Run(stream, count);
}
