// Recovery from memory faults in drawing code. Pixel memory may be released under a drawing
// routine; such work runs inside RunWithRecovery, and a hardware fault in it abandons the rest
// of that work and returns to the caller. Each thread has its own recovery point: a fault on a
// thread with none armed takes its normal course, and a fault never resumes on another thread's
// stack.
#pragma once

#include <windows.h>

#include <utility>

typedef void (*RecoverableWork)(void* context);

// Runs work(context) with a recovery point armed on this thread. True when the work finished,
// false when a fault cut it short. Nests: an inner fault returns to the innermost call. Work
// that is cut short leaves its own state as it was at the fault (no destructors run), so it
// should only touch plain memory.
bool RunWithRecovery(RecoverableWork work, void* context);

template <typename Work>
bool RunWithRecovery(Work&& work) {
    return RunWithRecovery(
        [](void* context) { (*static_cast<std::remove_reference_t<Work>*>(context))(); },
        static_cast<void*>(&work));
}

// True while the calling thread has a recovery point armed.
bool IsRecoveryArmed();

// The process's filter for hardware faults: with a recovery point armed on the faulting thread
// it resumes there (EXCEPTION_CONTINUE_EXECUTION); otherwise, and for every exception that is
// not a hardware fault, EXCEPTION_CONTINUE_SEARCH.
LONG WINAPI RecoveryExceptionFilter(EXCEPTION_POINTERS* info);

// Installs the filter as the first vectored handler and as the unhandled-exception filter.
// Idempotent; RunWithRecovery calls it itself.
void InstallRecoveryHandlers();
