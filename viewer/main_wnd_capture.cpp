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
    if (m_tickInput.windowsKnown)
        return m_tickInput.capture;
    return ::GetCapture();
}

HWND CMainWnd::GetFocus() const
{
    if (m_windowless && m_hostInput)
        return nullptr;
    if (m_tickInput.windowsKnown)
        return m_tickInput.focus;
    return ::GetFocus();
}

void CMainWnd::TakeTickInput(bool keys)
{
    if (!m_tickInput.windowsKnown) {
        // One question answers both, where GetFocus and GetCapture would ask one each.
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        if (GetGUIThreadInfo(GetCurrentThreadId(), &info)) {
            m_tickInput.focus = info.hwndFocus;
            m_tickInput.capture = info.hwndCapture;
            m_tickInput.windowsKnown = true;
        }
    }
    // With the focus in this thread every key press passes its queue, so a key the queue never
    // saw go down is up (or went down a moment ago, and its message is the next one read): only
    // keys the queue holds down need the slower look at the keyboard itself. Without the focus
    // (a host that keeps its own input) every key is looked at.
    if (keys && !m_keyState && GetFocus() != nullptr)
        m_tickInput.keysKnown = GetKeyboardState(m_tickInput.keys) != 0;
}

void CMainWnd::DropTickInput()
{
    m_tickInput.windowsKnown = false;
    m_tickInput.keysKnown = false;
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
