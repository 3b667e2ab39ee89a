// CSprite: the program's own run-length image files.
#include "images/sprite.h"

int CSprite::LoadFST(const char* /*name*/, int /*bpp*/, int /*resourceId*/)
{
    // Not built yet: answers 1 (not loaded) and creates nothing.
    return 1;
}
