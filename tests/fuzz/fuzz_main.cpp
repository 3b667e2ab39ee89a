// The fuzz program: replays a target's corpus and regression inputs, then runs new inputs
// mutated from them, keeping those that reach new edges.
//   fuzz.exe list
//   fuzz.exe run TARGET|all [--corpus DIR]... [--inputs N] [--seconds S] [--seed X]
//                [--crashes DIR] [--save DIR] [--hang-ms M] [--max-size BYTES]
// New inputs stop at N or after S seconds, whichever comes first when both are given.
// A corpus folder named after the target is used for each target when "all" is run:
// --corpus-root DIR then stands for DIR\<target>. Exit code 0 when no input faulted.
//   fuzz.exe selftest FOLDER
// checks that faults in a target and in the mutator end in the harness's report.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_engine.h"

namespace {

std::vector<FuzzTarget>& Targets() {
    static std::vector<FuzzTarget> targets;
    return targets;
}

struct Options {
    std::vector<std::string> corpusFolders;
    std::vector<std::string> corpusRoots;
    uint64_t inputs = 0;
    double seconds = 0.0;
    uint64_t seed = 1;
    std::string crashes = "fuzz-crashes";
    std::string save;
    int hangMs = 10000;
    size_t maxSize = 65536;
};

std::vector<Bytes> ReadFolder(const std::string& folder) {
    std::vector<std::pair<std::string, Bytes>> found;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return {};
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        const std::string path = folder + "\\" + entry.cFileName;
        FILE* file = std::fopen(path.c_str(), "rb");
        if (!file)
            continue;
        Bytes data;
        uint8_t chunk[4096];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
            data.insert(data.end(), chunk, chunk + n);
        std::fclose(file);
        found.emplace_back(entry.cFileName, std::move(data));
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    // Sorted by name, so that a run does not depend on the order the folder lists its files.
    std::sort(found.begin(), found.end());
    std::vector<Bytes> inputs;
    for (auto& item : found)
        inputs.push_back(std::move(item.second));
    return inputs;
}

double Now() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Replays every seed, then mutates until the input count or the time is spent.
bool RunTarget(const FuzzTarget& target, const Options& options) {
    FuzzRunner runner(target, options.crashes, options.hangMs);
    std::vector<Bytes> corpus;
    std::vector<std::string> folders = options.corpusFolders;
    for (const std::string& root : options.corpusRoots)
        folders.push_back(root + "\\" + target.name);
    FuzzStats stats;
    const double start = Now();
    for (const std::string& folder : folders) {
        for (Bytes& seed : ReadFolder(folder)) {
            bool fresh = false;
            ++stats.inputs;
            if (runner.Run(seed, &fresh) != RunOutcome::Ok)
                return false;
            corpus.push_back(std::move(seed));
        }
    }
    if (corpus.empty())
        corpus.push_back(Bytes());
    Mutator mutator(options.seed ^ Hash64(target.name));
    uint64_t made = 0;
    // Whichever bound is given ends the run; with both, the first one reached.
    const bool bounded = options.inputs > 0 || options.seconds > 0.0;
    while (bounded && (options.inputs == 0 || made < options.inputs) &&
           (options.seconds <= 0.0 || Now() - start < options.seconds)) {
        Bytes input = mutator.Mutate(corpus, target.dictionary, options.maxSize);
        bool fresh = false;
        ++made;
        ++stats.inputs;
        if (runner.Run(input, &fresh) != RunOutcome::Ok) {
            stats.crashes = 1;
            break;
        }
        if (fresh) {
            if (!options.save.empty())
                SaveFuzzInput(options.save + "\\" + target.name, target.name, input);
            corpus.push_back(std::move(input));
        }
    }
    stats.seconds = Now() - start;
    stats.edges = runner.EdgesSeen();
    stats.corpus = corpus.size();
    std::printf("target %s: %llu inputs, %.0f inputs/s, %zu edges, corpus %zu, %d crashes, "
                "%d hangs\n",
                target.name, static_cast<unsigned long long>(stats.inputs),
                stats.seconds > 0 ? static_cast<double>(stats.inputs) / stats.seconds : 0.0,
                stats.edges, stats.corpus, stats.crashes, stats.hangs);
    std::fflush(stdout);
    return stats.crashes == 0;
}

}  // namespace

uint64_t Hash64(const char* text) {
    uint64_t h = 1469598103934665603ULL;
    for (; *text; ++text)
        h = (h ^ static_cast<uint8_t>(*text)) * 1099511628211ULL;
    return h;
}

void RegisterFuzzTarget(const FuzzTarget& target) {
    Targets().push_back(target);
}

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    if (std::strcmp(argv[1], "list") == 0) {
        for (const FuzzTarget& target : Targets())
            std::printf("%s\n", target.name);
        return 0;
    }
    if (std::strcmp(argv[1], "selftest") == 0 && argc == 3)
        return RunHarnessSelfTest(argv[2]);
    if (std::strcmp(argv[1], "selftest-child") == 0 && argc == 5)
        return RunHarnessSelfTestChild(argv[2], argv[3], argv[4]);
    if (std::strcmp(argv[1], "run") != 0 || argc < 3)
        return 2;
    const std::string which = argv[2];
    Options options;
    for (int i = 3; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const char* value = argv[i + 1];
        if (key == "--corpus")
            options.corpusFolders.push_back(value);
        else if (key == "--corpus-root")
            options.corpusRoots.push_back(value);
        else if (key == "--inputs")
            options.inputs = std::strtoull(value, nullptr, 10);
        else if (key == "--seconds")
            options.seconds = std::atof(value);
        else if (key == "--seed")
            options.seed = std::strtoull(value, nullptr, 10);
        else if (key == "--crashes")
            options.crashes = value;
        else if (key == "--save")
            options.save = value;
        else if (key == "--hang-ms")
            options.hangMs = std::atoi(value);
        else if (key == "--max-size")
            options.maxSize = std::strtoull(value, nullptr, 10);
        else
            return 2;
    }
    StartFuzzWatchdog();
    bool ok = true;
    bool found = false;
    for (const FuzzTarget& target : Targets()) {
        if (which != "all" && which != target.name)
            continue;
        found = true;
        ok = RunTarget(target, options) && ok;
    }
    if (!found) {
        std::fprintf(stderr, "fuzz: no target %s\n", which.c_str());
        return 2;
    }
    return ok ? 0 : 1;
}
