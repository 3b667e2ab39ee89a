// CFont: owns one GDI font.
#pragma once

#include <windows.h>

class CFont {
public:
    CFont() = default;
    ~CFont() { DeleteObject(); }

    CFont(const CFont&) = delete;
    CFont& operator=(const CFont&) = delete;

    // A font of the face with the cell height (pixels, negative: character height) and weight;
    // any font held before is deleted. FALSE when none could be made.
    BOOL CreateFont(int height, int weight, const char* face);
    BOOL CreateFontIndirect(const LOGFONTA& font);
    void DeleteObject();

    HFONT GetSafeHandle() const { return m_font; }
    operator HFONT() const { return m_font; }

private:
    HFONT m_font = nullptr;
};
