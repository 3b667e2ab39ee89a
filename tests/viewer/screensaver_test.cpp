// Screensaver mode: a copy of the player named *.scr does what Windows asks with its switch.
// The copies run as real processes; the test plays Windows (the preview window, the user who
// answers the configure message).
#include "player_process.h"
#include "test_support.h"
#include "viewer/screensaver_mode.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr DWORD kWaitMs = 20000;

TEST(ScreensaverMode, ProgramNameDecides)
{
    struct Case {
        const char* path;
        bool screensaver;
    } cases[] = {
        {"C:\\x\\player.scr", true},
        {"C:\\x\\PLAYER.SCR", true},
        {"C:\\x\\Player.Scr", true},
        {"C:\\x\\player.scr.exe", false},
        {"C:\\x\\player.exe", false},
        {".scr", true},
        {"scr", false},
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsScreensaverPath(c.path), c.screensaver) << c.path;
    EXPECT_FALSE(IsScreensaverPath(nullptr));
}

TEST(ScreensaverMode, SwitchAndPreviewWindow)
{
    struct Case {
        const char* commandLine;
        char letter;
        uintptr_t parent;
    } cases[] = {
        {"/c", 'c', 0},
        {"-c", 'c', 0},
        {"xc", 'c', 0},
        {"/C", 'c', 0},
        {"/s", 's', 0},
        {"/S", 's', 0},
        {"/p 1234", 'p', 1234},
        {"/P 1234", 'p', 1234},
        {"/p 0x4D2", 'p', 1234},
        {"/p #4d2", 'p', 1234},
        {"/p1234", 'p', 234},
        {"/p", 'p', 0},
        {"/p ", 'p', 0},
        {"/p x", 'p', 0},
        {"/p 4294967297", 'p', sizeof(uintptr_t) == 8 ? uintptr_t(4294967297ull) : 1},
        {"/p +1234", 'p', 1234},
        {"/p -2", 'p', uintptr_t(0) - 2},  // sign-extended like a 32-bit handle
        {"/p -", 'p', 0},
        {"/x", 'x', 0},
        {"/", ScreensaverNone, 0},
        {"", ScreensaverNone, 0},
    };
    for (const Case& c : cases) {
        ScreensaverCommand command = ParseScreensaverCommand(c.commandLine);
        EXPECT_EQ(command.letter, c.letter) << c.commandLine;
        EXPECT_EQ(command.parentWindow, c.parent) << c.commandLine;
    }
    EXPECT_EQ(ParseScreensaverCommand(nullptr).letter, ScreensaverNone);
}

// A copy of the player under another name in the folder; its path.
std::string CopyOfPlayer(const std::string& folder, const std::string& name)
{
    std::string path = folder + "\\" + name;
    CopyFileA(test_support::BuildPath("lumarix.exe").c_str(), path.c_str(), FALSE);
    return path;
}

BOOL CALLBACK FindText(HWND window, LPARAM lParam)
{
    char text[128] = {};
    GetWindowTextA(window, text, sizeof text);
    if (std::strcmp(text, kScreensaverNoOptionsText) == 0) {
        *reinterpret_cast<bool*>(lParam) = true;
        return FALSE;
    }
    return TRUE;
}

class ScreensaverProcess : public ::testing::Test {
protected:
    std::string folder = test_support::ScratchDir("screensaver");
};

TEST_F(ScreensaverProcess, ConfigureShowsTheMessageAndNoWindow)
{
    for (const char* name : {"x.scr", "X.SCR"}) {
        PlayerProcess copy(CopyOfPlayer(folder, name));
        ASSERT_TRUE(copy.Start(name[0] == 'x' ? "/c" : "-C")) << name;
        HWND box = WaitForProcessWindow(copy, "#32770", kWaitMs);
        ASSERT_NE(box, nullptr) << name << ": no message box";
        bool found = false;
        EnumChildWindows(box, FindText, reinterpret_cast<LPARAM>(&found));
        EXPECT_TRUE(found) << name << ": the message box does not say there are no options";
        EXPECT_EQ(FindProcessWindow(copy.pi.dwProcessId, "LumarixClass", false), nullptr)
            << name << ": a configure run makes no main window";
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(copy.WaitForExit(kWaitMs), 0) << name;
    }
}

TEST_F(ScreensaverProcess, ShowRunsFullScreen)
{
    PlayerProcess copy(CopyOfPlayer(folder, "X.SCR"));
    ASSERT_TRUE(copy.Start("/s"));
    HWND window = WaitForProcessWindow(copy, "LumarixClassScr", kWaitMs);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(IsZoomed(window));
    LONG style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_FALSE(style & WS_CAPTION) << "a full-screen screensaver has no frame";
    EXPECT_FALSE(style & WS_THICKFRAME);
    RECT rect = {};
    RECT work = {};
    GetWindowRect(window, &rect);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_LE(rect.left, work.left);
    EXPECT_LE(rect.top, work.top);
    EXPECT_GE(rect.right, work.right);
    EXPECT_GE(rect.bottom, work.bottom);
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(copy.WaitForExit(kWaitMs), 0);
}

TEST_F(ScreensaverProcess, PreviewRunsAsChildOfTheGivenWindow)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ScreensaverPreviewHost";
    RegisterClassA(&wc);
    HWND host = CreateWindowExA(0, wc.lpszClassName, "preview", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 320, 240,
                                nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(host, nullptr);

    PlayerProcess copy(CopyOfPlayer(folder, "x.scr"));
    char arguments[64];
    std::snprintf(arguments, sizeof arguments, "/p %llu",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(host)));
    ASSERT_TRUE(copy.Start(arguments));
    HWND child = WaitForProcessWindow(copy, "LumarixClassScr", kWaitMs, host);
    ASSERT_NE(child, nullptr) << "no child window in the preview window";
    EXPECT_EQ(GetParent(child), host);
    EXPECT_TRUE(GetWindowLongA(child, GWL_STYLE) & WS_CHILD);
    RECT hostClient = {};
    RECT childRect = {};
    GetClientRect(host, &hostClient);
    GetWindowRect(child, &childRect);
    EXPECT_EQ(childRect.right - childRect.left, hostClient.right);
    EXPECT_EQ(childRect.bottom - childRect.top, hostClient.bottom);

    // Windows ends a preview by destroying the preview window.
    DestroyWindow(host);
    EXPECT_EQ(copy.WaitForExit(kWaitMs), 0);
}

TEST_F(ScreensaverProcess, AnyOtherSwitchEndsWithoutAWindow)
{
    for (const char* arguments : {"/x", "", "/", "/p", "/p 0"}) {
        PlayerProcess copy(CopyOfPlayer(folder, "x.scr"));
        ASSERT_TRUE(copy.Start(arguments)) << arguments;
        EXPECT_EQ(copy.WaitForExit(kWaitMs), 0) << "'" << arguments << "'";
    }
}

TEST_F(ScreensaverProcess, NameThatOnlyContainsScrIsAPlayer)
{
    PlayerProcess copy(CopyOfPlayer(folder, "x.scr.exe"));
    ASSERT_TRUE(copy.Start("/s"));
    HWND window = WaitForProcessWindow(copy, "LumarixClass", kWaitMs);
    ASSERT_NE(window, nullptr);
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    EXPECT_STREQ(name, "LumarixClass");
    EXPECT_FALSE(IsZoomed(window));
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(copy.WaitForExit(kWaitMs), 0);
}

}  // namespace
