// Operations of the engine that the dispatcher, the update loop and the tick call and whose own
// work belongs to other parts of the viewer (frames, navigation, toolbar, interface layer, key
// objects, state reports). Each is replaced in place by its real body.
#include "viewer/main_wnd.h"


LRESULT CMainWnd::PressToolbarButton(int32_t)
{
    // Not built yet: answers 0 (no toolbar button is pressed).
    return 0;
}

LRESULT CMainWnd::OnMenuCommand(int32_t)
{
    // Not built yet: answers 0 (the menu command is not handled).
    return 0;
}

void CMainWnd::ShowContextMenu(int, int)
{
    // Not built yet: does nothing (no context menu opens).
}

int CMainWnd::ProcessKeyObjects(int, int)
{
    // Not built yet: answers 0 (no key object runs).
    return 0;
}

void CMainWnd::ShowViewfinder(int)
{
    // Not built yet: does nothing (the viewfinder stays as it is).
}


void CMainWnd::OnToolbarButton(int)
{
    // Not built yet: does nothing (toolbar buttons do not act).
}

void CMainWnd::OnToolbarSliderDrag(int)
{
    // Not built yet: does nothing (toolbar sliders do not move).
}

void CMainWnd::DrawToolbarButtons()
{
    // Not built yet: does nothing (the toolbar is not drawn).
}

void CMainWnd::DrawInterface(CFrame*)
{
    // Not built yet: does nothing (interface objects are not drawn).
}

void CMainWnd::DrawOverlay()
{
    // Not built yet: does nothing (no information overlay is drawn).
}

void CMainWnd::SetTimelapsePosition(CFrame*)
{
    // Not built yet: does nothing (the timelapse does not step).
}

void CMainWnd::UpdateLineItems(CFrame*, float)
{
    // Not built yet: does nothing (line items are not updated).
}

void CMainWnd::SendStateReport(int)
{
    // Not built yet: does nothing (no state report is sent).
}

void CMainWnd::CheckStates()
{
    // Not built yet: does nothing (object states are not polled).
}

void CMainWnd::PollHardwareMonitor()
{
    // Not built yet: does nothing (the hardware monitor is not read).
}

bool CMainWnd::MoveViewfinder(int, int)
{
    // Not built yet: answers false (the viewfinder does not move).
    return false;
}

void CMainWnd::ProcessObjectEvents(CFrame*)
{
    // Not built yet: does nothing (interface objects get no pointer events).
}

void CMainWnd::AddMeasurePoint()
{
    // Not built yet: does nothing (the measuring tool adds no point).
}
