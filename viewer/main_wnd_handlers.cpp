// The engine's handlers of its window's messages.
#include "viewer/main_wnd.h"

void CMainWnd::OnShowWindow(int)
{
    // Not built yet: does nothing (the device keeps its hidden flag and size).
}
