#include "images/sprite.h"

#include "sources/video_source.h"

CSprite::CSprite() = default;

CSprite::~CSprite()
{
    Clear();
}

void CSprite::Clear()
{
    delete video;
    video = nullptr;
    loadState = SpriteEmpty;
}
