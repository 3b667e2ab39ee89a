// The engine's handlers of its windows' messages and of its own posted messages: size, show,
// display change, focus, keys, redraw, drag start, interface loaded, script reload, and the
// closing of the host window.
#include "viewer/main_wnd.h"

#include "core/mailboxes.h"

namespace {

// CFrame::overrides: the frame sets its own first autoplay.
constexpr uint32_t kFrameOverridesFirstAutoplay = 0x1000;
constexpr uint32_t kDeviceIdleBits = DeviceMinimised | DeviceHidden;

}  // namespace

void CMainWnd::OnSize(int type, int width, int height)
{
    if (!m_initialized || width <= 0 || height <= 0)
        return;
    m_view.UpdateSize(type, width, height);
    RestartFrameRate();
    if (m_applyPosted)
        return;
    UpdateAerialLimits(0);
    UpdateNavigationLimits(m_currentFrame);
    if (m_changeCount == 0)
        m_changeCount = 1;
    LayoutToolbar(true, kToolbarBothEdges);
    // The resized view is drawn now, not at the next redraw message.
    Tick(1);
}

void CMainWnd::OnShowWindow(int show)
{
    if (!m_initialized)
        return;
    if (show) {
        m_view.status &= ~static_cast<uint32_t>(DeviceHidden);
        m_view.UpdateSize(0, -1, -1);
    } else {
        m_view.status |= DeviceHidden;
    }
}

LRESULT CMainWnd::OnDisplayChange()
{
    if (m_initialized && !m_view.window && m_view.OnDisplayChange() == 0)
        m_changeCount++;
    return 1;
}

void CMainWnd::OnKillFocus()
{
    if (m_closeOnInput && m_closeOnFocusLoss)
        CloseHostWindow();
}

int CMainWnd::OnKeyDown(int key)
{
    int handled = 0;
    if (m_keyInputEnabled && m_closeOnInput && m_closeOnKeyboard) {
        CloseHostWindow();
        handled = 1;
    }
    if (m_keyboardEnabled)
        handled = ProcessKeyObjects(key, 0);
    return handled;
}

int CMainWnd::OnKeyUp(int key)
{
    int handled = 0;
    if (m_keyInputEnabled && key == VK_ESCAPE) {
        if (m_params.exitKey) {
            CloseHostWindow();
            handled = 1;
        } else if (m_viewInExternal && !m_externalClosePosted) {
            PostToViewer(ViewerMessageToggleFullScreen, 0, 0);
            m_externalClosePosted = 1;
            handled = 1;
        }
    }
    if (m_keyboardEnabled)
        handled = ProcessKeyObjects(0, key);
    return handled;
}

HRESULT CMainWnd::OnRedraw()
{
    m_redrawPending = 1;
    HRESULT result = 0;
    uint32_t status = m_view.status;
    if (!(status & ~kDeviceIdleBits) && !m_drawingSuspended) {
        if (status & DeviceMinimised)
            m_view.CheckWindowState(m_hostWnd);
        result = Tick(1);
    }
    m_redrawPending = 0;
    bool frameFirstAutoplay =
        m_currentFrame && (m_currentFrame->overrides & kFrameOverridesFirstAutoplay);
    if (!m_autoplayPending &&
        (frameFirstAutoplay || m_firstAutoplay[0] > 0.0f || m_firstAutoplay[1] > 0.0f))
        ScheduleAutoplay(1);
    return result;
}

LRESULT CMainWnd::OnBeginDragMessage()
{
    bool pressed = m_mouseButtons != 0 || (m_currentFrame && m_currentFrame->mouseMode == 4);
    if (pressed && GetCaptureState() == 0)
        BeginViewDrag();
    return 1;
}

LRESULT CMainWnd::OnInterfaceLoaded(int activate)
{
    if (!m_initialized)
        return 1;
    m_view.UpdateSize(-1, -1, -1);
    if (activate)
        ActivateFrame(&m_interfaceFrame, nullptr);
    return 1;
}

LRESULT CMainWnd::ReloadScriptFile()
{
    if (!m_initialized)
        return 1;
    CTexto command;
    command.Format("SetScriptFile(\"%s\");", m_scriptFile.GetText());
    RunCommandText(command.GetText(), false);
    return 1;
}

LRESULT CMainWnd::CompareOutput()
{
    // Not built yet: answers 1 and compares nothing (no reference picture can be given yet).
    return 1;
}

void CMainWnd::CloseHostWindow()
{
    if (m_hostWnd)
        PostMessageA(m_hostWnd, WM_CLOSE, 0, 0);
}

void CMainWnd::ShowPendingMessage()
{
    m_messageShowPosted = 0;
    // The message box takes the pending message itself.
    ShowMessageBox(1);
}
