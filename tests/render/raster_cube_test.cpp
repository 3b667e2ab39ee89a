// A cube panorama of solid and checker faces drawn by the software rasteriser into 32-, 24-, 16-
// and 15-bit frames: each face's colour at the centre for the four main pans, and the seam
// between two faces within a pixel of the centre column when looking at their edge.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "images/sprite.h"
#include "render/render_device.h"
#include "tests/render/raster_cube_scene.h"

namespace {

constexpr int kW = 160, kH = 120, kTex = 64;
constexpr float kHalf = 100.0f;
constexpr uint32_t kState = 0x1834B86 | 0x8;  // default states with Bilinear
constexpr uint32_t kFeatures = kMeshRenderFlagsDefault | MeshRenderTextured;

// Face colours (on 8-step channels so that 15- and 16-bit frames keep them exactly); checker
// faces alternate their colour with a second one in squares of 8 texels.
struct FaceLook {
    uint32_t colour;
    uint32_t checker;  // 0: solid
};
const FaceLook kLooks[6] = {
    {0x00F80000, 0}, {0x0000F800, 0}, {0x000000F8, 0x00F8F8F8},
    {0x00F8F800, 0}, {0x0000F8F8, 0x00400040}, {0x00808080, 0},
};

struct Frame {
    int bits, bytes, stride;
    std::vector<uint8_t> pixels;

    explicit Frame(int b) : bits(b), bytes(b == 15 ? 2 : b / 8), stride(kW * bytes), pixels(stride * kH + 4) {}

    // The pixel as 0x00RRGGBB with 8-bit channels (low bits of 15/16-bit channels zero).
    uint32_t At(int x, int y) const {
        const uint8_t* p = &pixels[static_cast<size_t>(y) * stride + static_cast<size_t>(x) * bytes];
        uint32_t v = p[0] | (p[1] << 8);
        switch (bits) {
        case 15:
            return ((v >> 10 & 0x1F) << 19) | ((v >> 5 & 0x1F) << 11) | ((v & 0x1F) << 3);
        case 16:
            return ((v >> 11 & 0x1F) << 19) | ((v >> 5 & 0x3F) << 10) | ((v & 0x1F) << 3);
        default:
            return v | (static_cast<uint32_t>(p[2]) << 16);
        }
    }
};

uint32_t Quantised(uint32_t c, int bits) {
    if (bits == 15)
        return c & 0xF8F8F8;
    if (bits == 16)
        return c & 0xF8FCF8;
    return c & 0xFFFFFF;
}

void DrawCube(Frame& frame, float pan) {
    static std::vector<uint8_t> work(kRasterWorkBytesNeeded);
    float m[16];
    cube_scene::WorldToScreen(0, pan, kW, kH, m);
    SpanCacheStorage cache;
    SpanCache view = cache.View();
    RasterWork w = cube_scene::FrameWork(frame.pixels.data(), frame.stride, frame.bits, kW, kH, work.data());
    for (int f = 0; f < 6; ++f) {
        std::vector<uint32_t> texels(kTex * kTex);
        for (int y = 0; y < kTex; ++y)
            for (int x = 0; x < kTex; ++x)
                texels[y * kTex + x] = kLooks[f].checker && ((x / 8 + y / 8) & 1) ? kLooks[f].checker : kLooks[f].colour;
        MeshVertex vertices[4];
        cube_scene::FaceVertices(f, kHalf, vertices);
        ASSERT_GE(cube_scene::DrawFace(w, view, kState, kFeatures, m, vertices, texels.data(), kTex), 0);
    }
}

// The face whose centre lies in front of the eye nearest to the screen centre, for a
// world-to-screen matrix.
int FaceAtCentre(const float m[16]) {
    int best = -1;
    float bestDist = 1e30f;
    for (int f = 0; f < 6; ++f) {
        float c[3] = {};
        for (int i = 0; i < 4; ++i)
            for (int k = 0; k < 3; ++k)
                c[k] += cube_scene::kFaces[f].p[i][k] * kHalf / 4;
        float out[4];
        TransformPoint4(out, c, m);
        if (out[3] <= 0)
            continue;
        float dx = out[0] / out[3] - kW / 2.0f, dy = out[1] / out[3] - kH / 2.0f;
        if (dx * dx + dy * dy < bestDist) {
            bestDist = dx * dx + dy * dy;
            best = f;
        }
    }
    return best;
}

int FaceAtCentre(float pan) {
    float m[16];
    cube_scene::WorldToScreen(0, pan, kW, kH, m);
    return FaceAtCentre(m);
}

bool Between(uint32_t v, uint32_t a, uint32_t b) {
    for (int s = 0; s < 24; s += 8) {
        uint32_t x = v >> s & 0xFF, lo = std::min(a >> s & 0xFF, b >> s & 0xFF), hi = std::max(a >> s & 0xFF, b >> s & 0xFF);
        if (x + 8 < lo || x > hi + 8)
            return false;
    }
    return true;
}

TEST(RasterCube, EachFaceShowsItsColourAtTheCentreOnEveryFrameDepth) {
    for (int bits : {32, 24, 16, 15}) {
        for (float pan : {0.0f, 90.0f, 180.0f, 270.0f}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, pan " << pan);
            Frame frame(bits);
            DrawCube(frame, pan);
            int f = FaceAtCentre(pan);
            ASSERT_GE(f, 0);
            uint32_t centre = frame.At(kW / 2, kH / 2);
            if (kLooks[f].checker) {
                EXPECT_TRUE(Between(centre, Quantised(kLooks[f].colour, bits), Quantised(kLooks[f].checker, bits)))
                    << std::hex << centre;
            } else {
                EXPECT_EQ(centre, Quantised(kLooks[f].colour, bits));
            }
            // No hole anywhere: every pixel shows some face.
            int holes = 0;
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x)
                    holes += frame.At(x, y) == 0;
            EXPECT_EQ(holes, 0);
        }
    }
}

TEST(RasterCube, SeamsLieWithinAPixelOfTheirPlace) {
    // Looking at the edges of the front face with its two solid neighbours: the colour changes at
    // the centre column.
    for (int bits : {32, 16}) {
        for (float pan : {45.0f, 315.0f}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, pan " << pan);
            Frame frame(bits);
            DrawCube(frame, pan);
            uint32_t left = frame.At(2, kH / 2), right = frame.At(kW - 3, kH / 2);
            ASSERT_NE(left, right);
            int seam = -1;
            for (int x = 1; x < kW; ++x) {
                if (frame.At(x, kH / 2) != frame.At(x - 1, kH / 2)) {
                    seam = x;
                    break;
                }
            }
            EXPECT_NEAR(seam, kW / 2, 1.5);
            // Beyond the seam's pixel every pixel of the row is one of the two colours.
            for (int x = 0; x < kW; ++x) {
                if (std::abs(x - kW / 2) > 1) {
                    uint32_t p = frame.At(x, kH / 2);
                    EXPECT_TRUE(p == left || p == right) << x;
                }
            }
        }
    }
}

// The same cube through a window-less device drawing into an image of each depth: six meshes,
// each transformed and rasterised as one index range with its tile.
struct DeviceCube {
    CSprite target;
    CObjeto2D device;
    CObjeto3D faces[6];
    CSprite tiles[6];

    explicit DeviceCube(int bits) {
        EXPECT_TRUE(target.Create(kW, kH, bits, true, 0, false, true, false));
        device.SetRenderTarget(&target);
        EXPECT_EQ(device.CreateDevice(kW, kH, nullptr), 0);
        device.SetSize(kW, kH);
        device.SetRenderState(RenderStateBilinear, 1);
        device.SetRenderState(RenderStateCullMode, 0);
        for (int f = 0; f < 6; ++f) {
            EXPECT_TRUE(tiles[f].Create(kTex, kTex, 32, true, 0, false, true, false));
            for (int y = 0; y < kTex; ++y) {
                for (int x = 0; x < kTex; ++x) {
                    uint32_t c = kLooks[f].checker && ((x / 8 + y / 8) & 1) ? kLooks[f].checker : kLooks[f].colour;
                    std::memcpy(tiles[f].pixels + static_cast<size_t>(y) * tiles[f].stride + x * 4, &c, 4);
                }
            }
            CObjeto3D& mesh = faces[f];
            EXPECT_TRUE(cube_scene::BuildFaceMesh(f, kHalf, mesh));
            mesh.renderFlags |= MeshRenderTextured;
        }
    }

    void Draw(float pan) {
        device.ownCamera.pan = pan;
        device.ownCamera.zoom = 1;
        device.UpdateViewportAndProjection();
        device.UpdateViewMatrix();
        ASSERT_EQ(device.BeginScene(nullptr), 0);
        device.Clear(true);
        ASSERT_NE(device.LockFrame(), nullptr);
        for (int f = 0; f < 6; ++f) {
            device.TransformVertices(&faces[f]);
            device.RasteriseMesh(&faces[f], device.params, 0, 6, faces[f].triangleFlags, &tiles[f], nullptr, 100, 0);
        }
        device.UnlockFrame();
        device.EndScene();
    }

    int FaceAtCentre() { return ::FaceAtCentre(device.matrices.worldToScreen); }

    uint32_t At(int x, int y) const {
        Frame view(target.bitsPerPixel);
        view.stride = target.stride;
        view.pixels.assign(target.pixels, target.pixels + static_cast<size_t>(target.stride) * kH);
        return view.At(x, y);
    }
};

TEST(RasterCube, DeviceDrawsTheCubeIntoWindowlessTargetsOfEveryDepth) {
    for (int bits : {32, 24, 16, 15}) {
        DeviceCube cube(bits);
        for (float pan : {0.0f, 90.0f, 180.0f, 270.0f}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, pan " << pan);
            cube.Draw(pan);
            int f = cube.FaceAtCentre();
            ASSERT_GE(f, 0);
            uint32_t centre = cube.At(kW / 2, kH / 2);
            if (kLooks[f].checker) {
                EXPECT_TRUE(Between(centre, Quantised(kLooks[f].colour, bits), Quantised(kLooks[f].checker, bits)))
                    << std::hex << centre;
            } else {
                EXPECT_EQ(centre, Quantised(kLooks[f].colour, bits));
            }
        }
        // At the edge of two solid faces the colour changes within a pixel of the centre column.
        cube.Draw(45);
        uint32_t left = cube.At(2, kH / 2), right = cube.At(kW - 3, kH / 2);
        EXPECT_NE(left, right);
        int seam = -1;
        for (int x = 1; x < kW && seam < 0; ++x) {
            if (cube.At(x, kH / 2) != cube.At(x - 1, kH / 2))
                seam = x;
        }
        EXPECT_NEAR(seam, kW / 2, 1.5);
    }
}

}  // namespace
