// Presentation of the view: focus and the viewfinder.
#include "viewer/main_wnd.h"

void CMainWnd::FocusView()
{
    // Not built yet: does nothing (the focus stays where it is).
}

void CMainWnd::ToggleViewfinder()
{
    // Not built yet: does nothing (the viewfinder stays as it is).
}
