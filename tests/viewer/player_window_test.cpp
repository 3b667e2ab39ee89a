// The player as a user starts it: a process that opens its main window and ends cleanly when
// the window is closed.
#include "test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

struct StartedPlayer {
    PROCESS_INFORMATION pi = {};
    bool started = false;

    explicit StartedPlayer(const std::string& arguments)
    {
        std::string exe = test_support::BuildPath("lumarix.exe");
        std::string cmd = "\"" + exe + "\" " + arguments;
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        started = CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi) != 0;
    }
    ~StartedPlayer()
    {
        if (!started)
            return;
        if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(pi.hProcess, 99);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
};

struct FoundWindow {
    DWORD pid;
    HWND hwnd;
};

BOOL CALLBACK FindProcessWindow(HWND hwnd, LPARAM lParam)
{
    auto* found = reinterpret_cast<FoundWindow*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == found->pid && IsWindowVisible(hwnd)) {
        found->hwnd = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForMainWindow(DWORD pid, DWORD timeoutMs)
{
    for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
        FoundWindow found = {pid, nullptr};
        EnumWindows(FindProcessWindow, reinterpret_cast<LPARAM>(&found));
        if (found.hwnd)
            return found.hwnd;
        Sleep(50);
    }
    return nullptr;
}

} // namespace

TEST(PlayerWindow, OpensItsWindowAndExitsCleanlyOnClose)
{
    StartedPlayer player("");
    ASSERT_TRUE(player.started);
    HWND hwnd = WaitForMainWindow(player.pi.dwProcessId, 20000);
    ASSERT_NE(hwnd, nullptr) << "no visible window appeared";

    char cls[64] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    EXPECT_EQ(strncmp(cls, "LumarixClass", 12), 0) << cls;

    PostMessageA(hwnd, WM_CLOSE, 0, 0);
    ASSERT_EQ(WaitForSingleObject(player.pi.hProcess, 20000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(player.pi.hProcess, &code);
    EXPECT_EQ(code, 0u);
}
