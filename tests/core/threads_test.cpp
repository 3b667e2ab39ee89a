#include "core/clock.h"
#include "core/worker_threads.h"

#include <windows.h>

#include <atomic>
#include <climits>
#include <ctime>

#include <gtest/gtest.h>

namespace {

struct Job {
    std::atomic<int> started{0};
    std::atomic<int> stop{0};
};

unsigned RunUntilStopped(void* parameter) {
    Job* job = static_cast<Job*>(parameter);
    job->started = 1;
    while (!job->stop.load())
        SleepMilliseconds(1);
    return 0;
}

}  // namespace

TEST(WorkerThreads, StartSuspendedResumeAndStopByFlag) {
    Job job;
    WorkerThreadSlot slot{nullptr};
    CWorkerThread* thread = StartWorkerThread(&RunUntilStopped, &job, &slot);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(IsWorkerThreadValid(thread));
    SleepMilliseconds(40);
    EXPECT_EQ(job.started.load(), 0);

    ResumeWorkerThread(thread);
    for (int i = 0; i < 500 && !job.started.load(); i++)
        SleepMilliseconds(2);
    EXPECT_EQ(job.started.load(), 1);

    job.stop = 1;
    EXPECT_TRUE(WaitForWorkerThreadEnd(slot, 5000));
    EXPECT_EQ(slot.load(), nullptr);
    EXPECT_FALSE(IsWorkerThreadValid(thread));
    // Ended or null threads are ignored.
    ResumeWorkerThread(thread);
    SuspendWorkerThread(thread);
    ResumeWorkerThread(nullptr);
    SuspendWorkerThread(nullptr);
    EXPECT_FALSE(IsWorkerThreadValid(nullptr));
}

TEST(WorkerThreads, WaitGivesUpAfterItsBoundAndDetaches) {
    Job job;
    WorkerThreadSlot slot{nullptr};
    CWorkerThread* thread = StartWorkerThread(&RunUntilStopped, &job, &slot);
    ASSERT_NE(thread, nullptr);
    ResumeWorkerThread(thread);

    EXPECT_FALSE(WaitForWorkerThreadEnd(slot, 30));
    HANDLE handle = OpenThread(SYNCHRONIZE, FALSE, CWorkerThread::GetId(thread));
    ASSERT_NE(handle, nullptr);
    job.stop = 1;
    EXPECT_EQ(WaitForSingleObject(handle, 5000), WAIT_OBJECT_0);
    CloseHandle(handle);
    // Detached: the late end did not touch the slot the owner gave up.
    EXPECT_EQ(slot.load(), thread);
}

TEST(Clock, CountsSecondsFromProcessStart) {
    float first = GetTimeSeconds();
    EXPECT_GE(first, 0.0f);
    EXPECT_LT(first, 600.0f) << "counted from process start, not machine start";
    SleepMilliseconds(30);
    float second = GetTimeSeconds();
    EXPECT_GE(second - first, 0.025f);
    EXPECT_LT(second - first, 5.0f);
    // Consecutive readings never go back.
    float previous = GetTimeSeconds();
    for (int i = 0; i < 1000; i++) {
        float now = GetTimeSeconds();
        ASSERT_GE(now, previous);
        previous = now;
    }
}

TEST(Random, FollowsTheMultiplicativeGenerator) {
    SetRandomState(1);
    uint32_t state = 1;
    for (int i = 0; i < 100; i++) {
        state *= 22695477u;
        ASSERT_EQ(Random15(), static_cast<int>((state >> 16) & 0x7FFF)) << "draw " << i;
    }
    SetRandomState(1);
    EXPECT_EQ(Random15(), 346);  // 22695477 >> 16
}

TEST(Random, SeedsFromTheCalendarSecond) {
    // Two sequences started within the same second are equal.
    for (int attempt = 0; attempt < 3; attempt++) {
        time_t before = time(nullptr);
        SetRandomState(0);
        int a1 = Random15(), a2 = Random15();
        SetRandomState(0);
        int b1 = Random15(), b2 = Random15();
        if (time(nullptr) != before)
            continue;
        EXPECT_EQ(a1, b1);
        EXPECT_EQ(a2, b2);
        uint32_t expected = static_cast<uint32_t>(before) * 22695477u;
        EXPECT_EQ(a1, static_cast<int>((expected >> 16) & 0x7FFF));
        return;
    }
    FAIL() << "the clock's second kept changing";
}

TEST(Random, RandomBelowStaysInRange) {
    struct Case {
        int n;
        int low, high;  // inclusive bounds of every answer
    };
    const Case cases[] = {
        {0, 0, 0}, {1, 0, 0}, {2, 0, 1}, {10, 0, 9}, {32767, 0, 32766}, {INT_MAX, 0, INT_MAX - 1},
    };
    SetRandomState(12345);
    for (const Case& c : cases) {
        for (int i = 0; i < 2000; i++) {
            int r = RandomBelow(c.n);
            ASSERT_GE(r, c.low) << "n = " << c.n;
            ASSERT_LE(r, c.high) << "n = " << c.n;
        }
    }
    // A wide n must not overflow: the answer is n x r / 32767 computed in 64 bits.
    SetRandomState(1);
    int r = Random15();
    SetRandomState(1);
    EXPECT_EQ(RandomBelow(INT_MAX), static_cast<int>(static_cast<long long>(INT_MAX) * r / 32767));
}
