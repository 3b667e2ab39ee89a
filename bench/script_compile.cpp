// Speed of the command compiler and interpreter. Prints:
// - compile MB/s over generated command texts of every family, 8 MB and 32 MB in all, and the
//   ratio of their times (4 is linear);
// - compile MB/s of one 1 MB text of a few commands among blanks and empty statements;
// - records/s of RunCompiledCode over 100,000 immediate records (actions only count), beside
//   compiling and running the same commands as text each time (RunCommandText).
// Usage: bench_script_compile.exe
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/item_records.h"
#include "script/command_table.h"
#include "script/compiler.h"
#include "viewer/main_wnd.h"

namespace {

double Seconds() {
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// One statement of each family, arguments of typical length.
const char* const kStatements[] = {
    "OpenURL(http://example.org/tour/page.html,_blank)",
    "OpenFile(docs/readme.txt,open)",
    "GoToFrame(entrance hall)",
    "Show(_this_,door_left,1,doors)",
    "CameraValue(0,rotx,12.5,1,0)",
    "PlaySequence(1,walkthrough)",
    "Fade(_this_,logo,50,2.5,logos)",
    "NextFrame()",
    "CreateFrame(garden,PANORAMIC,images/garden.jpg,1.0,images/garden_small.jpg)",
    "Transition(hall,1,0.5,1,blend)",
    "StartDrag(_this_,slider,controls,1,0,0,-100,100)",
    "PlayerWindow(resizebottomright)",
    "CreateHotspotInfo(info,panel,1.5,2.0,1,title,\"First line\\nsecond line\",Arial,12)",
    "ObjectValue(_this_,counter,values,text,\"value\\t%d\",1,2.5,3.5,0)",
    "Create3DPlane(plane,img,grp,txt,1,2,3,4,5,6,7,8,1,left top,center)",
    "CreateFloorHotspots(floor,spots,1,2,3,1,3,1,1,1,7,2,2,2,8,3,3,3,9)",
    "SetProjection(stereographic,90)",
    "VolumeSound(music,0.75,left)",
    "CreateFileFinder(finder,pictures,*.jpg)",
    "ScaleWidth(_this_,bar,80,1.5,bars)",
    "ContextMenu(Home|GoToFrame(home)|-|About|OpenURL(about.html,_blank))",
    "Play(intro video)",
    "SystemShutdown(0,goodbye)",
    "SetCameraProperty(exposure,auto,1.5,2)",
    "EnableHardwareMonitor(COM1,9600,0.5)",
};

// Command texts of about textBytes each, totalling at least totalBytes.
std::vector<std::string> MakeTexts(size_t totalBytes, size_t textBytes) {
    std::vector<std::string> texts;
    size_t total = 0;
    size_t next = 0;
    const size_t statementCount = sizeof kStatements / sizeof kStatements[0];
    while (total < totalBytes) {
        std::string text;
        while (text.size() < textBytes) {
            text += kStatements[next++ % statementCount];
            text += ";\r\n";
        }
        total += text.size();
        texts.push_back(std::move(text));
    }
    return texts;
}

// Best of a few runs: seconds to compile every text; records written in *records.
double CompileAll(const std::vector<std::string>& texts, long long* records) {
    double best = 1e30;
    for (int run = 0; run < 3; run++) {
        long long bytes = 0;
        const double start = Seconds();
        for (const std::string& text : texts) {
            CompiledCode code;
            CompileCommandText(&code, text.c_str(), nullptr, nullptr);
            bytes += code.length;
        }
        const double elapsed = Seconds() - start;
        if (elapsed < best)
            best = elapsed;
        *records = bytes;
    }
    return best;
}

size_t TotalBytes(const std::vector<std::string>& texts) {
    size_t total = 0;
    for (const std::string& text : texts)
        total += text.size();
    return total;
}

long long g_actions = 0;

CommandResult CountAction(CMainWnd&, const CommandOperands&, float) {
    g_actions++;
    return CommandResult::Done;
}

}  // namespace

int main() {
    const double mb = 1024.0 * 1024.0;

    // Compile throughput at two sizes.
    double seconds[2] = {};
    for (int pass = 0; pass < 2; pass++) {
        const size_t total = (pass == 0 ? 8 : 32) * static_cast<size_t>(mb);
        const std::vector<std::string> texts = MakeTexts(total, 2000);
        long long codeBytes = 0;
        seconds[pass] = CompileAll(texts, &codeBytes);
        std::printf("compile %2d MB of text in %zu texts: %.3f s, %.1f MB/s (%.1f MB of code)\n",
                    pass == 0 ? 8 : 32, texts.size(), seconds[pass],
                    static_cast<double>(TotalBytes(texts)) / mb / seconds[pass],
                    static_cast<double>(codeBytes) / mb);
    }
    std::printf("time 32 MB / time 8 MB: %.2f (4 is linear)\n", seconds[1] / seconds[0]);

    // One long text of a few commands among blanks and empty statements.
    std::string sparse = "Show(_this_,door,1,grp);";
    while (sparse.size() < 1000000 - 64) {
        sparse += "    ;  \r\n\t ;;";
        if (sparse.size() % 100000 < 15)
            sparse += "GoToFrame(hall);";
    }
    sparse += "NextFrame()";
    {
        double best = 1e30;
        int length = 0;
        for (int run = 0; run < 3; run++) {
            CompiledCode code;
            const double start = Seconds();
            CompileCommandText(&code, sparse.c_str(), nullptr, nullptr);
            const double elapsed = Seconds() - start;
            if (elapsed < best)
                best = elapsed;
            length = code.length;
        }
        std::printf("compile 1 MB sparse text: %.4f s, %.1f MB/s (%d bytes of code)\n", best,
                    static_cast<double>(sparse.size()) / mb / best, length);
    }

    // Interpreter: 100,000 immediate records with counting actions.
    CMainWnd engine;
    CommandTable counting = BuiltInCommandTable();
    for (CommandRow& row : counting.rows) {
        if (row.action)
            row.action = CountAction;
    }
    engine.m_commandTable = &counting;
    const char* block = "Show(_this_,door,1,grp);CameraValue(0,rotx,5,0,0);ShowCursor(1);Beep(440,20)";
    CompiledCode blockCode;
    CompileCommandText(&blockCode, block, nullptr, nullptr);
    const int kRecords = 100000;
    const int blocks = kRecords / 4;
    std::vector<uint8_t> bytes;
    bytes.reserve(static_cast<size_t>(blockCode.length) * blocks);
    for (int i = 0; i < blocks; i++)
        bytes.insert(bytes.end(), blockCode.code, blockCode.code + blockCode.length);
    CompiledCode big;
    big.AssignCode(bytes.data(), static_cast<int32_t>(bytes.size()));
    double best = 1e30;
    for (int run = 0; run < 3; run++) {
        g_actions = 0;
        const double start = Seconds();
        engine.RunCompiledCode(&big, 0, 1.0f, false);
        const double elapsed = Seconds() - start;
        if (elapsed < best)
            best = elapsed;
    }
    std::printf("run %d immediate records: %.4f s, %.0f records/s (%lld actions)\n", kRecords, best,
                kRecords / best, g_actions);

    g_actions = 0;
    const int texts = 20000;
    const double start = Seconds();
    for (int i = 0; i < texts; i++)
        engine.RunCommandText(block, false);
    const double elapsed = Seconds() - start;
    std::printf("compile and run as text each time: %d records in %.4f s, %.0f records/s (%lld actions)\n",
                texts * 4, elapsed, texts * 4 / elapsed, g_actions);
    return 0;
}
