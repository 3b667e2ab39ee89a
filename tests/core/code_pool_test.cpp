#include "core/code_pool.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <future>
#include <thread>
#include <vector>

namespace {

// The pool's promise, written out: fifty slots of four kilobytes.
constexpr int kSlotCount = 50;
constexpr int kSlotSize = 4096;

uint8_t* Base()
{
    return static_cast<uint8_t*>(GetCodePoolBase());
}

int SlotOf(void* address)
{
    return static_cast<int>((static_cast<uint8_t*>(address) - Base()) / kSlotSize);
}

DWORD ProtectionOf(void* address)
{
    MEMORY_BASIC_INFORMATION info;
    if (!VirtualQuery(address, &info, sizeof info))
        return 0;
    return info.Protect;
}

// The block lies in the program's image, whose writable pages may be reported copy-on-write.
bool IsExecutableAndWritable(void* address)
{
    DWORD protection = ProtectionOf(address);
    return protection == PAGE_EXECUTE_READWRITE || protection == PAGE_EXECUTE_WRITECOPY;
}

bool IsWritableOnly(void* address)
{
    DWORD protection = ProtectionOf(address);
    return protection == PAGE_READWRITE || protection == PAGE_WRITECOPY;
}

// Every test holds the pool like an engine does and leaves every slot free.
class CodePool : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(AcquireCodePool()); }
    void TearDown() override
    {
        for (void* slot : m_taken)
            FreeCodeSlot(slot);
        ReleaseCodePool();
    }
    void* Take()
    {
        void* slot = AllocCodeSlot();
        if (slot)
            m_taken.push_back(slot);
        return slot;
    }
    std::vector<void*> m_taken;
};

TEST_F(CodePool, HandsOutTheLowestFreeSlot)
{
    EXPECT_EQ(reinterpret_cast<uintptr_t>(Base()) % kSlotSize, 0u);
    EXPECT_EQ(Take(), Base());
    EXPECT_EQ(Take(), Base() + kSlotSize);
    for (int i = 2; i < 10; i++)
        EXPECT_EQ(SlotOf(Take()), i);

    EXPECT_TRUE(FreeCodeSlot(Base() + 3 * kSlotSize));
    EXPECT_EQ(SlotOf(AllocCodeSlot()), 3);
    // An address inside a slot frees that slot.
    EXPECT_TRUE(FreeCodeSlot(Base() + 5 * kSlotSize + 100));
    EXPECT_EQ(SlotOf(AllocCodeSlot()), 5);
}

TEST_F(CodePool, FreeRejectsAddressesOutsideThePool)
{
    void* slot = Take();
    ASSERT_NE(slot, nullptr);
    EXPECT_FALSE(FreeCodeSlot(Base() - 1));
    EXPECT_FALSE(FreeCodeSlot(Base() - kSlotSize));
    EXPECT_FALSE(FreeCodeSlot(nullptr));
    EXPECT_FALSE(FreeCodeSlot(Base() + kSlotCount * kSlotSize));
    EXPECT_FALSE(FreeCodeSlot(reinterpret_cast<void*>(UINTPTR_MAX)));
    EXPECT_FALSE(FreeCodeSlot(Base() + kSlotSize));  // free already
    EXPECT_EQ(SlotOf(Take()), 1);                        // slot 0 stayed busy throughout
    EXPECT_TRUE(FreeCodeSlot(slot));
    EXPECT_FALSE(FreeCodeSlot(slot));
}

TEST_F(CodePool, FullPoolWaitsForAFreedSlot)
{
    for (int i = 0; i < kSlotCount; i++)
        ASSERT_NE(Take(), nullptr);

    std::future<void*> waiter = std::async(std::launch::async, [] { return AllocCodeSlot(); });
    EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    FreeCodeSlot(Base() + 7 * kSlotSize);
    ASSERT_EQ(waiter.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(SlotOf(waiter.get()), 7);
}

TEST_F(CodePool, ConcurrentCallersNeverShareASlot)
{
    constexpr int kThreads = 8;
    constexpr int kRounds = 2000;
    std::vector<std::atomic<int>> owners(kSlotCount);
    std::atomic<int> clashes{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++) {
        threads.emplace_back([&] {
            for (int r = 0; r < kRounds; r++) {
                void* slot = AllocCodeSlot();
                if (!slot) {
                    clashes++;
                    continue;
                }
                int index = SlotOf(slot);
                if (owners[index].fetch_add(1) != 0)
                    clashes++;
                owners[index].fetch_sub(1);
                FreeCodeSlot(slot);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(clashes.load(), 0);
}

// Writes a routine that adds its two int arguments.
void WriteAddRoutine(uint8_t* slot)
{
#if defined(__x86_64__)
    const uint8_t code[] = {0x8D, 0x04, 0x11, 0xC3};  // lea eax, [rcx + rdx]; ret
#elif defined(__i386__)
    const uint8_t code[] = {0x8B, 0x44, 0x24, 0x04, 0x03, 0x44, 0x24, 0x08, 0xC3};  // cdecl: mov, add, ret
#else
#error "no routine for this processor"
#endif
    std::memcpy(slot, code, sizeof code);
    FlushInstructionCache(GetCurrentProcess(), slot, sizeof code);
}

TEST_F(CodePool, RoutinesWrittenIntoASlotRun)
{
    EXPECT_TRUE(IsCodePoolExecutable());
    EXPECT_TRUE(IsExecutableAndWritable(Base()));
    EXPECT_TRUE(IsExecutableAndWritable(Base() + kSlotCount * kSlotSize - 1));

    auto* slot = static_cast<uint8_t*>(Take());
    ASSERT_NE(slot, nullptr);
    WriteAddRoutine(slot);
    auto add = reinterpret_cast<int (*)(int, int)>(reinterpret_cast<void*>(slot));
    EXPECT_EQ(add(40, 2), 42);
    EXPECT_EQ(add(-7, 3), -4);
}

TEST(CodePoolLifetime, OnlyTheLastHolderTearsThePoolDown)
{
    ASSERT_TRUE(AcquireCodePool());  // the application
    ASSERT_TRUE(AcquireCodePool());  // a first engine
    ASSERT_TRUE(AcquireCodePool());  // a second engine

    ReleaseCodePool();  // the first engine goes first: nothing is torn down under the others
    EXPECT_TRUE(IsCodePoolExecutable());
    void* slot = AllocCodeSlot();
    ASSERT_NE(slot, nullptr);
    { ImageLockGuard lock; }
    EXPECT_TRUE(FreeCodeSlot(slot));

    ReleaseCodePool();
    EXPECT_TRUE(IsCodePoolExecutable());
    ReleaseCodePool();
    EXPECT_FALSE(IsCodePoolExecutable());
    EXPECT_TRUE(IsWritableOnly(GetCodePoolBase()));
    ReleaseCodePool();  // one release too many is ignored

    // The first user afterwards makes everything ready again.
    { ImageLockGuard lock; }
    slot = AllocCodeSlot();
    EXPECT_EQ(slot, GetCodePoolBase());
    EXPECT_TRUE(IsCodePoolExecutable());
    EXPECT_TRUE(FreeCodeSlot(slot));
    ASSERT_TRUE(AcquireCodePool());
    ReleaseCodePool();
    EXPECT_FALSE(IsCodePoolExecutable());
}

}  // namespace
