// The player as a user starts it: a process that opens its main window, follows a resize, rests
// without keeping the processor busy and ends cleanly when the window is closed.
#include "player_process.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

TEST(PlayerWindow, OpensResizesIdlesAndExitsCleanlyOnClose)
{
    PlayerProcess player(test_support::BuildPath("lumarix.exe"));
    ASSERT_TRUE(player.Start(""));
    HWND hwnd = WaitForProcessWindow(player, "", 20000);
    ASSERT_NE(hwnd, nullptr) << "no visible window appeared";

    char cls[64] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    EXPECT_EQ(strncmp(cls, "LumarixClass", 12), 0) << cls;

    // A resize reaches the view; at rest the player uses little processor time.
    RECT before = {};
    GetWindowRect(hwnd, &before);
    SetWindowPos(hwnd, nullptr, 0, 0, 700, 500, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (int i = 0; i < 100; i++) {
        RECT now = {};
        GetWindowRect(hwnd, &now);
        if (now.right - now.left == 700)
            break;
        Sleep(20);
    }
    RECT after = {};
    GetWindowRect(hwnd, &after);
    EXPECT_EQ(after.right - after.left, 700);
    EXPECT_EQ(after.bottom - after.top, 500);
    Sleep(1500);
    FILETIME created, exited, kernel0, user0, kernel1, user1;
    ASSERT_TRUE(GetProcessTimes(player.pi.hProcess, &created, &exited, &kernel0, &user0));
    const DWORD start = GetTickCount();
    Sleep(2000);
    ASSERT_TRUE(GetProcessTimes(player.pi.hProcess, &created, &exited, &kernel1, &user1));
    auto ticks = [](const FILETIME& t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    const double cpu = (ticks(kernel1) - ticks(kernel0) + ticks(user1) - ticks(user0)) / 1e7;
    const double wall = (GetTickCount() - start) / 1000.0;
    EXPECT_LT(cpu / wall, 0.5) << "an idle player keeps a core busy: " << cpu << " s in " << wall;
    EXPECT_EQ(WaitForSingleObject(player.pi.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    PostMessageA(hwnd, WM_CLOSE, 0, 0);
    ASSERT_EQ(WaitForSingleObject(player.pi.hProcess, 20000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(player.pi.hProcess, &code);
    EXPECT_EQ(code, 0u);
}
