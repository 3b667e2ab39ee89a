#include "core/system_wrappers.h"

namespace {

constexpr DWORD kLargestRead = 0x7FFFFFFF;

}  // namespace

int ReadRegistryValue(HKEY root, const char* subKey, const char* valueName, DWORD* dwordOut,
                      char* textOut, BYTE* byteOut, size_t textSize) {
    BYTE* out;
    DWORD size;
    const bool text = !byteOut && !dwordOut;
    if (byteOut) {
        out = byteOut;
        size = 1;
    } else if (dwordOut) {
        out = reinterpret_cast<BYTE*>(dwordOut);
        size = sizeof(DWORD);
    } else if (textOut && textSize > 0) {
        out = reinterpret_cast<BYTE*>(textOut);
        size = textSize < kLargestRead ? static_cast<DWORD>(textSize) : kLargestRead;
        textOut[0] = '\0';
    } else {
        return 0;
    }

    HKEY key;
    if (RegOpenKeyExA(root, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    const DWORD room = size;
    LONG status = RegQueryValueExA(key, valueName, nullptr, nullptr, out, &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || size > room) {
        if (text)
            textOut[0] = '\0';
        return 0;
    }
    if (text) {
        // A stored string need not carry its terminator; one that fills the whole output
        // without it does not fit.
        if (size == 0 || textOut[size - 1] != '\0') {
            if (size == room) {
                textOut[0] = '\0';
                return 0;
            }
            textOut[size] = '\0';
        }
    }
    return static_cast<int>(size);
}
