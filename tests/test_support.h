// Helpers shared by the test executables: paths of the source and build trees as Windows sees
// them, and scratch folders.
#pragma once

#include <windows.h>

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

// A fresh, empty scratch folder under the build tree, unique per process and name.
inline std::string ScratchDir(const std::string& name)
{
    std::string dir = BuildPath("scratch");
    CreateDirectoryA(dir.c_str(), nullptr);
    dir += "\\" + name + "-" + std::to_string(GetCurrentProcessId());
    std::string cmd = dir + "\\*";
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(cmd.c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileA((dir + "\\" + fd.cFileName).c_str());
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

} // namespace test_support
