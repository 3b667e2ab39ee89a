// Frames per second of the cube panorama of the rasteriser bench (six 1024 x 1024 32-bit faces,
// bilinear, z-buffer off, 1280 x 720, the same sweep of views, clear plus draw) drawn two ways:
// straight through the rasteriser with whole faces, and through the render device's DrawObject3D
// on the software back end with each face's image kept in 256-pixel tiles and its mesh split by
// them, as frames draw their faces, the sweeps of the two taken in turn. Prints both rates and
// their ratio (goal: at least 0.9).
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
class DirectPath {
public:
    explicit DirectPath(const std::vector<std::vector<uint32_t>>& textures)
        : m_textures(textures), m_frame(static_cast<size_t>(kWidth) * kHeight),
          m_work(kRasterWorkBytesNeeded), m_cache(m_storage.View(ChosenSimdLevel())),
          m_raster(cube_scene::FrameWork(reinterpret_cast<uint8_t*>(m_frame.data()), kWidth * 4, 32,
                                         kWidth, kHeight, m_work.data()))
    {
        for (int f = 0; f < 6; ++f)
            cube_scene::FaceVertices(f, kCubeHalf, m_mesh[f]);
    }

    // One sweep of the views: CPU seconds.
    double Round(const std::vector<cube_scene::View>& views)
    {
        const double start = Seconds();
        for (const cube_scene::View& v : views) {
            std::fill(m_frame.begin(), m_frame.end(), kBackground);
            float m[16];
            cube_scene::WorldToScreen(v.tilt, v.pan, kWidth, kHeight, m);
            for (int f = 0; f < 6; ++f)
                cube_scene::DrawFace(m_raster, m_cache, kDefaultStateBits | kBilinear, kFaceFeatures, m,
                                     m_mesh[f], m_textures[f].data(), kFaceSize);
        }
        return Seconds() - start;
    }

private:
    const std::vector<std::vector<uint32_t>>& m_textures;
    std::vector<uint32_t> m_frame;
    std::vector<uint8_t> m_work;
    SpanCacheStorage m_storage;
    SpanCache m_cache;
    RasterWork m_raster;
    MeshVertex m_mesh[6][4];
};

// Tiled faces through DrawObject3D of a window-less device drawing into an image.
class DevicePath {
public:
    ~DevicePath()
    {
        for (CObjeto3D& mesh : m_faces)
            mesh.Clear();
    }

    bool Start(const std::vector<std::vector<uint32_t>>& textures)
    {
        if (!m_target.Create(kWidth, kHeight, 32, true, 0, false, true, false))
            return false;
        m_device.SetRenderTarget(&m_target);
        if (m_device.CreateDevice(kWidth, kHeight, nullptr) != 0)
            return false;
        m_device.SetSize(kWidth, kHeight);
        m_device.SetRenderState(RenderStateBilinear, 1);
        m_device.backgroundColour = kBackground;
        m_device.culling = 1;  // as the viewer draws panoramas: sub-meshes outside the view are skipped
        m_device.ownCamera.zoom = 1;
        for (int f = 0; f < 6; ++f) {
            if (!cube_scene::BuildTiledFace(f, kCubeHalf, textures[f], kFaceSize, kFaceFeatures,
                                            m_images[f], m_faces[f]))
                return false;
        }
        return true;
    }

    // One sweep of the views: CPU seconds.
    double Round(const std::vector<cube_scene::View>& views)
    {
        const double start = Seconds();
        for (const cube_scene::View& v : views) {
            m_device.ownCamera.tilt = v.tilt;
            m_device.ownCamera.pan = v.pan;
            m_device.UpdateViewportAndProjection();
            m_device.UpdateViewMatrix();
            m_device.BeginScene(nullptr);
            m_device.Clear(true);
            for (CObjeto3D& mesh : m_faces)
                m_device.DrawObject3D(&mesh, 100, 0, 0, nullptr);
            m_device.EndScene();
        }
        return Seconds() - start;
    }

    void PrintSplit() const
    {
        std::printf("tiles per face %d, sub-meshes per face %d, triangles per face %d\n",
                    m_images[0].tileCount, m_faces[0].subMeshCount, m_faces[0].indexCount / 3);
    }

private:
    CSprite m_target;
    CObjeto2D m_device;
    CSprite m_images[6];
    CObjeto3D m_faces[6];
};

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
    if (rounds < 1)
        rounds = 1;
    std::vector<std::vector<uint32_t>> textures;
    for (int f = 0; f < 6; ++f)
        textures.push_back(cube_scene::MakeFaceTexture(f, kFaceSize));
    const std::vector<cube_scene::View> views = cube_scene::SweepViews();
    DirectPath direct(textures);
    DevicePath device;
    if (!device.Start(textures)) {
        std::printf("no device\n");
        return 1;
    }
    // A round of each first: the device splits the meshes by their tiles in its first.
    direct.Round(views);
    device.Round(views);
    device.PrintSplit();
    // Rounds taken in turn, so that a change in the machine's load falls on both paths alike.
    double directSeconds = 0, deviceSeconds = 0;
    for (int round = 0; round < rounds; ++round) {
        directSeconds += direct.Round(views);
        deviceSeconds += device.Round(views);
    }
    const double frames = static_cast<double>(rounds) * static_cast<double>(views.size());
    const double directRate = directSeconds > 0 ? frames / directSeconds : 0;
    const double deviceRate = deviceSeconds > 0 ? frames / deviceSeconds : 0;
    std::printf("direct rasteriser %.1f frames per CPU second\n", directRate);
    std::printf("DrawObject3D tiled %.1f frames per CPU second\n", deviceRate);
    std::printf("ratio DrawObject3D/direct %.2f (goal 0.90 or more)\n",
                directRate > 0 ? deviceRate / directRate : 0.0);
    return deviceRate > 0 ? 0 : 1;
}
