#include "viewer/transparent_wnd.h"

#include "viewer/main_wnd.h"

CTransparentWnd::CTransparentWnd() = default;

CTransparentWnd::~CTransparentWnd() = default;

LRESULT CTransparentWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_engine && m_engine->RelayViewfinderMessage(message, wParam, lParam))
        return 1;
    return CWnd::WindowProc(message, wParam, lParam);
}
