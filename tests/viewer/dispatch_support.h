// A message window for engine tests: it records every message it receives and hands it to the
// engine's dispatcher, as the external window does. Also a plain host window.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "viewer/main_wnd.h"

namespace dispatch_test {

// A hidden popup of a class registered once per class name.
inline HWND CreateTestWindow(const char* className, WNDPROC procedure, int width, int height)
{
    WNDCLASSA wc = {};
    if (!GetClassInfoA(GetModuleHandleA(nullptr), className, &wc)) {
        wc.lpfnWndProc = procedure;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = className;
        RegisterClassA(&wc);
    }
    return CreateWindowExA(0, className, className, WS_POPUP, 0, 0, width, height, nullptr,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
}

struct Seen {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

class TestMessageWindow {
public:
    explicit TestMessageWindow(CMainWnd* engine) : m_engine(engine)
    {
        m_hWnd = CreateTestWindow("LumarixDispatchTest", Proc, 10, 10);
        SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~TestMessageWindow()
    {
        if (m_hWnd)
            DestroyWindow(m_hWnd);
    }

    // Delivers this thread's messages for about milliseconds.
    void Pump(int milliseconds)
    {
        DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
        do {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
            Sleep(1);
        } while (static_cast<int>(end - GetTickCount()) > 0);
    }

    int Count(UINT message, WPARAM wParam) const
    {
        int count = 0;
        for (const Seen& seen : m_seen)
            count += seen.message == message && seen.wParam == wParam;
        return count;
    }
    int Count(UINT message) const
    {
        int count = 0;
        for (const Seen& seen : m_seen)
            count += seen.message == message;
        return count;
    }

    HWND m_hWnd = nullptr;
    CMainWnd* m_engine;
    bool m_dispatch = true;
    std::vector<Seen> m_seen;

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self =
            reinterpret_cast<TestMessageWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self) {
            self->m_seen.push_back({message, wParam, lParam});
            if (self->m_dispatch && self->m_engine &&
                self->m_engine->HandleMessage(message, wParam, lParam))
                return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }
};

}  // namespace dispatch_test
