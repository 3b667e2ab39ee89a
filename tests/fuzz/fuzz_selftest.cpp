// The harness's own test: a fault anywhere in the fuzz program, in a target or in the mutator,
// must end in the harness's report with the input in hand saved, never in a fault of its own.
// Each case runs in a child process of this program, since a fatal fault ends the process:
//   fuzz.exe selftest FOLDER                      the table of cases below; exit code 0 when all hold
//   fuzz.exe selftest-child FAULT STAGE FOLDER    one case (FAULT abort|trap|assert, STAGE running|mutating)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_engine.h"
#include "tests/test_support.h"

namespace {

const char kSelfTestInput[] = "selftest input \x01\x02\xff";

Bytes SelfTestInput() {
    return Bytes(kSelfTestInput, kSelfTestInput + sizeof kSelfTestInput - 1);
}

void Abort() {
    std::abort();
}

void Trap() {
    __builtin_trap();
}

// With the library's assertions on (the checked build) an index past the end stops in the
// library, which ends in abort; without them it would be undefined, so no case uses it there.
void LibraryAssertion() {
    std::vector<uint8_t> one(1);
    volatile size_t past = one.size();
    one[past] = 0;
}

void (*g_fault)() = nullptr;

int SelfTestTarget(const uint8_t*, size_t) {
    g_fault();
    return 0;
}

struct SelfTestCase {
    const char* fault;
    const char* stage;
    int exitCode;
    const char* report;   // the report line: its start,
    const char* rest;     // and how it goes on; the saved file's name follows
};

const SelfTestCase kCases[] = {
    {"abort", "running", 2, "fuzz: abort in target selftest; input saved as ", ""},
    {"abort", "mutating", 2, "fuzz: abort in target selftest while mutating; ",
     "the input being mutated saved as "},
    // A trap in a target is the recovery point's: the runner reports it and the program goes on.
    {"trap", "running", 1, "fuzz: fault (code 0xC000001D at ", " in target selftest; input saved as "},
    {"trap", "mutating", 2, "fuzz: unhandled fault, code 0xC000001D at ",
     ", in target selftest while mutating; the input being mutated saved as "},
#if defined(_GLIBCXX_ASSERTIONS)
    {"assert", "running", 2, "fuzz: abort in target selftest; input saved as ", ""},
    {"assert", "mutating", 2, "fuzz: abort in target selftest while mutating; ",
     "the input being mutated saved as "},
#endif
};

// An empty folder for the saved inputs, so that no file of an earlier run passes for a new one.
void MakeEmptyFolder(const std::string& folder) {
    test_support::RemoveTree(folder + "\\");
    CreateDirectoryA(folder.c_str(), nullptr);
}

// Runs one case in a child with its error output in a file; answers what is wrong, or "".
std::string RunCase(const SelfTestCase& test, const std::string& folder) {
    char program[MAX_PATH];
    GetModuleFileNameA(nullptr, program, sizeof program);
    const std::string outputPath = folder + "\\report.txt";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE output = CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output == INVALID_HANDLE_VALUE)
        return "cannot write " + outputPath;
    std::string command = std::string("\"") + program + "\" selftest-child " + test.fault + " " +
                          test.stage + " \"" + folder + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION child = {};
    const BOOL started = CreateProcessA(program, &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &child);
    CloseHandle(output);
    if (!started)
        return "cannot start " + command;
    std::string problem;
    if (WaitForSingleObject(child.hProcess, 120000) != WAIT_OBJECT_0) {
        TerminateProcess(child.hProcess, 99);
        WaitForSingleObject(child.hProcess, INFINITE);
        problem = "the child did not end";
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(child.hProcess, &exitCode);
    CloseHandle(child.hProcess);
    CloseHandle(child.hThread);
    if (!problem.empty())
        return problem;

    const std::string report = TempFolder::ReadAll(outputPath);
    if (static_cast<int>(exitCode) != test.exitCode)
        problem = "exit code " + std::to_string(exitCode) + ", expected " +
                  std::to_string(test.exitCode);
    const size_t at = report.find(test.report);
    if (at == std::string::npos)
        return problem + (problem.empty() ? "" : "; ") + "no \"" + test.report + "\" in: " + report;
    // The saved file is named last on the report's line: the input in hand, byte for byte.
    const size_t end = report.find('\n', at);
    std::string line = report.substr(at, end == std::string::npos ? end : end - at);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.find(test.rest) == std::string::npos)
        return problem + (problem.empty() ? "" : "; ") + "no \"" + test.rest + "\" in: " + line;
    const size_t saved = line.rfind(" saved as ");
    if (saved != std::string::npos) {
        const std::string savedPath = line.substr(saved + std::strlen(" saved as "));
        const Bytes expected = SelfTestInput();
        if (TempFolder::ReadAll(savedPath) != std::string(expected.begin(), expected.end()))
            problem += (problem.empty() ? "" : "; ") + std::string("the saved input ") + savedPath +
                       " is not the input in hand";
    }
    return problem;
}

}  // namespace

int RunHarnessSelfTest(const char* folder) {
    MakeEmptyFolder(folder);
    int failed = 0;
    for (const SelfTestCase& test : kCases) {
        const std::string problem = RunCase(test, folder);
        std::printf("%s while %s: %s\n", test.fault, test.stage,
                    problem.empty() ? "reported, input saved" : problem.c_str());
        failed += !problem.empty();
        MakeEmptyFolder(folder);
    }
    std::fflush(stdout);
    return failed ? 1 : 0;
}

int RunHarnessSelfTestChild(const char* fault, const char* stage, const char* folder) {
    if (std::strcmp(fault, "abort") == 0)
        g_fault = &Abort;
    else if (std::strcmp(fault, "trap") == 0)
        g_fault = &Trap;
    else if (std::strcmp(fault, "assert") == 0)
        g_fault = &LibraryAssertion;
    else
        return 90;
    StartFuzzWatchdog();
    static const FuzzTarget kTarget = {"selftest", &SelfTestTarget, nullptr};
    FuzzRunner runner(kTarget, folder, 10000);
    const std::vector<Bytes> corpus = {SelfTestInput()};
    if (std::strcmp(stage, "running") == 0)
        return runner.Run(corpus[0], nullptr) == RunOutcome::Ok ? 0 : 1;
    if (std::strcmp(stage, "mutating") == 0) {
        Mutator mutator(1);
        mutator.SetFaultForTest(g_fault);
        mutator.Mutate(corpus, nullptr, 64);
        return 0;
    }
    return 90;
}
