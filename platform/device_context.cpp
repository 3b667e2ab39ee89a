#include "platform/device_context.h"

CDC::~CDC()
{
    DeleteDC();
}

bool CDC::CreateCompatibleDC(HDC other)
{
    if (!m_hdc)
        m_hdc = ::CreateCompatibleDC(other);
    return m_hdc != nullptr;
}

HGDIOBJ CDC::SelectObject(HGDIOBJ object)
{
    if (!m_hdc || !object)
        return nullptr;
    HGDIOBJ previous = ::SelectObject(m_hdc, object);
    if (previous == HGDI_ERROR)
        return nullptr;
    // Only bitmaps need the original back; fonts and brushes are the caller's to restore.
    if (!m_originalBitmap && GetObjectType(object) == OBJ_BITMAP)
        m_originalBitmap = previous;
    return previous;
}

void CDC::RestoreOriginal()
{
    if (m_hdc && m_originalBitmap)
        ::SelectObject(m_hdc, m_originalBitmap);
}

void CDC::DeleteDC()
{
    if (!m_hdc)
        return;
    RestoreOriginal();
    ::DeleteDC(m_hdc);
    m_hdc = nullptr;
    m_originalBitmap = nullptr;
}
