// Download speed of the HTTP client: fetches a URL through CFicheroHttp (no disk cache, no
// speed limit) a few times and prints the best rate. bench/http_download_bench.sh runs it
// against the loopback test server beside curl fetching the same file.
// With "parallel" it instead opens 50 streams on the URL at once, reads them in turn and prints
// the process's peak private bytes beside those before the streams opened.
// Usage: bench_http_download.exe URL [runs] [read size]
//        bench_http_download.exe URL parallel [streams] [bytes per stream]
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
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

size_t PrivateBytes(bool peak) {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return 0;
    return peak ? counters.PeakPagefileUsage : counters.PagefileUsage;
}

// Many downloads open at once, as when a tour loads its images and tiles together.
int RunParallel(const char* url, int count, int64_t perStream) {
    std::vector<uint8_t> buffer(kReadPiece);
    const size_t before = PrivateBytes(false);
    std::vector<CFicheroHttp*> streams;
    for (int i = 0; i < count; ++i) {
        CFicheroHttp* stream = new CFicheroHttp;
        if (!stream->Open(url)) {
            std::fprintf(stderr, "cannot open stream %d of %s\n", i, url);
            return 1;
        }
        streams.push_back(stream);
    }
    std::vector<int64_t> got(streams.size(), 0);
    size_t peak = PrivateBytes(false);
    for (bool reading = true; reading;) {
        reading = false;
        for (size_t i = 0; i < streams.size(); ++i) {
            if (got[i] >= perStream)
                continue;
            const int n = streams[i]->Read(buffer.data(), kReadPiece);
            if (n <= 0)
                continue;
            got[i] += n;
            reading = true;
        }
        const size_t now = PrivateBytes(false);
        if (now > peak)
            peak = now;
    }
    for (CFicheroHttp* stream : streams)
        delete stream;
    std::printf("lumarix %d streams reading at once: peak private %.1f MB, %.1f MB before they "
                "opened, %.1f KB per stream\n",
                count, peak / 1048576.0, before / 1048576.0,
                peak > before ? (peak - before) / 1024.0 / count : 0.0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_http_download.exe URL [runs] [read size]\n");
        return 2;
    }
    g_cacheEnabled = 0;
    if (argc > 2 && std::strcmp(argv[2], "parallel") == 0) {
        CFicheroHttp::SetWinInetDisabled(true);
        const int count = argc > 3 ? std::atoi(argv[3]) : 50;
        const int64_t perStream = argc > 4 ? std::atoll(argv[4]) : (int64_t{4} << 20);
        return count > 0 && perStream > 0 ? RunParallel(argv[1], count, perStream) : 2;
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
