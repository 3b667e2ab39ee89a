// CBrush: owns one GDI brush.
#pragma once

#include <windows.h>

class CBrush {
public:
    CBrush() = default;
    ~CBrush() { DeleteObject(); }

    CBrush(const CBrush&) = delete;
    CBrush& operator=(const CBrush&) = delete;

    // A solid brush of the colour (a COLORREF, 0x00BBGGRR); any brush held before is deleted.
    BOOL CreateSolidBrush(COLORREF colour)
    {
        DeleteObject();
        m_brush = ::CreateSolidBrush(colour);
        return m_brush != nullptr;
    }
    void DeleteObject()
    {
        if (m_brush)
            ::DeleteObject(m_brush);
        m_brush = nullptr;
    }

    HBRUSH GetSafeHandle() const { return m_brush; }
    operator HBRUSH() const { return m_brush; }

private:
    HBRUSH m_brush = nullptr;
};
