// Navigation of the main view: the autoplay start and the limit updates still to come.
#include "viewer/main_wnd.h"

void CMainWnd::ScheduleAutoplay(int32_t)
{
    // Not built yet: does nothing (autoplay never starts by itself).
}

void CMainWnd::UpdateNavigationLimits(int32_t)
{
    // Not built yet: does nothing (no limits are in force).
}

void CMainWnd::UpdateZoomLimits(int32_t)
{
    // Not built yet: does nothing (no zoom limits are in force).
}
