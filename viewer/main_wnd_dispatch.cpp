// The engine's message dispatcher: the host, external and viewfinder windows offer it their
// messages before their own handlers. Also posting to the engine, its timers and the relays of
// the secondary windows.
#include "viewer/main_wnd.h"

namespace {

// Mouse messages carry their point in lParam: x the signed low word, y the signed high word.
int PointX(LPARAM lParam)
{
    return static_cast<int16_t>(LOWORD(static_cast<DWORD>(lParam)));
}

int PointY(LPARAM lParam)
{
    return static_cast<int16_t>(HIWORD(static_cast<DWORD>(lParam)));
}

LPARAM MakePoint(int x, int y)
{
    return static_cast<LPARAM>(MAKELONG(static_cast<int16_t>(x), static_cast<int16_t>(y)));
}

bool IsMouseMessage(UINT message)
{
    return (message >= WM_MOUSEFIRST && message <= 0x20D) || message == WM_MOUSEWHEEL;
}

// Key code of an application command for the key objects.
constexpr int kAppCommandKeyBase = 0x100;
constexpr int kAppCommandMask = 0xEFF;
constexpr int kDoubleClickKeyFlag = 0x4000;
// m_viewerOptions: a double click toggles full screen.
constexpr int32_t kOptionDoubleClickFullScreen = 0x4;

}  // namespace

bool CMainWnd::PostToViewer(UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND window = m_messageWnd;
    if (!m_initialized || !window)
        return false;
    return PostMessageA(window, message, wParam, lParam) != 0;
}

UINT_PTR CMainWnd::SetViewerTimer(UINT_PTR id, UINT milliseconds, TIMERPROC callback)
{
    if (!m_messageWnd)
        return 0;
    return SetTimer(m_messageWnd, id, milliseconds, callback);
}

void CMainWnd::KillViewerTimer(UINT_PTR id)
{
    if (m_messageWnd)
        KillTimer(m_messageWnd, id);
}

LRESULT CMainWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    int x = 0, y = 0;
    if (IsMouseMessage(message)) {
        x = PointX(lParam);
        y = PointY(lParam);
    }
    int keys = static_cast<int>(LOWORD(wParam));
    // The view lies in the external window: its button presses are consumed there.
    LRESULT buttonResult = m_viewInExternal ? 1 : 0;

    switch (message) {
    case WM_MOVE:
        return 0;
    case WM_SIZE:
        OnSize(static_cast<int>(wParam), LOWORD(static_cast<DWORD>(lParam)),
               HIWORD(static_cast<DWORD>(lParam)));
        return 0;
    case WM_KILLFOCUS:
        OnKillFocus();
        return 0;
    case WM_PAINT:
        OnPaint(nullptr);
        return 0;
    case WM_SHOWWINDOW:
        OnShowWindow(static_cast<int>(wParam));
        return 0;
    case WM_SETCURSOR:
        return LOWORD(static_cast<DWORD>(lParam)) == HTCLIENT ? 1 : 0;
    case WM_WINDOWPOSCHANGED: {
        const WINDOWPOS* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
        if (!pos)
            return 0;
        if (pos->flags & SWP_SHOWWINDOW)
            OnShowWindow(SW_SHOW);
        else if ((pos->flags & SWP_HIDEWINDOW) && m_initialized)
            m_view.status |= DeviceHidden;
        if (!(pos->flags & SWP_NOSIZE))
            OnSize(0, pos->cx, pos->cy);
        return 0;
    }
    case WM_DISPLAYCHANGE:
        return OnDisplayChange();
    case WM_KEYDOWN:
        return OnKeyDown(static_cast<int>(wParam));
    case WM_KEYUP:
        return OnKeyUp(static_cast<int>(wParam));
    case WM_COMMAND:
        if (LOWORD(wParam) >= kMenuCommandFirst && LOWORD(wParam) <= kMenuCommandLast)
            return OnMenuCommand(LOWORD(wParam));
        return 0;
    case WM_TIMER:
        OnTimer(wParam);
        return 0;
    case WM_MOUSEMOVE:
        OnMouseMove(keys, x, y);
        return 1;
    case WM_LBUTTONDOWN:
        OnLButtonDown(keys, x, y);
        return buttonResult;
    case WM_LBUTTONUP:
        OnLButtonUp(keys, x, y);
        return buttonResult;
    case WM_LBUTTONDBLCLK:
        m_doubleClicked = 1;
        OnLButtonDown(keys | kDoubleClickKeyFlag, x, y);
        if ((m_viewerOptions & kOptionDoubleClickFullScreen) && GetCaptureState() != 3) {
            EndDrag();
            PostToViewer(ViewerMessageToggleFullScreen, 0, 1);
        }
        return buttonResult;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
        if (!m_rightButtonDisabled) {
            if (m_oneMouseButton)
                OnLButtonDown(keys, x, y);
            else
                OnRButtonDown(keys, x, y);
        }
        return 1;
    case WM_RBUTTONUP:
        if (!m_rightButtonDisabled) {
            if (m_oneMouseButton)
                OnLButtonUp(keys, x, y);
            else
                ShowContextMenu(x, y);
        }
        return 1;
    case WM_MBUTTONDOWN:
        OnMButtonDown(keys, x, y);
        return 0;
    case WM_MBUTTONUP:
        OnMButtonUp(keys, x, y);
        return 0;
    case WM_MOUSEWHEEL:
        return OnMouseWheel(keys, static_cast<int16_t>(HIWORD(wParam)), x, y);
    case WM_APPCOMMAND:
        return ProcessKeyObjects(
            0, kAppCommandKeyBase | (HIWORD(static_cast<DWORD>(lParam)) & kAppCommandMask));
    case MM_MCINOTIFY:
        if (wParam == MCI_NOTIFY_SUCCESSFUL)
            RestartLoopingSounds();
        return 0;

    case ViewerMessageApplyParameters:
        return OpenDocument(wParam, lParam);
    case ViewerMessageToggleExternalWindow:
        ToggleFullScreen(0, 0);
        return 1;
    case ViewerMessageToggleFullScreen:
        return ToggleFullScreen(static_cast<int>(wParam), static_cast<int>(lParam));
    case ViewerMessageBeginDrag:
        return OnBeginDragMessage();
    case ViewerMessageGoToFrame:
        return GoToFrame(static_cast<int32_t>(wParam));
    case ViewerMessageFrameReady:
        return OnFrameReady(reinterpret_cast<CFrame*>(wParam), static_cast<int32_t>(lParam));
    case ViewerMessagePressToolbarButton:
        return PressToolbarButton(static_cast<int32_t>(wParam));
    case ViewerMessageReloadScriptFile:
        return ReloadScriptFile();
    case ViewerMessageCompareOutput:
        return CompareOutput();
    case ViewerMessageRedraw:
        return OnRedraw();
    case ViewerMessageInterfaceLoaded:
        return OnInterfaceLoaded(static_cast<int>(wParam));
    case ViewerMessageKeyDown:
        return OnKeyDown(static_cast<int>(wParam));
    case ViewerMessageKeyUp:
        return OnKeyUp(static_cast<int>(wParam));
    case ViewerMessageVideoGraphEvent:
        DrainVideoEvents(reinterpret_cast<CSprite*>(lParam));
        return 0;
    case ViewerMessageCameraServer:
        if (wParam)
            StartCameraServerThread();
        else
            StopCameraServerThread();
        return 0;
    case ViewerMessageCameraFound:
        // Not built yet: the connect dialog's search ends with its dialog.
        return 0;
    case ViewerMessageCameraCommand:
        return OnCameraCommand(static_cast<int32_t>(wParam), lParam);
    case ViewerMessageShowPendingMessage:
        ShowPendingMessage();
        return 0;
    default:
        return 0;
    }
}

LRESULT CMainWnd::RelayViewfinderMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!IsMouseMessage(message))
        return 0;
    if (message != WM_MOUSEWHEEL) {
        // From viewfinder coordinates into the view's: both screen positions as 16-bit values.
        RECT finder = {};
        HWND finderWindow = nullptr;
        // Not built yet: the viewfinder window arrives with its class; its origin counts as 0.
        if (finderWindow)
            GetWindowRect(finderWindow, &finder);
        RECT view = m_view.deviceRect;
        int x = PointX(lParam) + static_cast<int16_t>(finder.left) -
                static_cast<int16_t>(view.left);
        int y = PointY(lParam) + static_cast<int16_t>(finder.top) - static_cast<int16_t>(view.top);
        lParam = MakePoint(x, y);
    }
    return HandleMessage(message, wParam, lParam);
}

LRESULT CMainWnd::RelayExternalMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return HandleMessage(message, wParam, lParam);
}

void CMainWnd::OnTimer(UINT_PTR id)
{
    switch (id) {
    case ViewerTimerTourStep:
        KillViewerTimer(id);
        if (m_autoplayRunning)
            AutoTourStep();
        break;
    case ViewerTimerCameraStep:
        if (FollowGround(0) != -1) {
            m_changeCount++;
            KillViewerTimer(id);
        }
        break;
    case ViewerTimerButtonRelease:
        if (!(GetAsyncKeyState(VK_LBUTTON) & 0x8000) && !(GetAsyncKeyState(VK_RBUTTON) & 0x8000) &&
            !(GetAsyncKeyState(VK_MBUTTON) & 0x8000))
            OnLButtonUp(0, m_mouseX, m_mouseY);
        KillViewerTimer(id);
        break;
    case ViewerTimerAutoplayStart:
        if (m_autoplayPending == 1)
            m_autoplayPending = 3;
        KillViewerTimer(id);
        StartAutoplay(1);
        break;
    case ViewerTimerImageRefresh:
        // The image reload comes with the frame loaders; the change is drawn.
        m_changeCount++;
        KillViewerTimer(id);
        break;
    case ViewerTimerResumeCamera:
        if (m_currentFrame)
            m_currentFrame->ResumePlayback();
        KillViewerTimer(id);
        break;
    case ViewerTimerHardwareMonitor:
        PollHardwareMonitor();
        m_changeCount++;
        break;
    default:
        break;
    }
}
