// The engine's message dispatcher: the host, external and viewfinder windows offer it their
// messages before their own handlers.
#include "viewer/main_wnd.h"

LRESULT CMainWnd::HandleMessage(UINT, WPARAM, LPARAM)
{
    // Not built yet: answers 0 (not consumed), so the windows handle everything themselves.
    return 0;
}

LRESULT CMainWnd::RelayViewfinderMessage(UINT, WPARAM, LPARAM)
{
    // Not built yet: answers 0 (not consumed).
    return 0;
}

LRESULT CMainWnd::RelayExternalMessage(UINT, WPARAM, LPARAM)
{
    // Not built yet: answers 0 (not consumed).
    return 0;
}
