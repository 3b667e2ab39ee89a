// Meshes drawn through DrawObject3D on the software back end: a cube panorama whose faces are
// split by 256-pixel texture tiles as frames split them, the busy counts around a draw, the
// detail-level choice, and images drawn straight or as quads.
#include "render/render_device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "images/blit.h"
#include "render/mesh.h"
#include "tests/render/raster_cube_scene.h"

namespace {

constexpr int kW = 160, kH = 120, kTex = 512;
constexpr float kHalf = 100.0f;

// Each face's texture: four quadrants of their own colours, so a wrong tile shows.
uint32_t QuadrantColour(int face, int x, int y) {
    const uint32_t base[6] = {0xC02020, 0x20C020, 0x2020C0, 0xC0C020, 0x20C0C0, 0xC020C0};
    const int quadrant = (x >= kTex / 2 ? 1 : 0) + (y >= kTex / 2 ? 2 : 0);
    return base[face] ^ (static_cast<uint32_t>(quadrant) * 0x101010u);
}

uint32_t PixelAt(const CSprite& image, int x, int y) {
    const uint8_t* p = image.pixels + y * image.stride + x * 4;
    return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
}

// Six face meshes drawn into a 32-bit image target; tiled: the textures are kept in tiles.
struct CubeScene {
    CSprite target;
    CObjeto2D device;
    CObjeto3D faces[6];
    CSprite textures[6];

    explicit CubeScene(bool tiled) {
        EXPECT_TRUE(target.Create(kW, kH, 32, true, 0, false, true, false));
        device.SetRenderTarget(&target);
        EXPECT_EQ(device.CreateDevice(kW, kH, nullptr), 0);
        device.SetSize(kW, kH);
        device.SetRenderState(RenderStateCullMode, 0);
        for (int f = 0; f < 6; ++f) {
            CSprite& t = textures[f];
            EXPECT_EQ(t.CreateImage(kTex, kTex, 32, true, 0, false), 4);
            for (int y = 0; y < kTex; ++y) {
                for (int x = 0; x < kTex; ++x) {
                    const uint32_t c = QuadrantColour(f, x, y);
                    std::memcpy(t.pixels + static_cast<size_t>(y) * t.stride + x * 4, &c, 4);
                }
            }
            if (tiled) {
                EXPECT_EQ(t.SplitIntoTiles(-1, -1, -1), 4);
            }
            CObjeto3D& mesh = faces[f];
            EXPECT_TRUE(cube_scene::BuildFaceMesh(f, kHalf, mesh));
            mesh.loadState = MeshLoaded;
            mesh.texture1 = &t;
            mesh.renderFlags |= MeshRenderTextured;
            mesh.ComputeBoundingCorners(nullptr, 4, &mesh.objectCorners);
            mesh.UpdateWorldVertices();
        }
    }

    void Draw(float pan, float tilt) {
        device.ownCamera.pan = pan;
        device.ownCamera.tilt = tilt;
        device.ownCamera.zoom = 1;
        device.UpdateViewportAndProjection();
        device.UpdateViewMatrix();
        ASSERT_EQ(device.BeginScene(nullptr), 0);
        device.Clear(true);
        for (CObjeto3D& mesh : faces)
            EXPECT_EQ(device.DrawObject3D(&mesh, 100, 0, 0, nullptr), 0);
        device.EndScene();
    }
};

TEST(DrawMesh, TiledCubePanoramaMatchesTheWholeImageDraw) {
    CubeScene whole(false), tiled(true);
    for (int culling : {0, 1}) {
        whole.device.culling = static_cast<uint8_t>(culling);
        tiled.device.culling = static_cast<uint8_t>(culling);
        for (float pan : {0.0f, 30.0f, 90.0f, 200.0f}) {
            for (float tilt : {0.0f, 50.0f}) {
                SCOPED_TRACE(testing::Message() << "culling " << culling << " pan " << pan
                                                << " tilt " << tilt);
                whole.Draw(pan, tilt);
                tiled.Draw(pan, tilt);
                int differing = 0, background = 0;
                for (int y = 0; y < kH; ++y)
                    for (int x = 0; x < kW; ++x) {
                        differing += PixelAt(whole.target, x, y) != PixelAt(tiled.target, x, y);
                        background += PixelAt(tiled.target, x, y) == 0;
                    }
                EXPECT_EQ(background, 0) << "every pixel lies on a face";
                // Tile seams may round a pixel differently; the faces agree everywhere else.
                EXPECT_LT(differing, kW * kH / 50);
            }
        }
    }
    for (CObjeto3D& mesh : tiled.faces)
        EXPECT_EQ(mesh.subMeshCount, 4) << "split by the texture's tiles";
    for (CObjeto3D& mesh : whole.faces)
        EXPECT_EQ(mesh.subMeshCount, 0);
}

TEST(DrawMesh, FaceCentresShowTheirTextures) {
    CubeScene scene(true);
    // Looking straight at a face: the quadrant around the screen centre's upper left is the
    // colour of one of the face's own quadrants.
    for (float pan : {0.0f, 90.0f, 180.0f, 270.0f}) {
        SCOPED_TRACE(pan);
        scene.Draw(pan, 0);
        const uint32_t centre = PixelAt(scene.target, kW / 2 - 10, kH / 2 - 10);
        bool found = false;
        for (int f = 0; f < 6 && !found; ++f)
            for (int q = 0; q < 4; ++q)
                found |= centre == QuadrantColour(f, (q & 1) * kTex / 2, (q >> 1) * kTex / 2);
        EXPECT_TRUE(found) << std::hex << centre;
        // The four quadrants around the centre differ: four tiles meet there.
        EXPECT_NE(PixelAt(scene.target, kW / 2 - 10, kH / 2 - 10), PixelAt(scene.target, kW / 2 + 10, kH / 2 - 10));
        EXPECT_NE(PixelAt(scene.target, kW / 2 - 10, kH / 2 - 10), PixelAt(scene.target, kW / 2 - 10, kH / 2 + 10));
    }
}

TEST(DrawMesh, MixWordOfTextureTwoAloneWithoutTextureTwoDrawsTextureOne) {
    CubeScene plain(true), mixed(true);
    for (CObjeto3D& mesh : mixed.faces)
        mesh.modulationColor = 0xFFFFFF;
    plain.Draw(20, 10);
    mixed.Draw(20, 10);
    EXPECT_EQ(std::memcmp(plain.target.pixels, mixed.target.pixels,
                          static_cast<size_t>(plain.target.stride) * kH), 0);
}

TEST(DrawMesh, OnlyWhenReadyLeavesAMeshWithoutItsDrawingByteAlone) {
    CubeScene scene(true);
    CObjeto3D& mesh = scene.faces[0];
    CSprite& image = scene.textures[0];
    mesh.drawing = 0;
    const int busyBefore = image.GetBusyCount();
    ASSERT_EQ(scene.device.BeginScene(nullptr), 0);
    scene.device.Clear(true);
    EXPECT_EQ(scene.device.DrawObject3D(&mesh, 100, 0, 1, nullptr), 0);
    EXPECT_EQ(image.GetBusyCount(), busyBefore);
    EXPECT_EQ(mesh.busy.GetSharedCount(), 0);
    EXPECT_EQ(scene.device.drawingCount.load(), 0);
    EXPECT_EQ(mesh.subMeshCount, 0) << "not even prepared";

    // With the drawing byte set it is drawn, and every count is back afterwards.
    mesh.drawing = 1;
    EXPECT_EQ(scene.device.DrawObject3D(&mesh, 100, 0, 1, nullptr), 0);
    EXPECT_EQ(mesh.subMeshCount, 4);
    EXPECT_EQ(image.GetBusyCount(), busyBefore);
    EXPECT_EQ(mesh.busy.GetSharedCount(), 0);

    // A mesh that is not ready is not drawn and not in view.
    mesh.ready = 0;
    mesh.visibleInView = 1;
    image.visible = 1;
    EXPECT_EQ(scene.device.DrawObject3D(&mesh, 100, 0, 0, nullptr), 0);
    EXPECT_EQ(mesh.visibleInView, 0);
    EXPECT_EQ(image.visible, 0);
}

TEST(DrawMesh, TilesOutsideTheViewCountUnusedFrames) {
    CubeScene scene(true);
    scene.device.culling = 1;
    // Turned by 35 degrees, half of the face ahead lies outside the view.
    scene.Draw(35, 0);
    scene.Draw(35, 0);
    bool used = false, unused = false;
    for (CSprite& image : scene.textures) {
        for (int i = 0; i < image.tileCount; ++i) {
            used |= image.tiles[i]->unusedFrames == 1;
            unused |= image.tiles[i]->unusedFrames == -2;
        }
    }
    EXPECT_TRUE(used) << "tiles in view were drawn";
    EXPECT_TRUE(unused) << "tiles of a face in view but outside it fell by one per frame";
}

TEST(DrawMesh, BlendStateFollowsOpacityAlphaAndMode) {
    CObjeto2D device;
    CSprite image;
    ASSERT_EQ(image.CreateImage(8, 8, 32, true, 0, false), 4);
    CObjeto3D mesh;
    mesh.texture1 = &image;
    mesh.renderFlags = kMeshRenderFlagsDefault & ~0x8000u;
    struct Case {
        const char* name;
        int32_t opacity;
        uint32_t mode;
        uint8_t alpha;
        uint32_t state;
    } cases[] = {
        {"opaque, no alpha: blending off", 100, 0, 0, 0x4},
        {"half opacity", 50, 0, 0, 0x5},
        {"texture alpha", 100, 0, 1, 0x5},
        {"vertex alpha by mode", 100, kDrawVertexAlpha, 0, 0x5},
        {"multiply", 100, 0x400, 0, 0x5},
        {"additive", 100, kDrawAdditive, 0, 0x5},
        {"subtractive: reverse subtract", 100, kDrawSubtractive, 0, 0x1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        image.hasAlpha = c.alpha;
        device.SetBlendMode(&mesh, c.opacity, c.mode);
        EXPECT_EQ(device.appliedBlendState, c.state);
        EXPECT_EQ(device.pendingBlendState, c.state);
    }
}

TEST(DrawMesh, DetailLevelsFollowTheProjectedSize) {
    struct FactorCase {
        int32_t type, subMeshes;
        float k;
    } factors[] = {{0, 59, 5.0f}, {0, 60, 2.7f}, {2, 299, 5.0f}, {2, 300, 2.7f}, {-1, 10, 5.0f}};
    for (const FactorCase& c : factors) {
        SCOPED_TRACE(testing::Message() << c.type << " " << c.subMeshes);
        EXPECT_FLOAT_EQ(CObjeto2D::DetailLevelFactor(c.type, c.subMeshes), c.k);
    }
    struct LevelCase {
        float extent;
        int32_t level;
    } levels[] = {{60, 0}, {52, 0}, {51, 1}, {40, 1}, {20, 2}, {12.9f, 2}, {10, 3}, {0, 3}};
    for (const LevelCase& c : levels) {
        SCOPED_TRACE(c.extent);
        EXPECT_EQ(CObjeto2D::DetailLevelForExtent(c.extent, 256, 5.0f), c.level);
    }

    // A sub-mesh box seen from the device: far away a coarse level, reaching behind the eye the
    // finest (its mirrored projection would look small), 8- and 16-bit tiles always level 0.
    CObjeto2D device;
    ASSERT_EQ(device.CreateDevice(kW, kH, nullptr), 0);
    device.ownCamera.zoom = 1;
    device.UpdateViewportAndProjection();
    device.UpdateViewMatrix();
    CObjeto3D mesh;
    ASSERT_TRUE(mesh.AllocateSubMeshes(1));
    mesh.subMeshCount = 1;
    mesh.geometryType = 0;
    auto setBox = [&](float x0, float x1, float z0, float z1) {
        for (int i = 0; i < 8; ++i) {
            MeshVertex& c = mesh.subCorners[0].corner[i];
            c.wx = (i & 1) ? x0 : x1;
            c.wy = i < 4 ? 1.0f : -1.0f;
            c.wz = (i % 4 < 2) ? z1 : z0;
        }
    };
    CSprite tile;
    ASSERT_EQ(tile.CreateImage(256, 256, 24, true, 0, false), 3);
    setBox(-1, 1, 400, 401);
    EXPECT_EQ(device.ChooseDetailLevel(&mesh, 0, &tile, 0), 3);
    setBox(-50, 50, 20, 21);
    EXPECT_EQ(device.ChooseDetailLevel(&mesh, 0, &tile, 0), 0);
    setBox(-1, 1, -30, 400);
    EXPECT_EQ(device.ChooseDetailLevel(&mesh, 0, &tile, 0), 0) << "a corner behind the eye";
    setBox(-1, 1, 400, 401);
    device.Set2DMode(true);
    EXPECT_EQ(device.ChooseDetailLevel(&mesh, 0, &tile, 0), 0) << "2D mode";
    device.Set2DMode(false);
    for (int bits : {8, 16}) {
        SCOPED_TRACE(bits);
        CSprite low;
        ASSERT_GT(low.CreateImage(256, 256, bits, true, 0, false), 0);
        EXPECT_EQ(device.ChooseDetailLevel(&mesh, 0, &low, 0), 0);
    }
}

// Images drawn straight into the frame, whole and tiled, and as quads.
class DrawImages : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(target.Create(kW, kH, 32, true, 0, false, true, false));
        device.SetRenderTarget(&target);
        ASSERT_EQ(device.CreateDevice(kW, kH, nullptr), 0);
        device.SetSize(kW, kH);
        device.ownCamera.zoom = 1;
        device.UpdateViewportAndProjection();
        device.UpdateViewMatrix();
    }
    // The bounding box of the pixels of the colour.
    RECT Extent(uint32_t colour) const {
        RECT r = {kW, kH, -1, -1};
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                if (PixelAt(target, x, y) == colour) {
                    r.left = std::min<LONG>(r.left, x);
                    r.top = std::min<LONG>(r.top, y);
                    r.right = std::max<LONG>(r.right, x);
                    r.bottom = std::max<LONG>(r.bottom, y);
                }
        return r;
    }
    int Count(uint32_t colour) const {
        int n = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                n += PixelAt(target, x, y) == colour;
        return n;
    }
    CSprite target;
    CObjeto2D device;
};

TEST_F(DrawImages, DrawSpritePlacesWholeAndTiledImagesWithoutGaps) {
    CSprite image;
    ASSERT_EQ(image.CreateImage(20, 10, 32, true, 0x0000FF, false), 4);
    image.Fill(0x0000FF);
    device.DrawSprite(30, 40, &image, 100, 0, kBlitColourNone, 0, 0, -1, -1, 0, 0);
    RECT r = Extent(0x0000FF);
    EXPECT_EQ(r.left, 30);
    EXPECT_EQ(r.top, 40);
    EXPECT_EQ(r.right, 49);
    EXPECT_EQ(r.bottom, 49);
    EXPECT_EQ(Count(0x0000FF), 200);

    // A tiled image of 600 x 300 (tiles of 256) scaled to 101 x 53: the whole rectangle, no gap.
    CSprite tiled;
    ASSERT_EQ(tiled.CreateImage(600, 300, 32, true, 0, false), 4);
    tiled.Fill(0x00FF00);
    ASSERT_GT(tiled.SplitIntoTiles(-1, -1, -1), 1);
    ASSERT_EQ(tiled.pixels, nullptr);
    device.DrawSprite(5.5f, 60.25f, &tiled, 100, 0, kBlitColourNone, 101, 53, -1, -1, 0, 0);
    r = Extent(0x00FF00);
    EXPECT_EQ(r.left, 5);
    EXPECT_EQ(r.top, 60);
    EXPECT_EQ(r.right - r.left + 1, 101);
    EXPECT_EQ(r.bottom - r.top + 1, 53);
    EXPECT_EQ(Count(0x00FF00), 101 * 53) << "no gaps between tiles, nothing past the size";

    // An explicit clip bounds the drawing.
    device.DrawSprite(0, 0, &image, 100, 0, kBlitColourNone, 0, 0, 2, 1, 5, 3);
    r = Extent(0x0000FF);
    EXPECT_EQ(r.left, 2);
    EXPECT_EQ(r.top, 1);
}

TEST_F(DrawImages, DrawSpriteQuadPlacesTheImageWhereAsked) {
    CSprite image;
    ASSERT_EQ(image.CreateImage(32, 32, 32, true, 0, false), 4);
    image.Fill(0xFF8000);
    ASSERT_EQ(device.BeginScene(nullptr), 0);
    device.Clear(true);
    device.DrawSpriteQuad(40, 30, 64, 32, &image, 100, 0, 0xFFFFFF, 0);
    RECT r = Extent(0xFF8000);
    EXPECT_NEAR(r.left, 40, 1);
    EXPECT_NEAR(r.top, 30, 1);
    EXPECT_NEAR(r.right, 40 + 63, 1);
    EXPECT_NEAR(r.bottom, 30 + 31, 1);
    EXPECT_EQ(device.mode2D, 0) << "2D mode is left again";

    // Same size again: the quad is moved, not rebuilt.
    CObjeto3D* quad = image.quadMesh;
    ASSERT_NE(quad, nullptr);
    device.Clear(true);
    device.DrawSpriteQuad(10, 70, 64, 32, &image, 100, 0, 0xFFFFFF, 0);
    EXPECT_EQ(image.quadMesh, quad);
    r = Extent(0xFF8000);
    EXPECT_NEAR(r.left, 10, 1);
    EXPECT_NEAR(r.top, 70, 1);
    device.EndScene();
}

TEST_F(DrawImages, ScreenBoundsOfATransformedMesh) {
    CubeScene scene(false);
    scene.Draw(0, 0);
    float x0, y0, x1, y1;
    scene.device.GetScreenBounds(&scene.faces[0], &x0, &y0, &x1, &y1);
    EXPECT_LT(x0, x1);
    EXPECT_LT(y0, y1);
    CObjeto3D empty;
    scene.device.GetScreenBounds(&empty, &x0, &y0, &x1, &y1);
    EXPECT_EQ(x0, 100000.0f);
    EXPECT_EQ(x1, -100000.0f);
}

}  // namespace
