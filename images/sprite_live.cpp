// CSprite: taking the frames of live sources (video, cameras, streams) into the pixels.
#include "images/sprite.h"

int CSprite::RefreshFromSource()
{
    // Not built yet: answers 0 (no live source delivers frames; the pixels stay as they are).
    return 0;
}
