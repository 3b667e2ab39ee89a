// Helpers of the JPEG decoder tests: fixture files, PNM references, and a sink that decodes into
// plain memory laid out as one flat image or as storage tiles.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/stream.h"
#include "images/jpeg_internal.h"
#include "test_support.h"

namespace jpeg_test {

using Bytes = std::vector<uint8_t>;

inline std::string FixturePath(const std::string& name)
{
    return test_support::BuildPath("test-fixtures/jpeg/" + name);
}

inline Bytes ReadFileBytes(const std::string& path)
{
    Bytes out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return out;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0)
        out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return out;
}

inline Bytes Fixture(const std::string& name)
{
    Bytes b = ReadFileBytes(FixturePath(name));
    EXPECT_FALSE(b.empty()) << "fixture missing: " << name;
    return b;
}

// A PNM picture as 8-bit channels (1 grey or 3 RGB).
struct Picture {
    int width = 0, height = 0, channels = 0;
    Bytes data;
    int At(int x, int y, int c) const { return data[(y * width + x) * channels + c]; }
};

inline Picture ReadPnm(const std::string& name)
{
    Picture p;
    Bytes b = Fixture(name);
    if (b.size() < 3)
        return p;
    p.channels = b[1] == '6' ? 3 : 1;
    size_t pos = 2;
    int fields[3] = {};
    for (int& field : fields) {
        while (pos < b.size() && (b[pos] == ' ' || b[pos] == '\n' || b[pos] == '\r'))
            ++pos;
        while (pos < b.size() && b[pos] >= '0' && b[pos] <= '9')
            field = field * 10 + (b[pos++] - '0');
    }
    ++pos;
    p.width = fields[0];
    p.height = fields[1];
    p.data.assign(b.begin() + pos, b.end());
    EXPECT_EQ(p.data.size(), static_cast<size_t>(p.width) * p.height * p.channels);
    return p;
}

// Decodes into memory: one flat image, or storage tiles of tileSide pixels.
class MemorySink : public JpegSink {
public:
    int depth = 24;
    int tileSide = 0;          // 0: one flat image
    bool transpose = false;    // store transposed (x down the rows)
    int gridColumns = 1, gridRows = 1, pieceColumn = 0, pieceRow = 0, overlap = 0;
    int abortAfterYields = -1;
    uint8_t fill = 0xCD;       // the image's colour before any block is drawn

    int width = 0, height = 0, bpp = 0;
    std::vector<JpegTile> tiles;
    std::vector<Bytes> memory;
    int yields = 0;
    int lastProgress = -1;
    bool progressInRange = true;
    int beginCalls = 0;
    int orientation = 0;

    JpegError BeginFrame(const JpegFrameInfo& f, JpegTarget* t) override
    {
        ++beginCalls;
        const int pw = static_cast<int>(f.width), ph = static_cast<int>(f.height);
        int w = gridColumns * pw - (gridColumns - 1) * overlap;
        int h = gridRows * ph - (gridRows - 1) * overlap;
        if (transpose)
            std::swap(w, h);
        bpp = (depth + 7) / 8;
        if (beginCalls == 1 || w != width || h != height) {
            width = w;
            height = h;
            tiles.clear();
            memory.clear();
            const int side = tileSide ? tileSide : (w > h ? w : h);
            for (int ty = 0; ty < h; ty += side) {
                for (int tx = 0; tx < w; tx += side) {
                    JpegTile tile;
                    tile.left = tx;
                    tile.top = ty;
                    tile.right = tx + side < w ? tx + side : w;
                    tile.bottom = ty + side < h ? ty + side : h;
                    tile.stride = (tile.right - tile.left) * bpp + 4;   // padded rows
                    memory.emplace_back(tile.stride * (tile.bottom - tile.top), fill);
                    tile.pixels = memory.back().data();
                    tiles.push_back(tile);
                }
            }
        }
        t->depth = depth;
        t->bytesPerPixel = bpp;
        t->transposed = transpose;
        t->width = width;
        t->height = height;
        t->originX = pieceColumn * (pw - overlap);
        t->originY = pieceRow * (ph - overlap);
        t->tiles = tiles.data();
        t->tileCount = static_cast<int>(tiles.size());
        return JpegError::None;
    }
    bool YieldPoint(JpegTarget*, bool*, int progress) override
    {
        ++yields;
        if (progress < 0 || progress > 100 || progress < lastProgress)
            progressInRange = false;
        lastProgress = progress;
        return abortAfterYields < 0 || yields < abortAfterYields;
    }
    bool IsAborted() override { return abortAfterYields >= 0 && yields >= abortAfterYields; }
    void SetExifOrientation(int o) override { orientation = o; }

    // The stored bytes of image pixel (x, y).
    const uint8_t* PixelAt(int x, int y) const
    {
        for (const JpegTile& t : tiles) {
            if (x >= t.left && x < t.right && y >= t.top && y < t.bottom)
                return t.pixels + (y - t.top) * t.stride + (x - t.left) * bpp;
        }
        return nullptr;
    }
    // Picture pixel (x, y) as 0x00RRGGBB (depth 24 or 32), following the transposition.
    uint32_t Rgb(int x, int y) const
    {
        const uint8_t* p = transpose ? PixelAt(y, x) : PixelAt(x, y);
        return static_cast<uint32_t>(p[2] << 16 | p[1] << 8 | p[0]);
    }
};

// A stream taken apart: its segments up to SOS (marker, payload), the SOS payload, the
// entropy-coded bytes and what follows them (EOI).
struct Segment {
    uint8_t marker;
    Bytes payload;
};
struct JpegParts {
    std::vector<Segment> segments;
    Bytes sos;
    Bytes scan;
    Bytes tail;
};

inline JpegParts Split(const Bytes& b)
{
    JpegParts parts;
    size_t pos = 2;   // SOI
    while (pos + 4 <= b.size()) {
        const uint8_t marker = b[pos + 1];
        const size_t length = static_cast<size_t>(b[pos + 2] << 8 | b[pos + 3]);
        Bytes payload(b.begin() + pos + 4, b.begin() + pos + 2 + length);
        pos += 2 + length;
        if (marker == 0xDA) {
            parts.sos = payload;
            size_t end = b.size() - 2;   // EOI
            parts.scan.assign(b.begin() + pos, b.begin() + end);
            parts.tail.assign(b.begin() + end, b.end());
            break;
        }
        parts.segments.push_back({marker, payload});
    }
    return parts;
}

inline void AppendSegment(Bytes* out, uint8_t marker, const Bytes& payload)
{
    out->push_back(0xFF);
    out->push_back(marker);
    out->push_back(static_cast<uint8_t>((payload.size() + 2) >> 8));
    out->push_back(static_cast<uint8_t>(payload.size() + 2));
    out->insert(out->end(), payload.begin(), payload.end());
}

inline Bytes Join(const JpegParts& parts)
{
    Bytes out = {0xFF, 0xD8};
    for (const Segment& s : parts.segments)
        AppendSegment(&out, s.marker, s.payload);
    AppendSegment(&out, 0xDA, parts.sos);
    out.insert(out.end(), parts.scan.begin(), parts.scan.end());
    out.insert(out.end(), parts.tail.begin(), parts.tail.end());
    return out;
}

inline Segment* FindSegment(JpegParts* parts, uint8_t marker)
{
    for (Segment& s : parts->segments) {
        if (s.marker == marker)
            return &s;
    }
    return nullptr;
}

// Scan bytes without the stuffed zeros: the native coding of the same data.
inline Bytes Unstuff(const Bytes& scan)
{
    Bytes out;
    for (size_t i = 0; i < scan.size(); ++i) {
        out.push_back(scan[i]);
        if (scan[i] == 0xFF && i + 1 < scan.size() && scan[i + 1] == 0x00)
            ++i;
    }
    return out;
}

// The native coding of a standard stream: its scan unstuffed, and without the segments that
// only standard writers write (they would switch a reader to standard mode).
inline void DropStandardMarks(JpegParts* parts)
{
    std::vector<Segment> kept;
    for (const Segment& s : parts->segments) {
        if (!MarksStandardStream(s.marker, s.payload.data(), s.payload.size()))
            kept.push_back(s);
    }
    parts->segments = kept;
}

inline void MakeNative(JpegParts* parts)
{
    parts->scan = Unstuff(parts->scan);
    DropStandardMarks(parts);
}

inline JpegError DecodeBytes(const Bytes& bytes, JpegSink* sink, bool standard = true,
                             SimdLevel simd = SimdLevel::Avx2, uint32_t size = 0)
{
    CFicheroHttp stream;
    if (!stream.SetBuffer(bytes.data(), static_cast<int64_t>(bytes.size()), BufferUse::InPlace))
        return JpegError::OutOfMemory;
    JpegDecodeOptions options;
    options.standard = standard;
    options.simd = simd;
    JpegDecoder decoder(&stream, size, sink, options);
    return decoder.Decode();
}

// Differences of a 24/32-bit decode against a reference picture.
struct Difference {
    int maxDiff = 0;
    double mean = 0;
    double withinTwo = 1;   // fraction of samples at most 2 apart
};

inline Difference Compare(const MemorySink& sink, const Picture& ref)
{
    Difference d;
    long long sum = 0, within = 0, n = 0;
    for (int y = 0; y < ref.height; ++y) {
        for (int x = 0; x < ref.width; ++x) {
            const uint32_t rgb = sink.Rgb(x, y);
            const int got[3] = {static_cast<int>(rgb >> 16 & 255), static_cast<int>(rgb >> 8 & 255),
                                static_cast<int>(rgb & 255)};
            for (int c = 0; c < 3; ++c) {
                const int want = ref.At(x, y, ref.channels == 3 ? c : 0);
                const int diff = got[c] > want ? got[c] - want : want - got[c];
                d.maxDiff = diff > d.maxDiff ? diff : d.maxDiff;
                sum += diff;
                within += diff <= 2;
                ++n;
            }
        }
    }
    d.mean = n ? static_cast<double>(sum) / n : 0;
    d.withinTwo = n ? static_cast<double>(within) / n : 1;
    return d;
}

}  // namespace jpeg_test
