// CFicheroHttp over memory: a caller's block, a producer filling a block while another thread
// reads it, and the growable buffer of memory mode.
#include "core/stream.h"

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Bytes added to a SetBuffer copy beyond its size.
constexpr int64_t kCopySlack = 8;

bool FitsInMemory(int64_t size) {
    return size >= 0 && static_cast<uint64_t>(size) <= static_cast<uint64_t>(SIZE_MAX);
}

// True when [data, data + size) lies inside the block [buffer, buffer + capacity).
bool LiesWithin(const void* data, int64_t size, const uint8_t* buffer, int64_t capacity) {
    if (!data || !buffer)
        return false;
    const uintptr_t at = reinterpret_cast<uintptr_t>(data);
    const uintptr_t start = reinterpret_cast<uintptr_t>(buffer);
    return at >= start && at - start <= static_cast<uint64_t>(capacity) &&
           static_cast<uint64_t>(size) <= static_cast<uint64_t>(capacity) - (at - start);
}

bool IsProducing(int state) {
    return state == BufferFilling || state == BufferStillFilling;
}

}  // namespace

void StreamCore::FreeMemoryBuffer() {
    if (m_memData == m_memBuffer)
        m_memData = nullptr;
    std::free(m_memBuffer);
    m_memBuffer = nullptr;
    m_memCapacity = 0;
}

int StreamCore::OpenMemoryMode() {
    FreeMemoryBuffer();
    m_memBuffer = static_cast<uint8_t*>(std::calloc(kMemoryModeInitialSize, 1));
    if (!m_memBuffer)
        return 0;
    m_memCapacity = kMemoryModeInitialSize;
    m_memData = m_memBuffer;
    m_memFilled.store(0, std::memory_order_release);
    m_memState.store(BufferIdle, std::memory_order_release);
    m_source = StreamSource::Memory;
    return 1;
}

bool StreamCore::SetBuffer(const void* data, int64_t size, BufferUse use) {
    CloseSource();
    m_isOpen = 0;
    if (!data || size < 0)
        size = 0;
    if (use == BufferUse::Copy) {
        if (!m_memBuffer || m_memCapacity < size) {
            if (size > INT64_MAX - kCopySlack || !FitsInMemory(size + kCopySlack))
                return false;
            FreeMemoryBuffer();
            m_memBuffer = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size + kCopySlack)));
            if (!m_memBuffer)
                return false;
            m_memCapacity = size;
        }
        // The block may be part of this very buffer.
        if (size > 0)
            std::memmove(m_memBuffer, data, static_cast<size_t>(size));
        UseWholeBuffer(m_memBuffer, size);
    } else {
        // Bytes inside our own buffer (what memory mode wrote) are read where they are, so
        // the buffer stays.
        if (!LiesWithin(data, size, m_memBuffer, m_memCapacity))
            FreeMemoryBuffer();
        UseWholeBuffer(static_cast<const uint8_t*>(data), size);
    }
    return true;
}

void StreamCore::UseWholeBuffer(const uint8_t* data, int64_t size) {
    m_memData = data;
    m_position = 0;
    m_length = size;
    m_memFilled.store(size, std::memory_order_release);
    m_memState.store(BufferComplete, std::memory_order_release);
    m_source = StreamSource::Memory;
    m_seekable = 1;
    m_isOpen = 1;
}

bool StreamCore::BeginFill(int64_t capacity, int64_t length) {
    CloseSource();
    m_isOpen = 0;
    if (capacity < 0 || !FitsInMemory(capacity))
        return false;
    if (!m_memBuffer || m_memCapacity < capacity) {
        FreeMemoryBuffer();
        m_memBuffer = static_cast<uint8_t*>(std::malloc(capacity > 0 ? static_cast<size_t>(capacity) : 1));
        if (!m_memBuffer)
            return false;
        m_memCapacity = capacity;
    }
    m_memData = m_memBuffer;
    m_position = 0;
    m_length = length < 0 ? -1 : length;
    m_memFilled.store(0, std::memory_order_release);
    m_memState.store(BufferFilling, std::memory_order_release);
    m_source = StreamSource::Memory;
    m_seekable = 1;
    m_isOpen = 1;
    return true;
}

int StreamCore::AppendFill(const void* data, int count) {
    if (!data || count <= 0 || !m_memBuffer)
        return 0;
    // Only the producer moves the fill mark, so its own reading of it is current.
    int64_t filled = m_memFilled.load(std::memory_order_relaxed);
    int64_t room = m_memCapacity - filled;
    int64_t n = count < room ? count : room;
    if (n <= 0)
        return 0;
    std::memcpy(m_memBuffer + filled, data, static_cast<size_t>(n));
    m_memFilled.store(filled + n, std::memory_order_release);
    return static_cast<int>(n);
}

void StreamCore::EndFill(bool succeeded) {
    if (succeeded)
        m_length = m_memFilled.load(std::memory_order_acquire);
    m_memState.store(succeeded ? BufferComplete : BufferFailed, std::memory_order_release);
}

void StreamCore::WaitForMemory(int64_t needed) const {
    int64_t lastFilled = -1;
    ULONGLONG lastProgress = GetTickCount64();
    for (;;) {
        int state = m_memState.load(std::memory_order_acquire);
        int64_t filled = m_memFilled.load(std::memory_order_acquire);
        int64_t length = m_length.load();
        if (filled >= needed || (length >= 0 && filled >= length) || !IsProducing(state) || IsCancelled())
            return;
        ULONGLONG now = GetTickCount64();
        if (filled != lastFilled) {
            lastFilled = filled;
            lastProgress = now;
        } else if (now - lastProgress >= static_cast<ULONGLONG>(kMemoryStallLimitMs)) {
            return;   // the producer has gone quiet: give the reader what there is
        }
        Sleep(kStreamPollMs);
    }
}

int StreamCore::ReadMemory(void* buffer, int count) {
    WaitForMemory(m_position + count);
    // State before the fill mark: a producer publishes the mark first, so a finished state
    // guarantees the final mark.
    if (m_memState.load(std::memory_order_acquire) == BufferFailed || IsCancelled() || !m_memData)
        return 0;
    int64_t filled = m_memFilled.load(std::memory_order_acquire);
    if (m_position >= filled)
        return 0;
    int64_t n = filled - m_position;
    if (n > count)
        n = count;
    std::memcpy(buffer, m_memData + m_position, static_cast<size_t>(n));
    m_position += n;
    return static_cast<int>(n);
}

int StreamCore::WriteMemoryMode(const void* data, int count) {
    const int64_t filled = m_memFilled.load(std::memory_order_relaxed);
    // A position sought far out must not wrap the end of the write around.
    if (m_position > INT64_MAX - count - kMemoryModeGrowth - kMemoryModeSlack)
        return 0;
    const int64_t end = m_position + count;
    if (end + kMemoryModeSlack > m_memCapacity) {
        const int64_t size = end + kMemoryModeGrowth + kMemoryModeSlack;
        if (!FitsInMemory(size))
            return 0;
        // Zeroed, so a gap left by seeking past the end reads as zeros.
        uint8_t* grown = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(size), 1));
        if (!grown)
            return 0;
        if (filled > 0)
            std::memcpy(grown, m_memBuffer, static_cast<size_t>(filled < m_memCapacity ? filled : m_memCapacity));
        std::free(m_memBuffer);
        m_memBuffer = grown;
        m_memData = grown;
        m_memCapacity = size;
    }
    std::memcpy(m_memBuffer + m_position, data, static_cast<size_t>(count));
    if (end > filled)
        m_memFilled.store(end, std::memory_order_release);
    m_length = end > filled ? end : filled;
    return count;
}

int64_t StreamCore::SeekMemory(int64_t target) {
    if (m_memoryMode && m_memData == m_memBuffer) {
        m_position = target;
        return target;
    }
    WaitForMemory(target);
    if (m_memState.load(std::memory_order_acquire) == BufferFailed || IsCancelled()) {
        m_position = 0;
        return 0;
    }
    int64_t filled = m_memFilled.load(std::memory_order_acquire);
    m_position = target < filled ? target : filled;
    return m_position;
}
