// Frame geometry: the meshes and placeholders of each kind, and tile detail.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "render/mesh.h"
#include "render/render_device.h"
#include "sources/frame.h"

namespace {

TEST(FrameGeometry, CreateGeometryBuildsEachKind) {
    struct Case {
        const char* name;
        int kind, count, width, height;
        int result, meshes, images, navigation, columns;
    };
    const Case cases[] = {
        {"cube", FrameKindCubic, 6, 10, 10, 10, 6, 6, 2, 5},
        {"a cube of one still has six faces", FrameKindCubic, 1, 10, 10, 10, 6, 6, 2, 5},
        {"a cube without placeholders or images", FrameKindCubic, 6, 0, 0, 0, 0, 0, 2, -1},
        {"cylinder of 7 pieces: 8 columns each", FrameKindCylindrical, 7, 10, 10, 10, 7, 7, 2, 8},
        {"spherical image", FrameKindSpherical, 1, 10, 10, 10, 1, 1, 2, 161},
        {"one-shot", FrameKindOneShot, 2, 10, 10, 10, 2, 2, 2, 161},
        {"fisheye", FrameKindFisheye, 2, 10, 10, 10, 2, 2, 2, 61},
        {"spherical camera: sensors and a band", FrameKindCamera, 3, 10, 10, 10, 4, 3,
         2, -1},
        {"image grid 3 x 2", FrameKindImageGrid, 1, 3, 2, 10, 1, 6, 1, 2},
        {"image grid without columns", FrameKindImageGrid, 1, 0, 2, 10, 1, 0, 1, 2},
        {"aerial", FrameKindAerial, 1, 10, 10, 10, 1, 1, 2, 2},
        {"3D scene: no meshes", FrameKindScene, 1, 10, 10, 10, 0, 0, 2, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto frame = std::make_unique<CFrame>();
        frame->mouseMode = 2;
        EXPECT_EQ(frame->CreateGeometry(c.kind, c.count, c.width, c.height, 0), c.result);
        EXPECT_EQ(frame->kind, c.kind);
        EXPECT_EQ(frame->meshCount, c.meshes);
        EXPECT_EQ(frame->spriteCount, c.images);
        EXPECT_EQ(frame->mouseMode, c.navigation);
        if (c.columns >= 0) {
            ASSERT_NE(frame->meshes[0], nullptr);
            EXPECT_EQ(frame->meshes[0]->columns, c.columns);
        }
        for (int i = 0; i < c.images; ++i) {
            ASSERT_NE(frame->sprites[i], nullptr);
            if (c.width > 0 && c.kind != FrameKindCamera && c.kind != FrameKindImageGrid) {
                EXPECT_EQ(frame->sprites[i]->width, c.width);
            }
            EXPECT_EQ(frame->sprites[i]->cubeFace, c.kind == FrameKindCubic ? 1 : 0);
        }
        if (c.kind == FrameKindCubic && c.meshes == 6) {
            EXPECT_EQ(frame->meshes[1]->posX, 200.0f);
            EXPECT_EQ(frame->meshes[1]->rotZ, 90.0f);
            EXPECT_EQ(frame->meshes[4]->rotX, 180.0f);
            EXPECT_EQ(frame->meshes[0]->texture1, frame->sprites[0]);
        }
        if (c.kind == FrameKindCamera) {
            EXPECT_EQ(frame->seamCount, 3);
            EXPECT_EQ(frame->sensorCount, 3);
            EXPECT_STREQ(frame->meshes[2]->name.GetText(), "VistroluxImage2");
            EXPECT_EQ(frame->meshes[3]->visible, 0);
        }
        if (c.kind == FrameKindAerial) {
            EXPECT_EQ(frame->sceneValuesKnown, 1);
        }
    }
}

// The flat kinds' planes are squares of their side: no row is shifted against the others (a
// shifted row folds the face into a zig-zag that cuts through the viewer's eye).
TEST(FrameGeometry, PlanesAreFlatSquaresWhereTheyBelong) {
    struct Case {
        const char* name;
        int kind, count, width, height;
        int mesh;
        float side;
        float worldX[2], worldY[2], worldZ[2];
    };
    const Case cases[] = {
        {"cube front", FrameKindCubic, 6, 10, 10, 0, 400, {-200, 200}, {-200, 200}, {200, 200}},
        {"cube left", FrameKindCubic, 6, 10, 10, 3, 400, {-200, -200}, {-200, 200}, {-200, 200}},
        {"cube bottom", FrameKindCubic, 6, 10, 10, 5, 400, {-200, 200}, {-200, -200}, {-200, 200}},
        {"image grid", FrameKindImageGrid, 1, 2, 2, 0, 165.7f, {-82.85f, 82.85f},
         {-82.85f, 82.85f}, {200, 200}},
        {"aerial", FrameKindAerial, 1, 10, 10, 0, 5000, {-2500, 2500}, {0, 0}, {-2500, 2500}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto frame = std::make_unique<CFrame>();
        frame->CreateGeometry(c.kind, c.count, c.width, c.height, 0);
        const CObjeto3D* mesh = frame->meshes[c.mesh];
        ASSERT_NE(mesh, nullptr);
        ASSERT_GT(mesh->vertexCount, 0);
        const float half = c.side / 2;
        for (int r = 0; r < mesh->rows; ++r) {
            const MeshVertex& first = mesh->vertices[r * mesh->columns];
            const MeshVertex& last = mesh->vertices[r * mesh->columns + mesh->columns - 1];
            EXPECT_NEAR(first.x, -half, 0.01f) << "row " << r;
            EXPECT_NEAR(last.x, half, 0.01f) << "row " << r;
        }
        float low[3] = {1e9f, 1e9f, 1e9f};
        float high[3] = {-1e9f, -1e9f, -1e9f};
        for (int i = 0; i < mesh->vertexCount; ++i) {
            const MeshVertex& v = mesh->vertices[i];
            const float world[3] = {v.wx, v.wy, v.wz};
            for (int k = 0; k < 3; ++k) {
                low[k] = std::min(low[k], world[k]);
                high[k] = std::max(high[k], world[k]);
            }
        }
        const float* expected[3] = {c.worldX, c.worldY, c.worldZ};
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(low[k], expected[k][0], 0.05f) << "axis " << k;
            EXPECT_NEAR(high[k], expected[k][1], 0.05f) << "axis " << k;
        }
    }
}

TEST(FrameGeometry, AFrameThatHasMeshesIsLeftAlone) {
    auto frame = std::make_unique<CFrame>();
    ASSERT_EQ(frame->CreateGeometry(FrameKindSpherical, 1, 10, 10, 0), 10);
    EXPECT_EQ(frame->CreateGeometry(FrameKindCubic, 6, 10, 10, 0), -200);
    EXPECT_EQ(frame->kind, FrameKindSpherical);
    EXPECT_EQ(frame->meshCount, 1);
}

TEST(FrameGeometry, TheTourFixedNavigationModeStays) {
    auto frame = std::make_unique<CFrame>();
    frame->mouseMode = 5;
    frame->overrides |= OverrideMouseMode;
    frame->CreateGeometry(FrameKindImageGrid, 1, 2, 2, 0);
    EXPECT_EQ(frame->mouseMode, 5);
}

TEST(FrameGeometry, LargePlaceholdersShowGreyBarsOverBlack) {
    auto frame = std::make_unique<CFrame>();
    frame->backColour = static_cast<int32_t>(0xFF204060u);
    frame->CreateGeometry(FrameKindSpherical, 1, 180, 90, 0);
    CSprite* image = frame->sprites[0];
    ASSERT_NE(image->pixels, nullptr);
    EXPECT_EQ(image->GetPixel(1, 50, false) & 0xFFFFFF, 0x888888u);  // a bar at x = 0..3
    EXPECT_EQ(image->GetPixel(50, 50, false) & 0xFFFFFF, 0u);
    auto small = std::make_unique<CFrame>();
    small->backColour = static_cast<int32_t>(0xFF204060u);
    small->CreateGeometry(FrameKindSpherical, 1, 10, 10, 0);
    EXPECT_EQ(small->sprites[0]->GetPixel(5, 5, false) & 0xFFFFFF, 0x204060u);
}

TEST(FrameGeometry, SlicesOfOneImageGetTheirOffsets) {
    auto frame = std::make_unique<CFrame>();
    frame->CreateGeometry(FrameKindCylindrical, 3, 10, 10, 2);
    EXPECT_EQ(frame->sprites[2]->sliceOffsetX, 20);
    EXPECT_EQ(frame->sprites[2]->fixedBpp, 32);
}

TEST(FrameGeometry, AFisheyeWithoutASizeKeepsTheMeshCoordinates) {
    auto reference = std::make_unique<CObjeto3D>();
    reference->BuildGeometry(MeshGeometrySphere, 61, 61, 460, 460, 460, 0.0f, 1.0f, 0.0025f,
                             0.9975f, 0.5f, 0, true);
    reference->SetTexture(nullptr, -1, 1, -1, false);
    auto frame = std::make_unique<CFrame>();
    frame->CreateGeometry(FrameKindFisheye, 1, 10, 10, 0);
    CObjeto3D* mesh = frame->meshes[0];
    ASSERT_EQ(mesh->vertexCount, reference->vertexCount);
    for (int i = 0; i < mesh->vertexCount; i += 97) {
        EXPECT_FLOAT_EQ(mesh->vertices[i].u, reference->vertices[i].u);
        EXPECT_FLOAT_EQ(mesh->vertices[i].v, reference->vertices[i].v);
    }
}

TEST(FrameGeometry, AFisheyeWithASizeMapsItsCircle) {
    auto frame = std::make_unique<CFrame>();
    float* f = frame->fisheyeConfig;
    f[FisheyeImageWidth] = 1000;
    f[FisheyeImageHeight] = 1000;
    f[FisheyeCentreX] = 500;
    f[FisheyeCentreY] = 500;
    f[FisheyeCircleWidth] = 800;
    f[FisheyeCircleHeight] = 800;
    frame->CreateGeometry(FrameKindFisheye, 1, 10, 10, 0);
    const CObjeto3D* mesh = frame->meshes[0];
    float uMin = 1, uMax = 0;
    for (int i = 0; i < mesh->vertexCount; ++i) {
        ASSERT_GE(mesh->vertices[i].u, 0.0f);
        ASSERT_LE(mesh->vertices[i].u, 1.0f);
        uMin = std::min(uMin, mesh->vertices[i].u);
        uMax = std::max(uMax, mesh->vertices[i].u);
    }
    // The circle spans 0.1 to 0.9 of the image.
    EXPECT_NEAR(uMin, 0.1f, 0.02f);
    EXPECT_NEAR(uMax, 0.9f, 0.02f);
}

// A mesh whose box lies on the ground from (0, 0) to (1000, 1000) with a tiled texture of 2 x 2.
struct TiledGround {
    CObjeto2D device;
    CFrame frame;
    CObjeto3D mesh;
    CSprite image;
    uint8_t decoded[4] = {};
    uint8_t visibility[4] = {};
    uint8_t requested[4] = {};

    TiledGround() {
        device.params->farZ = 1000.0f;
        frame.device = &device;
        mesh.xMin = 0;
        mesh.xMax = 1000;
        mesh.zMin = 0;
        mesh.zMax = 1000;
        mesh.texture1 = &image;
        image.tileDecodedDetail = decoded;
        image.tileVisibility = visibility;
        image.tileRequestedDetail = requested;
        image.jpegTileCount = 4;
        image.jpegTilesAcross = 2;
        image.jpegTileWidth = 0.5f;
        image.jpegTileHeight = 0.5f;
        image.loadState = SpriteLoaded;
        image.progress = 100;
    }
    ~TiledGround() {
        image.tileDecodedDetail = image.tileVisibility = image.tileRequestedDetail = nullptr;
        mesh.texture1 = nullptr;
        frame.device = nullptr;
    }
};

TEST(FrameGeometry, TileDetailFollowsTheDistance) {
    auto ground = std::make_unique<TiledGround>();
    const float camera[3] = {250, 0, 750};  // over tile 0 (first column, first row: z high)
    EXPECT_EQ(ground->frame.UpdateTileDetail(&ground->mesh, camera), 0);  // builds the boxes
    ASSERT_NE(ground->mesh.auxBuffers[0], nullptr);
    const float* boxes = static_cast<const float*>(ground->mesh.auxBuffers[0]);
    EXPECT_FLOAT_EQ(boxes[0], 250);
    EXPECT_FLOAT_EQ(boxes[2], 750);
    EXPECT_FLOAT_EQ(boxes[6 * 3 + 0], 750);
    EXPECT_FLOAT_EQ(boxes[6 * 3 + 2], 250);

    EXPECT_EQ(ground->frame.UpdateTileDetail(&ground->mesh, camera), 4);
    // Tile 0: distance 0 -> 64; tiles 1 and 2: 500 -> 5th tenth -> 8; tile 3: 707 -> 4.
    EXPECT_EQ(ground->requested[0], 64);
    EXPECT_EQ(ground->requested[1], 8);
    EXPECT_EQ(ground->requested[2], 8);
    EXPECT_EQ(ground->requested[3], 4);
    EXPECT_EQ(ground->visibility[0], 6);
    EXPECT_EQ(ground->image.reloadWanted, 1);
    EXPECT_EQ(ground->image.loadState, SpriteEmpty);
    EXPECT_EQ(ground->image.pendingRequestLevel, 6);

    // Decoded tiles ask nothing more; their weight decays.
    for (uint8_t& d : ground->decoded)
        d = 64;
    ground->visibility[1] = 3;
    EXPECT_EQ(ground->frame.UpdateTileDetail(&ground->mesh, camera), 0);
    EXPECT_EQ(ground->visibility[0], 1);
    EXPECT_EQ(ground->visibility[1], 0);
    EXPECT_EQ(ground->requested[1], 0);
}

TEST(FrameGeometry, TileDetailBeyondTheFarDistanceWantsOne) {
    auto ground = std::make_unique<TiledGround>();
    const float camera[3] = {5000, 0, 5000};
    ground->frame.UpdateTileDetail(&ground->mesh, camera);
    EXPECT_EQ(ground->frame.UpdateTileDetail(&ground->mesh, camera), 4);
    for (uint8_t r : ground->requested)
        EXPECT_EQ(r, 1);
}

TEST(FrameGeometry, TileDetailDoesNothingWithoutItsValues) {
    struct Case {
        const char* name;
        void (*spoil)(TiledGround&);
    };
    const Case cases[] = {
        {"no per-tile arrays", [](TiledGround& g) { g.image.tileDecodedDetail = nullptr; }},
        {"zero tiles across", [](TiledGround& g) { g.image.jpegTilesAcross = 0; }},
        {"zero far distance", [](TiledGround& g) { g.device.params->farZ = 0; }},
        {"no view", [](TiledGround& g) { g.frame.device = nullptr; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto ground = std::make_unique<TiledGround>();
        c.spoil(*ground);
        const float camera[3] = {250, 0, 750};
        EXPECT_EQ(ground->frame.UpdateTileDetail(&ground->mesh, camera), 0);
        EXPECT_EQ(ground->frame.UpdateTileDetail(&ground->mesh, camera), 0);
        EXPECT_EQ(ground->requested[0], 0);
    }
}

TEST(FrameGeometry, DetailUpdatesAreThrottledPerViewer) {
    auto device = std::make_unique<CObjeto2D>();
    auto frame = std::make_unique<CFrame>();
    frame->device = device.get();
    frame->CreateGeometry(FrameKindAerial, 1, 10, 10, 0);
    const float camera[3] = {0, 0, 0};
    frame->UpdateDetailLevels(camera, 1.0f, 0);
    EXPECT_FLOAT_EQ(frame->lastDetailTime[0], 1.0f);
    frame->UpdateDetailLevels(camera, 1.1f, 0);  // within 0.2 s
    EXPECT_FLOAT_EQ(frame->lastDetailTime[0], 1.0f);
    frame->UpdateDetailLevels(camera, 1.1f, 1);  // another viewer
    EXPECT_FLOAT_EQ(frame->lastDetailTime[1], 1.1f);
    EXPECT_EQ(frame->UpdateDetailLevels(camera, 9.0f, 8), 0);  // no such viewer
    frame->UpdateDetailLevels(camera, 1.3f, 0);
    EXPECT_FLOAT_EQ(frame->lastDetailTime[0], 1.3f);
    frame->Unload();
    frame->device = nullptr;
}

// A generated scene: mesh 0 (100 x 100 on the ground, scene radius 70.7) under the camera, and
// small meshes at distances around 3, 3.5 and 4 radii. Textures ask the level of their
// distance; models with detail levels take theirs from the unit scale (one step per 375 units
// beyond 150 at scale 0.1, up to their finest).
TEST(FrameGeometry, SceneTexturesAndModelsTakeTheLevelOfTheirDistance) {
    struct Case {
        float distance;
        int textureLevel;
        int modelLevel;
    };
    const Case cases[] = {
        {0, 0, 0},     {150, 0, 0},   {230, 1, 0},   {265, 2, 1},
        {300, 3, 1},   {400, 3, 2},   {600, 3, 4},   {900, 3, 4},
    };
    auto device = std::make_unique<CObjeto2D>();
    device->params->farZ = 5000;
    auto frame = std::make_unique<CFrame>();
    frame->device = device.get();
    frame->kind = FrameKindScene;
    frame->sceneValuesKnown = 1;
    frame->unitScale = 0.1f;
    const int count = static_cast<int>(sizeof cases / sizeof cases[0]);
    for (int m = 0; m < count; ++m) {
        CObjeto3D* mesh = new CObjeto3D;
        const float size = m == 0 ? 100.0f : 10.0f;
        const float centre = 50 + cases[m].distance;
        mesh->xMin = centre - size / 2;
        mesh->xMax = centre + size / 2;
        mesh->zMin = 50 - size / 2;
        mesh->zMax = 50 + size / 2;
        mesh->visibleInView = 1;
        mesh->hasDetailLevels = 1;
        mesh->maxDetailLevel = 4;
        frame->meshes[m] = mesh;
        frame->sprites[m] = new CSprite;
    }
    frame->meshCount = count;
    frame->spriteCount = count;
    const float camera[3] = {50, 0, 50};
    frame->UpdateDetailLevels(camera, 1.0f, 0);
    for (int m = 0; m < count; ++m) {
        SCOPED_TRACE(cases[m].distance);
        EXPECT_EQ(frame->sprites[m]->requestedLevels[0], cases[m].textureLevel);
        EXPECT_EQ(frame->sprites[m]->resolutionLevel, cases[m].textureLevel);
        EXPECT_EQ(frame->meshes[m]->detailLevel, cases[m].modelLevel);
    }
    // A mesh seen by no view keeps its level when a finer one would be wanted, and takes the
    // coarsest when a coarser one would.
    frame->meshes[1]->visibleInView = 0;
    frame->meshes[1]->viewVisible[0] = 0;
    frame->meshes[4]->visibleInView = 0;
    frame->meshes[4]->viewVisible[0] = 0;
    frame->sprites[1]->resolutionLevel = 2;
    frame->sprites[4]->resolutionLevel = 1;
    frame->UpdateDetailLevels(camera, 1.5f, 0);
    EXPECT_EQ(frame->sprites[1]->requestedLevels[0], 2);
    EXPECT_EQ(frame->sprites[4]->requestedLevels[0], 3);
    frame->Unload();
    frame->device = nullptr;
}

}  // namespace
