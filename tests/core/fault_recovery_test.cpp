#include "core/fault_recovery.h"

#include <windows.h>

#include <atomic>

#include <gtest/gtest.h>

namespace {

// An address that is never mapped, hidden from the optimiser.
volatile uintptr_t g_unmapped = 16;

__attribute__((noinline)) void Fault() {
    *reinterpret_cast<volatile int*>(g_unmapped) = 1;
}

// A synthetic exception as the system would hand it to the filter.
struct FakeException {
    EXCEPTION_RECORD record{};
    CONTEXT context{};
    EXCEPTION_POINTERS pointers{&record, &context};
    explicit FakeException(DWORD code) { record.ExceptionCode = code; }
};

}  // namespace

TEST(FaultRecovery, FaultInsideTheRegionResumesAfterIt) {
    volatile int reached = 0;
    bool finished = RunWithRecovery([&] {
        reached = 1;
        Fault();
        reached = 2;
    });
    EXPECT_FALSE(finished);
    EXPECT_EQ(reached, 1) << "the rest of the region is abandoned";
    EXPECT_FALSE(IsRecoveryArmed());

    // The thread carries on normally, and a clean region reports that it finished.
    volatile int clean = 0;
    EXPECT_TRUE(RunWithRecovery([&] { clean = 1; }));
    EXPECT_EQ(clean, 1);
    EXPECT_FALSE(IsRecoveryArmed());
}

TEST(FaultRecovery, RepeatedFaultsEachReturn) {
    for (int i = 0; i < 20; i++)
        ASSERT_FALSE(RunWithRecovery([] { Fault(); })) << "round " << i;
}

TEST(FaultRecovery, InnerFaultReturnsToTheInnermostRegion) {
    volatile int afterInner = 0;
    volatile int innerResult = -1;
    bool outer = RunWithRecovery([&] {
        EXPECT_TRUE(IsRecoveryArmed());
        innerResult = RunWithRecovery([] { Fault(); }) ? 1 : 0;
        EXPECT_TRUE(IsRecoveryArmed()) << "the outer point is armed again";
        afterInner = 1;
    });
    EXPECT_TRUE(outer);
    EXPECT_EQ(innerResult, 0);
    EXPECT_EQ(afterInner, 1);
}

TEST(FaultRecovery, IgnoresExceptionsThatAreNotFaults) {
    bool finished = RunWithRecovery([] {
        const DWORD codes[] = {EXCEPTION_BREAKPOINT, 0x40010006 /* debug output */,
                               0xE06D7363 /* C++ */, EXCEPTION_STACK_OVERFLOW};
        for (DWORD code : codes) {
            FakeException fake(code);
            EXPECT_EQ(RecoveryExceptionFilter(&fake.pointers), EXCEPTION_CONTINUE_SEARCH) << std::hex << code;
        }
        EXPECT_TRUE(IsRecoveryArmed());
        // Debug output goes through an exception on Windows; it must not end the region.
        OutputDebugStringA("recovery test\n");
    });
    EXPECT_TRUE(finished);
}

TEST(FaultRecovery, UnarmedThreadIsNotRecovered) {
    FakeException fake(EXCEPTION_ACCESS_VIOLATION);
    fake.context.ContextFlags = 0x1234;
    EXPECT_EQ(RecoveryExceptionFilter(&fake.pointers), EXCEPTION_CONTINUE_SEARCH);
    EXPECT_EQ(fake.context.ContextFlags, 0x1234u) << "the faulting context is left alone";
    EXPECT_EQ(RecoveryExceptionFilter(nullptr), EXCEPTION_CONTINUE_SEARCH);
}

namespace {

// Catches what the recovery filter passed on, for the thread under test only, and ends that
// thread: the fault was not swallowed.
std::atomic<DWORD> g_faultThreadId{0};
std::atomic<int> g_passedOn{0};
constexpr DWORD kPassedOnExitCode = 0xFA;

LONG WINAPI CatchPassedOnFault(EXCEPTION_POINTERS* info) {
    if (GetCurrentThreadId() != g_faultThreadId.load() ||
        info->ExceptionRecord->ExceptionCode != EXCEPTION_ACCESS_VIOLATION)
        return EXCEPTION_CONTINUE_SEARCH;
    g_passedOn++;
    ExitThread(kPassedOnExitCode);
}

DWORD WINAPI FaultWithoutRecovery(void*) {
    Fault();
    return 0;
}

}  // namespace

TEST(FaultRecovery, FaultOnAnotherThreadNeverResumesOnTheArmedThread) {
    InstallRecoveryHandlers();
    void* catcher = AddVectoredExceptionHandler(0, CatchPassedOnFault);
    ASSERT_NE(catcher, nullptr);

    HANDLE armed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE faulted = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> drawingFinished{0};
    // The drawing thread holds its region armed while the other thread faults.
    auto drawing = [&] {
        bool done = RunWithRecovery([&] {
            SetEvent(armed);
            WaitForSingleObject(faulted, 5000);
        });
        drawingFinished = done ? 1 : 2;
    };
    struct Runner {
        static DWORD WINAPI Run(void* p) {
            (*static_cast<decltype(drawing)*>(p))();
            return 0;
        }
    };
    HANDLE drawingThread = CreateThread(nullptr, 0, &Runner::Run, &drawing, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(armed, 5000), WAIT_OBJECT_0);

    DWORD id = 0;
    HANDLE faultThread = CreateThread(nullptr, 0, FaultWithoutRecovery, nullptr, CREATE_SUSPENDED, &id);
    g_faultThreadId = id;
    ResumeThread(faultThread);
    ASSERT_EQ(WaitForSingleObject(faultThread, 5000), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    GetExitCodeThread(faultThread, &exitCode);
    EXPECT_EQ(exitCode, kPassedOnExitCode);
    EXPECT_EQ(g_passedOn.load(), 1);

    SetEvent(faulted);
    ASSERT_EQ(WaitForSingleObject(drawingThread, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(drawingFinished.load(), 1) << "the drawing region ran to its end";

    RemoveVectoredExceptionHandler(catcher);
    CloseHandle(faultThread);
    CloseHandle(drawingThread);
    CloseHandle(armed);
    CloseHandle(faulted);
}
