#include "viewer/lumarix_app.h"

#include "core/clock.h"
#include "core/code_pool.h"
#include "core/package.h"
#include "core/system_wrappers.h"
#include "viewer/main_frame.h"
#include "viewer/screensaver_mode.h"

CTexto g_windowClassName;

namespace {

constexpr DWORD kProgramPathMax = 2047;
constexpr UINT kPlayerClassStyle = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;

}  // namespace

CLumarixApp::CLumarixApp() = default;

CLumarixApp::~CLumarixApp()
{
    delete m_host;
}

BOOL CLumarixApp::InitInstance()
{
    // The first reading fixes the clock's frequency for the whole process.
    GetTimeSeconds();
    m_holdsCodePool = true;
    AcquireCodePool();

    char path[kProgramPathMax + 1] = {};
    GetModuleFileNameA(m_hInstance, path, kProgramPathMax);
    g_programPath = path;

    m_host = new CMainFrame(m_lpCmdLine);
    m_pMainWnd = m_host;
    CMainWnd& engine = m_host->m_engine;

    engine.m_screensaver = IsScreensaverPath(g_programPath.GetText()) ? 1 : 0;
    g_windowClassName = engine.m_screensaver ? kWindowClassScreensaver : kWindowClassPlayer;

    ScreensaverCommand command;
    if (engine.m_screensaver) {
        command = ParseScreensaverCommand(m_lpCmdLine);
        if (command.letter == ScreensaverConfigure) {
            ShowMessageBox(nullptr, kScreensaverNoOptionsText, kMessageBoxCaption, MB_OK);
            return FALSE;
        }
        if (command.letter == ScreensaverPreview) {
            engine.m_keyboardEnabled = 0;
            HWND parent = reinterpret_cast<HWND>(command.parentWindow);
            RECT client = {};
            if (!parent || !IsWindow(parent) || !GetClientRect(parent, &client))
                return FALSE;
            if (!m_host->CreateEx(0, nullptr, nullptr, WS_CHILD, client, parent, 0))
                return FALSE;
            m_host->ShowWindow(SW_SHOW);
            m_host->UpdateWindow();
            return TRUE;
        }
        if (command.letter != ScreensaverShow)
            return FALSE;
    }

    // The full-screen screensaver stays above every other window.
    m_host->m_createTopmost = command.letter == ScreensaverShow;
    if (!m_host->CreateEx(0, RegisterWindowClass(kPlayerClassStyle), kMainFrameTitle, kMainFrameStyle,
                          kMainFrameInitialRect, nullptr, 0))
        return FALSE;

    if (command.letter == ScreensaverShow) {
        engine.m_closeOnInput = 1;
        engine.m_params.screensaver = 1;
        engine.m_keyboardEnabled = 0;
        m_host->ShowWindow(SW_SHOWMAXIMIZED);
    } else {
        m_host->ShowWindow(SW_SHOW);
    }
    m_host->UpdateWindow();
    return TRUE;
}

int CLumarixApp::ExitInstance()
{
    int exitCode = 0;
    if (m_host) {
        exitCode = m_host->m_engine.m_exitCode;
        if (m_host->m_hWnd)
            m_host->DestroyWindow();
        delete m_host;
    }
    m_host = nullptr;
    m_pMainWnd = nullptr;
    if (m_holdsCodePool)
        ReleaseCodePool();
    m_holdsCodePool = false;
    CWinApp::ExitInstance();
    return exitCode;
}
