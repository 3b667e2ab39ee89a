// Drawing the scene and showing the finished image.
#include "viewer/main_wnd.h"

HRESULT CMainWnd::RenderFrame(CFrame* frame)
{
    // Not built yet: the frame's meshes come with the frame loaders; the view is cleared to the
    // background, which is the empty scene's whole picture.
    if (!frame)
        return 0;
    m_view.Clear(true);
    return 0;
}

void CMainWnd::PresentView(HDC dc)
{
    HDC own = nullptr;
    if (!dc && m_view.window) {
        own = GetDC(m_view.window);
        dc = own;
    }
    m_view.Present(dc);
    if (own)
        ReleaseDC(m_view.window, own);
}

void CMainWnd::OnPaint(HDC dc)
{
    PresentView(dc);
}
