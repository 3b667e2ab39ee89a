// Object tooltips and the built-in message box.
#include "viewer/main_wnd.h"

void CMainWnd::HideObjectTooltip()
{
    // Not built yet: does nothing (no object tooltip is ever shown).
}

void CMainWnd::EmptyToolRectangles()
{
    // Not built yet: does nothing (the built-in tooltips have no tool rectangles yet).
}

void CMainWnd::ShowMessageBox(int32_t)
{
    // Not built yet: does nothing (the built-in message box never shows).
}
