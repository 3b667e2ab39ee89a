// Presentation of the view: the viewfinder switch.
#include "viewer/main_wnd.h"

void CMainWnd::ToggleViewfinder()
{
    // Not built yet: does nothing (the viewfinder stays as it is).
}
