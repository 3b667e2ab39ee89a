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
