#include "platform/worker_thread.h"

#include <windows.h>

#include <atomic>

#include <gtest/gtest.h>

namespace {

constexpr int kWaitBoundMs = 5000;

// Polls until the slot is clear or the bound passes.
bool WaitForClearSlot(WorkerThreadSlot& slot) {
    for (int waited = 0; waited < kWaitBoundMs; waited += 5) {
        if (!slot.load())
            return true;
        Sleep(5);
    }
    return false;
}

struct Counter {
    std::atomic<int> runs{0};
    std::atomic<int> stop{0};
    std::atomic<long> loops{0};
    HANDLE release = nullptr;
};

unsigned CountOnce(void* parameter) {
    static_cast<Counter*>(parameter)->runs++;
    return 7;
}

unsigned LoopUntilStopped(void* parameter) {
    Counter* counter = static_cast<Counter*>(parameter);
    counter->runs++;
    while (!counter->stop.load()) {
        counter->loops++;
        Sleep(1);
    }
    return 0;
}

unsigned WaitForRelease(void* parameter) {
    Counter* counter = static_cast<Counter*>(parameter);
    counter->runs++;
    WaitForSingleObject(counter->release, kWaitBoundMs);
    return 0;
}

}  // namespace

TEST(WorkerThread, RunsOnlyAfterResumeAndClearsItsSlotWhenDone) {
    Counter counter;
    WorkerThreadSlot slot{nullptr};
    CWorkerThread* thread = CWorkerThread::Create(&CountOnce, &counter, &slot);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(slot.load(), thread);
    EXPECT_TRUE(CWorkerThread::IsAlive(thread));

    Sleep(50);
    EXPECT_EQ(counter.runs.load(), 0) << "a new thread must wait for its owner";

    ASSERT_TRUE(CWorkerThread::Resume(thread));
    ASSERT_TRUE(WaitForClearSlot(slot));
    EXPECT_EQ(counter.runs.load(), 1);

    // The object is gone; the pointer the owner still holds is answered safely.
    EXPECT_FALSE(CWorkerThread::IsAlive(thread));
    EXPECT_FALSE(CWorkerThread::Resume(thread));
    EXPECT_FALSE(CWorkerThread::Suspend(thread));
    EXPECT_EQ(CWorkerThread::GetId(thread), 0u);
}

TEST(WorkerThread, StopsByTheFlagItsOwnerSets) {
    Counter counter;
    WorkerThreadSlot slot{nullptr};
    CWorkerThread* thread = CWorkerThread::Create(&LoopUntilStopped, &counter, &slot);
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(CWorkerThread::Resume(thread));
    while (counter.loops.load() < 3)
        Sleep(1);
    counter.stop = 1;
    ASSERT_TRUE(WaitForClearSlot(slot));
    EXPECT_EQ(counter.runs.load(), 1);
}

TEST(WorkerThread, SuspendHoldsTheThreadUntilResumed) {
    Counter counter;
    WorkerThreadSlot slot{nullptr};
    CWorkerThread* thread = CWorkerThread::Create(&LoopUntilStopped, &counter, &slot);
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(CWorkerThread::Resume(thread));
    while (counter.loops.load() < 3)
        Sleep(1);

    ASSERT_TRUE(CWorkerThread::Suspend(thread));
    long held = counter.loops.load();
    Sleep(60);
    EXPECT_EQ(counter.loops.load(), held);

    ASSERT_TRUE(CWorkerThread::Resume(thread));
    for (int i = 0; i < 1000 && counter.loops.load() == held; i++)
        Sleep(2);
    EXPECT_GT(counter.loops.load(), held);
    counter.stop = 1;
    ASSERT_TRUE(WaitForClearSlot(slot));
}

TEST(WorkerThread, ClearsTheSlotOnlyWhileItStillHoldsThisThread) {
    Counter counter;
    WorkerThreadSlot slot{nullptr};
    CWorkerThread* thread = CWorkerThread::Create(&CountOnce, &counter, &slot);
    ASSERT_NE(thread, nullptr);
    // The owner has moved on to another thread object (any non-null marker will do).
    CWorkerThread* other = reinterpret_cast<CWorkerThread*>(&counter);
    slot.store(other);
    unsigned id = CWorkerThread::GetId(thread);
    EXPECT_NE(id, 0u);
    HANDLE handle = OpenThread(SYNCHRONIZE, FALSE, id);
    ASSERT_TRUE(CWorkerThread::Resume(thread));
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(WaitForSingleObject(handle, kWaitBoundMs), WAIT_OBJECT_0);
    CloseHandle(handle);
    EXPECT_EQ(slot.load(), other);
}

TEST(WorkerThread, DetachedSlotIsLeftAlone) {
    Counter counter;
    counter.release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    WorkerThreadSlot slot{nullptr};
    CWorkerThread* thread = CWorkerThread::Create(&WaitForRelease, &counter, &slot);
    ASSERT_NE(thread, nullptr);
    HANDLE handle = OpenThread(SYNCHRONIZE, FALSE, CWorkerThread::GetId(thread));
    ASSERT_NE(handle, nullptr);
    ASSERT_TRUE(CWorkerThread::Resume(thread));

    EXPECT_TRUE(CWorkerThread::DetachSlot(&slot));
    SetEvent(counter.release);
    EXPECT_EQ(WaitForSingleObject(handle, kWaitBoundMs), WAIT_OBJECT_0);
    CloseHandle(handle);
    CloseHandle(counter.release);
    // The owner gave the slot up: the ending thread did not write to it.
    EXPECT_EQ(slot.load(), thread);
    EXPECT_FALSE(CWorkerThread::DetachSlot(&slot));
}

TEST(WorkerThread, RefusesNullArguments) {
    EXPECT_EQ(CWorkerThread::Create(nullptr, nullptr, nullptr), nullptr);
    EXPECT_FALSE(CWorkerThread::Resume(nullptr));
    EXPECT_FALSE(CWorkerThread::Suspend(nullptr));
    EXPECT_FALSE(CWorkerThread::IsAlive(nullptr));
    EXPECT_FALSE(CWorkerThread::DetachSlot(nullptr));
}
