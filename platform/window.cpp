#include "platform/window.h"

#include <cstdio>
#include <list>
#include <mutex>
#include <string>

#include "platform/application.h"
#include "platform/dialog.h"

namespace {

// The atom of the system's dialog class "#32770".
constexpr ULONG_PTR kDialogClassAtom = 32770;

// Names of the classes RegisterWindowClass made; the list keeps every name's address stable.
struct RegisteredClasses {
    std::mutex lock;
    std::list<std::string> names;
};

RegisteredClasses& Classes()
{
    static RegisteredClasses classes;
    return classes;
}

}  // namespace

CWnd::CWnd() = default;

CWnd::~CWnd()
{
    if (m_hWnd && IsWindow(m_hWnd)) {
        // The derived object is gone: the window's last messages get the default handling.
        HWND window = m_hWnd;
        Detach();
        ::DestroyWindow(window);
    }
}

CWnd* CWnd::FromHandle(HWND window)
{
    if (!window || !IsWindow(window))
        return nullptr;
    WNDPROC procedure = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC));
    if (procedure != &CWnd::StaticWindowProc) {
        // Dialogs keep the system's window procedure; their own one sits in the dialog words.
        if (GetClassLongPtrA(window, GCW_ATOM) != kDialogClassAtom)
            return nullptr;
        DLGPROC dialogProcedure = reinterpret_cast<DLGPROC>(GetWindowLongPtrA(window, DWLP_DLGPROC));
        if (dialogProcedure != &CDialog::StaticDialogProc)
            return nullptr;
    }
    return reinterpret_cast<CWnd*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

BOOL CWnd::CreateEx(DWORD exStyle, const char* className, const char* title, DWORD style,
                    const RECT& rect, HWND parent, UINT_PTR idOrMenu)
{
    if (m_hWnd)
        return FALSE;
    CREATESTRUCTA cs = {};
    cs.dwExStyle = exStyle;
    cs.lpszClass = className;
    cs.lpszName = title;
    cs.style = static_cast<LONG>(style);
    cs.x = rect.left;
    cs.y = rect.top;
    cs.cx = rect.right - rect.left;
    cs.cy = rect.bottom - rect.top;
    cs.hwndParent = parent;
    cs.hMenu = reinterpret_cast<HMENU>(idOrMenu);
    cs.hInstance = GetAppInstance();
    cs.lpCreateParams = this;
    if (!PreCreateWindow(cs))
        return FALSE;
    if (!cs.lpszClass)
        cs.lpszClass = RegisterWindowClass(CS_DBLCLKS);
    if (!cs.lpszClass)
        return FALSE;
    HWND window = CreateWindowExA(cs.dwExStyle, cs.lpszClass, cs.lpszName,
                                  static_cast<DWORD>(cs.style), cs.x, cs.y, cs.cx, cs.cy,
                                  cs.hwndParent, cs.hMenu, cs.hInstance, this);
    return window != nullptr;
}

BOOL CWnd::DestroyWindow()
{
    if (!m_hWnd)
        return FALSE;
    return ::DestroyWindow(m_hWnd);
}

BOOL CWnd::PreCreateWindow(CREATESTRUCTA&)
{
    return TRUE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_superProc)
        return ::CallWindowProcA(m_superProc, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::SubclassWindow(HWND window)
{
    if (m_hWnd || !window || FromHandle(window))
        return FALSE;
    m_hWnd = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_superProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::StaticWindowProc)));
    return TRUE;
}

BOOL CWnd::CreateControl(const char* className, const char* text, DWORD style, const RECT& rect,
                         HWND parent, UINT id, DWORD exStyle)
{
    if (m_hWnd)
        return FALSE;
    HWND window = CreateWindowExA(exStyle, className, text, style, rect.left, rect.top,
                                  rect.right - rect.left, rect.bottom - rect.top, parent,
                                  reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                                  GetAppInstance(), nullptr);
    if (!window)
        return FALSE;
    if (!SubclassWindow(window)) {
        ::DestroyWindow(window);
        return FALSE;
    }
    return TRUE;
}

LRESULT CWnd::Default()
{
    if (!m_current)
        return 0;
    return DefWindowProc(m_current->message, m_current->wParam, m_current->lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return OnCreate(reinterpret_cast<CREATESTRUCTA*>(lParam));
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_SIZE:
        OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_TIMER:
        OnTimer(wParam);
        return 0;
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_COMMAND:
        if (OnCommand(wParam, lParam))
            return 0;
        break;
    case WM_COPYDATA:
        return OnCopyData(reinterpret_cast<HWND>(wParam), reinterpret_cast<COPYDATASTRUCT*>(lParam));
    case WM_DRAWITEM: {
        const DRAWITEMSTRUCT* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        CWnd* control = item ? FromHandle(item->hwndItem) : nullptr;
        LRESULT result = 0;
        if (control && control != this && control->OnChildNotify(message, wParam, lParam, &result))
            return result;
        break;
    }
    default:
        break;
    }
    return DefWindowProc(message, wParam, lParam);
}

int CWnd::OnCreate(CREATESTRUCTA*)
{
    return static_cast<int>(Default());
}

void CWnd::OnDestroy()
{
    Default();
}

void CWnd::OnClose()
{
    Default();
}

void CWnd::OnSize(UINT, int, int)
{
    Default();
}

void CWnd::OnTimer(UINT_PTR)
{
    Default();
}

void CWnd::OnPaint()
{
    Default();
}

BOOL CWnd::OnCommand(WPARAM, LPARAM)
{
    return FALSE;
}

BOOL CWnd::OnCopyData(HWND, COPYDATASTRUCT*)
{
    return static_cast<BOOL>(Default());
}

BOOL CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*)
{
    return FALSE;
}

LRESULT CWnd::Dispatch(UINT message, WPARAM wParam, LPARAM lParam, bool* unhandled)
{
    CurrentMessage current = {message, wParam, lParam, false, false, m_current};
    m_current = &current;
    LRESULT result = WindowProc(message, wParam, lParam);
    if (unhandled)
        *unhandled = current.unhandled;
    // A handler destroyed the window (DestroyWindow from OnClose or a command): the object may
    // have deleted itself in PostNcDestroy and must not be touched any more.
    if (current.objectGone)
        return result;
    m_current = current.outer;
    if (message == WM_NCDESTROY) {
        for (CurrentMessage* outer = m_current; outer; outer = outer->outer)
            outer->objectGone = true;
        m_current = nullptr;
        Detach();
        CWinApp* app = GetApp();
        if (app && app->m_pMainWnd == this)
            PostQuitMessage(0);
        PostNcDestroy();
    }
    return result;
}

void CWnd::Detach()
{
    if (m_hWnd && IsWindow(m_hWnd)) {
        SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, 0);
        // A subclassed control goes back to its class's procedure.
        if (m_superProc)
            SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_superProc));
    }
    m_hWnd = nullptr;
    m_superProc = nullptr;
}

LRESULT CALLBACK CWnd::StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* object = nullptr;
    if (message == WM_NCCREATE) {
        const CREATESTRUCTA* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        object = static_cast<CWnd*>(cs->lpCreateParams);
        if (object) {
            object->m_hWnd = window;
            SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
        }
    } else {
        object = reinterpret_cast<CWnd*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    }
    // Messages before WM_NCCREATE, and windows of our classes made without an object.
    if (!object)
        return ::DefWindowProcA(window, message, wParam, lParam);
    return object->Dispatch(message, wParam, lParam);
}

bool RegisterNamedWindowClass(const char* name, UINT style, HICON icon, HCURSOR cursor,
                              HBRUSH background)
{
    if (!name || !*name)
        return false;
    WNDCLASSA wc = {};
    wc.style = style;
    wc.lpfnWndProc = &CWnd::StaticWindowProc;
    wc.hInstance = GetAppInstance();
    wc.hIcon = icon;
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    if (RegisterClassA(&wc))
        return true;
    return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

const char* RegisterWindowClass(UINT style, HCURSOR cursor, HBRUSH background, HICON icon)
{
    char name[96];
    std::snprintf(name, sizeof name, "LumarixWnd:%x:%p:%p:%p", style, static_cast<void*>(cursor),
                  static_cast<void*>(background), static_cast<void*>(icon));
    std::lock_guard<std::mutex> hold(Classes().lock);
    for (const std::string& known : Classes().names) {
        if (known == name)
            return known.c_str();
    }
    if (!RegisterNamedWindowClass(name, style, icon, cursor, background))
        return nullptr;
    Classes().names.emplace_back(name);
    return Classes().names.back().c_str();
}

void SendMessageToDescendants(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool deep)
{
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        SendMessageA(child, message, wParam, lParam);
        if (deep)
            SendMessageToDescendants(child, message, wParam, lParam, true);
    }
}
