// The windows the engine owns besides the view: the external window, which is also the engine's
// message window, the viewfinder popup, the About window and the progress dialog.
#include "viewer/main_wnd.h"

namespace {

constexpr const char* kExternalWindowTitle = "Lumarix";
constexpr UINT kExternalWindowClassStyle = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
constexpr int kAboutWidth = 500;
constexpr int kAboutHeight = 362;

}  // namespace

void CMainWnd::CreateEngineWindows()
{
    // The external window covers the view's place on the screen when it takes the view.
    RECT place = {0, 0, 0, 0};
    if (m_viewWnd) {
        ::GetClientRect(m_viewWnd, &place);
        MapWindowPoints(m_viewWnd, nullptr, reinterpret_cast<POINT*>(&place), 2);
    }
    m_externalWnd.m_engine = this;
    if (!m_externalWnd.m_hWnd) {
        m_externalWnd.CreateEx(WS_EX_TOPMOST, RegisterWindowClass(kExternalWindowClassStyle), kExternalWindowTitle,
                               WS_POPUP, place, m_hostWnd, 0);
        if (m_externalWnd.m_hWnd)
            SetWindowRgn(m_externalWnd.m_hWnd,
                         CreateRectRgn(0, 0, place.right - place.left, place.bottom - place.top), FALSE);
    }
    m_messageWnd = m_externalWnd.m_hWnd;

    m_viewfinder.m_engine = this;
    if (!m_viewfinder.m_hWnd) {
        const RECT finder = {0, 0, kViewfinderWidth, kViewfinderHeight};
        m_viewfinder.CreateEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, nullptr, nullptr, WS_POPUP, finder,
                              m_externalWnd.m_hWnd, 0);
    }

    if (!m_aboutWnd.m_hWnd) {
        const RECT about = {0, 0, kAboutWidth, kAboutHeight};
        m_aboutWnd.CreateEx(WS_EX_TOPMOST, RegisterWindowClass(0), "", WS_POPUP, about,
                            m_externalWnd.m_hWnd, 0);
    }
}

void CMainWnd::DestroyEngineWindows()
{
    m_messageWnd = nullptr;
    if (m_aboutWnd.m_hWnd)
        m_aboutWnd.DestroyWindow();
    m_viewfinder.DestroyWindow();
    m_externalWnd.DestroyWindow();
    m_progressDlg.DestroyWindow();
}
