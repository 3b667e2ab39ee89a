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

constexpr uint64_t kGuardMagic = 0x4B5A5247554152ULL;   // tells our blocks from the C library's
constexpr size_t kQuarantineBlocks = 4096;              // freed blocks kept inaccessible
constexpr size_t kPage = 4096;

struct GuardHeader {
    uint64_t magic;
    void* user;       // the pointer handed out
    size_t size;      // bytes asked for
    size_t dataBytes; // readable pages before the guard page
};

SRWLOCK g_lock = SRWLOCK_INIT;
void* g_quarantine[kQuarantineBlocks];
size_t g_quarantineNext = 0;

// The block's natural alignment: the largest power of two that divides its size, at most 16
// (an object's size is a multiple of its alignment, so this never under-aligns one). Smaller
// alignments let odd sizes end exactly at the guard page.
size_t NaturalAlignment(size_t size) {
    size_t align = 16;
    while (align > 1 && size % align != 0)
        align >>= 1;
    return align;
}

void* GuardAllocate(size_t size, size_t alignment) {
    if (size == 0)
        size = 1;
    if (alignment == 0)
        alignment = NaturalAlignment(size);
    if (size > (SIZE_MAX >> 2))
        return nullptr;
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

// The header of one of our blocks, or null for a block of the C library.
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

void GuardRelease(GuardHeader* header) {
    DWORD old;
    void* base = header;
    const size_t dataBytes = header->dataBytes;
    header->magic = 0;
    VirtualProtect(base, dataBytes, PAGE_NOACCESS, &old);
    void* evicted = nullptr;
    AcquireSRWLockExclusive(&g_lock);
    evicted = g_quarantine[g_quarantineNext];
    g_quarantine[g_quarantineNext] = base;
    g_quarantineNext = (g_quarantineNext + 1) % kQuarantineBlocks;
    ReleaseSRWLockExclusive(&g_lock);
    if (evicted)
        VirtualFree(evicted, 0, MEM_RELEASE);
}

void GuardFree(void* block) {
    if (!block)
        return;
    if (GuardHeader* header = HeaderOf(block))
        GuardRelease(header);
    else
        __real_free(block);
}

void* GuardReallocate(void* block, size_t size) {
    if (!block)
        return GuardAllocate(size, 0);
    GuardHeader* header = HeaderOf(block);
    if (!header)
        return __real_realloc(block, size);
    if (size == 0) {
        GuardRelease(header);
        return nullptr;
    }
    void* moved = GuardAllocate(size, 0);
    if (!moved)
        return nullptr;
    std::memcpy(moved, block, header->size < size ? header->size : size);
    GuardRelease(header);
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
