// Parameter setters: each brings the engine in line with one viewer parameter.
#include "viewer/main_wnd.h"

void CMainWnd::SetRotationX(bool)
{
    // Not built yet: does nothing (the initial tilt stays the empty scene's own).
}

void CMainWnd::SetRotationY(bool)
{
    // Not built yet: does nothing (the initial pan stays the empty scene's own).
}

void CMainWnd::SetMinRotationX(bool)
{
    // Not built yet: does nothing (the tilt limits stay the empty scene's own).
}

void CMainWnd::SetMaxRotationX(bool)
{
    // Not built yet: does nothing (the tilt limits stay the empty scene's own).
}

void CMainWnd::SetMinRotationY(bool)
{
    // Not built yet: does nothing (the pan limits stay the empty scene's own).
}

void CMainWnd::SetMaxRotationY(bool)
{
    // Not built yet: does nothing (the pan limits stay the empty scene's own).
}

void CMainWnd::SetMinZoom(bool)
{
    // Not built yet: does nothing (the zoom limits stay the empty scene's own).
}

void CMainWnd::SetMaxZoom(bool)
{
    // Not built yet: does nothing (the zoom limits stay the empty scene's own).
}

void CMainWnd::ApplyZoom(bool)
{
    // Not built yet: does nothing (the active camera keeps its zoom).
}

void CMainWnd::ApplyFovMode()
{
    // Not built yet: does nothing (the view keeps its field-of-view mode).
}

void CMainWnd::ApplySequenceFile()
{
    // Not built yet: does nothing (no camera sequence is loaded).
}

void CMainWnd::ApplyMouseMode()
{
    // Not built yet: does nothing (the current frame keeps its mouse mode).
}

void CMainWnd::ApplyHorizonPosition()
{
    // Not built yet: does nothing (the frame is not laid out again).
}

void CMainWnd::ApplyFisheye()
{
    // Not built yet: does nothing (the projection keeps its strength).
}

void CMainWnd::ApplyInterfaceFile()
{
    // Not built yet: does nothing (no interface script is read).
}
