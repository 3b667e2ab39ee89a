#include "platform/font.h"

BOOL CFont::CreateFont(int height, int weight, const char* face)
{
    LOGFONTA font = {};
    font.lfHeight = height;
    font.lfWeight = weight;
    font.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(font.lfFaceName, face ? face : "", LF_FACESIZE);
    return CreateFontIndirect(font);
}

BOOL CFont::CreateFontIndirect(const LOGFONTA& font)
{
    DeleteObject();
    m_font = ::CreateFontIndirectA(&font);
    return m_font != nullptr;
}

void CFont::DeleteObject()
{
    if (m_font)
        ::DeleteObject(m_font);
    m_font = nullptr;
}
