// Meshes drawn through DrawObject3D on Direct3D 9 and OpenGL, read back: a tiled cube panorama
// shows the same face colours as on Software, a static view uploads no tile twice, and blending
// and multiply mode leave the frame and the mesh as they should. Suites named Hardware* run in
// the prefix where the hardware back ends exist (tools/wine-hardware-run).
#include "render/render_device.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "render/mesh.h"
#include "tests/render/hardware_test_support.h"
#include "tests/render/raster_cube_scene.h"

namespace {

constexpr int kW = 240, kH = 180, kTex = 512;
constexpr float kHalf = 100.0f;

uint32_t QuadrantColour(int face, int x, int y)
{
    const uint32_t base[6] = {0xC02020, 0x20C020, 0x2020C0, 0xC0C020, 0x20C0C0, 0xC020C0};
    const int quadrant = (x >= kTex / 2 ? 1 : 0) + (y >= kTex / 2 ? 2 : 0);
    return base[face] ^ (static_cast<uint32_t>(quadrant) * 0x101010u);
}

bool Near(uint32_t a, uint32_t b, int tolerance)
{
    for (int shift = 0; shift < 24; shift += 8) {
        if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) >
            tolerance)
            return false;
    }
    return true;
}

class HardwareDraw : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_renderSystem = DefaultRenderDeviceSystem();
        g_directXLevel = 0;
        m_window = hardware_test::CreateVisibleWindow("HardwareDrawTest", 100, 100, kW, kH);
    }
    void TearDown() override
    {
        for (CObjeto3D& mesh : m_faces)
            mesh.Clear();
        m_device.reset();
        if (m_window)
            DestroyWindow(m_window);
        g_renderSystem = DefaultRenderDeviceSystem();
        g_directXLevel = 0;
    }

    // The device on the window, moved to the back end; the six tiled faces.
    CObjeto2D& Start(int32_t backEnd)
    {
        m_device.reset(new CObjeto2D());
        RECT client;
        GetClientRect(m_window, &client);
        EXPECT_EQ(m_device->CreateDevice(client.right, client.bottom, m_window), 0);
        if (backEnd != RenderSoftware)
            m_device->SetRenderState(RenderStateBackEnd, backEnd);
        m_device->SetRenderState(RenderStateCullMode, 0);
        for (int f = 0; f < 6; ++f) {
            CSprite& t = m_textures[f];
            t.Clear();
            EXPECT_EQ(t.CreateImage(kTex, kTex, 32, true, 0, false), 4);
            for (int y = 0; y < kTex; ++y)
                for (int x = 0; x < kTex; ++x) {
                    const uint32_t c = QuadrantColour(f, x, y);
                    std::memcpy(t.pixels + static_cast<size_t>(y) * t.stride + x * 4, &c, 4);
                }
            EXPECT_EQ(t.SplitIntoTiles(-1, -1, -1), 4);
            CObjeto3D& mesh = m_faces[f];
            mesh.Clear();
            EXPECT_TRUE(cube_scene::BuildFaceMesh(f, kHalf, mesh));
            mesh.loadState = MeshLoaded;
            mesh.texture1 = &t;
            mesh.renderFlags |= MeshRenderTextured;
            mesh.ComputeBoundingCorners(nullptr, 4, &mesh.objectCorners);
            mesh.UpdateWorldVertices();
        }
        return *m_device;
    }

    // Where the camera stands and looks.
    struct Look {
        float tilt, pan, roll, x, y, z;
    };

    // Draws the cube looking at pan; false when the scene could not begin.
    bool DrawCube(float pan, HRESULT* drawn = nullptr)
    {
        return DrawCube(Look{0, pan, 0, 0, 0, 0}, drawn);
    }
    bool DrawCube(const Look& look, HRESULT* drawn = nullptr)
    {
        CObjeto2D& device = *m_device;
        device.ownCamera.tilt = look.tilt;
        device.ownCamera.pan = look.pan;
        device.ownCamera.roll = look.roll;
        device.ownCamera.x = look.x;
        device.ownCamera.y = look.y;
        device.ownCamera.z = look.z;
        device.ownCamera.zoom = 1;
        device.UpdateViewportAndProjection();
        device.UpdateViewMatrix();
        if (device.BeginScene(nullptr) != 0)
            return false;
        device.Clear(true);
        for (CObjeto3D& mesh : m_faces) {
            const HRESULT result = device.DrawObject3D(&mesh, 100, 0, 0, nullptr);
            if (drawn && result != 0)
                *drawn = result;
        }
        device.EndScene();
        return true;
    }

    uint32_t ReadPixel(int x, int y) { return hardware_test::ReadBackPixel(*m_device, x, y); }

    std::unique_ptr<CObjeto2D> m_device;
    HWND m_window = nullptr;
    CSprite m_textures[6];
    CObjeto3D m_faces[6];
};

// Points around the view's centre: one in each of the four tiles that meet there.
constexpr int kProbes[4][2] = {{kW / 2 - 20, kH / 2 - 20}, {kW / 2 + 20, kH / 2 - 20},
                               {kW / 2 - 20, kH / 2 + 20}, {kW / 2 + 20, kH / 2 + 20}};

TEST_F(HardwareDraw, TiledCubeShowsTheSameFaceColoursOnEveryBackEnd)
{
    // Straight at each side face, then turned every way and from off the centre, which GL's
    // own form of the view must follow as well; with device culling as the viewer draws
    // panoramas, and without.
    const Look looks[] = {
        {0, 0, 0, 0, 0, 0},       {0, 90, 0, 0, 0, 0},       {0, 180, 0, 0, 0, 0},
        {0, 270, 0, 0, 0, 0},     {20, 33, 0, 0, 0, 0},      {-25, 200, 15, 0, 0, 0},
        {10, 300, -30, 0, 0, 0},  {15, 60, 10, 30, -20, 25}, {-10, 140, 0, -40, 10, -30},
    };
    constexpr int kLooks = sizeof looks / sizeof looks[0];
    const uint8_t cullings[2] = {1, 0};
    uint32_t expected[2][kLooks][4] = {};
    float views[kLooks][16] = {};
    Start(RenderSoftware);
    for (int c = 0; c < 2; ++c) {
        m_device->culling = cullings[c];
        for (int v = 0; v < kLooks; ++v) {
            ASSERT_TRUE(DrawCube(looks[v]));
            for (int p = 0; p < 4; ++p)
                expected[c][v][p] = ReadPixel(kProbes[p][0], kProbes[p][1]);
            std::memcpy(views[v], m_device->matrices.view, sizeof views[v]);
            m_device->Present(nullptr);
            if (v < 4) {
                EXPECT_NE(expected[c][v][0], expected[c][v][3]) << "four tiles meet at the centre";
            }
        }
    }
    for (int32_t backEnd : {RenderDirect3D9, RenderOpenGL}) {
        SCOPED_TRACE(backEnd == RenderDirect3D9 ? "Direct3D9" : "OpenGL");
        CObjeto2D& device = Start(backEnd);
        ASSERT_EQ(device.backEnd, backEnd);
        for (int c = 0; c < 2; ++c) {
            SCOPED_TRACE(cullings[c] ? "culling" : "no culling");
            device.culling = cullings[c];
            for (int v = 0; v < kLooks; ++v) {
                SCOPED_TRACE(testing::Message() << "look " << v);
                HRESULT drawn = 0;
                ASSERT_TRUE(DrawCube(looks[v], &drawn));
                EXPECT_EQ(drawn, 0);
                for (int p = 0; p < 4; ++p) {
                    const uint32_t got = ReadPixel(kProbes[p][0], kProbes[p][1]);
                    EXPECT_TRUE(Near(got, expected[c][v][p], 8))
                        << std::hex << got << " instead of " << expected[c][v][p] << " at probe " << p;
                }
                // The camera's axes are read from the view on every back end alike.
                for (int i = 0; i < 16; ++i)
                    EXPECT_FLOAT_EQ(device.matrices.view[i], views[v][i]) << "view entry " << i;
                device.Present(nullptr);
                device.ReleaseAllTextures(0);
            }
        }
        EXPECT_EQ(m_faces[0].form, backEnd == RenderDirect3D9 ? MeshFormTiledD3D9 : MeshFormTiledOpenGL);
    }
}

TEST_F(HardwareDraw, StaticViewUploadsEachTileOnce)
{
    for (int32_t backEnd : {RenderDirect3D9, RenderOpenGL}) {
        SCOPED_TRACE(backEnd == RenderDirect3D9 ? "Direct3D9" : "OpenGL");
        CObjeto2D& device = Start(backEnd);
        ASSERT_EQ(device.backEnd, backEnd);
        // A tile's content counter may still say "changed" after its first upload (the move to
        // the device counts as a change): the second frame may upload it once more.
        for (int frame = 0; frame < 2; ++frame) {
            ASSERT_TRUE(DrawCube(30.0f));
            device.Present(nullptr);
            device.ReleaseAllTextures(0);
        }
        const int64_t first = device.textureUploads;
        EXPECT_GT(first, 0);
        for (int frame = 0; frame < 3; ++frame) {
            ASSERT_TRUE(DrawCube(30.0f));
            device.Present(nullptr);
            device.ReleaseAllTextures(0);
        }
        // Direct3D 9 ends each frame with a marker quad of the white image, which is made anew
        // for every frame: one upload per frame that is not a tile of the cube.
        const int64_t markers = backEnd == RenderDirect3D9 ? 3 : 0;
        EXPECT_EQ(device.textureUploads, first + markers) << "no tile uploaded again";
        // A forced release takes every texture: the next frame uploads again.
        device.ReleaseAllTextures(1);
        ASSERT_TRUE(DrawCube(30.0f));
        device.Present(nullptr);
        EXPECT_GT(device.textureUploads, first);
    }
}

TEST_F(HardwareDraw, Direct3D9BlendingAndMultiplyReadBack)
{
    CObjeto2D& device = Start(RenderDirect3D9);
    ASSERT_EQ(device.backEnd, RenderDirect3D9);
    CObjeto3D& face = m_faces[0];  // +z: straight ahead at pan 0
    const int x = kProbes[0][0], y = kProbes[0][1];
    const uint32_t texel = QuadrantColour(0, 0, 0);
    struct Case {
        const char* name;
        int32_t opacity;
        uint32_t mode;
        uint32_t expected;  // over a background of 0x808080
    } const cases[] = {
        {"opaque", 100, 0, texel},
        {"invisible", 0, 0, 0x808080},
        {"multiply at opacity 0 keeps the destination", 0, kDrawMultiply, 0x808080},
        {"multiply", 100, kDrawMultiply, ((texel >> 16 & 0xFF) * 0x80 / 255) << 16 |
                                             ((texel >> 8 & 0xFF) * 0x80 / 255) << 8 |
                                             ((texel & 0xFF) * 0x80 / 255)},
        {"additive", 100, kDrawAdditive, 0xFFA0A0},
        {"half opacity", 50, 0, 0xA05050},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (int32_t i = 0; i < face.vertexCount; ++i)
            face.vertices[i].specular = 0x12000000;
        device.ownCamera.pan = 0;
        device.ownCamera.zoom = 1;
        device.UpdateViewportAndProjection();
        device.UpdateViewMatrix();
        device.backgroundColour = 0x808080;
        ASSERT_EQ(device.BeginScene(nullptr), 0);
        device.Clear(true);
        EXPECT_EQ(device.DrawObject3D(&face, c.opacity, c.mode, 0, nullptr), 0);
        device.EndScene();
        EXPECT_TRUE(Near(ReadPixel(x, y), c.expected, 3))
            << std::hex << ReadPixel(x, y) << " instead of " << c.expected;
        device.Present(nullptr);
        for (int32_t i = 0; i < face.vertexCount; ++i)
            EXPECT_EQ(face.vertices[i].specular, 0x12000000u) << "vertex colours put back";
        DWORD specular = 2;
        device.device3D->GetRenderState(D3DRS_SPECULARENABLE, &specular);
        EXPECT_EQ(specular, static_cast<DWORD>(device.GetRenderState(RenderStateSpecular) != 0));
    }
}

TEST_F(HardwareDraw, Direct3D9OutOfVideoMemoryGoesOnInSoftware)
{
    CObjeto2D& device = Start(RenderDirect3D9);
    ASSERT_EQ(device.backEnd, RenderDirect3D9);
    ASSERT_TRUE(DrawCube(0.0f));
    const uint32_t shown = ReadPixel(kProbes[0][0], kProbes[0][1]);
    device.Present(nullptr);
    // The budget runs out: the first mesh of the frame moves the device to Software, the frame
    // goes on there and no draw reports the failure.
    device.freeVideoMemory = 0;
    HRESULT drawn = 0;
    ASSERT_TRUE(DrawCube(0.0f, &drawn));
    EXPECT_EQ(drawn, 0);
    EXPECT_EQ(device.backEnd, RenderSoftware);
    EXPECT_EQ(device.direct3DRejected, 0);
    EXPECT_TRUE(Near(ReadPixel(kProbes[0][0], kProbes[0][1]), shown, 8));
    device.Present(nullptr);
    ASSERT_TRUE(DrawCube(0.0f, &drawn));
    EXPECT_EQ(drawn, 0);
    EXPECT_TRUE(Near(ReadPixel(kProbes[0][0], kProbes[0][1]), shown, 8));
    EXPECT_EQ(m_faces[0].form, MeshFormSingle) << "the meshes came back to the single form";
}

// The budget is reckoned again after every reset; a budget nobody can tell (no DirectDraw to
// ask) is no shortage: the meshes stay on Direct3D 9.
TEST_F(HardwareDraw, Direct3D9BudgetIsRecomputedAfterResetsAndUnknownMeansUnlimited)
{
    CObjeto2D& device = Start(RenderDirect3D9);
    ASSERT_EQ(device.backEnd, RenderDirect3D9);
    ASSERT_NE(device.directDraw, nullptr);
    const uint32_t budget = device.freeVideoMemory;
    EXPECT_NE(budget, 0u);
    device.freeVideoMemory = 0;
    EXPECT_EQ(device.ResetDevice(0), 0);
    EXPECT_NE(device.freeVideoMemory, 0u) << "the reset reckons the budget again";
    EXPECT_EQ(device.backEnd, RenderDirect3D9);

    IDirectDraw2* directDraw = device.directDraw;
    device.directDraw = nullptr;
    EXPECT_EQ(device.UpdateFreeVideoMemory(), CObjeto2D::kVideoMemoryUnlimited);
    HRESULT drawn = 0;
    ASSERT_TRUE(DrawCube(0.0f, &drawn));
    EXPECT_EQ(drawn, 0);
    EXPECT_EQ(device.backEnd, RenderDirect3D9) << "an unknown budget is not an exhausted one";
    device.directDraw = directDraw;
    device.Present(nullptr);
}

TEST_F(HardwareDraw, Direct3D9ResetWithTexturesInUseKeepsTheBackEnd)
{
    CObjeto2D& device = Start(RenderDirect3D9);
    ASSERT_EQ(device.backEnd, RenderDirect3D9);
    ASSERT_TRUE(DrawCube(0.0f));
    const uint32_t shown = ReadPixel(kProbes[0][0], kProbes[0][1]);
    device.Present(nullptr);
    EXPECT_EQ(device.ResetDevice(0), 0);
    EXPECT_EQ(device.backEnd, RenderDirect3D9) << "the reset found no texture left on the device";
    ASSERT_TRUE(DrawCube(0.0f));
    EXPECT_TRUE(Near(ReadPixel(kProbes[0][0], kProbes[0][1]), shown, 8));
    device.Present(nullptr);
}

TEST_F(HardwareDraw, ImageQuadsLandWhereAsked)
{
    CSprite image;
    ASSERT_EQ(image.CreateImage(40, 30, 32, true, 0, false), 4);
    image.Fill(0x00FF00);
    for (int32_t backEnd : {RenderDirect3D9, RenderOpenGL}) {
        SCOPED_TRACE(backEnd == RenderDirect3D9 ? "Direct3D9" : "OpenGL");
        CObjeto2D& device = Start(backEnd);
        ASSERT_EQ(device.backEnd, backEnd);
        device.backgroundColour = 0x000080;
        ASSERT_EQ(device.BeginScene(nullptr), 0);
        device.Clear(true);
        device.DrawSprite(50.0f, 60.0f, &image, 100, 0, 0xFFFFFF, 80, 40, -1, -1, 0, 0);
        device.DrawSpriteQuad(150.0f, 20.0f, 0.0f, 0.0f, &image, 100, 0, 0xFFFFFF, 0.0f);
        // Filled rectangles: a quad of the white image on Direct3D 9, nothing on OpenGL.
        EXPECT_EQ(device.FillRectangle(10, 120, 19, 129, 0x00FF00, 100, 0), backEnd == RenderDirect3D9);
        EXPECT_FALSE(device.FillRectangle(30, 120, 39, 129, 0x00FF00, 0, 0)) << "opacity 0";
        device.EndScene();
        struct Probe {
            int x, y;
            bool inside;
        } const probes[] = {
            {52, 62, true}, {127, 97, true}, {47, 62, false}, {132, 62, false}, {52, 102, false},
            {152, 22, true}, {187, 47, true}, {192, 22, false}, {152, 52, false},
            {35, 125, false},
        };
        for (const Probe& p : probes) {
            SCOPED_TRACE(testing::Message() << p.x << "," << p.y);
            EXPECT_EQ(ReadPixel(p.x, p.y), p.inside ? 0x00FF00u : 0x000080u);
        }
        const uint32_t filled = backEnd == RenderDirect3D9 ? 0x00FF00u : 0x000080u;
        for (const Probe& p : {Probe{10, 120, true}, Probe{19, 129, true}, Probe{14, 124, true}}) {
            SCOPED_TRACE(testing::Message() << "rectangle " << p.x << "," << p.y);
            EXPECT_EQ(ReadPixel(p.x, p.y), filled);
        }
        EXPECT_EQ(ReadPixel(9, 124), 0x000080u);
        EXPECT_EQ(ReadPixel(20, 124), 0x000080u);
        device.Present(nullptr);
        device.EvictResources(nullptr, 0);
        EXPECT_EQ(device.residentList.GetCount(), 0);
        EXPECT_EQ(image.textureMode, SpriteTextureMemory) << "evicted back to plain memory";
    }
}

TEST_F(HardwareDraw, OcclusionTestSeesItsSphereDrawnOrHidden)
{
    CObjeto2D& device = Start(RenderDirect3D9);
    ASSERT_EQ(device.backEnd, RenderDirect3D9);
    device.SetRenderState(RenderStateZBuffer, 1);
    device.SetRenderState(RenderStateDepthTest, 1);
    ASSERT_EQ(device.backEnd, RenderDirect3D9);
    ASSERT_TRUE(device.GetRenderState(RenderStateZBuffer));
    device.ownCamera.pan = 0;
    device.ownCamera.zoom = 1;
    device.UpdateViewportAndProjection();
    device.UpdateViewMatrix();
    ASSERT_EQ(device.BeginScene(nullptr), 0);
    device.Clear(true);
    for (CObjeto3D& mesh : m_faces)
        EXPECT_EQ(device.DrawObject3D(&mesh, 100, 0, 0, nullptr), 0);
    const float inside[3] = {0.0f, 0.0f, kHalf / 2};        // before the +z face
    const float behind[3] = {0.0f, 0.0f, kHalf * 3};        // behind it
    const float outOfView[3] = {0.0f, 0.0f, -kHalf / 2};    // behind the camera
    EXPECT_TRUE(device.TestOcclusion(inside));
    EXPECT_FALSE(device.TestOcclusion(behind));
    EXPECT_FALSE(device.TestOcclusion(outOfView));
    device.EndScene();
    device.Present(nullptr);
}

TEST_F(HardwareDraw, OpenGLOpacityAdditiveAndMultiplyReadBack)
{
    CObjeto2D& device = Start(RenderOpenGL);
    ASSERT_EQ(device.backEnd, RenderOpenGL);
    CObjeto3D& face = m_faces[0];
    const int x = kProbes[0][0], y = kProbes[0][1];
    struct Case {
        const char* name;
        int32_t opacity;
        uint32_t mode;
        uint32_t expected;  // 0xC02020 over a background of 0x808080
    } const cases[] = {
        {"opaque", 100, 0, 0xC02020},
        {"half opacity without texture alpha still blends", 50, 0, 0xA05050},
        {"additive", 100, kDrawAdditive, 0xFFA0A0},
        {"multiply", 100, kDrawMultiply, 0x601010},
        {"opaque again turns blending off", 100, 0, 0xC02020},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device.ownCamera.pan = 0;
        device.ownCamera.zoom = 1;
        device.UpdateViewportAndProjection();
        device.UpdateViewMatrix();
        device.backgroundColour = 0x808080;
        ASSERT_EQ(device.BeginScene(nullptr), 0);
        device.Clear(true);
        EXPECT_EQ(device.DrawObject3D(&face, c.opacity, c.mode, 0, nullptr), 0);
        device.EndScene();
        EXPECT_TRUE(Near(ReadPixel(x, y), c.expected, 3))
            << std::hex << ReadPixel(x, y) << " instead of " << c.expected;
        device.Present(nullptr);
    }
}

}  // namespace
