// Detail levels of 3D scenes: the textures and models the main viewer streams, far meshes
// released, coarser levels, finer tiles for the nearest mesh in view, the scene values.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "render/mesh.h"
#include "render/render_device.h"
#include "sources/frame.h"
#include "test_support.h"

namespace {

// A scene on the ground seen by a window-less device whose far distance is 1000.
struct Scene {
    std::unique_ptr<CObjeto2D> device = std::make_unique<CObjeto2D>();
    std::unique_ptr<CFrame> frame = std::make_unique<CFrame>();

    explicit Scene(int kind = FrameKindScene) {
        device->params->farZ = 1000.0f;
        frame->device = device.get();
        frame->kind = kind;
    }
    ~Scene() {
        frame->Unload();
        frame->device = nullptr;
    }
    // A mesh whose box spans side x side on the ground from (x, z), visible in the view; with
    // a picture of pictureSide (0: the slot stays empty).
    CObjeto3D* Add(float x, float z, float side, int pictureSide) {
        const int slot = frame->meshCount;
        CObjeto3D* mesh = new CObjeto3D;
        mesh->xMin = x;
        mesh->xMax = x + side;
        mesh->zMin = z;
        mesh->zMax = z + side;
        mesh->visibleInView = 1;
        frame->meshes[slot] = mesh;
        if (pictureSide > 0) {
            CSprite* image = new CSprite;
            image->CreateImage(pictureSide, pictureSide, 24, true, 0x336699, false);
            frame->sprites[slot] = image;
            mesh->texture1 = image;
        }
        frame->meshCount = slot + 1;
        frame->spriteCount = slot + 1;
        return mesh;
    }
};

// The per-tile arrays of a tiled decode, 2 x 2 tiles, owned by the image.
void GiveTiles(CSprite* image) {
    image->tileDecodedDetail = new uint8_t[4]();
    image->tileVisibility = new uint8_t[4]();
    image->tileRequestedDetail = new uint8_t[4]();
    image->jpegTileCount = 4;
    image->jpegTilesAcross = 2;
    image->jpegTileWidth = 0.5f;
    image->jpegTileHeight = 0.5f;
}

TEST(FrameDetail, TheNearestWantedTextureStreamsUnderTheNameOfTheModelsFolder) {
    TempFolder folder;
    CSprite picture;
    ASSERT_GT(picture.CreateImage(32, 32, 24, true, 0x2080C0, false), 0);
    picture.jfif = 1;
    ASSERT_EQ(picture.SaveJPEG(folder.File("tex.jpg").c_str(), 90, 101, 1, 64, false, false,
                               false, 0, false, 1, nullptr, 0, 0, 0, 0),
              1);
    Scene scene;
    scene.frame->flags |= FrameDetail24Bit;
    // Mesh 0 (scene radius 70.7) is under the camera; mesh 1 is farther than 4 radii.
    for (int m = 0; m < 2; ++m) {
        CObjeto3D* mesh = scene.Add(m * 600.0f, 0, 100, 0);
        strcpy(mesh->fileName, folder.File("model.kzr").c_str());
        strcpy(mesh->textureName, "tex.jpg");
    }
    const float camera[3] = {50, 0, 50};
    // The first round gives both meshes their placeholders at the coarsest level.
    scene.frame->UpdateDetailLevels(camera, 1.0f, 0);
    for (int m = 0; m < 2; ++m) {
        ASSERT_NE(scene.frame->sprites[m], nullptr);
        EXPECT_EQ(scene.frame->sprites[m]->width, 10);
        EXPECT_EQ(scene.frame->sprites[m]->resolutionLevel, 3);
        EXPECT_EQ(scene.frame->meshes[m]->texture1, scene.frame->sprites[m]);
    }
    EXPECT_EQ(scene.frame->streamedImage, nullptr);

    // The next asks full detail of the near mesh and streams its texture; the far one waits.
    scene.frame->UpdateDetailLevels(camera, 1.3f, 0);
    CSprite* nearImage = scene.frame->sprites[0];
    EXPECT_EQ(nearImage->resolutionLevel, 0);
    ASSERT_EQ(scene.frame->streamedImage, nearImage);
    EXPECT_EQ(nearImage->fileName.GetText(), folder.File("tex.jpg"));
    EXPECT_EQ(scene.frame->sprites[1]->fileName.GetLength(), 0);
    ASSERT_TRUE(WaitForWorkerThreadEnd(nearImage->loaderThread, 10000));
    EXPECT_EQ(nearImage->loadState, SpriteLoaded);
    EXPECT_EQ(nearImage->width, 32);

    // Once loaded it is forgotten and the far mesh's texture follows at the coarsest level.
    scene.frame->UpdateDetailLevels(camera, 1.6f, 0);
    CSprite* distant = scene.frame->sprites[1];
    ASSERT_EQ(scene.frame->streamedImage, distant);
    ASSERT_TRUE(WaitForWorkerThreadEnd(distant->loaderThread, 10000));
    EXPECT_EQ(distant->loadState, SpriteLoaded);
    // The level stays the coarsest, but a stream without a tile table decodes whole at every
    // level: the picture keeps its 32 pixels.
    EXPECT_EQ(distant->resolutionLevel, 3);
    EXPECT_EQ(distant->width, 32);
    scene.frame->UpdateDetailLevels(camera, 1.9f, 0);
    EXPECT_EQ(scene.frame->streamedImage, nullptr);
    // Other viewers choose levels but start nothing.
    nearImage->loadState = SpriteEmpty;
    scene.frame->UpdateDetailLevels(camera, 1.9f, 1);
    EXPECT_EQ(scene.frame->streamedImage, nullptr);
    EXPECT_EQ(nearImage->loaderThread.load(), nullptr);
}

TEST(FrameDetail, FarMeshesLetGoOfTheirDataOnlyWhenTheFrameReleasesThem) {
    struct Case {
        const char* name;
        bool releaseFlag;
        int viewer;
        bool released;
    };
    const Case cases[] = {
        {"released by the main viewer", true, 0, true},
        {"kept without the flag", false, 0, false},
        {"kept by another viewer's round", true, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scene scene;
        if (c.releaseFlag)
            scene.frame->flags |= FrameReleaseFarMeshes;
        else
            scene.frame->flags &= ~FrameReleaseFarMeshes;
        scene.Add(0, 0, 100, 10);
        CObjeto3D* distant = scene.Add(5000, 5000, 100, 64);
        distant->BuildGeometry(MeshGeometryPlane, 2, 2, 100, 100, 100, 0, 2, 0, 1, 0.5f, 0, true);
        distant->xMin = distant->zMin = 5000;
        distant->xMax = distant->zMax = 5100;
        CSprite* picture = scene.frame->sprites[1];
        picture->resolutionLevel = 0;
        picture->requestedLevels[0] = picture->requestedLevels[1] = 0;
        const float camera[3] = {50, 0, 50};
        scene.frame->UpdateDetailLevels(camera, 1.0f, c.viewer);
        EXPECT_EQ(distant->viewDistance[c.viewer] == kMeshUnusedViewDistance, c.releaseFlag);
        EXPECT_EQ(distant->vertexCount == 0, c.released);
        EXPECT_EQ(picture->width, c.released ? 10 : 64);
        EXPECT_EQ(picture->resolutionLevel, c.released ? 3 : 0);
        EXPECT_EQ(scene.frame->sprites[1], picture);
    }
}

TEST(FrameDetail, ACoarserRequestDropsTheTilesAskedAndLowersTheLevel) {
    Scene scene;
    scene.Add(0, 0, 100, 64);
    CSprite* image = scene.frame->sprites[0];
    image->keepContent = 1;
    image->resolutionLevel = 0;
    GiveTiles(image);
    for (int t = 0; t < 4; ++t)
        image->tileRequestedDetail[t] = 64;
    // 350 from the mesh's centre: beyond four scene radii, the coarsest level is wanted.
    const float camera[3] = {50, 0, 400};
    scene.frame->UpdateDetailLevels(camera, 1.0f, 0);
    EXPECT_EQ(image->requestedLevels[0], 3);
    EXPECT_EQ(image->resolutionLevel, 3);
    EXPECT_EQ(image->width, 8);  // the kept picture shrank in place
    for (int t = 0; image->tileRequestedDetail && t < image->jpegTileCount; ++t)
        EXPECT_EQ(image->tileRequestedDetail[t], 0);
}

TEST(FrameDetail, OnlyTheNearestMeshInViewThatLacksDetailAsksFinerTiles) {
    Scene scene(FrameKindAerial);
    CObjeto3D* farther = scene.Add(0, 0, 1000, 64);
    CObjeto3D* nearer = scene.Add(2000, 0, 1000, 64);
    GiveTiles(scene.frame->sprites[0]);
    GiveTiles(scene.frame->sprites[1]);
    scene.device->params->farZ = 4000.0f;
    const float camera[3] = {2500, 0, 500};
    // The first round lays out the tiles of both meshes.
    scene.frame->UpdateDetailLevels(camera, 1.0f, 0);
    EXPECT_NE(nearer->auxBuffers[0], nullptr);
    EXPECT_NE(farther->auxBuffers[0], nullptr);
    // The next asks tiles of the nearer mesh only.
    scene.frame->UpdateDetailLevels(camera, 1.5f, 0);
    EXPECT_EQ(scene.frame->sprites[1]->reloadWanted, 1);
    EXPECT_GT(scene.frame->sprites[1]->tileRequestedDetail[0], 0);
    EXPECT_EQ(scene.frame->sprites[0]->reloadWanted, 0);
    EXPECT_EQ(scene.frame->sprites[0]->tileRequestedDetail[0], 0);
    // A mesh out of view asks nothing.
    nearer->visibleInView = 0;
    nearer->viewVisible[0] = 0;
    for (int t = 0; t < 4; ++t)
        scene.frame->sprites[1]->tileDecodedDetail[t] = 0;
    scene.frame->sprites[1]->reloadWanted = 0;
    scene.frame->UpdateDetailLevels(camera, 2.0f, 0);
    EXPECT_EQ(scene.frame->sprites[1]->reloadWanted, 0);
    EXPECT_EQ(scene.frame->sprites[0]->reloadWanted, 1);
}

TEST(FrameDetail, TheStreamedModelGivesTheSceneItsValuesOnce) {
    Scene scene;
    scene.Add(0, 0, 100, 10);
    CObjeto3D model;
    model.unitScale = 2.5f;
    model.mapEasting = 100;
    model.mapNorthing = 200;
    model.xMin = -50;
    model.zMin = -60;
    // Still loading: nothing is taken and the model stays remembered.
    model.loadState = MeshLoading;
    scene.frame->streamedModel = &model;
    const float camera[3] = {50, 0, 50};
    scene.frame->UpdateDetailLevels(camera, 1.0f, 0);
    EXPECT_EQ(scene.frame->sceneValuesKnown, 0);
    EXPECT_EQ(scene.frame->streamedModel, &model);

    model.loadState = MeshLoaded;
    scene.frame->UpdateDetailLevels(camera, 1.5f, 0);
    EXPECT_EQ(scene.frame->sceneValuesKnown, 1);
    EXPECT_FLOAT_EQ(scene.frame->unitScale, 2.5f);
    EXPECT_FLOAT_EQ(scene.frame->sceneValues[0], 100);
    EXPECT_FLOAT_EQ(scene.frame->sceneValues[1], 200);
    EXPECT_FLOAT_EQ(scene.frame->sceneValues[2], -50);
    EXPECT_FLOAT_EQ(scene.frame->sceneValues[3], -60);
    EXPECT_EQ(scene.frame->streamedModel, nullptr);

    // A later model does not change them.
    CObjeto3D second;
    second.unitScale = 9.0f;
    second.loadState = MeshLoaded;
    scene.frame->streamedModel = &second;
    scene.frame->UpdateDetailLevels(camera, 2.0f, 0);
    EXPECT_FLOAT_EQ(scene.frame->unitScale, 2.5f);
    EXPECT_EQ(scene.frame->streamedModel, nullptr);
}

}  // namespace
