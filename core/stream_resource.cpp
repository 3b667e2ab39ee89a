// CFicheroHttp over the program's own resources.
#include "core/stream.h"

#include <windows.h>

int StreamCore::OpenResource(int resourceId, const char* resourceType) {
    CloseSource();
    m_isOpen = 0;
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(resourceId), resourceType);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data)
        return 0;
    // Resources stay mapped for the life of the process: read in place, never freed.
    UseWholeBuffer(static_cast<const uint8_t*>(data), SizeofResource(module, found));
    return 1;
}
