// Helpers shared by the test executables: paths of the source and build trees as Windows sees
// them, and scratch folders (a named one under the build tree, or a TempFolder under %TEMP%
// that goes away with the test).
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

namespace test_support {

// A Unix path of the build machine as a Windows path under Wine's Z: drive.
inline std::string WinPath(const std::string& unixPath)
{
    std::string out = "Z:";
    for (char c : unixPath)
        out += (c == '/') ? '\\' : c;
    return out;
}

inline std::string SourcePath(const std::string& relative)
{
    return WinPath(std::string(LUMARIX_SOURCE_DIR) + "/" + relative);
}

inline std::string BuildPath(const std::string& relative)
{
    return WinPath(std::string(LUMARIX_BINARY_DIR) + "/" + relative);
}

// Removes a folder (given with its trailing backslash) and everything in it.
inline void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = folder + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path + "\\");
            } else {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

// A fresh, empty scratch folder under the build tree for one test name; what an earlier run left
// there (process ids repeat under Wine) is removed first.
inline std::string ScratchDir(const std::string& name)
{
    std::string dir = BuildPath("scratch");
    CreateDirectoryA(dir.c_str(), nullptr);
    dir += "\\" + name + "-" + std::to_string(GetCurrentProcessId());
    RemoveTree(dir + "\\");
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

} // namespace test_support

// A fresh folder for one test, removed with everything in it afterwards: under %TEMP%, or under
// the given folder (ending in a backslash).
class TempFolder {
public:
    TempFolder() : TempFolder(TempPath()) {}
    explicit TempFolder(const std::string& base) {
        static LONG counter = 0;
        char name[64];
        std::snprintf(name, sizeof name, "lumarix_test_%lu_%ld\\",
                      static_cast<unsigned long>(GetCurrentProcessId()),
                      static_cast<long>(InterlockedIncrement(&counter)));
        m_path = std::string(base) + name;
        test_support::RemoveTree(m_path);  // left over by a crashed run with the same process id
        CreateDirectoryA(m_path.c_str(), nullptr);
    }
    ~TempFolder() { test_support::RemoveTree(m_path); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder, ending in a backslash.
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + name; }

    // Writes the bytes as the whole file; answers the path.
    std::string Write(const std::string& name, const std::string& bytes) const {
        std::string path = File(name);
        FILE* f = std::fopen(path.c_str(), "wb");
        if (f) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        return path;
    }

    static std::string ReadAll(const std::string& path) {
        std::string bytes;
        FILE* f = std::fopen(path.c_str(), "rb");
        if (!f)
            return bytes;
        char chunk[65536];
        size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0)
            bytes.append(chunk, got);
        std::fclose(f);
        return bytes;
    }

private:
    static std::string TempPath() {
        char base[MAX_PATH];
        const DWORD n = GetTempPathA(MAX_PATH, base);
        return n && n < MAX_PATH ? base : "";
    }

    std::string m_path;
};
