// The player as a user starts it: a process that opens its main window and ends cleanly when
// the window is closed.
#include "player_process.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

TEST(PlayerWindow, OpensItsWindowAndExitsCleanlyOnClose)
{
    PlayerProcess player(test_support::BuildPath("lumarix.exe"));
    ASSERT_TRUE(player.Start(""));
    HWND hwnd = WaitForProcessWindow(player, "", 20000);
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
