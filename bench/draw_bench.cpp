// Frames per second of the cube panorama of the rasteriser bench (six 1024 x 1024 32-bit faces,
// bilinear, z-buffer off, 1280 x 720, the same sweep of views, clear plus draw) drawn two ways:
// straight through the rasteriser with whole faces, and through the render device's DrawObject3D
// on the software back end with each face's image kept in 256-pixel tiles and its mesh split by
// them, as frames draw their faces. Prints both rates and their ratio (goal: at least 0.9).
// Usage: bench_draw_bench.exe [rounds]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "render/render_device.h"
#include "tests/render/raster_cube_scene.h"

namespace {

constexpr int kWidth = 1280, kHeight = 720;
constexpr int kFaceSize = 1024;
constexpr float kCubeHalf = 100.0f;
constexpr uint32_t kBilinear = 0x8;
constexpr uint32_t kFaceFeatures = kMeshRenderFlagsDefault | MeshRenderTextured;
constexpr uint32_t kBackground = 0x00202020;

// CPU seconds of this thread: on a loaded machine steadier than the clock.
double Seconds() {
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    ULARGE_INTEGER u;
    u.LowPart = user.dwLowDateTime;
    u.HighPart = user.dwHighDateTime;
    return static_cast<double>(u.QuadPart) / 1e7;
}

// Whole faces straight through the rasteriser.
double RunDirect(int rounds, const std::vector<std::vector<uint32_t>>& textures) {
    std::vector<uint32_t> frame(static_cast<size_t>(kWidth) * kHeight);
    std::vector<uint8_t> work(kRasterWorkBytesNeeded);
    SpanCacheStorage cache;
    SpanCache view = cache.View(ChosenSimdLevel());
    MeshVertex mesh[6][4];
    for (int f = 0; f < 6; ++f)
        cube_scene::FaceVertices(f, kCubeHalf, mesh[f]);
    RasterWork w = cube_scene::FrameWork(reinterpret_cast<uint8_t*>(frame.data()), kWidth * 4, 32,
                                         kWidth, kHeight, work.data());
    const std::vector<cube_scene::View> views = cube_scene::SweepViews();
    const double start = Seconds();
    int frames = 0;
    for (int round = 0; round < rounds; ++round) {
        for (const cube_scene::View& v : views) {
            std::fill(frame.begin(), frame.end(), kBackground);
            float m[16];
            cube_scene::WorldToScreen(v.tilt, v.pan, kWidth, kHeight, m);
            for (int f = 0; f < 6; ++f)
                cube_scene::DrawFace(w, view, kDefaultStateBits | kBilinear, kFaceFeatures, m,
                                     mesh[f], textures[f].data(), kFaceSize);
            ++frames;
        }
    }
    return frames / (Seconds() - start);
}

// Tiled faces through DrawObject3D of a window-less device drawing into an image.
double RunDevice(int rounds, const std::vector<std::vector<uint32_t>>& textures) {
    CSprite target;
    CObjeto2D device;
    if (!target.Create(kWidth, kHeight, 32, true, 0, false, true, false))
        return 0;
    device.SetRenderTarget(&target);
    if (device.CreateDevice(kWidth, kHeight, nullptr) != 0)
        return 0;
    device.SetSize(kWidth, kHeight);
    device.SetRenderState(RenderStateBilinear, 1);
    device.backgroundColour = kBackground;
    device.culling = 1;  // as the viewer draws panoramas: sub-meshes outside the view are skipped
    CSprite images[6];
    CObjeto3D faces[6];
    for (int f = 0; f < 6; ++f) {
        CSprite& image = images[f];
        if (image.CreateImage(kFaceSize, kFaceSize, 32, false, 0, false) != 4)
            return 0;
        for (int y = 0; y < kFaceSize; ++y)
            std::memcpy(image.pixels + static_cast<size_t>(y) * image.stride,
                        textures[f].data() + static_cast<size_t>(y) * kFaceSize, kFaceSize * 4);
        image.SplitIntoTiles(-1, -1, -1);
        CObjeto3D& mesh = faces[f];
        if (!cube_scene::BuildFaceMesh(f, kCubeHalf, mesh))
            return 0;
        mesh.loadState = MeshLoaded;
        mesh.texture1 = &image;
        mesh.renderFlags = kFaceFeatures;
        mesh.ComputeBoundingCorners(nullptr, 4, &mesh.objectCorners);
        mesh.UpdateWorldVertices();
    }
    const std::vector<cube_scene::View> views = cube_scene::SweepViews();
    device.ownCamera.zoom = 1;
    double start = 0;
    int frames = 0;
    for (int round = 0; round <= rounds; ++round) {
        if (round == 1)
            start = Seconds();  // round 0 splits the meshes by their tiles
        for (const cube_scene::View& v : views) {
            device.ownCamera.tilt = v.tilt;
            device.ownCamera.pan = v.pan;
            device.UpdateViewportAndProjection();
            device.UpdateViewMatrix();
            device.BeginScene(nullptr);
            device.Clear(true);
            for (CObjeto3D& mesh : faces)
                device.DrawObject3D(&mesh, 100, 0, 0, nullptr);
            device.EndScene();
            if (round > 0)
                ++frames;
        }
    }
    std::printf("tiles per face %d, sub-meshes per face %d, triangles per face %d\n",
                images[0].tileCount, faces[0].subMeshCount, faces[0].indexCount / 3);
    return frames / (Seconds() - start);
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
    if (rounds < 1)
        rounds = 1;
    std::vector<std::vector<uint32_t>> textures;
    for (int f = 0; f < 6; ++f)
        textures.push_back(cube_scene::MakeFaceTexture(f, kFaceSize));
    const double direct = RunDirect(rounds, textures);
    const double device = RunDevice(rounds, textures);
    std::printf("direct rasteriser %.1f frames per CPU second\n", direct);
    std::printf("DrawObject3D tiled %.1f frames per CPU second\n", device);
    std::printf("ratio DrawObject3D/direct %.2f (goal 0.90 or more)\n",
                direct > 0 ? device / direct : 0.0);
    return device > 0 ? 0 : 1;
}
