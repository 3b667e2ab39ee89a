// JPEG encoder: the segments, the regions, reading pixels into blocks and coding each block.
#include <algorithm>
#include <cstring>
#include <memory>

#include "core/stream.h"
#include "images/jpeg_encoder.h"
#include "images/jpeg_format.h"
#include "images/jpeg_internal.h"
#include "images/sprite.h"

namespace {

constexpr int kLevelShift = 128;

constexpr uint8_t kTableLuminance = 0x00, kTableChrominance = 0x01;
constexpr uint8_t kAcClass = 0x10;
constexpr uint8_t kSymbolEob = 0x00, kSymbolZeroRun = 0xF0;
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
    void LoadGroup(const Rect& r, int px, int py);
    void CodeBlock(const float* samples, int kind, int16_t* predictor, Pass pass,
                   JpegBitWriter* writer, int16_t* reconstruct);
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

    // One group's samples: luminance blocks, then Cb and Cr.
    float m_y[4][64];
    float m_cb[64], m_cr[64];
    int m_cbFull[256], m_crFull[256];
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

void Encoder::LoadGroup(const Rect& r, int px, int py)
{
    const CSprite& s = *m_image;
    const int gw = 8 * m_h, gh = 8 * m_v;
    int xs[16];
    for (int i = 0; i < gw; ++i)
        xs[i] = std::min(px + i, r.x1 - 1);
    const bool flat = s.pixels && s.orientation == 0 && !s.IsKeptInTiles() &&
                      (s.bitsPerPixel == 24 || s.bitsPerPixel == 32 ||
                       (s.bitsPerPixel == 8 && m_job.indexed));
    for (int j = 0; j < gh; ++j) {
        const int y = std::min(py + j, r.y1 - 1);
        const uint8_t* row = flat ? s.pixels + static_cast<size_t>(y) * s.stride : nullptr;
        float* yRow = m_y[(j >> 3) * m_h] + (j & 7) * 8;
        for (int i = 0; i < gw; ++i) {
            float* yOut = yRow + (i >> 3) * 64 + (i & 7);
            if (m_job.indexed) {
                // Palette indices as they are, without the level shift.
                const int index = row ? row[xs[i]] : IndexAt(xs[i], y);
                *yOut = static_cast<float>(index);
                continue;
            }
            int b, g, red;
            if (row && s.bitsPerPixel != 8) {
                const uint8_t* p = row + static_cast<size_t>(xs[i]) * s.bytesPerPixel;
                b = p[0];
                g = p[1];
                red = p[2];
            } else {
                const uint32_t v = PixelAt(xs[i], y);
                b = v & 0xFF;
                g = (v >> 8) & 0xFF;
                red = (v >> 16) & 0xFF;
            }
            int yy, cb, cr;
            JpegRgbToYcc(red, g, b, &yy, &cb, &cr);
            *yOut = static_cast<float>(yy - kLevelShift);
            m_cbFull[j * gw + i] = cb;
            m_crFull[j * gw + i] = cr;
        }
    }
    if (m_job.oneComponent)
        return;
    for (int j = 0; j < 8; ++j) {
        for (int i = 0; i < 8; ++i) {
            int cb, cr;
            if (m_h == 1 && m_v == 1) {
                cb = m_cbFull[j * gw + i];
                cr = m_crFull[j * gw + i];
            } else if (m_v == 1) {
                const int a = j * gw + 2 * i;
                cb = (m_cbFull[a] + m_cbFull[a + 1]) >> 1;
                cr = (m_crFull[a] + m_crFull[a + 1]) >> 1;
            } else {
                const int a = 2 * j * gw + 2 * i, c = a + gw;
                cb = (m_cbFull[a] + m_cbFull[a + 1] + m_cbFull[c] + m_cbFull[c + 1]) >> 2;
                cr = (m_crFull[a] + m_crFull[a + 1] + m_crFull[c] + m_crFull[c + 1]) >> 2;
            }
            m_cb[j * 8 + i] = static_cast<float>(cb);
            m_cr[j * 8 + i] = static_cast<float>(cr);
        }
    }
}

void Encoder::CodeBlock(const float* samples, int kind, int16_t* predictor, Pass pass,
                        JpegBitWriter* writer, int16_t* reconstruct)
{
    KindTables& t = m_tables[kind];
    float dct[64];
    int16_t zz[64];
    JpegForwardDct(samples, dct);
    JpegQuantise(dct, t.reciprocal, m_job.keep, zz);
    if (reconstruct) {
        std::memset(reconstruct, 0, 64 * sizeof(int16_t));
        for (int z = 0; z < 64; ++z)
            reconstruct[kJpegNaturalOrder[z]] = zz[z];
    }

    const int diff = zz[0] - *predictor;
    *predictor = zz[0];
    const int dcSize = JpegCategory(diff);
    if (pass == Pass::Count) {
        ++t.dcFrequency[dcSize];
    } else {
        writer->Put(t.dc.code[dcSize], t.dc.length[dcSize]);
        if (dcSize)
            writer->Put(static_cast<uint32_t>(diff < 0 ? diff - 1 : diff), dcSize);
    }
    int run = 0;
    for (int z = 1; z < 64; ++z) {
        const int v = zz[z];
        if (v == 0) {
            ++run;
            continue;
        }
        while (run > 15) {
            if (pass == Pass::Count)
                ++t.acFrequency[kSymbolZeroRun];
            else
                writer->Put(t.ac.code[kSymbolZeroRun], t.ac.length[kSymbolZeroRun]);
            run -= 16;
        }
        const int size = JpegCategory(v);
        const int symbol = run << 4 | size;
        if (pass == Pass::Count) {
            ++t.acFrequency[symbol];
        } else {
            writer->Put(t.ac.code[symbol], t.ac.length[symbol]);
            writer->Put(static_cast<uint32_t>(v < 0 ? v - 1 : v), size);
        }
        run = 0;
    }
    if (run > 0) {
        if (pass == Pass::Count)
            ++t.acFrequency[kSymbolEob];
        else
            writer->Put(t.ac.code[kSymbolEob], t.ac.length[kSymbolEob]);
    }
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
    LoadGroup(r, px, py);
    const bool preview = pass == Pass::Count && m_job.preview;
    int16_t recon[6][64];
    const int luma = m_h * m_v;
    for (int b = 0; b < luma; ++b)
        CodeBlock(m_y[b], 0, &m_predictor[0], pass, writer, preview ? recon[b] : nullptr);
    if (!m_job.oneComponent) {
        CodeBlock(m_cb, 1, &m_predictor[1], pass, writer, preview ? recon[luma] : nullptr);
        CodeBlock(m_cr, 1, &m_predictor[2], pass, writer, preview ? recon[luma + 1] : nullptr);
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
