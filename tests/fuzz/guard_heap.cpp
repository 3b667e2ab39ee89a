// The fuzz program's heap: every block ends against an inaccessible page, so reading or writing
// one byte past it faults at once, and a freed block stays inaccessible for a while, so using it
// after the free faults too. malloc, calloc, realloc and free reach it through the linker's
// --wrap; operator new and delete are replaced here. Blocks that the C library made on its own
// heap (before the wrap could see them, or inside the library) go back to that heap.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

extern "C" {
void* __real_malloc(size_t size);
void __real_free(void* block);
void* __real_realloc(void* block, size_t size);
void* __real_calloc(size_t count, size_t size);
}

namespace {

constexpr uint64_t kGuardMagic = 0x4B5A5247554152ULL;   // tells our large blocks from the C library's
constexpr size_t kQuarantineBlocks = 4096;              // freed blocks kept inaccessible
constexpr size_t kPage = 4096;

// Blocks of up to 2^(kSlotClasses-1) pages live in slots of reserved regions, one region per
// power of two of pages, each slot followed by a page that is never committed. A freed slot
// goes back to its region once it leaves the quarantine and is made readable again when it is
// handed out: one protection change each way, and no mapping, unmapping or fresh page faults
// per block, which is where the time of a fuzzing run went. Larger blocks are mapped one by one.
constexpr int kSlotClasses = 9;
#if defined(_WIN64)
constexpr size_t kRegionBytes = size_t{1} << 30;
#else
constexpr size_t kRegionBytes = size_t{32} << 20;
#endif

enum SlotState : uint8_t { SlotUnused = 0, SlotLive, SlotQuarantined, SlotFree };

struct SlotRegion {
    uint8_t* base;          // null when the region could not be reserved
    size_t dataBytes;       // readable bytes of a slot
    size_t slotBytes;       // dataBytes and the guard page
    size_t capacity;        // slots in the region
    size_t used;            // slots handed out at least once
    uint32_t* freeSlots;    // slots back from the quarantine, ready for reuse
    size_t freeCount;
    uint32_t* sizes;        // bytes asked for, per slot
    uint32_t* offsets;      // where the block starts in its slot
    uint8_t* states;        // SlotState per slot
};

// A large block's bookkeeping, at the start of its own mapping.
struct GuardHeader {
    uint64_t magic;
    void* user;       // the pointer handed out
    size_t size;      // bytes asked for
    size_t dataBytes; // readable pages before the guard page
};

SRWLOCK g_lock = SRWLOCK_INIT;
void* g_quarantine[kQuarantineBlocks];
size_t g_quarantineNext = 0;
SlotRegion g_regions[kSlotClasses];
bool g_regionsReady = false;

// The block's natural alignment: the largest power of two that divides its size, at most 16
// (an object's size is a multiple of its alignment, so this never under-aligns one). Smaller
// alignments let odd sizes end exactly at the guard page.
size_t NaturalAlignment(size_t size) {
    size_t align = 16;
    while (align > 1 && size % align != 0)
        align >>= 1;
    return align;
}

// Reserves the regions and their tables once. Caller holds g_lock; the tables come from
// VirtualAlloc, never from the heap being built.
void PrepareRegionsLocked() {
    if (g_regionsReady)
        return;
    g_regionsReady = true;
    for (int c = 0; c < kSlotClasses; ++c) {
        SlotRegion& region = g_regions[c];
        region.dataBytes = kPage << c;
        region.slotBytes = region.dataBytes + kPage;
        region.capacity = kRegionBytes / region.slotBytes;
        const size_t tableBytes = region.capacity * (3 * sizeof(uint32_t) + 1);
        uint8_t* table = static_cast<uint8_t*>(
            VirtualAlloc(nullptr, tableBytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        region.base = table ? static_cast<uint8_t*>(
                                  VirtualAlloc(nullptr, kRegionBytes, MEM_RESERVE, PAGE_NOACCESS))
                            : nullptr;
        if (!region.base) {
            if (table)
                VirtualFree(table, 0, MEM_RELEASE);
            continue;
        }
        region.freeSlots = reinterpret_cast<uint32_t*>(table);
        region.sizes = region.freeSlots + region.capacity;
        region.offsets = region.sizes + region.capacity;
        region.states = reinterpret_cast<uint8_t*>(region.offsets + region.capacity);
    }
}

// The region and slot that hold an address; false for addresses outside every region.
bool LocateSlot(const void* address, int* regionIndex, size_t* slot) {
    const uint8_t* p = static_cast<const uint8_t*>(address);
    for (int c = 0; c < kSlotClasses; ++c) {
        const SlotRegion& region = g_regions[c];
        if (region.base && p >= region.base && p < region.base + kRegionBytes) {
            *regionIndex = c;
            *slot = static_cast<size_t>(p - region.base) / region.slotBytes;
            return *slot < region.capacity;
        }
    }
    return false;
}

void* SlotAllocate(size_t size, size_t alignment) {
    const size_t need = size + alignment;
    int c = 0;
    while (c < kSlotClasses && (kPage << c) < need)
        ++c;
    if (c == kSlotClasses)
        return nullptr;
    AcquireSRWLockExclusive(&g_lock);
    PrepareRegionsLocked();
    SlotRegion& region = g_regions[c];
    size_t slot = 0;
    bool fresh = false;
    if (!region.base) {
        ReleaseSRWLockExclusive(&g_lock);
        return nullptr;
    }
    if (region.freeCount > 0) {
        slot = region.freeSlots[--region.freeCount];
    } else if (region.used < region.capacity) {
        slot = region.used++;
        fresh = true;
    } else {
        ReleaseSRWLockExclusive(&g_lock);
        return nullptr;
    }
    uint8_t* data = region.base + slot * region.slotBytes;
    uintptr_t user = reinterpret_cast<uintptr_t>(data + region.dataBytes) - size;
    user &= ~static_cast<uintptr_t>(alignment - 1);
    region.states[slot] = SlotLive;
    region.sizes[slot] = static_cast<uint32_t>(size);
    region.offsets[slot] = static_cast<uint32_t>(user - reinterpret_cast<uintptr_t>(data));
    ReleaseSRWLockExclusive(&g_lock);
    DWORD old;
    const bool ready = fresh ? VirtualAlloc(data, region.dataBytes, MEM_COMMIT, PAGE_READWRITE) != nullptr
                             : VirtualProtect(data, region.dataBytes, PAGE_READWRITE, &old) != 0;
    return ready ? reinterpret_cast<void*>(user) : nullptr;
}

void* LargeAllocate(size_t size, size_t alignment) {
    const size_t need = sizeof(GuardHeader) + size + alignment;
    const size_t dataBytes = (need + kPage - 1) / kPage * kPage;
    uint8_t* base = static_cast<uint8_t*>(
        VirtualAlloc(nullptr, dataBytes + kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (!base)
        return nullptr;
    DWORD old;
    VirtualProtect(base + dataBytes, kPage, PAGE_NOACCESS, &old);
    uintptr_t user = reinterpret_cast<uintptr_t>(base + dataBytes) - size;
    user &= ~static_cast<uintptr_t>(alignment - 1);
    GuardHeader* header = reinterpret_cast<GuardHeader*>(base);
    header->magic = kGuardMagic;
    header->user = reinterpret_cast<void*>(user);
    header->size = size;
    header->dataBytes = dataBytes;
    return header->user;
}

void* GuardAllocate(size_t size, size_t alignment) {
    if (size == 0)
        size = 1;
    if (alignment == 0)
        alignment = NaturalAlignment(size);
    if (size > (SIZE_MAX >> 2))
        return nullptr;
    if (void* block = SlotAllocate(size, alignment))
        return block;
    return LargeAllocate(size, alignment);
}

// The header of one of our large blocks, or null for a block of the C library.
GuardHeader* HeaderOf(void* block) {
    MEMORY_BASIC_INFORMATION info;
    if (!VirtualQuery(block, &info, sizeof info) || !info.AllocationBase)
        return nullptr;
    if (info.State != MEM_COMMIT)
        return nullptr;
    MEMORY_BASIC_INFORMATION first;
    if (!VirtualQuery(info.AllocationBase, &first, sizeof first))
        return nullptr;
    // Only a block of ours in quarantine starts with an inaccessible page: a second free.
    if (first.Protect == PAGE_NOACCESS)
        __builtin_trap();
    if ((first.Protect & (PAGE_READWRITE | PAGE_READONLY)) == 0)
        return nullptr;
    GuardHeader* header = static_cast<GuardHeader*>(info.AllocationBase);
    return header->magic == kGuardMagic && header->user == block ? header : nullptr;
}

// Keeps an inaccessible block for a while; the block that leaves the quarantine goes back to
// its region, or its mapping is released.
void Quarantine(void* base) {
    void* evicted = nullptr;
    AcquireSRWLockExclusive(&g_lock);
    evicted = g_quarantine[g_quarantineNext];
    g_quarantine[g_quarantineNext] = base;
    g_quarantineNext = (g_quarantineNext + 1) % kQuarantineBlocks;
    int c = 0;
    size_t slot = 0;
    const bool inRegion = evicted && LocateSlot(evicted, &c, &slot);
    if (inRegion) {
        SlotRegion& region = g_regions[c];
        region.states[slot] = SlotFree;
        region.freeSlots[region.freeCount++] = static_cast<uint32_t>(slot);
    }
    ReleaseSRWLockExclusive(&g_lock);
    if (evicted && !inRegion)
        VirtualFree(evicted, 0, MEM_RELEASE);
}

void GuardRelease(GuardHeader* header) {
    DWORD old;
    void* base = header;
    const size_t dataBytes = header->dataBytes;
    header->magic = 0;
    VirtualProtect(base, dataBytes, PAGE_NOACCESS, &old);
    Quarantine(base);
}

// A block of a region: made inaccessible and quarantined. A second free, or a pointer into a
// slot that is not the one handed out, traps.
void SlotRelease(int c, size_t slot, void* block) {
    SlotRegion& region = g_regions[c];
    uint8_t* data = region.base + slot * region.slotBytes;
    AcquireSRWLockExclusive(&g_lock);
    const bool live = region.states[slot] == SlotLive && data + region.offsets[slot] == block;
    if (live)
        region.states[slot] = SlotQuarantined;
    ReleaseSRWLockExclusive(&g_lock);
    if (!live)
        __builtin_trap();
    DWORD old;
    VirtualProtect(data, region.dataBytes, PAGE_NOACCESS, &old);
    Quarantine(data);
}

void GuardFree(void* block) {
    if (!block)
        return;
    int c = 0;
    size_t slot = 0;
    if (LocateSlot(block, &c, &slot))
        SlotRelease(c, slot, block);
    else if (GuardHeader* header = HeaderOf(block))
        GuardRelease(header);
    else
        __real_free(block);
}

void* GuardReallocate(void* block, size_t size) {
    if (!block)
        return GuardAllocate(size, 0);
    int c = 0;
    size_t slot = 0;
    size_t oldSize = 0;
    GuardHeader* header = nullptr;
    if (LocateSlot(block, &c, &slot)) {
        AcquireSRWLockShared(&g_lock);
        oldSize = g_regions[c].sizes[slot];
        ReleaseSRWLockShared(&g_lock);
    } else {
        header = HeaderOf(block);
        if (!header)
            return __real_realloc(block, size);
        oldSize = header->size;
    }
    if (size == 0) {
        GuardFree(block);
        return nullptr;
    }
    void* moved = GuardAllocate(size, 0);
    if (!moved)
        return nullptr;
    std::memcpy(moved, block, oldSize < size ? oldSize : size);
    GuardFree(block);
    return moved;
}

}  // namespace

extern "C" {

void* __wrap_malloc(size_t size) { return GuardAllocate(size, 0); }
void __wrap_free(void* block) { GuardFree(block); }
void* __wrap_realloc(void* block, size_t size) { return GuardReallocate(block, size); }
void* __wrap_calloc(size_t count, size_t size) {
    if (size != 0 && count > SIZE_MAX / size)
        return nullptr;
    void* block = GuardAllocate(count * size, 0);
    if (block)
        std::memset(block, 0, count * size);
    return block;
}

}  // extern "C"

void* operator new(size_t size) {
    void* block = GuardAllocate(size, 0);
    if (!block)
        throw std::bad_alloc();
    return block;
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return GuardAllocate(size, 0); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return GuardAllocate(size, 0); }
void* operator new(size_t size, std::align_val_t align) {
    void* block = GuardAllocate(size, static_cast<size_t>(align));
    if (!block)
        throw std::bad_alloc();
    return block;
}
void* operator new[](size_t size, std::align_val_t align) { return operator new(size, align); }
void operator delete(void* block) noexcept { GuardFree(block); }
void operator delete[](void* block) noexcept { GuardFree(block); }
void operator delete(void* block, size_t) noexcept { GuardFree(block); }
void operator delete[](void* block, size_t) noexcept { GuardFree(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { GuardFree(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { GuardFree(block); }
void operator delete(void* block, std::align_val_t) noexcept { GuardFree(block); }
void operator delete[](void* block, std::align_val_t) noexcept { GuardFree(block); }
void operator delete(void* block, size_t, std::align_val_t) noexcept { GuardFree(block); }
void operator delete[](void* block, size_t, std::align_val_t) noexcept { GuardFree(block); }
