// CStatic: a static child control (text, or a bitmap with SS_BITMAP).
#pragma once

#include <windows.h>

#include "platform/window.h"

class CStatic : public CWnd {
public:
    CStatic();
    ~CStatic() override;

    // A "STATIC" child. FALSE when it was not made.
    BOOL Create(const char* text, DWORD style, const RECT& rect, HWND parent, UINT id = 0xFFFF);
    // Shows the bitmap (SS_BITMAP); the caller keeps owning it. Answers the previous one.
    HBITMAP SetBitmap(HBITMAP bitmap);
};
