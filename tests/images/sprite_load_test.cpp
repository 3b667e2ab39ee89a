// CSprite load control: cancelling a loader thread, the abort word, and Clear.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "core/worker_threads.h"
#include "images/sprite.h"

namespace {

// A stand-in loader: polls the image's abort word like a reader and records what it saw when it
// left its slot.
struct FakeLoader {
    CSprite* image = nullptr;
    std::atomic<int> seenAtExit{-1};
    std::atomic<bool> ignoreAbort{false};
    std::atomic<bool> release{false};
};

unsigned RunFakeLoader(void* parameter)
{
    FakeLoader* loader = static_cast<FakeLoader*>(parameter);
    for (int i = 0; i < 500 && !loader->release; ++i) {
        if (!loader->ignoreAbort && loader->image->AbortValue() != 0)
            break;
        SleepMilliseconds(10);
    }
    loader->seenAtExit = loader->image->AbortValue();
    return 0;
}

TEST(SpriteLoad, CancelLoadClearsTheAbortWordOnlyAfterTheLoaderLeft)
{
    CSprite image;
    FakeLoader loader;
    loader.image = &image;
    CWorkerThread* thread = StartWorkerThread(RunFakeLoader, &loader, &image.loaderThread);
    ASSERT_NE(thread, nullptr);
    ResumeWorkerThread(thread);
    image.waitFlags = SpriteWaitLoader;

    image.CancelLoad();
    EXPECT_EQ(image.loaderThread.load(), nullptr);
    EXPECT_EQ(loader.seenAtExit.load(), SpriteAbortCancel);
    EXPECT_EQ(image.abortWord.load(), 0);
    EXPECT_EQ(image.waitFlags.load(), 0);
}

TEST(SpriteLoad, CancelLoadGivesUpOnALoaderThatDoesNotStop)
{
    const int saved = CSprite::s_loaderWaitMs;
    CSprite::s_loaderWaitMs = 300;
    FakeLoader loader;
    {
        CSprite image;
        loader.image = &image;
        loader.ignoreAbort = true;
        CWorkerThread* thread = StartWorkerThread(RunFakeLoader, &loader, &image.loaderThread);
        ASSERT_NE(thread, nullptr);
        ResumeWorkerThread(thread);
        const auto start = std::chrono::steady_clock::now();
        image.CancelLoad();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
        EXPECT_EQ(image.loaderThread.load(), nullptr);
        // Let the loader finish while the image is still there; it no longer owns the slot.
        loader.release = true;
        for (int i = 0; i < 200 && loader.seenAtExit.load() == -1; ++i)
            SleepMilliseconds(10);
        EXPECT_EQ(image.loaderThread.load(), nullptr);
    }
    CSprite::s_loaderWaitMs = saved;
}

// A loader that pads its tile edges while a mode change holds the image.
unsigned PadWhileHeld(void* parameter)
{
    CSprite* image = static_cast<CSprite*>(parameter);
    for (int i = 0; i < 300 && !(image->waitFlags.load() & SpriteWaitUploadHolds); ++i)
        SleepMilliseconds(10);
    image->PadTileEdges();
    return 0;
}

TEST(SpriteLoad, ModeChangeAndLoaderNeverWaitForEachOther)
{
    CSprite image;
    ASSERT_TRUE(image.Create(300, 40, 24, true, 0x203040, false, false, true));
    CWorkerThread* thread = StartWorkerThread(PadWhileHeld, &image, &image.loaderThread);
    ASSERT_NE(thread, nullptr);
    ResumeWorkerThread(thread);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(image.SetTextureMode(SpriteTextureOpenGL, 24, nullptr, 0), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(image.textureMode, SpriteTextureOpenGL);
    for (int i = 0; i < 300 && image.loaderThread.load(); ++i)
        SleepMilliseconds(10);
    EXPECT_EQ(image.loaderThread.load(), nullptr);
    EXPECT_EQ(image.waitFlags.load(), 0);
    EXPECT_EQ(image.busyCount.load(), 0);
    EXPECT_EQ(image.GetPixel(299, 39, false) & 0xFFFFFF, 0x203040u);
}

TEST(SpriteLoad, CancelOfOneImageLeavesASharedCancelFlagAlone)
{
    std::atomic<int> frameCancel{0};
    CSprite a, b;
    a.abortPointer = &frameCancel;
    b.abortPointer = &frameCancel;
    a.CancelLoad();
    EXPECT_EQ(frameCancel.load(), 0);
    EXPECT_EQ(b.AbortValue(), 0);
    // The frame's flag reaches every image that shares it.
    frameCancel = 2;
    EXPECT_EQ(a.AbortValue(), 2);
    EXPECT_EQ(b.AbortValue(), 2);
}

TEST(SpriteLoad, TileCancelsThroughItsParent)
{
    CSprite image;
    ASSERT_TRUE(image.Create(300, 20, 24, true, 0, false, false, true));
    image.abortWord = SpriteAbortNotifyPending;
    image.tiles[0]->CancelLoad();
    EXPECT_EQ(image.abortWord.load(), 0);
    EXPECT_EQ(image.tiles[0]->parent, &image);
}

TEST(SpriteLoad, ClearReleasesEverythingAndKeepsTheName)
{
    const int64_t before = CSprite::s_pixelCount.load();
    CSprite image;
    image.fileName = "face.jpg";
    ASSERT_EQ(image.CreateImage(40, 30, 24, true, 0, false), 3);
    image.progress = 100;
    image.generation = 4;
    image.requestedLevels[2] = 0;
    image.Clear();
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.loadState, SpriteEmpty);
    EXPECT_EQ(image.progress, 0);
    EXPECT_EQ(image.generation, 0);
    EXPECT_EQ(image.bitsPerPixel, 0);
    EXPECT_EQ(image.requestedLevels[2], 3);
    EXPECT_STREQ(image.fileName.GetText(), "face.jpg");
    EXPECT_EQ(CSprite::s_pixelCount.load(), before);

    // Borrowed tiles are not freed by their borrower.
    CSprite owner;
    ASSERT_TRUE(owner.Create(300, 20, 24, true, 0, false, false, true));
    CSprite borrower;
    borrower.tiles = owner.tiles;
    borrower.tileCount = owner.tileCount;
    borrower.borrowedTiles = 1;
    borrower.FreeBuffers(true);
    EXPECT_EQ(borrower.tiles, owner.tiles);
    borrower.tiles = nullptr;
    borrower.tileCount = 0;
    borrower.borrowedTiles = 0;
}

}  // namespace
