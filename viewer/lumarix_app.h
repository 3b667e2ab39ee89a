// CLumarixApp: the application object. It decides whether the program runs as a player or as a
// screensaver (a copy of the program named *.scr), creates and shows the host window, and at the
// end hands back the engine's exit code as the process exit code.
#pragma once

#include "core/text_string.h"
#include "platform/application.h"

class CMainFrame;

constexpr const char* kWindowClassPlayer = "LumarixClass";
constexpr const char* kWindowClassScreensaver = "LumarixClassScr";
constexpr const char* kMainFrameTitle = "Lumarix -";
// WS_POPUP together with WS_OVERLAPPEDWINDOW.
constexpr DWORD kMainFrameStyle = 0x80CF0000;
constexpr RECT kMainFrameInitialRect = {0, 0, 500, 400};

// Class name of the host window; the start-up parameters may extend it.
extern CTexto g_windowClassName;

class CLumarixApp : public CWinApp {
public:
    CLumarixApp();
    ~CLumarixApp() override;

    BOOL InitInstance() override;
    int ExitInstance() override;

    CMainFrame* m_host = nullptr;

private:
    bool m_holdsCodePool = false;
};
