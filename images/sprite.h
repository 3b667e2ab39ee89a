#pragma once
// The image object: every picture the player shows or processes.
#include <cstdint>

class CDirectShowVideo;

// CSprite::loadState
enum SpriteLoadState : int32_t {
    SpriteEmpty = 0,
    SpriteLoading = 1,
    SpriteLoaded = 2,
    SpriteFailed = 3,
};

// CSprite::loadFlags: an image may be loaded while both bits are set.
enum SpriteLoadFlags : uint32_t {
    SpriteLoadEnabled = 0x1,  // set or cleared by the script's LOADED=
    SpriteLoadWanted = 0x2,
};

class CSprite {
public:
    CSprite();
    virtual ~CSprite();

    CSprite(const CSprite&) = delete;
    CSprite& operator=(const CSprite&) = delete;

    // Ends any load and releases pixels and sources; the image can be loaded again.
    void Clear();

    int32_t loadState = SpriteEmpty;
    uint32_t loadFlags = 0;
    CDirectShowVideo* video = nullptr;  // owned; the source of a video or webcam image
};
