#include "viewer/image_wnd.h"

#include "core/language.h"
#include "platform/application.h"
#include "viewer/viewer_parameters.h"

namespace {

// The frame never gets smaller than its thicknesses plus this in either direction.
constexpr int kMinimumInner = 10;
// Zone widths: 8 pixels along every edge, 16 for the bottom of the right edge.
constexpr int kZoneEdge = 8;
constexpr int kZoneTopEdge = 7;
constexpr int kZoneBottomRightHeight = 16;
// Caption buttons: top edge and their left edges counted from the client width.
constexpr int kCaptionButtonTop = 4;
constexpr int kCloseButtonFromRight = 20;
constexpr int kMaximizeButtonFromRight = 38;
constexpr int kMinimizeButtonFromRight = 56;
constexpr RECT kIconButtonRect = {3, 3, 3 + 25, 3 + 21};
// A double click here on the caption closes the window.
constexpr RECT kIconClickRect = {3, 3, 25, 18};
constexpr int kCaptionMenu = 112;
// The window may grow this many screens beyond what the system proposes.
constexpr int kScreensOfTracking = 3;

HCURSOR ZoneCursor(int zone)
{
    const char* shape = IDC_ARROW;
    switch (zone) {
    case ZoneTopRight:
    case ZoneBottomLeft: shape = IDC_SIZENESW; break;
    case ZoneBottomRight:
    case ZoneTopLeft: shape = IDC_SIZENWSE; break;
    case ZoneLeft:
    case ZoneRight: shape = IDC_SIZEWE; break;
    case ZoneTop:
    case ZoneBottom: shape = IDC_SIZENS; break;
    default: break;
    }
    return LoadCursorA(nullptr, shape);
}

void PlaceChild(CWnd& child, int x, int y, int width, int height, bool show)
{
    if (!child.m_hWnd)
        return;
    // The child repaints at its new place, so its old pixels are not copied: a copy waits for the
    // display's exposure answer, which never came for the content of a window that had just
    // given up a refused full screen.
    SetWindowPos(child.m_hWnd, nullptr, x, y, width > 0 ? width : 0, height > 0 ? height : 0,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS |
                     (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
}

}  // namespace

int ResizeZoneAt(int x, int y, int width, int height)
{
    if (x > width - kZoneEdge) {
        if (y <= kZoneTopEdge)
            return ZoneTopRight;
        if (y > height - kZoneBottomRightHeight)
            return ZoneBottomRight;
        return ZoneRight;
    }
    if (x > kZoneTopEdge) {
        if (y <= kZoneTopEdge)
            return ZoneTop;
        if (y > height - kZoneEdge)
            return ZoneBottom;
        return ZoneNone;
    }
    if (y <= kZoneTopEdge)
        return ZoneTopLeft;
    if (y > height - kZoneEdge)
        return ZoneBottomLeft;
    return ZoneLeft;
}

CaptionText LayoutCaptionText(const char* title, int stripWidth, const std::function<int(const char*)>& measure)
{
    // Room the caption keeps beside the text: the icon in front, the caption buttons behind.
    constexpr int kCaptionReserve = 60;
    CaptionText out;
    const CTexto text(title ? title : "");
    const int hyphen = text.Find('-');
    if (hyphen >= 0) {
        out.first = text.Mid(0, hyphen);
        out.rest = text.Mid(hyphen);
    } else {
        out.rest = text;
    }
    const int room = stripWidth - measure(out.first.GetText()) - kCaptionReserve;
    while (out.rest.GetLength() > 0 && measure(out.rest.GetText()) > room) {
        out.rest.Delete(0, 1);
        out.trimmed = true;
    }
    return out;
}

CImageWnd::CImageWnd() = default;

CImageWnd::~CImageWnd() = default;

RECT CImageWnd::GetContentRect() const
{
    RECT client = {};
    GetClientRect(&client);
    client.left += m_left;
    client.top += m_caption;
    client.right -= m_right;
    client.bottom -= m_bottom;
    return client;
}

int CImageWnd::HitContent(int x, int y) const
{
    if (!m_skinned)
        return 1;
    const RECT content = GetContentRect();
    return x >= content.left && x <= content.right && y >= content.top && y <= content.bottom ? 1 : 0;
}

void CImageWnd::SetClientRect(const RECT& rect, HWND insertAfter, UINT flags)
{
    if (!m_hWnd)
        return;
    RECT window = rect;
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrA(m_hWnd, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrA(m_hWnd, GWL_EXSTYLE));
    const bool menu = !(style & WS_CHILD) && GetMenu(m_hWnd) != nullptr;
    AdjustWindowRectEx(&window, style, menu, exStyle);
    SetWindowPos(m_hWnd, insertAfter, window.left, window.top, window.right - window.left,
                 window.bottom - window.top, flags);
}

void CImageWnd::SetSkinned(bool on, int width, int height)
{
    m_skinned = on ? 1 : 0;
    if (on && width > 0 && height > 0) {
        LayoutFrame(width, height);
        ShowCaptionButtons();
        return;
    }
    for (CStatic* border : {&m_captionStatic, &m_leftStatic, &m_rightStatic, &m_bottomStatic}) {
        if (border->m_hWnd)
            border->ShowWindow(SW_HIDE);
    }
    for (CImageButton* button : {&m_minimizeButton, &m_maximizeButton, &m_closeButton}) {
        if (button->m_hWnd)
            button->ShowWindow(SW_HIDE);
    }
}

void CImageWnd::UpdateButtonTips()
{
    m_closeButton.SetTooltipText(GetLanguageLine(kLineClose));
    m_minimizeButton.SetTooltipText(GetLanguageLine(kLineMinimize));
    m_maximizeButton.SetTooltipText(GetLanguageLine(m_maximized ? kLineRestore : kLineMaximize));
}

void CImageWnd::PlaceCaptionButtons(int width)
{
    const struct {
        CImageButton* button;
        int fromRight;
    } places[] = {
        {&m_closeButton, kCloseButtonFromRight},
        {&m_maximizeButton, kMaximizeButtonFromRight},
        {&m_minimizeButton, kMinimizeButtonFromRight},
    };
    for (const auto& place : places) {
        if (place.button->m_hWnd)
            SetWindowPos(place.button->m_hWnd, HWND_TOP, width - place.fromRight, kCaptionButtonTop, 0, 0,
                         SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

void CImageWnd::ShowCaptionButtons()
{
    const bool framed = m_skinned && !m_plain;
    const struct {
        CImageButton* button;
        bool shown;
    } buttons[] = {
        {&m_minimizeButton, framed && m_showMinimize},
        {&m_maximizeButton, framed && m_showMaximize},
        {&m_closeButton, framed && m_showClose},
    };
    for (const auto& entry : buttons) {
        if (entry.button->m_hWnd)
            entry.button->ShowWindow(entry.shown ? SW_SHOWNA : SW_HIDE);
    }
}

void CImageWnd::LayoutFrame(int width, int height)
{
    if (width < m_left + m_right + kMinimumInner)
        width = m_left + m_right + kMinimumInner;
    if (height < m_caption + m_bottom + kMinimumInner)
        height = m_caption + m_bottom + kMinimumInner;
    PlaceCaptionButtons(width);
    PlaceChild(m_content, m_left, m_caption, width - m_left - m_right, height - m_caption - m_bottom, true);
    if (!m_skinned)
        return;
    DrawFrameStrips(width, height);
    const bool framed = !m_plain;
    PlaceChild(m_captionStatic, 0, 0, width, m_caption, framed && m_caption > 0);
    PlaceChild(m_leftStatic, 0, m_caption, m_left, height - m_caption - m_bottom, framed && m_left > 0);
    PlaceChild(m_rightStatic, width - m_right, m_caption, m_right, height - m_caption - m_bottom,
               framed && m_right > 0);
    PlaceChild(m_bottomStatic, 0, height - m_bottom, width, m_bottom, framed && m_bottom > 0);
    // The strips lie under everything else of the window (caption buttons, the owner's tools).
    for (CStatic* border : {&m_captionStatic, &m_leftStatic, &m_rightStatic, &m_bottomStatic}) {
        if (border->m_hWnd)
            SetWindowPos(border->m_hWnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

int CImageWnd::OnCreate(CREATESTRUCTA* cs)
{
    const bool framed = m_skinned && !m_plain;
    if (framed) {
        if (cs->cx < m_left + m_right + kMinimumInner)
            cs->cx = m_left + m_right + kMinimumInner;
        if (cs->cy < m_caption + m_bottom + kMinimumInner)
            cs->cy = m_caption + m_bottom + kMinimumInner;
    }
    if (Default() == -1)
        return -1;
    if (!m_plain && !m_systemFrame) {
        // The drawn caption replaces the system's.
        const LONG_PTR style = GetWindowLongPtrA(m_hWnd, GWL_STYLE);
        if (style & WS_CAPTION) {
            SetWindowLongPtrA(m_hWnd, GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_CAPTION));
            SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                         SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }

    BuildFramePieces();
    const DWORD borderStyle = WS_CHILD | WS_CLIPSIBLINGS | SS_BITMAP | (framed ? WS_VISIBLE : 0);
    const RECT none = {0, 0, 0, 0};
    m_captionStatic.Create("", borderStyle, none, m_hWnd);
    m_leftStatic.Create("", borderStyle, none, m_hWnd);
    m_rightStatic.Create("", borderStyle, none, m_hWnd);
    m_bottomStatic.Create("", borderStyle, none, m_hWnd);

    const DWORD buttonStyle = WS_CHILD | BS_OWNERDRAW;
    if (m_iconButton.Create("", buttonStyle | (framed ? WS_VISIBLE : 0), kIconButtonRect, m_hWnd, CaptionIcon))
        m_iconButton.SetTooltipText(kCaptionIconTip);
    const RECT buttonRect = {0, 0, 16, 16};
    m_minimizeButton.Create("", buttonStyle, buttonRect, m_hWnd, CaptionMinimize);
    m_maximizeButton.Create("", buttonStyle, buttonRect, m_hWnd, CaptionMaximize);
    m_closeButton.Create("", buttonStyle, buttonRect, m_hWnd, CaptionClose);
    BuildCaptionButtonImages();
    ShowCaptionButtons();
    UpdateButtonTips();

    RECT client;
    GetClientRect(&client);
    const RECT content = {m_left, m_caption, client.right - m_right, client.bottom - m_bottom};
    m_content.Create("", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, content, m_hWnd);
    m_captionFont.CreateFont(kCaptionFontHeight, FW_THIN, kCaptionFontFace);
    m_captionBoldFont.CreateFont(kCaptionFontHeight, FW_BOLD, kCaptionFontFace);
    m_tintBrush.CreateSolidBrush(InterfaceColourRef(g_pluginColor));
    LayoutFrame(client.right, client.bottom);
    return 0;
}

void CImageWnd::OnDestroy()
{
    Default();
    m_captionFont.DeleteObject();
    m_captionBoldFont.DeleteObject();
}

void CImageWnd::OnSize(UINT, int width, int height)
{
    if (width <= 0 || height <= 0)
        return;
    if (!m_skinned) {
        PlaceChild(m_content, 0, 0, width, height, true);
        return;
    }
    LayoutFrame(width, height);
    if (m_plain || m_systemFrame)
        return;
    const RECT content = GetContentRect();
    ValidateRect(m_hWnd, &content);
    // Only the client area shows: the system's frame stays outside the region.
    RECT window;
    GetWindowRect(&window);
    POINT origin = {0, 0};
    ClientToScreen(m_hWnd, &origin);
    const int x = origin.x - window.left;
    const int y = origin.y - window.top;
    SetWindowRgn(m_hWnd, CreateRectRgn(x, y, x + width, y + height), TRUE);
}

void CImageWnd::OnMove(int, int)
{
    if (!m_skinned)
        return;
    if (IsZoomed(m_hWnd)) {
        if (m_savedLeft > 0) {
            m_left = 1;
            m_right = 1;
        }
        m_maximized = 1;
    } else {
        m_left = m_savedLeft;
        m_right = m_savedRight;
        m_maximized = 0;
    }
    m_minimized = IsIconic(m_hWnd) ? 1 : 0;
}

BOOL CImageWnd::OnSetCursor(HWND, UINT, UINT)
{
    if (!m_skinned || !m_resizable || m_plain)
        return FALSE;
    POINT pointer;
    GetCursorPos(&pointer);
    ScreenToClient(m_hWnd, &pointer);
    RECT client;
    GetClientRect(&client);
    m_hitCode = ResizeZoneAt(pointer.x, pointer.y, client.right, client.bottom);
    SetCursor(ZoneCursor(m_hitCode));
    return TRUE;
}

void CImageWnd::OnLButtonDown(int x, int y)
{
    if (!m_skinned || m_maximized || HitContent(x, y))
        return;
    POINT screen = {x, y};
    ClientToScreen(m_hWnd, &screen);
    const WPARAM hit = m_resizable && m_hitCode != ZoneNone ? static_cast<WPARAM>(m_hitCode) : HTCAPTION;
    PostMessage(WM_NCLBUTTONDOWN, hit, MAKELPARAM(screen.x, screen.y));
}

void CImageWnd::OnLButtonDblClk(int x, int y)
{
    if (!m_skinned || HitContent(x, y))
        return;
    if (x >= kIconClickRect.left && x <= kIconClickRect.right && y >= kIconClickRect.top &&
        y <= kIconClickRect.bottom) {
        PostMessage(WM_CLOSE);
        return;
    }
    SendMessage(WM_SYSCOMMAND, IsZoomed(m_hWnd) ? SC_RESTORE : SC_MAXIMIZE);
}

void CImageWnd::OnGetMinMaxInfo(MINMAXINFO* info)
{
    info->ptMaxTrackSize.x += kScreensOfTracking * GetSystemMetrics(SM_CXSCREEN) + m_left + m_right;
    info->ptMaxTrackSize.y += kScreensOfTracking * GetSystemMetrics(SM_CYSCREEN) + m_caption + m_bottom;
}

BOOL CImageWnd::OnCommand(WPARAM wParam, LPARAM)
{
    switch (LOWORD(wParam)) {
    case CaptionMinimize:
        SendMessage(WM_SYSCOMMAND, SC_MINIMIZE);
        return TRUE;
    case CaptionMaximize: {
        const bool restore = IsZoomed(m_hWnd) != 0;
        SendMessage(WM_SYSCOMMAND, restore ? SC_RESTORE : SC_MAXIMIZE);
        // The maximise button shows the restore glyph while maximised.
        CSprite* images = m_buttonImages[IsZoomed(m_hWnd) ? 2 : 1];
        m_maximizeButton.SetBitmaps(SkinBitmap(images[0]), SkinBitmap(images[2]), SkinBitmap(images[1]),
                                    SkinBitmap(images[3]), nullptr);
        m_maximizeButton.RedrawNow();
        UpdateButtonTips();
        return TRUE;
    }
    case CaptionClose:
        PostMessage(WM_CLOSE);
        return TRUE;
    case CaptionIcon: {
        HMENU menu = LoadMenuA(GetAppInstance(), MAKEINTRESOURCEA(kCaptionMenu));
        if (!menu)
            return TRUE;
        POINT pointer;
        GetCursorPos(&pointer);
        HMENU popup = GetSubMenu(menu, 0);
        if (popup)
            TrackPopupMenu(popup, TPM_LEFTALIGN, pointer.x, pointer.y, 0, m_hWnd, nullptr);
        DestroyMenu(menu);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

LRESULT CImageWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_MOVE:
        OnMove(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
        return Default();
    case WM_SETCURSOR:
        if (OnSetCursor(reinterpret_cast<HWND>(wParam), LOWORD(lParam), HIWORD(lParam)))
            return TRUE;
        break;
    case WM_LBUTTONDOWN:
        OnLButtonDown(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
        return 0;
    case WM_LBUTTONDBLCLK:
        OnLButtonDblClk(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
        return 0;
    case WM_GETMINMAXINFO:
        Default();
        OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam));
        return 0;
    case WM_SETTEXT: {
        const LRESULT result = Default();
        if (!m_plain && m_skinned) {
            DrawCaptionText();
            m_captionStatic.SetBitmap(SkinBitmap(m_captionStrip));
        }
        return result;
    }
    default:
        break;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}
