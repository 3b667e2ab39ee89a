// The engine's initialisation once its host window exists, and its shutdown while that window
// is being destroyed.
#include "viewer/main_wnd.h"

#include <objbase.h>

#include <cstring>

#include "core/disk_cache.h"
#include "core/fault_recovery.h"
#include "core/item_records.h"
#include "viewer/config_file.h"

namespace {

struct BuiltInFont {
    const char* name;
    const char* face;
    int weight;
    float size;
};

// Appended to the font list in this order, before any font of a tour; objects name them "0"-"4".
constexpr BuiltInFont kBuiltInFonts[] = {
    {"0", "Tahoma", FW_NORMAL, 13.5f},
    {"1", "Arial", FW_NORMAL, 15.0f},
    {"2", "Arial", FW_BOLD, 20.0f},
    {"3", "Verdana", FW_NORMAL, 13.0f},
    {"4", "Tahoma", FW_BOLD, 13.0f},
};

constexpr int kJoystickCount = 2;

}  // namespace

int BuiltInFontHeight(int pixelsPerInchY, float size)
{
    return static_cast<int>(static_cast<float>(pixelsPerInchY) / 15.0f * size);
}

int CMainWnd::Initialize(int viewWidth, int viewHeight, HWND hostWnd, int)
{
    HRESULT com = CoInitialize(nullptr);
    if (SUCCEEDED(com))
        m_comInitialized = 1;

    m_hostWnd = hostWnd;
    if (!m_tooltipOwner)
        m_tooltipOwner = hostWnd;
    if (!m_viewWnd)
        m_viewWnd = hostWnd;

    InstallRecoveryHandlers();

    for (int joystick = 0; joystick < kJoystickCount; joystick++) {
        if (joyGetDevCapsA(static_cast<UINT_PTR>(joystick), &m_joystickCaps[joystick],
                           sizeof m_joystickCaps[joystick]) != JOYERR_NOERROR)
            std::memset(&m_joystickCaps[joystick], 0, sizeof m_joystickCaps[joystick]);
    }

    CreateBuiltInFonts(hostWnd);

    m_currentFrame = &m_firstFrame;
    m_view.windowsVersion = m_osVersion;
    if (m_view.CreateDevice(viewWidth, viewHeight, m_viewWnd) != 0)
        return 0;

    StartCacheSessionIfFirst();
    ReadWriteSettings(SettingsRead, SettingsEveryRecord);

    // The interface images and the tooltips are made here as their classes come; the external
    // window is the engine's message window, so nothing can be posted to the engine before it
    // exists.
    BuildSphereMesh();
    CreateEngineWindows();
    CreateViewfinderImages();
    // A screensaver takes no 3D mouse input; an absent 3D mouse changes nothing.
    if (!m_screensaver)
        Connect3DMouse();
    m_initialized = 1;

    m_progressDlg.Create(hostWnd);
    LoadCloseButtonImages();
    ApplyLanguage();
    PostApplyParameters();
    if (m_params.maximize) {
        ::PostMessageA(hostWnd, WM_COMMAND, CaptionMaximize, 0);
        m_params.fullScreen = 0;
        if (m_params.interfaceMode == InterfaceNone)
            m_params.resize = 0;
    }
    ::PostMessageA(hostWnd, HostMessageRefreshToolbar, 0, 0);
    return 1;
}

void CMainWnd::CreateBuiltInFonts(HWND hostWnd)
{
    HDC dc = GetDC(hostWnd);
    int pixelsPerInchY = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc)
        ReleaseDC(hostWnd, dc);
    for (const BuiltInFont& builtIn : kBuiltInFonts) {
        FontItem* item = static_cast<FontItem*>(m_fonts.CreateItem(ItemType::Font));
        if (!item)
            continue;
        item->name = builtIn.name;
        LOGFONTA& font = item->logFont;
        font.lfHeight = BuiltInFontHeight(pixelsPerInchY, builtIn.size);
        font.lfWeight = builtIn.weight;
        font.lfOutPrecision = OUT_TT_PRECIS;
        font.lfQuality = PROOF_QUALITY;
        lstrcpynA(font.lfFaceName, builtIn.face, LF_FACESIZE);
        item->font = CreateFontIndirectA(&font);
    }
}

void CMainWnd::StartCacheSessionIfFirst()
{
    if (m_countedLive)
        return;
    m_countedLive = true;
    if (++g_liveEngineCount == 1)
        StartCacheSession();
}

void CMainWnd::EndCacheSessionIfLast()
{
    if (!m_countedLive)
        return;
    m_countedLive = false;
    // A thread that outlived its wait may still be writing a download: the marker stays, so
    // that the next start sweeps the cache as after a crash.
    if (--g_liveEngineCount == 0 && !m_threadLeftRunning)
        DeleteCacheMarker();
}

void CMainWnd::Shutdown()
{
    m_initialized = 0;

    StopCameraServerThread();
    StopUpdateLoop();
    DestroyEngineWindows();
    WaitForWorkerThreads();
    StopCameraEngineThread();

    // Back to the empty scene with nothing of the tour left; the device's active camera goes
    // back to the empty scene's before the frames holding the tour's cameras go.
    ClearScene(true);

    // Only now that no download can still be writing may the cache be trusted again.
    EndCacheSessionIfLast();

    m_cancel = 0;
    m_fonts.RemoveAll();
    m_view.ReleaseDevice(1);
    if (m_blankCursor) {
        DestroyCursor(m_blankCursor);
        m_blankCursor = nullptr;
    }

    Disconnect3DMouse();
    if (m_comInitialized) {
        CoUninitialize();
        m_comInitialized = 0;
    }
}
