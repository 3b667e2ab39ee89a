// Speed and memory of the script reader. Generates tours of 10 MB and 40 MB (frame sections
// with keys, objects, quoted commands, comments and INCLUDE macros), writes them to disk and
// reads each through the stream class with handlers that only count. Prints:
// - MB/s of each read (both passes) and statements handled;
// - the ratio of the two read times (4 is linear);
// - the process's peak working set before and after the reads (flat: the reader holds one
//   piece of input and one statement at a time);
// - MB/s of the same 10 MB tour as UTF-16LE.
// Usage: bench_script_read.exe
#define PSAPI_VERSION 2
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

#include "core/stream.h"
#include "script/reader.h"

namespace {

double Seconds()
{
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double PeakWorkingSetMB()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return 0.0;
    return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

long g_statements = 0;

void Count(ReadingContext&)
{
    g_statements++;
}

bool CountFlag(ReadingContext&)
{
    g_statements++;
    return true;
}

// TYPE=INCLUDE leaves the section a macro; anything else makes it a frame section.
void CountType(ReadingContext& context)
{
    g_statements++;
    context.sectionKind = _strnicmp(context.statement + 5, "INCLUDE", 7) == 0 ? SectionIgnored
                                                                               : SectionFrame;
}

ReaderHandlers CountingHandlers()
{
    ReaderHandlers handlers;
    for (StatementHandler& handler : handlers.keywords)
        handler = Count;
    handlers.keywords[static_cast<int>(ReaderKeyword::Type)] = CountType;
    handlers.frameFlagKey = CountFlag;
    return handlers;
}

std::string MakeTour(size_t bytes)
{
    std::string tour =
        "Generated tour for the reader benchmark.\r\n"
        "(hotspots)\r\n{\r\n  TYPE=INCLUDE;\r\n  NODO1=10,0,5,0,0,hall;\r\n"
        "  BUTTON=controls,play,0,90,0,20,20,#60,#ffffff,#ffffff,#ffffff,1,10,1,no,no,no,2,"
        "nokey,release,'Play video','ShowGroup(,,1,videocontrols);Play(intro)';\r\n}\r\n";
    for (int frame = 0; tour.size() < bytes; frame++) {
        char section[2048];
        std::snprintf(
            section, sizeof section,
            "// frame %d\r\n(frame %d)\r\n{\r\n"
            "\tTYPE=PANORAMIC;\r\n\tFILE=images/frame%d.jpg;\r\n"
            "\tDESCRIPTION=\"Frame number %d, don't miss it\";\r\n"
            "\tROT=10,20,0;\r\n\tLIMZOOM=30,120;\r\n\tCACHE=1;\r\n"
            "\tIMAGE=group,logo%d,1,10,10,100,50,#11,100,TRANS+bilinear,logo.png;\r\n"
            "\tTEXT=group,label%d,1,10,70,#00,#FFFFFF,background,#000000,80,0,'Room %d; floor 2';\r\n"
            "\tKEY=k%d,1,F5,2,'GoToFrame(frame %d);Show(_this_,logo%d,0,group);';\r\n"
            "\tINCLUDE=hotspots;\r\n}\r\n",
            frame, frame, frame, frame, frame, frame, frame, frame, frame + 1, frame);
        tour += section;
    }
    return tour;
}

std::wstring Widen(const std::string& text)
{
    std::wstring wide;
    wide.reserve(text.size());
    for (unsigned char c : text)
        wide += static_cast<wchar_t>(c);
    return wide;
}

bool WriteFile(const std::string& path, const void* data, size_t size)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

// Reads the file; answers the seconds taken, or -1 when it cannot be opened.
double ReadFile(const std::string& path, long* statements)
{
    CObjeto frames, images, fonts;
    ReadingContext context;
    context.frames = &frames;
    context.images = &images;
    context.fonts = &fonts;
    CFicheroHttp stream;
    if (!stream.Open(path.c_str(), OpenRead | OpenNoPackage))
        return -1.0;
    ScriptInput input;
    input.stream = &stream;
    g_statements = 0;
    const double start = Seconds();
    ReadScript(context, CountingHandlers(), input);
    const double seconds = Seconds() - start;
    *statements = g_statements;
    return seconds;
}

}  // namespace

int main()
{
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    const size_t sizes[2] = {10u << 20, 40u << 20};
    double times[2] = {};
    std::printf("script reader, both passes, counting handlers\n");
    std::printf("peak working set before: %.1f MB\n", PeakWorkingSetMB());
    for (int i = 0; i < 2; i++) {
        const std::string tour = MakeTour(sizes[i]);
        const std::string path = std::string(folder) + "lumarix_bench_tour.kzr";
        if (!WriteFile(path, tour.data(), tour.size())) {
            std::printf("cannot write %s\n", path.c_str());
            return 1;
        }
        const double before = PeakWorkingSetMB();
        long statements = 0;
        times[i] = ReadFile(path, &statements);
        const double mb = static_cast<double>(tour.size()) / (1024.0 * 1024.0);
        std::printf("%5.1f MB tour: %7.3f s, %7.1f MB/s, %ld statements, peak working set %.1f MB "
                    "(%.1f MB before the read)\n",
                    mb, times[i], mb / times[i], statements, PeakWorkingSetMB(), before);
        DeleteFileA(path.c_str());

        if (i == 0) {
            const std::wstring wide = Widen(tour);
            std::string bytes = "\xFF\xFE";
            bytes.append(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
            const std::string widePath = std::string(folder) + "lumarix_bench_tour16.kzr";
            if (WriteFile(widePath, bytes.data(), bytes.size())) {
                const double seconds = ReadFile(widePath, &statements);
                std::printf("%5.1f MB tour as UTF-16LE (%.1f MB file): %7.3f s, %7.1f MB/s of "
                            "script, %ld statements\n",
                            mb, static_cast<double>(bytes.size()) / (1024.0 * 1024.0), seconds,
                            mb / seconds, statements);
                DeleteFileA(widePath.c_str());
            }
        }
    }
    std::printf("time ratio 40 MB / 10 MB: %.2f (4 is linear)\n", times[1] / times[0]);
    return 0;
}
