// Posting the engine's private messages: any thread may post; nothing is posted before the
// engine is initialised or once its message window is gone.
#include "viewer/main_wnd.h"

void CMainWnd::PostToViewer(UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND window = m_messageWnd;
    if (m_initialized && window)
        PostMessageA(window, message, wParam, lParam);
}
