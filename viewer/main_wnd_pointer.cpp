// Pointer input on the view. These keep the pointer's position and buttons and drag the view;
// the events of objects under the pointer come with the object layer.
#include "viewer/main_wnd.h"

void CMainWnd::OnMouseMove(int keys, int x, int y)
{
    if (x != m_mouseX || y != m_mouseY) {
        m_pointerMoved = 1;
        if (m_mouseButtons)
            m_pressMoved = 1;
    }
    m_mouseX = x;
    m_mouseY = y;
    m_mouseButtons = keys & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON);
}

void CMainWnd::OnLButtonDown(int, int x, int y)
{
    m_mouseX = x;
    m_mouseY = y;
    m_mouseButtons |= MK_LBUTTON;
    m_pressMoved = 0;
    PostToViewer(ViewerMessageBeginDrag, 0, 0);
}

void CMainWnd::OnLButtonUp(int, int x, int y)
{
    m_mouseX = x;
    m_mouseY = y;
    m_mouseButtons &= ~MK_LBUTTON;
    EndDrag();
    ScheduleAutoplay(1);
}

void CMainWnd::OnRButtonDown(int, int x, int y)
{
    m_mouseX = x;
    m_mouseY = y;
    m_mouseButtons |= MK_RBUTTON;
}

void CMainWnd::OnMButtonDown(int, int x, int y)
{
    m_mouseX = x;
    m_mouseY = y;
    m_mouseButtons |= MK_MBUTTON;
}

void CMainWnd::OnMButtonUp(int, int x, int y)
{
    m_mouseX = x;
    m_mouseY = y;
    m_mouseButtons &= ~MK_MBUTTON;
}

LRESULT CMainWnd::OnMouseWheel(int, int delta, int, int)
{
    m_wheelDelta += delta;
    return 1;
}

void CMainWnd::BeginViewDrag()
{
    m_dragMode = DragView;
    m_dragOrigin[0] = m_mouseX;
    m_dragOrigin[1] = m_mouseY;
    if (m_viewWnd)
        SetCapture(m_viewWnd);
}

void CMainWnd::EndDrag()
{
    if (m_dragMode == DragView && ::GetCapture() == m_viewWnd)
        ReleaseCapture();
    m_dragMode = DragNone;
}

void CMainWnd::ProcessPointer(int)
{
    // Not built yet: does nothing (objects get no pointer events yet).
}

int CMainWnd::UpdateCursor()
{
    // Not built yet: answers 0 (the cursor stays as it is).
    return 0;
}

void CMainWnd::ReloadFrameImages(CFrame*)
{
    // Not built yet: does nothing (the frame keeps the images it has).
}
