// CFicheroHttp over the program's own resources.
#include "core/stream.h"

#include <windows.h>

int CFicheroHttp::OpenResource(int resourceId, const char* resourceType) {
    CloseSource();
    m_isOpen = 0;
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(resourceId), resourceType);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data)
        return 0;
    const int64_t size = SizeofResource(module, found);
    // Resources stay mapped for the life of the process: read in place, never freed.
    m_memData = static_cast<const uint8_t*>(data);
    m_position = 0;
    m_length = size;
    m_memFilled.store(size, std::memory_order_release);
    m_memState.store(BufferComplete, std::memory_order_release);
    m_source = StreamSource::Memory;
    m_seekable = 1;
    m_isOpen = 1;
    return 1;
}
