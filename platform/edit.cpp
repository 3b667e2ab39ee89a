#include "platform/edit.h"

CEdit::CEdit() = default;

CEdit::~CEdit() = default;

BOOL CEdit::Create(DWORD style, const RECT& rect, HWND parent, UINT id)
{
    return CreateControl("EDIT", "", style, rect, parent, id);
}
