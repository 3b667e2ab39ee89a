// Object tooltips: the tip shown while the pointer rests on an object.
#include "viewer/main_wnd.h"

void CMainWnd::HideObjectTooltip()
{
    // Not built yet: does nothing (no object tooltip is ever shown).
}
