#include "platform/button.h"

CButton::CButton() = default;

CButton::~CButton() = default;

BOOL CButton::Create(const char* text, DWORD style, const RECT& rect, HWND parent, UINT id)
{
    return CreateControl("BUTTON", text ? text : "", style, rect, parent, id);
}

void CButton::DrawItem(DRAWITEMSTRUCT*) {}

BOOL CButton::OnChildNotify(UINT message, WPARAM, LPARAM lParam, LRESULT* result)
{
    if (message != WM_DRAWITEM)
        return FALSE;
    DrawItem(reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
    *result = TRUE;
    return TRUE;
}
