// CToolTipCtrl: a tooltip control ("tooltips_class32") whose tools are rectangles of one window.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "platform/window.h"

class CToolTipCtrl {
public:
    CToolTipCtrl() = default;
    ~CToolTipCtrl();

    CToolTipCtrl(const CToolTipCtrl&) = delete;
    CToolTipCtrl& operator=(const CToolTipCtrl&) = delete;

    // A topmost popup tooltip owned by the window, with the extra styles (TTS_ALWAYSTIP...).
    BOOL Create(HWND owner, DWORD style = 0);
    void DestroyWindow();

    // A tool of the owner window with the id over the rectangle (client coordinates); the
    // owner relays its mouse messages (RelayEvent).
    BOOL AddTool(UINT id, const RECT& rect, const char* text);
    void SetToolRect(UINT id, const RECT& rect);
    void UpdateTipText(UINT id, const char* text);
    void SetTipBkColor(COLORREF colour);
    void SetDelayTime(DWORD which, int milliseconds);
    void SetMaxTipWidth(int width);
    // Hands a mouse message of the owner to the tooltip, which decides when to show.
    void RelayEvent(MSG* message);
    // The tip text of the tool, empty when there is none.
    void GetText(UINT id, char* text, int size) const;

    HWND GetSafeHwnd() const { return m_hWnd; }

    HWND m_hWnd = nullptr;

private:
    TTTOOLINFOA ToolInfo(UINT id) const;

    HWND m_owner = nullptr;
};
