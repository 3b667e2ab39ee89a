#pragma once
// What the command interpreter keeps beside the engine's own members.
#include <cstdint>

// The interpreter's probe mode (0 normal, 1 probe: nothing acts and the target of the first
// frame change is answered, other values: nothing acts). It is set around one run and is seen
// only by the thread that set it, so that a list another thread runs meanwhile acts normally.
class ProbeMode {
public:
    ProbeMode() = default;
    ProbeMode(const ProbeMode&) = delete;
    ProbeMode& operator=(const ProbeMode&) = delete;

    // Sets the mode for the calling thread (0 ends it).
    ProbeMode& operator=(int32_t mode);
    // The calling thread's mode; 0 when it set none.
    operator int32_t() const;
};
