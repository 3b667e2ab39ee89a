#pragma once
// CDC: a memory device context that we own. It keeps the object first selected into it so that
// the original can be put back before the context is deleted (GDI refuses to delete a bitmap
// that is still selected, and a context must not be deleted holding a foreign bitmap).
#include <windows.h>

class CDC {
public:
    CDC() = default;
    ~CDC();
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    // Makes a memory context compatible with the given one (null: the screen). True when the
    // context exists afterwards; an existing context is kept as it is.
    bool CreateCompatibleDC(HDC other = nullptr);
    // Selects the object and answers the one it replaced (null on failure). The first object
    // ever replaced is remembered and restored by RestoreOriginal and DeleteDC.
    HGDIOBJ SelectObject(HGDIOBJ object);
    // Puts the context's original bitmap back, so that the selected one may be deleted.
    void RestoreOriginal();
    // Restores the original object and deletes the context; harmless without one.
    void DeleteDC();

    HDC GetSafeHdc() const { return m_hdc; }

private:
    HDC m_hdc = nullptr;
    HGDIOBJ m_originalBitmap = nullptr;
};
