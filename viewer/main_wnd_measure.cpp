// The measuring tool: distances, outlines, inclines and areas marked in the view.
#include "viewer/main_wnd.h"

void CMainWnd::ClearMeasurement()
{
    // Not built yet: does nothing (no measurement is ever marked).
}
