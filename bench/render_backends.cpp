// Frames per second of the rasteriser bench's cube panorama (1280 x 720, six 1024 x 1024 32-bit
// faces kept in 256-pixel tiles, Bilinear on, ZBuffer off, the same sweep of views) through the
// render device on each back end in turn, chosen by the BackEnd state: Software, OpenGL and
// Direct3D 9. Each runs 60 warm-up frames, then 600 frames of BeginScene, Clear, DrawObject3D per
// face, EndScene and Present. Beside the device's OpenGL loop, the same GL calls made bare on its
// context (the textures the device uploaded, the same matrices and visible tiles). Prints the
// rates side by side, Software / OpenGL, device GL / bare GL, and whether the meshes drew (points
// of a few views read back show the faces, on the hardware back ends as on Software, and no
// draw failed). Needs the prefix where the hardware back ends exist:
// bench/render_backends.sh runs it there on two cores.
// Usage: bench_render_backends.exe [measured frames]
#include <windows.h>
#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "render/render_device.h"
#include "tests/render/hardware_test_support.h"
#include "tests/render/raster_cube_scene.h"

namespace {

constexpr int kWidth = 1280, kHeight = 720;
constexpr int kFaceSize = 1024;
constexpr float kCubeHalf = 100.0f;
constexpr uint32_t kFaceFeatures = kMeshRenderFlagsDefault | MeshRenderTextured;
constexpr uint32_t kBackground = 0x00202020;
constexpr int kWarmUpFrames = 60;

double Seconds()
{
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

void Pump()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
}

const char* BackEndName(int32_t backEnd)
{
    return backEnd == RenderOpenGL ? "OpenGL" : backEnd == RenderDirect3D9 ? "Direct3D 9" : "Software";
}

class Scene {
public:
    bool Build(const std::vector<std::vector<uint32_t>>& textures)
    {
        for (int f = 0; f < 6; ++f) {
            CSprite& image = m_images[f];
            if (image.CreateImage(kFaceSize, kFaceSize, 32, false, 0, false) != 4)
                return false;
            for (int y = 0; y < kFaceSize; ++y)
                std::memcpy(image.pixels + static_cast<size_t>(y) * image.stride,
                            textures[f].data() + static_cast<size_t>(y) * kFaceSize, kFaceSize * 4);
            image.SplitIntoTiles(-1, -1, -1);
            CObjeto3D& mesh = m_faces[f];
            if (!cube_scene::BuildFaceMesh(f, kCubeHalf, mesh))
                return false;
            mesh.loadState = MeshLoaded;
            mesh.texture1 = &image;
            mesh.renderFlags = kFaceFeatures;
            mesh.ComputeBoundingCorners(nullptr, 4, &mesh.objectCorners);
            mesh.UpdateWorldVertices();
        }
        return true;
    }
    ~Scene()
    {
        for (CObjeto3D& mesh : m_faces)
            mesh.Clear();
    }

    CSprite m_images[6];
    CObjeto3D m_faces[6];
};

void LookAt(CObjeto2D& device, const cube_scene::View& view)
{
    device.ownCamera.tilt = view.tilt;
    device.ownCamera.pan = view.pan;
    device.ownCamera.zoom = 1;
    device.UpdateViewportAndProjection();
    device.UpdateViewMatrix();
}

// One frame of the device: 0 when every face drew without a failure.
HRESULT DeviceFrame(CObjeto2D& device, Scene& scene, const cube_scene::View& view, bool present)
{
    LookAt(device, view);
    HRESULT result = device.BeginScene(nullptr);
    if (result != 0)
        return result;
    device.Clear(true);
    for (CObjeto3D& mesh : scene.m_faces) {
        const HRESULT drawn = device.DrawObject3D(&mesh, 100, 0, 0, nullptr);
        if (drawn != 0)
            result = drawn;
    }
    device.EndScene();
    if (present)
        device.Present(nullptr);
    return result;
}

// The views and points every back end must show as Software does.
const cube_scene::View kCheckViews[] = {{0, 0}, {-40, 105}, {40, 240}, {0, 315}};
constexpr int kCheckViewCount = sizeof kCheckViews / sizeof kCheckViews[0];
constexpr int kProbeColumns = 5, kProbeRows = 3;
constexpr int kProbeCount = kCheckViewCount * kProbeColumns * kProbeRows;
// A probe matches within this per channel: the back ends filter texels a little differently.
constexpr int kProbeTolerance = 16;

struct Probes {
    uint32_t pixel[kProbeCount] = {};
};

bool Near(uint32_t a, uint32_t b)
{
    for (int shift = 0; shift < 24; shift += 8) {
        if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) >
            kProbeTolerance)
            return false;
    }
    return true;
}

// Draws the check views and reads their probes back.
Probes ReadProbes(CObjeto2D& device, Scene& scene)
{
    Probes probes;
    int p = 0;
    for (const cube_scene::View& view : kCheckViews) {
        DeviceFrame(device, scene, view, false);
        for (int row = 0; row < kProbeRows; ++row)
            for (int column = 0; column < kProbeColumns; ++column)
                probes.pixel[p++] = hardware_test::ReadBackPixel(
                    device, kWidth * (2 * column + 1) / (2 * kProbeColumns),
                    kHeight * (2 * row + 1) / (2 * kProbeRows));
        device.Present(nullptr);
    }
    return probes;
}

struct Run {
    bool reached = false;   // the device runs on the back end asked for
    bool drew = false;      // the probes show the faces (as on Software) and no draw failed
    int matching = 0;       // probes as on Software
    double rate = 0;
    Probes probes;
};

// With reference null (Software) the probes must show faces, not the background; otherwise
// nine in ten must match the reference.
Run RunDevice(CObjeto2D& device, Scene& scene, int32_t backEnd, int frames, const Probes* reference)
{
    Run run;
    device.SetRenderState(RenderStateBackEnd, backEnd);
    device.SetRenderState(RenderStateBilinear, 1);
    device.SetRenderState(RenderStateZBuffer, 0);
    device.SetRenderState(RenderStateCullMode, 0);
    run.reached = device.backEnd == backEnd && device.status == 0;
    if (!run.reached)
        return run;
    run.probes = ReadProbes(device, scene);
    for (int p = 0; p < kProbeCount; ++p) {
        const uint32_t got = run.probes.pixel[p];
        const bool shown = got != kBackground && got != 0xFFFFFFFF;
        if (reference ? shown && Near(got, reference->pixel[p]) : shown)
            ++run.matching;
    }
    run.drew = run.matching * 10 >= kProbeCount * 9;
    const std::vector<cube_scene::View> views = cube_scene::SweepViews();
    size_t next = 0;
    for (int i = 0; i < kWarmUpFrames; ++i, next = (next + 1) % views.size())
        DeviceFrame(device, scene, views[next], true);
    const double start = Seconds();
    for (int i = 0; i < frames; ++i, next = (next + 1) % views.size()) {
        if (DeviceFrame(device, scene, views[next], true) != 0)
            run.drew = false;
        Pump();
    }
    run.rate = frames / (Seconds() - start);
    return run;
}

// The device's GL frame made bare on its context: per view the projection and view the device
// loaded, the tiles it uploaded, the sub-meshes its culling keeps; clear, immediate-mode ranges,
// swap.
double RunBareGL(CObjeto2D& device, Scene& scene, int frames)
{
    struct ViewCalls {
        float projection[16], modelView[16];
        std::vector<int> visible[6];  // sub-meshes drawn per face
    };
    const std::vector<cube_scene::View> views = cube_scene::SweepViews();
    std::vector<ViewCalls> calls(views.size());
    for (size_t v = 0; v < views.size(); ++v) {
        DeviceFrame(device, scene, views[v], true);
        glGetFloatv(GL_PROJECTION_MATRIX, calls[v].projection);
        glGetFloatv(GL_MODELVIEW_MATRIX, calls[v].modelView);
        for (int f = 0; f < 6; ++f) {
            const CObjeto3D& mesh = scene.m_faces[f];
            for (int s = 0; s < mesh.subMeshCount; ++s) {
                if (!mesh.subBoxes || device.IsBoxInFrustum(mesh.subBoxes[s]))
                    calls[v].visible[f].push_back(s);
            }
        }
    }
    const float background[3] = {((kBackground >> 16) & 0xFF) / 255.0f,
                                 ((kBackground >> 8) & 0xFF) / 255.0f, (kBackground & 0xFF) / 255.0f};
    size_t next = 0;
    double start = 0;
    for (int i = -kWarmUpFrames; i < frames; ++i, next = (next + 1) % views.size()) {
        if (i == 0)
            start = Seconds();
        const ViewCalls& view = calls[next];
        glClearColor(background[0], background[1], background[2], 0);
        glClear(GL_COLOR_BUFFER_BIT);
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(view.projection);
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf(view.modelView);
        for (int f = 0; f < 6; ++f) {
            const CObjeto3D& mesh = scene.m_faces[f];
            const CSprite& image = scene.m_images[f];
            for (int s : view.visible[f]) {
                int32_t first = 0;
                for (int k = 0; k < s; ++k)
                    first += mesh.subIndexCount[k];
                glBindTexture(GL_TEXTURE_2D, image.tiles[s]->glTexture);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
                glColor4f(1, 1, 1, 1);
                glBegin(GL_TRIANGLES);
                for (int32_t k = first; k < first + mesh.subIndexCount[s]; ++k) {
                    const MeshVertex& vertex = mesh.vertices[mesh.ReadIndex(k)];
                    glTexCoord2f(vertex.u, vertex.v);
                    glVertex3f(vertex.wx, vertex.wy, vertex.wz);
                }
                glEnd();
            }
        }
        SwapBuffers(device.glDC);
        if (i >= 0)
            Pump();
    }
    return frames / (Seconds() - start);
}

}  // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    int frames = argc > 1 ? std::atoi(argv[1]) : 600;
    if (frames < 1)
        frames = 1;

    HWND window = hardware_test::CreateVisibleWindow("LumarixBackEndBench", 0, 0, kWidth, kHeight, 0,
                                                     true);
    if (!window) {
        std::printf("no window\n");
        return 1;
    }
    Pump();

    std::vector<std::vector<uint32_t>> textures;
    for (int f = 0; f < 6; ++f)
        textures.push_back(cube_scene::MakeFaceTexture(f, kFaceSize));
    Scene scene;
    CObjeto2D device;
    if (!scene.Build(textures) || device.CreateDevice(kWidth, kHeight, window) != 0) {
        std::printf("no scene or no device\n");
        return 1;
    }
    device.backgroundColour = kBackground;
    device.culling = 1;  // as the viewer draws panoramas: sub-meshes outside the view are skipped
    std::printf("DirectX level 0x%X, %d x %d, %d frames per back end after %d warm-up frames\n",
                g_directXLevel.load(), device.params->width, device.params->height, frames,
                kWarmUpFrames);

    const int32_t order[] = {RenderSoftware, RenderOpenGL, RenderDirect3D9};
    Run runs[3];
    double bare = 0;
    for (int i = 0; i < 3; ++i) {
        const Probes* reference = i > 0 && runs[0].reached ? &runs[0].probes : nullptr;
        runs[i] = RunDevice(device, scene, order[i], frames, reference);
        if (!runs[i].reached) {
            std::printf("%-10s  not reached (the device runs on %s)\n", BackEndName(order[i]),
                        BackEndName(device.backEnd));
            continue;
        }
        std::printf("%-10s  %7.1f frames/s  meshes %s (%d of %d probes %s)\n",
                    BackEndName(order[i]), runs[i].rate, runs[i].drew ? "drew" : "did NOT draw",
                    runs[i].matching, kProbeCount, reference ? "as on Software" : "show faces");
        if (order[i] == RenderOpenGL) {
            bare = RunBareGL(device, scene, frames);
            std::printf("%-10s  %7.1f frames/s  (the device's GL calls made bare)\n", "bare GL",
                        bare);
        }
    }
    const double software = runs[0].rate, gl = runs[1].rate, d3d = runs[2].rate;
    std::printf("Software %.1f | OpenGL %.1f | Direct3D 9 %.1f frames/s\n", software, gl, d3d);
    if (gl > 0)
        std::printf("ratio Software/OpenGL %.2f (goal 0.90 or more)\n", software / gl);
    if (bare > 0)
        std::printf("ratio device GL/bare GL %.2f (goal 0.90 or more)\n", gl / bare);
    DestroyWindow(window);
    bool drew = true;
    for (const Run& run : runs)
        drew = drew && (!run.reached || run.drew);
    return runs[0].reached && drew ? 0 : 1;
}
