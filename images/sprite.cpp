#include "images/sprite.h"

#include <cstdlib>

#include "core/stream.h"
#include "platform/device_context.h"
#include "render/mesh.h"
#include "sources/video_source.h"

std::atomic<int64_t> CSprite::s_pixelCount{0};
std::atomic<int64_t> CSprite::s_textureBytes{0};
int CSprite::s_loaderWaitMs = 10000;

CSprite::CSprite()
{
    useDiskCache = g_cacheEnabled.load() ? 1 : 0;
}

CSprite::~CSprite()
{
    Clear();
    delete frameStream;
    frameStream = nullptr;
    delete dc;
    dc = nullptr;
}

int CSprite::GetBusyCount() const
{
    return busyCount.load() + (parent ? parent->busyCount.load() : 0);
}

void CSprite::Clear()
{
    CancelLoad();
    FreeBuffers(true);
}

void CSprite::FreeBuffers(bool full)
{
    if (borrowedTiles)
        return;

    delete video;
    video = nullptr;

    delete quadMesh;
    quadMesh = nullptr;
    // The DIB or the heap buffer, with their share of the pixel count.
    ReleasePixelStorage();
    if (full) {
        delete dc;
        dc = nullptr;
    }

    delete frameImage;
    frameImage = nullptr;
    _aligned_free(keptCoefficients);
    keptCoefficients = nullptr;
    keptBlockCount = 0;
    delete[] storedDqt;
    storedDqt = nullptr;
    storedDqtSize = 0;
    delete[] storedSof;
    storedSof = nullptr;
    storedSofSize = 0;
    delete[] tileDecodedDetail;
    tileDecodedDetail = nullptr;
    delete[] tileVisibility;
    tileVisibility = nullptr;
    delete[] tileRequestedDetail;
    tileRequestedDetail = nullptr;
    jpegTileCount = 0;
    jpegTilesAcross = 0;
    codecReload = 1;

    FreeRetiredTiles();
    FreeTiles();
    ReleaseTextures(true);

    abortPointer = &abortWord;
    abortWord = 0;
    if (parent) {
        parent->progress = 0;
        parent = nullptr;
    }
    textureMode = SpriteTextureMemory;
    byteSize = 0;
    bitsPerPixel = 0;
    bytesPerPixel = 0;
    fixedBpp = 0;
    paletteCount = 0;
    asyncBpp = 0;
    contentValid = 0;
    busyCount = 0;
    waitFlags = 0;
    orientation = 0;
    orientationParams[0] = 0;
    orientationParams[1] = 0;
    aspectChanged = 0;
    loadState = SpriteEmpty;
    progress = 0;
    loadRequestCount = 0;
    generation = 0;
    desktop = 0;
    liveSource = 0;
    contentKind = 1;
    for (int& level : requestedLevels)
        level = kCoarsestLevel;
}
