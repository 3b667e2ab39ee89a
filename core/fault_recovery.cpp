#include "core/fault_recovery.h"

#include <atomic>
#include <mutex>

namespace {

// One armed region. The captured context resumes inside RunWithRecovery, whose frame is alive
// for the whole region.
struct RecoveryPoint {
    CONTEXT context;
    volatile LONG faulted;
    RecoveryPoint* outer;
#if defined(__i386__)
    // 32-bit exception handlers are chained through the stack; frames registered by the
    // abandoned work are dead once we are back, so the chain is put back as it was.
    void* handlerChain;
#endif
};

// The point armed on each thread, in a TLS slot: TlsGetValue allocates nothing, which matters
// inside an exception handler that may run while the heap lock is held.
DWORD TlsIndex() {
    static const DWORD index = TlsAlloc();
    return index;
}

const DWORD g_tlsIndexAtLoad = TlsIndex();

RecoveryPoint* CurrentPoint() {
    DWORD index = TlsIndex();
    return index == TLS_OUT_OF_INDEXES ? nullptr : static_cast<RecoveryPoint*>(TlsGetValue(index));
}

void SetCurrentPoint(RecoveryPoint* point) {
    DWORD index = TlsIndex();
    if (index != TLS_OUT_OF_INDEXES)
        TlsSetValue(index, point);
}

#if defined(__i386__)
// Head of the thread's chain of 32-bit exception handler frames (fs:[0]).
void* HandlerChain() {
    void* head;
    __asm__ volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
}

void SetHandlerChain(void* head) {
    __asm__ volatile("movl %0, %%fs:0" : : "r"(head) : "memory");
}
#endif

bool IsHardwareFault(DWORD code) {
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
        return true;
    default:
        // Debug output, breakpoints, stack overflow and software exceptions are not ours.
        return false;
    }
}

std::once_flag g_installOnce;

}  // namespace

LONG WINAPI RecoveryExceptionFilter(EXCEPTION_POINTERS* info) {
    if (!info || !info->ExceptionRecord || !info->ContextRecord)
        return EXCEPTION_CONTINUE_SEARCH;
    if (!IsHardwareFault(info->ExceptionRecord->ExceptionCode))
        return EXCEPTION_CONTINUE_SEARCH;
    RecoveryPoint* point = CurrentPoint();
    if (!point)
        return EXCEPTION_CONTINUE_SEARCH;
    point->faulted = 1;
    SetCurrentPoint(point->outer);
    // Resume where the point was captured, with that moment's registers and stack.
    *info->ContextRecord = point->context;
    return EXCEPTION_CONTINUE_EXECUTION;
}

void InstallRecoveryHandlers() {
    std::call_once(g_installOnce, [] {
        AddVectoredExceptionHandler(1, RecoveryExceptionFilter);
        SetUnhandledExceptionFilter(RecoveryExceptionFilter);
    });
}

bool IsRecoveryArmed() {
    return CurrentPoint() != nullptr;
}

// Not inlined: the captured context must belong to this frame, which stays alive while the work
// runs and is where a fault comes back to.
__attribute__((noinline)) bool RunWithRecovery(RecoverableWork work, void* context) {
    if (!work)
        return false;
    InstallRecoveryHandlers();
    RecoveryPoint point;
    point.faulted = 0;
    point.outer = CurrentPoint();
#if defined(__i386__)
    point.handlerChain = HandlerChain();
#endif
    RtlCaptureContext(&point.context);
    // Reached twice: once now, and once more when the filter resumes here after a fault.
    if (point.faulted) {
#if defined(__i386__)
        SetHandlerChain(point.handlerChain);
#endif
        return false;
    }
    SetCurrentPoint(&point);
    work(context);
    SetCurrentPoint(point.outer);
    return true;
}
