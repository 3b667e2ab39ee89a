#include "viewer/main_frame.h"

#include <windowsx.h>
#include <shellapi.h>

#include "core/language.h"
#include "platform/application.h"
#include "viewer/config_file.h"
#include "viewer/lumarix_app.h"

namespace {

// The last mouse message the host routes (WM_MOUSEFIRST up to the horizontal wheel).
constexpr UINT kLastRoutedMouseMessage = 0x20D;
constexpr int kToolbarButtonSize = 26;
// A toolbar button's top edge lies this far above the caption's lower edge.
constexpr int kToolbarAboveCaptionEdge = 31;
// WS_VISIBLE, BS_OWNERDRAW and BS_BITMAP.
constexpr DWORD kToolbarButtonStyle = 0x1000008B;
// The hotspot code window: WS_CHILD, WS_BORDER, WS_VSCROLL, ES_MULTILINE, ES_AUTOVSCROLL.
constexpr DWORD kCodeEditStyle = 0x40A00044;
constexpr RECT kCodeEditRect = {10, 10, 10 + 200, 10 + 50};
constexpr const char* kApplicationName = "Lumarix";

struct ToolbarButtonSpec {
    int bitmap;
    UINT command;
    int tooltipLine;
    int left;
};

// Left to right; buttons 6 and 7 share the place of 8 and stay hidden.
constexpr ToolbarButtonSpec kToolbarButtons[kToolbarButtonCount] = {
    {323, 32801, 13, 3},     // open file
    {890, 32817, 14, 31},    // save view
    {885, 32771, 15, 65},    // full screen
    {901, 32803, 18, 93},    // invert panorama
    {892, 32819, 17, 127},   // camera information
    {886, 32838, 16, 161},   // edit hotspots
    {887, 32813, 19, 189},   // bilinear filtering
    {889, 32778, 20, 189},   // antialiasing
    {347, 33030, 23, 189},   // sequence file
    {900, 32800, 22, 217},   // save initial QuickTime VR values
    {433, 32905, 99, 245},   // create package
    {464, 33033, 100, 279},  // connect to camera
};

enum ToolbarButtonIndex : int {
    ToolbarInvertPano = 3,
    ToolbarBilinear = 6,
    ToolbarAntialiasing = 7,
};

bool IsRoutedMouseMessage(UINT message)
{
    return message >= WM_MOUSEFIRST && message <= kLastRoutedMouseMessage;
}

}  // namespace

bool HostMouseToView(UINT message, LPARAM lParam, HWND host, HWND view, bool dragging, LPARAM* viewLParam)
{
    if (!IsRoutedMouseMessage(message) || !view)
        return false;
    POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (message != WM_MOUSEWHEEL)
        ClientToScreen(host, &point);
    RECT viewRect;
    if (!GetWindowRect(view, &viewRect))
        return false;
    const bool inside = point.x >= viewRect.left && point.x < viewRect.right && point.y >= viewRect.top &&
                        point.y < viewRect.bottom;
    if (!inside && !dragging)
        return false;
    if (message == WM_MOUSEWHEEL) {
        *viewLParam = lParam;
        return true;
    }
    ScreenToClient(view, &point);
    *viewLParam = MAKELPARAM(static_cast<WORD>(point.x), static_cast<WORD>(point.y));
    return true;
}

CMainFrame::CMainFrame(const char* commandLine)
{
    m_caption = kMainFrameCaption;
    m_showMinimize = 1;
    m_showMaximize = 1;
    m_commandLine = commandLine ? commandLine : "";
}

CMainFrame::~CMainFrame()
{
    for (HBITMAP& glyph : m_toolbarGlyphs) {
        if (glyph)
            DeleteObject(glyph);
        glyph = nullptr;
    }
}

int CMainFrame::OnCreate(CREATESTRUCTA* cs)
{
    if (m_handedOver)
        return -1;
    if (CImageWnd::OnCreate(cs) == -1)
        return -1;
    HICON icon = static_cast<HICON>(LoadImageA(GetAppInstance(), MAKEINTRESOURCEA(kMainFrameIcon), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                               LR_SHARED));
    if (icon)
        SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));

    const RECT view = GetContentRect();
    if (!m_engine.m_params.dragDrop)
        DragAcceptFiles(m_hWnd, FALSE);

    m_engine.m_hostViewOffset[0] = m_left;
    m_engine.m_hostViewOffset[1] = m_caption;
    m_engine.m_viewWnd = m_content.m_hWnd;
    m_content.ShowWindow(SW_SHOW);
    if (m_engine.Initialize(view.right - view.left, view.bottom - view.top, m_hWnd, 0)) {
        m_engine.OnShowWindow(SW_SHOW);
        m_engine.m_hotspotNotifyMessage = HostMessageHotspotCode;
    }
    if (m_engine.m_screensaver)
        return 0;

    for (int i = 0; i < kToolbarButtonCount; i++) {
        int32_t* rect = m_toolbarRects[i];
        rect[0] = kToolbarButtons[i].left;
        rect[1] = m_caption - kToolbarAboveCaptionEdge;
        rect[2] = kToolbarButtonSize;
        rect[3] = kToolbarButtonSize;
        MakeToolbarButton(m_toolbarButtons[i], &m_toolbarImages[i * kToolbarImagesPerButton], rect,
                          kToolbarButtons[i].bitmap, kToolbarButtons[i].command);
    }
    if (m_engine.m_params.invertPano)
        SetToolbarButtonState(ToolbarInvertPano, 1);
    if (m_engine.m_params.filter & 0x1)
        SetToolbarButtonState(ToolbarBilinear, 1);
    if (m_engine.m_params.postFilter & 0x2)
        SetToolbarButtonState(ToolbarAntialiasing, 1);

    if (m_codeEdit.Create(kCodeEditStyle, kCodeEditRect, m_content.m_hWnd, static_cast<UINT>(-1))) {
        SetWindowPos(m_codeEdit.m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        m_codeEdit.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(m_captionFont.GetSafeHandle()), FALSE);
    }
    UpdateTitle(m_engine.m_documentFile.GetText());
    return 0;
}

void CMainFrame::OnDestroy()
{
    CImageWnd::OnDestroy();
    if (!m_engine.m_editHotspots && !IsZoomed(m_hWnd) && !IsIconic(m_hWnd))
        m_engine.ReadWriteSettings(SettingsWrite, SettingsViewerSize);
    m_engine.Shutdown();
}

bool CMainFrame::RouteMouseToView(UINT message, WPARAM wParam, LPARAM lParam)
{
    LPARAM viewLParam = 0;
    const bool dragging = (m_engine.GetCaptureState() & 1) != 0;
    if (!HostMouseToView(message, lParam, m_hWnd, m_engine.m_viewWnd, dragging, &viewLParam)) {
        m_pointerOverView = 0;
        return false;
    }
    m_pointerOverView = 1;
    return m_engine.HandleMessage(message, wParam, viewLParam) != 0;
}

LRESULT CMainFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    const bool hosted = m_engine.m_viewWnd && m_engine.m_viewWnd == m_content.m_hWnd;
    if (hosted) {
        if (message == WM_SETCURSOR && !m_pointerOverView)
            return CImageWnd::WindowProc(message, wParam, lParam);
        if (IsRoutedMouseMessage(message)) {
            // The host's own handling keeps the host's coordinates.
            if (RouteMouseToView(message, wParam, lParam))
                return 1;
            return CImageWnd::WindowProc(message, wParam, lParam);
        }
        if (message == WM_KILLFOCUS && reinterpret_cast<HWND>(wParam) == m_engine.m_viewWnd)
            return 1;
    }
    if (m_engine.HandleMessage(message, wParam, lParam))
        return 1;
    if (message == HostMessageRefreshToolbar)
        return OnRefreshToolbarTips();
    return CImageWnd::WindowProc(message, wParam, lParam);
}

void CMainFrame::OpenFile(const char* path)
{
    m_engine.m_documentFile.Empty();
    m_engine.m_params.files = path ? path : "";
    m_engine.PostApplyParameters();
    POINT pointer = {};
    GetCursorPos(&pointer);
    m_engine.m_dragOrigin[0] = pointer.x;
    m_engine.m_dragOrigin[1] = pointer.y;
    m_packerFlag = 0;
    UpdateTitle(path);
}

void CMainFrame::SetToolbarButtonState(int button, int pressed)
{
    if (button < 0 || button >= kToolbarButtonCount)
        return;
    CImageButton& target = m_toolbarButtons[button];
    target.m_current = pressed ? target.m_pressed : target.m_normal;
    target.RedrawNow();
}

void CMainFrame::UpdateTitle(const char* path)
{
    CTexto title;
    if (m_engine.m_viewerTitle.GetLength() > 0) {
        title = m_engine.m_viewerTitle;
    } else {
        title = kApplicationName;
        const CTexto shown(path ? path : "");
        if (shown.GetLength() > 0) {
            title += " - ";
            title += shown.Find(',') >= 0 ? CTexto(" ...") : shown;
        }
    }
    SetWindowText(title.GetText());
}

LRESULT CMainFrame::OnRefreshToolbarTips()
{
    if (m_engine.m_screensaver)
        return 0;
    UpdateButtonTips();
    for (int i = 0; i < kToolbarButtonCount; i++)
        m_toolbarButtons[i].SetTooltipText(GetLanguageLine(kToolbarButtons[i].tooltipLine));
    return 0;
}

void CMainFrame::MakeToolbarButton(CImageButton& button, CSprite*, const int32_t* rect, int bitmapId,
                                   UINT commandId)
{
    // Not built yet: every state shows the glyph alone (no drawn button face, no tint).
    const int index = static_cast<int>(&button - m_toolbarButtons);
    HBITMAP glyph = static_cast<HBITMAP>(
        LoadImageA(GetAppInstance(), MAKEINTRESOURCEA(bitmapId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (index >= 0 && index < kToolbarButtonCount) {
        if (m_toolbarGlyphs[index])
            DeleteObject(m_toolbarGlyphs[index]);
        m_toolbarGlyphs[index] = glyph;
    }
    const RECT place = {rect[0], rect[1], rect[0] + rect[2], rect[1] + rect[3]};
    if (!button.Create("", WS_CHILD | kToolbarButtonStyle, place, m_hWnd, commandId))
        return;
    button.SetBitmaps(glyph, glyph, glyph, glyph, nullptr);
    button.SizeToBitmap();
    button.ShowWindow(SW_SHOW);
}
