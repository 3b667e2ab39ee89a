// CSprite creation: storage kinds, sizes, re-creation, waiting, keep-content and load depths.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "images/sprite.h"
#include "platform/device_context.h"

namespace {

int64_t PixelCount()
{
    return CSprite::s_pixelCount.load();
}

TEST(SpriteCreate, ConstructorDefaults)
{
    CSprite image;
    EXPECT_EQ(image.abortPointer, &image.abortWord);
    EXPECT_EQ(image.defaultColour, 0xFF000000u);
    for (int level : image.requestedLevels)
        EXPECT_EQ(level, 3);
    EXPECT_EQ(image.deviceTextureLevel, -1);
    EXPECT_EQ(image.encoderQuality, 85);
    EXPECT_EQ(image.keyFrameInterval, 32);
    EXPECT_EQ(image.exifOrientation, 1);
    EXPECT_EQ(image.contentKind, 1);
    EXPECT_EQ(image.tilingEnabled, 1);
    EXPECT_EQ(image.videoSound, 1);
    EXPECT_EQ(image.videoErrorReport, 1);
    EXPECT_EQ(image.reportOpenErrors, 1);
    EXPECT_EQ(image.loadState, SpriteEmpty);
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.tiles, nullptr);
    EXPECT_EQ(image.fileName.GetLength(), 0);
}

TEST(SpriteCreate, WideImageIsStoredTransposed)
{
    CSprite image;
    ASSERT_TRUE(image.Create(40000, 100, 24, false, -1, false, false, false));
    EXPECT_EQ(image.width, 100);
    EXPECT_EQ(image.height, 40000);
    EXPECT_EQ(image.orientation, 1);
    EXPECT_EQ(image.orientationParams[0], 0);
    EXPECT_EQ(image.orientationParams[1], 0);
    EXPECT_EQ(image.createWidth, 40000);
    EXPECT_EQ(image.createHeight, 100);
    EXPECT_EQ(image.stride, 300);
    // 32766 itself is stored as it is.
    CSprite edge;
    ASSERT_TRUE(edge.Create(32766, 2, 8, false, -1, false, false, false));
    EXPECT_EQ(edge.width, 32766);
    EXPECT_EQ(edge.orientation, 0);
}

TEST(SpriteCreate, SameSizeKeepsBufferAndContents)
{
    CSprite image;
    ASSERT_TRUE(image.Create(16, 8, 32, true, 0x123456, false, false, false));
    uint8_t* buffer = image.pixels;
    image.SetPixel(3, 4, 0xABCDEF);
    ASSERT_TRUE(image.Create(16, 8, 32, true, 0x000000, false, false, false));
    EXPECT_EQ(image.pixels, buffer);
    EXPECT_EQ(image.GetPixel(3, 4, false), 0xABCDEFu);
    EXPECT_EQ(image.GetPixel(0, 0, false), 0x123456u);
}

TEST(SpriteCreate, OtherShapeMakesNewImage)
{
    CSprite image;
    ASSERT_TRUE(image.Create(100, 200, 24, true, 0x010203, false, false, false));
    ASSERT_TRUE(image.Create(200, 100, 24, true, 0x040506, false, false, false));
    EXPECT_EQ(image.width, 200);
    EXPECT_EQ(image.height, 100);
    EXPECT_EQ(image.stride, 600);
    EXPECT_EQ(image.byteSize, 200 * 100 * 3);
    EXPECT_EQ(image.GetPixel(199, 99, false) & 0xFFFFFF, 0x040506u);
}

TEST(SpriteCreate, DibStorage)
{
    CSprite image;
    ASSERT_TRUE(image.Create(8, 5, 8, true, 0x102030, true, false, false));
    ASSERT_NE(image.dib, nullptr);
    EXPECT_EQ(image.bitsPerPixel, 24);  // a DIB is never below 24 bits
    DIBSECTION section = {};
    ASSERT_EQ(GetObject(image.dib, sizeof(section), &section), static_cast<int>(sizeof(section)));
    EXPECT_EQ(abs(section.dsBmih.biHeight), 6);  // one spare row for 4-byte reads
    EXPECT_EQ(section.dsBm.bmBits, image.pixels);
    EXPECT_EQ(image.GetPixel(7, 4, true), 0xFF102030u);

    // Create rounds the width of a DIB as CreateDIB does, so its rows stay unpadded.
    CSprite odd;
    ASSERT_TRUE(odd.Create(5, 3, 24, false, -1, true, false, false));
    EXPECT_EQ(odd.width, 8);
    EXPECT_EQ(odd.stride, 24);
    CSprite half;
    ASSERT_TRUE(half.CreateDIB(7, 3, 32));
    EXPECT_EQ(half.width, 7);
    ASSERT_TRUE(half.Create(7, 3, 32, false, -1, true, false, false));
    EXPECT_NE(half.dib, nullptr);
}

TEST(SpriteCreate, SameSizeOfAnotherStorageKindIsMadeAnew)
{
    CSprite image;
    ASSERT_TRUE(image.Create(12, 10, 24, false, -1, false, false, false));
    EXPECT_EQ(image.dib, nullptr);
    ASSERT_TRUE(image.Create(12, 10, 24, false, -1, true, false, false));
    EXPECT_NE(image.dib, nullptr);
    ASSERT_TRUE(image.Create(12, 10, 24, false, -1, false, false, false));
    EXPECT_EQ(image.dib, nullptr);
    EXPECT_NE(image.pixels, nullptr);
}

TEST(SpriteCreate, CreateDibDrawsWithGdi)
{
    CSprite image;
    ASSERT_EQ(image.CreateDIB(32, 16, 32, true, 0), 4);
    ASSERT_NE(image.dc, nullptr);
    HDC hdc = image.dc->GetSafeHdc();
    ASSERT_NE(hdc, nullptr);
    ::SetPixel(hdc, 5, 6, RGB(0x11, 0x22, 0x33));
    GdiFlush();
    EXPECT_EQ(image.GetPixel(5, 6, false) & 0xFFFFFF, 0x112233u);
    EXPECT_EQ(image.loadState, SpriteLoaded);
    EXPECT_EQ(image.contentValid, 1);

    // A new DIB replaces the selected one; GDI still draws into the image.
    ASSERT_EQ(image.CreateDIB(30, 10, 24, true, 0), 3);
    EXPECT_EQ(image.width, 32);
    ::SetPixel(image.dc->GetSafeHdc(), 31, 9, RGB(0x44, 0x55, 0x66));
    GdiFlush();
    EXPECT_EQ(image.GetPixel(31, 9, false) & 0xFFFFFF, 0x445566u);
}

TEST(SpriteCreate, StorageThatIsNotClearedHoldsNoOldMemory)
{
    for (int round = 0; round < 3; ++round) {
        CSprite used;
        ASSERT_EQ(used.CreateImage(64, 64, 32, true, 0x7ABABABA, false), 4);
        used.Clear();
        CSprite fresh;
        ASSERT_TRUE(fresh.Create(64, 64, 32, false, -1, false, false, false));
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                ASSERT_EQ(fresh.GetPixel(x, y, false), 0u) << x << "," << y;
        CSprite tiled;
        tiled.contentValid = 1;  // tiles made for a valid picture are not cleared either
        ASSERT_TRUE(tiled.Create(300, 20, 32, false, -1, false, false, true));
        EXPECT_EQ(tiled.tiles[1]->GetPixel(63, 63, false), 0u);
    }
}

TEST(SpriteCreate, ByteSizeBeyondSignedRangeMakesNoStorage)
{
    CSprite image;
    ASSERT_TRUE(image.Create(64, 64, 32, false, -1, false, false, false));
    const int64_t before = PixelCount();
    // 30000 x 30000 x 4 bytes does not fit a signed 32-bit count.
    EXPECT_FALSE(image.Create(30000, 30000, 32, true, -1, false, false, false));
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.tiles, nullptr);
    EXPECT_EQ(image.byteSize, 0);
    EXPECT_EQ(PixelCount(), before - 64 * 64);
    EXPECT_FALSE(image.Create(-5, 10, 32, true, -1, false, false, false));
    EXPECT_EQ(image.pixels, nullptr);
}

TEST(SpriteCreate, PixelCountReturnsToZero)
{
    const int64_t before = PixelCount();
    {
        CSprite heap;
        heap.Create(100, 10, 24, false, -1, false, false, false);
        CSprite dib;
        dib.CreateDIB(40, 10, 32);
        CSprite tiled;
        tiled.Create(600, 300, 32, false, -1, false, false, true);
        EXPECT_GT(PixelCount(), before);
        tiled.Create(300, 600, 32, false, -1, false, false, true);
        tiled.FreeRetiredTiles();
    }
    EXPECT_EQ(PixelCount(), before);
}

TEST(SpriteCreate, RetiredTilesAreKeptUntilFreed)
{
    CSprite image;
    ASSERT_TRUE(image.Create(600, 300, 24, false, -1, false, false, true));
    ASSERT_EQ(image.tileCount, 6);
    CSprite* first = image.tiles[0];
    ASSERT_TRUE(image.Create(300, 300, 24, false, -1, false, false, true));
    ASSERT_EQ(image.retiredCount, 6);
    EXPECT_EQ(image.retiredTiles[0], first);
    CSprite* second = image.tiles[0];
    ASSERT_TRUE(image.Create(200, 100, 24, false, -1, false, false, true));
    // Both earlier arrays stay alive until the renderer lets go of them.
    ASSERT_EQ(image.retiredCount, 6 + 4);
    EXPECT_EQ(image.retiredTiles[0], first);
    EXPECT_EQ(image.retiredTiles[6], second);
    EXPECT_EQ(first->width, 256);
    image.FreeRetiredTiles();
    EXPECT_EQ(image.retiredTiles, nullptr);
    EXPECT_EQ(image.retiredCount, 0);
    EXPECT_EQ(image.tileCount, 1);
}

TEST(SpriteCreate, WaitOnBusyImageEndsOnAbort)
{
    struct Case {
        const char* name;
        bool sharedFlag;
    };
    const Case cases[] = {{"own abort word", false}, {"frame cancel flag", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSprite image;
        std::atomic<int> frameCancel{0};
        if (c.sharedFlag)
            image.abortPointer = &frameCancel;
        image.busyCount = 1;  // someone else is drawing
        std::thread canceller([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (c.sharedFlag)
                frameCancel = 2;
            else
                image.abortWord = SpriteAbortCancel;
        });
        const auto start = std::chrono::steady_clock::now();
        image.Create(10, 10, 32, false, -1, false, true, false);
        const auto took = std::chrono::steady_clock::now() - start;
        canceller.join();
        EXPECT_GE(took, std::chrono::milliseconds(80));
        EXPECT_LT(took, std::chrono::seconds(5));
        EXPECT_EQ(image.waitFlags.load(), 0);
        EXPECT_EQ(image.busyCount.load(), 1);
        image.busyCount = 0;
        image.abortPointer = &image.abortWord;
    }
}

TEST(SpriteCreate, WaitEndsWhenAnotherKindOfWaiterIsRegistered)
{
    CSprite image;
    image.busyCount = 1;
    image.waitFlags = SpriteWaitMode;  // a mode change waits too: neither may wait forever
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(image.Create(10, 10, 32, false, -1, false, true, false));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    image.busyCount = 0;
}

// Bilinear scaling may be a few steps off a flat colour.
::testing::AssertionResult Near(uint32_t actual, uint32_t expected)
{
    for (int shift = 0; shift < 24; shift += 8) {
        const int a = (actual >> shift) & 0xFF;
        const int e = (expected >> shift) & 0xFF;
        if (a - e > 4 || e - a > 4)
            return ::testing::AssertionFailure() << std::hex << actual << " is not near " << expected;
    }
    return ::testing::AssertionSuccess();
}

// Left half red, right half blue.
void PaintHalves(CSprite& image)
{
    image.FillRect(0, 0, image.width / 2 - 1, image.height - 1, 0xFF0000, 100, 0);
    image.FillRect(image.width / 2, 0, image.width - 1, image.height - 1, 0x0000FF, 100, 0);
}

TEST(SpriteCreate, KeepContentScalesThePicture)
{
    CSprite image;
    ASSERT_TRUE(image.CreateImage(100, 50, 32, true, 0, false));
    PaintHalves(image);
    image.keepContent = 1;
    ASSERT_EQ(image.contentValid, 1);

    ASSERT_TRUE(image.Create(50, 25, 32, false, -1, false, false, false));
    EXPECT_TRUE(Near(image.GetPixel(5, 12, false), 0xFF0000u));
    EXPECT_TRUE(Near(image.GetPixel(45, 12, false), 0x0000FFu));
    EXPECT_EQ(image.hadContent, 1);
    EXPECT_EQ(image.contentValid, 0);
    EXPECT_EQ(image.aspectChanged, 0);

    // A square target: the picture keeps its aspect, centred vertically, and the aspect is
    // reported as changed.
    CSprite square;
    ASSERT_TRUE(square.CreateImage(100, 50, 32, true, 0, false));
    PaintHalves(square);
    square.keepContent = 1;
    ASSERT_TRUE(square.Create(60, 60, 32, true, 0x00FF00, false, false, false));
    EXPECT_EQ(square.aspectChanged, 1);
    EXPECT_TRUE(Near(square.GetPixel(10, 30, false), 0xFF0000u));
    EXPECT_TRUE(Near(square.GetPixel(50, 30, false), 0x0000FFu));
    // 60 x 30 drawn from row 15.
    EXPECT_TRUE(Near(square.GetPixel(10, 15, false), 0xFF0000u));
    EXPECT_TRUE(Near(square.GetPixel(50, 44, false), 0x0000FFu));

    // Keep-valid: the new storage counts as a finished picture at once.
    CSprite kept;
    kept.keepValid = 1;
    kept.Create(10, 10, 24, false, -1, false, false, false);
    EXPECT_EQ(kept.contentValid, 1);
}

TEST(SpriteCreate, KeepContentAlsoIntoTiles)
{
    CSprite image;
    ASSERT_TRUE(image.CreateImage(400, 200, 32, true, 0, false));
    PaintHalves(image);
    image.keepContent = 1;
    ASSERT_TRUE(image.Create(600, 300, 32, false, -1, false, false, true));
    ASSERT_EQ(image.tileCount, 6);
    EXPECT_TRUE(Near(image.GetPixel(100, 150, false), 0xFF0000u));
    EXPECT_TRUE(Near(image.GetPixel(500, 150, false), 0x0000FFu));
}

TEST(SpriteCreate, CreateImageStoresColourAndState)
{
    CSprite image;
    EXPECT_EQ(image.CreateImage(4, 4, 16, true, 0xFFFFFF, false), 2);
    EXPECT_EQ(image.defaultColour, 0xFFFFFFu);
    EXPECT_EQ(image.loadState, SpriteLoaded);
    EXPECT_EQ(image.GetPixel(3, 3, false) & 0xFFFFFF, 0xF8FCF8u);
    // -1 means "the default colour" and leaves it as it is.
    EXPECT_EQ(image.CreateImage(5, 4, 32, true, -1, false), 4);
    EXPECT_EQ(image.defaultColour, 0xFFFFFFu);
    EXPECT_EQ(image.GetPixel(0, 0, false), 0xFFFFFFu);
}

TEST(SpriteCreate, ChooseLoadBitDepthTable)
{
    struct Case {
        const char* name;
        int bpp;
        int textureMode;
        int fixedBpp;
        bool mask;
        bool hasAlpha;
        bool force32;
        int expected;
        bool expectAlpha;
    };
    const Case cases[] = {
        {"negative becomes natural", -5, 0, 0, false, false, false, 0, false},
        {"natural stays", 0, 0, 0, false, false, false, 0, false},
        {"16 stays", 16, 0, 0, false, false, false, 16, false},
        {"32 becomes 24", 32, 0, 0, false, false, false, 24, false},
        {"OpenGL raises 16", 16, 2, 0, false, false, false, 24, false},
        {"OpenGL raises natural", 0, 2, 0, false, false, false, 24, false},
        {"Direct3D keeps 16", 16, 1, 0, false, false, false, 16, false},
        {"fixed replaces", 24, 0, 16, false, false, false, 16, false},
        {"fixed 32 stays", 8, 0, 32, false, false, false, 32, false},
        {"mask forces 32 and alpha", 8, 0, 0, true, false, false, 32, true},
        {"mask beats fixed", 24, 0, 16, true, false, false, 32, true},
        {"alpha forces 32", 24, 0, 0, false, true, false, 32, true},
        {"force32", 0, 0, 0, false, false, true, 32, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSprite image;
        image.textureMode = c.textureMode;
        image.fixedBpp = c.fixedBpp;
        if (c.mask)
            image.maskFile = "mask.png";
        image.hasAlpha = c.hasAlpha;
        image.force32 = c.force32;
        int bpp = c.bpp;
        image.ChooseLoadBitDepth(bpp);
        EXPECT_EQ(bpp, c.expected);
        EXPECT_EQ(image.hasAlpha != 0, c.expectAlpha);
        image.textureMode = 0;
    }
}

}  // namespace
