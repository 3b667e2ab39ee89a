// Pointer input on the view and its objects.
#include "viewer/main_wnd.h"

void CMainWnd::ReloadFrameImages(CFrame*)
{
    // Not built yet: does nothing (the frame keeps the images it has).
}
