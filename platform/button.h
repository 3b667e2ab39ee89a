// CButton: a push button child control. Owner-drawn buttons draw themselves in DrawItem, which
// their parent reflects to them.
#pragma once

#include <windows.h>

#include "platform/window.h"

class CButton : public CWnd {
public:
    CButton();
    ~CButton() override;

    // A "BUTTON" child with the style and control id. FALSE when it was not made.
    BOOL Create(const char* text, DWORD style, const RECT& rect, HWND parent, UINT id);

    // An owner-drawn button's drawing; the default draws nothing.
    virtual void DrawItem(DRAWITEMSTRUCT* item);

protected:
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};
