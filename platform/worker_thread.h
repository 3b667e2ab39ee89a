// CWorkerThread: our thread object. A thread is created suspended so that its owner can store it
// before it runs; the owner resumes it. When the procedure returns, the thread clears the owner's
// slot (if it still holds this thread) and only then frees its object. The static calls accept
// a pointer to a thread that has already ended and freed itself: they look the object up among
// the live threads under a lock and never touch freed memory.
#pragma once

#include <atomic>

class CWorkerThread;

// Where an owner keeps its running thread; null while none runs.
using WorkerThreadSlot = std::atomic<CWorkerThread*>;

// The thread's procedure; its result is the thread's exit code.
typedef unsigned (*WorkerThreadProc)(void* parameter);

class CWorkerThread {
public:
    // Creates the thread suspended, normal priority, default stack. slot, when given, receives
    // the new object before this returns. Null on failure.
    static CWorkerThread* Create(WorkerThreadProc procedure, void* parameter,
                                 WorkerThreadSlot* slot);

    // False when the thread is null or no longer alive.
    static bool Resume(CWorkerThread* thread);
    static bool Suspend(CWorkerThread* thread);
    // True while the object exists and holds its thread handle.
    static bool IsAlive(CWorkerThread* thread);
    // Stops the thread whose owner slot is slot from clearing it when it ends, so an owner that
    // gave up waiting can go away safely. True when such a thread was found.
    static bool DetachSlot(WorkerThreadSlot* slot);
    // The thread's id (0 when it is no longer alive).
    static unsigned GetId(CWorkerThread* thread);

private:
    CWorkerThread(WorkerThreadProc procedure, void* parameter, WorkerThreadSlot* slot);
    ~CWorkerThread() = default;
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    static unsigned __stdcall Entry(void* self);
    void Finish();

    WorkerThreadProc m_procedure;
    void* m_parameter;
    WorkerThreadSlot* m_slot;   // guarded by the live-thread lock
    void* m_handle = nullptr;   // HANDLE
    unsigned m_id = 0;
};
