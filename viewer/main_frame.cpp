#include "viewer/main_frame.h"

#include <shellapi.h>

#include "platform/application.h"
#include "viewer/config_file.h"
#include "viewer/lumarix_app.h"

namespace {

constexpr UINT kMainFrameClassStyle = CS_DBLCLKS | CS_BYTEALIGNCLIENT;
// The styles of a system frame, which the skinned interface modes and the screensaver go without.
constexpr DWORD kSystemFrameStyles =
    WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;

}  // namespace

CMainFrame::CMainFrame(const char* commandLine)
{
    m_commandLine = commandLine ? commandLine : "";
}

CMainFrame::~CMainFrame() = default;

BOOL CMainFrame::PreCreateWindow(CREATESTRUCTA& cs)
{
    if (RegisterNamedWindowClass(g_windowClassName.GetText(), kMainFrameClassStyle))
        cs.lpszClass = g_windowClassName.GetText();
    else
        cs.lpszClass = RegisterWindowClass(kMainFrameClassStyle);
    if (m_engine.m_screensaver) {
        // The screensaver draws edge to edge: no frame, and the rectangle is the caller's.
        cs.style &= ~static_cast<LONG>(kSystemFrameStyles);
        return cs.lpszClass != nullptr;
    }
    // The viewer area gets the parameters' size inside the system frame.
    RECT rect = {0, 0, m_engine.m_params.viewerWidth, m_engine.m_params.viewerHeight};
    AdjustWindowRectEx(&rect, static_cast<DWORD>(cs.style), cs.hMenu != nullptr && !(cs.style & WS_CHILD),
                       cs.dwExStyle);
    cs.cx = rect.right - rect.left;
    cs.cy = rect.bottom - rect.top;
    cs.dwExStyle &= ~static_cast<DWORD>(WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE);
    cs.dwExStyle |= WS_EX_ACCEPTFILES;
    return cs.lpszClass != nullptr;
}

int CMainFrame::OnCreate(CREATESTRUCTA*)
{
    if (m_handedOver)
        return -1;
    HICON icon = static_cast<HICON>(LoadImageA(GetAppInstance(), MAKEINTRESOURCEA(kMainFrameIcon), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    if (icon)
        SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));

    RECT view;
    GetClientRect(&view);
    if (!m_engine.m_params.dragDrop)
        DragAcceptFiles(m_hWnd, FALSE);

    // The view fills the client area of the host.
    m_engine.m_hostViewOffset[0] = 0;
    m_engine.m_hostViewOffset[1] = 0;
    m_engine.m_viewWnd = m_hWnd;
    if (m_engine.Initialize(view.right - view.left, view.bottom - view.top, m_hWnd, 0))
        m_engine.m_hotspotNotifyMessage = HostMessageHotspotCode;
    return 0;
}

void CMainFrame::OnDestroy()
{
    if (!m_engine.m_editHotspots && !IsZoomed(m_hWnd) && !IsIconic(m_hWnd))
        m_engine.ReadWriteSettings(SettingsWrite, SettingsViewerSize);
    m_engine.Shutdown();
    Default();
}
