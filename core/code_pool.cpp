#include "core/code_pool.h"

#include <windows.h>

#include <atomic>
#include <cstdint>

namespace {

alignas(kCodeSlotSize) uint8_t g_pool[kCodeSlotCount * kCodeSlotSize];
std::atomic<uint8_t> g_busy[kCodeSlotCount];

// Guards creation and teardown of the state below; an SRW lock needs no creation of its own.
SRWLOCK g_stateLock = SRWLOCK_INIT;
int g_references = 0;
std::atomic<bool> g_locksReady{false};
std::atomic<bool> g_executable{false};
CRITICAL_SECTION g_poolLock;
CRITICAL_SECTION g_imageLock;

// Call with g_stateLock held.
void PrepareLocked(bool makeExecutable)
{
    if (!g_locksReady.load(std::memory_order_relaxed)) {
        InitializeCriticalSection(&g_poolLock);
        InitializeCriticalSection(&g_imageLock);
        g_locksReady.store(true, std::memory_order_release);
    }
    if (makeExecutable && !g_executable.load(std::memory_order_relaxed)) {
        DWORD previous = 0;
        if (VirtualProtect(g_pool, sizeof g_pool, PAGE_EXECUTE_READWRITE, &previous))
            g_executable.store(true, std::memory_order_release);
    }
}

void Prepare(bool makeExecutable)
{
    if (g_locksReady.load(std::memory_order_acquire) &&
        (!makeExecutable || g_executable.load(std::memory_order_acquire)))
        return;
    AcquireSRWLockExclusive(&g_stateLock);
    PrepareLocked(makeExecutable);
    ReleaseSRWLockExclusive(&g_stateLock);
}

}  // namespace

bool AcquireCodePool()
{
    AcquireSRWLockExclusive(&g_stateLock);
    g_references++;
    PrepareLocked(true);
    bool executable = g_executable.load(std::memory_order_relaxed);
    ReleaseSRWLockExclusive(&g_stateLock);
    return executable;
}

void ReleaseCodePool()
{
    AcquireSRWLockExclusive(&g_stateLock);
    if (g_references > 0 && --g_references == 0) {
        if (g_locksReady.load(std::memory_order_relaxed)) {
            DeleteCriticalSection(&g_poolLock);
            DeleteCriticalSection(&g_imageLock);
            g_locksReady.store(false, std::memory_order_release);
        }
        if (g_executable.load(std::memory_order_relaxed)) {
            DWORD previous = 0;
            VirtualProtect(g_pool, sizeof g_pool, PAGE_READWRITE, &previous);
            g_executable.store(false, std::memory_order_release);
        }
    }
    ReleaseSRWLockExclusive(&g_stateLock);
}

bool IsCodePoolExecutable()
{
    return g_executable.load(std::memory_order_acquire);
}

void* GetCodePoolBase()
{
    return g_pool;
}

void* AllocCodeSlot()
{
    Prepare(true);
    DWORD started = GetTickCount();
    for (unsigned round = 0;; round++) {
        EnterCriticalSection(&g_poolLock);
        for (int slot = 0; slot < kCodeSlotCount; slot++) {
            if (g_busy[slot].load(std::memory_order_acquire) == 0) {
                g_busy[slot].store(1, std::memory_order_relaxed);
                LeaveCriticalSection(&g_poolLock);
                return g_pool + slot * kCodeSlotSize;
            }
        }
        LeaveCriticalSection(&g_poolLock);
        if (GetTickCount() - started >= kCodeSlotWaitMs)
            return nullptr;
        // Every slot is busy: give the holders the processor, then poll each millisecond.
        if (round < 16)
            SwitchToThread();
        else
            Sleep(1);
    }
}

bool FreeCodeSlot(void* address)
{
    uintptr_t at = reinterpret_cast<uintptr_t>(address);
    uintptr_t base = reinterpret_cast<uintptr_t>(g_pool);
    if (at < base)
        return false;
    uintptr_t slot = (at - base) / kCodeSlotSize;
    if (slot >= static_cast<uintptr_t>(kCodeSlotCount))
        return false;
    return g_busy[slot].exchange(0, std::memory_order_release) == 1;
}

void EnterImageLock()
{
    Prepare(false);
    EnterCriticalSection(&g_imageLock);
}

void LeaveImageLock()
{
    LeaveCriticalSection(&g_imageLock);
}
