#include "platform/static.h"

CStatic::CStatic() = default;

CStatic::~CStatic() = default;

BOOL CStatic::Create(const char* text, DWORD style, const RECT& rect, HWND parent, UINT id)
{
    return CreateControl("STATIC", text ? text : "", style, rect, parent, id);
}

HBITMAP CStatic::SetBitmap(HBITMAP bitmap)
{
    if (!m_hWnd)
        return nullptr;
    return reinterpret_cast<HBITMAP>(
        SendMessage(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
}
