#include "fuzz_engine.h"

#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "core/fault_recovery.h"

namespace {

// What the watchdog needs to report the input in hand when the process must end. The bytes are
// the running input, or the corpus entry being mutated; null when there is none, never a block
// that may already be freed (reading one would fault on the watchdog thread, with no report).
struct CurrentInput {
    std::atomic<const uint8_t*> data{nullptr};
    std::atomic<size_t> size{0};
    std::atomic<const char*> stage{nullptr};   // "running", "mutating"; null when idle
    std::atomic<const char*> target{nullptr};
    std::atomic<ULONGLONG> startedAt{0};   // GetTickCount64 when the input started; 0 when idle
    std::atomic<int> limitMs{0};
    std::string folder;
};

CurrentInput g_current;
HANDLE g_fatalEvent = nullptr;
// What ended the process, for the report: set once by the first fatal path, with whether the
// last hardware fault belongs to it.
std::atomic<const char*> g_fatalWhat{nullptr};
std::atomic<bool> g_fatalIsFault{false};
LPTOP_LEVEL_EXCEPTION_FILTER g_previousUnhandledFilter = nullptr;

// Makes an input the one a report would save while it is in hand.
class CurrentInputScope {
public:
    CurrentInputScope(const char* stage, const Bytes& input) {
        g_current.size = input.size();
        g_current.data = input.data();
        g_current.stage = stage;
    }
    ~CurrentInputScope() {
        g_current.stage = nullptr;
        g_current.data = nullptr;
        g_current.size = 0;
    }
    CurrentInputScope(const CurrentInputScope&) = delete;
    CurrentInputScope& operator=(const CurrentInputScope&) = delete;
};

// Wakes the watchdog to report and end the process; the calling thread waits for that.
[[noreturn]] void RaiseFatal(const char* what, bool isFault) {
    const char* none = nullptr;
    if (g_fatalWhat.compare_exchange_strong(none, what))
        g_fatalIsFault = isFault;
    SetEvent(g_fatalEvent);
    for (;;)
        Sleep(INFINITE);
}

// The last hardware fault seen on any thread, for the report of an input that faulted.
std::atomic<DWORD> g_lastFaultCode{0};
std::atomic<void*> g_lastFaultAddress{nullptr};

LONG WINAPI RecordFault(EXCEPTION_POINTERS* info) {
    g_lastFaultCode = info->ExceptionRecord->ExceptionCode;
    g_lastFaultAddress = info->ExceptionRecord->ExceptionAddress;
    return EXCEPTION_CONTINUE_SEARCH;
}

// "code 0xC0000005 at module+0x1234" for the last fault.
std::string DescribeLastFault() {
    char text[MAX_PATH + 64];
    void* address = g_lastFaultAddress.load();
    HMODULE module = nullptr;
    char moduleName[MAX_PATH] = "?";
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCSTR>(address), &module))
        GetModuleFileNameA(module, moduleName, sizeof moduleName);
    std::snprintf(text, sizeof text, "code 0x%08lX at %s+0x%llX",
                  static_cast<unsigned long>(g_lastFaultCode.load()), moduleName,
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(address) -
                                                  reinterpret_cast<uintptr_t>(module)));
    return text;
}

// Hit counts fold into classes, so an input counts as new only for a new order of magnitude.
uint8_t CountClass(uint8_t count) {
    if (count == 0)
        return 0;
    if (count <= 3)
        return static_cast<uint8_t>(1u << (count - 1));
    if (count <= 7)
        return 8;
    if (count <= 15)
        return 16;
    if (count <= 31)
        return 32;
    if (count <= 127)
        return 64;
    return 128;
}

uint64_t Hash(const uint8_t* data, size_t size) {
    uint64_t h = 1469598103934665603ULL;
    for (size_t i = 0; i < size; ++i)
        h = (h ^ data[i]) * 1099511628211ULL;
    return h;
}

// Reports the input in hand and ends the process; runs on the watchdog thread.
[[noreturn]] void ReportAndExit(const char* what, int exitCode) {
    const char* target = g_current.target.load();
    const char* stage = g_current.stage.load();
    const uint8_t* data = g_current.data.load();
    const size_t size = g_current.size.load();
    std::string name = "(no input in hand)";
    if (target && stage && data)
        name = SaveFuzzInput(g_current.folder, target, Bytes(data, data + size));
    if (stage && std::strcmp(stage, "mutating") == 0)
        std::fprintf(stderr, "fuzz: %s in target %s while mutating; the input being mutated saved as %s\n",
                     what, target ? target : "?", name.c_str());
    else
        std::fprintf(stderr, "fuzz: %s in target %s; input saved as %s\n", what,
                     target ? target : "?", name.c_str());
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(exitCode));
    for (;;)
        Sleep(INFINITE);
}

DWORD WINAPI WatchdogThread(void*) {
    for (;;) {
        if (WaitForSingleObject(g_fatalEvent, 100) == WAIT_OBJECT_0) {
            std::string what = g_fatalWhat.load() ? g_fatalWhat.load() : "fatal fault";
            if (g_fatalIsFault)
                what += ", " + DescribeLastFault() + ",";
            ReportAndExit(what.c_str(), 2);
        }
        const ULONGLONG started = g_current.startedAt.load();
        const int limit = g_current.limitMs.load();
        if (started && limit > 0 && GetTickCount64() - started > static_cast<ULONGLONG>(limit))
            ReportAndExit("hang", 3);
    }
}

// Runs on the faulting thread, possibly with almost no stack left: it only wakes the watchdog.
LONG WINAPI FatalFaultHandler(EXCEPTION_POINTERS* info) {
    const DWORD code = info->ExceptionRecord->ExceptionCode;
    if (code == EXCEPTION_STACK_OVERFLOW || code == STATUS_STACK_BUFFER_OVERRUN ||
        code == STATUS_HEAP_CORRUPTION)
        RaiseFatal("fatal fault", true);
    return EXCEPTION_CONTINUE_SEARCH;
}

// A hardware fault that no recovery point took: outside a target (in the mutator, say) or on a
// thread of a target's own. The recovery filter this replaces is asked first.
LONG WINAPI UnhandledFault(EXCEPTION_POINTERS* info) {
    if (g_previousUnhandledFilter) {
        const LONG answer = g_previousUnhandledFilter(info);
        if (answer == EXCEPTION_CONTINUE_EXECUTION)
            return answer;
    }
    RaiseFatal("unhandled fault", true);
}

// Library assertions (the checked build's) end in abort.
void OnAbort(int) {
    RaiseFatal("abort", false);
}

}  // namespace

uint64_t Mutator::Next() {
    // splitmix64
    uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

void Mutator::MutateOnce(Bytes& data, const std::vector<Bytes>& corpus,
                         const char* const* dictionary, size_t maxSize) {
    static const uint32_t kInteresting32[] = {0u, 1u, 0x7Fu, 0x80u, 0xFFu, 0xFFFFu, 0x7FFFFFFFu,
                                              0x80000000u, 0xFFFFFFFFu, 0x10000u, 256u};
    const size_t n = data.size();
    switch (Below(11)) {
    case 0:   // bit flip
        if (n)
            data[Below(n)] ^= static_cast<uint8_t>(1u << Below(8));
        break;
    case 1: {  // boundary byte
        static const uint8_t kBytes[] = {0, 1, 0x7F, 0x80, 0xFF};
        if (n)
            data[Below(n)] = kBytes[Below(sizeof kBytes)];
        break;
    }
    case 2:   // boundary word, either byte order
        if (n >= 2) {
            uint16_t v = static_cast<uint16_t>(kInteresting32[Below(6)]);
            if (Below(2))
                v = static_cast<uint16_t>((v >> 8) | (v << 8));
            std::memcpy(&data[Below(n - 1)], &v, 2);
        }
        break;
    case 3:   // boundary double word, either byte order
        if (n >= 4) {
            uint32_t v = kInteresting32[Below(sizeof kInteresting32 / sizeof kInteresting32[0])];
            if (Below(2))
                v = __builtin_bswap32(v);
            std::memcpy(&data[Below(n - 3)], &v, 4);
        }
        break;
    case 4:   // random byte
        if (n)
            data[Below(n)] = static_cast<uint8_t>(Next());
        break;
    case 5:   // small arithmetic
        if (n)
            data[Below(n)] += static_cast<uint8_t>(Below(35)) - 17;
        break;
    case 6:   // delete a block
        if (n > 1) {
            size_t at = Below(n);
            size_t len = 1 + Below(n - at < 64 ? n - at : 64);
            data.erase(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + len));
        }
        break;
    case 7: {  // insert random bytes
        size_t len = 1 + Below(16);
        size_t at = Below(n + 1);
        Bytes block(len);
        for (uint8_t& b : block)
            b = static_cast<uint8_t>(Next());
        data.insert(data.begin() + static_cast<long>(at), block.begin(), block.end());
        break;
    }
    case 8:   // duplicate a block
        if (n) {
            size_t from = Below(n);
            size_t len = 1 + Below(n - from < 128 ? n - from : 128);
            Bytes block(data.begin() + static_cast<long>(from),
                        data.begin() + static_cast<long>(from + len));
            data.insert(data.begin() + static_cast<long>(Below(n + 1)), block.begin(), block.end());
        }
        break;
    case 9:   // splice with another corpus entry
        if (!corpus.empty()) {
            const Bytes& other = corpus[Below(corpus.size())];
            if (!other.empty()) {
                size_t cut = Below(n + 1);
                size_t from = Below(other.size());
                data.resize(cut);
                data.insert(data.end(), other.begin() + static_cast<long>(from), other.end());
            }
        }
        break;
    default:  // dictionary token, inserted or written over
        if (dictionary && dictionary[0]) {
            size_t count = 0;
            while (dictionary[count])
                ++count;
            const char* token = dictionary[Below(count)];
            const size_t len = std::strlen(token);
            size_t at = Below(n + 1);
            if (Below(2) || at + len > n)
                data.insert(data.begin() + static_cast<long>(at), token, token + len);
            else  // at may be the end when the token is empty
                std::memcpy(data.data() + at, token, len);
        }
        break;
    }
    if (data.size() > maxSize)
        data.resize(maxSize);
}

Bytes Mutator::Mutate(const std::vector<Bytes>& corpus, const char* const* dictionary,
                      size_t maxSize) {
    static const Bytes kEmpty;
    const Bytes& parent = corpus.empty() ? kEmpty : corpus[Below(corpus.size())];
    CurrentInputScope inHand("mutating", parent);
    if (m_faultForTest)
        m_faultForTest();
    Bytes data = parent;
    const size_t steps = 1 + Below(4);
    for (size_t i = 0; i < steps; ++i)
        MutateOnce(data, corpus, dictionary, maxSize);
    return data;
}

FuzzRunner::FuzzRunner(const FuzzTarget& target, std::string crashFolder, int hangLimitMs)
    : m_target(target), m_crashFolder(std::move(crashFolder)), m_seen(kCoverageMapSize, 0) {
    g_current.folder = m_crashFolder;
    g_current.limitMs = hangLimitMs;
    g_current.target = m_target.name;
}

RunOutcome FuzzRunner::Run(const Bytes& input, bool* newCoverage) {
    std::memset(g_coverageMap, 0, sizeof g_coverageMap);
    ResetCoverageTrail();
    bool finished;
    {
        CurrentInputScope inHand("running", input);
        g_current.startedAt = GetTickCount64();
        const FuzzTarget* target = &m_target;
        const Bytes* bytes = &input;
        finished = RunWithRecovery([target, bytes] { target->run(bytes->data(), bytes->size()); });
        g_current.startedAt = 0;
    }
    if (!finished) {
        const std::string name = SaveFuzzInput(m_crashFolder, m_target.name, input);
        std::fprintf(stderr, "fuzz: fault (%s) in target %s; input saved as %s\n",
                     DescribeLastFault().c_str(), m_target.name, name.c_str());
        return RunOutcome::Crash;
    }
    bool fresh = false;
    // Most of the map stays zero: whole words of it are skipped at once.
    for (size_t word = 0; word < kCoverageMapSize; word += sizeof(uint64_t)) {
        uint64_t counts;
        std::memcpy(&counts, g_coverageMap + word, sizeof counts);
        if (counts == 0)
            continue;
        for (size_t i = word; i < word + sizeof(uint64_t); ++i) {
            const uint8_t cls = CountClass(g_coverageMap[i]);
            if (cls & ~m_seen[i]) {
                m_seen[i] |= cls;
                fresh = true;
            }
        }
    }
    if (newCoverage)
        *newCoverage = fresh;
    return RunOutcome::Ok;
}

size_t FuzzRunner::EdgesSeen() const {
    size_t edges = 0;
    for (uint8_t s : m_seen)
        edges += s != 0;
    return edges;
}

void StartFuzzWatchdog() {
    static bool started = false;
    if (started)
        return;
    started = true;
    g_fatalEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    AddVectoredExceptionHandler(1, &FatalFaultHandler);
    std::signal(SIGABRT, &OnAbort);
    // Installed after the recovery handlers, so it sees each fault first.
    InstallRecoveryHandlers();
    g_previousUnhandledFilter = SetUnhandledExceptionFilter(&UnhandledFault);
    AddVectoredExceptionHandler(1, &RecordFault);
    CloseHandle(CreateThread(nullptr, 0, &WatchdogThread, nullptr, 0, nullptr));
}

std::string SaveFuzzInput(const std::string& folder, const char* target, const Bytes& data) {
    CreateDirectoryA(folder.c_str(), nullptr);
    char name[64];
    std::snprintf(name, sizeof name, "%s-%016llx.bin", target,
                  static_cast<unsigned long long>(Hash(data.data(), data.size())));
    const std::string path = folder + "\\" + name;
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
        if (!data.empty())
            std::fwrite(data.data(), 1, data.size(), file);
        std::fclose(file);
    }
    return path;
}
