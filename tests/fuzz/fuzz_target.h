// The shape every fuzz target has: one function that hands the bytes to a reader's real entry
// point (through an in-memory stream where the reader reads streams), so the same targets could
// be linked to another fuzzing engine. Each target registers itself with its name and a
// dictionary of the format's keywords and magic values.
#pragma once

#include <cstddef>
#include <cstdint>

using FuzzFunction = int (*)(const uint8_t* data, size_t size);

struct FuzzTarget {
    const char* name;
    FuzzFunction run;
    const char* const* dictionary;   // null-terminated list of tokens, or null
};

// True when the bytes hold a JPEG frame header declaring more pixels than a fuzzing input should
// make an image of. Such pictures are valid input; their image only costs time (clearing hundreds
// of megabytes per input), which the watchdog would take for a hang. Targets whose input may
// hold a JPEG stream skip those inputs.
bool DeclaresLargePicture(const uint8_t* data, size_t size);

// Adds a target to the program's list (called by LUMARIX_FUZZ_TARGET at static construction).
void RegisterFuzzTarget(const FuzzTarget& target);

// Defines int FuzzOne_<name>(data, size) and registers it.
#define LUMARIX_FUZZ_TARGET(name, dictionary)                                         \
    static int FuzzOne_##name(const uint8_t* data, size_t size);                      \
    namespace {                                                                       \
    struct FuzzRegistrar_##name {                                                     \
        FuzzRegistrar_##name() { RegisterFuzzTarget({#name, &FuzzOne_##name, dictionary}); } \
    } g_fuzzRegistrar_##name;                                                         \
    }                                                                                 \
    static int FuzzOne_##name(const uint8_t* data, size_t size)
