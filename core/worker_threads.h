// Starting and controlling worker threads: every thread of the program is started suspended
// with StartWorkerThread, stored by its owner and then resumed. Each worker polls a stop flag
// its owner sets; the owner then waits for the thread to clear its slot.
#pragma once

#include "platform/worker_thread.h"

// How often owners look at a thread's slot while waiting for it to end.
constexpr int kWorkerPollMs = 10;

// A new thread running procedure(parameter), suspended; null on failure. slot, when given,
// holds the thread at once and is cleared by the thread when the procedure has returned.
CWorkerThread* StartWorkerThread(WorkerThreadProc procedure, void* parameter,
                                 WorkerThreadSlot* slot = nullptr);
// A null or already ended thread is ignored.
void ResumeWorkerThread(CWorkerThread* thread);
void SuspendWorkerThread(CWorkerThread* thread);
// True while the thread object exists and has its handle.
bool IsWorkerThreadValid(CWorkerThread* thread);
void SleepMilliseconds(int milliseconds);

// Polls the slot every kWorkerPollMs until the thread has cleared it; true when it did within
// timeoutMs. On a time-out the thread is detached from the slot (it will no longer write to
// it), so the owner may be destroyed.
bool WaitForWorkerThreadEnd(WorkerThreadSlot& slot, int timeoutMs);
