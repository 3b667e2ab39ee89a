// CEdit: an edit child control.
#pragma once

#include <windows.h>

#include "platform/window.h"

class CEdit : public CWnd {
public:
    CEdit();
    ~CEdit() override;

    // An "EDIT" child with the style and control id. FALSE when it was not made.
    BOOL Create(DWORD style, const RECT& rect, HWND parent, UINT id);
};
