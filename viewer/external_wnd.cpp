#include "viewer/external_wnd.h"

#include <windowsx.h>

#include "viewer/main_wnd.h"

CVentanaExt::CVentanaExt() = default;

CVentanaExt::~CVentanaExt() = default;

LRESULT CVentanaExt::RelayToEngine(UINT message, WPARAM wParam, LPARAM lParam)
{
    return m_engine ? m_engine->RelayExternalMessage(message, wParam, lParam) : 0;
}

LRESULT CVentanaExt::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LPARAM relayed = lParam;
    switch (message) {
    case WM_KILLFOCUS:
        OnKillFocus(reinterpret_cast<HWND>(wParam));
        return CImageWnd::WindowProc(message, wParam, lParam);
    case WM_SHOWWINDOW:
        if (!wParam)
            m_closePosted = 0;
        return CImageWnd::WindowProc(message, wParam, lParam);
    case WM_WINDOWPOSCHANGED:
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONUP:
        return CImageWnd::WindowProc(message, wParam, lParam);
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wParam) == m_hWnd)
            return CImageWnd::WindowProc(message, wParam, lParam);
        break;
    case WM_GETMINMAXINFO: {
        MINMAXINFO* info = reinterpret_cast<MINMAXINFO*>(lParam);
        const int framed = HasDrawnFrame() ? 1 : 0;
        if (RelayToEngine(message, wParam, lParam))
            return 1;
        LRESULT result = CImageWnd::WindowProc(message, wParam, lParam);
        info->ptMinTrackSize.x = m_minWidth[framed];
        info->ptMinTrackSize.y = m_minHeight[framed];
        return result;
    }
    case WM_SIZING:
        OnSizing(static_cast<UINT>(wParam), reinterpret_cast<RECT*>(lParam));
        break;
    case WM_SIZE:
        // The engine sees the size of the content, the frame lays itself out for the client.
        if (HasDrawnFrame() && m_externalMode) {
            const RECT content = GetContentRect();
            relayed = MAKELPARAM(content.right - content.left, content.bottom - content.top);
        }
        break;
    default:
        if (message >= WM_MOUSEMOVE && message <= WM_XBUTTONDBLCLK && m_externalMode) {
            const int x = GET_X_LPARAM(lParam);
            const int y = GET_Y_LPARAM(lParam);
            // Outside the content the frame drags and resizes itself.
            if (::GetCapture() != m_hWnd && !HitContent(x, y))
                return CImageWnd::WindowProc(message, wParam, lParam);
            if (HasDrawnFrame())
                relayed = MAKELPARAM(static_cast<WORD>(x - m_left), static_cast<WORD>(y - m_caption));
        }
        break;
    }
    if (RelayToEngine(message, wParam, relayed))
        return 1;
    return CImageWnd::WindowProc(message, wParam, lParam);
}

void CVentanaExt::RequestClose()
{
    if (!m_externalMode || m_closePosted)
        return;
    PostMessage(ViewerMessageToggleFullScreen, 0, 0);
    m_closePosted = 1;
}

void CVentanaExt::OnClose()
{
    // Closing only ever asks to leave external mode: the window is the engine's message window.
    RequestClose();
}

void CVentanaExt::OnKillFocus(HWND newFocus)
{
    if (!m_closeOnDeactivate || newFocus == m_hWnd)
        return;
    if (newFocus && (IsChild(m_hWnd, newFocus) || GetParent(newFocus) == m_hWnd))
        return;
    if (newFocus && newFocus == m_partner)
        return;
    RequestClose();
}

void CVentanaExt::OnDestroy()
{
    CImageWnd::OnDestroy();
    m_externalMode = nullptr;
    m_closePosted = 0;
}

void CVentanaExt::OnSizing(UINT edge, RECT* rect)
{
    m_screenWidth = GetSystemMetrics(SM_CXSCREEN);
    m_screenHeight = GetSystemMetrics(SM_CYSCREEN);
    if (!rect || !m_externalMode || HasDrawnFrame() || edge != WMSZ_BOTTOMRIGHT)
        return;
    int32_t* centre = m_centreRect;
    if ((centre[2] - centre[0]) % 2 != 0)
        centre[2]++;
    if ((centre[3] - centre[1]) % 2 != 0)
        centre[3]++;
    rect->left = centre[0] + centre[2] - rect->right;
    rect->top = centre[1] + centre[3] - rect->bottom;
    if (rect->right - rect->left < m_minWidth[0]) {
        const int middle = (centre[0] + centre[2]) / 2;
        rect->left = middle - m_minWidth[0] / 2;
        rect->right = rect->left + m_minWidth[0];
    }
    if (rect->bottom - rect->top < m_minHeight[0]) {
        const int middle = (centre[1] + centre[3]) / 2;
        rect->top = middle - m_minHeight[0] / 2;
        rect->bottom = rect->top + m_minHeight[0];
    }
    if (rect->left < 0)
        rect->left = 0;
    if (rect->top < 0)
        rect->top = 0;
    if (rect->right > m_screenWidth)
        rect->right = m_screenWidth;
    if (rect->bottom > m_screenHeight)
        rect->bottom = m_screenHeight;
}
