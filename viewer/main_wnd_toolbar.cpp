// The built-in toolbar and its controls.
#include "viewer/main_wnd.h"

void CMainWnd::ResetToolbarControls()
{
    // Not built yet: does nothing (no built-in control is ever shown).
}

void CMainWnd::SetToolbarButtons()
{
    // Not built yet: does nothing (the toolbar slots keep their state).
}

void CMainWnd::LayoutToolbar(bool, int32_t)
{
    // Not built yet: does nothing (the toolbar is not laid out).
}
