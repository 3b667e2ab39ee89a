// JPEG decode speed: "make OUT.ppm" writes an 8192 x 4096 equirectangular picture with
// photo-like detail; "decode FILE..." decodes each stream from memory into a 24-bit tiled image,
// best of 5, reusing the image's memory between runs, on the SIMD path and on the plain path, and
// prints megapixels per second and bits per pixel; "repeat FILE N" decodes one stream N times on
// the SIMD path only, for a profiler.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/stream.h"
#include "images/jpeg_internal.h"

namespace {

constexpr int kWidth = 8192, kHeight = 4096;
constexpr int kRuns = 5;
constexpr int kTileSide = 512;

uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed)
{
    uint32_t h = x * 374761393u + y * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

// Smooth value noise in 0..1 at cell size `cell`.
float Noise(int x, int y, int cell, uint32_t seed)
{
    const int cx = x / cell, cy = y / cell;
    const float fx = static_cast<float>(x % cell) / cell, fy = static_cast<float>(y % cell) / cell;
    auto v = [&](int i, int j) { return (Hash(cx + i, cy + j, seed) & 0xFFFF) / 65535.0f; };
    const float sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    const float top = v(0, 0) + (v(1, 0) - v(0, 0)) * sx;
    const float bottom = v(0, 1) + (v(1, 1) - v(0, 1)) * sx;
    return top + (bottom - top) * sy;
}

int MakeSource(const char* path)
{
    FILE* f = std::fopen(path, "wb");
    if (!f)
        return 1;
    std::fprintf(f, "P6\n%d %d\n255\n", kWidth, kHeight);
    std::vector<uint8_t> row(kWidth * 3);
    for (int y = 0; y < kHeight; ++y) {
        const float horizon = kHeight * 0.45f;
        for (int x = 0; x < kWidth; ++x) {
            float r, g, b;
            const float detail = Noise(x, y, 64, 1) * 0.5f + Noise(x, y, 16, 2) * 0.3f +
                                 Noise(x, y, 4, 3) * 0.15f + Noise(x, y, 1 + 1, 4) * 0.05f;
            const float ridge = horizon + 300 * Noise(x, 0, 256, 5) + 60 * Noise(x, 0, 32, 6);
            if (y < ridge) {   // sky with clouds
                const float t = y / ridge;
                const float cloud = std::max(0.0f, Noise(x, y, 128, 7) - 0.55f) * 2.2f;
                r = 70 + 90 * t + 180 * cloud;
                g = 120 + 80 * t + 150 * cloud;
                b = 220 - 20 * t + 30 * cloud;
            } else {           // ground: grass, rocks and paths
                const float rock = Noise(x, y, 48, 8);
                r = 60 + 120 * detail * (rock > 0.6f ? 1.6f : 1.0f);
                g = 80 + 110 * detail;
                b = 40 + 70 * detail * (rock > 0.6f ? 1.8f : 1.0f);
                if ((x / 97 + y / 61) % 17 == 0) {   // buildings: hard edges
                    r = 200 - (x % 11) * 6;
                    g = 190 - (y % 9) * 8;
                    b = 180;
                }
            }
            const float grain = (static_cast<int>(Hash(x, y, 9) & 15) - 8) * 0.8f;
            row[x * 3 + 0] = static_cast<uint8_t>(std::clamp(r + grain, 0.0f, 255.0f));
            row[x * 3 + 1] = static_cast<uint8_t>(std::clamp(g + grain, 0.0f, 255.0f));
            row[x * 3 + 2] = static_cast<uint8_t>(std::clamp(b + grain, 0.0f, 255.0f));
        }
        std::fwrite(row.data(), 1, row.size(), f);
    }
    std::fclose(f);
    return 0;
}

// A 24-bit image in storage tiles whose memory stays between decodes.
class TiledImage : public JpegSink {
public:
    JpegError BeginFrame(const JpegFrameInfo& f, JpegTarget* t) override
    {
        const int w = static_cast<int>(f.width), h = static_cast<int>(f.height);
        if (w != m_width || h != m_height) {
            m_width = w;
            m_height = h;
            m_tiles.clear();
            m_memory.clear();
            for (int ty = 0; ty < h; ty += kTileSide) {
                for (int tx = 0; tx < w; tx += kTileSide) {
                    JpegTile tile;
                    tile.left = tx;
                    tile.top = ty;
                    tile.right = std::min(w, tx + kTileSide);
                    tile.bottom = std::min(h, ty + kTileSide);
                    tile.stride = (tile.right - tile.left) * 3;
                    m_memory.emplace_back(static_cast<size_t>(tile.stride) * (tile.bottom - tile.top));
                    m_tiles.push_back(tile);
                }
            }
            for (size_t i = 0; i < m_tiles.size(); ++i)
                m_tiles[i].pixels = m_memory[i].data();
        }
        t->depth = 24;
        t->bytesPerPixel = 3;
        t->width = w;
        t->height = h;
        t->tiles = m_tiles.data();
        t->tileCount = static_cast<int>(m_tiles.size());
        return JpegError::None;
    }
    bool YieldPoint(JpegTarget*, bool*, int) override { return true; }
    bool IsAborted() override { return false; }

private:
    int m_width = 0, m_height = 0;
    std::vector<JpegTile> m_tiles;
    std::vector<std::vector<uint8_t>> m_memory;
};

double Seconds()
{
    LARGE_INTEGER c, f;
    QueryPerformanceCounter(&c);
    QueryPerformanceFrequency(&f);
    return static_cast<double>(c.QuadPart) / f.QuadPart;
}

// Best megapixels per second of kRuns decodes; 0 when a decode fails.
double BestRate(const std::vector<uint8_t>& data, SimdLevel level, TiledImage* image, int* pixels)
{
    double best = 0;
    for (int run = 0; run < kRuns; ++run) {
        CFicheroHttp stream;
        stream.SetBuffer(data.data(), static_cast<int64_t>(data.size()), BufferUse::InPlace);
        JpegDecodeOptions options;
        options.standard = true;
        options.simd = level;
        JpegDecoder decoder(&stream, 0, image, options);
        const double start = Seconds();
        const JpegError e = decoder.Decode();
        const double took = Seconds() - start;
        if (e != JpegError::None)
            return 0;
        *pixels = static_cast<int>(decoder.frame().width * decoder.frame().height);
        best = std::max(best, *pixels / took / 1e6);
    }
    return best;
}

std::vector<uint8_t> ReadWhole(const char* path)
{
    std::vector<uint8_t> data;
    FILE* f = std::fopen(path, "rb");
    if (!f)
        return data;
    uint8_t buf[1 << 16];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0)
        data.insert(data.end(), buf, buf + n);
    std::fclose(f);
    return data;
}

// Only the chosen SIMD path, many times: for a profiler.
int Repeat(const char* file, int times)
{
    const std::vector<uint8_t> data = ReadWhole(file);
    TiledImage image;
    int pixels = 0;
    double best = 0;
    for (int i = 0; i < times; i += kRuns)
        best = std::max(best, BestRate(data, ChosenSimdLevel(), &image, &pixels));
    std::printf("%.1f MP/s\n", best);
    return best > 0 ? 0 : 1;
}

int Decode(int count, char** files)
{
    std::printf("%-28s %10s %10s %6s %8s\n", "file", "simd MP/s", "plain MP/s", "level", "bits/px");
    for (int i = 0; i < count; ++i) {
        const std::vector<uint8_t> data = ReadWhole(files[i]);
        if (data.empty()) {
            std::printf("%s: cannot open\n", files[i]);
            return 1;
        }
        TiledImage image;
        int pixels = 0;
        const SimdLevel level = ChosenSimdLevel();
        const double simd = BestRate(data, level, &image, &pixels);
        const double plain = BestRate(data, SimdLevel::Plain, &image, &pixels);
        if (simd == 0 || plain == 0) {
            std::printf("%s: decode failed\n", files[i]);
            return 1;
        }
        const char* base = std::strrchr(files[i], '\\');
        std::printf("%-28s %10.1f %10.1f %6s %8.2f\n", base ? base + 1 : files[i], simd, plain,
                    SimdLevelName(level), data.size() * 8.0 / pixels);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "make") == 0)
        return MakeSource(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "repeat") == 0)
        return Repeat(argv[2], std::atoi(argv[3]));
    if (argc >= 3 && std::strcmp(argv[1], "decode") == 0)
        return Decode(argc - 2, argv + 2);
    std::printf("usage: jpeg_decode make OUT.ppm | decode FILE...\n");
    return 2;
}
