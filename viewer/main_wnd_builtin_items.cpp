// The engine's own items of the interface frame: the message box, its close button, the video
// controls' pictures.
#include "viewer/main_wnd.h"

void CMainWnd::CreateBuiltInItems()
{
    // Not built yet: does nothing (the interface frame holds only what its scripts made).
}
