#include "core/system_wrappers.h"

#include <io.h>

#include <cstring>

#include "core/text_string.h"

namespace {

// Separators within the first bytes belong to a drive root ("C:\") and are not created.
constexpr int kPathRootBytes = 4;

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

}  // namespace

bool FileExists(const char* path) {
    return path && _access(path, 0) == 0;
}

bool IsReadOnlyFile(const char* path) {
    DWORD attributes = path ? GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES;
    return (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

void ClearReadOnly(const char* path) {
    if (!path)
        return;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY))
        return;
    attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA(path, attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
}

int RemoveFile(const char* path) {
    return path && DeleteFileA(path) ? 1 : 0;
}

bool CopyFileOverwrite(const char* source, const char* destination) {
    if (!source || !destination)
        return false;
    ClearReadOnly(destination);
    return CopyFileA(source, destination, FALSE) != 0;
}

bool MoveFileReplace(const char* oldName, const char* newName) {
    if (!oldName || !newName)
        return false;
    ClearReadOnly(oldName);
    ClearReadOnly(newName);
    return MoveFileExA(oldName, newName,
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH) != 0;
}

bool CreateDirectoryPath(const char* path) {
    if (!path || !*path)
        return false;
    const int length = static_cast<int>(std::strlen(path));
    CTexto part;
    for (int i = kPathRootBytes; i < length; i++) {
        if (IsSeparator(path[i])) {
            part = path;
            part.Delete(i, part.GetLength());
            CreateDirectoryA(part.GetText(), nullptr);
        }
    }
    return CreateDirectoryA(path, nullptr) != 0;
}
