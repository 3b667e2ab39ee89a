// Who holds the mouse capture and the keyboard focus. Every caller asks through these, so that
// an engine without windows of its own answers "none".
#include "viewer/main_wnd.h"

namespace {

// The previous answer of GetCaptureState: ties consecutive calls together so that the end of a
// foreign capture clears the button bits exactly once.
std::atomic<int> g_lastCaptureState{CaptureNone};

}  // namespace

HWND CMainWnd::GetCapture() const
{
    if (m_windowless && m_hostInput)
        return nullptr;
    return ::GetCapture();
}

HWND CMainWnd::GetFocus() const
{
    if (m_windowless && m_hostInput)
        return nullptr;
    return ::GetFocus();
}

int CMainWnd::GetCaptureState()
{
    HWND holder = GetCapture();
    int state;
    if (!holder && m_dragMode == DragNone) {
        // A capture held by another window has just ended: the releases it saw never reached
        // the view.
        if (g_lastCaptureState == CaptureOtherWindow)
            m_mouseButtons = 0;
        state = CaptureNone;
    } else if (m_dragMode == DragView) {
        state = CaptureViewDrag;
    } else if (m_dragMode == DragObjectPending) {
        state = CaptureObjectDrag;
    } else {
        state = holder == m_viewWnd ? CaptureNone : CaptureOtherWindow;
    }
    g_lastCaptureState = state;
    return state;
}
