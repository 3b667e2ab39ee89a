// Navigation of the main view: limits and the autoplay start.
#include "viewer/main_wnd.h"

void CMainWnd::ResetNavigationLimits()
{
    // Not built yet: does nothing (the empty scene keeps its limits).
}

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

void CMainWnd::ClampCameraToLimits()
{
    // Not built yet: does nothing (the camera is never limited).
}
