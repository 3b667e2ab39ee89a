// CSprite: TIFF files.
#include "images/sprite.h"

int CSprite::LoadTIFF(const char* /*name*/, int /*bpp*/, int /*resourceId*/)
{
    // Not built yet: answers 1 (not loaded) and creates nothing.
    return 1;
}
