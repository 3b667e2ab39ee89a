#include "cameras/camera_threads.h"

#include "viewer/main_wnd.h"

unsigned CameraServerThread(void*)
{
    // Not built yet: returns at once (no camera commands are served).
    return 0;
}

unsigned CameraEngineThread(void*)
{
    // Not built yet: returns at once (no camera is polled or watched).
    return 0;
}

unsigned UpdateLoopThread(void* engine)
{
    static_cast<CMainWnd*>(engine)->UpdateLoop();
    return 0;
}
