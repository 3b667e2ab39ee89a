#include "viewer/about_wnd.h"

#include <windowsx.h>

#include <cstring>
#include <string>

namespace {

constexpr char kFileVersionKey[] = "FileVersion";
// The key's text, its terminator and one padding unit lie before the value.
constexpr size_t kFileVersionValueOffset = 13;
constexpr size_t kVersionTextCapacity = 40;

}  // namespace

CAboutWnd::CAboutWnd()
{
    m_resizable = 0;
    m_showClose = 1;
}

CAboutWnd::~CAboutWnd() = default;

void CAboutWnd::ShowAbout(const char* page)
{
    // Not built yet: keeps a named page for later showings; no page view shows (the hosted
    // HTML view comes later).
    if (page)
        m_aboutUrl = page;
}

LRESULT CAboutWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_LBUTTONDOWN) {
        // A press anywhere drags the window, as its caption would.
        POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ClientToScreen(m_hWnd, &point);
        PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(point.x, point.y));
    }
    return CImageWnd::WindowProc(message, wParam, lParam);
}

int CAboutWnd::OnCreate(CREATESTRUCTA* cs)
{
    if (CImageWnd::OnCreate(cs) == -1)
        return -1;
    m_showClose = 1;
    m_created = 1;
    return 0;
}

void CAboutWnd::OnClose()
{
    ShowWindow(SW_HIDE);
    if (HWND owner = GetWindow(m_hWnd, GW_OWNER))
        SetFocus(owner);
    // The page view, once there is one, lives only while the window shows.
    m_view = nullptr;
}

void CAboutWnd::OnDestroy()
{
    OnClose();
    CImageWnd::OnDestroy();
}

uint32_t PackVersion(const char* text)
{
    uint32_t packed = 0;
    const char* p = text;
    for (int number = 0; p && *p && number < 4; number++) {
        while (*p == ' ')
            p++;
        if (*p < '0' || *p > '9')
            break;
        uint32_t value = 0;
        while (*p >= '0' && *p <= '9') {
            value = value * 10 + static_cast<uint32_t>(*p - '0');
            p++;
        }
        packed = (packed << 8) + value;
        if (*p != '.' && *p != ',')
            break;
        p++;
    }
    return packed;
}

uint32_t GetProgramVersion(char* text)
{
    if (text)
        text[0] = 0;
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16));  // RT_VERSION
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const uint8_t* block = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
    const DWORD size = found ? SizeofResource(module, found) : 0;
    if (!block || size < 2)
        return 0;
    // The block's text is UTF-16: every other byte reads it as ASCII.
    std::string narrow(size / 2, '\0');
    for (size_t i = 0; i < narrow.size(); i++)
        narrow[i] = static_cast<char>(block[i * 2]);
    const size_t at = narrow.find(kFileVersionKey);
    if (at == std::string::npos)
        return 0;
    char value[kVersionTextCapacity] = {};
    size_t n = 0;
    for (size_t i = at + kFileVersionValueOffset; i < narrow.size() && narrow[i] && n + 1 < sizeof value; i++)
        value[n++] = narrow[i];
    if (text)
        std::memcpy(text, value, sizeof value);
    return PackVersion(value);
}
