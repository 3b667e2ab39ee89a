// The player run as a real process by a test: started with a command line, ended (if still
// running) when the test is done, and watched for its windows and its exit.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>
#include <utility>

class PlayerProcess {
public:
    explicit PlayerProcess(std::string exe) : m_exe(std::move(exe)) {}
    ~PlayerProcess()
    {
        if (!started)
            return;
        if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(pi.hProcess, 99);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    PlayerProcess(const PlayerProcess&) = delete;
    PlayerProcess& operator=(const PlayerProcess&) = delete;

    bool Start(const std::string& arguments)
    {
        std::string command = "\"" + m_exe + "\" " + arguments;
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        started = CreateProcessA(m_exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &si, &pi) != 0;
        return started;
    }

    // Waits for the end while this thread's own windows keep answering; the exit code, or -1.
    long WaitForExit(DWORD timeoutMs) const
    {
        for (DWORD waited = 0; waited < timeoutMs; waited += 20) {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&message);
            if (WaitForSingleObject(pi.hProcess, 20) == WAIT_OBJECT_0) {
                DWORD code = 0;
                GetExitCodeProcess(pi.hProcess, &code);
                return static_cast<long>(code);
            }
        }
        return -1;
    }

    PROCESS_INFORMATION pi = {};
    bool started = false;

private:
    std::string m_exe;
};

namespace player_process_detail {

struct WindowSearch {
    DWORD pid;
    const char* classPrefix;
    bool visibleOnly;
    HWND found;
};

inline BOOL CALLBACK MatchWindow(HWND window, LPARAM lParam)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid || (search->visibleOnly && !IsWindowVisible(window)))
        return TRUE;
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    if (std::strncmp(name, search->classPrefix, std::strlen(search->classPrefix)) != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

} // namespace player_process_detail

// A window of the process whose class starts with classPrefix ("" for any): a top-level one, or
// a child of parent when one is given.
inline HWND FindProcessWindow(DWORD pid, const char* classPrefix, bool visibleOnly, HWND parent = nullptr)
{
    player_process_detail::WindowSearch search = {pid, classPrefix, visibleOnly, nullptr};
    LPARAM lParam = reinterpret_cast<LPARAM>(&search);
    if (parent)
        EnumChildWindows(parent, player_process_detail::MatchWindow, lParam);
    else
        EnumWindows(player_process_detail::MatchWindow, lParam);
    return search.found;
}

// Polls for a visible window of the process while this thread's own windows keep answering;
// null after timeoutMs or as soon as the process has ended.
inline HWND WaitForProcessWindow(const PlayerProcess& process, const char* classPrefix, DWORD timeoutMs,
                                 HWND parent = nullptr)
{
    for (DWORD waited = 0; waited < timeoutMs; waited += 20) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        HWND window = FindProcessWindow(process.pi.dwProcessId, classPrefix, true, parent);
        if (window)
            return window;
        if (WaitForSingleObject(process.pi.hProcess, 20) == WAIT_OBJECT_0)
            return nullptr;
    }
    return nullptr;
}
