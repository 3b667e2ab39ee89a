#include "core/worker_threads.h"

#include <windows.h>

CWorkerThread* StartWorkerThread(WorkerThreadProc procedure, void* parameter, WorkerThreadSlot* slot) {
    return CWorkerThread::Create(procedure, parameter, slot);
}

void ResumeWorkerThread(CWorkerThread* thread) {
    CWorkerThread::Resume(thread);
}

void SuspendWorkerThread(CWorkerThread* thread) {
    CWorkerThread::Suspend(thread);
}

bool IsWorkerThreadValid(CWorkerThread* thread) {
    return CWorkerThread::IsAlive(thread);
}

void SleepMilliseconds(int milliseconds) {
    Sleep(milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0);
}

bool WaitForWorkerThreadEnd(WorkerThreadSlot& slot, int timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs > 0 ? timeoutMs : 0);
    for (;;) {
        CWorkerThread* thread = slot.load();
        // A slot whose thread died without clearing it (never the case for ours) counts as clear.
        if (!thread || !CWorkerThread::IsAlive(thread))
            return true;
        if (GetTickCount64() >= deadline)
            break;
        Sleep(kWorkerPollMs);
    }
    CWorkerThread::DetachSlot(&slot);
    // The thread may have ended between the last look and the detach.
    return slot.load() == nullptr;
}
