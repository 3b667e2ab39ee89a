#include "platform/tooltip.h"

#include "platform/application.h"

CToolTipCtrl::~CToolTipCtrl()
{
    DestroyWindow();
}

BOOL CToolTipCtrl::Create(HWND owner, DWORD style)
{
    if (m_hWnd)
        return FALSE;
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&classes);
    m_owner = owner;
    m_hWnd = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | style, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, GetAppInstance(),
                             nullptr);
    return m_hWnd != nullptr;
}

void CToolTipCtrl::DestroyWindow()
{
    if (m_hWnd && IsWindow(m_hWnd))
        ::DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
}

TTTOOLINFOA CToolTipCtrl::ToolInfo(UINT id) const
{
    TTTOOLINFOA info = {};
    // The size without the reserved field that older common controls do not know.
    info.cbSize = TTTOOLINFOA_V2_SIZE;
    info.hwnd = m_owner;
    info.uId = id;
    info.hinst = GetAppInstance();
    return info;
}

BOOL CToolTipCtrl::AddTool(UINT id, const RECT& rect, const char* text)
{
    if (!m_hWnd)
        return FALSE;
    TTTOOLINFOA info = ToolInfo(id);
    info.rect = rect;
    info.lpszText = const_cast<char*>(text ? text : "");
    return ::SendMessageA(m_hWnd, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info)) != 0;
}

void CToolTipCtrl::SetToolRect(UINT id, const RECT& rect)
{
    if (!m_hWnd)
        return;
    TTTOOLINFOA info = ToolInfo(id);
    info.rect = rect;
    ::SendMessageA(m_hWnd, TTM_NEWTOOLRECTA, 0, reinterpret_cast<LPARAM>(&info));
}

void CToolTipCtrl::UpdateTipText(UINT id, const char* text)
{
    if (!m_hWnd)
        return;
    TTTOOLINFOA info = ToolInfo(id);
    info.lpszText = const_cast<char*>(text ? text : "");
    ::SendMessageA(m_hWnd, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&info));
}

void CToolTipCtrl::SetTipBkColor(COLORREF colour)
{
    if (m_hWnd)
        ::SendMessageA(m_hWnd, TTM_SETTIPBKCOLOR, colour, 0);
}

void CToolTipCtrl::SetDelayTime(DWORD which, int milliseconds)
{
    if (m_hWnd)
        ::SendMessageA(m_hWnd, TTM_SETDELAYTIME, which, MAKELPARAM(milliseconds, 0));
}

void CToolTipCtrl::SetMaxTipWidth(int width)
{
    if (m_hWnd)
        ::SendMessageA(m_hWnd, TTM_SETMAXTIPWIDTH, 0, width);
}

void CToolTipCtrl::RelayEvent(MSG* message)
{
    if (m_hWnd)
        ::SendMessageA(m_hWnd, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(message));
}

void CToolTipCtrl::GetText(UINT id, char* text, int size) const
{
    if (!text || size <= 0)
        return;
    text[0] = 0;
    if (!m_hWnd)
        return;
    // TTM_GETTEXT writes at most 80 characters; the buffer is at least that large here.
    char buffer[256] = {};
    TTTOOLINFOA info = ToolInfo(id);
    info.lpszText = buffer;
    ::SendMessageA(m_hWnd, TTM_GETTEXTA, sizeof buffer, reinterpret_cast<LPARAM>(&info));
    lstrcpynA(text, buffer, size);
}
