// CVentanaExt: the external window. A skinned popup that takes the view when it leaves the host
// (a framed popup or full screen); its handle is also the engine's message window, so it exists
// for the engine's whole life, hidden while unused. Its messages go to the engine first.
#pragma once

#include <windows.h>

#include <cstdint>

#include "viewer/image_wnd.h"

class CMainWnd;

class CVentanaExt : public CImageWnd {
public:
    CVentanaExt();
    ~CVentanaExt() override;

    // The view is in this window while set: the host window's handle (set and cleared by the
    // full-screen switch).
    HWND m_externalMode = nullptr;
    uint8_t m_closePosted = 0;          // a close request waits to be handled
    uint8_t m_closeOnDeactivate = 1;    // losing the focus to an unrelated window closes
    HWND m_partner = nullptr;           // may take the focus without closing
    int32_t m_minWidth[2] = {80, 240};  // without, with the drawn frame
    int32_t m_minHeight[2] = {60, 200};
    int32_t m_screenWidth = 0;
    int32_t m_screenHeight = 0;
    // Left, top, right, bottom of the rectangle about whose centre a framed external window is
    // resized from its bottom-right corner.
    int32_t m_centreRect[4] = {};
    CMainWnd* m_engine = nullptr;       // the engine the window relays to; not owned

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Hands a message to the engine; non-zero when the engine consumed it.
    virtual LRESULT RelayToEngine(UINT message, WPARAM wParam, LPARAM lParam);
    void OnClose() override;
    void OnDestroy() override;

private:
    bool HasDrawnFrame() const { return m_skinned && !m_plain; }
    // Posts one request to leave external mode until it is handled.
    void RequestClose();
    void OnKillFocus(HWND newFocus);
    void OnSizing(UINT edge, RECT* rect);
};
