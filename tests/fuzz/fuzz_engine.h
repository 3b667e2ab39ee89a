// A small coverage-guided fuzzing engine for the program's readers: an edge map filled by the
// compiler's trace-pc callbacks, a seeded mutator, and a runner that executes each input under
// the fault-recovery point while a watchdog looks for hangs and fatal faults.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_target.h"

constexpr size_t kCoverageMapSize = size_t{1} << 16;
extern uint8_t g_coverageMap[kCoverageMapSize];
// Forgets the previous edge of the calling thread, so each input's edges start alike.
void ResetCoverageTrail();

using Bytes = std::vector<uint8_t>;

// Deterministic for a given seed: the same seed and corpus give the same inputs.
class Mutator {
public:
    explicit Mutator(uint64_t seed) : m_state(seed) {}
    // A mutation of one corpus entry, at most maxSize bytes; may splice with another entry and
    // use the target's dictionary.
    Bytes Mutate(const std::vector<Bytes>& corpus, const char* const* dictionary, size_t maxSize);
    uint64_t Next();
    size_t Below(size_t n) { return n ? static_cast<size_t>(Next() % n) : 0; }
    // For the harness's own test: fault() is called in the middle of every mutation, where a
    // fault of the mutator itself would be.
    void SetFaultForTest(void (*fault)()) { m_faultForTest = fault; }

private:
    void MutateOnce(Bytes& data, const std::vector<Bytes>& corpus, const char* const* dictionary,
                    size_t maxSize);
    uint64_t m_state;
    void (*m_faultForTest)() = nullptr;
};

enum class RunOutcome { Ok, Crash };

struct FuzzStats {
    uint64_t inputs = 0;
    size_t edges = 0;
    size_t corpus = 0;
    int crashes = 0;
    int hangs = 0;   // a hang ends the process from the watchdog; counted by the caller
    double seconds = 0.0;
};

class FuzzRunner {
public:
    // crashFolder receives inputs that fault or hang; hangLimitMs bounds one input.
    FuzzRunner(const FuzzTarget& target, std::string crashFolder, int hangLimitMs);
    // Runs one input; newCoverage tells whether it reached an edge (or hit-count class) that no
    // earlier input of this runner reached.
    RunOutcome Run(const Bytes& input, bool* newCoverage);
    size_t EdgesSeen() const;
    const FuzzTarget& Target() const { return m_target; }

private:
    const FuzzTarget& m_target;
    std::string m_crashFolder;
    std::vector<uint8_t> m_seen;   // hit-count classes seen per edge
};

// Starts the watchdog thread and the fatal-fault hooks once per process. A fatal fault (stack
// overflow, abort, a library assertion, a hardware fault outside a target) or an input running
// longer than its limit saves the input in hand (the running input, or the corpus entry being
// mutated), prints its file name and ends the process with exit code 2 (fault) or 3 (hang).
void StartFuzzWatchdog();

// A stable hash of a text (target names seed their mutators with it).
uint64_t Hash64(const char* text);

// Saves data as crashFolder/<target>-<hash>.bin; answers the file name.
std::string SaveFuzzInput(const std::string& folder, const char* target, const Bytes& data);

// The harness's own test, in child processes: see fuzz_selftest.cpp. Exit code 0 when every
// fault was reported with the input in hand saved.
int RunHarnessSelfTest(const char* folder);
int RunHarnessSelfTestChild(const char* fault, const char* stage, const char* folder);
