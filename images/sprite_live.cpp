// CSprite: live sources as images: videos, capture devices and pages, and taking their frames
// into the pixels.
#include "images/sprite.h"

int CSprite::RefreshFromSource()
{
    // Not built yet: answers 0 (no live source delivers frames; the pixels stay as they are).
    return 0;
}

int CSprite::LoadVideo(const char* /*name*/, int /*bpp*/)
{
    // Not built yet: answers 1 (not loaded) and creates nothing.
    return 1;
}

int CSprite::OpenWebcam(const char* /*deviceSpec*/)
{
    // Not built yet: answers 1 (not loaded) and creates nothing.
    return 1;
}

int CSprite::LoadHTML(const char* /*name*/)
{
    // Not built yet: answers 1 (not loaded) and creates nothing.
    return 1;
}
