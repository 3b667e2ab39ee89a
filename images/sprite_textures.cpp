// CSprite: texture modes, Direct3D 9 and OpenGL uploads, reduced levels and release.
#include "images/sprite.h"

#include <d3d9.h>
#include <GL/gl.h>

#include <cstdlib>
#include <cstring>

#include "core/system_wrappers.h"
#include "images/pixel_convert.h"
#include "images/sprite_internal.h"

namespace {

constexpr int kSpriteWaitPollMs = 10;
constexpr int kLevelCount = 4;

constexpr int kD3DFormatR8G8B8 = 20;
constexpr int kD3DFormatA8R8G8B8 = 21;
constexpr int kD3DFormatX8R8G8B8 = 22;
constexpr int kD3DFormatR5G6B5 = 23;
constexpr int kD3DFormatX1R5G5B5 = 24;

constexpr GLenum kGlBgr = 0x80E0;
constexpr GLenum kGlBgra = 0x80E1;
constexpr GLenum kGlClampToEdge = 0x812F;
constexpr GLenum kGlUnpackClientStorage = 0x85B2;

CSprite* Root(CSprite* image)
{
    return image->parent ? image->parent : image;
}

// The Direct3D format of a tile of this depth and these alpha flags.
int TileFormat(const CSprite& tile, int bpp)
{
    if (tile.hasAlpha || tile.force32)
        return kD3DFormatA8R8G8B8;
    return CSprite::BppToD3DFormat(bpp);
}

// Copies rows between buffers of different strides, converting when the depths differ.
void CopyRows(uint8_t* destination, int destinationStride, int destinationBpp,
              const uint8_t* source, int sourceStride, int sourceBpp, int width, int height,
              const uint32_t* palette)
{
    const size_t rowBytes = static_cast<size_t>(width) * PixelBytes(sourceBpp);
    for (int y = 0; y < height; ++y) {
        const uint8_t* from = source + static_cast<size_t>(y) * sourceStride;
        uint8_t* to = destination + static_cast<size_t>(y) * destinationStride;
        if (sourceBpp == destinationBpp)
            memcpy(to, from, rowBytes);
        else
            ConvertPixels(from, to, width, sourceBpp, destinationBpp, palette);
    }
}

}  // namespace

int CSprite::BppToD3DFormat(int bpp)
{
    switch (bpp) {
    case 15:
        return kD3DFormatX1R5G5B5;
    case 16:
        return kD3DFormatR5G6B5;
    case 24:
        return kD3DFormatR8G8B8;
    case 32:
        return kD3DFormatX8R8G8B8;
    default:
        return bpp;
    }
}

void CSprite::DownscaleHalf(uint8_t* destination, int outWidth, int outHeight, int bpp,
                            const uint8_t* source, int sourceStride)
{
    if (!destination || !source || outWidth <= 0 || outHeight <= 0)
        return;
    if (bpp == 32) {
        if (GetPixelLoopPath() == PixelLoopPath::Sse2 &&
            DownscaleHalf32Sse2(destination, outWidth, outHeight, source, sourceStride))
            return;
        for (int y = 0; y < outHeight; ++y) {
            const uint8_t* top = source + static_cast<size_t>(2 * y) * sourceStride;
            const uint8_t* bottom = top + sourceStride;
            uint8_t* out = destination + static_cast<size_t>(y) * outWidth * 4;
            for (int x = 0; x < outWidth; ++x) {
                for (int c = 0; c < 4; ++c) {
                    const int sum = top[8 * x + c] + top[8 * x + 4 + c] + bottom[8 * x + c] +
                                    bottom[8 * x + 4 + c];
                    out[4 * x + c] = static_cast<uint8_t>(sum >> 2);
                }
            }
        }
        return;
    }
    if (bpp != 15 && bpp != 16)
        return;
    // 15 and 16 bits: each packed channel averaged on its own (2 x 2, truncating).
    const int greenBits = bpp == 16 ? 6 : 5;
    const int redShift = bpp == 16 ? 11 : 10;
    const uint32_t greenMask = (1u << greenBits) - 1;
    for (int y = 0; y < outHeight; ++y) {
        const uint8_t* top = source + static_cast<size_t>(2 * y) * sourceStride;
        const uint8_t* bottom = top + sourceStride;
        uint8_t* out = destination + static_cast<size_t>(y) * outWidth * 2;
        for (int x = 0; x < outWidth; ++x) {
            uint16_t p[4];
            memcpy(&p[0], top + 4 * x, 2);
            memcpy(&p[1], top + 4 * x + 2, 2);
            memcpy(&p[2], bottom + 4 * x, 2);
            memcpy(&p[3], bottom + 4 * x + 2, 2);
            uint32_t blue = 0, green = 0, red = 0;
            for (uint16_t v : p) {
                blue += v & 0x1Fu;
                green += (v >> 5) & greenMask;
                red += (v >> redShift) & 0x1Fu;
            }
            const uint16_t value = static_cast<uint16_t>(((red >> 2) << redShift) |
                                                         ((green >> 2) << 5) | (blue >> 2));
            memcpy(out + 2 * x, &value, 2);
        }
    }
}

bool CSprite::WaitForLoader()
{
    CSprite* root = Root(this);
    root->waitFlags |= SpriteWaitUploadHolds;
    int waited = 0;
    while (root->loaderThread.load() && !(root->waitFlags.load() & SpriteWaitLoader) &&
           AbortValue() == 0 && root->AbortValue() == 0 && waited < s_loaderWaitMs) {
        ResumeWorkerThread(root->loaderThread.load());
        SleepMilliseconds(kSpriteWaitPollMs);
        waited += kSpriteWaitPollMs;
    }
    if (AbortValue() != 0 || root->AbortValue() != 0)
        return false;
    // A loader that neither finished nor waited in time keeps the image: no upload this time.
    return !(root->loaderThread.load() && !(root->waitFlags.load() & SpriteWaitLoader));
}

long CSprite::SetTextureMode(int mode, int bpp, IDirect3DDevice9* device, int allowedBusy)
{
    if (mode == textureMode)
        return 0;
    while (GetBusyCount() > allowedBusy && AbortValue() == 0) {
        waitFlags |= SpriteWaitMode;
        SleepMilliseconds(kSpriteWaitPollMs);
    }
    waitFlags &= ~SpriteWaitMode;

    long result = kSpriteFail;
    if (WaitForLoader()) {
        result = 0;
        if (textureMode == SpriteTextureMemory) {
            if (mode == SpriteTextureDirect3D)
                result = MoveToD3DTextures(bpp, device);
            else if (mode == SpriteTextureOpenGL)
                result = PrepareGLTextures(bpp);
        } else if (textureMode == SpriteTextureDirect3D) {
            result = MoveFromD3DTextures();
            if (result == 0 && mode == SpriteTextureOpenGL)
                result = PrepareGLTextures(bpp);
        } else {
            result = LeaveGLTextures();
            if (result == 0 && mode == SpriteTextureDirect3D)
                result = MoveToD3DTextures(bpp, device);
        }
    }
    Root(this)->waitFlags &= ~SpriteWaitUploadHolds;
    return result;
}

long CSprite::MoveToD3DTextures(int bpp, IDirect3DDevice9* device)
{
    if (bpp == 0)
        bpp = bitsPerPixel;
    ChooseLoadBitDepth(bpp);
    if (!device)
        return kSpriteFail;
    ReleaseTileTextures(-1);
    if (!tiles)
        SplitIntoTiles(-1, -1, -1);
    if (!tiles)
        return kSpriteFail;

    // Textures hold 15, 16 or 32 bits: 24-bit pixels (and depths Direct3D has no format for)
    // go to 32.
    const int depth = bpp == 15 || bpp == 16 ? bpp : 32;
    for (int i = 0; i < tileCount; ++i) {
        CSprite* tile = tiles[i];
        if (!tile || !tile->pixels)
            continue;
        tile->hasAlpha = hasAlpha;
        tile->force32 = force32;
        const int format = TileFormat(*tile, depth);
        IDirect3DTexture9* texture = nullptr;
        HRESULT hr = device->CreateTexture(tile->width, tile->height, 1, 0,
                                           static_cast<D3DFORMAT>(format), D3DPOOL_SYSTEMMEM,
                                           &texture, nullptr);
        D3DLOCKED_RECT locked = {};
        if (SUCCEEDED(hr) && texture)
            hr = texture->LockRect(0, &locked, nullptr, 0);
        if (FAILED(hr) || !texture) {
            if (texture)
                texture->Release();
            // Tiles already moved keep their pixels only in their textures: bring them back.
            MoveFromD3DTextures();
            ReleaseTileTextures(-1);
            return FAILED(hr) ? static_cast<long>(hr) : kSpriteFail;
        }
        uint8_t* bits = static_cast<uint8_t*>(locked.pBits);
        CopyRows(bits, locked.Pitch, depth, tile->pixels, tile->stride, tile->bitsPerPixel,
                 tile->width, tile->height, tile->palette);
        texture->UnlockRect(0);
        s_pixelCount += static_cast<int64_t>(tile->width) * tile->height;

        free(tile->pixels);
        s_pixelCount -= static_cast<int64_t>(tile->width) * tile->height;
        tile->pixels = nullptr;
        tile->systemTextures[0] = texture;
        tile->levelPixels[0] = bits;
        tile->levelStride[0] = locked.Pitch;
        // System-memory textures do not move: the tile keeps drawing into the texture's memory.
        tile->drawPixels = bits;
        tile->stride = locked.Pitch;
        tile->bitsPerPixel = depth;
        tile->bytesPerPixel = PixelBytes(depth);
        tile->byteSize = tile->width * tile->height * tile->bytesPerPixel;
        ++tile->generation;
        tile->textureMode = SpriteTextureDirect3D;
    }
    textureMode = SpriteTextureDirect3D;
    return 0;
}

long CSprite::MoveFromD3DTextures()
{
    long result = 0;
    for (int i = 0; i < tileCount && tiles; ++i) {
        CSprite* tile = tiles[i];
        if (!tile || !tile->systemTextures[0])
            continue;
        IDirect3DTexture9* texture = tile->systemTextures[0];
        D3DLOCKED_RECT locked = {};
        HRESULT hr = texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY);
        if (FAILED(hr)) {
            if (result == 0)
                result = static_cast<long>(hr);
            continue;
        }
        // The texture's memory is still the drawing pointer: take it out of the tile first, so
        // that the new buffer replaces nothing.
        tile->drawPixels = nullptr;
        tile->textureMode = SpriteTextureMemory;
        tile->Create(tile->width, tile->height, tile->bitsPerPixel, false, kSpriteDefaultColour,
                     false, false, false);
        if (tile->pixels) {
            CopyRows(tile->pixels, tile->stride, tile->bitsPerPixel,
                     static_cast<uint8_t*>(locked.pBits), locked.Pitch, tile->bitsPerPixel,
                     tile->width, tile->height, nullptr);
            tile->contentValid = 1;
            ++tile->generation;
        } else if (result == 0) {
            result = kSpriteFail;
        }
        texture->UnlockRect(0);
        ReleaseTileTextures(i);
    }
    if (result == 0)
        textureMode = SpriteTextureMemory;
    return result;
}

long CSprite::PrepareGLTextures(int bpp)
{
    int depth = bpp >= 24 ? bpp : 24;
    ChooseLoadBitDepth(depth);
    if (depth < 24)
        depth = 24;  // a fixed depth below 24 bits has no OpenGL upload format here
    ReleaseTileTextures(-1);
    if (!tiles)
        SplitIntoTiles(-1, -1, -1);
    for (int i = 0; i < tileCount && tiles; ++i) {
        CSprite* tile = tiles[i];
        if (!tile)
            continue;
        tile->ConvertBitDepth(depth);
        tile->drawPixels = tile->pixels;
        tile->hasAlpha = hasAlpha;
        tile->force32 = force32;
        tile->textureMode = SpriteTextureOpenGL;
        tile->glTexture = 0;
    }
    textureMode = SpriteTextureOpenGL;
    return 0;
}

long CSprite::LeaveGLTextures()
{
    if (tiles) {
        ReleaseTileTextures(-1);
        for (int i = 0; i < tileCount; ++i) {
            if (tiles[i])
                tiles[i]->textureMode = SpriteTextureMemory;
        }
    }
    textureMode = SpriteTextureMemory;
    return 0;
}

long CSprite::BuildSystemLevel(IDirect3DDevice9* device, int level, int format)
{
    const int levelWidth = width >> level;
    const int levelHeight = height >> level;
    if (!systemTextures[level]) {
        IDirect3DTexture9* texture = nullptr;
        HRESULT hr = device->CreateTexture(levelWidth, levelHeight, 1, 0,
                                           static_cast<D3DFORMAT>(format), D3DPOOL_SYSTEMMEM,
                                           &texture, nullptr);
        if (FAILED(hr) || !texture)
            return kSpriteFail;
        systemTextures[level] = texture;
        s_pixelCount += static_cast<int64_t>(levelWidth) * levelHeight;
        levelDirty[level] = 1;
    }
    if (!levelDirty[level])
        return 0;
    D3DLOCKED_RECT locked = {};
    HRESULT hr = systemTextures[level]->LockRect(0, &locked, nullptr, 0);
    if (FAILED(hr))
        return static_cast<long>(hr);
    uint8_t* bits = static_cast<uint8_t*>(locked.pBits);
    const int rowBytes = levelWidth * bytesPerPixel;
    if (locked.Pitch == rowBytes) {
        DownscaleHalf(bits, levelWidth, levelHeight, bitsPerPixel, levelPixels[level - 1],
                      levelStride[level - 1]);
    } else {
        // A padded pitch: reduce into packed rows, then place them.
        uint8_t* packed = static_cast<uint8_t*>(malloc(static_cast<size_t>(rowBytes) * levelHeight));
        if (!packed) {
            systemTextures[level]->UnlockRect(0);
            return kSpriteFail;
        }
        DownscaleHalf(packed, levelWidth, levelHeight, bitsPerPixel, levelPixels[level - 1],
                      levelStride[level - 1]);
        for (int y = 0; y < levelHeight; ++y)
            memcpy(bits + static_cast<size_t>(y) * locked.Pitch,
                   packed + static_cast<size_t>(y) * rowBytes, rowBytes);
        free(packed);
    }
    levelPixels[level] = bits;
    levelStride[level] = locked.Pitch;
    systemTextures[level]->UnlockRect(0);
    levelDirty[level] = 0;
    return 0;
}

long CSprite::UploadTexture(IDirect3DDevice9* device, int level)
{
    long result = 0;
    if (textureMode == SpriteTextureDirect3D && device && systemTextures[0]) {
        if (!WaitForLoader()) {
            Root(this)->waitFlags &= ~SpriteWaitUploadHolds;
            return 0;
        }
        if (level < 0)
            level = 0;
        if (level >= kLevelCount)
            level = kLevelCount - 1;
        // A level must keep at least one pixel each way.
        while (level > 0 && ((width >> level) == 0 || (height >> level) == 0))
            --level;
        const int format = TileFormat(*this, bitsPerPixel);

        if (!deviceTexture || deviceTextureLevel != level) {
            if (deviceTexture) {
                deviceTexture->Release();
                deviceTexture = nullptr;
                s_textureBytes -= m_deviceTextureBytes;
                m_deviceTextureBytes = 0;
                deviceTextureLevel = -1;
            }
            IDirect3DTexture9* texture = nullptr;
            HRESULT hr = device->CreateTexture(width >> level, height >> level, 1, 0,
                                               static_cast<D3DFORMAT>(format), D3DPOOL_DEFAULT,
                                               &texture, nullptr);
            if (SUCCEEDED(hr) && texture) {
                deviceTexture = texture;
                deviceTextureLevel = level;
                m_deviceTextureBytes = static_cast<int64_t>(width >> level) * (height >> level) *
                                       bytesPerPixel;
                s_textureBytes += m_deviceTextureBytes;
            } else {
                result = FAILED(hr) ? static_cast<long>(hr) : kSpriteFail;
            }
        }
        if (deviceTexture) {
            if (generation > 0) {
                for (int i = 1; i < kLevelCount; ++i)
                    levelDirty[i] = 1;
            }
            levelPixels[0] = drawPixels;
            levelStride[0] = stride;
            for (int i = 1; i <= level && result == 0; ++i)
                result = BuildSystemLevel(device, i, format);
            if (result == 0) {
                systemTextures[level]->AddDirtyRect(nullptr);
                HRESULT hr = device->UpdateTexture(systemTextures[level], deviceTexture);
                if (FAILED(hr))
                    result = static_cast<long>(hr);
            }
        }
        Root(this)->waitFlags &= ~SpriteWaitUploadHolds;
    } else if (textureMode == SpriteTextureOpenGL && drawPixels) {
        if (!WaitForLoader()) {
            Root(this)->waitFlags &= ~SpriteWaitUploadHolds;
            return 0;
        }
        const GLenum format = bitsPerPixel == 24 ? kGlBgr : kGlBgra;
        if (glTexture) {
            glBindTexture(GL_TEXTURE_2D, glTexture);
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, format, GL_UNSIGNED_BYTE,
                            drawPixels);
        } else {
            GLuint name = 0;
            glGenTextures(1, &name);
            glBindTexture(GL_TEXTURE_2D, name);
            if (name) {
                glTexture = name;
                m_glTextureBytes = static_cast<int64_t>(width) * height * bytesPerPixel;
                s_textureBytes += m_glTextureBytes;
            }
            if (IsGLExtensionSupported("GL_SGIS_texture_edge_clamp") ||
                IsGLExtensionSupported("GL_ARB_texture_border_clamp")) {
                glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, static_cast<GLfloat>(kGlClampToEdge));
                glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, static_cast<GLfloat>(kGlClampToEdge));
            }
            if (IsGLExtensionSupported("GL_APPLE_client_storage"))
                glPixelStorei(kGlUnpackClientStorage, 1);
            glTexImage2D(GL_TEXTURE_2D, 0, bytesPerPixel, width, height, 0, format,
                         GL_UNSIGNED_BYTE, drawPixels);
        }
        // GL textures hold the whole tile: level 0.
        if (glTexture)
            deviceTextureLevel = 0;
        Root(this)->waitFlags &= ~SpriteWaitUploadHolds;
    }
    return result;
}

void CSprite::ReleaseSystemTextures()
{
    for (int level = 0; level < kLevelCount; ++level) {
        if (systemTextures[level]) {
            systemTextures[level]->Release();
            systemTextures[level] = nullptr;
            s_pixelCount -= static_cast<int64_t>(width >> level) * (height >> level);
        }
        levelPixels[level] = nullptr;
        levelStride[level] = 0;
        levelDirty[level] = 0;
    }
    // The drawing pointer may have pointed into level 0: it falls back to the own buffer.
    drawPixels = pixels;
    if (!pixels)
        stride = width * bytesPerPixel;
}

void CSprite::ReleaseTileTextures(int index, CSprite** array, int count)
{
    if (!array) {
        array = tiles;
        count = tileCount;
    }
    if (!array)
        return;
    const int first = index < 0 ? 0 : index;
    const int end = index < 0 ? count : (index < count ? index + 1 : index);
    for (int i = first; i < end; ++i) {
        CSprite* tile = array[i];
        if (!tile)
            continue;
        tile->ReleaseTextures(true);
        if (tile->systemTextures[0] || tile->systemTextures[1] || tile->systemTextures[2] ||
            tile->systemTextures[3])
            tile->ReleaseSystemTextures();
    }
}

void CSprite::ReleaseTextures(bool force)
{
    if (deviceTexture && (force || unusedFrames < -2)) {
        s_textureBytes -= m_deviceTextureBytes;
        m_deviceTextureBytes = 0;
        deviceTexture->Release();
        deviceTexture = nullptr;
        deviceTextureLevel = -1;
        unusedFrames = 0;
    }
    // A GL name still drawn survives as a Direct3D texture does: only unused or forced ones go.
    if (glTexture && (force || unusedFrames < -2)) {
        glDeleteTextures(1, &glTexture);
        if (!deviceTexture)
            deviceTextureLevel = -1;
        glTexture = 0;
        s_textureBytes -= m_glTextureBytes;
        m_glTextureBytes = 0;
        unusedFrames = 0;
    }
    for (int i = 0; i < tileCount && tiles; ++i) {
        if (tiles[i])
            tiles[i]->ReleaseTextures(force);
    }
}
