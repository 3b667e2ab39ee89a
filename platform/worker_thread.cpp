#include "platform/worker_thread.h"

#include <windows.h>
#include <process.h>

#include <algorithm>
#include <mutex>
#include <new>
#include <vector>

namespace {

// Threads whose objects still exist. Owners may hold a pointer to a thread that has ended and
// freed itself; every call checks membership here first, under the same lock that the ending
// thread takes to remove itself.
struct LiveThreads {
    std::mutex lock;
    std::vector<CWorkerThread*> threads;
};

LiveThreads& Live() {
    static LiveThreads live;
    return live;
}

bool IsLiveLocked(CWorkerThread* thread) {
    const std::vector<CWorkerThread*>& threads = Live().threads;
    return std::find(threads.begin(), threads.end(), thread) != threads.end();
}

}  // namespace

CWorkerThread::CWorkerThread(WorkerThreadProc procedure, void* parameter, WorkerThreadSlot* slot)
    : m_procedure(procedure), m_parameter(parameter), m_slot(slot) {}

CWorkerThread* CWorkerThread::Create(WorkerThreadProc procedure, void* parameter,
                                     WorkerThreadSlot* slot) {
    if (!procedure)
        return nullptr;
    CWorkerThread* thread = new (std::nothrow) CWorkerThread(procedure, parameter, slot);
    if (!thread)
        return nullptr;
    // Registered before the thread exists so that its own Finish always finds it.
    {
        std::lock_guard<std::mutex> hold(Live().lock);
        Live().threads.push_back(thread);
    }
    unsigned id = 0;
    uintptr_t handle = _beginthreadex(nullptr, 0, &CWorkerThread::Entry, thread, CREATE_SUSPENDED, &id);
    if (!handle) {
        std::lock_guard<std::mutex> hold(Live().lock);
        std::vector<CWorkerThread*>& threads = Live().threads;
        threads.erase(std::remove(threads.begin(), threads.end(), thread), threads.end());
        delete thread;
        return nullptr;
    }
    // The thread is suspended, so nothing reads these before they are set.
    thread->m_handle = reinterpret_cast<HANDLE>(handle);
    thread->m_id = id;
    if (slot)
        slot->store(thread);
    return thread;
}

unsigned __stdcall CWorkerThread::Entry(void* self) {
    CWorkerThread* thread = static_cast<CWorkerThread*>(self);
    unsigned result = thread->m_procedure(thread->m_parameter);
    thread->Finish();
    return result;
}

void CWorkerThread::Finish() {
    HANDLE handle;
    {
        std::lock_guard<std::mutex> hold(Live().lock);
        if (m_slot) {
            CWorkerThread* expected = this;
            m_slot->compare_exchange_strong(expected, nullptr);
        }
        std::vector<CWorkerThread*>& threads = Live().threads;
        threads.erase(std::remove(threads.begin(), threads.end(), this), threads.end());
        handle = static_cast<HANDLE>(m_handle);
    }
    // Closing our own handle is fine: the thread runs on until it returns.
    if (handle)
        CloseHandle(handle);
    delete this;
}

bool CWorkerThread::Resume(CWorkerThread* thread) {
    if (!thread)
        return false;
    std::lock_guard<std::mutex> hold(Live().lock);
    if (!IsLiveLocked(thread) || !thread->m_handle)
        return false;
    return ResumeThread(static_cast<HANDLE>(thread->m_handle)) != static_cast<DWORD>(-1);
}

bool CWorkerThread::Suspend(CWorkerThread* thread) {
    if (!thread)
        return false;
    std::lock_guard<std::mutex> hold(Live().lock);
    if (!IsLiveLocked(thread) || !thread->m_handle)
        return false;
    return SuspendThread(static_cast<HANDLE>(thread->m_handle)) != static_cast<DWORD>(-1);
}

bool CWorkerThread::IsAlive(CWorkerThread* thread) {
    if (!thread)
        return false;
    std::lock_guard<std::mutex> hold(Live().lock);
    return IsLiveLocked(thread) && thread->m_handle != nullptr;
}

unsigned CWorkerThread::GetId(CWorkerThread* thread) {
    if (!thread)
        return 0;
    std::lock_guard<std::mutex> hold(Live().lock);
    return IsLiveLocked(thread) ? thread->m_id : 0;
}

bool CWorkerThread::DetachSlot(WorkerThreadSlot* slot) {
    if (!slot)
        return false;
    bool found = false;
    std::lock_guard<std::mutex> hold(Live().lock);
    for (CWorkerThread* thread : Live().threads) {
        if (thread->m_slot == slot) {
            thread->m_slot = nullptr;
            found = true;
        }
    }
    return found;
}
