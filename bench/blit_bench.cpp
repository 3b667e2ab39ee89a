// Speed of the pixel loops: bilinear scaling, a source-alpha blend, ConvertPixels to 32 bits,
// and the copy, fill and tile copy of BlitPixels, in destination megapixels per second (best of
// the runs, one thread), on every loop path beside the physical limit (memcpy and memset of the
// same bytes) where that is the yardstick. bench/blit_bench.sh runs it beside the pixman
// program in bench/reference and prints the ratios.
// Usage: bench_blit_bench.exe [runs] [case name prefix]
// Output lines: "<case> <path> <megapixels per second>".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "images/blit.h"
#include "images/pixel_convert.h"
#include "images/pixel_format.h"

namespace {

double Seconds() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart) / double(frequency.QuadPart);
}

// Best rate of runs calls of fn, each producing pixels destination pixels.
double BestRate(int runs, double pixels, const std::function<void()>& fn) {
    fn();  // warm the caches and the page tables
    double best = 1e30;
    for (int i = 0; i < runs; i++) {
        double t0 = Seconds();
        fn();
        double t = Seconds() - t0;
        if (t < best)
            best = t;
    }
    return pixels / best / 1e6;
}

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n + 16);
    for (size_t i = 0; i < v.size(); i++) {
        seed = seed * 1664525u + 1013904223u;
        v[i] = uint8_t(seed >> 24);
    }
    return v;
}

struct Paths {
    std::vector<PixelLoopPath> list;
    Paths() {
        list.push_back(PixelLoopPath::Portable);
        if (SetPixelLoopPath(PixelLoopPath::Sse2) == PixelLoopPath::Sse2)
            list.push_back(PixelLoopPath::Sse2);
    }
};

const char* Name(PixelLoopPath p) {
    return p == PixelLoopPath::Sse2 ? "sse2" : "portable";
}

const char* g_only = "";

bool Wanted(const char* name) {
    return std::strncmp(name, g_only, std::strlen(g_only)) == 0;
}

void Report(const char* name, const char* path, double rate) {
    std::printf("%s %s %.1f\n", name, path, rate);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    if (runs < 1)
        runs = 1;
    if (argc > 2)
        g_only = argv[2];
    Paths paths;
    const int dw = 1920, dh = 1080;
    const double dpix = double(dw) * dh;
    std::vector<uint8_t> dst(size_t(dw) * dh * 4 + 16);

    struct Scale {
        const char* name;
        int sw, sh;
    };
    const Scale scales[] = {{"bilinear_4096x2048", 4096, 2048}, {"bilinear_1024x1024", 1024, 1024}};
    for (Scale s : scales) {
        if (!Wanted(s.name))
            continue;
        std::vector<uint8_t> src = RandomBytes(size_t(s.sw) * s.sh * 4, 7);
        for (PixelLoopPath p : paths.list) {
            SetPixelLoopPath(p);
            Report(s.name, Name(p), BestRate(runs, dpix, [&] {
                       BlitPixels(dst.data(), dw * 4, 0, 32, dw, dh, 0, 0, dw - 1, dh - 1, 0, 0,
                                  src.data(), s.sw, s.sh, 32, nullptr, 100, BlitBilinear,
                                  kBlitColourNone, 0);
                   }));
        }
    }

    if (Wanted("alpha_blend")) {
        std::vector<uint8_t> src = RandomBytes(size_t(dw) * dh * 4, 11);
        std::vector<uint8_t> base = RandomBytes(size_t(dw) * dh * 4, 13);
        for (PixelLoopPath p : paths.list) {
            SetPixelLoopPath(p);
            std::memcpy(dst.data(), base.data(), dst.size());
            Report("alpha_blend_1920x1080", Name(p), BestRate(runs, dpix, [&] {
                       BlitPixels(dst.data(), dw * 4, 0, 32, 0, 0, 0, 0, dw - 1, dh - 1, 0, 0,
                                  src.data(), dw, dh, 32, nullptr, 100, 0, kBlitColourNone, 1);
                   }));
        }
    }

    for (int bpp : {24, 16}) {
        if (!Wanted(bpp == 24 ? "convert_24_to_32" : "convert_16_to_32"))
            continue;
        std::vector<uint8_t> src = RandomBytes(size_t(dw) * dh * 4, 17);
        for (PixelLoopPath p : paths.list) {
            SetPixelLoopPath(p);
            Report(bpp == 24 ? "convert_24_to_32" : "convert_16_to_32", Name(p),
                   BestRate(runs, dpix, [&] {
                       ConvertPixels(src.data(), dst.data(), dw * dh, bpp, 32, nullptr);
                   }));
        }
    }

    if (Wanted("copy") || Wanted("fill")) {
        std::vector<uint8_t> src = RandomBytes(size_t(dw) * dh * 4, 19);
        size_t bytes = size_t(dw) * dh * 4;
        for (PixelLoopPath p : paths.list) {
            SetPixelLoopPath(p);
            Report("copy_1920x1080", Name(p), BestRate(runs, dpix, [&] {
                       BlitPixels(dst.data(), dw * 4, 0, 32, 0, 0, 0, 0, dw - 1, dh - 1, 0, 0,
                                  src.data(), dw, dh, 32, nullptr, 100, 0, kBlitColourNone, 0);
                   }));
            Report("fill_1920x1080", Name(p), BestRate(runs, dpix, [&] {
                       BlitPixels(dst.data(), dw * 4, 0, 32, dw, dh, 0, 0, dw - 1, dh - 1, 0, 0,
                                  nullptr, 0, 0, 32, nullptr, 100, 0, 0x00336699, 0);
                   }));
        }
        Report("copy_1920x1080", "memcpy", BestRate(runs, dpix, [&] {
                   std::memcpy(dst.data(), src.data(), bytes);
               }));
        Report("fill_1920x1080", "memset", BestRate(runs, dpix, [&] {
                   std::memset(dst.data(), 0x5A, bytes);
               }));
    }

    if (Wanted("tile_copy")) {
        // A 2048 x 2048 image into 64 tiles of 256 x 256 whose rows keep room for the repeated
        // last column (260 pixels), as the image object copies into its tiles.
        const int iw = 2048, ih = 2048, tile = 256, tileStride = 260 * 4;
        std::vector<uint8_t> src = RandomBytes(size_t(iw) * ih * 4, 23);
        std::vector<uint8_t> tiles(size_t(iw / tile) * (ih / tile) * tileStride * tile + 16);
        const double tpix = double(iw) * ih;
        auto copyTiles = [&] {
            uint8_t* t = tiles.data();
            for (int ty = 0; ty < ih / tile; ty++) {
                for (int tx = 0; tx < iw / tile; tx++, t += size_t(tileStride) * tile)
                    BlitPixels(t, tileStride, 0, 32, 0, 0, 0, 0, tile - 1, tile - 1,
                               -tx * tile, -ty * tile, src.data(), iw, ih, 32, nullptr, 100,
                               0xD0, kBlitColourNone, 0);
            }
        };
        for (PixelLoopPath p : paths.list) {
            SetPixelLoopPath(p);
            Report("tile_copy_0xD0", Name(p), BestRate(runs, tpix, copyTiles));
        }
        Report("tile_copy_0xD0", "memcpy", BestRate(runs, tpix, [&] {
                   uint8_t* t = tiles.data();
                   for (int ty = 0; ty < ih / tile; ty++) {
                       for (int tx = 0; tx < iw / tile; tx++, t += size_t(tileStride) * tile) {
                           const uint8_t* s = src.data() + (size_t(ty) * tile * iw + tx * tile) * 4;
                           for (int r = 0; r < tile; r++)
                               std::memcpy(t + size_t(r) * tileStride, s + size_t(r) * iw * 4,
                                           tile * 4);
                       }
                   }
               }));
    }
    SetPixelLoopPath(DefaultPixelLoopPath());
    return 0;
}
