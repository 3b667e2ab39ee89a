// The frame's data model: defaults, load progress, and Unload.
#include <gtest/gtest.h>

#include <memory>

#include "core/object_item.h"
#include "render/mesh.h"
#include "sources/frame.h"

namespace {

std::unique_ptr<CFrame> NewFrame() { return std::make_unique<CFrame>(); }

TEST(FrameModel, ConstructionGivesAnEmptyFrameWithItsDefaults) {
    auto frame = NewFrame();
    EXPECT_EQ(frame->flags, 0x404161u);
    EXPECT_EQ(frame->kind, FrameKindSpherical);
    EXPECT_EQ(frame->sourceKind, SourceFromFile);
    EXPECT_EQ(static_cast<uint32_t>(frame->backColour), 0xFF000000u);
    EXPECT_EQ(frame->meshCount, 0);
    EXPECT_EQ(frame->spriteCount, 0);
    EXPECT_EQ(frame->loaderThread.load(), nullptr);
    EXPECT_EQ(frame->mouseMode, 2);
    EXPECT_EQ(frame->viewerMode, 1);
    EXPECT_EQ(frame->toolbarButtons, -1);
    EXPECT_EQ(frame->fileBytesTotal, -1);
    EXPECT_FLOAT_EQ(frame->initialView[ViewZoom], 1.0f);
    EXPECT_FLOAT_EQ(frame->lowerLimits[ViewTilt], -90.0f);
    EXPECT_FLOAT_EQ(frame->upperLimits[ViewTilt], 90.0f);
    EXPECT_FLOAT_EQ(frame->lowerLimits[ViewZoom], 0.28f);
    EXPECT_FLOAT_EQ(frame->upperLimits[ViewZoom], 6.0f);
    EXPECT_FLOAT_EQ(frame->lowerLimits[ViewPan], 360.0f);
    EXPECT_FLOAT_EQ(frame->fisheyeConfig[FisheyeLensAngle], 180.0f);
    EXPECT_EQ(frame->gridBlendImage, -1);
    EXPECT_EQ(frame->gridStepDirection, 1);
    EXPECT_EQ(frame->luminanceTarget, 40);
    EXPECT_EQ(frame->seekSetIndex, -1);
    EXPECT_FLOAT_EQ(frame->playbackRate, 1.0f);
    EXPECT_EQ(frame->noiseFrames, 16);
    for (int i = 0; i < kFrameViewerCount; ++i)
        EXPECT_FLOAT_EQ(frame->cameras[i].zoom, 1.0f);
    const SensorParameters& s = frame->sensorParams;
    for (int i = 0; i < kSensorCapacity; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(s.meshShape[i], 2);
        EXPECT_FLOAT_EQ(s.uCentre[i], 0.5f);
        EXPECT_FLOAT_EQ(s.horizontalSize[i], 0.5f);
        EXPECT_FLOAT_EQ(s.verticalLensFactor[i], 1.0f);
        EXPECT_FLOAT_EQ(s.lensCoefficient2[i], 0.5f);
        EXPECT_FLOAT_EQ(s.lensCoefficient3[i], 0.2f);
        EXPECT_FLOAT_EQ(s.lensCoefficient4[i], 1.0f);
    }
}

// One image of a progress table row.
struct ProgressImage {
    bool named;
    bool content;
    int expectedSize;
    int byteSize;
    int percent;
    int32_t state;
    int32_t weight;
};

TEST(FrameModel, UpdateProgressWeighsItsItems) {
    struct Case {
        const char* name;
        std::vector<ProgressImage> images;
        bool fileItem;
        int32_t fileRead, fileTotal;
        float before;     // percentage before the update
        float expected;   // percentage after it
        bool loading;     // loading flag after it
    };
    const Case cases[] = {
        {"two named images half done, one not started",
         {{true, false, 0, 0, 50, SpriteLoading, 0}, {true, false, 0, 0, 0, SpriteLoading, 0}},
         false, 0, 0, 0, 12.5f, true},
        {"content sizes weigh: expected size, else pixel bytes",
         {{true, true, 300, 0, 100, SpriteLoaded, 0}, {true, true, 0, 100, 0, SpriteLoading, 0}},
         false, 0, 0, 0, 75.0f, true},
        {"a nameless image without content has no size",
         {{false, false, 0, 0, 0, SpriteLoading, 0}, {true, true, 100, 0, 50, SpriteLoading, 0}},
         false, 0, 0, 0, 50.0f, true},
        {"a failed image does not keep the frame incomplete",
         {{true, true, 100, 0, 100, SpriteLoaded, 0}, {true, false, 0, 0, 0, SpriteFailed, 0}},
         false, 0, 0, 7.0f, 100.0f, false},
        {"weight -2 counts only while incomplete and never in the total",
         {{true, true, 100, 0, 50, SpriteLoading, 0},
          {true, true, 100, 0, 50, SpriteLoading, ProgressWeightWhileIncomplete}},
         false, 0, 0, 0, 100.0f, true},
        {"the file item adds its bytes",
         {{true, true, 100, 0, 100, SpriteLoaded, 0}}, true, 100, 300, 0, 50.0f, true},
        {"a file of unknown length is left out",
         {{true, true, 100, 0, 40, SpriteLoading, 0}}, true, 100, -1, 0, 40.0f, true},
        {"everything done",
         {{true, true, 100, 0, 100, SpriteLoaded, 0}}, true, 300, 300, 3.0f, 100.0f, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto frame = NewFrame();
        std::vector<std::unique_ptr<CSprite>> images;
        for (const ProgressImage& p : c.images) {
            images.push_back(std::make_unique<CSprite>());
            CSprite* image = images.back().get();
            if (p.named)
                image->fileName = "face.jpg";
            image->contentValid = p.content;
            image->expectedFileSize = p.expectedSize;
            image->byteSize = p.byteSize;
            image->progress = p.percent;
            image->loadState = p.state;
            frame->TrackSpriteProgress(image, p.weight);
        }
        frame->fileBytesRead = c.fileRead;
        frame->fileBytesTotal = c.fileTotal;
        if (c.fileItem)
            frame->TrackFileProgress();
        frame->loading = 1;
        frame->loadPercent = c.before;
        EXPECT_EQ(frame->UpdateProgress(), static_cast<int>(c.images.size() + c.fileItem));
        EXPECT_NEAR(frame->loadPercent, c.expected, 0.01f);
        EXPECT_EQ(frame->loading != 0, c.loading);
        frame->ClearProgress();
    }
}

TEST(FrameModel, ProgressWithoutItemsKeepsThePercentage) {
    auto frame = NewFrame();
    frame->loadPercent = 33.0f;
    frame->loading = 1;
    EXPECT_EQ(frame->UpdateProgress(), 0);
    EXPECT_FLOAT_EQ(frame->loadPercent, 33.0f);
    EXPECT_EQ(frame->loading, 1);
}

TEST(FrameModel, TrackingAnImageTwiceKeepsOneItemWithTheNewWeight) {
    auto frame = NewFrame();
    CSprite image;
    image.fileName = "a.jpg";
    frame->TrackSpriteProgress(&image, ProgressWeightNormal);
    frame->TrackSpriteProgress(&image, ProgressWeightWhileIncomplete);
    ASSERT_EQ(frame->progress.GetCount(), 1);
    auto* item = static_cast<ObjectItem*>(frame->progress.GetItem(0));
    EXPECT_EQ(item->mode, ProgressWeightWhileIncomplete);
    EXPECT_EQ(frame->loading, 1);
    frame->ClearProgress();
    EXPECT_EQ(frame->progress.GetCount(), 0);
    EXPECT_EQ(frame->loading, 0);
}

TEST(FrameModel, UnloadDeletesOwnImagesAndClearsThoseOfAnotherOwner) {
    auto frame = NewFrame();
    frame->CreateGeometry(FrameKindCubic, 6, 10, 10, 0);
    ASSERT_EQ(frame->meshCount, 6);
    CSprite itemImage;
    itemImage.CreateImage(4, 4, 24, true, 0x123456, false);
    ASSERT_TRUE(frame->AppendBorrowedSprite(&itemImage));
    EXPECT_EQ(frame->spriteCount, 7);
    frame->flags |= FramePreloaded | FrameActivated;
    frame->TrackSpriteProgress(frame->sprites[0], 0);
    frame->unitScale = 3.0f;
    frame->lightCount = 2;

    frame->Unload();
    EXPECT_EQ(frame->meshCount, 0);
    EXPECT_EQ(frame->spriteCount, 0);
    EXPECT_EQ(frame->kind, FrameKindNone);
    EXPECT_EQ(frame->flags & (FramePreloaded | FrameActivated), 0u);
    EXPECT_EQ(frame->progress.GetCount(), 0);
    EXPECT_FLOAT_EQ(frame->unitScale, 1.0f);
    EXPECT_EQ(frame->lightCount, 0);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(frame->sprites[i], nullptr);
        EXPECT_EQ(frame->meshes[i], nullptr);
    }
    // The item's image survives, emptied and loadable again.
    EXPECT_EQ(itemImage.pixels, nullptr);
    EXPECT_EQ(itemImage.abortWord & SpriteAbortCancel, 0);

    // The frame loads again.
    EXPECT_EQ(frame->CreateGeometry(FrameKindSpherical, 1, 10, 10, 0), 10);
    EXPECT_EQ(frame->meshCount, 1);
}

TEST(FrameModel, AppendBorrowedSpriteStopsAtTheLastSlot) {
    auto frame = NewFrame();
    CSprite image;
    frame->spriteCount = kFrameSlotCapacity;
    EXPECT_FALSE(frame->AppendBorrowedSprite(&image));
    frame->spriteCount = 0;
}

}  // namespace
