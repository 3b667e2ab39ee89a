// CWnd: the base of every window of the program. It owns the link from a window handle to its
// object (made on WM_NCCREATE from the creation parameters) and turns messages into virtual
// handlers. A window class overrides the handlers it cares about; a handler it does not
// override gives the message the system's default handling.
#pragma once

#include <windows.h>

class CWnd {
public:
    CWnd();
    // Destroys a window that still exists, without calling back into the derived object.
    virtual ~CWnd();

    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // Creates the window for this object. PreCreateWindow sees (and may change) the creation
    // record first and can stop the creation. idOrMenu is a child's control id or a top-level
    // window's menu. FALSE when the window was not created (also when OnCreate refused it).
    BOOL CreateEx(DWORD exStyle, const char* className, const char* title, DWORD style,
                  const RECT& rect, HWND parent, UINT_PTR idOrMenu);
    BOOL DestroyWindow();

    HWND GetSafeHwnd() const { return m_hWnd; }
    BOOL ShowWindow(int showCommand) { return ::ShowWindow(m_hWnd, showCommand); }
    BOOL UpdateWindow() { return ::UpdateWindow(m_hWnd); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::PostMessageA(m_hWnd, message, wParam, lParam);
    }
    void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
    void GetWindowRect(RECT* rect) const { ::GetWindowRect(m_hWnd, rect); }
    BOOL SetWindowText(const char* text) { return ::SetWindowTextA(m_hWnd, text); }

    // The object of one of our windows; null for any other window.
    static CWnd* FromHandle(HWND window);

    // Makes a window of a system class (a control) ours: its messages reach WindowProc, and
    // the class's own procedure becomes DefWindowProc. FALSE when this object has a window or
    // the window is one of ours already.
    BOOL SubclassWindow(HWND window);
    // Creates a child control of a system class and subclasses it.
    BOOL CreateControl(const char* className, const char* text, DWORD style, const RECT& rect,
                       HWND parent, UINT id, DWORD exStyle = 0);

    // The window's message hook: every message of the window arrives here. The default turns
    // the messages below into handler calls and gives every other one DefWindowProc.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    // The window procedure of every class registered below.
    static LRESULT CALLBACK StaticWindowProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam);

    HWND m_hWnd = nullptr;

protected:
    // Called by CreateEx before the window exists; false stops the creation.
    virtual BOOL PreCreateWindow(CREATESTRUCTA& cs);
    // The system's handling of a message this window does not consume.
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // DefWindowProc of the message being handled now; for handlers that add to the default.
    LRESULT Default();
    // Called after the last message of the window; the object may delete itself here.
    virtual void PostNcDestroy() {}

    // Handlers. Each default gives the message the default handling.
    virtual int OnCreate(CREATESTRUCTA* cs);         // -1 refuses the creation
    virtual void OnDestroy();
    virtual void OnClose();                          // the default destroys the window
    virtual void OnSize(UINT type, int width, int height);
    virtual void OnTimer(UINT_PTR id);
    virtual void OnPaint();
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);  // TRUE when consumed
    virtual BOOL OnCopyData(HWND sender, COPYDATASTRUCT* data);
    // A notification a parent reflects to the control it is about (WM_DRAWITEM); TRUE with
    // *result set when the control handled it.
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

private:
    friend class CDialog;

    struct CurrentMessage {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        bool unhandled;  // a dialog's DefWindowProc ran: the dialog manager handles it
        bool objectGone; // the window was destroyed meanwhile: the object may be deleted
        CurrentMessage* outer;
    };

    // Runs WindowProc with the message remembered for Default(); forgets the window after
    // WM_NCDESTROY (when the object may already be gone). unhandled, when given, tells whether
    // the message went to DefWindowProc.
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam, bool* unhandled = nullptr);
    void Detach();

    CurrentMessage* m_current = nullptr;
    WNDPROC m_superProc = nullptr;  // a subclassed control's own procedure
};

// A window class whose windows are handled by CWnd objects, registered once per set of values
// and named by them. Null when registration fails.
const char* RegisterWindowClass(UINT style, HCURSOR cursor = nullptr, HBRUSH background = nullptr,
                                HICON icon = nullptr);
// Registers a named class for CWnd windows. True when it is registered now or was already.
bool RegisterNamedWindowClass(const char* name, UINT style, HICON icon = nullptr,
                              HCURSOR cursor = nullptr, HBRUSH background = nullptr);

// Sends the message to every child window of window, and with deep to their children too.
void SendMessageToDescendants(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool deep);
