// How the finished image reaches the screen: presenting and painting, the move of the view
// between the host and the external window (popup or full screen), focus, the view's screen
// rectangle, the About window, the software device's surface kind and the user's choice of
// back end.
#include "viewer/main_wnd.h"

#include "render/directx_probe.h"

namespace {

// Toolbar slots the full-screen switch keeps in step.
constexpr int kSlotFullScreen = 3;
constexpr int kSlotExternalWindow = 4;
constexpr int kSlotClose = 9;
// The About window's top-left corner lies this far left of and above the screen's centre.
constexpr int kAboutHalfWidth = 250;
constexpr int kAboutHalfHeight = 190;

}  // namespace

bool CMainWnd::GetViewWindowRect(RECT* rect)
{
    *rect = {0, 0, 0, 0};
    if (!m_viewWnd || !::GetClientRect(m_viewWnd, rect))
        return false;
    MapWindowPoints(m_viewWnd, nullptr, reinterpret_cast<POINT*>(rect), 2);
    return true;
}

void CMainWnd::PresentView(HDC dc)
{
    HDC own = nullptr;
    if (!dc) {
        if (!m_view.window)
            return;
        if (m_view.gdiMode) {
            own = GetDC(m_view.window);
            dc = own;
        }
    }
    if (!m_view.window) {
        // Window-less hosting: the host says where the image goes.
        m_view.presentOffset = m_hostClipRect;
        RECT place;
        if (GetViewWindowRect(&place))
            m_view.deviceRect = place;
    }
    m_view.Present(dc);
    if (own)
        ReleaseDC(m_view.window, own);
}

void CMainWnd::OnPaint(HDC dc)
{
    if (dc && m_externalWnd.m_externalMode && !m_view.fullscreen) {
        // The view is away: its place in the host shows the frame's background.
        RECT place = {0, 0, 0, 0};
        if (m_viewWnd)
            ::GetClientRect(m_viewWnd, &place);
        SetBkColor(dc, InterfaceColourRef(m_currentFrame ? m_currentFrame->backColour : 0));
        ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &place, "", 0, nullptr);
        return;
    }
    if (m_initialized && !m_applyPosted)
        PresentView(dc);
}

void CMainWnd::FocusView(HWND window)
{
    HWND external = m_externalWnd.m_hWnd;
    HWND target = window && window == external ? external : m_hostWnd;
    if (target)
        SetFocus(target);
}

LRESULT CMainWnd::ToggleFullScreen(int framed, int fullScreen)
{
    HideObjectTooltip();
    HWND external = m_externalWnd.m_hWnd;
    bool comeBack = m_externalWnd.m_externalMode != nullptr;
    bool closedQueued = false;
    bool refused = false;

    if (!comeBack && external) {
        RECT r;
        GetViewWindowRect(&r);
        LONG_PTR style = WS_POPUP;
        if (framed && !fullScreen)
            style |= WS_BORDER;
        SetWindowLongPtrA(external, GWL_STYLE, style);
        const bool skinned = !framed && !fullScreen;
        if (skinned) {
            r.left -= m_externalWnd.m_left;
            r.top -= m_externalWnd.m_caption;
            r.right += m_externalWnd.m_right;
            r.bottom += m_externalWnd.m_bottom;
        }
        // The window's shape from its hidden days would cut the new place off.
        SetWindowRgn(external, nullptr, FALSE);
        SetWindowPos(external, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
        m_externalWnd.m_externalMode = m_hostWnd;
        m_viewInExternal = 1;
        ShowWindow(external, SW_SHOWNA);
        ValidateRect(external, nullptr);
        if (skinned) {
            m_externalWnd.SetSkinned(true, r.right - r.left, r.bottom - r.top);
            HWND content = m_externalWnd.m_content.m_hWnd;
            m_view.AttachWindow(content ? content : external);
            CWnd* parts[] = {&m_externalWnd.m_captionStatic, &m_externalWnd.m_leftStatic,
                             &m_externalWnd.m_rightStatic, &m_externalWnd.m_bottomStatic};
            for (CWnd* part : parts) {
                if (part->m_hWnd)
                    RedrawWindow(part->m_hWnd, nullptr, nullptr,
                                 RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
            }
            m_tooltipOffset[0] = m_externalWnd.m_left;
            m_tooltipOffset[1] = m_externalWnd.m_caption;
        } else {
            m_externalWnd.SetSkinned(false, r.right - r.left, r.bottom - r.top);
            m_view.AttachWindow(external);
            m_tooltipOffset[0] = 0;
            m_tooltipOffset[1] = 0;
        }
        m_tooltipOwner = external;

        if (fullScreen) {
            m_closeControlShown = 0;
            if (m_view.ToggleFullscreen(0, 0) == 0) {
                m_fullScreenOpened = 1;
            } else {
                comeBack = true;
                refused = true;
            }
        }
    }

    if (comeBack) {
        if (m_view.fullscreen) {
            m_view.ToggleFullscreen(0, 0);
            m_closeControlShown = m_closeButtonSetting != 0;
            QueueHostEvent("event", "_fullscreenclosed_");
            closedQueued = true;
        }
        m_externalWnd.m_externalMode = nullptr;
        m_viewInExternal = 0;
        RECT place;
        if (GetViewWindowRect(&place))
            m_view.deviceRect = place;
        m_view.AttachWindow(m_viewWnd);
        if (external) {
            if (IsIconic(external)) {
                WINDOWPLACEMENT placement = {};
                placement.length = sizeof placement;
                GetWindowPlacement(external, &placement);
                placement.rcNormalPosition = place;
                placement.showCmd = SW_SHOWNORMAL;
                SetWindowPlacement(external, &placement);
            }
            ShowWindow(external, SW_HIDE);
        }
        if (m_viewerTopmost && m_hostWnd)
            SetWindowPos(m_hostWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        m_tooltipOwner = m_hostWnd;
        m_tooltipOffset[0] = m_hostViewOffset[0];
        m_tooltipOffset[1] = m_hostViewOffset[1];
        FocusView(m_viewWnd);
    }
    // A refused full screen: the software device moves to GDI surfaces (once) and the view
    // reopens as a borderless popup.
    if (refused && !m_view.gdiMode) {
        SetSurfaceMode(1);
        PostToViewer(ViewerMessageToggleFullScreen, 0, 0);
    }

    UpdateZoomLimits();
    UpdateNavigationLimits();
    m_changeCount++;
    EndDrag();
    const bool out = m_externalWnd.m_externalMode != nullptr;
    m_params.fullScreen = m_view.fullscreen;
    m_buttonPressed[kSlotFullScreen] = m_view.fullscreen;
    m_buttonPressed[kSlotExternalWindow] = out && !m_view.fullscreen;
    m_buttonShown[kSlotClose] = m_closeButtonSetting == 1 || (m_closeButtonSetting != 0 && out);
    m_pointerObjectId = -1;
    LayoutToolbar(true, kToolbarBothEdges);
    if (closedQueued)
        m_fullScreenClosed = 1;
    return 1;
}

void CMainWnd::SetSurfaceMode(uint8_t gdi)
{
    if (g_directXLevel < kDirectXLevelDirectDraw || m_view.backEnd != RenderSoftware)
        return;
    if (m_externalWnd.m_externalMode)
        ToggleFullScreen(0, 0);
    const uint32_t saved = m_view.params->stateBits;
    m_view.ReleaseDevice(1);
    m_view.gdiMode = gdi;
    RECT r;
    GetViewWindowRect(&r);
    m_view.CreateDevice(r.right - r.left, r.bottom - r.top, m_viewWnd);
    m_view.SetRenderState(RenderStateZBuffer, (saved & StateZBuffer) ? 1 : 0);
    m_view.SetRenderState(RenderStateAccumulation, static_cast<int32_t>((saved >> 4) & 3));
    PostToViewer(WM_DISPLAYCHANGE, 0, 0);
    m_changeCount++;
}

void CMainWnd::UseSoftwareEngine()
{
    SelectRenderBackEnd(RenderSoftware, true);
    m_changeCount++;
}

void CMainWnd::UseDirect3D()
{
    SelectRenderBackEnd(RenderDirect3D9, true);
    m_changeCount++;
}

void CMainWnd::UseOpenGL()
{
    SelectRenderBackEnd(RenderOpenGL, true);
    m_changeCount++;
}

bool CMainWnd::CanUseDirect3D9()
{
    if (m_view.backEnd == RenderDirect3D9 || m_view.backEnd == RenderOpenGL)
        return true;
    const int32_t bytesPerPixel = m_view.params->bytesPerPixel;
    if (g_directXLevel < kDirectXLevelDirect3D9 || (bytesPerPixel != 4 && bytesPerPixel != 2) ||
        (m_currentFrame && m_currentFrame->kind == FrameKindStrips))
        return false;
    m_view.textureDepth = bytesPerPixel * 8;
    return true;
}

void CMainWnd::ToggleAboutWindow()
{
    HWND about = m_aboutWnd.m_hWnd;
    if (!about)
        return;
    if (IsWindowVisible(about)) {
        m_aboutWnd.ShowWindow(SW_HIDE);
        return;
    }
    // A package's progress would stand in front of the page.
    if (m_fromPackage && m_progressDlg.m_hWnd)
        m_progressDlg.ShowWindow(SW_HIDE);
    const int x = GetSystemMetrics(SM_CXSCREEN) / 2 - kAboutHalfWidth;
    const int y = GetSystemMetrics(SM_CYSCREEN) / 2 - kAboutHalfHeight;
    SetWindowPos(about, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    m_aboutWnd.ShowWindow(SW_SHOW);
    GetProgramVersion(m_aboutWnd.m_versionText);
    m_aboutWnd.ShowAbout(nullptr);
}
