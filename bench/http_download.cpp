// Download speed of the HTTP client: fetches a URL through CFicheroHttp (no disk cache, no
// speed limit) a few times and prints the best rate. bench/http_download_bench.sh runs it
// against the loopback test server beside curl fetching the same file.
// Usage: bench_http_download.exe URL [runs] [read size]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/stream.h"

namespace {

constexpr int kReadPiece = 65536;
constexpr int kPatternBlock = 65521;   // the test server's pattern period

double Seconds() {
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

uint8_t PatternByte(int64_t i) {
    const uint32_t j = static_cast<uint32_t>(i % kPatternBlock);
    return static_cast<uint8_t>((static_cast<uint32_t>(j * 2654435761u) >> 13) & 0xFF);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_http_download.exe URL [runs] [read size]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    const int piece = argc > 3 ? std::atoi(argv[3]) : kReadPiece;
    if (runs < 1 || piece < 1)
        return 2;
    g_cacheEnabled = 0;
    CFicheroHttp::SetWinInetDisabled(true);
    std::vector<uint8_t> buffer(static_cast<size_t>(piece));
    double best = 0.0;
    int64_t bytes = 0;
    bool intact = true;
    for (int run = 0; run < runs; ++run) {
        CFicheroHttp stream;
        const double start = Seconds();
        if (!stream.Open(argv[1])) {
            std::fprintf(stderr, "cannot open %s\n", argv[1]);
            return 1;
        }
        int64_t got = 0;
        // The last run also checks every byte (outside the timed part of the earlier runs).
        const bool check = run == runs - 1;
        for (;;) {
            const int n = stream.Read(buffer.data(), piece);
            if (n <= 0)
                break;
            if (check) {
                for (int i = 0; i < n && intact; ++i)
                    intact = buffer[i] == PatternByte(got + i);
            }
            got += n;
        }
        const double seconds = Seconds() - start;
        stream.Close();
        if (got <= 0 || seconds <= 0.0)
            return 1;
        const double rate = static_cast<double>(got) / (1024.0 * 1024.0) / seconds;
        if (!check && rate > best)
            best = rate;
        if (runs == 1 && rate > best)
            best = rate;
        bytes = got;
    }
    std::printf("lumarix %.1f MB/s (%lld bytes, reads of %d bytes, best of %d, content %s)\n", best,
                static_cast<long long>(bytes), piece, runs > 1 ? runs - 1 : 1, intact ? "intact" : "WRONG");
    return intact ? 0 : 1;
}
