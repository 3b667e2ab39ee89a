// JPEG encode speed: "encode PICTURE.ppm" reads the picture into a 24-bit image and encodes it
// into memory at quality 90, 4:2:0 and 4:4:4, best of 5 each, printing megapixels per second and
// the stream's size; "repeat PICTURE.ppm N" encodes 4:2:0 N times, for a profiler.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/stream.h"
#include "images/sprite.h"

namespace {

constexpr int kRuns = 5;
constexpr int kQuality = 90;

double Now()
{
    LARGE_INTEGER c, f;
    QueryPerformanceCounter(&c);
    QueryPerformanceFrequency(&f);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

// A binary PPM into a 24-bit image (B, G, R).
bool ReadPpm(const char* path, CSprite* image)
{
    FILE* f = std::fopen(path, "rb");
    if (!f)
        return false;
    int w = 0, h = 0, maxValue = 0;
    const bool header = std::fscanf(f, "P6 %d %d %d", &w, &h, &maxValue) == 3 && maxValue == 255;
    std::fgetc(f);
    image->tilingEnabled = 0;
    if (!header || image->CreateImage(w, h, 24, false, 0, false) != 3) {
        std::fclose(f);
        return false;
    }
    std::vector<uint8_t> row(static_cast<size_t>(w) * 3);
    bool ok = true;
    for (int y = 0; y < h && ok; ++y) {
        ok = std::fread(row.data(), 1, row.size(), f) == row.size();
        uint8_t* out = image->pixels + static_cast<size_t>(y) * image->stride;
        for (int x = 0; x < w; ++x) {
            out[3 * x] = row[3 * x + 2];
            out[3 * x + 1] = row[3 * x + 1];
            out[3 * x + 2] = row[3 * x];
        }
    }
    std::fclose(f);
    return ok;
}

// One encode into a memory stream from its start; answers the seconds and the size. The stream
// is reused, so that after the first run its memory has its full size, as tjbench's
// preallocated destination has.
double EncodeOnce(CSprite* image, CFicheroHttp* out, int sampling, int64_t* size)
{
    out->Seek(0);
    image->outputStream = out;
    const double start = Now();
    const int result = image->SaveJPEG("", kQuality, 101, sampling, 64, false, false, false, 0,
                                       false, 1, nullptr, 0, 0, 0, 0);
    const double seconds = Now() - start;
    image->outputStream = nullptr;
    *size = result == 1 ? out->Core().GetPosition() : -1;
    return seconds;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || (std::strcmp(argv[1], "encode") != 0 && std::strcmp(argv[1], "repeat") != 0)) {
        std::fprintf(stderr, "usage: jpeg_encode encode PICTURE.ppm | repeat PICTURE.ppm N\n");
        return 2;
    }
    CSprite image;
    image.jfif = 1;
    if (!ReadPpm(argv[2], &image)) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 1;
    }
    const double megapixels = image.width / 1e6 * image.height;
    if (std::strcmp(argv[1], "repeat") == 0) {
        const int n = argc > 3 ? std::atoi(argv[3]) : 10;
        int64_t size = 0;
        CFicheroHttp out;
        out.Core().m_memoryMode = 1;
        for (int i = 0; i < n; ++i)
            EncodeOnce(&image, &out, 2, &size);
        return size > 0 ? 0 : 1;
    }
    const struct {
        const char* name;
        int sampling;
    } modes[] = {{"420", 2}, {"444", 1}};
    std::printf("%-8s %12s %12s\n", "sampling", "ours MP/s", "bytes");
    for (const auto& m : modes) {
        double best = 1e30;
        int64_t size = 0;
        CFicheroHttp out;
        out.Core().m_memoryMode = 1;
        EncodeOnce(&image, &out, m.sampling, &size);   // warm-up: the stream grows to size
        for (int run = 0; run < kRuns; ++run)
            best = std::min(best, EncodeOnce(&image, &out, m.sampling, &size));
        if (size <= 0) {
            std::fprintf(stderr, "encode failed\n");
            return 1;
        }
        std::printf("%-8s %12.1f %12lld\n", m.name, megapixels / best, static_cast<long long>(size));
        std::fflush(stdout);
    }
    return 0;
}
