// Frame ready and projections: what follows the arrival of a frame's imagery, and the choice of
// the main device's back end.
#include "viewer/main_wnd.h"

bool CMainWnd::SelectRenderBackEnd(int32_t, bool)
{
    // Not built yet: answers false (the main device keeps its back end).
    return false;
}
