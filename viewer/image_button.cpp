#include "viewer/image_button.h"

namespace {

constexpr UINT kButtonToolId = 1;
constexpr RECT kInitialToolRect = {0, 0, 32, 32};

}  // namespace

CImageButton::CImageButton() = default;

CImageButton::~CImageButton() = default;

BOOL CImageButton::Create(const char* text, DWORD style, const RECT& rect, HWND parent, UINT id)
{
    if (!CButton::Create(text, style, rect, parent, id))
        return FALSE;
    if (m_tooltip.Create(m_hWnd, TTS_ALWAYSTIP)) {
        m_tooltip.SetTipBkColor(kImageButtonTipColour);
        m_tooltip.SetDelayTime(TTDT_INITIAL, 0);
        m_tooltip.SetMaxTipWidth(kImageButtonTipWidth);
        m_tooltip.AddTool(kButtonToolId, kInitialToolRect, "");
    }
    return TRUE;
}

void CImageButton::SetBitmaps(HBITMAP normal, HBITMAP pressed, HBITMAP hover, HBITMAP disabled, HBITMAP focus)
{
    m_normal = normal;
    m_current = normal;
    m_pressed = pressed;
    m_hover = hover;
    m_disabled = disabled;
    m_focus = focus;
}

void CImageButton::SizeToBitmap()
{
    BITMAP info = {};
    if (!m_hWnd || !m_current || !GetObjectA(m_current, sizeof info, &info))
        return;
    SetWindowPos(m_hWnd, nullptr, 0, 0, info.bmWidth, info.bmHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE);
}

void CImageButton::SetTooltipText(const char* text)
{
    if (!m_tooltip.GetSafeHwnd())
        return;
    RECT client;
    GetClientRect(&client);
    m_tooltip.SetToolRect(kButtonToolId, client);
    m_tooltip.UpdateTipText(kButtonToolId, text);
}

void CImageButton::RedrawNow()
{
    if (m_hWnd)
        RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

LRESULT CImageButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SETCURSOR:
        if (m_hover && m_current == m_normal && !m_latched) {
            SetTimer(m_hWnd, kImageButtonHoverTimer, kImageButtonHoverMs, nullptr);
            m_current = m_hover;
            RedrawNow();
        }
        break;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP: {
        MSG relayed = {};
        relayed.hwnd = m_hWnd;
        relayed.message = message;
        relayed.wParam = message == WM_LBUTTONDOWN ? 1 : 0;
        relayed.lParam = lParam;
        relayed.time = 0;
        relayed.pt.x = static_cast<short>(LOWORD(lParam));
        relayed.pt.y = static_cast<short>(HIWORD(lParam));
        m_tooltip.RelayEvent(&relayed);
        break;
    }
    default:
        break;
    }
    return CButton::WindowProc(message, wParam, lParam);
}

void CImageButton::OnTimer(UINT_PTR id)
{
    if (id != kImageButtonHoverTimer) {
        Default();
        return;
    }
    POINT pointer;
    RECT client;
    GetCursorPos(&pointer);
    ScreenToClient(m_hWnd, &pointer);
    GetClientRect(&client);
    if (PtInRect(&client, pointer))
        return;
    KillTimer(m_hWnd, kImageButtonHoverTimer);
    m_current = m_latched ? m_pressed : m_normal;
    RedrawNow();
}

void CImageButton::DrawItem(DRAWITEMSTRUCT* item)
{
    HBITMAP bitmap = m_current;
    if ((item->itemState & ODS_SELECTED) && m_pressed)
        bitmap = m_pressed;
    else if ((item->itemState & ODS_FOCUS) && m_focus)
        bitmap = m_focus;
    else if ((item->itemState & ODS_DISABLED) && m_disabled)
        bitmap = m_disabled;
    if (!bitmap)
        return;
    HDC source = CreateCompatibleDC(item->hDC);
    if (!source)
        return;
    HGDIOBJ old = SelectObject(source, bitmap);
    const RECT& r = item->rcItem;
    BitBlt(item->hDC, r.left, r.top, r.right - r.left, r.bottom - r.top, source, 0, 0, SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
}
