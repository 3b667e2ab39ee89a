// CSprite: bitmap and icon files.
#include "images/sprite.h"

int CSprite::LoadBMP(const char* /*name*/, int /*bpp*/, int /*resourceId*/,
                     const void* /*memoryDib*/)
{
    // Not built yet: answers 1 (not loaded) and creates nothing.
    return 1;
}

int CSprite::LoadICO(const char* /*name*/, int /*resourceId*/, int /*bpp*/, int /*iconIndex*/)
{
    // Not built yet: answers 1 (not loaded) and creates nothing.
    return 1;
}
