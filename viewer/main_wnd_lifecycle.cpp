// Construction and destruction of the engine, and the process-wide things the engines share:
// the list of live engines, the network layer, the code pool, the media I/O procedure, the
// settings folders and the interface language.
#include "viewer/main_wnd.h"

#include <clocale>

#include "core/code_pool.h"
#include "core/disk_cache.h"
#include "core/language.h"
#include "core/stream.h"
#include "sources/media_io.h"
#include "viewer/config_file.h"
#include "viewer/live_viewer_registry.h"

std::atomic<int> g_liveEngineCount{0};
std::atomic<int> g_preferredBackEnd{RenderDirect3D9};
int32_t g_autoTourMode = 0;
float g_autoplayDelay = 30.0f;
float g_autoTourTime = 30.0f;
int32_t g_autoTourOrder = 0;

CMainWnd::CMainWnd()
{
    // Numbers in scripts and parameters always use '.', whatever the user's regional settings.
    LoadLanguage(kLanguageLoadAll);
    setlocale(LC_NUMERIC, "C");

    m_saveViewName = kSaveViewDefaultName;
    m_tooltipFontFace = kTooltipFontFace;
    m_sequence.type = ItemType::CameraSequence;
    m_measureValue.type = ItemType::Value;

    g_languageIndex = DetectLanguage();
    LoadLanguage(g_languageIndex);

    m_firstFrame.device = &m_view;
    m_interfaceFrame.device = &m_view;
    m_interfaceFrame.flags |= FrameKeptLoaded;
    m_currentFrame = &m_firstFrame;
    // Until a frame is shown the device looks through the interface frame's view camera.
    m_view.params->camera = &m_interfaceFrame.cameras[0];
    ResetNavigationLimits();

    m_osVersion.dwOSVersionInfoSize = sizeof m_osVersion;
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&m_osVersion)))
        m_osVersion.dwMajorVersion = 0;

    AcquireProcessResources();
}

CMainWnd::~CMainWnd()
{
    // Threads that run on this engine end before it goes, also for an owner that never called
    // Shutdown: the update loop that opening a document starts, and the others.
    m_updateLoopGeneration++;
    StopThread(m_stopUpdateLoop, m_updateLoopThread);
    StopCameraServerThread();
    WaitForWorkerThreads();
    StopCameraEngineThread();
    // Shutdown has released it already; an engine that never ran still owns its stand-in.
    Disconnect3DMouse();
    // The frames go before the device, which must not reach a frame's camera while it goes.
    m_view.params->camera = &m_view.ownCamera;
    for (HFONT& font : m_tooltipFonts) {
        if (font)
            DeleteObject(font);
        font = nullptr;
    }
    // Files cached for this run only go with it.
    SweepCache(CacheSweepSession, true);
    ReleaseProcessResources();
}

int CMainWnd::DetectLanguage()
{
    return ::DetectLanguage();
}

void CMainWnd::AcquireProcessResources()
{
    bool added = false;
    int engines = RegisterLiveViewer(this, &added);
    if (added && engines == 1)
        CFicheroHttp::StartupNetwork();

    FindSystemSettingsFolders();

    m_mediaIoInstalled =
        mmioInstallIOProcA(kMediaIoCode, &MediaIoProc, MMIO_INSTALLPROC | MMIO_GLOBALPROC) != nullptr;

    m_holdsCodePool = true;
    AcquireCodePool();
}

void CMainWnd::ReleaseProcessResources()
{
    bool removed = false;
    int engines = UnregisterLiveViewer(this, &removed);
    if (removed && engines == 0)
        CFicheroHttp::ShutdownNetwork();
    // The pool and its locks go back with the last reference of the process.
    if (m_holdsCodePool)
        ReleaseCodePool();
    m_holdsCodePool = false;

    if (m_mediaIoInstalled)
        mmioInstallIOProcA(kMediaIoCode, &MediaIoProc, MMIO_REMOVEPROC);
    m_mediaIoInstalled = false;
}
