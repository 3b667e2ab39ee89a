// Navigation of the main view: the autoplay start and the limit updates still to come.
#include "viewer/main_wnd.h"

void CMainWnd::ScheduleAutoplay(int32_t)
{
    // Not built yet: does nothing (autoplay never starts by itself).
}

void CMainWnd::UpdateNavigationLimits(CFrame*)
{
    // Not built yet: does nothing (the limits in force stay).
}

bool CMainWnd::UpdateZoomLimits(CFrame*)
{
    // Not built yet: answers false (no zoom was changed).
    return false;
}
